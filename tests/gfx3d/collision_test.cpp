// Collision and picking: sphere, box and ray tests against objects built with
// the construction commands, the indexed searches against the in-order walks
// on random meshes and probes, the probes a debug build draws, and the
// screen projection both ways.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/collision.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d_test_util.h"
#include "gl/gl_ext.h"
#include "support/runtime_fixture.h"

namespace {

using collision::BoxProbe;
using collision::RayHits;
using collision::RayProbe;
using gfx3d_test::BuildBox;
using gfx3d_test::BuildStrips;
using gfx3d_test::Engine;
using gfx3d_test::Vtx;

// Slot numbers used here.
constexpr int32_t kCube = 300;          // half size 1 at the origin, 12 triangles
constexpr int32_t kFineCube = 301;      // the same cube, faces in 4 x 4 squares
constexpr int32_t kTriangle = 302;      // one large triangle in the z = 0 plane
constexpr int32_t kOffsetCube = 303;    // half size 1 around (3, 0, 0)
constexpr int32_t kTwoMeshes = 304;     // a slot holding two meshes
constexpr int32_t kSpareMesh = 305;

// The cube again with every face split into n x n squares (strips of rows).
void BuildFineCube(int32_t id, int n) {
  Engine();
  SetMeshNormalMode(1);
  BeginMesh(id);
  bool first = true;
  for (int axis = 0; axis < 3; ++axis)
    for (int side = -1; side <= 1; side += 2)
      for (int row = 0; row < n; ++row) {
        if (!first) NewMeshStrip();
        first = false;
        for (int col = 0; col <= n; ++col)
          for (int k = 0; k < 2; ++k) {
            double p[3];
            p[axis] = side;
            p[(axis + 1) % 3] = -1 + 2.0 * (row + k) / n;
            p[(axis + 2) % 3] = -1 + 2.0 * col / n;
            AddMeshVertex(p[0], p[1], p[2], 0, 0, 0xFFFFFF);
          }
      }
  EndMesh();
}

void ResetMovement() {
  Engine();
  SetMovementTranslation(0, 0, 0);
  SetMovementScale(1, 1, 1);
}

// The corners of triangle n of the object's frame 0.
std::vector<std::array<float, 3>> TriangleCorners(int32_t id, int32_t n) {
  const MeshVertex* r = &gfx3d_test::Mesh(id).frames[0].triangles[n * 3];
  return {{r[0].x, r[0].y, r[0].z}, {r[1].x, r[1].y, r[1].z}, {r[2].x, r[2].y, r[2].z}};
}

// Whether all corners of the triangle lie on the cube face with outward
// normal along +-axis.
bool OnFace(const std::vector<std::array<float, 3>>& corners, int axis, int side) {
  for (const auto& c : corners)
    if (c[axis] != static_cast<float>(side)) return false;
  return true;
}

// ---------------------------------------------------------------- spheres

TEST(Collision, FirstVertexHitLeavesTheHitRecordEmpty) {
  ResetMovement();
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  // A hit on a later triangle first: the record names it.
  ASSERT_EQ(SphereCollision(kCube, 0, 0.2, -1.1, 0.5, 0.5), 1);
  const int32_t later = GetHitTriangle();
  EXPECT_GT(later, 0);
  EXPECT_TRUE(OnFace(TriangleCorners(kCube, later), 0, -1));
  // A sphere around the first vertex of the triangle list hits at once and
  // leaves the record at -1, which reads as triangle 0.
  const MeshVertex& first = gfx3d_test::Mesh(kCube).frames[0].triangles[0];
  EXPECT_EQ(SphereCollision(kCube, 0, 0.01, first.x, first.y, first.z), 1);
  EXPECT_EQ(GetHitTriangle(), 0);
}

// One triangle: corners (0, 0), (100, 0), (0, 100) in the z = 0 plane.
struct SphereCase {
  const char* what;
  double x, y, z, r;
  int hit;
};

TEST(Collision, SphereAgainstOneTriangle) {
  ResetMovement();
  BuildStrips(kTriangle, {{{0, 0, 0}, {100, 0, 0}, {0, 100, 0}}}, 1);
  const SphereCase cases[] = {
      {"above the inside, reaching the plane", 20, 20, 0.5, 0.6, 1},
      {"above the inside, short of the plane", 20, 20, 0.5, 0.4, 0},
      {"below the inside, reaching the plane", 20, 20, -0.5, 0.6, 1},
      // The foot lies 0.3 outside the edge y = 0 (the edge subtends almost
      // 180 degrees there): the angle-sum rule counts it inside, although
      // the edge itself is 0.316 away.
      {"foot just outside an edge", 50, -0.3, 0.1, 0.2, 1},
      {"foot further outside, edge out of reach", 50, -1.0, 0.1, 0.2, 0},
      // A foot 1.0 outside fails the angle-sum rule; the edge decides, at
      // a distance of sqrt(1.01) = 1.005.
      {"edge within reach", 50, -1.0, 0.1, 1.01, 1},
      {"edge just out of reach", 50, -1.0, 0.1, 1.0, 0},
      // The corner (100, 0) lies sqrt(2) away.
      {"past the far corner, within reach", 101, -1, 0, 1.42, 1},
      {"past the far corner, out of reach", 101, -1, 0, 1.41, 0},
      {"far away", 300, 300, 0, 5, 0},
  };
  for (const SphereCase& c : cases) {
    EXPECT_EQ(SphereCollision(kTriangle, 0, c.r, c.x, c.y, c.z), c.hit) << c.what;
  }
}

// ---------------------------------------------------------------- rays

TEST(Collision, RayInsideAndBehindAClosedObject) {
  ResetMovement();
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  // From inside along +x: the far side ahead (the side behind at -1 loses
  // to any positive distance).
  EXPECT_NEAR(RayCollision(kCube, 0, 0, 0.2, 0.3, 1, 0, 0), 1.0, 1e-6);
  EXPECT_TRUE(OnFace(TriangleCorners(kCube, GetHitTriangle()), 0, 1));
  // The direction's length does not matter.
  EXPECT_NEAR(RayCollision(kCube, 0, 0.5, 0.2, 0.3, 0, -7, 0), 1.2, 1e-6);
  EXPECT_TRUE(OnFace(TriangleCorners(kCube, GetHitTriangle()), 1, -1));
  // Outside, pointing away: the nearest surface behind, negative.
  EXPECT_NEAR(RayCollision(kCube, 0, 5, 0.2, 0.3, 1, 0, 0), -4.0, 1e-6);
  EXPECT_TRUE(OnFace(TriangleCorners(kCube, GetHitTriangle()), 0, 1));
  // Outside, pointing at it: the near side.
  EXPECT_NEAR(RayCollision(kCube, 0, 5, 0.2, 0.3, -1, 0, 0), 4.0, 1e-6);
  // A line that misses: 0, and no triangle.
  EXPECT_EQ(RayCollision(kCube, 0, 5, 3, 0.3, -1, 0, 0), 0.0);
  EXPECT_EQ(GetHitTriangle(), 0);
  // A direction too short to normalise is used as it is: distances count
  // in its length (the step from 5 to the float next to 4.9999).
  const double step = static_cast<double>(5.0f + -1e-4f) - 5.0;
  EXPECT_NEAR(RayCollision(kCube, 0, 5, 0.2, 0.3, -1e-4, 0, 0), -4.0 / step, 1e-6);
  EXPECT_NEAR(-4.0 / step, 40000.0, 400.0);
}

TEST(Collision, MovementPlacesTheObjectWithoutUndoingScale) {
  Engine();
  BuildBox(kOffsetCube, 3, 0, 0, 1, 0xFFFFFF);  // x from 2 to 4
  // Rotation 90 degrees about z, then translation (10, 0, 0): the object's
  // face x = 4 is drawn at world y = 4, x = 10.
  SetMovementTranslation(10, 0, 0);
  AddMovementRotation(90, 0, 0, 1);
  EXPECT_EQ(SphereCollision(kOffsetCube, 0, 0.1, 10, 4.05, 0), 1);
  EXPECT_EQ(SphereCollision(kOffsetCube, 0, 0.1, 14.05, 0, 0), 0);
  EXPECT_NEAR(RayCollision(kOffsetCube, 0, 10, 20, 0, 0, -1, 0), 16.0, 1e-5);

  // Scale 2 is not undone: a world point p is tested at 2 p, so the face
  // x = 1 of the unit cube answers at world x = 0.5, not where the object
  // is drawn (x = 2) nor where it lies unscaled (x = 1).
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  SetMovementTranslation(0, 0, 0);
  SetMovementScale(2, 2, 2);
  EXPECT_EQ(SphereCollision(kCube, 0, 0.05, 0.51, 0, 0), 1);
  EXPECT_EQ(SphereCollision(kCube, 0, 0.05, 1.0, 0, 0), 0);
  EXPECT_EQ(SphereCollision(kCube, 0, 0.05, 2.0, 0, 0), 0);
  EXPECT_EQ(BoxCollision(kCube, 0, 0.5, 0, 0, 0.1, 0.1, 0.1), 1);
  EXPECT_EQ(BoxCollision(kCube, 0, 2.0, 0, 0, 0.1, 0.1, 0.1), 0);
  // The ray from x = 10 starts at 20 in the object and steps 2 per unit.
  EXPECT_NEAR(RayCollision(kCube, 0, 10, 0.1, 0.1, -1, 0, 0), 9.5, 1e-6);
  ResetMovement();
}

// ---------------------------------------------------------------- boxes

// A 0.5 box (half 0.25) placed along direction (dx, dy, dz) from the cube's
// centre, its near side `gap` beyond the cube's surface on every axis the
// direction uses (negative: overlapping).
struct BoxCase {
  int dx, dy, dz;
};

TEST(Collision, BoxAroundEveryFaceEdgeAndCornerOfACube) {
  ResetMovement();
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  BuildFineCube(kFineCube, 4);
  ASSERT_GE(gfx3d_test::Mesh(kFineCube).frames[0].triangles.count() / 3, collision::kIndexFromTriangles);
  std::vector<BoxCase> cases;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dz = -1; dz <= 1; ++dz)
        if (dx != 0 || dy != 0 || dz != 0) cases.push_back({dx, dy, dz});
  ASSERT_EQ(cases.size(), 26u);  // 6 faces, 12 edges, 8 corners
  for (int32_t id : {kCube, kFineCube}) {
    for (const BoxCase& c : cases) {
      const int d[3] = {c.dx, c.dy, c.dz};
      for (double gap : {-0.01, 0.0, 0.01}) {
        double centre[3];
        for (int k = 0; k < 3; ++k) centre[k] = d[k] * (1.25 + gap);
        const int expected = gap <= 0.0 ? 1 : 0;
        const std::string what = "object " + std::to_string(id) + " direction " + std::to_string(c.dx) + " " +
                                 std::to_string(c.dy) + " " + std::to_string(c.dz) + " gap " + std::to_string(gap);
        ASSERT_EQ(BoxCollision(id, 0, centre[0], centre[1], centre[2], 0.5, 0.5, 0.5), expected) << what;
        if (expected == 0) {
          EXPECT_EQ(GetHitTriangle(), 0) << what;
          continue;
        }
        // The triangle found lies on one of the faces the box touches.
        const auto corners = TriangleCorners(id, GetHitTriangle());
        bool onTouchedFace = false;
        for (int k = 0; k < 3; ++k)
          if (d[k] != 0 && OnFace(corners, k, d[k])) onTouchedFace = true;
        EXPECT_TRUE(onTouchedFace) << what;
      }
    }
    // Wholly inside touches nothing; a box around the whole cube touches.
    EXPECT_EQ(BoxCollision(id, 0, 0, 0, 0, 1.5, 1.5, 1.5), 0);
    EXPECT_EQ(BoxCollision(id, 0, 0.3, 0, 0, 2.5, 2.5, 2.5), 1);
    // A flat box (no depth) across a face.
    EXPECT_EQ(BoxCollision(id, 0, 0, 0, 1, 0.5, 0.5, 0), 1);
    EXPECT_EQ(BoxCollision(id, 0, 0, 0, 1.01, 0.5, 0.5, 0), 0);
  }
  // The corner boxes above touch the cube although their centres lie
  // farther from the cube's centre than sqrt(|a + b + e|^2 + radius^2):
  // the quick rejection must not compare those.
  const double half = std::sqrt(3 * 0.25 * 0.25), radius = std::sqrt(3.0);
  EXPECT_GT(std::sqrt(3.0) * 1.24, std::sqrt(half * half + radius * radius));
}

