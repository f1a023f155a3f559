// The command line and executable path texts kept for the program.
#include "core/basic_string.h"
#include "host/host.h"

BasicString& CommandLineText() {
  static BasicString text;
  return text;
}

BasicString& ExecutablePathText() {
  static BasicString text;
  return text;
}
