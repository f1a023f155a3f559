// Stencil shadow volumes. A mesh's triangles are split into those that face
// the light and those that do not; the volume is closed by the silhouette
// edges pulled away from the light, the lit triangles as the near cap and
// the same triangles pulled away, turned round, as the far cap. (Pulling
// the unlit triangles instead closes the volume of a closed mesh only; a
// floor or any open surface would leave its volume open at the far end and
// darken whatever lies behind its edges.) Front faces of the
// volume count up, back faces down, where they lie in front of the scene;
// what is left non-zero is in shadow.
//
// The volume is pulled to infinity (homogeneous w = 0) unless the surfaces a
// shadow can fall on (the objects drawn plainly since Begin3D) all lie
// within reach: then it ends just beyond the farthest of them, a uniform
// scaling about the light. The volume still holds every receiving point it
// held before, so the counts there do not change; what is saved is filling
// the space behind the receivers, which is most of a volume's area on
// screen, and the closed far cap keeps shadows off the empty background.
//
// A volume depends only on the mesh's triangles, the light in object space
// and the pull, so a mesh keeps the one it drew last (ShadowVolumeCache),
// in a buffer object where the GL has them, and draws it again while none
// of them changes: in a scene where only the camera moves, no volume is
// built or sent to the GL after the first frame.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {

// A finite pull is made this much longer, a margin for rounding.
constexpr float kPullMargin = 1.01f;
// Pulls from this far on are made infinite instead.
constexpr float kLargestPull = 1e6f;
// Corners with a clip w up to this lie at or behind the eye.
constexpr float kNearestClipW = 1e-4f;

inline float* PutPoint(float* out, const MeshVertex& v) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
  out[3] = 1.0f;
  return out + 4;
}

// Pulls v away from the light: scaled by `scale` about it, or to infinity
// when scale is 0.
inline float* PutPulled(float* out, const MeshVertex& v, const float light[3], float scale) {
  out[0] = v.x - light[0];
  out[1] = v.y - light[1];
  out[2] = v.z - light[2];
  out[3] = 0.0f;
  if (scale > 0.0f) {
    out[0] = light[0] + out[0] * scale;
    out[1] = light[1] + out[1] * scale;
    out[2] = light[2] + out[2] * scale;
    out[3] = 1.0f;
  }
  return out + 4;
}

// The scaling about the light that takes every point of the caster (inside
// its world box) out of the receivers' box for good; 0 (infinity) when there
// is no receiver or no such scaling, -1 when the volume would be empty. A ray from the light through a
// point P leaves the receivers' box for good, along each axis, once it is
// past that axis's far face; it is out once it is out along any axis. Each
// axis's parameter depends only on P's coordinate on that axis, so over the
// caster's box the largest exit is the smallest of the per-axis largest.
float PullScale(const Engine3D& e, const float casterLow[3], const float casterHigh[3]) {
  if (!e.haveReceivers) return 0.0f;
  const float* light = e.effectLight;
  float scale = std::numeric_limits<float>::infinity();
  for (int k = 0; k < 3; ++k) {
    float axis;  // the largest exit parameter along this axis over the caster
    if (casterLow[k] > light[k]) {
      axis = (e.receiverMax[k] - light[k]) / (casterLow[k] - light[k]);
    } else if (casterHigh[k] < light[k]) {
      axis = (e.receiverMin[k] - light[k]) / (casterHigh[k] - light[k]);
    } else {
      continue;  // the caster straddles the light on this axis: no bound
    }
    scale = std::min(scale, axis);
  }
  if (!std::isfinite(scale)) return 0.0f;
  // Every ray has left the receivers' box before it reaches the caster: the
  // volume holds no receiving point (a flat floor lit from above, say).
  if (scale <= 1.0f) return -1.0f;
  scale *= kPullMargin;
  return scale < kLargestPull ? scale : 0.0f;
}

}  // namespace

void NoteShadowBounds(Engine3D& e, const float low[3], const float high[3]) {
  e.shadowBoundsAny = true;
  if (e.shadowBoundsAll) return;
  for (int corner = 0; corner < 8; ++corner) {
    const float p[4] = {(corner & 1) ? high[0] : low[0], (corner & 2) ? high[1] : low[1],
                        (corner & 4) ? high[2] : low[2], 1.0f};
    float clip[4];
    for (int row = 0; row < 4; ++row)
      clip[row] = e.worldToClip[row] * p[0] + e.worldToClip[4 + row] * p[1] + e.worldToClip[8 + row] * p[2] +
                  e.worldToClip[12 + row] * p[3];
    // A corner at or behind the eye has no place on screen: no bound.
    if (!(clip[3] > kNearestClipW)) {
      e.shadowBoundsAll = true;
      return;
    }
    const float x = clip[0] / clip[3], y = clip[1] / clip[3];
    e.shadowNdc[0] = std::min(e.shadowNdc[0], x);
    e.shadowNdc[1] = std::min(e.shadowNdc[1], y);
    e.shadowNdc[2] = std::max(e.shadowNdc[2], x);
    e.shadowNdc[3] = std::max(e.shadowNdc[3], y);
  }
}

