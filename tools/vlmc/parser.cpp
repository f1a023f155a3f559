// vlmc's parser: recursive descent over a module's tokens into the syntax
// tree, numbering the statements of each module and checking the margin.
#include "parser.h"

#include <set>

#include "names.h"

namespace vlmc {
namespace {

const std::set<std::string>& Keywords() {
  static const std::set<std::string> words = {
      "AND", "OR", "NOT", "MOD", "IF", "THEN", "ELSE", "ELSEIF", "ENDIF", "END", "FOR", "TO", "STEP", "NEXT",
      "WHILE", "WEND", "REPEAT", "UNTIL", "FOREVER", "EXIT", "SELECT", "CASE", "RETURN", "FUNCTION", "GLOBAL",
      "LOCAL", "DIM", "DECLARE", "LIB", "ALIAS", "PROJECT", "PRINT"};
  return words;
}

constexpr int kMaxNesting = 100;
constexpr int kMaxOperators = 2000;

class Parser {
 public:
  Parser(Lexer& lexer, int module, ProgramTree& tree, Diagnostics& diagnostics)
      : lexer_(&lexer), module_(module), tree_(tree), d_(diagnostics) {}

  void ParseModule() {
    Module& m = tree_.modules[module_];
    while (!At(TokenKind::End) && !d_.Full()) {
      if (Take(TokenKind::Newline)) continue;
      TakeMargin();
      const std::string word = Word();
      if (word == "PROJECT") {
        NoMargin();
        ParseProject();
      } else if (word == "GLOBAL") {
        NoMargin();
        Next();
        ParseDeclarations(tree_.globals);
        EndOfLine();
      } else if (word == "FUNCTION") {
        NoMargin();
        ParseFunction();
      } else if (word == "DECLARE") {
        NoMargin();
        ParseDeclare();
      } else if (IsTerminator()) {
        Error(Peek().at, "'" + TerminatorText() + "' without the statement it closes");
        SkipLine();
      } else {
        StmtPtr s = ParseStatement(true, false);
        if (s) {
          if (module_ != 0)
            Error(s->at, "statements outside a FUNCTION belong in the main program (the first module)");
          m.main.push_back(std::move(s));
        }
      }
    }
  }

 private:
  // -------------------------------------------------------------- token helpers
  const Token& Peek(size_t ahead = 0) const { return lexer_->Peek(ahead); }
  bool At(TokenKind kind) const { return Peek().kind == kind; }
  void Next() { lexer_->Advance(); }
  bool Take(TokenKind kind) {
    if (!At(kind)) return false;
    Next();
    return true;
  }
  bool AtOp(const char* op, size_t ahead = 0) const {
    return Peek(ahead).kind == TokenKind::Operator && Peek(ahead).text == op;
  }
  bool TakeOp(const char* op) {
    if (!AtOp(op)) return false;
    Next();
    return true;
  }
  std::string Word(size_t ahead = 0) const {
    return Peek(ahead).kind == TokenKind::Identifier ? Upper(Peek(ahead).text) : std::string();
  }
  bool TakeWord(const char* word) {
    if (Word() != word) return false;
    Next();
    return true;
  }
  void Error(Position at, const std::string& message) {
    d_.Error(at, message);
    failed_ = true;
  }
  std::string Describe(const Token& token) const {
    switch (token.kind) {
      case TokenKind::End: return "the end of the file";
      case TokenKind::Newline: return "the end of the line";
      case TokenKind::String: return "text";
      case TokenKind::Number:
      case TokenKind::Margin: return "number " + std::string(token.text);
      default: return "'" + std::string(token.text) + "'";
    }
  }
  void Expect(const char* op) {
    if (TakeOp(op)) return;
    Error(Peek().at, std::string("expected '") + op + "', found " + Describe(Peek()));
    throw SyntaxError();
  }
  void SkipLine() {
    while (!At(TokenKind::Newline) && !At(TokenKind::End)) Next();
    Take(TokenKind::Newline);
  }
  void EndOfLine() {
    if (Take(TokenKind::Newline) || At(TokenKind::End)) return;
    Error(Peek().at, "expected the end of the line, found " + Describe(Peek()));
    SkipLine();
  }
  std::string Name(const char* what) {
    if (At(TokenKind::Identifier) && !Keywords().count(Upper(Peek().text))) {
      std::string name(Peek().text);
      Next();
      return name;
    }
    Error(Peek().at, std::string("expected ") + what + ", found " + Describe(Peek()));
    throw SyntaxError();
  }

