// Frame presentation: the pacing rule, the frame clock, the clear colour, the
// viewport with its orientations and the quit keys.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/runtime.h"
#include "input/input.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

using testing_support::ReadPixel;
using testing_support::StartTestRuntime;

namespace {

// A clock that moves forward by a fixed step each time it is read, so the
// pacing loop always makes progress.
std::atomic<uint64_t> g_fakeNs{0};
std::atomic<uint64_t> g_stepNs{0};
uint64_t FakeCounter() { return g_fakeNs.fetch_add(g_stepNs) + g_stepNs; }

class FakeClock {
 public:
  // Starts at the real clock's present reading, so the runtime's clock origin
  // stays valid, and moves by stepMs on every read.
  explicit FakeClock(double stepMs = 0.25) {
    start_ = platform::CounterNow() * (1000000000.0 / platform::CounterFrequency());
    g_fakeNs = static_cast<uint64_t>(start_);
    g_stepNs = static_cast<uint64_t>(stepMs * 1e6);
    platform::SetCounterOverride(&FakeCounter, 1000000000ull);
  }
  ~FakeClock() { platform::SetCounterOverride(nullptr, 0); }
  // Moves the clock to ms milliseconds after its start.
  void Set(double ms) { g_fakeNs = static_cast<uint64_t>(start_ + ms * 1e6); }

 private:
  double start_ = 0;
};

// Starts the runtime inside a forked child (the child has its own TMPDIR).
void StartChildRuntime(int32_t debugMode) {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 320;
  s.ScreenHeight = 240;
  s.FrameRate = -1;
  s.DebugMode = debugMode;
  s.HideMouse = 0;
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  if (!StartRuntime(10, "child")) _exit(99);
}

platform::Event Key(platform::EventType type, int code) {
  platform::Event e;
  e.type = type;
  e.key = code;
  return e;
}

}  // namespace

TEST(FramePacing, DeadlineCatchesUpAtMostTwoPeriods) {
  const double period = 10.0;
  const double deadline = 1000.0;
  // On time: the next period.
  EXPECT_DOUBLE_EQ(NextFrameDeadline(deadline, period, deadline), deadline + period);
  // 1.5 periods late: two periods from the old deadline.
  EXPECT_DOUBLE_EQ(NextFrameDeadline(deadline, period, deadline + 1.5 * period), deadline + 2 * period);
  // 3.5 periods late: the schedule restarts from now.
  const double now = deadline + 3.5 * period;
  EXPECT_DOUBLE_EQ(NextFrameDeadline(deadline, period, now), now + period);
  // Exactly two periods late is still caught up.
  EXPECT_DOUBLE_EQ(NextFrameDeadline(deadline, period, deadline + 2 * period), deadline + 2 * period);
}

TEST(FramePacing, PresentFrameAdvancesTheDeadlineByTheRule) {
  Renderer& r = StartTestRuntime();
  FakeClock clock;
  const double period = 1000.0 / 60;
  TheFrameClock().period = period;
  // A frame that took 3.5 periods: the next deadline is now + period.
  const double base = GetMilliseconds();
  TheFrameClock().deadline = base - 3.5 * period + period;
  PresentFrame(r, nullptr);
  const double leftAt = GetMilliseconds();
  EXPECT_GT(TheFrameClock().deadline, leftAt);
  EXPECT_LE(TheFrameClock().deadline, leftAt + period);
  // A frame that finished 1.5 periods after its deadline: deadline + 2 periods.
  const double now = GetMilliseconds();
  TheFrameClock().deadline = now - 1.5 * period;
  const double old = TheFrameClock().deadline;
  PresentFrame(r, nullptr);
  EXPECT_DOUBLE_EQ(TheFrameClock().deadline, old + 2 * period);
}

TEST(FramePacing, PresentFrameWaitsUntilOneMillisecondBeforeTheDeadline) {
  Renderer& r = StartTestRuntime();
  FakeClock clock(0.05);
  TheFrameClock().period = 20.0;
  const double start = GetMilliseconds();
  TheFrameClock().deadline = start + 5.0;
  PresentFrame(r, nullptr);
  const double end = GetMilliseconds();
  EXPECT_GE(end, start + 4.0);
  EXPECT_DOUBLE_EQ(TheFrameClock().deadline, start + 5.0 + 20.0);
}

TEST(FramePacing, FrameRateSetsThePeriod) {
  StartTestRuntime();
  SetFrameRate(60);
  EXPECT_NEAR(TheFrameClock().period, 1000.0 / 60, 1e-9);
  SetFrameRate(-1);
  EXPECT_DOUBLE_EQ(TheFrameClock().period, 2.0);
  SetFrameRate(0.9);  // truncated to 0: unlimited
  EXPECT_DOUBLE_EQ(TheFrameClock().period, 2.0);
}

TEST(FrameClock, FrameDeltaIsOneUntilTwoFramesDiffer) {
  StartTestRuntime();
  TheFrameClock().frameTime = TheFrameClock().previousFrameTime = GetMilliseconds();
  EXPECT_DOUBLE_EQ(GetFrameDelta(), 1.0);
  FakeClock clock(0.0);
  TheFrameClock().deadline = GetMilliseconds() - 100.0;  // no waiting in these frames
  ShowScreen();
  EXPECT_DOUBLE_EQ(GetFrameDelta(), 1.0);  // two frames with one time stamp
  clock.Set(16.0);
  ShowScreen();
  // Each read of the clock during a frame moves it by nothing: the delta is
  // exactly the time between the two frame starts.
  EXPECT_DOUBLE_EQ(GetFrameDelta(), 16.0);
}

