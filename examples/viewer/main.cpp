// The process entry of the viewer example: hands the translated program to the runtime.
#include "viewer.h"

int main(int argc, char** argv) {
  const Application app{&viewer::settings, &viewer::globalSetup, &viewer::globalTeardown, &viewer::mainProgram,
                        viewer::kCallByName};
  return RunApplication(argc, argv, app);
}
