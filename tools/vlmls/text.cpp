// vlmls' line index, position conversions and names in a text (see text.h).
#include "text.h"

#include <algorithm>
#include <cstdint>

namespace vlmls {

LineIndex::LineIndex(std::string_view text) {
  for (size_t k = text.find('\n'); k != std::string_view::npos; k = text.find('\n', k + 1)) starts_.push_back(k + 1);
}

size_t LineIndex::Start(int line) const {
  if (line < 0) return 0;
  if (line >= Lines()) return starts_.back();  // callers clamp to the text's size
  return starts_[static_cast<size_t>(line)];
}

std::string_view LineIndex::Line(std::string_view text, int line) const {
  if (line < 0 || line >= Lines()) return {};
  const size_t start = std::min(starts_[static_cast<size_t>(line)], text.size());
  size_t end = line + 1 < Lines() ? starts_[static_cast<size_t>(line) + 1] - 1 : text.size();
  end = std::max(start, std::min(end, text.size()));
  if (end > start && text[end - 1] == '\r') --end;
  return text.substr(start, end - start);
}

namespace {

// The length of the UTF-8 sequence that starts with the byte (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

int CharactersOf(std::string_view line, size_t bytes, Encoding encoding) {
  bytes = std::min(bytes, line.size());
  if (encoding == Encoding::Utf8) return static_cast<int>(bytes);
  int units = 0;
  for (size_t k = 0; k < bytes;) {
    const size_t n = SequenceLength(static_cast<unsigned char>(line[k]));
    units += n == 4 ? 2 : 1;
    k += n;
  }
  return units;
}

size_t BytesOf(std::string_view line, int characters, Encoding encoding) {
  if (characters <= 0) return 0;
  if (encoding == Encoding::Utf8) return std::min(line.size(), static_cast<size_t>(characters));
  size_t k = 0;
  int units = 0;
  while (k < line.size() && units < characters) {
    const size_t n = SequenceLength(static_cast<unsigned char>(line[k]));
    units += n == 4 ? 2 : 1;
    k = std::min(line.size(), k + n);
  }
  return k;
}

size_t OffsetOf(std::string_view text, const LineIndex& index, EditorPosition at, Encoding encoding) {
  if (at.line < 0) return 0;
  if (at.line >= index.Lines()) return text.size();
  const std::string_view line = index.Line(text, at.line);
  return std::min(text.size(), index.Start(at.line) + BytesOf(line, at.character, encoding));
}

bool IsUtf8(std::string_view s) {
  for (size_t k = 0; k < s.size();) {
    const auto c = static_cast<unsigned char>(s[k]);
    if (c < 0x80) {
      ++k;
      continue;
    }
    size_t n = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
    else return false;
    if (k + n > s.size()) return false;
    for (size_t j = 1; j < n; ++j) {
      const auto d = static_cast<unsigned char>(s[k + j]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    k += n;
  }
  return true;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

size_t NameLengthAt(std::string_view text, size_t offset) {
  size_t k = offset;
  while (k < text.size() && IsNameByte(text[k])) ++k;
  if (k == offset) return 0;
  if (k < text.size() && (text[k] == '$' || text[k] == '%')) ++k;
  return k - offset;
}

size_t NameStartBefore(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  size_t k = offset;
  // A cursor just after "name$" or on the suffix belongs to the name.
  if (k > 1 && (text[k - 1] == '$' || text[k - 1] == '%') && IsNameByte(text[k - 2])) --k;
  while (k > 0 && IsNameByte(text[k - 1])) --k;
  // A name starts with a letter (digits before it are a margin or a number).
  while (k < offset && text[k] >= '0' && text[k] <= '9') ++k;
  return k;
}

}  // namespace vlmls
