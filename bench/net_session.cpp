// Session throughput and latency on loopback, with a plain TCP echo over the same loopback as the baseline:
//   - 4 client processes send 10,000 messages each to one player of the host
//     process; every message must arrive, in order per sender; messages/s;
//   - a client player sends to another player of the same client process and
//     waits for it (client -> host -> client), 2,000 times: median and 99th
//     percentile, against a 20-byte echo through a plain TCP connection.
//   net_session [port]   (default 27950)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/net.h"

namespace {

constexpr int kClients = 4;
constexpr int kMessagesPerClient = 10000;
constexpr int kLatencyRounds = 2000;
constexpr int32_t kFirstPlayer = 101;  // ids are handed out from here
constexpr int32_t kPlayerIds = 64;     // the ids a sender looks through for the host's player
using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Waits for the next message to a player; false after 10 s.
bool Receive(int32_t player, BasicString* text) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    *text = ReceivePlayerMessage(player);
    if (text->Length() > 0) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::yield();
  }
}

// A client process: join, make a player, announce it, send the messages.
int RunSender(int port, int index) {
  // The host may still be starting: try for up to 10 s, then wait for its player.
  int joined = 0;
  for (int attempt = 0; attempt < 100 && joined != 1; ++attempt) {
    joined = JoinSession("127.0.0.1", port);
    if (joined != 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (joined != 1) return 1;
  // The host's player is whichever id it was given; a sender starting early must not take it first.
  int32_t target = 0;
  for (int attempt = 0; attempt < 400 && target == 0; ++attempt) {
    for (int32_t id = kFirstPlayer; id < kFirstPlayer + kPlayerIds && target == 0; ++id)
      if (PlayerName(id) == BasicString("sink")) target = id;
    if (target == 0) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  if (target == 0) return 4;
  const int32_t me = CreatePlayer(("sender" + std::to_string(index)).c_str());
  if (me == 0) return 2;
  for (int i = 0; i < kMessagesPerClient; ++i)
    if (SendPlayerMessage(me, target, std::to_string(i).c_str()) != 1) return 3;
  // Stay until the host has read everything (it ends the session).
  while (SessionRunning() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return 0;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * (values.size() - 1))];
}

// Round trips of a 20-byte message through an echo thread on a plain loopback connection.
std::vector<double> EchoRoundTrips(int port) {
  std::vector<double> times;
  const int32_t listening = NetTcpListen(port);
  std::thread echo([listening] {
    int32_t peer = 0, slot = -1;
    while (slot < 0) slot = NetTcpAccept(listening, peer);
    NetSetBlocking(slot, 1);
    BasicString text;
    while (NetReceive(slot, text, 64) > 0) NetSendText(slot, text);
    NetClose(slot);
  });
  const int32_t client = NetTcpConnect("127.0.0.1", port, 2000);
  NetSetBlocking(client, 1);
  BasicString reply;
  for (int i = 0; i < kLatencyRounds; ++i) {
    const auto start = Clock::now();
    NetSendText(client, "twenty bytes of echo");
    int got = 0;
    while (got < 20) got += std::max(0, NetReceive(client, reply, 64));
    times.push_back(Microseconds(Clock::now() - start));
  }
  NetClose(client);
  echo.join();
  NetClose(listening);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 27950;
  // The senders are forked before this process starts any thread.
  std::vector<pid_t> children;
  for (int i = 0; i < kClients; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      _exit(RunSender(port, i));
    }
    children.push_back(pid);
  }
  const int32_t target = HostSession(port) == 1 ? CreatePlayer("sink") : 0;
  if (target == 0) {
    std::printf("cannot host on port %d\n", port);
    return 1;
  }
  // Throughput: every message, in order per sender.
  std::vector<int> nextExpected(0x10000, 0);
  int received = 0, outOfOrder = 0;
  BasicString text;
  Clock::time_point first{};
  while (received < kClients * kMessagesPerClient && Receive(target, &text)) {
    if (received == 0) first = Clock::now();
    const int sender = LastMessageSender();
    if (std::atoi(text.c_str()) != nextExpected[sender]) ++outOfOrder;
    nextExpected[sender] = std::atoi(text.c_str()) + 1;
    ++received;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - first).count();
  std::printf("session throughput: %d of %d messages, %d out of order, %.0f messages/s\n", received,
              kClients * kMessagesPerClient, outOfOrder, received / seconds);

  // Latency: two players of this process, one message at a time through the host.
  const int32_t a = CreatePlayer("ping"), b = CreatePlayer("pong");
  std::vector<double> session;
  for (int i = 0; i < kLatencyRounds; ++i) {
    const auto start = Clock::now();
    SendPlayerMessage(a, b, "twenty bytes of text");
    if (!Receive(b, &text)) break;
    session.push_back(Microseconds(Clock::now() - start));
  }
  EndSession();
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  NetStart();
  const std::vector<double> echo = EchoRoundTrips(port + 1);
  NetStop();
  if (session.empty() || echo.empty()) return 1;
  const double sessionMedian = Percentile(session, 0.5), session99 = Percentile(session, 0.99);
  const double echoMedian = Percentile(echo, 0.5), echo99 = Percentile(echo, 0.99);
  std::printf("client -> host -> client latency (us): median %.1f, 99th %.1f\n", sessionMedian, session99);
  std::printf("plain TCP echo latency (us):          median %.1f, 99th %.1f\n", echoMedian, echo99);
  std::printf("  %-46s %8.2f\n", "session / echo, median", sessionMedian / echoMedian);
  std::printf("  %-46s %8.2f\n", "session / echo, 99th percentile", session99 / echo99);
  return received == kClients * kMessagesPerClient && outOfOrder == 0 ? 0 : 1;
}
