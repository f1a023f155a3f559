// Typed text: arbitrary bytes as the UTF-8 text of a typing event, converted
// to the 8-bit code page; code-page text sent through UTF-8 comes back whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "input/input.h"
#include "input/input_internal.h"

namespace {

// The UTF-8 text of each code-page byte, found by asking the converter's own
// code-point mapping for every code point of the Basic Multilingual Plane
// (empty for the bytes no code point maps to).
struct CodePageTexts {
  std::string text[256];
  CodePageTexts() {
    for (uint32_t cp = 1; cp < 0x10000; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      const uint8_t byte = CodePointToCodePage(cp);
      if (byte == '?' && cp != '?') continue;
      if (!text[byte].empty()) std::abort();  // two code points for one byte
      std::string& s = text[byte];
      if (cp < 0x80) {
        s += static_cast<char>(cp);
      } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
      } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
      }
    }
  }
};

// Converts text (NUL-terminated) into a block of exactly capacity bytes.
std::string Convert(const char* text, int32_t capacity) {
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity > 0 ? capacity : 1]);
  const int32_t count = Utf8ToCodePage(text, out.get(), capacity);
  if (count < 0 || count > capacity) std::abort();
  return std::string(reinterpret_cast<const char*>(out.get()), static_cast<size_t>(count));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const CodePageTexts kTexts;
  if (size > 1 << 16) return 0;

  // Raw bytes as UTF-8 (cut at the first zero, as the event delivers them).
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = 0;
  const size_t length = std::strlen(text.get());
  const std::string all = Convert(text.get(), static_cast<int32_t>(length));
  // At most one byte per input byte; every ASCII byte is a character of its own.
  size_t ascii = 0;
  for (size_t i = 0; i < length; ++i) ascii += static_cast<uint8_t>(text[i]) < 0x80;
  if (all.size() > length || all.size() < ascii || all.find('\0') != std::string::npos) std::abort();
  // A smaller capacity gives the same characters, cut.
  const int32_t half = static_cast<int32_t>(length / 2);
  if (Convert(text.get(), half) != all.substr(0, static_cast<size_t>(half))) std::abort();

  // The bytes as code-page text, written as UTF-8: converting back gives the
  // same bytes, except those without a character, which read as '?'.
  std::string utf8, expected;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = data[i] == 0 ? ' ' : data[i];
    const std::string& s = kTexts.text[byte];
    utf8 += s.empty() ? "\xEF\xBF\xBD" : s;  // U+FFFD for an unassigned byte
    expected += s.empty() ? '?' : static_cast<char>(byte);
  }
  if (Convert(utf8.c_str(), static_cast<int32_t>(utf8.size())) != expected) std::abort();
  return 0;
}
