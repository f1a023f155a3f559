// The 3D frame: projection, camera and view frustum, the movement stack,
// lights and effects, fog, culling, depth test and the stencil-shadow pass.
#include <cmath>
#include <limits>
#include <cstring>

#include "core/basic_array.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/internal/bridge2d.h"
#include "gfx3d/engine3d.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/math3d.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

uint32_t ActiveShaderProgram = 0;

namespace {

// tan(89°) in the engine's float arithmetic: the widest view tangent.
float WidestViewTangent() { return std::tan(1.5533430576f); }

void LoadCameraMatrix(Engine3D& e) {
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(e.camera);
}

void UpdateCamera(Engine3D& e) {
  math3d::LookAt(e.cameraPosition, e.cameraTarget, e.cameraUp, e.camera);
  LoadCameraMatrix(e);
}

void SetLightInternal(Engine3D& e, int32_t id, int32_t colour, const float pos[3], const float dir[3], float cutoff,
                      bool markers);

}  // namespace

void SetShaderSamplers() {
  if (ActiveShaderProgram == 0 || gl::GetUniformLocationARB == nullptr || gl::Uniform1iARB == nullptr) return;
  const GLint first = gl::GetUniformLocationARB(ActiveShaderProgram, "TextureID1");
  if (first >= 0) gl::Uniform1iARB(first, 0);
  const GLint second = gl::GetUniformLocationARB(ActiveShaderProgram, "TextureID2");
  if (second >= 0) gl::Uniform1iARB(second, 1);
}

void SelectNoShaderProgram() {
  if (gl::UseProgramObjectARB != nullptr) gl::UseProgramObjectARB(0);
  ActiveShaderProgram = 0;
}

void Leave3D() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  SetShadowPass(*e, false);
  if (e->renderer != nullptr) e->renderer->in3D = false;
}

// ---------------------------------------------------------------- movement stack

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

void GetCameraMatrix(BasicArray<double>& matrix) {
  DimArray(matrix, 16);
  Engine3D* e = TheEngine3D();
  if (e == nullptr || matrix.data == nullptr) return;
  for (int32_t i = 0; i < 16; ++i) matrix.Elements()[i] = e->camera[i];
}

void GetMovementMatrix(BasicArray<double>& matrix) {
  DimArray(matrix, 16);
  Engine3D* e = TheEngine3D();
  if (e == nullptr || matrix.data == nullptr) return;
  ComposeMovementLevel(*e);
  for (int32_t i = 0; i < 16; ++i) matrix.Elements()[i] = e->levels[e->movementIndex].composed[i];
}

// ---------------------------------------------------------------- frame set-up

