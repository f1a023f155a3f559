// Polyvane as a whole: the built program, copied with its media into a
// folder of the test's own next to a scene file, run as a child process
// (offscreen, or on a virtual X display driven by xdotool).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app_test_util.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"
#include "support/screenshot.h"

namespace {

namespace fs = std::filesystem;
using app_test::SceneObject;
using app_test::SceneText;
using testing_support::ChildResult;
using testing_support::TempDir;

const std::string kBinaryDir = VELMORA_BINARY_DIR;
const std::string kSourceDir = VELMORA_SOURCE_DIR;

// A copy of the program, its media and a scene file in a temporary folder
// (the program reads "test.pvs" from its own folder), with a folder of its
// own for the run log.
class ProgramCopy {
 public:
  // scene: the text of test.pvs; null: the shipped scene; "": no scene file.
  explicit ProgramCopy(const char* scene) {
    fs::copy_file(kBinaryDir + "/polyvane", dir_.File("polyvane"));
    fs::copy(kSourceDir + "/data/media", dir_.File("media"), fs::copy_options::recursive);
    if (scene == nullptr)
      fs::copy_file(kSourceDir + "/data/test.pvs", dir_.File("test.pvs"));
    else if (*scene != '\0')
      testing_support::WriteWholeFile(dir_.File("test.pvs"), scene);
    fs::create_directories(dir_.File("tmp"));
    fs::create_directories(dir_.File("out"));
  }
  std::string Folder() const { return dir_.path(); }
  std::string Program() const { return dir_.File("polyvane"); }
  std::string Tmp() const { return dir_.File("tmp/"); }
  std::string Out() const { return dir_.File("out/"); }

