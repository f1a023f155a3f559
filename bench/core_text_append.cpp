// Text that grows: a translated "a$ = a$ + x" (an in-place append) from 1,000 to
// 10,000,000 characters, against std::string doing the same appends, and the
// copying form "a$ = a$ + x" took before it became an append.
//
// Prints Google Benchmark's table, then from CPU times of this same run:
//   time(10 n) / time(n)        ten times the appends: 10 is linear; the aim
//                               is at most about 12 at every size
//   BasicString / std::string   1.0 = as fast
//   copying form, time(2n)/time(n)   about 4: quadratic, what the append avoids
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/vlmc_support.h"
#include "ratio_reporter.h"

namespace {

constexpr char kPiece[] = "0123456789";  // ten characters per append

// a$ = a$ + piece$, n times, as vlmc writes it.
void BasicStringAppend(benchmark::State& state) {
  const int64_t n = state.range(0);
  const BasicString piece(kPiece);
  for (auto _ : state) {
    BasicString text;
    for (int64_t i = 0; i < n; ++i) VlmAppend(text, piece);
    benchmark::DoNotOptimize(text.c_str());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StdStringAppend(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::string piece(kPiece);
  for (auto _ : state) {
    std::string text;
    for (int64_t i = 0; i < n; ++i) text += piece;
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// a$ = a$ + CHR$(c): one character at a time.
void BasicStringAppendChar(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    BasicString text;
    for (int64_t i = 0; i < n; ++i) text += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(text.c_str());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StdStringAppendChar(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    std::string text;
    for (int64_t i = 0; i < n; ++i) text += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// The copying form: every statement builds a new text of the whole length.
void BasicStringCopyingForm(benchmark::State& state) {
  const int64_t n = state.range(0);
  const BasicString piece(kPiece);
  for (auto _ : state) {
    BasicString text;
    for (int64_t i = 0; i < n; ++i) text = text + piece;
    benchmark::DoNotOptimize(text.c_str());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// Pieces: 1,000 to 1,000,000 appends (10 k to 10 M characters); characters:
// 10,000 to 10,000,000 appends.
BENCHMARK(BasicStringAppend)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppend)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BasicStringAppendChar)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppendChar)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BasicStringCopyingForm)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nTen times the appends (same run), time(10 n) / time(n):\n");
  const auto scaling = [&](const char* kind, const char* name, int64_t from, int64_t to, int64_t chars) {
    for (int64_t n = from; n < to; n *= 10) {
      const auto size = [](int64_t c) {
        return c >= 1000000 ? std::to_string(c / 1000000) + "M" : std::to_string(c / 1000) + "k";
      };
      char label[96];
      std::snprintf(label, sizeof label, "%s, %s -> %s chars", kind, size(n * chars).c_str(),
                    size(10 * n * chars).c_str());
      reporter.Ratio(label, std::string(name) + "/" + std::to_string(10 * n),
                     std::string(name) + "/" + std::to_string(n));
    }
  };
  scaling("BasicString, 10-char pieces", "BasicStringAppend", 1000, 1000000, 10);
  scaling("std::string, 10-char pieces", "StdStringAppend", 1000, 1000000, 10);
  scaling("BasicString, characters", "BasicStringAppendChar", 10000, 10000000, 1);
  scaling("std::string, characters", "StdStringAppendChar", 10000, 10000000, 1);
  std::printf("\nBasicString / std::string (same run):\n");
  reporter.Ratio("10 M chars in 10-char pieces", "BasicStringAppend/1000000", "StdStringAppend/1000000");
  reporter.Ratio("10 M chars one at a time", "BasicStringAppendChar/10000000", "StdStringAppendChar/10000000");
  std::printf("\nThe copying form a$ = a$ + x (same run):\n");
  reporter.Ratio("time(100 k chars) / time(50 k chars)", "BasicStringCopyingForm/10000",
                 "BasicStringCopyingForm/5000");
  reporter.Ratio("time(200 k chars) / time(100 k chars)", "BasicStringCopyingForm/20000",
                 "BasicStringCopyingForm/10000");
  reporter.Ratio("100 k chars: copying form / append", "BasicStringCopyingForm/10000",
                 "BasicStringAppend/10000");
  benchmark::Shutdown();
  return 0;
}
