// Making the tarball and the Debian package of a project.
#include "bundle.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "build.h"
#include "lib/archive_writer.h"
#include "process.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

// Loaded by name at run time rather than linked, so ldd does not show them:
// the GL dispatcher's vendor libraries (Mesa's GLX and EGL) and its drivers.
const char* const kDriverPackages[] = {"libegl1", "libegl-mesa0", "libglx-mesa0", "libgl1-mesa-dri"};

bool WriteFile(const fs::path& path, const std::string& text, bool executable) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return false;
  }
  if (executable) chmod(path.c_str(), 0755);
  return true;
}

std::string Launcher(const std::string& program) {
  return "#!/bin/sh\n"
         "# Runs " + program + " from wherever this folder lies, from any working folder.\n"
         "PATH=${PATH:-/usr/bin:/bin}\n"
         "here=$(dirname \"$(readlink -f \"$0\" 2>/dev/null || echo \"$0\")\")\n"
         "exec \"$here/" + program + "\" \"$@\"\n";
}

std::string Readme(const Project& project, const std::vector<std::string>& packages, bool fromDeb) {
  std::string list;
  for (const std::string& p : packages) list += (list.empty() ? "" : " ") + p;
  std::string text = project.name + " " + project.version + "\n\n";
  if (fromDeb) {
    text += "Run it with `" + project.name + "`.\n";
  } else {
    text += "Run it with ./" + project.name + " in this folder (or the full path to it, from any folder).\n"
            "On a machine without a screen it renders offscreen; add --frames N to stop after N frames\n"
            "and --screenshot FILE to keep the last one.\n";
  }
  text += "\nIt runs on Debian 12 (x86-64) with these packages installed (apt-get install ...):\n"
          "Debian packages: " + list + "\n";
  return text;
}

// Every file of the data folder: the top level's regular files go into the
// archive (entry names hold no folders), the rest beside the program.
bool PlaceData(const Project& project, const fs::path& programDir, const fs::path& program, bool verbose,
               std::string* error) {
  if (project.data.empty()) return true;
  const fs::path data = fs::path(project.dir) / project.data;
  std::error_code ec;
  std::vector<ArchiveInput> inputs;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(data, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  std::sort(entries.begin(), entries.end());
  for (const fs::path& p : entries) {
    const std::string name = p.filename().string();
    bool plain = fs::is_regular_file(p, ec) && name.size() <= 255;
    for (const char c : name) plain = plain && static_cast<unsigned char>(c) >= 0x20;
    if (plain) {
      inputs.push_back({name, p.string()});
      continue;
    }
    fs::copy(p, programDir / p.filename(), fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
      *error = "velmora: cannot copy " + p.string() + ": " + ec.message();
      return false;
    }
  }
  if (inputs.empty()) return true;
  if (verbose) std::cerr << "  pack " << inputs.size() << " data files\n";
  std::string why;
  if (!AppendToArchive(program.c_str(), inputs, &why)) {
    *error = "velmora: cannot append the data folder to the program: " + why;
    return false;
  }
  return true;
}

}  // namespace

std::string DebianName(const std::string& name) {
  std::string out;
  for (const char c : name) out += c == '_' ? '-' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (out.size() < 2) out += "-game";
  return out;
}

bool RuntimePackages(const std::string& program, std::vector<std::string>* packages, std::string* error) {
  std::string output;
  if (RunProcess({"ldd", program}, "", &output) != 0) {
    *error = "velmora: ldd cannot list the libraries of " + program + ": " + output.substr(0, output.find('\n'));
    return false;
  }
  // The libraries the program names itself; apt brings what they need in
  // turn. Without readelf (binutils), every library ldd lists is taken.
  std::set<std::string> needed;
  std::string dynamic;
  if (RunProcess({"readelf", "-d", program}, "", &dynamic) == 0) {
    std::istringstream entries(dynamic);
    std::string entry;
    while (std::getline(entries, entry)) {
      const size_t open = entry.find("(NEEDED)");
      const size_t from = entry.find('[', open == std::string::npos ? entry.size() : open);
      if (from != std::string::npos && entry.find(']', from) != std::string::npos)
        needed.insert(entry.substr(from + 1, entry.find(']', from) - from - 1));
    }
  }
  // Each library under every name dpkg may know it by: with merged /usr, a
  // file of /lib is registered as /usr/lib or the other way round.
  std::vector<std::pair<std::string, std::vector<std::string>>> libraries;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    // "\tlibSDL2-2.0.so.0 => /lib/x86_64-linux-gnu/libSDL2-2.0.so.0 (0x...)" or "\t/lib64/ld-linux-x86-64.so.2 (0x...)"
    size_t start = line.find("=> ");
    start = start == std::string::npos ? line.find('/') : start + 3;
    if (start == std::string::npos || start >= line.size() || line[start] != '/') continue;
    const std::string path = line.substr(start, line.find(' ', start) - start);
    if (!needed.empty() && needed.count(fs::path(path).filename().string()) == 0) continue;
    std::vector<std::string> names;
    const auto both = [&names](const std::string& p) {
      names.push_back(p);
      names.push_back(p.rfind("/usr/", 0) == 0 ? p.substr(4) : "/usr" + p);
    };
    both(path);
    std::error_code ec;
    const std::string real = fs::canonical(path, ec).string();
    if (!ec && real != path) both(real);
    libraries.emplace_back(path, names);
  }
  // One query for all of them: dpkg reads its whole database for each call.
  std::vector<std::string> query{"dpkg-query", "-S"};
  for (const auto& lib : libraries) query.insert(query.end(), lib.second.begin(), lib.second.end());
  std::string answer;
  RunProcess(query, "", &answer);  // not 0 when some of the names are unknown, as most are
  std::map<std::string, std::string> owners;  // path -> first package
  std::istringstream answers(answer);
  while (std::getline(answers, line)) {
    // "libsdl2-2.0-0:amd64: /usr/lib/x86_64-linux-gnu/libSDL2-2.0.so.0" (packages, comma-separated)
    const size_t colon = line.find(": /");
    if (colon == std::string::npos) continue;
    std::string owner = line.substr(0, colon);
    owner = owner.substr(0, owner.find(','));
    owner = owner.substr(0, owner.find(':'));
    owners.emplace(line.substr(colon + 2), owner);
  }
  std::set<std::string> found;
  for (const auto& [path, names] : libraries) {
    std::string owner;
    for (const std::string& n : names)
      if (owners.count(n) != 0) {
        owner = owners[n];
        break;
      }
    if (owner.empty()) {
      *error = "velmora: no Debian package holds " + path + ", which the program needs";
      return false;
    }
    found.insert(owner);
  }
  for (const char* p : kDriverPackages) found.insert(p);
  for (const std::string& p : found)
    if (p.size() > 4 && p.compare(p.size() - 4, 4, "-dev") == 0) {
      *error = "velmora: the program needs the development package " + p + "; a bundle may only need runtime packages";
      return false;
    }
  packages->assign(found.begin(), found.end());
  return true;
}