  struct SyntaxError {};

  // -------------------------------------------------------------- margin numbers
  void TakeMargin() {
    hasMargin_ = At(TokenKind::Margin);
    if (hasMargin_) {
      marginToken_ = Peek();
      margin_ = &marginToken_;
      Next();
    } else {
      margin_ = nullptr;
    }
  }
  void NoMargin() {
    if (margin_) Error(margin_->at, "only statements carry a number; this line is not a statement");
    margin_ = nullptr;
  }
  // Numbers the statement that starts here and checks the margin.
  void Count(Stmt& s) {
    s.number = ++count_;
    if (margin_ && margin_->value != count_)
      Error(margin_->at, "statement number " + std::string(margin_->text) + " does not match the count: this is statement " +
                             std::to_string(count_) + " of the module");
    margin_ = nullptr;
  }

  // -------------------------------------------------------------- declarations
  void ParseProject() {
    Next();
    for (;;) {
      Setting setting;
      setting.at = Peek().at;
      try {
        setting.key = Name("a setting name");
        Expect("=");
        setting.value = ParseExpression();
      } catch (SyntaxError&) {
        SkipLine();
        return;
      }
      tree_.settings.push_back(std::move(setting));
      if (!TakeOp(",")) break;
    }
    EndOfLine();
  }

  void ParseDeclarations(std::vector<Declaration>& out) {
    try {
      for (;;) {
        Declaration decl;
        decl.at = Peek().at;
        decl.name = Name("a variable name");
        if (TakeOp("[")) {
          Expect("]");
          decl.isArray = true;
        }
        out.push_back(decl);
        if (!TakeOp(",")) break;
      }
    } catch (SyntaxError&) {
      while (!At(TokenKind::Newline) && !At(TokenKind::End)) Next();
    }
  }

  void ParseParams(std::vector<Declaration>& params) {
    Expect("(");
    if (!TakeOp(")")) {
      for (;;) {
        Declaration decl;
        decl.at = Peek().at;
        decl.name = Name("a parameter name");
        params.push_back(decl);
        if (TakeOp(")")) break;
        Expect(",");
      }
    }
  }

  void ParseFunction() {
    const Position at = Peek().at;
    Next();
    auto f = std::make_unique<Function>();
    f->at = Peek().at;
    f->module = module_;
    try {
      f->name = Name("the function's name");
      if (AtOp("("))
        ParseParams(f->params);
      EndOfLine();
    } catch (SyntaxError&) {
      SkipLine();
    }
    if (f->name.empty()) f->name = "?";
    Function* current = f.get();
    tree_.functions.push_back(std::move(f));
    function_ = current;
    const std::string end = ParseBlock(current->body, {"END FUNCTION"}, 0);
    function_ = nullptr;
    if (end != "END FUNCTION") {
      Error(at, "FUNCTION " + current->name + " has no END FUNCTION");
      return;
    }
    TakeTerminator();
    EndOfLine();
  }

  void ParseDeclare() {
    Next();
    Declare decl;
    try {
      TakeWord("FUNCTION");
      decl.at = Peek().at;
      decl.name = Name("the declared function's name");
      ParseParams(decl.params);
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
      EndOfLine();
      tree_.declares.push_back(std::move(decl));
    } catch (SyntaxError&) {
      SkipLine();
    }
  }

  // -------------------------------------------------------------- blocks

  // The words that close a block, as one text ("END IF" is also "ENDIF").
  std::string TerminatorText() const {
    const std::string w = Word();
    if (w == "END") {
      const std::string next = Word(1);
      if (next == "FUNCTION" || next == "IF" || next == "SELECT") return "END " + next;
      return "";
    }
    if (w == "ENDIF") return "END IF";
    if (w == "NEXT" || w == "ELSE" || w == "ELSEIF" || w == "WEND" || w == "FOREVER" || w == "UNTIL" || w == "CASE")
      return w;
    return "";
  }
  bool IsTerminator() const { return !TerminatorText().empty(); }

