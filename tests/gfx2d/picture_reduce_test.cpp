// Pictures above a side limit are reduced while they are decoded (each kept
// pixel the mean of its block), sides beyond what a sprite can describe are
// refused as too large, and every failed load names its reason.
#include <gtest/gtest.h>

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codecs_support.h"
#include "core/settings.h"
#include "draw_support.h"
#include "files/files.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

namespace {

using codecs_test::MakeBmp;
using codecs_test::MakeJpeg;
using codecs_test::MakePng;
using codecs_test::MemoryFile;

// A w x h RGB picture whose colour changes per 2 x 2 block only in red and
// green by the block's position: value(x, y) = (x / 2 * 10, y / 2 * 20, 77).
std::vector<uint8_t> BlockRows(int w, int h) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      rgb.push_back(static_cast<uint8_t>(x / 2 * 10));
      rgb.push_back(static_cast<uint8_t>(y / 2 * 20));
      rgb.push_back(77);
    }
  return rgb;
}

std::string BlockBmp(int w, int h) {
  const std::vector<uint8_t> rgb = BlockRows(w, h);
  std::string rows;
  const int stride = (w * 3 + 3) / 4 * 4;
  for (int y = h - 1; y >= 0; --y) {  // bottom-up
    std::string row(static_cast<size_t>(stride), '\0');
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      row[x * 3] = static_cast<char>(p[2]);
      row[x * 3 + 1] = static_cast<char>(p[1]);
      row[x * 3 + 2] = static_cast<char>(p[0]);
    }
    rows += row;
  }
  return MakeBmp(40, w, h, 24, "", rows);
}

std::string BlockPng(int w, int h, bool interlaced = false) {
  codecs_test::PngSpec spec;
  spec.width = w;
  spec.height = h;
  spec.interlaced = interlaced;
  return MakePng(spec, BlockRows(w, h));
}

bool LoadLimited(const std::string& bytes, int32_t maxSide, Picture& picture, DecodeLimits& limits) {
  MemoryFile file(bytes);
  limits.maxSide = maxSide;
  return gfx2d::LoadPictureFile(file.name(), picture, -1, true, &limits);
}

TEST(PictureReduction, PngAndBmpKeepTheMeanOfEachBlock) {
  // 12 x 8 with a limit of 6: factor 2, so every kept pixel is exactly one
  // 2 x 2 block of one colour; with a limit of 4 (factor 3) blocks mix.
  const std::vector<std::pair<const char*, std::string>> files = {{"bmp", BlockBmp(12, 8)},
                                                                  {"png", BlockPng(12, 8)}};
  for (const auto& [label, bytes] : files) {
    Picture picture;
    DecodeLimits limits;
    ASSERT_TRUE(LoadLimited(bytes, 6, picture, limits)) << label;
    EXPECT_EQ(limits.fileWidth, 12) << label;
    EXPECT_EQ(limits.fileHeight, 8) << label;
    ASSERT_EQ(picture.width, 6) << label;
    ASSERT_EQ(picture.height, 4) << label;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        const uint8_t* p = picture.Pixel(x, y);
        EXPECT_EQ(p[0], x * 10) << label << " at " << x << "," << y;
        EXPECT_EQ(p[1], y * 20) << label << " at " << x << "," << y;
        EXPECT_EQ(p[2], 77) << label;
        EXPECT_EQ(p[3], 255) << label;
      }
    // Factor 3: 4 x 3 kept; pixel (1, 0) covers file columns 3..5 (reds 10,
    // 20, 20) and rows 0..2 (greens 0, 0, 20): means 16.67 and 6.67, rounded.
    // The last row covers file rows 6..7 only (a cut block): green 60.
    ASSERT_TRUE(LoadLimited(bytes, 4, picture, limits)) << label;
    ASSERT_EQ(picture.width, 4) << label;
    ASSERT_EQ(picture.height, 3) << label;
    EXPECT_EQ(picture.Pixel(1, 0)[0], 17) << label;
    EXPECT_EQ(picture.Pixel(1, 0)[1], 7) << label;
    EXPECT_EQ(picture.Pixel(0, 2)[1], 60) << label;
  }
}

TEST(PictureReduction, PicturesWithinTheLimitAreUntouched) {
  for (const std::string& bytes : {BlockBmp(12, 8), BlockPng(12, 8)}) {
    Picture limited, plain;
    DecodeLimits limits;
    ASSERT_TRUE(LoadLimited(bytes, 12, limited, limits));
    MemoryFile file(bytes);
    ASSERT_TRUE(gfx2d::LoadPictureFile(file.name(), plain, -1, true));
    EXPECT_EQ(limited.width, 12);
    EXPECT_EQ(codecs_test::PixelBytes(limited), codecs_test::PixelBytes(plain));
  }
}

