// Normals of a triangle fan come from the triangles the fan draws, all of
// which share the fan's centre.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx3d_test_util.h"

namespace {

using gfx3d_test::Mesh;

// Centre C and rim P1, P2, P3: the fan draws (C P1 P2) and (C P2 P3). A window
// sliding as in a strip would give (P1 P2 P3) instead, whose plane differs.
TEST(FanNormals, EveryTriangleSharesTheCentre) {
  for (int32_t normalMode : {1, 2}) {
    SCOPED_TRACE(normalMode);
    gfx3d_test::Engine();
    SetMeshNormalMode(normalMode);
    BeginMesh(60);
    AddMeshVertex(0, 0, 0, 0, 0, MARK_TRIANGLE_FAN);
    AddMeshVertex(0, 0, 0, 0, 0, 0xFFFFFF);   // C
    AddMeshVertex(1, 0, 0, 0, 0, 0xFFFFFF);   // P1
    AddMeshVertex(0, 1, 0, 0, 0, 0xFFFFFF);   // P2
    AddMeshVertex(-1, 0, 1, 0, 0, 0xFFFFFF);  // P3
    EndMesh();
    SetMeshNormalMode(2);

    const GrowList<MeshVertex>& triangles = Mesh(60).frames[0].triangles;
    ASSERT_EQ(triangles.count(), 6);
    for (int i : {0, 3}) {  // each triangle starts at the centre
      EXPECT_EQ(triangles[i].x, 0.0f);
      EXPECT_EQ(triangles[i].y, 0.0f);
      EXPECT_EQ(triangles[i].z, 0.0f);
    }
    EXPECT_EQ(triangles[5].x, -1.0f);

    // P3 belongs to (C P2 P3) only, whose plane has the normal +-(1, 0, 1)/sqrt 2;
    // (P1 P2 P3) would give +-(1, 1, 2)/sqrt 6.
    const MeshVertex& p3 = triangles[5];
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(std::fabs(p3.nx), h, 1e-4);
    EXPECT_NEAR(p3.ny, 0.0f, 1e-4);
    EXPECT_NEAR(std::fabs(p3.nz), h, 1e-4);
    EXPECT_GT(p3.nx * p3.nz, 0.0f);
    // P1 belongs to (C P1 P2) only, which lies in the plane z = 0.
    const MeshVertex& p1 = triangles[1];
    EXPECT_NEAR(p1.nx, 0.0f, 1e-4);
    EXPECT_NEAR(p1.ny, 0.0f, 1e-4);
    EXPECT_NEAR(std::fabs(p1.nz), 1.0f, 1e-4);
  }
}

}  // namespace
