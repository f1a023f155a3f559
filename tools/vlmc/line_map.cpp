// vlmc's line map of a translated program (see line_map.h).
#include "line_map.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "names.h"

namespace vlmc {

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

void Collect(const Block& block, std::vector<const Stmt*>* statements) {
  for (const StmtPtr& s : block) {
    if (s->number > 0) statements->push_back(s.get());
    for (const Block& inner : s->blocks) Collect(inner, statements);
  }
}

}  // namespace

std::string LineMap(const ProgramTree& tree, const std::vector<SourceFile>& modules, const std::string& program) {
  std::vector<std::vector<const Stmt*>> perModule(modules.size());
  if (!perModule.empty() && !tree.modules.empty()) Collect(tree.modules[0].main, &perModule[0]);
  for (const auto& f : tree.functions) {
    if (f->module >= 0 && static_cast<size_t>(f->module) < perModule.size()) Collect(f->body, &perModule[f->module]);
  }
  std::string out = "{\"format\":\"vlmmap 1\",\"program\":" + Quoted(program) + ",\"modules\":[";
  for (size_t m = 0; m < modules.size(); ++m) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(modules[m].name, error);
    out += m > 0 ? ",\n" : "\n";
    out += "{\"module\":" + std::to_string(m) + ",\"file\":" +
           Quoted(error ? modules[m].name : absolute.lexically_normal().string()) + ",\"statements\":[";
    // Functions come in any order; the numbers are the module's source order.
    std::vector<const Stmt*>& statements = perModule[m];
    std::sort(statements.begin(), statements.end(), [](const Stmt* a, const Stmt* b) { return a->number < b->number; });
    for (size_t k = 0; k < statements.size(); ++k) {
      const Stmt& s = *statements[k];
      out += (k > 0 ? "," : "") + std::string("[") + std::to_string(s.number) + "," + std::to_string(s.at.line) + "," +
             std::to_string(s.at.column) + "]";
    }
    out += "]}";
  }
  out += "],\n\"routines\":[";
  for (size_t k = 0; k < tree.functions.size(); ++k) {
    const Function& f = *tree.functions[k];
    out += (k > 0 ? ",\n" : "\n") + std::string("{\"name\":") + Quoted(f.name) + ",\"cpp\":" + Quoted(f.cpp) +
           ",\"module\":" + std::to_string(f.module) + "}";
  }
  out += "]}\n";
  return out;
}

}  // namespace vlmc
