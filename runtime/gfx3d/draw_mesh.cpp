// Drawing mesh objects: texture choice, animation frames and blending,
// frustum rejection, vertex arrays (in buffer objects when the GL has them),
// and the bump-map and cel-shading paths with the cel outline.
#include <cmath>
#include <cstring>

#include "core/basic_array.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/bridge2d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {

constexpr GLsizei kStride = static_cast<GLsizei>(sizeof(MeshVertex));

// The cel texture: a row per palette colour, a column per ramp step. Ramps
// up to kCelShortRamp long get kCelTextureWidth columns, longer ones four per
// step (a power of two, at most kCelTextureMaxWidth).
constexpr uint32_t kCelTextureMaxHeight = 32768;
constexpr uint32_t kCelTextureWidth = 64;
constexpr uint32_t kCelTextureMaxWidth = 512;
constexpr size_t kCelShortRamp = 16;

bool HasMultitexture() { return gl::ActiveTextureARB != nullptr && gl::ClientActiveTextureARB != nullptr; }

// An attribute pointer: an offset into the bound buffer, or client memory.
inline const void* At(const void* base, size_t offset) {
  return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(base) + offset);
}

uint32_t TextureName(int32_t id, const uint32_t* table, int32_t tableCount) {
  if (table != nullptr) return id >= 0 && id < tableCount ? table[id] : 0;
  return SpriteTextureName(id);
}

inline void Normalise(float v[3]) {
  const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0.0f) {
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
  }
}

uint32_t NextPowerOfTwo(uint32_t v) {
  uint32_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

void BuildCelTexture(Engine3D& e, MeshObject& mesh) {
  const int32_t paletteCount = mesh.palette.count();
  uint32_t height = NextPowerOfTwo(paletteCount > 0 ? static_cast<uint32_t>(paletteCount) : 1u);
  if (height > kCelTextureMaxHeight) height = kCelTextureMaxHeight;
  const size_t rampLength = e.celRamp.size();
  uint32_t width = kCelTextureWidth;
  if (rampLength > kCelShortRamp) {
    width = NextPowerOfTwo(static_cast<uint32_t>(rampLength * 4));
    if (width > kCelTextureMaxWidth) width = kCelTextureMaxWidth;
  }
  std::vector<uint8_t> texels(static_cast<size_t>(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    const int32_t code = paletteCount == 0 ? kColourWhite
                         : static_cast<int32_t>(y) < paletteCount ? mesh.palette[static_cast<int32_t>(y)]
                                                                  : mesh.palette[0];
    float rgba[4];
    PackedColourFloats(code, rgba);
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t ramp = e.celRamp[x * rampLength / width];
      uint8_t* t = &texels[(static_cast<size_t>(y) * width + x) * 4];
      for (int c = 0; c < 3; ++c) {
        const uint32_t channel = static_cast<uint32_t>(rgba[c] * 255.0f + 0.5f);
        t[c] = static_cast<uint8_t>(channel * ramp / 255u);
      }
      t[3] = 255;
    }
  }
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glGenTextures(1, &mesh.celTexture);
  glBindTexture(GL_TEXTURE_2D, mesh.celTexture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, texels.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  mesh.celRowScale = 1.0f / static_cast<float>(height);
}

// Binds and (for the streaming slot, or a slot without a name yet) uploads
// the records; returns the base for the array pointers.
const void* PrepareBuffer(Engine3D& e, uint32_t* name, bool isStatic, const MeshVertex* records, int32_t count) {
  if (!BufferObjectsUsable(e)) return records;
  const GLsizeiptrARB bytes = static_cast<GLsizeiptrARB>(count) * kStride;
  if (*name == 0) {
    gl::GenBuffersARB(1, name);
    gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, *name);
    gl::BufferDataARB(GL_ARRAY_BUFFER_ARB, bytes, records, isStatic ? GL_STATIC_DRAW_ARB : GL_STREAM_DRAW_ARB);
  } else if (isStatic) {
    gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, *name);
  } else {
    gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, *name);
    gl::BufferDataARB(GL_ARRAY_BUFFER_ARB, bytes, records, GL_STREAM_DRAW_ARB);
  }
  return nullptr;
}

void TexCoordArray(GLenum unit, const void* base, size_t offset) {
  if (HasMultitexture()) gl::ClientActiveTextureARB(unit);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, kStride, At(base, offset));
}

