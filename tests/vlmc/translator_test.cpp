// The translator's front end called directly: the form of its output in
// debug and release builds, statement numbering, the C++ names and calls it
// writes, and inputs that must give an error instead of a crash or a hang;
// and its command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "names.h"
#include "support/child_process.h"
#include "vlmc.h"

namespace {

vlmc::Result Translate(const std::string& text, bool lineHooks = true) {
  vlmc::Options options;
  options.program = "t";
  options.lineHooks = lineHooks;
  return vlmc::Translate({{"t.bas", text}}, options);
}

std::string Module0(const vlmc::Result& r) {
  for (const vlmc::OutputFile& f : r.files)
    if (f.name == "t_module0_t.cpp") return f.text;
  return "";
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Translator, NumbersStatementsForTheLineHookOnlyInDebugBuilds) {
  // Five statements: the FOR, the IF, the assignment inside it and the two
  // after the loop; NEXT, ENDIF and declarations are not statements.
  const std::string source =
      "GLOBAL g\nFOR i = 1 TO 3\n  IF i = 2\n    g = i\n  ENDIF\nNEXT\nPRINT g\nEND\n";
  const vlmc::Result debug = Translate(source);
  ASSERT_TRUE(debug.ok) << debug.diagnostics;
  const std::string code = Module0(debug);
  EXPECT_EQ(Count(code, "VLM_LINE("), 5u);
  EXPECT_NE(code.find("VLM_LINE(0, 5);"), std::string::npos);
  EXPECT_EQ(code.find("VLM_LINE(0, 6);"), std::string::npos);
  const vlmc::Result release = Translate(source, false);
  ASSERT_TRUE(release.ok);
  EXPECT_EQ(Count(Module0(release), "VLM_LINE("), 0u);
  // Release builds only note the position, so failure reports can name the statement.
  EXPECT_EQ(Count(Module0(release), "VLM_STATEMENT("), 5u);
  EXPECT_NE(Module0(release).find("VLM_STATEMENT(0, 5);"), std::string::npos);
  EXPECT_EQ(Count(Module0(release), "VLM_LOCAL(i)"), 1u);  // variables stay registered
}

TEST(Translator, StatementsDividedByColonsCountOneByOne) {
  // Four statements on two lines; the margin number belongs to the first on
  // its line. Labels, REM and DATA are not statements.
  const vlmc::Result r = Translate("  1  x = 1: y = 2\nagain: REM a label\nDATA 1\n  3  z = 3: PRINT x\n");
  ASSERT_TRUE(r.ok) << r.diagnostics;
  EXPECT_EQ(Count(Module0(r), "VLM_LINE("), 4u);
  EXPECT_NE(Module0(r).find("VLM_LINE(0, 4);"), std::string::npos);
  EXPECT_FALSE(Translate("  1  x = 1: y = 2\n  2  z = 3\n").ok);
}

TEST(Translator, MarginNumbersAreOptionalButMustAgree) {
  EXPECT_TRUE(Translate("  1  x = 1\ny = 2\n  3  z = 3\n").ok);
  const vlmc::Result wrong = Translate("  1  x = 1\n  2  y = 2\n  2  z = 3\n");
  EXPECT_FALSE(wrong.ok);
  EXPECT_NE(wrong.diagnostics.find("t.bas:3:3: statement number 2 does not match"), std::string::npos);
}

TEST(Translator, WritesTheFilesItsNamesFunctionPromises) {
  const vlmc::Result r = vlmc::Translate({{"a/main.bas", "x = 1\n"}, {"b/more-code.bas", "FUNCTION f()\nEND FUNCTION\n"}},
                                         vlmc::Options{"prog", true, true});
  ASSERT_TRUE(r.ok) << r.diagnostics;
  const std::vector<std::string> names = vlmc::OutputNames("prog", {"a/main.bas", "b/more-code.bas"});
  ASSERT_EQ(r.files.size(), names.size());
  for (size_t k = 0; k < names.size(); ++k) EXPECT_EQ(r.files[k].name, names[k]);
  EXPECT_EQ(names[3], "prog_module1_more_code.cpp");
  EXPECT_NE(r.files[1].text.find("{&f, \"f\"}"), std::string::npos);  // call-by-name entry
  EXPECT_NE(r.files[1].text.find("int main("), std::string::npos);
}

TEST(Translator, HostileInputGivesErrorsNotCrashes) {
  const std::string deep(5000, '(');
  const struct {
    std::string source;
    const char* message;
  } cases[] = {
      {"x = " + deep + "1", "expression nested too deeply"},
      {std::string(3000, '-') + "x", "expected a statement"},
      {"x = " + std::string(3000, '-') + "1", "expression nested too deeply"},
      {"IF 1\n" + std::string(""), "IF has no END IF"},
      {std::string("x = 1 \0 2\n", 10), "t.bas:1:7: this is not a text file: it holds a NUL byte here\n"},
      {"x = 1 \x80 2\n", "t.bas:1:7: unexpected byte 128"},
      {"FUNCTION f(\n", "expected a parameter name"},
      {"NEXT\nWEND\nEND IF\n", "'NEXT' without the statement it closes"},
      {"x = 1e999\n", "is too large"},
      {"x = 1" + std::string(100000, '+') + "1", "expression nested too deeply"},
      {[] {
         std::string chain = "x = 1";
         for (int k = 0; k < 3000; ++k) chain += " + 1";
         return chain;
       }(),
       "expression too long"},
      {[] {
         std::string chain;
         for (int k = 0; k < 3000; ++k) chain += "IF 1 THEN ";
         return chain + "x = 1";
       }(),
       "statements nested too deeply"},
  };
  for (const auto& c : cases) {
    const vlmc::Result r = Translate(c.source);
    EXPECT_FALSE(r.ok) << c.message;
    EXPECT_NE(r.diagnostics.find(c.message), std::string::npos) << r.diagnostics;
  }
  std::string nested;
  for (int k = 0; k < 300; ++k) nested += "WHILE 1\n";
  EXPECT_NE(Translate(nested).diagnostics.find("blocks nested too deeply"), std::string::npos);
}

TEST(Translator, StopsAfterTwentyErrors) {
  std::string source;
  for (int k = 0; k < 50; ++k) source += "x = )\n";
  const vlmc::Result r = Translate(source);
  EXPECT_EQ(Count(r.diagnostics, "t.bas:"), 20u);
  EXPECT_NE(r.diagnostics.find("t.bas:20:"), std::string::npos);
  EXPECT_EQ(r.diagnostics.find("t.bas:21:"), std::string::npos);
}

TEST(Translator, ClosesWithALineAtTheErrorLimitAndSortsByLine) {
  std::string source;
  for (int k = 0; k < 50; ++k) source += "x = )\n";
  EXPECT_NE(Translate(source).diagnostics.find("vlmc: stopped after 20 errors\n"), std::string::npos);
  EXPECT_EQ(Translate("x = )\n").diagnostics.find("stopped"), std::string::npos);
  // A checker error on line 1 comes before a syntax error on line 3.
  const std::string d = Translate("PRINT nothing\nFUNCTION f()\n  y = (\nEND FUNCTION\n").diagnostics;
  EXPECT_LT(d.find("t.bas:1:7:"), d.find("t.bas:3:"));
  EXPECT_NE(d.find("t.bas:3:"), std::string::npos);
}

// Runtime operations are called as ::Name, the program's routines as
// t::Name, so a routine named like a runtime operation meets no overload of
// it; names renamed for C++ never meet a name the program already has.
TEST(Translator, CallsAreQualifiedAndRenamedNamesNeverMeet) {
  const vlmc::Result r = Translate(
      "FUNCTION Find(a$, b$)\n  RETURN 1\nEND FUNCTION\nTrunc = 1\nu_Trunc = 2\nu2_Trunc = 3\nNULL = 4\n"
      "PRINT Find(\"a\", \"b\") + INSTR(\"ab\", \"b\") + Trunc + u_Trunc + u2_Trunc + NULL\n");
  ASSERT_TRUE(r.ok) << r.diagnostics;
  const std::string code = Module0(r);
  EXPECT_NE(code.find("t::Find(BasicString(\"a\"), BasicString(\"b\"))"), std::string::npos) << code;
  EXPECT_NE(code.find("::VlmInstr("), std::string::npos);
  for (const char* declared : {"Number u_Trunc;", "Number u_u_Trunc;", "Number u_u2_Trunc;", "Number u_NULL;"})
    EXPECT_EQ(Count(code, declared), 1u) << declared << "\n" << code;
  // The debugger still sees the BASIC names.
  EXPECT_NE(code.find("VLM_LOCAL_AS(u_u_Trunc, \"u_Trunc\");"), std::string::npos);
}

TEST(Translator, TextAppendedToItselfGrowsInPlace) {
  const struct {
    const char* assignment;
    const char* code;
  } cases[] = {
      {"s$ = s$ + \"x\"", "s_Str += \"x\";"},
      {"s$ = s$ + a$ + \"y\"", "(s_Str += a_Str) += \"y\";"},
      {"s$ = s$ + s$", "s_Str += s_Str;"},
      // A later part reads the text itself: it must see the old value.
      {"s$ = s$ + \"y\" + s$", "s_Str = ((s_Str + BasicString(\"y\")) + s_Str);"},
      {"s$ = a$ + s$", "s_Str = (a_Str + s_Str);"},
  };
  for (const auto& c : cases) {
    const vlmc::Result r = Translate(std::string("s$ = \"\"\na$ = \"a\"\n") + c.assignment + "\n");
    ASSERT_TRUE(r.ok) << r.diagnostics;
    EXPECT_NE(Module0(r).find(c.code), std::string::npos) << c.assignment << "\n" << Module0(r);
  }
}

TEST(Translator, ByteOrderMarkIsSkipped) {
  const vlmc::Result r = Translate("\xEF\xBB\xBFx = 1\nPRINT x\n");
  EXPECT_TRUE(r.ok) << r.diagnostics;
  const vlmc::Result bad = Translate("\xEF\xBB\xBFx = (\n");
  EXPECT_EQ(bad.diagnostics.find("unexpected byte"), std::string::npos) << bad.diagnostics;
  EXPECT_EQ(bad.diagnostics.rfind("t.bas:1:6: expected a value", 0), 0u) << bad.diagnostics;
}

TEST(Translator, ProgramNamesAreIdentifiers) {
  EXPECT_TRUE(vlmc::IsProgramName("polyvane"));
  EXPECT_TRUE(vlmc::IsProgramName("net_chat2"));
  EXPECT_FALSE(vlmc::IsProgramName("net-chat"));
  EXPECT_FALSE(vlmc::IsProgramName("2d"));
  EXPECT_FALSE(vlmc::IsProgramName("class"));
  EXPECT_FALSE(vlmc::IsProgramName(""));
}

// The reserved-word test has a table of its own: it must agree with the list in any letter case,
// for every name of up to three letters and every keyword with one character changed, added or
// taken away.
TEST(Translator, ReservedWordsInAnyLetterCaseAndNoOtherName) {
  const std::set<std::string>& words = vlmc::Keywords();
  ASSERT_GE(words.size(), 50u);
  std::vector<std::string> wrong;
  const auto check = [&](const std::string& name) {
    if (vlmc::IsKeyword(name) != (words.count(vlmc::Upper(name)) > 0)) wrong.push_back(name);
  };
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (const std::string& w : words) {
    std::string lower = w, mixed = w;
    for (size_t k = 0; k < w.size(); ++k) {
      lower[k] = static_cast<char>(w[k] - 'A' + 'a');
      if (k % 2) mixed[k] = lower[k];
    }
    for (const std::string& spelled : {w, lower, mixed})
      if (!vlmc::IsKeyword(spelled)) wrong.push_back(spelled);
    for (const char extra : std::string("S$%_1")) check(w + extra);
    check(w.substr(1));
    check(w.substr(0, w.size() - 1));
    for (size_t k = 0; k < w.size(); ++k)
      for (const char c : alphabet + "_9") {
        std::string changed = w;
        changed[k] = c;
        check(changed);
      }
  }
  for (const char a : alphabet) {
    check(std::string(1, a));
    for (const char b : alphabet) {
      check(std::string{a, b});
      for (const char c : alphabet) check(std::string{a, b, c});
    }
  }
  EXPECT_FALSE(vlmc::IsKeyword(""));
  EXPECT_FALSE(vlmc::IsKeyword("CONTINUED"));
  EXPECT_TRUE(vlmc::IsKeyword("Continue"));
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " names judged wrongly, the first: " << wrong.front();
}

TEST(TranslatorCommandLine, HelpVersionAndAnOutputFolderItMakes) {
  testing_support::TempDir tmp;
  const auto help = testing_support::RunProgram(VLMC_TOOL, {"--help"}, tmp.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: vlmc --program NAME --out DIR"), std::string::npos) << help.out;
  const auto version = testing_support::RunProgram(VLMC_TOOL, {"--version"}, tmp.path());
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("vlmc ", 0), 0u) << version.out;
  const std::string source = tmp.File("p.bas");
  { std::ofstream(source) << "PRINT 1\n"; }
  const std::string out = tmp.File("made/deeper");
  const auto run = testing_support::RunProgram(VLMC_TOOL, {"--program", "p", "--out", out, source}, tmp.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(out + "/p_program.cpp"));
  const auto bad = testing_support::RunProgram(VLMC_TOOL, {"--frobnicate"}, tmp.path());
  EXPECT_EQ(bad.exitCode, 2);
}

// Labels and statements outside the routines of a later module are refused;
// inside its routines they are at home.
TEST(Translator, OnlyTheFirstModuleHoldsTheMainProgram) {
  const vlmc::Result r =
      vlmc::Translate({{"main.bas", "PRINT 1\n"}, {"more.bas", "again:\nPRINT 2\nSUB s\n  here:\n  PRINT 3\nEND SUB\n"}},
                      vlmc::Options{"p", true, true});
  EXPECT_EQ(r.diagnostics,
            "more.bas:1:1: labels outside a FUNCTION belong in the main program (the first module)\n  again:\n  ^\n"
            "more.bas:2:1: statements outside a FUNCTION belong in the main program (the first module)\n  PRINT 2\n  ^\n");
}

// CONSTs stand wherever a constant is needed: field sizes (before or after
// the TYPE) and PROJECT settings, which also take constant expressions.
TEST(Translator, ConstantsSizeFieldsAndFillSettings) {
  const vlmc::Result r = Translate(
      "CONST N = 4\nTYPE T\n  a[N], b[M, 2]\nEND TYPE\nCONST M = N + 1, TITLE$ = \"Level \" + \"one\"\n"
      "PROJECT ScreenWidth = 2 * 320, ScreenHeight = M * 96, AppTitle = TITLE$ + \"!\", FrameRate = -1\n"
      "DIM t AS T\nPRINT t.a[3] + t.b[4, 1]\n");
  ASSERT_TRUE(r.ok) << r.diagnostics;
  std::string program, header;
  for (const vlmc::OutputFile& f : r.files) {
    if (f.name == "t_program.cpp") program = f.text;
    if (f.name == "t.h") header = f.text;
  }
  for (const char* set : {"s.ScreenWidth = 640;", "s.ScreenHeight = 480;", "s.AppTitle = \"Level one!\";",
                          "s.FrameRate = -1;"})
    EXPECT_NE(program.find(set), std::string::npos) << set << "\n" << program;
  EXPECT_NE(header.find("::DimArray(a, 4); ::DimArray(b, 5, 2);"), std::string::npos) << header;
}

// A source that is no text is one error at its first bad byte, and the
// module goes no further. Bytes outside UTF-8 (an 8-bit code page's letters
// in a text) are taken up to the limit; valid UTF-8 of every length, and
// the byte order mark, never count.
TEST(Translator, ASourceThatIsNotTextIsOneErrorAtItsFirstBadByte) {
  const std::string foreign64(64, '\xE9'), foreign65(65, '\xE9');
  const struct {
    std::string source;
    const char* diagnostics;  // nullptr: translates
  } cases[] = {
      {"x = 1\nPRINT \"" + foreign64 + "\"\n", nullptr},
      {"x = 1\nPRINT \"" + foreign65 + "\"\n",
       "t.bas:2:8: this is not a text file: more than 64 bytes are not UTF-8, the first here\n"},
      {"x = 1\nPRINT \"ab\" ' \xC3" + foreign64 + "\n",
       "t.bas:2:14: this is not a text file: more than 64 bytes are not UTF-8, the first here\n"},
      {"\xEF\xBB\xBF" + std::string("x = 1\0", 6), "t.bas:1:6: this is not a text file: it holds a NUL byte here\n"},
      // The mark shifts the first line's columns only.
      {"\xEF\xBB\xBF" + std::string("x = 1\ny = 2\0", 12), "t.bas:2:6: this is not a text file: it holds a NUL byte here\n"},
      {std::string("\0", 1) + "x = (\n", "t.bas:1:1: this is not a text file: it holds a NUL byte here\n"},
  };
  for (const auto& c : cases) {
    const vlmc::Result r = Translate(c.source);
    if (c.diagnostics == nullptr) {
      EXPECT_TRUE(r.ok) << r.diagnostics;
    } else {
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.diagnostics, c.diagnostics);
    }
  }
}

