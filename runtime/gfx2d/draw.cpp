// 2D drawing: blend, alpha-test and colour-key state, pixels, lines and
// rectangles, sprite and animation-frame quads, polygon lists, texture
// binding for 2D and 3D, and the background pictures drawn behind frames.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

void BindTextures(Renderer& r, int32_t id, int32_t id2, int32_t alternate, const uint32_t* table, GLint wrap) {
  // Without a table only ids of the store name textures; others draw untextured.
  if (table == nullptr) {
    if (!ValidSpriteId(id)) id = -1;
    if (!ValidSpriteId(id2)) id2 = -1;
  }
  r.boundSprite2 = id2;
  auto nameOf = [&](int32_t n) -> GLuint {
    if (table != nullptr) return table[n];
    const SpriteRecord& s = r.sprites[n];
    return alternate && s.mipTexture != 0 ? s.mipTexture : s.texture;
  };
  const bool multitexture = gl::ActiveTextureARB != nullptr;
  // Switching the active unit ends the GL's current batch of immediate-mode
  // quads, so unit 1 is only visited when its state is unknown or changes.
  const bool second = id >= 0 && id2 >= 0;
  if (multitexture && (id < 0 || second || r.unit1Texture != 0)) {
    gl::ActiveTextureARB(GL_TEXTURE1);
    if (second) {
      const GLuint name = nameOf(id);
      glBindTexture(GL_TEXTURE_2D, name);
      glEnable(GL_TEXTURE_2D);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
      r.unit1Texture = name;
    } else {
      glDisable(GL_TEXTURE_2D);
      r.unit1Texture = 0;
    }
    gl::ActiveTextureARB(GL_TEXTURE0);
  }
  if (id < 0) {
    glDisable(GL_TEXTURE_2D);
    if (!multitexture) SwitchGLState(kStateColorMaterial, true);
    r.boundSprite = -1;
    return;
  }
  glBindTexture(GL_TEXTURE_2D, nameOf(id2 >= 0 ? id2 : id));
  glEnable(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  r.boundSprite = id;
}

void DrawQuad(const float* vertices, bool textured) {
  // Immediate mode rather than a four-vertex array draw: the GL merges a run
  // of quads with unchanged state into one draw, where every array draw
  // costs a draw of its own. Every quad here is a parallelogram with affine
  // texture coordinates, so splitting it either way gives the same pixels
  // as the fan.
  if (textured) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    if (textured) glTexCoord2f(vertices[i * 4 + 2], vertices[i * 4 + 3]);
    glVertex2f(vertices[i * 4], vertices[i * 4 + 1]);
  }
  glEnd();
}

void ApplySpriteFilter(const Renderer& r) {
  const GLint filter = r.smoothing ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

void ApplyAlphaTest(const Renderer& r) {
  if (r.alphaTestThreshold < 1.0f) {
    SwitchGLState(kStateAlphaTest, true);
    glAlphaFunc(GL_GREATER, r.alphaTestThreshold);
  } else {
    SwitchGLState(kStateAlphaTest, false);
  }
}

}  // namespace gfx2d

using namespace gfx2d;

namespace {

// One quad's four fan corners, reused by every draw.
float g_quad[16];

void SetQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
  // Fan order: bottom left, bottom right, top right, top left; the top
  // screen edge takes the larger v.
  const float q[16] = {x0, y1, u0, v0, x1, y1, u1, v0, x1, y0, u1, v1, x0, y0, u0, v1};
  std::memcpy(g_quad, q, sizeof(q));
}

// Binds a sprite for drawing; null when there is nothing to draw. Draws
// through the quad routine bind straight to the clamped wrap the routine
// sets, so that a run of them changes no texture state between quads.
const SpriteRecord* PrepareSprite(Renderer& r, int32_t id, bool quadRoutine, bool pixelExact = false) {
  if (!ValidSpriteId(id)) return nullptr;
  const SpriteRecord& s = r.sprites[id];
  if (s.texture == 0 || s.pictureWidth <= 0) return nullptr;
  BindTextures(r, id, -1, 0, nullptr, quadRoutine ? GL_CLAMP_TO_EDGE : GL_REPEAT);
  if (pixelExact) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  } else {
    ApplySpriteFilter(r);
  }
  return &s;
}

