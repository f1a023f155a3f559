// Text built-ins: number/text conversion, case, searching, trimming and the error texts.
#include "core/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/internal/blowfish.h"
#include "core/internal/text_bytes.h"
#include "core/little_endian.h"

namespace {

// A 256-entry membership table for a byte set.
struct ByteSet {
  bool member[256] = {};
  explicit ByteSet(const BasicString& set) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(set.c_str());
    for (uint32_t i = 0; i < set.Length(); ++i) member[bytes[i]] = true;
  }
  bool Has(char c) const { return member[static_cast<unsigned char>(c)]; }
};

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

// ---------------------------------------------------------------- slicing and case

BasicString Mid(const BasicString& s, int32_t start, int32_t count) {
  const int64_t length = s.Length();
  if (start < 0 || start >= length) return BasicString();
  int64_t n = count < 0 ? length - start : count;
  if (start + n > length) n = length - start;
  if (n <= 0) return BasicString();
  return BasicString(s.c_str() + start, static_cast<uint32_t>(n));
}

void UpperInPlace(BasicString& s) {
  if (s.Capacity() == 0) return;
  char* p = s.Data();
  for (uint32_t i = 0; i < s.Length(); ++i)
    if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 'a' + 'A');
}

void LowerInPlace(BasicString& s) {
  if (s.Capacity() == 0) return;
  char* p = s.Data();
  for (uint32_t i = 0; i < s.Length(); ++i)
    if (p[i] >= 'A' && p[i] <= 'Z') p[i] = static_cast<char>(p[i] - 'A' + 'a');
}

BasicString Upper(const BasicString& s) {
  BasicString result(s);
  UpperInPlace(result);
  return result;
}

BasicString Lower(const BasicString& s) {
  BasicString result(s);
  LowerInPlace(result);
  return result;
}

// ---------------------------------------------------------------- trimming

BasicString TrimRight(const BasicString& s, const BasicString& set) {
  const ByteSet bytes(set);
  uint32_t end = s.Length();
  while (end > 0 && bytes.Has(s.c_str()[end - 1])) --end;
  return BasicString(s.c_str(), end);
}

BasicString TrimLeft(const BasicString& s, const BasicString& set) {
  const ByteSet bytes(set);
  uint32_t start = 0;
  while (start < s.Length() && bytes.Has(s.c_str()[start])) ++start;
  return BasicString(s.c_str() + start, s.Length() - start);
}

void StripControlTail(BasicString& s) {
  uint32_t end = s.Length();
  while (end > 0 && static_cast<unsigned char>(s.c_str()[end - 1]) <= 31) --end;
  if (end != s.Length()) s.SetLength(end);
}

// ---------------------------------------------------------------- searching

int32_t Find(const BasicString& s, const BasicString& needle, int32_t from) {
  if (from < 0) from = 0;
  const uint32_t length = s.Length();
  const uint32_t m = needle.Length();
  if (static_cast<uint32_t>(from) >= length || m == 0) return -1;
  const uint32_t rest = length - static_cast<uint32_t>(from);
  if (m > rest) return -1;
  const auto* text = reinterpret_cast<const unsigned char*>(s.c_str());
  const auto* pattern = reinterpret_cast<const unsigned char*>(needle.c_str());
  if (m == rest) return std::memcmp(text + from, pattern, m) == 0 ? from : -1;

  uint32_t skip[256];
  for (uint32_t& entry : skip) entry = m;
  for (uint32_t i = 0; i + 1 < m; ++i) skip[pattern[i]] = m - 1 - i;
  const unsigned char last = pattern[m - 1];
  for (uint32_t pos = static_cast<uint32_t>(from); pos <= length - m;) {
    const unsigned char c = text[pos + m - 1];
    if (c == last && std::memcmp(text + pos, pattern, m - 1) == 0)
      return static_cast<int32_t>(pos);
    pos += skip[c];
  }
  return -1;
}

int32_t FindLast(const BasicString& s, const BasicString& needle, int32_t from) {
  if (from < 0) from = static_cast<int32_t>(int64_t{s.Length()} - needle.Length());
  if (from < 0) return -1;
  int32_t found = -1;
  for (int32_t hit = Find(s, needle, 0); hit >= 0 && hit <= from; hit = Find(s, needle, hit + 1))
    found = hit;
  return found;
}

int32_t FindAny(const BasicString& s, const BasicString& set) {
  const ByteSet bytes(set);
  for (uint32_t i = 0; i < s.Length(); ++i)
    if (bytes.Has(s.c_str()[i])) return static_cast<int32_t>(i);
  return -1;
}

int32_t FindNotAny(const BasicString& s, const BasicString& set) {
  const ByteSet bytes(set);
  for (uint32_t i = 0; i < s.Length(); ++i)
    if (!bytes.Has(s.c_str()[i])) return static_cast<int32_t>(i);
  return -1;
}

