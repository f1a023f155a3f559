// Helpers for the file fuzz targets: a scratch file per process and checks
// that stop the fuzzer with a report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace fuzz_files {

// A path in the temporary folder, unique to this process and tag.
inline std::string ScratchPath(const char* tag) {
  return platform::TempFolder() + "vlmfuzz-" + std::to_string(platform::ProcessId()) + "-" + tag;
}

// Replaces the file with exactly these bytes.
inline void WriteFile(const std::string& path, const std::string& bytes) {
  platform::RemovePath(path.c_str());
  const intptr_t handle = platform::OpenFileHandle(path.c_str(), platform::FileOpenMode::CreateReadWrite);
  if (handle == 0) std::abort();
  const auto size = static_cast<int64_t>(bytes.size());
  if (platform::WriteFileAt(handle, bytes.data(), size, 0) != size) std::abort();
  platform::CloseFileHandle(handle);
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  platform::ReadFileStart(path.c_str(), INT64_MAX, &bytes);
  return bytes;
}

// Aborts (a finding) with a message when a property does not hold.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz_files
