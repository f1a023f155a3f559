// Window modes and start-up sizes: the full-screen switch, a start size of
// 0 x 0, and the software-renderer note read from "opengldriver.txt".
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/settings.h"
#include "external/external.h"
#include "gfx2d/gfx2d.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/runtime.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

using testing_support::ChildResult;
using testing_support::InFreshChild;
using testing_support::RunCurrentTestInFreshProcess;

namespace {

// Swap intervals asked for through the extension entry point.
std::vector<int> g_intervals;
int RecordInterval(int interval) {
  g_intervals.push_back(interval);
  return 1;
}

void StartRuntimeOfSize(int32_t w, int32_t h, int32_t frameRate) {
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  ProjectSettings& s = Settings();
  s.ScreenWidth = w;
  s.ScreenHeight = h;
  s.FullScreen = 0;
  s.FrameRate = frameRate;
  s.DebugMode = 0;
  s.HideMouse = 0;
  if (!StartRuntime(10, "modes")) _exit(99);
}

// "window WxH renderer WxH viewport X Y W H fullscreen F period P"
void PrintWindowState() {
  Renderer& r = *TheRenderer();
  int32_t w = 0, h = 0;
  platform::GetWindowClientSize(r.window, &w, &h);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  std::printf("window %dx%d renderer %dx%d viewport %d %d %d %d fullscreen %d period %.3f\n", w, h,
              r.clientWidth, r.clientHeight, viewport[0], viewport[1], viewport[2], viewport[3], IsFullScreen(),
              TheFrameClock().period);
}

std::string WindowState(int w, int h, int fullScreen, const char* period) {
  return "window " + std::to_string(w) + "x" + std::to_string(h) + " renderer " + std::to_string(w) + "x" +
         std::to_string(h) + " viewport 0 0 " + std::to_string(w) + " " + std::to_string(h) + " fullscreen " +
         std::to_string(fullScreen) + " period " + period + "\n";
}

int32_t DesktopWidthInChild(const std::string& out) {
  const size_t at = out.find("desktop ");
  return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 8);
}

int32_t DesktopHeightInChild(const std::string& out) {
  const size_t at = out.find("desktop ");
  if (at == std::string::npos) return 0;
  const size_t x = out.find('x', at);
  return x == std::string::npos ? 0 : std::atoi(out.c_str() + x + 1);
}

}  // namespace

