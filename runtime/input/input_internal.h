// Shared between the input files and the window-event code of the host.
#pragma once

#include <cstdint>

#include "input/input.h"

// The current mouse's consumed position mapped onto the logical screen and
// clamped to it (inclusive); the clamped point becomes the reference again.
void MouseScreenPosition(InputDevices& input, int32_t* x, int32_t* y);
// A consuming read of every mouse of the list.
void ConsumeEveryMouse(InputDevices& input);
// The screen orientation, 0 without a renderer.
int32_t CurrentOrientation();
// Shows the system pointer (absolute positions) or takes it over (relative
// motion), and records the choice.
void SetPointerShown(InputDevices& input, bool show);
// Notes a joystick event of the event pump: devices that come or go are
// picked up at the next joystick query.
void NoteJoystickEvent(const platform::Event& event);
