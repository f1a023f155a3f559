// The BASIC file commands: eight numbered channels with raw values and text
// lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "files/files.h"
#include "files/files_internal.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace {

ReadChannel g_channels[kFileChannels];

constexpr int kLineLength = 1024;

bool IsOpen(const ReadChannel& channel) { return channel.handle != 0 || channel.memory != nullptr; }

// A failed raw read or write ends the program as a failure. END returns
// only when it is already running; the caller then carries on with a zero value.
bool Stop(int32_t code) {
  EndWithError(code);
  return false;
}

ReadChannel* ChannelFor(int channel) {
  if (channel < 0 || channel >= kFileChannels) return nullptr;
  return &g_channels[channel];
}

bool ReadRaw(int number, void* out, int64_t count) {
  std::memset(out, 0, static_cast<size_t>(count));
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) return Stop(7);
  if (!IsOpen(*channel) || ChannelRead(*channel, out, count) != count) return Stop(3);
  return true;
}

bool WriteRaw(int number, const void* bytes, int64_t count) {
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) return Stop(7);
  if (channel->handle == 0 || !channel->writable || channel->position < 0) return Stop(3);
  if (count == 0) return true;
  if (platform::WriteFileAt(channel->handle, bytes, count, channel->position) != count) return Stop(3);
  channel->position += count;
  if (channel->position > channel->size) channel->size = channel->position;
  return true;
}

template <int N>
bool ReadLittle(int channel, uint64_t* value) {
  uint8_t bytes[N];
  *value = 0;
  if (!ReadRaw(channel, bytes, N)) return false;
  for (int i = N - 1; i >= 0; --i) *value = *value << 8 | bytes[i];
  return true;
}

template <int N>
bool WriteLittle(int channel, uint64_t value) {
  uint8_t bytes[N];
  for (int i = 0; i < N; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  return WriteRaw(channel, bytes, N);
}

int64_t SignExtend(uint64_t value, int bits) {
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>((value ^ sign) - sign);
}

bool ReadLineText(int number, std::string* line) {
  line->clear();
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) return Stop(7);
  char buffer[kLineLength + 1];
  if (!IsOpen(*channel) || !ChannelReadLine(*channel, buffer, sizeof buffer)) return Stop(3);
  line->assign(buffer);
  return true;
}

}  // namespace

namespace files_internal {

void CloseAllChannels() {
  for (ReadChannel& channel : g_channels) CloseChannel(channel);
}

std::string WritePath(const char* name, bool matchExistingFile) {
  std::string path = ToSlashes(name);
  std::string found;
  if (matchExistingFile && FindRealPath(path.c_str(), false, &found)) return found;
  // The folder part may be spelled in another letter case than on disk; the
  // file name itself is kept as given.
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return path;
  const std::string folder = path.substr(0, slash);
  const bool exists = platform::QueryPathKind(folder.c_str()) == platform::PathKind::Directory;
  if (!exists && FindRealPath(folder.c_str(), true, &found))
    return found + path.substr(slash);
  return path;
}

}  // namespace files_internal

const ReadChannel* FileChannel(int channel) { return ChannelFor(channel); }

bool OpenFile(int number, const char* name, int mode) {
  files_internal::EnsureExitFlush();
  ClearLastError();
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  CloseChannel(*channel);
  if (name == nullptr || name[0] == '\0') {
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  if (mode > 0) {
    ResolvedFile file;
    if (!ResolveFile(MemoryResolver(), name, &file) || !OpenReadChannel(*channel, file)) {
      SetLastError(kErrorNoSuchFile);
      return false;
    }
    return true;
  }
  if (IsMemoryFileName(name)) {  // memory files are read-only
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  const std::string path = files_internal::WritePath(name, false);
  if (mode == 0) platform::RemovePath(path.c_str());  // a file or an empty folder of that name
  const intptr_t handle = platform::OpenFileHandle(
      path.c_str(), mode == 0 ? platform::FileOpenMode::CreateReadWrite : platform::FileOpenMode::OpenOrCreateWrite);
  if (handle == 0) {
    SetLastError(kErrorNoSuchFile);
    return false;
  }
  channel->handle = handle;
  channel->writable = true;
  // Writes go to the position and keep the size up to date, so that an
  // append channel starts at the end and seeking from the end of a file
  // being written finds the real end.
  if (mode < 0) {
    const int64_t size = platform::FileHandleSize(handle);
    channel->size = size < 0 ? 0 : size;
    channel->position = channel->size;
  }
  return true;
}

void CloseFile(int number) {
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  CloseChannel(*channel);
}

int FindFreeChannel() {
  // A channel holding a memory file has no handle but is not free either.
  for (int i = 0; i < kFileChannels; ++i)
    if (!IsOpen(g_channels[i])) return i;
  return -1;
}

bool EndOfFile(int number) {
  const ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return true;
  }
  return channel->position >= channel->size;
}

int64_t FilePosition(int number) {
  const ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return 0;
  }
  return channel->position;
}

