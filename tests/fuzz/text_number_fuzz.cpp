// Text to number: any bytes convert without reading past the text, and a
// decimal number of any length converts exactly as the C library's strtod.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/core.h"

namespace {

// The characters of the number syntax (digits weighted up). Over these the C
// library in its "C" locale reads the same grammar as the runtime: optional
// white space and sign, digits with an optional point, and an exponent that
// only counts with digits; no hexadecimal, infinity or nan can be spelt.
constexpr char kNumberChars[] = "0123456789012345678901234567890123456789..eE+- \t\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The raw bytes, in a block of exactly the text's size.
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = 0;
  volatile double sinkDouble = TextToDouble(text.get());
  volatile int64_t sinkInt = TextToInt64(text.get()) + TextToInt32(text.get());
  (void)sinkDouble;
  (void)sinkInt;

  // The same bytes spelt with the number characters only: the result must be
  // strtod's to the bit (sign of zero, subnormals, overflow included). The
  // target never changes the locale, so strtod reads a '.' point.
  for (size_t i = 0; i < size; ++i) text[i] = kNumberChars[data[i] % (sizeof kNumberChars - 1)];
  const double value = TextToDouble(text.get());
  const double expected = std::strtod(text.get(), nullptr);
  if (std::memcmp(&value, &expected, sizeof value) != 0) std::abort();
  return 0;
}
