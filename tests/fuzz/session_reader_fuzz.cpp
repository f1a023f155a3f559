// Feeds a peer's byte stream to the session's message reader in pieces the
// input chooses. The messages that come out must be exactly those a plain
// walk over the whole stream finds, each with at most 1024 payload bytes, and
// the reader is broken exactly when a header announces more.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/internal/wire.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "session reader: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t pieceSize = 1 + data[0] % 64;
  const char* stream = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;

  // The plain walk: whole messages until a bad length or the end.
  std::vector<WireMessage> expected;
  bool expectBroken = false;
  for (size_t at = 0; length - at >= kWireHeaderSize;) {
    const size_t announced = static_cast<uint8_t>(stream[at + 1]) | (static_cast<uint8_t>(stream[at + 2]) << 8);
    if (announced > kMaxPayload) {
      expectBroken = true;
      break;
    }
    if (length - at - kWireHeaderSize < announced) break;
    WireMessage m;
    m.type = static_cast<uint8_t>(stream[at]);
    m.to = static_cast<uint16_t>(static_cast<uint8_t>(stream[at + 3]) | (static_cast<uint8_t>(stream[at + 4]) << 8));
    m.from = static_cast<uint16_t>(static_cast<uint8_t>(stream[at + 5]) | (static_cast<uint8_t>(stream[at + 6]) << 8));
    m.payload.assign(stream + at + kWireHeaderSize, stream + at + kWireHeaderSize + announced);
    expected.push_back(m);
    at += kWireHeaderSize + announced;
  }

  MessageReader reader;
  std::vector<WireMessage> got;
  for (size_t at = 0; at < length; at += pieceSize) {
    const size_t count = length - at < pieceSize ? length - at : pieceSize;
    if (!reader.Feed(stream + at, count)) break;
    WireMessage m;
    while (reader.Next(&m)) {
      Check(m.payload.size() <= kMaxPayload, "payload above the limit");
      got.push_back(m);
    }
  }
  Check(reader.Broken() == expectBroken, "broken state differs from the walk");
  if (expectBroken) {
    // A broken stream may have given the messages before the bad header, never more.
    Check(got.size() <= expected.size(), "messages after a bad header");
  } else {
    Check(got.size() == expected.size(), "message count differs from the walk");
  }
  for (size_t i = 0; i < got.size(); ++i) {
    Check(got[i].type == expected[i].type && got[i].to == expected[i].to && got[i].from == expected[i].from,
          "header fields differ");
    Check(got[i].payload == expected[i].payload, "payload differs");
  }
  WireMessage m;
  Check(!reader.Next(&m), "a message after the end");
  return 0;
}
