// Arrays that grow an element at a time: ArrayAppend of numbers and of records
// holding text, from 1,000 to 10,000,000 elements, against std::vector's
// push_back, and the preserving re-dimension by one element that a program
// had to use before.
//
// Prints Google Benchmark's table, then from CPU times of this same run:
//   time(10 n) / time(n)          ten times the appends: 10 is linear
//                                 (amortised constant time per append)
//   ArrayAppend / push_back       1.0 = as fast
//   RedimPreserve by one, time(2n) / time(n)   about 4: quadratic
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "ratio_reporter.h"

namespace {

// A record as the translator declares a TYPE with a number and a text.
struct Item {
  Number value;
  BasicString name_Str;
};

void ArrayAppendNumbers(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    BasicArray<Number> a;
    for (int64_t i = 0; i < n; ++i) ArrayAppend(a, static_cast<Number>(i));
    benchmark::DoNotOptimize(a.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void VectorPushBackNumbers(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    std::vector<double> v;
    for (int64_t i = 0; i < n; ++i) v.push_back(static_cast<double>(i));
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void ArrayAppendRecords(benchmark::State& state) {
  const int64_t n = state.range(0);
  Item item{1.5, "an item"};
  for (auto _ : state) {
    BasicArray<Item> a;
    for (int64_t i = 0; i < n; ++i) ArrayAppend(a, item);
    benchmark::DoNotOptimize(a.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void VectorPushBackRecords(benchmark::State& state) {
  const int64_t n = state.range(0);
  Item item{1.5, "an item"};
  for (auto _ : state) {
    std::vector<Item> v;
    for (int64_t i = 0; i < n; ++i) v.push_back(item);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// REDIM PRESERVE a(n + 1): a new block and a copy of every element each time.
void RedimPreserveByOne(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    BasicArray<Number> a;
    for (int64_t i = 0; i < n; ++i) {
      RedimPreserve(a, static_cast<int32_t>(i + 1));
      ArrayElement(a, static_cast<int32_t>(i)) = static_cast<Number>(i);
    }
    benchmark::DoNotOptimize(a.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(ArrayAppendNumbers)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorPushBackNumbers)->RangeMultiplier(10)->Range(1000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ArrayAppendRecords)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorPushBackRecords)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RedimPreserveByOne)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto size = [](int64_t n) {
    return n >= 1000000 ? std::to_string(n / 1000000) + "M" : std::to_string(n / 1000) + "k";
  };
  const auto scaling = [&](const char* kind, const char* name, int64_t from, int64_t to) {
    for (int64_t n = from; n < to; n *= 10) {
      const std::string label = std::string(kind) + ", " + size(n) + " -> " + size(10 * n);
      reporter.Ratio(label.c_str(), std::string(name) + "/" + std::to_string(10 * n),
                     std::string(name) + "/" + std::to_string(n));
    }
  };
  std::printf("\nTen times the appends (same run), time(10 n) / time(n):\n");
  scaling("ArrayAppend, numbers", "ArrayAppendNumbers", 1000, 10000000);
  scaling("push_back, numbers", "VectorPushBackNumbers", 1000, 10000000);
  scaling("ArrayAppend, records", "ArrayAppendRecords", 1000, 1000000);
  scaling("push_back, records", "VectorPushBackRecords", 1000, 1000000);
  std::printf("\nArrayAppend / push_back (same run):\n");
  reporter.Ratio("10 M numbers", "ArrayAppendNumbers/10000000", "VectorPushBackNumbers/10000000");
  reporter.Ratio("1 M records", "ArrayAppendRecords/1000000", "VectorPushBackRecords/1000000");
  std::printf("\nREDIM PRESERVE by one element (same run):\n");
  reporter.Ratio("time(10 k) / time(5 k)", "RedimPreserveByOne/10000", "RedimPreserveByOne/5000");
  reporter.Ratio("time(20 k) / time(10 k)", "RedimPreserveByOne/20000", "RedimPreserveByOne/10000");
  reporter.Ratio("10 k elements: RedimPreserve by one / ArrayAppend", "RedimPreserveByOne/10000",
                 "ArrayAppendNumbers/10000");
  benchmark::Shutdown();
  return 0;
}
