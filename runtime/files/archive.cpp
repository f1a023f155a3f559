// Reading and unpacking the appended media archive.
#include "files/archive.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/little_endian.h"

bool ArchiveLzoReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = lzo_init() == LZO_E_OK; });
  return ready;
}

namespace {


bool ReadAt(ReadChannel& channel, int64_t position, void* buffer, int64_t count) {
  channel.position = position;
  return ChannelRead(channel, buffer, count) == count;
}

// Reads the directory sequentially through a small buffer, never past the
// trailer: a directory position of 0 in a large file must not make us load
// the whole file.
class DirectoryReader {
 public:
  DirectoryReader(ReadChannel& channel, int64_t start, int64_t end)
      : channel_(channel), next_(start), end_(end) {}

  bool Read(void* out, int64_t count) {
    auto* bytes = static_cast<uint8_t*>(out);
    while (count > 0) {
      if (used_ == filled_) {
        const int64_t want = std::min<int64_t>(sizeof buffer_, end_ - next_);
        if (want <= 0 || !ReadAt(channel_, next_, buffer_, want)) return false;
        next_ += want;
        filled_ = static_cast<size_t>(want);
        used_ = 0;
      }
      const size_t take = std::min<size_t>(filled_ - used_, static_cast<size_t>(count));
      std::memcpy(bytes, buffer_ + used_, take);
      used_ += take;
      bytes += take;
      count -= static_cast<int64_t>(take);
    }
    return true;
  }

 private:
  ReadChannel& channel_;
  int64_t next_;
  int64_t end_;
  uint8_t buffer_[16384];
  size_t filled_ = 0;
  size_t used_ = 0;
};

struct Trailer {
  int64_t directory = 0;  // position of the first directory entry
  bool fromEnd = false;   // positions were stored counting from the end
};

bool ReadTrailer(ReadChannel& channel, Trailer* trailer) {
  if (channel.size < kArchiveTrailerSize) return false;
  uint8_t bytes[kArchiveTrailerSize];
  if (!ReadAt(channel, channel.size - kArchiveTrailerSize, bytes, kArchiveTrailerSize)) return false;
  if (std::memcmp(bytes, "sbX", 3) != 0) return false;
  const int32_t stored = static_cast<int32_t>(LoadLittle32(bytes + 3));
  trailer->fromEnd = stored < 0;
  trailer->directory = trailer->fromEnd ? channel.size + stored : stored;
  return trailer->directory >= 0 && trailer->directory <= channel.size - kArchiveTrailerSize;
}

enum class Step { Entry, End, Short };

// Reads one directory entry; the name goes to name/nameLength.
Step NextEntry(DirectoryReader& reader, char* name, size_t* nameLength, int32_t* position,
               uint32_t* packedSize) {
  uint8_t length = 0;
  if (!reader.Read(&length, 1)) return Step::Short;
  if (length == 0) return Step::End;
  uint8_t numbers[8];
  if (!reader.Read(name, length) || !reader.Read(numbers, 8)) return Step::Short;
  *nameLength = length;
  *position = static_cast<int32_t>(LoadLittle32(numbers));
  *packedSize = LoadLittle32(numbers + 4);
  return Step::Entry;
}

// Turns a stored entry into positions from the start; false when its data
// does not lie inside the file.
// Entries found damaged, for diagnostics.
uint64_t g_damagedEntries = 0;

bool PlaceEntry(const ReadChannel& channel, const Trailer& trailer, ArchiveEntry* entry) {
  int64_t position = entry->storedPosition;
  if (position < 0) {
    if (!trailer.fromEnd) return false;
    position += channel.size;
  }
  entry->position = position;
  return position >= 0 && entry->packedSize >= 4 &&
         static_cast<int64_t>(entry->packedSize) <= channel.size - position;
}

}  // namespace

