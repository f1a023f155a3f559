// JPEG reader and writer over libjpeg (the 6b interface of libjpeg-turbo).
//
// libjpeg's own error manager ends the process on a damaged file; ours
// longjmps back to the decode routine, which then fails. As in the PNG codec,
// the routines that hold the setjmp own no objects with destructors.
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/run_log.h"
#include "files/read_channel.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"

namespace {

// Files larger than this are not JPEG pictures the runtime could hold.
constexpr int64_t kMaxFileBytes = int64_t{1} << 31;

struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  bool truncated;  // the failure was the data running out
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::longjmp(manager->jump, 1);
}

// Warnings are silent, except those that say the data ran out: libjpeg would
// go on and fill the rest of the picture with grey, and a cut-off file must
// fail like any other damaged one.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) reinterpret_cast<JpegErrorManager*>(cinfo->err)->truncated = true;
  if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_BOGUS_PROGRESSION)
    JpegErrorExit(cinfo);
  cinfo->err->num_warnings++;
}

void JpegOutputMessage(j_common_ptr) {}

void InstallErrorManager(JpegErrorManager& manager) {
  jpeg_std_error(&manager.pub);
  manager.pub.error_exit = JpegErrorExit;
  manager.pub.emit_message = JpegEmitMessage;
  manager.pub.output_message = JpegOutputMessage;
  manager.truncated = false;
}

// Bytes for libjpeg straight from a file channel, a piece at a time.
struct ChannelSource {
  jpeg_source_mgr pub;
  ReadChannel* channel;
  JOCTET buffer[64 * 1024];
  JOCTET endOfImage[2];
};

void ChannelInitSource(j_decompress_ptr) {}

boolean ChannelFillInputBuffer(j_decompress_ptr cinfo) {
  auto* source = reinterpret_cast<ChannelSource*>(cinfo->src);
  const int64_t count = ChannelRead(*source->channel, source->buffer, sizeof source->buffer);
  if (count <= 0) {
    // Out of data: libjpeg's usual answer is a warning and a made-up end
    // marker; the warning handler turns that into a failure.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->endOfImage[0] = 0xFF;
    source->endOfImage[1] = JPEG_EOI;
    source->pub.next_input_byte = source->endOfImage;
    source->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = static_cast<size_t>(count);
  return TRUE;
}

void ChannelSkipInputData(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* source = cinfo->src;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    source->bytes_in_buffer = 0;
    ChannelFillInputBuffer(cinfo);
  }
  if (count > 0) {
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
  }
}

void ChannelTermSource(j_decompress_ptr) {}

struct JpegReadState {
  ReadChannel* channel = nullptr;
  int64_t size = 0;  // bytes in the file
  ChannelSource source;
  jpeg_decompress_struct cinfo;
  JpegErrorManager error;
  bool created = false;
  DecodeLimits* limits = nullptr;
  codec::RowReducer reducer;
  uint8_t* rows = nullptr;  // a band of scaled rows, when reduced further
};

// Notes why a read failed (the first reason found stands) and fails.
bool Fail(JpegReadState& state, PictureFault fault) {
  if (state.limits->fault == PictureFault::kNone) state.limits->fault = fault;
  return false;
}

// Coefficient memory of a progressive file (libjpeg keeps every block of
// every component until the last scan), beyond which it is refused: twice
// the picture kept, plus room for small pictures.
constexpr int64_t kCoefficientSlack = int64_t{64} << 20;

// A memory file is decoded in place; a real file is read through the
// channel, after its first two bytes showed it to be a JPEG stream at all.
bool SetSource(JpegReadState& state) {
  ReadChannel& channel = *state.channel;
  state.size = channel.size - channel.position;
  if (state.size < 4) return Fail(state, PictureFault::kNotAPicture);
  j_decompress_ptr cinfo = &state.cinfo;
  if (channel.memory != nullptr) {
    const uint8_t* data = channel.memory + channel.position;
    if (data[0] != 0xFF || data[1] != 0xD8) return Fail(state, PictureFault::kNotAPicture);
    if (state.size > kMaxFileBytes) return Fail(state, PictureFault::kTooLarge);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(state.size));
    return true;
  }
  ChannelSource& source = state.source;
  if (ChannelRead(channel, source.buffer, 2) != 2 || source.buffer[0] != 0xFF || source.buffer[1] != 0xD8)
    return Fail(state, PictureFault::kNotAPicture);
  if (state.size > kMaxFileBytes) return Fail(state, PictureFault::kTooLarge);
  source.channel = &channel;
  source.pub.init_source = ChannelInitSource;
  source.pub.fill_input_buffer = ChannelFillInputBuffer;
  source.pub.skip_input_data = ChannelSkipInputData;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = ChannelTermSource;
  source.pub.next_input_byte = source.buffer;
  source.pub.bytes_in_buffer = 2;
  cinfo->src = &source.pub;
  return true;
}

