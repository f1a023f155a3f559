// vlmc's line map: for a debugger, where each statement number of each module
// stands in its BASIC file, and the C++ names of the routines.
#pragma once

#include <string>
#include <vector>

#include "syntax.h"
#include "vlmc.h"

namespace vlmc {

// The map's JSON text (format "vlmmap 1", read by the debug adapter):
//   {"format":"vlmmap 1","program":NAME,
//    "modules":[{"module":0,"file":ABSOLUTE PATH,"statements":[[number,line,column],...]},...],
//    "routines":[{"name":BASIC NAME,"cpp":C++ NAME,"module":k},...]}
std::string LineMap(const ProgramTree& tree, const std::vector<SourceFile>& modules, const std::string& program);

}  // namespace vlmc
