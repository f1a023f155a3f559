// The automation options: end the program after a number of frames through
// the normal END path, and save the last frame as a picture. They let a
// headless machine show what a program draws.
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/runtime.h"

namespace {

int32_t g_frameLimit = 0;
std::string g_screenshot;
int32_t g_framesShown = 0;
// Nesting depth of RuntimeFramesScope: frames shown inside do not count.
int32_t g_runtimeFrameDepth = 0;
// The frame rate is measured over the second half of the frames, after the
// program's own start-up work (loading, building) is done.
int32_t g_measureFrom = 0;
double g_measureStartMs = 0.0;

bool SaveBackBuffer(const std::string& file) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->clientWidth <= 0 || r->clientHeight <= 0) return false;
  // The same read-back as the SaveScreen command: grab into a free sprite,
  // read it back, save, delete. The error code stays as the program left it.
  const int32_t code = LastErrorCode;
  const bool saved = SaveScreen(file.c_str());
  LastErrorCode = code;
  return saved;
}

}  // namespace

RuntimeFramesScope::RuntimeFramesScope() { ++g_runtimeFrameDepth; }
RuntimeFramesScope::~RuntimeFramesScope() { --g_runtimeFrameDepth; }

void SetAutomation(int32_t frames, const char* screenshot) {
  g_frameLimit = frames > 0 ? frames : 0;
  g_measureFrom = g_frameLimit / 2 + 1;
  g_screenshot = screenshot != nullptr ? screenshot : "";
}

void AutomationFrame() {
  if (g_frameLimit == 0 || g_runtimeFrameDepth > 0) return;
  ++g_framesShown;
  if (g_framesShown == g_measureFrom) g_measureStartMs = GetMilliseconds();
  if (g_framesShown < g_frameLimit) return;
  if (!g_screenshot.empty()) {
    if (SaveBackBuffer(g_screenshot))
      std::printf("Screenshot saved to %s\n", g_screenshot.c_str());
    else
      std::printf("Screenshot could not be saved to %s\n", g_screenshot.c_str());
  }
  const double seconds = (GetMilliseconds() - g_measureStartMs) / 1000.0;
  const int32_t frames = g_framesShown - g_measureFrom;
  std::printf("Rendered %d frames; the last %d took %.2f s: %.1f frames per second\n", g_framesShown,
              frames, seconds, seconds > 0 ? frames / seconds : 0.0);
  std::fflush(stdout);
  g_frameLimit = 0;
  LastErrorCode = kErrorNone;
  ErrorLine = CurrentLine;
  EndProgram();
}
