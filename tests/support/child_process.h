// Runs code that ends the process (END, bounds errors, quit keys) in a forked
// child, with its own temporary folder, and reports what it left behind.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ChildResult {
  int exitCode = -1;    // exit status, or -1 when the child died by a signal
  int signal = 0;       // the signal that ended it, 0 when it exited
  std::string out;      // everything written to standard output
  std::string err;      // everything written to standard error
  std::string runLog;   // contents of ErrorLog.txt in the child's TMPDIR
};

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends with "/"
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Forks; the child sets TMPDIR to a new folder, runs body and then exits
// with code 0 unless body ended the process itself. Waits at most
// timeoutSeconds (the child is killed after that).
ChildResult RunInChild(const std::function<void()>& body, int timeoutSeconds = 60);

// Starts a program with arguments (and extra "NAME=value" environment
// entries), in the given working folder, capturing both output streams.
// TMPDIR is set to tmpDir when it is not empty.
ChildResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& tmpDir, const std::vector<std::string>& env = {},
                       const std::string& workDir = "", int timeoutSeconds = 120);

// For children that start the runtime (GL, threads): a fork of a process that
// already has them is not safe, so the current test is run again from the
// start in a new process of this test binary, with its own TMPDIR. Inside
// that process InFreshChild() is true; the test body branches on it:
//
//   if (InFreshChild()) { ...start the runtime, end the program...; _exit(42); }
//   ChildResult child = RunCurrentTestInFreshProcess();
bool InFreshChild();
ChildResult RunCurrentTestInFreshProcess(int timeoutSeconds = 60);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Splits text into lines at "\n".
std::vector<std::string> Lines(const std::string& text);

}  // namespace testing_support
