// Parsing and evaluating the language's expressions over a stopped program's variables (see expression.h).
#include "expression.h"

#include <cctype>
#include <cmath>
#include <cstring>

namespace dap {

std::string RegisteredName(const std::string& name) {
  if (!name.empty() && name.back() == '$') return name.substr(0, name.size() - 1) + "_Str";
  if (!name.empty() && name.back() == '%') return name.substr(0, name.size() - 1) + "_Int";
  return name;
}

std::string BasicName(const std::string& registered) {
  auto endsIn = [&](const char* suffix) {
    const size_t n = std::strlen(suffix);
    return registered.size() > n && registered.compare(registered.size() - n, n, suffix) == 0;
  };
  if (endsIn("_Str")) return registered.substr(0, registered.size() - 4) + "$";
  if (endsIn("_Int")) return registered.substr(0, registered.size() - 4) + "%";
  return registered;
}

namespace {

constexpr int kMaxDepth = 64;

struct Token {
  enum Kind { End, Number, Text, Name, Op } kind = End;
  std::string text;
  double number = 0;
  size_t at = 0;
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNamePart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  bool Next(Token* t, std::string* error) {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    *t = Token();
    t->at = pos_;
    if (pos_ >= text_.size()) return true;
    const char c = text_[pos_];
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_ + 1]))))
      return NumberToken(t, error);
    if (c == '$') {
      size_t end = pos_ + 1;
      double v = 0;
      while (end < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[end]))) {
        const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[end])));
        v = v * 16 + (d <= '9' ? d - '0' : d - 'a' + 10);
        ++end;
      }
      if (end == pos_ + 1) return Fail(error, "hexadecimal digits expected after $");
      t->kind = Token::Number;
      t->number = v;
      pos_ = end;
      return true;
    }
    if (c == '"') {
      ++pos_;
      t->kind = Token::Text;
      for (;;) {
        if (pos_ >= text_.size()) return Fail(error, "unclosed text");
        if (text_[pos_] == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            t->text.push_back('"');
            pos_ += 2;
            continue;
          }
          ++pos_;
          return true;
        }
        t->text.push_back(text_[pos_++]);
      }
    }
    if (IsNameStart(c)) {
      size_t end = pos_;
      while (end < text_.size() && IsNamePart(text_[end])) ++end;
      if (end < text_.size() && (text_[end] == '$' || text_[end] == '%')) ++end;
      t->text = std::string(text_.substr(pos_, end - pos_));
      pos_ = end;
      const std::string word = Upper(t->text);
      if (word == "AND" || word == "OR" || word == "NOT" || word == "MOD") {
        t->kind = Token::Op;
        t->text = word;
      } else {
        t->kind = Token::Name;
      }
      return true;
    }
    if (c == '.' && pos_ + 1 < text_.size() && IsNameStart(text_[pos_ + 1])) {
      t->kind = Token::Op;  // a field of a record: pts[2].x
      t->text = ".";
      ++pos_;
      return true;
    }
    static const char* const kOps[] = {"<>", "<=", ">=", "=", "<", ">", "+", "-", "*", "/", "^", "(", ")", "[", "]", ","};
    for (const char* op : kOps) {
      const size_t n = std::strlen(op);
      if (text_.substr(pos_, n) == op) {
        t->kind = Token::Op;
        t->text = op;
        pos_ += n;
        return true;
      }
    }
    return Fail(error, std::string("unexpected character '") + c + "'");
  }

 private:
  bool Fail(std::string* error, const std::string& what) {
    *error = what + " at column " + std::to_string(pos_ + 1);
    return false;
  }
  bool NumberToken(Token* t, std::string* error) {
    size_t end = pos_;
    auto digits = [&] {
      while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end]))) ++end;
    };
    digits();
    if (end < text_.size() && text_[end] == '.') {
      ++end;
      digits();
    }
    if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
      size_t e = end + 1;
      if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) ++e;
      if (e < text_.size() && std::isdigit(static_cast<unsigned char>(text_[e]))) {
        end = e;
        digits();
      }
    }
    const std::string literal(text_.substr(pos_, end - pos_));
    char* stop = nullptr;
    t->number = std::strtod(literal.c_str(), &stop);
    if (stop == literal.c_str()) return Fail(error, "bad number");
    t->kind = Token::Number;
    pos_ = end;
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) {}

  bool Whole(NodePtr* tree, std::string* error) {
    if (!Advance(error) || !Or(tree, error, 0)) return false;
    if (token_.kind != Token::End) return Fail(error, "unexpected '" + token_.text + "'");
    return true;
  }

 private:
  bool Fail(std::string* error, const std::string& what) {
    if (error->empty()) *error = what + " at column " + std::to_string(token_.at + 1);
    return false;
  }
  bool Advance(std::string* error) { return lexer_.Next(&token_, error); }
  bool IsOp(const char* op) const { return token_.kind == Token::Op && token_.text == op; }

  static NodePtr MakeBinary(std::string op, NodePtr left, NodePtr right) {
    auto n = std::make_unique<Node>();
    n->kind = Node::Binary;
    n->text = std::move(op);
    n->args.push_back(std::move(left));
    n->args.push_back(std::move(right));
    return n;
  }

  bool Or(NodePtr* out, std::string* error, int depth) {
    if (depth > kMaxDepth) return Fail(error, "expression nested too deeply");
    if (!And(out, error, depth)) return false;
    while (IsOp("OR")) {
      if (!Advance(error)) return false;
      NodePtr right;
      if (!And(&right, error, depth)) return false;
      *out = MakeBinary("OR", std::move(*out), std::move(right));
    }
    return true;
  }
  bool And(NodePtr* out, std::string* error, int depth) {
    if (!Not(out, error, depth)) return false;
    while (IsOp("AND")) {
      if (!Advance(error)) return false;
      NodePtr right;
      if (!Not(&right, error, depth)) return false;
      *out = MakeBinary("AND", std::move(*out), std::move(right));
    }
    return true;
  }
  bool Not(NodePtr* out, std::string* error, int depth) {
    if (IsOp("NOT")) {
      if (depth > kMaxDepth) return Fail(error, "expression nested too deeply");
      if (!Advance(error)) return false;
      auto n = std::make_unique<Node>();
      n->kind = Node::Unary;
      n->text = "NOT";
      n->args.emplace_back();
      if (!Not(&n->args[0], error, depth + 1)) return false;
      *out = std::move(n);
      return true;
    }
    return Compare(out, error, depth);
  }
  bool Compare(NodePtr* out, std::string* error, int depth) {
    if (!Sum(out, error, depth)) return false;
    while (IsOp("=") || IsOp("<>") || IsOp("<") || IsOp(">") || IsOp("<=") || IsOp(">=")) {
      const std::string op = token_.text;
      if (!Advance(error)) return false;
      NodePtr right;
      if (!Sum(&right, error, depth)) return false;
      *out = MakeBinary(op, std::move(*out), std::move(right));
    }
    return true;
  }
  bool Sum(NodePtr* out, std::string* error, int depth) {
    if (!Product(out, error, depth)) return false;
    while (IsOp("+") || IsOp("-")) {
      const std::string op = token_.text;
      if (!Advance(error)) return false;
      NodePtr right;
      if (!Product(&right, error, depth)) return false;
      *out = MakeBinary(op, std::move(*out), std::move(right));
    }
    return true;
  }
  bool Product(NodePtr* out, std::string* error, int depth) {
    if (!Unary(out, error, depth)) return false;
    while (IsOp("*") || IsOp("/") || IsOp("MOD")) {
      const std::string op = token_.text;
      if (!Advance(error)) return false;
      NodePtr right;
      if (!Unary(&right, error, depth)) return false;
      *out = MakeBinary(op, std::move(*out), std::move(right));
    }
    return true;
  }
  bool Unary(NodePtr* out, std::string* error, int depth) {
    if (IsOp("-") || IsOp("+")) {
      if (depth > kMaxDepth) return Fail(error, "expression nested too deeply");
      const std::string op = token_.text;
      if (!Advance(error)) return false;
      auto n = std::make_unique<Node>();
      n->kind = Node::Unary;
      n->text = op;
      n->args.emplace_back();
      if (!Unary(&n->args[0], error, depth + 1)) return false;
      *out = std::move(n);
      return true;
    }
    return Power(out, error, depth);
  }
  bool Power(NodePtr* out, std::string* error, int depth) {
    if (!Primary(out, error, depth)) return false;
    if (IsOp("^")) {
      if (depth > kMaxDepth) return Fail(error, "expression nested too deeply");
      if (!Advance(error)) return false;
      NodePtr right;
      if (!Unary(&right, error, depth + 1)) return false;  // right-associative
      *out = MakeBinary("^", std::move(*out), std::move(right));
    }
    return true;
  }
  bool List(const char* close, std::vector<NodePtr>* items, std::string* error, int depth) {
    if (!Advance(error)) return false;  // the opening bracket
    if (IsOp(close)) return Advance(error);
    for (;;) {
      NodePtr item;
      if (!Or(&item, error, depth + 1)) return false;
      items->push_back(std::move(item));
      if (IsOp(",")) {
        if (!Advance(error)) return false;
        continue;
      }
      if (!IsOp(close)) return Fail(error, std::string("'") + close + "' expected");
      return Advance(error);
    }
  }
  bool Primary(NodePtr* out, std::string* error, int depth) {
    auto n = std::make_unique<Node>();
    switch (token_.kind) {
      case Token::Number:
        n->kind = Node::Number;
        n->number = token_.number;
        break;
      case Token::Text:
        n->kind = Node::Text;
        n->text = token_.text;
        break;
      case Token::Name: {
        n->text = token_.text;
        if (!Advance(error)) return false;
        if (IsOp("[")) {
          n->kind = Node::Element;
          if (!List("]", &n->args, error, depth)) return false;
          if (n->args.empty() || n->args.size() > 4) return Fail(error, "an element takes 1 to 4 indices");
          while (IsOp(".")) {
            if (depth > kMaxDepth) return Fail(error, "expression nested too deeply");
            if (!Advance(error)) return false;
            if (token_.kind != Token::Name) return Fail(error, "a field name is expected after '.'");
            auto field = std::make_unique<Node>();
            field->kind = Node::Field;
            field->text = token_.text;
            field->args.push_back(std::move(n));
            if (!Advance(error)) return false;
            if (IsOp("[")) {
              if (!List("]", &field->args, error, depth)) return false;
              if (field->args.size() > 5) return Fail(error, "an element takes 1 to 4 indices");
            }
            n = std::move(field);
            ++depth;
          }
        } else if (IsOp("(")) {
          n->kind = Node::Call;
          if (!List(")", &n->args, error, depth)) return false;
        } else {
          n->kind = Node::Name;
        }
        *out = std::move(n);
        return true;
      }
      case Token::Op:
        if (IsOp("(")) {
          if (!Advance(error) || !Or(out, error, depth + 1)) return false;
          if (!IsOp(")")) return Fail(error, "')' expected");
          return Advance(error);
        }
        return Fail(error, "unexpected '" + token_.text + "'");
      case Token::End:
        return Fail(error, "the expression ends too early");
    }
    if (!Advance(error)) return false;
    *out = std::move(n);
    return true;
  }

  Lexer lexer_;
  Token token_;
};

