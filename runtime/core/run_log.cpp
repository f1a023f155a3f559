// The run log "ErrorLog.txt" in the temporary folder: restart, appending lines and the count of repeated ones.
#include "core/run_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "platform/platform.h"

std::string RunLogPath() { return platform::TempFolder() + "ErrorLog.txt"; }

void DeleteRunLog() {
  // A folder of that name goes with everything in it.
  platform::RemoveTree(RunLogPath().c_str());
}

void WriteLog(const char* text) {
  if (text == nullptr) text = "NULL";
  const std::string path = RunLogPath();
  const int64_t length = static_cast<int64_t>(std::strlen(text));
  for (int attempt = 0; attempt < 5; ++attempt)
    if (platform::AppendToFile(path.c_str(), text, length)) return;
}

void WriteLogF(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  WriteLog(buffer);
}

// ---------------------------------------------------------------- repeated lines

void RepeatedLogLine::Occur(const std::string& line, int64_t nowMs, std::vector<std::string>* out) {
  ++occurrences_;
  if (written_ && nowMs - lastMs_ < intervalMs_) {
    ++leftOut_;
    return;
  }
  Flush(out);
  out->push_back(line);
  written_ = true;
  lastMs_ = nowMs;
}

void RepeatedLogLine::Flush(std::vector<std::string>* out) {
  if (leftOut_ > 0) {
    char count[64];
    std::snprintf(count, sizeof count, ": %llu more like this left out\n", static_cast<unsigned long long>(leftOut_));
    out->push_back(kind_ + count);
  }
  leftOut_ = 0;
  written_ = false;
}

namespace {

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void WriteLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) WriteLog(line.c_str());
}

}  // namespace

void RepeatedLogLine::Write(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  std::vector<std::string> lines;
  Occur(buffer, SteadyMs(), &lines);
  WriteLines(lines);
}

void RepeatedLogLine::FlushToLog() {
  std::vector<std::string> lines;
  Flush(&lines);
  WriteLines(lines);
}
