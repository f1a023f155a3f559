// A program built from BASIC in debug mode under the real debugger: gdb runs
// the debuggee of tests/vlmc/debuggee with tests/core/debugger_session.py,
// which stops it at statement 30 of module 1 and reads its variables by
// their BASIC names (a record's fields as "name.field"); the bounds failure
// names the BASIC statement.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace {

using testing_support::Lines;
using testing_support::TempDir;

std::vector<std::string> WithPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines)
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  return found;
}

TEST(TranslatedDebugger, StopsAtBasicStatementsAndReadsVariablesByName) {
  const std::string gdb = "/usr/bin/gdb";
  if (!std::filesystem::exists(gdb)) GTEST_SKIP() << "gdb is not installed (scripts/setup.sh installs it)";
  std::ifstream scope("/proc/sys/kernel/yama/ptrace_scope");
  std::string level;
  std::getline(scope, level);
  if (level == "3") GTEST_SKIP() << "ptrace is switched off on this machine";

  TempDir tmp;
  const std::string script = std::string(VELMORA_SOURCE_DIR) + "/tests/core/debugger_session.py";
  const auto result = testing_support::RunProgram(gdb, {"-nx", "-batch", "-x", script, "--args", VLMC_DEBUGGEE},
                                                  tmp.path(), {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, "", 120);
  const std::vector<std::string> lines = Lines(result.out);
  const std::vector<std::string> stops = WithPrefix(lines, "STOP ");
  if (stops.empty() && result.err.find("ptrace") != std::string::npos) GTEST_SKIP() << result.err;

  // The first statement stops by itself; then only the breakpoint (1, 30),
  // once per call of addTwice.
  EXPECT_EQ(stops, (std::vector<std::string>{"STOP 0 1", "STOP 1 30", "STOP 1 30", "STOP 1 30"})) << result.out;
  // Globals in declaration order under their BASIC names ($ as _Str), at the first stop.
  const std::vector<std::string> globals = WithPrefix(lines, "GLOBAL ");
  ASSERT_GE(globals.size(), 3u) << result.out;
  EXPECT_EQ(std::vector<std::string>(globals.begin(), globals.begin() + 3),
            (std::vector<std::string>{"GLOBAL score 0 0.0", "GLOBAL title_Str 1 ''", "GLOBAL table 2 array d1=0 count=0"}));
  // The parameter and the local of addTwice at each stop; the main program's counter n is its local.
  EXPECT_EQ(WithPrefix(lines, "LOCAL n "),
            (std::vector<std::string>{"LOCAL n 0 0.0", "LOCAL n 0 1.0", "LOCAL n 0 2.0", "LOCAL n 0 3.0"}));
  EXPECT_EQ(WithPrefix(lines, "LOCAL twice "),
            (std::vector<std::string>{"LOCAL twice 0 0.0", "LOCAL twice 0 0.0", "LOCAL twice 0 0.0"}));
  // A record's fields, each an entry of its own: the global hero as the main
  // program set it before each call, addTwice's own record as it starts.
  EXPECT_EQ(WithPrefix(lines, "GLOBAL hero.count "),
            (std::vector<std::string>{"GLOBAL hero.count 0 0.0", "GLOBAL hero.count 0 10.0", "GLOBAL hero.count 0 20.0",
                                      "GLOBAL hero.count 0 30.0"}));
  EXPECT_EQ(WithPrefix(lines, "GLOBAL hero.label_Str ").size(), 4u);
  EXPECT_EQ(WithPrefix(lines, "LOCAL last.count "), std::vector<std::string>(3, "LOCAL last.count 0 0.0"));
  EXPECT_EQ(WithPrefix(lines, "GLOBAL crowd 6 ").size(), 4u) << "an array of records is one entry of type 6";
  const std::vector<std::string> scores = WithPrefix(lines, "GLOBAL score ");
  ASSERT_EQ(scores.size(), 4u);
  EXPECT_EQ(scores[3], "GLOBAL score 0 48.5");  // 42.5 + 2 + 4 before the third call
  // table[5] of a five-element array: statement 7 of module 0 in the END report.
  EXPECT_EQ(WithPrefix(lines, "TX bounds"), std::vector<std::string>(3, "TX bounds: [   5]")) << result.out;
  EXPECT_EQ(WithPrefix(lines, "EXIT "), std::vector<std::string>{"EXIT 1"}) << result.out;
  EXPECT_NE(result.runLog.find("-End On Line\n9\n6\n7\n0\n"), std::string::npos) << result.runLog;
}

}  // namespace
