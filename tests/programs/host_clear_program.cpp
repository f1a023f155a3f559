// A minimal program on the runtime: clears every frame to a colour and shows
// frames until something ends it (quit keys, the window's close button, the
// frame-limit option). Arguments after the runtime's own: "--colour C" picks
// the clear colour (packed red + green*256 + blue*65536), "--fps F" the rate.
// "--end-after N" shows N frames instead, frame k filled with the colour plus
// k in red, its top left 80 x 50 pixels with 0x80 more red and its bottom
// right ones with 0x40 more, then fills the screen with white, never shown,
// and ENDs; "--quarter-viewport 1" first narrows the viewport to the top
// left quarter.
#include <cstdio>
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
  // "--resize-at K --resize-to WxH": frame K and those after it are W x H.
  const char* resizeAt = Option("--resize-at");
  const char* resizeTo = Option("--resize-to");
  int32_t width = 320, height = 200;
  for (int32_t k = 1; k <= std::atoi(endAfter); ++k) {
    if (resizeAt != nullptr && resizeTo != nullptr && k == std::atoi(resizeAt) &&
        std::sscanf(resizeTo, "%dx%d", &width, &height) == 2)
      SetScreenMode(width, height, 0);
    DrawRect(0, 0, width, height, colour + k);
    // Two corners that show which way up and how large the frame is.
    DrawRect(0, 0, 80, 50, colour + k + 0x80);
    DrawRect(width - 80, height - 50, 80, 50, colour + k + 0x40);
    ShowScreen();
  }
  if (Option("--quarter-viewport") != nullptr) SetViewport(0, 0, 160, 100);
  // "--resize-after WxH": the window takes that size after the last frame.
  const char* resizeAfter = Option("--resize-after");
  if (resizeAfter != nullptr && std::sscanf(resizeAfter, "%dx%d", &width, &height) == 2)
    SetScreenMode(width, height, 0);
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
