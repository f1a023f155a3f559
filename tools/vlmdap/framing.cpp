// The Debug Adapter Protocol's message framing (see framing.h).
#include "framing.h"

#include <cctype>

namespace dap {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

void FrameReader::Compact() {
  if (start_ > 0 && (start_ >= buffer_.size() || start_ > (1u << 16))) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

FrameReader::Status FrameReader::Next(std::string* body, std::string* error) {
  Compact();
  const std::string_view pending = std::string_view(buffer_).substr(start_);
  const size_t end = pending.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    if (pending.size() > kMaxHeader) {
      *error = "header block longer than " + std::to_string(kMaxHeader) + " bytes without an end";
      start_ = buffer_.size();
      Compact();
      return Status::Error;
    }
    return Status::NeedMore;
  }
  const std::string_view header = pending.substr(0, end);
  const size_t headerBytes = end + 4;
  size_t length = 0;
  bool haveLength = false;
  std::string problem;
  size_t lineStart = 0;
  while (lineStart <= header.size()) {
    size_t lineEnd = header.find("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = header.size();
    const std::string_view line = header.substr(lineStart, lineEnd - lineStart);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      problem = "header line without ':'";
    } else if (EqualsNoCase(Trim(line.substr(0, colon)), "Content-Length")) {
      const std::string_view digits = Trim(line.substr(colon + 1));
      size_t value = 0;
      bool ok = !digits.empty() && digits.size() <= 10;
      for (const char c : digits) {
        if (c < '0' || c > '9') ok = false;
        else value = value * 10 + static_cast<size_t>(c - '0');
      }
      if (!ok) problem = "Content-Length is not a number";
      else if (value > kMaxBody) problem = "Content-Length " + std::to_string(value) + " is over the limit";
      else length = value, haveLength = true;
    }
    lineStart = lineEnd + 2;
  }
  if (problem.empty() && !haveLength) problem = "no Content-Length header";
  if (!problem.empty()) {
    *error = problem;
    start_ += headerBytes;
    return Status::Error;
  }
  if (pending.size() - headerBytes < length) return Status::NeedMore;
  body->assign(pending.substr(headerBytes, length));
  start_ += headerBytes + length;
  return Status::Message;
}

std::string FrameMessage(std::string_view body) {
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.append(body);
  return out;
}

}  // namespace dap
