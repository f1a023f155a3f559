// Shared by the object-file fuzz targets: an engine without GL, inputs as
// memory files of exactly their size, and the checks every loaded object
// must pass.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "files/read_channel.h"
#include "fuzz_files_util.h"
#include "gfx2d/renderer.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh.h"
#include "gfx3d/internal/mesh_file.h"

namespace fuzz_xqo {

using fuzz_files::Check;

// The process's engine; its renderer is never made current, so nothing
// reaches GL.
inline void EnsureEngine() {
  static Renderer* renderer = new Renderer;
  if (TheEngine3D() == nullptr) CreateEngine3D(*renderer);
}

// A heap block of exactly the bytes, registered as a memory file while it lives.
class MemoryInput {
 public:
  explicit MemoryInput(const std::string& bytes) : size_(bytes.size()), block_(new uint8_t[size_ == 0 ? 1 : size_]) {
    if (size_ > 0) std::memcpy(block_.get(), bytes.data(), size_);
    RegisterMemoryFile(block_.get(), size_);
  }
  ~MemoryInput() { UnregisterMemoryFile(block_.get()); }
  const uint8_t* data() const { return block_.get(); }
  size_t size() const { return size_; }
  std::string name() const { return MemoryFileName(block_.get(), size_); }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> block_;
};

// What any loaded mesh must hold: palette indexes inside the palette, unit
// table normals where the file gives them, and triangles made of records.
inline void CheckMesh(const MeshObject& mesh) {
  for (const MeshFrame& frame : mesh.frames) {
    for (const MeshVertex& r : frame.strips) {
      Check(mesh.palette.count() == 0 || r.paletteIndex < mesh.palette.count() || mesh.palette.count() > 256,
            "a palette index outside the palette");
      const bool marker = r.colour == MARK_TRIANGLE_LIST || r.colour == MARK_TRIANGLE_STRIP ||
                          r.colour == MARK_TRIANGLE_FAN;
      Check(!marker || (r.x == 0 && r.y == 0 && r.u == 0), "a marker record with fields set");
    }
    Check(frame.triangles.count() % 3 == 0, "a triangle list of a partial triangle");
  }
}

// The shadow edge list of a loaded mesh: every neighbour is -1, another
// triangle or, for a triangle two of whose corners weld together, the
// triangle itself on all three edges; no triangle takes such a one as its
// neighbour.
inline void CheckShadowEdges(MeshObject& mesh) {
  BuildShadowEdges(mesh);
  if (mesh.frames.count() == 0 || mesh.shadowEdges.count() == 0) return;
  const int32_t triangles = mesh.frames[0].triangles.count() / 3;
  Check(mesh.shadowEdges.count() == triangles * 3, "an edge list of another length");
  for (int32_t i = 0; i < triangles * 3; ++i) {
    const int32_t t = i / 3, n = mesh.shadowEdges[i].neighbour;
    Check(n >= -1 && n < triangles, "a neighbour outside the triangles");
    if (n == t)
      Check(mesh.shadowEdges[t * 3].neighbour == t && mesh.shadowEdges[t * 3 + 1].neighbour == t &&
                mesh.shadowEdges[t * 3 + 2].neighbour == t,
            "a triangle without area on one edge only");
    else if (n >= 0)
      Check(mesh.shadowEdges[n * 3].neighbour != n, "a triangle without area taken as a neighbour");
  }
}

}  // namespace fuzz_xqo
