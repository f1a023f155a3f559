// Writing the media archive: packing entries and appending them to a file.
// Only the tools (the packer) and their tests link this; programs read
// archives through files/archive.h and never write one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The stored form of a file: its size word and the LZO1X-1 packed bytes.
bool PackEntryData(const uint8_t* data, size_t size, std::vector<uint8_t>* packed);
// The most bytes the stored form of size bytes can take (incompressible
// input grows a little).
size_t PackedCapacity(size_t size);
// The same stored form written to out, which holds PackedCapacity(size)
// bytes; returns its length, 0 on failure. Only the bytes written are
// touched, so a block sized for the worst case costs what the result takes.
size_t PackEntryInto(const uint8_t* data, size_t size, uint8_t* out);

// One file to put into an archive.
struct ArchiveInput {
  std::string name;  // entry name: no folders or control characters, 1-255 bytes
  std::string path;  // the file whose bytes are stored
};
// Appends files to the archive at the end of target (creating the archive
// when target has none). Entries already there are kept, except those a new
// entry of the same name (any letter case) replaces; the directory is written
// anew. Every input must be a regular file of at most kMaxArchiveEntry bytes
// and every name free of control characters; a request whose entries could
// not fit in the 2 GiB the archive's positions address is refused from the
// sizes alone, before any input is read. The new file is written as it is
// made, one input in memory at a time, through a FileReplacement: beside
// target (the file a link leads to) and renamed over it with its
// permissions, so a failure leaves target as it was, and a target nobody
// may write is refused. False with a message in error on failure.
bool AppendToArchive(const char* target, const std::vector<ArchiveInput>& inputs, std::string* error);
