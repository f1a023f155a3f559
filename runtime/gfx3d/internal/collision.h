// Collision tests of one mesh frame in object space: the tests of a single
// triangle, the walks over the triangle list in order, and the indexed
// searches that give the walks' answers without visiting every triangle.
#pragma once

#include <cstdint>

#include "gfx3d/internal/collision_index.h"
#include "gfx3d/internal/mesh.h"

namespace collision {

// A box: its centre and three half-edge vectors (in object space they need
// not be orthogonal: the movement's scale is not undone).
struct BoxProbe {
  double centre[3];
  double half[3][3];
};

// The line origin + s * step; s measures distances in units of |step|.
struct RayProbe {
  double origin[3];
  double step[3];
};

// The nearest hits on both sides of a line's origin, with their triangles
// (numbers within the frame, -1 for none). On equal distances the triangle
// earlier in the list wins.
struct RayHits {
  double positive = 0.0;
  int32_t positiveTriangle = -1;
  double negative = 0.0;
  int32_t negativeTriangle = -1;
};

// The tests of one triangle (three consecutive triangle-list records).
// Sphere: the sphere reaches the triangle's plane and either the centre's
// foot lies inside by the angle-sum rule or an edge passes within radius.
bool SphereTouchesTriangle(const double centre[3], double radius, const MeshVertex* triangle);
// Box: no separating axis exists (boundaries touching count as touching).
bool BoxTouchesTriangle(const BoxProbe& box, const MeshVertex* triangle);
// Line: the signed parameter of the crossing point inside the triangle
// (edges included), 0 when there is none.
double RayTriangleDistance(const RayProbe& ray, const MeshVertex* triangle);

// Takes a candidate of the line search into hits.
void NoteRayHit(RayHits& hits, double s, int32_t triangle);

// In order over the frame's triangles: the first that touches (-1 if none).
int32_t WalkSphere(const MeshFrame& frame, const double centre[3], double radius);
int32_t WalkBox(const MeshFrame& frame, const BoxProbe& box);
RayHits WalkRay(const MeshFrame& frame, const RayProbe& ray);

// The same answers through the frame's index, built on first use (and
// again after the triangles changed). Frames whose positions are not all
// finite, and probes that are not, are walked.
int32_t SearchSphere(MeshFrame& frame, const double centre[3], double radius);
int32_t SearchBox(MeshFrame& frame, const BoxProbe& box);
RayHits SearchRay(MeshFrame& frame, const RayProbe& ray);

// Frames with fewer triangles are walked by the object tests.
constexpr int32_t kIndexFromTriangles = 48;
// Whether the frame holds an index for its current triangle list.
bool HasIndex(const MeshFrame& frame);

}  // namespace collision
