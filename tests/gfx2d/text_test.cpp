// Fonts and text: the built-in font's pixels, loaded fonts' glyph
// measurement (proportional spacing, the j rule, the 128-glyph fold), the
// string terminator, the QuadList and 3D text.
#include <cstring>

#include "draw_support.h"

using namespace gfx2d_test;
using testing_support::ReadPixel;
using testing_support::ReadPixels;
using testing_support::TempDir;

namespace {

class TextTest : public Gfx2dTest {};

// The built-in glyph of 'A' (code 65) as the font table gives it.
constexpr uint32_t kWordA = 0x00A5394E;

enum CellPixel { kClear, kLit, kOutline };

// The 8 x 8 cell of a built-in glyph: lit pixels one in from the top left,
// a dark outline around them within columns 0..6.
std::vector<CellPixel> ExpectedCell(uint32_t word) {
  auto lit = [&](int cx, int cy) {
    const int k = cx - 1, r = cy - 1;
    return k >= 0 && k < 5 && r >= 0 && r < 6 && ((word >> (r * 5 + k)) & 1);
  };
  std::vector<CellPixel> cell(64, kClear);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 7; ++x) {
      if (lit(x, y))
        cell[y * 8 + x] = kLit;
      else if (lit(x - 1, y) || lit(x + 1, y) || lit(x, y - 1) || lit(x, y + 1))
        cell[y * 8 + x] = kOutline;
    }
  return cell;
}

Rgba Expected(CellPixel p, const Rgba& background) {
  if (p == kLit) return Rgba{255, 255, 255, 255};
  if (p == kOutline) return Rgba{8, 8, 8, 255};
  return background;
}

// A 128 x 64 font picture with alpha: 'A' five columns wide, 'j' three
// columns wide starting at column 2, 'W' filling its cell, the rest empty.
void WriteTestFont(const std::string& file) {
  Picture picture;
  FillPicture(picture, 128, 64, [](int32_t x, int32_t y) {
    const int code = (y / 8) * 16 + x / 8;
    const int cx = x % 8, cy = y % 8;
    bool on = false;
    if (code == 'A') on = cx < 5 && cy >= 1 && cy <= 6;
    if (code == 'j') on = cx >= 2 && cx <= 4 && cy >= 2;
    if (code == 'W') on = cy == 3;
    return on ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
  });
  ASSERT_TRUE(SavePicture(file.c_str(), picture));
}

bool Lit(int32_t x, int32_t y) { return ReadPixel(x, y).r == 255; }

}  // namespace

TEST_F(TextTest, StartUpLeavesTheBuiltInFontCurrent) {
  // No start-up font file lies beside the test program: font 0 is the
  // built-in one and current.
  EXPECT_EQ(R().currentFont, 0);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE].pictureWidth, 128);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE].pictureHeight, 64);
  EXPECT_EQ(R().glyphs[0]['W'].advance, 8);
}

TEST_F(TextTest, DefaultFontDrawsTheTableGlyphWithItsOutline) {
  const Rgba background{0, 0, 200, 255};
  ClearScreen(Pack(0, 0, 200));
  BuildDefaultFont(1);
  SetFont(1);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE + 1].pictureWidth, 128);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE + 1].pictureHeight, 64);
  PrintText("A", 19.2f, 20.5f, 0);  // rounded up to (20, 21)
  const std::vector<CellPixel> cell = ExpectedCell(kWordA);
  const std::vector<Rgba> drawn = ReadPixels(20, 21, 8, 8);
  int lit = 0, outline = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const CellPixel p = cell[y * 8 + x];
      lit += p == kLit;
      outline += p == kOutline;
      EXPECT_TRUE(SameRgb(drawn[y * 8 + x], Expected(p, background))) << x << "," << y << " " << Describe(drawn[y * 8 + x]);
    }
  EXPECT_GT(lit, 10);
  EXPECT_GT(outline, 10);
  EXPECT_TRUE(SameRgb(ReadPixel(19, 22), background));
  // Fixed width even when proportional spacing is asked for.
  EXPECT_EQ(GetTextWidth("AAA", 1), 24);
  EXPECT_EQ(GetTextWidth("AAA", 0), 24);
  PrintText("AA", 40, 21, 1);
  const std::vector<Rgba> second = ReadPixels(48, 21, 8, 8);
  for (int i = 0; i < 64; ++i) EXPECT_TRUE(SameRgb(second[i], Expected(cell[i], background))) << i;
  int32_t w = 0, h = 0;
  GetFontSize(w, h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 8);
}

