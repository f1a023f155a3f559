// The music file check: each form read the way the player's decoder reads
// it, before the player sees the file.
#include "sound/internal/music_header.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/little_endian.h"
#include "sound/internal/wave.h"

namespace {

using platform::MusicFormat;

// Chunks and metadata blocks walked; real files have a handful, and a file
// of millions of empty ones is not walked.
constexpr int kMostBlocksWalked = 1024;

// The most of a metadata chunk or tag that is read to check it.
constexpr uint32_t kMostTagBytes = 16u << 20;

bool ReadAt(ReadChannel& channel, int64_t offset, void* buffer, int64_t count) {
  if (offset < 0 || count < 0 || offset > channel.size || count > channel.size - offset) return false;
  channel.position = offset;
  return ChannelRead(channel, buffer, count) == count;
}

// The bytes [offset, offset + count) of the file; false when they do not lie
// inside it or are more than a largest tag with its surroundings.
bool ReadBlock(ReadChannel& channel, int64_t offset, uint32_t count, std::vector<uint8_t>* bytes) {
  if (count > kMostTagBytes + 64) return false;
  bytes->resize(count);
  return count == 0 || ReadAt(channel, offset, bytes->data(), count);
}

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
int Big16(const uint8_t* p) { return p[0] << 8 | p[1]; }

bool Refuse(std::string* reason, const char* why) {
  *reason = why;
  return false;
}

bool ChannelsOk(int64_t channels) { return channels >= 1 && channels <= kMusicChannelsMax; }
bool RateOk(double rate) { return rate >= kWaveRateMin && rate <= kWaveRateMax; }

// ---------------------------------------------------------------- ID3v2 tags

// Frames of an ID3v2 tag (the tag's body after its header): every frame
// must lie inside the tag, with a name of capitals and digits, a size above
// 0 and, for text frames, a known text encoding.
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

// The player's own walk over a tag's frames, up to the end it computes
// (header, body and footer): it stops at a frame name of zeros or where it
// cannot read a frame header, steps over a frame of under 1024 bytes with
// its header and over a larger one from the frame's start by the size
// alone, and copies the title, artist, album and copyright frames of
// versions 3 and 4 out of a 1024-byte buffer by their stated size: one of
// 1024 bytes or more there would be read far past that buffer.
bool PlayerId3WalkOk(const uint8_t* tag, uint64_t have, int major, uint64_t end) {
  const uint64_t header = major == 2 ? 6 : 10;
  uint64_t at = 10;
  while (at < end && at + header <= have) {
    const uint8_t* f = tag + at;
    if (f[0] == 0 && f[1] == 0 && f[2] == 0 && (major == 2 || f[3] == 0)) return true;
    uint64_t size = 0;
    if (major == 2)
      size = static_cast<uint64_t>(f[3]) << 16 | static_cast<uint64_t>(f[4]) << 8 | f[5];
    else if (major == 3)
      size = Big32(f + 4);
    else  // the player does not mask the bytes' top bits
      size = (static_cast<uint64_t>(f[4]) << 21) + (static_cast<uint64_t>(f[5]) << 14) +
             (static_cast<uint64_t>(f[6]) << 7) + f[7];
    const bool copied = std::memcmp(f, "TIT2", 4) == 0 || std::memcmp(f, "TPE1", 4) == 0 ||
                        std::memcmp(f, "TALB", 4) == 0 || std::memcmp(f, "TCOP", 4) == 0;
    if (major != 2 && copied && size >= 1024) return false;
    at += size < 1024 ? header + size : size;
  }
  return true;
}

// An ID3v2 tag's header: "ID3", the version, flags and a sync-safe size.
struct Id3Header {
  int major = 0;
  int flags = 0;
  uint32_t size = 0;  // of the body after the header
};

bool Id3HeaderOk(const uint8_t* tag, Id3Header* header, std::string* reason) {
  if (std::memcmp(tag, "ID3", 3) != 0) return Refuse(reason, "damaged ID3 tag");
  const int major = tag[3], flags = tag[5];
  if (major < 2 || major > 4 || tag[4] == 0xFF) return Refuse(reason, "damaged ID3 tag");
  uint32_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if (tag[i] >= 0x80) return Refuse(reason, "damaged ID3 tag size");
    size = size << 7 | tag[i];
  }
  // The player reads an extended header's size from bytes it never read in.
  if (major > 2 && (flags & 0x40) != 0) return Refuse(reason, "ID3 tag with an extended header");
  if (size > kMostTagBytes) return Refuse(reason, "ID3 tag too large");
  *header = {major, flags, size};
  return true;
}

