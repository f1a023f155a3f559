// A program that PRINTs and then sleeps until it is killed: what it printed
// must reach the reader of its output (a pipe) while it sleeps, and survive
// the kill. A PRINT ending in ";" leaves its partial line for later.
#include <chrono>
#include <thread>

#include "core/core.h"
#include "core/settings.h"
#include "core/vlmc_support.h"
#include "host/runtime.h"

namespace {

void Settings_() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 160;
  s.ScreenHeight = 120;
  s.FullScreen = 0;
  s.FrameRate = -1;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.AppTitle = "Print";
}

void Main() {
  VlmPrint(BasicString("first line"), true);
  VlmPrint(BasicString("zone"), false);
  VlmPrintZone();
  VlmPrint(BasicString("end"), true);
  VlmPrint(BasicString("two\nlines then"), false);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

int main(int argc, char** argv) {
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&Settings_, nullptr, nullptr, &Main, kNoRoutines};
  return RunApplication(argc, argv, app);
}
