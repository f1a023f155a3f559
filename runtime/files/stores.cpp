// The line-indexed text-file store, the INI store and the files subsystem's
// part of program end.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "files/files.h"
#include "files/files_internal.h"
#include "files/ini_text.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace {

constexpr int kLineSlots = 256;
constexpr int kLineLength = 1024;

std::string Text(const BasicString& s) { return std::string(s.c_str(), s.Length()); }

// Where a store writes back: an absolute path, so that a later change of the
// current directory (the shutdown makes the program's folder current) still
// writes where the file was read. Empty for memory files, which are never
// written.
std::string BackingPath(const std::string& name) {
  if (name.empty() || IsMemoryFileName(name.c_str())) return std::string();
  const std::string path = files_internal::WritePath(name.c_str(), true);
  const std::string absolute = platform::AbsolutePath(path.c_str());
  return absolute.empty() ? path : absolute;
}

// Writes a store's file back; a failure keeps the old file, sets
// LastErrorCode and is logged, since at program end nobody is left to look
// at the error. False on failure.
bool WriteBack(const std::string& path, const std::string& contents) {
  if (files_internal::ReplaceFileAt(path, contents.data(), contents.size())) return true;
  SetLastError(kErrorNoSuchFile);
  WriteLogF("Cannot write %s\n", path.c_str());
  return false;
}

void StripControlTail(std::string& text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 32) text.pop_back();
}

// Reads the lines of a resolved file; false when it does not open.
bool ReadLines(const ResolvedFile& file, size_t maximum, std::vector<std::string>* lines) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, file)) return false;
  char buffer[kLineLength + 1];
  while (lines->size() < maximum && ChannelReadLine(channel, buffer, sizeof buffer)) lines->emplace_back(buffer);
  CloseChannel(channel);
  return true;
}

// ---------------------------------------------------------------- line files

// A program addresses lines 0-255 and their first 1024 characters. What lies
// beyond (the rest of a longer line, the lines after line 255) is kept as it
// was read and written back unchanged, so editing one line never shortens
// the file.
struct LineFileCache {
  std::string name;
  std::string backing;
  std::vector<std::string> slots = std::vector<std::string>(kLineSlots);
  std::vector<std::string> tails = std::vector<std::string>(kLineSlots);  // past character 1024
  std::string rest;  // the bytes after line 255, exactly as read
  int highest = -1;
  bool changed = false;
  bool missing = false;  // the selected file could not be read
};

LineFileCache& Lines() {
  static LineFileCache* cache = new LineFileCache;
  return *cache;
}

// Everything a resolved file holds; false when it does not open.
bool ReadAllBytes(const ResolvedFile& file, std::string* bytes) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, file)) return false;
  char block[4096];
  for (;;) {
    const int64_t got = ChannelRead(channel, block, sizeof block);
    if (got <= 0) break;
    bytes->append(block, static_cast<size_t>(got));
  }
  CloseChannel(channel);
  return true;
}

// Splits a file into the cache: a line ends at a line feed, and a carriage
// return before it is dropped. A slot holds text as a program sees it, up to
// 1024 characters and never past a zero byte; the rest of the line is its
// tail.
void FillLineCache(LineFileCache& cache, const std::string& bytes) {
  size_t start = 0;
  int count = 0;
  while (start < bytes.size() && count < kLineSlots) {
    size_t end = bytes.find('\n', start);
    const size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    if (end > start && bytes[end - 1] == '\r') --end;
    const size_t length = end - start;
    size_t kept = std::min(length, static_cast<size_t>(kLineLength));
    if (const void* zero = std::memchr(bytes.data() + start, 0, kept))
      kept = static_cast<size_t>(static_cast<const char*>(zero) - (bytes.data() + start));
    cache.slots[count].assign(bytes, start, kept);
    cache.tails[count].assign(bytes, start + kept, length - kept);
    ++count;
    start = next;
  }
  cache.rest.assign(bytes, start, std::string::npos);
  cache.highest = count - 1;
}

// False when a changed file could not be written.
bool WriteBackLines() {
  LineFileCache& cache = Lines();
  if (!cache.changed || cache.name.empty()) return true;
  cache.changed = false;
  // Memory files are never written.
  if (cache.backing.empty()) return true;
  std::string contents;
  for (int i = 0; i <= cache.highest; ++i) contents += cache.slots[i] + cache.tails[i] + "\r\n";
  contents += cache.rest;
  return WriteBack(cache.backing, contents);
}

