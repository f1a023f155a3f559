// What happens to a mesh when it is closed: the colour palette, vertex normals
// and tangents, the triangle lists, bounding spheres; and the welded edge list
// the shadow volumes are built from.
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx3d/internal/flat_hash.h"
#include "gfx3d/mesh.h"
#include "gl/gl_ext.h"

MeshVertex MarkerRecord(int32_t code) {
  MeshVertex m;
  std::memset(&m, 0, sizeof m);
  m.colour = code;
  m.r = m.g = m.b = m.a = 1.0f;
  return m;
}

void PackedColourFloats(int32_t colour, float rgba[4]) {
  if (IsReservedColour(colour)) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 1.0f;
    return;
  }
  const uint32_t c = static_cast<uint32_t>(colour);
  rgba[0] = static_cast<float>(c & 255u) / 255.0f;
  rgba[1] = static_cast<float>((c >> 8) & 255u) / 255.0f;
  rgba[2] = static_cast<float>((c >> 16) & 255u) / 255.0f;
  rgba[3] = 1.0f;
}

// ---------------------------------------------------------------- palette

void BuildColourPalette(MeshObject& mesh) {
  mesh.palette.Clear();
  // Codes are unique in the palette, so a hash from code to position gives
  // the same answer as searching it from the front.
  FlatHash32 positions(64);
  // Neighbouring records mostly share their colour.
  int32_t lastCode = 0, lastIndex = -1;
  for (MeshFrame& frame : mesh.frames) {
    for (MeshVertex& record : frame.strips) {
      if (record.colour == lastCode && lastIndex >= 0) {
        record.paletteIndex = static_cast<uint8_t>(lastIndex);
        continue;
      }
      const uint32_t key = static_cast<uint32_t>(record.colour);
      int32_t position;
      if (int32_t* at = positions.Find(key)) {
        position = *at;
      } else {
        position = mesh.palette.count();
        if (!mesh.palette.Append(record.colour)) {
          positions = FlatHash32(64);  // the palette was emptied
          record.paletteIndex = 0;
          lastIndex = -1;
          continue;
        }
        bool inserted = false;
        positions.Insert(key, position, &inserted);
      }
      record.paletteIndex = static_cast<uint8_t>(position & 255);
      lastCode = record.colour;
      lastIndex = position & 255;
    }
  }
}

// ---------------------------------------------------------------- triangles

namespace {

// Strip walking decides on the record's own code. Looking the code up through
// the one-byte palette index instead would turn the 257th colour of a mesh
// into a marker.
inline bool IsStripMarker(int32_t code) {
  return code == MARK_TRIANGLE_LIST || code == MARK_TRIANGLE_STRIP || code == MARK_TRIANGLE_FAN;
}

int64_t CountTriangles(const GrowList<MeshVertex>& strips) {
  int64_t triangles = 0;
  int32_t run = 0;
  for (const MeshVertex& r : strips) {
    if (IsStripMarker(r.colour)) {
      run = 0;
    } else if (++run > 2) {
      ++triangles;
    }
  }
  return triangles;
}

// Calls emit(a, b, c) for each triangle of a strip list, in order.
template <typename Emit>
void WalkTriangles(const GrowList<MeshVertex>& strips, Emit emit) {
  const MeshVertex* w[3] = {nullptr, nullptr, nullptr};
  int32_t n = 0;
  int32_t mode = MARK_TRIANGLE_LIST;
  int32_t parity = 0;
  for (const MeshVertex& r : strips) {
    if (IsStripMarker(r.colour)) {
      n = 0;
      mode = r.colour;
      if (mode == MARK_TRIANGLE_STRIP) parity = 0;
      continue;
    }
    w[n++] = &r;
    if (n < 3) continue;
    emit(*w[0], *w[1], *w[2]);
    if (mode == MARK_TRIANGLE_STRIP) {
      parity ^= 1;
      n = 2;
      if (parity == 1)
        w[0] = w[2];  // (w2, w1)
      else
        w[1] = w[2];  // (w0, w2)
    } else if (mode == MARK_TRIANGLE_FAN) {
      n = 2;
      w[1] = w[2];
    } else {
      n = 0;
    }
  }
}

// Also leaves the mean of the triangle records' positions in frame.centre,
// summed in the order the records are appended (as ComputeFrameBounds sums
// them), which saves the bounds a pass over the list.
void TriangulateFrame(MeshFrame& frame) {
  const int64_t count = CountTriangles(frame.strips);
  frame.triangles.Clear();
  frame.triangles.Reserve(count * 3);
  double sum[3] = {0, 0, 0};
  auto emit = [&frame, &sum](const MeshVertex& r) {
    sum[0] += r.x;
    sum[1] += r.y;
    sum[2] += r.z;
    frame.triangles.Append(r);
  };
  WalkTriangles(frame.strips, [&emit](const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
    emit(a);
    emit(b);
    emit(c);
  });
  frame.triangles.SetGrowth(8, 8);
  const int32_t records = frame.triangles.count();
  for (int i = 0; i < 3; ++i) frame.centre[i] = records > 0 ? static_cast<float>(sum[i] / records) : 0.0f;
}

}  // namespace

