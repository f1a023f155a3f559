// The 3D render state switches: the stencil-shadow pass, fog, face culling and the depth test.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/bridge2d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {

// The opacity of the effect colour laid over the shadowed pixels.
constexpr float kShadowAlpha = 0.5f;

}  // namespace

void ShadowScissorBox(const Engine3D& e, int32_t box[4]) {
  const int32_t* vp = e.shadowViewport;
  int32_t edges[4];
  for (int k = 0; k < 4; ++k) {
    // A volume corner just in front of the eye lies far outside the
    // viewport, beyond what a pixel number holds: an edge past the
    // viewport's counts as on it (the fill covers no more than the
    // viewport), and one that is not a number as the whole way out.
    const bool high = k >= 2;
    float ndc = e.shadowNdc[k];
    if (high)
      ndc = ndc < 1.0f ? std::max(ndc, -1.0f) : 1.0f;
    else
      ndc = ndc > -1.0f ? std::min(ndc, 1.0f) : -1.0f;
    const float at = (ndc + 1) * 0.5f * static_cast<float>(vp[2 + k % 2]);
    edges[k] = vp[k % 2] + (high ? static_cast<int32_t>(std::ceil(at)) + 1 : static_cast<int32_t>(std::floor(at)) - 1);
  }
  box[0] = edges[0];
  box[1] = edges[1];
  box[2] = std::max(0, edges[2] - edges[0]);
  box[3] = std::max(0, edges[3] - edges[1]);
}

void SetShadowPass(Engine3D& e, bool on) {
  if ((e.shadowPass != 0) == on) return;
  e.shadowPass = on ? 1 : 0;
  Renderer* r = e.renderer;
  if (on) {
    glShadeModel(GL_FLAT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    SwitchGLState(kStateStencilTest, true);
    // Counts left in the stencil buffer from outside a pass mean nothing.
    if (e.stencilDirty) glClear(GL_STENCIL_BUFFER_BIT);
    e.stencilDirty = true;
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    math3d::Multiply(projection, e.camera, e.worldToClip);
    glGetIntegerv(GL_VIEWPORT, e.shadowViewport);
    e.shadowBoundsAny = false;
    e.shadowBoundsAll = false;
    e.shadowNdc[0] = e.shadowNdc[1] = std::numeric_limits<float>::infinity();
    e.shadowNdc[2] = e.shadowNdc[3] = -std::numeric_limits<float>::infinity();
    glDepthMask(GL_FALSE);
    glStencilFunc(GL_ALWAYS, 0, 0);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
    return;
  }
  glCullFace(GL_BACK);
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_LEQUAL);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (r != nullptr) {
    ResetGLState();
    Reset2DDrawState(*r);
    SwitchGLState(kStateBlend, true);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    r->globalAlpha = kShadowAlpha;
    glColor4f(1, 1, 1, kShadowAlpha);
    SwitchGLState(kStateStencilTest, true);
    glStencilFunc(GL_NOTEQUAL, 0, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    if (e.shadowBoundsAny) {
      // Counts are non-zero only where volumes were drawn.
      const bool bounded = !e.shadowBoundsAll;
      if (bounded) {
        int32_t box[4];
        ShadowScissorBox(e, box);
        glScissor(box[0], box[1], box[2], box[3]);
        glEnable(GL_SCISSOR_TEST);
      }
      FillViewportRect(e.effectColour);
      if (bounded) glDisable(GL_SCISSOR_TEST);
    }
    SwitchGLState(kStateBlend, false);
    r->globalAlpha = 1.0f;
    glColor4f(1, 1, 1, 1);
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glShadeModel(GL_SMOOTH);
  SwitchGLState(kStateDepthTest, true);
  glDepthFunc(GL_LESS);
  SwitchGLState(kStateStencilTest, false);
  // The counts stay until a clear that costs nothing extra (stencilDirty).
  SwitchGLState(kStateCullFace, true);
  glCullFace(GL_BACK);
  ApplyCullMode(e);
}

// ---------------------------------------------------------------- fog, culling, depth

namespace {

// The fog colour that switches fog off.
constexpr int32_t kFogOffColour = -1;

}  // namespace

void SetFog(Number colourNumber, Number exponential, Number a, Number b) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const int32_t colour = TruncToInt32(colourNumber);
  if (colour == kFogOffColour) {
    SwitchGLState(kStateFog, false);
    return;
  }
  SwitchGLState(kStateFog, true);
  if (TruncToInt32(exponential) != 0) {
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, static_cast<float>(a));
  } else {
    float start = static_cast<float>(a), end = static_cast<float>(b);
    if (start == 0.0f && end == 0.0f) {
      start = e->nearPlane;
      end = e->farPlane;
    }
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
  }
  float rgba[4];
  PackedColourFloats(colour, rgba);
  rgba[3] = 0.0f;
  glFogfv(GL_FOG_COLOR, rgba);
}

void ApplyCullMode(Engine3D& e) {
  if (e.cullMode == kCullNone) {
    SwitchGLState(kStateCullFace, false);
  } else if (e.cullMode == kCullClockwise) {
    glFrontFace(GL_CW);
    SwitchGLState(kStateCullFace, true);
  } else {
    SwitchGLState(kStateCullFace, true);
    glFrontFace(GL_CCW);
  }
}

void SetCullMode(Number mode) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const int32_t m = TruncToInt32(mode);
  e->cullMode = m > 0 ? kCullClockwise : m < 0 ? kCullCounterClockwise : kCullNone;
  ApplyCullMode(*e);
}

void SetDepthTest(Number flag) {
  if (TruncToInt32(flag) != 0) {
    SwitchGLState(kStateDepthTest, true);
    glDepthFunc(GL_LESS);
  } else {
    SwitchGLState(kStateDepthTest, false);
  }
}