// The tag's frames by both walks; [tag, tag + have) holds the whole tag and
// whatever follows it that the player's walk may reach.
bool Id3FramesSound(const uint8_t* tag, uint64_t have, const Id3Header& h, std::string* reason) {
  if (10 + static_cast<uint64_t>(h.size) > have) return Refuse(reason, "ID3 tag larger than the file");
  if (!Id3FramesOk(tag + 10, h.size, h.major)) return Refuse(reason, "damaged ID3 frame");
  const uint64_t walkEnd = 10 + static_cast<uint64_t>(h.size) + ((h.flags & 0x10) != 0 ? 10 : 0);
  if (!PlayerId3WalkOk(tag, have, h.major, walkEnd)) return Refuse(reason, "ID3 text frame too large");
  return true;
}

// A tag that is all of a metadata chunk (WAVE "id3 ", AIFF "ID3 ").
bool Id3ChunkOk(const std::vector<uint8_t>& chunk, std::string* reason) {
  Id3Header h;
  if (chunk.size() < 10) return Refuse(reason, "damaged ID3 tag");
  return Id3HeaderOk(chunk.data(), &h, reason) && Id3FramesSound(chunk.data(), chunk.size(), h, reason);
}

// ---------------------------------------------------------------- WAVE

// A "fmt " chunk's fields, the extensible form's sample format taken.
struct WaveFormat {
  int tag = 0;
  int channels = 0;
  int bits = 0;
};

// One "fmt " chunk as the player's parser reads it: its first 16 bytes, or
// 40 when the chunk holds them (the extensible form needs them).
bool WaveFormatOk(ReadChannel& channel, int64_t body, uint32_t length, WaveFormat* format, std::string* reason) {
  uint8_t f[40];
  const int64_t read = length >= 40 ? 40 : 16;
  if (length < 16 || !ReadAt(channel, body, f, read)) return Refuse(reason, "damaged WAVE format chunk");
  int tag = LoadLittle16(f);
  if (tag == kWaveTagExtensible) {
    if (read < 40) return Refuse(reason, "damaged WAVE format chunk");
    tag = LoadLittle16(f + 24);
  }
  const int channels = LoadLittle16(f + 2), align = LoadLittle16(f + 12), bits = LoadLittle16(f + 14);
  if (!ChannelsOk(channels)) return Refuse(reason, "WAVE channel count");
  if (!RateOk(static_cast<double>(LoadLittle32(f + 4)))) return Refuse(reason, "WAVE sample rate");
  bool bitsOk = false;
  if (tag == kWaveTagPcm) bitsOk = bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (tag == kWaveTagFloat) bitsOk = bits == 32 || bits == 64;
  if (tag == kWaveTagALaw || tag == kWaveTagMuLaw) bitsOk = bits == 8;
  if (!bitsOk) return Refuse(reason, "WAVE sample format");
  if (align != channels * bits / 8) return Refuse(reason, "WAVE block alignment");
  *format = {tag, channels, bits};
  return true;
}

