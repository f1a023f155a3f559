// Debug-mode plumbing: the statement position, the variable registry,
// breakpoints and the line hook, the debugger's channel, END's own workings and
// the application's call-by-name table. What programs call of it (END, Assert,
// CallByName, the error record, debug output) is declared in core/core.h.
//
// A program built in debug mode calls LineHook before every statement and
// registers its variables by name, type and address. An attached debugger
// (any process tracing this one, e.g. gdb) sets a breakpoint on the exported
// function VelmoraDebuggerMessage, which receives every message:
//   "BP<hex address>"  the program stopped; the address (lower-case hex, no
//                      leading zeros) is that of the DebugState block below.
//                      The program waits inside the call; the debugger reads
//                      and writes the block and the tables it points to, then
//                      resumes.
//   "TX<text>"         debug text (bounds reports, failed calls by name...).
// docs/debugger-protocol.md describes the exchange for debugger authors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------- statement position

extern int32_t CurrentModule;  // module of the statement now executing
extern int32_t CurrentLine;    // line of the statement now executing

// The source file names of the program's modules, by module number, for
// failure reports; the table must outlive the run. Without one (or for a
// module past count) reports give the number alone.
void SetModuleNames(const char* const* names, int32_t count);
// The statement as failure reports name it: "module 0 (main.bas), line 54",
// or "module 0, line 54" without a name. Empty for line 0: the program
// records no statements (a build without line notes).
std::string StatementText(int32_t module, int32_t line);

// ---------------------------------------------------------------- debugger channel

// The message function a debugger breaks on. It does nothing itself; it is
// exported under this name, never inlined and never optimised away.
extern "C" void VelmoraDebuggerMessage(const char* text);

// ---------------------------------------------------------------- variable registry

// Type codes of registered variables (the debugger interprets the storage by
// them). 0..2 are those of the language; 3..5 cover the runtime's other
// array element types and integer variables.
enum VariableType : int32_t {
  kVariableNumber = 0,       // double
  kVariableString = 1,       // BasicString
  kVariableNumberArray = 2,  // BasicArray<double>
  kVariableIntArray = 3,     // BasicArray<int32_t>
  kVariableStringArray = 4,  // BasicArray<BasicString>
  kVariableInt = 5,          // int32_t
  kVariableRecordArray = 6,  // RecordArrayView: an array of a program's records
};

// Entries a variable table holds at most.
constexpr int32_t kVariableTableSize = 1024;

// One registered variable. 64-bit layout (24 bytes):
//   0x00 name     const char*  NUL-terminated
//   0x08 type     int32        VariableType
//   0x0C (padding, 4 bytes)
//   0x10 address  void*        the variable's storage
struct VariableEntry {
  const char* name;
  int32_t type;
  void* address;
};

// A table of registered variables. 64-bit layout (24584 bytes):
//   0x00 count    int32
//   0x04 (padding, 4 bytes)
//   0x08 entries  VariableEntry[1024]
struct VariableTable {
  int32_t count;
  VariableEntry entries[kVariableTableSize];
};

static_assert(sizeof(void*) != 8 || (sizeof(VariableEntry) == 24 &&
                                     offsetof(VariableEntry, type) == 0x08 &&
                                     offsetof(VariableEntry, address) == 0x10),
              "debuggers rely on this layout");
static_assert(sizeof(void*) != 8 || (offsetof(VariableTable, entries) == 0x08 &&
                                     sizeof(VariableTable) == 8 + 24 * kVariableTableSize),
              "debuggers rely on this layout");

// ---------------------------------------------------------------- records

// A program's record variable registers each field as its own entry, named
// "record.field" ("record.inner.field" for a record inside a record). An
// array of records registers one entry of type kVariableRecordArray whose
// address is a RecordArrayView: the array and the layout of one element.

struct ArrayHeader;
struct RecordLayout;

// One field of a record type. 64-bit layout (24 bytes):
//   0x00 name    const char*   "x", "label_Str"; a field of a record inside
//                              the record is listed flat, as "inner.x"
//   0x08 type    int32         VariableType of the storage at offset: 0..5, or
//                              kVariableRecordArray for a field that is itself
//                              an array of records (a BasicArray, 48 bytes)
//   0x0C offset  int32         bytes from the start of the record
//   0x10 record  const RecordLayout*  that array's element layout (type 6
//                              only; null otherwise)
struct RecordField {
  const char* name;
  int32_t type;
  int32_t offset;
  const RecordLayout* record = nullptr;
};

// The layout of one record type. 64-bit layout (16 bytes):
//   0x00 elementSize  int32               bytes of one record (array stride)
//   0x04 fieldCount   int32               entries in fields
//   0x08 fields       const RecordField*
struct RecordLayout {
  int32_t elementSize;
  int32_t fieldCount;
  const RecordField* fields;
};

