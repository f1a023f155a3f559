// Helpers shared by the image readers and writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "gfx2d/picture.h"

namespace codec {

// The largest picture side any reader accepts. Together with Picture's
// 32-bit capacity this keeps a lying header from asking for absurd blocks.
constexpr int32_t kMaxSide = 32768;

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

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Opens a real file for a writer: memory-file names are refused, "\" becomes
// "/", and an existing file (or empty directory) of that name is removed so
// the new file always replaces it. The path actually opened is returned in
// path so a failed write can remove its partial output.
FILE* OpenForWriting(const char* name, std::string& path);
// Closes the file; on failure the partial output is removed. Returns ok
// unless closing itself failed.
bool FinishWriting(FILE* file, const std::string& path, bool ok);

// The three writers behind SavePicture. The picture is known to be non-empty.
bool WritePNG(const char* name, const Picture& picture);
bool WriteJPEG(const char* name, const Picture& picture);
bool WriteBMP(const char* name, const Picture& picture);

}  // namespace codec
