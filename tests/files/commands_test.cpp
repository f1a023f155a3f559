// The numbered file channels and the whole-file commands, on real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/core.h"
#include "core/settings.h"
#include "files/files.h"
#include "files_test_util.h"

namespace fs = std::filesystem;
using files_test::AddEntries;
using files_test::Bytes;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::RunInChild;
using testing_support::WriteWholeFile;

namespace {

// Closes every channel when a test ends, so tests stay independent when the
// binary runs them all in one process.
class FileCommands : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int i = 0; i < kFileChannels; ++i) CloseFile(i);
    SetArchive("", "");
  }
  TempFolder dir;
};

}  // namespace

TEST_F(FileCommands, SeekFromEndAndPosition) {
  const std::string path = dir.File("hundred.bin");
  WriteWholeFile(path, std::string(100, 'z'));
  ASSERT_TRUE(OpenFile(2, path.c_str(), 1));
  SeekFile(2, -4, -1);
  EXPECT_EQ(FilePosition(2), 96);
  EXPECT_FALSE(EndOfFile(2));
  SeekFile(2, 3, 1);
  EXPECT_EQ(FilePosition(2), 99);
  SeekFile(2, 10, 0);
  EXPECT_EQ(FilePosition(2), 10);
  SeekFile(2, 0, -1);
  EXPECT_TRUE(EndOfFile(2));
  SeekFile(2, -500, 0);  // before the start: clamped
  EXPECT_EQ(FilePosition(2), 0);
}

TEST_F(FileCommands, SeeksPastEitherEndOfThePositionRangeAreClamped) {
  const std::string path = dir.File("hundred.bin");
  WriteWholeFile(path, std::string(100, 'z'));
  ASSERT_TRUE(OpenFile(1, path.c_str(), 1));
  constexpr int64_t kMax = INT64_MAX;
  constexpr int64_t kMin = INT64_MIN;
  struct Case {
    int64_t from;  // position before the seek
    int64_t offset;
    int mode;
    int64_t expected;
  };
  const Case cases[] = {
      {10, kMax, 1, kMax},     {10, kMin, 1, 0},       {0, kMax, -1, kMax},    {0, kMin, -1, 0},
      {kMax, 1, 1, kMax},      {kMax, -1, 1, kMax - 1}, {kMax, kMin, 1, 0},     {kMax, kMax, 1, kMax},
      {5, kMax - 5, 1, kMax},  {6, kMax - 5, 1, kMax},  {0, kMax - 100, -1, kMax},
      {0, kMax - 99, -1, kMax}, {0, kMax - 101, -1, kMax - 1}, {50, kMax, 0, kMax}, {50, kMin, 0, 0},
  };
  for (const Case& c : cases) {
    SeekFile(1, c.from, 0);
    ASSERT_EQ(FilePosition(1), c.from);
    SeekFile(1, c.offset, c.mode);
    EXPECT_EQ(FilePosition(1), c.expected) << c.from << " " << c.offset << " mode " << c.mode;
  }
  SeekFile(1, kMax, 1);
  EXPECT_TRUE(EndOfFile(1));
  SeekFile(1, -100, -1);
  EXPECT_EQ(FilePosition(1), 0);
  EXPECT_FALSE(EndOfFile(1));
}

