// The velmora command as a user meets it: real projects in temporary
// folders, the real compiler, the programs run headless.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/screenshot.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildResult;
using testing_support::Image;
using testing_support::Near;
using testing_support::ReadWholeFile;
using testing_support::Rgb;
using testing_support::RunProgram;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

const std::vector<std::string> kHeadless{"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "DISPLAY="};

// In the sanitizer build the programs `run` starts link the sanitizers too;
// their leak check is the runtime tests' business, not this command's.
std::string WithoutLeakCheck() {
  const char* options = std::getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (options != nullptr && *options != '\0' ? std::string(options) + ":" : "") +
         "detect_leaks=0";
}

ChildResult Velmora(const std::vector<std::string>& args, const std::string& cwd, const TempDir& tmp,
                    int timeout = 300) {
  std::vector<std::string> env = kHeadless;
  if (!args.empty() && args[0] == "run") env.push_back(WithoutLeakCheck());
  return RunProgram(VELMORA_COMMAND, args, tmp.path(), env, cwd, timeout);
}

std::string Summary(const ChildResult& r) {
  std::smatch m;
  static const std::regex line("velmora: \\S+ \\((debug|release)\\): [^\n]*");
  return std::regex_search(r.err, m, line) ? m.str() : "(no summary in: " + r.err + ")";
}

fs::file_time_type Modified(const std::string& path) {
  std::error_code ec;
  return fs::last_write_time(path, ec);
}

// A project of the given modules (name, text) with an optional data folder.
void MakeProject(const std::string& dir, const std::string& json,
                 const std::vector<std::pair<std::string, std::string>>& files) {
  fs::create_directories(dir);
  WriteWholeFile(dir + "/velmora.json", json);
  for (const auto& [name, text] : files) {
    fs::create_directories(fs::path(dir + "/" + name).parent_path());
    WriteWholeFile(dir + "/" + name, text);
  }
}

TEST(VelmoraCommand, CommandLineRefusalsExitTwoWithOneLine) {
  TempDir tmp;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"launch"}, "no command 'launch'"},
      {{"build", "--deb"}, "build: unknown option --deb"},
      {{"run", "--template", "3d"}, "run: unknown option --template"},
      {{"new"}, "new: a name is needed"},
      {{"new", "9lives"}, "'9lives' is no project name"},
      {{"new", "a", "--template", "4d"}, "unknown template '4d'"},
      {{"check", "a", "b"}, "check: one folder only"},
      {{"bundle", "--", "x"}, "'--' belongs to `velmora run`"},
      {{"help", "fly"}, "no command 'fly'"},
      {{"check", tmp.path()}, "no velmora.json in"},
  };
  for (const Case& c : cases) {
    const ChildResult r = Velmora(c.args, tmp.path(), tmp);
    EXPECT_EQ(r.exitCode, 2) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(testing_support::Lines(r.err).size(), 1u) << r.err;
  }
  const ChildResult none = Velmora({}, tmp.path(), tmp);
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_NE(none.err.find("usage: velmora COMMAND"), std::string::npos);
}

TEST(VelmoraCommand, HelpOfEachCommand) {
  TempDir tmp;
  for (const char* command : {"new", "run", "check", "build", "bundle"}) {
    const ChildResult r = Velmora({command, "--help"}, tmp.path(), tmp);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind(std::string("usage: velmora ") + command, 0), 0u) << r.out;
    const ChildResult viaHelp = Velmora({"help", command}, tmp.path(), tmp);
    EXPECT_EQ(viaHelp.out, r.out);
  }
  const ChildResult all = Velmora({"--help"}, tmp.path(), tmp);
  EXPECT_EQ(all.exitCode, 0);
  for (const char* command : {"new", "run", "check", "build", "bundle"})
    EXPECT_NE(all.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
}

