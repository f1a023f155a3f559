// The main program's logic, the translated program run in this process on a
// started runtime up to a chosen statement: the scene file becoming objects and sprites, the per-type transforms of the
// drawing passes, scenes that are odd or cut short, the frame-rate text, the
// globals and the call-by-name table.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app_test_util.h"
#include "host/runtime.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

namespace {

namespace fs = std::filesystem;
using app_test::MainStatement;
using app_test::RunMainProgramTo;
using app_test::SceneObject;
using app_test::SceneText;

constexpr double kPi = 3.14159265358979323846;

// A folder with the shipped textures and a scene file of the test's own, the
// current directory while the test runs (the program reads "test.pvs" and
// "media/" from there).
class SceneFolder {
 public:
  explicit SceneFolder(const std::string& scene, bool withScene = true) {
    old_ = fs::current_path();
    fs::copy(std::string(VELMORA_SOURCE_DIR) + "/data/media", dir_.path() + "media",
             fs::copy_options::recursive);
    if (withScene) testing_support::WriteWholeFile(dir_.File("test.pvs"), scene);
    fs::current_path(dir_.path());
  }
  ~SceneFolder() { fs::current_path(old_); }

 private:
  testing_support::TempDir dir_;
  fs::path old_;
};

class MainProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program's own window size from the start: the start-up's
    // SetScreenMode then changes nothing.
    testing_support::RuntimeOptions options;
    options.width = 1024;
    options.height = 768;
    testing_support::StartTestRuntime(options);
    TheDebugState.breakpointCount = 0;
    TheDebugState.breakRequest = 0;
    TheDebugState.stepCommand = kStepRun;
    for (int32_t id = 1; id <= 8; ++id) app_test::ClearObject(id);
    for (int32_t id = 1; id <= 3; ++id) DeleteSprite(id);
  }

  // The start-up on the scene in the current folder: up to the frame loop.
  void StartUp() { RunMainProgramTo(MainStatement("Begin3D(")); }

  // The start-up and the first frame's first drawing pass; returns the
  // movement matrix the pass left behind.
  std::array<double, 16> DrawPass() {
    RunMainProgramTo(MainStatement("SetLight("));
    BasicArray<double> m;
    GetMovementMatrix(m);
    End3D();
    std::array<double, 16> result{};
    for (int k = 0; k < 16; ++k) result[k] = ArrayElement(m, k);
    return result;
  }
};

int32_t Packed(int r, int g, int b) { return r + g * 256 + b * 65536; }

// ------------------------------------------------------------ scene file to objects

