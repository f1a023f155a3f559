// Feeds arbitrary bytes to the WAVE reader from a memory file of exactly
// their size: damaged headers and chunk lengths must be refused without
// reading outside the input or allocating more than it holds. What it
// accepts is converted to the device rate as LoadSound converts it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/read_channel.h"
#include "platform/audio.h"
#include "sound/internal/wave.h"

namespace {

constexpr int kDeviceRate = 48000;
// Longer conversions (a slow rate grows up to 480 times) are left out to
// keep each run short.
constexpr uint64_t kMostFrames = 1 << 20;

// Every frame the sound lasts at the device rate, each of them finite.
void ConvertAccepted(const WaveSound& wave) {
  const uint64_t frames = wave.data.size() / static_cast<uint64_t>(wave.blockAlign);
  const uint64_t expected = (frames * kDeviceRate + static_cast<uint64_t>(wave.sampleRate) - 1) /
                            static_cast<uint64_t>(wave.sampleRate);
  if (expected > kMostFrames) return;
  std::vector<float> out;
  if (!platform::ConvertPcm(wave.data.data(), wave.data.size(), wave.bitsPerSample, wave.channels, wave.sampleRate,
                            kDeviceRate, platform::PcmResampler::kAuto, &out))
    std::abort();
  if (frames > 0 && out.size() != 2 * expected) std::abort();
  for (float v : out)
    if (!std::isfinite(v)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  RegisterMemoryFile(block.get(), size);
  ReadChannel channel;
  if (OpenReadChannel(channel, MemoryFileName(block.get(), size).c_str())) {
    WaveSound wave;
    if (ReadWave(channel, &wave)) {
      // What was accepted is playable as described and lies inside the input.
      if (wave.data.size() > size || (wave.channels != 1 && wave.channels != 2) ||
          (wave.bitsPerSample != 8 && wave.bitsPerSample != 16) ||
          wave.blockAlign != wave.channels * wave.bitsPerSample / 8 || wave.sampleRate < kWaveRateMin ||
          wave.sampleRate > kWaveRateMax)
        std::abort();
      if (!wave.data.empty() && std::memcmp(wave.data.data(), block.get() + (channel.position - wave.data.size()),
                                            wave.data.size()) != 0)
        std::abort();
      ConvertAccepted(wave);
    }
    CloseChannel(channel);
  }
  UnregisterMemoryFile(block.get());
  return 0;
}
