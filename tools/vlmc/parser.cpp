// vlmc's parser: recursive descent over a module's tokens into the syntax
// tree, numbering the statements of each module and checking the margin.
// This part reads lines, blocks and declarations; the statements and the
// expressions have their own files. An error skips to the end of the
// statement, and a block whose header failed still reads its body, so one
// mistake is reported once and the errors after it are still found.
#include "parser.h"

#include <algorithm>

#include "names.h"
#include "parser_internal.h"

namespace vlmc {

// ------------------------------------------------------------------ token helpers

bool Parser::Take(TokenKind kind) {
  if (!At(kind)) return false;
  Next();
  return true;
}

bool Parser::TakeOp(const char* op) {
  if (!AtOp(op)) return false;
  Next();
  return true;
}

std::string Parser::Word(size_t ahead) const {
  return Peek(ahead).kind == TokenKind::Identifier ? Upper(Peek(ahead).text) : std::string();
}

bool Parser::IsWord(const Token& t, const char* word) {
  if (t.kind != TokenKind::Identifier) return false;
  size_t k = 0;
  for (; word[k] != '\0'; ++k) {
    if (k >= t.text.size()) return false;
    const char c = t.text[k];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != word[k]) return false;
  }
  return k == t.text.size();
}

bool Parser::TakeWord(const char* word) {
  if (!AtWord(word)) return false;
  Next();
  return true;
}

std::string Parser::Describe(const Token& token) const {
  switch (token.kind) {
    case TokenKind::End: return "the end of the file";
    case TokenKind::Newline: return token.text.empty() ? "the end of the line" : "':'";
    case TokenKind::String: return "text";
    case TokenKind::Number:
    case TokenKind::Margin: return "number " + std::string(token.text);
    default: return "'" + std::string(token.text) + "'";
  }
}

void Parser::Expect(const char* op) {
  if (TakeOp(op)) return;
  Error(Peek().at, std::string("expected '") + op + "', found " + Describe(Peek()));
  throw SyntaxError();
}

// Skips to the end of the statement and past it.
void Parser::SkipStatement() {
  while (!AtStatementEnd()) Next();
  if (At(TokenKind::Newline)) {
    lineStart_ = Peek().text.empty();
    Next();
  }
}

void Parser::EndOfStatement() {
  if (At(TokenKind::End)) return;
  if (At(TokenKind::Newline)) {
    lineStart_ = Peek().text.empty();
    Next();
    return;
  }
  Error(Peek().at, "expected the end of the line, found " + Describe(Peek()));
  SkipStatement();
}

std::string Parser::Name(const char* what) {
  if (At(TokenKind::Identifier) && !IsKeyword(Peek().text)) {
    std::string name(Peek().text);
    Next();
    return name;
  }
  NameError(what);
}

void Parser::NameError(const char* what) {
  if (At(TokenKind::Identifier))
    Error(Peek().at, "expected " + std::string(what) + ", found " + Upper(Peek().text) +
                         ", a reserved word (it cannot be a name)");
  else
    Error(Peek().at, std::string("expected ") + what + ", found " + Describe(Peek()));
  throw SyntaxError();
}

// ------------------------------------------------------------------ margin numbers

void Parser::TakeMargin() {
  if (At(TokenKind::Margin)) {
    marginToken_ = Peek();
    margin_ = &marginToken_;
    Next();
  } else {
    margin_ = nullptr;
  }
}

void Parser::NoMargin() {
  if (margin_) Error(margin_->at, "only statements carry a number; this line is not a statement");
  margin_ = nullptr;
}

// Numbers the statement that starts here and checks the margin.
void Parser::Count(Stmt& s) {
  s.number = ++count_;
  if (margin_ && margin_->value != count_)
    Error(margin_->at, "statement number " + std::string(margin_->text) + " does not match the count: this is statement " +
                           std::to_string(count_) + " of the module");
  margin_ = nullptr;
}

// ------------------------------------------------------------------ lines and blocks

