// Runs of sprite draws from several textures, batched through an atlas of
// their pictures: every frame is the fixed path's frame pixel for pixel,
// whatever the draw calls, blend and alpha-test modes, smoothing and the
// other drawing mixed in (primitives, text, 3D, a camera, a program's
// shader, screen targets, grabs, uploads, deletions, the program's own
// writes, more pictures than the atlas holds); the GL is left as the fixed
// path leaves it, and a program's own shader is never replaced.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "draw_support.h"
#include "files/read_channel.h"
#include "gfx3d/gfx3d.h"

using namespace gfx2d_test;

namespace {

constexpr int32_t kFirst = 200;  // sprites kFirst .. kFirst + 9
constexpr int32_t kTarget = 210;  // a screen target's sprite
constexpr int32_t kMesh = 230;
constexpr int32_t kShaderSlot = 3;

// Sprite kFirst + i (i from 0 to 9; seed > 0 gives other colours).
void MakeSprite(int i, int seed = 0) {
  Picture picture;
  const int32_t w = 12 + 5 * i, h = 9 + 3 * i;
  FillPicture(picture, w, h, [i, w, h, seed](int32_t x, int32_t y) {
    // Round sprites with soft edges, each in its own colours.
    const int dx = 2 * x - w + 1, dy = 2 * y - h + 1;
    const int d = dx * dx * h * h + dy * dy * w * w, rr = w * w * h * h;
    const uint8_t a = d < rr / 2 ? 255 : d < rr ? static_cast<uint8_t>(40 + 20 * i) : 0;
    return Rgba{static_cast<uint8_t>(x * 19 + 40 * i + 70 * seed), static_cast<uint8_t>(y * 23 + 7 * i),
                static_cast<uint8_t>((x ^ y) * 11 + 90 - 50 * seed), a};
  });
  ASSERT_TRUE(SetSpriteFromPicture(kFirst + i, picture, false));
  SetSpriteAnim(kFirst + i, w / 2, h / 3);
}

// A picture too large for many to fit the run's atlas at once.
void MakeLargeSprite(int32_t id, int i) {
  Picture picture;
  FillPicture(picture, 256, 250, [i](int32_t x, int32_t y) {
    return Rgba{static_cast<uint8_t>(x + 3 * i), static_cast<uint8_t>(y * 2 + 5 * i), static_cast<uint8_t>(i * 9),
                static_cast<uint8_t>((x + y) % 7 == 0 ? 0 : 255)};
  });
  ASSERT_TRUE(SetSpriteFromPicture(id, picture, false));
}

void MakeSprites() {
  for (int i = 0; i < 10; ++i) MakeSprite(i);
}

class SpriteBatchTest : public Gfx2dTest {
 protected:
  void SetUp() override {
    Gfx2dTest::SetUp();
    MakeSprites();
  }
  void TearDown() override {
    SetSpriteBatching(true);
    EndScreen();
    ForceBackBufferTargets(false);
    for (int i = 0; i < 10; ++i) DeleteSprite(kFirst + i);
    DeleteSprite(kTarget);
  }
  // The frame the scene draws from the sprites as SetUp made them (scenes
  // may change them: each frame makes them anew).
  std::vector<Rgba> Frame(const std::function<void()>& draw, bool batching) {
    SetSpriteBatching(batching);
    MakeSprites();
    ResetGLState();
    Reset2DDrawState(R());
    ClearScreen(Pack(30, 60, 90));
    glClear(GL_COLOR_BUFFER_BIT);
    draw();
    std::vector<Rgba> pixels = testing_support::ReadPixels(0, 0, R().clientWidth, R().clientHeight);
    SetSpriteBatching(true);
    return pixels;
  }
};

// Sprites from texture kFirst + (i mod textures), overlapping, at whole and
// (with fractions) fractional positions; each layer of a scene at places of
// its own, so that a later layer leaves much of an earlier one in sight.
void Scatter(int count, int textures, const std::function<void(int32_t id, float x, float y, int i)>& draw,
             bool fractions = true, int layer = 0) {
  for (int i = 0; i < count; ++i) {
    const int at = i + 1009 * layer;
    draw(kFirst + i % textures, static_cast<float>((at * 53) % 900) + (fractions && i % 3 == 0 ? 0.5f : 0.0f),
         static_cast<float>((at * 31) % 700) + (fractions && i % 5 == 0 ? 0.25f : 0.0f), i);
  }
}
void Whole(int count, int textures, int layer = 0) {
  Scatter(count, textures, [](int32_t id, float x, float y, int) { DrawSprite(id, x, y); }, false, layer);
}

// A textured quad in front of the camera.
void BuildQuadMesh() {
  BeginMesh(kMesh);
  AddMeshVertex(-60, -45, -200, 0, 0, 0xFFFFFF);
  AddMeshVertex(-60, 45, -200, 0, 1, 0xFFFFFF);
  AddMeshVertex(60, -45, -200, 1, 0, 0xFFFFFF);
  AddMeshVertex(60, 45, -200, 1, 1, 0xFFFFFF);
  EndMesh();
}

// A fragment program that shows both texture units: red and green from
// unit 0, blue from unit 1.
bool LoadUnitsShader() {
  static const char kFragment[] =
      "uniform sampler2D TextureID1;\n"
      "uniform sampler2D TextureID2;\n"
      "void main() {\n"
      "  vec4 a = texture2D(TextureID1, gl_TexCoord[0].xy);\n"
      "  vec4 b = texture2D(TextureID2, gl_TexCoord[0].xy);\n"
      "  gl_FragColor = vec4(a.rg, b.b, a.a);\n"
      "}\n";
  RegisterMemoryFile(kFragment, std::strlen(kFragment));
  return LoadShader(kShaderSlot, "", MemoryFileName(kFragment, std::strlen(kFragment)).c_str()) == 1;
}

}  // namespace

