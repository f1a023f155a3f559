// Reading the drawing surface back: grabbing a screen area into a sprite,
// single pixels, and the logical-to-physical mapping of the screen
// orientation that both need.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

// The buffer behind ScratchBuffer.
uint8_t* g_scratch = nullptr;
size_t g_scratchSize = 0;

void SetPackDefaults() {
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
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
    const bool blending = CachedGLState(kStateBlend) == kGLStateOn;
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

}  // namespace

uint8_t* ScratchBuffer(size_t bytes) {
  if (bytes > g_scratchSize) {
    auto* grown = static_cast<uint8_t*>(std::realloc(g_scratch, bytes));
    if (grown == nullptr) return nullptr;
    g_scratch = grown;
    g_scratchSize = bytes;
  }
  return g_scratch;
}

void SelectReadBuffer() { glReadBuffer(CurrentFramebuffer() != 0 ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK); }

int32_t SurfaceOrientation(const Renderer& r) {
  if (r.currentTarget >= 0 && !r.targetOnBackBuffer) return kOrientationUpright;
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

// ---------------------------------------------------------------- grabbing

namespace {

// Gives the sprite an empty tw x th texture to grab into, keeping the one it
// has when the size matches; false when the zero block cannot be had.
bool PrepareGrabTexture(const Renderer& r, SpriteRecord& s, int32_t tw, int32_t th) {
  // The grab replaces the picture; a mip companion would show the old one.
  if (s.mipTexture != 0) {
    glDeleteTextures(1, &s.mipTexture);
    s.mipTexture = 0;
  }
  if (s.texture != 0 && s.textureWidth == tw && s.textureHeight == th) return true;
  if (s.texture != 0) glDeleteTextures(1, &s.texture);
  s.texture = 0;
  uint8_t* zero = AllocateBlock(tw, th);
  if (zero == nullptr) return false;
  s.texture = NewBoundTexture(GL_REPEAT, GL_LINEAR);
  SetUnpackDefaults();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, r.bgraSupported ? GL_BGRA : GL_RGBA, GL_UNSIGNED_BYTE,
               zero);
  std::free(zero);
  return true;
}

// Whether what is drawn into keeps an alpha channel: a frame-buffer object
// always does; the window's alpha bits are asked for once.
bool SurfaceKeepsAlpha(Renderer& r) {
  const bool onFramebuffer = CurrentFramebuffer() != 0;
  if (r.frameBufferAlphaBits < 0 && !onFramebuffer) {
    GLint bits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &bits);
    r.frameBufferAlphaBits = bits;
  }
  return onFramebuffer || r.frameBufferAlphaBits > 0;
}

// Copies the physical read (rows from the bottom, pw x ph at px, py) into
// logical rows, bottom row first, for a rotated screen.
void ReadToLogicalRows(const Renderer& r, const uint8_t* read, int32_t px, int32_t py, int32_t pw, int32_t ph,
                       int32_t x, int32_t y, int32_t w, int32_t h, uint8_t* texels) {
  for (int32_t j = 0; j < h; ++j) {
    for (int32_t i = 0; i < w; ++i) {
      int32_t sx = 0, sy = 0;
      LogicalToPhysical(r, x + i, y + j, &sx, &sy);
      const int32_t col = sx - px;
      const int32_t row = (ph - 1) - (sy - py);  // read rows start at the bottom
      std::memcpy(texels + (static_cast<size_t>(h - 1 - j) * w + i) * 4,
                  read + (static_cast<size_t>(row) * pw + col) * 4, 4);
    }
  }
}

// Grabs through client memory: reads the physical rectangle, turns it for a
// rotated screen, makes the key colour transparent where the surface keeps
// no alpha of its own, and uploads the texels. False when the buffer cannot
// grow.
bool GrabThroughMemory(Renderer& r, const SpriteRecord& s, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t surfaceHeight, bool alphaBits) {
  int32_t px = 0, py = 0, pw = 0, ph = 0;
  LogicalRectToPhysical(r, x, y, w, h, &px, &py, &pw, &ph);
  const size_t bytes = static_cast<size_t>(w) * h * 4;
  uint8_t* buffer = ScratchBuffer(bytes * 2);
  if (buffer == nullptr) return false;
  // The GL leaves pixels outside its surface unwritten; they must not bring
  // in what an earlier grab left in the buffer.
  std::memset(buffer, 0, bytes);
  SetPackDefaults();
  glReadPixels(px, surfaceHeight - py - ph, pw, ph, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
  uint8_t* texels = buffer;
  if (SurfaceOrientation(r) != kOrientationUpright) {
    texels = buffer + bytes;
    ReadToLogicalRows(r, buffer, px, py, pw, ph, x, y, w, h, texels);
  }
  uint8_t key[3];
  if (!alphaBits && StoredKeyColour(r, key)) {
    for (size_t i = 0; i < bytes; i += 4)
      if (texels[i] == key[0] && texels[i + 1] == key[1] && texels[i + 2] == key[2]) texels[i + 3] = 0;
  }
  glBindTexture(GL_TEXTURE_2D, s.texture);
  SetUnpackDefaults();
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, texels);
  return true;
}

}  // namespace

bool GrabSprite(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  FreeAlphaMask(*r, id);
  EndSpriteRun();
  ForgetSpriteTexture(r->sprites[id].texture);
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
  SpriteRecord& s = r->sprites[id];
  if (!PrepareGrabTexture(*r, s, TextureSizeFor(w), TextureSizeFor(h))) {
    DeleteSprite(id);
    return false;
  }
  ForgetSpriteTexture(s.texture);  // a new texture may have an old name
  r->boundSprite = -1;

  const bool alphaBits = SurfaceKeepsAlpha(*r);
  const int32_t surfaceHeight = DrawingHeight(*r);
  SelectReadBuffer();
  if (alphaBits && SurfaceOrientation(*r) == kOrientationUpright) {
    // Straight from the surface into the texture.
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, surfaceHeight - y - h, w, h);
  } else if (!GrabThroughMemory(*r, s, x, y, w, h, surfaceHeight, alphaBits)) {
    DeleteSprite(id);
    return false;
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