TEST_F(FileCommands, WriteLineEndsWithCrLfAndValuesAreLittleEndian) {
  const std::string path = dir.File("out.bin");
  ASSERT_TRUE(OpenFile(0, path.c_str(), 0));
  ASSERT_TRUE(WriteLine(0, "a"));
  CloseFile(0);
  EXPECT_EQ(ReadWholeFile(path), Bytes({0x61, 0x0D, 0x0A}));

  ASSERT_TRUE(OpenFile(0, path.c_str(), 0));  // replaces the file
  WriteInt16(0, -2);
  WriteInt32(0, 0x11223344);
  WriteUInt8(0, 0x1FF);  // truncated to the byte written
  WriteUInt16(0, 65534);
  WriteUInt32(0, 4000000000LL);
  WriteFloat32(0, 1.5);
  WriteFloat64(0, -2.0);
  WriteString(0, "hi");
  EXPECT_EQ(FilePosition(0), 27);
  CloseFile(0);
  // IEEE 754: 1.5f is 0x3FC00000, -2.0 is 0xC000000000000000.
  EXPECT_EQ(ReadWholeFile(path), Bytes({0xFE, 0xFF, 0x44, 0x33, 0x22, 0x11, 0xFF, 0xFE, 0xFF, 0x00, 0x28, 0x6B,
                                        0xEE, 0x00, 0x00, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0, 0x00, 0xC0, 'h', 'i'}));

  ASSERT_TRUE(OpenFile(1, path.c_str(), 1));
  int32_t i16 = 0, i32 = 0, u8 = 0, u16 = 0;
  int64_t u32 = 0;
  double f32 = 0, f64 = 0;
  BasicString text;
  ASSERT_TRUE(ReadInt16(1, i16));
  ASSERT_TRUE(ReadInt32(1, i32));
  ASSERT_TRUE(ReadUInt8(1, u8));
  ASSERT_TRUE(ReadUInt16(1, u16));
  ASSERT_TRUE(ReadUInt32(1, u32));
  ASSERT_TRUE(ReadFloat32(1, f32));
  ASSERT_TRUE(ReadFloat64(1, f64));
  ASSERT_TRUE(ReadString(1, text, 2));
  EXPECT_EQ(i16, -2);
  EXPECT_EQ(i32, 0x11223344);
  EXPECT_EQ(u8, 255);
  EXPECT_EQ(u16, 65534);
  EXPECT_EQ(u32, 4000000000LL);
  EXPECT_EQ(f32, 1.5);
  EXPECT_EQ(f64, -2.0);
  EXPECT_STREQ(text.c_str(), "hi");
  EXPECT_TRUE(EndOfFile(1));
}

