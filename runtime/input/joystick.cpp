// Joysticks: up to ten game controllers, their axes, hats and buttons as the
// classic 80-byte record, and constant-force feedback.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/core.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace {

// Hat positions: the angle clockwise from up in hundredths of a degree.
constexpr int32_t kHatUp = 0;
constexpr int32_t kHatUpRight = 4500;
constexpr int32_t kHatRight = 9000;
constexpr int32_t kHatDownRight = 13500;
constexpr int32_t kHatDown = 18000;
constexpr int32_t kHatDownLeft = 22500;
constexpr int32_t kHatLeft = 27000;
constexpr int32_t kHatUpLeft = 31500;

void CloseAll(InputDevices& input) {
  for (platform::Joystick*& joystick : input.joysticks) {
    platform::CloseJoystick(joystick);
    joystick = nullptr;
  }
  std::memset(input.joystickNames, 0, sizeof input.joystickNames);
  input.joystickCount = 0;
}

bool IsOpen(const InputDevices& input, int instance) {
  for (int32_t i = 0; i < input.joystickCount; ++i)
    if (platform::JoystickInstance(input.joysticks[i]) == instance) return true;
  return false;
}

void CatchUp(InputDevices& input) {
  if (input.joysticksChanged) RescanJoysticks();
}

Number AxisValue(double value) { return std::clamp(value / 32767.0, -1.0, 1.0); }

JoystickState Read(int32_t n) {
  JoystickState state;
  if (InputDevices* input = TheInputDevices()) ReadJoystick(*input, state, n);
  return state;
}

Number TurnedAxis(int32_t n, bool rotation, bool wantY) {
  const JoystickState s = Read(n);
  double x = rotation ? s.rotationX : s.x;
  double y = rotation ? s.rotationY : s.y;
  TurnWithOrientation(CurrentOrientation(), x, y);
  return AxisValue(wantY ? y : x);
}

void TurnedHat(int32_t n, int32_t& x, int32_t& y) {
  const JoystickState s = Read(n);
  HatDirection(s.hats[0], x, y);
  double tx = x, ty = y;
  TurnWithOrientation(CurrentOrientation(), tx, ty);
  x = static_cast<int32_t>(tx);
  y = static_cast<int32_t>(ty);
}

}  // namespace

void RescanJoysticks() {
  InputDevices* input = TheInputDevices();
  if (input == nullptr) return;
  input->joysticksChanged = false;
  CloseAll(*input);
  if (!input->started) return;
  const int devices = platform::JoystickDeviceCount();
  for (int device = 0; device < devices && input->joystickCount < kMaxJoysticks; ++device) {
    // A device that cannot be opened is skipped; the others still count.
    platform::Joystick* joystick = platform::OpenJoystick(device);
    if (joystick == nullptr) continue;
    const int32_t slot = input->joystickCount++;
    input->joysticks[slot] = joystick;
    const std::string name = platform::JoystickName(joystick);
    std::strncpy(input->joystickNames[slot], name.c_str(), kJoystickNameBytes - 1);
  }
}

void NoteJoystickEvent(const platform::Event& event) {
  InputDevices* input = TheInputDevices();
  if (input == nullptr || !input->started) return;
  switch (event.type) {
    case platform::EventType::JoystickAdded:
      // SDL announces the devices present at start as well; only a new one
      // calls for a scan.
      if (!IsOpen(*input, platform::JoystickDeviceInstance(event.joystick))) input->joysticksChanged = true;
      break;
    case platform::EventType::JoystickRemoved:
      if (IsOpen(*input, event.joystick)) input->joysticksChanged = true;
      break;
    case platform::EventType::JoystickAxis:
    case platform::EventType::JoystickButton:
    case platform::EventType::JoystickHat:
      platform::FeedVirtualJoystick(event);
      break;
    default:
      break;
  }
}

