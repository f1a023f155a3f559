// The main window's event handling: close, focus, pause and resume; the hold
// while paused; blocking waits; the raw message callback; the system pointer;
// file dialogs and the console.
#include "host/internal/window_events.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gl/display.h"
#include "host/host.h"
#include "host/host_internal.h"
#include "host/runtime.h"
#include "input/devices.h"
#include "input/input.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

namespace {

int32_t g_paused = 0;
int32_t g_pausingAllowed = 1;

void SetCaption(const char* suffix) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->window == nullptr) return;
  std::string caption = Settings().AppTitle.c_str();
  caption += suffix;
  platform::SetWindowCaption(r->window, caption.c_str());
}

bool EscapeEnds() { return EscapeEndsProgram() != 0; }

void PumpOnce(Renderer& r) {
  MediaLoopMaintenance();
  PumpMessages(r, LookUpMessageCallback());
}

struct MouseSnapshot {
  int32_t x = 0, y = 0, button1 = 0, button2 = 0;
  bool operator!=(const MouseSnapshot& o) const {
    return x != o.x || y != o.y || button1 != o.button1 || button2 != o.button2;
  }
};

// A consuming read, mapped and clamped as GetMouseState reports it.
MouseSnapshot TakeMouseSnapshot(InputDevices& input) {
  MouseReading reading;
  ReadMouse(input, reading, true);
  MouseSnapshot s;
  s.button1 = reading.button1;
  s.button2 = reading.button2;
  MouseScreenPosition(input, &s.x, &s.y);
  return s;
}

bool AnyKeyDown() {
  // IsKeyDown refreshes the state every 128 tests on its own.
  for (int32_t code = 0; code < 255; ++code)
    if (IsKeyDown(code)) return true;
  return false;
}

bool AnyJoystickActive(InputDevices& input) {
  const int32_t orientation = GetOrientation();
  for (int32_t n = input.joystickCount - 1; n >= 0; --n) {
    JoystickState s;
    ReadJoystick(input, s, n);
    for (uint8_t button : s.buttons)
      if ((button & 0x80) != 0) return true;
    double x = s.x, y = s.y;
    TurnWithOrientation(orientation, x, y);
    for (double value : {x, y, static_cast<double>(s.z)}) {
      const double axis = value / 32767.0;
      if (std::fabs(axis > 1.0 ? 1.0 : axis < -1.0 ? -1.0 : axis) > 0.1) return true;
    }
    if (s.hats[0] != kHatCentred) return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- window procedure

void WindowProcedure(const platform::Event& event) {
  switch (event.type) {
    case platform::EventType::Close:
      // END ends the process; it only returns while it is already running,
      // and then there is nothing left to do here.
      EndProgram();
      break;
    case platform::EventType::FocusLost:
      // A debug build keeps running behind the debugger that took the focus.
      if (!Settings().DebugMode) {
        SetCaption(" <pause>");
        SetPaused(1);
      }
      break;
    case platform::EventType::FocusGained:
      if (!Settings().DebugMode) {
        SetCaption("");
        SetPaused(0);
      }
      break;
    case platform::EventType::JoystickAdded:
    case platform::EventType::JoystickRemoved:
    case platform::EventType::JoystickAxis:
    case platform::EventType::JoystickButton:
    case platform::EventType::JoystickHat:
      NoteJoystickEvent(event);
      break;
    default:
      // Alt alone opens no window menu here, and SDL keeps the screen saver
      // off while the program runs: the system keys need no handling.
      break;
  }
}

// ---------------------------------------------------------------- pause

void SetPaused(int32_t flag) {
  const int32_t effective = g_pausingAllowed ? flag : 0;
  if ((effective != 0) != (g_paused != 0)) {
    g_paused = effective != 0;
    CallByName(g_paused ? "VLM_ON_PAUSE" : "VLM_ON_RESUME");
  }
  g_paused = effective != 0;
}

void AllowPause(int32_t flag) {
  g_pausingAllowed = flag != 0;
  if (!g_pausingAllowed && g_paused) {
    g_paused = 0;
    CallByName("VLM_ON_RESUME");
  }
}

int32_t IsPaused() { return g_paused; }

void ClearPausedFlag() { g_paused = 0; }

void Hibernate() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  InputDevices* input = TheInputDevices();
  MouseSnapshot start;
  if (input != nullptr) start = TakeMouseSnapshot(*input);

  for (int pass = 0; pass < 15; ++pass) {
    PumpOnce(*r);
    if (g_paused) {
      std::puts("pause loop in showscreen/hibernate");
      std::fflush(stdout);
      // Still answering the window, so that the focus coming back (or the
      // debugger asking for the window) ends the pause.
      while (g_paused && !ActivationRequest) {
        PumpOnce(*r);
        platform::SleepMs(200);
      }
      std::puts("pause loop ended");
      std::fflush(stdout);
      return;
    }
    if (input == nullptr) input = TheInputDevices();
    if (input == nullptr) {
      platform::SleepMs(5);
      continue;
    }
    ResetKeyQueryCounter();
    RefreshKeyboard();
    ConsumeEveryMouse(*input);
    if (EscapeEnds() && (KeyStateDown(kKeyQuitExtra) || KeyStateDown(kKeyEscape))) {
      LastErrorCode = kErrorNone;
      EndProgram();
    }
    if (AnyKeyDown()) return;
    if (TakeMouseSnapshot(*input) != start) return;
    if (AnyJoystickActive(*input)) return;
    platform::SleepMs(5);
  }
}

// ---------------------------------------------------------------- waits

int32_t WaitForKey() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return 0;  // no window: no key can ever arrive
  ClearTypedChars();
  for (;;) {
    PumpOnce(*r);
    Hibernate();
    const int32_t c = PopTypedChar();
    if (c != 0) return c;
  }
}

