// Whole-file replacement through a file beside the target and one rename.
#include "files/file_write.h"

#include <cstdint>
#include <string>

#include "files/files.h"
#include "files/files_internal.h"
#include "platform/platform.h"

namespace files_internal {

bool ReplaceFileAt(const std::string& path, const void* bytes, size_t size) {
  if (path.empty()) return false;
  const std::string temporary = path + ".vlmnew";
  platform::RemovePath(temporary.c_str());
  const intptr_t handle = platform::OpenFileHandle(temporary.c_str(), platform::FileOpenMode::CreateReadWrite);
  if (handle == 0) return false;
  const int64_t count = static_cast<int64_t>(size);
  bool written = count == 0 || platform::WriteFileAt(handle, bytes, count, 0) == count;
  written = written && platform::SyncFileHandle(handle);
  written = platform::CloseFileHandle(handle) && written;
  // A rename cannot replace a folder; an empty one of that name holds
  // nothing to lose and goes first.
  if (written && platform::QueryPathKind(path.c_str()) == platform::PathKind::Directory)
    platform::RemovePath(path.c_str());
  if (!written || !platform::RenamePath(temporary.c_str(), path.c_str())) {
    platform::RemovePath(temporary.c_str());
    return false;
  }
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  platform::SyncFolder(folder.c_str());
  return true;
}

}  // namespace files_internal

bool WriteWholeFileReplacing(const char* name, const void* bytes, size_t size) {
  if (name == nullptr || *name == '\0' || IsMemoryFileName(name)) return false;
  return files_internal::ReplaceFileAt(files_internal::WritePath(name, true), bytes, size);
}
