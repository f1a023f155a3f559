// Polyvane, the scene viewer, as translated from its BASIC source:
// polyvane.bas (module 0: main program, showFPS, createFloor) and shapes.bas
// (module 1: the other shape generators). Every statement is preceded by the
// line hook with its module and statement number, every routine registers
// its parameters and locals by name, and array accesses are bounds-checked.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "host/host.h"
#include "input/input.h"

namespace polyvane {

// ---------------------------------------------------------------- translation helpers

// INT(x) and every place where a Number becomes an integer: truncation
// toward zero to 32 bits. NaN and values outside the 32-bit range give
// INT32_MIN, as the processor's own conversion does, instead of undefined
// behaviour. Sums with the result are done in Number, so that such a value
// cannot overflow either.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// a[i]: the element of a global or local array, index truncated.
inline Number& At(BasicArray<Number>& a, Number i) { return ArrayElement(a, Trunc(i)); }

// The line hook before a statement of module 0 or module 1.
#define LINE0(n) VLM_LINE(0, n)
#define LINE1(n) VLM_LINE(1, n)

// FOR var = first TO limit [STEP -1]: the counter is assigned first, the
// limit is evaluated once, and the test comes before every pass (so a limit
// below the start runs no pass).
#define FOR_TO(var, first, limit)                                                  \
  for (Number VLM_CONCAT(vlm_limit_, __LINE__) = ((var) = (first), (limit));      \
       (var) <= VLM_CONCAT(vlm_limit_, __LINE__); (var) += 1)
#define FOR_DOWN_TO(var, first, limit)                                             \
  for (Number VLM_CONCAT(vlm_limit_, __LINE__) = ((var) = (first), (limit));      \
       (var) >= VLM_CONCAT(vlm_limit_, __LINE__); (var) -= 1)

// ---------------------------------------------------------------- globals

extern Number z;
extern BasicArray<Number> orx, ory, orz, opx, opy, opz, osx, osy, osz, rc, gc, bc, nt, ot;
extern BasicString test_Str;
extern Number ktm;
extern BasicString a_Str;
extern Number nm, OSG, u, v, mx, my, mb1, mb2, g_frame, g_time, g_shwFPS;

// The program's string constants.
extern const StringLiteral kSceneFileText;  // "test.pvs"
extern const StringLiteral kMediaText;      // "media/"
extern const StringLiteral kFpsText;        // "FPS: "

// ---------------------------------------------------------------- routines

// Fills the project settings before the runtime starts.
void settings();
// Registers the globals (in declaration order) and dimensions nothing; the
// teardown unregisters them in reverse order and frees arrays and strings.
void globalSetup();
void globalTeardown();
// The main program: start-up, then the frame loop, which never returns.
void mainProgram();
void showFPS();

// The call-by-name table: the program's parameterless routines.
extern const RoutineEntry kCallByName[];

// Module 0.
void createFloor(Number num, Number col, Number u, Number v);
// Module 1.
void createSphere(Number num, Number r, Number n, Number col, Number u, Number v);
void createBox(Number num, Number sz, Number col, Number u, Number v);
void createCylinder(Number num, Number baseRadius, Number topRadius, Number height, Number slices,
                    Number stacks, Number col, Number u, Number v);
void createWrappedTorus(Number num, Number MinorRadius, Number MajorRadius, Number NumWraps,
                        Number NumPerWrap, Number TextureWrapVert, Number TextureWrapHoriz, Number col);
void createCoilSpring(Number num, Number R1, Number R2, Number Nu, Number Nv, Number cycles,
                      Number height, Number col);
void createSpiralRibbon(Number num, Number R1, Number Nu, Number Nv, Number cycles, Number height,
                        Number col);
void createStripCube(Number num, Number sz);

// ---------------------------------------------------------------- main program, in parts

// The main program is one routine; its statements are split over these
// functions so that start-up and a frame can also be run on their own. They
// take the main program's frame (for the line hook's locals) and its loop
// counters, each of which the debugger sees as i.
struct MainCounters {
  Number textures = 0;  // statement 22
  Number objects = 0;   // statement 27
  Number pass1 = 0;     // statement 61
  Number pass2 = 0;     // statement 72
};
// Statements 1-53: screen, arrays, the scene file, textures and objects.
void startUp(RoutineFrame& vlm_frame_, MainCounters& counters);
// Statements 18-52: the scene file, its textures and objects (part of
// startUp).
void readScene(RoutineFrame& vlm_frame_, MainCounters& counters);
// Statements 54-84: one pass of the frame loop.
void drawFrame(RoutineFrame& vlm_frame_, MainCounters& counters);
// One drawing pass over the objects: statements 61-70 (firstLine 61) or
// 72-81 (firstLine 72).
void drawObjects(RoutineFrame& vlm_frame_, Number& i, int32_t firstLine);

}  // namespace polyvane
