// Loading a picture by name: one resolution and one opened file per load,
// whichever decoder accepts it, and the same pixels from a file on disk, an
// archive entry and a memory block.
#include <gtest/gtest.h>

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>

#include <string>
#include <vector>

#include "lib/archive_writer.h"
#include "codecs_support.h"
#include "files/read_channel.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/picture.h"
#include "platform/platform.h"
#include "support/child_process.h"

using codecs_test::MakeBmp;
using codecs_test::MakeJpeg;
using codecs_test::MakePng;
using codecs_test::MemoryFile;
using codecs_test::PixelBytes;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

struct Format {
  const char* file;
  std::string bytes;
  bool (*readDirect)(Picture&, const char*);
};

// One 3 x 2 picture in each format the loader tries, in the order it tries
// them; the last one (JPEG) is reached only after the other two failed.
std::vector<Format> Formats() {
  const std::string bmpRows = std::string("\x10\x20\x30\x40\x50\x60\x70\x80\x90", 9) + std::string(3, '\0') +
                              std::string("\xA0\xB0\xC0\xD0\xE0\xF0\x01\x02\x03", 9) + std::string(3, '\0');
  codecs_test::PngSpec png;
  png.width = 3;
  png.height = 2;
  const std::vector<uint8_t> rgb = {9, 8, 7, 60, 50, 40, 200, 100, 0, 1, 2, 3, 250, 240, 230, 90, 90, 90};
  return {
      {"p.bmp", MakeBmp(40, 3, 2, 24, "", bmpRows),
       [](Picture& p, const char* n) { return ReadBMP(p, n, -1); }},
      {"p.png", MakePng(png, rgb), [](Picture& p, const char* n) { return ReadPNG(p, n, -1); }},
      {"p.jpg", MakeJpeg(3, 2, 3, JCS_RGB, rgb, 100),
       [](Picture& p, const char* n) { return ReadJPEG(p, n); }},
  };
}

// Loads through LoadPictureFile and reports how many files the platform
// opened meanwhile.
uint64_t LoadCountingOpens(const std::string& name, Picture& picture, bool* loaded) {
  const uint64_t before = platform::FileHandlesOpened();
  *loaded = gfx2d::LoadPictureFile(name.c_str(), picture, -1, true);
  return platform::FileHandlesOpened() - before;
}

TEST(LoadPictureFile, OpensAFileOnDiskOnceWhicheverDecoderAcceptsIt) {
  TempDir dir;
  for (const Format& format : Formats()) {
    const std::string path = dir.File(format.file);
    WriteWholeFile(path, format.bytes);
    Picture reference;
    ASSERT_TRUE(format.readDirect(reference, path.c_str())) << format.file;
    Picture picture;
    bool loaded = false;
    EXPECT_EQ(LoadCountingOpens(path, picture, &loaded), 1u) << format.file;
    ASSERT_TRUE(loaded) << format.file;
    EXPECT_EQ(picture.width, 3) << format.file;
    EXPECT_EQ(picture.height, 2) << format.file;
    EXPECT_EQ(PixelBytes(picture), PixelBytes(reference)) << format.file;
  }
  // A file no decoder takes is opened once as well, and leaves no picture.
  WriteWholeFile(dir.File("p.txt"), "not a picture at all");
  Picture picture;
  bool loaded = true;
  EXPECT_EQ(LoadCountingOpens(dir.File("p.txt"), picture, &loaded), 1u);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(picture.pixels, nullptr);
}

TEST(LoadPictureFile, ArchiveEntriesAndMemoryBlocksLoadAsPictures) {
  TempDir dir;
  const std::vector<Format> formats = Formats();
  const std::string host = dir.File("game");
  WriteWholeFile(host, "host program bytes");
  std::vector<ArchiveInput> inputs;
  for (const Format& format : formats) {
    WriteWholeFile(dir.File(format.file), format.bytes);
    inputs.push_back({format.file, dir.File(format.file)});
  }
  std::string error;
  ASSERT_TRUE(AppendToArchive(host.c_str(), inputs, &error)) << error;
  SetArchive(host.c_str(), host.c_str());
  for (const Format& format : formats) {
    Picture reference;
    ASSERT_TRUE(format.readDirect(reference, dir.File(format.file).c_str())) << format.file;
    // The entry is found by its base name and unpacked
    // into a block: the archive is the only file opened.
    Picture fromArchive;
    bool loaded = false;
    const std::string entryName = std::string("media/") + format.file;
    EXPECT_EQ(LoadCountingOpens(entryName, fromArchive, &loaded), 1u) << format.file;
    ASSERT_TRUE(loaded) << format.file;
    EXPECT_EQ(PixelBytes(fromArchive), PixelBytes(reference)) << format.file;
    // A program's own memory block opens no file at all.
    MemoryFile memory(format.bytes);
    Picture fromMemory;
    EXPECT_EQ(LoadCountingOpens(memory.name(), fromMemory, &loaded), 0u) << format.file;
    ASSERT_TRUE(loaded) << format.file;
    EXPECT_EQ(PixelBytes(fromMemory), PixelBytes(reference)) << format.file;
  }
  Picture missing;
  bool loaded = true;
  LoadCountingOpens("media/absent.png", missing, &loaded);
  EXPECT_FALSE(loaded);
  SetArchive("", "");
}

}  // namespace
