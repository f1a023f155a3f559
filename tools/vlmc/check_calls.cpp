// vlmc's checker, its calls: the routine, built-in, declared function or
// runtime operation a call names, its arguments (by value, by reference,
// optional), and the choice among a runtime operation's overloads.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "check_internal.h"
#include "names.h"

namespace vlmc {
namespace {

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

// The statements a bare name may be a misspelling of.
const std::vector<std::string>& StatementWords() {
  static const std::vector<std::string> words = {"PRINT", "INPUT", "READ", "RESTORE", "END", "RETURN", "NEXT",
                                                 "WEND", "ENDIF", "ELSE", "LOOP", "FOREVER", "REPEAT", "CONTINUE",
                                                 "EXIT"};
  return words;
}

}  // namespace

bool Checker::ArgCount(const Expr& e, const std::string& name, int minArgs, int maxArgs, const std::string& params) {
  const int n = static_cast<int>(e.args.size());
  if (n >= minArgs && n <= maxArgs) return true;
  std::string takes = minArgs == maxArgs ? std::to_string(minArgs) : std::to_string(minArgs) + " to " + std::to_string(maxArgs);
  takes += (maxArgs == 1 ? " argument" : " arguments");
  d_.Error(e.at, name + " takes " + takes + (params.empty() ? "" : " (" + params + ")") + ", " + std::to_string(n) +
                     " given");
  return false;
}

bool Checker::Call(Expr& e) {
  auto f = functions_.find(e.text);
  if (f != functions_.end()) {
    e.function = f->second;
    const Function& fn = *f->second;
    e.type = !fn.returnsValue || fn.isSub ? Type::Void : IsStringName(e.text) ? Type::String : Type::Number;
    return Arguments(e, e.text, fn.params);
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
  for (const ExprPtr& arg : e.args) Expression(*arg, true);
  return false;
}

void Checker::UnknownOperation(const Expr& e) {
  Position other;
  if (const std::string* spelling = OtherSpelling(e.text, &other)) {
    d_.Error(e.at, "unknown operation '" + e.text + "'; the name is written '" + *spelling + "'", other,
             "'" + *spelling + "' is written so here");
    return;
  }
  if (Lookup(e.text)) {
    d_.Error(e.at, e.text + " is a variable, not an operation (arrays take [ ])");
    return;
  }
  const std::string statement = e.bare ? NearestName(Upper(e.text), StatementWords()) : "";
  if (!statement.empty()) {
    d_.Error(e.at, "unknown statement '" + e.text + "'; did you mean " + statement + "?");
    return;
  }
  std::vector<std::string> names;
  for (const auto& [name, fn] : functions_) names.push_back(name);
  for (int k = 0; k < kBuiltinCount; ++k) names.push_back(kBuiltins[k].name);
  for (const auto& [name, decl] : declares_) names.push_back(name);
  for (const auto& [name, list] : bindings_) names.push_back(name);
  std::string message = "unknown operation '" + e.text + "'";
  const std::string near = NearestName(e.text, names);
  if (!near.empty()) message += "; did you mean '" + near + "'?";
  d_.Error(e.at, message);
}

// The arguments of a FUNCTION, SUB or declared function: one per
// parameter, but for the optional ones at the end.
bool Checker::Arguments(Expr& e, const std::string& name, const std::vector<Declaration>& params) {
  std::string list;
  int required = 0;
  for (const Declaration& p : params) {
    list += (list.empty() ? "" : ", ") + p.name;
    if (!p.defaultValue) ++required;
  }
  if (!ArgCount(e, name, required, static_cast<int>(params.size()), list)) {
    for (const ExprPtr& arg : e.args) Expression(*arg, true);
    return false;
  }
  bool ok = true;
  for (size_t k = 0; k < e.args.size(); ++k)
    ok = Argument(*e.args[k], params[k], "argument " + std::to_string(k + 1) + " of " + name + " (" + params[k].name + ")") && ok;
  return ok;
}

bool Checker::Argument(Expr& arg, const Declaration& param, const std::string& what) {
  if (param.isArray || !param.typeName.empty() || param.byRef) return ReferenceArgument(arg, param, what);
  const bool checked = Expression(arg);
  return IsStringName(param.name) ? RequireString(checked, arg, what) : RequireNumber(checked, arg, what);
}

// An array, a record or a BYREF number or text: the caller's own storage.
bool Checker::ReferenceArgument(Expr& arg, const Declaration& param, const std::string& what) {
  auto type = param.typeName.empty() ? types_.end() : types_.find(param.typeName);
  const RecordType* record = type == types_.end() ? nullptr : type->second;
  if (!param.typeName.empty() && !record) return Expression(arg, true);  // the unknown TYPE is reported there
  const bool text = IsStringName(param.name) && !record, ints = IsIntName(param.name) && !record;
  const std::string kind = record ? "records of TYPE " + record->name : text ? "text" : ints ? "integers" : "numbers";
  const bool undeclared = arg.kind == Expr::Variable && !Lookup(arg.text) && !function_ && locals_;
  if (param.isArray) {
    // An array the main program has not named yet is declared by the call, of the parameter's kind.
    if (undeclared && IsStringName(arg.text) == text && IsIntName(arg.text) == ints && !Target(arg, true, record))
      return false;
    if (!WholeArray(arg, what)) return false;
    if (arg.record == record && (arg.element == Type::String) == text && arg.isInt == ints) return true;
    d_.Error(arg.at, what + " must be an array of " + kind);
    return false;
  }
  // A written name the main program has not declared yet is declared by the call.
  if (undeclared && !record && !Target(arg, false)) return false;
  if (!Expression(arg)) return false;
  if (arg.variable && arg.variable->failed) return false;  // its unknown TYPE is reported
  if (record ? arg.type != Type::Record || arg.record != record
             : (arg.type == Type::String) != text || arg.type == Type::Record) {
    d_.Error(arg.at, what + " must be " + (record ? "a record of TYPE " + record->name : text ? "text" : "a number"));
    return false;
  }
  if (!arg.lvalue) {
    d_.Error(arg.at, what + " is passed by reference, so it must be a variable, an array element or a field" +
                         std::string(arg.isInt ? " (not a 32-bit integer)" : ""));
    return false;
  }
  return true;
}

bool Checker::CallBuiltin(Expr& e, const Builtin& b) {
  const std::string name = Upper(e.text);
  if (!ArgCount(e, name, b.minArgs, b.maxArgs, "")) {
    for (const ExprPtr& arg : e.args) Expression(*arg, true);
    return false;
  }
  bool ok = true;
  for (size_t k = 0; k < e.args.size(); ++k) {
    Expr& arg = *e.args[k];
    const std::string what = "argument " + std::to_string(k + 1) + " of " + name;
    if (b.args[k] == 'a')
      ok = WholeArray(arg, what) && ok;
    else if (b.args[k] == 's')
      ok = RequireString(Expression(arg), arg, what) && ok;
    else
      ok = RequireNumber(Expression(arg), arg, what) && ok;
  }
  if (!ok) return false;
  e.builtin = &b;
  e.type = b.result;
  return true;
}

bool Checker::CallRuntime(Expr& e, const std::vector<const Binding*>& overloads) {
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

// Whole arrays may be arguments; an undeclared name passed where a variable
// is written declares it (main program only), as an assignment would.
Arg Checker::RuntimeArgument(Expr& arg) {
  if (arg.kind == Expr::Variable && !Lookup(arg.text) && !function_ && locals_) return Arg::Undeclared;
  return Expression(arg, true) ? Arg::Ok : Arg::Failed;
}

Choice Checker::ChooseOverload(const Expr& e, const std::vector<const Binding*>& overloads, const std::vector<Arg>& args) {
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
int Checker::Fit(const Expr& a, std::string_view kind) {
  const bool text = a.type == Type::String;
  const bool number = a.type == Type::Number || a.type == Type::Bool;
  const bool array = a.type == Type::Array && !a.record;
  if (kind == "numarr&") return array && a.element == Type::Number && !a.isInt ? 3 : 0;
  if (kind == "intarr&") return array && a.isInt ? 3 : 0;
  if (kind == "strarr&") return array && a.element == Type::String ? 3 : 0;
  if (a.type == Type::Array || a.type == Type::Record) return 0;
  if (kind == "str") return text ? 3 : 0;
  if (kind == "cstr") return text ? 2 : 0;
  if (kind == "str&") return text && a.lvalue ? 3 : 0;
  if (kind == "num&") return number && a.lvalue ? 3 : 0;
  if (kind == "i32&" || kind == "f32&") return number && a.lvalue ? 2 : 0;
  if (kind == "num") return number ? 3 : 0;
  return number ? 2 : 0;
}

void Checker::WrongCount(const Expr& e, const std::vector<const Binding*>& overloads) {
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
void Checker::NoFit(const Expr& e, const Binding& b, const std::vector<Arg>& args) {
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
bool Checker::DeclareWritten(Expr& e, const Binding& b, const std::vector<Arg>& args) {
  for (size_t k = 0; k < e.args.size(); ++k) {
    if (args[k] == Arg::Ok) continue;
    Expr& arg = *e.args[k];
    const Variable* v = Target(arg, false);
    if (!v) return false;
    arg.variable = v;
    Describe(arg, *v);
    if (Fit(arg, b.params[k].kind) == 0) {
      d_.Error(arg.at, "argument " + std::to_string(k + 1) + " of " + e.text + " (" + b.params[k].name +
                           ") must be a " + (std::string_view(b.params[k].kind) == "str&" ? "text" : "number") +
                           " variable");
      return false;
    }
  }
  return true;
}

}  // namespace vlmc
