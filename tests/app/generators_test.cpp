// The shape generators: the vertex sequences, texture coordinates, strips
// and normal modes they leave in the mesh table, and what they tell the line
// hook and the variable registry.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app_test_util.h"

namespace {

using app_test::AllVertices;
using app_test::Engine;
using app_test::Strips;
using app_test::Vertex;

constexpr double kPi = 3.14159265358979323846;
constexpr float kTol = 1e-4f;

void ExpectPosition(const Vertex& v, double x, double y, double z, const std::string& where) {
  EXPECT_NEAR(v.x, x, kTol) << where;
  EXPECT_NEAR(v.y, y, kTol) << where;
  EXPECT_NEAR(v.z, z, kTol) << where;
}

void ExpectTexture(const Vertex& v, double u, double tv, const std::string& where) {
  EXPECT_NEAR(v.u, u, kTol) << where;
  EXPECT_NEAR(v.v, tv, kTol) << where;
}

void ExpectSameVertices(const std::vector<Vertex>& a, const std::vector<Vertex>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t k = 0; k < a.size(); ++k) {
    const std::string where = "vertex " + std::to_string(k);
    ExpectPosition(a[k], b[k].x, b[k].y, b[k].z, where);
    ExpectTexture(a[k], b[k].u, b[k].v, where);
    EXPECT_EQ(a[k].colour, b[k].colour) << where;
  }
}

std::vector<size_t> StripSizes(int32_t id) {
  std::vector<size_t> sizes;
  for (const auto& strip : Strips(id)) sizes.push_back(strip.size());
  return sizes;
}

class Generators : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine();
    ClearLastError();
    // No debugger stops while the generators run.
    TheDebugState.breakpointCount = 0;
    TheDebugState.breakRequest = 0;
    TheDebugState.stepCommand = kStepRun;
  }
};

// ------------------------------------------------------------ sphere

TEST_F(Generators, SphereOfFourSegmentsHasTwoBandsFromPoleToEquatorToPole) {
  polyvane::createSphere(10, 10, 4, 0x123456 + 0.75, 1, 1);
  EXPECT_EQ(Engine().normalMode, 2);
  const auto strips = Strips(10);
  // Two bands of 2 * 5 vertices; each band ends with a new strip.
  ASSERT_EQ(StripSizes(10), (std::vector<size_t>{10, 10, 0}));
  // Band 0 runs from latitude -90 (lower vertices) to 0 (upper), band 1 from
  // 0 to 90; longitude takes 0, 90, 180, 270, 360 degrees.
  const double ring[5][2] = {{10, 0}, {0, 10}, {-10, 0}, {0, -10}, {10, 0}};
  for (int i = 0; i < 5; ++i) {
    const std::string where = "i = " + std::to_string(i);
    ExpectPosition(strips[0][2 * i], ring[i][0], 0, ring[i][1], "band 0 upper " + where);
    ExpectTexture(strips[0][2 * i], i / 4.0, 0.5, "band 0 upper " + where);
    ExpectPosition(strips[0][2 * i + 1], 0, -10, 0, "band 0 lower " + where);
    ExpectTexture(strips[0][2 * i + 1], i / 4.0, 0.0, "band 0 lower " + where);
    ExpectPosition(strips[1][2 * i], 0, 10, 0, "band 1 upper " + where);
    ExpectTexture(strips[1][2 * i], i / 4.0, 1.0, "band 1 upper " + where);
    ExpectPosition(strips[1][2 * i + 1], ring[i][0], 0, ring[i][1], "band 1 lower " + where);
    ExpectTexture(strips[1][2 * i + 1], i / 4.0, 0.5, "band 1 lower " + where);
  }
  for (const Vertex& v : AllVertices(10)) EXPECT_EQ(v.colour, 0x123456);
}

TEST_F(Generators, SphereClampsItsSegmentsAndRadius) {
  polyvane::createSphere(11, 7, 4, 0xFF, 2, 3);
  polyvane::createSphere(12, 7, 3, 0xFF, 2, 3);
  EXPECT_EQ(StripSizes(12), (std::vector<size_t>{10, 10, 0})) << "n = 3 builds as n = 4";
  ExpectSameVertices(AllVertices(12), AllVertices(11));

  polyvane::createSphere(13, -7, 4, 0xFF, 2, 3);
  ExpectSameVertices(AllVertices(13), AllVertices(11));

  // n = 5: trunc(2.5) - 1 = 1, so two bands of 2 * 6 vertices.
  polyvane::createSphere(14, 7, 5, 0xFF, 1, 1);
  EXPECT_EQ(StripSizes(14), (std::vector<size_t>{12, 12, 0}));
  for (const Vertex& v : AllVertices(14))
    EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 7.0, 1e-4);
}

