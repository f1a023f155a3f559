// The language server's features in process: a Server driven with the
// protocol's own messages over a program written as files into a folder of
// its own (the server finds a program's modules on disk), its answers read
// back from the writer. Rename refusals and which names completion offers
// where.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "json.h"
#include "program_files.h"
#include "server.h"

namespace {

namespace fs = std::filesystem;

class Features : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vlmls-features-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    Send(R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"capabilities":{}}})");
    ASSERT_TRUE(Answer(0).Has("result"));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Uri(const std::string& name) const { return vlmls::UriOfPath(Path(name)); }

  // Writes the modules, then opens them in the editor (texts as written).
  void Program(const std::vector<std::pair<std::string, std::string>>& modules) {
    for (const auto& [name, text] : modules) std::ofstream(Path(name), std::ios::binary) << text;
    for (const auto& [name, text] : modules) {
      json::Value doc = json::Value::MakeObject();
      doc.Set("uri", Uri(name));
      doc.Set("languageId", "basic");
      doc.Set("version", 1);
      doc.Set("text", text);
      json::Value params = json::Value::MakeObject();
      params.Set("textDocument", doc);
      Notify("textDocument/didOpen", params);
    }
    server_.Idle();
  }
  // The editor's buffer changes (the file on disk stays as written).
  void Change(const std::string& name, const std::string& text) {
    json::Value doc = json::Value::MakeObject();
    doc.Set("uri", Uri(name));
    doc.Set("version", ++version_);
    json::Value change = json::Value::MakeObject();
    change.Set("text", text);
    json::Value params = json::Value::MakeObject();
    params.Set("textDocument", doc);
    params.Set("contentChanges", json::Value::Array{change});
    Notify("textDocument/didChange", params);
    server_.Idle();
  }

  void Send(const std::string& body) { server_.Handle(body); }
  void Notify(const std::string& method, const json::Value& params) {
    json::Value m = json::Value::MakeObject();
    m.Set("jsonrpc", "2.0");
    m.Set("method", method);
    m.Set("params", params);
    Send(json::Write(m));
  }
  // A request at a 0-based line and character of a module; its whole answer.
  json::Value Request(const std::string& method, const std::string& name, int line, int character,
                      json::Value params = json::Value::MakeObject()) {
    json::Value doc = json::Value::MakeObject();
    doc.Set("uri", Uri(name));
    json::Value position = json::Value::MakeObject();
    position.Set("line", line);
    position.Set("character", character);
    params.Set("textDocument", doc);
    params.Set("position", position);
    json::Value m = json::Value::MakeObject();
    m.Set("jsonrpc", "2.0");
    m.Set("id", ++id_);
    m.Set("method", method);
    m.Set("params", params);
    Send(json::Write(m));
    return Answer(id_);
  }
  // The answer to request `id` among what the server wrote.
  json::Value Answer(int64_t id) {
    for (const std::string& framed : written_) {
      const size_t body = framed.find("\r\n\r\n");
      json::Value v;
      std::string error;
      if (body == std::string::npos || !json::Parse(framed.substr(body + 4), &v, &error)) continue;
      if (v["id"].IsNumber() && v["id"].AsInt() == id) return v;
    }
    ADD_FAILURE() << "no answer to request " << id;
    return json::Value();
  }

  // The 0-based line and character of the first `what` in a module's text.
  static std::pair<int, int> Find(const std::string& text, const std::string& what) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    const int line = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
    const size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
    return {line, static_cast<int>(start == std::string::npos || at == 0 ? at : at - start - 1)};
  }

  // The labels completion offers at the place.
  std::set<std::string> Offered(const std::string& name, std::pair<int, int> at) {
    const json::Value answer = Request("textDocument/completion", name, at.first, at.second);
    std::set<std::string> labels;
    for (const json::Value& item : answer["result"].items()) labels.insert(item["label"].AsString());
    EXPECT_FALSE(labels.empty()) << json::Write(answer);
    return labels;
  }

  std::string dir_;
  std::vector<std::string> written_;
  vlmls::Server server_{[this](const std::string& framed) { written_.push_back(framed); }};
  int64_t id_ = 0;
  int64_t version_ = 1;
};

