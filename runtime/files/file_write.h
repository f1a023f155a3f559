// Writing a whole file in one step, for savers that build their file in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Replaces the file with the bytes: they go to a file beside it, reach the
// disk and are renamed over the old one, so the name always holds either the
// old or the new file. A folder part that does not exist as written is
// matched without regard to letter case. Memory-file names are refused
// (memory files are read-only). False on any failure, the old file intact.
// The rules of every replacement (platform::OpenReplacement): a symbolic
// link is followed and the file it leads to replaced, the link kept; the
// new file keeps the old one's permissions (and owner, where the process
// may set it), a new file gets 0666 less the umask; a file nobody may write
// (no write bit, even for root) or this process may not write is refused.
bool WriteWholeFileReplacing(const char* name, const void* bytes, size_t size);

// The same replacement for savers that produce their file piece by piece
// (the picture writers, through their libraries' output callbacks): Begin,
// any number of Write calls, then Commit. The pieces go to "<name>.vlmnew"
// beside the file (".vlmnew-" and 16 hex digits where that name would pass
// 255 bytes), a name fixed per target, so a file left there by a saver that
// was killed is replaced by the next save of the same name. Until Commit
// succeeds the target is untouched; a replacement that is dropped (or never
// committed) removes its temporary file.
class FileReplacement {
 public:
  FileReplacement() = default;
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  ~FileReplacement() { Abandon(); }
  // Opens the temporary file for the file name (resolved as for
  // WriteWholeFileReplacing); false for memory-file names and when it cannot
  // be created.
  bool Begin(const char* name);
  // The same for an OS path taken as it is.
  bool BeginAt(const std::string& path);
  // Appends bytes. After the first failure every later call fails too, and
  // so does Commit.
  bool Write(const void* bytes, size_t size);
  // Brings everything to the disk and renames it over the target. False,
  // with the old file intact and the temporary removed, on any failure.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Abandon();

 private:
  bool Flush();
  std::string path_, temporary_;
  intptr_t handle_ = 0;
  int64_t position_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> buffer_;
};
