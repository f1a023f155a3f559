// Running example programs side by side (the networked ones), shared by the examples' tests.
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

#include "example_support.h"
#include "support/child_process.h"

extern char** environ;

namespace example_test {

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

}  // namespace example_test
