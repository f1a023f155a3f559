// Debug-mode support without a debugger: registry, line hook, END, calls by
// name, frames and build texts. (debugger_test.cpp drives a real debugger.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "core/generated.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "support/child_process.h"

namespace {

using testing_support::RunInChild;

// The state a program starts with, for tests that stop statements.
void ResetDebugState() {
  TheDebugState.breakpointCount = 0;
  TheDebugState.breakRequest = 0;
  TheDebugState.endRequest = 0;
  TheDebugState.stepCommand = 0;
  TheDebugState.line = -1;
  TheDebugState.module = -1;
  StepDepth = 0;
}

TEST(VariableRegistry, RemovalMovesTheLastEntryIn) {
  VariableTable table{};
  double a = 0, b = 0, c = 0;
  EXPECT_TRUE(AddVariable(table, "a", kVariableNumber, &a));
  EXPECT_TRUE(AddVariable(table, "b", kVariableNumber, &b));
  EXPECT_TRUE(AddVariable(table, "c", kVariableNumber, &c));
  EXPECT_TRUE(RemoveVariable(table, &a));
  ASSERT_EQ(table.count, 2);
  EXPECT_STREQ(table.entries[0].name, "c");
  EXPECT_EQ(table.entries[0].address, &c);
  EXPECT_STREQ(table.entries[1].name, "b");
  EXPECT_FALSE(RemoveVariable(table, &a));
  EXPECT_TRUE(RemoveVariable(table, &b));
  EXPECT_TRUE(RemoveVariable(table, &c));
  EXPECT_EQ(table.count, 0);
}

TEST(VariableRegistry, AFullTableRefusesMore) {
  static VariableTable table{};
  static double values[kVariableTableSize + 1];
  for (int i = 0; i < kVariableTableSize; ++i)
    ASSERT_TRUE(AddVariable(table, "v", kVariableNumber, &values[i]));
  EXPECT_FALSE(AddVariable(table, "extra", kVariableNumber, &values[kVariableTableSize]));
  EXPECT_EQ(table.count, kVariableTableSize);
}

TEST(VariableRegistry, GlobalGuardsAndTypeCodes) {
  const int32_t before = GlobalVariables.count;
  {
    Number n = 0;
    BasicString s;
    BasicArray<Number> an;
    BasicArray<int32_t> ai;
    BasicArray<BasicString> as;
    int32_t i = 0;
    const GlobalVariable gn("n", n), gs("s", s), gan("an", an), gai("ai", ai), gas("as", as), gi("i", i);
    ASSERT_EQ(GlobalVariables.count, before + 6);
    const VariableEntry* e = GlobalVariables.entries + before;
    EXPECT_EQ(e[0].type, kVariableNumber);
    EXPECT_EQ(e[1].type, kVariableString);
    EXPECT_EQ(e[2].type, kVariableNumberArray);
    EXPECT_EQ(e[3].type, kVariableIntArray);
    EXPECT_EQ(e[4].type, kVariableStringArray);
    EXPECT_EQ(e[5].type, kVariableInt);
    EXPECT_EQ(e[1].address, &s);
    UnregisterGlobal(s);
    EXPECT_EQ(GlobalVariables.count, before + 5);
    RegisterGlobal("s", s);
    EXPECT_EQ(GlobalVariables.count, before + 6);
  }
  EXPECT_EQ(GlobalVariables.count, before);
}

void Inner(double* innerDepth, VariableTable** innerTable) {
  VLM_ROUTINE();
  Number x = 5;
  VLM_PARAM(x);
  BasicString text("keep");
  VLM_LOCAL(text);
  *innerDepth = CallDepth;
  *innerTable = vlm_frame_.Locals();
  EXPECT_EQ(text.Length(), 0u);  // locals start empty
  EXPECT_EQ(vlm_frame_.Locals()->count, 2);
  throw std::runtime_error("leave by exception");
}

TEST(RoutineFrames, DepthAndLocalsUnwindOnExceptions) {
  const int32_t depth = CallDepth;
  double innerDepth = 0;
  VariableTable* innerTable = nullptr;
  VariableTable* outerTable = nullptr;
  try {
    VLM_ROUTINE();
    Number i = 3;
    VLM_LOCAL(i);
    EXPECT_EQ(i, 0);
    outerTable = vlm_frame_.Locals();
    EXPECT_EQ(CallDepth, depth + 1);
    Inner(&innerDepth, &innerTable);
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(innerDepth, depth + 2);
  EXPECT_EQ(CallDepth, depth);
  ASSERT_NE(innerTable, nullptr);
  EXPECT_NE(innerTable, outerTable);
  EXPECT_EQ(innerTable->count, 0);
  EXPECT_EQ(outerTable->count, 0);
}

int Recurse(int n) {
  VLM_ROUTINE();
  Number local;
  VLM_LOCAL(local);
  if (n == 0) return CallDepth;
  return Recurse(n - 1);
}

TEST(RoutineFrames, DeepRecursionUsesPooledTables) {
  const int32_t depth = CallDepth;
  EXPECT_EQ(Recurse(2000), depth + 2001);  // 2001 tables of 24 KB: not on the stack
  EXPECT_EQ(CallDepth, depth);
}

TEST(LineHook, FirstStatementStopsWithoutADebugger) {
  ResetDebugState();
  TheDebugState.breakRequest = 1000;
  VLM_ROUTINE();
  Number v;
  VLM_LOCAL(v);
  VLM_LINE(0, 5);
  EXPECT_EQ(TheDebugState.line, 5);
  EXPECT_EQ(TheDebugState.breakRequest, 0);
  EXPECT_EQ(TheDebugState.stepCommand, 1);  // step over from here on
  EXPECT_EQ(StepDepth, CallDepth);
  EXPECT_EQ(TheDebugState.localCount, 1);
  EXPECT_EQ(TheDebugState.localEntries, vlm_frame_.Locals()->entries);
  EXPECT_EQ(TheDebugState.globalEntries, GlobalVariables.entries);
  EXPECT_EQ(TheDebugState.breakpointModules, BreakpointModules);
  EXPECT_EQ(TheDebugState.breakpointLines, BreakpointLines);
  EXPECT_EQ(CurrentLine, 5);
  VLM_LINE(0, 6);  // same depth: stops again
  EXPECT_EQ(TheDebugState.line, 6);
  ResetDebugState();
}

void StepOutHelper() {
  VLM_ROUTINE();
  TheDebugState.breakRequest = 1;
  TheDebugState.stepCommand = kStepOut;
  VLM_LINE(1, 20);  // stops at depth 2; step out: next stop at depth <= 1
  EXPECT_EQ(TheDebugState.line, 20);
  EXPECT_EQ(StepDepth, CallDepth - 1);
  VLM_LINE(1, 21);
  EXPECT_EQ(TheDebugState.line, 20);
}

TEST(LineHook, StepOutStopsAfterTheRoutineReturns) {
  ResetDebugState();
  VLM_ROUTINE();
  StepOutHelper();
  VLM_LINE(0, 11);
  EXPECT_EQ(TheDebugState.line, 11);
  EXPECT_EQ(TheDebugState.module, 0);
  ResetDebugState();
}

void StepIntoHelper() {
  VLM_ROUTINE();
  VLM_LINE(1, 31);
}

TEST(LineHook, StepCommands) {
  ResetDebugState();
  VLM_ROUTINE();
  // Step into: statements one level deeper stop too.
  TheDebugState.breakRequest = 1;
  TheDebugState.stepCommand = kStepInto;
  VLM_LINE(0, 30);
  EXPECT_EQ(StepDepth, CallDepth + 1);
  StepIntoHelper();
  EXPECT_EQ(TheDebugState.line, 31);
  EXPECT_EQ(TheDebugState.module, 1);
  // Run: nothing stops until a break request or a breakpoint.
  TheDebugState.breakRequest = 1;
  TheDebugState.stepCommand = kStepRun;
  VLM_LINE(0, 40);
  EXPECT_EQ(TheDebugState.stepCommand, 0);
  EXPECT_EQ(StepDepth, 0);
  VLM_LINE(0, 41);
  EXPECT_EQ(TheDebugState.line, 40);
  // Any other command is kept as it is.
  TheDebugState.breakRequest = 1;
  TheDebugState.stepCommand = 7;
  VLM_LINE(0, 42);
  EXPECT_EQ(TheDebugState.stepCommand, 7);
  EXPECT_EQ(TheDebugState.breakRequest, 0);
  ResetDebugState();
}

TEST(LineHook, BreakpointsMatchModuleAndLine) {
  ResetDebugState();
  BreakpointModules[0] = 1;
  BreakpointLines[0] = 30;
  BreakpointModules[1] = 0;
  BreakpointLines[1] = 12;
  TheDebugState.breakpointCount = 2;
  LineHook(0, 30, nullptr);
  EXPECT_EQ(TheDebugState.line, -1);  // line 30 of module 0 is not a breakpoint
  LineHook(1, 30, nullptr);
  EXPECT_EQ(TheDebugState.line, 30);
  EXPECT_EQ(TheDebugState.module, 1);
  TheDebugState.stepCommand = kStepRun;  // as a debugger would continue
  LineHook(1, 30, nullptr);
  LineHook(0, 12, nullptr);
  EXPECT_EQ(TheDebugState.line, 12);
  EXPECT_EQ(TheDebugState.module, 0);
  // A count beyond the tables is not followed past their end.
  TheDebugState.stepCommand = kStepRun;
  TheDebugState.breakpointCount = 1 << 30;
  EXPECT_FALSE(IsBreakpoint(5, 5));
  ResetDebugState();
}

TEST(CallByName, RunsKnownRoutinesOnly) {
  static int ran = 0;
  static const RoutineEntry table[] = {{[] { ++ran; }, "showFPS"}, {nullptr, nullptr}};
  SetCallByNameTable(table);
  EXPECT_EQ(CallByName("showFPS"), 1.0);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(CallByName("VLM_ON_PAUSE"), 0.0);
  EXPECT_EQ(CallByName("VLM_ON_QUIT"), 0.0);
  EXPECT_EQ(CallByName("showfps"), 0.0);  // names are case-sensitive
  EXPECT_EQ(CallByName(nullptr), 0.0);
  EXPECT_EQ(ran, 1);
  EXPECT_NE(FindRoutineByName("showFPS"), nullptr);
  EXPECT_EQ(FindRoutineByName("VLM_WIN32_MSG"), nullptr);
  SetCallByNameTable(nullptr);
  EXPECT_EQ(CallByName("showFPS"), 0.0);
}

TEST(EndProgram, EndStatementWritesTheReport) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    LineHook(1, 77, nullptr);
    SetLastError(3);
    EndWithCode0();
    std::puts("not reached");
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.runLog, "-End On Line\n0\n76\n77\n1\nvlm is shut down\n");
}

