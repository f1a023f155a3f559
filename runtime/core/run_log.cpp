#include "core/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/platform.h"

std::string RunLogPath() { return platform::TempFolder() + "ErrorLog.txt"; }

void DeleteRunLog() {
  std::error_code ec;
  const std::filesystem::path path(RunLogPath());
  if (std::filesystem::is_directory(path, ec))
    std::filesystem::remove_all(path, ec);
  else
    std::filesystem::remove(path, ec);
}

void WriteLog(const char* text) {
  if (text == nullptr) text = "NULL";
  const std::string path = RunLogPath();
  for (int attempt = 0; attempt < 5; ++attempt) {
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) continue;
    const size_t length = std::strlen(text);
    if (length > 0) std::fwrite(text, 1, length, file);
    std::fclose(file);
    return;
  }
}

void WriteLogF(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  WriteLog(buffer);
}
