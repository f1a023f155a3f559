// Shared between the input files (and their tests).
#pragma once

#include <cstdint>

#include "input/devices.h"
#include "input/input.h"

// The screen orientation, 0 without a renderer.
int32_t CurrentOrientation();
// Shows the system pointer (absolute positions) or takes it over (relative
// motion), and records the choice.
void SetPointerShown(InputDevices& input, bool show);
// UTF-8 text to the 8-bit code page (Windows-1252): code points below 256
// map to themselves except 0x80-0x9F, the code page's specials (the euro
// sign, typographic quotes, ...) to their bytes, anything else to '?'.
// Writes at most capacity bytes; returns the count.
int32_t Utf8ToCodePage(const char* utf8, uint8_t* out, int32_t capacity);
// One code point to the code page byte (rules as Utf8ToCodePage).
uint8_t CodePointToCodePage(uint32_t codePoint);
// The effect SetJoystickForce plays: level 0..10000 from fx² + fy² scaled by
// 10000 x 0.5, direction (fx, fy) in ten-thousandths.
void JoystickForceEffect(Number forceX, Number forceY, int32_t* level, int32_t* dx, int32_t* dy);
// Hat direction (hundredths of a degree) to x and y in -1, 0, 1 (unturned).
void HatDirection(int32_t hat, int32_t& x, int32_t& y);
