// Network test support: child processes spoken to through their standard input and output, free loopback ports.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace net_testing {

// A program started with piped standard input and output; killed (SIGKILL)
// and reaped on destruction.
class LineProcess {
 public:
  explicit LineProcess(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  ~LineProcess();
  LineProcess(const LineProcess&) = delete;
  LineProcess& operator=(const LineProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  void Send(const std::string& line);  // a newline is added
  // The next line of output without its newline; empty with ok = false after
  // timeoutSeconds or at the end of the output.
  std::string ReadLine(int timeoutSeconds = 15, bool* ok = nullptr);
  // Send and read the one-line reply.
  std::string Ask(const std::string& line, int timeoutSeconds = 15);
  void Kill();  // SIGKILL now and reap
  // SIGSTOP and SIGCONT: the process stops running (its sockets stay open) and goes on.
  void Stop();
  void Resume();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;
};

// A loopback TCP port that nothing listened on a moment ago.
int FreePort();

// Path of a test program or script.
std::string TestProgram(const std::string& name);
std::string TestScript(const std::string& name);
// The system's Python 3 (a version manager's shim in PATH starts slowly).
std::string Python();

}  // namespace net_testing
