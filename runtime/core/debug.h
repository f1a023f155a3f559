// Debug-mode support: the error record, the END operation, debugger output
// and the call-by-name table of the application.
#pragma once

#include <cstdint>

// The error record.
extern int32_t CurrentModule;  // module of the statement now executing
extern int32_t CurrentLine;    // line of the statement now executing
extern int32_t LastErrorCode;  // 0 success, 3 no such file, 7 out of memory,
                               // 9 out of bounds, 20 out of data, 21 assertion
extern int32_t ErrorLine;      // CurrentLine when the last error was recorded

void SetLastError(int32_t code);  // code and ErrorLine := CurrentLine
void ClearLastError();

// Sends "TX" + text to an attached debugger; nothing without one.
void DebugOutput(const char* text);
// Writes text to standard error.
void ErrorOutput(const char* text);

// END: writes the report to the run log (debug builds), shuts the runtime
// down and exits with code 0. Returns only when END is already running.
void EndProgram();
// The language's END statement: error 0 at the current line, then END.
void EndWithCode0();

// Runs once when END shuts the runtime down, after the application's
// "VLM_ON_QUIT": the host installs the release of its subsystems here.
void SetRuntimeShutdown(void (*shutdown)());

// The application's parameterless routines, found by name.
using Routine = void (*)();
struct RoutineEntry {
  Routine routine;   // null ends the table
  const char* name;
};
void SetCallByNameTable(const RoutineEntry* table);
Routine FindRoutineByName(const char* name);
// Runs the routine of that name: 1.0 when found and run, else 0.0.
double CallByName(const char* name);
