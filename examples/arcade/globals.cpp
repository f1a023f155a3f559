// Arcade's global variables and string constants, and the global set-up that
// registers them with the debugger's variable registry.
#include "arcade.h"

namespace arcade {

BasicArray<int32_t> pixels, glyphs;
Number px = 0, py = 0, frame = 0, anim = 0, score = 0, demo = 0;
BasicString folder_Str, command_Str, key_Str;

const StringLiteral kTempText("TEMP");
const StringLiteral kFontFileText("arcade_font.png");
const StringLiteral kBlipFileText("arcade_blip.wav");
const StringLiteral kMusicFileText("arcade_music.wav");
const StringLiteral kBlankText(" ");
const StringLiteral kDemoText(" demo ");
const StringLiteral kAtText(" at ");
const StringLiteral kScoreText("SCORE ");
const StringLiteral kRiffText("RIFF");
const StringLiteral kWaveFormatText("WAVEfmt ");
const StringLiteral kDataText("data");

namespace {

// Registration order; the teardown walks it backwards.
struct GlobalRecord {
  const char* name;
  int32_t type;
  void* address;
};

const GlobalRecord kGlobals[] = {
    {"pixels", kVariableIntArray, &pixels},
    {"glyphs", kVariableIntArray, &glyphs},
    {"px", kVariableNumber, &px},
    {"py", kVariableNumber, &py},
    {"frame", kVariableNumber, &frame},
    {"anim", kVariableNumber, &anim},
    {"score", kVariableNumber, &score},
    {"demo", kVariableNumber, &demo},
    {"folder_Str", kVariableString, &folder_Str},
    {"command_Str", kVariableString, &command_Str},
    {"key_Str", kVariableString, &key_Str},
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
  glyphs = BasicArray<int32_t>();
  pixels = BasicArray<int32_t>();
  key_Str = BasicString();
  command_Str = BasicString();
  folder_Str = BasicString();
}

const RoutineEntry kCallByName[] = {
    {&movePlayer, "movePlayer"},
    {&drawScene, "drawScene"},
    {&makeShip, "makeShip"},
    {&makeGlow, "makeGlow"},
    {&makeBubble, "makeBubble"},
    {nullptr, nullptr},
};

}  // namespace arcade
