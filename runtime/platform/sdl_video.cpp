// Windows and OpenGL contexts over SDL2.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <SDL2/SDL_opengl.h>

#include "platform/sdl_internal.h"

namespace platform {

namespace {

bool g_initialised = false;
bool g_headless = false;

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

bool Init() {
  if (g_initialised) return true;
  // Without a display the offscreen driver renders through EGL, so windows and
  // GL work on a machine with no screen at all.
  const char* forced = std::getenv("SDL_VIDEODRIVER");
  if ((forced == nullptr || *forced == '\0') && !HasDisplay())
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  // The runtime's quit handling lives in its own window procedure; SDL must
  // not turn SIGINT into a close request.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "video start-up failed: %s\n", SDL_GetError());
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  g_headless = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
  g_initialised = true;
  return true;
}

bool IsHeadless() { return g_headless; }

const char* VideoDriverName() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr ? driver : "none";
}

Window* CreateWindow(const char* title, int x, int y, int w, int h, const GLConfig& config) {
  if (!Init()) return nullptr;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, config.alphaBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, config.depthBits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, config.stencilBits);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, config.multisample ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, config.multisample > 0 ? config.multisample : 0);
  SDL_Window* sdl = SDL_CreateWindow(title, x, y, w > 0 ? w : 1, h > 0 ? h : 1,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (sdl == nullptr) return nullptr;
  Window* window = new Window;
  window->sdl = sdl;
  window->id = SDL_GetWindowID(sdl);
  return window;
}

void DestroyWindow(Window* window) {
  if (window == nullptr) return;
  SDL_DestroyWindow(window->sdl);
  delete window;
}

void SetWindowCaption(Window* window, const char* caption) {
  if (window != nullptr) SDL_SetWindowTitle(window->sdl, caption != nullptr ? caption : "");
}

std::string GetWindowCaption(Window* window) {
  if (window == nullptr) return {};
  const char* title = SDL_GetWindowTitle(window->sdl);
  return title != nullptr ? title : "";
}

void SetWindowPosition(Window* window, int x, int y) {
  if (window != nullptr) SDL_SetWindowPosition(window->sdl, x, y);
}

void SetWindowClientSize(Window* window, int w, int h) {
  if (window == nullptr || w <= 0 || h <= 0) return;
  int oldW = 0, oldH = 0;
  SDL_GetWindowSize(window->sdl, &oldW, &oldH);
  if (oldW == w && oldH == h) return;
  if (!g_headless) {
    SDL_SetWindowSize(window->sdl, w, h);
    return;
  }
  // The offscreen driver keeps the drawing surface it made with the window,
  // so a new size needs a new window; the GL context moves over to it and
  // keeps its objects. The Window record stays the same for its users.
  SDL_Window* replacement = SDL_CreateWindow(SDL_GetWindowTitle(window->sdl), 0, 0, w, h,
                                             SDL_GetWindowFlags(window->sdl) | SDL_WINDOW_OPENGL);
  if (replacement == nullptr) return;
  SDL_GLContext current = SDL_GL_GetCurrentContext();
  const bool wasCurrent = current != nullptr && SDL_GL_GetCurrentWindow() == window->sdl;
  if (wasCurrent && SDL_GL_MakeCurrent(replacement, current) != 0) {
    SDL_DestroyWindow(replacement);
    return;
  }
  SDL_DestroyWindow(window->sdl);
  window->sdl = replacement;
  window->id = SDL_GetWindowID(replacement);
}

void GetWindowClientSize(Window* window, int* w, int* h) {
  int width = 0, height = 0;
  if (window != nullptr) SDL_GetWindowSize(window->sdl, &width, &height);
  if (w != nullptr) *w = width;
  if (h != nullptr) *h = height;
}

void ShowWindow(Window* window) {
  if (window != nullptr) SDL_ShowWindow(window->sdl);
}

void HideWindow(Window* window) {
  if (window != nullptr) SDL_HideWindow(window->sdl);
}

void RaiseWindow(Window* window) {
  if (window != nullptr) SDL_RaiseWindow(window->sdl);
}

bool IsWindowShown(Window* window) {
  return window != nullptr && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN) != 0;
}

bool WindowHasFocus(Window* window) {
  return window != nullptr && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

bool EnterFullScreen(Window* window, int w, int h, int colourBits) {
  if (window == nullptr) return false;
  const int display = SDL_GetWindowDisplayIndex(window->sdl);
  SDL_DisplayMode wanted{};
  wanted.w = w;
  wanted.h = h;
  if (colourBits == 16) wanted.format = SDL_PIXELFORMAT_RGB565;
  SDL_DisplayMode closest{};
  if (SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &wanted, &closest) == nullptr) return false;
  if (closest.w != w || closest.h != h) return false;
  if (SDL_SetWindowDisplayMode(window->sdl, &closest) != 0) return false;
  return SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) == 0;
}

void LeaveFullScreen(Window* window) {
  if (window != nullptr) SDL_SetWindowFullscreen(window->sdl, 0);
}

void GetDesktopSize(int* w, int* h) {
  SDL_DisplayMode mode{};
  if (!Init() || SDL_GetDesktopDisplayMode(0, &mode) != 0) {
    mode.w = 0;
    mode.h = 0;
  }
  if (w != nullptr) *w = mode.w;
  if (h != nullptr) *h = mode.h;
}

