// BasicString: storage and growth, concatenation, comparison and conversion operators.
#include "core/basic_string.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/core.h"
#include "core/debug.h"
#include "core/internal/text_bytes.h"

namespace {

// The one empty text every empty string points to. It lives in read-only
// storage: a stray write through an empty string faults instead of silently
// changing every empty string in the program.
const char kEmptyText[1] = {0};

char* EmptyBuffer() { return const_cast<char*>(kEmptyText); }

// Capacity for n bytes plus the terminator under the step-16 rule.
uint64_t StepCapacity(uint64_t n) { return ((n + 1) & ~uint64_t{15}) + 16; }


bool OwnsBuffer(const char* data) { return data != kEmptyText; }

}  // namespace

// ---------------------------------------------------------------- storage

BasicString::BasicString() noexcept : data_(EmptyBuffer()), capacity_(0), length_(0) {}

BasicString::BasicString(const char* text) : BasicString() {
  if (text != nullptr) AssignBytes(text, static_cast<uint32_t>(std::strlen(text)));
}

BasicString::BasicString(const char* bytes, uint32_t length) : BasicString() {
  if (bytes != nullptr) AssignBytes(bytes, length);
}

BasicString::BasicString(const BasicString& other) : BasicString() {
  AssignBytes(other.data_, other.length_);
}

BasicString::BasicString(BasicString&& other) noexcept
    : data_(other.data_), capacity_(other.capacity_), length_(other.length_) {
  other.data_ = EmptyBuffer();
  other.capacity_ = 0;
  other.length_ = 0;
}

BasicString::BasicString(char c) : BasicString() { *this += c; }

BasicString::BasicString(int32_t value) : BasicString() { *this = value; }
BasicString::BasicString(int64_t value) : BasicString() { *this = value; }
BasicString::BasicString(float value) : BasicString() { *this = value; }
BasicString::BasicString(double value) : BasicString() { *this = value; }

BasicString::~BasicString() {
  if (OwnsBuffer(data_)) std::free(data_);
  data_ = EmptyBuffer();
  capacity_ = 0;
  length_ = 0;
}

bool BasicString::Reserve(uint32_t n, bool keep) {
  if (n == 0 || uint64_t{capacity_} >= uint64_t{n} + 1) return true;
  if (n > kMaxLength) {
    EndWithError(kErrorOutOfMemory);
    return false;
  }
  uint64_t capacity = StepCapacity(n);
  if (keep && capacity_ > 0) {
    // A text that grows grows by half of its buffer at least, whatever its
    // size, so n appends copy O(n) bytes in all; realloc below can often
    // extend the block where it is (or remap it, when it is large) instead.
    const uint64_t grown = (uint64_t{capacity_} + capacity_ / 2 + 15) & ~uint64_t{15};
    if (grown > capacity) capacity = grown;
    const uint64_t limit = StepCapacity(kMaxLength);
    if (capacity > limit) capacity = limit;
  }
  char* buffer = nullptr;
  if (keep && OwnsBuffer(data_)) {
    // realloc keeps the old bytes (and may extend the block where it is).
    buffer = static_cast<char*>(std::realloc(data_, capacity));
  } else {
    buffer = static_cast<char*>(std::malloc(capacity));
  }
  if (buffer == nullptr) {
    EndWithError(kErrorOutOfMemory);
    return false;
  }
  if (keep && OwnsBuffer(data_)) {
    // Already moved by realloc; the old block is gone.
  } else {
    if (keep && length_ != 0) {
      std::memcpy(buffer, data_, length_ + 1);
    } else {
      std::memset(buffer, 0, 4);
    }
    if (OwnsBuffer(data_)) std::free(data_);
  }
  data_ = buffer;
  capacity_ = static_cast<uint32_t>(capacity);
  return true;
}

void BasicString::SetLength(uint32_t length) {
  if (capacity_ == 0) {
    length_ = 0;  // the shared empty buffer is never written
    return;
  }
  if (length >= capacity_) length = capacity_ - 1;
  length_ = length;
  data_[length] = 0;
}

void BasicString::Clear() noexcept {
  if (OwnsBuffer(data_)) data_[0] = 0;
  length_ = 0;
}

void BasicString::AssignBytes(const char* bytes, uint32_t count) {
  if (count == 0) {
    Clear();
    return;
  }
  if (OwnsBuffer(data_) && bytes >= data_ && bytes < data_ + capacity_) {
    // A part of this very string: it fits where it is.
    if (bytes + count > data_ + length_) count = static_cast<uint32_t>(data_ + length_ - bytes);
    std::memmove(data_, bytes, count);
    length_ = count;
    data_[count] = 0;
    return;
  }
  if (!Reserve(count, false)) return;
  std::memcpy(data_, bytes, count);
  data_[count] = 0;
  length_ = count;
}

