// Bitmap fonts: the built-in 8 x 8 font, fonts loaded from pictures with
// their glyph measurement, and text output in 2D and 3D through one
// vertex-array draw per string.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

using namespace gfx2d;

namespace {

// Codes 32..127 of the built-in font: bit (row * 5 + column) lights glyph
// pixel (column 0..4, row 0..5).
const uint32_t kDefaultGlyphs[96] = {
    0x00000000, 0x08021080, 0x00002940, 0x15F57D40, 0x08E619C4, 0x14222140, 0x0ED114E0, 0x00001080,
    0x08210880, 0x04421040, 0x09575480, 0x08471080, 0x04400000, 0x00070000, 0x08000000, 0x04222100,
    0x00E5294E, 0x004210C4, 0x00E1390E, 0x00E4390E, 0x0084394A, 0x00E4384E, 0x00E5384E, 0x0042210E,
    0x00E5394E, 0x00E4394E, 0x00020080, 0x00220080, 0x00820888, 0x000701C0, 0x00222082, 0x0040310E,
    0x00E0B526, 0x00A5394E, 0x00E5194E, 0x00E5094E, 0x00E52946, 0x00E1384E, 0x0021384E, 0x00E5284E,
    0x00A5394A, 0x00E2108E, 0x00E5210C, 0x00A5194A, 0x00E10842, 0x015AD6BF, 0x00A5294E, 0x00E5294E,
    0x0021394E, 0x00F294A7, 0x00A5194E, 0x00E4384E, 0x0042108E, 0x00E5294A, 0x0045294A, 0x01FAD6B5,
    0x00A5114A, 0x0042394A, 0x00E1110E, 0x00610846, 0x01041041, 0x00621086, 0x00000144, 0x00E00000,
    0x00000082, 0x00E53000, 0x00E53842, 0x00E13800, 0x00E53908, 0x08273800, 0x00423888, 0x08873800,
    0x00A51842, 0x00421004, 0x04421004, 0x00A32842, 0x00421084, 0x015ABC00, 0x00A51800, 0x00E53800,
    0x04E51800, 0x10E53000, 0x00253800, 0x00E409C0, 0x00C23884, 0x00C52800, 0x00452800, 0x00EAD400,
    0x00A22800, 0x1C872800, 0x00E121C0, 0x00821888, 0x00421084, 0x00223082, 0x0002A800, 0x3F18C63F,
};

bool ValidFont(int32_t index) { return index >= 0 && index < kFontCount; }

// Makes room for the 4 vertices of each of n characters; on failure the
// list is emptied and nothing is drawn.
bool GrowQuadList(QuadList& q, int64_t n) {
  const int64_t need = 4 * n;
  if (q.capacity > need) return true;
  int64_t capacity = q.minimum >= need ? q.minimum : static_cast<int64_t>(q.step) * (need / q.step + 1);
  float* grown = nullptr;
  if (capacity < (int64_t{1} << 28)) grown = static_cast<float*>(std::malloc(static_cast<size_t>(capacity) * 20));
  if (grown == nullptr) {
    std::free(q.vertices);
    q.vertices = nullptr;
    q.count = q.capacity = 0;
    return false;
  }
  if (q.vertices != nullptr && q.count > 0) std::memcpy(grown, q.vertices, static_cast<size_t>(q.count) * 20);
  std::free(q.vertices);
  q.vertices = grown;
  q.capacity = static_cast<int32_t>(capacity);
  return true;
}

// The cell layout of a font picture.
struct FontLayout {
  int32_t glyphs;     // 128 or 256
  int32_t topRow;     // 7 or 15
  int32_t cellWidth;  // pixels
  int32_t cellHeight;
  float columnU;      // width of a cell in u
  float rowV;         // height of a cell row in v
};

FontLayout LayoutOf(const SpriteRecord& s) {
  FontLayout f{};
  const bool wide = s.pictureWidth >= s.pictureHeight;
  f.glyphs = wide ? 128 : 256;
  f.topRow = wide ? 7 : 15;
  f.cellWidth = s.pictureWidth / 16;
  f.cellHeight = wide ? s.pictureHeight / 8 : s.pictureHeight / 16;
  f.columnU = s.uScale / 16.0f;
  f.rowV = wide ? s.vScale / 8.0f : s.vScale / 16.0f;
  return f;
}

// Appends the strip vertices of text laid out at (x, y, z) along the screen
// axes; returns the number of vertices.
int32_t LayoutText(Renderer& r, int32_t font, const char* text, float x, float y, float z, bool proportional) {
  const SpriteRecord& s = r.sprites[FONT_SLOT_BASE + font];
  const FontLayout f = LayoutOf(s);
  const float cellH = static_cast<float>(f.cellHeight);
  float* v = r.quads.vertices;
  int32_t count = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const int32_t c = *p % f.glyphs;
    if (c == 0) break;
    const float vBottom = static_cast<float>(f.topRow - c / 16) * f.rowV;
    const float vTop = vBottom + f.rowV;
    float ul, ur, width;
    if (proportional) {
      const GlyphRecord& g = r.glyphs[font][c];
      ul = g.u0;
      ur = g.u1;
      width = g.advance;
    } else {
      ul = static_cast<float>(c % 16) * f.columnU;
      ur = ul + f.columnU;
      width = static_cast<float>(f.cellWidth);
    }
    const float quad[20] = {x,         y + cellH, z, ul, vBottom, x,         y, z, ul, vTop,
                            x + width, y + cellH, z, ur, vBottom, x + width, y, z, ur, vTop};
    std::memcpy(v + count * 5, quad, sizeof(quad));
    count += 4;
    x += width;
  }
  return count;
}

