// vlmls' analysis of a program (see analysis.h): vlmc's stages as the
// translator runs them, then one walk over the checked tree that turns what
// the checker resolved (the variable, routine, operation or TYPE behind each
// name) into symbols and the places they are written.
#include "analysis.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <map>
#include <unordered_map>

#include "bindings.h"
#include "builtins.h"
#include "check.h"
#include "diagnostics.h"
#include "lexer.h"
#include "names.h"
#include "parser.h"
#include "syntax.h"
#include "text.h"

namespace vlmls {
namespace {

using vlmc::Block;
using vlmc::Declaration;
using vlmc::Expr;
using vlmc::Position;
using vlmc::Stmt;

// The translator's messages as problems, in line order; a module's place is its index.
std::vector<Problem> ReadProblems(const vlmc::Diagnostics& diagnostics) {
  std::vector<Problem> out;
  for (const vlmc::Diagnostics::Message& m : diagnostics.Messages()) {
    Problem p;
    p.at = Place{m.at.file, m.at.line, m.at.column, 0};
    p.message = m.message;
    p.warning = m.warning;
    p.hasNote = m.hasNote;
    if (m.hasNote) {
      p.noteAt = Place{m.noteAt.file, m.noteAt.line, m.noteAt.column, 0};
      p.note = m.note;
    }
    out.push_back(std::move(p));
  }
  return out;
}

class Indexer {
 public:
  Indexer(const std::vector<vlmc::SourceFile>& modules, Analysis& out) : modules_(modules), out_(out) {
    for (const vlmc::SourceFile& m : modules) lines_.emplace_back(m.text);
  }

  void Run(vlmc::ProgramTree& tree);
  // Each problem's length: the name at its place, else one character.
  void Measure(std::vector<Problem>& problems) const;

 private:
  // The place of a name written at the position: its length read from the text.
  Place PlaceOf(Position at) const {
    Place p{at.file, at.line, at.column, 0};
    if (at.file < 0 || static_cast<size_t>(at.file) >= modules_.size() || at.line < 1) return p;
    const std::string& text = modules_[static_cast<size_t>(at.file)].text;
    const LineIndex& index = lines_[static_cast<size_t>(at.file)];
    if (at.line > index.Lines()) return p;
    const size_t offset = index.Start(at.line - 1) + static_cast<size_t>(std::max(0, at.column - 1));
    p.length = static_cast<int>(NameLengthAt(text, offset));
    return p;
  }
  std::string_view NameAt(const Place& p) const {
    const std::string& text = modules_[static_cast<size_t>(p.module)].text;
    const size_t offset = lines_[static_cast<size_t>(p.module)].Start(p.line - 1) + static_cast<size_t>(p.column - 1);
    return std::string_view(text).substr(std::min(offset, text.size()), static_cast<size_t>(p.length));
  }
  // The place of `name` written after the position on its line (a GOTO's label).
  Place PlaceAfter(Position at, const std::string& name) const;
  int EndLine(int module, int line, const char* first, const char* second) const;

  int Add(Symbol s) {
    out_.symbols.push_back(std::move(s));
    const int id = static_cast<int>(out_.symbols.size()) - 1;
    const Symbol& added = out_.symbols.back();
    if (added.at.length > 0) Note(added.at, id, true);
    return id;
  }
  void Note(const Place& p, int symbol, bool definition = false) {
    if (p.length <= 0 || p.module < 0 || static_cast<size_t>(p.module) >= out_.occurrences.size()) return;
    Occurrence o;
    o.line = p.line;
    o.column = p.column;
    o.length = p.length;
    o.symbol = symbol;
    o.definition = definition;
    out_.occurrences[static_cast<size_t>(p.module)].push_back(o);
  }
  void Use(const Place& p, int symbol) {
    if (symbol < 0 || p.length <= 0) return;
    Symbol& s = out_.symbols[static_cast<size_t>(symbol)];
    if (p.module == s.at.module && p.line == s.at.line && p.column == s.at.column) return;  // the definition
    s.uses.push_back(p);
    Note(p, symbol);
  }
  int VariableSymbol(const vlmc::Variable* v, SymbolKind kind, const std::string& detail);
  void Declared(const Declaration& d, SymbolKind kind, const std::string& detail);

