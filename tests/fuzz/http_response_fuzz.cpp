// Feeds HTTP responses to the response reader in pieces the input chooses: raw bytes, and
// well-framed responses (chunked or with a length) built around the input. The reader must
// reach the same result whatever the cuts, end every stream either complete or with a fault,
// keep a body within its framing, and decode every well-framed body to exactly its bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/internal/http_response.h"
#include "net/internal/wire.h"
#include "net/net.h"

namespace {

using http_internal::ResponseReader;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "response reader: %s\n", what);
    std::abort();
  }
}

struct Result {
  int status = 0;
  int32_t fault = 0;
  bool done = false;
  bool headerDone = false;
  bool chunked = false;
  int64_t length = -1;
  std::string location;
  std::string body;
};

Result Read(const std::string& response, size_t pieceSize, bool cleanEnd) {
  ResponseReader reader;
  Result r;
  for (size_t at = 0; at < response.size(); at += pieceSize) {
    const size_t count = response.size() - at < pieceSize ? response.size() - at : pieceSize;
    const size_t before = r.body.size();
    reader.Feed(response.data() + at, count, &r.body);
    Check(r.body.size() - before <= count, "more body than bytes fed");
  }
  reader.End(cleanEnd);
  r.status = reader.Status();
  r.fault = reader.Fault();
  r.done = reader.Done();
  r.headerDone = reader.HeaderDone();
  r.chunked = reader.Chunked();
  r.length = reader.ContentLength();
  r.location = reader.Location();
  Check(r.done != (r.fault != 0), "the end leaves neither a response nor a fault");
  Check(!r.headerDone || (r.status >= 100 && r.status <= 599), "header done without a status");
  Check(r.fault == 0 || !http_internal::CauseText(r.fault).empty(), "a fault without a text");
  return r;
}

const std::string kTrailer = "X-Trailer: done\r\n\r\n";

bool HasNoBody(int status) { return status < 200 || status == 204 || status == 304; }

// Where the header of the whole response ends, by the header scanner alone.
int64_t HeaderEnd(const std::string& response) {
  HeaderEndScanner scanner;
  return scanner.Scan(response.data(), static_cast<int64_t>(response.size()));
}

std::string Hex(size_t value, bool upper) {
  char text[24];
  std::snprintf(text, sizeof text, upper ? "%zX" : "%zx", value);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t pieceSize = 1 + data[0] % 32;
  const int mode = (data[0] >> 5) & 3;
  const bool cleanEnd = (data[0] & 0x80) == 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

  if (mode == 0 || mode == 3) {
    // Raw bytes: the same result in one piece and in the input's pieces.
    const Result whole = Read(input, input.size() + 1, cleanEnd);
    const Result cut = Read(input, pieceSize, cleanEnd);
    Check(whole.status == cut.status && whole.fault == cut.fault && whole.done == cut.done &&
              whole.headerDone == cut.headerDone && whole.chunked == cut.chunked && whole.length == cut.length &&
              whole.location == cut.location && whole.body == cut.body,
          "the pieces change the result");
    Check(whole.body.size() <= input.size(), "a body longer than the response");
    if (whole.done && HasNoBody(whole.status)) Check(whole.body.empty(), "a body where none may be");
    if (whole.done && !whole.chunked && !HasNoBody(whole.status)) {
      // Unchunked bodies are the bytes after the header: Content-Length of them, or all.
      const int64_t end = HeaderEnd(input);
      Check(end >= 0, "a complete response whose header never ended");
      const std::string rest = input.substr(static_cast<size_t>(end));
      const std::string expected =
          whole.length >= 0 ? rest.substr(0, static_cast<size_t>(whole.length)) : rest;
      Check(whole.length < 0 || static_cast<int64_t>(rest.size()) >= whole.length, "length not reached");
      Check(whole.body == expected, "body differs from the bytes after the header");
    }
    return 0;
  }

  // Well-framed responses around the input as body: they must decode to exactly the input.
  std::string response;
  if (mode == 1) {
    response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    size_t at = 0;
    size_t index = 0;
    while (at < input.size()) {
      const size_t chunk = 1 + static_cast<uint8_t>(input[at]) % 97;
      const size_t take = chunk < input.size() - at ? chunk : input.size() - at;
      response += Hex(take, index % 2 == 1);
      if (index % 3 == 2) response += ";ext=" + std::to_string(index);
      response += index % 4 == 3 ? "\n" : "\r\n";
      response.append(input, at, take);
      response += "\r\n";
      at += take;
      ++index;
    }
    response += "0\r\n" + kTrailer;
  } else {
    response = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(input.size()) + "\r\n\r\n" + input +
               "bytes past the length";
  }
  const Result r = Read(response, pieceSize, cleanEnd);
  Check(r.done && r.fault == 0 && r.status == 200, "a well-framed response failed");
  Check(r.chunked == (mode == 1), "framing misread");
  Check(r.body == input, "a well-framed body decoded wrongly");
  // Cut short anywhere after its header, a chunked response is truncated, never complete; only a
  // cut just after the last chunk, where merely the empty trailer's line is missing, completes it.
  if (mode == 1 && !input.empty()) {
    const size_t headerSize = static_cast<size_t>(HeaderEnd(response));
    const size_t cutAt = headerSize + static_cast<uint8_t>(input[0]) % (response.size() - headerSize);
    const Result cut = Read(response.substr(0, cutAt), pieceSize, true);
    Check(!cut.done || cutAt == response.size() - kTrailer.size(), "a cut chunked body taken as complete");
  }
  return 0;
}
