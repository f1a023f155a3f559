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
  const Token& Peek(size_t ahead = 0);
  // Moves to the next token; stays on the end token.
  void Advance();

 private:
  void Step();
  Position At(size_t offset) const;
  void Push(TokenKind kind, std::string_view text, size_t offset, double value = 0);
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
  std::deque<Token> queue_;
  size_t i_ = 0;
  int line_ = 1;
  size_t lineStart_ = 0;
  bool lineHasToken_ = false;
  bool finished_ = false;
};

}  // namespace vlmc
