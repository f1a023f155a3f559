// What reacts to the window system between frames: pause and resume on focus
// changes, the hold while paused, blocking waits for a key or a mouse button,
// the application's raw message callback, file dialogs and the console
// (ShowMousePointer is input's, in input/input.h). WindowProcedure, SetPaused, AllowPause, IsPaused and
// Hibernate are declared in host/host.h as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/basic_string.h"
#include "host/host.h"

// Pauses (non-zero) or resumes the program (see host/host.h).
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
// Where a movie of width x height lands in the client area.
struct MovieGeometry {
  int32_t x = 0, y = 0, width = 0, height = 0;
};
// The centred rectangle, aspect kept, that a movie of width x height fills in the client area.
MovieGeometry FitMovie(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height);

// ---------------------------------------------------------------- file dialog helpers

// One entry of a file-dialog filter: its name and its patterns.
struct FileFilter {
  std::string name;
  std::vector<std::string> patterns;
};
// The filter text as the dialog sees it: at most 1023 bytes, "|" separating
// names and pattern lists; the list ends at an empty entry or a name without
// patterns.
std::vector<FileFilter> ParseFileFilter(const char* filter);
// zenity's arguments for the filters: "--file-filter=Name | *.a *.b" each.
std::vector<std::string> ZenityFilterArguments(const char* filter);
// kdialog's filter argument: "*.a *.b|Name" lines.
std::string KdialogFilterArgument(const char* filter);
// The whole command line for "zenity" or "kdialog", starting in folder.
std::vector<std::string> FileDialogCommand(const std::string& program, bool open, const char* filter,
                                           const std::string& folder);

