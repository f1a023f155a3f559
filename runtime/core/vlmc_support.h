// The helpers that code translated by vlmc calls: the conversion of a number
// to a 32-bit integer, ABS, LEFT$, RIGHT$, MID$, INSTR, the whole-number and
// bitwise arithmetic, the random fraction, PRINT with its tab zones, INPUT
// from the console, the in-place append, and the stand-ins for a number
// variable passed where an operation writes a 32-bit integer or a float.
// Translated programs include it; they are not runtime operations a BASIC
// program calls by name (its built-ins become these). It also brings what the
// translated code itself uses of the core's plumbing: the line hook and the
// call-by-name table (core/debug.h), the routine frames and registrations
// (core/generated.h) and the project settings (core/settings.h).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/core.h"
#include "core/debug.h"
#include "core/generated.h"
#include "core/settings.h"

// A number as a whole 32-bit number: truncation toward zero; NaN and values
// outside the range give INT32_MIN, as the processor's conversion does.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// ABS.
inline Number VlmAbs(Number x) { return x < 0 ? -x : x; }

// ---------------------------------------------------------------- whole numbers

// INT: the number truncated toward zero, over the whole range of a Number
// (INT(2500000000) is 2500000000, INT(-2.5) is -2); NaN and infinities stay.
inline Number VlmInt(Number x) { return std::trunc(x); }

// STR$(INT(x)): the decimal digits of x truncated toward zero; a value
// outside the 64-bit range (or NaN) gives the number's ordinary text.
inline BasicString VlmIntText(Number x) {
  const Number t = std::trunc(x);
  if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0)) return NumberToText(x);
  return IntegerToText(static_cast<int64_t>(t));
}

// SGN: -1, 0 or 1 (0 for NaN).
inline Number VlmSgn(Number x) { return x > 0 ? 1 : x < 0 ? -1 : 0; }

// ROUND: to the nearest whole number, halves away from zero (2.5 -> 3,
// -2.5 -> -3).
inline Number VlmRound(Number x) { return std::round(x); }

// Integer division (\): both operands truncated toward zero, the quotient
// truncated toward zero (-7 \ 2 is -3). A divisor that truncates to 0 gives
// 0 rather than stopping the program; NaN gives NaN. Exact over the 64-bit
// range; beyond it, the truncated quotient of the two numbers.
inline Number VlmIntDiv(Number a, Number b) {
  const Number x = std::trunc(a);
  const Number y = std::trunc(b);
  if (std::isnan(x) || std::isnan(y)) return x + y;
  if (y == 0) return 0;
  constexpr Number kLimit = 9223372036854775808.0;  // 2^63
  if (x >= -kLimit && x < kLimit && y >= -kLimit && y < kLimit) {
    const int64_t i = static_cast<int64_t>(x);
    const int64_t j = static_cast<int64_t>(y);
    if (j == -1) return -x;  // INT64_MIN / -1 does not fit
    return static_cast<Number>(i / j);
  }
  return std::trunc(x / y);
}

// MOD: the remainder of the operands truncated to 32 bits, with the sign of
// the first (IntMod); 0 for a divisor of 0.
inline Number VlmMod(Number a, Number b) { return IntMod(Trunc(a), Trunc(b)); }

// MIN: the smaller of two numbers (the first when they compare equal or
// either is NaN).
inline Number VlmMin(Number a, Number b) { return b < a ? b : a; }
// MAX: the larger of two numbers (the first when they compare equal or
// either is NaN).
inline Number VlmMax(Number a, Number b) { return b > a ? b : a; }

// EXP: e to the power x.
inline Number VlmExp(Number x) { return std::exp(x); }

// ---------------------------------------------------------------- bits

// The bitwise operators work on their operands as 32-bit integers (Trunc:
// toward zero; outside the range a value counts as INT32_MIN).
// AND.
inline Number VlmBitAnd(Number a, Number b) { return Trunc(a) & Trunc(b); }
// OR.
inline Number VlmBitOr(Number a, Number b) { return Trunc(a) | Trunc(b); }
// XOR.
inline Number VlmBitXor(Number a, Number b) { return Trunc(a) ^ Trunc(b); }
// NOT: every bit flipped (NOT 0 is -1).
inline Number VlmBitNot(Number a) { return ~Trunc(a); }

// The shifts move a 32-bit integer by count AND 31 places (a count of 32
// is a shift by 0, -1 one by 31).
// SHL: the bits shifted out at the top are dropped (1 SHL 31 is INT32_MIN).
inline Number VlmShl(Number value, Number count) {
  const uint32_t bits = static_cast<uint32_t>(Trunc(value)) << (static_cast<uint32_t>(Trunc(count)) & 31u);
  return static_cast<int32_t>(bits);
}
// SHR: arithmetic, the sign bit is copied in (-8 SHR 1 is -4).
inline Number VlmShr(Number value, Number count) {
  return Trunc(value) >> (static_cast<uint32_t>(Trunc(count)) & 31u);
}

// ---------------------------------------------------------------- random fraction

