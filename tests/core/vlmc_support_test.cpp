// The helpers of translated programs (core/vlmc_support.h) at the edges of
// their ranges and texts, PRINT's bytes, and the written-back stand-ins.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/vlmc_support.h"

namespace {

TEST(VlmcSupport, TruncatesTowardZeroAndGivesInt32MinOutsideTheRange) {
  const Number cases[][2] = {{3.7, 3}, {-3.7, -3}, {-0.5, 0}, {2147483647.9, 2147483647}, {2147483648.0, INT32_MIN},
                             {-2147483647.5, -2147483647}, {-2147483649.0, INT32_MIN}, {std::nan(""), INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(Trunc(c[0]), c[1]) << c[0];
  EXPECT_EQ(VlmAbs(-4.5), 4.5);
  EXPECT_EQ(VlmAbs(4.5), 4.5);
}

TEST(VlmcSupport, SlicesAndSearchesTextAtAndPastItsEnds) {
  const BasicString s("Velmora");
  const BasicString slices[][2] = {
      {VlmLeft(s, 2.9), "Ve"}, {VlmLeft(s, 0), ""}, {VlmLeft(s, 99), "Velmora"}, {VlmRight(s, 4), "mora"},
      {VlmRight(s, -1), ""}, {VlmRight(s, 20), "Velmora"}, {VlmMid(s, 2, 3), "elm"}, {VlmMid(s, 4, -1), "mora"},
      {VlmMid(s, 4, -5), "mora"}, {VlmMid(s, 0, 2), ""}, {VlmMid(s, 8, -1), ""}, {VlmMid(s, 2, 0), ""},
      {VlmMid(s, 2, 3e9), ""}, {VlmMid(s, 6, 9), "ra"}};
  for (const auto& slice : slices) EXPECT_EQ(std::string(slice[0].c_str()), slice[1].c_str());
  const struct {
    const char* part;
    Number start, want;
  } finds[] = {{"an", 1, 2}, {"an", 3, 4}, {"an", 5, 0}, {"x", 1, 0}, {"a", 6.9, 6}, {"a", 0.9, 0}, {"", 1, 0}};
  for (const auto& f : finds) EXPECT_EQ(VlmInstr("banana", f.part, f.start), f.want) << f.part << " " << f.start;
}

TEST(VlmcSupport, PrintsEveryByteAndTheStandInsWriteBackWhenTheyEnd) {
  testing::internal::CaptureStdout();
  VlmPrint(BasicString("a\0b", 3), true);
  VlmPrint("c", false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("a\0b\nc", 5));
  Number n = 7.9, f = 0.1;
  {
    VlmOutInt in(n);
    VlmOutFloat fl(f);
    EXPECT_EQ(static_cast<int32_t&>(in), 7);
    EXPECT_EQ(static_cast<float&>(fl), 0.1f);
    static_cast<int32_t&>(in) = -12;
    static_cast<float&>(fl) = 2.5f;
    EXPECT_EQ(n, 7.9);  // only when the call's expression ends
  }
  EXPECT_EQ(n, -12);
  EXPECT_EQ(f, 2.5);
}

}  // namespace
