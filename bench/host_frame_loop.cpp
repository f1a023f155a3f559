// The empty frame loop: how many frames ShowScreen presents per second and
// what CPU time the pacing costs, at an unlimited rate (capped at 500 by the
// 2 ms frame period) and at 60 frames per second. Runs offscreen.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/core.h"
#include "core/settings.h"
#include "host/host.h"
#include "host/runtime.h"

namespace {

struct Figures {
  double framesPerSecond;
  double cpuShare;  // CPU seconds per wall second
};

Figures Measure(double rate, double seconds) {
  SetFrameRate(rate);
  // Settle the deadline onto the new period first.
  for (int i = 0; i < 10; ++i) ShowScreen();
  const double start = GetMilliseconds();
  const std::clock_t cpuStart = std::clock();
  int frames = 0;
  while (GetMilliseconds() - start < seconds * 1000.0) {
    ShowScreen();
    ++frames;
  }
  const double wall = (GetMilliseconds() - start) / 1000.0;
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return {frames / wall, cpu / wall};
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FrameRate = -1;
  s.DebugMode = 0;
  s.HideMouse = 0;
  if (!StartRuntime(10, "frame loop")) {
    std::fprintf(stderr, "no GL window\n");
    return 1;
  }
  ClearLastError();
  std::printf("Empty frame loop, %.1f s per rate, video driver %s\n", seconds, platform::VideoDriverName());
  const Figures unlimited = Measure(-1, seconds);
  std::printf("unlimited: %7.1f frames/s (cap 500: %s), CPU %.0f%% of one core\n", unlimited.framesPerSecond,
              unlimited.framesPerSecond <= 500.5 ? "held" : "EXCEEDED", unlimited.cpuShare * 100);
  const Figures sixty = Measure(60, seconds);
  const double error = (sixty.framesPerSecond - 60.0) / 60.0 * 100.0;
  std::printf("60 fps:    %7.2f frames/s (%+.2f%% of 60: %s), CPU %.0f%% of one core\n", sixty.framesPerSecond,
              error, error > -1.0 && error < 1.0 ? "within 1%" : "OFF", sixty.cpuShare * 100);
  std::printf("ratio unlimited / 60 fps: %.2f\n", unlimited.framesPerSecond / sixty.framesPerSecond);
  return 0;
}
