// BasicString storage, operators, comparisons and number/text conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "support/child_process.h"

namespace {

std::string Text(const BasicString& s) { return std::string(s.c_str(), s.Length()); }

TEST(BasicStringStorage, GrowthCapacities) {
  BasicString s;
  EXPECT_EQ(s.Capacity(), 0u);
  EXPECT_EQ(s.Length(), 0u);
  EXPECT_STREQ(s.c_str(), "");
  s += 'a';
  EXPECT_EQ(s.Capacity(), 16u);
  while (s.Length() < 15) s += 'b';
  EXPECT_EQ(s.Capacity(), 16u);
  s += 'c';
  EXPECT_EQ(s.Length(), 16u);
  EXPECT_EQ(s.Capacity(), 32u);
  EXPECT_EQ(Text(s), "a" + std::string(14, 'b') + "c");

  // The step rule for a direct reservation: n + 1 = 15, 16, 17.
  BasicString r;
  r.Reserve(14, false);
  EXPECT_EQ(r.Capacity(), 16u);
  BasicString r2;
  r2.Reserve(15, false);
  EXPECT_EQ(r2.Capacity(), 32u);
  BasicString r3;
  r3.Reserve(16, false);
  EXPECT_EQ(r3.Capacity(), 32u);
  r3.Reserve(3, false);  // never shrinks
  EXPECT_EQ(r3.Capacity(), 32u);
  r3.Reserve(0, false);
  EXPECT_EQ(r3.Capacity(), 32u);
}

TEST(BasicStringStorage, LongAppendsGrowGeometricallyAndKeepText) {
  BasicString s;
  std::string expected;
  uint32_t reallocations = 0;
  uint32_t capacity = 0;
  for (int i = 0; i < 100000; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    s += c;
    expected += c;
    if (s.Capacity() != capacity) {
      ++reallocations;
      capacity = s.Capacity();
    }
    ASSERT_LT(s.Length(), s.Capacity());
  }
  EXPECT_EQ(Text(s), expected);
  // Steps of 16 bytes would need 6250 reallocations.
  EXPECT_LT(reallocations, 60u);
}

TEST(BasicStringStorage, AppendsGrowByHalfAtEverySizeAndAssignmentsTakeTheStepSize) {
  // Pieces of ten: each new buffer is half as large again as the last
  // (rounded up to 16), from the first one on, or what the step rule needs.
  BasicString s;
  std::vector<uint32_t> capacities;
  for (int i = 0; i < 30; ++i) {
    const uint32_t before = s.Capacity();
    s += "0123456789";
    if (s.Capacity() != before) capacities.push_back(s.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{16, 32, 48, 80, 128, 192, 288, 432}));
  EXPECT_EQ(s.Length(), 300u);
  // Assignment and copies hold exactly what the step rule gives.
  const BasicString copy(s);
  EXPECT_EQ(copy.Capacity(), 304u);
  BasicString assigned;
  assigned = std::string(100, 'x').c_str();
  EXPECT_EQ(assigned.Capacity(), 112u);
  // One byte at a time from empty: 16 at first, 32 at length 16 (as before).
  BasicString c;
  for (int i = 0; i < 16; ++i) c += 'c';
  EXPECT_EQ(c.Capacity(), 32u);
  c += BasicString(std::string(17, 'd').c_str());  // 33 bytes: the step rule's 48 (= half again)
  EXPECT_EQ(c.Capacity(), 48u);
  c += BasicString(std::string(100, 'e').c_str());  // past half again: the step rule's 144
  EXPECT_EQ(c.Capacity(), 144u);
}

TEST(BasicStringStorage, EmptyStringsShareOneBuffer) {
  BasicString a;
  BasicString b("");
  BasicString c(nullptr);
  EXPECT_EQ(a.c_str(), b.c_str());
  EXPECT_EQ(a.c_str(), c.c_str());
  BasicString d("x");
  d = "";
  EXPECT_EQ(d.Length(), 0u);
  EXPECT_EQ(d.Capacity(), 16u);  // assignment of empty text keeps the buffer
  EXPECT_STREQ(d.c_str(), "");
  BasicString moved(std::move(d));
  EXPECT_EQ(d.c_str(), a.c_str());
  EXPECT_EQ(d.Capacity(), 0u);
}

TEST(BasicStringStorage, CopiesOwnTheirBytes) {
  BasicString a("hello");
  BasicString b(a);
  EXPECT_NE(a.c_str(), b.c_str());
  b.Data()[0] = 'j';
  EXPECT_EQ(Text(a), "hello");
  EXPECT_EQ(Text(b), "jello");
  BasicString c;
  c = a;
  EXPECT_EQ(Text(c), "hello");
  c = c;  // self-assignment leaves it alone
  EXPECT_EQ(Text(c), "hello");
  BasicString bytes("a\0b", 3);
  EXPECT_EQ(bytes.Length(), 3u);
  BasicString copy(bytes);
  EXPECT_EQ(copy.Length(), 3u);
  EXPECT_EQ(copy, bytes);
  EXPECT_NE(copy, BasicString("a"));
}

TEST(BasicStringStorage, AppendingOrAssigningItsOwnText) {
  BasicString s("abcdefghijklmno");  // capacity 32: the doubled text fits where it is
  s += s;
  EXPECT_EQ(Text(s), "abcdefghijklmnoabcdefghijklmno");
  s += s.c_str() + 28;
  EXPECT_EQ(Text(s), "abcdefghijklmnoabcdefghijklmnono");
  s = s.c_str() + 3;
  EXPECT_EQ(Text(s), "defghijklmnoabcdefghijklmnono");
  s.Append(s.c_str(), 3);
  EXPECT_EQ(Text(s), "defghijklmnoabcdefghijklmnonodef");
}

// s += s where the buffer cannot grow in place: a block allocated just
// after the string's keeps realloc from extending it, so the text moves and
// must be read again from its new place (the old block is freed by then).
// Sizes from a small block to one the allocator maps by itself.
TEST(BasicStringStorage, AppendingItsOwnTextWhenTheBufferMoves) {
  int moved = 0;
  for (const uint32_t length : {16u, 40u, 1000u, 300000u}) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      std::string expected(length, '\0');
      for (uint32_t i = 0; i < length; ++i) expected[i] = static_cast<char>('a' + (i * 7 + attempt) % 26);
      BasicString s(expected.c_str());
      ASSERT_LT(s.Capacity(), 2 * length + 1);  // the doubled text does not fit
      void* after = std::malloc(16);
      const char* before = s.c_str();
      s += s;
      if (s.c_str() != before) ++moved;
      EXPECT_EQ(Text(s), expected + expected) << length;
      std::free(after);
    }
  }
  EXPECT_GT(moved, 0) << "the buffer never moved";
}

