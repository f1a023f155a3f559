// Object files: binary round trips and exact sizes, versions and quantised
// frames, the text form, damaged files, memory files, archive entries and
// the normal table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/run_log.h"
#include "files/read_channel.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh_file.h"
#include "gfx3d_test_util.h"
#include "lib/archive_writer.h"
#include "platform/platform.h"
#include "support/child_process.h"

namespace {

using gfx3d_test::Mesh;
using gfx3d_test::Slot;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// Little-endian fields of a hand-made file.
struct Bytes {
  std::string s;
  Bytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 255));
    return *this;
  }
  Bytes& F32(float v) {
    int32_t bits;
    std::memcpy(&bits, &v, 4);
    return I32(bits);
  }
  Bytes& F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((bits >> (8 * i)) & 255));
    return *this;
  }
  Bytes& U8(uint8_t v) {
    s.push_back(static_cast<char>(v));
    return *this;
  }
};

struct FileRecord {
  float x, y, z;  // the quantised layout stores them as bytes
  uint8_t normal, palette;
};

// A binary file of one or more frames sharing the pairs; versions below 2.0
// get the quantised layout with the given offset and scale.
std::string BinaryFile(double version, const std::vector<int32_t>& palette, const std::vector<float>& pairs,
                       const std::vector<std::vector<FileRecord>>& frames, const float offset[3] = nullptr,
                       const float scale[3] = nullptr) {
  Bytes b;
  b.I32(kMeshFileMagic).F64(version).I32(static_cast<int32_t>(frames.size()));
  b.I32(static_cast<int32_t>(palette.size())).I32(static_cast<int32_t>(pairs.size() / 2));
  for (int32_t c : palette) b.I32(c);
  for (float f : pairs) b.F32(f);
  for (const auto& frame : frames) {
    b.I32(static_cast<int32_t>(frame.size()));
    if (version < 2.0)
      for (int k = 0; k < 6; ++k) b.F32(k < 3 ? offset[k] : scale[k - 3]);
    for (const FileRecord& r : frame) {
      if (version < 2.0)
        b.U8(static_cast<uint8_t>(r.x)).U8(static_cast<uint8_t>(r.y)).U8(static_cast<uint8_t>(r.z));
      else
        b.F32(r.x).F32(r.y).F32(r.z);
      b.U8(r.normal).U8(r.palette);
    }
  }
  return b.s;
}

// A strip marker and a triangle: palette {marker, red, green}.
std::string SmallFile(double version) {
  const float offset[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
  return BinaryFile(version, {MARK_TRIANGLE_STRIP, 0x0000FF, 0x00FF00}, {0, 0, 0, 0.5f, 1, 0, 1, 1},
                    {{{0, 0, 0, 0, 0}, {1, 0, 0, 5, 1}, {0, 1, 0, 7, 2}, {1, 1, 0, 9, 1}}}, offset, scale);
}

// The table entry nearest a direction, by the largest dot product.
int32_t NearestEntry(const float n[3]) {
  const double length = std::sqrt(double{n[0]} * n[0] + double{n[1]} * n[1] + double{n[2]} * n[2]);
  int32_t best = 0;
  double bestDot = -2;
  for (int32_t t = 0; t < kNormalTableSize; ++t) {
    const double d = (n[0] * NORMAL_TABLE[t][0] + n[1] * NORMAL_TABLE[t][1] + n[2] * NORMAL_TABLE[t][2]) / length;
    if (d > bestDot) {
      bestDot = d;
      best = t;
    }
  }
  return best;
}

class MeshFileTest : public testing::Test {
 protected:
  MeshFileTest() : saved_(platform::EnvironmentVariable("TMPDIR")) {
    platform::SetEnvironmentVariable("TMPDIR", dir_.path().c_str());
    gfx3d_test::Engine();
  }
  ~MeshFileTest() override {
    for (const void* block : blocks_) UnregisterMemoryFile(block);
    platform::SetEnvironmentVariable("TMPDIR", saved_.c_str());
  }
  std::string Log() const { return ReadWholeFile(RunLogPath()); }
  // A memory file of exactly these bytes (kept until the test ends).
  std::string Memory(const std::string& bytes) {
    held_.push_back(bytes);
    const std::string& block = held_.back();
    RegisterMemoryFile(block.data(), block.size());
    blocks_.push_back(block.data());
    return MemoryFileName(block.data(), block.size());
  }
  // Loads and says whether the object became valid; a failure must have
  // left its lines at the end of the run log.
  bool Load(const std::string& name, int32_t id) {
    LoadMesh(name.c_str(), id);
    const bool valid = Slot(id).valid != 0;
    if (!valid) {
      const std::string tail = "# read error\n" + name + "\n";
      const std::string log = Log();
      EXPECT_TRUE(log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0)
          << log;
      EXPECT_EQ(Slot(id).meshes.count(), 0);
      EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
    }
    return valid;
  }

  TempDir dir_;
  std::string saved_;
  std::list<std::string> held_;
  std::vector<const void*> blocks_;
};

TEST_F(MeshFileTest, CompiledNormalTableIsTheShippedOne) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/data/normals-162.txt");
  for (int32_t t = 0; t < kNormalTableSize; ++t) {
    float v[3];
    ASSERT_TRUE(in >> v[0] >> v[1] >> v[2]) << t;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(NORMAL_TABLE[t][k], v[k]) << t;
  }
  float extra;
  EXPECT_FALSE(in >> extra);
  EXPECT_FLOAT_EQ(NORMAL_TABLE[0][0], -0.525731f);
  EXPECT_FLOAT_EQ(NORMAL_TABLE[161][2], -0.425325f);
}

