// Bad input for every reader: foreign formats, garbage, cut files and
// headers that promise more picture than the file holds. Nothing may crash,
// print, log or leave a picture behind.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codecs_support.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

using codecs_test::Le32;
using codecs_test::MakeBmp;
using codecs_test::MemoryFile;
using testing_support::RunInChild;

namespace {

std::string SampleBmp() {
  std::string rows;
  for (int i = 0; i < 4 * 4; ++i) rows += std::string{char(i * 9), char(i * 5), char(200 - i)};
  return MakeBmp(40, 4, 4, 24, "", rows);
}

std::string SamplePng() {
  codecs_test::PngSpec spec;
  spec.width = 6;
  spec.height = 5;
  spec.colourType = PNG_COLOR_TYPE_RGB;
  std::vector<uint8_t> rows;
  for (int i = 0; i < 6 * 5 * 3; ++i) rows.push_back(static_cast<uint8_t>(i * 7));
  return codecs_test::MakePng(spec, rows);
}

std::string SampleJpeg() {
  std::vector<uint8_t> samples;
  for (int i = 0; i < 24 * 16 * 3; ++i) samples.push_back(static_cast<uint8_t>(i % 251));
  return codecs_test::MakeJpeg(24, 16, 3, JCS_RGB, samples);
}

// The three readers behind one signature (the key is ignored by ReadJPEG).
struct Reader {
  const char* name;
  std::function<bool(Picture&, const char*)> read;
};
std::vector<Reader> Readers() {
  return {{"ReadBMP", [](Picture& p, const char* n) { return ReadBMP(p, n, 0); }},
          {"ReadPNG", [](Picture& p, const char* n) { return ReadPNG(p, n, 0); }},
          {"ReadJPEG", [](Picture& p, const char* n) { return ReadJPEG(p, n); }}};
}

// Reads bytes as a memory file into a picture that holds something already;
// true only if the reader accepted. A refusal must leave the picture empty.
bool Accepts(const Reader& reader, const std::string& bytes) {
  MemoryFile memory(bytes);
  Picture picture;
  if (!picture.Resize(3, 3)) return true;
  const bool ok = reader.read(picture, memory.name());
  if (!ok) {
    EXPECT_EQ(picture.pixels, nullptr) << reader.name;
    EXPECT_EQ(picture.width, 0) << reader.name;
    EXPECT_EQ(picture.ownAlpha, 1) << reader.name;
  }
  return ok;
}

// Replaces a PNG chunk's data (same length) and fixes its checksum.
void PatchChunk(std::string& png, const char* type, size_t offset, const std::string& bytes) {
  const size_t at = png.find(type);
  ASSERT_NE(at, std::string::npos);
  const uint32_t length = static_cast<uint8_t>(png[at - 4]) << 24 | static_cast<uint8_t>(png[at - 3]) << 16 |
                          static_cast<uint8_t>(png[at - 2]) << 8 | static_cast<uint8_t>(png[at - 1]);
  png.replace(at + 4 + offset, bytes.size(), bytes);
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(png.data() + at), static_cast<uInt>(4 + length)));
  png[at + 4 + length] = static_cast<char>(crc >> 24);
  png[at + 5 + length] = static_cast<char>(crc >> 16);
  png[at + 6 + length] = static_cast<char>(crc >> 8);
  png[at + 7 + length] = static_cast<char>(crc);
}

std::string BigEndian32(uint32_t v) {
  return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

}  // namespace

TEST(CodecsRobust, EachReaderTakesOnlyItsOwnFormat) {
  const std::string files[3] = {SampleBmp(), SamplePng(), SampleJpeg()};
  const std::vector<Reader> readers = Readers();
  // Run in a child so that anything a reader prints or logs is seen.
  const auto result = RunInChild([&] {
    for (size_t r = 0; r < readers.size(); ++r)
      for (size_t f = 0; f < 3; ++f)
        std::printf("%s(%zu)=%d\n", readers[r].name, f, Accepts(readers[r], files[f]) ? 1 : 0);
  });
  EXPECT_EQ(result.out,
            "ReadBMP(0)=1\nReadBMP(1)=0\nReadBMP(2)=0\n"
            "ReadPNG(0)=0\nReadPNG(1)=1\nReadPNG(2)=0\n"
            "ReadJPEG(0)=0\nReadJPEG(1)=0\nReadJPEG(2)=1\n");
  EXPECT_EQ(result.runLog, "");
  EXPECT_EQ(result.err, "");
}