  // Parses statements up to one of the terminators (left unconsumed) and
  // returns it; "" at the end of the file or a terminator of another block.
  std::string ParseBlock(Block& block, std::initializer_list<const char*> ends, int depth) {
    while (!d_.Full()) {
      if (Take(TokenKind::Newline)) continue;
      if (At(TokenKind::End)) return "";
      TakeMargin();
      const std::string term = TerminatorText();
      if (!term.empty()) {
        NoMargin();
        for (const char* e : ends)
          if (term == e) return term;
        // A terminator of an enclosing block: this block is missing its end.
        return "";
      }
      const std::string word = Word();
      if (word == "FUNCTION" || word == "GLOBAL" || word == "PROJECT" || word == "DECLARE") {
        if (word == "FUNCTION") return "";
        Error(Peek().at, word + " is not allowed inside a block or FUNCTION");
        margin_ = nullptr;
        SkipLine();
        continue;
      }
      StmtPtr s = ParseStatement(true, false, depth + 1);
      if (s) block.push_back(std::move(s));
    }
    return "";
  }

  // Consumes the terminator words (and END's second word).
  void TakeTerminator() {
    if (Word() == "END") Next();
    Next();
  }

  // -------------------------------------------------------------- statements

  StmtPtr ParseStatement(bool counted, bool inlineOnly, int depth = 0) {
    try {
      if (depth > kMaxNesting) {
        Error(Peek().at, "blocks nested too deeply");
        throw SyntaxError();
      }
      return ParseStatementOrThrow(counted, inlineOnly, depth);
    } catch (SyntaxError&) {
      margin_ = nullptr;
      SkipLine();
      return nullptr;
    }
  }

  StmtPtr NewStmt(Stmt::Kind kind, bool counted) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->at = Peek().at;
    if (counted) Count(*s);
    return s;
  }

  StmtPtr ParseStatementOrThrow(bool counted, bool inlineOnly, int depth) {
    if (depth > kMaxNesting) {
      Error(Peek().at, "statements nested too deeply");
      throw SyntaxError();
    }
    if (!inlineOnly) operators_ = 0;
    const std::string word = Word();
    if (word == "LOCAL") return ParseLocal(inlineOnly);
    if (word == "IF") return ParseIf(counted, inlineOnly, depth);
    if (word == "FOR" || word == "WHILE" || word == "REPEAT" || word == "SELECT") {
      if (inlineOnly) {
        Error(Peek().at, word + " cannot follow THEN or ELSE on the same line");
        throw SyntaxError();
      }
      if (word == "FOR") return ParseFor(counted, depth);
      if (word == "WHILE") return ParseWhile(counted, depth);
      if (word == "REPEAT") return ParseRepeat(depth);
      return ParseSelect(counted, depth);
    }
    StmtPtr s = ParseSimple(word, counted);
    if (!inlineOnly) EndOfLine();
    return s;
  }

  StmtPtr ParseLocal(bool inlineOnly) {
    if (inlineOnly) {
      Error(Peek().at, "LOCAL must stand on a line of its own");
      throw SyntaxError();
    }
    NoMargin();
    if (!function_) Error(Peek().at, "LOCAL belongs in a FUNCTION; the main program's variables are declared by use or GLOBAL");
    auto s = NewStmt(Stmt::Local, false);
    Next();
    ParseDeclarations(s->declarations);
    EndOfLine();
    return s;
  }

  // A statement that may follow THEN or ELSE on the same line.
  StmtPtr ParseSimple(const std::string& word, bool counted) {
    if (word == "EXIT") return ParseExit(counted);
    if (word == "RETURN") return ParseReturn(counted);
    if (word == "END") {
      StmtPtr s = NewStmt(Stmt::End, counted);
      Next();
      return s;
    }
    if (word == "DIM") return ParseDim(counted);
    if (word == "PRINT") return ParsePrint(counted);
    if (At(TokenKind::Identifier) && !Keywords().count(word)) return ParseAssignOrCall(counted);
    Error(Peek().at, "expected a statement, found " + Describe(Peek()));
    throw SyntaxError();
  }

