// BasicArray: the language's bounds-checked arrays of Number, int32,
// BasicString or a program's records, one to four dimensions, the first index
// varying fastest.
//
// Element (i0, i1, i2, i3) lives at i0 + stride1*i1 + stride2*i2 + stride3*i3.
// Every access is checked; a bad index reports "bounds:"/"access:" lines to
// the debugger and standard error, records error 9 and ends the program.
// Each further index is tested against its size: a dimension that is not
// used (size 0) accepts only index 0 (which is what generated code passes),
// a negative size accepts none, so no index combination can leave the block.
//
// 64-bit layout (48 bytes, read by debuggers):
//   0x00 data      element*  null before the first DimArray
//   0x08 stride1   int32     d1                      (stride of the 2nd index)
//   0x0C stride2   int32     d1*max(1,d2)            (stride of the 3rd index)
//   0x10 stride3   int32     d1*max(1,d2)*max(1,d3)  (stride of the 4th index)
//   0x14 d1, 0x18 d2, 0x1C d3, 0x20 d4   int32  sizes, 0 when not used
//   0x24 count     int32     d1*max(1,d2)*max(1,d3)*max(1,d4)
//   0x28 dims      int32     number of dimensions in use
//   0x2C capacity  int32     elements the block holds
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "core/basic_string.h"

// The fields every element type shares.
struct ArrayHeader {
  void* data = nullptr;
  int32_t stride1 = 0;
  int32_t stride2 = 0;
  int32_t stride3 = 0;
  int32_t d1 = 0;
  int32_t d2 = 0;
  int32_t d3 = 0;
  int32_t d4 = 0;
  int32_t count = 0;
  int32_t dims = 0;
  int32_t capacity = 0;

  // Back to what an array never dimensioned holds (the block is not freed).
  void Reset() noexcept { *this = ArrayHeader(); }
  // The sizes of a one-dimensional array of n elements (no dimensions for 0).
  void SetOneDimension(int32_t n) noexcept {
    d1 = n;
    d2 = d3 = d4 = 0;
    stride1 = stride2 = stride3 = n;
    count = n;
    dims = n != 0 ? 1 : 0;
  }
  // Error 7 and the failure's END, for a block that cannot be had. Returns
  // only while END is already running.
  [[gnu::cold]] static void FailOutOfMemory();
};

static_assert(sizeof(void*) != 8 || (sizeof(ArrayHeader) == 48 &&
                                     offsetof(ArrayHeader, d1) == 0x14 &&
                                     offsetof(ArrayHeader, capacity) == 0x2C),
              "debuggers rely on this layout");

// The most elements one array may hold; larger requests fail with error 7.
constexpr int64_t kMaxArrayElements = 0x7FFFFFF0;

namespace array_detail {
// The valid range of an index past the first: an unused dimension (0) takes
// only index 0; a negative size takes none, so every access through it fails.
inline uint32_t Extent(int32_t size) {
  return size > 0 ? static_cast<uint32_t>(size) : size == 0 ? 1u : 0u;
}

// Elements that are plain bytes (numbers, integers, records of them) live
// in zeroed memory and move with memcpy; the others (strings, records that
// hold strings or arrays) are constructed, assigned and destroyed one by one.
template <class T>
constexpr bool kPlain = std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>;

// A block of capacity elements, every one 0 (constructed empty).
template <class T>
T* AllocateElements(int64_t capacity) {
  if constexpr (kPlain<T>) {
    return static_cast<T*>(std::calloc(static_cast<size_t>(capacity), sizeof(T)));
  } else {
    T* elements = static_cast<T*>(std::malloc(static_cast<size_t>(capacity) * sizeof(T)));
    if (elements == nullptr) return nullptr;
    for (int64_t i = 0; i < capacity; ++i) new (&elements[i]) T();
    return elements;
  }
}

template <class T>
void FreeElements(T* elements, int64_t capacity) {
  if (elements == nullptr) return;
  if constexpr (!kPlain<T>) {
    for (int64_t i = 0; i < capacity; ++i) elements[i].~T();
  }
  std::free(elements);
}

template <class T>
void ClearElements(T* elements, int64_t count) {
  if constexpr (kPlain<T>) {
    if (count > 0) std::memset(static_cast<void*>(elements), 0, static_cast<size_t>(count) * sizeof(T));
  } else {
    for (int64_t i = 0; i < count; ++i) elements[i] = T();
  }
}

}  // namespace array_detail

