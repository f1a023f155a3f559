// SavePicture and what the three writers share: opening the target file.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/files.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"
#include "platform/platform.h"

namespace {

bool EndsWithNoCase(const char* name, size_t length, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(name[length - n + i])) != suffix[i]) return false;
  return true;
}

}  // namespace

namespace codec {

FILE* OpenForWriting(const char* name, std::string& path) {
  if (name == nullptr || *name == 0 || IsMemoryFileName(name) || std::strncmp(name, "mem://", 6) == 0)
    return nullptr;
  path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  // Replace whatever is there: a file is deleted, an empty directory removed.
  // A directory with contents stays, and the open fails on it.
  return platform::CreateFileStream(path.c_str());
}

bool FinishWriting(FILE* file, const std::string& path, bool ok) {
  if (std::fclose(file) != 0) ok = false;
  if (!ok) platform::RemovePath(path.c_str());
  return ok;
}

}  // namespace codec

bool SavePicture(const char* name, const Picture& picture) {
  if (name == nullptr) return false;
  // Nothing to write: fail before an existing file of that name is touched.
  if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0) return false;
  const size_t length = std::strlen(name);
  if (length >= 5 && EndsWithNoCase(name, length, ".png")) return codec::WritePNG(name, picture);
  if (EndsWithNoCase(name, length, "jpg")) return codec::WriteJPEG(name, picture);
  return codec::WriteBMP(name, picture);
}
