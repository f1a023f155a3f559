// Music file opening: each input as a music file, from a memory file of
// exactly its size, through PlayMusic on SDL's dummy audio driver. The
// runtime's header check and the player's own opening must refuse damaged
// files with error 3 and nothing playing; a file the check refuses never
// reaches the player.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/core.h"
#include "files/read_channel.h"
#include "sound/internal/music_header.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  InitTimer();
  if (!CreateSoundDevice(nullptr)) {
    std::fprintf(stderr, "no sound device on the dummy driver\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  RegisterMemoryFile(block.get(), size);
  const std::string name = MemoryFileName(block.get(), size);

  bool sound = false;
  ReadChannel channel;
  if (OpenReadChannel(channel, name.c_str())) {
    std::string reason;
    sound = CheckMusicHeader(channel, &reason);
    if (!sound && reason.empty()) std::abort();
    CloseChannel(channel);
  }
  // The loop flag from the last byte: looping pieces take another path.
  PlayMusic(name.c_str(), size > 0 ? data[size - 1] & 1 : 0);
  const int32_t error = LastErrorCode;
  if (error != kErrorNone && error != kErrorNoSuchFile) std::abort();
  if (!sound && (error != kErrorNoSuchFile || MusicPlaying() != 0)) std::abort();
  SetMusicVolume(0.5);
  PauseMusic(1);
  PauseMusic(0);
  StopMusic();
  UnregisterMemoryFile(block.get());
  return 0;
}
