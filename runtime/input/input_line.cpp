// The on-screen line editor.
//
// It keeps the picture that was on the screen when it started and draws it
// again under the text every frame, so the program's scene stays visible
// while the user types.
#include <vector>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "host/gl_ext.h"
#include "host/host.h"
#include "host/subsystems.h"
#include "input/input.h"

namespace {

// The screen as it was, in memory. The 2D renderer's numbered background
// records can only be grabbed as record 0, which belongs to the program
// (ClearScreen and LoadBackground use it), so the editor keeps its own copy.
class ScreenCopy {
 public:
  void Grab(const Renderer& r) {
    width_ = r.clientWidth;
    height_ = r.clientHeight;
    if (width_ <= 0 || height_ <= 0) return;
    pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
  }

  void Draw() const {
    if (pixels_.empty()) return;
    // Whole window, no turning, nothing that could filter the pixels.
    glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_PIXEL_MODE_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_STENCIL_TEST);
    glViewport(0, 0, width_, height_);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
  }

  void Release() {
    pixels_.clear();
    pixels_.shrink_to_fit();
  }

 private:
  int32_t width_ = 0, height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace

void InputLine(BasicString& text, int32_t x, int32_t y, int32_t proportional) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->window == nullptr) return;  // nothing can be typed without a window
  ScreenCopy screen;
  screen.Grab(*r);
  screen.Draw();
  PrintText(text, static_cast<float>(x), static_cast<float>(y), proportional);
  ShowScreen();

  int32_t emptyPolls = 0;
  bool cursor = true;
  for (;;) {
    RefreshKeyboard();
    const int32_t c = PopTypedChar();
    if (c == 13 || c == 10) break;
    if (c == 8) {
      if (text.Length() > 0) text.SetLength(text.Length() - 1);
    } else if (c != 0) {
      text += static_cast<char>(c);
    } else if (++emptyPolls >= 21) {
      emptyPolls = 0;
      cursor = !cursor;
    }
    screen.Draw();
    if (cursor)
      PrintText(text + "_", static_cast<float>(x), static_cast<float>(y), proportional);
    else
      PrintText(text, static_cast<float>(x), static_cast<float>(y), proportional);
    ShowScreen();
  }
  screen.Release();
}

void InputLine(int32_t& value, int32_t x, int32_t y, int32_t proportional) {
  BasicString text;
  InputLine(text, x, y, proportional);
  value = ToInt32(text);
}

void InputLine(Number& value, int32_t x, int32_t y, int32_t proportional) {
  BasicString text;
  InputLine(text, x, y, proportional);
  value = ToDouble(text);
}
