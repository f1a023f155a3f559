// Checked arrays: dimensioning, resizing with preserved contents and the bounds report.
#include "core/basic_array.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "core/core.h"
#include "core/text.h"

namespace {

// Element storage: numbers and integers are plain zeroed memory; strings are
// constructed in place as empty strings and destroyed one by one.
template <class T>
T* AllocateElements(int64_t capacity) {
  void* block = std::calloc(static_cast<size_t>(capacity), sizeof(T));
  if (block == nullptr) return nullptr;
  if constexpr (!std::is_trivially_copyable_v<T>) {
    T* elements = static_cast<T*>(block);
    for (int64_t i = 0; i < capacity; ++i) new (&elements[i]) T();
  }
  return static_cast<T*>(block);
}

template <class T>
void FreeElements(T* elements, int64_t capacity) {
  if (elements == nullptr) return;
  if constexpr (!std::is_trivially_copyable_v<T>) {
    for (int64_t i = 0; i < capacity; ++i) elements[i].~T();
  }
  std::free(elements);
}

template <class T>
void ClearElements(T* elements, int64_t count) {
  if constexpr (std::is_trivially_copyable_v<T>) {
    std::memset(elements, 0, static_cast<size_t>(count) * sizeof(T));
  } else {
    for (int64_t i = 0; i < count; ++i) elements[i] = T();
  }
}

void ResetHeader(ArrayHeader& a) {
  a.data = nullptr;
  a.stride1 = a.stride2 = a.stride3 = 0;
  a.d1 = a.d2 = a.d3 = a.d4 = 0;
  a.count = a.dims = a.capacity = 0;
}

int64_t Extent(int32_t size) { return size > 0 ? size : 1; }

}  // namespace

// ---------------------------------------------------------------- value semantics

template <class T>
BasicArray<T>::BasicArray(const BasicArray& other) : ArrayHeader() {
  CopyArray(*this, other);
}

template <class T>
BasicArray<T>::BasicArray(BasicArray&& other) noexcept : ArrayHeader(other) {
  ResetHeader(other);
}

template <class T>
BasicArray<T>& BasicArray<T>::operator=(const BasicArray& other) {
  CopyArray(*this, other);
  return *this;
}

template <class T>
BasicArray<T>& BasicArray<T>::operator=(BasicArray&& other) noexcept {
  if (this != &other) {
    BasicArray old(std::move(*this));
    Swap(other);
  }
  return *this;
}

template <class T>
BasicArray<T>::~BasicArray() {
  FreeElements(Elements(), capacity);
  ResetHeader(*this);
}

template <class T>
void BasicArray<T>::Swap(BasicArray& other) noexcept {
  ArrayHeader& mine = *this;
  ArrayHeader& theirs = other;
  std::swap(mine, theirs);
}

// ---------------------------------------------------------------- dimensioning

template <class T>
void DimArray(BasicArray<T>& a, int32_t d1, int32_t d2, int32_t d3, int32_t d4) {
  // Only the first size is clamped. A negative further size is kept as
  // given: it still counts as a dimension, holds the place of one element in
  // the count, and lets no index through (array_detail::Extent).
  if (d1 < 1) d1 = 0;
  // The count is formed step by step in 64 bits and checked at each step:
  // four 31-bit sizes can multiply past any integer type.
  int64_t n = d1;
  bool tooLarge = false;
  for (int32_t size : {d2, d3, d4}) {
    n *= Extent(size);
    if (n > kMaxArrayElements) {
      tooLarge = true;
      break;
    }
  }
  if (tooLarge || a.capacity < n || d1 == 0) {
    FreeElements(a.Elements(), a.capacity);
    ResetHeader(a);
    if (tooLarge) {
      SetLastError(kErrorOutOfMemory);
      EndProgram();
      return;
    }
    const int64_t capacity = (n & ~int64_t{7}) + 8;
    T* elements = AllocateElements<T>(capacity);
    if (elements == nullptr) {
      SetLastError(kErrorOutOfMemory);
      EndProgram();
      return;
    }
    a.data = elements;
    a.capacity = static_cast<int32_t>(capacity);
  } else {
    ClearElements(a.Elements(), n);
  }
  a.d1 = d1;
  a.d2 = d2;
  a.d3 = d3;
  a.d4 = d4;
  a.stride1 = d1;
  a.stride2 = static_cast<int32_t>(d1 * Extent(d2));
  a.stride3 = static_cast<int32_t>(d1 * Extent(d2) * Extent(d3));
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
  if constexpr (std::is_trivially_copyable_v<T>) {
    if (count > 0) std::memcpy(to, from, static_cast<size_t>(count) * sizeof(T));
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

// ---------------------------------------------------------------- bounds reports

void ReportBounds(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3) {
  const auto field = [](int32_t value) {
    return std::string("[") + Format(4, 0, value).c_str() + "]";
  };
  std::string bounds = field(a.d1);
  std::string access = field(i0);
  if (a.d2 > 0) {
    bounds += field(a.d2);
    access += field(i1);
    if (a.d3 > 0) {
      bounds += field(a.d3);
      access += field(i2);
      if (a.d4 > 0) {
        bounds += field(a.d4);
        access += field(i3);
      }
    }
  }
  const std::string boundsLine = "bounds: " + bounds + "\n";
  const std::string accessLine = "access: " + access + "\n";
  DebugOutput(boundsLine.c_str());
  DebugOutput(accessLine.c_str());
  ErrorOutput(boundsLine.c_str());
  ErrorOutput(accessLine.c_str());
}

void ArrayBoundsFailure(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3) {
  ReportBounds(a, i0, i1, 0, 0);
  ReportBounds(a, i0, i1, i2, 0);
  ReportBounds(a, i0, i1, i2, i3);
  SetLastError(kErrorOutOfBounds);
  EndProgramNoReturn();
}

template class BasicArray<double>;
template class BasicArray<int32_t>;
template class BasicArray<BasicString>;
template void DimArray(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
template void DimArray(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
template void DimArray(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
template void CopyArray(BasicArray<double>&, const BasicArray<double>&);
template void CopyArray(BasicArray<int32_t>&, const BasicArray<int32_t>&);
template void CopyArray(BasicArray<BasicString>&, const BasicArray<BasicString>&);
template void RedimPreserve(BasicArray<double>&, int32_t, int32_t, int32_t, int32_t);
template void RedimPreserve(BasicArray<int32_t>&, int32_t, int32_t, int32_t, int32_t);
template void RedimPreserve(BasicArray<BasicString>&, int32_t, int32_t, int32_t, int32_t);
