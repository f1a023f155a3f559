// Image files and integer arrays into sprites and back: loading (with the
// colour bleed around transparent pixels), saving sprites and the screen.
#include <cstdint>

#include "core/core.h"
#include "core/little_endian.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"

namespace gfx2d {

namespace {

bool LoadSpriteFile(const char* file, int32_t id, bool normalMap) {
  Renderer* r = TheRenderer();
  LastErrorCode = kErrorNone;
  if (r == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  DeleteSprite(id);
  bool ok = false;
  // Only what fits a texture is kept: a larger picture is reduced while it
  // is decoded, and the record keeps the size the file gives.
  DecodeLimits limits;
  limits.maxSide = MaxTextureSize();
  if (file != nullptr && file[0] != 0) {
    Picture picture;
    if (LoadPictureFile(file, picture, r->spriteKey, true, &limits)) {
      if (!picture.ownAlpha) ColourBleed(picture);
      ok = SetSpriteFromPicture(id, picture, normalMap);
      if (ok && picture.width != limits.fileWidth) {
        r->sprites[id].pictureWidth = limits.fileWidth;
        r->sprites[id].pictureHeight = limits.fileHeight;
      }
    }
  }
  if (!ok) {
    DeleteSprite(id);
    SetLastError(limits.fault == PictureFault::kTooLarge ? kErrorOutOfMemory : kErrorNoSuchFile);
  }
  return ok;
}

}  // namespace

void ColourBleed(Picture& picture) {
  const int32_t w = picture.width;
  const int32_t h = picture.height;
  if (picture.pixels == nullptr) return;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      if (p[3] != 0) continue;
      // Only opaque pixels are read, and only transparent ones are written,
      // so the pass can work in place.
      int32_t sum[3] = {0, 0, 0};
      int32_t count = 0;
      for (int32_t dy = -1; dy <= 1; ++dy) {
        const int32_t ny = y + dy;
        if (ny <= 0 || ny >= h - 1) continue;
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t nx = x + dx;
          if ((dx == 0 && dy == 0) || nx <= 0 || nx >= w - 1) continue;
          const uint8_t* n = picture.Pixel(nx, ny);
          if (n[3] == 0) continue;
          sum[0] += n[0];
          sum[1] += n[1];
          sum[2] += n[2];
          ++count;
        }
      }
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(count > 0 ? sum[c] / count : 0);
    }
  }
}

}  // namespace gfx2d

using namespace gfx2d;

// ---------------------------------------------------------------- loading

bool LoadSprite(const char* file, int32_t id) { return LoadSpriteFile(file, id, false); }
bool LoadSprite(const BasicString& file, int32_t id) { return LoadSpriteFile(file.c_str(), id, false); }
bool LoadNormalMapSprite(const char* file, int32_t id) { return LoadSpriteFile(file, id, true); }
bool LoadNormalMapSprite(const BasicString& file, int32_t id) { return LoadSpriteFile(file.c_str(), id, true); }

// ---------------------------------------------------------------- arrays and files

bool ArrayToSprite(const BasicArray<int32_t>& pixels, int32_t id, int32_t w, int32_t h) {
  if (TheRenderer() == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  if (w < 1 || h < 1 || pixels.data == nullptr || static_cast<int64_t>(w) * h != pixels.count) return false;
  Picture picture;
  if (!picture.Resize(w, h)) return false;
  const int32_t* source = pixels.Elements();
  for (int64_t i = 0; i < static_cast<int64_t>(w) * h; ++i) {
    const uint32_t v = static_cast<uint32_t>(source[i]);
    uint8_t* p = picture.pixels + i * 4;
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
  picture.ownAlpha = 1;
  return SetSpriteFromPicture(id, picture, false);
}

namespace {

void PictureToArray(const Picture& picture, BasicArray<int32_t>& pixels) {
  const int64_t count = static_cast<int64_t>(picture.width) * picture.height;
  DimArray(pixels, static_cast<int32_t>(count));
  int32_t* target = pixels.Elements();
  if (target == nullptr) return;
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* p = picture.pixels + i * 4;
    target[i] = static_cast<int32_t>(LoadLittle32(p));
  }
}

}  // namespace

bool SpriteToArray(BasicArray<int32_t>& pixels, int32_t id) {
  if (TheRenderer() == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  Picture picture;
  if (!SpriteToPicture(id, picture)) return false;
  PictureToArray(picture, pixels);
  return true;
}

bool LoadImageToArray(const char* file, BasicArray<int32_t>& pixels, int32_t& width, int32_t& height) {
  Renderer* r = TheRenderer();
  width = height = 0;
  LastErrorCode = kErrorNone;
  Picture picture;
  if (r == nullptr || !LoadPictureFile(file, picture, r->spriteKey, true)) {
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  if (!picture.ownAlpha) ColourBleed(picture);
  PictureToArray(picture, pixels);
  width = picture.width;
  height = picture.height;
  return true;
}

bool LoadImageToArray(const BasicString& file, BasicArray<int32_t>& pixels, double& width, double& height) {
  int32_t w = 0, h = 0;
  const bool ok = LoadImageToArray(file.c_str(), pixels, w, h);
  width = w;
  height = h;
  return ok;
}

bool SaveSprite(const char* file, int32_t id) {
  if (TheRenderer() == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  Picture picture;
  if (file == nullptr || !SpriteToPicture(id, picture) || !SavePicture(file, picture)) {
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  return true;
}

bool SaveSprite(const BasicString& file, int32_t id) { return SaveSprite(file.c_str(), id); }

bool SaveScreen(const char* file) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  const int32_t id = FindFreeSprite();
  int32_t w = 0, h = 0;
  GetScreenSize(&w, &h);
  bool ok = false;
  if (id >= 0 && w > 0 && h > 0 && file != nullptr && GrabSprite(id, 0, 0, w, h)) {
    Picture picture;
    ok = SpriteToPicture(id, picture) && SavePicture(file, picture);
  }
  if (id >= 0) DeleteSprite(id);
  if (!ok) SetLastError(kErrorNoSuchFile);
  return ok;
}

bool SaveScreen(const BasicString& file) { return SaveScreen(file.c_str()); }
