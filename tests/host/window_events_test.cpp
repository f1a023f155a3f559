// Focus, pause and resume with the application's callbacks, the blocking key
// wait, and file dialogs (real helper programs standing in for zenity and
// kdialog).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "host/host.h"
#include "host/internal/window_events.h"
#include "input/input.h"
#include "input/input_test_util.h"
#include "support/child_process.h"

using namespace input_test;
namespace fs = std::filesystem;

namespace {

int g_pauses = 0;
int g_resumes = 0;
void OnPause() { ++g_pauses; }
void OnResume() { ++g_resumes; }
const RoutineEntry kCallbacks[] = {
    {&OnPause, "VLM_ON_PAUSE"}, {&OnResume, "VLM_ON_RESUME"}, {nullptr, nullptr}};

std::string Caption() { return platform::GetWindowCaption(Runtime().window); }

class Pause : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime();
    SetCallByNameTable(kCallbacks);
    g_pauses = g_resumes = 0;
    Settings().DebugMode = 0;
    AllowPause(1);
  }
  void TearDown() override {
    AllowPause(0);  // leaves nothing paused behind
    AllowPause(1);
    Settings().DebugMode = 0;
    SetCallByNameTable(nullptr);
    platform::SetWindowCaption(Runtime().window, Settings().AppTitle.c_str());
  }
};

}  // namespace

TEST_F(Pause, ReleaseBuildPausesOnFocusLossOnce) {
  const std::string title = Settings().AppTitle.c_str();
  Focus(false);
  Pump();
  EXPECT_EQ(IsPaused(), 1);
  EXPECT_EQ(g_pauses, 1);
  EXPECT_EQ(Caption(), title + " <pause>");
  Focus(false);
  Pump();
  EXPECT_EQ(g_pauses, 1);
  EXPECT_EQ(g_resumes, 0);
  // The frame holds in the pause loop until the focus comes back.
  Focus(true);
  ShowScreen();
  EXPECT_EQ(IsPaused(), 0);
  EXPECT_EQ(g_resumes, 1);
  EXPECT_EQ(Caption(), title);
}

TEST_F(Pause, DebugBuildKeepsRunning) {
  Settings().DebugMode = 1;
  platform::SetWindowCaption(Runtime().window, "unchanged");
  Focus(false);
  Pump();
  EXPECT_EQ(IsPaused(), 0);
  EXPECT_EQ(g_pauses, 0);
  EXPECT_EQ(Caption(), "unchanged");
  Focus(true);
  Pump();
  EXPECT_EQ(g_resumes, 0);
  EXPECT_EQ(Caption(), "unchanged");
}

TEST_F(Pause, ForbiddingPauseWhilePausedResumes) {
  Focus(false);
  Pump();
  ASSERT_EQ(IsPaused(), 1);
  AllowPause(0);
  EXPECT_EQ(IsPaused(), 0);
  EXPECT_EQ(g_resumes, 1);
  // While forbidden, focus loss changes the caption but pauses nothing.
  Focus(false);
  Pump();
  EXPECT_EQ(IsPaused(), 0);
  EXPECT_EQ(g_pauses, 1);
  SetPaused(1);
  EXPECT_EQ(IsPaused(), 0);
  AllowPause(1);
  SetPaused(1);
  EXPECT_EQ(IsPaused(), 1);
  EXPECT_EQ(g_pauses, 2);
  SetPaused(0);
  EXPECT_EQ(g_resumes, 2);
}

TEST(Waits, WaitForKeyTakesTheFirstNewCharacter) {
  Runtime();
  AddTypedChar('q');  // typed before the wait: not what it waits for
  Text("xy");
  EXPECT_EQ(WaitForKey(), 'x');
  EXPECT_EQ(PopTypedChar(), 'y');
}

namespace {
int g_hookCalls = 0;
void Hook() { ++g_hookCalls; }
}  // namespace

TEST(Waits, MessageHookIsLookedUpOnceAndRemembered) {
  Runtime();
  const RoutineEntry table[] = {{&Hook, "VLM_WIN32_MSG"}, {nullptr, nullptr}};
  SetCallByNameTable(table);
  CallWin32MessageHook();
  CallWin32MessageHook();
  EXPECT_EQ(g_hookCalls, 2);
  // The address found first stays in use.
  SetCallByNameTable(nullptr);
  CallWin32MessageHook();
  EXPECT_EQ(g_hookCalls, 3);
}

