// Pathfinder, the grid-route demo, as translated from its BASIC source
// pathfinder.bas (module 0). Every statement is preceded by the line hook
// with its statement number, every routine registers its parameters and
// locals by name, and array accesses are bounds-checked.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "input/input.h"
#include "path/path.h"

namespace pathfinder {

// ---------------------------------------------------------------- translation helpers

// INT(x) and every place where a Number becomes an integer: truncation
// toward zero to 32 bits; NaN and values outside the range give INT32_MIN.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// a[i] and a[i, j]: elements of number arrays, indexes truncated.
inline Number& At(BasicArray<Number>& a, Number i) { return ArrayElement(a, Trunc(i)); }
inline Number& At(BasicArray<Number>& a, Number i, Number j) { return ArrayElement(a, Trunc(i), Trunc(j)); }
// a[i] of an integer array (pictures' pixels), read as a Number.
inline Number At(BasicArray<int32_t>& a, Number i) { return ArrayElement(a, Trunc(i)); }

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

extern BasicArray<int32_t> pixels;
extern BasicArray<Number> costs, route;
extern Number mapW, mapH, cellSize, originX, originY;
extern Number startX, startY, goalX, goalY, cells, total;
extern Number mx, my, mb1, mb2, wasDown;
extern BasicString command_Str, text_Str;

// The program's string constants.
extern const StringLiteral kMapFileText;    // "map.png"
extern const StringLiteral kClickText;      // " click "
extern const StringLiteral kBlankText;      // " "
extern const StringLiteral kNoMapText;      // "NO MAP: map.png could not be read"
extern const StringLiteral kStartText;      // "CLICK A START CELL"
extern const StringLiteral kGoalText;       // "CLICK A GOAL CELL"
extern const StringLiteral kNoPathText;     // "NO PATH"
extern const StringLiteral kPathText;       // "PATH: "
extern const StringLiteral kCellsText;      // " CELLS, "
extern const StringLiteral kStepsText;      // " STEPS, COST "

// ---------------------------------------------------------------- routines

void settings();
void globalSetup();
void globalTeardown();
// The main program: the map, the scripted clicks, then the frame loop,
// which never returns.
void mainProgram();

Number terrainCost(Number rgb);
Number terrainColour(Number cost);
BasicString wordOf_Str(BasicString words_Str, Number n);
void clickCell(Number px, Number py);
void drawLegend();
void drawMap();
void markCell(Number x, Number y, Number colour);
void drawRoute();
void showStatus();

// The call-by-name table: the program's parameterless routines.
extern const RoutineEntry kCallByName[];

}  // namespace pathfinder
