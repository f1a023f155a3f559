// vlmc's checker: scopes and names, types, the choice among a runtime
// operation's overloads, and every error the translator reports after
// parsing. What it resolves is written into the tree for the emitter.
#include "check.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string_view>

#include "bindings.h"
#include "builtins.h"
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

const char* TypeName(Type t) {
  switch (t) {
    case Type::String: return "text";
    case Type::Void: return "nothing";
    default: return "a number";
  }
}

bool IsComparison(const std::string& op) {
  return op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
}

std::string ParamList(const Binding& b) {
  std::string s;
  for (int k = 0; k < b.count; ++k) s += (k ? ", " : "") + std::string(b.params[k].name);
  return s;
}

// What an argument of a runtime call must be, for the message when it is not.
std::string Needed(std::string_view kind) {
  if (kind == "numarr&") return "a number array (its name, no index)";
  if (kind == "strarr&") return "a text array (its name, no index)";
  if (kind == "intarr&") return "an integer array (a name ending in %, no index)";
  if (kind.back() == '&') return std::string(kind == "str&" ? "a text variable" : "a number variable") + " it can write to";
  return kind == "str" || kind == "cstr" ? "text" : "a number";
}

const char* LoopKind(const Stmt& s) {
  return s.kind == Stmt::For ? "FOR" : s.kind == Stmt::While ? "WHILE" : "REPEAT";
}

// An argument of a runtime call before the overload is chosen: checked, in
// error, or a name not yet declared (which a written parameter declares).
enum class Arg { Ok, Failed, Undeclared };

// The overload a runtime call takes: the best fit, and the first one that
// takes that many arguments (for the message when none fits).
struct Choice {
  const Binding* best = nullptr;
  const Binding* byCount = nullptr;
  int score = -1;
};

using Scope = std::map<std::string, const Variable*>;

class Checker {
 public:
  Checker(ProgramTree& tree, Diagnostics& d) : tree_(tree), d_(d) {
    for (int k = 0; k < kBindingCount; ++k) bindings_[kBindings[k].name].push_back(&kBindings[k]);
  }

  // In the order the errors are reported: the program-wide names, the main
  // program, the routines of each module, the settings.
  void Run() {
    CollectProgram();
    for (size_t m = 0; m < tree_.modules.size(); ++m) {
      if (m == 0) CheckMain();
      for (const auto& f : tree_.functions)
        if (f->module == static_cast<int>(m) && functions_.at(f->name) == f.get()) CheckFunction(*f);
    }
    CheckSettings();
  }

 private:
  // ------------------------------------------------------------ program-wide names

  void CollectProgram() {
    for (const auto& f : tree_.functions) {
      if (functions_.count(f->name)) {
        d_.Error(f->at, "FUNCTION " + f->name + " is defined twice");
        continue;
      }
      if (FindBuiltin(f->name)) d_.Error(f->at, "FUNCTION " + f->name + " has the name of a built-in function");
      functions_[f->name] = f.get();
      if (IsStringName(f->name) && !f->returnsValue)
        d_.Error(f->at, "FUNCTION " + f->name + " ends in $ but returns no text (RETURN text is missing)");
    }
    for (Declaration& g : tree_.globals) {
      if (globals_.count(g.name)) {
        d_.Error(g.at, "GLOBAL " + g.name + " is declared twice");
        continue;
      }
      if (functions_.count(g.name)) d_.Error(g.at, g.name + " is already the name of a FUNCTION");
      g.variable = globals_[g.name] = NewVariable(g.name, g.isArray, g.at);
    }
    for (const Declare& decl : tree_.declares) {
      if (declares_.count(decl.name) || functions_.count(decl.name)) {
        d_.Error(decl.at, decl.name + " is declared twice");
        continue;
      }
      declares_[decl.name] = &decl;
    }
  }

  // ------------------------------------------------------------ scopes

