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
#include "files/files.h"
#include "gfx2d/codec_common.h"
#include "gfx2d/picture.h"

namespace {

// Files larger than this are not JPEG pictures the runtime could hold.
constexpr int64_t kMaxFileBytes = int64_t{1} << 31;

struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
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
}

struct JpegReadState {
  ReadChannel channel;
  const uint8_t* data = nullptr;  // the whole file: the memory block or owned
  uint8_t* owned = nullptr;       // a real file read into memory
  int64_t size = 0;
  jpeg_decompress_struct cinfo;
  JpegErrorManager error;
  bool created = false;
};

// Makes the file's bytes available as one block. A memory file is used in
// place; a real file is read whole after its first two bytes proved it to be
// a JPEG stream.
bool LoadJpegBytes(JpegReadState& state) {
  ReadChannel& channel = state.channel;
  state.size = channel.size - channel.position;
  if (state.size < 4 || state.size > kMaxFileBytes) return false;
  if (channel.memory != nullptr) {
    state.data = channel.memory + channel.position;
    return state.data[0] == 0xFF && state.data[1] == 0xD8;
  }
  uint8_t start[2];
  if (ChannelRead(channel, start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) return false;
  state.owned = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(state.size)));
  if (state.owned == nullptr) return false;
  state.owned[0] = start[0];
  state.owned[1] = start[1];
  const int64_t rest = state.size - 2;
  if (ChannelRead(channel, state.owned + 2, rest) != rest) return false;
  state.data = state.owned;
  return true;
}

bool DecodeJpeg(JpegReadState& state, Picture& picture) {
  jpeg_decompress_struct* cinfo = &state.cinfo;
  cinfo->err = &state.error.pub;
  InstallErrorManager(state.error);
  if (setjmp(state.error.jump)) return false;
  state.created = true;  // destroying a half-made decompressor is harmless
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, state.data, static_cast<unsigned long>(state.size));
  jpeg_read_header(cinfo, TRUE);

  const int components = cinfo->num_components;
  if (components != 1 && components != 3 && components != 4) {
    WriteLogF("JPEG: Channels: %d not supported!\n", components);
    return false;
  }
  // Arithmetic-coded files can describe a huge picture in a few bytes; they
  // are practically unused and libjpeg 6b never read them.
  if (cinfo->arith_code) return false;
  const int64_t width = cinfo->image_width, height = cinfo->image_height;
  if (width <= 0 || height <= 0 || width > codec::kMaxSide || height > codec::kMaxSide) return false;
  if (width * height * 4 > int64_t{UINT32_MAX}) return false;
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
  if (fewestBlocks > state.size * 8) return false;

  // Grey and colour pictures are converted by libjpeg straight into RGBA rows
  // (opaque); four components are copied as they come.
  if (components != 4) cinfo->out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 4 || cinfo->output_width != width || cinfo->output_height != height)
    return false;
  if (!picture.Resize(static_cast<int32_t>(width), static_cast<int32_t>(height))) return false;

  const size_t stride = static_cast<size_t>(width) * 4;
  JSAMPROW rows[16];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(16, cinfo->output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = picture.pixels + (first + i) * stride;
    if (jpeg_read_scanlines(cinfo, rows, count) == 0) return false;
  }
  jpeg_finish_decompress(cinfo);
  picture.ownAlpha = components == 4 ? 1 : 0;
  return true;
}

struct JpegWriteState {
  FILE* file = nullptr;
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
  jpeg_stdio_dest(cinfo, state.file);
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

bool ReadJPEG(Picture& picture, const char* name) {
  JpegReadState state;
  if (name == nullptr || !OpenReadChannel(state.channel, name)) {
    picture.Clear();
    return false;
  }
  const bool ok = LoadJpegBytes(state) && DecodeJpeg(state, picture);
  if (state.created) jpeg_destroy_decompress(&state.cinfo);
  std::free(state.owned);
  CloseChannel(state.channel);
  if (!ok) picture.Clear();
  return ok;
}

namespace codec {

bool WriteJPEG(const char* name, const Picture& picture) {
  JpegWriteState state;
  state.row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(picture.width) * 3));
  if (state.row == nullptr) return false;
  std::string path;
  state.file = OpenForWriting(name, path);
  bool ok = state.file != nullptr && EncodeJpeg(state, picture);
  if (state.created) jpeg_destroy_compress(&state.cinfo);
  std::free(state.row);
  return state.file != nullptr && FinishWriting(state.file, path, ok);
}

}  // namespace codec
