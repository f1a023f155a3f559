// The archive packer: entries packed with LZO1X-1 come back bit-exact,
// appending keeps or replaces earlier entries, and a real program reads the
// archive appended to its own executable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

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

// A run of the real packer with its own peak memory: what it printed, how
// it ended, and whether it had to be killed at the deadline.
struct ToolRun {
  int exitCode = -1;
  int signal = 0;
  bool killed = false;
  long peakKiB = 0;
  std::string err;
};

std::string Tool() { return std::string(VELMORA_BINARY_DIR) + "/vlmpack"; }

// inChild runs in the child before the packer starts (to set its limits).
ToolRun RunTool(const std::vector<std::string>& args, int deadlineSeconds = 20,
                const std::function<void()>& inChild = nullptr) {
  testing_support::TempDir out;
  const std::string errPath = out.File("stderr.txt");
  const std::string tool = Tool();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(tool.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(errPath.c_str(), "w", stderr) || !freopen("/dev/null", "w", stdout)) _exit(126);
    if (inChild) inChild();
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  ToolRun run;
  if (pid < 0) return run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(deadlineSeconds);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, WNOHANG, &usage) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      run.killed = true;
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.peakKiB = usage.ru_maxrss;
  run.err = ReadWholeFile(errPath);
  return run;
}

// A file of that size that takes no disk space: it reads as zeros.
void Sparse(const std::string& path, uintmax_t size) {
  std::ofstream(path).close();
  fs::resize_file(path, size);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
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

  // NAME=FILE names an entry, unless a file of that whole name exists.
  WriteWholeFile(dir.File("media/k=v.txt"), "kv");
  auto add = RunProgram(tool, {"add", game, dir.File("media/hello.txt"), "BLOB.DAT=" + dir.File("media/data.bin"),
                               dir.File("media/k=v.txt")},
                        dir.path());
  ASSERT_EQ(add.exitCode, 0) << add.err;
  auto list = RunProgram(tool, {"list", game}, dir.path());
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_NE(list.out.find("hello.txt\t"), std::string::npos);
  EXPECT_NE(list.out.find("BLOB.DAT\t"), std::string::npos);
  EXPECT_NE(list.out.find("\nk=v.txt\t"), std::string::npos) << list.out;
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

// Inputs the packer must turn down, each through the real program: refused
// with a message, at once and in little memory, the target as it was. A FIFO
// used to hold it forever, a folder or a huge sparse file to end it with
// bad_alloc, a 3 GB file to be read whole before it was found too large.
TEST(Packer, RefusesHostileInputsQuicklyAndInLittleMemory) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  const ToolRun idle = RunTool({"list", host});  // what the program takes doing nothing
  ASSERT_EQ(idle.exitCode, 1) << idle.err;
  ASSERT_GT(idle.peakKiB, 0) << "the peak memory was not measured";
  struct Case {
    const char* what;
    std::function<std::string()> make;  // makes the input, returns the argument
    const char* message;
  };
  const Case cases[] = {
      {"FIFO",
       [&] {
         mkfifo(dir.File("fifo").c_str(), 0600);
         return dir.File("fifo");
       },
       ": not a regular file"},
      {"folder",
       [&] {
         fs::create_directories(dir.File("folder"));
         return dir.File("folder");
       },
       ": a folder"},
      {"missing file", [&] { return dir.File("missing"); }, "cannot read "},
      {"100 GB sparse file",
       [&] {
         Sparse(dir.File("huge"), 100ull << 30);
         return dir.File("huge");
       },
       "too large for an entry"},
      {"3 GB sparse file",
       [&] {
         Sparse(dir.File("big"), 3ull << 30);
         return dir.File("big");
       },
       "too large for an entry"},
      {"one byte past the largest entry",
       [&] {
         Sparse(dir.File("over"), (512ull << 20) + 1);
         return dir.File("over");
       },
       "too large for an entry"},
      {"line feed in the name", [&] { return "a\nb.txt=" + dir.File("x"); }, "bad entry name: \"a?b.txt\""},
      {"carriage return in the name", [&] { return "a\rb.txt=" + dir.File("x"); }, "bad entry name"},
      {"tab in the name", [&] { return "a\tb.txt=" + dir.File("x"); }, "bad entry name"},
  };
  WriteWholeFile(dir.File("x"), "x");
  for (const Case& c : cases) {
    const std::string argument = c.make();
    const ToolRun run = RunTool({"add", host, dir.File("x"), argument});
    EXPECT_FALSE(run.killed) << c.what << ": still running at the deadline";
    EXPECT_EQ(run.exitCode, 1) << c.what << ", signal " << run.signal << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_LT(run.peakKiB, idle.peakKiB + 16 * 1024) << c.what;
    EXPECT_EQ(ReadWholeFile(host), "program") << c.what;
  }
  EXPECT_EQ(FolderNames(dir.path()),
            (std::vector<std::string>{"big", "fifo", "folder", "host", "huge", "over", "x"}));
}

