// The Language Server Protocol's framing as vlmls reads it from the editor:
// a header block ("Content-Length: N", other fields ignored, lines ending in
// CR LF, a blank line) and N bytes of JSON. Memory stays bounded whatever
// arrives: a body over the limit is refused and its bytes are dropped as
// they come, never stored; bytes that are no header block are skipped up to
// the next "Content-Length", so one damaged message loses only itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vlmls {

constexpr size_t kMaxBody = 16u << 20;  // a 20,000-line module is about 1 MB
constexpr size_t kMaxHeader = 4096;

class MessageReader {
 public:
  enum class Status { NeedMore, Message, Error };

  explicit MessageReader(size_t maxBody = kMaxBody) : maxBody_(maxBody) {}
  void Feed(std::string_view bytes);
  // The next complete body into *body; NeedMore when none is complete yet;
  // Error with the reason in *error for what was skipped (call again: more
  // may follow in what is buffered).
  Status Next(std::string* body, std::string* error);
  // Bytes held (never more than a header block and a body within the limit).
  size_t Buffered() const { return buffer_.size() - start_; }
  // Bytes of a refused body still to be dropped as they arrive.
  size_t Skipping() const { return skip_; }

 private:
  void Consume(size_t n);

  size_t maxBody_;
  std::string buffer_;
  size_t start_ = 0;  // bytes before this are consumed
  size_t skip_ = 0;
};

// The framed form of a body.
std::string FrameMessage(std::string_view body);

}  // namespace vlmls