// Texture rectangle of an animation frame; false when the sprite has no
// frame size.
bool FrameTexCoords(const SpriteRecord& s, int32_t frame, float* ul, float* ur, float* vb, float* vt) {
  if (s.frameWidth <= 0 || s.frameHeight <= 0 || s.textureWidth <= 0 || s.textureHeight <= 0) return false;
  const int32_t columns = s.pictureWidth / s.frameWidth;
  int32_t col = frame, row = 0;
  if (columns != 0) {
    col = frame % columns;
    row = frame / columns;
  }
  const float tw = static_cast<float>(s.textureWidth);
  const float th = static_cast<float>(s.textureHeight);
  *ul = static_cast<float>(col * s.frameWidth) / tw;
  *ur = *ul + static_cast<float>(s.frameWidth) / tw;
  *vb = static_cast<float>(s.pictureHeight - s.frameHeight * (row + 1)) / th;
  *vt = *vb + static_cast<float>(s.frameHeight) / th;
  return true;
}

// Colour and state for the untextured primitives; undone by EndPrimitive.
bool BeginPrimitive(Renderer& r, int32_t colour) {
  const bool keyed = colour == r.spriteKey;
  const uint8_t alpha = keyed ? 0 : static_cast<uint8_t>(static_cast<int32_t>(255.0f * r.globalAlpha));
  glColor4ub(static_cast<GLubyte>(colour & 255), static_cast<GLubyte>((colour >> 8) & 255),
             static_cast<GLubyte>((colour >> 16) & 255), alpha);
  BindSpriteTexture(-1, -1);
  // A key-coloured primitive must reach the buffer with its alpha of 0 (it
  // marks transparent area), which the alpha test would otherwise drop.
  if (keyed) SwitchGLState(kStateAlphaTest, false);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glTranslatef(0.375f, 0.375f, 0.0f);
  glMatrixMode(GL_MODELVIEW);
  return keyed;
}

void EndPrimitive(Renderer& r, bool reapplyAlphaTest) {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glColor4f(1, 1, 1, r.globalAlpha);
  if (reapplyAlphaTest) ApplyAlphaTest(r);
}

}  // namespace

// ---------------------------------------------------------------- state

void SetAlphaMode(double a) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (a == 0) {
    SwitchGLState(kStateBlend, false);
  } else if (a < 0) {
    SwitchGLState(kStateBlend, true);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    SwitchGLState(kStateBlend, true);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  }
  double alpha = std::fabs(a);
  if (alpha == 0 || alpha > 1.0) alpha = 1.0;
  r->globalAlpha = static_cast<float>(alpha);
  glColor4f(1, 1, 1, r->globalAlpha);
}

void SetAlphaTest(double threshold) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  r->alphaTestThreshold = static_cast<float>(threshold);
  ApplyAlphaTest(*r);
}

void SetTransparentColour(int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  r->spriteKey = colour;
  r->fontKey = colour;
}

void SetSmoothing(int32_t flag) {
  Renderer* r = TheRenderer();
  if (r != nullptr) r->smoothing = flag != 0 ? 1 : 0;
}

void Reset2DDrawState(Renderer& r) {
  r.alphaTestThreshold = 0.05f;
  r.smoothing = 1;
  BindSpriteTexture(-1, -1);
  SwitchGLState(kStateBlend, false);
  r.globalAlpha = 1.0f;
  glColor4f(1, 1, 1, 1);
}

void BindSpriteTexture(int32_t id) { BindSpriteTexture(id, -1, 0, nullptr); }
void BindSpriteTexture(int32_t id, int32_t id2) { BindSpriteTexture(id, id2, 0, nullptr); }
void BindSpriteTexture(int32_t id, int32_t id2, int32_t alternate, const uint32_t* table) {
  if (Renderer* r = TheRenderer()) BindTextures(*r, id, id2, alternate, table, GL_REPEAT);
}

// ---------------------------------------------------------------- primitives

void DrawPixel(int32_t x, int32_t y, int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const bool keyed = BeginPrimitive(*r, colour);
  glBegin(GL_POINTS);
  glVertex2i(x, y);
  glEnd();
  EndPrimitive(*r, keyed);
}

void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const bool keyed = BeginPrimitive(*r, colour);
  glBegin(GL_LINES);
  glVertex2i(x1, y1);
  glVertex2i(x2, y2);
  glEnd();
  // Lines leave out their last pixel; the point puts it back.
  glBegin(GL_POINTS);
  glVertex2i(x2, y2);
  glEnd();
  EndPrimitive(*r, keyed);
}

void DrawRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (w < 0) {
    x = x + w + 1;
    w = -w;
  }
  if (h < 0) {
    y = y + h + 1;
    h = -h;
  }
  BeginPrimitive(*r, colour);
  SetQuad(static_cast<float>(x), static_cast<float>(y), static_cast<float>(x) + static_cast<float>(w),
          static_cast<float>(y) + static_cast<float>(h), 0, 0, 0, 0);
  DrawQuad(g_quad, false);
  EndPrimitive(*r, true);
}

