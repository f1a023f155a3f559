// libFuzzer target: ReadJPEG on arbitrary bytes given as a memory file. A
// successful read must produce a consistent picture (CheckReadResult).
#include <cstdint>
#include <cstdlib>

#include "codec_fuzz_input.h"
#include "gfx2d/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMemoryFile input(data, size);
  Picture picture;
  CheckReadResult(ReadJPEG(picture, input.name()), picture);
  return 0;
}