TEST(EndProgram, NoReportOutsideDebugBuilds) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 0;
    LineHook(0, 5, nullptr);
    EndProgram();
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.runLog, "vlm is shut down\n");
}

TEST(EndProgram, ShutdownOrderAndReentry) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    static const RoutineEntry table[] = {
        {[] {
           WriteLog("VLM_ON_QUIT runs\n");
           EndProgram();  // already running: returns at once
           WriteLog("nested END returned\n");
         },
         "VLM_ON_QUIT"},
        {nullptr, nullptr}};
    SetCallByNameTable(table);
    SetRuntimeShutdown([] { WriteLog("subsystems released\n"); });
    LineHook(0, 3, nullptr);
    ClearLastError();
    ErrorLine = 1;
    EndProgram();
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.runLog,
            "-End On Line\n0\n0\n3\n0\n"
            "VLM_ON_QUIT runs\nnested END returned\n"
            "Shutdown VLM\nsubsystems released\nvlm is shut down\n");
}

TEST(EndProgram, LogsInAnUnwritableFolderAreSkipped) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    // The log path names a folder: every attempt fails, END still exits.
    std::filesystem::create_directories(RunLogPath());
    EndWithCode0();
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "exit\n");
}

TEST(EndProgram, EndRequestAtAStopEnds) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    TheDebugState.endRequest = 1;
    TheDebugState.breakRequest = 1;
    LineHook(0, 9, nullptr);
    std::puts("not reached");
  });
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.runLog, "-End On Line\n0\n8\n9\n0\nvlm is shut down\n");
}