// What a registered array of records points at. 64-bit layout (24 bytes):
//   0x00 array        const ArrayHeader*  the BasicArray of records
//   0x08 elementSize  int32               } the elements' layout: the bytes
//   0x0C fieldCount   int32               } from 0x08 read as a RecordLayout
//   0x10 fields       const RecordField*  }
// Element k of the array lives at array->data + k * elementSize.
struct RecordArrayView {
  const ArrayHeader* array;
  int32_t elementSize;
  int32_t fieldCount;
  const RecordField* fields;
};

static_assert(sizeof(void*) != 8 || (sizeof(RecordField) == 24 && offsetof(RecordField, type) == 0x08 &&
                                     offsetof(RecordField, offset) == 0x0C &&
                                     offsetof(RecordField, record) == 0x10),
              "debuggers rely on this layout");
static_assert(sizeof(void*) != 8 || (sizeof(RecordLayout) == 16 &&
                                     offsetof(RecordLayout, fieldCount) == 0x04 &&
                                     offsetof(RecordLayout, fields) == 0x08),
              "debuggers rely on this layout");
static_assert(sizeof(void*) != 8 || (sizeof(RecordArrayView) == 24 &&
                                     offsetof(RecordArrayView, elementSize) == 0x08 &&
                                     offsetof(RecordArrayView, fieldCount) == 0x0C &&
                                     offsetof(RecordArrayView, fields) == 0x10),
              "debuggers rely on this layout");

// ---------------------------------------------------------------- variable tables

// Adds an entry at index count. False (and nothing written) when full.
bool AddVariable(VariableTable& table, const char* name, int32_t type, void* address);
// Removes the first entry with this address; the last entry takes its place.
// False when no entry has it.
bool RemoveVariable(VariableTable& table, const void* address);

// The global variables of the program.
extern VariableTable GlobalVariables;

// ---------------------------------------------------------------- breakpoints and state

// Breakpoints the debugger may set at most.
constexpr int32_t kBreakpointTableSize = 1024;
// Entry k is the breakpoint (BreakpointModules[k], BreakpointLines[k]) for
// k < DebugState::breakpointCount. Only the debugger writes them.
extern int32_t BreakpointModules[kBreakpointTableSize];
extern int32_t BreakpointLines[kBreakpointTableSize];

// Step commands a debugger leaves in DebugState::stepCommand.
constexpr int32_t kStepOver = 0;
constexpr int32_t kStepInto = 1;
constexpr int32_t kStepOut = -1;
constexpr int32_t kStepRun = 100;

// One running routine, for a debugger's call stack. 64-bit layout (24 bytes):
//   0x00 name          const char*     the routine's C++ name
//   0x08 locals        VariableTable*  its local table (count at 0x00, entries at 0x08)
//   0x10 callerModule  int32           CurrentModule when it was entered
//   0x14 callerLine    int32           CurrentLine when it was entered
struct RoutineRecord {
  const char* name;
  VariableTable* locals;
  int32_t callerModule;
  int32_t callerLine;
};

static_assert(sizeof(void*) != 8 || (sizeof(RoutineRecord) == 24 && offsetof(RoutineRecord, callerModule) == 0x10),
              "debuggers rely on this layout");

// The block a debugger reads and writes while the program is stopped. It
// stays at one address for the whole run. 64-bit layout (96 bytes; the
// first 64 are the original block, the rest was appended after them):
//   0x00 breakpointCount   int32   debugger: valid breakpoint entries
//   0x04 globalCount       int32   program: global table's count at the stop
//   0x08 localCount        int32   program: stopped routine's local count
//   0x0C breakRequest      int32   debugger: non-zero stops at the next
//                                  statement; 1000 at start, cleared at stops
//   0x10 module            int32   program: module of the stopped statement
//   0x14 line              int32   program: line of the stopped statement
//   0x18 endRequest        int32   debugger: non-zero ends the program (code 0)
//   0x1C stepCommand       int32   debugger: how to go on (kStep*)
//   0x20 breakpointModules int32*  program: BreakpointModules
//   0x28 breakpointLines   int32*  program: BreakpointLines
//   0x30 globalEntries     VariableEntry*  program: GlobalVariables.entries
//   0x38 localEntries      VariableEntry*  program: the routine's entries (or null)
//   0x40 blockSize         int32   program: sizeof(DebugState), 0x60
//   0x44 frameCount        int32   program: routines now running (the call depth)
//   0x48 frames            RoutineRecord*  program: their records, outermost first
//   0x50 currentModule     int32*  program: &CurrentModule
//   0x58 currentLine       int32*  program: &CurrentLine
// frameCount and frames are kept up to date at every routine's entry and exit,
// so they are valid at any moment the program is stopped, not only at stops
// of the line hook.
struct DebugState {
  int32_t breakpointCount;
  int32_t globalCount;
  int32_t localCount;
  int32_t breakRequest;
  int32_t module;
  int32_t line;
  int32_t endRequest;
  int32_t stepCommand;
  int32_t* breakpointModules;
  int32_t* breakpointLines;
  VariableEntry* globalEntries;
  VariableEntry* localEntries;
  int32_t blockSize;
  int32_t frameCount;
  RoutineRecord* frames;
  const int32_t* currentModule;
  const int32_t* currentLine;
};

