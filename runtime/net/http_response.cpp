// The HTTP response reader: status line, header fields, Content-Length, chunked and read-to-close bodies.
#include "net/internal/http_response.h"

#include <algorithm>

#include "net/net.h"

namespace http_internal {

namespace {

constexpr char kStatusPrefix[] = "HTTP/";
constexpr size_t kStatusPrefixLength = sizeof kStatusPrefix - 1;
// Lengths beyond this are refused rather than risk an overflow anywhere a size is added.
constexpr uint64_t kLargestLength = uint64_t{1} << 62;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return i == a.size() && b[i] == '\0';
}

std::string Trimmed(const std::string& text) {
  size_t start = 0, end = text.size();
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

// The line without the carriage returns that end it.
std::string WithoutReturns(std::string line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// "HTTP/1.<minor> <3 digits>[ <reason>]": the status, or 0 when the line is not one.
int ParseStatusLine(const std::string& line) {
  if (line.compare(0, kStatusPrefixLength, kStatusPrefix) != 0) return 0;
  size_t at = kStatusPrefixLength;
  if (at + 2 > line.size() || line[at] != '1' || line[at + 1] != '.') return 0;
  at += 2;
  const size_t minor = at;
  while (at < line.size() && IsDigit(line[at]) && at - minor < 3) ++at;
  if (at == minor || at >= line.size() || !IsBlank(line[at])) return 0;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (at + 3 > line.size() || !IsDigit(line[at]) || !IsDigit(line[at + 1]) || !IsDigit(line[at + 2])) return 0;
  const int status = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
  at += 3;
  if (at < line.size() && !IsBlank(line[at])) return 0;
  return status >= 100 && status <= 599 ? status : 0;
}

// A Content-Length value: decimal digits only; -1 when it is not one.
int64_t ParseLength(const std::string& value) {
  if (value.empty() || value.size() > 18) return -1;
  uint64_t length = 0;
  for (char c : value) {
    if (!IsDigit(c)) return -1;
    length = length * 10 + static_cast<uint64_t>(c - '0');
  }
  return length > kLargestLength ? -1 : static_cast<int64_t>(length);
}

// A chunk-size line (its line feed and carriage returns gone): hex digits, blanks, an
// extension after ';'. The size, or -1 when the line is not one.
int64_t ParseChunkSize(const std::string& line) {
  size_t at = 0;
  uint64_t size = 0;
  while (at < line.size() && IsHexDigit(line[at])) {
    if (at == 15) return -1;
    const char c = Lower(line[at]);
    size = size * 16 + static_cast<uint64_t>(IsDigit(c) ? c - '0' : c - 'a' + 10);
    ++at;
  }
  if (at == 0) return -1;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (at < line.size() && line[at] != ';') return -1;
  return static_cast<int64_t>(size);
}

}  // namespace

void ResponseReader::Fail(int32_t fault) {
  fault_ = fault;
  stage_ = Stage::Failed;
  header_.clear();
  header_.shrink_to_fit();
  line_.clear();
}

bool ResponseReader::CheckStatusLine() {
  if (statusRead_) return true;
  const size_t lineEnd = header_.find('\n');
  const size_t known = std::min({lineEnd, header_.size(), kStatusPrefixLength});
  if (header_.compare(0, known, kStatusPrefix, known) != 0) {
    Fail(kHttpBadStatusLine);
    return false;
  }
  if (lineEnd == std::string::npos) return true;
  status_ = ParseStatusLine(WithoutReturns(header_.substr(0, lineEnd)));
  if (status_ == 0) {
    Fail(kHttpBadStatusLine);
    return false;
  }
  statusRead_ = true;
  return true;
}

size_t ResponseReader::TakeHeader(const char* bytes, size_t count) {
  const int64_t end = scanner_.Scan(bytes, static_cast<int64_t>(count));
  const size_t take = end < 0 ? count : static_cast<size_t>(end);
  const size_t room = kHeaderLimit - header_.size();
  header_.append(bytes, std::min(take, room));
  if (!CheckStatusLine()) return count;
  if (take > room) {
    Fail(kHttpHeaderTooLong);
    return count;
  }
  if (end < 0) return count;
  // The header's end follows a line feed, so its first line has been judged by now.
  if (!statusRead_) {
    Fail(kHttpBadStatusLine);
    return count;
  }
  ReadFields();
  return take;
}

void ResponseReader::ReadFields() {
  headerDone_ = true;
  std::string encodings;
  bool lengthSeen = false;
  bool badLength = false;
  size_t start = header_.find('\n') + 1;
  while (start < header_.size()) {
    size_t end = header_.find('\n', start);
    if (end == std::string::npos) end = header_.size();
    const std::string line = WithoutReturns(header_.substr(start, end - start));
    start = end + 1;
    const size_t colon = line.find(':');
    // Lines that are no "name: value" field (folded continuations among them) are passed over.
    if (colon == std::string::npos || colon == 0) continue;
    const std::string name = line.substr(0, colon);
    if (std::any_of(name.begin(), name.end(), IsBlank)) continue;
    const std::string value = Trimmed(line.substr(colon + 1));
    if (SameWord(name, "content-length")) {
      const int64_t length = ParseLength(value);
      // Two lengths that differ leave no way to tell where the body ends.
      if (length < 0 || (lengthSeen && length != contentLength_)) badLength = true;
      contentLength_ = length;
      lengthSeen = true;
    } else if (SameWord(name, "transfer-encoding")) {
      if (!encodings.empty()) encodings += ',';
      encodings += value;
    } else if (SameWord(name, "location") && location_.empty()) {
      location_ = value;
    }
  }
  header_.clear();
  header_.shrink_to_fit();
  if (badLength) contentLength_ = -1;
  if (status_ < 200 || status_ == 204 || status_ == 304) {
    stage_ = Stage::Done;
  } else if (!encodings.empty()) {
    // A chunked body overrides any length; any other coding (compression) is not undone here.
    if (!SameWord(Trimmed(encodings), "chunked")) {
      Fail(kHttpUnsupportedEncoding);
      return;
    }
    chunked_ = true;
    stage_ = Stage::ChunkSize;
  } else if (badLength) {
    Fail(kHttpBadContentLength);
  } else if (contentLength_ >= 0) {
    remaining_ = static_cast<uint64_t>(contentLength_);
    stage_ = remaining_ == 0 ? Stage::Done : Stage::FixedBody;
  } else {
    stage_ = Stage::ClosedBody;
  }
}

size_t ResponseReader::TakeChunkFraming(const char* bytes, size_t count) {
  size_t at = 0;
  while (at < count) {
    const char c = bytes[at++];
    if (stage_ == Stage::ChunkEnd) {
      // The line end after a chunk's data: "\r\n" or a bare "\n".
      if (c == '\n') {
        stage_ = Stage::ChunkSize;
        line_.clear();
        return at;
      }
      if (c != '\r' || !line_.empty()) {
        Fail(kHttpBadChunk);
        return count;
      }
      line_ += c;
      continue;
    }
    if (c != '\n') {
      const size_t limit = stage_ == Stage::Trailer ? kHeaderLimit - trailerBytes_ : kChunkLineLimit;
      if (line_.size() >= limit) {
        Fail(kHttpBadChunk);
        return count;
      }
      line_ += c;
      continue;
    }
    const std::string line = WithoutReturns(line_);
    line_.clear();
    if (stage_ == Stage::Trailer) {
      trailerBytes_ += line.size() + 1;
      if (line.empty()) {
        stage_ = Stage::Done;
        return at;
      }
      if (trailerBytes_ >= kHeaderLimit) {
        Fail(kHttpBadChunk);
        return count;
      }
      continue;
    }
    const int64_t size = ParseChunkSize(line);
    if (size < 0) {
      Fail(kHttpBadChunk);
      return count;
    }
    if (size == 0) {
      stage_ = Stage::Trailer;
      continue;
    }
    remaining_ = static_cast<uint64_t>(size);
    stage_ = Stage::ChunkData;
    return at;
  }
  return at;
}

void ResponseReader::Feed(const char* bytes, size_t count, std::string* body) {
  size_t at = 0;
  if (stage_ == Stage::Header) at = TakeHeader(bytes, count);
  while (at < count) {
    switch (stage_) {
      case Stage::FixedBody:
      case Stage::ChunkData: {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining_, count - at));
        body->append(bytes + at, take);
        at += take;
        remaining_ -= take;
        if (remaining_ == 0) {
          stage_ = stage_ == Stage::FixedBody ? Stage::Done : Stage::ChunkEnd;
          line_.clear();
        }
        break;
      }
      case Stage::ClosedBody:
        body->append(bytes + at, count - at);
        at = count;
        break;
      case Stage::ChunkSize:
      case Stage::ChunkEnd:
      case Stage::Trailer:
        at += TakeChunkFraming(bytes + at, count - at);
        break;
      case Stage::Header:  // TakeHeader took everything
      case Stage::Done:
      case Stage::Failed:
        return;
    }
  }
}