// A "LIST" chunk as the player reads it: after "INFO" it looks for the
// title, artist, album and copyright fields byte by byte, reads a field's
// length from the four bytes after its name and copies its text up to the
// terminating zero, which must therefore lie inside the chunk, and then
// steps over the field's length.
bool WaveListOk(const std::vector<uint8_t>& list) {
  const uint8_t* d = list.data();
  const uint64_t n = list.size();
  if (n < 4) return false;  // the player compares four bytes of it
  if (std::memcmp(d, "INFO", 4) != 0) return true;
  for (uint64_t i = 4; i < n - 4;) {
    const bool field = std::memcmp(d + i, "INAM", 4) == 0 || std::memcmp(d + i, "IART", 4) == 0 ||
                       std::memcmp(d + i, "IALB", 4) == 0 || std::memcmp(d + i, "BCPR", 4) == 0;
    if (!field) {
      ++i;
      continue;
    }
    if (i + 8 > n) return false;
    const uint32_t length = LoadLittle32(d + i + 4);
    i += 8;
    // A field longer than the chunk is not read alike by every version of
    // the player; here it must fit.
    if (length > n - i || std::memchr(d + i, 0, n - i) == nullptr) return false;
    i += length;
  }
  return true;
}

// A loop of a "smpl" chunk, in sample frames.
struct WaveLoop {
  uint32_t start, end;
};

// A "smpl" chunk: the player reads as many 24-byte loops after the first 36
// bytes as the chunk claims, so they must lie inside it. Forward loops
// (type 0) are the ones it plays.
bool WaveSamplerOk(const std::vector<uint8_t>& chunk, std::vector<WaveLoop>* loops) {
  if (chunk.size() < 36) return false;
  const uint32_t count = LoadLittle32(chunk.data() + 28);
  if (36 + 24 * static_cast<uint64_t>(count) > chunk.size()) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* loop = chunk.data() + 36 + 24 * static_cast<size_t>(i);
    if (LoadLittle32(loop + 4) == 0) loops->push_back({LoadLittle32(loop + 8), LoadLittle32(loop + 12)});
  }
  return true;
}

// The bytes a sample frame takes in the player's decoded form, by which it
// turns loop points into file offsets (24-bit samples become 32-bit, A-law,
// µ-law 16-bit, 64-bit floats 32-bit).
uint64_t DecodedFrameBytes(const WaveFormat& f) {
  int bytes = f.bits / 8;
  if (f.tag == kWaveTagALaw || f.tag == kWaveTagMuLaw) bytes = 2;
  if (f.bits == 24 || f.bits == 64) bytes = 4;
  return static_cast<uint64_t>(bytes) * static_cast<uint64_t>(f.channels);
}

