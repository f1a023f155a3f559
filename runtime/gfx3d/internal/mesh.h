// Mesh objects: the vertex record, animation frames, the mesh classes and the
// slots of the object table, with the construction algorithms that run when an
// object is closed (palette, normals, triangle lists, bounds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gfx3d/internal/grow_list.h"

// One vertex. 23 four-byte fields, 92 bytes.
struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  float u, v;  // v is stored negated
  float lx, ly, lz;  // tangent-space light vector of the bump-map path
  float tx, ty, tz;
  float bx, by, bz;  // the cel path keeps its ramp coordinates here
  int32_t colour;    // packed colour, or a strip marker
  uint8_t paletteIndex;
  uint8_t padding[3];
  float r, g, b, a;
};

// The records go to OpenGL as interleaved arrays with stride 92.
static_assert(sizeof(MeshVertex) == 92, "vertex records are 92 bytes");
static_assert(offsetof(MeshVertex, x) == 0 && offsetof(MeshVertex, nx) == 12 &&
                  offsetof(MeshVertex, u) == 24 && offsetof(MeshVertex, lx) == 32 &&
                  offsetof(MeshVertex, tx) == 44 && offsetof(MeshVertex, bx) == 56 &&
                  offsetof(MeshVertex, colour) == 68 && offsetof(MeshVertex, paletteIndex) == 72 &&
                  offsetof(MeshVertex, r) == 76,
              "vertex field offsets are fixed");

// Strip markers: a vertex record with one of these colour codes starts a list of separate
// triangles, a strip or a fan.
constexpr int32_t MARK_TRIANGLE_LIST = -1;
constexpr int32_t MARK_TRIANGLE_STRIP = -2;
constexpr int32_t MARK_TRIANGLE_FAN = -3;

// Packed white: a mesh of only white (or reserved) codes has no colours.
constexpr int32_t kColourWhite = 0x00FFFFFF;

// Codes -4..-1 are reserved: white as a colour, markers for the normal walk.
inline bool IsReservedColour(int32_t code) { return static_cast<uint32_t>(code) >= 0xFFFFFFFCu; }

// A marker record: everything zero except white colour.
MeshVertex MarkerRecord(int32_t code);
// Colour floats of a packed colour; the reserved codes give white.
void PackedColourFloats(int32_t colour, float rgba[4]);
// Gives a record the packed colour and its colour floats.
void SetRecordColour(MeshVertex& record, int32_t colour);

// The search structure that collision tests build over a frame's triangles
// (collision_accel.cpp); dropped whenever the triangles change.
struct CollisionIndex;
// Frees a frame's collision index (its type is private to the collision code).
struct CollisionIndexDeleter {
  void operator()(CollisionIndex* index) const;
};

// One animation frame: the strip records as built, the triangle list made from them, the
// bounds and the collision index.
struct MeshFrame {
  GrowList<MeshVertex> strips{128, 512};
  GrowList<MeshVertex> triangles{128, 512};
  float radius = 0.0f;
  float centre[3] = {0.0f, 0.0f, 0.0f};
  // The box around the triangles' positions (both corners 0 when none).
  float boxMin[3] = {0.0f, 0.0f, 0.0f};
  float boxMax[3] = {0.0f, 0.0f, 0.0f};
  std::unique_ptr<CollisionIndex, CollisionIndexDeleter> collisionIndex;
};

// Per triangle edge: the triangle across the welded edge (-1: open edge) and
// whether the edge is on the silhouette for the current light. A triangle
// two of whose corners weld together (a sphere's pole, a cone's tip) has no
// area and takes no part in the volume: its edges name the triangle itself,
// and no other triangle takes it as a neighbour.
struct ShadowEdge {
  int32_t neighbour;
  int32_t silhouette;
};

// The shadow volume a mesh drew last, kept for its next draws. A volume
// depends only on the triangles, the light in object space and the pull
// away from it, so while none of them changes (in Polyvane only the camera
// moves) it is drawn again from the same vertices, in a buffer object where
// the GL has them.
struct ShadowVolumeCache {
  int32_t frame = -1;  // the frame whose triangles it was built from; -1: none kept
  float light[3] = {0, 0, 0};
  float scale = 0.0f;
  // x, y, z, w, drawn as quads: four corners for each silhouette quad, then
  // for each lit triangle its near cap and its far cap, each as a quad with
  // the last corner repeated
  GrowList<float> vertices{64, 64};
  int32_t quadVertices = 0;
  int32_t capVertices = 0;
  uint32_t vertexBuffer = 0;  // the GL buffer object holding the vertices
  bool uploaded = false;
};

