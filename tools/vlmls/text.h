// vlmls' view of a source text: where its lines start, positions as the
// editor counts them (UTF-16 code units or UTF-8 bytes per line) against the
// translator's byte columns, the editor's range edits, and the name at a place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vlmls {

enum class Encoding { Utf16, Utf8 };

// An editor position: 0-based line and character.
struct EditorPosition {
  int line = 0;
  int character = 0;
};

class LineIndex {
 public:
  LineIndex() = default;
  explicit LineIndex(std::string_view text);
  int Lines() const { return static_cast<int>(starts_.size()); }
  // The byte offset where the 0-based line starts (the text's size past the last).
  size_t Start(int line) const;
  // The line's bytes without its end (CR LF or LF).
  std::string_view Line(std::string_view text, int line) const;

 private:
  std::vector<size_t> starts_{0};
};

// Editor characters of a line's first `bytes` bytes, and the byte count of a
// line's first `characters` editor characters (clamped to the line).
int CharactersOf(std::string_view line, size_t bytes, Encoding encoding);
size_t BytesOf(std::string_view line, int characters, Encoding encoding);

// The byte offset of an editor position in the text (clamped to the text).
size_t OffsetOf(std::string_view text, const LineIndex& index, EditorPosition at, Encoding encoding);

// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view bytes);

// A BASIC name's characters: letters, digits and _, then one optional $ or %.
bool IsNameByte(char c);
// The length of the name starting at offset (0 when none starts there).
size_t NameLengthAt(std::string_view text, size_t offset);
// The start of the name that holds or ends at offset (offset when none).
size_t NameStartBefore(std::string_view text, size_t offset);

}  // namespace vlmls
