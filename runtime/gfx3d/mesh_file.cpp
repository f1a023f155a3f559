// The binary object file form: its reader (both frame layouts) and its writer, and the normal index search.
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/little_endian.h"
#include "gfx3d/internal/mesh_file.h"

namespace {

// Little-endian fields from a byte range whose end is always checked first.
class ByteReader {
 public:
  ByteReader(const uint8_t* bytes, size_t size) : at_(bytes), end_(bytes + size) {}
  size_t left() const { return static_cast<size_t>(end_ - at_); }
  bool Int32(int32_t* value) {
    uint32_t bits;
    if (!Raw(&bits, 4)) return false;
    *value = static_cast<int32_t>(bits);
    return true;
  }
  bool Float32(float* value) {
    uint32_t bits;
    if (!Raw(&bits, 4)) return false;
    std::memcpy(value, &bits, 4);
    return true;
  }
  bool Float64(double* value) {
    if (left() < 8) return false;
    const uint64_t bits = LoadLittle64(at_);
    at_ += 8;
    std::memcpy(value, &bits, 8);
    return true;
  }
  // Only after left() was checked for the whole run of records.
  const uint8_t* Take(size_t n) {
    const uint8_t* start = at_;
    at_ += n;
    return start;
  }

 private:
  bool Raw(uint32_t* bits, size_t n) {
    if (left() < n) return false;
    *bits = LoadLittle32(at_);
    at_ += n;
    return true;
  }
  const uint8_t* at_;
  const uint8_t* end_;
};

inline float FloatAt(const uint8_t* p) {
  const uint32_t bits = LoadLittle32(p);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

inline bool IsStripMarkerCode(int32_t code) {
  return code == MARK_TRIANGLE_LIST || code == MARK_TRIANGLE_STRIP || code == MARK_TRIANGLE_FAN;
}

// What every record of one palette index starts as: a marker record, or a
// vertex of that colour with everything else zero. A record's palette index
// is one byte, so at most the first 256 entries are ever used.
constexpr int32_t kIndexedPaletteEntries = 256;
struct RecordTemplates {
  MeshVertex records[kIndexedPaletteEntries];
  bool marker[kIndexedPaletteEntries];
};

void MakeRecordTemplates(const GrowList<int32_t>& palette, RecordTemplates* t) {
  const int32_t count = palette.count() < kIndexedPaletteEntries ? palette.count() : kIndexedPaletteEntries;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t code = palette[i];
    MeshVertex& r = t->records[i];
    t->marker[i] = IsStripMarkerCode(code);
    if (t->marker[i]) {
      r = MarkerRecord(code);
    } else {
      std::memset(&r, 0, sizeof r);
      SetRecordColour(r, code);
    }
    r.paletteIndex = static_cast<uint8_t>(i);
  }
}

// The record a file record becomes; u and v as the engine keeps them.
inline void FillRecord(MeshVertex& r, const RecordTemplates& t, float x, float y, float z, uint8_t normal,
                       uint8_t paletteIndex, float u, float v) {
  r = t.records[paletteIndex];
  if (t.marker[paletteIndex]) return;
  r.x = x;
  r.y = y;
  r.z = z;
  r.nx = NORMAL_TABLE[normal][0];
  r.ny = NORMAL_TABLE[normal][1];
  r.nz = NORMAL_TABLE[normal][2];
  r.u = u;
  r.v = v;
}

}  // namespace