// Each byte of a sequence that is no UTF-8 character counts: after a
// sequence of n such bytes, 65 - n foreign bytes are one too many. A
// character of UTF-8 counts nothing: 64 foreign bytes after it are taken.
TEST(Translator, EveryByteOutsideUtf8CountsAndNoCharacterDoes) {
  const char* const bad[] = {
      "\xC0\x80",         "\xC1\xBF",          // two-byte overlong forms
      "\xE0\x80\x80",     "\xE0\x9F\xBF",      // three-byte overlong forms
      "\xED\xA0\x80",     "\xED\xBF\xBF",      // surrogates
      "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",  // four-byte overlong forms
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",  // past U+10FFFF
      "\xF8",             "\xFF",     "\x80", "\xBF",  // no lead byte
      "\xE2\x82 ",        "\xC3 ",     "\xF0\x9F\x98 ",  // cut characters (the space is text)
  };
  for (const char* sequence : bad) {
    const std::string form = sequence;
    const size_t n = form.back() == ' ' ? form.size() - 1 : form.size();
    const std::string source = "PRINT \"" + form + std::string(65 - n, '\xE9') + "\"\n";
    EXPECT_EQ(Translate(source).diagnostics,
              "t.bas:1:8: this is not a text file: more than 64 bytes are not UTF-8, the first here\n")
        << testing::PrintToString(form);
    EXPECT_TRUE(Translate("PRINT \"" + form + std::string(64 - n, '\xE9') + "\"\n").ok) << testing::PrintToString(form);
  }
  const char* const good[] = {"\xC2\x80",         "\xDF\xBF",         "\xE0\xA0\x80",     "\xE1\x80\x80",
                              "\xED\x9F\xBF",     "\xEE\x80\x80",     "\xEF\xBF\xBF",     "\xF0\x90\x80\x80",
                              "\xF3\xBF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xC3\xA9\xE2\x82\xAC"};
  for (const char* character : good) {
    std::string many;
    for (int k = 0; k < 70; ++k) many += character;
    const vlmc::Result r = Translate("PRINT \"" + many + std::string(64, '\xE9') + "\"\n");
    EXPECT_TRUE(r.ok) << testing::PrintToString(std::string(character)) << r.diagnostics;
  }
}

