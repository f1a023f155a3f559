// Polyvane as built from its BASIC modules by vlmc, against the hand
// translation kept in tests/app/hand (polyvane_hand): the same frames after
// the same number of program frames, and the same END report for the
// 1000-object scene.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gfx2d/picture.h"
#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildResult;
using testing_support::TempDir;

const std::string kBinaryDir = VELMORA_BINARY_DIR;
const std::string kSourceDir = VELMORA_SOURCE_DIR;

// Runs one build of the program from a folder of its own with the shipped
// media and the given scene ("" for the shipped one).
ChildResult RunBuild(const TempDir& dir, const std::string& program, const std::string& scene,
                     const std::vector<std::string>& args) {
  fs::copy_file(program, dir.File("polyvane"));
  fs::copy(kSourceDir + "/data/media", dir.File("media"), fs::copy_options::recursive);
  if (scene.empty())
    fs::copy_file(kSourceDir + "/data/test.pvs", dir.File("test.pvs"));
  else
    testing_support::WriteWholeFile(dir.File("test.pvs"), scene);
  fs::create_directories(dir.File("tmp"));
  return testing_support::RunProgram(dir.File("polyvane"), args, dir.File("tmp/"),
                                     {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, dir.path(), 180);
}

const std::string kTranslated = kBinaryDir + "/polyvane";
const std::string kHand = kBinaryDir + "/tests/polyvane_hand";

TEST(TranslatedBuild, RendersTheSameFramesAsTheHandTranslation) {
  TempDir translatedDir, handDir;
  const std::vector<std::string> args = {"--frames", "30", "--screenshot", "shot.png"};
  const ChildResult translated = RunBuild(translatedDir, kTranslated, "", args);
  const ChildResult hand = RunBuild(handDir, kHand, "", args);
  ASSERT_EQ(translated.exitCode, 0) << translated.err;
  ASSERT_EQ(hand.exitCode, 0) << hand.err;
  Picture a, b;
  ASSERT_TRUE(ReadPNG(a, translatedDir.File("shot.png").c_str(), -1));
  ASSERT_TRUE(ReadPNG(b, handDir.File("shot.png").c_str(), -1));
  ASSERT_EQ(a.width, 1024);
  ASSERT_EQ(a.height, 768);
  ASSERT_EQ(b.width, a.width);
  ASSERT_EQ(b.height, a.height);
  // Every pixel must match except the digits of the frame rate printed at
  // (900, 10) after "FPS: ", which follow the wall clock of each run.
  int differing = 0, scene = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      if (x >= 940 && y < 40) continue;
      const uint8_t* p = a.Pixel(x, y);
      const uint8_t* q = b.Pixel(x, y);
      differing += p[0] != q[0] || p[1] != q[1] || p[2] != q[2];
      // Pixels that are not the clear colour: the scene was drawn.
      scene += !(p[0] == 128 && p[1] == 128 && p[2] == 255);
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(scene, 10000);
}

TEST(TranslatedBuild, ReportsTheSameStatementForTheThousandthObject) {
  TempDir translatedDir, handDir;
  const ChildResult translated = RunBuild(translatedDir, kTranslated, "0\n1000\n", {"--frames", "5"});
  const ChildResult hand = RunBuild(handDir, kHand, "0\n1000\n", {"--frames", "5"});
  const auto endReport = [](const std::string& log) {
    const std::vector<std::string> lines = testing_support::Lines(log);
    for (size_t k = 0; k + 4 < lines.size(); ++k)
      if (lines[k] == "-End On Line") return std::vector<std::string>(lines.begin() + k + 1, lines.begin() + k + 5);
    return std::vector<std::string>();
  };
  // Statement 28 of module 0 reads ot[1000]: error 9 there.
  EXPECT_EQ(endReport(translated.runLog), (std::vector<std::string>{"9", "27", "28", "0"})) << translated.runLog;
  EXPECT_EQ(endReport(translated.runLog), endReport(hand.runLog));
  EXPECT_EQ(translated.err, hand.err);
}

}  // namespace
