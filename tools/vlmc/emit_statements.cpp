// vlmc's emitter, its statements: the line hook or line note before each,
// assignments (a text's append to itself in place), blocks and loops with
// the labels EXIT, CONTINUE and REMOVE jump to, and the statements that
// become runtime calls (DIM, PRINT, READ, INPUT, APPEND, REMOVE...).
#include <string_view>

#include "emit_internal.h"
#include "names.h"

namespace vlmc {
namespace {

// Whether the expression calls one of the program's routines (which could
// change the variable a text is appended to).
bool CallsRoutine(const Expr& e) {
  if (e.function) return true;
  if (e.object && CallsRoutine(*e.object)) return true;
  for (const ExprPtr& a : e.args)
    if (CallsRoutine(*a)) return true;
  return false;
}

// Whether the expression reads the variable (or an element or field of it).
bool Mentions(const Expr& e, const Variable* root) {
  if ((e.kind == Expr::Variable || e.kind == Expr::Element) && e.variable == root) return true;
  if (e.object && Mentions(*e.object, root)) return true;
  for (const ExprPtr& a : e.args)
    if (Mentions(*a, root)) return true;
  return false;
}

// The variable a path starts from.
const Variable* Root(const Expr& e) { return e.object ? Root(*e.object) : e.variable; }

// The same storage, named so that naming it twice has no other effect.
bool SameStorage(const Expr& a, const Expr& b) {
  if (a.kind != b.kind || a.variable != b.variable || a.args.size() != b.args.size()) return false;
  if (a.kind == Expr::Variable) return !a.variable->each;
  if (a.kind == Expr::Field) return SameStorage(*a.object, *b.object);
  if (a.kind != Expr::Element || (a.object != nullptr) != (b.object != nullptr)) return false;
  if (a.object && !SameStorage(*a.object, *b.object)) return false;
  for (size_t k = 0; k < a.args.size(); ++k) {
    const Expr& x = *a.args[k];
    const Expr& y = *b.args[k];
    const bool literal = x.kind == Expr::Number && y.kind == Expr::Number && x.value == y.value;
    if (!literal && !(x.kind == Expr::Variable && SameStorage(x, y))) return false;
  }
  return true;
}

}  // namespace

void Emitter::EmitBlock(std::string& out, const Block& block, int depth) {
  for (const StmtPtr& s : block) Statement(out, *s, depth);
}

void Emitter::Statement(std::string& out, const Stmt& s, int depth) {
  const std::string in = Indent(depth);
  if (s.number > 0)
    out += in + (options_.lineHooks ? "VLM_LINE(" : "VLM_STATEMENT(") + std::to_string(module_) + ", " +
           std::to_string(s.number) + ");\n";
  if (SimpleStatement(out, s, in)) return;
  switch (s.kind) {
    case Stmt::If: return If(out, s, depth);
    case Stmt::For: return For(out, s, depth);
    case Stmt::ForEach: return ForEach(out, s, depth);
    case Stmt::Do: return Do(out, s, depth);
    case Stmt::While:
      out += in + "while (" + AsCondition(*s.value) + ") {\n";
      return LoopBody(out, s, depth, "}");
    case Stmt::RepeatForever:
      out += in + "for (;;) {\n";
      return LoopBody(out, s, depth, "}");
    case Stmt::RepeatUntil:
      out += in + "do {\n";
      return LoopBody(out, s, depth, "} while (!" + AsCondition(*s.value) + ");");
    case Stmt::Select: return Select(out, s, depth);
    default: return;
  }
}

// The statements without a block of their own; false for the others.
bool Emitter::SimpleStatement(std::string& out, const Stmt& s, const std::string& in) {
  switch (s.kind) {
    case Stmt::Local: return true;
    case Stmt::Assign: out += in + Assignment(*s.target, *s.value) + ";\n"; return true;
    case Stmt::CallStatement: out += in + CallStatement(*s.exprs[0]) + ";\n"; return true;
    case Stmt::Exit: out += in + "goto vlm_exit_" + std::to_string(LoopNumber(*s.loop)) + ";\n"; return true;
    case Stmt::Continue: out += in + "goto vlm_next_" + std::to_string(LoopNumber(*s.loop)) + ";\n"; return true;
    case Stmt::Return: out += in + Return(s) + ";\n"; return true;
    case Stmt::End: out += in + "::EndWithCode0();\n"; return true;
    case Stmt::Dim:
      for (size_t k = 0; k < s.exprs.size(); ++k) out += in + Dim(s, k) + ";\n";
      return true;
    case Stmt::Print: Print(out, s, in); return true;
    case Stmt::Label:
      if (s.jumpedTo) out += in + "vlm_label_" + s.exitKind + ":;\n";
      return true;
    case Stmt::Goto: out += in + "goto vlm_label_" + s.exitKind + ";\n"; return true;
    case Stmt::Read:
      usesData_ = true;
      for (const ExprPtr& e : s.exprs) out += in + "::ReadData(" + Path(*e) + ");\n";
      return true;
    case Stmt::Restore: out += in + Restore(s) + ";\n"; return true;
    case Stmt::Input: Input(out, s, in); return true;
    case Stmt::Append: out += in + Append(s) + ";\n"; return true;
    case Stmt::Remove: Remove(out, s, in); return true;
    default: return false;
  }
}

std::string Emitter::Assignment(const Expr& target, const Expr& value) {
  const std::string append = SelfAppend(target, value);
  if (!append.empty()) return append;
  if (target.isInt) return Path(target) + " = " + AsInt(value);
  return Store(target, AsNumber(value), Code(value));
}

// a$ = a$ + x + y appends to a$ in place: (a_Str += x) += y.
std::string Emitter::SelfAppend(const Expr& target, const Expr& value) {
  if (target.type != Type::String || value.kind != Expr::Binary || value.type != Type::String) return "";
  std::vector<const Expr*> tail;
  const Expr* left = &value;
  while (left->kind == Expr::Binary && left->type == Type::String) {
    tail.push_back(left->args[1].get());
    left = left->args[0].get();
  }
  if (!SameStorage(*left, target)) return "";
  // Each part is read after the appends before it: only the first may read the target.
  for (const Expr* part : tail)
    if (CallsRoutine(*part) || (part != tail.back() && Mentions(*part, Root(target)))) return "";
  std::string text = Path(target);
  for (auto it = tail.rbegin(); it != tail.rend(); ++it) {
    const Expr& part = **it;
    const bool plain = part.kind == Expr::String && part.text.find('\0') == std::string::npos;
    text = (it == tail.rbegin() ? text : "(" + text + ")") + " += " + (plain ? CString(part.text) : Code(part));
  }
  return text;
}

// The target set to a value: numbers (truncated for 32-bit integers), texts
// and records take the value as written.
std::string Emitter::Store(const Expr& target, const std::string& number, const std::string& text) {
  if (target.isInt) return Path(target) + " = ::Trunc(" + number + ")";
  return Path(target) + " = " + (target.type == Type::String || target.type == Type::Record ? text : number);
}

std::string Emitter::CallStatement(const Expr& call) {
  if (call.type == Type::Void) return Code(call);
  return "static_cast<void>(" + (call.binding ? RuntimeCall(call) : Code(call)) + ")";
}

void Emitter::If(std::string& out, const Stmt& s, int depth) {
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
void Emitter::For(std::string& out, const Stmt& s, int depth) {
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

// Over the live count, read again before every pass; the element is named
// through the index each time it is used, so the body may grow the array.
void Emitter::ForEach(std::string& out, const Stmt& s, int depth) {
  const std::string k = "vlm_k_" + std::to_string(loopCount_ + 1);
  out += Indent(depth) + "for (int32_t " + k + " = 0; " + k + " < " + ArrayCode(*s.value) + ".d1; ++" + k + ") {\n";
  LoopBody(out, s, depth, "}");
}

void Emitter::Do(std::string& out, const Stmt& s, int depth) {
  const std::string in = Indent(depth);
  const std::string test = s.value ? (s.until ? "!" + AsCondition(*s.value) : AsCondition(*s.value)) : "";
  if (!s.value) {
    out += in + "for (;;) {\n";
    return LoopBody(out, s, depth, "}");
  }
  if (s.atTop) {
    out += in + "while (" + test + ") {\n";
    return LoopBody(out, s, depth, "}");
  }
  out += in + "do {\n";
  LoopBody(out, s, depth, "} while (" + test + ");");
}

// The body and the loop's closing text; the label CONTINUE goes to at the
// end of the body, the one EXIT goes to after the loop.
void Emitter::LoopBody(std::string& out, const Stmt& s, int depth, const std::string& close) {
  const int id = ++loopCount_;
  loops_.emplace_back(&s, id);
  EmitBlock(out, s.blocks[0], depth + 1);
  loops_.pop_back();
  if (s.continued) out += Indent(depth + 1) + "vlm_next_" + std::to_string(id) + ":;\n";
  out += Indent(depth) + close + "\n";
  if (s.exited) out += Indent(depth) + "vlm_exit_" + std::to_string(id) + ":;\n";
}

int Emitter::LoopNumber(const Stmt& loop) const {
  for (auto it = loops_.rbegin(); it != loops_.rend(); ++it)
    if (it->first == &loop) return it->second;
  return 0;
}

void Emitter::Select(std::string& out, const Stmt& s, int depth) {
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

std::string Emitter::Return(const Stmt& s) {
  if (!function_ || !function_->returnsValue) return "return";
  const bool text = IsStringName(function_->name);
  if (!s.value) return text ? "return BasicString()" : "return 0";
  return "return " + (text ? Code(*s.value) : AsNumber(*s.value));
}

// DIM [PRESERVE] a[sizes] (re)dimensions; DIM p AS T empties the record.
std::string Emitter::Dim(const Stmt& s, size_t k) {
  const Expr& e = *s.exprs[k];
  if (!s.declarations[k].isArray) return e.variable->cpp + " = " + e.variable->record->cpp + "()";
  std::string text = std::string(s.preserve ? "::RedimPreserve(" : "::DimArray(") + e.variable->cpp;
  for (const ExprPtr& size : e.args) text += ", " + AsInt(*size);
  return text + ")";
}

// The items up to each ',' in one text, then the move to the next zone.
void Emitter::Print(std::string& out, const Stmt& s, const std::string& in) {
  std::string text;
  for (size_t k = 0; k < s.exprs.size(); ++k) {
    if (s.exprs[k]) {
      const Expr& e = *s.exprs[k];
      const std::string part = e.type == Type::String ? Code(e) : "::NumberToText(" + AsNumber(e) + ")";
      text = text.empty() ? part : "(" + text + " + " + part + ")";
    }
    if (s.separators[k] != ',') continue;
    if (!text.empty()) out += in + "::VlmPrint(" + text + ", false);\n";
    out += in + "::VlmPrintZone();\n";
    text.clear();
  }
  if (!text.empty() || s.newline)
    out += in + "::VlmPrint(" + (text.empty() ? "BasicString()" : text) + ", " + (s.newline ? "true" : "false") + ");\n";
}

void Emitter::Input(std::string& out, const Stmt& s, const std::string& in) {
  if (s.value) out += in + "::VlmPrint(" + Code(*s.value) + ", false);\n";
  for (const ExprPtr& e : s.exprs) {
    const std::string line = "::InputConsoleText()";
    out += in + Store(*e, "::ToDouble(" + line + ")", line) + ";\n";
  }
}

// REMOVE element of FOR EACH: the pass ends, and the next one is at the
// same index, where the following element has moved.
void Emitter::Remove(std::string& out, const Stmt& s, const std::string& in) {
  if (!s.value) {
    const std::string id = std::to_string(LoopNumber(*s.loop));
    out += in + "::ArrayRemove(" + ArrayCode(*s.loop->value) + ", vlm_k_" + id + "--);\n";
    out += in + "goto vlm_next_" + id + ";\n";
    return;
  }
  out += in + "::ArrayRemove(" + ArrayCode(*s.target) + ", " + AsInt(*s.value) + ");\n";
}

std::string Emitter::Append(const Stmt& s) {
  const Expr& v = *s.value;
  const Variable& array = *s.target->variable;
  const std::string value = array.isInt ? "::Trunc(" + AsNumber(v) + ")" : AsNumberOrText(v);
  return "::ArrayAppend(" + ArrayCode(*s.target) + ", " + value + ")";
}

// RESTORE [label]: table 0 starts at the first DATA value, table k at the
// label of restore point k - 1.
std::string Emitter::Restore(const Stmt& s) {
  usesData_ = true;
  size_t table = 0;
  for (size_t k = 0; k < tree_.restorePoints.size(); ++k)
    if (tree_.restorePoints[k] == s.label) table = k + 1;
  return "::RestoreData(&vlm_data_" + std::to_string(table) + ")";
}

}  // namespace vlmc
