// vlmls' protocol side (see server.h): the messages, the documents and their
// programs, and the answers made of each program's analysis.
#include "server.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

#include "bindings.h"
#include "builtins.h"
#include "message_reader.h"
#include "names.h"
#include "operations.h"
#include "program_files.h"

#ifndef VLMLS_VERSION
#define VLMLS_VERSION "0.1.0"
#endif

namespace vlmls {
namespace {

// JSON-RPC's and the protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// The protocol's completion item and symbol kinds.
enum ItemKind { kItemFunction = 3, kItemField = 5, kItemVariable = 6, kItemKeyword = 14, kItemConstant = 21,
                kItemStruct = 22 };
enum SymbolKindCode { kSymField = 8, kSymFunction = 12, kSymVariable = 13, kSymConstant = 14, kSymStruct = 23,
                      kSymKey = 20 };

// Semantic token types and modifiers, in the order of the legend.
const char* const kTokenTypes[] = {"function", "variable", "parameter", "property", "struct", "label"};
enum TokenType { kTokFunction, kTokVariable, kTokParameter, kTokProperty, kTokStruct, kTokLabel };
const char* const kTokenModifiers[] = {"declaration", "readonly", "defaultLibrary"};
enum TokenModifier { kModDeclaration = 1, kModReadonly = 2, kModDefaultLibrary = 4 };

// Counts the values of a JSON text without building them (an over-large
// count is refused before the parser allocates a node for each).
size_t CountValues(std::string_view s) {
  size_t count = 1;
  bool inString = false;
  for (size_t k = 0; k < s.size(); ++k) {
    const char c = s[k];
    if (inString) {
      if (c == '\\') ++k;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == ',' || c == '[' || c == '{' || c == ':') {
      ++count;
    }
  }
  return count;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (prefix.size() > s.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(s[k])) != std::tolower(static_cast<unsigned char>(prefix[k])))
      return false;
  return true;
}

std::string Upper(std::string_view s) { return vlmc::Upper(s); }

bool IsRoutine(SymbolKind k) { return k == SymbolKind::Function || k == SymbolKind::Sub || k == SymbolKind::Declare; }
bool IsProgramWide(SymbolKind k) {
  return IsRoutine(k) || k == SymbolKind::Type || k == SymbolKind::Global || k == SymbolKind::Constant;
}

// How a runtime operation is written in BASIC: its name and parameters, the optional ones in brackets.
std::string OperationLabel(const vlmc::Binding& b, std::vector<std::string>* params = nullptr) {
  std::string label = std::string(b.name) + "(";
  for (int k = 0; k < b.count; ++k) {
    std::string p = b.params[k].name;
    if (k >= b.required) p = "[" + p + "]";
    if (params) params->push_back(p);
    label += (k ? ", " : "") + p;
  }
  return label + ")";
}

std::string BuiltinLabel(const vlmc::Builtin& b, std::vector<std::string>* params = nullptr) {
  std::string label = std::string(b.name) + "(";
  const std::string args = b.args ? b.args : "";
  for (size_t k = 0; k < args.size(); ++k) {
    std::string p = args[k] == 's' ? "text$" : args[k] == 'a' ? "array[]" : "number";
    if (static_cast<int>(k) >= b.minArgs) p = "[" + p + "]";
    if (params) params->push_back(p);
    label += (k ? ", " : "") + p;
  }
  return label + ")";
}

const char* ResultText(const char* result) {
  const std::string r = result ? result : "";
  if (r == "void") return "nothing (a routine)";
  if (r == "str" || r == "cstr") return "text";
  return "a number";
}

std::string OperationMarkdown(const vlmc::Binding& b) {
  std::string md = "```basic\n" + OperationLabel(b) + "\n```\n";
  const OperationDoc* doc = FindOperationDoc(b.name);
  if (doc && *doc->comment) md += std::string(doc->comment) + "\n\n";
  md += "Gives " + std::string(ResultText(b.result)) + ".";
  if (doc) md += " `" + std::string(doc->header) + "`:\n```cpp\n" + doc->signatures + "\n```";
  return md;
}

std::vector<const vlmc::Binding*> Overloads(std::string_view name) {
  std::vector<const vlmc::Binding*> out;
  for (int k = 0; k < vlmc::kBindingCount; ++k)
    if (name == vlmc::kBindings[k].name) out.push_back(&vlmc::kBindings[k]);
  return out;
}

json::Value Markdown(const std::string& text) {
  json::Value v = json::Value::MakeObject();
  v.Set("kind", "markdown");
  v.Set("value", text);
  return v;
}

std::string SymbolMarkdown(const Symbol& s, const std::vector<Symbol>& all) {
  std::string md = "```basic\n" + s.detail + "\n```";
  if (s.container >= 0 && static_cast<size_t>(s.container) < all.size() && s.kind == SymbolKind::Local)
    md += "\nlocal of " + all[static_cast<size_t>(s.container)].detail;
  return md;
}

// Where the text up to the cursor is inside a comment or a text literal.
bool InCommentOrText(std::string_view line) {
  bool inText = false;
  size_t k = 0;
  while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
  if (StartsWithNoCase(line.substr(k), "REM") && (k + 3 >= line.size() || !IsNameByte(line[k + 3]))) return true;
  for (; k < line.size(); ++k) {
    if (line[k] == '"') inText = !inText;
    else if (!inText && line[k] == '\'') return true;
  }
  return inText;
}

}  // namespace

// ------------------------------------------------------------------ messages

void Server::Send(const json::Value& message) { write_(FrameMessage(json::Write(message))); }

