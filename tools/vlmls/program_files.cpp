// The modules of a program, file URIs and module texts (see program_files.h).
#include "program_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "json.h"
#include "text.h"

namespace vlmls {
namespace {

namespace fs = std::filesystem;

constexpr uintmax_t kMaxModuleBytes = 64u << 20;
constexpr size_t kMaxFolderModules = 256;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The upper-case words at the start of a line, after a margin number (at most three).
std::vector<std::string> FirstWords(std::string_view line) {
  std::vector<std::string> words;
  size_t k = 0;
  while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
  while (k < line.size() && std::isdigit(static_cast<unsigned char>(line[k]))) ++k;
  while (words.size() < 3) {
    while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
    if (k < line.size() && line[k] == '\'') break;
    const size_t n = NameLengthAt(line, k);
    if (n == 0) {
      if (k < line.size() && words.empty()) words.push_back(std::string(1, line[k]));
      break;
    }
    words.push_back(Upper(line.substr(k, n)));
    k += n;
    if (k < line.size() && line[k] == ':' && words.size() == 1) words.push_back(":");
  }
  return words;
}

}  // namespace

bool HasMainProgram(std::string_view text) {
  const char* blockEnd = nullptr;  // the word after END that closes the block we are in
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string> w = FirstWords(text.substr(start, end - start));
    start = end + 1;
    if (w.empty() || w[0] == "REM") continue;
    if (blockEnd) {
      if (w[0] == "END" && w.size() > 1 && w[1] == blockEnd) blockEnd = nullptr;
      continue;
    }
    if (w[0] == "FUNCTION") blockEnd = "FUNCTION";
    else if (w[0] == "SUB") blockEnd = "SUB";
    else if (w[0] == "TYPE") blockEnd = "TYPE";
    else if (w[0] == "PROJECT" || w[0] == "GLOBAL" || w[0] == "CONST" || w[0] == "DECLARE" || w[0] == "DATA") continue;
    else return true;
  }
  return false;
}

std::vector<std::string> ProgramModules(const std::string& path, std::string* note) {
  note->clear();
  std::error_code ec;
  const fs::path file = fs::path(path).lexically_normal();
  // A velmora.json in the folder or above it.
  fs::path dir = file.parent_path();
  for (int up = 0; up < 16 && !dir.empty(); ++up) {
    const fs::path manifest = dir / "velmora.json";
    if (fs::is_regular_file(manifest, ec)) {
      std::string text;
      json::Value value;
      std::string error;
      const uintmax_t size = fs::file_size(manifest, ec);
      if (!ec && size < (1u << 20)) {
        std::ifstream in(manifest, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
      }
      if (text.empty() || !json::Parse(text, &value, &error) || !value["modules"].IsArray()) {
        *note = manifest.string() + ": expected {\"modules\": [\"main.bas\", ...]}" + (error.empty() ? "" : " (" + error + ")");
        return {file.string()};
      }
      std::vector<std::string> modules;
      for (const json::Value& m : value["modules"].items())
        if (m.IsString() && !m.AsString().empty()) modules.push_back((dir / m.AsString()).lexically_normal().string());
      if (std::find(modules.begin(), modules.end(), file.string()) != modules.end()) return modules;
      *note = manifest.string() + " does not name " + file.filename().string() + ": it is read alone";
      return {file.string()};
    }
    if (dir == dir.parent_path()) break;
    dir = dir.parent_path();
  }
  // The folder's .bas files.
  std::vector<std::string> files;
  for (fs::directory_iterator it(file.parent_path(), ec), last; !ec && it != last; it.increment(ec)) {
    const fs::path p = it->path();
    if (Upper(p.extension().string()) == ".BAS" && it->is_regular_file(ec)) files.push_back(p.lexically_normal().string());
    if (files.size() > kMaxFolderModules) break;
  }
  if (std::find(files.begin(), files.end(), file.string()) == files.end()) files.push_back(file.string());
  if (files.size() > kMaxFolderModules) {
    *note = "more than " + std::to_string(kMaxFolderModules) + " .bas files in the folder: " +
            file.filename().string() + " is read alone (name the modules in a velmora.json)";
    return {file.string()};
  }
  std::sort(files.begin(), files.end());
  // Judged by their saved texts (a new file not yet saved has none and goes with the others).
  std::vector<std::string> mains, others;
  for (const std::string& f : files) {
    std::string text;
    (ReadModule(f, &text) && HasMainProgram(text) ? mains : others).push_back(f);
  }
  // Several main programs in one folder are several programs: the file's own (or the first)
  // with the modules that have none.
  std::vector<std::string> modules;
  if (!mains.empty())
    modules.push_back(std::find(mains.begin(), mains.end(), file.string()) != mains.end() ? file.string() : mains.front());
  modules.insert(modules.end(), others.begin(), others.end());
  if (mains.size() > 1)
    *note = "the folder holds " + std::to_string(mains.size()) + " main programs; " +
            fs::path(modules.front()).filename().string() + "'s is taken (name the modules in a velmora.json)";
  return modules;
}

std::string PathOfUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size() || Upper(uri.substr(0, kScheme.size())) != "FILE://") return "";
  uri.remove_prefix(kScheme.size());
  const size_t slash = uri.find('/');
  if (slash == std::string_view::npos) return "";
  uri.remove_prefix(slash);  // an authority ("localhost") is dropped
  std::string out;
  for (size_t k = 0; k < uri.size(); ++k) {
    if (uri[k] == '%' && k + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[k + 1])) &&
        std::isxdigit(static_cast<unsigned char>(uri[k + 2]))) {
      out += static_cast<char>(std::stoi(std::string(uri.substr(k + 1, 2)), nullptr, 16));
      k += 2;
    } else if (uri[k] == '?' || uri[k] == '#') {
      break;
    } else {
      out += uri[k];
    }
  }
  if (out.find('\0') != std::string::npos) return "";
  return fs::path(out).lexically_normal().string();
}

std::string UriOfPath(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (const char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool ReadModule(const std::string& path, std::string* text) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kMaxModuleBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  if (!IsUtf8(*text)) *text = json::Latin1ToUtf8(*text);
  return true;
}

}  // namespace vlmls
