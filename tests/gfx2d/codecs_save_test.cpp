// SavePicture: the writer chosen by the name, what each writer puts in the
// file, and how existing files, directories and bad names are handled.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "codecs_support.h"
#include "core/core.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"
#include "support/small_disk.h"

using codecs_test::Le16;
using codecs_test::Le32;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

// A w x h picture: colour from the position, alpha 255 except where given.
void Fill(Picture& picture, int width, int height) {
  ASSERT_TRUE(picture.Resize(width, height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      p[0] = static_cast<uint8_t>(x * 40 + 3);
      p[1] = static_cast<uint8_t>(y * 70 + 5);
      p[2] = static_cast<uint8_t>((x + y) * 20);
      p[3] = 255;
    }
}

// A w x h picture of noise, which no writer can squeeze much.
void FillNoise(Picture& picture, int width, int height) {
  ASSERT_TRUE(picture.Resize(width, height));
  uint32_t state = 12345;
  for (size_t i = 0; i < static_cast<size_t>(width) * height * 4; ++i) {
    state = state * 1664525u + 1013904223u;
    picture.pixels[i] = static_cast<uint8_t>(state >> 24);
  }
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One name per writer.
const char* const kEveryWriter[] = {"shot.bmp", "shot.png", "shot.jpg"};

}  // namespace

TEST(CodecsSave, NameChoosesTheWriter) {
  TempDir dir;
  Picture picture;
  Fill(picture, 5, 4);
  const std::string png = "\x89PNG", jpeg = "\xFF\xD8\xFF", bmp = "BM";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"shot.JPG", jpeg}, {"shot.Png", png}, {"shot", bmp},  {"shot.bmp", bmp},
      {"shotjpg", jpeg},  {"shot.jpeg", bmp},
  };
  for (const auto& [name, magic] : cases) {
    ASSERT_TRUE(SavePicture(dir.File(name).c_str(), picture)) << name;
    EXPECT_EQ(ReadWholeFile(dir.File(name)).substr(0, magic.size()), magic) << name;
  }
  // The whole name counts: ".png" alone is too short for a PNG, "a.png" is
  // not. Relative names, so in a child working in the folder.
  const auto result = testing_support::RunInChild([&] {
    std::filesystem::current_path(dir.path());
    std::printf("%d %d", SavePicture(".png", picture) ? 1 : 0, SavePicture("a.png", picture) ? 1 : 0);
  });
  EXPECT_EQ(result.out, "1 1");
  EXPECT_EQ(ReadWholeFile(dir.File(".png")).substr(0, 2), bmp);
  EXPECT_EQ(ReadWholeFile(dir.File("a.png")).substr(0, 4), png);
}

TEST(CodecsSave, BmpWriterLayout) {
  // 5 x 2: stride 16 (15 bytes of pixels, one of padding). Pixel (1, 0) is
  // half transparent and is stored as the key colour (255, 0, 128).
  Picture picture;
  Fill(picture, 5, 2);
  picture.Pixel(1, 0)[3] = 128;
  picture.Pixel(4, 1)[3] = 0;
  TempDir dir;
  ASSERT_TRUE(SavePicture(dir.File("out.bmp").c_str(), picture));
  const std::string file = ReadWholeFile(dir.File("out.bmp"));
  ASSERT_EQ(file.size(), 54u + 2 * 16);

  const std::string header = "BM" + Le32(16 * 2 + 54) + Le16(0) + Le16(0) + Le32(54) + Le32(40) + Le32(5) +
                             Le32(2) + Le16(1) + Le16(24) + Le32(0) + Le32(0) + Le32(10000) + Le32(10000) +
                             Le32(0) + Le32(0);
  EXPECT_EQ(file.substr(0, 54), header);
  // Bottom row first; blue, green, red.
  for (int row = 0; row < 2; ++row) {
    const int y = 1 - row;
    for (int x = 0; x < 5; ++x) {
      const size_t at = 54 + row * 16 + x * 3;
      const uint8_t* p = picture.Pixel(x, y);
      const bool keyed = p[3] != 255;
      EXPECT_EQ(static_cast<uint8_t>(file[at]), keyed ? 128 : p[2]) << x << "," << y;
      EXPECT_EQ(static_cast<uint8_t>(file[at + 1]), keyed ? 0 : p[1]) << x << "," << y;
      EXPECT_EQ(static_cast<uint8_t>(file[at + 2]), keyed ? 255 : p[0]) << x << "," << y;
    }
    EXPECT_EQ(file[54 + row * 16 + 15], '\0');
  }

  // Loading it with the default sprite key gives the holes back.
  Picture back;
  ASSERT_TRUE(ReadBMP(back, dir.File("out.bmp").c_str(), 255 + 128 * 65536));
  EXPECT_EQ(back.Pixel(1, 0)[3], 0);
  EXPECT_EQ(back.Pixel(4, 1)[3], 0);
  EXPECT_EQ(back.Pixel(0, 0)[3], 255);
  EXPECT_EQ(back.Pixel(2, 1)[0], picture.Pixel(2, 1)[0]);
}

