// Text operations: slicing, case, trimming, searching, encodings, formats.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/core.h"
#include "core/internal/text_bytes.h"

namespace {

std::string Text(const BasicString& s) { return std::string(s.c_str(), s.Length()); }

TEST(TextSlicing, Mid) {
  const BasicString s("abcdef");
  EXPECT_EQ(Text(Mid(s, 2, -1)), "cdef");
  EXPECT_EQ(Text(Mid(s, 4, 10)), "ef");
  EXPECT_EQ(Text(Mid(BasicString("abc"), 3, 1)), "");
  EXPECT_EQ(Text(Mid(s, 0, 0)), "");
  EXPECT_EQ(Text(Mid(s, -1, 2)), "");
  EXPECT_EQ(Text(Mid(s, 1, 2)), "bc");
  EXPECT_EQ(Text(Mid(s, 5, 2147483647)), "f");  // start + count past int32
  EXPECT_EQ(Text(Mid(BasicString(), 0, 1)), "");
}

TEST(TextCase, OnlyAsciiLettersChange) {
  const BasicString s("Hello, World! \xE9\xC9 123");
  EXPECT_EQ(Text(Upper(s)), "HELLO, WORLD! \xE9\xC9 123");
  EXPECT_EQ(Text(Lower(s)), "hello, world! \xE9\xC9 123");
  BasicString t("MiXeD");
  UpperInPlace(t);
  EXPECT_EQ(Text(t), "MIXED");
  LowerInPlace(t);
  EXPECT_EQ(Text(t), "mixed");
  BasicString empty;
  UpperInPlace(empty);  // the shared empty buffer is left alone
  EXPECT_EQ(Text(empty), "");
}

TEST(TextTrimming, SetsAndControlTails) {
  EXPECT_EQ(Text(TrimRight(BasicString("xxabcyx"), "xy")), "xxabc");
  EXPECT_EQ(Text(TrimLeft(BasicString("xxabcyx"), "xy")), "abcyx");
  EXPECT_EQ(Text(TrimRight(BasicString("xyx"), "xy")), "");
  EXPECT_EQ(Text(TrimLeft(BasicString(""), "xy")), "");
  EXPECT_EQ(Text(TrimRight(BasicString("abc "), "")), "abc ");
  BasicString line("value\r\n\t\x1F");
  StripControlTail(line);
  EXPECT_EQ(Text(line), "value");
  BasicString keep("a b ");
  StripControlTail(keep);  // a space (32) is not a control byte
  EXPECT_EQ(Text(keep), "a b ");
  BasicString all("\r\n");
  StripControlTail(all);
  EXPECT_EQ(Text(all), "");
}

// Plain search as a reference for the skip-table search.
int32_t NaiveFind(const std::string& s, const std::string& needle, int32_t from) {
  if (from < 0) from = 0;
  if (needle.empty() || static_cast<size_t>(from) >= s.size()) return -1;
  const size_t hit = s.find(needle, static_cast<size_t>(from));
  return hit == std::string::npos ? -1 : static_cast<int32_t>(hit);
}

TEST(TextSearching, FindAgreesWithAPlainSearch) {
  EXPECT_EQ(Find(BasicString("hello world"), "o"), 4);
  EXPECT_EQ(Find(BasicString("hello world"), "o", 5), 7);
  EXPECT_EQ(Find(BasicString("hello world"), "world"), 6);
  EXPECT_EQ(Find(BasicString("hello"), "hello"), 0);
  EXPECT_EQ(Find(BasicString("hello"), "hellp"), -1);
  EXPECT_EQ(Find(BasicString("hello"), ""), -1);
  EXPECT_EQ(Find(BasicString("hello"), "o", 5), -1);
  EXPECT_EQ(Find(BasicString("hello"), "lo", -3), 3);
  EXPECT_EQ(Find(BasicString("abc"), "abcd"), -1);
  // Small alphabets make many partial matches and repeated skip bytes.
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    std::string s, needle;
    const int n = static_cast<int>(random() % 40);
    const int m = 1 + static_cast<int>(random() % 5);
    for (int k = 0; k < n; ++k) s += static_cast<char>('a' + random() % 3);
    for (int k = 0; k < m; ++k) needle += static_cast<char>('a' + random() % 3);
    const int32_t from = static_cast<int32_t>(random() % 45) - 2;
    ASSERT_EQ(Find(BasicString(s.c_str()), BasicString(needle.c_str()), from),
              NaiveFind(s, needle, from))
        << s << " / " << needle << " from " << from;
  }
}