TEST_F(SpriteBatchTest, FramesAreTheFixedPathsFrames) {
  struct Scene {
    const char* label;
    std::function<void()> draw;
  };
  const std::vector<Scene> scenes = {
      {"DrawSprite on whole pixels, 8 textures", [] { Whole(2000, 8); }},
      {"DrawSprite on whole pixels, 10 textures (more than 8)", [] { Whole(2000, 10); }},
      {"DrawSprite on whole pixels, blended, additive, alpha test 0.5, unsmoothed",
       [] {
         SetAlphaMode(-0.5);
         Whole(500, 8);
         SetAlphaMode(1);
         Whole(500, 9);
         SetAlphaMode(0);
         SetAlphaTest(0.5);
         SetSmoothing(0);
         Whole(500, 7);
         SetAlphaTest(0.05);
         SetSmoothing(1);
       }},
      {"DrawSprite, 8 textures",
       [] { Scatter(600, 8, [](int32_t id, float x, float y, int) { DrawSprite(id, x, y); }); }},
      {"DrawSprite, 10 textures (more than 8)",
       [] { Scatter(600, 10, [](int32_t id, float x, float y, int) { DrawSprite(id, x, y); }); }},
      {"StretchSprite and ZoomSprite",
       [] {
         Scatter(300, 6, [](int32_t id, float x, float y, int i) {
           if (i % 2) StretchSprite(id, x, y, 20.0f + i % 40, 15.0f + i % 30);
           else ZoomSprite(id, x, y, 1.5, 0.75);
         });
       }},
      {"rotated sprites and frames",
       [] {
         Scatter(300, 5, [](int32_t id, float x, float y, int i) {
           if (i % 3 == 0) RotoZoomSprite(id, x, y, i * 7.5, 1.25);
           else if (i % 3 == 1) RotoZoomAnim(id, i % 6, x, y, i * 3.0, 0.9);
           else DrawAnim(id, i % 6, x, y);
         });
       }},
      {"blended at half alpha",
       [] {
         SetAlphaMode(-0.5);
         Scatter(200, 7, [](int32_t id, float x, float y, int) { DrawSprite(id, x, y); });
       }},
      {"additive, nearest",
       [] {
         SetAlphaMode(1);
         SetSmoothing(0);
         Scatter(200, 7, [](int32_t id, float x, float y, int) { StretchAnim(id, 1, x + 3, y + 7, 31, 17); });
       }},
      {"alpha test 0.5",
       [] {
         SetAlphaTest(0.5);
         Scatter(200, 7, [](int32_t id, float x, float y, int) { DrawSprite(id, x + 11, y); });
         SetAlphaTest(0.05);
       }},
      {"stretched at many scales and fractions",
       [] {
         Scatter(1500, 9, [](int32_t id, float x, float y, int i) {
           const float fx = static_cast<float>(i % 7) * 0.137f, fy = static_cast<float>(i % 11) * 0.091f;
           if (i % 4 == 3)
             StretchAnim(id, i % 5, x + fx, y + fy, 3.0f + static_cast<float>(i % 61),
                         2.0f + static_cast<float>(i % 47));
           else
             StretchSprite(id, x + fx, y + fy, 5.0f + static_cast<float>((i * 7) % 83),
                           4.0f + static_cast<float>((i * 5) % 71));
         });
       }},
      {"rotated sprites",
       [] { Scatter(300, 5, [](int32_t id, float x, float y, int i) { RotoZoomSprite(id, x, y, i * 7.5, 1.25); }); }},
      {"rotated frames",
       [] {
         Scatter(300, 5, [](int32_t id, float x, float y, int i) { RotoZoomAnim(id, i % 6, x, y, i * 3.0, 0.9); });
       }},
      {"frames", [] { Scatter(300, 5, [](int32_t id, float x, float y, int i) { DrawAnim(id, i % 6, x, y); }); }},
      {"other drawing between the sprites",
       [] {
         Scatter(300, 4, [](int32_t id, float x, float y, int i) {
           DrawSprite(id, x, y);
           if (i % 17 == 0) DrawRect(static_cast<int32_t>(x), static_cast<int32_t>(y), 9, 9, Pack(200, 10, 10));
           if (i % 23 == 0) PrintText("Ag", x, y, 0);
           if (i % 29 == 0) DrawLine(0, 0, static_cast<int32_t>(x), static_cast<int32_t>(y), Pack(9, 250, 9));
           if (i % 31 == 0) DrawPixel(static_cast<int32_t>(x) + 3, static_cast<int32_t>(y) + 2, Pack(250, 250, 9));
           if (i % 37 == 0) {
             BeginPoly(kFirst + i % 10, 0);
             AddPolyVertex(x, y, 0, 0, 0xFFFFFF);
             AddPolyVertex(x + 30, y, 1, 0, 0xFFFFFF);
             AddPolyVertex(x + 30, y + 20, 1, 1, 0x80FF80);
             AddPolyVertex(x, y + 20, 0, 1, 0xFFFFFF);
             EndPoly();
           }
         });
       }},
      {"3D drawing between the sprites",
       [] {
         BuildQuadMesh();
         Whole(150, 8, 1);
         Begin3D(10, 1600, 45);
         SetMeshTextures(kFirst + 3, -1);
         DrawMesh(kMesh, 0);
         PrintText3D(0, "3D", -20, 0, -150, 2, 0);
         End3D();
         Whole(150, 9, 2);
         Begin3D(10, 1600, 45);
         SetMeshTextures(-1, -1);
         DrawMesh(kMesh, 0);
         End3D();
         Whole(150, 7, 3);
       }},
      {"a program's shader between the sprites",
       [] {
         // Unit 1 holds a texture of its own, as a 3D draw with two
         // textures leaves it, before the runs.
         BindSpriteTexture(kFirst + 9, kFirst + 8);
         BindSpriteTexture(-1, -1);
         Whole(150, 8, 4);
         UseShader(kShaderSlot);
         SetShaderUniformInt("TextureID2", 1);
         Whole(150, 8, 5);
         UseShader(-1);
         Whole(150, 8, 6);
       }},
      {"screen targets between the sprites",
       [] {
         Whole(150, 8, 7);
         ASSERT_TRUE(CreateScreen(0, kTarget, 120, 90));
         Whole(150, 8, 8);
         UseScreen(0);
         Whole(150, 8, 9);
         EndScreen();
         Whole(150, 8, 10);
         DrawSprite(kTarget, 400, 300);
         ForceBackBufferTargets(true);
         UseScreen(0);
         Whole(100, 8, 11);
         EndScreen();
         ForceBackBufferTargets(false);
         Whole(150, 8, 12);
         DrawSprite(kTarget, 600, 200);
       }},
      {"a program writing to a sprite's texture with the GL between the sprites",
       [] {
         Whole(150, 8, 25);
         const std::vector<uint8_t> red(8 * 8 * 4, 200);
         glBindTexture(GL_TEXTURE_2D, GetSpriteTexture(kFirst + 4));
         glTexSubImage2D(GL_TEXTURE_2D, 0, 2, 2, 8, 8, GL_RGBA, GL_UNSIGNED_BYTE, red.data());
         Whole(150, 8, 26);
       }},
      {"more pictures in turn than the atlas holds",
       [] {
         constexpr int kLarge = 66;
         for (int i = 0; i < kLarge; ++i) MakeLargeSprite(240 + i, i);
         for (int pass = 0; pass < 2; ++pass)
           for (int i = 0; i < kLarge; ++i)
             DrawSprite(240 + i, static_cast<float>((i * 37) % 760), static_cast<float>((i * 23 + pass * 50) % 510));
         for (int i = 0; i < kLarge; ++i) DeleteSprite(240 + i);
       }},
      {"a camera set between the sprites",
       [] {
         Whole(150, 8, 20);
         // A camera set outside the 3D frame moves the 2D drawing as well,
         // here by fractions of a pixel and with a slight turn.
         SetCamera(0.5, 0.25, 0, 0.5, 0.25, -1);
         Whole(150, 8, 21);
         SetCamera(0, 0, 0, 0.01, 0.02, -1);
         Whole(150, 8, 22);
         SetCamera(0, 0, 0, 0, 0, -1);
         Whole(150, 8, 23);
       }},
      {"grabs, uploads and deletions between the sprites",
       [] {
         Whole(150, 8, 13);
         // Sprites of the run: their pictures have copies in its atlas.
         GrabSprite(kFirst + 2, 100, 100, 40, 30);
         Whole(150, 8, 14);
         // At the sprite's own size a grab keeps its texture, now with
         // other texels.
         GrabSprite(kFirst + 3, 300, 200, 12 + 5 * 3, 9 + 3 * 3);
         Whole(150, 8, 24);
         MakeSprite(5, 1);
         Whole(150, 8, 15);
         DeleteSprite(kFirst + 6);
         Whole(150, 8, 16);
         MakeSprite(6, 2);
         MakeSprite(9, 1);
         Whole(150, 10, 17);
         GrabBackground(1);
         Whole(150, 8, 18);
         DrawBackground(1);
         ReleaseBackground(1);
         Whole(150, 8, 19);
       }},
  };
  ASSERT_TRUE(LoadUnitsShader());
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(scene.label);
    const std::vector<Rgba> fixed = Frame(scene.draw, false);
    const std::vector<Rgba> batched = Frame(scene.draw, true);
    ASSERT_EQ(fixed.size(), batched.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < fixed.size(); ++i) {
      const Rgba& a = fixed[i];
      const Rgba& b = batched[i];
      if (a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a) {
        if (differing++ == 0) first = i;
      }
    }
    EXPECT_EQ(differing, 0u) << scene.label << ": first at (" << first % R().clientWidth << ", "
                             << first / R().clientWidth << ") " << Describe(fixed[first]) << " against "
                             << Describe(batched[first]);
  }
}

