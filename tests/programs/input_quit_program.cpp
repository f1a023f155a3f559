// A program for the paths that end the process or touch its standard
// streams, chosen with "--scenario NAME":
//   altf4       left Alt + F4 are pressed; two frames follow
//   escape      Escape is pressed; two frames follow
//   escape-off  AllowEscape(0), Escape pressed, three frames, then Alt + F4
//   close       the window is asked to close; one frame follows
//   console     OpenConsole, then a line on standard output
// It prints "frame N" before each frame and "survived" when it gets past
// them, so the tests see where it ended. The last error code is 9 until
// something sets it.
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "host/host.h"
#include "host/runtime.h"
#include "platform/platform.h"

namespace {

int g_argc = 0;
char** g_argv = nullptr;

const char* Scenario() {
  for (int i = 1; i + 1 < g_argc; ++i)
    if (std::strcmp(g_argv[i], "--scenario") == 0) return g_argv[i + 1];
  return "";
}

void Press(int code) {
  platform::Event e;
  e.type = platform::EventType::KeyDown;
  e.key = code;
  platform::InjectEvent(e);
}

void Frames(int count) {
  static int shown = 0;
  for (int i = 0; i < count; ++i) {
    std::printf("frame %d\n", ++shown);
    std::fflush(stdout);
    ShowScreen();
  }
}

void QuitSettings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 320;
  s.ScreenHeight = 200;
  s.FrameRate = -1;
  s.DebugMode = 1;  // END writes its report to the run log
  s.HideMouse = 0;
  s.AppTitle = "Quit";
}

void QuitMain() {
  const char* scenario = Scenario();
  // The quit keys end with code 0; anything else would leave this one.
  LastErrorCode = 9;
  if (std::strcmp(scenario, "altf4") == 0) {
    Press(56);
    Press(62);
    Frames(2);
  } else if (std::strcmp(scenario, "escape") == 0) {
    Press(1);
    Frames(2);
  } else if (std::strcmp(scenario, "escape-off") == 0) {
    AllowEscape(0);
    Press(1);
    Frames(3);
    std::puts("escape ignored");
    Press(56);
    Press(62);
    Frames(2);
  } else if (std::strcmp(scenario, "close") == 0) {
    platform::Event e;
    e.type = platform::EventType::Close;
    platform::InjectEvent(e);
    Frames(1);
  } else if (std::strcmp(scenario, "console") == 0) {
    OpenConsole();
    std::puts("after console");
  }
  std::puts("survived");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&QuitSettings, nullptr, nullptr, &QuitMain, kNoRoutines};
  return RunApplication(argc, argv, app);
}
