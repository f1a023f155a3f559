// vlmc's pipeline: each module looked over for what makes it no source at
// all (its size, NUL bytes, bytes that are not UTF-8), tokenized and parsed
// into one tree, the tree checked (also after syntax errors, which the
// parser recovers from, unless the parser reached the error limit or could
// not read a module to its end), and the C++ written only when no stage
// reported an error.
#include <algorithm>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "check.h"
#include "emit.h"
#include "line_map.h"
#include "parser.h"
#include "vlmc.h"

namespace vlmc {
namespace {

// The length of the UTF-8 character at the start of s (1 to 4), or 0 when
// the bytes there are none: a stray continuation byte, a cut or overlong
// sequence, a surrogate or a code point past U+10FFFF.
size_t Utf8Length(std::string_view s) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(0);
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || byte(1) < lo || byte(1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if ((byte(k) & 0xC0) != 0x80) return 0;
  return n;
}

Position PositionOf(const std::string& text, size_t offset, int file) {
  Position at{file, 1, 1};
  size_t lineStart = 0;
  for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '\n', text.data() + offset - p)));
       ++p) {
    ++at.line;
    lineStart = static_cast<size_t>(p - text.data()) + 1;
  }
  // A byte order mark is not counted in the first line's columns, as the tokenizer skips it.
  const size_t skipped = at.line == 1 && text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  at.column = static_cast<int>(offset - lineStart - std::min(skipped, offset - lineStart)) + 1;
  return at;
}

// False, with the one error that says why, for a module that is no source.
bool IsSource(const SourceFile& m, int file, Diagnostics& d) {
  if (m.text.size() > kMaxSourceBytes) {
    d.FileError(file, SourceTooLarge(m.name).substr(m.name.size() + 2));
    return false;
  }
  if (const void* nul = std::memchr(m.text.data(), '\0', m.text.size())) {
    const size_t at = static_cast<size_t>(static_cast<const char*>(nul) - m.text.data());
    d.ErrorWithoutSource(PositionOf(m.text, at, file), "this is not a text file: it holds a NUL byte here");
    return false;
  }
  const std::string_view text = m.text;
  size_t first = 0;
  int foreign = 0;
  for (size_t k = 0; k < text.size();) {
    if (static_cast<unsigned char>(text[k]) < 0x80) {
      ++k;
      continue;
    }
    const size_t n = Utf8Length(text.substr(k));
    if (n > 0) {
      k += n;
      continue;
    }
    if (foreign++ == 0) first = k;
    if (foreign > kMaxForeignBytes) {
      d.ErrorWithoutSource(PositionOf(m.text, first, file),
                           "this is not a text file: more than " + std::to_string(kMaxForeignBytes) +
                               " bytes are not UTF-8, the first here");
      return false;
    }
    ++k;
  }
  return true;
}

}  // namespace

std::string SourceTooLarge(const std::string& name) {
  return name + ": the file holds more than " + std::to_string(kMaxSourceBytes) + " bytes (16 MiB), the most a module may hold";
}

Result Translate(const std::vector<SourceFile>& modules, const Options& options) {
  Result result;
  Diagnostics diagnostics(modules);
  auto owned = std::make_unique<ProgramTree>();
  ProgramTree& tree = *owned;
  for (const SourceFile& m : modules) tree.modules.push_back(Module{m.name, {}, {}});
  bool complete = true;
  for (size_t m = 0; m < modules.size(); ++m) {
    if (!IsSource(modules[m], static_cast<int>(m), diagnostics)) {
      complete = false;
      continue;
    }
    std::deque<std::string> texts;
    Lexer lexer(modules[m], static_cast<int>(m), diagnostics, texts);
    complete = Parse(lexer, static_cast<int>(m), tree, diagnostics) && complete;
  }
  // Settings from outside go first, so the program's own PROJECT statements set them last.
  std::vector<Setting> given;
  for (const ProjectSetting& p : options.settings) {
    Setting setting;
    setting.key = p.key;
    setting.at = Position{0, 1, 1};
    setting.value = std::make_unique<Expr>();
    setting.value->at = setting.at;
    setting.value->kind = p.isText ? Expr::String : Expr::Number;
    setting.value->text = p.isText ? p.text : std::to_string(static_cast<long long>(p.number));
    setting.value->value = p.isText ? 0 : p.number;
    given.push_back(std::move(setting));
  }
  tree.settings.insert(tree.settings.begin(), std::make_move_iterator(given.begin()),
                       std::make_move_iterator(given.end()));
  if (complete && !diagnostics.Full()) Check(tree, diagnostics, options.program, true);
  if (diagnostics.Count() == 0) result.files = Emit(tree, options);
  if (diagnostics.Count() == 0) result.lineMap = LineMap(tree, modules, options.program);
  result.ok = diagnostics.Count() == 0;
  result.diagnostics = diagnostics.Text();
  if (!options.freeTree) {
    // Millions of blocks that the exit frees at once. They stay reachable
    // from here, so a leak checker sees them held, not lost.
    static auto* const kept = new std::vector<std::unique_ptr<ProgramTree>>;
    kept->push_back(std::move(owned));
  }
  return result;
}

}  // namespace vlmc
