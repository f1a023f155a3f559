// Game controllers over SDL's joystick, game-controller and haptic API, and
// virtual joysticks that tests (or tools) drive with injected events.
//
// The subsystems start on the first call, not with the video: most programs
// never touch a joystick, and SDL's device scan costs time at start-up.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/sdl_internal.h"

namespace platform {

struct Joystick {
  SDL_Joystick* joystick = nullptr;        // always set
  SDL_GameController* controller = nullptr;  // set when SDL knows a mapping
  SDL_Haptic* haptic = nullptr;            // set when it has a constant force
  int effect = -1;                         // the running constant force
  SDL_JoystickID instance = -1;
};

namespace {

bool g_joystickTried = false;
bool g_joystickReady = false;
bool g_hapticReady = false;

bool StartJoysticks() {
  if (g_joystickTried) return g_joystickReady;
  g_joystickTried = true;
  if (!Init()) return false;
  // Joysticks serve the window that has the focus, like the keyboard. A
  // headless window never gets the focus but is the only one there is.
  if (IsHeadless()) SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  // Without a display the device scan of the game-controller layer still works;
  // the haptic subsystem is optional and may be missing from the SDL build.
  g_joystickReady = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
  if (g_joystickReady) g_hapticReady = SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
  return g_joystickReady;
}

int32_t WideAxis(Sint16 value) {
  // SDL stops at 32767 on the positive side; full deflection reads 32768 here
  // so that both directions reach the same magnitude.
  return value == 32767 ? 32768 : value;
}

int32_t HatDegrees(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return -1;
  }
}

Uint8 HatFromDegrees(int value) {
  switch (value) {
    case 0: return SDL_HAT_UP;
    case 4500: return SDL_HAT_RIGHTUP;
    case 9000: return SDL_HAT_RIGHT;
    case 13500: return SDL_HAT_RIGHTDOWN;
    case 18000: return SDL_HAT_DOWN;
    case 22500: return SDL_HAT_LEFTDOWN;
    case 27000: return SDL_HAT_LEFT;
    case 31500: return SDL_HAT_LEFTUP;
    default: return SDL_HAT_CENTERED;
  }
}

void ReadController(SDL_GameController* c, JoystickReading* out) {
  // The layout a driver gives a two-stick pad: left stick X/Y, the triggers on
  // one Z axis, right stick as rotation X/Y, the d-pad as the first hat.
  out->axes[0] = WideAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX));
  out->axes[1] = WideAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
  const int32_t left = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
  const int32_t right = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
  out->axes[2] = std::clamp(left - right, -32768, 32768);
  out->axes[3] = WideAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX));
  out->axes[4] = WideAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY));
  out->axes[5] = 0;
  static const SDL_GameControllerButton kButtons[] = {
      SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,          SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y,         SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
      SDL_CONTROLLER_BUTTON_BACK,      SDL_CONTROLLER_BUTTON_START,      SDL_CONTROLLER_BUTTON_LEFTSTICK,
      SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE,     SDL_CONTROLLER_BUTTON_MISC1,
  };
  int n = 0;
  for (SDL_GameControllerButton b : kButtons)
    out->buttons[n++] = SDL_GameControllerGetButton(c, b) != 0 ? 0x80 : 0;
  Uint8 hat = SDL_HAT_CENTERED;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
  out->hats[0] = HatDegrees(hat);
}

void ReadRaw(SDL_Joystick* j, JoystickReading* out) {
  const int axes = std::min(SDL_JoystickNumAxes(j), 8);
  for (int i = 0; i < axes; ++i) {
    const int32_t value = WideAxis(SDL_JoystickGetAxis(j, i));
    if (i < 6)
      out->axes[i] = value;
    else
      out->sliders[i - 6] = value;
  }
  const int hats = std::min(SDL_JoystickNumHats(j), 4);
  for (int i = 0; i < hats; ++i) out->hats[i] = HatDegrees(SDL_JoystickGetHat(j, i));
  const int buttons = std::min(SDL_JoystickNumButtons(j), 32);
  for (int i = 0; i < buttons; ++i) out->buttons[i] = SDL_JoystickGetButton(j, i) != 0 ? 0x80 : 0;
}

}  // namespace

int JoystickDeviceCount() {
  if (!StartJoysticks()) return 0;
  const int count = SDL_NumJoysticks();
  return count > 0 ? count : 0;
}

Joystick* OpenJoystick(int device) {
  if (!StartJoysticks() || device < 0 || device >= SDL_NumJoysticks()) return nullptr;
  Joystick* j = new Joystick;
  if (SDL_IsGameController(device)) {
    j->controller = SDL_GameControllerOpen(device);
    if (j->controller != nullptr) j->joystick = SDL_GameControllerGetJoystick(j->controller);
  }
  if (j->joystick == nullptr) j->joystick = SDL_JoystickOpen(device);
  if (j->joystick == nullptr) {
    if (j->controller != nullptr) SDL_GameControllerClose(j->controller);
    delete j;
    return nullptr;
  }
  j->instance = SDL_JoystickInstanceID(j->joystick);
  if (g_hapticReady && SDL_JoystickIsHaptic(j->joystick) == SDL_TRUE) {
    j->haptic = SDL_HapticOpenFromJoystick(j->joystick);
    if (j->haptic != nullptr && (SDL_HapticQuery(j->haptic) & SDL_HAPTIC_CONSTANT) == 0) {
      SDL_HapticClose(j->haptic);
      j->haptic = nullptr;
    }
  }
  return j;
}

