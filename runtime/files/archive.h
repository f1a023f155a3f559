// The media archive that is appended to an executable (or any file).
//
// Layout, all numbers little-endian:
//   ... entry data ... directory ... trailer
//   trailer (last 7 bytes): "sbX", directory position D (int32)
//   directory: per entry: name length L (1 byte, 0 ends the directory),
//              L name bytes, data position P (int32), packed size S (uint32)
//   entry data at P: unpacked size U (uint32), then S - 4 bytes of LZO1X.
// D >= 0 is a position from the start of the file, D < 0 counts from its end;
// when D is negative, a negative P counts from the end as well. The packer
// writes negative positions only, so an archive stays valid whatever it is
// appended to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/read_channel.h"

// One entry of the archive's directory: its name, where its data lies and its packed size.
struct ArchiveEntry {
  std::string name;
  int32_t storedPosition = 0;  // P as written in the directory
  int64_t position = 0;        // P as a position from the start of the file
  uint32_t packedSize = 0;     // S, the four size bytes included
};

// The outcome of a directory search or read.
enum class ArchiveStatus {
  Ok,         // found / the whole directory was read
  NotFound,   // the directory ended (or was cut short) without a match
  NoArchive,  // no trailer, or a directory position outside the file
  Damaged,    // an entry points outside the file or its data does not unpack
};

// The trailer: "sbX" and the directory position.
constexpr int kArchiveTrailerSize = 7;
// LZO's one-time set-up, shared by the reader and the packer; false when the
// library cannot work here.
bool ArchiveLzoReady();

// Largest entry the runtime unpacks; larger claims are treated as damage.
constexpr uint32_t kMaxArchiveEntry = 512u << 20;

// Finds the entry whose name equals baseName without regard to letter case.
ArchiveStatus FindArchiveEntry(ReadChannel& archive, const char* baseName, ArchiveEntry* entry);
// Reads the whole directory. archiveStart (optional) receives the lowest
// position the archive occupies: the first entry's data or the directory.
ArchiveStatus ListArchive(ReadChannel& archive, std::vector<ArchiveEntry>* entries,
                          int64_t* archiveStart = nullptr);
// The S packed bytes of an entry as stored.
bool ReadPackedEntry(ReadChannel& archive, const ArchiveEntry& entry, std::vector<uint8_t>* packed);
// Unpacks S stored bytes (size word and LZO1X data) into a new block.
bool UnpackEntryData(const uint8_t* packed, size_t packedSize, std::unique_ptr<uint8_t[]>* data,
                     uint32_t* size);
// Reads and unpacks one entry into a new block; false when it does not unpack.
bool UnpackArchiveEntry(ReadChannel& archive, const ArchiveEntry& entry,
                        std::unique_ptr<uint8_t[]>* data, uint32_t* size);
// How many entries were found damaged so far (FindArchiveEntry answering
// Damaged, or UnpackArchiveEntry failing): a loader compares the count
// before and after resolving a name to tell why the name failed.
uint64_t DamagedArchiveEntries();
