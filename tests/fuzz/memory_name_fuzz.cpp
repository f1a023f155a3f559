// Feeds arbitrary text as memory-file names, and names built from the input
// around one registered block inside a readable page fenced by pages that
// cannot be read: a name starting in the block opens exactly when it ends in
// it, any other name exactly when its whole range is readable, it reads the
// bytes there, and no name faults.
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/files.h"
#include "files/read_channel.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

namespace {

constexpr uint64_t kBlockSize = 64;
constexpr uint64_t kBlockOffset = 1024;  // of the block in the readable page

// Three pages: no access, readable (holding the block), no access.
struct Fence {
  uint8_t* page = nullptr;
  uint64_t pageSize = 0;
  uint8_t* block = nullptr;
  Fence() {
    pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    void* at = mmap(nullptr, 3 * pageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) std::abort();
    page = static_cast<uint8_t*>(at) + pageSize;
    if (mprotect(page, pageSize, PROT_READ | PROT_WRITE) != 0) std::abort();
    for (uint64_t i = 0; i < pageSize; ++i) page[i] = static_cast<uint8_t>(i * 7 + 1);
    block = page + kBlockOffset;
  }
};

const Fence& TheFence() {
  static const Fence fence;
  return fence;
}

// Up to eight bytes of the input as a number, little-endian.
uint64_t Take(const uint8_t*& data, size_t& size, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count && size > 0; ++i, ++data, --size) value |= static_cast<uint64_t>(*data) << (8 * i);
  return value;
}

// Whether the fence decides the name: its start lies in the fence's pages.
// Then expected says whether it must open.
bool Judge(uintptr_t address, uint64_t length, bool* expected) {
  const Fence& fence = TheFence();
  const uintptr_t first = reinterpret_cast<uintptr_t>(fence.page) - fence.pageSize;
  if (address < first || address - first >= 3 * fence.pageSize) return false;
  const uintptr_t block = reinterpret_cast<uintptr_t>(fence.block);
  const uintptr_t page = reinterpret_cast<uintptr_t>(fence.page);
  if (address >= block && address - block < kBlockSize) {
    *expected = length <= kBlockSize - (address - block);
  } else {
    const uint64_t room = address >= page && address - page < fence.pageSize ? fence.pageSize - (address - page) : 0;
    *expected = room > 0 && length <= room;
  }
  return true;
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
  bool expected = false;
  const bool judged = parsed && Judge(address, length, &expected);
  ReadChannel channel;
  const bool opened = OpenReadChannel(channel, name.c_str());
  if (IsMemoryFileName(name.c_str())) {
    if (judged) Check(opened == expected, "a memory-file name opened where it may not, or failed where it may");
    Check(!opened || parsed, "a name that does not parse opened");
    Check(MemoryFileValid(name.c_str()) == opened, "MemoryFileValid disagrees");
    Check(QueryFileSize(name.c_str()) == (opened ? static_cast<int64_t>(length) : 0), "wrong size");
  }
  if (opened) {
    uint8_t bytes[kBlockSize + 1];
    const int64_t want = length < sizeof bytes ? static_cast<int64_t>(length) : static_cast<int64_t>(sizeof bytes);
    const int64_t got = ChannelRead(channel, bytes, sizeof bytes);
    // Memory outside the fence belongs to the fuzzer and the sanitizer; only
    // the fence's bytes are compared.
    if (judged) {
      Check(got == want, "wrong byte count");
      Check(std::memcmp(bytes, reinterpret_cast<const void*>(address), static_cast<size_t>(got)) == 0, "wrong bytes");
    } else {
      Check(got >= 0 && got <= want, "more bytes than the name holds");
    }
  }
  CloseChannel(channel);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Fence& fence = TheFence();
  RegisterMemoryFile(fence.block, kBlockSize);
  // The input as a name, only inside the "mem://" form (any other name
  // would look for files on disk).
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  CheckName("mem://" + text);

  // A name in or near the fence: size and offset from the input (the offset
  // reaches both fence pages), with padding and an optional tail.
  if (size >= 5) {
    const uint64_t length = Take(data, size, 2) % (fence.pageSize + 128);
    const int64_t span = static_cast<int64_t>(3 * fence.pageSize);
    const int64_t offset = static_cast<int64_t>(Take(data, size, 2) % span) - static_cast<int64_t>(fence.pageSize);
    const uint64_t style = Take(data, size, 1);
    const uintptr_t address = reinterpret_cast<uintptr_t>(fence.page) + static_cast<uintptr_t>(offset);
    char name[128];
    std::snprintf(name, sizeof name, (style & 1) ? "mem://%8" PRIx64 ".%8" PRIxPTR : "mem://%" PRIx64 ".%" PRIxPTR,
                  length, address);
    std::string built = name;
    if (style & 2) built += std::string(reinterpret_cast<const char*>(data), size).substr(0, 8);
    CheckName(built);
  }
  UnregisterMemoryFile(fence.block);
  return 0;
}
