// HTTP client against real loopback servers: header ends, bad responses, redirects, files, timeouts and verified TLS.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/internal/http_response.h"
#include "net/internal/net_internal.h"
#include "net/net.h"
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

TEST_F(HttpTest, BodiesStartAfterTheBlankLine) {
  struct Case {
    const char* path;
    const char* body;
  } cases[] = {{"/crlf", "body after crlf"}, {"/lf", "body after lf"}};
  for (const Case& c : cases) EXPECT_EQ(Text(c.path), c.body) << c.path;
}

// One download into a file that already holds an old version, beside a partial file an
// earlier, killed download left: its result, the last error and what the name then holds.
struct Download {
  int32_t result = -1;
  int32_t error = -1;
  std::string errorText;
  std::string file;
  bool partialLeft = true;
  std::string text;  // the same request through HttpGetToText
  int32_t textError = -1;
  std::string textErrorText;
};

Download DownloadOver(const std::string& server, const std::string& path, int port, const TempDir& dir,
                      int timeout) {
  const std::string target = dir.File("download.bin");
  WriteWholeFile(target, "old contents");
  WriteWholeFile(target + ".vlmnew", "stale part");
  Download d;
  d.result = HttpGetToFile(server.c_str(), path.c_str(), port, target.c_str(), timeout);
  d.error = NetLastError();
  d.errorText = NetLastErrorText().c_str();
  d.file = ReadWholeFile(target);
  d.partialLeft = std::filesystem::exists(target + ".vlmnew");
  d.text = HttpGetToText(server.c_str(), path.c_str(), port, 1 << 21, timeout).c_str();
  d.textError = NetLastError();
  d.textErrorText = NetLastErrorText().c_str();
  return d;
}

// What a download of each response must give: its result, the last error and its text, and
// what the file holds afterwards (the old contents after any failure).
struct Expected {
  std::string path;
  int32_t result;
  int32_t error;
  const char* errorText;
  std::string file;
};

void ExpectDownloads(const std::string& server, int port, const std::vector<Expected>& cases, int timeout = 3000) {
  for (const Expected& c : cases) {
    TempDir dir;
    const Download d = DownloadOver(server, c.path, port, dir, timeout);
    EXPECT_EQ(d.result, c.result) << c.path;
    EXPECT_EQ(d.error, c.error) << c.path;
    // A success leaves error 0, which has no text.
    EXPECT_EQ(d.errorText, c.errorText) << c.path;
    EXPECT_EQ(d.file, c.file) << c.path;
    EXPECT_FALSE(d.partialLeft) << c.path;
    EXPECT_EQ(d.text, c.result == 1 ? c.file : "") << c.path;
    EXPECT_EQ(d.textError, c.error) << c.path;
    EXPECT_EQ(d.textErrorText, c.errorText) << c.path;
    EXPECT_EQ(OpenSlotCount(), 0) << c.path;
  }
}

const char* const kOld = "old contents";

