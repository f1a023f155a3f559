// Vertex normals (flat or smooth) and tangents of a closed mesh.
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx3d/internal/flat_hash.h"
#include "gfx3d/internal/mesh.h"

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

// The working lists of a normal computation; they are reused from frame to
// frame, and the previous tangent pair carries over from one to the next.
struct NormalWork {
  bool wantNormals = false;
  bool wantTangents = false;
  // Accumulators: normal, tangent and bitangent sums, three floats each.
  std::vector<float> accN, accT, accB;
  int32_t accCount = 0;
  std::vector<int32_t> recordAcc;   // per record: its accumulator, -1 for markers
  std::vector<int32_t> normalised;  // per accumulator: done for this frame
  std::vector<uint32_t> keyOf;
  // A triangle with degenerate texture coordinates adds the last good pair.
  float prevTangent[3] = {0, 0, 0};
  float prevBitangent[3] = {0, 0, 0};
};

// Each frame gets its own accumulators: a key met in an earlier frame must
// not add this frame's faces onto that frame's finished normals. Every vertex
// record gets its accumulator: one per key when smooth, one per record
// otherwise.
void AssignAccumulators(const MeshFrame& frame, bool smooth, NormalWork& w) {
  const int32_t count = frame.strips.count();
  w.recordAcc.assign(static_cast<size_t>(count), -1);
  w.accCount = 0;
  if (smooth) {
    w.keyOf.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      const MeshVertex& r = frame.strips[k];
      w.keyOf[static_cast<size_t>(k)] = SmoothNormalKey(r.x, r.y, r.z);
    }
    FlatHash32 keys(count / 2 + 16);
    constexpr int32_t kAhead = 16;  // lookups are cache misses: ask early
    for (int32_t k = 0; k < count; ++k) {
      if (k + kAhead < count) keys.Prefetch(w.keyOf[static_cast<size_t>(k + kAhead)]);
      if (IsReservedColour(frame.strips[k].colour)) continue;
      bool inserted = false;
      w.recordAcc[static_cast<size_t>(k)] = *keys.Insert(w.keyOf[static_cast<size_t>(k)], w.accCount, &inserted);
      if (inserted) ++w.accCount;
    }
  } else {
    for (int32_t k = 0; k < count; ++k)
      if (!IsReservedColour(frame.strips[k].colour)) w.recordAcc[static_cast<size_t>(k)] = w.accCount++;
  }
  w.accN.assign(static_cast<size_t>(w.accCount) * 3, 0.0f);
  if (w.wantTangents) {
    w.accT.assign(static_cast<size_t>(w.accCount) * 3, 0.0f);
    w.accB.assign(static_cast<size_t>(w.accCount) * 3, 0.0f);
  }
}

// Adds one triangle's tangent and bitangent (from positions p and texture
// coordinates tc) to the accumulators of its corners.
void AddTangents(const float p[3][3], const float tc[3][2], const int32_t win[3], NormalWork& w) {
  const float e1[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const float e2[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  const float du1 = tc[1][0] - tc[0][0], dv1 = tc[1][1] - tc[0][1];
  const float du2 = tc[2][0] - tc[0][0], dv2 = tc[2][1] - tc[0][1];
  const float det = du1 * dv2 - dv1 * du2;
  if (std::fabs(det) > 0.00001f) {
    for (int i = 0; i < 3; ++i) {
      w.prevTangent[i] = (dv2 * e1[i] - dv1 * e2[i]) / det;
      w.prevBitangent[i] = (du1 * e2[i] - du2 * e1[i]) / det;
    }
  }
  for (int j = 0; j < 3; ++j) {
    AddTo(&w.accT[static_cast<size_t>(win[j]) * 3], w.prevTangent);
    AddTo(&w.accB[static_cast<size_t>(win[j]) * 3], w.prevBitangent);
  }
}

// Walks the frame's strips and adds each triangle's face normal (and
// tangents) to the accumulators of its three corners.
void AccumulateFaces(const MeshFrame& frame, NormalWork& w) {
  const int32_t count = frame.strips.count();
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
    if (w.wantTangents) {
      tc[n][0] = r.u;
      tc[n][1] = r.v;
    }
    win[n] = w.recordAcc[static_cast<size_t>(k)];
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
    if (w.wantNormals) {
      AddTo(&w.accN[static_cast<size_t>(win[0]) * 3], face);
      AddTo(&w.accN[static_cast<size_t>(win[1]) * 3], face);
      AddTo(&w.accN[static_cast<size_t>(win[2]) * 3], face);
    }
    if (w.wantTangents) AddTangents(p, tc, win, w);
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
}

// Each accumulator is normalised once, then copied to every record that
// shares it, so shared positions end up with identical normals.
void StoreNormals(MeshFrame& frame, NormalWork& w) {
  const int32_t count = frame.strips.count();
  w.normalised.assign(static_cast<size_t>(w.accCount), 0);
  for (int32_t k = 0; k < count; ++k) {
    const int32_t index = w.recordAcc[static_cast<size_t>(k)];
    if (index < 0) continue;
    const size_t at = static_cast<size_t>(index) * 3;
    if (!w.normalised[static_cast<size_t>(index)]) {
      w.normalised[static_cast<size_t>(index)] = 1;
      if (w.wantNormals) NormaliseIfLong(&w.accN[at]);
      if (w.wantTangents) {
        NormaliseIfLong(&w.accT[at]);
        NormaliseIfLong(&w.accB[at]);
      }
    }
    MeshVertex& r = frame.strips[k];
    if (w.wantNormals) std::memcpy(&r.nx, &w.accN[at], sizeof(float) * 3);
    if (w.wantTangents) {
      std::memcpy(&r.tx, &w.accT[at], sizeof(float) * 3);
      std::memcpy(&r.bx, &w.accB[at], sizeof(float) * 3);
    }
  }
}

}  // namespace

bool ComputeMeshNormals(MeshObject& mesh, bool wantNormals, bool smooth, bool wantTangents) {
  if (mesh.frames.count() == 0 || mesh.frames[0].strips.count() == 0) return false;
  if (mesh.normalsDone) wantNormals = false;
  if (mesh.tangentsDone) wantTangents = false;
  if (!wantNormals && !wantTangents) return false;
  mesh.normalsDone = 1;

  NormalWork work;
  work.wantNormals = wantNormals;
  work.wantTangents = wantTangents;
  for (MeshFrame& frame : mesh.frames) {
    AssignAccumulators(frame, smooth, work);
    AccumulateFaces(frame, work);
    StoreNormals(frame, work);
  }
  if (wantTangents) mesh.tangentsDone = 1;
  mesh.BuildTriangles();
  return true;
}
