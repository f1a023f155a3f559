// Clock, paths, command line, the debugger check, process exit and the
// machine and user facts (POSIX, Linux file locations).
#include <limits.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

uint64_t (*g_counterOverride)() = nullptr;
uint64_t g_overrideFrequency = 0;
std::string g_commandLine;

}  // namespace

// ---------------------------------------------------------------- memory

void PreferLargePages(void* block, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t last = (start + bytes) & ~(kLargePage - 1);
  if (block != nullptr && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

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

// ---------------------------------------------------------------- system facts

namespace {

// The first line of a text file, trailing blanks and control characters
// removed; empty when the file cannot be read.
std::string FirstLine(const std::string& path) {
  std::string text;
  if (!ReadFileStart(path.c_str(), 4096, &text)) return {};
  const size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

std::string TrimmedFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string MachineIdentifier() {
  for (const char* source : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    const std::string id = FirstLine(source);
    if (!id.empty()) return id;
  }
  return {};
}

int BatteryCharge(const char* powerSupplyFolder) {
  const std::string root = powerSupplyFolder != nullptr ? powerSupplyFolder : "/sys/class/power_supply";
  std::vector<std::string> supplies;
  if (!ListDirectory(root.c_str(), &supplies)) return -1;
  std::sort(supplies.begin(), supplies.end());
  for (const std::string& supply : supplies) {
    const std::string folder = root + "/" + supply;
    if (FirstLine(folder + "/type") != "Battery") continue;
    const std::string capacity = FirstLine(folder + "/capacity");
    if (capacity.empty() || capacity.find_first_not_of("0123456789") != std::string::npos) continue;
    const long percent = std::strtol(capacity.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp(percent, 0L, 100L));
  }
  return -1;
}

std::string DocumentsFolder() {
  const std::string home = TrimmedFolder(EnvironmentVariable("HOME"));
  if (home.empty()) return {};
  std::string config = EnvironmentVariable("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::string folder = home + "/Documents";
  std::string text;
  ReadFileStart((config + "/user-dirs.dirs").c_str(), 1 << 20, &text);
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    // XDG_DOCUMENTS_DIR="$HOME/Documents"
    const std::string key = "XDG_DOCUMENTS_DIR=";
    const size_t at = line.find(key);
    if (at == std::string::npos || line.find_first_not_of(" \t") != at) continue;
    std::string value = line.substr(at + key.size());
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value[0] == '/') folder = value;
  }
  return TrimmedFolder(folder);
}

std::string UserDataFolder() {
  std::string data = EnvironmentVariable("XDG_DATA_HOME");
  if (data.empty() || data[0] != '/') {
    const std::string home = TrimmedFolder(EnvironmentVariable("HOME"));
    if (home.empty()) return {};
    data = home + "/.local/share";
  }
  return TrimmedFolder(data);
}

std::string LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string name = EnvironmentVariable(variable);
    if (!name.empty()) return name;
  }
  return {};
}

}  // namespace platform
