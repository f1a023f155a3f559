// vlmc's pipeline: each module tokenized and parsed into one tree, the tree
// checked (also after syntax errors, which the parser recovers from, unless
// the parser reached the error limit or could not read a module to its end),
// and the C++ written only when
// no stage reported an error.
#include <deque>
#include <memory>
#include <vector>

#include "check.h"
#include "emit.h"
#include "line_map.h"
#include "parser.h"
#include "vlmc.h"

namespace vlmc {

Result Translate(const std::vector<SourceFile>& modules, const Options& options) {
  Result result;
  Diagnostics diagnostics(modules);
  auto owned = std::make_unique<ProgramTree>();
  ProgramTree& tree = *owned;
  for (const SourceFile& m : modules) tree.modules.push_back(Module{m.name, {}, {}});
  bool complete = true;
  for (size_t m = 0; m < modules.size(); ++m) {
    std::deque<std::string> texts;
    Lexer lexer(modules[m], static_cast<int>(m), diagnostics, texts);
    complete = Parse(lexer, static_cast<int>(m), tree, diagnostics) && complete;
  }
  if (complete && !diagnostics.Full()) Check(tree, diagnostics, options.program);
  if (diagnostics.Count() == 0) result.files = Emit(tree, options);
  if (diagnostics.Count() == 0) result.lineMap = LineMap(tree, modules, options.program);
  result.ok = diagnostics.Count() == 0;
  result.diagnostics = diagnostics.Text();
  if (!options.freeTree) {
    // Millions of blocks that the exit frees at once. They stay reachable
    // from here, so a leak checker sees them held, not lost.
    static auto* const kept = new std::vector<std::unique_ptr<ProgramTree>>;
    kept->push_back(std::move(owned));
  }
  return result;
}

}  // namespace vlmc
