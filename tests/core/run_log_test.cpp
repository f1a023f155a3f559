// The run log: appended to in the temporary folder, and deleted whether a
// file or a folder took its name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "platform/platform.h"
#include "support/child_process.h"

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

namespace fs = std::filesystem;

// Points TMPDIR at a fresh folder for the test's lifetime.
class RunLogTest : public testing::Test {
 protected:
  RunLogTest() : saved_(platform::EnvironmentVariable("TMPDIR")) {
    platform::SetEnvironmentVariable("TMPDIR", dir_.path().c_str());
  }
  ~RunLogTest() override { platform::SetEnvironmentVariable("TMPDIR", saved_.c_str()); }

  TempDir dir_;
  std::string saved_;
};

TEST_F(RunLogTest, TextIsAppendedInTheTemporaryFolder) {
  EXPECT_EQ(RunLogPath(), dir_.File("ErrorLog.txt"));
  WriteLog("first\n");
  WriteLogF("%s %d\n", "second", 2);
  WriteLog(nullptr);
  EXPECT_EQ(ReadWholeFile(dir_.File("ErrorLog.txt")), "first\nsecond 2\nNULL");
}

TEST_F(RunLogTest, DeletingRemovesTheFileOrAFolderOfThatName) {
  WriteLog("old run\n");
  DeleteRunLog();
  EXPECT_FALSE(fs::exists(dir_.File("ErrorLog.txt")));
  // A folder of that name goes with everything in it; its neighbours stay.
  fs::create_directories(dir_.File("ErrorLog.txt/inner/deeper"));
  WriteWholeFile(dir_.File("ErrorLog.txt/inner/deeper/f"), "x");
  WriteWholeFile(dir_.File("ErrorLog.txt/g"), "y");
  WriteWholeFile(dir_.File("neighbour.txt"), "z");
  DeleteRunLog();
  EXPECT_FALSE(fs::exists(dir_.File("ErrorLog.txt")));
  EXPECT_EQ(ReadWholeFile(dir_.File("neighbour.txt")), "z");
  WriteLog("new run\n");
  EXPECT_EQ(ReadWholeFile(dir_.File("ErrorLog.txt")), "new run\n");
}

// A kind of line that recurs: the first is written, the rest within the interval only counted,
// and the count comes before the next line written (or at a flush).
TEST(RepeatedLogLine, WritesTheFirstAndCountsTheRestOfEachInterval) {
  RepeatedLogLine kind("peer: bad", 1000);
  const struct {
    int64_t at;
    std::vector<std::string> written;
  } steps[] = {
      {0, {"bad 1\n"}},
      {1, {}},
      {999, {}},
      {1000, {"peer: bad: 2 more like this left out\n", "bad 4\n"}},  // the interval ends at 1000
      {1500, {}},
      {2000, {"peer: bad: 1 more like this left out\n", "bad 6\n"}},
      {5000, {"bad 7\n"}},  // nothing left out: no count line
  };
  int n = 0;
  for (const auto& step : steps) {
    std::vector<std::string> out;
    kind.Occur("bad " + std::to_string(++n) + "\n", step.at, &out);
    EXPECT_EQ(out, step.written) << "at " << step.at;
  }
  std::vector<std::string> out;
  kind.Occur("bad 8\n", 5001, &out);
  EXPECT_TRUE(out.empty());
  kind.Flush(&out);
  EXPECT_EQ(out, std::vector<std::string>{"peer: bad: 1 more like this left out\n"});
  // After a flush the next occurrence is written at once, whatever the time.
  out.clear();
  kind.Occur("bad 9\n", 5002, &out);
  EXPECT_EQ(out, std::vector<std::string>{"bad 9\n"});
  out.clear();
  kind.Flush(&out);  // nothing left out
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(kind.Occurrences(), 9u);
}

TEST_F(RunLogTest, RepeatedLinesGoToTheLogOnceWithTheirCount) {
  RepeatedLogLine kind("flood");
  for (int i = 0; i < 1000; ++i) kind.Write("line %d\n", 1000 + i);
  kind.FlushToLog();
  EXPECT_EQ(ReadWholeFile(dir_.File("ErrorLog.txt")), "line 1000\nflood: 999 more like this left out\n");
}

}  // namespace
