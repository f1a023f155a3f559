// Whole programs: the quit keys and the close request end them through END,
// and a real X window (Xvfb) driven by xdotool delivers pointer, buttons,
// keys and text to what the program reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace fs = std::filesystem;
using testing_support::ChildResult;

namespace {

const std::string kPrograms = VELMORA_TEST_PROGRAMS_DIR;

// The five lines END writes in a debug build start with this one; the next
// is the last error code.
std::string EndCode(const std::string& runLog) {
  const std::vector<std::string> lines = testing_support::Lines(runLog);
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i] == "-End On Line") return lines[i + 1];
  return "(no END report)";
}

bool HasLine(const std::string& text, const std::string& line) {
  for (const std::string& l : testing_support::Lines(text))
    if (l == line) return true;
  return false;
}

ChildResult RunQuitProgram(const std::string& scenario, const std::string& launcher = "") {
  testing_support::TempDir tmp;
  std::vector<std::string> args{"--scenario", scenario};
  std::string program = kPrograms + "/input_quit_program";
  if (!launcher.empty()) {
    args.insert(args.begin(), program);
    program = launcher;
  }
  // Headless, whatever display the test runs under.
  return testing_support::RunProgram(program, args, tmp.path(), {"DISPLAY=", "WAYLAND_DISPLAY="}, "", 60);
}

}  // namespace

TEST(QuitKeys, AltF4EndsAtTheNextFrameWithCodeZero) {
  const ChildResult r = RunQuitProgram("altf4");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // Frame 1 takes the key events in, frame 2 sees both keys down.
  EXPECT_TRUE(HasLine(r.out, "frame 2")) << r.out;
  EXPECT_FALSE(HasLine(r.out, "survived")) << r.out;
  EXPECT_EQ(EndCode(r.runLog), "0") << r.runLog;
}

TEST(QuitKeys, EscapeEndsUnlessForbidden) {
  ChildResult r = RunQuitProgram("escape");
  EXPECT_FALSE(HasLine(r.out, "survived")) << r.out;
  EXPECT_EQ(EndCode(r.runLog), "0") << r.runLog;

  r = RunQuitProgram("escape-off");
  EXPECT_TRUE(HasLine(r.out, "escape ignored")) << r.out;
  // Alt+F4 still ends it.
  EXPECT_FALSE(HasLine(r.out, "survived")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "frame 5")) << r.out;
  EXPECT_EQ(EndCode(r.runLog), "0") << r.runLog;
}

TEST(WindowClose, CloseRequestRunsEnd) {
  const ChildResult r = RunQuitProgram("close");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(HasLine(r.out, "frame 1")) << r.out;
  EXPECT_FALSE(HasLine(r.out, "survived")) << r.out;
  // END as such, not the quit keys: the code is left as it was.
  EXPECT_EQ(EndCode(r.runLog), "9") << r.runLog;
}

TEST(Console, WithoutATerminalTheStreamsStay) {
  // setsid gives the program no controlling terminal at all.
  const std::string setsid = "/usr/bin/setsid";
  if (!fs::exists(setsid)) GTEST_SKIP() << "setsid is not installed";
  const ChildResult r = RunQuitProgram("console", setsid);
  EXPECT_TRUE(HasLine(r.out, "after console")) << r.out << r.err;
  EXPECT_TRUE(HasLine(r.out, "survived")) << r.out;
}

// ---------------------------------------------------------------- a real X window