  void WalkBlock(const Block& block);
  void WalkStatement(const Stmt& s);
  void WalkExpr(const Expr* e);
  void TypeUse(const std::string& typeName, Position at);

  const std::vector<vlmc::SourceFile>& modules_;
  Analysis& out_;
  std::vector<LineIndex> lines_;
  std::unordered_map<const vlmc::Variable*, int> variables_;
  std::unordered_map<const vlmc::Function*, int> functions_;
  std::unordered_map<const vlmc::Declare*, int> declares_;
  std::map<std::string, int> types_;
  std::map<std::string, int> constants_;
  std::unordered_map<const Stmt*, int> labels_;
  std::vector<const Stmt*> pendingJumps_;  // GOTOs and RESTOREs met before their label
  std::map<std::string, const vlmc::Binding*> bindings_;
  int routine_ = -1;  // the routine being walked
};

std::string ValueText(const Expr* e) {
  if (!e) return "";
  if (e->kind == Expr::Number) {
    std::string s = std::to_string(e->value);
    if (s.find('.') != std::string::npos) {
      while (!s.empty() && s.back() == '0') s.pop_back();
      if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
  }
  if (e->kind == Expr::String) {
    std::string s = "\"";
    for (char c : e->text) s += c == '"' ? std::string("\"\"") : std::string(1, c);
    return s + "\"";
  }
  return "";
}

std::string ParamText(const Declaration& d) {
  std::string s = d.byRef ? "BYREF " + d.name : d.name;
  if (d.isArray) s += "[]";
  if (!d.typeName.empty()) s += " AS " + d.typeName;
  if (d.defaultValue && d.defaultValue->literal) s += " = " + ValueText(d.defaultValue.get());
  return s;
}

std::string ParamsText(const std::vector<Declaration>& params) {
  std::string s = "(";
  for (size_t k = 0; k < params.size(); ++k) s += (k ? ", " : "") + ParamText(params[k]);
  return s + ")";
}

Place Indexer::PlaceAfter(Position at, const std::string& name) const {
  Place p{at.file, at.line, at.column, 0};
  if (at.file < 0 || static_cast<size_t>(at.file) >= modules_.size() || name.empty()) return p;
  const std::string& text = modules_[static_cast<size_t>(at.file)].text;
  const LineIndex& index = lines_[static_cast<size_t>(at.file)];
  const std::string_view line = index.Line(text, at.line - 1);
  for (size_t k = static_cast<size_t>(std::max(0, at.column - 1)); k < line.size(); ++k) {
    if ((k == 0 || !IsNameByte(line[k - 1])) && line.substr(k, name.size()) == name &&
        NameLengthAt(line, k) == name.size()) {
      p.column = static_cast<int>(k) + 1;
      p.length = static_cast<int>(name.size());
      return p;
    }
  }
  return p;
}

// The first line after `line` whose words start with first and second (END FUNCTION), or 0.
int Indexer::EndLine(int module, int line, const char* first, const char* second) const {
  if (module < 0 || static_cast<size_t>(module) >= modules_.size()) return 0;
  const std::string& text = modules_[static_cast<size_t>(module)].text;
  const LineIndex& index = lines_[static_cast<size_t>(module)];
  for (int l = line; l < index.Lines(); ++l) {
    std::string_view s = index.Line(text, l);
    size_t k = 0;
    while (k < s.size() && (s[k] == ' ' || s[k] == '\t' || std::isdigit(static_cast<unsigned char>(s[k])))) ++k;
    std::string words;
    for (; k < s.size() && words.size() < 32; ++k) {
      const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[k])));
      if (c == ' ' || c == '\t') {
        if (!words.empty() && words.back() != ' ') words += ' ';
      } else if (IsNameByte(c)) {
        words += c;
      } else {
        break;
      }
    }
    const std::string want = std::string(first) + " " + second;
    if (words.rfind(want, 0) == 0 && (words.size() == want.size() || words[want.size()] == ' ')) return l + 1;
  }
  return 0;
}

