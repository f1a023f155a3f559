// A started runtime for tests that draw: one per test process, headless
// (SDL's offscreen driver) unless a display is set. The run log goes to a
// temporary folder of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx2d/renderer.h"

namespace testing_support {

struct RuntimeOptions {
  int32_t width = 640;
  int32_t height = 480;
  int32_t frameRate = -1;
  int32_t debugMode = 0;
};

// Starts the runtime on the first call (later calls return the same one;
// their options are ignored). Aborts the test process when no GL window can
// be made.
Renderer& StartTestRuntime(const RuntimeOptions& options = RuntimeOptions());

// The temporary folder the runtime of this process logs into.
const char* TestRuntimeTempFolder();

struct Rgba {
  uint8_t r, g, b, a;
};
// Reads the back buffer in screen coordinates (origin top left).
Rgba ReadPixel(int32_t x, int32_t y);
// w x h pixels, top row first.
std::vector<Rgba> ReadPixels(int32_t x, int32_t y, int32_t w, int32_t h);

}  // namespace testing_support
