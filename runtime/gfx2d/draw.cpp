// 2D draw state and primitives: texture binding for 2D and 3D, the shared
// quad routine, blend, alpha-test and colour-key state, pixels, lines and
// rectangles.
#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

float g_quad[16];

void BindTextures(Renderer& r, int32_t id, int32_t id2, int32_t alternate, const uint32_t* table, GLint wrap) {
  EndSpriteRun();
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

void DrawSpriteQuad(const float* vertices) {
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(vertices[i * 4 + 2], vertices[i * 4 + 3]);
    glVertex2f(vertices[i * 4], vertices[i * 4 + 1]);
  }
  glEnd();
}

void ApplySpriteFilter(const Renderer& r) {
  const GLint filter = r.smoothing ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

GLuint NewBoundTexture(GLint wrap, GLint filter) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  return name;
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
