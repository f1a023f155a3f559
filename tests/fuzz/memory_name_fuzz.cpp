// Feeds arbitrary text as memory-file names, and names built from the input
// around one registered block: a name opens exactly when it lies inside the
// block, reads the block's bytes, and no name reaches other memory.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/files.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

namespace {

constexpr uint64_t kBlockSize = 64;

uint8_t g_block[kBlockSize];

// Up to eight bytes of the input as a number, little-endian.
uint64_t Take(const uint8_t*& data, size_t& size, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && size > 0; ++i, ++data, --size) value |= static_cast<uint64_t>(*data) << (8 * i);
  return value;
}

void CheckName(const std::string& name) {
  uint64_t length = 0;
  uintptr_t address = 0;
  const bool parsed = ParseMemoryFileName(name.c_str(), &length, &address);
  if (parsed) {
    // What parses comes back from the name the runtime would print for it.
    uint64_t again = 0;
    uintptr_t where = 0;
    Check(ParseMemoryFileName(MemoryFileName(reinterpret_cast<const void*>(address), length).c_str(), &again, &where) &&
              again == length && where == address,
          "a parsed name does not print back");
  }
  const uintptr_t start = reinterpret_cast<uintptr_t>(g_block);
  const bool inside = parsed && address >= start && address - start <= kBlockSize &&
                      length <= kBlockSize - (address - start);
  ReadChannel channel;
  const bool opened = OpenReadChannel(channel, name.c_str());
  if (IsMemoryFileName(name.c_str())) {
    Check(opened == inside, "a memory-file name opened outside its block or failed inside it");
    Check(MemoryFileValid(name.c_str()) == inside, "MemoryFileValid disagrees");
    Check(QueryFileSize(name.c_str()) == (inside ? static_cast<int64_t>(length) : 0), "wrong size");
  }
  if (opened && inside) {
    uint8_t bytes[kBlockSize + 1];
    Check(ChannelRead(channel, bytes, sizeof bytes) == static_cast<int64_t>(length), "wrong byte count");
    Check(std::memcmp(bytes, reinterpret_cast<const void*>(address), length) == 0, "wrong bytes");
  }
  CloseChannel(channel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (uint64_t i = 0; i < kBlockSize; ++i) g_block[i] = static_cast<uint8_t>(i * 7 + 1);
  RegisterMemoryFile(g_block, kBlockSize);
  // The input as a name, only inside the "mem://" form (any other name
  // would look for files on disk).
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  CheckName("mem://" + text);

  // A name near the block: size and offset from the input (the offset may
  // fall before or after the block), with padding and an optional tail.
  if (size >= 3) {
    const uint64_t length = Take(data, size, 1) % 80;
    const auto offset = static_cast<int64_t>(static_cast<int8_t>(Take(data, size, 1)));
    const uint64_t style = Take(data, size, 1);
    const uintptr_t address = reinterpret_cast<uintptr_t>(g_block) + static_cast<uintptr_t>(offset);
    char name[128];
    std::snprintf(name, sizeof name, (style & 1) ? "mem://%8" PRIx64 ".%8" PRIxPTR : "mem://%" PRIx64 ".%" PRIxPTR,
                  length, address);
    std::string built = name;
    if (style & 2) built += std::string(reinterpret_cast<const char*>(data), size).substr(0, 8);
    CheckName(built);
  }
  UnregisterMemoryFile(g_block);
  return 0;
}
