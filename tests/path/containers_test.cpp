// The search's containers: the node pool, the closed-set hash table and the
// ring buffer, each against what it must hold after a sequence of operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>

#include "path/internal/node_containers.h"

namespace {

TEST(NodeFactory, HandsOutEachNodeOnceUntilReleased) {
  NodeFactory factory;
  const int32_t size = 5000;  // more than one storage chunk
  factory.Init(size);
  std::vector<Node*> nodes;
  for (int32_t i = 0; i < size; ++i) {
    Node* node = factory.Allocate();
    ASSERT_NE(node, nullptr) << i;
    node->x = i;
    nodes.push_back(node);
  }
  EXPECT_EQ(factory.Allocate(), nullptr);
  EXPECT_EQ(factory.Used(), size);
  std::sort(nodes.begin(), nodes.end());
  EXPECT_EQ(std::adjacent_find(nodes.begin(), nodes.end()), nodes.end()) << "a node handed out twice";

  factory.Release(3);
  EXPECT_EQ(factory.Used(), size - 3);
  Node* again = factory.Allocate();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->x, 0) << "a node handed out again starts fresh";
  factory.Release(size * 2);
  EXPECT_EQ(factory.Used(), 0);
  factory.Release(-4);
  EXPECT_EQ(factory.Used(), 0);

  for (int32_t bad : {0, -7}) {
    factory.Init(bad);
    EXPECT_EQ(factory.Size(), 0);
    EXPECT_EQ(factory.Allocate(), nullptr) << bad;
  }
}

TEST(NodeHashTable, BitsAreClampedAndEven) {
  const struct {
    int32_t requested, bits;
  } cases[] = {{-3, 0}, {0, 0}, {1, 0}, {7, 6}, {8, 8}, {23, 22}, {24, 24}, {25, 24}, {31, 24}};
  for (const auto& c : cases) {
    NodeHashTable table;
    table.Init(c.requested);
    EXPECT_EQ(table.Bits(), c.bits) << c.requested;
  }
}

TEST(NodeHashTable, BucketTakesTheLowBitsOfXAndY) {
  const struct {
    int32_t bits, x, y;
    uint32_t bucket;
  } cases[] = {
      {8, 0x13, 0x25, 0x53},    // k = 4: low nibbles 3 and 5
      {8, 15, 15, 0xFF},        // the last bucket
      {8, 16, 32, 0},           // bits above the mask drop out
      {7, 0x0F, 0x0F, 0x3F},    // rounded to 6 bits: k = 3
      {24, 4095, 1, 0x1FFF},    // k = 12
      {8, -1, 0, 0x0F},         // negative coordinates keep their low bits
      {0, 123, 456, 0},
  };
  for (const auto& c : cases) {
    NodeHashTable table;
    table.Init(c.bits);
    EXPECT_EQ(table.Bucket(c.x, c.y), c.bucket) << c.bits << " " << c.x << "," << c.y;
  }
}

TEST(NodeHashTable, FindEraseInsertAndClear) {
  NodeFactory factory;
  factory.Init(64);
  NodeHashTable table;
  table.Init(4);  // k = 2: bucket (x AND 3) OR ((y AND 3) << 2)
  // Three nodes share bucket 0, a fourth has one of its own.
  const int32_t cells[][2] = {{0, 0}, {4, 0}, {0, 8}, {1, 0}};
  std::vector<Node*> nodes;
  for (const auto& cell : cells) {
    Node* node = factory.Allocate();
    node->x = cell[0];
    node->y = cell[1];
    ASSERT_TRUE(table.Insert(node));
    nodes.push_back(node);
  }
  EXPECT_FALSE(table.Insert(nodes[1])) << "a node already in its chain";
  EXPECT_EQ(table.Count(), 4);

  for (size_t i = 0; i < nodes.size(); ++i) EXPECT_EQ(table.Find(cells[i][0], cells[i][1]), nodes[i]);
  EXPECT_EQ(table.Find(8, 8), nullptr) << "same bucket, other cell";
  table.EraseFound();  // nothing found: nothing erased
  EXPECT_EQ(table.Count(), 4);

  // Erasing from the middle of the chain keeps the others reachable.
  ASSERT_EQ(table.Find(4, 0), nodes[1]);
  table.EraseFound();
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.Find(4, 0), nullptr);
  EXPECT_EQ(table.Find(0, 0), nodes[0]);
  EXPECT_EQ(table.Find(0, 8), nodes[2]);
  EXPECT_TRUE(table.Insert(nodes[1])) << "an erased node goes back in";

  const int32_t used = factory.Used();
  table.Clear(factory);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(factory.Used(), used - 4);
  for (const auto& cell : cells) EXPECT_EQ(table.Find(cell[0], cell[1]), nullptr);
}

// Random operations on a small deque, checked after each against std::deque;
// the capacity is small so that the ring wraps and fills often.
TEST(FixedDeque, MatchesAPlainDequeThroughWrapsAndFullness) {
  for (int32_t capacity : {1, 2, 5, 8}) {
    FixedDeque<int> ring;
    ring.Init(capacity);
    std::deque<int> model;
    std::mt19937 random(static_cast<uint32_t>(capacity));
    for (int step = 0; step < 4000; ++step) {
      const int op = static_cast<int>(random() % 5);
      const int value = step;
      const int32_t size = static_cast<int32_t>(model.size());
      const std::string what = std::to_string(capacity) + " step " + std::to_string(step);
      if (op == 0) {
        EXPECT_EQ(ring.PushBack(value), size < capacity) << what;
        if (size < capacity) model.push_back(value);
      } else if (op == 1) {
        ring.PopBack();
        if (!model.empty()) model.pop_back();
      } else if (op == 2 || op == 3) {
        const int32_t at = static_cast<int32_t>(random() % (size + 2));  // one past the end too
        const bool fits = size < capacity && at <= size;
        EXPECT_EQ(ring.Insert(at, value), fits) << what;
        if (fits) model.insert(model.begin() + at, value);
      } else {
        const int32_t at = static_cast<int32_t>(random() % (size + 1));
        EXPECT_EQ(ring.Erase(at), at < size) << what;
        if (at < size) model.erase(model.begin() + at);
      }
      ASSERT_EQ(ring.Size(), static_cast<int32_t>(model.size())) << what;
      ASSERT_EQ(ring.Empty(), model.empty()) << what;
      ASSERT_EQ(ring.Full(), static_cast<int32_t>(model.size()) == capacity) << what;
      for (int32_t i = 0; i < ring.Size(); ++i) ASSERT_EQ(ring.At(i), model[i]) << what << " at " << i;
      if (!model.empty()) {
        ASSERT_EQ(ring.Back(), model.back()) << what;
      }
    }
  }
}

TEST(FixedDeque, ClearEmptiesAndZeroCapacityHoldsNothing) {
  FixedDeque<int> ring;
  ring.Init(3);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ring.PushBack(i));
  EXPECT_FALSE(ring.PushBack(9));
  ring.Clear();
  EXPECT_TRUE(ring.Empty());
  EXPECT_EQ(ring.Size(), 0);
  EXPECT_TRUE(ring.PushBack(4));
  EXPECT_EQ(ring.Back(), 4);

  ring.Init(0);
  EXPECT_FALSE(ring.PushBack(1));
  EXPECT_FALSE(ring.Insert(0, 1));
  EXPECT_EQ(ring.Size(), 0);
}

}  // namespace
