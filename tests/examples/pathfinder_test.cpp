// The pathfinding example end to end: two cells given on its command line,
// the route read back from the screenshot's cell markers and checked against
// the map and a search of the test's own.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <queue>
#include <string>
#include <vector>

#include "example_support.h"

namespace {

using example_test::ExampleRun;
using example_test::Image;
using example_test::Near;
using example_test::Rgb;

// The screen layout the example's README describes: 28-pixel cells from
// (40, 40), markers in the middle of a cell, the status line at y = 446.
constexpr int kOrigin = 40;
constexpr int kCell = 28;
constexpr int kMarkerOffset = 13;

// The map picture, one pixel per cell: white road 1, green grass 3, blue
// water 8, anything else a wall (0).
struct Map {
  int width = 0, height = 0;
  std::vector<double> cost;  // cost[x + y * width]
  double At(int x, int y) const { return cost[x + y * width]; }
};

Map ReadMap() {
  Picture picture;
  const std::string file = std::string(VELMORA_SOURCE_DIR) + "/examples/pathfinder/data/map.png";
  EXPECT_TRUE(ReadPNG(picture, file.c_str(), -1)) << file;
  Map map;
  map.width = picture.width;
  map.height = picture.height;
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      const uint8_t* p = picture.Pixel(x, y);
      const int rgb = p[0] | p[1] << 8 | p[2] << 16;
      map.cost.push_back(rgb == 0xFFFFFF ? 1 : rgb == 0x00A000 ? 3 : rgb == 0xFF0000 ? 8 : 0);
    }
  return map;
}

// The search's step cost: a cell's cost scaled into (1, 2] by the largest.
double StepCost(const Map& map, int x, int y) {
  double largest = 0;
  for (double c : map.cost) largest = std::max(largest, c);
  return map.At(x, y) / largest + 1.0;
}

// The cheapest cost of a 4-connected route from start to goal (Dijkstra);
// infinity when there is none.
double CheapestRoute(const Map& map, int sx, int sy, int gx, int gy) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> best(map.cost.size(), inf);
  using Entry = std::pair<double, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
  best[sx + sy * map.width] = 0;
  open.push({0, sx + sy * map.width});
  while (!open.empty()) {
    const auto [g, at] = open.top();
    open.pop();
    if (g > best[at]) continue;
    const int x = at % map.width, y = at / map.width;
    const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
    for (int k = 0; k < 4; ++k) {
      const int nx = x + dx[k], ny = y + dy[k];
      if (nx < 0 || ny < 0 || nx >= map.width || ny >= map.height || map.At(nx, ny) <= 0) continue;
      const double next = g + StepCost(map, nx, ny);
      if (next < best[nx + ny * map.width]) {
        best[nx + ny * map.width] = next;
        open.push({next, nx + ny * map.width});
      }
    }
  }
  return best[gx + gy * map.width];
}

enum class Mark { kNone, kRoute, kStart, kGoal };

// The marker in the middle of each cell of the screenshot.
std::vector<Mark> Marks(const Image& image, const Map& map) {
  std::vector<Mark> marks;
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      const Rgb c = image.At(kOrigin + x * kCell + kMarkerOffset, kOrigin + y * kCell + kMarkerOffset);
      marks.push_back(Near(c, 255, 220, 0, 8)    ? Mark::kRoute
                      : Near(c, 255, 64, 64, 8)  ? Mark::kStart
                      : Near(c, 64, 255, 255, 8) ? Mark::kGoal
                                                 : Mark::kNone);
    }
  return marks;
}

// Lit pixels of the built-in font on the status line.
int StatusTextPixels(const Image& image) {
  return image.Count(kOrigin, 446, 560, 8, [](Rgb c) { return c.r > 240 && c.g > 240 && c.b > 240; });
}

// Runs the example with the cells clicked from its command line.
void RunWithCells(const std::vector<std::string>& cells, testing_support::ChildResult* result, Image* image) {
  ExampleRun run("pathfinder");
  std::vector<std::string> words = {"click"};
  words.insert(words.end(), cells.begin(), cells.end());
  *result = run.Run(words, 4);
  EXPECT_EQ(result->exitCode, 0) << result->err;
  EXPECT_EQ(example_test::EndErrorCode(result->runLog), "0") << result->runLog;
  EXPECT_TRUE(example_test::ErrorLines(result->runLog).empty()) << result->runLog;
  EXPECT_TRUE(image->Load(run.Shot()));
}

