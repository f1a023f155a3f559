// Polyvane as built from its BASIC modules by vlmc: the tests compile in the
// same translation as the program.
#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"

namespace {

using testing_support::ReadWholeFile;

const std::string kBinaryDir = VELMORA_BINARY_DIR;

// The other tests of this program run the modules the program is built from,
// translated alike; only the process entry (and the header it needs) is left out.
TEST(TranslatedBuild, TestsRunTheModulesTheProgramIsBuiltFrom) {
  const std::string program = kBinaryDir + "/polyvane_basic/", tests = kBinaryDir + "/tests/polyvane_basic/";
  for (const char* file : {"polyvane.h", "polyvane_module0_polyvane.cpp", "polyvane_module1_shapes.cpp"}) {
    const std::string built = ReadWholeFile(program + file);
    EXPECT_GT(built.size(), 1000u) << file;
    EXPECT_EQ(ReadWholeFile(tests + file), built) << file;
  }
  const std::string built = ReadWholeFile(program + "polyvane_program.cpp");
  const std::string compiledIn = ReadWholeFile(tests + "polyvane_program.cpp");
  const size_t body = built.find("\nnamespace polyvane {");
  ASSERT_NE(body, std::string::npos);
  ASSERT_NE(compiledIn.find("\nnamespace polyvane {"), std::string::npos);
  EXPECT_EQ(compiledIn.substr(compiledIn.find("\nnamespace polyvane {")), built.substr(body, built.find("\nint main(") - body));
  EXPECT_NE(compiledIn.find("#include \"polyvane.h\""), std::string::npos);
}

}  // namespace