// The full-screen switch builds a new window at the desktop's size. An
// unlimited frame rate comes back as 500 frames per second: the same 2 ms
// period, now with the swap interval 1.
TEST(FullScreenMode, SwitchKeepsAnUnlimitedFrameRate) {
  if (InFreshChild()) {
    StartRuntimeOfSize(320, 240, -1);
    int32_t dw = 0, dh = 0;
    GetDesktopSize(&dw, &dh);
    std::printf("desktop %dx%d\n", dw, dh);
    PrintWindowState();
    Renderer& r = *TheRenderer();
    const void* before = r.window;
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT = &RecordInterval;
    SetScreenMode(dw, dh, 1);
    std::printf("new window %d\n", r.window != before ? 1 : 0);
    std::printf("intervals");
    for (int interval : g_intervals) std::printf(" %d", interval);
    std::printf("\n");
    PrintWindowState();
    // What the new window shows: the clear colour reaches its far corner.
    SetClearColour(0x00FF00);
    const testing_support::Rgba far = testing_support::ReadPixel(dw - 2, dh - 2);
    std::printf("far pixel %d %d %d\n", far.r, far.g, far.b);
    // Back to a window of the old size.
    SetScreenMode(320, 240, 0);
    PrintWindowState();
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess();
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  const int32_t dw = DesktopWidthInChild(child.out), dh = DesktopHeightInChild(child.out);
  ASSERT_GT(dw, 0) << child.out;
  ASSERT_GT(dh, 0) << child.out;
  const std::string windowed = WindowState(320, 240, 0, "2.000");
  const std::string full = WindowState(dw, dh, 1, "2.000");
  const size_t start = child.out.find(windowed);
  const size_t switched = child.out.find(full);
  ASSERT_NE(start, std::string::npos) << child.out;
  ASSERT_NE(switched, std::string::npos) << child.out;
  EXPECT_LT(start, switched);
  EXPECT_NE(child.out.find(windowed, switched), std::string::npos) << "back to the window: " << child.out;
  EXPECT_NE(child.out.find("new window 1\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("far pixel 0 255 0\n"), std::string::npos) << child.out;
  // Where the swap interval can be set, the switch asked for 1 (paced),
  // never for 0.
  const size_t intervals = child.out.find("intervals");
  ASSERT_NE(intervals, std::string::npos);
  const std::string asked = child.out.substr(intervals, child.out.find('\n', intervals) - intervals);
  if (asked != "intervals") {
    EXPECT_NE(asked.find(" 1"), std::string::npos) << asked;
    EXPECT_EQ(asked.find(" 0"), std::string::npos) << asked;
  }
  EXPECT_EQ(child.runLog.find("No Fullscreen Mode available\n"), std::string::npos) << child.runLog;
}

// A start size of 0 x 0 takes the size of the window the system creates,
// which is the desktop's.
TEST(StartSize, ZeroWidthAndHeightTakeTheCreatedWindowsSize) {
  if (InFreshChild()) {
    StartRuntimeOfSize(0, 0, -1);
    int32_t dw = 0, dh = 0;
    GetDesktopSize(&dw, &dh);
    std::printf("desktop %dx%d\n", dw, dh);
    PrintWindowState();
    int32_t sw = 0, sh = 0;
    GetScreenSize(&sw, &sh);
    std::printf("screen %dx%d\n", sw, sh);
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess();
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  const int32_t dw = DesktopWidthInChild(child.out), dh = DesktopHeightInChild(child.out);
  ASSERT_GT(dw, 0) << child.out;
  ASSERT_GT(dh, 0) << child.out;
  EXPECT_NE(child.out.find(WindowState(dw, dh, 0, "2.000")), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("screen " + std::to_string(dw) + "x" + std::to_string(dh) + "\n"), std::string::npos)
      << child.out;
}

// On a software rasteriser start-up shows the program's "opengldriver.txt"
// from the folder it was started in: the built-in text when the file is
// empty, at most its first 2047 bytes otherwise, nothing without the file.
TEST(SoftwareRendererNote, ShowsTheDriverFileFromTheStartFolder) {
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/host_clear_program";
  const std::string title = "[No OpenGL Hardware Drivers] ";
  std::string longText;
  for (int i = 0; i < 5000; ++i) longText += static_cast<char>('A' + i % 26);
  const std::string builtIn =
      "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
      "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE unterst\xC3\xBCtzt!\n";
  struct Case {
    const char* what;
    bool file;
    std::string contents;
    std::string shown;  // after the title; empty: no note at all
  };
  const Case cases[] = {
      {"no file", false, "", ""},
      {"empty file", true, "", builtIn},
      {"5000 bytes", true, longText, longText.substr(0, 2047) + "\n"},
      {"short text", true, "Use the other driver.", "Use the other driver.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing_support::TempDir work;
    testing_support::TempDir tmp;
    if (c.file) testing_support::WriteWholeFile(work.File("opengldriver.txt"), c.contents);
    const ChildResult child =
        testing_support::RunProgram(program, {"--frames", "1"}, tmp.path(), {"VELMORA_NO_DIALOGS=1"}, work.path());
    ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
    if (child.runLog.find("*** OpenGL Software Emulation - update driver!\n") == std::string::npos)
      GTEST_SKIP() << "the GL renderer is not a software rasteriser";
    const size_t at = child.err.find(title);
    if (c.shown.empty()) {
      EXPECT_EQ(at, std::string::npos) << child.err;
      continue;
    }
    ASSERT_NE(at, std::string::npos) << child.err;
    EXPECT_EQ(child.err.substr(at + title.size(), c.shown.size()), c.shown);
    EXPECT_EQ(child.err.find(title, at + 1), std::string::npos) << "shown once";
  }
}

// Starting another program leaves full screen first, so the program is not
// hidden behind it; a window that is not full screen stays as it is.
TEST(FullScreenMode, RunProgramLeavesFullScreenFirst) {
  if (InFreshChild()) {
    StartRuntimeOfSize(320, 240, 60);
    Renderer& r = *TheRenderer();
    double code = -1;
    const void* windowed = r.window;
    RunProgram("true", 1, 1, code);
    std::printf("windowed kept %d full %d code %g\n", r.window == windowed ? 1 : 0, IsFullScreen(), code);
    int32_t dw = 0, dh = 0;
    GetDesktopSize(&dw, &dh);
    SetScreenMode(dw, dh, 1);
    std::printf("before %d\n", IsFullScreen());
    RunProgram("false", 1, 1, code);
    std::printf("after %d code %g\n", IsFullScreen(), code);
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess();
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("windowed kept 1 full 0 code 0\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("before 1\nafter 0 code 1\n"), std::string::npos) << child.out;
}
