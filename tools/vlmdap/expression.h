// Expressions the debug adapter evaluates in a stopped program: breakpoint
// conditions, logpoint messages, watches, hovers and values typed into the
// variables view. They are the language's own expressions over the
// program's variables: numbers, hexadecimal $FF, texts in double quotes,
// names (a, a$, p%, rec.field), elements (a[3, 2]), the operators OR AND
// NOT = <> < > <= >= + - * / MOD ^ and parentheses, and LEN, INT and ABS.
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
  virtual Memory& memory() = 0;
};

// The registered name of a BASIC name: a trailing $ as _Str, % as _Int.
std::string RegisteredName(const std::string& name);
// The BASIC name of a registered one (the reverse).
std::string BasicName(const std::string& registered);

struct Node;
using NodePtr = std::unique_ptr<Node>;

struct Node {
  enum Kind { Number, Text, Name, Element, Call, Unary, Binary } kind = Number;
  std::string text;  // name, operator (upper case) or the text's bytes
  double number = 0;
  std::vector<NodePtr> args;
};

// Parses a whole expression; false with a message.
bool ParseExpression(std::string_view text, NodePtr* tree, std::string* error);

// The storage an expression names: a variable (possibly a whole array) or one element.
struct Place {
  int32_t type = 0;       // a VariableType; arrays only for a whole-array name
  uint64_t address = 0;
  std::string name;       // BASIC spelling, with the indices of an element: a[3, 2]
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