void DrawQuadList(Renderer& r, int32_t count) {
  r.quads.count = count;
  if (count == 0) return;
  if (gl::ClientActiveTextureARB != nullptr) gl::ClientActiveTextureARB(GL_TEXTURE0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 20, r.quads.vertices);
  const bool textured = r.boundSprite >= 0;
  if (textured) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 20, r.quads.vertices + 3);
  } else {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glDrawArrays(GL_TRIANGLE_STRIP, 0, count);
  if (textured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Binds the font and readies the list for the text; false when there is
// nothing to draw.
bool PrepareText(Renderer& r, int32_t font, const char* text, size_t* length) {
  if (text == nullptr || !ValidFont(font)) return false;
  *length = std::strlen(text);
  if (*length == 0) return false;
  if (r.sprites[FONT_SLOT_BASE + font].pictureWidth <= 0) return false;
  if (!GrowQuadList(r.quads, static_cast<int64_t>(*length))) return false;
  BindSpriteTexture(FONT_SLOT_BASE + font, -1);
  return true;
}

void PrintTextAt(int32_t font, const char* text, float x, float y, float z, bool proportional) {
  Renderer* r = TheRenderer();
  size_t length = 0;
  if (r == nullptr || !PrepareText(*r, font, text, &length)) return;
  const int32_t count = LayoutText(*r, font, text, std::ceil(x), std::ceil(y), z, proportional);
  DrawQuadList(*r, count);
}

// Glyph sizes of a font picture: first and last opaque column of each cell.
void MeasureGlyphs(Renderer& r, int32_t index, const Picture& picture) {
  const int32_t tw = TextureSizeFor(picture.width);
  const bool wide = picture.width >= picture.height;
  const int32_t count = wide ? 128 : 256;
  const int32_t cellW = picture.width / 16;
  const int32_t cellH = wide ? picture.height / 8 : picture.height / 16;
  GlyphRecord* glyphs = r.glyphs[index];
  auto columnLit = [&](int32_t x, int32_t y0) {
    for (int32_t y = y0; y < y0 + cellH; ++y)
      if (picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 4 + 3] != 0) return true;
    return false;
  };
  for (int32_t c = 0; c < count; ++c) {
    const int32_t cx = c % 16, cy = c / 16;
    const int32_t x0 = cx * cellW, y0 = cy * cellH;
    int32_t left = 0;
    for (int32_t col = 0; col < cellW; ++col)
      if (columnLit(x0 + col, y0)) {
        left = col;
        break;
      }
    int32_t width = 0;
    for (int32_t col = cellW - 1; col >= left; --col)
      if (columnLit(x0 + col, y0)) {
        width = col - left + 1;
        break;
      }
    GlyphRecord& g = glyphs[c];
    if (width < 1) {
      left = 0;
      g.advance = static_cast<uint8_t>(cellW);
    } else {
      g.advance = static_cast<uint8_t>(width + (width + left < cellW ? 1 : 0));
    }
    g.left = static_cast<uint8_t>(left);
    g.u0 = static_cast<float>(x0 + left) / static_cast<float>(tw);
    g.u1 = static_cast<float>(x0 + left + g.advance) / static_cast<float>(tw);
    if (c == 'j') {
      // A space is as wide as a j.
      GlyphRecord& space = glyphs[32];
      space.left = 0;
      space.advance = g.advance;
      space.u0 = 0.0f;
      space.u1 = g.u1 - g.u0;
    }
  }
  // Bytes above 127 fold back onto the lower half; copied after the j rule
  // so that every record matches the glyph that is drawn for it.
  if (count == 128)
    for (int32_t c = 0; c < 128; ++c) glyphs[c + 128] = glyphs[c];
}

bool LoadFontFile(const char* file, int32_t index) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (!ValidFont(index)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  const int32_t slot = FONT_SLOT_BASE + index;
  if (file == nullptr || file[0] == 0) {
    DeleteSprite(slot);
    return false;
  }
  r->currentFont = index;
  Picture picture;
  bool ok = LoadPictureFile(file, picture, r->fontKey, false);
  if (!ok) DeleteSprite(slot);
  if (ok) {
    MeasureGlyphs(*r, index, picture);
    ok = SetSpriteFromPicture(slot, picture, false);
  }
  if (!ok) {
    SetLastError(kErrorNoSuchFile);
    BuildDefaultFont(index);
  }
  return ok;
}

int32_t TextWidth(const char* text, int32_t proportional) {
  Renderer* r = TheRenderer();
  if (r == nullptr || text == nullptr) return 0;
  const SpriteRecord& s = r->sprites[FONT_SLOT_BASE + r->currentFont];
  if (!proportional) return static_cast<int32_t>(std::strlen(text)) * (s.pictureWidth / 16);
  int32_t width = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
    width += r->glyphs[r->currentFont][*p].advance;
  return width;
}

}  // namespace