BasicString Replace(const BasicString& s, const BasicString& find, const BasicString& with) {
  if (find.Length() == 1 && with.Length() == 1) {
    BasicString result(s);
    if (result.Capacity() == 0) return result;
    const char from = find.c_str()[0];
    const char to = with.c_str()[0];
    char* p = result.Data();
    for (uint32_t i = 0; i < result.Length(); ++i)
      if (p[i] == from) p[i] = to;
    return result;
  }
  BasicString result;
  int32_t start = 0;
  for (int32_t hit = Find(s, find, 0); hit >= 0; hit = Find(s, find, start)) {
    result.Append(s.c_str() + start, static_cast<uint32_t>(hit - start));
    result += with;
    start = hit + static_cast<int32_t>(find.Length());
  }
  result.Append(s.c_str() + start, s.Length() - static_cast<uint32_t>(start));
  return result;
}

// ---------------------------------------------------------------- hex and URLs

BasicString HexEncode(const void* bytes, uint32_t count, bool upper) {
  if (count == 0 || bytes == nullptr) return BasicString();
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const auto* in = static_cast<const unsigned char*>(bytes);
  BasicString result;
  if (uint64_t{count} * 2 > BasicString::kMaxLength || !result.Reserve(count * 2, false))
    return result;
  char* out = result.Data();
  for (uint32_t i = 0; i < count; ++i) {
    out[2 * i] = digits[in[i] >> 4];
    out[2 * i + 1] = digits[in[i] & 15];
  }
  result.SetLength(count * 2);
  return result;
}

int32_t HexPairValue(char high, char low) {
  const int h = HexDigitValue(high);
  const int l = HexDigitValue(low);
  return (h < 0 ? 0 : h) * 16 + (l < 0 ? 0 : l);
}

BasicString UrlEncode(const BasicString& s) {
  static const char kHex[] = "0123456789abcdef";
  BasicString result;
  for (uint32_t i = 0; i < s.Length(); ++i) {
    const auto c = static_cast<unsigned char>(s.c_str()[i]);
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (plain) {
      result += static_cast<char>(c);
      continue;
    }
    unsigned char bytes[2];
    int n = 0;
    if (c < 0x80) {
      bytes[n++] = c;
    } else {
      bytes[n++] = c < 0xC0 ? 0xC2 : 0xC3;
      bytes[n++] = static_cast<unsigned char>((c & 63) + 0x80);
    }
    for (int k = 0; k < n; ++k) {
      const char escape[3] = {'%', kHex[bytes[k] >> 4], kHex[bytes[k] & 15]};
      result.Append(escape, 3);
    }
  }
  return result;
}