void DisableClientArrays() {
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  if (HasMultitexture()) {
    gl::ClientActiveTextureARB(GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl::ClientActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void DrawOutline(Engine3D& e, MeshObjectX& mesh, const MeshFrame& frameA, const float* inverse, int32_t count,
                 const uint32_t* table) {
  float eye[3];
  math3d::TransformPoint(inverse, e.cameraPosition, eye);
  const float dx = eye[0] - frameA.centre[0], dy = eye[1] - frameA.centre[1], dz = eye[2] - frameA.centre[2];
  float w = e.viewTangent * std::sqrt(dx * dx + dy * dy + dz * dz) * 0.003f;
  for (int32_t i = 0; i <= e.movementIndex; ++i) {
    const float* lm = e.levels[i].composed;
    float mean = 0.0f;
    for (int c = 0; c < 3; ++c)
      mean += std::sqrt(lm[c * 4] * lm[c * 4] + lm[c * 4 + 1] * lm[c * 4 + 1] + lm[c * 4 + 2] * lm[c * 4 + 2]);
    mean /= 3.0f;
    if (mean > 0.0f) w /= mean * mean;
  }
  if (w > frameA.radius * 0.5f) return;
  if (w < 1e-7f) w = 1e-7f;

  e.cullMode = -e.cullMode;
  ApplyCullMode(e);
  MeshVertex* records = mesh.drawBuffer.data();
  for (int32_t i = 0; i < count; ++i) {
    records[i].x += w * records[i].nx;
    records[i].y += w * records[i].ny;
    records[i].z += w * records[i].nz;
  }
  const void* base = PrepareBuffer(e, &mesh.streamBuffer, false, records, count);
  Bind2DTextures(-1, -1, 0, nullptr);
  const bool lighting = CachedGLState(kStateLighting) == kGLStateOn;
  SwitchGLState(kStateLighting, false);
  SwitchGLState(kStateColorMaterial, true);
  glColor3f(0, 0, 0);
  glDepthFunc(GL_LEQUAL);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, At(base, 0));
  glDrawArrays(GL_TRIANGLES, 0, count);
  glDisableClientState(GL_VERTEX_ARRAY);
  if (BufferObjectsUsable(e)) gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  glDepthFunc(GL_LESS);
  BindMeshTextures(e, e.boundTexture1, e.boundTexture2, table != nullptr ? 0 : e.alternateTextures, table);
  if (lighting) SwitchGLState(kStateLighting, true);
  e.cullMode = -e.cullMode;
  ApplyCullMode(e);
}

}  // namespace

// ---------------------------------------------------------------- helpers

bool BufferObjectsUsable(const Engine3D& e) {
  return e.bufferObjectsAllowed && gl::GenBuffersARB != nullptr && gl::BindBufferARB != nullptr &&
         gl::BufferDataARB != nullptr && gl::DeleteBuffersARB != nullptr;
}

void BindMeshTextures(Engine3D& e, int32_t id, int32_t id2, int32_t alternate, const uint32_t* table) {
  Bind2DTextures(id, id2, alternate, table);
  e.boundTexture1 = id;
  e.boundTexture2 = id2;
}

void ChooseAnimationFrames(int32_t from, int32_t to, float blend, bool interpolate, int32_t frameCount,
                           int32_t* frameA, int32_t* frameB, float* weight) {
  int32_t a = to, b = from;
  float t = blend;
  if (interpolate) {
    if (t > 1.0f || t < 0.0f) t = std::fabs(std::fmod(t, 1.0f));
    const float p = static_cast<float>(to - from) * t + static_cast<float>(from);
    const int32_t i = static_cast<int32_t>(p);
    if (from < to) {
      a = i;
      b = i + 1;
      t = 1.0f - (p - static_cast<float>(i));
    } else if (from > to) {
      a = i + 1;
      b = i;
      t = p - static_cast<float>(i);
    } else {
      a = b = from;
      t = 0.0f;
    }
  }
  const int32_t last = frameCount - 1;
  a = a < 0 ? 0 : a > last ? last : a;
  b = b < 0 ? 0 : b > last ? last : b;
  *frameA = a;
  *frameB = b;
  *weight = t;
}

bool SphereInFrustum(const float planes[6][4], const float centre[3], float radius) {
  for (int p = 0; p < 6; ++p) {
    const float d = planes[p][0] * centre[0] + planes[p][1] * centre[1] + planes[p][2] * centre[2] + planes[p][3];
    if (d < -radius) return false;
  }
  return true;
}

// ---------------------------------------------------------------- drawing one mesh

namespace {

// The frame's box carried into world space by the movement matrix m
// (column-major): the box around the moved box.
void WorldBox(const float m[16], const MeshFrame& frame, float low[3], float high[3]) {
  float centre[3], extent[3];
  for (int k = 0; k < 3; ++k) {
    centre[k] = (frame.boxMin[k] + frame.boxMax[k]) * 0.5f;
    extent[k] = (frame.boxMax[k] - frame.boxMin[k]) * 0.5f;
  }
  float world[3];
  math3d::TransformPoint(m, centre, world);
  for (int row = 0; row < 3; ++row) {
    const float reach = std::fabs(m[row]) * extent[0] + std::fabs(m[4 + row]) * extent[1] +
                        std::fabs(m[8 + row]) * extent[2];
    low[row] = world[row] - reach;
    high[row] = world[row] + reach;
  }
}

void AddReceiver(Engine3D& e, const float m[16], const MeshFrame& frame) {
  float low[3], high[3];
  WorldBox(m, frame, low, high);
  for (int k = 0; k < 3; ++k) {
    if (!e.haveReceivers || low[k] < e.receiverMin[k]) e.receiverMin[k] = low[k];
    if (!e.haveReceivers || high[k] > e.receiverMax[k]) e.receiverMax[k] = high[k];
  }
  e.haveReceivers = true;
}

// Frustum test of frame A's sphere moved by m; a visible object drawn
// plainly widens the receivers' box. False: the object is not drawn (shadow
// mode draws the volume of an object out of view as well).
bool NoteVisibility(Engine3D& e, const MeshObjectX& mesh, const float m[16], int32_t a, int32_t b,
                    bool shadowMode) {
  float centre[3];
  math3d::TransformPoint(m, mesh.frames[a].centre, centre);
  const float radius = mesh.frames[a].radius * (math3d::IsIdentity(m) ? 1.0f : math3d::LargestColumnLength(m));
  if (!SphereInFrustum(e.planes, centre, radius)) {
    ++e.stats.objectsRejected;
    // A shadow can fall into view from an object that is not.
    return shadowMode;
  }
  if (!shadowMode) {
    AddReceiver(e, m, mesh.frames[a]);
    if (b != a) AddReceiver(e, m, mesh.frames[b]);
  }
  return true;
}

// The normals, cel texture or edge list the current effect needs.
void PrepareEffect(Engine3D& e, MeshObjectX& mesh) {
  bool rebuilt = false;
  if (e.effectMode == kEffectCelShade) {
    rebuilt = ComputeMeshNormals(mesh, true, false, false);
    if (mesh.celTexture == 0) BuildCelTexture(e, mesh);
  } else if (e.effectMode == kEffectBumpMap) {
    rebuilt = ComputeMeshNormals(mesh, true, e.normalMode == kNormalsSmooth, true);
  } else if (e.effectMode == kEffectShadows) {
    rebuilt = ComputeMeshNormals(mesh, true, false, false);
    if (mesh.shadowEdges.count() == 0) BuildShadowEdges(mesh);
  }
  // New normals must reach the uploaded copy of frame 0 as well.
  if (rebuilt) ReleaseMeshBuffers(mesh);
}

void DrawMeshShadow(Engine3D& e, MeshObjectX& mesh, const float m[16], int32_t a, const float lightObj[3]) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixf(m);
  Bind2DTextures(-1, -1, 0, nullptr);
  float casterLow[3], casterHigh[3];
  WorldBox(m, mesh.frames[a], casterLow, casterHigh);
  DrawShadowVolume(e, mesh, a, lightObj, casterLow, casterHigh);
  glPopMatrix();
}

bool UsesEffectArrays(const Engine3D& e, bool multi) {
  return e.effectFlag && multi && (e.effectMode == kEffectBumpMap || e.effectMode == kEffectCelShade);
}

// The records a draw sends and the buffer slot they go through.
struct DrawSource {
  const MeshVertex* records = nullptr;
  int32_t count = 0;
  uint32_t* bufferName = nullptr;
  bool isStatic = false;
};

// Makes the draw buffer frame A's records (blended towards frame B when
// t != 0) with the texture offset added; false when there is no memory.
bool FillDrawBuffer(Engine3D& e, MeshObjectX& mesh, const MeshFrame& frameA, const MeshFrame& frameB, float t) {
  if (!EnsureDrawBuffer(mesh)) return false;
  const int32_t count = frameA.triangles.count();
  GrowList<MeshVertex>& draw = mesh.drawBuffer;
  const int32_t had = draw.count();
  if (had < count) {
    if (!draw.Reserve(count)) return false;
    draw.SetCountUnchecked(count);
  } else if (had > count) {
    draw.Truncate(count);
  }
  MeshVertex* out = draw.data();
  const MeshVertex* ra = frameA.triangles.data();
  if (t != 0.0f) {
    // Records the buffer did not have yet start as copies of frame A.
    if (had < count) std::memcpy(out + had, ra + had, sizeof(MeshVertex) * static_cast<size_t>(count - had));
    const int32_t blendCount = frameB.triangles.count() < count ? frameB.triangles.count() : count;
    const MeshVertex* rb = frameB.triangles.data();
    const float s = 1.0f - t;
    for (int32_t i = 0; i < blendCount; ++i) {
      out[i].x = ra[i].x * t + rb[i].x * s;
      out[i].y = ra[i].y * t + rb[i].y * s;
      out[i].z = ra[i].z * t + rb[i].z * s;
      out[i].nx = ra[i].nx * t + rb[i].nx * s;
      out[i].ny = ra[i].ny * t + rb[i].ny * s;
      out[i].nz = ra[i].nz * t + rb[i].nz * s;
    }
  } else {
    std::memcpy(out, ra, sizeof(MeshVertex) * static_cast<size_t>(count));
  }
  for (int32_t i = 0; i < count; ++i) {
    out[i].u += e.textureOffsetU;
    out[i].v += e.textureOffsetV;
  }
  return true;
}

// The per-vertex terms of the bump-map path (the tangent-space light vector)
// or the cel path (the ramp coordinates), for the light at lightObj.
void WriteEffectTerms(const Engine3D& e, const MeshObjectX& mesh, MeshVertex* out, int32_t count,
                      const MeshFrame& tangentFrame, const float lightObj[3]) {
  const int32_t tangentCount = tangentFrame.triangles.count();
  for (int32_t i = 0; i < count; ++i) {
    MeshVertex& v = out[i];
    float l[3] = {lightObj[0] - v.x, lightObj[1] - v.y, lightObj[2] - v.z};
    Normalise(l);
    if (e.effectMode == kEffectBumpMap) {
      const MeshVertex& src = i < tangentCount ? tangentFrame.triangles[i] : v;
      const float tl = src.tx * l[0] + src.ty * l[1] + src.tz * l[2];
      const float bl = src.bx * l[0] + src.by * l[1] + src.bz * l[2];
      const float nl = v.nx * l[0] + v.ny * l[1] + v.nz * l[2];
      v.lx = tl * 0.5f + 0.5f;
      v.ly = bl * 0.5f + 0.5f;
      v.lz = nl * 0.5f + 0.5f;
    } else {
      // The ramp column is the diffuse term of the light at the vertex.
      float nl = v.nx * l[0] + v.ny * l[1] + v.nz * l[2];
      nl = nl < 0.05f ? 0.05f : nl > 0.95f ? 0.95f : nl;
      v.bx = nl;
      v.by = (static_cast<float>(v.paletteIndex) + 0.5f) * mesh.celRowScale;
    }
  }
}

// Frame A's triangle list as it is, when nothing changes it; else the draw
// buffer filled from it. False when the draw buffer cannot be had.
bool ChooseDrawSource(Engine3D& e, MeshObjectX& mesh, int32_t a, int32_t b, float t, const float lightObj[3],
                      bool multi, DrawSource* source) {
  const MeshFrame& frameA = mesh.frames[a];
  const MeshFrame& frameB = mesh.frames[b];
  const bool direct = !e.effectFlag && t == 0.0f && e.textureOffsetU == 0.0f && e.textureOffsetV == 0.0f;
  if (direct) {
    source->records = frameA.triangles.data();
    source->count = frameA.triangles.count();
    source->isStatic = a == 0;
    source->bufferName = source->isStatic ? &mesh.staticBuffer : &mesh.streamBuffer;
    return true;
  }
  if (!FillDrawBuffer(e, mesh, frameA, frameB, t)) return false;
  const int32_t count = frameA.triangles.count();
  if (UsesEffectArrays(e, multi))
    WriteEffectTerms(e, mesh, mesh.drawBuffer.data(), count, t != 0.0f ? frameB : frameA, lightObj);
  source->records = mesh.drawBuffer.data();
  source->count = count;
  source->isStatic = false;
  source->bufferName = &mesh.streamBuffer;
  return true;
}

// Texture coordinate and colour arrays (and the texture units' set-up) of
// a plain, bump-mapped or cel-shaded draw.
void SetUpArrays(const Engine3D& e, const MeshObjectX& mesh, const void* base, bool multi, const uint32_t* table,
                 int32_t tableCount) {
  if (!UsesEffectArrays(e, multi)) {
    if (e.boundTexture1 >= 0) {
      if (e.boundTexture2 >= 0 && multi) {
        gl::ActiveTextureARB(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, TextureName(e.boundTexture2, table, tableCount));
        TexCoordArray(GL_TEXTURE1_ARB, base, offsetof(MeshVertex, u));
        gl::ActiveTextureARB(GL_TEXTURE0_ARB);
        glBindTexture(GL_TEXTURE_2D, TextureName(e.boundTexture1, table, tableCount));
      }
      TexCoordArray(GL_TEXTURE0_ARB, base, offsetof(MeshVertex, u));
    }
    if (mesh.hasColours) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(4, GL_FLOAT, kStride, At(base, offsetof(MeshVertex, r)));
    }
  } else if (e.effectMode == kEffectBumpMap) {
    gl::ActiveTextureARB(GL_TEXTURE1_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    TexCoordArray(GL_TEXTURE1_ARB, base, offsetof(MeshVertex, u));
    gl::ActiveTextureARB(GL_TEXTURE0_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB_EXT);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PRIMARY_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
    TexCoordArray(GL_TEXTURE0_ARB, base, offsetof(MeshVertex, u));
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, kStride, At(base, offsetof(MeshVertex, lx)));
  } else {
    gl::ActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, mesh.celTexture);
    TexCoordArray(GL_TEXTURE1_ARB, base, offsetof(MeshVertex, bx));
    gl::ActiveTextureARB(GL_TEXTURE0_ARB);
    if (e.boundTexture1 >= 0) TexCoordArray(GL_TEXTURE0_ARB, base, offsetof(MeshVertex, u));
  }
}

