// velmora, the command that takes a BASIC project from an idea to a game in
// someone else's hands:
//   velmora new NAME [--template 2d|3d]
//   velmora run [DIR] [--release] [-- ARGS...]
//   velmora check [DIR]
//   velmora build [--release] [DIR]
//   velmora bundle [DIR] [--deb]
// Exit status: 0 done, 1 errors in the program (translation or C++), 2 a bad
// command line or a bad project (one line on standard error); `run` exits
// with the program's own status.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "build.h"
#include "bundle.h"
#include "project.h"
#include "templates.h"
#include "toolchain.h"

namespace {

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.1.0"
#endif

using velmora::Project;

const char kHelp[] =
    "velmora, the command of Velmora's BASIC projects\n"
    "\n"
    "usage: velmora COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  new NAME      make the project NAME/ with a starter program\n"
    "  run [DIR]     build the project and run it (arguments after -- go to the program)\n"
    "  check [DIR]   report the project's translation errors\n"
    "  build [DIR]   build the project and print where the program is\n"
    "  bundle [DIR]  make NAME-VERSION-linux-x86_64.tar.gz (and a .deb) to give the game away\n"
    "  help [COMMAND]\n"
    "\n"
    "DIR is the project's folder: the one holding velmora.json (default: the current folder\n"
    "or the nearest one above it that holds one). Everything built is kept in DIR/.velmora/.\n"
    "`velmora COMMAND --help` tells more of a command; --version prints the version.\n";

struct Command {
  const char* name;
  const char* help;
};

const Command kCommands[] = {
    {"new",
     "usage: velmora new NAME [--template 2d|3d]\n"
     "\n"
     "Makes the folder NAME (which must not exist, or be empty) with a project to start from:\n"
     "  velmora.json       the project: its name, version, modules in order, data folder, settings\n"
     "  main.bas           the starter program: 2d (the default) a square the arrow keys or a\n"
     "                     joystick move, beeping at the edges; 3d a turning box that casts its\n"
     "                     shadow on a floor, the camera moved by the arrow keys. Escape ends both.\n"
     "  media/beep.wav     the data folder: files the program loads by name\n"
     "  .vscode/           tasks.json (\"velmora build\") and launch.json (F5 builds and debugs)\n"
     "  .gitignore\n"
     "NAME is 1-64 letters, digits, '_' and '-', a letter first.\n"},
    {"run",
     "usage: velmora run [DIR] [--release] [--verbose] [-- ARGS...]\n"
     "\n"
     "Translates, compiles and links the project (only what changed since the last build), then\n"
     "runs the program with ARGS, for example `velmora run -- --frames 3 --screenshot shot.png`.\n"
     "Translation errors stop it before the C++ compiler starts. The program is the debug\n"
     "translation (the debugger's line hook on), or with --release the release one. The exit\n"
     "status is the program's.\n"},
    {"check",
     "usage: velmora check [DIR]\n"
     "\n"
     "Translates the project's modules without building, and prints every error (the first 20)\n"
     "as file:line:column: message, with the line and a caret. Exits 1 when there is one.\n"},
    {"build",
     "usage: velmora build [DIR] [--release] [--verbose]\n"
     "\n"
     "Builds the project as run does, without running it, and prints the program's path:\n"
     "DIR/.velmora/debug/NAME (with its line map NAME.vlmmap for the debugger) or, with\n"
     "--release, DIR/.velmora/release/NAME. The data folder's files are linked beside it.\n"},
    {"bundle",
     "usage: velmora bundle [DIR] [--deb] [--verbose]\n"
     "\n"
     "Makes DIR/NAME-VERSION-linux-x86_64.tar.gz: the release program with the runtime inside and\n"
     "the data folder appended as its media archive, a launcher NAME that runs it from any\n"
     "folder, and a README naming the Debian packages it needs. It runs on Debian 12 without\n"
     "anything of Velmora installed, headless too. --deb also makes DIR/NAME_VERSION_amd64.deb,\n"
     "which installs it as /usr/bin/NAME and depends on those packages.\n"},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int Usage(const std::string& message) {
  std::cerr << "velmora: " << message << "\n";
  return 2;
}

// The options a command takes: its flags, its one folder or name, and what follows "--".
struct Arguments {
  std::vector<std::string> words;
  bool release = false, deb = false, verbose = false, help = false;
  std::string templateName = "2d";
  std::vector<std::string> programArgs;
};

int Parse(const std::string& command, int argc, char** argv, Arguments* a) {
  for (int k = 2; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--") {
      if (command != "run") return Usage(command + ": '--' belongs to `velmora run`");
      for (++k; k < argc; ++k) a->programArgs.push_back(argv[k]);
      break;
    }
    if (arg == "--help" || arg == "-h") {
      a->help = true;
    } else if (arg == "--release" && (command == "run" || command == "build")) {
      a->release = true;
    } else if (arg == "--deb" && command == "bundle") {
      a->deb = true;
    } else if ((arg == "--verbose" || arg == "-v") && command != "new" && command != "check") {
      a->verbose = true;
    } else if (arg == "--template" && command == "new") {
      if (k + 1 >= argc) return Usage("new: --template needs 2d or 3d");
      a->templateName = argv[++k];
      if (a->templateName != "2d" && a->templateName != "3d")
        return Usage("new: unknown template '" + a->templateName + "' (2d or 3d)");
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(command + ": unknown option " + arg + " (velmora " + command + " --help)");
    } else {
      a->words.push_back(arg);
    }
  }
  if (a->words.size() > 1) return Usage(command + ": one " + (command == "new" ? "name" : "folder") + " only");
  return 0;
}

// The project of the command's folder argument (or the current folder).
int LoadProject(const Arguments& a, Project* project) {
  const std::string start = a.words.empty() ? "." : a.words[0];
  std::error_code ec;
  if (!a.words.empty() && !std::filesystem::is_directory(start, ec)) return Usage(start + " is not a folder");
  std::string dir = velmora::FindProjectDir(start);
  if (dir.empty()) return Usage("no velmora.json in " + start + " or a folder above it (velmora new NAME makes a project)");
  std::string error;
  if (!velmora::ReadProject(dir, project, &error))
    return Usage(velmora::DisplayName(dir + "/velmora.json") + error.substr(std::strlen("velmora.json")));
  return 0;
}

// The project, and the runtime it is built on.
int LoadProjectAndRuntime(const Arguments& a, Project* project, velmora::Toolchain* toolchain) {
  if (const int status = LoadProject(a, project)) return status;
  std::string error;
  if (!velmora::LoadToolchain(toolchain, &error)) {
    std::cerr << error << "\n";
    return 2;
  }
  return 0;
}

int Build(const Arguments& a, bool release, velmora::BuildResult* built, Project* project) {
  velmora::Toolchain toolchain;
  if (const int status = LoadProjectAndRuntime(a, project, &toolchain)) return status;
  velmora::BuildOptions options;
  options.release = release;
  options.verbose = a.verbose;
  const int status = velmora::Build(*project, toolchain, options, built);
  if (status == 0)
    std::cerr << "velmora: " << project->name << " (" << (release ? "release" : "debug") << "): " << built->translated
              << " of " << built->modules << " modules translated, " << built->compiled << " of " << built->units
              << " files compiled, " << (built->linked ? "linked" : "up to date") << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kHelp;
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::cout << kHelp;
    return 0;
  }
  if (command == "--version") {
    std::cout << "velmora " << VELMORA_VERSION << "\n";
    return 0;
  }
  if (command == "help") {
    if (argc < 3) {
      std::cout << kHelp;
      return 0;
    }
    const Command* c = FindCommand(argv[2]);
    if (c == nullptr) return Usage(std::string("no command '") + argv[2] + "' (velmora --help lists them)");
    std::cout << c->help;
    return 0;
  }
  const Command* c = FindCommand(command);
  if (c == nullptr) return Usage("no command '" + command + "' (velmora --help lists them)");
  Arguments a;
  if (const int status = Parse(command, argc, argv, &a)) return status;
  if (a.help) {
    std::cout << c->help;
    return 0;
  }

