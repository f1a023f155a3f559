// The media slot: streamed music (or a movie's sound), its volume, pause
// state and loop deadline.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "files/read_channel.h"
#include "platform/audio.h"
#include "sound/internal/music_header.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"
#include "sound/sound_media.h"

namespace {

// A looping piece is never restarted sooner than this after the last start.
constexpr double kShortestLoopMs = 500.0;

enum class MediaKind { None, Music, Movie };

// The movie's sound, converted to device frames and drained by the mixer.
struct MovieSound final : MediaMixSource {
  platform::PcmConverter* converter = nullptr;
  int64_t played = 0;  // device frames mixed
  float gain = 1.0f;
  bool paused = false;
  std::vector<float> block;

  void Mix(float* out, int count) override {
    if (paused) return;
    if (block.size() < static_cast<size_t>(count) * 2) block.resize(static_cast<size_t>(count) * 2);
    const int got = platform::TakePcm(converter, block.data(), count);
    for (int i = 0; i < got * 2; ++i) out[i] += block[i] * gain;
    played += got;
  }
};

struct MediaSlot {
  MediaKind kind = MediaKind::None;
  platform::MusicPiece* piece = nullptr;
  bool loop = false;
  double length = 0.0;       // milliseconds, at least kShortestLoopMs
  double volume = -1.0;      // -1: not set yet
  double deadline = 0.0;     // > 0 looping, < 0 paused while looping, 0 otherwise
  double pauseStart = 0.0;
  MovieSound movie;
  bool movieHasSound = false;
  bool movieEnded = false;
  bool movieRestart = false;  // asked for, carried out by the movie's wait
  int movieChannels = 0;
  int movieRate = 0;
};

MediaSlot& Slot() {
  static MediaSlot slot;
  return slot;
}

void CloseSlot() {
  MediaSlot& m = Slot();
  if (m.kind == MediaKind::Music) {
    platform::HaltMusic();
    platform::FreeMusicPiece(m.piece);
    m.piece = nullptr;
  } else if (m.kind == MediaKind::Movie && m.movieHasSound) {
    SetMediaMixSource(nullptr);
    platform::DestroyPcmConverter(m.movie.converter);
    m.movie.converter = nullptr;
  }
  m.kind = MediaKind::None;
  m.movieHasSound = false;
  m.movieEnded = false;
  m.movieRestart = false;
  platform::SetMusicGain(1.0f);
}

// The player's decoders trust the headers they read (a WAVE file of no
// channels divides by zero in there), so the file is first read the way its
// decoder will read it, and the player is told which decoder that is; a
// refusal is logged with its reason.
bool MusicHeaderSound(const char* name, const ResolvedFile& resolved, platform::MusicFormat* format) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, resolved)) {
    WriteLogF("music refused (unreadable file): %s\n", name);
    return false;
  }
  std::string reason;
  const bool sound = CheckMusicHeader(channel, format, &reason);
  CloseChannel(channel);
  if (!sound) WriteLogF("music refused (%s): %s\n", reason.c_str(), name);
  return sound;
}

void ApplyVolume() {
  MediaSlot& m = Slot();
  // The player's volume scale runs 0..1000 and is linear.
  const double scale = std::clamp(std::trunc(m.volume * 1000.0), 0.0, 1000.0) / 1000.0;
  if (m.kind == MediaKind::Music) platform::SetMusicGain(static_cast<float>(scale));
  if (m.kind == MediaKind::Movie) {
    platform::LockAudio();
    m.movie.gain = static_cast<float>(scale);
    platform::UnlockAudio();
  }
}

}  // namespace

void PlayMusic(const char* file, int32_t loop) {
  ClearLastError();
  MediaSlot& m = Slot();
  m.volume = -1.0;
  m.deadline = 0.0;
  CloseSlot();
  ResolvedFile resolved;
  if (file == nullptr || !ResolveFile(MemoryResolver(), file, &resolved)) {
    SetLastError(kErrorNoSuchFile);
    return;
  }
  if (!SoundDeviceOpen()) return;
  platform::MusicFormat format = platform::MusicFormat::kWave;
  if (!MusicHeaderSound(file, resolved, &format)) {
    SetLastError(kErrorNoSuchFile);
    return;
  }
  platform::MusicPiece* piece = resolved.inMemory ? platform::OpenMusicBytes(resolved.bytes, resolved.size, format)
                                                  : platform::OpenMusicFile(resolved.path.c_str(), format);
  if (piece == nullptr) {
    WriteLogF("music refused (the player cannot open it): %s\n", file);
    SetLastError(kErrorNoSuchFile);
    return;
  }
  m.kind = MediaKind::Music;
  m.piece = piece;
  m.loop = loop != 0;
  m.length = std::max(platform::MusicPieceLength(piece), kShortestLoopMs);
  if (m.loop) m.deadline = GetMilliseconds() + m.length;
  m.volume = 1.0;
  ApplyVolume();
  platform::PlayMusicPiece(piece, m.loop);
}

