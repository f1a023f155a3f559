// Feeds arbitrary bytes to the archive reader as the archive of both
// resolvers: the trailer, the directory walk and LZO unpacking must reject
// damage without reading outside the input or allocating without bound.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/archive.h"
#include "files/read_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so the address sanitizer sees any read past its end.
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size > 0) std::memcpy(block.get(), data, size);
  RegisterMemoryFile(block.get(), size);
  const std::string archive = MemoryFileName(block.get(), size);
  SetArchive(archive.c_str(), archive.c_str());

  // The directory walk as the loaders use it: a fixed name, and the names the
  // directory itself holds (in another letter case, behind a folder).
  std::vector<std::string> names = {"media/a.png"};
  ReadChannel channel;
  std::vector<ArchiveEntry> entries;
  if (OpenReadChannel(channel, archive.c_str())) {
    ListArchive(channel, &entries);  // a damaged tail still leaves the entries before it
    for (const ArchiveEntry& entry : entries) {
      std::unique_ptr<uint8_t[]> unpacked;
      uint32_t unpackedSize = 0;
      if (UnpackArchiveEntry(channel, entry, &unpacked, &unpackedSize) && unpackedSize > 0) {
        volatile uint8_t last = unpacked[unpackedSize - 1];
        (void)last;
      }
      if (names.size() < 4) {
        std::string upper = "Folder\\" + entry.name;
        for (char& c : upper)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        names.push_back(upper);
      }
    }
    CloseChannel(channel);
  }
  for (const std::string& name : names) {
    char resolved[kMaxFileName];
    if (!ResolveFileName(MemoryResolver(), name.c_str(), resolved, true)) continue;
    ReadChannel entry;
    if (!OpenReadChannel(entry, resolved)) continue;
    char line[256];
    while (ChannelReadLine(entry, line, sizeof line)) {
    }
    CloseChannel(entry);
  }
  SetArchive("", "");
  UnregisterMemoryFile(block.get());
  return 0;
}
