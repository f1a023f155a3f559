// Checked arrays: dimensioning, element positions, bounds failures.
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/generated.h"
#include "core/settings.h"
#include "support/child_process.h"

namespace {

using testing_support::RunInChild;

TEST(ArrayDimensioning, CapacityRuleAndZeroing) {
  BasicArray<Number> a;
  EXPECT_EQ(a.data, nullptr);
  DimArray(a, 5);
  EXPECT_EQ(a.capacity, 8);
  EXPECT_EQ(a.count, 5);
  EXPECT_EQ(a.dims, 1);
  DimArray(a, 8);  // still fits the block of 8
  EXPECT_EQ(a.capacity, 8);
  BasicArray<Number> b;
  DimArray(b, 8);  // a new block: n = 8 gives 16
  EXPECT_EQ(b.capacity, 16);
  a = BasicArray<Number>();
  DimArray(a, 9);
  EXPECT_EQ(a.capacity, 16);
  for (int i = 0; i < 8; ++i) ArrayElement(a, i) = i + 1;
  const void* block = a.data;
  DimArray(a, 4);  // smaller: the block stays, the used part is zeroed
  EXPECT_EQ(a.data, block);
  EXPECT_EQ(a.capacity, 16);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ArrayElement(a, i), 0);
  EXPECT_EQ(a.Elements()[5], 6);  // beyond the used part: untouched
  DimArray(a, 1000);
  EXPECT_EQ(a.capacity, 1008);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ArrayElement(a, i), 0);
}

TEST(ArrayDimensioning, FieldsOfMultiDimensionalArrays) {
  BasicArray<int32_t> a;
  DimArray(a, 3, 5);
  EXPECT_EQ(a.d1, 3);
  EXPECT_EQ(a.d2, 5);
  EXPECT_EQ(a.stride1, 3);
  EXPECT_EQ(a.count, 15);
  EXPECT_EQ(a.dims, 2);
  ArrayElement(a, 1, 2) = 77;
  EXPECT_EQ(a.Elements()[1 + 3 * 2], 77);

  BasicArray<Number> b;
  DimArray(b, 2, 3, 4, 5);
  EXPECT_EQ(b.count, 120);
  EXPECT_EQ(b.dims, 4);
  EXPECT_EQ(b.stride2, 6);
  EXPECT_EQ(b.stride3, 24);
  ArrayElement(b, 1, 2, 3, 4) = 5;
  EXPECT_EQ(b.Elements()[1 + 2 * 2 + 6 * 3 + 24 * 4], 5);
  EXPECT_EQ(b.Elements()[119], 5);

  // An unused middle dimension still gives every element its own place.
  BasicArray<Number> c;
  DimArray(c, 3, 0, 4);
  EXPECT_EQ(c.count, 12);
  EXPECT_EQ(c.dims, 3);
  for (int i2 = 0; i2 < 4; ++i2)
    for (int i0 = 0; i0 < 3; ++i0) ArrayElement(c, i0, 0, i2) = i0 + 10 * i2;
  for (int i2 = 0; i2 < 4; ++i2)
    for (int i0 = 0; i0 < 3; ++i0) EXPECT_EQ(ArrayElement(c, i0, 0, i2), i0 + 10 * i2);
}

TEST(ArrayDimensioning, NegativeFirstIndexCountsFromTheEnd) {
  BasicArray<Number> a;
  DimArray(a, 10);
  for (int i = 0; i < 10; ++i) ArrayElement(a, i) = i;
  EXPECT_EQ(&ArrayElement(a, -1), &ArrayElement(a, 9));
  EXPECT_EQ(ArrayElement(a, -10), 0);
  EXPECT_EQ(ArrayElement(a, -3), 7);
}

TEST(ArrayCopies, CopyArrayAndValueSemantics) {
  BasicArray<BasicString> names;
  DimArray(names, 2, 2);
  ArrayElement(names, 0, 0) = "a";
  ArrayElement(names, 1, 1) = "d";
  BasicArray<BasicString> copy;
  CopyArray(copy, names);
  EXPECT_EQ(copy.d1, 2);
  EXPECT_EQ(copy.d2, 2);
  EXPECT_STREQ(ArrayElement(copy, 1, 1).c_str(), "d");
  ArrayElement(copy, 0, 0) = "changed";
  EXPECT_STREQ(ArrayElement(names, 0, 0).c_str(), "a");
  CopyArray(names, names);  // onto itself: nothing is lost
  EXPECT_STREQ(ArrayElement(names, 0, 0).c_str(), "a");

  BasicArray<Number> numbers;
  DimArray(numbers, 3);
  ArrayElement(numbers, 2) = 2.5;
  BasicArray<Number> constructed(numbers);
  EXPECT_EQ(ArrayElement(constructed, 2), 2.5);
  BasicArray<Number> moved(std::move(constructed));
  EXPECT_EQ(constructed.data, nullptr);
  EXPECT_EQ(ArrayElement(moved, 2), 2.5);
  numbers = moved;
  EXPECT_EQ(ArrayElement(numbers, 2), 2.5);

  // Re-dimensioning a string array empties its strings.
  DimArray(names, 2, 2);
  EXPECT_EQ(ArrayElement(names, 1, 1).Length(), 0u);
}

