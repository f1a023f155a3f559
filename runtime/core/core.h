// The language runtime core: values, errors, debug-mode support.
#pragma once

#include <cstdint>

#include "core/basic_string.h"
#include "core/debug.h"
#include "core/run_log.h"
#include "core/settings.h"

using Number = double;

// Seeds the random generator (start-up seeds it with the milliseconds since
// the clock's first reading).
void SeedRnd(uint32_t seed);
