// Mesh construction without GL: strips to triangles, colours, normals, the
// object table's rules, frames, scaling, GrowList growth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/basic_array.h"
#include "core/core.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/grow_list.h"
#include "gfx3d/internal/mesh.h"
#include "gfx3d_test_util.h"

namespace {

using gfx3d_test::BuildStrips;
using gfx3d_test::Engine;
using gfx3d_test::Mesh;
using gfx3d_test::Slot;
using gfx3d_test::Vtx;

struct P {
  float x, y, z;
};

std::vector<P> TrianglePositions(int32_t id, int32_t frame = 0) {
  std::vector<P> out;
  for (const MeshVertex& r : Mesh(id).frames[frame].triangles) out.push_back({r.x, r.y, r.z});
  return out;
}

bool Same(const P& a, const Vtx& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST(MeshStrips, QuadAndLongStripFollowTheParityRule) {
  const Vtx A{0, 0, 0}, B{0, 1, 0}, C{1, 0, 0}, D{1, 1, 0}, E{2, 0, 0}, F{2, 1, 0};
  BuildStrips(10, {{A, B, C, D}});
  ASSERT_EQ(Slot(10).valid, 1);
  std::vector<P> t = TrianglePositions(10);
  ASSERT_EQ(t.size(), 6u);
  const Vtx quad[6] = {A, B, C, C, B, D};
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(Same(t[i], quad[i])) << "record " << i;

  BuildStrips(10, {{A, B, C, D, E, F}});
  t = TrianglePositions(10);
  ASSERT_EQ(t.size(), 12u);
  const Vtx strip[12] = {A, B, C, C, B, D, C, D, E, E, D, F};
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(Same(t[i], strip[i])) << "record " << i;
  // Every record of a triangle list is a vertex, never a marker.
  for (const MeshVertex& r : Mesh(10).frames[0].triangles) EXPECT_FALSE(IsReservedColour(r.colour));
}

TEST(MeshStrips, NoTriangleSpansAMarker) {
  const Vtx A{0, 0, 0}, B{0, 1, 0}, C{1, 0, 0}, D{5, 0, 0}, E{5, 1, 0}, F{6, 0, 0}, G{6, 1, 0};
  BuildStrips(11, {{A, B, C}, {D, E, F, G}});
  const std::vector<P> t = TrianglePositions(11);
  ASSERT_EQ(t.size(), 9u);  // one triangle, then two
  for (size_t i = 0; i < t.size(); i += 3) {
    const bool first = t[i].x < 3, second = t[i + 1].x < 3, third = t[i + 2].x < 3;
    EXPECT_TRUE(first == second && second == third) << "triangle " << i / 3 << " mixes the strips";
  }
}

TEST(MeshStrips, ShortStripsAndTheOpeningMarker) {
  BuildStrips(12, {{{0, 0, 0}, {1, 0, 0}}});
  EXPECT_EQ(Slot(12).valid, 1);  // marker + 2 vertices: accepted
  EXPECT_EQ(Mesh(12).frames[0].triangles.count(), 0);

  BuildStrips(13, {{{0, 0, 0}}});
  EXPECT_EQ(Slot(13).valid, 0);  // marker + 1 vertex: discarded, memory freed
  EXPECT_EQ(Mesh(13).frames.count(), 0);
  EXPECT_EQ(Mesh(13).frames.capacity(), 0);

  // A new object starts with one strip marker: all fields 0, colour white.
  Engine();
  BeginMesh(14);
  const MeshVertex& m = Mesh(14).frames[0].strips[0];
  EXPECT_EQ(m.colour, MARK_TRIANGLE_STRIP);
  EXPECT_EQ(m.x, 0.0f);
  EXPECT_EQ(m.u, 0.0f);
  EXPECT_EQ(m.r, 1.0f);
  EXPECT_EQ(m.a, 1.0f);
  EndMesh();
}

TEST(MeshStrips, ColoursAndStoredTextureCoordinates) {
  BuildStrips(15, {{{0, 0, 0, 0.5f, 0.25f, 0x0000FF}, {0, 1, 0, 0, 0, 0xFFFFFF}, {1, 0, 0, 0, 0, 0x336699}}});
  const GrowList<MeshVertex>& s = Mesh(15).frames[0].strips;
  ASSERT_EQ(s.count(), 4);
  ASSERT_EQ(Mesh(15).frames[0].triangles.count(), 3);
  EXPECT_EQ(s[1].r, 1.0f);
  EXPECT_EQ(s[1].g, 0.0f);
  EXPECT_EQ(s[1].b, 0.0f);
  EXPECT_EQ(s[1].a, 1.0f);
  EXPECT_EQ(s[1].v, -0.25f);
  EXPECT_EQ(s[1].u, 0.5f);
  EXPECT_FLOAT_EQ(s[3].r, 0x99 / 255.0f);
  EXPECT_FLOAT_EQ(s[3].g, 0x66 / 255.0f);
  EXPECT_FLOAT_EQ(s[3].b, 0x33 / 255.0f);
  // The reserved codes -4..-1 give white (and are strip markers to the
  // triangle walk, so -1 is no colour for a drawn vertex).
  Engine();
  BeginMesh(17);
  AddMeshVertex(0, 0, 0, 0, 0, -1);
  AddMeshVertex(0, 0, 0, 0, 0, -4);
  const GrowList<MeshVertex>& w = Mesh(17).frames[0].strips;
  for (int i : {1, 2})
    for (float c : {w[i].r, w[i].g, w[i].b, w[i].a}) EXPECT_EQ(c, 1.0f);
  EndMesh();
  // Colours other than white (and the reserved codes) need a colour array.
  EXPECT_EQ(Mesh(15).hasColours, 1);
  BuildStrips(16, {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}});
  EXPECT_EQ(Mesh(16).hasColours, 0);

  // The query reads the same records back: x, y, z, u, stored v, code, normal.
  BasicArray<double> row;
  GetMeshTriangle(15, 0, 0, row);
  ASSERT_EQ(row.d1, 3);
  ASSERT_EQ(row.d2, 9);
  EXPECT_EQ(ArrayElement(row, 0, 3), 0.5);
  EXPECT_EQ(ArrayElement(row, 0, 4), -0.25);
  EXPECT_EQ(ArrayElement(row, 0, 5), 0x0000FF);
  EXPECT_EQ(ArrayElement(row, 1, 1), 1.0);
  EXPECT_EQ(ArrayElement(row, 2, 5), 0x336699);
  const MeshVertex& r0 = Mesh(15).frames[0].triangles[0];
  EXPECT_EQ(ArrayElement(row, 0, 8), r0.nz);
  // Beyond the last triangle nothing is copied.
  ArrayElement(row, 0, 0) = 77;
  GetMeshTriangle(15, 0, 1, row);
  EXPECT_EQ(ArrayElement(row, 0, 0), 0.0);  // dimensioned again (zeroed), not filled
  GetMeshTriangle(15, 7, 0, row);           // no such frame: nothing, no crash
  EXPECT_EQ(ArrayElement(row, 1, 1), 0.0);
}

// Two strips meeting at the edge x = 0 at an angle (a roof); the shared
// positions are records of different strips.
void BuildRoof(int32_t id, int32_t mode) {
  BuildStrips(id, {{{-1, 0, 1}, {-1, 0, 0}, {0, 1, 1}, {0, 1, 0}}, {{0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}}},
              mode);
}

TEST(MeshNormals, SmoothModeSharesNormalsAtSharedPositionsFlatModeDoesNot) {
  BuildRoof(20, 2);
  const GrowList<MeshVertex>& s = Mesh(20).frames[0].strips;
  ASSERT_EQ(s.count(), 10);
  // Records 3, 4 (first strip) and 6, 7 (second strip) are the ridge.
  EXPECT_EQ(std::memcmp(&s[3].nx, &s[6].nx, sizeof(float) * 3), 0);
  EXPECT_EQ(std::memcmp(&s[4].nx, &s[7].nx, sizeof(float) * 3), 0);
  // Ridge record 3 is in both triangles of the left slope (face normal
  // (-1, 1, 0) each) and in one of the right slope ((1, 1, 0)).
  EXPECT_NEAR(s[3].nx, -1 / std::sqrt(10.0), 1e-6);
  EXPECT_NEAR(s[3].ny, 3 / std::sqrt(10.0), 1e-6);
  EXPECT_EQ(s[3].nz, 0.0f);
  const float len = std::sqrt(s[1].nx * s[1].nx + s[1].ny * s[1].ny + s[1].nz * s[1].nz);
  EXPECT_NEAR(len, 1.0f, 1e-6);

  BuildRoof(21, 1);
  const GrowList<MeshVertex>& f = Mesh(21).frames[0].strips;
  EXPECT_NE(std::memcmp(&f[3].nx, &f[6].nx, sizeof(float) * 3), 0);
  // Flat: each slope keeps its own face normal, pointing up and out.
  EXPECT_LT(f[3].nx, 0.0f);
  EXPECT_GT(f[6].nx, 0.0f);
  EXPECT_GT(f[3].ny, 0.0f);
}

TEST(MeshNormals, NormalModeIsTakenModuloThree) {
  Engine3D& e = Engine();
  SetMeshNormalMode(4);
  EXPECT_EQ(e.normalMode, 1);
  SetMeshNormalMode(-1);
  EXPECT_EQ(e.normalMode, -1);
  BeginMesh(22);
  AddMeshVertex(0, 0, 0, 0, 0, 0);
  AddMeshVertex(0, 1, 0, 0, 0, 0);
  AddMeshVertex(1, 0, 0, 0, 0, 0);
  EndMesh();
  EXPECT_EQ(Slot(22).valid, 1);
  EXPECT_EQ(Mesh(22).normalsDone, 0);
  const MeshVertex& r = Mesh(22).frames[0].triangles[0];
  EXPECT_EQ(r.nx, 0.0f);
  EXPECT_EQ(r.ny, 0.0f);
  EXPECT_EQ(r.nz, 0.0f);
  SetMeshNormalMode(2);
}

TEST(MeshTable, FreshEngineAndOutOfRangeNumbers) {
  Renderer* renderer = Engine().renderer;
  DestroyEngine3D();
  CreateEngine3D(*renderer);
  EXPECT_EQ(FindFreeMeshId(), 0);
  BuildStrips(0, {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}});
  BuildStrips(1, {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}});
  EXPECT_EQ(FindFreeMeshId(), 2);
  EXPECT_EQ(TheEngine3D()->slots.count(), MESH_SLOT_COUNT);

  // Numbers outside 0..4095 are refused and leave nothing open.
  for (double bad : {-1.0, 4096.0, 1e12, std::nan("")}) {
    LastErrorCode = 0;
    BeginMesh(bad);
    EXPECT_EQ(LastErrorCode, 7) << bad;
    EXPECT_EQ(TheEngine3D()->meshBeingBuilt, -1);
    AddMeshVertex(1, 2, 3, 0, 0, 0);
    NewMeshStrip();
    SelectMeshFrame(3);
    EndMesh();
    LastErrorCode = 0;
    ScaleMesh(bad, 2, 2, 2);
    EXPECT_EQ(LastErrorCode, 7);
    BasicArray<double> a;
    GetMeshTriangle(bad, 0, 0, a);
    EXPECT_EQ(a.d1, 3);
  }
  EXPECT_EQ(Mesh(1).frames[0].strips.count(), 4);  // untouched by the stray vertices

  // Reopening a valid object frees it until it is closed again.
  BeginMesh(0);
  EXPECT_EQ(Slot(0).valid, 0);
  EXPECT_EQ(FindFreeMeshId(), 0);
  EndMesh();
  EXPECT_EQ(FindFreeMeshId(), 0);  // only the opening marker: discarded
}

