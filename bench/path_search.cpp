// Grid search: the indexed A* planner against the step-by-step search it must
// match (where that finishes in reasonable time) and against a plain
// binary-heap A* over the same scaled costs, on open, walled and maze grids.
//
// Prints Google Benchmark's table with expanded cells per second, whether the
// indexed planner's path equals the step-by-step one, and ratios of CPU times
// measured in this same run: indexed / binary heap (the target is at most 2
// at 2048 x 2048) and step-by-step / indexed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <queue>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "literal_planner.h"
#include "path/internal/planner.h"
#include "ratio_reporter.h"

namespace {

constexpr float kWeight = 0.5f;  // classic A* ordering

struct Grid {
  std::string name;
  int32_t size = 0;
  std::vector<double> values;
  int32_t goal = 0;  // the goal is (goal, goal), the start (0, 0)
};

PlannerParams ParamsFor(const Grid& grid) {
  PlannerParams p;
  p.goalX = p.goalY = grid.goal;
  p.useDiagonalCost = 1;
  p.hashBits = 8;
  p.weight = kWeight;
  p.width = p.height = grid.size;
  p.cells = grid.values.data();
  return p;
}

struct Outcome {
  int64_t expansions = 0;
  std::vector<std::pair<int32_t, int32_t>> path;
};

// Costs 1..9 on every open cell.
Grid MakeGridFrom(const char* kind, int32_t size, uint32_t seed) {
  Grid grid{std::string(kind) + "/" + std::to_string(size), size,
            std::vector<double>(static_cast<size_t>(size) * size), size - 1};
  std::mt19937 random(seed);
  for (double& v : grid.values) v = 1 + random() % 9;
  const std::string k = kind;
  if (k == "walls") {
    for (double& v : grid.values) {
      if (random() % 5 == 0) v = 0;
    }
  } else if (k == "maze") {
    // Passages on even coordinates, carved by a depth-first walk.
    std::vector<double> open = grid.values;
    std::fill(grid.values.begin(), grid.values.end(), 0.0);
    const int32_t cells = size / 2;
    std::vector<char> seen(static_cast<size_t>(cells) * cells, 0);
    std::vector<std::pair<int32_t, int32_t>> stack = {{0, 0}};
    seen[0] = 1;
    auto carve = [&](int32_t x, int32_t y) { grid.values[x + static_cast<size_t>(y) * size] = open[x + static_cast<size_t>(y) * size]; };
    carve(0, 0);
    while (!stack.empty()) {
      const auto [cx, cy] = stack.back();
      std::pair<int32_t, int32_t> options[4];
      int count = 0;
      const int32_t steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
      for (const auto& s : steps) {
        const int32_t nx = cx + s[0], ny = cy + s[1];
        if (nx >= 0 && nx < cells && ny >= 0 && ny < cells && !seen[nx + static_cast<size_t>(ny) * cells])
          options[count++] = {nx, ny};
      }
      if (count == 0) {
        stack.pop_back();
        continue;
      }
      const auto [nx, ny] = options[random() % count];
      seen[nx + static_cast<size_t>(ny) * cells] = 1;
      carve(cx + nx, cy + ny);  // the wall between, at the sum of the two halves
      carve(2 * nx, 2 * ny);
      stack.emplace_back(nx, ny);
    }
    grid.goal = 2 * (cells - 1);
  }
  grid.values[0] = 1;
  grid.values[grid.goal + static_cast<size_t>(grid.goal) * size] = 1;
  return grid;
}

Outcome RunBinaryHeap(const Grid& grid);

// The first grid of the kind, from a fixed seed on, whose goal can be reached.
Grid MakeGrid(const char* kind, int32_t size) {
  for (uint32_t seed = static_cast<uint32_t>(size) * 7 + kind[0];; ++seed) {
    Grid grid = MakeGridFrom(kind, size, seed);
    if (!RunBinaryHeap(grid).path.empty()) return grid;
  }
}

template <class ThePlanner>
Outcome RunPlanner(const Grid& grid, int64_t (*expansions)(const ThePlanner&)) {
  ThePlanner planner;
  planner.Init(ParamsFor(grid));
  planner.Begin();
  planner.Search();
  Outcome out;
  out.expansions = expansions(planner);
  for (const Node* n = planner.Goal(); n != nullptr; n = n->parent) out.path.emplace_back(n->x, n->y);
  return out;
}

Outcome RunIndexed(const Grid& grid) {
  return RunPlanner<AStarPlanner>(grid, [](const AStarPlanner& p) { return p.Expansions(); });
}

Outcome RunLiteral(const Grid& grid) {
  return RunPlanner<LiteralPlanner>(grid, [](const LiteralPlanner& p) { return static_cast<int64_t>(p.expanded.size()); });
}

// Textbook A*: f = g + h on a binary heap with stale entries skipped, a
// closed flag and a parent per cell, over the same scaled costs.
Outcome RunBinaryHeap(const Grid& grid) {
  const int32_t n = grid.size;
  const size_t cells = static_cast<size_t>(n) * n;
  std::vector<float> cost(cells, -1.0f);
  float largest = 0;
  for (size_t i = 0; i < cells; ++i) {
    if (grid.values[i] > 0) {
      cost[i] = static_cast<float>(grid.values[i]);
      largest = std::max(largest, cost[i]);
    }
  }
  for (float& c : cost) {
    if (c > 0) c = c / largest + 1.0f;
  }
  std::vector<float> g(cells, 3.4e38f);
  std::vector<int32_t> parent(cells, -1);
  std::vector<char> closed(cells, 0);
  using Item = std::pair<float, int32_t>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
  const int32_t goal = grid.goal + grid.goal * n;
  g[0] = 0;
  open.emplace(0.0f, 0);
  Outcome out;
  while (!open.empty()) {
    const int32_t cell = open.top().second;
    open.pop();
    if (closed[cell]) continue;
    closed[cell] = 1;
    ++out.expansions;
    if (cell == goal) break;
    const int32_t x = cell % n, y = cell / n;
    const int32_t steps[4][2] = {{0, -1}, {1, 0}, {-1, 0}, {0, 1}};
    for (const auto& s : steps) {
      const int32_t nx = x + s[0], ny = y + s[1];
      if (nx < 0 || nx >= n || ny < 0 || ny >= n) continue;
      const int32_t next = nx + ny * n;
      if (cost[next] < 0 || closed[next]) continue;
      const float ng = g[cell] + cost[next];
      if (ng < g[next]) {
        g[next] = ng;
        parent[next] = cell;
        open.emplace(ng + static_cast<float>(std::abs(grid.goal - nx) + std::abs(grid.goal - ny)), next);
      }
    }
  }
  if (closed[goal]) {
    for (int32_t c = goal; c >= 0; c = parent[c]) out.path.emplace_back(c % n, c / n);
  }
  return out;
}

// The step-by-step search is quadratic in the open list and the closed-set
// chains: about 7 s on open 256 x 256, minutes on open 512 x 512.
bool StepByStepRuns(const Grid& grid) { return grid.size <= 256 || (grid.size <= 512 && grid.name[0] == 'm'); }

std::vector<Grid>& Grids() {
  static std::vector<Grid> grids;
  return grids;
}

void Register(const Grid& grid, const char* what, Outcome (*run)(const Grid&), int iterations = 0) {
  benchmark::internal::Benchmark* benchmark = benchmark::RegisterBenchmark((std::string(what) + "/" + grid.name).c_str(), [&grid, run](benchmark::State& state) {
    int64_t expansions = 0;
    for (auto _ : state) {
      Outcome out = run(grid);
      expansions += out.expansions;
      benchmark::DoNotOptimize(out.path.data());
    }
    state.counters["expanded"] = benchmark::Counter(static_cast<double>(expansions) / state.iterations());
    state.counters["cells/s"] = benchmark::Counter(static_cast<double>(expansions), benchmark::Counter::kIsRate);
  });
  benchmark->Unit(benchmark::kMillisecond);
  if (iterations > 0) benchmark->Iterations(iterations);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::vector<Grid>& grids = Grids();
  for (int32_t size : {256, 512, 2048})
    for (const char* kind : {"open", "walls", "maze"}) grids.push_back(MakeGrid(kind, size));

  std::printf("Paths (indexed planner against the step-by-step search and the binary heap):\n");
  for (const Grid& grid : grids) {
    const Outcome indexed = RunIndexed(grid);
    const Outcome heap = RunBinaryHeap(grid);
    std::printf("  %-12s %8zu cells, %9lld expanded; binary heap: %9lld expanded", grid.name.c_str(),
                indexed.path.size(), static_cast<long long>(indexed.expansions),
                static_cast<long long>(heap.expansions));
    if (StepByStepRuns(grid)) {
      const Outcome literal = RunLiteral(grid);
      std::printf("; step-by-step: %s path, %s expansions\n", literal.path == indexed.path ? "same" : "DIFFERENT",
                  literal.expansions == indexed.expansions ? "same" : "DIFFERENT");
    } else {
      std::printf("; step-by-step: not run (too slow)\n");
    }
  }
  std::printf("\n");

  for (const Grid& grid : grids) {
    Register(grid, "Indexed", RunIndexed);
    Register(grid, "BinaryHeap", RunBinaryHeap);
    if (StepByStepRuns(grid)) Register(grid, "StepByStep", RunLiteral, 1);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  for (const Grid& grid : grids) {
    reporter.Ratio(("indexed / binary heap, " + grid.name).c_str(), "Indexed/" + grid.name, "BinaryHeap/" + grid.name);
  }
  for (const Grid& grid : grids) {
    if (!StepByStepRuns(grid)) continue;
    reporter.Ratio(("step-by-step / indexed, " + grid.name).c_str(), "StepByStep/" + grid.name + "/iterations:1",
                   "Indexed/" + grid.name);
  }
  benchmark::Shutdown();
  return 0;
}
