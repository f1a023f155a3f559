// A small translated program for the debugger test: registered globals, a
// routine in module 1 with a parameter and a local, statements with line
// hooks in two modules, and an out-of-bounds access on line 54 that ends it.
#include "core/core.h"
#include "core/debug.h"
#include "core/generated.h"
#include "core/settings.h"

namespace {

Number score = 0;
BasicString title;
BasicArray<Number> table;
VLM_GLOBAL(score);
VLM_GLOBAL(title);
VLM_GLOBAL(table);

// Module 1.
void shape(Number n) {
  VLM_ROUTINE();
  VLM_PARAM(n);
  Number twice;
  VLM_LOCAL(twice);
  VLM_LINE(1, 29);
  twice = n * 2;
  VLM_LINE(1, 30);
  score = score + twice;
  VLM_LINE(1, 31);
  ArrayElement(table, static_cast<int32_t>(n)) = twice;
}

// Module 0.
void MainProgram() {
  VLM_ROUTINE();
  Number i;
  VLM_LOCAL(i);
  VLM_LINE(0, 10);
  DimArray(table, 5);
  for (i = 1; i <= 3; i = i + 1) {
    VLM_LINE(0, 11);
    shape(i);
  }
  VLM_LINE(0, 30);
  score = score + 1;
  VLM_LINE(0, 54);
  ArrayElement(table, 5) = score;
}

}  // namespace

int main() {
  Settings().DebugMode = 1;
  score = 42.5;
  title = "Polyvane";
  MainProgram();
  EndWithCode0();
  return 0;
}
