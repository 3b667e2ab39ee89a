#include <gtest/gtest.h>

#include <cmath>

#include "mesh_test_support.h"
#include "render/mesh.h"

namespace {

void ExpectMatrixNear(const float* actual, const float* expected) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "entry " << i;
}

}  // namespace

TEST(MeshTransform, RotationMatrixAgainstHandValues) {
    const float h = sqrtf(0.5f);
    struct Case {
        float x, y, z;
        float m[16];
    };
    const Case cases[] = {
        {0, 0, 0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        // about x: y -> z
        {90, 0, 0, {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1}},
        // about y: z -> x, x -> -z
        {0, 90, 0, {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
        // about z: x -> y
        {0, 0, 90, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
        {45, 0, 0, {1, 0, 0, 0, 0, h, h, 0, 0, -h, h, 0, 0, 0, 0, 1}},
        // all three at 90: rows from the formula with s = 1, c = 0
        {90, 90, 90, {0, 0, 1, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.y << " " << c.z);
        float m[16];
        MakeRotationMatrix(m, c.x, c.y, c.z);
        ExpectMatrixNear(m, c.m);
    }
}

TEST(MeshTransform, ModelMatrixRotatesAboutTheOriginThenMoves) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.rotY = 450.0f;  // wrapped to 90
    mesh.posX = 100.0f;
    mesh.posY = 5.0f;
    mesh.UpdateWorldVertices();
    EXPECT_FLOAT_EQ(mesh.rotY, 90.0f);
    // Vertex 1 is (10, 0, 0): rotated 90 degrees about y it lies at (0, 0, -10), then moved.
    EXPECT_NEAR(mesh.vertices[1].wx, 100.0f, 1e-4f);
    EXPECT_NEAR(mesh.vertices[1].wy, 5.0f, 1e-4f);
    EXPECT_NEAR(mesh.vertices[1].wz, -10.0f, 1e-4f);
    EXPECT_NEAR(mesh.vertices[1].x, 10.0f, 0) << "local positions stay";
}

TEST(MeshTransform, RotateVerticesUsesWholeWrappedDegrees) {
    MeshVertex v = {};
    v.x = 1;
    RotateVertices(0, 0, 450.7f, &v, 1);  // 90.7 truncated to 90
    EXPECT_NEAR(v.x, 0, 1e-6f);
    EXPECT_NEAR(v.y, 1, 1e-6f);
}

TEST(MeshTransform, WorldUpdateWidensColours) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.vertices[0].diffuse = 0x80FF0102u;
    mesh.vertices[0].specular = 0x01000000u;
    mesh.UpdateWorldVertices();
    EXPECT_EQ(mesh.vertices[0].diffuse16[0], 0x0200);
    EXPECT_EQ(mesh.vertices[0].diffuse16[1], 0x0100);
    EXPECT_EQ(mesh.vertices[0].diffuse16[2], 0xFF00);
    EXPECT_EQ(mesh.vertices[0].diffuse16[3], 0x8000);
    EXPECT_EQ(mesh.vertices[0].specular16[3], 0x0100);
}

TEST(MeshTransform, InnerNormalsAreUnitBorderNormalsThePlainSum) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    // Both triangles face up; vertices 1 and 2 belong to both.
    EXPECT_NEAR(mesh.vertices[1].ny, 1.0f, 1e-6f);
    EXPECT_NEAR(mesh.vertices[0].ny, 1.0f, 1e-6f);
    EXPECT_NEAR(mesh.faceNormals[1], 1.0f, 1e-6f);
    mesh.vertices[1].flags |= MeshVertexLastColumn;
    mesh.vertices[2].flags |= MeshVertexFirstRow;
    mesh.ComputeNormals();
    EXPECT_NEAR(mesh.vertices[1].ny, 2.0f, 1e-6f) << "a border vertex keeps the sum of two faces";
    EXPECT_NEAR(mesh.vertices[2].ny, 2.0f, 1e-6f);
    EXPECT_NEAR(mesh.vertices[3].ny, 1.0f, 1e-6f);
}

TEST(MeshTransform, DegenerateTrianglesGiveNoNaN) {
    CObjeto3D mesh;
    mesh.AllocateArrays(3, 3, true, true);
    mesh.SetTriangle(0, 0, 1, 2);  // all three at the origin
    mesh.UpdateWorldVertices();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mesh.vertices[i].nx, 0.0f);
        EXPECT_EQ(mesh.vertices[i].ny, 0.0f);
        EXPECT_EQ(mesh.vertices[i].nz, 0.0f);
    }
    EXPECT_EQ(mesh.faceNormals[0], 0.0f);
    float n[3];
    const float p[3] = {1, 1, 1};
    ComputeFaceNormal(p, p, p, n);
    EXPECT_FALSE(std::isnan(n[0]) || std::isnan(n[1]) || std::isnan(n[2]));
}

TEST(MeshTransform, RemovedTrianglesAddNoNormal) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.SetIndex(3, 0xFFFF);  // remove the second triangle
    mesh.ComputeNormals();
    EXPECT_EQ(mesh.vertices[3].ny, 0.0f);
    EXPECT_NEAR(mesh.vertices[1].ny, 1.0f, 1e-6f);
}

TEST(MeshTransform, BoxCornersOrder) {
    BoxCorners box;
    MakeBoxCorners(-1, 1, -2, 2, -3, 3, &box);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(box.corner[i].x, (i & 1) ? -1.0f : 1.0f);
        EXPECT_EQ(box.corner[i].y, i < 4 ? 2.0f : -2.0f);
        EXPECT_EQ(box.corner[i].z, (i % 4) < 2 ? 3.0f : -3.0f);
    }
}

TEST(MeshTransform, ObjectBoxFollowsTheModelMatrix) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.ComputeBoundingCorners(nullptr, 0, &mesh.objectCorners);
    mesh.posX = 5;
    mesh.rotY = 90;
    mesh.UpdateWorldVertices();
    // Local x 0..10, z 0..10: rotated 90 about y gives x 0..10, z -10..0; moved by 5 in x.
    EXPECT_NEAR(mesh.xMin, 5, 1e-4f);
    EXPECT_NEAR(mesh.xMax, 15, 1e-4f);
    EXPECT_NEAR(mesh.zMin, -10, 1e-4f);
    EXPECT_NEAR(mesh.zMax, 0, 1e-4f);
    EXPECT_NEAR(mesh.objectBox.center[0], 10, 1e-4f);
    EXPECT_NEAR(mesh.objectBox.center[2], -5, 1e-4f);
    EXPECT_NEAR(mesh.objectBox.halfExtent[0], 5, 1e-4f);
    EXPECT_NEAR(mesh.objectBox.halfExtent[1], 0, 1e-4f);
}
