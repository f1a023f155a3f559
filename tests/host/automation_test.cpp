// The automation options of every program: a frame limit that ends through
// END, and a screenshot of the last frame.
#include <gtest/gtest.h>

#include <string>

#include "gfx2d/picture.h"
#include "support/child_process.h"

using testing_support::RunProgram;
using testing_support::TempDir;

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

  Picture picture;
  ASSERT_TRUE(ReadPNG(picture, shot.c_str(), -1));
  ASSERT_EQ(picture.width, 320);
  ASSERT_EQ(picture.height, 200);
  for (int y : {0, 100, 199}) {
    for (int x : {0, 160, 319}) {
      const uint8_t* p = picture.Pixel(x, y);
      EXPECT_EQ(p[0], 0x12);
      EXPECT_EQ(p[1], 0x34);
      EXPECT_EQ(p[2], 0x56);
    }
  }
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
