// The music file check: WAVE, AIFF, Ogg, FLAC, MP3 and MIDI headers judged before the player sees them.
#include "sound/internal/music_header.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "sound/internal/wave.h"

namespace {

// Chunks and metadata blocks walked before the one that matters; real files
// have a handful, and a file of millions of empty ones is not walked.
constexpr int kMostBlocksWalked = 1024;

bool ReadAt(ReadChannel& channel, int64_t offset, void* buffer, int64_t count) {
  if (offset < 0 || offset > channel.size || count > channel.size - offset) return false;
  channel.position = offset;
  return ChannelRead(channel, buffer, count) == count;
}

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
int Big16(const uint8_t* p) { return p[0] << 8 | p[1]; }
uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool Refuse(std::string* reason, const char* why) {
  *reason = why;
  return false;
}

bool ChannelsOk(int64_t channels) { return channels >= 1 && channels <= kMusicChannelsMax; }
bool RateOk(double rate) { return rate >= kWaveRateMin && rate <= kWaveRateMax; }

bool CheckWave(ReadChannel& channel, std::string* reason) {
  channel.position = 0;
  WaveHeader h;
  if (!ReadWaveHeader(channel, &h)) return Refuse(reason, "damaged WAVE layout");
  if (!ChannelsOk(h.channels)) return Refuse(reason, "WAVE channel count");
  if (!RateOk(static_cast<double>(h.sampleRate))) return Refuse(reason, "WAVE sample rate");
  const int tag = h.formatTag == kWaveTagExtensible ? h.subFormat : h.formatTag;
  const int bits = h.bitsPerSample;
  bool bitsOk = false;
  if (tag == kWaveTagPcm) bitsOk = bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (tag == kWaveTagFloat) bitsOk = bits == 32 || bits == 64;
  if (tag == kWaveTagALaw || tag == kWaveTagMuLaw) bitsOk = bits == 8;
  if (!bitsOk) return Refuse(reason, "WAVE sample format");
  if (h.blockAlign != h.channels * bits / 8) return Refuse(reason, "WAVE block alignment");
  return true;
}

// The 80-bit extended float AIFF keeps its rate in.
double Extended80(const uint8_t* p) {
  const int exponent = (p[0] & 0x7F) << 8 | p[1];
  uint64_t mantissa = 0;
  for (int i = 2; i < 10; ++i) mantissa = mantissa << 8 | p[i];
  if (exponent == 0x7FFF) return NAN;
  const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return (p[0] & 0x80) != 0 ? -value : value;
}

bool CheckAiff(ReadChannel& channel, const uint8_t* head, std::string* reason) {
  if (std::memcmp(head + 8, "AIFF", 4) != 0 && std::memcmp(head + 8, "AIFC", 4) != 0)
    return Refuse(reason, "FORM file that is not AIFF");
  int64_t at = 12;
  bool common = false, sound = false;
  for (int walked = 0; walked < kMostBlocksWalked && !(common && sound); ++walked) {
    uint8_t chunk[8];
    if (!ReadAt(channel, at, chunk, 8)) break;
    const uint32_t length = Big32(chunk + 4);
    if (std::memcmp(chunk, "COMM", 4) == 0) {
      uint8_t c[18];
      if (length < 18 || !ReadAt(channel, at + 8, c, 18)) return Refuse(reason, "damaged AIFF common chunk");
      const int bits = Big16(c + 6);
      if (!ChannelsOk(Big16(c))) return Refuse(reason, "AIFF channel count");
      if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return Refuse(reason, "AIFF sample size");
      if (!RateOk(Extended80(c + 8))) return Refuse(reason, "AIFF sample rate");
      common = true;
    }
    if (std::memcmp(chunk, "SSND", 4) == 0) sound = true;
    at += 8 + static_cast<int64_t>(length) + (length & 1);
  }
  if (!common || !sound) return Refuse(reason, "AIFF without common or sound chunk");
  return true;
}

bool CheckOgg(ReadChannel& channel, std::string* reason) {
  uint8_t page[27];
  if (!ReadAt(channel, 0, page, 27) || page[4] != 0) return Refuse(reason, "damaged Ogg page");
  const int segments = page[26];
  uint8_t lacing[255];
  if (!ReadAt(channel, 27, lacing, segments)) return Refuse(reason, "damaged Ogg page");
  int64_t packet = 0;
  for (int i = 0; i < segments; ++i) {
    packet += lacing[i];
    if (lacing[i] < 255) break;
  }
  uint8_t p[30] = {};
  const int64_t have = packet < 30 ? packet : 30;
  if (!ReadAt(channel, 27 + segments, p, have)) return Refuse(reason, "damaged Ogg page");
  if (have >= 7 && std::memcmp(p, "\x01vorbis", 7) == 0) {
    if (have < 30 || Little32(p + 7) != 0) return Refuse(reason, "damaged Vorbis header");
    if (!ChannelsOk(p[11])) return Refuse(reason, "Vorbis channel count");
    if (!RateOk(static_cast<double>(Little32(p + 12)))) return Refuse(reason, "Vorbis sample rate");
    const int small = p[28] & 15, large = p[28] >> 4;
    if (small < 6 || large > 13 || small > large || (p[29] & 1) == 0) return Refuse(reason, "damaged Vorbis header");
  } else if (have >= 8 && std::memcmp(p, "OpusHead", 8) == 0) {
    if (have < 19 || (p[8] >> 4) != 0) return Refuse(reason, "damaged Opus header");
    if (!ChannelsOk(p[9]) || (p[18] == 0 && p[9] > 2)) return Refuse(reason, "Opus channel count");
  }
  return true;
}

bool CheckFlac(ReadChannel& channel, std::string* reason) {
  uint8_t info[38];
  if (!ReadAt(channel, 4, info, 38) || (info[0] & 0x7F) != 0 || (Big32(info) & 0xFFFFFF) != 34)
    return Refuse(reason, "damaged FLAC stream information");
  const uint8_t* s = info + 4;
  const uint32_t rate = static_cast<uint32_t>(s[10]) << 12 | static_cast<uint32_t>(s[11]) << 4 | s[12] >> 4;
  const int channels = ((s[12] >> 1) & 7) + 1;
  const int bits = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
  if (!RateOk(rate)) return Refuse(reason, "FLAC sample rate");
  if (bits < 4) return Refuse(reason, "FLAC sample size");
  // The first frame must carry the channels the stream information
  // announces: the player sizes its output by the one and reads the other.
  int64_t at = 4;
  bool last = false;
  for (int walked = 0; walked < kMostBlocksWalked && !last; ++walked) {
    uint8_t block[4];
    if (!ReadAt(channel, at, block, 4) || (block[0] & 0x7F) == 127) return Refuse(reason, "damaged FLAC metadata");
    last = (block[0] & 0x80) != 0;
    at += 4 + (Big32(block) & 0xFFFFFF);
  }
  uint8_t frame[4];
  if (!last || !ReadAt(channel, at, frame, 4) || frame[0] != 0xFF || (frame[1] & 0xFE) != 0xF8)
    return Refuse(reason, "FLAC without a frame after its metadata");
  const int assignment = frame[3] >> 4;
  const int frameChannels = assignment < 8 ? assignment + 1 : assignment <= 10 ? 2 : 0;
  if (frameChannels != channels) return Refuse(reason, "FLAC frame channels differ from the stream's");
  if ((frame[2] >> 4) == 0 || (frame[2] & 15) == 15) return Refuse(reason, "damaged FLAC frame header");
  return true;
}

bool Mp3FrameOk(const uint8_t* f) {
  const int version = (f[1] >> 3) & 3, layer = (f[1] >> 1) & 3;
  const int bitrate = f[2] >> 4, rate = (f[2] >> 2) & 3;
  return version != 1 && layer != 0 && bitrate != 15 && rate != 3;
}
bool Mp3Sync(const uint8_t* f) { return f[0] == 0xFF && (f[1] & 0xE0) == 0xE0; }

// Frames of an ID3v2 tag (the tag's body after its header): every frame
// must lie inside the tag, with a name of capitals and digits, a size above
// 0 and, for text frames, a known text encoding. The player reads the tag's
// texts and takes the frame sizes as given.
bool Id3FramesOk(const uint8_t* body, uint32_t size, int major) {
  const uint32_t header = major == 2 ? 6 : 10, nameLength = major == 2 ? 3 : 4;
  uint32_t at = 0;
  while (at + header <= size && body[at] != 0) {
    const uint8_t* f = body + at;
    for (uint32_t i = 0; i < nameLength; ++i)
      if (!((f[i] >= 'A' && f[i] <= 'Z') || (f[i] >= '0' && f[i] <= '9'))) return false;
    uint32_t length = 0;
    if (major == 2) {
      length = static_cast<uint32_t>(f[3]) << 16 | static_cast<uint32_t>(f[4]) << 8 | f[5];
    } else if (major == 3) {
      length = Big32(f + 4);
    } else {
      for (int i = 4; i < 8; ++i) {
        if (f[i] >= 0x80) return false;
        length = length << 7 | f[i];
      }
    }
    if (length == 0 || length > size - at - header) return false;
    if (f[0] == 'T' && f[header] > (major == 4 ? 3 : 1)) return false;
    at += header + length;
  }
  return true;
}

// The most of an ID3v2 tag that is read to check its frames.
constexpr uint32_t kMostTagBytes = 16u << 20;

bool CheckMp3(ReadChannel& channel, const uint8_t* head, std::string* reason) {
  int64_t audio = 0;
  if (std::memcmp(head, "ID3", 3) == 0) {
    const int major = head[3];
    if (major < 2 || major > 4 || head[4] == 0xFF) return Refuse(reason, "damaged ID3 tag");
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) {
      if (head[i] >= 0x80) return Refuse(reason, "damaged ID3 tag size");
      size = size << 7 | head[i];
    }
    audio = 10 + static_cast<int64_t>(size) + (major == 4 && (head[5] & 0x10) != 0 ? 10 : 0);
    if (audio >= channel.size) return Refuse(reason, "ID3 tag without audio after it");
    // Unsynchronised tags and extended headers are not walked; their frames
    // are judged only when the tag is plain.
    if ((head[5] & 0xC0) == 0) {
      if (size > kMostTagBytes) return Refuse(reason, "ID3 tag too large");
      std::string body(size, '\0');
      if (!ReadAt(channel, 10, body.data(), size) ||
          !Id3FramesOk(reinterpret_cast<const uint8_t*>(body.data()), size, major))
        return Refuse(reason, "damaged ID3 frame");
    }
  }
  uint8_t frame[4];
  if (ReadAt(channel, audio, frame, 4) && Mp3Sync(frame) && !Mp3FrameOk(frame))
    return Refuse(reason, "damaged MPEG audio frame header");
  return true;
}

