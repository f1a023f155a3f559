// vlmc's back end: resolves names and types over the whole program and
// writes the C++ translation (a header, the program's set-up file and one
// file per module), in the form the runtime's translated programs take.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "syntax.h"

namespace vlmc {
namespace {

enum class Type { Number, String, Bool, Void };

// A translated expression.
struct Code {
  std::string text;
  Type type = Type::Number;
  bool lvalue = false;
  bool literal = false;   // a number or text literal
  double value = 0;       // number literals
  std::string raw;        // text literals: the C string literal
  bool ok = true;
};

struct Variable {
  std::string name;  // as registered: the BASIC name with $ as _Str, % as _Int
  std::string cpp;
  bool isArray = false;
  bool isString = false;
  bool isInt = false;  // an array of 32-bit integers (name ending in %)
};

bool IsStringName(const std::string& name) { return !name.empty() && name.back() == '$'; }
bool IsIntName(const std::string& name) { return !name.empty() && name.back() == '%'; }

const std::set<std::string>& Reserved() {
  static const std::set<std::string> words = {
      "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
      "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
      "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
      "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
      "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
      "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast",
      "requires", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
      "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename",
      "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "main",
      "settings", "globalSetup", "globalTeardown", "mainProgram", "kCallByName", "Trunc", "Number", "BasicString",
      "BasicArray", "std", "NULL", "errno", "assert", "stdout", "stderr", "EOF", "INT32_MIN", "INT32_MAX"};
  return words;
}

std::string CppName(const std::string& name) {
  std::string cpp = name;
  if (IsStringName(cpp)) cpp = cpp.substr(0, cpp.size() - 1) + "_Str";
  if (IsIntName(cpp)) cpp = cpp.substr(0, cpp.size() - 1) + "_Int";
  // C++ words, the translation's own names, macros of the C library (M_PI,
  // EOF...) and a plain name that looks like a text variable's (a_Str).
  const auto endsIn = [&](const char* suffix) { return cpp.size() > 4 && cpp.compare(cpp.size() - 4, 4, suffix) == 0; };
  const bool textLike = (!IsStringName(name) && endsIn("_Str")) || (!IsIntName(name) && endsIn("_Int"));
  if (Reserved().count(cpp) || cpp.rfind("vlm", 0) == 0 || cpp.rfind("Vlm", 0) == 0 || cpp.rfind("VLM", 0) == 0 ||
      cpp.rfind("M_", 0) == 0 || cpp.find("__") != std::string::npos || cpp[0] == '_' || textLike)
    cpp = "u_" + cpp;
  return cpp;
}

std::string RegisteredName(const std::string& name) {
  if (IsStringName(name)) return name.substr(0, name.size() - 1) + "_Str";
  return IsIntName(name) ? name.substr(0, name.size() - 1) + "_Int" : name;
}

std::string CString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '?') {
      out += "\\?";  // no trigraphs
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\%03o", c);
      out += buffer;
    }
  }
  return out + "\"";
}

std::string NumberLiteral(const Expr& e) {
  if (e.text.empty() || e.text[0] == '$') {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", e.value);
    std::string s = buffer;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
  }
  std::string s = e.text;
  if (s[0] == '.') s = "0" + s;
  if (s.find_first_of(".eE") == std::string::npos) s += ".0";
  return s;
}

bool IsWholeInt32(double v) { return v == std::trunc(v) && v >= -2147483648.0 && v <= 2147483647.0; }

std::string Indent(int depth) { return std::string(static_cast<size_t>(2 * depth), ' '); }

std::string ModuleStem(const std::string& path) {
  std::string base = path;
  const size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
  std::string out;
  for (char c : base) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out.empty() ? "module" : out;
}

struct Builtin {
  const char* name;
  int minArgs, maxArgs;
};
const Builtin kBuiltins[] = {
    {"INT", 1, 1},  {"SIN", 1, 1},    {"COS", 1, 1},    {"TAN", 1, 1},   {"ACOS", 1, 1},   {"ATAN2", 2, 2},
    {"SQR", 1, 1},  {"ABS", 1, 1},    {"LEN", 1, 1},    {"STR$", 1, 1},  {"VAL", 1, 1},    {"CHR$", 1, 1},
    {"ASC", 1, 1},  {"LEFT$", 2, 2},  {"RIGHT$", 2, 2}, {"MID$", 2, 3},  {"UPPER$", 1, 1}, {"LOWER$", 1, 1},
    {"INSTR", 2, 3}, {"EOF", 1, 1},
};

const Builtin* FindBuiltin(const std::string& name) {
  const std::string upper = Upper(name);
  for (const Builtin& b : kBuiltins)
    if (upper == b.name) return &b;
  return nullptr;
}

struct SettingKey {
  const char* name;
  bool text;
};
const SettingKey kSettingKeys[] = {{"ScreenWidth", false}, {"ScreenHeight", false}, {"FullScreen", false},
                                   {"FrameRate", false},   {"Multisample", false},  {"DebugMode", false},
                                   {"HideMouse", false},   {"AppTitle", true}};

class Emitter {
 public:
  Emitter(const ProgramTree& tree, const Options& options, Diagnostics& d) : tree_(tree), options_(options), d_(d) {
    for (int k = 0; k < kBindingCount; ++k) bindings_[kBindings[k].name].push_back(&kBindings[k]);
  }

  void Run(std::vector<OutputFile>& files) {
    CollectProgram();
    std::vector<std::string> moduleBodies(tree_.modules.size());
    for (size_t m = 0; m < tree_.modules.size(); ++m) {
      if (m == 0) moduleBodies[m] += EmitMain();
      for (const auto& f : tree_.functions)
        if (f->module == static_cast<int>(m) && functions_[f->name] == f.get()) moduleBodies[m] += EmitFunction(*f);
    }
    const std::string settings = EmitSettings();
    if (d_.Count() > 0) return;
    std::vector<std::string> moduleNames;
    for (const Module& m : tree_.modules) moduleNames.push_back(m.name);
    const std::vector<std::string> names = OutputNames(options_.program, moduleNames);
    files.push_back({names[0], EmitHeader()});
    files.push_back({names[1], EmitProgramFile(settings)});
    for (size_t m = 0; m < tree_.modules.size(); ++m) {
      std::string text = "// Module " + std::to_string(m) + " of " + options_.program + ", translated by vlmc from " +
                         ModuleStem(tree_.modules[m].name) + ".bas: do not edit.\n#include \"" + names[0] +
                         "\"\n\nnamespace " + options_.program + " {\n";
      text.reserve(text.size() + moduleBodies[m].size() + 64);
      text += moduleBodies[m];
      std::string().swap(moduleBodies[m]);
      text += "\n}  // namespace " + options_.program + "\n";
      files.push_back({names[2 + m], std::move(text)});
    }
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
    for (const Declaration& g : tree_.globals) {
      if (globals_.count(g.name)) {
        d_.Error(g.at, "GLOBAL " + g.name + " is declared twice");
        continue;
      }
      if (functions_.count(g.name)) d_.Error(g.at, g.name + " is already the name of a FUNCTION");
      globals_[g.name] = MakeVariable(g.name, g.isArray, g.at);
      globalOrder_.push_back(g.name);
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
      if (it != locals_->end()) return &it->second;
    }
    auto it = globals_.find(name);
    return it == globals_.end() ? nullptr : &it->second;
  }