// An array of T elements; copies copy the elements. T is double, int32_t,
// BasicString or a program's record: any default-constructible, copyable type.
template <class T>
class BasicArray : public ArrayHeader {
 public:
  using Element = T;

  BasicArray() = default;
  BasicArray(const BasicArray& other) : ArrayHeader() { CopyArray(*this, other); }
  BasicArray(BasicArray&& other) noexcept : ArrayHeader(other) { other.Reset(); }
  BasicArray& operator=(const BasicArray& other) {
    CopyArray(*this, other);
    return *this;
  }
  BasicArray& operator=(BasicArray&& other) noexcept {
    if (this != &other) {
      BasicArray old(std::move(*this));
      Swap(other);
    }
    return *this;
  }
  ~BasicArray() {
    array_detail::FreeElements(Elements(), capacity);
    Reset();
  }

  T* Elements() { return static_cast<T*>(data); }
  const T* Elements() const { return static_cast<const T*>(data); }
  void Swap(BasicArray& other) noexcept {
    ArrayHeader& mine = *this;
    ArrayHeader& theirs = other;
    std::swap(mine, theirs);
  }
};

// (Re)dimensions the array; every element becomes 0 (empty for strings, all
// fields 0 for records). Sizes below 1 mean "not used" (a first size below 1
// gives no elements). When the block does not hold the elements a new one of
// (n AND NOT 7) + 8 elements is allocated; failure (or more than
// kMaxArrayElements) records error 7 and ends the program.
template <class T>
void DimArray(BasicArray<T>& a, int32_t d1, int32_t d2 = 0, int32_t d3 = 0, int32_t d4 = 0);

// Dimensions target like source and copies the elements. Copying an array
// onto itself changes nothing.
template <class T>
void CopyArray(BasicArray<T>& target, const BasicArray<T>& source);

// Re-dimensions keeping every element whose indexes fit both the old and
// the new sizes; the others start at 0.
template <class T>
void RedimPreserve(BasicArray<T>& a, int32_t d1, int32_t d2 = 0, int32_t d3 = 0, int32_t d4 = 0);

// Adds value as the new last element of a one-dimensional array; an array
// with no elements (never dimensioned, or emptied) becomes one-dimensional
// with this one. A full block grows by half of itself, so n appends cost
// O(n) in all. Past kMaxArrayElements: error 7 and END. An array of more
// dimensions cannot grow this way: the bounds report, error 9 and END.
template <class T>
void ArrayAppend(BasicArray<T>& a, const T& value);

// Removes element index of a one-dimensional array (a negative index counts
// from the end); the later elements move down one place. A bad index, or an
// array of more dimensions, is a failed access: reports, error 9 and END.
template <class T>
void ArrayRemove(BasicArray<T>& a, int32_t index);

// Writes the "bounds: [   3][   5]" and "access: [   2][   7]" lines to the
// debugger (DebugOutput) and then to standard error (ErrorOutput).
void ReportBounds(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3);

// The failed-access path: three reports, the statement it happened in (on
// standard error, when the program records its statements), error 9, END.
// It never returns: while END is already running (a bad index inside
// "VLM_ON_QUIT") it throws ProgramEnding, which END catches. Not returning
// also lets the compiler keep a loop's values in registers across the check.
[[noreturn, gnu::cold]] void ArrayBoundsFailure(const ArrayHeader& a, int32_t i0, int32_t i1,
                                                int32_t i2, int32_t i3);


// The element at (i0, i1, i2, i3). A negative i0 counts from the end (-1 is
// the last element); the other indexes are not wrapped.
template <class T>
inline T& ArrayElement(BasicArray<T>& a, int32_t i0, int32_t i1 = 0, int32_t i2 = 0,
                       int32_t i3 = 0) {
  if (i0 < 0) i0 += a.d1;
  if (a.data != nullptr && static_cast<uint32_t>(i0) < static_cast<uint32_t>(a.d1) &&
      static_cast<uint32_t>(i1) < array_detail::Extent(a.d2) &&
      static_cast<uint32_t>(i2) < array_detail::Extent(a.d3) &&
      static_cast<uint32_t>(i3) < array_detail::Extent(a.d4)) {
    const size_t position = static_cast<size_t>(i0) + static_cast<size_t>(a.stride1) * i1 +
                            static_cast<size_t>(a.stride2) * i2 +
                            static_cast<size_t>(a.stride3) * i3;
    return a.Elements()[position];
  }
  ArrayBoundsFailure(a, i0, i1, i2, i3);
}

