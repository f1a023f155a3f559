#include "gfx3d/bridge2d.h"

#include "gfx2d/renderer.h"
#include "host/gl_ext.h"
#include "host/host.h"
#include "host/subsystems.h"

void Bind2DTextures(int32_t id, int32_t id2, int32_t, const uint32_t*) { BindSpriteTexture(id, id2); }

uint32_t SpriteTextureName(int32_t) { return 0; }

void FillViewportRect(int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const float w = static_cast<float>(r->viewportWidth);
  const float h = static_cast<float>(r->viewportHeight);
  BindSpriteTexture(-1, -1);
  glColor4ub(static_cast<GLubyte>(colour & 255), static_cast<GLubyte>((colour >> 8) & 255),
             static_cast<GLubyte>((colour >> 16) & 255), static_cast<GLubyte>(255.0f * r->globalAlpha));
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(w, 0);
  glVertex2f(w, h);
  glVertex2f(0, h);
  glEnd();
  glColor4f(1, 1, 1, r->globalAlpha);
}
