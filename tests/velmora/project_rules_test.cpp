// The rules the velmora command reads a project and its toolchain
// description by, checked in-process at each boundary.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "project.h"
#include "support/child_process.h"
#include "toolchain.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(VelmoraProjectRules, ProgramNames) {
  const struct {
    std::string name;
    bool ok;
  } cases[] = {
      {"a", true},          {"Z", true},           {"game_2-x", true},   {std::string(64, 'q'), true},
      {"", false},          {std::string(65, 'q'), false},             {"_a", false},
      {"-a", false},        {"0a", false},         {"9a", false},        {"`a", false},
      {"{a", false},        {"@a", false},         {"[a", false},        {"a b", false},
      {"a.b", false},       {"a/b", false},        {"a:b", false},       {"a`", false},
      {"a{", false},        {"a@", false},         {"a[", false},        {"az09AZ", true},
  };
  for (const auto& c : cases) EXPECT_EQ(velmora::IsProjectName(c.name), c.ok) << '"' << c.name << '"';
  EXPECT_EQ(velmora::ProgramIdentifier("my-game-2"), "my_game_2");
}

// The version is checked the way dpkg and the bundle's file names need it.
TEST(VelmoraProjectRules, Versions) {
  TempDir tmp;
  WriteWholeFile(tmp.File("main.bas"), "PRINT 1\n");
  const struct {
    std::string json;  // the "version" member's value
    const char* version;  // what is read, nullptr when refused
  } cases[] = {
      {"\"0\"", "0"},
      {"\"9.1+b~c\"", "9.1+b~c"},
      {"\"1.0.2Z\"", "1.0.2Z"},
      {"\"" + std::string(32, '1') + "\"", "11111111111111111111111111111111"},
      {"\"" + std::string(33, '1') + "\"", nullptr},
      {"\"\"", nullptr},
      {"\"a1\"", nullptr},
      {"\".1\"", nullptr},
      {"\"1 2\"", nullptr},
      {"\"1-2\"", nullptr},
      {"\"1/2\"", nullptr},
      {"\"1:2\"", nullptr},
      {"\"1_2\"", nullptr},
      {"1", nullptr},
      {"null", "0.1.0"},
  };
  for (const auto& c : cases) {
    WriteWholeFile(tmp.File("velmora.json"),
                   "{\"name\": \"p\", \"version\": " + c.json + ", \"modules\": [\"main.bas\"]}");
    velmora::Project project;
    std::string error;
    const bool ok = velmora::ReadProject(tmp.path(), &project, &error);
    EXPECT_EQ(ok, c.version != nullptr) << c.json << " " << error;
    if (ok && c.version != nullptr) EXPECT_EQ(project.version, c.version);
    if (!ok) EXPECT_NE(error.find("\"version\" must be"), std::string::npos) << error;
  }
}

// Settings are numbers in the 32-bit range or Latin-1 texts, by the kind the
// translator gives each name.
TEST(VelmoraProjectRules, SettingValues) {
  TempDir tmp;
  WriteWholeFile(tmp.File("main.bas"), "PRINT 1\n");
  const struct {
    std::string settings;
    bool ok;
  } cases[] = {
      {"{\"ScreenWidth\": 2147483647}", true},
      {"{\"ScreenWidth\": -2147483648}", true},
      {"{\"ScreenWidth\": 2147483648}", false},
      {"{\"ScreenWidth\": -2147483649}", false},
      {"{\"ScreenWidth\": \"640\"}", false},
      {"{\"AppTitle\": \"caf\\u00e9\"}", true},
      {"{\"AppTitle\": \"\\u0100\"}", false},
      {"[]", false},
      {"{}", true},
  };
  for (const auto& c : cases) {
    WriteWholeFile(tmp.File("velmora.json"),
                   "{\"name\": \"p\", \"modules\": [\"main.bas\"], \"settings\": " + c.settings + "}");
    velmora::Project project;
    std::string error;
    EXPECT_EQ(velmora::ReadProject(tmp.path(), &project, &error), c.ok) << c.settings << " " << error;
  }
  WriteWholeFile(tmp.File("velmora.json"),
                 "{\"name\": \"p\", \"modules\": [\"main.bas\"], \"settings\": "
                 "{\"ScreenWidth\": -7, \"AppTitle\": \"caf\\u00e9\"}}");
  velmora::Project project;
  std::string error;
  ASSERT_TRUE(velmora::ReadProject(tmp.path(), &project, &error)) << error;
  ASSERT_EQ(project.settings.size(), 2u);
  for (const auto& s : project.settings) {
    if (s.isText) EXPECT_EQ(s.text, "caf\xe9");
    else EXPECT_EQ(s.number, -7);
  }
}

