// Shared between the SDL-backed files of the platform layer.
#pragma once

#include <SDL2/SDL.h>

#include "platform/platform.h"

namespace platform {

struct Window {
  SDL_Window* sdl = nullptr;
  uint32_t id = 0;
};

struct GLContext {
  SDL_GLContext sdl = nullptr;
  uint64_t serial = 0;
};

// Key code (0..255) for an SDL scancode, 0 for keys without one.
int KeyCodeFromSdl(int scancode);
// SDL scancode for a key code, 0 when none.
int SdlScancodeFromKeyCode(int code);

// Updates the kept input state with an event as it is delivered.
void ApplyToInputState(const Event& event);
// Converts one SDL event; false for events the runtime does not use.
bool TranslateSdlEvent(const SDL_Event& sdl, Event* event);

}  // namespace platform
