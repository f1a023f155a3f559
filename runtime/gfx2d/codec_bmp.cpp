// BMP reader and writer: uncompressed Windows (40-byte header) and OS/2
// (12-byte header) bitmaps at 1, 4, 8, 16, 24 and 32 bits per pixel.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/little_endian.h"
#include "files/read_channel.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // OS/2
constexpr uint32_t kInfoHeaderSize = 40;  // Windows
// The largest part of the header block that matters: a Windows header and a
// full 256-entry palette. Anything past it up to the data offset is skipped.
constexpr uint32_t kHeaderBlockMax = kInfoHeaderSize + 256 * 4;
// Pixel rows are read in pieces of about this many bytes.
constexpr int64_t kReadChunk = 256 * 1024;

// Compression values that still mean "plain rows": none, and bit fields
// (16/32-bit files put their masks in the header block; the rows are raw).
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionBitFields = 3;

// Reads and drops count bytes (the channel has no seek); false on a short read.
bool SkipBytes(ReadChannel& channel, int64_t count) {
  uint8_t scratch[4096];
  while (count > 0) {
    const int64_t piece = std::min<int64_t>(count, sizeof scratch);
    if (ChannelRead(channel, scratch, piece) != piece) return false;
    count -= piece;
  }
  return true;
}

struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;  // always positive here
  bool topDown = false;
  int bits = 0;
  int64_t stride = 0;
  uint8_t palette[256][4] = {};  // R, G, B, A after the colour key
};

// Parses the header block that follows the 14-byte file header.
bool ParseHeader(const uint8_t* block, uint32_t blockLength, int32_t key, BmpLayout& layout) {
  const uint32_t headerSize = LoadLittle32(block);
  if (headerSize != kCoreHeaderSize && headerSize != kInfoHeaderSize) return false;
  if (blockLength < headerSize) return false;  // the data offset cuts the header short

  int64_t width, height;
  uint32_t compression = kCompressionNone;
  if (headerSize == kCoreHeaderSize) {
    width = LoadLittle16(block + 4);
    height = LoadLittle16(block + 6);
    layout.bits = LoadLittle16(block + 10);
  } else {
    width = static_cast<int32_t>(LoadLittle32(block + 4));
    height = static_cast<int32_t>(LoadLittle32(block + 8));
    layout.bits = LoadLittle16(block + 14);
    compression = LoadLittle32(block + 16);
  }
  switch (layout.bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return false;
  }
  // Run-length (or embedded JPEG/PNG) data read as plain rows is only noise;
  // such files are refused rather than shown scrambled.
  if (compression != kCompressionNone && compression != kCompressionBitFields) return false;

  layout.topDown = height < 0;
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0) return false;
  layout.width = static_cast<int32_t>(width);
  layout.height = static_cast<int32_t>(height);
  layout.stride = (static_cast<int64_t>(layout.bits) * width + 31) / 32 * 4;

  if (layout.bits <= 8) {
    // Only the entries that are actually in the header block count; indices
    // past them are opaque black.
    const uint32_t entrySize = headerSize == kCoreHeaderSize ? 3 : 4;
    const uint32_t present = (blockLength - headerSize) / entrySize;
    const uint32_t entries = std::min<uint32_t>(present, 1u << layout.bits);
    const uint8_t* entry = block + headerSize;
    for (uint32_t i = 0; i < 256; ++i) {
      uint8_t r = 0, g = 0, b = 0;
      if (i < entries) {
        b = entry[0];
        g = entry[1];
        r = entry[2];
        entry += entrySize;
      }
      uint8_t* out = layout.palette[i];
      codec::PutKeyedPixel(out, r, g, b, key);
    }
  }
  return true;
}

