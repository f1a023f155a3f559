// Collision of mesh objects with spheres, boxes and rays: the triangle tests,
// the in-order walks, the object-level commands, the hit record and the
// probes a debug build draws.
#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "core/settings.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/collision.h"
#include "gfx3d/internal/engine3d.h"

namespace collision {

namespace {

inline void Sub(const double a[3], const double b[3], double out[3]) {
  out[0] = a[0] - b[0];
  out[1] = a[1] - b[1];
  out[2] = a[2] - b[2];
}
inline double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}
inline void Corner(const MeshVertex& r, double out[3]) {
  out[0] = r.x;
  out[1] = r.y;
  out[2] = r.z;
}

// A triangle's corners, its edges e1 = b - a and e2 = c - a, and its
// (unnormalised) normal e1 x e2.
void TriangleEdges(const MeshVertex* t, double a[3], double b[3], double c[3], double e1[3], double e2[3],
                   double n[3]) {
  Corner(t[0], a);
  Corner(t[1], b);
  Corner(t[2], c);
  Sub(b, a, e1);
  Sub(c, a, e2);
  Cross(e1, e2, n);
}

// 0.99 * 2 pi in float32: the angle sum that counts a point as inside.
constexpr double kInsideAngleSum = static_cast<double>(6.2203536f);

// The angle at x between the directions to p and q.
double AngleAt(const double x[3], const double p[3], const double q[3]) {
  double u[3], v[3];
  Sub(p, x, u);
  Sub(q, x, v);
  double c = Dot(u, v) / std::sqrt(Dot(u, u) * Dot(v, v));
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  return std::acos(c);  // NaN when x is a corner
}

// Whether the segment p..q passes closer than radius to centre.
bool EdgeWithin(const double centre[3], double radius, const double p[3], const double q[3]) {
  double e[3], f[3];
  Sub(q, p, e);
  Sub(centre, p, f);
  const double length2 = Dot(e, e);
  double t = length2 > 0.0 ? Dot(f, e) / length2 : 0.0;
  if (!(t > 0.0)) t = 0.0;
  if (t > 1.0) t = 1.0;
  const double d[3] = {f[0] - t * e[0], f[1] - t * e[1], f[2] - t * e[2]};
  return radius > 0.0 && Dot(d, d) < radius * radius;
}

// The radius of the box's projection onto axis.
inline double BoxReach(const BoxProbe& box, const double axis[3]) {
  return std::fabs(Dot(box.half[0], axis)) + std::fabs(Dot(box.half[1], axis)) + std::fabs(Dot(box.half[2], axis));
}

// True when the triangle (corners relative to the box centre) lies wholly
// on one side of the box along axis. A zero axis separates nothing; NaN
// separates everything.
inline bool Separates(const BoxProbe& box, const double p[3][3], const double axis[3]) {
  const double a = Dot(p[0], axis), b = Dot(p[1], axis), c = Dot(p[2], axis);
  const double low = std::fmin(a, std::fmin(b, c));
  const double high = std::fmax(a, std::fmax(b, c));
  const double reach = BoxReach(box, axis);
  return !(low <= reach && high >= -reach);
}

}  // namespace

bool SphereTouchesTriangle(const double centre[3], double radius, const MeshVertex* t) {
  double a[3], b[3], c[3], e1[3], e2[3], n[3];
  TriangleEdges(t, a, b, c, e1, e2, n);
  const double length = std::sqrt(Dot(n, n));
  if (length > 0.0) {
    n[0] /= length;
    n[1] /= length;
    n[2] /= length;
  }
  const double dist = Dot(n, centre) - Dot(n, a);
  if (!(std::fabs(dist) < radius)) return false;
  const double foot[3] = {centre[0] - n[0] * dist, centre[1] - n[1] * dist, centre[2] - n[2] * dist};
  const double sum = AngleAt(foot, a, b) + AngleAt(foot, b, c) + AngleAt(foot, c, a);
  if (sum >= kInsideAngleSum) return true;
  return EdgeWithin(centre, radius, a, b) || EdgeWithin(centre, radius, b, c) || EdgeWithin(centre, radius, c, a);
}

