// Polyvane's frame loop (both passes, stencil shadows on) offscreen at
// 1024 x 768 with an unlimited frame rate, on the shipped scene and on two
// generated ones: a floor of 100 x 1 x 100 with 10 and with 300 objects
// (types 1-4 in turn) spread within +-100 units. The baseline is the same
// loop over an empty scene, measured in the same run; "x base" compares the
// mean frame times. llvmpipe rasterizes behind the program's back and makes
// it wait now and then (for seconds, at times), so only frames over wall
// time tell the rate; the worst single frame is shown besides.
//
// What the program itself costs per frame is the main thread's processor
// time ("main ms": the runtime, the translated program and the GL's own
// work on the calling thread; llvmpipe's rasterizer threads are left out)
// and the GL calls it makes ("GL calls", of which "draws" draw). The GL
// entry points are counted here, in the benchmark only: the GL 1.x functions
// the runtime links are defined below and pass on to the library's own, and
// the extension entry points the runtime loads are swapped for counting ones
// once the program runs.
//
//   app_frame_loop [seconds per scene (default 5)] [shipped scene file] [options]
//     --scene K        only scene K (0 empty, 1 shipped, 2 ten objects, 3 300 objects)
//     --pixels         instead of timing: the frames of a camera path, as hashes
//     --against OTHER  runs OTHER (this benchmark built on another runtime)
//                      and this one as child processes, scene by scene and in
//                      turn, and prints both figures with their ratios, then
//                      compares the frames of both along the camera path
//     --rounds N       runs of each binary per scene with --against (default 2;
//                      the best run counts)
//     --frames-to DIR  with --pixels: also writes the frames there, as
//                      scene<K>-<frame>.ppm
//     --gl-noop        times the frames on Mesa's no-op driver (GALLIUM_NOOP):
//                      the GL checks, validates and records every call as
//                      it would for a graphics card, and nothing is drawn,
//                      so the main thread's time is what the runtime and
//                      the GL's own front end cost a program that has a GPU
//                      to draw for it; frames along the camera path are
//                      still drawn by the real driver
//     --gl-noop-direct the same with the driver's work kept on the calling
//                      thread (GALLIUM_THREAD=0), as a driver without a
//                      worker thread of its own does it; the threaded form
//                      hands batches of calls to a worker and wakes it for
//                      each, a cost of its own in both builds
//
// The frame clock's least period (2 ms when no rate is set) is lifted: a
// frame that costs less would otherwise be made to wait.
//
// The figures go to standard error: the mesh builder traces every vertex on
// standard output, which is sent to /dev/null here.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "../tests/app/app_code.cpp"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"
#if __has_include("host/runtime.h")
#include "host/runtime.h"  // StartRuntime, where the runtime has that header
#endif
#include "input/devices.h"
#include "input/input.h"

// ---------------------------------------------------------------- counting the GL calls

namespace {

uint64_t g_glCalls = 0;
uint64_t g_glDraws = 0;

// The library the runtime links the GL from (through the GL vendor
// dispatch); with every function it needs defined here, the link no longer
// names it, so it is opened by hand.
void* RealGLEntry(const char* name) {
  static void* library = [] {
    void* handle = dlopen("libOpenGL.so.0", RTLD_NOW | RTLD_GLOBAL);
    return handle != nullptr ? handle : dlopen("libGL.so.1", RTLD_NOW | RTLD_GLOBAL);
  }();
  void* entry = library != nullptr ? dlsym(library, name) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "no GL entry point %s\n", name);
    std::abort();
  }
  return entry;
}

}  // namespace