int MakeBundle(const Project& project, const Toolchain& toolchain, bool deb, bool verbose, BundleResult* result) {
  BuildOptions options;
  options.release = true;
  options.bundle = true;
  options.verbose = verbose;
  options.outputDir = project.dir + "/.velmora/bundle";
  BuildResult built;
  if (const int status = Build(project, toolchain, options, &built)) return status;

  std::string error;
  if (!RuntimePackages(built.program, &result->packages, &error)) {
    std::cerr << error << "\n";
    return 2;
  }
  const std::string base = project.name + "-" + project.version + "-linux-x86_64";
  const fs::path stage = fs::path(project.dir) / ".velmora" / "bundle" / "stage";
  std::error_code ec;
  fs::remove_all(stage, ec);
  const fs::path top = stage / base;
  fs::create_directories(top / "lib", ec);
  if (ec) {
    std::cerr << "velmora: cannot make " << top.string() << ": " << ec.message() << "\n";
    return 2;
  }
  const fs::path program = top / "lib" / project.name;
  fs::copy_file(built.program, program, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::cerr << "velmora: cannot copy the program: " << ec.message() << "\n";
    return 2;
  }
  if (!PlaceData(project, top / "lib", program, verbose, &error)) {
    std::cerr << error << "\n";
    return 2;
  }
  if (!WriteFile(top / project.name, Launcher("lib/" + project.name), true) ||
      !WriteFile(top / "README", Readme(project, result->packages, false), false)) {
    std::cerr << "velmora: cannot write into " << top.string() << "\n";
    return 2;
  }
  result->tarball = project.dir + "/" + base + ".tar.gz";
  const std::string partial = result->tarball + ".tmp";
  std::string output;
  if (RunProcess({"tar", "--owner=0", "--group=0", "--numeric-owner", "-czf", partial, "-C", stage.string(), base}, "",
                 &output) != 0) {
    std::cerr << output << "velmora: tar could not make " << result->tarball << "\n";
    fs::remove(partial, ec);
    return 2;
  }
  fs::rename(partial, result->tarball, ec);
  if (ec) {
    std::cerr << "velmora: cannot write " << result->tarball << ": " << ec.message() << "\n";
    return 2;
  }
  if (!deb) return 0;

  // The Debian package: the same program and files under /usr/lib/NAME.
  const std::string package = DebianName(project.name);
  const fs::path root = fs::path(project.dir) / ".velmora" / "bundle" / "deb";
  fs::remove_all(root, ec);
  const fs::path lib = root / "usr" / "lib" / package;
  fs::create_directories(lib, ec);
  fs::create_directories(root / "usr" / "bin", ec);
  fs::create_directories(root / "usr" / "share" / "doc" / package, ec);
  fs::create_directories(root / "DEBIAN", ec);
  fs::copy(top / "lib", lib, fs::copy_options::recursive, ec);
  if (ec) {
    std::cerr << "velmora: cannot lay out the Debian package: " << ec.message() << "\n";
    return 2;
  }
  std::string depends;
  for (const std::string& p : result->packages) depends += (depends.empty() ? "" : ", ") + p;
  uintmax_t bytes = 0;
  for (fs::recursive_directory_iterator it(lib, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) bytes += it->file_size(ec);
  const std::string control = "Package: " + package + "\nVersion: " + project.version +
                              "\nArchitecture: amd64\nMaintainer: " + project.name + " <nobody@localhost>\n" +
                              "Installed-Size: " + std::to_string(bytes / 1024 + 1) + "\nDepends: " + depends +
                              "\nSection: games\nPriority: optional\nDescription: " + project.name +
                              ", a game made with Velmora\n";
  if (!WriteFile(root / "DEBIAN" / "control", control, false) ||
      !WriteFile(root / "usr" / "bin" / package,
                 "#!/bin/sh\nexec /usr/lib/" + package + "/" + project.name + " \"$@\"\n", true) ||
      !WriteFile(root / "usr" / "share" / "doc" / package / "README", Readme(project, result->packages, true),
                 false)) {
    std::cerr << "velmora: cannot write the Debian package's files\n";
    return 2;
  }
  result->deb = project.dir + "/" + package + "_" + project.version + "_amd64.deb";
  if (RunProcess({"dpkg-deb", "--root-owner-group", "--build", root.string(), result->deb}, "", &output) != 0) {
    std::cerr << output << "velmora: dpkg-deb could not make " << result->deb << "\n";
    return 2;
  }
  return 0;
}

}  // namespace velmora
