// The search's own containers: the node, the node pool, the closed-set hash
// table and the fixed-capacity ring buffer used as a sorted open list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// One search node.
struct Node {
  Node* parent = nullptr;
  int32_t x = 0;
  int32_t y = 0;
  float f = 0;  // the ordering key
  float g = 0;  // the cost from the start
  Node* next = nullptr;  // the chain inside a NodeHashTable bucket
};

// The node pool: nodes are handed out in index order and given back only by
// moving the next-free index back; they are freed with the pool. Storage is
// taken in chunks as the index first reaches them, so a large grid whose
// search stays local does not pay for a node per cell up front.
class NodeFactory {
 public:
  NodeFactory() = default;
  NodeFactory(const NodeFactory&) = delete;
  NodeFactory& operator=(const NodeFactory&) = delete;
  virtual ~NodeFactory();

  // Sizes the pool to size nodes (below 0 counts as 0), all of them free.
  void Init(int32_t size);
  // The next free node, reset to a fresh Node; null when the pool is used up.
  Node* Allocate();
  // Moves the next-free index back by count, never below the first node.
  void Release(int32_t count);
  int32_t Size() const { return size_; }
  int32_t Used() const { return next_; }

 private:
  static constexpr int kChunkBits = 12;
  std::vector<std::unique_ptr<Node[]>> chunks_;
  int32_t size_ = 0;
  int32_t next_ = 0;
};

// The closed set: 2^bits bucket heads, chains linked through Node::next,
// newest first. With k = bits / 2 the bucket of (x, y) is
// (x AND mask) OR ((y AND mask) << k), mask = 2^k - 1.
class NodeHashTable {
 public:
  NodeHashTable() = default;
  NodeHashTable(const NodeHashTable&) = delete;
  NodeHashTable& operator=(const NodeHashTable&) = delete;
  virtual ~NodeHashTable();

  // Empties the table and sizes it: bits is clamped to [0, 24] and made even
  // by rounding down. The nodes it held are not touched.
  void Init(int32_t bits);
  int32_t Bits() const { return bits_; }
  uint32_t Bucket(int32_t x, int32_t y) const;
  // The node on (x, y) or null; the position is remembered for EraseFound.
  Node* Find(int32_t x, int32_t y);
  // Unlinks the node the last Find returned (nothing when it found none).
  void EraseFound();
  // Links node at the head of its bucket; false when it is already there.
  bool Insert(Node* node);
  // Empties every bucket and gives the pool back one node for each held.
  void Clear(NodeFactory& factory);
  int32_t Count() const { return count_; }

 private:
  struct FreeBuckets {
    void operator()(Node** buckets) const;
  };
  // Zeroed by calloc, so a large table costs only the buckets it touches.
  std::unique_ptr<Node*[], FreeBuckets> buckets_;
  int32_t bits_ = 0;
  int32_t shift_ = 0;
  uint32_t mask_ = 0;
  int32_t count_ = 0;
  Node** foundLink_ = nullptr;  // the link that points at found_
  Node* found_ = nullptr;
};

// A ring buffer of fixed capacity. head == tail means empty while the empty
// flag is set and full otherwise. Insertion and erasure in the middle shift
// whichever run of elements is shorter, through a scratch array.
template <class T>
class FixedDeque {
 public:
  FixedDeque() = default;
  FixedDeque(const FixedDeque&) = delete;
  FixedDeque& operator=(const FixedDeque&) = delete;
  virtual ~FixedDeque() = default;

  // Empties the deque and gives it room for capacity elements (below 0: none).
  void Init(int32_t capacity) {
    capacity_ = capacity > 0 ? capacity : 0;
    items_.assign(static_cast<size_t>(capacity_), T());
    scratch_.assign(static_cast<size_t>(capacity_), T());
    Clear();
  }
  int32_t Capacity() const { return capacity_; }
  bool Empty() const { return empty_; }
  bool Full() const { return capacity_ == 0 || (!empty_ && head_ == tail_); }
  int32_t Size() const {
    if (empty_) return 0;
    return tail_ > head_ ? tail_ - head_ : capacity_ - head_ + tail_;
  }
  // Element i counted from the front; i must lie in [0, Size()).
  T& At(int32_t i) { return items_[Slot(i)]; }
  const T& At(int32_t i) const { return items_[Slot(i)]; }
  T& Back() { return items_[Wrap(tail_ - 1)]; }

  bool PushBack(const T& value) {
    if (Full()) return false;
    items_[tail_] = value;
    tail_ = Wrap(tail_ + 1);
    empty_ = false;
    return true;
  }
  void PopBack() {
    if (empty_) return;
    tail_ = Wrap(tail_ - 1);
    empty_ = head_ == tail_;
  }
  // Puts value at logical index i (0 = front, Size() = behind the back);
  // false when the deque is full or i is outside [0, Size()].
  bool Insert(int32_t i, const T& value) {
    const int32_t n = Size();
    if (Full() || i < 0 || i > n) return false;
    if (i < n - i) {
      // The front run [0, i) moves one slot towards the front.
      for (int32_t k = 0; k < i; ++k) scratch_[k] = At(k);
      head_ = Wrap(head_ - 1);
      for (int32_t k = 0; k < i; ++k) At(k) = scratch_[k];
    } else {
      // The back run [i, n) moves one slot towards the back.
      for (int32_t k = i; k < n; ++k) scratch_[k - i] = At(k);
      tail_ = Wrap(tail_ + 1);
      empty_ = false;
      for (int32_t k = i; k < n; ++k) At(k + 1) = scratch_[k - i];
    }
    empty_ = false;
    At(i) = value;
    return true;
  }
  // Removes the element at logical index i; false when there is none.
  bool Erase(int32_t i) {
    const int32_t n = Size();
    if (i < 0 || i >= n) return false;
    if (i < n - 1 - i) {
      // The front run [0, i) moves one slot towards the back.
      for (int32_t k = 0; k < i; ++k) scratch_[k] = At(k);
      head_ = Wrap(head_ + 1);
      for (int32_t k = 0; k < i; ++k) At(k) = scratch_[k];
    } else {
      // The back run (i, n) moves one slot towards the front.
      for (int32_t k = i + 1; k < n; ++k) scratch_[k - i - 1] = At(k);
      for (int32_t k = i + 1; k < n; ++k) At(k - 1) = scratch_[k - i - 1];
      tail_ = Wrap(tail_ - 1);
    }
    empty_ = head_ == tail_;
    return true;
  }
  void Clear() {
    head_ = 0;
    tail_ = 0;
    empty_ = true;
  }

 private:
  int32_t Wrap(int32_t slot) const {
    if (slot < 0) return slot + capacity_;
    return slot >= capacity_ ? slot - capacity_ : slot;
  }
  size_t Slot(int32_t i) const {
    const int64_t slot = static_cast<int64_t>(head_) + i;
    return static_cast<size_t>(slot >= capacity_ ? slot - capacity_ : slot);
  }

  std::vector<T> items_;
  std::vector<T> scratch_;
  int32_t capacity_ = 0;
  int32_t head_ = 0;
  int32_t tail_ = 0;
  bool empty_ = true;
};
