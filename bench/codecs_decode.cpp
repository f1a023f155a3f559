// Decoding speed of the runtime's PNG and JPEG readers against the simplest
// read loop of libpng and libjpeg on the same 2048 x 2048 files. The runtime
// adds reading through a channel, the RGBA conversion and its checks; the
// ratios printed at the end should stay close to 1.0.
#include <benchmark/benchmark.h>

#include <cstdio>  // before png.h / jpeglib.h

#include <jpeglib.h>
#include <png.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gfx2d/picture.h"
#include "platform/platform.h"

namespace {

constexpr int kSide = 2048;

std::string g_pngPath;
std::string g_jpegPath;

// A picture with smooth areas, edges and some noise, so that both formats
// compress it the way they compress ordinary textures.
bool MakeSourceFiles() {
  Picture picture;
  if (!picture.Resize(kSide, kSide)) return false;
  uint32_t noise = 12345;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>(noise >> 29);  // 0..7
      uint8_t* p = picture.Pixel(x, y);
      const bool tile = ((x / 64) + (y / 64)) % 2 == 0;
      p[0] = static_cast<uint8_t>((x / 8) + grain);
      p[1] = static_cast<uint8_t>(tile ? 200 - grain : (y / 8) + grain);
      p[2] = static_cast<uint8_t>(((x + y) / 16) ^ grain);
      p[3] = static_cast<uint8_t>(tile ? 255 : 128 + (x & 127));
    }
  const std::string folder = platform::TempFolder();
  g_pngPath = folder + "velmora_bench_codecs.png";
  g_jpegPath = folder + "velmora_bench_codecs.jpg";
  return SavePicture(g_pngPath.c_str(), picture) && SavePicture(g_jpegPath.c_str(), picture);
}

long FileSize(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size;
}

void SetRate(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(kSide) * kSide / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadPNG_Runtime(benchmark::State& state) {
  Picture picture;
  for (auto _ : state) {
    if (!ReadPNG(picture, g_pngPath.c_str(), -1)) state.SkipWithError("ReadPNG failed");
    benchmark::DoNotOptimize(picture.pixels);
  }
  SetRate(state);
}

// libpng's plain loop: expand to 8-bit RGBA, read the whole image.
void BM_ReadPNG_Libpng(benchmark::State& state) {
  std::vector<uint8_t> pixels(static_cast<size_t>(kSide) * kSide * 4);
  std::vector<png_bytep> rows(kSide);
  for (int y = 0; y < kSide; ++y) rows[y] = pixels.data() + static_cast<size_t>(y) * kSide * 4;
  for (auto _ : state) {
    FILE* file = std::fopen(g_pngPath.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_read_update_info(png, info);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    benchmark::DoNotOptimize(pixels.data());
  }
  SetRate(state);
}

void BM_ReadJPEG_Runtime(benchmark::State& state) {
  Picture picture;
  for (auto _ : state) {
    if (!ReadJPEG(picture, g_jpegPath.c_str())) state.SkipWithError("ReadJPEG failed");
    benchmark::DoNotOptimize(picture.pixels);
  }
  SetRate(state);
}

// libjpeg's plain loop: stdio source, default RGB output, one row at a time.
void BM_ReadJPEG_Libjpeg(benchmark::State& state) {
  std::vector<uint8_t> pixels(static_cast<size_t>(kSide) * kSide * 3);
  for (auto _ : state) {
    FILE* file = std::fopen(g_jpegPath.c_str(), "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.data() + cinfo.output_scanline * stride;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    benchmark::DoNotOptimize(pixels.data());
  }
  SetRate(state);
}

BENCHMARK(BM_ReadPNG_Runtime)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadPNG_Libpng)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadJPEG_Runtime)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadJPEG_Libjpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Prints the usual table and keeps each benchmark's time per iteration.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        seconds[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        cpuSeconds[run.run_name.function_name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;     // wall clock per iteration
  std::map<std::string, double> cpuSeconds;  // process CPU time per iteration
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!MakeSourceFiles()) {
    std::fprintf(stderr, "could not write the source pictures to %s\n", platform::TempFolder().c_str());
    return 1;
  }
  std::printf("%d x %d picture: PNG %ld bytes, JPEG %ld bytes\n", kSide, kSide, FileSize(g_pngPath),
              FileSize(g_jpegPath));
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::remove(g_pngPath.c_str());
  std::remove(g_jpegPath.c_str());

  std::printf("\nRuntime reader time / library's plain loop time (1.0 = same speed):\n");
  const std::pair<const char*, const char*> pairs[] = {{"BM_ReadPNG_Runtime", "BM_ReadPNG_Libpng"},
                                                       {"BM_ReadJPEG_Runtime", "BM_ReadJPEG_Libjpeg"}};
  for (const auto& [ours, baseline] : pairs) {
    const auto a = reporter.seconds.find(ours), b = reporter.seconds.find(baseline);
    if (a == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) continue;
    const double cpuOurs = reporter.cpuSeconds[ours], cpuBaseline = reporter.cpuSeconds[baseline];
    std::printf("  %-20s wall %8.2f ms vs %8.2f ms  ratio %.3f   cpu ratio %.3f\n", ours, a->second * 1e3,
                b->second * 1e3, a->second / b->second, cpuBaseline > 0 ? cpuOurs / cpuBaseline : 0.0);
  }
  benchmark::Shutdown();
  return 0;
}
