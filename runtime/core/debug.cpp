// Debug-mode support: the error record, the debugger channel, the line hook and the END report.
#include "core/debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "platform/platform.h"

// ---------------------------------------------------------------- error record

int32_t CurrentModule = 0;
int32_t CurrentLine = 0;
int32_t LastErrorCode = kErrorNone;
int32_t ErrorLine = 0;

void SetLastError(int32_t code) {
  LastErrorCode = code;
  ErrorLine = CurrentLine;
}

void ClearLastError() { LastErrorCode = kErrorNone; }

namespace {
const char* const* g_moduleNames = nullptr;
int32_t g_moduleNameCount = 0;
}  // namespace

void SetModuleNames(const char* const* names, int32_t count) {
  g_moduleNames = names;
  g_moduleNameCount = names != nullptr && count > 0 ? count : 0;
}

std::string StatementText(int32_t module, int32_t line) {
  if (line == 0) return std::string();
  std::string text = "module " + std::to_string(module);
  if (module >= 0 && module < g_moduleNameCount && g_moduleNames[module] != nullptr) {
    text += " (";
    text += g_moduleNames[module];
    text += ")";
  }
  return text + ", line " + std::to_string(line);
}

// ---------------------------------------------------------------- debugger channel

// The debugger's breakpoint lands here with the text in the first argument
// register. The empty asm claims to read the text and touch memory, so the
// call and its argument survive every optimisation.
extern "C" __attribute__((visibility("default"), noinline, used)) void VelmoraDebuggerMessage(
    const char* text) {
  asm volatile("" : : "r"(text) : "memory");
}

void DebugOutput(const char* text) {
  if (!platform::DebuggerAttached()) return;
  std::string message = "TX";
  if (text != nullptr) message += text;
  VelmoraDebuggerMessage(message.c_str());
}

void ErrorOutput(const char* text) { std::fprintf(stderr, "%s", text != nullptr ? text : ""); }

// ---------------------------------------------------------------- variable registry

VariableTable GlobalVariables;

bool AddVariable(VariableTable& table, const char* name, int32_t type, void* address) {
  if (table.count < 0 || table.count >= kVariableTableSize) return false;
  VariableEntry& entry = table.entries[table.count];
  entry.name = name;
  entry.type = type;
  entry.address = address;
  ++table.count;
  return true;
}