void Indexer::Measure(std::vector<Problem>& problems) const {
  for (Problem& p : problems) {
    if (p.at.module < 0 || static_cast<size_t>(p.at.module) >= modules_.size()) p.at.module = 0;
    const int column = p.at.column;
    p.at = PlaceOf(Position{p.at.module, p.at.line, column});
    p.at.column = column;
    if (p.at.length == 0) p.at.length = 1;
    if (p.hasNote) {
      if (p.noteAt.module < 0 || static_cast<size_t>(p.noteAt.module) >= modules_.size()) p.noteAt.module = 0;
      const int noteColumn = p.noteAt.column;
      p.noteAt = PlaceOf(Position{p.noteAt.module, p.noteAt.line, noteColumn});
      p.noteAt.column = noteColumn;
      if (p.noteAt.length == 0) p.noteAt.length = 1;
    }
  }
}

int Indexer::VariableSymbol(const vlmc::Variable* v, SymbolKind kind, const std::string& detail) {
  if (!v) return -1;
  auto it = variables_.find(v);
  if (it != variables_.end()) return it->second;
  Symbol s;
  s.name = v->basic;
  s.kind = kind;
  s.at = PlaceOf(v->at);
  s.detail = detail;
  s.container = kind == SymbolKind::Parameter || kind == SymbolKind::Local ? routine_ : -1;
  s.isArray = v->isArray;
  if (v->record) s.recordType = v->record->name;
  const int id = Add(std::move(s));
  variables_[v] = id;
  return id;
}

void Indexer::Declared(const Declaration& d, SymbolKind kind, const std::string& detail) {
  if (d.variable) VariableSymbol(d.variable, kind, detail);
  TypeUse(d.typeName, d.typeAt);
  WalkExpr(d.defaultValue.get());
}

void Indexer::TypeUse(const std::string& typeName, Position at) {
  if (typeName.empty()) return;
  auto it = types_.find(typeName);
  if (it != types_.end()) Use(PlaceOf(at), it->second);
}