TEST(TextSearching, FindLastAnyNotAny) {
  const BasicString s("abcabcabc");
  EXPECT_EQ(FindLast(s, "abc"), 6);
  EXPECT_EQ(FindLast(s, "abc", 5), 3);
  EXPECT_EQ(FindLast(s, "abc", 0), 0);
  EXPECT_EQ(FindLast(s, "bca", -1), 4);
  EXPECT_EQ(FindLast(s, "x"), -1);
  EXPECT_EQ(FindLast(BasicString("ab"), "abc"), -1);
  EXPECT_EQ(FindLast(BasicString("aaaa"), "aa"), 2);  // overlapping hits count
  EXPECT_EQ(FindAny(BasicString("hello, world"), " ,"), 5);
  EXPECT_EQ(FindAny(BasicString("hello"), "xyz"), -1);
  EXPECT_EQ(FindNotAny(BasicString("   x "), " "), 3);
  EXPECT_EQ(FindNotAny(BasicString("aaa"), "a"), -1);
  EXPECT_EQ(FindNotAny(BasicString(""), "a"), -1);
}

TEST(TextReplacing, InsertedTextIsNotSearchedAgain) {
  EXPECT_EQ(Text(Replace(BasicString("a.b.c"), ".", "::")), "a::b::c");
  EXPECT_EQ(Text(Replace(BasicString("aaa"), "a", "aa")), "aaaaaa");
  EXPECT_EQ(Text(Replace(BasicString("abcabc"), "abc", "")), "");
  EXPECT_EQ(Text(Replace(BasicString("xyz"), "", "q")), "xyz");
  EXPECT_EQ(Text(Replace(BasicString("a-b-c"), "-", "+")), "a+b+c");  // byte for byte
  EXPECT_EQ(Text(Replace(BasicString("banana"), "ana", "o")), "bona");
  const BasicString original("keep me");
  EXPECT_EQ(Text(Replace(original, "e", "E")), "kEEp mE");
  EXPECT_EQ(Text(original), "keep me");
}

TEST(TextEncodings, HexPairs) {
  const unsigned char bytes[] = {0x00, 0x7F, 0xAB, 0xFF};
  EXPECT_EQ(Text(HexEncode(bytes, 4, true)), "007FABFF");
  EXPECT_EQ(Text(HexEncode(bytes, 4, false)), "007fabff");
  EXPECT_EQ(Text(HexEncode(bytes, 0, false)), "");
  EXPECT_EQ(HexPairValue('a', 'B'), 0xAB);
  EXPECT_EQ(HexPairValue('0', '9'), 9);
  EXPECT_EQ(HexPairValue('F', 'f'), 255);
  EXPECT_EQ(HexPairValue('g', '1'), 1);  // a non-digit counts as 0
}

TEST(TextEncodings, Urls) {
  EXPECT_EQ(Text(UrlEncode(BasicString("a b/\xE9"))), "a%20b%2f%c3%a9");
  EXPECT_EQ(Text(UrlEncode(BasicString("AZaz09-_.~"))), "AZaz09%2d%5f%2e%7e");
  EXPECT_EQ(Text(UrlEncode(BasicString("\x80\xBF\xC0\xFF"))), "%c2%80%c2%bf%c3%80%c3%bf");
  EXPECT_EQ(Text(UrlDecode(BasicString("%4A+%zz"))), "J z");
  EXPECT_EQ(Text(UrlDecode(BasicString("%4"))), "");
  EXPECT_EQ(Text(UrlDecode(BasicString("%"))), "");
  EXPECT_EQ(Text(UrlDecode(BasicString("%4x!"))), "x!");
  EXPECT_EQ(Text(UrlDecode(BasicString("a%2fb"))), "a/b");
  // Every byte survives a round trip through the two.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Text(UrlDecode(UrlEncode(BasicString(all.c_str())))), all);
}

