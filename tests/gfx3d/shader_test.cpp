// Shaders: programs loaded from memory files colour a drawn mesh (pixels read
// back), uniforms change the colour, the sampler uniforms follow the texture
// units, and a debug build reports compile failures to the debugger.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/core.h"
#include "files/read_channel.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d_test_util.h"
#include "gl/gl_ext.h"
#include "host/host.h"
#include "platform/platform.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

namespace {

using testing_support::ReadPixel;
using testing_support::Rgba;
using testing_support::StartTestRuntime;

constexpr int32_t kBox = 320;
constexpr int32_t kRedSprite = 321;
constexpr int32_t kBlueSprite = 322;

const char kRed[] = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n";
const char kGreen[] = "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n";
const char kLevel[] =
    "uniform float level;\n"
    "void main() { gl_FragColor = vec4(level, 0.5, 0.0, 1.0); }\n";
const char kSecondTexture[] =
    "uniform sampler2D TextureID1;\n"
    "uniform sampler2D TextureID2;\n"
    "void main() {\n"
    "  vec2 c = vec2(0.5);\n"
    "  gl_FragColor = texture2D(TextureID2, c) * step(-1.0, texture2D(TextureID1, c).r);\n"
    "}\n";
const char kVertex[] = "void main() { gl_Position = ftransform(); }\n";
const char kBroken[] = "void main() { gl_FragColor = vec4(1.0; }\n";

// A memory file holding the text (the text outlives the test).
std::string Memory(const char* text) {
  RegisterMemoryFile(text, std::strlen(text));
  return MemoryFileName(text, std::strlen(text));
}

bool ShadersAvailable() {
  StartTestRuntime();
  return gl::CreateShaderObjectARB != nullptr && gl::UseProgramObjectARB != nullptr;
}

// The white box in front of the camera, drawn with whatever program is
// current; the colour at the screen's centre.
Rgba DrawBox() {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 30, 0, 0, 0);
  DrawMesh(kBox, 0);
  const Rgba p = ReadPixel(320, 240);
  End3D();
  return p;
}

::testing::AssertionResult Is(const Rgba& p, int r, int g, int b) {
  if (std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel " << int(p.r) << " " << int(p.g) << " " << int(p.b) << ", wanted "
                                       << r << " " << g << " " << b;
}

void SolidSprite(int32_t id, uint8_t r, uint8_t g, uint8_t b) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(16, 16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = 255;
    }
  ASSERT_TRUE(SetSpriteFromPicture(id, picture, false));
}

TEST(Shaders, FragmentProgramsAndUniformsColourTheMesh) {
  if (!ShadersAvailable()) GTEST_SKIP() << "the GL offers no shader objects";
  gfx3d_test::BuildBox(kBox, 0, 0, 0, 5, 0xFFFFFF);
  EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));

  // Fragment stage only: the fixed-function vertex stage stays.
  ASSERT_EQ(LoadShader(1, "", Memory(kRed).c_str()), 1);
  UseShader(1);
  EXPECT_EQ(CurrentShader(), 1);
  EXPECT_TRUE(Is(DrawBox(), 255, 0, 0));

  ASSERT_EQ(LoadShader(2, Memory(kVertex).c_str(), Memory(kLevel).c_str()), 1);
  UseShader(2);
  SetShaderUniform("level", 0.25);
  EXPECT_TRUE(Is(DrawBox(), 64, 128, 0));
  SetShaderUniform(BasicString("level"), 1.0);
  EXPECT_TRUE(Is(DrawBox(), 255, 128, 0));
  // A name the program does not use sets nothing.
  SetShaderUniform("missing", 0.0);
  SetShaderAttribute("missing", 0.0);
  EXPECT_TRUE(Is(DrawBox(), 255, 128, 0));

  // Loading into a used slot replaces its program.
  ASSERT_EQ(LoadShader(1, "", Memory(kGreen).c_str()), 1);
  UseShader(1);
  EXPECT_TRUE(Is(DrawBox(), 0, 255, 0));

  // Back to fixed function.
  UseShader(-1);
  EXPECT_EQ(CurrentShader(), -1);
  EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));
  UseShader(1);
  UseShader(SHADER_SLOT_COUNT);
  EXPECT_EQ(CurrentShader(), -1);
  EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));
  // A new frame starts without a program.
  UseShader(1);
  ShowScreen();
  EXPECT_EQ(CurrentShader(), -1);
  EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));
}

