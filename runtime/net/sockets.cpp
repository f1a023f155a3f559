// The socket slot table: 1024 numbered non-blocking sockets, name lookup and the last socket error.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "net/internal/http_response.h"
#include "net/internal/net_internal.h"
#include "net/net.h"
#include "platform/sockets.h"

namespace {

struct Slot {
  int handle = -1;
  platform::SocketAddress address;  // local (listening), peer, last sender or datagram target
  bool datagram = false;
};

// The table is the program's, but the session thread opens and closes slots
// too, so claiming and freeing happen under one lock.
std::mutex g_slotLock;
Slot g_slots[kSocketSlotCount];
int g_startCount = 0;

// The last error, and whether an HTTP request set it as a cause of its own
// (whose text is then the cause's words, not a system message). Every plain
// assignment is a socket error and forgets the cause.
class LastError {
 public:
  LastError& operator=(int32_t code) {
    cause_ = false;
    code_ = code;
    return *this;
  }
  operator int32_t() const { return code_; }
  void SetCause(int32_t code) {
    code_ = code;
    cause_ = true;
  }
  bool IsCause() const { return cause_; }

 private:
  std::atomic<int32_t> code_{0};
  std::atomic<bool> cause_{false};
};
LastError g_lastError;

constexpr int kNotASocket = 10038;

void RecordSystemError() { g_lastError = platform::LastSocketError(); }

// A free slot (handle -1), claimed with the handle; -1 with error 8 when none.
int ClaimSlot(int handle, platform::SocketAddress address, bool datagram) {
  std::lock_guard<std::mutex> hold(g_slotLock);
  for (int i = 0; i < kSocketSlotCount; ++i) {
    if (g_slots[i].handle == -1) {
      g_slots[i] = Slot{handle, address, datagram};
      return i;
    }
  }
  g_lastError = kNoFreeSlotError;
  return -1;
}

bool HasFreeSlot() {
  std::lock_guard<std::mutex> hold(g_slotLock);
  for (const Slot& s : g_slots)
    if (s.handle == -1) return true;
  return false;
}

// A new socket when a slot is free for it; -1 with the last error set
// (error 8 when every slot is taken) otherwise.
int OpenSlotSocket(bool stream) {
  if (!HasFreeSlot()) {
    g_lastError = kNoFreeSlotError;
    return -1;
  }
  const int handle = stream ? platform::OpenTcpSocket() : platform::OpenUdpSocket();
  if (handle < 0) RecordSystemError();
  return handle;
}

// A copy of an open slot; false (error 10038) for a free or invalid number.
bool ReadSlot(int32_t slot, Slot* out) {
  if (slot >= 0 && slot < kSocketSlotCount) {
    std::lock_guard<std::mutex> hold(g_slotLock);
    if (g_slots[slot].handle != -1) {
      *out = g_slots[slot];
      return true;
    }
  }
  g_lastError = kNotASocket;
  return false;
}

void StoreAddress(int32_t slot, platform::SocketAddress address) {
  std::lock_guard<std::mutex> hold(g_slotLock);
  g_slots[slot].address = address;
}

void FreeSlot(int32_t slot) {
  std::lock_guard<std::mutex> hold(g_slotLock);
  g_slots[slot].handle = -1;
}

void CloseAndFree(int32_t slot, int handle) {
  platform::CloseSocket(handle);
  FreeSlot(slot);
}

uint32_t AsUnsigned(int32_t ip) { return static_cast<uint32_t>(ip); }
int32_t AsSigned(uint32_t ip) { return static_cast<int32_t>(ip); }

std::string DottedText(uint32_t ip) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 255, (ip >> 8) & 255, ip & 255);
  return text;
}

// Every address of this machine, loopback last, each followed by separator;
// at most 2047 characters.
std::string LocalAddressList(char separator) {
  std::string list;
  bool loopback = false;
  for (uint32_t ip : platform::LocalAddresses()) {
    const std::string text = DottedText(ip);
    if (text == "127.0.0.1") {
      loopback = true;
      continue;
    }
    if (list.size() + text.size() + 1 > 2047) break;
    list += text;
    list += separator;
  }
  if (loopback && list.size() + 10 <= 2047) list += std::string("127.0.0.1") + separator;
  return list;
}

bool ResolveText(const std::string& name, uint32_t* ip) {
  if (!name.empty()) {
    const bool found = platform::ResolveHostName(name.c_str(), ip);
    RecordSystemError();
    return found;
  }
  // This machine: its own addresses first, then the loopback names.
  const std::string list = LocalAddressList('\n');
  size_t start = 0;
  while (start < list.size()) {
    const size_t end = list.find('\n', start);
    if (platform::ResolveHostName(list.substr(start, end - start).c_str(), ip)) return true;
    start = end + 1;
  }
  if (platform::ResolveHostName("127.0.0.1", ip) || platform::ResolveHostName("localhost.local", ip)) return true;
  RecordSystemError();
  return false;
}

}  // namespace

