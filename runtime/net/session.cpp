// The multiplayer session: players, their message queues and the thread that moves messages between sockets and queues.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "core/little_endian.h"
#include "net/internal/net_internal.h"
#include "net/net.h"
#include "net/startup.h"
#include "platform/sockets.h"

namespace {

constexpr int kConnectWaitMs = 5000;
constexpr int kAnswerWaitMs = 5000;  // 250 polls of 20 ms
constexpr int kIdleWaitMs = 10;      // the longest a cycle waits on its sockets
constexpr int kStopPollMs = 50;
constexpr size_t kMaxClientConnections = 128;
// A peer that creates more players than this on one connection is flooding: its connection goes.
constexpr size_t kMaxPlayersPerConnection = 256;
// What one remote address may hold, so that one machine cannot take the table
// (or the ids) from everyone else: connections, connections without a player
// among them, and players.
constexpr size_t kMaxConnectionsPerAddress = 32;
constexpr size_t kMaxPlayerlessPerAddress = 8;
constexpr size_t kMaxPlayersPerAddress = 1024;
// A refused connection is told why and kept, reading and discarding, until
// the peer closes or this long has passed: closing it with its join request
// unread would reset it, and the reason could be lost on the way. At most
// this many wait so; others are closed at once.
constexpr int kRefusedLingerMs = 1000;
constexpr size_t kMaxRefusedLingering = 64;
// A peer that stops reading while this much waits for it is dropped.
constexpr size_t kMaxPendingOutput = 4u << 20;
// A connection with no player on it is closed after this long: it holds a
// table entry that a joining player needs.
constexpr int kJoinWaitMs = 5000;
// Unread texts a local player may have waiting. A client connection that
// sends one more to the hosting program's player is held back (nothing more
// is read from it) until the player makes room, and dropped when that takes
// longer than kHoldLimitMs. A text that cannot be held back disconnects the
// player instead: the stream it reads must not have a hole.
constexpr size_t kMaxQueuedTexts = 4096;
constexpr size_t kMaxQueuedBytes = 4u << 20;
constexpr int kHoldLimitMs = 5000;
// Messages claiming a player that does not live on their connection are
// dropped; a connection that sends more than this many is dropped itself.
// Messages from players that left the connection a moment ago are dropped
// without counting (they crossed the departure); the last this many are kept.
constexpr int kMaxForgedMessages = 16;
constexpr size_t kRecentlyLeft = 64;
// Answers waiting for a question (each question empties the queue first) and
// departed players nobody asked about yet.
constexpr size_t kMaxAnswers = 64;
constexpr size_t kMaxDeparted = 4096;
// Messages taken from one connection per cycle; the rest wait in its reader,
// which reads no more while a piece's worth is still buffered. The host
// connection is read the same way.
constexpr int kMaxMessagesPerCycle = 1024;
constexpr int kMaxAcceptsPerCycle = 16;
constexpr int64_t kReadPiece = 64 * 1024;
constexpr uint16_t kNoPlayer = 0;
// Keepalives go out after this long without another message; silence is
// borne for the session timeout (SetSessionTimeout), within these bounds.
constexpr int kKeepaliveMs = 250;
constexpr int32_t kDefaultTimeoutMs = 5000;
constexpr int32_t kShortestTimeoutMs = 1000;
constexpr int32_t kLongestTimeoutMs = 3600000;
// Run-log lines of a kind that may come once per message or connection are
// written once a minute at most, with a count of those left out.
constexpr int64_t kLogIntervalMs = 60000;

using Clock = std::chrono::steady_clock;

struct QueuedText {
  uint16_t from;
  std::string text;
};

struct PlayerRecord {
  int32_t connection = -1;  // the connection slot on the host, -1 for local players
  uint16_t id = kJoinNotSent;
  bool hidden = false;
  bool createdOnHost = false;
  char name[kPlayerNameSize] = {};
  std::deque<QueuedText> queue;
  size_t queuedBytes = 0;
  // Local players: disconnected for falling behind. What it had waiting stays
  // readable; it takes no more texts and sends none until RemovePlayer.
  bool cut = false;
  int32_t refusal = 0;  // why the host refused its join (a kSession... cause), with id kJoinRefusedMarker
};

// A client's connection on the host: its reader and the bytes waiting to go out.
struct ClientConnection {
  int32_t slot = -1;
  int handle = -1;
  uint32_t ip = 0;  // the peer's address
  MessageReader reader;
  std::vector<char> output;
  size_t outputStart = 0;
  std::vector<uint16_t> ids;     // the players living on it now
  std::deque<uint16_t> left;     // the last players that left it
  Clock::time_point idleSince;   // when it last had no player
  Clock::time_point lastHeard;   // when bytes last came (or it was last not read on purpose)
  Clock::time_point lastQueued;  // when a message for it was last queued
  bool speaksKeepalive = false;  // it has sent a keepalive: its silence can be judged
  int forged = 0;                // messages refused for their sender
  bool own = false;              // the hosting program's own connection
  bool closed = false;           // the peer closed; what it sent before is still taken
  bool more = false;             // its reader kept messages back this cycle
  bool held = false;             // a full queue holds its next message
  WireMessage next;              // that message, while held
  uint16_t heldFor = 0;          // the player whose queue is full
  Clock::time_point heldSince;
  bool refused = false;  // told why it is refused; waits for the peer to close (kRefusedLingerMs)
  Clock::time_point refusedAt;
  bool drop = false;
};

// The kinds of run-log line the session writes, each at most once a minute with a count.
struct SessionLog {
  RepeatedLogLine dropped{"session: dropped connection", kLogIntervalMs};
  RepeatedLogLine forged{"session: sender refused", kLogIntervalMs};
  RepeatedLogLine refused{"session: refused", kLogIntervalMs};
  RepeatedLogLine fellBehind{"session: player fell behind", kLogIntervalMs};
  RepeatedLogLine unlisted{"session: departed players unread", kLogIntervalMs};
  RepeatedLogLine ended{"session: ended", kLogIntervalMs};
};

struct Session {
  // Everything below up to the thread's own state is shared and guarded by lock.
  std::mutex lock;
  std::condition_variable changed;  // ids handed out, answers queued, thread ended
  uint16_t nextId = kFirstPlayerId;
  std::deque<uint16_t> freeIds;  // host: ids of departed players, reported, to hand out again
  uint16_t queryPlayer = kNoPlayer;
  int32_t listenSlot = -1;
  int32_t hostSlot = -1;
  std::list<PlayerRecord> localPlayers;
  std::vector<PlayerRecord> registry;  // host only
  std::deque<WireMessage> answers;
  std::deque<uint16_t> departed;
  std::vector<uint16_t> leaving;  // local players cut off, whose departure the thread sends
  bool isHost = false;
  bool stopRequested = true;
  bool threadRunning = false;
  bool acceptPlayers = true;
  bool holdsNetwork = false;  // this session's NetStart is outstanding
  int32_t lastSender = 0;
  int32_t timeoutMs = kDefaultTimeoutMs;  // kept across sessions
  int32_t endCause = 0;                   // why the thread ended by itself (a kSession... cause)

