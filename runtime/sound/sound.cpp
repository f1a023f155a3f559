// Sound effects: the 4096 numbered sounds, their copies and the mixer that
// adds the playing copies into the output device's blocks.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "files/read_channel.h"
#include "platform/audio.h"
#include "sound/internal/wave.h"
#include "sound/sound.h"
#include "sound/sound_internal.h"
#include "sound/sound_media.h"

namespace {

// Ten minutes at the device rate (220 MB of converted samples).
constexpr uint64_t kLongestSoundFrames = 600ull * kSoundDeviceRate;

// A sound's samples as the device plays them: float stereo at its rate.
// The copies of a slot share one.
struct Samples {
  std::vector<float> frames;  // interleaved left, right
  int64_t count = 0;          // frames
};

// One copy of a sound: a play position in the shared samples. The audio
// thread advances position and clears playing at the end.
struct Copy {
  std::shared_ptr<const Samples> samples;
  int64_t position = 0;
  float left = 1.0f, right = 1.0f;
  bool playing = false;
};

struct SoundSlot {
  int32_t copies = 0;
  int32_t currentCopy = 0;
  Copy buffers[kSoundCopies];
};

struct SoundSystem {
  bool device = false;
  SoundSlot slots[kSoundSlots];
  // The copies that play, for the audio thread; changed under the lock.
  std::vector<Copy*> active;
  std::atomic<int64_t> mixedFrames{0};
  MediaMixSource* media = nullptr;
};

SoundSystem& System() {
  static SoundSystem* system = new SoundSystem;  // lives for the process
  return *system;
}

// Runs on the audio thread with the lock held by the device.
void Mix(float* out, int count, void*) {
  SoundSystem& s = System();
  auto& active = s.active;
  for (size_t i = 0; i < active.size();) {
    Copy& c = *active[i];
    const int64_t left = c.samples->count - c.position;
    const int n = static_cast<int>(std::min<int64_t>(left, count));
    const float* in = c.samples->frames.data() + c.position * 2;
    const float gl = c.left, gr = c.right;
    for (int f = 0; f < n; ++f) {
      out[2 * f] += in[2 * f] * gl;
      out[2 * f + 1] += in[2 * f + 1] * gr;
    }
    c.position += n;
    if (c.position >= c.samples->count) {
      c.playing = false;
      active[i] = active.back();
      active.pop_back();
    } else {
      ++i;
    }
  }
  if (s.media != nullptr) s.media->Mix(out, count);
  s.mixedFrames.fetch_add(count, std::memory_order_relaxed);
}

class AudioLock {
 public:
  AudioLock() { platform::LockAudio(); }
  ~AudioLock() { platform::UnlockAudio(); }
  AudioLock(const AudioLock&) = delete;
  AudioLock& operator=(const AudioLock&) = delete;
};

// Stops a copy and rewinds it; the caller holds the lock.
void StopCopy(Copy& c) {
  if (c.playing) {
    auto& active = System().active;
    auto it = std::find(active.begin(), active.end(), &c);
    if (it != active.end()) {
      *it = active.back();
      active.pop_back();
    }
  }
  c.playing = false;
  c.position = 0;
}

void EmptySlot(SoundSlot& slot) {
  {
    AudioLock lock;
    for (Copy& c : slot.buffers) {
      StopCopy(c);
      c.samples.reset();
    }
  }
  slot.copies = 0;
  slot.currentCopy = 0;
}

float Decibels100ToGain(int32_t hundredths) {
  if (hundredths <= -10000) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

bool LoadInto(SoundSlot& slot, const ResolvedFile& file, int32_t copies) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, file)) return false;
  WaveSound wave;
  const bool read = ReadWave(channel, &wave);
  CloseChannel(channel);
  if (!read) return false;
  // Converted, a slow 8-bit sound grows up to 3840 times: refuse what would
  // not fit in memory rather than trying.
  const uint64_t frames = wave.data.size() / static_cast<uint64_t>(wave.blockAlign);
  if (frames * kSoundDeviceRate / static_cast<uint64_t>(wave.sampleRate) > kLongestSoundFrames) return false;
  auto samples = std::make_shared<Samples>();
  if (!platform::ConvertPcmToDevice(wave.data.data(), wave.data.size(), wave.bitsPerSample, wave.channels,
                                    wave.sampleRate, &samples->frames))
    return false;
  samples->count = static_cast<int64_t>(samples->frames.size() / 2);
  AudioLock lock;
  for (int i = 0; i < copies; ++i) slot.buffers[i].samples = samples;
  slot.copies = copies;
  slot.currentCopy = 0;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- device

bool CreateSoundDevice(platform::Window*) {
  SoundSystem& s = System();
  if (s.device) return true;
  s.mixedFrames = 0;
  s.device = platform::OpenAudio(kSoundDeviceRate, Mix, nullptr);
  if (!s.device) WriteLog(("no sound device (" + platform::AudioOpenFailure() + "): the program runs silent\n").c_str());
  return s.device;
}

void BindSoundWindow(platform::Window*) {
  // The device plays for the process, not for a window: nothing to rebind.
}

