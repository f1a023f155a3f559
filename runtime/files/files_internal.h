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
// The bytes a memory-file name denotes, when the name may be read (inside a
// registered block, or readable memory that starts in none).
bool MemoryBlockBytes(const char* name, const uint8_t** bytes, uint64_t* size);
// True while a registered block (an extracted or registered one) starts at
// this address.
bool IsListedMemoryBlock(const void* start);
// The name with every "\" turned into "/", ready for an OS call.
std::string ToSlashes(const char* name);
// Closes the eight numbered channels.
void CloseAllChannels();
// The path to create a file at: "\" turned into "/" and a folder part that
// does not exist as written matched without regard to letter case. With
// matchExistingFile, an existing file of another letter case is chosen too.
std::string WritePath(const char* name, bool matchExistingFile);
// Replaces the file at an OS path without ever leaving it half written or
// missing: the bytes go to "<path>.vlmnew", reach the disk, and are renamed
// over the old file in one step; the folder is flushed so the rename itself
// survives a power cut. On any failure the old file stays as it was, the
// temporary file is removed, and the result is false.
bool ReplaceFileAt(const std::string& path, const void* bytes, size_t size);
// The two-letter code "LOCALE" reports for a locale name such as
// "de_DE.UTF-8", and the rules every code passes through.
std::string LocaleCode(const std::string& localeName);
std::string LocaleCodeRules(const std::string& code);
// Charge of the first battery under a power-supply folder (sysfs layout;
// empty: the system's), 100 when there is none.
int BatteryPercent(const std::string& powerSupplyFolder = std::string());
// Registers FlushFileStores with std::atexit the first time it runs.
void EnsureExitFlush();

}  // namespace files_internal
