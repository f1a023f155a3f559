// The ratios the benchmark programs print: each benchmark's CPU time per
// iteration is kept as it is reported, and Ratio prints one time over
// another from the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
  }
  // Prints time(slow) / time(base) under label; nothing when either is missing.
  void Ratio(const char* label, const std::string& slow, const std::string& base) const {
    const auto a = times_.find(slow);
    const auto b = times_.find(base);
    if (a == times_.end() || b == times_.end() || b->second <= 0) return;
    std::printf("  %-46s %8.2f\n", label, a->second / b->second);
  }

 private:
  std::map<std::string, double> times_;
};
