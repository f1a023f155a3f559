// Picking: world points to screen positions and back, through the camera,
// the projection and the 2D renderer's viewport (the movement stack is not
// applied).
#include <cmath>
#include <cstdint>
#include <utility>

#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/display.h"

namespace {

// projection x camera in double: world to clip coordinates.
void WorldToClip(const Engine3D& e, double out[16]) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += static_cast<double>(e.projection[k * 4 + r]) * e.camera[c * 4 + k];
      out[c * 4 + r] = sum;
    }
}

// Gauss-Jordan elimination with partial pivoting; false when singular.
bool Invert(const double m[16], double out[16]) {
  double a[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      a[r][c] = m[c * 4 + r];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (!(std::fabs(a[pivot][col]) > 0.0)) return false;
    if (pivot != col)
      for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
    const double scale = 1.0 / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= scale;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[c * 4 + r] = a[r][c + 4];
  return true;
}

struct Viewport {
  double x, y, w, h;  // logical, origin top left
  double screenHeight;
};

Viewport CurrentViewport(const Engine3D& e) {
  Viewport v{0, 0, 1, 1, 1};
  if (e.renderer != nullptr) {
    v = Viewport{static_cast<double>(e.renderer->viewportX), static_cast<double>(e.renderer->viewportY),
                 static_cast<double>(e.renderer->viewportWidth), static_cast<double>(e.renderer->viewportHeight), 1};
  }
  int32_t w = 0, h = 0;
  GetScreenSize(&w, &h);
  v.screenHeight = h > 0 ? h : v.h;
  return v;
}

}  // namespace

int32_t ProjectToScreen(Number x, Number y, Number z, Number& sx, Number& sy, Number& sz) {
  const Engine3D* e = TheEngine3D();
  if (e == nullptr) return 0;
  double m[16];
  WorldToClip(*e, m);
  const double p[4] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), 1.0};
  double clip[4];
  for (int r = 0; r < 4; ++r) clip[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r] * p[3];
  if (clip[3] == 0.0) return 0;
  const Viewport v = CurrentViewport(*e);
  sx = v.x + v.w * (1.0 + clip[0] / clip[3]) / 2.0;
  // Rows count down from the viewport's top edge.
  sy = v.y + v.h * (1.0 - clip[1] / clip[3]) / 2.0;
  sz = (1.0 + clip[2] / clip[3]) / 2.0;
  return 1;
}

int32_t UnprojectFromScreen(Number sx, Number sy, Number sz, Number& x, Number& y, Number& z) {
  const Engine3D* e = TheEngine3D();
  if (e == nullptr) return 0;
  double m[16], inverse[16];
  WorldToClip(*e, m);
  if (!Invert(m, inverse)) return 0;
  const Viewport v = CurrentViewport(*e);
  if (v.w == 0.0 || v.h == 0.0) return 0;
  // The screen row as a window row counted from the bottom, and the
  // viewport's bottom edge in the same rows.
  const double row = v.screenHeight - 1.0 - sy;
  const double viewportBottom = v.screenHeight - v.y - v.h;
  const double ndc[4] = {(sx - v.x) / v.w * 2.0 - 1.0, (row - viewportBottom) / v.h * 2.0 - 1.0, sz * 2.0 - 1.0, 1.0};
  double world[4];
  for (int r = 0; r < 4; ++r)
    world[r] = inverse[r] * ndc[0] + inverse[4 + r] * ndc[1] + inverse[8 + r] * ndc[2] + inverse[12 + r] * ndc[3];
  if (world[3] == 0.0) return 0;
  x = world[0] / world[3];
  y = world[1] / world[3];
  z = world[2] / world[3];
  return 1;
}