  // Sends on the host connection come from both threads; one at a time.
  std::mutex sendLock;
  Clock::time_point lastSent;  // under sendLock: the last message sent on the host connection
  platform::Thread* thread = nullptr;

  // The thread's own state.
  MessageReader hostReader;
  std::vector<ClientConnection> clients;
  int32_t ownSlot = -1;            // host: the accepted end of its own connection
  std::vector<std::string> notes;  // run-log lines, written once the lock is released
  SessionLog log;
  Clock::time_point hostHeard;     // client: when the host last sent bytes
  bool hostSpeaksKeepalive = false;
};

// The one session object: created here at its first use (start-up's CreateSessionObject, or the
// first session call of a program that runs without the runtime), destroyed only by
// EndSessionAndNetwork once its thread has ended.
Session* g_session = nullptr;

Session& TheSession() {
  if (g_session == nullptr) g_session = new Session;
  return *g_session;
}

bool ValidId(uint32_t id) { return id >= 1 && id <= kHighestPlayerId; }

// Sends every byte on a blocking-or-not socket, waiting while it is full.
bool SendAllOn(int handle, const char* bytes, size_t count) {
  size_t sent = 0;
  while (sent < count) {
    const int64_t n = platform::SendSocket(handle, bytes + sent, static_cast<int64_t>(count - sent), nullptr);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && platform::LastSocketError() != platform::kSocketWouldBlock) {
      SetNetLastError(platform::LastSocketError());
      return false;
    }
    const bool write[1] = {true};
    uint8_t ready[1] = {0};
    if (platform::WaitSockets(&handle, write, ready, 1, kConnectWaitMs) <= 0) return false;
  }
  return true;
}

bool SendToHost(Session& s, uint8_t type, uint16_t to, uint16_t from, const void* payload, size_t length) {
  std::vector<char> bytes;
  EncodeMessage(type, to, from, payload, length, &bytes);
  int32_t slot;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    slot = s.hostSlot;
  }
  std::lock_guard<std::mutex> hold(s.sendLock);
  const int handle = SlotHandle(slot);
  if (handle < 0) return false;
  s.lastSent = Clock::now();
  return SendAllOn(handle, bytes.data(), bytes.size());
}

// The words of the session's causes.
const char* CauseWords(int32_t code) {
  switch (code) {
    case kSessionIdsTaken: return "every player id is taken";
    case kSessionTableFull: return "the host's connection table is full";
    case kSessionAddressConnections: return "too many connections from this address";
    case kSessionAddressPlayers: return "too many players from this address";
    case kSessionRefused: return "join refused";
    case kSessionNoAnswer: return "no answer from the host";
    case kSessionClosedByHost: return "the host closed the connection";
    case kSessionHostSilent: return "the host went silent";
    case kSessionBrokenHost: return "the host broke the protocol";
    case kSessionNotRunning: return "no session";
    case kSessionPlayerFellBehind: return "the player fell behind and was disconnected";
    default: return nullptr;
  }
}

// The cause a refusal's wire reason stands for.
int32_t RefusalCause(uint16_t reason) {
  const int32_t cause = kSessionRefusalBase + reason;
  return reason >= kRefusedIdsTaken && reason <= kRefusedAddressPlayers ? cause : kSessionRefused;
}

// ---------------------------------------------------------------- the session thread

