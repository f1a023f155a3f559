// vlmls, the language server of Velmora's BASIC: the Language Server Protocol
// on standard input and output.
//   vlmls [--stdio]
// Standard error carries the server's own complaints; standard output is the
// protocol's alone. Between messages, once none is waiting, the programs that
// changed are analyzed and their diagnostics sent.
#include <malloc.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "message_reader.h"
#include "server.h"

#ifndef VLMLS_VERSION
#define VLMLS_VERSION "0.1.0"
#endif

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool InputWaiting(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

// Each analysis builds a syntax tree of millions of small blocks and frees the one before: the
// heap keeps what it has, where the C library would hand its top back after every analysis and
// fault it in again, page by page, on the next.
void KeepTheHeap() {
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
}

}  // namespace

int main(int argc, char** argv) {
  KeepTheHeap();
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--stdio") == 0) continue;
    if (std::strcmp(argv[k], "--version") == 0) {
      std::printf("vlmls %s\n", VLMLS_VERSION);
      return 0;
    }
    if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
      std::printf("usage: vlmls [--stdio]\n"
                  "The language server of Velmora's BASIC: the Language Server Protocol on standard input and\n"
                  "output. A program's modules are those its velmora.json names ({\"modules\": [\"main.bas\", ...]},\n"
                  "module 0 first), else the .bas files of the folder.\n");
      return 0;
    }
    std::fprintf(stderr, "vlmls: unknown argument %s (try --help)\n", argv[k]);
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  bool broken = false;
  vlmls::Server server([&broken](const std::string& framed) {
    if (!broken && !WriteAll(1, framed)) broken = true;
  });
  vlmls::MessageReader reader;
  std::string buffer(1 << 16, '\0');
  std::string body, error;
  for (;;) {
    const ssize_t n = read(0, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) std::fprintf(stderr, "vlmls: reading standard input: %s\n", std::strerror(errno));
      return 1;  // the editor went away without "exit"
    }
    reader.Feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
    for (;;) {
      const vlmls::MessageReader::Status status = reader.Next(&body, &error);
      if (status == vlmls::MessageReader::Status::NeedMore) break;
      if (status == vlmls::MessageReader::Status::Error) {
        std::fprintf(stderr, "vlmls: %s\n", error.c_str());
        server.FramingError(error);
        continue;
      }
      server.Handle(body);
      if (server.Exited()) return server.ExitCode();
    }
    if (broken) return 1;
    if (!InputWaiting(0)) server.Idle();
  }
}
