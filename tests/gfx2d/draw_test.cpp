// Rendered output of the primitives, the alpha modes, sprite and animation
// draws, rotation and polygon lists, read back from the back buffer (or from
// a target's sprite where alpha matters: the window has no alpha bits).
#include <cmath>

#include "draw_support.h"

using namespace gfx2d_test;
using testing_support::ReadPixel;
using testing_support::ReadPixels;

namespace {

class DrawTest : public Gfx2dTest {};

Rgba Opaque(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

// Four quadrants of distinct colours; the top-left one has a marker row.
Rgba Quadrants(int32_t x, int32_t y, int32_t w, int32_t h) {
  if (y == 0 && x < w / 2) return Opaque(255, 255, 0);
  if (x < w / 2 && y < h / 2) return Opaque(255, 0, 0);
  if (y < h / 2) return Opaque(0, 255, 0);
  if (x < w / 2) return Opaque(0, 0, 255);
  return Opaque(255, 255, 255);
}

}  // namespace

TEST_F(DrawTest, RectangleWithNegativeSizeCoversTheCornerPixels) {
  const int32_t c = Pack(200, 100, 50);
  DrawRect(10, 10, -5, -5, c);
  const std::vector<Rgba> area = ReadPixels(0, 0, 20, 20);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool inside = x >= 6 && x <= 10 && y >= 6 && y <= 10;
      EXPECT_TRUE(SameRgb(area[y * 20 + x], inside ? Packed(c) : Opaque(0, 0, 0))) << x << "," << y;
    }
  // The plain form covers x .. x + w - 1.
  DrawRect(30, 2, 3, 2, c);
  EXPECT_TRUE(SameRgb(ReadPixel(32, 3), Packed(c)));
  EXPECT_TRUE(SameRgb(ReadPixel(33, 3), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(30, 4), Opaque(0, 0, 0)));
}

