// The Language Server Protocol's framing (see message_reader.h).
#include "message_reader.h"

#include <algorithm>
#include <cctype>

namespace vlmls {
namespace {

constexpr std::string_view kLengthField = "content-length";

// The first "Content-Length" (any letter case) at or after `from`, or npos.
size_t FindLengthField(std::string_view s, size_t from) {
  for (size_t k = from; k + kLengthField.size() <= s.size(); ++k) {
    size_t j = 0;
    while (j < kLengthField.size() && std::tolower(static_cast<unsigned char>(s[k + j])) == kLengthField[j]) ++j;
    if (j == kLengthField.size()) return k;
  }
  return std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

void MessageReader::Feed(std::string_view bytes) {
  const size_t dropped = std::min(skip_, bytes.size());
  skip_ -= dropped;
  bytes.remove_prefix(dropped);
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= (1u << 16))) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

void MessageReader::Consume(size_t n) {
  start_ += n;
  if (start_ >= buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
}

MessageReader::Status MessageReader::Next(std::string* body, std::string* error) {
  const std::string_view pending = std::string_view(buffer_).substr(start_);
  if (pending.empty()) return Status::NeedMore;
  const size_t end = pending.find("\r\n\r\n");
  const std::string_view header = pending.substr(0, std::min(end, kMaxHeader + 1));
  if (end == std::string_view::npos || end > kMaxHeader) {
    if (end == std::string_view::npos && pending.size() <= kMaxHeader) return Status::NeedMore;
    // No header block ends within the limit: skip to a later "Content-Length", or all but a
    // tail as long as the field's name (one that starts in it is then found past its first
    // byte next time, as it would be in one look at the whole stream).
    size_t next = FindLengthField(pending, 1);
    if (next == std::string_view::npos) next = pending.size() - kLengthField.size();
    *error = "header block longer than " + std::to_string(kMaxHeader) + " bytes; " + std::to_string(next) +
             " bytes skipped";
    Consume(next);
    return Status::Error;
  }
  const size_t headerBytes = end + 4;
  size_t length = 0;
  bool haveLength = false;
  bool tooLong = false;
  std::string problem;
  for (size_t lineStart = 0; lineStart <= header.size();) {
    size_t lineEnd = header.find("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = header.size();
    const std::string_view line = header.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 2;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      problem = "header line without ':'";
      break;
    }
    const std::string_view name = Trim(line.substr(0, colon));
    if (name.size() != kLengthField.size() || FindLengthField(name, 0) != 0) continue;
    const std::string_view digits = Trim(line.substr(colon + 1));
    bool ok = !digits.empty() && digits.size() <= 19;
    size_t value = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') ok = false;
      else value = value * 10 + static_cast<size_t>(c - '0');
    }
    if (!ok) {
      problem = "Content-Length is not a number";
      break;
    }
    length = value;
    haveLength = true;
    tooLong = value > maxBody_;
  }
  if (problem.empty() && !haveLength) problem = "no Content-Length field";
  if (!problem.empty()) {
    // Bytes that are no header (the rest of a body whose length was given short, say): skip
    // to the next "Content-Length" within them, or the whole block.
    const size_t next = FindLengthField(header, 1);
    const size_t skipped = next == std::string_view::npos ? headerBytes : next;
    *error = problem + "; " + std::to_string(skipped) + " bytes skipped";
    Consume(skipped);
    return Status::Error;
  }
  if (tooLong) {
    *error = "message of " + std::to_string(length) + " bytes is over the limit of " + std::to_string(maxBody_) +
             " bytes; skipped";
    const size_t held = pending.size() - headerBytes;
    const size_t dropped = std::min(held, length);
    Consume(headerBytes + dropped);
    skip_ = length - dropped;
    return Status::Error;
  }
  if (pending.size() - headerBytes < length) return Status::NeedMore;
  body->assign(pending.substr(headerBytes, length));
  Consume(headerBytes + length);
  return Status::Message;
}

std::string FrameMessage(std::string_view body) {
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.append(body);
  return out;
}

}  // namespace vlmls
