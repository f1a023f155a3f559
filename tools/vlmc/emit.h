// vlmc's emitter: the C++ translation of a checked program.
#pragma once

#include <vector>

#include "syntax.h"
#include "vlmc.h"

namespace vlmc {

// Writes the program's header, its set-up file and one file per module (the
// names OutputNames gives), from a tree the checker passed without errors.
std::vector<OutputFile> Emit(const ProgramTree& tree, const Options& options);

}  // namespace vlmc