TEST_F(HttpTest, OnlyACompleteSuccessfulResponseReplacesTheFile) {
  TestServer other(dir_.path(), {"--bind", "127.0.0.2"});
  ASSERT_GT(other.port(), 0);
  const std::string elsewhere = "http://127.0.0.2:" + std::to_string(other.port()) + "/echo/elsewhere";
  const std::vector<Expected> cases = {
      // Complete responses: no length (up to the close), chunked, redirects of every kind.
      {"/crlf", 1, 0, "", "body after crlf"},
      {"/chunked", 1, 0, "", "hello chunks0123456789"},
      {"/trickle/4/100", 1, 0, "", "ssss"},
      {"/hop/5", 1, 0, "", "after the hops"},
      {"/rel/a/b/start", 1, 0, "", "/rel/a/echo/next?x=1"},
      {"/go?" + elsewhere, 1, 0, "", "/echo/elsewhere"},
      {"/go?//127.0.0.2:" + std::to_string(other.port()) + "/echo/no-scheme", 1, 0, "", "/echo/no-scheme"},
      // A status other than 2xx: the error page is not the file (each class has a test of its own).
      {"/missing", 0, 404, "HTTP 404", kOld},
      // Broken responses.
      {"/truncated", 0, kHttpTruncatedBody, "truncated body", kOld},
      {"/chunked-cut", 0, kHttpTruncatedBody, "truncated body", kOld},
      {"/reset", 0, 10054, "10054 Connection reset by peer", kOld},
      {"/endless-header", 0, kHttpHeaderTooLong, "header too long", kOld},
      {"/unended-header", 0, kHttpHeaderNeverEnded, "header never ended", kOld},
      {"/empty", 0, kHttpHeaderNeverEnded, "header never ended", kOld},
      {"/not-http", 0, kHttpBadStatusLine, "bad status line", kOld},
      {"/binary", 0, kHttpBadStatusLine, "bad status line", kOld},
      {"/bad-length", 0, kHttpBadContentLength, "bad content length", kOld},
      {"/two-lengths", 0, kHttpBadContentLength, "bad content length", kOld},
      {"/gzip", 0, kHttpUnsupportedEncoding, "unsupported transfer encoding", kOld},
      {"/bad-chunk", 0, kHttpBadChunk, "bad chunk", kOld},
      {"/trickle/40/500", 0, kHttpTimedOut, "timed out", kOld},
      // Redirects that cannot be followed.
      {"/hop/6", 0, kHttpTooManyRedirects, "too many redirects", kOld},
      {"/loop", 0, kHttpTooManyRedirects, "too many redirects", kOld},
      {"/no-location", 0, kHttpBadRedirect, "bad redirect", kOld},
      {"/go?ftp://127.0.0.1/file", 0, kHttpBadRedirect, "bad redirect", kOld},
      {"/go?http://127.0.0.1:99999/", 0, kHttpBadRedirect, "bad redirect", kOld},
  };
  ExpectDownloads("127.0.0.1", server_.port(), cases);
}

TEST_F(HttpTest, SuccessClearsTheLastError) {
  EXPECT_EQ(NetClose(kSocketSlotCount - 1), 0);
  ASSERT_NE(NetLastError(), 0);
  const BasicString stale = NetLastErrorText();
  ASSERT_STRNE(stale.c_str(), "");
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/crlf", server_.port(), dir_.File("good").c_str(), 5000), 1);
  EXPECT_EQ(NetLastError(), 0);
  EXPECT_STREQ(NetLastErrorText().c_str(), "");
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/missing", server_.port(), dir_.File("bad").c_str(), 5000), 0);
  EXPECT_STREQ(NetLastErrorText().c_str(), "HTTP 404");
  EXPECT_EQ(Text("/lf"), "body after lf");
  EXPECT_EQ(NetLastError(), 0);
  EXPECT_STREQ(NetLastErrorText().c_str(), "");
}

// Each status class by its own rule, every response carrying a Location: only a redirect
// follows it, only a 2xx is the file (a 204 an empty one), and everything else fails with its
// status and keeps the old file, a 304 (which has no body) included.
TEST_F(HttpTest, EachStatusClassIsJudgedByItsOwnRule) {
  struct Status {
    int status;
    int32_t result;
  } statuses[] = {
      {100, 0}, {101, 0}, {200, 1}, {201, 1}, {203, 1}, {204, 1}, {301, 1}, {302, 1}, {303, 1},
      {307, 1}, {308, 1}, {300, 0}, {304, 0}, {305, 0}, {306, 0}, {400, 0}, {404, 0}, {410, 0},
      {500, 0}, {503, 0}, {599, 0},
  };
  std::vector<Expected> cases;
  std::vector<std::string> texts;
  texts.reserve(std::size(statuses));
  for (const Status& s : statuses) {
    const std::string number = std::to_string(s.status);
    texts.push_back(s.result == 1 ? "" : "HTTP " + number);
    const bool redirect = s.status >= 301 && s.status <= 308 && s.result == 1;
    const std::string file = s.result == 0        ? kOld
                             : redirect           ? "/echo/followed"
                             : s.status == 204    ? ""
                                                  : "<h1>" + number + " page</h1>";
    cases.push_back({"/status/" + number, s.result, s.result == 1 ? 0 : s.status, texts.back().c_str(), file});
  }
  ExpectDownloads("127.0.0.1", server_.port(), cases);
}

