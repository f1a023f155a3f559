// Rendered output: a headless runtime draws 3D scenes offscreen and the back
// buffer is read before ShowScreen would swap it. Screen positions are worked
// out here from the camera set-up (a 45 degree field of view at 640 x 480),
// independently of the engine's matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d_test_util.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "support/runtime_fixture.h"

namespace {

using testing_support::ReadPixel;
using testing_support::ReadPixels;
using testing_support::Rgba;
using testing_support::StartTestRuntime;
using gfx3d_test::EyeToScreen;
using gfx3d_test::Px;

const double kTanHalfFov = std::tan(22.5 * 3.14159265358979323846 / 180.0);
constexpr double kAspect = 640.0 / 480.0;

void Frame(int32_t background) {
  StartTestRuntime();
  SetClearColour(background);
  Begin3D(10, 1600, 45);
}

int Brightness(const Rgba& p) { return p.r + p.g + p.b; }

// Looking straight down from y = 200 with -z up on the screen (a floor point
// (x, y, z) is at eye (x, -z, y - 200)): the floor, then the caster raised by
// casterY, drawn plainly and again in the shadow pass of a point light at
// (lightX, 110, lightZ). The shadow pass is left open.
void DrawShadowSceneFromAbove(int32_t floor, int32_t caster, double casterY, double lightX, double lightZ) {
  Frame(0x000000);
  SetCameraUp(0, 0, -1);
  SetCamera(0, 200, 0, 0, 0, 0);
  SetCullMode(1);
  for (int pass = 0; pass < 2; ++pass) {
    SetMovementTranslation(0, 0, 0);
    DrawMesh(floor, 0);
    SetMovementTranslation(0, casterY, 0);
    DrawMesh(caster, 0);
    if (pass == 0) SetLight(-3, 0x400000, lightX, 110, lightZ, 0, 0, 0, 360);
  }
}

TEST(Render3D, ProjectionAndFrameState) {
  Frame(0);
  Engine3D& e = *TheEngine3D();
  // h = near * tan(22.5 degrees) and a frustum of +-aspect * h.
  EXPECT_NEAR(10.0 / e.projection[5], 4.142, 1e-3);
  EXPECT_NEAR(10.0 / e.projection[0], kAspect * 4.142, 2e-3);
  EXPECT_NEAR(e.viewTangent, std::tan(50 * 3.14159265358979 / 180), 1e-5);
  float loaded[16];
  glGetFloatv(GL_PROJECTION_MATRIX, loaded);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(loaded[i], e.projection[i]);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  // Linear fog with start = end = 0 runs from the near to the far plane.
  SetFog(0xFFFFFF, 0, 0, 0);
  float fog[2];
  glGetFloatv(GL_FOG_START, &fog[0]);
  glGetFloatv(GL_FOG_END, &fog[1]);
  EXPECT_EQ(fog[0], 10.0f);
  EXPECT_EQ(fog[1], 1600.0f);
  SetFog(-1, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_FOG));

  // Light 0 with nothing given: directional from +z in the coordinates of
  // the call (the camera at the origin looking down -z).
  SetLight(0, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 10);
  float position[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, position);
  EXPECT_EQ(position[0], 0.0f);
  EXPECT_EQ(position[2], 1.0f);
  EXPECT_EQ(position[3], 0.0f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  SetLight(2, 0xFFFFFF, 1, 2, 3, 0, 0, 0, 120);  // a point light
  glGetLightfv(GL_LIGHT2, GL_POSITION, position);
  EXPECT_EQ(position[3], 1.0f);
  SetLight(2, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));  // light 0 is still on
  SetLight(0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));  // off with the last light

  // Orthographic below zero: half height near * 100 * tan(22.5 degrees).
  Begin3D(10, 1600, -45);
  EXPECT_NEAR(1.0 / e.projection[5], 414.2, 0.05);
  EXPECT_EQ(e.projection[11], 0.0f);
  EXPECT_EQ(e.projection[15], 1.0f);
  End3D();
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(StartTestRuntime().in3D);
}

