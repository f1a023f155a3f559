// Off-screen targets: sizes, failures and their log lines, drawing into a
// sprite, switching between targets, the back-buffer path and the end of a
// target at frame presentation.
#include "draw_support.h"

using namespace gfx2d_test;
using testing_support::ReadPixel;
using testing_support::ReadPixels;

namespace {

class TargetTest : public Gfx2dTest {
 protected:
  void TearDown() override {
    Gfx2dTest::TearDown();
    for (RenderTarget& t : R().targets) DestroyTarget(t);
  }
};

Rgba Opaque(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

}  // namespace

TEST_F(TargetTest, CreateScreenSizes) {
  ASSERT_TRUE(FramebufferSupported());
  ASSERT_TRUE(CreateScreen(0, 5, 100, 60));
  const SpriteRecord& s = R().sprites[5];
  EXPECT_EQ(s.textureWidth, 128);
  EXPECT_EQ(s.textureHeight, 64);
  EXPECT_EQ(s.pictureWidth, 100);
  EXPECT_EQ(s.pictureHeight, 60);
  EXPECT_FLOAT_EQ(s.uScale, 0.78125f);
  EXPECT_FLOAT_EQ(s.vScale, 0.9375f);
  const RenderTarget& t = R().targets[0];
  EXPECT_NE(t.framebuffer, 0u);
  EXPECT_NE(t.depthBuffer, 0u);
  EXPECT_EQ(t.savedBinding, -1);
  EXPECT_EQ(t.width, 128);
  EXPECT_EQ(t.height, 64);
  EXPECT_EQ(t.spriteId, 5);
  // Small sizes get the same power of two as any texture (at least 16).
  ASSERT_TRUE(CreateScreen(1, 6, 5, 3));
  EXPECT_EQ(R().sprites[6].textureWidth, 16);
  EXPECT_EQ(R().targets[1].width, 16);
}

TEST_F(TargetTest, FailuresLogAndDeleteTheSprite) {
  Picture picture;
  FillPicture(picture, 4, 4, [](int32_t, int32_t) { return Opaque(1, 1, 1); });
  ASSERT_TRUE(SetSpriteFromPicture(7, picture, false));
  EXPECT_FALSE(CreateScreen(0, 7, 0, 60));
  EXPECT_NE(RunLog().find("can't create FBO for neg dims 0x60\n"), std::string::npos) << RunLog();
  EXPECT_EQ(R().sprites[7].pictureWidth, 0);
  EXPECT_EQ(R().sprites[7].texture, 0u);
  EXPECT_EQ(R().targets[0].framebuffer, 0u);
  EXPECT_FALSE(CreateScreen(32, 7, 10, 10));
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_FALSE(CreateScreen(-1, 7, 10, 10));
  EXPECT_FALSE(CreateScreen(1, kSpriteCount, 10, 10));
  // Binding a record twice is refused with its log line.
  ASSERT_TRUE(CreateScreen(2, 8, 16, 16));
  ASSERT_TRUE(BindTarget(R().targets[2]));
  EXPECT_FALSE(BindTarget(R().targets[2]));
  EXPECT_NE(RunLog().find("Trying to rebind the same FBO again. Need to end first\n"), std::string::npos);
  UnbindTarget(R().targets[2]);
  EXPECT_EQ(CurrentFramebuffer(), 0u);
}

TEST_F(TargetTest, DrawingGoesIntoTheSprite) {
  ASSERT_TRUE(CreateScreen(0, 5, 100, 60));
  DrawRect(0, 0, 200, 100, Pack(9, 9, 9));  // the window, underneath
  UseScreen(0);
  EXPECT_EQ(R().currentTarget, 0);
  EXPECT_EQ(CurrentFramebuffer(), R().targets[0].framebuffer);
  EXPECT_EQ(AttachedTexture(), R().sprites[5].texture);
  int32_t w = 0, h = 0;
  GetScreenSize(&w, &h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 60);
  DrawRect(0, 0, 100, 60, Pack(200, 10, 10));
  DrawRect(10, 5, 20, 10, Pack(10, 200, 10));
  DrawPixel(99, 59, Pack(1, 2, 250));
  EXPECT_EQ(GetPixel(10, 5), Pack(10, 200, 10));
  EXPECT_EQ(GetPixel(99, 59), Pack(1, 2, 250));
  EndScreen();
  EXPECT_EQ(R().currentTarget, -1);
  EXPECT_EQ(CurrentFramebuffer(), 0u);
  EXPECT_EQ(AttachedTexture(), 0u);
  GetScreenSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(R().viewportWidth, 640);

  Picture back;
  ASSERT_TRUE(SpriteToPicture(5, back));
  ASSERT_EQ(back.width, 100);
  ASSERT_EQ(back.height, 60);
  EXPECT_TRUE(SameRgb(PixelOf(back, 0, 0), Opaque(200, 10, 10)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 10, 5), Opaque(10, 200, 10)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 29, 14), Opaque(10, 200, 10)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 30, 14), Opaque(200, 10, 10)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 99, 59), Opaque(1, 2, 250)));
  // The window was not drawn on.
  EXPECT_TRUE(SameRgb(ReadPixel(15, 8), Opaque(9, 9, 9)));
  // The sprite draws what was drawn, top row at the top.
  SetSmoothing(0);
  DrawSprite(5, 300, 300);
  EXPECT_TRUE(SameRgb(ReadPixel(310, 305), Opaque(10, 200, 10)));
  EXPECT_TRUE(SameRgb(ReadPixel(300, 300), Opaque(200, 10, 10)));
  EXPECT_TRUE(SameRgb(ReadPixel(399, 359), Opaque(1, 2, 250)));
}

