// The language's built-in functions (INT, MID$, INSTR...): how many arguments
// of which type each takes, its result and the C++ it becomes.
#pragma once

#include <string>

#include "syntax.h"

namespace vlmc {

struct Builtin {
  const char* name;
  int minArgs, maxArgs;
  const char* args;  // one letter per argument: n a number, s text, a a whole array
  Type result;
  // The C++ form: {k} is argument k as it is, {nk} as a Number, {ik} as a
  // 32-bit integer, {ak} as the array; an optional argument left out is
  // written as `missing`.
  const char* form;
  const char* missing = nullptr;
  const char* header = nullptr;  // needed beyond the core headers
};

extern const Builtin kBuiltins[];
extern const int kBuiltinCount;

// The built-in of that name in any letter case, or null.
const Builtin* FindBuiltin(const std::string& name);

}  // namespace vlmc
