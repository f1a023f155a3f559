// Parsing INI text into sections and keys, shared by the INI store and the readers of INI-shaped files.
#include "files/ini_text.h"

#include "files/read_channel.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsName(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '='; }

void StripControlTail(std::string& text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) < 32) text.pop_back();
}

IniSection* FindSection(std::vector<IniSection>& sections, std::string_view name) {
  for (IniSection& section : sections)
    if (SameNameIgnoringCase(section.name, name)) return &section;
  return nullptr;
}

}  // namespace

void ParseIniLines(const std::vector<std::string>& lines, std::vector<IniSection>* sections) {
  std::string current;
  for (const std::string& text : lines) {
    const char* p = text.c_str();
    while (IsBlank(*p) || *p == '\r' || *p == '\n') ++p;
    if (*p == '\0' || *p == ';') continue;
    if (*p == '[') {
      ++p;
      while (IsBlank(*p)) ++p;
      const char* start = p;
      while (!EndsName(*p)) ++p;
      current.assign(start, p);
      if (!current.empty() && current.back() == ']') current.pop_back();
      continue;
    }
    const char* start = p;
    while (!EndsName(*p)) ++p;
    const std::string key(start, p);
    while (IsBlank(*p)) ++p;
    if (*p != '=') continue;  // "=value" is the key "" with a value
    ++p;
    while (IsBlank(*p)) ++p;
    std::string value(p);
    StripControlTail(value);
    if (value.empty()) continue;
    IniSection* section = FindSection(*sections, current);
    if (section == nullptr) {
      sections->push_back(IniSection{current, {}});
      section = &sections->back();
    }
    section->keys.emplace_back(key, value);
  }
}

const IniSection* FindIniSection(const std::vector<IniSection>& sections, std::string_view name) {
  for (const IniSection& section : sections)
    if (SameNameIgnoringCase(section.name, name)) return &section;
  return nullptr;
}

const std::string* FindIniValue(const IniSection& section, std::string_view key) {
  for (const auto& [name, value] : section.keys)
    if (SameNameIgnoringCase(name, key)) return &value;
  return nullptr;
}
