// Shared by the sound tests: WAVE files made from tones, and a device on
// SDL's disk driver whose output file the tests read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/clock.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_media.h"
#include "sound/sound_internal.h"
#include "support/child_process.h"

namespace sound_test {

using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

struct Tone {
  int bits = 16;
  int channels = 1;
  int rate = kSoundDeviceRate;
  double frequency = 750.0;
  double seconds = 0.1;
  double amplitude = 0.5;  // of full scale
  int fmtLength = 16;      // a longer "fmt " chunk carries zero bytes after the 16
  bool unknownChunk = false;  // an odd-length "LIST" chunk before "data"
};

inline void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

// A sine tone as a WAVE file: every channel carries the same tone.
inline std::string MakeWave(const Tone& t) {
  std::string data;
  const int frames = static_cast<int>(std::lround(t.seconds * t.rate));
  for (int i = 0; i < frames; ++i) {
    const double x = t.amplitude * std::sin(2.0 * M_PI * t.frequency * i / t.rate);
    for (int c = 0; c < t.channels; ++c) {
      if (t.bits == 8)
        data += static_cast<char>(static_cast<uint8_t>(std::lround(128.0 + 127.0 * x)));
      else
        Put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767.0 * x))));
    }
  }
  const int align = t.channels * t.bits / 8;
  std::string body = "WAVE";
  body += "fmt ";
  Put32(body, static_cast<uint32_t>(t.fmtLength));
  Put16(body, 1);
  Put16(body, static_cast<uint32_t>(t.channels));
  Put32(body, static_cast<uint32_t>(t.rate));
  Put32(body, static_cast<uint32_t>(t.rate * align));
  Put16(body, static_cast<uint32_t>(align));
  Put16(body, static_cast<uint32_t>(t.bits));
  body += std::string(static_cast<size_t>(t.fmtLength - 16), '\0');
  if (t.unknownChunk) {
    body += "LIST";
    Put32(body, 5);
    body += std::string("abcde") + '\0';  // padded to an even length
  }
  body += "data";
  Put32(body, static_cast<uint32_t>(data.size()));
  body += data;
  std::string file = "RIFF";
  Put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

// WAVE files chunk by chunk, for the music file check.
inline std::string Chunk(const char* id, const std::string& body) {
  std::string c = id;
  Put32(c, static_cast<uint32_t>(body.size()));
  return c + body;
}
inline std::string Fmt(int channels = 2, uint32_t rate = 44100, int bits = 16) {
  std::string f;
  Put16(f, 1);
  Put16(f, static_cast<uint32_t>(channels));
  Put32(f, rate);
  Put32(f, rate * static_cast<uint32_t>(channels * bits / 8));
  Put16(f, static_cast<uint32_t>(channels * bits / 8));
  Put16(f, static_cast<uint32_t>(bits));
  return Chunk("fmt ", f);
}
inline std::string Data(size_t bytes = 400) { return Chunk("data", std::string(bytes, '\0')); }
inline std::string Riff(const std::string& chunks, const char* form = "WAVE", const char* magic = "RIFF") {
  std::string file = magic;
  Put32(file, static_cast<uint32_t>(4 + chunks.size()));
  return file + form + chunks;
}

// A file whose odd-length first chunk is padded: a walk that pads finds a
// sound "fmt " and "data"; the player, which does not pad, reads its next
// header one byte early, where a chunk of 0x120 bytes takes it into the
// body of a chunk the padded walk skips, onto inner.
inline std::string OddChunkFile(const std::string& inner) {
  std::string b = Chunk("JUNK", "abcde");  // 12..24
  b += 'x';                                 // 25: the pad byte
  b += std::string("yz\0\x20", 4);          // the padded walk: a chunk "yz\0 " of 1 byte (and its pad)
  Put32(b, 1);
  b += std::string("q\0", 2);               // 26..35; unpadded: a length of 0x120 from 33, to 321
  std::string skipped(400, '\0');           // the padded walk's next chunk, its body at 44..443
  skipped.replace(321 - 44, inner.size(), inner);
  b += Chunk("skip", skipped);
  return Riff(b + Fmt() + Data());
}

// Waits until the test's condition holds; false after ten seconds.
template <typename Condition>
inline bool WaitFor(Condition done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    platform::SleepMs(5);
  }
  return false;
}
// Waits until the device has mixed at least frames more.
inline bool WaitFrames(int64_t frames) {
  const int64_t until = MixedFrames() + frames;
  return WaitFor([&] { return MixedFrames() >= until; });
}


// A device on the disk driver: it plays in real time into a file.
class DiskDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir_.File("output.raw").c_str(), 1);
    InitTimer();
    ASSERT_TRUE(CreateSoundDevice(nullptr));
  }
  void TearDown() override { DestroySoundSystem(); }

  std::string WriteFile(const std::string& name, const std::string& bytes) {
    WriteWholeFile(dir_.File(name), bytes);
    return dir_.File(name);
  }

  // Closes the device; the stereo frames [from, to) it played.
  std::vector<float> Played(int64_t from, int64_t to) {
    DestroySoundSystem();
    const std::string bytes = ReadWholeFile(dir_.File("output.raw"));
    std::vector<float> all(bytes.size() / sizeof(float));
    std::memcpy(all.data(), bytes.data(), all.size() * sizeof(float));
    from = std::min<int64_t>(from * 2, static_cast<int64_t>(all.size()));
    to = std::min<int64_t>(to * 2, static_cast<int64_t>(all.size()));
    return std::vector<float>(all.begin() + from, all.begin() + to);
  }

 public:
  TempDir dir_;
};

// Sum of the squared samples of one side (0 left, 1 right) of stereo frames.
inline double Energy(const std::vector<float>& frames, int side) {
  double sum = 0.0;
  for (size_t i = side; i < frames.size(); i += 2) sum += static_cast<double>(frames[i]) * frames[i];
  return sum;
}

}  // namespace sound_test
