// Checked array reads (ArrayElement) against a plain std::vector<double>
// loop over the same number of elements.
//
// Prints Google Benchmark's table, then ratios of CPU times measured in this
// same run (CPU time: the machine may be shared with other work):
// ArrayElement / std::vector (1.0 = as fast; larger = slower).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/core.h"
#include "ratio_reporter.h"

namespace {

constexpr int32_t kCount = 1 << 20;

void ArrayElementReads(benchmark::State& state) {
  BasicArray<Number> a;
  DimArray(a, kCount);
  for (int32_t i = 0; i < kCount; ++i) ArrayElement(a, i) = i * 0.5;
  for (auto _ : state) {
    double sum = 0;
    for (int32_t i = 0; i < kCount; ++i) sum += ArrayElement(a, i);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void VectorReads(benchmark::State& state) {
  std::vector<double> v(kCount);
  for (int32_t i = 0; i < kCount; ++i) v[i] = i * 0.5;
  for (auto _ : state) {
    double sum = 0;
    for (int32_t i = 0; i < kCount; ++i) sum += v[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

// The same elements as a 1024 x 1024 array, read row by row.
void ArrayElementReads2D(benchmark::State& state) {
  BasicArray<Number> a;
  DimArray(a, 1024, 1024);
  for (int32_t y = 0; y < 1024; ++y)
    for (int32_t x = 0; x < 1024; ++x) ArrayElement(a, x, y) = x + y;
  for (auto _ : state) {
    double sum = 0;
    for (int32_t y = 0; y < 1024; ++y)
      for (int32_t x = 0; x < 1024; ++x) sum += ArrayElement(a, x, y);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void VectorReads2D(benchmark::State& state) {
  std::vector<double> v(kCount);
  for (int32_t y = 0; y < 1024; ++y)
    for (int32_t x = 0; x < 1024; ++x) v[x + 1024 * y] = x + y;
  for (auto _ : state) {
    double sum = 0;
    for (int32_t y = 0; y < 1024; ++y)
      for (int32_t x = 0; x < 1024; ++x) sum += v[x + 1024 * static_cast<size_t>(y)];
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}

// Reads at scattered positions, where the check cannot be hoisted.
void ArrayElementScattered(benchmark::State& state) {
  BasicArray<Number> a;
  DimArray(a, kCount);
  std::vector<int32_t> order(kCount);
  for (int32_t i = 0; i < kCount; ++i) order[i] = static_cast<int32_t>((i * 2654435761u) % kCount);
  for (auto _ : state) {
    double sum = 0;
    for (int32_t i : order) sum += ArrayElement(a, i);
    benchmark::DoNotOptimize(sum);
  }
}

void VectorScattered(benchmark::State& state) {
  std::vector<double> v(kCount);
  std::vector<int32_t> order(kCount);
  for (int32_t i = 0; i < kCount; ++i) order[i] = static_cast<int32_t>((i * 2654435761u) % kCount);
  for (auto _ : state) {
    double sum = 0;
    for (int32_t i : order) sum += v[i];
    benchmark::DoNotOptimize(sum);
  }
}

BENCHMARK(ArrayElementReads)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorReads)->Unit(benchmark::kMicrosecond);
BENCHMARK(ArrayElementReads2D)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorReads2D)->Unit(benchmark::kMicrosecond);
BENCHMARK(ArrayElementScattered)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorScattered)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  reporter.Ratio("1-D reads: ArrayElement / std::vector", "ArrayElementReads", "VectorReads");
  reporter.Ratio("2-D reads: ArrayElement / std::vector", "ArrayElementReads2D", "VectorReads2D");
  reporter.Ratio("scattered reads: ArrayElement / std::vector", "ArrayElementScattered",
                 "VectorScattered");
  benchmark::Shutdown();
  return 0;
}
