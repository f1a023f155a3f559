// PlayMovieAndWait: a movie in the main window, scaled to fit and centred,
// its sound through the sound device, shown at the pictures' times.
#include <algorithm>
#include <deque>
#include <vector>

#include "core/core.h"
#include "files/read_channel.h"
#include "gfx2d/renderer.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/internal/window_events.h"
#include "host/runtime.h"
#include "input/input.h"
#include "platform/movie.h"
#include "sound/sound.h"
#include "sound/sound_media.h"

namespace {

// Decoded pictures kept ahead of the clock, and sound queued ahead of what
// the device plays (milliseconds). To reach sound that the container stores
// late, more pictures are decoded, up to kPictureBytesAhead of them.
constexpr size_t kPicturesAhead = 8;
constexpr double kSoundAheadMs = 400.0;
constexpr size_t kPictureBytesAhead = 128u << 20;
// The longest a picture stays on screen waiting for the next one while the
// runtime clock times the movie: a time stamp further ahead (a damaged or
// hostile file) would otherwise hold the program for as long as it says.
constexpr double kLongestStillMs = 10000.0;

// Draws an RGBA picture into the rectangle (window pixels, origin top left)
// on black, through a texture of its own, and shows it.
class MovieScreen {
 public:
  MovieScreen(Renderer& r, const MovieGeometry& g, int width, int height)
      : r_(r), g_(g), width_(width), height_(height) {
    glGenTextures(1, &texture_);
  }
  ~MovieScreen() { glDeleteTextures(1, &texture_); }
  MovieScreen(const MovieScreen&) = delete;
  MovieScreen& operator=(const MovieScreen&) = delete;

  void Show(const std::vector<uint8_t>& rgba) {
    // Everything set here is put back, so the state caches stay right; the
    // frame is drawn by the fixed pipeline, never through a sprite run.
    EndSpriteBatch();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, r_.clientWidth, r_.clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, r_.clientWidth, r_.clientHeight);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_STENCIL_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const float x0 = static_cast<float>(g_.x), y0 = static_cast<float>(g_.y);
    const float x1 = x0 + static_cast<float>(g_.width), y1 = y0 + static_cast<float>(g_.height);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x0, y0);
    glTexCoord2f(1, 0);
    glVertex2f(x1, y0);
    glTexCoord2f(1, 1);
    glVertex2f(x1, y1);
    glTexCoord2f(0, 1);
    glVertex2f(x0, y1);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    platform::SwapBuffers(r_.window);
  }

 private:
  Renderer& r_;
  MovieGeometry g_;
  int width_, height_;
  GLuint texture_ = 0;
};

bool Interrupted() {
  if (PopTypedChar() != 0) return true;
  return AnyMouseButtonDown();
}

}  // namespace

MovieGeometry FitMovie(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height) {
  MovieGeometry g;
  if (width <= 0 || height <= 0) return g;
  const double s = std::min(static_cast<double>(clientWidth) / width, static_cast<double>(clientHeight) / height);
  g.width = static_cast<int32_t>(width * s);
  g.height = static_cast<int32_t>(height * s);
  g.x = (clientWidth - g.width) / 2;
  g.y = (clientHeight - g.height) / 2;
  return g;
}

void PlayMovieAndWait(const char* file, int32_t interrupt) {
  StopMovie();
  ResolvedFile resolved;
  if (file == nullptr || !ResolveFile(MemoryResolver(), file, &resolved)) {
    SetLastError(kErrorNoSuchFile);
    return;
  }
  const auto open = [&resolved] {
    return resolved.inMemory ? platform::OpenMovieBytes(resolved.bytes, resolved.size)
                             : platform::OpenMovieFile(resolved.path.c_str());
  };
  platform::Movie* movie = open();
  Renderer* r = TheRenderer();
  if (movie == nullptr || r == nullptr || r->window == nullptr) {
    if (movie == nullptr) SetLastError(kErrorNoSuchFile);
    platform::CloseMovie(movie);
    return;
  }
  const platform::MovieFacts facts = platform::DescribeMovie(movie);
  OpenMovieSlot(facts.channels, facts.rate);
  const bool sound = MovieSoundPlayedMs() >= 0;
  MovieScreen screen(*r, FitMovie(r->clientWidth, r->clientHeight, facts.width, facts.height), facts.width,
                     facts.height);

  ClearTypedChars();
  std::deque<platform::MoviePicture> pictures;
  platform::MoviePicture picture;
  std::vector<float> samples;
  bool decoded = false;
  // The clock is the sound the device has played; without sound (or once it
  // has all played) the runtime clock goes on from where it was. While the
  // movie is paused the clock stands.
  double wallOffset = GetMilliseconds();
  double lastClock = 0.0;
  const size_t mostPictures =
      std::max(kPicturesAhead, kPictureBytesAhead / (static_cast<size_t>(facts.width) * facts.height * 4));
  const auto wantMore = [&] {
    if (decoded) return false;
    if (pictures.empty()) return true;
    if (sound && MovieSoundQueuedFrames() * 1000.0 / kSoundDeviceRate < kSoundAheadMs)
      return pictures.size() < mostPictures;
    return pictures.size() < kPicturesAhead;
  };
  while (MovieSlotOpen()) {
    if (TakeMovieRestart()) {
      platform::CloseMovie(movie);
      movie = open();
      if (movie == nullptr) break;
      pictures.clear();
      decoded = false;
      wallOffset = GetMilliseconds();
      lastClock = 0.0;
    }
    const bool soundClock = sound && MovieSoundQueuedFrames() > 0;
    double clock;
    if (soundClock) {
      clock = MovieSoundPlayedMs();
      wallOffset = GetMilliseconds() - clock;
    } else if (MovieSlotPaused()) {
      clock = lastClock;
      wallOffset = GetMilliseconds() - clock;
    } else {
      clock = GetMilliseconds() - wallOffset;
    }
    while (wantMore()) {
      const platform::MovieItem item = platform::DecodeMovie(movie, &picture, &samples);
      if (item == platform::MovieItem::End) decoded = true;
      if (item == platform::MovieItem::Picture) pictures.push_back(std::move(picture));
      if (item == platform::MovieItem::Sound)
        QueueMovieSound(samples.data(), static_cast<int>(samples.size()) / facts.channels);
    }
    if (decoded) EndMovieSlot();
    if (!soundClock && !MovieSlotPaused() && !pictures.empty() && pictures.front().time - clock > kLongestStillMs) {
      wallOffset -= pictures.front().time - kLongestStillMs - clock;
      clock = pictures.front().time - kLongestStillMs;
    }
    lastClock = clock;
    const platform::MoviePicture* due = nullptr;
    while (!pictures.empty() && pictures.front().time <= clock) {
      picture = std::move(pictures.front());
      pictures.pop_front();
      due = &picture;
    }
    if (due != nullptr) screen.Show(due->rgba);
    if (decoded && pictures.empty() && MovieSoundQueuedFrames() == 0) break;
    MediaLoopMaintenance();
    PumpMessages(*r, LookUpMessageCallback());
    if (interrupt != 0 && Interrupted()) break;
    platform::SleepMs(2);
  }
  platform::CloseMovie(movie);
  StopMovie();
}

void PlayMovieAndWait(const BasicString& file, int32_t interrupt) { PlayMovieAndWait(file.c_str(), interrupt); }
