// Movie decoding over FFmpeg's libraries (libavformat, libavcodec, libswscale, libswresample).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/movie.h"

namespace platform {

struct Movie {
  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;  // for a movie from bytes
  std::vector<uint8_t> bytes;
  int64_t readAt = 0;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int videoStream = -1, audioStream = -1;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  bool flushed = false;  // the container is read to its end
  MovieFacts facts;
  // The sound as the resampler was set up for it; blocks in another shape
  // (a stream that changes on the way) are dropped.
  int soundChannels = 0, soundRate = 0, soundFormat = -1;
};

namespace {

// Pictures larger than this (8K with room) are refused before any decoder
// allocates one: a header of a few bytes can announce gigapixels.
constexpr int64_t kMostPixels = int64_t{8192} * 8192;
constexpr int kMostSide = 16384;
// Sound rates the mixer's converter is given.
constexpr int kMostSoundRate = 768000;
// What the stream search reads and decodes before the movie starts: enough
// for any real container's streams, and a bound on the work a hostile file
// can ask for (FFmpeg's own defaults, stated here so no build changes them).
constexpr int64_t kProbeBytes = 5000000;
constexpr int64_t kAnalyzeMicroseconds = 5000000;
constexpr int kMostProbePackets = 5000;
// The largest block the libraries may allocate at once: one plane of the
// largest picture allowed at 8 bytes a pixel (16-bit RGBA), with room for
// the decoders' padding; whatever a decoder is asked for, no single
// allocation of a picture passes what one of an allowed picture may take.
constexpr size_t kMostBlock = static_cast<size_t>(kMostPixels) * 8 + (size_t{32} << 20);

bool PictureSizeAllowed(int width, int height) {
  return width > 0 && height > 0 && width <= kMostSide && height <= kMostSide &&
         int64_t{width} * height <= kMostPixels;
}

void LimitBlocks() {
  static const bool limited = [] {
    av_max_alloc(kMostBlock);
    return true;
  }();
  (void)limited;
}

// The options every opening starts from: bounded probing, and the protocols
// allowed ("file" or "none").
AVDictionary* OpeningOptions(const char* protocols) {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", protocols, 0);
  av_dict_set_int(&options, "probesize", kProbeBytes, 0);
  av_dict_set_int(&options, "analyzeduration", kAnalyzeMicroseconds, 0);
  return options;
}

int ReadBytes(void* opaque, uint8_t* buffer, int size) {
  Movie* m = static_cast<Movie*>(opaque);
  const int64_t left = static_cast<int64_t>(m->bytes.size()) - m->readAt;
  if (left <= 0) return AVERROR_EOF;
  const int n = static_cast<int>(std::min<int64_t>(left, size));
  std::memcpy(buffer, m->bytes.data() + m->readAt, static_cast<size_t>(n));
  m->readAt += n;
  return n;
}

int64_t SeekBytes(void* opaque, int64_t offset, int whence) {
  Movie* m = static_cast<Movie*>(opaque);
  const int64_t size = static_cast<int64_t>(m->bytes.size());
  if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) return size;
  int64_t to = offset;
  if ((whence & 3) == SEEK_CUR) to += m->readAt;
  if ((whence & 3) == SEEK_END) to += size;
  if (to < 0 || to > size) return -1;
  m->readAt = to;
  return to;
}

AVCodecContext* OpenDecoder(AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  context->max_pixels = kMostPixels;
  if (avcodec_parameters_to_context(context, stream->codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  return context;
}

// Some containers (FLV, MPEG program and transport streams) announce a
// stream only with its first packet. The stream search would come upon such
// a stream after it has begun, and decode its pictures without the pixel
// limit it gives the others. So the packets the search would read are read
// first, nothing decoded, until every stream is known, and the file is read
// again from its first packet.
bool FindLateStreams(AVFormatContext* format) {
  if ((format->ctx_flags & AVFMTCTX_NOHEADER) == 0) return true;
  // A container read only forwards (a playlist of segments, from files
  // only) cannot be read twice and is searched as it comes: the streams it
  // finds on the way are bounded only by the largest block allowed.
  if (av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) < 0) return true;
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) return false;
  int64_t read = 0;
  for (int n = 0; n < kMostProbePackets && read < kProbeBytes; ++n) {
    if (av_read_frame(format, packet) < 0) break;
    read += packet->size;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  // Back to where the container's header ended.
  return av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

// The stream search decodes a picture of every stream whose size the
// container does not give (a lone PNG, JPEG or BMP; most streams, for their
// pixel format), and keeps each until it ends. So every decoder it opens is
// held to a pixel limit, and the video streams share one picture's worth:
// a size the container gives counts as given (with room for the decoders'
// alignment, and refused when the sizes given pass the limit together), and
// the streams whose size only decoding finds share what is left. An
// oversized picture, or many pictures, are refused before a decoder
// allocates them; the stream that plays gets the whole limit later.
bool FindStreams(AVFormatContext* format) {
  if (!FindLateStreams(format)) return false;
  constexpr int64_t kAlignment = 64;
  const unsigned count = format->nb_streams;
  std::vector<int64_t> limits(count, 0);
  int64_t given = 0, unsized = 0;
  for (unsigned i = 0; i < count; ++i) {
    const AVCodecParameters* p = format->streams[i]->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if (p->width == 0 && p->height == 0) {
      ++unsized;
      continue;
    }
    if (!PictureSizeAllowed(p->width, p->height)) return false;
    given += int64_t{p->width} * p->height;
    limits[i] = std::min(kMostPixels, (p->width + kAlignment) * (p->height + kAlignment));
  }
  if (given > kMostPixels) return false;
  const int64_t share = unsized > 0 ? (kMostPixels - given) / unsized : 0;
  std::vector<AVDictionary*> options(count, nullptr);
  for (unsigned i = 0; i < count; ++i)
    av_dict_set_int(&options[i], "max_pixels", std::max<int64_t>(limits[i] > 0 ? limits[i] : share, 1), 0);
  const int found = avformat_find_stream_info(format, count > 0 ? options.data() : nullptr);
  for (AVDictionary*& o : options) av_dict_free(&o);
  return found >= 0;
}

// Finds the streams and opens their decoders; false without a picture stream.
bool Prepare(Movie* m) {
  if (!FindStreams(m->format)) return false;
  m->videoStream = av_find_best_stream(m->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (m->videoStream < 0) return false;
  m->video = OpenDecoder(m->format->streams[m->videoStream]);
  if (m->video == nullptr || !PictureSizeAllowed(m->video->width, m->video->height)) return false;
  m->facts.width = m->video->width;
  m->facts.height = m->video->height;
  m->audioStream = av_find_best_stream(m->format, AVMEDIA_TYPE_AUDIO, -1, m->videoStream, nullptr, 0);
  if (m->audioStream >= 0) m->audio = OpenDecoder(m->format->streams[m->audioStream]);
  if (m->audio != nullptr && m->audio->sample_rate > 0 && m->audio->sample_rate <= kMostSoundRate &&
      m->audio->ch_layout.nb_channels > 0) {
    // Sound comes out as float stereo (or mono) at the stream's own rate;
    // the mixer converts the rate.
    const int channels = m->audio->ch_layout.nb_channels >= 2 ? 2 : 1;
    AVChannelLayout out;
    av_channel_layout_default(&out, channels);
    if (swr_alloc_set_opts2(&m->resampler, &out, AV_SAMPLE_FMT_FLT, m->audio->sample_rate, &m->audio->ch_layout,
                            m->audio->sample_fmt, m->audio->sample_rate, 0, nullptr) == 0 &&
        swr_init(m->resampler) == 0) {
      m->facts.channels = channels;
      m->facts.rate = m->audio->sample_rate;
      m->soundChannels = m->audio->ch_layout.nb_channels;
      m->soundRate = m->audio->sample_rate;
      m->soundFormat = m->audio->sample_fmt;
    }
  }
  if (m->facts.channels == 0) m->audioStream = -1;
  m->packet = av_packet_alloc();
  m->frame = av_frame_alloc();
  return m->packet != nullptr && m->frame != nullptr;
}

Movie* Finish(Movie* m) {
  if (Prepare(m)) return m;
  CloseMovie(m);
  return nullptr;
}

bool TakePicture(Movie* m, MoviePicture* picture) {
  AVFrame* f = m->frame;
  if (f->width != m->facts.width || f->height != m->facts.height) return false;
  m->scaler = sws_getCachedContext(m->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                   f->height, AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (m->scaler == nullptr) return false;
  picture->rgba.resize(static_cast<size_t>(f->width) * f->height * 4);
  uint8_t* planes[1] = {picture->rgba.data()};
  const int strides[1] = {f->width * 4};
  sws_scale(m->scaler, f->data, f->linesize, 0, f->height, planes, strides);
  const AVStream* stream = m->format->streams[m->videoStream];
  const int64_t pts = f->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : f->best_effort_timestamp;
  const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
  picture->time = static_cast<double>(pts - start) * av_q2d(stream->time_base) * 1000.0;
  return true;
}

bool TakeSound(Movie* m, std::vector<float>* sound) {
  AVFrame* f = m->frame;
  // The resampler reads as many planes as it was set up for.
  if (f->ch_layout.nb_channels != m->soundChannels || f->sample_rate != m->soundRate ||
      f->format != m->soundFormat || f->nb_samples <= 0)
    return false;
  const int most = swr_get_out_samples(m->resampler, f->nb_samples);
  if (most <= 0) return false;
  sound->resize(static_cast<size_t>(most) * m->facts.channels);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(sound->data())};
  const int got = swr_convert(m->resampler, out, most, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
  if (got <= 0) return false;
  sound->resize(static_cast<size_t>(got) * m->facts.channels);
  return true;
}

}  // namespace

Movie* OpenMovieFile(const char* path) {
  if (path == nullptr) return nullptr;
  auto* m = new Movie;
  // Through the file protocol, so that a name such as "pipe:0" or
  // "http://..." is a file name; what the container refers to may be read
  // from files only.
  const std::string url = std::string("file:") + path;
  LimitBlocks();
  AVDictionary* options = OpeningOptions("file");
  const int opened = avformat_open_input(&m->format, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    delete m;
    return nullptr;
  }
  return Finish(m);
}

Movie* OpenMovieBytes(const uint8_t* bytes, uint64_t size) {
  if (size == 0) return nullptr;
  auto* m = new Movie;
  m->bytes.assign(bytes, bytes + size);
  constexpr int kBuffer = 1 << 16;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBuffer));
  m->io = buffer == nullptr ? nullptr : avio_alloc_context(buffer, kBuffer, 0, m, ReadBytes, nullptr, SeekBytes);
  m->format = m->io == nullptr ? nullptr : avformat_alloc_context();
  if (m->format == nullptr) {
    if (m->io == nullptr) av_free(buffer);
    CloseMovie(m);
    return nullptr;
  }
  m->format->pb = m->io;
  // A movie from bytes opens nothing else (a playlist's entries, say).
  LimitBlocks();
  AVDictionary* options = OpeningOptions("none");
  const int opened = avformat_open_input(&m->format, nullptr, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    m->format = nullptr;  // freed by the failed open
    CloseMovie(m);
    return nullptr;
  }
  return Finish(m);
}

void CloseMovie(Movie* m) {
  if (m == nullptr) return;
  avcodec_free_context(&m->video);
  avcodec_free_context(&m->audio);
  sws_freeContext(m->scaler);
  swr_free(&m->resampler);
  av_packet_free(&m->packet);
  av_frame_free(&m->frame);
  avformat_close_input(&m->format);
  if (m->io != nullptr) {
    av_freep(&m->io->buffer);
    avio_context_free(&m->io);
  }
  delete m;
}

MovieFacts DescribeMovie(Movie* movie) { return movie == nullptr ? MovieFacts() : movie->facts; }

MovieItem DecodeMovie(Movie* m, MoviePicture* picture, std::vector<float>* sound) {
  if (m == nullptr) return MovieItem::End;
  for (;;) {
    // What the decoders already hold comes first.
    if (avcodec_receive_frame(m->video, m->frame) == 0) {
      const bool ok = TakePicture(m, picture);
      av_frame_unref(m->frame);
      if (ok) return MovieItem::Picture;
      continue;
    }
    if (m->audioStream >= 0 && avcodec_receive_frame(m->audio, m->frame) == 0) {
      const bool ok = TakeSound(m, sound);
      av_frame_unref(m->frame);
      if (ok) return MovieItem::Sound;
      continue;
    }
    if (m->flushed) return MovieItem::End;
    if (av_read_frame(m->format, m->packet) < 0) {
      // Drain both decoders.
      avcodec_send_packet(m->video, nullptr);
      if (m->audioStream >= 0) avcodec_send_packet(m->audio, nullptr);
      m->flushed = true;
      continue;
    }
    if (m->packet->stream_index == m->videoStream)
      avcodec_send_packet(m->video, m->packet);
    else if (m->packet->stream_index == m->audioStream)
      avcodec_send_packet(m->audio, m->packet);
    av_packet_unref(m->packet);
  }
}

}  // namespace platform
