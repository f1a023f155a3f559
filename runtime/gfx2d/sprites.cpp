// The sprite store: pictures into textures (with the mip-mapped companion and
// the normal-map conversion), loading, grabbing the screen, reading sprites
// back, pixel-exact collision and integer-array conversions.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/core.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

int32_t g_maxTextureOverride = 0;

// The grab buffer and the zero block new grab textures start from.
uint8_t* g_scratch = nullptr;
size_t g_scratchSize = 0;

// A zero-filled block of w x h x 4 bytes that the caller frees.
uint8_t* AllocateBlock(int32_t w, int32_t h) {
  return static_cast<uint8_t*>(std::calloc(static_cast<size_t>(w) * h, 4));
}

void SetUnpackDefaults() {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

void SetPackDefaults() {
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
}

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

// The colour the frame buffer stores for the sprite key, found by drawing it
// (a 16-bit buffer rounds it). Remembered per key and surface.
bool StoredKeyColour(Renderer& r, uint8_t stored[3]) {
  static int32_t cachedKey = -1;
  static uint32_t cachedSurface = 0xFFFFFFFFu;
  static uint8_t cachedColour[3] = {};
  const int32_t key = r.spriteKey;
  if (key == -1) return false;
  if (key == 0) {
    stored[0] = stored[1] = stored[2] = 0;
    return true;
  }
  const uint32_t surface = CurrentFramebuffer();
  if (key != cachedKey || surface != cachedSurface) {
    GLint bits[3] = {0, 0, 0};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    if (bits[0] == 8 && bits[1] == 8 && bits[2] == 8) {
      // Eight bits a channel store the key exactly; no need to draw a probe
      // into a frame that may still be in the middle of 3D drawing.
      cachedColour[0] = static_cast<uint8_t>(key & 255);
      cachedColour[1] = static_cast<uint8_t>((key >> 8) & 255);
      cachedColour[2] = static_cast<uint8_t>((key >> 16) & 255);
      cachedKey = key;
      cachedSurface = surface;
      std::memcpy(stored, cachedColour, 3);
      return true;
    }
    const int32_t old = GetPixel(4, 4);
    // The probe must land unblended whatever the program's alpha mode.
    const bool blending = CachedGLState(kStateBlend) == 1;
    SwitchGLState(kStateBlend, false);
    const float alpha = r.globalAlpha;
    r.globalAlpha = 1.0f;
    DrawPixel(4, 4, key);
    const int32_t probe = GetPixel(4, 4);
    DrawPixel(4, 4, old);
    r.globalAlpha = alpha;
    glColor4f(1, 1, 1, alpha);
    if (blending) SwitchGLState(kStateBlend, true);
    cachedColour[0] = static_cast<uint8_t>(probe & 255);
    cachedColour[1] = static_cast<uint8_t>((probe >> 8) & 255);
    cachedColour[2] = static_cast<uint8_t>((probe >> 16) & 255);
    cachedKey = key;
    cachedSurface = surface;
  }
  std::memcpy(stored, cachedColour, 3);
  return true;
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
        r->sprites[id].pictureWidth = static_cast<int16_t>(limits.fileWidth);
        r->sprites[id].pictureHeight = static_cast<int16_t>(limits.fileHeight);
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

int32_t TextureSizeFor(int32_t n) {
  int32_t size = 8;
  do {
    size *= 2;
  } while (size < n && size < (1 << 30));
  return size;
}

void FreeAlphaMask(Renderer& r, int32_t id) {
  if (!ValidSpriteId(id)) return;
  std::free(r.alphaMasks[id]);
  r.alphaMasks[id] = nullptr;
}

uint8_t* ScratchBuffer(size_t bytes) {
  if (bytes > g_scratchSize) {
    auto* grown = static_cast<uint8_t*>(std::realloc(g_scratch, bytes));
    if (grown == nullptr) return nullptr;
    g_scratch = grown;
    g_scratchSize = bytes;
  }
  return g_scratch;
}

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

void SelectReadBuffer() { glReadBuffer(CurrentFramebuffer() != 0 ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK); }

int32_t SurfaceOrientation(const Renderer& r) {
  if (r.currentTarget >= 0 && !r.targetOnBackBuffer) return 0;
  return r.orientation & 3;
}

int32_t DrawingHeight(const Renderer& r) {
  if (r.currentTarget >= 0 && !r.targetOnBackBuffer) {
    int32_t w = 0, h = 0;
    if (ActiveTargetSize(&w, &h)) return h;
  }
  return r.clientHeight;
}

void LogicalRectToPhysical(const Renderer& r, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* px,
                           int32_t* py, int32_t* pw, int32_t* ph) {
  // The same turns the viewport's projection makes, so a pixel drawn at a
  // logical position is read back from there.
  int32_t out[4];
  OrientedRectangle(SurfaceOrientation(r), r.clientWidth, r.clientHeight, x, y, w, h, out);
  *px = out[0];
  *py = out[1];
  *pw = out[2];
  *ph = out[3];
}

void LogicalToPhysical(const Renderer& r, int32_t x, int32_t y, int32_t* px, int32_t* py) {
  int32_t w = 0, h = 0;
  LogicalRectToPhysical(r, x, y, 1, 1, px, py, &w, &h);
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

// ---------------------------------------------------------------- loading

bool LoadSprite(const char* file, int32_t id) { return LoadSpriteFile(file, id, false); }
bool LoadSprite(const BasicString& file, int32_t id) { return LoadSpriteFile(file.c_str(), id, false); }
bool LoadNormalMapSprite(const char* file, int32_t id) { return LoadSpriteFile(file, id, true); }
bool LoadNormalMapSprite(const BasicString& file, int32_t id) { return LoadSpriteFile(file.c_str(), id, true); }

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

// ---------------------------------------------------------------- grabbing

bool GrabSprite(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  FreeAlphaMask(*r, id);
  if (w == 0 || h == 0) {
    DeleteSprite(id);
    return true;
  }
  if (w < 0 || h < 0) {
    DeleteSprite(id);
    return false;
  }
  const int32_t maxSize = MaxTextureSize();
  w = std::min(w, maxSize);
  h = std::min(h, maxSize);
  const int32_t tw = TextureSizeFor(w);
  const int32_t th = TextureSizeFor(h);
  SpriteRecord& s = r->sprites[id];

  // The grab replaces the picture; a mip companion would show the old one.
  if (s.mipTexture != 0) {
    glDeleteTextures(1, &s.mipTexture);
    s.mipTexture = 0;
  }
  if (s.texture == 0 || s.textureWidth != tw || s.textureHeight != th) {
    if (s.texture != 0) glDeleteTextures(1, &s.texture);
    s.texture = 0;
    uint8_t* zero = AllocateBlock(tw, th);
    if (zero == nullptr) {
      DeleteSprite(id);
      return false;
    }
    glGenTextures(1, &s.texture);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    SetUnpackDefaults();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, r->bgraSupported ? GL_BGRA : GL_RGBA, GL_UNSIGNED_BYTE,
                 zero);
    std::free(zero);
  }
  r->boundSprite = -1;

  const bool onFramebuffer = CurrentFramebuffer() != 0;
  if (r->frameBufferAlphaBits < 0 && !onFramebuffer) {
    GLint bits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &bits);
    r->frameBufferAlphaBits = bits;
  }
  const bool alphaBits = onFramebuffer || r->frameBufferAlphaBits > 0;
  const int32_t surfaceHeight = DrawingHeight(*r);
  SelectReadBuffer();

  if (alphaBits && SurfaceOrientation(*r) == 0) {
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, surfaceHeight - y - h, w, h);
  } else {
    int32_t px = 0, py = 0, pw = 0, ph = 0;
    LogicalRectToPhysical(*r, x, y, w, h, &px, &py, &pw, &ph);
    const size_t bytes = static_cast<size_t>(w) * h * 4;
    uint8_t* buffer = ScratchBuffer(bytes * 2);
    if (buffer == nullptr) {
      DeleteSprite(id);
      return false;
    }
    // The GL leaves pixels outside its surface unwritten; they must not bring
    // in what an earlier grab left in the buffer.
    std::memset(buffer, 0, bytes);
    SetPackDefaults();
    glReadPixels(px, surfaceHeight - py - ph, pw, ph, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
    uint8_t* texels = buffer;
    if (SurfaceOrientation(*r) != 0) {
      // Turn the physical read into logical rows, bottom row first.
      texels = buffer + bytes;
      for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) {
          int32_t sx = 0, sy = 0;
          LogicalToPhysical(*r, x + i, y + j, &sx, &sy);
          const int32_t col = sx - px;
          const int32_t row = (ph - 1) - (sy - py);  // read rows start at the bottom
          std::memcpy(texels + (static_cast<size_t>(h - 1 - j) * w + i) * 4,
                      buffer + (static_cast<size_t>(row) * pw + col) * 4, 4);
        }
      }
    }
    uint8_t key[3];
    if (!alphaBits && StoredKeyColour(*r, key)) {
      for (size_t i = 0; i < bytes; i += 4)
        if (texels[i] == key[0] && texels[i + 1] == key[1] && texels[i + 2] == key[2]) texels[i + 3] = 0;
    }
    glBindTexture(GL_TEXTURE_2D, s.texture);
    SetUnpackDefaults();
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  }
  StoreSpriteSizes(s, w, h, w, h);
  return true;
}

int32_t GetPixel(int32_t x, int32_t y) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return 0;
  int32_t px = 0, py = 0;
  LogicalToPhysical(*r, x, y, &px, &py);
  const int32_t height = DrawingHeight(*r);
  uint8_t rgba[4] = {0, 0, 0, 0};
  SelectReadBuffer();
  SetPackDefaults();
  glReadPixels(px, height - py - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return rgba[0] + rgba[1] * 256 + rgba[2] * 65536;
}

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
    target[i] = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
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
