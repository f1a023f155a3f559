// vlmc's emitter, its expressions: values, the paths of variables, elements
// and fields, and calls. Every call the translation writes is qualified
// (::Operation for the runtime, program::Routine for the program's own), so
// no program name can meet a runtime name in C++ by argument-dependent lookup.
#include <cmath>
#include <cstdio>
#include <string_view>

#include "bindings.h"
#include "builtins.h"
#include "emit_internal.h"
#include "names.h"

namespace vlmc {
namespace {

bool IsWholeInt32(double v) { return v == std::trunc(v) && v >= -2147483648.0 && v <= 2147483647.0; }

std::string ComparisonOperator(const std::string& op) {
  if (op == "=") return "==";
  return op == "<>" ? "!=" : op;
}

}  // namespace

std::string Indent(int depth) { return std::string(static_cast<size_t>(2 * depth), ' '); }

std::string NumberLiteral(const Expr& e) {
  if (e.text.empty() || e.text[0] == '$') {
    if (std::isnan(e.value)) return "NAN";
    if (std::isinf(e.value)) return e.value < 0 ? "-HUGE_VAL" : "HUGE_VAL";
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

// Text with a NUL byte keeps its length; C text would end there.
std::string TextLiteral(const Expr& e) {
  if (e.text.find('\0') == std::string::npos) return "BasicString(" + CString(e.text) + ")";
  return "BasicString(" + CString(e.text) + ", " + std::to_string(e.text.size()) + "u)";
}

// ------------------------------------------------------------------ values

std::string Emitter::Code(const Expr& e) {
  switch (e.kind) {
    case Expr::Number: return NumberLiteral(e);
    case Expr::String: return TextLiteral(e);
    case Expr::Variable:
    case Expr::Element:
    case Expr::Field: return e.isInt && e.type != Type::Array ? "Number(" + Path(e) + ")" : Path(e);
    case Expr::Call: return CallText(e);
    case Expr::Unary:
      if (e.text == "NOT") return "(!" + AsCondition(*e.args[0]) + ")";
      return "(" + e.text + AsNumber(*e.args[0]) + ")";
    case Expr::Binary: return BinaryText(e);
  }
  return "0";
}

std::string Emitter::AsNumber(const Expr& e) { return e.type == Type::Bool ? "Number(" + Code(e) + ")" : Code(e); }

std::string Emitter::AsInt(const Expr& e) {
  if (e.literal && IsWholeInt32(e.value)) return std::to_string(static_cast<int32_t>(e.value));
  return "::Trunc(" + AsNumber(e) + ")";
}

std::string Emitter::AsCondition(const Expr& e) { return e.type == Type::Bool ? Code(e) : "(" + Code(e) + " != 0)"; }
std::string Emitter::AsNumberOrText(const Expr& e) { return e.type == Type::String ? Code(e) : AsNumber(e); }
// Text passed as C text: a literal as it is, else the string's bytes.
std::string Emitter::AsCText(const Expr& e) { return e.literal ? CString(e.text) : Code(e) + ".c_str()"; }

// ------------------------------------------------------------------ paths

// The storage a variable, element or field expression names (an integer's
// own int32_t; Code reads it as a number).
std::string Emitter::Path(const Expr& e) {
  if (e.kind == Expr::Variable) return e.variable->each ? EachElement(*e.variable->each) : e.variable->cpp;
  if (e.kind == Expr::Field) return Path(*e.object) + "." + e.variable->cpp;
  return "::ArrayElement(" + ArrayCode(e) + Indices(e) + ")";
}

// The path passed to a routine's reference parameter: the element nearest
// the variable goes through vlm_element_ref, so the routine gets a copy that
// is written back, whatever it does to the array meanwhile.
std::string Emitter::ReferencePath(const Expr& e, bool& wrapped) {
  if (e.kind == Expr::Variable) {
    if (!e.variable->each || wrapped) return Path(e);
    wrapped = true;
    elementReference_ = true;
    const Stmt& loop = *e.variable->each;
    return "vlm_element_ref(" + ArrayCode(*loop.value) + ", vlm_k_" + std::to_string(LoopNumber(loop)) + ").get()";
  }
  if (e.kind == Expr::Field) return ReferencePath(*e.object, wrapped) + "." + e.variable->cpp;
  if (e.kind != Expr::Element) return Code(e);
  const std::string array = e.object ? ReferencePath(*e.object, wrapped) : e.variable->cpp;
  if (wrapped) return "::ArrayElement(" + array + Indices(e) + ")";
  wrapped = true;
  elementReference_ = true;
  return "vlm_element_ref(" + array + Indices(e) + ").get()";
}

// A whole array: a variable, an array field, or the array an element is of.
std::string Emitter::ArrayCode(const Expr& e) {
  if (e.kind == Expr::Element) return e.object ? Path(*e.object) : e.variable->cpp;
  return Path(e);
}

std::string Emitter::EachElement(const Stmt& loop) {
  return "::ArrayElement(" + ArrayCode(*loop.value) + ", vlm_k_" + std::to_string(LoopNumber(loop)) + ")";
}

std::string Emitter::Indices(const Expr& e) {
  std::string text;
  for (const ExprPtr& index : e.args) text += ", " + AsInt(*index);
  return text;
}

std::string Emitter::BinaryText(const Expr& e) {
  const Expr& a = *e.args[0];
  const Expr& b = *e.args[1];
  const std::string& op = e.text;
  if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=")
    return "(" + AsNumberOrText(a) + " " + ComparisonOperator(op) + " " + AsNumberOrText(b) + ")";
  if (e.type == Type::String) return "(" + Code(a) + " + " + Code(b) + ")";
  if (op == "AND" || op == "OR" || op == "XOR") {
    if (e.type == Type::Bool) return "(" + Code(a) + (op == "AND" ? " && " : op == "OR" ? " || " : " != ") + Code(b) + ")";
    return "Number(" + AsInt(a) + (op == "AND" ? " & " : op == "OR" ? " | " : " ^ ") + AsInt(b) + ")";
  }
  if (op == "MOD") return "Number(::IntMod(" + AsInt(a) + ", " + AsInt(b) + "))";
  if (op == "\\") return "::VlmIntDiv(" + AsNumber(a) + ", " + AsNumber(b) + ")";
  if (op == "^") return "::Pow(" + AsNumber(a) + ", " + AsNumber(b) + ")";
  return "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
}

// ------------------------------------------------------------------ calls

std::string Emitter::CallText(const Expr& e) {
  if (e.function) return RoutineCall(e);
  if (e.builtin) return BuiltinCall(e);
  if (e.declare) return DeclaredCall(e);
  const std::string_view result = e.binding->result;
  if (result == "void") return RuntimeCall(e);
  return (result == "num" ? "Number(" : "BasicString(") + RuntimeCall(e) + ")";
}

// The program's own routines are called qualified; left-out optional
// arguments are their defaults.
std::string Emitter::RoutineCall(const Expr& e) {
  const Function& f = *e.function;
  std::string text = options_.program + "::" + f.cpp + "(";
  for (size_t k = 0; k < f.params.size(); ++k) {
    text += k ? ", " : "";
    text += k < e.args.size() ? RoutineArgument(*e.args[k], f.params[k]) : AsNumberOrText(*f.params[k].defaultValue);
  }
  return text + ")";
}

std::string Emitter::RoutineArgument(const Expr& arg, const Declaration& param) {
  if (!param.isArray && param.typeName.empty() && !param.byRef) return AsNumberOrText(arg);
  bool wrapped = false;
  return ReferencePath(arg, wrapped);
}

std::string Emitter::DeclaredCall(const Expr& e) {
  const Declare& decl = *e.declare;
  std::string args;
  for (size_t k = 0; k < e.args.size(); ++k)
    args += (k ? ", " : "") + (IsStringName(decl.params[k].name) ? AsCText(*e.args[k]) : AsInt(*e.args[k]));
  const std::string pointer = "vlm_declared_" + decl.cpp;
  if (IsStringName(decl.name)) return "(" + pointer + " ? BasicString(" + pointer + "(" + args + ")) : BasicString())";
  return "(" + pointer + " ? Number(" + pointer + "(" + args + ")) : 0.0)";
}

// The built-in's form with its arguments filled in.
std::string Emitter::BuiltinCall(const Expr& e) {
  const Builtin& b = *e.builtin;
  if (b.header) headers_.insert(b.header);
  if (std::string_view(b.name) == "STR$" && e.args[0]->builtin && std::string_view(e.args[0]->builtin->name) == "INT")
    return "::VlmIntText(" + AsNumber(*e.args[0]->args[0]) + ")";
  std::string text;
  for (const char* p = b.form; *p != '\0'; ++p) {
    if (*p != '{') {
      text += *p;
      continue;
    }
    const char as = p[1] == 'n' || p[1] == 'i' || p[1] == 'a' ? *++p : ' ';
    const size_t k = static_cast<size_t>(*++p - '0');
    ++p;  // the closing brace
    if (k >= e.args.size())
      text += b.missing;
    else
      text += as == 'n' ? AsNumber(*e.args[k]) : as == 'i' ? AsInt(*e.args[k]) : as == 'a' ? ArrayCode(*e.args[k])
                                                                                            : Code(*e.args[k]);
  }
  return text;
}

// The runtime operation's call as it is (its result not yet a language value).
std::string Emitter::RuntimeCall(const Expr& e) {
  const Binding& b = *e.binding;
  headers_.insert(b.header);
  std::string text = "::" + std::string(b.name) + "(";
  for (size_t k = 0; k < e.args.size(); ++k) text += (k ? ", " : "") + Argument(*e.args[k], b.params[k].kind);
  return text + ")";
}

// An argument as the parameter's kind takes it.
std::string Emitter::Argument(const Expr& a, std::string_view kind) {
  if (kind == "numarr&" || kind == "strarr&" || kind == "intarr&") return ArrayCode(a);
  if (kind == "str" || kind == "str&" || kind == "num&") return Code(a);
  if (kind == "cstr") return AsCText(a);
  if (kind == "i32&") return "::VlmOutInt(" + Code(a) + ")";
  if (kind == "f32&") return "::VlmOutFloat(" + Code(a) + ")";
  if (kind == "num") return AsNumber(a);
  if (kind == "f32") return "static_cast<float>(" + AsNumber(a) + ")";
  if (kind == "i32") return AsInt(a);
  if (kind == "u32") return "static_cast<uint32_t>(" + AsInt(a) + ")";
  if (kind == "i64") return "static_cast<int64_t>(" + AsInt(a) + ")";
  if (kind == "bool") return "(" + AsInt(a) + " != 0)";
  return Code(a);
}

}  // namespace vlmc
