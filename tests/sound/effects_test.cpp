// Sound effects measured in the output of SDL's disk driver: levels, pan,
// pitch, copy rotation and the slot table.
#include <unistd.h>

#include <cstdio>

#include "core/clock.h"
#include "core/core.h"
#include "files/read_channel.h"
#include "lib/archive_writer.h"
#include "sound/sound_test_util.h"

namespace sound_test {
namespace {

using Effects = DiskDevice;

// Plays a loaded sound to its end; the frames the device mixed meanwhile.
std::pair<int64_t, int64_t> PlayThrough(int32_t number, double pan, double volume) {
  const int64_t from = MixedFrames();
  const int32_t channel = PlaySound(number, pan, volume);
  EXPECT_EQ(channel, number * 256);
  EXPECT_TRUE(WaitFor([&] { return ChannelPlaying(channel) == 0; }));
  WaitFrames(2048);
  return {from, MixedFrames()};
}

double Gain(double hundredthsOfDecibel) { return std::pow(10.0, hundredthsOfDecibel / 2000.0); }

TEST_F(Effects, LevelsAndPanFollowTheDecibelScales) {
  // The tone's file has a 40-byte "fmt " chunk and an unknown chunk before "data".
  Tone tone;
  tone.fmtLength = 40;
  tone.unknownChunk = true;
  LoadSound(WriteFile("tone.wav", MakeWave(tone)).c_str(), 7, 1);
  ASSERT_EQ(LastErrorCode, kErrorNone);

  struct Case {
    double pan, volume;
    double left, right;  // expected gains; 0: silent
  };
  const Case cases[] = {
      {0, 1, 1, 1},
      {0, 0.5, Gain(-602), Gain(-602)},
      {0, 0, 0, 0},
      {0, -3, 0, 0},
      {0, 2, 1, 1},
      {-2, 1, 1, 0},
      {0.25, 1, Gain(-2500), 1},
      {1, 1, 0, 1},
      {-0.5, 0.5, Gain(-602), Gain(-602 - 5000)},
  };
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const Case& c : cases) spans.push_back(PlayThrough(7, c.pan, c.volume));
  const std::vector<float> out = Played(0, MixedFrames() + 1);

  // A full-level sine of amplitude 0.5 over the tone's frames.
  const double full = 0.25 / 2.0 * tone.seconds * kSoundDeviceRate;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::vector<float> part(out.begin() + spans[i].first * 2,
                                  out.begin() + std::min<int64_t>(spans[i].second * 2, out.size()));
    const double expected[2] = {cases[i].left, cases[i].right};
    for (int side = 0; side < 2; ++side) {
      SCOPED_TRACE(testing::Message() << "case " << i << " side " << side);
      const double energy = Energy(part, side);
      if (expected[side] == 0) {
        EXPECT_EQ(energy, 0.0);
      } else {
        const double db = 10.0 * std::log10(energy / full) - 20.0 * std::log10(expected[side]);
        EXPECT_GT(db, -0.05);
        EXPECT_LT(db, 0.05);
      }
    }
  }
}

// Counts upward zero crossings of the left side between the first and the
// last frame with sound; returns the frequency and the sounding seconds.
std::pair<double, double> Pitch(const std::vector<float>& out) {
  size_t first = 0, last = 0;
  for (size_t i = 0; i < out.size(); i += 2)
    if (std::fabs(out[i]) > 0.02) {
      if (first == 0) first = i;
      last = i;
    }
  int crossings = 0;
  size_t firstCrossing = 0, lastCrossing = 0;
  for (size_t i = first + 2; i <= last; i += 2)
    if (out[i - 2] < 0 && out[i] >= 0) {
      if (crossings++ == 0) firstCrossing = i;
      lastCrossing = i;
    }
  const double periods = crossings - 1;
  return {periods * kSoundDeviceRate / static_cast<double>((lastCrossing - firstCrossing) / 2),
          static_cast<double>((last - first) / 2) / kSoundDeviceRate};
}

