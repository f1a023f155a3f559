// Image files and integer arrays into sprites and back: loading (with the
// colour bleed around transparent pixels), saving sprites and the screen.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/core.h"
#include "core/little_endian.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/internal/texture_stream.h"

namespace gfx2d {

namespace {

// The bleed for row y of a picture h rows high and w wide: above and below
// are rows y - 1 and y + 1 (null at the picture's edge). Only opaque pixels
// are read and only transparent ones written, so rows can be bled in place,
// one after the other.
void BleedRow(const uint8_t* above, uint8_t* row, const uint8_t* below, int32_t w, int32_t y, int32_t h) {
  // Neighbours on the picture's outer border do not count.
  const uint8_t* rows[3] = {y - 1 >= 1 && y - 1 <= h - 2 ? above : nullptr, y >= 1 && y <= h - 2 ? row : nullptr,
                            y + 1 >= 1 && y + 1 <= h - 2 ? below : nullptr};
  for (int32_t x = 0; x < w; ++x) {
    uint8_t* p = row + static_cast<size_t>(x) * 4;
    if (p[3] != 0) continue;
    int32_t sum[3] = {0, 0, 0};
    int32_t count = 0;
    for (int32_t dy = -1; dy <= 1; ++dy) {
      const uint8_t* line = rows[dy + 1];
      if (line == nullptr) continue;
      for (int32_t dx = -1; dx <= 1; ++dx) {
        const int32_t nx = x + dx;
        if ((dx == 0 && dy == 0) || nx <= 0 || nx >= w - 1) continue;
        const uint8_t* n = line + static_cast<size_t>(nx) * 4;
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

// A sprite's textures made from the rows of a picture file as they are
// decoded, with the colour bleed applied on the way (three rows at a time)
// when the alpha is not the file's: no copy of the whole picture is held.
class SpriteRows : public PictureRowSink {
 public:
  SpriteRows(Renderer& r, int32_t id) : r_(r), id_(id) {}
  ~SpriteRows() override { Discard(); }

  bool Begin(int32_t width, int32_t height, bool ownAlpha) override {
    Discard();
    if (width < 1 || height < 1) return false;
    w_ = width;
    h_ = height;
    const int32_t maxSize = MaxTextureSize();
    uw_ = std::min(width, maxSize);
    uh_ = std::min(height, maxSize);
    const int32_t tw = TextureSizeFor(uw_), th = TextureSizeFor(uh_);
    const bool font = id_ >= FONT_SLOT_BASE;
    const bool share = !font && ShareTextureStorage(tw, th);
    if (!stream_.Begin(tw, th, &texture_, font ? nullptr : &mip_, font, share)) return false;
    rows_ = std::make_unique<PictureRows>(stream_, tw, th, uh_);
    rows_->Start();
    bleed_ = !ownAlpha;
    if (bleed_) {
      for (std::vector<uint8_t>& line : window_) line.assign(static_cast<size_t>(width) * 4, 0);
    }
    begun_ = true;
    return true;
  }

  void Row(int32_t y, const uint8_t* rgba) override {
    if (!begun_ || y < 0 || y >= h_) return;
    if (!bleed_) {
      Emit(y, rgba);
      return;
    }
    std::memcpy(Line(y), rgba, static_cast<size_t>(w_) * 4);
    // Row y - 1 has both its neighbours now.
    if (y >= 1) Bleed(y - 1);
    last_ = y;
  }

  // Finishes the textures and gives them to the sprite; false when the GL
  // failed (the sprite stays deleted).
  bool Commit(const DecodeLimits& limits) {
    if (!begun_) return false;
    if (bleed_ && last_ == h_ - 1) Bleed(h_ - 1);
    begun_ = false;
    rows_.reset();
    const bool ok = stream_.Finish();
    SpriteRecord& s = r_.sprites[id_];
    s.texture = texture_;
    s.mipTexture = mip_;
    texture_ = mip_ = 0;
    r_.boundSprite = -1;
    if (!ok) return false;
    StoreSpriteSizes(s, w_, h_, uw_, uh_);
    // The record keeps the size the file gives, when it was reduced.
    if (w_ != limits.fileWidth && limits.fileWidth > 0) {
      s.pictureWidth = limits.fileWidth;
      s.pictureHeight = limits.fileHeight;
    }
    return true;
  }

 private:
  uint8_t* Line(int32_t y) { return window_[y % 3].data(); }
  void Bleed(int32_t y) {
    BleedRow(y >= 1 ? Line(y - 1) : nullptr, Line(y), y + 1 < h_ ? Line(y + 1) : nullptr, w_, y, h_);
    Emit(y, Line(y));
  }
  void Emit(int32_t y, const uint8_t* row) {
    if (y < uh_) rows_->Row(row, 0, uw_);
  }
  void Discard() {
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    if (mip_ != 0) glDeleteTextures(1, &mip_);
    texture_ = mip_ = 0;
    rows_.reset();
    begun_ = false;
    last_ = -1;
    r_.boundSprite = -1;
  }

  Renderer& r_;
  int32_t id_;
  int32_t w_ = 0, h_ = 0, uw_ = 0, uh_ = 0;
  uint32_t texture_ = 0, mip_ = 0;
  bool bleed_ = false, begun_ = false;
  int32_t last_ = -1;
  TextureStream stream_;
  std::unique_ptr<PictureRows> rows_;
  std::vector<uint8_t> window_[3];
};

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
    if (normalMap) {
      // The normal-map conversion looks across the whole texture.
      Picture picture;
      if (LoadPictureFile(file, picture, r->spriteKey, true, &limits)) {
        if (!picture.ownAlpha) ColourBleed(picture);
        ok = SetSpriteFromPicture(id, picture, normalMap);
        if (ok && picture.width != limits.fileWidth) {
          r->sprites[id].pictureWidth = limits.fileWidth;
          r->sprites[id].pictureHeight = limits.fileHeight;
        }
      }
    } else {
      SpriteRows rows(*r, id);
      ok = LoadPictureFile(file, rows, r->spriteKey, true, &limits) && rows.Commit(limits);
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
  for (int32_t y = 0; y < h; ++y)
    BleedRow(y >= 1 ? picture.Pixel(0, y - 1) : nullptr, picture.Pixel(0, y),
             y + 1 < h ? picture.Pixel(0, y + 1) : nullptr, w, y, h);
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