// The largest entry the runtime unpacks is still packed.
TEST(Packer, TheLargestEntryIsPacked) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  Sparse(dir.File("largest"), 512ull << 20);
  const ToolRun run = RunTool({"add", host, dir.File("largest")}, 60);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // The input is held whole, and its stored form only as far as it fills.
  EXPECT_GT(run.peakKiB, 512 * 1024);
#if defined(__SANITIZE_ADDRESS__)
  // The address sanitizer keeps a shadow byte for every 8 bytes the packer
  // touches, and its own start-up memory comes on top of the packer's.
  const ToolRun idle = RunTool({"list", host});
  ASSERT_GT(idle.peakKiB, 0) << "the peak memory was not measured";
  EXPECT_LT(run.peakKiB, idle.peakKiB + 576 * 1024 / 8 * 9);
#else
  EXPECT_LT(run.peakKiB, 576 * 1024);
#endif
  const auto entries = Entries(host);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "largest");
  // Zeros pack about 225 to 1: some 2.3 MB.
  EXPECT_GT(entries[0].packedSize, (512u << 20) / 256);
  EXPECT_LT(entries[0].packedSize, (512u << 20) / 128);
}

// Entries that could not fit in the 2 GiB an archive addresses are refused
// from their sizes, before any is read: 3,000 sparse files of 256 MiB would
// need at least 3 GB stored, and reading them would take hours.
TEST(Packer, TooMuchForTheArchiveIsRefusedBeforeAnythingIsRead) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  std::vector<std::string> args = {"add", host};
  for (int i = 0; i < 3000; ++i) {
    const std::string path = dir.File("e" + std::to_string(i));
    Sparse(path, 256ull << 20);
    args.push_back(path);
  }
  // Measured after the inputs were made: a child's peak starts from this
  // process as it was when it started (under the address sanitizer the
  // memory freed while making them is held back, some 40 MB).
  const ToolRun idle = RunTool({"list", host});
  ASSERT_GT(idle.peakKiB, 0) << "the peak memory was not measured";
  const ToolRun run = RunTool(args);
  EXPECT_FALSE(run.killed) << "still running at the deadline";
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("would exceed 2 GiB"), std::string::npos) << run.err;
  EXPECT_LT(run.peakKiB, idle.peakKiB + 16 * 1024);
  EXPECT_EQ(ReadWholeFile(host), "program");
  EXPECT_EQ(FolderNames(dir.path()).size(), 3001u);
}

// Entries go into the new file as they are packed, and kept entries are
// copied piece by piece: the packer holds one input at a time, not them all.
TEST(Packer, EntriesAreStreamedIntoTheArchive) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  const std::string host = dir.File("host");
  WriteWholeFile(host, "program");
  constexpr int kEntries = 16;
  constexpr size_t kEntrySize = 4 << 20;
  std::vector<std::string> args = {"add", host};
  for (int i = 0; i < kEntries; ++i) {
    const std::string path = dir.File("n" + std::to_string(i));
    WriteWholeFile(path, Incompressible(kEntrySize - i));
    args.push_back(path);
  }
  const ToolRun idle = RunTool({"list", host});
  ASSERT_GT(idle.peakKiB, 0) << "the peak memory was not measured";
  const ToolRun first = RunTool(args);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  // One input and its packed form at a time (8 MiB), far from the 64 MiB of
  // all of them. (A child's peak counts from the copy of this process it
  // started as, so only the peak above that is the packer's.)
  EXPECT_LT(first.peakKiB, idle.peakKiB + 24 * 1024);
  WriteWholeFile(dir.File("small"), "small");
  const ToolRun second = RunTool({"add", host, dir.File("small")});
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_LT(second.peakKiB, idle.peakKiB + 8 * 1024);
  const auto entries = Entries(host);
  ASSERT_EQ(entries.size(), static_cast<size_t>(kEntries + 1));
  EXPECT_EQ(Unpack(host, "n7"), Incompressible(kEntrySize - 7));
  EXPECT_EQ(Unpack(host, "small"), "small");
}

