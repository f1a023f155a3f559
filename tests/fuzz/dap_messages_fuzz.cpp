// Feeds a client's byte stream to the debug adapter's message framing in
// pieces the input chooses, and every body to the JSON reader. The bodies
// must be exactly those of one feed of the whole stream; a body that reads
// as JSON must write out as text that reads back to the same text (the
// writer's output is a fixed point), and code-page conversions must round
// trip.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framing.h"
#include "json.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "dap messages: %s\n", what);
    std::abort();
  }
}

std::vector<std::string> Bodies(dap::FrameReader& reader) {
  std::vector<std::string> bodies;
  for (;;) {
    std::string body, error;
    const auto status = reader.Next(&body, &error);
    if (status == dap::FrameReader::Status::NeedMore) return bodies;
    if (status == dap::FrameReader::Status::Message) bodies.push_back(body);
    else Check(!error.empty(), "an error without a message");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 97;
  const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

  dap::FrameReader whole;
  whole.Feed(stream);
  const std::vector<std::string> expected = Bodies(whole);

  dap::FrameReader pieces;
  std::vector<std::string> got;
  for (size_t at = 0; at < stream.size(); at += piece) {
    pieces.Feed(std::string_view(stream).substr(at, piece));
    for (std::string& b : Bodies(pieces)) got.push_back(std::move(b));
  }
  // A header block cut at a piece boundary may be judged at another moment,
  // but never differently: the same bodies come out.
  Check(got == expected, "pieces and the whole stream give different bodies");

  for (const std::string& text : expected.empty() ? std::vector<std::string>{stream} : expected) {
    json::Value value;
    std::string error;
    if (!json::Parse(text, &value, &error)) {
      Check(!error.empty(), "a refusal without a message");
      continue;
    }
    const std::string written = json::Write(value);
    json::Value again;
    Check(json::Parse(written, &again, &error), "the writer's text does not read back");
    Check(json::Write(again) == written, "writing is not a fixed point");
  }
  std::string bytes;
  if (json::Utf8ToLatin1(stream, &bytes)) Check(json::Latin1ToUtf8(bytes) == stream, "code-page round trip");
  Check(json::Utf8ToLatin1(json::Latin1ToUtf8(stream), &bytes) && bytes == stream, "Latin-1 round trip");
  return 0;
}
