// Text operations of the language: slicing, case, trimming, searching,
// replacing, URL encodings, encryption, error texts and formatted numbers.
//
// Strings hold bytes (an 8-bit code page); positions are 0-based and -1
// means "not found". Operations return new strings unless they say "in place".
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// count bytes from start; a negative count means "to the end". Empty when
// start is outside the text or nothing remains.
BasicString Mid(const BasicString& s, int32_t start, int32_t count = -1);

// Upper case copy; only a-z change (the C locale's toupper / tolower).
BasicString Upper(const BasicString& s);
// Lower case copy; only A-Z change.
BasicString Lower(const BasicString& s);
// Upper case in place.
void UpperInPlace(BasicString& s);
// Lower case in place.
void LowerInPlace(BasicString& s);

// Removes bytes of the set from the end.
BasicString TrimRight(const BasicString& s, const BasicString& set);
// Removes bytes of the set from the start.
BasicString TrimLeft(const BasicString& s, const BasicString& set);
// In place: removes trailing bytes 0..31 (CR, LF, ...).
void StripControlTail(BasicString& s);

// First occurrence of needle at or after from (a negative from counts as 0),
// by Boyer-Moore-Horspool; -1 when none or when needle is empty.
int32_t Find(const BasicString& s, const BasicString& needle, int32_t from = 0);
// Last occurrence that starts at or before from; a negative from means
// Length(s) - Length(needle). -1 when none.
int32_t FindLast(const BasicString& s, const BasicString& needle, int32_t from = -1);
// First byte of s that is in the set; -1 when none.
int32_t FindAny(const BasicString& s, const BasicString& set);
// First byte of s that is not in the set; -1 when none.
int32_t FindNotAny(const BasicString& s, const BasicString& set);
// Every occurrence of find, left to right, replaced by with; inserted text is
// never searched again. An empty find changes nothing.
BasicString Replace(const BasicString& s, const BasicString& find, const BasicString& with);

// Letters and digits stay; other bytes below 0x80 become "%xx"; a byte of
// 0x80 or more becomes its two-byte UTF-8 form (as Latin-1), percent-encoded.
BasicString UrlEncode(const BasicString& s);
// '+' -> space, "%xx" -> byte, malformed escapes dropped, then Utf8ToBytes.
BasicString UrlDecode(const BasicString& s);
// In place: two- and three-byte UTF-8 sequences become one byte when their
// value is below 0x100, else a space; other bytes of 0x80 or more are dropped.
void Utf8ToBytes(BasicString& s);

// Blowfish in ECB mode keyed with the key's bytes. Encrypt enciphers the text
// with its terminating NUL, zero-padded to whole 8-byte blocks, and returns
// lower-case hex. Decrypt reverses it up to the first NUL. An empty key, or
// for Decrypt text that is not hex digits, gives an empty result.
BasicString Encrypt(const BasicString& key, const BasicString& text);
// Decrypts the hex text Encrypt made with the same key (see above).
BasicString Decrypt(const BasicString& key, const BasicString& hex);

// The text of LastErrorCode: "0009 out of bounds" and the like.
BasicString ErrorText();
// x printed as by printf "%<width>.<decimals>f" (both truncated toward zero;
// width limited to +-4096, decimals to 0..340).
BasicString Format(double width, double decimals, double x);
// A one-byte string (c AND 255).
BasicString Chr(int32_t c);
// The byte (0..255) at index i; 0 for an index outside the text.
int32_t Asc(const BasicString& s, int32_t i = 0);
// Length of the text of a number.
int32_t TextLength(double value);
int32_t TextLength(int32_t value);
