// The typed-character queue, UTF-8 into the 8-bit code page, and what keys
// type.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "gl/gl_ext.h"
#include "input/input.h"
#include "input/input_internal.h"
#include "input/input_test_util.h"
#include "support/child_process.h"

using namespace input_test;

namespace {

std::string PopAll() {
  std::string text;
  for (int32_t c = PopTypedChar(); c != 0; c = PopTypedChar()) text += static_cast<char>(c);
  return text;
}

}  // namespace

TEST(CodePage, AgreesWithPythonsWindows1252Codec) {
  // Python's codec is an independent table: what it cannot encode must come
  // out as '?', everything else as Python's byte.
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python)) GTEST_SKIP() << "python3 is not installed";
  const std::string script =
      "import sys\n"
      "out = []\n"
      "for cp in range(1, 0x3000):\n"
      "    if 0xD800 <= cp <= 0xDFFF: continue\n"
      "    try: out.append('%d %d' % (cp, chr(cp).encode('cp1252')[0]))\n"
      "    except UnicodeEncodeError: out.append('%d 63' % cp)\n"
      "print('\\n'.join(out))\n";
  testing_support::TempDir dir;
  testing_support::WriteWholeFile(dir.File("table.py"), script);
  const auto result = testing_support::RunProgram(python, {dir.File("table.py")}, "");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  int checked = 0;
  for (const std::string& line : testing_support::Lines(result.out)) {
    unsigned cp = 0, byte = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%u %u", &cp, &byte), 2);
    ASSERT_EQ(CodePointToCodePage(cp), byte) << "code point " << cp;
    ++checked;
  }
  EXPECT_GT(checked, 0x2000);
}

TEST(CodePage, Utf8TextAndMalformedSequences) {
  uint8_t out[16];
  // e-acute, the euro sign, a CJK character, a left double quote.
  int32_t n = Utf8ToCodePage("\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xE2\x80\x9C", out, 16);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(out[0], 0xE9);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_EQ(out[2], '?');
  EXPECT_EQ(out[3], 0x93);
  // A cut sequence, an overlong slash and a lone continuation byte each
  // become '?' and the text after them survives.
  n = Utf8ToCodePage("\xC3" "a\xC0\xAF" "b\x80" "c", out, 16);
  ASSERT_EQ(std::string(reinterpret_cast<char*>(out), n), "?a??b?c");
  // The capacity is respected.
  EXPECT_EQ(Utf8ToCodePage("abcdef", out, 3), 3);
}

TEST(TypedChars, QueueRules) {
  Runtime();
  ClearTypedChars();
  AddTypedChar(0);
  AddTypedChar(27);   // Escape: a control character
  AddTypedChar(13);   // Return arrives as 10
  AddTypedChar(8);
  AddTypedChar(9);
  AddTypedChar(-23);  // a signed byte: 0xE9, e-acute, must not be taken for a control code
  AddTypedChar('x');
  EXPECT_EQ(TypedCharCount(), 5);
  EXPECT_EQ(PopTypedChar(), 10);
  EXPECT_EQ(PopTypedChar(), 8);
  EXPECT_EQ(PopTypedChar(), 9);
  EXPECT_EQ(PopTypedChar(), 0xE9);
  EXPECT_EQ(PopTypedCharString(), BasicString("x"));
  EXPECT_EQ(PopTypedCharString(), BasicString(""));
  EXPECT_EQ(PopTypedChar(), 0);
  AddTypedChar('y');
  EXPECT_TRUE(PopTypedCharFlag());
  EXPECT_FALSE(PopTypedCharFlag());
}

TEST(TypedChars, TwentyCharactersBetweenFramesKeepTheFirstSixteen) {
  Runtime();
  ShowScreen();
  ClearTypedChars();
  // 20 characters: 15 letters, Return, 4 more letters.
  const std::string typed = "abcdefghijklmno\rpqrs";
  for (char c : typed) {
    if (c == '\r') {
      Key(28, true);
      Key(28, false);
    } else {
      Text(std::string(1, c).c_str());
    }
  }
  ShowScreen();
  std::string expected = typed.substr(0, 16);
  expected[15] = '\n';
  EXPECT_EQ(PopAll(), expected);
}

