// The debug adapter's readers and evaluator on bytes made here: JSON, the
// protocol's framing, the translator's line map (made by the translator
// itself), ELF symbols (of a real debug-mode program), the state block and
// arrays in a fake program memory, and expressions over it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "elf_symbols.h"
#include "expression.h"
#include "framing.h"
#include "json.h"
#include "line_map.h"
#include "program_state.h"
#include "vlmc.h"

namespace {

TEST(Json, ReadsAndWritesTheGrammar) {
  const struct {
    const char* text;
    const char* written;  // null: must be refused
  } cases[] = {
      {R"({"a":[1,2.5,-0.125e2,true,false,null],"b":{"c":"x"}})", R"({"a":[1,2.5,-12.5,true,false,null],"b":{"c":"x"}})"},
      {" [ ] ", "[]"},
      {R"("\u00e9\ud83d\ude00\n\"\\\/")", "\"\xc3\xa9\xf0\x9f\x98\x80\\n\\\"\\\\/\""},
      {"1e400", "null"},  // out of range: an infinity, which JSON writes as null
      {"9007199254740993", "9007199254740992"},
      {"{\"a\":1,}", nullptr},
      {"[1 2]", nullptr},
      {"01", nullptr},
      {"\"\\ud800\"", nullptr},
      {"\"a\nb\"", nullptr},
      {"\"caf\xe9\"", nullptr},  // Latin-1, not UTF-8
      {"\"\xc3\xa9\xf0\x9f\x98\x80\"", "\"\xc3\xa9\xf0\x9f\x98\x80\""},
      {"tru", nullptr},
      {"{} {}", nullptr},
      {"", nullptr},
      {"-", nullptr},
      {"1.", nullptr},
  };
  for (const auto& c : cases) {
    json::Value v;
    std::string error;
    const bool ok = json::Parse(c.text, &v, &error);
    if (c.written == nullptr) {
      EXPECT_FALSE(ok) << c.text;
      EXPECT_NE(error.find("at byte"), std::string::npos) << c.text;
    } else {
      ASSERT_TRUE(ok) << c.text << ": " << error;
      EXPECT_EQ(json::Write(v), c.written) << c.text;
    }
  }
  std::string deep(300, '[');
  json::Value v;
  std::string error;
  EXPECT_FALSE(json::Parse(deep + std::string(300, ']'), &v, &error));
  EXPECT_NE(error.find("too deep"), std::string::npos);
  EXPECT_TRUE(json::Parse(std::string(100, '[') + std::string(100, ']'), &v, &error));
}

TEST(Json, TypedReadsBuildersAndCodePages) {
  json::Value v;
  std::string error;
  ASSERT_TRUE(json::Parse(R"({"n":3,"f":2.5,"s":"t","a":[1]})", &v, &error));
  EXPECT_EQ(v["n"].AsInt(-1), 3);
  EXPECT_EQ(v["f"].AsInt(-1), -1);  // not whole
  EXPECT_EQ(v["s"].AsString(), "t");
  EXPECT_EQ(v["missing"]["deeper"].AsString("none"), "none");
  EXPECT_EQ(v["a"][size_t{0}].AsInt(), 1);
  EXPECT_TRUE(v["a"][5].IsNull());
  v.Set("n", "replaced");
  EXPECT_EQ(json::Write(v), R"({"n":"replaced","f":2.5,"s":"t","a":[1]})");
  // A byte that is not UTF-8 never makes the message unreadable.
  EXPECT_EQ(json::Write(json::Value(std::string("a\xe9z"))), "\"a\xef\xbf\xbdz\"");  // U+FFFD
  EXPECT_EQ(json::Latin1ToUtf8("caf\xe9"), "caf\xc3\xa9");
  std::string bytes;
  EXPECT_TRUE(json::Utf8ToLatin1("caf\xc3\xa9", &bytes));
  EXPECT_EQ(bytes, "caf\xe9");
  EXPECT_FALSE(json::Utf8ToLatin1("\xe2\x82\xac", &bytes));  // the euro sign has no Latin-1 byte
  EXPECT_FALSE(json::Utf8ToLatin1("\xc3", &bytes));
}