template <class T>
inline const T& ArrayElement(const BasicArray<T>& a, int32_t i0, int32_t i1 = 0, int32_t i2 = 0,
                             int32_t i3 = 0) {
  return ArrayElement(const_cast<BasicArray<T>&>(a), i0, i1, i2, i3);
}

// ---------------------------------------------------------------- definitions
// In the header so that arrays of a program's records get them; the element
// types of the runtime itself are compiled once, in basic_array.cpp.

template <class T>
void DimArray(BasicArray<T>& a, int32_t d1, int32_t d2, int32_t d3, int32_t d4) {
  // A size below 1 takes the place of one element in the count.
  const auto used = [](int32_t size) -> int64_t { return size > 0 ? size : 1; };
  // Only the first size is clamped. A negative further size is kept as
  // given: it still counts as a dimension, holds the place of one element in
  // the count, and lets no index through (array_detail::Extent).
  if (d1 < 1) d1 = 0;
  // The count is formed step by step in 64 bits and checked at each step:
  // four 31-bit sizes can multiply past any integer type.
  int64_t n = d1;
  bool tooLarge = false;
  for (int32_t size : {d2, d3, d4}) {
    n *= used(size);
    if (n > kMaxArrayElements) {
      tooLarge = true;
      break;
    }
  }
  if (tooLarge || a.capacity < n || d1 == 0) {
    array_detail::FreeElements(a.Elements(), a.capacity);
    a.Reset();
    if (tooLarge) {
      ArrayHeader::FailOutOfMemory();
      return;
    }
    const int64_t capacity = (n & ~int64_t{7}) + 8;
    T* elements = array_detail::AllocateElements<T>(capacity);
    if (elements == nullptr) {
      ArrayHeader::FailOutOfMemory();
      return;
    }
    a.data = elements;
    a.capacity = static_cast<int32_t>(capacity);
  } else {
    array_detail::ClearElements(a.Elements(), n);
  }
  a.d1 = d1;
  a.d2 = d2;
  a.d3 = d3;
  a.d4 = d4;
  a.stride1 = d1;
  a.stride2 = static_cast<int32_t>(d1 * used(d2));
  a.stride3 = static_cast<int32_t>(d1 * used(d2) * used(d3));
  a.count = static_cast<int32_t>(n);
  a.dims = d4 != 0 ? 4 : d3 != 0 ? 3 : d2 != 0 ? 2 : d1 != 0 ? 1 : 0;
}

