// The table of the language's built-in functions, read by the checker (the
// arguments and result) and the emitter (the C++ form).
#include "builtins.h"

#include "names.h"

namespace vlmc {

const Builtin kBuiltins[] = {
    // INT truncates the 64-bit number toward zero (NaN and infinities stay).
    {"INT", 1, 1, "n", Type::Number, "std::trunc({n0})"},
    {"SGN", 1, 1, "n", Type::Number, "::VlmSgn({n0})"},
    {"ROUND", 1, 1, "n", Type::Number, "std::round({n0})"},
    {"EXP", 1, 1, "n", Type::Number, "std::exp({n0})"},
    {"MIN", 2, 2, "nn", Type::Number, "std::fmin({n0}, {n1})"},
    {"MAX", 2, 2, "nn", Type::Number, "std::fmax({n0}, {n1})"},
    {"RANDOM", 0, 0, "", Type::Number, "::VlmRandomUnit()"},
    {"BITAND", 2, 2, "nn", Type::Number, "::VlmBitAnd({n0}, {n1})"},
    {"BITOR", 2, 2, "nn", Type::Number, "::VlmBitOr({n0}, {n1})"},
    {"BITXOR", 2, 2, "nn", Type::Number, "::VlmBitXor({n0}, {n1})"},
    {"BITNOT", 1, 1, "n", Type::Number, "::VlmBitNot({n0})"},
    {"SHL", 2, 2, "nn", Type::Number, "::VlmShl({n0}, {n1})"},
    {"SHR", 2, 2, "nn", Type::Number, "::VlmShr({n0}, {n1})"},
    {"COUNT", 1, 1, "a", Type::Number, "Number({a0}.count)"},
    // The code of the last error the runtime recorded (0 when none).
    {"ERR", 0, 0, "", Type::Number, "Number(::LastErrorCode)"},
    {"SIN", 1, 1, "n", Type::Number, "::SinDeg({n0})"},
    {"COS", 1, 1, "n", Type::Number, "::CosDeg({n0})"},
    {"TAN", 1, 1, "n", Type::Number, "::TanDeg({n0})"},
    {"ACOS", 1, 1, "n", Type::Number, "::AcosDeg({n0})"},
    {"ATAN2", 2, 2, "nn", Type::Number, "::Atan2Deg({n0}, {n1})"},
    {"SQR", 1, 1, "n", Type::Number, "::Sqrt({n0})"},
    {"ABS", 1, 1, "n", Type::Number, "::VlmAbs({n0})"},
    {"LEN", 1, 1, "s", Type::Number, "Number({0}.Length())"},
    // STR$(INT(x)) is the decimal text of the whole number (the emitter's case).
    {"STR$", 1, 1, "n", Type::String, "::NumberToText({n0})"},
    {"VAL", 1, 1, "s", Type::Number, "::ToDouble({0})"},
    {"CHR$", 1, 1, "n", Type::String, "::Chr({i0})"},
    {"ASC", 1, 1, "s", Type::Number, "Number(::Asc({0}))"},
    {"LEFT$", 2, 2, "sn", Type::String, "::VlmLeft({0}, {n1})"},
    {"RIGHT$", 2, 2, "sn", Type::String, "::VlmRight({0}, {n1})"},
    {"MID$", 2, 3, "snn", Type::String, "::VlmMid({0}, {n1}, {n2})", "-1.0"},
    {"UPPER$", 1, 1, "s", Type::String, "::Upper({0})"},
    {"LOWER$", 1, 1, "s", Type::String, "::Lower({0})"},
    // INSTR(text, part [, start]): 1-based position, 0 when not found.
    {"INSTR", 2, 3, "ssn", Type::Number, "::VlmInstr({0}, {1}, {n2})", "1.0"},
    {"EOF", 1, 1, "n", Type::Bool, "::EndOfFile({i0})", nullptr, "files/files.h"},
};
const int kBuiltinCount = static_cast<int>(sizeof kBuiltins / sizeof kBuiltins[0]);

// Asked of every name called: compared in upper case in place, without a copy.
const Builtin* FindBuiltin(const std::string& name) {
  for (const Builtin& b : kBuiltins) {
    size_t k = 0;
    while (b.name[k] != '\0' && k < name.size() &&
           static_cast<char>(name[k] >= 'a' && name[k] <= 'z' ? name[k] - 'a' + 'A' : name[k]) == b.name[k])
      ++k;
    if (b.name[k] == '\0' && k == name.size()) return &b;
  }
  return nullptr;
}

}  // namespace vlmc
