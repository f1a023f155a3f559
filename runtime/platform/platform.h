// The operating-system seam of the runtime.
//
// Everything the runtime needs from the OS goes through this header: the
// window and its OpenGL context, the event pump with the input state it keeps,
// the clock, paths, files and folders, the environment and facts about the
// machine and user, message boxes, the debugger check and child processes.
// The implementation sits over SDL2 and POSIX; no file outside this folder
// includes SDL or OS headers. Tests drive the same functions (injected events,
// the clock override) instead of reaching around them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- start-up

// Initialises the video subsystem once. Without a display (no DISPLAY and no
// WAYLAND_DISPLAY) SDL's offscreen driver with EGL is chosen, so GL works
// headless. Returns false when no video driver can be started.
bool Init();
// True when the offscreen driver runs: nothing is shown, screenshots are the
// only way to see a frame.
bool IsHeadless();
const char* VideoDriverName();

// ---------------------------------------------------------------- windows

struct Window;     // a top-level window with an OpenGL surface
struct GLContext;  // an OpenGL compatibility-profile context

struct GLConfig {
  int colourBits = 24;  // 0: the desktop depth
  int alphaBits = 0;    // destination alpha, only when asked for
  int depthBits = 24;
  int stencilBits = 8;
  int multisample = 0;  // 0: none; otherwise ask for a multisample buffer
};

// Created hidden at (x, y) with the given client size.
Window* CreateWindow(const char* title, int x, int y, int w, int h, const GLConfig& config);
void DestroyWindow(Window* window);
void SetWindowCaption(Window* window, const char* caption);
std::string GetWindowCaption(Window* window);
void SetWindowPosition(Window* window, int x, int y);
void SetWindowClientSize(Window* window, int w, int h);
void GetWindowClientSize(Window* window, int* w, int* h);
void ShowWindow(Window* window);
void HideWindow(Window* window);
void RaiseWindow(Window* window);  // to the top and focused
bool IsWindowShown(Window* window);
bool WindowHasFocus(Window* window);
// Switches the window to exclusive full screen at w x h (colourBits 0: keep the
// desktop depth). False when the display offers no such mode.
bool EnterFullScreen(Window* window, int w, int h, int colourBits);
void LeaveFullScreen(Window* window);  // restores the desktop display mode

void GetDesktopSize(int* w, int* h);
int DesktopColourDepth();
// The usable desktop area of the display the window is on (window may be null).
void GetWorkArea(Window* window, int* x, int* y, int* w, int* h);

// ---------------------------------------------------------------- OpenGL

GLContext* CreateGLContext(Window* window);
bool MakeCurrent(Window* window, GLContext* context);
void DeleteGLContext(GLContext* context);
// A number no other context of the process had (0 for none): a context made
// after another is deleted may get the same address, never the same serial.
uint64_t GLContextSerial(const GLContext* context);
void SwapBuffers(Window* window);
// 0: no vertical sync, 1: sync to the display. False when the driver refuses.
bool SetSwapInterval(int interval);
// Entry point of the current GL, or null.
void* GLProcAddress(const char* name);
// Attributes of the context that was actually created.
struct GLSurfaceInfo {
  int depthBits, stencilBits, alphaBits, sampleBuffers, samples;
  bool accelerated;  // false for a software rasteriser the driver admits to
};
GLSurfaceInfo QuerySurface();

// ---------------------------------------------------------------- events

enum class EventType : uint8_t {
  None,
  Close,         // the user asked to close the window
  FocusGained,   // the window became the active one
  FocusLost,
  KeyDown,       // key: scan code (0..255), repeat set for auto-repeat
  KeyUp,
  Text,          // text: UTF-8 characters typed
  MouseMotion,   // x, y: client position; dx, dy: relative motion
  MouseButtonDown,  // button: 1 left, 2 right, 3 middle; x, y
  MouseButtonUp,
  MouseWheel,    // wheel: steps, positive away from the user
  JoystickAxis,  // joystick index, axis 0..5, value -32768..32767
  JoystickButton,  // joystick index, button, pressed
  JoystickHat,   // joystick index, hat, value: hundredths of a degree or -1
  JoystickAdded,
  JoystickRemoved,
  Exposed,       // the window needs repainting
};

