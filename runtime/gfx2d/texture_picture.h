// Pictures read for textures that other subsystems own (the 3D engine's
// scene textures), prepared as sprite pictures are.
#pragma once

#include "gfx2d/picture.h"

// Resolves the name (memory files and archive entries included) and decodes
// it as BMP, else PNG, else JPEG, with the sprite colour key; a picture
// larger than a texture can be is reduced while it is decoded, and one
// without alpha of its own gets the colour bleed around keyed pixels. False
// (picture empty) when no reader takes the file, and before the renderer
// exists.
bool LoadTexturePicture(const char* name, Picture& picture);