// Every GL 1.x function the runtime calls: (result, name, parameters,
// arguments, counts as a draw). A definition here takes the place of the
// library's for the runtime linked into this program.
#define VELMORA_COUNTED_GL(X)                                                                                    \
  X(void, glAlphaFunc, (GLenum a, GLclampf b), (a, b), 0)                                                    \
  X(void, glBegin, (GLenum a), (a), 1)                                                                       \
  X(void, glBindTexture, (GLenum a, GLuint b), (a, b), 0)                                                    \
  X(void, glBlendFunc, (GLenum a, GLenum b), (a, b), 0)                                                      \
  X(void, glClear, (GLbitfield a), (a), 0)                                                                   \
  X(void, glClearColor, (GLclampf a, GLclampf b, GLclampf c, GLclampf d), (a, b, c, d), 0)                   \
  X(void, glClearStencil, (GLint a), (a), 0)                                                                 \
  X(void, glColor3f, (GLfloat a, GLfloat b, GLfloat c), (a, b, c), 0)                                        \
  X(void, glColor4f, (GLfloat a, GLfloat b, GLfloat c, GLfloat d), (a, b, c, d), 0)                          \
  X(void, glColor4ub, (GLubyte a, GLubyte b, GLubyte c, GLubyte d), (a, b, c, d), 0)                         \
  X(void, glColorMask, (GLboolean a, GLboolean b, GLboolean c, GLboolean d), (a, b, c, d), 0)                \
  X(void, glColorMaterial, (GLenum a, GLenum b), (a, b), 0)                                                  \
  X(void, glColorPointer, (GLint a, GLenum b, GLsizei c, const GLvoid* d), (a, b, c, d), 0)                  \
  X(void, glCopyTexSubImage2D, (GLenum a, GLint b, GLint c, GLint d, GLint e, GLint f, GLsizei g, GLsizei h), \
    (a, b, c, d, e, f, g, h), 0)                                                                             \
  X(void, glCullFace, (GLenum a), (a), 0)                                                                    \
  X(void, glDeleteTextures, (GLsizei a, const GLuint* b), (a, b), 0)                                         \
  X(void, glDepthFunc, (GLenum a), (a), 0)                                                                   \
  X(void, glDepthMask, (GLboolean a), (a), 0)                                                                \
  X(void, glDisable, (GLenum a), (a), 0)                                                                     \
  X(void, glDisableClientState, (GLenum a), (a), 0)                                                          \
  X(void, glDrawArrays, (GLenum a, GLint b, GLsizei c), (a, b, c), 1)                                        \
  X(void, glDrawElements, (GLenum a, GLsizei b, GLenum c, const GLvoid* d), (a, b, c, d), 1)                 \
  X(void, glEnable, (GLenum a), (a), 0)                                                                      \
  X(void, glEnableClientState, (GLenum a), (a), 0)                                                           \
  X(void, glEnd, (void), (), 0)                                                                              \
  X(void, glFogf, (GLenum a, GLfloat b), (a, b), 0)                                                          \
  X(void, glFogfv, (GLenum a, const GLfloat* b), (a, b), 0)                                                  \
  X(void, glFogi, (GLenum a, GLint b), (a, b), 0)                                                            \
  X(void, glFrontFace, (GLenum a), (a), 0)                                                                   \
  X(void, glGenTextures, (GLsizei a, GLuint* b), (a, b), 0)                                                  \
  X(void, glGetDoublev, (GLenum a, GLdouble* b), (a, b), 0)                                                  \
  X(GLenum, glGetError, (void), (), 0)                                                                       \
  X(void, glGetFloatv, (GLenum a, GLfloat* b), (a, b), 0)                                                    \
  X(void, glGetIntegerv, (GLenum a, GLint* b), (a, b), 0)                                                    \
  X(const GLubyte*, glGetString, (GLenum a), (a), 0)                                                         \
  X(void, glGetTexImage, (GLenum a, GLint b, GLenum c, GLenum d, GLvoid* e), (a, b, c, d, e), 0)             \
  X(void, glGetTexLevelParameteriv, (GLenum a, GLint b, GLenum c, GLint* d), (a, b, c, d), 0)                \
  X(void, glHint, (GLenum a, GLenum b), (a, b), 0)                                                           \
  X(void, glLightModelf, (GLenum a, GLfloat b), (a, b), 0)                                                   \
  X(void, glLightf, (GLenum a, GLenum b, GLfloat c), (a, b, c), 0)                                           \
  X(void, glLightfv, (GLenum a, GLenum b, const GLfloat* c), (a, b, c), 0)                                   \
  X(void, glLineWidth, (GLfloat a), (a), 0)                                                                  \
  X(void, glLoadIdentity, (void), (), 0)                                                                     \
  X(void, glLoadMatrixf, (const GLfloat* a), (a), 0)                                                         \
  X(void, glMatrixMode, (GLenum a), (a), 0)                                                                  \
  X(void, glMultMatrixf, (const GLfloat* a), (a), 0)                                                         \
  X(void, glNormalPointer, (GLenum a, GLsizei b, const GLvoid* c), (a, b, c), 0)                             \
  X(void, glOrtho, (GLdouble a, GLdouble b, GLdouble c, GLdouble d, GLdouble e, GLdouble f),                 \
    (a, b, c, d, e, f), 0)                                                                                   \
  X(void, glPixelStorei, (GLenum a, GLint b), (a, b), 0)                                                     \
  X(void, glPointSize, (GLfloat a), (a), 0)                                                                  \
  X(void, glPopAttrib, (void), (), 0)                                                                        \
  X(void, glPopClientAttrib, (void), (), 0)                                                                  \
  X(void, glPopMatrix, (void), (), 0)                                                                        \
  X(void, glPushAttrib, (GLbitfield a), (a), 0)                                                              \
  X(void, glPushClientAttrib, (GLbitfield a), (a), 0)                                                        \
  X(void, glPushMatrix, (void), (), 0)                                                                       \
  X(void, glReadBuffer, (GLenum a), (a), 0)                                                                  \
  X(void, glReadPixels, (GLint a, GLint b, GLsizei c, GLsizei d, GLenum e, GLenum f, GLvoid* g),             \
    (a, b, c, d, e, f, g), 0)                                                                                \
  X(void, glRotatef, (GLfloat a, GLfloat b, GLfloat c, GLfloat d), (a, b, c, d), 0)                          \
  X(void, glScalef, (GLfloat a, GLfloat b, GLfloat c), (a, b, c), 0)                                         \
  X(void, glScissor, (GLint a, GLint b, GLsizei c, GLsizei d), (a, b, c, d), 0)                              \
  X(void, glShadeModel, (GLenum a), (a), 0)                                                                  \
  X(void, glStencilFunc, (GLenum a, GLint b, GLuint c), (a, b, c), 0)                                        \
  X(void, glStencilMask, (GLuint a), (a), 0)                                                                 \
  X(void, glStencilOp, (GLenum a, GLenum b, GLenum c), (a, b, c), 0)                                         \
  X(void, glTexCoord2f, (GLfloat a, GLfloat b), (a, b), 0)                                                   \
  X(void, glTexCoordPointer, (GLint a, GLenum b, GLsizei c, const GLvoid* d), (a, b, c, d), 0)               \
  X(void, glTexEnvi, (GLenum a, GLenum b, GLint c), (a, b, c), 0)                                            \
  X(void, glTexGeni, (GLenum a, GLenum b, GLint c), (a, b, c), 0)                                            \
  X(void, glTexImage2D,                                                                                      \
    (GLenum a, GLint b, GLint c, GLsizei d, GLsizei e, GLint f, GLenum g, GLenum h, const GLvoid* i),        \
    (a, b, c, d, e, f, g, h, i), 0)                                                                          \
  X(void, glTexParameteri, (GLenum a, GLenum b, GLint c), (a, b, c), 0)                                      \
  X(void, glTexSubImage2D,                                                                                   \
    (GLenum a, GLint b, GLint c, GLint d, GLsizei e, GLsizei f, GLenum g, GLenum h, const GLvoid* i),        \
    (a, b, c, d, e, f, g, h, i), 0)                                                                          \
  X(void, glTranslatef, (GLfloat a, GLfloat b, GLfloat c), (a, b, c), 0)                                     \
  X(void, glVertex2f, (GLfloat a, GLfloat b), (a, b), 0)                                                     \
  X(void, glVertex2i, (GLint a, GLint b), (a, b), 0)                                                         \
  X(void, glVertex3f, (GLfloat a, GLfloat b, GLfloat c), (a, b, c), 0)                                       \
  X(void, glVertexPointer, (GLint a, GLenum b, GLsizei c, const GLvoid* d), (a, b, c, d), 0)                 \
  X(void, glViewport, (GLint a, GLint b, GLsizei c, GLsizei d), (a, b, c, d), 0)

