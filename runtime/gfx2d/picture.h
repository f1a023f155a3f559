// Picture: the in-memory RGBA image that every reader produces and texture
// upload consumes. Pixels are R, G, B, A bytes, top row first.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReadChannel;

// A decoded picture: width x height RGBA pixels, top row first.
struct Picture {
  uint8_t ownAlpha = 1;  // 1: alpha came from the file; 0: from the key or opaque
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* pixels = nullptr;
  uint32_t capacity = 0;  // bytes in the pixel block

  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  ~Picture();

  // Resizes to w x h, reusing the block when it is large enough; the contents
  // are cleared to zero. False (and an empty picture) when it cannot allocate.
  bool Resize(int32_t w, int32_t h);
  // As Resize, but the contents are left as they are: for readers that write
  // every pixel anyway and would otherwise clear the block for nothing.
  bool ResizeUncleared(int32_t w, int32_t h);
  // Frees the pixels: size 0, own-alpha 1.
  void Clear();
  uint8_t* Pixel(int32_t x, int32_t y) { return pixels + (static_cast<size_t>(y) * width + x) * 4; }
};

// Why a reader (or a loader) turned a file down.
enum class PictureFault : uint8_t {
  kNone,
  kNotFound,        // no such file, memory file or archive entry
  kNotAPicture,     // no reader knows its first bytes
  kUnsupported,     // a known format in a variety no reader takes
  kDamaged,         // a known format whose contents make no sense
  kTruncated,       // the data ends before the picture does
  kTooLarge,        // more than can be held (see DecodeLimits)
  kArchiveDamaged,  // the archive entry holding it does not unpack
};
// The words a diagnostic line gives for a fault.
const char* PictureFaultText(PictureFault fault);

// The largest picture side any reader accepts. Sizes a program reads back
// and draws with stay within signed 16 bits, and no texture comes near it;
// larger files are refused as too large.
constexpr int32_t kMaxPictureSide = 32767;

// What a reader may keep, and what it found. A picture with a side above
// maxSide is reduced while it is decoded, by the smallest whole factor f
// that brings both sides within it: each kept pixel is the mean of an f x f
// block of the file's pixels (the blocks of the last row and column may be
// cut). Only the reduced picture and a few rows of the file are ever held,
// so memory stays near the size of what is kept.
struct DecodeLimits {
  int32_t maxSide = kMaxPictureSide;
  // Results: the size the file declares, and why a read failed.
  int32_t fileWidth = 0;
  int32_t fileHeight = 0;
  PictureFault fault = PictureFault::kNone;
};

// Where a reader can hand a picture over row by row instead of filling a
// Picture, so that whoever takes the rows never needs the whole picture:
// Begin comes first with the size (as reduced) and whether the alpha came
// from the file, then every row once, top row first, width x 4 bytes RGBA.
// A reader that fails part way leaves the rows it gave.
class PictureRowSink {
 public:
  virtual ~PictureRowSink() = default;
  // False stops the read (the picture cannot be taken).
  virtual bool Begin(int32_t width, int32_t height, bool ownAlpha) = 0;
  virtual void Row(int32_t y, const uint8_t* rgba) = 0;
};

// Image codecs. Readers take a file name (memory files included); a colour key
// of -1 means none. On failure the picture is left empty.
bool ReadBMP(Picture& picture, const char* name, int32_t colourKey);
// PNG files.
bool ReadPNG(Picture& picture, const char* name, int32_t colourKey);
// JPEG files (no colour key).
bool ReadJPEG(Picture& picture, const char* name);
// The same readers on an open channel, from its current position: a loader
// opens a file once and tries them in turn, rewinding in between. name only
// labels messages. limits (optional) bounds what is kept and receives the
// reason of a failure; kNotAPicture there means "not this format".
bool ReadBMP(Picture& picture, ReadChannel& channel, int32_t colourKey, DecodeLimits* limits = nullptr);
// PNG from the channel.
bool ReadPNG(Picture& picture, ReadChannel& channel, int32_t colourKey, const char* name,
             DecodeLimits* limits = nullptr);
// PNG from the channel into a row sink. Interlaced files are decoded whole
// first (their passes fill the whole picture in turn).
bool ReadPNG(PictureRowSink& sink, ReadChannel& channel, int32_t colourKey, const char* name,
             DecodeLimits* limits = nullptr);
// JPEG from the channel.
bool ReadJPEG(Picture& picture, ReadChannel& channel, DecodeLimits* limits = nullptr);
// Writer chosen from the name: ".png" PNG, "jpg" JPEG, anything else BMP.
// The new file replaces an old one only once it is complete on the disk; on
// any failure the old file stays as it was and LastErrorCode is 3.
bool SavePicture(const char* name, const Picture& picture);
