// vlmc's checker, its scopes and expressions: the variable each name is
// (CONSTs become their values here), array elements and record fields,
// operators and the types they give.
#include "check_internal.h"
#include "names.h"

namespace vlmc {
namespace {

bool IsComparison(const std::string& op) {
  return op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
}

// How an expression is named in messages.
std::string Shown(const Expr& e) {
  if (e.kind == Expr::Field && e.object) return Shown(*e.object) + "." + e.text;
  if (e.kind == Expr::Element) return (e.object ? Shown(*e.object) : e.text) + "[...]";
  return e.text;
}

}  // namespace

// ------------------------------------------------------------------ scopes

const Variable* Checker::Lookup(const std::string& name) const {
  if (locals_) {
    auto it = locals_->find(name);
    if (it != locals_->end()) return it->second;
  }
  auto it = globals_.find(name);
  return it == globals_.end() ? nullptr : it->second;
}

void Checker::UnknownVariable(const Expr& e) {
  Position other;
  if (const std::string* spelling = OtherSpelling(e.text, &other)) {
    d_.Error(e.at, "unknown variable '" + e.text + "'; the name is written '" + *spelling + "'", other,
             "'" + *spelling + "' is written so here");
    return;
  }
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
Variable* Checker::NewVariable(const std::string& name, bool isArray, Position at, const RecordType* record) {
  if (IsIntName(name) && !isArray)
    d_.Error(at, name + " ends in %, which only an integer array's name does (declare it with " + name + "[])");
  if (record && (IsStringName(name) || IsIntName(name)))
    d_.Error(at, name + " holds records of TYPE " + record->name + ", so its name has no $ or %");
  Variable v;
  v.basic = name;
  v.name = RegisteredName(name);
  v.isArray = isArray;
  v.isString = IsStringName(name) && !record;
  v.isInt = isArray && IsIntName(name) && !record;
  v.record = record;
  v.at = at;
  tree_.variables.push_back(std::move(v));
  return &tree_.variables.back();
}

// A variable written to: in the main program an undeclared name becomes
// one of its locals. A name written in other letter case is reported and
// taken for the variable it names, so nothing else is reported about it.
const Variable* Checker::Target(Expr& e, bool isArray, const RecordType* record) {
  if (const Variable* v = Lookup(e.text)) return v;
  Position other;
  if (const std::string* spelling = OtherSpelling(e.text, &other)) {
    Spell(e.text, e.at);
    if (const Variable* v = Lookup(*spelling)) {
      e.text = *spelling;
      return v;
    }
  } else if (function_ || !locals_) {
    UnknownVariable(e);
    return nullptr;
  } else {
    Spell(e.text, e.at);
  }
  if (functions_.count(e.text)) {
    d_.Error(e.at, e.text + " is the name of a FUNCTION, not a variable");
    return nullptr;
  }
  if (function_ || !locals_) return nullptr;
  const Variable* v = NewVariable(e.text, isArray, e.at, record);
  (*locals_)[e.text] = v;
  tree_.modules[0].locals.push_back(v);
  return v;
}

// ------------------------------------------------------------------ types

// ok: whether e itself checked (no second message when it did not).
bool Checker::RequireNumber(bool ok, const Expr& e, const std::string& what) {
  if (!ok) return false;
  if (e.type != Type::Number && e.type != Type::Bool) {
    d_.Error(e.at, what + " must be a number, not " + TypeName(e.type) +
                       (e.type == Type::String ? " (VAL turns text into a number)" : ""));
    return false;
  }
  return true;
}

bool Checker::RequireString(bool ok, const Expr& e, const std::string& what) {
  if (!ok) return false;
  if (e.type != Type::String) {
    d_.Error(e.at, what + " must be text, not " + TypeName(e.type) +
                       (e.type == Type::Number || e.type == Type::Bool ? " (STR$ turns a number into text)" : ""));
    return false;
  }
  return true;
}

// A number or a text.
bool Checker::RequireValue(bool ok, const Expr& e, const std::string& what) {
  if (!ok) return false;
  if (e.type == Type::Void || e.type == Type::Record || e.type == Type::Array) {
    d_.Error(e.at, what + " must be a number or text, not " + TypeName(e.type) +
                       (e.type == Type::Void ? " (it returns nothing)" : ""));
    return false;
  }
  return true;
}

// ------------------------------------------------------------------ expressions

// allowArray: a whole array may stand here (an argument, FOR EACH, APPEND).
bool Checker::Expression(Expr& e, bool allowArray) {
  switch (e.kind) {
    case Expr::Number:
    case Expr::String:
      e.type = e.kind == Expr::String ? Type::String : Type::Number;
      e.literal = true;
      return true;
    case Expr::Variable: return Name(e, allowArray);
    case Expr::Element: return Element(e);
    case Expr::Field: return Field(e, allowArray);
    case Expr::Call: return Call(e);
    case Expr::Unary: return Unary(e);
    case Expr::Binary: return Binary(e);
  }
  return false;
}

bool Checker::Name(Expr& e, bool allowArray) {
  const Variable* v = Lookup(e.text);
  if (!v) {
    if (functions_.count(e.text) || bindings_.count(e.text) || FindBuiltin(e.text))
      d_.Error(e.at, e.text + " is an operation; call it as " + e.text + "()");
    else
      UnknownVariable(e);
    return false;
  }
  if (v->isConst) {
    // A CONST is its value.
    e.kind = v->isString ? Expr::String : Expr::Number;
    e.type = v->isString ? Type::String : Type::Number;
    e.text = v->isString ? v->text : "";
    e.value = v->value;
    e.literal = true;
    return true;
  }
  if (v->isArray && !allowArray) {
    d_.Error(e.at, e.text + " is an array; give an index, as in " + e.text + "[0]");
    return false;
  }
  e.variable = v;
  Describe(e, *v);
  return true;
}

// The type of what the variable (or field) holds; of its elements for an
// element expression (the caller passes the array's variable as scalar view).
void Checker::Describe(Expr& e, const Variable& v) {
  e.record = v.record;
  e.isInt = v.isInt;
  const Type held = v.record ? Type::Record : v.isString ? Type::String : Type::Number;
  if (v.isArray && e.kind != Expr::Element) {
    e.type = Type::Array;
    e.element = held;
    e.lvalue = false;
    return;
  }
  e.type = held;
  // An integer reads as a number; only assignment writes it.
  e.lvalue = !v.isInt;
}

bool Checker::Element(Expr& e) {
  const Variable* array = nullptr;
  if (!ArrayOf(e, array)) {
    for (const ExprPtr& index : e.args) Expression(*index);
    return false;
  }
  bool ok = true;
  const size_t n = e.args.size();
  if (!array->sizes.empty() && n != array->sizes.size()) {
    d_.Error(e.at, Shown(e) + " has " + std::to_string(array->sizes.size()) + " dimension" +
                       (array->sizes.size() == 1 ? "" : "s") + ", " + std::to_string(n) + (n == 1 ? " index" : " indices") +
                       " given");
    ok = false;
  } else if (n > 4) {
    d_.Error(e.at, "arrays have at most four dimensions; " + e.text + " has " + std::to_string(n) + " indices");
    ok = false;
  }
  for (const ExprPtr& index : e.args) ok = RequireNumber(Expression(*index), *index, "an array index") && ok;
  if (!ok) return false;
  e.variable = array;
  Describe(e, *array);
  return true;
}

// The array an element is of: a named array, or an array field.
bool Checker::ArrayOf(Expr& e, const Variable*& array) {
  if (e.object) {
    if (!Expression(*e.object, true)) return false;
    if (e.object->type != Type::Array) {
      d_.Error(e.at, Shown(*e.object) + " is not an array");
      return false;
    }
    array = e.object->variable;
    return true;
  }
  const Variable* v = Lookup(e.text);
  if (!v) {
    UnknownVariable(e);
    return false;
  }
  if (v->isConst || !v->isArray) {
    d_.Error(e.at, e.text + " is not an array (declare it with " + e.text + "[])");
    return false;
  }
  array = v;
  return true;
}

bool Checker::Field(Expr& e, bool allowArray) {
  Expr& object = *e.object;
  if (!Expression(object)) return false;
  if (object.type != Type::Record && object.variable && object.variable->failed) return false;  // reported
  if (object.type != Type::Record) {
    d_.Error(e.at, "'." + e.text + "' takes a field of a record; " + Shown(object) + " is " + TypeName(object.type));
    return false;
  }
  const Variable* field = FindField(e, *object.record);
  if (!field) return false;
  if (field->isArray && !allowArray) {
    d_.Error(e.at, Shown(e) + " is an array; give an index, as in " + Shown(e) + "[0]");
    return false;
  }
  e.variable = field;
  Describe(e, *field);
  return true;
}

const Variable* Checker::FindField(const Expr& e, const RecordType& type) {
  std::vector<std::string> names;
  for (const Variable& f : type.fields) {
    if (f.basic == e.text) return &f;
    if (Upper(f.basic) == Upper(e.text)) {
      d_.Error(e.at, "TYPE " + type.name + " has no field '" + e.text + "'; it is written '" + f.basic + "'", f.at,
               "'" + f.basic + "' is written so here");
      return nullptr;
    }
    names.push_back(f.basic);
  }
  const std::string near = NearestName(e.text, names);
  d_.Error(e.at, "TYPE " + type.name + " has no field '" + e.text + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?"));
  return nullptr;
}

bool Checker::Unary(Expr& e) {
  Expr& a = *e.args[0];
  if (!Expression(a)) return false;
  if (!RequireNumber(true, a, "the operand of " + e.text)) return false;
  if (e.text == "NOT") {
    e.type = Type::Bool;
    return true;
  }
  e.type = Type::Number;
  if (a.literal) {
    e.literal = true;
    e.value = e.text == "-" ? -a.value : a.value;
  }
  return true;
}

bool Checker::Binary(Expr& e) {
  Expr& a = *e.args[0];
  Expr& b = *e.args[1];
  const bool aOk = Expression(a);
  const bool bOk = Expression(b);
  if (!aOk || !bOk) return false;
  return BinaryTypes(e, a, b);
}

bool Checker::BinaryTypes(Expr& e, const Expr& a, const Expr& b) {
  const std::string& op = e.text;
  for (const Expr* side : {&a, &b}) {
    if (side->type != Type::Void && side->type != Type::Record && side->type != Type::Array) continue;
    d_.Error(e.at, "the operands of " + op + " must be values; " + std::string(side == &a ? "the left" : "the right") +
                       " one " + (side->type == Type::Void ? "returns nothing" : std::string("is ") + TypeName(side->type)));
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
    const bool logical = (op == "AND" || op == "OR" || op == "XOR") && a.type == Type::Bool && b.type == Type::Bool;
    e.type = logical ? Type::Bool : Type::Number;
  }
  return true;
}

// A whole array: an array variable or an array field, named without an index.
bool Checker::WholeArray(Expr& e, const std::string& what) {
  if (e.kind != Expr::Variable && e.kind != Expr::Field) {
    Expression(e);
    d_.Error(e.at, what + " must be a whole array (its name, no index)");
    return false;
  }
  if (!Expression(e, true)) return false;
  if (e.type != Type::Array) {
    d_.Error(e.at, what + " must be a whole array; " + Shown(e) + " is " + TypeName(e.type));
    return false;
  }
  return true;
}

}  // namespace vlmc