// The draw call itself, with normals and sphere mapping as the state asks;
// the client arrays and the buffer binding are undone afterwards.
void DrawTriangleArrays(Engine3D& e, const void* base, int32_t count) {
  if (e.lightMask != 0 || e.sphereMap != 0) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, kStride, At(base, offsetof(MeshVertex, nx)));
  }
  if (e.sphereMap) {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
  }
  glDrawArrays(GL_TRIANGLES, 0, count);
  e.stats.trianglesDrawn += static_cast<uint64_t>(count / 3);
  if (e.sphereMap) {
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
  }
  DisableClientArrays();
  if (BufferObjectsUsable(e)) gl::BindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
}

}  // namespace

void DrawMeshObject(Engine3D& e, MeshObjectX& mesh, int32_t from, int32_t to, float blend, bool interpolate,
                    const uint32_t* table, int32_t tableCount) {
  if (mesh.frames.count() == 0 || mesh.frames[0].strips.count() == 0 || mesh.frames[0].triangles.count() == 0)
    return;
  int32_t a = 0, b = 0;
  float t = 0.0f;
  ChooseAnimationFrames(from, to, blend, interpolate, mesh.frames.count(), &a, &b, &t);

  ComposeMovementLevel(e);
  const float* m = e.levels[e.movementIndex].composed;
  const bool shadowMode = e.effectFlag && e.effectMode == kEffectShadows;
  if (!NoteVisibility(e, mesh, m, a, b, shadowMode)) return;
  Renderer* r = e.renderer;
  const float alpha = r != nullptr ? r->globalAlpha : 1.0f;
  glColor4f(1, 1, 1, alpha);
  SwitchGLState(kStateColorMaterial, true);
  if (e.effectFlag) PrepareEffect(e, mesh);

  float inverse[16];
  float lightObj[3] = {0, 0, 0};
  if (e.effectFlag) {
    if (!math3d::Invert(m, inverse)) math3d::Identity(inverse);
    math3d::TransformPoint(inverse, e.effectLight, lightObj);
  }
  if (shadowMode) {
    DrawMeshShadow(e, mesh, m, a, lightObj);
    return;
  }
  ++e.stats.objectsDrawn;

  const bool multi = HasMultitexture();
  DrawSource source;
  if (!ChooseDrawSource(e, mesh, a, b, t, lightObj, multi, &source)) return;
  const int32_t count = source.count;
  if (count <= 0) return;

  const void* base = PrepareBuffer(e, source.bufferName, source.isStatic, source.records, count);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, At(base, offsetof(MeshVertex, x)));
  SetUpArrays(e, mesh, base, multi, table, tableCount);

  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixf(m);
  DrawTriangleArrays(e, base, count);

  if (e.effectFlag && e.effectMode == kEffectCelShade && e.cullMode != kCullNone)
    DrawOutline(e, mesh, mesh.frames[a], inverse, count, table);

  if (multi) {
    gl::ActiveTextureARB(GL_TEXTURE1_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl::ActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glPopMatrix();
  SwitchGLState(kStateColorMaterial, false);
  glColor4f(1, 1, 1, alpha);
}
