// Whole sounds converted to the device's frames: the runtime's own
// table-driven windowed-sinc filter where the rates allow it, FFmpeg's
// resampler everywhere else.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELMORA_PCM_X86 1
#endif

#include "platform/audio.h"

namespace platform {

namespace {

const double kMonoToBoth[2] = {1.0, 1.0};  // left and right from the one channel

// ---------------------------------------------------------------- FFmpeg's resampler

bool ConvertWithSwr(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate, int toRate,
                    std::vector<float>* out) {
  AVChannelLayout inLayout, outLayout;
  av_channel_layout_default(&inLayout, channels);
  av_channel_layout_default(&outLayout, 2);
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_FLT, toRate, &inLayout,
                          bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, rate, 0, nullptr) != 0 ||
      // A mono sound plays at full level on both sides.
      (channels == 1 && swr_set_matrix(swr, kMonoToBoth, 1) < 0) || swr_init(swr) != 0) {
    swr_free(&swr);
    return false;
  }
  const uint64_t frameBytes = static_cast<uint64_t>(channels) * static_cast<uint64_t>(bits / 8);
  const uint64_t inFrames = bytes / frameBytes;
  const uint64_t frames =
      (inFrames * static_cast<uint64_t>(toRate) + static_cast<uint64_t>(rate) - 1) / static_cast<uint64_t>(rate);
  const size_t start = out->size();
  out->resize(start + frames * 2 + 2 * 64);
  // Fed in pieces (the resampler takes int counts); an empty piece flushes.
  constexpr uint64_t kPiece = 1 << 18;
  uint64_t made = 0, at = 0;
  bool ok = true;
  while (ok) {
    const uint64_t n = std::min(inFrames - at, kPiece);
    const uint8_t* in[1] = {data + at * frameBytes};
    const int room = static_cast<int>(std::min<uint64_t>((out->size() - start) / 2 - made, 0x7FFFFFFF));
    uint8_t* to[1] = {reinterpret_cast<uint8_t*>(out->data() + start + made * 2)};
    const int got = swr_convert(swr, to, room, n == 0 ? nullptr : in, static_cast<int>(n));
    ok = got >= 0;
    if (ok) made += static_cast<uint64_t>(got);
    if (n == 0) break;
    at += n;
  }
  swr_free(&swr);
  if (!ok) {
    out->resize(start);
    return false;
  }
  // As many frames as the sound lasts; the resampler's tail may fall short.
  if (made > frames) made = frames;
  out->resize(start + made * 2);
  if (made < frames) out->resize(start + frames * 2, 0.0f);
  return true;
}

// ---------------------------------------------------------------- the table filter
//
// FFmpeg's default design, reproduced: for output frame n at input time
// t = n * rate / toRate, with s = floor(t) and phase p = the fraction of t
// in 1 / phases steps, the output is sum over i of f[p][i] * x[s + i - c]
// (c = (taps - 1) / 2). f[p][i] is sinc(pi (i - c - p / phases) factor)
// under a Kaiser window (beta 9) spanning the taps, all phases divided by
// the sum of phase 0's taps; factor = min(toRate * 0.97 / rate, 1), and
// taps = 32 / factor rounded up to an even count. The input is mirrored at
// its start (x[-k] = x[k]) and at its end (x[N + j] = x[N - 1 - j] for the
// first R of them, R depending on how much input was still waiting when the
// converter was flushed), and frames whose taps would reach past that are
// not made: the sound's last frames are then silent, as they were.

constexpr int kFilterSize = 32;
constexpr double kCutoff = 0.97;
constexpr double kKaiserBeta = 9.0;
constexpr int64_t kMostPhases = 1024;
constexpr double kPi = 3.14159265358979323846;

using Float4 = float __attribute__((vector_size(16)));

inline Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The zeroth-order modified Bessel function of the first kind.
double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 100; ++k) {
    term *= x / (2.0 * k);
    const double square = term * term;
    sum += square;
    if (square < sum * 1e-18) break;
  }
  return sum;
}

struct SincTable {
  int rate = 0, toRate = 0;
  int64_t phases = 0;  // filter phases per input frame
  int64_t step = 0;    // phases advanced per output frame
  int taps = 0;
  int centre = 0;
  int padded = 0;              // taps rounded up to a multiple of 8 (zero coefficients)
  std::vector<float> mono;     // phases x padded
  std::vector<float> stereo;   // phases x 2 padded: every tap twice, for interleaved frames
};