TEST_F(Generators, SphereOfSixteenSegmentsHasItsSeamAtUEqualsU) {
  polyvane::createSphere(15, 5, 16, 0xFFFFFF, 0.5, 0.25);
  const auto strips = Strips(15);
  ASSERT_EQ(strips.size(), 9u);  // 8 bands and the empty strip after the last
  for (int band = 0; band < 8; ++band) {
    ASSERT_EQ(strips[band].size(), 34u);
    // The seam pair repeats the first pair's positions with u instead of 0.
    ExpectPosition(strips[band][32], strips[band][0].x, strips[band][0].y, strips[band][0].z, "seam");
    EXPECT_NEAR(strips[band][0].u, 0.0, kTol);
    EXPECT_NEAR(strips[band][32].u, 0.5, kTol);
    // Upper vertices lie at the higher latitude of the band.
    const double upper = -90.0 + 180.0 * (band + 1) / 8;
    EXPECT_NEAR(strips[band][0].y, 5 * std::sin(upper * kPi / 180), kTol);
    EXPECT_NEAR(strips[band][0].v, 0.25 * (band + 1) / 8, kTol);
  }
  EXPECT_EQ(app_test::TriangleCount(15), 8 * 32);
}

// ------------------------------------------------------------ box and floor

TEST_F(Generators, BoxHasSixFacesInOrderAtHalfItsEdge) {
  SetMeshNormalMode(2);
  polyvane::createBox(20, 10, 0x00FF00, 2, 3);
  EXPECT_EQ(Engine().normalMode, 1);
  const auto strips = Strips(20);
  ASSERT_EQ(StripSizes(20), (std::vector<size_t>{4, 4, 4, 4, 4, 4, 0}));
  // x, y, z, u, v per vertex with h = 5, u = 2, v = 3.
  const double faces[6][4][5] = {
      {{5, -5, 5, 2, 0}, {-5, -5, 5, 0, 0}, {5, 5, 5, 2, 3}, {-5, 5, 5, 0, 3}},          // +z
      {{-5, 5, -5, 2, 3}, {-5, -5, -5, 2, 0}, {5, 5, -5, 0, 3}, {5, -5, -5, 0, 0}},      // -z
      {{-5, 5, 5, 0, 0}, {-5, 5, -5, 0, 3}, {5, 5, 5, 2, 0}, {5, 5, -5, 2, 3}},          // +y
      {{5, -5, -5, 0, 3}, {-5, -5, -5, 2, 3}, {5, -5, 5, 0, 0}, {-5, -5, 5, 2, 0}},      // -y
      {{5, 5, -5, 2, 3}, {5, -5, -5, 2, 0}, {5, 5, 5, 0, 3}, {5, -5, 5, 0, 0}},          // +x
      {{-5, -5, 5, 2, 0}, {-5, -5, -5, 0, 0}, {-5, 5, 5, 2, 3}, {-5, 5, -5, 0, 3}},      // -x
  };
  for (int f = 0; f < 6; ++f) {
    for (int k = 0; k < 4; ++k) {
      const std::string where = "face " + std::to_string(f) + " vertex " + std::to_string(k);
      ExpectPosition(strips[f][k], faces[f][k][0], faces[f][k][1], faces[f][k][2], where);
      ExpectTexture(strips[f][k], faces[f][k][3], faces[f][k][4], where);
      EXPECT_EQ(strips[f][k].colour, 0x00FF00) << where;
    }
  }
  EXPECT_EQ(app_test::TriangleCount(20), 12);
}

TEST_F(Generators, FloorIsOneSquareStripOfSideFourWithoutAClosingStrip) {
  polyvane::createFloor(21, 0x808080, 2, 3);
  EXPECT_EQ(Engine().normalMode, 1);
  const auto strips = Strips(21);
  ASSERT_EQ(StripSizes(21), (std::vector<size_t>{4}));
  const double expected[4][5] = {{-2, 0, -2, 0, 0}, {2, 0, -2, 2, 0}, {-2, 0, 2, 0, 3}, {2, 0, 2, 2, 3}};
  for (int k = 0; k < 4; ++k) {
    ExpectPosition(strips[0][k], expected[k][0], expected[k][1], expected[k][2], std::to_string(k));
    ExpectTexture(strips[0][k], expected[k][3], expected[k][4], std::to_string(k));
  }
  EXPECT_EQ(app_test::TriangleCount(21), 2);
}

