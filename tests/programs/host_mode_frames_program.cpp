// A program whose first statement changes the screen mode (to 200 x 150,
// windowed) and which then draws numbered frames: frame k is cleared to dark
// grey with a box whose red is 20 * k in the middle, and "frame k" is written
// to standard output before it is shown. The frame-limit option must end it
// after the frames it presented itself.
#include <cstdio>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "host/runtime.h"

namespace {

void Settings_() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 320;
  s.ScreenHeight = 240;
  s.FullScreen = 0;
  s.FrameRate = -1;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.AppTitle = "Mode frames";
}

void Main() {
  SetScreenMode(200, 150, 0);
  ClearScreen(0x202020);
  for (int32_t k = 1;; ++k) {
    DrawRect(50, 40, 100, 70, (20 * k) & 255);
    std::printf("frame %d\n", k);
    std::fflush(stdout);
    ShowScreen();
  }
}

}  // namespace

int main(int argc, char** argv) {
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&Settings_, nullptr, nullptr, &Main, kNoRoutines};
  return RunApplication(argc, argv, app);
}
