// The WAVE reader.
#include "sound/internal/wave.h"

#include <cstring>

#include "core/little_endian.h"

namespace {

// Real files carry a handful of chunks; a file of millions of empty ones
// would otherwise be walked header by header.
constexpr int kMostChunksSkipped = 1024;

// Reads chunk headers until one with the id; leaves the channel at its
// body and its length in *length.
bool FindChunk(ReadChannel& channel, const char* id, uint32_t* length) {
  for (int skipped = 0; skipped <= kMostChunksSkipped; ++skipped) {
    uint8_t header[8];
    if (ChannelRead(channel, header, 8) != 8) return false;
    const uint32_t size = LoadLittle32(header + 4);
    if (std::memcmp(header, id, 4) == 0) {
      *length = size;
      return true;
    }
    const int64_t skip = static_cast<int64_t>(size) + (size & 1);
    if (skip > channel.size - channel.position) return false;
    channel.position += skip;
  }
  return false;
}

// The bytes of the extensible form's "fmt " chunk up to its sample format.
constexpr uint32_t kExtensibleFormatBytes = 40;

}  // namespace

bool ReadWaveHeader(ReadChannel& channel, WaveHeader* header) {
  uint8_t riff[12];
  if (ChannelRead(channel, riff, 12) != 12) return false;
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;

  uint32_t length = 0;
  if (!FindChunk(channel, "fmt ", &length) || length < 16) return false;
  const int64_t chunkEnd = channel.position + static_cast<int64_t>(length) + (length & 1);
  if (chunkEnd > channel.size) return false;
  uint8_t format[kExtensibleFormatBytes];
  if (ChannelRead(channel, format, 16) != 16) return false;
  header->formatTag = LoadLittle16(format);
  header->channels = LoadLittle16(format + 2);
  header->sampleRate = LoadLittle32(format + 4);
  header->blockAlign = LoadLittle16(format + 12);
  header->bitsPerSample = LoadLittle16(format + 14);
  header->subFormat = 0;
  if (header->formatTag == kWaveTagExtensible && length >= kExtensibleFormatBytes &&
      ChannelRead(channel, format + 16, kExtensibleFormatBytes - 16) == kExtensibleFormatBytes - 16)
    header->subFormat = LoadLittle16(format + 24);
  channel.position = chunkEnd;

  if (!FindChunk(channel, "data", &length)) return false;
  if (static_cast<int64_t>(length) > channel.size - channel.position) return false;
  header->dataOffset = channel.position;
  header->dataLength = length;
  return true;
}

bool ReadWave(ReadChannel& channel, WaveSound* wave) {
  WaveHeader header;
  if (!ReadWaveHeader(channel, &header)) return false;
  if ((header.channels != 1 && header.channels != 2) || (header.bitsPerSample != 8 && header.bitsPerSample != 16) ||
      header.blockAlign != header.channels * header.bitsPerSample / 8 || header.sampleRate < kWaveRateMin ||
      header.sampleRate > kWaveRateMax)
    return false;
  wave->formatTag = header.formatTag;
  wave->channels = header.channels;
  wave->sampleRate = static_cast<int>(header.sampleRate);
  wave->blockAlign = header.blockAlign;
  wave->bitsPerSample = header.bitsPerSample;
  wave->data.resize(header.dataLength);
  return header.dataLength == 0 ||
         ChannelRead(channel, wave->data.data(), header.dataLength) == static_cast<int64_t>(header.dataLength);
}
