// The archive packer: entries packed with LZO1X-1 come back bit-exact,
// appending keeps or replaces earlier entries, and a real program reads the
// archive appended to its own executable.
#include <gtest/gtest.h>

#include <filesystem>

#include "files_test_util.h"

namespace fs = std::filesystem;
using files_test::AddEntries;
using files_test::Pattern;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::RunProgram;
using testing_support::WriteWholeFile;

namespace {

std::vector<ArchiveEntry> Entries(const std::string& path, ArchiveStatus* status = nullptr) {
  ReadChannel channel;
  std::vector<ArchiveEntry> entries;
  if (!OpenReadChannel(channel, path.c_str())) return entries;
  const ArchiveStatus result = ListArchive(channel, &entries);
  if (status != nullptr) *status = result;
  CloseChannel(channel);
  return entries;
}

std::string Unpack(const std::string& path, const std::string& name) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, path.c_str())) return "<no open>";
  ArchiveEntry entry;
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
  std::string result = "<missing>";
  if (FindArchiveEntry(channel, name.c_str(), &entry) == ArchiveStatus::Ok) {
    result = UnpackArchiveEntry(channel, entry, &data, &size)
                 ? std::string(reinterpret_cast<char*>(data.get()), size)
                 : "<damaged>";
  }
  CloseChannel(channel);
  return result;
}

std::string Incompressible(size_t size) {
  std::string text(size, '\0');
  uint64_t state = 88172645463325252ull;
  for (char& c : text) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    c = static_cast<char>(state);
  }
  return text;
}

}  // namespace

TEST(Packer, EntriesComeBackBitExact) {
  TempFolder dir;
  const std::string host = dir.File("host");
  const std::string prefix = Pattern(777, 9);
  WriteWholeFile(host, prefix);
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"empty.bin", ""},
      {"one.bin", "x"},
      {"zeros.bin", std::string(3 << 20, '\0')},  // LZO's best ratio
      {"noise.bin", Incompressible(200000)},      // grows a little when packed
      {"mixed.bin", Pattern(500000, 4)},
  };
  ASSERT_TRUE(AddEntries(dir.path(), host, entries));
  for (const auto& [name, bytes] : entries) EXPECT_EQ(Unpack(host, name), bytes) << name;
  // The program's own bytes stay in front.
  EXPECT_EQ(ReadWholeFile(host).substr(0, prefix.size()), prefix);
  const auto listed = Entries(host);
  ASSERT_EQ(listed.size(), entries.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, entries[i].first);
    EXPECT_LT(listed[i].storedPosition, 0);  // positions count from the end
  }
}

TEST(Packer, AppendingKeepsOrReplacesEntries) {
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"a.txt", "old a"}, {"b.txt", "old b"}}));
  const auto firstSize = fs::file_size(host);
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"A.TXT", "new a"}, {"c.txt", "c"}}));
  const auto entries = Entries(host);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "b.txt");
  EXPECT_EQ(entries[1].name, "A.TXT");
  EXPECT_EQ(Unpack(host, "a.txt"), "new a");
  EXPECT_EQ(Unpack(host, "b.txt"), "old b");
  EXPECT_EQ(Unpack(host, "c.txt"), "c");
  // The old archive was rebuilt, not left behind as dead bytes.
  EXPECT_LT(fs::file_size(host), firstSize + 100);
  EXPECT_EQ(ReadWholeFile(host).substr(0, 7), "program");
}

TEST(Packer, ForeignLayoutIsKeptAndStillReadable) {
  TempFolder dir;
  // An archive written with positions from the start and a gap between the
  // entry data and the directory: the packer must not cut anything away.
  std::vector<uint8_t> packed;
  const std::string body = "entry written by another tool";
  ASSERT_TRUE(PackEntryData(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &packed));
  std::string file = "HOST";
  const int32_t position = static_cast<int32_t>(file.size());
  file.append(reinterpret_cast<const char*>(packed.data()), packed.size());
  file += "GAP!";
  const int32_t directory = static_cast<int32_t>(file.size());
  auto put32 = [&file](uint32_t value) {
    for (int i = 0; i < 4; ++i) file += static_cast<char>(value >> (8 * i));
  };
  file += static_cast<char>(5);
  file += "f.txt";
  put32(static_cast<uint32_t>(position));
  put32(static_cast<uint32_t>(packed.size()));
  file += '\0';
  file += "sbX";
  put32(static_cast<uint32_t>(directory));
  const std::string host = dir.File("host");
  WriteWholeFile(host, file);
  EXPECT_EQ(Unpack(host, "F.TXT"), body);
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"g.txt", "new"}}));
  EXPECT_EQ(ReadWholeFile(host).substr(0, file.size()), file);
  EXPECT_EQ(Unpack(host, "f.txt"), body);
  EXPECT_EQ(Unpack(host, "g.txt"), "new");
}

