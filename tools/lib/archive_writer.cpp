// Packing entries and rebuilding the media archive at the end of a file.
#include "lib/archive_writer.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>

#include "core/little_endian.h"
#include "files/archive.h"
#include "files/file_write.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTrailerSize = kArchiveTrailerSize;

void StoreU32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

bool ReadAt(ReadChannel& channel, int64_t position, void* buffer, int64_t count) {
  channel.position = position;
  return ChannelRead(channel, buffer, count) == count;
}

}  // namespace

size_t PackedCapacity(size_t size) { return 4 + size + size / 16 + 64 + 3; }

size_t PackEntryInto(const uint8_t* data, size_t size, uint8_t* out) {
  if (!ArchiveLzoReady() || size > 0xFFFFFFFFu) return 0;
  std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint length = 0;
  static const uint8_t kNothing = 0;
  if (lzo1x_1_compress(size == 0 ? &kNothing : data, size, out + 4, &length, work.data()) != LZO_E_OK) return 0;
  StoreU32(out, static_cast<uint32_t>(size));
  return 4 + length;
}

bool PackEntryData(const uint8_t* data, size_t size, std::vector<uint8_t>* packed) {
  if (size > 0xFFFFFFFFu) return false;
  packed->resize(PackedCapacity(size));
  const size_t length = PackEntryInto(data, size, packed->data());
  packed->resize(length);
  return length > 0;
}