// ---------------------------------------------------------------- slots and bad input

TEST(Collision, SlotTestsCombineTheirMeshes) {
  ResetMovement();
  BuildBox(kTwoMeshes, 5, 0, 0, 1, 0xFFFFFF);  // x from 4 to 6
  BuildBox(kSpareMesh, 2, 0, 0, 1, 0xFFFFFF);  // x from 1 to 3
  MeshSlot& slot = gfx3d_test::Slot(kTwoMeshes);
  ASSERT_TRUE(slot.meshes.Append(std::move(gfx3d_test::Slot(kSpareMesh).meshes[0])));
  gfx3d_test::Slot(kSpareMesh).meshes.Free();
  gfx3d_test::Slot(kSpareMesh).valid = 0;
  slot.multiPart = 1;
  // The nearer box is the second mesh; its triangle is the hit record.
  EXPECT_DOUBLE_EQ(RayCollision(kTwoMeshes, 0, 0, 0.2, 0.1, 1, 0, 0), 1.0);
  const MeshVertex* hit = &slot.meshes[1].frames[0].triangles[GetHitTriangle() * 3];
  EXPECT_EQ(hit[0].x, 1.0f);
  EXPECT_EQ(hit[1].x, 1.0f);
  // Pointing away from both: the nearer surface behind is on the first mesh.
  EXPECT_DOUBLE_EQ(RayCollision(kTwoMeshes, 0, 8, 0.2, 0.1, 1, 0, 0), -2.0);
  hit = &slot.meshes[0].frames[0].triangles[GetHitTriangle() * 3];
  EXPECT_EQ(hit[0].x, 6.0f);
  // Spheres and boxes stop at the first mesh that reports a hit.
  EXPECT_EQ(SphereCollision(kTwoMeshes, 0, 0.2, 1.1, 0.5, 0.5), 1);
  EXPECT_EQ(BoxCollision(kTwoMeshes, 0, 6.1, 0, 0, 0.4, 0.4, 0.4), 1);
  EXPECT_EQ(BoxCollision(kTwoMeshes, 0, 3.5, 0, 0, 0.4, 0.4, 0.4), 0);
}

