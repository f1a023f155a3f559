// INI text as the INI store reads it: "[section]" headers and "key=value"
// lines, ";" comment lines; names compare without regard to letter case.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One section of an INI text: its name and its keys with their values, in file order.
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

// Adds the keys of the lines to sections. A section comes to life with its
// first key (a header without keys leaves nothing), a repeated header adds
// to the first section of that name, and a key without a value is dropped.
void ParseIniLines(const std::vector<std::string>& lines, std::vector<IniSection>* sections);
// The first section of that name, or null.
const IniSection* FindIniSection(const std::vector<IniSection>& sections, std::string_view name);
// The value of the first key of that name, or null.
const std::string* FindIniValue(const IniSection& section, std::string_view key);
