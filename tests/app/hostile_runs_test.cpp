// Polyvane on hostile input: bad scene files, counts and textures, a
// damaged media archive appended to the program, and a 30000 x 30000
// texture. Each run must end through END (the run log's END report)
// without a crash, and in debug mode every failed texture load names its
// reason on standard error.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app_test_util.h"
#include "gfx2d/picture.h"
#include "support/child_process.h"
#include "support/screenshot.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildResult;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

const std::string kBinaryDir = VELMORA_BINARY_DIR;
const std::string kSourceDir = VELMORA_SOURCE_DIR;

uint32_t Le32At(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}
void PutLe32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// Where the archive's one entry lies in a file that ends in it.
struct EntryPlace {
  size_t directory;  // the entry's directory record
  size_t numbers;    // its position and packed-size words
  size_t data;       // the packed data
  uint32_t packedSize;
};
EntryPlace OnlyEntry(const std::string& file) {
  const size_t size = file.size();
  const int32_t stored = static_cast<int32_t>(Le32At(file, size - 4));
  EntryPlace place{};
  place.directory = stored < 0 ? size + stored : static_cast<size_t>(stored);
  const size_t nameLength = static_cast<uint8_t>(file[place.directory]);
  place.numbers = place.directory + 1 + nameLength;
  const int32_t position = static_cast<int32_t>(Le32At(file, place.numbers));
  place.data = position < 0 ? size + position : static_cast<size_t>(position);
  place.packedSize = Le32At(file, place.numbers + 4);
  return place;
}

using Damage = std::function<void(std::string&)>;

struct HostileRun {
  const char* label;
  std::string scene;       // test.pvs; "" writes an empty file
  std::string textureName;  // a texture written to media/ (empty: none)
  std::string texture;
  Damage archiveDamage;    // packs "packed.png" into the program, then damages it
  const char* stderrHas;   // a diagnostic line expected on standard error
};

std::string ShippedTexture() { return ReadWholeFile(kSourceDir + "/data/media/bricks.png"); }

// A BMP header claiming a side beyond what a sprite can describe.
std::string OversizedBmp() {
  std::string bmp(54 + 12, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLe32(bmp, 10, 54);
  PutLe32(bmp, 14, 40);
  PutLe32(bmp, 18, 40000);
  PutLe32(bmp, 22, 1);
  bmp[26] = 1;
  bmp[28] = 24;
  return bmp;
}

ChildResult RunPolyvane(const HostileRun& run, TempDir& dir,
                        const std::vector<std::string>& args = {"--frames", "3"}) {
  fs::copy_file(kBinaryDir + "/polyvane", dir.File("polyvane"));
  fs::create_directories(dir.File("media"));
  fs::create_directories(dir.File("tmp"));
  WriteWholeFile(dir.File("test.pvs"), run.scene);
  if (!run.textureName.empty()) WriteWholeFile(dir.File("media/" + run.textureName), run.texture);
  if (run.archiveDamage) {
    WriteWholeFile(dir.File("packed.png"), ShippedTexture());
    const ChildResult pack = testing_support::RunProgram(
        kBinaryDir + "/vlmpack", {"add", dir.File("polyvane"), dir.File("packed.png")}, dir.File("tmp/"));
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
    fs::remove(dir.File("packed.png"));
    std::string program = ReadWholeFile(dir.File("polyvane"));
    run.archiveDamage(program);
    WriteWholeFile(dir.File("polyvane"), program);
    fs::permissions(dir.File("polyvane"), fs::perms::owner_all);
  }
  return testing_support::RunProgram(dir.File("polyvane"), args, dir.File("tmp/"),
                                     {"SDL_VIDEODRIVER=offscreen", "DISPLAY="}, dir.path(), 90);
}

std::string Texture(const std::string& name) { return "1\n" + name + "\n0\n"; }

std::vector<HostileRun> Runs() {
  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
  const std::string png = ShippedTexture();
  return {
      {"garbage scene", garbage, "", "", nullptr, nullptr},
      {"empty scene", "", "", "", nullptr, nullptr},
      {"50 MB scene", "2\n" + std::string(50u << 20, 'A') + "\n", "", "", nullptr, nullptr},
      {"non-numeric scene", "many\nsome.png\nfew\nbox\n", "", "", nullptr, nullptr},
      {"NaN counts", "nan\nnan\n", "", "", nullptr, nullptr},
      {"1e308 counts", "1e308\na.png\n1e308\n", "", "", nullptr, nullptr},
      {"-1e308 counts", "-1e308\n-1e308\n", "", "", nullptr, nullptr},
      {"infinite counts", "inf\n-inf\n", "", "", nullptr, nullptr},
      {"negative counts", "-3\n-7\n", "", "", nullptr, nullptr},
      {"1e9 textures, then the end", "1e9\nx.png\ny.png\n", "", "", nullptr, nullptr},
      {"missing texture", Texture("none.png"), "", "", nullptr, "Picture not loaded: media/none.png: not found"},
      {"truncated texture", Texture("cut.png"), "cut.png", png.substr(0, png.size() / 2), nullptr,
       "Picture not loaded: media/cut.png: truncated"},
      {"mislabelled texture", Texture("text.png"), "text.png", "plain text, not a picture", nullptr,
       "Picture not loaded: media/text.png: not a PNG, BMP or JPEG"},
      {"oversized texture", Texture("huge.bmp"), "huge.bmp", OversizedBmp(), nullptr,
       "Picture not loaded: media/huge.bmp: too large"},
      {"archive trailer", Texture("packed.png"), "", "", [](std::string& f) { f[f.size() - 7] = 'x'; },
       "Picture not loaded: media/packed.png: not found"},
      {"archive sizes", Texture("packed.png"), "", "",
       [](std::string& f) { PutLe32(f, OnlyEntry(f).numbers + 4, 0x7FFFFFF0u); },
       "Picture not loaded: media/packed.png: archive entry damaged"},
      {"archive offsets", Texture("packed.png"), "", "",
       [](std::string& f) { PutLe32(f, OnlyEntry(f).numbers, 0x80000010u); },
       "Picture not loaded: media/packed.png: archive entry damaged"},
      {"archive unpacked size", Texture("packed.png"), "", "",
       [](std::string& f) { PutLe32(f, OnlyEntry(f).data, 0xFFFFFFF0u); },
       "Picture not loaded: media/packed.png: archive entry damaged"},
      {"archive compressed body", Texture("packed.png"), "", "",
       [](std::string& f) {
         const EntryPlace e = OnlyEntry(f);
         for (size_t i = e.data + 8; i < e.data + e.packedSize; i += 3) f[i] = static_cast<char>(~f[i]);
       },
       "Picture not loaded: media/packed.png"},
  };
}

TEST(HostileRuns, EveryRunEndsThroughEnd) {
  for (const HostileRun& run : Runs()) {
    TempDir dir;
    const ChildResult result = RunPolyvane(run, dir);
    EXPECT_EQ(result.signal, 0) << run.label;
    const size_t report = result.runLog.find("-End On Line\n");
    EXPECT_NE(report, std::string::npos) << run.label << "\n" << result.runLog;
    // The frame count ends the run with error 0 and status 0; any other end
    // is a failure the program could not go on from, and its status says so.
    const bool ordinary = report != std::string::npos && result.runLog.compare(report + 13, 2, "0\n") == 0;
    EXPECT_EQ(result.exitCode, ordinary ? 0 : 1) << run.label << "\n" << result.err.substr(0, 2000);
    if (run.stderrHas != nullptr) {
      EXPECT_NE(result.err.find(run.stderrHas), std::string::npos) << run.label << "\n" << result.err.substr(0, 2000);
    }
  }
}

// A side x side PNG of two palette colours at one bit per pixel, so that it
// is made in a moment and stays small on the disk: colour 0 everywhere but
// for a band across the middle in colour 1.
std::string TwoColourPng(uint32_t side, const uint8_t colours[6]) {
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(crc));
  };
  std::string header = be32(side) + be32(side);
  header += {1, 3, 0, 0, 0};  // 1 bit, palette
  std::string idat;
  z_stream z{};
  deflateInit(&z, 1);
  const size_t rowBytes = 1 + (side + 7) / 8;
  std::vector<uint8_t> plain(rowBytes, 0), band(rowBytes, 0xFF), out(1 << 16);
  plain[0] = band[0] = 0;  // no filter
  for (uint32_t y = 0; y < side; ++y) {
    std::vector<uint8_t>& row = y >= side / 2 - side / 20 && y < side / 2 + side / 20 ? band : plain;
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    const int flush = y + 1 == side ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      idat.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
    } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
  }
  deflateEnd(&z);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
         chunk("PLTE", std::string(reinterpret_cast<const char*>(colours), 6)) + chunk("IDAT", idat) +
         chunk("IEND", "");
}