MeshReadResult ReadMeshBinary(const uint8_t* bytes, size_t size, MeshObject& mesh, double* version) {
  ByteReader in(bytes, size);
  int32_t magic = 0, frameCount = 0, paletteCount = 0, pairCount = 0;
  double fileVersion = 0;
  if (!in.Int32(&magic) || magic != kMeshFileMagic || !in.Float64(&fileVersion)) return MeshReadResult::kReadError;
  if (version != nullptr) *version = fileVersion;
  if (!(fileVersion >= kMeshFileOldestVersion && fileVersion <= kMeshFileVersion)) return MeshReadResult::kWrongVersion;
  if (!in.Int32(&frameCount) || !in.Int32(&paletteCount) || !in.Int32(&pairCount)) return MeshReadResult::kReadError;
  // Every count is held against the bytes that follow before anything is
  // allocated for it: a frame takes at least its own count field.
  if (frameCount < 0 || paletteCount < 0 || pairCount < 0) return MeshReadResult::kReadError;
  if (MeshKeptBytes(paletteCount, pairCount, frameCount, 0) > kMeshMostBytes) return MeshReadResult::kMallocError;
  if (static_cast<uint64_t>(paletteCount) * 4 > in.left()) return MeshReadResult::kReadError;
  if (static_cast<uint64_t>(pairCount) * 8 > in.left() - static_cast<size_t>(paletteCount) * 4)
    return MeshReadResult::kReadError;
  if (static_cast<uint64_t>(frameCount) * 4 >
      in.left() - static_cast<size_t>(paletteCount) * 4 - static_cast<size_t>(pairCount) * 8)
    return MeshReadResult::kReadError;

  if (!mesh.palette.Reserve(paletteCount)) return MeshReadResult::kMallocError;
  for (int32_t i = 0; i < paletteCount; ++i) {
    int32_t code = 0;
    in.Int32(&code);
    mesh.palette.Append(code);
  }
  // The pairs are read in place: they are shared by every frame.
  const uint8_t* pairs = in.Take(static_cast<size_t>(pairCount) * 8);
  // Made once rather than per record: colour floats take three divisions.
  std::unique_ptr<RecordTemplates> templates(new (std::nothrow) RecordTemplates);
  if (templates == nullptr) return MeshReadResult::kMallocError;
  MakeRecordTemplates(mesh.palette, templates.get());
  const bool quantised = fileVersion < kMeshFileVersion;
  const size_t recordBytes = quantised ? kMeshQuantisedRecordBytes : kMeshRecordBytes;

  int64_t allRecords = 0;
  for (int32_t f = 0; f < frameCount; ++f) {
    int32_t records = 0;
    float offset[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
    if (!in.Int32(&records) || records < 0 || records > pairCount) return MeshReadResult::kReadError;
    allRecords += records;
    if (MeshKeptBytes(paletteCount, pairCount, frameCount, allRecords) > kMeshMostBytes)
      return MeshReadResult::kMallocError;
    if (quantised)
      for (int k = 0; k < 6; ++k)
        if (!in.Float32(k < 3 ? &offset[k] : &scale[k - 3])) return MeshReadResult::kReadError;
    if (static_cast<uint64_t>(records) * recordBytes > in.left()) return MeshReadResult::kReadError;
    // Frames the mesh still has (emptied, with their blocks) are filled again.
    MeshFrame* frame = f < mesh.frames.count() ? &mesh.frames[f] : mesh.frames.AppendNew();
    if (frame == nullptr || !EmptyWithRoom(frame->strips, records)) return MeshReadResult::kMallocError;
    const uint8_t* p = in.Take(static_cast<size_t>(records) * recordBytes);
    MeshVertex* out = frame->strips.data();
    for (int32_t i = 0; i < records; ++i, p += recordBytes) {
      float x, y, z;
      uint8_t normal, index;
      if (quantised) {
        x = (static_cast<float>(p[0]) - offset[0]) * scale[0];
        y = (static_cast<float>(p[1]) - offset[1]) * scale[1];
        z = (static_cast<float>(p[2]) - offset[2]) * scale[2];
        normal = p[3];
        index = p[4];
      } else {
        x = FloatAt(p);
        y = FloatAt(p + 4);
        z = FloatAt(p + 8);
        normal = p[12];
        index = p[13];
      }
      if (normal >= kNormalTableSize || index >= paletteCount) return MeshReadResult::kReadError;
      const float u = FloatAt(pairs + static_cast<size_t>(i) * 8);
      float v = FloatAt(pairs + static_cast<size_t>(i) * 8 + 4);
      if (quantised) v = -v;  // older files kept v as given, the engine keeps it negated
      FillRecord(out[i], *templates, x, y, z, normal, index, u, v);
    }
    frame->strips.SetCountUnchecked(records);
  }
  mesh.frames.Truncate(frameCount);
  mesh.normalsDone = 1;
  return MeshReadResult::kLoaded;
}

uint64_t MeshKeptBytes(int64_t paletteCount, int64_t pairCount, int64_t frameCount, int64_t records) {
  return static_cast<uint64_t>(paletteCount) * 4 + static_cast<uint64_t>(pairCount) * 8 +
         static_cast<uint64_t>(frameCount) * sizeof(MeshFrame) + static_cast<uint64_t>(records) * sizeof(MeshVertex);
}

MeshReadResult MeshBinaryDeclaredBytes(const MeshFieldReader& read, uint64_t size, uint64_t* declared,
                                       double* version) {
  // The magic and the version first: a file that ends after them is refused
  // for its version, as the reader does.
  constexpr size_t kVersionEnd = 12;
  uint8_t header[kMeshFileHeaderBytes];
  if (!read(0, header, kVersionEnd)) return MeshReadResult::kReadError;
  ByteReader in(header, sizeof header);
  int32_t magic = 0, frames = 0, palette = 0, pairs = 0;
  double fileVersion = 0;
  in.Int32(&magic);
  in.Float64(&fileVersion);
  if (magic != kMeshFileMagic) return MeshReadResult::kReadError;
  if (version != nullptr) *version = fileVersion;
  if (!(fileVersion >= kMeshFileOldestVersion && fileVersion <= kMeshFileVersion)) return MeshReadResult::kWrongVersion;
  if (!read(kVersionEnd, header + kVersionEnd, sizeof header - kVersionEnd)) return MeshReadResult::kReadError;
  in.Int32(&frames);
  in.Int32(&palette);
  in.Int32(&pairs);
  // The checks and their order are the reader's.
  if (frames < 0 || palette < 0 || pairs < 0) return MeshReadResult::kReadError;
  if (MeshKeptBytes(palette, pairs, frames, 0) > kMeshMostBytes) return MeshReadResult::kMallocError;
  uint64_t at = kMeshFileHeaderBytes + uint64_t{4} * static_cast<uint32_t>(palette) +
                uint64_t{8} * static_cast<uint32_t>(pairs);
  if (at + uint64_t{4} * static_cast<uint32_t>(frames) > size) return MeshReadResult::kReadError;
  const bool quantised = fileVersion < kMeshFileVersion;
  const uint64_t recordBytes = quantised ? kMeshQuantisedRecordBytes : kMeshRecordBytes;
  int64_t records = 0;
  for (int32_t f = 0; f < frames; ++f) {
    uint8_t field[4];
    if (!read(at, field, 4)) return MeshReadResult::kReadError;
    const int32_t count = static_cast<int32_t>(LoadLittle32(field));
    if (count < 0 || count > pairs) return MeshReadResult::kReadError;
    records += count;
    if (MeshKeptBytes(palette, pairs, frames, records) > kMeshMostBytes) return MeshReadResult::kMallocError;
    at += (quantised ? kMeshQuantisedFrameHeader : 4) + static_cast<uint64_t>(count) * recordBytes;
    if (at > size) return MeshReadResult::kReadError;
  }
  *declared = at;
  return MeshReadResult::kLoaded;
}

int32_t NormalTableIndex(float nx, float ny, float nz) {
  const float length2 = nx * nx + ny * ny + nz * nz;
  if (length2 > 1e-7f) {
    const float length = std::sqrt(length2);
    nx /= length;
    ny /= length;
    nz /= length;
  }
  // The scores first, in a loop the compiler can run several entries at a
  // time; then the search over them in table order.
  float scores[kNormalTableSize];
  for (int32_t t = 0; t < kNormalTableSize; ++t) {
    const float* e = NORMAL_TABLE[t];
    scores[t] = std::fabs(nx * (nx - e[0]) + ny * (ny - e[1]) + nz * (nz - e[2]));
  }
  float best = 10000.0f;
  int32_t index = 0;
  for (int32_t t = 0; t < kNormalTableSize; ++t) {
    if (scores[t] <= best) {
      best = scores[t];
      index = t;
      if (best == 0.0f) break;
    }
  }
  return index;
}

namespace {

class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}
  void Int32(int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const char b[4] = {static_cast<char>(bits & 255), static_cast<char>((bits >> 8) & 255),
                       static_cast<char>((bits >> 16) & 255), static_cast<char>(bits >> 24)};
    out_.append(b, 4);
  }
  void Float32(float value) {
    int32_t bits;
    std::memcpy(&bits, &value, 4);
    Int32(bits);
  }
  void Float64(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    Int32(static_cast<int32_t>(bits & 0xFFFFFFFFu));
    Int32(static_cast<int32_t>(bits >> 32));
  }
  void Byte(uint8_t value) { out_.push_back(static_cast<char>(value)); }

 private:
  std::string& out_;
};

}  // namespace