// A module over the limit is refused by the library too, with the line the
// command line writes; one of exactly the limit translates.
TEST(Translator, AModuleOverTheSizeLimitIsRefused) {
  std::string source = "PRINT 1\n'";
  source.resize(vlmc::kMaxSourceBytes, 'c');
  EXPECT_TRUE(Translate(source).ok) << Translate(source).diagnostics.substr(0, 200);
  source += 'c';
  const vlmc::Result r = Translate(source);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.diagnostics, "t.bas: the file holds more than 16777216 bytes (16 MiB), the most a module may hold\n");
}

// A long line is shown cut to 60 bytes each side of the caret, never inside
// a UTF-8 character; a short one whole.
TEST(Translator, ALongLineIsShownAroundTheCaret) {
  const std::string left = "s$ = \"" + std::string(100, 'a') + "\xC3\xA9" + std::string(55, 'b') + "\" + ";
  const std::string right = "'" + std::string(57, ' ') + "\xE2\x82\xAC" + std::string(100, ' ') + "+ 1";
  const vlmc::Result r = Translate("x = 1\n" + left + ")" + right + "\n");
  // The cut on the left falls inside the two-byte letter, so it starts after it.
  EXPECT_EQ(r.diagnostics, "t.bas:2:" + std::to_string(left.size() + 1) + ": expected a value, found ')'\n  ..." +
                               std::string(55, 'b') + "\" + )'" + std::string(57, ' ') + "...\n     " +
                               std::string(59, ' ') + "^\n");
  const vlmc::Result tabs = Translate("\tx = (\n");
  EXPECT_EQ(tabs.diagnostics, "t.bas:1:7: expected a value, found the end of the line\n  \tx = (\n  \t     ^\n");
}

