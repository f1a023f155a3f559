// SavePicture and what the three writers share: opening the target file.
#include <cctype>
#include <cstring>

#include "core/core.h"
#include "files/file_write.h"
#include "files/read_channel.h"
#include "gfx2d/internal/codec_common.h"
#include "gfx2d/picture.h"

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

bool BeginWriting(const char* name, FileReplacement& file) {
  if (name == nullptr || *name == 0 || IsMemoryFileName(name) || std::strncmp(name, "mem://", 6) == 0) return false;
  return file.Begin(name);
}

}  // namespace codec

namespace {

bool WritePicture(const char* name, const Picture& picture) {
  if (name == nullptr) return false;
  // Nothing to write: fail before an existing file of that name is touched.
  if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0) return false;
  const size_t length = std::strlen(name);
  if (length >= 5 && EndsWithNoCase(name, length, ".png")) return codec::WritePNG(name, picture);
  if (EndsWithNoCase(name, length, "jpg")) return codec::WriteJPEG(name, picture);
  return codec::WriteBMP(name, picture);
}

}  // namespace

bool SavePicture(const char* name, const Picture& picture) {
  if (WritePicture(name, picture)) return true;
  SetLastError(kErrorNoSuchFile);
  return false;
}
