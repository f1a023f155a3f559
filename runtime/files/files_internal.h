// Pieces shared by the files subsystem's own sources.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace files_internal {

// Registers a block the runtime extracted (it owns the memory from now on)
// and returns its address.
const uint8_t* AdoptMemoryFile(std::unique_ptr<uint8_t[]> data, uint64_t size);
// Unlists a block: its name stops opening; an adopted block is freed once
// the last channel reading it closes.
void ReleaseMemoryFile(const void* block);
// The bytes a memory-file name denotes, when its block is registered.
bool MemoryBlockBytes(const char* name, const uint8_t** bytes, uint64_t* size);
// The name with every "\" turned into "/", ready for an OS call.
std::string ToSlashes(const char* name);
// Registers FlushFileStores with std::atexit the first time it runs.
void EnsureExitFlush();

}  // namespace files_internal