// --------------------------------------------------------- hostile files given to the command line

// vlmc --check on a file, in a child whose address space is capped (MiB)
// and that is killed after the given seconds. The address sanitizer maps
// terabytes of shadow memory at start-up, so under it only the time and
// the output bound the child.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kCappedCheck = "exec \"$1\" --check \"$2\"";
#else
constexpr const char* kCappedCheck = "ulimit -v $0 && exec \"$1\" --check \"$2\"";
#endif

testing_support::ChildResult CheckBounded(const std::string& file, int mebibytes, int seconds) {
  return testing_support::RunProgram("/bin/sh", {"-c", kCappedCheck, std::to_string(mebibytes * 1024), VLMC_TOOL, file},
                                     "", {}, "", seconds);
}

TEST(TranslatorCommandLine, TenMegabytesOfNulBytesAreOneLine) {
  testing_support::TempDir tmp;
  const std::string file = tmp.File("nul.bas");
  testing_support::WriteWholeFile(file, "x = 1\nPRINT " + std::string(10 << 20, '\0'));
  const auto run = CheckBounded(file, 96, 30);
  EXPECT_EQ(run.exitCode, 1) << run.err.substr(0, 500);
  EXPECT_EQ(run.err, file + ":2:7: this is not a text file: it holds a NUL byte here\n");
}

