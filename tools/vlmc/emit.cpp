// vlmc's emitter: the C++ of a checked program (expressions, statements and
// routines) and the files it goes into, in the form the runtime's translated
// programs take. It only writes: the checker made every choice and found
// every error before it runs.
#include "emit.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <string_view>
#include <utility>

#include "bindings.h"
#include "builtins.h"
#include "names.h"

namespace vlmc {
namespace {

bool IsWholeInt32(double v) { return v == std::trunc(v) && v >= -2147483648.0 && v <= 2147483647.0; }

std::string Indent(int depth) { return std::string(static_cast<size_t>(2 * depth), ' '); }

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

// Text with a NUL byte keeps its length; C text would end there.
std::string TextLiteral(const Expr& e) {
  if (e.text.find('\0') == std::string::npos) return "BasicString(" + CString(e.text) + ")";
  return "BasicString(" + CString(e.text) + ", " + std::to_string(e.text.size()) + "u)";
}

std::string ComparisonOperator(const std::string& op) {
  if (op == "=") return "==";
  return op == "<>" ? "!=" : op;
}

std::string CppType(const Variable& v) {
  if (v.isArray) return v.isString ? "BasicArray<BasicString>" : v.isInt ? "BasicArray<int32_t>" : "BasicArray<Number>";
  return v.isString ? "BasicString" : "Number";
}

std::string Registration(const char* macro, const Variable& v) {
  if (v.cpp == v.name) return std::string("  ") + macro + "(" + v.cpp + ");\n";
  return std::string("  ") + macro + "_AS(" + v.cpp + ", " + CString(v.name) + ");\n";
}

std::string LocalDeclaration(const Variable& v) {
  return "  " + CppType(v) + " " + v.cpp + ";\n" + Registration("VLM_LOCAL", v);
}

std::string Signature(const Function& f) {
  std::string text = !f.returnsValue ? "void " : IsStringName(f.name) ? "BasicString " : "Number ";
  text += CppName(f.name) + "(";
  for (size_t k = 0; k < f.params.size(); ++k)
    text += (k ? ", " : "") + std::string(IsStringName(f.params[k].name) ? "BasicString " : "Number ") +
            CppName(f.params[k].name);
  return text + ")";
}

std::string DeclaredType(const Declare& decl) {
  std::string text = std::string(IsStringName(decl.name) ? "const char*" : "int32_t") + " (*declared_" +
                     CppName(decl.name) + ")(";
  for (size_t k = 0; k < decl.params.size(); ++k)
    text += (k ? ", " : "") + std::string(IsStringName(decl.params[k].name) ? "const char*" : "int32_t");
  return text + ")";
}

class Emitter {
 public:
  Emitter(const ProgramTree& tree, const Options& options) : tree_(tree), options_(options) {}

  std::vector<OutputFile> Run() {
    std::vector<std::string> moduleBodies(tree_.modules.size());
    for (size_t m = 0; m < tree_.modules.size(); ++m) {
      if (m == 0) moduleBodies[m] += MainProgram();
      for (const auto& f : tree_.functions)
        if (f->module == static_cast<int>(m)) moduleBodies[m] += Routine(*f);
    }
    const std::string settings = Settings();
    std::vector<std::string> moduleNames;
    for (const Module& m : tree_.modules) moduleNames.push_back(m.name);
    const std::vector<std::string> names = OutputNames(options_.program, moduleNames);
    std::vector<OutputFile> files;
    files.push_back({names[0], Header()});
    files.push_back({names[1], ProgramFile(names[0], settings)});
    for (size_t m = 0; m < tree_.modules.size(); ++m)
      files.push_back({names[2 + m], ModuleFile(m, names[0], moduleBodies[m])});
    return files;
  }

 private:
  // ------------------------------------------------------------ expressions