struct Event {
  EventType type = EventType::None;
  int key = 0;          // scan code for key events
  bool repeat = false;
  char text[32] = {};   // NUL-terminated UTF-8 for Text
  int x = 0, y = 0;     // mouse position in client pixels
  int dx = 0, dy = 0;   // relative motion
  int button = 0;
  bool pressed = false;
  int wheel = 0;
  int joystick = 0;
  int axis = 0;         // axis, hat or button number for joystick events
  int value = 0;
};

// True when an event is waiting (injected or from the system); does not
// remove it.
bool PeekEvent();
// Removes the next event: injected events first, in the order injected, then
// the system's. Updates the input state below before returning it.
bool PollEvent(Event* event);
// Queues a synthetic event; the next PollEvent delivers it exactly as the
// system's own events are delivered.
void InjectEvent(const Event& event);
// Drops every queued event (injected and system).
void FlushEvents();

// ---------------------------------------------------------------- input state
// Kept up to date by PollEvent from real and injected events alike.

// 256 bytes indexed by scan code; bit 7 set while the key is down.
const uint8_t* KeyboardState();
void GetMousePosition(int* x, int* y);  // client pixels
uint32_t MouseButtons();               // bit 0 left, 1 right, 2 middle
// Relative motion and wheel steps collected since the last call.
void TakeMouseMotion(int* dx, int* dy);
int TakeMouseWheel();
void SetRelativeMouseMode(Window* window, bool on);
void ShowSystemPointer(bool show);
void WarpMouse(Window* window, int x, int y);

// ---------------------------------------------------------------- clock

// A monotonic high-resolution counter and its frequency (counts per second).
uint64_t CounterNow();
uint64_t CounterFrequency();
void SleepMs(int ms);
// Tests replace the counter with their own clock; null restores the real one.
void SetCounterOverride(uint64_t (*now)(), uint64_t frequency);

// ---------------------------------------------------------------- paths

std::string ExecutablePath();  // absolute, "/" separators
// $TMPDIR with a final "/", else "/tmp/".
std::string TempFolder();
bool ChangeDirectory(const char* path);
std::string CurrentDirectory();  // no final "/"
// The whole command line as one text: arguments joined by blanks, those with
// blanks quoted.
std::string CommandLine();
void SetCommandLine(int argc, char** argv);

// ---------------------------------------------------------------- dialogs

enum class MessageKind { Information, Warning, Error };
// Shows a message box; headless (or when no box can be shown) the text goes
// to standard error instead.
void ShowMessageBox(const char* title, const char* text, MessageKind kind);
void Beep();

// ---------------------------------------------------------------- debugger

// True while a tracer (a debugger) is attached to this process. Cheap enough
// for every statement: the tracer check is refreshed at most every 100 ms.
bool DebuggerAttached();

// ---------------------------------------------------------------- process

[[noreturn]] void ExitProcess(int code);
int ProcessId();

// ---------------------------------------------------------------- files
// Raw file access for the runtime's file channels (implemented in
// files_posix.cpp). A handle is a positive number, 0 = none. Paths use "/".

