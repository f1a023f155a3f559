// Packing entries and rebuilding the media archive at the end of a file.
#include "lib/archive_writer.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "core/little_endian.h"
#include "files/archive.h"
#include "files/read_channel.h"

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

bool PackEntryData(const uint8_t* data, size_t size, std::vector<uint8_t>* packed) {
  if (!ArchiveLzoReady() || size > 0xFFFFFFFFu) return false;
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
      if (SameNameIgnoringCase(other.name, input.name))
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
    const int32_t stored = static_cast<int32_t>(LoadLittle32(trailer + 3));
    const int64_t directory = stored < 0 ? oldSize + stored : stored;
    contiguous = contiguous && cursor == directory && dataBytes + (oldSize - directory) == covered;
    if (contiguous) keepBytes = archiveStart;
    for (const ArchiveEntry& entry : old) {
      bool replaced = false;
      for (const OutputEntry& other : fresh)
        replaced = replaced || SameNameIgnoringCase(other.name, entry.name);
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
