// PNG reader and writer over libpng. The reader takes its bytes from a read
// channel, so memory files and archive entries load like real files.
//
// libpng reports errors by calling our handler, which must not return: it
// records the failure and longjmps back to the setjmp in the decode routine.
// Those routines therefore hold no objects with destructors; everything that
// needs releasing lives in a state record cleaned up by the caller.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/read_channel.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"

namespace {

// The most bytes of image data one byte of deflate stream can expand to
// (1032:1 in theory) with a little headroom: a header promising more raw rows
// than the file could inflate to is refused before the picture is allocated.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 64 * 1024;
// Ancillary chunks (text, profiles) may not make libpng allocate more.
constexpr png_alloc_size_t kChunkMallocMax = 8 * 1024 * 1024;

struct PngReadState {
  ReadChannel* channel = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool error = false;      // set by the error handler before it jumps out
  bool truncated = false;  // the data ran out
  DecodeLimits* limits = nullptr;
  codec::RowReducer reducer;
  uint8_t* row = nullptr;  // one file row, when the picture is reduced or goes to a sink
  PictureRowSink* sink = nullptr;  // where the rows go instead of the picture
  Picture whole;                   // an interlaced picture on its way to the sink
  ~PngReadState() { std::free(row); }
};

// Notes why a read failed (the first reason found stands) and fails.
bool Fail(PngReadState& state, PictureFault fault) {
  if (state.limits->fault == PictureFault::kNone) state.limits->fault = fault;
  return false;
}

void PngError(png_structp png, png_const_charp) {
  auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
  if (state != nullptr) state->error = true;
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep data, size_t length) {
  auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (ChannelRead(*state->channel, data, static_cast<int64_t>(length)) != static_cast<int64_t>(length)) {
    state->truncated = true;
    png_error(png, "read past the end of the data");
  }
}

// Expands a row of 3-channel (RGB) pixels to RGBA in place, from the right so
// nothing is overwritten before it is read, applying the colour key.
void ExpandRgbRow(uint8_t* row, int32_t width, int32_t key) {
  for (int32_t x = width - 1; x >= 0; --x) {
    const uint8_t r = row[3 * x], g = row[3 * x + 1], b = row[3 * x + 2];
    uint8_t* out = row + 4 * x;
    codec::PutKeyedPixel(out, r, g, b, key);
  }
}

// Grey to opaque RGBA in place; grey pictures take no colour key.
void ExpandGreyRow(uint8_t* row, int32_t width) {
  for (int32_t x = width - 1; x >= 0; --x) {
    const uint8_t g = row[x];
    uint8_t* out = row + 4 * x;
    out[0] = out[1] = out[2] = g;
    out[3] = 255;
  }
}

// Reads a non-interlaced picture one row at a time into a reduced picture.
// Called from inside DecodePng's setjmp; what needs freeing is in state.
// With a sink the rows go there, reduced or (factor 1) as they are.
bool ReducePng(PngReadState& state, Picture& picture, int32_t factor, int32_t width, int32_t height, int channels,
               int32_t key) {
  const bool begun = state.sink != nullptr
                         ? state.reducer.Begin(*state.sink, width, height, factor, channels == 4)
                         : state.reducer.Begin(picture, width, height, factor);
  if (!begun) return Fail(state, PictureFault::kTooLarge);
  state.row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * 4));
  if (state.row == nullptr) return Fail(state, PictureFault::kTooLarge);
  for (int32_t y = 0; y < height; ++y) {
    png_read_row(state.png, state.row, nullptr);
    if (channels == 3)
      ExpandRgbRow(state.row, width, key);
    else if (channels == 1)
      ExpandGreyRow(state.row, width);
    state.reducer.AddRow(y, state.row);
  }
  png_read_end(state.png, nullptr);
  state.reducer.Finish();
  picture.ownAlpha = channels == 4 ? 1 : 0;
  return !state.error;
}

