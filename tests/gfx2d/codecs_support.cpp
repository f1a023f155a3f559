// Test support for the codec tests: foreign encoders, picture comparison, files on disk.
#include "codecs_support.h"

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "files/read_channel.h"
#include "support/child_process.h"

namespace codecs_test {

std::string Le16(uint32_t v) {
  std::string s(2, '\0');
  s[0] = static_cast<char>(v & 255);
  s[1] = static_cast<char>((v >> 8) & 255);
  return s;
}

std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string MakeBmp(int headerSize, int32_t width, int32_t height, int bits, const std::string& palette,
                    const std::string& pixelData, uint32_t compression) {
  std::string header;
  header += Le32(static_cast<uint32_t>(headerSize));
  if (headerSize == 12) {
    header += Le16(static_cast<uint32_t>(width)) + Le16(static_cast<uint32_t>(height));
    header += Le16(1) + Le16(static_cast<uint32_t>(bits));
  } else {
    header += Le32(static_cast<uint32_t>(width)) + Le32(static_cast<uint32_t>(height));
    header += Le16(1) + Le16(static_cast<uint32_t>(bits));
    header += Le32(compression) + Le32(static_cast<uint32_t>(pixelData.size()));
    header += Le32(2835) + Le32(2835) + Le32(0) + Le32(0);
  }
  const uint32_t offset = static_cast<uint32_t>(14 + header.size() + palette.size());
  std::string file = "BM";
  file += Le32(static_cast<uint32_t>(offset + pixelData.size()));
  file += Le16(0) + Le16(0) + Le32(offset);
  return file + header + palette + pixelData;
}

namespace {

void AppendToString(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void NoFlush(png_structp) {}

}  // namespace

std::string MakePng(const PngSpec& spec, const std::vector<uint8_t>& rows) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendToString, NoFlush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colourType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < spec.palette.size(); i += 3)
    palette.push_back(png_color{spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!spec.trns.empty()) png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
  if (spec.greyTrns) {
    png_color_16 grey{};
    grey.gray = spec.greyTrnsValue;
    png_set_tRNS(png, info, nullptr, 0, &grey);
  }
  png_write_info(png, info);
  if (spec.bitDepth == 16) png_set_swap(png);  // rows are given little-endian
  const int channels = spec.colourType == 0 || spec.colourType == 3 ? 1
                       : spec.colourType == 4                        ? 2
                       : spec.colourType == 2                        ? 3
                                                                     : 4;
  const size_t rowBytes = (static_cast<size_t>(spec.width) * channels * spec.bitDepth + 7) / 8;
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < spec.height; ++y) png_write_row(png, const_cast<uint8_t*>(rows.data() + y * rowBytes));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string MakeJpeg(int width, int height, int components, int colourSpace, const std::vector<uint8_t>& samples,
                     int quality, bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = static_cast<J_COLOR_SPACE>(colourSpace);
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples.data()) + cinfo.next_scanline * static_cast<size_t>(width) * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

bool DecodeJpegPlain(const std::string& bytes, int* width, int* height, int* components,
                     std::vector<uint8_t>* samples) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  *width = static_cast<int>(cinfo.output_width);
  *height = static_cast<int>(cinfo.output_height);
  *components = cinfo.output_components;
  const size_t stride = static_cast<size_t>(*width) * *components;
  samples->assign(stride * *height, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = samples->data() + cinfo.output_scanline * stride;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

MemoryFile::MemoryFile(const std::string& bytes) : block_(bytes.begin(), bytes.end()) {
  if (block_.empty()) block_.push_back(0);  // a block needs an address
  RegisterMemoryFile(block_.data(), bytes.size());
  name_ = MemoryFileName(block_.data(), bytes.size());
}

MemoryFile::~MemoryFile() { UnregisterMemoryFile(block_.data()); }

std::string PixelBytes(const Picture& picture) {
  if (picture.pixels == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(picture.pixels),
                     static_cast<size_t>(picture.width) * picture.height * 4);
}

std::string FirstDifference(const std::string& expected, const std::string& actual, int width, int tolerance,
                            bool compareAlpha) {
  if (expected.size() != actual.size()) {
    std::ostringstream s;
    s << "size " << actual.size() << " instead of " << expected.size();
    return s.str();
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    if (!compareAlpha && i % 4 == 3) continue;
    const int e = static_cast<uint8_t>(expected[i]), a = static_cast<uint8_t>(actual[i]);
    if (std::abs(e - a) > tolerance) {
      const size_t pixel = i / 4;
      std::ostringstream s;
      s << "pixel (" << pixel % width << ", " << pixel / width << ") channel " << i % 4 << ": " << a
        << " instead of " << e << " (tolerance " << tolerance << ")";
      return s.str();
    }
  }
  return std::string();
}

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(dir) / name;
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
  }
  return std::string();
}

bool RunForOutput(const std::string& program, const std::vector<std::string>& args, std::string* out) {
  testing_support::ChildResult result = testing_support::RunProgram(program, args, "");
  if (out != nullptr) *out = result.out;
  return result.exitCode == 0;
}

std::string FindPythonWithPil() {
  // The system interpreter first: that is where the distribution's PIL lives.
  std::vector<std::string> candidates = {"/usr/bin/python3", FindProgram("python3")};
  for (const std::string& python : candidates) {
    if (python.empty() || !std::filesystem::exists(python)) continue;
    if (RunForOutput(python, {"-c", "import PIL.Image"}, nullptr)) return python;
  }
  return std::string();
}

}  // namespace codecs_test