// The WAVE file as the player's decoder walks it: "RIFF", a size and "WAVE";
// then chunk headers from byte 12, each chunk's body followed directly by
// the next header (no pad byte after an odd length), until a header of
// length 0 or the end of the file. Every "fmt " chunk is parsed (the last
// one counts) and the last "data" chunk is the one played; "LIST", "smpl"
// and "id3 " chunks are parsed too. So every chunk it parses must lie inside
// the file and be sound, every "fmt " chunk included.
bool CheckWave(ReadChannel& channel, std::string* reason) {
  const int64_t size = channel.size;
  bool format = false, data = false;
  WaveFormat last;
  uint32_t dataLength = 0;
  std::vector<WaveLoop> loops;
  std::vector<uint8_t> bytes;
  int64_t at = 12;
  int walked = 0;
  for (;; ++walked) {
    if (walked == kMostBlocksWalked) return Refuse(reason, "too many WAVE chunks");
    uint8_t header[8] = {};
    const int64_t left = size - at;
    if (left < 8) {
      // A header cut short at the end reads as length 0 from memory; a file
      // read fills what it got, so the length bytes that are there must be 0.
      if (left > 4 && ReadAt(channel, at, header, left))
        for (int64_t i = 4; i < left; ++i)
          if (header[i] != 0) return Refuse(reason, "WAVE chunk header cut short");
      break;
    }
    if (!ReadAt(channel, at, header, 8)) return Refuse(reason, "unreadable file");
    const uint32_t length = LoadLittle32(header + 4);
    if (length == 0) break;
    const int64_t body = at + 8;
    const bool parsed = std::memcmp(header, "fmt ", 4) == 0 || std::memcmp(header, "data", 4) == 0 ||
                        std::memcmp(header, "LIST", 4) == 0 || std::memcmp(header, "smpl", 4) == 0 ||
                        std::memcmp(header, "id3 ", 4) == 0;
    if (length > size - body) {
      // A chunk the player only skips takes it past the end, where its
      // reads give nothing and the walk ends; one it parses is refused.
      if (!parsed) break;
      return Refuse(reason, "WAVE chunk past the end of the file");
    }
    if (std::memcmp(header, "fmt ", 4) == 0) {
      if (!WaveFormatOk(channel, body, length, &last, reason)) return false;
      format = true;
    } else if (std::memcmp(header, "data", 4) == 0) {
      data = true;
      dataLength = length;
    } else if (std::memcmp(header, "LIST", 4) == 0) {
      if (!ReadBlock(channel, body, length, &bytes) || !WaveListOk(bytes)) return Refuse(reason, "damaged WAVE list chunk");
    } else if (std::memcmp(header, "smpl", 4) == 0) {
      if (!ReadBlock(channel, body, length, &bytes) || !WaveSamplerOk(bytes, &loops))
        return Refuse(reason, "damaged WAVE sampler chunk");
    } else if (std::memcmp(header, "id3 ", 4) == 0) {
      if (!ReadBlock(channel, body, length, &bytes)) return Refuse(reason, "damaged WAVE ID3 chunk");
      if (!Id3ChunkOk(bytes, reason)) return false;
    }
    at = body + length;
  }
  if (!format) return Refuse(reason, "WAVE without a format chunk");
  if (!data) return Refuse(reason, "WAVE without data");
  // A loop reaching past the data would play the bytes after it; the player
  // computes the offsets in 32 bits.
  const uint64_t frame = DecodedFrameBytes(last);
  for (const WaveLoop& loop : loops) {
    const uint64_t stop = (static_cast<uint64_t>(loop.end) + 1) * frame;
    if (loop.start > loop.end || stop > dataLength) return Refuse(reason, "WAVE loop outside the data");
  }
  return true;
}

// ---------------------------------------------------------------- AIFF

// The 80-bit extended float AIFF keeps its rate in.
double Extended80(const uint8_t* p) {
  const int exponent = (p[0] & 0x7F) << 8 | p[1];
  uint64_t mantissa = 0;
  for (int i = 2; i < 10; ++i) mantissa = mantissa << 8 | p[i];
  if (exponent == 0x7FFF) return NAN;
  const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  return (p[0] & 0x80) != 0 ? -value : value;
}

// The rate as the player turns the same 80 bits into a whole number.
uint32_t PlayerAiffRate(const uint8_t* p) {
  if ((p[0] & 0x80) != 0) return 0;
  if (p[0] <= 0x3F) return 1;
  if (p[0] > 0x40) return 0x4000000;
  if (p[0] == 0x40 && p[1] > 0x1C) return 800000000;
  return ((static_cast<uint32_t>(p[2]) << 23) | (static_cast<uint32_t>(p[3]) << 15) |
          (static_cast<uint32_t>(p[4]) << 7) | (static_cast<uint32_t>(p[5]) >> 1)) >>
         (29 - p[1]);
}

// The AIFF-C compression types the player takes for a sample size.
bool AifcCompressionOk(int bits, const uint8_t* type) {
  const auto is = [&](const char* name) { return std::memcmp(type, name, 4) == 0; };
  if (bits == 8) return is("raw ") || is("sowt") || is("ulaw") || is("alaw");
  if (bits == 16) return is("sowt") || is("NONE") || is("ULAW") || is("ALAW");
  if (bits == 24) return is("sowt") || is("NONE");
  return is("sowt") || is("NONE") || is("fl32") || is("FL32");
}

