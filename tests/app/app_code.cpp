// The application's code, compiled into the test program so that tests can
// call its routines directly (main.cpp, the process entry, stays out).
#include "../../app/generators.cpp"
#include "../../app/globals.cpp"
#include "../../app/main_program.cpp"
#include "../../app/settings.cpp"
