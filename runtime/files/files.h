// File access: name resolution (real files, memory files, the media archive
// appended to the executable), read channels, the eight numbered file
// channels and whole-file operations.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// A source of bytes: a real file or a memory block. Open while the handle or
// the memory pointer is non-zero.
struct ReadChannel {
  intptr_t handle = 0;              // platform file handle, 0 = none
  const uint8_t* memory = nullptr;  // memory-file block, null = none
  int64_t size = 0;                 // bytes in the file or block (0 for writing)
  int64_t position = 0;             // next byte to read
};

// Opens a real file or a "mem://" memory file for reading.
bool OpenReadChannel(ReadChannel& channel, const char* name);
// Bytes delivered (a memory channel clamps to the bytes left).
int64_t ChannelRead(ReadChannel& channel, void* buffer, int64_t count);
// Four bytes little-endian; true when all four were delivered.
bool ChannelReadInt32(ReadChannel& channel, int32_t* value);
// One text line (LF ends it, a final CR is dropped), at most maximum
// characters, NUL-terminated; false at the end of the data.
bool ChannelReadLine(ReadChannel& channel, char* buffer, int maximum);
void CloseChannel(ReadChannel& channel);

struct FileResolver;
// The resolver whose results may be memory files (loaders, read commands) and
// the one that always yields a real file on disk.
FileResolver& MemoryResolver();
FileResolver& DiskResolver();
// Resolves a name into out (1024 bytes): the real file, else an entry of the
// media archive as a memory file or a temporary file. The result stays valid
// until the next call on the same resolver.
bool ResolveFileName(FileResolver& resolver, const char* name, char* out, bool memoryAllowed);
void SetArchive(const char* memoryResolverArchive, const char* diskResolverArchive);

bool IsMemoryFileName(const char* name);
bool FileExists(const char* name);
bool DirectoryExists(const char* name);
