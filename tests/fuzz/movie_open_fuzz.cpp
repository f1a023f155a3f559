// Movie file opening: each input as a movie, through the runtime's FFmpeg
// code (platform::OpenMovieBytes, or OpenMovieFile of a scratch file when
// the first byte is odd), then decoded for a bounded number of items. What
// opens must describe pictures of a size above 0 and sound of 0 to 2
// channels; every picture and block of sound must have the size described.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/movie.h"

namespace {

constexpr int kMostItems = 64;

std::string ScratchFile() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vlmfuzz-movie-" +
         std::to_string(getpid()) + ".bin";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  platform::Movie* movie = nullptr;
  if ((data[0] & 1) != 0) {
    const std::string path = ScratchFile();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (std::fwrite(data + 1, 1, size - 1, file) != size - 1) std::abort();
    std::fclose(file);
    movie = platform::OpenMovieFile(path.c_str());
    std::remove(path.c_str());
  } else {
    movie = platform::OpenMovieBytes(data + 1, size - 1);
  }
  if (movie == nullptr) return 0;
  const platform::MovieFacts facts = platform::DescribeMovie(movie);
  if (facts.width <= 0 || facts.height <= 0 || facts.channels < 0 || facts.channels > 2) std::abort();
  if (facts.channels > 0 && facts.rate <= 0) std::abort();
  platform::MoviePicture picture;
  std::vector<float> sound;
  for (int i = 0; i < kMostItems; ++i) {
    const platform::MovieItem item = platform::DecodeMovie(movie, &picture, &sound);
    if (item == platform::MovieItem::End) break;
    if (item == platform::MovieItem::Picture &&
        picture.rgba.size() != static_cast<size_t>(facts.width) * facts.height * 4)
      std::abort();
    if (item == platform::MovieItem::Sound && (facts.channels == 0 || sound.size() % facts.channels != 0))
      std::abort();
  }
  platform::CloseMovie(movie);
  return 0;
}
