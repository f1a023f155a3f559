// The GL state cache: glEnable/glDisable issued only on a change.
#include "gl/gl_state.h"

#include <cstring>

#include "gl/gl_ext.h"

namespace {

int32_t g_cache[kStateSlotCount];
uint64_t g_switches = 0;

GLenum CapabilityOf(GLStateSlot slot) {
  switch (slot) {
    case kStateBlend: return GL_BLEND;
    case kStateAlphaTest: return GL_ALPHA_TEST;
    case kStateColorMaterial: return GL_COLOR_MATERIAL;
    case kStateCullFace: return GL_CULL_FACE;
    case kStateLighting: return GL_LIGHTING;
    case kStateStencilTest: return GL_STENCIL_TEST;
    case kStateDepthTest: return GL_DEPTH_TEST;
    case kStateFog: return GL_FOG;
    case kStateDither: return GL_DITHER;
    case kStateLineSmooth: return GL_LINE_SMOOTH;
    case kStatePointSmooth: return GL_POINT_SMOOTH;
    case kStateNormalize: return GL_NORMALIZE;
    case kStatePolygonSmooth: return GL_POLYGON_SMOOTH;
    case kStatePolygonOffsetPoint: return GL_POLYGON_OFFSET_POINT;
    case kStateAutoNormal: return GL_AUTO_NORMAL;
    default: return 0;
  }
}

}  // namespace

void SwitchGLState(GLStateSlot slot, bool on) {
  if (slot < 0 || slot >= kStateSlotCount) return;
  const int32_t wanted = on ? kGLStateOn : kGLStateOff;
  if (g_cache[slot] == wanted) return;
  g_cache[slot] = wanted;
  const GLenum capability = CapabilityOf(slot);
  if (capability == 0) return;
  ++g_switches;
  if (on)
    glEnable(capability);
  else
    glDisable(capability);
}

void InvalidateGLStateCache() { std::memset(g_cache, 0x7F, sizeof g_cache); }

int32_t CachedGLState(GLStateSlot slot) {
  return slot >= 0 && slot < kStateSlotCount ? g_cache[slot] : kGLStateOff;
}

uint64_t GLStateSwitchCount() { return g_switches; }
