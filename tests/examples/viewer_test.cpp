// The viewer example end to end: each kind of object file loaded, the
// triangle under a scripted pointer highlighted, the shader pair applied.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "example_run.h"
#include "support/child_process.h"

namespace {

using example_test::Near;
using example_test::Rgb;
using example_test::RunningProgram;
using example_test::Image;

// The gem's upper faces (0x2020E0 packed: red 224), its lower faces (red
// 144), the pyramid's faces (green 200 and 160), the highlight (yellow) and
// the shader's output for the upper faces (red and blue swapped).
bool GemRed(Rgb c) { return c.r > 120 && c.g < 50 && c.b < 50; }
bool PyramidGreen(Rgb c) { return c.g > 130 && c.r < 60 && c.b < 60; }
bool Yellow(Rgb c) { return Near(c, 255, 255, 0, 8); }
bool ShadedBlue(Rgb c) { return c.b > 120 && c.r < 50 && c.g < 50; }

class ViewerRun {
 public:
  explicit ViewerRun(const std::vector<std::string>& words) {
    std::vector<std::string> args = words;
    args.insert(args.end(), {"--frames", "3", "--screenshot", dir_.File("shot.png")});
    RunningProgram run(example_test::ProgramPath("viewer"), args, dir_.path());
    exit_ = run.Wait(60);
    output_ = run.Output();
    errors_ = example_test::ErrorLines(run.RunLog());
    loaded_ = shot_.Load(dir_.File("shot.png"));
  }
  void ExpectClean() const {
    EXPECT_EQ(exit_, 0) << output_;
    EXPECT_EQ(errors_, std::vector<std::string>{});
    ASSERT_TRUE(loaded_) << output_;
    EXPECT_EQ(shot_.Width(), 640);
  }
  template <class Test>
  int Count(int x, int y, int w, int h, Test test) const {
    return shot_.Count(x, y, w, h, test);
  }
  template <class Test>
  int CountAll(Test test) const {
    return shot_.Count(0, 0, 640, 480, test);
  }

 private:
  testing_support::TempDir dir_;
  int exit_ = -1;
  std::string output_;
  std::vector<std::string> errors_;
  bool loaded_ = false;
  Image shot_;
};

// Every kind of file shows its object in the middle of the screen (the
// camera looks at the origin from 60 units away, turned 20 degrees).
TEST(ViewerExample, EachKindOfFileShowsItsObject) {
  struct Kind {
    const char* file;
    bool red, green;
  };
  for (const Kind& kind : {Kind{"gem.xqo", true, false}, Kind{"pyramid.xqo", false, true}, Kind{"pair.xqw", true, true}}) {
    SCOPED_TRACE(kind.file);
    ViewerRun run({kind.file, "angle", "20", "pick", "20,20"});
    run.ExpectClean();
    EXPECT_EQ(run.Count(240, 160, 160, 160, GemRed) > 200, kind.red);
    EXPECT_EQ(run.Count(240, 160, 160, 160, PyramidGreen) > 200, kind.green);
    // Nothing outside the object's square, and no highlight where the
    // pointer misses.
    EXPECT_EQ(run.Count(0, 0, 200, 480, [](Rgb c) { return !Near(c, 0x20, 0x30, 0x40, 4); }), 0);
    EXPECT_EQ(run.CountAll(Yellow), 0);
  }
}

// Two files stand in a row: the first on the left, the second on the right.
TEST(ViewerExample, ObjectsStandInTheOrderGiven) {
  ViewerRun run({"gem.xqo", "pyramid.xqo", "angle", "0", "pick", "20,20"});
  run.ExpectClean();
  EXPECT_GT(run.Count(0, 0, 320, 480, GemRed), 200);
  EXPECT_EQ(run.Count(320, 0, 320, 480, GemRed), 0);
  EXPECT_GT(run.Count(320, 0, 320, 480, PyramidGreen), 200);
  EXPECT_EQ(run.Count(0, 0, 320, 480, PyramidGreen), 0);
}

// The pointer over the gem's front face: that one triangle turns yellow,
// the rest of the gem keeps its colours.
TEST(ViewerExample, TriangleUnderThePointerIsHighlighted) {
  ViewerRun run({"gem.xqo", "angle", "20", "pick", "320,240"});
  run.ExpectClean();
  EXPECT_EQ(run.Count(318, 238, 5, 5, Yellow), 25);
  const int yellow = run.CountAll(Yellow);
  EXPECT_GT(yellow, 300);
  EXPECT_GT(run.CountAll(GemRed), yellow / 4) << "other faces are not highlighted";
  // The gem's front face is the highlighted one: no red is left around the
  // pointer.
  EXPECT_EQ(run.Count(310, 230, 20, 20, GemRed), 0);
}

// With the shader pair, red and blue are swapped on the object.
TEST(ViewerExample, ShaderSwapsRedAndBlue) {
  ViewerRun run({"gem.xqo", "angle", "20", "pick", "20,20", "shader"});
  run.ExpectClean();
  EXPECT_GT(run.Count(240, 160, 160, 160, ShadedBlue), 200);
  EXPECT_EQ(run.CountAll(GemRed), 0);
}

}  // namespace
