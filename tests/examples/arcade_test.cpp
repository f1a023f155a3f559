// The 2D game example end to end: the scripted player's sprite, its
// animation frames, the minimap, the loaded font, the alpha modes and the
// pan of its sound effects, read back from screenshots and from the sound
// the disk audio driver wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "example_support.h"

namespace {

using example_test::ExampleRun;
using example_test::Image;
using example_test::Near;
using example_test::Rgb;

// What the example's README describes: the player starts at (64, 300) in
// demo mode and moves 4 pixels a frame; its hull is green from row 4 down,
// columns 8-24 wide in row 14; the flame (rows 24-31, columns 11-20) takes
// the colour of animation frame INT(frame / 6) MOD 4.
constexpr int kPlayerY = 300;
constexpr int kHullRow = kPlayerY + 14;
bool Hull(Rgb c) { return Near(c, 0x30, 0xE0, 0x30, 6); }

// The screenshot after `frames` frames shows program frame frames - 1.
int DemoX(int frames) { return 64 + 4 * (frames - 1); }

// The hull's left edge in its widest drawn row; -1 when none.
int HullLeft(const Image& image) {
  for (int x = 0; x < image.Width(); ++x)
    if (Hull(image.At(x, kHullRow))) return x;
  return -1;
}

struct AnimationCase {
  int frames;
  Rgb flame;  // frames 6-11 orange, 18-23 white
};

class ArcadeDemo : public testing::TestWithParam<AnimationCase> {};

// The player stands where the demo path puts it, and its flame shows the
// animation frame of that moment.
TEST_P(ArcadeDemo, PlayerAndAnimationFrameAtTheScriptedPosition) {
  const AnimationCase c = GetParam();
  ExampleRun run("arcade");
  const testing_support::ChildResult result = run.Run({"demo"}, c.frames);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(example_test::EndErrorCode(result.runLog), "0") << result.runLog;
  EXPECT_TRUE(example_test::ErrorLines(result.runLog).empty()) << result.runLog;
  Image image;
  ASSERT_TRUE(image.Load(run.Shot()));
  ASSERT_EQ(image.Width(), 640);
  const int left = HullLeft(image);
  EXPECT_GE(left, DemoX(c.frames) + 8 - 4);
  EXPECT_LE(left, DemoX(c.frames) + 8 + 4);
  const Rgb flame = image.At(left + 8, kPlayerY + 28);
  EXPECT_TRUE(Near(flame, c.flame.r, c.flame.g, c.flame.b, 6)) << flame.r << "," << flame.g << "," << flame.b;
}

INSTANTIATE_TEST_SUITE_P(Frames, ArcadeDemo,
                         testing::Values(AnimationCase{10, {255, 140, 0}}, AnimationCase{22, {255, 255, 255}}),
                         [](const testing::TestParamInfo<AnimationCase>& info) {
                           return "frame" + std::to_string(info.param.frames);
                         });

bool Gold(Rgb c) { return Near(c, 255, 224, 64, 12); }
bool Orange(Rgb c) { return Near(c, 255, 128, 32, 12); }

// One demo frame, the rest of the screen: the minimap in the top right
// corner shows the scene a quarter size with the player where it is, the
// score is printed in the loaded gold-and-orange font, the bubble is blended
// at half transparency and the glows add up where they overlap.
TEST(ArcadeExample, MinimapFontAndAlphaModes) {
  ExampleRun run("arcade");
  const int frames = 10;
  const testing_support::ChildResult result = run.Run({"demo"}, frames);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  Image image;
  ASSERT_TRUE(image.Load(run.Shot()));
  ASSERT_EQ(image.Height(), 480);

  // Minimap: (x, y) of the scene appears at (472 + x / 4, 8 + y / 4), inside
  // a white frame.
  const int left = HullLeft(image);
  ASSERT_GT(left, 0);
  const Rgb player = image.At(472 + (left + 8) / 4, 8 + kHullRow / 4);
  EXPECT_TRUE(Near(player, 0x30, 0xE0, 0x30, 60)) << player.r << "," << player.g << "," << player.b;
  EXPECT_TRUE(Near(image.At(472 + 560 / 4, 8 + 40 / 4), 0x10, 0x20, 0x40, 4)) << "the sky in the minimap";
  EXPECT_TRUE(Near(image.At(472 + 200 / 4, 8 + 450 / 4), 0x20, 0x50, 0x20, 4)) << "the ground in the minimap";
  EXPECT_TRUE(Near(image.At(471, 60), 255, 255, 255, 0)) << "the minimap's frame";
  EXPECT_TRUE(Near(image.At(560, 40), 0x10, 0x20, 0x40, 0)) << "the sky outside the minimap";

  // Font: gold in the upper half of each 16-pixel cell, orange in the lower
  // half, and neither where no text is.
  const int gold = image.Count(20, 440, 160, 8, Gold), orange = image.Count(20, 448, 160, 8, Orange);
  EXPECT_GT(gold, 60);
  EXPECT_GT(orange, 60);
  EXPECT_EQ(image.Count(20, 448, 160, 8, Gold) + image.Count(20, 440, 160, 8, Orange), 0);
  EXPECT_EQ(image.Count(200, 420, 200, 60, Gold) + image.Count(0, 0, 460, 90, Orange), 0);

  // The bubble (a white disc at (400, 360)) at half alpha over the sky and
  // over the ground.
  EXPECT_TRUE(Near(image.At(432, 380), (255 + 0x10) / 2, (255 + 0x20) / 2, (255 + 0x40) / 2, 3));
  EXPECT_TRUE(Near(image.At(432, 410), (255 + 0x20) / 2, (255 + 0x50) / 2, (255 + 0x20) / 2, 3));
  // The glows add orange (255, 128, 32) times their alpha to the sky: alpha
  // 131 at (116, 132) from the first alone, 123 + 131 at (148, 132) from both.
  auto glow = [](int alpha, int sky, int channel) { return std::min(255, sky + channel * alpha / 255); };
  EXPECT_TRUE(Near(image.At(116, 132), glow(131, 0x10, 255), glow(131, 0x20, 128), glow(131, 0x40, 32), 4));
  EXPECT_TRUE(Near(image.At(148, 132), glow(254, 0x10, 255), glow(254, 0x20, 128), glow(254, 0x40, 32), 4));
}

// Left and right channel energy of the float stereo the disk audio driver
// wrote.
struct Energy {
  double left = 0, right = 0;
};

Energy StereoEnergy(const std::string& file) {
  const std::string bytes = testing_support::ReadWholeFile(file);
  Energy e;
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) {
    float l, r;
    std::memcpy(&l, bytes.data() + at, 4);
    std::memcpy(&r, bytes.data() + at + 4, 4);
    e.left += static_cast<double>(l) * l;
    e.right += static_cast<double>(r) * r;
  }
  return e;
}

