// Feeds arbitrary bytes to the line-file store. Changing one line and writing
// back leaves every other line as a program reads it, keeps everything after
// line 255 byte for byte, and a second write-back of the same change is a
// fixed point.
#include <cstdint>
#include <string>
#include <vector>

#include "files/files.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

namespace {

constexpr int kSlots = 256;

std::vector<std::string> ReadAll(const std::string& path) {
  std::vector<std::string> lines;
  for (int i = 0; i < kSlots; ++i) {
    const BasicString line = ReadFileLine(path.c_str(), i);
    lines.emplace_back(line.c_str(), line.Length());
  }
  return lines;
}

// The bytes after the 256th line feed (empty when there are fewer).
std::string AfterSlots(const std::string& bytes) {
  size_t at = 0;
  for (int i = 0; i < kSlots; ++i) {
    at = bytes.find('\n', at);
    if (at == std::string::npos) return {};
    ++at;
  }
  return bytes.substr(at);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int changed = data[0];  // 0-255
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const std::string path = fuzz_files::ScratchPath("lines");
  static const std::string other = fuzz_files::ScratchPath("other");
  fuzz_files::WriteFile(path, input);

  ReadFileLine(other.c_str(), 0);  // a fresh selection reads the file again
  const std::vector<std::string> before = ReadAll(path);
  Check(WriteFileLine(path.c_str(), changed, "changed") == 0, "a line in range could not be written");
  Check(WriteFileLine(path.c_str(), kSlots, "x") == 7, "line 256 was accepted");
  ReadFileLine(other.c_str(), 0);  // writes the file back
  const std::string first = fuzz_files::ReadFile(path);
  const std::vector<std::string> after = ReadAll(path);
  for (int i = 0; i < kSlots; ++i) {
    if (i == changed)
      Check(after[i] == "changed", "the changed line did not come back");
    else
      Check(after[i] == before[i], "another line changed");
  }
  Check(AfterSlots(first) == AfterSlots(input), "the lines after 255 changed");

  WriteFileLine(path.c_str(), changed, "changed");
  ReadFileLine(other.c_str(), 0);
  Check(fuzz_files::ReadFile(path) == first, "a second write-back changed the file");
  return 0;
}
