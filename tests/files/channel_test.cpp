// Read channels over real files and memory files; memory-file names and the
// registry that keeps made-up names from reading arbitrary memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "files_test_util.h"

using files_test::Bytes;
using files_test::Drain;
using files_test::ReadByName;
using files_test::TempFolder;
using testing_support::WriteWholeFile;

TEST(MemoryFileName, FieldsArePaddedHexAndParseBack) {
  // The documented example: six spaces and 10, two spaces and 4c2a00.
  EXPECT_EQ(MemoryFileName(reinterpret_cast<const void*>(0x4c2a00), 16), "mem://      10.  4c2a00");
  uint64_t size = 0;
  uintptr_t address = 0;
  ASSERT_TRUE(ParseMemoryFileName("mem://      10.  4c2a00", &size, &address));
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(address, 0x4C2A00u);

  // A real 64-bit heap address keeps every digit.
  auto block = std::make_unique<uint8_t[]>(16);
  char expected[64];
  std::snprintf(expected, sizeof expected, "mem://%8x.%8llx", 16u,
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(block.get())));
  EXPECT_EQ(MemoryFileName(block.get(), 16), expected);
  ASSERT_TRUE(ParseMemoryFileName(expected, &size, &address));
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(block.get()));

  for (const char* bad : {"mem://", "mem://10", "mem://  10.", "mem://xx.10", "mem://10.4c2a00zz", "file.txt"})
    EXPECT_FALSE(ParseMemoryFileName(bad, &size, &address)) << bad;
  EXPECT_TRUE(IsMemoryFileName("mem://anything"));
  EXPECT_FALSE(IsMemoryFileName("Mem://x"));
}

TEST(MemoryFile, RegisteredBlockOpensAndReads) {
  uint8_t block[16];
  for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(0xF0 + i);
  RegisterMemoryFile(block, sizeof block);
  const std::string name = MemoryFileName(block, sizeof block);
  EXPECT_TRUE(MemoryFileValid(name.c_str()));

  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, name.c_str()));
  EXPECT_EQ(channel.size, 16);
  int32_t value = 0;
  ASSERT_TRUE(ChannelReadInt32(channel, &value));
  EXPECT_EQ(static_cast<uint32_t>(value), 0xF3F2F1F0u);
  uint8_t rest[32];
  // Clamped to the twelve bytes left.
  EXPECT_EQ(ChannelRead(channel, rest, sizeof rest), 12);
  EXPECT_EQ(rest[11], 0xFF);
  EXPECT_EQ(ChannelRead(channel, rest, sizeof rest), 0);
  EXPECT_FALSE(ChannelReadInt32(channel, &value));
  CloseChannel(channel);
  EXPECT_EQ(channel.memory, nullptr);
  EXPECT_EQ(channel.size, 0);

  // A part of a registered block is fine; more than the block is not.
  EXPECT_EQ(ReadByName(MemoryFileName(block + 4, 8).c_str()), std::string(reinterpret_cast<char*>(block + 4), 8));
  EXPECT_EQ(ReadByName(MemoryFileName(block, 17).c_str()), "<no open>");
  EXPECT_EQ(ReadByName(MemoryFileName(block + 8, 9).c_str()), "<no open>");
  UnregisterMemoryFile(block);
}

TEST(MemoryFile, WithdrawnBlockStopsOpenChannels) {
  // Made-up addresses would crash if read: the first page is never mapped.
  EXPECT_EQ(ReadByName("mem://     100.       8"), "<no open>");
  EXPECT_FALSE(MemoryFileValid("mem://      10.       0"));

  auto block = std::make_unique<uint8_t[]>(64);
  std::memset(block.get(), 'x', 64);
  RegisterMemoryFile(block.get(), 64);
  const std::string name = MemoryFileName(block.get(), 64);
  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, name.c_str()));
  char buffer[8];
  EXPECT_EQ(ChannelRead(channel, buffer, 8), 8);
  // The owner withdraws the block while a channel is open: the channel stops
  // delivering instead of reading memory that may be freed next.
  UnregisterMemoryFile(block.get());
  EXPECT_EQ(ChannelRead(channel, buffer, 8), 0);
  CloseChannel(channel);
  // The memory itself is still the program's, so the name now opens as any
  // readable range does.
  EXPECT_EQ(ReadByName(name.c_str()), std::string(64, 'x'));
}