TEST(Render3D, LitSphereIsBrighterFacingTheLight) {
  gfx3d_test::BuildSphere(50, 5, 16, 24, 0xFFFFFF);
  Frame(0x000000);
  SetCamera(0, 0, 30, 0, 0, 0);
  SetCullMode(1);
  SetLight(0, 0xFFFFFF, 0, 0, 0, -1, 0, 0, 180);  // shining along -x: from the right
  DrawMesh(50, 0);
  const Px right = EyeToScreen(3.5, 0, -30 + 3.5);
  const Px left = EyeToScreen(-3.5, 0, -30 + 3.5);
  const Rgba lit = ReadPixel(right.x, right.y);
  const Rgba dark = ReadPixel(left.x, left.y);
  End3D();
  EXPECT_GT(Brightness(lit), Brightness(dark) + 3 * 100) << int(lit.r) << " vs " << int(dark.r);
  EXPECT_GT(dark.r, 0);  // the ambient term still shows the far side
  EXPECT_EQ(ReadPixel(20, 20).r, 0);
}

TEST(Render3D, CullModesHideOneWinding) {
  // Seen from +z: a clockwise triangle on the left, a counter-clockwise one
  // on the right.
  gfx3d_test::BuildStrips(51, {{{-6, -2, 0}, {-6, 2, 0}, {-2, -2, 0}}}, 1);
  gfx3d_test::BuildStrips(52, {{{2, -2, 0}, {6, -2, 0}, {2, 2, 0}}}, 1);
  const Px cw = EyeToScreen(-5, -1, -30);
  const Px ccw = EyeToScreen(3, -1, -30);
  auto draw = [&](int mode) {
    Frame(0x000000);
    SetCamera(0, 0, 30, 0, 0, 0);
    SetCullMode(mode);
    DrawMesh(51, 0);
    DrawMesh(52, 0);
    const bool a = ReadPixel(cw.x, cw.y).g > 200;
    const bool b = ReadPixel(ccw.x, ccw.y).g > 200;
    End3D();
    return std::make_pair(a, b);
  };
  EXPECT_EQ(draw(1), std::make_pair(true, false));
  EXPECT_EQ(draw(-1), std::make_pair(false, true));
  EXPECT_EQ(draw(0), std::make_pair(true, true));
  EXPECT_EQ(draw(5), std::make_pair(true, false));  // only the sign counts
}

TEST(Render3D, ExponentialFogPullsFarObjectsToTheFogColour) {
  // Red squares facing the camera (at the origin, looking down -z): a near
  // one on the left, a far one on the right.
  gfx3d_test::BuildStrips(53, {{{-5.5f, -1.5f, -20, 0, 0, 0x0000FF}, {-5.5f, 1.5f, -20, 0, 0, 0x0000FF},
                                {-2.5f, -1.5f, -20, 0, 0, 0x0000FF}, {-2.5f, 1.5f, -20, 0, 0, 0x0000FF}}},
                          0);
  gfx3d_test::BuildStrips(54, {{{50, -30, -400, 0, 0, 0x0000FF}, {50, 30, -400, 0, 0, 0x0000FF},
                                {110, -30, -400, 0, 0, 0x0000FF}, {110, 30, -400, 0, 0, 0x0000FF}}},
                          0);
  const double density = 0.004;
  Frame(0x000000);
  SetFog(0x00FF00, 1, density, 0);
  DrawMesh(53, 0);
  DrawMesh(54, 0);
  const Px nearPx = EyeToScreen(-4, 0, -20);
  const Px farPx = EyeToScreen(80, 0, -400);
  const Rgba nearColour = ReadPixel(nearPx.x, nearPx.y);
  const Rgba farColour = ReadPixel(farPx.x, farPx.y);
  End3D();
  // GL_EXP: f = exp(-density * depth); colour = f * red + (1 - f) * green.
  const double fNear = std::exp(-density * 20), fFar = std::exp(-density * 400);
  EXPECT_NEAR(nearColour.r, 255 * fNear, 8);
  EXPECT_NEAR(nearColour.g, 255 * (1 - fNear), 8);
  EXPECT_NEAR(farColour.r, 255 * fFar, 8);
  EXPECT_NEAR(farColour.g, 255 * (1 - fFar), 8);
  EXPECT_GT(farColour.g, farColour.r);
}

