// Reading the toolchain description.
#include "toolchain.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "process.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& file, Toolchain* toolchain, std::string* error) {
  std::ifstream in(file);
  if (!in) {
    *error = "velmora: cannot read the toolchain description " + file.string();
    return false;
  }
  *toolchain = Toolchain();
  toolchain->file = file.string();
  const fs::path base = file.parent_path();
  const auto resolve = [&](const std::string& p) {
    return fs::path(p).is_absolute() ? p : (base / p).lexically_normal().string();
  };
  std::string line;
  while (std::getline(in, line)) {
    // Blank lines, comments and unknown keys are passed over.
    const size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string key = line.substr(0, space);
    const std::string value = line.substr(space + 1);
    if (value.empty()) continue;
    if (key == "cxx") toolchain->cxx = value;
    else if (key == "version") toolchain->version = value;
    else if (key == "include") toolchain->includes.push_back(resolve(value));
    else if (key == "library") toolchain->libraries.push_back(resolve(value));
    else if (key == "link") toolchain->linkFlags.push_back(value);
  }
  std::error_code ec;
  for (const std::string& lib : toolchain->libraries)
    if (!fs::is_regular_file(lib, ec)) {
      *error = "velmora: the runtime library " + lib + " named by " + file.string() + " is missing";
      return false;
    }
  if (toolchain->libraries.empty()) {
    *error = "velmora: " + file.string() + " names no runtime library";
    return false;
  }
  return true;
}

}  // namespace

bool LoadToolchain(Toolchain* toolchain, std::string* error) {
  const char* given = std::getenv("VELMORA_TOOLCHAIN");
  if (given != nullptr && *given != '\0') return ReadFile(given, toolchain, error);
  const fs::path self = SelfPath();
  std::error_code ec;
  const fs::path beside = self.parent_path() / "toolchain.txt";
  if (fs::is_regular_file(beside, ec)) return ReadFile(beside, toolchain, error);
  const fs::path installed = self.parent_path().parent_path() / "share" / "velmora" / "toolchain.txt";
  if (fs::is_regular_file(installed, ec)) return ReadFile(installed, toolchain, error);
  *error = "velmora: the runtime is not found (no " + beside.string() + " nor " + installed.string() + ")";
  return false;
}

}  // namespace velmora
