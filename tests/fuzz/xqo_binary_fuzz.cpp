// Binary object files: the input's first byte picks a header (none, version
// 2.0 or the quantised 1.02) put before the rest. Every input is read from a
// block of exactly its size; a file that loads is saved and read back to the
// same records, and LoadMesh of the same bytes as a memory file agrees. The
// walk over the counts alone (how a file on disk is read) comes to the
// reader's verdict whenever it refuses, and declares no more than the input.
#include <cstdint>
#include <string>

#include "xqo_fuzz_util.h"

using fuzz_files::Check;

namespace {

std::string Header(double version) {
  std::string h(12, '\0');
  const int32_t magic = kMeshFileMagic;
  std::memcpy(&h[0], &magic, 4);
  std::memcpy(&h[4], &version, 8);
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz_xqo::EnsureEngine();
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string file;
  switch (data[0] % 3) {
    case 0: file = rest; break;
    case 1: file = Header(2.0) + rest; break;
    default: file = Header(1.02) + rest; break;
  }
  const fuzz_xqo::MemoryInput input(file);
  MeshObjectX mesh;
  double version = 0;
  const MeshReadResult result = ReadMeshBinary(input.data(), input.size(), mesh, &version);
  if (result == MeshReadResult::kLoaded) {
    mesh.BuildTriangles();
    ComputeFrameBounds(mesh, true);
    fuzz_xqo::CheckMesh(mesh);
    fuzz_xqo::CheckShadowEdges(mesh);
    // A mesh whose later frames fit frame 0's pairs saves and loads back.
    bool fits = true;
    for (const MeshFrame& frame : mesh.frames) fits = fits && frame.strips.count() <= mesh.frames[0].strips.count();
    if (fits && mesh.frames.count() > 0) {
      const std::string saved = EncodeMeshBinary(mesh);
      MeshObjectX again;
      Check(ReadMeshBinary(reinterpret_cast<const uint8_t*>(saved.data()), saved.size(), again, nullptr) ==
                MeshReadResult::kLoaded,
            "a saved mesh does not load");
      Check(again.frames.count() == mesh.frames.count(), "frames lost in a round trip");
      for (int32_t f = 0; f < mesh.frames.count(); ++f) {
        Check(again.frames[f].strips.count() == mesh.frames[f].strips.count(), "records lost in a round trip");
        for (int32_t i = 0; i < mesh.frames[f].strips.count(); ++i)
          Check(again.frames[f].strips[i].colour == mesh.frames[f].strips[i].colour, "a colour changed");
      }
      ReleaseMesh(again, true);
    }
  }
  ReleaseMesh(mesh, true);
  if (file.compare(0, 4, Header(2.0), 0, 4) == 0) {
    const MeshFieldReader read = [&](uint64_t offset, uint8_t* out, size_t n) {
      if (offset > input.size() || n > input.size() - offset) return false;
      std::memcpy(out, input.data() + offset, n);
      return true;
    };
    uint64_t declared = 0;
    double walkedVersion = 0;
    const MeshReadResult walked = MeshBinaryDeclaredBytes(read, input.size(), &declared, &walkedVersion);
    if (walked == MeshReadResult::kLoaded) {
      Check(declared <= input.size(), "the walk declares more than the input");
      Check(result == MeshReadResult::kLoaded || result == MeshReadResult::kReadError,
            "the walk passes what the reader refuses for its counts");
      MeshObjectX exact;
      Check(ReadMeshBinary(input.data(), static_cast<size_t>(declared), exact, nullptr) == result,
            "the declared bytes read otherwise than the whole input");
      ReleaseMesh(exact, true);
    } else {
      Check(walked == result, "the walk and the reader disagree");
      // Bit for bit: a version that is NaN is refused as well.
      Check(walked != MeshReadResult::kWrongVersion || std::memcmp(&walkedVersion, &version, sizeof version) == 0,
            "the walk reads another version");
    }
  }
  // Without the magic LoadMesh reads the text form or a scene: the other
  // targets' part.
  if (file.compare(0, 4, Header(2.0), 0, 4) != 0) return 0;
  LoadMesh(input.name().c_str(), 1);
  MeshSlot* slot = MeshSlotAt(1);
  Check((slot->valid != 0) == (result == MeshReadResult::kLoaded && slot->meshes.count() == 1),
        "LoadMesh and the reader disagree");
  if (slot->valid) fuzz_xqo::CheckMesh(slot->meshes[0]);
  return 0;
}
