// The process entry of Polyvane: hands the translated program to the runtime.
#include "polyvane.h"

int main(int argc, char** argv) {
  const Application app{&polyvane::settings, &polyvane::globalSetup, &polyvane::globalTeardown,
                        &polyvane::mainProgram, polyvane::kCallByName};
  return RunApplication(argc, argv, app);
}
