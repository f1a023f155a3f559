// ReadBMP on hand-built files: row strides and padding, orientation, every
// pixel depth, palettes in both header forms, the colour key, and refusal of
// what it does not read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs_support.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

using codecs_test::Le16;
using codecs_test::MakeBmp;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

constexpr int32_t kNoKey = -1;

struct Rgba {
  uint8_t r, g, b, a;
};

// Writes the bytes to a file and reads it back.
bool ReadBmpBytes(const std::string& bytes, Picture& picture, int32_t key = kNoKey) {
  TempDir dir;
  WriteWholeFile(dir.File("p.bmp"), bytes);
  return ReadBMP(picture, dir.File("p.bmp").c_str(), key);
}

void ExpectPixel(Picture& picture, int x, int y, Rgba want) {
  const uint8_t* p = picture.Pixel(x, y);
  EXPECT_EQ(p[0], want.r) << "red at " << x << "," << y;
  EXPECT_EQ(p[1], want.g) << "green at " << x << "," << y;
  EXPECT_EQ(p[2], want.b) << "blue at " << x << "," << y;
  EXPECT_EQ(p[3], want.a) << "alpha at " << x << "," << y;
}

std::string Bgr(uint8_t r, uint8_t g, uint8_t b) { return std::string{char(b), char(g), char(r)}; }

}  // namespace

TEST(CodecsBmp, TwentyFourBitRowsArePaddedToFourBytes) {
  // 3 x 2 at 24 bits: 9 bytes of pixels and 3 of padding per row, bottom row
  // first. The padding bytes are non-zero so a wrong stride shows.
  const std::string pad = "\xEE\xEE\xEE";
  const std::string bottom = Bgr(10, 20, 30) + Bgr(40, 50, 60) + Bgr(70, 80, 90) + pad;
  const std::string top = Bgr(1, 2, 3) + Bgr(4, 5, 6) + Bgr(7, 8, 9) + pad;
  ASSERT_EQ(bottom.size(), 12u);
  const std::string file = MakeBmp(40, 3, 2, 24, "", bottom + top);

  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(file, picture));
  ASSERT_EQ(picture.width, 3);
  ASSERT_EQ(picture.height, 2);
  EXPECT_EQ(picture.ownAlpha, 0);
  ExpectPixel(picture, 0, 0, {1, 2, 3, 255});
  ExpectPixel(picture, 2, 0, {7, 8, 9, 255});
  ExpectPixel(picture, 0, 1, {10, 20, 30, 255});
  ExpectPixel(picture, 2, 1, {70, 80, 90, 255});

  // One byte short of 2 x 12 bytes of rows: refused.
  EXPECT_FALSE(ReadBmpBytes(file.substr(0, file.size() - 1), picture));
  EXPECT_EQ(picture.width, 0);
  EXPECT_EQ(picture.pixels, nullptr);
}

TEST(CodecsBmp, OneBitRowsOfSixteenPixelsTakeFourBytes) {
  // 16 x 2 at 1 bit: 2 bytes of bits and 2 of padding per row. Palette entry 0
  // is red, entry 1 blue (blue, green, red, reserved in the file).
  const std::string palette = std::string("\x00\x00\xFF\x00", 4) + std::string("\xFF\x00\x00\x00", 4);
  const std::string bottom = std::string("\xF0\x0F\xFF\xFF", 4);  // padding set: must be ignored
  const std::string top = std::string("\xAA\x01\x00\x00", 4);
  const std::string file = MakeBmp(40, 16, 2, 1, palette, bottom + top);

  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(file, picture));
  ASSERT_EQ(picture.width, 16);
  ASSERT_EQ(picture.height, 2);
  const std::string topBits = "1010101000000001";
  const std::string bottomBits = "1111000000001111";
  for (int x = 0; x < 16; ++x) {
    ExpectPixel(picture, x, 0, topBits[x] == '1' ? Rgba{0, 0, 255, 255} : Rgba{255, 0, 0, 255});
    ExpectPixel(picture, x, 1, bottomBits[x] == '1' ? Rgba{0, 0, 255, 255} : Rgba{255, 0, 0, 255});
  }
  EXPECT_FALSE(ReadBmpBytes(file.substr(0, file.size() - 1), picture));
}

TEST(CodecsBmp, TopDownFileLoadsLikeItsBottomUpTwin) {
  // 5 x 3 at 24 bits; row y of the picture is colour (y * 50, x * 40, 7).
  auto row = [](int y) {
    std::string bytes;
    for (int x = 0; x < 5; ++x) bytes += Bgr(static_cast<uint8_t>(y * 50), static_cast<uint8_t>(x * 40), 7);
    return bytes + std::string(1, '\0');  // 15 bytes + 1 of padding
  };
  const std::string bottomUp = MakeBmp(40, 5, 3, 24, "", row(2) + row(1) + row(0));
  const std::string topDown = MakeBmp(40, 5, -3, 24, "", row(0) + row(1) + row(2));

  Picture a, b;
  ASSERT_TRUE(ReadBmpBytes(bottomUp, a));
  ASSERT_TRUE(ReadBmpBytes(topDown, b));
  ASSERT_EQ(b.height, 3);
  EXPECT_EQ(codecs_test::PixelBytes(a), codecs_test::PixelBytes(b));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) ExpectPixel(b, x, y, {uint8_t(y * 50), uint8_t(x * 40), 7, 255});
}

