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

// One file to put into an archive.
struct ArchiveInput {
  std::string name;  // entry name: no folders, 1-255 bytes
  std::string path;  // the file whose bytes are stored
};
// Appends files to the archive at the end of target (creating the archive
// when target has none). Entries already there are kept, except those a new
// entry of the same name (any letter case) replaces; the directory is written
// anew. The file is rebuilt beside target and renamed over it, keeping its
// permissions, so a failure leaves target as it was. False with a message in
// error on failure.
bool AppendToArchive(const char* target, const std::vector<ArchiveInput>& inputs, std::string* error);
