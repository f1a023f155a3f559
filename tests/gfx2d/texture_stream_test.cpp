// Sprite textures made from rows as a file is decoded: the plain texture
// and every level of the mip-mapped companion hold what the upload rules
// give for the whole picture (built here independently: the block flipped
// and padded, squared by halving, then the weighted halvings), for every
// kind of file; large square textures share their storage with the
// companion's first level.
#include <cstring>
#include <string>
#include <vector>

#include "codecs_support.h"
#include "draw_support.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/internal/texture_stream.h"

using namespace gfx2d_test;
using codecs_test::MakeJpeg;
using codecs_test::MakePng;
using codecs_test::PngSpec;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

// ---------------------------------------------------------------- the rules, restated

using Texels = std::vector<uint8_t>;

int32_t Pow2(int32_t n) {
  int32_t size = 8;
  do size *= 2;
  while (size < n);
  return size;
}

// What the upload makes of a picture: the plain texture (tw x th, picture
// row r in texture row h - 1 - r, the rest transparent black) and the
// companion's levels.
struct Expected {
  int32_t tw = 0, th = 0;
  Texels plain;
  std::vector<Texels> levels;
};

Expected Upload(const Picture& picture, int32_t maxSize) {
  Expected e;
  const int32_t w = std::min(picture.width, maxSize), h = std::min(picture.height, maxSize);
  e.tw = Pow2(w);
  e.th = Pow2(h);
  e.plain.assign(static_cast<size_t>(e.tw) * e.th * 4, 0);
  for (int32_t r = 0; r < h; ++r)
    std::memcpy(&e.plain[static_cast<size_t>(h - 1 - r) * e.tw * 4], picture.pixels + static_cast<size_t>(r) * picture.width * 4,
                static_cast<size_t>(w) * 4);
  Texels block = e.plain;
  int32_t bw = e.tw, bh = e.th;
  while (bw > bh) {
    Texels next(static_cast<size_t>(bw / 2) * bh * 4);
    for (int32_t y = 0; y < bh; ++y)
      for (int32_t x = 0; x < bw / 2; ++x)
        for (int c = 0; c < 4; ++c)
          next[(static_cast<size_t>(y) * (bw / 2) + x) * 4 + c] =
              static_cast<uint8_t>((block[(static_cast<size_t>(y) * bw + 2 * x) * 4 + c] +
                                    block[(static_cast<size_t>(y) * bw + 2 * x + 1) * 4 + c]) / 2);
    block.swap(next);
    bw /= 2;
  }
  while (bh > bw) {
    Texels next(static_cast<size_t>(bw) * (bh / 2) * 4);
    for (int32_t y = 0; y < bh / 2; ++y)
      for (int32_t x = 0; x < bw; ++x)
        for (int c = 0; c < 4; ++c)
          next[(static_cast<size_t>(y) * bw + x) * 4 + c] =
              static_cast<uint8_t>((block[(static_cast<size_t>(2 * y) * bw + x) * 4 + c] +
                                    block[(static_cast<size_t>(2 * y + 1) * bw + x) * 4 + c]) / 2);
    block.swap(next);
    bh /= 2;
  }
  for (int32_t n = bw;; n /= 2) {
    e.levels.push_back(block);
    if (n == 1) break;
    Texels next(static_cast<size_t>(n / 2) * (n / 2) * 4);
    auto at = [&](int32_t x, int32_t y, int c) { return block[(static_cast<size_t>(y) * n + x) * 4 + c]; };
    for (int32_t y = 0; y < n / 2; ++y)
      for (int32_t x = 0; x < n / 2; ++x)
        for (int c = 0; c < 4; ++c)
          next[(static_cast<size_t>(y) * (n / 2) + x) * 4 + c] = static_cast<uint8_t>(
              (4 * at(2 * x, 2 * y, c) + 2 * at(2 * x + 1, 2 * y, c) + 2 * at(2 * x, 2 * y + 1, c) +
               at(2 * x + 1, 2 * y + 1, c)) / 9);
    block.swap(next);
  }
  return e;
}