  const Variable* Lookup(const std::string& name) const {
    if (locals_) {
      auto it = locals_->find(name);
      if (it != locals_->end()) return it->second;
    }
    auto it = globals_.find(name);
    return it == globals_.end() ? nullptr : it->second;
  }

  void UnknownVariable(const Expr& e) {
    std::vector<std::string> names;
    if (locals_)
      for (const auto& [name, v] : *locals_) names.push_back(name);
    for (const auto& [name, v] : globals_) names.push_back(name);
    std::string message = "unknown variable '" + e.text + "'";
    const std::string near = NearestName(e.text, names);
    if (!near.empty())
      message += "; did you mean '" + near + "'?";
    else if (function_)
      message += "; declare it with LOCAL or GLOBAL";
    d_.Error(e.at, message);
  }

  // A variable of that name; only arrays hold integers.
  const Variable* NewVariable(const std::string& name, bool isArray, Position at) {
    if (IsIntName(name) && !isArray)
      d_.Error(at, name + " ends in %, which only an integer array's name does (declare it with " + name + "[])");
    tree_.variables.push_back(
        Variable{RegisteredName(name), CppName(name), isArray, IsStringName(name), isArray && IsIntName(name)});
    return &tree_.variables.back();
  }

  // A variable written to: in the main program an undeclared name becomes
  // one of its locals.
  const Variable* Target(const Expr& e, bool isArray) {
    if (const Variable* v = Lookup(e.text)) return v;
    if (function_ || !locals_) {
      UnknownVariable(e);
      return nullptr;
    }
    if (functions_.count(e.text)) {
      d_.Error(e.at, e.text + " is the name of a FUNCTION, not a variable");
      return nullptr;
    }
    const Variable* v = NewVariable(e.text, isArray, e.at);
    (*locals_)[e.text] = v;
    tree_.modules[0].locals.push_back(v);
    return v;
  }

  // ------------------------------------------------------------ types

  // ok: whether e itself checked (no second message when it did not).
  bool RequireNumber(bool ok, const Expr& e, const std::string& what) {
    if (!ok) return false;
    if (e.type == Type::String || e.type == Type::Void) {
      d_.Error(e.at, what + " must be a number, not " + TypeName(e.type) +
                         (e.type == Type::String ? " (VAL turns text into a number)" : ""));
      return false;
    }
    return true;
  }
  bool RequireString(bool ok, const Expr& e, const std::string& what) {
    if (!ok) return false;
    if (e.type != Type::String) {
      d_.Error(e.at, what + " must be text, not " + TypeName(e.type) +
                         (e.type != Type::Void ? " (STR$ turns a number into text)" : ""));
      return false;
    }
    return true;
  }

  // ------------------------------------------------------------ expressions

  bool Expression(Expr& e) {
    switch (e.kind) {
      case Expr::Number:
      case Expr::String:
        e.type = e.kind == Expr::String ? Type::String : Type::Number;
        e.literal = true;
        return true;
      case Expr::Variable: return Name(e);
      case Expr::Element: return Element(e);
      case Expr::Call: return Call(e);
      case Expr::Unary: return Unary(e);
      case Expr::Binary: return Binary(e);
    }
    return false;
  }

  bool Name(Expr& e) {
    const Variable* v = Lookup(e.text);
    if (!v) {
      if (functions_.count(e.text) || bindings_.count(e.text))
        d_.Error(e.at, e.text + " is an operation; call it as " + e.text + "()");
      else
        UnknownVariable(e);
      return false;
    }
    if (v->isArray) {
      d_.Error(e.at, e.text + " is an array; give an index, as in " + e.text + "[0]");
      return false;
    }
    e.variable = v;
    e.type = v->isString ? Type::String : Type::Number;
    e.lvalue = true;
    return true;
  }

