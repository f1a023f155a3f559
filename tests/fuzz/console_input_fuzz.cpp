// Console INPUT: any bytes split into the same lines the input holds, each
// without its "\n" or "\r\n", then error 20 at the end, never a hang or a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/vlmc_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen takes no empty buffer
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
  if (in == nullptr) std::abort();

  // What the lines must be: the pieces between newlines, a last piece only
  // when the input does not end in a newline, a trailing CR dropped.
  std::vector<std::string> expected;
  size_t start = 0;
  while (start < size) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = size;
    std::string piece = bytes.substr(start, end - start);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    expected.push_back(piece);
    start = end + 1;
  }

  for (const std::string& want : expected) {
    ClearLastError();
    const BasicString line = ReadConsoleLine(in);
    if (LastErrorCode != 0 || std::string(line.c_str(), line.Length()) != want) std::abort();
  }
  ClearLastError();
  const BasicString past = ReadConsoleLine(in);
  if (LastErrorCode != kErrorOutOfData || past.Length() != 0) std::abort();
  std::fclose(in);
  return 0;
}
