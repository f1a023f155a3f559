// The cached build of a project.
#include "build.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "process.h"
#include "vlmc.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.1.0"
#endif

// FNV-1a, 64 bits: a cache key, not a checksum against tampering.
struct Hasher {
  uint64_t h = 1469598103934665603ull;
  Hasher& Add(std::string_view s) {
    for (const unsigned char c : s) {
      h ^= c;
      h *= 1099511628211ull;
    }
    // The length too, so that ("ab", "c") and ("a", "bc") differ.
    const uint64_t n = s.size();
    for (int k = 0; k < 8; ++k) {
      h ^= (n >> (8 * k)) & 0xFF;
      h *= 1099511628211ull;
    }
    return *this;
  }
  std::string Hex() const {
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(h));
    return buffer;
  }
};

// A file's identity for the cache: its path, size and modification time.
std::string Stamp(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) return path + " missing";
  const auto time = fs::last_write_time(path, ec).time_since_epoch().count();
  return path + " " + std::to_string(size) + " " + std::to_string(time);
}

// The runtime's headers a translation unit may include: a change to any
// (a new runtime) compiles everything again.
std::string HeaderStamp(const Toolchain& toolchain) {
  Hasher h;
  for (const std::string& dir : toolchain.includes) {
    std::error_code ec;
    std::vector<std::string> stamps;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_regular_file(ec)) stamps.push_back(Stamp(it->path().string()));
    std::sort(stamps.begin(), stamps.end());
    for (const std::string& s : stamps) h.Add(s);
  }
  return h.Hex();
}

bool ReadText(const std::string& path, std::string* text, size_t limit) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > limit) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

// Writes through a temporary file renamed over the old one, so a reader (or
// a running program) never sees half a file.
bool WriteText(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  return !ec;
}

// The cache's record of the last build: "key value" lines.
using State = std::map<std::string, std::string>;

State ReadState(const std::string& path) {
  State state;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  if (line != "velmora-cache 1") return state;
  while (std::getline(in, line)) {
    const size_t space = line.rfind(' ');
    if (space != std::string::npos) state[line.substr(0, space)] = line.substr(space + 1);
  }
  return state;
}

bool WriteState(const std::string& path, const State& state) {
  std::string text = "velmora-cache 1\n";
  for (const auto& [key, value] : state) text += key + " " + value + "\n";
  return WriteText(path, text);
}

// The modules' texts, named by their absolute paths (what the line map keeps
// for the debugger).
int ReadModules(const Project& project, std::vector<vlmc::SourceFile>* modules) {
  for (const std::string& m : project.modules) {
    const std::string path = project.dir + "/" + m;
    std::string text;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!ec && size > vlmc::kMaxSourceBytes) {
      std::cerr << vlmc::SourceTooLarge(DisplayName(path)) << "\n";
      return 1;
    }
    if (!ReadText(path, &text, vlmc::kMaxSourceBytes)) {
      std::cerr << "velmora: cannot read " << DisplayName(path) << "\n";
      return 2;
    }
    modules->push_back({path, std::move(text)});
  }
  return 0;
}

// The translator's diagnostics with the modules' absolute names shown as
// DisplayName gives them.
std::string ShowDiagnostics(const std::string& text, const std::vector<vlmc::SourceFile>& modules) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size() - 1;
    std::string line = text.substr(start, end - start + 1);
    for (const vlmc::SourceFile& m : modules)
      if (line.size() > m.name.size() && line.compare(0, m.name.size(), m.name) == 0 && line[m.name.size()] == ':') {
        line = DisplayName(m.name) + line.substr(m.name.size());
        break;
      }
    out += line;
    start = end + 1;
  }
  return out;
}

vlmc::Options TranslationOptions(const Project& project, bool release) {
  vlmc::Options options;
  const std::string id = ProgramIdentifier(project.name);
  options.program = vlmc::IsProgramName(id) ? id : "program_" + id;
  options.lineHooks = !release;
  options.settings = project.settings;
  return options;
}