TEST_F(MainProgram, SceneRecordsBecomeObjectsOfTheirTypes) {
  std::vector<SceneObject> objects(7);
  const double types[7] = {1, 2, 3, 4, 5, 0, 7};
  for (int k = 0; k < 7; ++k) {
    objects[k].type = types[k];
    objects[k].rgb[0] = 10 * (k + 1);
    objects[k].rgb[1] = 20;
    objects[k].rgb[2] = 30;
    objects[k].tileU = 0.5;
    objects[k].tileV = 4;
  }
  // Colour channels are truncated and keep their low 8 bits.
  objects[0].rgb[0] = 300.9;
  objects[0].rgb[1] = -1;
  objects[0].rgb[2] = 12.9;
  SceneFolder folder(SceneText({"checker.png", "wood.png"}, objects));
  StartUp();

  EXPECT_EQ(polyvane::ktm, 2);
  EXPECT_EQ(polyvane::nm, 7);
  for (int32_t id = 1; id <= 2; ++id) {
    int32_t w = 0, h = 0;
    GetSpriteSize(id, w, h);
    EXPECT_EQ(w, 128) << "sprite " << id;
    EXPECT_EQ(h, 128) << "sprite " << id;
  }
  EXPECT_EQ(app_test::TriangleCount(1), 8 * 32) << "sphere of 16 segments";
  EXPECT_EQ(app_test::TriangleCount(2), 12) << "box";
  EXPECT_EQ(app_test::TriangleCount(3), 10 * 3) << "cone of 10 slices";
  EXPECT_EQ(app_test::TriangleCount(4), 15 * 4) << "cylinder of 15 slices";
  EXPECT_EQ(app_test::TriangleCount(5), 2) << "floor";
  EXPECT_FALSE(app_test::Valid(6)) << "type 0 builds nothing";
  EXPECT_FALSE(app_test::Valid(7)) << "type 7 builds nothing";

  // Sphere radius 5, box edge 10, cone and cylinder radius 5 and height 10.
  float radius = 0, boxExtent = 0, coneTop = 0;
  for (const auto& v : app_test::AllVertices(1)) radius = std::max(radius, std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
  for (const auto& v : app_test::AllVertices(2)) boxExtent = std::max(boxExtent, std::fabs(v.x));
  for (const auto& v : app_test::AllVertices(3)) coneTop = std::max(coneTop, v.z);
  EXPECT_NEAR(radius, 5, 1e-4);
  EXPECT_NEAR(boxExtent, 5, 1e-4);
  EXPECT_NEAR(coneTop, 10, 1e-4);

  const auto sphere = app_test::AllVertices(1);
  EXPECT_EQ(sphere[0].colour, Packed(300 & 255, 255, 12));
  // The tile sizes become repeat factors 1 / 0.5 and 1 / 4.
  float maxU = 0, maxV = 0;
  for (const auto& v : sphere) {
    maxU = std::max(maxU, v.u);
    maxV = std::max(maxV, v.v);
  }
  EXPECT_NEAR(maxU, 2.0, 1e-5);
  EXPECT_NEAR(maxV, 0.25, 1e-5);
  for (int32_t id = 2; id <= 5; ++id) EXPECT_EQ(app_test::AllVertices(id)[0].colour, Packed(10 * id, 20, 30));
}

TEST_F(MainProgram, NoTexturesAndZeroTileSizesStillBuildTheObjects) {
  SceneObject sphere;
  sphere.texture = 1;  // no texture was loaded into sprite 1
  sphere.tileU = 0;
  sphere.tileV = 0;
  SceneFolder folder(SceneText({}, {sphere}));
  // Up to the end of the first frame, which draws it.
  const int32_t frameDrawn = MainStatement("showFPS()");
  const Number counter = RunMainProgramTo(frameDrawn)[frameDrawn];
  EXPECT_EQ(polyvane::ktm, 0);
  int32_t w = -1, h = -1;
  GetSpriteSize(1, w, h);
  EXPECT_EQ(w, 0);
  EXPECT_TRUE(std::isinf(polyvane::u) && std::isinf(polyvane::v)) << "1 / 0 is an infinite repeat";
  ASSERT_TRUE(app_test::Valid(1));
  bool nonFinite = false;
  for (const auto& v : app_test::AllVertices(1)) nonFinite |= !std::isfinite(v.u);
  EXPECT_TRUE(nonFinite);
  EXPECT_EQ(counter, 2) << "the second pass ran over the one object";
}

TEST_F(MainProgram, SceneThatEndsEarlyReadsZerosFromThere) {
  SceneObject box;
  box.type = 2;
  box.rgb[0] = 200;
  std::string scene = SceneText({}, {box, box});
  // Cut the second record after its type: 2 + 17 + 1 lines are kept.
  size_t cut = 0;
  for (int line = 0; line < 2 + 17 + 1; ++line) cut = scene.find('\n', cut) + 1;
  scene.resize(cut);
  // Three objects are announced.
  scene.replace(scene.find("2\n", 2), 2, "3\n");
  SceneFolder folder(scene);
  StartUp();
  EXPECT_EQ(polyvane::nm, 3);
  ASSERT_TRUE(app_test::Valid(1));
  EXPECT_EQ(app_test::AllVertices(1)[0].colour, Packed(200, 255, 255));
  ASSERT_TRUE(app_test::Valid(2)) << "the type was read; the rest of the record is zeros";
  EXPECT_EQ(app_test::AllVertices(2)[0].colour, 0);
  EXPECT_FALSE(app_test::Valid(3));
  EXPECT_EQ(ArrayElement(polyvane::ot, 3), 0);
}

// Counts as the scene gives them: the texture loop stops where the file
// ends whatever the count, and a count that is no finite number reads as 0.
TEST_F(MainProgram, CountsThatAreNotFiniteReadAsZeroAndTexturesStopAtTheEnd) {
  struct Case {
    const char* scene;
    double ktm, nm;
    int32_t loadedTextures;  // the texture loop's counter when it ended
  };
  const Case cases[] = {
      {"nan\nnan\n", 0, 0, 1},
      {"inf\n-inf\n", 0, 0, 1},
      {"1e308\nbricks.png\n", 1e308, 0, 2},
      {"-1e308\n-5\n", -1e308, -5, 1},
      {"2\nbricks.png\nstone.png\n-inf\n", 2, 0, 3},
  };
  const auto width = [](int32_t id) {
    int32_t w = 0, h = 0;
    GetSpriteSize(id, w, h);
    return w;
  };
  for (const Case& c : cases) {
    SceneFolder folder(c.scene);
    for (int32_t id = 1; id <= 3; ++id) DeleteSprite(id);
    const int32_t afterTextures = MainStatement("ReadNumberLine(1, nm)");
    const Number counter = RunMainProgramTo(MainStatement("Begin3D("), {afterTextures})[afterTextures];
    EXPECT_EQ(polyvane::ktm, c.ktm) << c.scene;
    EXPECT_EQ(polyvane::nm, c.nm) << c.scene;
    EXPECT_EQ(counter, c.loadedTextures) << c.scene;
    // Only the named textures were loaded; the loop never ran past them.
    for (int32_t id = 1; id < c.loadedTextures; ++id) EXPECT_GT(width(id), 0) << c.scene << " id " << id;
    EXPECT_EQ(width(c.loadedTextures), 0) << c.scene;
  }
}

// ------------------------------------------------------------ drawing passes

// x' = M x for a column-major 4 x 4 matrix and a point.
std::array<double, 3> Apply(const std::array<double, 16>& m, double x, double y, double z) {
  return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
          m[2] * x + m[6] * y + m[10] * z + m[14]};
}

