// The starter projects.
#include "templates.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "json.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

const char kStarter2d[] = R"(' @NAME@: a starter game. The arrow keys (or a joystick) move the square; it
' beeps when it bumps into an edge of the screen. Escape ends the program.
' Edit it and run `velmora run` again; `velmora bundle` makes a copy for a friend.

CONST WIDTH = 640, HEIGHT = 480, SIZE = 32, SPEED = 4
GLOBAL x, y, bumped

LoadSound("beep.wav", 1, 2)
x = (WIDTH - SIZE) / 2
y = (HEIGHT - SIZE) / 2
ClearScreen($402010)
REPEAT
  IF IsKeyDown(1) THEN END
  IF IsKeyDown(203) THEN x = x - SPEED
  IF IsKeyDown(205) THEN x = x + SPEED
  IF IsKeyDown(200) THEN y = y - SPEED
  IF IsKeyDown(208) THEN y = y + SPEED
  IF GetJoystickCount() > 0
    x = x + SPEED * JoystickX(0)
    y = y + SPEED * JoystickY(0)
  ENDIF
  keepOnScreen()
  DrawRect(0, HEIGHT - 40, WIDTH, 40, $205020)
  DrawRect(x, y, SIZE, SIZE, $00C0FF)
  PrintText("Arrow keys move the square, Escape ends", 10, 10, 1)
  ShowScreen()
FOREVER

' Keeps the square on the screen, and beeps once each time it reaches an edge.
SUB keepOnScreen
  LOCAL edge
  IF x < 0 OR x > WIDTH - SIZE OR y < 0 OR y > HEIGHT - 40 - SIZE THEN edge = 1
  x = MAX(0, MIN(x, WIDTH - SIZE))
  y = MAX(0, MIN(y, HEIGHT - 40 - SIZE))
  IF edge = 1 AND bumped = 0 THEN PlaySound(1, (x / WIDTH) * 2 - 1, 1)
  bumped = edge
END SUB
)";

const char kStarter3d[] = R"(' @NAME@: a 3D starter. A box turns above a floor and casts its shadow on
' it; the arrow keys (or a joystick) move the camera around and up and down.
' Escape ends the program. Edit it and run `velmora run` again.

GLOBAL angle, height, turn

makeBox(1, 20, $40A0FF)
makeFloor(2, 60, $70B070)
angle = 30
height = 45
ClearScreen($302018)
REPEAT
  IF IsKeyDown(1) THEN END
  IF IsKeyDown(203) THEN angle = angle - 2
  IF IsKeyDown(205) THEN angle = angle + 2
  IF IsKeyDown(200) THEN height = MIN(height + 1, 120)
  IF IsKeyDown(208) THEN height = MAX(height - 1, 5)
  IF GetJoystickCount() > 0
    angle = angle + 2 * JoystickX(0)
    height = MAX(5, MIN(120, height - JoystickY(0)))
  ENDIF
  turn = turn + 1
  Begin3D(1, 1000, 45)
  SetCamera(110 * SIN(angle), height, 110 * COS(angle), 0, 0, 0)
  SetCullMode(1)
  drawScene()
  ' The objects drawn again after this cast shadows from the light at (-40, 90, -30).
  SetLight(-3, $400000, -40, 90, -30, 0, 0, 0, 360)
  drawScene()
  End3D()
  PrintText("Arrow keys move the camera, Escape ends", 10, 10, 1)
  ShowScreen()
FOREVER

' The floor, and the box turning above it.
SUB drawScene
  SetMovementTranslation(0, -15, 0)
  SetMovementScale(1, 1, 1)
  AddMovementRotation(0, 0, 1, 0)
  DrawMesh(2, 0)
  SetMovementTranslation(0, 5, 0)
  AddMovementRotation(turn, 0, 1, 0)
  DrawMesh(1, 0)
END SUB

' A cube of edge size about the origin: six strips of four vertices.
SUB makeBox(id, size, colour)
  LOCAL s
  s = size / 2
  SetMeshNormalMode(1)
  BeginMesh(id)
  AddMeshVertex(s, -s, s, 1, 0, colour)
  AddMeshVertex(-s, -s, s, 0, 0, colour)
  AddMeshVertex(s, s, s, 1, 1, colour)
  AddMeshVertex(-s, s, s, 0, 1, colour)
  NewMeshStrip()
  AddMeshVertex(-s, s, -s, 1, 1, colour)
  AddMeshVertex(-s, -s, -s, 1, 0, colour)
  AddMeshVertex(s, s, -s, 0, 1, colour)
  AddMeshVertex(s, -s, -s, 0, 0, colour)
  NewMeshStrip()
  AddMeshVertex(-s, s, s, 0, 0, colour)
  AddMeshVertex(-s, s, -s, 0, 1, colour)
  AddMeshVertex(s, s, s, 1, 0, colour)
  AddMeshVertex(s, s, -s, 1, 1, colour)
  NewMeshStrip()
  AddMeshVertex(s, -s, -s, 0, 1, colour)
  AddMeshVertex(-s, -s, -s, 1, 1, colour)
  AddMeshVertex(s, -s, s, 0, 0, colour)
  AddMeshVertex(-s, -s, s, 1, 0, colour)
  NewMeshStrip()
  AddMeshVertex(s, s, -s, 1, 1, colour)
  AddMeshVertex(s, -s, -s, 1, 0, colour)
  AddMeshVertex(s, s, s, 0, 1, colour)
  AddMeshVertex(s, -s, s, 0, 0, colour)
  NewMeshStrip()
  AddMeshVertex(-s, -s, s, 1, 0, colour)
  AddMeshVertex(-s, -s, -s, 0, 0, colour)
  AddMeshVertex(-s, s, s, 1, 1, colour)
  AddMeshVertex(-s, s, -s, 0, 1, colour)
  EndMesh()
