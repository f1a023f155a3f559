// The run log's side for the runtime: formatted lines, its path and its
// removal at start-up. The log itself, and WriteLog, are described in
// core/core.h.
#pragma once

#include <string>

// printf-style convenience over WriteLog (core/core.h).
void WriteLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The full path of the run log.
std::string RunLogPath();
// Deletes the run log (or a folder that took its name).
void DeleteRunLog();
