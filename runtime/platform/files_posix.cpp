// Raw file access, paths and the process environment over POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace platform {

namespace {

// Handles are descriptors shifted by one, so that 0 can mean "none" even
// though descriptor 0 exists.
int Descriptor(intptr_t handle) { return static_cast<int>(handle - 1); }

std::atomic<uint64_t> g_handlesOpened{0};

int OpenRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens a regular file and nothing else. The open itself does not wait: a
// FIFO would block in open() until a writer (or reader) came along, so the
// descriptor is opened non-blocking, examined, and only then made blocking.
// Directories, pipes, sockets and devices are refused like a missing file.
int OpenRegularFile(const char* path, int flags, mode_t mode) {
  const int fd = OpenRetrying(path, flags | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  struct stat info;
  const int status = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fcntl(fd, F_GETFL) : -1;
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const void* buffer, int64_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t put = write(fd, bytes, static_cast<size_t>(count));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes += put;
    count -= put;
  }
  return true;
}

}  // namespace

intptr_t OpenFileHandle(const char* path, FileOpenMode mode) {
  if (path == nullptr || path[0] == '\0') return 0;
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileOpenMode::ReadExisting: flags |= O_RDONLY; break;
    case FileOpenMode::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case FileOpenMode::OpenOrCreateWrite: flags |= O_WRONLY | O_CREAT; break;
  }
  const int fd = OpenRegularFile(path, flags, 0644);
  if (fd < 0) return 0;
  g_handlesOpened.fetch_add(1, std::memory_order_relaxed);
  return static_cast<intptr_t>(fd) + 1;
}

bool CloseFileHandle(intptr_t handle) {
  // A failed close can be the first report of a failed write; the
  // descriptor is gone either way, so it is not closed again.
  return handle > 0 && close(Descriptor(handle)) == 0;
}

bool SyncFileHandle(intptr_t handle) {
  if (handle <= 0) return false;
  int result;
  do {
    result = fsync(Descriptor(handle));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool SyncFolder(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const int fd = OpenRetrying(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  int result;
  do {
    result = fsync(fd);
  } while (result != 0 && errno == EINTR);
  // Some file systems cannot flush a folder and say so; the entries are then
  // as safe as that file system makes them.
  const bool synced = result == 0 || errno == EINVAL || errno == EROFS;
  close(fd);
  return synced;
}

int64_t ReadFileAt(intptr_t handle, void* buffer, int64_t count, int64_t position) {
  if (handle <= 0 || count < 0 || position < 0) return -1;
  int64_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t got = pread(Descriptor(handle), bytes + done, static_cast<size_t>(count - done),
                              static_cast<off_t>(position + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t WriteFileAt(intptr_t handle, const void* buffer, int64_t count, int64_t position) {
  if (handle <= 0 || count < 0 || position < 0) return -1;
  int64_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t put = pwrite(Descriptor(handle), bytes + done, static_cast<size_t>(count - done),
                               static_cast<off_t>(position + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (put == 0) break;
    done += put;
  }
  return done;
}

int64_t FileHandleSize(intptr_t handle) {
  if (handle <= 0) return -1;
  struct stat info;
  if (fstat(Descriptor(handle), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool FileModificationTime(const char* path, int64_t* seconds) {
  struct stat info;
  if (path == nullptr || stat(path, &info) != 0) return false;
  *seconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  return true;
}

uint64_t FileHandlesOpened() { return g_handlesOpened.load(std::memory_order_relaxed); }

PathKind QueryPathKind(const char* path) {
  struct stat info;
  if (path == nullptr || path[0] == '\0' || stat(path, &info) != 0) return PathKind::Missing;
  return S_ISDIR(info.st_mode) ? PathKind::Directory : PathKind::File;
}

bool ListDirectory(const char* path, std::vector<std::string>* names) {
  names->clear();
  DIR* folder = path == nullptr ? nullptr : opendir(path);
  if (folder == nullptr) return false;
  while (const dirent* entry = readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names->emplace_back(entry->d_name);
  }
  closedir(folder);
  return true;
}

bool RemovePath(const char* path) { return path != nullptr && std::remove(path) == 0; }

void RemoveTree(const char* path) {
  struct stat info;
  if (path == nullptr || lstat(path, &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    std::vector<std::string> names;
    ListDirectory(path, &names);
    for (const std::string& name : names) RemoveTree((std::string(path) + "/" + name).c_str());
  }
  std::remove(path);
}

bool MakeDirectory(const char* path) { return path != nullptr && mkdir(path, 0777) == 0; }

bool MakeDirectories(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const std::string full(path);
  // Every folder above first; those that exist already fail harmlessly.
  for (size_t slash = full.find('/', 1); slash != std::string::npos; slash = full.find('/', slash + 1))
    mkdir(full.substr(0, slash).c_str(), 0777);
  mkdir(path, 0777);
  return QueryPathKind(path) == PathKind::Directory;
}

bool RenamePath(const char* from, const char* to) {
  return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

bool SameFile(const char* a, const char* b) {
  struct stat first, second;
  if (a == nullptr || b == nullptr || stat(a, &first) != 0 || stat(b, &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string AbsolutePath(const char* path) {
  const std::string given(path == nullptr ? "" : path);
  if (!given.empty() && given[0] == '/') return given;
  std::string current = CurrentDirectory();
  if (current.empty()) return {};
  if (current.back() != '/') current += '/';
  return current + given;
}

bool ReadFileStart(const char* path, int64_t maximum, std::string* bytes) {
  bytes->clear();
  const int fd = path == nullptr ? -1 : OpenRegularFile(path, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  char buffer[4096];
  while (static_cast<int64_t>(bytes->size()) < maximum) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buffer, maximum - bytes->size()));
    const ssize_t got = read(fd, buffer, want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    bytes->append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return true;
}

bool AppendToFile(const char* path, const void* bytes, int64_t count) {
  // Not blocking in open(): a FIFO of that name with no reader fails at once
  // instead of holding the program. Once open, writes block as usual.
  const int fd = path == nullptr ? -1 : OpenRetrying(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    return false;
  }
  const bool written = WriteAll(fd, bytes, count);
  return close(fd) == 0 && written;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    entries.emplace_back(*entry);
  return entries;
}

bool SetEnvironmentVariable(const char* name, const char* value) {
  if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) return false;
  if (value == nullptr || value[0] == '\0') return unsetenv(name) == 0;
  return setenv(name, value, 1) == 0;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = name == nullptr ? nullptr : std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace platform