TEST(PictureReduction, JpegIsScaledWhileDecodedToFitTheLimit) {
  // One flat colour: whatever the scaling, the colour stays (within the
  // codec's rounding); the size is the largest M/8 scale that fits, reduced
  // further by a whole factor when even 1/8 is too large.
  std::vector<uint8_t> samples;
  for (int i = 0; i < 160 * 96; ++i) samples.insert(samples.end(), {200, 40, 90});
  const std::string jpeg = MakeJpeg(160, 96, 3, JCS_RGB, samples, 95);
  struct Case {
    int32_t maxSide, width, height;
  };
  for (const Case& c : {Case{160, 160, 96}, Case{100, 100, 60}, Case{80, 80, 48}, Case{10, 10, 6}}) {
    Picture picture;
    DecodeLimits limits;
    ASSERT_TRUE(LoadLimited(jpeg, c.maxSide, picture, limits)) << c.maxSide;
    EXPECT_EQ(picture.width, c.width) << c.maxSide;
    EXPECT_EQ(picture.height, c.height) << c.maxSide;
    EXPECT_EQ(limits.fileWidth, 160);
    const uint8_t* p = picture.Pixel(picture.width / 2, picture.height / 2);
    EXPECT_NEAR(p[0], 200, 4) << c.maxSide;
    EXPECT_NEAR(p[1], 40, 4) << c.maxSide;
    EXPECT_NEAR(p[2], 90, 4) << c.maxSide;
  }
}

// The reason a load gives for each kind of bad input.
TEST(PictureReduction, FailedLoadsNameTheirReason) {
  const std::string png = BlockPng(12, 8);
  std::string wide = BlockBmp(4, 2);
  wide.replace(18, 4, codecs_test::Le32(kMaxPictureSide + 1));  // width
  struct Case {
    const char* label;
    std::string bytes;
    int32_t maxSide;
    PictureFault fault;
  };
  const std::vector<Case> cases = {
      {"text", "no picture here", kMaxPictureSide, PictureFault::kNotAPicture},
      {"cut png", png.substr(0, png.size() / 2), kMaxPictureSide, PictureFault::kTruncated},
      {"cut bmp", BlockBmp(12, 8).substr(0, 100), kMaxPictureSide, PictureFault::kTruncated},
      {"wide bmp", wide, kMaxPictureSide, PictureFault::kTooLarge},
      {"run-length bmp", MakeBmp(40, 4, 2, 24, "", std::string(24, '\0'), 1), kMaxPictureSide,
       PictureFault::kUnsupported},
      {"interlaced png to reduce", BlockPng(12, 8, true), 6, PictureFault::kTooLarge},
  };
  for (const Case& c : cases) {
    Picture picture;
    DecodeLimits limits;
    EXPECT_FALSE(LoadLimited(c.bytes, c.maxSide, picture, limits)) << c.label;
    EXPECT_EQ(limits.fault, c.fault) << c.label << ": " << PictureFaultText(limits.fault);
    EXPECT_EQ(picture.pixels, nullptr) << c.label;
  }
  // An interlaced file within the limit still loads.
  Picture picture;
  DecodeLimits limits;
  EXPECT_TRUE(LoadLimited(BlockPng(12, 8, true), 12, picture, limits));
  EXPECT_FALSE(gfx2d::LoadPictureFile("no/such/file.png", picture, -1, true, &limits));
  EXPECT_EQ(limits.fault, PictureFault::kNotFound);
}

// In debug mode a failed load sends one line with the name and the reason to
// standard error (and the debugger); otherwise it stays quiet.
TEST(PictureReduction, DebugModeReportsEachFailedLoadOnce) {
  const int32_t saved = Settings().DebugMode;
  for (int32_t mode : {1, 0}) {
    Settings().DebugMode = mode;
    Picture picture;
    testing::internal::CaptureStderr();
    gfx2d::LoadPictureFile("missing-texture.png", picture, -1, true);
    MemoryFile text("no picture here");
    gfx2d::LoadPictureFile(text.name(), picture, -1, true);
    const std::string err = testing::internal::GetCapturedStderr();
    if (mode == 1) {
      EXPECT_EQ(err, std::string("Picture not loaded: missing-texture.png: not found\n") +
                         "Picture not loaded: " + text.name() + ": not a PNG, BMP or JPEG\n");
    } else {
      EXPECT_EQ(err, "");
    }
  }
  Settings().DebugMode = saved;
}

// A one-colour RGB PNG written row by row: a few kilobytes on disk.
bool WriteFlatPng(const std::string& path, int side) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(static_cast<size_t>(side) * 3, 90);
  if (setjmp(png_jmpbuf(png))) {
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, side, side, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < side; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// The peak memory a reduced load adds, measured in a child process: an
// 8000 x 8000 PNG (256 MB as a whole picture) kept at 1000 x 1000 (4 MB).
TEST(PictureReduction, PeakMemoryStaysNearWhatIsKept) {
  testing_support::TempDir dir;
  const std::string path = dir.File("flat.png");
  ASSERT_TRUE(WriteFlatPng(path, 8000));
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    Picture picture;
    DecodeLimits limits;
    limits.maxSide = 1000;
    const bool ok = gfx2d::LoadPictureFile(path.c_str(), picture, -1, true, &limits);
    getrusage(RUSAGE_SELF, &after);
    const long added = ok && picture.width == 1000 && picture.Pixel(999, 999)[1] == 90
                           ? after.ru_maxrss - before.ru_maxrss
                           : -1;
    const ssize_t written = write(pipeEnds[1], &added, sizeof added);
    _exit(written == sizeof added ? 0 : 1);
  }
  close(pipeEnds[1]);
  long addedKiB = -2;
  ASSERT_EQ(read(pipeEnds[0], &addedKiB, sizeof addedKiB), static_cast<ssize_t>(sizeof addedKiB));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_GE(addedKiB, 0) << "the reduced load failed or kept the wrong picture";
  // At least the 4 MB kept was touched; far below the 256 MB of the whole.
  EXPECT_GE(addedKiB, 3 * 1024);
  EXPECT_LE(addedKiB, 32 * 1024);
}

