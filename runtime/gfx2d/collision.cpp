// Pixel-exact collision of sprites and animation frames, from alpha masks
// read back from the sprite textures on first use.
#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

// The mask of one sprite: its texture's alpha channel, with the size in
// front so lookups never leave it.
struct AlphaMask {
  int32_t width;
  int32_t height;
  uint8_t alpha[1];
};

const AlphaMask* EnsureAlphaMask(Renderer& r, int32_t id) {
  if (r.alphaMasks[id] != nullptr) return reinterpret_cast<const AlphaMask*>(r.alphaMasks[id]);
  const SpriteRecord& s = r.sprites[id];
  if (s.texture == 0) return nullptr;
  EndSpriteRun();
  glBindTexture(GL_TEXTURE_2D, s.texture);
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  const size_t bytes = std::max<size_t>(static_cast<size_t>(w) * h, 64);
  auto* mask = static_cast<AlphaMask*>(std::calloc(1, offsetof(AlphaMask, alpha) + bytes));
  if (mask == nullptr) return nullptr;
  mask->width = w;
  mask->height = h;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, mask->alpha);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  r.alphaMasks[id] = reinterpret_cast<uint8_t*>(mask);
  // The query bound a texture behind the draw code's back.
  r.boundSprite = -1;
  return mask;
}

// A placed rectangle of a sprite's picture: (sx, sy, w, h) of the picture at
// screen position (x, y).
struct PlacedArea {
  int32_t id;
  int32_t sx, sy, w, h;
  int32_t x, y;
};

bool AlphaAt(const SpriteRecord& s, const AlphaMask* mask, int32_t px, int32_t py) {
  // Picture row py is texture row (rows in the texture - 1 - py): the picture
  // was uploaded bottom row first.
  const int32_t rows = std::min(s.pictureHeight, s.textureHeight);
  const int32_t ty = rows - 1 - py;
  if (px < 0 || ty < 0 || px >= mask->width || ty >= mask->height) return false;
  return mask->alpha[static_cast<size_t>(ty) * mask->width + px] != 0;
}

bool AreasCollide(Renderer& r, const PlacedArea& a, const PlacedArea& b) {
  const int32_t left = std::max(a.x, b.x);
  const int32_t right = std::min(a.x + a.w, b.x + b.w);
  const int32_t top = std::max(a.y, b.y);
  const int32_t bottom = std::min(a.y + a.h, b.y + b.h);
  if (left >= right || top >= bottom) return false;
  const AlphaMask* maskA = EnsureAlphaMask(r, a.id);
  const AlphaMask* maskB = EnsureAlphaMask(r, b.id);
  if (maskA == nullptr || maskB == nullptr) return false;
  const SpriteRecord& sa = r.sprites[a.id];
  const SpriteRecord& sb = r.sprites[b.id];
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x)
      if (AlphaAt(sa, maskA, x - a.x + a.sx, y - a.y + a.sy) && AlphaAt(sb, maskB, x - b.x + b.sx, y - b.y + b.sy))
        return true;
  return false;
}

// The picture rectangle of an animation frame (the whole picture when the
// frame width is 0).
PlacedArea FrameArea(const SpriteRecord& s, int32_t id, int32_t frame, int32_t x, int32_t y) {
  PlacedArea area{id, 0, 0, s.pictureWidth, s.pictureHeight, x, y};
  if (s.frameWidth <= 0 || s.frameHeight <= 0) return area;
  int32_t columns = s.pictureWidth / s.frameWidth;
  if (columns == 0) columns = 1;
  area.sx = (frame % columns) * s.frameWidth;
  area.sy = (frame / columns) * s.frameHeight;
  area.w = s.frameWidth;
  area.h = s.frameHeight;
  return area;
}

}  // namespace

void FreeAlphaMask(Renderer& r, int32_t id) {
  if (!ValidSpriteId(id)) return;
  std::free(r.alphaMasks[id]);
  r.alphaMasks[id] = nullptr;
}

}  // namespace gfx2d

using namespace gfx2d;

// ---------------------------------------------------------------- collision

bool SpriteCollision(int32_t id1, int32_t x1, int32_t y1, int32_t id2, int32_t x2, int32_t y2) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidSpriteId(id1) || !ValidSpriteId(id2)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  const SpriteRecord& a = r->sprites[id1];
  const SpriteRecord& b = r->sprites[id2];
  return AreasCollide(*r, PlacedArea{id1, 0, 0, a.pictureWidth, a.pictureHeight, x1, y1},
                      PlacedArea{id2, 0, 0, b.pictureWidth, b.pictureHeight, x2, y2});
}

bool AnimCollision(int32_t id1, int32_t frame1, int32_t x1, int32_t y1, int32_t id2, int32_t frame2, int32_t x2,
                   int32_t y2) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidSpriteId(id1) || !ValidSpriteId(id2)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  return AreasCollide(*r, FrameArea(r->sprites[id1], id1, frame1, x1, y1),
                      FrameArea(r->sprites[id2], id2, frame2, x2, y2));
}