TEST(MeshFrames, FramesMustMatchFrameZero) {
  Engine();
  BeginMesh(30);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0xFFFFFF);
  SelectMeshFrame(2);  // frames 1 and 2 appear, each starting with the marker
  EXPECT_EQ(Mesh(30).frames.count(), 3);
  EXPECT_EQ(Mesh(30).frames[1].strips.count(), 0);
  EXPECT_EQ(Mesh(30).frames[2].strips.count(), 1);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i, i % 2, 2, 0, 0, 0xFFFFFF);
  SelectMeshFrame(1);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i, i % 2, 1, 0, 0, 0xFFFFFF);
  SelectMeshFrame(-4);  // ignored
  EXPECT_EQ(TheEngine3D()->currentFrame, 1);
  EndMesh();
  ASSERT_EQ(Slot(30).valid, 1);
  EXPECT_EQ(Mesh(30).frames[2].triangles.count(), 6);
  EXPECT_EQ(Mesh(30).frames[2].triangles[0].z, 2.0f);
  EXPECT_EQ(Mesh(30).frames[1].triangles[0].z, 1.0f);

  BeginMesh(31);
  for (int i = 0; i < 4; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0xFFFFFF);
  SelectMeshFrame(1);
  for (int i = 0; i < 3; ++i) AddMeshVertex(i, i % 2, 1, 0, 0, 0xFFFFFF);
  EndMesh();
  EXPECT_EQ(Slot(31).valid, 0);
  EXPECT_EQ(Mesh(31).frames[0].triangles.count(), 0);  // nothing was built

  // A frame number no program can mean is refused instead of filling memory.
  BeginMesh(32);
  LastErrorCode = 0;
  SelectMeshFrame(2e9);
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_EQ(Mesh(32).frames.count(), 1);
  EndMesh();
}

