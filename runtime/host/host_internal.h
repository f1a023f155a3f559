// Shared between the host's own files.
#pragma once

#include <cstdint>

// The desktop size remembered when the main window was created.
void HostDesktopSize(int32_t* w, int32_t* h);
// Screenshot and frame limit of the automation options; called first thing
// in every ShowScreen.
void AutomationFrame();
