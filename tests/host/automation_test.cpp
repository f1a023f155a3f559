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

// The screenshot of frame k of "--end-after": the colour 0x563410 plus k in
// red, its top left 80 x 50 pixels 0x80 redder and its bottom right ones
// 0x40; looked at a pixel inside each edge of the corners and beside them,
// so the picture's orientation and scale show.
void ExpectShotOfFrame(const std::string& shot, int k, int w = 320, int h = 200) {
  Picture picture;
  ASSERT_TRUE(ReadPNG(picture, shot.c_str(), -1));
  ASSERT_EQ(picture.width, w);
  ASSERT_EQ(picture.height, h);
  struct Point {
    int x, y;
    int red;  // less k
  };
  const Point points[] = {
      {1, 1, 0x90},   {78, 1, 0x90},   {1, 48, 0x90},   {78, 48, 0x90},    // top left
      {-79, -49, 0x50}, {-2, -49, 0x50}, {-79, -2, 0x50}, {-2, -2, 0x50},  // bottom right
      {81, 1, 0x10},    {1, 51, 0x10},   {81, 51, 0x10},  {-2, 1, 0x10},   {1, -2, 0x10},
      {-82, -2, 0x10},  {-2, -52, 0x10}, {160, 100, 0x10}, {200, 40, 0x10}, {100, 160, 0x10}};
  for (const Point& point : points) {
    // Negative places count from the right and bottom edges.
    const uint8_t* p = picture.Pixel(point.x < 0 ? w + point.x : point.x, point.y < 0 ? h + point.y : point.y);
    EXPECT_EQ(p[0], point.red + k) << point.x << "," << point.y;
    EXPECT_EQ(p[1], 0x34) << point.x << "," << point.y;
    EXPECT_EQ(p[2], 0x56) << point.x << "," << point.y;
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
// that ends before it shows a frame, or after its window changed size, has
// none to save. A limit reached first saves its frame once; without
// --screenshot nothing is said of one.
TEST(Automation, EndingFirstSavesTheLastPresentedFrame) {
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_clear_program";
  struct Case {
    std::vector<std::string> options;
    bool screenshot;
    const char* rendered;  // the frame limit's report; nullptr: none
    int lastFrame;         // 0: nothing to save
    int width = 320, height = 200;
  };
  const Case cases[] = {
      {{"--frames", "10", "--end-after", "3"}, true, nullptr, 3},
      {{"--end-after", "2"}, true, nullptr, 2},
      {{"--frames", "10", "--end-after", "0"}, true, nullptr, 0},
      // No frame is timed (the back half of 2 is the last frame alone): none a second.
      {{"--frames", "2", "--end-after", "5"}, true, "Rendered 2 frames; the last 0 took 0.00 s: 0.0 frames per second\n", 2},
      {{"--end-after", "2"}, false, nullptr, 2},
      {{"--end-after", "2", "--quarter-viewport", "1"}, true, nullptr, 2},
      // The window grows after the first frame, in either direction: the
      // frame kept is of the new size.
      {{"--end-after", "2", "--resize-at", "2", "--resize-to", "640x200"}, true, nullptr, 2, 640, 200},
      {{"--end-after", "2", "--resize-at", "2", "--resize-to", "320x300"}, true, nullptr, 2, 320, 300},
      // The smallest window, whose one pixel the bottom right corner covers last.
      {{"--end-after", "1", "--resize-at", "1", "--resize-to", "1x1"}, true, nullptr, 1, 1, 1},
      // A window resized after its last frame has no frame of its size.
      {{"--end-after", "2", "--resize-after", "640x200"}, true, nullptr, 0},
      {{"--end-after", "2", "--resize-after", "320x300"}, true, nullptr, 0},
      {{"--frames", "3", "--end-after", "5"}, false, "Rendered 3 frames; the last 1 took ", 3},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    const std::string shot = tmp.File("shot.png");
    std::vector<std::string> args = c.options;
    if (c.screenshot) args.insert(args.end(), {"--screenshot", shot});
    args.insert(args.end(), {"--colour", std::to_string(0x563410)});
    SCOPED_TRACE(testing::PrintToString(args));
    const testing_support::ChildResult child = RunProgram(program, args, tmp.path(), {"VELMORA_NO_DIALOGS=1"});
    ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
    if (c.rendered == nullptr) {
      EXPECT_EQ(child.out.find("Rendered "), std::string::npos) << "the frame limit was reached\n" << child.out;
    } else {
      EXPECT_NE(child.out.find(c.rendered), std::string::npos) << child.out;
    }
    EXPECT_NE(child.runLog.find("-End On Line\n0\n"), std::string::npos) << child.runLog;
    Picture picture;
    if (!c.screenshot) {
      EXPECT_EQ(child.out.find("Screenshot"), std::string::npos) << child.out;
      continue;
    }
    if (c.lastFrame == 0) {
      EXPECT_NE(child.out.find("Screenshot could not be saved to " + shot + "\n"), std::string::npos) << child.out;
      EXPECT_FALSE(ReadPNG(picture, shot.c_str(), -1));
      continue;
    }
    const size_t saved = child.out.find("Screenshot saved to " + shot + "\n");
    EXPECT_NE(saved, std::string::npos) << child.out;
    EXPECT_EQ(child.out.find("Screenshot", saved + 1), std::string::npos) << child.out;
    if (c.width < 80) {
      ASSERT_TRUE(ReadPNG(picture, shot.c_str(), -1));
      ASSERT_EQ(picture.width, c.width);
      ASSERT_EQ(picture.height, c.height);
      EXPECT_EQ(picture.Pixel(0, 0)[0], 0x50 + c.lastFrame);
      EXPECT_EQ(picture.Pixel(0, 0)[1], 0x34);
      continue;
    }
    ExpectShotOfFrame(shot, c.lastFrame, c.width, c.height);
  }
}
