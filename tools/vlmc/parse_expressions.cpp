// vlmc's parser, its expressions: operators by level, and the names with
// what follows them (calls, indices, fields).
//   OR XOR < AND < NOT < comparison < + - < * / \ MOD < unary - < ^ < primary
#include "names.h"
#include "parser_internal.h"

namespace vlmc {

ExprPtr Parser::ParseExpression(int depth) { return ParseBinary(1, depth); }

int Parser::Level(const Token& t) {
  if (t.kind == TokenKind::Identifier) {
    if (t.text.size() > 3) return 0;
    if (IsWord(t, "OR") || IsWord(t, "XOR")) return 1;
    if (IsWord(t, "AND")) return 2;
    if (IsWord(t, "MOD")) return 5;
    return 0;
  }
  if (t.kind != TokenKind::Operator) return 0;
  const std::string_view o = t.text;
  if (o == "=" || o == "<>" || o == "<" || o == ">" || o == "<=" || o == ">=") return 3;
  if (o == "+" || o == "-") return 4;
  if (o == "*" || o == "/" || o == "\\") return 5;
  return 0;
}

ExprPtr Parser::MakeBinary(const Token& op, ExprPtr left, ExprPtr right) {
  // Chains of operators build deep trees, which later passes walk recursively.
  if (++operators_ > kMaxOperators) {
    Error(op.at, "expression too long (more than " + std::to_string(kMaxOperators) + " operators in one statement)");
    throw SyntaxError();
  }
  auto e = std::make_unique<Expr>();
  e->kind = Expr::Binary;
  e->at = op.at;
  e->text = op.kind == TokenKind::Identifier ? Upper(op.text) : std::string(op.text);
  e->args.reserve(2);
  e->args.push_back(std::move(left));
  e->args.push_back(std::move(right));
  return e;
}

void Parser::CheckDepth(int depth) {
  if (depth > kMaxNesting) {
    Error(Peek().at, "expression nested too deeply");
    throw SyntaxError();
  }
}

ExprPtr Parser::ParseBinary(int level, int depth) {
  CheckDepth(depth);
  if (level >= 6) return ParseUnary(depth);
  // NOT binds looser than comparisons: NOT a = b is NOT (a = b).
  auto operand = [&] { return level == 2 ? ParseNot(depth) : ParseBinary(level + 1, depth); };
  ExprPtr left = operand();
  while (Level(Peek()) == level) {
    const Token op = Peek();
    Next();
    left = MakeBinary(op, std::move(left), operand());
  }
  return left;
}

ExprPtr Parser::ParseNot(int depth) {
  if (AtWord("NOT")) {
    CheckDepth(depth + 1);
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Unary;
    e->at = Peek().at;
    e->text = "NOT";
    Next();
    e->args.push_back(ParseNot(depth + 1));
    return e;
  }
  return ParseBinary(3, depth);
}

ExprPtr Parser::ParseUnary(int depth) {
  CheckDepth(depth);
  if (AtOp("-") || AtOp("+")) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Unary;
    e->at = Peek().at;
    e->text = std::string(Peek().text);
    Next();
    e->args.push_back(ParseUnary(depth + 1));
    return e;
  }
  ExprPtr base = ParsePrimary(depth);
  if (AtOp("^")) {
    const Token op = Peek();
    Next();
    return MakeBinary(op, std::move(base), ParseUnary(depth + 1));  // right-associative
  }
  return base;
}

ExprPtr Parser::ParsePrimary(int depth) {
  CheckDepth(depth);
  const Token& t = Peek();
  if (t.kind == TokenKind::Number || t.kind == TokenKind::Margin || t.kind == TokenKind::String) {
    auto e = std::make_unique<Expr>();
    e->at = t.at;
    e->kind = t.kind == TokenKind::String ? Expr::String : Expr::Number;
    e->text = std::string(t.text);
    e->value = t.value;
    Next();
    return e;
  }
  if (TakeOp("(")) {
    ExprPtr inner = ParseExpression(depth + 1);
    Expect(")");
    return inner;
  }
  if (t.kind == TokenKind::Identifier && !IsKeyword(t.text)) return ParseNamed(depth);
  ValueError(t);
}

void Parser::ValueError(const Token& t) {
  if (t.kind == TokenKind::Identifier)
    Error(t.at, "expected a value, found " + Upper(t.text) + ", a reserved word");
  else if (t.kind == TokenKind::Operator && t.text == "=")
    Error(t.at, "expected a value, found '=' (a comparison is written with one '=')");
  else
    Error(t.at, "expected a value, found " + Describe(t));
  throw SyntaxError();
}

// A name, then its call arguments or its indices and fields.
ExprPtr Parser::ParseNamed(int depth) {
  CheckDepth(depth);
  const Token& t = Peek();
  if (t.kind != TokenKind::Identifier || IsKeyword(t.text)) {
    if (t.kind == TokenKind::Identifier) NameError("a name");
    ValueError(t);
  }
  auto e = std::make_unique<Expr>();
  e->at = t.at;
  e->text = std::string(t.text);
  e->kind = Expr::Variable;
  Next();
  if (TakeOp("(")) {
    e->kind = Expr::Call;
    ParseArguments(*e, ")", depth);
    return e;
  }
  return ParseSuffixes(std::move(e), depth);
}

// [ indices ] and .field, as many as follow: a[i].pos.x, p.path[3].
ExprPtr Parser::ParseSuffixes(ExprPtr e, int depth) {
  for (;;) {
    if (AtOp("[")) {
      if (e->kind == Expr::Element) {
        Error(Peek().at, "write the indices of an array in one pair of brackets, as in a[i, j]");
        throw SyntaxError();
      }
      const Position at = Peek().at;
      Next();
      auto element = std::make_unique<Expr>();
      element->kind = Expr::Element;
      element->at = e->kind == Expr::Variable ? e->at : at;
      element->text = e->text;
      if (e->kind != Expr::Variable) element->object = std::move(e);
      ParseArguments(*element, "]", depth);
      e = std::move(element);
    } else if (AtOp(".")) {
      Next();
      auto field = std::make_unique<Expr>();
      field->kind = Expr::Field;
      field->at = Peek().at;
      field->text = Name("a field name after '.'");
      field->object = std::move(e);
      e = std::move(field);
    } else {
      return e;
    }
    CheckDepth(++depth);
  }
}

// expression { "," expression } close (which may follow at once for a call).
void Parser::ParseArguments(Expr& e, const char* close, int depth) {
  if (close[0] == ')' && TakeOp(")")) return;
  for (;;) {
    e.args.push_back(ParseExpression(depth + 1));
    if (TakeOp(close)) return;
    Expect(",");
  }
}

}  // namespace vlmc