TEST_F(DrawTest, PixelsAndLinesIncludingTheEndPoint) {
  DrawPixel(3, 4, Pack(9, 99, 199));
  EXPECT_TRUE(SameRgb(ReadPixel(3, 4), Packed(Pack(9, 99, 199))));
  EXPECT_TRUE(SameRgb(ReadPixel(4, 4), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(3, 5), Opaque(0, 0, 0)));
  DrawLine(20, 30, 29, 30, Pack(255, 255, 255));
  for (int32_t x = 20; x <= 29; ++x) EXPECT_TRUE(SameRgb(ReadPixel(x, 30), Opaque(255, 255, 255))) << x;
  EXPECT_TRUE(SameRgb(ReadPixel(30, 30), Opaque(0, 0, 0)));
  DrawLine(50, 40, 50, 45, Pack(0, 255, 0));
  EXPECT_TRUE(SameRgb(ReadPixel(50, 45), Opaque(0, 255, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(50, 40), Opaque(0, 255, 0)));
  // Primitives draw untextured even right after a sprite draw.
  Picture picture;
  FillPicture(picture, 4, 4, [](int32_t, int32_t) { return Rgba{0, 0, 0, 0}; });
  ASSERT_TRUE(SetSpriteFromPicture(100, picture, false));
  DrawSprite(100, 0, 0);
  DrawRect(60, 60, 2, 2, Pack(1, 250, 3));
  EXPECT_TRUE(SameRgb(ReadPixel(61, 61), Packed(Pack(1, 250, 3))));
}

TEST_F(DrawTest, KeyColouredPrimitivesAreWrittenWithAlphaZero) {
  ASSERT_TRUE(CreateScreen(3, 110, 32, 16));
  UseScreen(3);
  DrawRect(0, 0, 32, 16, Pack(10, 20, 30));
  DrawRect(2, 2, 4, 4, kDefaultSpriteKey);
  DrawPixel(20, 3, kDefaultSpriteKey);
  DrawLine(10, 10, 12, 10, kDefaultSpriteKey);
  EndScreen();
  Picture back;
  ASSERT_TRUE(SpriteToPicture(110, back));
  EXPECT_EQ(PixelOf(back, 0, 0).a, 255);
  EXPECT_EQ(PixelOf(back, 3, 3).a, 0);
  EXPECT_TRUE(SameRgb(PixelOf(back, 3, 3), Opaque(255, 0, 128)));
  EXPECT_EQ(PixelOf(back, 20, 3).a, 0);
  EXPECT_EQ(PixelOf(back, 12, 10).a, 0);
  EXPECT_EQ(PixelOf(back, 13, 10).a, 255);
  // The alpha test is back in force afterwards.
  EXPECT_EQ(CachedGLState(kStateAlphaTest), 1);
  // With another key the same colour is an ordinary one.
  SetTransparentColour(Pack(1, 1, 1));
  UseScreen(3);
  DrawRect(0, 0, 4, 4, kDefaultSpriteKey);
  EndScreen();
  ASSERT_TRUE(SpriteToPicture(110, back));
  EXPECT_EQ(PixelOf(back, 1, 1).a, 255);
  DestroyTarget(R().targets[3]);
}

TEST_F(DrawTest, AlphaModes) {
  DrawRect(0, 0, 100, 10, Pack(200, 0, 0));
  // Half transparency: (200, 0, 0) and (0, 0, 200) meet half way.
  SetAlphaMode(-0.5);
  EXPECT_FLOAT_EQ(R().globalAlpha, 0.5f);
  DrawRect(0, 0, 10, 10, Pack(0, 0, 200));
  const Rgba half = ReadPixel(5, 5);
  EXPECT_NEAR(half.r, 100, 1);
  EXPECT_NEAR(half.b, 100, 1);
  // A blended sprite is modulated by the global alpha as well.
  Picture picture;
  FillPicture(picture, 4, 4, [](int32_t, int32_t) { return Opaque(0, 200, 0); });
  ASSERT_TRUE(SetSpriteFromPicture(120, picture, false));
  DrawSprite(120, 40, 0);
  const Rgba sprite = ReadPixel(41, 1);
  EXPECT_NEAR(sprite.r, 100, 1);
  EXPECT_NEAR(sprite.g, 100, 1);
  // Additive at alpha 1.0 (values above 1 are clamped).
  SetAlphaMode(2);
  EXPECT_FLOAT_EQ(R().globalAlpha, 1.0f);
  DrawRect(20, 0, 10, 10, Pack(0, 30, 200));
  EXPECT_TRUE(SameRgb(ReadPixel(25, 5), Opaque(200, 30, 200)));
  // Opaque at alpha 1.0.
  SetAlphaMode(0);
  EXPECT_FLOAT_EQ(R().globalAlpha, 1.0f);
  EXPECT_EQ(CachedGLState(kStateBlend), 0);
  DrawRect(60, 0, 10, 10, Pack(0, 0, 77));
  EXPECT_TRUE(SameRgb(ReadPixel(65, 5), Opaque(0, 0, 77)));
  SetAlphaMode(-0.25);
  EXPECT_FLOAT_EQ(R().globalAlpha, 0.25f);
}

TEST_F(DrawTest, AlphaTestThreshold) {
  Picture picture;
  FillPicture(picture, 4, 1, [](int32_t x, int32_t) { return Rgba{255, 255, 255, static_cast<uint8_t>(x * 80)}; });
  ASSERT_TRUE(SetSpriteFromPicture(121, picture, false));
  SetSmoothing(0);
  DrawSprite(121, 0, 0);  // default threshold 0.05: alpha 0 is dropped
  EXPECT_TRUE(SameRgb(ReadPixel(0, 0), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(1, 0), Opaque(255, 255, 255)));
  SetAlphaTest(0.5);  // 80 and 160 of 255: only the last two pass
  DrawSprite(121, 0, 2);
  EXPECT_TRUE(SameRgb(ReadPixel(1, 2), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(2, 2), Opaque(255, 255, 255)));
  SetAlphaTest(1.0);  // off: even alpha 0 is drawn
  EXPECT_EQ(CachedGLState(kStateAlphaTest), 0);
  DrawSprite(121, 0, 4);
  EXPECT_TRUE(SameRgb(ReadPixel(0, 4), Opaque(255, 255, 255)));
  // A rectangle re-applies the stored threshold, off included.
  DrawRect(0, 6, 1, 1, kDefaultSpriteKey);
  EXPECT_EQ(CachedGLState(kStateAlphaTest), 0);
}

TEST_F(DrawTest, SpritesDrawTopRowAtTheTop) {
  Picture picture;
  FillPicture(picture, 16, 8, [](int32_t x, int32_t y) { return Quadrants(x, y, 16, 8); });
  ASSERT_TRUE(SetSpriteFromPicture(130, picture, false));
  SetSmoothing(0);
  DrawSprite(130, 100, 50);
  StretchSprite(130, 200, 50, 32, 16);
  const std::vector<Rgba> plain = ReadPixels(100, 50, 16, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 16; ++x)
      ASSERT_TRUE(SameRgb(plain[y * 16 + x], PixelOf(picture, x, y))) << x << "," << y;
  const std::vector<Rgba> stretched = ReadPixels(200, 50, 32, 16);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 32; ++x)
      ASSERT_TRUE(SameRgb(stretched[y * 32 + x], PixelOf(picture, x / 2, y / 2))) << x << "," << y;
  EXPECT_TRUE(SameRgb(ReadPixel(99, 50), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(232, 50), Opaque(0, 0, 0)));
  // Smoothing leaves exact texel centres alone.
  SetSmoothing(1);
  DrawSprite(130, 300, 50);
  EXPECT_TRUE(SameRgb(ReadPixel(300, 50), Opaque(255, 255, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(315, 57), Opaque(255, 255, 255)));
}

TEST_F(DrawTest, SmoothedSpriteOnWholePixelsEqualsThePictureAndBlendsOffThem) {
  Picture picture;
  // Every texel differs from its neighbours, so any blending shows.
  FillPicture(picture, 16, 16, [](int32_t x, int32_t y) {
    return Opaque(static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), static_cast<uint8_t>((x + y) * 8));
  });
  ASSERT_TRUE(SetSpriteFromPicture(131, picture, false));
  SetSmoothing(1);
  DrawSprite(131, 40, 40);
  const std::vector<Rgba> exact = ReadPixels(40, 40, 16, 16);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x)
      ASSERT_TRUE(SameRgb(exact[y * 16 + x], PixelOf(picture, x, y))) << x << "," << y;
  // Half a pixel off, smoothing mixes neighbouring texels.
  DrawSprite(131, 100.5f, 40.5f);
  const Rgba mixed = ReadPixel(108, 48);
  EXPECT_FALSE(SameRgb(mixed, PixelOf(picture, 7, 7), 2)) << Describe(mixed);
  EXPECT_FALSE(SameRgb(mixed, PixelOf(picture, 8, 8), 2)) << Describe(mixed);
  // The texture keeps the filter the smoothing flag asks for.
  DrawSprite(131, 40, 40);
  StretchSprite(131, 200, 40, 32, 32);
  GLint filter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_LINEAR);
}