TEST(TypedChars, TextEventsArriveInTheCodePage) {
  Runtime();
  ClearTypedChars();
  Text("\xC3\xBC\xE2\x82\xAC!");  // u-umlaut, euro, '!'
  Key(14, true);                  // Backspace types 8
  Key(14, false);
  Key(15, true);                  // Tab types 9
  Key(15, false);
  Key(156, true);                 // keypad Enter types a line end
  Key(156, false);
  Pump();
  EXPECT_EQ(PopAll(), "\xFC\x80!\x08\x09\n");
}

TEST(TypedChars, KeyCodeToCharFollowsLayoutAndShift) {
  Runtime();
  // Without a display SDL uses its default US layout.
  EXPECT_EQ(KeyCodeToChar(14), 8);
  EXPECT_EQ(KeyCodeToChar(28), 10);
  EXPECT_EQ(KeyCodeToChar(156), 10);
  for (int code : {42, 54, 29, 56, 58, 69, 221, 1, 15, 59, 200}) EXPECT_EQ(KeyCodeToChar(code), 0) << code;
  EXPECT_EQ(KeyCodeToChar(-1), 0);
  EXPECT_EQ(KeyCodeToChar(300), 0);
  EXPECT_EQ(KeyCodeToChar(30), 'a');
  EXPECT_EQ(KeyCodeToChar(44), 'z');
  EXPECT_EQ(KeyCodeToChar(3), '2');
  EXPECT_EQ(KeyCodeToChar(57), ' ');
  EXPECT_EQ(KeyCodeToChar(181), '/');
  Key(42, true);
  Pump();
  EXPECT_EQ(KeyCodeToChar(30), 'A');
  EXPECT_EQ(KeyCodeToChar(3), '@');
  EXPECT_EQ(KeyCodeToChar(53), '?');
  Key(42, false);
  Pump();
  EXPECT_EQ(KeyCodeToChar(30), 'a');
}

TEST(TypedChars, InputLineEditsUntilReturn) {
  Runtime();
  ShowScreen();
  ClearTypedChars();
  Text("ab");
  Key(14, true);
  Key(14, false);
  Text("c7");
  Key(28, true);
  Key(28, false);
  Text("left over");
  BasicString text = "x";
  InputLine(text, 10, 10, 0);
  EXPECT_EQ(text, BasicString("xac7"));
  // What came after Return stays for the program.
  EXPECT_EQ(PopTypedChar(), 'l');

  ClearTypedChars();
  Text("-42.5");
  Key(28, true);
  Key(28, false);
  Number number = 0;
  InputLine(number, 0, 0, 1);
  EXPECT_EQ(number, -42.5);

  Text("123abc");
  Key(156, true);
  Key(156, false);
  int32_t integer = 0;
  InputLine(integer, 0, 0, 1);
  EXPECT_EQ(integer, 123);
  // The editor's copy of the screen (background 3) is gone afterwards, and
  // the background drawn behind frames was never touched.
  EXPECT_FALSE(BackgroundPresent(3));
  EXPECT_FALSE(BackgroundPresent(0));
}

namespace {

int32_t g_backgroundSeen = 0;
testing_support::Rgba g_pixelUnderText{};

// Runs inside the editor's message pump: the screen copy must be in place
// and drawn under the text.
void WatchEditor() {
  if (BackgroundPresent(3)) g_backgroundSeen = 1;
  g_pixelUnderText = testing_support::ReadPixel(500, 400);
}

}  // namespace

TEST(TypedChars, InputLineDrawsTheScreenItStartedOnUnderTheText) {
  if (testing_support::InFreshChild()) {
    static const RoutineEntry kRoutines[] = {{&WatchEditor, "VLM_WIN32_MSG"}, {nullptr, nullptr}};
    SetCallByNameTable(kRoutines);
    input_test::Runtime();
    SetClearColour(0);
    // The scene the editor starts on: a green screen.
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    input_test::Text("ok");
    input_test::Key(28, true);
    input_test::Key(28, false);
    BasicString text;
    InputLine(text, 10, 10, 0);
    std::printf("text=%s seen=%d pixel=%d,%d,%d after=%d\n", text.c_str(), g_backgroundSeen,
                g_pixelUnderText.r, g_pixelUnderText.g, g_pixelUnderText.b, BackgroundPresent(3) ? 1 : 0);
    std::fflush(stdout);
    _exit(0);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess();
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("text=ok seen=1 pixel=0,255,0 after=0"), std::string::npos) << child.out;
}