TEST(Shaders, StagesThatCannotBeBuilt) {
  if (!ShadersAvailable()) GTEST_SKIP() << "the GL offers no shader objects";
  gfx3d_test::BuildBox(kBox, 0, 0, 0, 5, 0xFFFFFF);
  // A file that cannot be read leaves its stage out.
  ASSERT_EQ(LoadShader(3, "no-such-shader.vert", Memory(kRed).c_str()), 1);
  UseShader(3);
  EXPECT_TRUE(Is(DrawBox(), 255, 0, 0));
  UseShader(-1);
  // Nothing to build, a stage that fails to compile, a slot outside the
  // table: 0, and the slot holds no program.
  EXPECT_EQ(LoadShader(4, "", ""), 0);
  EXPECT_EQ(LoadShader(4, "no-such-shader.vert", "no-such-shader.frag"), 0);
  EXPECT_EQ(LoadShader(3, "", Memory(kBroken).c_str()), 0);
  EXPECT_EQ(LoadShader(3, Memory(kBroken).c_str(), Memory(kRed).c_str()), 0);
  UseShader(3);
  EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));
  UseShader(-1);
  ClearLastError();
  EXPECT_EQ(LoadShader(SHADER_SLOT_COUNT, "", Memory(kRed).c_str()), 0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
  ClearLastError();
  EXPECT_EQ(LoadShader(-1, "", Memory(kRed).c_str()), 0);
  EXPECT_EQ(LastErrorCode, kErrorOutOfMemory);
}

TEST(Shaders, SamplerUniformsFollowTheTextureUnits) {
  if (!ShadersAvailable()) GTEST_SKIP() << "the GL offers no shader objects";
  if (gl::ActiveTextureARB == nullptr) GTEST_SKIP() << "the GL offers no second texture unit";
  gfx3d_test::BuildBox(kBox, 0, 0, 0, 5, 0xFFFFFF);
  SolidSprite(kRedSprite, 255, 0, 0);
  SolidSprite(kBlueSprite, 0, 0, 255);
  ASSERT_EQ(LoadShader(5, "", Memory(kSecondTexture).c_str()), 1);
  UseShader(5);
  const GLhandleARB program = ShaderProgramInUse();
  ASSERT_NE(program, 0u);
  const auto getUniform = reinterpret_cast<PFNGLGETUNIFORMIVARBPROC>(platform::GLProcAddress("glGetUniformivARB"));
  ASSERT_NE(getUniform, nullptr);
  auto sampler = [&](const char* name) {
    GLint value = -1;
    getUniform(program, gl::GetUniformLocationARB(program, name), &value);
    return value;
  };

  // Begin3D sets TextureID1 to unit 0 and TextureID2 to unit 1.
  SetShaderUniformInt("TextureID1", 1);
  SetShaderUniformInt("TextureID2", 0);
  ASSERT_EQ(sampler("TextureID2"), 0);
  Begin3D(10, 1600, 45);
  EXPECT_EQ(sampler("TextureID1"), 0);
  EXPECT_EQ(sampler("TextureID2"), 1);
  End3D();

  // SetMeshTextures sets them too: the program reads the second texture.
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  Begin3D(10, 1600, 45);
  SetCamera(0, 0, 30, 0, 0, 0);
  SetShaderUniformInt("TextureID2", 0);
  SetMeshTextures(kRedSprite, kBlueSprite);
  EXPECT_EQ(sampler("TextureID2"), 1);
  DrawMesh(kBox, 0);
  EXPECT_TRUE(Is(ReadPixel(320, 240), 0, 0, 255));
  // Pointed at unit 0 by hand, it reads the first.
  SetShaderUniformInt(BasicString("TextureID2"), 0);
  ClearDepth3D();
  DrawMesh(kBox, 0);
  EXPECT_TRUE(Is(ReadPixel(320, 240), 255, 0, 0));
  End3D();
  UseShader(-1);
}

