// Platform information, the environment, line files and INI files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

#include "core/core.h"
#include "files/files_internal.h"
#include "files/files.h"
#include "files/read_channel.h"
#include "files_test_util.h"

namespace fs = std::filesystem;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::RunInChild;
using testing_support::WriteWholeFile;

namespace {

std::string Info(const char* key) {
  BasicString text(key);
  return PlatformInfo(text).c_str();
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    platform::SetEnvironmentVariable(name, value.c_str());
  }
  ~ScopedEnv() { platform::SetEnvironmentVariable(name_, had_ ? old_.c_str() : ""); }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

std::string Strftime(std::time_t when, bool utc) {
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", utc ? std::gmtime(&when) : std::localtime(&when));
  return text;
}

// Runs a Python snippet; false when python3 is missing or fails.
bool Python(const std::string& code) {
  const std::string command = "python3 -c \"" + code + "\"";
  return std::system(command.c_str()) == 0;
}

}  // namespace

TEST(PlatformInfo, KeysAreUpperCasedInThePlaceOfTheCaller) {
  BasicString key("time");
  const std::time_t before = std::time(nullptr);
  const std::string local = PlatformInfo(key).c_str();
  const std::time_t after = std::time(nullptr);
  EXPECT_STREQ(key.c_str(), "TIME");
  EXPECT_TRUE(local == Strftime(before, false) || local == Strftime(after, false)) << local;
  const std::string utc = Info("utcTime");
  EXPECT_TRUE(utc == Strftime(before, true) || utc == Strftime(std::time(nullptr), true)) << utc;

  EXPECT_EQ(Info(""), "LINUX");
  EXPECT_EQ(Info("device"), "DESKTOP");
  EXPECT_EQ(Info("no such key"), "NO_DATA");
  EXPECT_EQ(Info("VERSION"), "000.001");
  EXPECT_TRUE(std::regex_match(Info("compiled"), std::regex("[A-Z][a-z]{2} [ 0-9]\\d \\d{4}-\\d\\d:\\d\\d:\\d\\d")))
      << Info("compiled");
  EXPECT_TRUE(std::regex_match(Info("HOSTID"), std::regex("[0-9A-F]{8}")));
  const std::string id = Info("id");
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}"))) << id;
  EXPECT_EQ(Info("ID"), id);
  // No GL context in this process: no entry point is found.
  BasicString glKey("glext:glActiveTextureARB");
  EXPECT_STREQ(PlatformInfo(glKey).c_str(), "0");
  EXPECT_STREQ(glKey.c_str(), "GLEXT:GLACTIVETEXTUREARB");
}

TEST(PlatformInfo, BatteryFromPowerSupplyFolders) {
  TempFolder dir;
  const std::string root = dir.File("power");
  fs::create_directories(root + "/AC");
  WriteWholeFile(root + "/AC/type", "Mains\n");
  EXPECT_EQ(files_internal::BatteryPercent(root), 100);  // mains only
  fs::create_directories(root + "/BAT0");
  WriteWholeFile(root + "/BAT0/type", "Battery\n");
  WriteWholeFile(root + "/BAT0/capacity", "57\n");
  EXPECT_EQ(files_internal::BatteryPercent(root), 57);
  WriteWholeFile(root + "/BAT0/capacity", "104\n");
  EXPECT_EQ(files_internal::BatteryPercent(root), 100);
  WriteWholeFile(root + "/BAT0/capacity", "junk\n");
  EXPECT_EQ(files_internal::BatteryPercent(root), 100);
  EXPECT_EQ(files_internal::BatteryPercent(dir.File("nowhere")), 100);
  const int here = std::atoi(Info("battery").c_str());
  EXPECT_GE(here, 0);
  EXPECT_LE(here, 100);
}

