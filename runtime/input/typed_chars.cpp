// The typed-character queue, text into the 8-bit code page, and what a key
// types.
//
// The runtime's text is bytes of the Windows-1252 code page; the event pump
// delivers typed text as UTF-8, so every character is converted on arrival.
#include <cstring>

#include "core/core.h"
#include "input/input.h"
#include "input/input_internal.h"

namespace {

// Code points of the code page's bytes 0x80-0x9F (0: unassigned there).
constexpr uint16_t kSpecials[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at p; a malformed one yields 0xFFFD and
// advances by one byte so that the rest is not lost.
uint32_t NextCodePoint(const unsigned char*& p) {
  const unsigned char lead = *p;
  if (lead < 0x80) {
    ++p;
    return lead;
  }
  int length = 0;
  uint32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  } else {
    ++p;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      ++p;
      return 0xFFFD;
    }
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++p;
    return 0xFFFD;
  }
  p += length;
  return cp;
}

// What Shift does to the keys of the character block on a US keyboard; the
// letters are handled apart, with Caps Lock.
char ShiftedUs(char c) {
  static const char kPlain[] = "1234567890-=[]\\;',./`";
  static const char kShifted[] = "!@#$%^&*()_+{}|:\"<>?~";
  const char* at = std::strchr(kPlain, c);
  return at != nullptr && c != '\0' ? kShifted[at - kPlain] : c;
}

// The numeric keypad: 7 to the decimal point, multiply, equals, Enter,
// comma and divide.
bool IsKeypadCode(int32_t code) {
  return (code >= kKeyPad7 && code <= kKeyPadDecimal) || code == kKeyPadMultiply || code == kKeyPadEquals ||
         code == kKeyPadEnter || code == kKeyPadComma || code == kKeyPadDivide;
}

}  // namespace

uint8_t CodePointToCodePage(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  for (int i = 0; i < 32; ++i)
    if (kSpecials[i] != 0 && kSpecials[i] == cp) return static_cast<uint8_t>(0x80 + i);
  return '?';
}

int32_t Utf8ToCodePage(const char* utf8, uint8_t* out, int32_t capacity) {
  if (utf8 == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
  int32_t count = 0;
  while (*p != 0 && count < capacity) out[count++] = CodePointToCodePage(NextCodePoint(p));
  return count;
}

// ---------------------------------------------------------------- queue

void AddTypedChar(int32_t c) {
  InputDevices* input = TheInputDevices();
  if (input == nullptr) return;
  // Characters are bytes of the code page: 0xE9 is an e-acute, not a
  // negative control code.
  c &= 0xFF;
  if (c == 0) return;
  if (c == kCharCarriageReturn) c = kCharLineFeed;
  if (c < 32 && c != kCharBackspace && c != kCharTab && c != kCharLineFeed) return;
  if (static_cast<int32_t>(input->typed.size()) >= kTypedCharLimit) return;
  input->typed.push_back(static_cast<uint8_t>(c));
}

int32_t PopTypedChar() {
  InputDevices* input = TheInputDevices();
  if (input == nullptr || input->typed.empty()) return 0;
  const int32_t c = input->typed.front();
  input->typed.erase(input->typed.begin());
  return c == 13 ? 10 : c;
}

bool PopTypedCharFlag() { return PopTypedChar() != 0; }

BasicString PopTypedCharString() {
  const int32_t c = PopTypedChar();
  return c != 0 ? BasicString(static_cast<char>(c)) : BasicString();
}

void ClearTypedChars() {
  if (InputDevices* input = TheInputDevices()) input->typed.clear();
}

int32_t TypedCharCount() {
  InputDevices* input = TheInputDevices();
  return input != nullptr ? static_cast<int32_t>(input->typed.size()) : 0;
}

void TypeText(const char* utf8) {
  if (utf8 == nullptr) return;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p != 0) AddTypedChar(CodePointToCodePage(NextCodePoint(p)));
}

void TypeKey(int32_t code) {
  // Keys whose character code arrives without text.
  switch (code) {
    case kKeyReturn:
    case kKeyPadEnter: AddTypedChar(kCharCarriageReturn); break;
    case kKeyBackspace: AddTypedChar(kCharBackspace); break;
    case kKeyTab: AddTypedChar(kCharTab); break;
    default: break;
  }
}

// ---------------------------------------------------------------- key to character

int32_t KeyCodeToChar(int32_t code) {
  switch (code) {
    case kKeyBackspace: return kCharBackspace;
    case kKeyReturn:
    case kKeyPadEnter: return kCharLineFeed;
    case kKeyLeftShift: case kKeyRightShift: case kKeyLeftControl: case kKeyLeftAlt: case kKeyCapsLock:
    case kKeyNumLock: case kKeyApplications: return 0;
    default: break;
  }
  if (code < 0 || code > 255) return 0;
  uint32_t cp = platform::KeyLayoutCharacter(code);
  if (cp == 0) return 0;
  const uint8_t* keys = platform::KeyboardState();
  const bool shift = ((keys[kKeyLeftShift] | keys[kKeyRightShift]) & 0x80) != 0;
  const bool letter = (cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7);
  if (letter) {
    if (shift != platform::CapsLockOn()) cp -= 0x20;
  } else if (shift && cp < 0x80 && !IsKeypadCode(code)) {
    cp = static_cast<unsigned char>(ShiftedUs(static_cast<char>(cp)));
  }
  const uint8_t c = CodePointToCodePage(cp);
  // Unrepresentable characters type nothing rather than a question mark.
  if (c == '?' && cp != '?') return 0;
  if ((c < 32 && c != kCharBackspace && c != kCharLineFeed) || c == 127) return 0;
  return c;
}
