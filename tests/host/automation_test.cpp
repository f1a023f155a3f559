// The automation options of every program: a frame limit that ends through
// END, and a screenshot of the last frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx2d/picture.h"
#include "support/child_process.h"

using testing_support::RunProgram;
using testing_support::TempDir;

namespace {

// The screenshot is the program's 320 x 200 client area, all of one colour.
void ExpectShotOfColour(const std::string& shot, int red, int green, int blue) {
  Picture picture;
  ASSERT_TRUE(ReadPNG(picture, shot.c_str(), -1));
  ASSERT_EQ(picture.width, 320);
  ASSERT_EQ(picture.height, 200);
  for (int y : {0, 100, 199}) {
    for (int x : {0, 160, 319}) {
      const uint8_t* p = picture.Pixel(x, y);
      EXPECT_EQ(p[0], red) << x << "," << y;
      EXPECT_EQ(p[1], green) << x << "," << y;
      EXPECT_EQ(p[2], blue) << x << "," << y;
    }
  }
}

}  // namespace

TEST(Automation, FrameLimitEndsThroughEndAndSavesTheLastFrame) {
  TempDir tmp;
  const std::string shot = tmp.File("shot.png");
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_clear_program";
  // Clear colour: red 0x12, green 0x34, blue 0x56.
  const testing_support::ChildResult child =
      RunProgram(program, {"--frames", "5", "--screenshot", shot, "--colour", std::to_string(0x563412)},
                 tmp.path(), {"VELMORA_NO_DIALOGS=1"});
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("Rendered 5 frames"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("exit"), std::string::npos);
  // END ran with code 0 and wrote its report after the start-up trace.
  const size_t report = child.runLog.find("-End On Line\n0\n");
  EXPECT_NE(report, std::string::npos) << child.runLog;
  EXPECT_LT(child.runLog.find("Init Finalized\n"), report);

  ExpectShotOfColour(shot, 0x12, 0x34, 0x56);
}

TEST(Automation, WithoutAFrameLimitTheProgramRunsOn) {
  TempDir tmp;
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_clear_program";
  // No limit: the program is still running when the harness stops it.
  const testing_support::ChildResult child =
      RunProgram(program, {"--colour", "255"}, tmp.path(), {"VELMORA_NO_DIALOGS=1"}, "", 2);
  EXPECT_EQ(child.exitCode, -1);
  EXPECT_EQ(child.runLog.find("-End On Line"), std::string::npos);
  EXPECT_NE(child.runLog.find("Init Finalized\n"), std::string::npos);
}

// A program that ENDs before its frame limit, or runs without one, has its
// last presented frame saved at the END: frame k is the colour plus k in
// red, and the white drawn after the last frame was never shown. A program
// that ends before it shows a frame has none to save.
TEST(Automation, EndingFirstSavesTheLastPresentedFrame) {
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_clear_program";
  struct Case {
    std::vector<std::string> options;
    int lastFrame;  // 0: nothing to save
  };
  const Case cases[] = {
      {{"--frames", "10", "--end-after", "3"}, 3},
      {{"--end-after", "2"}, 2},
      {{"--frames", "10", "--end-after", "0"}, 0},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    const std::string shot = tmp.File("shot.png");
    std::vector<std::string> args = c.options;
    for (const std::string& a : {std::string("--screenshot"), shot, std::string("--colour"), std::to_string(0x563410)})
      args.push_back(a);
    SCOPED_TRACE(testing::PrintToString(args));
    const testing_support::ChildResult child = RunProgram(program, args, tmp.path(), {"VELMORA_NO_DIALOGS=1"});
    ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
    EXPECT_EQ(child.out.find("Rendered "), std::string::npos) << "the frame limit was reached\n" << child.out;
    EXPECT_NE(child.runLog.find("-End On Line\n0\n"), std::string::npos) << child.runLog;
    if (c.lastFrame == 0) {
      EXPECT_NE(child.out.find("Screenshot could not be saved to " + shot + "\n"), std::string::npos) << child.out;
      Picture picture;
      EXPECT_FALSE(ReadPNG(picture, shot.c_str(), -1));
      continue;
    }
    EXPECT_NE(child.out.find("Screenshot saved to " + shot + "\n"), std::string::npos) << child.out;
    ExpectShotOfColour(shot, 0x10 + c.lastFrame, 0x34, 0x56);
  }
}