TEST(Render3D, ShadowPassDarkensTheFloorBehindABox) {
  gfx3d_test::BuildFloor(60, 0, 60, 0x808080);
  gfx3d_test::BuildBox(61, 0, 10, 0, 5, 0x00A000);
  // Looking straight down from y = 200 with -z up on the screen: a floor
  // point (x, 0, z) is at eye (x, -z, -200).
  auto floorPixel = [](double x, double z) { return EyeToScreen(x, -z, -200); };
  DrawShadowSceneFromAbove(60, 61, 0, -110, -110);
  // Still in the shadow pass: nothing has been darkened yet.
  const Px behind = floorPixel(11, 11);
  EXPECT_EQ(ReadPixel(behind.x, behind.y).r, 0x80);
  End3D();

  // The ray from the light through the box centre (0, 10, 0) meets the floor
  // at (11, 0, 11); the rectangle is blended at alpha 127/255.
  const double a = 127.0 / 255.0;
  const Rgba floorColour{0x80, 0x80, 0x80, 255};
  for (const auto& p : {floorPixel(11, 11), floorPixel(16, 14), floorPixel(8, 18)}) {
    const Rgba c = ReadPixel(p.x, p.y);
    EXPECT_NEAR(c.r, floorColour.r * (1 - a), 2) << p.x << "," << p.y;
    EXPECT_NEAR(c.g, floorColour.g * (1 - a), 2);
    EXPECT_NEAR(c.b, floorColour.b * (1 - a) + 0x40 * a, 2);
  }
  // Lit ground, on every side of the box, keeps its colour.
  for (const auto& p : {floorPixel(-30, 30), floorPixel(30, -30), floorPixel(-30, -30), floorPixel(-8, -8),
                        floorPixel(40, 40)}) {
    const Rgba c = ReadPixel(p.x, p.y);
    EXPECT_EQ(c.r, 0x80) << p.x << "," << p.y;
    EXPECT_EQ(c.b, 0x80) << p.x << "," << p.y;
  }
  // The box's lit top keeps its colour too.
  const Rgba top = ReadPixel(320, 240);
  EXPECT_EQ(top.g, 0xA0);
  EXPECT_EQ(top.r, 0);
}

TEST(Render3D, AxesMarkerDrawsRedGreenBlueArrows) {
  Frame(0x000000);
  SetCamera(30, 25, 60, 0, 0, 0);
  DrawAxes3D(0, 0, 0);
  const std::vector<Rgba> pixels = ReadPixels(0, 0, 640, 480);
  End3D();
  double sum[3][2] = {};
  int count[3] = {};
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const Rgba& p = pixels[static_cast<size_t>(y) * 640 + x];
      const int c[3] = {p.r, p.g, p.b};
      for (int k = 0; k < 3; ++k)
        if (c[k] > 150 && c[(k + 1) % 3] < 60 && c[(k + 2) % 3] < 60) {
          ++count[k];
          sum[k][0] += x;
          sum[k][1] += y;
        }
    }
  for (int k = 0; k < 3; ++k) ASSERT_GT(count[k], 20) << "colour " << k;
  // The target (the origin) is the screen centre. With the camera at
  // (30, 25, 60) the x axis runs to the right, y up, z down and to the left.
  EXPECT_GT(sum[0][0] / count[0], 330);
  EXPECT_LT(sum[1][1] / count[1], 230);
  EXPECT_GT(sum[2][1] / count[2], 250);
  EXPECT_LT(sum[2][0] / count[2], 310);
}