// Holds an exclusive lock on the cache folder while it lives, so two builds
// of one project never write the same files.
class CacheLock {
 public:
  explicit CacheLock(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~CacheLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

struct Unit {
  std::string cpp;     // path of the C++ file
  std::string object;  // path of its object file
  std::string key;     // what the object is compiled from
};

// Compiles the units, as many at once as there are processors; prints the
// compiler's output of a unit that failed. True when all compiled.
bool CompileUnits(const std::vector<Unit>& units, const std::vector<std::string>& flags, const Toolchain& toolchain,
                  bool verbose) {
  const size_t jobs = std::max(1u, std::thread::hardware_concurrency());
  struct Job {
    pid_t pid;
    const Unit* unit;
    std::string log;
  };
  std::vector<Job> running;
  bool ok = true;
  size_t next = 0;
  const auto finish = [&](Job& job) {
    const int status = WaitProcess(job.pid);
    std::string output;
    ReadText(job.log, &output, size_t{1} << 24);
    fs::remove(job.log);
    if (status != 0) {
      ok = false;
      std::cerr << output;
      std::cerr << "velmora: the C++ compiler failed on " << job.unit->cpp << " (status " << status << ")\n";
      fs::remove(job.unit->object + ".tmp");
    } else {
      std::cerr << output;  // warnings, if any
      std::error_code ec;
      fs::rename(job.unit->object + ".tmp", job.unit->object, ec);
      if (ec) ok = false;
    }
  };
  while (next < units.size() || !running.empty()) {
    while (ok && next < units.size() && running.size() < jobs) {
      const Unit& u = units[next++];
      std::vector<std::string> argv{toolchain.cxx};
      argv.insert(argv.end(), flags.begin(), flags.end());
      argv.insert(argv.end(), {"-c", u.cpp, "-o", u.object + ".tmp"});
      if (verbose) std::cerr << "  compile " << fs::path(u.cpp).filename().string() << "\n";
      const std::string log = u.object + ".log";
      const pid_t pid = StartProcess(argv, "", log);
      if (pid < 0) {
        std::cerr << "velmora: cannot start the C++ compiler " << toolchain.cxx << "\n";
        ok = false;
        break;
      }
      running.push_back({pid, &u, log});
    }
    if (running.empty()) break;
    finish(running.front());
    running.erase(running.begin());
  }
  return ok;
}

// The data folder's entries, linked beside the program so it finds them by
// name while it is developed (a bundle packs them instead). Links of entries
// that are gone are removed.
void LinkData(const Project& project, const std::string& outDir) {
  std::error_code ec;
  const fs::path data = fs::path(project.dir) / project.data;
  // Links this build made before, that no longer lead to an entry.
  for (fs::directory_iterator it(outDir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_symlink(ec)) continue;
    const fs::path target = fs::read_symlink(it->path(), ec);
    if (!ec && target.parent_path() == data && !fs::exists(target, ec)) fs::remove(it->path(), ec);
  }
  if (project.data.empty()) return;
  for (fs::directory_iterator it(data, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path link = fs::path(outDir) / it->path().filename();
    std::error_code lec;
    if (fs::is_symlink(link, lec) && fs::read_symlink(link, lec) == it->path()) continue;
    if (fs::exists(fs::symlink_status(link, lec))) continue;  // the build's own file of that name wins
    fs::create_symlink(it->path(), link, lec);
  }
}

// Writes work/pch/runtime.h, the system and runtime headers the program's
// header includes, and compiles it to runtime.h.gch when it or what it is
// made from changed. Returns the header to put before every unit ("" when
// the compiler could not make one: the units then compile without it).
std::string PrecompiledHeader(const std::string& programHeader, const std::vector<std::string>& flags,
                              const Toolchain& toolchain, const std::string& runtimeStamp, const std::string& work,
                              State& old, State* state, bool verbose) {
  std::string text = "// The headers every unit of the program includes, precompiled once.\n#pragma once\n";
  std::istringstream lines(programHeader);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("#include ", 0) == 0) text += line + "\n";
  const std::string dir = work + "/pch";
  const std::string file = dir + "/runtime.h";
  const std::string gch = file + ".gch";
  Hasher key;
  key.Add(toolchain.cxx).Add(runtimeStamp).Add(text);
  for (const std::string& f : flags) key.Add(f);
  std::error_code ec;
  if (old["pch"] == key.Hex() && fs::is_regular_file(gch, ec)) {
    (*state)["pch"] = key.Hex();
    return file;
  }
  fs::create_directories(dir, ec);
  std::string before;
  if (!(ReadText(file, &before, size_t{1} << 20) && before == text) && !WriteText(file, text)) return "";
  std::vector<std::string> argv{toolchain.cxx};
  argv.insert(argv.end(), flags.begin(), flags.end());
  argv.insert(argv.end(), {"-x", "c++-header", file, "-o", gch + ".tmp"});
  if (verbose) std::cerr << "  precompile the runtime's headers\n";
  std::string output;
  if (RunProcess(argv, "", &output) != 0) {
    fs::remove(gch + ".tmp", ec);
    fs::remove(gch, ec);
    if (verbose) std::cerr << output << "  (the units are compiled without a precompiled header)\n";
    return "";
  }
  fs::rename(gch + ".tmp", gch, ec);
  if (ec) return "";
  (*state)["pch"] = key.Hex();
  return file;
}

}  // namespace

std::string DisplayName(const std::string& absolutePath) {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return absolutePath;
  const fs::path rel = fs::path(absolutePath).lexically_relative(cwd);
  if (rel.empty() || rel.begin()->string() == "..") return absolutePath;
  return rel.string();
}

int CheckProject(const Project& project) {
  std::vector<vlmc::SourceFile> modules;
  if (const int status = ReadModules(project, &modules)) return status;
  vlmc::Options options = TranslationOptions(project, false);
  options.freeTree = false;
  const vlmc::Result result = vlmc::Translate(modules, options);
  std::cerr << ShowDiagnostics(result.diagnostics, modules);
  return result.ok ? 0 : 1;
}

int Build(const Project& project, const Toolchain& toolchain, const BuildOptions& options, BuildResult* result) {
  const auto started = std::chrono::steady_clock::now();
  *result = BuildResult();
  const std::string profile = options.release ? "release" : "debug";
  const std::string outDir =
      options.outputDir.empty() ? project.dir + "/.velmora/" + profile : options.outputDir;
  const std::string work = outDir + "/build";
  std::error_code ec;
  fs::create_directories(work, ec);
  if (ec) {
    std::cerr << "velmora: cannot make " << work << ": " << ec.message() << "\n";
    return 2;
  }
  const std::string gitignore = project.dir + "/.velmora/.gitignore";
  if (!fs::exists(gitignore, ec)) WriteText(gitignore, "*\n");
  CacheLock lock(work + "/lock");
  if (!lock.ok()) {
    std::cerr << "velmora: cannot lock " << work << "\n";
    return 2;
  }
  const std::string stateFile = work + "/state";
  State old = ReadState(stateFile);
  State state;

  std::vector<vlmc::SourceFile> modules;
  if (const int status = ReadModules(project, &modules)) return status;
  result->modules = static_cast<int>(modules.size());
  const vlmc::Options translation = TranslationOptions(project, options.release);

  // What the translation is made from: the tool, the options, every module.
  Hasher sources;
  sources.Add(VELMORA_VERSION).Add(translation.program).Add(options.release ? "release" : "debug");
  for (const vlmc::ProjectSetting& s : translation.settings)
    sources.Add(s.key).Add(s.isText ? s.text : std::to_string(s.number));
  for (const vlmc::SourceFile& m : modules) sources.Add(m.name).Add(m.text);
  state["sources"] = sources.Hex();

  std::vector<std::string> moduleNames;
  for (const vlmc::SourceFile& m : modules) moduleNames.push_back(m.name);
  const std::vector<std::string> names = vlmc::OutputNames(translation.program, moduleNames);
  bool outputsThere = true;
  for (const std::string& n : names) outputsThere = outputsThere && fs::is_regular_file(work + "/" + n, ec);
  const std::string lineMap = outDir + "/" + project.name + ".vlmmap";

  if (old["sources"] != state["sources"] || !outputsThere || !fs::is_regular_file(lineMap, ec)) {
    vlmc::Options o = translation;
    o.freeTree = false;
    const vlmc::Result translated = vlmc::Translate(modules, o);
    std::cerr << ShowDiagnostics(translated.diagnostics, modules);
    if (!translated.ok) return 1;
    for (size_t k = 0; k < translated.files.size(); ++k) {
      const vlmc::OutputFile& f = translated.files[k];
      const std::string path = work + "/" + f.name;
      std::string before;
      if (ReadText(path, &before, size_t{1} << 30) && before == f.text) continue;
      if (!WriteText(path, f.text)) {
        std::cerr << "velmora: cannot write " << path << "\n";
        return 2;
      }
      if (k >= 2) {
        ++result->translated;
        if (options.verbose) std::cerr << "  translate " << DisplayName(modules[k - 2].name) << "\n";
      }
    }
    std::string before;
    if (!(ReadText(lineMap, &before, size_t{1} << 30) && before == translated.lineMap) &&
        !WriteText(lineMap, translated.lineMap)) {
      std::cerr << "velmora: cannot write " << lineMap << "\n";
      return 2;
    }
  }

  // Compile what changed: a unit's object is made from its C++, the program
  // header it includes, the flags and the runtime's headers.
  std::vector<std::string> flags{"-std=c++20", "-pipe", options.release ? "-O2" : "-O1"};
  for (const std::string& dir : toolchain.includes) flags.push_back("-I" + dir);
  std::string header;
  ReadText(work + "/" + names[0], &header, size_t{1} << 30);
  const std::string runtimeStamp = HeaderStamp(toolchain);
  // The runtime's headers the program includes, parsed once into a
  // precompiled header: they are most of what each unit costs to compile.
  const std::string pch = PrecompiledHeader(header, flags, toolchain, runtimeStamp, work, old, &state, options.verbose);
  if (!pch.empty()) flags.insert(flags.end(), {"-include", pch, "-Winvalid-pch"});
  Hasher common;
  common.Add(toolchain.cxx).Add(runtimeStamp).Add(header).Add(state["pch"]);
  for (const std::string& f : flags) common.Add(f);
  std::vector<Unit> all, stale;
  for (size_t k = 1; k < names.size(); ++k) {
    Unit u;
    u.cpp = work + "/" + names[k];
    u.object = work + "/" + fs::path(names[k]).stem().string() + ".o";
    std::string text;
    ReadText(u.cpp, &text, size_t{1} << 30);
    Hasher h = common;
    u.key = h.Add(text).Hex();
    state["object " + names[k]] = u.key;
    all.push_back(u);
    if (old["object " + names[k]] != u.key || !fs::is_regular_file(u.object, ec)) stale.push_back(u);
  }
  result->units = static_cast<int>(all.size());
  result->compiled = static_cast<int>(stale.size());
  // The record is written before compiling only with the keys of the units
  // that stay; a failed compile leaves its unit stale for the next build.
  if (!stale.empty()) {
    State partial = state;
    for (const Unit& u : stale) partial.erase("object " + fs::path(u.cpp).filename().string());
    partial.erase("link");
    WriteState(stateFile, partial);
    if (!CompileUnits(stale, flags, toolchain, options.verbose)) return 1;
  }

  // Link when an object, a runtime library or the flags changed.
  std::vector<std::string> link{"-rdynamic", "-pthread"};
  // gold links the runtime's libraries in half the time of the default linker.
  if (!FindOnPath("ld.gold").empty()) link.push_back("-fuse-ld=gold");
  if (options.bundle) link.insert(link.end(), {"-static-libstdc++", "-static-libgcc"});
  Hasher linkKey;
  linkKey.Add(toolchain.cxx);
  for (const Unit& u : all) linkKey.Add(u.key);
  for (const std::string& lib : toolchain.libraries) linkKey.Add(Stamp(lib));
  for (const std::string& f : toolchain.linkFlags) linkKey.Add(f);
  for (const std::string& f : link) linkKey.Add(f);
  state["link"] = linkKey.Hex();
  const std::string program = outDir + "/" + project.name;
  result->program = program;
  if (result->compiled > 0 || old["link"] != state["link"] || !fs::is_regular_file(program, ec)) {
    std::vector<std::string> argv{toolchain.cxx, "-o", program + ".tmp"};
    for (const Unit& u : all) argv.push_back(u.object);
    argv.insert(argv.end(), link.begin(), link.end());
    argv.push_back("-Wl,--start-group");
    argv.insert(argv.end(), toolchain.libraries.begin(), toolchain.libraries.end());
    argv.push_back("-Wl,--end-group");
    argv.insert(argv.end(), toolchain.linkFlags.begin(), toolchain.linkFlags.end());
    if (options.verbose) std::cerr << "  link " << project.name << "\n";
    std::string output;
    const int status = RunProcess(argv, "", &output);
    std::cerr << output;
    if (status != 0) {
      fs::remove(program + ".tmp", ec);
      std::cerr << "velmora: linking " << project.name << " failed (status " << status << ")\n";
      return 1;
    }
    fs::rename(program + ".tmp", program, ec);
    if (ec) {
      std::cerr << "velmora: cannot write " << program << ": " << ec.message() << "\n";
      return 2;
    }
    result->linked = true;
  }
  if (!WriteState(stateFile, state)) {
    std::cerr << "velmora: cannot write " << stateFile << "\n";
    return 2;
  }
  if (options.outputDir.empty()) LinkData(project, outDir);
  result->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return 0;
}

}  // namespace velmora