END SUB

' A square floor of edge size at height 0, facing up.
SUB makeFloor(id, size, colour)
  LOCAL s
  s = size / 2
  SetMeshNormalMode(1)
  BeginMesh(id)
  AddMeshVertex(-s, 0, -s, 0, 0, colour)
  AddMeshVertex(s, 0, -s, 1, 0, colour)
  AddMeshVertex(-s, 0, s, 0, 1, colour)
  AddMeshVertex(s, 0, s, 1, 1, colour)
  EndMesh()
END SUB
)";

const char kGitignore[] = ".velmora/\n*.tar.gz\n*.deb\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xFFFF));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

std::string ProjectFile(const std::string& name) {
  const std::string quoted = json::Write(json::Value(name));
  return "{\n"
         "  \"name\": " + quoted + ",\n"
         "  \"version\": \"0.1.0\",\n"
         "  \"modules\": [\"main.bas\"],\n"
         "  \"data\": \"media\",\n"
         "  \"settings\": {\"ScreenWidth\": 640, \"ScreenHeight\": 480, \"FrameRate\": 60, \"AppTitle\": " + quoted + "}\n"
         "}\n";
}

std::string TasksFile() {
  return R"({
  "version": "2.0.0",
  "tasks": [
    {
      "label": "velmora build",
      "type": "shell",
      "command": "velmora build",
      "group": { "kind": "build", "isDefault": true },
      "problemMatcher": {
        "owner": "velmora",
        "fileLocation": ["autoDetect", "${workspaceFolder}"],
        "pattern": { "regexp": "^(.*?):(\\d+):(\\d+): (.*)$", "file": 1, "line": 2, "column": 3, "message": 4 }
      }
    },
    {
      "label": "velmora run",
      "type": "shell",
      "command": "velmora run",
      "problemMatcher": []
    }
  ]
}
)";
}

std::string LaunchFile(const std::string& name) {
  return Replace(R"({
  "version": "0.2.0",
  "configurations": [
    {
      "type": "vlmdap",
      "request": "launch",
      "name": "Debug @NAME@",
      "program": "${workspaceFolder}/.velmora/debug/@NAME@",
      "cwd": "${workspaceFolder}/.velmora/debug",
      "args": [],
      "stopOnEntry": false,
      "preLaunchTask": "velmora build"
    }
  ]
}
)", "@NAME@", name);
}

bool Write(const fs::path& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    *error = "velmora: cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace

std::string BeepWave() {
  constexpr uint32_t kRate = 22050;
  constexpr uint32_t kSamples = kRate / 6;
  std::string pcm;
  for (uint32_t k = 0; k < kSamples; ++k) {
    const double t = static_cast<double>(k) / kRate;
    const double fade = 1.0 - static_cast<double>(k) / kSamples;
    const double sample = 0.4 * fade * std::sin(2 * M_PI * 660 * t);
    Put16(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lround(sample * 32767))));
  }
  std::string wav = "RIFF";
  Put32(wav, static_cast<uint32_t>(36 + pcm.size()));
  wav += "WAVEfmt ";
  Put32(wav, 16);
  Put16(wav, 1);  // PCM
  Put16(wav, 1);  // mono
  Put32(wav, kRate);
  Put32(wav, kRate * 2);
  Put16(wav, 2);
  Put16(wav, 16);
  wav += "data";
  Put32(wav, static_cast<uint32_t>(pcm.size()));
  return wav + pcm;
}

bool MakeProject(const std::string& dir, const std::string& name, const std::string& template_, std::string* error) {
  std::error_code ec;
  const fs::path root = fs::absolute(dir, ec);
  if (fs::exists(root, ec) && !(fs::is_directory(root, ec) && fs::is_empty(root, ec))) {
    *error = "velmora: " + dir + " already exists and is not an empty folder";
    return false;
  }
  fs::create_directories(root / "media", ec);
  if (!ec) fs::create_directories(root / ".vscode", ec);
  if (ec) {
    *error = "velmora: cannot make " + dir + ": " + ec.message();
    return false;
  }
  const std::string starter = Replace(template_ == "3d" ? kStarter3d : kStarter2d, "@NAME@", name);
  return Write(root / "velmora.json", ProjectFile(name), error) && Write(root / "main.bas", starter, error) &&
         Write(root / "media" / "beep.wav", BeepWave(), error) &&
         Write(root / ".vscode" / "tasks.json", TasksFile(), error) &&
         Write(root / ".vscode" / "launch.json", LaunchFile(name), error) &&
         Write(root / ".gitignore", kGitignore, error);
}

}  // namespace velmora
