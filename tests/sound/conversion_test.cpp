// Sound conversion to the device rate: the runtime's table filter gives the
// samples FFmpeg's resampler (the converter sounds went through before it)
// gives, to within one 16-bit step, on generated signals at the rates
// sounds come in; where the table does not apply the resampler is used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio.h"

namespace {

using platform::ConvertPcm;
using platform::PcmResampler;

constexpr int kDeviceRate = 48000;
constexpr double kOneStep = 1.0 / 32768.0;

enum class Signal { kTones, kNoise, kFullScaleSquare, kClicks };

// frames x channels samples of the signal as 8-bit or 16-bit PCM bytes;
// the channels differ, so a swapped or shared channel shows.
std::vector<uint8_t> MakePcm(Signal signal, int bits, int channels, int rate, int frames) {
  std::vector<uint8_t> bytes;
  uint32_t random = 12345;
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) {
      double v = 0;  // -1 .. 1
      switch (signal) {
        case Signal::kTones:
          v = 0.45 * std::sin(2 * M_PI * (440.0 + 300 * c) * f / rate) + 0.4 * std::sin(2 * M_PI * 3700.0 * f / rate);
          break;
        case Signal::kNoise:
          random = random * 1664525u + 1013904223u;
          v = static_cast<double>(random >> 8) / (1 << 23) - 1.0;
          break;
        case Signal::kFullScaleSquare:
          v = ((f / (7 + 5 * c)) % 2) != 0 ? 1.0 : -1.0;
          break;
        case Signal::kClicks:
          v = f % (97 + c) == 0 ? 1.0 : 0.0;
          break;
      }
      if (bits == 8) {
        bytes.push_back(static_cast<uint8_t>(std::clamp(std::lround(128 + 127.5 * v), 0L, 255L)));
      } else {
        const int16_t s = static_cast<int16_t>(std::clamp(std::lround(32767.5 * v), -32768L, 32767L));
        bytes.push_back(static_cast<uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
      }
    }
  return bytes;
}

struct Difference {
  double largest = 0;
  size_t at = 0;
};
Difference Compare(const std::vector<float>& a, const std::vector<float>& b) {
  Difference d;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (std::fabs(a[i] - b[i]) > d.largest) d = {std::fabs(a[i] - b[i]), i};
  return d;
}

// Every rate pair the table takes: upsampling with and without the
// cutoff narrowing the filter, downsampling to odd and even tap counts;
// sounds in one piece of output, in several, and shared among threads.
TEST(SoundConversion, TheTableFilterGivesTheResamplersSamples) {
  const int rates[] = {8000, 11025, 22050, 32000, 44100, 47000, 50000, 88200, 96000};
  for (int rate : rates)
    for (int channels : {1, 2})
      for (int bits : {8, 16})
        for (Signal signal : {Signal::kTones, Signal::kNoise, Signal::kFullScaleSquare, Signal::kClicks})
          for (int frames : {400, rate / 3 + 7, 3 * rate}) {
            // Three seconds are converted by several threads at once; one
            // signal of that length is enough.
            if (frames == 3 * rate && signal != Signal::kNoise) continue;
            const std::string label = std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels, " +
                                      std::to_string(bits) + " bits, signal " +
                                      std::to_string(static_cast<int>(signal)) + ", " + std::to_string(frames) +
                                      " frames";
            const std::vector<uint8_t> pcm = MakePcm(signal, bits, channels, rate, frames);
            std::vector<float> table, general;
            ASSERT_TRUE(ConvertPcm(pcm.data(), pcm.size(), bits, channels, rate, kDeviceRate, PcmResampler::kTable,
                                   &table))
                << label;
            ASSERT_TRUE(ConvertPcm(pcm.data(), pcm.size(), bits, channels, rate, kDeviceRate,
                                   PcmResampler::kGeneral, &general))
                << label;
            // As many frames as the sound lasts at the device rate.
            const size_t expected = 2 * ((static_cast<size_t>(frames) * kDeviceRate + rate - 1) / rate);
            ASSERT_EQ(table.size(), expected) << label;
            ASSERT_EQ(general.size(), expected) << label;
            const Difference d = Compare(table, general);
            EXPECT_LE(d.largest, kOneStep) << label << ": " << d.largest / kOneStep << " steps at sample " << d.at;
          }
}

// The conversion is not trivial: the output follows the input (a converter
// giving silence, or the input unfiltered, would pass the comparison above
// only if the resampler did the same).
TEST(SoundConversion, AToneKeepsItsLevelAndItsChannels) {
  const int rate = 44100, frames = 44100;
  const std::vector<uint8_t> pcm = MakePcm(Signal::kTones, 16, 2, rate, frames);
  std::vector<float> out;
  ASSERT_TRUE(ConvertPcm(pcm.data(), pcm.size(), 16, 2, rate, kDeviceRate, PcmResampler::kTable, &out));
  double left = 0, right = 0, cross = 0;
  for (size_t f = 1000; f + 1000 < out.size() / 2; ++f) {
    left += out[2 * f] * out[2 * f];
    right += out[2 * f + 1] * out[2 * f + 1];
    cross += out[2 * f] * out[2 * f + 1];
  }
  const double n = static_cast<double>(out.size() / 2 - 2000);
  // Two tones of amplitude 0.45 and 0.4: a mean square of 0.181.
  EXPECT_NEAR(left / n, 0.181, 0.005);
  EXPECT_NEAR(right / n, 0.181, 0.005);
  EXPECT_LT(std::fabs(cross / n), 0.17) << "the channels are distinct";
  // A mono sound plays the same on both sides.
  const std::vector<uint8_t> mono = MakePcm(Signal::kNoise, 16, 1, rate, 2000);
  out.clear();
  ASSERT_TRUE(ConvertPcm(mono.data(), mono.size(), 16, 1, rate, kDeviceRate, PcmResampler::kTable, &out));
  for (size_t f = 0; f < out.size() / 2; ++f) ASSERT_EQ(out[2 * f], out[2 * f + 1]) << f;
}

// Where the table does not apply (a ratio needing more than 1024 phases,
// equal rates, a sound hardly longer than the filter) kTable refuses and
// kAuto gives exactly what the resampler gives; elsewhere kAuto is kTable.
TEST(SoundConversion, TheResamplerTakesWhatTheTableDoesNot) {
  struct Case {
    int rate, frames;
    bool table;
  };
  const Case cases[] = {{47999, 5000, false}, {44056, 5000, false}, {kDeviceRate, 5000, false},
                        {44100, 60, false},   {44100, 5000, true},  {96000, 5000, true}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> pcm = MakePcm(Signal::kNoise, 16, 2, c.rate, c.frames);
    std::vector<float> table, general, chosen;
    EXPECT_EQ(ConvertPcm(pcm.data(), pcm.size(), 16, 2, c.rate, kDeviceRate, PcmResampler::kTable, &table), c.table)
        << c.rate;
    ASSERT_TRUE(ConvertPcm(pcm.data(), pcm.size(), 16, 2, c.rate, kDeviceRate, PcmResampler::kGeneral, &general));
    ASSERT_TRUE(ConvertPcm(pcm.data(), pcm.size(), 16, 2, c.rate, kDeviceRate, PcmResampler::kAuto, &chosen));
    if (c.table) {
      EXPECT_EQ(chosen, table) << c.rate;
    } else {
      EXPECT_TRUE(table.empty()) << c.rate;
      EXPECT_EQ(chosen, general) << c.rate;
    }
  }
  // Formats no converter takes.
  const std::vector<uint8_t> pcm = MakePcm(Signal::kNoise, 16, 2, 44100, 1000);
  std::vector<float> out;
  EXPECT_FALSE(ConvertPcm(pcm.data(), pcm.size(), 24, 2, 44100, kDeviceRate, PcmResampler::kAuto, &out));
  EXPECT_FALSE(ConvertPcm(pcm.data(), pcm.size(), 16, 3, 44100, kDeviceRate, PcmResampler::kAuto, &out));
  EXPECT_FALSE(ConvertPcm(pcm.data(), pcm.size(), 16, 2, 44100, 0, PcmResampler::kAuto, &out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