bool FindVariable(const std::string& name, NameScope& scope, Variable* v, std::string* error) {
  if (scope.Find(RegisteredName(name), v) || scope.Find(name, v)) return true;
  *error = scope.IsRecord(name) ? name + " is a record; name one of its fields" : "no variable '" + name + "' here";
  return false;
}

bool IsComparison(const Node& n) {
  if (n.kind != Node::Binary) return false;
  return n.text == "=" || n.text == "<>" || n.text == "<" || n.text == ">" || n.text == "<=" || n.text == ">=";
}

bool Number(const Node& n, NameScope& scope, double* x, std::string* error) {
  Value v;
  if (!Evaluate(n, scope, &v, error)) return false;
  if (v.isText) {
    *error = "a number is needed, not a text";
    return false;
  }
  *x = v.number;
  return true;
}

bool Call(const Node& n, NameScope& scope, Value* value, std::string* error) {
  const std::string name = Upper(n.text);
  if (n.args.size() != 1) {
    *error = n.text + " takes one argument";
    return false;
  }
  if (name == "LEN") {
    Value s;
    if (!Evaluate(*n.args[0], scope, &s, error)) return false;
    if (!s.isText) {
      *error = "LEN takes a text";
      return false;
    }
    *value = Value{false, static_cast<double>(s.text.size()), {}};
    return true;
  }
  double x = 0;
  if (name == "INT" || name == "ABS") {
    if (!Number(*n.args[0], scope, &x, error)) return false;
    // INT truncates over the whole range of numbers, as the program's INT does (only
    // an index or an integer argument is cut to 32 bits).
    *value = Value{false, name == "INT" ? std::trunc(x) : std::fabs(x), {}};
    return true;
  }
  *error = "'" + n.text + "' cannot be called here (only LEN, INT and ABS)";
  return false;
}

}  // namespace

