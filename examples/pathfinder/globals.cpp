// Pathfinder's global variables and string constants, and the global set-up
// that registers them with the debugger's variable registry.
#include "pathfinder.h"

namespace pathfinder {

BasicArray<int32_t> pixels;
BasicArray<Number> costs, route;
Number mapW = 0, mapH = 0, cellSize = 0, originX = 0, originY = 0;
Number startX = 0, startY = 0, goalX = 0, goalY = 0, cells = 0, total = 0;
Number mx = 0, my = 0, mb1 = 0, mb2 = 0, wasDown = 0;
BasicString command_Str, text_Str;

const StringLiteral kMapFileText("map.png");
const StringLiteral kClickText(" click ");
const StringLiteral kBlankText(" ");
const StringLiteral kNoMapText("NO MAP: map.png could not be read");
const StringLiteral kStartText("CLICK A START CELL");
const StringLiteral kGoalText("CLICK A GOAL CELL");
const StringLiteral kNoPathText("NO PATH");
const StringLiteral kPathText("PATH: ");
const StringLiteral kCellsText(" CELLS, ");
const StringLiteral kStepsText(" STEPS, COST ");

namespace {

// Registration order; the teardown walks it backwards.
struct GlobalRecord {
  const char* name;
  int32_t type;
  void* address;
};

const GlobalRecord kGlobals[] = {
    {"pixels", kVariableIntArray, &pixels},
    {"costs", kVariableNumberArray, &costs},
    {"route", kVariableNumberArray, &route},
    {"mapW", kVariableNumber, &mapW},
    {"mapH", kVariableNumber, &mapH},
    {"cellSize", kVariableNumber, &cellSize},
    {"originX", kVariableNumber, &originX},
    {"originY", kVariableNumber, &originY},
    {"startX", kVariableNumber, &startX},
    {"startY", kVariableNumber, &startY},
    {"goalX", kVariableNumber, &goalX},
    {"goalY", kVariableNumber, &goalY},
    {"cells", kVariableNumber, &cells},
    {"total", kVariableNumber, &total},
    {"mx", kVariableNumber, &mx},
    {"my", kVariableNumber, &my},
    {"mb1", kVariableNumber, &mb1},
    {"mb2", kVariableNumber, &mb2},
    {"wasDown", kVariableNumber, &wasDown},
    {"command_Str", kVariableString, &command_Str},
    {"text_Str", kVariableString, &text_Str},
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
  pixels = BasicArray<int32_t>();
  route = BasicArray<Number>();
  costs = BasicArray<Number>();
  text_Str = BasicString();
  command_Str = BasicString();
}

const RoutineEntry kCallByName[] = {
    {&drawLegend, "drawLegend"},
    {&drawMap, "drawMap"},
    {&drawRoute, "drawRoute"},
    {&showStatus, "showStatus"},
    {nullptr, nullptr},
};

}  // namespace pathfinder
