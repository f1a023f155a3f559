// Frame presentation and pacing, the millisecond clock, the clear colour and
// the 2D viewport with its screen orientation.
#include <cmath>
#include <cstdio>

#include "core/core.h"
#include "host/gl_ext.h"
#include "host/gl_state.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/subsystems.h"

double FrameTime = 0.0;
double PreviousFrameTime = 0.0;
double TimerBase = 0.0;
int32_t ActivationRequest = 0;

namespace {

int32_t g_hasCounter = 0;
double g_counterFrequency = 0.0;
double g_clockOrigin = 0.0;
int32_t g_escapeEndsProgram = 1;

// The application's raw message callback: -1 not looked up yet, 0 none, 1 found.
int32_t g_callbackState = -1;
MessageCallback g_callback = nullptr;

void EndByQuitKey() {
  LastErrorCode = 0;
  EndProgram();
}

// Characters typed as UTF-8 text, or by keys that send a character code but
// no text (Return, Backspace, Tab, Escape).
void HandleMessage(const platform::Event& event) {
  if (event.type == platform::EventType::Text) TypeText(event.text);
  if (event.type == platform::EventType::KeyDown) TypeKey(event.key);
}

}  // namespace

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
  PreviousFrameTime = FrameTime;
  FrameTime = GetMilliseconds();
  while (IsPaused()) Hibernate();

  ResetKeyQueryCounter();
  RefreshKeyboard();
  ConsumeMouseMotionForFrame();

  if (g_escapeEndsProgram && (KeyStateDown(129) || KeyStateDown(1))) EndByQuitKey();
  if (KeyStateDown(56) && KeyStateDown(62)) EndByQuitKey();

  Leave3D();
  MediaLoopMaintenance();
  MessageCallback callback = LookUpMessageCallback();
  PumpMessages(*r, callback);
  PresentFrame(*r, callback);
  SwitchGLState(kStateBlend, false);
  r->globalAlpha = 1.0f;
  glColor4f(1, 1, 1, 1);
  ResetGLState(*r);
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
    const double remaining = r.FrameDeadline - now;
    if (remaining > 7.0) {
      platform::SleepMs(static_cast<int>(remaining - 3.0));
      continue;
    }
    if (remaining > 1.0) continue;
    t = now;
    break;
  }
  if (r.FramePeriod > 0) r.FrameDeadline = NextFrameDeadline(r.FrameDeadline, r.FramePeriod, t);
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

void InitTimer() {
  g_hasCounter = 0;
  const uint64_t frequency = platform::CounterFrequency();
  if (frequency > 0) {
    g_counterFrequency = static_cast<double>(frequency);
    g_hasCounter = 1;
  }
}

double GetMilliseconds() {
  const uint64_t frequency = platform::CounterFrequency();
  if (frequency == 0) return 0.0;
  // counts x 1000 / frequency in integers, wide enough that a long uptime of
  // a nanosecond counter does not overflow.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(platform::CounterNow()) * 1000u;
  const double ms = static_cast<double>(static_cast<uint64_t>(scaled / frequency));
  if (g_clockOrigin == 0.0) g_clockOrigin = ms;
  return ms - g_clockOrigin;
}

double GetFrameDelta() {
  const double d = FrameTime - PreviousFrameTime;
  return d > 0 ? d : 1.0;
}

void SetFrameRate(double rate) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const int32_t f = static_cast<int32_t>(rate);
  if (f > 0) {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(1);
    r->FramePeriod = 1000.0 / f;
  } else {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(0);
    r->FramePeriod = 2.0;
  }
}

int32_t IsFullScreen() {
  Renderer* r = TheRenderer();
  return r != nullptr && r->fullScreenActive ? 1 : 0;
}