void Begin3D(Number nearNumber, Number farNumber, Number fovNumber) {
  Engine3D* ep = TheEngine3D();
  if (ep == nullptr) return;
  Engine3D& e = *ep;
  Renderer* r = e.renderer;
  SetShadowPass(e, false);
  glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  e.stencilDirty = false;
  if (r != nullptr) r->in3D = true;
  e.haveReceivers = false;
  SetShadowPass(e, false);

  const float fov = static_cast<float>(fovNumber);
  e.viewTangent = fov + 5.0f <= 89.0f ? std::tan((fov + 5.0f) * 0.017453292f) : WidestViewTangent();
  e.nearPlane = static_cast<float>(nearNumber);
  e.farPlane = static_cast<float>(farNumber);
  e.cameraUp[0] = 0.0f;
  e.cameraUp[1] = 1.0f;
  e.cameraUp[2] = 0.0f;
  int32_t vx = 0, vy = 0, vw = 1, vh = 1;
  if (r != nullptr) {
    vx = r->viewportX;
    vy = r->viewportY;
    vw = r->viewportWidth;
    vh = r->viewportHeight;
  }
  const float aspect = vh != 0 ? static_cast<float>(vw) / static_cast<float>(vh) : 1.0f;

  int32_t targetW = 0, targetH = 0;
  if (r != nullptr && r->currentTarget >= 0 && ActiveTargetSize(&targetW, &targetH)) {
    glViewport(vx, targetH - vh - vy, vw, vh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
  } else {
    glMatrixMode(GL_PROJECTION);
    float m[16] = {0};
    m[10] = m[15] = 1.0f;
    const int32_t o = r != nullptr ? r->orientation : 0;
    const int32_t W = r != nullptr ? r->clientWidth : vw;
    const int32_t H = r != nullptr ? r->clientHeight : vh;
    int32_t px = vx, py = vy, pw = vw, ph = vh;
    switch (o) {
      case 1:
        m[1] = -1.0f;
        m[4] = 1.0f;
        px = W - vy - vh;
        py = vx;
        pw = vh;
        ph = vw;
        break;
      case 2:
        m[0] = m[5] = -1.0f;
        px = W - vx - vw;
        py = H - vy - vh;
        break;
      case 3:
        m[1] = 1.0f;
        m[4] = -1.0f;
        px = vy;
        py = H - vx - vw;
        pw = vh;
        ph = vw;
        break;
      default:
        m[0] = m[5] = 1.0f;
        break;
    }
    glLoadMatrixf(m);
    glViewport(px, H - ph - py, pw, ph);
  }

  const double n = e.nearPlane, f = e.farPlane;
  if (fov > 0.0f) {
    const float h = e.nearPlane * math3d::TanPolynomial(fov * 3.1415927f / 360.0f);
    const float a = aspect * h;
    math3d::FrustumMatrix(-a, a, -h, h, n, f, e.projection);
  } else {
    const float h = e.nearPlane * 100.0f * math3d::TanPolynomial(-fov * 3.1415927f / 360.0f);
    const float a = aspect * h;
    math3d::OrthoMatrix(-a, a, -h, h, n, f, e.projection);
    e.viewTangent = WidestViewTangent();
  }
  glMultMatrixf(e.projection);

  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  SwitchGLState(kStateCullFace, true);
  glFrontFace(GL_CCW);
  SwitchGLState(kStateFog, false);
  SwitchGLState(kStateLineSmooth, false);
  SwitchGLState(kStatePointSmooth, false);
  SwitchGLState(kStatePolygonSmooth, false);
  SwitchGLState(kStatePolygonOffsetPoint, false);
  SwitchGLState(kStateAutoNormal, false);
  SwitchGLState(kStateStencilTest, false);
  SwitchGLState(kStateNormalize, false);
  SwitchGLState(kStateLighting, false);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  glShadeModel(GL_SMOOTH);
  SwitchGLState(kStateDither, true);
  glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 0.0f);
  SwitchGLState(kStateDepthTest, true);
  glDepthFunc(GL_LESS);

  e.sphereMap = 0;
  e.effectFlag = 0;
  ResetMovementStack(e);

  e.cullMode = 0;
  SwitchGLState(kStateCullFace, false);
  e.textureOffsetU = e.textureOffsetV = 0.0f;
  BindMeshTextures(e, -1, -1, 0, nullptr);

  e.cameraPosition[0] = e.cameraPosition[1] = e.cameraPosition[2] = 0.0f;
  e.cameraTarget[0] = e.cameraTarget[1] = 0.0f;
  e.cameraTarget[2] = -1.0f;
  UpdateCamera(e);
  ResetMovementStack(e);
  math3d::ExtractPlanes(e.projection, e.camera, e.planes);

  e.lightMask = 0;
  e.sphereMap = 0;
  e.effectFlag = 0;
  e.effectMode = 0;
  e.texture1 = e.texture2 = -1;
  SetShaderSamplers();
}

void End3D() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  SetShadowPass(*e, false);
  if (e->renderer != nullptr) {
    ResetGLState();
    Reset2DDrawState(*e->renderer);
    e->renderer->in3D = false;
  }
}

void ClearDepth3D() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  SetShadowPass(*e, false);
  glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  e->stencilDirty = false;
}

void SetCamera(Number x, Number y, Number z, Number tx, Number ty, Number tz) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->cameraPosition[0] = static_cast<float>(x);
  e->cameraPosition[1] = static_cast<float>(y);
  e->cameraPosition[2] = static_cast<float>(z);
  e->cameraTarget[0] = static_cast<float>(tx);
  e->cameraTarget[1] = static_cast<float>(ty);
  e->cameraTarget[2] = static_cast<float>(tz);
  UpdateCamera(*e);
  ResetMovementStack(*e);
  math3d::ExtractPlanes(e->projection, e->camera, e->planes);
}

void SetCameraUp(Number x, Number y, Number z) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  e->cameraUp[0] = static_cast<float>(x);
  e->cameraUp[1] = static_cast<float>(y);
  e->cameraUp[2] = static_cast<float>(z);
}

