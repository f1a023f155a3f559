// FindPath and the indexed A* search: the request rules, the path written
// out, the weight and the cost scaling, and on random grids the very same
// expansions as the search written step by step (literal_planner.h).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <queue>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "literal_planner.h"
#include "path/internal/planner.h"
#include "path/path.h"

namespace {

using Cells = std::vector<std::pair<int32_t, int32_t>>;

struct Grid {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<double> values;  // (x, y) at x + y * width
  double& at(int32_t x, int32_t y) { return values[static_cast<size_t>(x + y * width)]; }
};

Grid Filled(int32_t width, int32_t height, double value) {
  return Grid{width, height, std::vector<double>(static_cast<size_t>(width * height), value)};
}

BasicArray<Number> MapOf(Grid& grid) {
  BasicArray<Number> map;
  DimArray(map, grid.width, grid.height);
  for (int32_t y = 0; y < grid.height; ++y)
    for (int32_t x = 0; x < grid.width; ++x) ArrayElement(map, x, y) = grid.at(x, y);
  return map;
}

Cells PathCells(const BasicArray<Number>& path) {
  Cells cells;
  for (int32_t i = 0; i < path.d1; ++i)
    cells.emplace_back(static_cast<int32_t>(ArrayElement(path, i, 0)), static_cast<int32_t>(ArrayElement(path, i, 1)));
  return cells;
}

Cells ChainCells(const Node* goal) {
  Cells cells;
  for (const Node* node = goal; node != nullptr; node = node->parent) cells.emplace(cells.begin(), node->x, node->y);
  return cells;
}

int32_t Find(Grid& grid, BasicArray<Number>& path, double weight, int32_t sx, int32_t sy, int32_t gx, int32_t gy) {
  const BasicArray<Number> map = MapOf(grid);
  return FindPath(map, path, weight, sx, sy, gx, gy);
}

// The cost of a path on a grid of whole values whose largest is 8: every
// scaled cost v / 8 + 1 is exact in binary, so sums compare exactly.
double PathCost(Grid& grid, const Cells& cells) {
  double cost = 0;
  for (size_t i = 1; i < cells.size(); ++i) cost += grid.at(cells[i].first, cells[i].second) / 8 + 1;
  return cost;
}

// Dijkstra over the same grid: the cheapest cost from start to goal.
double CheapestCost(Grid& grid, int32_t sx, int32_t sy, int32_t gx, int32_t gy) {
  std::vector<double> best(grid.values.size(), std::numeric_limits<double>::infinity());
  using Item = std::pair<double, int32_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
  best[static_cast<size_t>(sx + sy * grid.width)] = 0;
  queue.emplace(0, sx + sy * grid.width);
  while (!queue.empty()) {
    const auto [cost, cell] = queue.top();
    queue.pop();
    if (cost > best[static_cast<size_t>(cell)]) continue;
    const int32_t x = cell % grid.width;
    const int32_t y = cell / grid.width;
    const int32_t steps[4][2] = {{0, -1}, {1, 0}, {-1, 0}, {0, 1}};
    for (const auto& step : steps) {
      const int32_t nx = x + step[0];
      const int32_t ny = y + step[1];
      if (nx < 0 || nx >= grid.width || ny < 0 || ny >= grid.height || grid.at(nx, ny) <= 0) continue;
      const double next = cost + grid.at(nx, ny) / 8 + 1;
      if (next < best[static_cast<size_t>(nx + ny * grid.width)]) {
        best[static_cast<size_t>(nx + ny * grid.width)] = next;
        queue.emplace(next, nx + ny * grid.width);
      }
    }
  }
  return best[static_cast<size_t>(gx + gy * grid.width)];
}

TEST(FindPath, InvalidRequestsLeaveThePathAsItWas) {
  const struct {
    const char* what;
    int32_t width, height, sx, sy, gx, gy;
  } cases[] = {
      {"1 x 1 map", 1, 1, 0, 0, 0, 0},  {"start on the goal", 5, 4, 2, 3, 2, 3},
      {"start x below", 5, 4, -1, 0, 4, 3}, {"start x at width", 5, 4, 5, 0, 4, 3},
      {"start y below", 5, 4, 0, -1, 4, 3}, {"start y at height", 5, 4, 0, 4, 4, 3},
      {"goal x below", 5, 4, 0, 0, -1, 3},  {"goal x at width", 5, 4, 0, 0, 5, 3},
      {"goal y below", 5, 4, 0, 0, 4, -1},  {"goal y at height", 5, 4, 0, 0, 4, 4},
  };
  for (const auto& c : cases) {
    Grid grid = Filled(c.width, c.height, 1);
    BasicArray<Number> path;
    DimArray(path, 3, 1);
    ArrayElement(path, 0, 0) = 42;
    EXPECT_EQ(Find(grid, path, 0.5, c.sx, c.sy, c.gx, c.gy), 0) << c.what;
    EXPECT_EQ(path.d1, 3) << c.what;
    EXPECT_EQ(path.d2, 1) << c.what;
    EXPECT_EQ(ArrayElement(path, 0, 0), 42) << c.what;
  }

  // A map that is not two-dimensional has no rows: every start is outside.
  BasicArray<Number> line;
  DimArray(line, 5);
  BasicArray<Number> never;
  for (const BasicArray<Number>* map : {&line, &never}) {
    BasicArray<Number> path;
    DimArray(path, 2);
    EXPECT_EQ(FindPath(*map, path, 0.5, 0, 0, 4, 0), 0);
    EXPECT_EQ(path.d1, 2);
  }
}

TEST(FindPath, NoRouteEmptiesThePath) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    double goalValue, wallValue, otherValue;
  } cases[] = {
      {"goal cost 0", 0, 1, 1},      {"goal cost below 0", -2, 1, 1}, {"goal cost NaN", nan, 1, 1},
      {"goal walled off", 1, 0, 1},  {"no positive value", 0, -1, 0},
  };
  for (const auto& c : cases) {
    // 6 x 4: a wall at x = 3 closes off the goal side only in the walled case.
    Grid grid = Filled(6, 4, c.otherValue);
    for (int32_t y = 0; y < 4; ++y) grid.at(3, y) = c.wallValue;
    grid.at(5, 2) = c.goalValue;
    BasicArray<Number> path;
    DimArray(path, 4, 2);
    EXPECT_EQ(Find(grid, path, 0.5, 0, 0, 5, 2), 0) << c.what;
    EXPECT_EQ(path.d1, 0) << c.what;
    EXPECT_EQ(path.count, 0) << c.what;
  }
}

