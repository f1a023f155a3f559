// How vlmc spells BASIC names and texts in C++: variable and routine names
// kept clear of C++ words and the translation's own names, the registered
// names the debugger shows, C string literals and module file stems.
#pragma once

#include <string>
#include <string_view>

namespace vlmc {

// Upper-case copy (ASCII).
std::string Upper(std::string_view s);

// A name ending in $ holds text; one ending in % names an integer array.
bool IsStringName(const std::string& name);
bool IsIntName(const std::string& name);

// The C++ identifier of a BASIC name ($ as _Str, % as _Int; u_ before
// names the translation or C++ already uses).
std::string CppName(const std::string& name);
// The name a variable is registered under for the debugger.
std::string RegisteredName(const std::string& name);
// A C string literal of the bytes (octal escapes, no trigraphs).
std::string CString(const std::string& text);
// The module's file name without folder and extension, as an identifier part.
std::string ModuleStem(const std::string& path);

}  // namespace vlmc
