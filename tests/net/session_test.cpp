// Multiplayer session across real processes: ids, routing, queries, departures and hostile peers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/internal/net_internal.h"
#include "net/net.h"
#include "net_test_util.h"
#include "support/child_process.h"

namespace {

using net_testing::LineProcess;

// The most a flood or a churn may add to the hosting program's peak memory (kB). Under the
// address sanitizer every freed block waits in its quarantine (256 MiB by default) before it is
// used again, and each byte has an eighth of shadow: there the bound has that on top.
constexpr long GrowthBoundKb(long kb) {
#if defined(__SANITIZE_ADDRESS__)
  return kb + kb / 8 + (256l << 10);
#else
  return kb;
#endif
}

std::unique_ptr<LineProcess> Peer(const std::vector<std::string>& env = {}) {
  return std::make_unique<LineProcess>(std::vector<std::string>{net_testing::TestProgram("net_session_peer")}, env);
}

// The numbers of a reply line.
std::vector<long> Numbers(const std::string& line) {
  std::istringstream in(line);
  std::vector<long> numbers;
  for (long n; in >> n;) numbers.push_back(n);
  return numbers;
}

// The local port of the one established connection to port (from any of this machine's
// addresses), 0 unless there is exactly one.
int OnlyConnectionTo(int port) {
  std::ifstream tcp("/proc/net/tcp");
  char want[32];
  std::snprintf(want, sizeof want, ":%04X", static_cast<unsigned>(port));
  std::string line;
  std::getline(tcp, line);  // the column names
  int found = 0, count = 0;
  while (std::getline(tcp, line)) {
    std::istringstream in(line);
    std::string entry, local, remote, state;
    in >> entry >> local >> remote >> state;
    const size_t colon = local.find(':');
    if (state != "01" || colon == std::string::npos || remote.size() < 5 ||
        remote.compare(remote.size() - 5, 5, want) != 0)
      continue;
    found = std::stoi(local.substr(colon + 1), nullptr, 16);
    ++count;
  }
  return count == 1 ? found : 0;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A port free a moment ago may be taken by another program's outgoing connection before
    // the host listens on it: then another one is tried.
    std::string hosted;
    for (int attempt = 0; attempt < 3 && hosted != "1"; ++attempt) {
      port_ = std::to_string(net_testing::FreePort());
      hosted = host_->Ask("host " + port_);
    }
    ASSERT_EQ(hosted, "1");
    own_port_ = OnlyConnectionTo(std::stoi(port_));  // the hosting program's own, before anyone joins
    ASSERT_EQ(host_->Ask("create keeper"), "101");
    ASSERT_EQ(a_->Ask("join 127.0.0.1 " + port_), "1");  // its query player takes 102
    ASSERT_EQ(a_->Ask("create alice"), "103");
    ASSERT_EQ(b_->Ask("join 127.0.0.1 " + port_), "1");  // 104
    ASSERT_EQ(b_->Ask("create bob"), "105");
  }
  void TearDown() override { NetShutdown(); }

