// Polyvane as vlmc translated it, compiled into the test program with the line hook below, which
// lets a test run the main program and end it at a statement of its choice.
#include "app_test_util.h"

namespace app_test {
namespace {
// Ends a run; the routine frames of the translated code unwind as for any exception.
struct MainProgramStopped {};
const std::function<bool()>* g_atStop = nullptr;
}  // namespace

// The runtime's line hook, then what a debugger does at a stop on one of its breakpoints: reads
// TheDebugState (atStop), then lets the program run on or ends the run.
void TestLineHook(int32_t module, int32_t line, VariableTable* locals) {
  LineHook(module, line, locals);
  if (g_atStop == nullptr || !IsBreakpoint(module, line)) return;
  TheDebugState.stepCommand = kStepRun;
  if ((*g_atStop)()) throw MainProgramStopped();
}

void RunMainProgram(const std::function<bool()>& atStop) {
  TheDebugState.breakRequest = 0;
  TheDebugState.stepCommand = kStepRun;
  g_atStop = &atStop;
  try {
    polyvane::mainProgram();
  } catch (const MainProgramStopped&) {
  }
  g_atStop = nullptr;
}

}  // namespace app_test

#undef VLM_LINE
#define VLM_LINE(module, line) app_test::TestLineHook((module), (line), vlm_frame_.Locals())
#include "polyvane_module0_polyvane.cpp"
#include "polyvane_module1_shapes.cpp"
#include "polyvane_program.cpp"
