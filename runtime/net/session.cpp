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
// A peer that creates more players than this is flooding: its connection goes.
constexpr size_t kMaxPlayersPerConnection = 256;
// A peer that stops reading while this much waits for it is dropped.
constexpr size_t kMaxPendingOutput = 4u << 20;
// A connection with no player on it is closed after this long: it holds a
// table entry that a joining player needs.
constexpr int kJoinWaitMs = 5000;
// Unread texts a local player may have waiting. A client connection that
// sends one more is held back (nothing more is read from it) until the player
// makes room, and dropped when that takes longer than kHoldLimitMs.
constexpr size_t kMaxQueuedTexts = 4096;
constexpr size_t kMaxQueuedBytes = 4u << 20;
constexpr int kHoldLimitMs = 5000;
// Messages claiming a player that does not live on their connection are
// dropped; a connection that sends more than this many is dropped itself.
constexpr int kMaxForgedMessages = 16;
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
  bool overflowLogged = false;  // a discarded text was logged since the player last read
};

// A client's connection on the host: its reader and the bytes waiting to go out.
struct ClientConnection {
  int32_t slot = -1;
  int handle = -1;
  MessageReader reader;
  std::vector<char> output;
  size_t outputStart = 0;
  size_t players = 0;           // join requests accepted on it
  std::vector<uint16_t> ids;    // the players living on it now
  Clock::time_point idleSince;  // when it last had no player
  int forged = 0;               // messages refused for their sender
  bool own = false;             // the hosting program's own connection
  bool closed = false;          // the peer closed; what it sent before is still taken
  bool more = false;            // its reader kept messages back this cycle
  bool held = false;            // a full queue holds its next message
  WireMessage next;             // that message, while held
  uint16_t heldFor = 0;         // the player whose queue is full
  Clock::time_point heldSince;
  bool drop = false;
};

struct Session {
  // Everything below up to the thread's own state is shared and guarded by lock.
  std::mutex lock;
  std::condition_variable changed;  // ids handed out, answers queued, thread ended
  uint16_t nextId = kFirstPlayerId;
  uint16_t queryPlayer = kNoPlayer;
  int32_t listenSlot = -1;
  int32_t hostSlot = -1;
  std::list<PlayerRecord> localPlayers;
  std::vector<PlayerRecord> registry;  // host only
  std::deque<WireMessage> answers;
  std::deque<uint16_t> departed;
  bool isHost = false;
  bool stopRequested = true;
  bool threadRunning = false;
  bool acceptPlayers = true;
  bool holdsNetwork = false;  // this session's NetStart is outstanding
  int32_t lastSender = 0;

  // Sends on the host connection come from both threads; one at a time.
  std::mutex sendLock;
  platform::Thread* thread = nullptr;