void WaitForMouseButton() {
  Renderer* r = TheRenderer();
  if (r == nullptr || TheInputDevices() == nullptr) return;
  // The button state changes only as events are taken, so the waits for a
  // release keep the window answering.
  while (AnyMouseButtonDown()) {
    PumpOnce(*r);
    platform::SleepMs(5);
  }
  while (!AnyMouseButtonDown()) Hibernate();
  while (AnyMouseButtonDown()) {
    PumpOnce(*r);
    platform::SleepMs(5);
  }
}

void CallWin32MessageHook() {
  static bool lookedUp = false;
  static Routine routine = nullptr;
  if (!lookedUp) {
    routine = FindRoutineByName("VLM_WIN32_MSG");
    lookedUp = true;
  }
  if (routine != nullptr) routine();
}

// ---------------------------------------------------------------- file dialogs

std::vector<FileFilter> ParseFileFilter(const char* filter) {
  std::vector<FileFilter> filters;
  if (filter == nullptr) return filters;
  // The dialog gets the text as a list in a 1024-byte buffer.
  size_t length = 0;
  while (length < 1023 && filter[length] != '\0') ++length;
  const std::string text(filter, length);
  std::vector<std::string> entries;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find('|', start);
    entries.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (entries[i].empty() || entries[i + 1].empty()) break;
    FileFilter f;
    f.name = entries[i];
    const std::string& list = entries[i + 1];
    size_t from = 0;
    while (from <= list.size()) {
      size_t semicolon = list.find(';', from);
      if (semicolon == std::string::npos) semicolon = list.size();
      std::string pattern = list.substr(from, semicolon - from);
      const size_t first = pattern.find_first_not_of(" \t");
      const size_t last = pattern.find_last_not_of(" \t");
      if (first != std::string::npos) f.patterns.push_back(pattern.substr(first, last - first + 1));
      from = semicolon + 1;
    }
    if (f.patterns.empty()) break;
    filters.push_back(f);
  }
  return filters;
}

std::vector<std::string> ZenityFilterArguments(const char* filter) {
  std::vector<std::string> args;
  for (const FileFilter& f : ParseFileFilter(filter)) {
    std::string arg = "--file-filter=" + f.name + " |";
    for (const std::string& pattern : f.patterns) arg += " " + pattern;
    args.push_back(arg);
  }
  return args;
}

std::string KdialogFilterArgument(const char* filter) {
  std::string arg;
  for (const FileFilter& f : ParseFileFilter(filter)) {
    if (!arg.empty()) arg += "\n";
    for (size_t i = 0; i < f.patterns.size(); ++i) arg += (i > 0 ? " " : "") + f.patterns[i];
    arg += "|" + f.name;
  }
  return arg;
}

std::vector<std::string> FileDialogCommand(const std::string& program, bool open, const char* filter,
                                           const std::string& folder) {
  std::vector<std::string> args{program};
  if (program == "kdialog") {
    args.push_back(open ? "--getopenfilename" : "--getsavefilename");
    args.push_back(folder.empty() ? "." : folder);
    const std::string filters = KdialogFilterArgument(filter);
    if (!filters.empty()) args.push_back(filters);
    return args;
  }
  args.push_back("--file-selection");
  if (!open) {
    args.push_back("--save");
    args.push_back("--confirm-overwrite");
  }
  if (!folder.empty()) args.push_back("--filename=" + folder + "/");
  for (const std::string& arg : ZenityFilterArguments(filter)) args.push_back(arg);
  return args;
}

namespace {

// Runs the first dialog program there is; false on cancel, failure or when
// there is none.
bool RunFileDialog(bool open, const char* filter, const std::string& folder, std::string* chosen) {
  for (const char* program : {"zenity", "kdialog"}) {
    if (platform::FindExecutableInPath(program).empty()) continue;
    std::string output;
    const int code = platform::RunCapturingOutput(FileDialogCommand(program, open, filter, folder), &output);
    if (code != 0) return false;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    // One name only, should a dialog print more lines.
    const size_t newline = output.find('\n');
    if (newline != std::string::npos) output.erase(newline);
    *chosen = output;
    return !output.empty();
  }
  return false;
}

}  // namespace

BasicString FileRequest(int32_t open, const char* filter) {
  const std::string folder = platform::CurrentDirectory();
  Renderer* r = TheRenderer();
  if (r != nullptr && r->window != nullptr) HideMainWindow(*r);
  std::string chosen;
  const bool ok = RunFileDialog(open != 0, filter, folder, &chosen);
  // The dialog may have moved the current folder.
  platform::ChangeDirectory(folder.c_str());
  if (r != nullptr && r->window != nullptr) {
    const ProjectSettings& settings = Settings();
    if (settings.FullScreen)
      ChangeScreenMode(*r, settings.ScreenWidth, settings.ScreenHeight, 0, 1);
    else
      SetWindowedMode(*r);
    ShowMousePointer(PointerShown() ? 1.0 : 0.0);
    SetInputWindow(r->window);
    BindSoundWindow(r->window);
    const RuntimeFramesScope settling;
    for (int i = 0; i < 5; ++i) ShowScreen();
  }
  if (!ok) return BasicString("NO_FILE");
  for (char& c : chosen)
    if (c == '\\') c = '/';
  return BasicString(chosen.c_str(), static_cast<uint32_t>(chosen.size()));
}

BasicString FileRequest(int32_t open, const BasicString& filter) { return FileRequest(open, filter.c_str()); }

// ---------------------------------------------------------------- console

void OpenConsole() { platform::AttachTerminal(); }
