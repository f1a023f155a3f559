// The run log "ErrorLog.txt" in the temporary folder: restart and appending lines.
#include "core/run_log.h"

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
