// Polyvane as built from its BASIC modules by vlmc: the tests compile in the
// same translation as the program.
#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"

namespace {

using testing_support::ReadWholeFile;

const std::string kBinaryDir = VELMORA_BINARY_DIR;

// The other tests of this program run the modules the program is built from,
// translated alike; only the process entry is left out.
TEST(TranslatedBuild, TestsRunTheModulesTheProgramIsBuiltFrom) {
  const std::string program = kBinaryDir + "/polyvane_basic/", tests = kBinaryDir + "/tests/polyvane_basic/";
  for (const char* file : {"polyvane.h", "polyvane_module0_polyvane.cpp", "polyvane_module1_shapes.cpp"}) {
    const std::string built = ReadWholeFile(program + file);
    EXPECT_GT(built.size(), 1000u) << file;
    EXPECT_EQ(ReadWholeFile(tests + file), built) << file;
  }
  const std::string built = ReadWholeFile(program + "polyvane_program.cpp");
  const std::string compiledIn = ReadWholeFile(tests + "polyvane_program.cpp");
  const size_t body = built.find("#include");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(compiledIn.substr(compiledIn.find("#include")), built.substr(body, built.find("\nint main(") - body));
}

}  // namespace
