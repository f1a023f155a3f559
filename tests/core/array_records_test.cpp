// Arrays of records, and one-dimensional arrays that grow and shrink an
// element at a time (ArrayAppend, ArrayRemove).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "support/child_process.h"

namespace {

using testing_support::RunInChild;

// The two kinds of record a program has: plain numbers, and records holding
// text and arrays, which must be constructed, copied and freed field by field.
struct Point {
  Number x;
  Number y;
};
struct Named {
  Number id;
  BasicString label_Str;
  BasicArray<Number> items;
};

Named MakeNamed(Number id, const char* label) {
  Named n{};
  n.id = id;
  n.label_Str = label;
  DimArray(n.items, 2);
  ArrayElement(n.items, 1) = id * 10;
  return n;
}

std::vector<Number> Values(const BasicArray<Number>& a) {
  std::vector<Number> values;
  for (int32_t i = 0; i < a.d1; ++i) values.push_back(ArrayElement(a, i));
  return values;
}

std::vector<std::string> Labels(const BasicArray<Named>& a) {
  std::vector<std::string> labels;
  for (int32_t i = 0; i < a.d1; ++i) labels.push_back(ArrayElement(a, i).label_Str.c_str());
  return labels;
}

TEST(RecordArrays, DimensionCopyAndPreserveKeepEveryField) {
  BasicArray<Named> a;
  DimArray(a, 3);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ArrayElement(a, i).id, 0);
    EXPECT_TRUE(ArrayElement(a, i).label_Str.IsEmpty());
    EXPECT_EQ(ArrayElement(a, i).items.data, nullptr);
  }
  ArrayElement(a, 0) = MakeNamed(1, "one");
  ArrayElement(a, -1) = MakeNamed(3, "three");  // negative first index: from the end
  EXPECT_EQ(&ArrayElement(a, 2), &ArrayElement(a, -1));

  BasicArray<Named> copy;
  CopyArray(copy, a);
  ArrayElement(copy, 0).label_Str = "changed";
  ArrayElement(ArrayElement(copy, 0).items, 1) = -1;
  EXPECT_EQ(Labels(a), (std::vector<std::string>{"one", "", "three"}));  // a deep copy
  EXPECT_EQ(ArrayElement(ArrayElement(a, 0).items, 1), 10);

  RedimPreserve(a, 5);
  EXPECT_EQ(Labels(a), (std::vector<std::string>{"one", "", "three", "", ""}));
  EXPECT_EQ(ArrayElement(ArrayElement(a, 2).items, 1), 30);
  RedimPreserve(a, 2, 2);  // the first index keeps what fits in both shapes
  EXPECT_EQ(ArrayElement(a, 0, 0).label_Str, "one");
  EXPECT_TRUE(ArrayElement(a, 0, 1).label_Str.IsEmpty());
  DimArray(a, 2);  // dimensioning again empties every field
  EXPECT_TRUE(ArrayElement(a, 0).label_Str.IsEmpty());
  EXPECT_EQ(ArrayElement(a, 0).items.data, nullptr);

  BasicArray<Point> points;
  DimArray(points, 2, 3);
  ArrayElement(points, 1, 2) = Point{1.5, -2};
  EXPECT_EQ(points.Elements()[1 + 2 * 2].y, -2);
  BasicArray<Point> moved = points;  // copy construction
  RedimPreserve(moved, 4, 3);
  EXPECT_EQ(ArrayElement(moved, 1, 2).x, 1.5);
  EXPECT_EQ(ArrayElement(moved, 3, 2).x, 0);
}

TEST(ArrayAppend, GrowsGeometricallyAndKeepsEveryValue) {
  BasicArray<Number> a;  // never dimensioned: becomes one-dimensional
  ArrayAppend(a, 0.5);
  EXPECT_EQ(a.dims, 1);
  EXPECT_EQ(a.d1, 1);
  EXPECT_EQ(a.count, 1);
  EXPECT_EQ(ArrayElement(a, 0), 0.5);

  // Blocks are replaced only when full, each by one half as large again:
  // 100000 appends see a few dozen blocks, none much larger than needed.
  std::set<int32_t> capacities;
  for (int32_t i = 1; i < 100000; ++i) {
    ArrayAppend(a, static_cast<Number>(i));
    capacities.insert(a.capacity);
    ASSERT_GE(a.capacity, a.d1);
  }
  EXPECT_GE(capacities.size(), 15u);
  EXPECT_LE(capacities.size(), 30u);
  EXPECT_LE(a.capacity, 100000 + 100000 / 2 + 8);
  EXPECT_EQ(a.d1, 100000);
  EXPECT_EQ(a.count, 100000);
  EXPECT_EQ(a.stride1, 100000);
  for (int32_t i = 1; i < 100000; ++i) ASSERT_EQ(ArrayElement(a, i), i);

  // An element of the array itself, appended just as the block is full.
  BasicArray<BasicString> s;
  DimArray(s, 8);  // a block of 16
  for (int32_t i = 0; i < 8; ++i) ArrayElement(s, i) = BasicString(i);
  for (int32_t i = 8; i < 16; ++i) ArrayAppend(s, ArrayElement(s, i - 8));
  const int32_t full = s.capacity;
  EXPECT_EQ(s.d1, full);
  ArrayAppend(s, ArrayElement(s, 3));
  EXPECT_GT(s.capacity, full);
  EXPECT_EQ(ArrayElement(s, -1), "3");
  EXPECT_EQ(ArrayElement(s, 15), "7");

  BasicArray<Named> records;
  DimArray(records, 0);  // no elements: appending makes it one-dimensional
  for (int32_t i = 0; i < 20; ++i) ArrayAppend(records, MakeNamed(i, std::to_string(i).c_str()));
  EXPECT_EQ(records.d1, 20);
  EXPECT_EQ(ArrayElement(records, 19).label_Str, "19");
  EXPECT_EQ(ArrayElement(ArrayElement(records, 7).items, 1), 70);
}

