// A small open-addressing hash table from 64-bit keys to 32-bit values, for
// the lookups of mesh construction (normal keys, welding cells, edges). It
// allocates one block sized for the expected number of keys and never erases.
#pragma once

#include <cstdint>
#include <vector>

class FlatHash {
 public:
  // Room for `expected` keys without growing.
  explicit FlatHash(int64_t expected = 16) { Rebuild(expected < 16 ? 16 : expected); }

  // The value stored for key, or null.
  int32_t* Find(uint64_t key) {
    uint64_t i = Mix(key) & mask_;
    while (used_[i]) {
      if (keys_[i] == key) return &values_[i];
      i = (i + 1) & mask_;
    }
    return nullptr;
  }

  // Inserts key with value unless present; returns the stored value's place
  // and whether it was inserted.
  int32_t* Insert(uint64_t key, int32_t value, bool* inserted) {
    if ((size_ + 1) * 2 > static_cast<int64_t>(mask_ + 1)) Grow();
    uint64_t i = Mix(key) & mask_;
    while (used_[i]) {
      if (keys_[i] == key) {
        *inserted = false;
        return &values_[i];
      }
      i = (i + 1) & mask_;
    }
    used_[i] = 1;
    keys_[i] = key;
    values_[i] = value;
    ++size_;
    *inserted = true;
    return &values_[i];
  }

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
  void Rebuild(int64_t expected) {
    uint64_t cap = 32;
    while (static_cast<int64_t>(cap) < expected * 2) cap <<= 1;
    mask_ = cap - 1;
    keys_.assign(cap, 0);
    values_.assign(cap, 0);
    used_.assign(cap, 0);
    size_ = 0;
  }

  void Grow() {
    std::vector<uint64_t> keys;
    std::vector<int32_t> values;
    std::vector<uint8_t> used;
    keys.swap(keys_);
    values.swap(values_);
    used.swap(used_);
    Rebuild(static_cast<int64_t>(keys.size()));
    bool inserted = false;
    for (size_t i = 0; i < keys.size(); ++i)
      if (used[i]) Insert(keys[i], values[i], &inserted);
  }

  std::vector<uint64_t> keys_;
  std::vector<int32_t> values_;
  std::vector<uint8_t> used_;
  uint64_t mask_ = 0;
  int64_t size_ = 0;
};
