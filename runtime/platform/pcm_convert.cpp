// Whole sounds converted to the device's frames with FFmpeg's resampler.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

#include "platform/audio.h"

namespace platform {

namespace {
const double kMonoToBoth[2] = {1.0, 1.0};  // left and right from the one channel
}  // namespace

bool ConvertPcmToDevice(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate,
                        std::vector<float>* out) {
  const int deviceRate = AudioRate();
  if (deviceRate <= 0 || (bits != 8 && bits != 16) || channels < 1 || channels > 2 || rate <= 0) return false;
  AVChannelLayout inLayout, outLayout;
  av_channel_layout_default(&inLayout, channels);
  av_channel_layout_default(&outLayout, 2);
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_FLT, deviceRate, &inLayout,
                          bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, rate, 0, nullptr) != 0 ||
      // A mono sound plays at full level on both sides.
      (channels == 1 && swr_set_matrix(swr, kMonoToBoth, 1) < 0) || swr_init(swr) != 0) {
    swr_free(&swr);
    return false;
  }
  const uint64_t frameBytes = static_cast<uint64_t>(channels) * static_cast<uint64_t>(bits / 8);
  const uint64_t inFrames = bytes / frameBytes;
  const uint64_t frames = (inFrames * static_cast<uint64_t>(deviceRate) + static_cast<uint64_t>(rate) - 1) /
                          static_cast<uint64_t>(rate);
  const size_t start = out->size();
  out->resize(start + frames * 2 + 2 * 64);
  // Fed in pieces (the resampler takes int counts); an empty piece flushes.
  constexpr uint64_t kPiece = 1 << 18;
  uint64_t made = 0, at = 0;
  bool ok = true;
  while (ok) {
    const uint64_t n = std::min(inFrames - at, kPiece);
    const uint8_t* in[1] = {data + at * frameBytes};
    const int room = static_cast<int>(std::min<uint64_t>((out->size() - start) / 2 - made, 0x7FFFFFFF));
    uint8_t* to[1] = {reinterpret_cast<uint8_t*>(out->data() + start + made * 2)};
    const int got = swr_convert(swr, to, room, n == 0 ? nullptr : in, static_cast<int>(n));
    ok = got >= 0;
    if (ok) made += static_cast<uint64_t>(got);
    if (n == 0) break;
    at += n;
  }
  swr_free(&swr);
  if (!ok) {
    out->resize(start);
    return false;
  }
  // As many frames as the sound lasts; the resampler's tail may fall short.
  if (made > frames) made = frames;
  out->resize(start + made * 2);
  if (made < frames) out->resize(start + frames * 2, 0.0f);
  return true;
}

}  // namespace platform
