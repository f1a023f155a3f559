// Test support: starting a runtime program as a child process and collecting its output.
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string base = fs::temp_directory_path().string();
  std::string pattern = base + "/velmora-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = std::string(buffer.data()) + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

namespace {

// Waits for pid with a deadline; kills it when the deadline passes.
int WaitWithTimeout(pid_t pid, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void FillStatus(ChildResult& result, int status) {
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
}

// Forks; the child's standard output and error go to files in dir. Returns
// the child's id (0 in the child).
pid_t ForkCapturingOutput(const TempDir& dir) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(dir.File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
  }
  return pid;
}

// Waits for the child and collects what it wrote.
ChildResult Collect(pid_t pid, const TempDir& dir, int timeoutSeconds) {
  ChildResult result;
  FillStatus(result, WaitWithTimeout(pid, timeoutSeconds));
  result.out = ReadWholeFile(dir.File("stdout.txt"));
  result.err = ReadWholeFile(dir.File("stderr.txt"));
  return result;
}

}  // namespace

ChildResult RunInChild(const std::function<void()>& body, int timeoutSeconds) {
  TempDir dir;
  const std::string tmpPath = dir.File("tmp/");
  fs::create_directories(tmpPath);
  const pid_t pid = ForkCapturingOutput(dir);
  if (pid == 0) {
    setenv("TMPDIR", tmpPath.c_str(), 1);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  ChildResult result = Collect(pid, dir, timeoutSeconds);
  result.runLog = ReadWholeFile(tmpPath + "ErrorLog.txt");
  return result;
}

ChildResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& tmpDir, const std::vector<std::string>& env,
                       const std::string& workDir, int timeoutSeconds) {
  TempDir dir;
  const pid_t pid = ForkCapturingOutput(dir);
  if (pid == 0) {
    if (!tmpDir.empty()) setenv("TMPDIR", tmpDir.c_str(), 1);
    for (const std::string& entry : env) putenv(strdup(entry.c_str()));
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  ChildResult result = Collect(pid, dir, timeoutSeconds);
  if (!tmpDir.empty()) result.runLog = ReadWholeFile(tmpDir + "/ErrorLog.txt");
  return result;
}

bool InFreshChild() {
  const char* flag = std::getenv("VELMORA_FRESH_CHILD");
  return flag != nullptr && *flag == '1';
}

ChildResult RunCurrentTestInFreshProcess(int timeoutSeconds) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  self[length] = '\0';
  TempDir tmp;
  ChildResult result = RunProgram(self, {filter}, tmp.path(), {"VELMORA_FRESH_CHILD=1"}, "", timeoutSeconds);
  result.runLog = ReadWholeFile(tmp.File("ErrorLog.txt"));
  return result;
}

}  // namespace testing_support