TEST(FindPath, WritesTheRouteFromStartToGoal) {
  // The only route runs round the wall in row 1; a blocked start still starts.
  for (double startValue : {1.0, 0.0, -5.0}) {
    Grid grid = Filled(4, 3, 1);
    for (int32_t x = 0; x < 3; ++x) grid.at(x, 1) = 0;
    grid.at(0, 2) = startValue;
    BasicArray<Number> path;
    ASSERT_EQ(Find(grid, path, 0.5, 0, 2, 0, 0), 9) << startValue;
    EXPECT_EQ(path.d1, 9);
    EXPECT_EQ(path.d2, 2);
    const Cells want = {{0, 2}, {1, 2}, {2, 2}, {3, 2}, {3, 1}, {3, 0}, {2, 0}, {1, 0}, {0, 0}};
    EXPECT_EQ(PathCells(path), want) << startValue;
  }
}

TEST(FindPath, WeightTradesCostAgainstDistance) {
  // Row 1 is the straight line but dear; rows 0 and 2 are cheap detours.
  Grid trap = Filled(9, 3, 1);
  for (int32_t x = 1; x < 8; ++x) trap.at(x, 1) = 8;
  BasicArray<Number> path;
  const struct {
    double weight, cost;
  } trapCases[] = {{0, 11.25}, {0.5, 11.25}, {1, 15.125}, {-2, 11.25}, {3, 15.125}};
  for (const auto& c : trapCases) {
    ASSERT_GT(Find(trap, path, c.weight, 0, 1, 8, 1), 0) << c.weight;
    EXPECT_EQ(PathCost(trap, PathCells(path)), c.cost) << c.weight;
  }

  // On random grids uniform-cost search and classic A* find the cheapest
  // route; greedy search does not, and out-of-range weights act as the bound.
  std::mt19937 random(17);
  int greedyDearer = 0;
  for (int round = 0; round < 20; ++round) {
    Grid grid = Filled(40, 30, 8);
    for (double& v : grid.values) v = random() % 5 == 0 ? 0 : 1 + random() % 8;
    grid.at(0, 0) = 8;
    grid.at(39, 29) = 8;
    const double cheapest = CheapestCost(grid, 0, 0, 39, 29);
    if (std::isinf(cheapest)) continue;
    Cells byWeight[2];
    for (double weight : {0.0, 0.5, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
      ASSERT_GT(Find(grid, path, weight, 0, 0, 39, 29), 0);
      EXPECT_EQ(PathCost(grid, PathCells(path)), cheapest) << round << " weight " << weight;
      if (weight == 0) byWeight[0] = PathCells(path);
      if (!(weight >= 0)) {
        EXPECT_EQ(PathCells(path), byWeight[0]) << round << " weight " << weight;
      }
    }
    for (double weight : {1.0, 2.5}) {
      ASSERT_GT(Find(grid, path, weight, 0, 0, 39, 29), 0);
      if (weight == 1) byWeight[1] = PathCells(path);
      EXPECT_EQ(PathCells(path), byWeight[1]) << round << " weight " << weight;
    }
    EXPECT_GE(PathCost(grid, byWeight[1]), cheapest);
    if (PathCost(grid, byWeight[1]) > cheapest) ++greedyDearer;
  }
  EXPECT_GT(greedyDearer, 0) << "greedy search never took a dearer route";
}

TEST(FindPath, OnlyTheRelativeSizeOfCostsMatters) {
  AStarPlanner planner;
  const double values[] = {4, 2, 1, 0, -3, std::numeric_limits<double>::quiet_NaN()};
  PlannerParams params;
  params.width = 6;
  params.height = 1;
  params.goalX = 1;
  params.cells = values;
  ASSERT_TRUE(planner.Init(params));
  const float want[] = {2.0f, 1.5f, 1.25f, -1.0f, -1.0f, -1.0f};
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(planner.Cost(x, 0), want[x]) << x;

  std::mt19937 random(5);
  Grid grid = Filled(30, 30, 1);
  for (double& v : grid.values) v = random() % 4 == 0 ? 0 : 1 + random() % 100;
  grid.at(0, 0) = grid.at(29, 29) = 1;
  BasicArray<Number> path;
  const int32_t count = Find(grid, path, 0.5, 0, 0, 29, 29);
  ASSERT_GT(count, 0);
  const Cells plain = PathCells(path);
  for (double scale : {1000.0, 0.001}) {
    Grid scaled = grid;
    for (double& v : scaled.values) v *= scale;
    EXPECT_EQ(Find(scaled, path, 0.5, 0, 0, 29, 29), count) << scale;
    EXPECT_EQ(PathCells(path), plain) << scale;
  }
}

TEST(FindPath, CostsBeyondTheFloatRangeStayFinite) {
  const double values[] = {std::numeric_limits<double>::infinity(), 1e300, 5, 1e-320};
  AStarPlanner planner;
  PlannerParams params;
  params.width = 4;
  params.height = 1;
  params.goalX = 3;
  params.cells = values;
  ASSERT_TRUE(planner.Init(params));
  const float want[] = {2.0f, 2.0f, 1.0f, 1.0f};
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(planner.Cost(x, 0), want[x]) << x;

  Grid grid{4, 1, {values, values + 4}};
  BasicArray<Number> path;
  EXPECT_EQ(Find(grid, path, 0.5, 3, 0, 0, 0), 4);
}

// A random request: 1 x N to 300 x 300, 0-40% blocked, costs either a few
// whole values (many equal keys) or spread out, any weight.
struct RandomCase {
  Grid grid;
  PlannerParams params;
};

RandomCase MakeCase(uint32_t seed) {
  std::mt19937 random(seed);
  auto below = [&random](uint32_t n) { return static_cast<int32_t>(random() % n); };
  RandomCase c;
  Grid& grid = c.grid;
  switch (seed % 8) {
    case 0: grid.width = 1, grid.height = 2 + below(299); break;
    case 1: grid.width = 2 + below(299), grid.height = 1; break;
    case 2: grid.width = 150 + below(151), grid.height = 150 + below(151); break;
    default: grid.width = 2 + below(60), grid.height = 2 + below(60); break;
  }
  if (seed % 8 == 2 && seed % 64 != 2) grid.width = grid.height = 2 + below(40);  // few big ones
  const int32_t blockedPercent = below(41);
  const bool fewValues = random() % 2 == 0;
  grid.values.resize(static_cast<size_t>(grid.width * grid.height));
  for (double& v : grid.values) {
    if (below(100) < blockedPercent) {
      v = -below(3);
    } else {
      v = fewValues ? 1 + below(4) : 0.01 + (random() % 100000) / 1000.0;
    }
  }
  PlannerParams& p = c.params;
  p.width = grid.width;
  p.height = grid.height;
  p.cells = grid.values.data();
  p.hashBits = 8;
  p.useDiagonalCost = 1;
  p.allowDiagonal = seed % 5 == 4;
  if (p.allowDiagonal) p.useDiagonalCost = random() % 2;
  do {
    p.startX = below(static_cast<uint32_t>(grid.width));
    p.startY = below(static_cast<uint32_t>(grid.height));
    p.goalX = below(static_cast<uint32_t>(grid.width));
    p.goalY = below(static_cast<uint32_t>(grid.height));
  } while (p.startX == p.goalX && p.startY == p.goalY);
  // A small pool leaves cells unvisited once every node is handed out.
  if (seed % 7 == 3) p.nodePoolSize = 1 + grid.width * grid.height / (2 + below(6));
  const float weights[] = {0, 0.5f, 1, 0.25f, 0.75f, -0.5f, 1.5f};
  p.weight = below(3) == 0 ? static_cast<float>(random() % 1000) / 999.0f : weights[below(7)];
  // Above 0.5 closed nodes are reopened over and over; on the big grids that
  // takes the step-by-step search minutes, so they stay at or below it.
  if (grid.width * grid.height > 10000 && p.weight > 0.5f) p.weight = 0.5f * (p.weight - 0.5f);
  return c;
}

TEST(FindPath, ExpandsWhatTheLiteralSearchExpandsOnRandomGrids) {
  int found = 0;
  int unreachable = 0;
  for (uint32_t seed = 0; seed < 400; ++seed) {
    RandomCase c = MakeCase(seed);
    const PlannerParams& p = c.params;
    const std::string what = "seed " + std::to_string(seed) + " " + std::to_string(p.width) + "x" +
                             std::to_string(p.height) + " weight " + std::to_string(p.weight);
    LiteralPlanner literal;
    ASSERT_TRUE(literal.Init(p)) << what;
    literal.Begin();
    literal.Search();
    const Cells want = ChainCells(literal.Goal());

    AStarPlanner indexed;
    std::vector<Expansion> trace;
    indexed.TraceExpansions(&trace);
    ASSERT_TRUE(indexed.Init(p)) << what;
    indexed.Begin();
    EXPECT_TRUE(indexed.Search()) << what;
    ASSERT_EQ(trace.size(), literal.expanded.size()) << what;
    EXPECT_TRUE(trace == literal.expanded) << what;
    EXPECT_EQ(indexed.Expansions(), static_cast<int64_t>(trace.size())) << what;
    EXPECT_EQ(ChainCells(indexed.Goal()), want) << what;
    if (want.empty()) {
      ++unreachable;
    } else {
      ++found;
    }

    if (p.allowDiagonal || p.nodePoolSize != 0) continue;
    BasicArray<Number> path;
    const int32_t count = Find(c.grid, path, p.weight, p.startX, p.startY, p.goalX, p.goalY);
    EXPECT_EQ(count, static_cast<int32_t>(want.size())) << what;
    const Cells cells = PathCells(path);
    EXPECT_EQ(cells, want) << what;
    for (size_t i = 1; i < cells.size(); ++i) {
      const int32_t step = std::abs(cells[i].first - cells[i - 1].first) + std::abs(cells[i].second - cells[i - 1].second);
      EXPECT_EQ(step, 1) << what << " step " << i;
      EXPECT_GT(c.grid.at(cells[i].first, cells[i].second), 0) << what << " step " << i;
    }
  }
  // Both outcomes must be well represented for the comparison to mean much.
  EXPECT_GT(found, 150);
  EXPECT_GT(unreachable, 20);
}

TEST(AStarPlanner, RepeatedSearchesAndClearStartAfresh) {
  RandomCase c = MakeCase(3);
  AStarPlanner planner;
  std::vector<Expansion> first;
  std::vector<Expansion> second;
  ASSERT_TRUE(planner.Init(c.params));
  planner.TraceExpansions(&first);
  planner.Begin();
  planner.Search();
  ASSERT_FALSE(first.empty());
  const Cells route = ChainCells(planner.Goal());
  planner.Clear();
  EXPECT_EQ(planner.Goal(), nullptr);
  EXPECT_TRUE(planner.Finished());
  planner.TraceExpansions(&second);
  planner.Begin();
  EXPECT_FALSE(planner.Finished());
  planner.Search();
  EXPECT_TRUE(second == first);
  EXPECT_EQ(ChainCells(planner.Goal()), route);
  EXPECT_EQ(planner.SearchCount(), 1);
}

}  // namespace
