// The planners: the shared set-up of a grid search (Planner) and the
// weighted A* search over it (AStarPlanner).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "path/internal/node_containers.h"

// What a planner is asked to do; copied whole by Init.
struct PlannerParams {
  int32_t startX = 0;
  int32_t startY = 0;
  int32_t goalX = 0;
  int32_t goalY = 0;
  uint8_t useDiagonalCost = 0;  // diagonal steps cost kDiagonalFactor times the cell
  uint8_t allowDiagonal = 0;    // the four diagonal neighbours are visited at all
  int32_t nodePoolSize = 0;     // 0: width * height
  int32_t openCapacity = 0;     // 0: width * height
  int32_t hashBits = 0;         // closed-set buckets, for planners that hash
  float weight = 0;             // heuristic weight, clamped to [0, 1]
  int32_t width = 0;
  int32_t height = 0;
  const double* cells = nullptr;  // width * height costs, (x, y) at x + y * width
};

// The single-precision square root of two that diagonal steps are scaled by.
constexpr float kDiagonalFactor = 1.4142137f;
// The scaled cost of a cell that cannot be entered.
constexpr float kBlockedCost = -1.0f;

// The part every search shares: the request, the scaled cost grid, the node
// pool and the outcome. A planner is used as Init, Begin, Search, then Goal()
// and its parent links.
class Planner {
 public:
  Planner() = default;
  Planner(const Planner&) = delete;
  Planner& operator=(const Planner&) = delete;
  virtual ~Planner();

  // Checks the request (start and goal inside the grid and different cells;
  // false otherwise, the planner unchanged), builds the cost grid and sizes
  // the pool and the search's containers.
  bool Init(const PlannerParams& params);
  virtual void Begin() = 0;
  // Runs the search to its end; true when it has finished, with Goal() set
  // when a path was found.
  virtual bool Search() = 0;
  // Drops the search's nodes and outcome.
  virtual void Clear();

  Node* Goal() const { return goal_; }
  bool Finished() const { return finished_; }
  int32_t SearchCount() const { return searchCount_; }
  const PlannerParams& Params() const { return params_; }
  // The scaled cost of entering (x, y), in (1, 2], or kBlockedCost.
  float Cost(int32_t x, int32_t y) const {
    return costs_[static_cast<size_t>(x) + static_cast<size_t>(y) * static_cast<size_t>(params_.width)];
  }
  size_t CellCount() const { return costs_.size(); }

 protected:
  // Gives the search's own containers their sizes for the grid in params_.
  virtual void SizeContainers() = 0;

  bool finished_ = true;
  NodeFactory factory_;
  PlannerParams params_;
  std::vector<float> costs_;
  int32_t searchCount_ = 0;
  Node* goal_ = nullptr;
};

// One node taken off the open list: its cell and its cost from the start then.
struct Expansion {
  int32_t x;
  int32_t y;
  float g;
  bool operator==(const Expansion&) const = default;
};

// Weighted A* over a 4-connected (or, on request, 8-connected) grid. The key
// of a node is f = (h - g) * weight + g with h the Manhattan distance to the
// goal; the open node with the lowest key is expanded next, and among equal
// keys the one that entered the open list first. A closed node reached more
// cheaply is opened again.
//
// The search keeps its state per cell (state, cost so far, the step it was
// reached by) instead of in nodes found by scanning, and its open list is a
// binary heap ordered on (f, entry stamp): the stamp reproduces the order of
// a sorted list into which each node is inserted in front of its equal keys,
// so the expansions are those of that list, one for one. A cell whose cost
// drops while it is open gets a new entry; the old one is recognised by its
// stale stamp and passed over. Nodes from the pool are made for the path
// only, when the goal is reached; the pool's size still bounds the number of
// cells the search may touch.
class AStarPlanner : public Planner {
 public:
  ~AStarPlanner() override;
  void Begin() override;
  bool Search() override;
  void Clear() override;
  // Nodes taken off the open list and expanded (or found to be the goal)
  // since Begin.
  int64_t Expansions() const { return expansions_; }
  // Appends every expansion of later searches to trace (null: stop).
  void TraceExpansions(std::vector<Expansion>* trace) { trace_ = trace; }

 protected:
  void SizeContainers() override;

 private:
  struct OpenEntry {
    uint64_t order;
    float f;
    int32_t cell;
  };
  enum CellState : uint8_t { kUntouched = 0, kOpen = 1, kClosed = 2 };
  void Open(size_t cell, float f);
  void Reset();
  void BuildPath(size_t goalCell);

  std::unique_ptr<uint8_t[]> state_;   // a CellState per cell
  std::unique_ptr<uint8_t[]> from_;    // the step a touched cell was last reached by
  std::unique_ptr<float[]> g_;         // the cost from the start of a touched cell
  std::unique_ptr<uint64_t[]> stamp_;  // the stamp of an open cell's live entry
  std::vector<OpenEntry> open_;        // binary heap, earliest (f, order) on top
  int64_t openCount_ = 0;              // cells open; open_ may also hold stale entries
  int64_t touched_ = 0;                // cells given a state, bounded by the pool size
  uint64_t nextOrder_ = 0;
  int64_t expansions_ = 0;
  bool used_ = false;  // state_ holds a search's marks
  std::vector<Expansion>* trace_ = nullptr;
};
