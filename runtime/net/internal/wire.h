// Readers of a peer's bytes: the HTTP response header scanner and the session's wire format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---------------------------------------------------------------- HTTP

// Finds the end of a response header in the pieces of a byte stream: a line
// feed counts, a carriage return leaves the count, any other byte resets it;
// the header ends at the byte where the count reaches 2.
class HeaderEndScanner {
 public:
  // The offset just past the header's end within this piece, or -1 when the
  // piece does not complete it. After the end every piece is body.
  int64_t Scan(const char* bytes, int64_t count);
  bool Done() const { return done_; }

 private:
  int lineFeeds_ = 0;
  bool done_ = false;
};

// ---------------------------------------------------------------- session wire format

// Sizes of the wire format: the header (type, to, from, payload length), the largest payload,
// a join request's payload and the player name within it.
constexpr int kWireHeaderSize = 7;
constexpr int kMaxPayload = 1024;
constexpr int kJoinPayloadSize = 136;
constexpr int kPlayerNameSize = 128;
// Player ids: the broadcast address, the two states of a local player not yet given an id,
// the highest valid id and the first one the host gives out.
constexpr uint16_t kEveryPlayer = 0xFFFF;
constexpr uint16_t kJoinNotSent = 0xFFFE;
constexpr uint16_t kJoinSent = 0xFFFC;
// A local player whose join request the host refused (never on the wire).
constexpr uint16_t kJoinRefusedMarker = 0xFFFD;
constexpr uint16_t kHighestPlayerId = 0xFEFF;
constexpr uint16_t kFirstPlayerId = 101;

// The messages of a session: players joining, texts and departures, and the questions a
// member asks the host.
enum MessageType : uint8_t {
  kJoinRequest = 1,
  kJoinAccepted = 2,
  kPlayerText = 3,
  kPlayerLeaves = 4,
  // Sent by either side when it has sent nothing else for a while: proof that the
  // peer still runs. Peers that predate it ignore it (an unknown type below 101).
  kKeepalive = 5,
  // Host to client, from 0, with a 2-byte reason (a JoinRefusal): "to" kJoinSent refuses
  // the oldest join request waiting for an answer, "to" 0 the connection itself, which
  // the host closes next. Older clients ignore it, as they ignore kKeepalive.
  kJoinRefused = 6,
  kAskCount = 101,
  kAskId = 102,
  kAskName = 103,
  kProbe = 104,
};

// Why the host refused a join or a connection; the cause a client reports is
// kSessionRefusalBase (net.h) plus the reason.
enum JoinRefusal : uint16_t {
  kRefusedIdsTaken = 1,
  kRefusedTableFull = 2,
  kRefusedAddressConnections = 3,
  kRefusedAddressPlayers = 4,
};

// One message as read from the stream.
struct WireMessage {
  uint8_t type = 0;
  uint16_t to = 0;
  uint16_t from = 0;
  std::vector<char> payload;  // at most kMaxPayload bytes
};

// Appends the 7-byte little-endian header and the payload.
void EncodeMessage(uint8_t type, uint16_t to, uint16_t from, const void* payload, size_t length,
                   std::vector<char>* out);

// Cuts a peer's byte stream into messages. Bytes may arrive in any pieces; a
// header that announces more than kMaxPayload bytes makes the stream broken
// for good (the connection must be closed), and nothing of it is read.
class MessageReader {
 public:
  // Takes the bytes; false once the stream is broken.
  bool Feed(const char* bytes, size_t count);
  // The next complete message; false when none is complete.
  bool Next(WireMessage* message);
  bool Broken() const { return broken_; }
  size_t Buffered() const { return buffer_.size() - start_; }

 private:
  std::vector<char> buffer_;
  size_t start_ = 0;
  bool broken_ = false;
};
