// Fuzz target of the BASIC translator's front end: any bytes as a module's
// source must give either C++ files or diagnostics in the documented form
// (source lines cut around the caret, one line for a source with a NUL
// byte), never a crash, a hang or both.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vlmc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vlmc::Options options;
  options.program = "fuzzed";
  options.lineHooks = (data[0] & 1) != 0;
  options.emitMain = (data[0] & 2) != 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Bit 2 splits the input into two modules at its middle.
  std::vector<vlmc::SourceFile> modules;
  if ((data[0] & 4) != 0) {
    modules.push_back({"first.bas", text.substr(0, text.size() / 2)});
    modules.push_back({"second.bas", text.substr(text.size() / 2)});
  } else {
    modules.push_back({"fuzz.bas", text});
  }
  const vlmc::Result result = vlmc::Translate(modules, options);
  if (result.ok) {
    if (result.files.size() != modules.size() + 2 || !result.diagnostics.empty()) std::abort();
  } else {
    if (!result.files.empty() || result.diagnostics.empty()) std::abort();
    const std::string& d = result.diagnostics;
    if (d.rfind("fuzz.bas:", 0) != 0 && d.rfind("first.bas:", 0) != 0 && d.rfind("second.bas:", 0) != 0) std::abort();
    // A source line is shown at most 60 bytes each side of the caret, with "..." at each cut.
    for (size_t start = 0; start < d.size();) {
      size_t end = d.find('\n', start);
      if (end == std::string::npos) end = d.size();
      if (d.compare(start, 2, "  ") == 0 && end - start > 2 + 3 + 121 + 3) std::abort();
      start = end + 1;
    }
  }
  // A module with a NUL byte is no text: one line and nothing else about it.
  if (modules.size() == 1 && text.find('\0') != std::string::npos &&
      (result.diagnostics.rfind("fuzz.bas:", 0) != 0 ||
       result.diagnostics.find(": this is not a text file: it holds a NUL byte here\n") + 52 !=
           result.diagnostics.size()))
    std::abort();
  return 0;
}