// The colour bleed: transparent pixels take the mean colour of their opaque
// neighbours off the picture's border.
void Bleed(Picture& p) {
  std::vector<uint8_t> original(p.pixels, p.pixels + static_cast<size_t>(p.width) * p.height * 4);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      uint8_t* t = p.Pixel(x, y);
      if (t[3] != 0) continue;
      int sum[3] = {0, 0, 0}, count = 0;
      for (int32_t ny = y - 1; ny <= y + 1; ++ny)
        for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
          if ((nx == x && ny == y) || nx <= 0 || ny <= 0 || nx >= p.width - 1 || ny >= p.height - 1) continue;
          const uint8_t* n = &original[(static_cast<size_t>(ny) * p.width + nx) * 4];
          if (n[3] == 0) continue;
          for (int c = 0; c < 3; ++c) sum[c] += n[c];
          ++count;
        }
      for (int c = 0; c < 3; ++c) t[c] = static_cast<uint8_t>(count > 0 ? sum[c] / count : 0);
    }
}

// ---------------------------------------------------------------- the GL's side

GLint LevelSize(uint32_t name, GLint level, GLenum which) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint value = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, which, &value);
  return value;
}

Texels ReadLevel(uint32_t name, GLint level) {
  Texels texels(static_cast<size_t>(LevelSize(name, level, GL_TEXTURE_WIDTH)) *
                    LevelSize(name, level, GL_TEXTURE_HEIGHT) * 4);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return texels;
}

bool Immutable(uint32_t name) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint immutable = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_IMMUTABLE_FORMAT, &immutable);
  return immutable != 0;
}

// Where two blocks first differ, "" when they do not.
std::string Differs(const Texels& want, const Texels& got, int32_t width) {
  if (want.size() != got.size())
    return "sizes " + std::to_string(want.size()) + " and " + std::to_string(got.size());
  for (size_t i = 0; i < want.size(); ++i)
    if (want[i] != got[i])
      return "texel (" + std::to_string(i / 4 % width) + ", " + std::to_string(i / 4 / width) + ") channel " +
             std::to_string(i % 4) + ": " + std::to_string(want[i]) + " wanted, " + std::to_string(got[i]);
  return "";
}

void ExpectSpriteTextures(int32_t id, const Expected& e, const std::string& label) {
  const SpriteRecord& s = TheRenderer()->sprites[id];
  ASSERT_NE(s.texture, 0u) << label;
  ASSERT_NE(s.mipTexture, 0u) << label;
  EXPECT_EQ(s.textureWidth, e.tw) << label;
  EXPECT_EQ(s.textureHeight, e.th) << label;
  EXPECT_EQ(Differs(e.plain, ReadLevel(s.texture, 0), e.tw), "") << label << ": plain texture";
  for (size_t level = 0; level < e.levels.size(); ++level) {
    const int32_t side = LevelSize(s.mipTexture, static_cast<GLint>(level), GL_TEXTURE_WIDTH);
    EXPECT_EQ(Differs(e.levels[level], ReadLevel(s.mipTexture, static_cast<GLint>(level)), side), "")
        << label << ": companion level " << level;
  }
}

// ---------------------------------------------------------------- files

std::vector<uint8_t> Rows(int32_t w, int32_t h, int channels, uint8_t seed) {
  std::vector<uint8_t> rows;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        rows.push_back(static_cast<uint8_t>((x * (37 + c) + y * (11 + 5 * c) + seed * (c + 1) + x * y) & 255));
  return rows;
}

// An RGB picture with key-coloured spots (R 255, G 0, B 128), so the bleed
// has work to do, including on the border.
std::vector<uint8_t> KeyedRows(int32_t w, int32_t h) {
  std::vector<uint8_t> rows = Rows(w, h, 3, 7);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      if ((x * 7 + y * 3) % 5 == 0 || x == 0 || y == h - 1) {
        uint8_t* p = &rows[(static_cast<size_t>(y) * w + x) * 3];
        p[0] = 255;
        p[1] = 0;
        p[2] = 128;
      }
  return rows;
}

std::string Png(int32_t w, int32_t h, int colourType, const std::vector<uint8_t>& rows, bool interlaced = false) {
  PngSpec spec;
  spec.width = w;
  spec.height = h;
  spec.colourType = colourType;
  spec.interlaced = interlaced;
  return MakePng(spec, rows);
}

class TextureStreamTest : public Gfx2dTest {
 protected:
  void TearDown() override { SetSharedTextureBytes(0); }
};

}  // namespace

