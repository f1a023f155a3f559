// The language server's parts without a client: the message reader over
// streams cut anywhere, editor positions in UTF-16 and UTF-8 against byte
// columns, and the index of a checked program across modules (each name's
// definition and uses, CONSTs, fields, labels, the runtime's operations).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis.h"
#include "bindings.h"
#include "message_reader.h"
#include "text.h"

namespace {

using vlmls::MessageReader;

struct Read {
  std::vector<std::string> bodies;
  std::vector<std::string> errors;
};

Read Feed(const std::string& stream, size_t piece, size_t limit) {
  MessageReader reader(limit);
  Read out;
  for (size_t at = 0; at < stream.size(); at += piece) {
    reader.Feed(std::string_view(stream).substr(at, piece));
    for (;;) {
      std::string body, error;
      const auto status = reader.Next(&body, &error);
      if (status == MessageReader::Status::NeedMore) break;
      if (status == MessageReader::Status::Message) out.bodies.push_back(body);
      else out.errors.push_back(error);
    }
    EXPECT_LE(reader.Buffered(), vlmls::kMaxHeader + 4 + limit);
  }
  return out;
}

std::string Framed(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; }

TEST(MessageReader, CutsStreamsIntoBodiesAndSkipsWhatIsNoMessage) {
  const std::string a = R"({"id":1})", b = R"({"id":2,"method":"x"})";
  struct Case {
    const char* what;
    std::string stream;
    std::vector<std::string> bodies;
    std::vector<std::string> errorWords;
  } cases[] = {
      {"two messages", Framed(a) + Framed(b), {a, b}, {}},
      {"other header fields, any letter case", "Content-Type: x\r\ncontent-LENGTH:  8 \r\n\r\n" + a, {a}, {}},
      {"an empty body", Framed(""), {""}, {}},
      {"no length", "Content-Type: x\r\n\r\n" + Framed(a), {a}, {"no Content-Length"}},
      {"a length that is no number", "Content-Length: 1e3\r\n\r\n" + Framed(a), {a}, {"not a number"}},
      {"a body over the limit, then one within", "Content-Length: 300\r\n\r\n" + std::string(300, 'x') + Framed(b),
       {b}, {"over the limit"}},
      {"junk before a message", "garbage}" + Framed(a), {a}, {"no Content-Length"}},
      {"junk without a header end", std::string(5000, 'j') + Framed(b), {b}, {"longer than"}},
      {"a length too short: its rest is junk", "Content-Length: 3\r\n\r\n" + a + Framed(b), {a.substr(0, 3), b},
       {"no Content-Length"}},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{7}, c.stream.size()}) {
      const Read r = Feed(c.stream, piece, 256);
      EXPECT_EQ(r.bodies, c.bodies) << c.what << ", pieces of " << piece;
      ASSERT_GE(r.errors.size(), c.errorWords.size()) << c.what;
      for (size_t k = 0; k < c.errorWords.size(); ++k)
        EXPECT_NE(r.errors[k].find(c.errorWords[k]), std::string::npos) << c.what << ": " << r.errors[k];
      if (c.errorWords.empty()) {
        EXPECT_TRUE(r.errors.empty()) << c.what << ": " << r.errors.front();
      }
    }
  }
}

TEST(MessageReader, DropsARefusedBodyAsItArrivesWithoutHoldingIt) {
  MessageReader reader(1024);
  reader.Feed("Content-Length: 1000000000\r\n\r\n");
  std::string body, error;
  ASSERT_EQ(reader.Next(&body, &error), MessageReader::Status::Error);
  EXPECT_NE(error.find("1000000000 bytes is over the limit of 1024"), std::string::npos) << error;
  const std::string chunk(1 << 20, '[');
  size_t fed = 0;
  while (reader.Skipping() > chunk.size()) {
    reader.Feed(chunk);
    fed += chunk.size();
    ASSERT_EQ(reader.Next(&body, &error), MessageReader::Status::NeedMore);
    ASSERT_EQ(reader.Buffered(), 0u);
    ASSERT_EQ(reader.Skipping(), 1000000000u - fed);
  }
  reader.Feed(std::string(reader.Skipping(), ']') + Framed("{}"));
  ASSERT_EQ(reader.Next(&body, &error), MessageReader::Status::Message);
  EXPECT_EQ(body, "{}");
}