  bool Element(Expr& e) {
    const Variable* v = Lookup(e.text);
    if (!v) {
      UnknownVariable(e);
      return false;
    }
    if (!v->isArray) {
      d_.Error(e.at, e.text + " is not an array (declare it with " + e.text + "[])");
      return false;
    }
    if (e.args.size() > 4) {
      d_.Error(e.at, "arrays have at most four dimensions; " + e.text + " has " + std::to_string(e.args.size()) +
                         " indices");
      return false;
    }
    for (const ExprPtr& index : e.args)
      if (!RequireNumber(Expression(*index), *index, "an array index")) return false;
    e.variable = v;
    e.type = v->isString ? Type::String : Type::Number;
    // An integer element reads as a number; only assignment writes it.
    e.lvalue = !v->isInt;
    return true;
  }

  bool Unary(Expr& e) {
    Expr& a = *e.args[0];
    if (!Expression(a)) return false;
    if (e.text == "NOT") {
      if (a.type == Type::String || a.type == Type::Void) {
        RequireNumber(true, a, "the operand of NOT");
        return false;
      }
      e.type = Type::Bool;
      return true;
    }
    if (!RequireNumber(true, a, "the operand of " + e.text)) return false;
    e.type = Type::Number;
    if (a.literal) {
      e.literal = true;
      e.value = e.text == "-" ? -a.value : a.value;
    }
    return true;
  }

  bool Binary(Expr& e) {
    Expr& a = *e.args[0];
    Expr& b = *e.args[1];
    const bool aOk = Expression(a);
    const bool bOk = Expression(b);
    if (!aOk || !bOk) return false;
    const std::string& op = e.text;
    if (a.type == Type::Void || b.type == Type::Void) {
      d_.Error(e.at, "the operands of " + op + " must be values; " +
                         std::string(a.type == Type::Void ? "the left" : "the right") + " one returns nothing");
      return false;
    }
    const bool text = a.type == Type::String || b.type == Type::String;
    if (IsComparison(op)) {
      if ((a.type == Type::String) != (b.type == Type::String)) {
        d_.Error(e.at, "cannot compare text with a number (STR$ or VAL converts)");
        return false;
      }
      e.type = Type::Bool;
    } else if (op == "+" && text) {
      if (a.type != b.type) {
        d_.Error(e.at, "cannot add text and a number (STR$ turns a number into text)");
        return false;
      }
      e.type = Type::String;
    } else if (text) {
      d_.Error(e.at, "the operands of " + op + " must be numbers, not text");
      return false;
    } else {
      const bool logical = (op == "AND" || op == "OR") && a.type == Type::Bool && b.type == Type::Bool;
      e.type = logical ? Type::Bool : Type::Number;
    }
    return true;
  }

  // ------------------------------------------------------------ calls

  bool ArgCount(const Expr& e, const std::string& name, int minArgs, int maxArgs, const std::string& params) {
    const int n = static_cast<int>(e.args.size());
    if (n >= minArgs && n <= maxArgs) return true;
    std::string takes = minArgs == maxArgs ? std::to_string(minArgs) : std::to_string(minArgs) + " to " + std::to_string(maxArgs);
    takes += (maxArgs == 1 ? " argument" : " arguments");
    d_.Error(e.at, name + " takes " + takes + (params.empty() ? "" : " (" + params + ")") + ", " + std::to_string(n) +
                       " given");
    return false;
  }

  bool Call(Expr& e) {
    auto f = functions_.find(e.text);
    if (f != functions_.end()) {
      e.function = f->second;
      e.type = !f->second->returnsValue ? Type::Void : IsStringName(e.text) ? Type::String : Type::Number;
      return Arguments(e, e.text, f->second->params);
    }
    if (const Builtin* b = FindBuiltin(e.text)) return CallBuiltin(e, *b);
    auto d = declares_.find(e.text);
    if (d != declares_.end()) {
      e.declare = d->second;
      e.type = IsStringName(e.text) ? Type::String : Type::Number;
      return Arguments(e, e.text, d->second->params);
    }
    auto r = bindings_.find(e.text);
    if (r != bindings_.end()) return CallRuntime(e, r->second);
    UnknownOperation(e);
    return false;
  }

