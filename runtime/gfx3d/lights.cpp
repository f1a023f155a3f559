// Lights: the eight GL lights with their debug markers, and the effects a negative id selects.
#include <cmath>

#include "core/settings.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace {

// Cutoff angles (degrees) that choose a light's kind: 0 switches it off,
// 180 makes it directional, above kSpotCutoffLimit a point light, else a spot.
constexpr float kLightOffCutoff = 0.0f;
constexpr float kDirectionalCutoff = 180.0f;
constexpr float kSpotCutoffLimit = 90.0f;  // the largest spot cutoff GL accepts
// A smaller cutoff given with an effect id ends the effect.
constexpr float kEffectOffCutoff = 0.00001f;

// The debug-mode markers of a placed light.
constexpr int32_t kMarkerDotSize = 40;
constexpr int32_t kMarkerDotColour = 0x80C8FF;
constexpr float kMarkerLineLength = 500.0f;
constexpr int32_t kMarkerLineWidth = 3;
constexpr int32_t kMarkerLineColour = 0x6CAAE1;

void SelectEffect(Engine3D& e, int32_t id, int32_t colour, const float pos[3], float cutoff) {
  e.effectFlag = std::fabs(cutoff) >= kEffectOffCutoff ? 1 : 0;
  if (e.effectFlag) {
    e.effectColour = colour;
    e.effectLight[0] = pos[0];
    e.effectLight[1] = pos[1];
    e.effectLight[2] = pos[2];
  }
  if (id == kShadowLightId) {
    e.effectMode = kEffectShadows;
    SetShadowPass(e, e.effectFlag != 0);
  } else {
    e.effectMode = id == kBumpMapLightId ? kEffectBumpMap : kEffectCelShade;
  }
}

// Sets GL light `light` of the kind its cutoff chooses, in the coordinates
// current now; unitDir is the direction normalised (unchanged when short).
void PlaceLight(GLenum light, const float rgba[4], const float pos[3], const float unitDir[3], float cutoff,
                bool allZero) {
  const float noSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  if (allZero) {
    const float position[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, noSpecular);
    glLightf(light, GL_SPOT_CUTOFF, kDirectionalCutoff);
  } else if (cutoff == kDirectionalCutoff) {
    glLightf(light, GL_SPOT_CUTOFF, kDirectionalCutoff);
    const float position[4] = {-unitDir[0], -unitDir[1], -unitDir[2], 0.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, noSpecular);
  } else if (cutoff > kSpotCutoffLimit) {
    glLightf(light, GL_SPOT_CUTOFF, kDirectionalCutoff);
    const float position[4] = {pos[0], pos[1], pos[2], 1.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, rgba);
  } else {
    glLightf(light, GL_SPOT_CUTOFF, cutoff < 0.0f ? 0.0f : cutoff);
    const float position[4] = {pos[0], pos[1], pos[2], 1.0f};
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_SPOT_DIRECTION, unitDir);
    glLightfv(light, GL_DIFFUSE, rgba);
    glLightfv(light, GL_SPECULAR, rgba);
  }
}

void SetLightInternal(Engine3D& e, int32_t id, int32_t colour, const float pos[3], const float dir[3], float cutoff,
                      bool markers) {
  if (id < 0) {
    SelectEffect(e, id, colour, pos, cutoff);
    return;
  }
  const int32_t i = id & (kLightCount - 1);
  const GLenum light = GL_LIGHT0 + static_cast<GLenum>(i);
  float rgba[4];
  PackedColourFloats(colour, rgba);
  if (cutoff == kLightOffCutoff) {
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
  PlaceLight(light, rgba, pos, unitDir, cutoff, allZero);
  glPopMatrix();
  if (markers && !allZero && Settings().DebugMode) {
    DrawDot3D(pos[0], pos[1], pos[2], kMarkerDotSize, kMarkerDotColour);
    if (cutoff <= kSpotCutoffLimit)
      DrawLine3D(pos[0], pos[1], pos[2], pos[0] + kMarkerLineLength * unitDir[0],
                 pos[1] + kMarkerLineLength * unitDir[1], pos[2] + kMarkerLineLength * unitDir[2], kMarkerLineWidth,
                 kMarkerLineColour);
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
  SetLightInternal(*e, TruncToInt32(id), TruncToInt32(colour), p, dir, kDirectionalCutoff, false);
}