TEST(CodecsSave, PngKeepsEveryByteAndJpegIsBaselineQuality80) {
  Picture picture;
  Fill(picture, 19, 11);
  picture.Pixel(3, 4)[3] = 77;
  TempDir dir;
  ASSERT_TRUE(SavePicture(dir.File("out.png").c_str(), picture));
  Picture back;
  ASSERT_TRUE(ReadPNG(back, dir.File("out.png").c_str(), -1));
  EXPECT_EQ(back.ownAlpha, 1);
  EXPECT_EQ(codecs_test::PixelBytes(back), codecs_test::PixelBytes(picture));

  // The JPEG writer's file is the one libjpeg itself makes from the same RGB
  // rows at quality 80 with baseline tables and default settings.
  ASSERT_TRUE(SavePicture(dir.File("out.jpg").c_str(), picture));
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 19 * 11; ++i) rgb.insert(rgb.end(), picture.pixels + 4 * i, picture.pixels + 4 * i + 3);
  const std::string expected = codecs_test::MakeJpeg(19, 11, 3, JCS_RGB, rgb, 80, false);
  EXPECT_TRUE(ReadWholeFile(dir.File("out.jpg")) == expected);
  ASSERT_TRUE(ReadJPEG(back, dir.File("out.jpg").c_str()));
  EXPECT_EQ(back.width, 19);
  EXPECT_EQ(back.Pixel(3, 4)[3], 255);  // alpha is not stored
}

TEST(CodecsSave, ReplacesWhatIsThereAndRefusesBadTargets) {
  TempDir dir;
  Picture picture;
  Fill(picture, 3, 3);

  // An existing bigger file is replaced, not overwritten in place.
  WriteWholeFile(dir.File("old.bmp"), std::string(10000, 'x'));
  ASSERT_TRUE(SavePicture(dir.File("old.bmp").c_str(), picture));
  EXPECT_EQ(ReadWholeFile(dir.File("old.bmp")).size(), 54u + 3 * 12);

  // An empty directory of that name is removed; one with contents is kept
  // and the save fails.
  std::filesystem::create_directory(dir.File("empty.png"));
  ASSERT_TRUE(SavePicture(dir.File("empty.png").c_str(), picture));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("empty.png")));
  std::filesystem::create_directory(dir.File("full.png"));
  WriteWholeFile(dir.File("full.png/keep.txt"), "keep");
  EXPECT_FALSE(SavePicture(dir.File("full.png").c_str(), picture));
  EXPECT_EQ(ReadWholeFile(dir.File("full.png/keep.txt")), "keep");

  // Backslashes become slashes.
  std::filesystem::create_directory(dir.File("sub"));
  const std::string backslashed = dir.path() + "sub\\shot.png";
  ASSERT_TRUE(SavePicture(backslashed.c_str(), picture));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("sub/shot.png")));

  // Memory files are read-only; a missing folder cannot take a file.
  codecs_test::MemoryFile memory(std::string(64, '\0'));
  EXPECT_FALSE(SavePicture(memory.name(), picture));
  EXPECT_FALSE(SavePicture("mem://      40.  123456", picture));
  EXPECT_FALSE(SavePicture(dir.File("no/such/folder/x.bmp").c_str(), picture));
  EXPECT_FALSE(std::filesystem::exists(dir.File("no")));

  // An empty picture writes nothing and leaves an existing file alone.
  Picture empty;
  WriteWholeFile(dir.File("kept.bmp"), "previous");
  EXPECT_FALSE(SavePicture(dir.File("kept.bmp").c_str(), empty));
  EXPECT_EQ(ReadWholeFile(dir.File("kept.bmp")), "previous");
}