TEST(Framing, CutsMessagesFedInAnyPiecesAndSkipsBadHeaders) {
  const std::string stream = dap::FrameMessage("{\"a\":1}") + "Content-Type: x\r\nContent-Length: 2\r\n\r\n[]" +
                             "Content-Length: x\r\n\r\n" + "content-length:  3 \r\n\r\n\"b\"" + "Content-Length: 99";
  for (size_t piece = 1; piece <= stream.size(); piece += 7) {
    dap::FrameReader reader;
    std::vector<std::string> bodies, errors;
    for (size_t at = 0; at < stream.size(); at += piece) {
      reader.Feed(std::string_view(stream).substr(at, piece));
      for (;;) {
        std::string body, error;
        const auto status = reader.Next(&body, &error);
        if (status == dap::FrameReader::Status::NeedMore) break;
        if (status == dap::FrameReader::Status::Message) bodies.push_back(body);
        else errors.push_back(error);
      }
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"{\"a\":1}", "[]", "\"b\""})) << piece;
    EXPECT_EQ(errors, std::vector<std::string>{"Content-Length is not a number"}) << piece;
  }
  dap::FrameReader reader;
  reader.Feed("Content-Length: 999999999\r\n\r\n");
  std::string body, error;
  EXPECT_EQ(reader.Next(&body, &error), dap::FrameReader::Status::Error);
  EXPECT_NE(error.find("over the limit"), std::string::npos);
  reader.Feed(std::string(9000, 'x'));
  EXPECT_EQ(reader.Next(&body, &error), dap::FrameReader::Status::Error);
}

