// The welded edge list of a mesh that its stencil shadow volumes are built from.
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx3d/internal/flat_hash.h"
#include "gfx3d/internal/mesh.h"

namespace {

constexpr float kWeldTolerance = 0.00001f;
// Cells a little wider than the tolerance: records that weld lie in the same
// or a neighbouring cell on every axis.
constexpr double kCellsPerUnit = 65536.0;

inline int64_t CellOf(float v) {
  const double c = std::floor(static_cast<double>(v) * kCellsPerUnit);
  if (c > 4.0e18) return INT64_C(4000000000000000000);
  if (c < -4.0e18) return -INT64_C(4000000000000000000);
  return static_cast<int64_t>(c);
}

inline uint64_t CellKey(int64_t cx, int64_t cy, int64_t cz) {
  uint64_t h = FlatHash::Mix(static_cast<uint64_t>(cx));
  h = FlatHash::Mix(h ^ static_cast<uint64_t>(cy) * 0x9E3779B97F4A7C15ULL);
  return FlatHash::Mix(h ^ static_cast<uint64_t>(cz) * 0xC2B2AE3D27D4EB4FULL);
}

inline bool Welds(const MeshVertex& a, const MeshVertex& b) {
  return std::fabs(a.x - b.x) < kWeldTolerance && std::fabs(a.y - b.y) < kWeldTolerance &&
         std::fabs(a.z - b.z) < kWeldTolerance;
}

inline uint64_t ExactKey(const MeshVertex& r) {
  uint32_t bits[3];
  std::memcpy(bits, &r.x, sizeof bits);
  return CellKey(bits[0], bits[1], bits[2]);
}

inline bool SamePosition(const MeshVertex& a, const MeshVertex& b) {
  return std::memcmp(&a.x, &b.x, sizeof(float) * 3) == 0;
}

}  // namespace

void WeldPositions(const MeshVertex* records, int32_t count, int32_t* weldedIndex) {
  // A record at exactly the position of an earlier one welds where that one
  // did (the earlier one is itself within the tolerance, and every record
  // before it that is within it was considered for it). So only the first
  // record at each position searches, and only those enter the cells: the
  // smallest match is always a first occurrence.
  //
  // Each cell keeps its records in ascending order (a chain through `next`),
  // so the first match in a chain is that cell's smallest; the smallest over
  // the 27 neighbouring cells is the answer.
  FlatHash exact(count / 2 + 16);
  FlatHash cells(count / 4 + 16);
  std::vector<int32_t> heads;
  std::vector<int32_t> tails;
  std::vector<int32_t> next(static_cast<size_t>(count), -1);
  for (int32_t i = 0; i < count; ++i) {
    const MeshVertex& r = records[i];
    weldedIndex[i] = i;
    // A coordinate that is NaN or infinite differs from everything by NaN or
    // infinity, itself included: such a record welds to nothing.
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.z)) continue;
    bool inserted = false;
    const int32_t first = *exact.Insert(ExactKey(r), i, &inserted);
    if (!inserted && SamePosition(records[first], r)) {
      weldedIndex[i] = weldedIndex[first];
      continue;
    }
    // A new position (or, rarely, another position under the same hash).
    const int64_t cx = CellOf(r.x), cy = CellOf(r.y), cz = CellOf(r.z);
    int32_t best = i;
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dz = -1; dz <= 1; ++dz) {
          const int32_t* cell = cells.Find(CellKey(cx + dx, cy + dy, cz + dz));
          if (cell == nullptr) continue;
          for (int32_t j = heads[static_cast<size_t>(*cell)]; j >= 0 && j < best; j = next[static_cast<size_t>(j)]) {
            if (Welds(r, records[j])) {
              best = j;
              break;
            }
          }
        }
    weldedIndex[i] = best;
    int32_t* cell = cells.Insert(CellKey(cx, cy, cz), static_cast<int32_t>(heads.size()), &inserted);
    if (inserted) {
      heads.push_back(i);
      tails.push_back(i);
    } else {
      next[static_cast<size_t>(tails[static_cast<size_t>(*cell)])] = i;
      tails[static_cast<size_t>(*cell)] = i;
    }
  }
}

void BuildShadowEdges(MeshObject& mesh) {
  ForgetShadowVolume(mesh, false);
  mesh.shadowEdges.Clear();
  mesh.facing.Clear();
  if (mesh.frames.count() == 0) return;
  const GrowList<MeshVertex>& tri = mesh.frames[0].triangles;
  const int32_t triangles = tri.count() / 3;
  if (triangles == 0) return;
  std::vector<int32_t> welded(static_cast<size_t>(tri.count()));
  WeldPositions(tri.data(), tri.count(), welded.data());

  // For every welded edge (either direction) the two lowest-numbered
  // triangles that have it; an edge's neighbour is the other one of them.
  // Triangles without area stay out: the strips round a pole share each of
  // its edges between two real triangles and a flat one, and a real
  // triangle paired with the flat one would take the edge between two lit
  // triangles for a silhouette, a lone wall in the volume.
  struct Pair {
    int32_t first, second;
  };
  constexpr int32_t kFlat = -1;
  std::vector<Pair> pairs;
  pairs.reserve(static_cast<size_t>(triangles) * 2);
  FlatHash edges(static_cast<int64_t>(triangles) * 2);
  std::vector<int32_t> edgePair(static_cast<size_t>(triangles) * 3);
  for (int32_t t = 0; t < triangles; ++t) {
    const int32_t* corner = &welded[static_cast<size_t>(t) * 3];
    if (corner[0] == corner[1] || corner[1] == corner[2] || corner[0] == corner[2]) {
      for (int32_t e = 0; e < 3; ++e) edgePair[static_cast<size_t>(t * 3 + e)] = kFlat;
      continue;
    }
    for (int32_t e = 0; e < 3; ++e) {
      const uint32_t a = static_cast<uint32_t>(welded[static_cast<size_t>(t * 3 + e)]);
      const uint32_t b = static_cast<uint32_t>(welded[static_cast<size_t>(t * 3 + (e + 1) % 3)]);
      const uint64_t key = a < b ? (static_cast<uint64_t>(a) << 32 | b) : (static_cast<uint64_t>(b) << 32 | a);
      bool inserted = false;
      int32_t* at = edges.Insert(key, static_cast<int32_t>(pairs.size()), &inserted);
      if (inserted) {
        pairs.push_back(Pair{t, -1});
      } else {
        Pair& p = pairs[static_cast<size_t>(*at)];
        if (p.second < 0 && p.first != t) p.second = t;
      }
      edgePair[static_cast<size_t>(t * 3 + e)] = *at;
    }
  }
  if (!mesh.shadowEdges.Reserve(static_cast<int64_t>(triangles) * 3) || !mesh.facing.Reserve(triangles)) {
    mesh.shadowEdges.Free();
    mesh.facing.Free();
    return;
  }
  for (int32_t i = 0; i < triangles * 3; ++i) {
    const int32_t t = i / 3;
    const int32_t pair = edgePair[static_cast<size_t>(i)];
    if (pair == kFlat) {
      mesh.shadowEdges.Append(ShadowEdge{t, 0});
      continue;
    }
    const Pair& p = pairs[static_cast<size_t>(pair)];
    mesh.shadowEdges.Append(ShadowEdge{p.first != t ? p.first : p.second, 0});
  }
  for (int32_t t = 0; t < triangles; ++t) mesh.facing.Append(0);
}
