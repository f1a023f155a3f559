// Building a project: its modules translated to C++, the C++ compiled and
// linked with the runtime, every intermediate file kept under
// DIR/.velmora/<debug|release>/ so that the next build redoes only what
// changed: a module whose text is unchanged is not translated again, and a
// translation unit whose C++ (and the program header it includes) is
// unchanged is not compiled again.
#pragma once

#include <string>

#include "project.h"
#include "toolchain.h"

namespace velmora {

struct BuildOptions {
  bool release = false;   // the release translation: no line hook, -O2
  bool bundle = false;    // also libstdc++ and libgcc linked in (a program to hand out)
  bool verbose = false;   // each step on standard error
  std::string outputDir;  // "" : DIR/.velmora/<debug|release>
};

struct BuildResult {
  std::string program;  // absolute path of the executable
  int modules = 0;      // modules of the project
  int translated = 0;   // modules whose C++ was written anew
  int units = 0;        // translation units of the program
  int compiled = 0;     // of them, compiled
  bool linked = false;  // the executable was linked anew
  double seconds = 0;
};

// Exit statuses: 0 built, 1 translation or compile errors (printed to
// standard error as they came: "file:line:col: message", the line and a
// caret), 2 anything else (a module that cannot be read, a cache that
// cannot be written, the compiler missing), with one line on standard error.
int Build(const Project& project, const Toolchain& toolchain, const BuildOptions& options, BuildResult* result);

// Translation errors of the project, printed as Build prints them: 0 none,
// 1 some, 2 a module that cannot be read.
int CheckProject(const Project& project);

// A module's name as diagnostics show it: relative to the current folder
// when the module lies below it, else absolute.
std::string DisplayName(const std::string& absolutePath);

}  // namespace velmora
