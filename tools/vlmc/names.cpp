// How vlmc spells BASIC names in C++, and the names of the files it writes.
#include "names.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "vlmc.h"

namespace vlmc {

namespace {

// C++ words, the translation's own names, runtime names its macros use
// unqualified, the integer types, and the macros of the C library and the
// compiler whose names have lower-case letters (those without are all renamed).
const std::set<std::string>& Reserved() {
  static const std::set<std::string> words = {
      "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
      "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
      "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
      "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "final", "float",
      "for", "friend", "goto", "if", "import", "inline", "int", "long", "module", "mutable", "namespace", "new",
      "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "override", "private", "protected",
      "public", "register", "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static",
      "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true",
      "try", "typedef", "typeid", "typename", "union", "unsigned", "using", "virtual", "void", "volatile",
      "wchar_t", "while", "xor", "xor_eq", "main", "settings", "globalSetup", "globalTeardown", "mainProgram",
      "kCallByName", "Trunc", "Number", "BasicString", "BasicArray", "std", "LineHook", "NoteLine",
      "RoutineFrame", "GlobalVariable", "int8_t", "int16_t", "int32_t", "int64_t", "uint8_t", "uint16_t",
      "uint32_t", "uint64_t", "size_t", "ptrdiff_t", "intptr_t", "uintptr_t", "max_align_t", "nullptr_t",
      "errno", "assert", "stdin", "stdout", "stderr", "offsetof", "alloca", "linux", "unix", "i386",
      "math_errhandling", "va_arg", "va_start", "va_end", "va_copy", "setjmp", "longjmp", "min", "max",
      "isnan", "isinf", "isfinite", "isnormal", "signbit", "fpclassify", "issubnormal", "iszero", "isgreater",
      "isgreaterequal", "isless", "islessequal", "islessgreater", "isunordered", "getc", "putc", "getchar",
      "putchar", "major", "minor", "makedev", "howmany", "roundup", "powerof2", "nitems", "sched_priority",
      "strdupa", "strndupa", "be16toh", "be32toh", "be64toh", "le16toh", "le32toh", "le64toh", "htobe16",
      "htobe32", "htobe64", "htole16", "htole32", "htole64", "pthread_cleanup_push", "pthread_cleanup_pop",
      "pthread_cleanup_push_defer_np", "pthread_cleanup_pop_restore_np", "sigsetjmp", "siglongjmp", "bswap_16",
      "bswap_32", "bswap_64", "timerisset", "timerclear", "timercmp", "timeradd", "timersub"};
  return words;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// u_, u2_, u3_...: the forms renamed names take.
bool RenamedForm(const std::string& s) {
  if (s.empty() || s[0] != 'u') return false;
  size_t k = 1;
  while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
  return k < s.size() && s[k] == '_';
}

// Macros are written in capitals: a name without lower-case letters, or one
// that starts with a capital word and '_' (GL_..., SYS_..., M_PI...).
bool MacroLike(const std::string& s) {
  bool lower = false;
  for (char c : s) lower = lower || std::islower(static_cast<unsigned char>(c));
  if (!lower) return true;
  size_t k = 0;
  while (k < s.size() && (std::isupper(static_cast<unsigned char>(s[k])) || std::isdigit(static_cast<unsigned char>(s[k]))))
    ++k;
  return k > 0 && k < s.size() && s[k] == '_';
}

}  // namespace

namespace {

constexpr std::string_view kKeywords[] = {
    "AND",    "OR",       "XOR",   "NOT",     "MOD",    "IF",      "THEN",    "ELSE",     "ELSEIF", "ENDIF",
    "END",    "FOR",      "EACH",  "IN",      "TO",     "STEP",    "NEXT",    "WHILE",    "WEND",   "REPEAT",
    "UNTIL",  "FOREVER",  "DO",    "LOOP",    "EXIT",   "CONTINUE", "SELECT", "CASE",     "RETURN", "FUNCTION",
    "SUB",    "GLOBAL",   "LOCAL", "CONST",   "TYPE",   "AS",      "BYREF",   "DIM",      "PRESERVE", "DECLARE",
    "LIB",    "ALIAS",    "PROJECT", "PRINT", "INPUT",  "DATA",    "READ",    "RESTORE",  "GOTO",   "APPEND",
    "REMOVE"};
constexpr size_t kLongestKeyword = 8;

constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The parser asks of almost every name whether it is a reserved word: a hash
// of the first two letters, the last and the length (no two keywords share
// one, checked below) picks the one keyword it could be.
constexpr size_t kKeywordSlots = 128;
constexpr size_t KeywordSlot(std::string_view upper) {
  return (static_cast<size_t>(static_cast<unsigned char>(upper[0])) * 27 +
          static_cast<size_t>(static_cast<unsigned char>(upper[1])) * 13 +
          static_cast<size_t>(static_cast<unsigned char>(upper.back())) * 54 + upper.size()) %
         kKeywordSlots;
}

struct KeywordTable {
  std::string_view slots[kKeywordSlots] = {};
  bool distinct = true;
  constexpr KeywordTable() {
    for (std::string_view k : kKeywords) {
      std::string_view& slot = slots[KeywordSlot(k)];
      if (!slot.empty()) distinct = false;
      slot = k;
    }
  }
};
constexpr KeywordTable kKeywordTable;
static_assert(kKeywordTable.distinct, "two keywords share a slot: choose other factors in KeywordSlot");

}  // namespace

const std::set<std::string>& Keywords() {
  static const std::set<std::string> words(std::begin(kKeywords), std::end(kKeywords));
  return words;
}

bool IsKeyword(std::string_view name) {
  if (name.size() < 2 || name.size() > kLongestKeyword) return false;
  char upper[kLongestKeyword];
  for (size_t k = 0; k < name.size(); ++k) upper[k] = UpperAscii(name[k]);
  const std::string_view word(upper, name.size());
  return kKeywordTable.slots[KeywordSlot(word)] == word;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool IsStringName(const std::string& name) { return !name.empty() && name.back() == '$'; }
bool IsIntName(const std::string& name) { return !name.empty() && name.back() == '%'; }

std::string NaturalCppName(const std::string& name) {
  if (IsStringName(name)) return name.substr(0, name.size() - 1) + "_Str";
  if (IsIntName(name)) return name.substr(0, name.size() - 1) + "_Int";
  return name;
}

bool IsSafeCppName(const std::string& name) {
  const std::string cpp = NaturalCppName(name);
  if (cpp.empty()) return false;
  // A plain name that looks like a text or integer variable's (a_Str).
  const auto endsIn = [&](const char* suffix) { return cpp.size() > 4 && cpp.compare(cpp.size() - 4, 4, suffix) == 0; };
  const bool textLike = (!IsStringName(name) && endsIn("_Str")) || (!IsIntName(name) && endsIn("_Int"));
  return !(Reserved().count(cpp) || StartsWith(cpp, "vlm") || StartsWith(cpp, "Vlm") || StartsWith(cpp, "VLM") ||
           cpp.find("__") != std::string::npos || cpp[0] == '_' || textLike || RenamedForm(cpp) || MacroLike(cpp));
}

std::string CppName(const std::string& name) {
  return IsSafeCppName(name) ? NaturalCppName(name) : "u_" + NaturalCppName(name);
}

CppNames::CppNames(const std::string& program) { taken_.insert(program); }

void CppNames::Add(const std::string& key, const std::string& basicName) { names_.emplace(key, Entry{basicName, ""}); }

void CppNames::Assign() {
  for (auto& [key, e] : names_) {
    if (!IsSafeCppName(e.basic) || taken_.count(NaturalCppName(e.basic))) continue;
    e.cpp = NaturalCppName(e.basic);
    taken_.insert(e.cpp);
  }
  for (auto& [key, e] : names_) {
    if (!e.cpp.empty()) continue;
    const std::string natural = NaturalCppName(e.basic);
    e.cpp = "u_" + natural;
    for (int k = 2; taken_.count(e.cpp); ++k) e.cpp = "u" + std::to_string(k) + "_" + natural;
    taken_.insert(e.cpp);
  }
}

const std::string& CppNames::Of(const std::string& key) const {
  static const std::string none;
  auto it = names_.find(key);
  return it == names_.end() ? none : it->second.cpp;
}

std::string RegisteredName(const std::string& name) {
  if (IsStringName(name)) return name.substr(0, name.size() - 1) + "_Str";
  return IsIntName(name) ? name.substr(0, name.size() - 1) + "_Int" : name;
}

std::string CString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '?') {
      out += "\\?";  // no trigraphs
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\%03o", c);
      out += buffer;
    }
  }
  return out + "\"";
}

std::string ModuleStem(const std::string& path) {
  std::string base = path;
  const size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
  std::string out;
  for (char c : base) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out.empty() ? "module" : out;
}

std::vector<std::string> OutputNames(const std::string& program, const std::vector<std::string>& moduleNames) {
  std::vector<std::string> names = {program + ".h", program + "_program.cpp"};
  for (size_t m = 0; m < moduleNames.size(); ++m)
    names.push_back(program + "_module" + std::to_string(m) + "_" + ModuleStem(moduleNames[m]) + ".cpp");
  return names;
}

bool IsProgramName(const std::string& name) {
  if (name.empty() || name.size() > 64 || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return !Reserved().count(name);
}

}  // namespace vlmc
