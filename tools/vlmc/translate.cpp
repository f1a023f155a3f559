// vlmc's pipeline: each module tokenized and parsed into one tree, the tree
// checked, and the C++ written only when no stage reported an error.
#include <deque>

#include "check.h"
#include "emit.h"
#include "line_map.h"
#include "parser.h"
#include "vlmc.h"

namespace vlmc {

Result Translate(const std::vector<SourceFile>& modules, const Options& options) {
  Result result;
  Diagnostics diagnostics(modules);
  ProgramTree tree;
  for (const SourceFile& m : modules) tree.modules.push_back(Module{m.name, {}, {}});
  for (size_t m = 0; m < modules.size(); ++m) {
    std::deque<std::string> texts;
    Lexer lexer(modules[m], static_cast<int>(m), diagnostics, texts);
    Parse(lexer, static_cast<int>(m), tree, diagnostics);
  }
  if (diagnostics.Count() == 0) Check(tree, diagnostics);
  if (diagnostics.Count() == 0) result.files = Emit(tree, options);
  if (diagnostics.Count() == 0) result.lineMap = LineMap(tree, modules, options.program);
  result.ok = diagnostics.Count() == 0;
  result.diagnostics = diagnostics.Text();
  return result;
}

}  // namespace vlmc
