// The language's numbers and their built-ins: degree trigonometry, remainders, the
// random generator, and the program's embedded DATA table.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// The language's numeric value: a 64-bit float.
using Number = double;

// Sine of an angle in degrees.
double SinDeg(double x);
// Cosine of an angle in degrees.
double CosDeg(double x);
// Tangent of an angle in degrees.
double TanDeg(double x);
// The angle of the point (x, y) from the x axis, in degrees (-180..180).
double Atan2Deg(double y, double x);
// 0 for x >= 1 and 180 for x <= -1, so values a little outside [-1, 1]
// (rounding) still give an angle.
double AcosDeg(double x);

// Square root (NaN for x < 0).
double Sqrt(double x);
double Log(double x);  // natural logarithm
// x to the power y.
double Pow(double x, double y);
// fmod, but 0 when y is 0.
double FMod(double x, double y);
// Remainder with the sign of a; 0 when b is 0 (or -1, whose remainder is
// always 0 and whose division can trap).
int32_t IntMod(int32_t a, int32_t b);

// A random whole number 0..n (0 when n < 1), from the ISAAC generator: every
// draw runs one generation pass and takes its first word, modulo n + 1.
double Rnd(double n);
// Re-initialises the generator from the seed. Start-up seeds it once with
// the milliseconds since the clock's first reading.
void SeedRnd(uint32_t seed);

// ---------------------------------------------------------------- DATA

// One DATA value: a number, or (text not null) a text. 16 bytes.
struct DataEntry {
  double value;
  const char* text;
};

// A DATA table of the program and its read cursor.
struct DataTable {
  const DataEntry* entries;
  int32_t count;
  int32_t cursor;
};

// Makes the table current and rewinds it (RESTORE).
void RestoreData(DataTable* table);
// READ into a variable: a text entry is read as atof / atoi for numbers, a
// number entry becomes text for strings. Past the end (or with no table):
// error 20 and END; the variable is left as it was.
void ReadData(double& variable);
void ReadData(int32_t& variable);
void ReadData(BasicString& variable);
