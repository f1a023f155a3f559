// The HTTP/1.0 GET client: complete 2xx responses only, redirects followed, one deadline, files replaced on success.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "files/file_write.h"
#include "net/internal/http_response.h"
#include "net/internal/net_internal.h"
#include "net/net.h"
#include "platform/sockets.h"

namespace {

using http_internal::ResponseReader;
using Clock = std::chrono::steady_clock;

constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;
constexpr int kDefaultRequestWait = 30000;
constexpr int kMostRedirects = 5;
constexpr int64_t kPieceSize = 64 * 1024;

// Why a request failed: a socket error (a Winsock number, told with the
// system's message) or a cause of the HTTP client's own.
struct Failure {
  int32_t code = 0;
  bool cause = false;

  static Failure Socket(int32_t code) { return Failure{code, false}; }
  static Failure Cause(int32_t code) { return Failure{code, true}; }
  void Record() const {
    if (cause) {
      SetNetLastCause(code);
    } else {
      SetNetLastError(code);
    }
  }
};

// The end of the whole request, redirects included.
class Deadline {
 public:
  explicit Deadline(int timeoutMs) : end_(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}
  // Milliseconds left, 0 once the time is up.
  int Left() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
  }

 private:
  Clock::time_point end_;
};

// Where one request goes.
struct Target {
  bool tls = false;
  std::string host;
  int port = kHttpPort;
  std::string path;
};

// The connection a request reads from: plain, or TLS over the slot's socket.
struct Connection {
  int32_t slot = -1;
  int handle = -1;
  platform::TlsStream* tls = nullptr;

  ~Connection() { Close(); }
  int64_t Send(const char* bytes, int64_t count) {
    return tls != nullptr ? platform::TlsSend(tls, bytes, count) : platform::SendSocket(handle, bytes, count, nullptr);
  }
  int64_t Receive(char* buffer, int64_t count) {
    return tls != nullptr ? platform::TlsReceive(tls, buffer, count)
                          : platform::ReceiveSocket(handle, buffer, count, nullptr);
  }
  // True when the stream ended as its peer meant it to (always for plain TCP).
  bool EndedCleanly() const { return tls == nullptr || platform::TlsClosedCleanly(tls); }
  // Waits until the socket can be read (or written); false after timeoutMs.
  bool Wait(bool write, int timeoutMs) {
    const bool want[1] = {write};
    uint8_t ready[1] = {0};
    return platform::WaitSockets(&handle, want, ready, 1, timeoutMs) > 0;
  }
  void Close() {
    platform::EndTls(tls);
    tls = nullptr;
    if (slot >= 0) NetClose(slot);
    slot = -1;
  }
};

// Where the body goes: a file being replaced and/or a text buffer.
struct BodySink {
  FileReplacement* file = nullptr;
  std::string* text = nullptr;
  size_t textLimit = 0;

  // False when the file write failed.
  bool Take(const std::string& bytes) {
    if (bytes.empty()) return true;
    if (file != nullptr && !file->Write(bytes.data(), bytes.size())) return false;
    if (text != nullptr) text->append(bytes, 0, std::min(textLimit - text->size(), bytes.size()));
    return true;
  }
  bool TextFull() const { return text != nullptr && text->size() >= textLimit; }
};

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool SendAll(Connection& connection, const std::string& request, const Deadline& deadline, Failure* failure) {
  size_t sent = 0;
  while (sent < request.size()) {
    const int64_t n = connection.Send(request.data() + sent, static_cast<int64_t>(request.size() - sent));
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && platform::LastSocketError() == platform::kSocketWouldBlock) {
      const int left = deadline.Left();
      if (left == 0 || !connection.Wait(true, left)) {
        *failure = Failure::Cause(kHttpTimedOut);
        return false;
      }
    } else {
      *failure = Failure::Socket(platform::LastSocketError());
      return false;
    }
  }
  return true;
}

// Connects (with TLS where the target wants it) within the deadline.
bool Open(const Target& target, const Deadline& deadline, Connection& connection, Failure* failure) {
  const int left = deadline.Left();
  if (left == 0) {
    *failure = Failure::Cause(kHttpTimedOut);
    return false;
  }
  connection.slot = NetTcpConnect(BasicString(target.host.c_str()), target.port, left);
  if (connection.slot < 0) {
    const int32_t error = NetLastError();
    *failure = error == platform::kSocketInProgress || deadline.Left() == 0 ? Failure::Cause(kHttpTimedOut)
                                                                             : Failure::Socket(error);
    return false;
  }
  connection.handle = SlotHandle(connection.slot);
  if (!target.tls) return true;
  const int handshakeWait = deadline.Left();
  platform::TlsFailure why = platform::TlsFailure::TimedOut;
  if (handshakeWait > 0)
    connection.tls = platform::StartTls(connection.handle, target.host.c_str(), handshakeWait, &why);
  if (connection.tls != nullptr) return true;
  *failure = Failure::Cause(why == platform::TlsFailure::TimedOut      ? kHttpTimedOut
                            : why == platform::TlsFailure::Certificate ? kHttpCertificateFailed
                                                                       : kHttpTlsFailed);
  return false;
}