TEST(MeshFrames, BoundsAndScaling) {
  BuildStrips(33, {{{-2, 0, 0}, {-2, 4, 0}, {2, 0, 0}, {2, 4, 0}}});
  const MeshFrame& f = Mesh(33).frames[0];
  // Triangles (A B C) (C B D): the mean of the six records.
  const float cx = (-2 - 2 + 2 + 2 - 2 + 2) / 6.0f, cy = (0 + 4 + 0 + 0 + 4 + 4) / 6.0f;
  EXPECT_FLOAT_EQ(f.centre[0], cx);
  EXPECT_FLOAT_EQ(f.centre[1], cy);
  EXPECT_FLOAT_EQ(f.radius, std::sqrt((2 - cx) * (2 - cx) + (4 - cy) * (4 - cy)));

  const MeshVertex before = Mesh(33).frames[0].strips[2];
  ScaleMesh(33, 2, 3, 0.5);
  const MeshVertex& after = Mesh(33).frames[0].strips[2];
  EXPECT_EQ(after.x, before.x * 2);
  EXPECT_EQ(after.y, before.y * 3);
  const float d = std::sqrt(4.0f + 9.0f + 0.25f);
  EXPECT_FLOAT_EQ(after.nz, before.nz * (0.5f / d));
  const MeshVertex& t = Mesh(33).frames[0].triangles[1];  // B
  EXPECT_EQ(t.y, 12.0f);
  EXPECT_FLOAT_EQ(f.centre[1], cy * 3);
}