  StmtPtr ParseExit(bool counted) {
    StmtPtr s = NewStmt(Stmt::Exit, counted);
    Next();
    s->exitKind = Word();
    if (s->exitKind != "FOR" && s->exitKind != "WHILE" && s->exitKind != "REPEAT") {
      Error(Peek().at, "expected FOR, WHILE or REPEAT after EXIT");
      throw SyntaxError();
    }
    bool inside = false;
    for (const std::string& loop : loops_) inside = inside || loop == s->exitKind;
    if (!inside) Error(s->at, "EXIT " + s->exitKind + " outside a " + s->exitKind + " loop");
    Next();
    return s;
  }

  StmtPtr ParseReturn(bool counted) {
    StmtPtr s = NewStmt(Stmt::Return, counted);
    Next();
    if (!At(TokenKind::Newline) && !At(TokenKind::End) && Word() != "ELSE") {
      s->value = ParseExpression();
      if (function_)
        function_->returnsValue = true;
      else
        Error(s->at, "RETURN with a value outside a FUNCTION");
    }
    return s;
  }

  StmtPtr ParseDim(bool counted) {
    StmtPtr s = NewStmt(Stmt::Dim, counted);
    Next();
    for (;;) {
      ExprPtr e = ParsePrimary(0);
      if (e->kind != Expr::Element) {
        Error(e->at, "DIM needs an array and its sizes, as in DIM a[10]");
        throw SyntaxError();
      }
      s->exprs.push_back(std::move(e));
      if (!TakeOp(",")) break;
    }
    return s;
  }

  StmtPtr ParsePrint(bool counted) {
    StmtPtr s = NewStmt(Stmt::Print, counted);
    Next();
    while (!At(TokenKind::Newline) && !At(TokenKind::End) && Word() != "ELSE") {
      s->exprs.push_back(ParseExpression());
      if (TakeOp(";")) {
        s->newline = false;
        continue;
      }
      s->newline = true;
      break;
    }
    return s;
  }

  StmtPtr ParseAssignOrCall(bool counted) {
    StmtPtr s = NewStmt(Stmt::Assign, counted);
    ExprPtr e = ParsePrimary(0);
    if (TakeOp("=")) {
      if (e->kind != Expr::Variable && e->kind != Expr::Element) {
        Error(e->at, "only a variable or an array element can be assigned");
        throw SyntaxError();
      }
      s->target = std::move(e);
      s->value = ParseExpression();
    } else if (e->kind == Expr::Call || e->kind == Expr::Variable) {
      if (e->kind == Expr::Variable) {
        e->kind = Expr::Call;
        e->bare = true;
      }
      s->kind = Stmt::CallStatement;
      s->exprs.push_back(std::move(e));
    } else {
      Error(Peek().at, "expected '=' after the array element");
      throw SyntaxError();
    }
    return s;
  }

  StmtPtr ParseIf(bool counted, bool inlineOnly, int depth) {
    auto s = NewStmt(Stmt::If, counted);
    Next();
    s->exprs.push_back(ParseExpression());
    const bool then = TakeWord("THEN");
    if (then && !At(TokenKind::Newline) && !At(TokenKind::End)) {
      // One line: IF c THEN statement [ELSE statement].
      s->blocks.emplace_back();
      StmtPtr inner = ParseStatementOrThrow(false, true, depth + 1);
      s->blocks.back().push_back(std::move(inner));
      if (TakeWord("ELSE")) {
        s->hasElse = true;
        s->blocks.emplace_back();
        StmtPtr other = ParseStatementOrThrow(false, true, depth + 1);
        s->blocks.back().push_back(std::move(other));
      }
      if (!inlineOnly) EndOfLine();
      return s;
    }
    if (inlineOnly) {
      Error(s->at, "an IF block cannot follow THEN or ELSE on the same line");
      throw SyntaxError();
    }
    EndOfLine();
    for (;;) {
      s->blocks.emplace_back();
      const std::string end = ParseBlock(s->blocks.back(), {"ELSEIF", "ELSE", "END IF"}, depth);
      if (end.empty()) {
        Error(s->at, "IF has no END IF (or ENDIF)");
        return s;
      }
      const Position at = Peek().at;
      TakeTerminator();
      if (end == "END IF") break;
      if (s->hasElse) {
        Error(at, end + " after ELSE");
        SkipLine();
        continue;
      }
      if (end == "ELSEIF") {
        s->exprs.push_back(ParseExpression());
        TakeWord("THEN");
      } else {
        s->hasElse = true;
      }
      EndOfLine();
    }
    EndOfLine();
    return s;
  }

