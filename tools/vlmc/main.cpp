// vlmc, the BASIC translator's command line:
//   vlmc --program NAME --out DIR [--debug|--release] [--no-main] module0.bas module1.bas ...
// writes NAME.h, NAME_program.cpp, one NAME_module<k>_<file>.cpp per module and
// NAME.vlmmap, the line map a debugger reads, into DIR; with --check it only
// reports errors. DIR is made when it does not exist. Errors go to standard
// error as "file:line:column: message" with the line and a caret (or
// "file: message" for a whole file: one over 16 MiB is refused unread); the
// exit code is then 1 (2 for a bad command line or an unreadable file).
// --help and --version print and exit 0.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "vlmc.h"

namespace {

#ifndef VLMC_VERSION
#define VLMC_VERSION "0.1.0"
#endif

const char kUsage[] = "usage: vlmc --program NAME --out DIR [--debug|--release] [--no-main] [--check] module.bas...\n";

int Usage(const char* message) {
  std::cerr << "vlmc: " << message << "\n" << kUsage;
  return 2;
}

int Help() {
  std::cout << "vlmc, the BASIC translator of Velmora programs\n"
            << kUsage
            << "  --program NAME  the program's name: its C++ namespace and the files' prefix\n"
               "  --out DIR       where the files go (made when missing)\n"
               "  --debug         the line hook before every statement (the default)\n"
               "  --release       only the statement's position before every statement\n"
               "  --no-main       no main(): the program is linked into another executable\n"
               "  --check         report the errors only, write nothing\n"
               "  --help, --version\n"
               "Module 0, the first given, holds the main program. A module is UTF-8 text of at most\n"
               "16 MiB (16777216 bytes); a larger file is refused unread, and one holding a NUL byte or\n"
               "more than 64 bytes that are not UTF-8 is refused as not text. The first 20 errors are\n"
               "shown. docs/language.md describes the language.\n";
  return 0;
}

enum class Read { Ok, TooLarge, Failed };

// A module's bytes, never more than the limit: a regular file over it is
// refused by its size before a byte is read, and anything else (a pipe, a
// device) once it has given one byte more.
Read ReadSource(const std::string& path, std::string& text) {
  std::error_code failed;
  const auto status = std::filesystem::status(path, failed);
  if (!failed && std::filesystem::is_regular_file(status)) {
    const auto size = std::filesystem::file_size(path, failed);
    if (!failed && size > vlmc::kMaxSourceBytes) return Read::TooLarge;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Read::Failed;
  char block[65536];
  bool bad = false;
  while (text.size() <= vlmc::kMaxSourceBytes) {
    const size_t got = std::fread(block, 1, sizeof block, file);
    text.append(block, got);
    if (got < sizeof block) {
      bad = std::ferror(file) != 0;
      break;
    }
  }
  std::fclose(file);
  if (bad) return Read::Failed;
  return text.size() > vlmc::kMaxSourceBytes ? Read::TooLarge : Read::Ok;
}

// The syntax tree of a big program is millions of small blocks, and mapping
// the heap in 4 KB pages costs as much as building it. Run once more with
// the C library told to back the heap with transparent huge pages (a third
// less time for a 100,000-line program); where that cannot be, go on as is.
void UseHugePagesForTheHeap(char** argv) {
  if (std::getenv("VLMC_HEAP_TUNED") != nullptr) return;
  setenv("VLMC_HEAP_TUNED", "1", 1);
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables != nullptr && std::strstr(tunables, "glibc.malloc.hugetlb") != nullptr) return;
  std::string value = "glibc.malloc.hugetlb=1";
  if (tunables != nullptr && *tunables != '\0') value = std::string(tunables) + ":" + value;
  setenv("GLIBC_TUNABLES", value.c_str(), 1);
  execv("/proc/self/exe", argv);
}

}  // namespace

int main(int argc, char** argv) {
  UseHugePagesForTheHeap(argv);
  vlmc::Options options;
  std::string out;
  bool check = false;
  bool named = false;
  bool tooLarge = false;
  std::vector<vlmc::SourceFile> modules;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--help" || arg == "-h") return Help();
    if (arg == "--version") {
      std::cout << "vlmc " << VLMC_VERSION << "\n";
      return 0;
    }
    if (arg == "--program" && k + 1 < argc) {
      options.program = argv[++k];
      named = true;
    } else if (arg == "--out" && k + 1 < argc) {
      out = argv[++k];
    } else if (arg == "--debug") {
      options.lineHooks = true;
    } else if (arg == "--release") {
      options.lineHooks = false;
    } else if (arg == "--no-main") {
      options.emitMain = false;
    } else if (arg == "--check") {
      check = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else {
      std::string text;
      const Read read = ReadSource(arg, text);
      if (read == Read::Failed) {
        std::cerr << "vlmc: cannot read " << arg << "\n";
        return 2;
      }
      if (read == Read::TooLarge) {
        std::cerr << vlmc::SourceTooLarge(arg) << "\n";
        tooLarge = true;
      }
      modules.push_back({arg, read == Read::Ok ? std::move(text) : std::string()});
    }
  }
  if (modules.empty()) return Usage("no modules given");
  if (!check && (!named || out.empty())) return Usage("--program and --out are needed");
  if (!vlmc::IsProgramName(options.program)) return Usage("the program name must be a C++ identifier");
  if (tooLarge) return 1;
  options.freeTree = false;  // the process ends soon after
  const vlmc::Result result = vlmc::Translate(modules, options);
  std::cerr << result.diagnostics;
  if (!result.ok) return 1;
  if (check) return 0;
  std::error_code made;
  std::filesystem::create_directories(out, made);
  if (made) {
    std::cerr << "vlmc: cannot make " << out << ": " << made.message() << "\n";
    return 2;
  }
  std::vector<vlmc::OutputFile> files = result.files;
  files.push_back({options.program + ".vlmmap", result.lineMap});
  for (const vlmc::OutputFile& file : files) {
    const std::string path = out + "/" + file.name;
    std::ofstream of(path, std::ios::binary);
    of << file.text;
    if (!of) {
      std::cerr << "vlmc: cannot write " << path << "\n";
      return 2;
    }
  }
  return 0;
}