  // The thread's own state.
  MessageReader hostReader;
  std::vector<ClientConnection> clients;
  int32_t ownSlot = -1;            // host: the accepted end of its own connection
  std::vector<std::string> notes;  // run-log lines, written once the lock is released
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
  return handle >= 0 && SendAllOn(handle, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------- the session thread

// Keeps a run-log line for when the lock is released.
void Note(Session& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Note(Session& s, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  s.notes.emplace_back(line);
}

void WriteNotes(Session& s) {
  for (const std::string& line : s.notes) WriteLog(line.c_str());
  s.notes.clear();
}

ClientConnection* ClientBySlot(Session& s, int32_t slot) {
  for (ClientConnection& c : s.clients)
    if (c.slot == slot) return &c;
  return nullptr;
}

void NoteDeparture(Session& s, uint16_t id) {
  if (s.departed.size() < kMaxDeparted) {
    s.departed.push_back(id);
  } else if (s.departed.size() == kMaxDeparted) {
    // Nobody reads them: the oldest stay, later ones are not listed.
    Note(s, "session: %zu departed players unread; player %u and later ones are not listed\n", kMaxDeparted,
         static_cast<unsigned>(id));
  }
}

// Removes every registry entry living on a connection; the listed ones go
// into the departed queue, oldest first (query players are never listed).
void DepartConnection(Session& s, int32_t slot) {
  auto gone = [slot](const PlayerRecord& p) { return p.connection == slot; };
  for (const PlayerRecord& p : s.registry)
    if (gone(p) && !p.hidden) NoteDeparture(s, p.id);
  s.registry.erase(std::remove_if(s.registry.begin(), s.registry.end(), gone), s.registry.end());
}

void DropConnection(Session& s, ClientConnection& c, const char* why) {
  if (c.drop) return;
  c.drop = true;
  Note(s, "session: dropped connection %d: %s\n", c.slot, why);
}

void QueueFor(Session& s, ClientConnection& client, uint8_t type, uint16_t to, uint16_t from, const void* payload,
              size_t length) {
  if (client.drop) return;
  EncodeMessage(type, to, from, payload, length, &client.output);
  if (client.output.size() - client.outputStart > kMaxPendingOutput)
    DropConnection(s, client, "it leaves more than 4 MiB unread");
}

// A message naming its sender must name a player living on its connection
// (the hosting program may also speak as the host, 0); join requests name
// none, and unknown types are ignored anyway.
bool SenderVouched(Session& s, ClientConnection& source, const WireMessage& m) {
  if (m.type != kPlayerText && m.type != kPlayerLeaves && m.type < kAskCount) return true;
  if (std::find(source.ids.begin(), source.ids.end(), m.from) != source.ids.end()) return true;
  if (source.own && m.from == 0) return true;
  if (source.forged++ == 0)
    Note(s, "session: connection %d sent a message as player %u, not one of its own; such messages are dropped\n",
         source.slot, static_cast<unsigned>(m.from));
  if (source.forged > kMaxForgedMessages && !source.own) DropConnection(s, source, "it keeps naming other senders");
  return false;
}

bool HasRoom(const PlayerRecord& p, size_t bytes) {
  return p.queue.size() < kMaxQueuedTexts && p.queuedBytes + bytes <= kMaxQueuedBytes;
}

// Queues a text for a local player. A client's text finds room (it is held
// back before); one that came any other way (from this program itself, or
// from the host) is discarded when the queue is full.
void Deliver(Session& s, PlayerRecord& p, const WireMessage& m) {
  const size_t bytes = m.payload.size();
  if (HasRoom(p, bytes)) {
    p.queue.push_back(QueuedText{m.from, std::string(m.payload.begin(), m.payload.end())});
    p.queuedBytes += bytes;
  } else if (!p.overflowLogged) {
    p.overflowLogged = true;
    Note(s, "session: player %u has %zu texts unread; texts for it are discarded until it reads\n",
         static_cast<unsigned>(p.id), p.queue.size());
  }
}

PlayerRecord* LocalPlayer(Session& s, uint16_t id) {
  for (PlayerRecord& p : s.localPlayers)
    if (p.id == id) return &p;
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
    if (!p.hidden && ValidId(p.id) && p.id != m.from && !HasRoom(p, bytes)) return &p;
  return nullptr;
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
      if (++source->players > kMaxPlayersPerConnection) {
        DropConnection(s, *source, "it asked for too many players");
        break;
      }
      if (s.nextId > kHighestPlayerId) break;  // every id is taken: the request stays unanswered
      PlayerRecord p;
      p.connection = source->slot;
      p.id = s.nextId++;
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
      if (leaving != s.registry.end()) {
        if (!leaving->hidden) NoteDeparture(s, leaving->id);
        s.registry.erase(leaving);
        auto id = std::find(source->ids.begin(), source->ids.end(), m.from);
        if (id != source->ids.end()) source->ids.erase(id);
        if (source->ids.empty()) source->idleSince = Clock::now();
      }
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
      break;  // unknown types cost nothing
  }
}

// Reads what waits on a socket into a reader, unless a piece's worth is still
// buffered there; false when the peer closed, failed or broke the stream.
bool ReadInto(int handle, MessageReader& reader, std::vector<char>& piece) {
  if (reader.Buffered() >= static_cast<size_t>(kReadPiece)) return true;
  const int64_t n = platform::ReceiveSocket(handle, piece.data(), kReadPiece, nullptr);
  if (n == 0) return false;
  if (n < 0) return platform::LastSocketError() == platform::kSocketWouldBlock;
  return reader.Feed(piece.data(), static_cast<size_t>(n));
}

// Host: one message of a client; false when a full queue holds it back.
bool FromClient(Session& s, ClientConnection& c, const WireMessage& m) {
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

// One message on the host connection; false when the session must end.
bool FromHost(Session& s, WireMessage& m, bool* wake) {
  // 4. Player messages for this program's own players.
  if (m.type == kPlayerText && m.to != kEveryPlayer && ValidId(m.to)) {
    if (PlayerRecord* local = LocalPlayer(s, m.to)) Deliver(s, *local, m);
    return true;
  }
  if (m.from != 0) return true;
  // 6. From the host: accepted joins and answers.
  if (m.type == kJoinAccepted && ValidId(m.to)) {
    auto waiting = std::find_if(s.localPlayers.begin(), s.localPlayers.end(),
                                [](const PlayerRecord& p) { return p.id == kJoinSent; });
    if (waiting != s.localPlayers.end()) waiting->id = m.to;
    *wake = true;
  } else if (m.type >= kAskCount) {
    // Every question empties the queue first: a host that fills it is broken.
    if (s.answers.size() >= kMaxAnswers) {
      Note(s, "session: the host sent %zu answers nobody asked for; the session ends\n", kMaxAnswers);
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

// Host: takes one waiting connection into the table; false when none waits. A
// full table makes room by dropping its oldest connection that has no player;
// with none, the new one is refused. The hosting program's own connection is
// recognised by its address.
bool AcceptConnection(Session& s, int32_t listenSlot, const platform::SocketAddress* own) {
  int32_t peerIp = 0;
  const int32_t slot = NetTcpAccept(listenSlot, peerIp);
  if (slot < 0) return false;
  ClientConnection c;
  c.slot = slot;
  c.handle = SlotHandle(slot);
  c.idleSince = Clock::now();
  c.own = s.ownSlot < 0 && own != nullptr && static_cast<uint32_t>(peerIp) == own->ip &&
          NetRemotePort(slot) == own->port;
  if (c.own) s.ownSlot = slot;
  size_t live = 0;
  ClientConnection* oldest = nullptr;
  for (ClientConnection& other : s.clients) {
    if (other.drop || other.closed) continue;
    ++live;
    if (!other.own && other.ids.empty() && (oldest == nullptr || other.idleSince < oldest->idleSince))
      oldest = &other;
  }
  if (live >= kMaxClientConnections && !c.own) {
    if (oldest == nullptr) {
      NetClose(slot);
      return true;
    }
    oldest->drop = true;
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
  for (;;) {
    int32_t hostSlot, listenSlot;
    bool isHost, accept;
    std::vector<std::vector<char>> joins;
    {
      std::lock_guard<std::mutex> hold(s.lock);
      if (s.stopRequested) break;
      hostSlot = s.hostSlot;
      listenSlot = s.listenSlot;
      isHost = s.isHost;
      accept = s.acceptPlayers;
      // 1. Join requests for players not yet announced.
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
    }
    for (const std::vector<char>& payload : joins) SendToHost(s, kJoinRequest, 0, 0, payload.data(), payload.size());

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
    if (hostHandle < 0) break;
    if (platform::WaitSockets(handles.data(), wantWrite.get(), ready.data(), static_cast<int>(handles.size()),
                              backlog ? 0 : kIdleWaitMs) < 0)
      continue;

    // 2. What arrived on the host connection; a closed (or broken) one ends the session.
    if ((ready[0] & 1) && !ReadInto(hostHandle, s.hostReader, piece)) break;
    // 3. Host: new connections, and what each client sent. A client that closed
    // is dropped once everything it sent before has been taken.
    // The listening queue is short: a burst of connections is taken in few cycles.
    if (listening && (ready[1] & 1))
      for (int n = 0; n < kMaxAcceptsPerCycle; ++n)
        if (!AcceptConnection(s, listenSlot, ownKnown ? &ownAddress : nullptr)) break;
    for (size_t i = 0; i + firstClient < handles.size(); ++i) {
      ClientConnection& c = s.clients[i];
      if (ready[firstClient + i] & 2) FlushClient(c);
      if (!c.closed && (ready[firstClient + i] & 1) && !ReadInto(c.handle, c.reader, piece)) c.closed = true;
    }
    bool hostBroken = false;
    const auto now = Clock::now();
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
    }
    if (hostBroken) break;
    for (ClientConnection& c : s.clients) FlushClient(c);
    for (ClientConnection& c : s.clients)
      if (!c.own && c.ids.empty() && now - c.idleSince > std::chrono::milliseconds(kJoinWaitMs)) c.drop = true;
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
  WriteNotes(s);
  for (ClientConnection& c : s.clients) NetClose(c.slot);
  s.clients.clear();
  s.ownSlot = -1;
  s.hostReader = MessageReader();
  std::lock_guard<std::mutex> hold(s.lock);
  CloseSessionSockets(s);
  s.stopRequested = true;
  s.threadRunning = false;
  s.nextId = kFirstPlayerId;
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
  s.nextId = kFirstPlayerId;
  s.queryPlayer = kNoPlayer;
  s.stopRequested = true;
  s.threadRunning = false;
  s.acceptPlayers = true;
}

bool StartSessionThread(Session& s) {
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.stopRequested = false;
    s.threadRunning = true;
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

// Creates the query player when there is none; false when it cannot be made.
bool EnsureQueryPlayer(Session& s) {
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.queryPlayer != kNoPlayer) return true;
  }
  const int32_t id = CreatePlayer(BasicString());
  std::lock_guard<std::mutex> hold(s.lock);
  s.queryPlayer = static_cast<uint16_t>(id);
  return id != 0;
}

// Sends a question from the query player and waits for the host's answer of that type.
bool Ask(Session& s, uint8_t type, const void* payload, size_t length, WireMessage* answer) {
  if (!EnsureQueryPlayer(s)) return false;
  uint16_t query;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.answers.clear();
    query = s.queryPlayer;
  }
  if (!SendToHost(s, type, 0, query, payload, length)) return false;
  std::unique_lock<std::mutex> hold(s.lock);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  for (;;) {
    while (!s.answers.empty()) {
      WireMessage m = std::move(s.answers.front());
      s.answers.pop_front();
      if (m.type == type) {
        *answer = std::move(m);
        return true;
      }
    }
    if (!s.threadRunning || s.changed.wait_until(hold, deadline) == std::cv_status::timeout) return false;
  }
}

}  // namespace

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
  if (hostSlot < 0 || !StartSessionThread(s) || !Ask(s, kProbe, nullptr, 0, &answer)) {
    const int32_t error = NetLastError();
    ResetSession(s);
    SetNetLastError(error);
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

int32_t CreatePlayer(const BasicString& name) {
  Session& s = TheSession();
  std::unique_lock<std::mutex> hold(s.lock);
  PlayerRecord& player = s.localPlayers.emplace_back();
  const bool query = name.IsEmpty();
  const char* text = query ? "query" : name.c_str();
  std::strncpy(player.name, text, kPlayerNameSize - 1);
  player.hidden = query;
  player.createdOnHost = s.isHost;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (s.threadRunning && !ValidId(player.id)) {
    if (s.changed.wait_until(hold, deadline) == std::cv_status::timeout) break;
  }
  if (ValidId(player.id)) return player.id;
  s.localPlayers.remove_if([&](const PlayerRecord& p) { return &p == &player; });
  return 0;
}

void RemovePlayer(int32_t id) {
  Session& s = TheSession();
  SendToHost(s, kPlayerLeaves, 0, static_cast<uint16_t>(id), nullptr, 0);
  std::lock_guard<std::mutex> hold(s.lock);
  s.localPlayers.remove_if([&](const PlayerRecord& p) { return p.id == id; });
}

int32_t SendPlayerMessage(int32_t from, int32_t to, const BasicString& text) {
  if (text.Length() > kMaxPayload) return 0;  // no peer could take it
  const uint16_t target = to == 0 ? kEveryPlayer : static_cast<uint16_t>(to);
  return SendToHost(TheSession(), kPlayerText, target, static_cast<uint16_t>(from), text.c_str(), text.Length())
             ? 1
             : 0;
}

BasicString ReceivePlayerMessage(int32_t id) {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  for (PlayerRecord& p : s.localPlayers) {
    if (p.id != id || !ValidId(p.id)) continue;
    if (p.queue.empty()) return BasicString();
    QueuedText oldest = std::move(p.queue.front());
    p.queue.pop_front();
    p.queuedBytes -= oldest.text.size();
    p.overflowLogged = false;
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
  if (!Ask(TheSession(), kAskCount, nullptr, 0, &answer) || answer.payload.size() < 2) return 0;
  return LoadLittle16(answer.payload.data());
}

BasicString PlayerName(int32_t id) {
  char question[2];
  StoreLittle16(question, static_cast<uint16_t>(id));
  WireMessage answer;
  if (!Ask(TheSession(), kAskName, question, 2, &answer)) return BasicString("NO_DATA");
  return BasicString(answer.payload.data(), static_cast<uint32_t>(answer.payload.size()));
}

int32_t NextDepartedPlayer() {
  Session& s = TheSession();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.departed.empty()) return 0;
  const uint16_t id = s.departed.front();
  s.departed.pop_front();
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