TEST_F(TextTest, ProportionalFontSpacesByTheWidthOfJ) {
  TempDir dir;
  WriteTestFont(dir.File("font.png"));
  ASSERT_TRUE(LoadFont(dir.File("font.png").c_str(), 2));
  EXPECT_EQ(R().currentFont, 2);
  const GlyphRecord* g = R().glyphs[2];
  // j: three columns from column 2, plus one of spacing.
  EXPECT_EQ(g['j'].left, 2);
  EXPECT_EQ(g['j'].advance, 4);
  EXPECT_FLOAT_EQ(g['j'].u0, (10 * 8 + 2) / 128.0f);
  EXPECT_EQ(g[' '].advance, 4);
  EXPECT_EQ(g[' '].left, 0);
  EXPECT_FLOAT_EQ(g[' '].u0, 0.0f);
  EXPECT_FLOAT_EQ(g[' '].u1, 4 / 128.0f);
  EXPECT_EQ(g['A'].advance, 6);
  EXPECT_EQ(g['W'].advance, 8);  // a full cell gets no extra column
  EXPECT_EQ(g['B'].advance, 8);  // an empty cell advances a whole cell
  EXPECT_EQ(g['A' + 128].advance, 6);
  EXPECT_EQ(g[' ' + 128].advance, 4);

  PrintText("A A", 100, 100, 1);
  EXPECT_TRUE(Lit(100, 103));
  EXPECT_TRUE(Lit(104, 103));
  EXPECT_FALSE(Lit(105, 103));
  EXPECT_FALSE(Lit(109, 103));
  EXPECT_TRUE(Lit(110, 103));  // 6 for A, 4 for the space
  EXPECT_TRUE(Lit(114, 103));
  EXPECT_FALSE(Lit(115, 103));
  EXPECT_EQ(GetTextWidth("A A", 1), 16);
  EXPECT_EQ(GetTextWidth("A A", 0), 24);
}

TEST_F(TextTest, Byte128EndsTheStringInA128GlyphFont) {
  TempDir dir;
  WriteTestFont(dir.File("font.png"));
  ASSERT_TRUE(LoadFont(dir.File("font.png").c_str(), 3));
  PrintText("A\x80" "A", 100, 100, 0);
  PrintText("A\x80" "A", 100, 120, 1);
  EXPECT_TRUE(Lit(102, 103));
  EXPECT_TRUE(Lit(102, 123));
  for (int32_t x = 106; x < 130; ++x) {
    EXPECT_FALSE(Lit(x, 103)) << x;
    EXPECT_FALSE(Lit(x, 123)) << x;
  }
  // Bytes above 127 fold back: 0xC1 draws 'A'.
  PrintText("\xC1", 100, 140, 0);
  EXPECT_TRUE(Lit(102, 143));
  // The width counts every byte up to the terminator: A, the copy of glyph 0
  // (an empty cell: a whole cell) and A.
  EXPECT_EQ(GetTextWidth("A\x80" "A", 1), 6 + 8 + 6);
}

TEST_F(TextTest, FontPictureLayouts) {
  TempDir dir;
  Picture wide, square, tall;
  // 256 x 128: 128 glyphs of 16 x 16. A picture at least as wide as it is
  // tall holds 128 glyphs, so 256 x 256 has cells of 16 x 32. A taller one,
  // 128 x 256, holds 256 glyphs of 8 x 16.
  FillPicture(wide, 256, 128, [](int32_t x, int32_t y) {
    return (y / 16) * 16 + x / 16 == 'A' ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
  });
  FillPicture(square, 256, 256, [](int32_t, int32_t) { return Rgba{0, 0, 0, 0}; });
  FillPicture(tall, 128, 256, [](int32_t x, int32_t y) {
    return (y / 16) * 16 + x / 8 == 200 && x % 8 < 5 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
  });
  ASSERT_TRUE(SavePicture(dir.File("wide.png").c_str(), wide));
  ASSERT_TRUE(SavePicture(dir.File("square.png").c_str(), square));
  ASSERT_TRUE(SavePicture(dir.File("tall.png").c_str(), tall));
  ASSERT_TRUE(LoadFont(dir.File("wide.png").c_str(), 4));
  int32_t w = 0, h = 0;
  GetFontSize(w, h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 16);
  EXPECT_EQ(R().glyphs[4]['A'].advance, 16);
  EXPECT_EQ(R().glyphs[4]['A' + 128].advance, 16);
  ASSERT_TRUE(LoadFont(dir.File("square.png").c_str(), 5));
  GetFontSize(w, h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 32);
  ASSERT_TRUE(LoadFont(dir.File("tall.png").c_str(), 5));
  GetFontSize(w, h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 16);
  EXPECT_EQ(R().glyphs[5][200].advance, 6);
  EXPECT_EQ(R().glyphs[5][72].advance, 8);  // no fold: 200 - 128 is its own glyph
  PrintText("\xC8", 300, 300, 0);
  EXPECT_TRUE(Lit(300, 300));
  EXPECT_TRUE(Lit(304, 315));
  EXPECT_FALSE(Lit(305, 301));
  EXPECT_FALSE(Lit(300, 316));
}

