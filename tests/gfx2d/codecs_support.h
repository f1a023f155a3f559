// Test helpers for the image codecs: hand-built BMP files, PNG and JPEG files
// made with libpng/libjpeg directly, memory files, and the outside programs
// (ImageMagick, Python) that serve as independent references.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx2d/picture.h"

namespace codecs_test {

std::string Le16(uint32_t v);
std::string Le32(uint32_t v);

// A BMP file from its parts: the header size (12 or 40), the stored height
// (negative for top-down), the bytes between header and pixel data (palette
// entries, masks) and the pixel rows exactly as stored.
std::string MakeBmp(int headerSize, int32_t width, int32_t height, int bits, const std::string& palette,
                    const std::string& pixelData, uint32_t compression = 0);

// A PNG file written by libpng from packed rows (bit depth and colour type as
// libpng names them). Optional palette (RGB triples) and tRNS entries.
struct PngSpec {
  int width = 0, height = 0, bitDepth = 8, colourType = 2;
  bool interlaced = false;
  std::vector<uint8_t> palette;  // 3 bytes per entry
  std::vector<uint8_t> trns;     // alpha per palette entry
  bool greyTrns = false;         // a tRNS grey value for colour type 0
  uint16_t greyTrnsValue = 0;
};
std::string MakePng(const PngSpec& spec, const std::vector<uint8_t>& rows);

// A JPEG file written by libjpeg from interleaved samples (components 1, 2,
// 3 or 4; colour space as libjpeg's J_COLOR_SPACE value).
std::string MakeJpeg(int width, int height, int components, int colourSpace, const std::vector<uint8_t>& samples,
                     int quality = 90, bool progressive = false);
// libjpeg's plain read loop with default settings: width x height x
// components samples, as the library itself delivers them.
bool DecodeJpegPlain(const std::string& bytes, int* width, int* height, int* components,
                     std::vector<uint8_t>* samples);

// A block registered as a memory file for the lifetime of the object.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  const char* name() const { return name_.c_str(); }

 private:
  std::vector<uint8_t> block_;
  std::string name_;
};

// The picture's pixels as a byte string (width x height x 4).
std::string PixelBytes(const Picture& picture);
// Describes the first difference between two RGBA blocks larger than the
// tolerance ("" when none), for readable failures.
std::string FirstDifference(const std::string& expected, const std::string& actual, int width, int tolerance,
                            bool compareAlpha = true);

// Outside programs: the full path of a program found in PATH ("" if none),
// and a Python interpreter that can import PIL ("" if none).
std::string FindProgram(const char* name);
std::string FindPythonWithPil();
// Runs a program and returns its standard output; false when it fails.
bool RunForOutput(const std::string& program, const std::vector<std::string>& args, std::string* out);

}  // namespace codecs_test
