// The sprite store: texture sizes and scales, upload limits, the mip
// companion, loading and its failures, grabbing, collision, arrays,
// backgrounds and saving.
#include <cmath>
#include <cstring>
#include <tuple>

#include "draw_support.h"
#include "files/read_channel.h"

using namespace gfx2d_test;
using testing_support::ReadPixels;
using testing_support::TempDir;

namespace {

GLint TextureLevelSize(uint32_t name, GLint level, GLenum which) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint value = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, which, &value);
  return value;
}

std::vector<uint8_t> TextureLevel(uint32_t name, GLint level) {
  const GLint w = TextureLevelSize(name, level, GL_TEXTURE_WIDTH);
  const GLint h = TextureLevelSize(name, level, GL_TEXTURE_HEIGHT);
  std::vector<uint8_t> texels(static_cast<size_t>(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return texels;
}

Rgba Opaque(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

class SpriteTest : public Gfx2dTest {};

}  // namespace

TEST_F(SpriteTest, TextureSizesAndScales) {
  Picture picture;
  FillPicture(picture, 100, 30, [](int32_t, int32_t) { return Opaque(10, 20, 30); });
  ASSERT_TRUE(SetSpriteFromPicture(10, picture, false));
  const SpriteRecord& s = R().sprites[10];
  EXPECT_EQ(s.textureWidth, 128);
  EXPECT_EQ(s.textureHeight, 32);
  EXPECT_FLOAT_EQ(s.uScale, 0.78125f);
  EXPECT_FLOAT_EQ(s.vScale, 0.9375f);
  EXPECT_EQ(TextureLevelSize(s.texture, 0, GL_TEXTURE_WIDTH), 128);
  EXPECT_EQ(TextureLevelSize(s.texture, 0, GL_TEXTURE_HEIGHT), 32);
  int32_t w = 0, h = 0;
  GetSpriteSize(10, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 30);
  EXPECT_EQ(GetSpriteTexture(10), s.texture);
  EXPECT_NE(s.mipTexture, 0u);

  FillPicture(picture, 5, 5, [](int32_t, int32_t) { return Opaque(1, 2, 3); });
  ASSERT_TRUE(SetSpriteFromPicture(11, picture, false));
  EXPECT_EQ(R().sprites[11].textureWidth, 16);
  EXPECT_EQ(R().sprites[11].textureHeight, 16);
  EXPECT_EQ(TextureLevelSize(R().sprites[11].texture, 0, GL_TEXTURE_WIDTH), 16);

  // The picture sits at the origin with its bottom row in texture row 0; the
  // rest of the texture is transparent black.
  FillPicture(picture, 3, 2, [](int32_t x, int32_t y) { return Opaque(static_cast<uint8_t>(x * 50), y ? 200 : 100, 7); });
  ASSERT_TRUE(SetSpriteFromPicture(12, picture, false));
  const std::vector<uint8_t> texels = TextureLevel(R().sprites[12].texture, 0);
  EXPECT_EQ(texels[1], 200);           // texture row 0 = picture row 1
  EXPECT_EQ(texels[16 * 4 + 1], 100);  // texture row 1 = picture row 0
  EXPECT_EQ(texels[2 * 4 + 0], 100);   // column 2
  EXPECT_EQ(texels[3 * 4 + 3], 0);     // outside the picture
  EXPECT_EQ(texels[2 * 16 * 4 + 3], 0);

  // Font slots: nearest filtering and no companion.
  ASSERT_TRUE(SetSpriteFromPicture(FONT_SLOT_BASE + 30, picture, false));
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE + 30].mipTexture, 0u);
  glBindTexture(GL_TEXTURE_2D, R().sprites[FONT_SLOT_BASE + 30].texture);
  GLint filter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  EXPECT_EQ(filter, GL_NEAREST);
  DeleteSprite(FONT_SLOT_BASE + 30);
}