void Parser::ParseModule() {
  Module& m = tree_.modules[module_];
  while (!d_.Full() && !abandoned_ && SkipSeparators()) {
    TakeMargin();
    if (AtLabel()) {
      if (module_ != 0) Error(Peek().at, "labels outside a FUNCTION belong in the main program (the first module)");
      ParseLabel(m.main);
      continue;
    }
    if (ParseDeclarationLine(Word(), nullptr) || ReservedAssignment()) continue;
    if (IsTerminator()) {
      Error(Peek().at, "'" + TerminatorText() + "' without the statement it closes");
      SkipStatement();
      continue;
    }
    StmtPtr s = ParseStatement(true, false);
    if (!s) continue;
    if (module_ != 0) Error(s->at, "statements outside a FUNCTION belong in the main program (the first module)");
    m.main.push_back(std::move(s));
  }
}

// Skips line ends and ':'; false at the end of the file.
bool Parser::SkipSeparators() {
  while (At(TokenKind::Newline)) {
    lineStart_ = Peek().text.empty();
    Next();
  }
  return !At(TokenKind::End);
}

// The lines that declare rather than run. In a block (block not null) only
// DATA may stand; the others are reported there.
bool Parser::ParseDeclarationLine(const std::string& word, Block* block) {
  if (!IsKeyword(word)) return false;  // each of the words below is one
  if (word == "DATA") {
    NoMargin();
    ParseData();
    return true;
  }
  if (word != "PROJECT" && word != "GLOBAL" && word != "CONST" && word != "TYPE" && word != "FUNCTION" &&
      word != "SUB" && word != "DECLARE")
    return false;
  NoMargin();
  if (block) {
    Error(Peek().at, word + " is not allowed inside a block or FUNCTION");
    SkipStatement();
    return true;
  }
  if (word == "PROJECT") {
    ParseProject();
  } else if (word == "GLOBAL") {
    Next();
    ParseDeclarations(tree_.globals, true);
    EndOfStatement();
  } else if (word == "CONST") {
    ParseConst();
  } else if (word == "TYPE") {
    ParseType();
  } else if (word == "DECLARE") {
    ParseDeclare();
  } else {
    ParseFunction(word == "SUB");
  }
  return true;
}

// The words that close a block, as one text ("END IF" is also "ENDIF";
// "END WHILE", which other BASICs write, is taken for WEND).
std::string Parser::TerminatorText() {
  // Most statements start with a name: no reserved word, so no terminator.
  if (!At(TokenKind::Identifier) || !IsKeyword(Peek().text)) return "";
  const std::string w = Word();
  if (w == "END") {
    const std::string next = Word(1);
    if (next == "FUNCTION" || next == "SUB" || next == "IF" || next == "SELECT" || next == "TYPE") return "END " + next;
    return next == "WHILE" ? "WEND" : "";
  }
  if (w == "ENDIF") return "END IF";
  if (w == "NEXT" || w == "ELSE" || w == "ELSEIF" || w == "WEND" || w == "FOREVER" || w == "UNTIL" || w == "CASE" ||
      w == "LOOP")
    return w;
  return "";
}

// Whether a block around the innermost open one waits for the terminator.
bool Parser::Encloses(const std::string& terminator) const {
  for (size_t k = 0; k + 1 < open_.size(); ++k)
    if (std::find(open_[k].begin(), open_[k].end(), terminator) != open_[k].end()) return true;
  return false;
}

// Parses statements up to one of the terminators (left unconsumed) and
// returns it; "" at the end of the file or at a terminator of an enclosing
// block. A terminator no open block waits for is reported and skipped.
std::string Parser::ParseBlock(Block& block, std::vector<std::string> ends, int depth) {
  open_.push_back(ends);
  std::string found;
  while (!d_.Full() && !abandoned_ && SkipSeparators()) {
    TakeMargin();
    if (AtLabel()) {
      ParseLabel(block);
      continue;
    }
    if (ReservedAssignment()) continue;
    const std::string term = TerminatorText();
    if (!term.empty()) {
      NoMargin();
      if (std::find(ends.begin(), ends.end(), term) != ends.end()) {
        found = term;
        break;
      }
      if (Encloses(term)) break;
      Error(Peek().at, "'" + term + "' without the statement it closes");
      SkipStatement();
      continue;
    }
    const std::string word = Word();
    if (word == "FUNCTION" || word == "SUB") break;  // this block is missing its end
    if (ParseDeclarationLine(word, &block)) continue;
    StmtPtr s = ParseStatement(true, false, depth + 1);
    if (s) block.push_back(std::move(s));
  }
  open_.pop_back();
  return found;
}