TEST(CodecsBmp, SixteenBitPixelsAreFiveBitsPerColour) {
  // Word values and their colours: 31 scales to 255, 16 to 16 * 255 / 31 =
  // 131; the top bit means nothing.
  const std::vector<std::pair<uint16_t, Rgba>> cases = {
      {0x7FFF, {255, 255, 255, 255}}, {0x0000, {0, 0, 0, 255}},       {0x7C00, {255, 0, 0, 255}},
      {0x03E0, {0, 255, 0, 255}},     {0x001F, {0, 0, 255, 255}},     {0x8000, {0, 0, 0, 255}},
      {0xFFFF, {255, 255, 255, 255}}, {0x4210, {131, 131, 131, 255}},
  };
  std::string data;
  for (const auto& c : cases) data += Le16(c.first);
  const std::string file = MakeBmp(40, static_cast<int32_t>(cases.size()), 1, 16, "", data);
  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(file, picture));
  for (size_t i = 0; i < cases.size(); ++i) ExpectPixel(picture, static_cast<int>(i), 0, cases[i].second);
}

TEST(CodecsBmp, ThirtyTwoBitPixelsIgnoreTheFourthByte) {
  const std::string data = std::string("\x01\x02\x03\x00", 4) + std::string("\x04\x05\x06\x80", 4);
  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 2, 1, 32, "", data), picture));
  ExpectPixel(picture, 0, 0, {3, 2, 1, 255});
  ExpectPixel(picture, 1, 0, {6, 5, 4, 255});
  EXPECT_EQ(picture.ownAlpha, 0);
}

TEST(CodecsBmp, PalettesInBothHeaderForms) {
  // 4 bits: the high nibble is the left pixel. The OS/2 form stores 3-byte
  // entries, the Windows form 4-byte entries.
  const Rgba colours[3] = {{200, 0, 0, 255}, {0, 100, 0, 255}, {0, 0, 50, 255}};
  std::string os2Palette, winPalette;
  for (const Rgba& c : colours) {
    os2Palette += Bgr(c.r, c.g, c.b);
    winPalette += Bgr(c.r, c.g, c.b) + std::string(1, '\0');
  }
  const std::string rows = std::string("\x01\x20\x00\x00", 4);  // indices 0 1 2 0, then padding
  for (const auto& file : {MakeBmp(12, 4, 1, 4, os2Palette, rows), MakeBmp(40, 4, 1, 4, winPalette, rows)}) {
    Picture picture;
    ASSERT_TRUE(ReadBmpBytes(file, picture));
    ExpectPixel(picture, 0, 0, colours[0]);
    ExpectPixel(picture, 1, 0, colours[1]);
    ExpectPixel(picture, 2, 0, colours[2]);
    ExpectPixel(picture, 3, 0, colours[0]);
  }

  // 8 bits with only two entries in the header block: an index past them is
  // opaque black, and nothing past the block is taken as a palette.
  const std::string shortPalette = Bgr(9, 8, 7) + std::string(1, '\0') + Bgr(6, 5, 4) + std::string(1, '\0');
  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 3, 1, 8, shortPalette, std::string("\x01\x00\xC8\x00", 4)), picture));
  ExpectPixel(picture, 0, 0, {6, 5, 4, 255});
  ExpectPixel(picture, 1, 0, {9, 8, 7, 255});
  ExpectPixel(picture, 2, 0, {0, 0, 0, 255});

  // A 1-bit OS/2 file whose palette is only 6 bytes long still gets its two
  // colours (the palette is not tied to a 40-byte-plus header block).
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(12, 2, 1, 1, Bgr(255, 255, 0) + Bgr(0, 255, 255), std::string("\x40\0\0\0", 4)),
                           picture));
  ExpectPixel(picture, 0, 0, {255, 255, 0, 255});
  ExpectPixel(picture, 1, 0, {0, 255, 255, 255});
}