constexpr JDIMENSION kBandRows = 16;

// Reads the (scaled) scanlines a band at a time into a reduced picture.
// Called inside DecodeJpeg's setjmp; what needs freeing is in state.
bool ReduceJpeg(JpegReadState& state, Picture& picture, int32_t factor, int components) {
  jpeg_decompress_struct* cinfo = &state.cinfo;
  const int32_t width = static_cast<int32_t>(cinfo->output_width);
  const int32_t height = static_cast<int32_t>(cinfo->output_height);
  if (!state.reducer.Begin(picture, width, height, factor)) return Fail(state, PictureFault::kTooLarge);
  const size_t stride = static_cast<size_t>(width) * 4;
  state.rows = static_cast<uint8_t*>(std::malloc(stride * kBandRows));
  if (state.rows == nullptr) return Fail(state, PictureFault::kTooLarge);
  JSAMPROW rows[kBandRows];
  for (JDIMENSION i = 0; i < kBandRows; ++i) rows[i] = state.rows + i * stride;
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kBandRows, cinfo->output_height - first);
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, count);
    if (got == 0) return Fail(state, PictureFault::kDamaged);
    for (JDIMENSION i = 0; i < got; ++i) state.reducer.AddRow(static_cast<int32_t>(first + i), rows[i]);
  }
  jpeg_finish_decompress(cinfo);
  state.reducer.Finish();
  picture.ownAlpha = components == 4 ? 1 : 0;
  return true;
}

bool DecodeJpeg(JpegReadState& state, Picture& picture) {
  jpeg_decompress_struct* cinfo = &state.cinfo;
  cinfo->err = &state.error.pub;
  InstallErrorManager(state.error);
  if (setjmp(state.error.jump))
    return Fail(state, state.error.truncated ? PictureFault::kTruncated : PictureFault::kDamaged);
  state.created = true;  // destroying a half-made decompressor is harmless
  jpeg_create_decompress(cinfo);
  if (!SetSource(state)) return false;
  jpeg_read_header(cinfo, TRUE);

  const int components = cinfo->num_components;
  if (components != 1 && components != 3 && components != 4) {
    WriteLogF("JPEG: Channels: %d not supported!\n", components);
    return Fail(state, PictureFault::kUnsupported);
  }
  // Arithmetic-coded files can describe a huge picture in a few bytes; they
  // are practically unused and libjpeg 6b never read them.
  if (cinfo->arith_code) return Fail(state, PictureFault::kUnsupported);
  const int64_t width = cinfo->image_width, height = cinfo->image_height;
  state.limits->fileWidth = static_cast<int32_t>(width);
  state.limits->fileHeight = static_cast<int32_t>(height);
  if (width <= 0 || height <= 0) return Fail(state, PictureFault::kDamaged);
  if (width > codec::kMaxSide || height > codec::kMaxSide) return Fail(state, PictureFault::kTooLarge);
  // Every 8 x 8 block of a scan costs at least one bit of entropy-coded data,
  // so the file must be large enough to hold one bit for each block of its
  // smallest component. This turns away headers that promise far more
  // picture than the file can fill before the coefficient buffers and the
  // picture are allocated.
  int64_t fewestBlocks = INT64_MAX;
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& component = cinfo->comp_info[c];
    fewestBlocks = std::min<int64_t>(
        fewestBlocks, static_cast<int64_t>(component.width_in_blocks) * component.height_in_blocks);
  }
  if (fewestBlocks > state.size * 8) return Fail(state, PictureFault::kTruncated);

  // Grey and colour pictures are converted by libjpeg straight into RGBA rows
  // (opaque); four components are copied as they come.
  if (components != 4) cinfo->out_color_space = JCS_EXT_RGBA;
  // A picture above the limit is first scaled by libjpeg itself (M/8 in the
  // inverse DCT, the largest M that fits), which costs less than decoding
  // every pixel; what is still too large is reduced by a whole factor as the
  // scaled rows arrive.
  const int32_t maxSide = state.limits->maxSide;
  cinfo->scale_denom = 8;
  for (unsigned m = 8; m >= 1; --m) {
    cinfo->scale_num = m;
    jpeg_calc_output_dimensions(cinfo);
    if (static_cast<int64_t>(std::max(cinfo->output_width, cinfo->output_height)) <= maxSide) break;
  }
  const int64_t scaledWidth = cinfo->output_width, scaledHeight = cinfo->output_height;
  const int32_t factor = codec::ReductionFactor(scaledWidth, scaledHeight, maxSide);
  if (cinfo->progressive_mode || cinfo->buffered_image) {
    int64_t coefficientBytes = 0;
    for (int c = 0; c < components; ++c) {
      const jpeg_component_info& component = cinfo->comp_info[c];
      coefficientBytes +=
          static_cast<int64_t>(component.width_in_blocks) * component.height_in_blocks * DCTSIZE2 * sizeof(JCOEF);
    }
    const int64_t keptBytes = (scaledWidth + factor - 1) / factor * ((scaledHeight + factor - 1) / factor) * 4;
    if (coefficientBytes > 2 * keptBytes + kCoefficientSlack) return Fail(state, PictureFault::kTooLarge);
  }
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 4 || cinfo->output_width != scaledWidth || cinfo->output_height != scaledHeight)
    return Fail(state, PictureFault::kDamaged);
  if (factor > 1) return ReduceJpeg(state, picture, factor, components);
  if (!picture.ResizeUncleared(static_cast<int32_t>(scaledWidth), static_cast<int32_t>(scaledHeight)))
    return Fail(state, PictureFault::kTooLarge);

  const size_t stride = static_cast<size_t>(scaledWidth) * 4;
  JSAMPROW rows[16];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(16, cinfo->output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = picture.pixels + (first + i) * stride;
    if (jpeg_read_scanlines(cinfo, rows, count) == 0) return Fail(state, PictureFault::kDamaged);
  }
  jpeg_finish_decompress(cinfo);
  picture.ownAlpha = components == 4 ? 1 : 0;
  return true;
}