TEST(BasicStringStorage, SetLengthStaysInsideTheBuffer) {
  BasicString s;
  s.Reserve(20, false);
  std::memcpy(s.Data(), "twenty characters!!!", 20);
  s.SetLength(20);
  EXPECT_EQ(Text(s), "twenty characters!!!");
  s.SetLength(1000);
  EXPECT_EQ(s.Length(), s.Capacity() - 1);
  BasicString empty;
  empty.SetLength(5);
  EXPECT_EQ(empty.Length(), 0u);
}

TEST(BasicStringOperators, EveryOperandKind) {
  BasicString s("n=");
  EXPECT_EQ(Text(s + 5), "n=5");
  EXPECT_EQ(Text(s + int64_t{-9000000000}), "n=-9000000000");
  EXPECT_EQ(Text(s + 2.5), "n=2.5");
  EXPECT_EQ(Text(s + 0.5f), "n=0.5");
  EXPECT_EQ(Text(s + "x"), "n=x");
  EXPECT_EQ(Text(s + BasicString("y")), "n=y");
  EXPECT_EQ(Text(s + 'z'), "n=z");
  EXPECT_EQ(Text(5 + s), "5n=");
  EXPECT_EQ(Text(int64_t{7} + s), "7n=");
  EXPECT_EQ(Text(1.25 + s), "1.25n=");
  EXPECT_EQ(Text(1.5f + s), "1.5n=");
  EXPECT_EQ(Text("<" + s), "<n=");
  EXPECT_EQ(Text(BasicString("a") + "b" + "c" + BasicString("d")), "abcd");
  EXPECT_EQ(Text(s), "n=");

  BasicString t;
  t += 12;
  t += int64_t{34};
  t += 0.5;
  t += 0.25f;
  t += "!";
  t += BasicString("?");
  t += "";
  EXPECT_EQ(Text(t), "12340.50.25!?");

  BasicString u;
  u = 42;
  EXPECT_EQ(Text(u), "42");
  u = int64_t{-5};
  EXPECT_EQ(Text(u), "-5");
  u = 3.0;
  EXPECT_EQ(Text(u), "3");
  u = 0.1f;  // the float's exact value at ten digits
  EXPECT_EQ(Text(u), "0.1000000015");
  EXPECT_EQ(Text(BasicString(int32_t{-2147483647 - 1})), "-2147483648");
  EXPECT_EQ(Text(BasicString('q')), "q");
  EXPECT_EQ(Text(StringLiteral("lit")), "lit");
  EXPECT_EQ(StringLiteral(nullptr).length, 0u);
  EXPECT_STREQ(StringLiteral(nullptr).text, "");
}