std::string EncodeMeshBinary(const MeshObject& mesh) {
  std::string out;
  const int32_t frames = mesh.frames.count();
  const int32_t pairs = frames > 0 ? mesh.frames[0].strips.count() : 0;
  int64_t bytes = static_cast<int64_t>(kMeshFileHeaderBytes) + 4 * mesh.palette.count() + 8 * int64_t{pairs};
  for (const MeshFrame& frame : mesh.frames) bytes += 4 + static_cast<int64_t>(kMeshRecordBytes) * frame.strips.count();
  out.reserve(static_cast<size_t>(bytes));
  ByteWriter w(out);
  w.Int32(kMeshFileMagic);
  w.Float64(kMeshFileVersion);
  w.Int32(frames);
  w.Int32(mesh.palette.count());
  w.Int32(pairs);
  for (int32_t code : mesh.palette) w.Int32(code);
  if (frames > 0) {
    for (const MeshVertex& r : mesh.frames[0].strips) {
      w.Float32(r.u);
      w.Float32(r.v);
    }
  }
  for (const MeshFrame& frame : mesh.frames) {
    w.Int32(frame.strips.count());
    for (const MeshVertex& r : frame.strips) {
      w.Float32(r.x);
      w.Float32(r.y);
      w.Float32(r.z);
      w.Byte(static_cast<uint8_t>(NormalTableIndex(r.nx, r.ny, r.nz)));
      w.Byte(r.paletteIndex);
    }
  }
  return out;
}