// A run is what the batched frames above came from: sprites from two
// textures in a row leave the run's program bound; the next other drawing
// ends it and the GL holds what the fixed path leaves (no program, the last
// sprite's texture on unit 0, unit 1 untouched). One texture alone stays
// on the fixed path.
TEST_F(SpriteBatchTest, ARunEndsWithTheFixedPathsState) {
  auto program = [] {
    GLint p = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &p);
    return p;
  };
  auto boundOnUnit0 = [] {
    GLint t = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &t);
    return static_cast<uint32_t>(t);
  };
  auto boundOnUnit1 = [] {
    gl::ActiveTextureARB(GL_TEXTURE1);
    GLint t = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &t);
    gl::ActiveTextureARB(GL_TEXTURE0);
    return static_cast<uint32_t>(t);
  };
  BindSpriteTexture(kFirst + 9, kFirst + 8);  // kFirst + 9 on unit 1
  BindSpriteTexture(-1, -1);
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const bool software = renderer != nullptr && std::string(renderer).find("llvmpipe") != std::string::npos;
  DrawSprite(kFirst, 10, 10);
  DrawSprite(kFirst, 30, 10);
  EXPECT_EQ(program(), 0) << "one texture: the fixed path";
  DrawSprite(kFirst + 1, 50, 10);
  DrawSprite(kFirst + 2, 70, 10);
  if (!software) GTEST_SKIP() << "batching is for the software rasteriser";
  EXPECT_NE(program(), 0) << "two textures in a row: a run";
  DrawRect(0, 0, 4, 4, Pack(1, 2, 3));
  EXPECT_EQ(program(), 0);
  DrawSprite(kFirst + 3, 10, 50);
  DrawSprite(kFirst + 4, 10, 70);
  EXPECT_NE(program(), 0);
  Reset2DDrawState(R());  // as every frame ends
  EXPECT_EQ(program(), 0);

  DrawSprite(kFirst + 5, 10, 50);
  DrawSprite(kFirst + 6, 10, 70);
  BindSpriteTexture(kFirst + 7);  // what the 3D drawing binds through
  EXPECT_EQ(program(), 0);
  EXPECT_EQ(boundOnUnit0(), R().sprites[kFirst + 7].texture);
  for (int i = 0; i < 10; ++i) DrawSprite(kFirst + i, 10.0f + 20 * i, 50);
  EXPECT_NE(program(), 0);
  EndSpriteBatch();  // for drawing of others with the GL itself
  EXPECT_EQ(program(), 0);
  EXPECT_EQ(boundOnUnit1(), R().sprites[kFirst + 9].texture);
  DrawSprite(kFirst + 8, 10, 50);
  DrawSprite(kFirst + 9, 10, 70);
  SetSpriteBatching(false);  // ends the run as any other use of the GL does
  EXPECT_EQ(program(), 0);
  EXPECT_EQ(boundOnUnit0(), R().sprites[kFirst + 9].texture);
  EXPECT_EQ(R().boundSprite, kFirst + 9);
  GLint unit = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  EXPECT_EQ(unit, GL_TEXTURE0);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
}