bool ParseExpression(std::string_view text, NodePtr* tree, std::string* error) {
  error->clear();
  Parser parser(text);
  return parser.Whole(tree, error);
}

namespace {

bool Indices(const std::vector<NodePtr>& args, size_t from, NameScope& scope, std::vector<int64_t>* indices,
             std::string* shown, std::string* error) {
  *shown += "[";
  for (size_t k = from; k < args.size(); ++k) {
    double x = 0;
    if (!Number(*args[k], scope, &x, error)) return false;
    indices->push_back(Truncate(x));
    if (k > from) *shown += ", ";
    *shown += std::to_string(indices->back());
  }
  *shown += "]";
  return true;
}

// The element (indices) of the array variable v.
bool ElementOf(const Variable& v, const std::vector<int64_t>& indices, const std::string& shown, NameScope& scope,
               Place* place, std::string* error) {
  const std::string name = BasicName(v.name);
  if (v.type != kNumberArray && v.type != kIntArray && v.type != kTextArray && v.type != kRecordArray) {
    *error = "'" + name + "' is not an array";
    return false;
  }
  uint64_t header = v.address;
  RecordLayout layout;
  if (v.type == kRecordArray && !ReadRecordArray(scope.memory(), v, &header, &layout, error)) return false;
  ArrayInfo a;
  if (!ReadArray(scope.memory(), header, &a, error)) return false;
  if (a.rank == 0) {
    *error = a.data == 0 ? "'" + name + "' is not dimensioned yet" : shown + " is outside the array (it has no elements)";
    return false;
  }
  if (static_cast<int32_t>(indices.size()) != a.rank) {
    *error = "'" + name + "' has " + std::to_string(a.rank) + " dimension" + (a.rank == 1 ? "" : "s") + ", " +
             std::to_string(indices.size()) + " given";
    return false;
  }
  // As the program indexes: a negative first index counts from the end (-1 is the last).
  std::vector<int64_t> wrapped = indices;
  if (wrapped[0] < 0) wrapped[0] += a.dims[0];
  const int64_t number = ElementNumber(a, wrapped);
  if (number < 0) {
    *error = shown + " is outside the array";
    return false;
  }
  *place = Place();
  place->name = shown;
  if (v.type == kRecordArray) {
    place->type = kRecordElement;
    place->address = a.data + static_cast<uint64_t>(number) * static_cast<uint64_t>(layout.elementSize);
    place->layout = layout;
  } else {
    place->type = ElementType(v.type);
    place->address = a.data + static_cast<uint64_t>(number) * ElementSize(v.type);
  }
  return true;
}

}  // namespace

