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
Bytes Sampler(const std::vector<std::pair<uint32_t, uint32_t>>& loops, uint32_t count, uint32_t type = 0) {
  Bytes s(28, '\0');
  Put32(s, count);
  Put32(s, 0);
  for (const auto& [start, end] : loops) {
    Put32(s, 0);
    Put32(s, type);  // 0: forward
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

// A "fmt " chunk of the given fields (the alignment the fields' own unless
// given); an extensible one (tag 0xFFFE) carries its sample format at byte
// 24; the chunk cut or padded to length when that is given.
Bytes FmtOf(int tag, int channels, uint32_t rate, int bits, int align = -1, int subTag = 1, int length = -1) {
  const int a = align < 0 ? channels * bits / 8 : align;
  Bytes f;
  Put16(f, static_cast<uint32_t>(tag));
  Put16(f, static_cast<uint32_t>(channels));
  Put32(f, rate);
  Put32(f, rate * static_cast<uint32_t>(a));
  Put16(f, static_cast<uint32_t>(a));
  Put16(f, static_cast<uint32_t>(bits));
  if (tag == 0xFFFE) {
    Put16(f, 22);
    Put16(f, static_cast<uint32_t>(bits));
    Put32(f, 3);
    Put16(f, static_cast<uint32_t>(subTag));
    f += Bytes(14, '\0');
  }
  if (length >= 0) f.resize(static_cast<size_t>(length), '\0');
  return Chunk("fmt ", f);
}
// A WAVE file of one format and 400 bytes of data.
Bytes WaveOf(int tag, int channels, uint32_t rate, int bits, int align = -1) {
  return Riff(FmtOf(tag, channels, rate, bits, align) + Data());
}

// A big-endian chunk, padded to an even length.
Bytes BigChunk(const char* id, const Bytes& body) {
  Bytes c = id;
  PutBig32(c, static_cast<uint32_t>(body.size()));
  return c + body + ((body.size() & 1) != 0 ? Bytes(1, '\0') : Bytes());
}
// A rate as an 80-bit extended float (whole rates below 2^31).
Bytes Rate80(uint32_t rate) {
  int shift = 31;
  while (shift > 0 && (rate >> shift) == 0) --shift;
  Bytes r;
  PutBig16(r, static_cast<uint32_t>(16383 + shift));
  PutBig32(r, rate << (31 - shift));
  PutBig32(r, 0);
  return r;
}
// A common chunk; an AIFF-C one names its compression. length cuts it.
Bytes Comm(int channels, int bits, const Bytes& rate = Rate80(44100), const char* compression = nullptr,
           int length = -1) {
  Bytes c;
  PutBig16(c, static_cast<uint32_t>(channels));
  PutBig32(c, 100);
  PutBig16(c, static_cast<uint32_t>(bits));
  c += rate;
  if (compression != nullptr) c += Bytes(compression) + Bytes(2, '\0');
  if (length >= 0) c.resize(static_cast<size_t>(length));
  return BigChunk("COMM", c);
}
// A sound chunk of the given offset and 400 bytes.
Bytes Ssnd(uint32_t offset = 0, size_t bytes = 400) {
  Bytes s;
  PutBig32(s, offset);
  PutBig32(s, 0);
  return BigChunk("SSND", s + Bytes(bytes, '\0'));
}
Bytes Form(const Bytes& chunks, const char* form = "AIFF") {
  Bytes f = "FORM";
  PutBig32(f, static_cast<uint32_t>(4 + chunks.size()));
  return f + form + chunks;
}
const Bytes kFver = BigChunk("FVER", Bytes("\xA2\x80\x51\x40", 4));
Bytes Aifc(int bits, const char* compression) { return Form(kFver + Comm(2, bits, Rate80(44100), compression) + Ssnd(), "AIFC"); }

// An Ogg file of one page holding one packet (lacing of 255s as needed).
Bytes Ogg(const Bytes& packet, int version = 0) {
  Bytes o = "OggS";
  o += static_cast<char>(version);
  o += Bytes(21, '\0');
  Bytes lacing;
  size_t left = packet.size();
  do {
    const size_t segment = left < 255 ? left : 255;
    lacing += static_cast<char>(segment);
    left -= segment;
    if (segment < 255) break;
  } while (true);
  o += static_cast<char>(lacing.size());
  return o + lacing + packet;
}
// A Vorbis identification packet: channels, rate, the block sizes' byte, the framing byte.
Bytes Vorbis(int channels, uint32_t rate, int blocks = 0xB8, int framing = 1, uint32_t version = 0) {
  Bytes v("\x01vorbis", 7);
  Put32(v, version);
  v += static_cast<char>(channels);
  Put32(v, rate);
  v += Bytes(12, '\0');
  v += static_cast<char>(blocks);
  v += static_cast<char>(framing);
  return v;
}
// An Opus head: version, channels, mapping family.
Bytes OpusHead(int version, int channels, int mapping) {
  Bytes h = "OpusHead";
  h += static_cast<char>(version);
  h += static_cast<char>(channels);
  Put16(h, 312);
  Put32(h, 48000);
  Put16(h, 0);
  h += static_cast<char>(mapping);
  return h;
}

// FLAC stream information of a rate, channels and sample size.
Bytes FlacInfo(uint32_t rate, int channels, int bits) {
  Bytes info(18, '\0');
  info[10] = static_cast<char>((rate >> 12) & 0xFF);
  info[11] = static_cast<char>((rate >> 4) & 0xFF);
  info[12] = static_cast<char>((rate & 15) << 4 | (channels - 1) << 1 | ((bits - 1) >> 4));
  info[13] = static_cast<char>(((bits - 1) & 15) << 4);
  return info + Bytes(16, '\0');
}
// A FLAC file of metadata blocks (type, body) and a frame header after them.
Bytes FlacOf(const std::vector<std::pair<int, Bytes>>& blocks, const Bytes& frame = Bytes("\xFF\xF8\x69\x18", 4)) {
  Bytes f = "fLaC";
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Bytes& body = blocks[i].second;
    f += static_cast<char>(blocks[i].first | (i + 1 == blocks.size() ? 0x80 : 0));
    f += static_cast<char>((body.size() >> 16) & 0xFF);
    f += static_cast<char>((body.size() >> 8) & 0xFF);
    f += static_cast<char>(body.size() & 0xFF);
    f += body;
  }
  return f + frame + Bytes(64, '\0');
}
Bytes FlacFrame(int byte2, int byte3, int byte1 = 0xF8) {
  Bytes f("\xFF", 1);
  f += static_cast<char>(byte1);
  f += static_cast<char>(byte2);
  f += static_cast<char>(byte3);
  return f;
}
Bytes Stereo() { return FlacInfo(44100, 2, 16); }

// A MIDI file of a header of the given length and fields and the track chunks given.
Bytes MidiOf(uint32_t length, int format, int tracks, int division, const std::vector<Bytes>& chunks) {
  Bytes m = "MThd";
  PutBig32(m, length);
  PutBig16(m, static_cast<uint32_t>(format));
  PutBig16(m, static_cast<uint32_t>(tracks));
  PutBig16(m, static_cast<uint32_t>(division));
  m += Bytes(length > 6 ? length - 6 : 0, '\0');
  for (const Bytes& events : chunks) {
    m += "MTrk";
    PutBig32(m, static_cast<uint32_t>(events.size()));
    m += events;
  }
  return m;
}
// A track of the given events and then the end of the track.
Bytes Track(const Bytes& events) { return Midi(0, 1, 1, events + Bytes("\x00\xFF\x2F\x00", 4)); }
// An MPEG audio frame header and silence.
Bytes MpegOf(const char* header) { return Bytes(header, 4) + Bytes(400, '\0'); }
// A module with the given four bytes at 1080.
Bytes ModuleTagged(const char* tag) { return Bytes(1080, '\0') + Bytes(tag, 4); }

Bytes Replaced(Bytes b, size_t at, const Bytes& with) { return b.replace(at, with.size(), with); }

struct Verdict {
  bool ok = false;
  MusicFormat format = static_cast<MusicFormat>(99);  // none: the check must name one
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
  // A frame of exactly 1024 bytes is stepped over from its start too.
  Bytes private1024(1024, '\0');
  private1024.replace(1014, 10, Bytes("TIT2\x00\x00\x08\x00\x00\x00", 10));
  std::vector<Case> cases = {
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
      {"wave-title", Riff(Fmt() + Data() + Info("INAM", Bytes("tune\0\0", 6), 6)), nullptr},
      {"wave-title-without-its-end", Riff(Fmt() + Data() + Info("INAM", "tunes", 5)), "damaged WAVE list chunk"},
      {"wave-title-longer-than-its-list", Riff(Fmt() + Data() + Info("INAM", Bytes("tune\0\0", 6), 7)),
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
      {"garbage", Bytes("\x13\x57\x9B\xDF garbage that is no music at all", 36), "unknown music format"},
      {"flac", Flac(Comments(1, 1)), nullptr, MusicFormat::kFlac},
      {"flac-comment-past-its-block", Flac(Comments(1, 2)), "damaged FLAC comments"},
      {"flac-second-stream-information", Flac(Comments(1, 1), true), "damaged FLAC metadata"},
      {"module", module, nullptr, MusicFormat::kModule},
      {"module-no-signature", module.substr(0, 1080) + "M.X.", "unknown music format"},
      {"extended-module", tracker, nullptr, MusicFormat::kModule},
      {"ogg-flac", ogg, "Ogg stream of neither Vorbis nor Opus"},
      // The "fmt " chunk's rules, each on both sides.
      {"wave-format-15-bytes", Riff(FmtOf(1, 2, 44100, 16, -1, 1, 15) + Data()), "damaged WAVE format chunk"},
      {"wave-format-18-bytes", Riff(FmtOf(1, 2, 44100, 16, -1, 1, 18) + Data()), nullptr},
      {"wave-extensible", Riff(FmtOf(0xFFFE, 2, 44100, 16) + Data()), nullptr},
      {"wave-extensible-39-bytes", Riff(FmtOf(0xFFFE, 2, 44100, 16, -1, 1, 39) + Data()), "damaged WAVE format chunk"},
      {"wave-extensible-of-adpcm", Riff(FmtOf(0xFFFE, 2, 44100, 16, -1, 2) + Data()), "WAVE sample format"},
      {"wave-extensible-of-float", Riff(FmtOf(0xFFFE, 2, 44100, 32, -1, 3) + Data()), nullptr},
      {"wave-one-channel", WaveOf(1, 1, 44100, 16), nullptr},
      {"wave-eight-channels", WaveOf(1, 8, 44100, 16), nullptr},
      {"wave-nine-channels", WaveOf(1, 9, 44100, 16), "WAVE channel count"},
      {"wave-rate-99", WaveOf(1, 2, 99, 16), "WAVE sample rate"},
      {"wave-rate-100", WaveOf(1, 2, 100, 16), nullptr},
      {"wave-rate-200000", WaveOf(1, 2, 200000, 16), nullptr},
      {"wave-rate-200001", WaveOf(1, 2, 200001, 16), "WAVE sample rate"},
      {"wave-pcm-8", WaveOf(1, 2, 44100, 8), nullptr},
      {"wave-pcm-24", WaveOf(1, 2, 44100, 24), nullptr},
      {"wave-pcm-32", WaveOf(1, 2, 44100, 32), nullptr},
      {"wave-pcm-12", WaveOf(1, 2, 44100, 12, 4), "WAVE sample format"},
      {"wave-float-32", WaveOf(3, 2, 44100, 32), nullptr},
      {"wave-float-64", WaveOf(3, 2, 44100, 64), nullptr},
      {"wave-float-16", WaveOf(3, 2, 44100, 16), "WAVE sample format"},
      {"wave-a-law", WaveOf(6, 2, 44100, 8), nullptr},
      {"wave-mu-law", WaveOf(7, 2, 44100, 8), nullptr},
      {"wave-a-law-16", WaveOf(6, 2, 44100, 16), "WAVE sample format"},
      {"wave-mu-law-16", WaveOf(7, 2, 44100, 16), "WAVE sample format"},
      {"wave-tag-2", WaveOf(2, 2, 44100, 16), "WAVE sample format"},
      {"wave-align-one-less", WaveOf(1, 2, 44100, 16, 3), "WAVE block alignment"},
      {"wave-align-one-more", WaveOf(1, 2, 44100, 16, 5), "WAVE block alignment"},
      // The chunk walk: each chunk it parses must lie inside the file, the
      // last byte included; a header cut short must be of zeros.
      {"wave-data-one-byte-short", Riff(Fmt() + Data()).substr(0, Riff(Fmt() + Data()).size() - 1),
       "WAVE chunk past the end of the file"},
      {"wave-format-past-the-end", Riff(Data() + Fmt()).substr(0, Riff(Data() + Fmt()).size() - 1),
       "WAVE chunk past the end of the file"},
      {"wave-list-past-the-end", Riff(Fmt() + Data() + Info("ISFT", "x", 1)).substr(0, 460),
       "WAVE chunk past the end of the file"},
      {"wave-sampler-past-the-end", Riff(Fmt() + Data(400) + Sampler({}, 0)).substr(0, 480),
       "WAVE chunk past the end of the file"},
      {"wave-id3-past-the-end", Riff(Fmt() + Data() + Chunk("id3 ", Id3(Frame("TIT2", Text(20))))).substr(0, 470),
       "WAVE chunk past the end of the file"},
      {"wave-header-cut-at-its-name", Riff(Fmt() + Data()) + "LIST", nullptr},
      {"wave-header-cut-one-length-byte", Riff(Fmt() + Data()) + Bytes("LIST\x01", 5), "WAVE chunk header cut short"},
      {"wave-header-cut-last-length-byte", Riff(Fmt() + Data()) + Bytes("LIST\x00\x00\x01", 7),
       "WAVE chunk header cut short"},
      {"wave-without-format", Riff(Data()), "WAVE without a format chunk"},
      {"wave-1023-chunks", Riff(Fmt() + Data() + [] { Bytes j; for (int i = 0; i < 1021; ++i) j += Chunk("JUNK", "a"); return j; }()), nullptr},
      {"wave-1024-chunks", Riff(Fmt() + Data() + [] { Bytes j; for (int i = 0; i < 1022; ++i) j += Chunk("JUNK", "a"); return j; }()),
       "too many WAVE chunks"},
      // Loops by the decoded frame size of each sample format.
      {"wave-loop-to-the-last-frame-8-bit", Riff(FmtOf(1, 1, 44100, 8) + Data(100) + Sampler({{0, 99}}, 1)), nullptr},
      {"wave-loop-past-the-data-8-bit", Riff(FmtOf(1, 1, 44100, 8) + Data(100) + Sampler({{0, 100}}, 1)),
       "WAVE loop outside the data"},
      {"wave-loop-to-the-last-frame-a-law", Riff(FmtOf(6, 1, 44100, 8) + Data(200) + Sampler({{0, 99}}, 1)), nullptr},
      {"wave-loop-past-the-data-a-law", Riff(FmtOf(6, 1, 44100, 8) + Data(200) + Sampler({{0, 100}}, 1)),
       "WAVE loop outside the data"},
      {"wave-loop-past-the-data-mu-law", Riff(FmtOf(7, 1, 44100, 8) + Data(200) + Sampler({{0, 100}}, 1)),
       "WAVE loop outside the data"},
      {"wave-loop-to-the-last-frame-24-bit", Riff(FmtOf(1, 1, 44100, 24) + Data(400) + Sampler({{0, 99}}, 1)), nullptr},
      {"wave-loop-past-the-data-24-bit", Riff(FmtOf(1, 1, 44100, 24) + Data(400) + Sampler({{0, 100}}, 1)),
       "WAVE loop outside the data"},
      {"wave-loop-to-the-last-frame-64-bit", Riff(FmtOf(3, 1, 44100, 64) + Data(400) + Sampler({{0, 99}}, 1)), nullptr},
      {"wave-loop-past-the-data-64-bit", Riff(FmtOf(3, 1, 44100, 64) + Data(400) + Sampler({{0, 100}}, 1)),
       "WAVE loop outside the data"},
      {"wave-loop-of-one-frame", Riff(Fmt() + Data(400) + Sampler({{50, 50}}, 1)), nullptr},
      {"wave-loop-not-forward-unchecked", Riff(Fmt() + Data(400) + Sampler({{50, 500}}, 1, 1)), nullptr},
      {"wave-sampler-35-bytes", Riff(Fmt() + Data() + Chunk("smpl", Bytes(35, '\0'))), "damaged WAVE sampler chunk"},
      {"wave-sampler-36-bytes", Riff(Fmt() + Data() + Chunk("smpl", Bytes(36, '\0'))), nullptr},
      // The list chunk: four bytes at least, each field the player copies ended inside it.
      {"wave-list-3-bytes", Riff(Fmt() + Data() + Chunk("LIST", "INF")), "damaged WAVE list chunk"},
      {"wave-list-not-info", Riff(Fmt() + Data() + Chunk("LIST", "adtlINAM\x05")), nullptr},
      {"wave-artist-without-its-end", Riff(Fmt() + Data() + Info("IART", "tunes", 5)), "damaged WAVE list chunk"},
      {"wave-album-without-its-end", Riff(Fmt() + Data() + Info("IALB", "tunes", 5)), "damaged WAVE list chunk"},
      {"wave-copyright", Riff(Fmt() + Data() + Info("BCPR", Bytes("tune\0", 5), 5)), nullptr},
      {"wave-album", Riff(Fmt() + Data() + Info("IALB", Bytes("tune\0", 5), 5)), nullptr},
      {"wave-artist", Riff(Fmt() + Data() + Info("IART", Bytes("tune\0", 5), 5)), nullptr},
      {"wave-copyright-without-its-end", Riff(Fmt() + Data() + Info("BCPR", "tunes", 5)), "damaged WAVE list chunk"},
      {"wave-other-field-without-its-end", Riff(Fmt() + Data() + Info("ISFT", "tunes", 5)), nullptr},
      {"wave-title-ended-after-its-length", Riff(Fmt() + Data() + Info("INAM", Bytes("tune\0", 5), 4)), nullptr},
      {"wave-title-without-its-length", Riff(Fmt() + Data() + Chunk("LIST", "INFOINAM\x01")), "damaged WAVE list chunk"},
      {"wave-id3-chunk-9-bytes", Riff(Fmt() + Data() + Chunk("id3 ", Id3("").substr(0, 9))), "damaged ID3 tag"},
      // ID3 tags: the header, the frames as read and as the player walks them.
      {"mp3-id3-version-2", Id3(Bytes("TT2\x00\x00\x05\x00tune", 11), 2) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-id3-version-2-long-title", Id3(Bytes("TT2\x00\x04\x01", 6) + Text(1025), 2) + Mpeg(), nullptr,
       MusicFormat::kMp3},
      {"mp3-id3-version-1", Id3(Frame("TIT2", Text(20)), 1) + Mpeg(), "damaged ID3 tag"},
      {"mp3-id3-version-5", Id3(Frame("TIT2", Text(20)), 5) + Mpeg(), "damaged ID3 tag"},
      {"mp3-id3-revision-FF", Replaced(Id3(Frame("TIT2", Text(20))) + Mpeg(), 4, "\xFF"), "damaged ID3 tag"},
      {"mp3-id3-revision-FE", Replaced(Id3(Frame("TIT2", Text(20))) + Mpeg(), 4, "\xFE"), nullptr, MusicFormat::kMp3},
      {"mp3-id3-size-byte-80", Replaced(Id3(Frame("TIT2", Text(20))) + Mpeg(), 9, "\x80"), "damaged ID3 tag size"},
      {"mp3-id3-size-byte-of-the-first", Replaced(Id3(Frame("TIT2", Text(20))) + Mpeg(), 6, "\x80"), "damaged ID3 tag size"},
      {"mp3-id3-larger-than-16-mb", Id3("", 3, 0, (16 << 20) + 1) + Mpeg(), "ID3 tag too large"},
      {"mp3-id3-of-16-mb", Id3("", 3, 0, 16 << 20) + Mpeg(), "ID3 tag without audio after it"},
      {"mp3-id3-extended-header-version-2", Id3(Frame("TIT2", Text(20)).substr(0, 0), 2, 0x40) + Mpeg(), nullptr,
       MusicFormat::kMp3},
      {"mp3-id3-extended-header-version-4", Id3(Bytes(20, '\0'), 4, 0x40) + Mpeg(), "ID3 tag with an extended header"},
      {"mp3-id3-without-audio", Id3(Frame("TIT2", Text(20))), "ID3 tag without audio after it"},
      {"mp3-id3-and-one-byte", Id3(Frame("TIT2", Text(20))) + "x", nullptr, MusicFormat::kMp3},
      {"mp3-id3-footer-version-4-without-audio", Id3(Frame("TIT2", Text(20), 4), 4, 0x10) + Bytes("3DI\x04\x00\x10", 6) + Bytes(4, '\0'),
       "ID3 tag without audio after it"},
      {"mp3-id3-footer-flag-version-3", Id3(Frame("TIT2", Text(20)), 3, 0x10) + Bytes(10, '\0'), nullptr, MusicFormat::kMp3},
      {"mp3-id3-9-bytes", Id3("").substr(0, 9), "damaged ID3 tag"},
      {"mp3-frame-name-lower-case", Id3(Frame("TiT2", Text(20))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-name-below-A", Id3(Frame("@IT2", Text(20))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-name-above-Z", Id3(Frame("[IT2", Text(20))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-name-below-0", Id3(Frame("TIT/", Text(20))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-name-above-9", Id3(Frame("TIT:", Text(20))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-name-Z-and-9", Id3(Frame("ZZZ9", Text(20))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-name-A-and-0", Id3(Frame("AAA0", Text(20))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-of-no-size", Id3(Frame("PRIV", "") + Frame("TPE1", Text(5))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-exactly-in-its-tag", Id3(Frame("TIT2", Text(20)), 3, 0, 30) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-then-padding", Id3(Frame("TIT2", Text(20)) + Bytes(30, '\0')) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-cut-header-at-the-end", Id3(Frame("TIT2", Text(20)) + "PRIV\x01") + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-text-encoding-1", Id3(Frame("TIT2", Bytes("\x01tune", 5))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-text-encoding-2-version-3", Id3(Frame("TIT2", Bytes("\x02tune", 5))) + Mpeg(), "damaged ID3 frame"},
      {"mp3-text-encoding-3-version-4", Id3(Frame("TIT2", Bytes("\x03tune", 5), 4), 4) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-text-encoding-4-version-4", Id3(Frame("TIT2", Bytes("\x04tune", 5), 4), 4) + Mpeg(), "damaged ID3 frame"},
      {"mp3-other-frame-any-first-byte", Id3(Frame("PRIV", Bytes("\x09tune", 5))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-frame-size-not-sync-safe-version-4", Id3(Replaced(Frame("TIT2", Text(20), 4), 6, "\x80"), 4) + Mpeg(),
       "damaged ID3 frame"},
      {"mp3-title-1024-bytes-version-4", Id3(Frame("TIT2", Text(1024), 4), 4) + Mpeg(), "ID3 text frame too large"},
      {"mp3-album-1023-bytes", Id3(Frame("TALB", Text(1023))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-album-1024-bytes", Id3(Frame("TALB", Text(1024))) + Mpeg(), "ID3 text frame too large"},
      {"mp3-copyright-1023-bytes", Id3(Frame("TCOP", Text(1023))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"mp3-copyright-1024-bytes", Id3(Frame("TCOP", Text(1024))) + Mpeg(), "ID3 text frame too large"},
      {"mp3-artist-1024-bytes", Id3(Frame("TPE1", Text(1024))) + Mpeg(), "ID3 text frame too large"},
      {"mp3-genre-1024-bytes", Id3(Frame("TCON", Text(1024))) + Mpeg(), nullptr, MusicFormat::kMp3},
      // MPEG frame headers: each reserved field and a good value beside it.
      {"mp3-frame-only", MpegOf("\xFF\xFB\x90\x64"), nullptr, MusicFormat::kMp3},
      {"mp3-version-2.5", MpegOf("\xFF\xE3\x90\x64"), nullptr, MusicFormat::kMp3},
      {"mp3-version-reserved", MpegOf("\xFF\xEB\x90\x64"), "damaged MPEG audio frame header"},
      {"mp3-layer-reserved", MpegOf("\xFF\xF9\x90\x64"), "damaged MPEG audio frame header"},
      {"mp3-bitrate-14", MpegOf("\xFF\xFB\xE0\x64"), nullptr, MusicFormat::kMp3},
      {"mp3-bitrate-reserved", MpegOf("\xFF\xFB\xF0\x64"), "damaged MPEG audio frame header"},
      {"mp3-rate-2", MpegOf("\xFF\xFB\x98\x64"), nullptr, MusicFormat::kMp3},
      {"mp3-rate-reserved", MpegOf("\xFF\xFB\x9C\x64"), "damaged MPEG audio frame header"},
      {"mp3-bad-frame-after-its-tag", Id3(Frame("TIT2", Text(20))) + MpegOf("\xFF\xFB\xF0\x64"), "damaged MPEG audio frame header"},
      {"mp3-no-sync", MpegOf("\xFF\xDB\x90\x64"), "unknown music format"},
      {"mp3-ape-tag-33-from-the-end", Mpeg() + "APETAGEX" + Bytes(25, '\0'), nullptr, MusicFormat::kMp3},
      {"mp3-ape-tag-159-from-the-end", Mpeg() + "APETAGEX" + Bytes(24, '\0') + "TAG" + Bytes(124, '\0'), nullptr, MusicFormat::kMp3},
      // AIFF and AIFF-C.
      {"aiff", Form(Comm(2, 16) + Ssnd()), nullptr},
      {"aiff-not-aiff", Form(Comm(2, 16) + Ssnd(), "AIFX"), "FORM file that is not AIFF"},
      {"aiff-11-bytes", Form("").substr(0, 11), "damaged AIFF header"},
      {"aiff-header-cut-short", Form(Comm(2, 16) + Ssnd()) + "JUN", "AIFF chunk header cut short"},
      {"aiff-sound-one-byte-short", Form(Comm(2, 16) + Ssnd()).substr(0, Form(Comm(2, 16) + Ssnd()).size() - 1),
       "AIFF chunk past the end of the file"},
      {"aiff-odd-chunk-padded", Form(BigChunk("JUNK", "abc") + Comm(2, 16) + Ssnd()), nullptr},
      {"aiff-common-17-bytes", Form(Comm(2, 16, Rate80(44100), nullptr, 17) + Ssnd()), "damaged AIFF common chunk"},
      {"aiff-no-channels", Form(Comm(0, 16) + Ssnd()), "AIFF channel count"},
      {"aiff-eight-channels", Form(Comm(8, 16) + Ssnd()), nullptr},
      {"aiff-nine-channels", Form(Comm(9, 16) + Ssnd()), "AIFF channel count"},
      {"aiff-8-bit", Form(Comm(2, 8) + Ssnd()), nullptr},
      {"aiff-24-bit", Form(Comm(2, 24) + Ssnd()), nullptr},
      {"aiff-32-bit", Form(Comm(2, 32) + Ssnd()), nullptr},
      {"aiff-12-bit", Form(Comm(2, 12) + Ssnd()), "AIFF sample size"},
      {"aiff-rate-99", Form(Comm(2, 16, Rate80(99)) + Ssnd()), "AIFF sample rate"},
      {"aiff-rate-100", Form(Comm(2, 16, Rate80(100)) + Ssnd()), nullptr},
      {"aiff-rate-200000", Form(Comm(2, 16, Rate80(200000)) + Ssnd()), nullptr},
      {"aiff-rate-200001", Form(Comm(2, 16, Rate80(200001)) + Ssnd()), "AIFF sample rate"},
      {"aiff-rate-negative", Form(Comm(2, 16, Replaced(Rate80(44100), 0, "\xC0")) + Ssnd()), "AIFF sample rate"},
      {"aiff-sound-7-bytes", Form(Comm(2, 16) + BigChunk("SSND", Bytes(7, '\0'))), "damaged AIFF sound chunk"},
      {"aiff-sound-offset-to-its-end", Form(Comm(2, 16) + Ssnd(400)), nullptr},
      {"aiff-sound-offset-past-its-end", Form(Comm(2, 16) + Ssnd(401)), "damaged AIFF sound chunk"},
      {"aiff-without-sound", Form(Comm(2, 16)), "AIFF without common or sound chunk"},
      {"aiff-without-common", Form(Ssnd()), "AIFF without common or sound chunk"},
      {"aiff-id3", Form(Comm(2, 16) + Ssnd() + BigChunk("ID3 ", Id3(Frame("TIT2", Text(20))))), nullptr},
      {"aiff-id3-9-bytes", Form(Comm(2, 16) + Ssnd() + BigChunk("ID3 ", Id3("").substr(0, 9))), "damaged ID3 tag"},
      {"aiff-1025-chunks", Form(Comm(2, 16) + Ssnd() + [] { Bytes j; for (int i = 0; i < 1023; ++i) j += BigChunk("JUNK", "ab"); return j; }()),
       "too many AIFF chunks"},
      {"aiff-1024-chunks", Form(Comm(2, 16) + Ssnd() + [] { Bytes j; for (int i = 0; i < 1022; ++i) j += BigChunk("JUNK", "ab"); return j; }()),
       nullptr},
      {"aifc-without-version", Form(Comm(2, 16, Rate80(44100), "NONE") + Ssnd(), "AIFC"), "AIFF-C without a version chunk"},
      {"aifc-common-21-bytes", Form(kFver + Comm(2, 16, Rate80(44100), "NONE", 21) + Ssnd(), "AIFC"),
       "damaged AIFF common chunk"},
      {"aifc-8-bit-none", Aifc(8, "NONE"), "AIFF-C compression"},
      {"aifc-16-bit-raw", Aifc(16, "raw "), "AIFF-C compression"},
      {"aifc-24-bit-ulaw", Aifc(24, "ULAW"), "AIFF-C compression"},
      {"aifc-32-bit-ulaw", Aifc(32, "ULAW"), "AIFF-C compression"},
      // Ogg Vorbis and Opus headers.
      {"vorbis", Ogg(Vorbis(2, 44100)), nullptr, MusicFormat::kOggVorbis},
      {"vorbis-page-version-1", Ogg(Vorbis(2, 44100), 1), "damaged Ogg page"},
      {"vorbis-29-bytes", Ogg(Vorbis(2, 44100).substr(0, 29)), "damaged Vorbis header"},
      {"vorbis-version-1", Ogg(Vorbis(2, 44100, 0xB8, 1, 1)), "damaged Vorbis header"},
      {"vorbis-no-channels", Ogg(Vorbis(0, 44100)), "Vorbis channel count"},
      {"vorbis-eight-channels", Ogg(Vorbis(8, 44100)), nullptr, MusicFormat::kOggVorbis},
      {"vorbis-nine-channels", Ogg(Vorbis(9, 44100)), "Vorbis channel count"},
      {"vorbis-rate-99", Ogg(Vorbis(2, 99)), "Vorbis sample rate"},
      {"vorbis-rate-200001", Ogg(Vorbis(2, 200001)), "Vorbis sample rate"},
      {"vorbis-blocks-6-and-6", Ogg(Vorbis(2, 44100, 0x66)), nullptr, MusicFormat::kOggVorbis},
      {"vorbis-small-block-5", Ogg(Vorbis(2, 44100, 0x65)), "damaged Vorbis header"},
      {"vorbis-blocks-13-and-13", Ogg(Vorbis(2, 44100, 0xDD)), nullptr, MusicFormat::kOggVorbis},
      {"vorbis-large-block-14", Ogg(Vorbis(2, 44100, 0xE8)), "damaged Vorbis header"},
      {"vorbis-small-above-large", Ogg(Vorbis(2, 44100, 0x89)), "damaged Vorbis header"},
      {"vorbis-no-framing", Ogg(Vorbis(2, 44100, 0xB8, 0)), "damaged Vorbis header"},
      {"vorbis-framing-other-bits", Ogg(Vorbis(2, 44100, 0xB8, 0xFE)), "damaged Vorbis header"},
      {"vorbis-in-a-long-packet", Ogg(Vorbis(2, 44100) + Bytes(300, '\0')), nullptr, MusicFormat::kOggVorbis},
      {"opus", Ogg(OpusHead(1, 2, 0)), nullptr, MusicFormat::kOpus},
      {"opus-version-15", Ogg(OpusHead(15, 2, 0)), nullptr, MusicFormat::kOpus},
      {"opus-version-16", Ogg(OpusHead(16, 2, 0)), "damaged Opus header"},
      {"opus-18-bytes", Ogg(OpusHead(1, 2, 0).substr(0, 18)), "damaged Opus header"},
      {"opus-no-channels", Ogg(OpusHead(1, 0, 1)), "Opus channel count"},
      {"opus-nine-channels", Ogg(OpusHead(1, 9, 1)), "Opus channel count"},
      {"opus-three-channels-family-0", Ogg(OpusHead(1, 3, 0)), "Opus channel count"},
      {"opus-three-channels-family-1", Ogg(OpusHead(1, 3, 1)), nullptr, MusicFormat::kOpus},
      {"ogg-7-byte-packet", Ogg("\x01vorbi"), "Ogg stream of neither Vorbis nor Opus"},
      // FLAC metadata and the first frame.
      {"flac-mono", FlacOf({{0, FlacInfo(44100, 1, 16)}}, FlacFrame(0x69, 0x08)), nullptr, MusicFormat::kFlac},
      {"flac-eight-channels", FlacOf({{0, FlacInfo(44100, 8, 16)}}, FlacFrame(0x69, 0x78)), nullptr, MusicFormat::kFlac},
      {"flac-stereo-frame-of-one", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0x08)), "FLAC frame channels differ from the stream's"},
      {"flac-side-channels-8", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0x88)), nullptr, MusicFormat::kFlac},
      {"flac-side-channels-10", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0xA8)), nullptr, MusicFormat::kFlac},
      {"flac-channels-11", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0xB8)), "FLAC frame channels differ from the stream's"},
      {"flac-rate-99", FlacOf({{0, FlacInfo(99, 2, 16)}}), "FLAC sample rate"},
      {"flac-rate-100", FlacOf({{0, FlacInfo(100, 2, 16)}}), nullptr, MusicFormat::kFlac},
      {"flac-rate-200001", FlacOf({{0, FlacInfo(200001, 2, 16)}}), "FLAC sample rate"},
      {"flac-3-bit", FlacOf({{0, FlacInfo(44100, 2, 3)}}), "FLAC sample size"},
      {"flac-4-bit", FlacOf({{0, FlacInfo(44100, 2, 4)}}), nullptr, MusicFormat::kFlac},
      {"flac-32-bit", FlacOf({{0, FlacInfo(44100, 2, 32)}}), nullptr, MusicFormat::kFlac},
      {"flac-information-33-bytes", FlacOf({{0, Stereo().substr(0, 33)}}), "damaged FLAC stream information"},
      {"flac-first-block-padding", FlacOf({{1, Stereo()}}), "damaged FLAC stream information"},
      {"flac-block-type-127", FlacOf({{0, Stereo()}, {127, ""}}), "damaged FLAC metadata"},
      {"flac-block-type-126", FlacOf({{0, Stereo()}, {126, ""}}), nullptr, MusicFormat::kFlac},
      {"flac-block-past-the-end", FlacOf({{0, Stereo()}, {1, Bytes(10, '\0')}}).substr(0, 55), "FLAC metadata past the end of the file"},
      {"flac-block-to-the-end", FlacOf({{0, Stereo()}, {1, Bytes(10, '\0')}}, "").substr(0, 56), "FLAC without a frame after its metadata"},
      {"flac-seek-table-18", FlacOf({{0, Stereo()}, {3, Bytes(18, '\0')}}), nullptr, MusicFormat::kFlac},
      {"flac-seek-table-17", FlacOf({{0, Stereo()}, {3, Bytes(17, '\0')}}), "damaged FLAC seek table"},
      {"flac-padding-17", FlacOf({{0, Stereo()}, {1, Bytes(17, '\0')}}), nullptr, MusicFormat::kFlac},
      {"flac-comments-of-none", FlacOf({{0, Stereo()}, {4, Comments(0, 0)}}), nullptr, MusicFormat::kFlac},
      {"flac-comments-without-a-count", FlacOf({{0, Stereo()}, {4, Comments(0, 0).substr(0, 11)}}), "damaged FLAC comments"},
      {"flac-comments-vendor-past-the-block", FlacOf({{0, Stereo()}, {4, Comments(0, 0).substr(0, 7)}}), "damaged FLAC comments"},
      {"flac-comments-vendor-length-cut", FlacOf({{0, Stereo()}, {4, Bytes("\x04\x00\x00", 3)}}), "damaged FLAC comments"},
      {"flac-comment-length-cut", FlacOf({{0, Stereo()}, {4, Comments(0, 1) + Bytes("\x04\x00", 2)}}), "damaged FLAC comments"},
      {"flac-1025-blocks", FlacOf([] { std::vector<std::pair<int, Bytes>> b = {{0, Stereo()}}; for (int i = 0; i < 1024; ++i) b.push_back({1, ""}); return b; }()),
       "FLAC without a frame after its metadata"},
      {"flac-1024-blocks", FlacOf([] { std::vector<std::pair<int, Bytes>> b = {{0, Stereo()}}; for (int i = 0; i < 1023; ++i) b.push_back({1, ""}); return b; }()),
       nullptr, MusicFormat::kFlac},
      {"flac-frame-not-ff", Replaced(FlacOf({{0, Stereo()}}), 42, "\xFE"), "FLAC without a frame after its metadata"},
      {"flac-frame-variable-blocks", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0x18, 0xF9)), nullptr, MusicFormat::kFlac},
      {"flac-frame-bad-sync", FlacOf({{0, Stereo()}}, FlacFrame(0x69, 0x18, 0xFA)), "FLAC without a frame after its metadata"},
      {"flac-frame-block-size-0", FlacOf({{0, Stereo()}}, FlacFrame(0x09, 0x18)), "damaged FLAC frame header"},
      {"flac-frame-block-size-1", FlacOf({{0, Stereo()}}, FlacFrame(0x19, 0x18)), nullptr, MusicFormat::kFlac},
      {"flac-frame-rate-15", FlacOf({{0, Stereo()}}, FlacFrame(0x6F, 0x18)), "damaged FLAC frame header"},
      {"flac-frame-rate-14", FlacOf({{0, Stereo()}}, FlacFrame(0x6E, 0x18)), nullptr, MusicFormat::kFlac},
      // MIDI headers and tracks.
      {"midi-header-5-bytes", MidiOf(5, 1, 1, 96, {}), "damaged MIDI header"},
      {"midi-header-7-bytes", MidiOf(7, 1, 1, 96, {kNote}), nullptr, MusicFormat::kMidi},
      {"midi-format-3", MidiOf(6, 3, 1, 96, {kNote}), "damaged MIDI header"},
      {"midi-format-2-two-tracks", MidiOf(6, 2, 2, 96, {kNote, kNote}), nullptr, MusicFormat::kMidi},
      {"midi-no-tracks", MidiOf(6, 1, 0, 96, {}), "damaged MIDI header"},
      {"midi-division-0", MidiOf(6, 1, 1, 0, {kNote}), "damaged MIDI header"},
      {"midi-division-1", MidiOf(6, 1, 1, 1, {kNote}), nullptr, MusicFormat::kMidi},
      {"midi-13-bytes", MidiOf(6, 0, 1, 0x100, {}).substr(0, 13), "damaged MIDI header"},
      {"midi-track-exactly-to-the-end", Midi(0, 1, 1), nullptr, MusicFormat::kMidi},
      {"midi-track-one-byte-past-the-end", Midi(0, 1, 1).substr(0, Midi(0, 1, 1).size() - 1), "MIDI chunk past the end of the file"},
      {"midi-second-track-of-no-length", MidiOf(6, 1, 2, 96, {kNote, Bytes("\x00\xFF\x2F\x00", 4)}), nullptr, MusicFormat::kMidi},
      {"midi-first-track-of-no-length", MidiOf(6, 1, 2, 96, {Bytes("\x00\xFF\x2F\x00", 4), kNote}), nullptr, MusicFormat::kMidi},
      {"midi-delta-of-four-bytes", Track(Bytes("\x81\x80\x80\x00\x90\x3C\x40", 7)), nullptr, MusicFormat::kMidi},
      {"midi-delta-of-five-bytes", Track(Bytes("\x81\x80\x80\x80\x00\x90\x3C\x40", 8)), "damaged MIDI track"},
      {"midi-ends-after-a-delta", Midi(0, 1, 1, Bytes("\x60\x90\x3C\x40\x60", 5)), "damaged MIDI track"},
      {"midi-ends-inside-a-delta", Midi(0, 1, 1, Bytes("\x60\x90\x3C\x40\x81", 5)), "damaged MIDI track"},
      {"midi-program-change", Track(Bytes("\x00\xC0\x05\x60\x90\x3C\x40", 7)), nullptr, MusicFormat::kMidi},
      {"midi-channel-pressure", Track(Bytes("\x00\xD0\x05\x60\x90\x3C\x40", 7)), nullptr, MusicFormat::kMidi},
      {"midi-pitch-bend", Track(Bytes("\x00\xE0\x05\x05\x60\x90\x3C\x40", 8)), nullptr, MusicFormat::kMidi},
      {"midi-control-change", Track(Bytes("\x00\xB0\x05\x05\x60\x90\x3C\x40", 8)), nullptr, MusicFormat::kMidi},
      {"midi-data-byte-7F", Track(Bytes("\x60\x90\x7F\x7F", 4)), nullptr, MusicFormat::kMidi},
      {"midi-first-data-byte-80", Track(Bytes("\x60\x90\x80\x40", 4)), "damaged MIDI track"},
      {"midi-note-cut-by-the-end", Midi(0, 1, 1, Bytes("\x60\x90\x3C", 3)), "damaged MIDI track"},
      {"midi-running-status-after-a-meta", Track(Bytes("\x60\x90\x3C\x40\x00\xFF\x01\x00\x00\x3C\x00", 11)), nullptr,
       MusicFormat::kMidi},
      {"midi-running-status-after-sysex", Track(Bytes("\x00\xF0\x01\xF7\x60\x3C\x00", 7)), "damaged MIDI track"},
      {"midi-sysex", Track(Bytes("\x00\xF0\x03\x7E\x7F\xF7\x60\x90\x3C\x40", 10)), nullptr, MusicFormat::kMidi},
      {"midi-escape", Track(Bytes("\x00\xF7\x01\x7E\x60\x90\x3C\x40", 8)), nullptr, MusicFormat::kMidi},
      {"midi-sysex-past-the-track", Midi(0, 1, 1, Bytes("\x60\xF0\x05\x7E\x7F\xF7", 6)), "damaged MIDI track"},
      {"midi-meta-without-its-type", Midi(0, 1, 1, Bytes("\x60\x90\x3C\x40\x00\xFF", 6)), "damaged MIDI track"},
      {"midi-meta-to-the-end", Midi(0, 1, 1, Bytes("\x60\x90\x3C\x40\x00\xFF\x01\x02" "ab\x00\xFF\x2F\x00", 14)), nullptr,
       MusicFormat::kMidi},
      {"midi-tempo-1", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x03\x00\x00\x01", 7) + kNote), nullptr, MusicFormat::kMidi},
      {"midi-tempo-of-four-bytes", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x04\x07\xA1\x20\x00", 8) + kNote), "damaged MIDI track"},
      {"midi-tempo-of-two-bytes", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x02\x07\xA1", 6) + kNote), "damaged MIDI track"},
      {"midi-tempo-high-byte-only", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x03\x01\x00\x00", 7) + kNote), nullptr, MusicFormat::kMidi},
      {"midi-tempo-middle-byte-only", Midi(0, 1, 1, Bytes("\x00\xFF\x51\x03\x00\x01\x00", 7) + kNote), nullptr, MusicFormat::kMidi},
      {"midi-status-F1", Track(Bytes("\x60\xF1\x00", 3)), "damaged MIDI track"},
      {"midi-status-F8", Track(Bytes("\x60\xF8", 2)), "damaged MIDI track"},
      // Modules by their signatures.
      {"module-m!k!", ModuleTagged("M!K!"), nullptr, MusicFormat::kModule},
      {"module-m&k!", ModuleTagged("M&K!"), nullptr, MusicFormat::kModule},
      {"module-flt4", ModuleTagged("FLT4"), nullptr, MusicFormat::kModule},
      {"module-flt8", ModuleTagged("FLT8"), nullptr, MusicFormat::kModule},
      {"module-cd81", ModuleTagged("CD81"), nullptr, MusicFormat::kModule},
      {"module-okta", ModuleTagged("OKTA"), nullptr, MusicFormat::kModule},
      {"module-6chn", ModuleTagged("6CHN"), nullptr, MusicFormat::kModule},
      {"module-9chn", ModuleTagged("9CHN"), nullptr, MusicFormat::kModule},
      {"module-0chn", ModuleTagged("0CHN"), "unknown music format"},
      {"module-6chx", ModuleTagged("6CHX"), "unknown music format"},
      {"module-16ch", ModuleTagged("16CH"), nullptr, MusicFormat::kModule},
      {"module-1ach", ModuleTagged("1ACH"), "unknown music format"},
      {"module-a6ch", ModuleTagged("A6CH"), "unknown music format"},
      {"module-16cx", ModuleTagged("16CX"), "unknown music format"},
      {"module-16xh", ModuleTagged("16XH"), "unknown music format"},
      {"module-tag-cut-short", ModuleTagged("M.K.").substr(0, 1083), "unknown music format"},
      {"module-impulse", Bytes("IMPM") + Bytes(100, '\0'), nullptr, MusicFormat::kModule},
      {"module-scream-48-bytes", Bytes(44, '\0') + "SCRM", nullptr, MusicFormat::kModule},
      {"module-extended-17-bytes", Bytes("Extended Module: "), nullptr, MusicFormat::kModule},
      {"module-extended-16-bytes", Bytes("Extended Module:"), "unknown music format"},
      {"riff-only", Bytes("RIFF"), "RIFF file that is not WAVE"},
      {"four-bytes-of-nothing", Bytes(4, '\0'), "unknown music format"},
      {"wave-header-of-8-bytes-at-the-end", Riff(Fmt() + Data()) + Bytes("LIST\x05\x00\x00\x00", 8),
       "WAVE chunk past the end of the file"},
      {"wave-list-4-bytes", Riff(Fmt() + Data() + Chunk("LIST", "INFO")), nullptr},
      {"wave-title-name-in-the-last-4-bytes", Riff(Fmt() + Data() + Chunk("LIST", "INFOabcdINAM")), nullptr},
      {"mp3-four-bytes", Bytes("\xFF\xFB\x90\x64", 4), nullptr, MusicFormat::kMp3},
      {"mp3-title-after-padding-unread", Id3(Frame("TIT2", Text(20)) + Bytes(10, '\0') + Frame("TIT2", Text(1024))) + Mpeg(),
       nullptr, MusicFormat::kMp3},
      {"mp3-padding-of-three-zeros-read-on", Id3(Frame("TIT2", Text(20)) + Bytes("\0\0\0A\0\0\0\0\0\0", 10) + Frame("TIT2", Text(1024))) + Mpeg(),
       "ID3 text frame too large"},
      {"mp3-footer-flag-walk-reads-past-the-tag", Id3(Frame("TIT2", Text(20)), 3, 0x10) + Bytes("TIT2\x00\x00\x08\x00\x00\x00", 10),
       "ID3 text frame too large"},
      {"mp3-walk-ends-with-the-tag", Id3(Frame("TIT2", Text(20))) + Bytes("TIT2\x00\x00\x08\x00\x00\x00", 10), nullptr,
       MusicFormat::kMp3},
      {"mp3-version-2-frame-named-like-a-title", Id3(Bytes("TIT\x32\x00\x00\x00", 7) + Bytes(0x320000 - 1, 'a'), 2) + Mpeg(),
       nullptr, MusicFormat::kMp3},
      {"mp3-frame-size-byte-80-version-4", Id3(Bytes("PRIV\x00\x00\x00\x80\x00\x00", 10) + Bytes(128, 'a'), 4) + Mpeg(),
       "damaged ID3 frame"},
      {"mp3-frame-size-byte-85-version-4", Id3(Bytes("PRIV\x00\x00\x00\x85\x00\x00", 10) + Bytes(133, 'a'), 4) + Mpeg(),
       "damaged ID3 frame"},
      {"aiff-sound-8-bytes", Form(Comm(2, 16) + BigChunk("SSND", Bytes(8, '\0'))), nullptr},
      {"ogg-page-of-no-segments", Bytes("OggS") + Bytes(23, '\0'), "Ogg stream of neither Vorbis nor Opus"},
      {"opus-8-bytes", Ogg("OpusHead"), "damaged Opus header"},
      {"flac-comment-empty-at-the-end", FlacOf({{0, Stereo()}, {4, Comments(0, 1) + Bytes(4, '\0')}}), nullptr, MusicFormat::kFlac},
      {"midi-end-of-track-past-the-track", Midi(0, 1, 1, kNote.substr(0, 11) + "\x05"), "damaged MIDI track"},
      {"mp3-title-after-a-small-frame", Id3(Frame("TPE1", Text(20)) + Frame("TIT2", Text(1024))) + Mpeg(), "ID3 text frame too large"},
      {"mp3-frame-header-filling-the-tag", Id3(Frame("TIT2", Text(20)) + Bytes("TPE1\0\0\0\0\0\0", 10)) + Mpeg(), "damaged ID3 frame"},
      {"mp3-frame-of-one-byte", Id3(Frame("PRIV", "a")) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"wave-id3-chunk-not-id3", Riff(Fmt() + Data() + Chunk("id3 ", "XYZ" + Id3(Frame("TIT2", Text(20))).substr(3))), "damaged ID3 tag"},
      {"wave-list-of-16-mb-and-64", Riff(Fmt() + Data() + Chunk("LIST", "adtl" + Bytes((16 << 20) + 60, 'a'))), nullptr},
      {"wave-list-of-16-mb-and-65", Riff(Fmt() + Data() + Chunk("LIST", "adtl" + Bytes((16 << 20) + 61, 'a'))),
       "damaged WAVE list chunk"},
      {"module-achn", ModuleTagged("ACHN"), "unknown music format"},
      {"module-10ch", ModuleTagged("10CH"), nullptr, MusicFormat::kModule},
      {"midi-delta-of-two-bytes-after-a-note", Track(Bytes("\x00\x90\x3C\x40\x81\x00\x80\x3C\x40", 9)), nullptr, MusicFormat::kMidi},
      {"aifc-24-bit-fl32", Aifc(24, "fl32"), "AIFF-C compression"},
      {"mp3-id3-header-only", Id3(""), "ID3 tag without audio after it"},
      {"aiff-rate-200000.5", Form(Comm(2, 16, Replaced(Rate80(200000), 2, "\xC3\x50\x20")) + Ssnd()), "AIFF sample rate"},
      {"aiff-rate-100.5", Form(Comm(2, 16, Replaced(Rate80(100), 2, "\xC9")) + Ssnd()), nullptr},
      {"wave-id3-chunk-larger-than-its-tag", Riff(Fmt() + Data() + Chunk("id3 ", Id3(Frame("TIT2", Text(20)), 3, 0, 100))),
       "ID3 tag larger than the file"},
      {"wave-id3-chunk-10-bytes", Riff(Fmt() + Data() + Chunk("id3 ", Id3(""))), nullptr},
      {"mp3-padding-with-a-second-byte-read-on", Id3(Frame("TIT2", Text(20)) + Bytes("\0A\0\0\0\0\0\0\0\0", 10) + Frame("TIT2", Text(1024))) + Mpeg(),
       "ID3 text frame too large"},
      {"mp3-padding-with-a-third-byte-read-on", Id3(Frame("TIT2", Text(20)) + Bytes("\0\0A\0\0\0\0\0\0\0", 10) + Frame("TIT2", Text(1024))) + Mpeg(),
       "ID3 text frame too large"},
      {"mp3-version-4-without-a-footer", Id3(Frame("TIT2", Text(20), 4), 4) + "abcde", nullptr, MusicFormat::kMp3},
      {"wave-second-loop-outside", Riff(Fmt() + Data(400) + Sampler({{0, 9}, {0, 500}}, 2)), "WAVE loop outside the data"},
      {"wave-loop-beyond-the-count-unread", Riff(Fmt() + Data(400) + Sampler({{0, 9}, {0, 500}}, 1)), nullptr},
      {"ogg-theora", Ogg("\x80theora" + Bytes(30, '\0')), "Ogg stream of neither Vorbis nor Opus"},
      {"wave-title-holding-a-field-name", Riff(Fmt() + Data() + Info("INAM", Bytes("IART\xFF\xFF\xFF\x7F\0", 9), 9)), nullptr},
      {"mp3-frame-of-1024-stepped-over-from-its-start", Id3(Frame("PRIV", private1024)) + Mpeg(), "ID3 text frame too large"},
      {"mp3-frame-of-1023-stepped-over-whole", Id3(Frame("PRIV", private1024.substr(1))) + Mpeg(), nullptr, MusicFormat::kMp3},
      {"module-slash-chn", ModuleTagged("/CHN"), "unknown music format"},
      {"midi-running-program-change", Midi(0, 1, 1, Bytes("\x00\xC0\x05\x10\x06\x00\xFF\x2F\x00", 9)), nullptr, MusicFormat::kMidi},
      {"three-bytes", "ID3", "too short to hold music"},
  };
  // Every compression the player takes for each sample size.
  for (const auto& [bits, compression] : std::vector<std::pair<int, const char*>>{
           {8, "raw "}, {8, "sowt"}, {8, "ulaw"}, {8, "alaw"}, {16, "sowt"}, {16, "NONE"}, {16, "ULAW"}, {16, "ALAW"},
           {24, "sowt"}, {24, "NONE"}, {32, "sowt"}, {32, "NONE"}, {32, "fl32"}, {32, "FL32"}})
    cases.push_back({compression, Aifc(bits, compression), nullptr});
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
