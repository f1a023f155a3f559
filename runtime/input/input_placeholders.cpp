// First cut of the input calls that start-up and the frame loop make: the
// keyboard state for the quit keys and the typed-character queue. The input
// devices proper (mouse, joysticks, the full typed-character rules) replace
// this file.
#include <cstring>

#include "host/subsystems.h"

namespace {

uint8_t g_keys[256];
bool g_pointerShown = false;
char g_typed[16];
int g_typedCount = 0;

void AddTypedChar(int c) {
  if (c == 0) return;
  if (c == 13) c = 10;
  if (c > 0 && c < 32 && c != 8 && c != 9 && c != 10) return;
  if (g_typedCount >= 16) return;
  g_typed[g_typedCount++] = static_cast<char>(c);
}

}  // namespace

void CreateInputDevices() { std::memset(g_keys, 0, sizeof g_keys); }
int32_t InitInput(platform::Window*, bool) { return 1; }
void DestroyInputDevices() {}
void SetInputWindow(platform::Window*) {}
void ResetKeyQueryCounter() {}
void RefreshKeyboard() { std::memcpy(g_keys, platform::KeyboardState(), sizeof g_keys); }
bool KeyStateDown(int32_t code) { return code >= 0 && code < 256 && (g_keys[code] & 0x80) != 0; }
void ConsumeMouseMotionForFrame() {}
void TypeText(const char* utf8) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p != 0; ++p)
    if (*p < 0x80) AddTypedChar(*p);
}
void TypeKey(int32_t code) {
  if (code == 28 || code == 156) AddTypedChar(13);
  if (code == 14) AddTypedChar(8);
  if (code == 15) AddTypedChar(9);
}
void ShowMousePointer(double show) {
  g_pointerShown = show != 0.0;
  platform::ShowSystemPointer(g_pointerShown);
}
bool PointerShown() { return g_pointerShown; }
void ReleaseInputForDebugger() {}
void ResetInputAfterDebugger() {}