TEST_F(MeshFileTest, NormalIndexIsTheNearestEntry) {
  // Every entry, at any length, finds itself; a zero normal gets entry 0.
  for (int32_t t = 0; t < kNormalTableSize; ++t)
    EXPECT_EQ(NormalTableIndex(3 * NORMAL_TABLE[t][0], 3 * NORMAL_TABLE[t][1], 3 * NORMAL_TABLE[t][2]), t);
  EXPECT_EQ(NormalTableIndex(0, 0, 0), 0);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> any(-1, 1);
  for (int i = 0; i < 2000; ++i) {
    const float n[3] = {any(random), any(random), any(random)};
    if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] < 1e-3f) continue;
    const int32_t chosen = NormalTableIndex(n[0], n[1], n[2]);
    const int32_t nearest = NearestEntry(n);
    // Ties between entries at the same angle may go either way.
    const auto dot = [&n](int32_t t) {
      return n[0] * NORMAL_TABLE[t][0] + n[1] * NORMAL_TABLE[t][1] + n[2] * NORMAL_TABLE[t][2];
    };
    EXPECT_NEAR(dot(chosen), dot(nearest), 1e-5f) << i;
  }
}

TEST_F(MeshFileTest, SavedObjectLoadsWithItsStructureAndQuantisedNormals) {
  // Two frames of two strips with four colours; frame 1 is frame 0 moved.
  const int32_t colours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x123456};
  SetMeshNormalMode(2);
  BeginMesh(10);
  for (int32_t frame = 0; frame < 2; ++frame) {
    SelectMeshFrame(frame);
    for (int32_t i = 0; i < 9; ++i) {
      if (i == 5) NewMeshStrip();
      const double x = i % 2 + frame * 3.0, y = i * 0.5, z = std::sin(i) - 2.0;
      AddMeshVertex(x, y, z, i * 0.125, 1 - i * 0.25, colours[i % 4]);
    }
  }
  EndMesh();
  ASSERT_EQ(Slot(10).valid, 1);
  const MeshObjectX& source = Mesh(10);
  const std::string path = dir_.File("two-frames.xqo");
  EXPECT_EQ(SaveMesh(path.c_str(), 10), 1);

  // 24 + 4P + 8U + sum(4 + 14N) bytes, and a 2.0 reader consumes all of them.
  const int64_t p = source.palette.count(), u = source.frames[0].strips.count();
  int64_t expected = 24 + 4 * p + 8 * u;
  for (const MeshFrame& f : source.frames) expected += 4 + 14 * int64_t{f.strips.count()};
  const std::string bytes = ReadWholeFile(path);
  EXPECT_EQ(static_cast<int64_t>(bytes.size()), expected);
  EXPECT_EQ(p, 5);  // the marker and four colours

  ASSERT_TRUE(Load(path, 11));
  const MeshObjectX& loaded = Mesh(11);
  EXPECT_EQ(Slot(11).multiPart, 0);
  ASSERT_EQ(loaded.frames.count(), 2);
  for (int32_t f = 0; f < 2; ++f) {
    const auto& a = source.frames[f].strips;
    const auto& b = loaded.frames[f].strips;
    ASSERT_EQ(a.count(), b.count());
    EXPECT_EQ(loaded.frames[f].triangles.count(), source.frames[f].triangles.count());
    for (int32_t i = 0; i < a.count(); ++i) {
      SCOPED_TRACE(testing::Message() << "frame " << f << " record " << i);
      EXPECT_EQ(b[i].colour, a[i].colour);
      if (IsReservedColour(a[i].colour)) continue;
      EXPECT_EQ(b[i].x, a[i].x);
      EXPECT_EQ(b[i].y, a[i].y);
      EXPECT_EQ(b[i].z, a[i].z);
      // Texture coordinates are frame 0's, as stored (v negated).
      EXPECT_EQ(b[i].u, source.frames[0].strips[i].u);
      EXPECT_EQ(b[i].v, source.frames[0].strips[i].v);
      EXPECT_EQ(b[i].paletteIndex, a[i].paletteIndex);
      EXPECT_EQ(b[i].r, a[i].r);
      EXPECT_EQ(b[i].g, a[i].g);
      EXPECT_EQ(b[i].b, a[i].b);
      const float n[3] = {a[i].nx, a[i].ny, a[i].nz};
      const int32_t t = NearestEntry(n);
      EXPECT_NEAR(b[i].nx * n[0] + b[i].ny * n[1] + b[i].nz * n[2],
                  NORMAL_TABLE[t][0] * n[0] + NORMAL_TABLE[t][1] * n[1] + NORMAL_TABLE[t][2] * n[2], 1e-5f);
    }
  }
  EXPECT_EQ(loaded.normalsDone, 1);
  EXPECT_EQ(loaded.hasColours, 1);
  EXPECT_NEAR(loaded.frames[1].centre[0] - loaded.frames[0].centre[0], 3.0f, 1e-5f);

  // Saving the loaded object again gives the same file.
  const std::string again = dir_.File("again.xqo");
  SaveMesh(again.c_str(), 11);
  EXPECT_EQ(ReadWholeFile(again), bytes);
}

