// The process entry of Arcade: hands the translated program to the runtime.
#include "arcade.h"

int main(int argc, char** argv) {
  const Application app{&arcade::settings, &arcade::globalSetup, &arcade::globalTeardown,
                        &arcade::mainProgram, arcade::kCallByName};
  return RunApplication(argc, argv, app);
}