// The bounds made right after the triangles are built (from the strip
// records that are corners) are those of the triangle list itself, bit for
// bit: lists with incomplete triples, strips and fans too short for a
// triangle, the list mode before any marker, signed zeros and a NaN.
TEST(MeshFrames, BoundsFromTheStripsEqualBoundsFromTheTriangles) {
  // Tokens: 'L', 'S', 'F' markers, 'v' a vertex, 'z' a vertex at signed
  // zeros, 'n' a vertex with a NaN coordinate.
  const char* const layouts[] = {
      "Svvvvv", "SvvSvvvv", "LvvvvvvvFvvvvv", "vvvvSvvv", "FvvLvvSv", "SvzvzvLzvvz", "Svvnvv", "vvvnvvvv",
  };
  uint32_t seed = 7;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<float>((seed >> 8) % 2001) / 100.0f - 10.0f;
  };
  // And a long run of tokens drawn at random, vertices five times as often.
  std::string random;
  for (int i = 0; i < 400; ++i) {
    seed = seed * 69069u + 1u;
    random += "LSFvvvvvz"[(seed >> 16) % 9];
  }
  std::vector<std::string> all(std::begin(layouts), std::end(layouts));
  all.push_back(random);
  for (const std::string& layout : all) {
    MeshObjectX mesh;
    MeshFrame* frame = mesh.frames.AppendNew();
    ASSERT_NE(frame, nullptr);
    for (const char token : layout) {
      MeshVertex r = MarkerRecord(token == 'L' ? MARK_TRIANGLE_LIST : token == 'S' ? MARK_TRIANGLE_STRIP
                                                                                     : MARK_TRIANGLE_FAN);
      if (token == 'v' || token == 'z' || token == 'n') {
        SetRecordColour(r, 0x00FF00);
        r.x = next();
        r.y = token == 'z' ? (seed & 1 ? -0.0f : 0.0f) : next();
        r.z = token == 'z' ? (seed & 2 ? -0.0f : 0.0f) : token == 'n' ? std::nanf("") : next();
      }
      frame->strips.Append(r);
    }
    BuildColourPalette(mesh);
    mesh.BuildTriangles();
    ComputeFrameBounds(mesh, true);
    float centre[3], radius = mesh.frames[0].radius, low[3], high[3];
    std::memcpy(centre, mesh.frames[0].centre, sizeof centre);
    std::memcpy(low, mesh.frames[0].boxMin, sizeof low);
    std::memcpy(high, mesh.frames[0].boxMax, sizeof high);
    ComputeFrameBounds(mesh, false);
    const MeshFrame& f = mesh.frames[0];
    EXPECT_EQ(std::memcmp(centre, f.centre, sizeof centre), 0) << layout;
    EXPECT_EQ(std::memcmp(&radius, &f.radius, sizeof radius), 0) << layout;
    EXPECT_EQ(std::memcmp(low, f.boxMin, sizeof low), 0) << layout;
    EXPECT_EQ(std::memcmp(high, f.boxMax, sizeof high), 0) << layout;
    if (layout != "FvvLvvSv") {
      EXPECT_GT(f.triangles.count(), 0) << layout;
    }
  }
}

