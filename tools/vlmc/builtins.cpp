// The table of the language's built-in functions, read by the checker (the
// arguments and result) and the emitter (the C++ form).
#include "builtins.h"

#include "names.h"

namespace vlmc {

const Builtin kBuiltins[] = {
    {"INT", 1, 1, "n", Type::Number, "Number({i0})"},
    {"SIN", 1, 1, "n", Type::Number, "::SinDeg({n0})"},
    {"COS", 1, 1, "n", Type::Number, "::CosDeg({n0})"},
    {"TAN", 1, 1, "n", Type::Number, "::TanDeg({n0})"},
    {"ACOS", 1, 1, "n", Type::Number, "::AcosDeg({n0})"},
    {"ATAN2", 2, 2, "nn", Type::Number, "::Atan2Deg({n0}, {n1})"},
    {"SQR", 1, 1, "n", Type::Number, "::Sqrt({n0})"},
    {"ABS", 1, 1, "n", Type::Number, "VlmAbs({n0})"},
    {"LEN", 1, 1, "s", Type::Number, "Number({0}.Length())"},
    // STR$(INT(x)) is the decimal text of the whole number (the emitter's case).
    {"STR$", 1, 1, "n", Type::String, "::NumberToText({n0})"},
    {"VAL", 1, 1, "s", Type::Number, "::ToDouble({0})"},
    {"CHR$", 1, 1, "n", Type::String, "::Chr({i0})"},
    {"ASC", 1, 1, "s", Type::Number, "Number(::Asc({0}))"},
    {"LEFT$", 2, 2, "sn", Type::String, "VlmLeft({0}, {n1})"},
    {"RIGHT$", 2, 2, "sn", Type::String, "VlmRight({0}, {n1})"},
    {"MID$", 2, 3, "snn", Type::String, "VlmMid({0}, {n1}, {n2})", "-1.0"},
    {"UPPER$", 1, 1, "s", Type::String, "::Upper({0})"},
    {"LOWER$", 1, 1, "s", Type::String, "::Lower({0})"},
    // INSTR(text, part [, start]): 1-based position, 0 when not found.
    {"INSTR", 2, 3, "ssn", Type::Number, "VlmInstr({0}, {1}, {n2})", "1.0"},
    {"EOF", 1, 1, "n", Type::Bool, "::EndOfFile({i0})", nullptr, "files/files.h"},
};
const int kBuiltinCount = static_cast<int>(sizeof kBuiltins / sizeof kBuiltins[0]);

const Builtin* FindBuiltin(const std::string& name) {
  const std::string upper = Upper(name);
  for (const Builtin& b : kBuiltins)
    if (upper == b.name) return &b;
  return nullptr;
}

}  // namespace vlmc
