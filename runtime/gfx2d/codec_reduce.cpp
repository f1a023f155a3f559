// Reducing a picture while it is decoded, and the words for load failures.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"

const char* PictureFaultText(PictureFault fault) {
  switch (fault) {
    case PictureFault::kNone: return "no fault";
    case PictureFault::kNotFound: return "not found";
    case PictureFault::kNotAPicture: return "not a PNG, BMP or JPEG";
    case PictureFault::kUnsupported: return "unsupported kind of picture";
    case PictureFault::kDamaged: return "damaged";
    case PictureFault::kTruncated: return "truncated";
    case PictureFault::kTooLarge: return "too large";
    case PictureFault::kArchiveDamaged: return "archive entry damaged";
  }
  return "unknown";
}

namespace codec {

int32_t ReductionFactor(int64_t w, int64_t h, int32_t maxSide) {
  if (maxSide < 1) maxSide = 1;
  const int64_t side = std::max(w, h);
  return static_cast<int32_t>(std::max<int64_t>(1, (side + maxSide - 1) / maxSide));
}

RowReducer::~RowReducer() { std::free(sums_); }

bool RowReducer::Begin(Picture& picture, int32_t width, int32_t height, int32_t factor) {
  picture_ = &picture;
  width_ = width;
  height_ = height;
  factor_ = std::max(1, factor);
  pending_ = -1;
  rowsInSums_ = 0;
  const int32_t w = static_cast<int32_t>((static_cast<int64_t>(width) + factor_ - 1) / factor_);
  const int32_t h = static_cast<int32_t>((static_cast<int64_t>(height) + factor_ - 1) / factor_);
  if (!picture.ResizeUncleared(w, h)) return false;
  if (factor_ > 1) {
    std::free(sums_);
    sums_ = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(w) * 4, sizeof(uint32_t)));
    if (sums_ == nullptr) {
      picture.Clear();
      return false;
    }
  }
  return true;
}

void RowReducer::AddRow(int32_t y, const uint8_t* row) {
  if (y < 0 || y >= height_) return;
  if (factor_ == 1) {
    std::memcpy(picture_->pixels + static_cast<size_t>(y) * width_ * 4, row, static_cast<size_t>(width_) * 4);
    return;
  }
  const int32_t target = y / factor_;
  if (target != pending_) {
    Flush();
    pending_ = target;
  }
  // Sums of up to factor x factor bytes: kMaxSide squared times 255 fits.
  uint32_t* sum = sums_;
  for (int32_t x0 = 0; x0 < width_; x0 += factor_, sum += 4) {
    const int32_t x1 = std::min(width_, x0 + factor_);
    uint32_t r = 0, g = 0, b = 0, a = 0;
    for (const uint8_t* p = row + static_cast<size_t>(x0) * 4; p < row + static_cast<size_t>(x1) * 4; p += 4) {
      r += p[0];
      g += p[1];
      b += p[2];
      a += p[3];
    }
    sum[0] += r;
    sum[1] += g;
    sum[2] += b;
    sum[3] += a;
  }
  ++rowsInSums_;
}

void RowReducer::Flush() {
  if (pending_ < 0 || rowsInSums_ == 0) return;
  const int32_t w = picture_->width;
  uint8_t* out = picture_->pixels + static_cast<size_t>(pending_) * w * 4;
  for (int32_t x = 0; x < w; ++x) {
    const uint32_t columns = static_cast<uint32_t>(std::min(factor_, width_ - x * factor_));
    const uint32_t count = columns * static_cast<uint32_t>(rowsInSums_);
    for (int c = 0; c < 4; ++c) {
      uint32_t& s = sums_[x * 4 + c];
      out[x * 4 + c] = static_cast<uint8_t>((s + count / 2) / count);
      s = 0;
    }
  }
  pending_ = -1;
  rowsInSums_ = 0;
}

void RowReducer::Finish() {
  if (factor_ > 1) Flush();
}

}  // namespace codec