bool BoxTouchesTriangle(const BoxProbe& box, const MeshVertex* t) {
  double p[3][3];
  for (int i = 0; i < 3; ++i) {
    double corner[3];
    Corner(t[i], corner);
    Sub(corner, box.centre, p[i]);
  }
  // The world axes first: they compare the two bounding boxes, which
  // rejects most triangles (and keeps every answer within those bounds).
  for (int k = 0; k < 3; ++k) {
    const double axis[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
    if (Separates(box, p, axis)) return false;
  }
  double edges[3][3];
  Sub(p[1], p[0], edges[0]);
  Sub(p[2], p[1], edges[1]);
  Sub(p[0], p[2], edges[2]);
  double faces[3][3];
  Cross(box.half[1], box.half[2], faces[0]);
  Cross(box.half[2], box.half[0], faces[1]);
  Cross(box.half[0], box.half[1], faces[2]);
  for (const auto& axis : faces)
    if (Separates(box, p, axis)) return false;
  double normal[3];
  Cross(edges[0], edges[1], normal);
  if (Separates(box, p, normal)) return false;
  double axis[3];
  for (const auto& half : box.half)
    for (const auto& edge : edges) {
      Cross(half, edge, axis);
      if (Separates(box, p, axis)) return false;
    }
  // For a solid box these axes decide. A box with a zero extent is a flat
  // rectangle, a segment or a point, which can also be separated within a
  // plane or along a line: across the edges of either, or along the line
  // between the nearest features.
  bool solid = true;
  for (const auto& face : faces) solid = solid && Dot(face, face) > 0.0;
  if (solid) return true;
  // The box's and the triangle's edge directions.
  const double* lines[6] = {box.half[0], box.half[1], box.half[2], edges[0], edges[1], edges[2]};
  for (const auto& face : faces)
    for (const double* line : lines) {
      Cross(face, line, axis);
      if (Separates(box, p, axis)) return false;
    }
  for (const double* line : lines) {
    if (Separates(box, p, line)) return false;
    Cross(normal, line, axis);
    if (Separates(box, p, axis)) return false;
    for (const double* other : lines) {
      double across[3];
      Cross(line, other, across);
      Cross(across, line, axis);
      if (Separates(box, p, axis)) return false;
    }
    for (const auto& corner : p) {
      double across[3];
      Cross(corner, line, across);
      Cross(line, across, axis);
      if (Separates(box, p, axis)) return false;
    }
  }
  for (const auto& corner : p)
    if (Separates(box, p, corner)) return false;
  return true;
}

double RayTriangleDistance(const RayProbe& ray, const MeshVertex* t) {
  double a[3], b[3], c[3], e1[3], e2[3], n[3];
  TriangleEdges(t, a, b, c, e1, e2, n);
  const double nn = Dot(n, n);
  if (nn == 0.0) return 0.0;
  const double along = Dot(n, ray.step);
  if (along == 0.0) return 0.0;
  double fromA[3];
  Sub(ray.origin, a, fromA);
  const double s = -Dot(n, fromA) / along;
  const double x[3] = {ray.origin[0] + s * ray.step[0], ray.origin[1] + s * ray.step[1],
                       ray.origin[2] + s * ray.step[2]};
  double v[3], w[3];
  Sub(x, a, v);
  Cross(v, e2, w);
  const double beta = Dot(w, n) / nn;
  Cross(e1, v, w);
  const double gamma = Dot(w, n) / nn;
  if (beta >= 0.0 && beta <= 1.0 && gamma >= 0.0 && beta + gamma <= 1.0) return s;
  return 0.0;
}

void NoteRayHit(RayHits& hits, double s, int32_t triangle) {
  if (s > 0.0) {
    if (hits.positiveTriangle < 0 || s < hits.positive ||
        (s == hits.positive && triangle < hits.positiveTriangle)) {
      hits.positive = s;
      hits.positiveTriangle = triangle;
    }
  } else if (s < 0.0) {
    if (hits.negativeTriangle < 0 || s > hits.negative ||
        (s == hits.negative && triangle < hits.negativeTriangle)) {
      hits.negative = s;
      hits.negativeTriangle = triangle;
    }
  }
}

int32_t WalkSphere(const MeshFrame& frame, const double centre[3], double radius) {
  const int32_t triangles = frame.triangles.count() / 3;
  for (int32_t i = 0; i < triangles; ++i)
    if (SphereTouchesTriangle(centre, radius, &frame.triangles[i * 3])) return i;
  return -1;
}

int32_t WalkBox(const MeshFrame& frame, const BoxProbe& box) {
  const int32_t triangles = frame.triangles.count() / 3;
  for (int32_t i = 0; i < triangles; ++i)
    if (BoxTouchesTriangle(box, &frame.triangles[i * 3])) return i;
  return -1;
}

RayHits WalkRay(const MeshFrame& frame, const RayProbe& ray) {
  RayHits hits;
  const int32_t triangles = frame.triangles.count() / 3;
  for (int32_t i = 0; i < triangles; ++i) NoteRayHit(hits, RayTriangleDistance(ray, &frame.triangles[i * 3]), i);
  return hits;
}

}  // namespace collision