// The blip's pan follows the player: on the left third of the screen the
// left channel carries most of the sound, on the right third the right one
// (the music is centred and quieter).
TEST(ArcadeExample, SoundEffectPanFollowsThePlayer) {
  Energy sides[2];
  const char* positions[2] = {"40", "568"};
  for (int side = 0; side < 2; ++side) {
    ExampleRun run("arcade");
    const std::string audio = run.Temp("audio.raw");
    const testing_support::ChildResult result =
        run.Run({"at", positions[side], "300"}, 40, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    sides[side] = StereoEnergy(audio);
    ASSERT_GT(sides[side].left + sides[side].right, 0) << "no sound was written";
  }
  EXPECT_GT(sides[0].left, 2 * sides[0].right);
  EXPECT_GT(sides[1].right, 2 * sides[1].left);
}

// On a virtual display the right arrow key moves the player: it starts at
// (304, 300) and, with the key held, moves right along its row.
TEST(ArcadeExample, ArrowKeyMovesThePlayerOnAVirtualDisplay) {
  testing_support::TempDir dir;
  const testing_support::ChildResult session = testing_support::RunProgram(
      "/bin/bash",
      {std::string(VELMORA_SOURCE_DIR) + "/tests/examples/xvfb_drive.sh", dir.path(), dir.path(), "Arcade",
       std::string(VELMORA_BINARY_DIR) + "/examples/arcade/arcade", "--", "shoot", "start", "hold", "Right", "0.5",
       "shoot", "moved"},
      "", {"SDL_AUDIODRIVER=dummy"}, "", 120);
  if (session.exitCode == 77) GTEST_SKIP() << "Xvfb, xdotool or import missing: " << session.out;
  ASSERT_EQ(session.exitCode, 0) << testing_support::ReadWholeFile(dir.File("session.log"));
  Image start, moved;
  ASSERT_TRUE(start.Load(dir.File("start.png"))) << testing_support::ReadWholeFile(dir.File("session.log"));
  ASSERT_TRUE(moved.Load(dir.File("moved.png")));
  EXPECT_EQ(HullLeft(start), 304 + 8);
  EXPECT_GE(HullLeft(moved), 304 + 8 + 40);
  EXPECT_LE(HullLeft(moved), 608 + 8);
  EXPECT_EQ(testing_support::ReadWholeFile(dir.File("status.txt")), "ended 0\n");
}

}  // namespace
