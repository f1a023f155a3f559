// What happens to a mesh when it is closed: the palette, the triangle lists, the bounds; and its release.
#include <cmath>
#include <cstring>

#include "gfx3d/internal/flat_hash.h"
#include "gfx3d/internal/mesh.h"
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

void SetRecordColour(MeshVertex& record, int32_t colour) {
  float rgba[4];
  PackedColourFloats(colour, rgba);
  record.colour = colour;
  record.r = rgba[0];
  record.g = rgba[1];
  record.b = rgba[2];
  record.a = rgba[3];
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

// Calls visit(r) once for each record of a strip list that is a corner of
// at least one of its triangles, in order: in a strip or fan every record of
// a run of three or more, in a list the records of its complete triples.
template <typename Visit>
void VisitTriangleRecords(const GrowList<MeshVertex>& strips, Visit visit) {
  const MeshVertex* pending[2] = {nullptr, nullptr};
  int32_t run = 0;
  int32_t mode = MARK_TRIANGLE_LIST;
  for (const MeshVertex& r : strips) {
    if (IsStripMarker(r.colour)) {
      run = 0;
      mode = r.colour;
      continue;
    }
    const int32_t at = mode == MARK_TRIANGLE_LIST ? run % 3 : run;
    ++run;
    if (at < 2) {
      pending[at] = &r;
    } else {
      if (at == 2) {
        visit(*pending[0]);
        visit(*pending[1]);
      }
      visit(r);
    }
  }
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
  frame.collisionIndex.reset();
  frame.triangles.Clear();
  double sum[3] = {0, 0, 0};
  if (count * 3 <= INT32_MAX && EmptyWithRoom(frame.triangles, count * 3)) {
    // The block holds every triangle (the count takes every run for a strip,
    // so lists may make fewer): the records are written straight in.
    MeshVertex* const first = frame.triangles.data();
    MeshVertex* out = first;
    WalkTriangles(frame.strips, [&out, &sum](const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
      for (const MeshVertex* r : {&a, &b, &c}) {
        sum[0] += r->x;
        sum[1] += r->y;
        sum[2] += r->z;
        std::memcpy(static_cast<void*>(out++), r, sizeof(MeshVertex));
      }
    });
    frame.triangles.SetCountUnchecked(static_cast<int32_t>(out - first));
  } else {
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
  }
  frame.triangles.SetGrowth(8, 8);
  const int32_t records = frame.triangles.count();
  for (int i = 0; i < 3; ++i) frame.centre[i] = records > 0 ? static_cast<float>(sum[i] / records) : 0.0f;
}

}  // namespace

void MeshObjectX::BuildTriangles() {
  for (MeshFrame& frame : frames) TriangulateFrame(frame);
  ForgetShadowVolume(*this, false);
  // The draw buffer becomes a copy of frame 0's triangles again; the copy is
  // made by the first draw that needs it (most objects are drawn straight
  // from their triangle list and never do).
  drawBuffer.Free();
  if (frames.count() > 0) drawBuffer.SetGrowth(frames[0].triangles.growStep(), frames[0].triangles.minimum());
  hasColours = 0;
  for (int32_t code : palette) {
    if (code != kColourWhite && !IsReservedColour(code)) {
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
    frame.collisionIndex.reset();  // the positions may have moved
    const GrowList<MeshVertex>& t = frame.triangles;
    float c[3] = {0, 0, 0};
    float radius = 0.0f;
    Box box;
    if (fresh) {
      // The triangle records are copies of strip records: the strip list,
      // a third of the size, holds the same positions.
      // The largest distance and the box do not depend on how often or in
      // which order a record is met, so each corner record counts once.
      std::memcpy(c, frame.centre, sizeof c);
      VisitTriangleRecords(frame.strips, [&c, &radius, &box](const MeshVertex& r) {
        FarthestFrom(c, r, &radius);
        box.Add(r);
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

void ForgetShadowVolume(MeshObject& mesh, bool freeMemory) {
  ShadowVolumeCache& c = mesh.shadowVolume;
  if (gl::DeleteBuffersARB != nullptr && c.vertexBuffer != 0) gl::DeleteBuffersARB(1, &c.vertexBuffer);
  c.vertexBuffer = 0;
  c.uploaded = false;
  c.frame = -1;
  c.quadVertices = 0;
  c.capVertices = 0;
  if (freeMemory)
    c.vertices.Free();
  else
    c.vertices.Clear();
}

void ReleaseMeshBuffers(MeshObject& mesh) {
  if (gl::DeleteBuffersARB != nullptr) {
    if (mesh.staticBuffer != 0) gl::DeleteBuffersARB(1, &mesh.staticBuffer);
    if (mesh.streamBuffer != 0) gl::DeleteBuffersARB(1, &mesh.streamBuffer);
  }
  mesh.staticBuffer = 0;
  mesh.streamBuffer = 0;
  // Whatever made the buffers stale (new normals, a scaling) may have moved
  // the positions the kept volume was built from.
  ForgetShadowVolume(mesh, false);
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
    frame.collisionIndex.reset();
  }
  if (freeMemory) mesh.frames.Free();
  empty(mesh.shadowEdges);
  empty(mesh.facing);
  mesh.shadowEdges.SetGrowth(64, 64);
  mesh.facing.SetGrowth(64, 64);
  ReleaseMeshBuffers(mesh);
  ForgetShadowVolume(mesh, freeMemory);
  if (mesh.celTexture != 0) glDeleteTextures(1, &mesh.celTexture);
  mesh.celTexture = 0;
}

void ReleaseSlot(MeshSlot& slot) {
  for (MeshObjectX& mesh : slot.meshes) ReleaseMesh(mesh, true);
  slot.meshes.Free();
  if (slot.textures.count() > 0) glDeleteTextures(slot.textures.count(), slot.textures.data());
  slot.textures.Free();
  slot.valid = 0;
  slot.multiPart = 0;
}
