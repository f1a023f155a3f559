// FindPath: one A* search over a map array, its path copied into an array.
#include <new>

#include "path/internal/planner.h"
#include "path/path.h"

int32_t FindPath(const BasicArray<Number>& map, BasicArray<Number>& path, Number weight,
                 int32_t startX, int32_t startY, int32_t goalX, int32_t goalY) {
  PlannerParams params;
  params.startX = startX;
  params.startY = startY;
  params.goalX = goalX;
  params.goalY = goalY;
  params.useDiagonalCost = 1;
  params.allowDiagonal = 0;
  params.nodePoolSize = 0;
  params.openCapacity = 0;
  params.hashBits = 8;
  if (!(weight >= 0)) weight = 0;  // also a NaN weight
  params.weight = static_cast<float>(weight > 1 ? 1.0 : weight);
  params.width = map.d1;
  params.height = map.d2;
  params.cells = map.Elements();
  if (params.cells == nullptr) return 0;

  int32_t count = 0;
  try {
    AStarPlanner planner;
    if (!planner.Init(params)) return 0;
    planner.Begin();
    planner.Search();
    for (const Node* node = planner.Goal(); node != nullptr; node = node->parent) ++count;
    if (count == 0) {
      DimArray(path, 0);
      return 0;
    }
    DimArray(path, count, 2);
    int32_t row = count - 1;
    for (const Node* node = planner.Goal(); node != nullptr; node = node->parent, --row) {
      ArrayElement(path, row, 0) = node->x;
      ArrayElement(path, row, 1) = node->y;
    }
  } catch (const std::bad_alloc&) {
    LastErrorCode = kErrorOutOfMemory;
    return 0;
  }
  return count;
}
