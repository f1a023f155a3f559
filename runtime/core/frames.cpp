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

// The running routines' records, one per depth, parallel to the pool; the
// debug state block points at them. Never destroyed, as the pool.
std::vector<RoutineRecord>& Records() {
  static auto* records = new std::vector<RoutineRecord>();
  return *records;
}

}  // namespace

RoutineFrame::RoutineFrame(const char* name) {
  auto& pool = TablePool();
  auto& records = Records();
  if (g_tablesInUse == pool.size()) {
    pool.push_back(std::make_unique<VariableTable>());
    records.resize(pool.size());
    TheDebugState.frames = records.data();  // a larger vector may have moved
  }
  table_ = pool[g_tablesInUse].get();
  table_->count = 0;
  records[g_tablesInUse] = RoutineRecord{name, table_, CurrentModule, CurrentLine};
  TheDebugState.frameCount = static_cast<int32_t>(++g_tablesInUse);
  ++CallDepth;
}

RoutineFrame::~RoutineFrame() {
  // Newest first: each removal takes the table's last entry.
  for (int32_t i = table_->count - 1; i >= 0; --i) RemoveVariable(*table_, table_->entries[i].address);
  TheDebugState.frameCount = static_cast<int32_t>(--g_tablesInUse);
  --CallDepth;
}
