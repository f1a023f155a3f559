// Object file figures of the 3D engine, printed against baselines of the
// same run (not a timed test):
//   - LoadMesh of a binary file of 200,000 vertices (two frames of 100,000
//     records) from disk, against reading the same bytes with fread: the
//     ratio is what decoding and building the triangles add to the read
//     (the triangle lists are about ten times the file's size); decoding the
//     records alone is shown beside it. The first load of the process is
//     shown apart: its lists go into memory the system must first provide
//     (the later loads into the same slot free theirs first, which costs
//     about as much), and the system's part of each is shown beside it;
//   - the normal index search of SaveMesh per vertex (162 entries scored),
//     against only making the same normals unit length.
//   gfx3d_mesh_file [folder]   (default: $TMPDIR or /tmp)
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gfx2d/renderer.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh_file.h"

namespace {

constexpr int32_t kRecordsPerFrame = 100000;
constexpr int kRounds = 5;

// Processor time (the process's own, page faults included), so that other
// work on a shared machine does not enter the figures.
double ProcessorSeconds(const std::function<void()>& work) {
  const std::clock_t start = std::clock();
  work();
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

double BestSeconds(const std::function<void()>& work) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) best = std::min(best, ProcessorSeconds(work));
  return best;
}

// The system's processor time of the process so far (what page faults cost).
double SystemSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
}

// Two frames of strips of 64 vertices with unit normals and four colours.
std::string MakeFile() {
  MeshObjectX mesh;
  std::mt19937 random(3);
  std::uniform_real_distribution<float> any(-1, 1);
  for (int32_t f = 0; f < 2; ++f) {
    MeshFrame* frame = mesh.frames.AppendNew();
    frame->strips.Reserve(kRecordsPerFrame);
    for (int32_t i = 0; i < kRecordsPerFrame; ++i) {
      MeshVertex r = MarkerRecord(i % 65 == 0 ? MARK_TRIANGLE_STRIP : 0x102030 * (i % 4));
      if (i % 65 != 0) {
        r.x = static_cast<float>(i % 65) + f;
        r.y = static_cast<float>(i / 65);
        r.z = any(random);
        r.nx = any(random);
        r.ny = any(random);
        r.nz = 1;
        r.u = static_cast<float>(i % 65) / 64;
        r.v = -static_cast<float>(i / 65) / 64;
      }
      frame->strips.Append(r);
    }
  }
  BuildColourPalette(mesh);
  return EncodeMeshBinary(mesh);
}

size_t ReadWithStdio(const std::string& path, std::vector<char>& buffer) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
  std::fclose(file);
  return got;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : (std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp");
  const std::string path = folder + "/velmora-bench-200k.xqo";
  const std::string bytes = MakeFile();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  static Renderer renderer;
  CreateEngine3D(renderer);

  std::vector<char> buffer(bytes.size());
  const double plain = BestSeconds([&] {
    if (ReadWithStdio(path, buffer) != bytes.size()) std::abort();
  });
  const auto loadOnce = [&] {
    LoadMesh(path.c_str(), 1);
    if (MeshSlotAt(1)->valid != 1) std::abort();
  };
  double system = SystemSeconds();
  const double firstLoad = ProcessorSeconds(loadOnce);
  const double firstSystem = SystemSeconds() - system;
  system = SystemSeconds();
  const double load = BestSeconds(loadOnce);
  const double loadSystem = (SystemSeconds() - system) / kRounds;
  const double decode = BestSeconds([&] {
    MeshObjectX mesh;
    if (ReadMeshBinary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), mesh, nullptr) !=
        MeshReadResult::kLoaded)
      std::abort();
  });
  std::printf("object files (processor time, best of %d rounds)\n", kRounds);
  std::printf("  %-52s %8.2f ms\n", "fread of the 200k-vertex file (baseline)", plain * 1e3);
  std::printf("  %-52s %8.2f ms   ratio %.2f\n", "decoding the records alone (no triangles)", decode * 1e3,
              decode / plain);
  std::printf("  %-52s %8.2f ms   ratio %.2f   (system %.2f ms)\n", "LoadMesh of the same file, first load",
              firstLoad * 1e3, firstLoad / plain, firstSystem * 1e3);
  std::printf("  %-52s %8.2f ms   ratio %.2f   (system %.2f ms a load)\n",
              "LoadMesh of the same file, loaded again", load * 1e3, load / plain, loadSystem * 1e3);

  std::vector<float> normals(3 * 200000);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> any(-1, 1);
  for (float& v : normals) v = any(random);
  const size_t count = normals.size() / 3;
  volatile int64_t sink = 0;
  const double unit = BestSeconds([&] {
    float sum = 0;
    for (size_t i = 0; i < count; ++i) {
      const float* n = &normals[3 * i];
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      sum += n[0] / length + n[1] / length + n[2] / length;
    }
    sink = sink + static_cast<int64_t>(sum);
  });
  const double search = BestSeconds([&] {
    int64_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += NormalTableIndex(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]);
    sink = sink + sum;
  });
  std::printf("  %-52s %8.2f ns\n", "unit length per normal (baseline)", unit / count * 1e9);
  std::printf("  %-52s %8.2f ns   ratio %.2f\n", "normal index search per vertex", search / count * 1e9, search / unit);
  DestroyEngine3D();
  std::remove(path.c_str());
  return 0;
}
