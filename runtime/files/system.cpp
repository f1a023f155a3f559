// Platform facts by key, and the process environment.
#include "files/system.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/text.h"
#include "files/files_internal.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string FormatTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string Now(bool utc) {
  const std::time_t now = std::time(nullptr);
  const std::tm* broken = utc ? std::gmtime(&now) : std::localtime(&now);
  return broken == nullptr ? std::string("NO_DATA") : FormatTime(*broken);
}

std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
  return line;
}

// A stable identifier of this machine: the systemd/D-Bus machine id,
// scrambled (FNV-1a) into eight hexadecimal digits.
std::string MachineId() {
  for (const char* source : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    const std::string id = FirstLine(source);
    if (id.empty()) continue;
    uint32_t hash = 2166136261u;
    for (char c : id) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08X", hash);
    return text;
  }
  return "00000000";
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

std::string DocumentsFolder() {
  const std::string home = HomeFolder();
  if (home.empty()) return "NO_DATA";
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::string folder = home + "/Documents";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    // XDG_DOCUMENTS_DIR="$HOME/Documents"
    const std::string key = "XDG_DOCUMENTS_DIR=";
    const size_t at = line.find(key);
    if (at == std::string::npos || line.find_first_not_of(" \t") != at) continue;
    std::string value = line.substr(at + key.size());
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value[0] == '/') folder = value;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string AppDataFolder() {
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty() || data[0] != '/') {
    const std::string home = HomeFolder();
    if (home.empty()) return "NO_DATA";
    data = home + "/.local/share";
  }
  while (data.size() > 1 && data.back() == '/') data.pop_back();
  const std::string folder = data + "/Velmora";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec) ? folder : std::string("NO_DATA");
}

// The language codes the runtime reports, by ISO 639 language (and, for
// Chinese, territory).
struct LanguageCode {
  const char* language;
  const char* code;
};
constexpr LanguageCode kLanguageCodes[] = {
    {"ar", "AR"},  {"bg", "BG"}, {"ca", "CA"}, {"cs", "CS"},  {"da", "DA"},  {"de", "DE"}, {"el", "EL"},
    {"es", "ES"},  {"fi", "FI"}, {"fr", "FR"}, {"he", "HE"},  {"iw", "HE"},  {"hu", "HU"}, {"is", "IS"},
    {"it", "IT"},  {"ja", "JP"}, {"ko", "KO"}, {"nl", "NL"},  {"nb", "NO"},  {"nn", "NO"}, {"no", "NO"},
    {"pl", "PL"},  {"pt", "PT"}, {"ro", "RO"}, {"ru", "RU"},  {"hr", "HR"},  {"sk", "SK"}, {"sq", "SQ"},
    {"sv", "SV"},  {"th", "TH"}, {"tr", "TR"}, {"ur", "UR"},  {"id", "IN"},  {"in", "IN"}, {"uk", "UK"},
    {"be", "BE"},  {"sl", "SL"}, {"et", "ET"}, {"lv", "LV"},  {"lt", "LT"},  {"fa", "FA"}, {"vi", "VI"},
    {"hy", "HY"},  {"az", "AZ"}, {"eu", "EU"}, {"mk", "MK"},  {"af", "AF"},  {"ka", "KA"}, {"fo", "FO"},
    {"hi", "HI"},  {"ms", "MS"}, {"kk", "KK"}, {"ky", "KY"},  {"sw", "SW"},  {"uz", "UZ"}, {"tt", "TT"},
    {"bn", "BE"},  {"pa", "PA"}, {"gu", "GU"}, {"or", "OR"},  {"ta", "TA"},  {"te", "TE"}, {"kn", "KA"},
    {"ml", "MA"},  {"as", "AS"}, {"mr", "MA"}, {"sa", "SA"},  {"mn", "MO"},  {"gl", "GL"}, {"kok", "KN"},
    {"syr", "SY"}, {"dv", "DI"}, {"sr", "SR"},
};

}  // namespace

