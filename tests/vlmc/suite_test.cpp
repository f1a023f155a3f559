// The translator's suites: every program of programs/<group>/ translated,
// compiled (vlmc_suite) and run with <name>.in (or nothing) as its standard
// input, its standard output compared with <name>.out, its run log with
// <name>.log and its exit status with <name>.exit (or 0); every program of errors/ must
// fail to translate with exactly the diagnostics of <name>.err; the C++ of
// the programs is the recorded translation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "vlmc.h"

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
  const std::string input = Exists(base + ".in") ? base + ".in" : "/dev/null";
  const ChildResult run =
      testing_support::RunProgram("/bin/sh", {"-c", "exec \"$0\" \"$1\" < \"$2\"", VLMC_SUITE, GetParam(), input},
                                  dir.File("tmp/"), {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, dir.path(), 60);
  const int status = Exists(base + ".exit") ? std::stoi(ReadWholeFile(base + ".exit")) : 0;
  ASSERT_EQ(run.exitCode, status) << run.err;
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

// At least forty programs in several groups. Per group (and for the
// two-module debuggee) a hash (FNV-1a) of every file vlmc writes in debug and
// release: a change to what vlmc writes shows here, with the values to record.
TEST(ProgramSuiteAsAWhole, HasFortyProgramsInSeveralGroupsTranslatedAsRecorded) {
  const std::vector<std::string> programs = ProgramsIn("programs");
  std::map<std::string, std::vector<std::vector<vlmc::SourceFile>>> groups;
  for (const std::string& p : programs)
    groups[p.substr(0, p.find('/'))].push_back({{p + ".bas", ReadWholeFile(kSuiteDir + "programs/" + p + ".bas")}});
  EXPECT_GE(programs.size(), 40u);
  EXPECT_GE(groups.size(), 5u);
  groups["debuggee"].push_back({{"main.bas", ReadWholeFile(kSuiteDir + "debuggee/main.bas")},
                                {"helper.bas", ReadWholeFile(kSuiteDir + "debuggee/helper.bas")}});
  std::map<std::string, uint64_t> hashes;
  for (const auto& [group, sources] : groups)
    for (const std::vector<vlmc::SourceFile>& modules : sources)
      for (const bool debug : {true, false}) {
        const vlmc::Result r = vlmc::Translate(modules, vlmc::Options{"suite", debug, !debug});
        ASSERT_TRUE(r.ok) << r.diagnostics;
        uint64_t& hash = hashes.try_emplace(group, 14695981039346656037u).first->second;
        for (const vlmc::OutputFile& f : r.files)
          for (const char c : f.name + f.text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
      }
  EXPECT_EQ(hashes, (std::map<std::string, uint64_t>{
      {"arith", 4333743933014386733u}, {"arrays", 8713848125541958440u}, {"console", 16090763918411818999u},
      {"control", 8057166532023232030u}, {"data", 3662452609109280227u}, {"debug", 394010569367006363u},
      {"debuggee", 9582407098542701880u}, {"functions", 9622227681839656887u}, {"names", 18204197650765033431u},
      {"records", 15074544625509861338u}, {"runtime", 10742100665255009872u}, {"strings", 10898635483666269795u},
      {"trig", 5426275442023008472u}}));
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
