// The movement stack, the matrix helpers and the frame choice of animated
// draws, without GL.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/basic_array.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gfx3d_test_util.h"

namespace {

using gfx3d_test::Engine;

struct V3 {
  double x, y, z;
};

// Applies the current movement matrix, read back through GetMovementMatrix.
V3 Moved(V3 p) {
  BasicArray<double> m;
  GetMovementMatrix(m);
  EXPECT_EQ(m.d1, 16);
  const double* e = m.Elements();
  return {e[0] * p.x + e[4] * p.y + e[8] * p.z + e[12], e[1] * p.x + e[5] * p.y + e[9] * p.z + e[13],
          e[2] * p.x + e[6] * p.y + e[10] * p.z + e[14]};
}

void ExpectNear(V3 a, V3 b) {
  EXPECT_NEAR(a.x, b.x, 1e-5);
  EXPECT_NEAR(a.y, b.y, 1e-5);
  EXPECT_NEAR(a.z, b.z, 1e-5);
}

// A fresh stack: level 0, identity.
void FreshStack() {
  Engine();
  while (TheEngine3D()->movementIndex > 0) PopMovement();
  PopMovement();
}

TEST(Movement, TranslationRotationAndScaleOrder) {
  FreshStack();
  SetMovementTranslation(10, 0, 0);
  AddMovementRotation(90, 0, 0, 1);
  ExpectNear(Moved({1, 0, 0}), {10, 1, 0});

  // A later scale resets the level: the rotation is gone, the translation stays.
  SetMovementScale(2, 2, 2);
  ExpectNear(Moved({1, 0, 0}), {12, 0, 0});

  // Scale first, then the first rotation added, then the later ones.
  SetMovementTranslation(0, 0, 0);
  SetMovementScale(2, 1, 1);
  AddMovementRotation(90, 0, 0, 1);  // (2, 0, 0) -> (0, 2, 0)
  AddMovementRotation(90, 1, 0, 0);  // (0, 2, 0) -> (0, 0, 2)
  ExpectNear(Moved({1, 0, 0}), {0, 0, 2});

  SetMovementScale(1, 1, 1);
  AddMovementRotation(90, 0, 0, -1);  // a negative axis turns the other way
  ExpectNear(Moved({1, 0, 0}), {0, -1, 0});
  SetMovementScale(1, 1, 1);
  AddMovementRotation(120, 1, 1, 1);  // about the diagonal: x -> y -> z
  ExpectNear(Moved({1, 0, 0}), {0, 1, 0});
  SetMovementScale(1, 1, 1);
  AddMovementRotation(90, 0, 0, 0);  // no axis, no rotation
  ExpectNear(Moved({1, 0, 0}), {1, 0, 0});
}

TEST(Movement, RotationsAfterComposingAreNotLost) {
  FreshStack();
  // Right after a reset the level counts as composed; the rotation must
  // still apply.
  AddMovementRotation(90, 0, 0, 1);
  ExpectNear(Moved({1, 0, 0}), {0, 1, 0});

  // Composing again starts from the level's base: nothing applies twice.
  SetMovementTranslation(10, 0, 0);
  AddMovementRotation(90, 0, 0, 1);
  ExpectNear(Moved({1, 0, 0}), {10, 1, 0});
  AddMovementRotation(90, 0, 0, 1);
  ExpectNear(Moved({1, 0, 0}), {9, 0, 0});

  // Levels: the new level starts from the composed level below.
  SetMovementTranslation(5, 0, 0);
  PushMovement();
  AddMovementRotation(90, 0, 0, 1);
  ExpectNear(Moved({1, 0, 0}), {5, 1, 0});
  PopMovement();
  ExpectNear(Moved({1, 0, 0}), {6, 0, 0});
  PopMovement();  // at level 0: back to identity
  ExpectNear(Moved({1, 2, 3}), {1, 2, 3});

  // The stack has 16 levels; further pushes are ignored.
  for (int i = 0; i < 20; ++i) {
    SetMovementTranslation(1, 0, 0);
    PushMovement();
  }
  EXPECT_EQ(TheEngine3D()->movementIndex, MOVEMENT_LEVEL_COUNT - 1);
  ExpectNear(Moved({0, 0, 0}), {16, 0, 0});  // levels 0..14 and the last one set twice
  FreshStack();
}

TEST(Movement, UserMatricesAndTheirArrays) {
  FreshStack();
  SetMovementTranslation(1, 0, 0);
  BasicArray<double> u;
  DimArray(u, 16);
  double* e = u.Elements();
  e[0] = e[5] = e[10] = e[15] = 1;
  e[14] = 7;  // a translation by (0, 0, 7), column-major
  MultiplyMovementMatrix(u);
  // Translated first, then the user matrix.
  ExpectNear(Moved({0, 0, 0}), {1, 0, 7});
  e[0] = 3;
  // Anything but a one-dimensional array of 16 numbers is ignored.
  BasicArray<double> flat15, square;
  DimArray(flat15, 15);
  DimArray(square, 4, 4);
  MultiplyMovementMatrix(flat15);
  MultiplyMovementMatrix(square);
  ExpectNear(Moved({0, 0, 0}), {1, 0, 7});
  MultiplyMovementMatrix(u);  // scales x by 3 after the first
  ExpectNear(Moved({1, 0, 0}), {6, 0, 14});

  BasicArray<double> camera;
  GetCameraMatrix(camera);
  EXPECT_EQ(camera.d1, 16);
  EXPECT_EQ(camera.dims, 1);
  FreshStack();
}

TEST(MatrixHelpers, ProjectionCameraPlanesInverse) {
  // The polynomial approximates tan on the half field of view.
  const float x = 45.0f * 3.1415927f / 360.0f;
  EXPECT_NEAR(math3d::TanPolynomial(x), std::tan(22.5 * 3.14159265358979 / 180.0), 2e-6);
  EXPECT_NEAR(10 * math3d::TanPolynomial(x), 4.142, 5e-4);

  float camera[16], projection[16];
  const float eye[3] = {0, 0, 10}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
  math3d::LookAt(eye, target, up, camera);
  const float origin[3] = {0, 0, 0};
  float seen[3];
  math3d::TransformPoint(camera, origin, seen);
  EXPECT_FLOAT_EQ(seen[2], -10.0f);

  const double h = 10 * std::tan(22.5 * 3.14159265358979 / 180.0);
  math3d::FrustumMatrix(-h, h, -h, h, 10, 1600, projection);
  float planes[6][4];
  math3d::ExtractPlanes(projection, camera, planes);
  // Planes are normalised; a sphere is out only when it is wholly behind one.
  for (auto& p : planes) EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0, 1e-5);
  const float inside[3] = {0, 0, -100};
  EXPECT_TRUE(SphereInFrustum(planes, inside, 1));
  // The right plane at depth 110 (100 in front of the camera) is at x = 100 h / 10.
  const float edge = static_cast<float>(100 * h / 10);
  const float right[3] = {edge + 30, 0, -90};
  const float distance = static_cast<float>(30 * std::cos(std::atan(h / 10)));
  EXPECT_FALSE(SphereInFrustum(planes, right, distance - 0.5f));
  EXPECT_TRUE(SphereInFrustum(planes, right, distance + 0.5f));
  const float behind[3] = {0, 0, 20};
  EXPECT_FALSE(SphereInFrustum(planes, behind, 5));
  const float far[3] = {0, 0, -1700};
  EXPECT_FALSE(SphereInFrustum(planes, far, 50));
  EXPECT_TRUE(SphereInFrustum(planes, far, 150));

  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-3, 3);
  float m[16], inv[16], product[16];
  for (float& v : m) v = d(rng);
  ASSERT_TRUE(math3d::Invert(m, inv));
  math3d::Multiply(m, inv, product);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], i % 5 == 0 ? 1.0f : 0.0f, 1e-4) << i;
  float singular[16] = {0};
  EXPECT_FALSE(math3d::Invert(singular, inv));
}