// ------------------------------------------------------------ cylinder

TEST_F(Generators, ConeHasBottomCapsAndSideStripsButNoTopCap) {
  polyvane::createCylinder(30, 5, 0, 10, 10, 1, 0x0000FF, 2, 3);
  EXPECT_EQ(Engine().normalMode, 2);
  const auto strips = Strips(30);
  std::vector<size_t> expected;
  for (int i = 0; i < 10; ++i) {
    expected.push_back(3);
    expected.push_back(4);
  }
  expected.push_back(0);
  ASSERT_EQ(StripSizes(30), expected);
  for (int i = 0; i < 10; ++i) {
    const std::string where = "slice " + std::to_string(i);
    const double a1 = 36.0 * i * kPi / 180, a2 = 36.0 * (i + 1) * kPi / 180;
    const auto& bottom = strips[2 * i];
    ExpectPosition(bottom[0], 0, 0, 0, where);
    ExpectTexture(bottom[0], 0.5, 0.5, where + " (centre not scaled by u, v)");
    ExpectPosition(bottom[1], 5 * std::cos(a1), 5 * std::sin(a1), 0, where);
    ExpectTexture(bottom[1], (std::cos(a1) * 0.5 + 0.5) * 2, (std::sin(a1) * 0.5 + 0.5) * 3, where);
    ExpectPosition(bottom[2], 5 * std::cos(a2), 5 * std::sin(a2), 0, where);
    const auto& side = strips[2 * i + 1];
    ExpectPosition(side[0], 5 * std::cos(a2), 5 * std::sin(a2), 0, where);
    ExpectTexture(side[0], 2.0 * (i + 1) / 10, 0, where);
    ExpectPosition(side[1], 5 * std::cos(a1), 5 * std::sin(a1), 0, where);
    ExpectTexture(side[1], 2.0 * i / 10, 0, where);
    // The upper pair sits at the apex.
    ExpectPosition(side[2], 0, 0, 10, where);
    ExpectPosition(side[3], 0, 0, 10, where);
    ExpectTexture(side[3], 2.0 * i / 10, 3, where);
  }
}

TEST_F(Generators, FrustumTopCapRimMatchesTheLastSidePair) {
  polyvane::createCylinder(31, 5, 3, 10, 8, 2, 0xFFFFFF, 1, 1);
  const auto strips = Strips(31);
  ASSERT_EQ(strips.size(), 8u * 3 + 1);
  for (int i = 0; i < 8; ++i) {
    const auto& side = strips[3 * i + 1];
    const auto& top = strips[3 * i + 2];
    ASSERT_EQ(side.size(), 6u);
    ASSERT_EQ(top.size(), 3u);
    const std::string where = "slice " + std::to_string(i);
    // Radius 5 at z = 0, 4 at z = 5, 3 at z = 10.
    EXPECT_NEAR(std::hypot(side[2].x, side[2].y), 4.0, kTol) << where;
    EXPECT_NEAR(side[2].z, 5.0, kTol) << where;
    EXPECT_NEAR(std::hypot(top[0].x, top[0].y), 3.0, kTol) << where;
    ExpectPosition(top[0], side[4].x, side[4].y, 10, where);
    ExpectPosition(top[1], side[5].x, side[5].y, 10, where);
    ExpectPosition(top[2], 0, 0, 10, where);
    ExpectTexture(top[2], 0.5, 0.5, where);
  }
}

TEST_F(Generators, InvertedConeHasNoBottomCapAndNoStripForIt) {
  polyvane::createCylinder(32, 0, 5, 10, 6, 1, 0xFFFFFF, 1, 1);
  std::vector<size_t> expected;
  for (int i = 0; i < 6; ++i) {
    expected.push_back(4);  // the side strip straight after the previous slice
    expected.push_back(3);  // the top cap
  }
  expected.push_back(0);
  ASSERT_EQ(StripSizes(32), expected);
  for (const Vertex& v : AllVertices(32)) {
    if (v.z < 1e-3f) {
      EXPECT_NEAR(std::hypot(v.x, v.y), 0.0, kTol);
    }
  }
}

