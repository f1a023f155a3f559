// Process entry, start-up, the main window, its modes and the default GL state.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/clock.h"
#include "core/core.h"
#include "core/debug.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "external/declared.h"
#include "files/files.h"
#include "files/read_channel.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/engine.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/runtime.h"
#include "input/devices.h"
#include "input/input.h"
#include "net/startup.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

namespace {

bool g_runtimeStarted = false;
int32_t g_desktopWidth = 0;
int32_t g_desktopHeight = 0;
const Application* g_app = nullptr;

// The executable's folder ("/" separators): the current directory of the run, and again of the
// shutdown, whatever the program changed it to meanwhile.
const std::string& ExecutableFolder() {
  static const std::string folder = [] {
    std::string path = platform::ExecutablePath();
    for (char& c : path)
      if (c == '\\') c = '/';
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos) path.erase(slash);
    return path;
  }();
  return folder;
}

// The warning shown once on a software rasteriser when the program ships an
// "opengldriver.txt"; stored in the Windows-1252 code page (0xFC is u-umlaut).
const char kSoftwareRendererText[] =
    "Please update your GFX adapter's driver\nso it can render OpenGL by HARDWARE\n\n\n"
    "Bitte aktualisieren Sie Ihren\nGrafkkartentreiber, damit er OpenGL\nper HARDWARE "
    "unterst\xFCtzt!";

// Message boxes take UTF-8; the runtime's texts are in the 8-bit code page.
std::string CodePageToUtf8(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p < 0x80) {
      out += static_cast<char>(*p);
    } else {
      out += static_cast<char>(0xC0 | (*p >> 6));
      out += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return out;
}

void ApplyFramePacing(int32_t fps) {
  if (fps > 0) {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(1);
    TheFrameClock().period = 1000.0 / fps;
  } else {
    if (gl::SwapIntervalEXT != nullptr) gl::SwapIntervalEXT(0);
    TheFrameClock().period = 2.0;
  }
}

const char* RendererName() {
  static std::string name;
  static bool read = false;
  if (!read) {
    const GLubyte* text = glGetString(GL_RENDERER);
    name = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    read = true;
  }
  return name.c_str();
}

void CheckSoftwareRenderer() {
  static bool checked = false;
  if (checked) return;
  checked = true;
  if (!IsSoftwareRenderer()) return;
  WriteLog("*** OpenGL Software Emulation - update driver!\n");
  std::string text;
  if (!platform::ReadFileStart("opengldriver.txt", 2047, &text)) return;
  const std::string shown = CodePageToUtf8(!text.empty() ? text.c_str() : kSoftwareRendererText);
  platform::ShowMessageBox("No OpenGL Hardware Drivers", shown.c_str(), platform::MessageKind::Warning);
}

// Tries a window with a multisample buffer, halving the sample count from 4;
// returns the new window or null.
platform::Window* CreateMultisampleWindow(int32_t w, int32_t h, int32_t bits,
                                          platform::GLContext** context) {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (extensions == nullptr || std::strstr(extensions, "GL_ARB_multisample") == nullptr) return nullptr;
  for (int samples = 4; samples >= 1; samples /= 2) {
    platform::GLConfig config;
    config.colourBits = bits;
    config.alphaBits = 8;
    config.multisample = samples;
    platform::Window* window = platform::CreateWindow("Velmora", 0, 0, w, h, config);
    if (window == nullptr) continue;
    platform::GLContext* created = platform::CreateGLContext(window);
    if (created != nullptr && platform::MakeCurrent(window, created)) {
      *context = created;
      return window;
    }
    platform::DeleteGLContext(created);
    platform::DestroyWindow(window);
  }
  return nullptr;
}

void ShowStartFailure() {
  const std::string text = std::string("The window or its OpenGL context could not be created (video driver: ") +
                            platform::VideoDriverName() + ").";
  WriteLog("Start-up failed: no window\n");
  platform::ShowMessageBox("Velmora", text.c_str(), platform::MessageKind::Error);
}

}  // namespace

bool RuntimeStarted() { return g_runtimeStarted; }

bool IsSoftwareRenderer() {
  const char* name = RendererName();
  return std::strstr(name, "llvmpipe") != nullptr || std::strstr(name, "softpipe") != nullptr ||
         std::strstr(name, "swrast") != nullptr || std::strcmp(name, "Mesa Windows GDI Driver") == 0;
}

void HostDesktopSize(int32_t* w, int32_t* h) {
  *w = g_desktopWidth;
  *h = g_desktopHeight;
}

