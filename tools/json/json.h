// A small JSON value with a strict reader and a compact writer, for the tools
// that speak JSON over a pipe (the debug adapter, the language server) or read
// JSON files (the translator's line maps, a program's velmora.json). Objects
// keep their members in insertion order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

class Value {
 public:
  enum class Kind : uint8_t { Null, Bool, Number, String, Array, Object };
  using Array = std::vector<Value>;
  using Member = std::pair<std::string, Value>;
  using Object = std::vector<Member>;

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : kind_(Kind::Bool), bool_(b) {}
  Value(int v) : kind_(Kind::Number), number_(v) {}
  Value(int64_t v) : kind_(Kind::Number), number_(static_cast<double>(v)) {}
  Value(uint32_t v) : kind_(Kind::Number), number_(v) {}
  Value(double v) : kind_(Kind::Number), number_(v) {}
  Value(const char* s) : kind_(Kind::String), string_(s) {}
  Value(std::string s) : kind_(Kind::String), string_(std::move(s)) {}
  Value(std::string_view s) : kind_(Kind::String), string_(s) {}
  Value(Array a) : kind_(Kind::Array), array_(std::move(a)) {}

  static Value MakeObject() {
    Value v;
    v.kind_ = Kind::Object;
    return v;
  }
  static Value MakeArray() {
    Value v;
    v.kind_ = Kind::Array;
    return v;
  }

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool IsBool() const { return kind_ == Kind::Bool; }
  bool IsNumber() const { return kind_ == Kind::Number; }
  bool IsString() const { return kind_ == Kind::String; }
  bool IsArray() const { return kind_ == Kind::Array; }
  bool IsObject() const { return kind_ == Kind::Object; }

  // Typed reads with a fallback for a value of another kind.
  bool AsBool(bool fallback = false) const { return kind_ == Kind::Bool ? bool_ : fallback; }
  double AsNumber(double fallback = 0) const { return kind_ == Kind::Number ? number_ : fallback; }
  // A number that is whole and within int64, else the fallback.
  int64_t AsInt(int64_t fallback = 0) const;
  const std::string& AsString() const;  // empty for other kinds
  std::string AsString(const std::string& fallback) const {
    return kind_ == Kind::String ? string_ : fallback;
  }
  const Array& items() const;    // empty for other kinds
  const Object& members() const;  // empty for other kinds
  size_t size() const;            // items or members

  // Object member (a null value when absent or not an object).
  const Value& operator[](std::string_view key) const;
  bool Has(std::string_view key) const;
  // Array element (a null value when out of range or not an array).
  const Value& operator[](size_t index) const;

  // Builders: Set replaces a member of that name or appends one (a non-object
  // becomes an empty object first); Push appends (a non-array becomes one).
  Value& Set(std::string_view key, Value value);
  Value& Push(Value value);

 private:
  Kind kind_ = Kind::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  Array array_;
  Object object_;
};

// Reads one JSON text (RFC 8259: whitespace around one value, nothing after
// it; strings must be UTF-8). Nesting deeper than maxDepth is refused. On failure returns false with
// a message naming the byte offset in *error; *out is then null.
bool Parse(std::string_view text, Value* out, std::string* error, int maxDepth = 200);

// The compact text of the value. Strings are written as UTF-8 with control
// characters, quotes and backslashes escaped (a byte that does not belong to
// valid UTF-8 becomes U+FFFD); numbers that are whole and
// exactly representable print without a fraction; NaN and infinities, which
// JSON cannot hold, print as null.
std::string Write(const Value& value);
void WriteTo(const Value& value, std::string* out);

// Latin-1 (the programs' 8-bit code page) to UTF-8 and back. ToLatin1 fails on
// malformed UTF-8 and on characters above U+00FF.
std::string Latin1ToUtf8(std::string_view bytes);
bool Utf8ToLatin1(std::string_view text, std::string* bytes);

}  // namespace json