TEST_F(Generators, CylinderMakesItsSidesOfStacksPlusOnePairs) {
  // The type-4 object of the main program: 15 slices, one stack, radius 5.
  polyvane::createCylinder(33, 5, 5, 10, 15, 1, 0xFFFFFF, 1, 1);
  EXPECT_EQ(app_test::TriangleCount(33), 15 * (1 + 2 + 1));
  for (const Vertex& v : AllVertices(33)) {
    const double radius = std::hypot(v.x, v.y);
    EXPECT_TRUE(std::fabs(radius - 5) < 1e-4 || radius < 1e-4) << radius;
    EXPECT_TRUE(std::fabs(v.z) < 1e-4 || std::fabs(v.z - 10) < 1e-4) << v.z;
  }
}

// ------------------------------------------------------------ the generators the program does not call

TEST_F(Generators, WrappedTorusWrapsPositionsButNotTextureCoordinates) {
  polyvane::createWrappedTorus(40, 2, 10, 2, 4, 3, 5, 0xFFFFFF);
  EXPECT_EQ(Engine().normalMode, 2);
  const auto strips = Strips(40);
  ASSERT_EQ(StripSizes(40), (std::vector<size_t>{10, 10, 0}));
  // The first vertex (wrap 0, j = 0, i = 1) sits half way round the ring, on
  // the outside of the tube: (0, 0, -(10 + 2)).
  ExpectPosition(strips[0][0], 0, 0, -12, "first");
  ExpectTexture(strips[0][0], 3 * 0.5, 0, "first");
  // j = 4 of the last wrap comes back to the same place with u 3 * (2 + 1) / 2.
  const Vertex& back = strips[1][8];
  ExpectPosition(back, strips[0][0].x, strips[0][0].y, strips[0][0].z, "wrapped");
  ExpectTexture(back, 3 * 1.5, 5, "wrapped");
  // Every vertex lies on the tube: distance 2 from the ring of radius 10.
  for (const Vertex& v : AllVertices(40))
    EXPECT_NEAR(std::hypot(std::hypot(v.x, v.z) - 10, v.y), 2.0, 1e-4);
}

TEST_F(Generators, CoilSpringEmitsQuadsAlongTheTube) {
  polyvane::createCoilSpring(41, 10, 2, 8, 6, 2, 30, 0x00FFFF);
  EXPECT_EQ(Engine().normalMode, 2);
  std::vector<size_t> expected(8, 4 * 6);
  expected.push_back(0);
  ASSERT_EQ(StripSizes(41), expected);
  float top = -1e9f;
  for (const Vertex& v : AllVertices(41)) {
    const double fromAxis = std::hypot(v.x, v.z);
    EXPECT_GE(fromAxis, 8 - 1e-4);
    EXPECT_LE(fromAxis, 12 + 1e-4);
    EXPECT_EQ(v.colour, 0x00FFFF);
    top = std::max(top, v.y);
  }
  // The coil rises by its height; the tube adds at most its radius times the
  // largest sine among its 60-degree steps.
  EXPECT_NEAR(top, 30 + 2 * std::sin(60 * kPi / 180), 1e-3);
  const auto strips = Strips(41);
  // The quad corners: (0, 0), (1, 0), (0, 1), (1, 1) in texture steps.
  ExpectTexture(strips[0][0], 0, 0, "q0");
  ExpectTexture(strips[0][1], 1.0 / 8 * 2, 0, "q1");
  ExpectTexture(strips[0][2], 0, 1.0 / 6, "q2");
  ExpectTexture(strips[0][3], 1.0 / 8 * 2, 1.0 / 6, "q3");
  ExpectTexture(strips[7][23], 2, 1, "last");
}

TEST_F(Generators, SpiralRibbonRunsFromTheAxisOutwardWhileRising) {
  polyvane::createSpiralRibbon(42, 10, 8, 4, 1, 20, 0xFFFFFF);
  std::vector<size_t> expected(8, 4 * 4);
  expected.push_back(0);
  ASSERT_EQ(StripSizes(42), expected);
  const auto strips = Strips(42);
  ExpectPosition(strips[0][0], 0, 0, 0, "first");
  float top = -1e9f;
  for (const Vertex& v : AllVertices(42)) {
    EXPECT_LE(std::hypot(v.x, v.z), 10 + 1e-4);
    EXPECT_GE(v.y, -1e-4);
    top = std::max(top, v.y);
  }
  EXPECT_NEAR(top, 20, 1e-4);
  // The last quad's far corner: one full turn, radius 10, height 20.
  ExpectPosition(strips[7][15], 10, 20, 0, "last");
}

