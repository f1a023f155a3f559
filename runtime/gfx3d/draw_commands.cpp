// The mesh drawing commands: DrawMesh, DrawMeshAnimated and the texture, offset, sphere-map and cel-ramp settings.
#include "core/basic_array.h"
#include "core/core.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"

void SetMeshTextureMode(Number flag) {
  Engine3D* e = TheEngine3D();
  if (e != nullptr) e->alternateTextures = TruncToInt32(flag);
}

void SetMeshTextures(Number texture1, Number texture2) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->texture1 = TruncToInt32(texture1);
  e->texture2 = TruncToInt32(texture2);
  BindMeshTextures(*e, e->texture1, e->texture2, e->alternateTextures, nullptr);
  const GLint filter = e->renderer != nullptr && e->renderer->smoothing ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  SetShaderSamplers();
}

namespace {

void DrawSlot(Engine3D& e, MeshSlot& slot, int32_t from, int32_t to, float blend, bool interpolate) {
  if (!slot.valid) return;
  if (!slot.multiPart) {
    if (slot.meshes.count() > 0) DrawMeshObject(e, slot.meshes[0], from, to, blend, interpolate, nullptr, 0);
    return;
  }
  const uint32_t* table = slot.textures.data();
  const int32_t tableCount = slot.textures.count();
  for (MeshObjectX& mesh : slot.meshes) {
    int32_t id1 = tableCount > 0 ? mesh.texture1Index : -1;
    int32_t id2 = tableCount > 0 ? mesh.texture2Index : -1;
    // Indexes outside the slot's texture list select no texture.
    if (id1 >= tableCount) id1 = -1;
    if (id2 >= tableCount) id2 = -1;
    BindMeshTextures(e, id1, id2, 0, table);
    DrawMeshObject(e, mesh, from, to, blend, interpolate, table, tableCount);
  }
}

}  // namespace

void DrawMeshAnimated(Number idNumber, Number frameFrom, Number frameTo, Number blend, Number interpolate) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  MeshSlot* slot = MeshSlotAt(TruncToInt32(idNumber));
  if (slot == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  BindMeshTextures(*e, e->texture1, e->texture2, e->alternateTextures, nullptr);
  DrawSlot(*e, *slot, TruncToInt32(frameFrom), TruncToInt32(frameTo), static_cast<float>(blend),
           TruncToInt32(interpolate) != 0);
}

// One frame, unblended: the animated draw from a frame to itself.
void DrawMesh(Number idNumber, Number frameNumber) { DrawMeshAnimated(idNumber, frameNumber, frameNumber, 0, 0); }

void SetTextureOffset3D(Number du, Number dv) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->textureOffsetU = static_cast<float>(du);
  e->textureOffsetV = static_cast<float>(dv);
}

void SetSphereMap(Number flag) {
  Engine3D* e = TheEngine3D();
  if (e != nullptr) e->sphereMap = TruncToInt32(flag) != 0 ? 1 : 0;
}

void SetCelShadeRamp(const BasicArray<double>& ramp) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->celRamp.clear();
  const double* values = ramp.Elements();
  for (int32_t i = 0; values != nullptr && i < ramp.count; ++i) {
    const int32_t v = TruncToInt32(values[i]);
    e->celRamp.push_back(static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v));
  }
  if (e->celRamp.empty()) e->celRamp.push_back(255);
  for (MeshSlot& slot : e->slots)
    for (MeshObjectX& mesh : slot.meshes)
      if (mesh.celTexture != 0) {
        glDeleteTextures(1, &mesh.celTexture);
        mesh.celTexture = 0;
      }
}
