// Mesh construction and drawing figures of the 3D engine, printed as ratios
// against a baseline of the same run (not a timed test):
//   - BeginMesh/AddMeshVertex/EndMesh of a smooth sphere of 20,000 and of
//     200,000 vertices: with hashed key lookups the time grows linearly, so
//     ten times the vertices should take at most about 15 times as long;
//   - the first shadow draw of the same spheres (it welds positions and
//     builds the edge list), with the same ratio;
//   - triangles per second drawn by DrawMesh with buffer objects and with
//     client arrays, and DrawMesh calls per second for small objects, in a
//     1024 x 768 window (offscreen when there is no display).
// The vertex trace of AddMeshVertex goes to standard output, which is sent to
// the null device here; the figures go to standard error.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/settings.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/runtime.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Latitude strips; `segments` + 1 columns of two vertices per ring.
void BuildSphere(int32_t id, int32_t rings, int32_t segments) {
  SetMeshNormalMode(2);
  BeginMesh(id);
  const double pi = 3.14159265358979323846;
  for (int32_t i = 0; i < rings; ++i) {
    if (i > 0) NewMeshStrip();
    for (int32_t j = 0; j <= segments; ++j) {
      const double lon = 2 * pi * j / segments;
      for (int32_t k = 1; k >= 0; --k) {
        const double lat = pi * (i + k) / rings;
        AddMeshVertex(5 * std::sin(lat) * std::sin(lon), 5 * std::cos(lat), 5 * std::sin(lat) * std::cos(lon),
                      static_cast<double>(j) / segments, static_cast<double>(i + k) / rings, 0xC0C0C0);
      }
    }
  }
  EndMesh();
}

// Each repetition builds a new object number and keeps the earlier ones, so
// that every build works in fresh memory as a program's one build of an
// object does (a rebuilt number would reuse the freed blocks of the last
// build, which the allocator does for small blocks but not for large ones).
double TimeBuild(int32_t firstId, int32_t rings, int32_t segments, int repeats) {
  double best = 1e30;
  for (int r = 0; r < repeats; ++r) {
    const auto start = Clock::now();
    BuildSphere(firstId + r, rings, segments);
    best = std::min(best, Seconds(start));
  }
  return best;
}

void BeginScene() {
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 40, 0, 0, 0);
  SetCullMode(1);
}

double TimeFirstShadowDraw(int32_t firstId, int32_t rings, int32_t segments, int repeats) {
  double best = 1e30;
  for (int r = 0; r < repeats; ++r) {
    const int32_t id = firstId + r;
    BuildSphere(id, rings, segments);  // a new mesh: no edge list yet
    BeginScene();
    SetLight(-3, 0x400000, -110, 110, -110, 0, 0, 0, 360);
    glFinish();
    const auto start = Clock::now();
    DrawMesh(id, 0);
    glFinish();
    best = std::min(best, Seconds(start));
    End3D();
  }
  return best;
}

// Triangles per second of repeated DrawMesh calls of one mesh.
double TrianglesPerSecond(int32_t id, bool buffers, int draws) {
  Engine3D& e = *TheEngine3D();
  e.bufferObjectsAllowed = buffers;
  ReleaseMeshBuffers(MeshSlotAt(id)->meshes[0]);
  BeginScene();
  DrawMesh(id, 0);  // uploads the static buffer
  glFinish();
  const uint64_t before = e.stats.trianglesDrawn;
  const auto start = Clock::now();
  for (int i = 0; i < draws; ++i) DrawMesh(id, 0);
  glFinish();
  const double t = Seconds(start);
  End3D();
  PresentFrame(*TheRenderer(), nullptr);
  e.bufferObjectsAllowed = true;
  return static_cast<double>(e.stats.trianglesDrawn - before) / t;
}