TEST_F(FileCommands, SignedAndUnsignedReadsOfTheSameBytes) {
  const std::string path = dir.File("fe.bin");
  WriteWholeFile(path, Bytes({0xFE, 0xFF, 0xFE, 0xFF, 0x80, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(OpenFile(3, path.c_str(), 1));
  int32_t value = 0;
  double number = 0;
  ReadInt16(3, value);
  EXPECT_EQ(value, -2);
  ReadUInt16(3, value);
  EXPECT_EQ(value, 65534);
  ReadInt8(3, value);
  EXPECT_EQ(value, -128);
  ReadUInt8(3, number);
  EXPECT_EQ(number, 128.0);
  ReadInt32(3, number);
  EXPECT_EQ(number, -1.0);
  ReadUInt32(3, number);
  EXPECT_EQ(number, 4294967295.0);
}

TEST_F(FileCommands, TextLinesNumbersAndTheSceneFilePattern) {
  // What the viewer does with its scene file: a count, then text and numbers.
  const std::string path = dir.File("test.pvs");
  WriteWholeFile(path, "2\r\nsphere\r\n-1.25\r\n  42abc\r\nbox\n3e2\n");
  ASSERT_TRUE(OpenFile(1, path.c_str(), 1));
  double count = 0, first = 0, last = 0;
  int32_t whole = 0;
  BasicString a, b;
  ASSERT_TRUE(ReadNumberLine(1, count));
  ASSERT_TRUE(ReadLine(1, a));
  ASSERT_TRUE(ReadNumberLine(1, first));
  ASSERT_TRUE(ReadIntLine(1, whole));
  ASSERT_TRUE(ReadLine(1, b));
  ASSERT_TRUE(ReadNumberLine(1, last));
  EXPECT_EQ(count, 2.0);
  EXPECT_STREQ(a.c_str(), "sphere");
  EXPECT_EQ(first, -1.25);
  EXPECT_EQ(whole, 42);
  EXPECT_STREQ(b.c_str(), "box");
  EXPECT_EQ(last, 300.0);
  EXPECT_TRUE(EndOfFile(1));

  // ReadLine stops at 1024 characters; the rest is the next line.
  WriteWholeFile(dir.File("long.txt"), std::string(1500, 'q') + "\r\n");
  ASSERT_TRUE(OpenFile(1, dir.File("long.txt").c_str(), 1));
  ASSERT_TRUE(ReadLine(1, a));
  EXPECT_EQ(a.Length(), 1024u);
  ASSERT_TRUE(ReadLine(1, a));
  EXPECT_EQ(a.Length(), 476u);
}

TEST_F(FileCommands, AppendModeWritesAtTheEnd) {
  const std::string path = dir.File("log.txt");
  WriteWholeFile(path, "one\r\n");
  ASSERT_TRUE(OpenFile(4, path.c_str(), -1));
  EXPECT_EQ(FilePosition(4), 5);
  WriteLine(4, "two");
  // Seeking from the end finds the real end of what is being written.
  SeekFile(4, -5, -1);
  WriteString(4, "TWO");
  CloseFile(4);
  EXPECT_EQ(ReadWholeFile(path), "one\r\nTWO\r\n");
  ASSERT_TRUE(OpenFile(4, dir.File("new.txt").c_str(), -1));  // created when missing
  WriteString(4, "x");
  CloseFile(4);
  EXPECT_EQ(ReadWholeFile(dir.File("new.txt")), "x");
}

TEST_F(FileCommands, OpenFailuresSetTheErrorCode) {
  EXPECT_FALSE(OpenFile(8, dir.File("a").c_str(), 0));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_FALSE(OpenFile(-1, dir.File("a").c_str(), 0));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_FALSE(OpenFile(0, dir.File("missing.txt").c_str(), 1));
  EXPECT_EQ(LastErrorCode, 3);
  uint8_t block[4] = {1, 2, 3, 4};
  RegisterMemoryFile(block, 4);
  EXPECT_FALSE(OpenFile(0, MemoryFileName(block, 4).c_str(), 0));  // read-only
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_FALSE(OpenFile(0, MemoryFileName(block, 4).c_str(), -1));
  EXPECT_EQ(LastErrorCode, 3);
  ASSERT_TRUE(OpenFile(0, MemoryFileName(block, 4).c_str(), 1));
  EXPECT_EQ(LastErrorCode, 0);
  int32_t value = 0;
  ReadInt32(0, value);
  EXPECT_EQ(value, 0x04030201);
  CloseFile(0);
  UnregisterMemoryFile(block);
  EXPECT_FALSE(OpenFile(0, dir.File("no/such/folder/x.txt").c_str(), 0));
  EXPECT_EQ(LastErrorCode, 3);

  // Write mode keeps the file name as given; only a folder that does not
  // exist as written is looked up without regard to letter case.
  fs::create_directory(dir.File("media"));
  WriteWholeFile(dir.File("media/save.dat"), "old");
  ASSERT_TRUE(OpenFile(0, dir.File("MEDIA/Save.dat").c_str(), 0));
  WriteString(0, "new");
  CloseFile(0);
  EXPECT_EQ(ReadWholeFile(dir.File("media/Save.dat")), "new");
  EXPECT_EQ(ReadWholeFile(dir.File("media/save.dat")), "old");

  // Write mode replaces an empty folder of the same name.
  fs::create_directory(dir.File("was-a-folder"));
  ASSERT_TRUE(OpenFile(0, dir.File("was-a-folder").c_str(), 0));
  CloseFile(0);
  EXPECT_TRUE(fs::is_regular_file(dir.File("was-a-folder")));
}

TEST_F(FileCommands, FreeChannelsSkipOpenMemoryFiles) {
  uint8_t block[8] = {};
  RegisterMemoryFile(block, 8);
  EXPECT_EQ(FindFreeChannel(), 0);
  ASSERT_TRUE(OpenFile(0, MemoryFileName(block, 8).c_str(), 1));
  ASSERT_TRUE(OpenFile(1, dir.File("f").c_str(), 0));
  EXPECT_EQ(FindFreeChannel(), 2);
  for (int i = 2; i < kFileChannels; ++i) ASSERT_TRUE(OpenFile(i, dir.File("f" + std::to_string(i)).c_str(), 0));
  EXPECT_EQ(FindFreeChannel(), -1);
  CloseFile(5);
  EXPECT_EQ(FindFreeChannel(), 5);
  UnregisterMemoryFile(block);
}

TEST_F(FileCommands, ReadModeFindsArchiveEntries) {
  const std::string host = dir.File("game");
  WriteWholeFile(host, "host program bytes");
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"TEST.PVS", "1\r\nfloor\r\n"}}));
  SetArchive(host.c_str(), host.c_str());
  ASSERT_TRUE(OpenFile(1, "test.pvs", 1));
  double count = 0;
  BasicString name;
  ReadNumberLine(1, count);
  ReadLine(1, name);
  EXPECT_EQ(count, 1.0);
  EXPECT_STREQ(name.c_str(), "floor");
  // Write mode never touches the archive: it makes a real file.
  ASSERT_TRUE(OpenFile(2, dir.File("test.pvs").c_str(), 0));
  CloseFile(2);
  EXPECT_TRUE(fs::exists(dir.File("test.pvs")));
}

