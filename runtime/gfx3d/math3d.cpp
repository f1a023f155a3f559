// Vector and 4x4 matrix arithmetic for the camera, movement stack and shadows.
#include "gfx3d/internal/math3d.h"

#include <cmath>
#include <cstring>

namespace math3d {

void Identity(float m[16]) {
  std::memset(m, 0, sizeof(float) * 16);
  m[0] = m[5] = m[10] = m[15] = 1.0f;
}

bool IsIdentity(const float m[16]) {
  for (int i = 0; i < 16; ++i)
    if (m[i] != ((i % 5) == 0 ? 1.0f : 0.0f)) return false;
  return true;
}

void Multiply(const float a[16], const float b[16], float out[16]) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      out[c * 4 + r] =
          a[r] * b[c * 4] + a[4 + r] * b[c * 4 + 1] + a[8 + r] * b[c * 4 + 2] + a[12 + r] * b[c * 4 + 3];
}

void MultiplyInPlace(float m[16], const float b[16]) {
  float out[16];
  Multiply(m, b, out);
  std::memcpy(m, out, sizeof out);
}

void TransformPoint(const float m[16], const float p[3], float out[3]) {
  for (int r = 0; r < 3; ++r) out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

float TanPolynomial(float x) {
  const float x2 = x * x;
  return x * (1.0f +
              x2 * (0.3333314061f +
                    x2 * (0.1333923936f +
                          x2 * (0.0533740595f + x2 * (0.0245650895f + x2 * (0.0029005250f + x2 * 0.0095168091f))))));
}

void FrustumMatrix(double l, double r, double b, double t, double n, double f, float out[16]) {
  std::memset(out, 0, sizeof(float) * 16);
  out[0] = static_cast<float>(2.0 * n / (r - l));
  out[5] = static_cast<float>(2.0 * n / (t - b));
  out[8] = static_cast<float>((r + l) / (r - l));
  out[9] = static_cast<float>((t + b) / (t - b));
  out[10] = static_cast<float>(-(f + n) / (f - n));
  out[11] = -1.0f;
  out[14] = static_cast<float>(-2.0 * f * n / (f - n));
}

void OrthoMatrix(double l, double r, double b, double t, double n, double f, float out[16]) {
  std::memset(out, 0, sizeof(float) * 16);
  out[0] = static_cast<float>(2.0 / (r - l));
  out[5] = static_cast<float>(2.0 / (t - b));
  out[10] = static_cast<float>(-2.0 / (f - n));
  out[12] = static_cast<float>(-(r + l) / (r - l));
  out[13] = static_cast<float>(-(t + b) / (t - b));
  out[14] = static_cast<float>(-(f + n) / (f - n));
  out[15] = 1.0f;
}

namespace {

void Normalise(float v[3]) {
  const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0.0f) {
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

void Cross(const float a[3], const float b[3], float out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace

void LookAt(const float eye[3], const float target[3], const float up[3], float out[16]) {
  float f[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
  Normalise(f);
  float s[3];
  Cross(up, f, s);
  Normalise(s);
  float u[3];
  Cross(f, s, u);
  Normalise(u);
  out[0] = s[0];
  out[4] = s[1];
  out[8] = s[2];
  out[12] = -Dot(s, eye);
  out[1] = u[0];
  out[5] = u[1];
  out[9] = u[2];
  out[13] = -Dot(u, eye);
  out[2] = f[0];
  out[6] = f[1];
  out[10] = f[2];
  out[14] = -Dot(f, eye);
  out[3] = out[7] = out[11] = 0.0f;
  out[15] = 1.0f;
}

void ExtractPlanes(const float projection[16], const float camera[16], float planes[6][4]) {
  float c[16];
  Multiply(projection, camera, c);
  auto row = [&c](int r, int k) { return c[k * 4 + r]; };
  // r3 − r0, r3 + r0, r3 + r1, r3 − r1, r3 − r2, r3 + r2.
  const int rows[6] = {0, 0, 1, 1, 2, 2};
  const float signs[6] = {-1, 1, 1, -1, -1, 1};
  for (int p = 0; p < 6; ++p) {
    for (int k = 0; k < 4; ++k) planes[p][k] = row(3, k) + signs[p] * row(rows[p], k);
    const float len = std::sqrt(planes[p][0] * planes[p][0] + planes[p][1] * planes[p][1] + planes[p][2] * planes[p][2]);
    if (len > 0.0f)
      for (int k = 0; k < 4; ++k) planes[p][k] /= len;
  }
}

bool RotationMatrix(float angle, float ax, float ay, float az, float out[16]) {
  const float rad = angle * 0.017453292f;
  Identity(out);
  const int nonZero = (ax != 0.0f) + (ay != 0.0f) + (az != 0.0f);
  if (nonZero == 1) {
    const float sign = (ax + ay + az) < 0.0f ? -1.0f : 1.0f;
    const float c = std::cos(sign * rad);
    const float s = std::sin(sign * rad);
    if (ax != 0.0f) {
      out[5] = c;
      out[6] = s;
      out[9] = -s;
      out[10] = c;
    } else if (ay != 0.0f) {
      out[0] = c;
      out[2] = -s;
      out[8] = s;
      out[10] = c;
    } else {
      out[0] = c;
      out[1] = s;
      out[4] = -s;
      out[5] = c;
    }
    return true;
  }
  const float len = std::sqrt(ax * ax + ay * ay + az * az);
  if (!(len > 0.0001f)) return false;
  const float x = ax / len, y = ay / len, z = az / len;
  const float c = std::cos(rad);
  const float s = std::sin(rad);
  const float k = 1.0f - c;
  out[0] = x * x * k + c;
  out[1] = y * x * k + z * s;
  out[2] = x * z * k - y * s;
  out[4] = x * y * k - z * s;
  out[5] = y * y * k + c;
  out[6] = y * z * k + x * s;
  out[8] = x * z * k + y * s;
  out[9] = y * z * k - x * s;
  out[10] = z * z * k + c;
  return true;
}

bool Invert(const float m[16], float out[16]) {
  // Rows of [M | I], eliminated in float like the rest of the engine.
  float a[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      a[r][c] = m[c * 4 + r];
      a[r][c + 4] = r == c ? 1.0f : 0.0f;
    }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (a[pivot][col] == 0.0f) return false;
    if (pivot != col)
      for (int c = 0; c < 8; ++c) {
        const float t = a[col][c];
        a[col][c] = a[pivot][c];
        a[pivot][c] = t;
      }
    const float inv = 1.0f / a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      const float factor = a[r][col];
      if (factor == 0.0f) continue;
      for (int c = 0; c < 8; ++c) a[r][c] -= factor * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[c * 4 + r] = a[r][c + 4];
  return true;
}

float LargestColumnLength(const float m[16]) {
  float best = 0.0f;
  for (int c = 0; c < 3; ++c) {
    const float len = std::sqrt(m[c * 4] * m[c * 4] + m[c * 4 + 1] * m[c * 4 + 1] + m[c * 4 + 2] * m[c * 4 + 2]);
    if (len > best) best = len;
  }
  return best;
}

}  // namespace math3d
