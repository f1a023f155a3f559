// What the 3D engine takes from the 2D renderer: texture binding on both
// units, sprite texture names and the full-screen rectangle of the shadow
// pass.
#pragma once

#include <cstdint>

// BindSpriteTexture with the alternate-name flag and an optional table of
// GL names that replaces the sprite store.
void Bind2DTextures(int32_t id, int32_t id2, int32_t alternate, const uint32_t* table);
// The sprite's GL texture name (0 for none).
uint32_t SpriteTextureName(int32_t id);
// DrawRect over the whole 2D viewport in the colour, with the current
// global alpha.
void FillViewportRect(int32_t colour);
