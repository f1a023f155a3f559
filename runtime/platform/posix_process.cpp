// Helper programs (the desktop's file dialogs), programs the application
// starts, shared libraries it declares functions of, and the terminal as
// console.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/external_code.h"
#include "platform/platform.h"

namespace platform {

std::string FindExecutableInPath(const char* name) {
  if (name == nullptr || *name == '\0') return {};
  if (std::strchr(name, '/') != nullptr) {
    struct stat info;
    return stat(name, &info) == 0 && S_ISREG(info.st_mode) && access(name, X_OK) == 0 ? name : "";
  }
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  const char* start = path;
  for (;;) {
    const char* end = std::strchr(start, ':');
    const size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
    // An empty entry stands for the current folder.
    std::string candidate = length > 0 ? std::string(start, length) : std::string(1, '.');
    candidate += '/';
    candidate += name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (end == nullptr) break;
    start = end + 1;
  }
  return {};
}

int RunCapturingOutput(const std::vector<std::string>& args, std::string* output) {
  if (output != nullptr) output->clear();
  if (args.empty()) return -1;
  const std::string program = FindExecutableInPath(args[0].c_str());
  if (program.empty()) return -1;
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got > 0) {
      if (output != nullptr) output->append(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;
  }
  close(pipeEnds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status)) return -1;
  const int code = WEXITSTATUS(status);
  return code == 127 ? -1 : code;
}

Library* OpenLibrary(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  return static_cast<Library*>(dlopen(name, RTLD_NOW | RTLD_LOCAL));
}

void* LibraryEntry(Library* library, const char* entry) {
  if (library == nullptr || entry == nullptr) return nullptr;
  return dlsym(library, entry);
}

void CloseLibrary(Library* library) {
  if (library != nullptr) dlclose(library);
}

namespace {

// Waits for a child, through interruptions. False when it cannot be waited for.
bool ReapChild(pid_t pid, int* status) {
  while (waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Why FindExecutableInPath found nothing for a name.
std::string WhyNotExecutable(const char* name) {
  if (std::strchr(name, '/') == nullptr) return "not found in PATH";
  struct stat info;
  if (stat(name, &info) != 0) return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return "a folder";
  return "not executable";
}

// In the child between fork and exec: only calls that are safe there. The
// program gets default signal handling, no blocked signals and none of the
// parent's files except the standard streams (and the report pipe, which
// closes itself on exec).
[[noreturn]] void ExecChild(const char* program, char* const* argv, int reportFd) {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &standard, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const bool closed = (reportFd <= 3 || close_range(3, static_cast<unsigned>(reportFd) - 1, 0) == 0) &&
                      close_range(static_cast<unsigned>(reportFd < 3 ? 3 : reportFd + 1), ~0U, 0) == 0;
  if (!closed) {  // a kernel before close_range
    for (int fd = 3; fd < 4096; ++fd)
      if (fd != reportFd) close(fd);
  }
  execv(program, argv);
  const int error = errno;
  (void)!write(reportFd, &error, sizeof error);
  _exit(127);
}

}  // namespace

bool StartProgram(const std::vector<std::string>& args, bool wait, int* exitCode, std::string* failure) {
  if (exitCode != nullptr) *exitCode = 0;
  std::string ignored;
  if (failure == nullptr) failure = &ignored;
  failure->clear();
  if (args.empty() || args[0].empty()) {
    *failure = "no such file";
    return false;
  }
  const std::string program = FindExecutableInPath(args[0].c_str());
  if (program.empty()) {
    *failure = WhyNotExecutable(args[0].c_str());
    return false;
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // The child reports a failed exec through this pipe; a successful exec
  // closes it, so the parent reads end-of-file.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *failure = std::strerror(errno);
    return false;
  }
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    *failure = std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (pid == 0) {
    close(report[0]);
    // A program nobody waits for is started by a short-lived middle process,
    // so that it belongs to init (or the nearest subreaper) and its end
    // leaves no zombie here.
    if (!wait) {
      const pid_t grandchild = fork();
      if (grandchild < 0) {
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
      }
      if (grandchild > 0) _exit(0);
    }
    ExecChild(program.c_str(), argv.data(), report[1]);
  }
  close(report[1]);
  int error = 0;
  ssize_t got = 0;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  int status = 0;
  const bool reaped = ReapChild(pid, &status);
  if (got == static_cast<ssize_t>(sizeof error)) {  // exec failed
    *failure = std::strerror(error);
    return false;
  }
  if (!wait) return true;
  if (!reaped) {
    *failure = "the program could not be waited for";
    return false;
  }
  if (exitCode != nullptr) {
    if (WIFEXITED(status)) *exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) *exitCode = 128 + WTERMSIG(status);
  }
  return true;
}

bool AttachTerminal() {
  // Standard output that already reaches a terminal is the console.
  if (isatty(STDOUT_FILENO)) return true;
  const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  std::fflush(stdout);
  // The streams keep their buffers and modes; only the files below change.
  const bool attached = dup2(tty, STDOUT_FILENO) >= 0;
  if (attached && dup2(tty, STDIN_FILENO) >= 0) std::clearerr(stdin);
  close(tty);
  return attached;
}

}  // namespace platform