void MeshObjectX::BuildTriangles() {
  for (MeshFrame& frame : frames) TriangulateFrame(frame);
  // The draw buffer becomes a copy of frame 0's triangles again; the copy is
  // made by the first draw that needs it (most objects are drawn straight
  // from their triangle list and never do).
  drawBuffer.Free();
  if (frames.count() > 0) drawBuffer.SetGrowth(frames[0].triangles.growStep(), frames[0].triangles.minimum());
  hasColours = 0;
  for (int32_t code : palette) {
    if (code != 0x00FFFFFF && !IsReservedColour(code)) {
      hasColours = 1;
      break;
    }
  }
}

bool EnsureDrawBuffer(MeshObject& mesh) {
  if (mesh.drawBuffer.count() > 0) return true;
  if (mesh.frames.count() == 0 || mesh.frames[0].triangles.count() == 0) return false;
  const GrowList<MeshVertex>& first = mesh.frames[0].triangles;
  const int64_t capacity = first.capacity() <= 512 ? 512 : (first.capacity() / 128 + 1) * 128;
  if (!mesh.drawBuffer.AssignCopy(first, capacity)) return false;
  mesh.drawBuffer.SetGrowth(first.growStep(), first.minimum());
  return true;
}

// ---------------------------------------------------------------- normals

uint32_t SmoothNormalKey(float x, float y, float z) {
  const long double v = static_cast<long double>(x) * 256.0L + static_cast<long double>(y) * 65536.0L +
                        static_cast<long double>(z) * 16777216.0L;
  // Out of range (and NaN) converts to the integer-indefinite value, whose
  // low 32 bits are 0.
  if (!(v > -9.2e18L && v < 9.2e18L)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(v)));
}