TEST(VelmoraCommand, BadProjectsAreRefusedBeforeAnyWork) {
  TempDir tmp;
  const std::string okModule = "PRINT 1\n";
  struct Case {
    const char* json;
    std::vector<std::pair<std::string, std::string>> files;
    const char* message;
  };
  const Case cases[] = {
      {"{\"modules\": [\"main.bas\"", {{"main.bas", okModule}}, "velmora.json: not valid JSON"},
      {"[1]", {}, "must hold a JSON object"},
      {"{\"name\": \"p\"}", {}, "\"modules\" must list"},
      {"{\"name\": \"p\", \"modules\": []}", {}, "\"modules\" must list"},
      {"{\"name\": \"p\", \"modules\": [\"gone.bas\"]}", {}, "module \"gone.bas\" does not exist"},
      {"{\"name\": \"p\", \"modules\": [\"../outside.bas\"]}", {}, "is outside the project's folder"},
      {"{\"name\": \"p\", \"modules\": [\"/etc/passwd.bas\"]}", {}, "is outside the project's folder"},
      {"{\"name\": \"p\", \"modules\": [\"main.txt\"]}", {{"main.txt", okModule}}, "is not a .bas file"},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\", \"./main.bas\"]}", {{"main.bas", okModule}}, "is named twice"},
      {"{\"name\": \"p\", \"modules\": [3]}", {}, "must hold file names"},
      {"{\"name\": \"9p\", \"modules\": [\"main.bas\"]}", {{"main.bas", okModule}}, "\"name\" must be"},
      {"{\"name\": \"p\", \"version\": \"v1\", \"modules\": [\"main.bas\"]}", {{"main.bas", okModule}},
       "\"version\" must be"},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\"], \"data\": \"media\"}", {{"main.bas", okModule}},
       "data folder \"media\" does not exist"},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\"], \"data\": \"../\"}", {{"main.bas", okModule}},
       "must be a folder inside the project"},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\"], \"settings\": {\"ScreenWide\": 3}}", {{"main.bas", okModule}},
       "unknown setting \"ScreenWide\""},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\"], \"settings\": {\"ScreenWidth\": 3.5}}",
       {{"main.bas", okModule}}, "\"ScreenWidth\" must be a whole number"},
      {"{\"name\": \"p\", \"modules\": [\"main.bas\"], \"settings\": {\"AppTitle\": 3}}", {{"main.bas", okModule}},
       "\"AppTitle\" must be a text"},
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string dir = tmp.File("p" + std::to_string(k++));
    MakeProject(dir, c.json, c.files);
    for (const char* command : {"check", "build"}) {
      const ChildResult r = Velmora({command, dir}, tmp.path(), tmp);
      EXPECT_EQ(r.exitCode, 2) << c.json << " " << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << c.json << "\n" << r.err;
      EXPECT_EQ(testing_support::Lines(r.err).size(), 1u) << r.err;
      EXPECT_FALSE(fs::exists(dir + "/.velmora")) << c.json;
    }
  }
  // A module that is a link leading out of the folder is outside it too.
  const std::string linked = tmp.File("linked");
  MakeProject(linked, "{\"name\": \"p\", \"modules\": [\"main.bas\"]}", {});
  WriteWholeFile(tmp.File("elsewhere.bas"), okModule);
  fs::create_symlink(tmp.File("elsewhere.bas"), linked + "/main.bas");
  const ChildResult r = Velmora({"check", linked}, tmp.path(), tmp);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("leads outside the project's folder"), std::string::npos) << r.err;
}