TEST_F(HttpTest, ATrickleFailsAtTheWholeRequestsTimeout) {
  // 40 bytes at one every 0.5 s would take 20 s; no single wait is longer than 0.5 s.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/trickle/40/500", server_.port(), dir_.File("slow").c_str(), 2000), 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(NetLastError(), kHttpTimedOut);
  EXPECT_GE(waited, 1.95);
  EXPECT_LT(waited, 6.0);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("slow")));
}

TEST_F(HttpTest, TheRequestIsSentExactly) {
  EXPECT_EQ(Text("/request"), "GET /request HTTP/1.0\r\nHost:127.0.0.1\r\nAccept: */*\r\nUser-Agent: Velmora\r\n\r\n");
}

BasicString Bytes(const std::string& bytes) { return BasicString(bytes.data(), static_cast<uint32_t>(bytes.size())); }

// The server and path go into the request's lines: a control byte in either (a line end would
// start a header line of the caller's making) is refused before anything is sent, by both
// calls, and an old file stays as it was.
TEST_F(HttpTest, ControlBytesInTheServerOrPathNeverReachTheServer) {
  const std::string log = dir_.File("requests.log");
  TestServer logged(dir_.path(), {"--log", log});
  ASSERT_GT(logged.port(), 0);
  struct Case {
    std::string server, path;
    int32_t error;
    const char* text;
  } cases[] = {
      {"127.0.0.1", "/request\r\nX-Injected: crlf", kHttpBadPath, "bad path"},
      {"127.0.0.1", "/request\nX-Injected: lf", kHttpBadPath, "bad path"},
      {"127.0.0.1", "/request\rX-Injected: cr", kHttpBadPath, "bad path"},
      {"127.0.0.1", std::string("/request") + '\0' + "\r\nX-Injected: nul", kHttpBadPath, "bad path"},
      {"127.0.0.1", "/request\tX-Injected: tab", kHttpBadPath, "bad path"},
      {"127.0.0.1", "/request\x7FX-Injected: del", kHttpBadPath, "bad path"},
      {"127.0.0.1\r\nX-Injected: crlf", "/request", kHttpBadServerName, "bad server name"},
      {"127.0.0.1\nX-Injected: lf", "/request", kHttpBadServerName, "bad server name"},
      {"127.0.0.1\rX-Injected: cr", "/request", kHttpBadServerName, "bad server name"},
      {"127.0.0.1 X-Injected: blank", "/request", kHttpBadServerName, "bad server name"},
  };
  for (const Case& c : cases) {
    const std::string target = dir_.File("kept");
    WriteWholeFile(target, kOld);
    SetNetLastError(10061);
    EXPECT_EQ(HttpGetToFile(Bytes(c.server), Bytes(c.path), logged.port(), target.c_str(), 3000), 0) << c.path;
    EXPECT_EQ(NetLastError(), c.error) << c.server << c.path;
    EXPECT_STREQ(NetLastErrorText().c_str(), c.text) << c.server << c.path;
    EXPECT_EQ(ReadWholeFile(target), kOld) << c.server << c.path;
    EXPECT_FALSE(std::filesystem::exists(target + ".vlmnew")) << c.server << c.path;
    SetNetLastError(10061);
    EXPECT_EQ(HttpGetToText(Bytes(c.server), Bytes(c.path), logged.port(), 4096, 3000).Length(), 0u) << c.path;
    EXPECT_EQ(NetLastError(), c.error) << c.server << c.path;
  }
  EXPECT_EQ(OpenSlotCount(), 0);
  // The one request that reached the server is the clean one made last.
  const std::string clean = "GET /request HTTP/1.0\r\nHost:127.0.0.1\r\nAccept: */*\r\nUser-Agent: Velmora\r\n\r\n";
  EXPECT_EQ(HttpGetToText("127.0.0.1", "/request", logged.port(), 4096, 3000).c_str(), clean);
  EXPECT_EQ(ReadWholeFile(log), clean);
}

