// The HTTP/1.0 GET client: one request, the header skipped, the body into a file or a text (TLS on 443).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/net.h"
#include "net/net_internal.h"
#include "platform/platform.h"
#include "platform/sockets.h"

namespace {

constexpr int kHttpsPort = 443;
constexpr int64_t kPieceSize = 64 * 1024;

// The connection a download reads from: plain, or TLS over the slot's socket.
struct Connection {
  int32_t slot = -1;
  int handle = -1;
  platform::TlsStream* tls = nullptr;

  int64_t Send(const char* bytes, int64_t count) {
    return tls != nullptr ? platform::TlsSend(tls, bytes, count) : platform::SendSocket(handle, bytes, count, nullptr);
  }
  int64_t Receive(char* buffer, int64_t count) {
    return tls != nullptr ? platform::TlsReceive(tls, buffer, count)
                          : platform::ReceiveSocket(handle, buffer, count, nullptr);
  }
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

bool SendAll(Connection& connection, const std::string& request, int timeoutMs) {
  size_t sent = 0;
  while (sent < request.size()) {
    const int64_t n = connection.Send(request.data() + sent, static_cast<int64_t>(request.size() - sent));
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && platform::LastSocketError() == platform::kSocketWouldBlock) {
      if (!connection.Wait(true, timeoutMs)) return false;
    } else {
      SetNetLastError(platform::LastSocketError());
      return false;
    }
  }
  return true;
}

// Where the body goes: a file (handle, position) and/or a text buffer.
struct BodySink {
  intptr_t file = 0;
  int64_t filePosition = 0;
  std::string* text = nullptr;
  size_t textLimit = 0;

  // False when the file write failed.
  bool Take(const char* bytes, int64_t count) {
    if (count <= 0) return true;
    if (file != 0) {
      if (platform::WriteFileAt(file, bytes, count, filePosition) != count) return false;
      filePosition += count;
    }
    if (text != nullptr) {
      const size_t room = textLimit - text->size();
      text->append(bytes, std::min(room, static_cast<size_t>(count)));
    }
    return true;
  }
  bool TextFull() const { return text != nullptr && text->size() >= textLimit; }
};

// The shared download routine: 1 on success, 0 on failure.
int32_t HttpGet(const BasicString& server, const BasicString& path, int32_t port, BodySink& sink, int32_t timeoutMs) {
  const int effectivePort = port == 0 ? 80 : port;
  const int wait = EffectiveConnectTimeout(timeoutMs);
  NetStart();
  Connection connection;
  connection.slot = NetTcpConnect(server, effectivePort, timeoutMs);
  if (connection.slot < 0) {
    const int32_t error = NetLastError();
    NetStop();
    SetNetLastError(error);
    return 0;
  }
  connection.handle = SlotHandle(connection.slot);
  bool ok = true;
  if (effectivePort == kHttpsPort) {
    connection.tls = platform::StartTls(connection.handle, server.c_str(), wait);
    if (connection.tls == nullptr) {
      SetNetLastError(platform::LastSocketError());
      ok = false;
    }
  }
  if (ok) {
    std::string request = "GET ";
    request.append(path.c_str(), path.Length());
    request += " HTTP/1.0\r\nHost:";
    request.append(server.c_str(), server.Length());
    request += "\r\nAccept: */*\r\nUser-Agent: Velmora\r\n\r\n";
    ok = SendAll(connection, request, wait);
  }
  HeaderEndScanner header;
  std::vector<char> piece(kPieceSize);
  while (ok && !sink.TextFull()) {
    const int64_t n = connection.Receive(piece.data(), kPieceSize);
    if (n == 0) break;  // the server closed: the body is complete
    if (n < 0) {
      if (platform::LastSocketError() != platform::kSocketWouldBlock) {
        SetNetLastError(platform::LastSocketError());
        ok = false;
      } else if (!connection.Wait(false, wait)) {
        // A server that stops sending fails the download at the timeout.
        SetNetLastError(platform::kSocketInProgress);
        ok = false;
      }
      continue;
    }
    int64_t start = 0;
    if (!header.Done()) {
      start = header.Scan(piece.data(), n);
      if (start < 0) continue;
    }
    ok = sink.Take(piece.data() + start, n - start);
  }
  const int32_t error = NetLastError();
  connection.Close();
  NetStop();
  if (!ok) SetNetLastError(error);
  return ok ? 1 : 0;
}

}  // namespace

int32_t HttpGetToFile(const BasicString& server, const BasicString& path, int32_t port, const BasicString& fileName,
                      int32_t timeoutMs) {
  if (std::strncmp(fileName.c_str(), "mem://", 6) == 0) return 0;
  std::string name(fileName.c_str(), fileName.Length());
  std::replace(name.begin(), name.end(), '\\', '/');
  // An empty directory or an old file of that name makes way for the download.
  platform::RemovePath(name.c_str());
  BodySink sink;
  sink.file = platform::OpenFileHandle(name.c_str(), platform::FileOpenMode::CreateReadWrite);
  if (sink.file == 0) return 0;
  const int32_t result = HttpGet(server, path, port, sink, timeoutMs);
  if (!platform::CloseFileHandle(sink.file)) return 0;
  return result;
}

BasicString HttpGetToText(const BasicString& server, const BasicString& path, int32_t port, int32_t maximum,
                          int32_t timeoutMs) {
  std::string text;
  BodySink sink;
  sink.text = &text;
  sink.textLimit = maximum > 0 ? static_cast<size_t>(maximum) : 0;
  if (sink.textLimit == 0) return BasicString();
  if (HttpGet(server, path, port, sink, timeoutMs) == 0) return BasicString();
  // The text ends at the first zero byte of the body.
  return BasicString(text.c_str(), static_cast<uint32_t>(std::strlen(text.c_str())));
}
