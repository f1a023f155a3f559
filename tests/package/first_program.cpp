// A first program on Velmora: a dark blue screen with a yellow box, shown every frame.
#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "host/runtime.h"

namespace first {

void settings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 320;
  s.ScreenHeight = 240;
  s.AppTitle = "First";
}

void mainProgram() {
  ClearScreen(0x602010);  // colours are red + green * 256 + blue * 65536
  for (;;) {
    DrawRect(100, 60, 120, 80, 0x00E0FF);
    ShowScreen();
  }
}

const RoutineEntry kCallByName[] = {{nullptr, nullptr}};

}  // namespace first

int main(int argc, char** argv) {
  const Application app{&first::settings, nullptr, nullptr, &first::mainProgram, first::kCallByName};
  return RunApplication(argc, argv, app);
}
