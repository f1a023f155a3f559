// Revazoro3D, the one 3D engine of the process (`Engine3D`): the mesh object
// table, the projection and camera, the movement stack, lights, effects and
// the drawing state. Start-up creates it with the renderer; the operations in
// gfx3d.h work on it and do nothing before it exists.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "gfx2d/renderer.h"
#include "gfx3d/engine.h"
#include "gfx3d/internal/grow_list.h"
#include "gfx3d/internal/mesh.h"

// Levels of the movement stack.
constexpr int32_t MOVEMENT_LEVEL_COUNT = 16;
constexpr int32_t kMovementEntryLimit = 16;  // rotations or matrices per level

// Drawing effects (effectMode), chosen by SetLight with a negative id.
constexpr uint8_t kEffectNone = 0;
constexpr uint8_t kEffectBumpMap = 1;
constexpr uint8_t kEffectCelShade = 2;
constexpr uint8_t kEffectShadows = 3;
// The negative light ids naming an effect; every other negative id selects
// cel shading.
constexpr int32_t kBumpMapLightId = -1;
constexpr int32_t kShadowLightId = -3;

// Normal modes (normalMode) of the meshes closed next.
constexpr int32_t kNormalsNone = 0;
constexpr int32_t kNormalsFlat = 1;
constexpr int32_t kNormalsSmooth = 2;

// Cull modes (cullMode): which winding is the front face that stays.
constexpr int32_t kCullNone = 0;
constexpr int32_t kCullClockwise = 1;
constexpr int32_t kCullCounterClockwise = -1;

// GL lights the engine uses; a light id is taken modulo this.
constexpr int32_t kLightCount = 8;

// One level of the movement stack: its matrices, rotations, scale and translation.
struct MovementLevel {
  int32_t matrixCount = 0;
  float matrices[kMovementEntryLimit][16];
  int32_t rotationCount = 0;
  float rotations[kMovementEntryLimit][4];  // angle (degrees), axis x, y, z
  float scale[3] = {1, 1, 1};
  float translation[3] = {0, 0, 0};
  // The level starts from `base` (the levels below, composed); `composed` is
  // base with this level's own transforms applied. They are kept apart so a
  // level can be composed again after a further rotation or matrix.
  float base[16];
  float composed[16];
  int32_t composedFlag = 1;
};

// Counters the tests and benchmarks read.
struct DrawStatistics {
  uint64_t objectsDrawn = 0;
  uint64_t objectsRejected = 0;
  uint64_t shadowVolumes = 0;
  uint64_t shadowVolumesBuilt = 0;  // volumes whose silhouette was found anew
  uint64_t trianglesDrawn = 0;
};

// The engine's state (see above).
class Revazoro3D {
 public:
  explicit Revazoro3D(Renderer* renderer);
  Revazoro3D(const Revazoro3D&) = delete;
  Revazoro3D& operator=(const Revazoro3D&) = delete;

  Renderer* renderer;

  // ------------------------------------------------ objects
  GrowList<MeshSlot> slots{128, 512};
  int32_t currentFrame = 0;
  int32_t normalMode = kNormalsSmooth;
  int32_t meshBeingBuilt = -1;

  // ------------------------------------------------ projection and camera
  float nearPlane = 1.0f, farPlane = 1000.0f;
  float viewTangent = 1.0f;
  float projection[16];
  float camera[16];
  float planes[6][4];  // right, left, bottom, top, far, near
  float cameraPosition[3] = {0, 0, 0};
  float cameraTarget[3] = {0, 0, -1};
  float cameraUp[3] = {0, 1, 0};
  int32_t cullMode = kCullNone;
  uint8_t shadowPass = 0;
  // The stencil buffer holds counts of an earlier shadow pass. It is cleared
  // together with the depth buffer where that is cleared anyway (one clear
  // of both costs less than either alone) and otherwise only when the next
  // shadow pass needs it clean.
  bool stencilDirty = true;
  // Where the current shadow pass's volumes lie on screen: the darkening at
  // the pass's end fills only that rectangle (stencil counts are zero
  // everywhere else). worldToClip and viewport are taken when the pass
  // starts; shadowNdc holds min x, min y, max x, max y.
  float worldToClip[16];
  int32_t shadowViewport[4] = {0, 0, 0, 0};
  bool shadowBoundsAny = false;
  bool shadowBoundsAll = false;
  float shadowNdc[4] = {0, 0, 0, 0};