bool CheckMidi(const uint8_t* head, std::string* reason) {
  const int format = Big16(head + 8), tracks = Big16(head + 10), division = Big16(head + 12);
  if (Big32(head + 4) < 6 || format > 2 || tracks < 1 || division == 0 || (format == 0 && tracks != 1))
    return Refuse(reason, "damaged MIDI header");
  return true;
}

}  // namespace

bool CheckMusicHeader(ReadChannel& channel, std::string* reason) {
  uint8_t head[14] = {};
  const int64_t have = channel.size < 14 ? channel.size : 14;
  if (have < 4) return Refuse(reason, "too short to hold music");
  if (!ReadAt(channel, 0, head, have)) return Refuse(reason, "unreadable file");
  const auto is = [&](const char* magic, int at = 0) {
    const int64_t n = static_cast<int64_t>(std::strlen(magic));
    return at + n <= have && std::memcmp(head + at, magic, static_cast<size_t>(n)) == 0;
  };
  bool ok = true;
  if (is("RIFF") && is("WAVE", 8))
    ok = CheckWave(channel, reason);
  else if (is("FORM"))
    ok = have >= 12 ? CheckAiff(channel, head, reason) : Refuse(reason, "damaged AIFF header");
  else if (is("OggS"))
    ok = CheckOgg(channel, reason);
  else if (is("fLaC"))
    ok = CheckFlac(channel, reason);
  else if (is("ID3"))
    ok = have >= 10 ? CheckMp3(channel, head, reason) : Refuse(reason, "damaged ID3 tag");
  else if (have >= 2 && Mp3Sync(head))
    ok = CheckMp3(channel, head, reason);
  else if (is("MThd"))
    ok = have >= 14 ? CheckMidi(head, reason) : Refuse(reason, "damaged MIDI header");
  channel.position = 0;
  return ok;
}
