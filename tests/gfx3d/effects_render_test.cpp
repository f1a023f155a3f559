// Rendered sphere mapping and bump mapping: each object is drawn once plain
// and once with the effect, offscreen, and the pixels read back show what the
// effect must change.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx3d/gfx3d.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "gfx3d_test_util.h"
#include "support/runtime_fixture.h"

namespace {

using testing_support::ReadPixels;
using testing_support::Rgba;
using testing_support::StartTestRuntime;
using gfx3d_test::EyeToScreen;
using gfx3d_test::Px;

// The mean colour of the 5 x 5 pixels around p.
struct Mean {
  int r, g, b;
  int Sum() const { return r + g + b; }
};
Mean MeanAround(Px p) {
  const std::vector<Rgba> area = ReadPixels(p.x - 2, p.y - 2, 5, 5);
  int r = 0, g = 0, b = 0;
  for (const Rgba& c : area) {
    r += c.r;
    g += c.g;
    b += c.b;
  }
  const int n = static_cast<int>(area.size());
  return {r / n, g / n, b / n};
}

bool Near(const Mean& m, int r, int g, int b) {
  return std::abs(m.r - r) <= 40 && std::abs(m.g - g) <= 40 && std::abs(m.b - b) <= 40;
}

void Frame() {
  StartTestRuntime();
  SetClearColour(0x000000);
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 30, 0, 0, 0);
}

// Sprite id: a 16 x 16 picture in four quadrants: top left red, top right
// green, bottom left blue, bottom right yellow. A sprite's texture holds the
// picture's bottom row first, so the picture's top half is t > 0.5.
void MakeQuadrantSprite(int32_t id) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(16, 16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      const bool right = x >= 8, bottom = y >= 8;
      p[0] = (!right && !bottom) || (right && bottom) ? 255 : 0;
      p[1] = right ? 255 : 0;
      p[2] = !right && bottom ? 255 : 0;
      p[3] = 255;
    }
  ASSERT_TRUE(SetSpriteFromPicture(id, picture, false));
}

// Sphere mapping takes the texture coordinates from the view: whatever the
// sphere's own coordinates, its upper left shows the texture's (s < 0.5,
// t > 0.5) quadrant, the picture's top left, and its lower right the
// (s > 0.5, t < 0.5) one, the picture's bottom right.
TEST(EffectsRender, SphereMapTexturesBySurfaceDirection) {
  StartTestRuntime();
  MakeQuadrantSprite(40);
  gfx3d_test::BuildSphere(41, 5, 24, 32, 0xFFFFFF);
  // Points on the sphere's visible half, up left and down right of centre.
  const double z = 30 - std::sqrt(25.0 - 2 * 2.5 * 2.5);
  const Px upLeft = EyeToScreen(-2.5, 2.5, -z), downRight = EyeToScreen(2.5, -2.5, -z);

  Frame();
  SetMeshTextures(40, -1);
  DrawMesh(41, 0);
  const Mean plainUpLeft = MeanAround(upLeft), plainDownRight = MeanAround(downRight);
  End3D();

  Frame();
  SetSphereMap(1);
  SetMeshTextures(40, -1);
  DrawMesh(41, 0);
  const Mean mappedUpLeft = MeanAround(upLeft), mappedDownRight = MeanAround(downRight);
  End3D();

  // With the sphere map: up left red, down right yellow.
  EXPECT_TRUE(Near(mappedUpLeft, 255, 0, 0)) << mappedUpLeft.r << " " << mappedUpLeft.g << " " << mappedUpLeft.b;
  EXPECT_TRUE(Near(mappedDownRight, 255, 255, 0))
      << mappedDownRight.r << " " << mappedDownRight.g << " " << mappedDownRight.b;
  // The sphere's own coordinates (its seam faces the camera, u runs round
  // from it, v down from the top and is stored negated) put other quadrants
  // there: up left green, down right blue.
  EXPECT_TRUE(Near(plainUpLeft, 0, 255, 0)) << plainUpLeft.r << " " << plainUpLeft.g << " " << plainUpLeft.b;
  EXPECT_TRUE(Near(plainDownRight, 0, 0, 255))
      << plainDownRight.r << " " << plainDownRight.g << " " << plainDownRight.b;
  // Begin3D switches the sphere map off again.
  Frame();
  SetMeshTextures(40, -1);
  DrawMesh(41, 0);
  const Mean againUpLeft = MeanAround(upLeft);
  End3D();
  EXPECT_EQ(againUpLeft.Sum(), plainUpLeft.Sum());
}

