// A minimal program on the runtime: clears every frame to a colour and shows
// frames until something ends it (quit keys, the window's close button, the
// frame-limit option). Arguments after the runtime's own: "--colour C" picks
// the clear colour (packed red + green*256 + blue*65536), "--fps F" the rate.
// "--end-after N" shows N frames instead, frame k filled with the colour plus
// k in red, then fills the screen with white, never shown, and ENDs.
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "host/host.h"
#include "host/runtime.h"
#include "input/input.h"

namespace {

int g_argc = 0;
char** g_argv = nullptr;

const char* Option(const char* name) {
  for (int i = 1; i + 1 < g_argc; ++i)
    if (std::strcmp(g_argv[i], name) == 0) return g_argv[i + 1];
  return nullptr;
}

void Settings_() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 320;
  s.ScreenHeight = 200;
  s.FullScreen = 0;
  s.FrameRate = Option("--fps") != nullptr ? std::atoi(Option("--fps")) : -1;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.AppTitle = "Clear";
}

void Main() {
  const char* option = Option("--colour");
  const int32_t colour = option != nullptr ? std::atoi(option) : 0x00FF00;
  ClearScreen(colour);
  const char* endAfter = Option("--end-after");
  if (endAfter == nullptr)
    for (;;) ShowScreen();
  for (int32_t k = 1; k <= std::atoi(endAfter); ++k) {
    DrawRect(0, 0, 320, 200, colour + k);
    ShowScreen();
  }
  DrawRect(0, 0, 320, 200, 0xFFFFFF);
  EndWithCode0();
}

}  // namespace


int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&Settings_, nullptr, nullptr, &Main, kNoRoutines};
  return RunApplication(argc, argv, app);
}
