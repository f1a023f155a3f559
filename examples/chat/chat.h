// The chat example as translated from its BASIC source chat.bas (module 0:
// the main program and its routines). Every statement is preceded by the
// line hook with its statement number, every routine registers its
// parameters and locals by name, and array accesses are bounds-checked.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "input/input.h"
#include "net/net.h"

namespace chat {

// ---------------------------------------------------------------- translation helpers

// INT(x) and every place where a Number becomes an integer: truncation
// toward zero; NaN and values outside 32 bits give INT32_MIN.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// a[i] of a number or string array, index truncated.
inline Number& At(BasicArray<Number>& a, Number i) { return ArrayElement(a, Trunc(i)); }
inline BasicString& At(BasicArray<BasicString>& a, Number i) { return ArrayElement(a, Trunc(i)); }

// LEFT$(s, n): the first n bytes (none for n <= 0).
inline BasicString Left(const BasicString& s, Number n) { return n <= 0 ? BasicString() : Mid(s, 0, Trunc(n)); }
// MID$(s, i) and MID$(s, i, n): from byte i, counted from 1.
inline BasicString MidFrom(const BasicString& s, Number i) { return i < 1 ? s : Mid(s, Trunc(i) - 1); }
// INSTR(s, t): the first position of t in s counted from 1, 0 when none.
inline Number InStr(const BasicString& s, const BasicString& t) { return Find(s, t) + 1; }
// VAL(s) and STR$(INT(x)).
inline Number Val(const BasicString& s) { return TextToDouble(s.c_str()); }
inline BasicString Str(int32_t n) { return IntegerToText(n); }
// LEN(s).
inline Number Len(const BasicString& s) { return s.Length(); }

// The line hook before a statement of module 0.
#define LINE0(n) VLM_LINE(0, n)

// FOR var = first TO limit: the limit is evaluated once, the test comes
// before every pass.
#define FOR_TO(var, first, limit)                                             \
  for (Number VLM_CONCAT(vlm_limit_, __LINE__) = ((var) = (first), (limit)); \
       (var) <= VLM_CONCAT(vlm_limit_, __LINE__); (var) += 1)

// ---------------------------------------------------------------- globals

extern BasicString args_Str, host_Str, myName_Str;
extern Number port, me, myColour, myX, myY, frame, demo, expect, hello, online;
extern BasicArray<Number> px, py, seen, colours;
extern BasicArray<BasicString> names_Str, lines_Str;
extern BasicString typed_Str;
extern BasicString url_Str, server_Str, path_Str;
extern Number httpPort, sock, httpState;
extern BasicString head_Str;
extern Number total, got;
extern BasicString fileName_Str;
extern Number picture;

// ---------------------------------------------------------------- routines

void settings();
void globalSetup();
void globalTeardown();
void mainProgram();

extern const RoutineEntry kCallByName[];

BasicString word_Str(BasicString key_Str);
BasicString field_Str(BasicString t_Str, Number n);
void movePlayer();
void readTyping();
void sayLine(BasicString t_Str);
void addLine(BasicString t_Str);
Number othersSeen();
void readMessages();
void drawPlayers();
void drawChat();
void startDownload();
void stepDownload();
void drawDownload();

}  // namespace chat
