// Writing back the INI and line-file stores: failures keep the old file, and
// line files keep what a program cannot address. Saves of whole files (the
// stores, SavePicture) follow links and keep permissions.
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "files/files.h"
#include "files/read_channel.h"
#include "files_test_util.h"
#include "gfx2d/picture.h"
#include "support/small_disk.h"

namespace fs = std::filesystem;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::RunInChild;
using testing_support::SmallDisk;
using testing_support::WriteWholeFile;

namespace {

constexpr int kNoFilter = 77;  // the child could not install its filter

// Makes the kernel refuse the given system calls with EIO in this process
// from now on (it cannot be undone, so only children call it).
bool RefuseSystemCalls(const std::vector<int>& calls) {
  std::vector<sock_filter> program;
  program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  for (size_t i = 0; i < calls.size(); ++i) {
    // On a match jump to the refusal after the remaining tests and the allow.
    const auto skip = static_cast<unsigned char>(calls.size() - i);
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(calls[i]), skip, 0));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO));
  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// A store with a file on disk, changed in memory and not yet written back.
struct StoreCase {
  const char* name;
  std::string old;                                  // the file as it is on disk
  std::function<void(const std::string&)> change;  // loads the file and changes it
  std::function<void(const std::string&)> writeBack;
};

std::vector<StoreCase> StoreCases(const std::string& big) {
  const auto changeLines = [big](const std::string& path) {
    WriteFileLine(path.c_str(), 1, "ONE");
    for (int line = 3; line < 256; ++line) WriteFileLine(path.c_str(), line, big.substr(0, 1024).c_str());
  };
  return {
      {"ini", "[Video]\r\nwidth=640\r\n",
       [big](const std::string& path) {
         IniOpen(path.c_str());
         IniPut("Video", "width", "800");
         IniPut("Video", "big", big.c_str());
       },
       [](const std::string&) { IniOpen(""); }},
      {"lines", "zero\r\none\r\ntwo\r\n", changeLines, [](const std::string&) { FlushFileStores(); }},
      // Writing a line of another file writes the first one back; its
      // failure must not be hidden by the new file being no error.
      {"lines, then another file", "zero\r\none\r\ntwo\r\n", changeLines,
       [](const std::string& path) { WriteFileLine((path + "-other").c_str(), 0, "x"); }},
  };
}
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(WriteBack, AFailedStepKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string big(4096, 'b');
  const std::pair<const char*, std::vector<int>> failures[] = {
      {"rename", {SYS_rename, SYS_renameat, SYS_renameat2}},
      {"flush", {SYS_fsync, SYS_fdatasync}},
      {"write", {SYS_write, SYS_pwrite64, SYS_writev, SYS_pwritev}},
  };
  for (const StoreCase& store : StoreCases(big)) {
    for (const auto& [what, calls] : failures) {
      TempFolder dir;
      const std::string path = dir.File("store.txt");
      WriteWholeFile(path, store.old);
      const auto result = RunInChild([&] {
        store.change(path);
        if (!RefuseSystemCalls(calls)) _exit(kNoFilter);
        store.writeBack(path);
        _exit(LastErrorCode);
      });
      if (result.exitCode == kNoFilter) GTEST_SKIP() << "system calls cannot be filtered here";
      EXPECT_EQ(result.exitCode, kErrorNoSuchFile) << store.name << " " << what;
      EXPECT_EQ(ReadWholeFile(path), store.old) << store.name << " with a failing " << what;
      EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"store.txt"}) << store.name << " " << what;
    }
    // Without a failure the same change reaches the file.
    TempFolder dir;
    const std::string path = dir.File("store.txt");
    WriteWholeFile(path, store.old);
    const auto result = RunInChild([&] {
      store.change(path);
      store.writeBack(path);
      _exit(LastErrorCode);
    });
    EXPECT_EQ(result.exitCode, 0) << store.name;
    const std::string now = ReadWholeFile(path);
    EXPECT_NE(now, store.old) << store.name;
    EXPECT_NE(now.find(big.substr(0, 1024)), std::string::npos) << store.name;
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"store.txt"}) << store.name;
  }
}