// One mesh of an object: its frames, the draw buffer, the palette, the GL buffers and the
// data of the effects (cel texture, shadow edges).
class MeshObject {
 public:
  virtual void BuildTriangles() = 0;

  GrowList<MeshFrame> frames{128, 512};
  GrowList<MeshVertex> drawBuffer{128, 512};  // see EnsureDrawBuffer
  GrowList<int32_t> palette{128, 512};
  int32_t normalsDone = 0;
  int32_t tangentsDone = 0;
  int32_t hasColours = 0;
  uint32_t staticBuffer = 0;
  uint32_t streamBuffer = 0;
  uint32_t celTexture = 0;
  float celRowScale = 0.0f;
  GrowList<ShadowEdge> shadowEdges{64, 64};
  GrowList<uint8_t> facing{64, 64};
  ShadowVolumeCache shadowVolume;
  int32_t texture1Index = -1;
  int32_t texture2Index = -1;

 protected:
  MeshObject() = default;
  ~MeshObject() = default;  // meshes are only ever destroyed as MeshObjectX
  MeshObject(MeshObject&&) = default;
};

// The mesh class the object table holds.
class MeshObjectX final : public MeshObject {
 public:
  MeshObjectX() = default;
  MeshObjectX(MeshObjectX&&) = default;
  ~MeshObjectX() = default;
  void BuildTriangles() override;
};

// One entry of the object table: whether it holds an object, its meshes and their textures.
struct MeshSlot {
  uint8_t valid = 0;
  uint8_t multiPart = 0;
  GrowList<MeshObjectX> meshes{128, 512};
  GrowList<uint32_t> textures{128, 512};
};

// Entries of the object table (object numbers 0..MESH_SLOT_COUNT - 1).
constexpr int32_t MESH_SLOT_COUNT = 4096;

// ---------------------------------------------------------------- algorithms

// Collects the distinct colour codes of the mesh's strip records into its palette and gives
// each record its palette index.
void BuildColourPalette(MeshObject& mesh);
// Normals (flat or smooth) and, on request, tangents and bitangents of every
// frame; rebuilds the triangle lists when it ran. True when it ran.
bool ComputeMeshNormals(MeshObject& mesh, bool wantNormals, bool smooth, bool wantTangents);
// Centre (mean of the triangle records' positions) and radius of every frame;
// fresh: BuildTriangles has just run (and left the centres).
void ComputeFrameBounds(MeshObject& mesh, bool fresh = false);
// Makes the draw buffer a copy of frame 0's triangle list unless it holds
// records already; false when there is nothing to copy or no memory.
bool EnsureDrawBuffer(MeshObject& mesh);
// Empties every list of the mesh (freeing the blocks when freeMemory is set)
// and deletes its GL buffers and cel texture.
void ReleaseMesh(MeshObject& mesh, bool freeMemory);
// Releases every mesh of a slot and its textures, and marks the slot empty.
void ReleaseSlot(MeshSlot& slot);
// Makes a list empty with room for n records, keeping its block when that
// is not much larger than needed (a reloaded object reuses the memory of
// the one before). False when there is no memory.
template <typename T>
bool EmptyWithRoom(GrowList<T>& list, int64_t n) {
  list.Clear();
  if (list.capacity() > 2 * n + 4096) list.Free();
  return list.Reserve(n);
}
// Deletes the two buffer objects only (the next draw uploads again), and
// forgets the kept shadow volume.
void ReleaseMeshBuffers(MeshObject& mesh);
// Forgets the kept shadow volume and deletes its buffer objects (its lists'
// blocks freed when freeMemory is set).
void ForgetShadowVolume(MeshObject& mesh, bool freeMemory);

// The smooth-normal key of a position: the low 32 bits of
// trunc(x*256 + y*65536 + z*16777216) in extended precision.
uint32_t SmoothNormalKey(float x, float y, float z);

// For each record the index of the first record at or before it whose
// coordinates each differ by less than 0.00001 (itself when none).
void WeldPositions(const MeshVertex* records, int32_t count, int32_t* weldedIndex);
// Fills mesh.shadowEdges from frame 0's triangle list (three per triangle).
void BuildShadowEdges(MeshObject& mesh);
