// Loading a picture file: one resolution and one open, the three readers in
// turn, and a diagnostic line for a failed load in debug mode.
#include <string>

#include "core/core.h"
#include "core/settings.h"
#include "files/archive.h"
#include "files/read_channel.h"
#include "gfx2d/gfx2d_internal.h"
#include "gfx2d/picture.h"

namespace gfx2d {

namespace {

// "Picture not loaded: <name>: <reason>", to the debugger and standard error,
// only in debug mode: the run log stays as it is.
void ReportFailedLoad(const char* name, PictureFault fault) {
  if (Settings().DebugMode == 0) return;
  const std::string line =
      std::string("Picture not loaded: ") + (name != nullptr ? name : "") + ": " + PictureFaultText(fault) + "\n";
  DebugOutput(line.c_str());
  ErrorOutput(line.c_str());
}

// The reason that counts among the readers' answers: the first reader that
// knew the format says what was wrong; if none knew it, it is no picture.
void Note(PictureFault& overall, PictureFault fault) {
  if (overall == PictureFault::kNone || overall == PictureFault::kNotAPicture) overall = fault;
}

// A picture read whole, handed to a sink row by row and then let go.
bool Feed(Picture& picture, PictureRowSink& sink) {
  const bool ok = sink.Begin(picture.width, picture.height, picture.ownAlpha != 0);
  for (int32_t y = 0; ok && y < picture.height; ++y) sink.Row(y, picture.Pixel(0, y));
  picture.Clear();
  return ok;
}

// Into the picture, or (sink not null) into the sink: only the PNG reader
// hands its rows over as it goes; a BMP or JPEG picture is read whole first.
bool Load(const char* name, Picture& picture, PictureRowSink* sink, int32_t key, bool tryJpeg,
          DecodeLimits& limits) {
  limits.fault = PictureFault::kNone;
  if (name == nullptr || name[0] == 0) {
    limits.fault = PictureFault::kNotFound;
    return false;
  }
  // One resolution, one open; each decoder starts from the first byte.
  ResolvedFile file;
  ReadChannel channel;
  const uint64_t damagedBefore = DamagedArchiveEntries();
  if (!ResolveFile(MemoryResolver(), name, &file) || !OpenReadChannel(channel, file)) {
    limits.fault =
        DamagedArchiveEntries() != damagedBefore ? PictureFault::kArchiveDamaged : PictureFault::kNotFound;
    picture.Clear();
    return false;
  }
  // Messages name the real file, or the name the program gave for a block.
  const char* label = file.inMemory ? name : file.path.c_str();
  PictureFault fault = PictureFault::kNone;
  bool ok = ReadBMP(picture, channel, key, &limits);
  if (ok && sink != nullptr) ok = Feed(picture, *sink);
  Note(fault, limits.fault);
  // A reader that recognised its format and found the picture too large has
  // the last word: the others would only call it no picture.
  if (!ok && fault != PictureFault::kTooLarge) {
    channel.position = 0;
    ok = sink != nullptr ? ReadPNG(*sink, channel, key, label, &limits)
                         : ReadPNG(picture, channel, key, label, &limits);
    Note(fault, limits.fault);
  }
  if (!ok && tryJpeg && fault != PictureFault::kTooLarge) {
    channel.position = 0;
    ok = ReadJPEG(picture, channel, &limits);
    if (ok && sink != nullptr) ok = Feed(picture, *sink);
    Note(fault, limits.fault);
  }
  CloseChannel(channel);
  if (!ok) picture.Clear();
  limits.fault = ok ? PictureFault::kNone : fault;
  return ok;
}

}  // namespace

bool LoadPictureFile(const char* name, Picture& picture, int32_t key, bool tryJpeg, DecodeLimits* limits) {
  DecodeLimits defaults;
  DecodeLimits& used = limits != nullptr ? *limits : defaults;
  const bool ok = Load(name, picture, nullptr, key, tryJpeg, used);
  if (!ok) ReportFailedLoad(name, used.fault);
  return ok;
}

bool LoadPictureFile(const char* name, PictureRowSink& sink, int32_t key, bool tryJpeg, DecodeLimits* limits) {
  DecodeLimits defaults;
  DecodeLimits& used = limits != nullptr ? *limits : defaults;
  Picture picture;
  const bool ok = Load(name, picture, &sink, key, tryJpeg, used);
  if (!ok) ReportFailedLoad(name, used.fault);
  return ok;
}

}  // namespace gfx2d
