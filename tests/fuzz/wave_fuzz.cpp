// Feeds arbitrary bytes to the WAVE reader from a memory file of exactly
// their size: damaged headers and chunk lengths must be refused without
// reading outside the input or allocating more than it holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "files/read_channel.h"
#include "sound/internal/wave.h"

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
    }
    CloseChannel(channel);
  }
  UnregisterMemoryFile(block.get());
  return 0;
}
