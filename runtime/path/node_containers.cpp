// The node pool and the closed-set hash table.
#include "path/internal/node_containers.h"

#include <algorithm>
#include <cstdlib>
#include <new>

NodeFactory::~NodeFactory() = default;

void NodeFactory::Init(int32_t size) {
  size_ = std::max<int32_t>(size, 0);
  next_ = 0;
  chunks_.clear();
  chunks_.resize((static_cast<size_t>(size_) + (size_t{1} << kChunkBits) - 1) >> kChunkBits);
}

Node* NodeFactory::Allocate() {
  if (next_ >= size_) return nullptr;
  std::unique_ptr<Node[]>& chunk = chunks_[static_cast<size_t>(next_) >> kChunkBits];
  if (!chunk) chunk = std::make_unique<Node[]>(size_t{1} << kChunkBits);
  Node* node = &chunk[static_cast<size_t>(next_) & ((size_t{1} << kChunkBits) - 1)];
  ++next_;
  *node = Node();
  return node;
}

void NodeFactory::Release(int32_t count) {
  if (count > 0) next_ = count >= next_ ? 0 : next_ - count;
}

NodeHashTable::~NodeHashTable() = default;

void NodeHashTable::FreeBuckets::operator()(Node** buckets) const { std::free(buckets); }

void NodeHashTable::Init(int32_t bits) {
  bits_ = std::clamp<int32_t>(bits, 0, 24) & ~1;
  shift_ = bits_ / 2;
  mask_ = (1u << shift_) - 1;
  buckets_.reset(static_cast<Node**>(std::calloc(size_t{1} << bits_, sizeof(Node*))));
  if (!buckets_) throw std::bad_alloc();
  count_ = 0;
  foundLink_ = nullptr;
  found_ = nullptr;
}

uint32_t NodeHashTable::Bucket(int32_t x, int32_t y) const {
  return (static_cast<uint32_t>(x) & mask_) | ((static_cast<uint32_t>(y) & mask_) << shift_);
}

Node* NodeHashTable::Find(int32_t x, int32_t y) {
  foundLink_ = nullptr;
  found_ = nullptr;
  if (!buckets_) return nullptr;
  for (Node** link = &buckets_[Bucket(x, y)]; *link != nullptr; link = &(*link)->next) {
    if ((*link)->x == x && (*link)->y == y) {
      foundLink_ = link;
      found_ = *link;
      break;
    }
  }
  return found_;
}

void NodeHashTable::EraseFound() {
  if (found_ == nullptr) return;
  *foundLink_ = found_->next;
  found_->next = nullptr;
  --count_;
  foundLink_ = nullptr;
  found_ = nullptr;
}

bool NodeHashTable::Insert(Node* node) {
  if (node == nullptr || !buckets_) return false;
  Node*& head = buckets_[Bucket(node->x, node->y)];
  for (Node* n = head; n != nullptr; n = n->next) {
    if (n == node) return false;
  }
  node->next = head;
  head = node;
  ++count_;
  // A link remembered by Find may now point at the new head, not at found_.
  foundLink_ = nullptr;
  found_ = nullptr;
  return true;
}

void NodeHashTable::Clear(NodeFactory& factory) {
  int32_t held = 0;
  for (size_t bucket = 0; buckets_ && bucket < (size_t{1} << bits_); ++bucket) {
    Node*& head = buckets_[bucket];
    for (Node* n = head; n != nullptr;) {
      Node* next = n->next;
      n->next = nullptr;
      n = next;
      ++held;
    }
    head = nullptr;
  }
  factory.Release(held);
  count_ = 0;
  foundLink_ = nullptr;
  found_ = nullptr;
}
