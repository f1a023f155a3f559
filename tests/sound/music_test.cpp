// Music in the output of SDL's disk driver: the formats, the gapless loop,
// pause and the loop deadline, volume and the end of a piece.
#include "core/core.h"
#include "files/read_channel.h"
#include "sound/sound_media.h"
#include "sound/sound_test_util.h"

namespace sound_test {
namespace {

using Music = DiskDevice;

// A ProTracker module: one looped square-wave sample on a note, speed 3,
// the pattern broken after four rows, so it plays about a quarter second.
std::string MakeModule() {
  std::string m(20, '\0');
  std::string sample(22, '\0');
  sample += std::string("\x00\x20\x00\x40\x00\x00\x00\x20", 8);  // 32 words, volume 64, loop all
  m += sample;
  for (int i = 1; i < 31; ++i) m += std::string(30, '\0');
  m += '\x01';
  m += '\x7F';
  m += std::string(128, '\0');
  m += "M.K.";
  std::string pattern(1024, '\0');
  const auto cell = [&](int row, int channel, int sampleNumber, int period, int effect, int parameter) {
    char* c = &pattern[static_cast<size_t>(row * 16 + channel * 4)];
    c[0] = static_cast<char>((sampleNumber & 0xF0) | (period >> 8));
    c[1] = static_cast<char>(period & 0xFF);
    c[2] = static_cast<char>(((sampleNumber & 0x0F) << 4) | effect);
    c[3] = static_cast<char>(parameter);
  };
  cell(0, 0, 1, 428, 0, 0);
  cell(0, 1, 0, 0, 0xF, 3);
  cell(3, 1, 0, 0, 0xD, 0);
  m += pattern;
  for (int i = 0; i < 64; ++i) m += static_cast<char>(i % 32 < 16 ? 100 : -100);
  return m;
}

// A sine tone of amplitude 0.5 in a format ffmpeg writes; empty when it cannot.
std::string MakePiece(DiskDevice& test, const std::string& name, double seconds, int frequency) {
  const std::string path = test.dir_.File(name);
  if (name.ends_with(".mod")) {
    WriteWholeFile(path, MakeModule());
    return path;
  }
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   "sine=frequency=" + std::to_string(frequency) + ":sample_rate=48000:duration=" +
                                       std::to_string(seconds),
                                   "-af", "volume=4,pan=stereo|c0=c0|c1=c0"};
  if (name.ends_with(".ogg")) args.insert(args.end(), {"-c:a", "libvorbis", "-q:a", "8"});
  if (name.ends_with(".mp3")) args.insert(args.end(), {"-c:a", "libmp3lame", "-b:a", "192k"});
  args.push_back(path);
  std::string output;
  return platform::RunCapturingOutput(args, &output) == 0 ? path : std::string();
}

struct Span {
  int64_t from, to;
};
std::vector<float> Part(const std::vector<float>& out, Span s) {
  return std::vector<float>(out.begin() + std::min<int64_t>(s.from * 2, out.size()),
                            out.begin() + std::min<int64_t>(s.to * 2, out.size()));
}

TEST_F(Music, EveryFormatStreamsAndEnds) {
  const char* names[] = {"a.ogg", "a.mp3", "a.flac", "a.wav", "a.mod"};
  std::vector<Span> spans;
  for (const char* name : names) {
    const std::string path = MakePiece(*this, name, 0.3, 1000);
    if (path.empty()) GTEST_SKIP() << "ffmpeg cannot write " << name;
    ClearLastError();
    const int64_t from = MixedFrames();
    PlayMusic(path.c_str(), 0);
    EXPECT_EQ(LastErrorCode, kErrorNone) << name;
    EXPECT_EQ(MusicPlaying(), 1) << name;
    EXPECT_EQ(MusicLoopDeadline(), 0.0);
    EXPECT_TRUE(WaitFor([] { return MusicPlaying() == 0; })) << name;
    WaitFrames(2048);
    spans.push_back({from, MixedFrames()});
  }
  // A piece that ended starts again.
  RestartMusic();
  EXPECT_EQ(MusicPlaying(), 1);
  StopMusic();
  EXPECT_EQ(MusicPlaying(), 0);

  ClearLastError();
  PlayMusic(dir_.File("missing.ogg").c_str(), 0);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
  EXPECT_EQ(MusicPlaying(), 0);

  const std::vector<float> out = Played(0, MixedFrames() + 1);
  for (size_t i = 0; i < spans.size(); ++i) {
    const std::vector<float> part = Part(out, spans[i]);
    // Sound on both sides (a silent output has none at all).
    for (int side = 0; side < 2; ++side) EXPECT_GT(Energy(part, side), 0.002 * kSoundDeviceRate) << names[i];
  }
}

TEST_F(Music, LoopingPiecesGoBackToTheirStartWithoutAGap) {
  for (const char* name : {"loop.wav", "loop.flac", "loop.ogg", "loop.mp3"}) {
    SCOPED_TRACE(name);
    const std::string path = MakePiece(*this, name, 0.25, 1000);
    if (path.empty()) GTEST_SKIP() << "ffmpeg cannot write " << name;
    DestroySoundSystem();
    ASSERT_TRUE(CreateSoundDevice(nullptr));
    PlayMusic(path.c_str(), 1);
    EXPECT_GT(MusicLoopDeadline(), 0.0);
    ASSERT_TRUE(WaitFrames(kSoundDeviceRate * 6 / 5));
    EXPECT_EQ(MusicPlaying(), 1);
    StopMusic();
    EXPECT_EQ(MusicPlaying(), 0);
    const std::vector<float> out = Played(0, MixedFrames() + 1);
    size_t first = out.size(), last = 0;
    for (size_t i = 0; i < out.size(); ++i)
      if (std::fabs(out[i]) > 0.01) {
        first = std::min(first, i / 2);
        last = i / 2;
      }
    ASSERT_LT(first, last);
    // More than four times the piece, and nowhere a run of silence of 2 ms.
    EXPECT_GT(last - first, static_cast<size_t>(kSoundDeviceRate));
    size_t run = 0, longest = 0;
    for (size_t f = first; f <= last; ++f) {
      run = std::fabs(out[2 * f]) < 0.002 && std::fabs(out[2 * f + 1]) < 0.002 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    EXPECT_LT(longest, static_cast<size_t>(kSoundDeviceRate / 500));
    EXPECT_GE(longest, 1u);  // the sine does pass through zero
  }
}

uint64_t g_fakeNow = 0;
uint64_t FakeNow() { return g_fakeNow; }

TEST_F(Music, PauseSilencesThePieceAndMovesTheDeadlineOn) {
  const std::string path = MakePiece(*this, "pause.wav", 0.25, 1000);
  if (path.empty()) GTEST_SKIP() << "ffmpeg cannot write a WAVE";
  // The fake clock goes on from the real one, as the runtime's clock has its origin there.
  g_fakeNow = platform::CounterNow() / (platform::CounterFrequency() / 1000);
  platform::SetCounterOverride(FakeNow, 1000);
  const double start = GetMilliseconds();
  PlayMusic(path.c_str(), 1);
  // A piece shorter than half a second counts as half a second.
  EXPECT_EQ(MusicLoopDeadline(), start + 500);
  g_fakeNow += 100;
  PauseMusic(1);
  EXPECT_EQ(MusicLoopDeadline(), -(start + 500));
  EXPECT_EQ(MusicPlaying(), 1);
  WaitFrames(4096);
  const Span paused{MixedFrames(), 0};
  WaitFrames(kSoundDeviceRate / 4);
  const Span pausedSpan{paused.from, MixedFrames()};
  g_fakeNow += 1234;
  MediaLoopMaintenance();
  EXPECT_EQ(MusicLoopDeadline(), -(start + 500));
  PauseMusic(0);
  EXPECT_EQ(MusicLoopDeadline(), start + 500 + 1234);
  g_fakeNow += 500 + 1234 - 100 - 1234 - 1;
  MediaLoopMaintenance();
  EXPECT_EQ(MusicLoopDeadline(), start + 500 + 1234);
  g_fakeNow += 1;
  MediaLoopMaintenance();
  EXPECT_EQ(MusicLoopDeadline(), GetMilliseconds() + 500);
  platform::SetCounterOverride(nullptr, 0);

  WaitFrames(4096);
  const Span resumed{MixedFrames(), 0};
  WaitFrames(kSoundDeviceRate / 4);
  const Span resumedSpan{resumed.from, MixedFrames()};
  // Half volume: half the amplitude, a quarter of the energy.
  SetMusicVolume(0.5);
  WaitFrames(4096);
  const Span half{MixedFrames(), 0};
  WaitFrames(kSoundDeviceRate / 4);
  const Span halfSpan{half.from, MixedFrames()};
  const std::vector<float> out = Played(0, MixedFrames() + 1);
  EXPECT_EQ(Energy(Part(out, pausedSpan), 0), 0.0);
  const double full = Energy(Part(out, resumedSpan), 0) / static_cast<double>(resumedSpan.to - resumedSpan.from);
  EXPECT_GT(full, 0.125 * 0.98);
  EXPECT_LT(full, 0.125 * 1.02);
  const double quarter = Energy(Part(out, halfSpan), 0) / static_cast<double>(halfSpan.to - halfSpan.from);
  EXPECT_GT(quarter, full / 4 * 0.99);
  EXPECT_LT(quarter, full / 4 * 1.01);
}

TEST_F(Music, MusicAndMoviesShareOneSlot) {
  const std::string wave = MakeWave(Tone{.seconds = 2.0});
  RegisterMemoryFile(wave.data(), wave.size());
  PlayMusic(MemoryFileName(wave.data(), wave.size()).c_str(), 0);
  UnregisterMemoryFile(wave.data());
  EXPECT_EQ(MusicPlaying(), 1);
  OpenMovieSlot(2, 44100);
  EXPECT_TRUE(MovieSlotOpen());
  EXPECT_EQ(MusicPlaying(), 1);  // the movie now
  EndMovieSlot();
  EXPECT_EQ(MusicPlaying(), 0);
  PlayMusic("no-such-music.wav", 0);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
  EXPECT_FALSE(MovieSlotOpen());
}

}  // namespace
}  // namespace sound_test