TEST(FileCommandsEnd, ReadPastTheEndEndsTheProgramWithError3) {
  TempFolder dir;
  const std::string path = dir.File("short.bin");
  WriteWholeFile(path, "ab");
  const auto result = RunInChild([&] {
    Settings().DebugMode = 1;
    OpenFile(0, path.c_str(), 1);
    int32_t value = 0;
    ReadInt32(0, value);
    std::printf("still running\n");
  });
  EXPECT_EQ(result.exitCode, 1);  // a failure, not an ordinary end
  EXPECT_EQ(result.out.find("still running"), std::string::npos);
  const auto lines = testing_support::Lines(result.runLog);
  ASSERT_GE(lines.size(), 2u) << result.runLog;
  EXPECT_EQ(lines[0], "-End On Line");
  EXPECT_EQ(lines[1], "3");
}

TEST(FileCommandsEnd, BadChannelAndEndOfTextEndWithTheirCodes) {
  TempFolder dir;
  const auto badChannel = RunInChild([] {
    Settings().DebugMode = 1;
    double value = 0;
    ReadFloat64(8, value);
  });
  auto lines = testing_support::Lines(badChannel.runLog);
  ASSERT_GE(lines.size(), 2u) << badChannel.runLog;
  EXPECT_EQ(lines[1], "7");
  EXPECT_EQ(badChannel.exitCode, 1);

  const std::string path = dir.File("one-line.txt");
  WriteWholeFile(path, "only\n");
  const auto endOfText = RunInChild([&] {
    Settings().DebugMode = 1;
    OpenFile(0, path.c_str(), 1);
    BasicString line;
    ReadLine(0, line);
    std::printf("[%s]\n", line.c_str());
    ReadLine(0, line);
    std::printf("after\n");
  });
  EXPECT_NE(endOfText.out.find("[only]"), std::string::npos);
  EXPECT_EQ(endOfText.out.find("after"), std::string::npos);
  lines = testing_support::Lines(endOfText.runLog);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "3");
  EXPECT_EQ(endOfText.exitCode, 1);

  const auto writeToReadChannel = RunInChild([&] {
    Settings().DebugMode = 1;
    OpenFile(0, path.c_str(), 1);
    WriteLine(0, "x");
    std::printf("after\n");
  });
  EXPECT_EQ(writeToReadChannel.out.find("after"), std::string::npos);
  lines = testing_support::Lines(writeToReadChannel.runLog);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "3");
  EXPECT_EQ(writeToReadChannel.exitCode, 1);
  EXPECT_EQ(ReadWholeFile(path), "only\n");
}