TEST(Render3D, FrustumRejectionUsesTheScaledRadius) {
  gfx3d_test::BuildSphere(70, 5, 8, 12, 0xFFFFFF);
  const float r = gfx3d_test::Mesh(70).frames[0].radius;
  ASSERT_NEAR(r, 5.0f, 0.2f);
  // Camera at (0, 0, 100): at the origin's depth the right plane is at
  // x = 100 tan(22.5) aspect and tilted by theta, tan(theta) = that / 100.
  const double edge = 100 * kTanHalfFov * kAspect;
  const double cosTheta = std::cos(std::atan(kTanHalfFov * kAspect));
  const double x = edge + 1.5 * r / cosTheta;  // 1.5 radii behind the plane
  Frame(0);
  SetCamera(0, 0, 100, 0, 0, 0);
  Engine3D& e = *TheEngine3D();
  const DrawStatistics before = e.stats;
  SetMovementTranslation(x, 0, 0);
  DrawMesh(70, 0);
  EXPECT_EQ(e.stats.objectsRejected, before.objectsRejected + 1);
  EXPECT_EQ(e.stats.objectsDrawn, before.objectsDrawn);
  SetMovementTranslation(x, 0, 0);
  SetMovementScale(2, 2, 2);
  DrawMesh(70, 0);
  EXPECT_EQ(e.stats.objectsRejected, before.objectsRejected + 1);
  EXPECT_EQ(e.stats.objectsDrawn, before.objectsDrawn + 1);

  // Open or rejected numbers draw nothing; numbers outside the table neither.
  BeginMesh(71);
  AddMeshVertex(0, 0, 0, 0, 0, 0);
  AddMeshVertex(0, 1, 0, 0, 0, 0);
  AddMeshVertex(1, 0, 0, 0, 0, 0);
  SetMovementTranslation(0, 0, 0);
  DrawMesh(71, 0);
  EndMesh();
  BeginMesh(72);
  EndMesh();
  DrawMesh(72, 0);
  DrawMesh(-5, 0);
  DrawMesh(99999, 0);
  DrawMeshAnimated(72, 0, 3, 0.5, 1);
  EXPECT_EQ(e.stats.objectsDrawn, before.objectsDrawn + 1);
  End3D();
}

TEST(Render3D, BufferObjectsClientArraysAndBlending) {
  gfx3d_test::BuildSphere(73, 5, 12, 16, 0x3080F0);
  Engine3D& e = *TheEngine3D();
  auto render = [&](bool buffers) {
    e.bufferObjectsAllowed = buffers;
    Frame(0x000000);
    SetCamera(0, 0, 30, 0, 0, 0);
    SetCullMode(1);
    SetLight(0, 0xFFFFFF, 0, 0, 0, -1, -1, -1, 180);
    DrawMesh(73, 0);
    std::vector<Rgba> pixels = ReadPixels(200, 120, 240, 240);
    End3D();
    return pixels;
  };
  const std::vector<Rgba> client = render(false);
  EXPECT_EQ(gfx3d_test::Mesh(73).staticBuffer, 0u);
  const std::vector<Rgba> buffered = render(true);
  if (gl::GenBuffersARB != nullptr) {
    EXPECT_NE(gfx3d_test::Mesh(73).staticBuffer, 0u);
  }
  int differ = 0, lit = 0;
  for (size_t i = 0; i < client.size(); ++i) {
    differ += std::memcmp(&client[i], &buffered[i], 3) != 0;
    lit += Brightness(client[i]) > 30;
  }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(lit, 10000);

  // A texture offset copies the frame into the draw buffer and streams it.
  Frame(0);
  SetCamera(0, 0, 30, 0, 0, 0);
  SetTextureOffset3D(0.5, 0.25);
  DrawMesh(73, 0);
  End3D();
  const MeshObjectX& m = gfx3d_test::Mesh(73);
  EXPECT_EQ(m.drawBuffer[5].u, m.frames[0].triangles[5].u + 0.5f);
  EXPECT_EQ(m.drawBuffer[5].v, m.frames[0].triangles[5].v + 0.25f);
  if (gl::GenBuffersARB != nullptr) {
    EXPECT_NE(m.streamBuffer, 0u);
  }

  // Blending two frames: p = 0.25 gives A = 0, B = 1 and A's weight 0.75.
  gfx3d_test::Engine();
  BeginMesh(74);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0xFFFFFF);
  SelectMeshFrame(1);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i + 4, i % 2, -8, 0, 0, 0xFFFFFF);
  EndMesh();
  Frame(0);
  SetCamera(0, 0, 30, 0, 0, 0);
  DrawMeshAnimated(74, 0, 1, 0.25, 1);
  End3D();
  const MeshObjectX& b = gfx3d_test::Mesh(74);
  EXPECT_FLOAT_EQ(b.drawBuffer[0].x, 0 * 0.75f + 4 * 0.25f);
  EXPECT_FLOAT_EQ(b.drawBuffer[0].z, 0 * 0.75f - 8 * 0.25f);
}

