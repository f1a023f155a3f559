// Movies in the main window: the fitted and centred picture read back from
// the window, the formats, sound through the device, a missing file and an
// interrupting mouse button. Each case runs in a fresh runtime process.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/settings.h"
#include "files/read_channel.h"
#include "host/host.h"
#include "host/internal/window_events.h"
#include "host/runtime.h"
#include "platform/movie.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "sound/sound_media.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

using testing_support::ChildResult;
using testing_support::InFreshChild;
using testing_support::RunInChild;
using testing_support::RunCurrentTestInFreshProcess;
using testing_support::TempDir;

namespace {

// A clip whose left half is red and right half blue, with a tone; false when
// ffmpeg cannot write it.
bool MakeClip(const std::string& path, int width, int height, double seconds, const std::vector<std::string>& codec) {
  const std::string half = "s=" + std::to_string(width / 2) + "x" + std::to_string(height) + ":d=" +
                           std::to_string(seconds);
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                   "-f", "lavfi", "-i", "color=c=red:" + half,
                                   "-f", "lavfi", "-i", "color=c=blue:" + half,
                                   "-f", "lavfi", "-i", "sine=frequency=440:duration=" + std::to_string(seconds),
                                   "-filter_complex", "[0][1]hstack", "-pix_fmt", "yuv420p"};
  args.insert(args.end(), codec.begin(), codec.end());
  args.push_back(path);
  std::string output;
  return platform::RunCapturingOutput(args, &output) == 0;
}

void StartWindow(const char* audioDriver) {
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  setenv("SDL_AUDIODRIVER", audioDriver, 1);
  ProjectSettings& s = Settings();
  s.ScreenWidth = 1024;
  s.ScreenHeight = 768;
  s.FullScreen = 0;
  s.FrameRate = -1;
  s.DebugMode = 1;
  s.HideMouse = 0;
  if (!StartRuntime(10, "movie")) _exit(99);
}

// "k" for black, "r" red, "b" blue, "?" anything else, for each point.
std::string Colours(const std::vector<std::pair<int, int>>& points) {
  std::string out;
  for (auto [x, y] : points) {
    const testing_support::Rgba p = testing_support::ReadPixel(x, y);
    if (p.r < 40 && p.g < 40 && p.b < 40)
      out += 'k';
    else if (p.r > 200 && p.g < 60 && p.b < 60)
      out += 'r';
    else if (p.b > 200 && p.r < 60 && p.g < 60)
      out += 'b';
    else
      out += '?';
  }
  return out;
}