// Rotation of p by angle degrees about axis (Rodrigues).
std::array<double, 3> Rotate(std::array<double, 3> p, double angle, std::array<double, 3> axis) {
  const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  if (length < 1e-9) return p;
  for (double& a : axis) a /= length;
  const double c = std::cos(angle * kPi / 180), s = std::sin(angle * kPi / 180);
  const double dot = axis[0] * p[0] + axis[1] * p[1] + axis[2] * p[2];
  const std::array<double, 3> cross = {axis[1] * p[2] - axis[2] * p[1], axis[2] * p[0] - axis[0] * p[2],
                                       axis[0] * p[1] - axis[1] * p[0]};
  std::array<double, 3> r{};
  for (int k = 0; k < 3; ++k) r[k] = p[k] * c + cross[k] * s + axis[k] * dot * (1 - c);
  return r;
}

struct TransformCase {
  const char* name;
  double type;
  std::array<double, 3> rot, scale, pos;
  // The rotation and the scale the pass should apply.
  double angle;
  std::array<double, 3> axis, appliedScale;
};

TEST_F(MainProgram, EachTypeIsDrawnWithItsTranslationScaleAndRotation) {
  const TransformCase cases[] = {
      {"sphere", 1, {0, 1, 0}, {1, 2, 3}, {1, 2, 3}, 90, {0, 1, 0}, {1, 2, 3}},
      {"box", 2, {1, 1, 0}, {2, 2, 2}, {-4, 0, 6}, 90, {1, 1, 0}, {2, 2, 2}},
      {"cone", 3, {0, 0, 0}, {1, 2, 3}, {0, 1, 0}, 90, {-90, 0, 0}, {1, 2, 3}},
      {"cylinder", 4, {30, 5, 0}, {1, 2, 3}, {2, 0, -2}, 90, {-60, 5, 0}, {1, 3, 2}},
      {"floor", 5, {10, 20, 30}, {50, 1, 40}, {0, -3, 0}, 0, {1, 0, 0}, {50, 1, 40}},
      {"unknown type 7", 7, {0, 0, 1}, {1, 1, 1}, {3, 0, 0}, 90, {0, 0, 1}, {1, 1, 1}},
  };
  for (const TransformCase& c : cases) {
    SceneObject object;
    object.type = c.type;
    for (int k = 0; k < 3; ++k) {
      object.rot[k] = c.rot[k];
      object.scale[k] = c.scale[k];
      object.pos[k] = c.pos[k];
    }
    SceneFolder folder(SceneText({}, {object}));
    const std::array<double, 16> m = DrawPass();
    const double points[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const auto& p : points) {
      std::array<double, 3> expected = {p[0] * c.appliedScale[0], p[1] * c.appliedScale[1], p[2] * c.appliedScale[2]};
      expected = Rotate(expected, c.angle, c.axis);
      for (int k = 0; k < 3; ++k) expected[k] += 5 * c.pos[k];
      const std::array<double, 3> got = Apply(m, p[0], p[1], p[2]);
      for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(got[k], expected[k], 1e-3) << c.name << " point (" << p[0] << ", " << p[1] << ", " << p[2] << ")";
    }
  }
}