enum class FileOpenMode {
  ReadExisting,     // an existing regular file, read only
  CreateReadWrite,  // created or truncated, read and write
  OpenOrCreateWrite,  // opened (or created when missing), write only, kept
};
// 0 when the file cannot be opened or is not a regular file (a folder, FIFO,
// socket or device counts as missing; opening one never waits).
intptr_t OpenFileHandle(const char* path, FileOpenMode mode);
// False when the close reported an error (a write that did not reach the
// file); the handle is closed either way.
bool CloseFileHandle(intptr_t handle);
// Flushes what was written through a handle to the disk; false on failure.
bool SyncFileHandle(intptr_t handle);
// Flushes a folder's entries (a rename or a new file in it) to the disk;
// false on failure.
bool SyncFolder(const char* path);
// Reads or writes at an absolute position without moving any shared file
// pointer. Returns the bytes transferred (short only at the end of the file or
// on an error), -1 when nothing could be transferred because of an error.
int64_t ReadFileAt(intptr_t handle, void* buffer, int64_t count, int64_t position);
int64_t WriteFileAt(intptr_t handle, const void* buffer, int64_t count, int64_t position);
int64_t FileHandleSize(intptr_t handle);  // -1 on error
// Last modification time in seconds since 1970 (UTC); false when the path
// cannot be examined.
bool FileModificationTime(const char* path, int64_t* seconds);
// Where a path leads (symbolic links followed). File: anything that exists
// and is not a directory (regular files, devices, pipes).
enum class PathKind { Missing, File, Directory };
PathKind QueryPathKind(const char* path);
// The names in a folder, "." and ".." left out, in the order the system
// lists them; false when the folder cannot be read.
bool ListDirectory(const char* path, std::vector<std::string>* names);
// Removes a file or an empty directory; false when nothing was removed.
bool RemovePath(const char* path);
// Removes a directory with everything in it (links are removed, not
// followed), or a file.
void RemoveTree(const char* path);
// Creates one directory; false when it exists already or cannot be made.
bool MakeDirectory(const char* path);
// Creates a directory and the folders above it as needed; true when the path
// is a directory afterwards.
bool MakeDirectories(const char* path);
// Moves a file over another, replacing it in one step: the target name
// always names either the old or the new file. False on failure.
bool RenamePath(const char* from, const char* to);
// Replacing a whole file through a temporary file and one rename. Open
// follows a chain of symbolic links at path (at most 40) to the file it
// leads to, so that file is the one replaced and the links stay; a dangling
// link leads to the file it names, which is then created. It refuses (0) a
// file that nobody may write (no write bit in its mode, whoever runs the
// program, root included) or this process may not write, anything that is
// neither a regular file, a folder nor missing, and a chain of links that
// does not end. The temporary is created new (never an existing file or a
// link) beside the target, private to its owner, as "<target>.vlmnew", or
// ".vlmnew-" and 16 hex digits taken from the name where that would pass
// 255 bytes; either name is fixed per target, so a temporary left by a
// killed writer is removed by the next replacement. target and temporary
// receive both paths.
intptr_t OpenReplacement(const char* path, std::string* target, std::string* temporary);
// Finishes a replacement with everything written through handle: the
// temporary gets the old file's permissions (and owner and group where this
// process may set them; a new file gets 0666 less the umask), reaches the
// disk, is closed and renamed over target (an empty folder of that name
// goes first), and the folder is flushed. The handle is closed either way;
// false with the temporary removed and the target as it was on failure,
// including when the target became unwritable meanwhile.
bool CommitReplacement(intptr_t handle, const char* target, const char* temporary);
// True when both paths name the same existing file.
bool SameFile(const char* a, const char* b);
// The path made absolute against the current directory (not normalised);
// empty when the current directory is unknown.
std::string AbsolutePath(const char* path);
// Up to maximum bytes from the start of a file. False only when the file
// cannot be opened or is not a regular file (as OpenFileHandle); a file that
// opens but cannot be read gives no bytes.
bool ReadFileStart(const char* path, int64_t maximum, std::string* bytes);
// Appends bytes to a file, creating it when missing; false on failure.
bool AppendToFile(const char* path, const void* bytes, int64_t count);
// Opened file channels since the process started (OpenFileHandle calls that
// returned a handle), for checks that a loader opens a file only once.
uint64_t FileHandlesOpened();

// The process environment as "NAME=value" entries in the order it is kept.
std::vector<std::string> EnvironmentEntries();
// Sets a variable; an empty value removes it. False for an invalid name.
bool SetEnvironmentVariable(const char* name, const char* value);
// A variable's value; empty when it is unset.
std::string EnvironmentVariable(const char* name);

// ---------------------------------------------------------------- system facts
// Plain facts about this machine and user (implemented in posix_system.cpp);
// what the runtime reports from them is decided above this layer.

