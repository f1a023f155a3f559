// BasicString appends and concatenation against std::string doing the same,
// and the cost of the plain step-16 growth rule for long texts.
//
// Prints Google Benchmark's table, then ratios of CPU times measured in this
// same run (CPU time: the machine may be shared with other work):
//   BasicString / std::string  (1.0 = as fast; larger = slower)
//   time(2n) / time(n)          (about 2 for linear growth, 4 for quadratic)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "core/core.h"
#include "ratio_reporter.h"

namespace {

// A text buffer that grows by the step-16 rule alone (new block, copy, free
// the old one), as a reference for what the runtime's geometric growth of
// long texts avoids.
class Step16Text {
 public:
  ~Step16Text() { std::free(data_); }
  void Append(char c) {
    if (length_ + 2 > capacity_) {
      const uint32_t capacity = ((length_ + 2) & ~15u) + 16;
      char* block = static_cast<char*>(std::malloc(capacity));
      if (data_ != nullptr) std::memcpy(block, data_, length_ + 1);
      std::free(data_);
      data_ = block;
      capacity_ = capacity;
    }
    data_[length_++] = c;
    data_[length_] = 0;
  }
  uint32_t Length() const { return length_; }

 private:
  char* data_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t length_ = 0;
};

void BasicStringAppendChar(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    BasicString s;
    for (int64_t i = 0; i < n; ++i) s += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(s.c_str());
  }
}

void StdStringAppendChar(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    std::string s;
    for (int64_t i = 0; i < n; ++i) s += static_cast<char>('a' + (i & 15));
    benchmark::DoNotOptimize(s.data());
  }
}

void Step16AppendChar(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    Step16Text s;
    for (int64_t i = 0; i < n; ++i) s.Append(static_cast<char>('a' + (i & 15)));
    benchmark::DoNotOptimize(s.Length());
  }
}

// s += piece, 100000 times a 12-byte piece.
void BasicStringAppendPieces(benchmark::State& state) {
  const BasicString piece("piece of txt");
  for (auto _ : state) {
    BasicString s;
    for (int i = 0; i < 100000; ++i) s += piece;
    benchmark::DoNotOptimize(s.c_str());
  }
}

void StdStringAppendPieces(benchmark::State& state) {
  const std::string piece("piece of txt");
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < 100000; ++i) s += piece;
    benchmark::DoNotOptimize(s.data());
  }
}

// A typical statement: name + ": " + number text + "!" (short strings).
void BasicStringConcatenate(benchmark::State& state) {
  const BasicString name("Polyvane");
  int32_t k = 0;
  for (auto _ : state) {
    BasicString r = name + ": " + (k++ & 1023) + "!";
    benchmark::DoNotOptimize(r.c_str());
  }
}

void StdStringConcatenate(benchmark::State& state) {
  const std::string name("Polyvane");
  int32_t k = 0;
  for (auto _ : state) {
    std::string r = name + ": " + std::to_string(k++ & 1023) + "!";
    benchmark::DoNotOptimize(r.data());
  }
}

// Two long texts joined, as a file is assembled from parts.
void BasicStringConcatenateLong(benchmark::State& state) {
  const BasicString a(std::string(5000, 'a').c_str());
  const BasicString b(std::string(7000, 'b').c_str());
  for (auto _ : state) {
    BasicString r = a + b;
    benchmark::DoNotOptimize(r.c_str());
  }
}

void StdStringConcatenateLong(benchmark::State& state) {
  const std::string a(5000, 'a');
  const std::string b(7000, 'b');
  for (auto _ : state) {
    std::string r = a + b;
    benchmark::DoNotOptimize(r.data());
  }
}

BENCHMARK(BasicStringAppendChar)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppendChar)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Step16AppendChar)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BasicStringAppendPieces)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppendPieces)->Unit(benchmark::kMicrosecond);
BENCHMARK(BasicStringConcatenate)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringConcatenate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BasicStringConcatenateLong)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringConcatenateLong)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  reporter.Ratio("append 1M chars: BasicString / std::string", "BasicStringAppendChar/1000000",
                 "StdStringAppendChar/1000000");
  reporter.Ratio("append 1M chars: step-16 rule / std::string", "Step16AppendChar/1000000",
                 "StdStringAppendChar/1000000");
  reporter.Ratio("append 100k pieces: BasicString / std::string", "BasicStringAppendPieces",
                 "StdStringAppendPieces");
  reporter.Ratio("short concatenation: BasicString / std::string", "BasicStringConcatenate",
                 "StdStringConcatenate");
  reporter.Ratio("long concatenation: BasicString / std::string", "BasicStringConcatenateLong",
                 "StdStringConcatenateLong");
  reporter.Ratio("BasicString appends, time(1M) / time(500k)", "BasicStringAppendChar/1000000",
                 "BasicStringAppendChar/500000");
  reporter.Ratio("BasicString appends, time(500k) / time(250k)", "BasicStringAppendChar/500000",
                 "BasicStringAppendChar/250000");
  reporter.Ratio("step-16 rule, time(1M) / time(500k)", "Step16AppendChar/1000000",
                 "Step16AppendChar/500000");
  reporter.Ratio("step-16 rule, time(500k) / time(250k)", "Step16AppendChar/500000",
                 "Step16AppendChar/250000");
  benchmark::Shutdown();
  return 0;
}
