// Name resolution: real files, the letter-case fallback, memory files and
// entries of an appended archive.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/files.h"
#include "files/files_internal.h"
#include "files_test_util.h"

namespace fs = std::filesystem;
using files_test::AddEntries;
using files_test::Pattern;
using files_test::ReadByName;
using files_test::TempFolder;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

namespace {

// A host file with some bytes before the archive, as an executable has.
std::string MakeHost(const TempFolder& dir, const std::string& name) {
  const std::string path = dir.File(name);
  WriteWholeFile(path, Pattern(5000, 1));
  return path;
}

std::string Resolve(FileResolver& resolver, const std::string& name, bool memoryAllowed) {
  char out[kMaxFileName];
  if (!ResolveFileName(resolver, name.c_str(), out, memoryAllowed)) return "<none>";
  return out;
}

// The block address a memory-file name carries.
const void* BlockOf(const std::string& name) {
  uint64_t size = 0;
  uintptr_t address = 0;
  return ParseMemoryFileName(name.c_str(), &size, &address) ? reinterpret_cast<const void*>(address) : nullptr;
}

}  // namespace

TEST(Resolve, RealFilesWinAndBackslashesBecomeSlashes) {
  TempFolder dir;
  SetArchive("", "");
  fs::create_directories(dir.File("Media"));
  WriteWholeFile(dir.File("Media/logo.png"), "real");
  EXPECT_EQ(Resolve(MemoryResolver(), dir.File("Media/logo.png"), true), dir.File("Media/logo.png"));
  EXPECT_EQ(Resolve(MemoryResolver(), dir.path() + "Media\\logo.png", true), dir.File("Media/logo.png"));
  EXPECT_EQ(Resolve(MemoryResolver(), dir.File("Media"), true), "<none>");  // a folder
  EXPECT_EQ(Resolve(MemoryResolver(), "", true), "<none>");
  EXPECT_EQ(Resolve(MemoryResolver(), std::string(1100, 'a'), true), "<none>");
}

TEST(Resolve, LetterCaseFallbackFindsTheOneMatchingFile) {
  TempFolder dir;
  SetArchive("", "");
  fs::create_directories(dir.File("media/sub"));
  WriteWholeFile(dir.File("media/smalfont.png"), "font");
  WriteWholeFile(dir.File("media/sub/Deep.TXT"), "deep");
  EXPECT_EQ(Resolve(MemoryResolver(), dir.File("Media/SmalFont.PNG"), true), dir.File("media/smalfont.png"));
  EXPECT_EQ(Resolve(DiskResolver(), dir.path() + "MEDIA\\SUB\\deep.txt", false), dir.File("media/sub/Deep.TXT"));
  EXPECT_EQ(ReadByName(dir.File("MEDIA/smalFONT.png").c_str()), "font");
  EXPECT_TRUE(FileExists(dir.File("Media/SMALFONT.png").c_str()));
  EXPECT_TRUE(DirectoryExists(dir.File("MEDIA/Sub").c_str()));
  EXPECT_FALSE(FileExists(dir.File("Media/Sub").c_str()));

  // Two candidates differing only in case: the exact one wins, a third
  // spelling is ambiguous and resolves to nothing.
  WriteWholeFile(dir.File("media/Twin.txt"), "upper");
  WriteWholeFile(dir.File("media/twin.txt"), "lower");
  EXPECT_EQ(ReadByName(dir.File("media/Twin.txt").c_str()), "upper");
  EXPECT_EQ(ReadByName(dir.File("media/twin.txt").c_str()), "lower");
  EXPECT_EQ(Resolve(MemoryResolver(), dir.File("media/TWIN.txt"), true), "<none>");
}

TEST(Resolve, ArchiveEntryFoundByBaseNameIgnoringCase) {
  TempFolder dir;
  const std::string host = MakeHost(dir, "game");
  const std::string logo = Pattern(20000, 2);
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"LOGO.PNG", logo}, {"other.dat", "xyz"}}));
  SetArchive(host.c_str(), host.c_str());

  const std::string name = Resolve(MemoryResolver(), "Media/logo.png", true);
  ASSERT_TRUE(IsMemoryFileName(name.c_str())) << name;
  EXPECT_EQ(ReadByName(name.c_str()), logo);
  // The disk resolver writes the entry to "sbx" + two letters in TMPDIR.
  // The letters come from the entry's stored position P and size S.
  std::vector<ArchiveEntry> entries;
  {
    ReadChannel channel;
    ASSERT_TRUE(OpenReadChannel(channel, host.c_str()));
    ASSERT_EQ(ListArchive(channel, &entries), ArchiveStatus::Ok);
    CloseChannel(channel);
  }
  ASSERT_EQ(entries.size(), 2u);
  std::string letters;
  letters += static_cast<char>('A' + (entries[1].storedPosition & 255) % 26);
  letters += static_cast<char>('A' + (entries[1].packedSize & 255) % 26);
  const std::string disk = Resolve(DiskResolver(), "media\\Other.DAT", false);
  EXPECT_EQ(disk, dir.path() + "sbx" + letters);
  EXPECT_EQ(ReadWholeFile(disk), "xyz");
  EXPECT_EQ(Resolve(MemoryResolver(), "missing.png", true), "<none>");
  // The next call of the disk resolver deletes its temporary file.
  Resolve(DiskResolver(), "nothing", false);
  EXPECT_FALSE(fs::exists(disk));
  SetArchive("", "");
}