template <class T>
void CopyArray(BasicArray<T>& target, const BasicArray<T>& source) {
  if (&target == &source) return;
  DimArray(target, source.d1, source.d2, source.d3, source.d4);
  if (target.data == nullptr || source.data == nullptr) return;
  const T* from = source.Elements();
  T* to = target.Elements();
  const int32_t count = source.count < target.count ? source.count : target.count;
  if constexpr (array_detail::kPlain<T>) {
    if (count > 0) std::memcpy(static_cast<void*>(to), from, static_cast<size_t>(count) * sizeof(T));
  } else {
    for (int32_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

template <class T>
void RedimPreserve(BasicArray<T>& a, int32_t d1, int32_t d2, int32_t d3, int32_t d4) {
  BasicArray<T> fresh;
  DimArray(fresh, d1, d2, d3, d4);
  if (fresh.data == nullptr) return;  // END is already running
  if (a.data != nullptr) {
    // Only indexes valid in both arrays are carried over.
    const auto common = [](int32_t oldSize, int32_t newSize) {
      const int64_t o = array_detail::Extent(oldSize);
      const int64_t n = array_detail::Extent(newSize);
      return o < n ? o : n;
    };
    const int64_t n0 = a.d1 < fresh.d1 ? a.d1 : fresh.d1;
    const int64_t n1 = common(a.d2, fresh.d2);
    const int64_t n2 = common(a.d3, fresh.d3);
    const int64_t n3 = common(a.d4, fresh.d4);
    T* from = a.Elements();
    T* to = fresh.Elements();
    for (int64_t i3 = 0; i3 < n3; ++i3)
      for (int64_t i2 = 0; i2 < n2; ++i2)
        for (int64_t i1 = 0; i1 < n1; ++i1)
          for (int64_t i0 = 0; i0 < n0; ++i0) {
            const int64_t src = i0 + a.stride1 * i1 + a.stride2 * i2 + a.stride3 * i3;
            const int64_t dst = i0 + fresh.stride1 * i1 + fresh.stride2 * i2 + fresh.stride3 * i3;
            to[dst] = std::move(from[src]);
          }
  }
  a.Swap(fresh);
}

template <class T>
void ArrayAppend(BasicArray<T>& a, const T& value) {
  if (a.dims > 1) ArrayBoundsFailure(a, a.d1, 0, 0, 0);
  const int32_t n = a.dims == 1 ? a.d1 : 0;
  if (n >= kMaxArrayElements) {
    ArrayHeader::FailOutOfMemory();
    return;
  }
  if (a.data != nullptr && n < a.capacity) {
    a.Elements()[n] = value;
  } else {
    int64_t wanted = int64_t{a.capacity} + a.capacity / 2;
    if (wanted < n + 1) wanted = n + 1;
    if (wanted > kMaxArrayElements) wanted = kMaxArrayElements;
    const int64_t capacity = (wanted & ~int64_t{7}) + 8;
    T* old = a.Elements();
    T* grown = nullptr;
    if constexpr (array_detail::kPlain<T>) {
      // realloc may extend the block in place (or remap it, when large)
      // instead of copying; value may lie in the old block, so it is copied
      // out first.
      const T copy = value;
      grown = static_cast<T*>(std::realloc(old, static_cast<size_t>(capacity) * sizeof(T)));
      if (grown == nullptr) {
        ArrayHeader::FailOutOfMemory();
        return;
      }
      const int64_t kept = old != nullptr ? a.capacity : 0;
      std::memset(static_cast<void*>(grown + kept), 0, static_cast<size_t>(capacity - kept) * sizeof(T));
      grown[n] = copy;
    } else {
      grown = static_cast<T*>(std::malloc(static_cast<size_t>(capacity) * sizeof(T)));
      if (grown == nullptr) {
        ArrayHeader::FailOutOfMemory();
        return;
      }
      // The new element first: value may be one of the old elements, which
      // are moved (emptied) next. Every place of the block holds an element.
      new (&grown[n]) T(value);
      for (int32_t i = 0; i < n; ++i) new (&grown[i]) T(std::move(old[i]));
      for (int64_t i = n + 1; i < capacity; ++i) new (&grown[i]) T();
      array_detail::FreeElements(old, a.capacity);
    }
    a.data = grown;
    a.capacity = static_cast<int32_t>(capacity);
  }
  a.SetOneDimension(n + 1);
}

template <class T>
void ArrayRemove(BasicArray<T>& a, int32_t index) {
  if (index < 0) index += a.d1;
  if (a.dims != 1 || a.data == nullptr || static_cast<uint32_t>(index) >= static_cast<uint32_t>(a.d1)) {
    ArrayBoundsFailure(a, index, 0, 0, 0);
  }
  T* elements = a.Elements();
  const int32_t last = a.d1 - 1;
  if constexpr (array_detail::kPlain<T>) {
    std::memmove(static_cast<void*>(elements + index), elements + index + 1,
                 static_cast<size_t>(last - index) * sizeof(T));
    std::memset(static_cast<void*>(elements + last), 0, sizeof(T));
  } else {
    for (int32_t i = index; i < last; ++i) elements[i] = std::move(elements[i + 1]);
    elements[last] = T();
  }
  a.SetOneDimension(last);
}

extern template class BasicArray<double>;
extern template class BasicArray<int32_t>;
extern template class BasicArray<BasicString>;
extern template void DimArray(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
extern template void DimArray(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
extern template void DimArray(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
extern template void CopyArray(BasicArray<double>&, const BasicArray<double>&);
extern template void CopyArray(BasicArray<int32_t>&, const BasicArray<int32_t>&);
extern template void CopyArray(BasicArray<BasicString>&, const BasicArray<BasicString>&);
extern template void RedimPreserve(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
extern template void RedimPreserve(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
extern template void RedimPreserve(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