  std::vector<std::string> VariableNames() const {
    std::vector<std::string> names;
    if (locals_)
      for (const auto& [name, v] : *locals_) names.push_back(name);
    for (const auto& [name, v] : globals_) names.push_back(name);
    return names;
  }

  void UnknownVariable(const Expr& e) {
    std::string message = "unknown variable '" + e.text + "'";
    const std::string near = NearestName(e.text, VariableNames());
    if (!near.empty())
      message += "; did you mean '" + near + "'?";
    else if (function_)
      message += "; declare it with LOCAL or GLOBAL";
    d_.Error(e.at, message);
  }

  // A variable of that name; only arrays hold integers.
  Variable MakeVariable(const std::string& name, bool isArray, Position at) {
    if (IsIntName(name) && !isArray)
      d_.Error(at, name + " ends in %, which only an integer array's name does (declare it with " + name + "[])");
    return Variable{RegisteredName(name), CppName(name), isArray, IsStringName(name), isArray && IsIntName(name)};
  }

  // A variable written to: in the main program an undeclared name becomes
  // one of its locals.
  const Variable* Target(const Expr& e, bool isArray) {
    const Variable* v = Lookup(e.text);
    if (v) return v;
    if (function_ || !locals_) {
      UnknownVariable(e);
      return nullptr;
    }
    if (functions_.count(e.text)) {
      d_.Error(e.at, e.text + " is the name of a FUNCTION, not a variable");
      return nullptr;
    }
    (*locals_)[e.text] = MakeVariable(e.text, isArray, e.at);
    localOrder_.push_back(e.text);
    return &(*locals_)[e.text];
  }

  // ------------------------------------------------------------ expressions

  Code Fail() {
    Code c;
    c.ok = false;
    c.text = "0";
    return c;
  }

  static const char* TypeName(Type t) {
    switch (t) {
      case Type::String: return "text";
      case Type::Void: return "nothing";
      default: return "a number";
    }
  }

  std::string AsNumber(const Code& c) { return c.type == Type::Bool ? "Number(" + c.text + ")" : c.text; }
  std::string AsInt(const Code& c) {
    if (c.literal && IsWholeInt32(c.value)) return std::to_string(static_cast<int32_t>(c.value));
    return "Trunc(" + AsNumber(c) + ")";
  }
  std::string AsCondition(const Code& c) { return c.type == Type::Bool ? c.text : "(" + c.text + " != 0)"; }

  bool RequireNumber(const Code& c, const Expr& e, const std::string& what) {
    if (!c.ok) return false;
    if (c.type == Type::String || c.type == Type::Void) {
      d_.Error(e.at, what + " must be a number, not " + TypeName(c.type) +
                         (c.type == Type::String ? " (VAL turns text into a number)" : ""));
      return false;
    }
    return true;
  }
  bool RequireString(const Code& c, const Expr& e, const std::string& what) {
    if (!c.ok) return false;
    if (c.type != Type::String) {
      d_.Error(e.at, what + " must be text, not " + TypeName(c.type) +
                         (c.type != Type::Void ? " (STR$ turns a number into text)" : ""));
      return false;
    }
    return true;
  }

  std::string ElementCode(const Variable& v, const Expr& e) {
    if (e.args.size() > 4) {
      d_.Error(e.at, "arrays have at most four dimensions; " + e.text + " has " + std::to_string(e.args.size()) +
                         " indices");
      return "";
    }
    std::string text = "ArrayElement(" + v.cpp;
    for (const ExprPtr& index : e.args) {
      Code i = Expression(*index);
      if (!RequireNumber(i, *index, "an array index")) return "";
      text += ", " + AsInt(i);
    }
    return text + ")";
  }

  Code Expression(const Expr& e) {
    switch (e.kind) {
      case Expr::Number: {
        Code c;
        c.text = NumberLiteral(e);
        c.literal = true;
        c.value = e.value;
        return c;
      }
      case Expr::String: {
        Code c;
        c.type = Type::String;
        c.raw = CString(e.text);
        // Text with a NUL byte keeps its length; C text would end there.
        c.text = e.text.find('\0') == std::string::npos
                     ? "BasicString(" + c.raw + ")"
                     : "BasicString(" + c.raw + ", " + std::to_string(e.text.size()) + "u)";
        c.literal = true;
        return c;
      }
      case Expr::Variable: {
        const Variable* v = Lookup(e.text);
        if (!v) {
          if (functions_.count(e.text) || bindings_.count(e.text))
            d_.Error(e.at, e.text + " is an operation; call it as " + e.text + "()");
          else
            UnknownVariable(e);
          return Fail();
        }
        if (v->isArray) {
          d_.Error(e.at, e.text + " is an array; give an index, as in " + e.text + "[0]");
          return Fail();
        }
        Code c;
        c.text = v->cpp;
        c.type = v->isString ? Type::String : Type::Number;
        c.lvalue = true;
        return c;
      }
      case Expr::Element: {
        const Variable* v = Lookup(e.text);
        if (!v) {
          UnknownVariable(e);
          return Fail();
        }
        if (!v->isArray) {
          d_.Error(e.at, e.text + " is not an array (declare it with " + e.text + "[])");
          return Fail();
        }
        Code c;
        c.text = ElementCode(*v, e);
        if (c.text.empty()) return Fail();
        c.type = v->isString ? Type::String : Type::Number;
        // An integer element reads as a number; only assignment writes it.
        c.lvalue = !v->isInt;
        if (v->isInt) c.text = "Number(" + c.text + ")";
        return c;
      }
      case Expr::Call: return Call(e);
      case Expr::Unary: {
        Code a = Expression(*e.args[0]);
        if (!a.ok) return a;
        Code c;
        if (e.text == "NOT") {
          if (a.type == Type::String || a.type == Type::Void) {
            RequireNumber(a, *e.args[0], "the operand of NOT");
            return Fail();
          }
          c.type = Type::Bool;
          c.text = "(!" + AsCondition(a) + ")";
          return c;
        }
        if (!RequireNumber(a, *e.args[0], "the operand of " + e.text)) return Fail();
        c.text = "(" + e.text + AsNumber(a) + ")";
        if (a.literal) {
          c.literal = true;
          c.value = e.text == "-" ? -a.value : a.value;
        }
        return c;
      }
      case Expr::Binary: return Binary(e);
    }
    return Fail();
  }

