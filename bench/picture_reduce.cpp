// Peak memory and time of loading a 30000 x 30000 PNG under a 16384 texture
// limit (reduced while decoded), against decoding it whole, each in a child
// process of its own so that ru_maxrss is the load's own peak; then the
// whole of Polyvane (the program built beside this one) with the picture as
// the texture of its scene's floor, against Polyvane with an empty scene.
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/read_channel.h"
#include "gfx2d/picture.h"

namespace {

constexpr int kSide = 30000;
constexpr int32_t kTextureLimit = 16384;

// One colour, written row by row: the file is small, the picture is not.
bool WriteBigPng(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(kSide) * 3);
  for (int x = 0; x < kSide; ++x) {
    row[x * 3] = 200;
    row[x * 3 + 1] = 30;
    row[x * 3 + 2] = 60;
  }
  for (int y = 0; y < kSide; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// Decodes in a child (the PNG reader a sprite load uses); prints the kept size, seconds and peak resident memory.
void Measure(const char* label, const std::string& path, int32_t maxSide) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    const auto start = std::chrono::steady_clock::now();
    Picture picture;
    DecodeLimits limits;
    limits.maxSide = maxSide;
    ReadChannel channel;
    bool ok = OpenReadChannel(channel, path.c_str());
    ok = ok && ReadPNG(picture, channel, -1, path.c_str(), &limits);
    CloseChannel(channel);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // CPU time besides wall time: on a shared machine the wall clock says
    // more about the neighbours than about the decoder.
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                       usage.ru_stime.tv_usec / 1e6;
    std::printf("%-22s %s %5d x %-5d wall %6.2f s  cpu %6.2f s  peak %7.1f MiB (%s)\n", label,
                ok ? "kept" : "FAILED", picture.width, picture.height, seconds, cpu, usage.ru_maxrss / 1024.0,
                PictureFaultText(limits.fault));
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

// Runs Polyvane for three frames offscreen in folder (which holds test.pvs
// and media/); prints wall and processor seconds and the peak of the whole
// process.
void MeasureProgram(const char* label, const std::filesystem::path& program, const std::filesystem::path& folder) {
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    std::filesystem::create_directories(folder / "tmp");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("TMPDIR", (folder / "tmp").c_str(), 1);
    unsetenv("DISPLAY");
    if (chdir(folder.c_str()) != 0) _exit(127);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execl(program.c_str(), program.c_str(), "--frames", "3", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
  std::printf("%-22s %s wall %6.2f s  cpu %6.2f s  peak %7.1f MiB\n", label,
              WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ended" : "FAILED", seconds, cpu,
              usage.ru_maxrss / 1024.0);
}

// Polyvane with the picture on its floor, and with nothing, side by side.
void MeasurePolyvane(const std::string& picture, const char* self) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path program = fs::canonical(self, error).parent_path().parent_path() / "polyvane";
  if (!fs::exists(program)) {
    std::printf("(no %s: Polyvane not measured)\n", program.c_str());
    return;
  }
  const fs::path folder = fs::temp_directory_path() / "velmora-bench-polyvane";
  fs::remove_all(folder, error);
  fs::create_directories(folder / "media");
  // The program reads its scene from its own folder.
  fs::copy_file(program, folder / "polyvane");
  // One floor, 60 units wide, below the camera's target, textured with the
  // first texture (the 17 numbers of an object: type, an unused one,
  // rotation, scale, position, colour, texture, tiling).
  const std::string floor = "5\n0\n0\n0\n0\n30\n1\n30\n0\n-2\n0\n255\n255\n255\n1\n1\n1\n";
  std::ofstream(folder / "test.pvs") << "0\n1\n" << floor;
  MeasureProgram("Polyvane, no texture", folder / "polyvane", folder);
  fs::create_hard_link(picture, folder / "media" / "huge.png", error);
  if (error) fs::copy_file(picture, folder / "media" / "huge.png");
  std::ofstream(folder / "test.pvs") << "1\nhuge.png\n1\n" << floor;
  MeasureProgram("Polyvane, the texture", folder / "polyvane", folder);
  std::printf("  (the mip-mapped companion of a 16384 x 16384 texture alone: %.1f MiB)\n",
              16384.0 * 16384.0 * 4.0 * 4.0 / 3.0 / (1024.0 * 1024.0));
  fs::remove_all(folder, error);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/tmp/velmora-bench-30000.png";
  if (!WriteBigPng(path)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s: %d x %d PNG\n", path.c_str(), kSide, kSide);
  Measure("reduced to the limit", path, kTextureLimit);
  // The whole picture: 3.6 GB; skipped with "--reduced-only".
  if (argc <= 2) Measure("whole (no limit)", path, kMaxPictureSide);
  MeasurePolyvane(path, argv[0]);
  std::remove(path.c_str());
  return 0;
}
