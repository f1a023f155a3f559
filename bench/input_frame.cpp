// The input work every frame does (key snapshot, key-query counter, the
// consuming mouse read) and the queries programs poll, against the plainest
// baseline: copying the 256-byte key state. Also counts heap allocations in
// the per-frame calls, which must stay at zero.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include "core/core.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "host/host.h"
#include "host/runtime.h"
#include "input/devices.h"
#include "input/input.h"
#include "platform/platform.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Counts every allocation of the process. (GCC cannot see that the deletes
// below pair with this new.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void FrameInput() {
  ResetKeyQueryCounter();
  RefreshKeyboard();
  ConsumeMouseMotionForFrame();
}

void BM_Baseline_CopyKeyState(benchmark::State& state) {
  uint8_t keys[256];
  for (auto _ : state) {
    std::memcpy(keys, platform::KeyboardState(), sizeof keys);
    benchmark::DoNotOptimize(keys);
    benchmark::ClobberMemory();
  }
}

void BM_FrameInput(benchmark::State& state) {
  for (auto _ : state) FrameInput();
}

void BM_IsKeyDown256(benchmark::State& state) {
  for (auto _ : state) {
    int down = 0;
    for (int32_t code = 0; code < 256; ++code) down += IsKeyDown(code) ? 1 : 0;
    benchmark::DoNotOptimize(down);
  }
}

void BM_GetMouseState(benchmark::State& state) {
  for (auto _ : state) {
    Number x = 0, y = 0, b1 = 0, b2 = 0;
    GetMouseState(x, y, b1, b2);
    benchmark::DoNotOptimize(x);
  }
}

BENCHMARK(BM_Baseline_CopyKeyState);
BENCHMARK(BM_FrameInput);
BENCHMARK(BM_IsKeyDown256);
BENCHMARK(BM_GetMouseState);

class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        seconds[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;  // per iteration
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  ProjectSettings& s = Settings();
  s.ScreenWidth = 640;
  s.ScreenHeight = 480;
  s.FrameRate = -1;
  s.HideMouse = 1;  // Polyvane's mode: relative motion
  if (!StartRuntime(10, "input bench")) {
    std::fprintf(stderr, "no GL window\n");
    return 1;
  }

  const long before = g_allocations.load();
  for (int i = 0; i < 1000; ++i) {
    FrameInput();
    Number x = 0, y = 0, b1 = 0, b2 = 0;
    GetMouseState(x, y, b1, b2);
  }
  const long allocations = g_allocations.load() - before;

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nheap allocations in 1000 frames of input calls and GetMouseState: %ld\n", allocations);
  const double baseline = reporter.seconds["BM_Baseline_CopyKeyState"];
  if (baseline > 0) {
    std::printf("time / copying the key state (the least a snapshot costs):\n");
    for (const char* name : {"BM_FrameInput", "BM_IsKeyDown256", "BM_GetMouseState"})
      std::printf("  %-18s %8.1f ns  ratio %.1f\n", name, reporter.seconds[name] * 1e9,
                  reporter.seconds[name] / baseline);
  }
  benchmark::Shutdown();
  std::fflush(stdout);
  // END would write the report and exit; a benchmark just leaves.
  platform::ExitProcess(0);
}