// ---------------------------------------------------------------- lights

namespace {

void SetLightInternal(Engine3D& e, int32_t id, int32_t colour, const float pos[3], const float dir[3], float cutoff,
                      bool markers) {
  if (id < 0) {
    e.effectFlag = std::fabs(cutoff) >= 0.00001f ? 1 : 0;
    if (e.effectFlag) {
      e.effectColour = colour;
      e.effectLight[0] = pos[0];
      e.effectLight[1] = pos[1];
      e.effectLight[2] = pos[2];
    }
    if (id == -3) {
      e.effectMode = 3;
      SetShadowPass(e, e.effectFlag != 0);
    } else {
      e.effectMode = id == -1 ? 1 : 2;
    }
    return;
  }
  const int32_t i = id & 7;
  const GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
  float rgba[4];
  PackedColourFloats(colour, rgba);
  if (cutoff == 0.0f) {
    glDisable(light);
    e.lightMask = static_cast<uint8_t>(e.lightMask & ~(1u << i));
    if (e.lightMask == 0) SwitchGLState(kStateLighting, false);
    return;
  }
  SwitchGLState(kStateLighting, true);
  glEnable(light);
  e.lightMask = static_cast<uint8_t>(e.lightMask | (1u << i));
  glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  const float noSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const bool allZero =
      pos[0] == 0.0f && pos[1] == 0.0f && pos[2] == 0.0f && dir[0] == 0.0f && dir[1] == 0.0f && dir[2] == 0.0f;
  float unitDir[3] = {dir[0], dir[1], dir[2]};
  const float dirLen2 = dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2];
  if (dirLen2 > 1e-7f) {
    const float len = std::sqrt(dirLen2);
    unitDir[0] /= len;
    unitDir[1] /= len;
    unitDir[2] /= len;
  }
  if (allZero) {
    const float position[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, noSpecular);
    glLightf(light, GL_SPOT_CUTOFF, 180.0f);
  } else if (cutoff == 180.0f) {
    glLightf(light, GL_SPOT_CUTOFF, 180.0f);
    const float position[4] = {-unitDir[0], -unitDir[1], -unitDir[2], 0.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, noSpecular);
  } else if (cutoff > 90.0f) {
    glLightf(light, GL_SPOT_CUTOFF, 180.0f);
    const float position[4] = {pos[0], pos[1], pos[2], 1.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, rgba);
  } else {
    // GL accepts spot cutoffs of 0..90 only.
    glLightf(light, GL_SPOT_CUTOFF, cutoff < 0.0f ? 0.0f : cutoff);
    const float position[4] = {pos[0], pos[1], pos[2], 1.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_SPOT_DIRECTION, unitDir);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, rgba);
  }
  glPopMatrix();
  if (markers && !allZero && Settings().DebugMode) {
    DrawDot3D(pos[0], pos[1], pos[2], 40, 0x80C8FF);
    if (cutoff <= 90.0f)
      DrawLine3D(pos[0], pos[1], pos[2], pos[0] + 500.0f * unitDir[0], pos[1] + 500.0f * unitDir[1],
                 pos[2] + 500.0f * unitDir[2], 3, 0x6CAAE1);
  }
}

}  // namespace

void SetLight(Number id, Number colour, Number x, Number y, Number z, Number dx, Number dy, Number dz,
              Number cutoff) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const float pos[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  const float dir[3] = {static_cast<float>(dx), static_cast<float>(dy), static_cast<float>(dz)};
  SetLightInternal(*e, TruncToInt32(id), TruncToInt32(colour), pos, dir, static_cast<float>(cutoff), true);
}

void SetCameraLight(Number id, Number colour) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const float* p = e->cameraPosition;
  const float dir[3] = {-p[0], -p[1], -p[2]};
  SetLightInternal(*e, TruncToInt32(id), TruncToInt32(colour), p, dir, 180.0f, false);
}