void Server::Respond(const json::Value& id, json::Value result) {
  json::Value m = json::Value::MakeObject();
  m.Set("jsonrpc", "2.0");
  m.Set("id", id);
  m.Set("result", std::move(result));
  Send(m);
}

void Server::Fail(const json::Value& id, int code, const std::string& message) {
  json::Value error = json::Value::MakeObject();
  error.Set("code", code);
  error.Set("message", message);
  json::Value m = json::Value::MakeObject();
  m.Set("jsonrpc", "2.0");
  m.Set("id", id);
  m.Set("error", std::move(error));
  Send(m);
}

void Server::Notify(const std::string& method, json::Value params) {
  json::Value m = json::Value::MakeObject();
  m.Set("jsonrpc", "2.0");
  m.Set("method", method);
  m.Set("params", std::move(params));
  Send(m);
}

void Server::FramingError(const std::string& error) { Fail(nullptr, kInvalidRequest, "Invalid message: " + error); }

void Server::Handle(const std::string& body) {
  if (CountValues(body) > kMaxValues) {
    Fail(nullptr, kInvalidRequest, "Invalid Request: the message holds more than " + std::to_string(kMaxValues) +
                                       " JSON values");
    return;
  }
  json::Value message;
  std::string error;
  if (!json::Parse(body, &message, &error)) {
    Fail(nullptr, kParseError, "Parse error: " + error);
    return;
  }
  if (!message.IsObject()) {
    Fail(nullptr, kInvalidRequest, "Invalid Request: a message is a JSON object");
    return;
  }
  const json::Value& id = message["id"];
  const bool request = message.Has("id");
  if (request && !id.IsNumber() && !id.IsString()) {
    Fail(nullptr, kInvalidRequest, "Invalid Request: the id must be a number or a string");
    return;
  }
  if (!message["method"].IsString()) {
    if (request && (message.Has("result") || message.Has("error"))) return;  // an answer to us: none asked
    Fail(request ? id : json::Value(nullptr), kInvalidRequest, "Invalid Request: no method");
    return;
  }
  const std::string& method = message["method"].AsString();
  const json::Value& params = message["params"];
  try {
    if (method == "initialize") {
      if (!request) return;
      initialized_ = true;
      Respond(id, Initialize(params));
      return;
    }
    if (method == "exit") {
      exited_ = true;
      return;
    }
    if (!initialized_) {
      if (request) Fail(id, kServerNotInitialized, "the server is not initialized yet (send initialize first)");
      return;
    }
    if (shutdown_ && request) {
      Fail(id, kInvalidRequest, "the server was shut down; only exit is left");
      return;
    }
    if (!request) {
      if (method == "textDocument/didOpen") DidOpen(params);
      else if (method == "textDocument/didChange") DidChange(params);
      else if (method == "textDocument/didClose") DidClose(params);
      else if (method == "textDocument/didSave") DidSave(params);
      else if (method == "workspace/didChangeWatchedFiles") Refresh();
      return;  // others ("initialized", "$/cancelRequest", ...) need nothing
    }
    if (!params.IsObject() && method != "shutdown") {
      Fail(id, kInvalidParams, "Invalid params: " + method + " takes an object");
      return;
    }
    std::string failure;
    json::Value result;
    if (method == "shutdown") {
      shutdown_ = true;
    } else if (method == "textDocument/completion") {
      result = Completion(params);
    } else if (method == "textDocument/signatureHelp") {
      result = SignatureHelp(params);
    } else if (method == "textDocument/hover") {
      result = Hover(params);
    } else if (method == "textDocument/definition") {
      result = Definition(params);
    } else if (method == "textDocument/references") {
      result = References(params);
    } else if (method == "textDocument/documentSymbol") {
      result = DocumentSymbols(params);
    } else if (method == "textDocument/prepareRename") {
      result = PrepareRename(params, &failure);
    } else if (method == "textDocument/rename") {
      result = Rename(params, &failure);
    } else if (method == "textDocument/semanticTokens/full") {
      result = SemanticTokens(params);
    } else {
      Fail(id, kMethodNotFound, "Method not found: " + method);
      return;
    }
    if (!failure.empty()) Fail(id, kRequestFailed, failure);
    else Respond(id, std::move(result));
  } catch (const std::exception& e) {
    if (request) Fail(id, kInternalError, std::string("Internal error: ") + e.what());
  }
}

json::Value Server::Initialize(const json::Value& params) {
  for (const json::Value& e : params["capabilities"]["general"]["positionEncodings"].items())
    if (e.AsString() == "utf-8") encoding_ = Encoding::Utf8;
  json::Value caps = json::Value::MakeObject();
  if (encoding_ == Encoding::Utf8) caps.Set("positionEncoding", "utf-8");
  json::Value sync = json::Value::MakeObject();
  sync.Set("openClose", true);
  sync.Set("change", 2);  // incremental
  json::Value save = json::Value::MakeObject();
  save.Set("includeText", false);
  sync.Set("save", save);
  caps.Set("textDocumentSync", sync);
  json::Value completion = json::Value::MakeObject();
  completion.Set("triggerCharacters", json::Value::Array{"."});
  caps.Set("completionProvider", completion);
  json::Value signature = json::Value::MakeObject();
  signature.Set("triggerCharacters", json::Value::Array{"(", ","});
  caps.Set("signatureHelpProvider", signature);
  caps.Set("hoverProvider", true);
  caps.Set("definitionProvider", true);
  caps.Set("referencesProvider", true);
  caps.Set("documentSymbolProvider", true);
  json::Value rename = json::Value::MakeObject();
  rename.Set("prepareProvider", true);
  caps.Set("renameProvider", rename);
  json::Value legend = json::Value::MakeObject();
  json::Value types = json::Value::MakeArray(), modifiers = json::Value::MakeArray();
  for (const char* t : kTokenTypes) types.Push(t);
  for (const char* m : kTokenModifiers) modifiers.Push(m);
  legend.Set("tokenTypes", types);
  legend.Set("tokenModifiers", modifiers);
  json::Value tokens = json::Value::MakeObject();
  tokens.Set("legend", legend);
  tokens.Set("full", true);
  caps.Set("semanticTokensProvider", tokens);
  json::Value info = json::Value::MakeObject();
  info.Set("name", "vlmls");
  info.Set("version", VLMLS_VERSION);
  json::Value result = json::Value::MakeObject();
  result.Set("capabilities", caps);
  result.Set("serverInfo", info);
  return result;
}

