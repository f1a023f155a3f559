// BasicArray: the language's bounds-checked arrays of Number, int32 or
// BasicString, one to four dimensions, the first index varying fastest.
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
};

static_assert(sizeof(void*) != 8 || (sizeof(ArrayHeader) == 48 &&
                                     offsetof(ArrayHeader, d1) == 0x14 &&
                                     offsetof(ArrayHeader, capacity) == 0x2C),
              "debuggers rely on this layout");

// The most elements one array may hold; larger requests fail with error 7.
constexpr int64_t kMaxArrayElements = 0x7FFFFFF0;

// An array of T elements (double, int32_t or BasicString); copies copy the elements.
template <class T>
class BasicArray : public ArrayHeader {
 public:
  using Element = T;

  BasicArray() = default;
  BasicArray(const BasicArray& other);
  BasicArray(BasicArray&& other) noexcept;
  BasicArray& operator=(const BasicArray& other);
  BasicArray& operator=(BasicArray&& other) noexcept;
  ~BasicArray();

  T* Elements() { return static_cast<T*>(data); }
  const T* Elements() const { return static_cast<const T*>(data); }
  void Swap(BasicArray& other) noexcept;
};

// (Re)dimensions the array; every element becomes 0 (empty for strings).
// Sizes below 1 mean "not used" (a first size below 1 gives no elements).
// When the block does not hold the elements a new one of
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

// Writes the "bounds: [   3][   5]" and "access: [   2][   7]" lines to the
// debugger (DebugOutput) and then to standard error (ErrorOutput).
void ReportBounds(const ArrayHeader& a, int32_t i0, int32_t i1, int32_t i2, int32_t i3);

// The failed-access path: three reports, error 9, END. It never returns:
// while END is already running (a bad index inside "VLM_ON_QUIT") it throws
// ProgramEnding, which END catches. Not returning also lets the compiler keep
// a loop's values in registers across the check.
[[noreturn, gnu::cold]] void ArrayBoundsFailure(const ArrayHeader& a, int32_t i0, int32_t i1,
                                                int32_t i2, int32_t i3);

namespace array_detail {
// The valid range of an index past the first: an unused dimension (0) takes
// only index 0; a negative size takes none, so every access through it fails.
inline uint32_t Extent(int32_t size) {
  return size > 0 ? static_cast<uint32_t>(size) : size == 0 ? 1u : 0u;
}
}  // namespace array_detail

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
