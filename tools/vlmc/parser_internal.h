// vlmc's parser inside: the recursive-descent parser of one module, whose
// members are defined by stage part in parser.cpp (lines, blocks and
// declarations), parse_statements.cpp and parse_expressions.cpp.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "lexer.h"
#include "syntax.h"

namespace vlmc {

constexpr int kMaxNesting = 100;
constexpr int kMaxOperators = 2000;

class Parser {
 public:
  Parser(Lexer& lexer, int module, ProgramTree& tree, Diagnostics& diagnostics)
      : lexer_(&lexer), module_(module), tree_(tree), d_(diagnostics) {}
  void ParseModule();
  bool Complete() const { return !abandoned_; }

 private:
  struct SyntaxError {};

  // ---------------------------------------------------------------- tokens (parser.cpp)
  const Token& Peek(size_t ahead = 0) const { return lexer_->Peek(ahead); }
  bool At(TokenKind kind) const { return Peek().kind == kind; }
  void Next() { lexer_->Advance(); }
  bool Take(TokenKind kind);
  // Asked at nearly every token: compared in place, without a copy.
  bool AtOp(const char* op, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    if (t.kind != TokenKind::Operator) return false;
    size_t k = 0;
    for (; op[k] != '\0'; ++k)
      if (k >= t.text.size() || t.text[k] != op[k]) return false;
    return k == t.text.size();
  }
  bool TakeOp(const char* op);
  std::string Word(size_t ahead = 0) const;
  // Whether the token is the word (given in upper case), in any letter case.
  bool AtWord(const char* word, size_t ahead = 0) const { return IsWord(Peek(ahead), word); }
  static bool IsWord(const Token& t, const char* word);
  bool TakeWord(const char* word);
  // The end of a statement: a line end, a ':' or the end of the file.
  bool AtStatementEnd() const { return At(TokenKind::Newline) || At(TokenKind::End); }
  bool AtColon() const { return At(TokenKind::Newline) && Peek().text == ":"; }
  // An error at a token the lexer already reported is not reported again.
  void Error(Position at, const std::string& message) {
    if (!At(TokenKind::Invalid)) d_.Error(at, message);
  }
  bool ReservedAssignment();
  // A block without its end; not reported once nesting too deep or the
  // error limit ended the module (its end may well follow, unread).
  void MissingEnd(Position at, const std::string& message) {
    if (!abandoned_ && !d_.Full()) Error(at, message);
  }
  std::string Describe(const Token& token) const;
  void Expect(const char* op);
  void SkipStatement();
  void EndOfStatement();
  std::string Name(const char* what);
  [[noreturn]] void NameError(const char* what);

  // ---------------------------------------------------------------- margins (parser.cpp)
  void TakeMargin();
  void NoMargin();
  void Count(Stmt& s);

  // ---------------------------------------------------------------- lines and blocks (parser.cpp)
  bool SkipSeparators();
  bool ParseDeclarationLine(const std::string& word, Block* block);
  std::string TerminatorText();
  bool IsTerminator() { return !TerminatorText().empty(); }
  bool Encloses(const std::string& terminator) const;
  std::string ParseBlock(Block& block, std::vector<std::string> ends, int depth);
  void TakeTerminator();
  bool AtLabel() const;
  void ParseLabel(Block& block);

  // ---------------------------------------------------------------- declarations (parser.cpp)
  void ParseProject();
  void ParseDeclarations(std::vector<Declaration>& out, bool withTypes);
  bool ParseTypeName(Declaration& decl);
  void ParseParams(std::vector<Declaration>& params, bool full);
  void ParseParam(std::vector<Declaration>& params);
  void ParseFunction(bool isSub);
  void ParseDeclare();
  void ParseConst();
  void ParseType();
  void ParseField(RecordType& type);
  void ParseData();

  // ---------------------------------------------------------------- statements (parse_statements.cpp)
  StmtPtr ParseStatement(bool counted, bool inlineOnly, int depth = 0);
  StmtPtr NewStmt(Stmt::Kind kind, bool counted);
  StmtPtr ParseStatementOrThrow(bool counted, bool inlineOnly, int depth);
  StmtPtr ParseBlockStatement(const std::string& word, bool counted, int depth);
  bool HabitHint(const std::string& word);
  StmtPtr ParseLocal();
  StmtPtr ParseSimple(const std::string& word, bool counted);
  StmtPtr ParseLoopControl(Stmt::Kind kind, bool counted);
  StmtPtr ParseReturn(bool counted);
  StmtPtr ParseDim(bool counted);
  void ParseDimItem(Stmt& s);
  StmtPtr ParsePrint(bool counted);
  StmtPtr ParseGoto(bool counted);
  StmtPtr ParseRestore(bool counted);
  StmtPtr ParseTargets(Stmt::Kind kind, bool counted);
  StmtPtr ParseAppendOrRemove(Stmt::Kind kind, bool counted);
  StmtPtr ParseAssignOrCall(bool counted);
  void UnknownStatement(const Token& first);
  StmtPtr ParseIf(bool counted, bool inlineOnly, int depth);
  void ParseInlineBranch(Block& block, int depth);
  void ParseIfBlocks(Stmt& s, int depth);
  void ParseBody(Stmt& s, const char* loopKind, std::vector<std::string> ends, int depth, std::string* end);
  StmtPtr ParseFor(bool counted, int depth);
  StmtPtr ParseForEach(StmtPtr s, int depth);
  void CloseFor(Stmt& s, const std::string& counter);
  StmtPtr ParseWhile(bool counted, int depth);
  StmtPtr ParseRepeat(int depth);
  StmtPtr ParseDo(bool counted, int depth);
  StmtPtr ParseSelect(bool counted, int depth);
  bool ParseCaseLine(Stmt& s);
  void ParseHeader(Stmt& s, void (Parser::*header)(Stmt&));
  void ForHeader(Stmt& s);
  void WhileHeader(Stmt& s);
  void SelectHeader(Stmt& s);
  void DoHeader(Stmt& s);

  // ---------------------------------------------------------------- expressions (parse_expressions.cpp)
  ExprPtr ParseExpression(int depth = 0);
  static int Level(const Token& t);
  ExprPtr MakeBinary(const Token& op, ExprPtr left, ExprPtr right);
  void CheckDepth(int depth);
  ExprPtr ParseBinary(int level, int depth);
  ExprPtr ParseNot(int depth);
  ExprPtr ParseUnary(int depth);
  ExprPtr ParsePrimary(int depth);
  ExprPtr ParseNamed(int depth);
  ExprPtr ParseSuffixes(ExprPtr e, int depth);
  void ParseArguments(Expr& e, const char* close, int depth);
  [[noreturn]] void ValueError(const Token& t);

  Lexer* lexer_;
  int module_;
  ProgramTree& tree_;
  Diagnostics& d_;
  const Token* margin_ = nullptr;  // marginToken_ while the line has a number
  Token marginToken_;
  int count_ = 0;
  Function* function_ = nullptr;
  std::vector<std::string> loops_;              // the loops being parsed (FOR, WHILE, REPEAT, DO)
  std::vector<std::vector<std::string>> open_;  // the terminators the open blocks wait for
  bool lineStart_ = true;  // the next statement starts a line (a label may stand there)
  int operators_ = 0;
  bool abandoned_ = false;  // nested too deeply: the rest of the module is not read
};

}  // namespace vlmc
