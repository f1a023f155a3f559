// vlmc's tokenizer: the tokens of one module, read as the parser asks for
// them (names, numbers, texts, operators, line ends and statement numbers
// in the margin). A ':' between statements is a line end whose text is ":".
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "diagnostics.h"

namespace vlmc {

// Invalid: a character no token starts with (reported by the lexer).
enum class TokenKind { End, Newline, Identifier, Number, String, Operator, Margin, Invalid };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;  // identifier, operator, number as written, string contents
  double value = 0;       // numbers and margins
  Position at;
};

// Token texts point into the file's text, or into texts for string literals
// that had to be unescaped; both must outlive the tokens.
class Lexer {
 public:
  Lexer(const SourceFile& file, int fileIndex, Diagnostics& diagnostics, std::deque<std::string>& texts);
  // The token `ahead` places after the current one (the end token repeats).
  // The parser looks at most kMaxAhead tokens ahead; a token stays valid
  // until a few more have been read past it.
  const Token& Peek(size_t ahead = 0) {
    if (ahead > kMaxAhead) ahead = kMaxAhead;
    while (count_ <= ahead && !finished_) Step();
    return ring_[(head_ + (ahead < count_ ? ahead : count_ - 1)) & kRingMask];
  }
  // Moves to the next token; stays on the end token.
  void Advance() {
    Peek(1);
    if (count_ > 1) {
      head_ = (head_ + 1) & kRingMask;
      --count_;
    }
  }

  static constexpr size_t kMaxAhead = 2;

 private:
  void Step();
  Position At(size_t offset) const { return Position{fileIndex_, line_, static_cast<int>(offset - lineStart_) + 1}; }
  void Push(TokenKind kind, std::string_view text, size_t offset, double value = 0);
  // Written field by field into its slot (a whole token built first and
  // copied in stalls on the copy).
  void Queue(TokenKind kind, std::string_view text, double value, Position at) {
    Token& t = ring_[(head_ + count_++) & kRingMask];
    t.kind = kind;
    t.text = text;
    t.value = value;
    t.at = at;
  }
  void ReadName();
  void ReadNumber();
  void ReadHex();
  void ReadText();
  void ReadOperator();
  std::string UnexpectedCharacter(unsigned char c, size_t start) const;

  const SourceFile& file_;
  int fileIndex_;
  Diagnostics& d_;
  std::deque<std::string>& texts_;
  // The tokens read and not yet passed: a small ring (one step reads at most
  // two), so reading costs no allocation and Peek no deque arithmetic.
  static constexpr size_t kRingSize = 8;
  static constexpr size_t kRingMask = kRingSize - 1;
  static_assert(kMaxAhead + 3 <= kRingSize, "a step may add two tokens past the one looked at");
  Token ring_[kRingSize];
  size_t head_ = 0;
  size_t count_ = 0;
  size_t i_ = 0;
  int line_ = 1;
  size_t lineStart_ = 0;
  bool lineHasToken_ = false;
  bool finished_ = false;
};

}  // namespace vlmc
