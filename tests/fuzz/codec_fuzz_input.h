// The fuzz input as a memory file: copied into a block of exactly its size
// and registered, so a reader sees those bytes and nothing past them (the
// address sanitizer reports any read beyond the block).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/read_channel.h"
#include "gfx2d/picture.h"

class FuzzMemoryFile {
 public:
  FuzzMemoryFile(const uint8_t* data, size_t size)
      : block_(static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1))) {
    if (size > 0) std::memcpy(block_, data, size);
    RegisterMemoryFile(block_, size);
    name_ = MemoryFileName(block_, size);
  }
  ~FuzzMemoryFile() {
    UnregisterMemoryFile(block_);
    std::free(block_);
  }
  FuzzMemoryFile(const FuzzMemoryFile&) = delete;
  FuzzMemoryFile& operator=(const FuzzMemoryFile&) = delete;
  const char* name() const { return name_.c_str(); }

 private:
  uint8_t* block_;
  std::string name_;
};

// A successful read must give a consistent picture, every byte of which is
// touched so uninitialised or short blocks show up under the sanitizer; a
// refusal must leave the picture empty. Anything else aborts.
inline void CheckReadResult(bool read, const Picture& picture) {
  if (read) {
    if (picture.width <= 0 || picture.height <= 0 || picture.pixels == nullptr) std::abort();
    const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 4;
    if (bytes > picture.capacity) std::abort();
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += picture.pixels[i];
    volatile unsigned sink = sum;
    (void)sink;
  } else if (picture.pixels != nullptr || picture.width != 0 || picture.height != 0) {
    std::abort();
  }
}