bool RemoveVariable(VariableTable& table, const void* address) {
  const int32_t count = table.count < kVariableTableSize ? table.count : kVariableTableSize;
  for (int32_t i = 0; i < count; ++i) {
    if (table.entries[i].address != address) continue;
    table.entries[i] = table.entries[count - 1];
    table.count = count - 1;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- breakpoints and state

int32_t BreakpointModules[kBreakpointTableSize];
int32_t BreakpointLines[kBreakpointTableSize];

// Constant-initialised, so it is ready before any static constructor of the
// application registers a global, and the first statement stops.
DebugState TheDebugState = {
    0,     // breakpointCount
    0,     // globalCount
    0,     // localCount
    1000,  // breakRequest
    0,     // module
    0,     // line
    0,     // endRequest
    0,     // stepCommand
    BreakpointModules,
    BreakpointLines,
    GlobalVariables.entries,
    nullptr,
    static_cast<int32_t>(sizeof(DebugState)),
    0,  // frameCount
    nullptr,
    &CurrentModule,
    &CurrentLine,
};
int32_t StepDepth = 0;
int32_t CallDepth = 0;

namespace {
void (*g_beforeStop)() = nullptr;
void (*g_afterStop)() = nullptr;
}  // namespace

void SetDebuggerStopHooks(void (*before)(), void (*after)()) {
  g_beforeStop = before;
  g_afterStop = after;
}

bool IsBreakpoint(int32_t module, int32_t line) {
  // The count comes from another process: never trust it past the tables.
  int32_t count = TheDebugState.breakpointCount;
  if (count > kBreakpointTableSize) count = kBreakpointTableSize;
  for (int32_t k = 0; k < count; ++k) {
    if (BreakpointLines[k] == line && BreakpointModules[k] == module) return true;
  }
  return false;
}

void ReportToDebugger(DebugState* state) {
  if (!platform::DebuggerAttached()) return;
  if (g_beforeStop != nullptr) g_beforeStop();
  char message[2 + 2 * sizeof(void*) + 1];
  std::snprintf(message, sizeof message, "BP%zx", reinterpret_cast<size_t>(state));
  VelmoraDebuggerMessage(message);
  if (g_afterStop != nullptr) g_afterStop();
}

void DebugStop(int32_t module, int32_t line, VariableTable* locals) {
  DebugState& state = TheDebugState;
  if (state.endRequest != 0) EndWithCode0();
  state.line = line;
  state.module = module;
  state.globalCount = GlobalVariables.count;
  state.globalEntries = GlobalVariables.entries;
  state.localCount = locals != nullptr ? locals->count : 0;
  state.localEntries = locals != nullptr ? locals->entries : nullptr;
  state.breakpointModules = BreakpointModules;
  state.breakpointLines = BreakpointLines;

  ReportToDebugger(&state);

  switch (state.stepCommand) {
    case kStepOver:
      state.stepCommand = 1;
      StepDepth = CallDepth;
      break;
    case kStepInto:
      state.stepCommand = 1;
      StepDepth = CallDepth + 1;
      break;
    case kStepOut:
      state.stepCommand = 1;
      StepDepth = CallDepth - 1;
      break;
    case kStepRun:
      state.stepCommand = 0;
      StepDepth = 0;
      break;
    default:
      break;
  }
  state.breakRequest = 0;
}

// ---------------------------------------------------------------- call by name

namespace {
const RoutineEntry* g_callByName = nullptr;
}  // namespace

void SetCallByNameTable(const RoutineEntry* table) { g_callByName = table; }

Routine FindRoutineByName(const char* name) {
  if (name == nullptr || g_callByName == nullptr) return nullptr;
  for (const RoutineEntry* entry = g_callByName; entry->routine != nullptr; ++entry) {
    if (entry->name != nullptr && std::strcmp(entry->name, name) == 0) return entry->routine;
  }
  return nullptr;
}

double CallByName(const char* name) {
  const Routine routine = FindRoutineByName(name);
  if (routine != nullptr) {
    routine();
    return 1.0;
  }
  if (name == nullptr) name = "";
  if (std::strcmp(name, "VLM_ON_QUIT") != 0 && std::strcmp(name, "VLM_WIN32_MSG") != 0) {
    std::string text = "CALLBYNAME \"";
    text += name;
    text += "\" *** failed ***\n";
    DebugOutput(text.c_str());
  }
  return 0.0;
}

// ---------------------------------------------------------------- END

namespace {
bool g_endRunning = false;
bool g_exiting = false;
// Set by a failure the program could not go on from; the exit status shows it.
bool g_failed = false;
bool g_shutdownDone = false;
void (*g_runtimeShutdown)() = nullptr;

void RunRuntimeShutdown() {
  if (g_shutdownDone) return;
  g_shutdownDone = true;
  // A failure inside these calls unwinds back here (ProgramEnding) and the
  // shutdown goes on.
  try {
    CallByName("VLM_ON_QUIT");
  } catch (const ProgramEnding&) {
  }
  if (g_runtimeShutdown != nullptr) {
    WriteLog("Shutdown VLM\n");
    try {
      g_runtimeShutdown();
    } catch (const ProgramEnding&) {
    }
  }
  WriteLog("vlm is shut down\n");
}
}  // namespace

void SetRuntimeShutdown(void (*shutdown)()) { g_runtimeShutdown = shutdown; }

void EndProgram() {
  if (g_endRunning) return;
  g_endRunning = true;
  if (Settings().DebugMode != 0) {
    // The debugger reads these five lines after the process has gone.
    WriteLog("-End On Line\n");
    WriteLogF("%d\n", LastErrorCode);
    WriteLogF("%d\n", ErrorLine - 1);
    WriteLogF("%d\n", CurrentLine);
    WriteLogF("%d\n", CurrentModule);
  }
  RunRuntimeShutdown();
  std::puts("exit");
  std::fflush(nullptr);
  g_exiting = true;
  platform::ExitProcess(g_failed ? 1 : 0);
}

void EndProgramNoReturn() {
  EndProgram();
  if (g_exiting) {
    // Static destructors and exit handlers are running: nothing can be
    // unwound any more, and carrying on would touch what is being torn down.
    std::fflush(nullptr);
    std::_Exit(g_failed ? 1 : 0);
  }
  throw ProgramEnding();
}

void EndWithError(int32_t code) {
  SetLastError(code);
  g_failed = true;
  EndProgram();
}

void EndWithErrorNoReturn(int32_t code) {
  SetLastError(code);
  g_failed = true;
  EndProgramNoReturn();
}

void EndWithCode0() {
  LastErrorCode = kErrorNone;
  ErrorLine = CurrentLine;
  EndProgram();
}

void Assert(double value) {
  if (value != 0) return;
  DebugOutput("Assertion: Value =0\n");
  EndWithError(kErrorAssertion);
}

// ---------------------------------------------------------------- build texts

namespace {

constexpr char kBuildStamp[] = __DATE__ "-" __TIME__;

constexpr uint32_t HashStamp() {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (char c : kBuildStamp) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

struct BuildIdText {
  char text[9];
  constexpr BuildIdText(uint32_t value) : text() {
    for (int i = 7; i >= 0; --i) {
      text[i] = "0123456789ABCDEF"[value & 15];
      value >>= 4;
    }
    text[8] = 0;
  }
};

#ifdef VELMORA_BUILD_ID
constexpr uint32_t kBuildIdValue = static_cast<uint32_t>(VELMORA_BUILD_ID);
#else
constexpr uint32_t kBuildIdValue = HashStamp();
#endif
constexpr BuildIdText kBuildId(kBuildIdValue);

}  // namespace

const char* BuildStamp() { return kBuildStamp; }
const char* BuildId() { return kBuildId.text; }
const char* ProjectVersion() { return "000.001"; }