int EffectiveConnectTimeout(int timeoutMs) {
  return timeoutMs < 1 || timeoutMs > kLongestConnectWait ? kLongestConnectWait : timeoutMs;
}

int SlotHandle(int32_t slot) {
  Slot s;
  return ReadSlot(slot, &s) ? s.handle : -1;
}

void SetNetLastError(int32_t code) { g_lastError = code; }
void SetNetLastCause(int32_t code) { g_lastError.SetCause(code); }

int OpenSlotCount() {
  std::lock_guard<std::mutex> hold(g_slotLock);
  int count = 0;
  for (const Slot& s : g_slots) count += s.handle != -1;
  return count;
}

int32_t NetStart() {
  std::lock_guard<std::mutex> hold(g_slotLock);
  if (g_startCount == 0) {
    if (!platform::StartSocketLibrary()) {
      g_lastError = platform::LastSocketError();
      return 0;
    }
    for (Slot& s : g_slots) s = Slot{};
  }
  ++g_startCount;
  g_lastError = 0;
  return 1;
}

void NetStop() {
  {
    std::lock_guard<std::mutex> hold(g_slotLock);
    if (g_startCount > 1) {
      --g_startCount;
      return;
    }
    g_startCount = 0;
  }
  for (int i = 0; i < kSocketSlotCount; ++i)
    if (SlotHandle(i) != -1) NetClose(i);
}

void NetShutdown() {
  {
    std::lock_guard<std::mutex> hold(g_slotLock);
    g_startCount = 1;
  }
  NetStop();
}

int32_t NetTcpListen(int32_t port) {
  const int handle = OpenSlotSocket(true);
  if (handle < 0) return -1;
  const platform::SocketAddress local{0, static_cast<uint16_t>(port)};
  platform::SetReuseAddress(handle);
  if (!platform::BindSocket(handle, local) || !platform::ListenSocket(handle, 10)) {
    RecordSystemError();
    platform::CloseSocket(handle);
    return -1;
  }
  platform::SetNonBlocking(handle, true);
  const int slot = ClaimSlot(handle, local, false);
  if (slot < 0) platform::CloseSocket(handle);
  return slot;
}

int32_t NetTcpAccept(int32_t slot, int32_t& peerIp) {
  Slot listening;
  if (!ReadSlot(slot, &listening)) return -1;
  if (listening.datagram) {
    g_lastError = 0;
    return -1;
  }
  platform::SocketAddress peer;
  const int handle = platform::AcceptSocket(listening.handle, &peer);
  RecordSystemError();
  if (handle < 0) return -1;
  const int accepted = ClaimSlot(handle, peer, false);
  if (accepted < 0) {
    platform::CloseSocket(handle);
    return -1;
  }
  platform::SetNonBlocking(handle, true);
  peerIp = AsSigned(peer.ip);
  return accepted;
}

int32_t NetTcpConnect(const BasicString& host, int32_t port, int32_t timeoutMs) {
  uint32_t ip = 0;
  if (!ResolveText(std::string(host.c_str(), host.Length()), &ip)) return -1;
  const platform::SocketAddress target{ip, static_cast<uint16_t>(port)};
  if (target.ip == 0 && target.port == 0) return -1;
  const int handle = OpenSlotSocket(true);
  if (handle < 0) return -1;
  const int slot = ClaimSlot(handle, target, false);
  if (slot < 0) {
    platform::CloseSocket(handle);
    return -1;
  }
  platform::SetNonBlocking(handle, true);
  if (!platform::ConnectSocket(handle, target)) {
    const int error = platform::LastSocketError();
    if (error != platform::kSocketWouldBlock && error != platform::kSocketInProgress) {
      g_lastError = error;
      CloseAndFree(slot, handle);
      return -1;
    }
    const int outcome = platform::WaitConnected(handle, EffectiveConnectTimeout(timeoutMs));
    if (outcome != 1) {
      g_lastError = outcome == 0 ? platform::kSocketInProgress : platform::LastSocketError();
      CloseAndFree(slot, handle);
      return -1;
    }
  }
  platform::SetNonBlocking(handle, false);
  platform::SetNonBlocking(handle, true);
  g_lastError = 0;
  return slot;
}

int32_t NetUdpOpen(int32_t port) {
  const int handle = OpenSlotSocket(false);
  if (handle < 0) return -1;
  const platform::SocketAddress local{0, static_cast<uint16_t>(port)};
  platform::SetReuseAddress(handle);
  if (port != 0 && !platform::BindSocket(handle, local)) {
    RecordSystemError();
    platform::CloseSocket(handle);
    return -1;
  }
  platform::SetBroadcast(handle);
  platform::SetNonBlocking(handle, true);
  g_lastError = 0;
  const int slot = ClaimSlot(handle, local, true);
  if (slot < 0) platform::CloseSocket(handle);
  return slot;
}