TEST(PlatformInfo, LocaleCodes) {
  const std::pair<const char*, const char*> cases[] = {
      {"de_DE.UTF-8", "de"}, {"en_US", "uk"},     {"en_GB.UTF-8", "us"}, {"C", "us"},    {"POSIX", "us"},
      {"", "us"},            {"C.UTF-8", "us"},   {"el_GR", "gr"},       {"ja_JP", "jp"}, {"zh_CN", "ch"},
      {"zh_HK", "zh"},       {"pt_BR", "pt"},     {"nb_NO", "no"},       {"id_ID", "in"}, {"fr_CA@euro", "fr"},
      {"xx_YY", "us"},       {"uk_UA", "uk"},     {"sr_RS@latin", "sr"}, {"en", "uk"},   {"en_AU", "us"},
      {"en_US.UTF-8", "uk"}, {"en_IE", "us"},
  };
  for (const auto& [locale, code] : cases) EXPECT_EQ(files_internal::LocaleCode(locale), code) << locale;
  // The rules every code passes through.
  EXPECT_EQ(files_internal::LocaleCodeRules("ENG"), "uk");
  EXPECT_EQ(files_internal::LocaleCodeRules("english-uk"), "uk");
  EXPECT_EQ(files_internal::LocaleCodeRules("DU"), "nl");
  EXPECT_EQ(files_internal::LocaleCodeRules("POL"), "pl");
  EXPECT_EQ(files_internal::LocaleCodeRules("AM"), "us");
  EXPECT_EQ(files_internal::LocaleCodeRules("x"), "us");

  ScopedEnv all("LC_ALL", "");
  ScopedEnv messages("LC_MESSAGES", "");
  ScopedEnv lang("LANG", "de_DE.UTF-8");
  EXPECT_EQ(Info("locale"), "de");
  {
    ScopedEnv over("LC_MESSAGES", "ja_JP.UTF-8");
    EXPECT_EQ(Info("locale"), "jp");
    ScopedEnv first("LC_ALL", "en_GB.UTF-8");
    EXPECT_EQ(Info("locale"), "us");
    ScopedEnv american("LC_ALL", "en_US.UTF-8");
    EXPECT_EQ(Info("locale"), "uk");
  }
  ScopedEnv none("LANG", "");
  EXPECT_EQ(Info("locale"), "us");
}

TEST(PlatformInfo, FoldersFromTheUserEnvironment) {
  TempFolder dir;
  const std::string home = dir.File("home");
  fs::create_directories(home + "/.config");
  ScopedEnv homeVar("HOME", home);
  ScopedEnv config("XDG_CONFIG_HOME", "");
  ScopedEnv data("XDG_DATA_HOME", "");
  EXPECT_EQ(Info("documents"), home + "/Documents");
  WriteWholeFile(home + "/.config/user-dirs.dirs",
                 "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                 "XDG_DOCUMENTS_DIR=\"$HOME/Papers/\"\n");
  EXPECT_EQ(Info("DOCUMENTS"), home + "/Papers");

  EXPECT_EQ(Info("appdata"), home + "/.local/share/Velmora");
  EXPECT_TRUE(fs::is_directory(home + "/.local/share/Velmora"));
  {
    ScopedEnv own("XDG_DATA_HOME", dir.File("data"));
    EXPECT_EQ(Info("APPDATA"), dir.File("data/Velmora"));
    EXPECT_TRUE(fs::is_directory(dir.File("data/Velmora")));
  }
  EXPECT_EQ(Info("temp"), dir.path());
}

TEST(Environment, GetAndPut) {
  PutEnvironment("VLM_FILES_TEST", "some value");
  EXPECT_STREQ(GetEnvironment("VLM_FILES_TEST").c_str(), "some value");
  EXPECT_STREQ(std::getenv("VLM_FILES_TEST"), "some value");
  const std::string all = GetEnvironment("").c_str();
  EXPECT_NE(all.find("VLM_FILES_TEST=some value\n"), std::string::npos);
  if (const char* path = std::getenv("PATH")) {
    EXPECT_NE(all.find(std::string("PATH=") + path + "\n"), std::string::npos);
  }
  EXPECT_EQ(all.back(), '\n');
  PutEnvironment("VLM_FILES_TEST", "");
  EXPECT_EQ(std::getenv("VLM_FILES_TEST"), nullptr);
  EXPECT_STREQ(GetEnvironment("VLM_FILES_TEST").c_str(), "");
}

TEST(LineFiles, ReadLinesAndSentinels) {
  TempFolder dir;
  const std::string crlf = dir.File("crlf.txt");
  const std::string lf = dir.File("lf.txt");
  WriteWholeFile(crlf, "zero\r\n\r\ntwo\t\r\n");
  WriteWholeFile(lf, "zero\n\ntwo\t\n");
  for (const std::string& name : {crlf, lf}) {
    EXPECT_STREQ(ReadFileLine(name.c_str(), 0).c_str(), "zero");
    EXPECT_STREQ(ReadFileLine(name.c_str(), 1).c_str(), "NO_DATA");
    EXPECT_STREQ(ReadFileLine(name.c_str(), 2).c_str(), "two");  // tab and CR trimmed
    EXPECT_STREQ(ReadFileLine(name.c_str(), 3).c_str(), "NO_DATA");
    EXPECT_EQ(LastErrorCode, 0);
  }
  EXPECT_STREQ(ReadFileLine(crlf.c_str(), 300).c_str(), "NO_DATA");
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_STREQ(ReadFileLine(crlf.c_str(), -1).c_str(), "NO_DATA");
  EXPECT_EQ(LastErrorCode, 7);
  // A missing file reports so every time, not only on the first call.
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_STREQ(ReadFileLine(dir.File("missing.txt").c_str(), 0).c_str(), "NO_FILE");
    EXPECT_EQ(LastErrorCode, 3);
  }
  // Only 256 lines are held.
  std::string many;
  for (int i = 0; i < 300; ++i) many += "line" + std::to_string(i) + "\n";
  WriteWholeFile(dir.File("many.txt"), many);
  EXPECT_STREQ(ReadFileLine(dir.File("many.txt").c_str(), 255).c_str(), "line255");
  EXPECT_EQ(WriteFileLine(dir.File("many.txt").c_str(), 256, "x"), 7);
  EXPECT_EQ(LastErrorCode, 7);
}

