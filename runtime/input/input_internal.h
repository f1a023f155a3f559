// Shared between the input files only.
#pragma once

#include <cstdint>

#include "input/input.h"

// The screen orientation, 0 without a renderer.
int32_t CurrentOrientation();
// Shows the system pointer (absolute positions) or takes it over (relative
// motion), and records the choice.
void SetPointerShown(InputDevices& input, bool show);
