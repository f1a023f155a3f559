// Reading for the runtime's loaders: name resolution (real files, memory
// files, the media archive appended to the executable) and read channels, the
// letter-case rule of names, and the file layer's shutdown. Programs use the
// numbered channels and commands of files/files.h.
//
// Loaders follow one pattern:
//   ResolvedFile file;
//   if (!ResolveFile(MemoryResolver(), name, &file)) fail;
//   ReadChannel channel;
//   if (!OpenReadChannel(channel, file)) fail;
//   ... ChannelRead / ChannelReadInt32 / ChannelReadLine ...
//   CloseChannel(channel);
// An archive entry or memory file travels as its block of bytes; the
// "mem://" text form is for programs, which pass such names around.
// A resolver's result (a memory file or a temporary file) stays valid until
// the next call on the same resolver: finish reading before resolving again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Size of the name buffers ResolveFileName fills; names are shorter.
constexpr int kMaxFileName = 1024;

// A source of bytes: a real file or a memory block. Open while the handle or
// the memory pointer is non-zero. Plain data: copying it does not duplicate
// the file, and only one of the copies may be closed.
struct ReadChannel {
  intptr_t handle = 0;              // platform file handle, 0 = none
  const uint8_t* memory = nullptr;  // memory-file block, null = none
  int64_t size = 0;                 // bytes in the file or block
  int64_t position = 0;             // next byte to read (or write)
  uint64_t block = 0;               // registry ticket of the memory block
  bool writable = false;            // opened by OpenFile for writing
};

// Opens a real file or a "mem://" memory file for reading. A real name that
// does not exist as written may still match one file whose name differs
// only in letter case. Archive entries need ResolveFileName first.
bool OpenReadChannel(ReadChannel& channel, const char* name);
// Bytes delivered (a memory channel clamps to the bytes left).
int64_t ChannelRead(ReadChannel& channel, void* buffer, int64_t count);
// Four bytes little-endian; true when all four were delivered.
bool ChannelReadInt32(ReadChannel& channel, int32_t* value);
// One text line (LF ends it, a final CR is dropped). maximum is the size of
// buffer: at most maximum - 1 characters are stored, then a NUL. A longer
// line is cut and the rest comes with the next call. False at the end of
// the data.
bool ChannelReadLine(ReadChannel& channel, char* buffer, int maximum);
// Closes the file or lets go of the block; the channel becomes empty.
void CloseChannel(ReadChannel& channel);
struct ResolvedFile;
// Opens what ResolveFile found: the real file, or the block (while it is
// still registered).
bool OpenReadChannel(ReadChannel& channel, const ResolvedFile& file);

// ---------------------------------------------------------------- names
// Names compare without regard to the letter case of ASCII letters: folder
// walks, archive entries, wildcards, INI sections and keys.

// An ASCII letter in lower case; every other character as it is.
constexpr char FoldNameCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
// True when the names are equal but for the letter case of ASCII letters.
constexpr bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldNameCase(a[i]) != FoldNameCase(b[i])) return false;
  return true;
}

// ---------------------------------------------------------------- memory files
// A memory file is a block of bytes in the process named
// "mem://" + size + "." + address (both "%8x"-style lower-case hexadecimal,
// padded with spaces to at least 8 characters). A name that starts inside a
// block the runtime knows (the resolvers' results and blocks registered here)
// opens when it ends inside that block too. Any other name opens when its
// whole range is readable memory of the process (a buffer a library function
// returned), checked without touching it. Everything else fails like a
// missing file.

// Makes a block known as a memory file of size bytes, so that names inside it open.
void RegisterMemoryFile(const void* block, uint64_t size);
// Open channels on the block stop delivering bytes at once.
void UnregisterMemoryFile(const void* block);
// The name for a block (or a part of one): "mem://%8x.%8x" with the address
// printed in full on 64-bit.
std::string MemoryFileName(const void* block, uint64_t size);
// True when the name starts with "mem://".
bool IsMemoryFileName(const char* name);
// Reads size and address out of a name; says nothing about whether the
// block is registered.
bool ParseMemoryFileName(const char* name, uint64_t* size, uintptr_t* address);
// True for a name that would open (see above).
bool MemoryFileValid(const char* name);

// ---------------------------------------------------------------- resolution

struct FileResolver;

// What a name resolved to: a real file, or a block of bytes in the process
// (an entry of the media archive, or a registered memory file).
struct ResolvedFile {
  std::string path;                // the real file; empty for a block
  const uint8_t* bytes = nullptr;  // the block's first byte
  uint64_t size = 0;               // bytes in the block
  bool inMemory = false;           // a block rather than a real file
};
// The resolver whose results may be memory files (loaders, read commands) and
// the one that always yields a real file on disk.
FileResolver& MemoryResolver();
// The resolver that always yields a real file on disk (archive entries and memory files are
// copied to a temporary file).
FileResolver& DiskResolver();
// Resolves a name into out (kMaxFileName bytes): the real file (exact name
// first, else the one file matching it without regard to letter case,
// folder by folder), a memory-file name as it is (the disk resolver copies
// its bytes to a temporary file), else the entry of the media archive with
// the same base name, as a memory file or a temporary file. The result stays
// valid until the next call on the same resolver.
bool ResolveFileName(FileResolver& resolver, const char* name, char* out, bool memoryAllowed);
// The same resolution for the runtime's own loaders (memory allowed): a block
// comes back as its bytes, never as a name to be parsed again.
bool ResolveFile(FileResolver& resolver, const char* name, ResolvedFile* file);
// Resets both resolvers (releasing their last results, enabling their
// archives) and sets the archive each one searches. Start-up passes the
// executable's own path for both.
void SetArchive(const char* memoryResolverArchive, const char* diskResolverArchive);
// Releases a resolver's last result (block or temporary file).
void ReleaseResolverResult(FileResolver& resolver);

// The real path for a name: "\" turned into "/", and, when the path does not
// exist as written, the one path that matches it folder by folder without
// regard to letter case. wantDirectory picks what the last part must be.
// False when nothing matches (or more than one candidate does).
bool FindRealPath(const char* name, bool wantDirectory, std::string* path);

// ---------------------------------------------------------------- channels and shutdown

// The channel's record (read-only view for loaders and tests); null for a
// number outside 0-7.
const ReadChannel* FileChannel(int channel);

// Turns every "\" of the text into "/" (the string form is in files/files.h).
void ToForwardSlashes(char* text);

// Writes back the line-file and INI stores, releases both resolvers' last
// results and closes the eight channels. The host's shutdown calls it; it is
// also registered with std::atexit the first time a store or channel is used.
void FlushFileStores();
