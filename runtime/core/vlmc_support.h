// The helpers that code translated by vlmc calls: the conversion of a number
// to a 32-bit integer, ABS, LEFT$, RIGHT$, MID$, INSTR and PRINT, and the
// stand-ins for a number variable passed where an operation writes a 32-bit
// integer or a float. Translated programs include it; they are not runtime
// operations a BASIC program calls by name (its built-ins become these).
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/core.h"

// A number as a whole 32-bit number: truncation toward zero; NaN and values
// outside the range give INT32_MIN, as the processor's conversion does.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// ABS.
inline Number VlmAbs(Number x) { return x < 0 ? -x : x; }

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

// PRINT: the text on standard output.
inline void VlmPrint(const BasicString& text, bool newline) {
  std::fwrite(text.c_str(), 1, text.Length(), stdout);
  if (newline) std::fputc('\n', stdout);
}

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
