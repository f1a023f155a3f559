// Small open-addressing hash tables from integer keys to non-negative 32-bit
// values, for the lookups of mesh construction (normal keys, palette codes,
// welding cells, edges). Each allocates one block sized for the expected
// number of keys and never erases.
#pragma once

#include <cstdint>
#include <vector>

// Keys of type Key (an unsigned integer type) to values >= 0.
template <typename Key>
class BasicFlatHash {
 public:
  // Room for `expected` keys without growing.
  explicit BasicFlatHash(int64_t expected = 16) { Rebuild(expected < 16 ? 16 : expected); }

  // The value stored for key, or null.
  int32_t* Find(Key key) {
    uint64_t i = Mix(key) & mask_;
    while (slots_[i].value >= 0) {
      if (slots_[i].key == key) return &slots_[i].value;
      i = (i + 1) & mask_;
    }
    return nullptr;
  }

  // Inserts key with value (>= 0) unless present; returns the stored value's
  // place and whether it was inserted.
  int32_t* Insert(Key key, int32_t value, bool* inserted) {
    if ((size_ + 1) * 2 > static_cast<int64_t>(mask_ + 1)) Grow();
    uint64_t i = Mix(key) & mask_;
    while (slots_[i].value >= 0) {
      if (slots_[i].key == key) {
        *inserted = false;
        return &slots_[i].value;
      }
      i = (i + 1) & mask_;
    }
    slots_[i] = Slot{key, value};
    ++size_;
    *inserted = true;
    return &slots_[i].value;
  }

  // Asks for the key's first slot to be loaded ahead of a lookup.
  void Prefetch(Key key) const { __builtin_prefetch(&slots_[Mix(key) & mask_]); }

  int64_t size() const { return size_; }

  static uint64_t Mix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
  }

 private:
  // One probe reads one slot; a negative value marks an empty one.
  struct Slot {
    Key key;
    int32_t value;
  };

  void Rebuild(int64_t expected) {
    uint64_t capacity = 32;
    while (static_cast<int64_t>(capacity) < expected * 2) capacity <<= 1;
    mask_ = capacity - 1;
    slots_.assign(capacity, Slot{0, -1});
    size_ = 0;
  }

  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    Rebuild(static_cast<int64_t>(old.size()));
    bool inserted = false;
    for (const Slot& slot : old)
      if (slot.value >= 0) Insert(slot.key, slot.value, &inserted);
  }

  std::vector<Slot> slots_;
  uint64_t mask_ = 0;
  int64_t size_ = 0;
};

using FlatHash = BasicFlatHash<uint64_t>;
using FlatHash32 = BasicFlatHash<uint32_t>;
