// The event pump and the input state it keeps.
//
// System events are translated as soon as they are pumped and queued together
// with injected ones, so both reach the runtime through the same path and in
// the order they happened. The keyboard, mouse and wheel state is updated
// when an event is delivered, not when it is queued: a key that is still
// waiting in the queue does not read as down yet.
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/sdl_internal.h"

namespace platform {

namespace {

std::deque<Event> g_queue;

struct InputState {
  uint8_t keys[256] = {};
  int mouseX = 0, mouseY = 0;
  uint32_t buttons = 0;
  int motionX = 0, motionY = 0;
  int wheel = 0;
};
InputState g_input;

int ButtonFromSdl(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return button;
  }
}

// Moves everything SDL has into our queue, translated.
void DrainSystemEvents() {
  if (!Init()) return;
  SDL_Event sdl;
  while (SDL_PollEvent(&sdl) != 0) {
    Event event;
    if (TranslateSdlEvent(sdl, &event)) g_queue.push_back(event);
  }
}

}  // namespace

namespace {

// Each of these fills the event for the SDL events of its kind and says
// whether it did; events the runtime does not use give false.

bool TranslateWindowEvent(const SDL_Event& sdl, Event& e) {
  switch (sdl.type) {
    case SDL_QUIT:
      e.type = EventType::Close;
      return true;
    case SDL_WINDOWEVENT:
      switch (sdl.window.event) {
        case SDL_WINDOWEVENT_CLOSE: e.type = EventType::Close; return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED: e.type = EventType::FocusGained; return true;
        case SDL_WINDOWEVENT_FOCUS_LOST: e.type = EventType::FocusLost; return true;
        case SDL_WINDOWEVENT_EXPOSED: e.type = EventType::Exposed; return true;
        default: return false;
      }
    default:
      return false;
  }
}

bool TranslateKeyboardEvent(const SDL_Event& sdl, Event& e) {
  switch (sdl.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      e.type = sdl.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
      e.key = KeyCodeFromSdl(sdl.key.keysym.scancode);
      e.repeat = sdl.key.repeat != 0;
      return e.key != 0;
    case SDL_TEXTINPUT:
      e.type = EventType::Text;
      std::snprintf(e.text, sizeof e.text, "%s", sdl.text.text);
      return true;
    default:
      return false;
  }
}

bool TranslateMouseEvent(const SDL_Event& sdl, Event& e) {
  switch (sdl.type) {
    case SDL_MOUSEMOTION:
      e.type = EventType::MouseMotion;
      e.x = sdl.motion.x;
      e.y = sdl.motion.y;
      e.dx = sdl.motion.xrel;
      e.dy = sdl.motion.yrel;
      return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      e.type = sdl.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseButtonDown : EventType::MouseButtonUp;
      e.button = ButtonFromSdl(sdl.button.button);
      e.pressed = sdl.type == SDL_MOUSEBUTTONDOWN;
      e.x = sdl.button.x;
      e.y = sdl.button.y;
      return true;
    case SDL_MOUSEWHEEL:
      e.type = EventType::MouseWheel;
      e.wheel = sdl.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -sdl.wheel.y : sdl.wheel.y;
      return true;
    default:
      return false;
  }
}

bool TranslateJoystickEvent(const SDL_Event& sdl, Event& e) {
  switch (sdl.type) {
    case SDL_JOYAXISMOTION:
      e.type = EventType::JoystickAxis;
      e.joystick = sdl.jaxis.which;
      e.axis = sdl.jaxis.axis;
      e.value = sdl.jaxis.value;
      return true;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
      e.type = EventType::JoystickButton;
      e.joystick = sdl.jbutton.which;
      e.axis = sdl.jbutton.button;
      e.pressed = sdl.type == SDL_JOYBUTTONDOWN;
      return true;
    case SDL_JOYHATMOTION: {
      e.type = EventType::JoystickHat;
      e.joystick = sdl.jhat.which;
      e.axis = sdl.jhat.hat;
      static const int kHat[16] = {-1, 0, 9000, 4500, 18000, -1, 13500, -1,
                                   27000, 31500, -1, -1, 22500, -1, -1, -1};
      e.value = kHat[sdl.jhat.value & 15];
      return true;
    }
    case SDL_JOYDEVICEADDED:
      e.type = EventType::JoystickAdded;
      e.joystick = sdl.jdevice.which;
      return true;
    case SDL_JOYDEVICEREMOVED:
      e.type = EventType::JoystickRemoved;
      e.joystick = sdl.jdevice.which;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TranslateSdlEvent(const SDL_Event& sdl, Event* event) {
  Event e;
  const bool translated = TranslateWindowEvent(sdl, e) || TranslateKeyboardEvent(sdl, e) ||
                          TranslateMouseEvent(sdl, e) || TranslateJoystickEvent(sdl, e);
  if (!translated) return false;
  *event = e;
  return true;
}

void ApplyToInputState(const Event& event) {
  switch (event.type) {
    case EventType::KeyDown:
      if (event.key > 0 && event.key < 256) g_input.keys[event.key] = 0x80;
      break;
    case EventType::KeyUp:
      if (event.key > 0 && event.key < 256) g_input.keys[event.key] = 0;
      break;
    case EventType::MouseMotion:
      g_input.mouseX = event.x;
      g_input.mouseY = event.y;
      g_input.motionX += event.dx;
      g_input.motionY += event.dy;
      break;
    case EventType::MouseButtonDown:
    case EventType::MouseButtonUp: {
      static const uint32_t kBit[4] = {0, 1, 2, 4};
      const uint32_t bit = event.button >= 1 && event.button <= 3 ? kBit[event.button] : 0;
      if (event.type == EventType::MouseButtonDown)
        g_input.buttons |= bit;
      else
        g_input.buttons &= ~bit;
      break;
    }
    case EventType::MouseWheel:
      g_input.wheel += event.wheel;
      break;
    case EventType::FocusLost:
      // Keys released while another window has the focus never reach us.
      std::memset(g_input.keys, 0, sizeof g_input.keys);
      g_input.buttons = 0;
      break;
    default:
      break;
  }
}

bool PeekEvent() {
  if (g_queue.empty()) DrainSystemEvents();
  return !g_queue.empty();
}

bool PollEvent(Event* event) {
  if (g_queue.empty()) DrainSystemEvents();
  if (g_queue.empty()) return false;
  const Event next = g_queue.front();
  g_queue.pop_front();
  ApplyToInputState(next);
  if (event != nullptr) *event = next;
  return true;
}

void InjectEvent(const Event& event) {
  // System events that happened before the injection come first.
  DrainSystemEvents();
  g_queue.push_back(event);
}

void FlushEvents() {
  DrainSystemEvents();
  g_queue.clear();
}

const uint8_t* KeyboardState() { return g_input.keys; }

void GetMousePosition(int* x, int* y) {
  if (x != nullptr) *x = g_input.mouseX;
  if (y != nullptr) *y = g_input.mouseY;
}

uint32_t MouseButtons() { return g_input.buttons; }

void TakeMouseMotion(int* dx, int* dy) {
  if (dx != nullptr) *dx = g_input.motionX;
  if (dy != nullptr) *dy = g_input.motionY;
  g_input.motionX = 0;
  g_input.motionY = 0;
}

int TakeMouseWheel() {
  const int wheel = g_input.wheel;
  g_input.wheel = 0;
  return wheel;
}

void SetRelativeMouseMode(Window* window, bool on) {
  (void)window;
  if (Init()) SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE);
}

void ShowSystemPointer(bool show) {
  if (Init()) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void WarpMouse(Window* window, int x, int y) {
  if (window != nullptr) SDL_WarpMouseInWindow(window->sdl, x, y);
  g_input.mouseX = x;
  g_input.mouseY = y;
}

}  // namespace platform
