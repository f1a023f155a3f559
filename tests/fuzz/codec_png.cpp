// libFuzzer target: ReadPNG on arbitrary bytes given as a memory file. A
// successful read must produce a consistent picture (CheckReadResult). The
// same bytes are also read row by row into a sink, whole and reduced to a
// small limit: the sink must be told the size first and then get every row
// once, in order, the same rows the picture holds; a refused read may stop
// part way but never gives a row outside the size it announced.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec_fuzz_input.h"
#include "files/read_channel.h"
#include "gfx2d/picture.h"

namespace {
constexpr int32_t kSpriteKey = 0x8000FF;

class CheckingSink : public PictureRowSink {
 public:
  bool Begin(int32_t width, int32_t height, bool ownAlpha) override {
    if (begun || width <= 0 || height <= 0) std::abort();
    begun = true;
    this->width = width;
    this->height = height;
    this->ownAlpha = ownAlpha;
    rows.reserve(static_cast<size_t>(width) * 4 * 16);
    return true;
  }
  void Row(int32_t y, const uint8_t* rgba) override {
    if (!begun || y != next) std::abort();
    ++next;
    if (next > height) std::abort();
    rows.insert(rows.end(), rgba, rgba + static_cast<size_t>(width) * 4);
  }
  bool begun = false, ownAlpha = false;
  int32_t width = 0, height = 0, next = 0;
  std::vector<uint8_t> rows;
};

// Reads the input into a picture and into a sink under the same limit.
void CompareWithSink(const char* name, int32_t maxSide) {
  Picture picture;
  DecodeLimits pictureLimits, sinkLimits;
  pictureLimits.maxSide = sinkLimits.maxSide = maxSide;
  ReadChannel channel;
  if (!OpenReadChannel(channel, name)) std::abort();
  const bool read = ReadPNG(picture, channel, kSpriteKey, name, &pictureLimits);
  CheckReadResult(read, picture);
  channel.position = 0;
  CheckingSink sink;
  const bool streamed = ReadPNG(sink, channel, kSpriteKey, name, &sinkLimits);
  CloseChannel(channel);
  if (streamed != read || sinkLimits.fault != pictureLimits.fault) std::abort();
  if (!read) return;
  if (sink.width != picture.width || sink.height != picture.height || sink.next != sink.height ||
      sink.ownAlpha != (picture.ownAlpha != 0))
    std::abort();
  if (std::memcmp(sink.rows.data(), picture.pixels, sink.rows.size()) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMemoryFile input(data, size);
  Picture picture;
  CheckReadResult(ReadPNG(picture, input.name(), kSpriteKey), picture);
  CompareWithSink(input.name(), kMaxPictureSide);
  CompareWithSink(input.name(), 24);
  return 0;
}
