// vlmc's checker: the pass between parsing and emission.
#pragma once

#include "diagnostics.h"
#include "syntax.h"

namespace vlmc {

// Resolves every name of the parsed program (globals, locals, routines,
// built-ins, declared functions, runtime operations and their overloads),
// checks the types and reports each error; writes what it found into the
// tree for the emitter. The program translates when no error was reported.
void Check(ProgramTree& tree, Diagnostics& diagnostics);

}  // namespace vlmc