TEST_F(TargetTest, GrabInsideATargetCopiesDirectly) {
  // A target has alpha bits of its own: the grab copies on the GL side and
  // keeps alpha as drawn (no key detection).
  ASSERT_TRUE(CreateScreen(0, 5, 64, 32));
  UseScreen(0);
  DrawRect(0, 0, 64, 32, Pack(0, 90, 0));
  DrawRect(4, 2, 6, 3, Pack(200, 0, 0));
  DrawRect(20, 10, 4, 4, kDefaultSpriteKey);
  ASSERT_TRUE(GrabSprite(9, 2, 1, 30, 20));
  EndScreen();
  Picture back;
  ASSERT_TRUE(SpriteToPicture(9, back));
  ASSERT_EQ(back.width, 30);
  ASSERT_EQ(back.height, 20);
  EXPECT_TRUE(SameRgb(PixelOf(back, 2, 1), Opaque(200, 0, 0)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 1, 1), Opaque(0, 90, 0)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 7, 3), Opaque(200, 0, 0)));
  EXPECT_TRUE(SameRgb(PixelOf(back, 8, 4), Opaque(0, 90, 0)));
  EXPECT_EQ(PixelOf(back, 19, 10).a, 0);
  EXPECT_EQ(PixelOf(back, 17, 10).a, 255);
}

TEST_F(TargetTest, SwitchingTargetsEndsTheCurrentOne) {
  ASSERT_TRUE(CreateScreen(0, 5, 32, 32));
  ASSERT_TRUE(CreateScreen(1, 6, 32, 32));
  UseScreen(0);
  DrawRect(0, 0, 32, 32, Pack(50, 0, 0));
  UseScreen(1);
  EXPECT_EQ(R().currentTarget, 1);
  EXPECT_EQ(R().targets[0].savedBinding, -1);  // target 0 ended
  EXPECT_EQ(R().targets[1].savedBinding, 0);   // bound over the window
  EXPECT_EQ(CurrentFramebuffer(), R().targets[1].framebuffer);
  DrawRect(0, 0, 32, 32, Pack(0, 60, 0));
  UseScreen(-1);
  EXPECT_EQ(R().currentTarget, -1);
  EXPECT_EQ(CurrentFramebuffer(), 0u);
  Picture a, b;
  ASSERT_TRUE(SpriteToPicture(5, a));
  ASSERT_TRUE(SpriteToPicture(6, b));
  EXPECT_TRUE(SameRgb(PixelOf(a, 5, 5), Opaque(50, 0, 0)));
  EXPECT_TRUE(SameRgb(PixelOf(b, 5, 5), Opaque(0, 60, 0)));

  // A number past the table, or a record never created, leaves drawing on
  // the window and touches nothing.
  const RenderTarget untouched = R().targets[9];
  UseScreen(0);
  UseScreen(40);
  EXPECT_EQ(R().currentTarget, -1);
  UseScreen(9);
  EXPECT_EQ(R().currentTarget, -1);
  EXPECT_EQ(R().targets[9].spriteId, untouched.spriteId);
  EXPECT_EQ(R().targets[9].framebuffer, 0u);
  // UseScreen(-1) without a target only resets the viewport.
  ApplyViewport(10, 10, 50, 50);
  UseScreen(-1);
  EXPECT_EQ(R().viewportWidth, 640);
  EXPECT_EQ(R().viewportHeight, 480);
}