// Blanks and bytes beyond ASCII, which ordinary paths hold, arrive percent-encoded (what is
// encoded already, and every other printable byte, as it is), in the file and in the text.
TEST_F(HttpTest, BlanksAndBytesBeyondAsciiInThePathArePercentEncoded) {
  struct Case {
    const char* path;
    const char* arrived;
  } cases[] = {
      {"/echo/my file.txt", "/echo/my%20file.txt"},
      {"/echo/caf\xC3\xA9/\xE2\x82\xAC \xFF", "/echo/caf%C3%A9/%E2%82%AC%20%FF"},
      {"/echo/q?name=a b&x=%41", "/echo/q?name=a%20b&x=%41"},
      {"/echo/~!$&'()*+,;=:@[]|^`{}\\\"<>", "/echo/~!$&'()*+,;=:@[]|^`{}\\\"<>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.path), c.arrived) << c.path;
    EXPECT_EQ(NetLastError(), 0) << c.path;
    const std::string target = dir_.File("encoded");
    EXPECT_EQ(HttpGetToFile("127.0.0.1", c.path, server_.port(), target.c_str(), 5000), 1) << c.path;
    EXPECT_EQ(ReadWholeFile(target), c.arrived) << c.path;
  }
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
  EXPECT_EQ(NetLastError(), kHttpMemoryFileRefused);
  EXPECT_STREQ(NetLastErrorText().c_str(), "memory file name refused");
  const std::string target = dir_.File("never");
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/crlf", net_testing::FreePort(), target.c_str(), 5000), 0);
  EXPECT_EQ(NetLastError(), 10061);
  EXPECT_STREQ(NetLastErrorText().c_str(), "10061 Connection refused");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(HttpGetToText("127.0.0.1", "/crlf", net_testing::FreePort(), 100, 5000).Length(), 0u);
  // No route: the system refuses TCP to a multicast address before sending anything.
  EXPECT_EQ(HttpGetToFile("224.0.0.1", "/crlf", 9, target.c_str(), 5000), 0);
  EXPECT_EQ(NetLastError(), 10051);
  EXPECT_STREQ(NetLastErrorText().c_str(), "10051 Network is unreachable");
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(OpenSlotCount(), 0);
}

TEST_F(HttpTest, ASilentServerFailsAtTheTimeout) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGetToFile("127.0.0.1", "/silent", server_.port(), dir_.File("silent").c_str(), 400), 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 0.39);
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(NetLastError(), kHttpTimedOut);
  EXPECT_STREQ(NetLastErrorText().c_str(), "timed out");
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

