// Object scene files: the input, after ";XQW" unless it starts with it, is
// parsed and loaded as a memory file. Its entries are looked up in the
// working folder, which holds a binary object "a.xqo" and a text object
// "b.xqo"; textures are skipped (there is no renderer). The slot must hold
// exactly the objects and texture positions the parse lists.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "xqo_fuzz_util.h"

using fuzz_files::Check;

namespace {

void PrepareFolder() {
  static bool done = false;
  if (done) return;
  done = true;
  const std::string folder = fuzz_files::ScratchPath("scene");
  platform::MakeDirectory(folder.c_str());
  if (chdir(folder.c_str()) != 0) std::abort();
  // A strip of three vertices, in the binary form.
  MeshObjectX mesh;
  MeshFrame* frame = mesh.frames.AppendNew();
  frame->strips.Append(MarkerRecord(MARK_TRIANGLE_STRIP));
  for (int i = 0; i < 3; ++i) {
    MeshVertex r = MarkerRecord(0x0000FF);
    r.x = static_cast<float>(i % 2);
    r.y = static_cast<float>(i / 2);
    frame->strips.Append(r);
  }
  BuildColourPalette(mesh);
  const std::string binary = EncodeMeshBinary(mesh);
  fuzz_files::WriteFile("a.xqo", binary);
  fuzz_files::WriteFile("b.xqo", "XQOA 1.0 0 1 255 0 0 3 0 0 1 0 2 0 1 3 0 0 0 1 0 0 0 1 0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_xqo::EnsureEngine();
  PrepareFolder();
  std::string file(reinterpret_cast<const char*>(data), size);
  if (file.compare(0, 4, ";XQW") != 0) file = ";XQW\n" + file;
  const fuzz_xqo::MemoryInput input(file);
  MeshScene scene;
  Check(ParseMeshScene(file.data(), file.size(), &scene), "a scene file refused");
  Check(scene.objects.size() + scene.textures.size() <= file.size(), "more entries than the text could list");
  LoadMesh(input.name().c_str(), 3);
  MeshSlot* slot = MeshSlotAt(3);
  Check(slot->valid == 1 && slot->multiPart == 1, "a scene slot not marked");
  Check(slot->meshes.count() == static_cast<int32_t>(scene.objects.size()), "objects lost");
  Check(slot->textures.count() == static_cast<int32_t>(scene.textures.size()), "texture positions lost");
  for (int32_t i = 0; i < slot->meshes.count(); ++i) {
    fuzz_xqo::CheckMesh(slot->meshes[i]);
    Check(slot->meshes[i].texture1Index == scene.objects[i].texture1, "a texture number changed");
  }
  return 0;
}
