// Names that lead to a FIFO or a device are refused like missing files, at
// once, by every way the runtime opens a file for reading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "files_test_util.h"

using files_test::TempFolder;
using testing_support::RunInChild;

TEST(SpecialFiles, AFifoOrDeviceReadsAsMissingWithoutWaiting) {
  TempFolder dir;
  const std::string fifo = dir.File("pipe.txt");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Each check returns true when it got the missing-file result.
  const std::pair<const char*, std::function<bool()>> checks[] = {
      {"read channel",
       [&] {
         const bool opened = OpenFile(0, fifo.c_str(), 1);
         return !opened && LastErrorCode == kErrorNoSuchFile;
       }},
      {"append channel",
       [&] {
         const bool opened = OpenFile(0, fifo.c_str(), -1);
         return !opened && LastErrorCode == kErrorNoSuchFile;
       }},
      {"line file",
       [&] { return ReadFileLine(fifo.c_str(), 0) == BasicString("NO_FILE") && LastErrorCode == kErrorNoSuchFile; }},
      {"ini file",
       [&] {
         IniOpen(fifo.c_str());
         return IniGet("", "k", "default") == BasicString("default");
       }},
      {"file size", [&] { return QueryFileSize(fifo.c_str()) == 0; }},
      {"start of a fifo",
       [&] {
         std::string bytes = "stale";
         return !platform::ReadFileStart(fifo.c_str(), 2047, &bytes) && bytes.empty();
       }},
      {"start of a device",
       [&] {
         std::string bytes;
         return !platform::ReadFileStart("/dev/zero", 2047, &bytes) && bytes.empty();
       }},
  };
  for (const auto& [what, check] : checks) {
    // A regression blocks in open() for ever: the child is then killed.
    const auto result = RunInChild([&] { _exit(check() ? 0 : 1); }, 20);
    EXPECT_EQ(result.signal, 0) << what << " did not return";
    EXPECT_EQ(result.exitCode, 0) << what << " did not give the missing-file result";
  }
  // A regular file beside it opens through the same paths.
  const std::string plain = dir.File("plain.txt");
  testing_support::WriteWholeFile(plain, "k=v\n");
  std::string bytes;
  EXPECT_TRUE(platform::ReadFileStart(plain.c_str(), 2047, &bytes));
  EXPECT_EQ(bytes, "k=v\n");
  IniOpen(plain.c_str());
  EXPECT_STREQ(IniGet("", "k", "default").c_str(), "v");
  IniOpen("");
  ASSERT_TRUE(OpenFile(0, plain.c_str(), 1));
  EXPECT_EQ(QueryFileSize(plain.c_str()), 4);
  CloseFile(0);
}
