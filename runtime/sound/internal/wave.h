// The WAVE reader: the format and the sample bytes of a RIFF/WAVE file.
#pragma once

#include <cstdint>
#include <vector>

#include "files/read_channel.h"

// The sample rates a sound buffer takes (those of the original device).
constexpr int kWaveRateMin = 100;
constexpr int kWaveRateMax = 200000;

// The WAVE format tags the runtime knows.
constexpr int kWaveTagPcm = 1;
constexpr int kWaveTagFloat = 3;
constexpr int kWaveTagALaw = 6;
constexpr int kWaveTagMuLaw = 7;
constexpr int kWaveTagExtensible = 0xFFFE;

// A WAVE file's layout: the "fmt " fields as stored and where the "data"
// chunk lies.
struct WaveHeader {
  int formatTag = 0;
  int channels = 0;
  int64_t sampleRate = 0;  // the stored 32 bits, unsigned
  int blockAlign = 0;
  int bitsPerSample = 0;
  int subFormat = 0;  // the sample format of an extensible "fmt " chunk, 0 when it has none
  int64_t dataOffset = 0;
  uint32_t dataLength = 0;
};

// Reads the layout from the channel's current position: the RIFF header,
// chunks skipped up to "fmt " (its first 16 bytes read, up to 40 when it is
// the extensible form, the rest skipped), chunks skipped up to "data", whose
// body must lie inside the file; leaves the channel at that body. Chunks are
// padded to an even length. Nothing is allocated; the format is not judged.
bool ReadWaveHeader(ReadChannel& channel, WaveHeader* header);

// A WAVE file's format and sample bytes.
struct WaveSound {
  int formatTag = 0;  // as stored; not examined
  int channels = 0;   // 1 or 2
  int sampleRate = 0;
  int blockAlign = 0;
  int bitsPerSample = 0;  // 8 (unsigned) or 16 (signed)
  std::vector<uint8_t> data;  // the "data" chunk as stored
};

// Reads a WAVE file from the channel's current position (the layout as
// ReadWaveHeader reads it), whose "data" bytes are read whole. False for any
// other layout, a chunk that runs past the end of the file, a format the
// mixer cannot play (other than 1 or 2 channels of 8 or 16 bits, a block
// alignment that does not match, a rate outside kWaveRateMin..kWaveRateMax)
// or a short read; nothing larger than the file is ever allocated.
bool ReadWave(ReadChannel& channel, WaveSound* wave);