  std::string Code(const Expr& e) {
    switch (e.kind) {
      case Expr::Number: return NumberLiteral(e);
      case Expr::String: return TextLiteral(e);
      case Expr::Variable: return e.variable->cpp;
      case Expr::Element: return e.variable->isInt ? "Number(" + ElementText(e) + ")" : ElementText(e);
      case Expr::Call: return CallText(e);
      case Expr::Unary:
        if (e.text == "NOT") return "(!" + AsCondition(*e.args[0]) + ")";
        return "(" + e.text + AsNumber(*e.args[0]) + ")";
      case Expr::Binary: return BinaryText(e);
    }
    return "0";
  }

  std::string AsNumber(const Expr& e) { return e.type == Type::Bool ? "Number(" + Code(e) + ")" : Code(e); }
  std::string AsInt(const Expr& e) {
    if (e.literal && IsWholeInt32(e.value)) return std::to_string(static_cast<int32_t>(e.value));
    return "Trunc(" + AsNumber(e) + ")";
  }
  std::string AsCondition(const Expr& e) { return e.type == Type::Bool ? Code(e) : "(" + Code(e) + " != 0)"; }
  std::string AsNumberOrText(const Expr& e) { return e.type == Type::String ? Code(e) : AsNumber(e); }
  // Text passed as C text: a literal as it is, else the string's bytes.
  std::string AsCText(const Expr& e) { return e.literal ? CString(e.text) : Code(e) + ".c_str()"; }

  std::string ElementText(const Expr& e) {
    std::string text = "ArrayElement(" + e.variable->cpp;
    for (const ExprPtr& index : e.args) text += ", " + AsInt(*index);
    return text + ")";
  }

  std::string BinaryText(const Expr& e) {
    const Expr& a = *e.args[0];
    const Expr& b = *e.args[1];
    const std::string& op = e.text;
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=")
      return "(" + AsNumberOrText(a) + " " + ComparisonOperator(op) + " " + AsNumberOrText(b) + ")";
    if (e.type == Type::String) return "(" + Code(a) + " + " + Code(b) + ")";
    if (op == "AND" || op == "OR") {
      if (e.type == Type::Bool) return "(" + Code(a) + (op == "AND" ? " && " : " || ") + Code(b) + ")";
      return "Number(" + AsInt(a) + (op == "AND" ? " & " : " | ") + AsInt(b) + ")";
    }
    if (op == "MOD") return "Number(::IntMod(" + AsInt(a) + ", " + AsInt(b) + "))";
    if (op == "^") {
      headers_.insert("core/numeric.h");
      return "::Pow(" + AsNumber(a) + ", " + AsNumber(b) + ")";
    }
    return "(" + AsNumber(a) + " " + op + " " + AsNumber(b) + ")";
  }

  // ------------------------------------------------------------ calls

  std::string CallText(const Expr& e) {
    if (e.function) return RoutineCall(e);
    if (e.builtin) return BuiltinCall(e);
    if (e.declare) return DeclaredCall(e);
    const std::string_view result = e.binding->result;
    if (result == "void") return RuntimeCall(e);
    return (result == "num" ? "Number(" : "BasicString(") + RuntimeCall(e) + ")";
  }

  std::string RoutineCall(const Expr& e) {
    std::string text = CppName(e.function->name) + "(";
    for (size_t k = 0; k < e.args.size(); ++k) text += (k ? ", " : "") + AsNumberOrText(*e.args[k]);
    return text + ")";
  }

  std::string DeclaredCall(const Expr& e) {
    const Declare& decl = *e.declare;
    std::string args;
    for (size_t k = 0; k < e.args.size(); ++k)
      args += (k ? ", " : "") + (IsStringName(decl.params[k].name) ? AsCText(*e.args[k]) : AsInt(*e.args[k]));
    const std::string pointer = "declared_" + CppName(decl.name);
    if (IsStringName(decl.name)) return "(" + pointer + " ? BasicString(" + pointer + "(" + args + ")) : BasicString())";
    return "(" + pointer + " ? Number(" + pointer + "(" + args + ")) : 0.0)";
  }

