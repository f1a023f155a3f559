// The helpers of translated programs (core/vlmc_support.h) at the edges of
// their ranges and texts, PRINT's bytes, zones and when its output is sent,
// INPUT, and the written-back stand-ins.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "core/vlmc_support.h"
#include "support/child_process.h"

namespace {

TEST(VlmcSupport, TruncatesTowardZeroAndGivesInt32MinOutsideTheRange) {
  const Number cases[][2] = {{3.7, 3}, {-3.7, -3}, {-0.5, 0}, {2147483647.9, 2147483647}, {2147483648.0, INT32_MIN},
                             {-2147483647.5, -2147483647}, {-2147483649.0, INT32_MIN}, {std::nan(""), INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(Trunc(c[0]), c[1]) << c[0];
  EXPECT_EQ(VlmAbs(-4.5), 4.5);
  EXPECT_EQ(VlmAbs(4.5), 4.5);
}

TEST(VlmcSupport, WholeNumberAndBitArithmeticAtTheEdges) {
  const Number nan = std::nan("");
  const Number inf = std::numeric_limits<Number>::infinity();
  const struct {
    const char* what;
    Number got, want;
  } cases[] = {
      {"INT beyond 32 bits", VlmInt(2500000000.7), 2500000000.0},
      {"INT toward zero", VlmInt(-2.5), -2},
      {"INT of infinity", VlmInt(-inf), -inf},
      {"SGN", VlmSgn(-0.1), -1}, {"SGN 0", VlmSgn(0), 0}, {"SGN NaN", VlmSgn(nan), 0}, {"SGN +", VlmSgn(1e-300), 1},
      {"ROUND half up", VlmRound(2.5), 3}, {"ROUND half down", VlmRound(-2.5), -3}, {"ROUND", VlmRound(2.49), 2},
      {"\\", VlmIntDiv(7, 2), 3}, {"\\ negative", VlmIntDiv(-7, 2), -3}, {"\\ truncates first", VlmIntDiv(7.9, 2.9), 3},
      {"\\ by a fraction", VlmIntDiv(5, 0.5), 0}, {"\\ by 0", VlmIntDiv(5, 0), 0},
      {"\\ most negative by -1", VlmIntDiv(-9223372036854775808.0, -1), 9223372036854775808.0},
      {"\\ beyond 64 bits", VlmIntDiv(1e30, 1e10), 1e20},
      {"MOD", VlmMod(-7, 3), -1}, {"MOD truncates", VlmMod(7.9, 2.9), 1}, {"MOD 0", VlmMod(7, 0), 0},
      {"MIN", VlmMin(2, -3), -3}, {"MAX", VlmMax(2, -3), 2}, {"MIN NaN second", VlmMin(1, nan), 1},
      {"EXP", VlmExp(1), std::exp(1.0)},
      {"AND", VlmBitAnd(12, 10), 8}, {"OR", VlmBitOr(12, 10), 14}, {"XOR", VlmBitXor(12, 10), 6},
      {"AND negative", VlmBitAnd(-1, 255.9), 255}, {"NOT", VlmBitNot(0), -1}, {"NOT 5", VlmBitNot(5), -6},
      {"SHL into the sign", VlmShl(1, 31), INT32_MIN}, {"SHL by 32", VlmShl(1, 32), 1}, {"SHL drops", VlmShl(3, 31), INT32_MIN},
      {"SHR arithmetic", VlmShr(-8, 1), -4}, {"SHR by -1", VlmShr(INT32_MIN, -1), -1}, {"SHR", VlmShr(256, 4), 16},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_TRUE(std::isnan(VlmInt(nan)));
  EXPECT_TRUE(std::isnan(VlmIntDiv(nan, 2)));
  const BasicString texts[][2] = {{VlmIntText(2500000000.9), "2500000000"}, {VlmIntText(-7.9), "-7"},
                                  {VlmIntText(-0.5), "0"}, {VlmIntText(1e20), NumberToText(1e20)},
                                  {VlmIntText(nan), "nan"}};
  for (const auto& t : texts) EXPECT_EQ(std::string(t[0].c_str()), t[1].c_str());
}

TEST(VlmcSupport, RandomFractionsComeFromTheSeededGenerator) {
  SeedRnd(7);
  const Number word = Rnd(4294967295.0);
  SeedRnd(7);
  EXPECT_EQ(VlmRandomUnit() * 4294967296.0, word);  // the same draw, over 2^32
  Number sum = 0, low = 1, high = 0;
  for (int i = 0; i < 2000; ++i) {
    const Number r = VlmRandomUnit();
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 1);
    sum += r;
    low = std::fmin(low, r);
    high = std::fmax(high, r);
  }
  EXPECT_NEAR(sum / 2000, 0.5, 0.05);
  EXPECT_LT(low, 0.01);
  EXPECT_GT(high, 0.99);
}

TEST(VlmcSupport, PrintZonesFollowTheColumnAcrossTexts) {
  testing::internal::CaptureStdout();
  VlmPrintColumn() = 0;
  VlmPrintZone();                   // from column 0 to 14
  VlmPrint("ab", false);            // 16
  VlmPrintZone();                   // 28
  VlmPrint("12345678901234", false);  // 42: exactly at a zone's start
  VlmPrintZone();                   // 56
  VlmPrint("x", true);
  VlmPrint("line\nlast", false);    // column 4 after the newline inside the text
  VlmPrintZone();
  VlmPrint("", false);
  VlmPrintZone();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(14, ' ') + "ab" + std::string(12, ' ') +
                                                        "12345678901234" + std::string(14, ' ') + "x\n" +
                                                        "line\nlast" + std::string(10, ' ') + std::string(14, ' '));
  EXPECT_EQ(VlmPrintColumn(), 28);
}

TEST(VlmcSupport, InputReadsLinesAndGivesError20AtTheEnd) {
  testing_support::TempDir dir;
  const std::string input = dir.File("input.txt");
  testing_support::WriteWholeFile(input, "first\r\n\nsecond\nlast without newline");
  const auto result = testing_support::RunInChild([input] {
    if (std::freopen(input.c_str(), "r", stdin) == nullptr) std::_Exit(3);
    for (int i = 0; i < 6; ++i) {
      ClearLastError();
      const BasicString line = InputConsoleText();
      std::printf("[%s] %d\n", line.c_str(), LastErrorCode);
    }
    std::puts("still running");
  }, 20);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "[first] 0\n[] 0\n[second] 0\n[last without newline] 0\n[] 20\n[] 20\nstill running\n");
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

// What one PRINT has sent by the time the program dies without flushing its
// output (a kill): everything up to a line's end, a line break inside the
// text included, but not a partial line on its own. The child's stdout, a
// file, is block-buffered whatever the parent's was (a terminal's line
// buffering would hide a missing flush).
TEST(VlmcSupport, PrintSendsTheOutputOnceALineEnds) {
  const struct {
    const char* text;
    bool newline;
    const char* sent;
  } cases[] = {{"a", false, ""}, {"a", true, "a\n"}, {"", true, "\n"}, {"a\nb", false, "a\nb"}, {"a\n", false, "a\n"}};
  for (const auto& c : cases) {
    const testing_support::ChildResult child = testing_support::RunInChild([&] {
      std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
      VlmPrint(c.text, c.newline);
      _exit(0);
    });
    EXPECT_EQ(child.exitCode, 0) << c.text;
    EXPECT_EQ(child.out, c.sent) << c.text << (c.newline ? " with" : " without") << " a newline";
  }
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
