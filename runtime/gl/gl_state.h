// The GL state cache: what was last given to glEnable/glDisable for each
// capability the 2D and 3D code switch, so a switch is issued only on change.
#pragma once

#include <cstdint>

// The capabilities the cache tracks, by slot.
enum GLStateSlot : int {
  kStateBlend = 0,
  kStateAlphaTest = 1,
  kStateColorMaterial = 6,
  kStateCullFace = 7,
  kStateLighting = 8,
  kStateStencilTest = 9,
  kStateDepthTest = 10,
  kStateFog = 11,
  kStateDither = 12,
  kStateLineSmooth = 13,
  kStatePointSmooth = 14,
  kStateNormalize = 15,
  kStatePolygonSmooth = 17,
  kStatePolygonOffsetPoint = 18,
  kStateAutoNormal = 19,
  kStateSlotCount = 22,
};

// Enables or disables the capability of the slot unless the cache says it is
// already in that state.
void SwitchGLState(GLStateSlot slot, bool on);
// Every flag reads as neither on nor off, so the next switches are issued.
void InvalidateGLStateCache();
// What the cache holds for a slot: on, off, or anything else for unknown.
constexpr int32_t kGLStateOff = 0;
constexpr int32_t kGLStateOn = 1;

// The cached value: kGLStateOn, kGLStateOff, anything else unknown.
int32_t CachedGLState(GLStateSlot slot);
// glEnable/glDisable calls issued through the cache so far.
uint64_t GLStateSwitchCount();
