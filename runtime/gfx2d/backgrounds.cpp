// Background pictures: loaded or grabbed into tiles, drawn behind frames;
// and the clear colour.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

using namespace gfx2d;

// ---------------------------------------------------------------- backgrounds

namespace {

void DeleteBackground(Renderer& r, int32_t n) {
  BackgroundPicture& b = r.backgrounds[n];
  for (uint32_t& tile : b.tiles)
    if (tile != 0) glDeleteTextures(1, &tile);
  std::memset(&b, 0, sizeof(b));
}

bool LoadBackgroundFile(const char* file) {
  Renderer* r = TheRenderer();
  LastErrorCode = kErrorNone;
  if (r == nullptr) return false;
  Picture picture;
  bool ok = LoadPictureFile(file, picture, -1, true);
  if (ok) {
    const int32_t T = std::min(MaxTextureSize(), 512);
    DeleteBackground(*r, 0);
    BackgroundPicture& b = r->backgrounds[0];
    // The grid holds 8 x 8 tiles; a larger picture is cut off there.
    const int32_t columns = std::min((picture.width + T - 1) / T, kBackgroundGrid);
    const int32_t rows = std::min((picture.height + T - 1) / T, kBackgroundGrid);
    for (int32_t cx = 0; cx < columns && ok; ++cx) {
      for (int32_t cy = 0; cy < rows && ok; ++cy) {
        const int32_t i = cx * kBackgroundGrid + cy;
        ok = UploadPicture(picture, cx * T, cy * T, T, T, &b.tiles[i], nullptr, false, false);
        b.tileTextureWidth[i] = b.tileTextureHeight[i] = static_cast<int16_t>(T);
        b.tilePictureWidth[i] = b.tilePictureHeight[i] = static_cast<int16_t>(T);
      }
    }
    b.columns = static_cast<int8_t>(columns);
    b.rows = static_cast<int8_t>(rows);
  }
  if (!ok) {
    SetLastError(kErrorNoSuchFile);
    DeleteBackground(*r, 0);
    SetClearColour(0);
    return false;
  }
  DrawBackground(0);
  return true;
}

}  // namespace

bool LoadBackground(const char* file) { return LoadBackgroundFile(file); }
bool LoadBackground(const BasicString& file) { return LoadBackgroundFile(file.c_str()); }

void GrabBackground() { GrabBackground(0); }

void ReleaseBackground(int32_t n) {
  Renderer* r = TheRenderer();
  if (r == nullptr || n < 0 || n >= 8) return;
  DeleteBackground(*r, n);
}

