// vlmc's checker: the pass between parsing and emission. This part holds
// the program-wide names (routines, globals, declared functions, the letter
// case of every name), the routines' scopes, the settings, the jumps, and
// the C++ names given at the end; the other parts check types, constants,
// expressions, calls and statements. Every error is reported (the
// diagnostics sort them by place), and a failed part never hides the
// independent ones after it; the translator has it stop once the
// diagnostics are full, as no more would be shown.
#include "check.h"

#include <algorithm>

#include "check_internal.h"
#include "names.h"

namespace vlmc {
namespace {

struct SettingKey {
  const char* name;
  bool text;
};
const SettingKey kSettingKeys[] = {{"ScreenWidth", false}, {"ScreenHeight", false}, {"FullScreen", false},
                                   {"FrameRate", false},   {"Multisample", false},  {"DebugMode", false},
                                   {"HideMouse", false},   {"AppTitle", true}};

void CollectLocalDeclarations(Block& block, std::vector<Declaration*>& out) {
  for (const StmtPtr& s : block) {
    if (s->kind == Stmt::Local)
      for (Declaration& d : s->declarations) out.push_back(&d);
    for (Block& b : s->blocks) CollectLocalDeclarations(b, out);
  }
}

std::string RoutineName(const Function* f) {
  return f ? std::string(f->isSub ? "SUB " : "FUNCTION ") + f->name : "the main program";
}

}  // namespace

char SettingKind(const std::string& name) {
  for (const SettingKey& k : kSettingKeys)
    if (name == k.name) return k.text ? 't' : 'n';
  return 0;
}

std::vector<std::string> SettingNames() {
  std::vector<std::string> names;
  for (const SettingKey& k : kSettingKeys) names.push_back(k.name);
  return names;
}

const char* TypeName(Type t) {
  switch (t) {
    case Type::String: return "text";
    case Type::Void: return "nothing";
    case Type::Record: return "a record";
    case Type::Array: return "an array";
    default: return "a number";
  }
}

Checker::Checker(ProgramTree& tree, Diagnostics& d, const std::string& program, bool stopAtLimit)
    : tree_(tree), d_(d), program_(program), stopAtLimit_(stopAtLimit) {
  for (int k = 0; k < kBindingCount; ++k) bindings_[kBindings[k].name].push_back(&kBindings[k]);
}

void Checker::Run() {
  // CONSTs first: field sizes may name them.
  CollectConstants();
  CollectTypes();
  CollectProgram();
  CheckData();
  CheckMain();
  for (const auto& f : tree_.functions)
    if (!Done() && functions_.count(f->name) && functions_.at(f->name) == f.get()) CheckFunction(*f);
  CheckSettings();
  CheckJumps();
  for (Stmt* s : restores_)
    if (!Done()) CheckRestore(*s);
  CheckArrayUses();
  if (!Done()) NameEverything();
}

// ------------------------------------------------------------------ program-wide names

void Checker::CollectProgram() {
  CollectFunctions();
  CollectGlobals();
  for (const Declare& decl : tree_.declares) {
    if (declares_.count(decl.name) || functions_.count(decl.name)) {
      d_.Error(decl.at, decl.name + " is declared twice");
      continue;
    }
    Spell(decl.name, decl.at);
    declares_[decl.name] = &decl;
  }
}

void Checker::CollectFunctions() {
  for (const auto& f : tree_.functions) {
    if (functions_.count(f->name)) {
      d_.Error(f->at, (f->isSub ? "SUB " : "FUNCTION ") + f->name + " is defined twice");
      continue;
    }
    Spell(f->name, f->at);
    if (FindBuiltin(f->name)) d_.Error(f->at, RoutineName(f.get()) + " has the name of a built-in function");
    functions_[f->name] = f.get();
    if (IsStringName(f->name) && f->isSub)
      d_.Error(f->at, "SUB " + f->name + " returns nothing, so its name cannot end in $");
    else if (IsStringName(f->name) && !f->returnsValue)
      d_.Error(f->at, "FUNCTION " + f->name + " ends in $ but returns no text (RETURN text is missing)");
  }
}

void Checker::CollectGlobals() {
  for (Declaration& g : tree_.globals) {
    if (constants_.count(g.name)) {
      d_.Error(g.at, g.name + " is already the name of a CONST");
      continue;
    }
    if (globals_.count(g.name)) {
      d_.Error(g.at, "GLOBAL " + g.name + " is declared twice");
      continue;
    }
    Spell(g.name, g.at);
    if (functions_.count(g.name)) d_.Error(g.at, g.name + " is already the name of a FUNCTION");
    const RecordType* record = g.typeName.empty() ? nullptr : FindType(g.typeName, g.typeAt);
    Variable* v = NewVariable(g.name, g.isArray, g.at, record);
    v->failed = !g.typeName.empty() && !record;
    g.variable = globals_[g.name] = v;
  }
}

// Records the name's letter case; false (and reported, with the other
// place) when the program already writes it otherwise. TYPE names are apart
// from the other names (player AS Player). A FUNCTION or SUB may declare two
// names that differ only in case among its own parameters and LOCALs (Nu, a
// count, and nu, an offset): such a pair is taken as meant, with a warning
// where the routine declares the second of them.
bool Checker::Spell(const std::string& name, Position at, bool type, const Function* routine) {
  std::vector<Spelling>& seen = spellings_[(type ? "TYPE " : "") + Upper(name)];
  // A spelling the program already has was judged where it first appeared.
  const bool written = std::any_of(seen.begin(), seen.end(), [&](const Spelling& s) { return s.text == name; });
  for (const Spelling& other : seen) {
    if (other.text == name) continue;
    if (!written && (routine == nullptr || !Declares(*routine, other.text))) {
      d_.Error(at, "'" + name + "' and '" + other.text +
                       "' differ only in letter case; a name is written the same way everywhere",
               other.at, "'" + other.text + "' is written so here");
      return false;
    }
    if (routine != nullptr && other.routine == routine)
      d_.Warning(at, "'" + name + "' and '" + other.text + "' differ only in letter case; " + routine->name +
                         " declares both, so they are two names",
                 other.at, "'" + other.text + "' is declared here");
  }
  const bool known = std::any_of(seen.begin(), seen.end(),
                                 [&](const Spelling& s) { return s.text == name && s.routine == routine; });
  if (!known) seen.push_back({name, at, routine});
  return true;
}

// True when the routine's parameters or LOCALs declare the name.
bool Checker::Declares(const Function& f, const std::string& name) {
  for (const Declaration& p : f.params)
    if (p.name == name) return true;
  std::vector<Declaration*> locals;
  CollectLocalDeclarations(const_cast<Block&>(f.body), locals);
  return std::any_of(locals.begin(), locals.end(), [&](const Declaration* d) { return d->name == name; });
}

// The program's spelling of a name written in other letter case, or null.
const std::string* Checker::OtherSpelling(const std::string& name, Position* at, bool type) const {
  auto it = spellings_.find((type ? "TYPE " : "") + Upper(name));
  if (it == spellings_.end()) return nullptr;
  for (const Spelling& s : it->second) {
    if (s.text == name) return nullptr;
  }
  if (it->second.empty()) return nullptr;
  *at = it->second.front().at;
  return &it->second.front().text;
}

// ------------------------------------------------------------------ routines

void Checker::CheckFunction(Function& f) {
  Scope locals;
  locals_ = &locals;
  function_ = &f;
  bool optional = false;
  for (Declaration& p : f.params) {
    if (optional && !p.defaultValue)
      d_.Error(p.at, "parameter " + p.name + " follows an optional one, so it needs a default too (= value)");
    optional = optional || p.defaultValue != nullptr;
    DeclareParam(f, p, locals);
  }
  DeclareLocals(f, locals);
  CheckBlock(f.body);
  locals_ = nullptr;
  function_ = nullptr;
}

void Checker::DeclareParam(Function& f, Declaration& p, Scope& locals) {
  if (locals.count(p.name)) d_.Error(p.at, "parameter " + p.name + " appears twice");
  if (functions_.count(p.name)) d_.Error(p.at, p.name + " is also the name of a FUNCTION");
  Spell(p.name, p.at, false, &f);
  const RecordType* record = p.typeName.empty() ? nullptr : FindType(p.typeName, p.typeAt);
  Variable* v = NewVariable(p.name, p.isArray, p.at, record);
  v->failed = !p.typeName.empty() && !record;
  v->reference = p.isArray || record || p.byRef;
  if (p.byRef && (p.isArray || record))
    d_.Error(p.at, "arrays and records are always passed by reference; BYREF is for numbers and text");
  p.variable = locals[p.name] = v;
  if (!p.defaultValue) return;
  Variable folded;
  if (p.isArray || record || p.byRef) {
    d_.Error(p.defaultValue->at, "only a number or text parameter passed by value can have a default");
  } else if (!Fold(*p.defaultValue, folded)) {
    d_.Error(p.defaultValue->at, "the default of " + p.name + " must be a constant");
  } else if (folded.isString != v->isString) {
    d_.Error(p.defaultValue->at, "the default of " + p.name + " must be " + (v->isString ? "text" : "a number"));
  } else {
    // The call sites write the folded value.
    const Position at = p.defaultValue->at;
    p.defaultValue = std::make_unique<Expr>();
    p.defaultValue->at = at;
    p.defaultValue->kind = folded.isString ? Expr::String : Expr::Number;
    p.defaultValue->type = folded.isString ? Type::String : Type::Number;
    p.defaultValue->text = folded.text;
    p.defaultValue->value = folded.value;
    p.defaultValue->literal = true;
  }
}

void Checker::DeclareLocals(Function& f, Scope& locals) {
  std::vector<Declaration*> declared;
  CollectLocalDeclarations(f.body, declared);
  for (Declaration* d : declared) {
    if (locals.count(d->name)) {
      d_.Error(d->at, d->name + " is declared twice in " + f.name);
      continue;
    }
    if (functions_.count(d->name)) d_.Error(d->at, d->name + " is also the name of a FUNCTION");
    Spell(d->name, d->at, false, &f);
    const RecordType* record = d->typeName.empty() ? nullptr : FindType(d->typeName, d->typeAt);
    Variable* v = NewVariable(d->name, d->isArray, d->at, record);
    v->failed = !d->typeName.empty() && !record;
    d->variable = locals[d->name] = v;
    f.locals.push_back(d->variable);
  }
}

void Checker::CheckMain() {
  Scope locals;
  locals_ = &locals;
  CheckBlock(tree_.modules[0].main);
  locals_ = nullptr;
}

// Settings see only the globals and constants, and take constants.
void Checker::CheckSettings() {
  for (Setting& setting : tree_.settings) {
    if (Done()) return;
    const SettingKey* key = nullptr;
    std::vector<std::string> names;
    for (const SettingKey& k : kSettingKeys) {
      if (setting.key == k.name) key = &k;
      names.push_back(k.name);
    }
    if (!key) {
      const std::string near = NearestName(setting.key, names);
      d_.Error(setting.at, "unknown PROJECT setting '" + setting.key + "'" +
                               (near.empty() ? "" : "; did you mean '" + near + "'?"));
      continue;
    }
    // A constant expression is folded to its value, as a DATA value is.
    Variable folded;
    foldFailed_ = false;
    const bool constant = Fold(*setting.value, folded);
    if (foldFailed_) continue;  // a CONST it names failed, reported there
    if (constant) {
      const Position at = setting.value->at;
      setting.value = std::make_unique<Expr>();
      setting.value->at = at;
      setting.value->kind = folded.isString ? Expr::String : Expr::Number;
      setting.value->text = folded.text;
      setting.value->value = folded.value;
    }
    Expr& value = *setting.value;
    if (!Expression(value)) continue;
    if (!value.literal) {
      d_.Error(value.at, "PROJECT " + setting.key + " must be a constant");
      continue;
    }
    if (key->text)
      RequireString(true, value, "PROJECT " + setting.key);
    else
      RequireNumber(true, value, "PROJECT " + setting.key);
  }
}

// ------------------------------------------------------------------ labels and jumps

// A label, as the walk of the statements meets it (GOTO and RESTORE are
// resolved when every routine was walked).
void Checker::CollectLabel(Stmt& s) {
  const std::string& name = s.exitKind;
  auto it = labels_.find(name);
  if (it != labels_.end()) {
    d_.Error(s.at, "label " + name + " is defined twice", it->second.stmt->at, "the first " + name + " is here");
  } else if (IsStringName(name) || IsIntName(name)) {
    d_.Error(s.at, "a label is a plain name (no $ or %)");
  } else if (functions_.count(name)) {
    d_.Error(s.at, name + ": at the start of a line is a label, and " + name + " is also a " +
                       (functions_.at(name)->isSub ? "SUB" : "FUNCTION") + "; to call it there, write " + name + "()");
  } else {
    Spell(name, s.at);
    labels_[name] = Place{&s, function_, blocks_};
  }
}

// A GOTO stays in its routine and goes to a label in its own block or one
// around it: never into a loop or another block from outside.
void Checker::CheckJumps() {
  for (Place& g : gotos_) {
    if (Done()) return;
    const std::string& name = g.stmt->exitKind;
    auto it = labels_.find(name);
    if (it == labels_.end()) {
      std::vector<std::string> names;
      for (const auto& [label, place] : labels_) names.push_back(label);
      const std::string near = NearestName(name, names);
      d_.Error(g.stmt->at, "unknown label '" + name + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?"));
      continue;
    }
    const Place& label = it->second;
    if (label.routine != g.routine) {
      d_.Error(g.stmt->at, "GOTO cannot leave its routine: label " + name + " is in " + RoutineName(label.routine),
               label.stmt->at, "label " + name + " is here");
      continue;
    }
    const bool outward = label.blocks.size() <= g.blocks.size() &&
                         std::equal(label.blocks.begin(), label.blocks.end(), g.blocks.begin());
    if (!outward) {
      d_.Error(g.stmt->at, "GOTO cannot jump into a loop or a block from outside it: label " + name +
                               " is inside one that this GOTO is not in",
               label.stmt->at, "label " + name + " is here");
      continue;
    }
    g.stmt->label = label.stmt;
    label.stmt->jumpedTo = true;
  }
}

// APPEND, REMOVE and FOR EACH take one-dimensional arrays: refused where
// every DIM of the array gives more indices.
void Checker::CheckArrayUses() {
  for (const ArrayUse& use : arrayUses_) {
    if (Done()) return;
    const std::vector<int>& dims = use.array->dims;
    if (dims.empty() || std::find(dims.begin(), dims.end(), 1) != dims.end()) continue;
    d_.Error(use.at, use.what + " takes a one-dimensional array; " + use.array->basic + " is dimensioned with " +
                         std::to_string(dims.front()) + " indices");
  }
}

// ------------------------------------------------------------------ C++ names

void Checker::NameEverything() {
  CppNames names(program_);
  for (const Variable& v : tree_.variables) names.Add(v.basic, v.basic);
  for (const auto& t : tree_.types) {
    names.Add("type:" + t->name, t->name);
    for (const Variable& field : t->fields) names.Add(field.basic, field.basic);
  }
  for (const auto& f : tree_.functions) names.Add(f->name, f->name);
  for (const Declare& decl : tree_.declares) names.Add("declare:" + decl.name, decl.name);
  names.Assign();
  for (Variable& v : tree_.variables) v.cpp = names.Of(v.basic);
  for (const auto& t : tree_.types) {
    t->cpp = names.Of("type:" + t->name);
    for (Variable& field : t->fields) field.cpp = names.Of(field.basic);
  }
  for (const auto& f : tree_.functions) f->cpp = names.Of(f->name);
  for (Declare& decl : tree_.declares) decl.cpp = names.Of("declare:" + decl.name);
}

void Check(ProgramTree& tree, Diagnostics& diagnostics, const std::string& program, bool stopAtLimit) {
  Checker(tree, diagnostics, program, stopAtLimit).Run();
}

}  // namespace vlmc
