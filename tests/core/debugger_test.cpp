// A real debugger against a real program: gdb runs tests/programs/
// core_debuggee under debugger_session.py, which talks to the program only
// through VelmoraDebuggerMessage and process memory, as an IDE would.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace {

using testing_support::Lines;
using testing_support::RunProgram;
using testing_support::TempDir;

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string FindGdb() {
  for (const char* path : {"/usr/bin/gdb", "/usr/local/bin/gdb", "/bin/gdb"})
    if (std::filesystem::exists(path)) return path;
  return "";
}

std::vector<std::string> WithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

TEST(Debugger, GdbStopsAtABreakpointAndReadsVariables) {
  const std::string gdb = FindGdb();
  if (gdb.empty()) GTEST_SKIP() << "gdb is not installed (scripts/setup.sh installs it)";
  if (FirstLine("/proc/sys/kernel/yama/ptrace_scope") == "3")
    GTEST_SKIP() << "ptrace is switched off on this machine (yama ptrace_scope 3)";

  TempDir tmp;
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/core_debuggee";
  const std::string script = std::string(VELMORA_SOURCE_DIR) + "/tests/core/debugger_session.py";
  const auto result = RunProgram(gdb, {"-nx", "-batch", "-x", script, "--args", program},
                                 tmp.path(), {}, "", 120);
  const std::vector<std::string> lines = Lines(result.out);
  const std::vector<std::string> stops = WithPrefix(lines, "STOP ");
  if (stops.empty() && (result.err.find("ptrace") != std::string::npos ||
                        result.err.find("Operation not permitted") != std::string::npos)) {
    GTEST_SKIP() << "the debugger may not attach here: " << result.err;
  }
  ASSERT_FALSE(stops.empty()) << result.out << result.err;

  // The first statement stops by itself (break request at start-up).
  EXPECT_EQ(stops[0], "STOP 0 10");
  // The globals are read by name from process memory at that stop.
  const auto firstStopEnd = std::find(lines.begin(), lines.end(), stops.size() > 1 ? stops[1] : "");
  std::vector<std::string> firstGlobals = WithPrefix({lines.begin(), firstStopEnd}, "GLOBAL ");
  EXPECT_EQ(firstGlobals, (std::vector<std::string>{"GLOBAL score 0 42.5",
                                                     "GLOBAL title 1 'Polyvane'",
                                                     "GLOBAL table 2 array d1=0 count=0"}))
      << result.out;

  // Then only the breakpoint (1, 30) stops it, once per call of the routine,
  // never line 30 of module 0; the routine's parameter is read each time.
  EXPECT_EQ(stops, (std::vector<std::string>{"STOP 0 10", "STOP 1 30", "STOP 1 30", "STOP 1 30"}))
      << result.out;
  EXPECT_EQ(WithPrefix(lines, "LOCAL n "),
            (std::vector<std::string>{"LOCAL n 0 1.0", "LOCAL n 0 2.0", "LOCAL n 0 3.0"}))
      << result.out;
  EXPECT_EQ(WithPrefix(lines, "LOCAL twice "),
            (std::vector<std::string>{"LOCAL twice 0 2.0", "LOCAL twice 0 4.0", "LOCAL twice 0 6.0"}));
  const std::vector<std::string> scores = WithPrefix(lines, "GLOBAL score ");
  ASSERT_EQ(scores.size(), 4u);
  EXPECT_EQ(scores[3], "GLOBAL score 0 48.5");  // 42.5 + 2 + 4 at the third stop

  // The bounds failure of line 54 reaches the debugger as "TX" text...
  const std::vector<std::string> tx = WithPrefix(lines, "TX ");
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back("TX bounds: [   5]");
    expected.push_back("TX access: [   5]");
  }
  EXPECT_EQ(tx, expected) << result.out;
  // ... and to standard error, then END reports and the program exits with 1, a failure.
  EXPECT_EQ(WithPrefix(lines, "EXIT "), std::vector<std::string>{"EXIT 1"}) << result.out;
  EXPECT_EQ(result.runLog, "-End On Line\n9\n53\n54\n0\nvlm is shut down\n");
  EXPECT_NE(result.err.find("bounds: [   5]\naccess: [   5]\n"), std::string::npos) << result.err;
}

}  // namespace
