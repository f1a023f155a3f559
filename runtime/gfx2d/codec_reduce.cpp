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

namespace {

// Adds each run of `factor` RGBA pixels of a row to its block's four sums.
void AddBlocks(uint64_t* sum, const uint8_t* row, int32_t blocks, int32_t factor) {
  for (int32_t i = 0; i < blocks; ++i, sum += 4) {
    uint32_t r = 0, g = 0, b = 0, a = 0;
    for (int32_t k = 0; k < factor; ++k, row += 4) {
      r += row[0];
      g += row[1];
      b += row[2];
      a += row[3];
    }
    sum[0] += r;
    sum[1] += g;
    sum[2] += b;
    sum[3] += a;
  }
}

// The same for the small factors that most reductions use, unrolled.
template <int Factor>
void AddBlocks(uint64_t* sum, const uint8_t* row, int32_t blocks) {
  for (int32_t i = 0; i < blocks; ++i, sum += 4, row += 4 * Factor)
    for (int c = 0; c < 4; ++c) {
      uint32_t total = 0;
      for (int k = 0; k < Factor; ++k) total += row[4 * k + c];
      sum[c] += total;
    }
}

}  // namespace

RowReducer::~RowReducer() {
  std::free(sums_);
  std::free(row_);
}

bool RowReducer::Begin(Picture& picture, int32_t width, int32_t height, int32_t factor) {
  picture_ = &picture;
  sink_ = nullptr;
  width_ = width;
  height_ = height;
  factor_ = std::max(1, factor);
  pending_ = -1;
  rowsInSums_ = 0;
  const int32_t w = static_cast<int32_t>((static_cast<int64_t>(width) + factor_ - 1) / factor_);
  const int32_t h = static_cast<int32_t>((static_cast<int64_t>(height) + factor_ - 1) / factor_);
  outWidth_ = w;
  if (!picture.ResizeUncleared(w, h)) return false;
  if (factor_ > 1) {
    std::free(sums_);
    sums_ = static_cast<uint64_t*>(std::calloc(static_cast<size_t>(w) * 4, sizeof(uint64_t)));
    if (sums_ == nullptr) {
      picture.Clear();
      return false;
    }
  }
  return true;
}

bool RowReducer::Begin(PictureRowSink& sink, int32_t width, int32_t height, int32_t factor, bool ownAlpha) {
  picture_ = nullptr;
  sink_ = &sink;
  width_ = width;
  height_ = height;
  factor_ = std::max(1, factor);
  pending_ = -1;
  rowsInSums_ = 0;
  outWidth_ = static_cast<int32_t>((static_cast<int64_t>(width) + factor_ - 1) / factor_);
  const int32_t h = static_cast<int32_t>((static_cast<int64_t>(height) + factor_ - 1) / factor_);
  if (factor_ > 1) {
    std::free(sums_);
    std::free(row_);
    sums_ = static_cast<uint64_t*>(std::calloc(static_cast<size_t>(outWidth_) * 4, sizeof(uint64_t)));
    row_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(outWidth_) * 4));
    if (sums_ == nullptr || row_ == nullptr) return false;
  }
  return sink.Begin(outWidth_, h, ownAlpha);
}

uint8_t* RowReducer::Target(int32_t row) {
  return sink_ != nullptr ? row_ : picture_->pixels + static_cast<size_t>(row) * outWidth_ * 4;
}

void RowReducer::AddRow(int32_t y, const uint8_t* row) {
  if (y < 0 || y >= height_) return;
  if (factor_ == 1) {
    if (sink_ != nullptr)
      sink_->Row(y, row);
    else
      std::memcpy(picture_->pixels + static_cast<size_t>(y) * width_ * 4, row, static_cast<size_t>(width_) * 4);
    return;
  }
  const int32_t target = y / factor_;
  if (target != pending_) {
    Flush();
    pending_ = target;
  }
  // A block row sums up to factor x factor bytes (below 2^38 at the
  // largest factor); one file row's share of a block fits 32 bits.
  const int32_t full = width_ / factor_;
  switch (factor_) {
    case 2: AddBlocks<2>(sums_, row, full); break;
    case 3: AddBlocks<3>(sums_, row, full); break;
    case 4: AddBlocks<4>(sums_, row, full); break;
    default: AddBlocks(sums_, row, full, factor_); break;
  }
  if (full * factor_ < width_)
    AddBlocks(sums_ + static_cast<size_t>(full) * 4, row + static_cast<size_t>(full) * factor_ * 4, 1,
              width_ - full * factor_);
  ++rowsInSums_;
}

namespace {

// Rounded sum / count for the averages of one block row. A division per
// channel is the slowest step of a large reduction, so it is a multiplication
// by the reciprocal: sums stay below 2^38 and counts below 2^30, so the
// product is within 2^-44 of the true quotient, and the 2^-32 added before
// truncation lifts an exact quotient past that error without ever reaching
// the next whole number, which a true quotient short of it is at least
// 1/count (more than 2^-30) away from.
struct RoundedDivider {
  explicit RoundedDivider(uint32_t count) : half(count / 2), reciprocal(1.0 / count) {}
  uint8_t operator()(uint64_t sum) const {
    return static_cast<uint8_t>(static_cast<uint32_t>(static_cast<double>(sum + half) * reciprocal + 0x1p-32));
  }
  uint32_t half;
  double reciprocal;
};

}  // namespace

void RowReducer::Flush() {
  if (pending_ < 0 || rowsInSums_ == 0) return;
  const int32_t w = outWidth_;
  uint8_t* out = Target(pending_);
  // Every block but the last in the row spans factor columns.
  const int32_t full = width_ / factor_;
  const RoundedDivider divide(static_cast<uint32_t>(factor_) * static_cast<uint32_t>(rowsInSums_));
  for (int32_t i = 0; i < full * 4; ++i) {
    out[i] = divide(sums_[i]);
    sums_[i] = 0;
  }
  if (full < w) {
    const RoundedDivider divideLast(static_cast<uint32_t>(width_ - full * factor_) *
                                    static_cast<uint32_t>(rowsInSums_));
    for (int32_t i = full * 4; i < w * 4; ++i) {
      out[i] = divideLast(sums_[i]);
      sums_[i] = 0;
    }
  }
  if (sink_ != nullptr) sink_->Row(pending_, out);
  pending_ = -1;
  rowsInSums_ = 0;
}

void RowReducer::Finish() {
  if (factor_ > 1) Flush();
}

}  // namespace codec
