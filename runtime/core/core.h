// The language runtime core: values (strings, arrays, numbers), text and
// numeric built-ins, errors, END and the assertion, debug output, calls by
// name, the build texts, the millisecond clock and the run log. The values and
// built-ins are in the headers included here; this one adds the rest.
//
// The run log is "ErrorLog.txt" in the temporary folder. Start-up traces, the
// END report and subsystem messages are appended to it as plain text; every
// caller supplies its own line ending.
#pragma once

#include <cstdint>

#include "core/basic_array.h"
#include "core/basic_string.h"
#include "core/numeric.h"
#include "core/text.h"

// ---------------------------------------------------------------- error record

// The error codes a program sees in LastErrorCode (ErrorText gives their texts).
enum ErrorCode : int32_t {
  kErrorNone = 0,
  kErrorNoSuchFile = 3,
  kErrorOutOfMemory = 7,  // also an id, slot or channel outside its table
  kErrorOutOfBounds = 9,
  kErrorOutOfData = 20,
  kErrorAssertion = 21,
};
extern int32_t LastErrorCode;  // an ErrorCode
extern int32_t ErrorLine;      // CurrentLine when the last error was recorded

void SetLastError(int32_t code);  // code and ErrorLine := CurrentLine
// LastErrorCode := 0 (ErrorLine is kept).
void ClearLastError();

// ---------------------------------------------------------------- END and the assertion

// END: writes the report to the run log (debug builds), shuts the runtime
// down and exits with status 0, or 1 when a failure the program could not go
// on from ended it (a bad index, memory, DATA, a raw file transfer, an
// assertion). Returns only when END is already running.
// The quit keys and the END statement end the program through it.
void EndProgram();
// The language's END statement: error 0 at the current line, then END.
void EndWithCode0();

// The language's assertion: a zero value reports "Assertion: Value =0",
// records error 21 and ends the program.
void Assert(double value);

// ---------------------------------------------------------------- output

// Sends "TX" + text to an attached debugger; nothing without one.
void DebugOutput(const char* text);
// Writes text to standard error.
void ErrorOutput(const char* text);

// Appends text to the run log (a null text is written as "NULL"). Up to five
// attempts to open the file are made; after that the text is dropped.
void WriteLog(const char* text);

// ---------------------------------------------------------------- call by name

// Runs the routine of that name: 1.0 when found and run, else 0.0.
double CallByName(const char* name);

// ---------------------------------------------------------------- clock

// Milliseconds since the first call, whole milliseconds as a double; 0
// without a counter.
double GetMilliseconds();

// ---------------------------------------------------------------- build texts

// Compile date and time, "Mmm dd yyyy-hh:mm:ss".
const char* BuildStamp();
// Eight upper-case hexadecimal digits fixed when the runtime is compiled
// (define VELMORA_BUILD_ID to choose them; otherwise derived from the stamp).
const char* BuildId();
// "000.001".
const char* ProjectVersion();
