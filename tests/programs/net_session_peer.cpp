// A session peer driven line by line on standard input, answering each command with one line:
//   host PORT | join HOST PORT | end | running | accept FLAG        -> the result
//   create [NAME] | remove ID | count | name ID                     -> the result
//   send FROM TO TEXT                                               -> 1 when sent
//   recv ID       -> "SENDER TEXT" of the next message (waits up to 5 s), "none"
//   departed      -> the next departed id (waits up to 5 s), 0 when none
//   drain ID      -> how many messages for ID arrived (waits up to 5 s for the first, then
//                    until none came for 200 ms)
//   memory        -> "VmHWM VmRSS" of this process in kB
//   timeout MS    -> SetSessionTimeout, then SessionTimeout
//   error         -> "NetLastError NetLastErrorText"
//   sendmany FROM TO COUNT -> sends the texts "0".."COUNT-1": how many sends returned 1
//   numbered ID   -> drains ID's texts (as drain): "<count> <1 when they were 0, 1, 2, ... in order>"
//   departedall   -> every departed id waiting now: "<count> <lowest> <highest>"
//   quit          -> ends the program
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "net/net.h"
#include "net/startup.h"

namespace {

template <typename Poll>
auto WaitFor(Poll poll) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  auto result = poll();
  while (!result.first && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result = poll();
  }
  return result.second;
}

// A field of /proc/self/status in kB, -1 when it is missing.
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// As Drain; checks that the texts are the numbers 0, 1, 2, ... without a gap.
std::string DrainNumbered(int id) {
  int count = 0;
  bool inOrder = true;
  auto last = std::chrono::steady_clock::now();
  std::chrono::milliseconds quiet = std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() - last < quiet) {
    const BasicString text = ReceivePlayerMessage(id);
    if (text.Length() > 0) {
      inOrder = inOrder && std::string(text.c_str()) == std::to_string(count);
      ++count;
      last = std::chrono::steady_clock::now();
      quiet = std::chrono::milliseconds(200);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return std::to_string(count) + " " + (inOrder ? "1" : "0");
}

int Drain(int id) {
  int count = 0;
  auto last = std::chrono::steady_clock::now();
  std::chrono::milliseconds quiet = std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() - last < quiet) {
    if (ReceivePlayerMessage(id).Length() > 0) {
      ++count;
      last = std::chrono::steady_clock::now();
      quiet = std::chrono::milliseconds(200);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return count;
}

}  // namespace

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::string reply;
    if (command == "host") {
      int port = 0;
      in >> port;
      reply = std::to_string(HostSession(port));
    } else if (command == "join") {
      std::string host;
      int port = 0;
      in >> host >> port;
      reply = std::to_string(JoinSession(host.c_str(), port));
    } else if (command == "end") {
      EndSession();
      reply = "0";
    } else if (command == "running") {
      reply = std::to_string(SessionRunning());
    } else if (command == "accept") {
      int flag = 1;
      in >> flag;
      SetAcceptPlayers(flag);
      reply = "0";
    } else if (command == "create") {
      std::string name;
      in >> name;
      reply = std::to_string(CreatePlayer(name.c_str()));
    } else if (command == "remove") {
      int id = 0;
      in >> id;
      RemovePlayer(id);
      reply = "0";
    } else if (command == "count") {
      reply = std::to_string(CountPlayers());
    } else if (command == "name") {
      int id = 0;
      in >> id;
      reply = PlayerName(id).c_str();
    } else if (command == "send") {
      int from = 0, to = 0;
      in >> from >> to;
      std::string text;
      std::getline(in >> std::ws, text);
      reply = std::to_string(SendPlayerMessage(from, to, text.c_str()));
    } else if (command == "recv") {
      int id = 0;
      in >> id;
      reply = WaitFor([id] {
        const BasicString text = ReceivePlayerMessage(id);
        const bool got = text.Length() > 0;
        return std::make_pair(got, got ? std::to_string(LastMessageSender()) + " " + text.c_str() : "none");
      });
    } else if (command == "departed") {
      reply = std::to_string(WaitFor([] {
        const int32_t id = NextDepartedPlayer();
        return std::make_pair(id != 0, id);
      }));
    } else if (command == "drain") {
      int id = 0;
      in >> id;
      reply = std::to_string(Drain(id));
    } else if (command == "memory") {
      reply = std::to_string(StatusKb("VmHWM")) + " " + std::to_string(StatusKb("VmRSS"));
    } else if (command == "timeout") {
      int ms = 0;
      in >> ms;
      SetSessionTimeout(ms);
      reply = std::to_string(SessionTimeout());
    } else if (command == "error") {
      reply = std::to_string(NetLastError()) + " " + NetLastErrorText().c_str();
    } else if (command == "sendmany") {
      int from = 0, to = 0, count = 0, sent = 0;
      in >> from >> to >> count;
      for (int i = 0; i < count; ++i) sent += SendPlayerMessage(from, to, std::to_string(i).c_str());
      reply = std::to_string(sent);
    } else if (command == "numbered") {
      int id = 0;
      in >> id;
      reply = DrainNumbered(id);
    } else if (command == "departedall") {
      int count = 0, lowest = 0, highest = 0;
      for (int32_t id; (id = NextDepartedPlayer()) != 0; ++count) {
        lowest = count == 0 ? id : std::min(lowest, id);
        highest = std::max(highest, id);
      }
      reply = std::to_string(count) + " " + std::to_string(lowest) + " " + std::to_string(highest);
    } else if (command == "quit") {
      break;
    } else {
      reply = "?";
    }
    std::printf("%s\n", reply.c_str());
    std::fflush(stdout);
  }
  EndSessionAndNetwork();
  return 0;
}
