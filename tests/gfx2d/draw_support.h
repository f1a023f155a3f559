// Shared by the 2D renderer's tests: a started runtime in a known draw state,
// pictures built from functions, and pixel comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx2d/renderer.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"
#include "host/host.h"
#include "host/runtime.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

namespace gfx2d_test {

using testing_support::Rgba;

inline Rgba Packed(int32_t colour) {
  return Rgba{static_cast<uint8_t>(colour & 255), static_cast<uint8_t>((colour >> 8) & 255),
              static_cast<uint8_t>((colour >> 16) & 255), 255};
}

inline int32_t Pack(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (b << 16); }

inline bool SameRgb(const Rgba& a, const Rgba& b, int tolerance = 0) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

inline std::string Describe(const Rgba& c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
         std::to_string(c.a) + ")";
}

// A picture whose pixel (x, y) comes from the function (top row first).
inline void FillPicture(Picture& picture, int32_t w, int32_t h, const std::function<Rgba(int32_t, int32_t)>& f,
                        uint8_t ownAlpha = 1) {
  ASSERT_TRUE(picture.Resize(w, h));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const Rgba c = f(x, y);
      uint8_t* p = picture.Pixel(x, y);
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
      p[3] = c.a;
    }
  picture.ownAlpha = ownAlpha;
}

inline Rgba PixelOf(Picture& picture, int32_t x, int32_t y) {
  const uint8_t* p = picture.Pixel(x, y);
  return Rgba{p[0], p[1], p[2], p[3]};
}

// Every test starts from the state a frame starts with: window drawing,
// default GL state, black screen, default keys, no background.
class Gfx2dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    r_ = &testing_support::StartTestRuntime();
    EndScreen();
    ForceBackBufferTargets(false);
    SetMaxTextureSizeOverride(0);
    r_->orientation = 0;
    ResetGLState();
    Reset2DDrawState(*r_);
    SetTransparentColour(kDefaultSpriteKey);
    r_->fontKey = 0;
    ClearScreen(0);
    LastErrorCode = 0;
  }
  void TearDown() override {
    EndScreen();
    ForceBackBufferTargets(false);
    SetMaxTextureSizeOverride(0);
    if (r_->orientation != 0) SetOrientation(0);
  }
  Renderer& R() { return *r_; }
  std::string RunLog() const {
    return testing_support::ReadWholeFile(std::string(testing_support::TestRuntimeTempFolder()) + "ErrorLog.txt");
  }

  Renderer* r_ = nullptr;
};

}  // namespace gfx2d_test
