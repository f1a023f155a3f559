// Helpers shared by the image readers and writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/file_write.h"
#include "gfx2d/picture.h"

namespace codec {

// The largest picture side any reader accepts. Together with Picture's
// 32-bit capacity this keeps a lying header from asking for absurd blocks.
constexpr int32_t kMaxSide = kMaxPictureSide;

// The whole factor a picture of w x h is reduced by to fit maxSide (1: kept
// as it is).
int32_t ReductionFactor(int64_t w, int64_t h, int32_t maxSide);

// Shrinks a picture by a whole factor while its RGBA rows arrive one at a
// time, in either order (top down or bottom up, as a BMP stores them). Each
// kept pixel is the mean of its block, per channel; a block cut by the
// picture's edge is the mean of the pixels it has. With factor 1 rows are
// copied. Holds one row of sums besides the reduced picture.
class RowReducer {
 public:
  RowReducer() = default;
  RowReducer(const RowReducer&) = delete;
  RowReducer& operator=(const RowReducer&) = delete;
  ~RowReducer();
  // Sizes picture to the reduced size; false when that cannot be allocated.
  bool Begin(Picture& picture, int32_t width, int32_t height, int32_t factor);
  // Hands the reduced rows to a sink instead (rows must then come top
  // down); false when the sink turns the picture down.
  bool Begin(PictureRowSink& sink, int32_t width, int32_t height, int32_t factor, bool ownAlpha);
  // Row y of the file's picture (top row 0), width x 4 bytes.
  void AddRow(int32_t y, const uint8_t* row);
  // Writes out the last block row. Call after the last AddRow.
  void Finish();
  int32_t factor() const { return factor_; }

 private:
  void Flush();
  // The reduced row that is being written: in the picture, or in row_ for a sink.
  uint8_t* Target(int32_t row);
  Picture* picture_ = nullptr;
  PictureRowSink* sink_ = nullptr;
  int32_t outWidth_ = 0;
  uint8_t* row_ = nullptr;
  int32_t width_ = 0, height_ = 0, factor_ = 1;
  int32_t pending_ = -1;  // reduced row the sums belong to, -1 = none
  int32_t rowsInSums_ = 0;
  uint64_t* sums_ = nullptr;
};

// A colour key is a packed R + G*256 + B*65536; -1 (or anything outside
// 24 bits) never matches a pixel.
inline bool KeyMatches(int32_t key, uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16) ==
         static_cast<uint32_t>(key);
}

// Writes an opaque pixel, or transparent black when it has the key colour.
inline void PutKeyedPixel(uint8_t* out, uint8_t r, uint8_t g, uint8_t b, int32_t key) {
  if (KeyMatches(key, r, g, b)) {
    out[0] = out[1] = out[2] = out[3] = 0;
  } else {
    out[0] = r;
    out[1] = g;
    out[2] = b;
    out[3] = 255;
  }
}

// Starts a writer's output: memory-file names (anything that starts
// "mem://") are refused. The file goes to a temporary beside the target and
// replaces it only when the writer commits, so a failed or interrupted save
// leaves the old file as it was.
bool BeginWriting(const char* name, FileReplacement& file);

// The three writers behind SavePicture. The picture is known to be non-empty.
bool WritePNG(const char* name, const Picture& picture);
bool WriteJPEG(const char* name, const Picture& picture);
bool WriteBMP(const char* name, const Picture& picture);

}  // namespace codec