TEST(Movie, FormatsFillTheWindowAndWideOnesAreCentred) {
  if (InFreshChild()) {
    TempDir dir;
    setenv("SDL_DISKAUDIOFILE", dir.File("out.raw").c_str(), 1);
    StartWindow("disk");
    std::printf("device %d\n", SoundDeviceOpen() ? 1 : 0);
    struct Clip {
      const char* name;
      std::vector<std::string> codec;
    };
    const Clip clips[] = {
        {"h264.mp4", {"-c:v", "libx264", "-c:a", "aac"}},
        {"vp9.webm", {"-c:v", "libvpx-vp9", "-c:a", "libvorbis"}},
        {"mpeg4.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
        {"theora.ogv", {"-c:v", "libtheora", "-c:a", "libvorbis"}},
        {"h264.mkv", {"-c:v", "libx264", "-c:a", "flac"}},
        // Containers that announce their streams in their packets.
        {"h264.ts", {"-c:v", "libx264", "-c:a", "aac"}},
        {"flv1.flv", {"-c:v", "flv1", "-c:a", "libmp3lame", "-ar", "44100"}},
        {"mpeg2.mpg", {"-c:v", "mpeg2video", "-c:a", "mp2"}},
        // A playlist of segments, read only forwards.
        {"h264.m3u8", {"-c:v", "libx264", "-c:a", "aac", "-hls_time", "0.2"}},
    };
    for (const Clip& clip : clips) {
      const std::string path = dir.File(clip.name);
      if (!MakeClip(path, 320, 240, 0.4, clip.codec)) {
        std::printf("%s cannot be made\n", clip.name);
        continue;
      }
      ClearLastError();
      PlayMovieAndWait(path.c_str(), 0);
      // 320 x 240 in 1024 x 768: the whole window, red on the left, blue on the right.
      std::printf("%s error %d colours %s\n", clip.name, LastErrorCode,
                  Colours({{4, 4}, {500, 384}, {4, 763}, {524, 4}, {1019, 384}, {1019, 763}}).c_str());
    }
    // The same clip from a memory file.
    const std::string bytes = testing_support::ReadWholeFile(dir.File("h264.mp4"));
    RegisterMemoryFile(bytes.data(), bytes.size());
    PlayMovieAndWait(MemoryFileName(bytes.data(), bytes.size()).c_str(), 0);
    UnregisterMemoryFile(bytes.data());
    std::printf("memory error %d colours %s\n", LastErrorCode, Colours({{4, 4}, {1019, 763}}).c_str());
    // 2 seconds of 320 x 120: 1024 x 384, 192 rows below the top.
    const std::string wide = dir.File("wide.mp4");
    if (MakeClip(wide, 320, 120, 2.0, {"-c:v", "libx264", "-c:a", "aac"})) {
      PlayMovieAndWait(wide.c_str(), 0);
      std::printf("wide colours %s\n",
                  Colours({{4, 190}, {4, 193}, {500, 384}, {1019, 574}, {1019, 577}, {512, 100}, {512, 700}}).c_str());
    }
    ClearLastError();
    PlayMovieAndWait(dir.File("missing.mp4").c_str(), 0);
    std::printf("missing error %d\n", LastErrorCode);
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess(120);
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("device 1\n"), std::string::npos) << child.out;
  for (const char* name :
       {"h264.mp4", "vp9.webm", "mpeg4.avi", "theora.ogv", "h264.mkv", "h264.ts", "flv1.flv", "mpeg2.mpg", "h264.m3u8"})
    EXPECT_NE(child.out.find(std::string(name) + " error 0 colours rrrbbb\n"), std::string::npos)
        << name << "\n" << child.out;
  EXPECT_NE(child.out.find("memory error 0 colours rb\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("wide colours krrbkkk\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("missing error 3\n"), std::string::npos) << child.out;
}

uint64_t g_frozen = 1;
uint64_t FrozenClock() { return g_frozen; }

TEST(Movie, AMouseButtonEndsItWhenInterruptingIsAllowed) {
  if (InFreshChild()) {
    TempDir dir;
    // No sound device and a clock that stands still: the movie never
    // reaches its end by itself, only the button ends it.
    StartWindow("no-such-driver");
    std::printf("device %d\n", SoundDeviceOpen() ? 1 : 0);
    const std::string path = dir.File("clip.mp4");
    if (!MakeClip(path, 320, 240, 2.0, {"-c:v", "libx264", "-c:a", "aac"})) _exit(98);
    platform::SetCounterOverride(FrozenClock, 1000);
    platform::Event press;
    press.type = platform::EventType::MouseButtonDown;
    press.button = 1;
    platform::InjectEvent(press);
    PlayMovieAndWait(path.c_str(), 1);
    std::printf("ended, first picture %s\n", Colours({{4, 4}, {1019, 763}}).c_str());
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess(60);
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  EXPECT_NE(child.out.find("device 0\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("ended, first picture rb\n"), std::string::npos) << child.out;
}

// A clock the test steps: every read moves it 4 ms on, and at the script's
// times the movie is paused, restarted or stopped, as an application's
// callback would while the wait pumps messages.
struct MovieScript {
  uint64_t pauseAt, restartAt, stopAt;
};
MovieScript g_script;
uint64_t g_virtual = 0;

uint64_t SteppingClock() {
  g_virtual += 4;
  const uint64_t now = g_virtual;
  // Each action fires once; the operations read the clock themselves.
  if (now >= g_script.pauseAt) {
    g_script.pauseAt = UINT64_MAX;
    PauseMusic(1);
  }
  if (now >= g_script.restartAt) {
    g_script.restartAt = UINT64_MAX;
    RestartMusic();
  }
  if (now >= g_script.stopAt) {
    g_script.stopAt = UINT64_MAX;
    StopMovie();
  }
  return now;
}

TEST(Movie, PicturesAreShownAtTheirTimesAndFollowPauseAndRestart) {
  if (InFreshChild()) {
    TempDir dir;
    // No sound: the runtime clock is the movie's clock.
    StartWindow("no-such-driver");
    // One second of red, then one second of blue, 25 pictures a second.
    const std::string path = dir.File("halves.mp4");
    std::string output;
    if (platform::RunCapturingOutput({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                      "color=c=red:s=320x240:d=1:r=25", "-f", "lavfi", "-i",
                                      "color=c=blue:s=320x240:d=1:r=25", "-filter_complex",
                                      "[0][1]concat=n=2:v=1:a=0", "-pix_fmt", "yuv420p", "-c:v", "libx264", path},
                                     &output) != 0)
      _exit(98);
    platform::SetCounterOverride(SteppingClock, 1000);
    const uint64_t never = UINT64_MAX;
    struct Case {
      const char* name;
      MovieScript script;
    };
    const Case cases[] = {
        {"whole", {never, never, never}},
        {"stop-500", {never, never, 500}},
        {"stop-1500", {never, never, 1500}},
        {"pause-500-stop-1700", {500, never, 1700}},
        {"restart-1500-stop-1800", {never, 1500, 1800}},
    };
    for (const Case& c : cases) {
      g_virtual = 0;
      g_script = c.script;
      PlayMovieAndWait(path.c_str(), 0);
      PauseMusic(0);
      std::printf("%s %s after %llu ms\n", c.name, Colours({{4, 4}, {1019, 763}}).c_str(),
                  static_cast<unsigned long long>(g_virtual));
    }
    // A second of red, then one blue picture stamped an hour later.
    const std::string gap = dir.File("gap.mp4");
    if (platform::RunCapturingOutput({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                      "color=c=red:s=320x240:d=1:r=25", "-f", "lavfi", "-i",
                                      "color=c=blue:s=320x240:d=0.04:r=25", "-filter_complex",
                                      "[0][1]concat=n=2:v=1:a=0,setpts='if(gte(N,25),PTS+3600/TB,PTS)'",
                                      "-fps_mode", "passthrough", "-pix_fmt", "yuv420p", "-c:v", "libx264", gap},
                                     &output) != 0)
      _exit(98);
    g_virtual = 0;
    g_script = {never, never, never};
    PlayMovieAndWait(gap.c_str(), 0);
    std::printf("gap %s after %llu ms\n", Colours({{4, 4}, {1019, 763}}).c_str(),
                static_cast<unsigned long long>(g_virtual));
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess(120);
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  // Played through, the wait lasts the movie's two seconds, not the time
  // its pictures take to decode, and ends on the last (blue) picture.
  // The virtual milliseconds a line "<label> after N ms" gives; -1 without one.
  const auto after = [&child](const std::string& label) {
    const size_t at = child.out.find(label + " after ");
    return at == std::string::npos ? -1 : std::atoll(child.out.c_str() + at + label.size() + 7);
  };
  const long long whole = after("whole bb");
  EXPECT_GE(whole, 1950) << child.out;
  EXPECT_LE(whole, 2150);
  // Half a second in the first picture shows; a second and a half in, the second.
  EXPECT_NE(child.out.find("stop-500 rr"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("stop-1500 bb"), std::string::npos) << child.out;
  // Paused at 0.5 s the clock stands, so 1.7 s later the first half still shows.
  EXPECT_NE(child.out.find("pause-500-stop-1700 rr"), std::string::npos) << child.out;
  // Restarted at 1.5 s, 0.3 s later the movie is back in its first half.
  EXPECT_NE(child.out.find("restart-1500-stop-1800 rr"), std::string::npos) << child.out;
  // The picture an hour on is shown once the last red one has stood for 10 s.
  const long long gap = after("gap bb");
  EXPECT_GE(gap, 10900) << child.out;
  EXPECT_LE(gap, 11200);
}

TEST(Movie, HostileFilesAreRefusedAndNamesAreFileNames) {
  if (InFreshChild()) {
    TempDir dir;
    StartWindow("dummy");
    const std::string clip = dir.File("clip.mp4");
    if (!MakeClip(clip, 320, 240, 0.4, {"-c:v", "libx264", "-c:a", "aac"})) _exit(98);
    const std::string good = testing_support::ReadWholeFile(clip);
    std::string garbage;
    uint32_t seed = 3;
    while (garbage.size() < 100000) {
      seed = seed * 1103515245u + 12345u;
      garbage += static_cast<char>(seed >> 24);
    }
    const std::pair<const char*, std::string> files[] = {
        {"garbage", garbage},
        {"zeros", std::string(100000, '\0')},
        {"empty", ""},
        {"header-only", good.substr(0, 64)},
        {"yuv4mpeg-of-a-gigapixel", "YUV4MPEG2 W40000 H30000 F25:1 Ip A1:1 C420jpeg\nFRAME\n" + garbage},
    };
    for (const auto& [name, bytes] : files) {
      testing_support::WriteWholeFile(dir.File(name), bytes);
      for (int memory = 0; memory < 2; ++memory) {
        if (memory != 0) RegisterMemoryFile(bytes.data(), bytes.size());
        const std::string file = memory != 0 ? MemoryFileName(bytes.data(), bytes.size()) : dir.File(name);
        ClearLastError();
        PlayMovieAndWait(file.c_str(), 0);
        if (memory != 0) UnregisterMemoryFile(bytes.data());
        std::printf("%s %d error %d\n", name, memory, LastErrorCode);
        std::fflush(stdout);
      }
    }
    // A name FFmpeg would take for one of its protocols plays the file of
    // that name.
    if (chdir(dir.path().c_str()) != 0) _exit(97);
    testing_support::WriteWholeFile("pipe:0", good);
    ClearLastError();
    PlayMovieAndWait("pipe:0", 0);
    std::printf("pipe error %d colours %s\n", LastErrorCode, Colours({{4, 4}, {1019, 763}}).c_str());
    std::fflush(stdout);
    _exit(0);
  }
  const ChildResult child = RunCurrentTestInFreshProcess(120);
  if (child.exitCode == 98) GTEST_SKIP() << "ffmpeg cannot write the clip";
  ASSERT_EQ(child.signal, 0) << child.out;
  ASSERT_EQ(child.exitCode, 0) << child.out << child.err;
  for (const char* name : {"garbage", "zeros", "empty", "header-only", "yuv4mpeg-of-a-gigapixel"})
    for (const char* way : {" 0", " 1"})
      EXPECT_NE(child.out.find(std::string(name) + way + " error 3\n"), std::string::npos) << name << way << "\n"
                                                                                            << child.out;
  EXPECT_NE(child.out.find("pipe error 0 colours rb\n"), std::string::npos) << child.out;
}

// A PNG of width x height 16-bit RGB pixels, all black, in a few megabytes:
// the rows are compressed once in a block that ends with a full flush, so
// the same bytes stand for every further run of rows.
std::string BlackPng48(uint32_t width, uint32_t height) {
  const auto big32 = [](uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    return std::string(b, 4);
  };
  const auto chunk = [&big32](const char* type, const std::string& body) {
    const std::string typed = std::string(type, 4) + body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    return big32(static_cast<uint32_t>(body.size())) + typed + big32(static_cast<uint32_t>(crc));
  };
  constexpr uint32_t kRowsPerBlock = 64;  // sides here are multiples of it
  const std::string rows(static_cast<size_t>(width * 6 + 1) * kRowsPerBlock, '\0');
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string block(deflateBound(&z, static_cast<uLong>(rows.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rows.data()));
  z.avail_in = static_cast<uInt>(rows.size());
  z.next_out = reinterpret_cast<Bytef*>(block.data());
  z.avail_out = static_cast<uInt>(block.size());
  deflate(&z, Z_FULL_FLUSH);
  block.resize(block.size() - z.avail_out);
  deflateEnd(&z);
  const uLong blockAdler = adler32(1, reinterpret_cast<const Bytef*>(rows.data()), static_cast<uInt>(rows.size()));
  std::string idat = "\x78\x01";
  uLong adler = 1;
  for (uint32_t y = 0; y < height; y += kRowsPerBlock) {
    idat += block;
    adler = adler32_combine(adler, blockAdler, static_cast<z_off_t>(rows.size()));
  }
  idat += std::string("\x01\x00\x00\xff\xff", 5);  // the last block, empty
  idat += big32(static_cast<uint32_t>(adler));
  const std::string header = big32(width) + big32(height) + std::string("\x10\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", idat) + chunk("IEND", "");
}

// An FLV whose one stream, announced only by its packets, is Sorenson H.263
// pictures of width x height: each packet is a picture header and a few
// zero bytes.
std::string BigPictureFlv(uint32_t width, uint32_t height) {
  const auto big = [](uint32_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
    return out;
  };
  std::string flv = std::string("FLV\x01\x01", 5) + big(9, 4) + big(0, 4);
  for (uint32_t n = 0; n < 8; ++n) {
    // Start code, version 0, picture number, 16-bit sizes, an intra picture at quantiser 8.
    const std::pair<int, uint32_t> fields[] = {{17, 1}, {5, 0}, {8, n},  {3, 1}, {16, width},
                                               {16, height}, {2, 0}, {1, 0}, {5, 8}, {1, 0}};
    std::string picture;
    uint32_t bits = 0, used = 0;
    for (const auto& [count, value] : fields)
      for (int i = count - 1; i >= 0; --i) {
        bits = bits << 1 | ((value >> i) & 1);
        if (++used == 8) {
          picture += static_cast<char>(bits);
          bits = used = 0;
        }
      }
    if (used > 0) picture += static_cast<char>(bits << (8 - used));
    const std::string data = "\x12" + picture + std::string(64, '\0');  // a key frame of codec 2
    const std::string tag = "\x09" + big(static_cast<uint32_t>(data.size()), 3) + big(n * 40, 3) +
                            std::string(4, '\0') + data;
    flv += tag + big(static_cast<uint32_t>(tag.size()), 4);
  }
  return flv;
}

// This process's peak address space (VmPeak) in kB: a decoder's picture
// counts as soon as it is allocated, written or not.
long PeakKb() {
  const std::string status = testing_support::ReadWholeFile("/proc/self/status");
  const size_t at = status.find("VmPeak:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 7);
}

// Pictures whose size is only found by decoding (a lone PNG, JPEG or BMP,
// a stream an FLV announces in its packets) are refused before a decoder
// allocates one, and so are many pictures of an allowed size (six 4096 x
// 4096 streams): the opening process's peak stays where it was.
TEST(Movie, OversizedPicturesAreRefusedBeforeADecoderAllocatesThem) {
  TempDir dir;
  const std::string png = BlackPng48(16000, 16000);
  ASSERT_LT(png.size(), 4u << 20);
  std::string output;
  // A small JPEG with the size in its frame header made 16000 x 16000.
  const std::string small = dir.File("small.jpg");
  ASSERT_EQ(platform::RunCapturingOutput({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                          "color=c=red:s=64x64", "-frames:v", "1", small},
                                         &output),
            0)
      << output;
  std::string jpeg = testing_support::ReadWholeFile(small);
  const size_t sof = jpeg.find("\xff\xc0");
  ASSERT_NE(sof, std::string::npos);
  jpeg.replace(sof + 5, 4, std::string("\x3e\x80\x3e\x80", 4));
  // BMP headers of 16000 x 16000 pixels: 24-bit ones with a few rows of
  // them, and 8-bit run-length coded ones that end at once.
  const auto little32 = [](uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    return std::string(b, 4);
  };
  const auto bmpOf = [&little32](const char* bitsAndCoding, const std::string& palette, const std::string& body) {
    const uint32_t start = 54 + static_cast<uint32_t>(palette.size());
    return "BM" + little32(start + static_cast<uint32_t>(body.size())) + little32(0) + little32(start) +
           little32(40) + little32(16000) + little32(16000) + std::string(bitsAndCoding, 8) +
           little32(static_cast<uint32_t>(body.size())) + little32(2835) + little32(2835) +
           little32(static_cast<uint32_t>(palette.size() / 4)) + little32(0) + palette + body;
  };
  const std::string bmp24 = bmpOf("\x01\x00\x18\x00\x00\x00\x00\x00", "", std::string(16000 * 3 * 4, '\x40'));
  const std::string bmpRle =
      bmpOf("\x01\x00\x08\x00\x01\x00\x00\x00", std::string(1024, '\0'), std::string("\x00\x01", 2));
  const std::string flv = BigPictureFlv(16000, 16000);
  const std::string picture4k = dir.File("4k.png");
  testing_support::WriteWholeFile(picture4k, BlackPng48(4096, 4096));
  const std::string six = dir.File("six.mkv");
  ASSERT_EQ(platform::RunCapturingOutput({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", picture4k, "-map",
                                          "0", "-map", "0", "-map", "0", "-map", "0", "-map", "0", "-map", "0", "-c",
                                          "copy", six},
                                         &output),
            0)
      << output;
  const std::string sixStreams = testing_support::ReadWholeFile(six);
  const std::pair<const char*, const std::string*> files[] = {
      {"png48", &png}, {"jpeg", &jpeg}, {"bmp24", &bmp24}, {"bmp-rle8", &bmpRle}, {"flv", &flv},
      {"six-streams", &sixStreams}};
  for (const auto& [name, bytes] : files) {
    testing_support::WriteWholeFile(dir.File(name), *bytes);
    for (int memory = 0; memory < 2; ++memory) {
      const std::string path = dir.File(name);
      const std::string* b = bytes;
      const ChildResult child = RunInChild(
          [memory, path, b] {
            const long before = PeakKb();
            if (before <= 0) _exit(3);  // no peak to compare with
            platform::Movie* movie =
                memory != 0 ? platform::OpenMovieBytes(reinterpret_cast<const uint8_t*>(b->data()), b->size())
                            : platform::OpenMovieFile(path.c_str());
            const long grown = PeakKb() - before;
            std::printf("opened %d grown %ld\n", movie != nullptr ? 1 : 0, grown);
            std::fflush(stdout);
            platform::CloseMovie(movie);
          },
          60);
      ASSERT_EQ(child.exitCode, 0) << name << " " << memory << child.err;
      const size_t at = child.out.find("opened 0 grown ");
      ASSERT_NE(at, std::string::npos) << name << " " << memory << " " << child.out;
      const long grownKb = std::atol(child.out.c_str() + at + 15);
      // The least of them, 16000 x 16000 pixels of one byte, would take 244 MB.
      EXPECT_LT(grownKb, 64 * 1024) << name << " " << memory;
    }
  }
}

// The picture sizes a container's header gives decide at once: each side
// up to 16384 pixels and 8192 x 8192 pixels in all open (a header and the
// start of a frame are enough), a pixel more either way is refused.
TEST(Movie, PictureSizesAreRefusedFromTheHeaderAtTheirBounds) {
  struct Case {
    int width, height;
    bool opens;
  };
  const Case cases[] = {
      {16384, 4096, true},  {4096, 16384, true},  {8192, 8192, true},  {16, 16, true},
      {16385, 16, false},   {16, 16385, false},   {16384, 4097, false}, {4097, 16384, false},
      {8065, 8321, false},  // 8192 x 8192 and one pixel
  };
  for (const Case& c : cases) {
    const std::string clip = "YUV4MPEG2 W" + std::to_string(c.width) + " H" + std::to_string(c.height) +
                             " F25:1 Ip A1:1 C444\nFRAME\n" + std::string(4096, '\x40');
    platform::Movie* movie = platform::OpenMovieBytes(reinterpret_cast<const uint8_t*>(clip.data()), clip.size());
    EXPECT_EQ(movie != nullptr, c.opens) << c.width << " x " << c.height;
    platform::CloseMovie(movie);
  }
}

}  // namespace