// LoadSprite hands the decoded rows straight to the textures; the textures
// are those of the whole picture as the whole-picture reader gives it (the
// bleed applied where the alpha is not the file's), for square, wide and
// tall textures, reduced pictures and every reader.
TEST_F(TextureStreamTest, LoadedSpritesHoldTheUploadOfTheWholePicture) {
  TempDir dir;
  struct Case {
    const char* label;
    std::string file;
    int32_t maxSize;  // 0: the GL's own
  };
  const std::vector<Case> cases = {
      {"keyed RGB PNG, square", Png(30, 27, 2, KeyedRows(30, 27)), 0},
      {"keyed RGB PNG, wide", Png(70, 9, 2, KeyedRows(70, 9)), 0},
      {"RGBA PNG, tall", Png(12, 100, 6, Rows(12, 100, 4, 3)), 0},
      {"grey PNG", Png(33, 17, 0, Rows(33, 17, 1, 5)), 0},
      {"interlaced RGB PNG", Png(40, 21, 2, KeyedRows(40, 21), true), 0},
      {"reduced keyed RGB PNG", Png(150, 90, 2, KeyedRows(150, 90)), 32},
      {"one-row PNG", Png(19, 1, 2, KeyedRows(19, 1)), 0},
      {"two-row PNG", Png(19, 2, 2, KeyedRows(19, 2)), 0},
      {"BMP", [] {
         std::string pixels;
         for (int y = 0; y < 13; ++y) {
           for (int x = 0; x < 21; ++x) pixels += {static_cast<char>(x * 9), static_cast<char>(y * 17), static_cast<char>(x ^ y)};
           pixels += std::string((4 - (21 * 3) % 4) % 4, '\0');
         }
         return codecs_test::MakeBmp(40, 21, 13, 24, "", pixels);
       }(),
       0},
      {"JPEG", MakeJpeg(24, 24, 3, 2, Rows(24, 24, 3, 9)), 0},
  };
  int32_t id = 40;
  for (const Case& c : cases) {
    SetMaxTextureSizeOverride(c.maxSize);
    const std::string path = dir.File("picture" + std::to_string(id));
    WriteWholeFile(path, c.file);
    ASSERT_TRUE(LoadSprite(path.c_str(), id)) << c.label;
    EXPECT_EQ(LastErrorCode, 0) << c.label;
    // The whole picture, as the readers give it with the sprite key.
    Picture whole;
    DecodeLimits limits;
    limits.maxSide = MaxTextureSize();
    ASSERT_TRUE(gfx2d::LoadPictureFile(path.c_str(), whole, R().spriteKey, true, &limits)) << c.label;
    if (!whole.ownAlpha) Bleed(whole);
    ExpectSpriteTextures(id, Upload(whole, MaxTextureSize()), c.label);
    EXPECT_EQ(R().sprites[id].pictureWidth, limits.fileWidth) << c.label;
    EXPECT_EQ(R().sprites[id].pictureHeight, limits.fileHeight) << c.label;
    ++id;
  }
}

// A picture already in memory goes the same way (SetSpriteFromPicture, the
// upload of background tiles and of the 3D engine's scene textures).
TEST_F(TextureStreamTest, PicturesInMemoryUploadByTheSameRules) {
  for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{{5, 5}, {100, 30}, {17, 64}, {64, 64}}) {
    Picture picture;
    FillPicture(picture, w, h, [](int32_t x, int32_t y) {
      return Rgba{static_cast<uint8_t>(x * 13 + y), static_cast<uint8_t>(y * 29), static_cast<uint8_t>(x * y),
                  static_cast<uint8_t>(255 - x - y)};
    });
    ASSERT_TRUE(SetSpriteFromPicture(60, picture, false));
    ExpectSpriteTextures(60, Upload(picture, MaxTextureSize()), std::to_string(w) + " x " + std::to_string(h));
  }
}