  // A peer script that speaks the wire format itself (tests/net/hostile_peer.py).
  // address: the loopback address it connects from (127.0.0.1 unless given).
  std::unique_ptr<LineProcess> Hostile(const std::string& address = "127.0.0.1") {
    return std::make_unique<LineProcess>(std::vector<std::string>{
        net_testing::Python(), net_testing::TestScript("hostile_peer.py"), port_, address});
  }
  // Seconds from start until ask gives want (asked every 50 ms for at most limit seconds); -1
  // when it never does.
  static double SecondsUntil(std::chrono::steady_clock::time_point start, LineProcess& peer, const std::string& ask,
                             const std::string& want, double limit) {
    for (;;) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (peer.Ask(ask) == want) return seconds;
      if (seconds > limit) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  static size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
  std::string HostLog() const { return testing_support::ReadWholeFile(log_.File("ErrorLog.txt")); }

  // A raw connection to the host, as a peer that does not follow the protocol.
  int32_t RawPeer() {
    if (raw_started_ == false) raw_started_ = NetStart() == 1;
    const int32_t slot = NetTcpConnect("127.0.0.1", std::stoi(port_), 2000);
    EXPECT_GE(slot, 0);
    return slot;
  }
  static void SendRaw(int32_t slot, uint8_t type, uint16_t length, uint16_t to, uint16_t from, size_t payload) {
    std::vector<char> bytes;
    const std::string filler(payload, 'p');
    EncodeMessage(type, to, from, filler.data(), filler.size(), &bytes);
    bytes[1] = static_cast<char>(length & 0xFF);  // the announced length, true or not
    bytes[2] = static_cast<char>(length >> 8);
    ASSERT_EQ(NetSendText(slot, BasicString(bytes.data(), static_cast<uint32_t>(bytes.size()))),
              static_cast<int32_t>(bytes.size()));
  }
  // True when the host closes the connection within 5 s.
  static bool ClosedByHost(int32_t slot) {
    BasicString text;
    for (int i = 0; i < 5000; ++i) {
      const int32_t n = NetReceive(slot, text, 4096);
      if (n == 0) return true;
      if (n == -1) return false;
      if (n == -2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  std::string port_;
  testing_support::TempDir log_;  // the hosting program's temporary folder, with its run log
  std::unique_ptr<LineProcess> host_ = Peer({"TMPDIR=" + log_.path()}), a_ = Peer(), b_ = Peer();
  bool raw_started_ = false;
  int own_port_ = 0;  // the source port of the hosting program's own connection
};

TEST_F(SessionTest, BroadcastsReachEveryOtherPlayerAndQueriesSeeNoQueryPlayers) {
  EXPECT_EQ(a_->Ask("send 103 0 hello all"), "1");
  EXPECT_EQ(host_->Ask("recv 101"), "103 hello all");
  EXPECT_EQ(b_->Ask("recv 105"), "103 hello all");
  // Had the sender got its own broadcast, it would come before this reply.
  EXPECT_EQ(b_->Ask("send 105 103 just you"), "1");
  EXPECT_EQ(a_->Ask("recv 103"), "105 just you");
  EXPECT_EQ(a_->Ask("send 103 105 " + std::string(kMaxPayload + 1, 'x')), "0");
  EXPECT_EQ(a_->Ask("send 103 105 " + std::string(kMaxPayload, 'y')), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 " + std::string(kMaxPayload, 'y'));
  EXPECT_EQ(host_->Ask("count"), "3");  // keeper, alice, bob; every query player hidden
  EXPECT_EQ(b_->Ask("count"), "3");
  EXPECT_EQ(a_->Ask("name 105"), "bob");
  EXPECT_EQ(a_->Ask("name 101"), "keeper");
  EXPECT_EQ(a_->Ask("name 4242"), "NO_DATA");
  // Each program asked through one query player (the hosting program's took 106): no id went to more.
  EXPECT_EQ(a_->Ask("create dave"), "107");
}

TEST_F(SessionTest, AKilledClientsPlayersDepartOldestFirst) {
  ASSERT_EQ(a_->Ask("create carol"), "106");
  a_->Kill();
  EXPECT_EQ(host_->Ask("departed"), "103");
  EXPECT_EQ(host_->Ask("departed"), "106");
  EXPECT_EQ(host_->Ask("count"), "2");
  EXPECT_EQ(b_->Ask("remove 105"), "0");
  EXPECT_EQ(host_->Ask("departed"), "105");
  EXPECT_EQ(host_->Ask("count"), "1");
}

TEST_F(SessionTest, HostilePeersLoseOnlyTheirOwnConnection) {
  const int32_t stalling = RawPeer();
  char half[3] = {kPlayerText, 5, 0};
  EXPECT_EQ(NetSendText(stalling, BasicString(half, 3)), 3);
  const int32_t oversized = RawPeer();
  SendRaw(oversized, kPlayerText, 2000, kEveryPlayer, 103, 1024);
  EXPECT_TRUE(ClosedByHost(oversized));
  const int32_t garbage = RawPeer();
  for (uint8_t type : {0, 5, 77, 100, 105, 255}) SendRaw(garbage, type, 10, 0, 103, 10);
  SendRaw(garbage, kAskName, 0, 0, 0, 0);  // a question too short to name anyone
  SendRaw(garbage, kPlayerLeaves, 0, 0, 105, 0);  // bob is not this connection's to remove
  // The host closes the flooding connection at its 257th request, possibly while later ones are
  // still being sent: those may fail, the 257 before cannot.
  const int32_t flooding = RawPeer();
  std::vector<char> join;
  const std::string name(kJoinPayloadSize, 'j');
  EncodeMessage(kJoinRequest, 0, 0, name.data(), name.size(), &join);
  int accepted = 0;
  while (accepted < 300 && NetSendText(flooding, BasicString(join.data(), static_cast<uint32_t>(join.size()))) ==
                               static_cast<int32_t>(join.size()))
    ++accepted;
  EXPECT_GE(accepted, 257);
  EXPECT_TRUE(ClosedByHost(flooding));
  const int32_t leaving = RawPeer();
  SendRaw(leaving, kPlayerText, 100, kEveryPlayer, 103, 50);
  NetClose(leaving);

  EXPECT_EQ(a_->Ask("send 103 105 still here"), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 still here");
  EXPECT_EQ(b_->Ask("send 105 0 and here"), "1");
  EXPECT_EQ(a_->Ask("recv 103"), "105 and here");
  EXPECT_EQ(host_->Ask("recv 101"), "105 and here");
  EXPECT_EQ(b_->Ask("name 105"), "bob");
  // The flood's players went with its connection; the hidden-free count is that of before.
  EXPECT_EQ(host_->Ask("count"), "3");
  EXPECT_EQ(host_->Ask("running"), "1");
}

TEST_F(SessionTest, ForgedSendersAreRefusedAndTheForgersOwnTextsStillArrive) {
  const std::unique_ptr<LineProcess> mallory = Hostile();
  ASSERT_EQ(mallory->Ask("join mallory"), "106");
  struct Target {
    std::string to;
    LineProcess* reader;
    std::string player;
  };
  // Directed to a player of the hosting program, to a client's player, and to everyone.
  const std::vector<Target> targets = {{"101", host_.get(), "101"}, {"103", a_.get(), "103"},
                                       {"65535", host_.get(), "101"}};
  // The hosting program's player, the host, the broadcast address, another connection's
  // player and its hidden query player.
  const std::vector<std::string> forged = {"101", "0", "65535", "105", "102"};
  int sent = 0;
  for (const Target& target : targets) {
    for (const std::string& from : forged) {
      const std::string legit = "legit" + std::to_string(sent++);
      ASSERT_EQ(mallory->Ask("send " + from + " " + target.to + " as " + from), "1");
      ASSERT_EQ(mallory->Ask("send 106 " + target.to + " " + legit), "1");
      EXPECT_EQ(target.reader->Ask("recv " + target.player), "106 " + legit) << from << " to " + target.to;
    }
  }
  // A peer that goes on forging loses its connection and its player.
  ASSERT_EQ(mallory->Ask("send 105 101 once more"), "1");
  ASSERT_EQ(mallory->Ask("send 105 101 and again"), "1");
  EXPECT_EQ(mallory->Ask("closed"), "closed");
  EXPECT_EQ(host_->Ask("departed"), "106");
  EXPECT_EQ(a_->Ask("send 103 101 unaffected"), "1");
  EXPECT_EQ(host_->Ask("recv 101"), "103 unaffected");
  const std::string log = HostLog();
  EXPECT_NE(log.find("sent a text as player 101, not one of its own"), std::string::npos) << log;
  EXPECT_NE(log.find("dropped connection"), std::string::npos) << log;
}

TEST_F(SessionTest, IdleConnectionsMakeWayForAJoiningPlayer) {
  // Without a player the hosting program's own connection looks idle too; it must stay.
  ASSERT_EQ(host_->Ask("remove 101"), "0");
  // 200 from 25 addresses, 8 each: within every address's share, they fill the table (with the
  // hosting program's, alice's and bob's connections), and the later ones close the oldest.
  const std::unique_ptr<LineProcess> idler = Hostile();
  EXPECT_EQ(idler->Ask("idle 200 25", 20), "200");
  EXPECT_EQ(idler->Ask("stillopen 0.5", 20), "125");
  const std::unique_ptr<LineProcess> carol = Peer();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(carol->Ask("join 127.0.0.1 " + port_), "1");
  EXPECT_EQ(carol->Ask("create carol"), "107");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(idler->Ask("stillopen 0.2", 20), "124");
  // Every idle connection goes, the last one opened after the join wait.
  const std::vector<long> waited = Numbers(idler->Ask("idlewait 15", 20));
  ASSERT_EQ(waited.size(), 2u);
  EXPECT_EQ(waited[0], 0) << "idle connections still open";
  EXPECT_GE(waited[1], 4500);
  EXPECT_LE(waited[1], 9000);
  // The joined clients and the hosting program kept their connections.
  EXPECT_EQ(a_->Ask("send 103 105 still served"), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 still served");
  EXPECT_EQ(host_->Ask("running"), "1");
  EXPECT_EQ(host_->Ask("create dave"), "108");
  EXPECT_EQ(carol->Ask("count"), "4");  // alice, bob, carol, dave
}

TEST_F(SessionTest, FloodingANonReadingPlayerDropsTheFlooderAndBoundsTheHost) {
  const std::unique_ptr<LineProcess> flooder = Hostile();
  ASSERT_EQ(flooder->Ask("join flooder"), "106");
  // It speaks keepalives and the host's timeout is short: the host holding it back is not its silence.
  ASSERT_EQ(flooder->Ask("keepalive"), "1");
  ASSERT_EQ(host_->Ask("timeout 1500"), "1500");
  const std::vector<long> before = Numbers(host_->Ask("memory"));
  ASSERT_EQ(before.size(), 2u);
  const auto start = std::chrono::steady_clock::now();
  flooder->Send("flood 101 128");
  // While it floods, the others are served.
  EXPECT_EQ(a_->Ask("send 103 105 during the flood"), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 during the flood");
  EXPECT_EQ(b_->Ask("count"), "4");
  std::istringstream flood(flooder->ReadLine(40));
  long sent = 0;
  std::string state;
  flood >> sent >> state;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(state, "closed");
  EXPECT_LT(sent, 64l << 20) << "the host took the flood";
  // The full queue held the flooder back for the hold limit before it was dropped.
  EXPECT_GE(seconds, 4.5);
  EXPECT_LE(seconds, 20.0);
  const std::vector<long> after = Numbers(host_->Ask("memory"));
  ASSERT_EQ(after.size(), 2u);
  const long growthKb = after[0] - before[1];
  std::printf("host peak RSS growth under the flood: %ld kB\n", growthKb);
  RecordProperty("host_peak_growth_kb", static_cast<int>(growthKb));
  EXPECT_LT(growthKb, GrowthBoundKb(48l << 10));
  // What the player's queue took waits with the flooder's own id, up to the bound exactly.
  EXPECT_EQ(host_->Ask("recv 101"), "106 " + std::string(1024, 'f'));
  EXPECT_EQ(host_->Ask("drain 101"), "4095");
  EXPECT_EQ(host_->Ask("departed"), "106");
  EXPECT_NE(HostLog().find("player 101 has 4096 texts (4194304 bytes) unread"), std::string::npos) << HostLog();
  // A sender faster than a reading player is only held back: a burst past the bound,
  // closed at once, arrives whole.
  const std::unique_ptr<LineProcess> burst = Hostile();
  ASSERT_EQ(burst->Ask("join burst"), "107");
  ASSERT_EQ(burst->Ask("burst 101 10000"), "1");
  EXPECT_EQ(host_->Ask("drain 101"), "10000");
  EXPECT_EQ(host_->Ask("count"), "3");
}

TEST_F(SessionTest, AForgedDepartureIsRefusedLoggedOnceAndCounted) {
  const std::unique_ptr<LineProcess> mallory = Hostile();
  ASSERT_EQ(mallory->Ask("join mallory"), "106");
  ASSERT_EQ(mallory->Ask("leave 105"), "1");  // bob lives on another connection
  EXPECT_EQ(b_->Ask("name 105"), "bob");
  EXPECT_EQ(host_->Ask("count"), "4");
  // Each forged departure counts: sixteen more cost the forger its connection and its player.
  for (int i = 0; i < 16; ++i) ASSERT_EQ(mallory->Ask("leave 103"), "1");
  EXPECT_EQ(mallory->Ask("closed"), "closed");
  EXPECT_EQ(host_->Ask("departedall"), "1 106 106");
  EXPECT_EQ(a_->Ask("name 103"), "alice");
  EXPECT_EQ(host_->Ask("count"), "3");
  const std::string log = HostLog();
  EXPECT_EQ(Occurrences(log, "sent a departure as player 105, not one of its own"), 1u) << log;
  EXPECT_EQ(Occurrences(log, "as player 103"), 0u) << log;  // one line per connection
  EXPECT_EQ(Occurrences(log, "keeps naming other senders"), 1u) << log;
  // Texts of a player that has just left its connection crossed the departure: dropped, not counted.
  const std::unique_ptr<LineProcess> leaver = Hostile();
  const std::string left = leaver->Ask("join leaver");
  ASSERT_NE(left, "0");
  ASSERT_EQ(leaver->Ask("leave " + left), "1");
  for (int i = 0; i < 20; ++i) ASSERT_EQ(leaver->Ask("send " + left + " 101 after leaving"), "1");
  EXPECT_EQ(leaver->Ask("closed 0.3"), "open");
  EXPECT_EQ(host_->Ask("departed"), left);
  EXPECT_EQ(a_->Ask("send 103 101 the next one"), "1");
  EXPECT_EQ(host_->Ask("recv 101"), "103 the next one");
  EXPECT_EQ(Occurrences(HostLog(), "as player " + left), 0u) << HostLog();
  // The last 64 players to leave a connection are known so; one that left before them is not.
  // (The last one stays: a connection without a player would be closed as idle.)
  const std::vector<long> more = Numbers(leaver->Ask("more 66"));
  ASSERT_EQ(more.size(), 66u);
  for (size_t i = 0; i < 65; ++i) ASSERT_EQ(leaver->Ask("leave " + std::to_string(more[i])), "1");
  for (int i = 0; i < 17; ++i) ASSERT_EQ(leaver->Ask("send " + std::to_string(more[1]) + " 101 remembered"), "1");
  EXPECT_EQ(leaver->Ask("closed 0.3"), "open");
  for (int i = 0; i < 17; ++i) ASSERT_EQ(leaver->Ask("send " + std::to_string(more[0]) + " 101 forgotten"), "1");
  EXPECT_EQ(leaver->Ask("closed 2"), "closed");
}

TEST_F(SessionTest, IdsOfDepartedPlayersComeBackOnceReported) {
  const std::vector<long> before = Numbers(host_->Ask("memory"));
  ASSERT_EQ(before.size(), 2u);
  // 255 connections that each join 256 players and close: 65280 joins, more than the fresh ids
  // 106..0xFEFF. The hosting program reads no departures meanwhile, so the first 4096 stay
  // listed and their ids are not handed out; the others' ids come back.
  const std::unique_ptr<LineProcess> churner = Hostile();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(churner->Ask("churn 255 256", 120), "65280 0 0 106 65279");
  std::printf("255 x 256 joins and departures: %.2f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  const std::unique_ptr<LineProcess> carol = Peer();
  ASSERT_EQ(carol->Ask("join 127.0.0.1 " + port_), "1");
  const long id = std::stol(carol->Ask("create carol"));
  EXPECT_GT(id, 106 + 4096 - 1) << "an unreported departure's id was handed out";
  EXPECT_LE(id, 0xFEFF);
  EXPECT_EQ(carol->Ask("name " + std::to_string(id)), "carol");
  EXPECT_EQ(host_->Ask("departedall"), "4096 106 4201");
  EXPECT_EQ(host_->Ask("count"), "4");  // keeper, alice, bob, carol
  // The reported ones come back after the others: a churn through every free id reaches 106.
  const std::vector<long> again = Numbers(churner->Ask("churn 240 256", 120));
  ASSERT_EQ(again.size(), 5u);
  EXPECT_EQ(again[0], 61440);
  EXPECT_EQ(again[3], 106);
  const std::vector<long> after = Numbers(host_->Ask("memory"));
  ASSERT_EQ(after.size(), 2u);
  EXPECT_LT(after[0] - before[1], GrowthBoundKb(48l << 10));
  // One line for the departures that were not listed, and their count when the session ends.
  EXPECT_EQ(Occurrences(HostLog(), "departed players unread"), 1u);
  EXPECT_EQ(host_->Ask("end"), "0");
  // The second churn's first 4096 departures were listed again; its other 57344 were not.
  EXPECT_EQ(Occurrences(HostLog(), "session: departed players unread: 118527 more like this left out"), 1u)
      << HostLog().substr(0, 4000);
}

TEST_F(SessionTest, OneAddressCannotLockOthersOut) {
  // 127 connections from one address, each with a player: it keeps 32, the others are refused.
  const std::unique_ptr<LineProcess> flooder = Hostile("127.0.0.2");
  EXPECT_EQ(flooder->Ask("hold 127 1", 60), "32 95 3");
  // Connections without a player: the address's own oldest make way, 8 stay.
  const std::unique_ptr<LineProcess> idler = Hostile("127.0.0.4");
  EXPECT_EQ(idler->Ask("idle 20", 20), "20");
  EXPECT_EQ(idler->Ask("stillopen 1", 20), "8");
  // Players: four full connections reach the address's 1024; the fifth is refused each one.
  const std::unique_ptr<LineProcess> crowd = Hostile("127.0.0.5");
  EXPECT_EQ(crowd->Ask("hold 5 256", 60), "1024 256 4");
  // One connection holds 256: its 257th request closes it without a word.
  const std::unique_ptr<LineProcess> many = Hostile("127.0.0.6");
  EXPECT_EQ(many->Ask("hold 1 256", 60), "256 0 -");
  EXPECT_EQ(many->Ask("again 1", 20), "0 0 closed");
  // Everyone else still joins.
  const std::unique_ptr<LineProcess> other = Hostile("127.0.0.3");
  const long id = std::stol(other->Ask("join other"));
  EXPECT_GT(id, 105);
  EXPECT_LE(id, 0xFEFF);
  const std::unique_ptr<LineProcess> carol = Peer();
  EXPECT_EQ(carol->Ask("join 127.0.0.1 " + port_), "1");
  EXPECT_NE(carol->Ask("create carol"), "0");
  EXPECT_EQ(a_->Ask("send 103 105 still served"), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 still served");
  // Loopback's own share: alice's, bob's and carol's programs hold 6 (with their query players);
  // a crowd takes the rest, and a program's next player is refused at once, saying why.
  const std::unique_ptr<LineProcess> local = Hostile();
  EXPECT_EQ(local->Ask("hold 4 256", 60), "1018 6 4");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(a_->Ask("create late"), "0");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
  EXPECT_EQ(a_->Ask("error"), "21004 too many players from this address");
}

TEST_F(SessionTest, AConnectionFromAnotherAddressOnTheHostsOwnPortIsAnOrdinaryOne) {
  ASSERT_GT(own_port_, 0);
  const std::unique_ptr<LineProcess> impostor = Hostile("127.0.0.2");
  // Its first message is the keepalive every client gets (the host's own connection gets none).
  EXPECT_EQ(impostor->Ask("impostor " + std::to_string(own_port_)), std::to_string(kKeepalive));
  // It counts among its address's connections without a player: the oldest, it makes way.
  EXPECT_EQ(impostor->Ask("idle 8", 20), "8");
  EXPECT_EQ(impostor->Ask("stillopen 0.5", 20), "8");
}

TEST_F(SessionTest, RefusedConnectionsAreToldWhyAndWaitTheirLingerUpToTheBound) {
  // An address at its share of connections, each with a player: every further one is refused.
  const std::unique_ptr<LineProcess> full = Hostile("127.0.0.7");
  ASSERT_EQ(full->Ask("hold 32 1", 60), "32 0 -");
  // 66 at once: 64 are told why and kept until the peer closes or 1 s passed; past those the
  // 65th and 66th are closed untold.
  const std::vector<long> refused = Numbers(full->Ask("refusals 66", 30));
  ASSERT_EQ(refused.size(), 5u);
  EXPECT_EQ(refused[0], 64);
  EXPECT_EQ(refused[1], 2);
  EXPECT_GE(refused[2], 600) << "closed before its linger";
  EXPECT_LE(refused[3], 2500) << "kept past its linger";
  EXPECT_EQ(refused[4], 0) << "a refused connection was sent more than its refusal (a keepalive)";
  // Ones that close once told go at once: the next one after 64 such is told why as well.
  EXPECT_EQ(Numbers(full->Ask("refusals 64 close", 30)), (std::vector<long>{64, 0, 0, 0, 0}));
  EXPECT_EQ(Numbers(full->Ask("refusals 1", 10))[0], 1);
  const std::string log = HostLog();
  EXPECT_NE(log.find("session: refused the connection on connection"), std::string::npos) << log;
  EXPECT_NE(log.find("too many connections from this address"), std::string::npos) << log;
  EXPECT_EQ(a_->Ask("send 103 105 still served"), "1");
  EXPECT_EQ(b_->Ask("recv 105"), "103 still served");
}

TEST_F(SessionTest, AFullTableRefusesAJoinAtOnceAndSaysWhy) {
  // The hosting program, alice's and bob's connections and four addresses' 125 fill the 128.
  std::vector<std::unique_ptr<LineProcess>> fillers;
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}) {
    fillers.push_back(Hostile(address));
    const bool last = fillers.size() == 4;
    EXPECT_EQ(fillers.back()->Ask(last ? "hold 29 1" : "hold 32 1", 60), last ? "29 0 -" : "32 0 -");
  }
  const std::unique_ptr<LineProcess> carol = Peer();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(carol->Ask("join 127.0.0.1 " + port_), "0");
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
  EXPECT_EQ(carol->Ask("error"), "21002 the host's connection table is full");
  EXPECT_EQ(carol->Ask("running"), "0");
  EXPECT_EQ(Hostile("127.0.0.6")->Ask("hold 1 1"), "0 1 2");
  // An address at its share is told that first.
  EXPECT_EQ(fillers[0]->Ask("hold 1 1"), "0 1 3");
  // A connection that closes makes room.
  fillers[3].reset();
  EXPECT_GE(SecondsUntil(start, *carol, "join 127.0.0.1 " + port_, "1", 10), 0);
  EXPECT_NE(carol->Ask("create carol"), "0");
}

TEST_F(SessionTest, AJoinTheHostDoesNotTakeSaysSoAfterTheAnswerWait) {
  const std::unique_ptr<LineProcess> early = Hostile();
  ASSERT_EQ(early->Ask("join early"), "106");
  // A host that accepts no players leaves new connections waiting: the join ends after 5 s.
  ASSERT_EQ(host_->Ask("accept 0"), "0");
  const std::unique_ptr<LineProcess> carol = Peer();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(carol->Ask("join 127.0.0.1 " + port_), "0");
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 4.5);
  EXPECT_LE(waited, 8.0);
  EXPECT_EQ(carol->Ask("error"), "21010 no answer from the host");
  // Players of connections already there still join.
  EXPECT_EQ(a_->Ask("create carol"), "107");
  // A connection whose last player leaves is given the join wait from then on, though it is
  // older than that wait.
  ASSERT_EQ(early->Ask("leave 106"), "1");
  EXPECT_EQ(early->Ask("closed 1"), "open");
}

TEST_F(SessionTest, APlayerThatFallsBehindIsDisconnectedNotSkipped) {
  ASSERT_EQ(host_->Ask("create second"), "106");
  struct Case {
    LineProcess* reader;
    std::string player;
  };
  // A client's player (the host forwards to it), and the hosting program's own second player.
  for (const Case& c : {Case{a_.get(), "103"}, Case{host_.get(), "106"}}) {
    SCOPED_TRACE(c.player);
    EXPECT_EQ(host_->Ask("sendmany 101 " + c.player + " 5000", 30), "5000");
    EXPECT_EQ(host_->Ask("departed"), c.player);
    EXPECT_EQ(c.reader->Ask("send " + c.player + " 105 late"), "0");
    EXPECT_EQ(c.reader->Ask("error"), "21015 the player fell behind and was disconnected");
    if (c.reader == host_.get()) {
      // Its full queue holds back no one: a client's broadcast reaches the others at once.
      EXPECT_EQ(b_->Ask("send 105 0 around"), "1");
      EXPECT_EQ(host_->Ask("recv 101"), "105 around");
    }
    // What it had arrived whole and in order; nothing after the gap.
    EXPECT_EQ(c.reader->Ask("numbered " + c.player, 30), "4096 1");
    EXPECT_EQ(c.reader->Ask("send " + c.player + " 105 later"), "0");
    EXPECT_EQ(c.reader->Ask("running"), "1");
  }
  EXPECT_EQ(host_->Ask("count"), "2");  // keeper and bob
  // Beside a player cut off, another one removed departs as ever.
  const std::string passing = host_->Ask("create passing");
  EXPECT_EQ(host_->Ask("remove " + passing), "0");
  EXPECT_EQ(host_->Ask("departed"), passing);
  EXPECT_EQ(Occurrences(HostLog(), "player 106 has 4096 texts (15274 bytes) unread; it is disconnected"), 1u)
      << HostLog();
  // The reader's program goes on: a new player of it is served.
  const std::string newcomer = a_->Ask("create alice2");
  EXPECT_EQ(b_->Ask("send 105 " + newcomer + " welcome"), "1");
  EXPECT_EQ(a_->Ask("recv " + newcomer), "105 welcome");
  // A broadcast reaches each of them, the hosting program's own player as well; none reads.
  const std::string third = host_->Ask("create third");
  EXPECT_EQ(host_->Ask("sendmany 101 0 5000", 30), "5000");
  std::vector<long> departed;
  for (int i = 0; i < 3; ++i) departed.push_back(std::stol(host_->Ask("departed")));
  std::vector<long> readers = {105, std::stol(third), std::stol(newcomer)};
  std::sort(departed.begin(), departed.end());
  std::sort(readers.begin(), readers.end());
  EXPECT_EQ(departed, readers);
  EXPECT_EQ(host_->Ask("numbered " + third, 30), "4096 1");
  EXPECT_EQ(b_->Ask("numbered 105", 30), "4096 1");
  EXPECT_EQ(a_->Ask("numbered " + newcomer, 30), "4096 1");
  EXPECT_EQ(host_->Ask("count"), "1");  // keeper
}

TEST_F(SessionTest, ASilentHostEndsAJoinedSessionAfterItsTimeout) {
  ASSERT_EQ(a_->Ask("timeout 1500"), "1500");  // bob's program keeps 5000
  host_->Stop();
  const auto start = std::chrono::steady_clock::now();
  const double ended = SecondsUntil(start, *a_, "running", "0", 8);
  EXPECT_GE(ended, 1.0) << "ended well before the timeout";
  EXPECT_LE(ended, 3.5);
  EXPECT_EQ(b_->Ask("running"), "1");
  host_->Resume();
  EXPECT_EQ(a_->Ask("count"), "0");
  EXPECT_EQ(a_->Ask("error"), "21012 the host went silent");
  EXPECT_EQ(a_->Ask("create late"), "0");
  EXPECT_EQ(a_->Ask("error"), "21012 the host went silent");
  // The host was only stopped: bob is still served, and alice's program left.
  EXPECT_EQ(b_->Ask("send 105 101 after the pause"), "1");
  EXPECT_EQ(host_->Ask("recv 101"), "105 after the pause");
  EXPECT_EQ(host_->Ask("departed"), "103");
  EXPECT_EQ(b_->Ask("running"), "1");
}

TEST_F(SessionTest, ASilentClientsPlayersDepartAfterTheHostsTimeout) {
  ASSERT_EQ(host_->Ask("timeout 1500"), "1500");
  const std::unique_ptr<LineProcess> old = Hostile();  // sends no keepalives, as older versions
  ASSERT_EQ(old->Ask("join old"), "106");
  // The host sends a keepalive each 250 ms that nothing else went (even to a peer that sends none).
  const long keepalives = std::stol(old->Ask("keepalives 1"));
  EXPECT_GE(keepalives, 2);
  EXPECT_LE(keepalives, 6);
  a_->Stop();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(host_->Ask("departed"), "103");
  const double departed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(departed, 1.0) << "departed well before the timeout";
  EXPECT_LE(departed, 3.5);
  EXPECT_EQ(b_->Ask("send 105 101 still here"), "1");
  EXPECT_EQ(host_->Ask("recv 101"), "105 still here");
  // A peer that never sent a keepalive is not judged by its silence.
  EXPECT_EQ(old->Ask("closed 1"), "open");
  EXPECT_EQ(host_->Ask("count"), "3");  // keeper, bob, old
  a_->Resume();
  EXPECT_GE(SecondsUntil(start, *a_, "running", "0", 10), 0);
}

TEST(SessionTimeout, IsKeptWithinItsBoundsAndAcrossSessions) {
  const struct {
    int32_t set, want;
  } cases[] = {{0, 5000},       {-1, 5000},       {1, 1000},          {999, 1000},
               {1000, 1000},    {1500, 1500},     {3600000, 3600000}, {3600001, 3600000},
               {INT32_MAX, 3600000}};
  for (const auto& c : cases) {
    SetSessionTimeout(c.set);
    EXPECT_EQ(SessionTimeout(), c.want) << c.set;
  }
  SetSessionTimeout(2000);
  EndSession();
  EXPECT_EQ(SessionTimeout(), 2000);
  SetSessionTimeout(0);
  EXPECT_EQ(CreatePlayer("nobody"), 0);
  EXPECT_EQ(NetLastError(), kSessionNotRunning);
  EXPECT_STREQ(NetLastErrorText().c_str(), "no session");
  NetShutdown();
}

TEST(SessionJoin, NothingListeningFailsWithinTheConnectWait) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(JoinSession("127.0.0.1", net_testing::FreePort()), 0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.5);
  EXPECT_EQ(NetLastError(), 10061) << NetLastErrorText().c_str();  // the connection refused, not a session cause
  EXPECT_EQ(SessionRunning(), 0);
  EXPECT_EQ(CreatePlayer("nobody"), 0);
  EXPECT_STREQ(PlayerName(101).c_str(), "NO_DATA");
  EXPECT_EQ(OpenSlotCount(), 0);
}

// A host that breaks the protocol: a count answer too short to hold a count gives 0, and more
// answers than anyone asked for (a member keeps 64) end the session.
TEST(SessionWithABrokenHost, ShortAnswersCountNothingAndUnaskedOnesEndTheSession) {
  for (const std::string mode : {"short", "unasked"}) {
    SCOPED_TRACE(mode);
    const int port = net_testing::FreePort();
    LineProcess host({net_testing::Python(), net_testing::TestScript("hostile_peer.py"), std::to_string(port)});
    host.Send("serve " + mode);
    ASSERT_EQ(host.ReadLine(), "1");
    ASSERT_EQ(JoinSession("127.0.0.1", port), 1);
    if (mode == "short") {
      EXPECT_EQ(CountPlayers(), 0);
      EXPECT_EQ(SessionRunning(), 1);
    } else {
      for (int i = 0; i < 200 && SessionRunning() == 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_EQ(SessionRunning(), 0);
      EXPECT_EQ(CreatePlayer("late"), 0);
      EXPECT_EQ(NetLastError(), kSessionBrokenHost);
    }
    EndSession();
  }
  NetShutdown();
}

TEST(MessageReader, CutsAnyPiecesIntoMessagesAndRefusesLongOnes) {
  std::vector<char> stream;
  EncodeMessage(kPlayerText, 7, 9, "hello", 5, &stream);
  EncodeMessage(kProbe, 0, 3, nullptr, 0, &stream);
  const std::string big(kMaxPayload, 'x');
  EncodeMessage(kPlayerText, kEveryPlayer, 2, big.data(), big.size(), &stream);
  for (size_t pieceSize : {size_t{1}, size_t{3}, size_t{7}, stream.size()}) {
    MessageReader reader;
    std::vector<WireMessage> got;
    for (size_t at = 0; at < stream.size(); at += pieceSize) {
      ASSERT_TRUE(reader.Feed(stream.data() + at, std::min(pieceSize, stream.size() - at)));
      WireMessage m;
      while (reader.Next(&m)) got.push_back(m);
    }
    ASSERT_EQ(got.size(), 3u) << pieceSize;
    EXPECT_EQ(got[0].type, kPlayerText);
    EXPECT_EQ(got[0].to, 7);
    EXPECT_EQ(got[0].from, 9);
    EXPECT_EQ(std::string(got[0].payload.begin(), got[0].payload.end()), "hello");
    EXPECT_EQ(got[1].type, kProbe);
    EXPECT_TRUE(got[1].payload.empty());
    EXPECT_EQ(got[2].to, kEveryPlayer);
    EXPECT_EQ(got[2].payload.size(), size_t{kMaxPayload});
    EXPECT_EQ(reader.Buffered(), 0u);
  }
  MessageReader reader;
  const char oversized[kWireHeaderSize] = {kPlayerText, 0x01, 0x04, 0, 0, 0, 0};  // 1025 bytes announced
  EXPECT_FALSE(reader.Feed(oversized, sizeof oversized));
  EXPECT_TRUE(reader.Broken());
  WireMessage m;
  EXPECT_FALSE(reader.Next(&m));
}

}  // namespace
