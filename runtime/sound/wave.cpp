// The WAVE reader.
#include "sound/wave.h"

#include <cstring>

namespace {

uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
int Little16(const uint8_t* p) { return p[0] | p[1] << 8; }

// Reads chunk headers until one with the id; leaves the channel at its
// body and its length in *length.
bool FindChunk(ReadChannel& channel, const char* id, uint32_t* length) {
  for (;;) {
    uint8_t header[8];
    if (ChannelRead(channel, header, 8) != 8) return false;
    const uint32_t size = Little32(header + 4);
    if (std::memcmp(header, id, 4) == 0) {
      *length = size;
      return true;
    }
    const int64_t skip = static_cast<int64_t>(size) + (size & 1);
    if (skip > channel.size - channel.position) return false;
    channel.position += skip;
  }
}

}  // namespace

bool ReadWave(ReadChannel& channel, WaveSound* wave) {
  uint8_t riff[12];
  if (ChannelRead(channel, riff, 12) != 12) return false;
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

  uint32_t length = 0;
  if (!FindChunk(channel, "fmt ", &length) || length < 16) return false;
  const int64_t rest = static_cast<int64_t>(length) + (length & 1) - 16;
  uint8_t format[16];
  if (ChannelRead(channel, format, 16) != 16 || rest > channel.size - channel.position) return false;
  channel.position += rest;
  wave->formatTag = Little16(format);
  wave->channels = Little16(format + 2);
  wave->sampleRate = static_cast<int>(Little32(format + 4) & 0x7FFFFFFF);
  wave->blockAlign = Little16(format + 12);
  wave->bitsPerSample = Little16(format + 14);
  if ((wave->channels != 1 && wave->channels != 2) || (wave->bitsPerSample != 8 && wave->bitsPerSample != 16) ||
      wave->blockAlign != wave->channels * wave->bitsPerSample / 8 || wave->sampleRate < kWaveRateMin ||
      wave->sampleRate > kWaveRateMax)
    return false;

  if (!FindChunk(channel, "data", &length)) return false;
  if (static_cast<int64_t>(length) > channel.size - channel.position) return false;
  wave->data.resize(length);
  return length == 0 || ChannelRead(channel, wave->data.data(), length) == static_cast<int64_t>(length);
}
