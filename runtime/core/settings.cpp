// The compiled-in project settings that the program fills before start-up.
#include "core/settings.h"

ProjectSettings& Settings() {
  // Built on first use (the settings routine may run from a static
  // constructor) and never destroyed, so code running at exit still reads it.
  static ProjectSettings* const settings = new ProjectSettings;
  return *settings;
}