TEST(AnimatedDraw, FrameChoiceAndBlend) {
  int32_t a = -9, b = -9;
  float t = -9;
  ChooseAnimationFrames(0, 2, 0.25f, true, 3, &a, &b, &t);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_FLOAT_EQ(t, 0.5f);
  ChooseAnimationFrames(0, 2, 1.25f, true, 3, &a, &b, &t);  // taken as 0.25
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_FLOAT_EQ(t, 0.5f);
  ChooseAnimationFrames(0, 2, -0.25f, true, 3, &a, &b, &t);  // |fmod| as well
  EXPECT_EQ(a, 0);
  EXPECT_FLOAT_EQ(t, 0.5f);
  // Backwards: p = 2 - 2 * 0.75 = 0.5; A = 1, B = 0, t = 0.5.
  ChooseAnimationFrames(2, 0, 0.75f, true, 3, &a, &b, &t);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0);
  EXPECT_FLOAT_EQ(t, 0.5f);
  ChooseAnimationFrames(1, 1, 0.6f, true, 3, &a, &b, &t);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(t, 0.0f);
  // Without interpolation: A is the target frame, the weight as given.
  ChooseAnimationFrames(0, 2, 0.3f, false, 3, &a, &b, &t);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0);
  EXPECT_FLOAT_EQ(t, 0.3f);
  // Frames outside the mesh are clamped to it.
  ChooseAnimationFrames(-4, 9, 0.0f, false, 3, &a, &b, &t);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0);
}

}  // namespace