  // The built-in's form with its arguments filled in.
  std::string BuiltinCall(const Expr& e) {
    const Builtin& b = *e.builtin;
    if (b.header) headers_.insert(b.header);
    const Expr& first = *e.args[0];
    if (std::string_view(b.name) == "STR$" && first.builtin && std::string_view(first.builtin->name) == "INT")
      return "::IntegerToText(" + AsInt(*first.args[0]) + ")";
    std::string text;
    for (const char* p = b.form; *p != '\0'; ++p) {
      if (*p != '{') {
        text += *p;
        continue;
      }
      const char as = p[1] == 'n' || p[1] == 'i' ? *++p : ' ';
      const size_t k = static_cast<size_t>(*++p - '0');
      ++p;  // the closing brace
      if (k >= e.args.size())
        text += b.missing;
      else
        text += as == 'n' ? AsNumber(*e.args[k]) : as == 'i' ? AsInt(*e.args[k]) : Code(*e.args[k]);
    }
    return text;
  }

  // The runtime operation's call as it is (its result not yet a language value).
  std::string RuntimeCall(const Expr& e) {
    const Binding& b = *e.binding;
    headers_.insert(b.header);
    std::string text = "::" + std::string(b.name) + "(";
    for (size_t k = 0; k < e.args.size(); ++k) text += (k ? ", " : "") + Argument(*e.args[k], b.params[k].kind);
    return text + ")";
  }

  // An argument as the parameter's kind takes it.
  std::string Argument(const Expr& a, std::string_view kind) {
    if (kind == "numarr&" || kind == "strarr&" || kind == "intarr&") return a.variable->cpp;
    if (kind == "str" || kind == "str&" || kind == "num&") return Code(a);
    if (kind == "cstr") return AsCText(a);
    if (kind == "i32&") return "VlmOutInt(" + Code(a) + ")";
    if (kind == "f32&") return "VlmOutFloat(" + Code(a) + ")";
    if (kind == "num") return AsNumber(a);
    if (kind == "f32") return "static_cast<float>(" + AsNumber(a) + ")";
    if (kind == "i32") return AsInt(a);
    if (kind == "u32") return "static_cast<uint32_t>(" + AsInt(a) + ")";
    if (kind == "i64") return "static_cast<int64_t>(" + AsInt(a) + ")";
    if (kind == "bool") return "(" + AsInt(a) + " != 0)";
    return Code(a);
  }

  // ------------------------------------------------------------ statements

  void EmitBlock(std::string& out, const Block& block, int depth) {
    for (const StmtPtr& s : block) Statement(out, *s, depth);
  }

  void Statement(std::string& out, const Stmt& s, int depth) {
    const std::string in = Indent(depth);
    if (options_.lineHooks && s.number > 0)
      out += in + "VLM_LINE(" + std::to_string(module_) + ", " + std::to_string(s.number) + ");\n";
    switch (s.kind) {
      case Stmt::Local: return;
      case Stmt::Assign: out += in + Assignment(*s.target, *s.value) + ";\n"; return;
      case Stmt::CallStatement: out += in + CallStatement(*s.exprs[0]) + ";\n"; return;
      case Stmt::If: return If(out, s, depth);
      case Stmt::For: return For(out, s, depth);
      case Stmt::While:
        out += in + "while (" + AsCondition(*s.value) + ") {\n";
        return LoopBody(out, s, depth, "}");
      case Stmt::RepeatForever:
        out += in + "for (;;) {\n";
        return LoopBody(out, s, depth, "}");
      case Stmt::RepeatUntil:
        out += in + "do {\n";
        return LoopBody(out, s, depth, "} while (!" + AsCondition(*s.value) + ");");
      case Stmt::Exit: out += in + "goto vlm_exit_" + std::to_string(LoopNumber(*s.loop)) + ";\n"; return;
      case Stmt::Select: return Select(out, s, depth);
      case Stmt::Return: out += in + Return(s) + ";\n"; return;
      case Stmt::End: out += in + "::EndWithCode0();\n"; return;
      case Stmt::Dim:
        for (const ExprPtr& e : s.exprs) out += in + Dim(*e) + ";\n";
        return;
      case Stmt::Print: out += in + "VlmPrint(" + PrintText(s) + ", " + (s.newline ? "true" : "false") + ");\n"; return;
    }
  }

