// Reading, unpacking and writing the appended media archive.
#include "files/archive.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace {

constexpr int kTrailerSize = 7;

bool LzoReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = lzo_init() == LZO_E_OK; });
  return ready;
}

uint32_t LoadU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void StoreU32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(const std::string& a, const char* b, size_t bLength) {
  if (a.size() != bLength) return false;
  for (size_t i = 0; i < bLength; ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

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
  if (channel.size < kTrailerSize) return false;
  uint8_t bytes[kTrailerSize];
  if (!ReadAt(channel, channel.size - kTrailerSize, bytes, kTrailerSize)) return false;
  if (std::memcmp(bytes, "sbX", 3) != 0) return false;
  const int32_t stored = static_cast<int32_t>(LoadU32(bytes + 3));
  trailer->fromEnd = stored < 0;
  trailer->directory = trailer->fromEnd ? channel.size + stored : stored;
  return trailer->directory >= 0 && trailer->directory <= channel.size - kTrailerSize;
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
  *position = static_cast<int32_t>(LoadU32(numbers));
  *packedSize = LoadU32(numbers + 4);
  return Step::Entry;
}

// Turns a stored entry into positions from the start; false when its data
// does not lie inside the file.
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
  DirectoryReader reader(archive, trailer.directory, archive.size - kTrailerSize);
  char name[256];
  for (;;) {
    size_t length = 0;
    int32_t position = 0;
    uint32_t packedSize = 0;
    const Step step = NextEntry(reader, name, &length, &position, &packedSize);
    if (step != Step::Entry) return ArchiveStatus::NotFound;
    if (length != wanted) continue;
    std::string candidate(name, length);
    if (!SameNameIgnoringCase(candidate, baseName, wanted)) continue;
    entry->name = candidate;
    entry->storedPosition = position;
    entry->packedSize = packedSize;
    return PlaceEntry(archive, trailer, entry) ? ArchiveStatus::Ok : ArchiveStatus::Damaged;
  }
}

ArchiveStatus ListArchive(ReadChannel& archive, std::vector<ArchiveEntry>* entries,
                          int64_t* archiveStart) {
  entries->clear();
  Trailer trailer;
  if (!ReadTrailer(archive, &trailer)) return ArchiveStatus::NoArchive;
  int64_t start = trailer.directory;
  DirectoryReader reader(archive, trailer.directory, archive.size - kTrailerSize);
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
  if (packed == nullptr || packedSize < 4 || !LzoReady()) return false;
  const uint32_t unpacked = LoadU32(packed);
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
  if (!ReadPackedEntry(archive, entry, &packed)) return false;
  return UnpackEntryData(packed.data(), packed.size(), data, size);
}

bool PackEntryData(const uint8_t* data, size_t size, std::vector<uint8_t>* packed) {
  if (!LzoReady() || size > 0xFFFFFFFFu) return false;
  // Worst case for incompressible input, from the LZO documentation.
  packed->resize(4 + size + size / 16 + 64 + 3);
  std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint length = 0;
  static const uint8_t kNothing = 0;
  if (lzo1x_1_compress(size == 0 ? &kNothing : data, size, packed->data() + 4, &length,
                       work.data()) != LZO_E_OK)
    return false;
  StoreU32(packed->data(), static_cast<uint32_t>(size));
  packed->resize(4 + length);
  return true;
}

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return false;
  in.seekg(0);
  bytes->resize(static_cast<size_t>(length));
  return length == 0 || static_cast<bool>(in.read(reinterpret_cast<char*>(bytes->data()), length));
}

bool ValidEntryName(const std::string& name) {
  return !name.empty() && name.size() <= 255 && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

struct OutputEntry {
  std::string name;
  std::vector<uint8_t> packed;  // empty: keep the stored bytes at oldPosition
  int64_t oldPosition = -1;
  uint32_t packedSize = 0;
  int64_t newPosition = 0;
};

bool CopyRange(std::ifstream& in, std::ofstream& out, int64_t from, int64_t count) {
  std::vector<char> buffer(1 << 20);
  in.seekg(from);
  while (count > 0) {
    const std::streamsize take = static_cast<std::streamsize>(std::min<int64_t>(count, buffer.size()));
    if (!in.read(buffer.data(), take) || !out.write(buffer.data(), take)) return false;
    count -= take;
  }
  return true;
}

}  // namespace

