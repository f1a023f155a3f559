// The files the debug adapter reads from the program's side: the input as
// an executable's bytes (the ELF symbol reader) and as a line map (whose
// answers must stay within what the map holds).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "elf_symbols.h"
#include "line_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  elf::Image image;
  std::string error;
  if (elf::ReadImage(bytes, {"VelmoraDebuggerMessage", "TheDebugState"}, &image, &error)) {
    if (image.symbols.size() > 2) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  dap::LineMap map;
  if (!map.Parse(bytes, &error)) {
    if (error.empty() || !map.empty()) std::abort();
    return 0;
  }
  for (const dap::ModuleMap& m : map.modules()) {
    for (int32_t line : {0, 1, 7, 1000}) {
      const dap::LineMatch match = map.Resolve(m.file, line);
      if (match.found && (match.line < line || map.Place(match.module, match.statement) == nullptr)) {
        std::fprintf(stderr, "dap files: %s:%d resolved to a line before it or to no statement\n", m.file.c_str(), line);
        std::abort();
      }
    }
    map.StatementsInLines(m.file, 1, 100);
  }
  return 0;
}
