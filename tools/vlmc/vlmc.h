// vlmc, the BASIC translator: its front end as a library (source text in,
// diagnostics or C++ out), shared by the command-line tool, its tests, the
// fuzz target and the benchmark.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vlmc {

struct SourceFile {
  std::string name;  // as diagnostics show it
  std::string text;
};

// A project setting given from outside the program (a project file such as
// velmora.json): a number setting's whole value, or a text setting's text.
// They are set before the program's own PROJECT statements, which win.
struct ProjectSetting {
  std::string key;
  bool isText = false;
  double number = 0;
  std::string text;
};

struct Options {
  std::string program = "program";  // C++ namespace and header name
  bool lineHooks = true;            // debug build: the line hook before every statement
  bool emitMain = true;             // a main() that hands the program to the runtime
  // False: the syntax tree is left to the process's end rather than freed
  // block by block (the command-line tool, which exits right after).
  bool freeTree = true;
  std::vector<ProjectSetting> settings = {};
};

struct OutputFile {
  std::string name;  // file name without folder
  std::string text;
};

struct Result {
  bool ok = false;
  std::string diagnostics;  // "file:line:column: message", the line and a caret, per error
  std::vector<OutputFile> files;
  std::string lineMap;  // where each statement stands, for debuggers (line_map.h)
};

// The most bytes a module may hold: hundreds of times the largest module
// written so far, yet small enough that a file given by mistake (a picture,
// a disk image) is refused before it is read rather than parsed.
constexpr size_t kMaxSourceBytes = size_t{16} << 20;  // 16 MiB

// Bytes that are not UTF-8 a source may hold (characters of an 8-bit code
// page in a text or a comment); past this many it is taken for no text.
constexpr int kMaxForeignBytes = 64;

// The one line that refuses a module over kMaxSourceBytes, "name: ...".
std::string SourceTooLarge(const std::string& name);

// Translates the modules (module 0 first). Never throws on bad input. A
// module over kMaxSourceBytes, or one that is not text (a NUL byte, or more
// than kMaxForeignBytes bytes that are not UTF-8), gets one error line and
// translates no further.
Result Translate(const std::vector<SourceFile>& modules, const Options& options);

// The names of the files Translate writes for a program of moduleNames.
std::vector<std::string> OutputNames(const std::string& program, const std::vector<std::string>& moduleNames);

// What a PROJECT setting of that name holds: 'n' a number, 't' a text, 0
// for no setting of that name (the letter case matters, as in PROJECT).
char SettingKind(const std::string& name);

// The names of the PROJECT settings, in the order of ProjectSettings.
std::vector<std::string> SettingNames();

// True when the name can serve as a program name (a C++ identifier).
bool IsProgramName(const std::string& name);

}  // namespace vlmc
