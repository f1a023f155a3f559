// Polyvane's hand translation (tests/app/hand), compiled into the test program so
// that tests can call its routines directly (main.cpp, the process entry, stays out).
#include "hand/generators.cpp"
#include "hand/globals.cpp"
#include "hand/main_program.cpp"
#include "hand/settings.cpp"
