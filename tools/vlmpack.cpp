// vlmpack: puts files into the media archive at the end of a program (or of
// any file) and lists or extracts what an archive holds.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "lib/archive_writer.h"
#include "files/archive.h"
#include "files/read_channel.h"
#include "platform/platform.h"

namespace {

const char kHelp[] =
    "vlmpack - the media archive appended to a Velmora program\n"
    "\n"
    "usage:\n"
    "  vlmpack add TARGET FILE...\n"
    "      Packs each FILE (LZO1X-1) as an entry of the archive at the end of\n"
    "      TARGET, named after the FILE's base name. NAME=FILE stores FILE as\n"
    "      entry NAME. Entry names hold no folders: the program finds\n"
    "      \"media/logo.png\" as the entry \"logo.png\", in any letter case.\n"
    "  vlmpack list TARGET\n"
    "      Prints one line per entry: name, packed bytes, unpacked bytes.\n"
    "  vlmpack extract TARGET ENTRY OUTPUT\n"
    "      Writes the unpacked bytes of ENTRY to the file OUTPUT.\n"
    "  vlmpack --help\n"
    "\n"
    "Adding to a TARGET that already carries an archive keeps its entries;\n"
    "an added entry replaces an old one of the same name (any letter case).\n"
    "The entries' data, the directory and the trailer are written anew at the\n"
    "end of TARGET; the bytes before the archive are not touched. TARGET is\n"
    "rebuilt beside itself and renamed into place with its permissions (a\n"
    "symbolic link is followed and the file it leads to replaced), so a\n"
    "failure leaves it as it was. A TARGET whose archive is damaged, or that\n"
    "nobody may write, is refused.\n"
    "The program opens its own archive at start-up (SetArchive with its path).\n"
    "\n"
    "Each FILE must be a regular file (not a folder, FIFO or device) of at\n"
    "most 512 MiB, and entry names hold no control characters. Sizes are\n"
    "checked before anything is read: a request whose entries could not fit\n"
    "in the 2 GiB an archive addresses is refused at once.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

int Usage() {
  std::fputs(kHelp, stderr);
  return 2;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool OpenArchive(const char* target, ReadChannel& channel, std::vector<ArchiveEntry>* entries) {
  if (!OpenReadChannel(channel, target)) {
    std::fprintf(stderr, "vlmpack: cannot open %s\n", target);
    return false;
  }
  const ArchiveStatus status = ListArchive(channel, entries);
  if (status == ArchiveStatus::Ok) return true;
  std::fprintf(stderr, "vlmpack: %s %s\n", target,
               status == ArchiveStatus::NoArchive ? "carries no archive" : "has a damaged archive");
  CloseChannel(channel);
  return false;
}

int Add(const char* target, int count, char** files) {
  std::vector<ArchiveInput> inputs;
  for (int i = 0; i < count; ++i) {
    const std::string argument = files[i];
    const size_t equals = argument.find('=');
    // Only looked at, never opened: opening a FIFO would wait for a writer.
    const bool exists = platform::QueryPathKind(argument.c_str()) != platform::PathKind::Missing;
    if (equals != std::string::npos && !exists) {
      inputs.push_back({argument.substr(0, equals), argument.substr(equals + 1)});
    } else {
      inputs.push_back({BaseName(argument), argument});
    }
  }
  std::string error;
  if (!AppendToArchive(target, inputs, &error)) {
    std::fprintf(stderr, "vlmpack: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int List(const char* target) {
  ReadChannel channel;
  std::vector<ArchiveEntry> entries;
  if (!OpenArchive(target, channel, &entries)) return 1;
  for (const ArchiveEntry& entry : entries) {
    channel.position = entry.position;
    int32_t unpacked = 0;
    if (!ChannelReadInt32(channel, &unpacked)) unpacked = -1;
    std::printf("%s\t%u\t%u\n", entry.name.c_str(), entry.packedSize, static_cast<uint32_t>(unpacked));
  }
  CloseChannel(channel);
  return 0;
}

int Extract(const char* target, const char* name, const char* output) {
  ReadChannel channel;
  std::vector<ArchiveEntry> entries;
  if (!OpenArchive(target, channel, &entries)) return 1;
  ArchiveEntry entry;
  const ArchiveStatus status = FindArchiveEntry(channel, BaseName(name).c_str(), &entry);
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
  const bool ok = status == ArchiveStatus::Ok && UnpackArchiveEntry(channel, entry, &data, &size);
  CloseChannel(channel);
  if (!ok) {
    std::fprintf(stderr, "vlmpack: %s: %s\n", name, status == ArchiveStatus::NotFound ? "no such entry" : "damaged entry");
    return 1;
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.get()), size);
  out.flush();
  if (!out) {
    std::fprintf(stderr, "vlmpack: cannot write %s\n", output);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "add") == 0) return Add(argv[2], argc - 3, argv + 3);
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3], argv[4]);
  return Usage();
}