TEST(CodecsSave, PictureResizeRefusesImpossibleSizes) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(4, 4));
  picture.ownAlpha = 0;
  // 32768 x 32768 x 4 bytes does not fit the 32-bit capacity.
  EXPECT_FALSE(picture.Resize(32768, 32768));
  EXPECT_EQ(picture.pixels, nullptr);
  EXPECT_EQ(picture.width, 0);
  EXPECT_EQ(picture.ownAlpha, 1);
  EXPECT_FALSE(picture.Resize(-1, 5));
  EXPECT_FALSE(picture.Resize(0x7FFFFFFF, 0x7FFFFFFF));
  // Growing allocates, shrinking reuses; contents are cleared either way.
  ASSERT_TRUE(picture.Resize(8, 8));
  std::fill(picture.pixels, picture.pixels + 8 * 8 * 4, 0xFF);
  const uint8_t* block = picture.pixels;
  ASSERT_TRUE(picture.Resize(2, 3));
  EXPECT_EQ(picture.pixels, block);
  EXPECT_EQ(codecs_test::PixelBytes(picture), std::string(2 * 3 * 4, '\0'));
}

TEST(CodecsSave, AFullDiskKeepsTheOldPictureAndSetsTheError) {
  TempDir dir;
  testing_support::SmallDisk disk(dir.File("disk"));
  if (!disk.mounted()) GTEST_SKIP() << testing_support::kNoSmallDisk;
  Picture small, big;
  Fill(small, 4, 4);
  FillNoise(big, 256, 256);  // in every format far more than the 16 KiB disk holds
  for (const char* name : kEveryWriter) {
    const std::string path = dir.File("disk/") + name;
    ASSERT_TRUE(SavePicture(path.c_str(), small)) << name;
    const std::string old = ReadWholeFile(path);
    ClearLastError();
    EXPECT_FALSE(SavePicture(path.c_str(), big)) << name;
    EXPECT_EQ(LastErrorCode, kErrorNoSuchFile) << name;
    const std::string now = ReadWholeFile(path);
    EXPECT_TRUE(now == old) << name << ": " << now.size() << " bytes, not the old " << old.size();
    EXPECT_EQ(FolderNames(dir.File("disk")), std::vector<std::string>{name}) << name;
    std::filesystem::remove(path);
  }
}

TEST(CodecsSave, AStaleTemporaryOfAKilledSaveGoesWithTheNextSave) {
  TempDir dir;
  Picture picture;
  Fill(picture, 6, 5);
  for (const char* name : kEveryWriter) {
    const std::string path = dir.File(name);
    WriteWholeFile(path + ".vlmnew", "half a picture");  // what a killed writer leaves
    ASSERT_TRUE(SavePicture(path.c_str(), picture)) << name;
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{name}) << name;
    Picture back;
    EXPECT_TRUE(ReadPNG(back, path.c_str(), -1) || ReadBMP(back, path.c_str(), -1) || ReadJPEG(back, path.c_str()))
        << name;
    EXPECT_EQ(back.width, 6) << name;
    std::filesystem::remove(path);
  }
}

TEST(CodecsSave, AKilledSaveLeavesTheOldOrTheNewPictureWhole) {
  TempDir dir;
  Picture small, big;
  Fill(small, 4, 4);
  Fill(big, 1600, 1200);
  int cutShort = 0;  // kills that landed inside a save, leaving its temporary
  for (const char* name : kEveryWriter) {
    // Encoders are deterministic: this is the complete new file.
    const std::string reference = dir.File(std::string("reference-") + name);
    ASSERT_TRUE(SavePicture(reference.c_str(), big)) << name;
    const std::string complete = ReadWholeFile(reference);
    std::filesystem::remove(reference);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::string path = dir.File(name);
      ASSERT_TRUE(SavePicture(path.c_str(), small)) << name;
      const std::string old = ReadWholeFile(path);
      int started[2];
      ASSERT_EQ(pipe(started), 0);
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        close(started[0]);
        (void)!write(started[1], "s", 1);
        for (int i = 0; i < 1000; ++i) SavePicture(path.c_str(), big);
        _exit(0);
      }
      close(started[1]);
      char byte = 0;
      ASSERT_EQ(read(started[0], &byte, 1), 1);
      close(started[0]);
      // Somewhere inside the first or a later save.
      std::this_thread::sleep_for(std::chrono::milliseconds(3 + 17 * attempt));
      kill(pid, SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status)) << name << ": the child finished before the kill";
      const std::string now = ReadWholeFile(path);
      EXPECT_TRUE(now == old || now == complete)
          << name << " attempt " << attempt << ": " << now.size() << " bytes, neither the old " << old.size()
          << " nor the new " << complete.size();
      cutShort += std::filesystem::exists(path + ".vlmnew") ? 1 : 0;
      // The next save clears what the killed one left beside it.
      ASSERT_TRUE(SavePicture(path.c_str(), small)) << name;
      EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{name}) << name;
      std::filesystem::remove(path);
    }
  }
  // Saves run back to back, so most kills land inside one; none would mean
  // the test never cut a save short.
  EXPECT_GT(cutShort, 0);
}