namespace {

// Facing flags of the triangles and silhouette flags of their edges for the
// light; returns the number of silhouette edges. Front faces wind clockwise
// in the engine's meshes, which makes (p2 - p1) x (p1 - p0) their outward
// normal.
int32_t MarkSilhouettes(const MeshVertex* v, int32_t triangles, const float light[3], uint8_t* facing,
                        ShadowEdge* edges) {
  for (int32_t t = 0; t < triangles; ++t) {
    const MeshVertex& p0 = v[t * 3];
    const MeshVertex& p1 = v[t * 3 + 1];
    const MeshVertex& p2 = v[t * 3 + 2];
    const float ax = p2.x - p1.x, ay = p2.y - p1.y, az = p2.z - p1.z;
    const float bx = p1.x - p0.x, by = p1.y - p0.y, bz = p1.z - p0.z;
    const float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    const float cx = (p0.x + p1.x + p2.x) / 3.0f, cy = (p0.y + p1.y + p2.y) / 3.0f,
                cz = (p0.z + p1.z + p2.z) / 3.0f;
    // A triangle without area (see ShadowEdge) has no side to face with.
    const bool flat = edges[t * 3].neighbour == t;
    facing[t] = !flat && nx * (light[0] - cx) + ny * (light[1] - cy) + nz * (light[2] - cz) > 0.0f ? 1 : 0;
  }
  int32_t silhouettes = 0;
  for (int32_t i = 0; i < triangles * 3; ++i) {
    const int32_t neighbour = edges[i].neighbour;
    edges[i].silhouette = facing[i / 3] && (neighbour < 0 || !facing[neighbour]) ? 1 : 0;
    silhouettes += edges[i].silhouette;
  }
  return silhouettes;
}

// Widens the pass's screen rectangle by the volume: the caster's box and its
// pulled copy, or the whole screen for a volume pulled to infinity.
void NoteVolumeBounds(Engine3D& e, const float casterLow[3], const float casterHigh[3], float scale) {
  if (scale > 0.0f) {
    float low[3], high[3];
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(casterLow[k], e.effectLight[k] + (casterLow[k] - e.effectLight[k]) * scale);
      high[k] = std::max(casterHigh[k], e.effectLight[k] + (casterHigh[k] - e.effectLight[k]) * scale);
    }
    NoteShadowBounds(e, low, high);
  } else {
    e.shadowBoundsAny = true;
    e.shadowBoundsAll = true;
  }
}

// Writes the quads of the silhouette, then both caps, as homogeneous
// vertices into the kept volume; false when its list cannot be had.
bool WriteVolume(ShadowVolumeCache& c, const MeshVertex* v, int32_t triangles, const ShadowEdge* edges,
                 const uint8_t* facing, int32_t silhouettes, const float light[3], float scale) {
  int32_t lit = 0;
  for (int32_t t = 0; t < triangles; ++t) lit += facing[t];
  const int64_t floats = (int64_t{4} * silhouettes + int64_t{8} * lit) * 4;
  if (floats > INT32_MAX || !c.vertices.Reserve(floats)) return false;
  c.vertices.SetCountUnchecked(static_cast<int32_t>(floats));
  float* out = c.vertices.data();
  for (int32_t i = 0; i < triangles * 3; ++i) {
    if (!edges[i].silhouette) continue;
    const int32_t t = i / 3;
    const MeshVertex& p = v[i];
    const MeshVertex& q = v[t * 3 + (i % 3 + 1) % 3];
    out = PutPoint(out, q);
    out = PutPoint(out, p);
    out = PutPulled(out, p, light, scale);
    out = PutPulled(out, q, light, scale);
  }
  // Each cap triangle is a quad with its last corner repeated, so that the
  // sides and both caps go in one draw a pass; the GL makes the same
  // triangle of it (and one of no area), where cutting the side quads into
  // triangles of our own would move pixels along their diagonals.
  for (int32_t t = 0; t < triangles; ++t) {
    if (!facing[t]) continue;
    const MeshVertex* corner = v + t * 3;
    out = PutPoint(out, corner[0]);
    out = PutPoint(out, corner[1]);
    out = PutPoint(out, corner[2]);
    out = PutPoint(out, corner[2]);
    out = PutPulled(out, corner[0], light, scale);
    out = PutPulled(out, corner[2], light, scale);
    out = PutPulled(out, corner[1], light, scale);
    out = PutPulled(out, corner[1], light, scale);
  }
  c.quadVertices = 4 * silhouettes;
  c.capVertices = 8 * lit;
  c.uploaded = false;
  return true;
}

