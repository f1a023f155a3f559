// Planner set-up (request checks, cost grid) and the indexed A* search.
#include "path/internal/planner.h"

#include <algorithm>
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
constexpr Step kStraightSteps[4] = {{0, -1, false}, {1, 0, false}, {-1, 0, false}, {0, 1, false}};

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
  cellNodes_.assign(costs_.size(), nullptr);
  open_.clear();
  openCount_ = 0;
}

void AStarPlanner::DropNodes() {
  if (factory_.Used() > 0) std::fill(cellNodes_.begin(), cellNodes_.end(), nullptr);
  factory_.Release(factory_.Used());
  open_.clear();
  openCount_ = 0;
}

void AStarPlanner::Clear() {
  DropNodes();
  Planner::Clear();
}

void AStarPlanner::Begin() {
  DropNodes();
  finished_ = false;
  searchCount_ = 0;
  goal_ = nullptr;
  nextOrder_ = 0;
  expansions_ = 0;
  Node* start = factory_.Allocate();
  if (start == nullptr) return;
  start->x = params_.startX;
  start->y = params_.startY;
  cellNodes_[static_cast<size_t>(start->x) + static_cast<size_t>(start->y) * params_.width] = start;
  ++openCount_;
  Open(start, start->f);
}

void AStarPlanner::Open(Node* node, float f) {
  node->order = nextOrder_++;
  open_.push_back(OpenEntry{node->order, node, f});
  std::push_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
  // Stale entries are dropped once they make up most of the heap, so it never
  // grows much past the open nodes; which entry is on top does not change.
  if (open_.size() > 64 && open_.size() > 4 * static_cast<size_t>(openCount_)) {
    std::erase_if(open_, [](const OpenEntry& e) { return e.node->order != e.order; });
    std::make_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
  }
}

bool AStarPlanner::Search() {
  ++searchCount_;
  const float diagonalFactor = params_.useDiagonalCost ? kDiagonalFactor : 1.0f;
  const Step* steps = params_.allowDiagonal ? kSteps : kStraightSteps;
  const int stepCount = params_.allowDiagonal ? 8 : 4;
  const int32_t width = params_.width;
  const int32_t height = params_.height;
  const int32_t goalX = params_.goalX;
  const int32_t goalY = params_.goalY;
  const float weight = params_.weight;

  while (true) {
    if (openCount_ == 0) {
      open_.clear();
      finished_ = true;
      return true;
    }
    std::pop_heap(open_.begin(), open_.end(), ComesLater<OpenEntry>);
    const OpenEntry entry = open_.back();
    open_.pop_back();
    Node* node = entry.node;
    if (node->order != entry.order) continue;  // superseded by a later entry
    node->order = ~uint64_t{0};  // no entry stands for it any more
    --openCount_;
    ++expansions_;
    if (trace_ != nullptr) trace_->push_back(Expansion{node->x, node->y, node->g});

    if (node->x == goalX && node->y == goalY) {
      goal_ = node;
      finished_ = true;
      return true;
    }

    for (int s = 0; s < stepCount; ++s) {
      const int32_t nx = node->x + steps[s].dx;
      const int32_t ny = node->y + steps[s].dy;
      if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
      const size_t cell = static_cast<size_t>(nx) + static_cast<size_t>(ny) * static_cast<size_t>(width);
      const float cost = costs_[cell];
      if (cost == kBlockedCost) continue;
      const float g = node->g + (steps[s].diagonal ? cost * diagonalFactor : cost);
      const float h = static_cast<float>(std::llabs(static_cast<int64_t>(goalX) - nx) +
                                         std::llabs(static_cast<int64_t>(goalY) - ny));
      const float f = (h - g) * weight + g;

      Node* other = cellNodes_[cell];
      if (other != nullptr) {
        if (other->g <= g) continue;
        if (other->closed) {
          other->closed = false;
          ++openCount_;
        }
      } else {
        other = factory_.Allocate();
        if (other == nullptr) continue;
        other->x = nx;
        other->y = ny;
        cellNodes_[cell] = other;
        ++openCount_;
      }
      other->parent = node;
      other->g = g;
      other->f = f;
      Open(other, f);
    }
    node->closed = true;
  }
}
