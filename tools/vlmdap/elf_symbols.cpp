// Reading symbols from an ELF executable's bytes (see elf_symbols.h).
#include "elf_symbols.h"

#include <cstring>

namespace elf {

namespace {

template <class T>
bool Get(std::string_view bytes, uint64_t offset, T* value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(value, bytes.data() + offset, sizeof(T));
  return true;
}

struct Section {
  uint32_t type = 0;
  uint64_t offset = 0, size = 0, entsize = 0;
  uint32_t link = 0;
};

bool ReadSection(std::string_view bytes, uint64_t shoff, uint16_t shentsize, uint32_t index, Section* s) {
  const uint64_t base = shoff + static_cast<uint64_t>(index) * shentsize;
  return Get(bytes, base + 4, &s->type) && Get(bytes, base + 24, &s->offset) && Get(bytes, base + 32, &s->size) &&
         Get(bytes, base + 40, &s->link) && Get(bytes, base + 56, &s->entsize);
}

bool InBytes(std::string_view bytes, uint64_t offset, uint64_t size) {
  return offset <= bytes.size() && size <= bytes.size() - offset;
}

// Looks up the names still missing from image->symbols in one symbol table.
void SearchTable(std::string_view bytes, const Section& table, const Section& strings,
                 const std::vector<std::string>& names, Image* image) {
  constexpr uint64_t kEntry = 24;  // Elf64_Sym
  if (table.entsize != kEntry || !InBytes(bytes, table.offset, table.size)) return;
  if (!InBytes(bytes, strings.offset, strings.size)) return;
  const std::string_view strtab = bytes.substr(strings.offset, strings.size);
  for (uint64_t at = table.offset; at + kEntry <= table.offset + table.size; at += kEntry) {
    uint32_t nameOffset = 0;
    uint16_t sectionIndex = 0;
    Symbol symbol;
    if (!Get(bytes, at, &nameOffset) || !Get(bytes, at + 6, &sectionIndex) || !Get(bytes, at + 8, &symbol.value) ||
        !Get(bytes, at + 16, &symbol.size))
      return;
    if (sectionIndex == 0 || nameOffset >= strtab.size()) continue;  // undefined here, or no name
    const size_t end = strtab.find('\0', nameOffset);
    if (end == std::string_view::npos) continue;
    const std::string_view name = strtab.substr(nameOffset, end - nameOffset);
    for (const std::string& wanted : names) {
      if (name == wanted && image->symbols.find(wanted) == image->symbols.end()) image->symbols[wanted] = symbol;
    }
  }
}

}  // namespace

bool ReadImage(std::string_view bytes, const std::vector<std::string>& names, Image* image, std::string* error) {
  *image = Image();
  if (bytes.size() < 64 || std::memcmp(bytes.data(), "\x7f" "ELF", 4) != 0) {
    *error = "not an ELF file";
    return false;
  }
  if (bytes[4] != 2 || bytes[5] != 1) {
    *error = "not a 64-bit little-endian ELF file";
    return false;
  }
  uint16_t type = 0, shentsize = 0, shnum = 0;
  uint64_t shoff = 0;
  Get(bytes, 16, &type);
  Get(bytes, 18, &image->machine);
  Get(bytes, 24, &image->entry);
  Get(bytes, 40, &shoff);
  Get(bytes, 58, &shentsize);
  Get(bytes, 60, &shnum);
  if (type != 2 && type != 3) {
    *error = "not an executable";
    return false;
  }
  image->positionIndependent = type == 3;
  if (shnum == 0 || shentsize < 64 || !InBytes(bytes, shoff, static_cast<uint64_t>(shnum) * shentsize)) {
    *error = "no readable section headers";
    return false;
  }
  // The dynamic table first: it is what -rdynamic exports and survives stripping.
  for (const uint32_t wantedType : {11u /* SHT_DYNSYM */, 2u /* SHT_SYMTAB */}) {
    for (uint32_t k = 0; k < shnum; ++k) {
      Section table;
      if (!ReadSection(bytes, shoff, shentsize, k, &table) || table.type != wantedType) continue;
      Section strings;
      if (table.link >= shnum || !ReadSection(bytes, shoff, shentsize, table.link, &strings)) continue;
      SearchTable(bytes, table, strings, names, image);
    }
  }
  return true;
}

}  // namespace elf