TEST_F(TargetTest, PresentingAFrameEndsTheTarget) {
  ASSERT_TRUE(CreateScreen(0, 5, 32, 32));
  UseScreen(0);
  DrawRect(0, 0, 32, 32, Pack(70, 70, 0));
  PresentFrame(R(), nullptr);
  EXPECT_EQ(R().currentTarget, -1);
  EXPECT_EQ(CurrentFramebuffer(), 0u);
  ResetGLState();
  Reset2DDrawState(R());
  DrawRect(0, 0, 8, 8, Pack(0, 0, 99));
  EXPECT_TRUE(SameRgb(ReadPixel(3, 3), Opaque(0, 0, 99)));
  Picture back;
  ASSERT_TRUE(SpriteToPicture(5, back));
  EXPECT_TRUE(SameRgb(PixelOf(back, 3, 3), Opaque(70, 70, 0)));
}

TEST_F(TargetTest, BackBufferPathRestoresTheWindow) {
  ASSERT_TRUE(CreateScreen(0, 5, 40, 30));
  // Something on the window to keep, and something already in the target.
  for (int i = 0; i < 10; ++i) DrawRect(i * 10, 0, 10, 100, Pack(static_cast<uint8_t>(20 * i), 100, 200 - 20 * i));
  UseScreen(0);
  DrawRect(30, 20, 10, 10, Pack(0, 0, 250));
  EndScreen();
  const std::vector<Rgba> window = ReadPixels(0, 0, 100, 100);

  ForceBackBufferTargets(true);
  UseScreen(0);
  EXPECT_EQ(R().currentTarget, 0);
  EXPECT_TRUE(R().targetOnBackBuffer);
  EXPECT_EQ(CurrentFramebuffer(), 0u);
  EXPECT_EQ(R().sprites[kBackBufferSprite].pictureWidth, 40);
  DrawRect(2, 3, 5, 4, Pack(250, 250, 0));
  EndScreen();
  EXPECT_EQ(R().currentTarget, -1);

  const std::vector<Rgba> after = ReadPixels(0, 0, 100, 100);
  for (size_t i = 0; i < after.size(); ++i)
    ASSERT_TRUE(SameRgb(after[i], window[i])) << "pixel " << i % 100 << "," << i / 100 << ": " << Describe(after[i]);
  Picture back;
  ASSERT_TRUE(SpriteToPicture(5, back));
  EXPECT_TRUE(SameRgb(PixelOf(back, 2, 3), Opaque(250, 250, 0)));
  EXPECT_EQ(PixelOf(back, 2, 3).a, 255);
  EXPECT_TRUE(SameRgb(PixelOf(back, 35, 25), Opaque(0, 0, 250)));  // kept from before
  EXPECT_EQ(PixelOf(back, 20, 20).a, 0);                            // never drawn: transparent
}

TEST_F(TargetTest, ViewportSetWhileABackBufferTargetIsActiveStaysOnTheTarget) {
  ASSERT_TRUE(CreateScreen(0, 5, 40, 30));
  ForceBackBufferTargets(true);
  UseScreen(0);
  ASSERT_TRUE(R().targetOnBackBuffer);
  SetViewport(0, 0, 0, 0);  // the whole target again
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  // The target's area is the window's top left corner.
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], R().clientHeight - 30);
  EXPECT_EQ(viewport[2], 40);
  EXPECT_EQ(viewport[3], 30);
  DrawRect(1, 2, 3, 3, Pack(0, 250, 0));
  EndScreen();
  Picture back;
  ASSERT_TRUE(SpriteToPicture(5, back));
  EXPECT_TRUE(SameRgb(PixelOf(back, 2, 3), Opaque(0, 250, 0))) << Describe(PixelOf(back, 2, 3));
}

TEST_F(TargetTest, ShutdownDestroysEveryRecord) {
  ASSERT_TRUE(CreateScreen(0, 5, 16, 16));
  ASSERT_TRUE(CreateScreen(31, 6, 16, 16));
  UseScreen(31);
  EndScreen();
  DestroyAllTargets();
  for (const RenderTarget& t : R().targets) {
    EXPECT_EQ(t.framebuffer, 0u);
    EXPECT_EQ(t.spriteId, -1);
    EXPECT_EQ(t.savedBinding, -1);
  }
  EXPECT_EQ(CurrentFramebuffer(), 0u);
  UseScreen(0);  // a destroyed record is never drawn into
  EXPECT_EQ(R().currentTarget, -1);
}
