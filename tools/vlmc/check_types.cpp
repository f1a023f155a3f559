// vlmc's checker, its TYPEs, CONSTs and DATA: the fields of each record
// (no TYPE may hold itself), the constants folded to their values at
// translation time, and the DATA values, which must be constants.
#include <cmath>

#include "check_internal.h"
#include "names.h"

namespace vlmc {
namespace {

// A number as the translated code's Trunc makes it a 32-bit integer.
int32_t Trunc32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// The runtime's IntMod.
int32_t IntMod(int32_t a, int32_t b) { return b == 0 || b == -1 ? 0 : a % b; }

constexpr int32_t kMaxFieldElements = 1 << 20;

}  // namespace

// ------------------------------------------------------------------ TYPEs

void Checker::CollectTypes() {
  for (const auto& t : tree_.types) {
    auto it = types_.find(t->name);
    if (it != types_.end()) {
      d_.Error(t->at, "TYPE " + t->name + " is defined twice", it->second->at, "the first TYPE " + t->name + " is here");
      continue;
    }
    Spell(t->name, t->at, true);
    types_[t->name] = t.get();
  }
  for (const auto& [name, t] : types_) ResolveType(*t);
}

// The fields of a TYPE, after the TYPEs it holds (which come first in typeOrder).
void Checker::ResolveType(RecordType& t) {
  if (t.state != 0) return;
  t.state = 1;
  for (FieldDeclaration& decl : t.declarations) ResolveField(t, decl);
  t.state = 2;
  tree_.typeOrder.push_back(&t);
}

void Checker::ResolveField(RecordType& t, FieldDeclaration& decl) {
  for (const Variable& other : t.fields) {
    if (Upper(other.basic) != Upper(decl.name)) continue;
    if (other.basic == decl.name)
      d_.Error(decl.at, "field " + decl.name + " appears twice in TYPE " + t.name);
    else
      d_.Error(decl.at, "fields '" + decl.name + "' and '" + other.basic + "' differ only in letter case", other.at,
               "'" + other.basic + "' is written so here");
    return;
  }
  Variable field;
  field.basic = decl.name;
  field.name = RegisteredName(decl.name);
  field.isArray = decl.isArray;
  field.isString = IsStringName(decl.name);
  field.isInt = IsIntName(decl.name);
  field.at = decl.at;
  if (!decl.typeName.empty()) {
    if (field.isString || field.isInt) d_.Error(decl.at, "a field AS a TYPE has a plain name (no $ or %)");
    RecordType* inner = const_cast<RecordType*>(FindType(decl.typeName, decl.typeAt));
    if (inner && inner->state == 1) {
      d_.Error(decl.typeAt, "TYPE " + t.name + " cannot hold itself (field " + decl.name + " is a " + inner->name + ")");
      inner = nullptr;
    }
    if (inner) ResolveType(*inner);
    field.record = inner;
  }
  if (decl.sizes.size() > 4) d_.Error(decl.at, "a field array has at most four dimensions");
  int64_t elements = 1;
  for (size_t k = 0; k < decl.sizes.size() && k < 4; ++k) {
    int32_t n = 1;
    ConstantInt(*decl.sizes[k], "the size of field " + decl.name, 1, kMaxFieldElements, &n);
    elements *= n;
    field.sizes.push_back(n);
  }
  if (elements > kMaxFieldElements)
    d_.Error(decl.at, "field " + decl.name + " holds more than " + std::to_string(kMaxFieldElements) + " elements");
  t.fields.push_back(std::move(field));
}

// The TYPE of that name; reported when there is none.
const RecordType* Checker::FindType(const std::string& name, Position at) {
  auto it = types_.find(name);
  if (it != types_.end()) return it->second;
  Position other;
  if (const std::string* spelling = OtherSpelling(name, &other, true)) {
    d_.Error(at, "unknown TYPE '" + name + "'; it is written '" + *spelling + "'", other,
             "'" + *spelling + "' is written so here");
    return nullptr;
  }
  const std::string w = Upper(name);
  if (w == "INTEGER" || w == "LONG" || w == "STRING" || w == "DOUBLE" || w == "SINGLE" || w == "BYTE" ||
      w == "BOOLEAN" || w == "FLOAT" || w == "SHORT") {
    d_.Error(at, "AS " + name + " is not needed: a name ending in $ holds text, one ending in % (an array or a "
                 "field) 32-bit integers, any other a number; AS names a TYPE");
    return nullptr;
  }
  std::vector<std::string> names;
  for (const auto& [n, t] : types_) names.push_back(n);
  const std::string near = NearestName(name, names);
  d_.Error(at, "unknown TYPE '" + name + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?"));
  return nullptr;
}

// ------------------------------------------------------------------ CONSTs

void Checker::CollectConstants() {
  for (Constant& c : tree_.constants) {
    auto it = constants_.find(c.name);
    if (it != constants_.end()) {
      d_.Error(c.at, "CONST " + c.name + " is defined twice", it->second->at, "the first CONST " + c.name + " is here");
      continue;
    }
    Spell(c.name, c.at);
    constants_[c.name] = &c;
  }
  for (auto& [name, c] : constants_) FoldConstant(*c);
}

// The constant's value, folded once (a constant may use the others, in any
// order). A constant always gets its variable, so its uses report nothing
// more when it failed.
void Checker::FoldConstant(Constant& c) {
  if (c.state >= 2) return;
  if (c.state == 1) {
    d_.Error(c.at, "CONST " + c.name + " is defined through itself");
    c.state = 3;
    return;
  }
  c.state = 1;
  Variable value;
  const bool outer = foldFailed_;
  foldFailed_ = false;
  const bool ok = Fold(*c.value, value);
  const bool blamed = foldFailed_;
  foldFailed_ = outer;
  Variable* v = NewVariable(c.name, false, c.at);
  v->isConst = true;
  v->isString = IsStringName(c.name);
  v->value = value.value;
  v->text = value.text;
  c.variable = v;
  globals_.emplace(c.name, v);
  if (c.state == 3) return;  // the cycle through it is reported
  c.state = ok ? 2 : 3;
  if (!ok && !blamed)
    d_.Error(c.value->at, "the value of CONST " + c.name + " must be a constant (numbers, texts, CONSTs and operators)");
  if (ok && value.isString != IsStringName(c.name)) {
    d_.Error(c.value->at, "CONST " + c.name + (value.isString ? " holds text, not a number (its name has no $)"
                                                              : " holds a number, not text (its name ends in $)"));
    c.state = 3;
  }
}

// The value of a constant expression, computed as the translated code
// would compute it; false when the expression is not constant.
bool Checker::Fold(const Expr& e, Variable& out) {
  switch (e.kind) {
    case Expr::Number:
      out.value = e.value;
      return true;
    case Expr::String:
      out.isString = true;
      out.text = e.text;
      return true;
    case Expr::Variable: {
      auto it = constants_.find(e.text);
      if (it == constants_.end()) return false;
      FoldConstant(*it->second);
      if (it->second->state != 2) {
        foldFailed_ = true;
        return false;
      }
      out.isString = IsStringName(e.text);
      out.value = it->second->variable->value;
      out.text = it->second->variable->text;
      return true;
    }
    case Expr::Unary: {
      if (!Fold(*e.args[0], out) || out.isString) return false;
      out.value = e.text == "-" ? -out.value : e.text == "NOT" ? (out.value == 0 ? 1 : 0) : out.value;
      return true;
    }
    case Expr::Binary: return FoldBinary(e, out);
    default: return false;
  }
}

bool Checker::FoldBinary(const Expr& e, Variable& out) {
  Variable a, b;
  if (!Fold(*e.args[0], a) || !Fold(*e.args[1], b) || a.isString != b.isString) return false;
  const std::string& op = e.text;
  const bool compare = op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
  if (compare) {
    const int c = a.isString ? a.text.compare(b.text) : (a.value < b.value ? -1 : a.value > b.value ? 1 : 0);
    const bool unordered = !a.isString && (std::isnan(a.value) || std::isnan(b.value));
    const bool r = op == "=" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0 : op == ">" ? c > 0 : op == "<=" ? c <= 0 : c >= 0;
    out.value = !unordered && r ? 1 : (unordered && op == "<>" ? 1 : 0);
    return true;
  }
  if (a.isString) {
    if (op != "+") return false;
    out.isString = true;
    out.text = a.text + b.text;
    return true;
  }
  const double x = a.value, y = b.value;
  if (op == "+") out.value = x + y;
  else if (op == "-") out.value = x - y;
  else if (op == "*") out.value = x * y;
  else if (op == "/") out.value = x / y;
  else if (op == "^") out.value = std::pow(x, y);
  else if (op == "MOD") out.value = IntMod(Trunc32(x), Trunc32(y));
  else if (op == "\\") out.value = std::trunc(y) == 0 ? 0 : std::trunc(std::trunc(x) / std::trunc(y));
  else if (op == "AND") out.value = Trunc32(x) & Trunc32(y);
  else if (op == "OR") out.value = Trunc32(x) | Trunc32(y);
  else if (op == "XOR") out.value = Trunc32(x) ^ Trunc32(y);
  else return false;
  return true;
}

// A constant whole number in [lo, hi] (sizes of field arrays).
bool Checker::ConstantInt(Expr& e, const std::string& what, int32_t lo, int32_t hi, int32_t* out) {
  Variable v;
  if (!Fold(e, v) || v.isString) {
    d_.Error(e.at, what + " must be a constant number");
    return false;
  }
  if (!(v.value >= lo && v.value <= hi) || v.value != std::trunc(v.value)) {
    d_.Error(e.at, what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return false;
  }
  *out = static_cast<int32_t>(v.value);
  return true;
}

// ------------------------------------------------------------------ DATA

// Every DATA value becomes the literal it folds to.
void Checker::CheckData() {
  for (ExprPtr& e : tree_.data) {
    if (Done()) return;
    Variable v;
    foldFailed_ = false;
    if (!Fold(*e, v)) {
      if (!foldFailed_) d_.Error(e->at, "DATA takes constants (numbers, texts and CONSTs)");
      continue;
    }
    const Position at = e->at;
    e = std::make_unique<Expr>();
    e->at = at;
    e->kind = v.isString ? Expr::String : Expr::Number;
    e->type = v.isString ? Type::String : Type::Number;
    e->text = v.text;
    e->value = v.value;
    e->literal = true;
  }
}

}  // namespace vlmc
