// The one 3D engine of the process: its construction, creation, release and
// the mesh object table's slots.
#include <cstdio>
#include <cstring>

#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gl/gl_ext.h"

namespace {

Engine3D* g_engine = nullptr;

const uint8_t kDefaultCelRamp[16] = {100, 160, 160, 160, 160, 160, 160, 207,
                                     255, 255, 255, 255, 255, 255, 255, 255};

}  // namespace

Revazoro3D::Revazoro3D(Renderer* r) : renderer(r) {
  if (slots.Reserve(MESH_SLOT_COUNT))
    for (int32_t i = 0; i < MESH_SLOT_COUNT; ++i) slots.AppendNew();
  math3d::Identity(projection);
  math3d::Identity(camera);
  std::memset(planes, 0, sizeof planes);
  for (MovementLevel& level : levels) {
    math3d::Identity(level.base);
    math3d::Identity(level.composed);
  }
  celRamp.assign(kDefaultCelRamp, kDefaultCelRamp + 16);
}

Engine3D* TheEngine3D() { return g_engine; }

MeshSlot* MeshSlotAt(int32_t id) {
  if (g_engine == nullptr || id < 0 || id >= g_engine->slots.count()) return nullptr;
  return &g_engine->slots[id];
}

void CreateEngine3D(Renderer& renderer) {
  if (g_engine != nullptr) {
    g_engine->renderer = &renderer;
    return;
  }
  g_engine = new Revazoro3D(&renderer);
}

void DestroyEngine3D() {
  if (g_engine == nullptr) return;
  std::fflush(stdout);
  for (MeshSlot& slot : g_engine->slots) ReleaseSlot(slot);
  delete g_engine;
  g_engine = nullptr;
}

