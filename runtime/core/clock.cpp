// The millisecond clock.
#include "core/clock.h"

#include "core/core.h"
#include "platform/platform.h"

MillisecondClock& TheMillisecondClock() {
  static MillisecondClock clock;
  return clock;
}

void InitTimer() {
  MillisecondClock& clock = TheMillisecondClock();
  clock.hasCounter = 0;
  const uint64_t frequency = platform::CounterFrequency();
  if (frequency > 0) {
    clock.counterFrequency = static_cast<double>(frequency);
    clock.hasCounter = 1;
  }
}

double GetMilliseconds() {
  const uint64_t frequency = platform::CounterFrequency();
  if (frequency == 0) return 0.0;
  // counts x 1000 / frequency in integers, wide enough that a long uptime of
  // a nanosecond counter does not overflow.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(platform::CounterNow()) * 1000u;
  const double ms = static_cast<double>(static_cast<uint64_t>(scaled / frequency));
  MillisecondClock& clock = TheMillisecondClock();
  if (clock.origin == 0.0) clock.origin = ms;
  return ms - clock.origin;
}
