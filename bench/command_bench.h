// What the benchmarks of the `velmora` command share: a temporary project
// folder, a command run as a child process with a time limit and its wall
// time, and the median of a few rounds.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace command_bench {

// A new empty folder under the temporary folder, removed with the object.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }  // "" when it could not be made

 private:
  std::string path_;
};

inline bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Outcome {
  int status = -1;       // the exit status; -1 when it did not start, was killed or ran out of time
  double seconds = 0;    // wall time from start to end
  std::string output;    // what it wrote on standard output
  std::string errors;    // what it wrote on standard error
};

inline std::string ReadBack(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

inline int UnnamedFile() {
  char name[] = "/tmp/command_bench.XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}

// Runs argv[0] with its arguments in folder cwd ("" for this one), headless
// (SDL_VIDEODRIVER=offscreen, no DISPLAY), its own process group ended
// after limit_seconds; what it writes is kept in the outcome, its wall time
// measured from the start of the child to its end.
inline Outcome Run(const std::vector<std::string>& argv, const std::string& cwd, double limit_seconds) {
  Outcome outcome;
  const int out = UnnamedFile(), err = UnnamedFile();
  if (out < 0 || err < 0) {
    if (out >= 0) close(out);
    if (err >= 0) close(err);
    return outcome;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    const int null_in = open("/dev/null", O_RDONLY);
    if (null_in >= 0) dup2(null_in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    unsetenv("DISPLAY");
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) {
    close(out);
    close(err);
    return outcome;
  }
  setpgid(pid, pid);
  const auto deadline = start + std::chrono::duration<double>(limit_seconds);
  int wait_status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) break;
    if (done < 0) {
      wait_status = -1;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      wait_status = -1;
      std::fprintf(stderr, "%s ran past %.0f s and was ended\n", argv[0].c_str(), limit_seconds);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // What the child's own children may still hold open ends with the group.
  kill(-pid, SIGKILL);
  if (wait_status != -1 && WIFEXITED(wait_status)) outcome.status = WEXITSTATUS(wait_status);
  outcome.output = ReadBack(out);
  outcome.errors = ReadBack(err);
  return outcome;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

inline double Min(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

// The last non-empty line of a command's output.
inline std::string LastLine(const std::string& output) {
  std::istringstream lines(output);
  std::string line, last;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) last = line;
  }
  return last;
}

// The velmora command the benchmark runs: argv[1] when given (a path is made
// absolute, as the commands run in other folders), else the one this build made.
inline std::string VelmoraPath(int argc, char** argv) {
  if (argc > 1) {
    const std::string given = argv[1];
    return given.find('/') == std::string::npos ? given : std::filesystem::absolute(given).string();
  }
#ifdef VELMORA_PATH
  return VELMORA_PATH;
#else
  return "velmora";
#endif
}

}  // namespace command_bench
