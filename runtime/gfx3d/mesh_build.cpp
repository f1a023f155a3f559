// The mesh construction commands: BeginMesh, vertices and strips, animation
// frames, EndMesh, queries and scaling.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/basic_array.h"
#include "core/core.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gl/gl_ext.h"

namespace {

// Animation frames beyond this are refused (error 7): each frame is a full
// copy of the mesh, and a stray frame number must not exhaust memory.
constexpr int32_t kFrameLimit = 65536;

MeshObjectX* OpenMesh(Engine3D& e) {
  MeshSlot* slot = MeshSlotAt(e.meshBeingBuilt);
  if (slot == nullptr || slot->meshes.count() == 0) return nullptr;
  return &slot->meshes[0];
}

MeshFrame* CurrentFrame(Engine3D& e) {
  MeshObjectX* mesh = OpenMesh(e);
  if (mesh == nullptr || e.currentFrame < 0 || e.currentFrame >= mesh->frames.count()) return nullptr;
  return &mesh->frames[e.currentFrame];
}

// The "%d %d\n" trace of every added vertex, formatted by hand: a mesh of a
// few hundred thousand vertices writes that many lines, and stdout's own
// buffer (full when redirected) keeps the order with other output.
void TraceVertex(int32_t frame, int32_t count) {
  char line[32];
  char* p = line + sizeof line;
  auto put = [&p](int32_t value) {
    uint32_t v = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
      *--p = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    if (value < 0) *--p = '-';
  };
  *--p = '\n';
  put(count);
  *--p = ' ';
  put(frame);
  std::fwrite(p, 1, static_cast<size_t>(line + sizeof line - p), stdout);
}

}  // namespace

void FlushVertexTrace() { std::fflush(stdout); }

// ---------------------------------------------------------------- construction

int32_t FindFreeMeshId() {
  const Engine3D* e = TheEngine3D();
  if (e == nullptr) return -1;
  for (int32_t i = 0; i < e->slots.count(); ++i)
    if (e->slots[i].valid == 0) return i;
  return -1;
}

void SetMeshNormalMode(Number mode) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->normalMode = TruncToInt32(mode) % 3;
}

void BeginMesh(Number idNumber) {
  Engine3D* engine = TheEngine3D();
  if (engine == nullptr) return;
  Engine3D& e = *engine;
  const int32_t id = TruncToInt32(idNumber);
  MeshSlot* slot = MeshSlotAt(id);
  if (slot == nullptr) {
    // Nothing is open afterwards, so the vertices that follow cannot land in
    // the object opened before.
    e.meshBeingBuilt = -1;
    SetLastError(kErrorOutOfMemory);
    return;
  }
  e.currentFrame = 0;
  for (MeshObjectX& mesh : slot->meshes) ReleaseMesh(mesh, false);
  slot->meshes.Free();
  slot->valid = 0;
  slot->multiPart = 0;
  if (slot->textures.count() > 0) glDeleteTextures(slot->textures.count(), slot->textures.data());
  slot->textures.Clear();
  slot->meshes.SetGrowth(1, 1);
  slot->textures.SetGrowth(1, 1);
  MeshObjectX* mesh = slot->meshes.AppendNew();
  if (mesh == nullptr) {
    e.meshBeingBuilt = -1;
    SetLastError(kErrorOutOfMemory);
    return;
  }
  e.meshBeingBuilt = id;
  MeshFrame* frame = mesh->frames.AppendNew();
  if (frame != nullptr) frame->strips.Append(MarkerRecord(MARK_TRIANGLE_STRIP));
}

void SelectMeshFrame(Number frameNumber) {
  Engine3D* engine = TheEngine3D();
  if (engine == nullptr) return;
  Engine3D& e = *engine;
  MeshObjectX* mesh = OpenMesh(e);
  const int32_t frame = TruncToInt32(frameNumber);
  if (mesh == nullptr || frame < 0) return;
  if (frame >= kFrameLimit) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  if (mesh->frames.count() < frame + 1) {
    if (!mesh->frames.Reserve(GrowList<MeshFrame>::GrownCapacity(frame + 1, mesh->frames.growStep(),
                                                                  mesh->frames.minimum()))) {
      SetLastError(kErrorOutOfMemory);
      return;
    }
    while (mesh->frames.count() < frame + 1) mesh->frames.AppendNew();
  }
  MeshFrame& chosen = mesh->frames[frame];
  if (chosen.strips.count() == 0) {
    const GrowList<MeshVertex>& first = mesh->frames[0].strips;
    chosen.strips.Append(first.count() > 0 ? first[0] : MarkerRecord(MARK_TRIANGLE_STRIP));
  }
  e.currentFrame = frame;
}

void AddMeshVertex(Number x, Number y, Number z, Number u, Number v, Number colourNumber) {
  Engine3D* engine = TheEngine3D();
  if (engine == nullptr) return;
  Engine3D& e = *engine;
  MeshFrame* frame = CurrentFrame(e);
  if (frame == nullptr) return;
  const int32_t colour = TruncToInt32(colourNumber);
  MeshVertex r;
  std::memset(&r, 0, sizeof r);
  r.x = static_cast<float>(x);
  r.y = static_cast<float>(y);
  r.z = static_cast<float>(z);
  r.u = static_cast<float>(u);
  r.v = -static_cast<float>(v);
  SetRecordColour(r, colour);
  frame->strips.Append(r);
  TraceVertex(e.currentFrame, frame->strips.count());
}

