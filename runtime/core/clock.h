// The millisecond clock's record and its start-up: the platform's
// high-resolution counter, which GetMilliseconds (core/core.h) reads in
// milliseconds since the first reading.
#pragma once

#include <cstdint>

// The clock's record: whether a counter exists, its frequency and the first reading.
struct MillisecondClock {
  int32_t hasCounter = 0;         // the platform offers a counter
  double counterFrequency = 0.0;  // its counts per second
  double origin = 0.0;            // milliseconds of the first reading
};

// The process's clock record.
MillisecondClock& TheMillisecondClock();
// Reads the counter's frequency (start-up).
void InitTimer();
