// How vlmc spells BASIC names in C++, and the names of the files it writes.
#include "names.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

#include "vlmc.h"

namespace vlmc {

namespace {

const std::set<std::string>& Reserved() {
  static const std::set<std::string> words = {
      "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
      "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
      "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
      "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
      "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
      "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast",
      "requires", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
      "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename",
      "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "main",
      "settings", "globalSetup", "globalTeardown", "mainProgram", "kCallByName", "Trunc", "Number", "BasicString",
      "BasicArray", "std", "NULL", "errno", "assert", "stdout", "stderr", "EOF", "INT32_MIN", "INT32_MAX"};
  return words;
}

}  // namespace

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsStringName(const std::string& name) { return !name.empty() && name.back() == '$'; }
bool IsIntName(const std::string& name) { return !name.empty() && name.back() == '%'; }

std::string CppName(const std::string& name) {
  std::string cpp = name;
  if (IsStringName(cpp)) cpp = cpp.substr(0, cpp.size() - 1) + "_Str";
  if (IsIntName(cpp)) cpp = cpp.substr(0, cpp.size() - 1) + "_Int";
  // C++ words, the translation's own names, macros of the C library (M_PI,
  // EOF...) and a plain name that looks like a text variable's (a_Str).
  const auto endsIn = [&](const char* suffix) { return cpp.size() > 4 && cpp.compare(cpp.size() - 4, 4, suffix) == 0; };
  const bool textLike = (!IsStringName(name) && endsIn("_Str")) || (!IsIntName(name) && endsIn("_Int"));
  if (Reserved().count(cpp) || cpp.rfind("vlm", 0) == 0 || cpp.rfind("Vlm", 0) == 0 || cpp.rfind("VLM", 0) == 0 ||
      cpp.rfind("M_", 0) == 0 || cpp.find("__") != std::string::npos || cpp[0] == '_' || textLike)
    cpp = "u_" + cpp;
  return cpp;
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