// The starter project: made, run headless for three frames, its picture read back.
TEST(VelmoraCommand, NewProjectRunsHeadlessAndDraws) {
  TempDir tmp;
  const ChildResult made = Velmora({"new", "starter"}, tmp.path(), tmp);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string dir = tmp.File("starter");
  for (const char* f : {"velmora.json", "main.bas", "media/beep.wav", ".vscode/launch.json", ".vscode/tasks.json",
                        ".gitignore"})
    EXPECT_TRUE(fs::is_regular_file(dir + "/" + f)) << f;
  EXPECT_NE(ReadWholeFile(dir + "/.vscode/launch.json").find("\"preLaunchTask\": \"velmora build\""),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(dir + "/.vscode/tasks.json").find("\"label\": \"velmora build\""), std::string::npos);
  // A second new into the same folder is refused and changes nothing.
  const std::string before = ReadWholeFile(dir + "/main.bas");
  const ChildResult again = Velmora({"new", "starter", "--template", "3d"}, tmp.path(), tmp);
  EXPECT_EQ(again.exitCode, 2);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(dir + "/main.bas"), before);

  const ChildResult run = Velmora({"run", "--", "--frames", "3", "--screenshot", tmp.File("shot.png")}, dir, tmp);
  ASSERT_EQ(run.exitCode, 0) << run.err << run.runLog;
  EXPECT_EQ(Summary(run), "velmora: starter (debug): 1 of 1 modules translated, 2 of 2 files compiled, linked");
  Image shot;
  ASSERT_TRUE(shot.Load(tmp.File("shot.png")));
  EXPECT_EQ(shot.Width(), 640);
  EXPECT_EQ(shot.Height(), 480);
  // The square (colour $00C0FF: red 255, green 192) in the middle, the dark blue background
  // ($402010) around it, the green ground strip at the bottom.
  EXPECT_TRUE(Near(shot.At(320, 240), 255, 192, 0, 8));
  EXPECT_TRUE(Near(shot.At(320, 180), 16, 32, 64, 8));
  EXPECT_TRUE(Near(shot.At(320, 460), 32, 80, 32, 8));
  // The debug build's line map lies beside it, for the debugger.
  EXPECT_NE(ReadWholeFile(dir + "/.velmora/debug/starter.vlmmap").find("vlmmap 1"), std::string::npos);
  // The data folder's sound is beside the program, where LoadSound finds it by name.
  EXPECT_TRUE(fs::exists(dir + "/.velmora/debug/beep.wav"));

  // The 3D starter draws its lit box, floor and shadow over the background.
  const ChildResult made3d = Velmora({"new", "cube", "--template", "3d"}, tmp.path(), tmp);
  ASSERT_EQ(made3d.exitCode, 0) << made3d.err;
  const ChildResult run3d =
      Velmora({"run", tmp.File("cube"), "--release", "--", "--frames", "3", "--screenshot", tmp.File("cube.png")},
              tmp.path(), tmp);
  ASSERT_EQ(run3d.exitCode, 0) << run3d.err;
  Image cube;
  ASSERT_TRUE(cube.Load(tmp.File("cube.png")));
  const int background = cube.Count([](Rgb c) { return Near(c, 24, 32, 48, 6); });
  const int box = cube.Count([](Rgb c) { return c.r > c.b + 60 && c.r > 100; });
  const int floor = cube.Count([](Rgb c) { return c.g > c.r + 20 && c.g > c.b + 20; });
  EXPECT_GT(background, 640 * 480 / 4);
  EXPECT_GT(box, 500);
  EXPECT_GT(floor, 2000);
}