int32_t NetClose(int32_t slot) {
  Slot s;
  if (!ReadSlot(slot, &s)) return 0;
  platform::SetLingerOff(s.handle);
  platform::ShutdownSocket(s.handle);
  const bool closed = platform::CloseSocket(s.handle);
  FreeSlot(slot);
  RecordSystemError();
  return closed ? 1 : 0;
}

int32_t NetSetBlocking(int32_t slot, int32_t blocking) {
  Slot s;
  if (!ReadSlot(slot, &s)) return g_lastError;
  platform::SetNonBlocking(s.handle, blocking == 0);
  RecordSystemError();
  return g_lastError;
}

namespace {

int32_t SendBytes(const Slot& s, const BasicString& text, const platform::SocketAddress* to) {
  if (text.Length() == 0) return 0;
  int64_t sent = 0;
  while (sent < text.Length()) {
    const int64_t n = platform::SendSocket(s.handle, text.c_str() + sent, text.Length() - sent, to);
    if (n < 0) {
      RecordSystemError();
      if (g_lastError != platform::kSocketWouldBlock) return -1;
      // Full: try again as soon as the system takes more (waiting instead of spinning).
      const bool write[1] = {true};
      uint8_t ready[1] = {0};
      platform::WaitSockets(&s.handle, write, ready, 1, 100);
      continue;
    }
    sent += n;
  }
  g_lastError = 0;
  return static_cast<int32_t>(sent);
}

}  // namespace

int32_t NetSendText(int32_t slot, const BasicString& text) {
  Slot s;
  if (!ReadSlot(slot, &s)) return -1;
  if (s.datagram) return -1;
  return SendBytes(s, text, nullptr);
}

int32_t NetSendTextTo(int32_t slot, const BasicString& text, int32_t ip, int32_t port) {
  Slot s;
  if (!ReadSlot(slot, &s)) return -1;
  if (s.datagram && ip == 0 && port == 0) return -1;
  const platform::SocketAddress target{AsUnsigned(ip), static_cast<uint16_t>(port)};
  return SendBytes(s, text, s.datagram ? &target : nullptr);
}

int32_t NetReceive(int32_t slot, BasicString& text, int32_t maximum) {
  text.Clear();
  Slot s;
  if (!ReadSlot(slot, &s)) return -1;
  const uint32_t room = maximum > 0 ? static_cast<uint32_t>(maximum) : 0;
  if (!text.Reserve(room + 1, false)) return -1;
  int64_t n;
  if (s.datagram) {
    platform::SocketAddress sender;
    StoreAddress(slot, sender);
    n = platform::ReceiveSocket(s.handle, text.Data(), room, &sender);
    if (n >= 0) StoreAddress(slot, sender);
  } else {
    n = platform::ReceiveSocket(s.handle, text.Data(), room, nullptr);
  }
  RecordSystemError();
  if (n > 0) {
    text.SetLength(static_cast<uint32_t>(n));
    return static_cast<int32_t>(n);
  }
  text.SetLength(0);
  if (n == 0) return 0;
  if (g_lastError == platform::kSocketReset) return 0;
  if (g_lastError == platform::kSocketWouldBlock) return -2;
  return -1;
}

int32_t NetResolve(const BasicString& host) {
  uint32_t ip = 0;
  if (!ResolveText(std::string(host.c_str(), host.Length()), &ip)) return -1;
  return AsSigned(ip);
}

BasicString NetIpToText(int32_t ip) { return BasicString(DottedText(AsUnsigned(ip)).c_str()); }

int32_t NetRemoteIp(int32_t slot) {
  Slot s;
  return ReadSlot(slot, &s) ? AsSigned(s.address.ip) : 0;
}

int32_t NetRemotePort(int32_t slot) {
  Slot s;
  return ReadSlot(slot, &s) ? s.address.port : 0;
}

BasicString NetLocalIps() {
  NetStart();
  std::string list = LocalAddressList('|');
  if (!list.empty()) list.pop_back();
  NetStop();
  return BasicString(list.c_str());
}

int32_t NetLastError() { return g_lastError; }

BasicString NetLastErrorText() {
  const int32_t code = g_lastError;
  if (g_lastError.IsCause()) {
    const std::string session = SessionCauseText(code);
    return BasicString(session.empty() ? http_internal::CauseText(code).c_str() : session.c_str());
  }
  // 8 is this layer's own number; the system's words for it would be another error's.
  const std::string message = code == kNoFreeSlotError ? "No free socket slot" : platform::SocketErrorMessage(code);
  if (message.empty()) return BasicString();
  char text[320];
  std::snprintf(text, sizeof text, "%d %s", code, message.c_str());
  return BasicString(text);
}