TEST(WriteBack, AFullDiskKeepsTheOldFile) {
  TempFolder dir;
  SmallDisk disk(dir.File("disk"));
  if (!disk.mounted()) GTEST_SKIP() << testing_support::kNoSmallDisk;
  const std::string path = dir.File("disk/store.txt");
  // 64 KiB of new contents cannot fit on a 16 KiB disk.
  const std::string big(64 * 1024, 'b');
  for (const StoreCase& store : StoreCases(big)) {
    WriteWholeFile(path, store.old);
    const auto result = RunInChild([&] {
      store.change(path);
      store.writeBack(path);
      _exit(LastErrorCode);
    });
    EXPECT_EQ(result.exitCode, kErrorNoSuchFile) << store.name;
    EXPECT_NE(result.runLog.find("Cannot write " + path + "\n"), std::string::npos)
        << store.name << ": " << result.runLog;
    EXPECT_EQ(ReadWholeFile(path), store.old) << store.name;
    EXPECT_EQ(FolderNames(dir.File("disk")), std::vector<std::string>{"store.txt"}) << store.name;
  }
  // The disk itself works: a change that fits is written.
  WriteWholeFile(path, "[A]\r\nk=1\r\n");
  IniOpen(path.c_str());
  IniPut("A", "k", "2");
  IniOpen("");
  EXPECT_EQ(ReadWholeFile(path), "[A]\r\nk=2\r\n");
}

TEST(WriteBack, LineFilesKeepLinesPast255AndTheRestOfLongLines) {
  TempFolder dir;
  const std::string path = dir.File("many.txt");
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) lines.push_back("line" + std::to_string(i));
  lines[1] = std::string(1024, 'x') + std::string(2000, 'y');  // longer than a slot
  lines[2] = std::string(1024, 'z') + "!";
  lines[4] = "ab" + std::string(1, '\0') + "cd";  // a program sees "ab"
  std::string original;
  for (const std::string& line : lines) original += line + "\n";
  original.pop_back();  // the last line has no line feed
  WriteWholeFile(path, original);

  // A program sees the first 1024 characters, up to a zero byte, and no
  // line past 255.
  EXPECT_EQ(std::string(ReadFileLine(path.c_str(), 1).c_str()), std::string(1024, 'x'));
  EXPECT_EQ(std::string(ReadFileLine(path.c_str(), 2).c_str()), std::string(1024, 'z'));
  EXPECT_STREQ(ReadFileLine(path.c_str(), 3).c_str(), "line3");
  EXPECT_EQ(ReadFileLine(path.c_str(), 4).Length(), 2u);
  EXPECT_STREQ(ReadFileLine(path.c_str(), 255).c_str(), "line255");
  EXPECT_EQ(LastErrorCode, 0);
  EXPECT_STREQ(ReadFileLine(path.c_str(), 256).c_str(), "NO_DATA");
  EXPECT_EQ(LastErrorCode, 7);
  EXPECT_EQ(WriteFileLine(path.c_str(), 256, "x"), 7);

  EXPECT_EQ(WriteFileLine(path.c_str(), 3, "THREE"), 0);
  EXPECT_EQ(WriteFileLine(path.c_str(), 2, "short"), 0);  // replaces the whole line
  FlushFileStores();
  lines[3] = "THREE";
  lines[2] = "short";
  std::string expected;
  for (int i = 0; i < 256; ++i) expected += lines[i] + "\r\n";
  for (int i = 256; i < 300; ++i) expected += lines[i] + (i < 299 ? "\n" : "");
  EXPECT_EQ(ReadWholeFile(path), expected);
}

// ---------------------------------------------------------------- what a save does to the files around it

namespace {

// One public operation that saves a whole file through the replacement.
struct Saver {
  const char* name;
  const char* extension;
  std::function<void(const std::string&)> save;       // LastErrorCode tells how it went
  std::function<bool(const std::string&)> wroteNew;  // the file holds what the save wrote
};

std::vector<Saver> Savers() {
  return {
      {"INI write-back", ".ini",
       [](const std::string& path) {
         IniOpen(path.c_str());
         IniPut("S", "k", "new");
         IniOpen("");
       },
       [](const std::string& bytes) { return bytes.find("k=new") != std::string::npos; }},
      {"line file", ".txt",
       [](const std::string& path) {
         WriteFileLine(path.c_str(), 0, "new line");
         FlushFileStores();
       },
       [](const std::string& bytes) { return bytes.rfind("new line\r\n", 0) == 0; }},
      {"SavePicture", ".bmp",
       [](const std::string& path) {
         Picture picture;
         // A picture that cannot be made counts as a failed save too.
         if (!picture.Resize(3, 2)) SetLastError(99);
         if (LastErrorCode == 0) SavePicture(path.c_str(), picture);
       },
       [](const std::string& bytes) { return bytes.rfind("BM", 0) == 0; }},
  };
}

int Save(const Saver& saver, const std::string& path) {
  ClearLastError();
  saver.save(path);
  return LastErrorCode;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 01000000;
}

const char kOld[] = "old contents\r\n";

// A folder for the saves alone, inside a temporary folder that also takes
// the run log a failed write-back leaves.
class SaveFolder {
 public:
  SaveFolder() : path_(outer_.File("saves/")) { fs::create_directories(path_); }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  TempFolder outer_;
  std::string path_;
};

}  // namespace

