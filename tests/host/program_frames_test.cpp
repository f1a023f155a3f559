// The frame limit counts the frames the program presents, not the settling
// frames a screen-mode change shows: the screenshot after N frames is the
// program's N-th frame.
#include <gtest/gtest.h>

#include <string>

#include "gfx2d/picture.h"
#include "support/child_process.h"

using testing_support::RunProgram;
using testing_support::TempDir;

namespace {

// The last "frame k" line the program printed, or 0.
int LastFrame(const std::string& out) {
  int last = 0;
  for (const std::string& line : testing_support::Lines(out))
    if (line.rfind("frame ", 0) == 0) last = std::stoi(line.substr(6));
  return last;
}

TEST(ProgramFrames, FrameLimitCountsTheProgramsOwnFrames) {
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_mode_frames_program";
  for (int frames : {1, 3}) {
    SCOPED_TRACE(frames);
    TempDir tmp;
    const std::string shot = tmp.File("shot.png");
    const testing_support::ChildResult child =
        RunProgram(program, {"--frames", std::to_string(frames), "--screenshot", shot}, tmp.path(),
                   {"VELMORA_NO_DIALOGS=1"});
    ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
    // Exactly N frames of the program, then END with code 0.
    EXPECT_EQ(LastFrame(child.out), frames) << child.out;
    EXPECT_NE(child.out.find("Rendered " + std::to_string(frames) + " frames"), std::string::npos) << child.out;
    EXPECT_NE(child.runLog.find("-End On Line\n0\n"), std::string::npos) << child.runLog;

    // The picture is the program's frame N at the new mode's size: the box
    // with red 20 * N in the middle, the program's grey around it.
    Picture picture;
    ASSERT_TRUE(ReadPNG(picture, shot.c_str(), -1));
    ASSERT_EQ(picture.width, 200);
    ASSERT_EQ(picture.height, 150);
    for (auto [x, y] : {std::pair{100, 75}, std::pair{55, 45}, std::pair{145, 105}}) {
      const uint8_t* p = picture.Pixel(x, y);
      EXPECT_EQ(p[0], 20 * frames) << x << "," << y;
      EXPECT_EQ(p[1], 0);
      EXPECT_EQ(p[2], 0);
    }
    for (auto [x, y] : {std::pair{5, 5}, std::pair{195, 145}, std::pair{100, 20}}) {
      const uint8_t* p = picture.Pixel(x, y);
      EXPECT_EQ(p[0], 0x20) << x << "," << y;
      EXPECT_EQ(p[1], 0x20);
      EXPECT_EQ(p[2], 0x20);
    }
  }
}

}  // namespace
