// Read channels and the registry of memory files.
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/little_endian.h"
#include "files/files_internal.h"
#include "files/read_channel.h"
#include "platform/memory_probe.h"
#include "platform/platform.h"

namespace {

// A block that may be read as a memory file. A memory-file name carries a raw
// address, so a made-up or stale name must never reach memcpy: blocks in this
// registry open, and every read checks its block is still alive. A name of
// memory the registry does not know (a buffer a library function returned)
// opens when the system says the whole range is readable; such a block lives
// only while channels read it, and its bytes are copied through the kernel,
// so memory freed in the meantime ends the data instead of faulting.
struct MemoryBlock {
  const uint8_t* start = nullptr;
  uint64_t size = 0;
  uint64_t ticket = 0;
  int openChannels = 0;
  bool listed = true;               // names of it still open
  bool probed = false;              // not registered: found readable when opened
  std::unique_ptr<uint8_t[]> owned;  // blocks the resolvers extracted
};

struct Registry {
  std::mutex lock;
  std::map<uintptr_t, MemoryBlock*> byAddress;        // listed blocks
  std::unordered_map<uint64_t, MemoryBlock*> byTicket;  // every live block
  uint64_t nextTicket = 1;
};

Registry& Blocks() {
  static Registry* registry = new Registry;  // outlives every static user
  return *registry;
}

// Drops a block from both maps and frees it. Caller holds the lock.
void DestroyBlock(Registry& registry, MemoryBlock* block) {
  if (block->listed) {
    auto it = registry.byAddress.find(reinterpret_cast<uintptr_t>(block->start));
    if (it != registry.byAddress.end() && it->second == block) registry.byAddress.erase(it);
  }
  registry.byTicket.erase(block->ticket);
  delete block;
}

MemoryBlock* AddBlock(Registry& registry, const uint8_t* start, uint64_t size,
                      std::unique_ptr<uint8_t[]> owned) {
  auto it = registry.byAddress.find(reinterpret_cast<uintptr_t>(start));
  if (it != registry.byAddress.end()) {
    MemoryBlock* old = it->second;
    registry.byAddress.erase(it);
    old->listed = false;
    // An external block re-registered: the caller vouches for the memory
    // again, but channels opened on the old registration stop reading.
    if (!old->owned || old->openChannels == 0) DestroyBlock(registry, old);
  }
  auto* block = new MemoryBlock;
  block->start = start;
  block->size = size;
  block->ticket = registry.nextTicket++;
  block->owned = std::move(owned);
  registry.byAddress[reinterpret_cast<uintptr_t>(start)] = block;
  registry.byTicket[block->ticket] = block;
  return block;
}

// The listed block holding [address, address + size), or null.
MemoryBlock* FindBlock(Registry& registry, uintptr_t address, uint64_t size) {
  auto it = registry.byAddress.upper_bound(address);
  if (it == registry.byAddress.begin()) return nullptr;
  --it;
  MemoryBlock* block = it->second;
  const uintptr_t start = reinterpret_cast<uintptr_t>(block->start);
  const uint64_t offset = address - start;
  if (offset > block->size || size > block->size - offset) return nullptr;
  return block;
}

// The listed block whose bytes hold address: a name starting there is judged
// by that block alone (its owner said how large it is), or null.
MemoryBlock* BlockHolding(Registry& registry, uintptr_t address) {
  auto it = registry.byAddress.upper_bound(address);
  if (it == registry.byAddress.begin()) return nullptr;
  --it;
  MemoryBlock* block = it->second;
  return address - reinterpret_cast<uintptr_t>(block->start) < block->size ? block : nullptr;
}

// Whether [address, address + size) may be read as a memory file: inside a
// listed block, or readable memory that starts in no listed block.
bool MayRead(Registry& registry, uintptr_t address, uint64_t size, MemoryBlock** block) {
  *block = FindBlock(registry, address, size);
  if (*block != nullptr) return true;
  return BlockHolding(registry, address) == nullptr && platform::IsReadableMemory(address, size);
}

int64_t ReadMemory(ReadChannel& channel, void* buffer, int64_t count) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto it = registry.byTicket.find(channel.block);
  if (it == registry.byTicket.end()) return 0;  // block gone: nothing to read
  if (channel.position < 0 || channel.position >= channel.size) return 0;
  const int64_t left = channel.size - channel.position;
  const int64_t take = count < left ? count : left;
  if (it->second->probed) {
    const auto got = static_cast<int64_t>(platform::CopyOwnMemory(
        buffer, reinterpret_cast<uintptr_t>(channel.memory + channel.position), static_cast<uint64_t>(take)));
    channel.position += got;
    return got;
  }
  std::memcpy(buffer, channel.memory + channel.position, static_cast<size_t>(take));
  channel.position += take;
  return take;
}