BasicString& BasicString::Append(const char* bytes, uint32_t count) {
  if (count == 0 || bytes == nullptr) return *this;
  if (uint64_t{length_} + count > kMaxLength) {
    EndWithError(kErrorOutOfMemory);
    return *this;
  }
  // The source may lie inside this buffer (s += s); find it again after a move.
  const bool inside = OwnsBuffer(data_) && bytes >= data_ && bytes < data_ + capacity_;
  const size_t offset = inside ? static_cast<size_t>(bytes - data_) : 0;
  if (!Reserve(length_ + count, true)) return *this;
  if (inside) bytes = data_ + offset;
  std::memmove(data_ + length_, bytes, count);
  length_ += count;
  data_[length_] = 0;
  return *this;
}

void BasicString::AdoptText(const char* text, uint32_t count) {
  if (count == 0) {
    Clear();
    return;
  }
  if (!Reserve(count, false)) return;
  std::memcpy(data_, text, count);
  data_[count] = 0;
  length_ = count;
}

// ---------------------------------------------------------------- assignment

BasicString& BasicString::operator=(const BasicString& other) {
  if (data_ == other.data_) return *this;
  AssignBytes(other.data_, other.length_);
  return *this;
}

BasicString& BasicString::operator=(BasicString&& other) noexcept {
  if (this == &other) return *this;
  if (OwnsBuffer(data_)) std::free(data_);
  data_ = other.data_;
  capacity_ = other.capacity_;
  length_ = other.length_;
  other.data_ = EmptyBuffer();
  other.capacity_ = 0;
  other.length_ = 0;
  return *this;
}

BasicString& BasicString::operator=(const char* text) {
  if (text == nullptr) {
    Clear();
    return *this;
  }
  AssignBytes(text, static_cast<uint32_t>(std::strlen(text)));
  return *this;
}

BasicString& BasicString::operator=(int32_t value) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  AdoptText(text, static_cast<uint32_t>(result.ptr - text));
  return *this;
}

BasicString& BasicString::operator=(int64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  AdoptText(text, static_cast<uint32_t>(result.ptr - text));
  return *this;
}

BasicString& BasicString::operator=(float value) { return *this = static_cast<double>(value); }

BasicString& BasicString::operator=(double value) {
  char text[kNumberTextMax + 1];
  const int length = FormatNumberText(value, text);
  AdoptText(text, static_cast<uint32_t>(length));
  return *this;
}

// ---------------------------------------------------------------- appending

BasicString& BasicString::operator+=(const BasicString& other) {
  return Append(other.data_, other.length_);
}

BasicString& BasicString::operator+=(const char* text) {
  if (text == nullptr) return *this;
  return Append(text, static_cast<uint32_t>(std::strlen(text)));
}

BasicString& BasicString::AppendCharGrowing(char c) {
  if (length_ >= kMaxLength) {
    EndWithError(kErrorOutOfMemory);
    return *this;
  }
  if (!Reserve(length_ + 1, true)) return *this;
  data_[length_++] = c;
  data_[length_] = 0;
  return *this;
}

BasicString& BasicString::operator+=(int32_t value) {
  char text[16];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return Append(text, static_cast<uint32_t>(result.ptr - text));
}

BasicString& BasicString::operator+=(int64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return Append(text, static_cast<uint32_t>(result.ptr - text));
}

BasicString& BasicString::operator+=(float value) { return *this += static_cast<double>(value); }

BasicString& BasicString::operator+=(double value) {
  char text[kNumberTextMax + 1];
  const int length = FormatNumberText(value, text);
  return Append(text, static_cast<uint32_t>(length));
}

// ---------------------------------------------------------------- concatenation

BasicString operator+(const BasicString& left, const BasicString& right) {
  BasicString result;
  result.Reserve(left.Length() + right.Length(), false);
  result.Append(left.c_str(), left.Length());
  result.Append(right.c_str(), right.Length());
  return result;
}

BasicString operator+(const BasicString& left, const char* right) {
  BasicString result(left);
  result += right;
  return result;
}

BasicString operator+(const char* left, const BasicString& right) {
  BasicString result(left);
  result += right;
  return result;
}

BasicString operator+(const BasicString& left, char right) {
  BasicString result(left);
  result += right;
  return result;
}

BasicString operator+(BasicString&& left, const BasicString& right) {
  left += right;
  return std::move(left);
}

BasicString operator+(BasicString&& left, const char* right) {
  left += right;
  return std::move(left);
}

