// vlmc's syntax tree: what the parser builds of a program's modules, and what
// the checker writes into it for the emitter (the variable each name is,
// each expression's type, the routine or runtime operation each call calls,
// the C++ name of every program name).
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
struct RecordType;
struct Stmt;

// Number, String and Bool are values; Void is what a routine returns; Record
// and Array are whole records and whole arrays (arguments, FOR EACH, APPEND).
enum class Type : uint8_t { Number, String, Bool, Void, Record, Array };

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

// A variable (or a record's field) as the translation declares and registers it.
struct Variable {
  std::string basic;  // the BASIC name as written
  std::string name;   // as registered: the BASIC name with $ as _Str, % as _Int
  std::string cpp;    // filled in when the checker names everything
  bool isArray = false;
  bool isString = false;
  bool isInt = false;                  // 32-bit integers: a name ending in % (arrays and fields)
  const RecordType* record = nullptr;  // a record, or an array of records
  bool reference = false;              // a parameter the C++ passes by reference
  bool isConst = false;                // a CONST: `value` or `text` replaces every use
  bool failed = false;                 // its TYPE is unknown (reported): its uses report nothing more
  double value = 0;
  std::string text;
  const Stmt* each = nullptr;    // the element of this FOR EACH loop
  std::vector<int32_t> sizes;    // a field array's fixed sizes
  std::vector<int> dims;         // the index counts DIM gave this array (APPEND wants 1)
  Position at;
};

struct Expr {
  enum Kind { Number, String, Variable, Element, Field, Call, Unary, Binary } kind = Number;
  Position at;
  std::string text;   // name, field, operator (upper case for words), literal as written
  double value = 0;   // numbers; a sign before a literal: the signed value (checker)
  std::vector<ExprPtr> args;  // indices, arguments, operands
  ExprPtr object;             // Field: the record; Element: the array when it is a field
  bool bare = false;  // a call written without parentheses

  // Found by the checker (the one-byte fields together: a big module has
  // hundreds of thousands of expressions).
  Type type = Type::Number;
  Type element = Type::Number;  // Array: what its elements are
  bool isInt = false;    // read from 32-bit integer storage; written truncated
  bool lvalue = false;   // a variable, element or field the C++ can write to as it is
  bool literal = false;  // a number or text literal, or a sign before a number literal
  const RecordType* record = nullptr;  // Record, or Array of records
  const vlmc::Variable* variable = nullptr;  // Variable, Element of a named array, Field: the field
  // Call: the one that is called.
  const Function* function = nullptr;
  const Builtin* builtin = nullptr;
  const Declare* declare = nullptr;
  const Binding* binding = nullptr;
};

using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

// A name declared by GLOBAL, LOCAL, a parameter list or DIM ... AS.
struct Declaration {
  std::string name;
  bool isArray = false;
  bool byRef = false;        // BYREF parameter
  std::string typeName;      // AS TypeName
  Position typeAt;
  ExprPtr defaultValue;      // an optional parameter's constant
  Position at;
  const Variable* variable = nullptr;  // checker
};

struct CaseItem {
  ExprPtr low;
  ExprPtr high;  // null unless "low TO high"
};

struct Stmt {
  enum Kind {
    Assign, CallStatement, If, For, ForEach, While, RepeatUntil, RepeatForever, Do, Exit, Continue, Select,
    Return, End, Dim, Print, Local, Label, Goto, Read, Restore, Input, Append, Remove
  } kind = Assign;
  Position at;
  int number = 0;  // statement number in the module (0: not a statement of its own)
  bool broken = false;  // did not parse: the checker only declares what it names
  ExprPtr target;  // Assign, For (the counter), ForEach (the element), Append/Remove (the array)
  ExprPtr value;   // Assign, For (first), Return, Select, loop conditions, ForEach (the array),
                   // Append (the value), Remove (the index), Input (the prompt)
  ExprPtr limit, step;
  std::vector<ExprPtr> exprs;  // If: conditions; CallStatement: the call; Dim, Read, Input: targets;
                               // Print: items
  std::vector<char> separators;  // Print: after each item ';', ',' or 0
  std::vector<Block> blocks;     // If: one per condition, then the ELSE block; loops: the body
  bool hasElse = false;
  bool newline = true;   // Print: ends the line
  bool preserve = false; // Dim: DIM PRESERVE
  bool atTop = false;    // Do: the condition is tested before each pass
  bool until = false;    // Do: the condition ends the loop (UNTIL) rather than keeps it (WHILE)
  std::string exitKind;  // Exit, Continue: FOR, WHILE, REPEAT, DO or "" (innermost); Label, Goto,
                         // Restore: the label
  std::vector<std::vector<CaseItem>> cases;  // Select: per block; an empty list is CASE ELSE
  std::vector<Declaration> declarations;      // Local; Dim: "DIM name AS Type" declarations
  int dataIndex = 0;     // Label: the DATA values before it

  // Found by the checker.
  const Stmt* loop = nullptr;   // Exit, Continue: the loop; Remove of a FOR EACH element: its loop
  bool exited = false;          // a loop that an EXIT leaves
  bool continued = false;       // a loop that a CONTINUE or REMOVE goes on with
  const Stmt* label = nullptr;  // Goto: its label; Restore: its label (null: the first DATA)
  bool jumpedTo = false;        // Label: a GOTO goes there
};

struct Function {
  std::string name;
  std::string cpp;  // checker
  Position at;
  int module = 0;
  bool isSub = false;
  std::vector<Declaration> params;
  Block body;
  bool returnsValue = false;
  std::vector<const Variable*> locals;  // checker: the LOCAL variables in declaration order
};

// TYPE name ... END TYPE.
struct FieldDeclaration {
  std::string name;
  Position at;
  bool isArray = false;
  std::vector<ExprPtr> sizes;  // constants
  std::string typeName;
  Position typeAt;
};

struct RecordType {
  std::string name;
  std::string cpp;  // checker
  Position at;
  std::vector<FieldDeclaration> declarations;
  std::deque<Variable> fields;  // checker
  int state = 0;                // checker: 0 unseen, 1 being resolved, 2 done
};

struct Constant {
  std::string name;
  Position at;
  ExprPtr value;
  int state = 0;  // checker: 0 unseen, 1 being folded, 2 done, 3 failed
  const Variable* variable = nullptr;
};

struct Setting {
  std::string key;
  ExprPtr value;
  Position at;
};

struct Declare {
  std::string name;   // the BASIC name
  std::string cpp;    // checker
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
  std::vector<std::unique_ptr<RecordType>> types;
  std::vector<Constant> constants;
  std::vector<ExprPtr> data;  // every DATA value of the program, in module and line order
  std::deque<Variable> variables;  // checker: every variable, where the declarations point
  std::vector<const RecordType*> typeOrder;  // checker: each TYPE after the ones it holds
  std::vector<const Stmt*> restorePoints;    // checker: labels a RESTORE names
};

}  // namespace vlmc