// Keeps a run-log line of a kind for when the lock is released; a kind that
// recurs is written once a minute at most, with the count of those left out.
void Note(Session& s, RepeatedLogLine& kind, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Note(Session& s, RepeatedLogLine& kind, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  const int64_t now =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  kind.Occur(line, now, &s.notes);
}

void WriteNotes(Session& s) {
  for (const std::string& line : s.notes) WriteLog(line.c_str());
  s.notes.clear();
}

// The counts of lines left out, at the session's end.
void FlushNotes(Session& s) {
  for (RepeatedLogLine* kind : {&s.log.dropped, &s.log.forged, &s.log.refused, &s.log.fellBehind,
                                &s.log.unlisted, &s.log.ended})
    kind->Flush(&s.notes);
  WriteNotes(s);
}

ClientConnection* ClientBySlot(Session& s, int32_t slot) {
  for (ClientConnection& c : s.clients)
    if (c.slot == slot) return &c;
  return nullptr;
}

// Host: the next id to hand out: counting up from 101 first, then the ids of
// departed players, the longest gone first; false when none is left.
bool TakeId(Session& s, uint16_t* id) {
  if (s.nextId <= kHighestPlayerId) {
    *id = s.nextId++;
    return true;
  }
  if (s.freeIds.empty()) return false;
  *id = s.freeIds.front();
  s.freeIds.pop_front();
  return true;
}

// A player left the host. Its id comes back only once the departure has been
// reported (or can never be): a program that still knows the id must not find
// its messages going to a newcomer.
void NoteDeparture(Session& s, const PlayerRecord& p) {
  if (p.hidden) {
    s.freeIds.push_back(p.id);  // query players are never listed
  } else if (s.departed.size() < kMaxDeparted) {
    s.departed.push_back(p.id);
  } else {
    // Nobody reads them: the oldest stay listed, later ones are not.
    Note(s, s.log.unlisted, "session: %zu departed players unread; player %u and later ones are not listed\n",
         kMaxDeparted, static_cast<unsigned>(p.id));
    s.freeIds.push_back(p.id);
  }
}

void Remember(ClientConnection& c, uint16_t id) {
  c.left.push_back(id);
  if (c.left.size() > kRecentlyLeft) c.left.pop_front();
}

// Removes a player from the registry (and from its connection's list) as departed.
void Depart(Session& s, std::vector<PlayerRecord>::iterator player) {
  if (ClientConnection* c = ClientBySlot(s, player->connection)) {
    auto id = std::find(c->ids.begin(), c->ids.end(), player->id);
    if (id != c->ids.end()) c->ids.erase(id);
    Remember(*c, player->id);
    if (c->ids.empty()) c->idleSince = Clock::now();
  }
  NoteDeparture(s, *player);
  s.registry.erase(player);
}

// Removes every registry entry living on a connection; the listed ones go
// into the departed queue, oldest first (query players are never listed).
void DepartConnection(Session& s, int32_t slot) {
  auto gone = [slot](const PlayerRecord& p) { return p.connection == slot; };
  for (const PlayerRecord& p : s.registry)
    if (gone(p)) NoteDeparture(s, p);
  s.registry.erase(std::remove_if(s.registry.begin(), s.registry.end(), gone), s.registry.end());
}

void DropConnection(Session& s, ClientConnection& c, const char* why) {
  if (c.drop) return;
  c.drop = true;
  Note(s, s.log.dropped, "session: dropped connection %d: %s\n", c.slot, why);
}

void QueueFor(Session& s, ClientConnection& client, uint8_t type, uint16_t to, uint16_t from, const void* payload,
              size_t length) {
  if (client.drop) return;
  EncodeMessage(type, to, from, payload, length, &client.output);
  client.lastQueued = Clock::now();
  if (client.output.size() - client.outputStart > kMaxPendingOutput)
    DropConnection(s, client, "it leaves more than 4 MiB unread");
}

void QueueRefusal(Session& s, ClientConnection& c, uint16_t to, uint16_t reason) {
  char payload[2];
  StoreLittle16(payload, reason);
  QueueFor(s, c, kJoinRefused, to, 0, payload, 2);
  Note(s, s.log.refused, "session: refused %s on connection %d: %s\n", to == 0 ? "the connection" : "a join",
       c.slot, CauseWords(RefusalCause(reason)));
}

const char* TypeName(uint8_t type) {
  switch (type) {
    case kPlayerText: return "a text";
    case kPlayerLeaves: return "a departure";
    default: return "a question";
  }
}

// A message naming its sender must name a player living on its connection
// (the hosting program may also speak as the host, 0); join requests name
// none, and unknown types are ignored anyway. Messages of players that have
// just left the connection crossed their departure and go without a word.
bool SenderVouched(Session& s, ClientConnection& source, const WireMessage& m) {
  if (m.type != kPlayerText && m.type != kPlayerLeaves && m.type < kAskCount) return true;
  if (std::find(source.ids.begin(), source.ids.end(), m.from) != source.ids.end()) return true;
  if (source.own && m.from == 0) return true;
  if (std::find(source.left.begin(), source.left.end(), m.from) != source.left.end()) return false;
  if (source.forged++ == 0)
    Note(s, s.log.forged, "session: connection %d sent %s as player %u, not one of its own; such messages are dropped\n",
         source.slot, TypeName(m.type), static_cast<unsigned>(m.from));
  if (source.forged > kMaxForgedMessages && !source.own) DropConnection(s, source, "it keeps naming other senders");
  return false;
}

bool HasRoom(const PlayerRecord& p, size_t bytes) {
  return p.queue.size() < kMaxQueuedTexts && p.queuedBytes + bytes <= kMaxQueuedBytes;
}

// A local player with no room for a text that cannot wait: it is disconnected
// and departs, so that what it reads is everything up to that point. Its
// departure goes to the host like any other (the hosting program's through its
// own connection), at the start of the next cycle: the registry may be being
// walked now.
void CutOff(Session& s, PlayerRecord& p) {
  p.cut = true;
  Note(s, s.log.fellBehind, "session: player %u has %zu texts (%zu bytes) unread; it is disconnected\n",
       static_cast<unsigned>(p.id), p.queue.size(), p.queuedBytes);
  s.leaving.push_back(p.id);
}

// Queues a text for a local player. A client's text for the hosting program's
// player finds room (it is held back before); one that came any other way
// (from this program itself, or from the host) cuts the player off when the
// queue is full.
void Deliver(Session& s, PlayerRecord& p, const WireMessage& m) {
  if (p.cut) return;
  const size_t bytes = m.payload.size();
  if (!HasRoom(p, bytes)) {
    CutOff(s, p);
    return;
  }
  p.queue.push_back(QueuedText{m.from, std::string(m.payload.begin(), m.payload.end())});
  p.queuedBytes += bytes;
}

// A local player that takes texts (not one cut off).
PlayerRecord* LocalPlayer(Session& s, uint16_t id) {
  for (PlayerRecord& p : s.localPlayers)
    if (p.id == id && !p.cut) return &p;
  return nullptr;
}

// Host: the first of this program's players that a client's text is for and
// that has no room for it; null when every one has.
PlayerRecord* FullRecipient(Session& s, const WireMessage& m) {
  const size_t bytes = m.payload.size();
  if (m.to != kEveryPlayer) {
    PlayerRecord* p = ValidId(m.to) ? LocalPlayer(s, m.to) : nullptr;
    return p != nullptr && !HasRoom(*p, bytes) ? p : nullptr;
  }
  if (s.ownSlot < 0) return nullptr;  // broadcasts reach them through their connection
  for (PlayerRecord& p : s.localPlayers)
    if (!p.hidden && !p.cut && ValidId(p.id) && p.id != m.from && !HasRoom(p, bytes)) return &p;
  return nullptr;
}

// Players of the connections from one address (the hosting program's own excepted).
size_t PlayersFrom(Session& s, uint32_t ip) {
  size_t players = 0;
  for (const ClientConnection& c : s.clients)
    if (!c.own && !c.drop && c.ip == ip) players += c.ids.size();
  return players;
}

// Host side: a message from a client connection whose sender is its own. Under
// the lock; sends only queue bytes.
void Route(Session& s, const WireMessage& m, ClientConnection* source) {
  switch (m.type) {
    case kPlayerText:
      if (m.to == kEveryPlayer) {
        for (const PlayerRecord& p : s.registry) {
          if (p.hidden || p.id == m.from || !ValidId(p.id)) continue;
          // This program's own players take it here, not through their connection,
          // so that a full queue holds back the connection that sent it.
          PlayerRecord* local = p.connection == s.ownSlot ? LocalPlayer(s, p.id) : nullptr;
          if (local != nullptr) {
            Deliver(s, *local, m);
          } else if (ClientConnection* c = ClientBySlot(s, p.connection)) {
            QueueFor(s, *c, kPlayerText, p.id, m.from, m.payload.data(), m.payload.size());
          }
        }
      } else {
        for (const PlayerRecord& p : s.registry) {
          if (p.id != m.to) continue;
          if (ClientConnection* c = ClientBySlot(s, p.connection))
            QueueFor(s, *c, kPlayerText, p.id, m.from, m.payload.data(), m.payload.size());
          break;
        }
      }
      break;
    case kJoinRequest: {
      if (m.to != 0 || m.payload.size() != kJoinPayloadSize) break;
      if (source->ids.size() >= kMaxPlayersPerConnection) {
        DropConnection(s, *source, "it asked for too many players");
        break;
      }
      uint16_t id = 0;
      if (!source->own && PlayersFrom(s, source->ip) >= kMaxPlayersPerAddress) {
        QueueRefusal(s, *source, kJoinSent, kRefusedAddressPlayers);
        break;
      }
      if (!TakeId(s, &id)) {
        QueueRefusal(s, *source, kJoinSent, kRefusedIdsTaken);
        break;
      }
      PlayerRecord p;
      p.connection = source->slot;
      p.id = id;
      p.hidden = m.payload[6] != 0;
      p.createdOnHost = m.payload[7] != 0;
      std::memcpy(p.name, m.payload.data() + 8, kPlayerNameSize);
      p.name[kPlayerNameSize - 1] = 0;
      s.registry.push_back(p);
      source->ids.push_back(p.id);
      QueueFor(s, *source, kJoinAccepted, p.id, 0, nullptr, 0);
      break;
    }
    case kPlayerLeaves: {
      // Only a player of the sending connection can be removed by it.
      auto leaving = std::find_if(s.registry.begin(), s.registry.end(), [&](const PlayerRecord& p) {
        return p.id == m.from && p.connection == source->slot;
      });
      if (leaving != s.registry.end()) Depart(s, leaving);
      break;
    }
    case kAskCount:
    case kAskId: {
      uint16_t count = 0;
      uint16_t found = 0;
      const uint16_t index = m.type == kAskId && m.payload.size() >= 2 ? LoadLittle16(m.payload.data()) : 0;
      for (const PlayerRecord& p : s.registry) {
        if (p.hidden || !ValidId(p.id)) continue;
        if (count == index) found = p.id;
        ++count;
      }
      char answer[2];
      StoreLittle16(answer, m.type == kAskCount ? count : found);
      QueueFor(s, *source, m.type, m.from, 0, answer, 2);
      break;
    }
    case kAskName: {
      const uint16_t id = m.payload.size() >= 2 ? LoadLittle16(m.payload.data()) : 0;
      const char* name = "NO_DATA";
      for (const PlayerRecord& p : s.registry)
        if (p.id == id) {
          name = p.name;
          break;
        }
      QueueFor(s, *source, kAskName, m.from, 0, name, std::strlen(name));
      break;
    }
    case kProbe: {
      char answer[2];
      StoreLittle16(answer, 1);
      QueueFor(s, *source, kProbe, m.from, 0, answer, 2);
      break;
    }
    default:
      break;  // keepalives, and unknown types, cost nothing
  }
}

// Reads what waits on a socket into a reader, unless a piece's worth is still
// buffered there; false when the peer closed, failed or broke the stream.
// *heard is set when bytes came, or when nothing was read on purpose (the
// peer's silence cannot be judged then).
bool ReadInto(int handle, MessageReader& reader, std::vector<char>& piece, bool* heard) {
  if (reader.Buffered() >= static_cast<size_t>(kReadPiece)) {
    *heard = true;
    return true;
  }
  const int64_t n = platform::ReceiveSocket(handle, piece.data(), kReadPiece, nullptr);
  if (n == 0) return false;
  if (n < 0) return platform::LastSocketError() == platform::kSocketWouldBlock;
  *heard = true;
  return reader.Feed(piece.data(), static_cast<size_t>(n));
}

// Host: one message of a client; false when a full queue holds it back.
bool FromClient(Session& s, ClientConnection& c, const WireMessage& m) {
  if (m.type == kKeepalive) c.speaksKeepalive = true;
  if (!SenderVouched(s, c, m)) return true;
  if (m.type == kPlayerText) {
    // The hosting program's own texts are never held: its own questions and
    // joins would wait behind them.
    if (!c.own) {
      if (const PlayerRecord* full = FullRecipient(s, m)) {
        c.heldFor = full->id;
        return false;
      }
    }
    // 4. Player messages for this program's own players.
    if (m.to != kEveryPlayer && ValidId(m.to)) {
      if (PlayerRecord* local = LocalPlayer(s, m.to)) {
        Deliver(s, *local, m);
        return true;
      }
    }
  }
  // 5. Host: route what the clients sent.
  Route(s, m, &c);
  return true;
}

// One message on the host connection; false when the session must end (with
// s.endCause saying why).
bool FromHost(Session& s, WireMessage& m, bool* wake) {
  // 4. Player messages for this program's own players.
  if (m.type == kPlayerText && m.to != kEveryPlayer && ValidId(m.to)) {
    if (PlayerRecord* local = LocalPlayer(s, m.to)) Deliver(s, *local, m);
    return true;
  }
  if (m.from != 0) return true;
  // 6. From the host: accepted and refused joins, keepalives and answers.
  if (m.type == kJoinAccepted && ValidId(m.to)) {
    auto waiting = std::find_if(s.localPlayers.begin(), s.localPlayers.end(),
                                [](const PlayerRecord& p) { return p.id == kJoinSent; });
    if (waiting != s.localPlayers.end()) waiting->id = m.to;
    *wake = true;
  } else if (m.type == kJoinRefused) {
    const int32_t cause = RefusalCause(m.payload.size() >= 2 ? LoadLittle16(m.payload.data()) : 0);
    if (m.to == 0) {
      // The whole connection is refused; the host closes it.
      s.endCause = cause;
      return false;
    }
    auto waiting = std::find_if(s.localPlayers.begin(), s.localPlayers.end(),
                                [](const PlayerRecord& p) { return p.id == kJoinSent; });
    if (waiting != s.localPlayers.end()) {
      waiting->id = kJoinRefusedMarker;
      waiting->refusal = cause;
    }
    *wake = true;
  } else if (m.type == kKeepalive) {
    s.hostSpeaksKeepalive = true;
  } else if (m.type >= kAskCount) {
    // Every question empties the queue first: a host that fills it is broken.
    if (s.answers.size() >= kMaxAnswers) {
      Note(s, s.log.ended, "session: the host sent %zu answers nobody asked for; the session ends\n", kMaxAnswers);
      s.endCause = kSessionBrokenHost;
      return false;
    }
    s.answers.push_back(std::move(m));
    *wake = true;
  }
  return true;
}

// Host: a cycle's share of a client's messages, the held one first; a
// connection held for too long is dropped. Under the lock.
void TakeFromClient(Session& s, ClientConnection& c, Clock::time_point now) {
  c.more = false;
  if (c.refused) {
    // Nothing it says counts; it is read only so that it can close cleanly.
    WireMessage ignored;
    for (int n = 0; n < kMaxMessagesPerCycle && c.reader.Next(&ignored); ++n) {
    }
    return;
  }
  if (c.held) {
    if (!FromClient(s, c, c.next)) {
      if (now - c.heldSince > std::chrono::milliseconds(kHoldLimitMs)) {
        const PlayerRecord* p = LocalPlayer(s, c.heldFor);
        char why[96];
        std::snprintf(why, sizeof why, "player %u has %zu texts (%zu bytes) unread",
                      static_cast<unsigned>(c.heldFor), p != nullptr ? p->queue.size() : size_t{0},
                      p != nullptr ? p->queuedBytes : size_t{0});
        DropConnection(s, c, why);
      }
      return;
    }
    c.held = false;
  }
  for (int n = 0; n < kMaxMessagesPerCycle; ++n) {
    if (c.drop || !c.reader.Next(&c.next)) return;
    if (!FromClient(s, c, c.next)) {
      c.held = true;
      c.heldSince = now;
      return;
    }
  }
  c.more = true;
}

void FlushClient(ClientConnection& c) {
  while (!c.drop && c.outputStart < c.output.size()) {
    const int64_t n = platform::SendSocket(c.handle, c.output.data() + c.outputStart,
                                           static_cast<int64_t>(c.output.size() - c.outputStart), nullptr);
    if (n > 0) {
      c.outputStart += static_cast<size_t>(n);
    } else {
      if (platform::LastSocketError() != platform::kSocketWouldBlock) c.drop = true;
      break;
    }
  }
  if (c.outputStart == c.output.size()) {
    c.output.clear();
    c.outputStart = 0;
  } else if (c.outputStart > (1u << 16)) {
    c.output.erase(c.output.begin(), c.output.begin() + static_cast<std::ptrdiff_t>(c.outputStart));
    c.outputStart = 0;
  }
}

// Closes the listening and host sockets and gives back the session's start
// of networking. Called with the session lock held.
void CloseSessionSockets(Session& s) {
  if (s.listenSlot >= 0) NetClose(s.listenSlot);
  if (s.hostSlot >= 0) NetClose(s.hostSlot);
  s.listenSlot = s.hostSlot = -1;
  if (s.holdsNetwork) NetStop();
  s.holdsNetwork = false;
}

// Host: takes one waiting connection into the table; false when none waits.
// An address at its share of the table makes room by closing its own oldest
// connection without a player, and a full table by closing the oldest such
// connection of anyone; with none, the new one is refused (told why first).
// The hosting program's own connection is recognised by its address and
// counts for nothing.
bool AcceptConnection(Session& s, int32_t listenSlot, const platform::SocketAddress* own) {
  int32_t peerIp = 0;
  const int32_t slot = NetTcpAccept(listenSlot, peerIp);
  if (slot < 0) return false;
  const auto now = Clock::now();
  ClientConnection c;
  c.slot = slot;
  c.handle = SlotHandle(slot);
  c.ip = static_cast<uint32_t>(peerIp);
  c.idleSince = c.lastHeard = now;
  // Its address and port together: no other connection can come from both while it is open, and
  // one from another address on the same port number is anyone's.
  c.own = own != nullptr && c.ip == own->ip && NetRemotePort(slot) == own->port;
  if (c.own) s.ownSlot = slot;
  size_t live = 0, fromAddress = 0, playerlessFromAddress = 0, lingering = 0;
  ClientConnection* oldest = nullptr;
  ClientConnection* oldestFromAddress = nullptr;
  for (ClientConnection& other : s.clients) {
    if (other.refused) ++lingering;
    if (other.drop || other.closed || other.refused) continue;
    ++live;
    if (other.own) continue;
    const bool playerless = other.ids.empty();
    const bool sameAddress = other.ip == c.ip;
    fromAddress += sameAddress ? 1 : 0;
    if (!playerless) continue;
    if (oldest == nullptr || other.idleSince < oldest->idleSince) oldest = &other;
    if (sameAddress) {
      ++playerlessFromAddress;
      if (oldestFromAddress == nullptr || other.idleSince < oldestFromAddress->idleSince) oldestFromAddress = &other;
    }
  }
  uint16_t refusal = 0;
  if (!c.own && (fromAddress >= kMaxConnectionsPerAddress || playerlessFromAddress >= kMaxPlayerlessPerAddress)) {
    if (oldestFromAddress != nullptr)
      DropConnection(s, *oldestFromAddress, "its address opened another one");
    else
      refusal = kRefusedAddressConnections;
  } else if (!c.own && live >= kMaxClientConnections) {
    if (oldest != nullptr)
      DropConnection(s, *oldest, "the table is full and it has no player");
    else
      refusal = kRefusedTableFull;
  }
  if (refusal != 0) {
    if (lingering >= kMaxRefusedLingering) {
      NetClose(slot);
      return true;
    }
    c.refused = true;
    c.refusedAt = now;
    QueueRefusal(s, c, 0, refusal);
  } else if (!c.own) {
    // Its first message says that this host speaks keepalives.
    QueueFor(s, c, kKeepalive, 0, 0, nullptr, 0);
  }
  s.clients.push_back(std::move(c));
  return true;
}

void SessionThread(void* argument) {
  Session& s = *static_cast<Session*>(argument);
  std::vector<char> piece(kReadPiece);
  std::vector<int> handles;
  std::vector<uint8_t> ready;
  std::unique_ptr<bool[]> wantWrite;
  bool backlog = false;                // a reader has messages left from the last cycle
  platform::SocketAddress ownAddress;  // host: the local end of its own connection
  bool ownKnown = false;
  Clock::time_point lastCycle = Clock::now();
  s.hostHeard = lastCycle;
  s.hostSpeaksKeepalive = false;
  int32_t endCause = 0;
  bool joined;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    joined = !s.isHost;
  }
  // A client's first message says that it speaks keepalives, so that its silence is judged
  // from the start (the host's first message says the same).
  if (joined) SendToHost(s, kKeepalive, 0, 0, nullptr, 0);
  for (;;) {
    int32_t hostSlot, listenSlot;
    bool isHost, accept;
    std::chrono::milliseconds timeout;
    std::vector<std::vector<char>> joins;
    std::vector<uint16_t> leaving;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      if (s.stopRequested) break;
      hostSlot = s.hostSlot;
      listenSlot = s.listenSlot;
      isHost = s.isHost;
      accept = s.acceptPlayers;
      timeout = std::chrono::milliseconds(s.timeoutMs);
      // 1. Join requests for players not yet announced, and the departures of players cut off.
      for (PlayerRecord& p : s.localPlayers) {
        if (p.id != kJoinNotSent) continue;
        std::vector<char> payload(kJoinPayloadSize, 0);
        std::memset(payload.data(), 0xFF, 4);
        StoreLittle16(payload.data() + 4, kJoinNotSent);
        payload[6] = p.hidden ? 1 : 0;
        payload[7] = p.createdOnHost ? 1 : 0;
        std::memcpy(payload.data() + 8, p.name, kPlayerNameSize);
        joins.push_back(std::move(payload));
        p.id = kJoinSent;
      }
      leaving.swap(s.leaving);
    }
    for (const std::vector<char>& payload : joins) SendToHost(s, kJoinRequest, 0, 0, payload.data(), payload.size());
    for (uint16_t id : leaving) SendToHost(s, kPlayerLeaves, 0, id, nullptr, 0);
    const auto cycleStart = Clock::now();
    if (!isHost) {
      bool quiet;
      {
        std::lock_guard<std::mutex> hold(s.sendLock);
        quiet = cycleStart - s.lastSent >= std::chrono::milliseconds(kKeepaliveMs);
      }
      if (quiet) SendToHost(s, kKeepalive, 0, 0, nullptr, 0);
    }
    // Time in which this thread did not run (the process was stopped, or starved) is
    // not the peers' silence: their clocks start again.
    if (cycleStart - lastCycle > timeout / 2) {
      s.hostHeard = cycleStart;
      for (ClientConnection& c : s.clients) c.lastHeard = cycleStart;
    }
    lastCycle = cycleStart;

    // Wait until a socket has something (or 10 ms pass; no wait while messages are left over).
    // A held connection is not watched: what it sends waits until there is room.
    const int hostHandle = SlotHandle(hostSlot);
    const int listenHandle = isHost ? SlotHandle(listenSlot) : -1;
    if (isHost && !ownKnown && hostHandle >= 0) ownKnown = platform::SocketLocalAddress(hostHandle, &ownAddress);
    const bool listening = listenHandle >= 0 && accept;
    handles.assign(1, hostHandle);
    if (listening) handles.push_back(listenHandle);
    const size_t firstClient = handles.size();
    wantWrite.reset(new bool[handles.size() + s.clients.size()]());
    for (const ClientConnection& c : s.clients) {
      wantWrite[handles.size()] = c.outputStart < c.output.size();
      handles.push_back(c.held && !wantWrite[handles.size()] ? -1 : c.handle);
    }
    ready.assign(handles.size(), 0);
    if (hostHandle < 0) {
      endCause = kSessionClosedByHost;
      break;
    }
    if (platform::WaitSockets(handles.data(), wantWrite.get(), ready.data(), static_cast<int>(handles.size()),
                              backlog ? 0 : kIdleWaitMs) < 0)
      continue;

    // 2. What arrived on the host connection; a closed (or broken) one ends the session.
    const auto now = Clock::now();
    bool heard = false;
    if ((ready[0] & 1) && !ReadInto(hostHandle, s.hostReader, piece, &heard)) {
      endCause = s.hostReader.Broken() ? kSessionBrokenHost : kSessionClosedByHost;
      break;
    }
    if (heard) s.hostHeard = now;
    // 3. Host: new connections, and what each client sent. A client that closed
    // is dropped once everything it sent before has been taken.
    // The listening queue is short: a burst of connections is taken in few cycles.
    // The flag is read again: SetAcceptPlayers(0) must hold for every connection taken after it
    // returned, also one that arrived while this cycle waited.
    if (listening && (ready[1] & 1)) {
      std::lock_guard<std::mutex> hold(s.lock);
      accept = s.acceptPlayers;
    }
    if (listening && accept && (ready[1] & 1))
      for (int n = 0; n < kMaxAcceptsPerCycle; ++n)
        if (!AcceptConnection(s, listenSlot, ownKnown ? &ownAddress : nullptr)) break;
    for (size_t i = 0; i + firstClient < handles.size(); ++i) {
      ClientConnection& c = s.clients[i];
      if (ready[firstClient + i] & 2) FlushClient(c);
      // A held connection is not read, and one with messages left over is still being
      // taken: neither silence is the peer's own.
      bool heardClient = c.held || c.more;
      if (!c.closed && (ready[firstClient + i] & 1) && !ReadInto(c.handle, c.reader, piece, &heardClient))
        c.closed = true;
      if (heardClient) c.lastHeard = now;
    }
    bool hostBroken = false;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      bool wake = false;
      WireMessage m;
      int taken = 0;
      while (!hostBroken && taken < kMaxMessagesPerCycle && s.hostReader.Next(&m)) {
        ++taken;
        hostBroken = !FromHost(s, m, &wake);
      }
      backlog = taken == kMaxMessagesPerCycle;
      for (ClientConnection& c : s.clients) {
        if (c.drop) continue;
        TakeFromClient(s, c, now);
        backlog = backlog || c.more;
      }
      if (wake) s.changed.notify_all();
      if (hostBroken) endCause = s.endCause;
    }
    if (hostBroken) break;
    // A host that once sent a keepalive and then nothing for the timeout has gone.
    if (!isHost && s.hostSpeaksKeepalive && now - s.hostHeard > timeout) {
      Note(s, s.log.ended, "session: the host sent nothing for %lld ms; the session ends\n",
           static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - s.hostHeard).count()));
      endCause = kSessionHostSilent;
      break;
    }
    for (ClientConnection& c : s.clients) {
      if (c.drop || c.refused || c.own) continue;
      if (c.speaksKeepalive && now - c.lastHeard > timeout) {
        char why[64];
        std::snprintf(why, sizeof why, "it sent nothing for %lld ms",
                      static_cast<long long>(
                          std::chrono::duration_cast<std::chrono::milliseconds>(now - c.lastHeard).count()));
        DropConnection(s, c, why);
      } else if (c.outputStart == c.output.size() && now - c.lastQueued >= std::chrono::milliseconds(kKeepaliveMs)) {
        QueueFor(s, c, kKeepalive, 0, 0, nullptr, 0);
      }
    }
    for (ClientConnection& c : s.clients) FlushClient(c);
    for (ClientConnection& c : s.clients) {
      if (c.refused) {
        // One whose peer closed goes below, as any closed connection.
        if (now - c.refusedAt > std::chrono::milliseconds(kRefusedLingerMs)) c.drop = true;
      } else if (!c.own && c.ids.empty() && now - c.idleSince > std::chrono::milliseconds(kJoinWaitMs)) {
        c.drop = true;
      }
    }
    for (size_t i = 0; i < s.clients.size();) {
      const ClientConnection& c = s.clients[i];
      if (c.drop || (c.closed && !c.more && !c.held)) {
        {
          std::lock_guard<std::mutex> hold(s.lock);
          DepartConnection(s, c.slot);
        }
        if (c.slot == s.ownSlot) s.ownSlot = -1;
        NetClose(c.slot);
        s.clients[i] = std::move(s.clients.back());
        s.clients.pop_back();
      } else {
        ++i;
      }
    }
    WriteNotes(s);
  }
  // Shutdown: every connection of this session goes.
  FlushNotes(s);
  for (ClientConnection& c : s.clients) NetClose(c.slot);
  s.clients.clear();
  s.ownSlot = -1;
  s.hostReader = MessageReader();
  std::lock_guard<std::mutex> hold(s.lock);
  CloseSessionSockets(s);
  if (!s.stopRequested) s.endCause = endCause;
  s.stopRequested = true;
  s.threadRunning = false;
  s.nextId = kFirstPlayerId;
  s.freeIds.clear();
  s.changed.notify_all();
}

