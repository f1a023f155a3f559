// vlmc's tokenizer: reads a module's text one token at a time, reporting
// bad characters, unclosed texts and numbers out of range as it goes. A
// UTF-8 byte order mark at the start is skipped; REM and ' start comments;
// ':' divides statements as a line end does.
#include "lexer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace vlmc {

namespace {

// The character classes of the C locale, which the translator always runs in,
// without a call into the C library for every byte.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

Lexer::Lexer(const SourceFile& file, int fileIndex, Diagnostics& diagnostics, std::deque<std::string>& texts)
    : file_(file), fileIndex_(fileIndex), d_(diagnostics), texts_(texts) {
  if (file_.text.rfind("\xEF\xBB\xBF", 0) == 0) i_ = lineStart_ = 3;
}

void Lexer::Push(TokenKind kind, std::string_view text, size_t offset, double value) {
  Queue(kind, text, value, At(offset));
  lineHasToken_ = true;
}

// Reads input up to the next token (or the end, which gives a line end and
// the end token).
void Lexer::Step() {
  const std::string& s = file_.text;
  // Once the diagnostics are full nothing more is shown: the rest of the
  // module is not read (a line of ten million bad bytes costs nothing more).
  if (d_.Full()) i_ = s.size();
  if (i_ >= s.size()) {
    Queue(TokenKind::Newline, "", 0, At(i_));
    Queue(TokenKind::End, "", 0, At(i_));
    finished_ = true;
    return;
  }
  const unsigned char c = static_cast<unsigned char>(s[i_]);
  if (c == '\n') {
    Push(TokenKind::Newline, "", i_);
    ++i_;
    ++line_;
    lineStart_ = i_;
    lineHasToken_ = false;
  } else if (c == ' ' || c == '\t' || c == '\r') {
    ++i_;
  } else if (c == '\'') {
    while (i_ < s.size() && s[i_] != '\n') ++i_;
  } else if (IsLetter(static_cast<char>(c)) || c == '_') {
    ReadName();
  } else if (IsDigit(static_cast<char>(c)) || (c == '.' && i_ + 1 < s.size() && IsDigit(s[i_ + 1]))) {
    ReadNumber();
  } else if (c == '$') {
    ReadHex();
  } else if (c == '"') {
    ReadText();
  } else {
    ReadOperator();
  }
}

void Lexer::ReadName() {
  const std::string& s = file_.text;
  const size_t start = i_;
  while (i_ < s.size() && (IsLetter(s[i_]) || IsDigit(s[i_]) || s[i_] == '_')) ++i_;
  if (i_ < s.size() && (s[i_] == '$' || s[i_] == '%')) ++i_;
  const std::string_view name = std::string_view(s).substr(start, i_ - start);
  if (name.size() == 3 && (name[0] | 0x20) == 'r' && (name[1] | 0x20) == 'e' && (name[2] | 0x20) == 'm') {
    while (i_ < s.size() && s[i_] != '\n') ++i_;  // REM: a comment to the end of the line
    return;
  }
  Push(TokenKind::Identifier, name, start);
}

void Lexer::ReadNumber() {
  const std::string& s = file_.text;
  const size_t start = i_;
  const bool first = !lineHasToken_;
  while (i_ < s.size() && IsDigit(s[i_])) ++i_;
  bool integer = true;
  if (i_ < s.size() && s[i_] == '.') {
    integer = false;
    ++i_;
    while (i_ < s.size() && IsDigit(s[i_])) ++i_;
  }
  if (i_ < s.size() && (s[i_] == 'e' || s[i_] == 'E')) {
    size_t j = i_ + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      integer = false;
      i_ = j;
      while (i_ < s.size() && IsDigit(s[i_])) ++i_;
    }
  }
  const std::string_view text = std::string_view(s).substr(start, i_ - start);
  // Whole numbers of up to 15 digits are exact in a double: read without strtod.
  double value = 0;
  if (integer && text.size() <= 15) {
    for (const char d : text) value = value * 10 + (d - '0');
  } else {
    value = std::strtod(std::string(text).c_str(), nullptr);
  }
  if (!std::isfinite(value)) d_.Error(At(start), "number " + std::string(text.substr(0, 40)) + " is too large");
  // A whole number that starts a line and is followed by more on the line
  // is the statement number in the margin.
  size_t j = i_;
  while (j < s.size() && (s[j] == ' ' || s[j] == '\t' || s[j] == '\r')) ++j;
  const bool more = j < s.size() && s[j] != '\n' && s[j] != '\'';
  Push(first && integer && more ? TokenKind::Margin : TokenKind::Number, text, start, std::isfinite(value) ? value : 0);
}