void GrabBackground(int32_t n) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->clientWidth <= 0 || r->clientHeight <= 0) return;
  if (n < 0 || n >= kBackgroundCount) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  EndSpriteRun();
  const int32_t W = r->clientWidth;
  const int32_t H = r->clientHeight;
  const int32_t maxSize = MaxTextureSize();
  int32_t T = 128;
  while (T < std::max(W, H) && T < maxSize) T *= 2;
  BackgroundPicture& b = r->backgrounds[n];
  const int32_t columns = std::min((W + T - 1) / T, kBackgroundGrid);
  const int32_t rows = std::min((H + T - 1) / T, kBackgroundGrid);
  // Tiles outside the new grid would keep stale pictures.
  for (int32_t i = 0; i < kBackgroundGrid * kBackgroundGrid; ++i) {
    if (i / kBackgroundGrid < columns && i % kBackgroundGrid < rows) continue;
    if (b.tiles[i] != 0) glDeleteTextures(1, &b.tiles[i]);
    b.tiles[i] = 0;
    b.tileTextureWidth[i] = b.tileTextureHeight[i] = b.tilePictureWidth[i] = b.tilePictureHeight[i] = 0;
  }
  SelectReadBuffer();
  const int32_t surfaceHeight = DrawingHeight(*r);
  for (int32_t cx = 0; cx < columns; ++cx) {
    for (int32_t cy = 0; cy < rows; ++cy) {
      const int32_t i = cx * kBackgroundGrid + cy;
      const int32_t x = cx * T, y = cy * T;
      const int32_t cw = std::min(T, W - x), ch = std::min(T, H - y);
      const bool reuse = b.tiles[i] != 0 && b.tileTextureWidth[i] == T && b.tileTextureHeight[i] == T;
      if (!reuse) {
        if (b.tiles[i] != 0) glDeleteTextures(1, &b.tiles[i]);
        glGenTextures(1, &b.tiles[i]);
        glBindTexture(GL_TEXTURE_2D, b.tiles[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, T, T, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      } else {
        glBindTexture(GL_TEXTURE_2D, b.tiles[i]);
      }
      if (r->bgraSupported) {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, surfaceHeight - y - ch, cw, ch);
      } else {
        uint8_t* buffer = ScratchBuffer(static_cast<size_t>(cw) * ch * 4);
        if (buffer != nullptr) {
          glPixelStorei(GL_PACK_ALIGNMENT, 4);
          glReadPixels(x, surfaceHeight - y - ch, cw, ch, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
          glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
          glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, cw, ch, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
        }
      }
      b.tileTextureWidth[i] = b.tileTextureHeight[i] = static_cast<int16_t>(T);
      b.tilePictureWidth[i] = static_cast<int16_t>(cw);
      b.tilePictureHeight[i] = static_cast<int16_t>(ch);
    }
  }
  b.columns = static_cast<int8_t>(columns);
  b.rows = static_cast<int8_t>(rows);
  r->boundSprite = -1;
}

bool BackgroundPresent(int32_t n) {
  Renderer* r = TheRenderer();
  return r != nullptr && n >= 0 && n < kBackgroundCount && r->backgrounds[n].columns > 0;
}

void DrawBackground(int32_t n) {
  if (!BackgroundPresent(n)) return;
  Renderer& r = *TheRenderer();
  const BackgroundPicture& b = r.backgrounds[n];
  EndSpriteRun();
  SwitchGLState(kStateBlend, false);
  r.globalAlpha = 1.0f;
  glColor4f(1, 1, 1, 1);
  SwitchGLState(kStateAlphaTest, false);
  if (gl::ActiveTextureARB != nullptr) {
    gl::ActiveTextureARB(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    gl::ActiveTextureARB(GL_TEXTURE0);
    r.unit1Texture = 0;
  }
  glEnable(GL_TEXTURE_2D);
  const GLint smooth = r.smoothing ? GL_LINEAR : GL_NEAREST;
  float x = 0;
  for (int32_t cx = 0; cx < b.columns; ++cx) {
    float y = 0;
    const int32_t columnWidth = b.tilePictureWidth[cx * kBackgroundGrid];
    for (int32_t cy = 0; cy < b.rows; ++cy) {
      const int32_t i = cx * kBackgroundGrid + cy;
      const float pw = b.tilePictureWidth[i], ph = b.tilePictureHeight[i];
      if (b.tiles[i] != 0 && b.tileTextureWidth[i] > 0 && b.tileTextureHeight[i] > 0) {
        glBindTexture(GL_TEXTURE_2D, b.tiles[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        SetQuad(x, y, x + pw, y + ph, 0, 0, pw / b.tileTextureWidth[i], ph / b.tileTextureHeight[i]);
        DrawQuad(g_quad, true);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, smooth);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, smooth);
      }
      y += ph;
    }
    x += static_cast<float>(columnWidth);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  r.boundSprite = -1;
  r.globalAlpha = 1.0f;
  glColor4f(1, 1, 1, 1);
  ApplyAlphaTest(r);
}

void SetClearColour(int32_t c) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (c == -1) {
    r->clearEachFrame = 0;
    return;
  }
  r->clearEachFrame = 1;
  glClearColor((c & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, ((c >> 16) & 255) / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

void ClearScreen(int32_t colour) {
  Renderer* r = TheRenderer();
  if (r != nullptr) DeleteBackground(*r, 0);
  SetClearColour(colour);
}
