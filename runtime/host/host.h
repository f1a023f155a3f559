// The host: the program's side of the main window and its modes, the frame
// loop (ShowScreen) and its pacing, the viewport and orientation commands,
// pause and resume, blocking waits, file dialogs, the console, movie playback
// and the line editor. The process entry, start-up and shutdown and the frame
// and window plumbing are in host/runtime.h.
#pragma once

#include <cstdint>

#include "core/basic_string.h"
#include "core/numeric.h"

// ---------------------------------------------------------------- process

// The whole command line as the system gives it, program name included.
BasicString& CommandLineText();
// The executable's full path with "/" separators, stored at start-up.
BasicString& ExecutablePathText();

// ---------------------------------------------------------------- window and frames

// The program's screen-mode command: the new client size, full screen when fullScreen is
// non-zero; input and sound follow the new window.
void SetScreenMode(int32_t width, int32_t height, int32_t fullScreen);
// Ends the frame: presents it (with the pacing and automation), handles the window's events and
// refreshes the input; clears the next frame or draws background 0.
void ShowScreen();
// Milliseconds between the last two frames (1 when they coincide).
double GetFrameDelta();
// Frames per second for the pacing (with vertical sync); 0 or less: as fast as possible.
void SetFrameRate(double rate);
// 1 while the window is in full-screen mode.
int32_t IsFullScreen();
// The command forms: 3D drawing ends first. The inner steps (ApplyViewport,
// GetViewport, GetScreenSize) are in gl/display.h.
void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h);
// Turns the picture by orientation quarter turns (0..3) and resets the viewport to the screen.
void SetOrientation(int32_t orientation);
// The orientation SetOrientation stored, 0..3 quarter turns.
int32_t GetOrientation();
// Non-zero: Escape ends the program; 0: it is an ordinary key. Returns the new setting.
int32_t AllowEscape(int32_t flag);
// Whether Escape ends the program (the setting AllowEscape made).
int32_t EscapeEndsProgram();

// ---------------------------------------------------------------- pause and waits

// Pauses (non-zero) or resumes the program, running its "VLM_ON_PAUSE" or "VLM_ON_RESUME"
// routine on a change; ignored while pausing is not allowed.
void SetPaused(int32_t flag);
// Pausing allowed or not; forbidding it while paused resumes at once.
void AllowPause(int32_t flag);
// 1 while the program is paused.
int32_t IsPaused();
// One short wait for input (at most 15 passes of 5 ms), or, while paused,
// the pause loop that sleeps in 200 ms steps until the program is resumed.
void Hibernate();
// Blocks until a character is typed and returns it.
int32_t WaitForKey();
// Blocks until a mouse button is pressed and released again.
void WaitForMouseButton();
// Runs the application's "VLM_WIN32_MSG" routine when it has one.
void CallWin32MessageHook();
// A file dialog (open when open != 0, else save) for the filter list
// "Name|patterns|Name|patterns", patterns separated by ";". Returns the path
// with "/" separators, or "NO_FILE" on cancel, failure or without a dialog
// program (zenity or kdialog).
BasicString FileRequest(int32_t open, const char* filter);
BasicString FileRequest(int32_t open, const BasicString& filter);
// Standard input and output on the terminal, when the process has one.
void OpenConsole();

// Plays a movie in the main window, scaled to fit with its aspect kept and
// centred, and returns when it has ended; with interrupt set a typed
// character or a mouse button ends it early. The movie takes the media slot
// (music stops). A file that cannot be found or read sets error 3.
void PlayMovieAndWait(const char* file, int32_t interrupt);
void PlayMovieAndWait(const BasicString& file, int32_t interrupt);

// ---------------------------------------------------------------- line editor

// A line editor on the screen at (x, y) with the current font: typed
// characters are appended, Backspace removes, Return ends. The integer and
// Number forms convert the text at the end.
void InputLine(BasicString& text, int32_t x, int32_t y, int32_t proportional);
void InputLine(int32_t& value, int32_t x, int32_t y, int32_t proportional);
void InputLine(Number& value, int32_t x, int32_t y, int32_t proportional);