// The phase and tap counts for a pair of rates; false where FFmpeg would not
// use an exact table (more than kMostPhases phases) or no filter at all.
bool TableShape(int rate, int toRate, int64_t* phases, int64_t* step, int* taps) {
  if (rate <= 0 || toRate <= 0 || rate == toRate) return false;
  const int64_t g = std::gcd(static_cast<int64_t>(rate), static_cast<int64_t>(toRate));
  *phases = toRate / g;
  *step = rate / g;
  if (*phases > kMostPhases) return false;
  const double factor = std::min(toRate * kCutoff / rate, 1.0);
  int n = std::max(static_cast<int>(std::ceil(kFilterSize / factor)), 1);
  *taps = n + (n & 1);
  return true;
}

const SincTable* TableFor(int rate, int toRate) {
  // One converter's table is kept: sounds mostly come at one or two rates.
  thread_local std::unique_ptr<SincTable> kept;
  if (kept && kept->rate == rate && kept->toRate == toRate) return kept.get();
  auto t = std::make_unique<SincTable>();
  if (!TableShape(rate, toRate, &t->phases, &t->step, &t->taps)) return nullptr;
  t->rate = rate;
  t->toRate = toRate;
  t->centre = (t->taps - 1) / 2;
  t->padded = (t->taps + 7) / 8 * 8;
  const double factor = std::min(toRate * kCutoff / rate, 1.0);
  const size_t taps = static_cast<size_t>(t->taps), padded = static_cast<size_t>(t->padded);
  std::vector<double> shape(static_cast<size_t>(t->phases) * taps);
  double norm = 0;
  for (int64_t p = 0; p < t->phases; ++p)
    for (size_t i = 0; i < taps; ++i) {
      const double x =
          kPi * (static_cast<double>(static_cast<int>(i) - t->centre) - static_cast<double>(p) / t->phases) * factor;
      double y = x == 0 ? 1.0 : std::sin(x) / x;
      const double w = 2.0 * x / (factor * t->taps * kPi);
      y *= BesselI0(kKaiserBeta * std::sqrt(std::max(1.0 - w * w, 0.0)));
      shape[static_cast<size_t>(p) * taps + i] = y;
      if (p == 0) norm += y;
    }
  t->mono.assign(static_cast<size_t>(t->phases) * padded, 0.0f);
  t->stereo.assign(static_cast<size_t>(t->phases) * padded * 2, 0.0f);
  for (int64_t p = 0; p < t->phases; ++p)
    for (size_t i = 0; i < taps; ++i) {
      const float f = static_cast<float>(shape[static_cast<size_t>(p) * taps + i] / norm);
      t->mono[static_cast<size_t>(p) * padded + i] = f;
      t->stereo[(static_cast<size_t>(p) * padded + i) * 2] = f;
      t->stereo[(static_cast<size_t>(p) * padded + i) * 2 + 1] = f;
    }
  kept = std::move(t);
  return kept.get();
}

// The samples as the converter sees them, channels interleaved: 8-bit ones
// are unsigned around 128, 16-bit ones signed.
void ToFloats(const uint8_t* data, int bits, int64_t count, float* out) {
  // In whole pieces through an aligned buffer: loops of a fixed length over
  // aligned samples are the ones the compiler turns into vector code.
  constexpr int64_t kPiece = 512;
  alignas(32) int16_t piece[kPiece];
  alignas(32) float converted[kPiece];
  for (int64_t at = 0; at < count; at += kPiece) {
    const int64_t m = std::min(kPiece, count - at);
    if (bits == 8) {
      alignas(32) uint8_t bytes[kPiece] = {};
      std::memcpy(bytes, data + at, static_cast<size_t>(m));
      for (int64_t i = 0; i < kPiece; ++i) converted[i] = (static_cast<int>(bytes[i]) - 0x80) * (1.0f / 128.0f);
    } else {
      if (m < kPiece) std::memset(piece, 0, sizeof piece);
      std::memcpy(piece, data + at * 2, static_cast<size_t>(m) * 2);
      for (int64_t i = 0; i < kPiece; ++i) converted[i] = piece[i] * (1.0f / 32768.0f);
    }
    std::memcpy(out + at, converted, static_cast<size_t>(m) * sizeof(float));
  }
}

