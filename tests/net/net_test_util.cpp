// Network test support: line-driven child processes and free ports.
#include "net_test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/sockets.h"

namespace net_testing {

LineProcess::LineProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    for (const std::string& e : env) putenv(strdup(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
  signal(SIGPIPE, SIG_IGN);  // a dead child must fail a Send, not end the test
}

LineProcess::~LineProcess() {
  Kill();
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
}

void LineProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void LineProcess::Stop() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void LineProcess::Resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

void LineProcess::Send(const std::string& line) {
  const std::string bytes = line + "\n";
  if (in_ >= 0 && write(in_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    close(in_);
    in_ = -1;
  }
}

std::string LineProcess::ReadLine(int timeoutSeconds, bool* ok) {
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (ok != nullptr) *ok = true;
      return line;
    }
    pollfd p{out_, POLLIN, 0};
    char buffer[4096];
    ssize_t n = -1;
    if (out_ >= 0 && poll(&p, 1, timeoutSeconds * 1000) > 0) n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      if (ok != nullptr) *ok = false;
      return "";
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

std::string LineProcess::Ask(const std::string& line, int timeoutSeconds) {
  Send(line);
  return ReadLine(timeoutSeconds);
}

int FreePort() {
  const int handle = platform::OpenTcpSocket();
  platform::SocketAddress local{0x7F000001, 0};
  platform::BindSocket(handle, local);
  platform::SocketLocalAddress(handle, &local);
  platform::CloseSocket(handle);
  return local.port;
}

std::string TestProgram(const std::string& name) { return std::string(VELMORA_TEST_PROGRAMS_DIR) + "/" + name; }
std::string TestScript(const std::string& name) { return std::string(VELMORA_SOURCE_DIR) + "/tests/net/" + name; }

std::string Python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

}  // namespace net_testing