  StmtPtr ParseFor(bool counted, int depth) {
    auto s = NewStmt(Stmt::For, counted);
    Next();
    const Position at = Peek().at;
    s->target = std::make_unique<Expr>();
    s->target->kind = Expr::Variable;
    s->target->at = at;
    s->target->text = Name("the loop's counter variable");
    Expect("=");
    s->value = ParseExpression();
    if (!TakeWord("TO")) {
      Error(Peek().at, "expected TO in the FOR statement, found " + Describe(Peek()));
      throw SyntaxError();
    }
    s->limit = ParseExpression();
    if (TakeWord("STEP")) s->step = ParseExpression();
    EndOfLine();
    loops_.push_back("FOR");
    s->blocks.emplace_back();
    const std::string end = ParseBlock(s->blocks.back(), {"NEXT"}, depth);
    loops_.pop_back();
    if (end.empty()) {
      Error(s->at, "FOR has no NEXT");
      return s;
    }
    TakeTerminator();
    if (At(TokenKind::Identifier) && Peek().text != s->target->text) {
      Error(Peek().at, "NEXT " + std::string(Peek().text) + " closes the FOR loop of " + s->target->text);
      Next();
    } else if (At(TokenKind::Identifier)) {
      Next();
    }
    EndOfLine();
    return s;
  }

  StmtPtr ParseWhile(bool counted, int depth) {
    auto s = NewStmt(Stmt::While, counted);
    Next();
    s->value = ParseExpression();
    EndOfLine();
    loops_.push_back("WHILE");
    s->blocks.emplace_back();
    const std::string end = ParseBlock(s->blocks.back(), {"WEND"}, depth);
    loops_.pop_back();
    if (end.empty()) {
      Error(s->at, "WHILE has no WEND");
      return s;
    }
    TakeTerminator();
    EndOfLine();
    return s;
  }

  // REPEAT is not a statement of its own: its body's statements are.
  StmtPtr ParseRepeat(int depth) {
    NoMargin();
    auto s = NewStmt(Stmt::RepeatForever, false);
    Next();
    EndOfLine();
    loops_.push_back("REPEAT");
    s->blocks.emplace_back();
    const std::string end = ParseBlock(s->blocks.back(), {"FOREVER", "UNTIL"}, depth);
    loops_.pop_back();
    if (end.empty()) {
      Error(s->at, "REPEAT has no FOREVER or UNTIL");
      return s;
    }
    TakeTerminator();
    if (end == "UNTIL") {
      s->kind = Stmt::RepeatUntil;
      s->value = ParseExpression();
    }
    EndOfLine();
    return s;
  }

  StmtPtr ParseSelect(bool counted, int depth) {
    auto s = NewStmt(Stmt::Select, counted);
    Next();
    if (!TakeWord("CASE")) {
      Error(Peek().at, "expected CASE after SELECT");
      throw SyntaxError();
    }
    s->value = ParseExpression();
    EndOfLine();
    for (;;) {
      Block before;
      const std::string end = ParseBlock(before, {"CASE", "END SELECT"}, depth);
      if (!before.empty()) Error(before.front()->at, "statements in SELECT CASE must follow a CASE");
      if (end.empty()) {
        Error(s->at, "SELECT CASE has no END SELECT");
        return s;
      }
      TakeTerminator();
      if (end == "END SELECT") break;
      std::vector<CaseItem> items;
      const Position at = Peek().at;
      if (TakeWord("ELSE")) {
        if (s->hasElse) Error(at, "a second CASE ELSE");
        s->hasElse = true;
      } else {
        if (s->hasElse) Error(at, "CASE after CASE ELSE");
        try {
          for (;;) {
            CaseItem item;
            item.low = ParseExpression();
            if (TakeWord("TO")) item.high = ParseExpression();
            items.push_back(std::move(item));
            if (!TakeOp(",")) break;
          }
        } catch (SyntaxError&) {
          SkipLine();
          continue;
        }
      }
      EndOfLine();
      s->cases.push_back(std::move(items));
      s->blocks.emplace_back();
      const size_t index = s->blocks.size() - 1;
      // The block runs to the next CASE or END SELECT, which the loop reads.
      const std::string next = ParseBlock(s->blocks[index], {"CASE", "END SELECT"}, depth);
      if (next.empty()) {
        Error(s->at, "SELECT CASE has no END SELECT");
        return s;
      }
      if (next == "END SELECT") {
        TakeTerminator();
        break;
      }
    }
    EndOfLine();
    return s;
  }