// Where output frame f starts reading (s, counted from the first frame) and
// with which phase p; the frames are made in order.
struct FramePosition {
  int64_t s = 0, p = 0;
  void Advance(int64_t whole, int64_t part, int64_t phases) {
    s += whole;
    p += part;
    if (p >= phases) {
      p -= phases;
      ++s;
    }
  }
};

// The filter over `made` frames from `start` on: x holds the samples
// (channels interleaved) with frame 0 at x + lead * channels (lead may be
// negative: x then begins inside the sound); out takes their stereo frames.
struct FilterJob {
  const SincTable* table;
  const float* x;
  int64_t lead;
  int64_t made;
  float* out;
  FramePosition start;
};

void FilterStereo(const FilterJob& job) {
  const SincTable& t = *job.table;
  const int64_t whole = t.step / t.phases, part = t.step % t.phases;
  const int width = 2 * t.padded;
  FramePosition at = job.start;
  for (int64_t f = 0; f < job.made; ++f, at.Advance(whole, part, t.phases)) {
    const float* xp = job.x + (job.lead + at.s - t.centre) * 2;
    const float* fp = t.stereo.data() + at.p * width;
    Float4 a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
    for (int i = 0; i < width; i += 8) {
      a += Load4(xp + i) * Load4(fp + i);
      b += Load4(xp + i + 4) * Load4(fp + i + 4);
    }
    a += b;
    job.out[2 * f] = a[0] + a[2];
    job.out[2 * f + 1] = a[1] + a[3];
  }
}

void FilterMono(const FilterJob& job) {
  const SincTable& t = *job.table;
  const int64_t whole = t.step / t.phases, part = t.step % t.phases;
  FramePosition at = job.start;
  for (int64_t f = 0; f < job.made; ++f, at.Advance(whole, part, t.phases)) {
    const float* xp = job.x + (job.lead + at.s - t.centre);
    const float* fp = t.mono.data() + at.p * t.padded;
    Float4 a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
    for (int i = 0; i < t.padded; i += 8) {
      a += Load4(xp + i) * Load4(fp + i);
      b += Load4(xp + i + 4) * Load4(fp + i + 4);
    }
    a += b;
    job.out[2 * f] = job.out[2 * f + 1] = (a[0] + a[1]) + (a[2] + a[3]);
  }
}

#ifdef VELMORA_PCM_X86
// The same with eight lanes and fused multiply-adds, on processors that
// have them (the fused rounding moves a sample by far less than a 16-bit
// step).
// One stereo frame's products summed to eight lanes (left, right in turn).
__attribute__((target("avx2,fma"))) inline __m256 StereoLanesAvx2(const float* xp, const float* fp, int width) {
  __m256 a = _mm256_setzero_ps(), b = _mm256_setzero_ps();
  for (int i = 0; i < width; i += 16) {
    a = _mm256_fmadd_ps(_mm256_loadu_ps(xp + i), _mm256_loadu_ps(fp + i), a);
    b = _mm256_fmadd_ps(_mm256_loadu_ps(xp + i + 8), _mm256_loadu_ps(fp + i + 8), b);
  }
  return _mm256_add_ps(a, b);
}

// Four frames are summed across their lanes together; each sum is added in
// the same order as a frame on its own, so the samples are the same.
__attribute__((target("avx2,fma"))) void FilterStereoAvx2(const FilterJob& job) {
  const SincTable& t = *job.table;
  const int64_t whole = t.step / t.phases, part = t.step % t.phases;
  const int width = 2 * t.padded;  // a multiple of 16
  FramePosition at = job.start;
  int64_t f = 0;
  for (; f + 4 <= job.made; f += 4) {
    __m256 v[4];
    for (int k = 0; k < 4; ++k, at.Advance(whole, part, t.phases))
      v[k] = StereoLanesAvx2(job.x + (job.lead + at.s - t.centre) * 2, t.stereo.data() + at.p * width, width);
    // Halves added: [a | b] and [c | d], four lanes each (L R L R).
    __m256 ab = _mm256_add_ps(_mm256_permute2f128_ps(v[0], v[1], 0x20), _mm256_permute2f128_ps(v[0], v[1], 0x31));
    __m256 cd = _mm256_add_ps(_mm256_permute2f128_ps(v[2], v[3], 0x20), _mm256_permute2f128_ps(v[2], v[3], 0x31));
    ab = _mm256_add_ps(ab, _mm256_permute_ps(ab, 0x4E));
    cd = _mm256_add_ps(cd, _mm256_permute_ps(cd, 0x4E));
    // [a, c | b, d] as left-right pairs, put in order.
    const __m256 acbd = _mm256_shuffle_ps(ab, cd, 0x44);
    _mm256_storeu_ps(job.out + 2 * f,
                     _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(acbd), 0xD8)));
  }
  for (; f < job.made; ++f, at.Advance(whole, part, t.phases)) {
    const __m256 a = StereoLanesAvx2(job.x + (job.lead + at.s - t.centre) * 2, t.stereo.data() + at.p * width, width);
    __m128 h = _mm_add_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));  // L R L R
    h = _mm_add_ps(h, _mm_movehl_ps(h, h));
    _mm_storel_pi(reinterpret_cast<__m64*>(job.out + 2 * f), h);
  }
}