TEST_F(MeshFileTest, VersionsOutsideTheRangeAreRefusedWithTheVersionLine) {
  struct Case {
    double version;
    bool loads;
    const char* line;
  };
  const Case cases[] = {{1.02, true, nullptr},
                        {2.0, true, nullptr},
                        {1.01, false, "Wrong .xqo version: 1.01. Can use 1.02-2.00\n"},
                        {2.01, false, "Wrong .xqo version: 2.01. Can use 1.02-2.00\n"}};
  for (const Case& c : cases) {
    // Whole, and ending right after the version; from memory and from disk
    // (where only the declared fields are read).
    for (const bool whole : {true, false}) {
      for (const bool disk : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.version << (whole ? " whole" : " cut") << (disk ? " disk" : " memory"));
        std::string bytes = SmallFile(c.version);
        if (!whole) bytes.resize(12);
        std::string name;
        if (disk) {
          name = dir_.File("version.xqo");
          WriteWholeFile(name, bytes);
        } else {
          name = Memory(bytes);
        }
        const size_t before = Log().size();
        EXPECT_EQ(Load(name, 12), c.loads && whole);
        const std::string added = Log().substr(before);
        if (c.loads && whole) {
          EXPECT_EQ(added, "");
          EXPECT_EQ(Mesh(12).frames[0].triangles.count(), 3);
        } else {
          EXPECT_EQ(added, std::string(c.line != nullptr ? c.line : "") + "# read error\n" + name + "\n");
        }
      }
    }
  }
}

TEST_F(MeshFileTest, QuantisedFramesUseOffsetAndScaleAndNegateV) {
  const float offset[3] = {1, 2, 3}, scale[3] = {0.5f, 2, -1};
  const std::vector<FileRecord> records = {{0, 0, 0, 0, 0}, {10, 20, 30, 40, 1}, {255, 7, 3, 161, 2}};
  const std::string file = BinaryFile(1.02, {MARK_TRIANGLE_STRIP, 0x0000FF, 0x00FF00}, {0, 0, 0.25f, 0.75f, 1, -2},
                                      {records}, offset, scale);
  ASSERT_TRUE(Load(Memory(file), 13));
  const auto& strips = Mesh(13).frames[0].strips;
  ASSERT_EQ(strips.count(), 3);
  EXPECT_EQ(strips[0].colour, MARK_TRIANGLE_STRIP);
  for (int32_t i = 1; i < 3; ++i) {
    EXPECT_EQ(strips[i].x, (records[i].x - 1) * 0.5f);
    EXPECT_EQ(strips[i].y, (records[i].y - 2) * 2);
    EXPECT_EQ(strips[i].z, (records[i].z - 3) * -1);
    EXPECT_EQ(strips[i].nx, NORMAL_TABLE[records[i].normal][0]);
  }
  EXPECT_EQ(strips[1].u, 0.25f);
  EXPECT_EQ(strips[1].v, -0.75f);
  EXPECT_EQ(strips[2].v, 2.0f);
  EXPECT_EQ(strips[1].r, 1.0f);
  EXPECT_EQ(strips[2].g, 1.0f);
  EXPECT_EQ(strips[2].r, 0.0f);
}

