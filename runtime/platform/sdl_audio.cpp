// The audio device, PCM conversion and the music player over SDL2 and SDL2_mixer.
#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/audio.h"

namespace platform {

struct MusicPiece {
  Mix_Music* music = nullptr;
  std::vector<uint8_t> bytes;  // the encoded file when it came from memory
};

struct PcmConverter {
  SDL_AudioStream* stream = nullptr;
  int channels = 2;  // of the samples put in
};

namespace {

// Samples per channel in one device block: about 21 ms at 48 kHz.
constexpr int kBlockFrames = 1024;

struct AudioState {
  bool open = false;
  int rate = 0;
  AudioMixFunction mix = nullptr;
  void* user = nullptr;
  std::atomic<float> musicGain{1.0f};
  MusicPiece* playing = nullptr;
  // Taken by the audio thread around the mix function and by the main thread
  // around what it reads; no mixer-library call is made while it is held.
  std::recursive_mutex lock;
};

AudioState& State() {
  static AudioState state;
  return state;
}

// ---------------------------------------------------------------- library messages

// ALSA writes its complaints (eight lines and more on a machine without a
// sound card, many of them over and over as devices are looked for) to
// standard error unless given a handler. They are dropped: the device's
// failure is reported once by the caller, with SDL's reason.
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

struct OpenFailure {
  std::mutex lock;
  std::string text;
};

OpenFailure& LastOpenFailure() {
  static OpenFailure failure;
  return failure;
}

// Gives ALSA the handler before the audio driver loads it. The driver opens
// the library by the same name, so it gets this instance, which is never
// closed (the handler must outlive every call into it).
void RouteAlsaMessages() {
  static bool routed = false;
  if (routed) return;
  routed = true;
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (alsa == nullptr) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  auto* setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (setHandler != nullptr) setHandler(DropAlsaMessage);
}

void SetOpenFailure(const char* text) {
  OpenFailure& f = LastOpenFailure();
  const std::lock_guard<std::mutex> hold(f.lock);
  f.text = text != nullptr ? text : "";
}

// Runs on the audio thread after the music player has filled the block.
void PostMix(void*, Uint8* stream, int bytes) {
  AudioState& s = State();
  float* frames = reinterpret_cast<float*>(stream);
  const int samples = bytes / static_cast<int>(sizeof(float));
  const float gain = s.musicGain.load(std::memory_order_relaxed);
  if (gain != 1.0f)
    for (int i = 0; i < samples; ++i) frames[i] *= gain;
  const std::lock_guard<std::recursive_mutex> hold(s.lock);
  if (s.mix != nullptr) s.mix(frames, samples / 2, s.user);
}

}  // namespace

bool OpenAudio(int rate, AudioMixFunction mix, void* user) {
  AudioState& s = State();
  if (s.open) CloseAudio();
  RouteAlsaMessages();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    SetOpenFailure(SDL_GetError());
    return false;
  }
  Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_MOD);
  // No changes allowed: SDL converts to whatever the hardware takes, so the
  // mix always sees float stereo at the rate asked for.
  if (Mix_OpenAudioDevice(rate, AUDIO_F32SYS, 2, kBlockFrames, nullptr, 0) != 0) {
    SetOpenFailure(Mix_GetError());
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SetOpenFailure("");
  Mix_AllocateChannels(0);
  Mix_VolumeMusic(MIX_MAX_VOLUME);
  LockAudio();
  s.open = true;
  s.rate = rate;
  s.mix = mix;
  s.user = user;
  s.musicGain = 1.0f;
  UnlockAudio();
  Mix_SetPostMix(PostMix, nullptr);
  return true;
}

void CloseAudio() {
  AudioState& s = State();
  if (!s.open) return;
  Mix_HaltMusic();
  Mix_SetPostMix(nullptr, nullptr);
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  s.open = false;
  s.rate = 0;
  s.mix = nullptr;
  s.user = nullptr;
  s.playing = nullptr;
}

std::string AudioOpenFailure() {
  OpenFailure& f = LastOpenFailure();
  const std::lock_guard<std::mutex> hold(f.lock);
  return f.text;
}

bool AudioIsOpen() { return State().open; }
int AudioRate() { return State().rate; }

void LockAudio() { State().lock.lock(); }
void UnlockAudio() { State().lock.unlock(); }

PcmConverter* CreatePcmConverter(int channels, int rate) {
  AudioState& s = State();
  if (!s.open || channels < 1 || channels > 2 || rate <= 0) return nullptr;
  SDL_AudioStream* stream =
      SDL_NewAudioStream(AUDIO_F32SYS, static_cast<Uint8>(channels), rate, AUDIO_F32SYS, 2, s.rate);
  if (stream == nullptr) return nullptr;
  return new PcmConverter{stream, channels};
}