TEST(ArrayCopies, PreservingRedimension) {
  BasicArray<BasicString> a;
  DimArray(a, 3, 2);
  for (int i1 = 0; i1 < 2; ++i1)
    for (int i0 = 0; i0 < 3; ++i0) ArrayElement(a, i0, i1) = BasicString(i0 * 10 + i1);
  RedimPreserve(a, 5, 1);
  EXPECT_EQ(a.d1, 5);
  EXPECT_EQ(a.d2, 1);
  for (int i0 = 0; i0 < 3; ++i0) EXPECT_EQ(ToInt32(ArrayElement(a, i0, 0)), i0 * 10);
  EXPECT_EQ(ArrayElement(a, 4, 0).Length(), 0u);

  // One-dimensional arrays keep their elements too.
  BasicArray<Number> b;
  DimArray(b, 4);
  for (int i = 0; i < 4; ++i) ArrayElement(b, i) = i + 0.5;
  RedimPreserve(b, 6);
  EXPECT_EQ(b.d1, 6);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ArrayElement(b, i), i + 0.5);
  EXPECT_EQ(ArrayElement(b, 5), 0);
  RedimPreserve(b, 2);
  EXPECT_EQ(ArrayElement(b, 1), 1.5);
}

// Runs one access that must fail and returns what the child left behind.
template <class Access>
testing_support::ChildResult FailingAccess(Access access) {
  return RunInChild([access] {
    Settings().DebugMode = 1;
    TheDebugState.breakRequest = 0;
    LineHook(0, 54, nullptr);
    access();
    std::puts("not reached");
  });
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

TEST(ArrayBounds, FailedAccessReportsAndEnds) {
  const auto result = FailingAccess([] {
    BasicArray<Number> a;
    DimArray(a, 3, 5);
    ArrayElement(a, 2, 7) = 1;
  });
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.err, Repeat("bounds: [   3][   5]\naccess: [   2][   7]\n", 3) +
                            "statement: module 0, line 54\n");
  EXPECT_EQ(result.runLog, "-End On Line\n9\n53\n54\n0\nvlm is shut down\n");
}

TEST(ArrayBounds, OneDimensionalReport) {
  const auto result = FailingAccess([] {
    BasicArray<Number> a;
    DimArray(a, 1000);
    (void)ArrayElement(a, 1000);
  });
  EXPECT_EQ(result.err, Repeat("bounds: [1000]\naccess: [1000]\n", 3) + "statement: module 0, line 54\n");
}

TEST(ArrayBounds, TheStatementLineNamesTheModuleWhenLinesAreRecorded) {
  const struct {
    const char* what;
    void (*position)();
    const char* last;  // the report's last line
  } cases[] = {
      {"named module", [] { VLM_STATEMENT(1, 40); }, "statement: module 1 (shapes.bas), line 40\n"},
      {"module without a name", [] { VLM_STATEMENT(2, 7); }, "statement: module 2, line 7\n"},
      {"no statements recorded", [] {}, "access: [   4]\n"},
  };
  for (const auto& c : cases) {
    const auto position = c.position;
    const auto result = RunInChild([position] {
      static const char* const names[] = {"main.bas", "shapes.bas"};
      SetModuleNames(names, 2);
      position();
      BasicArray<Number> a;
      DimArray(a, 4);
      (void)ArrayElement(a, 4);
    });
    const std::string last = c.last;
    ASSERT_GE(result.err.size(), last.size()) << c.what;
    EXPECT_EQ(result.err.substr(result.err.size() - last.size()), last) << c.what << "\n" << result.err;
    EXPECT_EQ(result.err.find("statement:"), result.err.rfind("statement:")) << c.what;  // once at most
    EXPECT_EQ(result.exitCode, 1) << c.what;
  }
}