  Code Binary(const Expr& e) {
    Code a = Expression(*e.args[0]);
    Code b = Expression(*e.args[1]);
    if (!a.ok || !b.ok) return Fail();
    const std::string& op = e.text;
    Code c;
    const bool comparison = op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
    if (a.type == Type::Void || b.type == Type::Void) {
      d_.Error(e.at, "the operands of " + op + " must be values; " +
                         std::string(a.type == Type::Void ? "the left" : "the right") + " one returns nothing");
      return Fail();
    }
    if (comparison) {
      if ((a.type == Type::String) != (b.type == Type::String)) {
        d_.Error(e.at, "cannot compare text with a number (STR$ or VAL converts)");
        return Fail();
      }
      static const std::map<std::string, std::string> cpp = {{"=", "=="}, {"<>", "!="}, {"<", "<"},
                                                             {">", ">"},  {"<=", "<="}, {">=", ">="}};
      c.type = Type::Bool;
      c.text = "(" + AsNumberOrText(a) + " " + cpp.at(op) + " " + AsNumberOrText(b) + ")";
      return c;
    }
    if (op == "+" && (a.type == Type::String || b.type == Type::String)) {
      if (a.type != b.type) {
        d_.Error(e.at, "cannot add text and a number (STR$ turns a number into text)");
        return Fail();
      }
      c.type = Type::String;
      c.text = "(" + a.text + " + " + b.text + ")";
      return c;
    }
    if (a.type == Type::String || b.type == Type::String) {
      d_.Error(e.at, "the operands of " + op + " must be numbers, not text");
      return Fail();
    }
    if (op == "AND" || op == "OR") {
      if (a.type == Type::Bool && b.type == Type::Bool) {
        c.type = Type::Bool;
        c.text = "(" + a.text + (op == "AND" ? " && " : " || ") + b.text + ")";
      } else {
        c.text = "Number(" + AsInt(a) + (op == "AND" ? " & " : " | ") + AsInt(b) + ")";
      }
      return c;
    }
    if (op == "MOD") {
      c.text = "Number(::IntMod(" + AsInt(a) + ", " + AsInt(b) + "))";
      return c;
    }
    if (op == "^") {
      UseHeader("core/numeric.h");
      c.text = "::Pow(" + AsNumber(a) + ", " + AsNumber(b) + ")";
      return c;
    }
    c.text = "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
    return c;
  }

  std::string AsNumberOrText(const Code& c) { return c.type == Type::String ? c.text : AsNumber(c); }

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

  Code Call(const Expr& e) {
    auto f = functions_.find(e.text);
    if (f != functions_.end()) return CallFunction(e, *f->second);
    if (const Builtin* b = FindBuiltin(e.text)) return CallBuiltin(e, *b);
    auto d = declares_.find(e.text);
    if (d != declares_.end()) return CallDeclared(e, *d->second);
    auto r = bindings_.find(e.text);
    if (r != bindings_.end()) return CallRuntime(e, r->second);
    std::vector<std::string> names;
    for (const auto& [name, fn] : functions_) names.push_back(name);
    for (const Builtin& b : kBuiltins) names.push_back(b.name);
    for (const auto& [name, decl] : declares_) names.push_back(name);
    for (const auto& [name, list] : bindings_) names.push_back(name);
    std::string message = "unknown operation '" + e.text + "'";
    const std::string near = NearestName(e.text, names);
    if (!near.empty()) message += "; did you mean '" + near + "'?";
    if (Lookup(e.text)) message = e.text + " is a variable, not an operation (arrays take [ ])";
    d_.Error(e.at, message);
    return Fail();
  }

  Code CallFunction(const Expr& e, const Function& f) {
    std::string params;
    for (const Declaration& p : f.params) params += (params.empty() ? "" : ", ") + p.name;
    const int n = static_cast<int>(f.params.size());
    if (!ArgCount(e, f.name, n, n, params)) return Fail();
    std::string text = CppName(f.name) + "(";
    bool ok = true;
    for (size_t k = 0; k < e.args.size(); ++k) {
      Code a = Expression(*e.args[k]);
      const std::string what = "argument " + std::to_string(k + 1) + " of " + f.name + " (" + f.params[k].name + ")";
      if (IsStringName(f.params[k].name))
        ok = RequireString(a, *e.args[k], what) && ok;
      else
        ok = RequireNumber(a, *e.args[k], what) && ok;
      text += (k ? ", " : "") + (a.type == Type::String ? a.text : AsNumber(a));
    }
    if (!ok) return Fail();
    Code c;
    c.text = text + ")";
    c.type = !f.returnsValue ? Type::Void : IsStringName(f.name) ? Type::String : Type::Number;
    return c;
  }

  Code CallDeclared(const Expr& e, const Declare& decl) {
    std::string params;
    for (const Declaration& p : decl.params) params += (params.empty() ? "" : ", ") + p.name;
    const int n = static_cast<int>(decl.params.size());
    if (!ArgCount(e, decl.name, n, n, params)) return Fail();
    std::string args;
    bool ok = true;
    for (size_t k = 0; k < e.args.size(); ++k) {
      Code a = Expression(*e.args[k]);
      const std::string what = "argument " + std::to_string(k + 1) + " of " + decl.name + " (" + decl.params[k].name + ")";
      if (IsStringName(decl.params[k].name)) {
        ok = RequireString(a, *e.args[k], what) && ok;
        args += std::string(k ? ", " : "") + (a.literal ? a.raw : a.text + ".c_str()");
      } else {
        ok = RequireNumber(a, *e.args[k], what) && ok;
        args += std::string(k ? ", " : "") + AsInt(a);
      }
    }
    if (!ok) return Fail();
    const std::string pointer = "declared_" + CppName(decl.name);
    Code c;
    if (IsStringName(decl.name)) {
      c.type = Type::String;
      c.text = "(" + pointer + " ? BasicString(" + pointer + "(" + args + ")) : BasicString())";
    } else {
      c.text = "(" + pointer + " ? Number(" + pointer + "(" + args + ")) : 0.0)";
    }
    return c;
  }

