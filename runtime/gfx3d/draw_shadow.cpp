// Stencil shadow volumes. A mesh's triangles are split into those that face
// the light and those that do not; the volume is closed by the silhouette
// edges pulled out to infinity (homogeneous w = 0, away from the light), the
// lit triangles as the near cap and the unlit ones, also at infinity, as the
// far cap. Front faces of the volume count up, back faces down, where they
// lie in front of the scene; what is left non-zero is in shadow.
#include <cmath>

#include "gfx3d/engine3d.h"
#include "host/gl_ext.h"
#include "host/gl_state.h"

namespace {

inline float* PutPoint(float* out, const MeshVertex& v) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
  out[3] = 1.0f;
  return out + 4;
}

inline float* PutAtInfinity(float* out, const MeshVertex& v, const float light[3]) {
  out[0] = v.x - light[0];
  out[1] = v.y - light[1];
  out[2] = v.z - light[2];
  out[3] = 0.0f;
  return out + 4;
}

}  // namespace

void DrawShadowVolume(Engine3D& e, MeshObjectX& mesh, int32_t frame, const float light[3]) {
  if (mesh.frames.count() == 0 || mesh.shadowEdges.count() == 0) return;
  // The edge list belongs to frame 0's triangles; another frame can stand in
  // only when it has as many.
  const GrowList<MeshVertex>* list = &mesh.frames[0].triangles;
  if (frame > 0 && frame < mesh.frames.count() && mesh.frames[frame].triangles.count() == list->count())
    list = &mesh.frames[frame].triangles;
  const MeshVertex* v = list->data();
  const int32_t triangles = list->count() / 3;
  if (triangles * 3 != mesh.shadowEdges.count() || mesh.facing.count() != triangles) return;

  // Facing flags. Front faces wind clockwise in the engine's meshes, which
  // makes (p2 - p1) x (p1 - p0) their outward normal.
  uint8_t* facing = mesh.facing.data();
  int32_t silhouettes = 0;
  for (int32_t t = 0; t < triangles; ++t) {
    const MeshVertex& p0 = v[t * 3];
    const MeshVertex& p1 = v[t * 3 + 1];
    const MeshVertex& p2 = v[t * 3 + 2];
    const float ax = p2.x - p1.x, ay = p2.y - p1.y, az = p2.z - p1.z;
    const float bx = p1.x - p0.x, by = p1.y - p0.y, bz = p1.z - p0.z;
    const float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    const float cx = (p0.x + p1.x + p2.x) / 3.0f, cy = (p0.y + p1.y + p2.y) / 3.0f,
                cz = (p0.z + p1.z + p2.z) / 3.0f;
    facing[t] = nx * (light[0] - cx) + ny * (light[1] - cy) + nz * (light[2] - cz) > 0.0f ? 1 : 0;
  }
  ShadowEdge* edges = mesh.shadowEdges.data();
  for (int32_t i = 0; i < triangles * 3; ++i) {
    const int32_t neighbour = edges[i].neighbour;
    edges[i].silhouette = facing[i / 3] && (neighbour < 0 || !facing[neighbour]) ? 1 : 0;
    silhouettes += edges[i].silhouette;
  }

  // Quads of the silhouette, then both caps, as homogeneous vertices.
  const size_t floats = (static_cast<size_t>(silhouettes) * 4 + static_cast<size_t>(triangles) * 3) * 4;
  if (e.shadowScratch.size() < floats) e.shadowScratch.resize(floats);
  float* out = e.shadowScratch.data();
  for (int32_t i = 0; i < triangles * 3; ++i) {
    if (!edges[i].silhouette) continue;
    const int32_t t = i / 3;
    const MeshVertex& p = v[i];
    const MeshVertex& q = v[t * 3 + (i % 3 + 1) % 3];
    out = PutPoint(out, q);
    out = PutPoint(out, p);
    out = PutAtInfinity(out, p, light);
    out = PutAtInfinity(out, q, light);
  }
  for (int32_t t = 0; t < triangles; ++t)
    for (int32_t k = 0; k < 3; ++k)
      out = facing[t] ? PutPoint(out, v[t * 3 + k]) : PutAtInfinity(out, v[t * 3 + k], light);

  SwitchGLState(kStateDepthTest, true);
  glDepthFunc(GL_LESS);
  const bool lighting = CachedGLState(kStateLighting) == 1;
  SwitchGLState(kStateLighting, false);
  // The passes count front and back faces of the volume apart, which needs
  // culling with the meshes' own (clockwise) front faces whatever the
  // program's cull mode is.
  SwitchGLState(kStateCullFace, true);
  glFrontFace(GL_CW);
  glStencilFunc(GL_ALWAYS, 0, ~0u);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(4, GL_FLOAT, 0, e.shadowScratch.data());
  const GLsizei quadVertices = silhouettes * 4;
  for (int pass = 0; pass < 2; ++pass) {
    glCullFace(pass == 0 ? GL_BACK : GL_FRONT);
    glStencilOp(GL_KEEP, GL_KEEP, pass == 0 ? GL_INCR : GL_DECR);
    if (quadVertices > 0) glDrawArrays(GL_QUADS, 0, quadVertices);
    glDrawArrays(GL_TRIANGLES, quadVertices, triangles * 3);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glCullFace(GL_BACK);
  ApplyCullMode(e);
  if (lighting) SwitchGLState(kStateLighting, true);
  ++e.stats.shadowVolumes;
}
