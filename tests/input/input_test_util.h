// Shared by the input tests: a headless 1024 x 768 runtime and injected
// events.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host.h"
#include "host/runtime.h"
#include "platform/platform.h"
#include "support/runtime_fixture.h"

namespace input_test {

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;

// The tests drive the window with injected events only; a real display
// would add the user's own events (and focus rules) to them.
inline Renderer& Runtime() {
  static const bool headless = [] {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    return true;
  }();
  (void)headless;
  testing_support::RuntimeOptions options;
  options.width = kWidth;
  options.height = kHeight;
  return testing_support::StartTestRuntime(options);
}

// Delivers everything injected so far, without a frame (no consuming read).
inline void Pump() { PumpMessages(Runtime(), nullptr); }

inline void Inject(const platform::Event& event) { platform::InjectEvent(event); }

inline void Key(int code, bool down) {
  platform::Event e;
  e.type = down ? platform::EventType::KeyDown : platform::EventType::KeyUp;
  e.key = code;
  Inject(e);
}

inline void Text(const char* utf8) {
  platform::Event e;
  e.type = platform::EventType::Text;
  std::strncpy(e.text, utf8, sizeof e.text - 1);
  Inject(e);
}

inline void MoveTo(int x, int y, int dx = 0, int dy = 0) {
  platform::Event e;
  e.type = platform::EventType::MouseMotion;
  e.x = x;
  e.y = y;
  e.dx = dx;
  e.dy = dy;
  Inject(e);
}

inline void MoveBy(int dx, int dy) { MoveTo(0, 0, dx, dy); }

inline void Wheel(int steps) {
  platform::Event e;
  e.type = platform::EventType::MouseWheel;
  e.wheel = steps;
  Inject(e);
}

inline void Button(int button, bool down) {
  platform::Event e;
  e.type = down ? platform::EventType::MouseButtonDown : platform::EventType::MouseButtonUp;
  e.button = button;
  e.pressed = down;
  Inject(e);
}

inline void Focus(bool gained) {
  platform::Event e;
  e.type = gained ? platform::EventType::FocusGained : platform::EventType::FocusLost;
  Inject(e);
}

}  // namespace input_test