// ---------------------------------------------------------------- object tests

namespace {

using collision::BoxProbe;
using collision::RayHits;
using collision::RayProbe;

// The first record of the triangle the last test found, -1 for none.
int32_t g_hitRecord = -1;

// World to object: R^T (p - t) with R the 3 x 3 part of the composed level
// and t its translation. R^T inverts rotations only, so a scaled level
// leaves the object unscaled.
struct WorldToObject {
  float m[16];
  void Point(const float p[3], double out[3]) const {
    const double d[3] = {static_cast<double>(p[0]) - m[12], static_cast<double>(p[1]) - m[13],
                         static_cast<double>(p[2]) - m[14]};
    Vector(d, out);
  }
  void Vector(const double d[3], double out[3]) const {
    for (int j = 0; j < 3; ++j) out[j] = m[j * 4 + 0] * d[0] + m[j * 4 + 1] * d[1] + m[j * 4 + 2] * d[2];
  }
};

WorldToObject CurrentTransform(Engine3D& e) {
  ComposeMovementLevel(e);
  WorldToObject t;
  for (int i = 0; i < 16; ++i) t.m[i] = e.levels[e.movementIndex].composed[i];
  return t;
}

// The frame a mesh-level test works on: null when the frame is out of
// range or has no triangle.
MeshFrame* TestFrame(MeshObjectX& mesh, int32_t frame) {
  if (frame < 0 || frame >= mesh.frames.count()) return nullptr;
  MeshFrame& f = mesh.frames[frame];
  return f.triangles.count() < 3 ? nullptr : &f;
}

bool UseIndex(const MeshFrame& frame) {
  return collision::IndexEnabled && frame.triangles.count() / 3 >= collision::kIndexFromTriangles;
}

inline double Distance2(const double a[3], const float b[3]) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
}

bool MeshSphere(MeshObjectX& mesh, int32_t frameNumber, double radius, const double centre[3]) {
  g_hitRecord = -1;
  MeshFrame* frame = TestFrame(mesh, frameNumber);
  if (frame == nullptr) return false;
  const double reach = radius + frame->radius;
  if (Distance2(centre, frame->centre) > reach * reach) return false;
  const MeshVertex& first = frame->triangles[0];
  const float firstPosition[3] = {first.x, first.y, first.z};
  if (Distance2(centre, firstPosition) <= radius * radius) return true;  // the hit record stays -1
  const int32_t triangle =
      UseIndex(*frame) ? collision::SearchSphere(*frame, centre, radius) : collision::WalkSphere(*frame, centre, radius);
  if (triangle < 0) return false;
  g_hitRecord = triangle * 3;
  return true;
}