// ---------------------------------------------------------------- fonts

void BuildDefaultFont(int32_t index) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (!ValidFont(index)) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  Picture picture;
  if (!picture.Resize(128, 64)) return;
  for (int32_t code = 32; code < 128; ++code) {
    const uint32_t bits = kDefaultGlyphs[code - 32];
    const int32_t x0 = (code % 16) * 8, y0 = (code / 16) * 8;
    auto lit = [&](int32_t cx, int32_t cy) {
      // Cell pixel (cx, cy) shows glyph pixel (cx - 1, cy - 1).
      const int32_t k = cx - 1, row = cy - 1;
      if (k < 0 || k > 4 || row < 0 || row > 5) return false;
      return ((bits >> (row * 5 + k)) & 1) != 0;
    };
    for (int32_t cy = 0; cy < 8; ++cy) {
      for (int32_t cx = 0; cx < 7; ++cx) {
        uint8_t* p = picture.Pixel(x0 + cx, y0 + cy);
        if (lit(cx, cy)) {
          p[0] = p[1] = p[2] = p[3] = 255;
        } else if (lit(cx - 1, cy) || lit(cx + 1, cy) || lit(cx, cy - 1) || lit(cx, cy + 1)) {
          p[0] = p[1] = p[2] = 8;
          p[3] = 255;
        }
      }
    }
  }
  picture.ownAlpha = 1;
  SetSpriteFromPicture(FONT_SLOT_BASE + index, picture, false);
  for (int32_t c = 0; c < kGlyphCount; ++c) {
    GlyphRecord& g = r->glyphs[index][c];
    g.left = 0;
    g.advance = 8;
    g.u0 = static_cast<float>((c % 16) * 8) / 128.0f;
    g.u1 = g.u0 + 8.0f / 128.0f;
  }
}