void ResponseReader::End(bool clean) {
  switch (stage_) {
    case Stage::Header:
      Fail(kHttpHeaderNeverEnded);
      break;
    case Stage::ClosedBody:
      if (clean) {
        stage_ = Stage::Done;
      } else {
        Fail(kHttpTruncatedBody);
      }
      break;
    case Stage::Trailer:
      // The last chunk came; only the blank line that closes an empty trailer is missing.
      if (line_.empty() && trailerBytes_ == 0) {
        stage_ = Stage::Done;
      } else {
        Fail(kHttpTruncatedBody);
      }
      break;
    case Stage::FixedBody:
    case Stage::ChunkSize:
    case Stage::ChunkData:
    case Stage::ChunkEnd:
      Fail(kHttpTruncatedBody);
      break;
    case Stage::Done:
    case Stage::Failed:
      break;
  }
}

std::string CauseText(int32_t code) {
  if (code >= 100 && code <= 599) return "HTTP " + std::to_string(code);
  switch (code) {
    case kHttpTimedOut: return "timed out";
    case kHttpBadStatusLine: return "bad status line";
    case kHttpHeaderTooLong: return "header too long";
    case kHttpHeaderNeverEnded: return "header never ended";
    case kHttpBadContentLength: return "bad content length";
    case kHttpUnsupportedEncoding: return "unsupported transfer encoding";
    case kHttpBadChunk: return "bad chunk";
    case kHttpTruncatedBody: return "truncated body";
    case kHttpTooManyRedirects: return "too many redirects";
    case kHttpRedirectToHttpRefused: return "redirect to http refused";
    case kHttpBadRedirect: return "bad redirect";
    case kHttpCertificateFailed: return "certificate verify failed";
    case kHttpTlsFailed: return "TLS handshake failed";
    case kHttpFileNotWritten: return "file not written";
    case kHttpMemoryFileRefused: return "memory file name refused";
    case kHttpBadServerName: return "bad server name";
    case kHttpBadPath: return "bad path";
    default: return "";
  }
}

}  // namespace http_internal