// Over the limit a file is refused by its size, unread: a sparse gigabyte
// in a space that could not hold it, and a device that never ends once it
// gave one byte more. A file of exactly the limit is read and translated.
TEST(TranslatorCommandLine, SourcesOverTheSizeLimitAreRefusedUnread) {
  testing_support::TempDir tmp;
  const std::string sparse = tmp.File("sparse.bas");
  testing_support::WriteWholeFile(sparse, "PRINT 1\n");
  std::filesystem::resize_file(sparse, std::uintmax_t{1} << 30);
  const auto refused = CheckBounded(sparse, 64, 10);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, sparse + ": the file holds more than 16777216 bytes (16 MiB), the most a module may hold\n");
  const auto endless = CheckBounded("/dev/zero", 96, 30);
  EXPECT_EQ(endless.exitCode, 1);
  EXPECT_EQ(endless.err, "/dev/zero: the file holds more than 16777216 bytes (16 MiB), the most a module may hold\n");
  const std::string edge = tmp.File("edge.bas");
  std::string text = "PRINT 1\n'";
  text.resize(vlmc::kMaxSourceBytes, 'c');
  testing_support::WriteWholeFile(edge, text);
  const auto taken = CheckBounded(edge, 256, 60);
  EXPECT_EQ(taken.exitCode, 0) << taken.err.substr(0, 500);
  EXPECT_EQ(taken.err, "");
  testing_support::WriteWholeFile(edge, text + "c");
  const auto over = CheckBounded(edge, 256, 60);
  EXPECT_EQ(over.exitCode, 1);
  EXPECT_EQ(over.err, edge + ": the file holds more than 16777216 bytes (16 MiB), the most a module may hold\n");
}

