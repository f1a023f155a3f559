// ReadPNG on files written by libpng: colour types and depths, transparency,
// interlacing, the colour key, memory files, and silent refusals.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "codecs_support.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

using codecs_test::MakePng;
using codecs_test::PngSpec;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

constexpr int32_t kNoKey = -1;

PngSpec Spec(int width, int height, int colourType, int bitDepth = 8) {
  PngSpec spec;
  spec.width = width;
  spec.height = height;
  spec.colourType = colourType;
  spec.bitDepth = bitDepth;
  return spec;
}

bool ReadPngBytes(const std::string& bytes, Picture& picture, int32_t key = kNoKey) {
  TempDir dir;
  WriteWholeFile(dir.File("p.png"), bytes);
  return ReadPNG(picture, dir.File("p.png").c_str(), key);
}

// A 7 x 5 RGBA test pattern and its PNG forms.
std::vector<uint8_t> Pattern(int channels, int width = 7, int height = 5) {
  std::vector<uint8_t> rows;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t rgba[4] = {uint8_t(x * 36), uint8_t(y * 50), uint8_t(x * y * 7), uint8_t(255 - x * 30)};
      if (channels == 1) rows.push_back(uint8_t(x * 30 + y));
      else rows.insert(rows.end(), rgba, rgba + channels);
    }
  return rows;
}

}  // namespace

TEST(CodecsPng, ColourTypesBecomeRgba) {
  const std::vector<uint8_t> rgba = Pattern(4), rgb = Pattern(3), grey = Pattern(1);
  Picture picture;

  PngSpec spec = Spec(7, 5, PNG_COLOR_TYPE_RGB_ALPHA);
  ASSERT_TRUE(ReadPngBytes(MakePng(spec, rgba), picture));
  EXPECT_EQ(picture.ownAlpha, 1);
  EXPECT_EQ(codecs_test::PixelBytes(picture), std::string(rgba.begin(), rgba.end()));

  spec.colourType = PNG_COLOR_TYPE_RGB;
  ASSERT_TRUE(ReadPngBytes(MakePng(spec, rgb), picture));
  EXPECT_EQ(picture.ownAlpha, 0);
  for (int i = 0; i < 35; ++i) {
    EXPECT_EQ(picture.pixels[4 * i], rgb[3 * i]);
    EXPECT_EQ(picture.pixels[4 * i + 2], rgb[3 * i + 2]);
    EXPECT_EQ(picture.pixels[4 * i + 3], 255);
  }

  spec.colourType = PNG_COLOR_TYPE_GRAY;
  ASSERT_TRUE(ReadPngBytes(MakePng(spec, grey), picture));
  EXPECT_EQ(picture.ownAlpha, 0);
  for (int i = 0; i < 35; ++i) {
    EXPECT_EQ(picture.pixels[4 * i], grey[i]);
    EXPECT_EQ(picture.pixels[4 * i + 1], grey[i]);
    EXPECT_EQ(picture.pixels[4 * i + 2], grey[i]);
    EXPECT_EQ(picture.pixels[4 * i + 3], 255);
  }

  // The same RGBA rows stored interlaced decode to the same pixels.
  spec.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  spec.interlaced = true;
  ASSERT_TRUE(ReadPngBytes(MakePng(spec, rgba), picture));
  EXPECT_EQ(codecs_test::PixelBytes(picture), std::string(rgba.begin(), rgba.end()));
}

TEST(CodecsPng, GreyWithAlphaIsRefusedSilently) {
  std::vector<uint8_t> rows;
  for (int i = 0; i < 12; ++i) rows.insert(rows.end(), {uint8_t(i * 20), uint8_t(255 - i)});
  const std::string file = MakePng(Spec(4, 3, PNG_COLOR_TYPE_GRAY_ALPHA), rows);
  Picture picture;
  testing::internal::CaptureStdout();
  const bool ok = ReadPngBytes(file, picture);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(picture.pixels, nullptr);

  // Grey with a tRNS colour also makes two channels: refused the same way.
  PngSpec greyKeyed = Spec(7, 5, PNG_COLOR_TYPE_GRAY);
  greyKeyed.greyTrns = true;
  greyKeyed.greyTrnsValue = 30;
  const std::string keyed = MakePng(greyKeyed, Pattern(1));
  EXPECT_FALSE(ReadPngBytes(keyed, picture));
}

TEST(CodecsPng, SixteenBitSamplesKeepTheirHighByte) {
  // Little-endian 16-bit samples; the 8-bit result is the high byte.
  std::vector<uint8_t> rows;
  std::vector<uint16_t> samples;
  for (int i = 0; i < 4 * 3 * 2; ++i) samples.push_back(static_cast<uint16_t>(i * 2731 + 0x00FF));
  for (uint16_t s : samples) rows.insert(rows.end(), {uint8_t(s & 255), uint8_t(s >> 8)});
  const std::string file =
      MakePng(Spec(4, 2, PNG_COLOR_TYPE_RGB, 16), rows);
  Picture picture;
  ASSERT_TRUE(ReadPngBytes(file, picture));
  ASSERT_EQ(picture.width, 4);
  for (int p = 0; p < 8; ++p) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(picture.pixels[4 * p + c], samples[3 * p + c] >> 8) << p << "/" << c;
    EXPECT_EQ(picture.pixels[4 * p + 3], 255);
  }
}