namespace {

// Makes the renderer's context current on the window, creating one when
// there is none; a context made for an earlier window that does not fit
// this one is replaced. False (with the window destroyed) when none works.
bool AttachGLContext(Renderer& r, platform::Window* window) {
  if (r.glContext == nullptr) r.glContext = platform::CreateGLContext(window);
  if (r.glContext != nullptr && platform::MakeCurrent(window, r.glContext)) return true;
  platform::DeleteGLContext(r.glContext);
  r.glContext = platform::CreateGLContext(window);
  if (r.glContext != nullptr && platform::MakeCurrent(window, r.glContext)) return true;
  platform::DeleteGLContext(r.glContext);
  r.glContext = nullptr;
  platform::DestroyWindow(window);
  r.window = nullptr;
  return false;
}

// The window of w x h (0: the desktop's size, then the client area's) with
// its context; w and h come back as the client size that was used.
bool OpenWindowWithContext(Renderer& r, int32_t* w, int32_t* h, int32_t bits) {
  const int32_t createWidth = *w > 0 ? *w : g_desktopWidth;
  const int32_t createHeight = *h > 0 ? *h : g_desktopHeight;
  platform::GLConfig config;
  config.colourBits = bits;
  platform::Window* window = platform::CreateWindow("Velmora", 0, 0, createWidth, createHeight, config);
  if (window == nullptr) return false;
  r.window = window;
  int32_t clientW = 0, clientH = 0;
  platform::GetWindowClientSize(window, &clientW, &clientH);
  if (*w == 0) *w = clientW;
  if (*h == 0) *h = clientH;
  r.clientWidth = *w;
  r.clientHeight = *h;
  r.colourBits = bits;
  r.fullScreenActive = 0;
  return AttachGLContext(r, window);
}

// Replaces the window with a multisampled one when the system offers it;
// the first window stays otherwise.
void SwitchToMultisampleWindow(Renderer& r, int32_t w, int32_t h, int32_t bits) {
  platform::GLContext* context = nullptr;
  platform::Window* multisampled = CreateMultisampleWindow(w, h, bits, &context);
  if (multisampled != nullptr) {
    // The old context's objects go with the old window.
    platform::MakeCurrent(r.window, r.glContext);
    DestroyMainWindow(r);
    platform::DeleteGLContext(r.glContext);
    r.window = multisampled;
    r.glContext = context;
    platform::MakeCurrent(r.window, r.glContext);
  } else {
    platform::MakeCurrent(r.window, r.glContext);
  }
}

// Loads the extension groups the GL names and notes what the renderer
// uses of them: BGRA uploads, the texture size limit, frame-buffer objects.
void SetUpGLExtensions(Renderer& r) {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (extensions != nullptr) gl::LoadExtensionGroups(extensions);

  const char* ext = extensions != nullptr ? extensions : "";
  r.bgraSupported = std::strstr(ext, "_texture_format_BGRA8888") != nullptr ||
                    std::strstr(ext, "GL_EXT_bgra") != nullptr;
  if (r.bgraSupported)
    WriteLog("BGRA ext supported\n");
  else
    WriteLogF("BGRA ext NOT supported\n%s\n", ext);
  GLint maxTexture = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  WriteLogF("Texture size limit: %d\n", maxTexture);
  WriteLog("init fbo\n");
  InitFramebufferExtension();
}

}  // namespace

bool CreateMainWindow(Renderer& r, int32_t w, int32_t h, int32_t bits, int32_t fps, int32_t samples,
                      int32_t fullScreen) {
  (void)fullScreen;
  ApplyFramePacing(fps);
  if (!platform::Init()) return false;
  r.multisample = samples;
  WriteLog("WIN32 init video\n");
  platform::GetDesktopSize(&g_desktopWidth, &g_desktopHeight);
  if (bits == 0) bits = platform::DesktopColourDepth();
  if (!OpenWindowWithContext(r, &w, &h, bits)) return false;
  r.multisample = 0;
  if (samples != 0) SwitchToMultisampleWindow(r, w, h, bits);

  CheckSoftwareRenderer();

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  r.clientWidth = w;
  r.clientHeight = h;
  r.colourBits = bits;
  r.fullScreenActive = 0;
  WriteLog("get accurate timer - 1st call\n");
  TheFrameClock().deadline = GetMilliseconds();
  WriteLog("flip - 1st call\n");
  PresentFrame(r, nullptr);

  SetUpGLExtensions(r);

  platform::HideWindow(r.window);
  ApplyFramePacing(fps);

  WriteLog("2D VP\n");
  ResetGLState();
  Reset2DDrawState(r);
  WriteLog("OGRB init [OK]\n");
  return true;
}

