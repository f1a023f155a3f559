// Feeds a response to the HTTP header scanner in pieces the input chooses.
// The body it leaves must be exactly what follows the first point where two
// line feeds meet with only carriage returns between them, whatever the cuts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/internal/wire.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "header scanner: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t pieceSize = 1 + data[0] % 32;
  const std::string response(reinterpret_cast<const char*>(data + 1), size - 1);

  // The header ends after "\n" + any carriage returns + "\n".
  size_t end = std::string::npos;
  for (size_t i = 0; i < response.size() && end == std::string::npos; ++i) {
    if (response[i] != '\n') continue;
    size_t j = i + 1;
    while (j < response.size() && response[j] == '\r') ++j;
    if (j < response.size() && response[j] == '\n') end = j + 1;
  }
  const std::string expected = end == std::string::npos ? std::string() : response.substr(end);

  HeaderEndScanner scanner;
  std::string body;
  for (size_t at = 0; at < response.size(); at += pieceSize) {
    const std::string piece = response.substr(at, pieceSize);
    int64_t start = 0;
    if (!scanner.Done()) {
      start = scanner.Scan(piece.data(), static_cast<int64_t>(piece.size()));
      if (start < 0) continue;
      Check(start >= 1 && start <= static_cast<int64_t>(piece.size()), "offset outside the piece");
    }
    body.append(piece, static_cast<size_t>(start), std::string::npos);
  }
  Check(scanner.Done() == (end != std::string::npos), "end of header found differently");
  Check(body == expected, "body differs");
  return 0;
}
