// Builds a mesh whose animation frames differ in length, so that EndMesh
// reports it to the debugger; then prints what the object table says.
#include <cstdio>

#include "gfx2d/renderer.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"

int main() {
  Renderer renderer;
  CreateEngine3D(renderer);
  BeginMesh(7);
  for (int frame = 0; frame < 3; ++frame) {
    SelectMeshFrame(frame);
    const int vertices = frame == 2 ? 5 : 4;
    for (int i = 0; i < vertices; ++i) AddMeshVertex(i, i % 2, frame, 0, 0, 0xFFFFFF);
  }
  EndMesh();
  std::printf("valid %d\n", MeshSlotAt(7)->valid);
  DestroyEngine3D();
  return 0;
}
