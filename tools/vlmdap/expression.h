// Expressions the debug adapter evaluates in a stopped program: breakpoint
// conditions, logpoint messages, watches, hovers and values typed into the
// variables view. They are the language's own expressions over the
// program's variables: numbers, hexadecimal $FF, texts in double quotes,
// names (a, a$, p%, rec.field), elements (a[3, 2]; a[-1] is the last, as in
// the program), fields of an array's records (pts[2].x, pts[2].items[1]),
// the operators OR AND NOT = <> < > <= >= + - * / MOD ^ and parentheses, and
// LEN, INT and ABS.
// Nothing is written and nothing in the program runs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "program_state.h"

namespace dap {

// Finds the variables of the frame an expression is evaluated in.
class NameScope {
 public:
  virtual ~NameScope() = default;
  // The variable of a name as written (a$) or as registered (a_Str).
  virtual bool Find(const std::string& name, Variable* variable) = 0;
  // Whether a name that Find does not know is a record (registered only as
  // its fields' "name.field" entries).
  virtual bool IsRecord(const std::string& /*name*/) { return false; }
  virtual Memory& memory() = 0;
};

// The registered name of a BASIC name: a trailing $ as _Str, % as _Int.
std::string RegisteredName(const std::string& name);
// The BASIC name of a registered one (the reverse).
std::string BasicName(const std::string& registered);

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node {
  // Field: args[0] the record, args[1...] the field's indices (if any).
  enum Kind { Number, Text, Name, Element, Field, Call, Unary, Binary } kind = Number;
  std::string text;  // name, field, operator (upper case) or the text's bytes
  double number = 0;
  std::vector<NodePtr> args;
};

// Parses a whole expression; false with a message.
bool ParseExpression(std::string_view text, NodePtr* tree, std::string* error);

// Place::type of one record of an array of records.
constexpr int32_t kRecordElement = 100;

// The storage an expression names: a variable (possibly a whole array), one
// element, one record of an array of records or one of its fields.
struct Place {
  int32_t type = 0;       // a VariableType, or kRecordElement
  uint64_t address = 0;
  std::string name;       // BASIC spelling, with the indices of an element: a[3, 2]
  uint64_t recordLayout = 0;  // kRecordArray: as Variable::recordLayout
  RecordLayout layout;        // kRecordElement: its record's layout
  // The place as a variable (for whole arrays).
  Variable AsVariable() const { return Variable{name, type, address, recordLayout}; }
};
// A name or element expression's place; false (and *error) for anything else.
bool Locate(const Node& tree, NameScope& scope, Place* place, std::string* error);

bool Evaluate(const Node& tree, NameScope& scope, Value* value, std::string* error);
// Parses and evaluates.
bool EvaluateText(std::string_view text, NameScope& scope, Value* value, std::string* error);

// A value as the language writes it: numbers shortest, texts in double quotes
// with "" for a quote.
std::string ValueText(const Value& value);

// A logpoint message with each {expression} replaced by its value (texts
// without quotes); an expression that fails shows as {error: message}.
std::string Interpolate(std::string_view message, NameScope& scope);

}  // namespace dap
