// Socket slot table over real loopback sockets: slots, timeouts, receive states, datagrams, errors, names.
#include <gtest/gtest.h>

#include <netdb.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/internal/net_internal.h"
#include "net/net.h"
#include "net_test_util.h"
#include "platform/sockets.h"

namespace {

constexpr int32_t kLoopback = 0x7F000001;

class SocketsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(NetStart(), 1); }
  void TearDown() override {
    NetShutdown();
    EXPECT_EQ(OpenSlotCount(), 0);
  }
};

// A connected pair: the client slot and the accepted slot.
void ConnectPair(int32_t* client, int32_t* server) {
  const int port = net_testing::FreePort();
  const int32_t listening = NetTcpListen(port);
  ASSERT_GE(listening, 0);
  *client = NetTcpConnect("127.0.0.1", port, 2000);
  ASSERT_GE(*client, 0);
  int32_t peer = 0;
  *server = -1;
  for (int i = 0; i < 200 && *server < 0; ++i) *server = NetTcpAccept(listening, peer);
  ASSERT_GE(*server, 0);
  EXPECT_EQ(peer, kLoopback);
  NetClose(listening);
}

// A loopback listener whose accept queue is full, so further connection
// attempts are never answered. Returns the port; the handles stay open.
int UnansweringPort(std::vector<int>* handles) {
  const int listener = platform::OpenTcpSocket();
  platform::SocketAddress address{0x7F000001, 0};
  platform::BindSocket(listener, address);
  platform::ListenSocket(listener, 0);
  platform::SocketLocalAddress(listener, &address);
  handles->push_back(listener);
  for (int i = 0; i < 3; ++i) {
    const int filler = platform::OpenTcpSocket();
    platform::SetNonBlocking(filler, true);
    platform::ConnectSocket(filler, address);
    handles->push_back(filler);
  }
  return address.port;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(SocketsTest, TheSlotAfterTheLastFailsWithNoFreeSlot) {
  std::vector<int32_t> slots;
  for (int i = 0; i < kSocketSlotCount; ++i) slots.push_back(NetUdpOpen(0));
  EXPECT_EQ(slots.front(), 0);
  EXPECT_EQ(slots.back(), kSocketSlotCount - 1);
  EXPECT_EQ(NetUdpOpen(0), -1);
  EXPECT_EQ(NetLastError(), kNoFreeSlotError);
  EXPECT_STREQ(NetLastErrorText().c_str(), "8 No free socket slot");
  EXPECT_EQ(NetTcpListen(0), -1);
  EXPECT_EQ(NetLastError(), kNoFreeSlotError);
  // A freed slot is found again from slot 0.
  EXPECT_EQ(NetClose(500), 1);
  EXPECT_EQ(NetUdpOpen(0), 500);
}

TEST(ConnectTimeout, OutOfRangeValuesWaitThirtySeconds) {
  struct Case {
    int given, waited;
  } cases[] = {{0, 30000}, {-5, 30000}, {40000, 30000}, {30001, 30000}, {1, 1}, {30000, 30000}, {500, 500}};
  for (const Case& c : cases) EXPECT_EQ(EffectiveConnectTimeout(c.given), c.waited) << c.given;
}

TEST_F(SocketsTest, ConnectToAnUnansweringPortTimesOutWithInProgress) {
  std::vector<int> handles;
  const int port = UnansweringPort(&handles);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(NetTcpConnect("127.0.0.1", port, 300), -1);
  const double waited = SecondsSince(start);
  EXPECT_EQ(NetLastError(), platform::kSocketInProgress);
  EXPECT_GE(waited, 0.29);
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(OpenSlotCount(), 0);
  for (int h : handles) platform::CloseSocket(h);
}

// A real connect goes through the clamp: 0 ms is the longest wait, not none. The
// connect still waits after a second and a half; shutting its socket down ends it.
TEST_F(SocketsTest, ConnectTimeoutZeroKeepsWaiting) {
  std::vector<int> handles;
  const int port = UnansweringPort(&handles);
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> done{false};
  int32_t result = 0;
  std::thread connecting([&] {
    result = NetTcpConnect("127.0.0.1", port, 0);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(done) << "gave up after " << SecondsSince(start) << " s";
  platform::ShutdownSocket(SlotHandle(0));
  connecting.join();
  EXPECT_EQ(result, -1);
  EXPECT_LT(SecondsSince(start), 5.0);
  for (int h : handles) platform::CloseSocket(h);
}

TEST_F(SocketsTest, ReceiveTellsNothingWaitingDataAndClose) {
  int32_t client, server;
  ASSERT_NO_FATAL_FAILURE(ConnectPair(&client, &server));
  BasicString text("left over");
  EXPECT_EQ(NetReceive(server, text, 100), -2);
  EXPECT_EQ(text.Length(), 0u);
  EXPECT_EQ(NetSendText(client, "hello world"), 11);
  EXPECT_EQ(NetSendText(client, ""), 0);
  NetSetBlocking(server, 1);
  EXPECT_EQ(NetReceive(server, text, 5), 5);
  EXPECT_STREQ(text.c_str(), "hello");
  EXPECT_EQ(NetReceive(server, text, 100), 6);
  EXPECT_STREQ(text.c_str(), " world");
  EXPECT_EQ(NetClose(client), 1);
  EXPECT_EQ(NetReceive(server, text, 100), 0);
  EXPECT_EQ(text.Length(), 0u);
}

TEST_F(SocketsTest, SendingToAClosedPeerFailsWithoutEndingTheProgram) {
  int32_t client, server;
  ASSERT_NO_FATAL_FAILURE(ConnectPair(&client, &server));
  NetClose(server);
  int32_t result = 0;
  const BasicString block(std::string(60000, 'x').c_str());
  for (int i = 0; i < 50 && result >= 0; ++i) result = NetSendText(client, block);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(NetLastError(), platform::kSocketReset);
}

TEST_F(SocketsTest, AcceptRefusesDatagramSlotsAndReportsNothingPending) {
  const int32_t udp = NetUdpOpen(0);
  int32_t peer = 12345;
  SetNetLastError(99);
  EXPECT_EQ(NetTcpAccept(udp, peer), -1);
  EXPECT_EQ(NetLastError(), 0);
  const int32_t listening = NetTcpListen(net_testing::FreePort());
  ASSERT_GE(listening, 0);
  EXPECT_EQ(NetTcpAccept(listening, peer), -1);
  EXPECT_EQ(NetLastError(), platform::kSocketWouldBlock);
  EXPECT_EQ(peer, 12345);
  EXPECT_EQ(NetClose(7777), 0);
  EXPECT_EQ(NetClose(-1), 0);
}

TEST_F(SocketsTest, DatagramsNeedATargetAndStoreTheirSender) {
  const int portA = net_testing::FreePort(), portB = net_testing::FreePort();
  const int32_t a = NetUdpOpen(portA), b = NetUdpOpen(portB);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(NetSendText(a, "no target"), -1);
  EXPECT_EQ(NetSendTextTo(a, "no target", 0, 0), -1);
  EXPECT_EQ(NetSendTextTo(a, "ping", kLoopback, portB), 4);
  BasicString text;
  int32_t n = -2;
  for (int i = 0; i < 500 && n == -2; ++i) n = NetReceive(b, text, 100);
  ASSERT_EQ(n, 4);
  EXPECT_STREQ(text.c_str(), "ping");
  EXPECT_EQ(NetRemoteIp(b), kLoopback);
  EXPECT_EQ(NetRemotePort(b), portA);
  // Nothing more waiting: -2, and the stored sender is cleared.
  EXPECT_EQ(NetReceive(b, text, 100), -2);
  EXPECT_EQ(NetRemotePort(b), 0);
}

// Every system error a socket call reports has its Winsock number and, through it, its own
// words; errors Winsock has no number for keep the system's number and words.
TEST(SocketErrors, EachSystemErrorHasItsOwnNumberAndText) {
  struct Case {
    int error, winsock;
  } cases[] = {
      {EINTR, 10004},          {EBADF, 10009},         {EACCES, 10013},         {EFAULT, 10014},
      {EINVAL, 10022},         {EMFILE, 10024},        {EWOULDBLOCK, 10035},    {EAGAIN, 10035},
      {EINPROGRESS, 10036},    {EALREADY, 10037},      {ENOTSOCK, 10038},       {EDESTADDRREQ, 10039},
      {EMSGSIZE, 10040},       {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},    {EPROTONOSUPPORT, 10043},
      {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},   {EAFNOSUPPORT, 10047},
      {EADDRINUSE, 10048},     {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},       {ENETUNREACH, 10051},
      {ENETRESET, 10052},      {ECONNABORTED, 10053},  {ECONNRESET, 10054},     {ENOBUFS, 10055},
      {EISCONN, 10056},        {ENOTCONN, 10057},      {ESHUTDOWN, 10058},      {ETOOMANYREFS, 10059},
      {ETIMEDOUT, 10060},      {ECONNREFUSED, 10061},  {ELOOP, 10062},          {ENAMETOOLONG, 10063},
      {EHOSTDOWN, 10064},      {EHOSTUNREACH, 10065},  {ENOTEMPTY, 10066},      {EUSERS, 10068},
      {EDQUOT, 10069},         {ESTALE, 10070},        {EREMOTE, 10071},
      // No Winsock number: the system's own.
      {EPERM, EPERM},          {ENOMEM, ENOMEM},       {ENFILE, ENFILE},        {EPROTO, EPROTO},
      {ENONET, ENONET},
  };
  std::set<std::string> texts;
  for (const Case& c : cases) {
    EXPECT_EQ(platform::WinsockErrorFromSystem(c.error), c.winsock) << c.error;
    const std::string text = platform::SocketErrorMessage(c.winsock);
    EXPECT_EQ(text, std::strerror(c.error)) << c.winsock;
    texts.insert(text);
    SetNetLastError(c.winsock);
    EXPECT_EQ(NetLastErrorText().c_str(), std::to_string(c.winsock) + " " + std::strerror(c.error));
  }
  // EAGAIN is EWOULDBLOCK here: one text for the two.
  EXPECT_EQ(texts.size(), std::size(cases) - 1);
  // A broken pipe is the reset that Winsock reports for it.
  EXPECT_EQ(platform::WinsockErrorFromSystem(EPIPE), platform::kSocketReset);
  // Numbers with no words: none for no error, none for unknown Winsock numbers.
  for (int code : {0, 10067, 10999, 987654}) {
    EXPECT_EQ(platform::SocketErrorMessage(code), "") << code;
    SetNetLastError(code);
    EXPECT_STREQ(NetLastErrorText().c_str(), "") << code;
  }
  // The layer's own numbers have words of their own, not the system's for that number.
  SetNetLastError(kNoFreeSlotError);
  EXPECT_STREQ(NetLastErrorText().c_str(), "8 No free socket slot");
  SetNetLastError(platform::kSocketHostNotFound);
  EXPECT_EQ(NetLastErrorText().c_str(), std::string("11001 ") + gai_strerror(EAI_NONAME));
}

// TCP to a multicast or broadcast address fails at once with no route (the system refuses it
// before sending anything).
TEST_F(SocketsTest, ConnectWithNoRouteNamesItsError) {
  for (const char* address : {"224.0.0.1", "255.255.255.255"}) {
    EXPECT_EQ(NetTcpConnect(address, 9, 2000), -1) << address;
    EXPECT_EQ(NetLastError(), 10051) << address;
    EXPECT_STREQ(NetLastErrorText().c_str(), "10051 Network is unreachable") << address;
    EXPECT_EQ(OpenSlotCount(), 0);
  }
}

TEST_F(SocketsTest, RefusedConnectionNamesItsError) {
  EXPECT_EQ(NetTcpConnect("127.0.0.1", net_testing::FreePort(), 2000), -1);
  EXPECT_EQ(NetLastError(), 10061);
  EXPECT_STREQ(NetLastErrorText().c_str(), "10061 Connection refused");
  SetNetLastError(987654);
  EXPECT_STREQ(NetLastErrorText().c_str(), "");
}

TEST_F(SocketsTest, NamesAndAddressesConvert) {
  EXPECT_EQ(NetResolve("127.0.0.1"), kLoopback);
  EXPECT_EQ(NetResolve("localhost"), kLoopback);
  EXPECT_EQ(NetResolve("no-such-host.invalid"), -1);
  EXPECT_NE(NetResolve(""), -1);
  EXPECT_STREQ(NetIpToText(kLoopback).c_str(), "127.0.0.1");
  EXPECT_STREQ(NetIpToText(static_cast<int32_t>(0xC0A80102u)).c_str(), "192.168.1.2");
  EXPECT_STREQ(NetIpToText(-1).c_str(), "255.255.255.255");
  const std::string list = NetLocalIps().c_str();
  ASSERT_GE(list.size(), 9u);
  EXPECT_EQ(list.substr(list.size() - 9), "127.0.0.1");
  EXPECT_EQ(list.find("127.0.0.1"), list.size() - 9);
  EXPECT_NE(list.front(), '|');
}

TEST_F(SocketsTest, SuccessHasNoErrorText) {
  SetNetLastError(10061);
  ASSERT_STREQ(NetLastErrorText().c_str(), "10061 Connection refused");
  ASSERT_EQ(NetStart(), 1);
  EXPECT_EQ(NetLastError(), 0);
  EXPECT_STREQ(NetLastErrorText().c_str(), "");
  NetStop();
}

TEST_F(SocketsTest, StartsNestAndTheLastStopClosesEverySlot) {
  ASSERT_EQ(NetStart(), 1);  // the fixture holds one start already
  NetUdpOpen(0);
  NetUdpOpen(0);
  NetStop();
  EXPECT_EQ(OpenSlotCount(), 2);
  NetStop();
  EXPECT_EQ(OpenSlotCount(), 0);
}

}  // namespace
