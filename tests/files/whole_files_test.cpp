// Whole-file commands and wildcard matching.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "files/files.h"
#include "files_test_util.h"

namespace fs = std::filesystem;
using files_test::Pattern;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

TEST(Wildcard, DocumentedCases) {
  EXPECT_TRUE(WildcardMatch("*.PNG", "logo.png"));
  EXPECT_FALSE(WildcardMatch("a?c", "a.c"));
  EXPECT_TRUE(WildcardMatch("a?c", "abc"));
  // "*" gives characters back when the rest of the pattern needs them.
  EXPECT_TRUE(WildcardMatch("*.png", "a.b.png"));
  EXPECT_TRUE(WildcardMatch("*.*", "no-dot-at-all"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_FALSE(WildcardMatch("*.png", "a.png.bak"));
  EXPECT_TRUE(WildcardMatch(BasicString("DATA??.bin"), BasicString("data01.BIN")));
  EXPECT_FALSE(WildcardMatch("data??.bin", "data1.bin"));
}

TEST(Wildcard, AgreesWithARegularExpressionOnEveryShortCase) {
  // Every pattern and name of up to four characters over a small alphabet,
  // checked against the same rules written as a regular expression.
  const std::string patternAlphabet = "aB.*?";
  const std::string nameAlphabet = "Ab.";
  auto all = [](const std::string& alphabet, int maxLength) {
    std::vector<std::string> words = {""};
    std::vector<std::string> last = {""};
    for (int length = 1; length <= maxLength; ++length) {
      std::vector<std::string> next;
      for (const std::string& word : last)
        for (char c : alphabet) next.push_back(word + c);
      words.insert(words.end(), next.begin(), next.end());
      last = next;
    }
    return words;
  };
  const auto names = all(nameAlphabet, 4);
  int checked = 0;
  for (const std::string& pattern : all(patternAlphabet, 4)) {
    std::string expression;
    for (char c : pattern) {
      if (c == '*') expression += ".*";
      else if (c == '?') expression += "[^.]";
      else if (c == '.') expression += "\\.";
      else expression += c;
    }
    const std::regex re(expression, std::regex::icase);
    for (const std::string& name : names) {
      const bool expected = pattern == "*.*" || std::regex_match(name, re);
      ASSERT_EQ(WildcardMatch(pattern.c_str(), name.c_str()), expected) << pattern << " / " << name;
      ++checked;
    }
  }
  EXPECT_GT(checked, 90000);
}

TEST(WholeFiles, DuplicateCopiesAndNeverLosesTheDestinationNeedlessly) {
  TempFolder dir;
  const std::string source = dir.File("source.bin");
  const std::string bytes = Pattern(10000, 5);
  WriteWholeFile(source, bytes);
  EXPECT_TRUE(DuplicateFile(source.c_str(), dir.File("copy.bin").c_str()));
  EXPECT_EQ(ReadWholeFile(dir.File("copy.bin")), bytes);
  // Replaces an existing destination, and an empty folder of that name.
  WriteWholeFile(dir.File("old.bin"), "old contents that are longer than nothing");
  EXPECT_TRUE(DuplicateFile(source.c_str(), dir.File("old.bin").c_str()));
  EXPECT_EQ(ReadWholeFile(dir.File("old.bin")), bytes);
  fs::create_directory(dir.File("folder"));
  EXPECT_TRUE(DuplicateFile(source.c_str(), dir.File("folder").c_str()));
  EXPECT_EQ(ReadWholeFile(dir.File("folder")), bytes);

  // A missing source leaves the destination alone.
  WriteWholeFile(dir.File("keep.txt"), "keep me");
  EXPECT_FALSE(DuplicateFile(dir.File("missing").c_str(), dir.File("keep.txt").c_str()));
  EXPECT_EQ(ReadWholeFile(dir.File("keep.txt")), "keep me");
  // Copying a file onto itself (under another spelling) keeps it.
  EXPECT_TRUE(DuplicateFile(source.c_str(), (dir.path() + "./source.bin").c_str()));
  EXPECT_EQ(ReadWholeFile(source), bytes);

  // Memory files copy too.
  uint8_t block[6] = {'m', 'e', 'm', 0, 'x', 'y'};
  RegisterMemoryFile(block, 6);
  EXPECT_TRUE(DuplicateFile(MemoryFileName(block, 6).c_str(), dir.File("from-memory").c_str()));
  EXPECT_EQ(ReadWholeFile(dir.File("from-memory")), std::string("mem\0xy", 6));
  EXPECT_EQ(QueryFileSize(MemoryFileName(block, 6).c_str()), 6);
  EXPECT_TRUE(FileExists(MemoryFileName(block, 6).c_str()));
  EXPECT_EQ(QueryFileTime(MemoryFileName(block, 6).c_str()).Length(), 0u);
  UnregisterMemoryFile(block);
  // Still readable memory of the process; past the end of the stack it is not.
  EXPECT_TRUE(FileExists(MemoryFileName(block, 6).c_str()));
  EXPECT_FALSE(FileExists(MemoryFileName(block, UINT64_MAX / 2).c_str()));
}

TEST(WholeFiles, ExistsRemoveMakeAndSize) {
  TempFolder dir;
  WriteWholeFile(dir.File("File.txt"), std::string(1234, 'x'));
  EXPECT_TRUE(FileExists(dir.File("File.txt").c_str()));
  EXPECT_FALSE(FileExists(dir.path().c_str()));
  EXPECT_TRUE(DirectoryExists(dir.path().c_str()));
  EXPECT_FALSE(DirectoryExists(dir.File("File.txt").c_str()));
  EXPECT_EQ(QueryFileSize(dir.File("file.TXT").c_str()), 1234);
  EXPECT_EQ(QueryFileSize(dir.File("nothing").c_str()), 0);

  EXPECT_TRUE(MakeDirectory((dir.path() + "made").c_str()));
  EXPECT_FALSE(MakeDirectory((dir.path() + "made").c_str()));
  EXPECT_TRUE(DirectoryExists((dir.path() + "made\\").c_str()));
  WriteWholeFile(dir.File("made/inner.txt"), "x");
  EXPECT_FALSE(RemovePath(dir.File("made").c_str()));  // not empty: kept
  EXPECT_TRUE(fs::exists(dir.File("made/inner.txt")));
  EXPECT_TRUE(RemovePath((dir.path() + "made\\inner.txt").c_str()));
  EXPECT_TRUE(RemovePath(dir.File("made").c_str()));
  EXPECT_FALSE(fs::exists(dir.File("made")));
  EXPECT_FALSE(RemovePath(dir.File("made").c_str()));
}

TEST(WholeFiles, FileTimeIsLocalTimeOfTheLastWrite) {
  TempFolder dir;
  const std::string path = dir.File("dated.txt");
  WriteWholeFile(path, "x");
  // Python sets a known time and formats it the way it sees local time.
  const std::string expectedFile = dir.File("expected.txt");
  const std::string command = "python3 -c \"import os,time; t=1234567890; os.utime('" + path +
                              "',(t,t)); open('" + expectedFile +
                              "','w').write(time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(t)))\"";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "python3 is not available";
  const std::string expected = ReadWholeFile(expectedFile);
  ASSERT_EQ(expected.size(), 19u);
  EXPECT_STREQ(QueryFileTime(path.c_str()).c_str(), expected.c_str());
  EXPECT_STREQ(QueryFileTime(dir.File("DATED.TXT").c_str()).c_str(), expected.c_str());
  EXPECT_EQ(QueryFileTime(dir.File("missing").c_str()).Length(), 0u);
}

TEST(WholeFiles, CurrentDirectoryAndSlashes) {
  const std::string expected = fs::current_path().string();
  const BasicString current = QueryCurrentDirectory();
  EXPECT_EQ(std::string(current.c_str()), expected == "/" ? expected : expected + "/");
  BasicString text("C:\\games\\media\\logo.png");
  ToForwardSlashes(text);
  EXPECT_STREQ(text.c_str(), "C:/games/media/logo.png");
  BasicString empty;
  ToForwardSlashes(empty);
  EXPECT_TRUE(empty.IsEmpty());
}
