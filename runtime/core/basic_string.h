// BasicString: the language's text value, a byte string with an explicit
// length and a capacity that grows in steps of 16 bytes.
//
// Strings are values: copying copies the bytes. An empty string points to one
// shared, read-only empty buffer and owns nothing.
#pragma once

#include <cstdint>

class BasicString {
 public:
  BasicString() noexcept;
  BasicString(const char* text);  // NOLINT: C text converts implicitly
  BasicString(const char* bytes, uint32_t length);
  BasicString(const BasicString& other);
  BasicString(BasicString&& other) noexcept;
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
  BasicString& operator+=(char c);
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
  void Reserve(uint32_t n, bool keep);
  // Sets the length after writing into Data(); the terminator is written.
  void SetLength(uint32_t length);

 private:
  char* data_;
  uint32_t capacity_;
  uint32_t length_;
};

BasicString operator+(const BasicString& left, const BasicString& right);
BasicString operator+(const BasicString& left, const char* right);
BasicString operator+(const char* left, const BasicString& right);

bool operator==(const BasicString& left, const BasicString& right);
bool operator==(const BasicString& left, const char* right);

// Constant text of the program: a pointer and its length.
struct StringLiteral {
  const char* text;
  uint32_t length;
  StringLiteral(const char* t);  // NOLINT
  operator BasicString() const { return BasicString(text, length); }
};