TEST(ReadChannelFile, ReadsWholeFileAndIntegersLittleEndian) {
  TempFolder dir;
  const std::string path = dir.File("data.bin");
  WriteWholeFile(path, Bytes({0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x01}));
  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, path.c_str()));
  EXPECT_NE(channel.handle, 0);
  EXPECT_EQ(channel.size, 9);
  int32_t value = 0;
  ASSERT_TRUE(ChannelReadInt32(channel, &value));
  EXPECT_EQ(value, 0x12345678);
  ASSERT_TRUE(ChannelReadInt32(channel, &value));
  EXPECT_EQ(value, -2);
  EXPECT_EQ(channel.position, 8);
  EXPECT_FALSE(ChannelReadInt32(channel, &value));  // one byte left
  CloseChannel(channel);
  EXPECT_EQ(channel.handle, 0);

  EXPECT_FALSE(OpenReadChannel(channel, dir.File("missing.bin").c_str()));
  EXPECT_FALSE(OpenReadChannel(channel, dir.path().c_str()));  // a folder is no file
  EXPECT_FALSE(OpenReadChannel(channel, ""));
}

TEST(ReadChannelLine, CrLfAndLfFilesGiveTheSameLines) {
  TempFolder dir;
  const std::vector<std::string> lines = {"first", "", "third line", "x"};
  std::string lf, crlf;
  for (const std::string& line : lines) {
    lf += line + "\n";
    crlf += line + "\r\n";
  }
  lf += "no end";  // a last line without its feed still counts
  crlf += "no end";
  WriteWholeFile(dir.File("lf.txt"), lf);
  WriteWholeFile(dir.File("crlf.txt"), crlf);
  uint8_t memory[256];
  std::memcpy(memory, crlf.data(), crlf.size());
  RegisterMemoryFile(memory, crlf.size());
  const std::string memoryName = MemoryFileName(memory, crlf.size());

  for (const std::string& name : {dir.File("lf.txt"), dir.File("crlf.txt"), memoryName}) {
    ReadChannel channel;
    ASSERT_TRUE(OpenReadChannel(channel, name.c_str())) << name;
    char buffer[1025];
    std::vector<std::string> got;
    while (ChannelReadLine(channel, buffer, sizeof buffer)) got.emplace_back(buffer);
    std::vector<std::string> want = lines;
    want.push_back("no end");
    EXPECT_EQ(got, want) << name;
    CloseChannel(channel);
  }
  UnregisterMemoryFile(memory);
}

TEST(ReadChannelLine, LongLinesAreCutAndContinue) {
  TempFolder dir;
  // A 300-character line read with room for 99 characters arrives in pieces
  // that add up to the whole line; the file position never skips a byte.
  std::string line = files_test::Pattern(300, 7);
  for (char& c : line)
    if (c == '\n' || c == '\r' || c == '\0') c = '.';
  WriteWholeFile(dir.File("long.txt"), line + "\nnext\n");
  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, dir.File("long.txt").c_str()));
  char buffer[100];
  std::string joined;
  while (joined.size() < line.size()) {
    ASSERT_TRUE(ChannelReadLine(channel, buffer, sizeof buffer));
    ASSERT_LE(std::strlen(buffer), 99u);
    joined += buffer;
  }
  EXPECT_EQ(joined, line);
  ASSERT_TRUE(ChannelReadLine(channel, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "next");
  EXPECT_FALSE(ChannelReadLine(channel, buffer, sizeof buffer));
  CloseChannel(channel);
}
