// The run log: appended to in the temporary folder, and deleted whether a
// file or a folder took its name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

}  // namespace