TEST(FrameClock, MillisecondsStartAtZeroAndFollowTheCounter) {
  StartTestRuntime();
  FakeClock clock(0.0);
  const double a = GetMilliseconds();
  clock.Set(250.0);
  const double b = GetMilliseconds();
  EXPECT_NEAR(b - a, 250.0, 1e-6);
}

TEST(ClearColour, FillsTheBufferWithThePackedColour) {
  StartTestRuntime();
  SetClearColour(0x204080);  // red 0x80, green 0x40, blue 0x20
  const testing_support::Rgba p = ReadPixel(10, 10);
  EXPECT_EQ(p.r, 0x80);
  EXPECT_EQ(p.g, 0x40);
  EXPECT_EQ(p.b, 0x20);
  ShowScreen();  // the next frame is cleared to the same colour
  const testing_support::Rgba q = ReadPixel(600, 400);
  EXPECT_EQ(q.r, 0x80);
  EXPECT_EQ(q.g, 0x40);
  EXPECT_EQ(q.b, 0x20);
  SetClearColour(-1);
  EXPECT_EQ(TheRenderer()->clearEachFrame, 0);
  SetClearColour(0);
  EXPECT_EQ(TheRenderer()->clearEachFrame, 1);
}

TEST(Viewport, OrientationTurnsTheLogicalScreen) {
  Renderer& r = StartTestRuntime();
  SetOrientation(1);
  int32_t w = 0, h = 0;
  GetScreenSize(&w, &h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 640);
  int32_t vx, vy, vw, vh;
  GetViewport(&vx, &vy, &vw, &vh);
  EXPECT_EQ(vw, 480);
  EXPECT_EQ(vh, 640);
  // A logical rectangle (10, 20, 100, 50) lies at (W - y - h, x, h, w) on the
  // physical window, with the GL counting rows from the bottom.
  SetViewport(10, 20, 100, 50);
  GLint gl[4];
  glGetIntegerv(GL_VIEWPORT, gl);
  EXPECT_EQ(gl[0], 640 - 20 - 50);
  EXPECT_EQ(gl[1], 480 - 100 - 10);
  EXPECT_EQ(gl[2], 50);
  EXPECT_EQ(gl[3], 100);
  SetOrientation(7);
  EXPECT_EQ(GetOrientation(), 3);
  SetOrientation(-2);
  EXPECT_EQ(GetOrientation(), 0);
  GetScreenSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  (void)r;
}

TEST(Viewport, ZeroWidthMeansTheWholeScreenWhateverXAndY) {
  StartTestRuntime();
  SetOrientation(0);
  SetViewport(30, 40, 0, 100);
  int32_t x, y, w, h;
  GetViewport(&x, &y, &w, &h);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
}

TEST(Viewport, LogicalOriginIsTheTopLeftOfTheTurnedScreen) {
  StartTestRuntime();
  for (int32_t o = 0; o < 4; ++o) {
    SetOrientation(o);
    SetClearColour(0);
    // A point at logical (0, 0): the top-left pixel of the turned screen.
    glDisable(GL_TEXTURE_2D);
    glColor3ub(255, 255, 255);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(4, 0);
    glVertex2f(4, 4);
    glVertex2f(0, 4);
    glEnd();
    // Physical corner where logical (0, 0) lands for each quarter turn.
    const int px[4] = {1, 638, 638, 1};
    const int py[4] = {1, 1, 478, 478};
    const testing_support::Rgba p = ReadPixel(px[o], py[o]);
    EXPECT_EQ(p.r, 255) << "orientation " << o;
    const testing_support::Rgba opposite = ReadPixel(639 - px[o], 479 - py[o]);
    EXPECT_EQ(opposite.r, 0) << "orientation " << o;
  }
  SetOrientation(0);
}

TEST(QuitKeys, EscapeEndsTheProgramThroughEnd) {
  if (testing_support::InFreshChild()) {
    StartChildRuntime(1);
    CurrentLine = 12;
    ErrorLine = 5;
    LastErrorCode = 5;
    platform::InjectEvent(Key(platform::EventType::KeyDown, 1));
    ShowScreen();  // the key is pumped here and ends the next frame
    ShowScreen();
    _exit(42);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess();
  EXPECT_EQ(child.exitCode, 0);
  const size_t end = child.runLog.find("-End On Line\n");
  ASSERT_NE(end, std::string::npos) << child.runLog;
  const std::string report = child.runLog.substr(end);
  EXPECT_EQ(report.rfind("-End On Line\n0\n4\n12\n0\n", 0), 0u) << report;
  const size_t shutdown = report.find("Shutdown VLM\n");
  ASSERT_NE(shutdown, std::string::npos);
  EXPECT_NE(report.find("vlm is shut down\n", shutdown), std::string::npos);
}

TEST(QuitKeys, EscapeIsIgnoredWhenNotAllowedButAltF4AlwaysEnds) {
  if (testing_support::InFreshChild()) {
    StartChildRuntime(1);
    AllowEscape(0);
    platform::InjectEvent(Key(platform::EventType::KeyDown, 1));
    ShowScreen();
    ShowScreen();
    ShowScreen();
    std::puts("still running");
    platform::InjectEvent(Key(platform::EventType::KeyDown, 56));
    platform::InjectEvent(Key(platform::EventType::KeyDown, 62));
    ShowScreen();
    ShowScreen();
    _exit(42);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess();
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_NE(child.out.find("still running"), std::string::npos);
  EXPECT_NE(child.runLog.find("-End On Line\n0\n"), std::string::npos) << child.runLog;
}