// Converts one file row into one picture row.
void ConvertRow(const BmpLayout& layout, const uint8_t* src, uint8_t* dst, int32_t key) {
  const int32_t width = layout.width;
  switch (layout.bits) {
    case 1:
      for (int32_t x = 0; x < width; ++x) {
        const unsigned index = (src[x >> 3] >> (7 - (x & 7))) & 1u;
        std::memcpy(dst + 4 * x, layout.palette[index], 4);
      }
      break;
    case 4:
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t byte = src[x >> 1];
        const unsigned index = (x & 1) ? (byte & 15u) : (byte >> 4);
        std::memcpy(dst + 4 * x, layout.palette[index], 4);
      }
      break;
    case 8:
      for (int32_t x = 0; x < width; ++x) std::memcpy(dst + 4 * x, layout.palette[src[x]], 4);
      break;
    case 16: {
      // 5 bits per colour, scaled to 0..255 with integer division; the top
      // bit is unused.
      static const auto kScale5 = [] {
        struct Table { uint8_t v[32]; } t{};
        for (int i = 0; i < 32; ++i) t.v[i] = static_cast<uint8_t>(i * 255 / 31);
        return t;
      }();
      for (int32_t x = 0; x < width; ++x) {
        const unsigned v = LoadLittle16(src + 2 * x);
        const uint8_t r = kScale5.v[(v >> 10) & 31], g = kScale5.v[(v >> 5) & 31], b = kScale5.v[v & 31];
        uint8_t* out = dst + 4 * x;
        codec::PutKeyedPixel(out, r, g, b, key);
      }
      break;
    }
    case 24:
    case 32: {
      const int step = layout.bits / 8;
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* in = src + static_cast<size_t>(x) * step;
        const uint8_t b = in[0], g = in[1], r = in[2];
        uint8_t* out = dst + 4 * x;
        codec::PutKeyedPixel(out, r, g, b, key);
      }
      break;
    }
    default:
      break;
  }
}

// Notes why a read failed (the first reason found stands) and fails.
bool Fail(DecodeLimits& limits, PictureFault fault) {
  if (limits.fault == PictureFault::kNone) limits.fault = fault;
  return false;
}

bool DecodeBmp(ReadChannel& channel, Picture& picture, int32_t key, DecodeLimits& limits) {
  uint8_t fileHeader[kFileHeaderSize];
  if (ChannelRead(channel, fileHeader, kFileHeaderSize) != kFileHeaderSize || fileHeader[0] != 'B' ||
      fileHeader[1] != 'M')
    return Fail(limits, PictureFault::kNotAPicture);
  const uint32_t dataOffset = LoadLittle32(fileHeader + 10);

  // The header block runs from here to the data offset (at least the header
  // size field). It must lie inside the file.
  const int64_t blockLength = std::max<int64_t>(static_cast<int64_t>(dataOffset) - kFileHeaderSize, 4);
  if (blockLength > channel.size - channel.position) return Fail(limits, PictureFault::kTruncated);
  uint8_t block[kHeaderBlockMax] = {};
  const int64_t kept = std::min<int64_t>(blockLength, kHeaderBlockMax);
  if (ChannelRead(channel, block, kept) != kept) return Fail(limits, PictureFault::kTruncated);
  if (!SkipBytes(channel, blockLength - kept)) return Fail(limits, PictureFault::kTruncated);

  BmpLayout layout;
  // Other header sizes, depths and compressions (or nonsense in their place).
  if (!ParseHeader(block, static_cast<uint32_t>(kept), key, layout))
    return Fail(limits, PictureFault::kUnsupported);
  limits.fileWidth = layout.width;
  limits.fileHeight = layout.height;
  if (layout.width > codec::kMaxSide || layout.height > codec::kMaxSide) return Fail(limits, PictureFault::kTooLarge);

  // The pixel rows follow the header block; a header that promises more rows
  // than the file holds is refused before anything is allocated.
  // (Divided rather than multiplied: stride x height can overflow 64 bits.)
  if (layout.stride > (channel.size - channel.position) / layout.height) return Fail(limits, PictureFault::kTruncated);
  // A picture above the limit is reduced as its rows arrive: one file row is
  // converted at a time and folded into the reduced picture.
  codec::RowReducer reducer;
  const int32_t factor = codec::ReductionFactor(layout.width, layout.height, limits.maxSide);
  if (!reducer.Begin(picture, layout.width, layout.height, factor)) return Fail(limits, PictureFault::kTooLarge);
  std::vector<uint8_t> converted(factor > 1 ? static_cast<size_t>(layout.width) * 4 : 0);

  const int64_t rowsPerChunk = std::max<int64_t>(1, kReadChunk / layout.stride);
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(rowsPerChunk, layout.height) * layout.stride));
  const size_t pictureStride = static_cast<size_t>(layout.width) * 4;
  for (int64_t fileRow = 0; fileRow < layout.height;) {
    const int64_t rows = std::min<int64_t>(rowsPerChunk, layout.height - fileRow);
    const int64_t bytes = rows * layout.stride;
    if (ChannelRead(channel, buffer.data(), bytes) != bytes) return Fail(limits, PictureFault::kTruncated);
    for (int64_t r = 0; r < rows; ++r, ++fileRow) {
      // Bottom-up files store the last picture row first.
      const int64_t y = layout.topDown ? fileRow : layout.height - 1 - fileRow;
      const uint8_t* src = buffer.data() + r * layout.stride;
      if (factor == 1) {
        ConvertRow(layout, src, picture.pixels + y * pictureStride, key);
      } else {
        ConvertRow(layout, src, converted.data(), key);
        reducer.AddRow(static_cast<int32_t>(y), converted.data());
      }
    }
  }
  reducer.Finish();
  picture.ownAlpha = 0;
  return true;
}


}  // namespace

