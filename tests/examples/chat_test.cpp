// The chat example end to end: a host and two joining processes on loopback,
// each scripted along its path, saying hello and downloading a picture from
// an HTTP server of the test's own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "example_run.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;
using example_test::Near;
using example_test::Rgb;
using example_test::RunningProgram;
using example_test::Image;

// A loopback socket bound to a free port, listening.
int ListenOnFreePort(int* port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 8) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s >= 0) close(s);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return s;
}

// Serves one body to every GET until stopped, as an HTTP/1.0 server does:
// status line, Content-Length, blank line, body, close.
class HttpServer {
 public:
  explicit HttpServer(std::string body) : body_(std::move(body)) {
    socket_ = ListenOnFreePort(&port_);
    if (socket_ >= 0) thread_ = std::thread([this] { Serve(); });
  }
  ~HttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (socket_ >= 0) close(socket_);
  }
  int Port() const { return port_; }
  int Served() const { return served_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{socket_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int client = accept(socket_, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char buffer[512];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      const std::string response =
          "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: " + std::to_string(body_.size()) + "\r\n\r\n" +
          body_;
      for (size_t sent = 0; sent < response.size();) {
        const ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      close(client);
      ++served_;
    }
  }

  std::string body_;
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

// A 64 x 64 PNG: the left half magenta, the right half noise (so that the
// file spans many pieces of the download).
std::string PictureBytes(const std::string& folder) {
  Picture picture;
  picture.Resize(64, 64);
  std::mt19937 random(7);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      const uint32_t noise = random();
      p[0] = x < 32 ? 255 : noise & 255;
      p[1] = x < 32 ? 0 : (noise >> 8) & 255;
      p[2] = x < 32 ? 255 : (noise >> 16) & 255;
      p[3] = 255;
    }
  const std::string file = folder + "served.png";
  return SavePicture(file.c_str(), picture) ? testing_support::ReadWholeFile(file) : std::string();
}

// Player k (1..3) ends its scripted path at (120 k + 120, 60 k + 60), having
// started at (120 k - 76, 60 k + 11).
struct Player {
  const char* name;
  int r, g, b;  // its marker colour
  int x() const { return 120 * number + 120; }
  int y() const { return 60 * number + 60; }
  int number;
};
const Player kPlayers[] = {{"Ann", 255, 64, 64, 1}, {"Bob", 64, 255, 64, 2}, {"Cyd", 64, 128, 255, 3}};

TEST(ChatExample, ThreeProcessesSeeEachOtherChatAndDownload) {
  testing_support::TempDir dir;
  const std::string body = PictureBytes(dir.path());
  ASSERT_GT(body.size(), 4000u) << "the served picture must span several pieces";
  HttpServer http(body);
  ASSERT_GT(http.Port(), 0);
  int sessionPort = 0;
  const int probe = ListenOnFreePort(&sessionPort);
  ASSERT_GE(probe, 0);
  close(probe);
  const std::string url = "http://127.0.0.1:" + std::to_string(http.Port()) + "/files/picture.png";

  std::vector<std::unique_ptr<RunningProgram>> runs;
  for (const Player& player : kPlayers) {
    const std::string folder = dir.File(player.name) + "/";
    fs::create_directories(folder);
    fs::copy_file(example_test::ProgramPath("chat"), folder + "chat");
    std::vector<std::string> args = {"name", player.name, "demo", std::to_string(player.number), "expect", "3",
                                     "port", std::to_string(sessionPort), "get", url};
    if (player.number > 1) args.insert(args.end(), {"join", "127.0.0.1"});
    args.insert(args.end(), {"--frames", "360", "--screenshot", folder + "shot.png"});
    runs.push_back(std::make_unique<RunningProgram>(folder + "chat", args, folder));
    // The host listens first; the others keep trying to join anyway.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  for (size_t k = 0; k < runs.size(); ++k) {
    const Player& me = kPlayers[k];
    const std::string folder = dir.File(me.name) + "/";
    SCOPED_TRACE(me.name);
    ASSERT_EQ(runs[k]->Wait(90), 0) << runs[k]->Output();
    EXPECT_EQ(example_test::ErrorLines(runs[k]->RunLog()), std::vector<std::string>{}) << runs[k]->RunLog();

    // The chat lines of the two others arrived, and only theirs.
    const std::vector<std::string> received = testing_support::Lines(testing_support::ReadWholeFile(folder + "received.txt"));
    for (const Player& other : kPlayers) {
      const std::string line = std::string(other.name) + ": hello from " + other.name;
      bool found = false;
      for (const std::string& r : received) found = found || r.rfind(line, 0) == 0;
      EXPECT_EQ(found, &other != &me) << line;
    }
    // The download is the served file, byte for byte.
    const std::string downloaded = testing_support::ReadWholeFile(folder + "picture.png");
    EXPECT_EQ(downloaded.size(), body.size());
    EXPECT_TRUE(downloaded == body);

    Image shot;
    ASSERT_TRUE(shot.Load(folder + "shot.png"));
    ASSERT_EQ(shot.Width(), 640);
    for (const Player& p : kPlayers) {
      SCOPED_TRACE(p.name);
      auto marker = [&](Rgb c) { return Near(c, p.r, p.g, p.b, 8); };
      // The marker stands at the end of the path, not at its start.
      EXPECT_GE(shot.Count(p.x() - 6, p.y() - 6, 12, 12, marker), 140);
      EXPECT_EQ(shot.Count(120 * p.number - 82, 60 * p.number + 5, 12, 12, marker), 0);
      // Only this process's own player has the white frame.
      auto white = [](Rgb c) { return Near(c, 255, 255, 255, 8); };
      EXPECT_EQ(shot.Count(p.x() - 12, p.y() - 2, 2, 4, white) > 0, &p == &me);
    }
    // Text in the chat box: the hello lines (white glyphs on the box colour).
    auto glyph = [](Rgb c) { return c.r > 160 && c.g > 160 && c.b > 160; };
    EXPECT_GT(shot.Count(16, 380, 300, 60, glyph), 100);
    EXPECT_EQ(shot.Count(16, 302, 600, 56, glyph), 0) << "only the last lines of the box are used";
    // The progress bar is full, and the picture shows its magenta half.
    auto green = [](Rgb c) { return Near(c, 0, 192, 0, 8); };
    EXPECT_EQ(shot.Count(12, 448, 400, 20, green), 400 * 20);
    auto magenta = [](Rgb c) { return Near(c, 255, 0, 255, 24); };
    EXPECT_GT(shot.Count(562, 12, 28, 60, magenta), 28 * 60 * 9 / 10);
  }
  EXPECT_EQ(http.Served(), 3);
}

}  // namespace
