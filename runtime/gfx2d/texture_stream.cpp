// Textures built from rows as they come: strips of rows go to the GL, and
// the mip-mapped companion's levels are made in passing, each from the
// level above it.
#include "gfx2d/internal/texture_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gfx2d/gfx2d_internal.h"
#include "gl/gl_ext.h"
#include "platform/platform.h"

namespace gfx2d {

namespace {

// About this many bytes of rows go to the GL at a time.
constexpr size_t kStripBytes = 1 << 20;

struct ViewProcs {
  PFNGLTEXSTORAGE2DPROC storage = nullptr;
  PFNGLTEXTUREVIEWPROC view = nullptr;
};

const ViewProcs& Views() {
  static const ViewProcs procs = [] {
    ViewProcs p;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version != nullptr && std::sscanf(version, "%d.%d", &major, &minor) != 2) major = minor = 0;
    const auto has = [&](const char* name) { return extensions != nullptr && std::strstr(extensions, name) != nullptr; };
    const bool core = major > 4 || (major == 4 && minor >= 3);
    if (core || (has("GL_ARB_texture_storage") && has("GL_ARB_texture_view"))) {
      p.storage = reinterpret_cast<PFNGLTEXSTORAGE2DPROC>(platform::GLProcAddress("glTexStorage2D"));
      p.view = reinterpret_cast<PFNGLTEXTUREVIEWPROC>(platform::GLProcAddress("glTextureView"));
      if (p.storage == nullptr || p.view == nullptr) p = ViewProcs{};
    }
    return p;
  }();
  return procs;
}

void ClearErrors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

// The next mip level's row from rows 2j (a) and 2j + 1 (d) of a square
// level of side n >= 2: each texel weighs its own corner 4, the right and
// the lower neighbour 2 and the diagonal one 1.
void HalveRows(const uint8_t* a, const uint8_t* d, int32_t n, uint8_t* out) {
  for (int32_t i = 0; i < n / 2; ++i) {
    const uint8_t* p = a + i * 8;
    const uint8_t* q = d + i * 8;
    for (int c = 0; c < 4; ++c)
      out[i * 4 + c] = static_cast<uint8_t>((4 * p[c] + 2 * p[4 + c] + 2 * q[c] + q[4 + c]) / 9);
  }
}

}  // namespace

bool TextureViewsSupported() { return Views().view != nullptr; }

// Rows of one texture level, gathered into strips. Rows come from the top
// down, so a strip fills from its last row to its first and goes to the GL
// when its first row is in.
struct TextureStream::Uploader {
  uint32_t texture = 0;
  GLint level = 0;
  int32_t width = 0;
  int32_t rowsPerStrip = 1;
  std::vector<uint8_t> buffer;
  int32_t lo = -1, hi = -1;

  Uploader(uint32_t name, GLint mipLevel, int32_t w, int32_t h) : texture(name), level(mipLevel), width(w) {
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    rowsPerStrip = static_cast<int32_t>(std::clamp<size_t>(kStripBytes / rowBytes, 1, static_cast<size_t>(h)));
    buffer.resize(rowBytes * static_cast<size_t>(rowsPerStrip));
  }
  void Put(int32_t index, const uint8_t* row) {
    if (lo < 0) {
      hi = index;
      lo = std::max(0, index - rowsPerStrip + 1);
    }
    std::memcpy(buffer.data() + static_cast<size_t>(index - lo) * width * 4, row, static_cast<size_t>(width) * 4);
    if (index == lo) Flush();
  }
  void Flush() {
    if (lo < 0) return;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexSubImage2D(GL_TEXTURE_2D, level, 0, lo, width, hi - lo + 1, GL_RGBA, GL_UNSIGNED_BYTE, buffer.data());
    lo = hi = -1;
  }
};

// A pairing stage: rows of side `side` come in pairs (2j + 1, then 2j) and
// make row j of the stage below. Companion levels also upload their rows.
struct TextureStream::Level {
  int32_t side = 0;
  std::unique_ptr<Uploader> upload;  // null for the squaring stages
  std::vector<uint8_t> held;         // row 2j + 1, until row 2j comes
  std::vector<uint8_t> out;          // the row made for the stage below
};

TextureStream::TextureStream() = default;
TextureStream::~TextureStream() = default;

