// Declared library functions (loading, reports, calls) and RunProgram (the
// command-line split, starting without a shell, waiting and exit codes).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/debug.h"
#include "core/run_log.h"
#include "external/declared.h"
#include "external/external.h"
#include "platform/platform.h"
#include "support/child_process.h"

namespace {

using testing_support::ReadWholeFile;
using testing_support::TempDir;

using AddFunction = int32_t (*)(int32_t, int32_t);
using HalfFunction = double (*)(double);

// TMPDIR (and so the run log) in a fresh folder; the declaration table is
// emptied after each test.
class External : public testing::Test {
 protected:
  External() : savedTmp_(platform::EnvironmentVariable("TMPDIR")) {
    platform::SetEnvironmentVariable("TMPDIR", tmp_.path().c_str());
  }
  ~External() override {
    UnloadDeclaredModules();
    platform::SetEnvironmentVariable("TMPDIR", savedTmp_.c_str());
  }
  std::string RunLog() const { return ReadWholeFile(RunLogPath()); }
  std::string File(const std::string& name) const { return tmp_.File(name); }

 private:
  TempDir tmp_;
  std::string savedTmp_;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

const std::string kChild = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/external_child_program";

// A function pointer holding something other than null, to see it cleared.
template <typename F>
F Junk() {
  return reinterpret_cast<F>(reinterpret_cast<void*>(uintptr_t{1}));
}

}  // namespace

TEST_F(External, OneLibraryUnderTwoSpellingsLoadsOnceAndItsEntriesRun) {
  const std::string path = VELMORA_DECLARED_LIBRARY;
  const size_t slash = path.find_last_of('/');
  std::string shouted = path;
  for (size_t i = slash + 1; i < shouted.size(); ++i) shouted[i] = static_cast<char>(std::toupper(shouted[i]));
  ASSERT_NE(shouted, path);

  auto add = Junk<AddFunction>();
  auto half = Junk<HalfFunction>();
  RegisterDeclare(path.c_str(), "VlmAddNumbers", &add);
  RegisterDeclare(shouted.c_str(), "VlmHalf", &half);
  EXPECT_EQ(add, nullptr);
  EXPECT_EQ(half, nullptr);
  EXPECT_EQ(DeclarationCount(), 2u);

  LoadDeclaredFunctions();
  // The second spelling names no file here: had it been loaded again, it
  // would have failed and been reported.
  EXPECT_EQ(RunLog(), "Delay load DLLs\n");
  EXPECT_EQ(DeclaredModuleCount(), 1u);
  ASSERT_NE(add, nullptr);
  ASSERT_NE(half, nullptr);
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_EQ(add(-7, 3), -4);
  EXPECT_EQ(half(5.0), 2.5);

  // One load, given back once: the library is gone afterwards.
  UnloadDeclaredModules();
  EXPECT_EQ(DeclaredModuleCount(), 0u);
  EXPECT_EQ(DeclarationCount(), 0u);
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(External, WindowsLibraryNameFallsBackToTheSharedObjectName) {
  // "vlmdeclared.dll" does not load; "libvlmdeclared.so" is found in the
  // folder the test program searches for libraries.
  auto add = Junk<AddFunction>();
  RegisterDeclare("vlmdeclared.dll", "VlmAddNumbers", &add);
  LoadDeclaredFunctions();
  EXPECT_EQ(RunLog(), "Delay load DLLs\n");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(1, 2), 3);
}

TEST_F(External, MissingLibraryAndEntryAreReportedAndStayNull) {
  const std::string path = VELMORA_DECLARED_LIBRARY;
  auto fromMissingLibrary = Junk<AddFunction>();
  auto missingEntry = Junk<AddFunction>();
  auto present = Junk<AddFunction>();
  RegisterDeclare("nowhere/vlm_absent.dll", "VlmAddNumbers", &fromMissingLibrary);
  RegisterDeclare(path.c_str(), "VlmNoSuchEntry", &missingEntry);
  RegisterDeclare(path.c_str(), "VlmAddNumbers", &present);
  LoadDeclaredFunctions();
  EXPECT_EQ(fromMissingLibrary, nullptr);
  EXPECT_EQ(missingEntry, nullptr);
  ASSERT_NE(present, nullptr);
  EXPECT_EQ(present(2, 2), 4);
  // Each report is its line plus the line ending the log adds.
  EXPECT_EQ(RunLog(),
            "Delay load DLLs\n"
            "DECLARE module not found: nowhere/vlm_absent.dll\n\n"
            "DECLARE entry not found: VlmNoSuchEntry\n\n");
  EXPECT_EQ(DeclaredModuleCount(), 1u);
}

TEST_F(External, EmptyTableStillLogsEveryStart) {
  LoadDeclaredFunctions();
  LoadDeclaredFunctions();
  EXPECT_EQ(RunLog(), "Delay load DLLs\nDelay load DLLs\n");
  EXPECT_EQ(DeclaredModuleCount(), 0u);
}

TEST(CommandLineArguments, SplitsByTheWindowsRules) {
  using Args = std::vector<std::string>;
  const struct {
    const char* command;
    Args args;
  } cases[] = {
      {R"(prog "a b" 'c;d' $(x))", {"prog", "a b", "'c;d'", "$(x)"}},
      {R"("C:\Program Files\x.exe" a\\b c\)", {R"(C:\Program Files\x.exe)", R"(a\\b)", R"(c\)"}},
      {R"(p a\"b a\\\"b)", {"p", R"(a"b)", R"(a\"b)"}},
      {R"(p "a\\" b)", {"p", R"(a\)", "b"}},
      {R"(p "a""b" "")", {"p", R"(a"b)", ""}},
      {R"(p a"b c"d)", {"p", "ab cd"}},
      {"  p\t x\t\t y  ", {"p", "x", "y"}},
      {R"("my prog"x y)", {"my progx", "y"}},
      {R"(p\"q r" s)", {R"(p\q r)", "s"}},
      {R"(p "unclosed \" quote)", {"p", R"(unclosed " quote)"}},
      {"", {}},
      {" \t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineArguments(c.command), c.args) << c.command;
}

TEST_F(External, WaitedProgramGetsItsArgumentsUninterpretedAndReturnsItsCode) {
  const struct {
    double wait;
    const char* code;
    const char* rest;
    std::vector<std::string> args;
    double exitCode;
  } cases[] = {
      {1, "0", R"("a b" 'c;d' $(x))", {"a b", "'c;d'", "$(x)"}, 0},
      {1, "300", R"(`echo hi` a\"b "x""y" | > & *)", {"`echo", "hi`", R"(a"b)", R"(x"y)", "|", ">", "&", "*"}, 44},
      {-2, "-1", "", {}, 255},
      {NAN, "9", "  tab\tsplit", {"tab", "split"}, 9},
      {1, "signal:9", "k", {"k"}, 128 + 9},
  };
  int run = 0;
  for (const auto& c : cases) {
    const std::string report = File("report" + std::to_string(run++));
    const std::string command = Quoted(kChild) + " " + Quoted(report) + " " + c.code + " " + c.rest;
    double exitCode = -5;
    EXPECT_EQ(RunProgram(BasicString(command.c_str()), c.wait, 1, exitCode), 1) << command;
    EXPECT_EQ(exitCode, c.exitCode) << command;
    std::string expected;
    for (const std::string& arg : c.args) expected += arg + "\n";
    EXPECT_EQ(ReadWholeFile(report), expected) << command;
  }
}

TEST_F(External, ProgramNotWaitedForReturnsAtOnceWithCodeZero) {
  const std::string report = File("report");
  const std::string gate = File("gate");
  const std::string command = Quoted(kChild) + " " + Quoted(report) + " " + Quoted("gate:" + gate) + " z";
  double exitCode = -5;
  ASSERT_EQ(RunProgram(BasicString(command.c_str()), 0, 0, exitCode), 1);
  EXPECT_EQ(exitCode, 0);
  // The child cannot have finished: it waits for the gate, which does not
  // exist yet. Nor is it a child of this process to be waited for.
  EXPECT_FALSE(std::filesystem::exists(report));
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
  testing_support::WriteWholeFile(gate, "open");
  for (int i = 0; i < 6000 && !std::filesystem::exists(report); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadWholeFile(report), "z\n");
}

TEST_F(External, ProgramIsFoundThroughPathWithOrWithoutExe) {
  const std::string savedPath = platform::EnvironmentVariable("PATH");
  platform::SetEnvironmentVariable("PATH", (std::string("/nonexistent:") + VELMORA_TEST_PROGRAMS_DIR).c_str());
  const struct {
    const char* program;
    double exitCode;
  } cases[] = {{"external_child_program", 3}, {"EXTERNAL_CHILD_PROGRAM.EXE", -1}, {"external_child_program.Exe", 3}};
  for (const auto& c : cases) {
    const std::string report = File("report");
    std::filesystem::remove(report);
    double exitCode = -1;
    const std::string command = std::string(c.program) + " " + Quoted(report) + " 3 p";
    EXPECT_EQ(RunProgram(BasicString(command.c_str()), 1, 1, exitCode), c.exitCode >= 0 ? 1 : 0) << c.program;
    EXPECT_EQ(exitCode, c.exitCode >= 0 ? c.exitCode : 0) << c.program;
    EXPECT_EQ(std::filesystem::exists(report), c.exitCode >= 0) << c.program;
  }
  platform::SetEnvironmentVariable("PATH", savedPath.c_str());
}

namespace {
int g_before = 0;
int g_after = 0;
}  // namespace

TEST_F(External, UnstartableProgramGivesZeroAndTheWindowHooksStillRun) {
  SetRunProgramHooks([] { ++g_before; }, [] { ++g_after; });
  const std::string folder = VELMORA_SOURCE_DIR;
  int calls = 0;
  for (const std::string& command : {std::string(), std::string(" \t"), std::string("vlm-no-such-program x"),
                                    Quoted(folder) + " x", std::string("\"\" x")}) {
    double exitCode = -5;
    EXPECT_EQ(RunProgram(BasicString(command.c_str()), 1, 1, exitCode), 0) << command;
    EXPECT_EQ(exitCode, 0) << command;
    ++calls;
    EXPECT_EQ(g_before, calls);
    EXPECT_EQ(g_after, calls);
  }
  SetRunProgramHooks(nullptr, nullptr);
}

TEST_F(External, UnstartableProgramSetsTheErrorAndLogsTheReason) {
  testing_support::WriteWholeFile(File("plain.txt"), "not a program\n");  // no execute permission
  const std::string noFormat = File("no-format");
  testing_support::WriteWholeFile(noFormat, "neither an ELF file nor a script\n");
  std::filesystem::permissions(noFormat, std::filesystem::perms::owner_all);
  const std::string folder = VELMORA_SOURCE_DIR;
  const struct {
    std::string command;
    std::string logLine;
  } cases[] = {
      {"", "RunProgram: empty command"},
      {"\"\" x", "RunProgram: empty command"},
      {"vlm-no-such-program x", "RunProgram: cannot start \"vlm-no-such-program\": not found in PATH"},
      {Quoted(File("missing")) + " x", "RunProgram: cannot start \"" + File("missing") + "\": no such file"},
      {Quoted(File("plain.txt")), "RunProgram: cannot start \"" + File("plain.txt") + "\": not executable"},
      {Quoted(folder) + " x", "RunProgram: cannot start \"" + folder + "\": a folder"},
      {Quoted(noFormat), "RunProgram: cannot start \"" + noFormat + "\": Exec format error"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(RunLogPath());
    ClearLastError();
    double exitCode = -5;
    EXPECT_EQ(RunProgram(BasicString(c.command.c_str()), 1, 1, exitCode), 0) << c.command;
    EXPECT_EQ(exitCode, 0) << c.command;
    EXPECT_EQ(LastErrorCode, kErrorNoSuchFile) << c.command;
    EXPECT_EQ(RunLog(), c.logLine + "\n") << c.command;
  }
  // A program that starts clears the error of the one before and logs nothing.
  std::filesystem::remove(RunLogPath());
  SetLastError(kErrorNoSuchFile);
  const std::string command = Quoted(kChild) + " " + Quoted(File("report")) + " 5 ok";
  double exitCode = -5;
  EXPECT_EQ(RunProgram(BasicString(command.c_str()), 1, 1, exitCode), 1);
  EXPECT_EQ(exitCode, 5);
  EXPECT_EQ(LastErrorCode, kErrorNone);
  EXPECT_EQ(ReadWholeFile(File("report")), "ok\n");
  EXPECT_EQ(RunLog(), "");
}

TEST(ExternalUnderDebugger, ReportsReachTheDebuggerAsText) {
  if (!std::filesystem::exists("/usr/bin/gdb")) GTEST_SKIP() << "gdb is not installed";
  TempDir tmp;
  // Every message the runtime sends to the debugger, printed in brackets.
  const std::string script = tmp.File("messages.gdb");
  testing_support::WriteWholeFile(script,
                                  "set breakpoint pending on\n"
                                  "break VelmoraDebuggerMessage\n"
                                  "commands\nsilent\nprintf \"MSG[%s]\\n\", text\ncontinue\nend\n"
                                  "run\n");
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/external_declares_program";
  const auto result = testing_support::RunProgram("/usr/bin/gdb", {"-nx", "-batch", "-x", script, program},
                                                  tmp.path(), {}, "", 120);
  if (result.out.find("MSG[") == std::string::npos &&
      (result.err.find("ptrace") != std::string::npos || result.err.find("not permitted") != std::string::npos))
    GTEST_SKIP() << "the debugger may not attach here: " << result.err;
  EXPECT_NE(result.out.find("MSG[TXDECLARE module not found: vlm_absent_module.dll\n]"), std::string::npos)
      << result.out << result.err;
  EXPECT_NE(result.out.find("MSG[TXDECLARE entry not found: VlmNoSuchEntry\n]"), std::string::npos)
      << result.out << result.err;
  EXPECT_NE(result.out.find("exited normally"), std::string::npos) << result.out;
  EXPECT_EQ(ReadWholeFile(tmp.File("ErrorLog.txt")),
            "Delay load DLLs\n"
            "DECLARE module not found: vlm_absent_module.dll\n\n"
            "DECLARE entry not found: VlmNoSuchEntry\n\n");
}