  void UnknownOperation(const Expr& e) {
    std::vector<std::string> names;
    for (const auto& [name, fn] : functions_) names.push_back(name);
    for (int k = 0; k < kBuiltinCount; ++k) names.push_back(kBuiltins[k].name);
    for (const auto& [name, decl] : declares_) names.push_back(name);
    for (const auto& [name, list] : bindings_) names.push_back(name);
    std::string message = "unknown operation '" + e.text + "'";
    const std::string near = NearestName(e.text, names);
    if (!near.empty()) message += "; did you mean '" + near + "'?";
    if (Lookup(e.text)) message = e.text + " is a variable, not an operation (arrays take [ ])";
    d_.Error(e.at, message);
  }

  // The arguments of a FUNCTION or a declared function: one per parameter,
  // text where the parameter's name ends in $, else a number.
  bool Arguments(Expr& e, const std::string& name, const std::vector<Declaration>& params) {
    std::string list;
    for (const Declaration& p : params) list += (list.empty() ? "" : ", ") + p.name;
    const int n = static_cast<int>(params.size());
    if (!ArgCount(e, name, n, n, list)) return false;
    bool ok = true;
    for (size_t k = 0; k < e.args.size(); ++k) {
      const bool checked = Expression(*e.args[k]);
      const std::string what = "argument " + std::to_string(k + 1) + " of " + name + " (" + params[k].name + ")";
      if (IsStringName(params[k].name))
        ok = RequireString(checked, *e.args[k], what) && ok;
      else
        ok = RequireNumber(checked, *e.args[k], what) && ok;
    }
    return ok;
  }

  bool CallBuiltin(Expr& e, const Builtin& b) {
    const std::string name = Upper(e.text);
    if (!ArgCount(e, name, b.minArgs, b.maxArgs, "")) return false;
    bool ok = true;
    for (const ExprPtr& arg : e.args) ok = Expression(*arg) && ok;
    if (!ok) return false;
    for (size_t k = 0; k < e.args.size(); ++k) {
      const std::string what = "argument " + std::to_string(k + 1) + " of " + name;
      if (b.args[k] == 's' ? !RequireString(true, *e.args[k], what) : !RequireNumber(true, *e.args[k], what))
        return false;
    }
    e.builtin = &b;
    e.type = b.result;
    return true;
  }

  bool CallRuntime(Expr& e, const std::vector<const Binding*>& overloads) {
    std::vector<Arg> args;
    bool ok = true;
    for (const ExprPtr& arg : e.args) {
      args.push_back(RuntimeArgument(*arg));
      ok = ok && args.back() != Arg::Failed;
    }
    const Choice choice = ChooseOverload(e, overloads, args);
    if (!choice.byCount) {
      WrongCount(e, overloads);
      return false;
    }
    if (!ok) return false;
    if (!choice.best || choice.score < 0) {
      NoFit(e, *choice.byCount, args);
      return false;
    }
    if (!DeclareWritten(e, *choice.best, args)) return false;
    e.binding = choice.best;
    const std::string_view result = choice.best->result;
    e.type = result == "void" ? Type::Void : result == "num" ? Type::Number : Type::String;
    return true;
  }

  // Arguments that name whole arrays are not expressions of their own.
  Arg RuntimeArgument(Expr& arg) {
    const Variable* v = arg.kind == Expr::Variable ? Lookup(arg.text) : nullptr;
    if (v && v->isArray) {
      arg.variable = v;
      arg.type = v->isString ? Type::String : Type::Number;
      return Arg::Ok;
    }
    // An undeclared name passed where a variable is written declares it
    // (main program only), as an assignment would.
    if (arg.kind == Expr::Variable && !v && !function_ && locals_) return Arg::Undeclared;
    return Expression(arg) ? Arg::Ok : Arg::Failed;
  }