TEST(Assert, ZeroEndsWithError21) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    LineHook(0, 15, nullptr);
    Assert(1);
    Assert(-0.5);
    std::puts("passed");
    LineHook(0, 16, nullptr);
    Assert(0);
    std::puts("not reached");
  });
  EXPECT_EQ(result.out, "passed\nexit\n");
  EXPECT_EQ(result.runLog, "-End On Line\n21\n15\n16\n0\nvlm is shut down\n");
}

TEST(EndProgram, ExitStatusTellsAFailureFromAnOrdinaryEnd) {
  const struct {
    const char* what;
    void (*body)();
    int status;
    const char* code;  // in the END report
  } cases[] = {
      {"END after an earlier error", [] { SetLastError(kErrorNoSuchFile); EndWithCode0(); }, 0, "0"},
      // A window closed after a picture failed to load: the error stands, the end is ordinary.
      {"END with an error left standing", [] { SetLastError(kErrorOutOfMemory); EndProgram(); }, 0, "7"},
      {"bad index", [] { BasicArray<Number> a; (void)ArrayElement(a, 0); }, 1, "9"},
      {"array too large", [] { BasicArray<Number> a; DimArray(a, 65536, 32768); }, 1, "7"},
      {"text too long", [] { BasicString s; s.Reserve(BasicString::kMaxLength + 1, false); }, 1, "7"},
      {"out of data", [] { Number x = 0; ReadData(x); }, 1, "20"},
      {"assertion", [] { Assert(0); }, 1, "21"},
  };
  for (const auto& c : cases) {
    const auto body = c.body;
    const auto result = RunInChild([body] {
      Settings().DebugMode = 1;
      LineHook(0, 8, nullptr);
      body();
      std::puts("not reached");
    });
    EXPECT_EQ(result.exitCode, c.status) << c.what;
    EXPECT_EQ(result.out, "exit\n") << c.what;
    EXPECT_EQ(result.runLog.substr(0, 13 + std::strlen(c.code) + 1), "-End On Line\n" + std::string(c.code) + "\n")
        << c.what << "\n" << result.runLog;
  }
}