// Makes name the cached file; false (LastErrorCode 3) when it cannot be read.
// writtenBack (when given) becomes false when the file selected before could
// not be written back (LastErrorCode 3 too).
bool SelectLineFile(const std::string& name, bool* writtenBack = nullptr) {
  files_internal::EnsureExitFlush();
  LineFileCache& cache = Lines();
  if (writtenBack != nullptr) *writtenBack = true;
  if (name == cache.name && !name.empty()) {
    if (cache.missing) SetLastError(kErrorNoSuchFile);
    return !cache.missing;
  }
  const bool written = WriteBackLines();
  if (writtenBack != nullptr) *writtenBack = written;
  for (std::string& slot : cache.slots) slot.clear();
  for (std::string& tail : cache.tails) tail.clear();
  cache.rest.clear();
  cache.highest = -1;
  cache.changed = false;
  cache.missing = false;
  cache.name = name;
  cache.backing = BackingPath(name);
  std::string bytes;
  ResolvedFile file;
  if (name.empty() || !ResolveFile(MemoryResolver(), name.c_str(), &file) || !ReadAllBytes(file, &bytes)) {
    cache.missing = true;
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  FillLineCache(cache, bytes);
  return true;
}

// ---------------------------------------------------------------- INI files

struct IniStore {
  std::vector<IniSection> sections;
  std::string name;
  std::string backing;
  bool changed = false;
};

IniStore& Ini() {
  static IniStore* store = new IniStore;
  return *store;
}

IniSection* FindSection(IniStore& store, const std::string& name) {
  for (IniSection& section : store.sections)
    if (SameNameIgnoringCase(section.name, name)) return &section;
  return nullptr;
}

void WriteBackIni() {
  IniStore& store = Ini();
  if (!store.changed || store.name.empty()) return;
  store.changed = false;
  // An INI file that came from the archive (or a memory file) is never saved.
  if (store.backing.empty()) return;
  std::string contents;
  for (const IniSection& section : store.sections) {
    contents += "[" + section.name + "]\r\n";
    for (const auto& [key, value] : section.keys) contents += key + "=" + value + "\r\n";
  }
  WriteBack(store.backing, contents);
}

void ParseIni(IniStore& store, const std::vector<std::string>& lines) { ParseIniLines(lines, &store.sections); }

}  // namespace

BasicString ReadFileLine(const BasicString& file, int32_t line) {
  ClearLastError();
  if (line < 0 || line >= kLineSlots) {
    SetLastError(kErrorOutOfMemory);
    return BasicString("NO_DATA");
  }
  if (!SelectLineFile(Text(file))) return BasicString("NO_FILE");
  std::string text = Lines().slots[line];
  StripControlTail(text);
  if (text.empty()) return BasicString("NO_DATA");
  return BasicString(text.data(), static_cast<uint32_t>(text.size()));
}

int32_t WriteFileLine(const BasicString& file, int32_t line, const BasicString& text) {
  if (line < 0 || line >= kLineSlots) {
    SetLastError(kErrorOutOfMemory);
    return 7;
  }
  const std::string name = Text(file);
  if (name.empty()) {
    SetLastError(kErrorNoSuchFile);
    return 3;
  }
  bool writtenBack = true;
  SelectLineFile(name, &writtenBack);
  LineFileCache& cache = Lines();
  std::string value = Text(text);
  if (value.size() > static_cast<size_t>(kLineLength)) value.resize(kLineLength);
  cache.slots[line] = std::move(value);
  cache.tails[line].clear();  // the program replaced the whole line
  if (cache.highest < line) cache.highest = line;
  cache.changed = true;
  cache.missing = false;
  // A file that did not exist yet is no error here; the previous file not
  // reaching the disk is.
  if (writtenBack) ClearLastError();
  return 0;
}

void IniOpen(const BasicString& file) {
  files_internal::EnsureExitFlush();
  WriteBackIni();
  IniStore& store = Ini();
  store.sections.clear();
  store.name.clear();
  store.backing.clear();
  store.changed = false;
  const std::string name = Text(file);
  if (name.empty()) return;
  ResolvedFile source;
  const bool resolved = ResolveFile(MemoryResolver(), name.c_str(), &source);
  store.name = resolved && !source.inMemory ? source.path : name;
  // Archive entries and memory files are never written back.
  store.backing = resolved && source.inMemory ? std::string() : BackingPath(store.name);
  std::vector<std::string> lines;
  if (resolved && ReadLines(source, SIZE_MAX, &lines)) ParseIni(store, lines);
}

BasicString IniGet(const BasicString& section, const BasicString& key, const BasicString& defaultValue) {
  IniSection* found = FindSection(Ini(), Text(section));
  if (found != nullptr) {
    const std::string wanted = Text(key);
    for (const auto& [name, value] : found->keys)
      if (SameNameIgnoringCase(name, wanted)) return BasicString(value.data(), static_cast<uint32_t>(value.size()));
  }
  return defaultValue;
}

void IniPut(const BasicString& section, const BasicString& key, const BasicString& value) {
  IniStore& store = Ini();
  const std::string sectionName = Text(section);
  const std::string keyName = Text(key);
  IniSection* found = FindSection(store, sectionName);
  if (keyName.empty()) {
    // The last section moves into the gap, so the order changes.
    if (found == nullptr) return;
    if (found != &store.sections.back()) *found = std::move(store.sections.back());
    store.sections.pop_back();
    store.changed = true;
    return;
  }
  if (found == nullptr) {
    store.sections.push_back(IniSection{sectionName, {}});
    found = &store.sections.back();
  }
  store.changed = true;
  for (auto& [name, stored] : found->keys) {
    if (SameNameIgnoringCase(name, keyName)) {
      stored = Text(value);
      return;
    }
  }
  found->keys.emplace_back(keyName, Text(value));
}

void FlushFileStores() {
  WriteBackLines();
  WriteBackIni();
  ReleaseResolverResult(MemoryResolver());
  ReleaseResolverResult(DiskResolver());
  files_internal::CloseAllChannels();
}

namespace files_internal {

void EnsureExitFlush() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  std::atexit(FlushFileStores);
}

}  // namespace files_internal
