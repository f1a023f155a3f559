// The Debug Adapter Protocol's framing: each message is a header block
// ("Content-Length: N", other header lines ignored, a blank line, all lines
// ending in CR LF) followed by N bytes of JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dap {

// Largest body and header block accepted; a client that announces more is
// broken, not slow.
constexpr size_t kMaxBody = 64u << 20;
constexpr size_t kMaxHeader = 8192;

// Collects bytes from a stream and cuts them into message bodies.
class FrameReader {
 public:
  enum class Status { NeedMore, Message, Error };

  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  // The next complete body into *body, NeedMore when none is complete yet,
  // or Error with a message in *error: the bad header block is dropped and
  // reading goes on after it, so one damaged message loses only itself.
  Status Next(std::string* body, std::string* error);
  size_t Buffered() const { return buffer_.size() - start_; }

 private:
  void Compact();

  std::string buffer_;
  size_t start_ = 0;  // bytes before this are consumed
};

// The framed form of a body.
std::string FrameMessage(std::string_view body);

}  // namespace dap