namespace {

inline void AddTo(float dst[3], const float v[3]) {
  dst[0] += v[0];
  dst[1] += v[1];
  dst[2] += v[2];
}

inline void NormaliseIfLong(float v[3]) {
  const float len2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  if (len2 > 1e-7f) {
    const float len = std::sqrt(len2);
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

}  // namespace

bool ComputeMeshNormals(MeshObject& mesh, bool wantNormals, bool smooth, bool wantTangents) {
  if (mesh.frames.count() == 0 || mesh.frames[0].strips.count() == 0) return false;
  if (mesh.normalsDone) wantNormals = false;
  if (mesh.tangentsDone) wantTangents = false;
  if (!wantNormals && !wantTangents) return false;
  mesh.normalsDone = 1;

  // Accumulators: normal, tangent and bitangent sums, three floats each.
  std::vector<float> accN, accT, accB;
  std::vector<int32_t> recordAcc;    // per record: its accumulator, -1 for markers
  std::vector<int32_t> normalised;   // per accumulator: done for this frame
  float prevTangent[3] = {0, 0, 0};
  float prevBitangent[3] = {0, 0, 0};

  std::vector<uint32_t> keyOf;
  for (MeshFrame& frame : mesh.frames) {
    const int32_t count = frame.strips.count();
    // Each frame gets its own accumulators: a key met in an earlier frame
    // must not add this frame's faces onto that frame's finished normals.
    // First every vertex record gets its accumulator (one per key when
    // smooth, one per record otherwise), then the faces are walked.
    recordAcc.assign(static_cast<size_t>(count), -1);
    int32_t accCount = 0;
    if (smooth) {
      keyOf.resize(static_cast<size_t>(count));
      for (int32_t k = 0; k < count; ++k) {
        const MeshVertex& r = frame.strips[k];
        keyOf[static_cast<size_t>(k)] = SmoothNormalKey(r.x, r.y, r.z);
      }
      FlatHash32 keys(count / 2 + 16);
      constexpr int32_t kAhead = 16;  // lookups are cache misses: ask early
      for (int32_t k = 0; k < count; ++k) {
        if (k + kAhead < count) keys.Prefetch(keyOf[static_cast<size_t>(k + kAhead)]);
        if (IsReservedColour(frame.strips[k].colour)) continue;
        bool inserted = false;
        recordAcc[static_cast<size_t>(k)] = *keys.Insert(keyOf[static_cast<size_t>(k)], accCount, &inserted);
        if (inserted) ++accCount;
      }
    } else {
      for (int32_t k = 0; k < count; ++k)
        if (!IsReservedColour(frame.strips[k].colour)) recordAcc[static_cast<size_t>(k)] = accCount++;
    }
    accN.assign(static_cast<size_t>(accCount) * 3, 0.0f);
    if (wantTangents) {
      accT.assign(static_cast<size_t>(accCount) * 3, 0.0f);
      accB.assign(static_cast<size_t>(accCount) * 3, 0.0f);
    }

    float p[3][3] = {};
    float tc[3][2] = {};
    int32_t win[3] = {0, 0, 0};
    int32_t n = 0;
    int32_t parity = 0;
    int32_t mode = MARK_TRIANGLE_LIST;
    for (int32_t k = 0; k < count; ++k) {
      const MeshVertex& r = frame.strips[k];
      if (IsReservedColour(r.colour)) {
        n = 0;
        parity = 0;
        mode = r.colour;
        continue;
      }
      p[n][0] = r.x;
      p[n][1] = r.y;
      p[n][2] = r.z;
      if (wantTangents) {
        tc[n][0] = r.u;
        tc[n][1] = r.v;
      }
      win[n] = recordAcc[static_cast<size_t>(k)];
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
      if (mode == MARK_TRIANGLE_STRIP && parity == 0) {
        face[0] = -face[0];
        face[1] = -face[1];
        face[2] = -face[2];
      }
      if (wantNormals) {
        AddTo(&accN[static_cast<size_t>(win[0]) * 3], face);
        AddTo(&accN[static_cast<size_t>(win[1]) * 3], face);
        AddTo(&accN[static_cast<size_t>(win[2]) * 3], face);
      }
      if (wantTangents) {
        const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const float du1 = tc[1][0] - tc[0][0], dv1 = tc[1][1] - tc[0][1];
        const float du2 = tc[2][0] - tc[0][0], dv2 = tc[2][1] - tc[0][1];
        const float det = du1 * dv2 - dv1 * du2;
        if (std::fabs(det) > 0.00001f) {
          for (int i = 0; i < 3; ++i) {
            prevTangent[i] = (dv2 * e1[i] - dv1 * e2[i]) / det;
            prevBitangent[i] = (du1 * e2[i] - du2 * e1[i]) / det;
          }
        }
        for (int j = 0; j < 3; ++j) {
          AddTo(&accT[static_cast<size_t>(win[j]) * 3], prevTangent);
          AddTo(&accB[static_cast<size_t>(win[j]) * 3], prevBitangent);
        }
      }
      // Slide the window by one vertex; a fan keeps its centre.
      if (mode != MARK_TRIANGLE_FAN) {
        std::memcpy(p[0], p[1], sizeof p[0]);
        std::memcpy(tc[0], tc[1], sizeof tc[0]);
        win[0] = win[1];
      }
      std::memcpy(p[1], p[2], sizeof p[1]);
      std::memcpy(tc[1], tc[2], sizeof tc[1]);
      win[1] = win[2];
    }

    // Each accumulator is normalised once, then copied to every record that
    // shares it, so shared positions end up with identical normals.
    normalised.assign(static_cast<size_t>(accCount), 0);
    for (int32_t k = 0; k < count; ++k) {
      const int32_t index = recordAcc[static_cast<size_t>(k)];
      if (index < 0) continue;
      const size_t at = static_cast<size_t>(index) * 3;
      if (!normalised[static_cast<size_t>(index)]) {
        normalised[static_cast<size_t>(index)] = 1;
        if (wantNormals) NormaliseIfLong(&accN[at]);
        if (wantTangents) {
          NormaliseIfLong(&accT[at]);
          NormaliseIfLong(&accB[at]);
        }
      }
      MeshVertex& r = frame.strips[k];
      if (wantNormals) std::memcpy(&r.nx, &accN[at], sizeof(float) * 3);
      if (wantTangents) {
        std::memcpy(&r.tx, &accT[at], sizeof(float) * 3);
        std::memcpy(&r.bx, &accB[at], sizeof(float) * 3);
      }
    }
  }
  if (wantTangents) mesh.tangentsDone = 1;
  mesh.BuildTriangles();
  return true;
}

// ---------------------------------------------------------------- bounds

namespace {

inline void FarthestFrom(const float c[3], const MeshVertex& r, float* radius) {
  const float dx = r.x - c[0], dy = r.y - c[1], dz = r.z - c[2];
  const float d2 = dx * dx + dy * dy + dz * dz;
  const float d = d2 < 1e-7f ? 0.0f : std::sqrt(d2);
  if (d > *radius) *radius = d;
}

struct Box {
  float low[3], high[3];
  bool empty = true;
  void Add(const MeshVertex& r) {
    const float p[3] = {r.x, r.y, r.z};
    for (int k = 0; k < 3; ++k) {
      if (empty || p[k] < low[k]) low[k] = p[k];
      if (empty || p[k] > high[k]) high[k] = p[k];
    }
    empty = false;
  }
  void Store(MeshFrame& frame) const {
    for (int k = 0; k < 3; ++k) {
      frame.boxMin[k] = empty ? 0.0f : low[k];
      frame.boxMax[k] = empty ? 0.0f : high[k];
    }
  }
};

}  // namespace

void ComputeFrameBounds(MeshObject& mesh, bool fresh) {
  for (MeshFrame& frame : mesh.frames) {
    const GrowList<MeshVertex>& t = frame.triangles;
    float c[3] = {0, 0, 0};
    float radius = 0.0f;
    Box box;
    if (fresh) {
      // The triangle records are copies of strip records: the strip list,
      // a third of the size, holds the same positions.
      std::memcpy(c, frame.centre, sizeof c);
      WalkTriangles(frame.strips, [&c, &radius, &box](const MeshVertex& a, const MeshVertex& b, const MeshVertex& d) {
        FarthestFrom(c, a, &radius);
        FarthestFrom(c, b, &radius);
        FarthestFrom(c, d, &radius);
        box.Add(a);
        box.Add(b);
        box.Add(d);
      });
    } else {
      if (t.count() > 0) {
        double sum[3] = {0, 0, 0};
        for (const MeshVertex& r : t) {
          sum[0] += r.x;
          sum[1] += r.y;
          sum[2] += r.z;
        }
        for (int i = 0; i < 3; ++i) c[i] = static_cast<float>(sum[i] / t.count());
      }
      for (const MeshVertex& r : t) {
        FarthestFrom(c, r, &radius);
        box.Add(r);
      }
    }
    box.Store(frame);
    frame.centre[0] = c[0];
    frame.centre[1] = c[1];
    frame.centre[2] = c[2];
    frame.radius = std::fabs(radius);
  }
}

// ---------------------------------------------------------------- release

void ReleaseMeshBuffers(MeshObject& mesh) {
  if (gl::DeleteBuffersARB != nullptr) {
    if (mesh.staticBuffer != 0) gl::DeleteBuffersARB(1, &mesh.staticBuffer);
    if (mesh.streamBuffer != 0) gl::DeleteBuffersARB(1, &mesh.streamBuffer);
  }
  mesh.staticBuffer = 0;
  mesh.streamBuffer = 0;
}

void ReleaseMesh(MeshObject& mesh, bool freeMemory) {
  auto empty = [freeMemory](auto& list) {
    if (freeMemory)
      list.Free();
    else
      list.Clear();
  };
  empty(mesh.palette);
  empty(mesh.drawBuffer);
  for (MeshFrame& frame : mesh.frames) {
    empty(frame.strips);
    empty(frame.triangles);
  }
  if (freeMemory) mesh.frames.Free();
  empty(mesh.shadowEdges);
  empty(mesh.facing);
  mesh.shadowEdges.SetGrowth(64, 64);
  mesh.facing.SetGrowth(64, 64);
  ReleaseMeshBuffers(mesh);
  if (mesh.celTexture != 0) glDeleteTextures(1, &mesh.celTexture);
  mesh.celTexture = 0;
}

// ---------------------------------------------------------------- welding

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
  struct Pair {
    int32_t first, second;
  };
  std::vector<Pair> pairs;
  pairs.reserve(static_cast<size_t>(triangles) * 2);
  FlatHash edges(static_cast<int64_t>(triangles) * 2);
  std::vector<int32_t> edgePair(static_cast<size_t>(triangles) * 3);
  for (int32_t t = 0; t < triangles; ++t) {
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
    const Pair& p = pairs[static_cast<size_t>(edgePair[static_cast<size_t>(i)])];
    const int32_t t = i / 3;
    mesh.shadowEdges.Append(ShadowEdge{p.first != t ? p.first : p.second, 0});
  }
  for (int32_t t = 0; t < triangles; ++t) mesh.facing.Append(0);
}