// Opens a channel on [address, address + length) of a registered block.
bool OpenMemoryChannel(ReadChannel& channel, uintptr_t address, uint64_t length) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  MemoryBlock* block = nullptr;
  if (length > static_cast<uint64_t>(INT64_MAX) || !MayRead(registry, address, length, &block)) return false;
  if (block == nullptr) {
    block = new MemoryBlock;
    block->start = reinterpret_cast<const uint8_t*>(address);
    block->size = length;
    block->ticket = registry.nextTicket++;
    block->listed = false;
    block->probed = true;
    registry.byTicket[block->ticket] = block;
  }
  ++block->openChannels;
  channel.memory = reinterpret_cast<const uint8_t*>(address);
  channel.size = static_cast<int64_t>(length);
  channel.block = block->ticket;
  return true;
}

bool OpenRealChannel(ReadChannel& channel, const std::string& path) {
  const intptr_t handle = platform::OpenFileHandle(path.c_str(), platform::FileOpenMode::ReadExisting);
  if (handle == 0) return false;
  const int64_t size = platform::FileHandleSize(handle);
  channel.handle = handle;
  channel.size = size < 0 ? 0 : size;
  return true;
}

}  // namespace

namespace files_internal {

const uint8_t* AdoptMemoryFile(std::unique_ptr<uint8_t[]> data, uint64_t size) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  const uint8_t* start = data.get();
  AddBlock(registry, start, size, std::move(data));
  return start;
}

void ReleaseMemoryFile(const void* block) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto it = registry.byAddress.find(reinterpret_cast<uintptr_t>(block));
  if (it == registry.byAddress.end()) return;
  MemoryBlock* entry = it->second;
  registry.byAddress.erase(it);
  entry->listed = false;
  // A channel still reading an extracted block keeps it alive until it is
  // closed; the name itself no longer opens.
  if (!entry->owned || entry->openChannels == 0) DestroyBlock(registry, entry);
}

bool MemoryBlockBytes(const char* name, const uint8_t** bytes, uint64_t* size) {
  uint64_t length = 0;
  uintptr_t address = 0;
  if (!ParseMemoryFileName(name, &length, &address)) return false;
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  MemoryBlock* block = nullptr;
  if (!MayRead(registry, address, length, &block)) return false;
  *bytes = reinterpret_cast<const uint8_t*>(address);
  *size = length;
  return true;
}

bool IsListedMemoryBlock(const void* start) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  return registry.byAddress.count(reinterpret_cast<uintptr_t>(start)) != 0;
}

