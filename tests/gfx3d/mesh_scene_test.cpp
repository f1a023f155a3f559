// Scene files: the INI sections they list, and a scene of two objects and
// three textures drawn offscreen and read back.
#include <gtest/gtest.h>

#include <string>

#include "files/files.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gfx3d/internal/mesh_file.h"
#include "gfx3d_test_util.h"
#include "support/child_process.h"
#include "support/runtime_fixture.h"

namespace {

using gfx3d_test::EyeToScreen;
using gfx3d_test::Px;
using gfx3d_test::Slot;
using testing_support::ReadPixel;
using testing_support::Rgba;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

TEST(MeshScene, SectionsAndKeysAnyCaseWithTextureNumbersLessOne) {
  const std::string text =
      ";XQW a scene\r\n[TEXTURES]\r\nCount=2\r\n1=a.png\r\n\r\n[Objects]\r\ncount = 3\r\n"
      "1=one.xqo\r\n1ta=2\r\n1TB=1\r\n3=three.xqo\r\n3ta=0\r\n3tb=-2\r\n";
  MeshScene scene;
  ASSERT_TRUE(ParseMeshScene(text.data(), text.size(), &scene));
  ASSERT_EQ(scene.textures.size(), 2u);
  EXPECT_EQ(scene.textures[0], "a.png");
  EXPECT_EQ(scene.textures[1], "");  // listed by the count, absent from the file
  ASSERT_EQ(scene.objects.size(), 3u);
  EXPECT_EQ(scene.objects[0].file, "one.xqo");
  EXPECT_EQ(scene.objects[0].texture1, 1);
  EXPECT_EQ(scene.objects[0].texture2, 0);
  EXPECT_EQ(scene.objects[1].file, "");
  EXPECT_EQ(scene.objects[2].texture1, 0);
  EXPECT_EQ(scene.objects[2].texture2, -2);
  // A count far beyond the keys of the file is held to them.
  const std::string greedy = ";XQW\n[objects]\ncount=2000000000\n1=x\n";
  ASSERT_TRUE(ParseMeshScene(greedy.data(), greedy.size(), &scene));
  EXPECT_LE(scene.objects.size(), 2u);
  EXPECT_GE(scene.objects.size(), 1u);
  const std::string other = "[objects]\ncount=1\n1=x\n";
  EXPECT_FALSE(ParseMeshScene(other.data(), other.size(), &scene));
}

// A quad facing the camera, centred at (cx, cy, -50), saved as an object file.
void SaveQuad(int32_t id, float cx, float cy, const std::string& path) {
  gfx3d_test::BuildStrips(id, {{{cx - 4, cy - 4, -50, 0, 0},
                                {cx + 4, cy - 4, -50, 1, 0},
                                {cx - 4, cy + 4, -50, 0, 1},
                                {cx + 4, cy + 4, -50, 1, 1}}});
  ASSERT_EQ(SaveMesh(path.c_str(), id), 1);
}

void SavePlainPicture(const std::string& path, uint8_t r, uint8_t g, uint8_t b) {
  Picture picture;
  ASSERT_TRUE(picture.Resize(16, 16));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      uint8_t* p = picture.Pixel(x, y);
      p[0] = r;
      p[1] = g;
      p[2] = b;
      p[3] = 255;
    }
  ASSERT_TRUE(SavePicture(path.c_str(), picture));
}

TEST(MeshScene, TwoObjectsWithTheirOwnTexturesDraw) {
  testing_support::StartTestRuntime();
  TempDir dir;
  const std::string folder = dir.File("scene/");
  ASSERT_TRUE(MakeDirectory(folder.c_str()));
  SaveQuad(30, -8, 0, folder + "left.xqo");
  SaveQuad(31, 8, 0, folder + "right.xqo");
  SavePlainPicture(folder + "red.bmp", 255, 0, 0);
  SavePlainPicture(folder + "yellow.png", 255, 255, 0);
  SavePlainPicture(folder + "blue.bmp", 0, 0, 255);
  WriteWholeFile(folder + "pair.xqw",
                 ";XQW two quads\r\n[Textures]\r\ncount=3\r\n1=red.bmp\r\n2=yellow.png\r\n3=blue.bmp\r\n"
                 "[OBJECTS]\r\nCount=2\r\n1=left.xqo\r\n1ta=1\r\n1tb=2\r\n2=right.xqo\r\n2TA=3\r\n2tb=3\r\n");
  LoadMesh((folder + "pair.xqw").c_str(), 32);
  MeshSlot& slot = Slot(32);
  ASSERT_EQ(slot.valid, 1);
  EXPECT_EQ(slot.multiPart, 1);
  ASSERT_EQ(slot.meshes.count(), 2);
  ASSERT_EQ(slot.textures.count(), 3);
  for (uint32_t name : slot.textures) EXPECT_NE(name, 0u);
  EXPECT_EQ(slot.meshes[0].texture1Index, 0);
  EXPECT_EQ(slot.meshes[0].texture2Index, 1);
  EXPECT_EQ(slot.meshes[1].texture1Index, 2);

  SetClearColour(0);
  Begin3D(10, 1600, 45);
  DrawMesh(32, 0);
  const Px left = EyeToScreen(-8, 0, -50), right = EyeToScreen(8, 0, -50), between = EyeToScreen(0, 0, -50);
  const Rgba l = ReadPixel(left.x, left.y), r = ReadPixel(right.x, right.y), m = ReadPixel(between.x, between.y);
  End3D();
  // Both units of each object modulate: red with yellow stays red.
  EXPECT_GT(l.r, 200);
  EXPECT_LT(l.g + l.b, 60);
  EXPECT_GT(r.b, 200);
  EXPECT_LT(r.r + r.g, 60);
  EXPECT_LT(m.r + m.g + m.b, 30);

  // Loading a single object into the slot replaces the scene and its textures.
  LoadMesh((folder + "left.xqo").c_str(), 32);
  EXPECT_EQ(slot.multiPart, 0);
  EXPECT_EQ(slot.textures.count(), 0);
  EXPECT_EQ(slot.meshes.count(), 1);
}

}  // namespace
