// Declared functions of other libraries, resolved at start-up. This program
// declares none; the calls stay empty until the subsystem is built.
#include "host/subsystems.h"

void LoadDeclaredFunctions() {}
void FreeDeclaredFunctions() {}
