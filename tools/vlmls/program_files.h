// Which modules make up the program a .bas file belongs to: those a
// velmora.json names ({"modules": ["main.bas", "shapes.bas"]}, module 0
// first, paths relative to that file's folder) in the file's folder or one
// above it, else the .bas files of the file's folder, the one holding the
// main program first. Also file URIs and paths, and reading a module's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vlmls {

// The modules of the program that holds `path` (absolute), module 0 first;
// the file alone when nothing else goes with it. *note tells what decided
// (a velmora.json that could not be read, say), or is left empty.
std::vector<std::string> ProgramModules(const std::string& path, std::string* note);

// True when the module's text has statements outside FUNCTION, SUB and TYPE
// blocks and outside the declarations: a main program (module 0's part).
bool HasMainProgram(std::string_view text);

// "file:///a%20b/c.bas" to "/a b/c.bas" and back; "" for a URI of another scheme.
std::string PathOfUri(std::string_view uri);
std::string UriOfPath(std::string_view path);

// The file's text as the translator should see it: UTF-8 kept, other bytes
// read as Latin-1 (the programs' 8-bit code page). False when it cannot be read.
bool ReadModule(const std::string& path, std::string* text);

}  // namespace vlmls