// The reader alone, fed whole and a byte at a time: the same status, fault and body either way.
TEST(ResponseReader, FramesBodiesAndFindsFaultsWhereverThePiecesAreCut) {
  using http_internal::ResponseReader;
  struct Case {
    std::string bytes;
    bool cleanEnd;  // how the stream ends after the bytes
    int status;
    int32_t fault;
    std::string body;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbodyEXTRA", true, 200, 0, "body"},
      {"HTTP/1.1 200\n\nup to the end", true, 200, 0, "up to the end"},
      {"HTTP/1.1 200\n\nup to the end", false, 200, kHttpTruncatedBody, "up to the end"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nshort", true, 200, kHttpTruncatedBody, "short"},
      {"HTTP/1.0 204 No Content\r\nContent-Length: 3\r\n\r\n", true, 204, 0, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", true, 200, 0, "abc"},
      {"HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n2;x=1\nab\n1\n\n\n0\n", true, 200, 0, "ab\n"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n", true, 200, kHttpBadChunk, "abc"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-3\r\n", true, 200, kHttpBadChunk, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(16, 'f') + "\r\n", true, 200,
       kHttpBadChunk, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", true, 200, kHttpUnsupportedEncoding, ""},
      {"HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\n", true, 200, kHttpBadContentLength, ""},
      {"HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", true, 200, kHttpBadContentLength, ""},
      {"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", true, 302, 0, ""},
      {"HTTP/2 200\r\n\r\n", true, 0, kHttpBadStatusLine, ""},
      {"HTTP/1.0 2000 OK\r\n\r\n", true, 0, kHttpBadStatusLine, ""},
      {"HTTP/1.0 099 OK\r\n\r\n", true, 0, kHttpBadStatusLine, ""},
      {"\n\nHTTP/1.0 200 OK\r\n\r\n", true, 0, kHttpBadStatusLine, ""},
      {"GARBAGE", true, 0, kHttpBadStatusLine, ""},
      {"HTTP/1.0 200 OK\r\n", true, 200, kHttpHeaderNeverEnded, ""},
      {"", true, 0, kHttpHeaderNeverEnded, ""},
      {"HTTP/1.0 200 OK\r\n" + std::string(70000, 'h'), true, 200, kHttpHeaderTooLong, ""},
  };
  for (const Case& c : cases) {
    for (size_t pieceSize : {c.bytes.size() + 1, size_t{1}}) {
      ResponseReader reader;
      std::string body;
      for (size_t at = 0; at < c.bytes.size(); at += pieceSize)
        reader.Feed(c.bytes.data() + at, std::min(pieceSize, c.bytes.size() - at), &body);
      reader.End(c.cleanEnd);
      EXPECT_EQ(reader.Status(), c.status) << c.bytes.substr(0, 60) << " / " << pieceSize;
      EXPECT_EQ(reader.Fault(), c.fault) << c.bytes.substr(0, 60) << " / " << pieceSize;
      EXPECT_EQ(reader.Done(), c.fault == 0) << c.bytes.substr(0, 60) << " / " << pieceSize;
      EXPECT_EQ(body, c.body) << c.bytes.substr(0, 60) << " / " << pieceSize;
    }
  }
  // A status line that is not HTTP fails at its first byte, without waiting for a line end.
  ResponseReader early;
  std::string body;
  early.Feed("SSH-2.0", 7, &body);
  EXPECT_EQ(early.Fault(), kHttpBadStatusLine);
}

// Certificates made for the test: a CA, a server certificate it signed for 127.0.0.21 and
// 127.0.0.24 (each test serving TLS on port 443 has an address of its own, since the tests run
// at the same time) and "localhost", and an unrelated self-signed one.
class Certificates {
 public:
  Certificates() {
    const std::string d = dir_.path();
    WriteWholeFile(d + "ext.cnf", "subjectAltName=IP:127.0.0.21,IP:127.0.0.24,DNS:localhost\n");
    WriteWholeFile(d + "page", "secret body");
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::string make =
        "cd " + d + " && openssl req -x509" + ec + "-keyout ca.key -out ca.pem -days 2 -subj /CN=VelmoraTestCA" +
        " && openssl req" + ec + "-keyout server.key -out server.csr -subj /CN=server" +
        " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2" +
        " -extfile ext.cnf && openssl req -x509" + ec + "-keyout other.key -out other.pem -days 2 -subj /CN=Other";
    made_ = std::system(("(" + make + ") >/dev/null 2>&1").c_str()) == 0;
  }
  ~Certificates() { unsetenv("SSL_CERT_FILE"); }
  bool made() const { return made_; }
  const std::string& dir() const { return dir_.path(); }
  // Server arguments: TLS with the signed certificate on address and port.
  std::vector<std::string> Serve(const std::string& address, int port) const {
    return {"--bind", address, "--port", std::to_string(port), "--cert", dir() + "server.pem", "--key",
            dir() + "server.key"};
  }
  // The CA file that HTTPS downloads trust from now on.
  void Trust(const std::string& name) const { setenv("SSL_CERT_FILE", (dir() + name).c_str(), 1); }

 private:
  TempDir dir_;
  bool made_ = false;
};

// TLS on port 443, each server on its own loopback address.
TEST(Https, CertificatesAndNamesAreVerified) {
  Certificates certificates;
  ASSERT_TRUE(certificates.made());
  const std::string d = certificates.dir();
  TestServer named(d, certificates.Serve("127.0.0.21", 443)), misnamed(d, certificates.Serve("127.0.0.22", 443));
  ASSERT_EQ(named.port(), 443);
  ASSERT_EQ(misnamed.port(), 443);

  certificates.Trust("ca.pem");
  EXPECT_STREQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).c_str(), "secret body");
  EXPECT_EQ(HttpGetToFile("127.0.0.21", "/files/page", 443, (d + "copy").c_str(), 5000), 1);
  EXPECT_EQ(ReadWholeFile(d + "copy"), "secret body");
  EXPECT_EQ(NetLastError(), 0);
  EXPECT_EQ(HttpGetToText("127.0.0.22", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(NetLastError(), kHttpCertificateFailed);
  certificates.Trust("other.pem");
  EXPECT_EQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(NetLastError(), kHttpCertificateFailed);
  EXPECT_STREQ(NetLastErrorText().c_str(), "certificate verify failed");
  EXPECT_EQ(HttpGetToFile("127.0.0.21", "/files/page", 443, (d + "copy").c_str(), 5000), 0);
  EXPECT_EQ(ReadWholeFile(d + "copy"), "secret body");
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(HttpGetToText("127.0.0.21", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(NetLastError(), kHttpCertificateFailed);
  // A plain server where TLS is expected fails the handshake, not the certificate.
  TestServer plain(d, {"--bind", "127.0.0.23", "--port", "443"});
  ASSERT_EQ(plain.port(), 443);
  EXPECT_EQ(HttpGetToText("127.0.0.23", "/files/page", 443, 100, 5000).Length(), 0u);
  EXPECT_EQ(NetLastError(), kHttpTlsFailed);
  EXPECT_STREQ(NetLastErrorText().c_str(), "TLS handshake failed");
  EXPECT_EQ(OpenSlotCount(), 0);
}

// Cut TLS streams and redirects between http and https: servers on 127.0.0.24, TLS on 443 and on
// a port of its own, plain HTTP beside them.
TEST(Https, CutStreamsFailAndRedirectsNeverLeaveTls) {
  Certificates certificates;
  ASSERT_TRUE(certificates.made());
  const std::string d = certificates.dir();
  TestServer secure(d, certificates.Serve("127.0.0.24", 443)), other(d, certificates.Serve("127.0.0.24", 0));
  TestServer plain(d, {"--bind", "127.0.0.1"});
  ASSERT_EQ(secure.port(), 443);
  ASSERT_GT(other.port(), 0);
  ASSERT_GT(plain.port(), 0);
  certificates.Trust("ca.pem");
  const std::string otherUrl = "https://127.0.0.24:" + std::to_string(other.port()) + "/files/page";
  const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plain.port()) + "/crlf";
  ExpectDownloads("127.0.0.24", 443,
                  {
                      {"/clean", 1, 0, "", "body up to the close"},
                      {"/cut", 0, kHttpTruncatedBody, "truncated body", kOld},
                      {"/truncated", 0, kHttpTruncatedBody, "truncated body", kOld},
                      {"/go?/files/page", 1, 0, "", "secret body"},
                      {"/go?//127.0.0.24/files/page", 1, 0, "", "secret body"},
                      {"/go?" + otherUrl, 1, 0, "", "secret body"},
                      {"/go?" + plainUrl, 0, kHttpRedirectToHttpRefused, "redirect to http refused", kOld},
                      {"/go?//127.0.0.1:" + std::to_string(plain.port()) + "/crlf", 0, kHttpTlsFailed,
                       "TLS handshake failed", kOld},
                  });
  ExpectDownloads("127.0.0.1", plain.port(),
                  {
                      {"/go?https://127.0.0.24/files/page", 1, 0, "", "secret body"},
                      {"/go?HTTPS://127.0.0.24:443/files/page", 1, 0, "", "secret body"},
                      {"/go?" + otherUrl, 1, 0, "", "secret body"},
                  });
}

}  // namespace
