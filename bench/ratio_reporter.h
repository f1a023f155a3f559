// The ratios the benchmark programs print: each benchmark's CPU time per
// iteration (or its manual time) is kept as it is reported, and Ratio prints one time over
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
    // A benchmark that measures its own time (a child process's processor
    // time, say) reports it as its real time.
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const bool manual = name.size() >= 12 && name.compare(name.size() - 12, 12, "/manual_time") == 0;
      times_[name] = manual ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
    }
  }
  // The kept time of a benchmark (in its unit), or -1 when it did not run.
  double Time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? -1.0 : it->second;
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