// LoadSprite under a small texture limit: the texture holds the reduced
// picture, the record the file's size; a side no record can hold fails with
// error 7, a file that is no picture with error 3.
class ReducedSpriteTest : public gfx2d_test::Gfx2dTest {};

TEST_F(ReducedSpriteTest, LoadSpriteKeepsTheFileSizeAndReducedTexels) {
  SetMaxTextureSizeOverride(64);
  testing_support::TempDir dir;
  testing_support::WriteWholeFile(dir.File("wide.png"), BlockPng(200, 40));
  ASSERT_TRUE(LoadSprite(dir.File("wide.png").c_str(), 30));
  EXPECT_EQ(LastErrorCode, 0);
  const SpriteRecord& s = R().sprites[30];
  EXPECT_EQ(s.pictureWidth, 200);
  EXPECT_EQ(s.pictureHeight, 40);
  EXPECT_EQ(s.textureWidth, 64);
  // 200 / 64 rounds up to factor 4: 50 x 10 kept, spread over the sprite.
  EXPECT_FLOAT_EQ(s.uScale, 50.0f / 64.0f);
  EXPECT_FLOAT_EQ(s.vScale, 10.0f / 16.0f);
  glBindTexture(GL_TEXTURE_2D, s.texture);
  std::vector<uint8_t> texels(64 * 16 * 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  // Texture row 9 is the picture's top row; texel 3 covers file columns
  // 12..15 (reds 60, 60, 70, 70) and rows 0..3 (greens 0, 0, 20, 20).
  const uint8_t* t = &texels[(9 * 64 + 3) * 4];
  EXPECT_EQ(t[0], 65);
  EXPECT_EQ(t[1], 10);
  EXPECT_EQ(t[2], 77);

  std::string wide = BlockBmp(4, 2);
  wide.replace(18, 4, codecs_test::Le32(kMaxPictureSide + 1));
  testing_support::WriteWholeFile(dir.File("huge.bmp"), wide);
  EXPECT_FALSE(LoadSprite(dir.File("huge.bmp").c_str(), 30));
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  EXPECT_EQ(R().sprites[30].pictureWidth, 0);
  testing_support::WriteWholeFile(dir.File("text.png"), "text");
  EXPECT_FALSE(LoadSprite(dir.File("text.png").c_str(), 30));
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
}

TEST(PictureReduction, EveryKeptPixelIsTheRoundedMeanOfItsBlock) {
  // The reducer against integer division, for the unrolled small factors,
  // the general one, and blocks cut short at the right and bottom edges.
  // The 7 x 7 block holds 25 ones among 49 pixels: a mean of 0.51 that must
  // round to 1 although 49 x (1 / 49.0) falls just short of 1 in doubles.
  std::mt19937 random(7);
  const int kCases[][3] = {{9, 7, 2}, {11, 5, 3}, {13, 9, 4}, {41, 23, 5}, {70, 70, 33}, {3, 2, 1}, {7, 7, 7}};
  for (const auto& [w, h, factor] : kCases) {
    std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < rows.size(); ++i)
      rows[i] = static_cast<uint8_t>(factor == 7 ? i / 4 < 25 : random() % 2 == 0 ? 255 : random());
    Picture picture;
    codec::RowReducer reducer;
    ASSERT_TRUE(reducer.Begin(picture, w, h, factor));
    for (int y = 0; y < h; ++y) reducer.AddRow(y, &rows[static_cast<size_t>(y) * w * 4]);
    reducer.Finish();
    ASSERT_EQ(picture.width, (w + factor - 1) / factor);
    ASSERT_EQ(picture.height, (h + factor - 1) / factor);
    for (int by = 0; by < picture.height; ++by)
      for (int bx = 0; bx < picture.width; ++bx)
        for (int c = 0; c < 4; ++c) {
          uint32_t sum = 0, count = 0;
          for (int y = by * factor; y < std::min(h, (by + 1) * factor); ++y)
            for (int x = bx * factor; x < std::min(w, (bx + 1) * factor); ++x, ++count)
              sum += rows[(static_cast<size_t>(y) * w + x) * 4 + c];
          ASSERT_EQ(picture.Pixel(bx, by)[c], (sum + count / 2) / count)
              << w << "x" << h << " factor " << factor << " block " << bx << "," << by << " channel " << c;
        }
  }
}

}  // namespace