void Indexer::Run(vlmc::ProgramTree& tree) {
  out_.occurrences.assign(modules_.size(), {});
  for (int k = 0; k < vlmc::kBindingCount; ++k) bindings_.emplace(vlmc::kBindings[k].name, &vlmc::kBindings[k]);
  // TYPEs and their fields first: declarations everywhere name them.
  std::vector<std::pair<const vlmc::RecordType*, int>> types;
  for (const auto& t : tree.types) {
    if (!t || t->name.empty() || types_.count(t->name)) continue;
    Symbol s;
    s.name = t->name;
    s.kind = SymbolKind::Type;
    s.at = PlaceOf(t->at);
    s.detail = "TYPE " + t->name;
    s.endLine = EndLine(t->at.file, t->at.line, "END", "TYPE");
    const int id = Add(std::move(s));
    types_[t->name] = id;
    types.emplace_back(t.get(), id);
  }
  for (const auto& [t, id] : types) {
    for (const vlmc::Variable& field : t->fields) {
      std::string detail = field.basic + (field.isArray ? "[]" : "");
      if (field.record) detail += " AS " + field.record->name;
      const int f = VariableSymbol(&field, SymbolKind::Field, "field of TYPE " + t->name + ": " + detail);
      out_.symbols[static_cast<size_t>(f)].container = id;
    }
    for (const vlmc::FieldDeclaration& decl : t->declarations) {
      TypeUse(decl.typeName, decl.typeAt);
      for (const auto& size : decl.sizes) WalkExpr(size.get());
    }
  }
  for (vlmc::Constant& c : tree.constants) {
    if (c.name.empty() || constants_.count(c.name)) continue;
    Symbol s;
    s.name = c.name;
    s.kind = SymbolKind::Constant;
    s.at = PlaceOf(c.at);
    s.detail = "CONST " + c.name;
    if (c.variable && c.state == 2) {
      Expr shown;
      shown.kind = c.variable->isString ? Expr::String : Expr::Number;
      shown.text = c.variable->text;
      shown.value = c.variable->value;
      s.detail += " = " + ValueText(&shown);
    }
    const int id = Add(std::move(s));
    constants_[c.name] = id;
    if (c.variable) variables_[c.variable] = id;
  }
  for (const Declaration& g : tree.globals) {
    std::string detail = "GLOBAL " + g.name + (g.isArray ? "[]" : "");
    if (!g.typeName.empty()) detail += " AS " + g.typeName;
    Declared(g, SymbolKind::Global, detail);
  }
  for (const vlmc::Declare& d : tree.declares) {
    if (d.name.empty() || d.name == "?") continue;
    Symbol s;
    s.name = d.name;
    s.kind = SymbolKind::Declare;
    s.at = PlaceOf(d.at);
    s.detail = "DECLARE FUNCTION " + d.name + ParamsText(d.params) + " LIB \"" + d.library + "\"";
    for (const Declaration& p : d.params) s.params.push_back(ParamText(p));
    declares_[&d] = Add(std::move(s));
  }
  for (const auto& f : tree.functions) {
    if (!f || f->name.empty() || f->name == "?") continue;
    Symbol s;
    s.name = f->name;
    s.kind = f->isSub ? SymbolKind::Sub : SymbolKind::Function;
    s.at = PlaceOf(f->at);
    s.detail = std::string(f->isSub ? "SUB " : "FUNCTION ") + f->name + ParamsText(f->params);
    s.endLine = EndLine(f->at.file, f->at.line, "END", f->isSub ? "SUB" : "FUNCTION");
    for (const Declaration& p : f->params) s.params.push_back(ParamText(p));
    functions_[f.get()] = Add(std::move(s));
  }
  // The routines' own names, then their bodies; the main program last.
  for (const auto& f : tree.functions) {
    auto it = functions_.find(f.get());
    if (it == functions_.end()) continue;
    routine_ = it->second;
    const std::string of = std::string(f->isSub ? " of SUB " : " of FUNCTION ") + f->name;
    for (const Declaration& p : f->params) Declared(p, SymbolKind::Parameter, "parameter " + ParamText(p) + of);
    WalkBlock(f->body);
    routine_ = -1;
  }
  for (const vlmc::Module& m : tree.modules) WalkBlock(m.main);
  // Jumps once every label is indexed (a GOTO may come before its label); the name follows the keyword.
  for (const Stmt* s : pendingJumps_) {
    auto it = labels_.find(s->label);
    if (it != labels_.end()) Use(PlaceAfter(Position{s->at.file, s->at.line, s->at.column + 1}, s->exitKind), it->second);
  }
  for (const vlmc::Setting& s : tree.settings) WalkExpr(s.value.get());
  for (const auto& d : tree.data) WalkExpr(d.get());
  for (vlmc::Constant& c : tree.constants) WalkExpr(c.value.get());
  // In line order by counting (the walk meets the lines nearly in order, in runs), then by
  // column within each line.
  for (size_t m = 0; m < out_.occurrences.size(); ++m) {
    std::vector<Occurrence>& list = out_.occurrences[m];
    std::vector<size_t> starts(static_cast<size_t>(lines_[m].Lines()) + 2, 0);
    for (const Occurrence& o : list) ++starts[std::clamp<size_t>(static_cast<size_t>(o.line), 0, starts.size() - 2) + 1];
    for (size_t k = 1; k < starts.size(); ++k) starts[k] += starts[k - 1];
    std::vector<Occurrence> sorted(list.size());
    for (const Occurrence& o : list) sorted[starts[std::clamp<size_t>(static_cast<size_t>(o.line), 0, starts.size() - 2)]++] = o;
    for (size_t a = 0; a < sorted.size();) {
      size_t b = a + 1;
      while (b < sorted.size() && sorted[b].line == sorted[a].line) ++b;
      std::sort(sorted.begin() + static_cast<long>(a), sorted.begin() + static_cast<long>(b),
                [](const Occurrence& x, const Occurrence& y) { return x.column < y.column; });
      a = b;
    }
    list = std::move(sorted);
  }
  for (Symbol& s : out_.symbols)
    std::sort(s.uses.begin(), s.uses.end(), [](const Place& a, const Place& b) {
      if (a.module != b.module) return a.module < b.module;
      return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
}

void Indexer::WalkBlock(const Block& block) {
  for (const auto& s : block)
    if (s) WalkStatement(*s);
}

void Indexer::WalkStatement(const Stmt& s) {
  for (const Declaration& d : s.declarations) {
    std::string detail = (s.kind == Stmt::Local ? "LOCAL " : "DIM ") + d.name + (d.isArray ? "[]" : "");
    if (!d.typeName.empty()) detail += " AS " + d.typeName;
    Declared(d, SymbolKind::Local, detail);
  }
  if (s.kind == Stmt::Label && !s.exitKind.empty()) {
    Symbol l;
    l.name = s.exitKind;
    l.kind = SymbolKind::Label;
    l.at = PlaceAfter(s.at, s.exitKind);
    l.detail = "label " + s.exitKind;
    l.container = routine_;
    labels_[&s] = Add(std::move(l));
  }
  if ((s.kind == Stmt::Goto || s.kind == Stmt::Restore) && s.label) pendingJumps_.push_back(&s);
  WalkExpr(s.target.get());
  WalkExpr(s.value.get());
  WalkExpr(s.limit.get());
  WalkExpr(s.step.get());
  for (const auto& e : s.exprs) WalkExpr(e.get());
  for (const auto& list : s.cases)
    for (const vlmc::CaseItem& c : list) {
      WalkExpr(c.low.get());
      WalkExpr(c.high.get());
    }
  for (const Block& b : s.blocks) WalkBlock(b);
}

void Indexer::WalkExpr(const Expr* e) {
  if (!e) return;
  switch (e->kind) {
    case Expr::Number:
    case Expr::String: {
      // A CONST's use: the checker made it its value; the text still spells the name.
      const Place p = PlaceOf(e->at);
      if (p.length > 0 && std::isalpha(static_cast<unsigned char>(NameAt(p)[0]))) {
        auto it = constants_.find(std::string(NameAt(p)));
        if (it != constants_.end()) Use(p, it->second);
      }
      break;
    }
    case Expr::Variable:
    case Expr::Element:
      // A variable met first here is one the statements declare: the main program's, a FOR EACH element.
      if (e->variable && !(e->kind == Expr::Element && e->object)) {
        auto it = variables_.find(e->variable);
        const int id = it != variables_.end()
                           ? it->second
                           : VariableSymbol(e->variable, SymbolKind::Local,
                                            e->variable->basic + (e->variable->isArray ? "[]" : "") +
                                                (routine_ >= 0 ? "" : " (a variable of the main program)"));
        Use(PlaceOf(e->at), id);
      }
      break;
    case Expr::Field:
      if (e->variable) {
        auto it = variables_.find(e->variable);
        if (it != variables_.end()) Use(PlaceOf(e->at), it->second);
      }
      break;
    case Expr::Call: {
      const Place p = PlaceOf(e->at);
      if (e->function) {
        auto it = functions_.find(e->function);
        if (it != functions_.end()) Use(p, it->second);
      } else if (e->declare) {
        auto it = declares_.find(e->declare);
        if (it != declares_.end()) Use(p, it->second);
      } else if (p.length > 0 && (e->binding || e->builtin)) {
        Occurrence o;
        o.line = p.line;
        o.column = p.column;
        o.length = p.length;
        o.builtin = e->builtin;
        if (e->binding) {
          auto it = bindings_.find(e->binding->name);
          o.binding = it != bindings_.end() ? it->second : e->binding;
        }
        out_.occurrences[static_cast<size_t>(p.module)].push_back(o);
      }
      break;
    }
    default:
      break;
  }
  WalkExpr(e->object.get());
  for (const auto& a : e->args) WalkExpr(a.get());
}

}  // namespace

const Occurrence* Analysis::At(int module, int line, int column) const {
  if (module < 0 || static_cast<size_t>(module) >= occurrences.size()) return nullptr;
  const std::vector<Occurrence>& list = occurrences[static_cast<size_t>(module)];
  auto it = std::lower_bound(list.begin(), list.end(), line,
                             [](const Occurrence& o, int l) { return o.line < l; });
  for (; it != list.end() && it->line == line; ++it)
    if (column >= it->column && column <= it->column + it->length) return &*it;
  return nullptr;
}

int Analysis::RoutineAt(int module, int line) const { return vlmls::RoutineAt(symbols, module, line); }

int RoutineAt(const std::vector<Symbol>& symbols, int module, int line) {
  for (size_t k = 0; k < symbols.size(); ++k) {
    const Symbol& s = symbols[k];
    if ((s.kind == SymbolKind::Function || s.kind == SymbolKind::Sub) && s.at.module == module && line >= s.at.line &&
        (s.endLine == 0 ? line == s.at.line : line <= s.endLine))
      return static_cast<int>(k);
  }
  return -1;
}

int Analysis::Visible(const std::string& name, int module, int line) const {
  const int routine = RoutineAt(module, line);
  int global = -1;
  for (size_t k = 0; k < symbols.size(); ++k) {
    const Symbol& s = symbols[k];
    if (s.name != name) continue;
    const bool local = s.kind == SymbolKind::Parameter || s.kind == SymbolKind::Local || s.kind == SymbolKind::Label;
    if (local && s.container == routine && (routine >= 0 || module == 0 || s.kind == SymbolKind::Label))
      return static_cast<int>(k);
    if (!local && s.kind != SymbolKind::Field && global < 0) global = static_cast<int>(k);
  }
  return global;
}

Analysis CheckProgram(const std::vector<vlmc::SourceFile>& given) {
  Analysis out;
  // Modules named by their index, so the messages' places read back without doubt.
  out.modules.reserve(given.size());
  for (size_t m = 0; m < given.size(); ++m) {
    const std::string& text = given[m].text;
    const bool bom = text.rfind("\xEF\xBB\xBF", 0) == 0;
    out.modules.push_back({std::to_string(m), bom ? text.substr(3) : text});
  }
  vlmc::Diagnostics diagnostics(out.modules);
  out.tree = std::make_shared<vlmc::ProgramTree>();
  vlmc::ProgramTree& tree = *out.tree;
  for (const vlmc::SourceFile& m : out.modules) tree.modules.push_back(vlmc::Module{m.name, {}, {}});
  bool complete = true;
  for (size_t m = 0; m < out.modules.size(); ++m) {
    std::deque<std::string> texts;  // token texts; the tree keeps copies
    vlmc::Lexer lexer(out.modules[m], static_cast<int>(m), diagnostics, texts);
    complete = vlmc::Parse(lexer, static_cast<int>(m), tree, diagnostics) && complete;
  }
  if (complete && !diagnostics.Full()) {
    vlmc::Check(tree, diagnostics, "program");
    out.checked = true;
  }
  out.problems = ReadProblems(diagnostics);
  Indexer(out.modules, out).Measure(out.problems);
  return out;
}

void IndexProgram(Analysis& analysis, std::shared_ptr<vlmc::ProgramTree>* retired) {
  if (analysis.indexed) return;
  if (analysis.tree) Indexer(analysis.modules, analysis).Run(*analysis.tree);
  analysis.indexed = true;
  if (retired) *retired = std::move(analysis.tree);
  analysis.tree.reset();
  analysis.modules.clear();
}

Analysis Analyze(const std::vector<vlmc::SourceFile>& modules) {
  Analysis out = CheckProgram(modules);
  IndexProgram(out);
  return out;
}

}  // namespace vlmls