  Choice ChooseOverload(const Expr& e, const std::vector<const Binding*>& overloads, const std::vector<Arg>& args) {
    const int n = static_cast<int>(e.args.size());
    Choice choice;
    for (const Binding* b : overloads) {
      if (n < b->required || n > b->count) continue;
      if (!choice.byCount) choice.byCount = b;
      int score = 0;
      for (int k = 0; k < n && score >= 0; ++k) {
        const std::string_view kind = b->params[k].kind;
        if (args[k] != Arg::Ok) {
          // An undeclared variable: only a written (reference) parameter takes it.
          score = kind.back() == '&' && kind.find("arr") == std::string_view::npos ? score + 1 : -1;
          continue;
        }
        const int fit = Fit(*e.args[k], kind);
        score = fit == 0 ? -1 : score + fit;
      }
      if (score > choice.score) {
        choice.best = b;
        choice.score = score;
      }
    }
    return choice;
  }

  // How well an argument fits a parameter kind: 0 not at all, more is better.
  static int Fit(const Expr& a, std::string_view kind) {
    const bool text = a.type == Type::String;
    const bool number = a.type == Type::Number || a.type == Type::Bool;
    const Variable* array = a.kind == Expr::Variable && a.variable && a.variable->isArray ? a.variable : nullptr;
    if (kind == "numarr&") return array && !array->isString && !array->isInt ? 3 : 0;
    if (kind == "intarr&") return array && array->isInt ? 3 : 0;
    if (kind == "strarr&") return array && array->isString ? 3 : 0;
    if (array) return 0;
    if (kind == "str") return text ? 3 : 0;
    if (kind == "cstr") return text ? 2 : 0;
    if (kind == "str&") return text && a.lvalue ? 3 : 0;
    if (kind == "num&") return number && a.lvalue ? 3 : 0;
    if (kind == "i32&" || kind == "f32&") return number && a.lvalue ? 2 : 0;
    if (kind == "num") return number ? 3 : 0;
    return number ? 2 : 0;
  }

  void WrongCount(const Expr& e, const std::vector<const Binding*>& overloads) {
    const int n = static_cast<int>(e.args.size());
    int lo = 99, hi = 0;
    const Binding* shown = overloads.front();
    for (const Binding* b : overloads) {
      lo = std::min(lo, b->required);
      hi = std::max(hi, b->count);
      if (std::abs(b->count - n) < std::abs(shown->count - n)) shown = b;
    }
    ArgCount(e, e.text, lo, hi, ParamList(*shown));
  }

  // Names the first argument that does not fit the first overload of that count.
  void NoFit(const Expr& e, const Binding& b, const std::vector<Arg>& args) {
    for (size_t k = 0; k < e.args.size(); ++k) {
      const std::string_view kind = b.params[k].kind;
      if (args[k] == Arg::Ok && Fit(*e.args[k], kind) > 0) continue;
      if (args[k] != Arg::Ok) {
        UnknownVariable(*e.args[k]);
        return;
      }
      d_.Error(e.args[k]->at, "argument " + std::to_string(k + 1) + " of " + e.text + " (" + b.params[k].name +
                                  ") must be " + Needed(kind));
      return;
    }
    d_.Error(e.at, "no form of " + e.text + " takes these arguments");
  }

  // Declares the undeclared names the chosen overload writes to.
  bool DeclareWritten(Expr& e, const Binding& b, const std::vector<Arg>& args) {
    for (size_t k = 0; k < e.args.size(); ++k) {
      if (args[k] == Arg::Ok) continue;
      Expr& arg = *e.args[k];
      const Variable* v = Target(arg, false);
      if (!v) return false;
      arg.variable = v;
      arg.type = v->isString ? Type::String : Type::Number;
      arg.lvalue = true;
      if (Fit(arg, b.params[k].kind) == 0) {
        d_.Error(arg.at, "argument " + std::to_string(k + 1) + " of " + e.text + " (" + b.params[k].name +
                             ") must be a " + (std::string_view(b.params[k].kind) == "str&" ? "text" : "number") +
                             " variable");
        return false;
      }
    }
    return true;
  }