TEST(CodecsBmp, ColourKeyMakesMatchingPixelsTransparentBlack) {
  const int32_t key = 255 + 0 * 256 + 128 * 65536;  // the default sprite key (255, 0, 128)
  const std::string data = Bgr(255, 0, 128) + Bgr(255, 0, 127) + Bgr(0, 0, 0) + std::string(3, '\0');
  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 3, 1, 24, "", data), picture, key));
  ExpectPixel(picture, 0, 0, {0, 0, 0, 0});
  ExpectPixel(picture, 1, 0, {255, 0, 127, 255});
  ExpectPixel(picture, 2, 0, {0, 0, 0, 255});
  EXPECT_EQ(picture.ownAlpha, 0);

  // Without a key nothing is transparent; key 0 takes out black.
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 3, 1, 24, "", data), picture, kNoKey));
  ExpectPixel(picture, 0, 0, {255, 0, 128, 255});
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 3, 1, 24, "", data), picture, 0));
  ExpectPixel(picture, 2, 0, {0, 0, 0, 0});
  ExpectPixel(picture, 0, 0, {255, 0, 128, 255});

  // Palette and 16-bit pixels are keyed by their final colour.
  const std::string palette = Bgr(255, 0, 128) + std::string(1, '\0') + Bgr(1, 1, 1) + std::string(1, '\0');
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 2, 1, 8, palette, std::string("\x00\x01\x00\x00", 4)), picture, key));
  ExpectPixel(picture, 0, 0, {0, 0, 0, 0});
  ExpectPixel(picture, 1, 0, {1, 1, 1, 255});
  const int32_t white = 0xFFFFFF;
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 2, 1, 16, "", Le16(0x7FFF) + Le16(0x7FFE)), picture, white));
  ExpectPixel(picture, 0, 0, {0, 0, 0, 0});
  ExpectPixel(picture, 1, 0, {255, 255, 246, 255});
}

TEST(CodecsBmp, RefusesWhatItDoesNotRead) {
  const std::string row = Bgr(1, 2, 3) + std::string(1, '\0');
  Picture picture;
  ASSERT_TRUE(ReadBmpBytes(MakeBmp(40, 1, 1, 24, "", row), picture));

  // Header sizes other than 12 and 40 (a V4 header here), other depths,
  // run-length data, empty sizes.
  std::string v4 = MakeBmp(40, 1, 1, 24, std::string(68, '\0'), row);
  v4[14] = 108;
  EXPECT_FALSE(ReadBmpBytes(v4, picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, 1, 1, 2, "", row), picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, 1, 1, 48, "", row + row), picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, 4, 1, 8, std::string(1024, '\x10'), std::string("\x04\x01\x00\x00", 4), 1),
                            picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, 0, 1, 24, "", row), picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, 1, 0, 24, "", row), picture));
  EXPECT_FALSE(ReadBmpBytes(MakeBmp(40, -1, 1, 24, "", row), picture));
  // A data offset that ends inside the 40-byte header.
  std::string shortOffset = MakeBmp(40, 1, 1, 24, "", row);
  shortOffset[10] = 30;
  EXPECT_FALSE(ReadBmpBytes(shortOffset, picture));
  // Not "BM".
  std::string ba = MakeBmp(40, 1, 1, 24, "", row);
  ba[1] = 'A';
  EXPECT_FALSE(ReadBmpBytes(ba, picture));
  EXPECT_EQ(picture.pixels, nullptr);
  EXPECT_EQ(picture.ownAlpha, 1);
  // Missing file, directory, empty name.
  TempDir dir;
  EXPECT_FALSE(ReadBMP(picture, dir.File("missing.bmp").c_str(), kNoKey));
  EXPECT_FALSE(ReadBMP(picture, dir.path().c_str(), kNoKey));
  EXPECT_FALSE(ReadBMP(picture, "", kNoKey));
}

TEST(CodecsBmp, ReadsMemoryFilesAndReusesThePicture) {
  std::string data;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) data += Bgr(uint8_t(x * 60), uint8_t(y * 60), 99);
  const std::string file = MakeBmp(40, 4, 4, 24, "", data);
  codecs_test::MemoryFile memory(file);

  Picture fromDisk, fromMemory;
  ASSERT_TRUE(ReadBmpBytes(file, fromDisk));
  // A bigger picture first: its block is reused, and nothing of it remains.
  ASSERT_TRUE(fromMemory.Resize(50, 50));
  std::fill(fromMemory.pixels, fromMemory.pixels + 50 * 50 * 4, 0xAB);
  ASSERT_TRUE(ReadBMP(fromMemory, memory.name(), kNoKey));
  EXPECT_EQ(fromMemory.width, 4);
  EXPECT_EQ(codecs_test::PixelBytes(fromDisk), codecs_test::PixelBytes(fromMemory));
  // Backslashes in a real name work too.
  TempDir dir;
  WriteWholeFile(dir.File("slash.bmp"), file);
  std::string backslashed = dir.File("slash.bmp");
  backslashed[backslashed.rfind('/')] = '\\';
  Picture viaBackslash;
  ASSERT_TRUE(ReadBMP(viaBackslash, backslashed.c_str(), kNoKey));
  EXPECT_EQ(codecs_test::PixelBytes(fromDisk), codecs_test::PixelBytes(viaBackslash));
}