TEST(Packer, RefusesBadRequestsAndLeavesTheTargetAlone) {
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  WriteWholeFile(dir.File("x"), "x");
  std::string error;
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{"media/x", dir.File("x")}}, &error));
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{"", dir.File("x")}}, &error));
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{std::string(256, 'n'), dir.File("x")}}, &error));
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{"x", dir.File("x")}, {"X", dir.File("x")}}, &error));
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{"y", dir.File("missing")}}, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_FALSE(AppendToArchive(dir.File("no-target").c_str(), {{"x", dir.File("x")}}, &error));
  EXPECT_EQ(ReadWholeFile(host), "program");

  // A damaged directory is refused rather than rebuilt from guesses.
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"a", "a"}}));
  std::string bytes = ReadWholeFile(host);
  bytes[bytes.size() - 7 - 1 - 1] = 0x7F;  // S's high byte: data past the file
  WriteWholeFile(host, bytes);
  EXPECT_FALSE(AppendToArchive(host.c_str(), {{"x", dir.File("x")}}, &error));
  EXPECT_EQ(ReadWholeFile(host), bytes);
}

TEST(Packer, ToolAppendsToARealProgramThatReadsItsOwnArchive) {
  const std::string tool = std::string(VELMORA_BINARY_DIR) + "/vlmpack";
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/files_self_archive";
  ASSERT_TRUE(fs::exists(tool)) << "build the vlmpack target first";
  ASSERT_TRUE(fs::exists(program));
  TempFolder dir;
  const std::string game = dir.File("game");
  fs::copy_file(program, game);
  fs::create_directories(dir.File("media"));
  WriteWholeFile(dir.File("media/hello.txt"), "first line\r\nsecond line\r\n");
  const std::string binary = Pattern(300000, 11);
  WriteWholeFile(dir.File("media/data.bin"), binary);

  auto help = RunProgram(tool, {"--help"}, dir.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("vlmpack add TARGET FILE"), std::string::npos);
  EXPECT_EQ(RunProgram(tool, {"add", game}, dir.path()).exitCode, 2);

  auto add = RunProgram(tool, {"add", game, dir.File("media/hello.txt"), "BLOB.DAT=" + dir.File("media/data.bin")},
                        dir.path());
  ASSERT_EQ(add.exitCode, 0) << add.err;
  auto list = RunProgram(tool, {"list", game}, dir.path());
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_NE(list.out.find("hello.txt\t"), std::string::npos);
  EXPECT_NE(list.out.find("BLOB.DAT\t"), std::string::npos);
  EXPECT_NE(list.out.find("\t300000\n"), std::string::npos);

  // The copied program runs with the archive on its end and finds both
  // entries by base name, in another letter case, through the file commands.
  const std::string copy = dir.File("copy.bin");
  auto run = RunProgram(game, {"Media/HELLO.txt", "media\\blob.dat", copy}, dir.path(), {}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "line: first line\nline: second line\n");
  EXPECT_TRUE(ReadWholeFile(copy) == binary);

  // Adding again replaces hello.txt and keeps the blob.
  WriteWholeFile(dir.File("hello.txt"), "replaced\n");
  ASSERT_EQ(RunProgram(tool, {"add", game, dir.File("hello.txt")}, dir.path()).exitCode, 0);
  run = RunProgram(game, {"hello.txt", "blob.dat", copy}, dir.path(), {}, dir.path());
  EXPECT_EQ(run.out, "line: replaced\n");
  EXPECT_TRUE(ReadWholeFile(copy) == binary);
  const std::string extracted = dir.File("extracted.bin");
  EXPECT_EQ(RunProgram(tool, {"extract", game, "blob.dat", extracted}, dir.path()).exitCode, 0);
  EXPECT_TRUE(ReadWholeFile(extracted) == binary);

  auto missing = RunProgram(game, {"nothing.txt"}, dir.path(), {}, dir.path());
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "cannot open nothing.txt: error 3\n");
}