// The drawn route starts and ends at the given cells, is one unbroken
// 4-connected chain through passable cells, and costs what the cheapest
// route costs.
void ExpectCheapestRoute(const Image& image, const Map& map, int sx, int sy, int gx, int gy) {
  ASSERT_EQ(image.Width(), 640);
  const std::vector<Mark> marks = Marks(image, map);
  auto mark = [&](int x, int y) { return marks[x + y * map.width]; };
  EXPECT_EQ(mark(sx, sy), Mark::kStart);
  EXPECT_EQ(mark(gx, gy), Mark::kGoal);

  // Walk the chain from the start: every step has exactly one unvisited
  // marked neighbour until the goal.
  std::vector<bool> visited(marks.size(), false);
  int x = sx, y = sy, steps = 0;
  double cost = 0;
  visited[x + y * map.width] = true;
  while (!(x == gx && y == gy) && steps < 1000) {
    int next = -1, choices = 0;
    const int dx[] = {1, -1, 0, 0}, dy[] = {0, 0, 1, -1};
    for (int k = 0; k < 4; ++k) {
      const int nx = x + dx[k], ny = y + dy[k];
      if (nx < 0 || ny < 0 || nx >= map.width || ny >= map.height || visited[nx + ny * map.width]) continue;
      if (mark(nx, ny) == Mark::kRoute || mark(nx, ny) == Mark::kGoal) {
        next = nx + ny * map.width;
        ++choices;
      }
    }
    ASSERT_EQ(choices, 1) << "the route branches or breaks at cell " << x << "," << y;
    x = next % map.width;
    y = next / map.width;
    visited[next] = true;
    EXPECT_GT(map.At(x, y), 0) << "route through the wall cell " << x << "," << y;
    cost += StepCost(map, x, y);
    ++steps;
  }
  int routeCells = 0;
  for (Mark m : marks) routeCells += m == Mark::kRoute;
  EXPECT_EQ(routeCells, steps - 1) << "route cells off the chain";
  EXPECT_NEAR(cost, CheapestRoute(map, sx, sy, gx, gy), 1e-4);
}

// The cells given on the command line: the cheapest route between them, and
// the length and cost line.
TEST(PathfinderExample, DrawsTheCheapestRouteBetweenTheClickedCells) {
  const Map map = ReadMap();
  ASSERT_EQ(map.width, 20);
  ASSERT_EQ(map.height, 14);
  testing_support::ChildResult result;
  Image image;
  RunWithCells({"2", "2", "17", "10"}, &result, &image);
  ExpectCheapestRoute(image, map, 2, 2, 17, 10);
  EXPECT_GT(StatusTextPixels(image), 200) << "the length and cost line";
}

// A goal on a wall has no route: nothing is marked as route, both clicked
// cells are, and the status line says so (shorter than the cost line).
TEST(PathfinderExample, GoalOnAWallDrawsNoRoute) {
  const Map map = ReadMap();
  ASSERT_EQ(map.At(1, 1), 0);
  testing_support::ChildResult result;
  Image image;
  RunWithCells({"2", "2", "1", "1"}, &result, &image);
  ASSERT_EQ(image.Width(), 640);
  const std::vector<Mark> marks = Marks(image, map);
  int route = 0;
  for (Mark m : marks) route += m == Mark::kRoute;
  EXPECT_EQ(route, 0);
  EXPECT_EQ(marks[2 + 2 * map.width], Mark::kStart);
  EXPECT_EQ(marks[1 + 1 * map.width], Mark::kGoal);
  const int text = StatusTextPixels(image);
  EXPECT_GT(text, 20) << "NO PATH";
  EXPECT_LT(text, 200);
}

// On a virtual display, the same two cells clicked with the mouse (window
// points in their middles) give the cheapest route, and Escape ends the
// program.
TEST(PathfinderExample, MouseClicksOnAVirtualDisplay) {
  const Map map = ReadMap();
  testing_support::TempDir dir;
  auto middle = [](int cell) { return std::to_string(kOrigin + cell * kCell + kMarkerOffset); };
  const testing_support::ChildResult session = testing_support::RunProgram(
      "/bin/bash",
      {std::string(VELMORA_SOURCE_DIR) + "/tests/examples/xvfb_drive.sh", dir.path(), dir.path(), "Pathfinder",
       std::string(VELMORA_BINARY_DIR) + "/examples/pathfinder/pathfinder", "--", "shoot", "before", "click",
       middle(2), middle(2), "click", middle(17), middle(10), "shoot", "route"},
      "", {}, "", 120);
  if (session.exitCode == 77) GTEST_SKIP() << "Xvfb, xdotool or import missing: " << session.out;
  ASSERT_EQ(session.exitCode, 0) << testing_support::ReadWholeFile(dir.File("session.log"));
  Image before, route;
  ASSERT_TRUE(before.Load(dir.File("before.png"))) << testing_support::ReadWholeFile(dir.File("session.log"));
  ASSERT_TRUE(route.Load(dir.File("route.png")));
  for (Mark m : Marks(before, map)) EXPECT_EQ(m, Mark::kNone) << "nothing marked before the clicks";
  ExpectCheapestRoute(route, map, 2, 2, 17, 10);
  EXPECT_EQ(testing_support::ReadWholeFile(dir.File("status.txt")), "ended 0\n");
}

}  // namespace
