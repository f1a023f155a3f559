// Readability checks and fault-free copies of this process's own memory,
// through process_vm_readv on the process itself and /proc/self/maps.
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/memory_probe.h"

namespace platform {

namespace {

// Set once the kernel refuses process_vm_readv (not built in, or forbidden by
// a sandbox); the memory map answers from then on.
bool g_noKernelCopy = false;

bool KernelRefused(int error) { return error == ENOSYS || error == EPERM || error == EACCES; }

uint64_t PageSize() {
  static const uint64_t size = [] {
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<uint64_t>(page) : uint64_t{4096};
  }();
  return size;
}

// The last byte of the range, false when the range wraps around the address
// space.
bool LastByte(uintptr_t address, uint64_t size, uintptr_t* last) {
  const uint64_t span = size == 0 ? 0 : size - 1;
  if (span > UINTPTR_MAX - address) return false;
  *last = address + static_cast<uintptr_t>(span);
  return true;
}

// 1: every page readable, 0: some page is not, -1: the kernel refuses.
int ProbePages(uintptr_t first, uintptr_t last) {
  constexpr size_t kBatch = 256;
  const uint64_t page = PageSize();
  char scratch[kBatch];
  iovec local[kBatch];
  iovec remote[kBatch];
  uintptr_t next = first;
  bool done = false;
  while (!done) {
    size_t count = 0;
    while (count < kBatch && !done) {
      local[count] = {&scratch[count], 1};
      remote[count] = {reinterpret_cast<void*>(next), 1};
      ++count;
      const uintptr_t pageStart = next - next % page;
      if (last - pageStart < page) {
        done = true;
      } else {
        next = pageStart + page;
      }
    }
    // One iovec for the local side would do; one per byte keeps both sides in step.
    const ssize_t got = process_vm_readv(getpid(), local, count, remote, count, 0);
    if (got < 0) return KernelRefused(errno) ? -1 : 0;
    if (static_cast<size_t>(got) != count) return 0;
  }
  return 1;
}

// 1: the map says every byte is readable, 0: it says not, -1: no map.
int ReadableInMemoryMap(uintptr_t address, uintptr_t last) {
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (maps == nullptr) return -1;
  // Mappings come in ascending order; walk them from the range's first byte
  // and stop at a gap, an unreadable mapping or the range's end.
  uintptr_t cursor = address;
  bool readable = false;
  char line[512];
  while (std::fgets(line, sizeof line, maps) != nullptr) {
    const size_t length = std::strlen(line);
    const bool whole = length > 0 && line[length - 1] == '\n';
    char* end = nullptr;
    const unsigned long long start = std::strtoull(line, &end, 16);
    const unsigned long long stop = *end == '-' ? std::strtoull(end + 1, &end, 16) : 0;
    const bool mayRead = *end == ' ' && end[1] == 'r';
    // A long line (a mapped file with a long path) is skipped to its end.
    while (!whole && std::fgets(line, sizeof line, maps) != nullptr) {
      const size_t more = std::strlen(line);
      if (more > 0 && line[more - 1] == '\n') break;
    }
    if (stop <= cursor) continue;
    if (start > cursor || !mayRead) break;
    if (stop - 1 >= last) {
      readable = true;
      break;
    }
    cursor = static_cast<uintptr_t>(stop);
  }
  std::fclose(maps);
  return readable ? 1 : 0;
}

}  // namespace

bool IsReadableByKernelCopy(uintptr_t address, uint64_t size) {
  uintptr_t last = 0;
  if (address == 0 || !LastByte(address, size, &last)) return false;
  return ProbePages(address, last) == 1;
}

bool IsReadableMemory(uintptr_t address, uint64_t size) {
  uintptr_t last = 0;
  if (address == 0 || !LastByte(address, size, &last)) return false;
  // The map answers for any size at the cost of one read of it; the kernel
  // copy costs a call per page.
  const int mapped = ReadableInMemoryMap(address, last);
  if (mapped >= 0) return mapped == 1;
  return ProbePages(address, last) == 1;
}

uint64_t CopyOwnMemory(void* buffer, uintptr_t address, uint64_t count) {
  uint64_t copied = 0;
  while (copied < count && !g_noKernelCopy) {
    iovec local = {static_cast<char*>(buffer) + copied, static_cast<size_t>(count - copied)};
    iovec remote = {reinterpret_cast<void*>(address + copied), local.iov_len};
    const ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got > 0) {
      copied += static_cast<uint64_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && KernelRefused(errno)) {
      g_noKernelCopy = true;
      break;
    }
    return copied;
  }
  if (copied < count && IsReadableMemory(address + copied, count - copied)) {
    std::memcpy(static_cast<char*>(buffer) + copied, reinterpret_cast<const void*>(address + copied),
                static_cast<size_t>(count - copied));
    copied = count;
  }
  return copied;
}

}  // namespace platform