bool Locate(const Node& n, NameScope& scope, Place* place, std::string* error) {
  if (n.kind == Node::Field) {
    Place record;
    if (!Locate(*n.args[0], scope, &record, error)) return false;
    if (record.type != kRecordElement) {
      *error = record.name + " is not a record";
      return false;
    }
    std::vector<Variable> fields;
    if (!ReadRecordFields(scope.memory(), record.layout, record.address, &fields, error)) return false;
    const Variable* field = nullptr;
    bool inner = false;  // a record inside the record: its fields are listed flat, "pos.x"
    for (const Variable& f : fields) {
      if (f.name == RegisteredName(n.text) || f.name == n.text) field = &f;
      inner = inner || f.name.compare(0, n.text.size() + 1, n.text + ".") == 0;
    }
    if (field == nullptr) {
      *error = inner ? record.name + "." + n.text + " is a record; name one of its fields"
                     : record.name + " has no field '" + n.text + "'";
      return false;
    }
    Variable named = *field;
    named.name = record.name + "." + BasicName(field->name);
    if (n.args.size() == 1) {
      *place = Place{named.type, named.address, named.name, named.recordLayout, {}};
      return true;
    }
    std::vector<int64_t> indices;
    std::string shown = named.name;
    if (!Indices(n.args, 1, scope, &indices, &shown, error)) return false;
    named.name = BasicName(field->name);
    return ElementOf(named, indices, shown, scope, place, error);
  }
  if (n.kind != Node::Name && n.kind != Node::Element) {
    *error = "not a variable or an element";
    return false;
  }
  Variable v;
  if (!FindVariable(n.text, scope, &v, error)) return false;
  if (n.kind == Node::Name) {
    *place = Place{v.type, v.address, BasicName(v.name), v.recordLayout, {}};
    return true;
  }
  std::vector<int64_t> indices;
  std::string shown = BasicName(v.name);
  if (!Indices(n.args, 0, scope, &indices, &shown, error)) return false;
  return ElementOf(v, indices, shown, scope, place, error);
}

