// The files `velmora new` writes: a playable starter program (2D or 3D), its
// project file, a sound made on the spot, the editor's build and debug
// settings and a .gitignore.
#pragma once

#include <string>

namespace velmora {

// Makes the project `name` in the folder dir (which must not exist or be
// empty). template_ is "2d" or "3d". False with one line in *error.
bool MakeProject(const std::string& dir, const std::string& name, const std::string& template_, std::string* error);

// The bytes of a WAVE file: a short beep, 16-bit mono at 22050 Hz.
std::string BeepWave();

}  // namespace velmora
