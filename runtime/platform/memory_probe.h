// Ranges of this process's own memory named by raw address: whether they can
// be read, found out without touching them, and copies out of them that
// cannot fault (implemented in posix_memory.cpp).
#pragma once

#include <cstdint>

namespace platform {

// True when every byte of [address, address + size) is readable memory of
// this process. An empty range asks about the byte at address. The answer
// comes from the process's memory map (every byte in a mapping that allows
// reading), or, where the system has no map to read, from
// IsReadableByKernelCopy; a wrong address is never touched.
bool IsReadableMemory(uintptr_t address, uint64_t size);
// The same question put to the kernel: one byte of each page of the range is
// copied out through process_vm_readv. Costs a little per page. False also
// when the kernel refuses such copies.
bool IsReadableByKernelCopy(uintptr_t address, uint64_t size);
// Copies count bytes from address into buffer through the kernel. Returns
// the bytes copied: fewer than count when the range stops being readable
// (memory freed since it was checked), never a fault.
uint64_t CopyOwnMemory(void* buffer, uintptr_t address, uint64_t count);

}  // namespace platform
