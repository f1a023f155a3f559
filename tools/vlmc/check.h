// vlmc's checker: the pass between parsing and emission.
#pragma once

#include <string>

#include "diagnostics.h"
#include "syntax.h"

namespace vlmc {

// Resolves every name of the parsed program (globals, locals, routines,
// built-ins, declared functions, runtime operations and their overloads),
// checks the types and reports each error; writes what it found into the
// tree for the emitter, and gives every name its C++ identifier (program is
// the program's namespace, which no name may take). The program translates
// when no error was reported. With stopAtLimit it stops once the
// diagnostics are full (the translator, which shows no more than that);
// without, it walks the whole program (the language server, which resolves
// every name of a program with errors).
void Check(ProgramTree& tree, Diagnostics& diagnostics, const std::string& program, bool stopAtLimit = false);

}  // namespace vlmc