TEST(LineFiles, WritingLineFiveOfANewFileAtProgramEnd) {
  TempFolder dir;
  const std::string path = dir.File("new.txt");
  const auto result = RunInChild([&] {
    WriteFileLine(path.c_str(), 5, "five");
    std::exit(0);  // a normal exit writes the store back
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(ReadWholeFile(path), "\r\n\r\n\r\n\r\n\r\nfive\r\n");
}

TEST(LineFiles, SelectingAnotherFileWritesBackTheChangedOne) {
  TempFolder dir;
  const std::string first = dir.File("first.txt");
  WriteWholeFile(first, "a\nb\nc\n");
  EXPECT_EQ(WriteFileLine(first.c_str(), 1, "B"), 0);
  EXPECT_EQ(ReadWholeFile(first), "a\nb\nc\n");  // still cached
  EXPECT_STREQ(ReadFileLine(dir.File("other.txt").c_str(), 0).c_str(), "NO_FILE");
  EXPECT_EQ(ReadWholeFile(first), "a\r\nB\r\nc\r\n");
  // A name in another letter case writes back to the file that was read.
  WriteWholeFile(dir.File("Mixed.txt"), "x\n");
  EXPECT_EQ(WriteFileLine(dir.File("MIXED.TXT").c_str(), 0, "y"), 0);
  FlushFileStores();
  EXPECT_EQ(ReadWholeFile(dir.File("Mixed.txt")), "y\r\n");
  EXPECT_FALSE(fs::exists(dir.File("MIXED.TXT")));
}

TEST(IniFiles, ParsingRules) {
  TempFolder dir;
  const std::string path = dir.File("game.ini");
  WriteWholeFile(path,
                 "top=level\r\n"
                 "; a comment\r\n"
                 "[Video]\r\n"
                 "  width = 640  \r\n"
                 "\theight\t=\t480\r\n"
                 "no equals sign\r\n"
                 "empty =   \r\n"
                 "[ Audio ]\r\n"
                 "volume=0.5\r\n"
                 "[Two Words]\r\n"
                 "x=1\n");
  IniOpen(path.c_str());
  EXPECT_STREQ(IniGet("Video", "width", "?").c_str(), "640  ");  // only control characters are trimmed
  EXPECT_STREQ(IniGet("VIDEO", "HEIGHT", "?").c_str(), "480");
  EXPECT_STREQ(IniGet("", "top", "?").c_str(), "level");
  EXPECT_STREQ(IniGet("Video", "empty", "default").c_str(), "default");
  EXPECT_STREQ(IniGet("Video", "no", "default").c_str(), "default");
  EXPECT_STREQ(IniGet("audio", "volume", "?").c_str(), "0.5");
  EXPECT_STREQ(IniGet("Two", "x", "?").c_str(), "1");  // a section name ends at a blank
  EXPECT_STREQ(IniGet("Missing", "x", "fallback").c_str(), "fallback");
  IniOpen("");
  EXPECT_STREQ(IniGet("Video", "width", "closed").c_str(), "closed");
  EXPECT_EQ(ReadWholeFile(path).substr(0, 9), "top=level");  // unchanged: not written
}

TEST(IniFiles, WriteBackOrderRemovalAndEmptySections) {
  TempFolder dir;
  const std::string path = dir.File("three.ini");
  WriteWholeFile(path, "[First]\r\na=1\r\n[Lonely]\r\n[Second]\r\nb=2\r\n[Third]\r\nc=3\r\n");
  IniOpen(path.c_str());
  IniPut("first", "", "");
  IniPut("Second", "B", "22");  // the stored key keeps its spelling
  IniPut("New", "k", "v");
  IniOpen("");
  EXPECT_EQ(ReadWholeFile(path), "[Third]\r\nc=3\r\n[Second]\r\nb=22\r\n[New]\r\nk=v\r\n");

  // At program end the store is written back too.
  const auto result = RunInChild([&] {
    IniOpen(path.c_str());
    IniPut("Third", "d", "4");
    std::exit(0);
  });
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(ReadWholeFile(path), "[Third]\r\nc=3\r\nd=4\r\n[Second]\r\nb=22\r\n[New]\r\nk=v\r\n");
}

TEST(IniFiles, ReadsWhatPythonWritesAndPythonReadsWhatWeWrite) {
  TempFolder dir;
  const std::string path = dir.File("py.ini");
  if (!Python("import configparser; c=configparser.ConfigParser(); c.optionxform=str; "
              "c['Video']={'width':'800','Depth':'32'}; c['Player Data']={'name':'Ann Lee'}; "
              "c['Sound']={'volume':'0.75'}; c.write(open('" + path + "','w'))"))
    GTEST_SKIP() << "python3 is not available";
  IniOpen(path.c_str());
  EXPECT_STREQ(IniGet("Video", "width", "?").c_str(), "800");
  EXPECT_STREQ(IniGet("video", "depth", "?").c_str(), "32");
  EXPECT_STREQ(IniGet("Sound", "volume", "?").c_str(), "0.75");
  // A section name with a blank does not survive: it is cut at the blank.
  EXPECT_STREQ(IniGet("Player", "name", "?").c_str(), "Ann Lee");
  IniPut("Sound", "volume", "0.5");
  IniPut("Extra", "key", "with = sign");
  IniOpen("");
  const std::string check = dir.File("check.txt");
  ASSERT_TRUE(Python("import configparser; c=configparser.ConfigParser(); c.optionxform=str; c.read('" + path +
                     "'); open('" + check + "','w').write(c['Video']['width']+'|'+c['Sound']['volume']+'|'+" +
                     "c['Extra']['key'])"));
  EXPECT_EQ(ReadWholeFile(check), "800|0.5|with = sign");
}

TEST(IniFiles, MemoryFilesAreNeverWritten) {
  TempFolder dir;
  char text[] = "[Video]\r\nwidth=640\r\n";
  RegisterMemoryFile(text, sizeof text - 1);
  const std::string name = MemoryFileName(text, sizeof text - 1);
  IniOpen(name.c_str());
  EXPECT_STREQ(IniGet("Video", "width", "?").c_str(), "640");
  IniPut("Video", "width", "1024");
  EXPECT_STREQ(IniGet("Video", "width", "?").c_str(), "1024");
  IniOpen("");
  EXPECT_STREQ(text, "[Video]\r\nwidth=640\r\n");
  UnregisterMemoryFile(text);
  // Nothing named after the memory file appeared either.
  EXPECT_FALSE(fs::exists("mem:"));
}

TEST(PlatformInfo, GlExtensionLookUpWithARealContext) {
  // A GL context needs the video subsystem; run it in a child so this
  // process stays free of it.
  const auto result = RunInChild([] {
    if (!platform::Init()) {
      std::printf("no video\n");
      return;
    }
    platform::Window* window = platform::CreateWindow("files test", 0, 0, 64, 64, platform::GLConfig{});
    platform::GLContext* context = window != nullptr ? platform::CreateGLContext(window) : nullptr;
    if (context == nullptr || !platform::MakeCurrent(window, context)) {
      std::printf("no video\n");
      return;
    }
    // With a context the entry point is found. (EGL and GLX hand out stubs
    // for names they do not know, so a missing entry point cannot be told
    // apart here: only the answer for a real one is checked.)
    BasicString key("glext:glActiveTextureARB");
    const BasicString found = PlatformInfo(key);
    // A context made after one is deleted (often at the same address) has
    // a serial of its own.
    const uint64_t first = platform::GLContextSerial(context);
    platform::MakeCurrent(nullptr, nullptr);
    platform::DeleteGLContext(context);
    platform::GLContext* again = platform::CreateGLContext(window);
    const uint64_t second = platform::GLContextSerial(again);
    std::printf("%s %s %s\n", found.c_str(), key.c_str(), first != 0 && second != 0 && second != first ? "new" : "old");
    platform::DeleteGLContext(again);
  });
  if (result.out.find("no video") != std::string::npos) GTEST_SKIP() << "no GL context here";
  EXPECT_EQ(result.out, "1 GLEXT:GLACTIVETEXTUREARB new\n") << result.err;
}