// ------------------------------------------------------------------ documents and programs

void Server::DidOpen(const json::Value& params) {
  const json::Value& doc = params["textDocument"];
  const std::string path = PathOfUri(doc["uri"].AsString());
  if (path.empty()) return;
  Document& d = open_[path];
  d.uri = doc["uri"].AsString();
  d.text = doc["text"].AsString();
  d.version = doc["version"].AsInt();
  d.lines = LineIndex(d.text);
  // A newly opened file may join or change a program: the folder's programs are found again.
  Program& p = Discover(path);
  p.dirty = true;
}

void Server::DidChange(const json::Value& params) {
  const std::string path = PathOfUri(params["textDocument"]["uri"].AsString());
  auto it = open_.find(path);
  if (it == open_.end()) return;
  Document& d = it->second;
  for (const json::Value& change : params["contentChanges"].items()) {
    if (!change.Has("range")) {
      d.text = change["text"].AsString();
    } else {
      const json::Value& range = change["range"];
      const EditorPosition from{static_cast<int>(range["start"]["line"].AsInt()),
                                static_cast<int>(range["start"]["character"].AsInt())};
      const EditorPosition to{static_cast<int>(range["end"]["line"].AsInt()),
                              static_cast<int>(range["end"]["character"].AsInt())};
      const size_t a = OffsetOf(d.text, d.lines, from, encoding_);
      const size_t b = std::max(a, OffsetOf(d.text, d.lines, to, encoding_));
      d.text.replace(a, b - a, change["text"].AsString());
    }
    d.lines = LineIndex(d.text);
  }
  d.version = params["textDocument"]["version"].AsInt(d.version);
  auto p = programOf_.find(path);
  if (p != programOf_.end()) p->second->dirty = true;
  else Discover(path);
}

void Server::DidClose(const json::Value& params) {
  const std::string path = PathOfUri(params["textDocument"]["uri"].AsString());
  if (!open_.erase(path)) return;
  auto p = programOf_.find(path);
  if (p == programOf_.end()) return;
  Program* program = p->second;
  bool anyOpen = false;
  for (const std::string& m : program->paths) anyOpen = anyOpen || open_.count(m);
  if (anyOpen) {
    program->dirty = true;
    return;
  }
  // Nothing of it is open any more: its diagnostics go with it.
  for (const std::string& uri : program->published) {
    json::Value n = json::Value::MakeObject();
    n.Set("uri", uri);
    n.Set("diagnostics", json::Value::MakeArray());
    Notify("textDocument/publishDiagnostics", n);
  }
  for (const std::string& m : program->paths) programOf_.erase(m);
  programs_.erase(program->paths.front());
}

void Server::DidSave(const json::Value& params) {
  (void)params;
  Refresh();
}

void Server::Refresh() {
  std::vector<std::string> paths;
  for (const auto& [path, doc] : open_) paths.push_back(path);
  for (const std::string& path : paths) Discover(path).dirty = true;
}

Server::Program& Server::Discover(const std::string& path) {
  std::string note;
  std::vector<std::string> modules = ProgramModules(path, &note);
  auto it = programs_.find(modules.front());
  if (it != programs_.end() && it->second->paths == modules) {
    programOf_[path] = it->second.get();
    return *it->second;
  }
  // A new program, or one whose modules changed: it replaces every program it shares a module with.
  auto fresh = std::make_unique<Program>();
  fresh->paths = modules;
  fresh->note = note;
  for (const std::string& m : modules) {
    auto old = programOf_.find(m);
    if (old == programOf_.end()) continue;
    Program* gone = old->second;
    fresh->published.insert(gone->published.begin(), gone->published.end());
    for (const std::string& other : gone->paths) programOf_.erase(other);
    programs_.erase(gone->paths.front());
  }
  Program* p = fresh.get();
  programs_[modules.front()] = std::move(fresh);
  for (const std::string& m : modules) programOf_[m] = p;
  return *p;
}

void Server::Analyze(Program& p) {
  std::vector<vlmc::SourceFile> modules;
  p.texts.clear();
  p.lines.clear();
  for (const std::string& path : p.paths) {
    std::string text;
    auto open = open_.find(path);
    if (open != open_.end()) text = open->second.text;
    else ReadModule(path, &text);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    modules.push_back({path, text});
  }
  p.analysis = CheckProgram(modules);
  for (vlmc::SourceFile& m : modules) {
    p.lines.emplace_back(m.text);
    p.texts.push_back(std::move(m.text));
  }
  p.dirty = false;
}

void Server::Index(Program& p) {
  if (p.analysis.indexed) return;
  std::shared_ptr<vlmc::ProgramTree> tree;
  IndexProgram(p.analysis, &tree);
  retired_.push_back(std::move(tree));
  if (p.analysis.checked) p.checkedSymbols = p.analysis.symbols;
}

std::string Server::UriOf(const std::string& path) const {
  auto it = open_.find(path);
  return it != open_.end() ? it->second.uri : UriOfPath(path);
}