TEST(VelmoraCommand, TranslationErrorsStopBeforeTheCompiler) {
  TempDir tmp;
  const std::string dir = tmp.File("broken");
  MakeProject(dir, "{\"name\": \"broken\", \"modules\": [\"main.bas\", \"lib/more.bas\"]}",
              {{"main.bas", "x = 1\nshow(x)\n"},
               {"lib/more.bas", "SUB show(v)\n  PRINT v\nEND SUB\n\nSUB other\n  LOCAL y\n  y = 1 +\nEND SUB\n"}});
  for (const char* command : {"check", "build", "run"}) {
    const ChildResult r = Velmora({command}, dir, tmp);
    EXPECT_EQ(r.exitCode, 1) << command << r.err;
    // The error names the module as the user wrote it, at its line and column, with a caret.
    EXPECT_EQ(r.err.rfind("lib/more.bas:7:10: expected a value", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\n    y = 1 +\n           ^\n"), std::string::npos) << r.err;
  }
  // Nothing reached the C++ compiler.
  EXPECT_FALSE(fs::exists(dir + "/.velmora/debug/broken"));
  for (const auto& entry : fs::recursive_directory_iterator(dir + "/.velmora"))
    EXPECT_NE(entry.path().extension(), ".o") << entry.path();

  WriteWholeFile(dir + "/lib/more.bas", "SUB show(v)\n  PRINT v\nEND SUB\n");
  const ChildResult fixed = Velmora({"check"}, dir, tmp);
  EXPECT_EQ(fixed.exitCode, 0) << fixed.err;
  EXPECT_NE(fixed.err.find("no errors in 2 modules"), std::string::npos);
}

// The cache: what is built again after an edit.
TEST(VelmoraCommand, OnlyTheEditedModuleIsTranslatedAndCompiledAgain) {
  TempDir tmp;
  const std::string dir = tmp.File("two");
  const std::string logic = "FUNCTION twice(v)\n  RETURN v * 2\nEND FUNCTION\n";
  MakeProject(dir, "{\"name\": \"two\", \"modules\": [\"main.bas\", \"logic.bas\"]}",
              {{"main.bas", "PRINT twice(21)\nEND\n"}, {"logic.bas", logic}});
  const std::string work = dir + "/.velmora/debug/build/";
  const std::string object0 = work + "two_module0_main.o", object1 = work + "two_module1_logic.o";

  ChildResult r = Velmora({"run"}, dir, tmp);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "42\nexit\n");
  EXPECT_EQ(Summary(r), "velmora: two (debug): 2 of 2 modules translated, 3 of 3 files compiled, linked");
  const auto main0 = Modified(object0), logic0 = Modified(object1);

  r = Velmora({"run"}, dir, tmp);
  EXPECT_EQ(r.out, "42\nexit\n");
  EXPECT_EQ(Summary(r), "velmora: two (debug): 0 of 2 modules translated, 0 of 3 files compiled, up to date");

  // A routine's body changes: its module alone is translated and compiled.
  WriteWholeFile(dir + "/logic.bas", "FUNCTION twice(v)\n  RETURN v * 2 + 1\nEND FUNCTION\n");
  r = Velmora({"run"}, dir, tmp);
  EXPECT_EQ(r.out, "43\nexit\n");
  EXPECT_EQ(Summary(r), "velmora: two (debug): 1 of 2 modules translated, 1 of 3 files compiled, linked");
  EXPECT_EQ(Modified(object0), main0);
  EXPECT_NE(Modified(object1), logic0);

  // A new global changes the program's header, which every file includes.
  WriteWholeFile(dir + "/logic.bas", "GLOBAL calls\nFUNCTION twice(v)\n  calls = calls + 1\n  RETURN v * 2\nEND FUNCTION\n");
  r = Velmora({"run"}, dir, tmp);
  EXPECT_EQ(r.out, "42\nexit\n");
  EXPECT_EQ(Summary(r), "velmora: two (debug): 1 of 2 modules translated, 3 of 3 files compiled, linked");

  // The release build has a cache of its own, and leaves the debug one as it is.
  r = Velmora({"build", "--release"}, dir, tmp);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, dir + "/.velmora/release/two\n");
  EXPECT_EQ(Summary(r), "velmora: two (release): 2 of 2 modules translated, 3 of 3 files compiled, linked");
  r = Velmora({"build"}, dir, tmp);
  EXPECT_EQ(r.out, dir + "/.velmora/debug/two\n");
  EXPECT_EQ(Summary(r), "velmora: two (debug): 0 of 2 modules translated, 0 of 3 files compiled, up to date");
  // A lost object file is compiled again, alone.
  fs::remove(object0);
  r = Velmora({"build"}, dir, tmp);
  EXPECT_EQ(Summary(r), "velmora: two (debug): 0 of 2 modules translated, 1 of 3 files compiled, linked");
  EXPECT_TRUE(fs::exists(object0));
}

// Settings in velmora.json are the program's defaults; its own PROJECT statements win.
TEST(VelmoraCommand, ProjectSettingsComeBeforeTheProgramsOwn) {
  TempDir tmp;
  const std::string dir = tmp.File("sized");
  const std::string draw = "ClearScreen($0000FF)\nREPEAT\n  ShowScreen()\nFOREVER\n";
  MakeProject(dir, "{\"name\": \"sized\", \"modules\": [\"main.bas\"], \"settings\": {\"ScreenWidth\": 320, "
                   "\"ScreenHeight\": 200}}",
              {{"main.bas", draw}});
  ChildResult r = Velmora({"run", "--", "--frames", "2", "--screenshot", tmp.File("a.png")}, dir, tmp);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Image a;
  ASSERT_TRUE(a.Load(tmp.File("a.png")));
  EXPECT_EQ(a.Width(), 320);
  EXPECT_EQ(a.Height(), 200);
  EXPECT_TRUE(Near(a.At(10, 10), 255, 0, 0, 4));
  WriteWholeFile(dir + "/main.bas", "PROJECT ScreenWidth = 256\n" + draw);
  r = Velmora({"run", "--", "--frames", "2", "--screenshot", tmp.File("b.png")}, dir, tmp);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Image b;
  ASSERT_TRUE(b.Load(tmp.File("b.png")));
  EXPECT_EQ(b.Width(), 256);
  EXPECT_EQ(b.Height(), 200);
}

}  // namespace