// How far a corner of the box lies from its centre, at most.
double FarthestCorner(const BoxProbe& box) {
  double farthest = 0.0;
  for (int sb = -1; sb <= 1; sb += 2)
    for (int sc = -1; sc <= 1; sc += 2) {
      double v[3];
      for (int k = 0; k < 3; ++k) v[k] = box.half[0][k] + sb * box.half[1][k] + sc * box.half[2][k];
      farthest = std::fmax(farthest, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    }
  return farthest;
}

// A frame's radius counts distances below this (the root of 1e-7) as 0.
constexpr double kRadiusFloor = 3.1623e-4;

bool MeshBox(MeshObjectX& mesh, int32_t frameNumber, const BoxProbe& box) {
  g_hitRecord = -1;
  MeshFrame* frame = TestFrame(mesh, frameNumber);
  if (frame == nullptr) return false;
  // A box touching the mesh has a point within the frame's radius of its
  // centre, and that point lies within the farthest corner of the box's
  // centre. (Comparing squares summed instead, |a+b+e|^2 + radius^2, would
  // reject boxes that do touch.)
  const double reach = FarthestCorner(box) + frame->radius + kRadiusFloor;
  if (Distance2(box.centre, frame->centre) > reach * reach) return false;
  const int32_t triangle = UseIndex(*frame) ? collision::SearchBox(*frame, box) : collision::WalkBox(*frame, box);
  if (triangle < 0) return false;
  g_hitRecord = triangle * 3;
  return true;
}

RayHits MeshRay(MeshObjectX& mesh, int32_t frameNumber, const RayProbe& ray) {
  MeshFrame* frame = TestFrame(mesh, frameNumber);
  if (frame == nullptr) return RayHits{};
  return UseIndex(*frame) ? collision::SearchRay(*frame, ray) : collision::WalkRay(*frame, ray);
}

// The slot of a test, or null (error 7 outside the table).
MeshSlot* TestSlot(Number id) {
  if (TheEngine3D() == nullptr) return nullptr;
  MeshSlot* slot = MeshSlotAt(TruncToInt32(id));
  if (slot == nullptr) SetLastError(kErrorOutOfMemory);
  return slot;
}

inline float F(Number v) { return static_cast<float>(v); }

// ---------------------------------------------------------------- debug probes

constexpr int32_t kProbeHitColour = 0xFF;
constexpr int32_t kProbeMissColour = 0xFF00;
constexpr double kProbeHitWidth = 5;
constexpr double kProbeMissWidth = 1;
constexpr int kProbeCircleSegments = 24;

void DrawSphereProbe(double radius, const float c[3], bool hit) {
  const int32_t colour = hit ? kProbeHitColour : kProbeMissColour;
  const double width = hit ? kProbeHitWidth : kProbeMissWidth;
  const double step = 2.0 * 3.14159265358979323846 / kProbeCircleSegments;
  // Three great circles, one in each axis plane.
  for (int plane = 0; plane < 3; ++plane) {
    for (int i = 0; i < kProbeCircleSegments; ++i) {
      double p[2][3];
      for (int end = 0; end < 2; ++end) {
        const double angle = (i + end) * step;
        p[end][0] = c[0];
        p[end][1] = c[1];
        p[end][2] = c[2];
        p[end][plane] += radius * std::cos(angle);
        p[end][(plane + 1) % 3] += radius * std::sin(angle);
      }
      DrawLine3D(p[0][0], p[0][1], p[0][2], p[1][0], p[1][1], p[1][2], width, colour);
    }
  }
}

void DrawBoxProbe(const float c[3], const float half[3], bool hit) {
  const int32_t colour = hit ? kProbeHitColour : kProbeMissColour;
  const double width = hit ? kProbeHitWidth : kProbeMissWidth;
  // Each of the twelve edges runs along one axis from a corner whose
  // coordinate on that axis is the low one.
  for (int axis = 0; axis < 3; ++axis)
    for (int corner = 0; corner < 4; ++corner) {
      double from[3], to[3];
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      from[axis] = c[axis] - half[axis];
      to[axis] = c[axis] + half[axis];
      from[u] = to[u] = c[u] + ((corner & 1) ? half[u] : -half[u]);
      from[v] = to[v] = c[v] + ((corner & 2) ? half[v] : -half[v]);
      DrawLine3D(from[0], from[1], from[2], to[0], to[1], to[2], width, colour);
    }
}

}  // namespace

