// Planner set-up (request checks, cost grid) and the indexed A* search.
#include "path/internal/planner.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>

namespace {

// A map value as a cost: values above the float range become the largest
// float and positive values too small for a float the smallest one, so every
// positive value stays a finite positive cost and the scaling below cannot
// produce an infinity or a NaN.
float CostOf(double value) {
  if (value >= std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
  const float cost = static_cast<float>(value);
  return cost > 0 ? cost : std::numeric_limits<float>::denorm_min();
}

float ClampWeight(float weight) {
  if (!(weight >= 0)) return 0;  // also a NaN weight
  return weight > 1 ? 1.0f : weight;
}

struct Step {
  int32_t dx;
  int32_t dy;
  bool diagonal;
};

// The neighbours in visiting order; the diagonal ones are skipped unless
// diagonal steps are allowed.
constexpr Step kSteps[8] = {{-1, -1, true}, {0, -1, false}, {1, -1, true}, {1, 0, false},
                            {-1, 0, false}, {-1, 1, true},  {0, 1, false}, {1, 1, true}};

// The earlier entry is the one with the lower key, or with the same key and
// the earlier stamp; std::push_heap keeps the "largest" on top, so "less" here
// means "comes later".
template <class Entry>
bool ComesLater(const Entry& a, const Entry& b) {
  return a.f > b.f || (a.f == b.f && a.order > b.order);
}

}  // namespace

Planner::~Planner() = default;

bool Planner::Init(const PlannerParams& params) {
  if (params.startX < 0 || params.startX >= params.width || params.startY < 0 ||
      params.startY >= params.height || params.goalX < 0 || params.goalX >= params.width ||
      params.goalY < 0 || params.goalY >= params.height) {
    return false;
  }
  if (params.startX == params.goalX && params.startY == params.goalY) return false;

  params_ = PlannerParams();
  searchCount_ = 0;
  goal_ = nullptr;

  const size_t width = static_cast<size_t>(params.width);
  const size_t height = static_cast<size_t>(params.height);
  costs_.assign(width * height, kBlockedCost);
  float largest = 0;
  for (size_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < width; ++x) {
      const double value = params.cells[x + y * width];
      if (value > 0) {
        const float cost = CostOf(value);
        costs_[x + y * width] = cost;
        largest = std::max(largest, cost);
      }
    }
  }
  if (largest > 0) {
    for (float& cost : costs_) {
      if (cost > 0) cost = cost / largest + 1.0f;
    }
  }

  const int64_t cells = static_cast<int64_t>(width * height);
  const int32_t defaultSize = static_cast<int32_t>(std::min<int64_t>(cells, INT32_MAX));
  factory_.Init(params.nodePoolSize > 0 ? params.nodePoolSize : defaultSize);
  params_ = params;
  if (params_.openCapacity <= 0) params_.openCapacity = defaultSize;
  params_.weight = ClampWeight(params.weight);
  SizeContainers();
  searchCount_ = 0;
  goal_ = nullptr;
  finished_ = true;
  return true;
}

void Planner::Clear() {
  goal_ = nullptr;
  finished_ = true;
}

AStarPlanner::~AStarPlanner() = default;

void AStarPlanner::SizeContainers() {
  const size_t cells = CellCount();
  // Only the states start zeroed; the rest is written before it is read.
  state_ = std::make_unique<uint8_t[]>(cells);
  from_.reset(new uint8_t[cells]);
  g_.reset(new float[cells]);
  stamp_.reset(new uint64_t[cells]);
  used_ = false;
  open_.clear();
  openCount_ = 0;
  touched_ = 0;
}

void AStarPlanner::Reset() {
  if (used_) std::fill(state_.get(), state_.get() + CellCount(), uint8_t{kUntouched});
  used_ = false;
  factory_.Release(factory_.Used());
  open_.clear();
  openCount_ = 0;
  touched_ = 0;
}

void AStarPlanner::Clear() {
  Reset();
  Planner::Clear();
}

void AStarPlanner::Begin() {
  Reset();
  finished_ = false;
  searchCount_ = 0;
  goal_ = nullptr;
  nextOrder_ = 0;
  expansions_ = 0;
  if (factory_.Size() < 1) return;
  const size_t start = static_cast<size_t>(params_.startX) + static_cast<size_t>(params_.startY) * params_.width;
  used_ = true;
  state_[start] = kOpen;
  g_[start] = 0;
  touched_ = 1;
  openCount_ = 1;
  Open(start, 0.0f);
}