TEST_F(MeshFileTest, DamagedBinaryFilesLeaveTheObjectEmpty) {
  const std::string good = SmallFile(2.0);
  ASSERT_TRUE(Load(Memory(good), 14));
  // Offsets into SmallFile(2.0): header 24, palette 12 bytes, 4 pairs of 8.
  const size_t frame = 24 + 12 + 32;
  const size_t record = frame + 4;
  struct Case {
    const char* what;
    size_t at;
    Bytes value;
  };
  const Case cases[] = {
      {"palette index beyond the palette", record + 14 * 2 + 13, Bytes().U8(3)},
      {"normal index beyond the table", record + 14 + 12, Bytes().U8(162)},
      {"more records than pairs", frame, Bytes().I32(5)},
      {"negative record count", frame, Bytes().I32(-1)},
      {"frames the file cannot hold", 12, Bytes().I32(1000)},
      {"palette the file cannot hold", 16, Bytes().I32(100000)},
      {"pairs the file cannot hold", 20, Bytes().I32(100000)},
      {"negative pair count", 20, Bytes().I32(-4)},
      {"not a number for a version", 4, Bytes().F64(std::nan(""))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad.replace(c.at, c.value.s.size(), c.value.s);
    EXPECT_FALSE(Load(Memory(bad), 14));
  }
  // Every cut short of the whole file fails, from memory and from disk; a
  // few bytes more do no harm.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(Load(Memory(good.substr(0, n)), 14)) << n;
    WriteWholeFile(dir_.File("cut.xqo"), good.substr(0, n));
    EXPECT_FALSE(Load(dir_.File("cut.xqo"), 14)) << n;
  }
  EXPECT_TRUE(Load(Memory(good + "tail"), 14));
  WriteWholeFile(dir_.File("tail.xqo"), good + "tail");
  EXPECT_TRUE(Load(dir_.File("tail.xqo"), 14));
}

// Resident memory of this process in kB.
int64_t ResidentKb() {
  const std::string status = ReadWholeFile("/proc/self/status");
  const size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::strtoll(status.c_str() + at + 6, nullptr, 10);
}