// The AIFF walk of the player: chunks from byte 12, padded to an even
// length, while the next one starts inside the file; every "COMM" chunk is
// parsed (the last counts), as is the last "SSND" and every "ID3 " chunk.
bool CheckAiff(ReadChannel& channel, const uint8_t* head, std::string* reason) {
  const bool aifc = std::memcmp(head + 8, "AIFC", 4) == 0;
  if (!aifc && std::memcmp(head + 8, "AIFF", 4) != 0) return Refuse(reason, "FORM file that is not AIFF");
  int64_t at = 12;
  bool common = false, sound = false, version = false;
  std::vector<uint8_t> bytes;
  for (int walked = 0; at < channel.size; ++walked) {
    if (walked == kMostBlocksWalked) return Refuse(reason, "too many AIFF chunks");
    uint8_t chunk[8];
    if (!ReadAt(channel, at, chunk, 8)) return Refuse(reason, "AIFF chunk header cut short");
    const uint32_t length = Big32(chunk + 4);
    const int64_t body = at + 8;
    if (length > channel.size - body) return Refuse(reason, "AIFF chunk past the end of the file");
    if (std::memcmp(chunk, "COMM", 4) == 0) {
      uint8_t c[22];
      const int64_t need = aifc ? 22 : 18;
      if (length < need || !ReadAt(channel, body, c, need)) return Refuse(reason, "damaged AIFF common chunk");
      const int bits = Big16(c + 6);
      if (!ChannelsOk(Big16(c))) return Refuse(reason, "AIFF channel count");
      if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return Refuse(reason, "AIFF sample size");
      if (!RateOk(Extended80(c + 8)) || !RateOk(PlayerAiffRate(c + 8))) return Refuse(reason, "AIFF sample rate");
      if (aifc && !AifcCompressionOk(bits, c + 18)) return Refuse(reason, "AIFF-C compression");
      common = true;
    } else if (std::memcmp(chunk, "SSND", 4) == 0) {
      uint8_t s[4];
      if (length < 8 || !ReadAt(channel, body, s, 4) || Big32(s) > length - 8)
        return Refuse(reason, "damaged AIFF sound chunk");
      sound = true;
    } else if (std::memcmp(chunk, "FVER", 4) == 0) {
      version = true;
    } else if (std::memcmp(chunk, "ID3 ", 4) == 0) {
      if (!ReadBlock(channel, body, length, &bytes)) return Refuse(reason, "damaged AIFF ID3 chunk");
      if (!Id3ChunkOk(bytes, reason)) return false;
    }
    at = body + static_cast<int64_t>(length) + (length & 1);
  }
  if (!common || !sound) return Refuse(reason, "AIFF without common or sound chunk");
  if (aifc && !version) return Refuse(reason, "AIFF-C without a version chunk");
  return true;
}

// ---------------------------------------------------------------- Ogg, FLAC

bool CheckOgg(ReadChannel& channel, MusicFormat* format, std::string* reason) {
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
    if (have < 30 || LoadLittle32(p + 7) != 0) return Refuse(reason, "damaged Vorbis header");
    if (!ChannelsOk(p[11])) return Refuse(reason, "Vorbis channel count");
    if (!RateOk(static_cast<double>(LoadLittle32(p + 12)))) return Refuse(reason, "Vorbis sample rate");
    const int small = p[28] & 15, large = p[28] >> 4;
    if (small < 6 || large > 13 || small > large || (p[29] & 1) == 0) return Refuse(reason, "damaged Vorbis header");
    *format = MusicFormat::kOggVorbis;
    return true;
  }
  if (have >= 8 && std::memcmp(p, "OpusHead", 8) == 0) {
    if (have < 19 || (p[8] >> 4) != 0) return Refuse(reason, "damaged Opus header");
    if (!ChannelsOk(p[9]) || (p[18] == 0 && p[9] > 2)) return Refuse(reason, "Opus channel count");
    *format = MusicFormat::kOpus;
    return true;
  }
  return Refuse(reason, "Ogg stream of neither Vorbis nor Opus");
}