void Lexer::ReadHex() {
  const std::string& s = file_.text;
  const size_t start = i_++;
  double value = 0;
  while (i_ < s.size() && IsHexDigit(s[i_])) {
    const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i_])));
    value = value * 16 + (h <= '9' ? h - '0' : h - 'a' + 10);
    ++i_;
  }
  if (i_ == start + 1) {
    d_.Error(At(start), "'$' must be followed by hexadecimal digits");
    Push(TokenKind::Invalid, std::string_view(s).substr(start, 1), start);
    return;
  }
  if (i_ - start > 17)
    d_.Error(At(start), "hexadecimal number " + s.substr(start, std::min<size_t>(i_ - start, 17)) + "... is too long");
  Push(TokenKind::Number, std::string_view(s).substr(start, i_ - start), start, value);
}

// A text in quotes; "" inside stands for one quote, and only such a text is
// copied (the others point into the source).
void Lexer::ReadText() {
  const std::string& s = file_.text;
  const size_t start = i_++;
  std::string text;
  bool closed = false, escaped = false;
  while (i_ < s.size() && s[i_] != '\n') {
    if (s[i_] == '"') {
      if (i_ + 1 < s.size() && s[i_ + 1] == '"') {
        text += '"';
        escaped = true;
        i_ += 2;
        continue;
      }
      ++i_;
      closed = true;
      break;
    }
    text += s[i_++];
  }
  if (!closed) d_.Error(At(start), "text has no closing '\"'");
  if (escaped) {
    texts_.push_back(std::move(text));
    Push(TokenKind::String, texts_.back(), start);
  } else {
    Push(TokenKind::String, std::string_view(s).substr(start + 1, text.size()), start);
  }
}

void Lexer::ReadOperator() {
  const std::string& s = file_.text;
  const size_t start = i_;
  const unsigned char c = static_cast<unsigned char>(s[i_]);
  if (c == '<' || c == '>') {
    const size_t length = i_ + 1 < s.size() && (s[i_ + 1] == '=' || (c == '<' && s[i_ + 1] == '>')) ? 2 : 1;
    i_ += length;
    Push(TokenKind::Operator, std::string_view(s).substr(start, length), start);
    return;
  }
  ++i_;
  if (c == ':') {
    // Divides statements: a line end that keeps the line (no margin after it).
    Queue(TokenKind::Newline, std::string_view(s).substr(start, 1), 0, At(start));
    return;
  }
  if (std::string_view("+-*/\\^()[],=;.").find(static_cast<char>(c)) != std::string_view::npos) {
    Push(TokenKind::Operator, std::string_view(s).substr(start, 1), start);
    return;
  }
  d_.Error(At(start), UnexpectedCharacter(c, start));
  Push(TokenKind::Invalid, std::string_view(s).substr(start, 1), start);
}

// The message for a character no token starts with, with the hint for the
// habits of other BASICs it may come from.
std::string Lexer::UnexpectedCharacter(unsigned char c, size_t start) const {
  const std::string& s = file_.text;
  const char next = start + 1 < s.size() ? s[start + 1] : '\0';
  if (c == '!' && next == '=') return "unexpected '!=': 'not equal' is written <>";
  if (c == '&' && (next == 'H' || next == 'h')) return "unexpected '&H': hexadecimal numbers are written $FF";
  if (c == '&' || c == '!' || c == '#')
    return std::string("unexpected character '") + static_cast<char>(c) +
           "': names take no type suffix but $ (text); texts are joined with +";
  if (c == '?') return "unexpected character '?': write PRINT";
  return c >= 32 && c < 127 ? std::string("unexpected character '") + static_cast<char>(c) + "'"
                            : "unexpected byte " + std::to_string(c);
}

}  // namespace vlmc