// From the shared size up, a square texture is a view of the companion's
// first level: the same texels held once. Below it, or not square, the two
// textures are separate. Drawing, grabbing into and deleting a shared
// sprite work as with separate textures.
TEST_F(TextureStreamTest, LargeSquareTexturesShareTheCompanionsFirstLevel) {
  if (!gfx2d::TextureViewsSupported()) GTEST_SKIP() << "the GL has no texture views";
  TempDir dir;
  SetSharedTextureBytes(32 * 32 * 4);
  struct Case {
    int32_t w, h;
    bool shared;
  };
  for (const Case& c : {Case{30, 20, true}, Case{16, 16, false}, Case{40, 12, false}}) {
    const std::string label = std::to_string(c.w) + " x " + std::to_string(c.h);
    const std::string path = dir.File(label + ".png");
    WriteWholeFile(path, Png(c.w, c.h, 2, KeyedRows(c.w, c.h)));
    ASSERT_TRUE(LoadSprite(path.c_str(), 70)) << label;
    const SpriteRecord& s = R().sprites[70];
    EXPECT_EQ(Immutable(s.texture), c.shared) << label;
    EXPECT_EQ(Immutable(s.mipTexture), c.shared) << label;
    Picture whole;
    ASSERT_TRUE(gfx2d::LoadPictureFile(path.c_str(), whole, R().spriteKey, true));
    Bleed(whole);
    ExpectSpriteTextures(70, Upload(whole, MaxTextureSize()), label);
  }

  // Shared: drawn at its own size it shows its picture (keyed pixels are
  // transparent and leave the black screen).
  WriteWholeFile(dir.File("shared.png"), Png(32, 32, 2, KeyedRows(32, 32)));
  ASSERT_TRUE(LoadSprite(dir.File("shared.png").c_str(), 71));
  ASSERT_TRUE(Immutable(R().sprites[71].texture));
  const uint32_t plain = R().sprites[71].texture, mip = R().sprites[71].mipTexture;
  ClearScreen(0);
  DrawSprite(71, 10, 20);
  Picture picture;
  ASSERT_TRUE(gfx2d::LoadPictureFile(dir.File("shared.png").c_str(), picture, R().spriteKey, true));
  const std::vector<Rgba> screen = testing_support::ReadPixels(10, 20, 32, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) {
      const Rgba want = PixelOf(picture, x, y).a != 0 ? PixelOf(picture, x, y) : Rgba{0, 0, 0, 255};
      ASSERT_TRUE(SameRgb(screen[static_cast<size_t>(y) * 32 + x], want))
          << x << ", " << y << ": " << Describe(screen[static_cast<size_t>(y) * 32 + x]) << " wanted "
          << Describe(want);
    }
  // A grab of the same size goes into the shared texture; the companion
  // (which would show the old picture) goes.
  DrawRect(0, 0, 32, 32, Pack(10, 200, 30));
  ASSERT_TRUE(GrabSprite(71, 0, 0, 32, 32));
  EXPECT_EQ(R().sprites[71].texture, plain);
  EXPECT_EQ(R().sprites[71].mipTexture, 0u);
  EXPECT_FALSE(glIsTexture(mip));
  const Texels grabbed = ReadLevel(plain, 0);
  EXPECT_EQ(grabbed[0], 10);
  EXPECT_EQ(grabbed[1], 200);
  EXPECT_EQ(grabbed[2], 30);
  DeleteSprite(71);
  EXPECT_FALSE(glIsTexture(plain));
}

// A file that breaks off part way leaves no sprite and error 3, however
// far the rows got.
TEST_F(TextureStreamTest, ABrokenFileLeavesTheSpriteDeleted) {
  TempDir dir;
  const std::string png = Png(64, 64, 2, Rows(64, 64, 3, 1));
  WriteWholeFile(dir.File("good.png"), png);
  ASSERT_TRUE(LoadSprite(dir.File("good.png").c_str(), 80));
  for (size_t cut : {png.size() / 4, png.size() / 2, png.size() - 20}) {
    WriteWholeFile(dir.File("cut.png"), png.substr(0, cut));
    EXPECT_FALSE(LoadSprite(dir.File("cut.png").c_str(), 80)) << cut;
    EXPECT_EQ(LastErrorCode, kErrorNoSuchFile) << cut;
    EXPECT_EQ(R().sprites[80].texture, 0u) << cut;
    EXPECT_EQ(R().sprites[80].mipTexture, 0u) << cut;
    EXPECT_EQ(R().sprites[80].pictureWidth, 0) << cut;
  }
}
