// Feeds an editor's byte stream to the language server's message reader in
// pieces the input chooses, with a small body limit so refused bodies are
// common. The bodies must be exactly those of one feed of the whole stream,
// none over the limit, and what the reader holds stays within a header block
// and one body; every body goes to the JSON reader, whose output must read
// back to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "json.h"
#include "message_reader.h"

namespace {

constexpr size_t kLimit = 512;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "vlmls messages: %s\n", what);
    std::abort();
  }
}

void Drain(vlmls::MessageReader& reader, std::vector<std::string>& bodies) {
  for (;;) {
    std::string body, error;
    const auto status = reader.Next(&body, &error);
    if (status == vlmls::MessageReader::Status::NeedMore) break;
    if (status == vlmls::MessageReader::Status::Message) {
      Check(body.size() <= kLimit, "a body over the limit");
      bodies.push_back(body);
    } else {
      Check(!error.empty(), "an error without a reason");
    }
  }
  Check(reader.Buffered() <= vlmls::kMaxHeader + 4 + kLimit, "more held than a header block and a body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 61;
  const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

  vlmls::MessageReader whole(kLimit);
  std::vector<std::string> expected;
  whole.Feed(stream);
  Drain(whole, expected);

  vlmls::MessageReader pieces(kLimit);
  std::vector<std::string> got;
  for (size_t at = 0; at < stream.size(); at += piece) {
    pieces.Feed(std::string_view(stream).substr(at, piece));
    Drain(pieces, got);
  }
  Check(got == expected, "pieces and the whole stream give different bodies");

  for (const std::string& body : expected) {
    json::Value value;
    std::string error;
    if (!json::Parse(body, &value, &error)) {
      Check(!error.empty(), "a refused body without a reason");
      continue;
    }
    const std::string text = json::Write(value);
    json::Value again;
    Check(json::Parse(text, &again, &error), "the writer's text does not read back");
    Check(json::Write(again) == text, "the writer's text is not a fixed point");
  }
  return 0;
}
