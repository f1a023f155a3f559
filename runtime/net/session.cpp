// The multiplayer session: players, their message queues and the thread that moves messages between sockets and queues.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/net.h"
#include "net/net_internal.h"
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
constexpr int64_t kReadPiece = 64 * 1024;
constexpr uint16_t kNoPlayer = 0;

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
};

// A client's connection on the host: its reader and the bytes waiting to go out.
struct ClientConnection {
  int32_t slot = -1;
  int handle = -1;
  MessageReader reader;
  std::vector<char> output;
  size_t outputStart = 0;
  size_t players = 0;  // join requests accepted on it
  bool drop = false;
};

struct RawMessage {
  WireMessage message;
  int32_t source = -1;  // the client connection's slot; -1 for the host connection
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
};

Session* g_session = nullptr;

Session& TheSession() {
  if (g_session == nullptr) g_session = new Session;
  return *g_session;
}

bool ValidId(uint32_t id) { return id >= 1 && id <= kHighestPlayerId; }

uint16_t ReadU16(const std::vector<char>& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8));
}

void PutU16(char* at, uint16_t value) {
  at[0] = static_cast<char>(value & 0xFF);
  at[1] = static_cast<char>(value >> 8);
}

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

void QueueFor(ClientConnection& client, uint8_t type, uint16_t to, uint16_t from, const void* payload,
              size_t length) {
  if (client.drop) return;
  EncodeMessage(type, to, from, payload, length, &client.output);
  if (client.output.size() - client.outputStart > kMaxPendingOutput) client.drop = true;
}

ClientConnection* ClientBySlot(Session& s, int32_t slot) {
  for (ClientConnection& c : s.clients)
    if (c.slot == slot) return &c;
  return nullptr;
}

// Removes every registry entry living on a connection; the listed ones go
// into the departed queue, oldest first (query players are never listed).
void DepartConnection(Session& s, int32_t slot) {
  auto gone = [slot](const PlayerRecord& p) { return p.connection == slot; };
  for (const PlayerRecord& p : s.registry)
    if (gone(p) && !p.hidden) s.departed.push_back(p.id);
  s.registry.erase(std::remove_if(s.registry.begin(), s.registry.end(), gone), s.registry.end());
}

// Host side: a message from a client connection. Under the lock; sends only queue bytes.
void Route(Session& s, const RawMessage& raw) {
  const WireMessage& m = raw.message;
  ClientConnection* source = ClientBySlot(s, raw.source);
  if (source == nullptr) return;
  switch (m.type) {
    case kPlayerText:
      if (m.to == kEveryPlayer) {
        for (const PlayerRecord& p : s.registry) {
          if (p.hidden || p.id == m.from || !ValidId(p.id)) continue;
          if (ClientConnection* c = ClientBySlot(s, p.connection))
            QueueFor(*c, kPlayerText, p.id, m.from, m.payload.data(), m.payload.size());
        }
      } else {
        for (const PlayerRecord& p : s.registry) {
          if (p.id != m.to) continue;
          if (ClientConnection* c = ClientBySlot(s, p.connection))
            QueueFor(*c, kPlayerText, p.id, m.from, m.payload.data(), m.payload.size());
          break;
        }
      }
      break;
    case kJoinRequest: {
      if (m.to != 0 || m.payload.size() != kJoinPayloadSize) break;
      if (++source->players > kMaxPlayersPerConnection) {
        source->drop = true;
        break;
      }
      if (s.nextId > kHighestPlayerId) break;  // every id is taken: the request stays unanswered
      PlayerRecord p;
      p.connection = raw.source;
      p.id = s.nextId++;
      p.hidden = m.payload[6] != 0;
      p.createdOnHost = m.payload[7] != 0;
      std::memcpy(p.name, m.payload.data() + 8, kPlayerNameSize);
      p.name[kPlayerNameSize - 1] = 0;
      s.registry.push_back(p);
      QueueFor(*source, kJoinAccepted, p.id, 0, nullptr, 0);
      break;
    }
    case kPlayerLeaves: {
      // Only a player of the sending connection can be removed by it.
      auto leaving = std::find_if(s.registry.begin(), s.registry.end(), [&](const PlayerRecord& p) {
        return p.id == m.from && p.connection == raw.source;
      });
      if (leaving != s.registry.end()) {
        if (!leaving->hidden) s.departed.push_back(leaving->id);
        s.registry.erase(leaving);
      }
      break;
    }
    case kAskCount:
    case kAskId: {
      uint16_t count = 0;
      uint16_t found = 0;
      const uint16_t index = m.type == kAskId && m.payload.size() >= 2 ? ReadU16(m.payload, 0) : 0;
      for (const PlayerRecord& p : s.registry) {
        if (p.hidden || !ValidId(p.id)) continue;
        if (count == index) found = p.id;
        ++count;
      }
      char answer[2];
      PutU16(answer, m.type == kAskCount ? count : found);
      QueueFor(*source, m.type, m.from, 0, answer, 2);
      break;
    }
    case kAskName: {
      const uint16_t id = m.payload.size() >= 2 ? ReadU16(m.payload, 0) : 0;
      const char* name = "NO_DATA";
      for (const PlayerRecord& p : s.registry)
        if (p.id == id) {
          name = p.name;
          break;
        }
      QueueFor(*source, kAskName, m.from, 0, name, std::strlen(name));
      break;
    }
    case kProbe: {
      char answer[2];
      PutU16(answer, 1);
      QueueFor(*source, kProbe, m.from, 0, answer, 2);
      break;
    }
    default:
      break;  // unknown types cost nothing
  }
}