  Code CallBuiltin(const Expr& e, const Builtin& b) {
    const std::string name = Upper(e.text);
    if (!ArgCount(e, name, b.minArgs, b.maxArgs, "")) return Fail();
    std::vector<Code> a;
    bool ok = true;
    for (const ExprPtr& arg : e.args) a.push_back(Expression(*arg));
    for (const Code& c : a) ok = ok && c.ok;
    if (!ok) return Fail();
    // Argument k must be text (true) or a number (false).
    auto want = [&](size_t k, bool text) {
      const std::string what = "argument " + std::to_string(k + 1) + " of " + name;
      return text ? RequireString(a[k], *e.args[k], what) : RequireNumber(a[k], *e.args[k], what);
    };
    Code c;
    UseHeader("core/numeric.h");
    UseHeader("core/text.h");
    if (name == "INT") {
      if (!want(0, false)) return Fail();
      c.text = "Number(" + AsInt(a[0]) + ")";
    } else if (name == "SIN" || name == "COS" || name == "TAN" || name == "ACOS") {
      if (!want(0, false)) return Fail();
      const std::string fn = name == "SIN" ? "SinDeg" : name == "COS" ? "CosDeg" : name == "TAN" ? "TanDeg" : "AcosDeg";
      c.text = "::" + fn + "(" + AsNumber(a[0]) + ")";
    } else if (name == "ATAN2") {
      if (!want(0, false) || !want(1, false)) return Fail();
      c.text = "::Atan2Deg(" + AsNumber(a[0]) + ", " + AsNumber(a[1]) + ")";
    } else if (name == "SQR") {
      if (!want(0, false)) return Fail();
      c.text = "::Sqrt(" + AsNumber(a[0]) + ")";
    } else if (name == "ABS") {
      if (!want(0, false)) return Fail();
      c.text = "VlmAbs(" + AsNumber(a[0]) + ")";
    } else if (name == "LEN") {
      if (!want(0, true)) return Fail();
      c.text = "Number(" + a[0].text + ".Length())";
    } else if (name == "STR$") {
      if (!want(0, false)) return Fail();
      c.type = Type::String;
      // STR$(INT(x)) is the decimal text of the whole number.
      const Expr& inner = *e.args[0];
      if (inner.kind == Expr::Call && Upper(inner.text) == "INT" && inner.args.size() == 1 &&
          functions_.find(inner.text) == functions_.end())
        c.text = "::IntegerToText(" + AsInt(Expression(*inner.args[0])) + ")";
      else
        c.text = "::NumberToText(" + AsNumber(a[0]) + ")";
    } else if (name == "VAL") {
      if (!want(0, true)) return Fail();
      c.text = "::ToDouble(" + a[0].text + ")";
    } else if (name == "CHR$") {
      if (!want(0, false)) return Fail();
      c.type = Type::String;
      c.text = "::Chr(" + AsInt(a[0]) + ")";
    } else if (name == "ASC") {
      if (!want(0, true)) return Fail();
      c.text = "Number(::Asc(" + a[0].text + "))";
    } else if (name == "LEFT$" || name == "RIGHT$") {
      if (!want(0, true) || !want(1, false)) return Fail();
      c.type = Type::String;
      c.text = std::string(name == "LEFT$" ? "VlmLeft(" : "VlmRight(") + a[0].text + ", " + AsNumber(a[1]) + ")";
    } else if (name == "MID$") {
      if (!want(0, true) || !want(1, false) || (a.size() == 3 && !want(2, false))) return Fail();
      c.type = Type::String;
      c.text = "VlmMid(" + a[0].text + ", " + AsNumber(a[1]) + ", " + (a.size() == 3 ? AsNumber(a[2]) : "-1.0") + ")";
    } else if (name == "UPPER$" || name == "LOWER$") {
      if (!want(0, true)) return Fail();
      c.type = Type::String;
      c.text = std::string(name == "UPPER$" ? "::Upper(" : "::Lower(") + a[0].text + ")";
    } else if (name == "INSTR") {
      // INSTR(text, part [, start]): 1-based position, 0 when not found.
      if (!want(0, true) || !want(1, true) || (a.size() == 3 && !want(2, false))) return Fail();
      c.text = "VlmInstr(" + a[0].text + ", " + a[1].text + ", " + (a.size() == 3 ? AsNumber(a[2]) : "1.0") + ")";
    } else if (name == "EOF") {
      if (!want(0, false)) return Fail();
      UseHeader("files/files.h");
      c.type = Type::Bool;
      c.text = "::EndOfFile(" + AsInt(a[0]) + ")";
    }
    return c;
  }

  // How well an argument fits a parameter kind: 0 not at all, more is better.
  int Fit(const Code& a, const Expr& e, const std::string& kind) {
    const bool text = a.type == Type::String;
    const bool number = a.type == Type::Number || a.type == Type::Bool;
    const bool arrayName = e.kind == Expr::Variable && Lookup(e.text) && Lookup(e.text)->isArray;
    if (kind == "numarr&") return arrayName && !Lookup(e.text)->isString && !Lookup(e.text)->isInt ? 3 : 0;
    if (kind == "intarr&") return arrayName && Lookup(e.text)->isInt ? 3 : 0;
    if (kind == "strarr&") return arrayName && Lookup(e.text)->isString ? 3 : 0;
    if (arrayName) return 0;
    if (kind == "str") return text ? 3 : 0;
    if (kind == "cstr") return text ? 2 : 0;
    if (kind == "str&") return text && a.lvalue ? 3 : 0;
    if (kind == "num&") return number && a.lvalue ? 3 : 0;
    if (kind == "i32&" || kind == "f32&") return number && a.lvalue ? 2 : 0;
    if (kind == "num") return number ? 3 : 0;
    return number ? 2 : 0;
  }

  std::string Convert(const Code& a, const Expr& e, const std::string& kind) {
    if (kind == "numarr&" || kind == "strarr&" || kind == "intarr&") return Lookup(e.text)->cpp;
    if (kind == "str" || kind == "str&" || kind == "num&") return a.text;
    if (kind == "cstr") return a.literal ? a.raw : a.text + ".c_str()";
    if (kind == "i32&") return "VlmOutInt(" + a.text + ")";
    if (kind == "f32&") return "VlmOutFloat(" + a.text + ")";
    if (kind == "num") return AsNumber(a);
    if (kind == "f32") return "static_cast<float>(" + AsNumber(a) + ")";
    if (kind == "i32") return AsInt(a);
    if (kind == "u32") return "static_cast<uint32_t>(" + AsInt(a) + ")";
    if (kind == "i64") return "static_cast<int64_t>(" + AsInt(a) + ")";
    if (kind == "bool") return "(" + AsInt(a) + " != 0)";
    return a.text;
  }

  static std::string ParamList(const Binding& b) {
    std::string s;
    for (int k = 0; k < b.count; ++k) s += (k ? ", " : "") + std::string(b.params[k].name);
    return s;
  }

