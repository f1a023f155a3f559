// vlmc's syntax tree: what the parser builds of a program's modules, and what
// the checker writes into it for the emitter (the variable each name is,
// each expression's type, the routine or runtime operation each call calls).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics.h"

namespace vlmc {

struct Binding;
struct Builtin;
struct Declare;
struct Function;

enum class Type : uint8_t { Number, String, Bool, Void };

// A variable as the translation declares and registers it.
struct Variable {
  std::string name;  // as registered: the BASIC name with $ as _Str, % as _Int
  std::string cpp;
  bool isArray = false;
  bool isString = false;
  bool isInt = false;  // an array of 32-bit integers (name ending in %)
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum Kind { Number, String, Variable, Element, Call, Unary, Binary } kind = Number;
  Position at;
  std::string text;  // name, operator (upper case for words), literal as written
  double value = 0;  // numbers; a sign before a literal: the signed value (checker)
  bool bare = false;  // a call written without parentheses
  std::vector<ExprPtr> args;

  // Found by the checker.
  Type type = Type::Number;
  bool lvalue = false;   // a variable or element the C++ can write to
  bool literal = false;  // a number or text literal, or a sign before a number literal
  const vlmc::Variable* variable = nullptr;  // Variable, Element, and a variable a call declares
  // Call: the one that is called.
  const Function* function = nullptr;
  const Builtin* builtin = nullptr;
  const Declare* declare = nullptr;
  const Binding* binding = nullptr;
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Declaration {
  std::string name;
  bool isArray = false;
  Position at;
  const Variable* variable = nullptr;  // checker
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

  // Found by the checker.
  const Stmt* loop = nullptr;  // Exit: the loop it leaves
  bool exited = false;         // a loop that an EXIT leaves
};

struct Function {
  std::string name;
  Position at;
  int module = 0;
  std::vector<Declaration> params;
  Block body;
  bool returnsValue = false;
  std::vector<const Variable*> locals;  // checker: the LOCAL variables in declaration order
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
  std::vector<const Variable*> locals;  // checker: the main program's variables, in order of first use
};

struct ProgramTree {
  std::vector<Module> modules;
  std::vector<Declaration> globals;
  std::vector<Setting> settings;
  std::vector<Declare> declares;
  std::vector<std::unique_ptr<Function>> functions;
  std::deque<Variable> variables;  // checker: every variable, where the declarations point
};

}  // namespace vlmc