// A height map with a ridge running down its middle (highest at the centre
// column), loaded as a normal map: the left half of the picture faces left,
// the right half faces right.
void MakeRidgeNormalMap(int32_t id) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(32, 32));
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const double height = 1.0 - std::fabs(x + 0.5 - 16.0) / 16.0;
      uint8_t* p = picture.Pixel(x, y);
      p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(height * 255));
      p[3] = 255;
    }
  ASSERT_TRUE(SetSpriteFromPicture(id, picture, true));
}

// Bump mapping lights each texel by its normal from the normal map: with the
// light in front and to one side, the half of the ridge facing the light is
// the bright one, and the result is grey (the dot product in every channel).
// Drawn plain, the same square shows the normal map's colours, the same
// whichever side the light is on.
TEST(EffectsRender, BumpMapLightsTheSideOfTheRidgeFacingTheLight) {
  StartTestRuntime();
  if (gl::ActiveTextureARB == nullptr) GTEST_SKIP() << "no multitexturing";
  MakeRidgeNormalMap(42);
  // A square 8 units wide at z = 0 facing the camera, u along x, v along y.
  gfx3d_test::BuildStrips(43, {{{-4, -4, 0, 0, 0}, {-4, 4, 0, 0, 1}, {4, -4, 0, 1, 0}, {4, 4, 0, 1, 1}}}, 1);
  const Px left = EyeToScreen(-2, 0, -30), right = EyeToScreen(2, 0, -30);

  struct Sides {
    Mean left, right;
  };
  // lightX 0: no effect; otherwise bump mapping lit from (lightX, 0, 100).
  const auto draw = [&](double lightX) {
    Frame();
    if (lightX != 0) SetLight(-1, 0xFFFFFF, lightX, 0, 100, 0, 0, 0, 1);
    SetMeshTextures(42, -1);
    DrawMesh(43, 0);
    const Sides sides{MeanAround(left), MeanAround(right)};
    End3D();
    return sides;
  };
  const Sides plain = draw(0);
  const Sides fromRight = draw(100);
  const Sides fromLeft = draw(-100);

  // Plain: the normal map's colours, the right half redder (its normals
  // point to +x), blue high on both.
  EXPECT_GT(plain.right.r, plain.left.r + 60);
  EXPECT_GT(plain.left.b, 200);
  EXPECT_GT(plain.right.b, 200);

  // Bump mapped: grey, bright on the side facing the light.
  for (const Sides& s : {fromRight, fromLeft})
    for (const Mean& m : {s.left, s.right}) {
      EXPECT_LE(std::abs(m.r - m.g), 6) << m.r << " " << m.g << " " << m.b;
      EXPECT_LE(std::abs(m.g - m.b), 6) << m.r << " " << m.g << " " << m.b;
    }
  EXPECT_GT(fromRight.right.Sum(), fromRight.left.Sum() + 3 * 60);
  EXPECT_GT(fromLeft.left.Sum(), fromLeft.right.Sum() + 3 * 60);
  // Lit from the front both halves still get some light.
  EXPECT_GT(fromRight.left.Sum(), 3 * 20);
  EXPECT_GT(fromLeft.right.Sum(), 3 * 20);
}

}  // namespace
