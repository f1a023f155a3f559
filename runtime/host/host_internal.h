// Shared between the host's own files.
#pragma once

#include <cstdint>

// The desktop size remembered when the main window was created.
void HostDesktopSize(int32_t* w, int32_t* h);
// Screenshot and frame limit of the automation options; called first thing
// in every ShowScreen.
void AutomationFrame();
// The screenshot when the program ends before its frame limit (or has
// none): the last frame it presented. Called first thing at END.
void SaveScreenshotAtEnd();
// While one of these lives, ShowScreen presents frames of the runtime's own
// (the settling frames after a screen-mode change), which the frame limit
// does not count: it counts the frames the program presents.
class RuntimeFramesScope {
 public:
  RuntimeFramesScope();
  ~RuntimeFramesScope();
  RuntimeFramesScope(const RuntimeFramesScope&) = delete;
  RuntimeFramesScope& operator=(const RuntimeFramesScope&) = delete;
};
