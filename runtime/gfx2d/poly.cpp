// Polygon lists: vertices gathered between BeginPoly and EndPoly and drawn
// as one vertex array.
#include <algorithm>
#include <cstdlib>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

using namespace gfx2d;

// ---------------------------------------------------------------- polygon lists

void BeginPoly(int32_t id, int32_t mode) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (!ValidSpriteId(id) || r->sprites[id].texture == 0) id = -1;
  BindSpriteTexture(id, -1);
  r->polyCount = 0;
  r->polyColoursUsed = false;
  r->polyBreakPending = false;
  r->polyMode = mode;
  r->polyTextured = id >= 0;
  if (id >= 0) {
    const SpriteRecord& s = r->sprites[id];
    r->polyUScale = 1.0f / static_cast<float>(s.textureWidth);
    r->polyVScale = 1.0f / static_cast<float>(s.textureHeight);
    r->polyPictureHeight = s.pictureHeight;
  }
}

namespace {

bool AppendPolyVertex(Renderer& r, const PolyVertex& v) {
  if (r.polyCount >= r.polyCapacity) {
    const int32_t capacity = r.polyCapacity < 64 ? 64 : r.polyCapacity * 2;
    auto* grown = static_cast<PolyVertex*>(std::realloc(r.poly, sizeof(PolyVertex) * capacity));
    if (grown == nullptr) return false;
    r.poly = grown;
    r.polyCapacity = capacity;
  }
  r.poly[r.polyCount++] = v;
  return true;
}

}  // namespace

void AddPolyVertex(float x, float y, float tx, float ty, int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  PolyVertex v{};
  v.x = x;
  v.y = y;
  if (r->polyTextured) {
    v.u = tx * r->polyUScale;
    v.v = (static_cast<float>(r->polyPictureHeight) - ty) * r->polyVScale;
  }
  if (colour == 0xFFFFFF) {
    v.r = v.g = v.b = 255;
  } else {
    v.r = static_cast<uint8_t>(colour & 255);
    v.g = static_cast<uint8_t>((colour >> 8) & 255);
    v.b = static_cast<uint8_t>((colour >> 16) & 255);
    r->polyColoursUsed = true;
  }
  if (colour == r->spriteKey)
    v.a = 0;
  else if (r->globalAlpha == 1.0f)
    v.a = 255;
  else
    v.a = static_cast<uint8_t>(static_cast<int32_t>(r->globalAlpha * 255.0f));
  if (r->polyBreakPending) {
    AppendPolyVertex(*r, v);
    r->polyBreakPending = false;
  }
  AppendPolyVertex(*r, v);
}

void NewPolyStrip() {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->polyCount == 0 || r->polyBreakPending) return;
  const PolyVertex last = r->poly[r->polyCount - 1];
  AppendPolyVertex(*r, last);
  r->polyBreakPending = true;
}

void EndPoly() {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->polyCount == 0) return;
  if (gl::ClientActiveTextureARB != nullptr) gl::ClientActiveTextureARB(GL_TEXTURE0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(PolyVertex), &r->poly[0].x);
  if (r->polyTextured) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(PolyVertex), &r->poly[0].u);
    ApplySpriteFilter(*r);
  } else {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  const bool colours = r->polyColoursUsed || r->globalAlpha != 1.0f;
  if (colours) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PolyVertex), &r->poly[0].r);
    SwitchGLState(kStateDither, true);
    glShadeModel(GL_SMOOTH);
  }
  const GLenum modes[] = {GL_TRIANGLE_FAN, GL_TRIANGLES, GL_TRIANGLE_STRIP};  // by kPoly* mode
  glDrawArrays(modes[std::clamp(r->polyMode, kPolyTriangleFan, kPolyTriangleStrip)], 0, r->polyCount);
  if (colours) {
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, r->globalAlpha);
    glShadeModel(GL_FLAT);
    SwitchGLState(kStateDither, false);
  }
  if (r->polyTextured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