// A reserved word assigned to as if it were a variable (next = 1).
bool Parser::ReservedAssignment() {
  if (!At(TokenKind::Identifier) || !IsKeyword(Peek().text) || !AtOp("=", 1)) return false;
  Error(Peek().at, Word() + " is a reserved word; it cannot name a variable");
  margin_ = nullptr;
  SkipStatement();
  return true;
}

// Consumes the terminator's words.
void Parser::TakeTerminator() {
  if (AtWord("END")) {
    Next();
    if (AtWord("WHILE")) Error(Peek().at, "WHILE loops end with WEND in this language (END WHILE is taken for it)");
  }
  Next();
}

// name: at the start of a line.
bool Parser::AtLabel() const {
  return lineStart_ && At(TokenKind::Identifier) && Peek(1).kind == TokenKind::Newline && Peek(1).text == ":" &&
         !IsKeyword(Peek().text);
}

void Parser::ParseLabel(Block& block) {
  NoMargin();
  auto s = std::make_unique<Stmt>();
  s->kind = Stmt::Label;
  s->at = Peek().at;
  s->exitKind = std::string(Peek().text);
  s->dataIndex = static_cast<int>(tree_.data.size());
  Next();
  block.push_back(std::move(s));
}

// ------------------------------------------------------------------ declarations

void Parser::ParseProject() {
  Next();
  for (;;) {
    Setting setting;
    setting.at = Peek().at;
    try {
      setting.key = Name("a setting name");
      Expect("=");
      setting.value = ParseExpression();
    } catch (SyntaxError&) {
      SkipStatement();
      return;
    }
    tree_.settings.push_back(std::move(setting));
    if (!TakeOp(",")) break;
  }
  EndOfStatement();
}

// name [ "[" "]" ] [ AS Type ] { "," ... }
void Parser::ParseDeclarations(std::vector<Declaration>& out, bool withTypes) {
  try {
    for (;;) {
      Declaration decl;
      decl.at = Peek().at;
      decl.name = Name("a variable name");
      if (TakeOp("[")) {
        Expect("]");
        decl.isArray = true;
      }
      if (withTypes) ParseTypeName(decl);
      out.push_back(std::move(decl));
      if (!TakeOp(",")) break;
    }
  } catch (SyntaxError&) {
    while (!AtStatementEnd()) Next();
  }
}

// [ AS TypeName ].
bool Parser::ParseTypeName(Declaration& decl) {
  if (!TakeWord("AS")) return false;
  decl.typeAt = Peek().at;
  decl.typeName = Name("a TYPE name after AS");
  return true;
}

// "(" [ param { "," param } ] ")"; full: the parameters of a FUNCTION or SUB
// (BYREF, arrays, records, defaults); else plain names.
void Parser::ParseParams(std::vector<Declaration>& params, bool full) {
  Expect("(");
  if (TakeOp(")")) return;
  for (;;) {
    if (full) {
      ParseParam(params);
    } else {
      Declaration decl;
      decl.at = Peek().at;
      decl.name = Name("a parameter name");
      params.push_back(std::move(decl));
    }
    if (TakeOp(")")) break;
    Expect(",");
  }
}

// [ BYREF ] name [ "[" "]" ] [ AS Type ] [ "=" constant ]
void Parser::ParseParam(std::vector<Declaration>& params) {
  Declaration decl;
  decl.byRef = TakeWord("BYREF");
  decl.at = Peek().at;
  decl.name = Name("a parameter name");
  if (TakeOp("[")) {
    Expect("]");
    decl.isArray = true;
  }
  ParseTypeName(decl);
  if (TakeOp("=")) decl.defaultValue = ParseExpression();
  params.push_back(std::move(decl));
}

void Parser::ParseFunction(bool isSub) {
  const char* kind = isSub ? "SUB" : "FUNCTION";
  const Position at = Peek().at;
  Next();
  auto f = std::make_unique<Function>();
  f->at = Peek().at;
  f->module = module_;
  f->isSub = isSub;
  try {
    f->name = Name(isSub ? "the SUB's name" : "the function's name");
    if (AtOp("(")) ParseParams(f->params, true);
    EndOfStatement();
  } catch (SyntaxError&) {
    SkipStatement();
  }
  if (f->name.empty()) f->name = "?";
  Function* current = f.get();
  tree_.functions.push_back(std::move(f));
  function_ = current;
  const std::string end = ParseBlock(current->body, {"END FUNCTION", "END SUB"}, 0);
  function_ = nullptr;
  if (end.empty()) {
    MissingEnd(at, std::string(kind) + " " + current->name + " has no END " + kind);
    return;
  }
  if (end != std::string("END ") + kind) Error(Peek().at, std::string(kind) + " " + current->name + " ends with END " + kind);
  TakeTerminator();
  EndOfStatement();
}

