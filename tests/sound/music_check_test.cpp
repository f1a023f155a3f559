// The music file check on files written byte by byte: each refusal with its
// reason, each form it accepts with the decoder it names, both sides of
// every bound.
#include <string>
#include <vector>

#include "files/read_channel.h"
#include "sound/internal/music_header.h"
#include "sound/sound_test_util.h"

namespace sound_test {
namespace {

using Bytes = std::string;
using platform::MusicFormat;

void PutBig32(Bytes& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutBig16(Bytes& s, uint32_t v) {
  s += static_cast<char>((v >> 8) & 0xFF);
  s += static_cast<char>(v & 0xFF);
}

void PutSyncSafe(Bytes& s, uint32_t v) {
  for (int shift : {21, 14, 7, 0}) s += static_cast<char>((v >> shift) & 0x7F);
}
// An ID3v2 tag of the given body (frames and padding); its size as stored
// is the body's unless given.
Bytes Id3(const Bytes& body, int major = 3, int flags = 0, int64_t size = -1) {
  Bytes t = "ID3";
  t += static_cast<char>(major);
  t += '\0';
  t += static_cast<char>(flags);
  PutSyncSafe(t, static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(body.size()) : size));
  return t + body;
}
// A frame of version 3 (a plain size) or 4 (a sync-safe one).
Bytes Frame(const char* name, const Bytes& body, int major = 3) {
  Bytes f = name;
  if (major == 4)
    PutSyncSafe(f, static_cast<uint32_t>(body.size()));
  else
    PutBig32(f, static_cast<uint32_t>(body.size()));
  f += Bytes(2, '\0');
  return f + body;
}
Bytes Mpeg() { return Bytes("\xFF\xFB\x90\x64", 4) + Bytes(400, '\0'); }
Bytes Text(size_t length) { return '\0' + Bytes(length - 1, 'a'); }

// A note of 96 ticks and the end of the track.
const Bytes kNote("\x00\x90\x3C\x40\x60\x80\x3C\x40\x00\xFF\x2F\x00", 12);

Bytes Midi(int format, int tracks, int trackChunks, const Bytes& events = kNote) {
  Bytes m = "MThd";
  PutBig32(m, 6);
  PutBig16(m, static_cast<uint32_t>(format));
  PutBig16(m, static_cast<uint32_t>(tracks));
  PutBig16(m, 96);
  for (int i = 0; i < trackChunks; ++i) {
    m += "MTrk";
    PutBig32(m, static_cast<uint32_t>(events.size()));
    m += events;
  }
  return m;
}

// A sampler chunk of the given loops (forward, in frames); count as stored.
Bytes Sampler(const std::vector<std::pair<uint32_t, uint32_t>>& loops, uint32_t count) {
  Bytes s(28, '\0');
  Put32(s, count);
  Put32(s, 0);
  for (const auto& [start, end] : loops) {
    Put32(s, 0);
    Put32(s, 0);  // forward
    Put32(s, start);
    Put32(s, end);
    Put32(s, 0);
    Put32(s, 0);
  }
  return Chunk("smpl", s);
}

Bytes Info(const char* field, const Bytes& text, uint32_t length) {
  Bytes l = "INFO";
  l += field;
  Put32(l, length);
  return Chunk("LIST", l + text);
}

// A Vorbis comment block claiming count comments, of which it holds those given.
Bytes Comments(int held, uint32_t count) {
  Bytes c;
  Put32(c, 4);
  c += "velm";
  Put32(c, count);
  for (int i = 0; i < held; ++i) {
    Put32(c, 10);
    c += "TITLE=tune";
  }
  return c;
}
// A FLAC file of stereo 16-bit stream information at 44100 Hz, a comment
// block (and a second stream information block) and one frame header.
Bytes Flac(const Bytes& comments, bool secondInfo = false) {
  Bytes info(18, '\0');
  info[10] = '\x0A';  // 44100 = 0x0AC44, in 20 bits from byte 10
  info[11] = '\xC4';
  info[12] = '\x42';  // the rate's last 4 bits, 2 channels (1), bits 16 (15: 0 then 1111 ...)
  info[13] = '\xF0';
  info += Bytes(16, '\0');
  Bytes f = "fLaC";
  const auto block = [&](int type, const Bytes& body, bool last) {
    f += static_cast<char>(type | (last ? 0x80 : 0));
    f += static_cast<char>((body.size() >> 16) & 0xFF);
    f += static_cast<char>((body.size() >> 8) & 0xFF);
    f += static_cast<char>(body.size() & 0xFF);
    f += body;
  };
  block(0, info, false);
  if (secondInfo) block(0, info, false);
  block(4, comments, true);
  return f + Bytes("\xFF\xF8\x69\x18", 4) + Bytes(64, '\0');
}

Bytes Replaced(Bytes b, size_t at, const Bytes& with) { return b.replace(at, with.size(), with); }

struct Verdict {
  bool ok = false;
  MusicFormat format = MusicFormat::kWave;
  std::string reason;
};

Verdict Check(const Bytes& bytes) {
  RegisterMemoryFile(bytes.data(), bytes.size());
  ReadChannel channel;
  Verdict v;
  if (OpenReadChannel(channel, MemoryFileName(bytes.data(), bytes.size()).c_str())) {
    v.ok = CheckMusicHeader(channel, &v.format, &v.reason);
    CloseChannel(channel);
  } else {
    v.reason = "not opened";
  }
  UnregisterMemoryFile(bytes.data());
  return v;
}

struct Case {
  const char* name;
  Bytes bytes;
  const char* refusal;  // nullptr: accepted
  MusicFormat format = MusicFormat::kWave;
};

TEST(MusicCheck, EachFormReadAsItsDecoderReadsIt) {
  Bytes module(1084, '\0');
  module.replace(1080, 4, "M.K.");
  Bytes tracker = "Extended Module: ";
  tracker += Bytes(300, '\0');
  const Bytes ogg = Bytes("OggS\0", 5) + Bytes(21, '\0') + Bytes("\x01\x05", 2) + "\x7F" "FLAC";
  // The player steps over a frame of 1024 bytes or more from its start, not
  // its end: a picture frame of 1100 bytes at 10 makes it read a frame
  // header at 1110, ten bytes before the picture ends.
  Bytes picture = Frame("APIC", Bytes(1100, '\0'));
  picture.replace(1100, 10, Frame("TIT2", Bytes(0, '\0')).substr(0, 10));
  picture.replace(1104, 4, Bytes("\x00\x00\x08\x00", 4));  // 2048 bytes
  const std::vector<Case> cases = {
      {"wave", Riff(Fmt() + Data()), nullptr},
      {"wave-magic-at-the-start", Riff(Fmt() + Data(), "WAVE", "WAVE"), "WAVE without its RIFF header"},
      {"riff-wavx", Riff(Fmt() + Data(), "WAVX"), "RIFF file that is not WAVE"},
      {"wave-second-format-after-data", Riff(Fmt() + Data() + Fmt(0)), "WAVE channel count"},
      {"wave-second-sound-format-after-data", Riff(Fmt() + Data() + Fmt(1, 22050, 8)), nullptr},
      {"wave-odd-chunk-unpadded-walk", OddChunkFile(Fmt(0) + Data(8)), "WAVE channel count"},
      {"wave-odd-chunk-unpadded-walk-sound", OddChunkFile(Fmt(1) + Data(8)), nullptr},
      {"wave-odd-chunk-then-format", Riff(Chunk("JUNK", "abcde") + Fmt() + Data()), nullptr},
      {"wave-odd-chunk-padded-then-format", Riff(Chunk("JUNK", "abcde") + '\0' + Fmt() + Data()),
       "WAVE without a format chunk"},
      {"wave-data-past-the-end", Riff(Fmt() + Data()).substr(0, 100), "WAVE chunk past the end of the file"},
      {"wave-skipped-chunk-past-the-end", Riff(Fmt() + Data() + Chunk("JUNK", "abcdef")).substr(0, 455), nullptr},
      {"wave-empty-chunk-ends-the-walk", Riff(Fmt() + Chunk("JUNK", "") + Data()), "WAVE without data"},
      {"wave-walk-ended-before-garbage", Riff(Fmt() + Data() + Chunk("JUNK", "") + "garbage!"), nullptr},
      {"wave-header-cut-short-with-length", Riff(Fmt() + Data()) + Bytes("LIST\x05\x00", 6),
       "WAVE chunk header cut short"},
      {"wave-header-cut-short-of-zeros", Riff(Fmt() + Data()) + Bytes("LIST\x00\x00\x00", 7), nullptr},
      {"wave-loops", Riff(Fmt() + Data(400) + Sampler({{0, 99}}, 1)), nullptr},
      {"wave-loop-past-the-data", Riff(Fmt() + Data(400) + Sampler({{0, 100}}, 1)), "WAVE loop outside the data"},
      {"wave-loop-backwards", Riff(Fmt() + Data(400) + Sampler({{50, 49}}, 1)), "WAVE loop outside the data"},
      {"wave-loop-table-past-its-chunk", Riff(Fmt() + Data(400) + Sampler({{0, 9}}, 2)), "damaged WAVE sampler chunk"},
      {"wave-title", Riff(Fmt() + Data() + Info("INAM", Bytes("tune\0", 6), 6)), nullptr},
      {"wave-title-without-its-end", Riff(Fmt() + Data() + Info("INAM", "tunes", 5)), "damaged WAVE list chunk"},
      {"wave-title-longer-than-its-list", Riff(Fmt() + Data() + Info("INAM", Bytes("tune\0", 6), 7)),
       "damaged WAVE list chunk"},
      {"wave-id3-chunk", Riff(Fmt() + Data() + Chunk("id3 ", Id3(Frame("TIT2", Text(1023))))), nullptr},
      {"wave-id3-chunk-title-too-large", Riff(Fmt() + Data() + Chunk("id3 ", Id3(Frame("TIT2", Text(1024))))),
       "ID3 text frame too large"},
      {"mp3-frame-ends-with-its-tag", Id3(Frame("TIT2", Text(20))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-past-its-tag", Id3(Frame("TIT2", Text(20)), 3, 0, 29) + Mpeg(), "damaged ID3 frame"},
      {"mp3-title-1023-bytes", Id3(Frame("TIT2", Text(1023))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-title-1024-bytes", Id3(Frame("TIT2", Text(1024))) + Mpeg(), "ID3 text frame too large"},
      {"mp3-artist-1023-bytes-version-4", Id3(Frame("TPE1", Text(1023), 4), 4) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-artist-1024-bytes-version-4", Id3(Frame("TPE1", Text(1024), 4), 4) + Mpeg(), "ID3 text frame too large"},
      {"mp3-picture-then-hidden-title", Id3(picture + Bytes(100, '\0')) + Mpeg(), "ID3 text frame too large"},
      {"mp3-picture", Id3(Frame("APIC", Bytes(1100, '\0')) + Bytes(100, '\0')) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-extended-header", Id3(Bytes(20, '\0'), 3, 0x40) + Mpeg(), "ID3 tag with an extended header"},
      {"mp3-ape-tag-at-the-end", Mpeg() + "APETAGEX" + Bytes(24, '\0'), "MP3 with an APE tag"},
      {"mp3-ape-tag-before-id3v1", Mpeg() + "APETAGEX" + Bytes(24, '\0') + "TAG" + Bytes(125, '\0'),
       "MP3 with an APE tag"},
      {"midi-format-0-one-track", Midi(0, 1, 1), nullptr, MusicFormat::kMidi},
      {"midi-format-0-two-tracks", Midi(0, 2, 2), "damaged MIDI header"},
      {"midi-smpte-time", Replaced(Midi(0, 1, 1), 12, Bytes("\xE7\x28", 2)), "MIDI timed in SMPTE frames"},
      {"midi-division-top-bit-clear", Replaced(Midi(0, 1, 1), 12, Bytes("\x7F\xFF", 2)), nullptr, MusicFormat::kMidi},
      {"midi-format-1-two-tracks", Midi(1, 2, 2), nullptr, MusicFormat::kMidi},
      {"midi-fewer-tracks-than-announced", Midi(1, 3, 2), "MIDI with fewer tracks than its header announces"},
      {"midi-running-status-and-tempo", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x03\x07\xA1\x20\x00\x90\x3C\x40\x30\x3C\x00\x00\xFF\x2F\x00", 18)),
       nullptr, MusicFormat::kMidi},
      {"midi-tempo-0", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x03\x00\x00\x00", 7) + kNote), "damaged MIDI track"},
      {"midi-unknown-status", Midi(0, 1, 1, Bytes("\x00\x90\x3C\x40\x60\xF6\x00\xFF\x2F\x00", 10)),
       "damaged MIDI track"},
      {"midi-running-status-without-status", Midi(0, 1, 1, Bytes("\x00\x3C\x40\x00\xFF\x2F\x00", 7)),
       "damaged MIDI track"},
      {"midi-data-byte-with-top-bit", Midi(0, 1, 1, Bytes("\x00\x90\x3C\xC0\x60\xFF\x2F\x00", 8)),
       "damaged MIDI track"},
      {"midi-without-end-of-track", Midi(0, 1, 1, kNote.substr(0, 8)), "damaged MIDI track"},
      {"midi-of-no-length", Midi(0, 1, 1, Bytes("\x00\xFF\x2F\x00", 4)), "MIDI of no length"},
      {"midi-one-tick", Midi(0, 1, 1, Bytes("\x01\xFF\x2F\x00", 4)), nullptr, MusicFormat::kMidi},
      {"midi-other-chunk-before-the-tracks", Midi(0, 1, 0) + Chunk("XXXX", "") + Midi(0, 1, 1).substr(14),
       "MIDI with a chunk other than a track"},
      {"midi-header-then-garbage", Midi(1, 1, 0) + Bytes("MTrk\x7F\x00\x00\x00garbage", 15),
       "MIDI chunk past the end of the file"},
      {"garbage", Bytes("\x13\x57\x9B\xDF garbage that is no music at all", 38), "unknown music format"},
      {"flac", Flac(Comments(1, 1)), nullptr, MusicFormat::kFlac},
      {"flac-comment-past-its-block", Flac(Comments(1, 2)), "damaged FLAC comments"},
      {"flac-second-stream-information", Flac(Comments(1, 1), true), "damaged FLAC metadata"},
      {"module", module, nullptr, MusicFormat::kModule},
      {"module-no-signature", module.substr(0, 1080) + "M.X.", "unknown music format"},
      {"extended-module", tracker, nullptr, MusicFormat::kModule},
      {"ogg-flac", ogg, "Ogg stream of neither Vorbis nor Opus"},
      {"three-bytes", "ID3", "too short to hold music"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Verdict v = Check(c.bytes);
    EXPECT_EQ(v.ok, c.refusal == nullptr) << v.reason;
    if (c.refusal != nullptr) {
      EXPECT_EQ(v.reason, c.refusal);
    } else {
      EXPECT_EQ(static_cast<int>(v.format), static_cast<int>(c.format));
    }
  }
}

}  // namespace
}  // namespace sound_test
