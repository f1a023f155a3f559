// HTTP download throughput of a 50 MB body from a loopback server in this process: HttpGetToFile into
// the temporary folder, against a plain socket read of the same response from the same server.
// Prints MB/s and the ratio to the baseline (> 1: the runtime is faster).
//   net_http [folder]   (default: $TMPDIR or /tmp)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "net/net.h"
#include "platform/platform.h"

namespace {

constexpr size_t kBodySize = 50u << 20;
constexpr int kRounds = 5;

double BestSeconds(const std::function<bool()>& work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    if (!work()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : platform::TempFolder();
  const std::string target = folder + "net_http_bench.bin";
  NetStart();
  int port = 28100;
  int32_t listening = -1;
  while (listening < 0 && port < 28200) listening = NetTcpListen(port++);
  --port;
  NetSetBlocking(listening, 1);
  // The server: one response per connection, header and body, then close.
  const std::string response = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" +
                               std::string(kBodySize, 'v');
  std::atomic<bool> stop{false};
  std::thread server([&] {
    for (;;) {
      int32_t peer = 0;
      const int32_t slot = NetTcpAccept(listening, peer);
      if (stop) break;
      if (slot < 0) continue;
      BasicString request;
      NetSetBlocking(slot, 1);
      NetReceive(slot, request, 1024);
      NetSendText(slot, BasicString(response.data(), static_cast<uint32_t>(response.size())));
      NetClose(slot);
    }
  });

  const double runtime = BestSeconds([&] {
    return HttpGetToFile("127.0.0.1", "/body", port, target.c_str(), 10000) == 1;
  });
  const double plain = BestSeconds([&] {
    const int32_t slot = NetTcpConnect("127.0.0.1", port, 10000);
    if (slot < 0) return false;
    NetSetBlocking(slot, 1);
    NetSendText(slot, "GET /body HTTP/1.0\r\n\r\n");
    size_t total = 0;
    BasicString piece;
    for (;;) {
      const int32_t n = NetReceive(slot, piece, 1 << 16);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    NetClose(slot);
    return total >= kBodySize;
  });
  stop = true;
  NetTcpConnect("127.0.0.1", port, 1000);  // wakes the server to see the stop
  server.join();
  NetStop();
  platform::RemovePath(target.c_str());
  if (runtime <= 0 || plain <= 0) {
    std::printf("download failed\n");
    return 1;
  }
  const double mb = kBodySize / 1e6;
  std::printf("HttpGetToFile 50 MB:        %8.1f MB/s\n", mb / runtime);
  std::printf("plain socket read 50 MB:    %8.1f MB/s\n", mb / plain);
  std::printf("  %-46s %8.2f\n", "HttpGetToFile / plain read (speed)", plain / runtime);
  return 0;
}