void SetClearColour(int32_t c) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (c == -1) {
    r->clearEachFrame = 0;
    return;
  }
  r->clearEachFrame = 1;
  glClearColor((c & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, ((c >> 16) & 255) / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

void ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  const int32_t W = r->clientWidth;
  const int32_t H = r->clientHeight;
  const int32_t o = r->orientation;
  int32_t targetW = 0, targetH = 0;
  const bool target = r->currentTarget >= 0 && ActiveTargetSize(&targetW, &targetH);
  if (w <= 0 || h <= 0) {
    x = y = 0;
    if (target) {
      w = targetW;
      h = targetH;
    } else if (o == 1 || o == 3) {
      w = H;
      h = W;
    } else {
      w = W;
      h = H;
    }
  }
  glMatrixMode(GL_PROJECTION);
  if (target) {
    // A target drawn through its frame buffer holds the picture at the
    // bottom of its texture; one drawn on the back buffer (when binding was
    // refused) uses the window's top left corner, which is grabbed later.
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
    const int32_t surfaceHeight = framebuffer != 0 ? targetH : H;
    glViewport(x, surfaceHeight - h - y, w, h);
    glLoadIdentity();
  } else {
    GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    switch (o) {
      case 1:
        m[0] = 0; m[1] = -1; m[4] = 1; m[5] = 0;
        break;
      case 2:
        m[0] = -1; m[5] = -1;
        break;
      case 3:
        m[0] = 0; m[1] = 1; m[4] = -1; m[5] = 0;
        break;
      default:
        break;
    }
    int32_t physical[4];
    OrientedRectangle(o, W, H, x, y, w, h, physical);
    const int32_t px = physical[0], py = physical[1], pw = physical[2], ph = physical[3];
    glLoadMatrixf(m);
    glViewport(px, H - ph - py, pw, ph);
  }
  glOrtho(0, w, h, 0, -1, 1);
  r->viewportX = x;
  r->viewportY = y;
  r->viewportWidth = w;
  r->viewportHeight = h;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void OrientedRectangle(int32_t o, int32_t W, int32_t H, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t out[4]) {
  switch (o) {
    case 1: out[0] = W - y - h; out[1] = x; out[2] = h; out[3] = w; break;
    case 2: out[0] = W - x - w; out[1] = H - y - h; out[2] = w; out[3] = h; break;
    case 3: out[0] = y; out[1] = H - x - w; out[2] = h; out[3] = w; break;
    default: out[0] = x; out[1] = y; out[2] = w; out[3] = h; break;
  }
}

void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h) {
  Leave3D();
  ApplyViewport(x, y, w, h);
}

void GetViewport(int32_t* x, int32_t* y, int32_t* w, int32_t* h) {
  Renderer* r = TheRenderer();
  *x = r != nullptr ? r->viewportX : 0;
  *y = r != nullptr ? r->viewportY : 0;
  *w = r != nullptr ? r->viewportWidth : 0;
  *h = r != nullptr ? r->viewportHeight : 0;
}

void SetOrientation(int32_t orientation) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  r->orientation = orientation < 0 ? 0 : orientation > 3 ? 3 : orientation;
  Leave3D();
  ApplyViewport(0, 0, 0, 0);
}

int32_t GetOrientation() {
  Renderer* r = TheRenderer();
  return r != nullptr ? r->orientation : 0;
}

void GetScreenSize(int32_t* w, int32_t* h) {
  Renderer* r = TheRenderer();
  *w = *h = 0;
  if (r == nullptr) return;
  if (r->currentTarget >= 0 && ActiveTargetSize(w, h)) return;
  if (r->orientation == 1 || r->orientation == 3) {
    *w = r->clientHeight;
    *h = r->clientWidth;
  } else {
    *w = r->clientWidth;
    *h = r->clientHeight;
  }
}

void GetDesktopSize(int32_t* w, int32_t* h) { HostDesktopSize(w, h); }

int32_t EscapeEndsProgram() { return g_escapeEndsProgram; }

int32_t AllowEscape(int32_t flag) {
  g_escapeEndsProgram = flag != 0 ? 1 : 0;
  return g_escapeEndsProgram;
}