namespace files_internal {

std::string LocaleCodeRules(const std::string& code) {
  std::string text = code;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (text == "eng" || text == "english-uk") text = "uk";
  if (text.size() > 2) text.resize(2);
  if (text == "c" || text == "am" || text == "en") text = "us";
  if (text == "el") text = "gr";
  if (text == "du") text = "nl";
  if (text == "ja") text = "jp";
  if (text == "po") text = "pl";
  const bool letters = text.size() == 2 && std::isalpha(static_cast<unsigned char>(text[0])) &&
                       std::isalpha(static_cast<unsigned char>(text[1]));
  return letters ? text : "us";
}

std::string LocaleCode(const std::string& localeName) {
  // "de_DE.UTF-8@euro": language, territory, then codeset and modifier.
  const size_t languageEnd = localeName.find_first_of("_.@");
  std::string language = localeName.substr(0, languageEnd);
  for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string territory;
  if (languageEnd != std::string::npos && localeName[languageEnd] == '_') {
    const size_t end = localeName.find_first_of(".@", languageEnd);
    territory = localeName.substr(languageEnd + 1, end == std::string::npos ? std::string::npos : end - languageEnd - 1);
    for (char& c : territory) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  // English follows the language identifiers: en_US (and plain "en") is
  // identifier 0409, whose code is "UK"; every other English territory
  // (0809 en_GB, 0C09 en_AU, ...) has the code "EN", which reads as "us".
  if (language == "en") return LocaleCodeRules(territory.empty() || territory == "US" ? "UK" : "EN");
  if (language == "zh")
    return LocaleCodeRules(territory == "HK" || territory == "SG" || territory == "MO" ? "ZH" : "CH");
  for (const LanguageCode& entry : kLanguageCodes)
    if (language == entry.language) return LocaleCodeRules(entry.code);
  return "us";  // "C", "POSIX", unset and languages without a code
}

int BatteryPercent(const std::string& powerSupplyFolder) {
  std::error_code ec;
  std::vector<fs::path> supplies;
  for (fs::directory_iterator it(powerSupplyFolder, ec), end; !ec && it != end; it.increment(ec))
    supplies.push_back(it->path());
  std::sort(supplies.begin(), supplies.end());
  for (const fs::path& supply : supplies) {
    if (FirstLine(supply / "type") != "Battery") continue;
    const std::string capacity = FirstLine(supply / "capacity");
    if (capacity.empty() || capacity.find_first_not_of("0123456789") != std::string::npos) continue;
    const long percent = std::strtol(capacity.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp(percent, 0L, 100L));
  }
  return 100;  // no battery: mains power reads as full
}

}  // namespace files_internal

BasicString PlatformInfo(BasicString& key) {
  // GL entry point names are case-sensitive: "GLEXT:" looks up the name as
  // the caller wrote it, not its upper-cased copy, which no GL exports.
  const std::string asWritten(key.c_str(), key.Length());
  UpperInPlace(key);
  const std::string k(key.c_str(), key.Length());
  std::string result = "NO_DATA";
  if (k.empty()) {
    result = "LINUX";
  } else if (k == "DEVICE") {
    result = "DESKTOP";
  } else if (k.rfind("GLEXT:", 0) == 0) {
    result = platform::GLProcAddress(asWritten.c_str() + 6) != nullptr ? "1" : "0";
  } else if (k == "ID") {
    result = MachineId();
  } else if (k == "TIME") {
    result = Now(false);
  } else if (k == "UTCTIME") {
    result = Now(true);
  } else if (k == "BATTERY") {
    result = std::to_string(files_internal::BatteryPercent("/sys/class/power_supply"));
  } else if (k == "COMPILED") {
    result = BuildStamp();
  } else if (k == "HOSTID") {
    result = BuildId();
  } else if (k == "VERSION") {
    result = ProjectVersion();
  } else if (k == "LOCALE") {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      name = Env(variable);
      if (!name.empty()) break;
    }
    result = files_internal::LocaleCode(name);
  } else if (k == "DOCUMENTS") {
    result = DocumentsFolder();
  } else if (k == "APPDATA") {
    result = AppDataFolder();
  } else if (k == "TEMP") {
    result = files_internal::ToSlashes(platform::TempFolder().c_str());
    if (result.empty()) result = "/tmp/";
  }
  return BasicString(result.c_str());
}

BasicString GetEnvironment(const BasicString& name) {
  if (name.IsEmpty()) {
    std::string all;
    for (const std::string& entry : platform::EnvironmentEntries()) all += entry + "\n";
    return BasicString(all.c_str());
  }
  const char* value = std::getenv(name.c_str());
  return BasicString(value == nullptr ? "" : value);
}

void PutEnvironment(const BasicString& name, const BasicString& value) {
  platform::SetEnvironmentVariable(name.c_str(), value.c_str());
}