TEST(ArrayRemove, ShiftsTheRestDownByOne) {
  const struct {
    int32_t index;
    std::vector<Number> left;
  } cases[] = {{0, {2, 3, 4, 5}}, {2, {1, 2, 4, 5}}, {4, {1, 2, 3, 4}}, {-1, {1, 2, 3, 4}}, {-5, {2, 3, 4, 5}}};
  for (const auto& c : cases) {
    BasicArray<Number> a;
    for (Number v : {1, 2, 3, 4, 5}) ArrayAppend(a, v);
    ArrayRemove(a, c.index);
    EXPECT_EQ(Values(a), c.left) << c.index;
    EXPECT_EQ(a.count, 4);
  }

  BasicArray<Named> records;
  for (const char* label : {"a", "b", "c"}) ArrayAppend(records, MakeNamed(1, label));
  ArrayRemove(records, 0);
  EXPECT_EQ(Labels(records), (std::vector<std::string>{"b", "c"}));
  ArrayRemove(records, 1);
  ArrayRemove(records, 0);
  EXPECT_EQ(records.d1, 0);
  EXPECT_EQ(records.dims, 0);  // emptied: no dimensions, as after DIM a(0)
  ArrayAppend(records, MakeNamed(2, "again"));
  EXPECT_EQ(Labels(records), std::vector<std::string>{"again"});
}

TEST(ArrayGrowth, BadUsesAreFailedAccesses) {
  const struct {
    const char* what;
    void (*body)();
    const char* log;  // the END report's error code and lines
    const char* err;  // the first report lines
  } cases[] = {
      {"remove past the end", [] { BasicArray<Number> a; DimArray(a, 3); ArrayRemove(a, 3); },
       "-End On Line\n9\n11\n12\n0\n", "bounds: [   3]\naccess: [   3]\n"},
      {"remove too negative", [] { BasicArray<BasicString> a; DimArray(a, 3); ArrayRemove(a, -4); },
       "-End On Line\n9\n11\n12\n0\n", "bounds: [   3]\naccess: [  -1]\n"},
      {"remove never dimensioned", [] { BasicArray<Named> a; ArrayRemove(a, 0); },
       "-End On Line\n9\n11\n12\n0\n", "bounds: [   0]\naccess: [   0]\n"},
      {"remove from two dimensions", [] { BasicArray<Number> a; DimArray(a, 3, 2); ArrayRemove(a, 0); },
       "-End On Line\n9\n11\n12\n0\n", "bounds: [   3][   2]\naccess: [   0][   0]\n"},
      {"append to two dimensions", [] { BasicArray<Point> a; DimArray(a, 3, 2); ArrayAppend(a, Point{}); },
       "-End On Line\n9\n11\n12\n0\n", "bounds: [   3][   2]\naccess: [   3][   0]\n"},
      {"append past the largest array",
       [] {
         BasicArray<int32_t> a;
         DimArray(a, 1);
         a.d1 = static_cast<int32_t>(kMaxArrayElements);  // as if it were that long
         ArrayAppend(a, 1);
       },
       "-End On Line\n7\n11\n12\n0\n", ""},
  };
  for (const auto& c : cases) {
    const auto body = c.body;
    const auto result = RunInChild([body] {
      Settings().DebugMode = 1;
      TheDebugState.breakRequest = 0;
      LineHook(0, 12, nullptr);
      body();
      std::puts("not reached");
    });
    EXPECT_EQ(result.exitCode, 1) << c.what;
    EXPECT_EQ(result.out, "exit\n") << c.what;
    EXPECT_EQ(result.runLog.substr(0, std::string(c.log).size()), c.log) << c.what;
    EXPECT_EQ(result.err.substr(0, std::string(c.err).size()), c.err) << c.what << "\n" << result.err;
  }
}

}  // namespace
