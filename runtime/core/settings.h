// Compiled-in project options, filled by the application's settings routine
// before the runtime starts.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// The project's options: screen size and mode, frame rate, multisampling, debug mode, mouse
// and window title.
struct ProjectSettings {
  int32_t ScreenWidth = 640;   // 0: take the created window's width
  int32_t ScreenHeight = 480;  // 0: take the created window's height
  int32_t FullScreen = 0;
  int32_t FrameRate = -1;      // <= 0: unlimited (at most 500 frames a second)
  int32_t Multisample = 0;
  int32_t DebugMode = 0;       // debug build: no pause on focus loss, END report
  int32_t HideMouse = 0;
  BasicString AppTitle;
};

// The process's project settings.
ProjectSettings& Settings();