// ---------------------------------------------------------------- BASIC-facing helpers

void ResetSession(Session& s) {
  {
    std::unique_lock<std::mutex> hold(s.lock);
    if (s.threadRunning) {
      s.stopRequested = true;
      while (s.threadRunning) s.changed.wait_for(hold, std::chrono::milliseconds(kStopPollMs));
    }
  }
  platform::JoinThread(s.thread);
  s.thread = nullptr;
  std::lock_guard<std::mutex> hold(s.lock);
  CloseSessionSockets(s);
  s.localPlayers.clear();
  s.registry.clear();
  s.answers.clear();
  s.departed.clear();
  s.leaving.clear();
  s.freeIds.clear();
  s.nextId = kFirstPlayerId;
  s.queryPlayer = kNoPlayer;
  s.stopRequested = true;
  s.threadRunning = false;
  s.acceptPlayers = true;
  s.endCause = 0;
}

bool StartSessionThread(Session& s) {
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.stopRequested = false;
    s.threadRunning = true;
    s.endCause = 0;
  }
  s.thread = platform::StartThread(SessionThread, &s);
  if (s.thread != nullptr) return true;
  std::lock_guard<std::mutex> hold(s.lock);
  s.threadRunning = false;
  s.stopRequested = true;
  return false;
}