TEST(FileDialog, FilterListsForZenityAndKdialog) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(ZenityFilterArguments("Pictures|*.png;*.jpg"), Args{"--file-filter=Pictures | *.png *.jpg"});
  EXPECT_EQ(ZenityFilterArguments("Text|*.txt|All|*.*"),
            (Args{"--file-filter=Text | *.txt", "--file-filter=All | *.*"}));
  EXPECT_EQ(KdialogFilterArgument("Text|*.txt|All|*.*"), "*.txt|Text\n*.*|All");
  // A name without patterns, an empty entry and blanks around patterns.
  EXPECT_EQ(ZenityFilterArguments("Pictures| *.png ; *.jpg ;|Dangling"),
            Args{"--file-filter=Pictures | *.png *.jpg"});
  EXPECT_EQ(ZenityFilterArguments("A|*.a||B|*.b"), Args{"--file-filter=A | *.a"});
  EXPECT_TRUE(ZenityFilterArguments("").empty());
  EXPECT_TRUE(ZenityFilterArguments(nullptr).empty());
  // Only the first 1023 bytes reach the dialog.
  const std::string longName(1100, 'n');
  EXPECT_TRUE(ZenityFilterArguments((longName + "|*.x").c_str()).empty());
  const std::string fits(1000, 'n');
  const std::string last = "*.abcdefghijklmnopqrstuvwxyz";
  const std::string filter = fits + "|*.xyz;" + last;
  const Args cut = ZenityFilterArguments(filter.c_str());
  ASSERT_EQ(cut.size(), 1u);
  const size_t kept = 1023 - (filter.size() - last.size());
  EXPECT_EQ(cut[0], "--file-filter=" + fits + " | *.xyz " + last.substr(0, kept));
}

namespace {

// Puts helper programs into a folder that becomes the whole PATH.
class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime();
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
    setenv("PATH", bin_.path().c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  void Program(const std::string& name, const std::string& body) {
    const std::string file = bin_.File(name);
    testing_support::WriteWholeFile(file, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + ArgsFile() + "'\n" + body);
    fs::permissions(file, fs::perms::owner_all);
  }
  std::string ArgsFile() const { return work_.File("args.txt"); }
  std::vector<std::string> Args() const {
    return testing_support::Lines(testing_support::ReadWholeFile(ArgsFile()));
  }

  testing_support::TempDir bin_, work_;
  std::string savedPath_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

}  // namespace

TEST_F(Dialog, WithoutADialogProgramTheAnswerIsNoFile) {
  EXPECT_EQ(FileRequest(1, "Pictures|*.png;*.jpg"), BasicString("NO_FILE"));
  EXPECT_EQ(FileRequest(0, BasicString("Pictures|*.png;*.jpg")), BasicString("NO_FILE"));
  // The window is back afterwards.
  EXPECT_TRUE(platform::IsWindowShown(Runtime().window));
}

TEST_F(Dialog, ZenityChoiceComesBackWithForwardSlashes) {
  Program("zenity", "printf 'C:\\\\data\\\\a.png\\n'\n");
  EXPECT_EQ(FileRequest(1, "Pictures|*.png;*.jpg"), BasicString("C:/data/a.png"));
  const auto args = Args();
  EXPECT_TRUE(Contains(args, "--file-selection"));
  EXPECT_TRUE(Contains(args, "--file-filter=Pictures | *.png *.jpg"));
  EXPECT_TRUE(Contains(args, "--filename=" + platform::CurrentDirectory() + "/"));
  EXPECT_FALSE(Contains(args, "--save"));
  EXPECT_TRUE(platform::IsWindowShown(Runtime().window));

  EXPECT_EQ(FileRequest(0, "All|*.*"), BasicString("C:/data/a.png"));
  EXPECT_TRUE(Contains(Args(), "--save"));
}

TEST_F(Dialog, CancelAndEmptyAnswersAreNoFile) {
  Program("zenity", "exit 1\n");
  EXPECT_EQ(FileRequest(1, "All|*.*"), BasicString("NO_FILE"));
  Program("zenity", "printf '\\n'\n");
  EXPECT_EQ(FileRequest(1, "All|*.*"), BasicString("NO_FILE"));
}

TEST_F(Dialog, KdialogIsUsedWithoutZenity) {
  Program("kdialog", "printf '/home/user/b.txt\\n'\n");
  EXPECT_EQ(FileRequest(0, "Text|*.txt|All|*.*"), BasicString("/home/user/b.txt"));
  const auto args = Args();
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(args[0], "--getsavefilename");
  EXPECT_EQ(args[1], platform::CurrentDirectory());
  EXPECT_EQ(args[2], "*.txt|Text");
  ASSERT_GE(args.size(), 4u);  // the filter argument spans two lines
  EXPECT_EQ(args[3], "*.*|All");
}