  Code CallRuntime(const Expr& e, const std::vector<const Binding*>& overloads) {
    // Arguments that name whole arrays are not expressions of their own.
    std::vector<Code> a;
    bool ok = true;
    for (const ExprPtr& arg : e.args) {
      const Variable* v = arg->kind == Expr::Variable ? Lookup(arg->text) : nullptr;
      if (v && v->isArray) {
        Code c;
        c.text = v->cpp;
        c.type = v->isString ? Type::String : Type::Number;
        a.push_back(c);
      } else if (arg->kind == Expr::Variable && !v && !function_ && locals_) {
        // An undeclared name passed where a variable is written declares it
        // (main program only), as an assignment would.
        a.push_back(Code{});
        a.back().ok = false;
      } else {
        a.push_back(Expression(*arg));
        ok = ok && a.back().ok;
      }
    }
    const int n = static_cast<int>(e.args.size());
    const Binding* best = nullptr;
    int bestScore = -1;
    const Binding* byCount = nullptr;
    for (const Binding* b : overloads) {
      if (n < b->required || n > b->count) continue;
      if (!byCount) byCount = b;
      int score = 0;
      for (int k = 0; k < n && score >= 0; ++k) {
        const std::string kind = b->params[k].kind;
        if (!a[k].ok) {
          // An undeclared variable: only a written (reference) parameter takes it.
          score = kind.back() == '&' && kind.find("arr") == std::string::npos ? score + 1 : -1;
          continue;
        }
        const int fit = Fit(a[k], *e.args[k], kind);
        score = fit == 0 ? -1 : score + fit;
      }
      if (score > bestScore) {
        best = b;
        bestScore = score;
      }
    }
    if (!byCount) {
      int lo = 99, hi = 0;
      const Binding* shown = overloads.front();
      for (const Binding* b : overloads) {
        lo = std::min(lo, b->required);
        hi = std::max(hi, b->count);
        if (std::abs(b->count - n) < std::abs(shown->count - n)) shown = b;
      }
      ArgCount(e, e.text, lo, hi, ParamList(*shown));
      return Fail();
    }
    if (!ok) return Fail();
    if (!best || bestScore < 0) {
      // Name the first argument that does not fit the first overload of that count.
      for (int k = 0; k < n; ++k) {
        const std::string kind = byCount->params[k].kind;
        if (a[k].ok && Fit(a[k], *e.args[k], kind) > 0) continue;
        if (!a[k].ok) {
          UnknownVariable(*e.args[k]);
          return Fail();
        }
        std::string need = kind == "numarr&" ? "a number array (its name, no index)"
                           : kind == "strarr&" ? "a text array (its name, no index)"
                           : kind == "intarr&" ? "an integer array (a name ending in %, no index)"
                           : kind.back() == '&' ? (kind == "str&" ? "a text variable" : "a number variable") + std::string(" it can write to")
                           : (kind == "str" || kind == "cstr") ? "text" : "a number";
        d_.Error(e.args[k]->at, "argument " + std::to_string(k + 1) + " of " + e.text + " (" + byCount->params[k].name +
                                    ") must be " + need);
        return Fail();
      }
      d_.Error(e.at, "no form of " + e.text + " takes these arguments");
      return Fail();
    }
    std::string text = "::" + std::string(best->name) + "(";
    for (int k = 0; k < n; ++k) {
      if (!a[k].ok) {
        const Variable* v = Target(*e.args[k], false);
        if (!v) return Fail();
        a[k] = Code{};
        a[k].text = v->cpp;
        a[k].type = v->isString ? Type::String : Type::Number;
        a[k].lvalue = true;
        if (Fit(a[k], *e.args[k], best->params[k].kind) == 0) {
          d_.Error(e.args[k]->at, "argument " + std::to_string(k + 1) + " of " + e.text + " (" + best->params[k].name +
                                      ") must be a " + (std::string(best->params[k].kind) == "str&" ? "text" : "number") +
                                      " variable");
          return Fail();
        }
      }
      text += (k ? ", " : "") + Convert(a[k], *e.args[k], best->params[k].kind);
    }
    text += ")";
    UseHeader(best->header);
    Code c;
    const std::string result = best->result;
    if (result == "void") {
      c.type = Type::Void;
      c.text = text;
    } else if (result == "num") {
      c.text = "Number(" + text + ")";
      c.raw = text;
    } else {
      c.type = Type::String;
      c.text = "BasicString(" + text + ")";
      c.raw = text;
    }
    return c;
  }

  // ------------------------------------------------------------ statements

  struct Loop {
    std::string kind;
    int id;
    bool exited;
  };

  void Hook(std::string& out, const Stmt& s, int depth) {
    if (options_.lineHooks && s.number > 0)
      out += Indent(depth) + "VLM_LINE(" + std::to_string(module_) + ", " + std::to_string(s.number) + ");\n";
  }

  void EmitBlock(std::string& out, const Block& block, int depth) {
    for (const StmtPtr& s : block) EmitStatement(out, *s, depth);
  }

  void LoopBody(std::string& out, const Stmt& s, const std::string& kind, int depth, const std::string& close) {
    const int id = ++loopCount_;
    loops_.push_back(Loop{kind, id, false});
    EmitBlock(out, s.blocks[0], depth + 1);
    const bool exited = loops_.back().exited;
    loops_.pop_back();
    out += Indent(depth) + close + "\n";
    if (exited) out += Indent(depth) + "vlm_exit_" + std::to_string(id) + ":;\n";
  }

