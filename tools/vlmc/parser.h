// vlmc's parser: one module's tokens into the program's syntax tree.
#pragma once

#include "diagnostics.h"
#include "lexer.h"
#include "syntax.h"

namespace vlmc {

// Parses one module into the tree (functions, globals and settings are
// program-wide; statements count per module). False when the module could
// not be read to its end (blocks nested too deeply), so the tree lacks its rest.
bool Parse(Lexer& lexer, int moduleIndex, ProgramTree& tree, Diagnostics& diagnostics);

}  // namespace vlmc