enum class Outcome { Complete, Redirect, Failed };

// One request and its response: the body of a 2xx response into the sink, or the
// Location of a redirect.
Outcome Fetch(const Target& target, const Deadline& deadline, BodySink& sink, std::string* location,
              Failure* failure) {
  Connection connection;
  if (!Open(target, deadline, connection, failure)) return Outcome::Failed;
  std::string request = "GET ";
  request += target.path;
  request += " HTTP/1.0\r\nHost:";
  request += target.host;
  request += "\r\nAccept: */*\r\nUser-Agent: Velmora\r\n\r\n";
  if (!SendAll(connection, request, deadline, failure)) return Outcome::Failed;

  ResponseReader reader;
  std::string body;
  std::vector<char> piece(kPieceSize);
  for (;;) {
    // Checked on every piece, so a server that never pauses cannot outlast the deadline either.
    const int left = deadline.Left();
    if (left == 0) {
      *failure = Failure::Cause(kHttpTimedOut);
      return Outcome::Failed;
    }
    const int64_t n = connection.Receive(piece.data(), kPieceSize);
    if (n < 0) {
      if (platform::LastSocketError() != platform::kSocketWouldBlock) {
        *failure = Failure::Socket(platform::LastSocketError());
        return Outcome::Failed;
      }
      if (!connection.Wait(false, left)) {
        *failure = Failure::Cause(kHttpTimedOut);
        return Outcome::Failed;
      }
      continue;
    }
    if (n == 0) {
      reader.End(connection.EndedCleanly());
    } else {
      reader.Feed(piece.data(), static_cast<size_t>(n), &body);
    }
    if (reader.HeaderDone()) {
      // The status decides before the body's framing does: the body of a redirect or an
      // error page is never read.
      const int status = reader.Status();
      if (IsRedirect(status)) {
        *location = reader.Location();
        return Outcome::Redirect;
      }
      if (status < 200 || status > 299) {
        *failure = Failure::Cause(status);
        return Outcome::Failed;
      }
    }
    if (reader.Fault() != 0) {
      *failure = Failure::Cause(reader.Fault());
      return Outcome::Failed;
    }
    if (!sink.Take(body)) {
      *failure = Failure::Cause(kHttpFileNotWritten);
      return Outcome::Failed;
    }
    body.clear();
    if (reader.Done() || sink.TextFull()) return Outcome::Complete;
  }
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The path with its "." and ".." segments resolved (the query left alone).
std::string WithoutDotSegments(const std::string& path) {
  const size_t queryAt = path.find('?');
  const std::string query = queryAt == std::string::npos ? std::string() : path.substr(queryAt);
  const std::string part = path.substr(0, queryAt);
  std::vector<std::string> segments;
  size_t start = 1;  // past the leading "/"
  bool endsInFolder = false;
  while (start <= part.size()) {
    size_t end = part.find('/', start);
    if (end == std::string::npos) end = part.size();
    const std::string segment = part.substr(start, end - start);
    endsInFolder = segment == "." || segment == "..";
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& segment : segments) result += "/" + segment;
  if (endsInFolder || result.empty()) result += "/";
  return result + query;
}

// The target a Location leads to from `from`: an absolute http:// or https:// URL
// (host, optional port, path), one without a scheme ("//host/path"), an absolute path
// or a path relative to the current one. 0, or the cause that refuses it.
int32_t FollowLocation(const Target& from, std::string location, Target* to) {
  const size_t fragment = location.find('#');
  if (fragment != std::string::npos) location.resize(fragment);
  if (location.empty()) return kHttpBadRedirect;
  // Blanks and control bytes would end up in the request line.
  for (char c : location)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F) return kHttpBadRedirect;
  *to = from;
  size_t at = 0;
  const size_t colon = location.find(':');
  const size_t firstSlash = location.find_first_of("/?");
  if (colon != std::string::npos && colon < firstSlash) {
    std::string scheme = location.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), Lower);
    if (scheme != "http" && scheme != "https") return kHttpBadRedirect;
    to->tls = scheme == "https";
    if (location.compare(colon + 1, 2, "//") != 0) return kHttpBadRedirect;
    at = colon + 1;
  }
  if (location.compare(at, 2, "//") == 0) {
    at += 2;
    const size_t end = std::min(location.find_first_of("/?", at), location.size());
    const std::string authority = location.substr(at, end - at);
    // User names and bracketed IPv6 addresses are not taken.
    if (authority.find_first_of("@[]") != std::string::npos) return kHttpBadRedirect;
    const size_t portAt = authority.find(':');
    to->host = authority.substr(0, portAt);
    to->port = to->tls ? kHttpsPort : kHttpPort;
    if (portAt != std::string::npos && portAt + 1 < authority.size()) {
      const std::string digits = authority.substr(portAt + 1);
      if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return kHttpBadRedirect;
      to->port = std::stoi(digits);
      if (to->port < 1 || to->port > 65535) return kHttpBadRedirect;
    }
    if (to->host.empty()) return kHttpBadRedirect;
    to->path = end < location.size() ? location.substr(end) : "/";
    if (to->path[0] == '?') to->path = "/" + to->path;
  } else if (location[0] == '/') {
    to->path = WithoutDotSegments(location);
  } else {
    // Relative to the current path's folder (or to the path itself for a new query).
    const std::string base = from.path.substr(0, from.path.find('?'));
    if (location[0] == '?') {
      to->path = base + location;
    } else {
      const size_t slash = base.rfind('/');
      to->path = WithoutDotSegments((slash == std::string::npos ? "/" : base.substr(0, slash + 1)) + location);
    }
  }
  if (from.tls && !to->tls) return kHttpRedirectToHttpRefused;
  return 0;
}

