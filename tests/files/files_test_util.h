// Helpers shared by the files tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/archive_writer.h"
#include "files/archive.h"
#include "files/read_channel.h"
#include "platform/platform.h"
#include "support/child_process.h"

namespace files_test {

// A temporary folder that is also this process's TMPDIR while it lives, so
// temporary files the runtime makes land inside it.
class TempFolder {
 public:
  TempFolder() {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) old_ = old;
    platform::SetEnvironmentVariable("TMPDIR", dir_.path().c_str());
  }
  ~TempFolder() { platform::SetEnvironmentVariable("TMPDIR", old_.c_str()); }
  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  testing_support::TempDir dir_;
  std::string old_;
};

inline std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += static_cast<char>(v);
  return text;
}

// Deterministic bytes with some repetition, so LZO has work to do.
inline std::string Pattern(size_t size, uint32_t seed) {
  std::string text(size, '\0');
  uint32_t state = seed;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    text[i] = (i / 64) % 3 == 0 ? static_cast<char>('a' + (i % 7)) : static_cast<char>(state >> 24);
  }
  return text;
}

// Writes each (entry name, bytes) to a file and appends them to target.
inline bool AddEntries(const std::string& folder, const std::string& target,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<ArchiveInput> inputs;
  int index = 0;
  for (const auto& [name, bytes] : entries) {
    const std::string source = folder + "entry-source-" + std::to_string(index++);
    testing_support::WriteWholeFile(source, bytes);
    inputs.push_back({name, source});
  }
  std::string error;
  return AppendToArchive(target.c_str(), inputs, &error);
}

// Everything a channel delivers until it runs dry.
inline std::string Drain(ReadChannel& channel) {
  std::string all;
  char buffer[777];
  for (;;) {
    const int64_t got = ChannelRead(channel, buffer, sizeof buffer);
    if (got <= 0) break;
    all.append(buffer, static_cast<size_t>(got));
  }
  return all;
}

inline std::string ReadByName(const char* name) {
  ReadChannel channel;
  if (!OpenReadChannel(channel, name)) return "<no open>";
  std::string bytes = Drain(channel);
  CloseChannel(channel);
  return bytes;
}

}  // namespace files_test
