// Reading the translator's line map and answering line and statement questions (see line_map.h).
#include "line_map.h"

#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "json.h"

namespace dap {

namespace {

std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer) == nullptr) return path;
  return buffer;
}

bool FitsInt32(const json::Value& v, int64_t min) {
  const int64_t n = v.AsInt(INT64_MIN);
  return n >= min && n <= INT32_MAX;
}

}  // namespace

bool LineMap::Parse(std::string_view text, std::string* error) {
  modules_.clear();
  routines_.clear();
  json::Value root;
  std::string why;
  if (!json::Parse(text, &root, &why)) {
    *error = "the line map is not JSON: " + why;
    return false;
  }
  if (root["format"].AsString() != "vlmmap 1") {
    *error = "not a line map of this translator (format is not \"vlmmap 1\")";
    return false;
  }
  for (const json::Value& m : root["modules"].items()) {
    ModuleMap module;
    if (!FitsInt32(m["module"], 0) || !m["file"].IsString()) {
      *error = "a module entry without its number or file";
      modules_.clear();
      return false;
    }
    module.module = static_cast<int32_t>(m["module"].AsInt());
    module.file = m["file"].AsString();
    for (const ModuleMap& other : modules_) {
      if (other.module == module.module) {
        *error = "module " + std::to_string(module.module) + " appears twice";
        modules_.clear();
        return false;
      }
    }
    for (const json::Value& s : m["statements"].items()) {
      if (s.size() != 3 || !FitsInt32(s[size_t{0}], 1) || !FitsInt32(s[1], 1) || !FitsInt32(s[2], 0)) {
        *error = "a statement entry of " + module.file + " is not [number, line, column]";
        modules_.clear();
        return false;
      }
      module.statements.push_back({static_cast<int32_t>(s[size_t{0}].AsInt()), static_cast<int32_t>(s[1].AsInt()),
                                   static_cast<int32_t>(s[2].AsInt())});
    }
    std::sort(module.statements.begin(), module.statements.end(),
              [](const StatementPlace& a, const StatementPlace& b) { return a.number < b.number; });
    modules_.push_back(std::move(module));
  }
  for (const json::Value& r : root["routines"].items()) {
    if (r["cpp"].IsString() && r["name"].IsString()) routines_[r["cpp"].AsString()] = r["name"].AsString();
  }
  return true;
}

bool LineMap::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!Parse(text.str(), error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

const ModuleMap* LineMap::ModuleOfFile(const std::string& path) const {
  for (const ModuleMap& m : modules_)
    if (m.file == path) return &m;
  const std::string wanted = Resolved(path);
  for (const ModuleMap& m : modules_)
    if (Resolved(m.file) == wanted) return &m;
  return nullptr;
}

const ModuleMap* LineMap::Module(int32_t module) const {
  for (const ModuleMap& m : modules_)
    if (m.module == module) return &m;
  return nullptr;
}

const StatementPlace* LineMap::Place(int32_t module, int32_t statement) const {
  const ModuleMap* m = Module(module);
  if (m == nullptr) return nullptr;
  const auto it = std::lower_bound(m->statements.begin(), m->statements.end(), statement,
                                   [](const StatementPlace& p, int32_t n) { return p.number < n; });
  if (it == m->statements.end() || it->number != statement) return nullptr;
  return &*it;
}

LineMatch LineMap::Resolve(const std::string& path, int32_t line) const {
  LineMatch match;
  const ModuleMap* m = ModuleOfFile(path);
  if (m == nullptr) return match;
  // Statements are numbered in source order, but the nearest following line
  // is searched for rather than assumed to be the next number.
  const StatementPlace* best = nullptr;
  for (const StatementPlace& p : m->statements) {
    if (p.line >= line && (best == nullptr || p.line < best->line)) best = &p;
  }
  if (best == nullptr) return match;
  match.found = true;
  match.module = m->module;
  match.statement = best->number;
  match.line = best->line;
  match.column = best->column;
  return match;
}

std::vector<StatementPlace> LineMap::StatementsInLines(const std::string& path, int32_t first, int32_t last) const {
  std::vector<StatementPlace> found;
  const ModuleMap* m = ModuleOfFile(path);
  if (m == nullptr) return found;
  for (const StatementPlace& p : m->statements)
    if (p.line >= first && p.line <= last) found.push_back(p);
  return found;
}

std::string LineMap::RoutineName(const std::string& cpp) const {
  const auto it = routines_.find(cpp);
  return it == routines_.end() ? std::string() : it->second;
}

}  // namespace dap