// ---------------------------------------------------------------- sprites

void DrawSprite(int32_t id, float x, float y) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  // At its own size on whole pixels every screen pixel samples the middle of
  // one texel, where linear filtering gives that texel alone: nearest
  // filtering draws the same picture for less work.
  const bool pixelExact = x == std::floor(x) && y == std::floor(y);
  const SpriteRecord* s = PrepareSprite(*r, id, false, pixelExact);
  if (s == nullptr) return;
  const float w = static_cast<float>(s->pictureWidth);
  const float h = static_cast<float>(s->pictureHeight);
  glBegin(GL_QUADS);
  glTexCoord2f(s->uScale, s->vScale);
  glVertex2f(x + w, y);
  glTexCoord2f(0, s->vScale);
  glVertex2f(x, y);
  glTexCoord2f(0, 0);
  glVertex2f(x, y + h);
  glTexCoord2f(s->uScale, 0);
  glVertex2f(x + w, y + h);
  glEnd();
}

void StretchSprite(int32_t id, float x, float y, float w, float h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const SpriteRecord* s = PrepareSprite(*r, id, true);
  if (s == nullptr) return;
  SetQuad(x, y, x + w, y + h, 0, 0, s->uScale, s->vScale);
  DrawQuad(g_quad, true);
}

void ZoomSprite(int32_t id, float x, float y, double zoomX, double zoomY) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  const double w = s.pictureWidth, h = s.pictureHeight;
  const int32_t zw = static_cast<int32_t>(w * zoomX);
  const int32_t zh = static_cast<int32_t>(h * zoomY);
  const int32_t dx = static_cast<int32_t>(w * zoomX - w) / 2;
  const int32_t dy = static_cast<int32_t>(h * zoomY - h) / 2;
  StretchSprite(id, x - static_cast<float>(dx), y - static_cast<float>(dy), static_cast<float>(zw),
                static_cast<float>(zh));
}

void RotoZoomSprite(int32_t id, float x, float y, double angle, double zoom) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const SpriteRecord* s = PrepareSprite(*r, id, true);
  if (s == nullptr) return;
  const int32_t w = s->pictureWidth, h = s->pictureHeight;
  const float tw = static_cast<float>(s->textureWidth), th = static_cast<float>(s->textureHeight);
  glPushMatrix();
  glTranslatef(x + static_cast<float>(w / 2), y + static_cast<float>(h / 2), 0.0f);
  glRotatef(static_cast<float>(angle), 0, 0, -1);
  const float hw = static_cast<float>(w * zoom / 2);
  const float hh = static_cast<float>(h * zoom / 2);
  // Half a texel in from each edge, so linear filtering never reaches the
  // transparent padding or the opposite edge.
  SetQuad(-hw, -hh, hw, hh, 0.5f / tw, 0.5f / th, (static_cast<float>(w) - 0.5f) / tw,
          (static_cast<float>(h) - 0.5f) / th);
  DrawQuad(g_quad, true);
  glPopMatrix();
}

void SetSpriteAnim(int32_t id, int32_t frameWidth, int32_t frameHeight) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  SpriteRecord& s = r->sprites[id];
  if (s.pictureWidth <= 0) return;
  s.frameWidth = frameWidth;
  s.frameHeight = frameHeight;
}

void StretchAnim(int32_t id, int32_t frame, float x, float y, float w, float h) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  float ul, ur, vb, vt;
  if (!FrameTexCoords(r->sprites[id], frame, &ul, &ur, &vb, &vt)) return;
  if (PrepareSprite(*r, id, true) == nullptr) return;
  SetQuad(x, y, x + w, y + h, ul, vb, ur, vt);
  DrawQuad(g_quad, true);
}

void DrawAnim(int32_t id, int32_t frame, float x, float y) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  StretchAnim(id, frame, x, y, static_cast<float>(s.frameWidth), static_cast<float>(s.frameHeight));
}