void Server::Publish(Program& p) {
  std::vector<json::Value> lists(p.paths.size(), json::Value::MakeArray());
  for (const Problem& problem : p.analysis.problems) {
    if (problem.at.module < 0 || static_cast<size_t>(problem.at.module) >= p.paths.size()) continue;
    json::Value d = json::Value::MakeObject();
    d.Set("range", Range(p, problem.at));
    d.Set("severity", problem.warning ? 2 : 1);
    d.Set("source", "vlmc");
    d.Set("message", problem.message);
    if (problem.hasNote && static_cast<size_t>(problem.noteAt.module) < p.paths.size()) {
      json::Value related = json::Value::MakeObject();
      related.Set("location", LocationOf(p, problem.noteAt));
      related.Set("message", problem.note);
      d.Set("relatedInformation", json::Value::Array{std::move(related)});
    }
    lists[static_cast<size_t>(problem.at.module)].Push(std::move(d));
  }
  if (!p.note.empty() && !p.paths.empty()) {
    json::Value d = json::Value::MakeObject();
    d.Set("range", Range(p, Place{0, 1, 1, 0}));
    d.Set("severity", 3);
    d.Set("source", "vlmls");
    d.Set("message", p.note);
    lists.front().Push(std::move(d));
  }
  std::set<std::string> published;
  for (size_t m = 0; m < p.paths.size(); ++m) {
    const std::string uri = UriOf(p.paths[m]);
    const bool any = lists[m].size() > 0;
    if (!any && !p.published.count(uri) && !open_.count(p.paths[m])) continue;
    json::Value n = json::Value::MakeObject();
    n.Set("uri", uri);
    auto open = open_.find(p.paths[m]);
    if (open != open_.end()) n.Set("version", open->second.version);
    n.Set("diagnostics", std::move(lists[m]));
    Notify("textDocument/publishDiagnostics", std::move(n));
    if (any) published.insert(uri);
  }
  // A URI that left the program (a module dropped from velmora.json) is cleared too.
  for (const std::string& uri : p.published) {
    if (published.count(uri)) continue;
    bool inProgram = false;
    for (const std::string& path : p.paths) inProgram = inProgram || UriOf(path) == uri;
    if (inProgram) continue;
    json::Value n = json::Value::MakeObject();
    n.Set("uri", uri);
    n.Set("diagnostics", json::Value::MakeArray());
    Notify("textDocument/publishDiagnostics", std::move(n));
  }
  p.published = std::move(published);
}

void Server::Idle() {
  // The diagnostics first; the index (for the requests to come) and freeing the old trees after.
  std::vector<Program*> changed;
  for (auto& [key, program] : programs_) {
    if (!program->dirty) continue;
    Analyze(*program);
    Publish(*program);
    changed.push_back(program.get());
  }
  for (Program* p : changed) Index(*p);
  retired_.clear();
}

Server::Program* Server::ProgramOf(const std::string& path, int* module) {
  auto it = programOf_.find(path);
  Program* p = it != programOf_.end() ? it->second : &Discover(path);
  if (p->dirty) {
    Analyze(*p);
    Publish(*p);
  }
  Index(*p);
  const auto m = std::find(p->paths.begin(), p->paths.end(), path);
  *module = static_cast<int>(m - p->paths.begin());
  return p;
}

// ------------------------------------------------------------------ positions

void Server::ToPlace(const Program& p, int module, const json::Value& position, int* line, int* column) const {
  const std::string& text = p.texts[static_cast<size_t>(module)];
  const LineIndex& lines = p.lines[static_cast<size_t>(module)];
  const int l = static_cast<int>(std::clamp<int64_t>(position["line"].AsInt(), 0, std::max(0, lines.Lines() - 1)));
  const int c = static_cast<int>(std::clamp<int64_t>(position["character"].AsInt(), 0, 1 << 30));
  *line = l + 1;
  *column = static_cast<int>(BytesOf(lines.Line(text, l), c, encoding_)) + 1;
}

json::Value Server::Range(const Program& p, const Place& place) const {
  const size_t m = static_cast<size_t>(std::max(0, place.module));
  json::Value start = json::Value::MakeObject(), end = json::Value::MakeObject();
  int line = std::max(0, place.line - 1), from = 0, to = 0;
  if (m < p.texts.size()) {
    const std::string_view text = p.lines[m].Line(p.texts[m], line);
    from = CharactersOf(text, static_cast<size_t>(std::max(0, place.column - 1)), encoding_);
    to = CharactersOf(text, static_cast<size_t>(std::max(0, place.column - 1 + place.length)), encoding_);
  }
  start.Set("line", line);
  start.Set("character", from);
  end.Set("line", line);
  end.Set("character", std::max(from, to));
  json::Value r = json::Value::MakeObject();
  r.Set("start", start);
  r.Set("end", end);
  return r;
}

json::Value Server::LineRange(const Program& p, int module, int firstLine, int lastLine) const {
  const size_t m = static_cast<size_t>(module);
  json::Value start = json::Value::MakeObject(), end = json::Value::MakeObject();
  start.Set("line", firstLine - 1);
  start.Set("character", 0);
  end.Set("line", lastLine - 1);
  const std::string_view last = p.lines[m].Line(p.texts[m], lastLine - 1);
  end.Set("character", CharactersOf(last, last.size(), encoding_));
  json::Value r = json::Value::MakeObject();
  r.Set("start", start);
  r.Set("end", end);
  return r;
}

json::Value Server::LocationOf(const Program& p, const Place& place) const {
  json::Value l = json::Value::MakeObject();
  l.Set("uri", UriOf(p.paths[static_cast<size_t>(place.module)]));
  l.Set("range", Range(p, place));
  return l;
}

