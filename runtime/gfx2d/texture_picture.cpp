// Picture files read for textures owned outside the sprite store.
#include "gfx2d/texture_picture.h"

#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"

bool LoadTexturePicture(const char* name, Picture& picture) {
  // Without the renderer there is no GL to ask for the texture size limit
  // (nor to upload to).
  Renderer* r = TheRenderer();
  if (r == nullptr || name == nullptr || *name == '\0') return false;
  DecodeLimits limits;
  limits.maxSide = MaxTextureSize();
  if (!gfx2d::LoadPictureFile(name, picture, r->spriteKey, true, &limits)) return false;
  if (!picture.ownAlpha) gfx2d::ColourBleed(picture);
  return true;
}
