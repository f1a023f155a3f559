// vlmc's parser, its statements: the simple ones that may follow THEN, the
// blocks (IF, FOR, FOR EACH, WHILE, REPEAT, DO, SELECT CASE) and the hints
// for what other BASICs write that this language does not have.
#include <algorithm>

#include "names.h"
#include "parser_internal.h"

namespace vlmc {

StmtPtr Parser::ParseStatement(bool counted, bool inlineOnly, int depth) {
  try {
    if (depth > kMaxNesting) {
      Error(Peek().at, "blocks nested too deeply");
      abandoned_ = true;
      throw SyntaxError();
    }
    return ParseStatementOrThrow(counted, inlineOnly, depth);
  } catch (SyntaxError&) {
    margin_ = nullptr;
    SkipStatement();
    return nullptr;
  }
}

StmtPtr Parser::NewStmt(Stmt::Kind kind, bool counted) {
  auto s = std::make_unique<Stmt>();
  s->kind = kind;
  s->at = Peek().at;
  if (counted) Count(*s);
  return s;
}

StmtPtr Parser::ParseStatementOrThrow(bool counted, bool inlineOnly, int depth) {
  if (depth > kMaxNesting) {
    Error(Peek().at, "statements nested too deeply");
    abandoned_ = true;
    throw SyntaxError();
  }
  if (!inlineOnly) operators_ = 0;
  std::string word = Word();
  if (HabitHint(word)) {
    if (word == "REDIM") {
      StmtPtr s = ParseDim(counted);
      if (!inlineOnly) EndOfStatement();
      return s;
    }
    Next();  // LET or CALL, which are left out here
    word = Word();
  }
  if (word == "LOCAL") {
    if (inlineOnly) {
      Error(Peek().at, "LOCAL cannot follow THEN or ELSE");
      throw SyntaxError();
    }
    return ParseLocal();
  }
  if (word == "IF") return ParseIf(counted, inlineOnly, depth);
  if (word == "FOR" || word == "WHILE" || word == "REPEAT" || word == "SELECT" || word == "DO") {
    if (inlineOnly) {
      Error(Peek().at, word + " cannot follow THEN or ELSE on the same line");
      throw SyntaxError();
    }
    return ParseBlockStatement(word, counted, depth);
  }
  StmtPtr s = ParseSimple(word, counted);
  if (!inlineOnly) EndOfStatement();
  return s;
}

StmtPtr Parser::ParseBlockStatement(const std::string& word, bool counted, int depth) {
  if (word == "FOR") return ParseFor(counted, depth);
  if (word == "WHILE") return ParseWhile(counted, depth);
  if (word == "REPEAT") return ParseRepeat(depth);
  if (word == "DO") return ParseDo(counted, depth);
  return ParseSelect(counted, depth);
}

// What other BASICs write at the start of a statement: reported, and where
// the meaning is plain (LET, CALL, REDIM) read on as this language writes it
// (true); the others end the statement.
bool Parser::HabitHint(const std::string& word) {
  const Token& next = Peek(1);
  const bool named = next.kind == TokenKind::Identifier;
  if ((word == "LET" || word == "CALL") && named) {
    Error(Peek().at, word == "LET" ? "LET is not needed: write the assignment alone (x = 1)"
                                   : "CALL is not needed: write the routine's name and arguments (f(1) or f)");
    return true;
  }
  if (word == "REDIM" && named) {
    Error(Peek().at, "REDIM is written DIM here (DIM PRESERVE keeps the elements)");
    return true;
  }
  std::string hint;
  if (word == "GOSUB" && (named || next.kind == TokenKind::Number))
    hint = "GOSUB is not part of this language: write a SUB and call it by its name";
  else if (word == "DEF" && named && Upper(next.text).rfind("FN", 0) == 0)
    hint = "DEF FN is not part of this language: write a FUNCTION";
  else if (word == "ON" && (named || next.kind == TokenKind::Number))
    hint = "ON ... GOTO is not part of this language: write SELECT CASE";
  if (hint.empty()) return false;
  Error(Peek().at, hint);
  throw SyntaxError();
}

StmtPtr Parser::ParseLocal() {
  NoMargin();
  if (!function_) Error(Peek().at, "LOCAL belongs in a FUNCTION; the main program's variables are declared by use or GLOBAL");
  auto s = NewStmt(Stmt::Local, false);
  Next();
  ParseDeclarations(s->declarations, true);
  EndOfStatement();
  return s;
}

// A statement that may follow THEN or ELSE on the same line.
StmtPtr Parser::ParseSimple(const std::string& word, bool counted) {
  // The words below are all reserved: a name is an assignment or a call.
  if (At(TokenKind::Identifier) && !IsKeyword(word)) return ParseAssignOrCall(counted);
  if (word == "EXIT") return ParseLoopControl(Stmt::Exit, counted);
  if (word == "CONTINUE") return ParseLoopControl(Stmt::Continue, counted);
  if (word == "RETURN") return ParseReturn(counted);
  if (word == "END") {
    StmtPtr s = NewStmt(Stmt::End, counted);
    Next();
    return s;
  }
  if (word == "DIM") return ParseDim(counted);
  if (word == "PRINT") return ParsePrint(counted);
  if (word == "GOTO") return ParseGoto(counted);
  if (word == "RESTORE") return ParseRestore(counted);
  if (word == "READ") return ParseTargets(Stmt::Read, counted);
  if (word == "INPUT") return ParseTargets(Stmt::Input, counted);
  if (word == "APPEND") return ParseAppendOrRemove(Stmt::Append, counted);
  if (word == "REMOVE") return ParseAppendOrRemove(Stmt::Remove, counted);
  if (At(TokenKind::Identifier) && (AtOp("=", 1) || AtOp("[", 1) || AtOp(".", 1))) {
    Error(Peek().at, word + " is a reserved word; it cannot name a variable");
    throw SyntaxError();
  }
  Error(Peek().at, "expected a statement, found " + Describe(Peek()));
  throw SyntaxError();
}

// EXIT kind | CONTINUE [ kind ]: the innermost loop of that kind.
StmtPtr Parser::ParseLoopControl(Stmt::Kind kind, bool counted) {
  StmtPtr s = NewStmt(kind, counted);
  const std::string name = kind == Stmt::Exit ? "EXIT" : "CONTINUE";
  Next();
  const std::string w = Word();
  if (w == "FOR" || w == "WHILE" || w == "REPEAT" || w == "DO") {
    s->exitKind = w;
    Next();
  } else if (kind == Stmt::Exit) {
    Error(Peek().at, "expected FOR, WHILE, REPEAT or DO after EXIT");
    throw SyntaxError();
  }
  const bool inside = s->exitKind.empty() ? !loops_.empty()
                                          : std::find(loops_.begin(), loops_.end(), s->exitKind) != loops_.end();
  if (!inside)
    Error(s->at, s->exitKind.empty() ? name + " outside a loop" : name + " " + s->exitKind + " outside a " + s->exitKind + " loop");
  return s;
}

StmtPtr Parser::ParseReturn(bool counted) {
  StmtPtr s = NewStmt(Stmt::Return, counted);
  Next();
  if (!AtStatementEnd() && !AtWord("ELSE")) {
    s->value = ParseExpression();
    if (function_ && !function_->isSub)
      function_->returnsValue = true;
    else
      Error(s->at, function_ ? "RETURN with a value in a SUB (a FUNCTION returns values)"
                             : "RETURN with a value outside a FUNCTION");
  }
  return s;
}

// DIM [ PRESERVE ] item { "," item }; an item is an array and its sizes,
// or a name AS a TYPE (a record); either may name the TYPE.
StmtPtr Parser::ParseDim(bool counted) {
  StmtPtr s = NewStmt(Stmt::Dim, counted);
  Next();
  s->preserve = TakeWord("PRESERVE");
  for (;;) {
    ParseDimItem(*s);
    if (!TakeOp(",")) break;
  }
  return s;
}

void Parser::ParseDimItem(Stmt& s) {
  const Position at = Peek().at;
  Declaration decl;
  decl.at = at;
  decl.name = Name("an array or record name after DIM");
  auto e = std::make_unique<Expr>();
  e->at = at;
  e->text = decl.name;
  e->kind = Expr::Variable;
  if (TakeOp("[")) {
    e->kind = Expr::Element;
    ParseArguments(*e, "]", 0);
    decl.isArray = true;
  }
  ParseTypeName(decl);
  if (!decl.isArray && decl.typeName.empty()) {
    Error(at, "DIM needs an array and its sizes, as in DIM a[10], or a record, as in DIM p AS Point");
    throw SyntaxError();
  }
  s.exprs.push_back(std::move(e));
  s.declarations.push_back(std::move(decl));
}

// PRINT [ item { ( ";" | "," ) item } [ ";" | "," ] ]
StmtPtr Parser::ParsePrint(bool counted) {
  StmtPtr s = NewStmt(Stmt::Print, counted);
  Next();
  s->newline = true;
  while (!AtStatementEnd() && !AtWord("ELSE")) {
    if (TakeOp(",")) {
      // An empty item: only the move to the next zone.
      s->exprs.push_back(nullptr);
      s->separators.push_back(',');
      continue;
    }
    s->exprs.push_back(ParseExpression());
    if (TakeOp(";")) {
      s->separators.push_back(';');
    } else if (TakeOp(",")) {
      s->separators.push_back(',');
    } else {
      s->separators.push_back(0);
      break;
    }
  }
  s->newline = s->separators.empty() || s->separators.back() == 0;
  return s;
}

StmtPtr Parser::ParseGoto(bool counted) {
  StmtPtr s = NewStmt(Stmt::Goto, counted);
  Next();
  if (At(TokenKind::Number)) {
    Error(Peek().at, "GOTO takes a label (a name and ':' at the start of a line), not a line number: the numbers in "
                     "the margin count statements");
    throw SyntaxError();
  }
  s->exitKind = Name("a label after GOTO");
  return s;
}

StmtPtr Parser::ParseRestore(bool counted) {
  StmtPtr s = NewStmt(Stmt::Restore, counted);
  Next();
  if (!AtStatementEnd() && !AtWord("ELSE")) s->exitKind = Name("a label after RESTORE");
  return s;
}

// READ target { "," target } | INPUT [ text ";" ] target { "," target }
StmtPtr Parser::ParseTargets(Stmt::Kind kind, bool counted) {
  StmtPtr s = NewStmt(kind, counted);
  Next();
  if (kind == Stmt::Input && At(TokenKind::String)) {
    s->value = ParsePrimary(0);
    if (!TakeOp(";")) Expect(",");
  }
  for (;;) {
    ExprPtr e = ParseNamed(0);
    if (e->kind != Expr::Variable && e->kind != Expr::Element && e->kind != Expr::Field) {
      Error(e->at, std::string(kind == Stmt::Read ? "READ" : "INPUT") + " needs a variable, an array element or a field");
      throw SyntaxError();
    }
    s->exprs.push_back(std::move(e));
    if (!TakeOp(",")) break;
  }
  return s;
}

// APPEND array "," value | REMOVE array "," index | REMOVE element (of FOR EACH)
StmtPtr Parser::ParseAppendOrRemove(Stmt::Kind kind, bool counted) {
  StmtPtr s = NewStmt(kind, counted);
  Next();
  s->target = ParseNamed(0);
  if (kind == Stmt::Append) {
    Expect(",");
    s->value = ParseExpression();
  } else if (TakeOp(",")) {
    s->value = ParseExpression();
  }
  return s;
}

StmtPtr Parser::ParseAssignOrCall(bool counted) {
  StmtPtr s = NewStmt(Stmt::Assign, counted);
  const Token first = Peek();
  ExprPtr e = ParseNamed(0);
  if (TakeOp("=")) {
    if (e->kind != Expr::Variable && e->kind != Expr::Element && e->kind != Expr::Field) {
      Error(e->at, "only a variable, an array element or a field can be assigned");
      throw SyntaxError();
    }
    s->target = std::move(e);
    try {
      s->value = ParseExpression();
    } catch (SyntaxError&) {
      // The target is still declared, so its later uses report nothing.
      s->broken = true;
      while (!AtStatementEnd()) Next();
    }
    return s;
  }
  if (e->kind == Expr::Variable) {
    if (!AtStatementEnd() && !AtWord("ELSE")) UnknownStatement(first);
    e->kind = Expr::Call;
    e->bare = true;
  }
  if (e->kind != Expr::Call) {
    Error(Peek().at, "expected '=' after " + std::string(e->kind == Expr::Field ? "the field" : "the array element"));
    throw SyntaxError();
  }
  s->kind = Stmt::CallStatement;
  s->exprs.push_back(std::move(e));
  return s;
}

// A name followed by more than a statement takes: a misspelt keyword, or a
// routine called without parentheses.
void Parser::UnknownStatement(const Token& first) {
  std::vector<std::string> words = {"PRINT", "INPUT", "READ", "RESTORE", "DATA", "DIM", "GOTO", "RETURN", "APPEND",
                                    "REMOVE", "EXIT", "CONTINUE", "LOCAL", "GLOBAL", "CONST"};
  const std::string near = NearestName(Upper(first.text), words);
  if (!near.empty())
    Error(first.at, "unknown statement '" + std::string(first.text) + "'; did you mean " + near + "?");
  else
    Error(Peek().at, "expected '=' or '(' after " + std::string(first.text) + ", found " + Describe(Peek()));
  throw SyntaxError();
}

// ------------------------------------------------------------------ IF

StmtPtr Parser::ParseIf(bool counted, bool inlineOnly, int depth) {
  auto s = NewStmt(Stmt::If, counted);
  Next();
  bool then = false;
  try {
    s->exprs.push_back(ParseExpression());
  } catch (SyntaxError&) {
    s->broken = true;
    s->exprs.clear();
    s->exprs.push_back(nullptr);
    while (!AtStatementEnd() && !AtWord("THEN")) Next();
  }
  then = TakeWord("THEN");
  if (!then && !AtStatementEnd()) {
    Error(Peek().at, "expected THEN after the condition of IF, found " + Describe(Peek()));
    then = true;  // read on as the one-line IF it most likely is
  }
  if (then && !AtStatementEnd()) {
    s->blocks.emplace_back();
    ParseInlineBranch(s->blocks.back(), depth);
    if (TakeWord("ELSE")) {
      s->hasElse = true;
      s->blocks.emplace_back();
      ParseInlineBranch(s->blocks.back(), depth);
    }
    if (!inlineOnly) EndOfStatement();
    return s;
  }
  if (inlineOnly) {
    Error(s->at, "an IF block cannot follow THEN or ELSE on the same line");
    throw SyntaxError();
  }
  EndOfStatement();
  ParseIfBlocks(*s, depth);
  return s;
}

// The statements after THEN or ELSE on one line, divided by ':'.
void Parser::ParseInlineBranch(Block& block, int depth) {
  for (;;) {
    block.push_back(ParseStatementOrThrow(false, true, depth + 1));
    if (!AtColon()) return;
    Next();
    if (AtStatementEnd() || AtWord("ELSE")) return;
  }
}

void Parser::ParseIfBlocks(Stmt& s, int depth) {
  for (;;) {
    s.blocks.emplace_back();
    const std::string end = ParseBlock(s.blocks.back(), {"ELSEIF", "ELSE", "END IF"}, depth);
    if (end.empty()) {
      MissingEnd(s.at, "IF has no END IF (or ENDIF)");
      return;
    }
    const Position at = Peek().at;
    TakeTerminator();
    if (end == "END IF") break;
    if (s.hasElse) {
      Error(at, end + " after ELSE");
      SkipStatement();
      continue;
    }
    if (end == "ELSEIF") {
      try {
        s.exprs.push_back(ParseExpression());
      } catch (SyntaxError&) {
        s.exprs.push_back(nullptr);
        while (!AtStatementEnd() && !AtWord("THEN")) Next();
      }
      TakeWord("THEN");
    } else {
      s.hasElse = true;
    }
    EndOfStatement();
  }
  EndOfStatement();
}

// ------------------------------------------------------------------ loops

// A block statement's header; when it does not parse, the statement is
// kept (broken) and its body still read, so its end closes it.
void Parser::ParseHeader(Stmt& s, void (Parser::*header)(Stmt&)) {
  try {
    (this->*header)(s);
  } catch (SyntaxError&) {
    s.broken = true;
    while (!AtStatementEnd()) Next();
  }
  EndOfStatement();
}

void Parser::ParseBody(Stmt& s, const char* loopKind, std::vector<std::string> ends, int depth, std::string* end) {
  if (loopKind) loops_.push_back(loopKind);
  s.blocks.emplace_back();
  *end = ParseBlock(s.blocks.back(), std::move(ends), depth);
  if (loopKind) loops_.pop_back();
}

void Parser::ForHeader(Stmt& s) {
  s.target = std::make_unique<Expr>();
  s.target->kind = Expr::Variable;
  s.target->at = Peek().at;
  s.target->text = Name("the loop's counter variable");
  Expect("=");
  s.value = ParseExpression();
  if (!TakeWord("TO")) {
    Error(Peek().at, "expected TO in the FOR statement, found " + Describe(Peek()));
    throw SyntaxError();
  }
  s.limit = ParseExpression();
  if (TakeWord("STEP")) s.step = ParseExpression();
}

StmtPtr Parser::ParseFor(bool counted, int depth) {
  auto s = NewStmt(Stmt::For, counted);
  Next();
  if (TakeWord("EACH")) return ParseForEach(std::move(s), depth);
  ParseHeader(*s, &Parser::ForHeader);
  const std::string counter = s->target ? s->target->text : "";
  std::string end;
  ParseBody(*s, "FOR", {"NEXT"}, depth, &end);
  if (end.empty()) {
    MissingEnd(s->at, "FOR has no NEXT");
    return s;
  }
  CloseFor(*s, counter);
  return s;
}

// FOR EACH element IN array: the element names each one in turn.
StmtPtr Parser::ParseForEach(StmtPtr s, int depth) {
  s->kind = Stmt::ForEach;
  try {
    s->target = std::make_unique<Expr>();
    s->target->kind = Expr::Variable;
    s->target->at = Peek().at;
    s->target->text = Name("the element's name after FOR EACH");
    if (!TakeWord("IN")) {
      Error(Peek().at, "expected IN after FOR EACH " + s->target->text + ", found " + Describe(Peek()));
      throw SyntaxError();
    }
    s->value = ParseNamed(0);
  } catch (SyntaxError&) {
    s->broken = true;
    while (!AtStatementEnd()) Next();
  }
  EndOfStatement();
  const std::string element = s->target->text;
  std::string end;
  ParseBody(*s, "FOR", {"NEXT"}, depth, &end);
  if (end.empty()) {
    MissingEnd(s->at, "FOR EACH has no NEXT");
    return s;
  }
  CloseFor(*s, element);
  return s;
}

// NEXT [ name ]: a name that is not the loop's counter is reported.
void Parser::CloseFor(Stmt& s, const std::string& counter) {
  TakeTerminator();
  if (At(TokenKind::Identifier)) {
    if (Peek().text != counter) Error(Peek().at, "NEXT " + std::string(Peek().text) + " closes the FOR loop of " + counter);
    Next();
  }
  (void)s;
  EndOfStatement();
}

void Parser::WhileHeader(Stmt& s) { s.value = ParseExpression(); }

StmtPtr Parser::ParseWhile(bool counted, int depth) {
  auto s = NewStmt(Stmt::While, counted);
  Next();
  ParseHeader(*s, &Parser::WhileHeader);
  std::string end;
  ParseBody(*s, "WHILE", {"WEND"}, depth, &end);
  if (end.empty()) {
    MissingEnd(s->at, "WHILE has no WEND");
    return s;
  }
  TakeTerminator();
  EndOfStatement();
  return s;
}

// REPEAT is not a statement of its own: its body's statements are.
StmtPtr Parser::ParseRepeat(int depth) {
  NoMargin();
  auto s = NewStmt(Stmt::RepeatForever, false);
  Next();
  EndOfStatement();
  std::string end;
  ParseBody(*s, "REPEAT", {"FOREVER", "UNTIL"}, depth, &end);
  if (end.empty()) {
    MissingEnd(s->at, "REPEAT has no FOREVER or UNTIL");
    return s;
  }
  TakeTerminator();
  if (end == "UNTIL") {
    s->kind = Stmt::RepeatUntil;
    ParseHeader(*s, &Parser::WhileHeader);
    return s;
  }
  EndOfStatement();
  return s;
}

// [ WHILE | UNTIL ] condition, after DO or LOOP.
void Parser::DoHeader(Stmt& s) {
  if (!AtWord("WHILE") && !AtWord("UNTIL")) return;
  s.until = AtWord("UNTIL");
  Next();
  s.value = ParseExpression();
}

// DO with a condition is a statement (it is tested first, like WHILE); a
// bare DO is not (like REPEAT).
StmtPtr Parser::ParseDo(bool counted, int depth) {
  const bool atTop = AtWord("WHILE", 1) || AtWord("UNTIL", 1);
  if (!atTop) NoMargin();
  auto s = NewStmt(Stmt::Do, counted && atTop);
  s->atTop = atTop;
  Next();
  ParseHeader(*s, &Parser::DoHeader);
  std::string end;
  ParseBody(*s, "DO", {"LOOP"}, depth, &end);
  if (end.empty()) {
    MissingEnd(s->at, "DO has no LOOP");
    return s;
  }
  TakeTerminator();
  if (AtWord("WHILE") || AtWord("UNTIL")) {
    if (atTop) Error(Peek().at, "DO ... LOOP takes its condition at one end only");
    Stmt bottom;
    ParseHeader(bottom, &Parser::DoHeader);
    if (!atTop) {
      s->value = std::move(bottom.value);
      s->until = bottom.until;
      s->broken = s->broken || bottom.broken;
    }
    return s;
  }
  EndOfStatement();
  return s;
}

void Parser::SelectHeader(Stmt& s) {
  if (!TakeWord("CASE")) {
    Error(Peek().at, "expected CASE after SELECT");
    throw SyntaxError();
  }
  s.value = ParseExpression();
}

StmtPtr Parser::ParseSelect(bool counted, int depth) {
  auto s = NewStmt(Stmt::Select, counted);
  Next();
  ParseHeader(*s, &Parser::SelectHeader);
  Block before;
  std::string end = ParseBlock(before, {"CASE", "END SELECT"}, depth);
  if (!before.empty()) Error(before.front()->at, "statements in SELECT CASE must follow a CASE");
  while (end == "CASE") {
    TakeTerminator();
    if (!ParseCaseLine(*s)) {
      end = ParseBlock(before, {"CASE", "END SELECT"}, depth);
      continue;
    }
    s->blocks.emplace_back();
    const size_t index = s->blocks.size() - 1;
    // The block runs to the next CASE or END SELECT.
    end = ParseBlock(s->blocks[index], {"CASE", "END SELECT"}, depth);
  }
  if (end.empty()) {
    MissingEnd(s->at, "SELECT CASE has no END SELECT");
    return s;
  }
  TakeTerminator();
  EndOfStatement();
  return s;
}

// The rest of a CASE line: ELSE, or values and ranges. False when it did
// not parse (the statements after it are then read and dropped).
bool Parser::ParseCaseLine(Stmt& s) {
  std::vector<CaseItem> items;
  const Position at = Peek().at;
  if (TakeWord("ELSE")) {
    if (s.hasElse) Error(at, "a second CASE ELSE");
    s.hasElse = true;
  } else {
    if (s.hasElse) Error(at, "CASE after CASE ELSE");
    try {
      for (;;) {
        CaseItem item;
        item.low = ParseExpression();
        if (TakeWord("TO")) item.high = ParseExpression();
        items.push_back(std::move(item));
        if (!TakeOp(",")) break;
      }
    } catch (SyntaxError&) {
      SkipStatement();
      return false;
    }
  }
  EndOfStatement();
  s.cases.push_back(std::move(items));
  return true;
}

}  // namespace vlmc