TEST(Text, EditorCharactersAgainstBytes) {
  // "é" is 2 bytes and 1 UTF-16 unit, "€" 3 bytes and 1 unit, "𝄞" 4 bytes and 2 units.
  const std::string line = "a$ = \"\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\" + b$";
  const size_t b = line.find("b$");
  EXPECT_EQ(vlmls::CharactersOf(line, b, vlmls::Encoding::Utf16), 14);
  EXPECT_EQ(vlmls::CharactersOf(line, b, vlmls::Encoding::Utf8), static_cast<int>(b));
  EXPECT_EQ(vlmls::BytesOf(line, 14, vlmls::Encoding::Utf16), b);
  EXPECT_EQ(vlmls::BytesOf(line, 7, vlmls::Encoding::Utf16), 8u);  // after "é"
  EXPECT_EQ(vlmls::BytesOf(line, 1000, vlmls::Encoding::Utf16), line.size());
  const std::string text = "x = 1\r\n" + line + "\n";
  const vlmls::LineIndex index(text);
  EXPECT_EQ(index.Line(text, 0), "x = 1");
  EXPECT_EQ(vlmls::OffsetOf(text, index, {1, 14}, vlmls::Encoding::Utf16), 7 + b);
  EXPECT_EQ(vlmls::OffsetOf(text, index, {9, 0}, vlmls::Encoding::Utf16), text.size());
  EXPECT_EQ(vlmls::NameStartBefore(line, b + 2), b);
  EXPECT_EQ(vlmls::NameLengthAt(line, b), 2u);
}

// The place of the n-th (0-based) `name` written in a module's text.
vlmls::Place Nth(const std::vector<vlmc::SourceFile>& modules, int module, const std::string& name, int n) {
  const std::string& text = modules[static_cast<size_t>(module)].text;
  size_t at = 0;
  for (int seen = -1;; ++at) {
    at = text.find(name, at);
    if (at == std::string::npos) return {};
    const bool starts = at == 0 || !vlmls::IsNameByte(text[at - 1]);
    if (starts && vlmls::NameLengthAt(text, at) == name.size() && ++seen == n) break;
  }
  const vlmls::LineIndex index(text);
  int line = 0;
  while (line + 1 < index.Lines() && index.Start(line + 1) <= at) ++line;
  return {module, line + 1, static_cast<int>(at - index.Start(line)) + 1, static_cast<int>(name.size())};
}

