// Pictures written by other programs decode to the pixels those programs
// report, and pictures we write read back the same in them. ImageMagick's
// convert writes BMP (both header forms, every depth), PNG and JPEG files
// from procedurally made sources and dumps their pixels as raw RGBA; Python's
// PIL is a second opinion on JPEG when it is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "codecs_support.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

using codecs_test::FirstDifference;
using codecs_test::PixelBytes;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

constexpr int kWidth = 37;  // odd, so BMP rows need padding at every depth
constexpr int kHeight = 23;

struct Rgba {
  uint8_t r, g, b, a;
};
using Pattern = std::function<Rgba(int x, int y)>;

// The source pictures: smooth ramps with detail, one with varying alpha,
// and few-colour ones that ImageMagick stores with palettes of 64, 16 and 2
// entries.
Rgba Full(int x, int y) { return {uint8_t(x * 7), uint8_t(y * 11), uint8_t(x * y), 255}; }
Rgba WithAlpha(int x, int y) { return {uint8_t(x * 7), uint8_t(y * 11), uint8_t(x * y), uint8_t(x * 13 + y * 5)}; }
Rgba Colours64(int x, int y) { return {uint8_t(x / 3 % 4 * 85), uint8_t(y / 3 % 4 * 85), uint8_t((x + y) % 4 * 85), 255}; }
Rgba Colours16(int x, int y) { return {uint8_t(x / 3 % 4 * 85), uint8_t(y / 3 % 4 * 85), 0, 255}; }
Rgba Colours2(int x, int y) { return (x / 2 + y) % 3 == 0 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255}; }
Rgba Smooth(int x, int y) { return {uint8_t(40 + x * 4), uint8_t(200 - y * 6), uint8_t(90 + (x + y) * 2), 255}; }

// A netpbm PAM file of the pattern, which convert reads as its source.
std::string MakePam(const Pattern& pattern, bool alpha) {
  std::string pam = "P7\nWIDTH " + std::to_string(kWidth) + "\nHEIGHT " + std::to_string(kHeight) + "\nDEPTH " +
                    (alpha ? "4" : "3") + "\nMAXVAL 255\nTUPLTYPE " + (alpha ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n";
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = pattern(x, y);
      pam += std::string{char(p.r), char(p.g), char(p.b)};
      if (alpha) pam += char(p.a);
    }
  return pam;
}

class CodecsForeign : public testing::Test {
 protected:
  void SetUp() override {
    convert_ = codecs_test::FindProgram("convert");
    if (convert_.empty()) GTEST_SKIP() << "ImageMagick's convert is missing (scripts/setup.sh installs it)";
  }

  // Writes the pattern as a PAM source and converts it with the arguments
  // into the named output ("BMP3:x.bmp" style prefixes allowed). Returns the
  // output path, "" on failure.
  std::string Make(const Pattern& pattern, bool alpha, const std::vector<std::string>& args,
                   const std::string& output) {
    const std::string source = dir_.File("source.pam");
    WriteWholeFile(source, MakePam(pattern, alpha));
    std::vector<std::string> all = {source};
    all.insert(all.end(), args.begin(), args.end());
    const size_t colon = output.find(':');
    const std::string file = colon == std::string::npos ? output : output.substr(colon + 1);
    all.push_back(colon == std::string::npos ? dir_.File(file) : output.substr(0, colon + 1) + dir_.File(file));
    if (!codecs_test::RunForOutput(convert_, all, nullptr)) return std::string();
    return dir_.File(file);
  }

  // The pixels convert reports for a file: raw RGBA, 8 bits, top row first.
  std::string Reference(const std::string& path) {
    std::string out;
    if (!codecs_test::RunForOutput(convert_, {path, "-depth", "8", "rgba:-"}, &out)) return std::string();
    return out;
  }

  std::string convert_;
  TempDir dir_;
};

uint32_t FileLe32(const std::string& file, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(file[at + i]);
  return v;
}

}  // namespace

