// Textures built from their rows as they come: the plain texture and the
// mip-mapped companion are filled strip by strip, every companion level made
// from the one above it while the rows pass, so no whole copy of the picture
// is ever held besides what the GL keeps.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace gfx2d {

class TextureStream {
 public:
  TextureStream();
  ~TextureStream();
  TextureStream(const TextureStream&) = delete;
  TextureStream& operator=(const TextureStream&) = delete;

  // Starts a tw x th texture (powers of two): the plain one in *name
  // (generated when 0; nearest or linear filtering), the companion in
  // *mipName when that is not null (square: the longer side is halved
  // first; every level down to 1 x 1). With share (a square texture, both
  // names 0, TextureViewsSupported) the companion's storage is made once
  // for all its levels and the plain texture is a view of its first level,
  // which holds the same texels. Rows then come top row first, texture row
  // th - 1 down to 0. False (nothing more to do) when the GL refuses the
  // storage.
  bool Begin(int32_t tw, int32_t th, uint32_t* name, uint32_t* mipName, bool nearest, bool share);
  // The next texture row, tw x 4 bytes.
  void TextureRow(const uint8_t* row);
  // Uploads what is left (rows never given are transparent black); false
  // when the GL ran out of memory on the way.
  bool Finish();

 private:
  struct Uploader;
  struct Level;
  void CompanionRow(int32_t index, const uint8_t* row);
  void LevelRow(size_t level, int32_t index, const uint8_t* row);

  int32_t tw_ = 0, th_ = 0;
  int32_t next_ = -1;  // the texture row that comes next
  bool begun_ = false;
  std::unique_ptr<Uploader> plain_;
  uint32_t mip_ = 0;
  int32_t side_ = 0;                 // the companion's level-0 side
  std::vector<uint8_t> narrowed_;    // a row halved across to the side
  std::vector<std::unique_ptr<Level>> squash_;  // vertical halvings to the side
  std::vector<std::unique_ptr<Level>> levels_;  // the companion's levels
};

// Whether the GL has immutable texture storage and texture views (4.3, or
// the two extensions).
bool TextureViewsSupported();

// Feeds a picture region into a stream as texture rows: the region's
// rows (top first) land in texture rows h - 1 down to 0, the rows above
// and the columns right of it stay transparent black.
class PictureRows {
 public:
  PictureRows(TextureStream& stream, int32_t tw, int32_t th, int32_t h);
  // Emits the empty rows above the region; call once, before the rows.
  void Start();
  // The next region row: columns [c0, c1) from pixels (at column c0).
  void Row(const uint8_t* pixels, int32_t c0, int32_t c1);
  void BlankRow();

 private:
  TextureStream& stream_;
  int32_t tw_, th_, h_;
  std::vector<uint8_t> row_;
};

}  // namespace gfx2d
