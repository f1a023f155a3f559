// The run log's side for the runtime: formatted lines, its path and its
// removal at start-up. The log itself, and WriteLog, are described in
// core/core.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// printf-style convenience over WriteLog (core/core.h).
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The full path of the run log.
std::string RunLogPath();
// Deletes the run log (or a folder that took its name).
void DeleteRunLog();

// A kind of run-log line that may come once per message or per peer, so
// that a flood of them would flood the log: the first occurrence is written,
// later ones are only counted until intervalMs have passed since the last
// line of the kind was written; the next occurrence after that is written
// again, preceded by a count line "<kind>: <n> more like this left out".
// Flush writes the count of those not yet told (a session's end, say).
// Not locked: its owner serialises the calls.
class RepeatedLogLine {
 public:
  explicit RepeatedLogLine(std::string kind, int64_t intervalMs = 60000)
      : kind_(std::move(kind)), intervalMs_(intervalMs) {}

  // One occurrence at nowMs (any steady millisecond count): appends to *out
  // the lines the log is to get now (none, the line, or a count line and the line).
  void Occur(const std::string& line, int64_t nowMs, std::vector<std::string>* out);
  // The count line of the occurrences left out since the last line written,
  // if there are any; the next occurrence is written again.
  void Flush(std::vector<std::string>* out);
  // Every occurrence since construction, written or not.
  uint64_t Occurrences() const { return occurrences_; }

  // As Occur and Flush with the steady clock, writing the lines to the log at once.
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void FlushToLog();

 private:
  std::string kind_;
  int64_t intervalMs_;
  uint64_t occurrences_ = 0;
  uint64_t leftOut_ = 0;
  bool written_ = false;  // a line of the kind was written and the interval runs from lastMs_
  int64_t lastMs_ = 0;
};