bool Server::Locate(const json::Value& params, At* at) {
  at->path = PathOfUri(params["textDocument"]["uri"].AsString());
  if (at->path.empty()) return false;
  if (!open_.count(at->path)) {
    std::string text;
    if (!ReadModule(at->path, &text)) return false;
  }
  at->program = ProgramOf(at->path, &at->module);
  if (static_cast<size_t>(at->module) >= at->program->paths.size()) return false;
  ToPlace(*at->program, at->module, params["position"], &at->line, &at->column);
  return true;
}

int Server::SymbolAt(const At& at) const {
  const Occurrence* o = at.program->analysis.At(at.module, at.line, at.column);
  return o ? o->symbol : -1;
}

// ------------------------------------------------------------------ completion and signatures

json::Value Server::Completion(const json::Value& params) {
  At at;
  json::Value items = json::Value::MakeArray();
  if (!Locate(params, &at)) return items;
  const Program& p = *at.program;
  const std::string& text = p.texts[static_cast<size_t>(at.module)];
  const LineIndex& lines = p.lines[static_cast<size_t>(at.module)];
  const size_t lineStart = lines.Start(at.line - 1);
  const size_t cursor = std::min(text.size(), lineStart + static_cast<size_t>(at.column - 1));
  const std::string_view before(text.data() + lineStart, cursor - lineStart);
  if (InCommentOrText(before)) return items;
  const size_t nameStart = NameStartBefore(text, cursor);
  const std::string prefix = text.substr(nameStart, cursor - nameStart);
  const std::vector<Symbol>& symbols = p.analysis.checked ? p.analysis.symbols : p.checkedSymbols;
  const auto offer = [&](const std::string& label, int kind, const std::string& detail, json::Value doc,
                         const char* sortGroup) {
    if (!prefix.empty() && !StartsWithNoCase(label, prefix.substr(0, 1))) return;
    json::Value item = json::Value::MakeObject();
    item.Set("label", label);
    item.Set("kind", kind);
    if (!detail.empty()) item.Set("detail", detail);
    if (!doc.IsNull()) item.Set("documentation", std::move(doc));
    item.Set("sortText", std::string(sortGroup) + label);
    items.Push(std::move(item));
  };

  // After "record." the fields of the record's TYPE: the chain before the dot is followed
  // through the variables and fields it names.
  if (nameStart > lineStart && text[nameStart - 1] == '.') {
    std::vector<std::string> chain;
    size_t k = nameStart - 1;  // at the '.'
    while (k > lineStart && text[k] == '.') {
      size_t end = k;
      if (end > lineStart && text[end - 1] == ']') {  // an index: skip to its '['
        int depth = 0;
        while (end > lineStart) {
          --end;
          if (text[end] == ']') ++depth;
          else if (text[end] == '[' && --depth == 0) break;
        }
      }
      const size_t start = NameStartBefore(text, end);
      if (start == end) break;
      chain.insert(chain.begin(), text.substr(start, end - start));
      if (start == lineStart || text[start - 1] != '.') break;
      k = start - 1;
    }
    if (chain.empty()) return items;
    const Analysis& a = p.analysis;
    const int current = a.Visible(chain.front(), at.module, at.line);
    std::string type = current >= 0 ? a.symbols[static_cast<size_t>(current)].recordType : "";
    if (current < 0) {
      for (const Symbol& s : symbols)
        if (s.name == chain.front() && !s.recordType.empty()) type = s.recordType;
    }
    for (size_t c = 1; c < chain.size() && !type.empty(); ++c) {
      std::string next;
      for (const Symbol& s : symbols)
        if (s.kind == SymbolKind::Field && s.name == chain[c] && s.container >= 0 &&
            symbols[static_cast<size_t>(s.container)].name == type)
          next = s.recordType;
      type = next;
    }
    for (const Symbol& s : symbols)
      if (s.kind == SymbolKind::Field && s.container >= 0 && symbols[static_cast<size_t>(s.container)].name == type)
        offer(s.name, kItemField, s.detail, nullptr, "0");
    return items;
  }

  // After AS only TYPEs.
  size_t w = nameStart;
  while (w > lineStart && (text[w - 1] == ' ' || text[w - 1] == '\t')) --w;
  if (w >= lineStart + 2 && Upper(std::string_view(text).substr(w - 2, 2)) == "AS" &&
      (w == lineStart + 2 || !IsNameByte(text[w - 3]))) {
    for (const Symbol& s : symbols)
      if (s.kind == SymbolKind::Type) offer(s.name, kItemStruct, s.detail, nullptr, "0");
    return items;
  }

  // The program's names visible here, the runtime's operations, the built-ins and the keywords.
  int routine = p.analysis.RoutineAt(at.module, at.line);
  if (!p.analysis.checked) {
    // The names are the last checked program's, and so must the routine be: the one of the
    // name the present reading puts the line in, else the one whose extent then held it.
    const std::string name = routine >= 0 ? p.analysis.symbols[static_cast<size_t>(routine)].name : "";
    routine = RoutineAt(symbols, at.module, at.line);
    for (size_t k = 0; k < symbols.size() && !name.empty(); ++k)
      if ((symbols[k].kind == SymbolKind::Function || symbols[k].kind == SymbolKind::Sub) && symbols[k].name == name)
        routine = static_cast<int>(k);
  }
  std::set<std::string> seen;
  for (const Symbol& s : symbols) {
    if (s.kind == SymbolKind::Field || s.kind == SymbolKind::Label) continue;
    const bool local = s.kind == SymbolKind::Parameter || s.kind == SymbolKind::Local;
    if (local && (s.container != routine || (routine < 0 && at.module != 0))) continue;
    if (!seen.insert(s.name).second) continue;
    int kind = kItemVariable;
    if (IsRoutine(s.kind)) kind = kItemFunction;
    else if (s.kind == SymbolKind::Type) kind = kItemStruct;
    else if (s.kind == SymbolKind::Constant) kind = kItemConstant;
    offer(s.name, kind, s.detail, nullptr, local ? "0" : "1");
  }
  for (int k = 0; k < vlmc::kBindingCount; ++k) {
    const vlmc::Binding& b = vlmc::kBindings[k];
    if (!seen.insert(b.name).second) continue;
    if (!prefix.empty() && !StartsWithNoCase(b.name, prefix.substr(0, 1))) continue;
    offer(b.name, kItemFunction, OperationLabel(b), Markdown(OperationMarkdown(b)), "2");
  }
  for (int k = 0; k < vlmc::kBuiltinCount; ++k) {
    const vlmc::Builtin& b = vlmc::kBuiltins[k];
    if (seen.insert(b.name).second) offer(b.name, kItemFunction, BuiltinLabel(b), nullptr, "2");
  }
  for (const std::string& keyword : vlmc::Keywords())
    if (!seen.count(keyword)) offer(keyword, kItemKeyword, "", nullptr, "3");
  return items;
}

