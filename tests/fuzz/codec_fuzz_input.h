// The fuzz input as a memory file: copied into a block of exactly its size
// and registered, so a reader sees those bytes and nothing past them (the
// address sanitizer reports any read beyond the block).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/files.h"

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