BasicString operator+(BasicString&& left, char right) {
  left += right;
  return std::move(left);
}

#define VLM_DEFINE_NUMBER_CONCATENATION(TYPE)                   \
  BasicString operator+(BasicString&& left, TYPE right) {       \
    left += right;                                              \
    return std::move(left);                                     \
  }                                                             \
  BasicString operator+(const BasicString& left, TYPE right) {  \
    BasicString result(left);                                   \
    result += right;                                            \
    return result;                                              \
  }                                                             \
  BasicString operator+(TYPE left, const BasicString& right) {  \
    BasicString result(left);                                   \
    result += right;                                            \
    return result;                                              \
  }

VLM_DEFINE_NUMBER_CONCATENATION(int32_t)
VLM_DEFINE_NUMBER_CONCATENATION(int64_t)
VLM_DEFINE_NUMBER_CONCATENATION(float)
VLM_DEFINE_NUMBER_CONCATENATION(double)
#undef VLM_DEFINE_NUMBER_CONCATENATION

// ---------------------------------------------------------------- comparison

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

template <class T>
int SignOfDifference(T left, T right) {
  return (left > right) - (left < right);
}

int CompareBytes(const char* left, uint32_t leftLength, const char* right, uint32_t rightLength) {
  const uint32_t common = leftLength < rightLength ? leftLength : rightLength;
  const int bytes = common == 0 ? 0 : std::memcmp(left, right, common);
  if (bytes != 0) return Sign(bytes);
  return SignOfDifference(leftLength, rightLength);
}

}  // namespace

int Compare(const BasicString& left, const BasicString& right) {
  return CompareBytes(left.c_str(), left.Length(), right.c_str(), right.Length());
}

int Compare(const BasicString& left, const char* right) {
  if (right == nullptr) right = "";
  return CompareBytes(left.c_str(), left.Length(), right,
                      static_cast<uint32_t>(std::strlen(right)));
}

int Compare(const BasicString& left, int32_t right) {
  return SignOfDifference(ToInt32(left), right);
}

int Compare(const BasicString& left, int64_t right) {
  return SignOfDifference(ToInt64(left), right);
}

int Compare(const BasicString& left, float right) {
  return SignOfDifference(ToDouble(left), static_cast<double>(right));
}

int Compare(const BasicString& left, double right) {
  return SignOfDifference(ToDouble(left), right);
}

bool operator==(const BasicString& left, const BasicString& right) {
  return left.Length() == right.Length() &&
         std::memcmp(left.c_str(), right.c_str(), left.Length()) == 0;
}
bool operator!=(const BasicString& left, const BasicString& right) { return !(left == right); }
bool operator<(const BasicString& left, const BasicString& right) { return Compare(left, right) < 0; }
bool operator<=(const BasicString& left, const BasicString& right) { return Compare(left, right) <= 0; }
bool operator>(const BasicString& left, const BasicString& right) { return Compare(left, right) > 0; }
bool operator>=(const BasicString& left, const BasicString& right) { return Compare(left, right) >= 0; }

#define VLM_DEFINE_STRING_COMPARISONS(OTHER)                                                   \
  bool operator==(const BasicString& l, OTHER r) { return Compare(l, r) == 0; }                \
  bool operator!=(const BasicString& l, OTHER r) { return Compare(l, r) != 0; }                \
  bool operator<(const BasicString& l, OTHER r) { return Compare(l, r) < 0; }                  \
  bool operator<=(const BasicString& l, OTHER r) { return Compare(l, r) <= 0; }                \
  bool operator>(const BasicString& l, OTHER r) { return Compare(l, r) > 0; }                  \
  bool operator>=(const BasicString& l, OTHER r) { return Compare(l, r) >= 0; }                \
  bool operator==(OTHER l, const BasicString& r) { return Compare(r, l) == 0; }                \
  bool operator!=(OTHER l, const BasicString& r) { return Compare(r, l) != 0; }                \
  bool operator<(OTHER l, const BasicString& r) { return Compare(r, l) > 0; }                  \
  bool operator<=(OTHER l, const BasicString& r) { return Compare(r, l) >= 0; }                \
  bool operator>(OTHER l, const BasicString& r) { return Compare(r, l) < 0; }                  \
  bool operator>=(OTHER l, const BasicString& r) { return Compare(r, l) <= 0; }

VLM_DEFINE_STRING_COMPARISONS(const char*)
VLM_DEFINE_STRING_COMPARISONS(int32_t)
VLM_DEFINE_STRING_COMPARISONS(int64_t)
VLM_DEFINE_STRING_COMPARISONS(float)
VLM_DEFINE_STRING_COMPARISONS(double)
#undef VLM_DEFINE_STRING_COMPARISONS

