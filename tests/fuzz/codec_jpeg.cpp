// libFuzzer target: ReadJPEG on arbitrary bytes given as a memory file. A
// successful read must produce a consistent picture; every byte of it is
// touched so uninitialised or short blocks show up under the sanitizer.
#include <cstdint>
#include <cstdlib>

#include "codec_fuzz_input.h"
#include "gfx2d/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMemoryFile input(data, size);
  Picture picture;
  if (ReadJPEG(picture, input.name())) {
    if (picture.width <= 0 || picture.height <= 0 || picture.pixels == nullptr) std::abort();
    const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 4;
    if (bytes > picture.capacity) std::abort();
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += picture.pixels[i];
    volatile unsigned sink = sum;
    (void)sink;
  } else if (picture.pixels != nullptr || picture.width != 0 || picture.height != 0) {
    std::abort();  // a refusal leaves the picture empty
  }
  return 0;
}