TEST_F(DrawTest, ZoomGrowsAboutTheCentre) {
  Picture picture;
  FillPicture(picture, 10, 10, [](int32_t, int32_t) { return Opaque(0, 0, 255); });
  ASSERT_TRUE(SetSpriteFromPicture(131, picture, false));
  SetSmoothing(0);
  ZoomSprite(131, 100, 100, 2.0, 2.0);  // 20 x 20 from (95, 95)
  EXPECT_TRUE(SameRgb(ReadPixel(95, 95), Opaque(0, 0, 255)));
  EXPECT_TRUE(SameRgb(ReadPixel(114, 114), Opaque(0, 0, 255)));
  EXPECT_TRUE(SameRgb(ReadPixel(94, 100), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(115, 100), Opaque(0, 0, 0)));
}

TEST_F(DrawTest, AnimationFramesLandWhereTheLayoutSays) {
  // 3 columns x 2 rows of 8 x 6 frames, each frame one colour.
  const Rgba colours[6] = {Opaque(255, 0, 0), Opaque(0, 255, 0), Opaque(0, 0, 255),
                           Opaque(255, 255, 0), Opaque(0, 255, 255), Opaque(255, 0, 255)};
  Picture picture;
  FillPicture(picture, 24, 12, [&](int32_t x, int32_t y) { return colours[(y / 6) * 3 + x / 8]; });
  ASSERT_TRUE(SetSpriteFromPicture(140, picture, false));
  SetSmoothing(0);
  DrawAnim(140, 4, 10, 10);  // nothing yet: no frame size
  EXPECT_TRUE(SameRgb(ReadPixel(12, 12), Opaque(0, 0, 0)));
  SetSpriteAnim(140, 8, 6);
  for (int frame = 0; frame < 6; ++frame) {
    DrawAnim(140, frame, 10 + frame * 20, 10);
    const std::vector<Rgba> area = ReadPixels(10 + frame * 20, 10, 8, 6);
    for (const Rgba& p : area) ASSERT_TRUE(SameRgb(p, colours[frame])) << "frame " << frame;
    EXPECT_TRUE(SameRgb(ReadPixel(18 + frame * 20, 10), Opaque(0, 0, 0)));
  }
  StretchAnim(140, 5, 10, 40, 16, 12);
  EXPECT_TRUE(SameRgb(ReadPixel(10, 40), colours[5]));
  EXPECT_TRUE(SameRgb(ReadPixel(25, 51), colours[5]));
  RotoZoomAnim(140, 2, 100, 40, 0, 1.0);
  EXPECT_TRUE(SameRgb(ReadPixel(103, 42), colours[2]));
  // A frame of a sprite without animation size is not drawn.
  SetSpriteAnim(140, 0, 6);
  DrawAnim(140, 1, 200, 40);
  EXPECT_TRUE(SameRgb(ReadPixel(202, 42), Opaque(0, 0, 0)));
  // An id that holds nothing keeps its (absent) frame size.
  SetSpriteAnim(141, 8, 8);
  EXPECT_EQ(R().sprites[141].frameWidth, 0);
}

