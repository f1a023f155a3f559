// `velmora bundle`: the project made into something to hand to someone with
// another Debian machine. The release program, linked with libstdc++ and
// libgcc inside, with the data folder's files appended as its media archive,
// goes into NAME-VERSION-linux-x86_64.tar.gz:
//   NAME-VERSION-linux-x86_64/NAME       a launcher that runs it from any folder
//   NAME-VERSION-linux-x86_64/lib/NAME   the program (and data files no archive can hold)
//   NAME-VERSION-linux-x86_64/README     how to run it, and the line
//                                        "Debian packages: ..." naming what it needs
// and with --deb into NAME_VERSION_amd64.deb, which installs the program in
// /usr/lib/NAME/, the launcher as /usr/bin/NAME, and depends on those packages.
#pragma once

#include <string>
#include <vector>

#include "project.h"
#include "toolchain.h"

namespace velmora {

struct BundleResult {
  std::string tarball;
  std::string deb;  // "" without --deb
  std::vector<std::string> packages;
};

// 0 made, 1 translation or compile errors, 2 anything else (one line on
// standard error).
int MakeBundle(const Project& project, const Toolchain& toolchain, bool deb, bool verbose, BundleResult* result);

// The Debian packages of the shared libraries the program names (readelf,
// ldd and dpkg-query), with the GL and EGL drivers a window or an offscreen run
// loads by name; sorted. False with one line in *error.
bool RuntimePackages(const std::string& program, std::vector<std::string>* packages, std::string* error);

// The Debian package name made of a program name: lower case, '_' as '-'.
std::string DebianName(const std::string& name);

}  // namespace velmora