void NewMeshStrip() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  MeshFrame* frame = CurrentFrame(*e);
  if (frame != nullptr) frame->strips.Append(MarkerRecord(MARK_TRIANGLE_STRIP));
}

void EndMesh() {
  Engine3D* engine = TheEngine3D();
  if (engine == nullptr) return;
  Engine3D& e = *engine;
  MeshSlot* slot = MeshSlotAt(e.meshBeingBuilt);
  e.meshBeingBuilt = -1;
  if (slot == nullptr) return;
  slot->multiPart = 0;
  if (slot->meshes.count() == 0) {
    slot->valid = 0;
    return;
  }
  MeshObjectX& mesh = slot->meshes[0];
  if (mesh.frames.count() == 0 || mesh.frames[0].strips.count() <= 2) {
    ReleaseMesh(mesh, true);
    slot->valid = 0;
    return;
  }
  slot->valid = 1;
  const int32_t n0 = mesh.frames[0].strips.count();
  for (int32_t i = 1; i < mesh.frames.count(); ++i) {
    const int32_t ni = mesh.frames[i].strips.count();
    if (ni != n0) {
      char text[160];
      std::snprintf(text, sizeof text, "Frame %d has %d nodes, but must have (like frame 0) %d nodes\n", i, ni,
                    n0);
      DebugOutput(text);
      slot->valid = 0;
      return;
    }
  }
  BuildColourPalette(mesh);
  bool built = false;
  if (e.normalMode == kNormalsFlat)
    built = ComputeMeshNormals(mesh, true, false, false);
  else if (e.normalMode == kNormalsSmooth)
    built = ComputeMeshNormals(mesh, true, true, false);
  // ComputeMeshNormals ends by building the triangle lists; building them a
  // second time would give the same lists.
  if (!built) mesh.BuildTriangles();
  ComputeFrameBounds(mesh, true);
}

void GetMeshTriangle(Number idNumber, Number frameNumber, Number nNumber, BasicArray<double>& array) {
  DimArray(array, 3, 9);
  MeshSlot* slot = MeshSlotAt(TruncToInt32(idNumber));
  if (slot == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  const int32_t frame = TruncToInt32(frameNumber);
  int64_t n = TruncToInt32(nNumber);
  if (frame < 0 || n < 0) return;
  for (MeshObjectX& mesh : slot->meshes) {
    // A mesh without this frame contributes no triangles.
    if (frame >= mesh.frames.count()) continue;
    const GrowList<MeshVertex>& t = mesh.frames[frame].triangles;
    const int64_t triangles = t.count() / 3;
    if (n >= triangles) {
      n -= triangles;
      continue;
    }
    double* out = array.Elements();
    for (int32_t k = 0; k < 3; ++k) {
      const MeshVertex& r = t[static_cast<int32_t>(n * 3 + k)];
      const double values[9] = {r.x, r.y, r.z, r.u, r.v, static_cast<double>(r.colour), r.nx, r.ny, r.nz};
      for (int32_t j = 0; j < 9; ++j) out[k + 3 * j] = values[j];
    }
    return;
  }
}

void ScaleMesh(Number idNumber, Number sxNumber, Number syNumber, Number szNumber) {
  MeshSlot* slot = MeshSlotAt(TruncToInt32(idNumber));
  if (slot == nullptr) {
    if (TheEngine3D() != nullptr) SetLastError(kErrorOutOfMemory);
    return;
  }
  const float s[3] = {static_cast<float>(sxNumber), static_cast<float>(syNumber), static_cast<float>(szNumber)};
  const float len2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2];
  float d[3] = {s[0], s[1], s[2]};
  if (len2 > 1e-7f) {
    const float len = std::sqrt(len2);
    if (len != 0.0f) {
      d[0] /= len;
      d[1] /= len;
      d[2] /= len;
    }
  }
  auto scale3 = [](float& x, float& y, float& z, const float f[3]) {
    x *= f[0];
    y *= f[1];
    z *= f[2];
  };
  for (MeshObjectX& mesh : slot->meshes) {
    for (MeshFrame& frame : mesh.frames) {
      for (MeshVertex& r : frame.triangles) {
        scale3(r.x, r.y, r.z, s);
        scale3(r.nx, r.ny, r.nz, s);
        scale3(r.tx, r.ty, r.tz, s);
        scale3(r.bx, r.by, r.bz, s);
      }
      for (MeshVertex& r : frame.strips) {
        scale3(r.x, r.y, r.z, s);
        scale3(r.nx, r.ny, r.nz, d);
        scale3(r.tx, r.ty, r.tz, d);
        scale3(r.bx, r.by, r.bz, d);
      }
    }
    // The uploaded copy of frame 0 would keep showing the old geometry.
    ReleaseMeshBuffers(mesh);
    ComputeFrameBounds(mesh);
  }
}
