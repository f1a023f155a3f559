// The chat example's project settings, compiled in.
#include "chat.h"

namespace chat {

void settings() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FullScreen = 0;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.Multisample = 0;
  s.FrameRate = 30;
  s.AppTitle = "Velmora chat";
}

}  // namespace chat