void StartNetwork(Session& s) {
  NetStart();
  std::lock_guard<std::mutex> hold(s.lock);
  s.holdsNetwork = true;
}

// Why an operation found no running session: what ended it, or none at all. Under the lock.
int32_t NotRunningCause(const Session& s) { return s.endCause != 0 ? s.endCause : kSessionNotRunning; }

// A failure of the operations below: a session cause, or kSocketFailure where the
// socket layer's last error tells it.
constexpr int32_t kSocketFailure = -1;

// Creates a local player and waits for its id: the id, or 0 with *cause saying why.
uint16_t NewPlayer(Session& s, const BasicString& name, int32_t* cause) {
  std::unique_lock<std::mutex> hold(s.lock);
  if (!s.threadRunning) {
    *cause = NotRunningCause(s);
    return 0;
  }
  PlayerRecord& player = s.localPlayers.emplace_back();
  const bool query = name.IsEmpty();
  const char* text = query ? "query" : name.c_str();
  std::strncpy(player.name, text, kPlayerNameSize - 1);
  player.hidden = query;
  player.createdOnHost = s.isHost;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  bool late = false;
  while (s.threadRunning && !ValidId(player.id) && player.id != kJoinRefusedMarker) {
    if (s.changed.wait_until(hold, deadline) == std::cv_status::timeout) {
      late = true;
      break;
    }
  }
  if (ValidId(player.id)) return player.id;
  *cause = player.id == kJoinRefusedMarker ? player.refusal : !s.threadRunning ? NotRunningCause(s)
           : late                          ? kSessionNoAnswer
                                           : kSessionNotRunning;
  s.localPlayers.remove_if([&](const PlayerRecord& p) { return &p == &player; });
  return 0;
}