TEST_F(MeshFileTest, CountsBeyondWhatAnObjectCanKeepAreOutOfMemory) {
  const std::string good = SmallFile(2.0);
  struct Case {
    const char* what;
    size_t at;
    Bytes value;
  };
  const Case cases[] = {
      {"frames", 12, Bytes().I32(0x7FFFFFFF)},
      {"palette", 16, Bytes().I32(0x40000000)},
      {"pairs", 20, Bytes().I32(0x20000000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad.replace(c.at, c.value.s.size(), c.value.s);
    WriteWholeFile(dir_.File("huge.xqo"), bad);
    for (const std::string& name : {Memory(bad), dir_.File("huge.xqo")}) {
      const int64_t before = ResidentKb();
      LoadMesh(name.c_str(), 19);
      EXPECT_EQ(Slot(19).valid, 0);
      EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
      EXPECT_TRUE(Log().ends_with("# malloc error\n" + name + "\n")) << Log();
      EXPECT_LT(ResidentKb() - before, 16 * 1024);
    }
  }
  // Just below the bound is only more than the file holds: a read error.
  std::string below = good;
  below.replace(20, 4, Bytes().I32(static_cast<int32_t>((kMeshMostBytes - 24 * 1024) / 8)).s);
  EXPECT_FALSE(Load(Memory(below), 19));
}

// A sparse file of three gigabytes whose start is the given bytes, with
// more bytes at an offset when given.
std::string SparseFile(const TempDir& dir, const std::string& name, const std::string& start, int64_t pieceAt = 0,
                       const std::string& piece = "") {
  const std::string path = dir.File(name);
  WriteWholeFile(path, start);
  EXPECT_EQ(truncate(path.c_str(), int64_t{3} << 30), 0);
  if (!piece.empty()) {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(pieceAt);
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return path;
}

TEST_F(MeshFileTest, HugeFilesAreReadNoFurtherThanTheyDeclare) {
  const std::string small = SmallFile(2.0);
  // A frame of 11.5 million records: its pairs and records fit in the file,
  // the engine's records (92 bytes each) do not fit in what an object keeps.
  const int32_t many = 11500000;
  const std::string manyRecords = Bytes().I32(kMeshFileMagic).F64(2.0).I32(1).I32(1).I32(many).I32(0xFFFFFF).s;
  const int64_t manyRecordsCount = 28 + int64_t{many} * 8;
  struct Case {
    const char* what;
    std::string start;
    bool loads;
    int32_t error;
    const char* line;
    int64_t pieceAt = 0;
    std::string piece;
  };
  const Case cases[] = {
      {"zeros", "", false, kErrorNoSuchFile, "# read error\n", 0, ""},
      {"a small object and zeros", small, true, kErrorNone, "", 0, ""},
      {"pairs beyond what can be kept", Bytes().I32(kMeshFileMagic).F64(2.0).I32(1).I32(1).I32(200000000).s, false,
       kErrorOutOfMemory, "# malloc error\n", 0, ""},
      {"records beyond what can be kept", manyRecords, false, kErrorOutOfMemory, "# malloc error\n",
       manyRecordsCount, Bytes().I32(many).s},
      {"a text object", "XQOA 1.0 0 0 0\n", false, kErrorOutOfMemory, "# malloc error\n", 0, ""},
      {"a scene", ";XQW\n[objects]\ncount=0\n", false, kErrorOutOfMemory, "# malloc error\n", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = SparseFile(dir_, "huge.xqo", c.start, c.pieceAt, c.piece);
    const int64_t before = ResidentKb();
    const auto start = std::chrono::steady_clock::now();
    ClearLastError();
    LoadMesh(path.c_str(), 20);
    const double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const int64_t grown = ResidentKb() - before;
    EXPECT_EQ(Slot(20).valid != 0, c.loads);
    EXPECT_EQ(LastErrorCode, c.error);
    if (!c.loads) {
      EXPECT_TRUE(Log().ends_with(c.line + path + "\n")) << Log();
    }
    // Refused (or loaded) from the counts, without reading the gigabytes.
    EXPECT_LT(took, 1000.0);
    EXPECT_GE(took, 0.0);
    EXPECT_LT(grown, 64 * 1024) << "kB";
    std::printf("%s: %.1f ms, resident +%lld kB\n", c.what, took, static_cast<long long>(grown));
    std::remove(path.c_str());
  }
}

const char kQuadAndTriangle11[] =
    "# a quad and a triangle\r\n"
    "XQOA 1.1  # version\r\n"
    "4  0 0  1 0  1 1  0 1\r\n"
    "2\r\n"
    "255 0 0 4   0 0  1 1  2 2  3 3\r\n"
    "0 256 511 3   0 0  2 2  4 1 # colour bytes 0 0 255\r\n"
    "1 5\r\n"
    "0 0 0  0 0 1\r\n"
    "1 0 0  0 0 1\r\n"
    "1 1 0  0 0 1\r\n"
    "0 1 0  0 0 1\r\n"
    "2 0.5 0  0 1 0\r\n";
const char kQuadAndTriangle10[] =
    "XQOA\t1.0\n4 0 0 1 0 1 1 0 1\n2\n"
    "255 0 0 4 0 0 1 1 2 2 3 3\n0 256 511 3 0 0 2 2 4 1\n"
    "1 5 0 0 0 1 0 0 1 1 0 0 1 0 2 0.5 0  # no normals before 1.1\n";

TEST_F(MeshFileTest, TextFormPolygonsBecomeFans) {
  for (const char* text : {kQuadAndTriangle11, kQuadAndTriangle10}) {
    const bool withNormals = text == kQuadAndTriangle11;
    SCOPED_TRACE(withNormals ? "1.1" : "1.0");
    const std::string path = dir_.File("hand.xqo");
    WriteWholeFile(path, text);
    ASSERT_TRUE(Load(path, 15));
    const MeshObjectX& mesh = Mesh(15);
    ASSERT_EQ(mesh.frames.count(), 1);
    const auto& s = mesh.frames[0].strips;
    ASSERT_EQ(s.count(), 9);
    EXPECT_EQ(s[0].colour, MARK_TRIANGLE_FAN);
    EXPECT_EQ(s[5].colour, MARK_TRIANGLE_FAN);
    EXPECT_EQ(mesh.frames[0].triangles.count(), 9);  // two from the quad, one from the triangle
    EXPECT_EQ(s[1].colour, 0x0000FF);
    EXPECT_EQ(s[6].colour, 0xFF0000);
    EXPECT_EQ(s[6].b, 1.0f);
    // Corner 3 of the quad: vertex 3 (0, 1, 0) with pair 3 (0, 1), v negated.
    EXPECT_EQ(s[4].y, 1.0f);
    EXPECT_EQ(s[4].u, 0.0f);
    EXPECT_EQ(s[4].v, -1.0f);
    // The triangle's last corner: vertex 4 with pair 1.
    EXPECT_EQ(s[8].x, 2.0f);
    EXPECT_EQ(s[8].u, 1.0f);
    EXPECT_EQ(mesh.palette.count(), 3);
    if (withNormals) {
      EXPECT_EQ(s[8].ny, 1.0f);
      EXPECT_EQ(s[2].nz, 1.0f);
    } else {
      // Face normals of the flat polygons, along z either way.
      EXPECT_NEAR(std::fabs(s[2].nz), 1.0f, 1e-6f);
      EXPECT_NEAR(std::fabs(s[8].nz), 1.0f, 1e-6f);
    }
  }
}

TEST_F(MeshFileTest, DamagedTextFilesLeaveTheObjectEmpty) {
  const std::string good = kQuadAndTriangle10;
  struct Case {
    const char* what;
    std::string text;
  };
  const std::string longToken(1025, '1');
  const Case cases[] = {
      {"newer version", "XQOA 1.2" + good.substr(8)},
      {"other keyword", "XQOB" + good.substr(4)},
      {"vertex index beyond the frame", good.substr(0, good.find("2 2 4 1")) + "2 2 5 1" + good.substr(good.find("2 2 4 1") + 7)},
      {"pair index beyond the pairs", good.substr(0, good.find("2 2 4 1")) + "2 2 4 4" + good.substr(good.find("2 2 4 1") + 7)},
      {"negative count", "XQOA 1.0 -1"},
      {"a count the text cannot hold", "XQOA 1.0 0 0 1000000"},
      {"a token over 1024 bytes", "XQOA 1.0 " + longToken},
      {"last vertex missing", good.substr(0, good.find("2 0.5 0"))},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Load(Memory(c.text), 16));
  }
  // A token of exactly 1024 bytes is still a token.
  EXPECT_TRUE(Load(Memory("XQOA 1.0 0 1 0 0 0 3 0 0 0 0 0 0 1 3 0 0 0 " + std::string(1024, '0') + " 0 0 0 1 0"), 16));
}

TEST_F(MeshFileTest, MemoryFilesAndArchiveEntriesLoad) {
  const std::string file = SmallFile(2.0);
  ASSERT_TRUE(Load(Memory(file), 17));
  // An archive entry is found by its base name.
  const std::string host = dir_.File("game");
  WriteWholeFile(host, "host program bytes");
  WriteWholeFile(dir_.File("packed.xqo"), file);
  std::string error;
  ASSERT_TRUE(AppendToArchive(host.c_str(), {{"packed.xqo", dir_.File("packed.xqo")}}, &error)) << error;
  SetArchive(host.c_str(), host.c_str());
  EXPECT_TRUE(Load("media/packed.xqo", 18));
  EXPECT_FALSE(Load("media/absent.xqo", 18));
  SetArchive("", "");
  // Memory files are read-only: saving into one writes nothing.
  const std::string name = Memory(std::string(file.size(), '\0'));
  EXPECT_EQ(SaveMesh(name.c_str(), 17), 1);
  EXPECT_EQ(LastErrorCode, kErrorNoSuchFile);
  EXPECT_EQ(held_.back(), std::string(file.size(), '\0'));
  // Object numbers outside the table.
  LoadMesh(name.c_str(), 4096);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
}

// Loading into a slot that holds an object fills that object's lists again
// instead of new ones (a reload needs no memory), and what it gives is
// exactly what a load into an empty slot gives; a much smaller object does
// not keep the larger one's blocks.
TEST_F(MeshFileTest, ReloadsReuseTheObjectsMemoryAndGiveWhatAFreshLoadGives) {
  // A two-frame object of 5000 records a frame, and a small one.
  const auto build = [](int32_t id, int32_t records, int32_t frames) {
    SetMeshNormalMode(2);
    BeginMesh(id);
    for (int32_t f = 0; f < frames; ++f) {
      SelectMeshFrame(f);
      for (int32_t i = 1; i < records; ++i) {
        if (i % 50 == 0) NewMeshStrip();
        AddMeshVertex(i % 2 + f, i * 0.01, std::sin(i * 0.1), i * 0.001, 0.5, 0x102030 * (i % 3));
      }
    }
    EndMesh();
    ASSERT_EQ(Slot(id).valid, 1);
  };
  build(30, 5000, 2);
  build(31, 12, 1);
  const std::string large = dir_.File("large.xqo"), small = dir_.File("small.xqo");
  SaveMesh(large.c_str(), 30);
  SaveMesh(small.c_str(), 31);
  const std::string text = dir_.File("text.xqo");
  WriteWholeFile(text, kQuadAndTriangle10);

  const auto same = [](const MeshObjectX& a, const MeshObjectX& b) {
    if (a.frames.count() != b.frames.count() || a.palette.count() != b.palette.count()) return false;
    if (a.normalsDone != b.normalsDone || a.tangentsDone != b.tangentsDone || a.hasColours != b.hasColours)
      return false;
    if (std::memcmp(a.palette.data(), b.palette.data(), sizeof(int32_t) * a.palette.count()) != 0) return false;
    for (int32_t f = 0; f < a.frames.count(); ++f) {
      const MeshFrame& x = a.frames[f];
      const MeshFrame& y = b.frames[f];
      if (x.strips.count() != y.strips.count() || x.triangles.count() != y.triangles.count()) return false;
      if (std::memcmp(x.strips.data(), y.strips.data(), sizeof(MeshVertex) * x.strips.count()) != 0 ||
          std::memcmp(x.triangles.data(), y.triangles.data(), sizeof(MeshVertex) * x.triangles.count()) != 0)
        return false;
      if (x.radius != y.radius || std::memcmp(x.centre, y.centre, sizeof x.centre) != 0 ||
          std::memcmp(x.boxMin, y.boxMin, sizeof x.boxMin) != 0 || std::memcmp(x.boxMax, y.boxMax, sizeof x.boxMax) != 0)
        return false;
    }
    return true;
  };
  // Fresh loads into empty slots, as the references.
  for (int32_t id : {32, 33, 34}) ReleaseSlot(Slot(id));
  ASSERT_TRUE(Load(large, 32));
  ASSERT_TRUE(Load(small, 33));
  ASSERT_TRUE(Load(text, 34));

  ASSERT_TRUE(Load(large, 35));
  // Loaded again with no block to be had: the object's own lists suffice.
  GrowListFailures = 1 << 30;
  const bool again = Load(large, 35);
  GrowListFailures = 0;
  ASSERT_TRUE(again);
  EXPECT_TRUE(same(Mesh(35), Mesh(32)));

  // The draw copy and the edge list of the large object go with it.
  ASSERT_TRUE(EnsureDrawBuffer(Mesh(35)));
  BuildShadowEdges(Mesh(35));
  ASSERT_GT(Mesh(35).shadowEdges.count(), 0);
  ASSERT_TRUE(Load(small, 35));
  EXPECT_TRUE(same(Mesh(35), Mesh(33)));
  EXPECT_EQ(Mesh(35).drawBuffer.capacity(), 0);
  EXPECT_EQ(Mesh(35).shadowEdges.capacity(), 0);
  EXPECT_EQ(Mesh(35).facing.capacity(), 0);
  EXPECT_LT(Mesh(35).frames[0].triangles.capacity(), 4096 + 2 * Mesh(35).frames[0].triangles.count() + 1);
  EXPECT_LT(Mesh(35).frames[0].strips.capacity(), 4096 + 2 * Mesh(35).frames[0].strips.count() + 1);

  // The text form after the binary one: normals are computed as for a new object.
  ASSERT_TRUE(Load(large, 35));
  ASSERT_TRUE(Load(text, 35));
  EXPECT_TRUE(same(Mesh(35), Mesh(34)));
}

}  // namespace