bool SetWindowedMode(Renderer& r) {
  if (r.fullScreenActive) {
    platform::LeaveFullScreen(r.window);
    platform::SleepMs(500);
  }
  int32_t areaX = 0, areaY = 0, areaW = 0, areaH = 0;
  platform::GetWorkArea(r.window, &areaX, &areaY, &areaW, &areaH);
  const int32_t x = (areaW - r.clientWidth) / 2;
  const int32_t y = (areaH - r.clientHeight) / 2;
  platform::SetWindowClientSize(r.window, r.clientWidth, r.clientHeight);
  platform::SetWindowPosition(r.window, x, y);
  platform::ShowWindow(r.window);
  platform::RaiseWindow(r.window);
  ApplyViewport(0, 0, 0, 0);
  r.fullScreenActive = 0;
  return true;
}

bool SetFullScreenMode(Renderer& r) {
  int32_t bits = r.colourBits != platform::DesktopColourDepth() ? r.colourBits : 0;
  if (!platform::EnterFullScreen(r.window, r.clientWidth, r.clientHeight, bits)) {
    bits = 0;
    if (!platform::EnterFullScreen(r.window, r.clientWidth, r.clientHeight, 0)) {
      platform::Beep();
      WriteLog("No Fullscreen Mode available\n");
      return SetWindowedMode(r);
    }
  }
  // The display mode is available. Like the windowed start, full screen gets
  // a window of its own; the GL context moves over to it.
  platform::LeaveFullScreen(r.window);
  platform::Window* old = r.window;
  const std::string caption = platform::GetWindowCaption(old);
  const int32_t fps = static_cast<int32_t>(1000.0 / TheFrameClock().period);
  if (!CreateMainWindow(r, r.clientWidth, r.clientHeight, r.colourBits, fps, 0, 0)) {
    r.window = old;
    platform::MakeCurrent(old, r.glContext);
    return false;
  }
  platform::SetWindowCaption(r.window, caption.c_str());
  platform::DestroyWindow(old);
  ApplyViewport(0, 0, 0, 0);
  platform::ShowWindow(r.window);
  platform::EnterFullScreen(r.window, r.clientWidth, r.clientHeight, bits);
  platform::RaiseWindow(r.window);
  r.fullScreenActive = 1;
  return true;
}

bool ChangeScreenMode(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fullScreen) {
  if (width != 0) r.clientWidth = width;
  if (height != 0) r.clientHeight = height;
  if (bits != 0) r.colourBits = bits;
  return fullScreen ? SetFullScreenMode(r) : SetWindowedMode(r);
}

void SetScreenMode(int32_t width, int32_t height, int32_t fullScreen) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->window == nullptr) return;
  Settings().ScreenWidth = width;
  Settings().ScreenHeight = height;
  Settings().FullScreen = fullScreen;
  ChangeScreenMode(*r, width, height, 0, fullScreen);
  ShowMousePointer(PointerShown() ? 1.0 : 0.0);
  SetInputWindow(r->window);
  BindSoundWindow(r->window);
  const RuntimeFramesScope settling;
  for (int i = 0; i < 5; ++i) ShowScreen();
}

bool HideMainWindow(Renderer& r) {
  if (r.fullScreenActive) platform::LeaveFullScreen(r.window);
  platform::HideWindow(r.window);
  r.fullScreenActive = 0;
  PumpMessages(r, nullptr);
  return true;
}

void DestroyMainWindow(Renderer& r) {
  ReleaseAllTextures();
  if (r.window == nullptr) return;
  SetWindowedMode(r);
  platform::MakeCurrent(nullptr, nullptr);
  platform::DestroyWindow(r.window);
  r.window = nullptr;
  r.clientWidth = 0;
  r.clientHeight = 0;
}

// ---------------------------------------------------------------- start-up

