// The GL display: the window, its GL context and the pure GL/window state the
// renderers share (client size, modes, viewport, orientation), with the
// viewport and orientation mapping and the default GL state.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Screen orientations: how many quarter turns, clockwise, the logical screen
// is turned by in the window.
constexpr int32_t kOrientationUpright = 0;
constexpr int32_t kOrientationQuarterTurn = 1;
constexpr int32_t kOrientationHalfTurn = 2;
constexpr int32_t kOrientationThreeQuarterTurn = 3;
constexpr int32_t kOrientationLast = kOrientationThreeQuarterTurn;

// A quarter or three-quarter turn swaps the screen's width and height.
inline bool OrientationSwapsSides(int32_t orientation) {
  return orientation == kOrientationQuarterTurn || orientation == kOrientationThreeQuarterTurn;
}

namespace gl {

// The window and GL part of the process-wide renderer. The renderer derives
// from it, so these fields live in the one renderer object; the gl layer
// reaches them through TheDisplay().
struct Display {
  platform::Window* window = nullptr;
  platform::GLContext* glContext = nullptr;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t colourBits = 0;
  uint8_t fullScreenActive = 0;
  int32_t multisample = 0;  // the request; 0 once the window exists
  // Viewport in logical, orientation-adjusted coordinates.
  int32_t viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
  int32_t orientation = kOrientationUpright;  // quarter turns, 0..3
  // The picture size of the off-screen target being drawn into; false (and
  // nothing written) while drawing goes to the window. Set by the owner of
  // the targets; null means there are none.
  bool (*activeTargetSize)(int32_t* width, int32_t* height) = nullptr;
};

// The display of the process; null before the renderer exists.
Display* TheDisplay();
// Makes display the process's display (null: none).
void SetDisplay(Display* display);

}  // namespace gl

// The viewport's inner step: the projection and GL viewport for the logical
// rectangle x, y, w, h (w or h <= 0: the whole screen or active target).
void ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h);
// The viewport ApplyViewport set, in logical coordinates.
void GetViewport(int32_t* x, int32_t* y, int32_t* w, int32_t* h);
// The physical window rectangle (origin top left) that shows the logical
// rectangle x, y, w, h of a W x H window turned by `orientation` quarter
// turns: out = {x, y, w, h}.
void OrientedRectangle(int32_t orientation, int32_t W, int32_t H, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t out[4]);
// Stores the orientation clamped to 0..3 (the viewport is not re-applied).
void StoreOrientation(int32_t orientation);
// The logical screen size: the active target's picture, else the window
// turned with the orientation; 0 x 0 without a display.
void GetScreenSize(int32_t* w, int32_t* h);
// The default GL state of 2D drawing: full viewport, depth, culling, fog,
// lighting and the other switches off, alpha test at 0.05, smooth shading,
// fastest hints. The 2D renderer's own part follows in Reset2DDrawState.
void ResetGLState();