  void EmitStatement(std::string& out, const Stmt& s, int depth) {
    if (d_.Full()) return;
    Hook(out, s, depth);
    const std::string in = Indent(depth);
    switch (s.kind) {
      case Stmt::Local: return;
      case Stmt::Assign: {
        Code value = Expression(*s.value);
        if (!value.ok) return;
        if (value.type == Type::Void) {
          d_.Error(s.value->at, "the value assigned returns nothing");
          return;
        }
        Code target;
        if (s.target->kind == Expr::Variable && !Lookup(s.target->text) && !function_) {
          const Variable* v = Target(*s.target, false);
          if (!v) return;
          target = Expression(*s.target);
        } else {
          target = Expression(*s.target);
        }
        if (!target.ok) return;
        if ((target.type == Type::String) != (value.type == Type::String)) {
          d_.Error(s.value->at, std::string("cannot assign ") + TypeName(value.type) + " to " + s.target->text +
                                    (target.type == Type::String ? ", a text variable (STR$ converts)"
                                                                 : ", a number variable (VAL converts)"));
          return;
        }
        const Variable* array = s.target->kind == Expr::Element ? Lookup(s.target->text) : nullptr;
        if (array && array->isInt) {
          out += in + ElementCode(*array, *s.target) + " = " + AsInt(value) + ";\n";
          return;
        }
        out += in + target.text + " = " + (value.type == Type::String ? value.text : AsNumber(value)) + ";\n";
        return;
      }
      case Stmt::CallStatement: {
        Code c = Expression(*s.exprs[0]);
        if (!c.ok) return;
        if (c.type == Type::Void)
          out += in + c.text + ";\n";
        else
          out += in + "static_cast<void>(" + (c.raw.empty() ? c.text : c.raw) + ");\n";
        return;
      }
      case Stmt::If: {
        for (size_t k = 0; k < s.blocks.size(); ++k) {
          if (k < s.exprs.size()) {
            Code cond = Expression(*s.exprs[k]);
            if (!RequireNumber(cond, *s.exprs[k], "the condition")) return;
            out += (k == 0 ? in + "if (" : " else if (") + AsCondition(cond) + ") {\n";
          } else {
            out += " else {\n";
          }
          EmitBlock(out, s.blocks[k], depth + 1);
          out += in + "}";
        }
        out += "\n";
        return;
      }
      case Stmt::For: {
        const Variable* v = Lookup(s.target->text) ? Lookup(s.target->text) : Target(*s.target, false);
        if (!v) return;
        if (v->isArray || v->isString) {
          d_.Error(s.target->at, "the counter of a FOR loop must be a number variable");
          return;
        }
        Code first = Expression(*s.value);
        Code limit = Expression(*s.limit);
        if (!RequireNumber(first, *s.value, "the start of the loop") || !RequireNumber(limit, *s.limit, "the loop's limit"))
          return;
        const std::string id = std::to_string(loopCount_ + 1);
        const std::string c = v->cpp;
        const std::string init = "for (Number vlm_limit_" + id + " = ((" + c + ") = " + AsNumber(first) + ", " +
                                 AsNumber(limit) + ")";
        if (!s.step) {
          out += in + init + "; " + c + " <= vlm_limit_" + id + "; " + c + " += 1) {\n";
        } else {
          Code step = Expression(*s.step);
          if (!RequireNumber(step, *s.step, "the loop's step")) return;
          if (step.literal) {
            out += in + init + "; " + c + (step.value < 0 ? " >= " : " <= ") + "vlm_limit_" + id + "; " + c + " += " +
                   step.text + ") {\n";
          } else {
            out += in + init + ", vlm_step_" + id + " = " + AsNumber(step) + "; vlm_step_" + id + " >= 0 ? " + c +
                   " <= vlm_limit_" + id + " : " + c + " >= vlm_limit_" + id + "; " + c + " += vlm_step_" + id + ") {\n";
          }
        }
        LoopBody(out, s, "FOR", depth, "}");
        return;
      }
      case Stmt::While: {
        Code cond = Expression(*s.value);
        if (!RequireNumber(cond, *s.value, "the condition")) return;
        out += in + "while (" + AsCondition(cond) + ") {\n";
        LoopBody(out, s, "WHILE", depth, "}");
        return;
      }
      case Stmt::RepeatForever:
        out += in + "for (;;) {\n";
        LoopBody(out, s, "REPEAT", depth, "}");
        return;
      case Stmt::RepeatUntil: {
        out += in + "do {\n";
        const int id = ++loopCount_;
        loops_.push_back(Loop{"REPEAT", id, false});
        EmitBlock(out, s.blocks[0], depth + 1);
        const bool exited = loops_.back().exited;
        loops_.pop_back();
        Code cond = Expression(*s.value);
        if (!RequireNumber(cond, *s.value, "the condition")) return;
        out += in + "} while (!" + AsCondition(cond) + ");\n";
        if (exited) out += in + "vlm_exit_" + std::to_string(id) + ":;\n";
        return;
      }
      case Stmt::Exit: {
        for (auto it = loops_.rbegin(); it != loops_.rend(); ++it) {
          if (it->kind == s.exitKind) {
            it->exited = true;
            out += in + "goto vlm_exit_" + std::to_string(it->id) + ";\n";
            return;
          }
        }
        return;  // reported by the parser
      }
      case Stmt::Select: {
        Code value = Expression(*s.value);
        if (!value.ok) return;
        if (value.type == Type::Void) {
          d_.Error(s.value->at, "SELECT CASE needs a value");
          return;
        }
        const bool text = value.type == Type::String;
        const std::string name = "vlm_case_" + std::to_string(++loopCount_);
        out += in + "{\n" + in + "  const " + (text ? "BasicString " : "Number ") + name + " = " +
               (text ? value.text : AsNumber(value)) + ";\n";
        for (size_t k = 0; k < s.blocks.size(); ++k) {
          const std::vector<CaseItem>& items = s.cases[k];
          if (items.empty()) {
            out += (k == 0 ? in + "  {\n" : " else {\n");
          } else {
            std::string cond;
            for (const CaseItem& item : items) {
              Code low = Expression(*item.low);
              if (!low.ok) return;
              if ((low.type == Type::String) != text) {
                d_.Error(item.low->at, std::string("CASE value must be ") + (text ? "text" : "a number") +
                                           " like the SELECT value");
                return;
              }
              std::string one = "(" + name + " == " + AsNumberOrText(low) + ")";
              if (item.high) {
                Code high = Expression(*item.high);
                if (!high.ok) return;
                if ((high.type == Type::String) != text) {
                  d_.Error(item.high->at, std::string("CASE value must be ") + (text ? "text" : "a number") +
                                              " like the SELECT value");
                  return;
                }
                one = "(" + name + " >= " + AsNumberOrText(low) + " && " + name + " <= " + AsNumberOrText(high) + ")";
              }
              cond += (cond.empty() ? "" : " || ") + one;
            }
            out += (k == 0 ? in + "  if (" : " else if (") + cond + ") {\n";
          }
          EmitBlock(out, s.blocks[k], depth + 2);
          out += in + "  }";
        }
        if (!s.blocks.empty()) out += "\n";
        out += in + "}\n";
        return;
      }
      case Stmt::Return: {
        if (!function_) {
          out += in + "return;\n";
          return;
        }
        const bool text = IsStringName(function_->name);
        if (!function_->returnsValue) {
          out += in + "return;\n";
          return;
        }
        if (!s.value) {
          out += in + (text ? "return BasicString();\n" : "return 0;\n");
          return;
        }
        Code value = Expression(*s.value);
        if (!value.ok) return;
        if (text ? !RequireString(value, *s.value, "the result of " + function_->name)
                 : !RequireNumber(value, *s.value, "the result of " + function_->name))
          return;
        out += in + "return " + (text ? value.text : AsNumber(value)) + ";\n";
        return;
      }
      case Stmt::End: out += in + "::EndWithCode0();\n"; return;
      case Stmt::Dim: {
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
          std::string text = in + "DimArray(" + v->cpp;
          for (const ExprPtr& size : e->args) {
            Code c = Expression(*size);
            if (!RequireNumber(c, *size, "an array size")) return;
            text += ", " + AsInt(c);
          }
          out += text + ");\n";
        }
        return;
      }
      case Stmt::Print: {
        std::string text;
        for (const ExprPtr& e : s.exprs) {
          Code c = Expression(*e);
          if (!c.ok) return;
          if (c.type == Type::Void) {
            d_.Error(e->at, "PRINT needs a value; this returns nothing");
            return;
          }
          const std::string part = c.type == Type::String ? c.text : "::NumberToText(" + AsNumber(c) + ")";
          text = text.empty() ? part : "(" + text + " + " + part + ")";
        }
        if (text.empty()) text = "BasicString()";
        out += in + "VlmPrint(" + text + ", " + (s.newline ? "true" : "false") + ");\n";
        return;
      }
    }
  }

  // ------------------------------------------------------------ routines

  static std::string CppType(const Variable& v) {
    if (v.isArray) return v.isString ? "BasicArray<BasicString>" : v.isInt ? "BasicArray<int32_t>" : "BasicArray<Number>";
    return v.isString ? "BasicString" : "Number";
  }

  std::string Registration(const char* macro, const Variable& v) {
    if (v.cpp == v.name) return std::string("  ") + macro + "(" + v.cpp + ");\n";
    return std::string("  ") + macro + "_AS(" + v.cpp + ", " + CString(v.name) + ");\n";
  }

  void CollectLocals(const Block& block, std::vector<const Declaration*>& out) {
    for (const StmtPtr& s : block) {
      if (s->kind == Stmt::Local)
        for (const Declaration& d : s->declarations) out.push_back(&d);
      for (const Block& b : s->blocks) CollectLocals(b, out);
    }
  }

  std::string Signature(const Function& f) {
    std::string text = !f.returnsValue ? "void " : IsStringName(f.name) ? "BasicString " : "Number ";
    text += CppName(f.name) + "(";
    for (size_t k = 0; k < f.params.size(); ++k)
      text += (k ? ", " : "") + std::string(IsStringName(f.params[k].name) ? "BasicString " : "Number ") +
              CppName(f.params[k].name);
    return text + ")";
  }

  std::string EmitFunction(const Function& f) {
    std::map<std::string, Variable> locals;
    locals_ = &locals;
    function_ = &f;
    module_ = f.module;
    std::string head = "\n" + Signature(f) + " {\n  VLM_ROUTINE();\n";
    for (const Declaration& p : f.params) {
      if (locals.count(p.name)) d_.Error(p.at, "parameter " + p.name + " appears twice");
      if (functions_.count(p.name)) d_.Error(p.at, p.name + " is also the name of a FUNCTION");
      locals[p.name] = MakeVariable(p.name, false, p.at);
      head += Registration("VLM_PARAM", locals[p.name]);
    }
    std::vector<const Declaration*> declared;
    CollectLocals(f.body, declared);
    for (const Declaration* d : declared) {
      if (locals.count(d->name)) {
        d_.Error(d->at, d->name + " is declared twice in " + f.name);
        continue;
      }
      if (functions_.count(d->name)) d_.Error(d->at, d->name + " is also the name of a FUNCTION");
      locals[d->name] = MakeVariable(d->name, d->isArray, d->at);
      head += "  " + CppType(locals[d->name]) + " " + locals[d->name].cpp + ";\n" + Registration("VLM_LOCAL", locals[d->name]);
    }
    std::string body;
    EmitBlock(body, f.body, 1);
    if (f.returnsValue) body += IsStringName(f.name) ? "  return BasicString();\n" : "  return 0;\n";
    locals_ = nullptr;
    function_ = nullptr;
    return head + body + "}\n";
  }

  std::string EmitMain() {
    std::map<std::string, Variable> locals;
    locals_ = &locals;
    localOrder_.clear();
    module_ = 0;
    std::string body;
    EmitBlock(body, tree_.modules[0].main, 1);
    std::string head = "\n// The main program.\nvoid mainProgram() {\n  VLM_ROUTINE();\n";
    for (const std::string& name : localOrder_) {
      const Variable& v = locals[name];
      head += "  " + CppType(v) + " " + v.cpp + ";\n" + Registration("VLM_LOCAL", v);
    }
    locals_ = nullptr;
    return head + body + "}\n";
  }

  std::string EmitSettings() {
    std::string out = "void settings() {\n";
    if (!tree_.settings.empty()) out += "  ProjectSettings& s = ::Settings();\n";
    for (const Setting& setting : tree_.settings) {
      const SettingKey* key = nullptr;
      for (const SettingKey& k : kSettingKeys)
        if (setting.key == k.name) key = &k;
      if (!key) {
        std::vector<std::string> names;
        for (const SettingKey& k : kSettingKeys) names.push_back(k.name);
        const std::string near = NearestName(setting.key, names);
        d_.Error(setting.at, "unknown PROJECT setting '" + setting.key + "'" +
                                 (near.empty() ? "" : "; did you mean '" + near + "'?"));
        continue;
      }
      Code c = Expression(*setting.value);
      if (!c.ok) continue;
      if (!c.literal) {
        d_.Error(setting.value->at, "PROJECT " + setting.key + " must be a constant");
        continue;
      }
      if (key->text) {
        if (!RequireString(c, *setting.value, "PROJECT " + setting.key)) continue;
        out += "  s." + setting.key + " = " + c.raw + ";\n";
      } else {
        if (!RequireNumber(c, *setting.value, "PROJECT " + setting.key)) continue;
        out += "  s." + setting.key + " = " + AsInt(c) + ";\n";
      }
    }
    for (const Declare& decl : tree_.declares)
      out += "  ::RegisterDeclare(" + CString(decl.library) + ", " + CString(decl.entry) + ", reinterpret_cast<void*>(&declared_" +
             CppName(decl.name) + "));\n";
    if (!tree_.declares.empty()) UseHeader("external/external.h");
    return out + "}\n";
  }

  // ------------------------------------------------------------ files

  void UseHeader(const std::string& header) { headers_.insert(header); }

  std::string DeclaredType(const Declare& decl) {
    std::string text = std::string(IsStringName(decl.name) ? "const char*" : "int32_t") + " (*declared_" +
                       CppName(decl.name) + ")(";
    for (size_t k = 0; k < decl.params.size(); ++k)
      text += (k ? ", " : "") + std::string(IsStringName(decl.params[k].name) ? "const char*" : "int32_t");
    return text + ")";
  }

  std::string EmitHeader() {
    const std::string& p = options_.program;
    std::string out = "// " + p + ", translated by vlmc: the program's globals and routines. Do not edit.\n";
    out += "#pragma once\n\n#include <cmath>\n#include <cstdint>\n#include <cstdio>\n\n#include \"core/core.h\"\n";
    out += "#include \"host/host.h\"\n";
    for (const std::string& h : headers_)
      if (h.rfind("core/", 0) != 0 && h != "host/host.h") out += "#include \"" + h + "\"\n";
    out += "\nnamespace " + p + " {\n\n";
    out += R"(// A number as a whole 32-bit number: truncation toward zero; NaN and values
// outside the range give INT32_MIN, as the processor's conversion does.
inline int32_t Trunc(Number x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}
inline Number VlmAbs(Number x) { return x < 0 ? -x : x; }
// LEFT$, RIGHT$ and MID$ (1-based start) on whole characters.
inline BasicString VlmLeft(const BasicString& s, Number n) {
  const int32_t count = Trunc(n);
  return count <= 0 ? BasicString() : ::Mid(s, 0, count);
}
inline BasicString VlmRight(const BasicString& s, Number n) {
  const int32_t count = Trunc(n);
  const int32_t length = static_cast<int32_t>(s.Length());
  if (count <= 0) return BasicString();
  return count >= length ? s : ::Mid(s, length - count);
}
inline BasicString VlmMid(const BasicString& s, Number start, Number count) {
  int32_t from = Trunc(start);
  int32_t n = Trunc(count);
  if (from < 1 || n == 0 || (n < -1 && count >= 0)) return BasicString();
  return ::Mid(s, from - 1, n < 0 ? -1 : n);
}
// INSTR: the 1-based position of part at or after start, 0 when not found.
inline Number VlmInstr(const BasicString& s, const BasicString& part, Number start) {
  const int32_t from = Trunc(start);
  if (from < 1) return 0;
  return ::Find(s, part, from - 1) + 1;
}
// PRINT: the text on standard output.
inline void VlmPrint(const BasicString& text, bool newline) {
  std::fwrite(text.c_str(), 1, text.Length(), stdout);
  if (newline) std::fputc('\n', stdout);
}
// A number variable passed where an operation writes a 32-bit integer or a
// float: converted in, written back when the call's expression ends.
class VlmOutInt {
 public:
  explicit VlmOutInt(Number& target) : target_(target), value_(Trunc(target)) {}
  ~VlmOutInt() { target_ = value_; }
  operator int32_t&() { return value_; }
 private:
  Number& target_;
  int32_t value_;
};
class VlmOutFloat {
 public:
  explicit VlmOutFloat(Number& target) : target_(target), value_(static_cast<float>(target)) {}
  ~VlmOutFloat() { target_ = value_; }
  operator float&() { return value_; }
 private:
  Number& target_;
  float value_;
};

)";
    if (!globalOrder_.empty()) out += "// Globals, in registration order.\n";
    for (const std::string& name : globalOrder_) {
      const Variable& v = globals_.at(name);
      out += "extern " + CppType(v) + " " + v.cpp + ";\n";
    }
    for (const Declare& decl : tree_.declares) out += "extern " + DeclaredType(decl) + ";\n";
    out += "\nvoid settings();\nvoid globalSetup();\nvoid globalTeardown();\nvoid mainProgram();\n";
    out += "extern const RoutineEntry kCallByName[];\n\n";
    for (const auto& f : tree_.functions)
      if (functions_.at(f->name) == f.get()) out += Signature(*f) + ";\n";
    out += "\n}  // namespace " + p + "\n";
    return out;
  }

  std::string EmitProgramFile(const std::string& settings) {
    const std::string& p = options_.program;
    std::vector<std::string> moduleNames;
    for (const Module& m : tree_.modules) moduleNames.push_back(m.name);
    std::string out = "// " + p + ", translated by vlmc: settings, globals and their registration, the call-by-name\n"
                      "// table" + std::string(options_.emitMain ? " and the process entry" : "") + ". Do not edit.\n";
    out += "#include \"" + OutputNames(p, moduleNames)[0] + "\"\n\nnamespace " + p + " {\n\n";
    for (const std::string& name : globalOrder_) {
      const Variable& v = globals_.at(name);
      out += CppType(v) + " " + v.cpp + (v.isArray || v.isString ? ";\n" : " = 0;\n");
    }
    for (const Declare& decl : tree_.declares) out += DeclaredType(decl) + " = nullptr;\n";
    out += "\n" + settings + "\nvoid globalSetup() {\n  VLM_ROUTINE();\n";
    for (const std::string& name : globalOrder_) {
      const Variable& v = globals_.at(name);
      out += "  RegisterGlobal(" + CString(v.name) + ", " + v.cpp + ");\n";
    }
    out += "}\n\nvoid globalTeardown() {\n  VLM_ROUTINE();\n";
    for (auto it = globalOrder_.rbegin(); it != globalOrder_.rend(); ++it)
      out += "  UnregisterGlobal(" + globals_.at(*it).cpp + ");\n";
    for (auto it = globalOrder_.rbegin(); it != globalOrder_.rend(); ++it) {
      const Variable& v = globals_.at(*it);
      if (v.isArray || v.isString) out += "  " + v.cpp + " = " + CppType(v) + "();\n";
    }
    out += "}\n\n// The program's parameterless routines, callable by name.\nconst RoutineEntry kCallByName[] = {\n";
    for (const auto& f : tree_.functions)
      if (functions_.at(f->name) == f.get() && f->params.empty() && !f->returnsValue)
        out += "    {&" + CppName(f->name) + ", " + CString(f->name) + "},\n";
    out += "    {nullptr, nullptr},\n};\n\n}  // namespace " + p + "\n";
    if (options_.emitMain) {
      out += "\nint main(int argc, char** argv) {\n  const Application app{&" + p + "::settings, &" + p +
             "::globalSetup, &" + p + "::globalTeardown, &" + p + "::mainProgram, " + p +
             "::kCallByName};\n  return RunApplication(argc, argv, app);\n}\n";
    }
    return out;
  }

  const ProgramTree& tree_;
  const Options& options_;
  Diagnostics& d_;
  std::map<std::string, std::vector<const Binding*>> bindings_;
  std::map<std::string, const Function*> functions_;
  std::map<std::string, const Declare*> declares_;
  std::map<std::string, Variable> globals_;
  std::vector<std::string> globalOrder_;
  std::map<std::string, Variable>* locals_ = nullptr;
  std::vector<std::string> localOrder_;
  const Function* function_ = nullptr;
  int module_ = 0;
  int loopCount_ = 0;
  std::vector<Loop> loops_;
  std::set<std::string> headers_;
};

}  // namespace

