// vlmc's diagnostics: positions in the source, the error messages collected
// (each with its source line and a caret) and the suggestion of a near name.
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
  int Count() const { return count_; }
  bool Full() const { return count_ >= kMaxErrors; }
  const std::string& Text() const { return text_; }

  static constexpr int kMaxErrors = 20;

 private:
  const std::vector<SourceFile>& files_;
  std::string text_;
  int count_ = 0;
};

// The nearest of the candidates by edit distance (letter case counting
// half), or "" when none is close enough to be a likely typo.
std::string NearestName(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace vlmc
