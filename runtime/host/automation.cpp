// The automation options: end the program after a number of frames through
// the normal END path, and save the last frame as a picture (at the frame
// limit, or at END when the program ends first or has no limit). They let a
// headless machine show what a program draws.
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx2d/renderer.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/runtime.h"
#include "platform/platform.h"

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

// The screenshot is saved once: at the frame limit, else at END.
bool g_screenshotDone = false;

// The frame the program presented last, for a screenshot at END: the
// window's back buffer copied into a texture of its own just before each
// present (a copy inside the GL, nothing read back), drawn back into the
// back buffer when the program ends.
struct KeptFrame {
  GLuint texture = 0;
  int32_t width = 0, height = 0;                // the window's drawing surface
  int32_t textureWidth = 0, textureHeight = 0;  // powers of two around it
};
KeptFrame g_kept;

int32_t PowerOfTwoAtLeast(int32_t n) {
  int32_t size = 16;
  while (size < n && size < (1 << 30)) size *= 2;
  return size;
}

void KeepPresentedFrame(Renderer& r) {
  const int32_t w = r.clientWidth, h = r.clientHeight;
  if (r.window == nullptr || w <= 0 || h <= 0) return;
  EndSpriteBatch();
  if (r.currentTarget >= 0) EndScreen();  // as the present does next: the window is shown
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  if (g_kept.texture == 0) glGenTextures(1, &g_kept.texture);
  glBindTexture(GL_TEXTURE_2D, g_kept.texture);
  if (w != g_kept.width || h != g_kept.height) {
    g_kept.width = w;
    g_kept.height = h;
    g_kept.textureWidth = PowerOfTwoAtLeast(w);
    g_kept.textureHeight = PowerOfTwoAtLeast(h);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, g_kept.textureWidth, g_kept.textureHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
  }
  glReadBuffer(GL_BACK);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

// Puts the kept frame back into the window's back buffer, pixel for pixel;
// false when there is none of the window's present size.
bool RestorePresentedFrame(Renderer& r) {
  if (g_kept.texture == 0 || r.window == nullptr || r.clientWidth != g_kept.width ||
      r.clientHeight != g_kept.height)
    return false;
  EndSpriteBatch();
  if (r.currentTarget >= 0) EndScreen();
  // Whatever the program left set (a shader, a second texture unit,
  // wireframe, masks) is put aside; the state caches stay right because
  // everything is put back.
  if (gl::UseProgramObjectARB != nullptr) gl::UseProgramObjectARB(0);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  if (gl::ActiveTextureARB != nullptr) {
    gl::ActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    gl::ActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, g_kept.width, 0, g_kept.height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(0, 0, g_kept.width, g_kept.height);
  glDrawBuffer(GL_BACK);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  for (GLenum off : {GL_SCISSOR_TEST, GL_DEPTH_TEST, GL_BLEND, GL_ALPHA_TEST, GL_LIGHTING, GL_FOG, GL_CULL_FACE,
                     GL_STENCIL_TEST, GL_COLOR_LOGIC_OP, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
    glDisable(off);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, g_kept.texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  const float u = static_cast<float>(g_kept.width) / g_kept.textureWidth;
  const float v = static_cast<float>(g_kept.height) / g_kept.textureHeight;
  const float w = static_cast<float>(g_kept.width), h = static_cast<float>(g_kept.height);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(0, 0);
  glTexCoord2f(u, 0);
  glVertex2f(w, 0);
  glTexCoord2f(u, v);
  glVertex2f(w, h);
  glTexCoord2f(0, v);
  glVertex2f(0, h);
  glEnd();
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  r.boundSprite = -1;  // unit 0's texture was changed behind the draw code's back
  return true;
}

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

// Says whether the screenshot was saved; from then on it is done.
void ReportScreenshot(bool saved) {
  if (g_screenshot.empty() || g_screenshotDone) return;
  g_screenshotDone = true;
  if (saved)
    std::printf("Screenshot saved to %s\n", g_screenshot.c_str());
  else
    std::printf("Screenshot could not be saved to %s\n", g_screenshot.c_str());
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
  if (g_runtimeFrameDepth > 0) return;
  if (g_frameLimit > 0) {
    ++g_framesShown;
    if (g_framesShown == g_measureFrom) g_measureStartMs = GetMilliseconds();
    if (g_framesShown >= g_frameLimit) {
      // The frames are timed up to here: saving the picture is no part of them.
      const double seconds = (GetMilliseconds() - g_measureStartMs) / 1000.0;
      const int32_t frames = g_framesShown - g_measureFrom;
      ReportScreenshot(!g_screenshot.empty() && !g_screenshotDone && SaveBackBuffer(g_screenshot));
      std::printf("Rendered %d frames; the last %d took %.2f s: %.1f frames per second\n", g_framesShown,
                  frames, seconds, seconds > 0 ? frames / seconds : 0.0);
      std::fflush(stdout);
      g_frameLimit = 0;
      LastErrorCode = kErrorNone;
      ErrorLine = CurrentLine;
      EndProgram();
      return;
    }
  }
  Renderer* r = TheRenderer();
  if (!g_screenshot.empty() && !g_screenshotDone && r != nullptr) KeepPresentedFrame(*r);
}

void SaveScreenshotAtEnd() {
  if (g_screenshot.empty() || g_screenshotDone) return;
  Renderer* r = TheRenderer();
  if (r != nullptr && r->window != nullptr) platform::MakeCurrent(r->window, r->glContext);
  const bool saved = r != nullptr && RestorePresentedFrame(*r) && SaveBackBuffer(g_screenshot);
  ReportScreenshot(saved);
  std::fflush(stdout);
}
