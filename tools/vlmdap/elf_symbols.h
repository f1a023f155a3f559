// Symbols of a 64-bit little-endian ELF executable, read from its bytes: what
// the debug adapter needs to find the message function and the state block
// of a program (exported through the dynamic symbol table) and to place them
// in a running process (the entry point, for the load bias of a PIE).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace elf {

struct Symbol {
  uint64_t value = 0;  // address in the file's own numbering (add the load bias)
  uint64_t size = 0;
};

struct Image {
  uint16_t machine = 0;        // EM_X86_64 (62), EM_AARCH64 (183), ...
  bool positionIndependent = false;  // ET_DYN: loaded at a bias chosen at run time
  uint64_t entry = 0;          // e_entry
  std::map<std::string, Symbol> symbols;  // only the names asked for that were found
};

// Reads the ELF header and looks the names up in the dynamic symbol table,
// then in the full symbol table when one is left. Damaged files (offsets or
// sizes outside the bytes, wrong class or byte order) are refused with a
// message in *error; nothing is read outside bytes.
bool ReadImage(std::string_view bytes, const std::vector<std::string>& names, Image* image, std::string* error);

constexpr uint16_t kMachineX86_64 = 62;
constexpr uint16_t kMachineAArch64 = 183;

}  // namespace elf
