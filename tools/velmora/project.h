// A Velmora project: the folder that holds velmora.json, and what that file
// says (the program's name and version, its BASIC modules in order, the data
// folder and the project settings). Reading it checks everything a build
// relies on, so a bad project is refused with one line before any work.
#pragma once

#include <string>
#include <vector>

#include "vlmc.h"

namespace velmora {

struct Project {
  std::string dir;      // absolute, no trailing slash
  std::string name;     // program name: a letter, then letters, digits, _ and -
  std::string version;  // "0.1.0" when not given
  std::vector<std::string> modules;  // paths relative to dir, module 0 first
  std::string data;     // data folder relative to dir, "" for none
  std::vector<vlmc::ProjectSetting> settings;
};

// The folder of the project that `start` is in: start itself, or the nearest
// folder above it holding velmora.json. "" when there is none.
std::string FindProjectDir(const std::string& start);

// Reads dir/velmora.json. False, with one line in *error ("velmora.json: ..."),
// when it cannot be read, is not JSON, or names something a build cannot use:
// no modules, a module that is missing, not a .bas file, or outside the
// folder, the same module twice, a bad name or version, a data folder that
// is not a folder inside the project, an unknown setting or a value of the
// wrong kind.
bool ReadProject(const std::string& dir, Project* project, std::string* error);

// A program name the command accepts: 1-64 characters, a letter first, then
// letters, digits, '_' and '-'.
bool IsProjectName(const std::string& name);

// The C++ identifier the translator uses for the project's program.
std::string ProgramIdentifier(const std::string& name);

}  // namespace velmora