namespace {

// The bundle: a tarball that runs from any folder with a clean environment,
// and the Debian package of the same files.
TEST(VelmoraCommand, BundleRunsUnpackedFromAnywhereWithACleanEnvironment) {
  TempDir tmp;
  ASSERT_EQ(Velmora({"new", "gift"}, tmp.path(), tmp).exitCode, 0);
  const std::string dir = tmp.File("gift");
  // A second data file the program shows it has read: its text on the screen decides the colour.
  WriteWholeFile(dir + "/media/colour.txt", "65280\n");
  WriteWholeFile(dir + "/main.bas",
                 "OpenFile(1, \"colour.txt\", 1)\n"
                 "ReadNumberLine(1, c)\n"
                 "CloseFile(1)\n"
                 "ClearScreen(c)\n"
                 "REPEAT\n  ShowScreen()\nFOREVER\n");
  const ChildResult made = Velmora({"bundle", "--deb"}, dir, tmp, 600);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string tarball = dir + "/gift-0.1.0-linux-x86_64.tar.gz", deb = dir + "/gift_0.1.0_amd64.deb";
  EXPECT_EQ(made.out, tarball + "\n" + deb + "\n");

  const std::string unpacked = tmp.File("unpacked");
  fs::create_directories(unpacked);
  ASSERT_EQ(RunProgram("/bin/tar", {"-xzf", tarball, "-C", unpacked}, "", {}, "", 60).exitCode, 0);
  const std::string top = unpacked + "/gift-0.1.0-linux-x86_64";
  // The data went into the program's archive: nothing lies loose beside it.
  std::vector<std::string> libFiles;
  for (const auto& e : fs::directory_iterator(top + "/lib")) libFiles.push_back(e.path().filename().string());
  EXPECT_EQ(libFiles, std::vector<std::string>{"gift"});
  const std::string readme = ReadWholeFile(top + "/README");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(readme, m, std::regex("\nDebian packages: ([^\n]+)\n"))) << readme;
  const std::string packages = " " + m[1].str() + " ";
  for (const char* needed : {" libsdl2-2.0-0 ", " libsdl2-mixer-2.0-0 ", " libgl1-mesa-dri ", " libegl-mesa0 "})
    EXPECT_NE(packages.find(needed), std::string::npos) << needed << " in" << packages;
  EXPECT_EQ(packages.find("-dev "), std::string::npos) << packages;

  // Run through the launcher from another folder, with nothing in the environment.
  std::vector<std::string> clean{"-i", top + "/gift", "--frames", "2", "--screenshot", tmp.File("gift.png")};
  if (std::getenv("ASAN_OPTIONS") != nullptr) clean.insert(clean.begin() + 1, WithoutLeakCheck());
  const ChildResult run = RunProgram("/usr/bin/env", clean, "", {}, "/", 120);
  ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
  Image shot;
  ASSERT_TRUE(shot.Load(tmp.File("gift.png")));
  EXPECT_EQ(shot.Width(), 640);
  EXPECT_TRUE(Near(shot.At(100, 100), 0, 255, 0, 4));

  // The Debian package: the same program under /usr/lib, the launcher on PATH, runtime packages only.
  const ChildResult fields = RunProgram("/usr/bin/dpkg-deb", {"-f", deb, "Package", "Depends"}, "", {}, "", 60);
  ASSERT_EQ(fields.exitCode, 0) << fields.err;
  EXPECT_NE(fields.out.find("Package: gift\n"), std::string::npos) << fields.out;
  EXPECT_NE(fields.out.find("libsdl2-2.0-0"), std::string::npos) << fields.out;
  EXPECT_EQ(fields.out.find("-dev"), std::string::npos) << fields.out;
  const ChildResult contents = RunProgram("/usr/bin/dpkg-deb", {"-c", deb}, "", {}, "", 60);
  EXPECT_NE(contents.out.find(" ./usr/bin/gift\n"), std::string::npos) << contents.out;
  EXPECT_NE(contents.out.find(" ./usr/lib/gift/gift\n"), std::string::npos) << contents.out;
}

}  // namespace