TEST(LineMap, TheTranslatorsMapFindsStatementsByLine) {
  const std::string main =
      "GLOBAL g\n"          // 1
      "\n"                  // 2
      "  g = 1\n"           // 3: statement 1
      "  FOR i = 1 TO 2\n"  // 4: statement 2
      "    PRINT twice$(g)\n"  // 5: statement 3
      "  NEXT\n"            // 6
      "' the end\n";        // 7
  const std::string helper =
      "FUNCTION twice$(x)\n"  // 1
      "  RETURN STR$(x)\n"     // 2: statement 1 of module 1
      "END FUNCTION\n";
  const vlmc::Result r = vlmc::Translate({{"/src/main.bas", main}, {"/src/helper.bas", helper}}, vlmc::Options{"p", true, true});
  ASSERT_TRUE(r.ok) << r.diagnostics;
  dap::LineMap map;
  std::string error;
  ASSERT_TRUE(map.Parse(r.lineMap, &error)) << error << "\n" << r.lineMap;
  const struct {
    const char* file;
    int line;
    bool found;
    int module, statement, at, column;
  } cases[] = {
      {"/src/main.bas", 1, true, 0, 1, 3, 3},   // a declaration: the next statement
      {"/src/main.bas", 3, true, 0, 1, 3, 3},
      {"/src/main.bas", 5, true, 0, 3, 5, 5},
      {"/src/main.bas", 6, false, 0, 0, 0, 0},  // nothing after NEXT
      {"/src/helper.bas", 1, true, 1, 1, 2, 3},
      {"/src/other.bas", 1, false, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const dap::LineMatch m = map.Resolve(c.file, c.line);
    EXPECT_EQ(m.found, c.found) << c.file << ":" << c.line;
    if (!c.found) continue;
    EXPECT_EQ((std::vector<int>{m.module, m.statement, m.line, m.column}),
              (std::vector<int>{c.module, c.statement, c.at, c.column}))
        << c.file << ":" << c.line;
  }
  ASSERT_NE(map.Place(1, 1), nullptr);
  EXPECT_EQ(map.Place(1, 1)->line, 2);
  EXPECT_EQ(map.Place(0, 4), nullptr);
  EXPECT_EQ(map.RoutineName("twice_Str"), "twice$");
  EXPECT_EQ(map.StatementsInLines("/src/main.bas", 4, 7).size(), 2u);
}

TEST(LineMap, RefusesForeignOrDamagedMaps) {
  const char* bad[] = {
      "not json",
      R"({"format":"vlmmap 2","modules":[]})",
      R"({"format":"vlmmap 1","modules":[{"module":-1,"file":"a"}]})",
      R"({"format":"vlmmap 1","modules":[{"module":0,"file":"a","statements":[[1,2]]}]})",
      R"({"format":"vlmmap 1","modules":[{"module":0,"file":"a","statements":[[1,2,3.5]]}]})",
      R"({"format":"vlmmap 1","modules":[{"module":0,"file":"a","statements":[[0,2,3]]}]})",
      R"({"format":"vlmmap 1","modules":[{"module":0,"file":"a"},{"module":0,"file":"b"}]})",
  };
  for (const char* text : bad) {
    dap::LineMap map;
    std::string error;
    EXPECT_FALSE(map.Parse(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_TRUE(map.empty()) << text;
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ElfSymbols, FindsTheDebuggerSymbolsOfADebugModeProgram) {
  const std::string bytes = ReadFile(DAP_DEBUGGEE);
  ASSERT_GT(bytes.size(), 4096u);
  elf::Image image;
  std::string error;
  ASSERT_TRUE(elf::ReadImage(bytes, {"VelmoraDebuggerMessage", "TheDebugState", "NoSuchSymbol"}, &image, &error)) << error;
  EXPECT_TRUE(image.positionIndependent);
  ASSERT_EQ(image.symbols.count("VelmoraDebuggerMessage"), 1u);
  EXPECT_NE(image.symbols["VelmoraDebuggerMessage"].value, 0u);
  ASSERT_EQ(image.symbols.count("TheDebugState"), 1u);
  EXPECT_EQ(image.symbols["TheDebugState"].size, 0x60u);  // the block with its appended fields
  EXPECT_EQ(image.symbols.count("NoSuchSymbol"), 0u);
  // Cut or damaged copies are refused or yield nothing, never read past their end.
  for (size_t cut : {size_t{0}, size_t{16}, size_t{63}, size_t{64}, bytes.size() / 2}) {
    elf::Image partial;
    const bool ok = elf::ReadImage(std::string_view(bytes).substr(0, cut), {"TheDebugState"}, &partial, &error);
    if (ok) {
      EXPECT_TRUE(partial.symbols.empty() || cut == bytes.size() / 2);
    }
  }
  std::string wrongClass = bytes;
  wrongClass[4] = 1;
  EXPECT_FALSE(elf::ReadImage(wrongClass, {"TheDebugState"}, &image, &error));
}

// A program memory of a few regions.
class FakeMemory : public dap::Memory {
 public:
  bool Read(uint64_t address, void* buffer, size_t n) override {
    for (auto& [base, bytes] : regions_) {
      if (address >= base && address - base <= bytes.size() && n <= bytes.size() - (address - base)) {
        std::memcpy(buffer, bytes.data() + (address - base), n);
        return true;
      }
    }
    return false;
  }
  bool Write(uint64_t address, const void* buffer, size_t n) override {
    for (auto& [base, bytes] : regions_) {
      if (address >= base && address - base <= bytes.size() && n <= bytes.size() - (address - base)) {
        std::memcpy(bytes.data() + (address - base), buffer, n);
        return true;
      }
    }
    return false;
  }
  void Map(uint64_t base, std::string bytes) { regions_[base] = std::move(bytes); }
  template <class T>
  void Put(uint64_t address, T value) {
    ASSERT_TRUE(Write(address, &value, sizeof value));
  }

 private:
  std::map<uint64_t, std::string> regions_;
};

// Globals: x (number), s$ (text "abc" in a 16-byte buffer), grid[3, 2] of
// numbers (element i + 3 j = 10 i + j), names$[2] and an undimensioned array.
class ProgramFixture : public ::testing::Test, public dap::NameScope {
 protected:
  void SetUp() override {
    memory_.Map(0x1000, std::string(0x1000, '\0'));  // names, variables, array headers
    memory_.Map(0x8000, std::string(0x1000, '\0'));  // element blocks and text buffers
    Add("x", dap::kNumber, 0x1200);
    memory_.Put(0x1200, 2.5);
    Add("s_Str", dap::kText, 0x1210);
    Text(0x1210, 0x8000, "abc", 16);
    Add("grid", dap::kNumberArray, 0x1300);
    ArrayHeader(0x1300, 0x8100, {3, 2, 0, 0}, 2);
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 3; ++i) memory_.Put<double>(0x8100 + 8 * (i + 3 * j), 10 * i + j);
    Add("names_Str", dap::kTextArray, 0x1340);
    ArrayHeader(0x1340, 0x8200, {2, 0, 0, 0}, 1);
    Text(0x8200, 0x8300, "", 0);
    Text(0x8210, 0x8310, "second", 16);
    Add("empty", dap::kNumberArray, 0x1380);
    // gone: DIM gone[0] leaves a block and no dimensions.
    Add("gone", dap::kNumberArray, 0x1800);
    memory_.Put<uint64_t>(0x1800, 0x8600);
    memory_.Put<int32_t>(0x182C, 8);
    // pts[2] of records {x @0, label$ @8, inner.y @24}, 32 bytes each, through
    // its record-array view at 0x1400; p.x and p.y, a record's fields.
    Add("pts", dap::kRecordArray, 0x1400);
    memory_.Put<uint64_t>(0x1400, 0x13c0);  // the array
    memory_.Put<int32_t>(0x1408, 32);       // element size
    memory_.Put<int32_t>(0x140c, 3);        // fields
    memory_.Put<uint64_t>(0x1410, 0x1500);  // field table
    ArrayHeader(0x13c0, 0x8400, {2, 0, 0, 0}, 1);
    const struct {
      const char* name;
      int32_t type, offset;
    } fields[] = {{"x", dap::kNumber, 0}, {"label_Str", dap::kText, 8}, {"inner.y", dap::kNumber, 24}};
    for (int k = 0; k < 3; ++k) {
      memory_.Write(0x1600 + 16 * k, fields[k].name, std::strlen(fields[k].name) + 1);
      memory_.Put<uint64_t>(0x1500 + 24 * k, 0x1600 + 16 * k);
      memory_.Put<int32_t>(0x1508 + 24 * k, fields[k].type);
      memory_.Put<int32_t>(0x150c + 24 * k, fields[k].offset);
      memory_.Put<uint64_t>(0x1510 + 24 * k, 0);
    }
    for (int k = 0; k < 2; ++k) {
      memory_.Put<double>(0x8400 + 32 * k, 100 + k);
      Text(0x8408 + 32 * k, 0x8500 + 16 * k, k == 0 ? "first" : "other", 16);
      memory_.Put<double>(0x8418 + 32 * k, 0.5 + k);
    }
    Add("p.x", dap::kNumber, 0x1700);
    memory_.Put<double>(0x1700, -1);
  }

  void Add(const std::string& name, int32_t type, uint64_t address) {
    variables_.push_back({name, type, address});
  }
  void Text(uint64_t at, uint64_t data, const std::string& text, uint32_t capacity) {
    memory_.Write(data, text.c_str(), text.size() + 1);
    memory_.Put<uint64_t>(at, data);
    memory_.Put<uint32_t>(at + 8, capacity);
    memory_.Put<uint32_t>(at + 12, static_cast<uint32_t>(text.size()));
  }
  void ArrayHeader(uint64_t at, uint64_t data, std::vector<int32_t> dims, int32_t rank) {
    int32_t count = 1, stride = 1;
    int32_t strides[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const int32_t e = k < rank ? dims[k] : 1;
      if (k > 0) strides[k - 1] = stride;
      stride *= e;
      count *= e;
    }
    memory_.Put<uint64_t>(at, data);
    for (int k = 0; k < 3; ++k) memory_.Put<int32_t>(at + 8 + 4 * k, strides[k]);
    for (int k = 0; k < 4; ++k) memory_.Put<int32_t>(at + 0x14 + 4 * k, dims[k]);
    memory_.Put<int32_t>(at + 0x24, count);
    memory_.Put<int32_t>(at + 0x28, rank);
    memory_.Put<int32_t>(at + 0x2C, count);
  }

  bool Find(const std::string& name, dap::Variable* variable) override {
    for (const dap::Variable& v : variables_)
      if (v.name == name) return *variable = v, true;
    return false;
  }
  dap::Memory& memory() override { return memory_; }

  std::string Eval(const std::string& text) {
    dap::Value v;
    std::string error;
    if (!dap::EvaluateText(text, *this, &v, &error)) return "error: " + error;
    return dap::ValueText(v);
  }

  FakeMemory memory_;
  std::vector<dap::Variable> variables_;
};

TEST_F(ProgramFixture, EvaluatesTheLanguagesExpressions) {
  const struct {
    const char* text;
    const char* result;
  } cases[] = {
      {"x", "2.5"},
      {"x * 2 + 1", "6"},
      {"-x ^ 2", "-6.25"},
      {"2 ^ 3 ^ 2", "512"},
      {"7 MOD 3 + -7 MOD 3", "0"},
      {"5 MOD 0", "0"},
      {"$FF + .5", "255.5"},
      {"s$", "\"abc\""},
      {"s_Str + \"d\"\"\"", "\"abcd\"\"\""},
      {"s$ = \"abc\" AND x > 2", "1"},
      {"s$ < \"abd\" OR x = 0", "1"},
      {"NOT x = 2.5", "0"},
      {"NOT x = 3", "1"},
      {"6 AND 3", "2"},
      {"4 OR 1", "5"},
      {"grid[2, 1]", "21"},
      {"grid[1.9, 0]", "10"},
      {"grid[-1, 1] - grid[-3.5, 1]", "20"},  // a negative first index counts from the end
      {"grid[1, -1]", "error: grid[1, -1] is outside the array"},  // the others do not
      {"grid[-4, 0]", "error: grid[-4, 0] is outside the array"},
      {"names$[1]", "\"second\""},
      {"LEN(names$[1]) + INT(-2.7) + ABS(-1)", "5"},
      {"x = 2 OR grid[5, 0] = 0", "error: grid[5, 0] is outside the array"},
      {"x = 3 AND grid[5, 0] = 0", "0"},  // the right side is never read
      {"1 / 0 > 1e308", "1"},
      // NaN (0 / 0) is unordered: only <> holds, and NOT takes it as true (it is not 0).
      {"0 / 0", "NaN"},
      {"0 / 0 <> 0 / 0", "1"},
      {"0 / 0 = 0 / 0", "0"},
      {"0 / 0 < 1 OR 0 / 0 > 1", "0"},
      {"1 <= 0 / 0 OR 1 >= 0 / 0", "0"},
      {"NOT 0 / 0", "0"},
      {"0 / 0 OR 0", "-2147483648"},  // a NaN operand of a bitwise operator is -2147483648
      // OR and AND are logical only between two comparisons; with a number they are bitwise.
      {"x = 2.5 OR 4", "5"},
      {"x = 2 OR 4", "4"},
      {"4 OR x = 2.5", "5"},
      {"x = 2.5 AND 2", "0"},
      {"x = 2.5 OR x = 9", "1"},
      {"(x < 2.5) * 1000 + (x <= 2.5) * 100 + (x > 2.5) * 10 + (x >= 2.5)", "101"},
      {"(x < 2.6) * 1000 + (x <= 2.4) * 100 + (x > 2.4) * 10 + (x >= 2.6)", "1010"},
      // INT over the whole range of numbers, NaN and infinities kept.
      {"INT(2500000000.7) - 2500000000", "0"},
      {"INT(-1e10 - .5) + 1e10", "0"},
      {"INT(0 / 0)", "NaN"},
      {"INT(-1 / 0)", "-Infinity"},
      // Texts compare by their bytes as unsigned numbers, then by length.
      {"\"\xe9\" > \"z\" AND \"ab\" < \"abc\"", "1"},
      {"grid", "error: 'grid' is an array; name one of its elements"},
      {"grid[1]", "error: 'grid' has 2 dimensions, 1 given"},
      {"empty[0]", "error: 'empty' is not dimensioned yet"},
      {"gone[0]", "error: gone[0] is outside the array (it has no elements)"},
      {"x + s$", "error: '+' between a text and a number (STR$ and VAL convert in the program)"},
      {"nothing", "error: no variable 'nothing' here"},
      {"VAL(s$)", "error: 'VAL' cannot be called here (only LEN, INT and ABS)"},
      {"pts[1].x + pts[0].inner.y", "101.5"},
      {"pts[0].label$ + pts[1].label_Str", "\"firstother\""},
      {"p.x * 2", "-2"},
      {"pts[0]", "error: pts[0] is a record; name one of its fields"},
      {"pts[0].nope", "error: pts[0] has no field 'nope'"},
      {"pts[0].inner", "error: pts[0].inner is a record; name one of its fields"},
      {"pts[0].inner.y + pts[-1].inner.y", "2"},
      {"pts[-3].x", "error: pts[-3] is outside the array"},
      {"pts[2].x", "error: pts[2] is outside the array"},
      {"pts[-1].x * 10 + pts[-2].x", "1110"},
      {"pts[0].x[1]", "error: 'x' is not an array"},
      {"grid[0, 0].x", "error: grid[0, 0] is not a record"},
      {"pts[0].", "error: unexpected character '.' at column 7"},
      {"(x", "error: ')' expected at column 3"},
      {"x ==", "error: unexpected '=' at column 4"},
      {"\"open", "error: unclosed text at column 6"},
  };
  for (const auto& c : cases) EXPECT_EQ(Eval(c.text), c.result) << c.text;
  std::string deep(200, '(');
  EXPECT_NE(Eval(deep + "1" + std::string(200, ')')).find("nested too deeply"), std::string::npos);
  EXPECT_NE(Eval(std::string(500, '-') + "1").find("nested too deeply"), std::string::npos);
  EXPECT_EQ(dap::Interpolate("x={x} s={s$} {bad} {unclosed", *this), "x=2.5 s=abc {error: no variable 'bad' here} {unclosed");
}

TEST_F(ProgramFixture, WritesNumbersAndOnlyTextsThatFitTheirBuffer) {
  std::string error;
  EXPECT_TRUE(dap::WriteScalar(memory_, dap::kNumber, 0x1200, dap::Value{false, 7, {}}, &error));
  EXPECT_EQ(Eval("x"), "7");
  EXPECT_TRUE(dap::WriteScalar(memory_, dap::kText, 0x1210, dap::Value{true, 0, std::string(15, 'y')}, &error));
  EXPECT_EQ(Eval("LEN(s$)"), "15");
  EXPECT_FALSE(dap::WriteScalar(memory_, dap::kText, 0x1210, dap::Value{true, 0, std::string(16, 'z')}, &error));
  EXPECT_NE(error.find("buffer holds 16"), std::string::npos);
  EXPECT_EQ(Eval("s$"), "\"" + std::string(15, 'y') + "\"");  // unchanged by the refusal
  // The shared empty text owns no buffer: nothing fits.
  EXPECT_FALSE(dap::WriteScalar(memory_, dap::kText, 0x8200, dap::Value{true, 0, "a"}, &error));
  EXPECT_FALSE(dap::WriteScalar(memory_, dap::kNumber, 0x1200, dap::Value{true, 0, "a"}, &error));
  EXPECT_TRUE(dap::WriteScalar(memory_, dap::kInt, 0x1208, dap::Value{false, -2.9, {}}, &error));
  int32_t i = 0;
  memory_.Get(0x1208, &i);
  EXPECT_EQ(i, -2);
  EXPECT_EQ(dap::Truncate(std::nan("")), INT32_MIN);
  EXPECT_EQ(dap::Truncate(3e9), INT32_MIN);
}

TEST_F(ProgramFixture, RefusesDamagedArrayHeaders) {
  const struct {
    uint64_t offset;
    int32_t value;
    const char* why;
  } damage[] = {
      {0x28, 5, "dimensions"},   // rank
      {0x24, 7, "count"},        // count against the sizes
      {0x08, 4, "strides"},      // stride of the second index
      {0x2C, 1, "count"},        // capacity below the count
  };
  for (const auto& d : damage) {
    SetUp();
    memory_.Put<int32_t>(0x1300 + d.offset, d.value);
    dap::ArrayInfo a;
    std::string error;
    EXPECT_FALSE(dap::ReadArray(memory_, 0x1300, &a, &error)) << d.why;
    EXPECT_NE(error.find(d.why), std::string::npos) << error;
    EXPECT_NE(Eval("grid[0, 0]").find("error: damaged array header"), std::string::npos);
  }
}

TEST_F(ProgramFixture, DecodesTheStateBlockAndFrameRecords) {
  // A block with frame records: two routines, the inner one stopped at (1, 30).
  const uint64_t block = 0x1800;
  memory_.Put<int32_t>(block + 0x10, 1);
  memory_.Put<int32_t>(block + 0x14, 30);
  memory_.Put<int32_t>(block + 0x40, 0x60);
  memory_.Put<int32_t>(block + 0x44, 2);
  memory_.Put<uint64_t>(block + 0x48, 0x1900);
  memory_.Write(0x1a00, "mainProgram", 12);
  memory_.Write(0x1a10, "addTwice", 9);
  memory_.Put<uint64_t>(0x1900, 0x1a00);
  memory_.Put<uint64_t>(0x1908, 0x1b00);  // a table of 1 local
  memory_.Put<int32_t>(0x1b00, 1);
  memory_.Put<uint64_t>(0x1918, 0x1a10);
  memory_.Put<uint64_t>(0x1920, 0);
  memory_.Put<int32_t>(0x1928, 0);  // addTwice was called from (0, 4)
  memory_.Put<int32_t>(0x192c, 4);
  dap::DebugState state;
  ASSERT_TRUE(dap::ReadDebugState(memory_, block, 0x60, &state));
  EXPECT_TRUE(state.hasFrames);
  std::vector<dap::Frame> frames;
  ASSERT_TRUE(dap::ReadFrames(memory_, state, state.module, state.line, &frames));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].routine, "mainProgram");
  EXPECT_EQ((std::vector<int>{frames[0].module, frames[0].line, frames[0].localCount}), (std::vector<int>{0, 4, 1}));
  EXPECT_EQ(frames[0].localEntries, 0x1b08u);
  EXPECT_EQ(frames[1].routine, "addTwice");
  EXPECT_EQ((std::vector<int>{frames[1].module, frames[1].line}), (std::vector<int>{1, 30}));
  // The same block read as an older 64-byte one: a single frame at the stop.
  ASSERT_TRUE(dap::ReadDebugState(memory_, block, 0x40, &state));
  EXPECT_FALSE(state.hasFrames);
  ASSERT_TRUE(dap::ReadFrames(memory_, state, 1, 30, &frames));
  EXPECT_EQ(frames.size(), 1u);
  // A frame count that points outside the memory is an error, not a crash.
  memory_.Put<int32_t>(block + 0x44, 100000);
  ASSERT_TRUE(dap::ReadDebugState(memory_, block, 0x60, &state));
  EXPECT_FALSE(dap::ReadFrames(memory_, state, 1, 30, &frames));
  EXPECT_EQ(dap::BasicName("title_Str"), "title$");
  EXPECT_EQ(dap::BasicName("p_Int"), "p%");
  EXPECT_EQ(dap::RegisteredName("p%"), "p_Int");
}

}  // namespace