TEST(ArrayBounds, EveryBadIndexFails) {
  struct Case {
    const char* what;
    void (*access)();
  };
  const Case cases[] = {
      {"never dimensioned", [] { BasicArray<Number> a; (void)ArrayElement(a, 0); }},
      {"zero size", [] { BasicArray<Number> a; DimArray(a, 0); (void)ArrayElement(a, 0); }},
      {"negative size", [] { BasicArray<Number> a; DimArray(a, -3); (void)ArrayElement(a, -1); }},
      {"one past the end", [] { BasicArray<Number> a; DimArray(a, 10); (void)ArrayElement(a, 10); }},
      {"too negative", [] { BasicArray<Number> a; DimArray(a, 10); (void)ArrayElement(a, -11); }},
      {"unused second index", [] { BasicArray<Number> a; DimArray(a, 3, 0, 4); (void)ArrayElement(a, 0, 1, 0); }},
      {"unused index of 1-D", [] { BasicArray<Number> a; DimArray(a, 8); (void)ArrayElement(a, 0, 0, 0, 1); }},
      {"negative second index", [] { BasicArray<int32_t> a; DimArray(a, 3, 5); (void)ArrayElement(a, 0, -1); }},
      {"fourth index", [] { BasicArray<BasicString> a; DimArray(a, 2, 2, 2, 2); (void)ArrayElement(a, 0, 0, 0, 2); }},
  };
  for (const Case& c : cases) {
    const auto result = FailingAccess(c.access);
    EXPECT_EQ(result.exitCode, 1) << c.what;
    EXPECT_EQ(result.out, "exit\n") << c.what;
    EXPECT_EQ(result.runLog.substr(0, 15), "-End On Line\n9\n") << c.what;
    EXPECT_NE(result.err.find("bounds: "), std::string::npos) << c.what;
  }
  const auto ok = RunInChild([] {
    BasicArray<Number> a;
    DimArray(a, 3, 0, 4);
    ArrayElement(a, 2, 0, 3) = 1;  // unused indexes of 0 are fine
    std::puts("fine");
  });
  EXPECT_EQ(ok.out, "fine\n");
}

TEST(ArrayBounds, BadIndexWhileEndingUnwindsTheCallback) {
  const auto result = RunInChild([] {
    Settings().DebugMode = 1;
    static const RoutineEntry table[] = {
        {[] {
           VLM_ROUTINE();
           WriteLog("quit routine\n");
           BasicArray<Number> a;
           DimArray(a, 2);
           ArrayElement(a, 5) = 1;  // END is running: unwinds out of here
           WriteLog("not reached\n");
         },
         "VLM_ON_QUIT"},
        {nullptr, nullptr}};
    SetCallByNameTable(table);
    SetRuntimeShutdown([] { WriteLog("released\n"); });
    LineHook(0, 4, nullptr);
    EndWithCode0();
  });
  EXPECT_EQ(result.exitCode, 1);  // the shutdown failed
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.runLog,
            "-End On Line\n0\n3\n4\n0\nquit routine\nShutdown VLM\nreleased\nvlm is shut down\n");
  EXPECT_EQ(result.err, Repeat("bounds: [   2]\naccess: [   5]\n", 3) + "statement: module 0, line 4\n");
}

TEST(ArrayBounds, ReportListsTheUsedDimensions) {
  const auto result = FailingAccess([] {
    BasicArray<Number> a;
    DimArray(a, 2, 3, 4);
    (void)ArrayElement(a, 1, 1, 9);
  });
  EXPECT_EQ(result.err,
            "bounds: [   2][   3][   4]\naccess: [   1][   1][   0]\n"
            "bounds: [   2][   3][   4]\naccess: [   1][   1][   9]\n"
            "bounds: [   2][   3][   4]\naccess: [   1][   1][   9]\n"
            "statement: module 0, line 54\n");
}

TEST(ArrayBounds, HugeDimensionsFailWithOutOfMemory) {
  for (auto dim : {+[] { BasicArray<Number> a; DimArray(a, 65536, 32768); },
                   +[] { BasicArray<Number> a; DimArray(a, 100000, 100000, 100000, 100000); },
                   +[] { BasicArray<BasicString> a; DimArray(a, 2147483647, 2); }}) {
    const auto result = RunInChild([dim] {
      Settings().DebugMode = 1;
      LineHook(1, 40, nullptr);
      dim();
      std::puts("not reached");
    });
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "exit\n");
    EXPECT_EQ(result.runLog, "-End On Line\n7\n39\n40\n1\nvlm is shut down\n");
  }
}

}  // namespace