TEST(Collision, OutOfRangeAndBadProbesReportNoHit) {
  ResetMovement();
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  ClearLastError();
  EXPECT_EQ(SphereCollision(kCube, 1, 0.5, 1, 0, 0), 0);   // no frame 1
  EXPECT_EQ(SphereCollision(kCube, -1, 0.5, 1, 0, 0), 0);
  EXPECT_EQ(RayCollision(kCube, 3, 5, 0, 0, -1, 0, 0), 0.0);
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(BoxCollision(MESH_SLOT_COUNT, 0, 1, 0, 0, 1, 1, 1), 0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  ClearLastError();
  EXPECT_EQ(RayCollision(-1, 0, 5, 0, 0, -1, 0, 0), 0.0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  // An object that was begun but not ended has no triangles.
  BeginMesh(kSpareMesh);
  AddMeshVertex(0, 0, 0, 0, 0, 0xFFFFFF);
  AddMeshVertex(1, 0, 0, 0, 0, 0xFFFFFF);
  AddMeshVertex(0, 1, 0, 0, 0, 0xFFFFFF);
  EXPECT_EQ(SphereCollision(kSpareMesh, 0, 5, 0, 0, 0), 0);
  EndMesh();
  const double nan = std::nan("");
  for (int32_t id : {kCube, kFineCube}) {
    if (id == kFineCube) BuildFineCube(kFineCube, 4);
    EXPECT_EQ(SphereCollision(id, 0, nan, 1, 0, 0), 0);
    EXPECT_EQ(SphereCollision(id, 0, 0.5, nan, 0, 0), 0);
    EXPECT_EQ(BoxCollision(id, 0, nan, 0, 0, 1, 1, 1), 0);
    EXPECT_EQ(BoxCollision(id, 0, 1, 0, 0, nan, 1, 1), 0);
    EXPECT_EQ(RayCollision(id, 0, 5, 0, 0, nan, 0, 0), 0.0);
    EXPECT_EQ(RayCollision(id, 0, 5, 0, 0, 0, 0, 0), 0.0);  // no direction
  }
}

// ---------------------------------------------------------------- the index against the walk

// Random triangle lists with the awkward cases mixed in: slivers, corners
// that coincide, corners in a line, far-off coordinates; and a grid whose
// edges and corners many probes pass exactly through.
class RandomMeshes {
 public:
  explicit RandomMeshes(uint32_t seed) : rng_(seed) {}

  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  static void Add(MeshFrame& frame, const double p[3][3]) {
    for (int i = 0; i < 3; ++i) {
      MeshVertex r = MarkerRecord(0xFFFFFF);
      r.x = static_cast<float>(p[i][0]);
      r.y = static_cast<float>(p[i][1]);
      r.z = static_cast<float>(p[i][2]);
      ASSERT_TRUE(frame.triangles.Append(r));
    }
  }

  void Soup(MeshFrame& frame, int triangles, double offset) {
    for (int t = 0; t < triangles; ++t) {
      double p[3][3];
      const double size = std::exp(Uniform(std::log(0.01), std::log(3.0)));
      for (int k = 0; k < 3; ++k) p[0][k] = offset + Uniform(-10, 10);
      for (int i = 1; i < 3; ++i)
        for (int k = 0; k < 3; ++k) p[i][k] = p[0][k] + size * Uniform(-1, 1);
      switch (Pick(10)) {
        case 0:  // corners in a line
          for (int k = 0; k < 3; ++k) p[2][k] = p[0][k] + 0.37 * (p[1][k] - p[0][k]);
          break;
        case 1:  // two corners in one place
          for (int k = 0; k < 3; ++k) p[2][k] = p[1][k];
          break;
        case 2:  // a sliver
          for (int k = 0; k < 3; ++k) p[2][k] = p[0][k] + 0.5 * (p[1][k] - p[0][k]);
          p[2][Pick(3)] += size * 1e-6;
          break;
        default:
          break;
      }
      Add(frame, p);
    }
  }

  // n x n unit squares in the plane z = 0, two triangles each.
  static void Grid(MeshFrame& frame, int n) {
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        const double a[3][3] = {{1.0 * i, 1.0 * j, 0}, {i + 1.0, 1.0 * j, 0}, {1.0 * i, j + 1.0, 0}};
        const double b[3][3] = {{i + 1.0, 1.0 * j, 0}, {i + 1.0, j + 1.0, 0}, {1.0 * i, j + 1.0, 0}};
        Add(frame, a);
        Add(frame, b);
      }
  }

  // A point on or near a random triangle of the frame (exactly a corner a
  // third of the time).
  void NearPoint(const MeshFrame& frame, double out[3]) {
    const int32_t t = Pick(frame.triangles.count() / 3);
    const MeshVertex* r = &frame.triangles[t * 3];
    double b = Uniform(0, 1), c = Uniform(0, 1);
    if (b + c > 1) {
      b = 1 - b;
      c = 1 - c;
    }
    if (Pick(3) == 0) b = c = 0;
    const double jitter = Pick(2) == 0 ? 0.0 : 0.05;
    out[0] = r[0].x + b * (r[1].x - r[0].x) + c * (r[2].x - r[0].x) + jitter * Uniform(-1, 1);
    out[1] = r[0].y + b * (r[1].y - r[0].y) + c * (r[2].y - r[0].y) + jitter * Uniform(-1, 1);
    out[2] = r[0].z + b * (r[1].z - r[0].z) + c * (r[2].z - r[0].z) + jitter * Uniform(-1, 1);
  }

  // A point beside the middle of a random triangle's edge: 0.4% of the
  // edge's length outward in the plane, a third of that above it; the
  // radius reaches the plane but not the edge. False for flat triangles.
  bool EdgeProbe(const MeshFrame& frame, double out[3], double* radius) {
    const int32_t t = Pick(frame.triangles.count() / 3);
    const MeshVertex* r = &frame.triangles[t * 3];
    const int i = Pick(3);
    const MeshVertex& a = r[i];
    const MeshVertex& b = r[(i + 1) % 3];
    const MeshVertex& c = r[(i + 2) % 3];
    const double e[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
    const double f[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
    double n[3] = {e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2], e[0] * f[1] - e[1] * f[0]};
    const double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const double el = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    if (!(nl > 1e-3 * el * el)) return false;
    for (double& v : n) v /= nl;
    // Outward in the plane: n x e points towards c, so away is e x n.
    double o[3] = {e[1] * n[2] - e[2] * n[1], e[2] * n[0] - e[0] * n[2], e[0] * n[1] - e[1] * n[0]};
    for (double& v : o) v /= el;
    const double d = 0.004 * el;
    const double corner[3] = {a.x, a.y, a.z};
    for (int k = 0; k < 3; ++k) out[k] = corner[k] + e[k] / 2 + o[k] * d + n[k] * d / 3;
    *radius = d / 2;
    return true;
  }

  void Direction(double out[3]) {
    if (Pick(4) == 0) {  // along an axis
      for (int k = 0; k < 3; ++k) out[k] = 0;
      out[Pick(3)] = Pick(2) == 0 ? 1 : -1;
      return;
    }
    for (int k = 0; k < 3; ++k) out[k] = Uniform(-1, 1);
  }

 private:
  std::mt19937 rng_;
};

struct Tally {
  int hits = 0, misses = 0;
  void Note(bool hit) { (hit ? hits : misses) += 1; }
};

void CompareOnFrame(RandomMeshes& random, MeshFrame& frame, const char* what) {
  Tally spheres, boxes, rays;
  for (int probe = 0; probe < 300; ++probe) {
    double target[3], dir[3];
    random.NearPoint(frame, target);
    random.Direction(dir);

    // A sphere around a point near the mesh.
    const double radius = std::exp(random.Uniform(std::log(0.001), std::log(2.0)));
    const int32_t walkedSphere = collision::WalkSphere(frame, target, radius);
    ASSERT_EQ(collision::SearchSphere(frame, target, radius), walkedSphere) << what << " sphere " << probe;
    spheres.Note(walkedSphere >= 0);
    // A sphere just outside the middle of a triangle's edge, which only the
    // angle-sum rule takes (its foot lies within 0.8% of the edge's length
    // outside; the edge itself is out of reach).
    double edgeProbe[3], edgeRadius;
    if (random.EdgeProbe(frame, edgeProbe, &edgeRadius)) {
      ASSERT_EQ(collision::SearchSphere(frame, edgeProbe, edgeRadius),
                collision::WalkSphere(frame, edgeProbe, edgeRadius))
          << what << " edge sphere " << probe;
    }

    // A box with sheared edges (as a rotated, unevenly scaled level gives),
    // or along the axes, or flat.
    BoxProbe box;
    const int shape = random.Pick(3);
    for (int k = 0; k < 3; ++k) {
      box.centre[k] = target[k] + random.Uniform(-0.3, 0.3);
      for (int j = 0; j < 3; ++j)
        box.half[k][j] = shape == 0 ? random.Uniform(-0.3, 0.3) : (j == k ? random.Uniform(0.0, 0.4) : 0.0);
    }
    if (shape == 2) {  // flat
      const int k = random.Pick(3);
      for (int j = 0; j < 3; ++j) box.half[k][j] = 0.0;
    }
    const int32_t walkedBox = collision::WalkBox(frame, box);
    ASSERT_EQ(collision::SearchBox(frame, box), walkedBox) << what << " box " << probe;
    boxes.Note(walkedBox >= 0);

    // A line through the point (or just past it), from some way off.
    RayProbe ray;
    const double back = random.Uniform(-15, 15);
    for (int k = 0; k < 3; ++k) {
      ray.step[k] = dir[k];
      ray.origin[k] = target[k] - back * dir[k];
    }
    const RayHits walked = collision::WalkRay(frame, ray);
    const RayHits searched = collision::SearchRay(frame, ray);
    ASSERT_EQ(searched.positiveTriangle, walked.positiveTriangle) << what << " ray " << probe;
    ASSERT_EQ(searched.positive, walked.positive) << what << " ray " << probe;
    if (walked.positiveTriangle < 0) {
      ASSERT_EQ(searched.negativeTriangle, walked.negativeTriangle) << what << " ray " << probe;
      ASSERT_EQ(searched.negative, walked.negative) << what << " ray " << probe;
    }
    rays.Note(walked.positiveTriangle >= 0 || walked.negativeTriangle >= 0);
  }
  EXPECT_TRUE(collision::HasIndex(frame)) << what;
  // The probes must both hit and miss for the comparison to mean much.
  for (const Tally* t : {&spheres, &boxes, &rays}) {
    EXPECT_GE(t->hits, 30) << what;
    EXPECT_GE(t->misses, 10) << what;
  }
}

TEST(CollisionIndex, SearchesAnswerLikeTheWalk) {
  RandomMeshes random(20261209);
  {
    MeshFrame soup;
    random.Soup(soup, 2000, 0.0);
    CompareOnFrame(random, soup, "soup");
  }
  {
    MeshFrame far;
    random.Soup(far, 1000, 1e5);
    CompareOnFrame(random, far, "far-off soup");
  }
  {
    MeshFrame grid;
    RandomMeshes::Grid(grid, 30);
    CompareOnFrame(random, grid, "grid");
    // Straight down through a corner shared by six triangles, and along a
    // shared edge: the first of the equal hits in the list wins.
    RayProbe ray{{7, 9, 5}, {0, 0, -1}};
    const RayHits walked = collision::WalkRay(grid, ray);
    const RayHits searched = collision::SearchRay(grid, ray);
    EXPECT_EQ(walked.positive, 5.0);
    EXPECT_EQ(searched.positive, 5.0);
    EXPECT_EQ(searched.positiveTriangle, walked.positiveTriangle);
    ray = RayProbe{{7.5, 9, -5}, {0, 0, 1}};
    EXPECT_EQ(collision::SearchRay(grid, ray).positiveTriangle, collision::WalkRay(grid, ray).positiveTriangle);
  }
  {
    // A closed object: lines from inside give hits on both sides.
    gfx3d_test::BuildSphere(kSpareMesh, 3, 20, 30, 0xFFFFFF);
    MeshFrame& sphere = gfx3d_test::Mesh(kSpareMesh).frames[0];
    CompareOnFrame(random, sphere, "sphere");
  }
}

TEST(CollisionIndex, FollowsTheMeshWhenItChanges) {
  ResetMovement();
  BuildFineCube(kFineCube, 4);
  MeshFrame& frame = gfx3d_test::Mesh(kFineCube).frames[0];
  EXPECT_DOUBLE_EQ(RayCollision(kFineCube, 0, 5, 0.1, 0.2, -1, 0, 0), 4.0);
  EXPECT_TRUE(collision::HasIndex(frame));
  // Scaled in place: the next test sees the new positions.
  ScaleMesh(kFineCube, 2, 2, 2);
  EXPECT_FALSE(collision::HasIndex(frame));
  EXPECT_DOUBLE_EQ(RayCollision(kFineCube, 0, 5, 0.1, 0.2, -1, 0, 0), 3.0);
  EXPECT_EQ(SphereCollision(kFineCube, 0, 0.1, 2.05, 0.3, 0.3), 1);
  EXPECT_EQ(SphereCollision(kFineCube, 0, 0.1, 1.05, 0.3, 0.3), 0);
  // Built again under the same number.
  BuildFineCube(kFineCube, 4);
  EXPECT_DOUBLE_EQ(RayCollision(kFineCube, 0, 5, 0.1, 0.2, -1, 0, 0), 4.0);
  // With the index switched off the object tests walk, with the same answers.
  collision::IndexEnabled = false;
  EXPECT_DOUBLE_EQ(RayCollision(kFineCube, 0, 5, 0.1, 0.2, -1, 0, 0), 4.0);
  const int32_t walked = GetHitTriangle();
  collision::IndexEnabled = true;
  EXPECT_DOUBLE_EQ(RayCollision(kFineCube, 0, 5, 0.1, 0.2, -1, 0, 0), 4.0);
  EXPECT_EQ(GetHitTriangle(), walked);
}

// ---------------------------------------------------------------- drawn probes and picking

using testing_support::ReadPixels;
using testing_support::Rgba;
using testing_support::StartTestRuntime;

// Counts the pixels in a w x h area around (x, y) that are mostly red and
// mostly green.
struct ColourCount {
  int red = 0, green = 0;
};
ColourCount CountAround(int x, int y, int w, int h) {
  ColourCount n;
  for (const Rgba& p : ReadPixels(x - w / 2, y - h / 2, w, h)) {
    if (p.r > 150 && p.g < 80 && p.b < 80) ++n.red;
    if (p.g > 150 && p.r < 80 && p.b < 80) ++n.green;
  }
  return n;
}

TEST(Collision, DebugBuildsDrawTheProbes) {
  StartTestRuntime();
  BuildBox(kCube, 0, 0, 0, 1, 0xFFFFFF);
  const int32_t debugMode = Settings().DebugMode;
  Settings().DebugMode = 1;
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 30, 0, 0, 0);
  // A sphere probe of radius 3 at (-6, 0, 0) that misses, and one at
  // (6, 0, 0) of radius 5.5 that hits; a box probe 2 wide at (0, 6, 0)
  // that misses. Their outlines cross the x axis (and the box's lower
  // edge the y axis) here:
  const auto leftRim = gfx3d_test::EyeToScreen(-9, 0, -30);
  const auto rightRim = gfx3d_test::EyeToScreen(0.5, 0, -30);
  const auto boxEdge = gfx3d_test::EyeToScreen(0, 5, -30);
  EXPECT_EQ(SphereCollision(kCube, 0, 3, -6, 0, 0), 0);
  EXPECT_EQ(SphereCollision(kCube, 0, 5.5, 6, 0, 0), 1);
  EXPECT_EQ(BoxCollision(kCube, 0, 0, 6, 0, 2, 2, 2), 0);
  const ColourCount left = CountAround(leftRim.x, leftRim.y, 9, 9);
  const ColourCount right = CountAround(rightRim.x, rightRim.y, 9, 9);
  const ColourCount box = CountAround(boxEdge.x, boxEdge.y, 9, 9);
  End3D();
  // Without debug mode nothing is drawn.
  glClear(GL_COLOR_BUFFER_BIT);
  Settings().DebugMode = 0;
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 30, 0, 0, 0);
  EXPECT_EQ(SphereCollision(kCube, 0, 5.5, 6, 0, 0), 1);
  const ColourCount quiet = CountAround(rightRim.x, rightRim.y, 9, 9);
  End3D();
  Settings().DebugMode = debugMode;

  // A miss: thin green; a hit: wide red.
  EXPECT_GT(left.green, 0);
  EXPECT_EQ(left.red, 0);
  EXPECT_GE(right.red, 5 * 3);
  EXPECT_EQ(right.green, 0);
  EXPECT_GT(box.green, 0);
  EXPECT_LT(left.green, right.red);
  EXPECT_EQ(quiet.red + quiet.green, 0);
}