// The machine's stable identifier as the system keeps it (the systemd or
// D-Bus machine id), trailing blanks removed; empty when there is none.
std::string MachineIdentifier();
// Charge 0..100 of the first battery under a power-supply folder in the
// sysfs layout (null: the system's own), -1 when there is no battery.
int BatteryCharge(const char* powerSupplyFolder = nullptr);
// $HOME as set (may be empty).
std::string HomeFolder();
// The user's documents folder as the XDG user-dirs file names it, else
// $HOME/Documents; no final "/". Empty without a home folder.
std::string DocumentsFolder();
// The base folder for per-user application data ($XDG_DATA_HOME, else
// $HOME/.local/share); no final "/". Empty without a home folder.
std::string UserDataFolder();
// The locale the user chose for messages: the first of LC_ALL, LC_MESSAGES
// and LANG that is set and not empty; empty when none is.
std::string LocaleName();

// ---------------------------------------------------------------- memory
// Asks the system to back a large block (of malloc or new) with large pages
// where it can, so that filling it the first time costs a fraction of the
// page faults. Only whole large pages inside the block are affected; a hint
// the system does not take changes nothing.
void PreferLargePages(void* block, size_t bytes);

// ---------------------------------------------------------------- input: joysticks
// Game controllers and force feedback (implemented in sdl_joystick.cpp). The
// joystick subsystems start on the first call. Joystick events carry the
// device's instance number (JoystickInstance) in Event::joystick.

struct Joystick;  // an opened game controller
// Attached devices; 0 when the joystick subsystem cannot start.
int JoystickDeviceCount();
// Opens device 0 .. JoystickDeviceCount()-1; null when it cannot be opened.
Joystick* OpenJoystick(int device);
void CloseJoystick(Joystick* joystick);
// "instance name, product name" (the controller mapping's name as product).
std::string JoystickName(Joystick* joystick);
int JoystickInstance(Joystick* joystick);
// The instance number of device 0 .. JoystickDeviceCount()-1 (JoystickAdded
// events carry the device number), -1 when there is none.
int JoystickDeviceInstance(int device);
struct JoystickReading {
  int32_t axes[6] = {};     // X, Y, Z, rotation X, Y, Z: -32768..32768
  int32_t sliders[2] = {};
  int32_t hats[4] = {};     // hundredths of a degree clockwise from up; -1 centred
  uint8_t buttons[32] = {};  // 0x80 while pressed
};
// False (and everything zero, hats centred) when the device is gone.
bool ReadJoystickState(Joystick* joystick, JoystickReading* reading);
bool JoystickHasForceFeedback(Joystick* joystick);
// Plays a constant force of level 0..10000 in direction (dx, dy), replacing
// the one before; false without force feedback.
bool PlayJoystickForce(Joystick* joystick, int level, int dx, int dy);
// A joystick without hardware: returns its instance number, -1 on failure.
// Injected JoystickAxis/JoystickButton/JoystickHat events addressed to it set
// its controls once they reach FeedVirtualJoystick (the window's event
// handler passes them on).
int AttachVirtualJoystick(int axes, int buttons, int hats);
bool DetachVirtualJoystick(int instance);
void FeedVirtualJoystick(const Event& event);

// ---------------------------------------------------------------- input: layout and pointer
// (implemented in sdl_input_extras.cpp)

// The character a key (scan code 0..255) types without Shift in the current
// layout, as a Unicode code point; 0 when it types none.
uint32_t KeyLayoutCharacter(int code);
bool CapsLockOn();
bool NumLockOn();
// Takes the pointer over (hidden, confined, relative motion only) or gives it
// back. False when the system cannot do it.
bool CapturePointer(bool on);
// The system pointer's position relative to the window's client area, also
// when no motion event has arrived yet. False without a window.
bool QueryPointerPosition(Window* window, int* x, int* y);

// ---------------------------------------------------------------- helper programs and console
// (implemented in posix_process.cpp)

// The full path of an executable found through PATH (a name with "/" is
// taken as it is); empty when there is none.
std::string FindExecutableInPath(const char* name);
// Runs args[0] (looked up in PATH) with the other arguments, waits for it and
// collects its standard output. Returns the exit code, -1 when it could not
// be started or did not exit normally.
int RunCapturingOutput(const std::vector<std::string>& args, std::string* output);
// Makes the controlling terminal standard input and output when standard
// output is not already a terminal. False when the process has none.
bool AttachTerminal();

}  // namespace platform
