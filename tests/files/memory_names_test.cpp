// Memory-file names of memory the registry never handed out (buffers a
// library function returned): they open exactly when the whole range is
// readable, and a bad one fails like a missing file instead of faulting.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "files_test_util.h"
#include "platform/memory_probe.h"

using files_test::ReadByName;
using files_test::TempFolder;

namespace {

// Five pages: 0 and 1 readable, 2 no access, 3 readable, 4 unmapped.
class PageLayout {
 public:
  PageLayout() : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
    void* at = mmap(nullptr, 5 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = at == MAP_FAILED ? nullptr : static_cast<uint8_t*>(at);
    if (base_ == nullptr) return;
    for (size_t i = 0; i < 5 * page_; ++i) base_[i] = static_cast<uint8_t>(i * 13 + 5);
    mprotect(base_ + 2 * page_, page_, PROT_NONE);
    munmap(base_ + 4 * page_, page_);
  }
  ~PageLayout() {
    if (base_ != nullptr) munmap(base_, 4 * page_);
  }
  uint8_t* At(size_t page, long offset) const { return base_ + page * page_ + offset; }
  size_t page() const { return page_; }
  bool ok() const { return base_ != nullptr; }

 private:
  size_t page_;
  uint8_t* base_ = nullptr;
};

}  // namespace

TEST(UnregisteredMemoryName, OpensExactlyWhenTheWholeRangeIsReadable) {
  PageLayout pages;
  ASSERT_TRUE(pages.ok());
  const long page = static_cast<long>(pages.page());
  struct Case {
    size_t page;
    long offset;
    long length;
    bool readable;
  } cases[] = {
      {0, 0, 2 * page, true},           // two readable pages
      {0, 100, 0, true},                // empty range in readable memory
      {1, page - 16, 16, true},         // up to the last readable byte
      {1, page - 16, 17, false},        // one byte into the page without access
      {2, 0, 1, false},                 // no access
      {2, 0, 0, false},                 // empty range there asks about its byte
      {3, page - 8, 8, true},           // up to the end of the mapping
      {3, page - 8, 9, false},          // running off the mapping
      {4, 0, 4, false},                 // unmapped
      {0, 0, 4 * page, false},          // readable start, holes further on
  };
  for (const Case& c : cases) {
    const uint8_t* start = pages.At(c.page, c.offset);
    const auto address = reinterpret_cast<uintptr_t>(start);
    const auto length = static_cast<uint64_t>(c.length);
    const std::string name = MemoryFileName(start, length);
    SCOPED_TRACE(testing::Message() << "page " << c.page << " offset " << c.offset << " length " << c.length);
    EXPECT_EQ(platform::IsReadableMemory(address, length), c.readable);
    EXPECT_EQ(platform::IsReadableByKernelCopy(address, length), c.readable);
    EXPECT_EQ(MemoryFileValid(name.c_str()), c.readable);
    EXPECT_EQ(QueryFileSize(name.c_str()), c.readable ? c.length : 0);
    const bool opened = OpenFile(0, name.c_str(), 1);
    EXPECT_EQ(opened, c.readable);
    EXPECT_EQ(LastErrorCode, c.readable ? kErrorNone : kErrorNoSuchFile);
    CloseFile(0);
    const std::string expected =
        c.readable ? std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(c.length)) : "<no open>";
    EXPECT_EQ(ReadByName(name.c_str()), expected);
  }
  // Ranges that wrap around the address space, and the null page.
  EXPECT_FALSE(platform::IsReadableMemory(UINTPTR_MAX - 3, 8));
  EXPECT_FALSE(platform::IsReadableByKernelCopy(UINTPTR_MAX - 3, 8));
  EXPECT_FALSE(MemoryFileValid("mem://      10.       0"));
}

TEST(UnregisteredMemoryName, HeapBufferReadsItsBytesThroughEveryReader) {
  TempFolder dir;
  std::string bytes(300, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 2 == 0 ? 'a' + i % 26 : '\n');
  auto* buffer = new uint8_t[bytes.size()];
  std::memcpy(buffer, bytes.data(), bytes.size());
  const std::string name = MemoryFileName(buffer, bytes.size());

  EXPECT_EQ(ReadByName(name.c_str()), bytes);
  EXPECT_TRUE(FileExists(name.c_str()));
  // The disk resolver copies the bytes to a temporary file.
  char out[kMaxFileName];
  ASSERT_TRUE(ResolveFileName(DiskResolver(), name.c_str(), out, false));
  EXPECT_EQ(testing_support::ReadWholeFile(out), bytes);
  ReleaseResolverResult(DiskResolver());
  // Line reads go through the same channel.
  ASSERT_TRUE(OpenFile(1, name.c_str(), 1));
  BasicString line;
  ASSERT_TRUE(ReadLine(1, line));
  EXPECT_STREQ(line.c_str(), "a");
  ASSERT_TRUE(ReadLine(1, line));
  EXPECT_STREQ(line.c_str(), "c");
  CloseFile(1);
  delete[] buffer;
}

TEST(UnregisteredMemoryName, MemoryFreedUnderAnOpenChannelEndsTheData) {
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* at = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(at, MAP_FAILED);
  std::memset(at, 'm', page);
  ReadChannel channel;
  ASSERT_TRUE(OpenReadChannel(channel, MemoryFileName(at, page).c_str()));
  char buffer[16];
  EXPECT_EQ(ChannelRead(channel, buffer, sizeof buffer), 16);
  EXPECT_EQ(buffer[15], 'm');
  munmap(at, page);
  EXPECT_EQ(ChannelRead(channel, buffer, sizeof buffer), 0);
  CloseChannel(channel);
}
