// The viewer example's global variables and their registration by name.
#include "viewer.h"

namespace viewer {

BasicString args_Str;
Number count = 0, angle = 0, spin = 0, shader = 0, scripted = 0, pickX = 0, pickY = 0;
Number mx = 0, my = 0, mb1 = 0, mb2 = 0, hitObject = 0, hitTriangle = 0;
BasicArray<Number> ox, tri, hx, hy;

namespace {

struct GlobalRecord {
  const char* name;
  int32_t type;
  void* address;
};

const GlobalRecord kGlobals[] = {
    {"args_Str", kVariableString, &args_Str},
    {"count", kVariableNumber, &count},
    {"angle", kVariableNumber, &angle},
    {"spin", kVariableNumber, &spin},
    {"shader", kVariableNumber, &shader},
    {"scripted", kVariableNumber, &scripted},
    {"pickX", kVariableNumber, &pickX},
    {"pickY", kVariableNumber, &pickY},
    {"mx", kVariableNumber, &mx},
    {"my", kVariableNumber, &my},
    {"mb1", kVariableNumber, &mb1},
    {"mb2", kVariableNumber, &mb2},
    {"hitObject", kVariableNumber, &hitObject},
    {"hitTriangle", kVariableNumber, &hitTriangle},
    {"ox", kVariableNumberArray, &ox},
    {"tri", kVariableNumberArray, &tri},
    {"hx", kVariableNumberArray, &hx},
    {"hy", kVariableNumberArray, &hy},
};

}  // namespace

void globalSetup() {
  VLM_ROUTINE();
  for (const GlobalRecord& global : kGlobals) AddVariable(GlobalVariables, global.name, global.type, global.address);
}

void globalTeardown() {
  VLM_ROUTINE();
  const size_t count = sizeof kGlobals / sizeof kGlobals[0];
  for (size_t k = count; k-- > 0;) RemoveVariable(GlobalVariables, kGlobals[k].address);
  for (BasicArray<Number>* array : {&hy, &hx, &tri, &ox}) *array = BasicArray<Number>();
  args_Str = BasicString();
}

const RoutineEntry kCallByName[] = {
    {&pickTriangle, "pickTriangle"},
    {&drawHighlight, "drawHighlight"},
    {nullptr, nullptr},
};

}  // namespace viewer
