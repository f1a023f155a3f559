// Whole-file replacement through a file beside the target and one rename.
#include "files/file_write.h"

#include <cstdint>
#include <string>

#include "files/files.h"
#include "files/files_internal.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace {

// Pieces are gathered up to this size before they go to the file, so that
// writers handing over a few bytes at a time do not cost a call each.
constexpr size_t kBufferSize = 64 * 1024;

}  // namespace

bool FileReplacement::Begin(const char* name) {
  Abandon();
  if (name == nullptr || *name == '\0' || IsMemoryFileName(name)) return false;
  return BeginAt(files_internal::WritePath(name, true));
}

bool FileReplacement::BeginAt(const std::string& path) {
  Abandon();
  if (path.empty()) return false;
  handle_ = platform::OpenReplacement(path.c_str(), &path_, &temporary_);
  if (handle_ == 0) {
    path_.clear();
    temporary_.clear();
    return false;
  }
  position_ = 0;
  failed_ = false;
  buffer_.reserve(kBufferSize);
  return true;
}

bool FileReplacement::Flush() {
  if (buffer_.empty() || failed_) return !failed_;
  const int64_t count = static_cast<int64_t>(buffer_.size());
  failed_ = platform::WriteFileAt(handle_, buffer_.data(), count, position_) != count;
  position_ += count;
  buffer_.clear();
  return !failed_;
}

bool FileReplacement::Write(const void* bytes, size_t size) {
  if (handle_ == 0 || failed_) return false;
  if (size == 0) return true;
  if (buffer_.size() + size > kBufferSize && !Flush()) return false;
  if (size >= kBufferSize) {
    const int64_t count = static_cast<int64_t>(size);
    failed_ = platform::WriteFileAt(handle_, bytes, count, position_) != count;
    position_ += count;
    return !failed_;
  }
  const auto* first = static_cast<const uint8_t*>(bytes);
  buffer_.insert(buffer_.end(), first, first + size);
  return true;
}

bool FileReplacement::Commit() {
  if (handle_ == 0) return false;
  if (!Flush()) {
    Abandon();
    return false;
  }
  // The commit closes the handle, whatever becomes of the replacement.
  const bool replaced = platform::CommitReplacement(handle_, path_.c_str(), temporary_.c_str());
  handle_ = 0;
  if (!replaced) {
    temporary_.clear();  // already removed
    Abandon();
    return false;
  }
  path_.clear();
  temporary_.clear();
  return true;
}

void FileReplacement::Abandon() {
  if (handle_ != 0) platform::CloseFileHandle(handle_);
  handle_ = 0;
  if (!temporary_.empty()) platform::RemovePath(temporary_.c_str());
  path_.clear();
  temporary_.clear();
  buffer_.clear();
  failed_ = false;
}

namespace files_internal {

bool ReplaceFileAt(const std::string& path, const void* bytes, size_t size) {
  FileReplacement replacement;
  return replacement.BeginAt(path) && replacement.Write(bytes, size) && replacement.Commit();
}

}  // namespace files_internal

bool WriteWholeFileReplacing(const char* name, const void* bytes, size_t size) {
  FileReplacement replacement;
  return replacement.Begin(name) && replacement.Write(bytes, size) && replacement.Commit();
}