#define VELMORA_DEFINE_COUNTED(result, name, parameters, arguments, draws)                    \
  extern "C" result name parameters {                                                         \
    static const auto real = reinterpret_cast<decltype(&::name)>(RealGLEntry(#name));         \
    ++g_glCalls;                                                                              \
    g_glDraws += (draws);                                                                     \
    return real arguments;                                                                    \
  }
VELMORA_COUNTED_GL(VELMORA_DEFINE_COUNTED)
#undef VELMORA_DEFINE_COUNTED

namespace {

// A counting stand-in for the extension entry point held in *Slot.
template <auto* Slot, typename Proc = std::remove_pointer_t<decltype(Slot)>>
struct CountedEntry;
template <auto* Slot, typename Result, typename... Args>
struct CountedEntry<Slot, Result (*)(Args...)> {
  static inline Result (*real)(Args...) = nullptr;
  static Result Call(Args... args) {
    ++g_glCalls;
    return real(args...);
  }
  static void Install() {
    if (*Slot == nullptr || *Slot == &Call) return;
    real = *Slot;
    *Slot = &Call;
  }
};

// After the program's own start-up (which may load the entry points again).
void CountExtensionCalls() {
  CountedEntry<&gl::ActiveTextureARB>::Install();
  CountedEntry<&gl::MultiTexCoord2fARB>::Install();
  CountedEntry<&gl::ClientActiveTextureARB>::Install();
  CountedEntry<&gl::GenBuffersARB>::Install();
  CountedEntry<&gl::BindBufferARB>::Install();
  CountedEntry<&gl::BufferDataARB>::Install();
  CountedEntry<&gl::DeleteBuffersARB>::Install();
  CountedEntry<&gl::MapBufferARB>::Install();
  CountedEntry<&gl::UnmapBufferARB>::Install();
  CountedEntry<&gl::GetBufferParameterivARB>::Install();
  CountedEntry<&gl::UseProgramObjectARB>::Install();
  CountedEntry<&gl::GetUniformLocationARB>::Install();
  CountedEntry<&gl::Uniform1fARB>::Install();
  CountedEntry<&gl::Uniform1iARB>::Install();
}

// ---------------------------------------------------------------- the scenes

namespace fs = std::filesystem;

struct Figures {
  double framesPerSecond = 0;  // frames over wall time
  double msPerFrame = 0;
  double worstMs = 0;          // the longest single frame
  double cpuShare = 0;         // CPU seconds per wall second (all threads)
  double mainMs = 0;           // the main thread's processor time per frame
  double allMs = 0;            // the process's processor time per frame (all threads)
  double glCalls = 0;          // per frame
  double glDraws = 0;          // per frame
  int64_t trianglesBuilt = 0;  // in the objects' triangle lists
  double trianglesDrawn = 0;   // per frame, both passes
  double shadowVolumes = 0;    // per frame
};

// A generated scene: the floor and `count` objects of types 1-4 in turn, at
// random places within +-100 units (positions are multiplied by 5).
std::string GeneratedScene(int count) {
  std::ostringstream text;
  text << "2\ntiles.png\nmarble.png\n" << count + 1 << "\n";
  // type, unused, rotation, scale, position, colour, texture, tile u, v
  text << "5\n0\n0\n0\n0\n100\n1\n100\n0\n-1\n0\n255\n255\n255\n1\n0.05\n0.05\n";
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / 16777216.0;
  };
  for (int k = 0; k < count; ++k) {
    const int type = 1 + k % 4;
    const double x = (next() * 200 - 100) / 5, z = (next() * 200 - 100) / 5;
    text << type << "\n0\n0\n" << (type >= 3 ? 0 : 1) << "\n0\n1\n1\n1\n"
         << x << "\n0\n" << z << "\n"
         << static_cast<int>(next() * 255) << "\n" << static_cast<int>(next() * 255) << "\n200\n"
         << (k % 3 == 0 ? 2 : 0) << "\n1\n1\n";
  }
  return text.str();
}

struct Case {
  const char* name;
  std::string scene;
};

void PlaceMouse(int32_t x, int32_t y) {
  InputDevices* input = TheInputDevices();
  if (input != nullptr && !input->mice.empty()) {
    input->mice[0].x = x;
    input->mice[0].y = y;
  }
}

double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The translated main program runs on the scene, stopping at the start of
// each frame (its Begin3D statement): the first stop ends the start-up, 20
// frames warm up, then frames are timed from stop to stop.
Figures Measure(const fs::path& folder, const std::string& scene, double seconds) {
  std::ofstream(folder / "test.pvs", std::ios::binary | std::ios::trunc) << scene;
  Figures figures;
  Engine3D& engine = *TheEngine3D();
  // The runtime's clock counts whole milliseconds; frames are shorter.
  const auto now = [] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  };
  double start = 0, frameStart = 0, threadStart = 0;
  uint64_t callsStart = 0, drawsStart = 0;
  std::clock_t cpuStart = 0;
  int stops = 0;
  std::vector<double> times;
  BreakpointModules[0] = 0;
  BreakpointLines[0] = app_test::MainStatement("Begin3D(");
  TheDebugState.breakpointCount = 1;
  app_test::RunMainProgram([&] {
    ++stops;
    if (stops == 1) {
      CountExtensionCalls();
      TheFrameClock().period = 0;  // no least frame time (see the top)
      for (int32_t id = 1; id <= static_cast<int32_t>(polyvane::nm); ++id) {
        MeshSlot* slot = MeshSlotAt(id);
        if (slot != nullptr && slot->valid && slot->meshes.count() > 0)
          figures.trianglesBuilt += slot->meshes[0].frames[0].triangles.count() / 3;
      }
    } else if (stops == 21) {
      engine.stats = DrawStatistics();
      start = now();
      cpuStart = std::clock();
      threadStart = ThreadMs();
      callsStart = g_glCalls;
      drawsStart = g_glDraws;
    } else if (stops > 21) {
      times.push_back(now() - frameStart);
      if (now() - start >= seconds * 1000.0) return true;
    }
    // The README's view: the mouse at (560, 140), the camera 180 units up.
    PlaceMouse(560, 140);
    frameStart = now();
    return false;
  });
  TheDebugState.breakpointCount = 0;
  const int frames = static_cast<int>(times.size());
  const double wallMs = now() - start;
  figures.mainMs = (ThreadMs() - threadStart) / frames;
  figures.glCalls = static_cast<double>(g_glCalls - callsStart) / frames;
  figures.glDraws = static_cast<double>(g_glDraws - drawsStart) / frames;
  figures.worstMs = *std::max_element(times.begin(), times.end());
  figures.framesPerSecond = frames / (wallMs / 1000.0);
  figures.msPerFrame = wallMs / frames;
  const double cpuMs = static_cast<double>(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
  figures.cpuShare = cpuMs / wallMs;
  figures.allMs = cpuMs / frames;
  figures.trianglesDrawn = static_cast<double>(engine.stats.trianglesDrawn) / frames;
  figures.shadowVolumes = static_cast<double>(engine.stats.shadowVolumes) / frames;
  return figures;
}

// The camera path of the frame comparison: each mouse position is held for
// two frames (what a frame can keep from the one before is kept, then), and
// the positions walk round the scene and up and down.
constexpr int kPathFrames = 16;
void PathMouse(int frame, int32_t* x, int32_t* y) {
  const int step = frame / 2;
  *x = 560 + 45 * step;
  *y = 140 + (step % 3) * 40 - 40;
}

// The frames along the camera path as they stand before the frame-rate text
// is printed on them (it differs from run to run): one hash each.
std::vector<uint64_t> PathFrames(const fs::path& folder, const std::string& scene, const std::string& dumpPrefix) {
  std::ofstream(folder / "test.pvs", std::ios::binary | std::ios::trunc) << scene;
  std::vector<uint8_t> pixels;
  std::vector<uint64_t> hashes;
  const int32_t frameLine = app_test::MainStatement("Begin3D(");
  const int32_t textLine = app_test::MainStatement("showFPS(");
  BreakpointModules[0] = 0;
  BreakpointLines[0] = frameLine;
  BreakpointModules[1] = 0;
  BreakpointLines[1] = textLine;
  TheDebugState.breakpointCount = 2;
  int frame = 0;
  app_test::RunMainProgram([&] {
    if (TheDebugState.line == frameLine) {
      int32_t x = 0, y = 0;
      PathMouse(frame, &x, &y);
      PlaceMouse(x, y);
      return false;
    }
    int32_t width = 0, height = 0;
    GetScreenSize(&width, &height);
    pixels.resize(static_cast<size_t>(width) * height * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (uint8_t byte : pixels) hash = (hash ^ byte) * 1099511628211ULL;
    hashes.push_back(hash);
    if (!dumpPrefix.empty()) {
      // Bottom row first, as the GL reads them.
      std::ofstream out(dumpPrefix + std::to_string(frame) + ".ppm", std::ios::binary);
      out << "P6\n" << width << " " << height << "\n255\n";
      for (int32_t row = height - 1; row >= 0; --row)
        for (int32_t x = 0; x < width; ++x)
          out.write(reinterpret_cast<const char*>(&pixels[(static_cast<size_t>(row) * width + x) * 4]), 3);
    }
    return ++frame == kPathFrames;
  });
  TheDebugState.breakpointCount = 0;
  return hashes;
}

// ---------------------------------------------------------------- two builds side by side

struct ChildRun {
  Figures figures;
  std::vector<uint64_t> hashes;
  bool ok = false;
};

// How the figures were timed, for the heading.
const char* NoopNote() {
  if (getenv("GALLIUM_NOOP") == nullptr) return "";
  const char* thread = getenv("GALLIUM_THREAD");
  return thread != nullptr && std::strcmp(thread, "0") == 0 ? ", timed on the GL's no-op driver, on the calling thread"
                                                             : ", timed on the GL's no-op driver";
}

ChildRun RunChild(const std::string& program, double seconds, const std::string& shippedFile, int scene,
                  bool pixels) {
  std::ostringstream command;
  command << "'" << program << "' " << seconds << " '" << shippedFile << "' --scene " << scene
          << (pixels ? " --pixels" : "") << " 2>&1";
  // The frames to compare come from a driver that draws.
  if (pixels) command.str("env -u GALLIUM_NOOP " + command.str());
  ChildRun run;
  FILE* pipe = popen(command.str().c_str(), "r");
  if (pipe == nullptr) return run;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    Figures& f = run.figures;
    long long built = 0;
    unsigned long long hash = 0;
    if (std::sscanf(line, "FIGURES %lf %lf %lf %lf %lf %lf %lf %lf %lld %lf %lf", &f.framesPerSecond,
                    &f.msPerFrame, &f.worstMs, &f.cpuShare, &f.mainMs, &f.allMs, &f.glCalls, &f.glDraws, &built,
                    &f.trianglesDrawn, &f.shadowVolumes) == 11) {
      f.trianglesBuilt = built;
      run.ok = true;
    } else if (std::sscanf(line, "PIXELS %llx", &hash) == 1) {
      run.hashes.push_back(hash);
      run.ok = true;
    }
  }
  return pclose(pipe) == 0 && run.ok ? run : ChildRun{};
}

int Compare(const std::string& other, double seconds, const std::string& shippedFile, int rounds,
            const std::vector<Case>& cases) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::fprintf(stderr, "Polyvane frame loop, 1024 x 768, unlimited rate, %.1f s per scene, best of %d runs each%s\n",
               seconds, rounds, NoopNote());
  std::fprintf(stderr, "  old: %s\n  new: %s\n", other.c_str(), self.c_str());
  std::fprintf(stderr, "%-24s %-9s %9s %9s %9s %9s %9s %9s\n", "scene", "", "frames/s", "ms/frame", "main ms",
               "all ms", "GL calls", "draws");
  int failures = 0;
  for (size_t k = 0; k < cases.size(); ++k) {
    Figures best[2];
    bool have[2] = {false, false};
    for (int round = 0; round < rounds; ++round) {
      // Old first in one round, new first in the next: drift in the
      // machine's load falls on both.
      for (int turn = 0; turn < 2; ++turn) {
        const int which = (round + turn) % 2;  // 0 old, 1 new
        const ChildRun run = RunChild(which == 0 ? other : self, seconds, shippedFile, static_cast<int>(k), false);
        if (!run.ok) {
          std::fprintf(stderr, "%s: the run on scene %zu failed\n", which == 0 ? "old" : "new", k);
          return 1;
        }
        Figures& b = best[which];
        if (!have[which]) {
          b = run.figures;
          have[which] = true;
        } else {
          b.framesPerSecond = std::max(b.framesPerSecond, run.figures.framesPerSecond);
          b.msPerFrame = std::min(b.msPerFrame, run.figures.msPerFrame);
          b.mainMs = std::min(b.mainMs, run.figures.mainMs);
          b.allMs = std::min(b.allMs, run.figures.allMs);
        }
      }
    }
    const Figures& o = best[0];
    const Figures& n = best[1];
    std::fprintf(stderr, "%-24s %-9s %9.1f %9.2f %9.2f %9.2f %9.0f %9.0f\n", cases[k].name, "old",
                 o.framesPerSecond, o.msPerFrame, o.mainMs, o.allMs, o.glCalls, o.glDraws);
    std::fprintf(stderr, "%-24s %-9s %9.1f %9.2f %9.2f %9.2f %9.0f %9.0f\n", "", "new", n.framesPerSecond,
                 n.msPerFrame, n.mainMs, n.allMs, n.glCalls, n.glDraws);
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::fprintf(stderr, "%-24s %-9s %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f\n", "", "new/old",
                 ratio(n.framesPerSecond, o.framesPerSecond), ratio(n.msPerFrame, o.msPerFrame),
                 ratio(n.mainMs, o.mainMs), ratio(n.allMs, o.allMs), ratio(n.glCalls, o.glCalls),
                 ratio(n.glDraws, o.glDraws));
  }
  std::fprintf(stderr, "frames along the camera path (%d frames per scene, hashed before the frame-rate text):\n",
               kPathFrames);
  for (size_t k = 0; k < cases.size(); ++k) {
    const ChildRun a = RunChild(other, seconds, shippedFile, static_cast<int>(k), true);
    const ChildRun b = RunChild(self, seconds, shippedFile, static_cast<int>(k), true);
    int same = 0;
    for (size_t j = 0; j < a.hashes.size() && j < b.hashes.size(); ++j) same += a.hashes[j] == b.hashes[j];
    std::vector<uint64_t> distinct = a.hashes;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    const bool identical = a.ok && b.ok && a.hashes.size() == kPathFrames && a.hashes == b.hashes;
    if (!identical) ++failures;
    std::fprintf(stderr, "  %-24s %s: %d of %d frames identical (%zu different pictures along the path)\n",
                 cases[k].name, identical ? "identical" : "DIFFERENT", same, kPathFrames, distinct.size());
  }
  return failures == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  int onlyScene = -1, rounds = 2;
  bool pixels = false;
  std::string against, framesTo;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--scene" && i + 1 < argc) {
      onlyScene = std::atoi(argv[++i]);
    } else if (arg == "--pixels") {
      pixels = true;
    } else if (arg == "--against" && i + 1 < argc) {
      against = argv[++i];
    } else if (arg == "--frames-to" && i + 1 < argc) {
      framesTo = argv[++i];
    } else if (arg == "--gl-noop" || arg == "--gl-noop-direct") {
      // The driver is chosen when the GL starts and glibc reads its
      // allocator's settings when the process does: the program starts
      // again with both in its environment (children inherit them). The
      // no-op driver allocates and frees the buffers a GPU driver would
      // keep; one heap for all threads and these thresholds keep those in
      // the heap, so the pages are not handed back and faulted in again on
      // every frame (which made the figures jump between runs).
      if (getenv("GALLIUM_NOOP") == nullptr) {
        setenv("GALLIUM_NOOP", "1", 1);
        if (arg == "--gl-noop-direct") setenv("GALLIUM_THREAD", "0", 1);
        setenv("MALLOC_MMAP_THRESHOLD_", "268435456", 1);
        setenv("MALLOC_TRIM_THRESHOLD_", "1073741824", 1);
        setenv("MALLOC_TOP_PAD_", "67108864", 1);
        setenv("MALLOC_ARENA_MAX", "1", 1);
        execv("/proc/self/exe", argv);
        std::perror("app_frame_loop: cannot start again");
        return 1;
      }
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      positional.push_back(arg);
    }
  }
  const double seconds = positional.size() > 0 ? std::atof(positional[0].c_str()) : 5.0;
  // The source tree holds the shipped scene and its media. Its path comes
  // from the build: a compiler cache may compile this file by a relative name.
  const std::string source = VELMORA_SOURCE_DIR;
  const std::string shippedFile = positional.size() > 1 ? positional[1] : source + "/data/test.pvs";
  std::ifstream shippedIn(shippedFile, std::ios::binary);
  std::ostringstream shipped;
  shipped << shippedIn.rdbuf();
  const std::vector<Case> cases = {
      {"empty scene (baseline)", "0\n0\n"},
      {"shipped scene", shipped.str()},
      {"floor + 10 objects", GeneratedScene(10)},
      {"floor + 300 objects", GeneratedScene(300)},
  };
  if (!against.empty()) return Compare(against, seconds, shippedFile, rounds, cases);

  // A folder of this process's own: the comparison runs two at a time.
  const fs::path folder = fs::temp_directory_path() / ("polyvane-bench-" + std::to_string(getpid()));
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder);
  fs::copy(source + "/data/media", folder / "media", fs::copy_options::recursive, ec);
  setenv("TMPDIR", (folder.string() + "/").c_str(), 1);
  setenv("VELMORA_NO_DIALOGS", "1", 1);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;

  polyvane::settings();
  ProjectSettings& s = Settings();
  s.ScreenWidth = 1024;  // the program's own size from the start
  s.ScreenHeight = 768;
  if (!StartRuntime(10, s.AppTitle.c_str())) {
    std::fprintf(stderr, "no GL window\n");
    return 1;
  }
  ClearLastError();
  polyvane::globalSetup();
  // Start-up made the executable's folder current; the scenes live here.
  fs::current_path(folder);

  const bool machine = onlyScene >= 0;  // one scene, for a comparing parent
  if (!machine)
    std::fprintf(stderr, "Polyvane frame loop, 1024 x 768, unlimited rate, %.1f s per scene, video driver %s%s\n",
                 seconds, platform::VideoDriverName(),
                 NoopNote());
  double baselineMs = 0;
  if (!machine && !pixels)
    std::fprintf(stderr, "%-24s %9s %9s %9s %9s %10s %11s %8s %5s %8s %8s %9s %7s\n", "scene", "frames/s",
                 "ms/frame", "x base", "worst ms", "triangles", "drawn/frame", "volumes", "CPU", "main ms",
                 "all ms", "GL calls", "draws");
  for (size_t k = 0; k < cases.size(); ++k) {
    if (machine && static_cast<int>(k) != onlyScene) continue;
    const Case& c = cases[k];
    if (pixels) {
      const std::vector<uint64_t> hashes =
          PathFrames(folder, c.scene, framesTo.empty() ? "" : framesTo + "/scene" + std::to_string(k) + "-");
      for (uint64_t hash : hashes) {
        if (machine)
          std::fprintf(stderr, "PIXELS %016llx\n", static_cast<unsigned long long>(hash));
        else
          std::fprintf(stderr, "%-24s %016llx\n", c.name, static_cast<unsigned long long>(hash));
      }
      continue;
    }
    const Figures f = Measure(folder, c.scene, seconds);
    if (machine) {
      std::fprintf(stderr, "FIGURES %.3f %.3f %.3f %.4f %.4f %.4f %.1f %.1f %lld %.1f %.2f\n", f.framesPerSecond,
                   f.msPerFrame, f.worstMs, f.cpuShare, f.mainMs, f.allMs, f.glCalls, f.glDraws,
                   static_cast<long long>(f.trianglesBuilt), f.trianglesDrawn, f.shadowVolumes);
      continue;
    }
    if (baselineMs == 0) baselineMs = f.msPerFrame;
    std::fprintf(stderr, "%-24s %9.1f %9.2f %9.2f %9.0f %10lld %11.0f %8.0f %4.0f%% %8.2f %8.2f %9.0f %7.0f\n",
                 c.name, f.framesPerSecond, f.msPerFrame, f.msPerFrame / baselineMs, f.worstMs,
                 static_cast<long long>(f.trianglesBuilt), f.trianglesDrawn, f.shadowVolumes, f.cpuShare * 100,
                 f.mainMs, f.allMs, f.glCalls, f.glDraws);
  }
  std::fflush(stderr);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(folder, ec);
  std::_Exit(0);  // skip END: nothing to report, and the GL teardown is not measured
}