bool Evaluate(const Node& n, NameScope& scope, Value* value, std::string* error) {
  switch (n.kind) {
    case Node::Number:
      *value = Value{false, n.number, {}};
      return true;
    case Node::Text:
      *value = Value{true, 0, n.text};
      return true;
    case Node::Name:
    case Node::Element:
    case Node::Field: {
      Place place;
      if (!Locate(n, scope, &place, error)) return false;
      if (place.type == kRecordElement) {
        *error = place.name + " is a record; name one of its fields";
        return false;
      }
      if (place.type != kNumber && place.type != kInt && place.type != kText) {
        *error = "'" + place.name + "' is an array; name one of its elements";
        return false;
      }
      return ReadScalar(scope.memory(), place.type, place.address, value, error);
    }
    case Node::Call:
      return Call(n, scope, value, error);
    case Node::Unary: {
      double x = 0;
      if (!Number(*n.args[0], scope, &x, error)) return false;
      if (n.text == "NOT") x = x == 0 ? 1 : 0;
      else if (n.text == "-") x = -x;
      *value = Value{false, x, {}};
      return true;
    }
    case Node::Binary:
      break;
  }
  const std::string& op = n.text;
  Value left, right;
  if (!Evaluate(*n.args[0], scope, &left, error)) return false;
  if (op == "AND" || op == "OR") {
    if (left.isText) {
      *error = op + " takes numbers";
      return false;
    }
    // AND with a false left side is false either way; OR of two comparisons
    // with a true left side is true: the right side is then not evaluated,
    // so "i < 5 AND a[i] = 0" is safe to write.
    if (op == "AND" && Truncate(left.number) == 0) {
      *value = Value{false, 0, {}};
      return true;
    }
    if (op == "OR" && left.number != 0 && IsComparison(*n.args[0]) && IsComparison(*n.args[1])) {
      *value = Value{false, 1, {}};
      return true;
    }
  }
  if (!Evaluate(*n.args[1], scope, &right, error)) return false;
  if (left.isText != right.isText) {
    *error = "'" + op + "' between a text and a number (STR$ and VAL convert in the program)";
    return false;
  }
  double result = 0;
  if (IsComparison(n)) {
    int c = 0;
    bool unordered = false;  // a NaN: only <> holds
    if (left.isText) {
      const int d = left.text.compare(right.text);
      c = d < 0 ? -1 : d > 0 ? 1 : 0;
    } else {
      c = left.number < right.number ? -1 : left.number > right.number ? 1 : 0;
      unordered = std::isnan(left.number) || std::isnan(right.number);
    }
    if (op == "<>") result = unordered || c != 0;
    else if (unordered) result = 0;
    else if (op == "=") result = c == 0;
    else if (op == "<") result = c < 0;
    else if (op == ">") result = c > 0;
    else if (op == "<=") result = c <= 0;
    else result = c >= 0;
    *value = Value{false, result, {}};
    return true;
  }
  if (left.isText) {
    if (op != "+") {
      *error = "'" + op + "' takes numbers";
      return false;
    }
    *value = Value{true, 0, left.text + right.text};
    return true;
  }
  const double a = left.number, b = right.number;
  if (op == "+") result = a + b;
  else if (op == "-") result = a - b;
  else if (op == "*") result = a * b;
  else if (op == "/") result = a / b;
  else if (op == "^") result = std::pow(a, b);
  else if (op == "MOD") {
    const int64_t x = Truncate(a), y = Truncate(b);
    result = y == 0 ? 0 : static_cast<double>(x % y);
  } else if (op == "AND") result = Truncate(a) & Truncate(b);
  else if (op == "OR") result = Truncate(a) | Truncate(b);
  *value = Value{false, result, {}};
  return true;
}

bool EvaluateText(std::string_view text, NameScope& scope, Value* value, std::string* error) {
  NodePtr tree;
  if (!ParseExpression(text, &tree, error)) return false;
  return Evaluate(*tree, scope, value, error);
}

std::string ValueText(const Value& value) {
  if (!value.isText) return NumberText(value.number);
  std::string out = "\"";
  for (const char c : value.text) {
    if (c == '"') out += "\"\"";
    else out.push_back(c);
  }
  out += "\"";
  return out;
}

std::string Interpolate(std::string_view message, NameScope& scope) {
  std::string out;
  size_t pos = 0;
  while (pos < message.size()) {
    const size_t open = message.find('{', pos);
    if (open == std::string_view::npos) break;
    const size_t close = message.find('}', open + 1);
    if (close == std::string_view::npos) break;
    out.append(message.substr(pos, open - pos));
    Value v;
    std::string error;
    if (EvaluateText(message.substr(open + 1, close - open - 1), scope, &v, &error)) {
      out += v.isText ? v.text : NumberText(v.number);
    } else {
      out += "{error: " + error + "}";
    }
    pos = close + 1;
  }
  out.append(message.substr(pos));
  return out;
}

}  // namespace dap
