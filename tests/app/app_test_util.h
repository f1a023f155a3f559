// Shared by the application tests: the mesh table as the generators left
// it, the statement numbers of the BASIC sources, runs of the main program,
// and scene files.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "gfx2d/renderer.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh.h"
#include "polyvane.h"

namespace app_test {

// The engine, with a renderer of its own when no runtime was started: mesh
// construction needs no GL.
inline Engine3D& Engine() {
  if (TheEngine3D() == nullptr) {
    static Renderer* renderer = TheRenderer() != nullptr ? TheRenderer() : new Renderer;
    CreateEngine3D(*renderer);
  }
  return *TheEngine3D();
}

struct Vertex {
  float x, y, z, u, v;  // v as passed (the engine stores it negated)
  int32_t colour;
};

// The strips of frame 0 of object id as built: the record list split at the
// strip markers. The opening marker starts the first strip; an empty strip
// appears where two markers follow each other or the list ends in one.
inline std::vector<std::vector<Vertex>> Strips(int32_t id) {
  std::vector<std::vector<Vertex>> strips;
  MeshSlot* slot = MeshSlotAt(id);
  if (slot == nullptr || slot->meshes.count() == 0 || slot->meshes[0].frames.count() == 0) return strips;
  const GrowList<MeshVertex>& records = slot->meshes[0].frames[0].strips;
  for (int32_t k = 0; k < records.count(); ++k) {
    const MeshVertex& r = records[k];
    if (r.colour == MARK_TRIANGLE_STRIP) {
      strips.emplace_back();
      continue;
    }
    if (strips.empty()) strips.emplace_back();
    strips.back().push_back({r.x, r.y, r.z, r.u, -r.v, r.colour});
  }
  return strips;
}

inline std::vector<Vertex> AllVertices(int32_t id) {
  std::vector<Vertex> all;
  for (const auto& strip : Strips(id)) all.insert(all.end(), strip.begin(), strip.end());
  return all;
}

inline bool Valid(int32_t id) {
  MeshSlot* slot = MeshSlotAt(id);
  return slot != nullptr && slot->valid != 0;
}

// Empties object id (an object of no vertices is discarded when closed).
inline void ClearObject(int32_t id) {
  Engine();
  BeginMesh(id);
  EndMesh();
}

inline int32_t TriangleCount(int32_t id) {
  MeshSlot* slot = MeshSlotAt(id);
  if (slot == nullptr || slot->meshes.count() == 0 || slot->meshes[0].frames.count() == 0) return 0;
  return slot->meshes[0].frames[0].triangles.count() / 3;
}

// ------------------------------------------------------------ BASIC sources

// One statement of polyvane.bas or shapes.bas: its number and text, and the
// FUNCTION it belongs to ("" for the main program).
struct Statement {
  int32_t number;
  std::string text;
  std::string routine;
};

inline std::vector<Statement> Statements(const std::string& file) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/app/" + file);
  std::vector<Statement> statements;
  const std::regex numbered(R"(^\s*(\d+)\s+(\S.*)$)");
  const std::regex function(R"(^FUNCTION (\w+)\()");
  std::string routine;
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, function)) routine = m[1];
    if (std::regex_match(line, m, numbered)) statements.push_back({std::stoi(m[1]), m[2], routine});
  }
  return statements;
}

// The number of the first statement of routine containing text, -1 if none.
inline int32_t StatementNumber(const std::string& file, const std::string& routine, const std::string& text) {
  for (const Statement& s : Statements(file))
    if (s.routine == routine && s.text.find(text) != std::string::npos) return s.number;
  return -1;
}

inline int32_t MainStatement(const std::string& text) { return StatementNumber("polyvane.bas", "", text); }

inline int32_t LastStatement(const std::string& file, const std::string& routine) {
  int32_t last = -1;
  for (const Statement& s : Statements(file))
    if (s.routine == routine) last = s.number;
  return last;
}

// ------------------------------------------------------------ runs of the main program

// Runs the translated main program from its first statement in this process (app_code.cpp). At
// each stop on a breakpoint of the runtime's tables, as a debugger sees it in TheDebugState,
// atStop decides whether the run ends there; otherwise the program runs on.
void RunMainProgram(const std::function<bool()>& atStop);

// Runs the main program until it is about to run its statement stop, stopping on the way at the
// statements in watch. Returns the main program's loop counter i, read from the stopped routine's
// locals, at each of these statements (at its last stop there).
inline std::map<int32_t, Number> RunMainProgramTo(int32_t stop, std::vector<int32_t> watch = {}) {
  watch.push_back(stop);
  for (size_t k = 0; k < watch.size(); ++k) {
    BreakpointModules[k] = 0;
    BreakpointLines[k] = watch[k];
  }
  TheDebugState.breakpointCount = static_cast<int32_t>(watch.size());
  std::map<int32_t, Number> counter;
  RunMainProgram([&] {
    const DebugState& s = TheDebugState;
    for (int32_t k = 0; k < s.localCount; ++k)
      if (std::string(s.localEntries[k].name) == "i") counter[s.line] = *static_cast<Number*>(s.localEntries[k].address);
    return s.line == stop;
  });
  TheDebugState.breakpointCount = 0;
  return counter;
}

// ------------------------------------------------------------ scenes

struct SceneObject {
  double type = 1;
  double unused = 0;
  double rot[3] = {0, 1, 0};
  double scale[3] = {1, 1, 1};
  double pos[3] = {0, 0, 0};
  double rgb[3] = {255, 255, 255};
  double texture = 0;
  double tileU = 1, tileV = 1;
};

inline std::string Number(double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

// The text of a scene file: the texture names, then 17 lines per object.
inline std::string SceneText(const std::vector<std::string>& textures, const std::vector<SceneObject>& objects) {
  std::string text = std::to_string(textures.size()) + "\n";
  for (const std::string& t : textures) text += t + "\n";
  text += std::to_string(objects.size()) + "\n";
  for (const SceneObject& o : objects) {
    const double values[17] = {o.type,     o.unused,   o.rot[0], o.rot[1], o.rot[2],   o.scale[0],
                               o.scale[1], o.scale[2], o.pos[0], o.pos[1], o.pos[2],   o.rgb[0],
                               o.rgb[1],   o.rgb[2],   o.texture, o.tileU, o.tileV};
    for (double value : values) text += Number(value) + "\n";
  }
  return text;
}

}  // namespace app_test
