// The chat example's global variables and their registration by name.
#include "chat.h"

namespace chat {

BasicString args_Str, host_Str, myName_Str;
Number port = 0, me = 0, myColour = 0, myX = 0, myY = 0, frame = 0, demo = 0, expect = 0, hello = 0, online = 0;
BasicArray<Number> px, py, seen, colours;
BasicArray<BasicString> names_Str, lines_Str;
BasicString typed_Str;
BasicString url_Str, server_Str, path_Str;
Number httpPort = 0, sock = 0, httpState = 0;
BasicString head_Str;
Number total = 0, got = 0;
BasicString fileName_Str;
Number picture = 0;

namespace {

struct GlobalRecord {
  const char* name;
  int32_t type;
  void* address;
};

const GlobalRecord kGlobals[] = {
    {"args_Str", kVariableString, &args_Str},
    {"host_Str", kVariableString, &host_Str},
    {"myName_Str", kVariableString, &myName_Str},
    {"port", kVariableNumber, &port},
    {"me", kVariableNumber, &me},
    {"myColour", kVariableNumber, &myColour},
    {"myX", kVariableNumber, &myX},
    {"myY", kVariableNumber, &myY},
    {"frame", kVariableNumber, &frame},
    {"demo", kVariableNumber, &demo},
    {"expect", kVariableNumber, &expect},
    {"hello", kVariableNumber, &hello},
    {"online", kVariableNumber, &online},
    {"px", kVariableNumberArray, &px},
    {"py", kVariableNumberArray, &py},
    {"seen", kVariableNumberArray, &seen},
    {"colours", kVariableNumberArray, &colours},
    {"names_Str", kVariableStringArray, &names_Str},
    {"lines_Str", kVariableStringArray, &lines_Str},
    {"typed_Str", kVariableString, &typed_Str},
    {"url_Str", kVariableString, &url_Str},
    {"server_Str", kVariableString, &server_Str},
    {"path_Str", kVariableString, &path_Str},
    {"httpPort", kVariableNumber, &httpPort},
    {"sock", kVariableNumber, &sock},
    {"httpState", kVariableNumber, &httpState},
    {"head_Str", kVariableString, &head_Str},
    {"total", kVariableNumber, &total},
    {"got", kVariableNumber, &got},
    {"fileName_Str", kVariableString, &fileName_Str},
    {"picture", kVariableNumber, &picture},
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
  for (BasicArray<Number>* array : {&colours, &seen, &py, &px}) *array = BasicArray<Number>();
  for (BasicArray<BasicString>* array : {&lines_Str, &names_Str}) *array = BasicArray<BasicString>();
  for (BasicString* text : {&fileName_Str, &head_Str, &path_Str, &server_Str, &url_Str, &typed_Str, &myName_Str,
                            &host_Str, &args_Str})
    *text = BasicString();
}

const RoutineEntry kCallByName[] = {
    {&movePlayer, "movePlayer"},   {&readTyping, "readTyping"},     {&readMessages, "readMessages"},
    {&drawPlayers, "drawPlayers"}, {&drawChat, "drawChat"},         {&startDownload, "startDownload"},
    {&stepDownload, "stepDownload"}, {&drawDownload, "drawDownload"}, {nullptr, nullptr},
};

}  // namespace chat
