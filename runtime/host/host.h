// The host: process entry, start-up, the main window and its modes, the frame
// loop with its pacing, the clock and the 2D viewport.
#pragma once

#include <cstdint>

#include "gfx2d/renderer.h"

// ---------------------------------------------------------------- process

// What a translated program hands to the runtime.
struct Application {
  void (*settings)();        // fills Settings() before the runtime starts
  void (*globalSetup)();     // registers the globals; runs before main
  void (*globalTeardown)();  // unregisters them at exit (may be null)
  void (*mainProgram)();     // the main program; normally never returns
  const struct RoutineEntry* callByName;  // parameterless routines by name
};

// The process entry: stores the command line, runs the settings routine,
// starts the runtime, runs the main program and finally END. Understands the
// automation options "--frames N" (end through END after N frames) and
// "--screenshot FILE" (save the last frame as a PNG picture).
int RunProgram(int argc, char** argv, const Application& app);

// The whole command line as the system gives it, program name included.
class BasicString;
BasicString& CommandLineText();
// The executable's full path with "/" separators, stored at start-up.
BasicString& ExecutablePathText();

// Start-up: run log, clock, renderer, window, subsystems. False when the
// window cannot be created.
bool StartRuntime(int showCode, const char* title);
// Whether StartRuntime got as far as a window.
bool RuntimeStarted();

// ---------------------------------------------------------------- window

bool CreateMainWindow(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fps,
                      int32_t samples, int32_t fullScreen);
bool SetWindowedMode(Renderer& r);
bool SetFullScreenMode(Renderer& r);
void SetScreenMode(int32_t width, int32_t height, int32_t fullScreen);
bool ChangeScreenMode(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fullScreen);
bool HideMainWindow(Renderer& r);
void DestroyMainWindow(Renderer& r);
void ResetGLState(Renderer& r);
// True when the GL renderer is a software rasteriser (llvmpipe, softpipe,
// swrast); read once per process.
bool IsSoftwareRenderer();

// ---------------------------------------------------------------- frames

void ShowScreen();
using MessageCallback = void (*)();
bool PresentFrame(Renderer& r, MessageCallback callback);
bool PumpMessages(Renderer& r, MessageCallback callback);
void InitTimer();
double GetMilliseconds();
double GetFrameDelta();
void SetFrameRate(double rate);
int32_t IsFullScreen();
void SetClearColour(int32_t colour);
void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h);  // the command form
void ApplyViewport(int32_t x, int32_t y, int32_t w, int32_t h);  // the inner step
void GetViewport(int32_t* x, int32_t* y, int32_t* w, int32_t* h);
// The physical window rectangle (origin top left) that shows the logical
// rectangle x, y, w, h of a W x H window turned by `orientation` quarter
// turns: out = {x, y, w, h}.
void OrientedRectangle(int32_t orientation, int32_t W, int32_t H, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t out[4]);
void SetOrientation(int32_t orientation);
int32_t GetOrientation();
void GetScreenSize(int32_t* w, int32_t* h);
void GetDesktopSize(int32_t* w, int32_t* h);
int32_t AllowEscape(int32_t flag);
// Whether Escape ends the program (the setting AllowEscape made).
int32_t EscapeEndsProgram();

// Frame-time values on the GetMilliseconds clock.
extern double FrameTime;
extern double PreviousFrameTime;
extern double TimerBase;

// Set by the debugger support after a stop: ShowScreen brings the window back.
extern int32_t ActivationRequest;

// The pacing rule: the deadline after a frame finished at time t.
double NextFrameDeadline(double deadline, double period, double t);

// ---------------------------------------------------------------- window events

// The main window's event handler, called for every event PumpMessages takes.
void WindowProcedure(const struct platform::Event& event);
void SetPaused(int32_t flag);
void AllowPause(int32_t flag);
int32_t IsPaused();
// Drops the paused state without the application's callbacks (a debugger stop
// ends a pause that way).
void ClearPausedFlag();
void Hibernate();
// The application's "VLM_WIN32_MSG" routine, looked up once per process.
MessageCallback LookUpMessageCallback();

// ---------------------------------------------------------------- automation

// The frame count after which the program ends (0: never) and the screenshot
// file saved then (empty: none); set from the command line.
void SetAutomation(int32_t frames, const char* screenshot);