// Records a failure as the last error.
void SetFailure(int32_t cause, int32_t socketError) {
  if (cause == kSocketFailure)
    SetNetLastError(socketError);
  else
    SetNetLastCause(cause);
}

// Creates the query player when there is none; 0, or the failure.
int32_t EnsureQueryPlayer(Session& s) {
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.queryPlayer != kNoPlayer) return 0;
  }
  int32_t cause = 0;
  const uint16_t id = NewPlayer(s, BasicString(), &cause);
  std::lock_guard<std::mutex> hold(s.lock);
  s.queryPlayer = id;
  return id != 0 ? 0 : cause;
}

// Sends a question from the query player and waits for the host's answer of
// that type: 0, or the failure.
int32_t Ask(Session& s, uint8_t type, const void* payload, size_t length, WireMessage* answer) {
  if (const int32_t failed = EnsureQueryPlayer(s)) return failed;
  uint16_t query;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.answers.clear();
    query = s.queryPlayer;
  }
  if (!SendToHost(s, type, 0, query, payload, length)) {
    std::lock_guard<std::mutex> hold(s.lock);
    return s.threadRunning ? kSocketFailure : NotRunningCause(s);
  }
  std::unique_lock<std::mutex> hold(s.lock);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  for (;;) {
    while (!s.answers.empty()) {
      WireMessage m = std::move(s.answers.front());
      s.answers.pop_front();
      if (m.type == type) {
        *answer = std::move(m);
        return 0;
      }
    }
    if (!s.threadRunning) return NotRunningCause(s);
    if (s.changed.wait_until(hold, deadline) == std::cv_status::timeout) return kSessionNoAnswer;
  }
}

