// The main window's event handling: close, focus, pause and resume.
#include <cstdio>
#include <string>

#include "core/core.h"
#include "host/host.h"
#include "host/subsystems.h"

namespace {

int32_t g_paused = 0;
int32_t g_pausingAllowed = 1;

void SetCaption(const char* suffix) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  std::string caption = Settings().AppTitle.c_str();
  caption += suffix;
  platform::SetWindowCaption(r->window, caption.c_str());
}

}  // namespace

void WindowProcedure(const platform::Event& event) {
  switch (event.type) {
    case platform::EventType::Close:
      // END ends the process; it only returns while it is already running,
      // and then there is nothing left to do here.
      EndProgram();
      break;
    case platform::EventType::FocusLost:
      if (!Settings().DebugMode) {
        SetCaption(" <pause>");
        SetPaused(1);
      }
      break;
    case platform::EventType::FocusGained:
      if (!Settings().DebugMode) {
        SetCaption("");
        SetPaused(0);
      }
      break;
    default:
      break;
  }
}

void SetPaused(int32_t flag) {
  const int32_t effective = g_pausingAllowed ? flag : 0;
  if ((effective != 0) != (g_paused != 0)) {
    g_paused = effective != 0;
    CallByName(g_paused ? "VLM_ON_PAUSE" : "VLM_ON_RESUME");
  }
  g_paused = effective != 0;
}

void AllowPause(int32_t flag) {
  g_pausingAllowed = flag != 0;
  if (!g_pausingAllowed && g_paused) {
    g_paused = 0;
    CallByName("VLM_ON_RESUME");
  }
}

int32_t IsPaused() { return g_paused; }

void Hibernate() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  for (int pass = 0; pass < 15; ++pass) {
    MediaLoopMaintenance();
    PumpMessages(*r, nullptr);
    if (g_paused) {
      std::puts("pause loop in showscreen/hibernate");
      while (g_paused && !ActivationRequest) {
        MediaLoopMaintenance();
        PumpMessages(*r, nullptr);
        platform::SleepMs(200);
      }
      std::puts("pause loop ended");
      return;
    }
    platform::SleepMs(5);
  }
}
