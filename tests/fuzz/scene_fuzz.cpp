// libFuzzer target: Polyvane's start-up, which reads the scene, on arbitrary
// bytes written as test.pvs in a folder of its own: the translated main program
// up to its frame loop. Without a renderer the screen mode and the texture loads
// do nothing; objects are built into a mesh engine without GL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../app/app_code.cpp"

namespace {

// An object count of 1000 or more ends the program through the bounds error
// (the arrays hold 0..999), which would end the fuzzer too: such inputs are
// skipped after reading the two counts as the program does.
bool EndsInBoundsError() {
  OpenFile(1, "test.pvs", 1);
  Number ktm = 0, nm = 0;
  BasicString name;
  if (!EndOfFile(1)) ReadNumberLine(1, ktm);
  if (ktm - ktm != 0) ktm = 0;
  for (Number i = 1; i <= ktm && !EndOfFile(1); ++i) ReadLine(1, name);
  if (!EndOfFile(1)) ReadNumberLine(1, nm);
  CloseFile(1);
  return nm - nm == 0 && nm >= 1000;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmora-scene-fuzz";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  app_test::Engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out("test.pvs", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (EndsInBoundsError()) return 0;
  static const int32_t frameLoop = app_test::MainStatement("Begin3D(");
  app_test::RunMainProgramTo(frameLoop);
  // A texture count is never left non-finite, and the counts read are
  // within what the loops could run.
  if (polyvane::ktm - polyvane::ktm != 0 || polyvane::nm - polyvane::nm != 0) std::abort();
  return 0;
}
