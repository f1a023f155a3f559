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

namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMaxLinks = 40;
// The longest name one folder entry may have on the file systems we meet.
constexpr size_t kMaxEntryName = 255;
constexpr const char kTemporarySuffix[] = ".vlmnew";

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of links at the path's last name leads to; the path
// itself when it is no link or names nothing yet. False for a link that
// cannot be read and for a chain longer than the kernel would follow.
bool FollowLinks(const std::string& path, std::string* target) {
  std::string current = path;
  for (int step = 0; step <= kMaxLinks; ++step) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      *target = current;  // nothing there yet (or a dangling link's end)
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      *target = current;
      return true;
    }
    char buffer[4096];
    const ssize_t length = readlink(current.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
    const std::string link(buffer, static_cast<size_t>(length));
    // A relative link counts from the folder that holds it.
    const size_t slash = current.find_last_of('/');
    current = link[0] == '/' || slash == std::string::npos ? link : current.substr(0, slash + 1) + link;
  }
  return false;
}

// "<target>.vlmnew" where that name fits in a folder entry; for longer names
// one derived from the name (FNV-1a), so it is still the same for every
// replacement of that target.
std::string TemporaryFor(const std::string& target) {
  const size_t slash = target.find_last_of('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  if (target.size() - start + sizeof kTemporarySuffix - 1 <= kMaxEntryName) return target + kTemporarySuffix;
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = start; i < target.size(); ++i) {
    hash ^= static_cast<unsigned char>(target[i]);
    hash *= 1099511628211ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%s-%016llx", kTemporarySuffix, static_cast<unsigned long long>(hash));
  return target.substr(0, start) + name;
}

// What stands at a replacement's target.
enum class TargetState { Missing, Folder, File, Refused };

// A regular file may be replaced only when someone may write it and this
// process may. Root passes every permission check, so the mode's write bits
// are looked at as well: a file someone made read-only for everybody is
// left alone even by a program that runs as root. (The rename itself needs
// only a writable folder, so without these checks any file in one would go.)
TargetState ExamineTarget(const char* target, struct stat* info) {
  if (stat(target, info) != 0) return errno == ENOENT ? TargetState::Missing : TargetState::Refused;
  if (S_ISDIR(info->st_mode)) return TargetState::Folder;
  if (!S_ISREG(info->st_mode) || (info->st_mode & 0222) == 0) return TargetState::Refused;
  if (faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0 &&
      (errno == EACCES || errno == EPERM || errno == EROFS))
    return TargetState::Refused;
  return TargetState::File;
}

// The process's file-creation mask. The kernel reports it in the status
// file; umask() could only read it by changing it for a moment, which other
// threads creating files would feel.
mode_t CurrentUmask() {
  std::string status;
  if (ReadFileStart("/proc/self/status", 8192, &status)) {
    const size_t at = status.find("\nUmask:");
    if (at != std::string::npos)
      return static_cast<mode_t>(std::strtoul(status.c_str() + at + 8, nullptr, 8) & 0777);
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// Gives the new file the old one's owner and group; true when both are
// kept. Only root may give a file away; anyone else keeps the new file as
// their own, with the old group where they belong to it, else their own.
bool KeepOwner(int fd, const struct stat& old) {
  struct stat own;
  if (fstat(fd, &own) != 0) return false;
  if (own.st_uid == old.st_uid && own.st_gid == old.st_gid) return true;
  if (fchown(fd, old.st_uid, old.st_gid) == 0) return true;
  return own.st_gid != old.st_gid && fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0 &&
         own.st_uid == old.st_uid;
}

}  // namespace

intptr_t OpenReplacement(const char* path, std::string* target, std::string* temporary) {
  if (path == nullptr || path[0] == '\0' || target == nullptr || temporary == nullptr) return 0;
  std::string real;
  struct stat info;
  if (!FollowLinks(path, &real) || ExamineTarget(real.c_str(), &info) == TargetState::Refused) return 0;
  const std::string scratch = TemporaryFor(real);
  // Whatever an interrupted replacement left goes first (a link there goes
  // itself, not what it names). The new temporary is made by this call or
  // not at all, and readable by its owner only until it takes the target's
  // permissions at the end: a private file is never visible in the middle.
  std::remove(scratch.c_str());
  const int fd = OpenRetrying(scratch.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  *target = real;
  *temporary = scratch;
  return static_cast<intptr_t>(fd) + 1;
}

bool CommitReplacement(intptr_t handle, const char* target, const char* temporary) {
  if (handle <= 0) return false;
  const int fd = Descriptor(handle);
  bool ok = target != nullptr && temporary != nullptr;
  // The target is looked at again: its permissions may have changed while
  // the new contents were being made.
  struct stat info;
  const TargetState state = ok ? ExamineTarget(target, &info) : TargetState::Refused;
  mode_t mode = 0;
  if (state == TargetState::File) {
    // The owner first: a change of owner clears the set-id bits, which the
    // mode then restores.
    KeepOwner(fd, info);
    mode = info.st_mode & 07777;
  } else {
    mode = 0666 & ~CurrentUmask();
  }
  ok = ok && state != TargetState::Refused && fchmod(fd, mode) == 0;
  if (ok) {
    int result;
    do {
      result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    ok = result == 0;
  }
  // A failed close can be the first report of a failed write.
  ok = close(fd) == 0 && ok;
  // A rename cannot replace a folder; an empty one of that name holds
  // nothing to lose and goes first.
  if (ok && state == TargetState::Folder) rmdir(target);
  if (!ok || std::rename(temporary, target) != 0) {
    if (temporary != nullptr) std::remove(temporary);
    return false;
  }
  SyncFolder(FolderOf(target).c_str());
  return true;
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