TEST_F(Effects, EverySoundPlaysAtItsOwnRateAndPitch) {
  struct Case {
    int bits, channels, rate;
    double frequency;
  };
  const Case cases[] = {{8, 1, 11025, 441.0}, {16, 2, 44100, 1000.0}, {16, 1, 22050, 630.0}};
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (size_t i = 0; i < std::size(cases); ++i) {
    Tone tone;
    tone.bits = cases[i].bits;
    tone.channels = cases[i].channels;
    tone.rate = cases[i].rate;
    tone.frequency = cases[i].frequency;
    tone.seconds = 0.5;
    LoadSound(WriteFile("pitch.wav", MakeWave(tone)).c_str(), static_cast<int32_t>(i), 1);
    ASSERT_EQ(LastErrorCode, kErrorNone);
    spans.push_back(PlayThrough(static_cast<int32_t>(i), 0, 1));
  }
  const std::vector<float> out = Played(0, MixedFrames() + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    const std::vector<float> part(out.begin() + spans[i].first * 2,
                                  out.begin() + std::min<int64_t>(spans[i].second * 2, out.size()));
    const auto [frequency, seconds] = Pitch(part);
    EXPECT_GT(frequency, cases[i].frequency * 0.995);
    EXPECT_LT(frequency, cases[i].frequency * 1.005);
    EXPECT_GT(seconds, 0.49);
    EXPECT_LT(seconds, 0.51);
  }
}

