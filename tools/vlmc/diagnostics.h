// vlmc's diagnostics: positions in the source, the error messages collected
// (each with its source line and a caret, in line order) and the suggestion
// of a near name.
#pragma once

#include <string>
#include <vector>

#include "vlmc.h"

namespace vlmc {

struct Position {
  int file = 0;
  int line = 0;  // 1-based
  int column = 0;  // 1-based
};

class Diagnostics {
 public:
  explicit Diagnostics(const std::vector<SourceFile>& files) : files_(files) {}
  void Error(Position at, const std::string& message);
  // An error that also shows a second place (the first spelling of a name...).
  void Error(Position at, const std::string& message, Position noteAt, const std::string& note);
  // An error about the whole file, shown as "file: message" (line 0).
  void FileError(int file, const std::string& message);
  // An error shown on its line alone, without the source line (a file that is not text).
  void ErrorWithoutSource(Position at, const std::string& message);
  // A message that does not stop the translation, shown with the errors (also a second place).
  void Warning(Position at, const std::string& message, Position noteAt, const std::string& note);
  // The errors (warnings not counted).
  int Count() const { return errors_; }
  // The tokenizer and parser stop here, and so does the checker run by the
  // translator; the first kMaxErrors of what was reported, in line order,
  // are shown.
  bool Full() const { return Count() >= kMaxErrors; }
  // The messages in line order, at most kMaxErrors, and a closing line when
  // that many were reached.
  std::string Text() const;

  // One collected message, for tools that show them their own way (the language server).
  struct Message {
    Position at;
    std::string message;  // without the "warning: " of Text()
    bool warning;
    bool hasNote;
    Position noteAt;
    std::string note;
  };
  // Every message in line order, not cut at kMaxErrors.
  std::vector<Message> Messages() const;

  static constexpr int kMaxErrors = 20;

 private:
  struct Entry {
    Position at;
    std::string message;
    Position noteAt;
    std::string note;  // empty: none
    bool warning;
    bool source = true;  // shown with its source line and a caret
  };
  void Show(std::string& out, Position at, const std::string& message, bool source = true) const;
  std::vector<const Entry*> InLineOrder() const;

  const std::vector<SourceFile>& files_;
  std::vector<Entry> entries_;
  int errors_ = 0;
};

// The nearest of the candidates by edit distance (letter case counting
// half), or "" when none is close enough to be a likely typo.
std::string NearestName(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace vlmc