void DestroySoundSystem() {
  SoundSystem& s = System();
  StopMovie();
  for (SoundSlot& slot : s.slots)
    if (slot.copies > 0) EmptySlot(slot);
  platform::CloseAudio();
  s.device = false;
  s.active.clear();
}

bool SoundDeviceOpen() { return System().device; }

void SetMediaMixSource(MediaMixSource* source) {
  AudioLock lock;
  System().media = source;
}

// ---------------------------------------------------------------- sounds

void LoadSound(const char* file, int32_t number, int32_t copies) {
  if (number < 0 || number >= kSoundSlots) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  SoundSystem& s = System();
  SoundSlot& slot = s.slots[number];
  ResolvedFile resolved;
  char name[kMaxFileName] = {};
  const bool found = file != nullptr && ResolveFile(MemoryResolver(), file, &resolved);
  if (found) {
    const std::string& shown = resolved.inMemory ? MemoryFileName(resolved.bytes, resolved.size) : resolved.path;
    shown.copy(name, kMaxFileName - 1);
  }
  EmptySlot(slot);
  copies = std::clamp(copies, 1, kSoundCopies);
  if (!s.device || !found || !LoadInto(slot, resolved, copies)) {
    EmptySlot(slot);
    SetLastError(kErrorNoSuchFile);
  }
}

void LoadSound(const BasicString& file, int32_t number, int32_t copies) { LoadSound(file.c_str(), number, copies); }

int32_t FindFreeSound() {
  SoundSystem& s = System();
  for (int32_t n = kSoundSlots - 1; n >= 0; --n)
    if (s.slots[n].copies < 1) return n;
  SetLastError(kErrorOutOfMemory);
  return -1;
}

void SideGains(int32_t pan, int32_t volume, float* left, float* right) {
  const float level = Decibels100ToGain(volume);
  // A pan attenuates the opposite side only.
  *left = level * (pan > 0 ? Decibels100ToGain(-pan) : 1.0f);
  *right = level * (pan < 0 ? Decibels100ToGain(pan) : 1.0f);
}

int32_t PlaySound(int32_t number, double pan, double volume) {
  if (number < 0 || number >= kSoundSlots) {
    SetLastError(kErrorOutOfMemory);
    return 0;
  }
  const int32_t panHundredths = static_cast<int32_t>(10000.0 * std::clamp(std::isnan(pan) ? 0.0 : pan, -1.0, 1.0));
  const double scaled = std::min(100.0 * volume, 100.0);
  const int32_t percent = std::isnan(volume) ? 0 : std::max(0, static_cast<int32_t>(scaled));
  SoundSystem& s = System();
  SoundSlot& slot = s.slots[number];
  if (!s.device || slot.copies < 1) return -1;
  AudioLock lock;
  Copy* chosen = &slot.buffers[slot.currentCopy];
  if (chosen->playing) {
    if (slot.copies == 1) return -1;
    slot.currentCopy = (slot.currentCopy + 1) % slot.copies;
    chosen = &slot.buffers[slot.currentCopy];
    StopCopy(*chosen);
  }
  const int32_t hundredths =
      percent == 0 ? -10000 : static_cast<int32_t>(2000.0 * std::log10(percent / 100.0));
  SideGains(panHundredths, hundredths, &chosen->left, &chosen->right);
  chosen->position = 0;
  if (chosen->samples->count > 0) {
    chosen->playing = true;
    s.active.push_back(chosen);
  }
  return number * 256 + slot.currentCopy;
}

void StopChannel(int32_t channel) {
  if (channel < 0) return;
  const int32_t number = channel / 256, copy = channel % 256;
  if (number >= kSoundSlots) return;
  SoundSlot& slot = System().slots[number];
  AudioLock lock;
  if (copy < slot.copies) {
    StopCopy(slot.buffers[copy]);
    return;
  }
  for (int i = 0; i < slot.copies; ++i) StopCopy(slot.buffers[i]);
}

void StopAllSounds() {
  SoundSystem& s = System();
  AudioLock lock;
  for (SoundSlot& slot : s.slots)
    for (int i = 0; i < slot.copies; ++i) StopCopy(slot.buffers[i]);
}

int32_t ChannelPlaying(int32_t channel) {
  if (channel < 0) return 0;
  const int32_t number = channel / 256, copy = channel % 256;
  if (number >= kSoundSlots) {
    SetLastError(kErrorOutOfMemory);
    return 0;
  }
  SoundSlot& slot = System().slots[number];
  if (copy >= slot.copies) return 0;
  AudioLock lock;
  return slot.buffers[copy].playing ? 1 : 0;
}

// ---------------------------------------------------------------- test views

int64_t MixedFrames() { return System().mixedFrames.load(); }

int64_t CopyPosition(int32_t number, int32_t copy) {
  if (number < 0 || number >= kSoundSlots) return -1;
  SoundSlot& slot = System().slots[number];
  if (copy < 0 || copy >= slot.copies) return -1;
  AudioLock lock;
  return slot.buffers[copy].position;
}
