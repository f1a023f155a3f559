// vlmc's checker, its statements: what each statement's parts must be, the
// loops EXIT, CONTINUE and REMOVE refer to, and the variables statements
// declare. A statement that failed (or did not parse) still declares what
// it names, and the blocks inside it are always checked.
#include <algorithm>

#include "check_internal.h"
#include "names.h"

namespace vlmc {
namespace {

const char* LoopKind(const Stmt& s) {
  switch (s.kind) {
    case Stmt::For:
    case Stmt::ForEach: return "FOR";
    case Stmt::While: return "WHILE";
    case Stmt::Do: return "DO";
    default: return "REPEAT";
  }
}

std::string KindOf(const Variable& array) {
  if (array.record) return "a record of TYPE " + array.record->name;
  return array.isString ? "text" : "a number";
}

}  // namespace

void Checker::CheckBlock(Block& block) {
  blocks_.push_back(&block);
  for (const StmtPtr& s : block) {
    if (Done()) break;
    CheckStatement(*s);
  }
  blocks_.pop_back();
}

void Checker::CheckStatement(Stmt& s) {
  switch (s.kind) {
    case Stmt::Local:
    case Stmt::End: return;
    case Stmt::Label: return CollectLabel(s);
    case Stmt::Assign: return CheckAssign(s);
    case Stmt::CallStatement: Expression(*s.exprs[0]); return;
    case Stmt::If: return CheckIf(s);
    case Stmt::For: return CheckFor(s);
    case Stmt::ForEach: return CheckForEach(s);
    case Stmt::While:
    case Stmt::RepeatForever:
    case Stmt::RepeatUntil:
    case Stmt::Do: return CheckLoop(s);
    case Stmt::Exit:
    case Stmt::Continue: return ResolveLoopControl(s);
    case Stmt::Select: return CheckSelect(s);
    case Stmt::Return: return CheckReturn(s);
    case Stmt::Dim: return CheckDim(s);
    case Stmt::Print: return CheckPrint(s);
    case Stmt::Goto: gotos_.push_back(Place{&s, function_, blocks_}); return;
    case Stmt::Restore: restores_.push_back(&s); return;
    case Stmt::Read:
    case Stmt::Input: return CheckTargets(s);
    case Stmt::Append: return CheckAppend(s);
    case Stmt::Remove: return CheckRemove(s);
  }
}

// WHILE and DO test before the body (and declare nothing the test reads);
// UNTIL and LOOP WHILE after it.
void Checker::CheckLoop(Stmt& s) {
  const bool first = s.kind == Stmt::While || (s.kind == Stmt::Do && s.atTop);
  if (first && s.value) RequireNumber(Expression(*s.value), *s.value, "the condition");
  CheckLoopBody(s);
  if (!first && s.value) RequireNumber(Expression(*s.value), *s.value, "the condition");
}

void Checker::CheckAssign(Stmt& s) {
  Expr& target = *s.target;
  bool valueOk = s.value && Expression(*s.value);
  if (valueOk && s.value->type == Type::Void) {
    d_.Error(s.value->at, "the value assigned returns nothing");
    valueOk = false;
  }
  // The main program's target is declared whatever became of the value.
  bool declared = false;
  if (target.kind == Expr::Variable && !Lookup(target.text) && !function_) {
    const RecordType* record = valueOk && s.value->type == Type::Record ? s.value->record : nullptr;
    if (!Target(target, false, record)) return;
    declared = true;
  }
  if (!Writable(target, "assigned") || !valueOk) return;
  Assignable(target, *s.value, declared);
}

// The target and the value agree: numbers, texts, or records of one TYPE.
bool Checker::Assignable(Expr& target, Expr& value, bool declared) {
  (void)declared;
  if (target.type == Type::Record || value.type == Type::Record) {
    if (target.type == value.type && target.record == value.record) return true;
    if ((target.variable && target.variable->failed) || (value.variable && value.variable->failed)) return false;
    d_.Error(value.at, "cannot assign " + std::string(value.type == Type::Record ? "a record of TYPE " + value.record->name
                                                                                 : TypeName(value.type)) +
                           " to " + target.text + (target.type == Type::Record ? ", a record of TYPE " + target.record->name : ""));
    return false;
  }
  if ((target.type == Type::String) == (value.type == Type::String)) return true;
  d_.Error(value.at, std::string("cannot assign ") + TypeName(value.type) + " to " + target.text +
                         (target.type == Type::String ? ", a text variable (STR$ converts)"
                                                      : ", a number variable (VAL converts)"));
  return false;
}

// A variable, element or field a statement writes: not a CONST, not an array.
bool Checker::Writable(Expr& target, const char* what) {
  if (target.kind == Expr::Variable) {
    const Variable* v = Lookup(target.text);
    if (v && v->isConst) {
      d_.Error(target.at, target.text + " is a CONST; it cannot be " + what);
      return false;
    }
  }
  return Expression(target);
}

// Every condition and block is checked, whatever the others gave.
void Checker::CheckIf(Stmt& s) {
  for (size_t k = 0; k < s.blocks.size(); ++k) {
    if (k < s.exprs.size() && s.exprs[k]) RequireNumber(Expression(*s.exprs[k]), *s.exprs[k], "the condition");
    CheckBlock(s.blocks[k]);
  }
}

void Checker::CheckFor(Stmt& s) {
  if (s.target && !s.target->text.empty()) {
    const Variable* v = Lookup(s.target->text) ? Lookup(s.target->text) : Target(*s.target, false);
    if (v && (v->isArray || v->isString || v->record || v->isConst || v->each))
      d_.Error(s.target->at, "the counter of a FOR loop must be a number variable");
    else if (v)
      s.target->variable = v;
  }
  if (s.value) RequireNumber(Expression(*s.value), *s.value, "the start of the loop");
  if (s.limit) RequireNumber(Expression(*s.limit), *s.limit, "the loop's limit");
  if (s.step) RequireNumber(Expression(*s.step), *s.step, "the loop's step");
  CheckLoopBody(s);
}

// The element is a new name, seen only in the loop's body.
void Checker::CheckForEach(Stmt& s) {
  const Variable* array = nullptr;
  if (s.value && WholeArray(*s.value, "the array of FOR EACH")) array = s.value->variable;
  if (array && !array->sizes.empty() && array->sizes.size() != 1)
    d_.Error(s.value->at, "FOR EACH takes a one-dimensional array; " + array->basic + " has " +
                              std::to_string(array->sizes.size()) + " dimensions");
  else if (array && s.value->kind == Expr::Variable)
    arrayUses_.push_back({array, s.value->at, "FOR EACH"});
  Expr& element = *s.target;
  const Variable* hidden = nullptr;
  if (!element.text.empty() && locals_) {
    if (Lookup(element.text)) {
      d_.Error(element.at, "FOR EACH names a new variable for the element; " + element.text + " is already one");
      auto it = locals_->find(element.text);
      if (it != locals_->end()) hidden = it->second;
    } else {
      Spell(element.text, element.at);
    }
    if (array && IsStringName(element.text) != array->isString && !array->record)
      d_.Error(element.at, "the elements of " + array->basic + " are " + KindOf(*array) + ", so their name " +
                               (array->isString ? "ends in $" : "has no $"));
    Variable* v = NewVariable(element.text, false, element.at, array ? array->record : nullptr);
    v->failed = !array || array->failed;
    v->isString = array && array->isString;
    v->isInt = array && array->isInt;
    v->each = &s;
    element.variable = v;
    (*locals_)[element.text] = v;
  }
  CheckLoopBody(s);
  if (!element.text.empty() && locals_) {
    if (hidden)
      (*locals_)[element.text] = hidden;
    else
      locals_->erase(element.text);
  }
}

void Checker::CheckLoopBody(Stmt& s) {
  if (s.blocks.empty()) return;
  loops_.push_back(&s);
  CheckBlock(s.blocks[0]);
  loops_.pop_back();
}

// The innermost loop (of the kind named) that EXIT leaves or CONTINUE goes
// on with (the parser reported one outside such a loop).
void Checker::ResolveLoopControl(Stmt& s) {
  for (auto it = loops_.rbegin(); it != loops_.rend(); ++it) {
    if (!s.exitKind.empty() && s.exitKind != LoopKind(**it)) continue;
    if (s.kind == Stmt::Exit)
      (*it)->exited = true;
    else
      (*it)->continued = true;
    s.loop = *it;
    return;
  }
}

void Checker::CheckSelect(Stmt& s) {
  bool ok = s.value && Expression(*s.value);
  if (ok && !RequireValue(true, *s.value, "the value of SELECT CASE")) ok = false;
  const bool text = ok && s.value->type == Type::String;
  for (size_t k = 0; k < s.blocks.size(); ++k) {
    if (ok && k < s.cases.size())
      for (const CaseItem& item : s.cases[k])
        if (!CaseValue(*item.low, text) || (item.high && !CaseValue(*item.high, text))) break;
    CheckBlock(s.blocks[k]);
  }
}

bool Checker::CaseValue(Expr& e, bool text) {
  if (!Expression(e)) return false;
  if ((e.type == Type::String) == text && e.type != Type::Record && e.type != Type::Void) return true;
  d_.Error(e.at, std::string("CASE value must be ") + (text ? "text" : "a number") + " like the SELECT value");
  return false;
}

void Checker::CheckReturn(Stmt& s) {
  if (!function_ || !function_->returnsValue || !s.value) return;
  const std::string what = "the result of " + function_->name;
  const bool ok = Expression(*s.value);
  if (IsStringName(function_->name))
    RequireString(ok, *s.value, what);
  else
    RequireNumber(ok, *s.value, what);
}

void Checker::CheckDim(Stmt& s) {
  for (size_t k = 0; k < s.exprs.size(); ++k) CheckDimItem(s, *s.exprs[k], s.declarations[k]);
}

// DIM a[sizes] [AS T] (re)dimensions an array; DIM p AS T empties a record.
void Checker::CheckDimItem(Stmt& s, Expr& e, Declaration& decl) {
  const RecordType* record = decl.typeName.empty() ? nullptr : FindType(decl.typeName, decl.typeAt);
  for (const ExprPtr& size : e.args) RequireNumber(Expression(*size), *size, "an array size");
  const Variable* v = Lookup(e.text);
  if (!decl.typeName.empty() && !record) {
    // The unknown TYPE is reported; the name is still declared, and its uses report nothing more.
    if (!v && !function_ && (v = Target(e, decl.isArray))) const_cast<Variable*>(v)->failed = true;
    return;
  }
  if (!v && !(v = Target(e, decl.isArray, record))) return;
  if (v->isConst || v->each) {
    d_.Error(e.at, e.text + " is " + (v->isConst ? "a CONST" : "the element of a FOR EACH loop") +
                       "; DIM takes an array or a record");
    return;
  }
  if (record && v->record != record) {
    d_.Error(decl.typeAt, e.text + " holds " + (v->record ? "records of TYPE " + v->record->name : "no records") +
                              ", not TYPE " + record->name);
    return;
  }
  if (decl.isArray) {
    if (!v->isArray) {
      d_.Error(e.at, e.text + " is not an array (declare it with " + e.text + "[])");
      return;
    }
    if (e.args.size() > 4) {
      d_.Error(e.at, "arrays have at most four dimensions; " + e.text + " has " + std::to_string(e.args.size()));
      return;
    }
    const_cast<Variable*>(v)->dims.push_back(static_cast<int>(e.args.size()));
  } else if (v->isArray || !v->record) {
    d_.Error(e.at, "DIM " + e.text + " AS a TYPE takes a record variable; " + e.text + " is not one");
    return;
  } else if (s.preserve) {
    d_.Error(e.at, "DIM PRESERVE keeps the elements of arrays; " + e.text + " is a record");
    return;
  }
  e.variable = v;
}

void Checker::CheckPrint(Stmt& s) {
  for (const ExprPtr& e : s.exprs)
    if (e) RequireValue(Expression(*e), *e, "an item of PRINT");
}

void Checker::CheckRestore(Stmt& s) {
  if (s.exitKind.empty()) return;
  auto it = labels_.find(s.exitKind);
  if (it == labels_.end()) {
    std::vector<std::string> names;
    for (const auto& [label, place] : labels_) names.push_back(label);
    const std::string near = NearestName(s.exitKind, names);
    d_.Error(s.at, "unknown label '" + s.exitKind + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?"));
    return;
  }
  s.label = it->second.stmt;
  if (std::find(tree_.restorePoints.begin(), tree_.restorePoints.end(), s.label) == tree_.restorePoints.end())
    tree_.restorePoints.push_back(s.label);
}

// READ and INPUT write numbers and texts (an undeclared name in the main
// program becomes a variable).
void Checker::CheckTargets(Stmt& s) {
  const char* name = s.kind == Stmt::Read ? "READ" : "INPUT";
  if (s.value) RequireString(Expression(*s.value), *s.value, "the prompt of INPUT");
  for (const ExprPtr& e : s.exprs) {
    if (e->kind == Expr::Variable && !Lookup(e->text) && !function_ && !Target(*e, false)) continue;
    if (!Writable(*e, s.kind == Stmt::Read ? "read" : "input")) continue;
    if (e->type == Type::Record) d_.Error(e->at, std::string(name) + " reads numbers and texts, not records");
  }
}

void Checker::CheckAppend(Stmt& s) {
  Expr& target = *s.target;
  const bool valueOk = s.value && Expression(*s.value);
  // APPEND to a name the main program has not used makes it an array of the value's kind.
  if (target.kind == Expr::Variable && !Lookup(target.text) && !function_ && locals_) {
    const RecordType* record = valueOk && s.value->type == Type::Record ? s.value->record : nullptr;
    if (!Target(target, true, record)) return;
  }
  if (!WholeArray(target, "the array of APPEND")) return;
  if (target.kind == Expr::Field) {
    d_.Error(target.at, "a field array has a fixed size; APPEND takes an array variable");
    return;
  }
  arrayUses_.push_back({target.variable, target.at, "APPEND"});
  if (valueOk) ElementFits(*s.value, *target.variable, "the value APPENDed to " + target.text);
}

void Checker::CheckRemove(Stmt& s) {
  Expr& target = *s.target;
  if (!s.value) {
    // REMOVE element: the current element of its FOR EACH loop.
    const Variable* v = target.kind == Expr::Variable ? Lookup(target.text) : nullptr;
    const bool inside = v && v->each && std::find(loops_.begin(), loops_.end(), v->each) != loops_.end();
    if (!inside) {
      d_.Error(target.at, "REMOVE takes an array and an index (REMOVE a, i), or the element of the FOR EACH loop it is in");
      return;
    }
    if (v->each->value && v->each->value->kind == Expr::Field) {
      d_.Error(target.at, "a field array has a fixed size; REMOVE takes elements of array variables");
      return;
    }
    s.loop = v->each;
    const_cast<Stmt*>(v->each)->continued = true;
    return;
  }
  const bool arrayOk = WholeArray(target, "the array of REMOVE");
  RequireNumber(Expression(*s.value), *s.value, "the index of REMOVE");
  if (!arrayOk) return;
  if (target.kind == Expr::Field) {
    d_.Error(target.at, "a field array has a fixed size; REMOVE takes an array variable");
    return;
  }
  arrayUses_.push_back({target.variable, target.at, "REMOVE"});
}

// A value that can be an element of the array.
bool Checker::ElementFits(const Expr& value, const Variable& array, const std::string& what) {
  const bool fits = array.record ? value.type == Type::Record && value.record == array.record
                    : array.isString ? value.type == Type::String
                                     : value.type == Type::Number || value.type == Type::Bool;
  const bool reported = array.failed || (value.variable && value.variable->failed);
  if (!fits && !reported) d_.Error(value.at, what + " must be " + KindOf(array) + ", not " + TypeName(value.type));
  return fits;
}

}  // namespace vlmc
