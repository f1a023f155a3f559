// The sound mixer's cost and LoadSound's throughput, on SDL's disk driver
// run as fast as it goes (no delay between blocks):
//   - CPU seconds of the process per second of output with 1, 16 and 64
//     copies playing, as a share of one core, against the same device
//     playing nothing (the baseline, measured in the same run); the mixer's
//     own share is the difference;
//   - LoadSound of a 10-second WAVE (16-bit stereo and mono at 44100 and
//     22050 Hz, converted to the device rate, and at the device's own rate)
//     against a plain fread of the same file (ratio > 1: LoadSound takes
//     longer), and the conversion alone by the runtime's table filter
//     against FFmpeg's resampler (the converter LoadSound used before).
//   sound_mixer [folder]   (default: $TMPDIR or /tmp)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "platform/audio.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

namespace fs = std::filesystem;

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Wave(int rate, double seconds, int channels = 2) {
  std::string data;
  const int frames = static_cast<int>(rate * seconds);
  for (int i = 0; i < frames; ++i) {
    const int16_t v = static_cast<int16_t>(12000 * std::sin(i * 0.05));
    for (int c = 0; c < channels; ++c) data.append(reinterpret_cast<const char*>(&v), 2);
  }
  const auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  const auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  const uint16_t align = static_cast<uint16_t>(2 * channels);
  std::string body = "WAVEfmt " + u32(16) + u16(1) + u16(static_cast<uint16_t>(channels)) + u32(rate) +
                     u32(rate * align) + u16(align) + u16(16);
  body += "data" + u32(static_cast<uint32_t>(data.size())) + data;
  return "RIFF" + u32(static_cast<uint32_t>(body.size())) + body;
}

// CPU share of one core per second of output while `copies` copies play.
double MixShare(const fs::path& output, int copies) {
  StopAllSounds();
  for (int i = 0; i < copies; ++i) PlaySound(100 + i / 4, 0, 0.5);
  // Ten seconds of output, well inside the 20-second sound.
  const auto size0 = fs::file_size(output);
  const double cpu0 = CpuSeconds();
  while (fs::file_size(output) - size0 < 10ull * 8 * kSoundDeviceRate) platform::SleepMs(5);
  const double cpu = CpuSeconds() - cpu0;
  const double seconds = static_cast<double>(fs::file_size(output) - size0) / (8.0 * kSoundDeviceRate);
  return seconds > 0 ? cpu / seconds : 0.0;
}

double BestSeconds(const std::function<void()>& work) {
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path folder = fs::path(argc > 1 ? argv[1] : (tmp != nullptr ? tmp : "/tmp")) / "velmora-sound-bench";
  fs::create_directories(folder);
  const fs::path output = folder / "output.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
  InitTimer();
  if (!CreateSoundDevice(nullptr)) {
    std::fprintf(stderr, "no disk audio device\n");
    return 1;
  }
  const std::string longSound = Wave(kSoundDeviceRate, 20.0);
  std::ofstream((folder / "long.wav").string(), std::ios::binary) << longSound;
  for (int slot = 0; slot < 16; ++slot) LoadSound((folder / "long.wav").c_str(), 100 + slot, 4);

  std::printf("mixer, CPU per second of output (share of one core):\n");
  const double base = MixShare(output, 0);
  std::printf("  %-30s %8.4f\n", "nothing playing (baseline)", base);
  for (int copies : {1, 16, 64}) {
    const double share = MixShare(output, copies);
    std::printf("  %2d copies playing %12s %8.4f   mixer %8.4f   x base %6.2f\n", copies, "", share,
                std::max(0.0, share - base), base > 0 ? share / base : 0.0);
  }
  StopAllSounds();
  // The loads are timed with the device writing a block only every half
  // second, so that its thread does not take the processor the loads run on.
  DestroySoundSystem();
  setenv("SDL_DISKAUDIODELAY", "500", 1);
  if (!CreateSoundDevice(nullptr)) {
    std::fprintf(stderr, "no disk audio device\n");
    return 1;
  }

  std::printf("LoadSound of 10 s of 16-bit sound, against fread of the file; the conversion alone by the\n"
              "table filter and by FFmpeg's resampler (MB/s of WAVE data):\n");
  std::printf("  %-16s %10s %10s %10s %10s %12s %12s\n", "", "LoadSound", "fread", "table", "FFmpeg",
              "fread/Load", "table/FFmpeg");
  struct Case {
    int rate, channels;
  };
  for (const Case& c : {Case{44100, 2}, Case{44100, 1}, Case{22050, 2}, Case{kSoundDeviceRate, 2}}) {
    const fs::path file = folder / ("load" + std::to_string(c.rate) + "_" + std::to_string(c.channels) + ".wav");
    const std::string wave = Wave(c.rate, 10.0, c.channels);
    std::ofstream(file.string(), std::ios::binary) << wave;
    const double bytes = static_cast<double>(fs::file_size(file));
    std::string buffer(static_cast<size_t>(bytes), '\0');
    const double plain = BestSeconds([&] {
      std::FILE* f = std::fopen(file.c_str(), "rb");
      if (f == nullptr || std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size()) std::abort();
      std::fclose(f);
    });
    const double load = BestSeconds([&] { LoadSound(file.c_str(), 1, 1); });
    // The sample bytes start after the 44-byte header.
    const auto* samples = reinterpret_cast<const uint8_t*>(wave.data()) + 44;
    const uint64_t sampleBytes = wave.size() - 44;
    std::vector<float> converted;
    // The table filter does not apply at the device's own rate, where only
    // the sample format changes (-1: not measured).
    const auto convert = [&](platform::PcmResampler how) {
      bool ok = true;
      const double seconds = BestSeconds([&] {
        converted.clear();
        ok = platform::ConvertPcm(samples, sampleBytes, 16, c.channels, c.rate, kSoundDeviceRate, how, &converted);
      });
      return ok ? seconds : -1.0;
    };
    const double table = convert(platform::PcmResampler::kTable);
    const double general = convert(platform::PcmResampler::kGeneral);
    char label[32];
    std::snprintf(label, sizeof label, "%d Hz %s", c.rate, c.channels == 2 ? "stereo" : "mono");
    std::printf("  %-16s %10.1f %10.1f", label, bytes / load / 1e6, bytes / plain / 1e6);
    if (table > 0)
      std::printf(" %10.1f", bytes / table / 1e6);
    else
      std::printf(" %10s", "-");
    std::printf(" %10.1f %12.2f", bytes / general / 1e6, load / plain);
    if (table > 0)
      std::printf(" %12.2f\n", general / table);
    else
      std::printf(" %12s\n", "-");
  }
  DestroySoundSystem();
  fs::remove_all(folder);
  return 0;
}