bool DecodePng(PngReadState& state, Picture& picture, int32_t key, const char* name) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(png_jmpbuf(png))) return Fail(state, state.truncated ? PictureFault::kTruncated : PictureFault::kDamaged);

  png_set_read_fn(png, &state, PngRead);
  png_set_sig_bytes(png, 4);  // the caller has read and checked those
  // Sides up to libpng's own ceiling pass its header check, so that a
  // picture too large to hold is told apart from a damaged one below.
  png_set_user_limits(png, PNG_USER_WIDTH_MAX, PNG_USER_HEIGHT_MAX);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  // Only the chunks that make up the picture are read (IHDR, PLTE, tRNS,
  // IDAT, IEND); text, profiles and the like are skipped unread. Besides
  // saving time, this keeps a lying chunk length from making libpng
  // allocate a buffer for it before the read falls short.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef PNG_IGNORE_ADLER32
  // The CRC-32 of every chunk already guards the stored bytes; the Adler-32
  // at the end of the image data only checks their inflated form again,
  // which for a large picture is gigabytes of extra summing.
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(png, info);

  // Raw (filtered) bytes the header promises, against what the file holds.
  const uint64_t width = png_get_image_width(png, info);
  const uint64_t height = png_get_image_height(png, info);
  state.limits->fileWidth = static_cast<int32_t>(std::min<uint64_t>(width, INT32_MAX));
  state.limits->fileHeight = static_cast<int32_t>(std::min<uint64_t>(height, INT32_MAX));
  if (width > codec::kMaxSide || height > codec::kMaxSide) return Fail(state, PictureFault::kTooLarge);
  const uint64_t rawRow = (width * png_get_bit_depth(png, info) * png_get_channels(png, info) + 7) / 8 + 1;
  if (rawRow * height > static_cast<uint64_t>(state.channel->size) * kMaxInflateRatio + kInflateSlack)
    return Fail(state, PictureFault::kTruncated);

  png_set_palette_to_rgb(png);
  png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  png_set_strip_16(png);
  png_set_packing(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const int channels = png_get_channels(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int colourType = png_get_color_type(png, info);
  if (channels != 1 && channels != 3 && channels != 4)  // grey + alpha: silently
    return Fail(state, PictureFault::kUnsupported);
  if (depth != 8) {
    std::printf("File %s has bit depth %d.\n", name, depth);
    std::printf("Only bit depth of 8 is supported.");
    return Fail(state, PictureFault::kUnsupported);
  }
  if (colourType != PNG_COLOR_TYPE_GRAY && colourType != PNG_COLOR_TYPE_RGB &&
      colourType != PNG_COLOR_TYPE_RGB_ALPHA) {
    std::printf("File %s has unsupported color type.\n", name);
    std::printf("Types GRAY, RGB and RGB_ALPHA are supported.");
    return Fail(state, PictureFault::kUnsupported);
  }
  if (width == 0 || height == 0) return Fail(state, PictureFault::kDamaged);
  const int32_t factor = codec::ReductionFactor(static_cast<int64_t>(width), static_cast<int64_t>(height),
                                                state.limits->maxSide);
  if (factor > 1) {
    // Interlaced passes fill the rows of the whole picture in turn, so such
    // a file cannot be reduced row by row; holding it whole is what the
    // limit is there to prevent.
    if (passes > 1) return Fail(state, PictureFault::kTooLarge);
    return ReducePng(state, picture, factor, static_cast<int32_t>(width), static_cast<int32_t>(height), channels,
                     key);
  }
  if (state.sink != nullptr && passes == 1)
    return ReducePng(state, picture, 1, static_cast<int32_t>(width), static_cast<int32_t>(height), channels, key);
  if (!picture.ResizeUncleared(static_cast<int32_t>(width), static_cast<int32_t>(height)))
    return Fail(state, PictureFault::kTooLarge);

  // libpng writes width x channels bytes into each picture row (the rows are
  // wide enough for four); narrower rows are widened in place afterwards.
  // Interlaced files are combined pass by pass in the same rows.
  const size_t stride = static_cast<size_t>(width) * 4;
  for (int pass = 0; pass < passes; ++pass)
    for (uint64_t y = 0; y < height; ++y) png_read_row(png, picture.pixels + y * stride, nullptr);
  png_read_end(png, nullptr);

  if (channels == 3) {
    for (uint64_t y = 0; y < height; ++y)
      ExpandRgbRow(picture.pixels + y * stride, static_cast<int32_t>(width), key);
  } else if (channels == 1) {
    for (uint64_t y = 0; y < height; ++y) ExpandGreyRow(picture.pixels + y * stride, static_cast<int32_t>(width));
  }
  picture.ownAlpha = channels == 4 ? 1 : 0;
  return !state.error;
}

struct PngWriteState {
  FileReplacement* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool error = false;
};

void PngWriteError(png_structp png, png_const_charp) {
  auto* state = static_cast<PngWriteState*>(png_get_error_ptr(png));
  if (state != nullptr) state->error = true;
  png_longjmp(png, 1);
}

void PngWrite(png_structp png, png_bytep data, size_t length) {
  auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
  if (!state->file->Write(data, length)) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

bool EncodePng(PngWriteState& state, const Picture& picture) {
  png_structp png = state.png;
  png_infop info = state.info;
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &state, PngWrite, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_packing(png);
  const size_t stride = static_cast<size_t>(picture.width) * 4;
  for (int32_t y = 0; y < picture.height; ++y) png_write_row(png, picture.pixels + y * stride);
  png_write_end(png, info);
  return !state.error;
}

}  // namespace

namespace {

// Checks the signature and decodes into target through libpng, rows going
// to state.sink where one is set; libpng's records are gone on return.
bool ReadPngWith(PngReadState& state, Picture& target, ReadChannel& channel, int32_t colourKey, const char* name,
                 DecodeLimits* limits, DecodeLimits& defaults) {
  state.channel = &channel;
  state.limits = limits != nullptr ? limits : &defaults;
  state.limits->fault = PictureFault::kNone;
  // Foreign files are turned away on the signature, before libpng is involved.
  static const uint8_t kSignature[4] = {0x89, 'P', 'N', 'G'};
  uint8_t signature[4];
  bool ok = ChannelRead(channel, signature, 4) == 4 && std::memcmp(signature, kSignature, 4) == 0;
  if (!ok) Fail(state, PictureFault::kNotAPicture);
  if (ok) {
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    if (state.png != nullptr) state.info = png_create_info_struct(state.png);
    ok = state.info != nullptr && DecodePng(state, target, colourKey, name);
  }
  if (state.png != nullptr) png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
  return ok;
}

}  // namespace

bool ReadPNG(Picture& picture, ReadChannel& channel, int32_t colourKey, const char* name, DecodeLimits* limits) {
  DecodeLimits defaults;
  PngReadState state;
  const bool ok = ReadPngWith(state, picture, channel, colourKey, name, limits, defaults);
  if (!ok) picture.Clear();
  return ok;
}

bool ReadPNG(PictureRowSink& sink, ReadChannel& channel, int32_t colourKey, const char* name, DecodeLimits* limits) {
  DecodeLimits defaults;
  PngReadState state;
  state.sink = &sink;
  // An interlaced file comes whole into state.whole; the others straight to the sink.
  bool ok = ReadPngWith(state, state.whole, channel, colourKey, name, limits, defaults);
  if (ok && state.whole.pixels != nullptr) {
    Picture& whole = state.whole;
    ok = sink.Begin(whole.width, whole.height, whole.ownAlpha != 0);
    for (int32_t y = 0; ok && y < whole.height; ++y) sink.Row(y, whole.Pixel(0, y));
    if (!ok) Fail(state, PictureFault::kTooLarge);
  }
  return ok;
}

bool ReadPNG(Picture& picture, const char* name, int32_t colourKey) {
  ReadChannel channel;
  if (name == nullptr || !OpenReadChannel(channel, name)) {
    picture.Clear();
    return false;
  }
  const bool ok = ReadPNG(picture, channel, colourKey, name);
  CloseChannel(channel);
  return ok;
}

namespace codec {

bool WritePNG(const char* name, const Picture& picture) {
  FileReplacement file;
  if (!BeginWriting(name, file)) return false;
  PngWriteState state;
  state.file = &file;
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngWriteError, PngWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  const bool ok = state.info != nullptr && EncodePng(state, picture);
  if (state.png != nullptr) png_destroy_write_struct(&state.png, state.info ? &state.info : nullptr);
  return ok && file.Commit();
}

}  // namespace codec
