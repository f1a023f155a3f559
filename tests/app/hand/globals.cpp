// The program's global variables and string constants, and the global
// set-up that registers them with the debugger's variable registry.
#include "polyvane.h"

namespace polyvane {

Number z = 0;
BasicArray<Number> orx, ory, orz, opx, opy, opz, osx, osy, osz, rc, gc, bc, nt, ot;
BasicString test_Str;
Number ktm = 0;
BasicString a_Str;
Number nm = 0, OSG = 0, u = 0, v = 0, mx = 0, my = 0, mb1 = 0, mb2 = 0;
Number g_frame = 0, g_time = 0, g_shwFPS = 0;

const StringLiteral kSceneFileText("test.pvs");
const StringLiteral kMediaText("media/");
const StringLiteral kFpsText("FPS: ");

namespace {

// Registration order; the teardown walks it backwards.
struct GlobalRecord {
  const char* name;
  int32_t type;
  void* address;
};

const GlobalRecord kGlobals[] = {
    {"z", kVariableNumber, &z},
    {"orx", kVariableNumberArray, &orx},
    {"ory", kVariableNumberArray, &ory},
    {"orz", kVariableNumberArray, &orz},
    {"opx", kVariableNumberArray, &opx},
    {"opy", kVariableNumberArray, &opy},
    {"opz", kVariableNumberArray, &opz},
    {"osx", kVariableNumberArray, &osx},
    {"osy", kVariableNumberArray, &osy},
    {"osz", kVariableNumberArray, &osz},
    {"rc", kVariableNumberArray, &rc},
    {"gc", kVariableNumberArray, &gc},
    {"bc", kVariableNumberArray, &bc},
    {"nt", kVariableNumberArray, &nt},
    {"ot", kVariableNumberArray, &ot},
    {"test_Str", kVariableString, &test_Str},
    {"ktm", kVariableNumber, &ktm},
    {"a_Str", kVariableString, &a_Str},
    {"nm", kVariableNumber, &nm},
    {"OSG", kVariableNumber, &OSG},
    {"u", kVariableNumber, &u},
    {"v", kVariableNumber, &v},
    {"mx", kVariableNumber, &mx},
    {"my", kVariableNumber, &my},
    {"mb1", kVariableNumber, &mb1},
    {"mb2", kVariableNumber, &mb2},
    {"g_frame", kVariableNumber, &g_frame},
    {"g_time", kVariableNumber, &g_time},
    {"g_shwFPS", kVariableNumber, &g_shwFPS},
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
  for (BasicArray<Number>* array : {&ot, &nt, &bc, &gc, &rc, &osz, &osy, &osx, &opz, &opy, &opx, &orz, &ory, &orx})
    *array = BasicArray<Number>();
  a_Str = BasicString();
  test_Str = BasicString();
}

const RoutineEntry kCallByName[] = {
    {&showFPS, "showFPS"},
    {nullptr, nullptr},
};

}  // namespace polyvane