// A Vorbis comment block: the vendor text and each comment, every one after
// its 32-bit little-endian length, all inside the block.
bool VorbisCommentsOk(const std::vector<uint8_t>& block) {
  const uint64_t n = block.size();
  uint64_t at = 0;
  const auto text = [&] {
    if (n - at < 4) return false;
    const uint32_t length = LoadLittle32(block.data() + at);
    at += 4;
    if (length > n - at) return false;
    at += length;
    return true;
  };
  if (!text() || n - at < 4) return false;
  const uint32_t count = LoadLittle32(block.data() + at);
  at += 4;
  for (uint32_t i = 0; i < count; ++i)
    if (!text()) return false;
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
  // The metadata blocks must lie inside the file, and the ones the decoder
  // parses must parse: a failure there, after the stream information has
  // been taken, leaves the player's half-made stream behind.
  int64_t at = 4;
  bool last = false;
  std::vector<uint8_t> bytes;
  for (int walked = 0; walked < kMostBlocksWalked && !last; ++walked) {
    uint8_t block[4];
    if (!ReadAt(channel, at, block, 4) || (block[0] & 0x7F) == 127) return Refuse(reason, "damaged FLAC metadata");
    last = (block[0] & 0x80) != 0;
    const int type = block[0] & 0x7F;
    const uint32_t length = Big32(block) & 0xFFFFFF;
    if (length > channel.size - at - 4) return Refuse(reason, "FLAC metadata past the end of the file");
    if (walked > 0 && type == 0) return Refuse(reason, "damaged FLAC metadata");
    if (type == 3 && length % 18 != 0) return Refuse(reason, "damaged FLAC seek table");
    if (type == 4 && (!ReadBlock(channel, at + 4, length, &bytes) || !VorbisCommentsOk(bytes)))
      return Refuse(reason, "damaged FLAC comments");
    at += 4 + length;
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

// ---------------------------------------------------------------- MP3

bool Mp3FrameOk(const uint8_t* f) {
  const int version = (f[1] >> 3) & 3, layer = (f[1] >> 1) & 3;
  const int bitrate = f[2] >> 4, rate = (f[2] >> 2) & 3;
  return version != 1 && layer != 0 && bitrate != 15 && rate != 3;
}
bool Mp3Sync(const uint8_t* f) { return f[0] == 0xFF && (f[1] & 0xE0) == 0xE0; }

bool CheckMp3(ReadChannel& channel, const uint8_t* head, std::string* reason) {
  int64_t audio = 0;
  if (std::memcmp(head, "ID3", 3) == 0) {
    // The header first, so that an absurd size is refused before anything is read.
    Id3Header h;
    if (!Id3HeaderOk(head, &h, reason)) return false;
    audio = 10 + static_cast<int64_t>(h.size) + (h.major == 4 && (h.flags & 0x10) != 0 ? 10 : 0);
    if (audio >= channel.size) return Refuse(reason, "ID3 tag without audio after it");
    // The player's walk may go on past the tag's own end (into a footer's
    // place), so it is given what follows too, up to a frame header.
    std::vector<uint8_t> tag;
    const int64_t have = std::min<int64_t>(channel.size, 10 + static_cast<int64_t>(h.size) + 20);
    if (!ReadBlock(channel, 0, static_cast<uint32_t>(have), &tag)) return Refuse(reason, "unreadable file");
    if (!Id3FramesSound(tag.data(), tag.size(), h, reason)) return false;
  }
  uint8_t frame[4];
  if (ReadAt(channel, audio, frame, 4) && Mp3Sync(frame) && !Mp3FrameOk(frame))
    return Refuse(reason, "damaged MPEG audio frame header");
  // The player's tag reader takes an APE tag at the end (or before an ID3v1
  // tag there) and writes past its buffer on some of them; such files are
  // not given to it.
  for (const int64_t from : {channel.size - 32, channel.size - 160}) {
    char ape[8];
    if (from >= 0 && ReadAt(channel, from, ape, 8) && std::memcmp(ape, "APETAGEX", 8) == 0)
      return Refuse(reason, "MP3 with an APE tag");
  }
  return true;
}

// ---------------------------------------------------------------- MIDI

// A variable-length number of a track (at most four bytes).
bool MidiNumber(const uint8_t* t, size_t n, size_t* at, uint32_t* value) {
  *value = 0;
  for (int i = 0; i < 4; ++i) {
    if (*at >= n) return false;
    const uint8_t b = t[(*at)++];
    *value = *value << 7 | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// One track's events up to its end-of-track event, as the player's MIDI
// reader takes them: channel messages (with running status) whose data
// bytes are below 0x80, system exclusive and meta events inside the track,
// nothing else (the reader gives up on other status bytes), and no tempo
// of 0 (which would stop the clock). *ticks gets the track's length.
bool MidiTrackOk(const uint8_t* t, size_t n, uint64_t* ticks) {
  size_t at = 0;
  int running = 0;
  *ticks = 0;
  for (;;) {
    uint32_t delta = 0;
    if (!MidiNumber(t, n, &at, &delta) || at >= n) return false;
    *ticks += delta;
    int status = t[at];
    if (status >= 0x80) {
      ++at;
    } else if (running == 0) {
      return false;
    } else {
      status = running;
    }
    if (status < 0xF0) {
      running = status;
      const size_t data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (at + data > n) return false;
      for (size_t i = 0; i < data; ++i)
        if (t[at + i] >= 0x80) return false;
      at += data;
    } else if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
      int type = -1;
      if (status == 0xFF) {
        if (at >= n) return false;
        type = t[at++];
      }
      uint32_t length = 0;
      if (!MidiNumber(t, n, &at, &length) || length > n - at) return false;
      if (type == 0x51 && (length != 3 || (t[at] | t[at + 1] | t[at + 2]) == 0)) return false;
      at += length;
      if (type == 0x2F) return true;
    } else {
      return false;
    }
  }
}

// The header chunk, then as many "MTrk" chunks as it announces, directly
// one after another, each inside the file and read event by event. A piece
// of no length at all is refused as well: the player, asked to loop it,
// starts it again and again inside one block and never returns.
bool CheckMidi(ReadChannel& channel, const uint8_t* head, std::string* reason) {
  const uint32_t length = Big32(head + 4);
  const int format = Big16(head + 8), tracks = Big16(head + 10), division = Big16(head + 12);
  if (length < 6 || format > 2 || tracks < 1 || division == 0 || (format == 0 && tracks != 1))
    return Refuse(reason, "damaged MIDI header");
  // Time in frames of SMPTE time code (the top bit set) the player's reader does not take.
  if ((division & 0x8000) != 0) return Refuse(reason, "MIDI timed in SMPTE frames");
  int64_t at = 8 + static_cast<int64_t>(length);
  uint64_t longest = 0;
  std::vector<uint8_t> track;
  for (int found = 0; found < tracks; ++found) {
    uint8_t chunk[8];
    if (!ReadAt(channel, at, chunk, 8)) return Refuse(reason, "MIDI with fewer tracks than its header announces");
    // The player's reader gives up on some chunks of other kinds between the
    // tracks, and files carry none there.
    if (std::memcmp(chunk, "MTrk", 4) != 0) return Refuse(reason, "MIDI with a chunk other than a track");
    const uint32_t size = Big32(chunk + 4);
    if (size > channel.size - at - 8) return Refuse(reason, "MIDI chunk past the end of the file");
    uint64_t ticks = 0;
    if (!ReadBlock(channel, at + 8, size, &track) || !MidiTrackOk(track.data(), track.size(), &ticks))
      return Refuse(reason, "damaged MIDI track");
    longest = std::max(longest, ticks);
    at += 8 + static_cast<int64_t>(size);
  }
  if (longest == 0) return Refuse(reason, "MIDI of no length");
  return true;
}

// ---------------------------------------------------------------- modules

// Tracker modules have no signature at their start; the ones recognised are
// the forms whose signatures are fixed: Extended Module (XM), Impulse
// Tracker (IT), Scream Tracker 3 (S3M) and the ProTracker family, which
// names its channel count at byte 1080.
bool IsModule(ReadChannel& channel) {
  uint8_t b[48] = {};
  const int64_t have = channel.size < 48 ? channel.size : 48;
  if (!ReadAt(channel, 0, b, have)) return false;
  if (have >= 17 && std::memcmp(b, "Extended Module: ", 17) == 0) return true;
  if (std::memcmp(b, "IMPM", 4) == 0) return true;
  if (have >= 48 && std::memcmp(b + 44, "SCRM", 4) == 0) return true;
  char tag[4];
  if (!ReadAt(channel, 1080, tag, 4)) return false;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (const char* known : {"M.K.", "M!K!", "M&K!", "FLT4", "FLT8", "CD81", "OKTA"})
    if (std::memcmp(tag, known, 4) == 0) return true;
  if (digit(tag[0]) && tag[0] != '0' && std::memcmp(tag + 1, "CHN", 3) == 0) return true;
  return digit(tag[0]) && digit(tag[1]) && tag[2] == 'C' && tag[3] == 'H';
}

}  // namespace

bool CheckMusicHeader(ReadChannel& channel, MusicFormat* format, std::string* reason) {
  uint8_t head[14] = {};
  const int64_t have = channel.size < 14 ? channel.size : 14;
  if (have < 4) return Refuse(reason, "too short to hold music");
  if (!ReadAt(channel, 0, head, have)) return Refuse(reason, "unreadable file");
  const auto is = [&](const char* magic, int at = 0) {
    const int64_t n = static_cast<int64_t>(std::strlen(magic));
    return at + n <= have && std::memcmp(head + at, magic, static_cast<size_t>(n)) == 0;
  };
  bool ok = false;
  if (is("RIFF")) {
    *format = MusicFormat::kWave;
    ok = is("WAVE", 8) ? CheckWave(channel, reason) : Refuse(reason, "RIFF file that is not WAVE");
  } else if (is("WAVE")) {
    ok = Refuse(reason, "WAVE without its RIFF header");
  } else if (is("FORM")) {
    *format = MusicFormat::kWave;
    ok = have >= 12 ? CheckAiff(channel, head, reason) : Refuse(reason, "damaged AIFF header");
  } else if (is("OggS")) {
    ok = CheckOgg(channel, format, reason);
  } else if (is("fLaC")) {
    *format = MusicFormat::kFlac;
    ok = CheckFlac(channel, reason);
  } else if (is("ID3") || (have >= 2 && Mp3Sync(head))) {
    *format = MusicFormat::kMp3;
    ok = is("ID3") && have < 10 ? Refuse(reason, "damaged ID3 tag") : CheckMp3(channel, head, reason);
  } else if (is("MThd")) {
    *format = MusicFormat::kMidi;
    ok = have >= 14 ? CheckMidi(channel, head, reason) : Refuse(reason, "damaged MIDI header");
  } else if (IsModule(channel)) {
    *format = MusicFormat::kModule;
    ok = true;
  } else {
    ok = Refuse(reason, "unknown music format");
  }
  channel.position = 0;
  return ok;
}