TEST(BasicStringComparison, TextAgainstText) {
  const BasicString abc("abc");
  EXPECT_TRUE(abc == "abc");
  EXPECT_TRUE("abc" == abc);
  EXPECT_TRUE(abc < "abd");
  EXPECT_TRUE(abc < "abcd");  // a proper prefix sorts first
  EXPECT_TRUE(BasicString("b") > abc);
  EXPECT_TRUE(abc <= abc);
  EXPECT_TRUE(abc >= "abc");
  EXPECT_TRUE(abc != "ab");
  // Bytes compare unsigned: 0xE9 sorts after 'z'.
  EXPECT_TRUE(BasicString("\xE9") > "z");
  EXPECT_EQ(Compare(abc, "abd"), -1);
  EXPECT_EQ(Compare(abc, BasicString("abc")), 0);
  EXPECT_EQ(Compare(BasicString("b"), abc), 1);
  EXPECT_EQ(Compare(BasicString(), ""), 0);
}

TEST(BasicStringComparison, TextAgainstNumbers) {
  // The text is read as atof for double / float and atoi for integers.
  EXPECT_TRUE(BasicString("5.0") == 5.0);
  EXPECT_TRUE(BasicString("5abc") == 5);
  EXPECT_TRUE(BasicString("5abc") == 5.0);
  EXPECT_TRUE(BasicString("abc") == 0);
  EXPECT_TRUE(BasicString("abc") == 0.0);
  EXPECT_TRUE(BasicString("5.9") == 5);  // atoi stops at the point
  EXPECT_FALSE(BasicString("5.9") == 5.0);
  EXPECT_TRUE(BasicString("  -12") == -12);
  EXPECT_TRUE(BasicString("10") > 9);
  EXPECT_TRUE(9 < BasicString("10"));
  EXPECT_TRUE(BasicString("10") > 9.5);
  EXPECT_TRUE(BasicString("2.5") <= 2.5f);
  EXPECT_TRUE(BasicString("9000000000") == int64_t{9000000000});
  EXPECT_TRUE(BasicString("1e3") == 1000.0);
  EXPECT_TRUE(int64_t{1} != BasicString("2"));
  EXPECT_TRUE(3.0 >= BasicString("3"));
  EXPECT_EQ(Compare(BasicString("7"), 8), -1);
  EXPECT_EQ(Compare(BasicString("7"), 7.0), 0);
  EXPECT_EQ(Compare(BasicString("7"), int64_t{-1}), 1);
  EXPECT_EQ(Compare(BasicString("0.5"), 0.25f), 1);
}