TEST_F(CodecsForeign, BmpFilesInEveryDepthAndHeaderForm) {
  struct Case {
    const char* format;
    Pattern pattern;
    bool alpha;
    std::vector<std::string> args;
    uint32_t headerSize;
    int bits;
    int tolerance;  // 16 bits: convert widens 5 bits by bit copying, we scale
  };
  const std::vector<Case> cases = {
      {"BMP3", Full, false, {}, 40, 24, 0},
      {"BMP2", Full, false, {}, 12, 24, 0},
      {"BMP3", WithAlpha, true, {"-define", "bmp3:alpha=true"}, 40, 32, 0},
      {"BMP3", Full, false, {"-define", "bmp:subtype=RGB555"}, 40, 16, 1},
      {"BMP3", Colours64, false, {"-type", "palette", "-compress", "none"}, 40, 8, 0},
      {"BMP2", Colours64, false, {"-type", "palette"}, 12, 8, 0},
      {"BMP3", Colours16, false, {"-type", "palette", "-compress", "none"}, 40, 4, 0},
      {"BMP2", Colours16, false, {"-type", "palette"}, 12, 4, 0},
      {"BMP3", Colours2, false, {"-type", "palette"}, 40, 1, 0},
      {"BMP2", Colours2, false, {"-type", "palette"}, 12, 1, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string label = std::string(c.format) + " " + std::to_string(c.bits) + " bits";
    const std::string path = Make(c.pattern, c.alpha, c.args, std::string(c.format) + ":f" + std::to_string(n++) + ".bmp");
    ASSERT_FALSE(path.empty()) << label;
    const std::string file = ReadWholeFile(path);
    // Make sure convert wrote the form this case is about.
    ASSERT_EQ(FileLe32(file, 14), c.headerSize) << label;
    ASSERT_EQ(static_cast<uint8_t>(file[c.headerSize == 12 ? 24 : 28]), c.bits) << label;

    Picture picture;
    ASSERT_TRUE(ReadBMP(picture, path.c_str(), -1)) << label;
    if (c.bits == 16) {
      // convert marks its 16-bit rows as bit fields but writes no masks, and
      // then reads the file back as black. Marked as plain rows (which for
      // 16 bits means this 5-5-5 layout) it reads them; ours reads both the
      // same.
      std::string plain = file;
      plain[30] = 0;
      WriteWholeFile(path, plain);
      Picture again;
      ASSERT_TRUE(ReadBMP(again, path.c_str(), -1)) << label;
      EXPECT_EQ(PixelBytes(picture), PixelBytes(again));
    }
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, kHeight);
    // Colours as convert reads them; alpha is always opaque here.
    EXPECT_EQ(FirstDifference(Reference(path), PixelBytes(picture), kWidth, c.tolerance, false), "") << label;
    for (int i = 0; i < kWidth * kHeight; ++i) ASSERT_EQ(picture.pixels[4 * i + 3], 255) << label;
  }

  // Run-length encoded rows are refused rather than shown scrambled.
  const std::string rle = Make(Colours64, false, {"-type", "palette", "-compress", "RLE"}, "BMP3:rle.bmp");
  ASSERT_FALSE(rle.empty());
  ASSERT_EQ(FileLe32(ReadWholeFile(rle), 30), 1u);  // BI_RLE8
  Picture picture;
  EXPECT_FALSE(ReadBMP(picture, rle.c_str(), -1));
}

TEST_F(CodecsForeign, PngFilesOfEveryColourType) {
  struct Case {
    const char* label;
    Pattern pattern;
    bool alpha;
    std::vector<std::string> args;
    std::string output;
    int bitDepth, colourType;
    int tolerance;  // 16-bit: convert rounds, libpng keeps the high byte
    bool hasAlpha;
  };
  const std::vector<Case> cases = {
      {"grey", Full, false, {"-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=8"},
       "g.png", 8, 0, 0, false},
      {"palette", Colours64, false, {}, "PNG8:p.png", 8, 3, 0, false},
      {"palette with tRNS", WithAlpha, true, {}, "PNG8:pt.png", 8, 3, 0, true},
      {"RGB", Full, false, {}, "PNG24:rgb.png", 8, 2, 0, false},
      {"RGBA", WithAlpha, true, {}, "PNG32:rgba.png", 8, 6, 0, true},
      {"16-bit RGB", Full, false, {}, "PNG48:rgb16.png", 16, 2, 1, false},
      {"16-bit RGBA", WithAlpha, true, {}, "PNG64:rgba16.png", 16, 6, 1, true},
  };
  for (const Case& c : cases) {
    const std::string path = Make(c.pattern, c.alpha, c.args, c.output);
    ASSERT_FALSE(path.empty()) << c.label;
    const std::string file = ReadWholeFile(path);
    ASSERT_EQ(static_cast<uint8_t>(file[24]), c.bitDepth) << c.label;
    ASSERT_EQ(static_cast<uint8_t>(file[25]), c.colourType) << c.label;
    if (c.colourType == 3) {
      ASSERT_EQ(file.find("tRNS") != std::string::npos, c.hasAlpha) << c.label;
    }

    Picture picture;
    ASSERT_TRUE(ReadPNG(picture, path.c_str(), -1)) << c.label;
    EXPECT_EQ(picture.ownAlpha, c.hasAlpha ? 1 : 0) << c.label;
    EXPECT_EQ(FirstDifference(Reference(path), PixelBytes(picture), kWidth, c.tolerance), "") << c.label;
  }

  // Grey with alpha (two channels) is refused.
  const std::string greyAlpha = Make(WithAlpha, true, {"-colorspace", "Gray"}, "ga.png");
  ASSERT_EQ(static_cast<uint8_t>(ReadWholeFile(greyAlpha)[25]), 4);
  Picture picture;
  EXPECT_FALSE(ReadPNG(picture, greyAlpha.c_str(), -1));
}

