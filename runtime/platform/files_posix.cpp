// Raw file access and the process environment over POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace platform {

namespace {

// Handles are descriptors shifted by one, so that 0 can mean "none" even
// though descriptor 0 exists.
int Descriptor(intptr_t handle) { return static_cast<int>(handle - 1); }

}  // namespace

intptr_t OpenFileHandle(const char* path, FileOpenMode mode) {
  if (path == nullptr || path[0] == '\0') return 0;
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileOpenMode::ReadExisting: flags |= O_RDONLY; break;
    case FileOpenMode::CreateReadWrite: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case FileOpenMode::OpenOrCreateWrite: flags |= O_WRONLY | O_CREAT; break;
  }
  int fd;
  do {
    fd = open(path, flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return 0;
  // Directories, pipes and devices open fine on POSIX but are no files to
  // read from: a FIFO would block the program forever.
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return 0;
  }
  return static_cast<intptr_t>(fd) + 1;
}

void CloseFileHandle(intptr_t handle) {
  if (handle > 0) close(Descriptor(handle));
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

}  // namespace platform