BasicString UrlDecode(const BasicString& s) {
  BasicString result;
  const char* p = s.c_str();
  const uint32_t length = s.Length();
  for (uint32_t i = 0; i < length; ++i) {
    const char c = p[i];
    if (c == '+') {
      result += ' ';
    } else if (c != '%') {
      result += c;
    } else {
      // "%xx" is a byte; a bad first digit drops it with the '%', a bad
      // second digit drops the '%' and the first digit and is read again.
      if (i + 1 >= length) break;
      const int high = HexDigitValue(p[i + 1]);
      if (high < 0) {
        ++i;
        continue;
      }
      if (i + 2 >= length) break;
      const int low = HexDigitValue(p[i + 2]);
      if (low < 0) {
        ++i;
        continue;
      }
      result += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  Utf8ToBytes(result);
  return result;
}

void Utf8ToBytes(BasicString& s) {
  if (s.Capacity() == 0) return;
  auto* p = reinterpret_cast<unsigned char*>(s.Data());
  const uint32_t length = s.Length();
  uint32_t out = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      p[out++] = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < length) {
      const uint32_t value = ((c & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu);
      p[out++] = value < 0x100 ? static_cast<unsigned char>(value) : ' ';
      i += 1;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < length) {
      const uint32_t value = ((c & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
      p[out++] = value < 0x100 ? static_cast<unsigned char>(value) : ' ';
      i += 2;
    }
    // Anything else of 0x80 or more is dropped.
  }
  s.SetLength(out);
}

// ---------------------------------------------------------------- encryption

namespace {

}  // namespace

BasicString Encrypt(const BasicString& key, const BasicString& text) {
  if (key.Length() == 0) return BasicString();
  const Blowfish cipher(reinterpret_cast<const unsigned char*>(key.c_str()), key.Length());
  const size_t size = (size_t{text.Length()} + 1 + 7) / 8 * 8;
  std::vector<unsigned char> bytes(size, 0);
  std::memcpy(bytes.data(), text.c_str(), text.Length());
  for (size_t block = 0; block < size; block += 8) {
    uint32_t left = LoadLittle32(&bytes[block]);
    uint32_t right = LoadLittle32(&bytes[block + 4]);
    cipher.EncryptBlock(left, right);
    StoreLittle32(&bytes[block], left);
    StoreLittle32(&bytes[block + 4], right);
  }
  if (size * 2 > BasicString::kMaxLength) return BasicString();
  return HexEncode(bytes.data(), static_cast<uint32_t>(size), false);
}

BasicString Decrypt(const BasicString& key, const BasicString& hex) {
  if (key.Length() == 0) return BasicString();
  const uint32_t pairs = hex.Length() / 2;
  std::vector<unsigned char> bytes(pairs);
  for (uint32_t i = 0; i < pairs; ++i) {
    const int high = HexDigitValue(hex.c_str()[2 * i]);
    const int low = HexDigitValue(hex.c_str()[2 * i + 1]);
    if (high < 0 || low < 0) return BasicString();
    bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  const Blowfish cipher(reinterpret_cast<const unsigned char*>(key.c_str()), key.Length());
  // A trailing part block cannot have come from Encrypt: it is ignored.
  const uint32_t size = pairs / 8 * 8;
  for (uint32_t block = 0; block < size; block += 8) {
    uint32_t left = LoadLittle32(&bytes[block]);
    uint32_t right = LoadLittle32(&bytes[block + 4]);
    cipher.DecryptBlock(left, right);
    StoreLittle32(&bytes[block], left);
    StoreLittle32(&bytes[block + 4], right);
  }
  uint32_t length = 0;
  while (length < size && bytes[length] != 0) ++length;
  return BasicString(reinterpret_cast<const char*>(bytes.data()), length);
}

// ---------------------------------------------------------------- wide characters

const wchar_t* ToWide(const BasicString& s) {
  static std::wstring buffer;
  buffer.assign(size_t{s.Length()} + 1, L'\0');
  const size_t converted = std::mbstowcs(buffer.data(), s.c_str(), buffer.size());
  if (converted == static_cast<size_t>(-1)) {
    // Not valid in the current locale: the bytes are the code page's
    // characters, taken as Latin-1.
    for (uint32_t i = 0; i < s.Length(); ++i)
      buffer[i] = static_cast<wchar_t>(static_cast<unsigned char>(s.c_str()[i]));
    buffer[s.Length()] = L'\0';
  }
  return buffer.c_str();
}

BasicString FromWide(const wchar_t* text) {
  if (text == nullptr) return BasicString();
  const size_t needed = std::wcstombs(nullptr, text, 0);
  if (needed != static_cast<size_t>(-1)) {
    std::string bytes(needed + 1, '\0');
    std::wcstombs(bytes.data(), text, bytes.size());
    if (needed > BasicString::kMaxLength) return BasicString();
    return BasicString(bytes.c_str(), static_cast<uint32_t>(needed));
  }
  BasicString result;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    const auto c = static_cast<uint32_t>(*p);
    result += c < 0x100 ? static_cast<char>(c) : '?';
  }
  return result;
}

// ---------------------------------------------------------------- small texts

BasicString ErrorText() {
  const char* text = "unknown error";
  switch (LastErrorCode) {
    case kErrorNone: text = "success"; break;
    case kErrorNoSuchFile: text = "no such file"; break;
    case kErrorOutOfMemory: text = "out of memory"; break;
    case kErrorOutOfBounds: text = "out of bounds"; break;
    case kErrorOutOfData: text = "out of data"; break;
    default: break;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4d %s", LastErrorCode, text);
  return BasicString(buffer);
}

namespace {

int32_t TruncateClamped(double value, int32_t low, int32_t high) {
  if (std::isnan(value)) return 0;
  const double t = std::trunc(value);
  if (t < low) return low;
  if (t > high) return high;
  return static_cast<int32_t>(t);
}

}  // namespace

BasicString Format(double width, double decimals, double x) {
  const int w = TruncateClamped(width, -4096, 4096);
  const int d = TruncateClamped(decimals, 0, 340);
  // Sized to the text rather than a fixed buffer: a wide field or a huge
  // value cannot run past the end.
  char small[128];
  const int length = std::snprintf(small, sizeof small, "%*.*f", w, d, x);
  if (length < 0) return BasicString();
  if (static_cast<size_t>(length) < sizeof small)
    return BasicString(small, static_cast<uint32_t>(length));
  std::string large(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(large.data(), large.size(), "%*.*f", w, d, x);
  return BasicString(large.c_str(), static_cast<uint32_t>(length));
}

BasicString Chr(int32_t c) { return BasicString(static_cast<char>(c & 255)); }

int32_t Asc(const BasicString& s, int32_t i) {
  if (i < 0 || static_cast<uint32_t>(i) >= s.Length()) return 0;
  return static_cast<unsigned char>(s.c_str()[i]);
}

int32_t TextLength(double value) {
  char text[kNumberTextMax + 1];
  return FormatNumberText(value, text);
}

int32_t TextLength(int32_t value) {
  char text[16];
  return std::snprintf(text, sizeof text, "%d", value);
}