// Asks, recording a failure as the last error; true with the answer.
bool AskOrFail(Session& s, uint8_t type, const void* payload, size_t length, WireMessage* answer) {
  const int32_t failed = Ask(s, type, payload, length, answer);
  if (failed != 0) SetFailure(failed, NetLastError());
  return failed == 0;
}

}  // namespace

std::string SessionCauseText(int32_t code) {
  const char* words = CauseWords(code);
  return words != nullptr ? words : "";
}

// ---------------------------------------------------------------- operations

int32_t HostSession(int32_t port) {
  Session& s = TheSession();
  ResetSession(s);
  if (port <= 0) port = kDefaultSessionPort;
  StartNetwork(s);
  const int32_t listenSlot = NetTcpListen(port);
  if (listenSlot < 0) {
    ResetSession(s);
    return 0;
  }
  const int32_t hostSlot = NetTcpConnect(BasicString(), port, kConnectWaitMs);
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.listenSlot = listenSlot;
    s.hostSlot = hostSlot;
    s.isHost = true;
  }
  if (hostSlot < 0 || !StartSessionThread(s)) {
    ResetSession(s);
    return 0;
  }
  return 1;
}

int32_t JoinSession(const BasicString& host, int32_t port) {
  Session& s = TheSession();
  ResetSession(s);
  if (port <= 0) port = kDefaultSessionPort;
  StartNetwork(s);
  const int32_t hostSlot = NetTcpConnect(host, port, kConnectWaitMs);
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.hostSlot = hostSlot;
    s.isHost = false;
  }
  WireMessage answer;
  int32_t failed = kSocketFailure;
  if (hostSlot >= 0 && StartSessionThread(s)) failed = Ask(s, kProbe, nullptr, 0, &answer);
  if (failed != 0) {
    const int32_t error = NetLastError();
    ResetSession(s);
    SetFailure(failed, error);
    return 0;
  }
  return 1;
}