void SeekFile(int number, int64_t offset, int mode) {
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return;
  }
  if (!IsOpen(*channel)) return;
  // Positions before the start read as the start; one past the largest
  // position a channel can hold stays at that largest position.
  const int64_t base = mode > 0 ? channel->position : mode < 0 ? channel->size : 0;
  int64_t position = 0;
  if (__builtin_add_overflow(base, offset, &position)) position = offset < 0 ? 0 : INT64_MAX;
  channel->position = position < 0 ? 0 : position;
}

bool ReadInt8(int channel, int32_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<1>(channel, &raw);
  value = static_cast<int32_t>(SignExtend(raw, 8));
  return ok;
}

bool ReadUInt8(int channel, int32_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<1>(channel, &raw);
  value = static_cast<int32_t>(raw);
  return ok;
}

bool ReadInt16(int channel, int32_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<2>(channel, &raw);
  value = static_cast<int32_t>(SignExtend(raw, 16));
  return ok;
}

bool ReadUInt16(int channel, int32_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<2>(channel, &raw);
  value = static_cast<int32_t>(raw);
  return ok;
}

bool ReadInt32(int channel, int32_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<4>(channel, &raw);
  value = static_cast<int32_t>(SignExtend(raw, 32));
  return ok;
}

bool ReadUInt32(int channel, int64_t& value) {
  uint64_t raw;
  const bool ok = ReadLittle<4>(channel, &raw);
  value = static_cast<int64_t>(raw);
  return ok;
}

namespace {

template <typename Read, typename T>
bool ReadAsNumber(Read read, int channel, double& value) {
  T raw = 0;
  const bool ok = read(channel, raw);
  value = static_cast<double>(raw);
  return ok;
}

}  // namespace

bool ReadInt8(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int32_t&), int32_t>(ReadInt8, channel, value);
}
bool ReadUInt8(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int32_t&), int32_t>(ReadUInt8, channel, value);
}
bool ReadInt16(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int32_t&), int32_t>(ReadInt16, channel, value);
}
bool ReadUInt16(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int32_t&), int32_t>(ReadUInt16, channel, value);
}
bool ReadInt32(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int32_t&), int32_t>(ReadInt32, channel, value);
}
bool ReadUInt32(int channel, double& value) {
  return ReadAsNumber<bool (*)(int, int64_t&), int64_t>(ReadUInt32, channel, value);
}

bool ReadFloat32(int channel, double& value) {
  uint64_t raw;
  const bool ok = ReadLittle<4>(channel, &raw);
  const uint32_t bits = static_cast<uint32_t>(raw);
  float single;
  std::memcpy(&single, &bits, sizeof single);
  value = single;
  return ok;
}

bool ReadFloat64(int channel, double& value) {
  uint64_t raw;
  const bool ok = ReadLittle<8>(channel, &raw);
  std::memcpy(&value, &raw, sizeof value);
  return ok;
}

bool ReadString(int number, BasicString& value, int64_t count) {
  value = BasicString();
  ReadChannel* channel = ChannelFor(number);
  if (channel == nullptr) return Stop(7);
  if (count <= 0) return true;
  // Refuse before allocating: a wild count must not ask for gigabytes that
  // the file cannot fill anyway.
  if (!IsOpen(*channel) || count > channel->size - channel->position || count > 0x7FFFFFFE) return Stop(3);
  std::string bytes(static_cast<size_t>(count), '\0');
  if (!ReadRaw(number, bytes.data(), count)) return false;
  value = BasicString(bytes.data(), static_cast<uint32_t>(count));
  return true;
}

bool ReadLine(int channel, BasicString& value) {
  std::string line;
  const bool ok = ReadLineText(channel, &line);
  value = BasicString(line.data(), static_cast<uint32_t>(line.size()));
  return ok;
}

bool ReadNumberLine(int channel, double& value) {
  std::string line;
  const bool ok = ReadLineText(channel, &line);
  value = std::atof(line.c_str());
  return ok;
}

bool ReadIntLine(int channel, int32_t& value) {
  std::string line;
  const bool ok = ReadLineText(channel, &line);
  value = std::atoi(line.c_str());
  return ok;
}

bool WriteInt16(int channel, int64_t value) { return WriteLittle<2>(channel, static_cast<uint64_t>(value)); }
bool WriteInt32(int channel, int64_t value) { return WriteLittle<4>(channel, static_cast<uint64_t>(value)); }
bool WriteUInt8(int channel, int64_t value) { return WriteLittle<1>(channel, static_cast<uint64_t>(value)); }
bool WriteUInt16(int channel, int64_t value) { return WriteLittle<2>(channel, static_cast<uint64_t>(value)); }
bool WriteUInt32(int channel, int64_t value) { return WriteLittle<4>(channel, static_cast<uint64_t>(value)); }

bool WriteFloat32(int channel, double value) {
  const float single = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &single, sizeof bits);
  return WriteLittle<4>(channel, bits);
}

bool WriteFloat64(int channel, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return WriteLittle<8>(channel, bits);
}

bool WriteString(int channel, const BasicString& text) { return WriteRaw(channel, text.c_str(), text.Length()); }

bool WriteLine(int channel, const BasicString& text) {
  std::string line(text.c_str(), text.Length());
  line += "\r\n";
  return WriteRaw(channel, line.data(), static_cast<int64_t>(line.size()));
}