  std::string Assignment(const Expr& target, const Expr& value) {
    if (target.kind == Expr::Element && target.variable->isInt) return ElementText(target) + " = " + AsInt(value);
    return Code(target) + " = " + AsNumberOrText(value);
  }

  std::string CallStatement(const Expr& call) {
    if (call.type == Type::Void) return Code(call);
    return "static_cast<void>(" + (call.binding ? RuntimeCall(call) : Code(call)) + ")";
  }

  void If(std::string& out, const Stmt& s, int depth) {
    const std::string in = Indent(depth);
    for (size_t k = 0; k < s.blocks.size(); ++k) {
      if (k < s.exprs.size())
        out += (k == 0 ? in + "if (" : std::string(" else if (")) + AsCondition(*s.exprs[k]) + ") {\n";
      else
        out += " else {\n";
      EmitBlock(out, s.blocks[k], depth + 1);
      out += in + "}";
    }
    out += "\n";
  }

  // The limit (and a step that is not a literal) is evaluated once.
  void For(std::string& out, const Stmt& s, int depth) {
    const std::string in = Indent(depth);
    const std::string id = std::to_string(loopCount_ + 1);
    const std::string c = s.target->variable->cpp;
    const std::string limit = "vlm_limit_" + id;
    const std::string init = "for (Number " + limit + " = ((" + c + ") = " + AsNumber(*s.value) + ", " +
                             AsNumber(*s.limit) + ")";
    if (!s.step) {
      out += in + init + "; " + c + " <= " + limit + "; " + c + " += 1) {\n";
    } else if (s.step->literal) {
      out += in + init + "; " + c + (s.step->value < 0 ? " >= " : " <= ") + limit + "; " + c + " += " +
             Code(*s.step) + ") {\n";
    } else {
      const std::string step = "vlm_step_" + id;
      out += in + init + ", " + step + " = " + AsNumber(*s.step) + "; " + step + " >= 0 ? " + c + " <= " + limit +
             " : " + c + " >= " + limit + "; " + c + " += " + step + ") {\n";
    }
    LoopBody(out, s, depth, "}");
  }

  // The body and the loop's closing text; the label after it when an EXIT leaves it.
  void LoopBody(std::string& out, const Stmt& s, int depth, const std::string& close) {
    const int id = ++loopCount_;
    loops_.emplace_back(&s, id);
    EmitBlock(out, s.blocks[0], depth + 1);
    loops_.pop_back();
    out += Indent(depth) + close + "\n";
    if (s.exited) out += Indent(depth) + "vlm_exit_" + std::to_string(id) + ":;\n";
  }

  int LoopNumber(const Stmt& loop) const {
    for (auto it = loops_.rbegin(); it != loops_.rend(); ++it)
      if (it->first == &loop) return it->second;
    return 0;
  }

  void Select(std::string& out, const Stmt& s, int depth) {
    const std::string in = Indent(depth);
    const bool text = s.value->type == Type::String;
    const std::string name = "vlm_case_" + std::to_string(++loopCount_);
    out += in + "{\n" + in + "  const " + (text ? "BasicString " : "Number ") + name + " = " + AsNumberOrText(*s.value) +
           ";\n";
    for (size_t k = 0; k < s.blocks.size(); ++k) {
      if (s.cases[k].empty()) {
        out += (k == 0 ? in + "  {\n" : std::string(" else {\n"));
      } else {
        std::string cond;
        for (const CaseItem& item : s.cases[k]) {
          const std::string one = item.high ? "(" + name + " >= " + AsNumberOrText(*item.low) + " && " + name + " <= " +
                                                  AsNumberOrText(*item.high) + ")"
                                            : "(" + name + " == " + AsNumberOrText(*item.low) + ")";
          cond += (cond.empty() ? "" : " || ") + one;
        }
        out += (k == 0 ? in + "  if (" : std::string(" else if (")) + cond + ") {\n";
      }
      EmitBlock(out, s.blocks[k], depth + 2);
      out += in + "  }";
    }
    if (!s.blocks.empty()) out += "\n";
    out += in + "}\n";
  }