TEST(Resolve, NextResolutionFreesThePreviousBlock) {
  TempFolder dir;
  const std::string host = MakeHost(dir, "game");
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"a.txt", "first entry"}, {"b.txt", "second entry"}}));
  SetArchive(host.c_str(), host.c_str());
  const std::string first = Resolve(MemoryResolver(), "a.txt", true);
  ASSERT_TRUE(MemoryFileValid(first.c_str()));
  const std::string second = Resolve(MemoryResolver(), "b.txt", true);
  EXPECT_EQ(ReadByName(second.c_str()), "second entry");
  // The first block is gone from the registry (its memory may still be
  // mapped, so the name itself says nothing any more).
  EXPECT_FALSE(files_internal::IsListedMemoryBlock(BlockOf(first)));
  EXPECT_TRUE(files_internal::IsListedMemoryBlock(BlockOf(second)));

  // A channel opened before the next resolution keeps reading its block.
  const std::string third = Resolve(MemoryResolver(), "a.txt", true);
  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, third.c_str()));
  Resolve(MemoryResolver(), "b.txt", true);
  EXPECT_EQ(files_test::Drain(channel), "first entry");
  CloseChannel(channel);
  EXPECT_FALSE(files_internal::IsListedMemoryBlock(BlockOf(third)));
  SetArchive("", "");
}

TEST(Resolve, MemoryFileNamesPassThroughOrBecomeTemporaryFiles) {
  TempFolder dir;
  SetArchive("", "");
  uint8_t block[5] = {'h', 'e', 'l', 'l', 'o'};
  RegisterMemoryFile(block, 5);
  const std::string name = MemoryFileName(block, 5);
  EXPECT_EQ(Resolve(MemoryResolver(), name, true), name);
  const std::string disk = Resolve(DiskResolver(), name, false);
  EXPECT_EQ(ReadWholeFile(disk), "hello");
  EXPECT_EQ(Resolve(MemoryResolver(), MemoryFileName(block, 6), true), "<none>");
  UnregisterMemoryFile(block);
  // Unregistered, the block is still readable memory of the process.
  EXPECT_FALSE(files_internal::IsListedMemoryBlock(block));
  EXPECT_EQ(ReadByName(Resolve(MemoryResolver(), name, true).c_str()), "hello");
}

TEST(Resolve, DamagedArchiveDisablesItselfUntilSetArchive) {
  TempFolder dir;
  const std::string host = MakeHost(dir, "game");
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"a.txt", "alpha"}}));
  std::string bytes = ReadWholeFile(host);
  const std::string good = bytes;
  bytes[bytes.size() - 6] = 'Z';  // "sbX" -> "sZX"
  WriteWholeFile(host, bytes);
  SetArchive(host.c_str(), host.c_str());
  EXPECT_EQ(Resolve(MemoryResolver(), "a.txt", true), "<none>");
  // Mending the file does not help: the resolver no longer looks...
  WriteWholeFile(host, good);
  EXPECT_EQ(Resolve(MemoryResolver(), "a.txt", true), "<none>");
  // ...until SetArchive enables it again.
  SetArchive(host.c_str(), host.c_str());
  EXPECT_EQ(ReadByName(Resolve(MemoryResolver(), "a.txt", true).c_str()), "alpha");

  // A missing entry leaves the archive enabled.
  EXPECT_EQ(Resolve(MemoryResolver(), "b.txt", true), "<none>");
  EXPECT_EQ(ReadByName(Resolve(MemoryResolver(), "A.TXT", true).c_str()), "alpha");
  SetArchive("", "");
}

TEST(Resolve, BadEntryFieldsFailWithoutReadingOutside) {
  TempFolder dir;
  const std::string host = MakeHost(dir, "game");
  ASSERT_TRUE(AddEntries(dir.path(), host, {{"a.txt", Pattern(3000, 3)}}));
  const std::string good = ReadWholeFile(host);
  std::vector<ArchiveEntry> entries;
  int64_t start = 0;
  {
    ReadChannel channel;
    ASSERT_TRUE(OpenReadChannel(channel, host.c_str()));
    ASSERT_EQ(ListArchive(channel, &entries, &start), ArchiveStatus::Ok);
    CloseChannel(channel);
  }
  ASSERT_EQ(entries.size(), 1u);
  // Directory entry: length byte, 5 name bytes, P, S.
  const size_t directory = good.size() - 7 - 1 - (1 + 5 + 8);
  auto put32 = [](std::string& text, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) text[at + i] = static_cast<char>(value >> (8 * i));
  };
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
  };
  const Case cases[] = {
      {"S beyond the file", directory + 6 + 4, 0x7FFFFFF0u},
      {"S below four", directory + 6 + 4, 3},
      {"P before the file", directory + 6, static_cast<uint32_t>(-0x7FFFFFF0)},
      {"U absurdly large", static_cast<size_t>(entries[0].position), 0xFFFFFFF0u},
      {"U larger than LZO can make", static_cast<size_t>(entries[0].position), 3000u * 300},
      {"D outside the file", good.size() - 4, static_cast<uint32_t>(-0x7FFFFFF0)},
  };
  for (const Case& c : cases) {
    std::string bad = good;
    put32(bad, c.at, c.value);
    WriteWholeFile(host, bad);
    SetArchive(host.c_str(), host.c_str());
    EXPECT_EQ(Resolve(MemoryResolver(), "a.txt", true), "<none>") << c.what;
  }
  // Damaged packed data is refused by the safe decompressor.
  std::string bad = good;
  for (size_t i = 10; i < 60; ++i) bad[static_cast<size_t>(entries[0].position) + i] ^= 0x5A;
  WriteWholeFile(host, bad);
  SetArchive(host.c_str(), host.c_str());
  EXPECT_EQ(Resolve(MemoryResolver(), "a.txt", true), "<none>");
  SetArchive("", "");
}