std::string ToSlashes(const char* name) {
  std::string path(name == nullptr ? "" : name);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace files_internal

void RegisterMemoryFile(const void* block, uint64_t size) {
  if (block == nullptr) return;
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  AddBlock(registry, static_cast<const uint8_t*>(block), size, nullptr);
}

void UnregisterMemoryFile(const void* block) {
  Registry& registry = Blocks();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto it = registry.byAddress.find(reinterpret_cast<uintptr_t>(block));
  if (it == registry.byAddress.end()) return;
  MemoryBlock* entry = it->second;
  entry->listed = false;
  registry.byAddress.erase(it);
  // The owner is about to free the memory: channels on it must stop now.
  if (!entry->owned || entry->openChannels == 0) DestroyBlock(registry, entry);
}

std::string MemoryFileName(const void* block, uint64_t size) {
  // "%8x" is a minimum width: a 64-bit address keeps all its digits, and one
  // that fits in 8 digits looks exactly as on a 32-bit host.
  char name[64];
  std::snprintf(name, sizeof name, "mem://%8" PRIx64 ".%8" PRIxPTR, size,
                reinterpret_cast<uintptr_t>(block));
  return name;
}

bool IsMemoryFileName(const char* name) {
  return name != nullptr && std::strncmp(name, "mem://", 6) == 0;
}

bool ParseMemoryFileName(const char* name, uint64_t* size, uintptr_t* address) {
  if (!IsMemoryFileName(name)) return false;
  // Size from character 6, address after the ".". strtoull accepts the
  // padding spaces; both fields must hold at least one digit.
  const char* text = name + 6;
  char* end = nullptr;
  while (*text == ' ') ++text;
  if (!std::isxdigit(static_cast<unsigned char>(*text))) return false;
  const unsigned long long length = std::strtoull(text, &end, 16);
  if (*end != '.') return false;
  text = end + 1;
  while (*text == ' ') ++text;
  if (!std::isxdigit(static_cast<unsigned char>(*text))) return false;
  const unsigned long long where = std::strtoull(text, &end, 16);
  if (*end != '\0') return false;
  *size = length;
  *address = static_cast<uintptr_t>(where);
  return true;
}

bool MemoryFileValid(const char* name) {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
  return files_internal::MemoryBlockBytes(name, &bytes, &size);
}

bool OpenReadChannel(ReadChannel& channel, const char* name) {
  CloseChannel(channel);
  if (name == nullptr || name[0] == '\0') return false;
  if (IsMemoryFileName(name)) {
    uint64_t length = 0;
    uintptr_t address = 0;
    if (!ParseMemoryFileName(name, &length, &address)) return false;
    return OpenMemoryChannel(channel, address, length);
  }
  if (OpenRealChannel(channel, files_internal::ToSlashes(name))) return true;
  std::string found;
  return FindRealPath(name, false, &found) && OpenRealChannel(channel, found);
}

bool OpenReadChannel(ReadChannel& channel, const ResolvedFile& file) {
  CloseChannel(channel);
  if (file.inMemory) return OpenMemoryChannel(channel, reinterpret_cast<uintptr_t>(file.bytes), file.size);
  return !file.path.empty() && OpenRealChannel(channel, file.path);
}

int64_t ChannelRead(ReadChannel& channel, void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  if (channel.memory != nullptr) return ReadMemory(channel, buffer, count);
  if (channel.handle == 0 || channel.position < 0) return 0;
  const int64_t got = platform::ReadFileAt(channel.handle, buffer, count, channel.position);
  if (got <= 0) return 0;
  channel.position += got;
  return got;
}

bool ChannelReadInt32(ReadChannel& channel, int32_t* value) {
  uint8_t bytes[4];
  if (ChannelRead(channel, bytes, 4) != 4) return false;
  // Assembled by hand: little-endian on any host.
  *value = static_cast<int32_t>(LoadLittle32(bytes));
  return true;
}

bool ChannelReadLine(ReadChannel& channel, char* buffer, int maximum) {
  if (buffer == nullptr || maximum <= 0) return false;
  const int limit = maximum - 1;
  int length = 0;
  bool gotAny = false;
  bool sawFeed = false;
  // Files are read in small blocks; what follows the line feed is left for
  // the next call by moving the position back.
  char block[64];
  while (length < limit && !sawFeed) {
    const int64_t want = std::min<int64_t>(sizeof block, limit - length);
    const int64_t start = channel.position;
    const int64_t got = ChannelRead(channel, block, want);
    if (got <= 0) break;
    gotAny = true;
    int64_t used = 0;
    while (used < got) {
      const char c = block[used++];
      if (c == '\n') {
        sawFeed = true;
        break;
      }
      buffer[length++] = c;
    }
    channel.position = start + used;
  }
  // A line feed right after a line cut at the limit belongs to that line.
  if (!sawFeed && length == limit && length > 0) {
    char next;
    const int64_t start = channel.position;
    if (ChannelRead(channel, &next, 1) == 1 && next != '\n') channel.position = start;
  }
  if (!gotAny) {
    buffer[0] = '\0';
    return false;
  }
  if (length > 0 && buffer[length - 1] == '\r') --length;
  buffer[length] = '\0';
  return true;
}

void CloseChannel(ReadChannel& channel) {
  if (channel.handle != 0) platform::CloseFileHandle(channel.handle);
  if (channel.memory != nullptr && channel.block != 0) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.byTicket.find(channel.block);
    if (it != registry.byTicket.end()) {
      MemoryBlock* block = it->second;
      if (block->openChannels > 0) --block->openChannels;
      if (!block->listed && block->openChannels == 0) DestroyBlock(registry, block);
    }
  }
  channel = ReadChannel{};
}