// A 30000 x 30000 texture (reduced to the 16384 limit while it is decoded)
// on the floor of the scene: the program shows it and ends as usual, and
// its peak memory stays near what the texture and its mip-mapped companion
// need, not near several copies of the picture.
TEST(HostileRuns, A30000SquareTextureLoadsWithinItsMemory) {
  const uint8_t colours[6] = {0x33, 0x66, 0x99, 0xE0, 0xC0, 0x20};
  app_test::SceneObject floor;
  floor.type = 5;
  floor.rot[1] = 0;
  floor.scale[0] = floor.scale[2] = 30;
  floor.pos[1] = -2;
  floor.texture = 1;
  const HostileRun run{"30000 x 30000 texture", app_test::SceneText({"huge.png"}, {floor}), "huge.png",
                       TwoColourPng(30000, colours), nullptr, nullptr};
  TempDir dir;
  const std::string shot = dir.File("shot.png");
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  const ChildResult result = RunPolyvane(run, dir, {"--frames", "3", "--screenshot", shot});
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err.substr(0, 2000);
  EXPECT_NE(result.runLog.find("-End On Line\n0\n"), std::string::npos) << result.runLog;
  // The largest child so far is this one (the others load small pictures).
  ASSERT_GT(after.ru_maxrss, before.ru_maxrss) << "the run's peak was not measured";
  const double peakMiB = after.ru_maxrss / 1024.0;
  // The companion alone (16384 x 16384 with its levels) is 1365 MiB; the
  // program around it about a hundred more. Holding the reduced picture,
  // a copy of the texture or a second texture besides would pass 2 GiB.
  EXPECT_GT(peakMiB, 1300.0) << "the texture was not made at its size";
  EXPECT_LT(peakMiB, 1800.0);
  testing_support::Image image;
  ASSERT_TRUE(image.Load(shot));
  const auto textureColour = [](testing_support::Rgb c) { return testing_support::Near(c, 0x33, 0x66, 0x99, 8); };
  EXPECT_GT(image.Count(textureColour), 20000) << "the textured floor";
}

// A sound archive entry loads (the damage above is what makes those runs fail).
TEST(HostileRuns, AnUndamagedArchiveEntryLoadsQuietly) {
  TempDir dir;
  const HostileRun run{"archive", Texture("packed.png"), "", "", [](std::string&) {}, nullptr};
  const ChildResult result = RunPolyvane(run, dir);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.runLog.find("-End On Line"), std::string::npos);
  EXPECT_EQ(result.err.find("Picture not loaded"), std::string::npos) << result.err.substr(0, 2000);
}

}  // namespace
