// RayCollision against a sphere of 50,000 triangles: rays per second of the
// in-order walk over the triangle list and of the indexed search, printed as
// a ratio from the same run (the target is at least 20 times faster), after
// checking that both give the same distance and triangle for every ray.
// Also the one-off cost of building the index, in walked rays.
// The vertex trace of AddMeshVertex goes to standard output; send it to the
// null device.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "gfx2d/renderer.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/collision_index.h"
#include "gfx3d/internal/engine3d.h"
#include "ratio_reporter.h"

namespace {

constexpr int32_t kMesh = 1;
constexpr int kRays = 256;

struct Ray {
  double x, y, z, dx, dy, dz;
};
std::vector<Ray> g_rays;

// 125 latitude strips of 200 segments: 50,000 triangles, radius 5.
void BuildMesh() {
  static Renderer renderer;
  CreateEngine3D(renderer);
  SetMeshNormalMode(0);
  BeginMesh(kMesh);
  const double pi = 3.14159265358979323846;
  const int rings = 125, segments = 200;
  for (int i = 0; i < rings; ++i) {
    if (i > 0) NewMeshStrip();
    for (int j = 0; j <= segments; ++j) {
      const double lon = 2 * pi * j / segments;
      for (int k = 1; k >= 0; --k) {
        const double lat = pi * (i + k) / rings;
        AddMeshVertex(5 * std::sin(lat) * std::sin(lon), 5 * std::cos(lat), 5 * std::sin(lat) * std::cos(lon), 0,
                      0, 0xFFFFFF);
      }
    }
  }
  EndMesh();
  FlushVertexTrace();
  // From points around the sphere towards points near it: about half hit.
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < kRays; ++i) {
    double from[3], to[3];
    for (int k = 0; k < 3; ++k) {
      from[k] = 20 * u(rng);
      to[k] = 7 * u(rng);
    }
    g_rays.push_back({from[0], from[1], from[2], to[0] - from[0], to[1] - from[1], to[2] - from[2]});
  }
}

double CastAll() {
  double sum = 0;
  for (const Ray& r : g_rays) sum += RayCollision(kMesh, 0, r.x, r.y, r.z, r.dx, r.dy, r.dz) + GetHitTriangle();
  return sum;
}

void WalkedRays(benchmark::State& state) {
  collision::IndexEnabled = false;
  for (auto _ : state) benchmark::DoNotOptimize(CastAll());
  state.SetItemsProcessed(state.iterations() * kRays);
}

void IndexedRays(benchmark::State& state) {
  collision::IndexEnabled = true;
  CastAll();  // the index is built once, before timing
  for (auto _ : state) benchmark::DoNotOptimize(CastAll());
  state.SetItemsProcessed(state.iterations() * kRays);
}

// Building the index (the first indexed test after the mesh changed), and
// one walked ray for scale.
void IndexBuild(benchmark::State& state) {
  collision::IndexEnabled = true;
  MeshFrame& frame = TheEngine3D()->slots[kMesh].meshes[0].frames[0];
  for (auto _ : state) {
    frame.collisionIndex.reset();
    benchmark::DoNotOptimize(RayCollision(kMesh, 0, 20, 0, 0, -1, 0, 0));
  }
}

void OneWalkedRay(benchmark::State& state) {
  collision::IndexEnabled = false;
  for (auto _ : state) benchmark::DoNotOptimize(RayCollision(kMesh, 0, 20, 0, 0, -1, 0, 0));
}

BENCHMARK(WalkedRays)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexedRays)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(OneWalkedRay)->Unit(benchmark::kMillisecond);

// Every ray: the same distance and triangle both ways.
int Mismatches() {
  int mismatches = 0, hits = 0;
  for (const Ray& r : g_rays) {
    collision::IndexEnabled = false;
    const double walked = RayCollision(kMesh, 0, r.x, r.y, r.z, r.dx, r.dy, r.dz);
    const int32_t walkedTriangle = GetHitTriangle();
    collision::IndexEnabled = true;
    const double searched = RayCollision(kMesh, 0, r.x, r.y, r.z, r.dx, r.dy, r.dz);
    if (searched != walked || GetHitTriangle() != walkedTriangle) ++mismatches;
    if (walked > 0) ++hits;
  }
  std::fprintf(stderr, "%d rays, %d hit ahead, %d answers differ\n", kRays, hits, mismatches);
  return mismatches;
}

}  // namespace

int main(int argc, char** argv) {
  BuildMesh();
  std::fprintf(stderr, "%d triangles\n", TheEngine3D()->slots[kMesh].meshes[0].frames[0].triangles.count() / 3);
  if (Mismatches() != 0) return 1;
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (same run):\n");
  reporter.Ratio("rays: walked / indexed (target >= 20)", "WalkedRays", "IndexedRays");
  reporter.Ratio("index build / one walked ray", "IndexBuild", "OneWalkedRay");
  return 0;
}