TEST(Render3D, CelShadingUsesTheRampAndDrawsAnOutline) {
  gfx3d_test::BuildSphere(75, 5, 16, 24, 0xFFFFFF);
  Frame(0x800000);  // dark blue background
  SetCamera(0, 0, 30, 0, 0, 0);
  SetCullMode(1);
  SetLight(-2, 0, 100, 0, 0, 0, 0, 0, 1);  // cel shading, light far to the right
  DrawMesh(75, 0);
  const Px right = EyeToScreen(3.5, 0, -30 + 3.5);
  const Px left = EyeToScreen(-3.5, 0, -30 + 3.5);
  const Rgba bright = ReadPixel(right.x, right.y);
  const Rgba dark = ReadPixel(left.x, left.y);
  // Scan from the top edge down to the sphere: the outline is black.
  bool outline = false;
  for (int y = 100; y < 240 && !outline; ++y) {
    const Rgba p = ReadPixel(320, y);
    outline = p.r < 20 && p.g < 20 && p.b < 20;
  }
  // The bump path runs too (no textures: it only must not disturb anything).
  SetLight(-1, 0, 100, 0, 0, 0, 0, 0, 1);
  DrawMesh(75, 0);
  End3D();
  EXPECT_NEAR(bright.r, 255, 6);  // the ramp's top value
  EXPECT_NEAR(dark.r, 100, 6);    // its first value, for the unlit side
  EXPECT_TRUE(outline);
  EXPECT_NE(gfx3d_test::Mesh(75).celTexture, 0u);
  BasicArray<double> ramp;
  SetCelShadeRamp(ramp);  // empty: one value, 255; cel textures rebuilt
  EXPECT_EQ(gfx3d_test::Mesh(75).celTexture, 0u);
  EXPECT_EQ(TheEngine3D()->celRamp, std::vector<uint8_t>{255});
  DimArray(ramp, 16);
  for (int i = 0; i < 16; ++i) ArrayElement(ramp, i) = i < 8 ? (i == 0 ? 100 : 160) : 255;
  ArrayElement(ramp, 7) = 207;
  SetCelShadeRamp(ramp);
  EXPECT_EQ(TheEngine3D()->celRamp.size(), 16u);
}

// Whether a pixel near p (within 2) has the packed colour (within 3 per channel).
bool ColourNear(Px p, int32_t colour) {
  const std::vector<Rgba> area = ReadPixels(p.x - 2, p.y - 2, 5, 5);
  for (const Rgba& c : area)
    if (std::abs(c.r - (colour & 255)) <= 3 && std::abs(c.g - ((colour >> 8) & 255)) <= 3 &&
        std::abs(c.b - ((colour >> 16) & 255)) <= 3)
      return true;
  return false;
}

TEST(Render3D, LightMarkersInDebugModeAndTheCameraLight) {
  Frame(0x000000);
  SetCamera(0, 0, 30, 0, 0, 0);
  const Px dot = EyeToScreen(3, 2, -30);
  const Px line = EyeToScreen(3, 2, -230);
  SetLight(1, 0xFFFFFF, 3, 2, 0, 0, 0, -1, 45);  // a spot light, no markers
  EXPECT_FALSE(ColourNear(dot, 0x80C8FF));
  Settings().DebugMode = 1;
  SetLight(1, 0xFFFFFF, 3, 2, 0, 0, 0, -1, 45);
  Settings().DebugMode = 0;
  EXPECT_TRUE(ColourNear(dot, 0x80C8FF));   // the dot at the position
  EXPECT_TRUE(ColourNear(line, 0x6CAAE1));  // the line along the direction
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));    // the markers leave lighting on

  // The camera light shines from the camera to the origin: in eye
  // coordinates it comes from straight behind the viewer.
  SetCamera(10, 20, 30, 0, 0, 0);
  SetCameraLight(3, 0xFFFFFF);
  float position[4];
  glGetLightfv(GL_LIGHT3, GL_POSITION, position);
  EXPECT_NEAR(position[0], 0, 1e-5);
  EXPECT_NEAR(position[1], 0, 1e-5);
  EXPECT_NEAR(position[2], 1, 1e-5);
  EXPECT_EQ(position[3], 0.0f);

  // Depth test switch and leaving 3D in the middle of a shadow pass.
  SetDepthTest(0);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  SetDepthTest(1);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  SetLight(-3, 0x400000, 0, 100, 0, 0, 0, 0, 360);
  EXPECT_EQ(TheEngine3D()->shadowPass, 1);
  EXPECT_TRUE(glIsEnabled(GL_STENCIL_TEST));
  Leave3D();
  EXPECT_EQ(TheEngine3D()->shadowPass, 0);
  EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
  EXPECT_FALSE(StartTestRuntime().in3D);
  End3D();
}