  // -------------------------------------------------------------- expressions
  // OR < AND < NOT < comparison < + - < * / MOD < unary - < ^ < primary

  ExprPtr ParseExpression(int depth = 0) { return ParseBinary(1, depth); }

  static int Level(const Token& t) {
    if (t.kind == TokenKind::Identifier) {
      const std::string w = Upper(t.text);
      if (w == "OR") return 1;
      if (w == "AND") return 2;
      if (w == "MOD") return 5;
      return 0;
    }
    if (t.kind != TokenKind::Operator) return 0;
    const std::string_view o = t.text;
    if (o == "=" || o == "<>" || o == "<" || o == ">" || o == "<=" || o == ">=") return 3;
    if (o == "+" || o == "-") return 4;
    if (o == "*" || o == "/") return 5;
    return 0;
  }

  ExprPtr MakeBinary(const Token& op, ExprPtr left, ExprPtr right) {
    // Chains of operators build deep trees, which later passes walk recursively.
    if (++operators_ > kMaxOperators) {
      Error(op.at, "expression too long (more than " + std::to_string(kMaxOperators) + " operators in one statement)");
      throw SyntaxError();
    }
    auto e = std::make_unique<Expr>();
    e->kind = Expr::Binary;
    e->at = op.at;
    e->text = op.kind == TokenKind::Identifier ? Upper(op.text) : std::string(op.text);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
  }

  void CheckDepth(int depth) {
    if (depth > kMaxNesting) {
      Error(Peek().at, "expression nested too deeply");
      throw SyntaxError();
    }
  }

  ExprPtr ParseBinary(int level, int depth) {
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

  ExprPtr ParseNot(int depth) {
    if (Word() == "NOT") {
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

  ExprPtr ParseUnary(int depth) {
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

  ExprPtr ParsePrimary(int depth) {
    CheckDepth(depth);
    auto e = std::make_unique<Expr>();
    const Token& t = Peek();
    e->at = t.at;
    if (t.kind == TokenKind::Number || t.kind == TokenKind::Margin) {
      e->kind = Expr::Number;
      e->text = std::string(t.text);
      e->value = t.value;
      Next();
      return e;
    }
    if (t.kind == TokenKind::String) {
      e->kind = Expr::String;
      e->text = std::string(t.text);
      Next();
      return e;
    }
    if (TakeOp("(")) {
      ExprPtr inner = ParseExpression(depth + 1);
      Expect(")");
      return inner;
    }
    if (t.kind == TokenKind::Identifier && !Keywords().count(Upper(t.text))) {
      e->text = std::string(t.text);
      Next();
      if (TakeOp("(")) {
        e->kind = Expr::Call;
        if (!TakeOp(")")) {
          for (;;) {
            e->args.push_back(ParseExpression(depth + 1));
            if (TakeOp(")")) break;
            Expect(",");
          }
        }
      } else if (TakeOp("[")) {
        e->kind = Expr::Element;
        for (;;) {
          e->args.push_back(ParseExpression(depth + 1));
          if (TakeOp("]")) break;
          Expect(",");
        }
      } else {
        e->kind = Expr::Variable;
      }
      return e;
    }
    Error(t.at, "expected a value, found " + Describe(t));
    throw SyntaxError();
  }

  Lexer* lexer_;
  int module_;
  ProgramTree& tree_;
  Diagnostics& d_;
  const Token* margin_ = nullptr;  // marginToken_ while the line has a number
  Token marginToken_;
  bool hasMargin_ = false;
  int count_ = 0;
  Function* function_ = nullptr;
  std::vector<std::string> loops_;
  int operators_ = 0;
  bool failed_ = false;
};

}  // namespace

void Parse(Lexer& lexer, int moduleIndex, ProgramTree& tree, Diagnostics& diagnostics) {
  Parser parser(lexer, moduleIndex, tree, diagnostics);
  parser.ParseModule();
}

}  // namespace vlmc