void AStarPlanner::Open(size_t cell, float f) {
  stamp_[cell] = nextOrder_;
  open_.push_back(OpenEntry{nextOrder_++, f, static_cast<int32_t>(cell)});
  std::push_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
  // Stale entries are dropped once they make up most of the heap, so it never
  // grows much past the open cells; which entry is on top does not change.
  if (open_.size() > 64 && open_.size() > 4 * static_cast<size_t>(openCount_)) {
    std::erase_if(open_, [this](const OpenEntry& e) {
      return state_[static_cast<size_t>(e.cell)] != kOpen || stamp_[static_cast<size_t>(e.cell)] != e.order;
    });
    std::make_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
  }
}

// Gives the cells from the start to goalCell nodes from the pool, linked
// through parent, with the g and f they were last opened with.
void AStarPlanner::BuildPath(size_t goalCell) {
  const size_t width = static_cast<size_t>(params_.width);
  const size_t start = static_cast<size_t>(params_.startX) + static_cast<size_t>(params_.startY) * width;
  std::vector<size_t> cells;
  for (size_t cell = goalCell; cell != start;) {
    cells.push_back(cell);
    const Step& step = kSteps[from_[cell]];
    cell -= static_cast<size_t>(static_cast<ptrdiff_t>(step.dx) + static_cast<ptrdiff_t>(step.dy) * static_cast<ptrdiff_t>(width));
  }
  cells.push_back(start);
  Node* parent = nullptr;
  for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
    Node* node = factory_.Allocate();
    if (node == nullptr) return;  // cannot happen: the path's cells were all touched
    node->parent = parent;
    node->x = static_cast<int32_t>(*it % width);
    node->y = static_cast<int32_t>(*it / width);
    node->g = g_[*it];
    if (parent != nullptr) {
      const float h = static_cast<float>(std::llabs(static_cast<int64_t>(params_.goalX) - node->x) +
                                         std::llabs(static_cast<int64_t>(params_.goalY) - node->y));
      node->f = (h - node->g) * params_.weight + node->g;
    }
    parent = node;
  }
  goal_ = parent;
}

bool AStarPlanner::Search() {
  ++searchCount_;
  const float diagonalFactor = params_.useDiagonalCost ? kDiagonalFactor : 1.0f;
  static constexpr uint8_t kAllSteps[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  static constexpr uint8_t kStraightSteps[4] = {1, 3, 4, 6};
  const uint8_t* steps = params_.allowDiagonal ? kAllSteps : kStraightSteps;
  const int stepCount = params_.allowDiagonal ? 8 : 4;
  const int32_t width = params_.width;
  const int32_t height = params_.height;
  const int32_t goalX = params_.goalX;
  const int32_t goalY = params_.goalY;
  const float weight = params_.weight;
  const int64_t poolSize = factory_.Size();

  while (true) {
    if (openCount_ == 0) {
      open_.clear();
      finished_ = true;
      return true;
    }
    std::pop_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
    const OpenEntry entry = open_.back();
    open_.pop_back();
    const size_t cell = static_cast<size_t>(entry.cell);
    if (state_[cell] != kOpen || stamp_[cell] != entry.order) continue;  // superseded
    // Closing it now rather than after its neighbours changes nothing: a cell
    // is never its own neighbour.
    state_[cell] = kClosed;
    --openCount_;
    ++expansions_;
    const int32_t x = static_cast<int32_t>(cell % static_cast<size_t>(width));
    const int32_t y = static_cast<int32_t>(cell / static_cast<size_t>(width));
    const float nodeG = g_[cell];
    if (trace_ != nullptr) trace_->push_back(Expansion{x, y, nodeG});

    if (x == goalX && y == goalY) {
      BuildPath(cell);
      finished_ = true;
      return true;
    }

    for (int s = 0; s < stepCount; ++s) {
      const Step& step = kSteps[steps[s]];
      const int32_t nx = x + step.dx;
      const int32_t ny = y + step.dy;
      if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
      const size_t next = static_cast<size_t>(nx) + static_cast<size_t>(ny) * static_cast<size_t>(width);
      const float cost = costs_[next];
      if (cost == kBlockedCost) continue;
      const float g = nodeG + (step.diagonal ? cost * diagonalFactor : cost);
      const float h = static_cast<float>(std::llabs(static_cast<int64_t>(goalX) - nx) +
                                         std::llabs(static_cast<int64_t>(goalY) - ny));
      const float f = (h - g) * weight + g;

      const uint8_t state = state_[next];
      if (state != kUntouched) {
        if (g_[next] <= g) continue;
        if (state == kClosed) {
          state_[next] = kOpen;
          ++openCount_;
        }
      } else {
        if (touched_ >= poolSize) continue;  // the pool would have no node for it
        ++touched_;
        state_[next] = kOpen;
        ++openCount_;
      }
      g_[next] = g;
      from_[next] = steps[s];
      Open(next, f);
    }
  }
}
