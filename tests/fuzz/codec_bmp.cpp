// libFuzzer target: ReadBMP on arbitrary bytes given as a memory file. A
// successful read must produce a consistent picture (CheckReadResult).
#include <cstdint>
#include <cstdlib>

#include "codec_fuzz_input.h"
#include "gfx2d/picture.h"

namespace {
constexpr int32_t kSpriteKey = 0x8000FF;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMemoryFile input(data, size);
  Picture picture;
  CheckReadResult(ReadBMP(picture, input.name(), kSpriteKey), picture);
  return 0;
}