  std::string Return(const Stmt& s) {
    if (!function_ || !function_->returnsValue) return "return";
    const bool text = IsStringName(function_->name);
    if (!s.value) return text ? "return BasicString()" : "return 0";
    return "return " + (text ? Code(*s.value) : AsNumber(*s.value));
  }

  std::string Dim(const Expr& e) {
    std::string text = "DimArray(" + e.variable->cpp;
    for (const ExprPtr& size : e.args) text += ", " + AsInt(*size);
    return text + ")";
  }

  std::string PrintText(const Stmt& s) {
    std::string text;
    for (const ExprPtr& e : s.exprs) {
      const std::string part = e->type == Type::String ? Code(*e) : "::NumberToText(" + AsNumber(*e) + ")";
      text = text.empty() ? part : "(" + text + " + " + part + ")";
    }
    return text.empty() ? "BasicString()" : text;
  }

  // ------------------------------------------------------------ routines

  std::string Routine(const Function& f) {
    function_ = &f;
    module_ = f.module;
    std::string head = "\n" + Signature(f) + " {\n  VLM_ROUTINE();\n";
    for (const Declaration& p : f.params) head += Registration("VLM_PARAM", *p.variable);
    for (const Variable* v : f.locals) head += LocalDeclaration(*v);
    std::string body;
    EmitBlock(body, f.body, 1);
    if (f.returnsValue) body += IsStringName(f.name) ? "  return BasicString();\n" : "  return 0;\n";
    function_ = nullptr;
    return head + body + "}\n";
  }

  std::string MainProgram() {
    module_ = 0;
    std::string head = "\n// The main program.\nvoid mainProgram() {\n  VLM_ROUTINE();\n";
    for (const Variable* v : tree_.modules[0].locals) head += LocalDeclaration(*v);
    std::string body;
    EmitBlock(body, tree_.modules[0].main, 1);
    return head + body + "}\n";
  }

  std::string Settings() {
    std::string out = "void settings() {\n";
    if (!tree_.settings.empty()) out += "  ProjectSettings& s = ::Settings();\n";
    for (const Setting& setting : tree_.settings) {
      const Expr& value = *setting.value;
      out += "  s." + setting.key + " = " + (value.type == Type::String ? CString(value.text) : AsInt(value)) + ";\n";
    }
    for (const Declare& decl : tree_.declares)
      out += "  ::RegisterDeclare(" + CString(decl.library) + ", " + CString(decl.entry) +
             ", reinterpret_cast<void*>(&declared_" + CppName(decl.name) + "));\n";
    if (!tree_.declares.empty()) headers_.insert("external/external.h");
    return out + "}\n";
  }

  // ------------------------------------------------------------ files

  std::string Header() {
    const std::string& p = options_.program;
    std::string out = "// " + p + ", translated by vlmc: the program's globals and routines. Do not edit.\n";
    out += "#pragma once\n\n#include <cmath>\n#include <cstdint>\n#include <cstdio>\n\n#include \"core/core.h\"\n";
    out += "#include \"core/vlmc_support.h\"\n#include \"host/host.h\"\n";
    for (const std::string& h : headers_)
      if (h.rfind("core/", 0) != 0 && h != "host/host.h") out += "#include \"" + h + "\"\n";
    out += "\nnamespace " + p + " {\n\n";
    if (!tree_.globals.empty()) out += "// Globals, in registration order.\n";
    for (const Declaration& g : tree_.globals) out += "extern " + CppType(*g.variable) + " " + g.variable->cpp + ";\n";
    for (const Declare& decl : tree_.declares) out += "extern " + DeclaredType(decl) + ";\n";
    out += "\nvoid settings();\nvoid globalSetup();\nvoid globalTeardown();\nvoid mainProgram();\n";
    out += "extern const RoutineEntry kCallByName[];\n\n";
    for (const auto& f : tree_.functions) out += Signature(*f) + ";\n";
    out += "\n}  // namespace " + p + "\n";
    return out;
  }