TEST_F(SpriteTest, PictureLargerThanTheMaximumTextureSize) {
  SetMaxTextureSizeOverride(64);
  Picture picture;
  FillPicture(picture, 100, 30, [](int32_t x, int32_t) { return Opaque(static_cast<uint8_t>(x), 0, 0); });
  ASSERT_TRUE(SetSpriteFromPicture(20, picture, false));
  const SpriteRecord& s = R().sprites[20];
  EXPECT_EQ(s.pictureWidth, 100);  // the record keeps the full picture size
  EXPECT_EQ(s.pictureHeight, 30);
  EXPECT_EQ(s.textureWidth, 64);
  EXPECT_EQ(TextureLevelSize(s.texture, 0, GL_TEXTURE_WIDTH), 64);
  // The cut part fills the texture; draws never reach past it.
  EXPECT_FLOAT_EQ(s.uScale, 1.0f);
  const std::vector<uint8_t> texels = TextureLevel(s.texture, 0);
  EXPECT_EQ(texels[63 * 4], 63);
  // Collision over the part that did not fit neither crashes nor collides.
  Picture small;
  FillPicture(small, 4, 4, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(21, small, false));
  EXPECT_FALSE(SpriteCollision(20, 0, 0, 21, 90, 10));
  EXPECT_TRUE(SpriteCollision(20, 0, 0, 21, 10, 10));
}

TEST_F(SpriteTest, MipCompanionUsesTheWeightedHalving) {
  // 32 x 16: squared by averaging horizontal pairs, then each level weighs
  // its corner texel 4, right and lower 2, diagonal 1.
  const int32_t w = 32, h = 16;
  Picture picture;
  FillPicture(picture, w, h, [](int32_t x, int32_t y) {
    return Rgba{static_cast<uint8_t>((x * 37 + y * 11) & 255), static_cast<uint8_t>((x * x + 3 * y) & 255),
                static_cast<uint8_t>((y * y * 5 + x) & 255), static_cast<uint8_t>(255 - x * 3)};
  });
  ASSERT_TRUE(SetSpriteFromPicture(30, picture, false));
  const uint32_t mip = R().sprites[30].mipTexture;
  ASSERT_NE(mip, 0u);

  // The texture block: picture rows bottom up.
  auto block = [&](int32_t x, int32_t y, int c) { return picture.Pixel(x, h - 1 - y)[c]; };
  std::vector<int> level0(16 * 16 * 4);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      for (int c = 0; c < 4; ++c)
        level0[(y * 16 + x) * 4 + c] = (block(2 * x, y, c) + block(2 * x + 1, y, c)) / 2;
  std::vector<int> level1(8 * 8 * 4);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 4; ++c) {
        auto at = [&](int xx, int yy) { return level0[(yy * 16 + xx) * 4 + c]; };
        level1[(y * 8 + x) * 4 + c] =
            (4 * at(2 * x, 2 * y) + 2 * at(2 * x + 1, 2 * y) + 2 * at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) / 9;
      }

  EXPECT_EQ(TextureLevelSize(mip, 0, GL_TEXTURE_WIDTH), 16);
  EXPECT_EQ(TextureLevelSize(mip, 0, GL_TEXTURE_HEIGHT), 16);
  const std::vector<uint8_t> got0 = TextureLevel(mip, 0);
  const std::vector<uint8_t> got1 = TextureLevel(mip, 1);
  for (size_t i = 0; i < level0.size(); ++i) ASSERT_EQ(got0[i], level0[i]) << "level 0 byte " << i;
  for (size_t i = 0; i < level1.size(); ++i) ASSERT_EQ(got1[i], level1[i]) << "level 1 byte " << i;
  // Every level down to 1 x 1 is there, so the texture is complete.
  EXPECT_EQ(TextureLevelSize(mip, 4, GL_TEXTURE_WIDTH), 1);
  glBindTexture(GL_TEXTURE_2D, mip);
  GLint minFilter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
}

