// Test support: a headless runtime (offscreen window and GL context) shared by a suite.
#include "support/runtime_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "core/settings.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/runtime.h"
#include "support/child_process.h"

namespace testing_support {

namespace {

std::string& TempFolder() {
  static std::string folder;
  return folder;
}

}  // namespace

Renderer& StartTestRuntime(const RuntimeOptions& options) {
  static bool started = false;
  if (!started) {
    static TempDir dir;
    TempFolder() = dir.path();
    setenv("TMPDIR", dir.path().c_str(), 1);
    setenv("VELMORA_NO_DIALOGS", "1", 1);
    ProjectSettings& settings = Settings();
    settings.ScreenWidth = options.width;
    settings.ScreenHeight = options.height;
    settings.FullScreen = 0;
    settings.FrameRate = options.frameRate;
    settings.DebugMode = options.debugMode;
    settings.HideMouse = 0;
    settings.Multisample = 0;
    settings.AppTitle = "Velmora test";
    if (!StartRuntime(kShowDefault, "Velmora test")) {
      std::fprintf(stderr, "the test runtime could not start (no GL window)\n");
      std::abort();
    }
    started = true;
  }
  return *TheRenderer();
}

const char* TestRuntimeTempFolder() { return TempFolder().c_str(); }

std::vector<Rgba> ReadPixels(int32_t x, int32_t y, int32_t w, int32_t h) {
  Renderer* r = TheRenderer();
  std::vector<Rgba> bottomUp(static_cast<size_t>(w) * h);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, r->clientHeight - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  std::vector<Rgba> topDown(bottomUp.size());
  for (int32_t row = 0; row < h; ++row)
    for (int32_t col = 0; col < w; ++col)
      topDown[static_cast<size_t>(row) * w + col] = bottomUp[static_cast<size_t>(h - 1 - row) * w + col];
  return topDown;
}

Rgba ReadPixel(int32_t x, int32_t y) { return ReadPixels(x, y, 1, 1)[0]; }

}  // namespace testing_support
