// INI files: a line that starts with "=" holds the key "" and survives
// being written back.
#include <gtest/gtest.h>

#include "files/files.h"
#include "files_test_util.h"

using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

namespace {

TEST(IniEmptyKey, ReadAsTheKeyWithNoName) {
  TempFolder dir;
  const std::string path = dir.File("empty_key.ini");
  WriteWholeFile(path,
                 "[Video]\r\n"
                 "=novalue\r\n"
                 "width=640\r\n"
                 "[Audio]\r\n"
                 "  =  spaced \r\n"
                 "=\r\n"          // no value: ignored
                 "novalue\r\n"    // no "=": ignored
                 "[Lonely]\r\n"
                 "=   \r\n");     // only blanks after "=": ignored, the section has no key
  IniOpen(path.c_str());
  EXPECT_STREQ(IniGet("Video", "", "?").c_str(), "novalue");
  EXPECT_STREQ(IniGet("video", "width", "?").c_str(), "640");
  EXPECT_STREQ(IniGet("Audio", "", "?").c_str(), "spaced ");
  EXPECT_STREQ(IniGet("Audio", "novalue", "default").c_str(), "default");
  EXPECT_STREQ(IniGet("Lonely", "", "default").c_str(), "default");
  EXPECT_STREQ(IniGet("Missing", "", "default").c_str(), "default");
  IniOpen("");
}

TEST(IniEmptyKey, WriteBackKeepsIt) {
  TempFolder dir;
  const std::string path = dir.File("keep.ini");
  WriteWholeFile(path, "[Video]\r\n=novalue\r\nwidth=640\r\n[Lonely]\r\n");
  IniOpen(path.c_str());
  IniPut("Video", "width", "800");
  IniOpen("");
  EXPECT_EQ(ReadWholeFile(path), "[Video]\r\n=novalue\r\nwidth=800\r\n");

  // Read back, the written file gives the same key again.
  IniOpen(path.c_str());
  EXPECT_STREQ(IniGet("Video", "", "?").c_str(), "novalue");
  EXPECT_STREQ(IniGet("Video", "width", "?").c_str(), "800");
  IniOpen("");
}

}  // namespace
