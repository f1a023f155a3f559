// Platform facts by key, and the process environment.
#include "files/files.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "core/core.h"
#include "core/text.h"
#include "files/files_internal.h"
#include "platform/platform.h"

namespace {

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

// A stable identifier of this machine: the system's machine id scrambled
// (FNV-1a) into eight hexadecimal digits.
std::string MachineId() {
  const std::string id = platform::MachineIdentifier();
  if (id.empty()) return "00000000";
  uint32_t hash = 2166136261u;
  for (char c : id) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%08X", hash);
  return text;
}

std::string DocumentsFolder() {
  const std::string folder = platform::DocumentsFolder();
  return folder.empty() ? std::string("NO_DATA") : folder;
}

std::string AppDataFolder() {
  const std::string data = platform::UserDataFolder();
  if (data.empty()) return "NO_DATA";
  const std::string folder = data + "/Velmora";
  return platform::MakeDirectories(folder.c_str()) ? folder : std::string("NO_DATA");
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
  const int charge = platform::BatteryCharge(powerSupplyFolder.empty() ? nullptr : powerSupplyFolder.c_str());
  return charge < 0 ? 100 : charge;  // no battery: mains power reads as full
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
    result = std::to_string(files_internal::BatteryPercent());
  } else if (k == "COMPILED") {
    result = BuildStamp();
  } else if (k == "HOSTID") {
    result = BuildId();
  } else if (k == "VERSION") {
    result = ProjectVersion();
  } else if (k == "LOCALE") {
    result = files_internal::LocaleCode(platform::LocaleName());
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
  return BasicString(platform::EnvironmentVariable(name.c_str()).c_str());
}

void PutEnvironment(const BasicString& name, const BasicString& value) {
  platform::SetEnvironmentVariable(name.c_str(), value.c_str());
}
