// JSON reading and writing for the tools (see json.h).
#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace json {

namespace {

const Value& NullValue() {
  static const Value null;
  return null;
}

const std::string& EmptyString() {
  static const std::string empty;
  return empty;
}

size_t DecodeUtf8(std::string_view s, size_t i, uint32_t* cp);

class Reader {
 public:
  Reader(std::string_view text, int maxDepth) : text_(text), maxDepth_(maxDepth) {}

  bool Document(Value* out) {
    SkipSpace();
    if (!ReadValue(out, 0)) return false;
    SkipSpace();
    if (pos_ != text_.size()) return Fail("text after the value");
    return true;
  }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " at byte " + std::to_string(pos_);
    return false;
  }
  void SkipSpace() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
      ++pos_;
    }
  }
  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("unknown word");
    pos_ += word.size();
    return true;
  }

  bool ReadValue(Value* out, int depth) {
    if (pos_ >= text_.size()) return Fail("end of text where a value belongs");
    switch (text_[pos_]) {
      case '{':
        return ReadObject(out, depth + 1);
      case '[':
        return ReadArray(out, depth + 1);
      case '"': {
        std::string s;
        if (!ReadString(&s)) return false;
        *out = Value(std::move(s));
        return true;
      }
      case 't':
        if (!Literal("true")) return false;
        *out = Value(true);
        return true;
      case 'f':
        if (!Literal("false")) return false;
        *out = Value(false);
        return true;
      case 'n':
        if (!Literal("null")) return false;
        *out = Value();
        return true;
      default:
        return ReadNumber(out);
    }
  }

  bool ReadObject(Value* out, int depth) {
    if (depth > maxDepth_) return Fail("nesting too deep");
    ++pos_;  // {
    *out = Value::MakeObject();
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("member name expected");
      std::string key;
      if (!ReadString(&key)) return false;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != ':') return Fail("':' expected");
      ++pos_;
      SkipSpace();
      Value member;
      if (!ReadValue(&member, depth)) return false;
      out->Set(key, std::move(member));
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unclosed object");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] == '}') {
        ++pos_;
        return true;
      }
      return Fail("',' or '}' expected");
    }
  }

  bool ReadArray(Value* out, int depth) {
    if (depth > maxDepth_) return Fail("nesting too deep");
    ++pos_;  // [
    *out = Value::MakeArray();
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      SkipSpace();
      Value item;
      if (!ReadValue(&item, depth)) return false;
      out->Push(std::move(item));
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unclosed array");
      if (text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (text_[pos_] == ']') {
        ++pos_;
        return true;
      }
      return Fail("',' or ']' expected");
    }
  }

  bool Hex4(uint32_t* value) {
    if (text_.size() - pos_ < 4) return Fail("short \\u escape");
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= c - '0';
      else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
      else return Fail("bad \\u escape");
    }
    *value = v;
    return true;
  }

  static void PutUtf8(uint32_t cp, std::string* s) {
    if (cp < 0x80) {
      s->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      s->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      s->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      s->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  bool ReadString(std::string* out) {
    ++pos_;  // opening quote
    for (;;) {
      if (pos_ >= text_.size()) return Fail("unclosed string");
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return Fail("control character in a string");
      if (c >= 0x80) {
        uint32_t cp = 0;
        const size_t n = DecodeUtf8(text_, pos_, &cp);
        if (n == 0) return Fail("a string that is not UTF-8");
        out->append(text_.substr(pos_, n));
        pos_ += n;
        continue;
      }
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        ++pos_;
        continue;
      }
      ++pos_;
      if (pos_ >= text_.size()) return Fail("unclosed string");
      const char e = text_[pos_++];
      switch (e) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case '/': out->push_back('/'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {
            // A high surrogate must be followed by a low one.
            uint32_t low = 0;
            if (text_.substr(pos_, 2) != "\\u") return Fail("lone surrogate");
            pos_ += 2;
            if (!Hex4(&low)) return false;
            if (low < 0xDC00 || low >= 0xE000) return Fail("lone surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            return Fail("lone surrogate");
          }
          PutUtf8(cp, out);
          break;
        }
        default:
          return Fail("unknown escape");
      }
    }
  }

  bool ReadNumber(Value* out) {
    const size_t start = pos_;
    auto digit = [&] { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; };
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    if (!digit()) return Fail("value expected");
    if (text_[pos_] == '0') {
      ++pos_;
    } else {
      while (digit()) ++pos_;
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (!digit()) return Fail("digits expected after '.'");
      while (digit()) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digit()) return Fail("digits expected in the exponent");
      while (digit()) ++pos_;
    }
    double v = 0;
    const auto result = std::from_chars(text_.data() + start, text_.data() + pos_, v);
    // Out of range: from_chars leaves v alone; JSON readers take the nearest value.
    if (result.ec == std::errc::result_out_of_range) {
      const bool negative = text_[start] == '-';
      bool tiny = false;
      const size_t e = text_.find_first_of("eE", start);
      if (e != std::string_view::npos && e < pos_ && text_[e + 1] == '-') tiny = true;
      v = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
    } else if (result.ec != std::errc()) {
      return Fail("bad number");
    }
    *out = Value(v);
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  int maxDepth_;
  std::string error_;
};