// The target is replaced like every other save: through a link to the file
// it leads to, with its permissions, and not at all when nobody may write it.
TEST(Packer, TheTargetIsReplacedLikeASave) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  WriteWholeFile(dir.File("x"), "x");
  const std::string real = dir.File("real");
  WriteWholeFile(real, "program");
  ASSERT_EQ(chmod(real.c_str(), 0750), 0);
  fs::create_symlink("real", dir.File("link"));
  ToolRun run = RunTool({"add", dir.File("link"), dir.File("x")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir.File("link")));
  EXPECT_EQ(Unpack(real, "x"), "x");
  struct stat info {};
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0750u);

  ASSERT_EQ(chmod(real.c_str(), 0555), 0);
  const std::string before = ReadWholeFile(real);
  WriteWholeFile(dir.File("y"), "y");
  run = RunTool({"add", dir.File("link"), dir.File("y")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("may not be written"), std::string::npos) << run.err;
  EXPECT_EQ(ReadWholeFile(real), before);
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"link", "real", "x", "y"}));
}

// The least an entry of n bytes can be stored in: the reader takes more
// than 256 bytes per stored byte (and 256 more) for damage, so no entry is
// smaller than its 4-byte size and one byte per 256 bytes past the first 256.
// The sizes decide on their own: at 2 GiB less one byte the request goes on
// (here to the read-only target, which is refused), one byte more is too much.
TEST(Packer, TheLeastTheEntriesNeedIsCountedToTheByte) {
  TempFolder dir;
  const auto least = [](int64_t size) { return 4 + (size > 256 ? (size - 256 + 255) / 256 : 0); };
  std::vector<ArchiveInput> inputs;
  int64_t total = 1 + 7;  // the directory's end, the trailer
  for (const int64_t size : {0, 1, 256, 257, 512, 513}) {  // where the count steps, then the largest
    const std::string name = "e" + std::to_string(inputs.size());
    Sparse(dir.File(name), static_cast<uintmax_t>(size));
    inputs.push_back({name, dir.File(name)});
    total += 1 + static_cast<int64_t>(name.size()) + 8 + least(size);
  }
  for (int i = 0; total + least(512 << 20) + 20 < INT32_MAX; ++i) {
    const std::string name = "L" + std::to_string(i);
    if (i == 0) Sparse(dir.File(name), 512u << 20);
    else fs::create_hard_link(dir.File("L0"), dir.File(name));
    inputs.push_back({name, dir.File(name)});
    total += 1 + static_cast<int64_t>(name.size()) + 8 + least(512 << 20);
  }
  // The program before the archive takes up the rest to 2 GiB less one byte.
  const std::string host = dir.File("host");
  Sparse(host, static_cast<uintmax_t>(INT32_MAX - total));
  ASSERT_EQ(chmod(host.c_str(), 0444), 0);
  std::string error;
  EXPECT_FALSE(AppendToArchive(host.c_str(), inputs, &error));
  EXPECT_NE(error.find("cannot replace " + host), std::string::npos) << error;
  // 256 bytes more in the 513-byte entry need one stored byte more.
  fs::resize_file(inputs[5].path, 513 + 256);
  EXPECT_FALSE(AppendToArchive(host.c_str(), inputs, &error));
  EXPECT_NE(error.find("would exceed 2 GiB"), std::string::npos) << error;
  // And 255 more need none.
  fs::resize_file(inputs[5].path, 513 + 255);
  EXPECT_FALSE(AppendToArchive(host.c_str(), inputs, &error));
  EXPECT_NE(error.find("cannot replace " + host), std::string::npos) << error;
  EXPECT_EQ(fs::file_size(host), static_cast<uintmax_t>(INT32_MAX - total));
}

