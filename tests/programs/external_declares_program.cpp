// Declares a function of a library that does not exist and one missing from
// a library that does, resolves them as start-up does, and exits with 0 when
// both stayed null. The tests run it under a debugger to see the reports.
#include "external/declared.h"

int main() {
  static int (*fromMissingLibrary)() = nullptr;
  static int (*missingEntry)() = nullptr;
  RegisterDeclare("vlm_absent_module.dll", "VlmAnything", &fromMissingLibrary);
  RegisterDeclare("libc.so.6", "VlmNoSuchEntry", &missingEntry);
  LoadDeclaredFunctions();
  UnloadDeclaredModules();
  return fromMissingLibrary == nullptr && missingEntry == nullptr ? 0 : 1;
}