TEST_F(Features, ARenameKeepsWhatANameHoldsByItsEnding) {
  const std::string main =
      "TYPE Hero\n  hp%, name$\nEND TYPE\n"
      "GLOBAL score, title$, pixels%[]\n"
      "DIM pixels%[4], h AS Hero\n"
      "title$ = Shout$(\"go\")\n"
      "score = LEN(title$) + pixels%[1] + h.hp%\n"
      "h.name$ = title$\n";
  const std::string more = "FUNCTION Shout$(word$)\n  RETURN word$ + \"!\"\nEND FUNCTION\n";
  Program({{"main.bas", main}, {"more.bas", more}});
  const struct {
    const char* module;
    const char* name;  // the name renamed, at its first place in the module
    const char* newName;
    bool accepted;
  } cases[] = {
      {"main.bas", "score", "points", true},
      {"main.bas", "score", "points$", false},
      {"main.bas", "score", "points%", false},
      {"main.bas", "title$", "caption$", true},
      {"main.bas", "title$", "caption", false},
      {"main.bas", "title$", "caption%", false},
      {"main.bas", "pixels%", "dots%", true},
      {"main.bas", "pixels%", "dots", false},
      {"main.bas", "pixels%", "dots$", false},
      {"main.bas", "hp%", "life%", true},
      {"main.bas", "hp%", "life", false},
      {"main.bas", "name$", "label", false},
      {"more.bas", "Shout$", "Yell$", true},
      {"more.bas", "Shout$", "Yell", false},
      {"more.bas", "word$", "text", false},
      {"more.bas", "word$", "phrase$", true},
  };
  for (const auto& c : cases) {
    const std::string& text = std::string(c.module) == "main.bas" ? main : more;
    const auto [line, character] = Find(text, c.name);
    json::Value params = json::Value::MakeObject();
    params.Set("newName", c.newName);
    const json::Value answer = Request("textDocument/rename", c.module, line, character + 1, params);
    const std::string what = std::string(c.name) + " to " + c.newName;
    if (c.accepted) {
      ASSERT_TRUE(answer.Has("result")) << what << ": " << json::Write(answer);
      // Every place of the name, in each module it is written in, gets the new name.
      size_t edits = 0;
      for (const char* m : {"main.bas", "more.bas"})
        for (const json::Value& edit : answer["result"]["changes"][Uri(m)].items()) {
          EXPECT_EQ(edit["newText"].AsString(), c.newName) << what;
          ++edits;
        }
      size_t places = 0;
      for (const std::string* t : {&main, &more})
        for (size_t at = t->find(c.name); at != std::string::npos; at = t->find(c.name, at + 1)) ++places;
      EXPECT_EQ(edits, places) << what;
    } else {
      ASSERT_TRUE(answer.Has("error")) << what << ": " << json::Write(answer);
      const std::string message = answer["error"]["message"].AsString();
      EXPECT_NE(message.find("would change what " + std::string(c.name) + " holds"), std::string::npos)
          << what << ": " << message;
    }
  }
}

// First and its locals in module 1, the SUB Second and the FUNCTION Third and
// theirs in module 0 with the main program's own variable: each place is offered
// only the names seen there (the main program's only in module 0, outside the
// routines).
const char* const kMain =
    "GLOBAL shared\n"
    "mainOnly = First(2) + Third(1)\n"
    "Second(3)\n"
    "PRINT mainOnly\n"
    "SUB Second(beta)\n"
    "  LOCAL secondLocal\n"
    "  secondLocal = beta + shared\n"
    "  PRINT secondLocal\n"
    "END SUB\n"
    "FUNCTION Third(gamma)\n"
    "  LOCAL thirdLocal\n"
    "  thirdLocal = gamma\n"
    "  PRINT thirdLocal\n"
    "  RETURN thirdLocal\n"
    "END FUNCTION\n";
const char* const kRoutines =
    "CONST Scale = 2\n"
    "FUNCTION First(alpha)\n"
    "  LOCAL firstLocal\n"
    "  firstLocal = alpha * 2\n"
    "  PRINT firstLocal * 0\n"
    "  RETURN firstLocal\n"
    "END FUNCTION\n";

// Completion right before a text (after a space: no name begun, all that is seen there is offered).
struct Seen {
  const char* module;
  const char* before;
  std::vector<std::string> offered, notOffered;
};
const Seen kPlaces[] = {
    {"routines.bas", "firstLocal * 0", {"firstLocal", "alpha", "shared", "First", "Second", "Third"},
     {"secondLocal", "beta", "thirdLocal", "gamma", "mainOnly"}},
    {"main.bas", "secondLocal\nEND SUB", {"secondLocal", "beta", "shared", "First", "Second", "Third"},
     {"firstLocal", "alpha", "thirdLocal", "gamma", "mainOnly"}},
    {"main.bas", "thirdLocal\n  RETURN", {"thirdLocal", "gamma", "shared", "First", "Second", "Third"},
     {"firstLocal", "alpha", "secondLocal", "beta", "mainOnly"}},
    {"main.bas", "mainOnly = First", {"mainOnly", "shared", "First", "Second", "Third"},
     {"firstLocal", "alpha", "secondLocal", "beta", "thirdLocal", "gamma"}},
    {"routines.bas", "2\nFUNCTION", {"shared", "Scale", "First", "Second", "Third"},
     {"mainOnly", "firstLocal", "alpha", "secondLocal", "beta", "thirdLocal", "gamma"}},
};

void ExpectOffered(const std::set<std::string>& labels, const Seen& s) {
  for (const std::string& name : s.offered) EXPECT_TRUE(labels.count(name)) << name << " before " << s.before;
  for (const std::string& name : s.notOffered) EXPECT_FALSE(labels.count(name)) << name << " before " << s.before;
}

TEST_F(Features, CompletionOffersARoutinesOwnNamesAndTheGlobalsOnly) {
  Program({{"main.bas", kMain}, {"routines.bas", kRoutines}});
  for (const Seen& s : kPlaces)
    ExpectOffered(Offered(s.module, Find(std::string(s.module) == "main.bas" ? kMain : kRoutines, s.before)), s);
}

TEST_F(Features, CompletionKeepsToTheRoutineWhenTheProgramIsNotChecked) {
  // With as many errors as the translator reports the reading stops and the checker does not
  // run: the names are those of the last program that was checked, and each place still gets
  // only its own routine's, found where the routine is now (Second and Third moved down three
  // lines) or, in a module no longer read, where it was.
  Program({{"main.bas", kMain}, {"routines.bas", kRoutines}});
  std::string main = kMain;
  main.insert(main.find("SUB Second"), "' three lines more\n\n\n");
  for (int k = 0; k < 25; ++k) main += "PRINT )\n";
  Change("main.bas", main);
  for (const Seen& s : kPlaces)
    ExpectOffered(Offered(s.module, Find(std::string(s.module) == "main.bas" ? main : kRoutines, s.before)), s);
}

}  // namespace
