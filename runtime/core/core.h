// The language runtime core: values (strings, arrays, numbers), text and
// numeric built-ins, errors, the run log and debug-mode support.
#pragma once

#include <cstdint>

#include "core/basic_array.h"
#include "core/basic_string.h"
#include "core/clock.h"
#include "core/debug.h"
#include "core/generated.h"
#include "core/numeric.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/text.h"

// The language's numeric value.
using Number = double;