void SetShadowPass(Engine3D& e, bool on) {
  if ((e.shadowPass != 0) == on) return;
  e.shadowPass = on ? 1 : 0;
  Renderer* r = e.renderer;
  if (on) {
    glShadeModel(GL_FLAT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    SwitchGLState(kStateStencilTest, true);
    // Counts left in the stencil buffer from outside a pass mean nothing.
    if (e.stencilDirty) glClear(GL_STENCIL_BUFFER_BIT);
    e.stencilDirty = true;
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    math3d::Multiply(projection, e.camera, e.worldToClip);
    glGetIntegerv(GL_VIEWPORT, e.shadowViewport);
    e.shadowBoundsAny = false;
    e.shadowBoundsAll = false;
    e.shadowNdc[0] = e.shadowNdc[1] = std::numeric_limits<float>::infinity();
    e.shadowNdc[2] = e.shadowNdc[3] = -std::numeric_limits<float>::infinity();
    glDepthMask(GL_FALSE);
    glStencilFunc(GL_ALWAYS, 0, 0);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INVERT);
    return;
  }
  glCullFace(GL_BACK);
  glDepthMask(GL_TRUE);
  glDepthFunc(GL_LEQUAL);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (r != nullptr) {
    ResetGLState();
    Reset2DDrawState(*r);
    SwitchGLState(kStateBlend, true);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    r->globalAlpha = 0.5f;
    glColor4f(1, 1, 1, 0.5f);
    SwitchGLState(kStateStencilTest, true);
    glStencilFunc(GL_NOTEQUAL, 0, ~0u);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    if (e.shadowBoundsAny) {
      // Counts are non-zero only where volumes were drawn.
      const bool bounded = !e.shadowBoundsAll;
      if (bounded) {
        const int32_t* vp = e.shadowViewport;
        const int32_t x0 = vp[0] + static_cast<int32_t>(std::floor((e.shadowNdc[0] + 1) * 0.5f * vp[2])) - 1;
        const int32_t y0 = vp[1] + static_cast<int32_t>(std::floor((e.shadowNdc[1] + 1) * 0.5f * vp[3])) - 1;
        const int32_t x1 = vp[0] + static_cast<int32_t>(std::ceil((e.shadowNdc[2] + 1) * 0.5f * vp[2])) + 1;
        const int32_t y1 = vp[1] + static_cast<int32_t>(std::ceil((e.shadowNdc[3] + 1) * 0.5f * vp[3])) + 1;
        glScissor(x0, y0, x1 - x0, y1 - y0);
        glEnable(GL_SCISSOR_TEST);
      }
      FillViewportRect(e.effectColour);
      if (bounded) glDisable(GL_SCISSOR_TEST);
    }
    SwitchGLState(kStateBlend, false);
    r->globalAlpha = 1.0f;
    glColor4f(1, 1, 1, 1);
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glShadeModel(GL_SMOOTH);
  SwitchGLState(kStateDepthTest, true);
  glDepthFunc(GL_LESS);
  SwitchGLState(kStateStencilTest, false);
  // The counts stay until a clear that costs nothing extra (stencilDirty).
  SwitchGLState(kStateCullFace, true);
  glCullFace(GL_BACK);
  ApplyCullMode(e);
}

// ---------------------------------------------------------------- fog, culling, depth

void SetFog(Number colourNumber, Number exponential, Number a, Number b) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const int32_t colour = TruncToInt32(colourNumber);
  if (colour == -1) {
    SwitchGLState(kStateFog, false);
    return;
  }
  SwitchGLState(kStateFog, true);
  if (TruncToInt32(exponential) != 0) {
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, static_cast<float>(a));
  } else {
    float start = static_cast<float>(a), end = static_cast<float>(b);
    if (start == 0.0f && end == 0.0f) {
      start = e->nearPlane;
      end = e->farPlane;
    }
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
  }
  float rgba[4];
  PackedColourFloats(colour, rgba);
  rgba[3] = 0.0f;
  glFogfv(GL_FOG_COLOR, rgba);
}

void ApplyCullMode(Engine3D& e) {
  if (e.cullMode == 0) {
    SwitchGLState(kStateCullFace, false);
  } else if (e.cullMode > 0) {
    glFrontFace(GL_CW);
    SwitchGLState(kStateCullFace, true);
  } else {
    SwitchGLState(kStateCullFace, true);
    glFrontFace(GL_CCW);
  }
}

void SetCullMode(Number mode) {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  const int32_t m = TruncToInt32(mode);
  e->cullMode = m > 0 ? 1 : m < 0 ? -1 : 0;
  ApplyCullMode(*e);
}

void SetDepthTest(Number flag) {
  if (TruncToInt32(flag) != 0) {
    SwitchGLState(kStateDepthTest, true);
    glDepthFunc(GL_LESS);
  } else {
    SwitchGLState(kStateDepthTest, false);
  }
}
