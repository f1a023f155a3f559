// GrowList: the 3D engine's growable array of fixed-size records. Every mesh
// list (vertices, triangles, frames, palette, the object table) is one. The
// first block gets the list's minimum capacity, later blocks grow in whole
// grow steps (and, for long lists, by half their size at least, so that
// appending stays linear); a list reserved to a known size never moves.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

// Test hook: the next n block allocations of any GrowList fail.
inline int32_t GrowListFailures = 0;

// A growable array of T records (see above).
template <typename T>
class GrowList {
 public:
  explicit GrowList(int32_t growStep = 128, int32_t minimum = 512)
      : growStep_(growStep), minimum_(minimum) {}
  ~GrowList() { Free(); }

  GrowList(GrowList&& other) noexcept
      : data_(other.data_),
        count_(other.count_),
        capacity_(other.capacity_),
        growStep_(other.growStep_),
        minimum_(other.minimum_) {
    other.data_ = nullptr;
    other.count_ = 0;
    other.capacity_ = 0;
  }
  GrowList& operator=(GrowList&& other) noexcept {
    if (this != &other) {
      Free();
      data_ = other.data_;
      count_ = other.count_;
      capacity_ = other.capacity_;
      growStep_ = other.growStep_;
      minimum_ = other.minimum_;
      other.data_ = nullptr;
      other.count_ = 0;
      other.capacity_ = 0;
    }
    return *this;
  }
  GrowList(const GrowList&) = delete;
  GrowList& operator=(const GrowList&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  int32_t count() const { return count_; }
  int32_t capacity() const { return capacity_; }
  int32_t growStep() const { return growStep_; }
  int32_t minimum() const { return minimum_; }
  bool empty() const { return count_ == 0; }
  T& operator[](int32_t i) { return data_[i]; }
  const T& operator[](int32_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + count_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + count_; }

  void SetGrowth(int32_t growStep, int32_t minimum) {
    growStep_ = growStep;
    minimum_ = minimum;
  }

  // Lists longer than this grow by at least half their size: by whole grow
  // steps alone, a list of n records would be copied about n / step times.
  static constexpr int64_t kGeometricFrom = 4096;

  // The capacity the list takes when it must hold `needed` records.
  static int64_t GrownCapacity(int64_t needed, int32_t growStep, int32_t minimum) {
    if (minimum >= needed) return minimum;
    const int64_t step = growStep > 0 ? growStep : 1;
    int64_t capacity = step * (needed / step + 1);
    if (needed > kGeometricFrom) {
      const int64_t geometric = step * ((needed + needed / 2) / step + 1);
      if (geometric > capacity) capacity = geometric;
      if (capacity > INT32_MAX && needed <= INT32_MAX) capacity = INT32_MAX;
    }
    return capacity;
  }

  // Appends one record. When the block cannot grow the list is emptied and
  // the record dropped (false).
  bool Append(const T& record) {
    if (!EnsureRoom()) return false;
    new (data_ + count_) T(record);
    ++count_;
    return true;
  }
  bool Append(T&& record) {
    if (!EnsureRoom()) return false;
    new (data_ + count_) T(std::move(record));
    ++count_;
    return true;
  }
  // Appends a default-constructed record and returns it (null on failure).
  T* AppendNew() {
    if (!EnsureRoom()) return nullptr;
    new (data_ + count_) T();
    return &data_[count_++];
  }

  // Raises the capacity to at least n records, keeping the contents. On
  // failure nothing changes and false is returned.
  bool Reserve(int64_t n) {
    if (n <= capacity_) return true;
    return Reallocate(n);
  }

  // Drops the records and keeps the block.
  void Clear() {
    DestroyRange(0, count_);
    count_ = 0;
  }
  // Drops the records and frees the block.
  void Free() {
    DestroyRange(0, count_);
    std::free(static_cast<void*>(data_));
    data_ = nullptr;
    count_ = 0;
    capacity_ = 0;
  }
  // Removes the last records down to n (n <= count).
  void Truncate(int32_t n) {
    if (n < 0) n = 0;
    if (n >= count_) return;
    DestroyRange(n, count_);
    count_ = n;
  }

  // Replaces the contents with a copy of `source`, in a block of exactly
  // `capacity` records (at least the source's count). False (list emptied)
  // when the block cannot be had.
  bool AssignCopy(const GrowList& source, int64_t capacity) {
    if (capacity < source.count_) capacity = source.count_;
    Free();
    if (capacity > 0 && !Reallocate(capacity)) return false;
    if constexpr (std::is_trivially_copyable_v<T>) {
      if (source.count_ > 0)
        std::memcpy(static_cast<void*>(data_), source.data_, sizeof(T) * source.count_);
    } else {
      for (int32_t i = 0; i < source.count_; ++i) new (data_ + i) T(source.data_[i]);
    }
    count_ = source.count_;
    return true;
  }

  // Sets the count of a list of trivially copyable records to n (n within the
  // capacity after a successful Reserve); new records are left as they are.
  void SetCountUnchecked(int32_t n) {
    static_assert(std::is_trivially_copyable_v<T>, "only for plain records");
    count_ = n;
  }

 private:
  bool EnsureRoom() {
    if (count_ + 1 <= capacity_) return true;
    const int64_t wanted = GrownCapacity(static_cast<int64_t>(count_) + 1, growStep_, minimum_);
    if (Reallocate(wanted)) return true;
    Free();  // the engine's rule: a list that cannot grow is emptied
    return false;
  }

  bool Reallocate(int64_t n) {
    if (n > INT32_MAX || static_cast<uint64_t>(n) > SIZE_MAX / sizeof(T)) return false;
    if (GrowListFailures > 0) {
      --GrowListFailures;
      return false;
    }
    const size_t bytes = sizeof(T) * static_cast<size_t>(n);
    if constexpr (std::is_trivially_copyable_v<T>) {
      // Plain records move with realloc, which can often extend the block
      // (or remap its pages) instead of copying them.
      void* block = std::realloc(static_cast<void*>(data_), bytes);
      if (block == nullptr) return false;
      data_ = static_cast<T*>(block);
    } else {
      T* fresh = static_cast<T*>(std::malloc(bytes));
      if (fresh == nullptr) return false;
      for (int32_t i = 0; i < count_; ++i) {
        new (fresh + i) T(std::move(data_[i]));
        data_[i].~T();
      }
      std::free(static_cast<void*>(data_));
      data_ = fresh;
    }
    capacity_ = static_cast<int32_t>(n);
    return true;
  }

  void DestroyRange(int32_t from, int32_t to) {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (int32_t i = from; i < to; ++i) data_[i].~T();
    } else {
      (void)from;
      (void)to;
    }
  }

  T* data_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  int32_t growStep_;
  int32_t minimum_;
};