void EndSession() { ResetSession(TheSession()); }

void SetAcceptPlayers(int32_t accept) {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  s.acceptPlayers = accept != 0;
}

int32_t SessionRunning() {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.threadRunning ? 1 : 0;
}

void SetSessionTimeout(int32_t ms) {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  s.timeoutMs = ms < 1 ? kDefaultTimeoutMs : std::clamp(ms, kShortestTimeoutMs, kLongestTimeoutMs);
}

int32_t SessionTimeout() {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.timeoutMs;
}

int32_t CreatePlayer(const BasicString& name) {
  int32_t cause = 0;
  const uint16_t id = NewPlayer(TheSession(), name, &cause);
  if (id == 0) SetNetLastCause(cause);
  return id;
}

void RemovePlayer(int32_t id) {
  Session& s = TheSession();
  bool cut = false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    for (const PlayerRecord& p : s.localPlayers)
      if (p.id == id && p.cut) cut = true;
  }
  // A player cut off has left the host already.
  if (!cut) SendToHost(s, kPlayerLeaves, 0, static_cast<uint16_t>(id), nullptr, 0);
  std::lock_guard<std::mutex> hold(s.lock);
  s.localPlayers.remove_if([&](const PlayerRecord& p) { return p.id == id; });
}

int32_t SendPlayerMessage(int32_t from, int32_t to, const BasicString& text) {
  if (text.Length() > kMaxPayload) return 0;  // no peer could take it
  Session& s = TheSession();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    auto same = [&](bool cut) {
      return std::any_of(s.localPlayers.begin(), s.localPlayers.end(),
                         [&](const PlayerRecord& p) { return p.id == from && p.cut == cut; });
    };
    if (same(true) && !same(false)) {
      SetNetLastCause(kSessionPlayerFellBehind);
      return 0;
    }
  }
  const uint16_t target = to == 0 ? kEveryPlayer : static_cast<uint16_t>(to);
  return SendToHost(s, kPlayerText, target, static_cast<uint16_t>(from), text.c_str(), text.Length()) ? 1 : 0;
}

BasicString ReceivePlayerMessage(int32_t id) {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  for (auto p = s.localPlayers.begin(); p != s.localPlayers.end();) {
    if (p->id != id || !ValidId(p->id)) {
      ++p;
      continue;
    }
    if (p->queue.empty()) {
      if (!p->cut) return BasicString();
      // A player cut off and read empty stays until removed; a newer one of its id may follow.
      ++p;
      continue;
    }
    QueuedText oldest = std::move(p->queue.front());
    p->queue.pop_front();
    p->queuedBytes -= oldest.text.size();
    s.lastSender = oldest.from;
    return BasicString(oldest.text.data(), static_cast<uint32_t>(oldest.text.size()));
  }
  return BasicString();
}

int32_t LastMessageSender() {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.lastSender;
}

int32_t CountPlayers() {
  WireMessage answer;
  if (!AskOrFail(TheSession(), kAskCount, nullptr, 0, &answer) || answer.payload.size() < 2) return 0;
  return LoadLittle16(answer.payload.data());
}

BasicString PlayerName(int32_t id) {
  char question[2];
  StoreLittle16(question, static_cast<uint16_t>(id));
  WireMessage answer;
  if (!AskOrFail(TheSession(), kAskName, question, 2, &answer)) return BasicString("NO_DATA");
  return BasicString(answer.payload.data(), static_cast<uint32_t>(answer.payload.size()));
}

int32_t NextDepartedPlayer() {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.departed.empty()) return 0;
  const uint16_t id = s.departed.front();
  s.departed.pop_front();
  // Reported: the id may be handed out again (after every fresh one).
  if (s.threadRunning) s.freeIds.push_back(id);
  return id;
}

void CreateSessionObject() { TheSession(); }

void EndSessionAndNetwork() {
  if (g_session != nullptr) {
    ResetSession(*g_session);  // joins the thread: nothing refers to the object any more
    delete g_session;
    g_session = nullptr;
  }
  NetShutdown();
}
