// The host's side for the process entry (the main function of a translated
// program), tests and tools: start-up and shutdown, the main window, the
// frame plumbing and its clock, the window's event handler and the automation
// options. Programs use host/host.h.
#pragma once

#include <cstdint>

#include "gfx2d/renderer.h"
#include "host/host.h"

// ---------------------------------------------------------------- process entry and start-up

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
int RunApplication(int argc, char** argv, const Application& app);

// How the window shows after start-up (the system's show codes): hidden, or
// as the system places it.
constexpr int kShowHidden = 0;
constexpr int kShowDefault = 10;
// Start-up: run log, clock, renderer, window, subsystems. False when the
// window cannot be created.
bool StartRuntime(int showCode, const char* title);
// Whether StartRuntime got as far as a window.
bool RuntimeStarted();

// ---------------------------------------------------------------- window

// Opens the main window with its GL context: client size width x height, colour bits (0: the
// desktop's), frame rate fps for the pacing, samples for multisampling. False when no window
// or context can be made.
bool CreateMainWindow(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fps,
                      int32_t samples, int32_t fullScreen);
// Shows the window at its client size, centred in the work area (leaving full screen first).
bool SetWindowedMode(Renderer& r);
// Switches to full screen at the window's size, falling back to a window when no display mode
// fits.
bool SetFullScreenMode(Renderer& r);
// Changes size (0 keeps it), colour bits (0 keeps them) and full-screen state of the window.
bool ChangeScreenMode(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fullScreen);
// Hides the window (leaving full screen first).
bool HideMainWindow(Renderer& r);
// Destroys the window and its GL context, releasing every texture first.
void DestroyMainWindow(Renderer& r);
// True when the GL renderer is a software rasteriser (llvmpipe, softpipe,
// swrast); read once per process.
bool IsSoftwareRenderer();
// The desktop's size in pixels.
void GetDesktopSize(int32_t* w, int32_t* h);

// ---------------------------------------------------------------- frames

// A routine run before each event PumpMessages takes (the application's message hook).
using MessageCallback = void (*)();
// Swaps the buffers, then prepares the next frame (background 0 or the clear) and pumps events.
bool PresentFrame(Renderer& r, MessageCallback callback);
// Handles every waiting event of the window; callback (may be null) runs before each.
bool PumpMessages(Renderer& r, MessageCallback callback);

// The frame clock: every time on the GetMilliseconds clock (core/clock.h).
struct FrameClock {
  double deadline = 0.0;           // when the next frame may be shown
  double period = 2.0;             // milliseconds per frame
  double frameTime = 0.0;          // when the current frame's ShowScreen ran
  double previousFrameTime = 0.0;  // the frame before
  double timerBase = 0.0;          // when start-up finished
};
// The process-wide frame clock.
FrameClock& TheFrameClock();
// Frame time, previous frame time and timer base all become now.
void StartFrameClock();

// Set by the debugger support after a stop: ShowScreen brings the window back.
extern int32_t ActivationRequest;

// The pacing rule: the deadline after a frame finished at time t.
double NextFrameDeadline(double deadline, double period, double t);

// ---------------------------------------------------------------- window events

// The main window's event handler, called for every event PumpMessages takes.
void WindowProcedure(const struct platform::Event& event);
// Drops the paused state without the application's callbacks (a debugger stop
// ends a pause that way).
void ClearPausedFlag();
// The application's "VLM_WIN32_MSG" routine, looked up once per process.
MessageCallback LookUpMessageCallback();

// ---------------------------------------------------------------- automation

// The frame count after which the program ends (0: never) and the screenshot
// file saved then, or at END with the last frame presented when the program
// ends first (empty: none); set from the command line.
void SetAutomation(int32_t frames, const char* screenshot);