// DrawMesh calls per second for many small objects, the way a scene is drawn.
double SmallDrawsPerSecond(int32_t firstId, int32_t objects, int frames, bool shadowPass) {
  double total = 0;
  int64_t calls = 0;
  for (int f = 0; f < frames; ++f) {
    BeginScene();
    glFinish();
    const auto start = Clock::now();
    for (int pass = 0; pass < (shadowPass ? 2 : 1); ++pass) {
      for (int32_t i = 0; i < objects; ++i) {
        SetMovementTranslation((i % 20) * 3.0 - 30, (i / 20) * 3.0 - 20, -40 - (i % 7));
        SetMovementScale(0.4, 0.4, 0.4);
        AddMovementRotation(30, 0, 1, 0);
        DrawMesh(firstId + i % 8, 0);
        ++calls;
      }
      if (pass == 0 && shadowPass) SetLight(-3, 0x400000, -110, 110, -110, 0, 0, 0, 360);
    }
    End3D();
    glFinish();
    total += Seconds(start);
    PresentFrame(*TheRenderer(), nullptr);
  }
  return static_cast<double>(calls) / total;
}

}  // namespace

int main() {
  // The figures go to standard error; the vertex trace to the null device.
  if (std::freopen("/dev/null", "w", stdout) != nullptr) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  platform::SetEnvironmentVariable("VELMORA_NO_DIALOGS", "1");
  ProjectSettings& settings = Settings();
  settings.ScreenWidth = 1024;
  settings.ScreenHeight = 768;
  settings.FrameRate = -1;
  if (!StartRuntime(10, "gfx3d_mesh")) {
    std::fprintf(stderr, "no GL window could be made\n");
    return 1;
  }
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  std::fprintf(stderr, "GL renderer: %s\n", renderer != nullptr ? renderer : "?");

  // 100 rings of 2 x (segments + 1) vertices.
  const double small = TimeBuild(100, 100, 99, 7);   // 20,000 vertices
  const double large = TimeBuild(200, 100, 999, 5);  // 200,000 vertices
  std::fprintf(stderr, "build + EndMesh, smooth sphere:  20,000 vertices %8.2f ms   200,000 vertices %8.2f ms   "
               "ratio %.1f (at most 15)   %.0f and %.0f ns a vertex\n", small * 1e3, large * 1e3, large / small,
               small * 1e9 / 20000, large * 1e9 / 200000);
  for (int32_t id = 100; id < 300; ++id) {  // release the copies (an empty object is discarded)
    BeginMesh(id);
    EndMesh();
  }

  const double shadowSmall = TimeFirstShadowDraw(300, 100, 99, 3);
  const double shadowLarge = TimeFirstShadowDraw(400, 100, 999, 2);
  std::fprintf(stderr, "first shadow draw:               20,000 vertices %8.2f ms   200,000 vertices %8.2f ms   "
               "ratio %.1f\n", shadowSmall * 1e3, shadowLarge * 1e3, shadowLarge / shadowSmall);

  const bool haveBuffers = gl::GenBuffersARB != nullptr;
  BuildSphere(200, 100, 999);
  const double withBuffers = haveBuffers ? TrianglesPerSecond(200, true, 20) : 0.0;
  const double clientArrays = TrianglesPerSecond(200, false, 20);
  std::fprintf(stderr, "DrawMesh, 199,800 triangles, 1024 x 768: buffer objects %.2f M/s   client arrays %.2f M/s   "
               "ratio %.2f%s\n", withBuffers / 1e6, clientArrays / 1e6,
               clientArrays > 0 ? withBuffers / clientArrays : 0.0, haveBuffers ? "" : " (no buffer objects here)");

  for (int32_t i = 0; i < 8; ++i) BuildSphere(10 + i, 8, 12);  // 208 vertices, 192 triangles each
  const double plain = SmallDrawsPerSecond(10, 300, 20, false);
  const double both = SmallDrawsPerSecond(10, 300, 20, true);
  std::fprintf(stderr, "DrawMesh calls of 192-triangle objects, 300 a pass: plain %.0f /s   plain + shadow pass %.0f /s"
               "   (%.1f and %.1f frames/s)\n", plain, both, plain / 300, both / 600);
  return 0;
}
