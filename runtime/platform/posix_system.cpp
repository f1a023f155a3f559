// Clock, paths, command line, the debugger check and process exit (POSIX).
#include <limits.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

uint64_t (*g_counterOverride)() = nullptr;
uint64_t g_overrideFrequency = 0;
std::string g_commandLine;

}  // namespace

// ---------------------------------------------------------------- clock

uint64_t CounterNow() {
  if (g_counterOverride != nullptr) return g_counterOverride();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t CounterFrequency() {
  return g_counterOverride != nullptr ? g_overrideFrequency : 1000000000ull;
}

void SetCounterOverride(uint64_t (*now)(), uint64_t frequency) {
  g_counterOverride = now;
  g_overrideFrequency = frequency;
}

void SleepMs(int ms) {
  if (ms <= 0) return;
  timespec wait{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

// ---------------------------------------------------------------- paths

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (length <= 0) return {};
  buffer[length] = '\0';
  return buffer;
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp/";
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool ChangeDirectory(const char* path) { return path != nullptr && chdir(path) == 0; }

std::string CurrentDirectory() {
  char buffer[PATH_MAX + 1];
  if (getcwd(buffer, sizeof buffer) == nullptr) return {};
  return buffer;
}

void SetCommandLine(int argc, char** argv) {
  g_commandLine.clear();
  for (int i = 0; i < argc; ++i) {
    if (i > 0) g_commandLine += ' ';
    const bool quote = std::strpbrk(argv[i], " \t") != nullptr;
    if (quote) g_commandLine += '"';
    g_commandLine += argv[i];
    if (quote) g_commandLine += '"';
  }
}

std::string CommandLine() { return g_commandLine; }

// ---------------------------------------------------------------- debugger

namespace {

bool ReadTracerPid() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  char line[256];
  bool traced = false;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      traced = std::atoi(line + 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return traced;
}

}  // namespace

bool DebuggerAttached() {
  // Called before every statement of a debug build: the answer is cached and
  // the coarse clock (a vDSO memory read) decides when to look again.
  static bool attached = false;
  static int64_t nextCheckMs = INT64_MIN;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  const int64_t nowMs = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  if (nowMs >= nextCheckMs) {
    attached = ReadTracerPid();
    nextCheckMs = nowMs + 100;
  }
  return attached;
}

// ---------------------------------------------------------------- process

void ExitProcess(int code) {
  std::fflush(nullptr);
  std::exit(code);
}

int ProcessId() { return static_cast<int>(getpid()); }

}  // namespace platform
