// The process entry of Pathfinder: hands the translated program to the runtime.
#include "pathfinder.h"

int main(int argc, char** argv) {
  const Application app{&pathfinder::settings, &pathfinder::globalSetup, &pathfinder::globalTeardown,
                        &pathfinder::mainProgram, pathfinder::kCallByName};
  return RunApplication(argc, argv, app);
}
