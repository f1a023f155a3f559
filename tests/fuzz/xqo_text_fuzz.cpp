// Text-form object files: the input, after "XQOA" unless it starts with it,
// from a block of exactly its size, through the reader and through LoadMesh
// as a memory file; both must agree, and what loads must hold together.
#include <cstdint>
#include <cstring>
#include <string>

#include "xqo_fuzz_util.h"

using fuzz_files::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_xqo::EnsureEngine();
  std::string file(reinterpret_cast<const char*>(data), size);
  if (file.compare(0, 4, "XQOA") != 0) file = "XQOA " + file;
  const fuzz_xqo::MemoryInput input(file);
  MeshObjectX mesh;
  const MeshReadResult result = ReadMeshText(input.data(), input.size(), mesh);
  if (result == MeshReadResult::kLoaded) {
    mesh.BuildTriangles();
    fuzz_xqo::CheckMesh(mesh);
    fuzz_xqo::CheckShadowEdges(mesh);
    // Every frame repeats the polygons: the same records in each.
    for (const MeshFrame& frame : mesh.frames)
      Check(frame.strips.count() == mesh.frames[0].strips.count(), "frames of different sizes");
  }
  ReleaseMesh(mesh, true);
  LoadMesh(input.name().c_str(), 2);
  MeshSlot* slot = MeshSlotAt(2);
  if (slot->valid) {
    Check(result == MeshReadResult::kLoaded, "LoadMesh took what the reader refused");
    fuzz_xqo::CheckMesh(slot->meshes[0]);
  }
  return 0;
}