// Compressed bytes from libjpeg into the file being replaced, a buffer at a
// time. A failed write ends the compression through the error manager.
struct ReplacementDestination {
  jpeg_destination_mgr pub;
  FileReplacement* file;
  JOCTET buffer[64 * 1024];
};

void ReplacementInitDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<ReplacementDestination*>(cinfo->dest);
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = sizeof destination->buffer;
}

boolean ReplacementEmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<ReplacementDestination*>(cinfo->dest);
  // libjpeg hands over the whole buffer here, whatever free_in_buffer says.
  if (!destination->file->Write(destination->buffer, sizeof destination->buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
  ReplacementInitDestination(cinfo);
  return TRUE;
}

void ReplacementTermDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<ReplacementDestination*>(cinfo->dest);
  const size_t count = sizeof destination->buffer - destination->pub.free_in_buffer;
  if (!destination->file->Write(destination->buffer, count)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

struct JpegWriteState {
  ReplacementDestination destination;
  uint8_t* row = nullptr;
  jpeg_compress_struct cinfo;
  JpegErrorManager error;
  bool created = false;
};

bool EncodeJpeg(JpegWriteState& state, const Picture& picture) {
  jpeg_compress_struct* cinfo = &state.cinfo;
  cinfo->err = &state.error.pub;
  InstallErrorManager(state.error);
  if (setjmp(state.error.jump)) return false;
  state.created = true;
  jpeg_create_compress(cinfo);
  state.destination.pub.init_destination = ReplacementInitDestination;
  state.destination.pub.empty_output_buffer = ReplacementEmptyOutputBuffer;
  state.destination.pub.term_destination = ReplacementTermDestination;
  cinfo->dest = &state.destination.pub;
  cinfo->image_width = static_cast<JDIMENSION>(picture.width);
  cinfo->image_height = static_cast<JDIMENSION>(picture.height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, 80, TRUE);
  jpeg_start_compress(cinfo, TRUE);

  const size_t stride = static_cast<size_t>(picture.width) * 4;
  while (cinfo->next_scanline < cinfo->image_height) {
    const uint8_t* src = picture.pixels + cinfo->next_scanline * stride;
    uint8_t* dst = state.row;
    for (int32_t x = 0; x < picture.width; ++x, src += 4, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
    }
    JSAMPROW row = state.row;
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool ReadJPEG(Picture& picture, ReadChannel& channel, DecodeLimits* limits) {
  DecodeLimits defaults;
  JpegReadState state;
  state.channel = &channel;
  state.limits = limits != nullptr ? limits : &defaults;
  state.limits->fault = PictureFault::kNone;
  const bool ok = DecodeJpeg(state, picture);
  if (state.created) jpeg_destroy_decompress(&state.cinfo);
  std::free(state.rows);
  if (!ok) picture.Clear();
  return ok;
}

bool ReadJPEG(Picture& picture, const char* name) {
  ReadChannel channel;
  if (name == nullptr || !OpenReadChannel(channel, name)) {
    picture.Clear();
    return false;
  }
  const bool ok = ReadJPEG(picture, channel);
  CloseChannel(channel);
  return ok;
}

namespace codec {

bool WriteJPEG(const char* name, const Picture& picture) {
  JpegWriteState state;
  state.row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(picture.width) * 3));
  if (state.row == nullptr) return false;
  FileReplacement file;
  state.destination.file = &file;
  const bool ok = BeginWriting(name, file) && EncodeJpeg(state, picture);
  if (state.created) jpeg_destroy_compress(&state.cinfo);
  std::free(state.row);
  return ok && file.Commit();
}

}  // namespace codec