void ReadJoystick(InputDevices& input, JoystickState& state, int32_t n) {
  state = JoystickState();
  // A joystick that cannot be read shows nothing pressed and its hats
  // centred: hat 0 would mean "up".
  for (int32_t& hat : state.hats) hat = kHatCentred;
  CatchUp(input);
  if (n < 0 || n >= input.joystickCount || input.joysticks[n] == nullptr) return;
  platform::JoystickReading reading;
  if (!platform::ReadJoystickState(input.joysticks[n], &reading)) return;
  state.x = reading.axes[0];
  state.y = reading.axes[1];
  state.z = reading.axes[2];
  state.rotationX = reading.axes[3];
  state.rotationY = reading.axes[4];
  state.rotationZ = reading.axes[5];
  std::memcpy(state.sliders, reading.sliders, sizeof state.sliders);
  std::memcpy(state.hats, reading.hats, sizeof state.hats);
  std::memcpy(state.buttons, reading.buttons, sizeof state.buttons);
}

int32_t GetJoystickCount() {
  InputDevices* input = TheInputDevices();
  if (input == nullptr) return 0;
  CatchUp(*input);
  return input->joystickCount;
}

BasicString GetJoystickName(int32_t n) {
  InputDevices* input = TheInputDevices();
  if (input == nullptr) return BasicString();
  CatchUp(*input);
  if (n < 0 || n >= input->joystickCount) return BasicString();
  return BasicString(input->joystickNames[n]);
}

Number JoystickX(int32_t n) { return TurnedAxis(n, false, false); }
Number JoystickY(int32_t n) { return TurnedAxis(n, false, true); }
Number JoystickRotationX(int32_t n) { return TurnedAxis(n, true, false); }
Number JoystickRotationY(int32_t n) { return TurnedAxis(n, true, true); }
Number JoystickZ(int32_t n) { return AxisValue(Read(n).z); }
Number JoystickRotationZ(int32_t n) { return AxisValue(Read(n).rotationZ); }

void HatDirection(int32_t hat, int32_t& x, int32_t& y) {
  x = y = 0;
  switch (hat) {
    case kHatUp: y = -1; break;
    case kHatUpRight: x = 1; y = -1; break;
    case kHatRight: x = 1; break;
    case kHatDownRight: x = 1; y = 1; break;
    case kHatDown: y = 1; break;
    case kHatDownLeft: x = -1; y = 1; break;
    case kHatLeft: x = -1; break;
    case kHatUpLeft: x = -1; y = -1; break;
    default: break;
  }
}

int32_t JoystickHatX(int32_t n) {
  int32_t x = 0, y = 0;
  TurnedHat(n, x, y);
  return x;
}

int32_t JoystickHatY(int32_t n) {
  int32_t x = 0, y = 0;
  TurnedHat(n, x, y);
  return y;
}

void GetJoystickState(int32_t& x, int32_t& y, int32_t& button1, int32_t& button2) {
  const JoystickState s = Read(0);
  x = s.x / 30000;
  y = s.y / 30000;
  button1 = s.buttons[0];
  button2 = s.buttons[1];
}

void GetJoystickState(Number& x, Number& y, Number& button1, Number& button2) {
  int32_t ix = 0, iy = 0, b1 = 0, b2 = 0;
  GetJoystickState(ix, iy, b1, b2);
  x = ix;
  y = iy;
  button1 = b1;
  button2 = b2;
}

void JoystickForceEffect(Number forceX, Number forceY, int32_t* level, int32_t* dx, int32_t* dy) {
  // NaN counts as no force rather than poisoning the effect.
  const double fx = std::isnan(forceX) ? 0.0 : std::clamp(forceX, -1.0, 1.0);
  const double fy = std::isnan(forceY) ? 0.0 : std::clamp(forceY, -1.0, 1.0);
  *level = static_cast<int32_t>((fx * fx + fy * fy) * 10000.0 * 0.5);
  *dx = static_cast<int32_t>(fx * 10000.0);
  *dy = static_cast<int32_t>(fy * 10000.0);
}

int32_t SetJoystickForce(int32_t n, Number forceX, Number forceY) {
  InputDevices* input = TheInputDevices();
  if (input == nullptr) return 0;
  CatchUp(*input);
  if (n < 0 || n >= input->joystickCount || !platform::JoystickHasForceFeedback(input->joysticks[n])) return 0;
  int32_t level = 0, dx = 0, dy = 0;
  JoystickForceEffect(forceX, forceY, &level, &dx, &dy);
  return platform::PlayJoystickForce(input->joysticks[n], level, dx, dy) ? 1 : 0;
}