namespace {

// Releases the subsystems in the order END requires, once.
void RuntimeShutdown() {
  SaveScreenshotAtEnd();
  StopMovie();
  platform::ChangeDirectory(ExecutableFolder().c_str());
  FlushFileStores();
  EndSessionAndNetwork();
  DestroyInputDevices();
  DestroySoundSystem();
  Renderer* r = TheRenderer();
  if (r != nullptr && r->window != nullptr) platform::MakeCurrent(r->window, r->glContext);
  DestroyEngine3D();
  if (r != nullptr) {
    EndScreen();
    DestroyAllTargets();
    DestroyMainWindow(*r);
    platform::DeleteGLContext(r->glContext);
    r->glContext = nullptr;
    DestroyRenderer();
  }
  UnloadDeclaredModules();
}

// A program the application starts finds the desktop as it was: full screen
// is left first, and the window takes the focus back once it has started (or
// ended, when the application waits for it).
void LeaveFullScreenForProgram() {
  Renderer* r = TheRenderer();
  if (r != nullptr && r->window != nullptr && r->fullScreenActive) SetWindowedMode(*r);
}

void RefocusAfterProgram() {
  Renderer* r = TheRenderer();
  if (r != nullptr && r->window != nullptr && platform::IsWindowShown(r->window)) platform::RaiseWindow(r->window);
}

// A debugger stop: the pointer is let go while the program waits; afterwards
// a pause ends, the input starts afresh and the window comes back to front.
void AfterDebuggerStop() {
  ClearPausedFlag();
  ResetInputAfterDebugger();
  ActivationRequest = 1;
}

}  // namespace

bool StartRuntime(int showCode, const char* title) {
  DeleteRunLog();
  WriteLog("Start new log...\n");
  AllowPause(1);
  WriteLog("timer\n");
  InitTimer();
  WriteLog("rbow\n");
  Renderer* r = CreateRenderer();
  WriteLog("rbow init\n");
  SetRuntimeShutdown(&RuntimeShutdown);
  SetDebuggerStopHooks(&ReleaseInputForDebugger, &AfterDebuggerStop);
  SetRunProgramHooks(&LeaveFullScreenForProgram, &RefocusAfterProgram);
  ProjectSettings& settings = Settings();
  if (!CreateMainWindow(*r, settings.ScreenWidth, settings.ScreenHeight, 0, settings.FrameRate,
                        settings.Multisample, settings.FullScreen))
    return false;
  g_runtimeStarted = true;
  platform::SetWindowCaption(r->window, title);
  WriteLog("Cptn\n");
  settings.AppTitle = title != nullptr ? title : "";
  SeedRnd(static_cast<uint32_t>(static_cast<int64_t>(GetMilliseconds() - TheFrameClock().timerBase)));
  WriteLog("Network\n");
  CreateSessionObject();
  CreateEngine3D(*r);
  WriteLog("Input\n");
  CreateInputDevices();
  WriteLog("Window mode\n");
  if (settings.FullScreen)
    SetFullScreenMode(*r);
  else
    SetWindowedMode(*r);
  WriteLog("Create DXin\n");
  InitInput(r->window, settings.HideMouse != 0);
  WriteLog("reptr\n");

  WriteLog("getexe\n");
  const std::string exe = platform::ExecutablePath();
  const std::string& folder = ExecutableFolder();
  WriteLog("cd\n");
  platform::ChangeDirectory(folder.c_str());
  WriteLogF("exepath=curdir= %s\n", folder.c_str());
  SetArchive(exe.c_str(), exe.c_str());
  ExecutablePathText() = exe.c_str();

  StartFrameClock();
  ClearScreen(0);
  PresentFrame(*r, nullptr);
  ResetGLState();
  Reset2DDrawState(*r);
  BuildDefaultFont(0);
  static const char* const kStartupFonts[] = {"Media/smalfont.png", "Media/smalfont.bmp", "smalfont.png",
                                              "smalfont.bmp"};
  for (const char* font : kStartupFonts) {
    if (FileExists(font)) {
      LoadFont(font, 0);
      break;
    }
  }
  SetFont(0);
  platform::ShowSystemPointer(true);
  StartFrameClock();
  if (showCode == kShowHidden) {
    HideMainWindow(*r);
    platform::HideWindow(r->window);
  }
  ShowMousePointer(settings.HideMouse == 0 ? 1.0 : 0.0);
  LoadDeclaredFunctions();
  CreateSoundDevice(r->window);
  WriteLog("Init Finalized\n");
  return true;
}

int RunApplication(int argc, char** argv, const Application& app) {
  g_app = &app;
  platform::SetCommandLine(argc, argv);
  CommandLineText() = platform::CommandLine().c_str();
  int32_t frames = 0;
  const char* screenshot = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0) frames = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];
  }
  SetAutomation(frames, screenshot);
  SetCallByNameTable(app.callByName);
  if (app.settings != nullptr) app.settings();
  if (!StartRuntime(kShowDefault, Settings().AppTitle.c_str())) {
    ShowStartFailure();
    return 1;
  }
  ClearLastError();
  if (app.globalTeardown != nullptr) std::atexit(app.globalTeardown);
  if (app.globalSetup != nullptr) app.globalSetup();
  if (app.mainProgram != nullptr) app.mainProgram();
  EndProgram();
  return 0;
}
