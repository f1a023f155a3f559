// A program that prints what it reads from the input devices, one line per
// change, for tests that drive a real window from outside (xdotool):
//   "mouse X Y B1 B2"   GetMouseState after it changed
//   "char C"            a typed character (decimal code)
//   "key CODE down|up"  a key code whose state changed
//   "ready"             after the first frames, once the window is shown
// Escape ends it (the quit keys); so does the frame-limit option.
// Arguments after the runtime's own: "--hide" hides the mouse pointer as
// Polyvane does; "--debug 0" makes a release build (focus loss pauses).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "host/host.h"
#include "host/runtime.h"
#include "input/input.h"

namespace {

int g_argc = 0;
char** g_argv = nullptr;

bool Flag(const char* name) {
  for (int i = 1; i < g_argc; ++i)
    if (std::strcmp(g_argv[i], name) == 0) return true;
  return false;
}

const char* Option(const char* name) {
  for (int i = 1; i + 1 < g_argc; ++i)
    if (std::strcmp(g_argv[i], name) == 0) return g_argv[i + 1];
  return nullptr;
}

void EchoSettings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FullScreen = 0;
  s.FrameRate = 60;
  s.DebugMode = Option("--debug") != nullptr ? std::atoi(Option("--debug")) : 1;
  s.HideMouse = Flag("--hide") ? 1 : 0;
  s.AppTitle = "InputEcho";
}

void EchoMain() {
  bool down[256] = {};
  Number lastX = -1, lastY = -1, lastB1 = -1, lastB2 = -1;
  for (int frame = 0;; ++frame) {
    Number x = 0, y = 0, b1 = 0, b2 = 0;
    GetMouseState(x, y, b1, b2);
    if (x != lastX || y != lastY || b1 != lastB1 || b2 != lastB2) {
      std::printf("mouse %d %d %d %d\n", static_cast<int>(x), static_cast<int>(y), static_cast<int>(b1),
                  static_cast<int>(b2));
      lastX = x;
      lastY = y;
      lastB1 = b1;
      lastB2 = b2;
    }
    for (int32_t c = PopTypedChar(); c != 0; c = PopTypedChar()) std::printf("char %d\n", c);
    for (int32_t code = 1; code < 256; ++code) {
      const bool now = IsKeyDown(code);
      if (now != down[code]) std::printf("key %d %s\n", code, now ? "down" : "up");
      down[code] = now;
    }
    if (frame == 10) std::puts("ready");
    std::fflush(stdout);
    ShowScreen();
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&EchoSettings, nullptr, nullptr, &EchoMain, kNoRoutines};
  return RunApplication(argc, argv, app);
}