int32_t SphereCollision(Number id, Number frameNumber, Number radiusNumber, Number x, Number y, Number z) {
  g_hitRecord = -1;
  MeshSlot* slot = TestSlot(id);
  if (slot == nullptr) return 0;
  Engine3D& e = *TheEngine3D();
  const float c[3] = {F(x), F(y), F(z)};
  const double radius = F(radiusNumber);
  const WorldToObject transform = CurrentTransform(e);
  double centre[3];
  transform.Point(c, centre);
  const int32_t frame = TruncToInt32(frameNumber);
  bool hit = false;
  for (MeshObjectX& mesh : slot->meshes)
    if ((hit = MeshSphere(mesh, frame, radius, centre))) break;
  if (Settings().DebugMode != 0) DrawSphereProbe(radius, c, hit);
  return hit ? 1 : 0;
}

int32_t BoxCollision(Number id, Number frameNumber, Number x, Number y, Number z, Number width, Number height,
                     Number depth) {
  g_hitRecord = -1;
  MeshSlot* slot = TestSlot(id);
  if (slot == nullptr) return 0;
  Engine3D& e = *TheEngine3D();
  const float c[3] = {F(x), F(y), F(z)};
  const float half[3] = {F(width) / 2, F(height) / 2, F(depth) / 2};
  const WorldToObject transform = CurrentTransform(e);
  BoxProbe box;
  transform.Point(c, box.centre);
  for (int k = 0; k < 3; ++k) {
    const double edge[3] = {k == 0 ? half[0] : 0.0, k == 1 ? half[1] : 0.0, k == 2 ? half[2] : 0.0};
    transform.Vector(edge, box.half[k]);
  }
  const int32_t frame = TruncToInt32(frameNumber);
  bool hit = false;
  for (MeshObjectX& mesh : slot->meshes)
    if ((hit = MeshBox(mesh, frame, box))) break;
  if (Settings().DebugMode != 0) DrawBoxProbe(c, half, hit);
  return hit ? 1 : 0;
}

double RayCollision(Number id, Number frameNumber, Number x, Number y, Number z, Number dx, Number dy, Number dz) {
  g_hitRecord = -1;
  MeshSlot* slot = TestSlot(id);
  if (slot == nullptr) return 0;
  Engine3D& e = *TheEngine3D();
  const float p[3] = {F(x), F(y), F(z)};
  float d[3] = {F(dx), F(dy), F(dz)};
  const float length2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  if (length2 > 1e-7f) {
    const float length = std::sqrt(length2);
    for (float& v : d) v /= length;
  }
  const float q[3] = {p[0] + d[0], p[1] + d[1], p[2] + d[2]};
  const WorldToObject transform = CurrentTransform(e);
  RayProbe ray;
  double end[3];
  transform.Point(p, ray.origin);
  transform.Point(q, end);
  for (int k = 0; k < 3; ++k) ray.step[k] = end[k] - ray.origin[k];
  // Over all meshes: the smallest positive distance, else the negative one
  // closest to 0. The hit record names the triangle that gave the result.
  RayHits best;
  const int32_t frame = TruncToInt32(frameNumber);
  for (MeshObjectX& mesh : slot->meshes) {
    const RayHits hits = MeshRay(mesh, frame, ray);
    if (hits.positiveTriangle >= 0 && (best.positiveTriangle < 0 || hits.positive < best.positive)) {
      best.positive = hits.positive;
      best.positiveTriangle = hits.positiveTriangle;
    }
    if (hits.negativeTriangle >= 0 && (best.negativeTriangle < 0 || hits.negative > best.negative)) {
      best.negative = hits.negative;
      best.negativeTriangle = hits.negativeTriangle;
    }
  }
  if (best.positiveTriangle >= 0) {
    g_hitRecord = best.positiveTriangle * 3;
    return best.positive;
  }
  if (best.negativeTriangle >= 0) {
    g_hitRecord = best.negativeTriangle * 3;
    return best.negative;
  }
  return 0;
}

int32_t GetHitTriangle() { return g_hitRecord / 3; }