TEST(MeshPalette, ManyColoursStillTriangulate) {
  // 300 distinct colours: palette indexes are one byte and wrap, which must
  // not turn a vertex into a strip marker.
  std::vector<Vtx> strip;
  for (int i = 0; i < 300; ++i) strip.push_back({static_cast<float>(i), static_cast<float>(i % 2), 0, 0, 0, i + 1});
  BuildStrips(34, {strip}, 1);
  const MeshObjectX& m = Mesh(34);
  EXPECT_EQ(m.palette.count(), 301);  // the marker and 300 colours
  EXPECT_EQ(m.palette[0], MARK_TRIANGLE_STRIP);
  EXPECT_EQ(m.frames[0].triangles.count(), 298 * 3);
  EXPECT_EQ(m.frames[0].strips[300].paletteIndex, 300 & 255);
  EXPECT_EQ(m.frames[0].strips[5].paletteIndex, 5);
}

TEST(GrowListRule, GrowthStepsAndFailure) {
  GrowList<int32_t> list;  // grow step 128, minimum 512
  list.Append(1);
  EXPECT_EQ(list.capacity(), 512);
  for (int i = 1; i < 512; ++i) list.Append(i);
  EXPECT_EQ(list.capacity(), 512);
  list.Append(512);
  EXPECT_EQ(list.capacity(), 128 * (513 / 128 + 1));
  EXPECT_EQ(list[512], 512);
  EXPECT_EQ(list[100], 100);

  GrowList<int32_t> small(8, 8);
  for (int i = 0; i < 9; ++i) small.Append(i);
  EXPECT_EQ(small.capacity(), 16);

  // A block that cannot be had empties the list and drops the record.
  GrowList<MeshVertex> full(1, 1);
  EXPECT_TRUE(full.Append(MarkerRecord(MARK_TRIANGLE_LIST)));
  GrowListFailures = 1;
  EXPECT_FALSE(full.Append(MarkerRecord(MARK_TRIANGLE_LIST)));
  EXPECT_EQ(full.count(), 0);
  EXPECT_EQ(full.capacity(), 0);
  EXPECT_TRUE(full.Append(MarkerRecord(MARK_TRIANGLE_FAN)));  // and works again afterwards
  EXPECT_EQ(full[0].colour, MARK_TRIANGLE_FAN);
  // Sizes beyond int32 records are refused without asking for memory.
  GrowList<MeshVertex> huge(128, INT32_MAX);
  EXPECT_TRUE(huge.Reserve(4));
  EXPECT_FALSE(huge.Reserve(int64_t{INT32_MAX} + 1));
  EXPECT_EQ(huge.capacity(), 4);

  // A failing vertex list inside a mesh loses its records but nothing else.
  Engine();
  BeginMesh(35);
  for (int i = 0; i < 600; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0);
  ASSERT_EQ(Mesh(35).frames[0].strips.capacity(), 640);
  for (int i = 0; i < 39; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0);  // fills 640
  GrowListFailures = 1;
  AddMeshVertex(0, 0, 0, 0, 0, 0);
  EXPECT_EQ(Mesh(35).frames[0].strips.count(), 0);
  for (int i = 0; i < 3; ++i) AddMeshVertex(i, i % 2, 0, 0, 0, 0);
  EndMesh();
  EXPECT_EQ(Slot(35).valid, 1);  // three vertices, no marker: a triangle list of one
  GrowListFailures = 0;
}

}  // namespace
