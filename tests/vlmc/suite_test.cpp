// The translator's suites: every program of programs/<group>/ translated,
// compiled (vlmc_suite) and run, its standard output compared with
// <name>.out and its run log with <name>.log; every program of errors/ must
// fail to translate with exactly the diagnostics of <name>.err.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildResult;
using testing_support::ReadWholeFile;
using testing_support::TempDir;

const std::string kSuiteDir = std::string(VELMORA_SOURCE_DIR) + "/tests/vlmc/";

// "group/name" of every program in a folder of the suite (sorted).
std::vector<std::string> ProgramsIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(kSuiteDir + folder)) {
    if (entry.path().extension() != ".bas") continue;
    std::string rel = fs::relative(entry.path(), kSuiteDir + folder).replace_extension().generic_string();
    names.push_back(rel);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

bool Exists(const std::string& path) { return fs::exists(path); }

// ------------------------------------------------------------ programs that run

class ProgramSuite : public testing::TestWithParam<std::string> {};

TEST_P(ProgramSuite, GivesItsOutput) {
  const std::string base = kSuiteDir + "programs/" + GetParam();
  TempDir dir;
  fs::create_directories(dir.File("tmp"));
  const ChildResult run = testing_support::RunProgram(VLMC_SUITE, {GetParam()}, dir.File("tmp/"),
                                                      {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, dir.path(), 60);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // END, which every run ends through, says "exit" last.
  EXPECT_EQ(run.out, ReadWholeFile(base + ".out") + "exit\n") << run.err;
  if (Exists(base + ".log")) {
    // The expected lines, consecutive and in order, somewhere in the run log.
    const std::vector<std::string> want = testing_support::Lines(ReadWholeFile(base + ".log"));
    const std::vector<std::string> log = testing_support::Lines(run.runLog);
    ASSERT_FALSE(want.empty());
    const auto found = std::search(log.begin(), log.end(), want.begin(), want.end());
    EXPECT_NE(found, log.end()) << "run log:\n" << run.runLog;
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramSuite, testing::ValuesIn(ProgramsIn("programs")), TestName);

TEST(ProgramSuiteSize, HasAtLeastFortyProgramsInSeveralGroups) {
  const std::vector<std::string> programs = ProgramsIn("programs");
  std::vector<std::string> groups;
  for (const std::string& p : programs) groups.push_back(p.substr(0, p.find('/')));
  groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
  EXPECT_GE(programs.size(), 40u);
  EXPECT_GE(groups.size(), 5u);
}

// ------------------------------------------------------------ programs that must not translate

class ErrorSuite : public testing::TestWithParam<std::string> {};

TEST_P(ErrorSuite, FailsWithItsDiagnostics) {
  const std::string name = GetParam() + ".bas";
  TempDir tmp;
  const ChildResult run =
      testing_support::RunProgram(VLMC_TOOL, {"--check", name}, tmp.path(), {}, kSuiteDir + "errors", 30);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, ReadWholeFile(kSuiteDir + "errors/" + GetParam() + ".err"));
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Errors, ErrorSuite, testing::ValuesIn(ProgramsIn("errors")), TestName);

}  // namespace