  std::string ProgramFile(const std::string& header, const std::string& settings) {
    const std::string& p = options_.program;
    std::string out = "// " + p + ", translated by vlmc: settings, globals and their registration, the call-by-name\n"
                      "// table" + std::string(options_.emitMain ? " and the process entry" : "") + ". Do not edit.\n";
    out += "#include \"" + header + "\"\n\nnamespace " + p + " {\n\n";
    for (const Declaration& g : tree_.globals) {
      const Variable& v = *g.variable;
      out += CppType(v) + " " + v.cpp + (v.isArray || v.isString ? ";\n" : " = 0;\n");
    }
    for (const Declare& decl : tree_.declares) out += DeclaredType(decl) + " = nullptr;\n";
    out += "\n" + settings + "\nvoid globalSetup() {\n  VLM_ROUTINE();\n";
    for (const Declaration& g : tree_.globals)
      out += "  RegisterGlobal(" + CString(g.variable->name) + ", " + g.variable->cpp + ");\n";
    out += "}\n\nvoid globalTeardown() {\n  VLM_ROUTINE();\n";
    for (auto g = tree_.globals.rbegin(); g != tree_.globals.rend(); ++g)
      out += "  UnregisterGlobal(" + g->variable->cpp + ");\n";
    for (auto g = tree_.globals.rbegin(); g != tree_.globals.rend(); ++g) {
      const Variable& v = *g->variable;
      if (v.isArray || v.isString) out += "  " + v.cpp + " = " + CppType(v) + "();\n";
    }
    out += "}\n\n// The program's parameterless routines, callable by name.\nconst RoutineEntry kCallByName[] = {\n";
    for (const auto& f : tree_.functions)
      if (f->params.empty() && !f->returnsValue) out += "    {&" + CppName(f->name) + ", " + CString(f->name) + "},\n";
    out += "    {nullptr, nullptr},\n};\n\n}  // namespace " + p + "\n";
    if (options_.emitMain)
      out += "\nint main(int argc, char** argv) {\n  const Application app{&" + p + "::settings, &" + p +
             "::globalSetup, &" + p + "::globalTeardown, &" + p + "::mainProgram, " + p +
             "::kCallByName};\n  return RunApplication(argc, argv, app);\n}\n";
    return out;
  }

  std::string ModuleFile(size_t m, const std::string& header, std::string& body) {
    const std::string& p = options_.program;
    std::string text = "// Module " + std::to_string(m) + " of " + p + ", translated by vlmc from " +
                       ModuleStem(tree_.modules[m].name) + ".bas: do not edit.\n#include \"" + header +
                       "\"\n\nnamespace " + p + " {\n";
    text.reserve(text.size() + body.size() + 64);
    text += body;
    std::string().swap(body);
    text += "\n}  // namespace " + p + "\n";
    return text;
  }

  const ProgramTree& tree_;
  const Options& options_;
  std::set<std::string> headers_;  // beyond the core and host headers every program includes
  int module_ = 0;
  int loopCount_ = 0;  // numbers the loops' and SELECTs' own names in the order they are written
  const Function* function_ = nullptr;
  std::vector<std::pair<const Stmt*, int>> loops_;  // the loops being written and their numbers
};

}  // namespace

std::vector<OutputFile> Emit(const ProgramTree& tree, const Options& options) { return Emitter(tree, options).Run(); }

}  // namespace vlmc