namespace {

struct Mouse {
  int x, y, b1, b2;
};

std::vector<Mouse> MouseLines(const std::string& out) {
  std::vector<Mouse> lines;
  for (const std::string& line : testing_support::Lines(out)) {
    Mouse m{};
    if (std::sscanf(line.c_str(), "mouse %d %d %d %d", &m.x, &m.y, &m.b1, &m.b2) == 4) lines.push_back(m);
  }
  return lines;
}

// Runs the echo program in a fresh X server with a driving script; the
// script gets the program as $1 and its extra arguments after it.
class RealWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/xvfb-run", "/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/xauth"}) {
      if (!fs::exists(tool)) GTEST_SKIP() << tool << " is missing (scripts/setup.sh installs xvfb, xauth, xdotool)";
    }
  }

  ChildResult Drive(const std::string& steps, const std::vector<std::string>& programArgs) {
    const std::string script =
        "prog=\"$1\"; shift\n"
        "\"$prog\" --frames 3000 \"$@\" &\n"
        "pid=$!\n"
        "wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^InputEcho$' | head -n 1)\n"
        "if [ -z \"$wid\" ]; then echo 'no window'; kill $pid; wait $pid; exit 1; fi\n"
        "xdotool windowfocus --sync \"$wid\"\n"
        "sleep 0.5\n" +
        steps +
        "xdotool keydown Escape; sleep 0.5; xdotool keyup Escape\n"
        "wait $pid\n";
    testing_support::WriteWholeFile(work_.File("drive.sh"), script);
    std::vector<std::string> args{"-a", "-s", "-screen 0 1280x1024x24", "/bin/sh", work_.File("drive.sh"),
                                  kPrograms + "/input_echo_program"};
    args.insert(args.end(), programArgs.begin(), programArgs.end());
    return testing_support::RunProgram("/usr/bin/xvfb-run", args, tmp_.path(), {}, "", 120);
  }

  testing_support::TempDir work_, tmp_;
};

}  // namespace

TEST_F(RealWindow, PointerButtonsKeysAndText) {
  const ChildResult r = Drive(
      "xdotool mousemove --window \"$wid\" 100 150; sleep 0.3\n"
      "xdotool mousedown 1; sleep 0.3; xdotool mouseup 1; sleep 0.3\n"
      "xdotool keydown a; sleep 0.3; xdotool keyup a; sleep 0.3\n"
      "xdotool type --delay 80 'Hi!'; sleep 0.2\n"
      "xdotool key Return; sleep 0.3\n",
      {});
  ASSERT_TRUE(HasLine(r.out, "ready")) << r.out << r.err;
  EXPECT_TRUE(HasLine(r.out, "mouse 100 150 0 0")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "mouse 100 150 1 0")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "key 30 down")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "key 30 up")) << r.out;
  std::string typed;
  for (const std::string& line : testing_support::Lines(r.out)) {
    int c = 0;
    if (std::sscanf(line.c_str(), "char %d", &c) == 1) typed += static_cast<char>(c);
  }
  EXPECT_EQ(typed, "aHi!\n");
  // Escape ended it (code 0), not the frame limit.
  EXPECT_EQ(EndCode(r.runLog), "0") << r.runLog;
  EXPECT_EQ(r.out.find("Rendered"), std::string::npos) << r.out;
}

TEST_F(RealWindow, HiddenPointerTurnsRelativeMotionIntoPosition) {
  // Polyvane's set-up: the pointer is hidden and the camera follows the
  // motion gathered in the mouse record.
  const ChildResult r = Drive(
      "xdotool mousemove_relative -- 30 20; sleep 0.3\n"
      "xdotool mousemove_relative -- -12 7; sleep 0.3\n"
      "xdotool mousemove_relative -- 2000 0; sleep 0.3\n",
      {"--hide"});
  ASSERT_TRUE(HasLine(r.out, "ready")) << r.out << r.err;
  const std::vector<Mouse> m = MouseLines(r.out);
  ASSERT_GE(m.size(), 4u) << r.out;
  const size_t n = m.size();
  // The last three changes are the three moves, the final one stopped at the
  // window's right edge (640 wide).
  EXPECT_EQ(m[n - 3].x - m[n - 4].x, 30) << r.out;
  EXPECT_EQ(m[n - 3].y - m[n - 4].y, 20) << r.out;
  EXPECT_EQ(m[n - 2].x - m[n - 3].x, -12) << r.out;
  EXPECT_EQ(m[n - 2].y - m[n - 3].y, 7) << r.out;
  EXPECT_EQ(m[n - 1].x, 640) << r.out;
  EXPECT_EQ(m[n - 1].y, m[n - 2].y) << r.out;
  EXPECT_EQ(EndCode(r.runLog), "0") << r.runLog;
}