void PlayMusic(const BasicString& file, int32_t loop) { PlayMusic(file.c_str(), loop); }

void StopMusic() {
  MediaSlot& m = Slot();
  m.deadline = 0.0;
  m.volume = -1.0;
  CloseSlot();
}

void StopMovie() { StopMusic(); }

void RestartMusic() {
  MediaSlot& m = Slot();
  if (m.kind == MediaKind::Music) platform::PlayMusicPiece(m.piece, m.loop);
  // A movie goes back to its start in its wait, which owns the decoder.
  if (m.kind == MediaKind::Movie) m.movieRestart = true;
}

void SetMusicVolume(double volume) {
  MediaSlot& m = Slot();
  if (volume == m.volume) return;
  m.volume = volume;
  if (m.kind != MediaKind::None) ApplyVolume();
}

int32_t MusicPlaying() {
  MediaSlot& m = Slot();
  if (m.kind == MediaKind::None) return 0;
  if (m.deadline > 0.0) return 1;
  if (m.kind == MediaKind::Music) return platform::MusicOutputActive() ? 1 : 0;
  return !m.movieEnded || MovieSoundQueuedFrames() > 0 ? 1 : 0;
}

void PauseMusic(int32_t pause) {
  MediaSlot& m = Slot();
  if (m.kind == MediaKind::None) return;
  const double now = GetMilliseconds();
  if (pause != 0) {
    if (m.deadline > 0.0) {
      m.pauseStart = now;
      m.deadline = -m.deadline;
    }
  } else if (m.deadline < 0.0) {
    m.deadline = -m.deadline + (now - m.pauseStart);
  }
  if (m.kind == MediaKind::Music) platform::PauseMusicOutput(pause != 0);
  if (m.kind == MediaKind::Movie) {
    platform::LockAudio();
    m.movie.paused = pause != 0;
    platform::UnlockAudio();
  }
}

void MediaLoopMaintenance() {
  MediaSlot& m = Slot();
  if (m.kind != MediaKind::Music || m.deadline <= 0.0) return;
  const double now = GetMilliseconds();
  // The stream itself went back to its start when it reached its end,
  // inside the block that reached it, so there is no gap to close: the
  // deadline only follows it.
  if (now >= m.deadline) m.deadline = now + m.length;
}

double MusicLoopDeadline() { return Slot().deadline; }

// ---------------------------------------------------------------- movies

void OpenMovieSlot(int channels, int rate) {
  MediaSlot& m = Slot();
  m.volume = -1.0;
  m.deadline = 0.0;
  CloseSlot();
  m.kind = MediaKind::Movie;
  m.movieChannels = channels;
  m.movieRate = rate;
  m.movie.played = 0;
  m.movie.paused = false;
  m.movie.gain = 1.0f;
  if (channels > 0 && SoundDeviceOpen()) {
    m.movie.converter = platform::CreatePcmConverter(channels, rate);
    m.movieHasSound = m.movie.converter != nullptr;
    if (m.movieHasSound) SetMediaMixSource(&m.movie);
  }
}

bool TakeMovieRestart() {
  MediaSlot& m = Slot();
  if (m.kind != MediaKind::Movie || !m.movieRestart) return false;
  m.movieRestart = false;
  m.movieEnded = false;
  if (m.movieHasSound) {
    // The sound converted but not yet played belongs to the old position.
    platform::PcmConverter* fresh = platform::CreatePcmConverter(m.movieChannels, m.movieRate);
    platform::LockAudio();
    platform::PcmConverter* old = m.movie.converter;
    if (fresh != nullptr) m.movie.converter = fresh;
    m.movie.played = 0;
    platform::UnlockAudio();
    if (fresh != nullptr) platform::DestroyPcmConverter(old);
  }
  return true;
}

void QueueMovieSound(const float* samples, int frames) {
  MediaSlot& m = Slot();
  if (m.kind != MediaKind::Movie || !m.movieHasSound) return;
  platform::LockAudio();
  platform::PutPcm(m.movie.converter, samples, frames);
  platform::UnlockAudio();
}

double MovieSoundPlayedMs() {
  MediaSlot& m = Slot();
  if (m.kind != MediaKind::Movie || !m.movieHasSound) return -1.0;
  platform::LockAudio();
  const int64_t played = m.movie.played;
  platform::UnlockAudio();
  return static_cast<double>(played) * 1000.0 / kSoundDeviceRate;
}

int64_t MovieSoundQueuedFrames() {
  MediaSlot& m = Slot();
  if (m.kind != MediaKind::Movie || !m.movieHasSound) return 0;
  platform::LockAudio();
  const int64_t queued = platform::PcmAvailable(m.movie.converter);
  platform::UnlockAudio();
  return queued;
}

bool MovieSlotOpen() { return Slot().kind == MediaKind::Movie; }
bool MovieSlotPaused() { return Slot().kind == MediaKind::Movie && Slot().movie.paused; }
void EndMovieSlot() {
  if (Slot().kind == MediaKind::Movie) Slot().movieEnded = true;
}
