// Text over raw bytes and wide characters, shared by the core's text files
// and their tests: number text into a buffer, hexadecimal digits, and the
// platform's wide characters. Programs use the string forms of core/text.h.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// The most bytes FormatNumberText writes before its NUL.
constexpr int kNumberTextMax = 31;
// Number to text as the Windows C runtime's _gcvt writes it with 10
// significant digits, with the final '.' dropped: 5.0 -> "5", 0.25 -> "0.25",
// 0.01 -> "1.e-002", 123456789012 -> "1.23456789e+011". Fixed notation is
// used while the decimal exponent of the rounded value is between -1 and 9.
// Zero (either sign) gives "0"; infinities "inf"/"-inf"; NaN "nan".
// Writes at most kNumberTextMax bytes plus a NUL into out; returns the length.
int FormatNumberText(double value, char* out);

// Two hex digits per byte, high nibble first.
BasicString HexEncode(const void* bytes, uint32_t count, bool upper);
// The byte of two hex digits (either case); a character that is not a hex
// digit counts as 0.
int32_t HexPairValue(char high, char low);

// Conversion to and from the platform's wide characters (mbstowcs /
// wcstombs). ToWide's result lives in one shared buffer, valid until the
// next call. Bytes the locale cannot convert pass through as Latin-1;
// characters that do not fit a byte become '?'.
const wchar_t* ToWide(const BasicString& s);
// Wide text back to bytes (see above).
BasicString FromWide(const wchar_t* text);