void WriteString(std::string_view s, std::string* out) {
  out->push_back('"');
  for (size_t i = 0; i < s.size(); ++i) {
    const char ch = s[i];
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      // Bytes that are not UTF-8 would make the whole message unreadable.
      uint32_t cp = 0;
      const size_t n = DecodeUtf8(s, i, &cp);
      if (n == 0) {
        *out += "\xEF\xBF\xBD";  // U+FFFD
      } else {
        out->append(s.substr(i, n));
        i += n - 1;
      }
      continue;
    }
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          *out += buf;
        } else {
          out->push_back(ch);
        }
    }
  }
  out->push_back('"');
}

void WriteNumber(double v, std::string* out) {
  if (!std::isfinite(v)) {
    *out += "null";
    return;
  }
  char buf[40];
  if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0) {
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(v));
    out->append(buf, r.ptr);
    return;
  }
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

// The valid UTF-8 sequence starting at s[i]: its code point and length, or
// length 0 when the bytes there are not one.
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t* cp) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 0;
  uint32_t v = 0;
  uint32_t min = 0;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    n = 2, v = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, v = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, v = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    v = (v << 6) | (d & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return 0;
  *cp = v;
  return n;
}

}  // namespace

int64_t Value::AsInt(int64_t fallback) const {
  if (kind_ != Kind::Number || number_ != std::floor(number_) || !(std::fabs(number_) < 9.2e18)) return fallback;
  return static_cast<int64_t>(number_);
}

const std::string& Value::AsString() const { return kind_ == Kind::String ? string_ : EmptyString(); }

const Value::Array& Value::items() const {
  static const Array empty;
  return kind_ == Kind::Array ? array_ : empty;
}

const Value::Object& Value::members() const {
  static const Object empty;
  return kind_ == Kind::Object ? object_ : empty;
}

size_t Value::size() const {
  if (kind_ == Kind::Array) return array_.size();
  if (kind_ == Kind::Object) return object_.size();
  return 0;
}

const Value& Value::operator[](std::string_view key) const {
  if (kind_ != Kind::Object) return NullValue();
  for (const Member& m : object_)
    if (m.first == key) return m.second;
  return NullValue();
}

bool Value::Has(std::string_view key) const {
  if (kind_ != Kind::Object) return false;
  for (const Member& m : object_)
    if (m.first == key) return true;
  return false;
}

const Value& Value::operator[](size_t index) const {
  if (kind_ != Kind::Array || index >= array_.size()) return NullValue();
  return array_[index];
}

Value& Value::Set(std::string_view key, Value value) {
  if (kind_ != Kind::Object) *this = MakeObject();
  for (Member& m : object_) {
    if (m.first == key) {
      m.second = std::move(value);
      return m.second;
    }
  }
  object_.emplace_back(std::string(key), std::move(value));
  return object_.back().second;
}

Value& Value::Push(Value value) {
  if (kind_ != Kind::Array) *this = MakeArray();
  array_.push_back(std::move(value));
  return array_.back();
}

bool Parse(std::string_view text, Value* out, std::string* error, int maxDepth) {
  Reader reader(text, maxDepth);
  Value v;
  if (!reader.Document(&v)) {
    *out = Value();
    if (error != nullptr) *error = reader.error();
    return false;
  }
  *out = std::move(v);
  return true;
}

void WriteTo(const Value& value, std::string* out) {
  switch (value.kind()) {
    case Value::Kind::Null:
      *out += "null";
      break;
    case Value::Kind::Bool:
      *out += value.AsBool() ? "true" : "false";
      break;
    case Value::Kind::Number:
      WriteNumber(value.AsNumber(), out);
      break;
    case Value::Kind::String:
      WriteString(value.AsString(), out);
      break;
    case Value::Kind::Array: {
      out->push_back('[');
      bool first = true;
      for (const Value& item : value.items()) {
        if (!first) out->push_back(',');
        first = false;
        WriteTo(item, out);
      }
      out->push_back(']');
      break;
    }
    case Value::Kind::Object: {
      out->push_back('{');
      bool first = true;
      for (const Value::Member& m : value.members()) {
        if (!first) out->push_back(',');
        first = false;
        WriteString(m.first, out);
        out->push_back(':');
        WriteTo(m.second, out);
      }
      out->push_back('}');
      break;
    }
  }
}

std::string Write(const Value& value) {
  std::string out;
  WriteTo(value, &out);
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool Utf8ToLatin1(std::string_view text, std::string* bytes) {
  bytes->clear();
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t n = DecodeUtf8(text, i, &cp);
    if (n == 0 || cp > 0xFF) return false;
    bytes->push_back(static_cast<char>(cp));
    i += n;
  }
  return true;
}

}  // namespace json
