// The input object, its set-up, the keyboard state and the mouse.
//
// The platform layer keeps the live state (keys, pointer position, buttons,
// relative motion and wheel steps) as it delivers events. The input object
// takes snapshots of it: the key state once per frame (and every 129 key
// queries), the mouse at every read, so that movement and wheel steps are
// measured between consuming reads.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "gl/display.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace {

InputDevices* g_input = nullptr;
int32_t g_keyQueries = 0;

int16_t ToShort(int32_t value) {
  return static_cast<int16_t>(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

// The window's size; 0 x 0 without one.
void WindowSize(const InputDevices& input, int32_t* w, int32_t* h) {
  int width = 0, height = 0;
  if (input.window != nullptr) platform::GetWindowClientSize(input.window, &width, &height);
  *w = width;
  *h = height;
}

MouseRecord& CurrentRecord(InputDevices& input) {
  if (input.currentMouse < 0 || input.currentMouse >= static_cast<int32_t>(input.mice.size()))
    input.currentMouse = 0;
  return input.mice[static_cast<size_t>(input.currentMouse)];
}

}  // namespace

InputDevices::InputDevices() {
  typed.reserve(kTypedQueueMinimum);
  mice.reserve(4);
  mice.emplace_back();
  for (int i = 0; i < 256; ++i) keyToVk[i] = static_cast<uint16_t>(i);
}

InputDevices::~InputDevices() {
  for (platform::Joystick*& joystick : joysticks) {
    platform::CloseJoystick(joystick);
    joystick = nullptr;
  }
}

InputDevices* TheInputDevices() { return g_input; }

// ---------------------------------------------------------------- set-up

int32_t InitInput(InputDevices& input, platform::Window* window, bool hideMouse) {
  input.currentMouse = 0;
  if (!platform::Init()) {
    // Nothing can be read: keys stay up, the mouse at rest, no joysticks.
    WriteLog("No DX_Input\n");
    input.started = false;
    input.joystickCount = 0;
    return 0;
  }
  input.started = true;
  input.window = window;
  MouseRecord& record = CurrentRecord(input);
  int x = 0, y = 0;
  if (platform::QueryPointerPosition(window, &x, &y)) {
    record.x = record.referenceX = x;
    record.y = record.referenceY = y;
  }
  std::memset(input.keys, 0, sizeof input.keys);
  input.keyboardDevice = true;
  for (int i = 0; i < 256; ++i) input.keyToVk[i] = static_cast<uint16_t>(i);

  int32_t result = 1;
  input.pointerShown = 0;
  if (hideMouse) {
    input.mouseLevel = kMouseExclusive;
    input.mouseDevice = platform::CapturePointer(true);
    if (!input.mouseDevice) {
      // Relative motion still arrives with the motion events; only the
      // pointer is not confined to the window.
      WriteLog("can't aquire mouse - first try\n");
      WriteLog("No DX_Mouse\n");
      result = kInputMouseNotAcquired;
    }
    platform::ShowSystemPointer(false);
  } else {
    input.mouseDevice = false;
    // The pointer already is where the record says: it was read above.
    platform::ShowSystemPointer(true);
    input.pointerShown = 1;
  }
  int dx = 0, dy = 0;
  platform::TakeMouseMotion(&dx, &dy);
  platform::TakeMouseWheel();

  RescanJoysticks();
  return result;
}

// ---------------------------------------------------------------- keyboard

void RefreshKeyboard(InputDevices& input) {
  if (!input.started) return;
  // Keys pressed for another window are none of the program's business. A
  // headless window never gets the focus but is the only one there is.
  if (input.window == nullptr || !(platform::IsHeadless() || platform::WindowHasFocus(input.window))) return;
  std::memcpy(input.keys, platform::KeyboardState(), sizeof input.keys);
}

bool IsKeyDown(int32_t code) {
  InputDevices* input = g_input;
  if (input == nullptr || code < 0 || code > 255) return false;
  if (g_keyQueries + 1 > 128) {
    g_keyQueries = 0;
    RefreshKeyboard(*input);
  } else {
    ++g_keyQueries;
  }
  return (input->keys[code] & 0x80) != 0;
}

// ---------------------------------------------------------------- mouse

uint32_t PollMouse(InputDevices& input, int32_t& x, int32_t& y, int32_t& wheel) {
  wheel = 0;
  if (!input.started) return 0;
  int dx = 0, dy = 0;
  platform::TakeMouseMotion(&dx, &dy);
  const int steps = platform::TakeMouseWheel();
  // One poll reports one step at most, whatever the wheel turned by.
  wheel = steps > 0 ? 1 : steps < 0 ? -1 : 0;
  if (input.pointerShown) {
    int px = 0, py = 0;
    platform::GetMousePosition(&px, &py);
    x = px;
    y = py;
  } else {
    x += dx;
    y += dy;
  }
  int32_t w = 0, h = 0;
  WindowSize(input, &w, &h);
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (input.window != nullptr) {
    if (x > w) x = w;
    if (y > h) y = h;
  }
  return platform::MouseButtons() & (kMouseBitLeft | kMouseBitRight | kMouseBitMiddle);
}

void ReadMouse(InputDevices& input, MouseReading& result, bool consume) {
  MouseRecord& r = CurrentRecord(input);
  int32_t x = 0, y = 0, wheel = 0;
  uint32_t buttons = 0;
  if (input.pointerShown) {
    x = r.referenceX;
    y = r.referenceY;
    buttons = PollMouse(input, x, y, wheel);
  } else {
    x = r.x;
    y = r.y;
    buttons = PollMouse(input, x, y, wheel);
    r.x = x;
    r.y = y;
  }
  result.button1 = (buttons & kMouseBitLeft) != 0 ? 1 : 0;
  result.button2 = (buttons & kMouseBitRight) != 0 ? 1 : 0;
  result.button3 = (buttons & kMouseBitMiddle) != 0 ? 1 : 0;
  result.moveX = ToShort(x - r.referenceX);
  result.moveY = ToShort(y - r.referenceY);
  const int32_t steps = r.wheel + wheel;
  result.wheel = ToShort(steps);
  if (!consume) {
    r.wheel = steps;
  } else {
    r.x = r.referenceX = x;
    r.y = r.referenceY = y;
    r.wheel = 0;
  }
}

namespace {

struct ScreenFrame {
  int32_t orientation = kOrientationUpright;
  int32_t width = 0, height = 0;  // the window, unturned
};

ScreenFrame CurrentFrame(const InputDevices& input) {
  ScreenFrame frame;
  const gl::Display* r = gl::TheDisplay();
  if (r != nullptr && r->window != nullptr) {
    frame.orientation = r->orientation & 3;
    frame.width = r->clientWidth;
    frame.height = r->clientHeight;
  } else {
    WindowSize(input, &frame.width, &frame.height);
  }
  return frame;
}

}  // namespace

void MouseScreenPosition(InputDevices& input, int32_t* outX, int32_t* outY) {
  MouseRecord& r = CurrentRecord(input);
  const ScreenFrame f = CurrentFrame(input);
  const int32_t W = f.width, H = f.height;
  const int32_t px = r.referenceX, py = r.referenceY;
  int32_t lx = px, ly = py;
  switch (f.orientation) {
    case kOrientationQuarterTurn: lx = py; ly = W - 1 - px; break;
    case kOrientationHalfTurn: lx = W - 1 - px; ly = H - 1 - py; break;
    case kOrientationThreeQuarterTurn: lx = H - 1 - py; ly = px; break;
    default: break;
  }
  // Inclusive bounds: the far edge itself is a valid answer.
  const bool turned = OrientationSwapsSides(f.orientation);
  lx = std::clamp(lx, 0, std::max(turned ? H : W, 0));
  ly = std::clamp(ly, 0, std::max(turned ? W : H, 0));
  switch (f.orientation) {
    case kOrientationQuarterTurn: r.referenceX = W - 1 - ly; r.referenceY = lx; break;
    case kOrientationHalfTurn: r.referenceX = W - 1 - lx; r.referenceY = H - 1 - ly; break;
    case kOrientationThreeQuarterTurn: r.referenceX = ly; r.referenceY = H - 1 - lx; break;
    default: r.referenceX = lx; r.referenceY = ly; break;
  }
  *outX = lx;
  *outY = ly;
}

void GetMouseState(int32_t& x, int32_t& y, int32_t& button1, int32_t& button2) {
  x = y = button1 = button2 = 0;
  InputDevices* input = g_input;
  if (input == nullptr) return;
  MouseReading reading;
  ReadMouse(*input, reading, true);
  button1 = reading.button1;
  button2 = reading.button2;
  MouseScreenPosition(*input, &x, &y);
}

void GetMouseState(Number& x, Number& y, Number& button1, Number& button2) {
  int32_t ix = 0, iy = 0, b1 = 0, b2 = 0;
  GetMouseState(ix, iy, b1, b2);
  x = ix;
  y = iy;
  button1 = b1;
  button2 = b2;
}

int32_t GetMouseAxis(int32_t n) {
  InputDevices* input = g_input;
  if (input == nullptr) return 0;
  MouseReading reading;
  ReadMouse(*input, reading, false);
  // The movement turns the way positions do (see MouseScreenPosition), so
  // that it always agrees with the change of the reported position.
  const int32_t mx = reading.moveX, my = reading.moveY;
  int32_t lx = mx, ly = my;
  switch (CurrentFrame(*input).orientation) {
    case kOrientationQuarterTurn: lx = my; ly = -mx; break;
    case kOrientationHalfTurn: lx = -mx; ly = -my; break;
    case kOrientationThreeQuarterTurn: lx = -my; ly = mx; break;
    default: break;
  }
  switch (n) {
    case kMouseAxisX: return lx;
    case kMouseAxisY: return ly;
    case kMouseAxisWheel: return reading.wheel;
    case kMouseAxisButton1: return reading.button1;
    case kMouseAxisButton2: return reading.button2;
    case kMouseAxisButton3: return reading.button3;
    default: return 0;
  }
}

int32_t GetMouseCount() {
  InputDevices* input = g_input;
  return input != nullptr ? static_cast<int32_t>(input->mice.size()) : 1;
}

void SelectMouse(int32_t n) {
  (void)n;  // one mouse exists: every number selects it
  if (g_input != nullptr) g_input->currentMouse = 0;
}

void ConsumeEveryMouse(InputDevices& input) {
  const int32_t selected = input.currentMouse;
  MouseReading reading;
  for (size_t i = 0; i < input.mice.size(); ++i) {
    input.currentMouse = static_cast<int32_t>(i);
    ReadMouse(input, reading, true);
  }
  input.currentMouse = selected;
}

bool AnyMouseButtonDown() {
  InputDevices* input = g_input;
  if (input == nullptr) return false;
  ConsumeEveryMouse(*input);
  MouseReading reading;
  ReadMouse(*input, reading, false);
  return reading.button1 != 0 || reading.button2 != 0 || reading.button3 != 0;
}

void TurnWithOrientation(int32_t orientation, double& x, double& y) {
  const double ox = x, oy = y;
  switch (orientation & 3) {
    case kOrientationQuarterTurn: x = -oy; y = ox; break;
    case kOrientationHalfTurn: x = -ox; y = -oy; break;
    case kOrientationThreeQuarterTurn: x = oy; y = -ox; break;
    default: break;
  }
}

int32_t CurrentOrientation() {
  const gl::Display* r = gl::TheDisplay();
  return r != nullptr ? (r->orientation & 3) : kOrientationUpright;
}

// ---------------------------------------------------------------- pointer

void SetPointerShown(InputDevices& input, bool show) {
  if (!input.started) {
    input.pointerShown = show ? 1 : 0;
    return;
  }
  input.mouseLevel = show ? kMouseShared : kMouseExclusive;
  // A hidden pointer is read as relative motion: take it over, so that it can
  // neither leave the window nor stop at the screen's edge.
  input.mouseDevice = platform::CapturePointer(!show) && !show;
  if (show) {
    if (!input.pointerShown) {
      const MouseRecord& r = CurrentRecord(input);
      platform::WarpMouse(input.window, r.x, r.y);
    }
    platform::ShowSystemPointer(true);
  } else {
    platform::ShowSystemPointer(false);
  }
  if (show != (input.pointerShown != 0)) {
    // Motion gathered in the other mode must not count in this one.
    int dx = 0, dy = 0;
    platform::TakeMouseMotion(&dx, &dy);
  }
  input.pointerShown = show ? 1 : 0;
}

// ---------------------------------------------------------------- calls of the host

void CreateInputDevices() {
  if (g_input == nullptr) g_input = new InputDevices;
}

int32_t InitInput(platform::Window* window, bool hideMouse) {
  CreateInputDevices();
  return InitInput(*g_input, window, hideMouse);
}

void DestroyInputDevices() {
  InputDevices* input = g_input;
  if (input == nullptr) return;
  if (input->started) {
    platform::CapturePointer(false);
    platform::ShowSystemPointer(true);
  }
  g_input = nullptr;
  delete input;  // closes the joysticks
}

void ShowMousePointer(double show) {
  const bool on = show != 0.0 || std::isnan(show);
  InputDevices* input = TheInputDevices();
  if (input != nullptr)
    SetPointerShown(*input, on);
  else
    platform::ShowSystemPointer(on);
}

void SetInputWindow(platform::Window* window) {
  if (g_input != nullptr) g_input->window = window;
}

void ResetKeyQueryCounter() { g_keyQueries = 0; }

void RefreshKeyboard() {
  if (g_input != nullptr) RefreshKeyboard(*g_input);
}

bool KeyStateDown(int32_t code) {
  return g_input != nullptr && code >= 0 && code < 256 && (g_input->keys[code] & 0x80) != 0;
}

void ConsumeMouseMotionForFrame() {
  if (g_input != nullptr) ConsumeEveryMouse(*g_input);
}

bool PointerShown() { return g_input != nullptr && g_input->pointerShown != 0; }

void ReleaseInputForDebugger() {
  // The user needs the pointer in the debugger while the program stands.
  InputDevices* input = g_input;
  if (input == nullptr || !input->started) return;
  platform::CapturePointer(false);
  platform::ShowSystemPointer(true);
}

void ResetInputAfterDebugger() {
  InputDevices* input = g_input;
  if (input == nullptr || !input->started) return;
  const bool shown = input->pointerShown != 0;
  platform::CapturePointer(!shown);
  platform::ShowSystemPointer(shown);
  // Whatever the pointer did in the debugger is no movement of the program.
  int dx = 0, dy = 0;
  platform::TakeMouseMotion(&dx, &dy);
  platform::TakeMouseWheel();
}
