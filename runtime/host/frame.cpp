// Frame presentation and pacing with the frame clock, the frame-rate and
// full-screen queries, and the viewport and orientation commands.
#include <cmath>
#include <cstdio>

#include "core/core.h"
#include "core/debug.h"
#include "external/external.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/engine.h"
#include "gfx3d/gfx3d.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/runtime.h"
#include "input/devices.h"
#include "input/input.h"
#include "net/net.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

int32_t ActivationRequest = 0;

namespace {

FrameClock g_frameClock;
int32_t g_escapeEndsProgram = 1;

// The application's raw message callback: -1 not looked up yet, 0 none, 1 found.
int32_t g_callbackState = -1;
MessageCallback g_callback = nullptr;

void EndByQuitKey() {
  LastErrorCode = kErrorNone;
  EndProgram();
}

// Characters typed as UTF-8 text, or by keys that send a character code but
// no text (Return, Backspace, Tab, Escape).
void HandleMessage(const platform::Event& event) {
  if (event.type == platform::EventType::Text) TypeText(event.text);
  if (event.type == platform::EventType::KeyDown) TypeKey(event.key);
}

}  // namespace

FrameClock& TheFrameClock() { return g_frameClock; }

void StartFrameClock() {
  g_frameClock.frameTime = g_frameClock.previousFrameTime = g_frameClock.timerBase = GetMilliseconds();
}

MessageCallback LookUpMessageCallback() {
  if (g_callbackState == -1) {
    Routine routine = FindRoutineByName("VLM_WIN32_MSG");
    g_callbackState = routine != nullptr ? 1 : 0;
    g_callback = routine;
  }
  return g_callback;
}

void ShowScreen() {
  AutomationFrame();
  Renderer* r = TheRenderer();
  if (r == nullptr) return;

  if (ActivationRequest) {
    std::puts("activate");
    platform::ShowWindow(r->window);
    platform::RaiseWindow(r->window);
    std::puts("ok");
    ActivationRequest = 0;
  }
  g_frameClock.previousFrameTime = g_frameClock.frameTime;
  g_frameClock.frameTime = GetMilliseconds();
  while (IsPaused()) Hibernate();

  ResetKeyQueryCounter();
  RefreshKeyboard();
  ConsumeMouseMotionForFrame();

  if (g_escapeEndsProgram && (KeyStateDown(kKeyQuitExtra) || KeyStateDown(kKeyEscape))) EndByQuitKey();
  if (KeyStateDown(kKeyLeftAlt) && KeyStateDown(kKeyF4)) EndByQuitKey();

  Leave3D();
  MediaLoopMaintenance();
  MessageCallback callback = LookUpMessageCallback();
  PumpMessages(*r, callback);
  PresentFrame(*r, callback);
  SwitchGLState(kStateBlend, false);
  r->globalAlpha = 1.0f;
  glColor4f(1, 1, 1, 1);
  ResetGLState();
  Reset2DDrawState(*r);
  SetMeshTextureMode(0);
  SelectNoShaderProgram();
}

double NextFrameDeadline(double deadline, double period, double t) {
  if (period <= 0) return deadline;
  const double d1 = deadline + period;
  if (t <= d1) return d1;
  const double d2 = d1 + period;
  if (t <= d2) return d2;
  return t + period;
}

bool PresentFrame(Renderer& r, MessageCallback callback) {
  if (r.currentTarget >= 0) EndScreen();
  platform::SwapBuffers(r.window);

  if (BackgroundPresent(0)) {
    if (r.depthClearPending) {
      r.depthClearPending = 0;
      glClear(GL_DEPTH_BUFFER_BIT);
    }
    DrawBackground(0);
  } else {
    GLbitfield mask = 0;
    if (r.clearEachFrame) mask |= GL_COLOR_BUFFER_BIT;
    if (r.depthClearPending) {
      mask |= GL_DEPTH_BUFFER_BIT;
      r.depthClearPending = 0;
    }
    if (mask != 0) glClear(mask);
  }

  double t = 0.0;
  for (;;) {
    PumpMessages(r, callback);
    const double now = GetMilliseconds();
    const double remaining = g_frameClock.deadline - now;
    if (remaining > 7.0) {
      platform::SleepMs(static_cast<int>(remaining - 3.0));
      continue;
    }
    if (remaining > 1.0) continue;
    t = now;
    break;
  }
  FrameClock& clock = g_frameClock;
  if (clock.period > 0) clock.deadline = NextFrameDeadline(clock.deadline, clock.period, t);
  return true;
}

bool PumpMessages(Renderer& r, MessageCallback callback) {
  (void)r;
  platform::Event event;
  if (callback != nullptr) {
    while (platform::PeekEvent()) {
      callback();
      if (!platform::PollEvent(&event)) break;
      HandleMessage(event);
      WindowProcedure(event);
    }
  } else {
    while (platform::PollEvent(&event)) {
      HandleMessage(event);
      WindowProcedure(event);
    }
  }
  return true;
}

double GetFrameDelta() {
  const double d = g_frameClock.frameTime - g_frameClock.previousFrameTime;
  return d > 0 ? d : 1.0;
}

void SetFrameRate(double rate) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const int32_t f = static_cast<int32_t>(rate);
  if (f > 0) {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(1);
    g_frameClock.period = 1000.0 / f;
  } else {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(0);
    g_frameClock.period = 2.0;
  }
}

int32_t IsFullScreen() {
  Renderer* r = TheRenderer();
  return r != nullptr && r->fullScreenActive ? 1 : 0;
}

void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
  Leave3D();
  ApplyViewport(x, y, w, h);
}

void SetOrientation(int32_t orientation) {
  if (gl::TheDisplay() == nullptr) return;
  StoreOrientation(orientation);
  Leave3D();
  ApplyViewport(0, 0, 0, 0);
}

int32_t GetOrientation() {
  const gl::Display* display = gl::TheDisplay();
  return display != nullptr ? display->orientation : kOrientationUpright;
}

void GetDesktopSize(int32_t* w, int32_t* h) { HostDesktopSize(w, h); }

int32_t EscapeEndsProgram() { return g_escapeEndsProgram; }

int32_t AllowEscape(int32_t flag) {
  g_escapeEndsProgram = flag != 0 ? 1 : 0;
  return g_escapeEndsProgram;
}
