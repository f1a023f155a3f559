// Movie decoding (implemented in ffmpeg_movie.cpp over FFmpeg's libraries):
// pictures as RGBA with their presentation times, sound as float samples.
// H.264, VP9, MPEG-4 Part 2, Theora and whatever else the libraries decode,
// in MP4, MKV, WebM, AVI, OGG and the other containers they read.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct Movie;

// From a file, or from bytes (copied: the movie keeps its own). Null when
// the container or its video stream cannot be read, and when its pictures
// pass 8192 x 8192 pixels (or 16384 on a side; the video streams together,
// while the streams are searched): those are refused before a decoder
// allocates one.
Movie* OpenMovieFile(const char* path);
Movie* OpenMovieBytes(const uint8_t* bytes, uint64_t size);
void CloseMovie(Movie* movie);

struct MovieFacts {
  int width = 0, height = 0;  // of the pictures
  int channels = 0;           // of the sound: 0 (none), 1 or 2
  int rate = 0;               // sound frames per second
};
MovieFacts DescribeMovie(Movie* movie);

enum class MovieItem { End, Picture, Sound };
struct MoviePicture {
  std::vector<uint8_t> rgba;  // width x height, top row first
  double time = 0;            // presentation time in milliseconds from the start
};
// Decodes on to the next picture or block of sound (interleaved float
// samples, channels of DescribeMovie); End after the last one or on damage.
MovieItem DecodeMovie(Movie* movie, MoviePicture* picture, std::vector<float>* sound);

}  // namespace platform
