// The "XQOA" text form of object files: tokens and comments, polygons turned into triangle fans.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx3d/internal/mesh_file.h"

namespace {

constexpr size_t kTokenLimit = 1024;
// A text file names records indirectly (every frame repeats every polygon),
// so what it expands to is limited by its size rather than by a count in it:
// at most this many records per byte of the file, and never less than the
// floor, which no hand-made file comes near.
constexpr int64_t kRecordsPerByte = 8;
constexpr int64_t kRecordFloor = int64_t{1} << 20;

class Tokens {
 public:
  Tokens(const uint8_t* bytes, size_t size) : at_(bytes), end_(bytes + size) {}

  // The next token, NUL-terminated in token_; false at the end of the text
  // or for a token longer than the limit.
  bool Next() {
    for (;;) {
      while (at_ < end_ && IsSeparator(*at_)) ++at_;
      if (at_ < end_ && *at_ == '#') {
        while (at_ < end_ && *at_ != '\n') ++at_;
        continue;
      }
      break;
    }
    size_t n = 0;
    while (at_ < end_ && !IsSeparator(*at_) && *at_ != '#') {
      if (n == kTokenLimit) return false;
      token_[n++] = static_cast<char>(*at_++);
    }
    token_[n] = '\0';
    return n > 0;
  }
  const char* text() const { return token_; }
  // An upper bound on the tokens still to come: each takes a byte and all
  // but the last a separator after it.
  int64_t MostTokensLeft() const { return (static_cast<int64_t>(end_ - at_) + 1) / 2; }

  bool Float(float* value) {
    if (!Next()) return false;
    *value = std::strtof(token_, nullptr);
    return true;
  }
  // A whole number as the C library reads it (text that is no number is 0).
  bool Integer(int64_t* value) {
    if (!Next()) return false;
    *value = std::strtoll(token_, nullptr, 10);
    return true;
  }
  // A count of items of at least tokensEach tokens that the rest of the text
  // can hold.
  bool Count(int64_t tokensEach, int32_t* count) {
    int64_t value;
    if (!Integer(&value) || value < 0 || value > INT32_MAX) return false;
    if (value * tokensEach > MostTokensLeft()) return false;
    *count = static_cast<int32_t>(value);
    return true;
  }

