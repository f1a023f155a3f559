// A debug build that loads shaders which go wrong in every reported way, so
// that a debugger sees the messages: a slot outside the table (no message),
// a fragment stage with a syntax error, names the program does not use, and
// a driver without shader objects (asked twice). Prints what LoadShader
// returned.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/debug.h"
#include "core/settings.h"
#include "files/read_channel.h"
#include "gfx3d/gfx3d.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "host/runtime.h"

namespace {

const char kBroken[] = "void main() { gl_FragColor = vec4(1.0; }";
const char kLevel[] = "uniform float level;\nvoid main() { gl_FragColor = vec4(level, 0.0, 0.0, 1.0); }\n";

std::string Memory(const char* text) {
  RegisterMemoryFile(text, std::strlen(text));
  return MemoryFileName(text, std::strlen(text));
}

void Settings_() {
  ProjectSettings& s = Settings();
  s.ScreenWidth = 64;
  s.ScreenHeight = 64;
  s.FullScreen = 0;
  s.FrameRate = -1;
  s.DebugMode = 1;
  s.HideMouse = 0;
  s.AppTitle = "Shaders";
}

void Main() {
  std::printf("support %d\n", gl::CreateShaderObjectARB != nullptr ? 1 : 0);
  std::printf("slot 255: %d\n", LoadShader(255, "", Memory(kLevel).c_str()));
  std::printf("broken: %d\n", LoadShader(1, "", Memory(kBroken).c_str()));
  std::printf("level: %d\n", LoadShader(2, "", Memory(kLevel).c_str()));
  UseShader(2);
  SetShaderUniform("level", 0.5);
  SetShaderUniform("missing", 1);
  SetShaderAttribute("missing", 1);
  UseShader(-1);
  const auto create = gl::CreateShaderObjectARB;
  gl::CreateShaderObjectARB = nullptr;
  std::printf("unsupported: %d %d\n", LoadShader(3, "", Memory(kLevel).c_str()),
              LoadShader(3, "", Memory(kLevel).c_str()));
  gl::CreateShaderObjectARB = create;
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  static const RoutineEntry kNoRoutines[] = {{nullptr, nullptr}};
  const Application app{&Settings_, nullptr, nullptr, &Main, kNoRoutines};
  return RunApplication(argc, argv, app);
}