TEST(CodecsPng, PaletteWithTransparencyLoadsWithAlpha) {
  // 2-bit palette of four colours; tRNS gives the first three entries alpha.
  const std::vector<uint8_t> palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
  const std::vector<uint8_t> trns = {0, 128, 200};
  // Indices per row (4 pixels, 2 bits each, left pixel in the high bits):
  // row 0: 0 1 2 3, row 1: 3 3 1 0.
  const std::vector<uint8_t> rows = {0x1B, 0xF4};
  PngSpec spec = Spec(4, 2, PNG_COLOR_TYPE_PALETTE, 2);
  spec.palette = palette;
  spec.trns = trns;
  const std::string file = MakePng(spec, rows);
  Picture picture;
  ASSERT_TRUE(ReadPngBytes(file, picture));
  EXPECT_EQ(picture.ownAlpha, 1);
  const int indices[8] = {0, 1, 2, 3, 3, 3, 1, 0};
  for (int p = 0; p < 8; ++p) {
    const int i = indices[p];
    EXPECT_EQ(picture.pixels[4 * p], palette[3 * i]) << p;
    EXPECT_EQ(picture.pixels[4 * p + 1], palette[3 * i + 1]) << p;
    EXPECT_EQ(picture.pixels[4 * p + 2], palette[3 * i + 2]) << p;
    EXPECT_EQ(picture.pixels[4 * p + 3], i < 3 ? trns[i] : 255) << p;
  }

  // Without tRNS the palette picture is RGB: opaque, and the key applies.
  const int32_t greenKey = 255 * 256;
  spec.trns.clear();
  ASSERT_TRUE(ReadPngBytes(MakePng(spec, rows), picture, greenKey));
  EXPECT_EQ(picture.ownAlpha, 0);
  for (int p = 0; p < 8; ++p) {
    if (indices[p] == 1) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(picture.pixels + 4 * p), 4), std::string(4, '\0')) << p;
    } else {
      EXPECT_EQ(picture.pixels[4 * p + 3], 255) << p;
    }
  }
}

TEST(CodecsPng, KeyAppliesOnlyToThreeChannelPictures) {
  // Black is the key: RGB black becomes transparent, grey black and RGBA
  // black stay as they are.
  const std::vector<uint8_t> rgb = {0, 0, 0, 0, 0, 1};
  const std::vector<uint8_t> grey = {0, 7};
  const std::vector<uint8_t> rgba = {0, 0, 0, 255, 0, 0, 0, 40};
  Picture picture;
  ASSERT_TRUE(ReadPngBytes(MakePng(Spec(2, 1, PNG_COLOR_TYPE_RGB), rgb), picture, 0));
  EXPECT_EQ(picture.pixels[3], 0);
  EXPECT_EQ(picture.pixels[7], 255);
  EXPECT_EQ(picture.pixels[6], 1);
  ASSERT_TRUE(ReadPngBytes(MakePng(Spec(2, 1, PNG_COLOR_TYPE_GRAY), grey), picture, 0));
  EXPECT_EQ(picture.pixels[3], 255);
  ASSERT_TRUE(
      ReadPngBytes(MakePng(Spec(2, 1, PNG_COLOR_TYPE_RGB_ALPHA), rgba), picture, 0));
  EXPECT_EQ(picture.pixels[3], 255);
  EXPECT_EQ(picture.pixels[7], 40);
}

TEST(CodecsPng, MemoryFilesAndDamage) {
  const std::vector<uint8_t> rgba = Pattern(4);
  const std::string file = MakePng(Spec(7, 5, PNG_COLOR_TYPE_RGB_ALPHA), rgba);
  codecs_test::MemoryFile memory(file);
  Picture picture;
  ASSERT_TRUE(ReadPNG(picture, memory.name(), kNoKey));
  EXPECT_EQ(codecs_test::PixelBytes(picture), std::string(rgba.begin(), rgba.end()));

  // Every shortened copy fails (IEND included: a file cut anywhere is damaged).
  for (size_t length = 0; length < file.size(); ++length) {
    codecs_test::MemoryFile cut(file.substr(0, length));
    EXPECT_FALSE(ReadPNG(picture, cut.name(), kNoKey)) << "length " << length;
    EXPECT_EQ(picture.pixels, nullptr);
  }
  // A flipped bit in the image data breaks its checksum.
  std::string damaged = file;
  const size_t idat = damaged.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  damaged[idat + 6] = static_cast<char>(damaged[idat + 6] ^ 0x10);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadPngBytes(damaged, picture));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