TEST_F(Generators, StripCubeIsFourteenWhiteCornersWhateverItsSize) {
  SetMeshNormalMode(0);
  polyvane::createStripCube(43, 7);
  EXPECT_EQ(Engine().normalMode, 0) << "the strip cube keeps the normal mode set before";
  const double expected[14][3] = {
      {0.5, 0.5, -0.5},  {-0.5, 0.5, -0.5}, {0.5, -0.5, -0.5}, {-0.5, -0.5, -0.5}, {-0.5, -0.5, 0.5},
      {-0.5, 0.5, -0.5}, {-0.5, 0.5, 0.5},  {0.5, 0.5, -0.5},  {0.5, 0.5, 0.5},    {0.5, -0.5, -0.5},
      {0.5, -0.5, 0.5},  {-0.5, -0.5, 0.5}, {0.5, 0.5, 0.5},   {-0.5, 0.5, 0.5}};
  const auto strips = Strips(43);
  ASSERT_EQ(StripSizes(43), (std::vector<size_t>{14}));
  for (int k = 0; k < 14; ++k) {
    ExpectPosition(strips[0][k], expected[k][0], expected[k][1], expected[k][2], std::to_string(k));
    ExpectTexture(strips[0][k], 0, 0, std::to_string(k));
    EXPECT_EQ(strips[0][k].colour, 0xFFFFFF);
  }
  SetMeshNormalMode(1);
  polyvane::createStripCube(44, 1);
  EXPECT_EQ(Engine().normalMode, 1);
  ExpectSameVertices(AllVertices(44), AllVertices(43));
}

TEST_F(Generators, ZeroCountsBuildNothing) {
  app_test::ClearObject(45);
  polyvane::createCoilSpring(45, 10, 2, 0, 6, 1, 10, 0xFFFFFF);  // no band at all
  EXPECT_FALSE(app_test::Valid(45));
  polyvane::createSphere(45, 5, 16, 0xFFFFFF, 1, 1);
  ASSERT_TRUE(app_test::Valid(45));
  polyvane::createSpiralRibbon(45, 10, -3, 4, 1, 10, 0xFFFFFF);  // rebuilds slot 45 empty
  EXPECT_FALSE(app_test::Valid(45));
  // A segment count that is not a number builds no band at all, and no loop
  // runs for ever. (INT truncates the whole 64-bit number, so a count such as
  // 1e12 asks for 5e11 bands, as the BASIC says.)
  polyvane::createSphere(45, 5, std::nan(""), 0xFFFFFF, 1, 1);
  EXPECT_FALSE(app_test::Valid(45));
}

// ------------------------------------------------------------ line hook and registry

// Each generator reports its statements to the line hook under its module
// and the numbers of the BASIC source: an object number outside the table
// makes BeginMesh record error 7 on BeginMesh's statement, and after the
// routine the last statement executed is its EndMesh.
TEST_F(Generators, StatementsReachTheLineHookWithTheirSourceNumbers) {
  struct Case {
    const char* file;
    const char* routine;
    int32_t module;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"shapes.bas", "createSphere", 1, [] { polyvane::createSphere(5000, 5, 8, 0, 1, 1); }},
      {"shapes.bas", "createBox", 1, [] { polyvane::createBox(5000, 5, 0, 1, 1); }},
      {"shapes.bas", "createCylinder", 1, [] { polyvane::createCylinder(5000, 5, 0, 10, 4, 1, 0, 1, 1); }},
      {"shapes.bas", "createWrappedTorus", 1, [] { polyvane::createWrappedTorus(5000, 1, 5, 2, 4, 1, 1, 0); }},
      {"shapes.bas", "createCoilSpring", 1, [] { polyvane::createCoilSpring(5000, 5, 1, 2, 2, 1, 5, 0); }},
      {"shapes.bas", "createSpiralRibbon", 1, [] { polyvane::createSpiralRibbon(5000, 5, 2, 2, 1, 5, 0); }},
      {"shapes.bas", "createStripCube", 1, [] { polyvane::createStripCube(5000, 1); }},
      {"polyvane.bas", "createFloor", 0, [] { polyvane::createFloor(5000, 0, 1, 1); }},
  };
  for (const Case& c : cases) {
    const int32_t beginLine = app_test::StatementNumber(c.file, c.routine, "BeginMesh(");
    const int32_t lastLine = app_test::LastStatement(c.file, c.routine);
    ASSERT_GT(beginLine, 0) << c.routine;
    ClearLastError();
    ErrorLine = -1;
    c.call();
    EXPECT_EQ(LastErrorCode, 7) << c.routine;
    EXPECT_EQ(ErrorLine, beginLine) << c.routine;
    EXPECT_EQ(CurrentModule, c.module) << c.routine;
    EXPECT_EQ(CurrentLine, lastLine) << c.routine;
  }
}

