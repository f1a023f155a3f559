// Checked arrays: a negative size past the first is kept, counts as a
// dimension and lets no access through it.
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "support/child_process.h"

namespace {

using testing_support::RunInChild;

TEST(ArrayNegativeSizes, OnlyTheFirstSizeIsClamped) {
  struct Case {
    int32_t d1, d2, d3, d4;
    int32_t wantD1, count, dims;
  };
  const Case cases[] = {
      {3, -2, 0, 0, 3, 3, 2},   // d2 kept: two dimensions, 3 * 1 elements
      {3, 0, -4, 0, 3, 3, 3},   // d3 kept
      {2, 5, 0, -1, 2, 10, 4},  // d4 kept
      {-3, -2, 0, 0, 0, 0, 2},  // d1 clamped to 0, d2 still counts
      {4, 0, 0, 0, 4, 4, 1},    // the plain case for contrast
  };
  for (const Case& c : cases) {
    BasicArray<Number> a;
    DimArray(a, c.d1, c.d2, c.d3, c.d4);
    const std::string what = std::to_string(c.d1) + "," + std::to_string(c.d2) + "," + std::to_string(c.d3) +
                             "," + std::to_string(c.d4);
    EXPECT_EQ(a.d1, c.wantD1) << what;
    EXPECT_EQ(a.d2, c.d2) << what;
    EXPECT_EQ(a.d3, c.d3) << what;
    EXPECT_EQ(a.d4, c.d4) << what;
    EXPECT_EQ(a.count, c.count) << what;
    EXPECT_EQ(a.dims, c.dims) << what;
  }
}

TEST(ArrayNegativeSizes, EveryAccessThroughANegativeSizeFails) {
  struct Case {
    const char* what;
    void (*access)();
  };
  const Case cases[] = {
      {"d2 -2, index 0", [] { BasicArray<Number> a; DimArray(a, 3, -2); (void)ArrayElement(a, 0, 0); }},
      {"d2 -2, index 1", [] { BasicArray<Number> a; DimArray(a, 3, -2); (void)ArrayElement(a, 2, 1); }},
      {"d3 -1, index 0", [] { BasicArray<int32_t> a; DimArray(a, 3, 2, -1); (void)ArrayElement(a, 0, 0, 0); }},
      {"d4 -5, index 0",
       [] { BasicArray<BasicString> a; DimArray(a, 2, 2, 2, -5); (void)ArrayElement(a, 0, 0, 0, 0); }},
  };
  for (const Case& c : cases) {
    const auto result = RunInChild([&c] {
      Settings().DebugMode = 1;
      TheDebugState.breakRequest = 0;
      LineHook(0, 7, nullptr);
      c.access();
      std::puts("not reached");
    });
    EXPECT_EQ(result.out, "exit\n") << c.what;
    EXPECT_EQ(result.runLog.substr(0, 15), "-End On Line\n9\n") << c.what;
    // The report lists only the positive sizes after the first.
    EXPECT_NE(result.err.find("bounds: "), std::string::npos) << c.what;
  }
  // The report for d2 = -2 shows d1 alone.
  const auto report = RunInChild([] {
    Settings().DebugMode = 1;
    TheDebugState.breakRequest = 0;
    BasicArray<Number> a;
    DimArray(a, 3, -2);
    (void)ArrayElement(a, 1, 0);
  });
  EXPECT_EQ(report.err.substr(0, 30), "bounds: [   3]\naccess: [   1]\n");

  // The same shapes with positive sizes accept index 0: the failures above
  // come from the negative size alone.
  const auto fine = RunInChild([] {
    BasicArray<Number> a;
    DimArray(a, 3, 2, 1, 1);
    ArrayElement(a, 2, 1, 0, 0) = 1;
    std::puts("fine");
  });
  EXPECT_EQ(fine.out, "fine\n");
}

TEST(ArrayNegativeSizes, CopiesAndPreservingResizesKeepTheSizes) {
  BasicArray<Number> a;
  DimArray(a, 3, -2);
  BasicArray<Number> copy;
  CopyArray(copy, a);
  EXPECT_EQ(copy.d2, -2);
  EXPECT_EQ(copy.dims, 2);
  EXPECT_EQ(copy.count, 3);

  // Nothing can be read through a negative size, so nothing is carried over.
  BasicArray<Number> b;
  DimArray(b, 3, 2);
  ArrayElement(b, 1, 0) = 4.5;
  RedimPreserve(b, 3, -2);
  EXPECT_EQ(b.d2, -2);
  RedimPreserve(b, 3, 2);
  EXPECT_EQ(ArrayElement(b, 1, 0), 0);
  // Between positive sizes the element survives.
  ArrayElement(b, 1, 0) = 4.5;
  RedimPreserve(b, 4, 2);
  EXPECT_EQ(ArrayElement(b, 1, 0), 4.5);
}

}  // namespace