// Brings the kept volume up to date for the frame, the light and the pull:
// the silhouette is found again when the frame or the light changed, the
// vertices written again when anything did. False when there is no memory.
bool UpdateVolume(Engine3D& e, MeshObjectX& mesh, int32_t frame, const MeshVertex* v, int32_t triangles,
                  const float light[3], float scale) {
  ShadowVolumeCache& c = mesh.shadowVolume;
  const bool sameLight = c.frame == frame && std::memcmp(c.light, light, sizeof c.light) == 0;
  if (sameLight && std::memcmp(&c.scale, &scale, sizeof scale) == 0) return true;
  ShadowEdge* edges = mesh.shadowEdges.data();
  uint8_t* facing = mesh.facing.data();
  int32_t silhouettes = c.quadVertices / 4;
  if (!sameLight) {
    silhouettes = MarkSilhouettes(v, triangles, light, facing, edges);
    ++e.stats.shadowVolumesBuilt;
  }
  if (!WriteVolume(c, v, triangles, edges, facing, silhouettes, light, scale)) {
    ForgetShadowVolume(mesh, false);
    return false;
  }
  c.frame = frame;
  std::memcpy(c.light, light, sizeof c.light);
  c.scale = scale;
  return true;
}

// The base of the vertex pointer: an offset into the volume's buffer object
// (uploaded when the vertices changed), or client memory.
const void* BindVolume(Engine3D& e, ShadowVolumeCache& c) {
  if (!BufferObjectsUsable(e)) return c.vertices.data();
  if (c.vertexBuffer == 0) gl::GenBuffersARB(1, &c.vertexBuffer);
  gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, c.vertexBuffer);
  if (!c.uploaded) {
    gl::BufferDataARB(GL_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(c.vertices.count()) * sizeof(float),
                      c.vertices.data(), GL_DYNAMIC_DRAW_ARB);
    c.uploaded = true;
  }
  return nullptr;
}

// The two stencil passes over the kept volume: front faces count up, back
// faces down.
void DrawVolumePasses(Engine3D& e, ShadowVolumeCache& c) {
  SwitchGLState(kStateDepthTest, true);
  glDepthFunc(GL_LESS);
  const bool lighting = CachedGLState(kStateLighting) == kGLStateOn;
  SwitchGLState(kStateLighting, false);
  // The passes count front and back faces of the volume apart, which needs
  // culling with the meshes' own (clockwise) front faces whatever the
  // program's cull mode is.
  SwitchGLState(kStateCullFace, true);
  glFrontFace(GL_CW);
  glStencilFunc(GL_ALWAYS, 0, ~0u);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(4, GL_FLOAT, 0, BindVolume(e, c));
  for (int pass = 0; pass < 2; ++pass) {
    glCullFace(pass == 0 ? GL_BACK : GL_FRONT);
    glStencilOp(GL_KEEP, GL_KEEP, pass == 0 ? GL_INCR : GL_DECR);
    if (c.quadVertices + c.capVertices > 0) glDrawArrays(GL_QUADS, 0, c.quadVertices + c.capVertices);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  if (BufferObjectsUsable(e)) gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glCullFace(GL_BACK);
  ApplyCullMode(e);
  if (lighting) SwitchGLState(kStateLighting, true);
}

}  // namespace

void DrawShadowVolume(Engine3D& e, MeshObjectX& mesh, int32_t frame, const float light[3],
                      const float casterLow[3], const float casterHigh[3]) {
  if (mesh.frames.count() == 0 || mesh.shadowEdges.count() == 0) return;
  // The edge list belongs to frame 0's triangles; another frame can stand in
  // only when it has as many.
  int32_t used = 0;
  if (frame > 0 && frame < mesh.frames.count() &&
      mesh.frames[frame].triangles.count() == mesh.frames[0].triangles.count())
    used = frame;
  const GrowList<MeshVertex>& list = mesh.frames[used].triangles;
  const int32_t triangles = list.count() / 3;
  if (triangles * 3 != mesh.shadowEdges.count() || mesh.facing.count() != triangles) return;
  const float scale = PullScale(e, casterLow, casterHigh);
  if (scale < 0.0f) return;
  if (!UpdateVolume(e, mesh, used, list.data(), triangles, light, scale)) return;
  NoteVolumeBounds(e, casterLow, casterHigh, scale);
  DrawVolumePasses(e, mesh.shadowVolume);
  ++e.stats.shadowVolumes;
}
