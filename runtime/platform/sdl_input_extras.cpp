// Input services beside the event pump: what the keys type in the current
// keyboard layout (SDL's keymap), taking over the pointer, and where the
// pointer is.
#include "platform/sdl_internal.h"

namespace platform {

uint32_t KeyLayoutCharacter(int code) {
  const int scancode = SdlScancodeFromKeyCode(code);
  if (scancode == 0 || !Init()) return 0;
  // The keypad keys have keycodes of their own outside the character range;
  // they type what their labels show (the digits only with Num Lock on).
  switch (scancode) {
    case SDL_SCANCODE_KP_DIVIDE: return '/';
    case SDL_SCANCODE_KP_MULTIPLY: return '*';
    case SDL_SCANCODE_KP_MINUS: return '-';
    case SDL_SCANCODE_KP_PLUS: return '+';
    case SDL_SCANCODE_KP_ENTER: return '\r';
    case SDL_SCANCODE_KP_EQUALS: return '=';
    case SDL_SCANCODE_KP_COMMA: return ',';
    default: break;
  }
  if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_PERIOD) {
    if (!NumLockOn()) return 0;
    if (scancode == SDL_SCANCODE_KP_PERIOD) return '.';
    if (scancode == SDL_SCANCODE_KP_0) return '0';
    return static_cast<uint32_t>('1' + (scancode - SDL_SCANCODE_KP_1));
  }
  const SDL_Keycode key = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(scancode));
  // Keycodes with the scancode mask name keys that type nothing.
  if (key <= 0 || (key & SDLK_SCANCODE_MASK) != 0) return 0;
  return static_cast<uint32_t>(key);
}

bool CapsLockOn() { return Init() && (SDL_GetModState() & KMOD_CAPS) != 0; }

bool NumLockOn() { return Init() && (SDL_GetModState() & KMOD_NUM) != 0; }

bool CapturePointer(bool on) {
  if (!Init()) return false;
  return SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0;
}

bool QueryPointerPosition(Window* window, int* x, int* y) {
  if (window == nullptr || !Init()) return false;
  if (IsHeadless()) {
    // No pointer exists offscreen: it rests in the middle of the window, the
    // place a user would leave it.
    SDL_GetWindowSize(window->sdl, x, y);
    *x /= 2;
    *y /= 2;
    return true;
  }
  int globalX = 0, globalY = 0, windowX = 0, windowY = 0;
  SDL_GetGlobalMouseState(&globalX, &globalY);
  SDL_GetWindowPosition(window->sdl, &windowX, &windowY);
  *x = globalX - windowX;
  *y = globalY - windowY;
  return true;
}

}  // namespace platform