TEST_F(Effects, CopiesRotateAndTheOldestRestartsFromItsBeginning) {
  Tone tone;
  tone.seconds = 3.0;
  const std::string file = WriteFile("long.wav", MakeWave(tone));
  struct Case {
    int32_t copies;
    int32_t channels[5];  // results of five plays in a row
  };
  const Case cases[] = {
      {1, {0, -1, -1, -1, -1}},
      {0, {0, -1, -1, -1, -1}},
      {2, {0, 1, 0, 1, 0}},
      {4, {0, 1, 2, 3, 0}},
      {9, {0, 1, 2, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.copies << " copies");
    LoadSound(file.c_str(), 12, c.copies);
    for (int i = 0; i < 5; ++i) {
      if (i == 4) {
        ASSERT_TRUE(WaitFrames(4096));
      }
      const int64_t before = CopyPosition(12, 0);
      const int32_t channel = PlaySound(12, 0, 1);
      EXPECT_EQ(channel, c.channels[i] < 0 ? -1 : 12 * 256 + c.channels[i]);
      if (i == 4 && c.channels[4] == 0 && c.copies > 1) {
        // Copy 0 was far into the sound; it starts again from its beginning,
        // behind the copy that started after it.
        EXPECT_GE(before, 4096);
        EXPECT_LT(CopyPosition(12, 0), CopyPosition(12, 1));
      }
    }
    EXPECT_EQ(ChannelPlaying(12 * 256), 1);
    StopChannel(12 * 256);
    EXPECT_EQ(ChannelPlaying(12 * 256), 0);
    EXPECT_EQ(CopyPosition(12, 0), 0);
    StopChannel(12 * 256 + 200);  // a copy that does not exist: all of them
    for (int copy = 0; copy < 4; ++copy) EXPECT_EQ(ChannelPlaying(12 * 256 + copy), 0);
    EXPECT_EQ(PlaySound(12, 0, 1), 12 * 256 + 0);
  }
  // 4 copies exist, no more.
  EXPECT_EQ(CopyPosition(12, 3), 0);
  EXPECT_EQ(CopyPosition(12, 4), -1);
  StopAllSounds();
  EXPECT_EQ(ChannelPlaying(12 * 256), 0);
}

// A copy the rotation restarts leaves the mixer's list of playing copies
// and joins it again; stopped afterwards, it must leave it for good: the
// device's output after the stop is silent and the copy's position stays
// at its start while the mixer runs on.
TEST_F(Effects, ACopyRestartedByTheRotationIsSilentOnceStopped) {
  Tone tone;
  tone.seconds = 3.0;
  LoadSound(WriteFile("long.wav", MakeWave(tone)).c_str(), 12, 2);
  ASSERT_EQ(PlaySound(12, 0, 1), 12 * 256);
  ASSERT_EQ(PlaySound(12, 0, 1), 12 * 256 + 1);
  ASSERT_TRUE(WaitFrames(4096));
  ASSERT_EQ(PlaySound(12, 0, 1), 12 * 256);  // copy 0 again, from its start
  ASSERT_TRUE(WaitFrames(4096));
  const int64_t playingFrom = MixedFrames();
  ASSERT_TRUE(WaitFrames(4096));
  const int64_t playingTo = MixedFrames();
  StopChannel(12 * 256);
  StopChannel(12 * 256 + 1);
  ASSERT_TRUE(WaitFrames(2048));  // the block mixed before the stop is written out
  const int64_t stoppedFrom = MixedFrames();
  ASSERT_TRUE(WaitFrames(kSoundDeviceRate / 4));
  const int64_t stoppedTo = MixedFrames();
  EXPECT_EQ(CopyPosition(12, 0), 0);
  EXPECT_EQ(CopyPosition(12, 1), 0);
  EXPECT_EQ(ChannelPlaying(12 * 256), 0);
  const std::vector<float> out = Played(0, stoppedTo);
  const auto span = [&](int64_t from, int64_t to) {
    return std::vector<float>(out.begin() + from * 2, out.begin() + std::min<int64_t>(to * 2, out.size()));
  };
  ASSERT_GE(static_cast<int64_t>(out.size()), stoppedTo * 2 - 2048);
  // Two copies of a tone of amplitude 0.5 sounded before the stop ...
  EXPECT_GT(Energy(span(playingFrom, playingTo), 0), 0.1 * static_cast<double>(playingTo - playingFrom));
  // ... and nothing after it.
  EXPECT_EQ(Energy(span(stoppedFrom, stoppedTo), 0), 0.0);
  EXPECT_EQ(Energy(span(stoppedFrom, stoppedTo), 1), 0.0);
}

TEST_F(Effects, TheTableHas4096SlotsAndTheTopOneIsFoundFirst) {
  EXPECT_EQ(FindFreeSound(), 4095);
  const std::string file = WriteFile("tone.wav", MakeWave(Tone()));
  LoadSound(file.c_str(), 4095, 1);
  EXPECT_EQ(FindFreeSound(), 4094);

  ClearLastError();
  LoadSound(file.c_str(), 4096, 1);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  ClearLastError();
  EXPECT_EQ(PlaySound(4096, 0, 1), 0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  ClearLastError();
  EXPECT_EQ(ChannelPlaying(4096 * 256), 0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  ClearLastError();
  EXPECT_EQ(PlaySound(4095, 0, 1), 4095 * 256);
  EXPECT_EQ(PlaySound(4094, 0, 1), -1);  // empty
  EXPECT_EQ(LastErrorCode, kErrorNone);
}

TEST_F(Effects, MemoryFilesAndArchiveEntriesLoadAsDiskFilesDo) {
  const std::string wave = MakeWave(Tone());
  RegisterMemoryFile(wave.data(), wave.size());
  LoadSound(MemoryFileName(wave.data(), wave.size()).c_str(), 3, 2);
  UnregisterMemoryFile(wave.data());
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(PlaySound(3, 0, 1), 3 * 256);
  EXPECT_EQ(ChannelPlaying(3 * 256), 1);
  // Entries of an archive appended to the program load by their base name, sounds and music alike.
  const std::string host = WriteFile("game", "host program bytes");
  WriteFile("packed.wav", wave);
  std::string error;
  ASSERT_TRUE(AppendToArchive(host.c_str(), {{"packed.wav", dir_.File("packed.wav")}}, &error)) << error;
  SetArchive(host.c_str(), host.c_str());
  LoadSound("media/packed.wav", 4, 1);
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(PlaySound(4, 0, 1), 4 * 256);
  PlayMusic("media/packed.wav", 0);
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(MusicPlaying(), 1);
  StopMusic();
  LoadSound("media/absent.wav", 5, 1);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
  SetArchive("", "");
}

TEST_F(Effects, BadFilesLeaveTheSlotEmptyWithError3) {
  const std::string good = MakeWave(Tone());
  const auto with32 = [&](size_t at, uint32_t value) {
    std::string s = good;
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return s;
  };
  const auto with16 = [&](size_t at, uint16_t value) {
    std::string s = good;
    s[at] = static_cast<char>(value & 0xFF);
    s[at + 1] = static_cast<char>(value >> 8);
    return s;
  };
  // Offsets in a plain file: "fmt " length at 16, channels 22, rate 24, block alignment
  // 32, bits 34, "data" id 36, its length 40.
  const std::string bad[] = {
      good.substr(0, good.size() / 2),  // data cut short
      good.substr(0, 30),               // "fmt " cut short
      with32(40, 0x7FFFFFFF),           // data longer than the file
      with32(40, 0xFFFFFFFF),
      with32(16, 0xFFFFFFF0),           // a 4 GB "fmt " chunk
      with16(32, 0),                    // zero block alignment
      with16(22, 6),                    // six channels
      with16(34, 24),                   // 24 bits
      with32(24, 0),                    // no rate
      with32(24, 99),                   // a rate below what a buffer takes
      "RIFX" + good.substr(4),
      good.substr(0, 36) + "junk" + with32(40, 0xFFFFFFF0).substr(40),  // unknown 4 GB chunk, no data
      "",
  };
  const std::string file = WriteFile("good.wav", good);
  for (size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(testing::Message() << "file " << i);
    LoadSound(file.c_str(), 9, 1);
    ASSERT_EQ(PlaySound(9, 0, 0), 9 * 256);
    ClearLastError();
    LoadSound(WriteFile("bad.wav", bad[i]).c_str(), 9, 1);
    EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
    EXPECT_EQ(PlaySound(9, 0, 1), -1);
    EXPECT_EQ(FindFreeSound(), 4095);
  }
  ClearLastError();
  LoadSound("no such file.wav", 9, 1);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
}

TEST(NoDevice, EveryOperationDoesNothing) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  InitTimer();
  ASSERT_FALSE(CreateSoundDevice(nullptr));
  TempDir dir;
  WriteWholeFile(dir.File("tone.wav"), MakeWave(Tone()));
  LoadSound(dir.File("tone.wav").c_str(), 1, 1);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
  EXPECT_EQ(PlaySound(1, 0, 1), -1);
  EXPECT_EQ(ChannelPlaying(256), 0);
  StopChannel(256);
  StopAllSounds();
  ClearLastError();
  PlayMusic(dir.File("tone.wav").c_str(), 1);
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(MusicPlaying(), 0);
  PauseMusic(1);
  PauseMusic(0);
  SetMusicVolume(0.5);
  RestartMusic();
  MediaLoopMaintenance();
  StopMusic();
  EXPECT_EQ(MusicPlaying(), 0);
  DestroySoundSystem();
}

// Without a sound device the run log says so in one line, with the audio
// library's reason, and the library's own complaints (ALSA's) stay off
// standard error. ALSA is made to fail by asking for a device it has no
// name for, as it fails on a machine without a sound card.
TEST(NoDevice, TheRunLogSaysItRunsSilentAndStandardErrorStaysClean) {
  if (testing_support::InFreshChild()) {
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "velmora_no_such_device", 1);
    InitTimer();
    std::printf(CreateSoundDevice(nullptr) ? "device\n" : "silent\n");
    std::fflush(stdout);
    DestroySoundSystem();
    _exit(42);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess(60);
  ASSERT_EQ(child.exitCode, 42) << child.out << child.err;
  ASSERT_NE(child.out.find("silent\n"), std::string::npos) << child.out;
  EXPECT_EQ(child.err.find("ALSA"), std::string::npos) << child.err;
  const std::vector<std::string> log = testing_support::Lines(child.runLog);
  ASSERT_EQ(log.size(), 1u) << child.runLog;
  EXPECT_EQ(log[0].rfind("no sound device (ALSA: ", 0), 0u) << log[0];
  EXPECT_TRUE(log[0].ends_with("): the program runs silent")) << log[0];
}

}  // namespace
}  // namespace sound_test
