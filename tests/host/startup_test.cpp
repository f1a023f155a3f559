// Start-up: the run log's trace, the window and context it leaves behind,
// the extension groups and the default GL state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"
#include "host/host.h"
#include "host/runtime.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

using testing_support::Lines;
using testing_support::ReadWholeFile;
using testing_support::StartTestRuntime;

namespace {

// Index of the first line at or after `from` that starts with `prefix`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& prefix, int from) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i].rfind(prefix, 0) == 0) return i;
  return -1;
}

}  // namespace

TEST(Startup, RunLogHoldsTheStartupTraceInOrder) {
  Renderer& r = StartTestRuntime();
  ASSERT_NE(r.window, nullptr);
  const std::string log = ReadWholeFile(std::string(testing_support::TestRuntimeTempFolder()) + "ErrorLog.txt");
  ASSERT_EQ(log.rfind("Start new log...\n", 0), 0u) << log;
  const std::vector<std::string> lines = Lines(log);
  const char* const kOrder[] = {"Start new log...", "timer", "rbow", "rbow init", "WIN32 init video",
                                "get accurate timer - 1st call", "flip - 1st call", "BGRA ext",
                                "Texture size limit: ", "init fbo", "2D VP", "OGRB init [OK]", "Cptn",
                                "Network", "Input", "Window mode", "Create DXin", "reptr", "getexe", "cd",
                                "exepath=curdir= ", "Delay load DLLs", "Init Finalized"};
  int at = 0;
  for (const char* expected : kOrder) {
    const int found = FindLine(lines, expected, at);
    ASSERT_GE(found, 0) << "missing or out of order: " << expected << "\n" << log;
    at = found + 1;
  }
  // The texture limit is the GL's own.
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  EXPECT_NE(log.find("Texture size limit: " + std::to_string(limit) + "\n"), std::string::npos);
  // A software rasteriser is reported once, between window creation and the
  // first timer reading.
  const int software = FindLine(lines, "*** OpenGL Software Emulation - update driver!", 0);
  if (IsSoftwareRenderer()) {
    EXPECT_GT(software, FindLine(lines, "WIN32 init video", 0));
    EXPECT_LT(software, FindLine(lines, "get accurate timer - 1st call", 0));
  } else {
    EXPECT_EQ(software, -1);
  }
}

TEST(Startup, LeavesTheFolderOfTheExecutableCurrentAndAWindowOfTheAskedSize) {
  Renderer& r = StartTestRuntime();
  EXPECT_EQ(r.clientWidth, 640);
  EXPECT_EQ(r.clientHeight, 480);
  int32_t w = 0, h = 0;
  platform::GetWindowClientSize(r.window, &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  std::string exe = platform::ExecutablePath();
  exe.erase(exe.find_last_of('/'));
  EXPECT_EQ(platform::CurrentDirectory(), exe);
  const std::string log = ReadWholeFile(std::string(testing_support::TestRuntimeTempFolder()) + "ErrorLog.txt");
  EXPECT_NE(log.find("exepath=curdir= " + exe + "\n"), std::string::npos);
}

TEST(Startup, DefaultGlStateAfterStart) {
  StartTestRuntime();
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint front = 0;
  glGetIntegerv(GL_FRONT_FACE, &front);
  EXPECT_EQ(front, GL_CW);
  GLint func = 0;
  GLfloat ref = 0;
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
  glGetFloatv(GL_ALPHA_TEST_REF, &ref);
  EXPECT_EQ(func, GL_GREATER);
  EXPECT_FLOAT_EQ(ref, 0.05f);
  EXPECT_EQ(CachedGLState(kStateAlphaTest), 1);
  EXPECT_EQ(CachedGLState(kStateBlend), 0);
}

TEST(Startup, StateCacheSwitchesOnlyOnChange) {
  StartTestRuntime();
  InvalidateGLStateCache();
  const uint64_t before = GLStateSwitchCount();
  SwitchGLState(kStateFog, true);
  SwitchGLState(kStateFog, true);
  SwitchGLState(kStateFog, true);
  EXPECT_EQ(GLStateSwitchCount(), before + 1);
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  SwitchGLState(kStateFog, false);
  SwitchGLState(kStateFog, false);
  EXPECT_EQ(GLStateSwitchCount(), before + 2);
  EXPECT_FALSE(glIsEnabled(GL_FOG));
  // After invalidation the same value is issued again.
  InvalidateGLStateCache();
  SwitchGLState(kStateFog, false);
  EXPECT_EQ(GLStateSwitchCount(), before + 3);
}

TEST(Startup, ExtensionGroupsLoadOnlyWhenTheirKeyIsPresent) {
  StartTestRuntime();
  const char* real = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  ASSERT_NE(real, nullptr);
  gl::LoadExtensionGroups("GL_EXT_something GL_ARB_fragment_program GL_EXT_other");
  EXPECT_NE(gl::CreateProgramObjectARB, nullptr);
  EXPECT_NE(gl::UseProgramObjectARB, nullptr);
  EXPECT_EQ(gl::ActiveTextureARB, nullptr);
  EXPECT_EQ(gl::SwapIntervalEXT, nullptr);
  EXPECT_EQ(gl::GenBuffersARB, nullptr);
  gl::LoadExtensionGroups("GL_ARB_multitexture");
  EXPECT_NE(gl::ActiveTextureARB, nullptr);
  EXPECT_NE(gl::GenBuffersARB, nullptr);
  EXPECT_NE(gl::SwapIntervalEXT, nullptr);
  EXPECT_EQ(gl::CreateProgramObjectARB, nullptr);
  gl::LoadExtensionGroups(real);
}

TEST(Startup, WriteLogAppendsTextAsGivenAndNullAsNULL) {
  testing_support::ChildResult child = testing_support::RunInChild([] {
    WriteLog("one\n");
    WriteLog(nullptr);
    WriteLog("");
    WriteLog("two");
  });
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.runLog, "one\nNULLtwo");
}

TEST(ScreenMode, SetScreenModeResizesTheDrawableSurface) {
  if (testing_support::InFreshChild()) {
    setenv("VELMORA_NO_DIALOGS", "1", 1);
    ProjectSettings& s = Settings();
    s.ScreenWidth = 320;
    s.ScreenHeight = 240;
    s.FrameRate = -1;
    s.DebugMode = 0;
    s.HideMouse = 0;
    if (!StartRuntime(kShowDefault, "resize")) _exit(99);
    SetScreenMode(800, 600, 0);
    Renderer& r = *TheRenderer();
    int32_t w = 0, h = 0;
    platform::GetWindowClientSize(r.window, &w, &h);
    std::printf("client %dx%d renderer %dx%d fullscreen %d\n", w, h, r.clientWidth, r.clientHeight,
                IsFullScreen());
    // Pixels beyond the old size exist and take the clear colour.
    SetClearColour(0x0000FF);
    const testing_support::Rgba far = testing_support::ReadPixel(790, 590);
    std::printf("far pixel %d %d %d\n", far.r, far.g, far.b);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::printf("viewport %d %d %d %d\n", viewport[0], viewport[1], viewport[2], viewport[3]);
    std::fflush(stdout);
    _exit(0);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess();
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("client 800x600 renderer 800x600 fullscreen 0"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("far pixel 255 0 0"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("viewport 0 0 800 600"), std::string::npos) << child.out;
}