TEST_F(MainProgram, ConesAndCylindersStandUpAlongY) {
  SceneObject cone;
  cone.type = 3;
  cone.rot[1] = 0;  // rotation (0, 0, 0): a quarter turn about -x only
  SceneObject cylinder = cone;
  cylinder.type = 4;
  cylinder.scale[1] = 2;  // the file's y scale stretches the height
  for (const SceneObject& object : {cone, cylinder}) {
    SceneFolder folder(SceneText({}, {object}));
    const auto m = DrawPass();
    const auto top = Apply(m, 0, 0, 10);  // the apex or the top cap's centre
    EXPECT_NEAR(top[0], 0, 1e-3);
    EXPECT_NEAR(top[1], 10 * object.scale[1], 1e-3);
    EXPECT_NEAR(top[2], 0, 1e-3);
  }
}

TEST_F(MainProgram, TypeZeroIsNeitherBuiltNorDrawn) {
  SceneObject skipped;
  skipped.type = 0;
  skipped.pos[0] = 7;
  skipped.scale[0] = 3;
  SceneObject sphere;
  sphere.type = 1;
  sphere.rgb[1] = 17;
  SceneFolder folder(SceneText({}, {skipped, sphere, skipped}));
  const auto m = DrawPass();
  EXPECT_FALSE(app_test::Valid(1));
  ASSERT_TRUE(app_test::Valid(2)) << "the 16 further lines of the type-0 record were read";
  EXPECT_EQ(app_test::AllVertices(2)[0].colour, Packed(255, 17, 255));
  // The last object drawn is the sphere at the origin: the type-0 object
  // after it set no transform.
  const auto p = Apply(m, 1, 0, 0);
  const auto expected = Rotate({1, 0, 0}, 90, {0, 1, 0});
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], expected[k], 1e-3);
}

// ------------------------------------------------------------ frame rate