json::Value Server::SignatureHelp(const json::Value& params) {
  At at;
  if (!Locate(params, &at)) return nullptr;
  const Program& p = *at.program;
  const std::string& text = p.texts[static_cast<size_t>(at.module)];
  const size_t lineStart = p.lines[static_cast<size_t>(at.module)].Start(at.line - 1);
  const size_t cursor = std::min(text.size(), lineStart + static_cast<size_t>(at.column - 1));
  // The open brackets before the cursor on its line: the innermost call's name and its commas.
  struct Open {
    std::string name;
    bool call;
    int commas;
  };
  std::vector<Open> open;
  bool inText = false;
  for (size_t k = lineStart; k < cursor; ++k) {
    const char c = text[k];
    if (c == '"') inText = !inText;
    if (inText) continue;
    if (c == '\'') return nullptr;
    if (c == '(' || c == '[') {
      const size_t start = NameStartBefore(text, k);
      open.push_back({text.substr(start, k - start), c == '(', 0});
    } else if ((c == ')' || c == ']') && !open.empty()) {
      open.pop_back();
    } else if (c == ',' && !open.empty()) {
      ++open.back().commas;
    }
  }
  if (inText || open.empty() || !open.back().call || open.back().name.empty()) return nullptr;
  const Open& call = open.back();
  json::Value signatures = json::Value::MakeArray();
  const auto add = [&](const std::string& label, const std::vector<std::string>& names, json::Value doc) {
    json::Value s = json::Value::MakeObject();
    s.Set("label", label);
    if (!doc.IsNull()) s.Set("documentation", std::move(doc));
    json::Value ps = json::Value::MakeArray();
    for (const std::string& n : names) {
      json::Value param = json::Value::MakeObject();
      param.Set("label", n);
      ps.Push(std::move(param));
    }
    s.Set("parameters", std::move(ps));
    signatures.Push(std::move(s));
  };
  const std::vector<Symbol>& symbols = p.analysis.checked ? p.analysis.symbols : p.checkedSymbols;
  for (const Symbol& s : symbols) {
    if (!IsRoutine(s.kind) || s.name != call.name) continue;
    std::string label = s.name + "(";
    for (size_t k = 0; k < s.params.size(); ++k) label += (k ? ", " : "") + s.params[k];
    add(label + ")", s.params, Markdown("```basic\n" + s.detail + "\n```"));
    break;
  }
  if (signatures.size() == 0) {
    for (const vlmc::Binding* b : Overloads(call.name)) {
      std::vector<std::string> names;
      const std::string label = OperationLabel(*b, &names);
      const OperationDoc* doc = FindOperationDoc(b->name);
      add(label, names, doc && *doc->comment ? Markdown(doc->comment) : json::Value(nullptr));
    }
  }
  if (signatures.size() == 0) {
    if (const vlmc::Builtin* b = vlmc::FindBuiltin(call.name)) {
      std::vector<std::string> names;
      const std::string label = BuiltinLabel(*b, &names);
      add(label, names, nullptr);
    }
  }
  if (signatures.size() == 0) return nullptr;
  // The first overload that takes this many arguments is the active one.
  int active = 0;
  for (size_t k = 0; k < signatures.size(); ++k)
    if (static_cast<int>(signatures[k]["parameters"].size()) > call.commas) {
      active = static_cast<int>(k);
      break;
    }
  json::Value help = json::Value::MakeObject();
  help.Set("signatures", std::move(signatures));
  help.Set("activeSignature", active);
  help.Set("activeParameter", call.commas);
  return help;
}

// ------------------------------------------------------------------ hover, definition, references