// A square facing the camera at z = 0 with u running 0..1 left to right.
void BuildTexturedSquare(int32_t id) {
  gfx3d_test::BuildStrips(id, {{{-4, -4, 0, 0, 0}, {-4, 4, 0, 0, 1}, {4, -4, 0, 1, 0}, {4, 4, 0, 1, 1}}}, 1);
}

TEST(Render3D, TexturesFromSpritesAndFromASlotsTable) {
  StartTestRuntime();
  // Sprite 5: a 16 x 16 picture, red on the left half, green on the right.
  Picture picture;
  ASSERT_TRUE(picture.Resize(16, 16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      p[0] = x < 8 ? 255 : 0;
      p[1] = x < 8 ? 0 : 255;
      p[2] = 0;
      p[3] = 255;
    }
  ASSERT_TRUE(SetSpriteFromPicture(5, picture, false));
  BuildTexturedSquare(82);
  const Px left = EyeToScreen(-2, 0, -30), right = EyeToScreen(2, 0, -30);
  Frame(0x000000);
  SetCamera(0, 0, 30, 0, 0, 0);
  SetMeshTextures(5, -1);
  DrawMesh(82, 0);
  EXPECT_TRUE(ColourNear(left, 0x0000FF));
  EXPECT_TRUE(ColourNear(right, 0x00FF00));
  End3D();

  // A multi-part slot names its textures through its own table.
  BuildTexturedSquare(83);
  GLuint blue = 0;
  glGenTextures(1, &blue);
  glBindTexture(GL_TEXTURE_2D, blue);
  const uint8_t texel[4] = {0, 0, 255, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  MeshSlot& slot = gfx3d_test::Slot(83);
  slot.multiPart = 1;
  slot.textures.Append(blue);
  gfx3d_test::Mesh(83).texture1Index = 0;
  Frame(0x000000);
  SetCamera(0, 0, 30, 0, 0, 0);
  SetMeshTextures(5, -1);  // not used by a multi-part slot
  DrawMesh(83, 0);
  EXPECT_TRUE(ColourNear(left, 0xFF0000));
  EXPECT_TRUE(ColourNear(right, 0xFF0000));
  // An index beyond the slot's table selects no texture: the vertex colour.
  gfx3d_test::Mesh(83).texture1Index = 4;
  ClearDepth3D();
  DrawMesh(83, 0);
  EXPECT_TRUE(ColourNear(left, 0xFFFFFF));
  End3D();
  BeginMesh(83);  // reopening deletes the slot's textures
  EXPECT_EQ(slot.textures.count(), 0);
  EXPECT_FALSE(glIsTexture(blue));
  EndMesh();
}

}  // namespace

// A shadow volume reaches every surface drawn before the shadow pass, however
// far below the caster it lies.
TEST(Render3D, ShadowReachesAFarReceiver) {
  gfx3d_test::BuildFloor(62, -150, 300, 0x808080);
  gfx3d_test::BuildBox(63, 0, 10, 0, 5, 0x00A000);
  // Looking straight down from y = 200: a floor point (x, -150, z) is at eye
  // (x, -z, -350).
  auto floorPixel = [](double x, double z) { return EyeToScreen(x, -z, -350); };
  DrawShadowSceneFromAbove(62, 63, 0, -20, -20);
  End3D();
  // The ray from (-20, 110, -20) through the box centre (0, 10, 0) meets the
  // floor 2.6 times as far from the light: at (32, -150, 32).
  for (const auto& p : {floorPixel(32, 32), floorPixel(36, 30), floorPixel(29, 35)}) {
    const Rgba c = ReadPixel(p.x, p.y);
    EXPECT_LT(c.r, 0x60) << p.x << "," << p.y;
    EXPECT_GT(c.b, c.r) << p.x << "," << p.y;
  }
  for (const auto& p : {floorPixel(-60, -60), floorPixel(80, 0), floorPixel(0, 80)}) {
    const Rgba c = ReadPixel(p.x, p.y);
    EXPECT_EQ(c.r, 0x80) << p.x << "," << p.y;
    EXPECT_EQ(c.b, 0x80) << p.x << "," << p.y;
  }
}

// A sphere's strips meet at its poles in triangles without area. They take
// no part in the volume: paired with them, the lit triangles round the pole
// took the edges between them for silhouettes, and the walls raised on those
// edges cut a lit line through the middle of the shadow.
TEST(Render3D, ASphereShadowIsWholeAcrossItsPoles) {
  gfx3d_test::BuildFloor(68, 0, 60, 0x808080);
  gfx3d_test::BuildSphere(69, 5, 8, 16, 0x00A000);
  auto floorPixel = [](double x, double z) { return EyeToScreen(x, -z, -200); };
  DrawShadowSceneFromAbove(68, 69, 10, -110, -110);
  End3D();
  // The ray from the light through the centre (0, 10, 0) meets the floor at
  // (11, 0, 11); the shadow reaches at least 3 units round that point.
  int lit = 0, shadowed = 0;
  for (double dx = -3; dx <= 3; dx += 0.25)
    for (double dz = -3; dz <= 3; dz += 0.25) {
      if (dx * dx + dz * dz > 9) continue;
      const Px p = floorPixel(11 + dx, 11 + dz);
      const Rgba c = ReadPixel(p.x, p.y);
      ++(c.r == 0x80 ? lit : shadowed);
    }
  EXPECT_EQ(lit, 0);
  EXPECT_GT(shadowed, 400);
  const Px away = floorPixel(-20, -20);
  EXPECT_EQ(ReadPixel(away.x, away.y).r, 0x80);
}

// The darkening's scissor box follows the volumes' rectangle to the pixel,
// and stays within a pixel of the viewport however far out a volume's
// corner lies: one just in front of the eye lands millions of viewports
// away, beyond what a pixel number holds.
TEST(Render3D, ShadowScissorBoxStaysNearTheViewport) {
  StartTestRuntime();
  Engine3D& e = *TheEngine3D();
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  struct Case {
    const char* name;
    float ndc[4];  // min x, min y, max x, max y
    int32_t box[4];
  };
  // Viewport 640 x 480 at (10, 20): an edge at pixel p of it is 10 + p
  // across, 20 + p up, each a pixel further out than its rounding.
  const Case cases[] = {
      {"inside", {-0.5f, -0.25f, 0.5f, 0.75f}, {169, 199, 322, 242}},
      {"fractions of a pixel", {0.001f, -1, 0.002f, 1}, {329, 19, 3, 482}},
      {"far outside", {-3e9f, -inf, 4e12f, inf}, {9, 19, 642, 482}},
      {"partly outside", {0.5f, -2, 5e7f, 0}, {489, 19, 162, 242}},
      {"not a number", {nan, nan, nan, nan}, {9, 19, 642, 482}},
      {"nothing", {inf, inf, -inf, -inf}, {649, 499, 0, 0}},
  };
  int32_t viewport[4];
  float ndc[4];
  std::memcpy(viewport, e.shadowViewport, sizeof viewport);
  std::memcpy(ndc, e.shadowNdc, sizeof ndc);
  const int32_t ours[4] = {10, 20, 640, 480};
  std::memcpy(e.shadowViewport, ours, sizeof ours);
  for (const Case& c : cases) {
    std::memcpy(e.shadowNdc, c.ndc, sizeof c.ndc);
    int32_t box[4];
    ShadowScissorBox(e, box);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(box[k], c.box[k]) << c.name << " [" << k << "]";
  }
  std::memcpy(e.shadowViewport, viewport, sizeof viewport);
  std::memcpy(e.shadowNdc, ndc, sizeof ndc);
}

// Where a shadow volume passes over empty background, nothing is darkened:
// the volume is closed behind the surfaces it can fall on.
TEST(Render3D, ShadowLeavesEmptyBackgroundAlone) {
  gfx3d_test::BuildFloor(64, 0, 20, 0x808080);
  gfx3d_test::BuildBox(65, 0, 10, 0, 5, 0x00A000);
  const auto render = [](bool shadows) {
    Frame(0xFF0000);  // blue background
    SetCamera(40, 30, -120, 40, -40, 40);
    SetCullMode(1);
    for (int pass = 0; pass < (shadows ? 2 : 1); ++pass) {
      SetMovementTranslation(0, 0, 0);
      DrawMesh(64, 0);
      DrawMesh(65, 0);
      if (pass == 0 && shadows) SetLight(-3, 0x400000, -110, 110, -110, 0, 0, 0, 360);
    }
    End3D();
    return ReadPixels(0, 0, 640, 480);
  };
  const std::vector<Rgba> plain = render(false);
  const uint64_t volumesBefore = TheEngine3D()->stats.shadowVolumes;
  const std::vector<Rgba> shadowed = render(true);
  // The floor, lit from above, can shadow nothing drawn: only the box's
  // volume is drawn.
  EXPECT_EQ(TheEngine3D()->stats.shadowVolumes - volumesBefore, 1u);
  int background = 0, darkened = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    const bool empty = plain[i].b == 255 && plain[i].r == 0 && plain[i].g == 0;
    if (!empty) continue;
    ++background;
    if (shadowed[i].b != 255 || shadowed[i].r != 0) ++darkened;
  }
  EXPECT_GT(background, 10000);
  EXPECT_EQ(darkened, 0);
}