  // ------------------------------------------------------------ statements

  void CheckBlock(Block& block) {
    for (const StmtPtr& s : block) CheckStatement(*s);
  }

  void CheckStatement(Stmt& s) {
    if (d_.Full()) return;
    switch (s.kind) {
      case Stmt::Local:
      case Stmt::End: return;
      case Stmt::Assign: return CheckAssign(s);
      case Stmt::CallStatement: Expression(*s.exprs[0]); return;
      case Stmt::If: return CheckIf(s);
      case Stmt::For: return CheckFor(s);
      case Stmt::While:
        if (RequireNumber(Expression(*s.value), *s.value, "the condition")) CheckLoopBody(s);
        return;
      case Stmt::RepeatForever: return CheckLoopBody(s);
      case Stmt::RepeatUntil:
        CheckLoopBody(s);
        RequireNumber(Expression(*s.value), *s.value, "the condition");
        return;
      case Stmt::Exit: return ResolveExit(s);
      case Stmt::Select: return CheckSelect(s);
      case Stmt::Return: return CheckReturn(s);
      case Stmt::Dim: return CheckDim(s);
      case Stmt::Print: return CheckPrint(s);
    }
  }

  void CheckAssign(Stmt& s) {
    Expr& value = *s.value;
    Expr& target = *s.target;
    if (!Expression(value)) return;
    if (value.type == Type::Void) {
      d_.Error(value.at, "the value assigned returns nothing");
      return;
    }
    if (target.kind == Expr::Variable && !Lookup(target.text) && !function_ && !Target(target, false)) return;
    if (!Expression(target)) return;
    if ((target.type == Type::String) != (value.type == Type::String))
      d_.Error(value.at, std::string("cannot assign ") + TypeName(value.type) + " to " + target.text +
                             (target.type == Type::String ? ", a text variable (STR$ converts)"
                                                          : ", a number variable (VAL converts)"));
  }

  // A failing condition leaves the rest of the IF unchecked.
  void CheckIf(Stmt& s) {
    for (size_t k = 0; k < s.blocks.size(); ++k) {
      if (k < s.exprs.size() && !RequireNumber(Expression(*s.exprs[k]), *s.exprs[k], "the condition")) return;
      CheckBlock(s.blocks[k]);
    }
  }

  void CheckFor(Stmt& s) {
    const Variable* v = Lookup(s.target->text) ? Lookup(s.target->text) : Target(*s.target, false);
    if (!v) return;
    if (v->isArray || v->isString) {
      d_.Error(s.target->at, "the counter of a FOR loop must be a number variable");
      return;
    }
    s.target->variable = v;
    const bool first = Expression(*s.value);
    const bool limit = Expression(*s.limit);
    if (!RequireNumber(first, *s.value, "the start of the loop") || !RequireNumber(limit, *s.limit, "the loop's limit"))
      return;
    if (s.step && !RequireNumber(Expression(*s.step), *s.step, "the loop's step")) return;
    CheckLoopBody(s);
  }

  void CheckLoopBody(Stmt& s) {
    loops_.push_back(&s);
    CheckBlock(s.blocks[0]);
    loops_.pop_back();
  }

  // The innermost loop of the kind EXIT names (the parser reported an EXIT
  // outside one).
  void ResolveExit(Stmt& s) {
    for (auto it = loops_.rbegin(); it != loops_.rend(); ++it) {
      if (s.exitKind == LoopKind(**it)) {
        (*it)->exited = true;
        s.loop = *it;
        return;
      }
    }
  }

  void CheckSelect(Stmt& s) {
    if (!Expression(*s.value)) return;
    if (s.value->type == Type::Void) {
      d_.Error(s.value->at, "SELECT CASE needs a value");
      return;
    }
    const bool text = s.value->type == Type::String;
    for (size_t k = 0; k < s.blocks.size(); ++k) {
      for (const CaseItem& item : s.cases[k])
        if (!CaseValue(*item.low, text) || (item.high && !CaseValue(*item.high, text))) return;
      CheckBlock(s.blocks[k]);
    }
  }

