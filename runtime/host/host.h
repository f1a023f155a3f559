// The host: process entry, start-up and shutdown of every subsystem, the main
// window and its modes, the frame loop with its pacing and frame clock, the
// viewport and orientation commands, the line editor.
#pragma once

#include <cstdint>

#include "gfx2d/renderer.h"
#include "gl/display.h"

// The language's numeric value (as in core/core.h).
using Number = double;

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
int RunApplication(int argc, char** argv, const Application& app);

class BasicString;
// The whole command line as the system gives it, program name included.
BasicString& CommandLineText();
// The executable's full path with "/" separators, stored at start-up.
BasicString& ExecutablePathText();

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
// The program's screen-mode command: the new client size, full screen when fullScreen is
// non-zero; input and sound follow the new window.
void SetScreenMode(int32_t width, int32_t height, int32_t fullScreen);
// Changes size (0 keeps it), colour bits (0 keeps them) and full-screen state of the window.
bool ChangeScreenMode(Renderer& r, int32_t width, int32_t height, int32_t bits, int32_t fullScreen);
// Hides the window (leaving full screen first).
bool HideMainWindow(Renderer& r);
// Destroys the window and its GL context, releasing every texture first.
void DestroyMainWindow(Renderer& r);
// True when the GL renderer is a software rasteriser (llvmpipe, softpipe,
// swrast); read once per process.
bool IsSoftwareRenderer();

// ---------------------------------------------------------------- frames

// Ends the frame: presents it (with the pacing and automation), handles the window's events and
// refreshes the input; clears the next frame or draws background 0.
void ShowScreen();
// A routine run before each event PumpMessages takes (the application's message hook).
using MessageCallback = void (*)();
// Swaps the buffers, then prepares the next frame (background 0 or the clear) and pumps events.
bool PresentFrame(Renderer& r, MessageCallback callback);
// Handles every waiting event of the window; callback (may be null) runs before each.
bool PumpMessages(Renderer& r, MessageCallback callback);
// Milliseconds between the last two frames (1 when they coincide).
double GetFrameDelta();
// Frames per second for the pacing (with vertical sync); 0 or less: as fast as possible.
void SetFrameRate(double rate);
// 1 while the window is in full-screen mode.
int32_t IsFullScreen();
// The command forms: 3D drawing ends first. The inner steps (ApplyViewport,
// GetViewport, GetOrientation, GetScreenSize) are in gl/display.h.
void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h);
// Turns the picture by orientation quarter turns (0..3) and resets the viewport to the screen.
void SetOrientation(int32_t orientation);
// The desktop's size in pixels.
void GetDesktopSize(int32_t* w, int32_t* h);
// Non-zero: Escape ends the program; 0: it is an ordinary key. Returns the new setting.
int32_t AllowEscape(int32_t flag);
// Whether Escape ends the program (the setting AllowEscape made).
int32_t EscapeEndsProgram();

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
// Pauses (non-zero) or resumes the program, running its "VLM_ON_PAUSE" or "VLM_ON_RESUME"
// routine on a change; ignored while pausing is not allowed.
void SetPaused(int32_t flag);
// Pausing allowed or not; forbidding it while paused resumes at once.
void AllowPause(int32_t flag);
// 1 while the program is paused.
int32_t IsPaused();
// Drops the paused state without the application's callbacks (a debugger stop
// ends a pause that way).
void ClearPausedFlag();
// One short wait for input, or, while paused, the pause loop until the program is resumed.
void Hibernate();
// The application's "VLM_WIN32_MSG" routine, looked up once per process.
MessageCallback LookUpMessageCallback();

// ---------------------------------------------------------------- line editor

// A line editor on the screen at (x, y) with the current font: typed
// characters are appended, Backspace removes, Return ends. The integer and
// Number forms convert the text at the end.
void InputLine(BasicString& text, int32_t x, int32_t y, int32_t proportional);
void InputLine(int32_t& value, int32_t x, int32_t y, int32_t proportional);
void InputLine(Number& value, int32_t x, int32_t y, int32_t proportional);

// ---------------------------------------------------------------- automation

// The frame count after which the program ends (0: never) and the screenshot
// file saved then (empty: none); set from the command line.
void SetAutomation(int32_t frames, const char* screenshot);
