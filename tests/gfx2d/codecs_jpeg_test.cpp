// ReadJPEG against libjpeg's own plain read loop on the same files, the
// component counts, memory files, and damaged files that must fail rather
// than end the program.
#include <gtest/gtest.h>

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>

#include <string>
#include <vector>

#include "codecs_support.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

using codecs_test::DecodeJpegPlain;
using codecs_test::MakeJpeg;
using testing_support::RunInChild;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

bool ReadJpegBytes(const std::string& bytes, Picture& picture) {
  TempDir dir;
  WriteWholeFile(dir.File("p.jpg"), bytes);
  return ReadJPEG(picture, dir.File("p.jpg").c_str());
}

std::vector<uint8_t> Samples(int width, int height, int components) {
  std::vector<uint8_t> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) samples.push_back(static_cast<uint8_t>(x * 5 + y * 3 + c * 60));
  return samples;
}

// The picture as libjpeg's plain loop decodes the file: grey and colour made
// opaque RGBA, four components copied.
std::string Reference(const std::string& file) {
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> samples;
  if (!DecodeJpegPlain(file, &width, &height, &components, &samples)) return std::string();
  std::string rgba;
  for (int i = 0; i < width * height; ++i) {
    const uint8_t* s = samples.data() + static_cast<size_t>(i) * components;
    if (components == 1) rgba += std::string{char(s[0]), char(s[0]), char(s[0]), char(255)};
    else if (components == 3) rgba += std::string{char(s[0]), char(s[1]), char(s[2]), char(255)};
    else rgba += std::string(reinterpret_cast<const char*>(s), 4);
  }
  return rgba;
}

}  // namespace

TEST(CodecsJpeg, DecodesLikeLibjpegsPlainLoop) {
  struct Case {
    int components;
    J_COLOR_SPACE space;
    bool progressive;
    int ownAlpha;
  };
  const Case cases[] = {{1, JCS_GRAYSCALE, false, 0}, {3, JCS_RGB, false, 0}, {3, JCS_RGB, true, 0},
                        {4, JCS_CMYK, false, 1}};
  for (const Case& c : cases) {
    const int width = 37, height = 21;
    const std::string file = MakeJpeg(width, height, c.components, c.space, Samples(width, height, c.components),
                                      85, c.progressive);
    Picture picture;
    ASSERT_TRUE(ReadJpegBytes(file, picture)) << c.components << " components";
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_EQ(picture.ownAlpha, c.ownAlpha);
    EXPECT_EQ(codecs_test::FirstDifference(Reference(file), codecs_test::PixelBytes(picture), width, 0), "")
        << c.components << " components" << (c.progressive ? ", progressive" : "");
  }
}

TEST(CodecsJpeg, ReadsMemoryFiles) {
  const std::string file = MakeJpeg(16, 16, 3, JCS_RGB, Samples(16, 16, 3));
  codecs_test::MemoryFile memory(file);
  Picture fromMemory, fromDisk;
  ASSERT_TRUE(ReadJPEG(fromMemory, memory.name()));
  ASSERT_TRUE(ReadJpegBytes(file, fromDisk));
  EXPECT_EQ(codecs_test::PixelBytes(fromMemory), codecs_test::PixelBytes(fromDisk));
  EXPECT_EQ(codecs_test::PixelBytes(fromMemory), Reference(file));
}

TEST(CodecsJpeg, UnsupportedComponentCountIsLogged) {
  // Two components: refused, with one line in the run log.
  const std::string file = MakeJpeg(8, 8, 2, JCS_UNKNOWN, Samples(8, 8, 2));
  const auto result = RunInChild([&] {
    Picture picture;
    const bool ok = ReadJpegBytes(file, picture);
    std::printf("%s %d", ok ? "loaded" : "refused", picture.width);
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "refused 0");
  EXPECT_EQ(result.runLog, "JPEG: Channels: 2 not supported!\n");
  EXPECT_EQ(result.err, "");
}

TEST(CodecsJpeg, DamagedFilesFailInsteadOfEndingTheProgram) {
  const std::string file = MakeJpeg(64, 48, 3, JCS_RGB, Samples(64, 48, 3), 90, false);
  const std::string progressive = MakeJpeg(64, 48, 3, JCS_RGB, Samples(64, 48, 3), 90, true);
  // In a child: libjpeg's default manager would end it with exit(); here
  // every damaged copy must fail quietly and the child reach its end.
  const auto result = RunInChild([&] {
    int accepted = 0, tried = 0;
    for (const std::string* source : {&file, &progressive}) {
      for (size_t length = 0; length < source->size(); length += 7) {
        codecs_test::MemoryFile cut(source->substr(0, length));
        Picture picture;
        ++tried;
        // Accepting the file, or failing without emptying the picture,
        // both count against it.
        if (ReadJPEG(picture, cut.name()) || picture.pixels != nullptr) ++accepted;
      }
      // Garbage inside the entropy-coded data or the tables.
      for (size_t at = 2; at < source->size(); at += 13) {
        std::string damaged = *source;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
        codecs_test::MemoryFile memory(damaged);
        Picture picture;
        ReadJPEG(picture, memory.name());
      }
    }
    std::printf("accepted %d of %d cut files\n", accepted, tried);
  });
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("accepted 0 of ", 0), 0u) << result.out;
  EXPECT_EQ(result.err, "");  // libjpeg's own messages stay quiet
}
