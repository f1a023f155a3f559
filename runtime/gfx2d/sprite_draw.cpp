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

// How a sprite quad is drawn: DrawSprite's own-size quad (pixel-exact on
// whole pixels), the quad routine's, or a rotated one.
enum class Quad { kOwnSize, kPixelExact, kStretched, kRotated };

// Binds a sprite for drawing; null when there is nothing to draw. *place,
// if given, receives where the quad's texture coordinates go (see
// BindSpriteForQuad): only DrawSprite's pixel-exact quad may join a run,
// every other quad keeps its own coordinates. Draws through the quad
// routine clamp at the edges, DrawSprite's repeat.
const SpriteRecord* PrepareSprite(Renderer& r, int32_t id, Quad quad, TexturePlace* place = nullptr) {
  if (!ValidSpriteId(id)) return nullptr;
  const SpriteRecord& s = r.sprites[id];
  if (s.texture == 0 || s.pictureWidth <= 0) return nullptr;
  const bool ownSize = quad == Quad::kOwnSize || quad == Quad::kPixelExact;
  const GLint filter = quad == Quad::kPixelExact || !r.smoothing ? GL_NEAREST : GL_LINEAR;
  // Only where every pixel takes one texel's centre do the run's shader and
  // the fixed pipeline agree to the last bit (see sprite_batch.cpp).
  const bool batchable = quad == Quad::kPixelExact;
  const TexturePlace at = BindSpriteForQuad(r, id, ownSize ? GL_REPEAT : GL_CLAMP_TO_EDGE, filter, batchable);
  if (place != nullptr) *place = at;
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
  TexturePlace place;
  const SpriteRecord* s = PrepareSprite(*r, id, pixelExact ? Quad::kPixelExact : Quad::kOwnSize, &place);
  if (s == nullptr) return;
  const float w = static_cast<float>(s->pictureWidth);
  const float h = static_cast<float>(s->pictureHeight);
  const float u0 = place.u0, v0 = place.v0;
  const float u1 = place.u0 + s->uScale * place.uScale, v1 = place.v0 + s->vScale * place.vScale;
  glBegin(GL_QUADS);
  glTexCoord2f(u1, v1);
  glVertex2f(x + w, y);
  glTexCoord2f(u0, v1);
  glVertex2f(x, y);
  glTexCoord2f(u0, v0);
  glVertex2f(x, y + h);
  glTexCoord2f(u1, v0);
  glVertex2f(x + w, y + h);
  glEnd();
}

void StretchSprite(int32_t id, float x, float y, float w, float h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const SpriteRecord* s = PrepareSprite(*r, id, Quad::kStretched);
  if (s == nullptr) return;
  SetQuad(x, y, x + w, y + h, 0, 0, s->uScale, s->vScale);
  DrawSpriteQuad(g_quad);
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
  const SpriteRecord* s = PrepareSprite(*r, id, Quad::kRotated);
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
  DrawSpriteQuad(g_quad);
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
  if (PrepareSprite(*r, id, Quad::kStretched) == nullptr) return;
  SetQuad(x, y, x + w, y + h, ul, vb, ur, vt);
  DrawSpriteQuad(g_quad);
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
  if (PrepareSprite(*r, id, Quad::kRotated) == nullptr) return;
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
  DrawSpriteQuad(g_quad);
}
