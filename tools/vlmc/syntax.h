// vlmc's internal view of a program: tokens, the syntax tree, the binding
// table of runtime operations and the diagnostics collected on the way.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vlmc.h"

namespace vlmc {

// ---------------------------------------------------------------- diagnostics

struct Position {
  int file = 0;
  int line = 0;  // 1-based
  int column = 0;  // 1-based
};

class Diagnostics {
 public:
  explicit Diagnostics(const std::vector<SourceFile>& files) : files_(files) {}
  void Error(Position at, const std::string& message);
  int Count() const { return count_; }
  bool Full() const { return count_ >= kMaxErrors; }
  const std::string& Text() const { return text_; }

  static constexpr int kMaxErrors = 20;

 private:
  const std::vector<SourceFile>& files_;
  std::string text_;
  int count_ = 0;
};

// The nearest of the candidates by edit distance (letter case counting
// half), or "" when none is close enough to be a likely typo.
std::string NearestName(const std::string& name, const std::vector<std::string>& candidates);

// ---------------------------------------------------------------- tokens

enum class TokenKind { End, Newline, Identifier, Number, String, Operator, Margin };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;  // identifier, operator, number as written, string contents
  double value = 0;       // numbers and margins
  Position at;
};

// Reads a file's tokens as the parser asks for them. Token texts point into
// the file's text, or into texts for string literals that had to be
// unescaped; both must outlive the tokens.
class Lexer {
 public:
  Lexer(const SourceFile& file, int fileIndex, Diagnostics& diagnostics, std::deque<std::string>& texts);
  // The token `ahead` places after the current one (the end token repeats).
  const Token& Peek(size_t ahead = 0);
  // Moves to the next token; stays on the end token.
  void Advance();

 private:
  void Step();

  const SourceFile& file_;
  int fileIndex_;
  Diagnostics& d_;
  std::deque<std::string>& texts_;
  std::deque<Token> queue_;
  size_t i_ = 0;
  int line_ = 1;
  size_t lineStart_ = 0;
  bool lineHasToken_ = false;
  bool finished_ = false;
};

// ---------------------------------------------------------------- syntax tree

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum Kind { Number, String, Variable, Element, Call, Unary, Binary } kind = Number;
  Position at;
  std::string text;  // name, operator (upper case for words), literal as written
  double value = 0;
  bool bare = false;  // a call written without parentheses
  std::vector<ExprPtr> args;
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Declaration {
  std::string name;
  bool isArray = false;
  Position at;
};

struct CaseItem {
  ExprPtr low;
  ExprPtr high;  // null unless "low TO high"
};

struct Stmt {
  enum Kind {
    Assign, CallStatement, If, For, While, RepeatUntil, RepeatForever, Exit, Select, Return, End, Dim,
    Print, Local
  } kind = Assign;
  Position at;
  int number = 0;  // statement number in the module (0: not a statement of its own)
  ExprPtr target;  // Assign, For (the counter)
  ExprPtr value;   // Assign, For (first), Return, Select, RepeatUntil (condition), While
  ExprPtr limit, step;
  std::vector<ExprPtr> exprs;  // If: conditions; CallStatement: the call; Dim: elements; Print: items
  std::vector<Block> blocks;   // If: one per condition, then the ELSE block; loops: the body
  bool hasElse = false;
  bool newline = true;          // Print: ends the line
  std::string exitKind;         // Exit: FOR, WHILE or REPEAT
  std::vector<std::vector<CaseItem>> cases;  // Select: per block; an empty list is CASE ELSE
  std::vector<Declaration> declarations;      // Local
};

struct Function {
  std::string name;
  Position at;
  int module = 0;
  std::vector<Declaration> params;
  Block body;
  bool returnsValue = false;
};

struct Setting {
  std::string key;
  ExprPtr value;
  Position at;
};

struct Declare {
  std::string name;   // the BASIC name
  std::string library, entry;
  std::vector<Declaration> params;
  Position at;
};

struct Module {
  std::string name;
  Block main;  // top-level statements (module 0 only)
};

struct ProgramTree {
  std::vector<Module> modules;
  std::vector<Declaration> globals;
  std::vector<Setting> settings;
  std::vector<Declare> declares;
  std::vector<std::unique_ptr<Function>> functions;
};

// Parses one module into the tree (functions, globals and settings are
// program-wide; statements count per module).
void Parse(Lexer& lexer, int moduleIndex, ProgramTree& tree, Diagnostics& diagnostics);

// ---------------------------------------------------------------- runtime operations

struct BindingParam {
  const char* kind;  // num f32 i32 u32 i64 bool str cstr num& i32& f32& str& numarr& strarr& intarr&
  const char* name;
};
struct Binding {
  const char* name;
  const char* header;  // as the program includes it, e.g. "gfx3d/gfx3d.h"
  const char* result;  // void num str cstr
  int required;
  int count;
  BindingParam params[12];
};
extern const Binding kBindings[];
extern const int kBindingCount;

// ---------------------------------------------------------------- emission

void Emit(const ProgramTree& tree, const Options& options, Diagnostics& diagnostics, std::vector<OutputFile>& files);

// Upper-case copy (ASCII).
std::string Upper(std::string_view s);

}  // namespace vlmc
