// Declared functions of other libraries, resolved at start-up. This program
// declares none; the calls stay empty until the subsystem is built.
#include "external/external.h"

void LoadDeclaredFunctions() {}
void FreeDeclaredFunctions() {}
