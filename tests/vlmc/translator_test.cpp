// The translator's front end called directly: the form of its output in
// debug and release builds, statement numbering, and inputs that must give
// an error instead of a crash or a hang.
#include <gtest/gtest.h>

#include <string>

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
  EXPECT_EQ(Count(Module0(release), "VLM_LOCAL(i)"), 1u);  // variables stay registered
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
      {std::string("x = 1 \0 2\n", 10), "t.bas:1:7: unexpected byte 0"},
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

TEST(Translator, ProgramNamesAreIdentifiers) {
  EXPECT_TRUE(vlmc::IsProgramName("polyvane"));
  EXPECT_TRUE(vlmc::IsProgramName("net_chat2"));
  EXPECT_FALSE(vlmc::IsProgramName("net-chat"));
  EXPECT_FALSE(vlmc::IsProgramName("2d"));
  EXPECT_FALSE(vlmc::IsProgramName("class"));
  EXPECT_FALSE(vlmc::IsProgramName(""));
}

}  // namespace