namespace {

// One stored entry needs at least this many bytes: the reader takes an entry
// that unpacks to more than 256 bytes per packed byte (and 256 more) for
// damage, since LZO1X never packs that tightly. This bounds the archive
// before any input is read.
int64_t SmallestPackedSize(int64_t size) { return 4 + (size > 256 ? (size - 256 + 255) / 256 : 0); }

bool ValidEntryName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos ||
      name.find('\\') != std::string::npos)
    return false;
  // Control characters (a line break, a tab) would break the one line per
  // entry that the listing prints, and no program names a file with them.
  for (const char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

// The name as a message can show it: control characters as "?".
std::string Printable(const std::string& name) {
  std::string shown = name;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return shown;
}

// Opens an input for reading: a regular file only, and without waiting (a
// FIFO would otherwise hold the packer in open() until a writer came).
// Returns the handle (0 with the reason in why) and its size.
intptr_t OpenInput(const std::string& path, int64_t* size, std::string* why) {
  const intptr_t handle = platform::OpenFileHandle(path.c_str(), platform::FileOpenMode::ReadExisting);
  if (handle == 0) {
    switch (platform::QueryPathKind(path.c_str())) {
      case platform::PathKind::Missing: *why = "cannot read " + path; break;
      case platform::PathKind::Directory: *why = "cannot read " + path + ": a folder"; break;
      case platform::PathKind::File: *why = "cannot read " + path + ": not a regular file, or not readable"; break;
    }
    return 0;
  }
  *size = platform::FileHandleSize(handle);
  if (*size < 0) {
    platform::CloseFileHandle(handle);
    *why = "cannot read " + path;
    return 0;
  }
  return handle;
}

// An entry of the new directory.
struct OutputEntry {
  std::string name;
  int64_t oldPosition = -1;  // where its stored bytes lie in the old file
  uint32_t packedSize = 0;
  int64_t newPosition = 0;
};

// A block that grows to the largest size asked of it and is never cleared:
// a page costs memory only once something is written to it, so a buffer
// sized for the worst case of packing costs what the packed bytes take.
class Scratch {
 public:
  uint8_t* Get(size_t size) {
    if (size > capacity_) {
      block_.reset();
      block_.reset(new (std::nothrow) uint8_t[size]);
      capacity_ = block_ ? size : 0;
    }
    return block_.get();
  }

 private:
  std::unique_ptr<uint8_t[]> block_;
  size_t capacity_ = 0;
};

// Copies count bytes of the old file from a position into the new one.
bool CopyRange(ReadChannel& in, FileReplacement& out, int64_t from, int64_t count, Scratch& scratch) {
  constexpr int64_t kPiece = 1 << 20;
  uint8_t* buffer = scratch.Get(kPiece);
  if (buffer == nullptr) return false;
  in.position = from;
  while (count > 0) {
    const int64_t take = std::min<int64_t>(count, kPiece);
    if (ChannelRead(in, buffer, take) != take || !out.Write(buffer, static_cast<size_t>(take))) return false;
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

  // Every request is checked before anything is read or written: the names,
  // then that each input is a regular file of a size an entry can hold.
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (!ValidEntryName(inputs[i].name)) return fail("bad entry name: \"" + Printable(inputs[i].name) + "\"");
    for (size_t j = 0; j < i; ++j)
      if (SameNameIgnoringCase(inputs[j].name, inputs[i].name))
        return fail("entry named twice: " + inputs[i].name);
  }
  std::vector<int64_t> sizes;
  sizes.reserve(inputs.size());
  for (const ArchiveInput& input : inputs) {
    int64_t size = 0;
    std::string why;
    const intptr_t handle = OpenInput(input.path, &size, &why);
    if (handle == 0) return fail(why);
    platform::CloseFileHandle(handle);
    if (size > static_cast<int64_t>(kMaxArchiveEntry)) return fail("too large for an entry: " + input.path);
    sizes.push_back(size);
  }

  ReadChannel channel;
  if (!OpenReadChannel(channel, path.c_str())) return fail("cannot open " + path);
  struct ChannelCloser {
    ReadChannel& channel;
    ~ChannelCloser() { CloseChannel(channel); }
  } closer{channel};
  const int64_t oldSize = channel.size;
  int64_t keepBytes = oldSize;  // the part of target copied unchanged
  std::vector<OutputEntry> all;  // the kept entries, then the new ones
  std::vector<ArchiveEntry> old;
  int64_t archiveStart = oldSize;
  bool contiguous = false;
  const ArchiveStatus status = ListArchive(channel, &old, &archiveStart);
  if (status == ArchiveStatus::Damaged) return fail("the archive in " + path + " is damaged; nothing was changed");
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
    contiguous = true;
    int64_t cursor = archiveStart;
    for (const auto& span : spans) {
      if (span.first != cursor) contiguous = false;
      cursor = span.second;
    }
    uint8_t trailer[kTrailerSize];
    ReadAt(channel, oldSize - kTrailerSize, trailer, kTrailerSize);
    const int32_t stored = static_cast<int32_t>(LoadLittle32(trailer + 3));
    const int64_t directory = stored < 0 ? oldSize + stored : stored;
    contiguous = contiguous && cursor == directory && dataBytes + (oldSize - directory) == covered;
    if (contiguous) keepBytes = archiveStart;
    for (const ArchiveEntry& entry : old) {
      bool replaced = false;
      for (const ArchiveInput& input : inputs) replaced = replaced || SameNameIgnoringCase(input.name, entry.name);
      if (replaced) continue;
      // A rebuilt archive copies the kept entry's stored bytes; it must
      // still lie wholly inside the file.
      if (contiguous && (entry.position < 0 || entry.packedSize < 4 ||
                         static_cast<int64_t>(entry.packedSize) > oldSize - entry.position))
        return fail("cannot read entry " + entry.name);
      OutputEntry out;
      out.name = entry.name;
      out.packedSize = entry.packedSize;
      out.oldPosition = entry.position;
      all.push_back(std::move(out));
    }
  }
  const size_t keptCount = all.size();
  for (const ArchiveInput& input : inputs) {
    OutputEntry entry;
    entry.name = input.name;
    all.push_back(std::move(entry));
  }

  // The least the result can take, from the sizes alone: too much for the
  // archive's positions is refused before any input is read.
  int64_t directoryBytes = 1;
  for (const OutputEntry& entry : all) directoryBytes += 1 + static_cast<int64_t>(entry.name.size()) + 8;
  int64_t position = keepBytes;
  if (contiguous)
    for (size_t i = 0; i < keptCount; ++i) position += all[i].packedSize;
  int64_t stillToCome = 0;  // the least the new entries not yet packed add
  for (const int64_t size : sizes) stillToCome += SmallestPackedSize(size);
  const auto fits = [&](int64_t more) {
    return position + more + stillToCome + directoryBytes + kTrailerSize <= INT32_MAX;
  };
  const char* const kTooLarge = "the result would exceed 2 GiB, which the archive cannot address";
  if (!fits(0)) return fail(kTooLarge);

  // The new file is written as it is made: the bytes before the archive,
  // the kept entries, then each new entry as soon as it is packed, so only
  // one input is ever held in memory.
  FileReplacement out;
  if (!out.BeginAt(path))
    return fail("cannot replace " + path + ": it may not be written, or nothing can be made beside it");
  Scratch read, stored;
  if (!CopyRange(channel, out, 0, keepBytes, read)) return fail("cannot copy " + path);
  for (size_t i = 0; i < keptCount; ++i) {
    OutputEntry& entry = all[i];
    if (!contiguous) {
      entry.newPosition = entry.oldPosition;
      continue;
    }
    if (!CopyRange(channel, out, entry.oldPosition, entry.packedSize, read))
      return fail("cannot read entry " + entry.name);
    entry.newPosition = position;
    position += entry.packedSize;
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    const ArchiveInput& input = inputs[i];
    stillToCome -= SmallestPackedSize(sizes[i]);
    int64_t size = 0;
    std::string why;
    const intptr_t handle = OpenInput(input.path, &size, &why);
    if (handle == 0) return fail(why);
    // The file may have grown since it was measured.
    if (size > static_cast<int64_t>(kMaxArchiveEntry)) {
      platform::CloseFileHandle(handle);
      return fail("too large for an entry: " + input.path);
    }
    const size_t length = static_cast<size_t>(size);
    uint8_t* bytes = read.Get(std::max<size_t>(length, 1));
    uint8_t* packed = stored.Get(PackedCapacity(length));
    const bool whole = bytes != nullptr && platform::ReadFileAt(handle, bytes, size, 0) == size;
    platform::CloseFileHandle(handle);
    if (bytes == nullptr || packed == nullptr) return fail("not enough memory for " + input.path);
    if (!whole) return fail("cannot read " + input.path);
    const size_t storedSize = PackEntryInto(bytes, length, packed);
    if (storedSize == 0) return fail("cannot pack " + input.path);
    if (!fits(static_cast<int64_t>(storedSize))) return fail(kTooLarge);
    if (!out.Write(packed, storedSize)) return fail("cannot write beside " + path);
    OutputEntry& entry = all[keptCount + i];
    entry.packedSize = static_cast<uint32_t>(storedSize);
    entry.newPosition = position;
    position += entry.packedSize;
  }
  // Positions count from the end of the file, so the archive stays valid
  // whatever it is later appended to.
  const int64_t directory = position;
  const int64_t total = directory + directoryBytes + kTrailerSize;
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
  if (!out.Write(tail.data(), tail.size())) return fail("cannot write beside " + path);
  // The new file takes the old one's place (and its permissions) in one rename.
  if (!out.Commit()) return fail("cannot replace " + path);
  return true;
}