// The caller's server and path as a request's target: 0, or the cause that refuses them.
// Both go into the request as they are, so a line end in either would start a header line
// of the caller's making: control bytes are refused. Blanks and bytes beyond ASCII, which
// an ordinary path may hold ("/my file", UTF-8 names), are sent percent-encoded.
int32_t RequestTarget(const BasicString& server, const BasicString& path, int32_t port, Target* target) {
  target->port = port == 0 ? kHttpPort : port;
  target->tls = target->port == kHttpsPort;
  target->host.assign(server.c_str(), server.Length());
  for (char c : target->host)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return kHttpBadServerName;
  static constexpr char kHex[] = "0123456789ABCDEF";
  target->path.clear();
  for (uint32_t i = 0; i < path.Length(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path.c_str()[i]);
    if (c < ' ' || c == 0x7F) return kHttpBadPath;
    if (c == ' ' || c >= 0x80) {
      target->path += '%';
      target->path += kHex[c >> 4];
      target->path += kHex[c & 15];
    } else {
      target->path += static_cast<char>(c);
    }
  }
  return 0;
}

// The shared download routine: true on success, with the last error 0; false
// with the failure's cause in the last error.
bool HttpGet(Target target, BodySink& sink, int32_t timeoutMs) {
  const Deadline deadline(timeoutMs >= 1 ? timeoutMs : kDefaultRequestWait);
  NetStart();
  Failure failure;
  bool complete = false;
  for (int redirects = 0;; ++redirects) {
    std::string location;
    const Outcome outcome = Fetch(target, deadline, sink, &location, &failure);
    if (outcome == Outcome::Complete) complete = true;
    if (outcome != Outcome::Redirect) break;
    if (redirects == kMostRedirects) {
      failure = Failure::Cause(kHttpTooManyRedirects);
      break;
    }
    Target next;
    const int32_t refused = FollowLocation(target, location, &next);
    if (refused != 0) {
      failure = Failure::Cause(refused);
      break;
    }
    target = next;
  }
  // Closing the sockets records errors of its own; the outcome is set after it.
  NetStop();
  if (complete) {
    SetNetLastError(0);
  } else {
    failure.Record();
  }
  return complete;
}

}  // namespace

int32_t HttpGetToFile(const BasicString& server, const BasicString& path, int32_t port, const BasicString& fileName,
                      int32_t timeoutMs) {
  if (std::strncmp(fileName.c_str(), "mem://", 6) == 0) {
    SetNetLastCause(kHttpMemoryFileRefused);
    return 0;
  }
  Target target;
  if (const int32_t refused = RequestTarget(server, path, port, &target)) {
    SetNetLastCause(refused);
    return 0;
  }
  // The body goes to a file beside the target (one an earlier, killed download
  // left there goes first) and takes the name only once it is complete.
  FileReplacement file;
  const char last = fileName.Length() > 0 ? fileName.c_str()[fileName.Length() - 1] : '/';
  if (last == '/' || last == '\\' || !file.Begin(fileName.c_str())) {
    SetNetLastCause(kHttpFileNotWritten);
    return 0;
  }
  BodySink sink;
  sink.file = &file;
  if (!HttpGet(target, sink, timeoutMs)) return 0;  // the replacement is abandoned
  if (!file.Commit()) {
    SetNetLastCause(kHttpFileNotWritten);
    return 0;
  }
  return 1;
}

BasicString HttpGetToText(const BasicString& server, const BasicString& path, int32_t port, int32_t maximum,
                          int32_t timeoutMs) {
  std::string text;
  BodySink sink;
  sink.text = &text;
  sink.textLimit = maximum > 0 ? static_cast<size_t>(maximum) : 0;
  if (sink.textLimit == 0) return BasicString();
  Target target;
  if (const int32_t refused = RequestTarget(server, path, port, &target)) {
    SetNetLastCause(refused);
    return BasicString();
  }
  if (!HttpGet(target, sink, timeoutMs)) return BasicString();
  // The text ends at the first zero byte of the body.
  return BasicString(text.c_str(), static_cast<uint32_t>(std::strlen(text.c_str())));
}
