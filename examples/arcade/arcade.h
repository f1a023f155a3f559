// Arcade, the 2D game screen, as translated from its BASIC source arcade.bas
// (module 0). Every statement is preceded by the line hook with its
// statement number, every routine registers its parameters and locals by
// name, and array accesses are bounds-checked.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "files/files.h"
#include "files/system.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "input/input.h"
#include "sound/sound.h"

namespace arcade {

// ---------------------------------------------------------------- translation helpers

// INT(x) and every place where a Number becomes an integer: truncation
// toward zero to 32 bits; NaN and values outside the range give INT32_MIN.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// a MOD b on the integer parts; 0 for a divisor of 0 instead of a fault.
inline Number Mod(Number a, Number b) { return IntMod(Trunc(a), Trunc(b)); }

// a[i] of an integer array (pictures' pixels).
inline int32_t& At(BasicArray<int32_t>& a, Number i) { return ArrayElement(a, Trunc(i)); }

// INSTR(s, t): the 1-based position of t in s, 0 when absent.
inline Number Instr(const BasicString& s, const BasicString& t) { return Find(s, t) + 1; }
// MID$(s, start, count) with a 1-based start.
inline BasicString MidText(const BasicString& s, Number start, Number count) {
  return Mid(s, Trunc(start) - 1, Trunc(count));
}

// The line hook before a statement of module 0.
#define LINE0(n) VLM_LINE(0, n)

// FOR var = first TO limit: the counter is assigned first, the limit is
// evaluated once, and the test comes before every pass.
#define FOR_TO(var, first, limit)                                             \
  for (Number VLM_CONCAT(vlm_limit_, __LINE__) = ((var) = (first), (limit)); \
       (var) <= VLM_CONCAT(vlm_limit_, __LINE__); (var) += 1)

// ---------------------------------------------------------------- globals

extern BasicArray<int32_t> pixels, glyphs;
extern Number px, py, frame, anim, score, demo;
extern BasicString folder_Str, command_Str, key_Str;

// The program's string constants.
extern const StringLiteral kTempText;        // "TEMP"
extern const StringLiteral kFontFileText;    // "arcade_font.png"
extern const StringLiteral kBlipFileText;    // "arcade_blip.wav"
extern const StringLiteral kMusicFileText;   // "arcade_music.wav"
extern const StringLiteral kBlankText;       // " "
extern const StringLiteral kDemoText;        // " demo "
extern const StringLiteral kAtText;          // " at "
extern const StringLiteral kScoreText;       // "SCORE "
extern const StringLiteral kRiffText;        // "RIFF"
extern const StringLiteral kWaveFormatText;  // "WAVEfmt "
extern const StringLiteral kDataText;        // "data"

// ---------------------------------------------------------------- routines

void settings();
void globalSetup();
void globalTeardown();
// The main program: the media, then the frame loop, which never returns.
void mainProgram();

void movePlayer();
void drawScene();
void makeShip();
Number flameColour(Number f);
void makeGlow();
void makeBubble();
void makeFont(BasicString file_Str);
void writeWave(BasicString file_Str, Number count, Number kind);
Number noteFrequency(Number n);
Number argb(Number rgb, Number a);
BasicString wordOf_Str(BasicString words_Str, Number n);

// The call-by-name table: the program's parameterless routines.
extern const RoutineEntry kCallByName[];

}  // namespace arcade