TEST(Analysis, IndexesEveryNameOfAProgramAcrossItsModules) {
  const std::vector<vlmc::SourceFile> modules = {
      {"main.bas",
       "GLOBAL frames\nCONST Limit = 3\nTYPE Point\n  x, y\nEND TYPE\nDIM p AS Point\np.x = Limit\n"
       "frames = Area(p.x, Limit)\nagain:\nframes = frames + 1\nIF frames < Limit THEN GOTO again\n"
       "DrawRect(0, 0, p.x, p.y, 1)\n"},
      {"shapes.bas", "FUNCTION Area(w, h)\n  LOCAL a\n  a = w * h + frames\n  RETURN a\nEND FUNCTION\n"},
  };
  const vlmls::Analysis a = vlmls::Analyze(modules);
  ASSERT_TRUE(a.checked);
  EXPECT_TRUE(a.problems.empty()) << a.problems.front().message;
  struct Expect {
    std::string name;
    vlmls::SymbolKind kind;
    vlmls::Place definition;
    std::vector<vlmls::Place> uses;
  };
  const auto m = [&](int module, const char* name, int n) { return Nth(modules, module, name, n); };
  const Expect expected[] = {
      {"frames", vlmls::SymbolKind::Global, m(0, "frames", 0),
       {m(0, "frames", 1), m(0, "frames", 2), m(0, "frames", 3), m(0, "frames", 4), m(1, "frames", 0)}},
      {"Limit", vlmls::SymbolKind::Constant, m(0, "Limit", 0), {m(0, "Limit", 1), m(0, "Limit", 2), m(0, "Limit", 3)}},
      {"Point", vlmls::SymbolKind::Type, m(0, "Point", 0), {m(0, "Point", 1)}},
      {"x", vlmls::SymbolKind::Field, m(0, "x", 0), {m(0, "x", 1), m(0, "x", 2), m(0, "x", 3)}},
      {"Area", vlmls::SymbolKind::Function, m(1, "Area", 0), {m(0, "Area", 0)}},
      {"a", vlmls::SymbolKind::Local, m(1, "a", 0), {m(1, "a", 1), m(1, "a", 2)}},
      {"w", vlmls::SymbolKind::Parameter, m(1, "w", 0), {m(1, "w", 1)}},
      {"p", vlmls::SymbolKind::Local, m(0, "p", 0), {m(0, "p", 1), m(0, "p", 2), m(0, "p", 3), m(0, "p", 4)}},
      {"again", vlmls::SymbolKind::Label, m(0, "again", 0), {m(0, "again", 1)}},
  };
  const auto same = [](const vlmls::Place& x, const vlmls::Place& y) {
    return x.module == y.module && x.line == y.line && x.column == y.column && x.length == y.length;
  };
  for (const Expect& e : expected) {
    const vlmls::Symbol* s = nullptr;
    for (const vlmls::Symbol& candidate : a.symbols)
      if (candidate.name == e.name && candidate.kind == e.kind) s = &candidate;
    ASSERT_NE(s, nullptr) << e.name;
    EXPECT_TRUE(same(s->at, e.definition)) << e.name << " defined at " << s->at.line << ":" << s->at.column;
    ASSERT_EQ(s->uses.size(), e.uses.size()) << e.name;
    for (size_t k = 0; k < e.uses.size(); ++k)
      EXPECT_TRUE(same(s->uses[k], e.uses[k])) << e.name << " use " << k << " at " << s->uses[k].line << ":"
                                               << s->uses[k].column;
    // Every place of the name finds the symbol again.
    const vlmls::Occurrence* o = a.At(e.definition.module, e.definition.line, e.definition.column + 1);
    ASSERT_NE(o, nullptr) << e.name;
    EXPECT_EQ(&a.symbols[static_cast<size_t>(o->symbol)], s) << e.name;
  }
  const vlmls::Place call = m(0, "DrawRect", 0);
  const vlmls::Occurrence* o = a.At(0, call.line, call.column);
  ASSERT_NE(o, nullptr);
  ASSERT_NE(o->binding, nullptr);
  EXPECT_STREQ(o->binding->name, "DrawRect");
  EXPECT_EQ(a.RoutineAt(1, 3), a.Visible("Area", 0, 1));
  EXPECT_EQ(a.RoutineAt(0, 3), -1);
}

TEST(Analysis, ReportsTheTranslatorsErrorsWithTheirPlaces) {
  const std::vector<vlmc::SourceFile> modules = {
      {"main.bas", "\xEF\xBB\xBFwidth = 4\nx = widht + Twice(1)\nCONST k = 1, k = 2\n"},
      {"more.bas", "FUNCTION Twice(v)\n  RETURN v * 2 +\nEND FUNCTION\n"},
  };
  const vlmls::Analysis a = vlmls::Analyze(modules);
  ASSERT_EQ(a.problems.size(), 3u);
  // An error with a second place: the note goes with it, not as an error of its own.
  EXPECT_EQ(a.problems[1].message, "CONST k is defined twice");
  EXPECT_EQ(a.problems[1].at.column, 14);
  ASSERT_TRUE(a.problems[1].hasNote);
  EXPECT_EQ(a.problems[1].note, "the first CONST k is here");
  EXPECT_EQ(a.problems[1].noteAt.line, 3);
  EXPECT_EQ(a.problems[1].noteAt.column, 7);
  EXPECT_EQ(a.problems[1].noteAt.length, 1);
  EXPECT_EQ(a.problems[0].at.module, 0);
  EXPECT_EQ(a.problems[0].at.line, 2);
  EXPECT_EQ(a.problems[0].at.column, 5);
  EXPECT_EQ(a.problems[0].at.length, 5);
  EXPECT_EQ(a.problems[0].message, "unknown variable 'widht'; did you mean 'width'?");
  EXPECT_EQ(a.problems[2].at.module, 1);
  EXPECT_EQ(a.problems[2].at.line, 2);
  EXPECT_GE(a.problems[2].at.length, 1);
}

}  // namespace