  // ------------------------------------------------ lights and effects
  uint8_t lightMask = 0;
  uint8_t sphereMap = 0;
  uint8_t effectFlag = 0;
  uint8_t effectMode = kEffectNone;
  int32_t effectColour = 0;
  float effectLight[3] = {0, 0, 0};

  // ------------------------------------------------ movement
  int32_t movementIndex = 0;
  MovementLevel levels[MOVEMENT_LEVEL_COUNT];

  // ------------------------------------------------ drawing
  float textureOffsetU = 0.0f, textureOffsetV = 0.0f;
  int32_t texture1 = -1, texture2 = -1;  // the ids SetMeshTextures remembers
  int32_t alternateTextures = 0;
  int32_t boundTexture1 = -1, boundTexture2 = -1;  // what the last bind selected
  std::vector<uint8_t> celRamp;
  // World-space box around the objects drawn plainly since Begin3D: the
  // surfaces a shadow can fall on. Shadow volumes need to reach no further.
  bool haveReceivers = false;
  float receiverMin[3] = {0, 0, 0};
  float receiverMax[3] = {0, 0, 0};
  bool bufferObjectsAllowed = true;  // false: client arrays even where buffers exist
  DrawStatistics stats;
};

// The name the rest of the runtime uses for the engine.
using Engine3D = Revazoro3D;

// The process-wide engine; null before CreateEngine3D.
Engine3D* TheEngine3D();

// The slot of an object number, or null outside the table.
MeshSlot* MeshSlotAt(int32_t id);

// Truncation toward zero; NaN and values beyond int32 give INT32_MIN, the
// value the FPU's conversion produces for them.
inline int32_t TruncToInt32(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// ---------------------------------------------------------------- internal steps

// Composes the current movement level if it is not composed yet.
void ComposeMovementLevel(Engine3D& e);
// Resets the current level for a new translation or scale.
void ResetMovementLevel(Engine3D& e);
// Level 0 back to identity, the index to 0.
void ResetMovementStack(Engine3D& e);
// The stencil-shadow pass switch; acts only when the state changes.
void SetShadowPass(Engine3D& e, bool on);
// Applies the stored cull mode to GL.
void ApplyCullMode(Engine3D& e);
// Sets the sampler uniforms of an active shader program, if there is one.
void SetShaderSamplers();
// The GL program UseShader selected (0: none, or no shader support).
uint32_t ShaderProgramInUse();
// Whether draws go through buffer objects: the GL has them and the engine
// has not been told to keep to client arrays.
bool BufferObjectsUsable(const Engine3D& e);
// Binds textures for a mesh draw and remembers what was bound.
void BindMeshTextures(Engine3D& e, int32_t id, int32_t id2, int32_t alternate, const uint32_t* table);
// Draws one mesh of a slot.
void DrawMeshObject(Engine3D& e, MeshObjectX& mesh, int32_t from, int32_t to, float blend, bool interpolate,
                    const uint32_t* table, int32_t tableCount);
// Widens the current shadow pass's screen rectangle by the world box
// low..high (the whole screen when the box reaches behind the eye).
void NoteShadowBounds(Engine3D& e, const float low[3], const float high[3]);
// The scissor box (window pixels: x, y, width, height) the darkening at the
// end of a bounded shadow pass fills: the volumes' rectangle, a pixel wider
// each way for rounding, its edges kept within a pixel of the viewport.
void ShadowScissorBox(const Engine3D& e, int32_t box[4]);
// Draws the shadow volume of a mesh for the light Lobj (object space) from
// frame `frame`'s triangles; casterLow and casterHigh: the box around the
// mesh in world space.
void DrawShadowVolume(Engine3D& e, MeshObjectX& mesh, int32_t frame, const float lightObj[3],
                      const float casterLow[3], const float casterHigh[3]);
// Frame choice of an animated draw: the frames A and B and the weight t of A.
void ChooseAnimationFrames(int32_t from, int32_t to, float blend, bool interpolate, int32_t frameCount,
                           int32_t* frameA, int32_t* frameB, float* weight);
// Whether a sphere (world centre, radius) lies inside all six planes.
bool SphereInFrustum(const float planes[6][4], const float centre[3], float radius);
// Flushes the vertex trace lines kept back by AddMeshVertex.
void FlushVertexTrace();