  if (command == "new") {
    if (a.words.empty()) return Usage("new: a name is needed (velmora new NAME)");
    const std::string& path = a.words[0];
    const std::string name = std::filesystem::path(path).filename().string();
    if (!velmora::IsProjectName(name))
      return Usage("new: '" + name + "' is no project name: 1-64 letters, digits, '_' and '-', a letter first");
    std::string error;
    if (!velmora::MakeProject(path, name, a.templateName, &error)) {
      std::cerr << error << "\n";
      return 2;
    }
    std::cout << "Made " << path << "/ (" << a.templateName << "). Run it with: cd " << path << " && velmora run\n";
    return 0;
  }
  if (command == "check") {
    Project project;
    if (const int status = LoadProject(a, &project)) return status;
    const int status = velmora::CheckProject(project);
    if (status == 0) std::cerr << "velmora: " << project.name << ": no errors in " << project.modules.size() << " modules\n";
    return status;
  }
  if (command == "build" || command == "run") {
    Project project;
    velmora::BuildResult built;
    if (const int status = Build(a, a.release, &built, &project)) return status;
    if (command == "build") {
      std::cout << built.program << "\n";
      return 0;
    }
    std::vector<char*> args{const_cast<char*>(built.program.c_str())};
    for (const std::string& s : a.programArgs) args.push_back(const_cast<char*>(s.c_str()));
    args.push_back(nullptr);
    std::cout.flush();
    execv(built.program.c_str(), args.data());
    std::cerr << "velmora: cannot run " << built.program << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  // bundle
  Project project;
  velmora::Toolchain toolchain;
  if (const int status = LoadProjectAndRuntime(a, &project, &toolchain)) return status;
  velmora::BundleResult bundle;
  if (const int status = velmora::MakeBundle(project, toolchain, a.deb, a.verbose, &bundle)) return status;
  std::cout << bundle.tarball << "\n";
  if (!bundle.deb.empty()) std::cout << bundle.deb << "\n";
  return 0;
}