// ---------------------------------------------------------------- text to number

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Skips white space and reads an optional sign; returns the first digit.
const char* SkipToDigits(const char* text, bool* negative) {
  while (IsSpace(*text)) ++text;
  *negative = false;
  if (*text == '-' || *text == '+') {
    *negative = *text == '-';
    ++text;
  }
  return text;
}

template <class T>
T ReadInteger(const char* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  text = SkipToDigits(text, &negative);
  // Accumulate negatively: the most negative value has no positive twin.
  constexpr T kMin = std::numeric_limits<T>::min();
  constexpr T kMax = std::numeric_limits<T>::max();
  T value = 0;
  bool overflow = false;
  for (; IsDigit(*text); ++text) {
    const T digit = static_cast<T>(*text - '0');
    if (value < (kMin + digit) / 10) {
      overflow = true;
      break;
    }
    value = static_cast<T>(value * 10 - digit);
  }
  if (overflow) return negative ? kMin : kMax;
  if (negative) return value;
  return value == kMin ? kMax : static_cast<T>(-value);
}

}  // namespace

int32_t TextToInt32(const char* text) { return ReadInteger<int32_t>(text); }
int64_t TextToInt64(const char* text) { return ReadInteger<int64_t>(text); }

double TextToDouble(const char* text) {
  if (text == nullptr) return 0.0;
  bool negative = false;
  const char* p = SkipToDigits(text, &negative);
  // Measure the decimal number: digits, an optional fraction, an optional
  // exponent that only counts when it has digits.
  const char* start = p;
  bool anyDigit = false;
  while (IsDigit(*p)) {
    ++p;
    anyDigit = true;
  }
  if (*p == '.') {
    ++p;
    while (IsDigit(*p)) {
      ++p;
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (IsDigit(*e)) {
      while (IsDigit(*e)) ++e;
      p = e;
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(start, p, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: let strtod pick infinity, zero or
    // the nearest subnormal, from the whole number however long it is (cutting
    // it would drop the exponent). Its decimal point follows the locale.
    std::string number(start, p);
    const char point = *std::localeconv()->decimal_point;
    for (char& c : number)
      if (c == '.') c = point;
    value = std::strtod(number.c_str(), nullptr);
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

// ---------------------------------------------------------------- number to text

int FormatNumberText(double value, char* out) {
  char* p = out;
  if (std::isnan(value)) {
    std::memcpy(out, "nan", 4);
    return 3;
  }
  if (value == 0.0) {
    std::memcpy(out, "0", 2);
    return 1;
  }
  if (value < 0) *p++ = '-';
  if (std::isinf(value)) {
    std::memcpy(p, "inf", 4);
    return static_cast<int>(p - out) + 3;
  }
  // Ten significant digits, correctly rounded: "d.dddddddddde[+-]x".
  char scientific[40];
  const auto result = std::to_chars(scientific, scientific + sizeof scientific, std::fabs(value),
                                    std::chars_format::scientific, 9);
  *result.ptr = 0;
  char digits[10];
  digits[0] = scientific[0];
  std::memcpy(digits + 1, scientific + 2, 9);
  const int exponent = std::atoi(scientific + 12);  // after the 'e', sign included
  int count = 10;
  while (count > 1 && digits[count - 1] == '0') --count;

  if (exponent >= -1 && exponent <= 9) {
    if (exponent == -1) {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < count; ++i) *p++ = digits[i];
    } else {
      for (int i = 0; i <= exponent; ++i) *p++ = i < count ? digits[i] : '0';
      if (count > exponent + 1) {
        *p++ = '.';
        for (int i = exponent + 1; i < count; ++i) *p++ = digits[i];
      }
      // A whole number would end in '.', which is dropped: nothing to add.
    }
  } else {
    *p++ = digits[0];
    *p++ = '.';
    for (int i = 1; i < count; ++i) *p++ = digits[i];
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    *p++ = static_cast<char>('0' + magnitude / 100);
    *p++ = static_cast<char>('0' + magnitude / 10 % 10);
    *p++ = static_cast<char>('0' + magnitude % 10);
  }
  *p = 0;
  return static_cast<int>(p - out);
}

BasicString NumberToText(double value) { return BasicString(value); }
BasicString IntegerToText(int32_t value) { return BasicString(value); }
BasicString IntegerToText(int64_t value) { return BasicString(value); }

// ---------------------------------------------------------------- literals

StringLiteral::StringLiteral(const char* t)
    : text(t != nullptr ? t : kEmptyText),
      length(t != nullptr ? static_cast<uint32_t>(std::strlen(t)) : 0) {}