bool TextureStream::Begin(int32_t tw, int32_t th, uint32_t* name, uint32_t* mipName, bool nearest, bool share) {
  EndSpriteRun();
  tw_ = tw;
  th_ = th;
  next_ = th - 1;
  begun_ = true;
  ClearErrors();
  SetUnpackDefaults();
  share = share && tw == th && name != nullptr && *name == 0 && mipName != nullptr && *mipName == 0 &&
          TextureViewsSupported();
  int32_t levelCount = 0;
  if (mipName != nullptr) {
    side_ = std::min(tw, th);
    for (int32_t size = side_; size >= 1; size /= 2) ++levelCount;
    if (*mipName == 0) glGenTextures(1, mipName);
    mip_ = *mipName;
    glBindTexture(GL_TEXTURE_2D, mip_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    if (share) Views().storage(GL_TEXTURE_2D, levelCount, GL_RGBA8, side_, side_);
  }
  if (mipName != nullptr) ForgetSpriteTexture(*mipName);
  if (name != nullptr) {
    if (*name == 0) glGenTextures(1, name);
    ForgetSpriteTexture(*name);
    // A view is made from a name never bound, before its parameters.
    if (share) Views().view(*name, GL_TEXTURE_2D, mip_, GL_RGBA8, 0, 1, 0, 1);
    glBindTexture(GL_TEXTURE_2D, *name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    if (!share) {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      plain_ = std::make_unique<Uploader>(*name, 0, tw, th);
    }
  }
  if (mipName != nullptr) {
    if (!share) glBindTexture(GL_TEXTURE_2D, mip_);
    // With the filter set first, the GL makes room for every level at once.
    GLint level = 0;
    for (int32_t size = side_; size >= 1; size /= 2, ++level) {
      if (!share) glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      auto stage = std::make_unique<Level>();
      stage->side = size;
      stage->upload = std::make_unique<Uploader>(mip_, level, size, size);
      if (size > 1) {
        stage->held.resize(static_cast<size_t>(size) * 4);
        stage->out.resize(static_cast<size_t>(size / 2) * 4);
      }
      levels_.push_back(std::move(stage));
    }
    // A taller texture is first halved down the columns to the square.
    for (int32_t rows = th; rows > side_; rows /= 2) {
      auto stage = std::make_unique<Level>();
      stage->side = tw;
      stage->held.resize(static_cast<size_t>(tw) * 4);
      stage->out.resize(static_cast<size_t>(tw) * 4);
      squash_.push_back(std::move(stage));
    }
    if (tw > side_) narrowed_.resize(static_cast<size_t>(tw) * 4);
  }
  if (glGetError() == GL_OUT_OF_MEMORY) {
    plain_.reset();
    levels_.clear();
    begun_ = false;
    return false;
  }
  return true;
}

void TextureStream::TextureRow(const uint8_t* row) {
  if (!begun_ || next_ < 0) return;
  const int32_t index = next_--;
  if (plain_) plain_->Put(index, row);
  if (!levels_.empty()) CompanionRow(index, row);
}

void TextureStream::CompanionRow(int32_t index, const uint8_t* row) {
  if (tw_ > side_) {
    // A wider texture: each row halved across, pair by pair, to the side.
    std::memcpy(narrowed_.data(), row, static_cast<size_t>(tw_) * 4);
    for (int32_t w = tw_; w > side_; w /= 2)
      for (int32_t x = 0; x < w / 2; ++x)
        for (int c = 0; c < 4; ++c)
          narrowed_[static_cast<size_t>(x) * 4 + c] = static_cast<uint8_t>(
              (narrowed_[static_cast<size_t>(x) * 8 + c] + narrowed_[static_cast<size_t>(x) * 8 + 4 + c]) / 2);
    LevelRow(0, index, narrowed_.data());
    return;
  }
  // A taller one: rows 2y and 2y + 1 averaged, stage after stage.
  for (const std::unique_ptr<Level>& stage : squash_) {
    if (index & 1) {
      std::memcpy(stage->held.data(), row, stage->held.size());
      return;
    }
    for (size_t i = 0; i < stage->out.size(); ++i)
      stage->out[i] = static_cast<uint8_t>((row[i] + stage->held[i]) / 2);
    row = stage->out.data();
    index /= 2;
  }
  LevelRow(0, index, row);
}

void TextureStream::LevelRow(size_t level, int32_t index, const uint8_t* row) {
  for (; level < levels_.size(); ++level) {
    Level& l = *levels_[level];
    l.upload->Put(index, row);
    if (l.side == 1) return;
    if (index & 1) {
      std::memcpy(l.held.data(), row, l.held.size());
      return;
    }
    HalveRows(row, l.held.data(), l.side, l.out.data());
    row = l.out.data();
    index /= 2;
  }
}

bool TextureStream::Finish() {
  if (!begun_) return false;
  if (next_ >= 0) {
    const std::vector<uint8_t> blank(static_cast<size_t>(tw_) * 4, 0);
    while (next_ >= 0) TextureRow(blank.data());
  }
  if (plain_) plain_->Flush();
  for (const std::unique_ptr<Level>& l : levels_) l->upload->Flush();
  begun_ = false;
  return glGetError() != GL_OUT_OF_MEMORY;
}

// ---------------------------------------------------------------- picture rows

PictureRows::PictureRows(TextureStream& stream, int32_t tw, int32_t th, int32_t h)
    : stream_(stream), tw_(tw), th_(th), h_(h), row_(static_cast<size_t>(tw) * 4, 0) {}

void PictureRows::Start() {
  std::fill(row_.begin(), row_.end(), 0);
  for (int32_t r = th_ - 1; r >= h_; --r) stream_.TextureRow(row_.data());
}

void PictureRows::Row(const uint8_t* pixels, int32_t c0, int32_t c1) {
  c0 = std::clamp(c0, 0, tw_);
  c1 = std::clamp(c1, c0, tw_);
  uint8_t* row = row_.data();
  std::memset(row, 0, static_cast<size_t>(c0) * 4);
  std::memcpy(row + static_cast<size_t>(c0) * 4, pixels, static_cast<size_t>(c1 - c0) * 4);
  std::memset(row + static_cast<size_t>(c1) * 4, 0, static_cast<size_t>(tw_ - c1) * 4);
  stream_.TextureRow(row);
}

void PictureRows::BlankRow() {
  std::fill(row_.begin(), row_.end(), 0);
  stream_.TextureRow(row_.data());
}

}  // namespace gfx2d
