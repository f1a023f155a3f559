// Where the runtime a program is built on lies: the compiler, the include
// folders of the runtime's headers, its libraries (callers first) and the
// link flags of what they need. The build writes this description as a
// text file beside the command (build tree) or into share/velmora/ (an
// install), one "key value" line each:
//   cxx /usr/bin/c++
//   include DIR          (repeated; relative to the file's folder unless absolute)
//   library FILE         (repeated, callers first; relative as include)
//   link FLAG            (repeated: -lSDL2, -pthread, ...)
//   version 0.1.0
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct Toolchain {
  std::string file;     // the description read
  std::string cxx = "c++";
  std::string version;
  std::vector<std::string> includes;
  std::vector<std::string> libraries;
  std::vector<std::string> linkFlags;
};

// Reads the description from VELMORA_TOOLCHAIN when set, else beside the
// running command (toolchain.txt) or in ../share/velmora/toolchain.txt from
// its folder. False with one line in *error when none can be read, or when a
// library it names is missing.
bool LoadToolchain(Toolchain* toolchain, std::string* error);

}  // namespace velmora
