// HTTP client against real loopback servers: header ends, bodies, files, limits, timeouts and verified TLS.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "net/net.h"
#include "net/net_internal.h"
#include "net_test_util.h"
#include "support/child_process.h"

namespace {

using net_testing::LineProcess;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// The test server on a loopback address; port() is 0 when it did not start.
class TestServer {
 public:
  explicit TestServer(const std::string& root, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {net_testing::Python(), net_testing::TestScript("http_server.py"), "--root", root};
    args.insert(args.end(), extra.begin(), extra.end());
    process_ = std::make_unique<LineProcess>(args);
    port_ = std::atoi(process_->ReadLine(20).c_str());
  }
  int port() const { return port_; }

 private:
  std::unique_ptr<LineProcess> process_;
  int port_ = 0;
};

std::string RandomBytes(size_t count) {
  std::mt19937 generator(static_cast<unsigned>(count));
  std::string bytes(count, 0);
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GT(server_.port(), 0); }
  std::string Text(const char* path, int maximum = 4096, int timeout = 5000) {
    return HttpGetToText("127.0.0.1", path, server_.port(), maximum, timeout).c_str();
  }
  TempDir dir_;
  TestServer server_{dir_.path()};
};

TEST_F(HttpTest, BodiesStartAfterTheBlankLineAndErrorPagesAreBodies) {
  struct Case {
    const char* path;
    const char* body;
  } cases[] = {{"/crlf", "body after crlf"}, {"/lf", "body after lf"}, {"/missing", "<h1>404 not here</h1>"}};
  for (const Case& c : cases) EXPECT_EQ(Text(c.path), c.body) << c.path;
}

TEST_F(HttpTest, TheRequestIsSentExactly) {
  EXPECT_EQ(Text("/request"), "GET /request HTTP/1.0\r\nHost:127.0.0.1\r\nAccept: */*\r\nUser-Agent: Velmora\r\n\r\n");
}

TEST_F(HttpTest, TextStopsAtItsLimit) {
  const std::string bytes = std::string(5000, 'a') + std::string(5000, 'b');
  WriteWholeFile(dir_.File("letters"), bytes);
  EXPECT_EQ(Text("/files/letters", 6000), bytes.substr(0, 6000));
  EXPECT_EQ(Text("/files/letters", 20000), bytes);
}

TEST_F(HttpTest, FilesArriveByteForByte) {
  for (size_t size : {size_t{1} << 20, size_t{50} << 20}) {
    const std::string name = "served" + std::to_string(size);
    const std::string bytes = RandomBytes(size);
    WriteWholeFile(dir_.File(name), bytes);
    const std::string target = dir_.File("download");
    ASSERT_EQ(HttpGetToFile("127.0.0.1", ("/files/" + name).c_str(), server_.port(), target.c_str(), 5000), 1);
    EXPECT_TRUE(ReadWholeFile(target) == bytes) << size;
  }
}

TEST_F(HttpTest, AnEmptyDirectoryMakesWayForTheFile) {
  WriteWholeFile(dir_.File("small"), "contents");
  const std::string target = dir_.File("place");
  ASSERT_EQ(std::system(("mkdir " + target).c_str()), 0);
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/files/small", server_.port(), target.c_str(), 5000), 1);
  EXPECT_EQ(ReadWholeFile(target), "contents");
}

TEST_F(HttpTest, MemoryNamesAndUnreachableServersFail) {
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/crlf", server_.port(), "mem://0:0", 5000), 0);
  const std::string target = dir_.File("never");
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/crlf", net_testing::FreePort(), target.c_str(), 5000), 0);
  EXPECT_EQ(NetLastError(), 10061);
  EXPECT_EQ(HttpGetToText("127.0.0.1", "/crlf", net_testing::FreePort(), 100, 5000).Length(), 0u);
  EXPECT_EQ(OpenSlotCount(), 0);
}

TEST_F(HttpTest, ASilentServerFailsAtTheTimeout) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/silent", server_.port(), dir_.File("silent").c_str(), 400), 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.39);
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(OpenSlotCount(), 0);
}

TEST(HeaderEndScanner, CountsLineFeedsAcrossPieces) {
  struct Case {
    std::vector<std::string> pieces;
    int piece;       // where the header ends
    int64_t offset;  // and the offset of the body in that piece
  } cases[] = {
      {{"H\r\n\r\nB"}, 0, 5},
      {{"H\n\nB"}, 0, 3},
      {{"H\r\n", "\r\nB"}, 1, 2},
      {{"H\n\r\r\r\n"}, 0, 6},   // carriage returns are neutral
      {{"H\nx\nB", "\n\n"}, 1, 2},  // any other byte starts the count again
      {{"\n", "\n"}, 1, 1},
  };
  for (const Case& c : cases) {
    HeaderEndScanner scanner;
    int piece = -1;
    int64_t offset = -1;
    for (size_t i = 0; i < c.pieces.size() && piece < 0; ++i) {
      offset = scanner.Scan(c.pieces[i].data(), static_cast<int64_t>(c.pieces[i].size()));
      if (offset >= 0) piece = static_cast<int>(i);
    }
    EXPECT_EQ(piece, c.piece) << c.pieces[0];
    EXPECT_EQ(offset, c.offset) << c.pieces[0];
    EXPECT_TRUE(scanner.Done());
  }
  HeaderEndScanner open;
  EXPECT_EQ(open.Scan("H\nX\r\n\r", 6), -1);
  EXPECT_FALSE(open.Done());
}

// TLS on port 443, each server on its own loopback address.
TEST(Https, CertificatesAndNamesAreVerified) {
  TempDir dir;
  const std::string d = dir.path();
  WriteWholeFile(d + "ext.cnf", "subjectAltName=IP:127.0.0.21,DNS:localhost\n");
  WriteWholeFile(d + "page", "secret body");
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
  const std::string make =
      "cd " + d + " && openssl req -x509" + ec + "-keyout ca.key -out ca.pem -days 2 -subj /CN=VelmoraTestCA" +
      " && openssl req" + ec + "-keyout server.key -out server.csr -subj /CN=server" +
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2" +
      " -extfile ext.cnf && openssl req -x509" + ec + "-keyout other.key -out other.pem -days 2 -subj /CN=Other";
  ASSERT_EQ(std::system((make + " >/dev/null 2>&1").c_str()), 0);
  const std::vector<std::string> tls = {"--port", "443", "--cert", d + "server.pem", "--key", d + "server.key"};
  std::vector<std::string> right = {"--bind", "127.0.0.21"}, wrong = {"--bind", "127.0.0.22"};
  right.insert(right.end(), tls.begin(), tls.end());
  wrong.insert(wrong.end(), tls.begin(), tls.end());
  TestServer named(d, right), misnamed(d, wrong);
  ASSERT_EQ(named.port(), 443);
  ASSERT_EQ(misnamed.port(), 443);

  setenv("SSL_CERT_FILE", (d + "ca.pem").c_str(), 1);
  EXPECT_STREQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).c_str(), "secret body");
  EXPECT_EQ(HttpGetToFile("127.0.0.21", "/files/page", 443, (d + "copy").c_str(), 5000), 1);
  EXPECT_EQ(ReadWholeFile(d + "copy"), "secret body");
  EXPECT_EQ(HttpGetToText("127.0.0.22", "/files/page", 443, 100, 5000).Length(), 0u);
  setenv("SSL_CERT_FILE", (d + "other.pem").c_str(), 1);
  EXPECT_EQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(HttpGetToFile("127.0.0.21", "/files/page", 443, (d + "copy2").c_str(), 5000), 0);
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(OpenSlotCount(), 0);
}

}  // namespace
