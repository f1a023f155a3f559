// Running an example program headless and reading its screenshot, shared by the examples' tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gfx2d/picture.h"
#include "support/child_process.h"

extern char** environ;

namespace example_test {

// The built example program <name>.
inline std::string ProgramPath(const std::string& name) {
  return std::string(VELMORA_BINARY_DIR) + "/examples/" + name + "/" + name;
}

// A running example: started offscreen in its working folder, with its own
// TMPDIR (for ErrorLog.txt) and its output in out.txt there.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder)
      : folder_(folder) {
    std::filesystem::create_directories(folder + "tmp");
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "DISPLAY=",
                                    "TMPDIR=" + folder + "tmp"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
          entry.rfind("SDL_VIDEODRIVER=", 0) != 0)
        env.push_back(entry);
    }
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const std::string out = folder + "out.txt";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~RunningProgram() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // The exit code, -1 when it did not start, died by a signal or was still
  // running after the time given (it is killed then).
  int Wait(int seconds) {
    if (pid_ <= 0) return -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        done_ = true;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    done_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Output() const { return testing_support::ReadWholeFile(folder_ + "out.txt"); }
  std::string RunLog() const { return testing_support::ReadWholeFile(folder_ + "tmp/ErrorLog.txt"); }

 private:
  std::string folder_;
  pid_t pid_ = -1;
  bool done_ = false;
};

// Run-log lines that report a failure: read errors, unknown names, END with a
// code other than 0.
inline std::vector<std::string> ErrorLines(const std::string& runLog) {
  std::vector<std::string> errors;
  const std::vector<std::string> lines = testing_support::Lines(runLog);
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.find("error") != std::string::npos || line.find("Error") != std::string::npos ||
        line.find("not found") != std::string::npos || line.find("failed") != std::string::npos)
      errors.push_back(line);
    if (line == "-End On Line" && k + 1 < lines.size() && lines[k + 1] != "0") errors.push_back(line + " " + lines[k + 1]);
  }
  return errors;
}

struct Rgb {
  int r, g, b;
};

class Screenshot {
 public:
  bool Load(const std::string& file) { return ReadPNG(picture_, file.c_str(), -1); }
  int Width() const { return picture_.width; }
  int Height() const { return picture_.height; }
  Rgb At(int x, int y) const {
    const uint8_t* p = const_cast<Picture&>(picture_).Pixel(x, y);
    return {p[0], p[1], p[2]};
  }
  // Pixels of the rectangle that pass the test.
  template <class Test>
  int Count(int x0, int y0, int w, int h, Test test) const {
    int count = 0;
    for (int y = std::max(y0, 0); y < y0 + h && y < Height(); ++y)
      for (int x = std::max(x0, 0); x < x0 + w && x < Width(); ++x) count += test(At(x, y)) ? 1 : 0;
    return count;
  }

 private:
  Picture picture_;
};

inline bool Near(Rgb c, int r, int g, int b, int tolerance) {
  return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.b - b) <= tolerance;
}

}  // namespace example_test