bool ReadBMP(Picture& picture, ReadChannel& channel, int32_t colourKey, DecodeLimits* limits) {
  DecodeLimits defaults;
  DecodeLimits& used = limits != nullptr ? *limits : defaults;
  used.fault = PictureFault::kNone;
  const bool ok = DecodeBmp(channel, picture, colourKey, used);
  if (!ok) picture.Clear();
  return ok;
}

bool ReadBMP(Picture& picture, const char* name, int32_t colourKey) {
  ReadChannel channel;
  if (name == nullptr || !OpenReadChannel(channel, name)) {
    picture.Clear();
    return false;
  }
  const bool ok = ReadBMP(picture, channel, colourKey);
  CloseChannel(channel);
  return ok;
}

namespace codec {

bool WriteBMP(const char* name, const Picture& picture) {
  const uint32_t width = static_cast<uint32_t>(picture.width);
  const uint32_t height = static_cast<uint32_t>(picture.height);
  const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
  const uint64_t fileSize = stride * height + 54;
  if (fileSize > UINT32_MAX) return false;

  FileReplacement file;
  if (!BeginWriting(name, file)) return false;

  uint8_t header[54] = {};
  header[0] = 'B';
  header[1] = 'M';
  StoreLittle32(header + 2, static_cast<uint32_t>(fileSize));
  StoreLittle32(header + 10, 54);
  StoreLittle32(header + 14, 40);
  StoreLittle32(header + 18, width);
  StoreLittle32(header + 22, height);  // positive: rows stored bottom-up
  StoreLittle16(header + 26, 1);
  StoreLittle16(header + 28, 24);
  StoreLittle32(header + 38, 10000);
  StoreLittle32(header + 42, 10000);
  bool ok = file.Write(header, sizeof header);

  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  for (uint32_t r = 0; ok && r < height; ++r) {
    const uint8_t* src = picture.pixels + static_cast<size_t>(height - 1 - r) * width * 4;
    uint8_t* dst = row.data();
    for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
      if (src[3] != 255) {
        // Transparency becomes the default sprite key colour, so a reload
        // with that key gives the hole back.
        dst[0] = 128;
        dst[1] = 0;
        dst[2] = 255;
      } else {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    ok = file.Write(row.data(), row.size());
  }
  return ok && file.Commit();
}

}  // namespace codec