TEST_F(MainProgram, FrameRateOfSixteenMillisecondFramesShowsAfterFiftyOneFrames) {
  SetScreenMode(1024, 768, 0);
  polyvane::g_frame = 0;
  polyvane::g_time = 0;
  polyvane::g_shwFPS = 0;
  const auto frameOf16ms = [] {
    TheFrameClock().previousFrameTime = 1000;
    TheFrameClock().frameTime = 1016;
    polyvane::showFPS();
  };
  for (int k = 0; k < 50; ++k) frameOf16ms();
  EXPECT_EQ(polyvane::g_shwFPS, 0) << "800 ms are not exceeded after 50 frames";
  EXPECT_EQ(polyvane::g_frame, 50);

  // The text as showFPS draws it on the 51st frame, against texts drawn
  // directly.
  const auto region = [](const std::function<void()>& draw) {
    ClearScreen(0);
    draw();
    return testing_support::ReadPixels(896, 6, 120, 24);
  };
  const auto shown = region(frameOf16ms);
  EXPECT_DOUBLE_EQ(polyvane::g_shwFPS, 51.0 / 816.0 * 1000.0);
  EXPECT_EQ(polyvane::g_frame, 0);
  EXPECT_EQ(polyvane::g_time, 0);
  const auto text = [](const char* t) {
    return [t] {
      SetAlphaMode(0);
      PrintText(t, 900, 10, 0);
    };
  };
  const auto expected = region(text("FPS: 62"));
  const auto other = region(text("FPS: 63"));
  const auto before = region(text("FPS: 0"));
  const auto same = [](const std::vector<testing_support::Rgba>& a, const std::vector<testing_support::Rgba>& b) {
    for (size_t k = 0; k < a.size(); ++k)
      if (a[k].r != b[k].r || a[k].g != b[k].g || a[k].b != b[k].b) return false;
    return true;
  };
  EXPECT_TRUE(same(shown, expected)) << "showFPS printed \"FPS: 62\" at (900, 10)";
  EXPECT_FALSE(same(shown, other));
  EXPECT_FALSE(same(shown, before));
}

// ------------------------------------------------------------ globals and call by name

TEST_F(MainProgram, GlobalsAreRegisteredInOrderAndRemovedAtTheEnd) {
  const int32_t before = GlobalVariables.count;
  polyvane::globalSetup();
  const int32_t N = kVariableNumber, A = kVariableNumberArray, S = kVariableString;
  const struct {
    const char* name;
    int32_t type;
  } globals[] = {{"z", N},        {"orx", A},   {"ory", A},     {"orz", A},    {"opx", A},    {"opy", A},
                 {"opz", A},      {"osx", A},   {"osy", A},     {"osz", A},    {"rc", A},     {"gc", A},
                 {"bc", A},       {"nt", A},    {"ot", A},      {"test_Str", S}, {"ktm", N},  {"a_Str", S},
                 {"nm", N},       {"OSG", N},   {"u", N},       {"v", N},      {"mx", N},     {"my", N},
                 {"mb1", N},      {"mb2", N},   {"g_frame", N}, {"g_time", N}, {"g_shwFPS", N}};
  const int32_t count = sizeof globals / sizeof globals[0];
  ASSERT_EQ(GlobalVariables.count, before + count);
  for (int32_t k = 0; k < count; ++k) {
    const VariableEntry& entry = GlobalVariables.entries[before + k];
    EXPECT_STREQ(entry.name, globals[k].name);
    EXPECT_EQ(entry.type, globals[k].type) << globals[k].name;
  }
  EXPECT_EQ(GlobalVariables.entries[before + 0].address, &polyvane::z);
  EXPECT_EQ(GlobalVariables.entries[before + 15].address, &polyvane::test_Str);
  EXPECT_EQ(GlobalVariables.entries[before + 28].address, &polyvane::g_shwFPS);

  DimArray(polyvane::orx, 10);
  polyvane::a_Str = "wood.png";
  polyvane::globalTeardown();
  EXPECT_EQ(GlobalVariables.count, before);
  EXPECT_EQ(polyvane::orx.data, nullptr);
  EXPECT_TRUE(polyvane::a_Str.IsEmpty());
}

TEST_F(MainProgram, OnlyShowFpsCanBeCalledByName) {
  SetCallByNameTable(polyvane::kCallByName);
  polyvane::g_frame = 0;
  polyvane::g_time = 0;
  EXPECT_EQ(CallByName("showFPS"), 1.0);
  EXPECT_EQ(polyvane::g_frame, 1);
  EXPECT_EQ(CallByName("createFloor"), 0.0);
  EXPECT_EQ(CallByName("VLM_ON_PAUSE"), 0.0);
  EXPECT_EQ(FindRoutineByName("VLM_ON_QUIT"), nullptr);
}

}  // namespace
