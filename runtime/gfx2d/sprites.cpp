// The sprite store: pictures into textures (with the mip-mapped companion and
// the normal-map conversion), sprite records and their sizes, and releasing
// every texture when the window goes away.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/internal/texture_stream.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

int32_t g_maxTextureOverride = 0;

// The blue channel read as a height field becomes a tangent-space normal.
// Heights are taken before any texel changes; neighbours wrap at the edges.
bool ConvertToNormalMap(uint8_t* block, int32_t w, int32_t h) {
  std::unique_ptr<float[]> height(new (std::nothrow) float[static_cast<size_t>(w) * h]);
  if (!height) return false;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) height[i] = block[i * 4 + 2] / 255.0f;
  auto H = [&](int32_t x, int32_t y) {
    x = (x + w) % w;
    y = (y + h) % h;
    return height[static_cast<size_t>(y) * w + x];
  };
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const float nx = -((H(x + 1, y - 1) + 2 * H(x + 1, y) + H(x + 1, y + 1)) -
                         (H(x - 1, y - 1) + 2 * H(x - 1, y) + H(x - 1, y + 1)));
      const float ny = -((H(x - 1, y - 1) + 2 * H(x, y - 1) + H(x + 1, y - 1)) -
                         (H(x - 1, y + 1) + 2 * H(x, y + 1) + H(x + 1, y + 1)));
      const float s = 1.0f / std::sqrt(nx * nx + ny * ny + 1.0f);
      uint8_t* t = block + (static_cast<size_t>(y) * w + x) * 4;
      t[0] = static_cast<uint8_t>(static_cast<int32_t>((nx * s + 1.0f) * 0.5f * 255.0f));
      t[1] = static_cast<uint8_t>(static_cast<int32_t>((ny * s + 1.0f) * 0.5f * 255.0f));
      t[2] = static_cast<uint8_t>(static_cast<int32_t>((s + 1.0f) * 0.5f * 255.0f));
    }
  }
  return true;
}

// The texture size from which a sprite's texture shares the companion's
// storage; a test hook lowers it.
int64_t g_sharedTextureBytes = 64ll << 20;

}  // namespace

uint8_t* AllocateBlock(int32_t w, int32_t h) {
  return static_cast<uint8_t*>(std::calloc(static_cast<size_t>(w) * h, 4));
}

void SetUnpackDefaults() {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

void StoreSpriteSizes(SpriteRecord& s, int32_t pictureW, int32_t pictureH, int32_t uploadedW, int32_t uploadedH) {
  s.textureWidth = TextureSizeFor(uploadedW);
  s.textureHeight = TextureSizeFor(uploadedH);
  s.pictureWidth = pictureW;
  s.pictureHeight = pictureH;
  // From the part that went into the texture: a picture cut at the maximum
  // texture size must not make draws wrap around into repeats.
  s.uScale = static_cast<float>(uploadedW) / static_cast<float>(s.textureWidth);
  s.vScale = static_cast<float>(uploadedH) / static_cast<float>(s.textureHeight);
}

int32_t TextureSizeFor(int32_t n) {
  int32_t size = 8;
  do {
    size *= 2;
  } while (size < n && size < (1 << 30));
  return size;
}

}  // namespace gfx2d

using namespace gfx2d;

// ---------------------------------------------------------------- test hooks

void SetMaxTextureSizeOverride(int32_t size) { g_maxTextureOverride = size > 0 ? size : 0; }

void SetSharedTextureBytes(int64_t bytes) { g_sharedTextureBytes = bytes > 0 ? bytes : (64ll << 20); }

int32_t MaxTextureSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  if (size <= 0) size = 1024;
  if (g_maxTextureOverride > 0 && g_maxTextureOverride < size) size = g_maxTextureOverride;
  return size;
}

// ---------------------------------------------------------------- upload