int DesktopColourDepth() {
  SDL_DisplayMode mode{};
  if (!Init() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 32;
  const int bits = SDL_BITSPERPIXEL(mode.format);
  return bits == 24 ? 32 : bits;
}

void GetWorkArea(Window* window, int* x, int* y, int* w, int* h) {
  int display = window != nullptr ? SDL_GetWindowDisplayIndex(window->sdl) : 0;
  if (display < 0) display = 0;
  SDL_Rect rect{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(display, &rect) != 0) SDL_GetDisplayBounds(display, &rect);
  if (x != nullptr) *x = rect.x;
  if (y != nullptr) *y = rect.y;
  if (w != nullptr) *w = rect.w;
  if (h != nullptr) *h = rect.h;
}

GLContext* CreateGLContext(Window* window) {
  if (window == nullptr) return nullptr;
  SDL_GLContext sdl = SDL_GL_CreateContext(window->sdl);
  if (sdl == nullptr) return nullptr;
  static uint64_t serials = 0;
  GLContext* context = new GLContext;
  context->sdl = sdl;
  context->serial = ++serials;
  return context;
}

uint64_t GLContextSerial(const GLContext* context) { return context != nullptr ? context->serial : 0; }

bool MakeCurrent(Window* window, GLContext* context) {
  if (window == nullptr) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
  return SDL_GL_MakeCurrent(window->sdl, context != nullptr ? context->sdl : nullptr) == 0;
}

void DeleteGLContext(GLContext* context) {
  if (context == nullptr) return;
  SDL_GL_DeleteContext(context->sdl);
  delete context;
}

namespace {

// An offscreen surface's swap returns at once, while the software
// rasteriser may still be drawing earlier frames: without a limit the
// program queues frames faster than they are drawn, memory grows by the
// frame, and every so often it waits seconds for the backlog. A fence after
// each swap keeps one frame in flight, as a display's swap would.
class FrameThrottle {
 public:
  void AfterSwap() {
    if (!Load()) return;
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    if (context == nullptr) return;
    if (previous_ != nullptr && previousContext_ == context) {
      // Waits for the frame before this one; this one may still be drawn.
      while (clientWaitSync_(previous_, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000ull) == GL_TIMEOUT_EXPIRED) {
      }
      deleteSync_(previous_);
    }
    // A fence of another (gone) context is simply forgotten.
    previous_ = fenceSync_(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    previousContext_ = context;
  }

 private:
  bool Load() {
    if (!loaded_) {
      loaded_ = true;
      fenceSync_ = reinterpret_cast<PFNGLFENCESYNCPROC>(SDL_GL_GetProcAddress("glFenceSync"));
      clientWaitSync_ = reinterpret_cast<PFNGLCLIENTWAITSYNCPROC>(SDL_GL_GetProcAddress("glClientWaitSync"));
      deleteSync_ = reinterpret_cast<PFNGLDELETESYNCPROC>(SDL_GL_GetProcAddress("glDeleteSync"));
      const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
      // Fences are core from OpenGL 3.2 on.
      usable_ = fenceSync_ != nullptr && clientWaitSync_ != nullptr && deleteSync_ != nullptr &&
                version != nullptr && std::atof(version) >= 3.2;
    }
    return usable_;
  }

  bool loaded_ = false;
  bool usable_ = false;
  PFNGLFENCESYNCPROC fenceSync_ = nullptr;
  PFNGLCLIENTWAITSYNCPROC clientWaitSync_ = nullptr;
  PFNGLDELETESYNCPROC deleteSync_ = nullptr;
  GLsync previous_ = nullptr;
  SDL_GLContext previousContext_ = nullptr;
};

FrameThrottle g_throttle;

}  // namespace

void SwapBuffers(Window* window) {
  if (window == nullptr) return;
  SDL_GL_SwapWindow(window->sdl);
  if (g_headless) g_throttle.AfterSwap();
}

bool SetSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

void* GLProcAddress(const char* name) {
  if (name == nullptr || SDL_GL_GetCurrentContext() == nullptr) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

GLSurfaceInfo QuerySurface() {
  GLSurfaceInfo info{};
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &info.depthBits);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &info.stencilBits);
  SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &info.alphaBits);
  SDL_GL_GetAttribute(SDL_GL_MULTISAMPLEBUFFERS, &info.sampleBuffers);
  SDL_GL_GetAttribute(SDL_GL_MULTISAMPLESAMPLES, &info.samples);
  int accelerated = 1;
  SDL_GL_GetAttribute(SDL_GL_ACCELERATED_VISUAL, &accelerated);
  info.accelerated = accelerated != 0;
  return info;
}

void ShowMessageBox(const char* title, const char* text, MessageKind kind) {
  const char* quiet = std::getenv("VELMORA_NO_DIALOGS");
  if (!g_headless && HasDisplay() && (quiet == nullptr || *quiet == '\0')) {
    const Uint32 flags = kind == MessageKind::Error     ? SDL_MESSAGEBOX_ERROR
                         : kind == MessageKind::Warning ? SDL_MESSAGEBOX_WARNING
                                                        : SDL_MESSAGEBOX_INFORMATION;
    if (SDL_ShowSimpleMessageBox(flags, title, text, nullptr) == 0) return;
  }
  std::fprintf(stderr, "[%s] %s\n", title != nullptr ? title : "", text != nullptr ? text : "");
}

void Beep() { std::fputc('\a', stderr); }

}  // namespace platform