void RotoZoomAnim(int32_t id, int32_t frame, float x, float y, double angle, double zoom) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return;
  const SpriteRecord& s = r->sprites[id];
  float ul, ur, vb, vt;
  if (!FrameTexCoords(s, frame, &ul, &ur, &vb, &vt)) return;
  if (PrepareSprite(*r, id, true) == nullptr) return;
  const double cx = x + s.frameWidth / 2;
  const double cy = y + s.frameHeight / 2;
  const double hw = s.frameWidth * zoom / 2;
  const double hh = s.frameHeight * zoom / 2;
  // The turn glRotatef(angle, 0, 0, -1) makes, so both rotate commands agree.
  const double radians = angle * 3.14159265358979323846 / 180.0;
  const double c = std::cos(radians), sn = std::sin(radians);
  const double corners[4][2] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
  const float uv[4][2] = {{ul, vb}, {ur, vb}, {ur, vt}, {ul, vt}};
  for (int i = 0; i < 4; ++i) {
    const double px = corners[i][0], py = corners[i][1];
    g_quad[i * 4 + 0] = static_cast<float>(cx + px * c + py * sn);
    g_quad[i * 4 + 1] = static_cast<float>(cy - px * sn + py * c);
    g_quad[i * 4 + 2] = uv[i][0];
    g_quad[i * 4 + 3] = uv[i][1];
  }
  DrawQuad(g_quad, true);
}

// ---------------------------------------------------------------- polygon lists

void BeginPoly(int32_t id, int32_t mode) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (!ValidSpriteId(id) || r->sprites[id].texture == 0) id = -1;
  BindSpriteTexture(id, -1);
  r->polyCount = 0;
  r->polyColoursUsed = false;
  r->polyBreakPending = false;
  r->polyMode = mode;
  r->polyTextured = id >= 0;
  if (id >= 0) {
    const SpriteRecord& s = r->sprites[id];
    r->polyUScale = 1.0f / static_cast<float>(s.textureWidth);
    r->polyVScale = 1.0f / static_cast<float>(s.textureHeight);
    r->polyPictureHeight = s.pictureHeight;
  }
}

namespace {

bool AppendPolyVertex(Renderer& r, const PolyVertex& v) {
  if (r.polyCount >= r.polyCapacity) {
    const int32_t capacity = r.polyCapacity < 64 ? 64 : r.polyCapacity * 2;
    auto* grown = static_cast<PolyVertex*>(std::realloc(r.poly, sizeof(PolyVertex) * capacity));
    if (grown == nullptr) return false;
    r.poly = grown;
    r.polyCapacity = capacity;
  }
  r.poly[r.polyCount++] = v;
  return true;
}

}  // namespace

void AddPolyVertex(float x, float y, float tx, float ty, int32_t colour) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  PolyVertex v{};
  v.x = x;
  v.y = y;
  if (r->polyTextured) {
    v.u = tx * r->polyUScale;
    v.v = (static_cast<float>(r->polyPictureHeight) - ty) * r->polyVScale;
  }
  if (colour == 0xFFFFFF) {
    v.r = v.g = v.b = 255;
  } else {
    v.r = static_cast<uint8_t>(colour & 255);
    v.g = static_cast<uint8_t>((colour >> 8) & 255);
    v.b = static_cast<uint8_t>((colour >> 16) & 255);
    r->polyColoursUsed = true;
  }
  if (colour == r->spriteKey)
    v.a = 0;
  else if (r->globalAlpha == 1.0f)
    v.a = 255;
  else
    v.a = static_cast<uint8_t>(static_cast<int32_t>(r->globalAlpha * 255.0f));
  if (r->polyBreakPending) {
    AppendPolyVertex(*r, v);
    r->polyBreakPending = false;
  }
  AppendPolyVertex(*r, v);
}

void NewPolyStrip() {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->polyCount == 0 || r->polyBreakPending) return;
  const PolyVertex last = r->poly[r->polyCount - 1];
  AppendPolyVertex(*r, last);
  r->polyBreakPending = true;
}

void EndPoly() {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->polyCount == 0) return;
  if (gl::ClientActiveTextureARB != nullptr) gl::ClientActiveTextureARB(GL_TEXTURE0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(PolyVertex), &r->poly[0].x);
  if (r->polyTextured) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(PolyVertex), &r->poly[0].u);
    ApplySpriteFilter(*r);
  } else {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  const bool colours = r->polyColoursUsed || r->globalAlpha != 1.0f;
  if (colours) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PolyVertex), &r->poly[0].r);
    SwitchGLState(kStateDither, true);
    glShadeModel(GL_SMOOTH);
  }
  const GLenum modes[3] = {GL_TRIANGLE_FAN, GL_TRIANGLES, GL_TRIANGLE_STRIP};
  glDrawArrays(modes[std::clamp(r->polyMode, 0, 2)], 0, r->polyCount);
  if (colours) {
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, r->globalAlpha);
    glShadeModel(GL_FLAT);
    SwitchGLState(kStateDither, false);
  }
  if (r->polyTextured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

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
