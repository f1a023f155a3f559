// PRINT's lines reach a pipe as they are printed: a program that sleeps
// after printing (and is then killed, as a watchdog would) has delivered
// every finished line before the kill.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/child_process.h"

namespace {

TEST(PrintOutput, LinesReachAPipeWhileTheProgramSleepsAndSurviveAKill) {
  testing_support::TempDir tmp;
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_print_program";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(ends[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(ends[0]);
    setenv("TMPDIR", tmp.path().c_str(), 1);
    setenv("VELMORA_NO_DIALOGS", "1", 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  // The finished lines: "zone" padded to the next tab zone of 14 columns,
  // and the line that an embedded newline ends.
  const std::string lines = "first line\nzone          end\ntwo\n";
  std::string out;
  const auto readFor = [&](std::chrono::milliseconds limit, bool untilLines) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      if (untilLines && out.size() >= lines.size()) return;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      pollfd p{ends[0], POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
      char buffer[256];
      const ssize_t n = read(ends[0], buffer, sizeof buffer);
      if (n <= 0) return;  // the end: the program has gone
      out.append(buffer, static_cast<size_t>(n));
    }
  };
  // The program prints at once and then sleeps for ever.
  readFor(std::chrono::seconds(30), true);
  const std::string beforeKill = out;
  int status = 0;
  const bool stillRunning = waitpid(pid, &status, WNOHANG) == 0;
  kill(pid, SIGKILL);
  readFor(std::chrono::seconds(10), false);
  close(ends[0]);
  waitpid(pid, &status, 0);
  EXPECT_TRUE(stillRunning) << "the program ended by itself";
  EXPECT_EQ(beforeKill.substr(0, lines.size()), lines) << beforeKill;
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

}  // namespace