__attribute__((target("avx2,fma"))) void FilterMonoAvx2(const FilterJob& job) {
  const SincTable& t = *job.table;
  const int64_t whole = t.step / t.phases, part = t.step % t.phases;
  FramePosition at = job.start;
  for (int64_t f = 0; f < job.made; ++f, at.Advance(whole, part, t.phases)) {
    const float* xp = job.x + (job.lead + at.s - t.centre);
    const float* fp = t.mono.data() + at.p * t.padded;  // padded: a multiple of 8
    __m256 a = _mm256_setzero_ps();
    for (int i = 0; i < t.padded; i += 8) a = _mm256_fmadd_ps(_mm256_loadu_ps(xp + i), _mm256_loadu_ps(fp + i), a);
    __m128 h = _mm_add_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));
    h = _mm_add_ps(h, _mm_movehl_ps(h, h));
    h = _mm_add_ss(h, _mm_shuffle_ps(h, h, 1));
    const float v = _mm_cvtss_f32(h);
    job.out[2 * f] = job.out[2 * f + 1] = v;
  }
}

// Sixteen lanes where the processor has them: a stereo frame of 32 taps is
// four multiply-adds.
__attribute__((target("avx512f,avx2,fma"))) inline __m512 StereoLanesAvx512(const float* xp, const float* fp,
                                                                             int width) {
  __m512 a = _mm512_setzero_ps(), b = _mm512_setzero_ps();
  int i = 0;
  for (; i + 32 <= width; i += 32) {
    a = _mm512_fmadd_ps(_mm512_loadu_ps(xp + i), _mm512_loadu_ps(fp + i), a);
    b = _mm512_fmadd_ps(_mm512_loadu_ps(xp + i + 16), _mm512_loadu_ps(fp + i + 16), b);
  }
  if (i < width) a = _mm512_fmadd_ps(_mm512_loadu_ps(xp + i), _mm512_loadu_ps(fp + i), a);
  return _mm512_add_ps(a, b);
}

// The zero-masking forms of the shuffles, with every lane kept: the plain
// forms trip a false warning of this compiler's own headers.
constexpr __mmask16 kAllLanes = 0xFFFF;
template <int Order>
__attribute__((target("avx512f"))) inline __m512 Shuffle128(__m512 a, __m512 b) {
  return _mm512_maskz_shuffle_f32x4(kAllLanes, a, b, Order);
}

