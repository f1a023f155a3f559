// The 3D frame: projection and viewport (Begin3D, End3D) and the camera.
#include <cmath>

#include "core/basic_array.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/bridge2d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/math3d.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

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

}  // namespace

void Leave3D() {
  Engine3D* e = TheEngine3D();
  if (e == nullptr) return;
  SetShadowPass(*e, false);
  if (e->renderer != nullptr) e->renderer->in3D = false;
}

// ---------------------------------------------------------------- frame set-up

namespace {

// The screen orientation in quarter turns, as the display stores it.
constexpr int32_t kOrientationQuarterTurn = 1;
constexpr int32_t kOrientationHalfTurn = 2;
constexpr int32_t kOrientationThreeQuarterTurn = 3;

struct ViewRect {
  int32_t x, y, w, h;
};

// The renderer's viewport (1 x 1 at the origin without a renderer).
ViewRect RendererViewport(const Renderer* r) {
  if (r == nullptr) return ViewRect{0, 0, 1, 1};
  return ViewRect{r->viewportX, r->viewportY, r->viewportWidth, r->viewportHeight};
}

// Sets the GL viewport and leaves the projection matrix selected, holding the
// identity inside a render target and the screen orientation's turn otherwise.
void ApplyViewportAndOrientation(const Renderer* r, const ViewRect& v) {
  int32_t targetW = 0, targetH = 0;
  if (r != nullptr && r->currentTarget >= 0 && ActiveTargetSize(&targetW, &targetH)) {
    glViewport(v.x, targetH - v.h - v.y, v.w, v.h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    return;
  }
  glMatrixMode(GL_PROJECTION);
  float m[16] = {0};
  m[10] = m[15] = 1.0f;
  const int32_t o = r != nullptr ? r->orientation : 0;
  const int32_t W = r != nullptr ? r->clientWidth : v.w;
  const int32_t H = r != nullptr ? r->clientHeight : v.h;
  int32_t px = v.x, py = v.y, pw = v.w, ph = v.h;
  switch (o) {
    case kOrientationQuarterTurn:
      m[1] = -1.0f;
      m[4] = 1.0f;
      px = W - v.y - v.h;
      py = v.x;
      pw = v.h;
      ph = v.w;
      break;
    case kOrientationHalfTurn:
      m[0] = m[5] = -1.0f;
      px = W - v.x - v.w;
      py = H - v.y - v.h;
      break;
    case kOrientationThreeQuarterTurn:
      m[1] = 1.0f;
      m[4] = -1.0f;
      px = v.y;
      py = H - v.x - v.w;
      pw = v.h;
      ph = v.w;
      break;
    default:
      m[0] = m[5] = 1.0f;
      break;
  }
  glLoadMatrixf(m);
  glViewport(px, H - ph - py, pw, ph);
}

// Stores the perspective (fov > 0) or orthographic projection and multiplies
// it onto the selected matrix.
void LoadProjection(Engine3D& e, float fov, float aspect) {
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
}

// The GL state every 3D frame starts from.
void ResetFrameGLState() {
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
}

// Effects, movement, culling, textures, camera and lights as every 3D frame
// starts them.
void ResetFrameEngineState(Engine3D& e) {
  e.sphereMap = 0;
  e.effectFlag = 0;
  ResetMovementStack(e);

  e.cullMode = kCullNone;
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
  e.effectMode = kEffectNone;
  e.texture1 = e.texture2 = -1;
  SetShaderSamplers();
}

}  // namespace

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
  const ViewRect view = RendererViewport(r);
  const float aspect = view.h != 0 ? static_cast<float>(view.w) / static_cast<float>(view.h) : 1.0f;

  ApplyViewportAndOrientation(r, view);
  LoadProjection(e, fov, aspect);
  ResetFrameGLState();
  ResetFrameEngineState(e);
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

void GetCameraMatrix(BasicArray<double>& matrix) {
  DimArray(matrix, 16);
  Engine3D* e = TheEngine3D();
  if (e == nullptr || matrix.data == nullptr) return;
  for (int32_t i = 0; i < 16; ++i) matrix.Elements()[i] = e->camera[i];
}
