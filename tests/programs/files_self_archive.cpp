// A program that reads media from the archive appended to itself, the way a
// shipped game does: SetArchive(own path), then ordinary file commands.
//   files_self_archive TEXT-ENTRY [BINARY-ENTRY OUTPUT]
// prints the lines of TEXT-ENTRY and copies BINARY-ENTRY to OUTPUT.
#include <cstdio>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "files/read_channel.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string self = platform::ExecutablePath();
  SetArchive(self.c_str(), self.c_str());
  if (!OpenFile(1, argv[1], 1)) {
    std::printf("cannot open %s: error %d\n", argv[1], LastErrorCode);
    return 1;
  }
  BasicString line;
  while (!EndOfFile(1)) {
    ReadLine(1, line);
    std::printf("line: %s\n", line.c_str());
  }
  CloseFile(1);
  if (argc >= 4) {
    char name[kMaxFileName];
    if (!ResolveFileName(MemoryResolver(), argv[2], name, true) || !DuplicateFile(name, argv[3])) {
      std::printf("cannot copy %s\n", argv[2]);
      return 1;
    }
  }
  return 0;
}
