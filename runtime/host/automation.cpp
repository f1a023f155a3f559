// The automation options: end the program after a number of frames through
// the normal END path, and save the last frame as a picture. They let a
// headless machine show what a program draws.
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "gfx2d/picture.h"
#include "host/gl_ext.h"
#include "host/host.h"
#include "host/host_internal.h"

namespace {

int32_t g_frameLimit = 0;
std::string g_screenshot;
int32_t g_framesShown = 0;
double g_firstFrameMs = 0.0;

bool SaveBackBuffer(const std::string& file) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->clientWidth <= 0 || r->clientHeight <= 0) return false;
  const int32_t w = r->clientWidth;
  const int32_t h = r->clientHeight;
  std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 4);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  Picture picture;
  if (!picture.Resize(w, h)) return false;
  // The GL counts rows from the bottom; pictures start with the top row.
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* source = rows.data() + static_cast<size_t>(h - 1 - y) * w * 4;
    uint8_t* target = picture.Pixel(0, y);
    for (int32_t x = 0; x < w * 4; x += 4) {
      target[x] = source[x];
      target[x + 1] = source[x + 1];
      target[x + 2] = source[x + 2];
      target[x + 3] = 255;
    }
  }
  return SavePicture(file.c_str(), picture);
}

}  // namespace

void SetAutomation(int32_t frames, const char* screenshot) {
  g_frameLimit = frames > 0 ? frames : 0;
  g_screenshot = screenshot != nullptr ? screenshot : "";
}

void AutomationFrame() {
  if (g_frameLimit == 0) return;
  if (g_framesShown == 0) g_firstFrameMs = GetMilliseconds();
  if (++g_framesShown < g_frameLimit) return;
  if (!g_screenshot.empty()) {
    if (SaveBackBuffer(g_screenshot))
      std::printf("Screenshot saved to %s\n", g_screenshot.c_str());
    else
      std::printf("Screenshot could not be saved to %s\n", g_screenshot.c_str());
  }
  const double seconds = (GetMilliseconds() - g_firstFrameMs) / 1000.0;
  const int32_t frames = g_framesShown - 1;
  std::printf("Rendered %d frames in %.2f s: %.1f frames per second\n", frames + 1, seconds,
              seconds > 0 ? frames / seconds : 0.0);
  std::fflush(stdout);
  g_frameLimit = 0;
  LastErrorCode = 0;
  ErrorLine = CurrentLine;
  EndProgram();
}
