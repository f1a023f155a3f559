// What the sound tests look at beyond the public operations.
#pragma once

#include <cstdint>

// Frames the device has produced since it was opened.
int64_t MixedFrames();
// Frames of a copy already played (its position in the sound), -1 when the
// copy does not exist.
int64_t CopyPosition(int32_t number, int32_t copy);
// The music loop deadline (milliseconds of the runtime clock; negative while
// paused, 0 when not looping).
double MusicLoopDeadline();
// The gain of each side for a pan in hundredths of a decibel (positive: the
// left side is attenuated) and a volume in hundredths of a decibel.
void SideGains(int32_t pan, int32_t volume, float* left, float* right);