// Records of a program, as the translator declares them.
struct Point {
  Number x;
  Number y;
  BasicString label_Str;
};
const RecordField kPointFields[] = {{"x", kVariableNumber, offsetof(Point, x)},
                                    {"y", kVariableNumber, offsetof(Point, y)},
                                    {"label_Str", kVariableString, offsetof(Point, label_Str)}};
struct Path {
  Number length;
  BasicArray<Point> points;
};
const RecordLayout kPointLayout = {sizeof(Point), 3, kPointFields};
const RecordField kPathFields[] = {{"length", kVariableNumber, offsetof(Path, length)},
                                   {"points", kVariableRecordArray, offsetof(Path, points), &kPointLayout}};

BasicArray<Path> g_paths;
VLM_GLOBAL_RECORD_ARRAY_AS(g_paths, "paths", kPathFields, 2);

// Reads registered storage by its byte offsets, as a debugger in another
// process does: the address of an element's field, from an array entry.
const char* FieldOf(const void* viewAddress, int32_t element, int32_t field) {
  const char* view = static_cast<const char*>(viewAddress);
  const char* header = *reinterpret_cast<const char* const*>(view + 0x00);
  const char* data = *reinterpret_cast<const char* const*>(header + 0x00);
  const int32_t size = *reinterpret_cast<const int32_t*>(view + 0x08);
  const char* fields = *reinterpret_cast<const char* const*>(view + 0x10);
  const int32_t offset = *reinterpret_cast<const int32_t*>(fields + 24 * field + 0x0C);
  return data + static_cast<size_t>(size) * element + offset;
}

