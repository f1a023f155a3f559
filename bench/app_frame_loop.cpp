// Polyvane's frame loop (both passes, stencil shadows on) offscreen at
// 1024 x 768 with an unlimited frame rate, on the shipped scene and on two
// generated ones: a floor of 100 x 1 x 100 with 10 and with 300 objects
// (types 1-4 in turn) spread within +-100 units. The baseline is the same
// loop over an empty scene, measured in the same run; "x base" compares the
// mean frame times. llvmpipe rasterizes behind the program's back and makes
// it wait now and then (for seconds, at times), so only frames over wall
// time tell the rate; the worst single frame is shown besides.
//
//   app_frame_loop [seconds per scene (default 5)] [shipped scene file]
//
// The figures go to standard error: the mesh builder traces every vertex on
// standard output, which is sent to /dev/null here.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/app/app_code.cpp"
#include "gfx3d/internal/engine3d.h"
#include "host/runtime.h"
#include "input/devices.h"
#include "input/input.h"

namespace {

namespace fs = std::filesystem;

struct Figures {
  double framesPerSecond = 0;  // frames over wall time
  double msPerFrame = 0;
  double worstMs = 0;          // the longest single frame
  double cpuShare = 0;        // CPU seconds per wall second (all threads)
  int64_t trianglesBuilt = 0;  // in the objects' triangle lists
  double trianglesDrawn = 0;   // per frame, both passes
  double shadowVolumes = 0;    // per frame
};

// A generated scene: the floor and `count` objects of types 1-4 in turn, at
// random places within +-100 units (positions are multiplied by 5).
std::string GeneratedScene(int count) {
  std::ostringstream text;
  text << "2\ntiles.png\nmarble.png\n" << count + 1 << "\n";
  // type, unused, rotation, scale, position, colour, texture, tile u, v
  text << "5\n0\n0\n0\n0\n100\n1\n100\n0\n-1\n0\n255\n255\n255\n1\n0.05\n0.05\n";
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / 16777216.0;
  };
  for (int k = 0; k < count; ++k) {
    const int type = 1 + k % 4;
    const double x = (next() * 200 - 100) / 5, z = (next() * 200 - 100) / 5;
    text << type << "\n0\n0\n" << (type >= 3 ? 0 : 1) << "\n0\n1\n1\n1\n"
         << x << "\n0\n" << z << "\n"
         << static_cast<int>(next() * 255) << "\n" << static_cast<int>(next() * 255) << "\n200\n"
         << (k % 3 == 0 ? 2 : 0) << "\n1\n1\n";
  }
  return text.str();
}

// The translated main program runs on the scene, stopping at the start of
// each frame (its Begin3D statement): the first stop ends the start-up, 20
// frames warm up, then frames are timed from stop to stop.
Figures Measure(const fs::path& folder, const std::string& scene, double seconds) {
  std::ofstream(folder / "test.pvs", std::ios::binary | std::ios::trunc) << scene;
  Figures figures;
  // The README's view: the mouse at (560, 140), the camera 180 units up.
  const auto placeMouse = [] {
    InputDevices* input = TheInputDevices();
    if (input != nullptr && !input->mice.empty()) {
      input->mice[0].x = 560;
      input->mice[0].y = 140;
    }
  };
  Engine3D& engine = *TheEngine3D();
  // The runtime's clock counts whole milliseconds; frames are shorter.
  const auto now = [] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
  double start = 0, frameStart = 0;
  std::clock_t cpuStart = 0;
  int stops = 0;
  std::vector<double> times;
  BreakpointModules[0] = 0;
  BreakpointLines[0] = app_test::MainStatement("Begin3D(");
  TheDebugState.breakpointCount = 1;
  app_test::RunMainProgram([&] {
    ++stops;
    if (stops == 1) {
      for (int32_t id = 1; id <= static_cast<int32_t>(polyvane::nm); ++id) {
        MeshSlot* slot = MeshSlotAt(id);
        if (slot != nullptr && slot->valid && slot->meshes.count() > 0)
          figures.trianglesBuilt += slot->meshes[0].frames[0].triangles.count() / 3;
      }
    } else if (stops == 21) {
      engine.stats = DrawStatistics();
      start = now();
      cpuStart = std::clock();
    } else if (stops > 21) {
      times.push_back(now() - frameStart);
      if (now() - start >= seconds * 1000.0) return true;
    }
    placeMouse();
    frameStart = now();
    return false;
  });
  TheDebugState.breakpointCount = 0;
  const int frames = static_cast<int>(times.size());
  const double wallMs = now() - start;
  figures.worstMs = *std::max_element(times.begin(), times.end());
  figures.framesPerSecond = frames / (wallMs / 1000.0);
  figures.msPerFrame = wallMs / frames;
  figures.cpuShare = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC / (wallMs / 1000.0);
  figures.trianglesDrawn = static_cast<double>(engine.stats.trianglesDrawn) / frames;
  figures.shadowVolumes = static_cast<double>(engine.stats.shadowVolumes) / frames;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  // The source tree holds the shipped scene and its media. Its path comes
  // from the build: a compiler cache may compile this file by a relative name.
  const std::string source = VELMORA_SOURCE_DIR;
  const std::string shippedFile = argc > 2 ? argv[2] : source + "/data/test.pvs";
  std::ifstream shippedIn(shippedFile, std::ios::binary);
  std::ostringstream shipped;
  shipped << shippedIn.rdbuf();

  const fs::path folder = fs::temp_directory_path() / "polyvane-bench";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder);
  fs::copy(source + "/data/media", folder / "media", fs::copy_options::recursive, ec);
  setenv("TMPDIR", (folder.string() + "/").c_str(), 1);
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;

  polyvane::settings();
  ProjectSettings& s = Settings();
  s.ScreenWidth = 1024;  // the program's own size from the start
  s.ScreenHeight = 768;
  if (!StartRuntime(10, s.AppTitle.c_str())) {
    std::fprintf(stderr, "no GL window\n");
    return 1;
  }
  ClearLastError();
  polyvane::globalSetup();
  // Start-up made the executable's folder current; the scenes live here.
  fs::current_path(folder);

  std::fprintf(stderr, "Polyvane frame loop, 1024 x 768, unlimited rate, %.1f s per scene, video driver %s\n",
               seconds, platform::VideoDriverName());
  struct Case {
    const char* name;
    std::string scene;
  };
  const Case cases[] = {
      {"empty scene (baseline)", "0\n0\n"},
      {"shipped scene", shipped.str()},
      {"floor + 10 objects", GeneratedScene(10)},
      {"floor + 300 objects", GeneratedScene(300)},
  };
  double baselineMs = 0;
  std::fprintf(stderr, "%-24s %9s %9s %9s %9s %10s %11s %8s %5s\n", "scene", "frames/s", "ms/frame", "x base",
               "worst ms", "triangles", "drawn/frame", "volumes", "CPU");
  for (const Case& c : cases) {
    const Figures f = Measure(folder, c.scene, seconds);
    if (baselineMs == 0) baselineMs = f.msPerFrame;
    std::fprintf(stderr, "%-24s %9.1f %9.2f %9.2f %9.0f %10lld %11.0f %8.0f %4.0f%%\n", c.name, f.framesPerSecond,
                 f.msPerFrame, f.msPerFrame / baselineMs, f.worstMs, static_cast<long long>(f.trianglesBuilt),
                 f.trianglesDrawn, f.shadowVolumes, f.cpuShare * 100);
  }
  std::fflush(stderr);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(folder, ec);
  std::_Exit(0);  // skip END: nothing to report, and the GL teardown is not measured
}
