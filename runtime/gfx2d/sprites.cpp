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
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

int32_t g_maxTextureOverride = 0;

void ClearGLErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

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

// The next mip level of a w x h block, written over the block's start: each
// texel weighs its own corner 4, the right and lower neighbours 2 and the
// diagonal one 1. Writing in place is safe because every texel written lies
// at or before the first texel it reads.
void HalveMipLevel(uint8_t* block, int32_t w, int32_t h) {
  const int32_t nw = std::max(w / 2, 1);
  const int32_t nh = std::max(h / 2, 1);
  const size_t row = static_cast<size_t>(w) * 4;
  for (int32_t j = 0; j < nh; ++j) {
    const int32_t sy = j * 2;
    const bool lower = sy + 1 < h;
    for (int32_t i = 0; i < nw; ++i) {
      const int32_t sx = i * 2;
      const bool right = sx + 1 < w;
      const uint8_t* a = block + sy * row + static_cast<size_t>(sx) * 4;
      uint8_t out[4];
      if (right && lower) {
        const uint8_t* d = a + row;
        for (int c = 0; c < 4; ++c)
          out[c] = static_cast<uint8_t>((4 * a[c] + 2 * a[4 + c] + 2 * d[c] + d[4 + c]) / 9);
      } else if (right || lower) {
        // At the right or bottom edge only the one neighbour there counts.
        const uint8_t* n = right ? a + 4 : a + row;
        for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((2 * a[c] + n[c]) / 3);
      } else {
        std::memcpy(out, a, 4);
      }
      std::memcpy(block + (static_cast<size_t>(j) * nw + i) * 4, out, 4);
    }
  }
}

// Builds and uploads the mip-mapped companion from the (already converted)
// texture block, which it consumes.
void UploadMipCompanion(uint8_t* block, int32_t w, int32_t h, uint32_t* mipName) {
  // Square first: the longer side is halved by averaging neighbour pairs.
  while (w > h) {
    const int32_t nw = w / 2;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < nw; ++x)
        for (int c = 0; c < 4; ++c) {
          const uint8_t* s = block + (static_cast<size_t>(y) * w + x * 2) * 4;
          block[(static_cast<size_t>(y) * nw + x) * 4 + c] = static_cast<uint8_t>((s[c] + s[4 + c]) / 2);
        }
    w = nw;
  }
  while (h > w) {
    const int32_t nh = h / 2;
    for (int32_t y = 0; y < nh; ++y)
      for (int32_t x = 0; x < w; ++x)
        for (int c = 0; c < 4; ++c) {
          const uint8_t* s = block + (static_cast<size_t>(y) * 2 * w + x) * 4;
          block[(static_cast<size_t>(y) * w + x) * 4 + c] =
              static_cast<uint8_t>((s[c] + s[static_cast<size_t>(w) * 4 + c]) / 2);
        }
    h = nh;
  }
  if (*mipName == 0) glGenTextures(1, mipName);
  glBindTexture(GL_TEXTURE_2D, *mipName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  int32_t size = w;
  for (GLint level = 0; size >= 1; ++level) {
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, block);
    if (size == 1) break;
    HalveMipLevel(block, size, size);
    size /= 2;
  }
}

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

int32_t MaxTextureSize() {
  GLint size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  if (size <= 0) size = 1024;
  if (g_maxTextureOverride > 0 && g_maxTextureOverride < size) size = g_maxTextureOverride;
  return size;
}

// ---------------------------------------------------------------- upload

bool UploadPicture(const Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* name,
                   uint32_t* mipName, bool nearest, bool normalMap) {
  if (name == nullptr) return false;
  const int32_t maxSize = MaxTextureSize();
  if (w == 0) w = picture.width - x;
  if (h == 0) h = picture.height - y;
  if (w < 1 || h < 1) return false;
  w = std::min(w, maxSize);
  h = std::min(h, maxSize);
  const int32_t tw = TextureSizeFor(w);
  const int32_t th = TextureSizeFor(h);
  uint8_t* block = AllocateBlock(tw, th);
  if (block == nullptr) return false;

  // Picture row y + r lands in texture row h - 1 - r: the texture holds the
  // picture bottom row first.
  if (picture.pixels != nullptr) {
    const int32_t c0 = std::max(0, -x);
    const int32_t c1 = std::min(w, picture.width - x);
    for (int32_t row = 0; row < h && c1 > c0; ++row) {
      const int32_t sy = y + row;
      if (sy < 0 || sy >= picture.height) continue;
      const uint8_t* source = picture.pixels + (static_cast<size_t>(sy) * picture.width + x + c0) * 4;
      uint8_t* target = block + (static_cast<size_t>(h - 1 - row) * tw + c0) * 4;
      std::memcpy(target, source, static_cast<size_t>(c1 - c0) * 4);
    }
  }

  SetUnpackDefaults();
  const bool fresh = *name == 0;
  if (fresh) glGenTextures(1, name);
  glBindTexture(GL_TEXTURE_2D, *name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  if (normalMap && !ConvertToNormalMap(block, tw, th)) {
    std::free(block);
    return false;
  }
  ClearGLErrors();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, block);
  bool ok = glGetError() != GL_OUT_OF_MEMORY;
  if (ok && mipName != nullptr) {
    UploadMipCompanion(block, tw, th, mipName);
    ok = glGetError() != GL_OUT_OF_MEMORY;
  }
  std::free(block);
  if (Renderer* r = TheRenderer()) r->boundSprite = -1;
  return ok;
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
  const bool ok = UploadPicture(picture, 0, 0, 0, 0, &texture, font ? nullptr : &mip, font, font ? false : normalMap);
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
  FreeAlphaMask(*r, id);
  SpriteRecord& s = r->sprites[id];
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