// As with eight lanes, four frames are summed across their lanes together,
// each in the order of a frame on its own.
__attribute__((target("avx512f,avx2,fma"))) void FilterStereoAvx512(const FilterJob& job) {
  const SincTable& t = *job.table;
  const int64_t whole = t.step / t.phases, part = t.step % t.phases;
  const int width = 2 * t.padded;  // a multiple of 16
  FramePosition at = job.start;
  const __m512i pairs = _mm512_setr_epi32(0, 1, 4, 5, 8, 9, 12, 13, 0, 0, 0, 0, 0, 0, 0, 0);
  int64_t f = 0;
  for (; f + 4 <= job.made; f += 4) {
    __m512 v[4];
    for (int k = 0; k < 4; ++k, at.Advance(whole, part, t.phases))
      v[k] = StereoLanesAvx512(job.x + (job.lead + at.s - t.centre) * 2, t.stereo.data() + at.p * width, width);
    // Halves added: [a | b] and [c | d], eight lanes each; then quarters:
    // [a | b | c | d], four lanes each (L R L R); then pairs.
    const __m512 ab = _mm512_add_ps(Shuffle128<0x44>(v[0], v[1]), Shuffle128<0xEE>(v[0], v[1]));
    const __m512 cd = _mm512_add_ps(Shuffle128<0x44>(v[2], v[3]), Shuffle128<0xEE>(v[2], v[3]));
    __m512 q = _mm512_add_ps(Shuffle128<0x88>(ab, cd), Shuffle128<0xDD>(ab, cd));
    q = _mm512_add_ps(q, _mm512_maskz_permute_ps(kAllLanes, q, 0x4E));
    _mm512_mask_storeu_ps(job.out + 2 * f, 0x00FF, _mm512_maskz_permutexvar_ps(kAllLanes, pairs, q));
  }
  for (; f < job.made; ++f, at.Advance(whole, part, t.phases)) {
    // Halved through memory: the register forms of the 512-bit extracts
    // trip a false warning of this compiler's own headers.
    alignas(64) float lanes[16];
    _mm512_store_ps(lanes, StereoLanesAvx512(job.x + (job.lead + at.s - t.centre) * 2,
                                             t.stereo.data() + at.p * width, width));
    const __m256 q = _mm256_add_ps(_mm256_load_ps(lanes), _mm256_load_ps(lanes + 8));
    __m128 h = _mm_add_ps(_mm256_castps256_ps128(q), _mm256_extractf128_ps(q, 1));  // L R L R
    h = _mm_add_ps(h, _mm_movehl_ps(h, h));
    _mm_storel_pi(reinterpret_cast<__m64*>(job.out + 2 * f), h);
  }
}

bool HasAvx512() {
  static const bool has = __builtin_cpu_supports("avx512f");
  return has;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return has;
}
#endif

// Output frames made from one piece of float samples.
constexpr int64_t kFramesPerPiece = 4096;

// Frames [first, end) of the sound as the filter reads it, as floats: frame
// -k is frame k (the start mirror), frame n + j is frame n - 1 - j for the
// first `mirrored` of them (the end mirror), and silence after that.
void SamplesAsFloats(const uint8_t* data, int bits, int channels, int64_t n, int64_t mirrored, int64_t first,
                     int64_t end, float* out) {
  const int64_t frameBytes = channels * (bits / 8);
  const auto one = [&](int64_t frame, float* to) { ToFloats(data + frame * frameBytes, bits, channels, to); };
  int64_t v = first;
  for (; v < end && v < 0; ++v, out += channels) one(-v, out);
  const int64_t inside = std::min(end, n);
  if (v < inside) {
    ToFloats(data + v * frameBytes, bits, (inside - v) * channels, out);
    out += (inside - v) * channels;
    v = inside;
  }
  for (; v < end && v < n + mirrored; ++v, out += channels) one(2 * n - 1 - v, out);
  if (v < end) std::fill(out, out + (end - v) * channels, 0.0f);
}

void RunFilter(const FilterJob& job, int channels) {
#ifdef VELMORA_PCM_X86
  if (channels == 2 && HasAvx512()) {
    FilterStereoAvx512(job);
    return;
  }
  if (HasAvx2()) {
    if (channels == 2)
      FilterStereoAvx2(job);
    else
      FilterMonoAvx2(job);
    return;
  }
#endif
  if (channels == 2)
    FilterStereo(job);
  else
    FilterMono(job);
}

// Threads a long sound's conversion is shared among, and the fewest pieces
// worth a thread of their own.
int64_t ConversionThreads() {
  static const int64_t threads = std::clamp<int64_t>(std::thread::hardware_concurrency(), 1, 8);
  return threads;
}
constexpr int64_t kLeastPiecesPerThread = 8;

// A sound's output frames made a piece at a time (see ConvertWithTable).
struct Pieces {
  const SincTable* table;
  const uint8_t* data;
  int bits, channels;
  int64_t n, mirrored;
  float* out;  // frame 0's place