// The project found from a folder below it, and none where there is none.
TEST(VelmoraProjectRules, FindingTheProjectFolder) {
  TempDir tmp;
  fs::create_directories(tmp.File("game/src/deep"));
  WriteWholeFile(tmp.File("game/velmora.json"), "{}");
  const std::string game = fs::path(tmp.File("game")).lexically_normal().string();
  EXPECT_EQ(velmora::FindProjectDir(tmp.File("game/src/deep")), game);
  EXPECT_EQ(velmora::FindProjectDir(tmp.File("game/src/deep/")), game);
  EXPECT_EQ(velmora::FindProjectDir(tmp.File("game")), game);
  EXPECT_EQ(velmora::FindProjectDir(tmp.path()), "");
}

class ToolchainFile : public testing::Test {
 protected:
  void TearDown() override { unsetenv("VELMORA_TOOLCHAIN"); }
  bool Load(const std::string& text, velmora::Toolchain* toolchain, std::string* error) {
    WriteWholeFile(tmp_.File("share/toolchain.txt"), text);
    setenv("VELMORA_TOOLCHAIN", tmp_.File("share/toolchain.txt").c_str(), 1);
    return velmora::LoadToolchain(toolchain, error);
  }
  void SetUp() override {
    fs::create_directories(tmp_.File("share"));
    fs::create_directories(tmp_.File("lib"));
    WriteWholeFile(tmp_.File("lib/libone.a"), "");
    WriteWholeFile(tmp_.File("lib/libtwo.a"), "");
  }
  TempDir tmp_;
};

TEST_F(ToolchainFile, KeysPathsAndComments) {
  velmora::Toolchain t;
  std::string error;
  ASSERT_TRUE(Load("# made by the build\n"
                   "cxx /usr/bin/g++-12\n"
                   "version 0.4.1\n"
                   "include ../include\n"
                   "include /opt/inc\n"
                   "library ../lib/libone.a\n"
                   "library " + tmp_.File("lib/libtwo.a") + "\n"
                   "link -lSDL2\n"
                   "link -pthread\n"
                   "\n"
                   "cxx\n"
                   "link \n"
                   "#cxx clang\n"
                   "unknown key\n",
                   &t, &error))
      << error;
  EXPECT_EQ(t.cxx, "/usr/bin/g++-12");
  EXPECT_EQ(t.version, "0.4.1");
  const std::string base = fs::path(tmp_.path()).lexically_normal().string();
  EXPECT_EQ(t.includes, (std::vector<std::string>{fs::path(base + "/include").lexically_normal().string(), "/opt/inc"}));
  EXPECT_EQ(t.libraries, (std::vector<std::string>{fs::path(base + "/lib/libone.a").lexically_normal().string(),
                                                   tmp_.File("lib/libtwo.a")}));
  EXPECT_EQ(t.linkFlags, (std::vector<std::string>{"-lSDL2", "-pthread"}));
  EXPECT_EQ(t.file, tmp_.File("share/toolchain.txt"));
}

TEST_F(ToolchainFile, Refusals) {
  velmora::Toolchain t;
  std::string error;
  EXPECT_FALSE(Load("cxx c++\n", &t, &error));
  EXPECT_NE(error.find("names no runtime library"), std::string::npos) << error;
  EXPECT_FALSE(Load("library ../lib/libone.a\nlibrary ../lib/gone.a\n", &t, &error));
  EXPECT_NE(error.find("gone.a"), std::string::npos) << error;
  EXPECT_NE(error.find("is missing"), std::string::npos) << error;
  setenv("VELMORA_TOOLCHAIN", tmp_.File("nowhere.txt").c_str(), 1);
  EXPECT_FALSE(velmora::LoadToolchain(&t, &error));
  EXPECT_NE(error.find("cannot read the toolchain description"), std::string::npos) << error;
}

}  // namespace
