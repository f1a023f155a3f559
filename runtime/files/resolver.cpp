// File-name resolution: real files (with a letter-case fallback), memory
// files and entries of the media archive.
#include <cstring>
#include <string>
#include <vector>

#include "files/archive.h"
#include "files/files.h"
#include "files/files_internal.h"
#include "files/read_channel.h"
#include "platform/platform.h"

struct FileResolver {
  bool archiveEnabled = true;
  std::string archiveName;
  std::string lastTemporaryFile;      // deleted at the next call
  const uint8_t* lastBlock = nullptr;  // released at the next call
};

namespace {

bool IsKind(const std::string& path, bool wantDirectory) {
  const platform::PathKind kind = platform::QueryPathKind(path.c_str());
  if (kind == platform::PathKind::Missing) return false;
  return wantDirectory == (kind == platform::PathKind::Directory);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool CopyOut(const std::string& text, char* out) {
  if (text.size() >= static_cast<size_t>(kMaxFileName)) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

bool WriteTemporaryFile(const std::string& path, const uint8_t* bytes, uint64_t size) {
  platform::RemovePath(path.c_str());  // a stale file (or empty folder) of that name goes first
  const intptr_t handle = platform::OpenFileHandle(path.c_str(), platform::FileOpenMode::CreateReadWrite);
  if (handle == 0) return false;
  const int64_t written = platform::WriteFileAt(handle, bytes, static_cast<int64_t>(size), 0);
  platform::CloseFileHandle(handle);
  if (written != static_cast<int64_t>(size)) {
    platform::RemovePath(path.c_str());
    return false;
  }
  return true;
}

// "sbx" and two letters taken from the entry's position and size.
std::string TemporaryName(int64_t a, int64_t b) {
  std::string name = platform::TempFolder() + "sbx";
  name += static_cast<char>('A' + (a & 255) % 26);
  name += static_cast<char>('A' + (b & 255) % 26);
  return name;
}

bool Fail(char* out) {
  out[0] = '\0';
  return false;
}

}  // namespace

FileResolver& MemoryResolver() {
  static FileResolver* resolver = new FileResolver;
  return *resolver;
}

FileResolver& DiskResolver() {
  static FileResolver* resolver = new FileResolver;
  return *resolver;
}

bool FindRealPath(const char* name, bool wantDirectory, std::string* path) {
  const std::string wanted = files_internal::ToSlashes(name);
  if (wanted.empty()) return false;
  if (IsKind(wanted, wantDirectory)) {
    *path = wanted;
    return true;
  }
  // Programs written for case-insensitive file systems name files in any
  // letter case: walk the folders and accept the one entry that matches each
  // part. A part spelled exactly as on disk always wins.
  std::vector<std::string> parts;
  size_t begin = 0;
  while (begin <= wanted.size()) {
    size_t end = wanted.find('/', begin);
    if (end == std::string::npos) end = wanted.size();
    if (end > begin) parts.push_back(wanted.substr(begin, end - begin));
    begin = end + 1;
  }
  if (parts.empty()) return false;
  std::string current = wanted[0] == '/' ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    const bool last = i + 1 == parts.size();
    const bool needDirectory = !last || wantDirectory;
    const std::string exact = Join(current, part);
    if (part == "." || part == ".." || IsKind(exact, needDirectory)) {
      current = exact;
      continue;
    }
    std::string match;
    int matches = 0;
    std::vector<std::string> entries;
    platform::ListDirectory(current.empty() ? "." : current.c_str(), &entries);
    for (const std::string& entry : entries) {
      if (!SameNameIgnoringCase(entry, part)) continue;
      if (!IsKind(Join(current, entry), needDirectory)) continue;
      match = entry;
      ++matches;
    }
    if (matches != 1) return false;
    current = Join(current, match);
  }
  *path = current;
  return true;
}

void ReleaseResolverResult(FileResolver& resolver) {
  if (resolver.lastBlock != nullptr) {
    files_internal::ReleaseMemoryFile(resolver.lastBlock);
    resolver.lastBlock = nullptr;
  }
  if (!resolver.lastTemporaryFile.empty()) {
    platform::RemovePath(resolver.lastTemporaryFile.c_str());
    resolver.lastTemporaryFile.clear();
  }
}

void SetArchive(const char* memoryResolverArchive, const char* diskResolverArchive) {
  FileResolver* resolvers[2] = {&MemoryResolver(), &DiskResolver()};
  const char* names[2] = {memoryResolverArchive, diskResolverArchive};
  for (int i = 0; i < 2; ++i) {
    ReleaseResolverResult(*resolvers[i]);
    resolvers[i]->archiveEnabled = true;
    resolvers[i]->archiveName = names[i] == nullptr ? "" : names[i];
  }
}

namespace {

// Resolution behind both public forms. Without memoryAllowed a block is
// copied to a temporary file and the result is always a real path.
bool Resolve(FileResolver& resolver, const char* name, bool memoryAllowed, ResolvedFile* file) {
  files_internal::EnsureExitFlush();
  ReleaseResolverResult(resolver);
  if (name == nullptr || name[0] == '\0') return false;
  // Longer names would be cut, and a cut name may open a different file.
  if (std::strlen(name) >= static_cast<size_t>(kMaxFileName)) return false;

  if (IsMemoryFileName(name)) {
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    if (!files_internal::MemoryBlockBytes(name, &bytes, &size)) return false;
    if (memoryAllowed) {
      file->bytes = bytes;
      file->size = size;
      file->inMemory = true;
      return true;
    }
    const std::string temporary =
        TemporaryName(static_cast<int64_t>(reinterpret_cast<uintptr_t>(bytes)), static_cast<int64_t>(size));
    if (!WriteTemporaryFile(temporary, bytes, size)) return false;
    resolver.lastTemporaryFile = temporary;
    file->path = temporary;
    return true;
  }

  if (FindRealPath(name, false, &file->path)) return true;

  if (!resolver.archiveEnabled) return false;
  if (resolver.archiveName.empty()) {
    resolver.archiveEnabled = false;
    return false;
  }
  ReadChannel archive;
  if (!OpenReadChannel(archive, resolver.archiveName.c_str())) return false;

  const char* base = name;
  for (const char* c = name; *c != '\0'; ++c)
    if (*c == '/' || *c == '\\') base = c + 1;
  ArchiveEntry entry;
  const ArchiveStatus status = FindArchiveEntry(archive, base, &entry);
  if (status == ArchiveStatus::NoArchive) {
    // Damaged or absent: later calls skip straight past the archive until
    // SetArchive runs again.
    CloseChannel(archive);
    resolver.archiveEnabled = false;
    return false;
  }
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
  const bool unpacked = status == ArchiveStatus::Ok && UnpackArchiveEntry(archive, entry, &data, &size);
  CloseChannel(archive);
  if (!unpacked) return false;

  if (memoryAllowed) {
    const uint8_t* block = files_internal::AdoptMemoryFile(std::move(data), size);
    resolver.lastBlock = block;
    file->bytes = block;
    file->size = size;
    file->inMemory = true;
    return true;
  }
  const std::string temporary = TemporaryName(entry.storedPosition, entry.packedSize);
  if (!WriteTemporaryFile(temporary, data.get(), size)) return false;
  resolver.lastTemporaryFile = temporary;
  file->path = temporary;
  return true;
}

}  // namespace

bool ResolveFile(FileResolver& resolver, const char* name, ResolvedFile* file) {
  *file = ResolvedFile();
  if (Resolve(resolver, name, true, file)) return true;
  *file = ResolvedFile();
  return false;
}

bool ResolveFileName(FileResolver& resolver, const char* name, char* out, bool memoryAllowed) {
  if (out == nullptr) {
    // Nothing to write the result to; the last result is still released.
    files_internal::EnsureExitFlush();
    ReleaseResolverResult(resolver);
    return false;
  }
  ResolvedFile file;
  if (!Resolve(resolver, name, memoryAllowed, &file)) return Fail(out);
  if (!file.inMemory) return CopyOut(file.path, out) || Fail(out);
  // A memory-file name given by the program comes back as it was written.
  if (IsMemoryFileName(name)) return CopyOut(name, out);
  return CopyOut(MemoryFileName(file.bytes, file.size), out);
}