json::Value Server::Hover(const json::Value& params) {
  At at;
  if (!Locate(params, &at)) return nullptr;
  const Program& p = *at.program;
  const Occurrence* o = p.analysis.At(at.module, at.line, at.column);
  std::string md;
  if (o && o->symbol >= 0) md = SymbolMarkdown(p.analysis.symbols[static_cast<size_t>(o->symbol)], p.analysis.symbols);
  else if (o && o->binding) md = OperationMarkdown(*o->binding);
  else if (o && o->builtin) md = "```basic\n" + BuiltinLabel(*o->builtin) + "\n```\nA built-in function.";
  if (!o) {
    // A name the checker did not resolve (the line does not translate yet): an operation by name.
    const std::string& text = p.texts[static_cast<size_t>(at.module)];
    const size_t offset = p.lines[static_cast<size_t>(at.module)].Start(at.line - 1) + static_cast<size_t>(at.column - 1);
    const size_t start = NameStartBefore(text, offset);
    const std::string name = text.substr(start, NameLengthAt(text, start));
    const std::vector<const vlmc::Binding*> overloads = Overloads(name);
    if (!overloads.empty()) md = OperationMarkdown(*overloads.front());
  }
  if (md.empty()) return nullptr;
  json::Value h = json::Value::MakeObject();
  h.Set("contents", Markdown(md));
  if (o) h.Set("range", Range(p, Place{at.module, o->line, o->column, o->length}));
  return h;
}

json::Value Server::Definition(const json::Value& params) {
  At at;
  if (!Locate(params, &at)) return nullptr;
  const int s = SymbolAt(at);
  if (s < 0) return nullptr;
  const Symbol& symbol = at.program->analysis.symbols[static_cast<size_t>(s)];
  if (symbol.at.length <= 0) return nullptr;
  return LocationOf(*at.program, symbol.at);
}

json::Value Server::References(const json::Value& params) {
  At at;
  json::Value out = json::Value::MakeArray();
  if (!Locate(params, &at)) return out;
  const int s = SymbolAt(at);
  if (s < 0) return out;
  const Symbol& symbol = at.program->analysis.symbols[static_cast<size_t>(s)];
  if (params["context"]["includeDeclaration"].AsBool(true) && symbol.at.length > 0)
    out.Push(LocationOf(*at.program, symbol.at));
  for (const Place& use : symbol.uses) out.Push(LocationOf(*at.program, use));
  return out;
}

json::Value Server::DocumentSymbols(const json::Value& params) {
  json::Value out = json::Value::MakeArray();
  const std::string path = PathOfUri(params["textDocument"]["uri"].AsString());
  if (path.empty()) return out;
  if (!open_.count(path)) {
    std::string text;
    if (!ReadModule(path, &text)) return out;
  }
  int module = 0;
  const Program& p = *ProgramOf(path, &module);
  const std::vector<Symbol>& symbols = p.analysis.symbols;
  const auto make = [&](const Symbol& s, int kind) {
    json::Value d = json::Value::MakeObject();
    d.Set("name", s.name);
    d.Set("detail", s.detail);
    d.Set("kind", kind);
    const int last = s.endLine > 0 ? s.endLine : s.at.line;
    d.Set("range", LineRange(p, module, s.at.line, last));
    d.Set("selectionRange", Range(p, s.at));
    return d;
  };
  for (size_t k = 0; k < symbols.size(); ++k) {
    const Symbol& s = symbols[k];
    if (s.at.module != module || s.at.length <= 0) continue;
    int kind = 0;
    switch (s.kind) {
      case SymbolKind::Function:
      case SymbolKind::Sub:
      case SymbolKind::Declare: kind = kSymFunction; break;
      case SymbolKind::Type: kind = kSymStruct; break;
      case SymbolKind::Global: kind = kSymVariable; break;
      case SymbolKind::Constant: kind = kSymConstant; break;
      case SymbolKind::Label: kind = kSymKey; break;
      default: break;
    }
    if (kind == 0 || (s.kind == SymbolKind::Label && s.container >= 0)) continue;
    json::Value d = make(s, kind);
    json::Value children = json::Value::MakeArray();
    for (const Symbol& c : symbols) {
      if (c.container != static_cast<int>(k) || c.at.module != module || c.at.length <= 0) continue;
      if (c.kind == SymbolKind::Field) children.Push(make(c, kSymField));
      else if (c.kind == SymbolKind::Parameter || c.kind == SymbolKind::Local) children.Push(make(c, kSymVariable));
    }
    if (children.size() > 0) d.Set("children", std::move(children));
    out.Push(std::move(d));
  }
  return out;
}

// ------------------------------------------------------------------ rename

json::Value Server::PrepareRename(const json::Value& params, std::string* error) {
  At at;
  if (!Locate(params, &at)) return nullptr;
  const Occurrence* o = at.program->analysis.At(at.module, at.line, at.column);
  if (o && (o->binding || o->builtin)) {
    *error = "a runtime operation or a built-in function cannot be renamed, only the program's own names";
    return nullptr;
  }
  if (!o || o->symbol < 0) return nullptr;
  return Range(*at.program, Place{at.module, o->line, o->column, o->length});
}

