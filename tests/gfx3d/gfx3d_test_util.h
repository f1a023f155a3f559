// Shared by the 3D engine tests: an engine for tests without GL, and mesh
// builders that feed the engine through its public construction commands.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gfx2d/renderer.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "support/child_process.h"

namespace gfx3d_test {

// Where an eye-space point (camera at the origin looking down -z, y up)
// lands on the 640 x 480 screen of the test runtime with Begin3D's 45 degrees.
struct Px {
  int x, y;
};
inline Px EyeToScreen(double x, double y, double z) {
  const double tanHalfFov = std::tan(22.5 * 3.14159265358979323846 / 180.0);
  const double depth = -z;
  const double nx = x / (depth * tanHalfFov * (640.0 / 480.0));
  const double ny = y / (depth * tanHalfFov);
  return {static_cast<int>(std::lround((nx + 1) / 2 * 640)), static_cast<int>(std::lround((1 - ny) / 2 * 480))};
}

// The process's engine; tests without GL give it a renderer of their own.
inline Engine3D& Engine() {
  static Renderer* renderer = nullptr;
  if (TheEngine3D() == nullptr) {
    if (renderer == nullptr) renderer = TheRenderer() != nullptr ? TheRenderer() : new Renderer;
    CreateEngine3D(*renderer);
  }
  return *TheEngine3D();
}

inline MeshSlot& Slot(int32_t id) { return *MeshSlotAt(id); }
inline MeshObjectX& Mesh(int32_t id) { return MeshSlotAt(id)->meshes[0]; }

struct Vtx {
  float x, y, z;
  float u = 0, v = 0;
  int32_t colour = 0xFFFFFF;
};

// One object from strips (NewMeshStrip between them), with a normal mode.
inline void BuildStrips(int32_t id, const std::vector<std::vector<Vtx>>& strips, int32_t normalMode = 2) {
  Engine();
  SetMeshNormalMode(normalMode);
  BeginMesh(id);
  for (size_t s = 0; s < strips.size(); ++s) {
    if (s > 0) NewMeshStrip();
    for (const Vtx& v : strips[s]) AddMeshVertex(v.x, v.y, v.z, v.u, v.v, v.colour);
  }
  EndMesh();
}

// A sphere of latitude strips whose outside winds clockwise (the engine's
// front faces), so its computed normals point outwards.
inline void BuildSphere(int32_t id, float radius, int32_t rings, int32_t segments, int32_t colour,
                        int32_t normalMode = 2) {
  Engine();
  SetMeshNormalMode(normalMode);
  BeginMesh(id);
  const double pi = 3.14159265358979323846;
  for (int32_t i = 0; i < rings; ++i) {
    if (i > 0) NewMeshStrip();
    for (int32_t j = 0; j <= segments; ++j) {
      const double lon = 2.0 * pi * j / segments;
      for (int32_t k = 1; k >= 0; --k) {  // the lower ring first
        const double lat = pi * (i + k) / rings;
        const double x = radius * std::sin(lat) * std::sin(lon);
        const double y = radius * std::cos(lat);
        const double z = radius * std::sin(lat) * std::cos(lon);
        AddMeshVertex(x, y, z, static_cast<double>(j) / segments, static_cast<double>(i + k) / rings, colour);
      }
    }
  }
  EndMesh();
}

// A quad strip seen from outside along -n: bottom-left, top-left,
// bottom-right, top-right winds clockwise.
inline void AddFace(const float c[3], const float right[3], const float up[3], int32_t colour) {
  const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
  for (const auto& k : corners)
    AddMeshVertex(c[0] + k[0] * right[0] + k[1] * up[0], c[1] + k[0] * right[1] + k[1] * up[1],
                  c[2] + k[0] * right[2] + k[1] * up[2], (k[0] + 1) / 2, (k[1] + 1) / 2, colour);
}

// A closed box centred at (cx, cy, cz) with half size h.
inline void BuildBox(int32_t id, float cx, float cy, float cz, float h, int32_t colour) {
  Engine();
  SetMeshNormalMode(1);
  BeginMesh(id);
  // Outward normal n, up vector u; right = u x n.
  const float faces[6][2][3] = {{{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 0}},
                                {{0, 0, -1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}}, {{0, -1, 0}, {0, 0, 1}}};
  for (int f = 0; f < 6; ++f) {
    if (f > 0) NewMeshStrip();
    const float* n = faces[f][0];
    const float* u = faces[f][1];
    const float right[3] = {(u[1] * n[2] - u[2] * n[1]) * h, (u[2] * n[0] - u[0] * n[2]) * h,
                            (u[0] * n[1] - u[1] * n[0]) * h};
    const float up[3] = {u[0] * h, u[1] * h, u[2] * h};
    const float c[3] = {cx + n[0] * h, cy + n[1] * h, cz + n[2] * h};
    AddFace(c, right, up, colour);
  }
  EndMesh();
}

// A square facing +y at height y, half size h.
inline void BuildFloor(int32_t id, float y, float h, int32_t colour) {
  Engine();
  SetMeshNormalMode(1);
  BeginMesh(id);
  const float c[3] = {0, y, 0};
  const float right[3] = {h, 0, 0};
  const float up[3] = {0, 0, -h};
  AddFace(c, right, up, colour);
  EndMesh();
}

}  // namespace gfx3d_test

namespace gfx3d_test {

// A test program of the build run under gdb with the script that prints
// what the runtime sends to a debugger. `skip` says why it could not run
// here (no gdb, ptrace switched off), else it is empty.
struct DebuggedRun {
  testing_support::ChildResult result;
  std::vector<std::string> texts;  // the "TX" texts, in order
  std::string skip;
};

inline DebuggedRun RunUnderDebugger(const std::string& programName, const std::vector<std::string>& env,
                                    int timeoutSeconds) {
  DebuggedRun run;
  std::string gdb;
  for (const char* path : {"/usr/bin/gdb", "/usr/local/bin/gdb"})
    if (std::filesystem::exists(path)) gdb = path;
  if (gdb.empty()) {
    run.skip = "gdb is not installed";
    return run;
  }
  std::ifstream scope("/proc/sys/kernel/yama/ptrace_scope");
  std::string level;
  std::getline(scope, level);
  if (level == "3") {
    run.skip = "ptrace is switched off here";
    return run;
  }
  testing_support::TempDir tmp;
  const std::string program = std::string(VELMORA_TEST_PROGRAMS_DIR) + "/" + programName;
  const std::string script = std::string(VELMORA_SOURCE_DIR) + "/tests/gfx3d/debug_text.py";
  run.result = testing_support::RunProgram(gdb, {"-nx", "-batch", "-x", script, "--args", program}, tmp.path(), env,
                                           "", timeoutSeconds);
  for (const std::string& line : testing_support::Lines(run.result.out))
    if (line.rfind("TX ", 0) == 0) run.texts.push_back(line.substr(3));
  if (run.texts.empty() && run.result.err.find("ptrace") != std::string::npos) run.skip = run.result.err;
  return run;
}

}  // namespace gfx3d_test
