// The on-screen line editor.
//
// It keeps the picture that was on the screen when it started and draws it
// again under the text every frame, so the program's scene stays visible
// while the user types.

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/renderer.h"
#include "host/host.h"
#include "input/devices.h"
#include "input/input.h"

namespace {

// The editor keeps the screen it started on in background record 3 and
// draws it under the text every frame.
constexpr int32_t kEditorBackground = 3;

}  // namespace

void InputLine(BasicString& text, int32_t x, int32_t y, int32_t proportional) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->window == nullptr) return;  // nothing can be typed without a window
  GrabBackground(kEditorBackground);
  DrawBackground(kEditorBackground);
  PrintText(text, static_cast<float>(x), static_cast<float>(y), proportional);
  ShowScreen();

  int32_t emptyPolls = 0;
  bool cursor = true;
  for (;;) {
    RefreshKeyboard();
    const int32_t c = PopTypedChar();
    if (c == kCharCarriageReturn || c == kCharLineFeed) break;
    if (c == kCharBackspace) {
      if (text.Length() > 0) text.SetLength(text.Length() - 1);
    } else if (c != 0) {
      text += static_cast<char>(c);
    } else if (++emptyPolls >= 21) {
      emptyPolls = 0;
      cursor = !cursor;
    }
    DrawBackground(kEditorBackground);
    if (cursor)
      PrintText(text + "_", static_cast<float>(x), static_cast<float>(y), proportional);
    else
      PrintText(text, static_cast<float>(x), static_cast<float>(y), proportional);
    ShowScreen();
  }
  ReleaseBackground(kEditorBackground);
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
