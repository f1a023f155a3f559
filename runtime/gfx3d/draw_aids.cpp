// Aids for 3D debugging: dots, lines and the coordinate-axes marker, drawn in
// world coordinates (the camera matrix only, no movement).
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/bridge2d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {

float Clamp(Number v, float lo, float hi) {
  const float f = static_cast<float>(v);
  return f < lo ? lo : f > hi ? hi : f != f ? lo : f;
}

// The switches a dot or line makes, undone afterwards.
struct AidState {
  int32_t colourMaterial;
  bool lighting;
};

AidState BeginAid(Engine3D& e, int32_t colour) {
  AidState saved{CachedGLState(kStateColorMaterial), CachedGLState(kStateLighting) == kGLStateOn};
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadMatrixf(e.camera);
  SwitchGLState(kStateColorMaterial, true);
  float rgba[4];
  PackedColourFloats(colour, rgba);
  glColor3f(rgba[0], rgba[1], rgba[2]);
  if (e.lightMask != 0) SwitchGLState(kStateLighting, false);
  Bind2DTextures(-1, -1, 0, nullptr);
  return saved;
}

void EndAid(Engine3D& e, const AidState& saved) {
  if (saved.lighting) SwitchGLState(kStateLighting, true);
  if (saved.colourMaterial == 0) SwitchGLState(kStateColorMaterial, false);
  glColor4f(1, 1, 1, e.renderer != nullptr ? e.renderer->globalAlpha : 1.0f);
  glPopMatrix();
}

}  // namespace

void DrawDot3D(Number x, Number y, Number z, Number size, Number colour) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const AidState saved = BeginAid(*e, TruncToInt32(colour));
  const bool smooth = CachedGLState(kStatePointSmooth) == kGLStateOn;
  SwitchGLState(kStatePointSmooth, true);
  glPointSize(Clamp(size, 1.0f, 512.0f));
  glBegin(GL_POINTS);
  glVertex3f(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  glEnd();
  glPointSize(1.0f);
  if (!smooth) SwitchGLState(kStatePointSmooth, false);
  EndAid(*e, saved);
}

void DrawLine3D(Number x1, Number y1, Number z1, Number x2, Number y2, Number z2, Number width, Number colour) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const AidState saved = BeginAid(*e, TruncToInt32(colour));
  glLineWidth(Clamp(width, 1.0f, 512.0f));
  glBegin(GL_LINES);
  glVertex3f(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(z1));
  glVertex3f(static_cast<float>(x2), static_cast<float>(y2), static_cast<float>(z2));
  glEnd();
  glLineWidth(1.0f);
  EndAid(*e, saved);
}

void DrawAxes3D(Number x, Number y, Number z) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadMatrixf(e->camera);
  const int32_t lineSmooth = CachedGLState(kStateLineSmooth);
  const bool lighting = CachedGLState(kStateLighting) == kGLStateOn;
  SwitchGLState(kStateLineSmooth, true);
  Bind2DTextures(-1, -1, 0, nullptr);
  SwitchGLState(kStateLighting, false);
  glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
  glScalef(20.0f, 20.0f, 20.0f);
  // One arrow along axis a: the shaft, then two heads in the two other planes.
  static const float kArrow[8][3] = {{0, 0, 0},     {1, 0, 0},      {0.75f, 0.25f, 0}, {0.75f, -0.25f, 0},
                                     {1, 0, 0},     {0.75f, 0, 0.25f}, {0.75f, 0, -0.25f}, {1, 0, 0}};
  for (int axis = 0; axis < 3; ++axis) {
    glColor3f(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f);
    glBegin(GL_LINE_STRIP);
    for (const auto& p : kArrow) {
      // Rotate the x-axis shape onto the axis: x -> axis, y -> next, z -> the other.
      float v[3];
      v[axis] = p[0];
      v[(axis + 1) % 3] = p[1];
      v[(axis + 2) % 3] = p[2];
      glVertex3f(v[0], v[1], v[2]);
    }
    glEnd();
  }
  if (lighting) SwitchGLState(kStateLighting, true);
  if (lineSmooth == 0) SwitchGLState(kStateLineSmooth, false);
  glColor4f(1, 1, 1, e->renderer != nullptr ? e->renderer->globalAlpha : 1.0f);
  glPopMatrix();
}