// Reads what waits on a socket into a reader; false when the peer closed, failed or broke the stream.
bool ReadInto(int handle, MessageReader& reader, std::vector<char>& piece) {
  const int64_t n = platform::ReceiveSocket(handle, piece.data(), kReadPiece, nullptr);
  if (n == 0) return false;
  if (n < 0) return platform::LastSocketError() == platform::kSocketWouldBlock;
  return reader.Feed(piece.data(), static_cast<size_t>(n));
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

void SessionThread(void* argument) {
  Session& s = *static_cast<Session*>(argument);
  std::vector<char> piece(kReadPiece);
  std::vector<RawMessage> raw;
  std::vector<int> handles;
  std::vector<uint8_t> ready;
  std::unique_ptr<bool[]> wantWrite;
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
        PutU16(payload.data() + 4, kJoinNotSent);
        payload[6] = p.hidden ? 1 : 0;
        payload[7] = p.createdOnHost ? 1 : 0;
        std::memcpy(payload.data() + 8, p.name, kPlayerNameSize);
        joins.push_back(std::move(payload));
        p.id = kJoinSent;
      }
    }
    for (const std::vector<char>& payload : joins) SendToHost(s, kJoinRequest, 0, 0, payload.data(), payload.size());

    // Wait until a socket has something (or 10 ms pass).
    const int hostHandle = SlotHandle(hostSlot);
    const int listenHandle = isHost ? SlotHandle(listenSlot) : -1;
    const bool listening = listenHandle >= 0 && accept && s.clients.size() < kMaxClientConnections;
    handles.assign(1, hostHandle);
    if (listening) handles.push_back(listenHandle);
    const size_t firstClient = handles.size();
    for (const ClientConnection& c : s.clients) handles.push_back(c.handle);
    wantWrite.reset(new bool[handles.size()]());
    for (size_t i = 0; i < s.clients.size(); ++i)
      wantWrite[firstClient + i] = s.clients[i].outputStart < s.clients[i].output.size();
    ready.assign(handles.size(), 0);
    if (hostHandle < 0) break;
    if (platform::WaitSockets(handles.data(), wantWrite.get(), ready.data(), static_cast<int>(handles.size()),
                              kIdleWaitMs) <= 0)
      continue;

    // 2. Everything complete on the host connection; a closed (or broken) one ends the session.
    raw.clear();
    if (ready[0] & 1) {
      if (!ReadInto(hostHandle, s.hostReader, piece)) break;
      WireMessage m;
      while (s.hostReader.Next(&m)) raw.push_back(RawMessage{std::move(m), -1});
    }
    // 3. Host: one new connection, and what each client sent.
    if (listening && (ready[1] & 1)) {
      int32_t peerIp = 0;
      const int32_t slot = NetTcpAccept(listenSlot, peerIp);
      if (slot >= 0) {
        ClientConnection c;
        c.slot = slot;
        c.handle = SlotHandle(slot);
        s.clients.push_back(std::move(c));
      }
    }
    for (size_t i = 0; i + firstClient < handles.size(); ++i) {
      ClientConnection& c = s.clients[i];
      if (ready[firstClient + i] & 2) FlushClient(c);
      if (!(ready[firstClient + i] & 1)) continue;
      if (!ReadInto(c.handle, c.reader, piece)) {
        c.drop = true;
        continue;
      }
      WireMessage m;
      while (c.reader.Next(&m)) raw.push_back(RawMessage{std::move(m), c.slot});
    }
    {
      std::lock_guard<std::mutex> hold(s.lock);
      bool wake = false;
      for (RawMessage& r : raw) {
        WireMessage& m = r.message;
        // 4. Player messages for this program's own players.
        if (m.type == kPlayerText && m.to != kEveryPlayer) {
          auto local = std::find_if(s.localPlayers.begin(), s.localPlayers.end(),
                                    [&](const PlayerRecord& p) { return p.id == m.to; });
          if (local != s.localPlayers.end()) {
            local->queue.push_back(QueuedText{m.from, std::string(m.payload.begin(), m.payload.end())});
            continue;
          }
        }
        if (r.source >= 0) {
          // 5. Host: route what the clients sent.
          Route(s, r);
        } else if (m.from == 0) {
          // 6. From the host: accepted joins and answers.
          if (m.type == kJoinAccepted && ValidId(m.to)) {
            auto waiting = std::find_if(s.localPlayers.begin(), s.localPlayers.end(),
                                        [](const PlayerRecord& p) { return p.id == kJoinSent; });
            if (waiting != s.localPlayers.end()) waiting->id = m.to;
            wake = true;
          } else if (m.type >= kAskCount) {
            s.answers.push_back(std::move(m));
            wake = true;
          }
        }
      }
      if (wake) s.changed.notify_all();
    }
    for (ClientConnection& c : s.clients) FlushClient(c);
    for (size_t i = 0; i < s.clients.size();) {
      if (s.clients[i].drop) {
        {
          std::lock_guard<std::mutex> hold(s.lock);
          DepartConnection(s, s.clients[i].slot);
        }
        NetClose(s.clients[i].slot);
        s.clients[i] = std::move(s.clients.back());
        s.clients.pop_back();
      } else {
        ++i;
      }
    }
  }
  // Shutdown: every connection of this session goes.
  for (ClientConnection& c : s.clients) NetClose(c.slot);
  s.clients.clear();
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
  return ReadU16(answer.payload, 0);
}

BasicString PlayerName(int32_t id) {
  char question[2];
  PutU16(question, static_cast<uint16_t>(id));
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
  if (g_session != nullptr) ResetSession(*g_session);
  NetShutdown();
}