// While packing, the room checked for an entry is what the entries after it
// still need at least, not the entries already written: with the real stored
// form of the first entry the archive ends at 2 GiB less one byte exactly,
// and the rest (a thousand sparse inputs) need at least what is left. The
// first entry is then written (here into a file limit of the host's size, so
// the write fails and nothing after it is read); one byte more in the host
// and it is refused before it is written.
TEST(Packer, EachEntryIsCheckedAgainstWhatIsStillToCome) {
  ASSERT_TRUE(fs::exists(Tool())) << "build the vlmpack target first";
  TempFolder dir;
  const std::string first = dir.File("first");
  // Over the writer's 64 KiB buffer, so its stored form goes to the file at once.
  WriteWholeFile(first, Incompressible(96 << 10));
  const std::string probe = dir.File("probe");
  WriteWholeFile(probe, "");
  ASSERT_EQ(RunTool({"add", probe, first}).exitCode, 0);
  const auto probed = Entries(probe);
  ASSERT_EQ(probed.size(), 1u);
  const int64_t stored = probed[0].packedSize;
  fs::remove(probe);

  const auto least = [](int64_t size) { return 4 + (size > 256 ? (size - 256 + 255) / 256 : 0); };
  const auto listed = [](const std::string& name) { return 1 + static_cast<int64_t>(name.size()) + 8; };
  constexpr int64_t kLargest = 512 << 20;
  constexpr int64_t kHostAtLeast = 64 << 10;  // room for the packer's message in the same file limit
  const std::string host = dir.File("host");
  std::vector<std::string> args = {"add", host, first};
  int64_t total = 1 + 7 + listed("first") + stored;  // the directory's end, the trailer
  for (int i = 0;; ++i) {
    const std::string name = "L" + std::to_string(i);
    if (total + listed(name) + least(kLargest) + listed("rest") + 4 + kHostAtLeast > INT32_MAX) break;
    if (i == 0) Sparse(dir.File(name), kLargest);
    else fs::create_hard_link(dir.File("L0"), dir.File(name));
    args.push_back(dir.File(name));
    total += listed(name) + least(kLargest);
  }
  // One input whose least takes what is left but the host's share.
  const int64_t restLeast = std::min(INT32_MAX - total - listed("rest") - kHostAtLeast, least(kLargest));
  ASSERT_GE(restLeast, 4);
  const int64_t restSize = 256 + (restLeast - 4) * 256;
  ASSERT_EQ(least(restSize), restLeast);
  Sparse(dir.File("rest"), static_cast<uintmax_t>(restSize));
  args.push_back(dir.File("rest"));
  total += listed("rest") + restLeast;
  const int64_t hostSize = INT32_MAX - total;
  ASSERT_GE(hostSize, kHostAtLeast);
  ASSERT_LT(hostSize, 4 << 20);
  const size_t files = FolderNames(dir.path()).size() + 1;

  for (const int64_t extra : {0, 1}) {
    WriteWholeFile(host, std::string(static_cast<size_t>(hostSize + extra), 'p'));
    const rlim_t limit = static_cast<rlim_t>(hostSize + extra);
    const ToolRun run = RunTool(args, 20, [limit] {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit fileSize{limit, limit};
      setrlimit(RLIMIT_FSIZE, &fileSize);
    });
    EXPECT_FALSE(run.killed) << extra << ": still running at the deadline";
    EXPECT_EQ(run.exitCode, 1) << extra << ", signal " << run.signal << ": " << run.err;
    const std::string expected = extra == 0 ? "cannot write beside " + host : "would exceed 2 GiB";
    EXPECT_NE(run.err.find(expected), std::string::npos) << extra << ": " << run.err;
    EXPECT_EQ(fs::file_size(host), static_cast<uintmax_t>(hostSize + extra)) << extra;
    EXPECT_EQ(FolderNames(dir.path()).size(), files) << extra << ": the temporary file was left behind";
  }
}