TEST_F(DrawTest, RotationBy90DegreesTurnsThePicture) {
  Picture picture;
  FillPicture(picture, 16, 16, [](int32_t x, int32_t y) { return Quadrants(x, y, 16, 16); });
  ASSERT_TRUE(SetSpriteFromPicture(150, picture, false));
  SetSmoothing(0);
  RotoZoomSprite(150, 200, 100, 90, 1.0);
  // Angles turn against the clock on screen: screen (i, j) shows picture
  // (15 - j, i).
  const std::vector<Rgba> area = ReadPixels(200, 100, 16, 16);
  int checked = 0;
  for (int32_t j = 1; j < 15; ++j)
    for (int32_t i = 1; i < 15; ++i) {
      ASSERT_TRUE(SameRgb(area[j * 16 + i], PixelOf(picture, 15 - j, i)))
          << i << "," << j << " " << Describe(area[j * 16 + i]);
      ++checked;
    }
  EXPECT_EQ(checked, 196);
  // Zoom 2 doubles the turned picture about the same centre.
  RotoZoomSprite(150, 400, 100, 0, 2.0);
  EXPECT_TRUE(SameRgb(ReadPixel(393, 93), Opaque(255, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(422, 122), Opaque(255, 255, 255)));
  // The animation form turns the same way as the sprite form.
  SetSpriteAnim(150, 16, 16);
  RotoZoomAnim(150, 0, 300, 100, 90, 1.0);
  const std::vector<Rgba> anim = ReadPixels(300, 100, 16, 16);
  for (int32_t j = 2; j < 14; ++j)
    for (int32_t i = 2; i < 14; ++i) ASSERT_TRUE(SameRgb(anim[j * 16 + i], area[j * 16 + i])) << i << "," << j;
}

TEST_F(DrawTest, PolygonLists) {
  // Two separate triangles in one list, coloured per vertex.
  BeginPoly(-1, 1);
  AddPolyVertex(10, 10, 0, 0, Pack(255, 0, 0));
  AddPolyVertex(50, 10, 0, 0, Pack(255, 0, 0));
  AddPolyVertex(10, 50, 0, 0, Pack(255, 0, 0));
  AddPolyVertex(60, 60, 0, 0, Pack(0, 0, 255));
  AddPolyVertex(90, 60, 0, 0, Pack(0, 0, 255));
  AddPolyVertex(60, 90, 0, 0, Pack(0, 0, 255));
  EndPoly();
  EXPECT_TRUE(SameRgb(ReadPixel(15, 15), Opaque(255, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(45, 45), Opaque(0, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(63, 63), Opaque(0, 0, 255)));

  // A textured strip: texel coordinates with ty from the picture's top.
  Picture picture;
  FillPicture(picture, 16, 16, [](int32_t x, int32_t y) { return Quadrants(x, y, 16, 16); });
  ASSERT_TRUE(SetSpriteFromPicture(160, picture, false));
  SetSmoothing(0);
  BeginPoly(160, 2);
  AddPolyVertex(200, 200, 0, 16, 0xFFFFFF);
  AddPolyVertex(200, 168, 0, 0, 0xFFFFFF);
  AddPolyVertex(232, 200, 16, 16, 0xFFFFFF);
  AddPolyVertex(232, 168, 16, 0, 0xFFFFFF);
  // A second strip, joined by repeated vertices without drawing between.
  NewPolyStrip();
  AddPolyVertex(300, 200, 0, 16, 0xFFFFFF);
  AddPolyVertex(300, 168, 0, 0, 0xFFFFFF);
  AddPolyVertex(332, 200, 16, 16, 0xFFFFFF);
  AddPolyVertex(332, 168, 16, 0, 0xFFFFFF);
  EXPECT_EQ(R().polyCount, 10);
  EndPoly();
  EXPECT_TRUE(SameRgb(ReadPixel(201, 170), Opaque(255, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(230, 198), Opaque(255, 255, 255)));
  EXPECT_TRUE(SameRgb(ReadPixel(301, 170), Opaque(255, 0, 0)));
  EXPECT_TRUE(SameRgb(ReadPixel(266, 185), Opaque(0, 0, 0)));  // between the strips
}

TEST_F(DrawTest, TextureBindingUnits) {
  Picture picture;
  FillPicture(picture, 4, 4, [](int32_t, int32_t) { return Opaque(1, 2, 3); });
  ASSERT_TRUE(SetSpriteFromPicture(170, picture, false));
  ASSERT_TRUE(SetSpriteFromPicture(171, picture, false));
  auto boundOn = [](GLenum unit) {
    GLint name = 0;
    if (gl::ActiveTextureARB != nullptr) gl::ActiveTextureARB(unit);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    const bool enabled = glIsEnabled(GL_TEXTURE_2D);
    if (gl::ActiveTextureARB != nullptr) gl::ActiveTextureARB(GL_TEXTURE0);
    return enabled ? name : -1;
  };
  BindSpriteTexture(170, -1);
  EXPECT_EQ(boundOn(GL_TEXTURE0), static_cast<GLint>(R().sprites[170].texture));
  EXPECT_EQ(R().boundSprite, 170);
  BindSpriteTexture(170, 171, 1);
  EXPECT_EQ(boundOn(GL_TEXTURE0), static_cast<GLint>(R().sprites[171].mipTexture));
  if (gl::ActiveTextureARB != nullptr) {
    // Two textures: the second id on unit 0, the first on unit 1.
    EXPECT_EQ(boundOn(GL_TEXTURE1), static_cast<GLint>(R().sprites[170].mipTexture));
  }
  const uint32_t table[3] = {0, R().sprites[171].texture, 0};
  BindSpriteTexture(1, -1, 0, table);
  EXPECT_EQ(boundOn(GL_TEXTURE0), static_cast<GLint>(R().sprites[171].texture));
  BindSpriteTexture(-1, -1);
  EXPECT_EQ(boundOn(GL_TEXTURE0), -1);
  EXPECT_EQ(boundOn(GL_TEXTURE1), -1);
  EXPECT_EQ(R().boundSprite, -1);
}