// At a stop on its EndMesh statement, a generator's local table holds its
// parameters and then its locals, by name, in declaration order.
TEST_F(Generators, ParametersAndLocalsAreRegisteredByName) {
  struct Case {
    const char* file;
    const char* routine;
    int32_t module;
    std::vector<std::string> names;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"shapes.bas", "createSphere", 1,
       {"num", "r", "n", "col", "u", "v", "i", "j", "theta1", "theta2", "theta3", "pi"},
       [] { polyvane::createSphere(50, 5, 8, 0, 1, 1); }},
      {"shapes.bas", "createBox", 1, {"num", "sz", "col", "u", "v"}, [] { polyvane::createBox(50, 5, 0, 1, 1); }},
      {"shapes.bas", "createCylinder", 1,
       {"num", "baseRadius", "topRadius", "height", "slices", "stacks", "col", "u", "v", "da", "r", "dr", "dz", "x",
        "y", "z", "i", "j", "x1", "y1", "x2", "y2"},
       [] { polyvane::createCylinder(50, 5, 0, 10, 4, 1, 0, 1, 1); }},
      {"shapes.bas", "createWrappedTorus", 1,
       {"num", "MinorRadius", "MajorRadius", "NumWraps", "NumPerWrap", "TextureWrapVert", "TextureWrapHoriz", "col",
        "i", "di", "j", "wrapFrac", "wrapFracTex", "phi", "thetaFrac", "thetaFracTex", "theta", "x", "y", "z", "r"},
       [] { polyvane::createWrappedTorus(50, 1, 5, 2, 4, 1, 1, 0); }},
      {"shapes.bas", "createCoilSpring", 1,
       {"num", "R1", "R2", "Nu", "Nv", "cycles", "height", "col", "du", "dv", "u", "v", "x", "y", "z", "tx", "ty",
        "q", "nu", "nv", "i", "j", "qu", "qv"},
       [] { polyvane::createCoilSpring(50, 5, 1, 2, 2, 1, 5, 0); }},
      {"shapes.bas", "createSpiralRibbon", 1,
       {"num", "R1", "Nu", "Nv", "cycles", "height", "col", "du", "dv", "u", "v", "x", "y", "z", "tx", "ty", "q",
        "nu", "nv", "i", "j", "qu", "qv"},
       [] { polyvane::createSpiralRibbon(50, 5, 2, 2, 1, 5, 0); }},
      {"shapes.bas", "createStripCube", 1, {"num", "sz", "s", "n", "m", "x", "y", "z"},
       [] { polyvane::createStripCube(50, 1); }},
      {"polyvane.bas", "createFloor", 0, {"num", "col", "u", "v"}, [] { polyvane::createFloor(50, 0, 1, 1); }},
  };
  for (const Case& c : cases) {
    const int32_t endLine = app_test::StatementNumber(c.file, c.routine, "EndMesh(");
    ASSERT_GT(endLine, 0) << c.routine;
    BreakpointModules[0] = c.module;
    BreakpointLines[0] = endLine;
    TheDebugState.breakpointCount = 1;
    TheDebugState.stepCommand = kStepRun;
    TheDebugState.localCount = -1;
    c.call();
    TheDebugState.breakpointCount = 0;
    ASSERT_EQ(TheDebugState.module, c.module) << c.routine;
    ASSERT_EQ(TheDebugState.line, endLine) << c.routine;
    ASSERT_EQ(TheDebugState.localCount, static_cast<int32_t>(c.names.size())) << c.routine;
    for (size_t k = 0; k < c.names.size(); ++k) {
      const VariableEntry& entry = TheDebugState.localEntries[k];
      EXPECT_STREQ(entry.name, c.names[k].c_str()) << c.routine;
      const int32_t type = c.names[k] == "s" ? kVariableNumberArray : kVariableNumber;
      EXPECT_EQ(entry.type, type) << c.routine << " " << c.names[k];
    }
  }
}

}  // namespace