// A save through a link (or a chain of them) replaces the file the link leads
// to, its temporary beside that file, and leaves the links as they were.
TEST(SaveRules, ALinkIsFollowedAndKept) {
  for (const Saver& saver : Savers()) {
    SaveFolder dir;
    fs::create_directories(dir.File("real"));
    const std::string real = dir.File(std::string("real/store") + saver.extension);
    const std::string link = dir.File(std::string("link") + saver.extension);
    const std::string chain = dir.File(std::string("chain") + saver.extension);
    WriteWholeFile(real, kOld);
    fs::create_symlink(std::string("real/store") + saver.extension, link);  // relative to its folder
    fs::create_symlink(link, chain);
    for (const std::string& through : {link, chain}) {
      WriteWholeFile(real, kOld);
      ASSERT_EQ(Save(saver, through), 0) << saver.name << " through " << through;
      ASSERT_TRUE(fs::is_symlink(link)) << saver.name;
      EXPECT_EQ(fs::read_symlink(link).string(), std::string("real/store") + saver.extension) << saver.name;
      EXPECT_TRUE(fs::is_symlink(chain)) << saver.name;
      EXPECT_TRUE(saver.wroteNew(ReadWholeFile(real))) << saver.name << " through " << through;
      EXPECT_EQ(FolderNames(dir.File("real")), std::vector<std::string>{std::string("store") + saver.extension})
          << saver.name;
      EXPECT_EQ(FolderNames(dir.path()),
                (std::vector<std::string>{std::string("chain") + saver.extension, std::string("link") + saver.extension,
                                          "real"}))
          << saver.name;
    }
  }
}

// A link to a file that does not exist yet creates that file; a circle of
// links is refused.
TEST(SaveRules, ADanglingLinkCreatesItsFileAndACircleIsRefused) {
  for (const Saver& saver : Savers()) {
    SaveFolder dir;
    const std::string link = dir.File(std::string("link") + saver.extension);
    fs::create_symlink("target.dat", link);
    ASSERT_EQ(Save(saver, link), 0) << saver.name;
    EXPECT_TRUE(fs::is_symlink(link)) << saver.name;
    EXPECT_TRUE(saver.wroteNew(ReadWholeFile(dir.File("target.dat")))) << saver.name;

    const std::string a = dir.File(std::string("a") + saver.extension);
    const std::string b = dir.File(std::string("b") + saver.extension);
    fs::create_symlink(b, a);
    fs::create_symlink(a, b);
    EXPECT_EQ(Save(saver, a), kErrorNoSuchFile) << saver.name;
    EXPECT_TRUE(fs::is_symlink(a) && fs::is_symlink(b)) << saver.name;
    EXPECT_EQ(FolderNames(dir.path()).size(), 4u) << saver.name;
  }
}

// The new file has the old one's permissions, a new file those of the umask;
// a file nobody may write is not replaced, whoever the program runs as.
TEST(SaveRules, PermissionsAreKeptAndAReadOnlyFileIsRefused) {
  struct Case {
    const char* what;
    int oldMode;  // -1: no file yet
    mode_t mask;
    int error;
    mode_t modeAfter;
  };
  const Case cases[] = {
      {"private file", 0600, 022, 0, 0600},
      {"odd mode", 0751, 022, 0, 0751},
      {"group-writable, umask 077", 0660, 077, 0, 0660},
      {"new file, umask 002", -1, 002, 0, 0664},
      {"new file, umask 077", -1, 077, 0, 0600},
      {"read-only for all", 0444, 022, kErrorNoSuchFile, 0444},
      {"readable by nobody either", 0000, 022, kErrorNoSuchFile, 0000},
      // Someone may write it, but not its owner: root may, its owner not.
      {"writable by the group only", 0460, 022, geteuid() == 0 ? 0 : kErrorNoSuchFile, 0460},
  };
  for (const Saver& saver : Savers()) {
    for (const Case& c : cases) {
      SaveFolder dir;
      const std::string path = dir.File(std::string("store") + saver.extension);
      if (c.oldMode >= 0) {
        WriteWholeFile(path, kOld);
        ASSERT_EQ(chmod(path.c_str(), static_cast<mode_t>(c.oldMode)), 0);
      }
      const mode_t before = umask(c.mask);
      const int error = Save(saver, path);
      umask(before);
      EXPECT_EQ(error, c.error) << saver.name << ", " << c.what;
      EXPECT_EQ(ModeOf(path), c.modeAfter) << saver.name << ", " << c.what;
      chmod(path.c_str(), 0600);  // readable for the check, whoever runs it
      const std::string now = ReadWholeFile(path);
      if (c.error == 0) {
        EXPECT_TRUE(saver.wroteNew(now)) << saver.name << ", " << c.what;
      } else {
        EXPECT_EQ(now, kOld) << saver.name << ", " << c.what;
      }
      EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{std::string("store") + saver.extension})
          << saver.name << ", " << c.what;
    }
  }
}