TEST(TranslatorCommandLine, ForeignBytesPastTheLimitAreOneLine) {
  testing_support::TempDir tmp;
  const std::string file = tmp.File("latin.bas");
  testing_support::WriteWholeFile(file, "x = 1\nPRINT \"" + std::string(5 << 20, '\xE9') + "\"\n");
  const auto run = CheckBounded(file, 96, 30);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, file + ":2:8: this is not a text file: more than 64 bytes are not UTF-8, the first here\n");
}

// A 15 MiB line with an error in its middle: the message, the 121 bytes
// around the caret and the caret, not the line.
TEST(TranslatorCommandLine, AnErrorInAHugeLineShowsItsContext) {
  testing_support::TempDir tmp;
  const std::string file = tmp.File("long.bas");
  const std::string text(15 << 20, 't');
  const size_t half = text.size() / 2;
  const std::string source = "s$ = \"" + text.substr(0, half) + "\" + ) '" + text.substr(half) + "\n";
  testing_support::WriteWholeFile(file, source);
  const auto run = CheckBounded(file, 160, 60);
  EXPECT_EQ(run.exitCode, 1);
  const size_t caret = source.find(')');
  EXPECT_EQ(run.err, file + ":1:" + std::to_string(caret + 1) + ": expected a value, found ')'\n  ..." +
                         source.substr(caret - 60, 121) + "...\n     " + std::string(60, ' ') + "^\n");
}

