// The movement stack: the per-level transforms applied to the next objects drawn.
#include <cstring>

#include "core/basic_array.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"

namespace {

void ResetLevelToIdentity(MovementLevel& level) {
  level.matrixCount = 0;
  level.rotationCount = 0;
  level.scale[0] = level.scale[1] = level.scale[2] = 1.0f;
  level.translation[0] = level.translation[1] = level.translation[2] = 0.0f;
  math3d::Identity(level.base);
  math3d::Identity(level.composed);
  level.composedFlag = 1;
}

}  // namespace

void ResetMovementStack(Engine3D& e) {
  e.movementIndex = 0;
  ResetLevelToIdentity(e.levels[0]);
}

void ResetMovementLevel(Engine3D& e) {
  MovementLevel& level = e.levels[e.movementIndex];
  if (e.movementIndex > 0)
    std::memcpy(level.base, e.levels[e.movementIndex - 1].composed, sizeof level.base);
  else
    math3d::Identity(level.base);
  level.rotationCount = 0;
  level.matrixCount = 0;
  level.composedFlag = 0;
}

void ComposeMovementLevel(Engine3D& e) {
  MovementLevel& level = e.levels[e.movementIndex];
  if (level.composedFlag == 1) return;
  float m[16];
  std::memcpy(m, level.base, sizeof m);
  for (int32_t i = 0; i < level.matrixCount; ++i) math3d::MultiplyInPlace(m, level.matrices[i]);
  if (level.translation[0] != 0.0f || level.translation[1] != 0.0f || level.translation[2] != 0.0f) {
    float t[16];
    math3d::Identity(t);
    t[12] = level.translation[0];
    t[13] = level.translation[1];
    t[14] = level.translation[2];
    math3d::MultiplyInPlace(m, t);
  }
  for (int32_t i = level.rotationCount - 1; i >= 0; --i) {
    const float* rot = level.rotations[i];
    float r[16];
    if (math3d::RotationMatrix(rot[0], rot[1], rot[2], rot[3], r)) math3d::MultiplyInPlace(m, r);
  }
  if (level.scale[0] != 1.0f || level.scale[1] != 1.0f || level.scale[2] != 1.0f) {
    float s[16];
    math3d::Identity(s);
    s[0] = level.scale[0];
    s[5] = level.scale[1];
    s[10] = level.scale[2];
    math3d::MultiplyInPlace(m, s);
  }
  std::memcpy(level.composed, m, sizeof m);
  level.composedFlag = 1;
}

void SetMovementTranslation(Number x, Number y, Number z) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  ResetMovementLevel(*e);
  MovementLevel& level = e->levels[e->movementIndex];
  level.translation[0] = static_cast<float>(x);
  level.translation[1] = static_cast<float>(y);
  level.translation[2] = static_cast<float>(z);
}

void SetMovementScale(Number x, Number y, Number z) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  ResetMovementLevel(*e);
  MovementLevel& level = e->levels[e->movementIndex];
  level.scale[0] = static_cast<float>(x);
  level.scale[1] = static_cast<float>(y);
  level.scale[2] = static_cast<float>(z);
}

void AddMovementRotation(Number angle, Number ax, Number ay, Number az) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  MovementLevel& level = e->levels[e->movementIndex];
  if (level.rotationCount >= kMovementEntryLimit) return;
  float* rot = level.rotations[level.rotationCount++];
  rot[0] = static_cast<float>(angle);
  rot[1] = static_cast<float>(ax);
  rot[2] = static_cast<float>(ay);
  rot[3] = static_cast<float>(az);
  // Without this a rotation added to a level that is already composed (right
  // after Begin3D, SetCamera or PushMovement) would never be applied.
  level.composedFlag = 0;
}

void MultiplyMovementMatrix(const BasicArray<double>& matrix) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  if (matrix.dims != 1 || matrix.d1 != 16 || matrix.data == nullptr) return;
  MovementLevel& level = e->levels[e->movementIndex];
  level.composedFlag = 0;
  if (level.matrixCount >= kMovementEntryLimit) return;  // a 17th matrix is ignored
  float* m = level.matrices[level.matrixCount++];
  for (int32_t i = 0; i < 16; ++i) m[i] = static_cast<float>(matrix.Elements()[i]);
}

void PushMovement() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr || e->movementIndex >= MOVEMENT_LEVEL_COUNT - 1) return;
  ComposeMovementLevel(*e);
  const float* below = e->levels[e->movementIndex].composed;
  ++e->movementIndex;
  MovementLevel& level = e->levels[e->movementIndex];
  ResetLevelToIdentity(level);
  std::memcpy(level.base, below, sizeof level.base);
  std::memcpy(level.composed, below, sizeof level.composed);
}

void PopMovement() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  if (e->movementIndex > 0)
    --e->movementIndex;
  else
    ResetLevelToIdentity(e->levels[0]);
}

void GetMovementMatrix(BasicArray<double>& matrix) {
  DimArray(matrix, 16);
  Engine3D* e = TheEngine3D();
  if (e == nullptr || matrix.data == nullptr) return;
  ComposeMovementLevel(*e);
  for (int32_t i = 0; i < 16; ++i) matrix.Elements()[i] = e->levels[e->movementIndex].composed[i];
}