TEST(Picking, ProjectAndUnprojectAreInverses) {
  StartTestRuntime();
  Begin3D(10, 1600, 45);
  // Camera at the origin looking down -z: eye and world coincide.
  double sx, sy, sz;
  ASSERT_EQ(ProjectToScreen(3, -2, -40, sx, sy, sz), 1);
  const auto expected = gfx3d_test::EyeToScreen(3, -2, -40);
  EXPECT_NEAR(sx, expected.x, 0.5);
  EXPECT_NEAR(sy, expected.y, 0.5);
  EXPECT_GT(sz, 0.0);
  EXPECT_LT(sz, 1.0);
  // Depth 0 at the near plane, 1 at the far plane.
  ASSERT_EQ(ProjectToScreen(0, 0, -10, sx, sy, sz), 1);
  EXPECT_NEAR(sz, 0.0, 1e-6);
  EXPECT_NEAR(sx, 320.0, 1e-9);
  EXPECT_NEAR(sy, 240.0, 1e-9);
  ASSERT_EQ(ProjectToScreen(0, 0, -1600, sx, sy, sz), 1);
  EXPECT_NEAR(sz, 1.0, 1e-6);
  // A point in the eye's own plane has no screen position.
  EXPECT_EQ(ProjectToScreen(5, 5, 0, sx, sy, sz), 0);

  // From any camera: world -> screen -> world, and screen -> world ->
  // screen. Unprojection reads sy as a pixel row, the row whose lower edge
  // lies at sy + 1 in the projection's continuous measure from the top.
  SetCamera(40, 25, -60, 3, -4, 8);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-30, 30);
  for (int i = 0; i < 200; ++i) {
    const double p[3] = {coordinate(rng), coordinate(rng), coordinate(rng)};
    ASSERT_EQ(ProjectToScreen(p[0], p[1], p[2], sx, sy, sz), 1);
    double back[3];
    ASSERT_EQ(UnprojectFromScreen(sx, sy - 1, sz, back[0], back[1], back[2]), 1);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], p[k], 1e-6 * (1 + std::fabs(p[k]))) << i;

    double x, y, z, sx2, sy2, sz2;
    const double column = std::floor(sx) + 0.25, row = std::floor(sy);
    ASSERT_EQ(UnprojectFromScreen(column, row, sz, x, y, z), 1);
    ASSERT_EQ(ProjectToScreen(x, y, z, sx2, sy2, sz2), 1);
    EXPECT_NEAR(sx2, column, 1e-3);
    EXPECT_NEAR(sy2, row + 1, 1e-3);
    EXPECT_NEAR(sz2, sz, 1e-6);
  }
  End3D();
}

}  // namespace