void DestroyPcmConverter(PcmConverter* converter) {
  if (converter == nullptr) return;
  SDL_FreeAudioStream(converter->stream);
  delete converter;
}

bool PutPcm(PcmConverter* converter, const float* samples, int frames) {
  if (converter == nullptr || frames <= 0) return converter != nullptr;
  return SDL_AudioStreamPut(converter->stream, samples,
                            frames * converter->channels * static_cast<int>(sizeof(float))) == 0;
}

int TakePcm(PcmConverter* converter, float* frames, int maximum) {
  if (converter == nullptr || maximum <= 0) return 0;
  const int got = SDL_AudioStreamGet(converter->stream, frames, maximum * 2 * static_cast<int>(sizeof(float)));
  return got <= 0 ? 0 : got / (2 * static_cast<int>(sizeof(float)));
}

int64_t PcmAvailable(PcmConverter* converter) {
  if (converter == nullptr) return 0;
  return SDL_AudioStreamAvailable(converter->stream) / (2 * static_cast<int>(sizeof(float)));
}

// ---------------------------------------------------------------- music

namespace {

Mix_MusicType MixerType(MusicFormat format) {
  switch (format) {
    case MusicFormat::kWave: return MUS_WAV;
    case MusicFormat::kOggVorbis: return MUS_OGG;
    case MusicFormat::kOpus: return MUS_OPUS;
    case MusicFormat::kFlac: return MUS_FLAC;
    case MusicFormat::kMp3: return MUS_MP3;
    case MusicFormat::kMidi: return MUS_MID;
    case MusicFormat::kModule: return MUS_MOD;
  }
  return MUS_NONE;
}

}  // namespace

// The form is always given: Mix_LoadMUS would pick a decoder by the file's
// name (a ".wav" name takes the WAVE decoder whatever the bytes are) and
// Mix_LoadMUS_RW by a signature test of its own, so either could hand a
// decoder bytes the caller's check never read as that form.
MusicPiece* OpenMusicFile(const char* path, MusicFormat format) {
  if (!State().open || MixerType(format) == MUS_NONE) return nullptr;
  SDL_RWops* rw = SDL_RWFromFile(path, "rb");
  if (rw == nullptr) return nullptr;
  Mix_Music* music = Mix_LoadMUSType_RW(rw, MixerType(format), 1);  // closes rw when it fails
  if (music == nullptr) return nullptr;
  return new MusicPiece{music, {}};
}

MusicPiece* OpenMusicBytes(const uint8_t* bytes, uint64_t size, MusicFormat format) {
  if (!State().open || size == 0 || size > 0x7FFFFFFF || MixerType(format) == MUS_NONE) return nullptr;
  auto* piece = new MusicPiece;
  piece->bytes.assign(bytes, bytes + size);
  SDL_RWops* rw = SDL_RWFromConstMem(piece->bytes.data(), static_cast<int>(size));
  piece->music = rw == nullptr ? nullptr : Mix_LoadMUSType_RW(rw, MixerType(format), 1);
  if (piece->music == nullptr) {
    delete piece;
    return nullptr;
  }
  return piece;
}

void FreeMusicPiece(MusicPiece* piece) {
  if (piece == nullptr) return;
  AudioState& s = State();
  if (s.playing == piece) {
    Mix_HaltMusic();
    s.playing = nullptr;
  }
  Mix_FreeMusic(piece->music);
  delete piece;
}

double MusicPieceLength(MusicPiece* piece) {
  if (piece == nullptr) return -1.0;
  const double seconds = Mix_MusicDuration(piece->music);
  return seconds < 0 ? -1.0 : seconds * 1000.0;
}

bool PlayMusicPiece(MusicPiece* piece, bool loop) {
  AudioState& s = State();
  if (!s.open || piece == nullptr) return false;
  s.playing = piece;
  return Mix_PlayMusic(piece->music, loop ? -1 : 0) == 0;
}

void HaltMusic() {
  if (!State().open) return;
  Mix_HaltMusic();
  State().playing = nullptr;
}

void PauseMusicOutput(bool pause) {
  if (!State().open) return;
  if (pause)
    Mix_PauseMusic();
  else
    Mix_ResumeMusic();
}

bool MusicOutputActive() { return State().open && Mix_PlayingMusic() != 0; }

void SetMusicGain(float gain) { State().musicGain = gain; }

}  // namespace platform
