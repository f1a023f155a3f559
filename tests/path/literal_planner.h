// The search written step by step as first described, with its sorted open
// list scanned from the back and its 256-bucket closed set: the reference
// the indexed AStarPlanner must match expansion for expansion.
#pragma once

#include <cstdlib>
#include <vector>

#include "path/internal/node_containers.h"
#include "path/internal/planner.h"

class LiteralPlanner : public Planner {
 public:
  ~LiteralPlanner() override { Clear(); }

  void Begin() override {
    finished_ = false;
    searchCount_ = 0;
    goal_ = nullptr;
    Node* start = factory_.Allocate();
    start->x = params_.startX;
    start->y = params_.startY;
    start->g = 0;
    start->parent = nullptr;
    open_.PushBack(start);
  }

  bool Search() override {
    ++searchCount_;
    const float diagonalFactor = params_.useDiagonalCost ? 1.4142137f : 1.0f;
    struct Step {
      int dx, dy;
      bool diagonal;
    };
    const Step steps[8] = {{-1, -1, true}, {0, -1, false}, {1, -1, true}, {1, 0, false},
                           {-1, 0, false}, {-1, 1, true},  {0, 1, false}, {1, 1, true}};
    while (true) {
      if (open_.Empty()) {
        finished_ = true;
        return true;
      }
      Node* node = open_.Back();
      open_.PopBack();
      expanded.push_back(Expansion{node->x, node->y, node->g});
      if (node->x == params_.goalX && node->y == params_.goalY) {
        goal_ = node;
        finished_ = true;
        return true;
      }
      for (const Step& step : steps) {
        if (step.diagonal && !params_.allowDiagonal) continue;
        const int nx = node->x + step.dx;
        const int ny = node->y + step.dy;
        if (nx < 0 || nx >= params_.width || ny < 0 || ny >= params_.height) continue;
        if (Cost(nx, ny) == -1.0f) continue;
        const float g = node->g + Cost(nx, ny) * (step.diagonal ? diagonalFactor : 1.0f);
        const float h = static_cast<float>(std::abs(params_.goalX - nx) + std::abs(params_.goalY - ny));
        const float f = (h - g) * params_.weight + g;

        if (Node* closed = closed_.Find(nx, ny)) {
          if (closed->g <= g) continue;
          closed_.EraseFound();
          closed->parent = node;
          closed->g = g;
          closed->f = f;
          InsertOpen(closed);
          continue;
        }
        int32_t found = -1;
        for (int32_t i = open_.Size() - 1; i >= 0; --i) {
          if (open_.At(i)->x == nx && open_.At(i)->y == ny) {
            found = i;
            break;
          }
        }
        if (found >= 0) {
          Node* open = open_.At(found);
          if (open->g <= g) continue;
          open_.Erase(found);
          open->parent = node;
          open->g = g;
          open->f = f;
          InsertOpen(open);
        } else {
          Node* fresh = factory_.Allocate();
          if (fresh == nullptr) continue;
          fresh->parent = node;
          fresh->x = nx;
          fresh->y = ny;
          fresh->g = g;
          fresh->f = f;
          InsertOpen(fresh);
        }
      }
      closed_.Insert(node);
    }
  }

  void Clear() override {
    factory_.Release(open_.Size());
    open_.Clear();
    closed_.Clear(factory_);
    Planner::Clear();
  }

  // Every node taken off the open list, in order.
  std::vector<Expansion> expanded;

 protected:
  void SizeContainers() override {
    open_.Init(params_.openCapacity);
    closed_.Init(params_.hashBits);
  }

 private:
  // Binary search for the first position, front to back, whose f is <= the
  // new f: the list stays in descending order and a node goes in front of
  // those with an equal key.
  void InsertOpen(Node* node) {
    int32_t low = 0;
    int32_t high = open_.Size();
    while (low < high) {
      const int32_t mid = low + (high - low) / 2;
      if (open_.At(mid)->f <= node->f) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    open_.Insert(low, node);
  }

  FixedDeque<Node*> open_;
  NodeHashTable closed_;
};
