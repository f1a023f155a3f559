// The project settings of Pathfinder, compiled in: the runtime reads them
// before it creates the window.
#include "pathfinder.h"

namespace pathfinder {

void settings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FullScreen = 0;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.Multisample = 0;
  s.FrameRate = 60;
  s.AppTitle = "Pathfinder";
}

}  // namespace pathfinder