static_assert(sizeof(void*) != 8 || (sizeof(DebugState) == 0x60 &&
                                     offsetof(DebugState, stepCommand) == 0x1C &&
                                     offsetof(DebugState, breakpointModules) == 0x20 &&
                                     offsetof(DebugState, breakpointLines) == 0x28 &&
                                     offsetof(DebugState, globalEntries) == 0x30 &&
                                     offsetof(DebugState, localEntries) == 0x38 &&
                                     offsetof(DebugState, blockSize) == 0x40 &&
                                     offsetof(DebugState, frames) == 0x48 &&
                                     offsetof(DebugState, currentLine) == 0x58),
              "debuggers rely on this layout");

// The one block a debugger reads and writes.
extern DebugState TheDebugState;
// Stepping stops at statements whose call depth is at most this.
extern int32_t StepDepth;
// Routines (and the global set-up) currently entered.
extern int32_t CallDepth;

// ---------------------------------------------------------------- line hook

// The part of LineHook that runs when the statement stops: fills DebugState,
// reports to the debugger and acts on the step command left there.
void DebugStop(int32_t module, int32_t line, VariableTable* locals);
// True when (module, line) is one of the debugger's breakpoints.
bool IsBreakpoint(int32_t module, int32_t line);

// Records the statement now executing (CurrentModule, CurrentLine).
inline void NoteLine(int32_t module, int32_t line) {
  CurrentModule = module;
  CurrentLine = line;
}

// Called before every statement; locals is the calling routine's table (null
// outside routines). Costs a few compares unless the statement stops.
inline void LineHook(int32_t module, int32_t line, VariableTable* locals) {
  NoteLine(module, line);
  const DebugState& state = TheDebugState;
  if ((state.stepCommand != 0 && CallDepth <= StepDepth) || state.breakRequest != 0 ||
      (state.breakpointCount > 0 && IsBreakpoint(module, line))) {
    DebugStop(module, line, locals);
  }
}

// The stop handshake: does nothing without an attached debugger; otherwise
// runs the "before" hook, sends "BP" + the block's address and, once the
// debugger resumes the program, runs the "after" hook.
void ReportToDebugger(DebugState* state);
// The host and input install what a stop does to them: before (release the
// mouse) and after (reset the input devices, clear the paused flag, ask the
// frame loop to re-activate the window). Either may be null.
void SetDebuggerStopHooks(void (*before)(), void (*after)());

// ---------------------------------------------------------------- END

// Thrown when a failure that cannot go on (a bad array index) happens while
// END is already running, e.g. inside "VLM_ON_QUIT": END catches it where it
// calls into the application and goes on with the shutdown.
struct ProgramEnding {};
// END for failures that must not return to their caller: when END is
// already running it throws ProgramEnding instead (or, once the process is
// exiting, ends it on the spot).
[[noreturn]] void EndProgramNoReturn();

// END for a failure the program cannot go on from (a bad index, memory, DATA
// or a raw file transfer that failed, an assertion): records code as
// SetLastError does and ends the program; its process exits with status 1
// instead of 0. Returns only when END is already running.
void EndWithError(int32_t code);
// The same for failures that must not return to their caller (see
// EndProgramNoReturn).
[[noreturn]] void EndWithErrorNoReturn(int32_t code);

// Runs once when END shuts the runtime down, after the application's
// "VLM_ON_QUIT": the host installs the release of its subsystems here. While
// one is installed (the runtime is up), END logs "Shutdown VLM" before it.
void SetRuntimeShutdown(void (*shutdown)());

// ---------------------------------------------------------------- call by name

// The application's parameterless routines, found by name.
using Routine = void (*)();
// One entry of the table: the routine and its name.
struct RoutineEntry {
  Routine routine;   // null ends the table
  const char* name;
};
// Installs the application's table (RunApplication does it).
void SetCallByNameTable(const RoutineEntry* table);
// The routine of that name (exact spelling), null when the table has none.
Routine FindRoutineByName(const char* name);