// Run as root, a save keeps the old file's owner and group too.
TEST(SaveRules, RootKeepsTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  // Another owner and group, another owner only, another group only.
  const std::pair<uid_t, gid_t> owners[] = {{65534, 65534}, {65534, 0}, {0, 65534}};
  for (const Saver& saver : Savers()) {
    for (const auto& [uid, gid] : owners) {
      SaveFolder dir;
      const std::string path = dir.File(std::string("store") + saver.extension);
      WriteWholeFile(path, kOld);
      ASSERT_EQ(chown(path.c_str(), uid, gid), 0);
      ASSERT_EQ(chmod(path.c_str(), 04640), 0);  // the set-user bit survives the change of owner
      ASSERT_EQ(Save(saver, path), 0) << saver.name;
      struct stat info {};
      ASSERT_EQ(stat(path.c_str(), &info), 0);
      EXPECT_EQ(info.st_uid, uid) << saver.name << ", " << uid << ":" << gid;
      EXPECT_EQ(info.st_gid, gid) << saver.name << ", " << uid << ":" << gid;
      EXPECT_EQ(info.st_mode & 07777, 04640u) << saver.name << ", " << uid << ":" << gid;
      EXPECT_TRUE(saver.wroteNew(ReadWholeFile(path))) << saver.name;
    }
  }
}

// A program run by an ordinary user (nobody, here also in group 100): a
// file its owner may not write is refused even when its group may; a file
// of someone else's that everybody may write becomes the user's own and
// keeps its group, which the user belongs to.
TEST(SaveRules, AnOrdinaryUserKeepsTheGroupAndMayNotWriteWhatTheOwnerMayNot) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may start a child as another user";
  struct Case {
    const char* what;
    uid_t uid;
    gid_t gid;
    mode_t mode;
    int error;
    uid_t uidAfter;
  };
  const Case cases[] = {
      {"the owner may not write", 65534, 0, 0460, kErrorNoSuchFile, 65534},
      {"someone else's, everybody may write", 0, 100, 0666, 0, 65534},
  };
  for (const Saver& saver : Savers()) {
    for (const Case& c : cases) {
      TempFolder outer;
      const std::string folder = outer.File("saves");
      fs::create_directories(folder);
      ASSERT_EQ(chmod(outer.path().c_str(), 0777), 0);
      ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
      const std::string path = folder + "/store" + saver.extension;
      WriteWholeFile(path, kOld);
      ASSERT_EQ(chown(path.c_str(), c.uid, c.gid), 0);
      ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
      const auto result = RunInChild([&] {
        const gid_t groups[] = {65534, 100};
        if (setgroups(2, groups) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(kNoFilter);
        if (access(folder.c_str(), W_OK | X_OK) != 0) _exit(kNoFilter);
        _exit(Save(saver, path));
      });
      if (result.exitCode == kNoFilter) GTEST_SKIP() << "the temporary folder is closed to other users";
      EXPECT_EQ(result.exitCode, c.error) << saver.name << ", " << c.what;
      struct stat info {};
      ASSERT_EQ(stat(path.c_str(), &info), 0);
      EXPECT_EQ(info.st_uid, c.uidAfter) << saver.name << ", " << c.what;
      EXPECT_EQ(info.st_gid, c.gid) << saver.name << ", " << c.what;
      EXPECT_EQ(info.st_mode & 07777, c.mode) << saver.name << ", " << c.what;
      const std::string now = ReadWholeFile(path);
      EXPECT_EQ(c.error == 0 ? saver.wroteNew(now) : now == kOld, true) << saver.name << ", " << c.what;
      EXPECT_EQ(FolderNames(folder), std::vector<std::string>{std::string("store") + saver.extension})
          << saver.name << ", " << c.what;
    }
  }
}

