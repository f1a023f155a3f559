// vlmc's diagnostics: the message form "file:line:column: message" with the
// source line and a caret, sorted by place, and the near-name suggestion for
// unknown names.
#include "diagnostics.h"

#include <algorithm>
#include <cctype>

namespace vlmc {

void Diagnostics::Error(Position at, const std::string& message) {
  entries_.push_back({at, message, {}, {}, false});
  ++errors_;
}

void Diagnostics::Error(Position at, const std::string& message, Position noteAt, const std::string& note) {
  entries_.push_back({at, message, noteAt, note, false});
  ++errors_;
}

void Diagnostics::FileError(int file, const std::string& message) {
  entries_.push_back({Position{file, 0, 0}, message, {}, {}, false, false});
  ++errors_;
}

void Diagnostics::ErrorWithoutSource(Position at, const std::string& message) {
  entries_.push_back({at, message, {}, {}, false, false});
  ++errors_;
}

void Diagnostics::Warning(Position at, const std::string& message, Position noteAt, const std::string& note) {
  entries_.push_back({at, "warning: " + message, noteAt, note, true});
}

std::vector<const Diagnostics::Entry*> Diagnostics::InLineOrder() const {
  std::vector<const Entry*> order;
  order.reserve(entries_.size());
  for (const Entry& e : entries_) order.push_back(&e);
  std::stable_sort(order.begin(), order.end(), [](const Entry* a, const Entry* b) {
    if (a->at.file != b->at.file) return a->at.file < b->at.file;
    return a->at.line != b->at.line ? a->at.line < b->at.line : a->at.column < b->at.column;
  });
  return order;
}

std::vector<Diagnostics::Message> Diagnostics::Messages() const {
  constexpr size_t kWarning = sizeof "warning: " - 1;
  std::vector<Message> out;
  for (const Entry* e : InLineOrder())
    out.push_back({e->at, e->warning ? e->message.substr(kWarning) : e->message, e->warning, !e->note.empty(),
                   e->noteAt, e->note});
  return out;
}

std::string Diagnostics::Text() const {
  const std::vector<const Entry*> order = InLineOrder();
  std::string out;
  int errors = 0;
  for (size_t k = 0; k < order.size() && errors < kMaxErrors; ++k) {
    Show(out, order[k]->at, order[k]->message, order[k]->source);
    if (!order[k]->note.empty()) Show(out, order[k]->noteAt, order[k]->note);
    if (!order[k]->warning) ++errors;
  }
  if (Full()) out += "vlmc: stopped after " + std::to_string(kMaxErrors) + " errors\n";
  return out;
}

// How much of a long source line is shown on each side of the caret.
constexpr size_t kContextBytes = 60;

void Diagnostics::Show(std::string& out, Position at, const std::string& message, bool source) const {
  const SourceFile& file = files_[at.file];
  if (at.line <= 0) {
    out += file.name + ": " + message + "\n";
    return;
  }
  out += file.name + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " + message + "\n";
  if (!source) return;
  // The source line and a caret under the column (tabs kept so they line up).
  size_t start = 0;
  for (int line = 1; line < at.line && start != std::string::npos; ++line) {
    start = file.text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos || start > file.text.size()) return;
  size_t end = file.text.find('\n', start);
  if (end == std::string::npos) end = file.text.size();
  if (end > start && file.text[end - 1] == '\r') --end;
  if (at.line == 1 && file.text.compare(start, 3, "\xEF\xBB\xBF") == 0 && end - start >= 3) start += 3;  // the lexer skips a BOM
  // A long line is cut to the part around the caret, each cut shown as
  // "...", and never inside a UTF-8 character.
  const size_t caret = start + std::min<size_t>(at.column > 0 ? at.column - 1 : 0, end - start);
  size_t from = caret - start > kContextBytes ? caret - kContextBytes : start;
  size_t to = end - caret > kContextBytes + 1 ? caret + 1 + kContextBytes : end;
  const auto continuation = [&](size_t k) { return (static_cast<unsigned char>(file.text[k]) & 0xC0) == 0x80; };
  while (from > start && from < caret && continuation(from)) ++from;
  while (to < end && to > caret && continuation(to)) --to;
  const std::string before = from > start ? "..." : "";
  out += "  " + before + file.text.substr(from, to - from) + (to < end ? "..." : "") + "\n  " +
         std::string(before.size(), ' ');
  for (size_t k = from; k < caret; ++k) out += file.text[k] == '\t' ? '\t' : ' ';
  out += "^\n";
}

namespace {

// Edit distance in half steps: a change of letter case costs 1, any other
// edit (including swapping two neighbours) 2.
int Distance(const std::string& a, const std::string& b) {
  const size_t w = b.size() + 1;
  std::vector<int> d((a.size() + 1) * w);
  for (size_t j = 0; j < w; ++j) d[j] = static_cast<int>(2 * j);
  for (size_t i = 1; i <= a.size(); ++i) {
    d[i * w] = static_cast<int>(2 * i);
    for (size_t j = 1; j <= b.size(); ++j) {
      int change = 2;
      if (a[i - 1] == b[j - 1])
        change = 0;
      else if (std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1])))
        change = 1;
      int best = std::min({d[(i - 1) * w + j] + 2, d[i * w + j - 1] + 2, d[(i - 1) * w + j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) best = std::min(best, d[(i - 2) * w + j - 2] + 2);
      d[i * w + j] = best;
    }
  }
  return d[a.size() * w + b.size()];
}

}  // namespace

std::string NearestName(const std::string& name, const std::vector<std::string>& candidates) {
  if (name.size() > 64) return "";
  std::string best;
  int bestDistance = 0;
  for (const std::string& c : candidates) {
    if (c.size() > name.size() + 8 || c.size() + 8 < name.size()) continue;
    const int d = Distance(name, c);
    if (best.empty() || d < bestDistance) {
      best = c;
      bestDistance = d;
    }
  }
  // Up to a third of the name's letters (at least one) may differ.
  const int allowed = 2 * std::max<int>(1, static_cast<int>(name.size()) / 3);
  return !best.empty() && bestDistance <= allowed ? best : "";
}

}  // namespace vlmc
