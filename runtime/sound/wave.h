// The WAVE reader: the format and the sample bytes of a RIFF/WAVE file.
#pragma once

#include <cstdint>
#include <vector>

#include "files/files.h"

// The sample rates a sound buffer takes (those of the original device).
constexpr int kWaveRateMin = 100;
constexpr int kWaveRateMax = 200000;

// A WAVE file's format and sample bytes.
struct WaveSound {
  int formatTag = 0;  // as stored; not examined
  int channels = 0;   // 1 or 2
  int sampleRate = 0;
  int blockAlign = 0;
  int bitsPerSample = 0;  // 8 (unsigned) or 16 (signed)
  std::vector<uint8_t> data;  // the "data" chunk as stored
};

// Reads a WAVE file from the channel's current position: the RIFF header,
// chunks skipped up to "fmt " (its first 16 bytes read, the rest skipped),
// chunks skipped up to "data", whose bytes are read whole. Chunks are padded
// to an even length. False for any other layout, a chunk that runs past the
// end of the file, a format the mixer cannot play (other than 1 or 2
// channels of 8 or 16 bits, a block alignment that does not match, a rate
// outside kWaveRateMin..kWaveRateMax) or a short read; nothing larger than
// the file is ever allocated.
bool ReadWave(ReadChannel& channel, WaveSound* wave);
