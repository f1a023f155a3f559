// Font glyph measuring: text widths of arbitrary bytes with the built-in
// font, and with a font read from an arbitrary picture, measured glyph by
// glyph. Starts a headless runtime (offscreen GL) once per process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec_fuzz_input.h"
#include "core/core.h"
#include "core/settings.h"
#include "gfx2d/gfx2d.h"
#include "host/host.h"
#include "host/runtime.h"

namespace {

constexpr int32_t kPictureFont = 1;  // the slot a picture font is loaded into

// Every width of text with the current font of cell width cellWidth: fixed
// widths are one cell per byte, proportional ones at most that.
void CheckWidths(const char* text, int32_t cellWidth, bool fixedAdvance) {
  const int64_t length = static_cast<int64_t>(std::strlen(text));
  const int32_t fixed = GetTextWidth(text, 0);
  const int32_t proportional = GetTextWidth(text, 1);
  if (fixed != length * cellWidth) std::abort();
  if (proportional < 0 || proportional > length * cellWidth) std::abort();
  if (fixedAdvance && proportional != fixed) std::abort();
  if (GetTextWidth(BasicString(text), 1) != proportional) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  ProjectSettings& settings = Settings();
  settings.ScreenWidth = 64;
  settings.ScreenHeight = 64;
  settings.FullScreen = 0;
  settings.AppTitle = "Velmora fuzz";
  if (!StartRuntime(10, "Velmora fuzz")) {
    std::fprintf(stderr, "the runtime could not start (no GL window)\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // First byte even: the whole input is text for the built-in 8-pixel font.
  if ((data[0] & 1) == 0) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = 0;
    SetFont(0);
    CheckWidths(text.get(), 8, true);
    return 0;
  }
  // First byte odd: the rest is a font picture, measured when it is read
  // (the built-in font takes the slot when it cannot be); then every byte
  // is measured with it.
  FuzzMemoryFile file(data + 1, size - 1);
  const bool loaded = LoadFont(file.name(), kPictureFont);
  SetFont(kPictureFont);
  int32_t cellWidth = 0, cellHeight = 0;
  GetFontSize(cellWidth, cellHeight);
  if (!loaded && (cellWidth != 8 || cellHeight != 8)) std::abort();
  char every[256];
  for (int i = 1; i < 256; ++i) every[i - 1] = static_cast<char>(i);
  every[255] = 0;
  CheckWidths(every, cellWidth, !loaded);
  SetFont(0);
  return 0;
}
