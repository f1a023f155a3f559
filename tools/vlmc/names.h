// How vlmc spells BASIC names and texts in C++: the C++ identifier of every
// program name (kept clear of C++ words, macros, the runtime's and the
// translation's own names, and of each other), the registered names the
// debugger shows, C string literals and module file stems.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace vlmc {

// The reserved words of the language (upper case).
const std::set<std::string>& Keywords();
// Whether the name, in any letter case, is a reserved word.
bool IsKeyword(std::string_view name);

// Upper-case copy (ASCII).
std::string Upper(std::string_view s);

// A name ending in $ holds text; one ending in % holds 32-bit integers.
bool IsStringName(const std::string& name);
bool IsIntName(const std::string& name);

// The name's own C++ spelling ($ as _Str, % as _Int) and whether that
// spelling can be used as it is: not a C++ word, not a name the runtime's
// headers or the translation use or may define as a macro, and not of the
// forms renamed names take.
std::string NaturalCppName(const std::string& name);
bool IsSafeCppName(const std::string& name);
// The preferred C++ identifier of a BASIC name, before CppNames settles
// collisions (the natural spelling, or u_ before it).
std::string CppName(const std::string& name);

// The C++ identifiers of one program's names. Every name is added first;
// Assign then keeps each safe spelling and gives the others u_ + spelling,
// or u2_, u3_... + spelling where that is taken, so no two names meet.
// Keys tell apart names of different kinds spelled alike (types and variables).
class CppNames {
 public:
  explicit CppNames(const std::string& program);
  void Add(const std::string& key, const std::string& basicName);
  void Assign();
  const std::string& Of(const std::string& key) const;

 private:
  struct Entry {
    std::string basic;
    std::string cpp;
  };
  std::map<std::string, Entry> names_;
  std::set<std::string> taken_;
};

// The name a variable is registered under for the debugger.
std::string RegisteredName(const std::string& name);
// A C string literal of the bytes (octal escapes, no trigraphs).
std::string CString(const std::string& text);
// The module's file name without folder and extension, as an identifier part.
std::string ModuleStem(const std::string& path);

}  // namespace vlmc
