// vlmls, the language server of Velmora's BASIC: the Language Server
// Protocol's requests and notifications over the documents the editor has
// open and the programs they belong to. Messages come in as JSON bodies and
// go out, framed, through the writer; nothing here touches a stream, so the
// tests and the benchmark drive it directly as well as over a pipe.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "analysis.h"
#include "json.h"
#include "text.h"

namespace vlmls {

class Server {
 public:
  using Writer = std::function<void(const std::string& framed)>;
  explicit Server(Writer writer) : write_(std::move(writer)) {}

  // One message's body (a request, a notification, a response), or the
  // reader's complaint about bytes that were not one.
  void Handle(const std::string& body);
  void FramingError(const std::string& error);
  // Between messages, when no more are waiting: the changed programs are
  // analyzed and their diagnostics published.
  void Idle();
  // After "exit": the process's status (0 when "shutdown" came first).
  bool Exited() const { return exited_; }
  int ExitCode() const { return shutdown_ ? 0 : 1; }

  // Largest number of JSON values one message may hold (every value costs
  // a node of the parsed message).
  static constexpr size_t kMaxValues = 1u << 20;

 private:
  struct Document {
    std::string uri;
    std::string text;
    int64_t version = 0;
    LineIndex lines;
  };
  struct Program {
    std::vector<std::string> paths;  // module 0 first
    std::string note;                // how the modules were chosen, when worth telling
    bool dirty = true;
    std::vector<std::string> texts;  // as analyzed
    std::vector<LineIndex> lines;
    Analysis analysis;
    std::vector<Symbol> checkedSymbols;  // of the last analysis the checker finished
    std::set<std::string> published;     // URIs last given a non-empty list
  };

  void Send(const json::Value& message);
  void Respond(const json::Value& id, json::Value result);
  void Fail(const json::Value& id, int code, const std::string& message);
  void Notify(const std::string& method, json::Value params);

  json::Value Initialize(const json::Value& params);
  void DidOpen(const json::Value& params);
  void DidChange(const json::Value& params);
  void DidClose(const json::Value& params);
  void DidSave(const json::Value& params);
  void Refresh();  // files on disk may have changed: every program is read again

  // The document's program, analyzed; its module index for the path in *module.
  Program* ProgramOf(const std::string& path, int* module);
  Program& Discover(const std::string& path);
  void Analyze(Program& p);  // the front end: the problems
  void Index(Program& p);    // the symbols, when they are first needed
  void Publish(Program& p);
  std::string UriOf(const std::string& path) const;
  // The module's position of an editor position (1-based line, 1-based byte column).
  void ToPlace(const Program& p, int module, const json::Value& position, int* line, int* column) const;
  json::Value Range(const Program& p, const Place& place) const;
  json::Value LineRange(const Program& p, int module, int firstLine, int lastLine) const;
  json::Value LocationOf(const Program& p, const Place& place) const;

  // Requests that work on a position: the document's program, module and the place.
  struct At {
    Program* program = nullptr;
    int module = 0;
    int line = 0;    // 1-based
    int column = 0;  // 1-based byte column
    std::string path;
  };
  bool Locate(const json::Value& params, At* at);
  json::Value Completion(const json::Value& params);
  json::Value SignatureHelp(const json::Value& params);
  json::Value Hover(const json::Value& params);
  json::Value Definition(const json::Value& params);
  json::Value References(const json::Value& params);
  json::Value DocumentSymbols(const json::Value& params);
  json::Value PrepareRename(const json::Value& params, std::string* error);
  json::Value Rename(const json::Value& params, std::string* error);
  json::Value SemanticTokens(const json::Value& params);

  // The program symbol named at the place, or -1.
  int SymbolAt(const At& at) const;

  Writer write_;
  Encoding encoding_ = Encoding::Utf16;
  bool initialized_ = false;
  bool shutdown_ = false;
  bool exited_ = false;
  std::map<std::string, Document> open_;                     // by path
  std::map<std::string, std::unique_ptr<Program>> programs_;  // by module 0's path and the others
  std::map<std::string, Program*> programOf_;                // path -> program
  std::vector<std::shared_ptr<vlmc::ProgramTree>> retired_;   // trees to free once the answers are out
};

}  // namespace vlmls