TEST(TextEncodings, Utf8ToBytes) {
  BasicString s("caf\xC3\xA9 \xE2\x82\xAC \xE0\x83\xA9 x\xC3");
  Utf8ToBytes(s);
  // é -> 0xE9; the euro sign (above 0xFF) -> space; a three-byte form of
  // 0xE9 -> 0xE9; a lead byte without its follower is dropped.
  EXPECT_EQ(Text(s), "caf\xE9   \xE9 x");
  BasicString stray("a\x80\xBF" "b\xF0\x9F\x98\x80");
  Utf8ToBytes(stray);
  EXPECT_EQ(Text(stray), "ab");
}

TEST(TextFormats, ErrorTextFormatChrAsc) {
  LastErrorCode = 9;
  EXPECT_EQ(Text(ErrorText()), "0009 out of bounds");
  LastErrorCode = 0;
  EXPECT_EQ(Text(ErrorText()), "0000 success");
  LastErrorCode = 3;
  EXPECT_EQ(Text(ErrorText()), "0003 no such file");
  LastErrorCode = 7;
  EXPECT_EQ(Text(ErrorText()), "0007 out of memory");
  LastErrorCode = 20;
  EXPECT_EQ(Text(ErrorText()), "0020 out of data");
  LastErrorCode = 21;
  EXPECT_EQ(Text(ErrorText()), "0021 unknown error");
  ClearLastError();

  EXPECT_EQ(Text(Format(6, 2, 3.14159)), "  3.14");
  EXPECT_EQ(Text(Format(8.9, 2.9, -1.005)), "   -1.00");
  EXPECT_EQ(Text(Format(4, 0, 5)), "   5");
  EXPECT_EQ(Text(Format(4, 0, 1000)), "1000");
  EXPECT_EQ(Text(Format(-6, 1, 2.5)), "2.5   ");
  EXPECT_EQ(Text(Format(0, -3, 2.5)), "2");  // no negative precision
  EXPECT_EQ(Text(Format(0, 0, 1e300)).size(), 301u);  // wider than any fixed buffer
  EXPECT_EQ(Text(Format(1e9, 0, 1)).size(), 4096u);    // the width is limited

  EXPECT_EQ(Text(Chr(65)), "A");
  EXPECT_EQ(Text(Chr(256 + 66)), "B");
  EXPECT_EQ(Chr(0).Length(), 1u);
  EXPECT_EQ(Asc(BasicString("A")), 65);
  EXPECT_EQ(Asc(BasicString("\xFF")), 255);
  EXPECT_EQ(Asc(BasicString("abc"), 2), 99);
  EXPECT_EQ(Asc(BasicString("abc"), 3), 0);
  EXPECT_EQ(Asc(BasicString("abc"), -1), 0);
  EXPECT_EQ(Asc(BasicString()), 0);
}

TEST(TextEncodings, WideCharacters) {
  const wchar_t* wide = ToWide(BasicString("Hello"));
  EXPECT_EQ(std::wstring(wide), L"Hello");
  EXPECT_EQ(Text(FromWide(L"World")), "World");
  EXPECT_EQ(Text(FromWide(nullptr)), "");
  // A byte the C locale cannot read still arrives (as Latin-1) and back.
  const BasicString latin("caf\xE9");
  const std::wstring wideLatin = ToWide(latin);
  ASSERT_EQ(wideLatin.size(), 4u);
  EXPECT_EQ(static_cast<unsigned>(wideLatin[3]), 0xE9u);
  EXPECT_EQ(Text(FromWide(wideLatin.c_str())), "caf\xE9");
  EXPECT_EQ(Text(FromWide(L"\x20AC!")), "?!");
}

}  // namespace
