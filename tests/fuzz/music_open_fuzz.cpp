// Music file opening: each input as a music file through PlayMusic, on
// SDL's disk audio driver writing to /dev/null a block a millisecond, so
// that the player really opens, starts and decodes what the runtime's
// header check accepts. The last byte picks looping (bit 0) and whether the
// file is read from a memory file of exactly its size or from a scratch
// file in the temporary folder (bit 1). The check must refuse with a reason
// or name a form; whatever it refuses never reaches the player (error 3,
// nothing playing); the result is error 0 or 3. A crash, a hang or an
// address-sanitizer report inside the player is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/core.h"
#include "files/read_channel.h"
#include "platform/platform.h"
#include "sound/internal/music_header.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"
#include "sound/sound_media.h"

namespace {

std::string g_scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  setenv("SDL_DISKAUDIODELAY", "1", 1);
  const char* tmp = std::getenv("TMPDIR");
  g_scratch = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/music-open-fuzz-" +
              std::to_string(getpid()) + ".bin";
  InitTimer();
  if (!CreateSoundDevice(nullptr)) {
    std::fprintf(stderr, "no sound device on the disk driver\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  RegisterMemoryFile(block.get(), size);
  const std::string memoryName = MemoryFileName(block.get(), size);
  const uint8_t last = size > 0 ? data[size - 1] : 0;

  bool sound = false;
  ReadChannel channel;
  if (OpenReadChannel(channel, memoryName.c_str())) {
    std::string reason;
    platform::MusicFormat format = platform::MusicFormat::kWave;
    sound = CheckMusicHeader(channel, &format, &reason);
    if (sound != reason.empty()) std::abort();
    CloseChannel(channel);
  }
  std::string name = memoryName;
  if ((last & 2) != 0) {
    FILE* file = std::fopen(g_scratch.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
    name = g_scratch;
  }
  PlayMusic(name.c_str(), last & 1);
  const int32_t error = LastErrorCode;
  if (error != kErrorNone && error != kErrorNoSuchFile) std::abort();
  if (!sound && (error != kErrorNoSuchFile || MusicPlaying() != 0)) std::abort();
  if (error == kErrorNone) {
    // A few blocks through the decoder (a few milliseconds on this driver).
    const int64_t until = MixedFrames() + 3 * 1024;
    for (int i = 0; i < 2000 && MixedFrames() < until; ++i) platform::SleepMs(1);
    SetMusicVolume(0.5);
    PauseMusic(1);
    PauseMusic(0);
    RestartMusic();
  }
  StopMusic();
  UnregisterMemoryFile(block.get());
  return 0;
}