bool LoadFont(const char* file, int32_t index) { return LoadFontFile(file, index); }
bool LoadFont(const BasicString& file, int32_t index) { return LoadFontFile(file.c_str(), index); }

void SetFont(int32_t index) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (!ValidFont(index)) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  r->currentFont = index;
}

int32_t FindFreeFont() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return -1;
  for (int32_t index = kFontCount - 1; index >= 0; --index)
    if (r->sprites[FONT_SLOT_BASE + index].pictureWidth / 16 == 0) return index;
  return -1;
}

void GetFontSize(int32_t& width, int32_t& height) {
  Renderer* r = TheRenderer();
  width = height = 0;
  if (r == nullptr) return;
  const SpriteRecord& s = r->sprites[FONT_SLOT_BASE + r->currentFont];
  width = s.pictureWidth / 16;
  height = s.pictureWidth >= s.pictureHeight ? s.pictureHeight / 8 : s.pictureHeight / 16;
}

void GetFontSize(double& width, double& height) {
  int32_t w = 0, h = 0;
  GetFontSize(w, h);
  width = w;
  height = h;
}

int32_t GetTextWidth(const char* text, int32_t proportional) { return TextWidth(text, proportional); }
int32_t GetTextWidth(const BasicString& text, int32_t proportional) { return TextWidth(text.c_str(), proportional); }

// ---------------------------------------------------------------- text

void PrintText(const char* text, float x, float y, int32_t proportional) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  PrintTextAt(r->currentFont, text, x, y, 0.0f, proportional != 0);
}

void PrintText(const BasicString& text, float x, float y, int32_t proportional) {
  PrintText(text.c_str(), x, y, proportional);
}