  // Runs the copy offscreen with the runtime's automation options.
  ChildResult Run(const std::vector<std::string>& args) const {
    return testing_support::RunProgram(Program(), args, Tmp(), {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, Folder(),
                                       180);
  }

 private:
  TempDir dir_;
};

// The END report at the end of the run log: error code, error line - 1,
// current line, current module.
std::vector<std::string> EndReport(const std::string& runLog) {
  const std::vector<std::string> lines = testing_support::Lines(runLog);
  for (size_t k = 0; k + 4 < lines.size(); ++k)
    if (lines[k] == "-End On Line") return {lines[k + 1], lines[k + 2], lines[k + 3], lines[k + 4]};
  return {};
}

using app_test::MainStatement;

// ------------------------------------------------------------ pictures

using testing_support::Image;
using testing_support::Near;
using testing_support::Rgb;

// The frame's clear colour: red 128, green 128, blue 255.
bool Background(Rgb c) { return Near(c, 128, 128, 255, 2); }

// ------------------------------------------------------------ runs

TEST(EndToEnd, ObjectThousandEndsTheProgramWithTheBoundsError) {
  // 1000 objects announced: the per-object arrays hold 0..999, so the first
  // access to element 1000 (reading its type) stops the program.
  ProgramCopy copy("0\n1000\n");
  const ChildResult result = copy.Run({"--frames", "20"});
  EXPECT_EQ(result.exitCode, 1);  // a failure, not an ordinary end
  const int32_t line = MainStatement("ReadNumberLine(1, ot[i])");
  ASSERT_GT(line, 0);
  EXPECT_EQ(EndReport(result.runLog),
            (std::vector<std::string>{"9", std::to_string(line - 1), std::to_string(line), "0"}))
      << result.runLog;
  EXPECT_NE(result.err.find("bounds: [1000]\naccess: [1000]\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("Rendered"), std::string::npos) << "the frame loop was never reached";
}

TEST(EndToEnd, MissingSceneStillReachesTheFrameLoop) {
  ProgramCopy copy("");
  const ChildResult result = copy.Run({"--frames", "12"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Rendered 12 frames"), std::string::npos) << result.out;
  // The automation ended the program in the frame loop's ShowScreen.
  const int32_t line = MainStatement("ShowScreen()");
  EXPECT_EQ(EndReport(result.runLog),
            (std::vector<std::string>{"0", std::to_string(line - 1), std::to_string(line), "0"}))
      << result.runLog;
}

// A white floor 120 units wide at y = -10 and a red box of edge 20 standing
// on it, neither textured: the box casts its shadow onto the floor.
std::string FloorAndBoxScene() {
  SceneObject floor;
  floor.type = 5;
  floor.rot[1] = 0;
  floor.scale[0] = floor.scale[2] = 30;
  floor.pos[1] = -2;
  SceneObject box;
  box.type = 2;
  box.rgb[1] = box.rgb[2] = 0;
  box.scale[0] = box.scale[1] = box.scale[2] = 2;
  return SceneText({}, {floor, box});
}

// The floor's white, lit and in the shadow (half white, half the shadow
// colour blue 64), and the box's red.
bool LitFloor(Rgb c) { return c.r > 235 && c.g > 235 && c.b > 235; }
bool FloorInShadow(Rgb c) { return Near(c, 128, 128, 160, 14); }
bool Red(Rgb c) { return c.r > 200 && c.g < 40 && c.b < 60; }

// "FPS: " and the rate at (900, 10), on the clear colour.
int TextPixels(const Image& image) {
  return image.Count(896, 6, 128, 20, [](Rgb c) { return !Background(c); });
}

// Offscreen, with the pointer resting in the window's middle (the camera
// high above the floor): the frame is cleared to the program's colour, the
// objects show in their colours, the shadow is darker than the lit floor,
// and the rate is printed in the top right corner.
TEST(EndToEnd, HeadlessRunDrawsTheSceneAndTheFrameRate) {
  const std::string scene = FloorAndBoxScene();
  ProgramCopy copy(scene.c_str());
  const std::string shot = copy.Out() + "shot.png";
  const ChildResult result = copy.Run({"--frames", "120", "--screenshot", shot});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("Rendered 120 frames"), std::string::npos) << result.out;
  Image image;
  ASSERT_TRUE(image.Load(shot));
  ASSERT_EQ(image.Width(), 1024);
  ASSERT_EQ(image.Height(), 768);
  EXPECT_GT(image.Count(Background), 1024 * 768 / 10) << "the clear colour where no object is";
  EXPECT_GT(image.Count(LitFloor), 20000);
  EXPECT_GT(image.Count(Red), 1000);
  EXPECT_GT(image.Count(FloorInShadow), 500) << "the box's shadow on the floor";
  const int text = TextPixels(image);
  EXPECT_GT(text, 20) << "text in the top right corner";
  EXPECT_LT(text, 128 * 20 / 2);
}

// The shipped scene renders its frames and shows its textured floor, and the
// axes marker that the frame loop draws where the camera looks: its y arrow
// (pure green, 20 units) points up from the middle of the screen.
TEST(EndToEnd, ShippedSceneRunsHeadless) {
  ProgramCopy copy(nullptr);
  const std::string shot = copy.Out() + "shot.png";
  const ChildResult result = copy.Run({"--frames", "60", "--screenshot", shot});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("Rendered 60 frames"), std::string::npos) << result.out;
  Image image;
  ASSERT_TRUE(image.Load(shot));
  // Light blue-grey tiles, and the red bricks of the box.
  EXPECT_GT(image.Count([](Rgb c) { return c.b > 180 && c.b > c.r + 10 && c.g > 150; }), 1024 * 768 / 4);
  EXPECT_GT(image.Count([](Rgb c) { return c.r > 120 && c.r > 2 * c.g && c.r > 2 * c.b; }), 300) << "red";
  ASSERT_GT(MainStatement("DrawAxes3D(0, 0, 0)"), MainStatement("SetCamera("));
  const auto green = [](Rgb c) { return c.g > 200 && c.r < 80 && c.b < 80; };
  EXPECT_GT(image.Count(502, 344, 20, 40, green), 5) << "the y arrow above the middle";
  EXPECT_EQ(image.Count(0, 0, 1024, 300, green) + image.Count(0, 468, 1024, 300, green), 0) << "nowhere else";
}

// On a virtual display: the camera follows the mouse (640 pixels turn it
// once round), the floor shows the box's shadow, and Escape ends the
// program through END.
TEST(EndToEnd, MouseTurnsTheCameraAndEscapeEndsTheProgram) {
  const std::string scene = FloorAndBoxScene();
  ProgramCopy copy(scene.c_str());
  const ChildResult session = testing_support::RunProgram(
      "/bin/bash", {kSourceDir + "/tests/app/xvfb_session.sh", copy.Folder(), copy.Out(), copy.Tmp()}, "", {}, "",
      120);
  if (session.exitCode == 77) GTEST_SKIP() << "Xvfb, xdotool or import missing: " << session.out;
  ASSERT_EQ(session.exitCode, 0) << testing_support::ReadWholeFile(copy.Out() + "session.log");

  Image view1, view2, view3;
  ASSERT_TRUE(view1.Load(copy.Out() + "view1.png")) << testing_support::ReadWholeFile(copy.Out() + "session.log");
  ASSERT_TRUE(view2.Load(copy.Out() + "view2.png"));
  ASSERT_TRUE(view3.Load(copy.Out() + "view3.png"));
  ASSERT_EQ(view1.Width(), 1024);
  ASSERT_EQ(view1.Height(), 768);

  // The pointer at (100, 150): the camera 200 units up, looking down on the
  // floor at 45 degrees.
  EXPECT_GT(view1.Count(Background), 10000) << "the clear colour around the floor";
  EXPECT_GT(view1.Count(LitFloor), 20000);
  EXPECT_GT(view1.Count(Red), 1000);
  EXPECT_GT(view1.Count(FloorInShadow), 500) << "the box's shadow on the floor";
  EXPECT_GT(TextPixels(view1), 20) << "the frame rate";

  // 640 pixels further the camera is back where it was; half a turn away
  // it looks from the other side.
  const double turned = view1.Difference(view3, 24);
  EXPECT_LT(view1.Difference(view2, 24), 0.002) << "a full turn";
  EXPECT_GT(turned, 0.01) << "half a turn";

  // The program's standard error names the cause of any other end (a
  // sanitizer's report among them).
  const std::string errors = testing_support::ReadWholeFile(copy.Out() + "stderr.txt");
  EXPECT_EQ(testing_support::ReadWholeFile(copy.Out() + "status.txt"), "ended 0\n")
      << errors.substr(errors.size() > 4000 ? errors.size() - 4000 : 0);
  const std::string runLog = testing_support::ReadWholeFile(copy.Tmp() + "ErrorLog.txt");
  // Error 0, in the frame loop's ShowScreen, module 0. (The second field is
  // the line of the last error recorded, which a quit key leaves alone.)
  const std::vector<std::string> report = EndReport(runLog);
  ASSERT_EQ(report.size(), 4u) << runLog;
  EXPECT_EQ(report[0], "0");
  EXPECT_EQ(report[2], std::to_string(MainStatement("ShowScreen()")));
  EXPECT_EQ(report[3], "0");
  EXPECT_NE(runLog.find("vlm is shut down"), std::string::npos);
}

}  // namespace