ArchiveStatus FindArchiveEntry(ReadChannel& archive, const char* baseName, ArchiveEntry* entry) {
  Trailer trailer;
  if (!ReadTrailer(archive, &trailer)) return ArchiveStatus::NoArchive;
  const size_t wanted = baseName == nullptr ? 0 : std::strlen(baseName);
  DirectoryReader reader(archive, trailer.directory, archive.size - kArchiveTrailerSize);
  char name[256];
  for (;;) {
    size_t length = 0;
    int32_t position = 0;
    uint32_t packedSize = 0;
    const Step step = NextEntry(reader, name, &length, &position, &packedSize);
    if (step != Step::Entry) return ArchiveStatus::NotFound;
    if (length != wanted) continue;
    std::string candidate(name, length);
    if (!SameNameIgnoringCase(candidate, std::string_view(baseName, wanted))) continue;
    entry->name = candidate;
    entry->storedPosition = position;
    entry->packedSize = packedSize;
    if (PlaceEntry(archive, trailer, entry)) return ArchiveStatus::Ok;
    ++g_damagedEntries;
    return ArchiveStatus::Damaged;
  }
}

ArchiveStatus ListArchive(ReadChannel& archive, std::vector<ArchiveEntry>* entries,
                          int64_t* archiveStart) {
  entries->clear();
  Trailer trailer;
  if (!ReadTrailer(archive, &trailer)) return ArchiveStatus::NoArchive;
  int64_t start = trailer.directory;
  DirectoryReader reader(archive, trailer.directory, archive.size - kArchiveTrailerSize);
  char name[256];
  for (;;) {
    ArchiveEntry entry;
    size_t length = 0;
    const Step step = NextEntry(reader, name, &length, &entry.storedPosition, &entry.packedSize);
    if (step == Step::End) break;
    if (step == Step::Short) return ArchiveStatus::Damaged;
    entry.name.assign(name, length);
    if (!PlaceEntry(archive, trailer, &entry)) return ArchiveStatus::Damaged;
    start = std::min(start, entry.position);
    entries->push_back(std::move(entry));
  }
  if (archiveStart != nullptr) *archiveStart = start;
  return ArchiveStatus::Ok;
}

bool ReadPackedEntry(ReadChannel& archive, const ArchiveEntry& entry, std::vector<uint8_t>* packed) {
  if (entry.position < 0 || entry.packedSize < 4 ||
      static_cast<int64_t>(entry.packedSize) > archive.size - entry.position)
    return false;
  packed->resize(entry.packedSize);
  return ReadAt(archive, entry.position, packed->data(), entry.packedSize);
}

bool UnpackEntryData(const uint8_t* packed, size_t packedSize, std::unique_ptr<uint8_t[]>* data,
                     uint32_t* size) {
  if (packed == nullptr || packedSize < 4 || !ArchiveLzoReady()) return false;
  const uint32_t unpacked = LoadLittle32(packed);
  const size_t body = packedSize - 4;
  // LZO1X cannot make more than about 255 bytes out of one packed byte (a
  // long match costs at least one byte per 255 of length), so a larger claim
  // is damage; checking before allocating keeps a bad size word from asking
  // for gigabytes.
  if (unpacked > kMaxArchiveEntry || static_cast<uint64_t>(unpacked) > body * 256ull + 256) return false;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[unpacked == 0 ? 1 : unpacked]);
  if (!block) return false;
  lzo_uint produced = unpacked;
  const int result = lzo1x_decompress_safe(packed + 4, body, block.get(), &produced, nullptr);
  if (result != LZO_E_OK || produced != unpacked) return false;
  *data = std::move(block);
  *size = unpacked;
  return true;
}

bool UnpackArchiveEntry(ReadChannel& archive, const ArchiveEntry& entry,
                        std::unique_ptr<uint8_t[]>* data, uint32_t* size) {
  std::vector<uint8_t> packed;
  if (ReadPackedEntry(archive, entry, &packed) && UnpackEntryData(packed.data(), packed.size(), data, size))
    return true;
  ++g_damagedEntries;
  return false;
}

uint64_t DamagedArchiveEntries() { return g_damagedEntries; }
