// The project settings, compiled in: the runtime reads them before it
// creates the window.
#include "polyvane.h"

namespace polyvane {

void settings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FullScreen = 0;
  s.DebugMode = 1;
  s.HideMouse = 1;
  s.Multisample = 0;
  s.FrameRate = -1;  // unlimited
  s.AppTitle = "Polyvane";
}

}  // namespace polyvane