// The longest names a folder holds are saved: the temporary's name is kept
// short where "<name>.vlmnew" would not fit, and still leaves nothing behind.
TEST(SaveRules, NamesUpTo255BytesAreSaved) {
  for (const Saver& saver : Savers()) {
    for (const size_t length : {248u, 249u, 254u, 255u}) {
      SaveFolder dir;
      const std::string name = std::string(length - 4, 'n') + saver.extension;
      const std::string path = dir.File(name);
      WriteWholeFile(path, kOld);
      ASSERT_EQ(ReadWholeFile(path), kOld) << "this file system holds no " << length << "-byte names";
      EXPECT_EQ(Save(saver, path), 0) << saver.name << ", " << length << " bytes";
      EXPECT_TRUE(saver.wroteNew(ReadWholeFile(path))) << saver.name << ", " << length << " bytes";
      EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{name}) << saver.name << ", " << length;
    }
  }
}

namespace {

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

}  // namespace

// Every save closes the file it wrote, whether it is committed or refused:
// a program that saves its settings each frame must not run out of
// descriptors.
TEST(SaveRules, SavesLeaveNoDescriptorOpen) {
  for (const Saver& saver : Savers()) {
    SaveFolder dir;
    const std::string path = dir.File(std::string("store") + saver.extension);
    const std::string locked = dir.File(std::string("locked") + saver.extension);
    WriteWholeFile(locked, kOld);
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(Save(saver, path), 0) << saver.name;  // whatever the first save opens for good
    const int before = OpenDescriptors();
    for (int i = 0; i < 8; ++i) {
      ASSERT_EQ(Save(saver, path), 0) << saver.name;
      ASSERT_EQ(Save(saver, locked), kErrorNoSuchFile) << saver.name;
    }
    EXPECT_EQ(OpenDescriptors(), before) << saver.name;
  }
}

// A chain of as many links as the kernel follows (40) is saved through; one
// link more is refused, as opening it would be. A link's target may be a
// name of one byte.
TEST(SaveRules, ChainsOfLinksAreFollowedAsFarAsTheKernelFollowsThem) {
  for (const Saver& saver : Savers()) {
    for (const int links : {1, 40, 41}) {
      SaveFolder dir;
      const std::string real = dir.File("t");
      WriteWholeFile(real, kOld);
      std::string next = "t";  // each link names the one after it, the last the file
      for (int i = links; i >= 1; --i) {
        const std::string name = "l" + std::to_string(i) + saver.extension;
        fs::create_symlink(next, dir.File(name));
        next = name;
      }
      const int error = Save(saver, dir.File(next));
      const std::string now = ReadWholeFile(real);
      if (links <= 40) {
        EXPECT_EQ(error, 0) << saver.name << ", " << links << " links";
        EXPECT_TRUE(saver.wroteNew(now)) << saver.name << ", " << links << " links";
      } else {
        EXPECT_EQ(error, kErrorNoSuchFile) << saver.name << ", " << links << " links";
        EXPECT_EQ(now, kOld) << saver.name << ", " << links << " links";
      }
      EXPECT_TRUE(fs::is_symlink(dir.File(next))) << saver.name;
      EXPECT_EQ(FolderNames(dir.path()).size(), static_cast<size_t>(links + 1)) << saver.name << ", " << links;
    }
  }
}

