// External code: other programs started from this one (RunProgram). The
// functions of shared libraries a program declares are registered by the
// translated code and resolved at start-up through external/declared.h.
#pragma once

#include <cstdint>

#include "core/basic_string.h"

// Runs another program. The command line is split into arguments the way a
// Windows program splits its command line (CommandLineArguments in
// external/declared.h); the first names the program, found through PATH (a
// trailing ".exe" that does not exist is dropped). It is started directly,
// never through a shell. With wait non-zero the program blocks until the child
// ends and exitCode receives its exit status (the low 8 bits of its exit code,
// as the system keeps it; 128 + the signal number when a signal ended it).
// Without wait exitCode is 0. Full screen is left first and the window gets
// the focus back afterwards. The show flag has no counterpart for a POSIX
// program and is accepted as it is. Returns 1 when the program started, else
// 0.
int32_t RunProgram(const BasicString& command, double wait, double show, double& exitCode);
