// Routine frames: the locals of running routines, registered by name for the debugger.
#include <memory>
#include <vector>

#include "core/generated.h"

namespace {

// One table per call depth in use, kept for reuse. Never destroyed: code
// that runs at exit may still open frames.
std::vector<std::unique_ptr<VariableTable>>& TablePool() {
  static auto* pool = new std::vector<std::unique_ptr<VariableTable>>();
  return *pool;
}
size_t g_tablesInUse = 0;

}  // namespace

RoutineFrame::RoutineFrame() {
  auto& pool = TablePool();
  if (g_tablesInUse == pool.size()) pool.push_back(std::make_unique<VariableTable>());
  table_ = pool[g_tablesInUse++].get();
  table_->count = 0;
  ++CallDepth;
}

RoutineFrame::~RoutineFrame() {
  // Newest first: each removal takes the table's last entry.
  for (int32_t i = table_->count - 1; i >= 0; --i) RemoveVariable(*table_, table_->entries[i].address);
  --g_tablesInUse;
  --CallDepth;
}