namespace gfx2d {

bool ShareTextureStorage(int32_t tw, int32_t th) {
  return tw == th && static_cast<int64_t>(tw) * th * 4 >= g_sharedTextureBytes && TextureViewsSupported();
}

bool UploadPictureRows(const Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* name,
                       uint32_t* mipName, bool nearest, bool normalMap, bool share) {
  if (name == nullptr) return false;
  const int32_t maxSize = MaxTextureSize();
  if (w == 0) w = picture.width - x;
  if (h == 0) h = picture.height - y;
  if (w < 1 || h < 1) return false;
  w = std::min(w, maxSize);
  h = std::min(h, maxSize);
  const int32_t tw = TextureSizeFor(w);
  const int32_t th = TextureSizeFor(h);
  // Only the picture's own columns of the region are copied.
  const int32_t c0 = std::max(0, -x);
  const int32_t c1 = picture.pixels != nullptr ? std::min(w, picture.width - x) : 0;
  auto pictureRow = [&](int32_t row) -> const uint8_t* {
    const int32_t sy = y + row;
    if (picture.pixels == nullptr || c1 <= c0 || sy < 0 || sy >= picture.height) return nullptr;
    return picture.pixels + (static_cast<size_t>(sy) * picture.width + x + c0) * 4;
  };
  TextureStream stream;
  bool ok;
  if (normalMap) {
    // The conversion looks across the whole texture (its neighbours wrap
    // around the edges), so it works on one block of it.
    uint8_t* block = AllocateBlock(tw, th);
    if (block == nullptr) return false;
    for (int32_t row = 0; row < h; ++row)
      if (const uint8_t* source = pictureRow(row))
        std::memcpy(block + (static_cast<size_t>(h - 1 - row) * tw + c0) * 4, source,
                    static_cast<size_t>(c1 - c0) * 4);
    ok = ConvertToNormalMap(block, tw, th) && stream.Begin(tw, th, name, mipName, nearest, false);
    if (ok) {
      for (int32_t r = th - 1; r >= 0; --r) stream.TextureRow(block + static_cast<size_t>(r) * tw * 4);
      ok = stream.Finish();
    }
    std::free(block);
  } else {
    ok = stream.Begin(tw, th, name, mipName, nearest, share && mipName != nullptr && ShareTextureStorage(tw, th));
    if (ok) {
      // Picture row y + r lands in texture row h - 1 - r: the texture holds
      // the picture bottom row first.
      PictureRows rows(stream, tw, th, h);
      rows.Start();
      for (int32_t row = 0; row < h; ++row) {
        if (const uint8_t* source = pictureRow(row))
          rows.Row(source, c0, c1);
        else
          rows.BlankRow();
      }
      ok = stream.Finish();
    }
  }
  if (Renderer* r = TheRenderer()) r->boundSprite = -1;
  return ok;
}

}  // namespace gfx2d

using namespace gfx2d;

bool UploadPicture(const Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* name,
                   uint32_t* mipName, bool nearest, bool normalMap) {
  return UploadPictureRows(picture, x, y, w, h, name, mipName, nearest, normalMap, false);
}

bool SetSpriteFromPicture(int32_t id, const Picture& picture, bool normalMap) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  DeleteSprite(id);
  if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1) return false;
  const bool font = id >= FONT_SLOT_BASE;
  SpriteRecord& s = r->sprites[id];
  uint32_t texture = 0, mip = 0;
  const bool ok = UploadPictureRows(picture, 0, 0, 0, 0, &texture, font ? nullptr : &mip, font,
                                    font ? false : normalMap, !font);
  s.texture = texture;
  s.mipTexture = mip;
  if (!ok) {
    DeleteSprite(id);
    return false;
  }
  const int32_t maxSize = MaxTextureSize();
  StoreSpriteSizes(s, picture.width, picture.height, std::min(picture.width, maxSize),
                   std::min(picture.height, maxSize));
  return true;
}

// ---------------------------------------------------------------- the store

void DeleteSprite(int32_t id) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  // A deleted texture leaves the units it was bound to.
  EndSpriteRun();
  FreeAlphaMask(*r, id);
  SpriteRecord& s = r->sprites[id];
  ForgetSpriteTexture(s.texture);
  if (s.texture != 0) glDeleteTextures(1, &s.texture);
  if (s.mipTexture != 0) glDeleteTextures(1, &s.mipTexture);
  s.texture = 0;
  s.mipTexture = 0;
  s.textureWidth = s.textureHeight = -1;
  s.pictureWidth = s.pictureHeight = 0;
  s.uScale = s.vScale = 1.0f;
  if (r->boundSprite == id || r->boundSprite2 == id) r->boundSprite = r->boundSprite2 = -1;
}

int32_t FindFreeSprite() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return -1;
  // 65503 is never handed out: a back-buffer render target keeps the window
  // contents there and would overwrite the program's picture.
  for (int32_t id = kBackBufferSprite - 1; id >= 0; --id)
    if (r->sprites[id].pictureWidth == 0) return id;
  return -1;
}

void GetSpriteSize(int32_t id, int32_t& width, int32_t& height) {
  Renderer* r = TheRenderer();
  width = height = 0;
  if (r == nullptr || !ValidSpriteId(id)) return;
  width = r->sprites[id].pictureWidth;
  height = r->sprites[id].pictureHeight;
}

void GetSpriteSize(int32_t id, double& width, double& height) {
  int32_t w = 0, h = 0;
  GetSpriteSize(id, w, h);
  width = w;
  height = h;
}

uint32_t GetSpriteTexture(int32_t id) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return 0;
  // The program may write to the texture with the GL itself, unseen here.
  KeepSpriteTextureUncopied(r->sprites[id].texture);
  return r->sprites[id].texture;
}

uint32_t SpriteTextureToSample(int32_t id) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return 0;
  return r->sprites[id].texture;
}

void ReleaseAllTextures() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  for (int32_t id = 0; id < kSpriteCount; ++id) DeleteSprite(id);
  for (int32_t n = 0; n < kBackgroundCount; ++n) {
    BackgroundPicture& b = r->backgrounds[n];
    for (uint32_t& tile : b.tiles)
      if (tile != 0) glDeleteTextures(1, &tile);
    std::memset(&b, 0, sizeof(b));
  }
}
