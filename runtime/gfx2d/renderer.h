// OpenGLRevazoro, the one 2D renderer of the process (`Renderer`). Start-up
// fills in the window, context and frame-timing fields; the 2D drawing code
// keeps its sprite store, fonts, targets and draw state here as well.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class OpenGLRevazoro {
 public:
  OpenGLRevazoro();
  ~OpenGLRevazoro();
  OpenGLRevazoro(const OpenGLRevazoro&) = delete;
  OpenGLRevazoro& operator=(const OpenGLRevazoro&) = delete;

  // ------------------------------------------------ window (start-up)
  platform::Window* window = nullptr;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t colourBits = 0;
  uint8_t fullScreenActive = 0;
  int32_t multisample = 0;  // the request; 0 once the window exists
  // Viewport in logical, orientation-adjusted coordinates.
  int32_t viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
  int32_t orientation = 0;    // quarter turns, 0..3
  double FrameDeadline = 0.0;  // milliseconds on the GetMilliseconds clock
  double FramePeriod = 2.0;    // milliseconds per frame
  platform::GLContext* glContext = nullptr;

  // ------------------------------------------------ per-frame flags
  uint8_t clearEachFrame = 1;
  uint8_t depthClearPending = 1;
  uint8_t bgraSupported = 0;
  float globalAlpha = 1.0f;
  float alphaTestThreshold = 0.05f;
  uint8_t smoothing = 1;
  int32_t currentTarget = -1;  // active off-screen target, -1: the window
  bool in3D = false;           // between Begin3D and the return to 2D
};

using Renderer = OpenGLRevazoro;

// The process-wide renderer; null before start-up creates it.
Renderer* TheRenderer();
void SetTheRenderer(Renderer* renderer);
