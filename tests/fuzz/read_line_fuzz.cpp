// Reads arbitrary bytes with the channel line readers, once from a memory
// file and once from a file on disk: both must give the same lines, numbers
// and positions. The first byte picks the readers and the limit of a raw
// ChannelReadLine pass.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "files/files.h"
#include "files/read_channel.h"
#include "fuzz_files_util.h"

using fuzz_files::Check;

namespace {

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t pattern = data[0];
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::unique_ptr<uint8_t[]> block(new uint8_t[input.size() + 1]);
  std::memcpy(block.get(), input.data(), input.size());
  RegisterMemoryFile(block.get(), input.size());
  const std::string memory = MemoryFileName(block.get(), input.size());
  static const std::string path = fuzz_files::ScratchPath("read-line");
  fuzz_files::WriteFile(path, input);

  // The numbered channels: ReadLine, ReadNumberLine and ReadIntLine in an
  // order the pattern picks. Reading at the end would end the program, so
  // reads stop there.
  Check(OpenFile(0, memory.c_str(), 1) && OpenFile(1, path.c_str(), 1), "an input did not open");
  for (unsigned step = 0; !EndOfFile(0); ++step) {
    Check(!EndOfFile(1), "the file channel ended first");
    switch ((pattern >> (2 * (step % 4))) & 3) {
      case 0:
      case 3: {
        BasicString a, b;
        Check(ReadLine(0, a) && ReadLine(1, b), "a line did not read");
        Check(a == b, "the lines differ");
        Check(a.Length() <= 1024 && std::memchr(a.c_str(), '\n', a.Length()) == nullptr, "a line is too long");
        break;
      }
      case 1: {
        double a = 0, b = 0;
        Check(ReadNumberLine(0, a) && ReadNumberLine(1, b), "a number line did not read");
        Check(SameNumber(a, b), "the numbers differ");
        break;
      }
      case 2: {
        int32_t a = 0, b = 0;
        Check(ReadIntLine(0, a) && ReadIntLine(1, b), "an integer line did not read");
        Check(a == b, "the integers differ");
        break;
      }
    }
    Check(FilePosition(0) == FilePosition(1), "the positions differ");
  }
  Check(EndOfFile(1), "the memory channel ended first");
  CloseFile(0);
  CloseFile(1);

  // Raw line reads with a small limit: the pieces and the line ends they
  // dropped add up to the input.
  const int maximum = 2 + pattern % 70;
  ReadChannel channels[2];
  Check(OpenReadChannel(channels[0], memory.c_str()) && OpenReadChannel(channels[1], path.c_str()), "no channel");
  char a[80], b[80];
  int64_t consumed = 0;
  for (;;) {
    const bool gotA = ChannelReadLine(channels[0], a, maximum);
    const bool gotB = ChannelReadLine(channels[1], b, maximum);
    Check(gotA == gotB, "one channel ended first");
    if (!gotA) break;
    Check(std::strcmp(a, b) == 0, "the raw lines differ");
    Check(channels[0].position == channels[1].position, "the raw positions differ");
    Check(channels[0].position > consumed, "a line read consumed nothing");
    consumed = channels[0].position;
  }
  Check(consumed == static_cast<int64_t>(input.size()), "the lines did not cover the input");
  CloseChannel(channels[0]);
  CloseChannel(channels[1]);
  UnregisterMemoryFile(block.get());
  return 0;
}