// A shadow volume is kept from one draw to the next and built again only
// when the light, the pull or the mesh changes; the picture is always the
// one a volume built afresh gives.
TEST(Render3D, KeptShadowVolumesFollowTheLightThePullAndTheMesh) {
  gfx3d_test::BuildFloor(66, 0, 60, 0x808080);
  gfx3d_test::BuildBox(67, 0, 10, 0, 5, 0x00A000);
  Engine3D& e = *TheEngine3D();
  // One frame: the floor at height floorY, the light at (lightX, 110, -110);
  // `fresh` forgets the kept volume first.
  const auto render = [&](double lightX, double floorY, bool fresh) {
    if (fresh) ForgetShadowVolume(gfx3d_test::Mesh(67), false);
    Frame(0x000000);
    SetCameraUp(0, 0, -1);
    SetCamera(0, 200, 0, 0, 0, 0);
    SetCullMode(1);
    for (int pass = 0; pass < 2; ++pass) {
      SetMovementTranslation(0, floorY, 0);
      DrawMesh(66, 0);
      SetMovementTranslation(0, 0, 0);
      DrawMesh(67, 0);
      if (pass == 0) SetLight(-3, 0x400000, lightX, 110, -110, 0, 0, 0, 360);
    }
    End3D();
    return ReadPixels(0, 0, 640, 480);
  };
  // Shadowed pixels take the effect colour's blue.
  const auto darkened = [](const std::vector<Rgba>& pixels) {
    int n = 0;
    for (const Rgba& p : pixels) n += p.b > p.r ? 1 : 0;
    return n;
  };
  const auto same = [](const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Rgba)) == 0;
  };
  for (const bool buffers : {true, false}) {
    e.bufferObjectsAllowed = buffers;
    const std::vector<Rgba> first = render(-110, 0, true);
    const uint64_t built = e.stats.shadowVolumesBuilt;
    EXPECT_GT(darkened(first), 500) << "buffers " << buffers;
    // The same light and receivers: drawn again as kept.
    EXPECT_TRUE(same(render(-110, 0, false), first));
    EXPECT_EQ(e.stats.shadowVolumesBuilt, built);
    // The light moves: built anew, as a fresh volume would be.
    const std::vector<Rgba> moved = render(60, 0, false);
    EXPECT_EQ(e.stats.shadowVolumesBuilt, built + 1);
    EXPECT_FALSE(same(moved, first));
    EXPECT_TRUE(same(moved, render(60, 0, true)));
    // A lower floor takes a longer pull: same silhouette, other far ends.
    const uint64_t beforePull = e.stats.shadowVolumesBuilt;
    const std::vector<Rgba> lower = render(60, -30, false);
    EXPECT_EQ(e.stats.shadowVolumesBuilt, beforePull);
    EXPECT_TRUE(same(lower, render(60, -30, true)));
    // The mesh is widened in place (its height, which sets the pull here,
    // stays): its kept volume is stale.
    ScaleMesh(67, 1.5, 1, 1.5);
    const std::vector<Rgba> scaled = render(60, -30, false);
    EXPECT_GT(darkened(scaled), darkened(lower));
    EXPECT_TRUE(same(scaled, render(60, -30, true)));
    ScaleMesh(67, 1 / 1.5, 1, 1 / 1.5);
  }
  e.bufferObjectsAllowed = true;
}
