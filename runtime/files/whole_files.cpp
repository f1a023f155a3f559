// Whole-file operations: existence, removal, copies, sizes, times, the
// current directory and wildcard matching.
#include <cstdio>
#include <ctime>
#include <string>

#include "files/files.h"
#include "files/files_internal.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace {

// '?' takes one character other than '.'; any other pattern character
// matches itself without regard to case.
bool MatchOne(char pattern, char name) {
  if (pattern == '?') return name != '.';
  return FoldNameCase(pattern) == FoldNameCase(name);
}

}  // namespace

bool FileExists(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  if (IsMemoryFileName(name)) return MemoryFileValid(name);
  std::string path;
  return FindRealPath(name, false, &path);
}

bool DirectoryExists(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsMemoryFileName(name)) return false;
  std::string path;
  return FindRealPath(name, true, &path);
}

bool RemovePath(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsMemoryFileName(name)) return false;
  // Only an empty folder goes: a stray call must not wipe a tree.
  return platform::RemovePath(files_internal::ToSlashes(name).c_str());
}

bool MakeDirectory(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsMemoryFileName(name)) return false;
  return platform::MakeDirectory(files_internal::ToSlashes(name).c_str());
}

bool DuplicateFile(const char* source, const char* destination) {
  if (destination == nullptr || destination[0] == '\0' || IsMemoryFileName(destination)) return false;
  // The source opens first: a missing source must not cost the destination.
  ReadChannel from;
  if (!OpenReadChannel(from, source)) return false;
  const std::string target = files_internal::ToSlashes(destination);
  if (from.handle != 0) {
    std::string real;
    if (FindRealPath(source, false, &real) && platform::SameFile(real.c_str(), target.c_str())) {
      // Copying a file onto itself: removing the destination first would
      // delete the only copy. The destination already holds the bytes.
      CloseChannel(from);
      return true;
    }
  }
  platform::RemovePath(target.c_str());
  const intptr_t to = platform::OpenFileHandle(target.c_str(), platform::FileOpenMode::CreateReadWrite);
  if (to == 0) {
    CloseChannel(from);
    return false;
  }
  char block[4096];
  int64_t written = 0;
  bool ok = true;
  for (;;) {
    const int64_t got = ChannelRead(from, block, sizeof block);
    if (got <= 0) break;
    if (platform::WriteFileAt(to, block, got, written) != got) {
      ok = false;
      break;
    }
    written += got;
  }
  // A memory block withdrawn while copying delivers too little.
  ok = ok && written == from.size;
  platform::CloseFileHandle(to);
  CloseChannel(from);
  return ok;
}

int64_t QueryFileSize(const char* name) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, name)) return 0;
  const int64_t size = channel.size;
  CloseChannel(channel);
  return size;
}

BasicString QueryFileTime(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsMemoryFileName(name)) return BasicString();
  std::string path;
  int64_t seconds = 0;
  if (!FindRealPath(name, false, &path) || !platform::FileModificationTime(path.c_str(), &seconds) ||
      seconds == 0)
    return BasicString();
  const std::time_t when = static_cast<std::time_t>(seconds);
  const std::tm* broken = std::localtime(&when);
  if (broken == nullptr) return BasicString();
  const std::tm local = *broken;
  char text[64];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return BasicString(text);
}

BasicString QueryCurrentDirectory() {
  std::string path = files_internal::ToSlashes(platform::CurrentDirectory().c_str());
  if (path.empty() || path.back() != '/') path += '/';
  return BasicString(path.c_str());
}

bool WildcardMatch(const char* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return false;
  if (std::string(pattern) == "*.*") return true;
  // Greedy matching with one backtrack point: when a later part fails, the
  // last "*" takes one more character. "*.png" thus matches "a.b.png".
  const char* p = pattern;
  const char* n = name;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*n != '\0') {
    if (*p == '*') {
      star = p++;
      resume = n;
    } else if (*p != '\0' && MatchOne(*p, *n)) {
      ++p;
      ++n;
    } else if (star != nullptr) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

void ToForwardSlashes(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text)
    if (*text == '\\') *text = '/';
}

void ToForwardSlashes(BasicString& text) {
  if (text.Capacity() == 0) return;  // the shared empty buffer holds nothing
  char* data = text.Data();
  for (uint32_t i = 0; i < text.Length(); ++i)
    if (data[i] == '\\') data[i] = '/';
}
