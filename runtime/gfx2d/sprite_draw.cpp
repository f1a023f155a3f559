// Sprite and animation-frame drawing: plain, stretched, zoomed and rotated
// quads.
#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

using namespace gfx2d;

namespace {

// Binds a sprite for drawing; null when there is nothing to draw. Draws
// through the quad routine bind straight to the clamped wrap the routine
// sets, so that a run of them changes no texture state between quads.
const SpriteRecord* PrepareSprite(Renderer& r, int32_t id, bool quadRoutine, bool pixelExact = false) {
  if (!ValidSpriteId(id)) return nullptr;
  const SpriteRecord& s = r.sprites[id];
  if (s.texture == 0 || s.pictureWidth <= 0) return nullptr;
  BindTextures(r, id, -1, 0, nullptr, quadRoutine ? GL_CLAMP_TO_EDGE : GL_REPEAT);
  if (pixelExact) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  } else {
    ApplySpriteFilter(r);
  }
  return &s;
}

// Texture rectangle of an animation frame; false when the sprite has no
// frame size.
bool FrameTexCoords(const SpriteRecord& s, int32_t frame, float* ul, float* ur, float* vb, float* vt) {
  if (s.frameWidth <= 0 || s.frameHeight <= 0 || s.textureWidth <= 0 || s.textureHeight <= 0) return false;
  const int32_t columns = s.pictureWidth / s.frameWidth;
  int32_t col = frame, row = 0;
  if (columns != 0) {
    col = frame % columns;
    row = frame / columns;
  }
  const float tw = static_cast<float>(s.textureWidth);
  const float th = static_cast<float>(s.textureHeight);
  *ul = static_cast<float>(col * s.frameWidth) / tw;
  *ur = *ul + static_cast<float>(s.frameWidth) / tw;
  *vb = static_cast<float>(s.pictureHeight - s.frameHeight * (row + 1)) / th;
  *vt = *vb + static_cast<float>(s.frameHeight) / th;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- sprites

void DrawSprite(int32_t id, float x, float y) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  // At its own size on whole pixels every screen pixel samples the middle of
  // one texel, where linear filtering gives that texel alone: nearest
  // filtering draws the same picture for less work.
  const bool pixelExact = x == std::floor(x) && y == std::floor(y);
  const SpriteRecord* s = PrepareSprite(*r, id, false, pixelExact);
  if (s == nullptr) return;
  const float w = static_cast<float>(s->pictureWidth);
  const float h = static_cast<float>(s->pictureHeight);
  glBegin(GL_QUADS);
  glTexCoord2f(s->uScale, s->vScale);
  glVertex2f(x + w, y);
  glTexCoord2f(0, s->vScale);
  glVertex2f(x, y);
  glTexCoord2f(0, 0);
  glVertex2f(x, y + h);
  glTexCoord2f(s->uScale, 0);
  glVertex2f(x + w, y + h);
  glEnd();
}

void StretchSprite(int32_t id, float x, float y, float w, float h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const SpriteRecord* s = PrepareSprite(*r, id, true);
  if (s == nullptr) return;
  SetQuad(x, y, x + w, y + h, 0, 0, s->uScale, s->vScale);
  DrawQuad(g_quad, true);
}

void ZoomSprite(int32_t id, float x, float y, double zoomX, double zoomY) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  const double w = s.pictureWidth, h = s.pictureHeight;
  const int32_t zw = static_cast<int32_t>(w * zoomX);
  const int32_t zh = static_cast<int32_t>(h * zoomY);
  const int32_t dx = static_cast<int32_t>(w * zoomX - w) / 2;
  const int32_t dy = static_cast<int32_t>(h * zoomY - h) / 2;
  StretchSprite(id, x - static_cast<float>(dx), y - static_cast<float>(dy), static_cast<float>(zw),
                static_cast<float>(zh));
}

void RotoZoomSprite(int32_t id, float x, float y, double angle, double zoom) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const SpriteRecord* s = PrepareSprite(*r, id, true);
  if (s == nullptr) return;
  const int32_t w = s->pictureWidth, h = s->pictureHeight;
  const float tw = static_cast<float>(s->textureWidth), th = static_cast<float>(s->textureHeight);
  glPushMatrix();
  glTranslatef(x + static_cast<float>(w / 2), y + static_cast<float>(h / 2), 0.0f);
  glRotatef(static_cast<float>(angle), 0, 0, -1);
  const float hw = static_cast<float>(w * zoom / 2);
  const float hh = static_cast<float>(h * zoom / 2);
  // Half a texel in from each edge, so linear filtering never reaches the
  // transparent padding or the opposite edge.
  SetQuad(-hw, -hh, hw, hh, 0.5f / tw, 0.5f / th, (static_cast<float>(w) - 0.5f) / tw,
          (static_cast<float>(h) - 0.5f) / th);
  DrawQuad(g_quad, true);
  glPopMatrix();
}

void SetSpriteAnim(int32_t id, int32_t frameWidth, int32_t frameHeight) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  SpriteRecord& s = r->sprites[id];
  if (s.pictureWidth <= 0) return;
  s.frameWidth = frameWidth;
  s.frameHeight = frameHeight;
}

void StretchAnim(int32_t id, int32_t frame, float x, float y, float w, float h) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  float ul, ur, vb, vt;
  if (!FrameTexCoords(r->sprites[id], frame, &ul, &ur, &vb, &vt)) return;
  if (PrepareSprite(*r, id, true) == nullptr) return;
  SetQuad(x, y, x + w, y + h, ul, vb, ur, vt);
  DrawQuad(g_quad, true);
}

void DrawAnim(int32_t id, int32_t frame, float x, float y) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  StretchAnim(id, frame, x, y, static_cast<float>(s.frameWidth), static_cast<float>(s.frameHeight));
}

void RotoZoomAnim(int32_t id, int32_t frame, float x, float y, double angle, double zoom) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  float ul, ur, vb, vt;
  if (!FrameTexCoords(s, frame, &ul, &ur, &vb, &vt)) return;
  if (PrepareSprite(*r, id, true) == nullptr) return;
  const double cx = x + s.frameWidth / 2;
  const double cy = y + s.frameHeight / 2;
  const double hw = s.frameWidth * zoom / 2;
  const double hh = s.frameHeight * zoom / 2;
  // The turn glRotatef(angle, 0, 0, -1) makes, so both rotate commands agree.
  const double radians = angle * 3.14159265358979323846 / 180.0;
  const double c = std::cos(radians), sn = std::sin(radians);
  const double corners[4][2] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
  const float uv[4][2] = {{ul, vb}, {ur, vb}, {ur, vt}, {ul, vt}};
  for (int i = 0; i < 4; ++i) {
    const double px = corners[i][0], py = corners[i][1];
    g_quad[i * 4 + 0] = static_cast<float>(cx + px * c + py * sn);
    g_quad[i * 4 + 1] = static_cast<float>(cy - px * sn + py * c);
    g_quad[i * 4 + 2] = uv[i][0];
    g_quad[i * 4 + 3] = uv[i][1];
  }
  DrawQuad(g_quad, true);
}