// Past 20 errors nothing more is read or checked: a line of ten million bad
// characters, and 200,000 assignments of unknown names (each of which would
// be compared with every name before it) after the twentieth error.
TEST(TranslatorCommandLine, StopsAtTheErrorLimitWithoutReadingOrCheckingTheRest) {
  testing_support::TempDir tmp;
  const std::string bad = tmp.File("bad.bas");
  testing_support::WriteWholeFile(bad, "x = 1\n" + std::string(10000000, '@') + "\n");
  const auto characters = CheckBounded(bad, 96, 30);
  EXPECT_EQ(characters.exitCode, 1);
  EXPECT_EQ(Count(characters.err, "unexpected character '@'\n"), 20u);
  EXPECT_NE(characters.err.find(bad + ":2:20: unexpected character '@'\n"), std::string::npos);
  EXPECT_EQ(characters.err.find(bad + ":2:21:"), std::string::npos);
  EXPECT_EQ(characters.err.substr(characters.err.size() - 30), "vlmc: stopped after 20 errors\n");
  const std::string unknown = tmp.File("unknown.bas");
  std::ostringstream text;
  text << "FOR i = 1 TO 2\n";
  for (int k = 1; k <= 25; ++k) text << "PRINT gone" << k << "\n";
  for (int k = 1; k <= 200000; ++k) text << "v" << k << " = u" << k << "\n";
  text << "NEXT\n";
  testing_support::WriteWholeFile(unknown, text.str());
  const auto names = CheckBounded(unknown, 512, 60);
  EXPECT_EQ(names.exitCode, 1);
  EXPECT_EQ(Count(names.err, unknown + ":"), 20u) << names.err.substr(0, 300);
  EXPECT_NE(names.err.find(unknown + ":21:7: unknown variable 'gone20'\n"), std::string::npos) << names.err;
  EXPECT_EQ(names.err.find("gone21"), std::string::npos);
  EXPECT_EQ(names.err.substr(names.err.size() - 30), "vlmc: stopped after 20 errors\n");
}