TEST(Shaders, HostileSourceFilesFailCleanly) {
  if (!ShadersAvailable()) GTEST_SKIP() << "the GL offers no shader objects";
  gfx3d_test::BuildBox(kBox, 0, 0, 0, 5, 0xFFFFFF);
  testing_support::TempDir dir;
  std::string garbage;
  uint32_t seed = 7;
  while (garbage.size() < 5000) {
    seed = seed * 1103515245u + 12345u;
    garbage += static_cast<char>(' ' + (seed >> 24) % 95);  // printable, no NUL
  }
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  const std::string red = kRed;
  struct Case {
    const char* what;
    std::string bytes;
    int32_t error;
  };
  const Case cases[] = {
      {"garbage", garbage, kErrorNoSuchFile},
      {"binary", binary, kErrorNoSuchFile},
      // The compiler would stop at the NUL and build the program before it.
      {"source, NUL, junk", red + std::string(1, '\0') + binary, kErrorNoSuchFile},
      {"truncated", red.substr(0, red.size() / 2), kErrorNoSuchFile},
      {"empty", "", kErrorNoSuchFile},
      {"blank lines", "\n\n\r\n\t\n", kErrorNoSuchFile},
      {"too large", "", kErrorOutOfMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("hostile.frag");
    testing_support::WriteWholeFile(path, c.bytes);
    if (c.error == kErrorOutOfMemory) {
      // A gigabyte, sparse: refused from its size, never read.
      ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 30), 0);
    }
    for (int stage = 0; stage < 2; ++stage) {
      const double start = GetMilliseconds();
      ClearLastError();
      const int32_t loaded = stage == 0 ? LoadShader(6, "", path.c_str()) : LoadShader(6, path.c_str(), Memory(kRed).c_str());
      EXPECT_EQ(loaded, 0) << "stage " << stage;
      EXPECT_EQ(LastErrorCode, c.error) << "stage " << stage;
      EXPECT_LT(GetMilliseconds() - start, 5000.0);
      UseShader(6);
      EXPECT_EQ(ShaderProgramInUse(), 0u);
      EXPECT_TRUE(Is(DrawBox(), 255, 255, 255));
      UseShader(-1);
    }
    // The same bytes from a memory file.
    if (c.error != kErrorOutOfMemory) {
      RegisterMemoryFile(c.bytes.data(), c.bytes.size());
      ClearLastError();
      EXPECT_EQ(LoadShader(6, "", MemoryFileName(c.bytes.data(), c.bytes.size()).c_str()), 0);
      EXPECT_EQ(LastErrorCode, c.error);
      UnregisterMemoryFile(c.bytes.data());
    }
  }
  // A sound file after them loads, and clears the error.
  SetLastError(kErrorNoSuchFile);
  EXPECT_EQ(LoadShader(6, "", Memory(kRed).c_str()), 1);
  EXPECT_EQ(LastErrorCode, kErrorNone);
}

// ---------------------------------------------------------------- debug messages

TEST(Shaders, DebugBuildsReportFailuresToTheDebugger) {
  const gfx3d_test::DebuggedRun run =
      gfx3d_test::RunUnderDebugger("gfx3d_shader_program", {"VELMORA_NO_DIALOGS=1"}, 240);
  if (!run.skip.empty()) GTEST_SKIP() << run.skip;
  const testing_support::ChildResult& result = run.result;
  if (result.out.find("support 0") != std::string::npos) GTEST_SKIP() << "the GL offers no shader objects";
  const std::vector<std::string>& texts = run.texts;
  EXPECT_NE(result.out.find("slot 255: 0"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("broken: 0"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("level: 1"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("unsupported: 0 0"), std::string::npos) << result.out;
  // The compiler's log (its first line here), then the fixed texts; slot
  // 255 and the uniform the program has say nothing, and the missing
  // shader support is reported once.
  ASSERT_EQ(texts.size(), 5u) << result.out << result.err;
  std::string log = texts[0];
  for (char& c : log) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(log.find("error"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[1], "fragment shader failed");
  EXPECT_EQ(texts[2], "undefined uniform:missing");
  EXPECT_EQ(texts[3], "undefined attrib:missing");
  EXPECT_EQ(texts[4], "No OpenGL 2.0 Shader Support");
}

}  // namespace
