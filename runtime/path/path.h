// Grid pathfinding: the cheapest 4-connected route over a map of cell costs.
#pragma once

#include <cstdint>

#include "core/core.h"

// Searches map (map[x][y] = the cost of entering cell (x, y), a cost <= 0
// blocks the cell) from the start to the goal cell. weight, clamped to
// [0, 1], balances the cost so far against the distance still to go: 0
// orders by cost alone, 0.5 like classic A*, 1 by distance alone.
//
// Returns the number of cells on the path, start and goal included, and
// writes them into path as [count][2] (path[i][0] = x, path[i][1] = y,
// row 0 the start). A start or goal outside the map, or a start on the
// goal, returns 0 and leaves path as it was; no route returns 0 with path
// redimensioned to no elements. When the search cannot get its memory it
// records error 7 and returns 0, path untouched.
int32_t FindPath(const BasicArray<Number>& map, BasicArray<Number>& path, Number weight,
                 int32_t startX, int32_t startY, int32_t goalX, int32_t goalY);