TEST_F(CodecsForeign, JpegFilesAgreeWithConvertAndPil) {
  const std::string python = codecs_test::FindPythonWithPil();
  struct Case {
    const char* label;
    std::vector<std::string> args;
    int components;
    bool progressive;
  };
  const std::vector<Case> cases = {
      {"RGB", {"-quality", "90"}, 3, false},
      {"grey", {"-colorspace", "Gray", "-quality", "90"}, 1, false},
      {"RGB, 4:2:0, progressive", {"-quality", "75", "-sampling-factor", "2x2", "-interlace", "JPEG"}, 3, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = Make(Full, false, c.args, "j" + std::to_string(n++) + ".jpg");
    ASSERT_FALSE(path.empty()) << c.label;
    const std::string file = ReadWholeFile(path);
    const size_t frame = file.find(c.progressive ? "\xFF\xC2" : "\xFF\xC0");
    ASSERT_NE(frame, std::string::npos) << c.label;
    ASSERT_EQ(static_cast<uint8_t>(file[frame + 9]), c.components) << c.label;

    Picture picture;
    ASSERT_TRUE(ReadJPEG(picture, path.c_str())) << c.label;
    EXPECT_EQ(picture.ownAlpha, 0);
    // convert may use another inverse DCT than libjpeg's default: a few
    // levels of difference are normal.
    EXPECT_EQ(FirstDifference(Reference(path), PixelBytes(picture), kWidth, 3), "") << c.label;

    if (!python.empty()) {
      // PIL decodes through libjpeg with its default settings too.
      std::string rgba;
      ASSERT_TRUE(codecs_test::RunForOutput(
          python,
          {"-c",
           "import sys; from PIL import Image; "
           "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())",
           path},
          &rgba))
          << c.label;
      EXPECT_EQ(FirstDifference(rgba, PixelBytes(picture), kWidth, 1), "") << c.label << " (PIL)";
    }
  }
  if (python.empty()) std::printf("[  NOTE    ] no python3 with PIL: JPEG checked against convert only\n");
}

TEST_F(CodecsForeign, ConvertReadsWhatWeWrite) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(kWidth, kHeight));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = WithAlpha(x, y);
      uint8_t* out = picture.Pixel(x, y);
      out[0] = p.r;
      out[1] = p.g;
      out[2] = p.b;
      out[3] = p.a;
    }
  // PNG: every byte, alpha included.
  const std::string png = dir_.File("ours.png");
  ASSERT_TRUE(SavePicture(png.c_str(), picture));
  EXPECT_EQ(FirstDifference(PixelBytes(picture), Reference(png), kWidth, 0), "");

  // BMP: colours of opaque pixels, the key colour where alpha was not 255.
  std::string expected = PixelBytes(picture);
  for (size_t i = 0; i < expected.size(); i += 4) {
    if (static_cast<uint8_t>(expected[i + 3]) != 255) expected.replace(i, 3, std::string{char(255), 0, char(128)});
    expected[i + 3] = static_cast<char>(255);
  }
  const std::string bmp = dir_.File("ours.bmp");
  ASSERT_TRUE(SavePicture(bmp.c_str(), picture));
  EXPECT_EQ(FirstDifference(expected, Reference(bmp), kWidth, 0, false), "");

  // JPEG: convert sees what ReadJPEG sees (up to inverse-DCT differences),
  // and both stay close to the smooth source.
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Rgba p = Smooth(x, y);
      uint8_t* out = picture.Pixel(x, y);
      out[0] = p.r;
      out[1] = p.g;
      out[2] = p.b;
      out[3] = 255;
    }
  const std::string jpg = dir_.File("ours.jpg");
  ASSERT_TRUE(SavePicture(jpg.c_str(), picture));
  Picture back;
  ASSERT_TRUE(ReadJPEG(back, jpg.c_str()));
  EXPECT_EQ(FirstDifference(Reference(jpg), PixelBytes(back), kWidth, 3), "");
  EXPECT_EQ(FirstDifference(PixelBytes(picture), PixelBytes(back), kWidth, 16), "");
}
