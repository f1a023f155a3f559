// BasicString: the language's text value, a byte string with an explicit
// length and a capacity that grows in steps of 16 bytes.
//
// Strings are values: copying copies the bytes. An empty string points to one
// shared, read-only empty buffer and owns nothing.
//
// Layout (16 bytes on 64-bit, read by debuggers through process memory):
//   0x00 data      char*    NUL-terminated bytes, never null
//   0x08 capacity  uint32   size of the buffer, 0 for the shared empty buffer
//   0x0C length    uint32   bytes before the terminating NUL
//
// Growth: Reserve(n) gives ((n + 1) AND NOT 15) + 16 bytes, so one character
// needs 16, length 15 still fits in 16 and length 16 needs 32. Appends (keep
// set) to a text that has a buffer grow it by at least half instead (16, 32,
// 48, 80, 128, ...), at every size, and in place where realloc can: building
// a long text piece by piece stays linear, where the step-16 rule alone would
// copy the whole text every 16 characters. Assignments and new strings take
// the step rule's exact size.
//
// Every operator exists for a string with: C text, another string, int32,
// int64, float and double. Numbers become text with NumberToText (float and
// double) or as decimal integers; text becomes a number for comparisons the
// way atoi (int32), _atoi64 (int64) and atof (float, double) read it.
#pragma once

#include <cstdint>

// The text value (see above).
class BasicString {
 public:
  BasicString() noexcept;
  BasicString(const char* text);  // NOLINT: C text converts implicitly
  BasicString(const char* bytes, uint32_t length);
  BasicString(const BasicString& other);
  BasicString(BasicString&& other) noexcept;
  explicit BasicString(char c);  // a one-character string
  explicit BasicString(int32_t value);
  explicit BasicString(int64_t value);
  explicit BasicString(float value);
  explicit BasicString(double value);
  ~BasicString();

  BasicString& operator=(const BasicString& other);
  BasicString& operator=(BasicString&& other) noexcept;
  BasicString& operator=(const char* text);
  BasicString& operator=(int32_t value);
  BasicString& operator=(int64_t value);
  BasicString& operator=(float value);
  BasicString& operator=(double value);

  BasicString& operator+=(const BasicString& other);
  BasicString& operator+=(const char* text);
  BasicString& operator+=(char c) {
    if (length_ + 1 < capacity_) {  // the common case: room left
      data_[length_++] = c;
      data_[length_] = 0;
      return *this;
    }
    return AppendCharGrowing(c);
  }
  BasicString& operator+=(int32_t value);
  BasicString& operator+=(int64_t value);
  BasicString& operator+=(float value);
  BasicString& operator+=(double value);

  const char* c_str() const noexcept { return data_; }
  uint32_t Length() const noexcept { return length_; }
  uint32_t Capacity() const noexcept { return capacity_; }
  bool IsEmpty() const noexcept { return length_ == 0; }
  // Writable bytes; only valid while Capacity() > 0.
  char* Data() noexcept { return data_; }
  // Grows the buffer to hold n bytes plus the terminator (never shrinks).
  // keep: the old text stays; otherwise the new buffer starts as empty text
  // (the length is not changed either way). A request the process cannot
  // satisfy records error 7 and ends the program; false is returned only
  // when END is already running, and the string is then unchanged.
  bool Reserve(uint32_t n, bool keep);
  // Sets the length after writing into Data(); the terminator is written.
  // The length is cut to fit the buffer.
  void SetLength(uint32_t length);
  // Appends raw bytes (may contain NULs; may point into this string).
  BasicString& Append(const char* bytes, uint32_t count);
  // Empties the text, keeping the buffer.
  void Clear() noexcept;

  // The largest length a string can reach.
  static constexpr uint32_t kMaxLength = 0xFFFFFF00u;

 private:
  BasicString& AppendCharGrowing(char c);
  void AssignBytes(const char* bytes, uint32_t count);
  void AdoptText(const char* text, uint32_t count);  // for number texts

  char* data_;
  uint32_t capacity_;
  uint32_t length_;
};

static_assert(sizeof(void*) != 8 || sizeof(BasicString) == 16, "debuggers rely on this layout");

// ---------------------------------------------------------------- concatenation

// The joined text; a number on either side is joined as its text (NumberToText for float and
// double, decimal for integers).
BasicString operator+(const BasicString& left, const BasicString& right);
BasicString operator+(const BasicString& left, const char* right);
BasicString operator+(const char* left, const BasicString& right);
BasicString operator+(const BasicString& left, char right);
// A temporary on the left is extended in place (a + b + c copies once).
BasicString operator+(BasicString&& left, const BasicString& right);
BasicString operator+(BasicString&& left, const char* right);
BasicString operator+(BasicString&& left, char right);
BasicString operator+(BasicString&& left, int32_t right);
BasicString operator+(BasicString&& left, int64_t right);
BasicString operator+(BasicString&& left, float right);
BasicString operator+(BasicString&& left, double right);

