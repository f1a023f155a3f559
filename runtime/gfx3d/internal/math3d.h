// The 3D engine's float32 matrix arithmetic. Matrices are 16 floats in
// OpenGL's column-major order: element (row r, column c) is m[c * 4 + r].
#pragma once

#include <cstdint>

namespace math3d {

// m := the identity.
void Identity(float m[16]);
// True when m is exactly the identity.
bool IsIdentity(const float m[16]);
// out = a × b (out may alias neither input).
void Multiply(const float a[16], const float b[16], float out[16]);
// m := m × b.
void MultiplyInPlace(float m[16], const float b[16]);
// out = m × (x, y, z, 1), the w row dropped.
void TransformPoint(const float m[16], const float p[3], float out[3]);

// The tangent polynomial of the projection set-up (float32 coefficients).
float TanPolynomial(float x);
// The matrices glFrustum and glOrtho build.
void FrustumMatrix(double l, double r, double b, double t, double n, double f, float out[16]);
// The same for glOrtho.
void OrthoMatrix(double l, double r, double b, double t, double n, double f, float out[16]);
// The camera matrix looking from eye at target.
void LookAt(const float eye[3], const float target[3], const float up[3], float out[16]);
// The six planes (a, b, c, d with a unit normal) right, left, bottom, top,
// far, near of the clip volume of projection × camera, in world coordinates.
void ExtractPlanes(const float projection[16], const float camera[16], float planes[6][4]);
// The rotation by angle degrees about the axis; false (out untouched) when the
// axis is too short to mean a direction.
bool RotationMatrix(float angle, float ax, float ay, float az, float out[16]);
// Gauss-Jordan elimination with partial pivoting; false when singular.
bool Invert(const float m[16], float out[16]);
// The largest length of the three columns of the upper 3×3 part.
float LargestColumnLength(const float m[16]);

}  // namespace math3d