TEST_F(SpriteTest, NormalMapOfAFlatHeightFieldPointsStraightUp) {
  TempDir dir;
  Picture picture;
  FillPicture(picture, 16, 16, [](int32_t, int32_t) { return Rgba{40, 50, 90, 255}; });
  ASSERT_TRUE(SavePicture(dir.File("flat.png").c_str(), picture));
  ASSERT_TRUE(LoadNormalMapSprite(dir.File("flat.png").c_str(), 31));
  const std::vector<uint8_t> texels = TextureLevel(R().sprites[31].texture, 0);
  // nx = ny = 0, s = 1: (trunc(127.5), trunc(127.5), 255), alpha kept.
  EXPECT_EQ(texels[0], 127);
  EXPECT_EQ(texels[1], 127);
  EXPECT_EQ(texels[2], 255);
  EXPECT_EQ(texels[3], 255);

  // A height ramp along x (blue = 16 x): away from the wrapping edges the
  // slope is 2 x 16 / 255 per texel on each of the three rows weighted
  // 1, 2, 1, so nx = -4 x 32 / 255 and ny = 0.
  FillPicture(picture, 16, 16, [](int32_t x, int32_t) { return Rgba{0, 0, static_cast<uint8_t>(16 * x), 200}; });
  ASSERT_TRUE(SavePicture(dir.File("ramp.png").c_str(), picture));
  ASSERT_TRUE(LoadNormalMapSprite(dir.File("ramp.png").c_str(), 32));
  const std::vector<uint8_t> ramp = TextureLevel(R().sprites[32].texture, 0);
  const double nx = -4.0 * 32.0 / 255.0;
  const double s = 1.0 / std::sqrt(nx * nx + 1.0);
  const uint8_t* t = &ramp[(5 * 16 + 7) * 4];
  EXPECT_NEAR(t[0], static_cast<int>((nx * s + 1.0) * 0.5 * 255.0), 1);
  EXPECT_NEAR(t[1], 127, 1);
  EXPECT_NEAR(t[2], static_cast<int>((s + 1.0) * 0.5 * 255.0), 1);
  EXPECT_EQ(t[3], 200);
}

TEST_F(SpriteTest, LoadSpriteKeysBleedsAndReportsFailures) {
  TempDir dir;
  // 5 x 5 BMP (no alpha of its own) with the default key in the middle and
  // at a corner; the inner neighbours of the middle pixel have known colours.
  Picture picture;
  FillPicture(picture, 5, 5, [](int32_t x, int32_t y) {
    if ((x == 2 && y == 2) || (x == 0 && y == 0)) return Rgba{255, 0, 128, 255};
    return Rgba{static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 40), 9, 255};
  });
  ASSERT_TRUE(SavePicture(dir.File("keyed.bmp").c_str(), picture));
  ASSERT_TRUE(LoadSprite(dir.File("keyed.bmp").c_str(), 40));
  EXPECT_EQ(LastErrorCode, 0);
  Picture back;
  ASSERT_TRUE(SpriteToPicture(40, back));
  ASSERT_EQ(back.width, 5);
  const Rgba middle = PixelOf(back, 2, 2);
  EXPECT_EQ(middle.a, 0);
  // Mean of the 8 neighbours, none on the border: x in {1,2,3}, y in {1,2,3}.
  EXPECT_EQ(middle.r, 80);
  EXPECT_EQ(middle.g, 80);
  EXPECT_EQ(middle.b, 9);
  // The corner's only inner neighbour is (1, 1).
  const Rgba corner = PixelOf(back, 0, 0);
  EXPECT_EQ(corner.a, 0);
  EXPECT_EQ(corner.r, 40);
  EXPECT_EQ(corner.g, 40);
  EXPECT_EQ(PixelOf(back, 4, 4).a, 255);

  // A missing file and a file no reader accepts: error 3, the id left free.
  EXPECT_FALSE(LoadSprite(dir.File("missing.png").c_str(), 40));
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_EQ(R().sprites[40].pictureWidth, 0);
  EXPECT_EQ(R().sprites[40].texture, 0u);
  testing_support::WriteWholeFile(dir.File("junk.png"), std::string(300, 'x'));
  ASSERT_TRUE(LoadSprite(dir.File("keyed.bmp").c_str(), 41));
  EXPECT_FALSE(LoadSprite(dir.File("junk.png").c_str(), 41));
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_EQ(R().sprites[41].pictureWidth, 0);
  EXPECT_FALSE(LoadSprite("", 41));
  EXPECT_EQ(LastErrorCode, 3);

  // Memory files load like real ones.
  const std::string bytes = testing_support::ReadWholeFile(dir.File("keyed.bmp"));
  RegisterMemoryFile(bytes.data(), bytes.size());
  EXPECT_TRUE(LoadSprite(MemoryFileName(bytes.data(), bytes.size()).c_str(), 42));
  UnregisterMemoryFile(bytes.data());
  EXPECT_EQ(R().sprites[42].pictureWidth, 5);
}

