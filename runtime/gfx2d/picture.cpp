// Picture: the in-memory RGBA image that readers produce and texture upload consumes.
#include "gfx2d/picture.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

// Blocks from this size on are offered large pages.
constexpr uint64_t kLargePageThreshold = 16u << 20;

}  // namespace

Picture::~Picture() { std::free(pixels); }

bool Picture::Resize(int32_t w, int32_t h) {
  if (!ResizeUncleared(w, h)) return false;
  std::memset(pixels, 0, static_cast<size_t>(w) * static_cast<size_t>(h) * 4u);
  return true;
}

bool Picture::ResizeUncleared(int32_t w, int32_t h) {
  // The pixel block is addressed with a 32-bit capacity, so anything that
  // needs 4 GiB or more (or a negative size) is refused before allocating.
  if (w < 0 || h < 0) {
    Clear();
    return false;
  }
  const uint64_t bytes = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4u;
  if (bytes > UINT32_MAX) {
    Clear();
    return false;
  }
  if (bytes > capacity || pixels == nullptr) {
    std::free(pixels);
    pixels = nullptr;
    capacity = 0;
    // malloc(0) may return null; keep a small block so an empty picture
    // still owns valid memory.
    pixels = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 4));
    if (pixels == nullptr) {
      Clear();
      return false;
    }
    capacity = static_cast<uint32_t>(bytes > 0 ? bytes : 4);
    // Decoding writes every byte of a new block once; for large pictures
    // the page faults of that first touch cost more than the writing.
    if (bytes >= kLargePageThreshold) platform::PreferLargePages(pixels, bytes);
  }
  width = w;
  height = h;
  return true;
}

void Picture::Clear() {
  std::free(pixels);
  pixels = nullptr;
  capacity = 0;
  width = 0;
  height = 0;
  ownAlpha = 1;
}
