// Helper programs (the desktop's file dialogs) and the terminal as console.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

std::string FindExecutableInPath(const char* name) {
  if (name == nullptr || *name == '\0') return {};
  if (std::strchr(name, '/') != nullptr) return access(name, X_OK) == 0 ? name : "";
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
