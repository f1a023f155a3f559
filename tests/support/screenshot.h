// Screenshots the tests read back: a PNG's pixels, counted by a colour test.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>

#include "gfx2d/picture.h"

namespace testing_support {

struct Rgb {
  int r, g, b;
};

inline bool Near(Rgb c, int r, int g, int b, int tolerance) {
  return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.b - b) <= tolerance;
}

class Image {
 public:
  bool Load(const std::string& file) { return ReadPNG(picture_, file.c_str(), -1); }
  int Width() const { return picture_.width; }
  int Height() const { return picture_.height; }
  Rgb At(int x, int y) const {
    const uint8_t* p = const_cast<Picture&>(picture_).Pixel(x, y);
    return {p[0], p[1], p[2]};
  }
  // Pixels of the rectangle (clipped to the picture) that pass the test.
  template <class Test>
  int Count(int x0, int y0, int w, int h, Test test) const {
    int count = 0;
    for (int y = std::max(y0, 0); y < y0 + h && y < Height(); ++y)
      for (int x = std::max(x0, 0); x < x0 + w && x < Width(); ++x) count += test(At(x, y)) ? 1 : 0;
    return count;
  }
  template <class Test>
  int Count(Test test) const {
    return Count(0, 0, Width(), Height(), test);
  }
  // Share of pixels that differ by more than `tolerance` in some channel.
  double Difference(const Image& other, int tolerance) const {
    int differing = 0;
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x) {
        const Rgb a = At(x, y), b = other.At(x, y);
        differing += std::abs(a.r - b.r) > tolerance || std::abs(a.g - b.g) > tolerance ||
                     std::abs(a.b - b.b) > tolerance;
      }
    return static_cast<double>(differing) / (Width() * Height());
  }

 private:
  Picture picture_;
};

}  // namespace testing_support
