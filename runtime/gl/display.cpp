// The GL display record, the viewport and orientation mapping and the
// default GL state.
#include "gl/display.h"

#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {
gl::Display* g_display = nullptr;

bool ActiveTarget(const gl::Display& d, int32_t* w, int32_t* h) {
  return d.activeTargetSize != nullptr && d.activeTargetSize(w, h);
}
}  // namespace

namespace gl {
Display* TheDisplay() { return g_display; }
void SetDisplay(Display* display) { g_display = display; }
}  // namespace gl

void ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
  gl::Display* r = g_display;
  if (r == nullptr) return;
  const int32_t W = r->clientWidth;
  const int32_t H = r->clientHeight;
  const int32_t o = r->orientation;
  int32_t targetW = 0, targetH = 0;
  const bool target = ActiveTarget(*r, &targetW, &targetH);
  if (w <= 0 || h <= 0) {
    x = y = 0;
    if (target) {
      w = targetW;
      h = targetH;
    } else if (OrientationSwapsSides(o)) {
      w = H;
      h = W;
    } else {
      w = W;
      h = H;
    }
  }
  glMatrixMode(GL_PROJECTION);
  if (target) {
    // A target drawn through its frame buffer holds the picture at the
    // bottom of its texture; one drawn on the back buffer (when binding was
    // refused) uses the window's top left corner, which is grabbed later.
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
    const int32_t surfaceHeight = framebuffer != 0 ? targetH : H;
    glViewport(x, surfaceHeight - h - y, w, h);
    glLoadIdentity();
  } else {
    GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    switch (o) {
      case kOrientationQuarterTurn:
        m[0] = 0; m[1] = -1; m[4] = 1; m[5] = 0;
        break;
      case kOrientationHalfTurn:
        m[0] = -1; m[5] = -1;
        break;
      case kOrientationThreeQuarterTurn:
        m[0] = 0; m[1] = 1; m[4] = -1; m[5] = 0;
        break;
      default:
        break;
    }
    int32_t physical[4];
    OrientedRectangle(o, W, H, x, y, w, h, physical);
    const int32_t px = physical[0], py = physical[1], pw = physical[2], ph = physical[3];
    glLoadMatrixf(m);
    glViewport(px, H - ph - py, pw, ph);
  }
  glOrtho(0, w, h, 0, -1, 1);
  r->viewportX = x;
  r->viewportY = y;
  r->viewportWidth = w;
  r->viewportHeight = h;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void OrientedRectangle(int32_t o, int32_t W, int32_t H, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t out[4]) {
  switch (o) {
    case kOrientationQuarterTurn: out[0] = W - y - h; out[1] = x; out[2] = h; out[3] = w; break;
    case kOrientationHalfTurn: out[0] = W - x - w; out[1] = H - y - h; out[2] = w; out[3] = h; break;
    case kOrientationThreeQuarterTurn: out[0] = y; out[1] = H - x - w; out[2] = h; out[3] = w; break;
    default: out[0] = x; out[1] = y; out[2] = w; out[3] = h; break;
  }
}

void GetViewport(int32_t* x, int32_t* y, int32_t* w, int32_t* h) {
  const gl::Display* r = g_display;
  *x = r != nullptr ? r->viewportX : 0;
  *y = r != nullptr ? r->viewportY : 0;
  *w = r != nullptr ? r->viewportWidth : 0;
  *h = r != nullptr ? r->viewportHeight : 0;
}

void StoreOrientation(int32_t orientation) {
  if (g_display == nullptr) return;
  g_display->orientation = orientation < kOrientationUpright ? kOrientationUpright
                          : orientation > kOrientationLast ? kOrientationLast
                                                           : orientation;
}

void GetScreenSize(int32_t* w, int32_t* h) {
  const gl::Display* r = g_display;
  *w = *h = 0;
  if (r == nullptr) return;
  if (ActiveTarget(*r, w, h)) return;
  if (OrientationSwapsSides(r->orientation)) {
    *w = r->clientHeight;
    *h = r->clientWidth;
  } else {
    *w = r->clientWidth;
    *h = r->clientHeight;
  }
}

void ResetGLState() {
  ApplyViewport(0, 0, 0, 0);
  InvalidateGLStateCache();
  SwitchGLState(kStateDepthTest, false);
  SwitchGLState(kStateCullFace, false);
  glFrontFace(GL_CW);
  SwitchGLState(kStateAlphaTest, true);
  glAlphaFunc(GL_GREATER, 0.05f);
  glColor4f(1, 1, 1, 1);
  SwitchGLState(kStateFog, false);
  SwitchGLState(kStateLineSmooth, false);
  SwitchGLState(kStatePointSmooth, false);
  SwitchGLState(kStateStencilTest, false);
  SwitchGLState(kStateNormalize, false);
  SwitchGLState(kStateLighting, false);
  glShadeModel(GL_SMOOTH);
  SwitchGLState(kStateColorMaterial, false);
  SwitchGLState(kStateDither, false);
  SwitchGLState(kStatePolygonSmooth, false);
  SwitchGLState(kStatePolygonOffsetPoint, false);
  SwitchGLState(kStateAutoNormal, false);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
}
