// File access for programs: the eight numbered file channels, whole-file
// commands, platform facts, the process environment, and the line-indexed
// text-file and INI stores. Names may be real files, "mem://" memory files or
// entries of the media archive appended to the executable; the runtime's own
// loaders resolve and read them through files/read_channel.h.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

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

// ---------------------------------------------------------------- platform, environment, stores
// Failures never throw: they give the texts "NO_DATA" / "NO_FILE" or a
// default and set LastErrorCode (3: the file cannot be read, 7: a line index
// outside 0-255). Both stores are written back when another file is selected
// and by FlushFileStores() at program end.

// Facts about the platform by key. The key is upper-cased in place first (the
// caller's string changes too). Keys: "" ("LINUX"), "DEVICE", "GLEXT:<name>",
// "ID", "TIME", "UTCTIME", "BATTERY", "COMPILED", "HOSTID", "VERSION",
// "LOCALE", "DOCUMENTS", "APPDATA", "TEMP"; anything else gives "NO_DATA".
BasicString PlatformInfo(BasicString& key);

// The value of a variable, empty when unset. An empty name gives every
// entry as "NAME=value\n".
BasicString GetEnvironment(const BasicString& name);
// Sets NAME=value; an empty value removes the variable.
void PutEnvironment(const BasicString& name, const BasicString& value);

// Line n (0-255) of a text file, trailing control characters removed;
// "NO_DATA" for an empty or missing line (LastErrorCode 7 when n is outside
// 0-255), "NO_FILE" when the file cannot be read (LastErrorCode 3).
BasicString ReadFileLine(const BasicString& file, int32_t line);
// Replaces line n of the cached file (a missing file is fine): 0, or 7 for
// n outside 0-255 (also put in LastErrorCode).
int32_t WriteFileLine(const BasicString& file, int32_t line, const BasicString& text);

// Writes back the open INI file if it changed, then loads the named file.
// An empty name closes the store.
void IniOpen(const BasicString& file);
// The value, or defaultValue when the section or key is missing. Section
// names and keys compare without regard to letter case.
BasicString IniGet(const BasicString& section, const BasicString& key, const BasicString& defaultValue);
// Sets a value, creating section and key as needed. An empty key removes the
// section: the last section takes its place.
void IniPut(const BasicString& section, const BasicString& key, const BasicString& value);