TEST_F(SpriteTest, IdsOutsideTheStoreNeverCrash) {
  EXPECT_FALSE(LoadSprite("whatever.png", -1));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_FALSE(LoadSprite("whatever.png", kSpriteCount));
  EXPECT_EQ(LastErrorCode, 7);
  LastErrorCode = 0;
  EXPECT_FALSE(GrabSprite(70000, 0, 0, 4, 4));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_FALSE(SpriteCollision(-3, 0, 0, 1, 0, 0));
  EXPECT_EQ(GetSpriteTexture(kSpriteCount), 0u);
  int32_t w = 5, h = 5;
  GetSpriteSize(-9, w, h);
  EXPECT_EQ(w, 0);
  DeleteSprite(-1);
  DeleteSprite(kSpriteCount + 5);
  DrawSprite(-2, 0, 0);
  StretchSprite(kSpriteCount, 0, 0, 5, 5);
  RotoZoomSprite(99999, 0, 0, 10, 1);
  DrawAnim(-7, 0, 0, 0);
  SetSpriteAnim(1 << 20, 4, 4);
  BeginPoly(kSpriteCount, 0);
  AddPolyVertex(0, 0, 0, 0, 0xFFFFFF);
  EndPoly();
  BasicArray<int32_t> pixels;
  EXPECT_FALSE(SpriteToArray(pixels, -1));
  EXPECT_FALSE(SaveSprite("x.png", kSpriteCount));
  EXPECT_EQ(ReadPixels(0, 0, 1, 1)[0].r, 0);  // nothing was drawn
}

TEST_F(SpriteTest, FindFreeSpriteStaysBelowTheFontSlots) {
  Renderer& r = R();
  const int32_t id = FindFreeSprite();
  EXPECT_GE(id, 0);
  EXPECT_LT(id, FONT_SLOT_BASE);
  EXPECT_EQ(r.sprites[id].pictureWidth, 0);
  // With every program id taken (font slots free) there is none.
  std::vector<int32_t> saved(FONT_SLOT_BASE);
  for (int32_t i = 0; i < FONT_SLOT_BASE; ++i) {
    saved[i] = r.sprites[i].pictureWidth;
    r.sprites[i].pictureWidth = 1;
  }
  DeleteSprite(FONT_SLOT_BASE + 20);
  EXPECT_EQ(FindFreeSprite(), -1);
  r.sprites[1234].pictureWidth = 0;
  EXPECT_EQ(FindFreeSprite(), 1234);
  for (int32_t i = 0; i < FONT_SLOT_BASE; ++i) r.sprites[i].pictureWidth = saved[i];
}

TEST_F(SpriteTest, GrabSprite) {
  // The screen has no alpha bits here, so grabs read back and key out.
  DrawRect(0, 0, 40, 20, Pack(10, 200, 30));
  DrawRect(5, 5, 3, 2, kDefaultSpriteKey);
  DrawRect(0, 19, 40, 1, Pack(250, 1, 2));  // the bottom row
  ASSERT_TRUE(GrabSprite(50, 0, 0, 40, 20));
  const SpriteRecord& s = R().sprites[50];
  EXPECT_EQ(s.pictureWidth, 40);
  EXPECT_EQ(s.textureWidth, 64);
  EXPECT_EQ(s.textureHeight, 32);
  Picture back;
  ASSERT_TRUE(SpriteToPicture(50, back));
  EXPECT_TRUE(SameRgb(PixelOf(back, 0, 0), Packed(Pack(10, 200, 30))));
  EXPECT_EQ(PixelOf(back, 0, 0).a, 255);
  EXPECT_EQ(PixelOf(back, 6, 6).a, 0);  // key colour: transparent
  EXPECT_TRUE(SameRgb(PixelOf(back, 3, 19), Packed(Pack(250, 1, 2))));
  // Finding the stored key leaves the screen as it was.
  EXPECT_TRUE(SameRgb(ReadPixels(4, 4, 1, 1)[0], Packed(Pack(10, 200, 30))));

  // A grab of the same texture size reuses the texture.
  const uint32_t texture = s.texture;
  ASSERT_TRUE(GrabSprite(50, 2, 0, 33, 17));
  EXPECT_EQ(R().sprites[50].texture, texture);

  // Past the window's edge the grab holds transparent black, not whatever an
  // earlier grab left behind.
  DrawRect(0, 0, 640, 480, Pack(77, 77, 77));
  ASSERT_TRUE(GrabSprite(52, 0, 0, 40, 40));
  ASSERT_TRUE(GrabSprite(52, 630, 470, 20, 20));
  Picture edge;
  ASSERT_TRUE(SpriteToPicture(52, edge));
  EXPECT_TRUE(SameRgb(PixelOf(edge, 9, 9), Packed(Pack(77, 77, 77))));
  EXPECT_EQ(PixelOf(edge, 9, 9).a, 255);
  EXPECT_EQ(PixelOf(edge, 10, 5).a, 0);
  EXPECT_EQ(PixelOf(edge, 15, 15).r, 0);

  // Width or height 0 deletes the sprite and succeeds.
  EXPECT_TRUE(GrabSprite(50, 0, 0, 0, 20));
  EXPECT_EQ(R().sprites[50].pictureWidth, 0);
  EXPECT_EQ(R().sprites[50].textureWidth, -1);
  EXPECT_EQ(R().sprites[50].texture, 0u);
  EXPECT_FALSE(GrabSprite(50, 0, 0, -4, 20));
}

