// Picture: the in-memory RGBA image that every reader produces and texture
// upload consumes. Pixels are R, G, B, A bytes, top row first.
#pragma once

#include <cstddef>
#include <cstdint>

struct ReadChannel;

struct Picture {
  uint8_t ownAlpha = 1;  // 1: alpha came from the file; 0: from the key or opaque
  int32_t width = 0;
  int32_t height = 0;
  uint8_t* pixels = nullptr;
  uint32_t capacity = 0;  // bytes in the pixel block

  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  ~Picture();

  // Resizes to w x h, reusing the block when it is large enough; the contents
  // are cleared to zero. False (and an empty picture) when it cannot allocate.
  bool Resize(int32_t w, int32_t h);
  // As Resize, but the contents are left as they are: for readers that write
  // every pixel anyway and would otherwise clear the block for nothing.
  bool ResizeUncleared(int32_t w, int32_t h);
  // Frees the pixels: size 0, own-alpha 1.
  void Clear();
  uint8_t* Pixel(int32_t x, int32_t y) { return pixels + (static_cast<size_t>(y) * width + x) * 4; }
};

// Image codecs. Readers take a file name (memory files included); a colour key
// of -1 means none. On failure the picture is left empty.
bool ReadBMP(Picture& picture, const char* name, int32_t colourKey);
bool ReadPNG(Picture& picture, const char* name, int32_t colourKey);
bool ReadJPEG(Picture& picture, const char* name);
// The same readers on an open channel, from its current position: a loader
// opens a file once and tries them in turn, rewinding in between. name only
// labels messages.
bool ReadBMP(Picture& picture, ReadChannel& channel, int32_t colourKey);
bool ReadPNG(Picture& picture, ReadChannel& channel, int32_t colourKey, const char* name);
bool ReadJPEG(Picture& picture, ReadChannel& channel);
// Writer chosen from the name: ".png" PNG, "jpg" JPEG, anything else BMP.
bool SavePicture(const char* name, const Picture& picture);
