// Readers and writers of a peer's bytes: the HTTP header scanner and the session's 7-byte message framing.
#include "net/internal/wire.h"

#include "core/little_endian.h"

int64_t HeaderEndScanner::Scan(const char* bytes, int64_t count) {
  if (done_) return 0;
  for (int64_t i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (++lineFeeds_ == 2) {
        done_ = true;
        return i + 1;
      }
    } else if (c != '\r') {
      lineFeeds_ = 0;
    }
  }
  return -1;
}

void EncodeMessage(uint8_t type, uint16_t to, uint16_t from, const void* payload, size_t length,
                   std::vector<char>* out) {
  if (length > kMaxPayload) length = kMaxPayload;
  char header[kWireHeaderSize];
  header[0] = static_cast<char>(type);
  StoreLittle16(header + 1, static_cast<uint16_t>(length));
  StoreLittle16(header + 3, to);
  StoreLittle16(header + 5, from);
  out->insert(out->end(), header, header + kWireHeaderSize);
  const char* bytes = static_cast<const char*>(payload);
  if (length > 0) out->insert(out->end(), bytes, bytes + length);
}

bool MessageReader::Feed(const char* bytes, size_t count) {
  if (broken_) return false;
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  // Check every header now complete, so a bad length is caught before its payload is waited for.
  size_t at = start_;
  while (at <= buffer_.size() && buffer_.size() - at >= kWireHeaderSize) {
    const size_t length = LoadLittle16(&buffer_[at + 1]);
    if (length > kMaxPayload) {
      broken_ = true;
      buffer_.clear();
      start_ = 0;
      return false;
    }
    at += kWireHeaderSize + length;
  }
  return true;
}

bool MessageReader::Next(WireMessage* message) {
  if (broken_ || buffer_.size() - start_ < kWireHeaderSize) return false;
  const char* h = buffer_.data() + start_;
  const size_t length = LoadLittle16(h + 1);
  if (buffer_.size() - start_ < kWireHeaderSize + length) return false;
  message->type = static_cast<uint8_t>(h[0]);
  message->to = LoadLittle16(h + 3);
  message->from = LoadLittle16(h + 5);
  message->payload.assign(h + kWireHeaderSize, h + kWireHeaderSize + length);
  start_ += kWireHeaderSize + length;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ > (1u << 16)) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  return true;
}

