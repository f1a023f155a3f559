// The hashed lookups of mesh construction (smooth-normal keys, welding,
// shadow-edge neighbours) against straightforward linear searches written
// here, on random meshes; and the frame-count message through a real
// debugger.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh.h"
#include "gfx3d_test_util.h"
#include "support/child_process.h"

namespace {

using gfx3d_test::Engine;
using gfx3d_test::Mesh;

// Strips over a coarse lattice so that positions repeat across strips, some
// moved by less than the weld tolerance and some by a little more, some far
// from the origin and negative.
void BuildRandomMesh(int32_t id, uint32_t seed, int32_t strips) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> cell(-3, 3);
  std::uniform_int_distribution<int> length(3, 12);
  std::uniform_real_distribution<double> unit(0, 1);
  Engine();
  SetMeshNormalMode(2);
  BeginMesh(id);
  const double offsets[3] = {0.0, -1000.25, 4096.5};
  for (int32_t s = 0; s < strips; ++s) {
    if (s > 0) NewMeshStrip();
    const double offset = offsets[s % 3];
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
      double p[3] = {cell(rng) * 0.5 + offset, cell(rng) * 0.5, cell(rng) * 0.5 - offset};
      const double r = unit(rng);
      for (double& c : p) {
        if (r < 0.2)
          c += (unit(rng) - 0.5) * 6e-6;  // welds
        else if (r < 0.3)
          c += (unit(rng) < 0.5 ? -1 : 1) * 2.5e-5;  // just too far
      }
      AddMeshVertex(p[0], p[1], p[2], unit(rng), unit(rng), 0xFFFFFF);
    }
  }
  EndMesh();
}

std::vector<int32_t> LinearWeld(const MeshVertex* r, int32_t count) {
  std::vector<int32_t> out(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    out[static_cast<size_t>(i)] = i;
    for (int32_t j = 0; j < i; ++j) {
      if (std::fabs(r[i].x - r[j].x) < 0.00001f && std::fabs(r[i].y - r[j].y) < 0.00001f &&
          std::fabs(r[i].z - r[j].z) < 0.00001f) {
        out[static_cast<size_t>(i)] = j;
        break;
      }
    }
  }
  return out;
}

uint32_t LinearKey(float x, float y, float z) {
  const long double v = static_cast<long double>(x) * 256 + static_cast<long double>(y) * 65536 +
                        static_cast<long double>(z) * 16777216;
  return static_cast<uint32_t>(static_cast<int64_t>(v));
}