  // Frames [from, to); from a multiple of kFramesPerPiece.
  void Make(int64_t from, int64_t to) const {
    const SincTable& t = *table;
    std::vector<float> x;
    for (; from < to; from += kFramesPerPiece) {
      const int64_t count = std::min(kFramesPerPiece, to - from);
      FramePosition at;
      at.s = from * t.step / t.phases;
      at.p = from * t.step % t.phases;
      const int64_t lastS = (from + count - 1) * t.step / t.phases;
      // Frames the piece's taps read: from its first frame's first tap to
      // past its last frame's padded taps.
      const int64_t read = at.s - t.centre, end = lastS - t.centre + t.padded + 8;
      x.resize(static_cast<size_t>((end - read) * channels));
      SamplesAsFloats(data, bits, channels, n, mirrored, read, end, x.data());
      RunFilter(FilterJob{table, x.data(), -read, count, out + from * 2, at}, channels);
    }
  }
};

bool ConvertWithTable(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate, int toRate,
                      std::vector<float>* out) {
  const int64_t n = static_cast<int64_t>(bytes / static_cast<uint64_t>(channels * (bits / 8)));
  const int64_t frames = (n * toRate + rate - 1) / rate;
  const size_t start = out->size();
  const SincTable* t = TableFor(rate, toRate);
  // Short sounds are left to FFmpeg, whose handling of a sound shorter than
  // its filter is its own.
  if (t == nullptr || n <= 2 * static_cast<int64_t>(t->taps)) return false;
  const int64_t taps = t->taps, c = t->centre, phases = t->phases, step = t->step;
  // The end mirror's length: what the converter still held when it was
  // flushed, from the first frame whose taps did not fit in the sound.
  const int64_t reach = taps - 1 - c;  // taps after the centre
  int64_t first = (n - reach) * phases / step;
  while (first > 0 && (first - 1) * step / phases + reach > n - 1) --first;
  while (first * step / phases + reach <= n - 1) ++first;
  const int64_t held = n - first * step / phases + c;
  const int64_t mirrored = (std::min(held, taps) + 1) / 2;
  // Frames whose taps stay inside the sound and its end mirror.
  const int64_t last = n - 1 + mirrored - reach;  // the furthest s a frame may start from
  int64_t made = last * phases / step + 1;
  while (made > 0 && (made - 1) * step / phases > last) --made;
  while (made * step / phases <= last) ++made;
  made = std::min(made, frames);

  out->resize(start + static_cast<size_t>(frames) * 2, 0.0f);
  // A piece of output frames at a time, from the samples it reads, turned
  // into floats (with the mirrors) in a buffer that stays in the cache.
  // The pieces do not depend on one another: a long sound's are shared out
  // among threads, each taking a run of them.
  const Pieces pieces{t, data, bits, channels, n, mirrored, out->data() + start};
  const int64_t count = (made + kFramesPerPiece - 1) / kFramesPerPiece;
  const int64_t shares = std::min<int64_t>(ConversionThreads(), count / kLeastPiecesPerThread);
  if (shares <= 1) {
    pieces.Make(0, made);
    return true;
  }
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<size_t>(shares - 1));
  const auto bound = [&](int64_t k) { return std::min(made, count * k / shares * kFramesPerPiece); };
  // This thread makes the first share, and every share above it that no
  // helper could be started for.
  int64_t own = 1;
  for (int64_t k = shares - 1; k >= 1; --k) {
    try {
      helpers.emplace_back([&pieces, from = bound(k), to = bound(k + 1)] { pieces.Make(from, to); });
    } catch (const std::system_error&) {
      own = k + 1;
      break;
    }
  }
  pieces.Make(0, bound(own));
  for (std::thread& helper : helpers) helper.join();
  return true;
}

}  // namespace

bool ConvertPcm(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate, int toRate,
                PcmResampler how, std::vector<float>* out) {
  if (toRate <= 0 || (bits != 8 && bits != 16) || channels < 1 || channels > 2 || rate <= 0) return false;
  if (how != PcmResampler::kGeneral && ConvertWithTable(data, bytes, bits, channels, rate, toRate, out))
    return true;
  if (how == PcmResampler::kTable) return false;
  return ConvertWithSwr(data, bytes, bits, channels, rate, toRate, out);
}

bool ConvertPcmToDevice(const uint8_t* data, uint64_t bytes, int bits, int channels, int rate,
                        std::vector<float>* out) {
  return ConvertPcm(data, bytes, bits, channels, rate, AudioRate(), PcmResampler::kAuto, out);
}

}  // namespace platform