bool AppendToArchive(const char* target, const std::vector<ArchiveInput>& inputs, std::string* error) {
  auto fail = [error](const std::string& message) {
    if (error != nullptr) *error = message;
    return false;
  };
  const std::string path = target == nullptr ? "" : target;
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return fail("not a file: " + path);

  // New entries first, so an unreadable input stops us before anything changes.
  std::vector<OutputEntry> fresh;
  for (const ArchiveInput& input : inputs) {
    if (!ValidEntryName(input.name)) return fail("bad entry name: \"" + input.name + "\"");
    for (const OutputEntry& other : fresh)
      if (SameNameIgnoringCase(other.name, input.name.c_str(), input.name.size()))
        return fail("entry named twice: " + input.name);
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(input.path, &bytes)) return fail("cannot read " + input.path);
    if (bytes.size() > kMaxArchiveEntry) return fail("too large for an entry: " + input.path);
    OutputEntry entry;
    entry.name = input.name;
    if (!PackEntryData(bytes.data(), bytes.size(), &entry.packed)) return fail("cannot pack " + input.path);
    entry.packedSize = static_cast<uint32_t>(entry.packed.size());
    fresh.push_back(std::move(entry));
  }

  ReadChannel channel;
  if (!OpenReadChannel(channel, path.c_str())) return fail("cannot open " + path);
  const int64_t oldSize = channel.size;
  int64_t keepBytes = oldSize;  // the part of target copied unchanged
  std::vector<OutputEntry> kept;
  std::vector<ArchiveEntry> old;
  int64_t archiveStart = oldSize;
  const ArchiveStatus status = ListArchive(channel, &old, &archiveStart);
  if (status == ArchiveStatus::Damaged) {
    CloseChannel(channel);
    return fail("the archive in " + path + " is damaged; nothing was changed");
  }
  if (status == ArchiveStatus::Ok) {
    // An archive we can rebuild is one whose entries, directory and trailer
    // fill the end of the file exactly. Anything else keeps every old byte
    // and only points the new directory at the old entries.
    int64_t covered = oldSize - archiveStart;
    int64_t dataBytes = 0;
    for (const ArchiveEntry& entry : old) dataBytes += entry.packedSize;
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const ArchiveEntry& entry : old) spans.emplace_back(entry.position, entry.position + entry.packedSize);
    std::sort(spans.begin(), spans.end());
    bool contiguous = true;
    int64_t cursor = archiveStart;
    for (const auto& span : spans) {
      if (span.first != cursor) contiguous = false;
      cursor = span.second;
    }
    uint8_t trailer[kTrailerSize];
    ReadAt(channel, oldSize - kTrailerSize, trailer, kTrailerSize);
    const int32_t stored = static_cast<int32_t>(LoadU32(trailer + 3));
    const int64_t directory = stored < 0 ? oldSize + stored : stored;
    contiguous = contiguous && cursor == directory && dataBytes + (oldSize - directory) == covered;
    if (contiguous) keepBytes = archiveStart;
    for (const ArchiveEntry& entry : old) {
      bool replaced = false;
      for (const OutputEntry& other : fresh)
        replaced = replaced || SameNameIgnoringCase(other.name, entry.name.c_str(), entry.name.size());
      if (replaced) continue;
      OutputEntry out;
      out.name = entry.name;
      out.packedSize = entry.packedSize;
      if (contiguous) {
        if (!ReadPackedEntry(channel, entry, &out.packed)) {
          CloseChannel(channel);
          return fail("cannot read entry " + entry.name);
        }
      } else {
        out.oldPosition = entry.position;
      }
      kept.push_back(std::move(out));
    }
  }
  CloseChannel(channel);

  std::vector<OutputEntry> all = std::move(kept);
  for (OutputEntry& entry : fresh) all.push_back(std::move(entry));
  int64_t position = keepBytes;
  int64_t directoryBytes = 1;
  for (OutputEntry& entry : all) {
    if (entry.oldPosition >= 0) {
      entry.newPosition = entry.oldPosition;
    } else {
      entry.newPosition = position;
      position += entry.packedSize;
    }
    directoryBytes += 1 + static_cast<int64_t>(entry.name.size()) + 8;
  }
  const int64_t directory = position;
  const int64_t total = directory + directoryBytes + kTrailerSize;
  if (total > INT32_MAX) return fail("the result would exceed 2 GiB, which the archive cannot address");

  const std::string temporary = path + ".vlmpack-new";
  {
    std::ifstream in(path, std::ios::binary);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!in || !out) return fail("cannot write " + temporary);
    bool ok = CopyRange(in, out, 0, keepBytes);
    for (const OutputEntry& entry : all)
      if (entry.oldPosition < 0)
        ok = ok && out.write(reinterpret_cast<const char*>(entry.packed.data()),
                             static_cast<std::streamsize>(entry.packed.size()));
    std::vector<uint8_t> tail;
    for (const OutputEntry& entry : all) {
      tail.push_back(static_cast<uint8_t>(entry.name.size()));
      tail.insert(tail.end(), entry.name.begin(), entry.name.end());
      uint8_t numbers[8];
      StoreU32(numbers, static_cast<uint32_t>(static_cast<int32_t>(entry.newPosition - total)));
      StoreU32(numbers + 4, entry.packedSize);
      tail.insert(tail.end(), numbers, numbers + 8);
    }
    tail.push_back(0);
    uint8_t trailer[kTrailerSize] = {'s', 'b', 'X'};
    StoreU32(trailer + 3, static_cast<uint32_t>(static_cast<int32_t>(directory - total)));
    tail.insert(tail.end(), trailer, trailer + kTrailerSize);
    ok = ok && out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    out.flush();
    ok = ok && static_cast<bool>(out);
    if (!ok) {
      out.close();
      fs::remove(temporary, ec);
      return fail("cannot write " + temporary);
    }
  }
  fs::permissions(temporary, fs::status(path, ec).permissions(), ec);
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return fail("cannot replace " + path);
  }
  return true;
}