// What stands at the name decides: a FIFO or a folder with something in it
// is refused and stays, an empty folder is replaced; a temporary (or a link of that name) that a killed
// save left goes, and what such a link names stays as it was.
TEST(SaveRules, WhatStandsAtTheNameOrBesideIt) {
  for (const Saver& saver : Savers()) {
    SaveFolder dir;
    const std::string fifo = dir.File(std::string("fifo") + saver.extension);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(Save(saver, fifo), kErrorNoSuchFile) << saver.name;
    struct stat info {};
    EXPECT_TRUE(lstat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) << saver.name;

    const std::string full = dir.File(std::string("full") + saver.extension);
    fs::create_directories(full);
    WriteWholeFile(full + "/inside", kOld);
    EXPECT_EQ(Save(saver, full), kErrorNoSuchFile) << saver.name;
    EXPECT_EQ(ReadWholeFile(full + "/inside"), kOld) << saver.name;

    const std::string empty = dir.File(std::string("empty") + saver.extension);
    fs::create_directories(empty);
    EXPECT_EQ(Save(saver, empty), 0) << saver.name << ", an empty folder";
    EXPECT_TRUE(fs::is_regular_file(empty) && saver.wroteNew(ReadWholeFile(empty))) << saver.name;

    const std::string store = dir.File(std::string("store") + saver.extension);
    const std::string other = dir.File("other");
    WriteWholeFile(other, kOld);
    WriteWholeFile(store + ".vlmnew", "left by a killed save");
    EXPECT_EQ(Save(saver, store), 0) << saver.name << ", a stale temporary";
    EXPECT_TRUE(saver.wroteNew(ReadWholeFile(store))) << saver.name;
    fs::create_symlink("other", store + ".vlmnew");
    EXPECT_EQ(Save(saver, store), 0) << saver.name << ", a link as the temporary";
    EXPECT_EQ(ReadWholeFile(other), kOld) << saver.name;
    EXPECT_EQ(FolderNames(dir.path()),
              (std::vector<std::string>{std::string("empty") + saver.extension, std::string("fifo") + saver.extension,
                                        std::string("full") + saver.extension, "other",
                                        std::string("store") + saver.extension}))
        << saver.name;
  }
}

// The replacement itself, as the savers call it: missing arguments are
// refused with nothing made, not even in the current folder; a handle of
// no replacement commits nothing and removes nothing; a target made
// read-only while its new contents were written is kept; the temporary's
// name is the target's with ".vlmnew" while that fits in 255 bytes, else a
// short one that differs between names and stays the same for one name.
TEST(SaveRules, TheReplacementItself) {
  TempFolder dir;
  const std::string path = dir.File("store.txt");
  const std::string stale = dir.File("store.txt.vlmnew");
  const auto result = RunInChild([&] {
    if (chdir(dir.path().c_str()) != 0) _exit(100);
    int row = 0;
    const auto check = [&row](bool ok) {
      ++row;
      if (!ok) _exit(row);
    };
    std::string target, temporary;
    WriteWholeFile(path, kOld);
    check(platform::OpenReplacement(nullptr, &target, &temporary) == 0);
    check(platform::OpenReplacement("", &target, &temporary) == 0);
    check(platform::OpenReplacement(path.c_str(), nullptr, &temporary) == 0);
    check(platform::OpenReplacement(path.c_str(), &target, nullptr) == 0);
    WriteWholeFile(stale, "stale");
    check(!platform::CommitReplacement(0, path.c_str(), stale.c_str()));
    check(ReadWholeFile(stale) == "stale" && ReadWholeFile(path) == kOld);

    intptr_t handle = platform::OpenReplacement(path.c_str(), &target, &temporary);
    check(handle != 0 && target == path && temporary == stale);
    check(platform::WriteFileAt(handle, "new", 3, 0) == 3);
    check(chmod(path.c_str(), 0444) == 0);
    check(!platform::CommitReplacement(handle, target.c_str(), temporary.c_str()));
    check(ReadWholeFile(path) == kOld && !fs::exists(stale));
    check(chmod(path.c_str(), 0644) == 0);

    const std::string at248 = dir.File(std::string(248, 'a'));
    std::string ab = dir.File("ab" + std::string(247, 'c'));
    std::string ba = dir.File("ba" + std::string(247, 'c'));
    std::string temporaries[4];
    const std::string* names[4] = {&at248, &ab, &ba, &ab};
    for (int i = 0; i < 4; ++i) {
      handle = platform::OpenReplacement(names[i]->c_str(), &target, &temporary);
      check(handle != 0 && target == *names[i]);
      platform::CloseFileHandle(handle);
      platform::RemovePath(temporary.c_str());
      temporaries[i] = temporary;
    }
    check(temporaries[0] == at248 + ".vlmnew");
    check(temporaries[1].size() == dir.path().size() + 8 + 16 && temporaries[1].rfind(dir.File(".vlmnew-"), 0) == 0);
    check(temporaries[1].find_first_not_of("0123456789abcdef", dir.path().size() + 8) == std::string::npos);
    check(temporaries[1] != temporaries[2] && temporaries[1] == temporaries[3]);

    // Without standard input the replacement's descriptor can be 0.
    close(0);
    IniOpen(path.c_str());
    IniPut("S", "k", "new");
    IniOpen("");
    check(LastErrorCode == 0 && ReadWholeFile(path).find("k=new") != std::string::npos);
    _exit(0);
  });
  EXPECT_EQ(result.exitCode, 0) << "the row that failed";
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"store.txt"});
}
