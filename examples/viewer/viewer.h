// The viewer example as translated from its BASIC source viewer.bas (module
// 0: the main program and its routines). Every statement is preceded by the
// line hook with its statement number, every routine registers its
// parameters and locals by name, and array accesses are bounds-checked.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "host/host.h"
#include "input/input.h"

namespace viewer {

// ---------------------------------------------------------------- translation helpers

// INT(x) and every place where a Number becomes an integer: truncation
// toward zero; NaN and values outside 32 bits give INT32_MIN.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// a[i] and a[i, j], indexes truncated.
inline Number& At(BasicArray<Number>& a, Number i) { return ArrayElement(a, Trunc(i)); }
inline Number& At(BasicArray<Number>& a, Number i, Number j) { return ArrayElement(a, Trunc(i), Trunc(j)); }

// LEFT$(s, n) and RIGHT$(s, n): the first or last n bytes (none for n <= 0).
inline BasicString Left(const BasicString& s, Number n) { return n <= 0 ? BasicString() : Mid(s, 0, Trunc(n)); }
inline BasicString Right(const BasicString& s, Number n) {
  if (n <= 0) return BasicString();
  const int32_t length = static_cast<int32_t>(s.Length());
  return Trunc(n) >= length ? s : Mid(s, length - Trunc(n));
}
// MID$(s, i): from byte i, counted from 1.
inline BasicString MidFrom(const BasicString& s, Number i) { return i < 1 ? s : Mid(s, Trunc(i) - 1); }
// INSTR(s, t): the first position of t in s counted from 1, 0 when none.
inline Number InStr(const BasicString& s, const BasicString& t) { return Find(s, t) + 1; }
// VAL(s), STR$(INT(x)) and LEN(s).
inline Number Val(const BasicString& s) { return TextToDouble(s.c_str()); }
inline BasicString Str(int32_t n) { return IntegerToText(n); }
inline Number Len(const BasicString& s) { return s.Length(); }

// The line hook before a statement of module 0.
#define LINE0(n) VLM_LINE(0, n)

// FOR var = first TO limit: the limit is evaluated once, the test comes
// before every pass.
#define FOR_TO(var, first, limit)                                             \
  for (Number VLM_CONCAT(vlm_limit_, __LINE__) = ((var) = (first), (limit)); \
       (var) <= VLM_CONCAT(vlm_limit_, __LINE__); (var) += 1)

// ---------------------------------------------------------------- globals

extern BasicString args_Str;
extern Number count, angle, spin, shader, scripted, pickX, pickY;
extern Number mx, my, mb1, mb2, hitObject, hitTriangle;
extern BasicArray<Number> ox, tri, hx, hy;

// ---------------------------------------------------------------- routines

void settings();
void globalSetup();
void globalTeardown();
void mainProgram();

extern const RoutineEntry kCallByName[];

BasicString word_Str(BasicString key_Str);
BasicString wordAt_Str(Number n);
void makeGem(BasicString f_Str);
void pickTriangle();
void drawHighlight();

}  // namespace viewer
