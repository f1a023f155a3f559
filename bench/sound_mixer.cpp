// The sound mixer's cost and LoadSound's throughput, on SDL's disk driver
// run as fast as it goes (no delay between blocks):
//   - CPU seconds of the process per second of output with 1, 16 and 64
//     copies playing, as a share of one core, against the same device
//     playing nothing (the baseline, measured in the same run); the mixer's
//     own share is the difference;
//   - LoadSound of a 10-second WAVE (16-bit stereo at 44100 Hz, converted to
//     the device rate, and at the device's own rate) against a plain fread
//     of the same file (ratio > 1: LoadSound takes longer).
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

#include "core/clock.h"
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

std::string Wave(int rate, double seconds) {
  std::string data;
  const int frames = static_cast<int>(rate * seconds);
  for (int i = 0; i < frames; ++i) {
    const int16_t v = static_cast<int16_t>(12000 * std::sin(i * 0.05));
    for (int c = 0; c < 2; ++c) data.append(reinterpret_cast<const char*>(&v), 2);
  }
  const auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  const auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  std::string body = "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(rate) + u32(rate * 4) + u16(4) + u16(16);
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

  std::printf("LoadSound of 10 s of 16-bit stereo, against fread of the file:\n");
  for (int rate : {44100, kSoundDeviceRate}) {
    const fs::path file = folder / ("load" + std::to_string(rate) + ".wav");
    std::ofstream(file.string(), std::ios::binary) << Wave(rate, 10.0);
    const double bytes = static_cast<double>(fs::file_size(file));
    std::string buffer(static_cast<size_t>(bytes), '\0');
    const double plain = BestSeconds([&] {
      std::FILE* f = std::fopen(file.c_str(), "rb");
      if (f == nullptr || std::fread(buffer.data(), 1, buffer.size(), f) != buffer.size()) std::abort();
      std::fclose(f);
    });
    const double load = BestSeconds([&] { LoadSound(file.c_str(), 1, 1); });
    std::printf("  %6d Hz: LoadSound %8.1f MB/s, fread %8.1f MB/s, ratio %6.2f\n", rate, bytes / load / 1e6,
                bytes / plain / 1e6, load / plain);
  }
  DestroySoundSystem();
  fs::remove_all(folder);
  return 0;
}