namespace {

// Size 0: the point goes through the modelview and projection to the screen,
// and the text is drawn flat there, centred on it, at the point's depth.
void PrintProjectedText(Renderer& r, int32_t font, const char* text, const FontLayout& f, const GLdouble mv[16],
                        float x, float y, float z, int32_t proportional) {
  const SpriteRecord& s = r.sprites[FONT_SLOT_BASE + font];
  size_t length = 0;
  GLdouble pj[16];
  glGetDoublev(GL_PROJECTION_MATRIX, pj);
  GLint vp[4];
  glGetIntegerv(GL_VIEWPORT, vp);
  const double in[4] = {x, y, z, 1.0};
  double eye[4], clip[4];
  for (int i = 0; i < 4; ++i) eye[i] = mv[i] * in[0] + mv[4 + i] * in[1] + mv[8 + i] * in[2] + mv[12 + i] * in[3];
  for (int i = 0; i < 4; ++i)
    clip[i] = pj[i] * eye[0] + pj[4 + i] * eye[1] + pj[8 + i] * eye[2] + pj[12 + i] * eye[3];
  if (clip[3] == 0 || !PrepareText(r, font, text, &length)) return;
  const double sx = (clip[0] / clip[3] + 1.0) * 0.5 * vp[2];
  const double sy = vp[3] - (clip[1] / clip[3] + 1.0) * 0.5 * vp[3];
  const double depth = clip[2] / clip[3];
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, vp[2], vp[3], 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  const float left = static_cast<float>(sx - static_cast<double>(length) * f.cellWidth / 2.0);
  const float top = static_cast<float>(sy - s.pictureHeight / 8);
  const int32_t count = LayoutText(r, font, text, left, top, static_cast<float>(-depth), proportional != 0);
  DrawQuadList(r, count);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

// The width of the text in world units, glyphs of size units per cell.
double BillboardTextWidth(const Renderer& r, int32_t font, const char* text, const FontLayout& f, double cellW,
                          float size, int32_t proportional) {
  double total = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const int32_t c = *p % f.glyphs;
    if (c == 0) break;
    total += proportional ? r.glyphs[font][c].advance / cellW * size : size;
  }
  return total;
}

// Glyphs facing the camera, centred on the point: the camera's right and up
// axes are the first two rows of the modelview's rotation part.
void PrintBillboardText(Renderer& r, int32_t font, const char* text, const FontLayout& f, const GLdouble mv[16],
                        float x, float y, float z, float size, int32_t proportional) {
  size_t length = 0;
  if (!PrepareText(r, font, text, &length)) return;
  double right[3] = {mv[0], mv[4], mv[8]};
  const double up[3] = {mv[1], mv[5], mv[9]};
  if (proportional) {
    const double n = std::sqrt(right[0] * right[0] + right[1] * right[1] + right[2] * right[2]);
    for (double& c : right) c = n < 1e-7 ? 0.0 : c / n;
  }
  const double cellW = f.cellWidth > 0 ? f.cellWidth : 1;
  const double glyphH = size * (f.cellHeight / cellW);
  // Widths first, so the whole string can be centred on the point.
  double pos = -BillboardTextWidth(r, font, text, f, cellW, size, proportional) / 2;
  float* v = r.quads.vertices;
  int32_t count = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    const int32_t c = *p % f.glyphs;
    if (c == 0) break;
    const float vBottom = static_cast<float>(f.topRow - c / 16) * f.rowV;
    const float vTop = vBottom + f.rowV;
    float ul, ur;
    double advance;
    if (proportional) {
      const GlyphRecord& g = r.glyphs[font][c];
      ul = g.u0;
      ur = g.u1;
      advance = g.advance / cellW * size;
    } else {
      ul = static_cast<float>(c % 16) * f.columnU;
      ur = ul + f.columnU;
      advance = size;
    }
    const double corners[4][2] = {{pos, -glyphH / 2}, {pos, glyphH / 2}, {pos + advance, -glyphH / 2},
                                  {pos + advance, glyphH / 2}};
    const float uv[4][2] = {{ul, vBottom}, {ul, vTop}, {ur, vBottom}, {ur, vTop}};
    for (int k = 0; k < 4; ++k) {
      const double a = corners[k][0], b = corners[k][1];
      v[count * 5 + 0] = static_cast<float>(x + right[0] * a + up[0] * b);
      v[count * 5 + 1] = static_cast<float>(y + right[1] * a + up[1] * b);
      v[count * 5 + 2] = static_cast<float>(z + right[2] * a + up[2] * b);
      v[count * 5 + 3] = uv[k][0];
      v[count * 5 + 4] = uv[k][1];
      ++count;
    }
    pos += advance;
  }
  DrawQuadList(r, count);
}

}  // namespace

void PrintText3D(int32_t font, const char* text, float x, float y, float z, float size, int32_t proportional) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (!ValidFont(font)) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  const bool cull = CachedGLState(kStateCullFace) == kGLStateOn;
  const bool lighting = CachedGLState(kStateLighting) == kGLStateOn;
  SwitchGLState(kStateCullFace, false);
  SwitchGLState(kStateLighting, false);
  const FontLayout f = LayoutOf(r->sprites[FONT_SLOT_BASE + font]);
  GLdouble mv[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  if (size == 0)
    PrintProjectedText(*r, font, text, f, mv, x, y, z, proportional);
  else
    PrintBillboardText(*r, font, text, f, mv, x, y, z, size, proportional);
  if (cull) SwitchGLState(kStateCullFace, true);
  if (lighting) SwitchGLState(kStateLighting, true);
}

void PrintText3D(int32_t font, const BasicString& text, float x, float y, float z, float size,
                 int32_t proportional) {
  PrintText3D(font, text.c_str(), x, y, z, size, proportional);
}