void CloseJoystick(Joystick* j) {
  if (j == nullptr) return;
  if (j->haptic != nullptr) {
    SDL_HapticStopAll(j->haptic);
    SDL_HapticClose(j->haptic);
  }
  if (j->controller != nullptr)
    SDL_GameControllerClose(j->controller);
  else
    SDL_JoystickClose(j->joystick);
  delete j;
}

std::string JoystickName(Joystick* j) {
  if (j == nullptr) return {};
  const char* instance = SDL_JoystickName(j->joystick);
  const char* product = j->controller != nullptr ? SDL_GameControllerName(j->controller) : nullptr;
  std::string name = instance != nullptr ? instance : "Joystick";
  name += ", ";
  name += product != nullptr ? product : (instance != nullptr ? instance : "Joystick");
  return name;
}

int JoystickInstance(Joystick* j) { return j != nullptr ? j->instance : -1; }

int JoystickDeviceInstance(int device) {
  if (!g_joystickReady || device < 0 || device >= SDL_NumJoysticks()) return -1;
  return SDL_JoystickGetDeviceInstanceID(device);
}

bool ReadJoystickState(Joystick* j, JoystickReading* out) {
  *out = JoystickReading();
  for (int32_t& hat : out->hats) hat = -1;
  if (j == nullptr || SDL_JoystickGetAttached(j->joystick) != SDL_TRUE) return false;
  // Fresh values also when the program polls without pumping events.
  SDL_JoystickUpdate();
  if (j->controller != nullptr)
    ReadController(j->controller, out);
  else
    ReadRaw(j->joystick, out);
  return true;
}

bool JoystickHasForceFeedback(Joystick* j) { return j != nullptr && j->haptic != nullptr; }

bool PlayJoystickForce(Joystick* j, int level, int dx, int dy) {
  if (j == nullptr || j->haptic == nullptr) return false;
  // Each call replaces the force: stop what runs and start afresh.
  SDL_HapticStopAll(j->haptic);
  if (j->effect >= 0) {
    SDL_HapticDestroyEffect(j->haptic, j->effect);
    j->effect = -1;
  }
  SDL_HapticEffect effect;
  std::memset(&effect, 0, sizeof effect);
  effect.type = SDL_HAPTIC_CONSTANT;
  effect.constant.direction.type = SDL_HAPTIC_CARTESIAN;
  effect.constant.direction.dir[0] = dx;
  effect.constant.direction.dir[1] = dy;
  effect.constant.length = SDL_HAPTIC_INFINITY;
  effect.constant.level = static_cast<Sint16>(std::clamp(level, 0, 10000) * 32767 / 10000);
  j->effect = SDL_HapticNewEffect(j->haptic, &effect);
  if (j->effect < 0) return false;
  return SDL_HapticRunEffect(j->haptic, j->effect, 1) == 0;
}

int AttachVirtualJoystick(int axes, int buttons, int hats) {
  if (!StartJoysticks()) return -1;
  const int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, axes, buttons, hats);
  if (device < 0) return -1;
  return SDL_JoystickGetDeviceInstanceID(device);
}

bool DetachVirtualJoystick(int instance) {
  if (!g_joystickReady) return false;
  for (int device = 0; device < SDL_NumJoysticks(); ++device) {
    if (SDL_JoystickGetDeviceInstanceID(device) == instance && SDL_JoystickIsVirtual(device))
      return SDL_JoystickDetachVirtual(device) == 0;
  }
  return false;
}

void FeedVirtualJoystick(const Event& event) {
  if (!g_joystickReady) return;
  SDL_Joystick* j = SDL_JoystickFromInstanceID(event.joystick);
  if (j == nullptr) return;
  // Setting a virtual control to the value SDL itself reported changes
  // nothing, so the events SDL sends back for these changes settle at once.
  switch (event.type) {
    case EventType::JoystickAxis:
      SDL_JoystickSetVirtualAxis(j, event.axis, static_cast<Sint16>(std::clamp(event.value, -32768, 32767)));
      break;
    case EventType::JoystickButton:
      SDL_JoystickSetVirtualButton(j, event.axis, event.pressed ? SDL_PRESSED : SDL_RELEASED);
      break;
    case EventType::JoystickHat:
      SDL_JoystickSetVirtualHat(j, event.axis, HatFromDegrees(event.value));
      break;
    default:
      break;
  }
}

}  // namespace platform