// With a shader of the program's own in use, sprites draw through it as
// they always did: no run replaces it.
TEST_F(SpriteBatchTest, AProgramsOwnShaderIsKept) {
  if (gl::CreateProgramObjectARB == nullptr) GTEST_SKIP() << "no shader objects";
  const char* source = "void main() { gl_FragColor = vec4(1.0, 0.5, 0.25, 1.0); }";
  const GLhandleARB fragment = gl::CreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  gl::ShaderSourceARB(fragment, 1, &source, nullptr);
  gl::CompileShaderARB(fragment);
  const GLhandleARB own = gl::CreateProgramObjectARB();
  gl::AttachObjectARB(own, fragment);
  gl::LinkProgramARB(own);
  gl::UseProgramObjectARB(own);
  ClearScreen(0);
  glClear(GL_COLOR_BUFFER_BIT);
  for (int i = 0; i < 6; ++i) DrawSprite(kFirst + i, 20.0f + 40 * i, 20);
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(static_cast<GLhandleARB>(current), own);
  // The sprites' opaque middles show the shader's colour.
  const Rgba middle = testing_support::ReadPixel(20 + 40 * 5 + 20, 20 + 12);
  EXPECT_TRUE(SameRgb(middle, Rgba{255, 128, 64, 255}, 1)) << Describe(middle);
  gl::UseProgramObjectARB(0);
  gl::DeleteObjectARB(own);
  gl::DeleteObjectARB(fragment);
}