  bool CaseValue(Expr& e, bool text) {
    if (!Expression(e)) return false;
    if ((e.type == Type::String) == text) return true;
    d_.Error(e.at, std::string("CASE value must be ") + (text ? "text" : "a number") + " like the SELECT value");
    return false;
  }

  void CheckReturn(Stmt& s) {
    if (!function_ || !function_->returnsValue || !s.value) return;
    const std::string what = "the result of " + function_->name;
    const bool ok = Expression(*s.value);
    if (IsStringName(function_->name))
      RequireString(ok, *s.value, what);
    else
      RequireNumber(ok, *s.value, what);
  }

  void CheckDim(Stmt& s) {
    for (const ExprPtr& e : s.exprs) {
      const Variable* v = Lookup(e->text) ? Lookup(e->text) : Target(*e, true);
      if (!v) return;
      if (!v->isArray) {
        d_.Error(e->at, e->text + " is not an array (declare it with " + e->text + "[])");
        return;
      }
      if (e->args.size() > 4) {
        d_.Error(e->at, "arrays have at most four dimensions; " + e->text + " has " + std::to_string(e->args.size()));
        return;
      }
      for (const ExprPtr& size : e->args)
        if (!RequireNumber(Expression(*size), *size, "an array size")) return;
      e->variable = v;
    }
  }

  void CheckPrint(Stmt& s) {
    for (const ExprPtr& e : s.exprs) {
      if (!Expression(*e)) return;
      if (e->type == Type::Void) {
        d_.Error(e->at, "PRINT needs a value; this returns nothing");
        return;
      }
    }
  }

  // ------------------------------------------------------------ routines and settings

  static void CollectLocals(Block& block, std::vector<Declaration*>& out) {
    for (const StmtPtr& s : block) {
      if (s->kind == Stmt::Local)
        for (Declaration& d : s->declarations) out.push_back(&d);
      for (Block& b : s->blocks) CollectLocals(b, out);
    }
  }

  void CheckFunction(Function& f) {
    Scope locals;
    locals_ = &locals;
    function_ = &f;
    for (Declaration& p : f.params) {
      if (locals.count(p.name)) d_.Error(p.at, "parameter " + p.name + " appears twice");
      if (functions_.count(p.name)) d_.Error(p.at, p.name + " is also the name of a FUNCTION");
      p.variable = locals[p.name] = NewVariable(p.name, false, p.at);
    }
    std::vector<Declaration*> declared;
    CollectLocals(f.body, declared);
    for (Declaration* d : declared) {
      if (locals.count(d->name)) {
        d_.Error(d->at, d->name + " is declared twice in " + f.name);
        continue;
      }
      if (functions_.count(d->name)) d_.Error(d->at, d->name + " is also the name of a FUNCTION");
      d->variable = locals[d->name] = NewVariable(d->name, d->isArray, d->at);
      f.locals.push_back(d->variable);
    }
    CheckBlock(f.body);
    locals_ = nullptr;
    function_ = nullptr;
  }

  void CheckMain() {
    Scope locals;
    locals_ = &locals;
    CheckBlock(tree_.modules[0].main);
    locals_ = nullptr;
  }

  // Settings see only the globals, and take constants.
  void CheckSettings() {
    for (const Setting& setting : tree_.settings) {
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

  ProgramTree& tree_;
  Diagnostics& d_;
  std::map<std::string, std::vector<const Binding*>> bindings_;
  std::map<std::string, const Function*> functions_;
  std::map<std::string, const Declare*> declares_;
  Scope globals_;
  Scope* locals_ = nullptr;
  const Function* function_ = nullptr;
  std::vector<Stmt*> loops_;
};

}  // namespace

void Check(ProgramTree& tree, Diagnostics& diagnostics) { Checker(tree, diagnostics).Run(); }

}  // namespace vlmc