 private:
  static bool IsSeparator(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  const uint8_t* at_;
  const uint8_t* end_;
  char token_[kTokenLimit + 1];
};

struct Polygon {
  int32_t colour;
  int32_t firstCorner;
  int32_t cornerCount;
};

struct Corner {
  int32_t vertex;
  int32_t pair;
};

}  // namespace

bool MeshTextMayStart(const uint8_t* bytes, size_t size) {
  static constexpr char kKeyword[] = "XQOA";
  size_t at = 0;
  for (;;) {
    while (at < size && (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n')) ++at;
    if (at < size && bytes[at] == '#') {
      const void* feed = std::memchr(bytes + at, '\n', size - at);
      if (feed == nullptr) return true;  // a comment that runs past what is here
      at = static_cast<size_t>(static_cast<const uint8_t*>(feed) - bytes);
      continue;
    }
    break;
  }
  // The token must be the keyword and end after it.
  for (size_t i = 0; i <= 4; ++i, ++at) {
    if (at == size) return true;
    const uint8_t c = bytes[at];
    const bool ends = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#';
    if (i == 4) return ends;
    if (ends || c != static_cast<uint8_t>(kKeyword[i])) return false;
  }
  return true;
}

MeshReadResult ReadMeshText(const uint8_t* bytes, size_t size, MeshObject& mesh) {
  Tokens in(bytes, size);
  if (!in.Next() || std::strcmp(in.text(), "XQOA") != 0) return MeshReadResult::kReadError;
  float version;
  // The version is compared as the float32 it was read into, so "1.1" is
  // the newest version itself and not a little above it.
  if (!in.Float(&version) || !(version <= kMeshTextNewestVersion)) return MeshReadResult::kReadError;
  const bool withNormals = version >= kMeshTextNewestVersion;

  int32_t pairCount;
  if (!in.Count(2, &pairCount)) return MeshReadResult::kReadError;
  std::vector<float> pairs(static_cast<size_t>(pairCount) * 2);
  for (float& value : pairs)
    if (!in.Float(&value)) return MeshReadResult::kReadError;

  int32_t polygonCount;
  if (!in.Count(4, &polygonCount)) return MeshReadResult::kReadError;
  std::vector<Polygon> polygons(static_cast<size_t>(polygonCount));
  std::vector<Corner> corners;
  for (Polygon& polygon : polygons) {
    int64_t rgb[3];
    for (int64_t& c : rgb)
      if (!in.Integer(&c)) return MeshReadResult::kReadError;
    polygon.colour = static_cast<int32_t>((rgb[0] & 255) | (rgb[1] & 255) << 8 | (rgb[2] & 255) << 16);
    if (!in.Count(2, &polygon.cornerCount)) return MeshReadResult::kReadError;
    polygon.firstCorner = static_cast<int32_t>(corners.size());
    for (int32_t k = 0; k < polygon.cornerCount; ++k) {
      int64_t vertex, pair;
      if (!in.Integer(&vertex) || !in.Integer(&pair)) return MeshReadResult::kReadError;
      // Indexes are checked when the frames are known; out of int range
      // they can only be wrong.
      if (vertex < 0 || vertex > INT32_MAX || pair < 0 || pair > INT32_MAX) return MeshReadResult::kReadError;
      if (pairCount > 0 && pair >= pairCount) return MeshReadResult::kReadError;
      corners.push_back(Corner{static_cast<int32_t>(vertex), static_cast<int32_t>(pair)});
    }
  }

  int32_t frameCount;
  if (!in.Count(1, &frameCount)) return MeshReadResult::kReadError;
  const int64_t perFrame = static_cast<int64_t>(polygons.size()) + static_cast<int64_t>(corners.size());
  const int64_t limit = std::max(kRecordFloor, kRecordsPerByte * static_cast<int64_t>(size));
  if (perFrame * frameCount > limit) return MeshReadResult::kReadError;
  if (static_cast<uint64_t>(perFrame * frameCount) * sizeof(MeshVertex) +
          static_cast<uint64_t>(frameCount) * sizeof(MeshFrame) >
      kMeshMostBytes)
    return MeshReadResult::kMallocError;

  const int64_t floatsEach = withNormals ? 6 : 3;
  std::vector<float> vertices;
  for (int32_t f = 0; f < frameCount; ++f) {
    int32_t vertexCount;
    if (!in.Count(floatsEach, &vertexCount)) return MeshReadResult::kReadError;
    vertices.resize(static_cast<size_t>(vertexCount) * floatsEach);
    for (float& value : vertices)
      if (!in.Float(&value)) return MeshReadResult::kReadError;

    MeshFrame* frame = mesh.frames.AppendNew();
    if (frame == nullptr || !frame->strips.Reserve(perFrame)) return MeshReadResult::kMallocError;
    for (const Polygon& polygon : polygons) {
      frame->strips.Append(MarkerRecord(MARK_TRIANGLE_FAN));
      float rgba[4];
      PackedColourFloats(polygon.colour, rgba);
      for (int32_t k = 0; k < polygon.cornerCount; ++k) {
        const Corner& corner = corners[static_cast<size_t>(polygon.firstCorner + k)];
        if (corner.vertex >= vertexCount) return MeshReadResult::kReadError;
        const float* v = &vertices[static_cast<size_t>(corner.vertex) * floatsEach];
        MeshVertex r;
        std::memset(&r, 0, sizeof r);
        r.x = v[0];
        r.y = v[1];
        r.z = v[2];
        if (withNormals) {
          r.nx = v[3];
          r.ny = v[4];
          r.nz = v[5];
        }
        if (pairCount > 0) {
          r.u = pairs[static_cast<size_t>(corner.pair) * 2];
          r.v = -pairs[static_cast<size_t>(corner.pair) * 2 + 1];
        }
        r.colour = polygon.colour;
        r.r = rgba[0];
        r.g = rgba[1];
        r.b = rgba[2];
        r.a = rgba[3];
        frame->strips.Append(r);
      }
    }
  }
  BuildColourPalette(mesh);
  if (withNormals) {
    mesh.normalsDone = 1;
  } else {
    // Files before 1.1 carry no normals: each polygon gets its face normal.
    ComputeMeshNormals(mesh, true, false, false);
  }
  return MeshReadResult::kLoaded;
}
