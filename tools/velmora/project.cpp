// Reading and checking velmora.json.
#include "project.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "json.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxProjectFileBytes = 1 << 20;
constexpr size_t kMaxModules = 4096;

bool Fail(std::string* error, const std::string& message) {
  *error = "velmora.json: " + message;
  return false;
}

// True when `path` (relative to dir, normalized) stays inside dir.
bool Inside(const std::string& path) {
  const fs::path p = fs::path(path).lexically_normal();
  if (p.empty() || p.is_absolute()) return false;
  const std::string first = p.begin()->string();
  return first != "..";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

bool IsVersion(const std::string& v) {
  if (v.empty() || v.size() > 32 || !(v[0] >= '0' && v[0] <= '9')) return false;
  for (const char c : v)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' ||
          c == '~'))
      return false;
  return true;
}

bool ReadSettings(const json::Value& value, Project* project, std::string* error) {
  if (value.IsNull()) return true;
  if (!value.IsObject()) return Fail(error, "\"settings\" must be an object of PROJECT settings");
  for (const auto& [key, v] : value.members()) {
    const char kind = vlmc::SettingKind(key);
    if (kind == 0) {
      std::string names;
      for (const std::string& n : vlmc::SettingNames()) names += (names.empty() ? "" : ", ") + n;
      return Fail(error, "unknown setting \"" + key + "\" (the settings are " + names + ")");
    }
    vlmc::ProjectSetting setting;
    setting.key = key;
    if (kind == 't') {
      if (!v.IsString()) return Fail(error, "setting \"" + key + "\" must be a text");
      setting.isText = true;
      // The programs' texts are Latin-1; a character outside it cannot be shown.
      if (!json::Utf8ToLatin1(v.AsString(), &setting.text))
        return Fail(error, "setting \"" + key + "\" holds a character outside Latin-1");
    } else {
      const double n = v.AsNumber(NAN);
      if (!v.IsNumber() || n != std::floor(n) || n < -2147483648.0 || n > 2147483647.0)
        return Fail(error, "setting \"" + key + "\" must be a whole number");
      setting.number = n;
    }
    project->settings.push_back(std::move(setting));
  }
  return true;
}

}  // namespace

bool IsProjectName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  if (!((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'))) return false;
  for (const char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

std::string ProgramIdentifier(const std::string& name) {
  std::string id = name;
  for (char& c : id)
    if (c == '-') c = '_';
  return id;
}

std::string FindProjectDir(const std::string& start) {
  std::error_code ec;
  fs::path dir = fs::absolute(start, ec).lexically_normal();
  if (ec) return "";
  if (dir.has_filename() == false && dir != dir.root_path()) dir = dir.parent_path();
  for (int up = 0; up < 64; ++up) {
    if (fs::is_regular_file(dir / "velmora.json", ec)) {
      std::string s = dir.string();
      while (s.size() > 1 && s.back() == '/') s.pop_back();
      return s;
    }
    if (dir == dir.parent_path()) break;
    dir = dir.parent_path();
  }
  return "";
}

bool ReadProject(const std::string& dir, Project* project, std::string* error) {
  *project = Project();
  std::error_code ec;
  fs::path root = fs::absolute(dir, ec).lexically_normal();
  project->dir = root.string();
  while (project->dir.size() > 1 && project->dir.back() == '/') project->dir.pop_back();
  const fs::path file = root / "velmora.json";
  if (!fs::is_regular_file(file, ec)) return Fail(error, "not found in " + project->dir);
  const uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxProjectFileBytes) return Fail(error, "too large (a project file holds at most 1 MiB)");
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in && !in.eof()) return Fail(error, "cannot be read");
  json::Value value;
  std::string why;
  if (!json::Parse(text.str(), &value, &why, 32)) return Fail(error, "not valid JSON: " + why);
  if (!value.IsObject()) return Fail(error, "must hold a JSON object");

  const json::Value& name = value["name"];
  if (name.IsNull()) {
    project->name = root.filename().string();
    if (!IsProjectName(project->name))
      return Fail(error, "no \"name\", and the folder's name \"" + project->name + "\" is no program name");
  } else if (!name.IsString() || !IsProjectName(name.AsString())) {
    return Fail(error, "\"name\" must be 1-64 letters, digits, '_' and '-', a letter first");
  } else {
    project->name = name.AsString();
  }

  const json::Value& version = value["version"];
  if (version.IsNull()) {
    project->version = "0.1.0";
  } else if (!version.IsString() || !IsVersion(version.AsString())) {
    return Fail(error, "\"version\" must be a version such as \"1.0.2\" (a digit first, then digits, letters, '.', '+', '~')");
  } else {
    project->version = version.AsString();
  }

  const json::Value& modules = value["modules"];
  if (!modules.IsArray() || modules.size() == 0)
    return Fail(error, "\"modules\" must list the program's .bas files, module 0 first");
  if (modules.size() > kMaxModules) return Fail(error, "more than 4096 modules");
  std::set<std::string> seen;
  for (const json::Value& m : modules.items()) {
    if (!m.IsString() || m.AsString().empty()) return Fail(error, "\"modules\" must hold file names");
    std::string path = m.AsString();
    for (char& c : path)
      if (c == '\\') c = '/';
    path = fs::path(path).lexically_normal().string();
    if (!Inside(path)) return Fail(error, "module \"" + m.AsString() + "\" is outside the project's folder");
    if (Lower(fs::path(path).extension().string()) != ".bas")
      return Fail(error, "module \"" + m.AsString() + "\" is not a .bas file");
    if (!seen.insert(path).second) return Fail(error, "module \"" + m.AsString() + "\" is named twice");
    const fs::path full = root / path;
    if (!fs::is_regular_file(full, ec)) return Fail(error, "module \"" + m.AsString() + "\" does not exist");
    // A link that leads out of the folder is outside it too.
    const fs::path real = fs::weakly_canonical(full, ec);
    const fs::path realRoot = fs::weakly_canonical(root, ec);
    const std::string rel = real.lexically_relative(realRoot).string();
    if (ec || rel.empty() || rel.rfind("..", 0) == 0)
      return Fail(error, "module \"" + m.AsString() + "\" leads outside the project's folder");
    project->modules.push_back(path);
  }

  const json::Value& data = value["data"];
  if (!data.IsNull()) {
    if (!data.IsString()) return Fail(error, "\"data\" must name the data folder");
    std::string path = data.AsString();
    for (char& c : path)
      if (c == '\\') c = '/';
    path = fs::path(path).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "." || path == "./" || !Inside(path) || path.rfind(".velmora", 0) == 0)
      return Fail(error, "the data folder \"" + data.AsString() + "\" must be a folder inside the project");
    if (!fs::is_directory(root / path, ec))
      return Fail(error, "the data folder \"" + data.AsString() + "\" does not exist");
    project->data = path;
  }
  return ReadSettings(value["settings"], project, error);
}

}  // namespace velmora