TEST_F(SpriteTest, GetPixelReadsPackedColours) {
  DrawRect(30, 40, 2, 2, Pack(12, 34, 56));
  EXPECT_EQ(GetPixel(30, 40), Pack(12, 34, 56));
  EXPECT_EQ(GetPixel(29, 40), 0);
  // On a turned screen the logical position is read where it was drawn.
  SetOrientation(1);
  DrawPixel(5, 7, Pack(90, 80, 70));
  EXPECT_EQ(GetPixel(5, 7), Pack(90, 80, 70));
  EXPECT_EQ(GetPixel(7, 5), 0);
  // The grab turns with it: the sprite shows the logical picture.
  DrawRect(0, 0, 4, 2, Pack(1, 2, 3));
  DrawPixel(0, 0, Pack(200, 0, 0));
  ASSERT_TRUE(GrabSprite(51, 0, 0, 4, 2));
  Picture back;
  ASSERT_TRUE(SpriteToPicture(51, back));
  EXPECT_TRUE(SameRgb(PixelOf(back, 0, 0), Packed(Pack(200, 0, 0))));
  EXPECT_TRUE(SameRgb(PixelOf(back, 3, 1), Packed(Pack(1, 2, 3))));
  SetOrientation(0);
}

TEST_F(SpriteTest, Collision) {
  Picture solid, half;
  FillPicture(solid, 10, 10, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  // Left half opaque, right half transparent.
  FillPicture(half, 10, 10, [](int32_t x, int32_t) { return Rgba{1, 1, 1, static_cast<uint8_t>(x < 5 ? 255 : 0)}; });
  ASSERT_TRUE(SetSpriteFromPicture(60, solid, false));
  ASSERT_TRUE(SetSpriteFromPicture(61, half, false));
  EXPECT_FALSE(SpriteCollision(60, 0, 0, 60, 10, 0));  // touching edges
  EXPECT_FALSE(SpriteCollision(60, 0, 0, 60, 0, 10));
  EXPECT_TRUE(SpriteCollision(60, 0, 0, 60, 9, 9));
  // Only the transparent half of 61 overlaps.
  EXPECT_FALSE(SpriteCollision(61, 0, 0, 60, 5, 3));
  EXPECT_TRUE(SpriteCollision(61, 0, 0, 60, 4, 3));

  // Frames 0..3 of 8 x 8 in a 16 x 16 picture; only frame 3 has pixels in
  // its top row, only frame 0 anything at all besides.
  Picture frames;
  FillPicture(frames, 16, 16, [](int32_t x, int32_t y) {
    const bool frame3 = x >= 8 && y >= 8;
    const bool frame0 = x < 8 && y < 8;
    return Rgba{1, 1, 1, static_cast<uint8_t>((frame3 && y == 8) || frame0 ? 255 : 0)};
  });
  ASSERT_TRUE(SetSpriteFromPicture(62, frames, false));
  SetSpriteAnim(62, 8, 8);
  Picture dot;
  FillPicture(dot, 1, 1, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(63, dot, false));
  EXPECT_TRUE(AnimCollision(62, 3, 100, 100, 63, 0, 103, 100));
  EXPECT_FALSE(AnimCollision(62, 3, 100, 100, 63, 0, 103, 101));
  EXPECT_FALSE(AnimCollision(62, 1, 100, 100, 63, 0, 103, 100));
  EXPECT_TRUE(AnimCollision(62, 0, 100, 100, 63, 0, 107, 107));
  EXPECT_FALSE(AnimCollision(62, 0, 100, 100, 63, 0, 108, 100));  // outside the frame
  // Re-grabbing a sprite drops its cached mask.
  DrawRect(0, 0, 10, 10, kDefaultSpriteKey);
  ASSERT_TRUE(GrabSprite(60, 0, 0, 10, 10));
  EXPECT_FALSE(SpriteCollision(60, 0, 0, 60, 5, 5));
}

// A frame's rectangle is exact on every side, even where what lies just
// past it is opaque: the neighbouring frames of a fully opaque sheet, and,
// below the last row of frames, the texture rows past the picture. A dot
// one pixel past an edge finds nothing and one on the edge finds the frame;
// the last frame collides and the frame one past it does not.
TEST_F(SpriteTest, AnimCollisionFramesEndAtTheirEdges) {
  Picture sheet, column, dot;
  // 3 x 2 frames of 4 x 3 in a 12 x 6 picture.
  FillPicture(sheet, 12, 6, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  // One column of 3 frames of 16 x 4 in a 16 x 12 picture (a 16 x 16 texture).
  FillPicture(column, 16, 12, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  FillPicture(dot, 1, 1, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(64, sheet, false));
  ASSERT_TRUE(SetSpriteFromPicture(65, column, false));
  ASSERT_TRUE(SetSpriteFromPicture(66, dot, false));
  SetSpriteAnim(64, 4, 3);
  SetSpriteAnim(65, 16, 4);
  struct Probe {
    int32_t dx, dy;
    bool hits;
  };
  const Probe probes[] = {
      {0, 0, true},  {3, 0, true},  {0, 2, true},   {3, 2, true},    // the corners
      {-1, 0, false}, {4, 0, false}, {0, -1, false}, {0, 3, false},  // one past each edge
      {4, 2, false}, {3, 3, false},
  };
  for (int32_t frame = 0; frame < 6; ++frame)
    for (const Probe& p : probes)
      EXPECT_EQ(AnimCollision(64, frame, 100, 100, 66, 0, 100 + p.dx, 100 + p.dy), p.hits)
          << "frame " << frame << " dot at " << p.dx << ", " << p.dy;
  // The whole of a frame against an opaque block as large.
  Picture block;
  FillPicture(block, 16, 4, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(67, block, false));
  for (const auto& [id, frame, hits] : {std::tuple{64, 5, true}, std::tuple{64, 6, false}, std::tuple{64, 8, false},
                                        std::tuple{65, 2, true}, std::tuple{65, 3, false}})
    EXPECT_EQ(AnimCollision(id, frame, 100, 100, 67, 0, 100, 100), hits) << "sprite " << id << " frame " << frame;
}

TEST_F(SpriteTest, ArraysConvertBothWays) {
  BasicArray<int32_t> pixels;
  DimArray(pixels, 6);
  for (int i = 0; i < 6; ++i)
    ArrayElement(pixels, i) = static_cast<int32_t>((i * 40) | (7 << 8) | ((200 - i) << 16) | (static_cast<uint32_t>(i == 4 ? 0 : 255) << 24));
  EXPECT_FALSE(ArrayToSprite(pixels, 70, 4, 2));  // 6 elements are not 4 x 2
  EXPECT_EQ(R().sprites[70].pictureWidth, 0);
  ASSERT_TRUE(ArrayToSprite(pixels, 70, 3, 2));
  EXPECT_EQ(R().sprites[70].pictureWidth, 3);
  BasicArray<int32_t> back;
  ASSERT_TRUE(SpriteToArray(back, 70));
  ASSERT_EQ(back.count, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ArrayElement(back, i), ArrayElement(pixels, i)) << i;

  TempDir dir;
  Picture picture;
  FillPicture(picture, 3, 2, [](int32_t x, int32_t y) { return Opaque(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 5); });
  ASSERT_TRUE(SavePicture(dir.File("a.png").c_str(), picture));
  BasicArray<int32_t> loaded;
  int32_t w = 0, h = 0;
  ASSERT_TRUE(LoadImageToArray(dir.File("a.png").c_str(), loaded, w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(ArrayElement(loaded, 5), static_cast<int32_t>(2 | (1 << 8) | (5 << 16) | 0xFF000000u));
  EXPECT_FALSE(LoadImageToArray(dir.File("none.png").c_str(), loaded, w, h));
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_EQ(w, 0);
}

TEST_F(SpriteTest, BackgroundTilesAndDrawing) {
  SetMaxTextureSizeOverride(1024);
  TempDir dir;
  Picture picture;
  // Distinct colour per 512-pixel tile, so each tile's place can be checked.
  FillPicture(picture, 3000, 2000, [](int32_t x, int32_t y) {
    return Opaque(static_cast<uint8_t>(x / 512 * 40), static_cast<uint8_t>(y / 512 * 60), 77);
  });
  ASSERT_TRUE(SavePicture(dir.File("big.bmp").c_str(), picture));
  ASSERT_TRUE(LoadBackground(dir.File("big.bmp").c_str()));
  EXPECT_EQ(LastErrorCode, 0);
  const BackgroundPicture& b = R().backgrounds[0];
  EXPECT_EQ(b.columns, 6);
  EXPECT_EQ(b.rows, 4);
  int tiles = 0;
  for (int i = 0; i < 64; ++i) tiles += b.tiles[i] != 0;
  EXPECT_EQ(tiles, 24);
  EXPECT_NE(b.tiles[5 * 8 + 3], 0u);
  EXPECT_EQ(b.tileTextureWidth[5 * 8 + 3], 512);
  EXPECT_EQ(b.tilePictureHeight[5 * 8 + 3], 512);
  // The bottom-right tile holds the picture's corner at its top left.
  const std::vector<uint8_t> corner = TextureLevel(b.tiles[5 * 8 + 3], 0);
  EXPECT_EQ(corner[(511 * 512) * 4 + 0], 200);
  EXPECT_EQ(corner[(511 * 512) * 4 + 1], 180);

  // Drawn at once, and behind every presented frame.
  SetMaxTextureSizeOverride(0);
  EXPECT_TRUE(SameRgb(ReadPixels(600, 100, 1, 1)[0], Opaque(40, 0, 77)));
  EXPECT_TRUE(BackgroundPresent(0));
  PresentFrame(R(), nullptr);
  ResetGLState();
  Reset2DDrawState(R());
  EXPECT_TRUE(SameRgb(ReadPixels(100, 300, 1, 1)[0], Opaque(0, 0, 77)));
  EXPECT_TRUE(SameRgb(ReadPixels(530, 470, 1, 1)[0], Opaque(40, 0, 77)));
  // Drawing a background leaves the alpha mode opaque.
  SetAlphaMode(-0.5);
  DrawBackground(0);
  EXPECT_EQ(CachedGLState(kStateBlend), 0);
  EXPECT_FLOAT_EQ(R().globalAlpha, 1.0f);

  ClearScreen(Pack(0, 0, 90));
  EXPECT_FALSE(BackgroundPresent(0));
  EXPECT_TRUE(SameRgb(ReadPixels(100, 100, 1, 1)[0], Opaque(0, 0, 90)));

  // A failed load leaves no background and a black clear colour.
  ASSERT_TRUE(LoadBackground(dir.File("big.bmp").c_str()));
  EXPECT_FALSE(LoadBackground(dir.File("nothing.bmp").c_str()));
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_FALSE(BackgroundPresent(0));
  EXPECT_TRUE(SameRgb(ReadPixels(100, 100, 1, 1)[0], Opaque(0, 0, 0)));
}

TEST_F(SpriteTest, GrabBackgroundCopiesTheWindow) {
  DrawRect(0, 0, 640, 480, Pack(5, 6, 7));
  DrawRect(600, 400, 10, 10, Pack(250, 100, 0));
  GrabBackground();
  const BackgroundPicture& b = R().backgrounds[0];
  // 128 doubled while below 640: 1024 covers the window in one tile.
  EXPECT_EQ(b.columns, 1);
  EXPECT_EQ(b.rows, 1);
  EXPECT_EQ(b.tileTextureWidth[0], 1024);
  EXPECT_EQ(b.tilePictureWidth[0], 640);
  EXPECT_EQ(b.tilePictureHeight[0], 480);
  glClear(GL_COLOR_BUFFER_BIT);
  DrawBackground(0);
  EXPECT_TRUE(SameRgb(ReadPixels(605, 405, 1, 1)[0], Opaque(250, 100, 0)));
  EXPECT_TRUE(SameRgb(ReadPixels(10, 10, 1, 1)[0], Opaque(5, 6, 7)));
  ClearScreen(0);

  // Another record keeps its own copy and is not drawn behind frames.
  DrawRect(0, 0, 640, 480, Pack(60, 0, 60));
  GrabBackground(3);
  EXPECT_TRUE(BackgroundPresent(3));
  EXPECT_FALSE(BackgroundPresent(0));
  glClear(GL_COLOR_BUFFER_BIT);
  DrawBackground(3);
  EXPECT_TRUE(SameRgb(ReadPixels(320, 240, 1, 1)[0], Opaque(60, 0, 60)));
  GrabBackground(8);
  EXPECT_EQ(LastErrorCode, 7);
}

TEST_F(SpriteTest, SaveScreenAndSaveSpriteRoundTrip) {
  TempDir dir;
  for (int i = 0; i < 8; ++i) DrawRect(i * 80, 0, 80, 480, Pack(static_cast<uint8_t>(i * 30), 255 - i * 20, 40));
  DrawRect(100, 100, 50, 30, Pack(1, 2, 3));
  const std::vector<Rgba> screen = ReadPixels(0, 0, 640, 480);
  ASSERT_TRUE(SaveScreen(dir.File("shot.png").c_str()));
  Picture shot;
  ASSERT_TRUE(ReadPNG(shot, dir.File("shot.png").c_str(), -1));
  ASSERT_EQ(shot.width, 640);
  ASSERT_EQ(shot.height, 480);
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x)
      ASSERT_TRUE(SameRgb(PixelOf(shot, x, y), screen[static_cast<size_t>(y) * 640 + x]))
          << x << "," << y << ": " << Describe(PixelOf(shot, x, y));
  // The sprite it used is free again.
  EXPECT_EQ(R().sprites[FindFreeSprite()].pictureWidth, 0);
  EXPECT_FALSE(SaveScreen(dir.File("no/such/folder/shot.png").c_str()));
  EXPECT_EQ(LastErrorCode, 3);

  Picture picture;
  FillPicture(picture, 7, 5, [](int32_t x, int32_t y) {
    return Rgba{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 50), 99, static_cast<uint8_t>(x == 3 ? 0 : 255)};
  });
  ASSERT_TRUE(SetSpriteFromPicture(80, picture, false));
  ASSERT_TRUE(SaveSprite(dir.File("sprite.png").c_str(), 80));
  ASSERT_TRUE(LoadSprite(dir.File("sprite.png").c_str(), 81));
  Picture png;
  ASSERT_TRUE(SpriteToPicture(81, png));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) {
      const Rgba a = PixelOf(picture, x, y), b = PixelOf(png, x, y);
      EXPECT_EQ(b.a, a.a);
      if (a.a != 0) {
        EXPECT_TRUE(SameRgb(a, b)) << x << "," << y;
      }
    }
  // BMP has no alpha: the transparent column comes back through the key.
  ASSERT_TRUE(SaveSprite(dir.File("sprite.bmp").c_str(), 80));
  ASSERT_TRUE(LoadSprite(dir.File("sprite.bmp").c_str(), 82));
  Picture bmp;
  ASSERT_TRUE(SpriteToPicture(82, bmp));
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) {
      const Rgba a = PixelOf(picture, x, y), b = PixelOf(bmp, x, y);
      EXPECT_EQ(b.a, a.a) << x << "," << y;
      if (a.a != 0) {
        EXPECT_TRUE(SameRgb(a, b)) << x << "," << y;
      }
    }
  EXPECT_FALSE(SaveSprite(dir.File("empty.png").c_str(), 83));
  EXPECT_EQ(LastErrorCode, 3);
}

TEST_F(SpriteTest, ReleaseAllTexturesEmptiesTheStore) {
  Picture picture;
  FillPicture(picture, 4, 4, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(90, picture, false));
  ASSERT_TRUE(SetSpriteFromPicture(65000, picture, false));
  GrabBackground();
  const uint32_t font = R().sprites[FONT_SLOT_BASE].texture;
  ReleaseAllTextures();
  EXPECT_EQ(R().sprites[90].texture, 0u);
  EXPECT_EQ(R().sprites[65000].pictureWidth, 0);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE].texture, 0u);
  EXPECT_FALSE(BackgroundPresent(0));
  EXPECT_FALSE(glIsTexture(font));
  BuildDefaultFont(0);
}
