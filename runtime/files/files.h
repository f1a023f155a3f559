// File access: name resolution (real files, memory files, the media archive
// appended to the executable), read channels, the eight numbered file
// channels and whole-file operations.
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

#include "core/basic_string.h"

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

// ---------------------------------------------------------------- file channels
// Channels 0-7. A channel number outside the table sets LastErrorCode 7; a
// read or write that cannot complete sets LastErrorCode 3; both then end the
// program through EndProgram. Opening reports failure by its result.

// File channels a program may open (numbered 0-7).
constexpr int kFileChannels = 8;

// mode > 0 read, 0 write (replace), < 0 append.
bool OpenFile(int channel, const char* name, int mode);
// Closes the channel; a channel with nothing open stays closed.
void CloseFile(int channel);
// Lowest channel with nothing open, -1 when all are in use.
int FindFreeChannel();
// True when every byte of the channel has been read (or nothing is open on it).
bool EndOfFile(int channel);
// The channel's read or write position in bytes from the start.
int64_t FilePosition(int channel);
// mode 0 from the start, > 0 from the current position, < 0 from the end.
void SeekFile(int channel, int64_t offset, int mode);

// Raw values, little-endian on every host. Integers are sign- or
// zero-extended; true when the value was read.
bool ReadInt8(int channel, int32_t& value);
// One unsigned byte.
bool ReadUInt8(int channel, int32_t& value);
// Two bytes, signed.
bool ReadInt16(int channel, int32_t& value);
// Two bytes, unsigned.
bool ReadUInt16(int channel, int32_t& value);
// Four bytes, signed.
bool ReadInt32(int channel, int32_t& value);
// Four bytes, unsigned.
bool ReadUInt32(int channel, int64_t& value);
bool ReadInt8(int channel, double& value);
bool ReadUInt8(int channel, double& value);
bool ReadInt16(int channel, double& value);
bool ReadUInt16(int channel, double& value);
bool ReadInt32(int channel, double& value);
bool ReadUInt32(int channel, double& value);
// Four bytes as an IEEE single.
bool ReadFloat32(int channel, double& value);
// Eight bytes as an IEEE double.
bool ReadFloat64(int channel, double& value);
// Exactly count bytes.
bool ReadString(int channel, BasicString& value, int64_t count);
// One text line of at most 1024 characters, without LF and final CR.
bool ReadLine(int channel, BasicString& value);
// One line converted with atof / atoi.
bool ReadNumberLine(int channel, double& value);
// One line converted to an integer as atoi reads it.
bool ReadIntLine(int channel, int32_t& value);

// Integer arguments are truncated to the width written.
bool WriteInt16(int channel, int64_t value);
// Four bytes.
bool WriteInt32(int channel, int64_t value);
// One byte.
bool WriteUInt8(int channel, int64_t value);
// Two bytes, unsigned.
bool WriteUInt16(int channel, int64_t value);
// Four bytes, unsigned.
bool WriteUInt32(int channel, int64_t value);
// An IEEE single (four bytes).
bool WriteFloat32(int channel, double value);
// An IEEE double (eight bytes).
bool WriteFloat64(int channel, double value);
// The text's bytes, no terminator.
bool WriteString(int channel, const BasicString& text);
// The text followed by "\r\n".
bool WriteLine(int channel, const BasicString& text);

// The channel's record (read-only view for loaders and tests); null for a
// number outside 0-7.
const ReadChannel* FileChannel(int channel);

// ---------------------------------------------------------------- whole files

// An existing file that is not a directory (memory files included).
bool FileExists(const char* name);
// True when the name is an existing directory.
bool DirectoryExists(const char* name);
// Removes an empty directory if the name is one, else deletes the file.
bool RemovePath(const char* name);
// Creates one directory; false when it cannot (its parent must exist).
bool MakeDirectory(const char* name);
// Copies a real file or memory file (not through the archive). An existing
// destination is replaced, but only once the source has opened.
bool DuplicateFile(const char* source, const char* destination);
// Size in bytes (memory files included), 0 when it cannot be opened.
int64_t QueryFileSize(const char* name);
// Last write time "YYYY-MM-DD hh:mm:ss" in local time; empty for memory
// files and failures.
BasicString QueryFileTime(const char* name);
// The current directory with "/" separators and a final "/".
BasicString QueryCurrentDirectory();
// "*" matches any run of characters, "?" one character other than ".";
// letters compare without regard to case; "*.*" matches everything.
bool WildcardMatch(const char* pattern, const char* name);
// Turns every "\" of the text into "/".
void ToForwardSlashes(BasicString& text);
void ToForwardSlashes(char* text);

// Writes back the line-file and INI stores, releases both resolvers' last
// results and closes the eight channels. The host's shutdown calls it; it is
// also registered with std::atexit the first time a store or channel is used.
void FlushFileStores();

// The same commands for names held in strings.
inline bool OpenFile(int channel, const BasicString& name, int mode) { return OpenFile(channel, name.c_str(), mode); }
inline bool FileExists(const BasicString& name) { return FileExists(name.c_str()); }
inline bool DirectoryExists(const BasicString& name) { return DirectoryExists(name.c_str()); }
inline bool RemovePath(const BasicString& name) { return RemovePath(name.c_str()); }
inline bool MakeDirectory(const BasicString& name) { return MakeDirectory(name.c_str()); }
inline bool DuplicateFile(const BasicString& source, const BasicString& destination) {
  return DuplicateFile(source.c_str(), destination.c_str());
}
inline int64_t QueryFileSize(const BasicString& name) { return QueryFileSize(name.c_str()); }
inline BasicString QueryFileTime(const BasicString& name) { return QueryFileTime(name.c_str()); }
inline bool WildcardMatch(const BasicString& pattern, const BasicString& name) {
  return WildcardMatch(pattern.c_str(), name.c_str());
}