TEST(CodecsRobust, GarbageAndCutFilesAreRefused) {
  std::mt19937 random(12345);
  std::vector<std::string> garbage = {"", "B", "BM", "\x89PNG", "\xFF\xD8", std::string(4096, '\0'),
                                      "plain text, not a picture\n"};
  for (int i = 0; i < 50; ++i) {
    std::string bytes(random() % 300, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    garbage.push_back(bytes);
  }
  for (const Reader& reader : Readers())
    for (const std::string& bytes : garbage) EXPECT_FALSE(Accepts(reader, bytes)) << reader.name;

  // Every proper prefix of each sample fails its own reader.
  const std::string files[3] = {SampleBmp(), SamplePng(), SampleJpeg()};
  const std::vector<Reader> readers = Readers();
  for (int f = 0; f < 3; ++f)
    for (size_t length = 0; length < files[f].size(); ++length)
      EXPECT_FALSE(Accepts(readers[f], files[f].substr(0, length))) << readers[f].name << " length " << length;
}

TEST(CodecsRobust, MissingFilesAndDirectoriesAreRefused) {
  testing_support::TempDir dir;
  std::filesystem::create_directory(dir.File("folder.png"));
  for (const Reader& reader : Readers()) {
    Picture picture;
    EXPECT_FALSE(reader.read(picture, dir.File("missing").c_str())) << reader.name;
    EXPECT_FALSE(reader.read(picture, dir.File("folder.png").c_str())) << reader.name;
    EXPECT_FALSE(reader.read(picture, dir.path().c_str())) << reader.name;
    EXPECT_FALSE(reader.read(picture, "")) << reader.name;
    EXPECT_FALSE(reader.read(picture, nullptr)) << reader.name;
    EXPECT_EQ(picture.pixels, nullptr) << reader.name;
  }
}

TEST(CodecsRobust, HeadersPromisingMoreThanTheFileHoldsAreRefused) {
  Picture picture;
  // A BMP header for 100000 x 100000 pixels in a 200-byte file.
  std::string bmp = MakeBmp(40, 100000, 100000, 24, "", std::string(146, '\x55'));
  ASSERT_EQ(bmp.size(), 200u);
  EXPECT_FALSE(Accepts(Readers()[0], bmp));
  // Sizes whose stride x height overflows 64 bits, and a data offset far
  // past the end of the file.
  EXPECT_FALSE(Accepts(Readers()[0], MakeBmp(40, 0x7FFFFFFF, -0x7FFFFFFF, 32, "", std::string(64, '\0'))));
  std::string farOffset = SampleBmp();
  farOffset.replace(10, 4, Le32(0xFFFFFFF0));
  EXPECT_FALSE(Accepts(Readers()[0], farOffset));

  // A PNG whose header says 20000 x 20000 (inside libpng's limits, far
  // beyond what its few bytes of data inflate to), and one past 32768.
  std::string png = SamplePng();
  PatchChunk(png, "IHDR", 0, BigEndian32(20000) + BigEndian32(20000));
  EXPECT_FALSE(Accepts(Readers()[1], png));
  PatchChunk(png, "IHDR", 0, BigEndian32(40000) + BigEndian32(4));
  EXPECT_FALSE(Accepts(Readers()[1], png));

  // A JPEG whose frame header says 30000 x 30000.
  std::string jpeg = SampleJpeg();
  const size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  jpeg.replace(sof + 5, 4, std::string("\x75\x30\x75\x30", 4));
  EXPECT_FALSE(Accepts(Readers()[2], jpeg));
}

TEST(CodecsRobust, DamagedBytesNeverCrash) {
  // Random bytes flipped in valid files: whatever the readers make of them,
  // they return, and a refusal leaves the picture empty.
  std::mt19937 random(777);
  const std::string files[3] = {SampleBmp(), SamplePng(), SampleJpeg()};
  const std::vector<Reader> readers = Readers();
  int accepted = 0;
  for (int round = 0; round < 300; ++round) {
    for (int f = 0; f < 3; ++f) {
      std::string bytes = files[f];
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
      for (const Reader& reader : readers) accepted += Accepts(reader, bytes) ? 1 : 0;
    }
  }
  // Some damage is harmless (pixel bytes of a BMP, say).
  EXPECT_GT(accepted, 0);
}