void Parser::ParseDeclare() {
  Next();
  Declare decl;
  try {
    TakeWord("FUNCTION");
    decl.at = Peek().at;
    decl.name = Name("the declared function's name");
    ParseParams(decl.params, false);
    if (!TakeWord("LIB")) {
      Error(Peek().at, "expected LIB \"library\" after the declared function's parameters");
      throw SyntaxError();
    }
    if (!At(TokenKind::String)) {
      Error(Peek().at, "expected the library's name in quotes");
      throw SyntaxError();
    }
    decl.library = std::string(Peek().text);
    Next();
    decl.entry = decl.name;
    if (!decl.entry.empty() && decl.entry.back() == '$') decl.entry.pop_back();
    if (TakeWord("ALIAS")) {
      if (!At(TokenKind::String)) {
        Error(Peek().at, "expected the entry's name in quotes after ALIAS");
        throw SyntaxError();
      }
      decl.entry = std::string(Peek().text);
      Next();
    }
    EndOfStatement();
    tree_.declares.push_back(std::move(decl));
  } catch (SyntaxError&) {
    SkipStatement();
  }
}

// CONST name = value { "," name = value }
void Parser::ParseConst() {
  Next();
  try {
    for (;;) {
      Constant c;
      c.at = Peek().at;
      c.name = Name("the constant's name");
      Expect("=");
      c.value = ParseExpression();
      tree_.constants.push_back(std::move(c));
      if (!TakeOp(",")) break;
    }
    EndOfStatement();
  } catch (SyntaxError&) {
    SkipStatement();
  }
}

// TYPE name, its field lines, END TYPE.
void Parser::ParseType() {
  const Position at = Peek().at;
  Next();
  auto type = std::make_unique<RecordType>();
  type->at = Peek().at;
  try {
    type->name = Name("the TYPE's name");
    EndOfStatement();
  } catch (SyntaxError&) {
    SkipStatement();
  }
  RecordType& t = *type;
  if (!t.name.empty()) tree_.types.push_back(std::move(type));
  while (SkipSeparators()) {
    TakeMargin();
    NoMargin();
    if (AtWord("END") && AtWord("TYPE", 1)) {
      TakeTerminator();
      EndOfStatement();
      return;
    }
    const std::string w = Word();
    if (IsTerminator() || w == "FUNCTION" || w == "SUB" || w == "TYPE" || w == "GLOBAL") break;
    try {
      for (ParseField(t); TakeOp(",");) ParseField(t);
      EndOfStatement();
    } catch (SyntaxError&) {
      SkipStatement();
    }
  }
  MissingEnd(at, "TYPE " + t.name + " has no END TYPE");
}

// name [ "[" size { "," size } "]" ] [ AS Type ]
void Parser::ParseField(RecordType& type) {
  FieldDeclaration field;
  field.at = Peek().at;
  field.name = Name("a field name");
  if (TakeOp("[")) {
    field.isArray = true;
    for (;;) {
      field.sizes.push_back(ParseExpression());
      if (TakeOp("]")) break;
      Expect(",");
    }
  }
  Declaration named;
  if (ParseTypeName(named)) {
    field.typeName = named.typeName;
    field.typeAt = named.typeAt;
  }
  type.declarations.push_back(std::move(field));
}

// DATA value { "," value }: the values join the program's one list.
void Parser::ParseData() {
  Next();
  try {
    for (;;) {
      tree_.data.push_back(ParseExpression());
      if (!TakeOp(",")) break;
    }
    EndOfStatement();
  } catch (SyntaxError&) {
    SkipStatement();
  }
}

bool Parse(Lexer& lexer, int moduleIndex, ProgramTree& tree, Diagnostics& diagnostics) {
  Parser parser(lexer, moduleIndex, tree, diagnostics);
  parser.ParseModule();
  return parser.Complete();
}

}  // namespace vlmc
