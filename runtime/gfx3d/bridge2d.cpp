// What the 3D engine takes from the 2D renderer: texture binding, sprite textures, the shadow rectangle.
#include "gfx3d/internal/bridge2d.h"

#include "gfx2d/gfx2d.h"
#include "gfx2d/renderer.h"

void Bind2DTextures(int32_t id, int32_t id2, int32_t alternate, const uint32_t* table) {
  BindSpriteTexture(id, id2, alternate, table);
}

uint32_t SpriteTextureName(int32_t id) { return SpriteTextureToSample(id); }

void FillViewportRect(int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  DrawRect(0, 0, r->viewportWidth, r->viewportHeight, colour);
}
