// The BASIC translator's speed: a generated program of 100,000 lines (a main
// program and routines shaped like Polyvane's) translated from a file, against
// the baseline of only reading that file. Prints the time per translation (the
// target is under a second) and the ratios; the command-line tool is timed
// by the processor time it takes, as a build runs it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ratio_reporter.h"
#include "tool_bench.h"
#include "vlmc.h"

namespace {

constexpr int kLines = 100000;

const std::string& ProgramFile() {
  static const std::string path = [] {
    const std::string file = (std::filesystem::temp_directory_path() / "vlmc_speed.bas").string();
    std::ofstream(file, std::ios::binary) << tool_bench::SpeedModuleText(kLines);
    return file;
  }();
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void BM_ReadFile(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = ReadFile(ProgramFile());
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);

void BM_Translate(benchmark::State& state) {
  vlmc::Options options;
  options.program = "speed";
  for (auto _ : state) {
    const vlmc::Result result = vlmc::Translate({{ProgramFile(), ReadFile(ProgramFile())}}, options);
    if (!result.ok) {
      state.SkipWithError(result.diagnostics.substr(0, 200).c_str());
      break;
    }
    benchmark::DoNotOptimize(result.files.data());
  }
}
// First the run of a fresh process (its heap not yet touched), then runs after
// a warm-up, as a long-lived caller (the build of many programs) sees them.
BENCHMARK(BM_Translate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Translate)->Name("BM_TranslateWarm")->MinWarmUpTime(2)->MinTime(2)->Unit(benchmark::kMillisecond);

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The command a build runs, from start to the files written: its processor
// time (user and system), which other load on the machine does not inflate.
void BM_Command(benchmark::State& state) {
  const std::string out = (std::filesystem::temp_directory_path() / "vlmc_speed_out").string();
  std::filesystem::create_directories(out);
  const std::string command =
      std::string(VLMC_PATH) + " --program speed --out " + out + " " + ProgramFile() + " 2>/dev/null";
  for (auto _ : state) {
    const double before = ChildrenCpuSeconds();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("vlmc failed");
      break;
    }
    state.SetIterationTime(ChildrenCpuSeconds() - before);
  }
  std::filesystem::remove_all(out);
}
BENCHMARK(BM_Command)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("Translating %d lines, against reading the file:\n", kLines);
  reporter.Ratio("translate (first run) / read", "BM_Translate", "BM_ReadFile");
  reporter.Ratio("translate (warm) / read", "BM_TranslateWarm/min_time:2.000/min_warmup_time:2.000", "BM_ReadFile");
  reporter.Ratio("vlmc command (processor time) / read", "BM_Command/iterations:3/manual_time", "BM_ReadFile");
  std::printf("vlmc command: %.0f ms of processor time for %d lines (target: under 1000 ms)\n",
              reporter.Time("BM_Command/iterations:3/manual_time"), kLines);
  std::remove(ProgramFile().c_str());
  benchmark::Shutdown();
  return 0;
}