TEST(TextToNumber, FollowsTheCRuntimeReaders) {
  EXPECT_EQ(TextToInt32("  \t+42xyz"), 42);
  EXPECT_EQ(TextToInt32("-0"), 0);
  EXPECT_EQ(TextToInt32(""), 0);
  EXPECT_EQ(TextToInt32(nullptr), 0);
  EXPECT_EQ(TextToInt32("- 5"), 0);
  EXPECT_EQ(TextToInt32("2147483647"), 2147483647);
  EXPECT_EQ(TextToInt32("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(TextToInt32("99999999999"), 2147483647);
  EXPECT_EQ(TextToInt32("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(TextToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TextToInt64("99999999999999999999"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TextToInt64("123456789012"), int64_t{123456789012});
  EXPECT_DOUBLE_EQ(TextToDouble(" 1.5e2x"), 150.0);
  EXPECT_DOUBLE_EQ(TextToDouble("-.25"), -0.25);
  EXPECT_DOUBLE_EQ(TextToDouble("3."), 3.0);
  EXPECT_DOUBLE_EQ(TextToDouble("2e"), 2.0);  // an exponent needs digits
  EXPECT_DOUBLE_EQ(TextToDouble("2e+"), 2.0);
  EXPECT_DOUBLE_EQ(TextToDouble("."), 0.0);
  EXPECT_DOUBLE_EQ(TextToDouble("0x10"), 0.0);  // no hexadecimal
  EXPECT_DOUBLE_EQ(TextToDouble("inf"), 0.0);
  EXPECT_DOUBLE_EQ(TextToDouble("nan"), 0.0);
  EXPECT_TRUE(std::isinf(TextToDouble("1e400")));
  EXPECT_EQ(TextToDouble("1e-400"), 0.0);
  EXPECT_FLOAT_EQ(ToFloat(BasicString("0.1")), 0.1f);
  EXPECT_EQ(ToInt64(BasicString("-77")), -77);
}

// Numbers written with hundreds of digits still carry their exponent: the
// result is strtod's (C locale) to the bit, and its class is the one named.
TEST(TextToNumber, LongNumbersKeepTheirExponent) {
  const std::string zeros(600, '0');
  enum Kind { kZero, kSubnormal, kNormal, kInfinite };
  const struct {
    std::string text;
    Kind kind;
  } cases[] = {
      {"1" + zeros + "e-1000", kZero},  // 1e-400
      {"-1" + zeros + "e-1000", kZero},
      {"0." + zeros + "1e-400", kZero},
      {"5" + zeros + "e-924", kSubnormal},  // 5e-324
      {"1" + zeros + "e-900", kNormal},     // 1e-300
      {"0." + zeros + "1e700", kNormal},    // 1e99
      {" +12345" + zeros + ".5e-2100", kZero},
      {"1" + zeros, kInfinite},
      {"-7" + zeros + "e-200", kInfinite},  // -7e400
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 12) + "..." + c.text.substr(c.text.size() - 8));
    const double value = TextToDouble(c.text.c_str());
    const double expected = std::strtod(c.text.c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << value << " vs " << expected;
    switch (c.kind) {
      case kZero: EXPECT_EQ(value, 0.0); break;
      case kSubnormal: EXPECT_EQ(std::fpclassify(value), FP_SUBNORMAL); break;
      case kNormal: EXPECT_EQ(std::fpclassify(value), FP_NORMAL); break;
      case kInfinite: EXPECT_TRUE(std::isinf(value)); break;
    }
    EXPECT_EQ(std::signbit(value), c.text.find('-') < 2);
  }
}

TEST(NumberToText, NamedExamples) {
  EXPECT_EQ(Text(NumberToText(0.0)), "0");
  EXPECT_EQ(Text(NumberToText(-0.0)), "0");
  EXPECT_EQ(Text(NumberToText(-2.5)), "-2.5");
  EXPECT_EQ(Text(NumberToText(5.0)), "5");
  EXPECT_EQ(Text(NumberToText(123456789012.0)), "1.23456789e+011");
  EXPECT_EQ(Text(NumberToText(0.25)), "0.25");
  EXPECT_EQ(Text(NumberToText(0.1)), "0.1");
  EXPECT_EQ(Text(NumberToText(0.01)), "1.e-002");
  EXPECT_EQ(Text(NumberToText(0.05)), "5.e-002");
  EXPECT_EQ(Text(NumberToText(1e10)), "1.e+010");
  EXPECT_EQ(Text(NumberToText(1234567890.0)), "1234567890");
  EXPECT_EQ(Text(NumberToText(-1e-300)), "-1.e-300");
  EXPECT_EQ(Text(NumberToText(1.0 / 3.0)), "0.3333333333");
  EXPECT_EQ(Text(NumberToText(2.0 / 3.0 * 100)), "66.66666667");
  // Rounding at ten digits can carry into a new exponent.
  EXPECT_EQ(Text(NumberToText(9999999999.5)), "1.e+010");
  EXPECT_EQ(Text(NumberToText(9999999999.4)), "9999999999");
  EXPECT_EQ(Text(NumberToText(0.099999999996)), "0.1");
  EXPECT_EQ(Text(NumberToText(0.0999999999949)), "9.999999999e-002");
  EXPECT_EQ(Text(NumberToText(std::numeric_limits<double>::infinity())), "inf");
  EXPECT_EQ(Text(NumberToText(-std::numeric_limits<double>::infinity())), "-inf");
  EXPECT_EQ(Text(NumberToText(std::nan(""))), "nan");
  EXPECT_EQ(Text(NumberToText(std::numeric_limits<double>::denorm_min())), "4.940656458e-324");
  EXPECT_EQ(Text(IntegerToText(int32_t{-15})), "-15");
  EXPECT_EQ(Text(IntegerToText(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(TextLength(123456789012.0), 15);
  EXPECT_EQ(TextLength(int32_t{-100}), 4);
}

// The pieces of a number text, however it is written: sign, significant
// digits without leading or trailing zeros, and the decimal exponent of the
// first digit.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  bool scientific = false;
};

Decimal ParseOurs(const std::string& text) {
  Decimal d;
  std::string body = text;
  if (!body.empty() && body[0] == '-') {
    d.negative = true;
    body.erase(0, 1);
  }
  const size_t e = body.find('e');
  if (e != std::string::npos) {
    d.scientific = true;
    const std::string mantissa = body.substr(0, e);
    d.exponent = std::atoi(body.c_str() + e + 1);
    for (char c : mantissa)
      if (c != '.') d.digits += c;
  } else {
    const size_t point = body.find('.');
    const std::string whole = body.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : body.substr(point + 1);
    std::string all = whole + fraction;
    size_t lead = 0;
    while (lead < all.size() && all[lead] == '0') ++lead;
    d.digits = all.substr(lead);
    d.exponent = static_cast<int>(whole.size()) - 1 - static_cast<int>(lead);
  }
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// The reference: the C library's "%.9e", correctly rounded.
Decimal Reference(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9e", value);
  Decimal d;
  const char* p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  d.digits += p[0];
  d.digits += std::string(p + 2, 9);
  d.exponent = std::atoi(p + 12);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

void CheckAgainstReference(double value) {
  const std::string ours = Text(NumberToText(value));
  const Decimal got = ParseOurs(ours);
  const Decimal want = Reference(value);
  ASSERT_EQ(got.negative, want.negative) << ours;
  ASSERT_EQ(got.digits, want.digits) << value << " -> " << ours;
  ASSERT_EQ(got.exponent, want.exponent) << value << " -> " << ours;
  const bool fixed = want.exponent >= -1 && want.exponent <= 9;
  ASSERT_EQ(got.scientific, !fixed) << ours;
  ASSERT_NE(ours.back(), '.') << ours;
  if (got.scientific) {
    // One digit, the point (kept), the rest, 'e', a sign and three digits.
    const size_t e = ours.find('e');
    ASSERT_EQ(ours.size() - e, 5u) << ours;
    ASSERT_TRUE(ours[e + 1] == '+' || ours[e + 1] == '-') << ours;
    ASSERT_EQ(ours[(got.negative ? 1 : 0) + 1], '.') << ours;
  } else if (ours.find('.') != std::string::npos) {
    ASSERT_NE(ours.back(), '0') << ours;
  }
  char reference[64];
  std::snprintf(reference, sizeof reference, "%.9e", value);
  ASSERT_EQ(std::strtod(ours.c_str(), nullptr), std::strtod(reference, nullptr)) << ours;
}

TEST(NumberToText, AgreesWithTheCLibraryOverManyValues) {
  std::mt19937_64 random(20240611);
  std::uniform_int_distribution<int> exponent(-30, 30);
  std::uniform_real_distribution<double> unit(1.0, 10.0);
  for (int i = 0; i < 20000; ++i) {
    // Arbitrary bit patterns cover the whole range, subnormals included.
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value) || std::isinf(value) || value == 0) continue;
    CheckAgainstReference(value);
  }
  for (int i = 0; i < 20000; ++i) {
    // Values of everyday size, around the fixed/exponent borders.
    const double value = unit(random) * std::pow(10.0, exponent(random));
    CheckAgainstReference(i % 2 ? value : -value);
  }
  for (int i = 0; i < 5000; ++i) {
    // Whole numbers and short decimals, which must come out exactly.
    const double value = static_cast<double>(static_cast<int64_t>(random() % 100000000000)) /
                         std::pow(10.0, static_cast<int>(random() % 6));
    if (value != 0) CheckAgainstReference(value);
  }
  for (double edge : {9999999999.5, 9999999999.49, 999999999.95, 0.0999999999951, 0.0999999999949,
                      0.1, 1e9, 1e10, 9.9999999995e-3, 1.7976931348623157e308}) {
    CheckAgainstReference(edge);
  }
}

TEST(BasicStringLimits, ImpossibleLengthEndsWithOutOfMemory) {
  const auto result = testing_support::RunInChild([] {
    Settings().DebugMode = 1;
    LineHook(0, 12, nullptr);
    BasicString s("x");
    s.Reserve(0xFFFFFFFEu, true);
    std::puts("still running");
  });
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "exit\n");
  EXPECT_EQ(result.runLog, "-End On Line\n7\n11\n12\n0\nvlm is shut down\n");
}

}  // namespace