json::Value Server::Rename(const json::Value& params, std::string* error) {
  At at;
  if (!Locate(params, &at)) return nullptr;
  Program& p = *at.program;
  const int id = SymbolAt(at);
  if (id < 0) {
    const Occurrence* o = p.analysis.At(at.module, at.line, at.column);
    *error = o ? "a runtime operation or a built-in function cannot be renamed, only the program's own names"
               : "no name of the program here";
    return nullptr;
  }
  const Symbol symbol = p.analysis.symbols[static_cast<size_t>(id)];
  const std::string name = params["newName"].AsString();
  // The new name must be a name of the same kind: $ and % say what a variable holds.
  bool valid = !name.empty() && std::isalpha(static_cast<unsigned char>(name[0])) &&
               NameLengthAt(name, 0) == name.size();
  const auto suffix = [](const std::string& n) { return n.empty() ? '\0' : n.back() == '$' || n.back() == '%' ? n.back() : '\0'; };
  if (!valid) {
    *error = "'" + name + "' is not a name (a letter, then letters, digits and _, then $ or % for text or integers)";
    return nullptr;
  }
  if (suffix(name) != suffix(symbol.name)) {
    *error = "'" + name + "' would change what " + symbol.name + " holds: keep its ending (" +
             (suffix(symbol.name) ? std::string(1, suffix(symbol.name)) : std::string("no $ or %")) + ")";
    return nullptr;
  }
  if (vlmc::Keywords().count(Upper(name)) || vlmc::FindBuiltin(name) || !Overloads(name).empty()) {
    *error = "'" + name + "' is a reserved word, a built-in function or a runtime operation";
    return nullptr;
  }
  // No other name it could meet: the program-wide ones, those of the same routine or TYPE, and
  // (for a program-wide name) any local that would hide it.
  for (size_t k = 0; k < p.analysis.symbols.size(); ++k) {
    const Symbol& other = p.analysis.symbols[k];
    if (static_cast<int>(k) == id || Upper(other.name) != Upper(name)) continue;
    bool meets;
    if (symbol.kind == SymbolKind::Field) meets = other.kind == SymbolKind::Field && other.container == symbol.container;
    else if (symbol.kind == SymbolKind::Label) meets = other.kind == SymbolKind::Label;
    else if (other.kind == SymbolKind::Field || other.kind == SymbolKind::Label) meets = false;
    else meets = IsProgramWide(symbol.kind) || IsProgramWide(other.kind) || other.container == symbol.container;
    if (meets) {
      *error = "'" + name + "' is already taken: " + other.detail;
      return nullptr;
    }
  }
  std::vector<Place> places = symbol.uses;
  places.push_back(symbol.at);
  // The renamed program must translate as well as before.
  std::vector<vlmc::SourceFile> modules;
  for (size_t m = 0; m < p.paths.size(); ++m) modules.push_back({p.paths[m], p.texts[m]});
  std::vector<Place> sorted = places;
  std::sort(sorted.begin(), sorted.end(), [](const Place& a, const Place& b) {
    if (a.module != b.module) return a.module < b.module;
    return a.line != b.line ? a.line > b.line : a.column > b.column;  // back to front
  });
  for (const Place& place : sorted) {
    std::string& text = modules[static_cast<size_t>(place.module)].text;
    const size_t offset = p.lines[static_cast<size_t>(place.module)].Start(place.line - 1) +
                          static_cast<size_t>(place.column - 1);
    text.replace(offset, static_cast<size_t>(place.length), name);
  }
  const Analysis renamed = vlmls::Analyze(modules);
  if (renamed.problems.size() > p.analysis.problems.size()) {
    std::string first;
    for (const Problem& q : renamed.problems) {
      bool old = false;
      for (const Problem& r : p.analysis.problems) old = old || r.message == q.message;
      if (!old) {
        first = q.message;
        break;
      }
    }
    *error = "renaming " + symbol.name + " to " + name + " would not translate: " + first;
    return nullptr;
  }
  json::Value changes = json::Value::MakeObject();
  std::map<int, json::Value> edits;
  for (const Place& place : places) {
    json::Value edit = json::Value::MakeObject();
    edit.Set("range", Range(p, place));
    edit.Set("newText", name);
    auto [it, fresh] = edits.emplace(place.module, json::Value::MakeArray());
    it->second.Push(std::move(edit));
  }
  for (auto& [module, list] : edits) changes.Set(UriOf(p.paths[static_cast<size_t>(module)]), std::move(list));
  json::Value result = json::Value::MakeObject();
  result.Set("changes", std::move(changes));
  return result;
}

// ------------------------------------------------------------------ semantic tokens

json::Value Server::SemanticTokens(const json::Value& params) {
  json::Value data = json::Value::MakeArray();
  json::Value result = json::Value::MakeObject();
  const std::string path = PathOfUri(params["textDocument"]["uri"].AsString());
  if (path.empty() || (!open_.count(path) && !std::filesystem::exists(path))) {
    result.Set("data", std::move(data));
    return result;
  }
  int module = 0;
  const Program& p = *ProgramOf(path, &module);
  int lastLine = 0, lastStart = 0;
  for (const Occurrence& o : p.analysis.occurrences[static_cast<size_t>(module)]) {
    int type = kTokFunction, modifiers = 0;
    if (o.symbol >= 0) {
      const Symbol& s = p.analysis.symbols[static_cast<size_t>(o.symbol)];
      switch (s.kind) {
        case SymbolKind::Function:
        case SymbolKind::Sub:
        case SymbolKind::Declare: type = kTokFunction; break;
        case SymbolKind::Type: type = kTokStruct; break;
        case SymbolKind::Field: type = kTokProperty; break;
        case SymbolKind::Parameter: type = kTokParameter; break;
        case SymbolKind::Constant: type = kTokVariable, modifiers = kModReadonly; break;
        case SymbolKind::Label: type = kTokLabel; break;
        default: type = kTokVariable; break;
      }
      if (o.definition) modifiers |= kModDeclaration;
    } else {
      modifiers = kModDefaultLibrary;
    }
    const std::string_view line = p.lines[static_cast<size_t>(module)].Line(p.texts[static_cast<size_t>(module)], o.line - 1);
    const int start = CharactersOf(line, static_cast<size_t>(o.column - 1), encoding_);
    const int length = CharactersOf(line, static_cast<size_t>(o.column - 1 + o.length), encoding_) - start;
    const int deltaLine = (o.line - 1) - lastLine;
    data.Push(deltaLine);
    data.Push(deltaLine == 0 ? start - lastStart : start);
    data.Push(length);
    data.Push(type);
    data.Push(modifiers);
    lastLine = o.line - 1;
    lastStart = start;
  }
  result.Set("data", std::move(data));
  return result;
}

}  // namespace vlmls