void Emit(const ProgramTree& tree, const Options& options, Diagnostics& diagnostics, std::vector<OutputFile>& files) {
  Emitter emitter(tree, options, diagnostics);
  emitter.Run(files);
}

std::vector<std::string> OutputNames(const std::string& program, const std::vector<std::string>& moduleNames) {
  std::vector<std::string> names = {program + ".h", program + "_program.cpp"};
  for (size_t m = 0; m < moduleNames.size(); ++m)
    names.push_back(program + "_module" + std::to_string(m) + "_" + ModuleStem(moduleNames[m]) + ".cpp");
  return names;
}

bool IsProgramName(const std::string& name) {
  if (name.empty() || name.size() > 64 || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return !Reserved().count(name);
}

Result Translate(const std::vector<SourceFile>& modules, const Options& options) {
  Result result;
  Diagnostics diagnostics(modules);
  ProgramTree tree;
  for (const SourceFile& m : modules) tree.modules.push_back(Module{m.name, {}});
  for (size_t m = 0; m < modules.size(); ++m) {
    std::deque<std::string> texts;
    Lexer lexer(modules[m], static_cast<int>(m), diagnostics, texts);
    Parse(lexer, static_cast<int>(m), tree, diagnostics);
  }
  if (diagnostics.Count() == 0) Emit(tree, options, diagnostics, result.files);
  result.ok = diagnostics.Count() == 0;
  if (!result.ok) result.files.clear();
  result.diagnostics = diagnostics.Text();
  return result;
}

}  // namespace vlmc
