// Reading an HTTP/1.x response as its bytes arrive: the status line, the header fields and the body's framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/internal/wire.h"

namespace http_internal {

// The largest header (status line, fields and the blank line) a response may have, the longest
// line of a chunked body's framing, and the largest trailer after its last chunk.
constexpr size_t kHeaderLimit = 64 * 1024;
constexpr size_t kChunkLineLimit = 1024;

// One response, fed in pieces of any size. The header ends where HeaderEndScanner finds its
// end; the body is framed by Transfer-Encoding: chunked (decoded), else by Content-Length, else
// it runs to the end of the stream. 1xx, 204 and 304 responses have no body. Anything that
// cannot be read makes a fault (one of the kHttp... causes of net/net.h) and the reader takes
// nothing more; a status line that is not HTTP/1.x is caught from its first bytes.
class ResponseReader {
 public:
  // Takes the next bytes of the stream and appends the body's bytes among them (chunk framing
  // removed) to *body. Bytes after a complete response or a fault are ignored.
  void Feed(const char* bytes, size_t count, std::string* body);
  // The stream ended here. clean is false when it was cut (a TLS stream without close_notify),
  // so that a body running to the end of the stream is incomplete. Afterwards the response is
  // either Done or has a fault.
  void End(bool clean);

  // The header has ended and its status line parsed (the body's framing may still be faulty).
  bool HeaderDone() const { return headerDone_; }
  // The whole body has come.
  bool Done() const { return stage_ == Stage::Done; }
  int32_t Fault() const { return fault_; }  // 0 while there is none
  int Status() const { return status_; }    // 100..599 once the status line parsed, else 0
  // The first Location field, without surrounding blanks; empty when there is none.
  const std::string& Location() const { return location_; }
  int64_t ContentLength() const { return contentLength_; }  // -1 when none was given
  bool Chunked() const { return chunked_; }

 private:
  enum class Stage { Header, FixedBody, ClosedBody, ChunkSize, ChunkData, ChunkEnd, Trailer, Done, Failed };

  size_t TakeHeader(const char* bytes, size_t count);
  bool CheckStatusLine();
  void ReadFields();
  size_t TakeChunkFraming(const char* bytes, size_t count);
  void Fail(int32_t fault);

  Stage stage_ = Stage::Header;
  HeaderEndScanner scanner_;
  std::string header_;
  bool statusRead_ = false;
  bool headerDone_ = false;
  int32_t fault_ = 0;
  int status_ = 0;
  std::string location_;
  int64_t contentLength_ = -1;
  bool chunked_ = false;
  uint64_t remaining_ = 0;  // of the fixed body or of the current chunk
  std::string line_;        // a chunk-size or trailer line being collected
  size_t trailerBytes_ = 0;
};

// The text NetLastErrorText gives for an HTTP cause: "HTTP 404" for a status, the cause's own
// words for the kHttp... numbers; empty for any other number.
std::string CauseText(int32_t code);

}  // namespace http_internal