// Smooth normals of one frame's strip list with the accumulator searched from
// its last entry backwards for each key.
std::vector<float> LinearSmoothNormals(const GrowList<MeshVertex>& strips) {
  std::vector<uint32_t> keys;
  std::vector<float> acc;  // 3 per accumulator
  std::vector<int32_t> recordAcc(static_cast<size_t>(strips.count()), -1);
  float p[3][3] = {};
  int32_t win[3] = {0, 0, 0};
  int32_t n = 0, parity = 0, mode = MARK_TRIANGLE_LIST;
  for (int32_t k = 0; k < strips.count(); ++k) {
    const MeshVertex& r = strips[k];
    if (static_cast<uint32_t>(r.colour) >= 0xFFFFFFFCu) {
      n = 0;
      parity = 0;
      mode = r.colour;
      continue;
    }
    p[n][0] = r.x;
    p[n][1] = r.y;
    p[n][2] = r.z;
    const uint32_t key = LinearKey(r.x, r.y, r.z);
    int32_t found = -1;
    for (int32_t a = static_cast<int32_t>(keys.size()) - 1; a >= 0; --a)
      if (keys[static_cast<size_t>(a)] == key) {
        found = a;
        break;
      }
    if (found < 0) {
      found = static_cast<int32_t>(keys.size());
      keys.push_back(key);
      acc.insert(acc.end(), {0.0f, 0.0f, 0.0f});
    }
    recordAcc[static_cast<size_t>(k)] = found;
    win[n] = found;
    if (++n < 3) continue;
    parity ^= 1;
    n = 2;
    if (mode == MARK_TRIANGLE_LIST) {
      n = 0;
      parity = 0;
    }
    const float a[3] = {p[2][0] - p[1][0], p[2][1] - p[1][1], p[2][2] - p[1][2]};
    const float b[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    float face[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    if (mode == MARK_TRIANGLE_STRIP && parity == 0)
      for (float& f : face) f = -f;
    for (int w = 0; w < 3; ++w)
      for (int c = 0; c < 3; ++c) acc[static_cast<size_t>(win[w]) * 3 + c] += face[c];
    std::memcpy(p[0], p[1], sizeof p[0]);
    std::memcpy(p[1], p[2], sizeof p[1]);
    win[0] = win[1];
    win[1] = win[2];
  }
  for (size_t a = 0; a < keys.size(); ++a) {
    float* v = &acc[a * 3];
    const float len2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    if (len2 > 1e-7f) {
      const float len = std::sqrt(len2);
      v[0] /= len;
      v[1] /= len;
      v[2] /= len;
    }
  }
  std::vector<float> out(static_cast<size_t>(strips.count()) * 3, 0.0f);
  for (int32_t k = 0; k < strips.count(); ++k)
    if (recordAcc[static_cast<size_t>(k)] >= 0)
      std::memcpy(&out[static_cast<size_t>(k) * 3], &acc[static_cast<size_t>(recordAcc[static_cast<size_t>(k)]) * 3],
                  sizeof(float) * 3);
  return out;
}

TEST(HashedConstruction, MatchesLinearSearchesOnRandomMeshes) {
  int32_t flatsSeen = 0;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    const int32_t id = 40;
    BuildRandomMesh(id, seed, 30 + static_cast<int32_t>(seed) * 20);
    MeshObjectX& mesh = Mesh(id);
    ASSERT_EQ(MeshSlotAt(id)->valid, 1);

    // Smooth normals, bit for bit.
    const GrowList<MeshVertex>& strips = mesh.frames[0].strips;
    const std::vector<float> expected = LinearSmoothNormals(strips);
    int32_t mismatches = 0;
    for (int32_t k = 0; k < strips.count(); ++k)
      if (std::memcmp(&strips[k].nx, &expected[static_cast<size_t>(k) * 3], sizeof(float) * 3) != 0) ++mismatches;
    EXPECT_EQ(mismatches, 0);

    // Welding.
    const GrowList<MeshVertex>& tri = mesh.frames[0].triangles;
    std::vector<int32_t> welded(static_cast<size_t>(tri.count()));
    WeldPositions(tri.data(), tri.count(), welded.data());
    const std::vector<int32_t> reference = LinearWeld(tri.data(), tri.count());
    EXPECT_EQ(welded, reference);
    int32_t weldedAway = 0;
    for (int32_t i = 0; i < tri.count(); ++i) weldedAway += welded[static_cast<size_t>(i)] != i;
    EXPECT_GT(weldedAway, tri.count() / 4);  // the meshes do exercise welding

    // Neighbours across welded edges: the lowest other triangle with the
    // edge, leaving out triangles two of whose corners weld together; those
    // name themselves.
    BuildShadowEdges(mesh);
    const int32_t triangles = tri.count() / 3;
    ASSERT_EQ(mesh.shadowEdges.count(), triangles * 3);
    auto edgeOf = [&](int32_t t, int32_t e) {
      const int32_t a = reference[static_cast<size_t>(t * 3 + e)];
      const int32_t b = reference[static_cast<size_t>(t * 3 + (e + 1) % 3)];
      return std::make_pair(std::min(a, b), std::max(a, b));
    };
    auto flat = [&](int32_t t) {
      const int32_t* c = &reference[static_cast<size_t>(t * 3)];
      return c[0] == c[1] || c[1] == c[2] || c[0] == c[2];
    };
    int32_t flats = 0;
    for (int32_t t = 0; t < triangles; ++t)
      for (int32_t e = 0; e < 3; ++e) {
        if (flat(t)) {
          flats += e == 0;
          EXPECT_EQ(mesh.shadowEdges[t * 3 + e].neighbour, t) << "triangle " << t << " edge " << e;
          continue;
        }
        int32_t neighbour = -1;
        for (int32_t u = 0; u < triangles && neighbour < 0; ++u) {
          if (u == t || flat(u)) continue;
          for (int32_t f = 0; f < 3; ++f)
            if (edgeOf(u, f) == edgeOf(t, e)) {
              neighbour = u;
              break;
            }
        }
        EXPECT_EQ(mesh.shadowEdges[t * 3 + e].neighbour, neighbour) << "triangle " << t << " edge " << e;
      }
    EXPECT_LT(flats, triangles / 2);
    flatsSeen += flats;
  }
  EXPECT_GT(flatsSeen, 0);  // the meshes do have triangles without area
}

TEST(HashedConstruction, WeldingOfOddCoordinates) {
  // Infinite and NaN coordinates weld to nothing, not even to an exact copy;
  // -0 and 0 are within the tolerance; chains of near records weld to the
  // first one each is near, not transitively.
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float points[][3] = {{inf, 0, 0}, {inf, 0, 0}, {nan, 1, 1}, {nan, 1, 1}, {0, 0, 0},      {-0.0f, 0, 0},
                             {0, 0, 8e-6f}, {0, 0, 1.6e-5f}, {0, 0, 1.6e-5f}, {1e30f, 0, 0}, {1e30f, 0, 0}};
  std::vector<MeshVertex> records;
  for (const auto& p : points) {
    MeshVertex r = MarkerRecord(0);
    r.x = p[0];
    r.y = p[1];
    r.z = p[2];
    records.push_back(r);
  }
  std::vector<int32_t> welded(records.size());
  WeldPositions(records.data(), static_cast<int32_t>(records.size()), welded.data());
  EXPECT_EQ(welded, LinearWeld(records.data(), static_cast<int32_t>(records.size())));
  EXPECT_EQ(welded, (std::vector<int32_t>{0, 1, 2, 3, 4, 4, 4, 6, 6, 9, 9}));
}

TEST(HashedConstruction, SmoothKeysAreTheTruncatedWeightedSum) {
  EXPECT_EQ(SmoothNormalKey(1, 0, 0), 256u);
  EXPECT_EQ(SmoothNormalKey(0, 1, 0), 65536u);
  EXPECT_EQ(SmoothNormalKey(0, 0, 1), 16777216u);
  EXPECT_EQ(SmoothNormalKey(0.5f, -0.25f, 0), static_cast<uint32_t>(128 - 16384));
  EXPECT_EQ(SmoothNormalKey(0.001f, 0, 0), 0u);  // 0.256 truncates to 0
  EXPECT_EQ(SmoothNormalKey(300, 0, 0), 76800u);
  EXPECT_EQ(SmoothNormalKey(0, 0, 300), static_cast<uint32_t>(int64_t{300} * 16777216));  // low 32 bits
  EXPECT_EQ(SmoothNormalKey(std::nanf(""), 0, 0), 0u);
  // Positions that differ only below 1/256 share a key, and so one normal.
  EXPECT_EQ(SmoothNormalKey(2.001f, 0, 0), SmoothNormalKey(2.0001f, 0, 0));
}

TEST(FrameCheck, MismatchedFramesReportToTheDebugger) {
  const gfx3d_test::DebuggedRun run = gfx3d_test::RunUnderDebugger("gfx3d_frames_program", {}, 120);
  if (!run.skip.empty()) GTEST_SKIP() << run.skip;
  const testing_support::ChildResult& result = run.result;
  const std::vector<std::string>& texts = run.texts;
  ASSERT_EQ(texts.size(), 1u) << result.out << result.err;
  EXPECT_EQ(texts[0], "Frame 2 has 6 nodes, but must have (like frame 0) 5 nodes");
  // The program reports what it saw after EndMesh.
  EXPECT_NE(result.out.find("valid 0"), std::string::npos) << result.out;
}

}  // namespace