int32_t RecordLocals(BasicArray<Point>& passed, std::vector<std::string>* names) {
  VLM_ROUTINE();
  VLM_PARAM_RECORD_ARRAY_AS(passed, "passed", kPointFields, 3);
  BasicArray<Point> own;
  DimArray(own, 4);
  VLM_LOCAL_RECORD_ARRAY_AS(own, "own", kPointFields, 3);
  EXPECT_EQ(own.data, nullptr);  // a local starts empty
  ArrayAppend(own, Point{7, 8, "seven"});
  const VariableTable& locals = *vlm_frame_.Locals();
  for (int32_t i = 0; i < locals.count; ++i) {
    names->push_back(locals.entries[i].name);
    EXPECT_EQ(locals.entries[i].type, kVariableRecordArray);
  }
  const auto* view = static_cast<const RecordArrayView*>(locals.entries[1].address);
  EXPECT_EQ(view->array, &own);
  EXPECT_EQ(*reinterpret_cast<const Number*>(FieldOf(view, 0, 1)), 8);
  EXPECT_EQ(reinterpret_cast<const BasicString*>(FieldOf(locals.entries[0].address, 1, 2))->c_str(),
            std::string("second"));
  return locals.count;
}

TEST(VariableRegistry, ArraysOfRecordsAreOneEntryWithTheirLayout) {
  const VariableEntry* global = nullptr;
  for (int32_t i = 0; i < GlobalVariables.count; ++i)
    if (std::strcmp(GlobalVariables.entries[i].name, "paths") == 0) global = &GlobalVariables.entries[i];
  ASSERT_NE(global, nullptr);  // registered before main, by the static guard
  EXPECT_EQ(global->type, kVariableRecordArray);
  const auto* view = static_cast<const RecordArrayView*>(global->address);
  EXPECT_EQ(view->array, &g_paths);
  EXPECT_EQ(view->elementSize, static_cast<int32_t>(sizeof(Path)));
  EXPECT_EQ(view->fieldCount, 2);
  EXPECT_EQ(view->fields, kPathFields);

  // A field that is itself an array of records, followed to its elements.
  DimArray(g_paths, 2);
  ArrayElement(g_paths, 1).length = 4.5;
  ArrayAppend(ArrayElement(g_paths, 1).points, Point{1, 2, "inner"});
  EXPECT_EQ(*reinterpret_cast<const Number*>(FieldOf(view, 1, 0)), 4.5);
  const RecordField& nested = view->fields[1];
  ASSERT_EQ(nested.type, kVariableRecordArray);
  const auto* inner = reinterpret_cast<const ArrayHeader*>(FieldOf(view, 1, 1));
  const RecordArrayView innerView{inner, nested.record->elementSize, nested.record->fieldCount,
                                  nested.record->fields};
  EXPECT_EQ(reinterpret_cast<const BasicString*>(FieldOf(&innerView, 0, 2))->c_str(), std::string("inner"));
  DimArray(g_paths, 0);

  BasicArray<Point> passed;
  ArrayAppend(passed, Point{1, 1, "first"});
  ArrayAppend(passed, Point{2, 2, "second"});
  std::vector<std::string> names;
  const int32_t depth = CallDepth;
  EXPECT_EQ(RecordLocals(passed, &names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"passed", "own"}));
  EXPECT_EQ(passed.d1, 2);  // a parameter is kept as passed
  EXPECT_EQ(CallDepth, depth);
}

TEST(DebugOutput, StandardErrorOnlyWithoutADebugger) {
  const auto result = RunInChild([] {
    DebugOutput("to the debugger\n");
    ErrorOutput("to standard error %s\n");
    ErrorOutput(nullptr);
  });
  EXPECT_EQ(result.err, "to standard error %s\n");
  EXPECT_EQ(result.out, "");
}

TEST(BuildTexts, StampIdAndVersion) {
  EXPECT_TRUE(std::regex_match(BuildStamp(),
                               std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}-[0-9]{2}:[0-9]{2}:[0-9]{2}")))
      << BuildStamp();
  EXPECT_TRUE(std::regex_match(BuildId(), std::regex("[0-9A-F]{8}"))) << BuildId();
  EXPECT_EQ(BuildId(), BuildId());
  EXPECT_STREQ(ProjectVersion(), "000.001");
}

}  // namespace