// A number joined as its text, on either side.
BasicString operator+(const BasicString& left, int32_t right);
BasicString operator+(const BasicString& left, int64_t right);
BasicString operator+(const BasicString& left, float right);
BasicString operator+(const BasicString& left, double right);
BasicString operator+(int32_t left, const BasicString& right);
BasicString operator+(int64_t left, const BasicString& right);
BasicString operator+(float left, const BasicString& right);
BasicString operator+(double left, const BasicString& right);

// ---------------------------------------------------------------- comparison

// Byte-wise, as strcmp with unsigned bytes; a proper prefix sorts first.
// Returns -1, 0 or 1.
int Compare(const BasicString& left, const BasicString& right);
int Compare(const BasicString& left, const char* right);
// The sign of (number value of the text - number).
int Compare(const BasicString& left, int32_t right);
int Compare(const BasicString& left, int64_t right);
int Compare(const BasicString& left, float right);
int Compare(const BasicString& left, double right);

#define VLM_DECLARE_STRING_COMPARISONS(OTHER)                   \
  bool operator==(const BasicString& left, OTHER right);        \
  bool operator!=(const BasicString& left, OTHER right);        \
  bool operator<(const BasicString& left, OTHER right);         \
  bool operator<=(const BasicString& left, OTHER right);        \
  bool operator>(const BasicString& left, OTHER right);         \
  bool operator>=(const BasicString& left, OTHER right);        \
  bool operator==(OTHER left, const BasicString& right);        \
  bool operator!=(OTHER left, const BasicString& right);        \
  bool operator<(OTHER left, const BasicString& right);         \
  bool operator<=(OTHER left, const BasicString& right);        \
  bool operator>(OTHER left, const BasicString& right);         \
  bool operator>=(OTHER left, const BasicString& right);

VLM_DECLARE_STRING_COMPARISONS(const char*)
VLM_DECLARE_STRING_COMPARISONS(int32_t)
VLM_DECLARE_STRING_COMPARISONS(int64_t)
VLM_DECLARE_STRING_COMPARISONS(float)
VLM_DECLARE_STRING_COMPARISONS(double)
#undef VLM_DECLARE_STRING_COMPARISONS

// Comparisons as Compare orders, with another string here and, through the declarations
// above, with C text or a number on either side.
bool operator==(const BasicString& left, const BasicString& right);
bool operator!=(const BasicString& left, const BasicString& right);
bool operator<(const BasicString& left, const BasicString& right);
bool operator<=(const BasicString& left, const BasicString& right);
bool operator>(const BasicString& left, const BasicString& right);
bool operator>=(const BasicString& left, const BasicString& right);

// ---------------------------------------------------------------- conversions

// Text to number the way the C runtime's atoi, _atoi64 and atof read it:
// leading white space skipped, an optional sign, then as many characters as
// fit; 0 when nothing fits. Integers saturate instead of overflowing. Only
// decimal text is read (no hexadecimal, "inf" or "nan"), whatever the locale.
int32_t TextToInt32(const char* text);
// As _atoi64 reads it.
int64_t TextToInt64(const char* text);
// As atof reads it.
double TextToDouble(const char* text);
// As atof reads it, rounded to a float.
inline float TextToFloat(const char* text) { return static_cast<float>(TextToDouble(text)); }
// The same conversions of a string's text.
inline int32_t ToInt32(const BasicString& s) { return TextToInt32(s.c_str()); }
// The string's text as TextToInt64 reads it.
inline int64_t ToInt64(const BasicString& s) { return TextToInt64(s.c_str()); }
// The string's text as TextToDouble reads it.
inline double ToDouble(const BasicString& s) { return TextToDouble(s.c_str()); }
// The string's text as TextToFloat reads it.
inline float ToFloat(const BasicString& s) { return TextToFloat(s.c_str()); }

// The same text as a string.
BasicString NumberToText(double value);
// Integers as decimal text.
BasicString IntegerToText(int32_t value);
BasicString IntegerToText(int64_t value);

// ---------------------------------------------------------------- literals

// Constant text of the program: a pointer and its length.
struct StringLiteral {
  const char* text;
  uint32_t length;
  StringLiteral(const char* t);  // NOLINT
  operator BasicString() const { return BasicString(text, length); }
};
