// Feeds arbitrary bytes to the INI store as a file on disk and as a memory
// file. Writing back is a fixed point: a file the store wrote reads back to
// the same store and is written again byte for byte, and a value put before
// the write-back is found after it.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "files/files.h"
#include "files/read_channel.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // As a memory file: read, changed, never written.
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  RegisterMemoryFile(block.get(), size);
  IniOpen(MemoryFileName(block.get(), size).c_str());
  IniPut("fuzz", "key", "value");
  IniOpen("");
  Check(std::memcmp(block.get(), data, size) == 0, "a memory file was written");
  UnregisterMemoryFile(block.get());

  // As a real file: each write-back of the same change gives the same file.
  static const std::string path = fuzz_files::ScratchPath("ini");
  fuzz_files::WriteFile(path, input);
  std::string written[2];
  for (std::string& file : written) {
    IniOpen(path.c_str());
    IniPut("Fuzz", "key", "value");
    IniOpen("");
    file = fuzz_files::ReadFile(path);
  }
  Check(written[0] == written[1], "the written file does not read back to the same store");
  IniOpen(path.c_str());
  Check(IniGet("FUZZ", "KEY", "missing") == BasicString("value"), "a value put is not found after writing");
  IniOpen("");
  return 0;
}