// RND without a range: a fraction in [0, 1), from the runtime's generator
// (one 32-bit draw over 2^32), so that SeedRnd makes the run repeatable.
inline Number VlmRandomUnit() { return Rnd(4294967295.0) / 4294967296.0; }

// LEFT$: the first n characters (none for n below 1).
inline BasicString VlmLeft(const BasicString& s, Number n) {
  const int32_t count = Trunc(n);
  return count <= 0 ? BasicString() : ::Mid(s, 0, count);
}

// RIGHT$: the last n characters (none for n below 1, all for n past the length).
inline BasicString VlmRight(const BasicString& s, Number n) {
  const int32_t count = Trunc(n);
  const int32_t length = static_cast<int32_t>(s.Length());
  if (count <= 0) return BasicString();
  return count >= length ? s : ::Mid(s, length - count);
}

// MID$: count characters from the 1-based start; a negative count (-1 is
// the form without one) runs to the end. Nothing for a start below 1, a
// count of 0 or a count past the 32-bit range.
inline BasicString VlmMid(const BasicString& s, Number start, Number count) {
  int32_t from = Trunc(start);
  int32_t n = Trunc(count);
  if (from < 1 || n == 0 || (n < -1 && count >= 0)) return BasicString();
  return ::Mid(s, from - 1, n < 0 ? -1 : n);
}

// INSTR: the 1-based position of part at or after start, 0 when not found.
inline Number VlmInstr(const BasicString& s, const BasicString& part, Number start) {
  const int32_t from = Trunc(start);
  if (from < 1) return 0;
  return ::Find(s, part, from - 1) + 1;
}

// ---------------------------------------------------------------- console

// The column PRINT has reached on standard output (0 at a line's start).
inline int32_t& VlmPrintColumn() {
  static int32_t column = 0;
  return column;
}

// PRINT: the text on standard output. The column is followed through the
// text's last newline, for the tab zones. A PRINT that ends a line sends
// what is buffered on at once, to a file or a pipe as to a terminal: a
// program killed while it waits has delivered its finished lines, and a
// debugger reading the output sees them as they are printed. (A flush per
// line, not per character; the rest of stdout, such as the vertex trace,
// stays in the buffer until then.)
inline void VlmPrint(const BasicString& text, bool newline) {
  std::fwrite(text.c_str(), 1, text.Length(), stdout);
  uint32_t lineStart = text.Length();
  while (lineStart > 0 && text.c_str()[lineStart - 1] != '\n') --lineStart;
  const int32_t tail = static_cast<int32_t>(text.Length() - lineStart);
  VlmPrintColumn() = lineStart > 0 ? tail : VlmPrintColumn() + tail;
  if (newline) {
    std::fputc('\n', stdout);
    VlmPrintColumn() = 0;
  }
  if (newline || lineStart > 0) std::fflush(stdout);
}

// The width of PRINT's tab zones.
constexpr int32_t kPrintZoneWidth = 14;

// PRINT's ",": spaces up to the start of the next zone of 14 columns (from
// column 0 or 13 to 14, from 14 to 28).
inline void VlmPrintZone() {
  const int32_t column = VlmPrintColumn();
  const int32_t next = (column / kPrintZoneWidth + 1) * kPrintZoneWidth;
  for (int32_t c = column; c < next; ++c) std::fputc(' ', stdout);
  VlmPrintColumn() = next;
}

// One line of the stream, without its line ending ("\n" or "\r\n"); any
// other bytes, NUL included, are kept. At the end of the stream (nothing left
// to read) it gives empty text and records error 20. A last line without a
// newline is still a line.
inline BasicString ReadConsoleLine(std::FILE* in) {
  BasicString line;
  int c = std::getc(in);
  if (c == EOF) {
    SetLastError(kErrorOutOfData);
    return line;
  }
  for (; c != EOF && c != '\n'; c = std::getc(in)) line += static_cast<char>(c);
  if (line.Length() > 0 && line.c_str()[line.Length() - 1] == '\r') line.SetLength(line.Length() - 1);
  return line;
}

// INPUT: one line of standard input (ReadConsoleLine). What PRINT wrote is
// flushed first, so a prompt shows. At the end of the input: empty text and
// error 20; the program goes on.
inline BasicString InputConsoleText() {
  std::fflush(stdout);
  VlmPrintColumn() = 0;  // the user's Return ended the line on the terminal
  return ReadConsoleLine(stdin);
}

// a$ = a$ + x written as an append: the text grows in place.
inline void VlmAppend(BasicString& target, const BasicString& text) { target += text; }

// A number variable passed where an operation writes a 32-bit integer:
// converted in, written back when the call's expression ends.
class VlmOutInt {
 public:
  explicit VlmOutInt(Number& target) : target_(target), value_(Trunc(target)) {}
  ~VlmOutInt() { target_ = value_; }
  operator int32_t&() { return value_; }

 private:
  Number& target_;
  int32_t value_;
};

// The same where an operation writes a float.
class VlmOutFloat {
 public:
  explicit VlmOutFloat(Number& target) : target_(target), value_(static_cast<float>(target)) {}
  ~VlmOutFloat() { target_ = value_; }
  operator float&() { return value_; }

 private:
  Number& target_;
  float value_;
};