TEST_F(TextTest, LoadFontFailuresAndIndexes) {
  SetFont(0);
  EXPECT_FALSE(LoadFont("no-such-font.png", 6));
  EXPECT_EQ(LastErrorCode, 3);
  EXPECT_EQ(R().currentFont, 6);
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE + 6].pictureWidth, 128);  // the built-in font
  EXPECT_EQ(R().glyphs[6]['x'].advance, 8);

  LastErrorCode = 0;
  EXPECT_FALSE(LoadFont("no-such-font.png", 40));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_EQ(R().currentFont, 6);
  SetFont(32);
  EXPECT_EQ(LastErrorCode, 7);
  SetFont(-1);
  EXPECT_EQ(R().currentFont, 6);
  EXPECT_FALSE(LoadFont("", 6));
  EXPECT_EQ(R().sprites[FONT_SLOT_BASE + 6].pictureWidth, 0);
  PrintText("nothing to draw with", 0, 0, 0);  // an empty slot draws nothing
  EXPECT_TRUE(SameRgb(ReadPixel(2, 2), Rgba{0, 0, 0, 255}));
  SetFont(0);

  DeleteSprite(FONT_SLOT_BASE + 31);
  EXPECT_EQ(FindFreeFont(), 31);
  BuildDefaultFont(31);
  EXPECT_LT(FindFreeFont(), 31);
  BuildDefaultFont(99);
  EXPECT_EQ(LastErrorCode, 7);
}

TEST_F(TextTest, EmptyStringLeavesTheQuadListUntouched) {
  BuildDefaultFont(1);
  SetFont(1);
  PrintText("Hello", 0, 0, 0);
  const QuadList before = R().quads;
  EXPECT_EQ(before.count, 20);
  EXPECT_GT(before.capacity, 20);
  PrintText("", 10, 10, 0);
  PrintText(BasicString(), 10, 10, 1);
  EXPECT_EQ(R().quads.vertices, before.vertices);
  EXPECT_EQ(R().quads.count, before.count);
  EXPECT_EQ(R().quads.capacity, before.capacity);
  // A long string grows the list past four vertices per character.
  const std::string line(700, 'x');
  PrintText(line.c_str(), 0, 40, 0);
  EXPECT_GT(R().quads.capacity, 2800);
  EXPECT_EQ(R().quads.count, 2800);
}

TEST_F(TextTest, Text3DInBothForms) {
  const Rgba black{0, 0, 0, 255};
  BuildDefaultFont(1);
  const std::vector<CellPixel> cell = ExpectedCell(kWordA);
  // Projected point: the default 2D projection puts (100, 100) at pixel
  // (100, 100); one glyph is centred on it with its lower edge there.
  PrintText3D(1, "A", 100, 100, 0, 0, 0);
  const std::vector<Rgba> flat = ReadPixels(96, 92, 8, 8);
  for (int i = 0; i < 64; ++i) EXPECT_TRUE(SameRgb(flat[i], Expected(cell[i], black))) << i;

  // In space: y up, identity camera; size 16 makes each texel 2 x 2 pixels,
  // centred on (200, 200).
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 640, 0, 480, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  SwitchGLState(kStateCullFace, true);
  PrintText3D(1, "A", 200, 200, 0, 16, 0);
  EXPECT_EQ(CachedGLState(kStateCullFace), 1);  // restored
  SwitchGLState(kStateCullFace, false);
  const std::vector<Rgba> big = ReadPixels(192, 272, 16, 16);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_TRUE(SameRgb(big[(2 * y + 1) * 16 + 2 * x + 1], Expected(cell[y * 8 + x], black))) << x << "," << y;
  ResetGLState();
  Reset2DDrawState(R());
}