// The jumps are resolved after the walk: past 20 unknown labels neither the
// GOTOs nor the RESTOREs after them are looked up (each would be compared
// with all 60,000 labels).
TEST(TranslatorCommandLine, StopsResolvingJumpsAtTheErrorLimit) {
  testing_support::TempDir tmp;
  const std::string file = tmp.File("jumps.bas");
  std::ostringstream text;
  constexpr int kLabels = 60000;
  for (int k = 1; k <= kLabels; ++k) text << "l" << k << ":\n";
  for (int k = 1; k <= kLabels; ++k) text << "GOTO m" << k << "\n";
  for (int k = 1; k <= kLabels; ++k) text << "RESTORE m" << k << "\n";
  testing_support::WriteWholeFile(file, text.str());
  const auto run = CheckBounded(file, 512, 60);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Count(run.err, ": unknown label 'm"), 20u) << run.err.substr(0, 300);
  EXPECT_NE(run.err.find(file + ":" + std::to_string(kLabels + 20) + ":1: unknown label 'm20'"), std::string::npos);
  EXPECT_EQ(run.err.find("RESTORE"), std::string::npos);
  EXPECT_EQ(run.err.substr(run.err.size() - 30), "vlmc: stopped after 20 errors\n");
}

}  // namespace

namespace {

std::string ProgramFile(const vlmc::Result& r) {
  for (const vlmc::OutputFile& f : r.files)
    if (f.name == "t_program.cpp") return f.text;
  return "";
}

// Settings given from outside (a project file) are set first, in their
// order, so that the program's own PROJECT statements set them last.
TEST(Translator, SettingsFromOutsideComeBeforeThePrograms) {
  vlmc::Options options;
  options.program = "t";
  options.settings = {{"ScreenWidth", false, 320, ""}, {"AppTitle", true, 0, "Given"}, {"FrameRate", false, -1, ""}};
  const vlmc::Result r = vlmc::Translate({{"t.bas", "PROJECT ScreenWidth = 400\nPRINT 1\n"}}, options);
  ASSERT_TRUE(r.ok) << r.diagnostics;
  const std::string code = ProgramFile(r);
  const size_t given = code.find("s.ScreenWidth = 320;"), title = code.find("s.AppTitle = \"Given\";"),
               rate = code.find("s.FrameRate = -1;"), own = code.find("s.ScreenWidth = 400;");
  ASSERT_NE(given, std::string::npos) << code;
  ASSERT_NE(title, std::string::npos) << code;
  ASSERT_NE(rate, std::string::npos) << code;
  ASSERT_NE(own, std::string::npos) << code;
  EXPECT_LT(given, title);
  EXPECT_LT(title, rate);
  EXPECT_LT(rate, own);
  // The names and kinds the project file is checked against.
  EXPECT_EQ(vlmc::SettingKind("ScreenWidth"), 'n');
  EXPECT_EQ(vlmc::SettingKind("AppTitle"), 't');
  EXPECT_EQ(vlmc::SettingKind("screenwidth"), 0);
  const std::vector<std::string> names = vlmc::SettingNames();
  EXPECT_EQ(names.front(), "ScreenWidth");
  EXPECT_EQ(names.back(), "AppTitle");
  EXPECT_EQ(names.size(), 8u);
}

}  // namespace
