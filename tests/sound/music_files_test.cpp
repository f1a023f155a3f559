// Hostile music files: damaged and absurd headers of every form the runtime
// reads are refused with error 3 and a run-log line, in a process of their
// own so that a decoder that falls over shows as a signal; intact files of
// the same forms still play.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "core/core.h"
#include "files/read_channel.h"
#include "sound/sound_test_util.h"

namespace sound_test {
namespace {

using Bytes = std::string;

void PutBig32(Bytes& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutBig16(Bytes& s, uint32_t v) {
  s += static_cast<char>((v >> 8) & 0xFF);
  s += static_cast<char>(v & 0xFF);
}

struct WaveFields {
  int tag = 1;
  int channels = 2;
  uint32_t rate = 44100;
  int align = 4;
  int bits = 16;
  int subFormat = 0;  // an extensible chunk when not 0
  int64_t dataLength = -1;  // as stored; -1: the bytes that follow
};

// A WAVE file of 0.1 s of silence with the fields as given.
Bytes Wave(const WaveFields& f) {
  const Bytes data(17640, '\0');
  Bytes fmt;
  Put16(fmt, static_cast<uint32_t>(f.tag));
  Put16(fmt, static_cast<uint32_t>(f.channels));
  Put32(fmt, f.rate);
  Put32(fmt, f.rate * static_cast<uint32_t>(f.align));
  Put16(fmt, static_cast<uint32_t>(f.align));
  Put16(fmt, static_cast<uint32_t>(f.bits));
  if (f.subFormat != 0) {
    Put16(fmt, 22);
    Put16(fmt, static_cast<uint32_t>(f.bits));
    Put32(fmt, 3);
    Put16(fmt, static_cast<uint32_t>(f.subFormat));
    fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  Bytes body = "WAVEfmt ";
  Put32(body, static_cast<uint32_t>(fmt.size()));
  body += fmt + "data";
  Put32(body, f.dataLength < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(f.dataLength));
  body += data;
  Bytes file = "RIFF";
  Put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

// An AIFF file of 0.1 s of 16-bit silence; the rate as its 80-bit float.
Bytes Aiff(int channels, double rate) {
  Bytes comm = "COMM";
  PutBig32(comm, 18);
  PutBig16(comm, static_cast<uint32_t>(channels));
  PutBig32(comm, 4410);
  PutBig16(comm, 16);
  int exponent = 0;
  uint64_t mantissa = 0;
  if (rate > 0) {
    const double m = std::frexp(rate, &exponent);  // rate = m * 2^exponent, 0.5 <= m < 1
    mantissa = static_cast<uint64_t>(std::ldexp(m, 64));
    exponent += 16383 - 1;
  }
  PutBig16(comm, static_cast<uint32_t>(exponent));
  PutBig32(comm, static_cast<uint32_t>(mantissa >> 32));
  PutBig32(comm, static_cast<uint32_t>(mantissa));
  Bytes ssnd = "SSND";
  const Bytes samples(static_cast<size_t>(4410 * 2 * (channels > 0 ? channels : 1)), '\0');
  PutBig32(ssnd, static_cast<uint32_t>(8 + samples.size()));
  PutBig32(ssnd, 0);
  PutBig32(ssnd, 0);
  ssnd += samples;
  Bytes file = "FORM";
  PutBig32(file, static_cast<uint32_t>(4 + comm.size() + ssnd.size()));
  return file + "AIFF" + comm + ssnd;
}

// An encoded tone written by ffmpeg; empty when it cannot write the form.
Bytes Encoded(const TempDir& dir, const std::string& name, const std::vector<std::string>& codec) {
  const std::string path = dir.File(name);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   "sine=frequency=1000:sample_rate=48000:duration=0.3"};
  args.insert(args.end(), codec.begin(), codec.end());
  args.push_back(path);
  std::string output;
  if (platform::RunCapturingOutput(args, &output) != 0) return {};
  return ReadWholeFile(path);
}

// Ogg pages carry a checksum, which the decoders check before anything else:
// a changed first page gets it made again, so that the change is what they see.
uint32_t OggCrc(const Bytes& page) {
  uint32_t crc = 0;
  for (unsigned char byte : page) {
    crc ^= static_cast<uint32_t>(byte) << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}
Bytes WithOggByte(Bytes ogg, const char* packetMagic, size_t offset, uint8_t value) {
  const size_t at = ogg.find(packetMagic);
  if (at == std::string::npos || ogg.size() < 27) return {};
  ogg[at + offset] = static_cast<char>(value);
  const size_t segments = static_cast<uint8_t>(ogg[26]);
  size_t pageSize = 27 + segments;
  for (size_t i = 0; i < segments; ++i) pageSize += static_cast<uint8_t>(ogg[27 + i]);
  Bytes page = ogg.substr(0, pageSize);
  page.replace(22, 4, std::string(4, '\0'));
  const uint32_t crc = OggCrc(page);
  for (int i = 0; i < 4; ++i) ogg[22 + static_cast<size_t>(i)] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  return ogg;
}

// The offset of a FLAC file's first frame (after its last metadata block).
size_t FlacFrames(const Bytes& flac) {
  size_t at = 4;
  for (;;) {
    const uint8_t flags = static_cast<uint8_t>(flac[at]);
    const size_t length = static_cast<uint8_t>(flac[at + 1]) << 16 | static_cast<uint8_t>(flac[at + 2]) << 8 |
                          static_cast<uint8_t>(flac[at + 3]);
    at += 4 + length;
    if ((flags & 0x80) != 0 || at >= flac.size()) return at;
  }
}

Bytes Garbage(const Bytes& signature, size_t size, uint32_t seed) {
  Bytes b = signature;
  while (b.size() < size) {
    seed = seed * 1103515245u + 12345u;
    b += static_cast<char>(seed >> 24);
  }
  return b;
}

Bytes Replaced(Bytes b, size_t at, const Bytes& with) {
  if (b.size() < at + with.size()) return {};
  b.replace(at, with.size(), with);
  return b;
}

struct Case {
  std::string name;
  Bytes bytes;
  bool plays;  // an intact file
};

std::vector<Case> Cases(const TempDir& dir) {
  std::vector<Case> cases;
  // A case whose file could not be made (ffmpeg without the encoder) is left out.
  const auto add = [&](const std::string& name, const Bytes& bytes, bool plays) {
    if (!bytes.empty()) cases.push_back({name, bytes, plays});
  };
  add("wave-pcm", Wave({}), true);
  add("wave-24-bit", Wave({.channels = 2, .align = 6, .bits = 24}), true);
  add("wave-float", Wave({.tag = 3, .align = 8, .bits = 32}), true);
  add("wave-extensible", Wave({.tag = 0xFFFE, .channels = 6, .align = 12, .subFormat = 1}), true);
  add("wave-no-channels", Wave({.channels = 0}), false);
  add("wave-no-channels-no-align", Wave({.channels = 0, .align = 0}), false);
  add("wave-a-law-no-channels", Wave({.tag = 6, .channels = 0, .align = 0, .bits = 8}), false);
  add("wave-extensible-no-channels", Wave({.tag = 0xFFFE, .channels = 0, .align = 0, .subFormat = 1}), false);
  add("wave-nine-channels", Wave({.channels = 9, .align = 18}), false);
  add("wave-rate-0", Wave({.rate = 0}), false);
  add("wave-rate-huge", Wave({.rate = 0x7FFFFFFF}), false);
  add("wave-rate-top-bit", Wave({.rate = 0x80000000u + 44100}), false);
  add("wave-align-0", Wave({.align = 0}), false);
  add("wave-bits-0", Wave({.bits = 0}), false);
  add("wave-adpcm", Wave({.tag = 2, .channels = 1, .align = 0, .bits = 4}), false);
  add("wave-data-past-the-end", Wave({.dataLength = 0x7FFFFFF0}), false);
  add("wave-truncated", Wave({}).substr(0, 30), false);
  add("wave-garbage", Garbage("RIFF\xFF\xFF\xFF\xFFWAVE", 4096, 1), false);
  add("aiff", Aiff(2, 44100), true);
  add("aiff-no-channels", Aiff(0, 44100), false);
  add("aiff-rate-0", Aiff(2, 0), false);
  add("aiff-rate-huge", Aiff(2, 1e30), false);
  add("aiff-garbage", Garbage("FORM\x00\x10\x00\x00" "AIFF", 4096, 2), false);

  const Bytes flac = Encoded(dir, "a.flac", {});
  const Bytes mono = Encoded(dir, "m.flac", {"-ac", "1"});
  const Bytes stereo = Encoded(dir, "s.flac", {"-ac", "2"});
  add("flac", flac, true);
  if (!flac.empty()) {
    add("flac-rate-0", Replaced(flac, 18, Bytes("\x00\x00\x0F", 3)), false);
    add("flac-truncated", flac.substr(0, 30), false);
  }
  if (!mono.empty() && !stereo.empty())
    add("flac-mono-frames-stereo-header", stereo.substr(0, FlacFrames(stereo)) + mono.substr(FlacFrames(mono)), false);
  add("flac-garbage", Garbage("fLaC", 4096, 3), false);

  const Bytes ogg = Encoded(dir, "a.ogg", {"-c:a", "libvorbis"});
  add("vorbis", ogg, true);
  add("vorbis-no-channels", WithOggByte(ogg, "\x01vorbis", 11, 0), false);
  add("vorbis-rate-0", WithOggByte(WithOggByte(ogg, "\x01vorbis", 13, 0), "\x01vorbis", 12, 0), false);
  const Bytes opus = Encoded(dir, "a.opus", {"-c:a", "libopus"});
  add("opus", opus, true);
  add("opus-no-channels", WithOggByte(opus, "OpusHead", 9, 0), false);
  add("ogg-garbage", Garbage(Bytes("OggS\x01", 5), 4096, 4), false);

  const Bytes mp3 = Encoded(dir, "a.mp3", {"-c:a", "libmp3lame"});
  add("mp3", mp3, true);
  if (!mp3.empty()) {
    add("mp3-id3-size-not-syncsafe", Replaced(mp3, 6, "\xFF\xFF\xFF\xFF"), false);
    add("mp3-id3-larger-than-the-file", Replaced(mp3, 6, "\x7F\x7F\x7F\x7F"), false);
  }
  add("mp3-bad-frame-header", Bytes("\xFF\xFB\xF4\xC4", 4) + Bytes(4096, '\0'), false);
  add("mp3-garbage", Garbage("ID3\xFF", 4096, 5), false);
  add("midi-no-tracks", Bytes("MThd\x00\x00\x00\x06\x00\x01\x00\x00\x00\x60", 14), false);
  // Passes the check (a module's signature) but no module player reads it.
  add("module-of-nothing", Bytes(1080, '\0') + "M.K.", false);
  add("three-bytes", "ID3", false);
  cases.push_back({"empty", Bytes(), false});
  return cases;
}

using MusicFiles = DiskDevice;

TEST_F(MusicFiles, HostileHeadersAreRefusedAndIntactOnesPlay) {
  if (testing_support::InFreshChild()) {
    // One line per file and way of opening it, written at once, so that a
    // crash shows where it happened.
    for (const Case& c : Cases(dir_)) {
      const std::string path = WriteFile(c.name + ".bin", c.bytes);
      for (int memory = 0; memory < 2; ++memory) {
        if (memory != 0) RegisterMemoryFile(c.bytes.data(), c.bytes.size());
        const std::string name = memory != 0 ? MemoryFileName(c.bytes.data(), c.bytes.size()) : path;
        LastErrorCode = 99;
        PlayMusic(name.c_str(), 0);
        const int32_t error = LastErrorCode, playing = MusicPlaying();
        if (memory != 0) UnregisterMemoryFile(c.bytes.data());
        std::printf("%s %s error %d playing %d\n", c.name.c_str(), memory != 0 ? "memory" : "disk", error, playing);
        std::fflush(stdout);
        WaitFrames(2048);  // the player decodes what it was given
        StopMusic();
      }
    }
    std::printf("done\n");
    std::fflush(stdout);
    _exit(42);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess(120);
  ASSERT_EQ(child.signal, 0) << child.out;
  ASSERT_EQ(child.exitCode, 42) << child.out << child.err;
  const std::vector<std::string> lines = testing_support::Lines(child.out);
  TempDir here;
  const std::vector<Case> cases = Cases(here);
  ASSERT_GE(cases.size(), 25u);
  size_t line = 0;
  for (const Case& c : cases) {
    for (const char* way : {"disk", "memory"}) {
      SCOPED_TRACE(c.name + " " + way);
      const std::string wanted = c.plays ? " error 0 playing 1" : " error 3 playing 0";
      while (line < lines.size() && lines[line].rfind(c.name + " " + way + " ", 0) != 0) ++line;
      ASSERT_LT(line, lines.size()) << child.out;
      EXPECT_EQ(lines[line], c.name + " " + way + wanted);
    }
    // Every hostile file is refused by the runtime's own check, with its
    // reason and the name in the run log.
    bool logged = false;
    for (const std::string& entry : testing_support::Lines(child.runLog))
      logged = logged || (entry.rfind("music refused (", 0) == 0 && entry.ends_with("/" + c.name + ".bin"));
    EXPECT_EQ(logged, !c.plays) << child.runLog;
  }
  EXPECT_NE(child.out.find("done\n"), std::string::npos);
  EXPECT_NE(child.runLog.find("music refused (WAVE channel count): "), std::string::npos) << child.runLog;
  EXPECT_NE(child.runLog.find("music refused (the player cannot open it): /"), std::string::npos) << child.runLog;
  EXPECT_NE(child.runLog.find("music refused (the player cannot open it): mem://"), std::string::npos) << child.runLog;
  // Every refusal names its reason.
  EXPECT_EQ(child.runLog.find("music refused ()"), std::string::npos) << child.runLog;
}


// Files the check once let through while the player read them otherwise,
// each of which made PlayMusic die of a division by zero (SIGFPE): the
// player took "WAVE" at the start and any form name after "RIFF" as WAVE
// when the name ended in ".wav", kept the last of two "fmt " chunks, and
// walked on after an odd-length chunk without the pad byte the check
// skipped. Each runs in a process of its own, from its file and from
// memory, with the player let decode.
struct Gap {
  const char* name;
  const char* fileName;
  std::string bytes;
  const char* refusal;  // nullptr: it plays
};

std::vector<Gap> Gaps() {
  std::string garbage;
  for (uint32_t seed = 7; garbage.size() < 3000;) {
    seed = seed * 1103515245u + 12345u;
    garbage += static_cast<char>(seed >> 24);
  }
  return {
      {"wave-magic-at-the-start", "a.wav", Riff(Fmt(0) + Data(), "WAVE", "WAVE"), "WAVE without its RIFF header"},
      {"riff-wavx", "b.wav", Riff(Fmt(0) + Data(), "WAVX"), "RIFF file that is not WAVE"},
      {"second-format-after-data", "c.bin", Riff(Fmt() + Data() + Fmt(0)), "WAVE channel count"},
      {"odd-chunk-not-padded", "d.bin", OddChunkFile(Fmt(0) + Data(8)), "WAVE channel count"},
      {"second-sound-format-after-data", "e.wav", Riff(Fmt() + Data(17640) + Fmt(1, 22050, 8)), nullptr},
      {"garbage-midi", "f.mid", garbage, "unknown music format"},
      // Looped, a piece of no length was started again and again inside one
      // block of the player, which never returned.
      {"midi-of-no-length", "g.mid", std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x04\0\xFF\x2F\0", 26),
       "MIDI of no length"},
  };
}

class MusicGaps : public DiskDevice, public ::testing::WithParamInterface<size_t> {};

TEST_P(MusicGaps, AreRefusedOrPlaySafely) {
  const Gap gap = Gaps()[GetParam()];
  if (testing_support::InFreshChild()) {
    const std::string path = WriteFile(gap.fileName, gap.bytes);
    RegisterMemoryFile(gap.bytes.data(), gap.bytes.size());
    for (const std::string& name : {path, MemoryFileName(gap.bytes.data(), gap.bytes.size())}) {
      LastErrorCode = 99;
      PlayMusic(name.c_str(), 1);
      std::printf("error %d playing %d\n", LastErrorCode, MusicPlaying());
      std::fflush(stdout);
      WaitFrames(4096);
      StopMusic();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak %ld\n", usage.ru_maxrss);
    std::fflush(stdout);
    _exit(42);
  }
  const testing_support::ChildResult child = testing_support::RunCurrentTestInFreshProcess(60);
  ASSERT_EQ(child.signal, 0) << child.out << child.err;
  ASSERT_EQ(child.exitCode, 42) << child.out << child.err;
  std::vector<std::string> lines;  // the child's own, among the test framework's
  for (const std::string& line : testing_support::Lines(child.out))
    if (line.rfind("error ", 0) == 0 || line.rfind("peak ", 0) == 0) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << child.out;
  const std::string wanted = gap.refusal != nullptr ? "error 3 playing 0" : "error 0 playing 1";
  EXPECT_EQ(lines[0], wanted);
  EXPECT_EQ(lines[1], wanted);
  const std::string refused = gap.refusal != nullptr ? std::string("music refused (") + gap.refusal + "): " : "";
  const std::vector<std::string> log = testing_support::Lines(child.runLog);
  const auto count = std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("music refused", 0) == 0; });
  EXPECT_EQ(count, gap.refusal != nullptr ? 2 : 0) << child.runLog;
  if (gap.refusal != nullptr) {
    EXPECT_NE(child.runLog.find(refused + "/"), std::string::npos) << child.runLog;
    EXPECT_NE(child.runLog.find(refused + "mem://"), std::string::npos) << child.runLog;
  }
  // The child's whole life, the runtime and the decoders included, in kB.
  const long peak = std::stol(lines[2].substr(5));
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 300 * 1024);
}

INSTANTIATE_TEST_SUITE_P(Wave, MusicGaps, ::testing::Range<size_t>(0, 7), [](const auto& info) {
  std::string name = Gaps()[info.param].name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
});

}  // namespace
}  // namespace sound_test
