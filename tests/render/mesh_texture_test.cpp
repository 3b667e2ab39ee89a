#include <gtest/gtest.h>

#include <cmath>

#include "images/sprite.h"
#include "mesh_test_support.h"
#include "render/mesh.h"

TEST(MeshTexture, FlipsApplyOnlyWhenTheyChange) {
    CObjeto3D mesh;
    CSprite image;
    MakeQuad(mesh);
    mesh.vertices[0].u = 0.25f;
    mesh.vertices[0].v = 0.5f;
    mesh.renderFlags = 0;
    mesh.SetTexture(&image, 1, 1, 1, false);
    EXPECT_EQ(mesh.vertices[0].u, 0.25f) << "the same flags change nothing";
    EXPECT_EQ(mesh.texture1, &image);
    EXPECT_EQ(mesh.renderFlags & MeshRenderTextured, MeshRenderTextured);
    mesh.SetTexture(&image, -1, 1, 1, false);
    EXPECT_EQ(mesh.vertices[0].u, 0.75f);
    EXPECT_EQ(mesh.uFlip, 255);
    mesh.SetTexture(&image, -1, 1, 1, false);
    EXPECT_EQ(mesh.vertices[0].u, 0.75f) << "repeated with the same flags";
    mesh.SetTexture(&image, -1, -1, 1, false);
    EXPECT_EQ(mesh.vertices[0].v, 0.5f);
    EXPECT_EQ(mesh.vertices[2].v, 0.0f);
}

TEST(MeshTexture, ChangedWindingSwapsTheLastTwoCorners) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.SetTexture(nullptr, 1, 1, -1, false);
    EXPECT_EQ(mesh.GetIndex(0, true), 0);
    EXPECT_EQ(mesh.GetIndex(1, true), 1);
    EXPECT_EQ(mesh.GetIndex(2, true), 2);
    EXPECT_NEAR(mesh.vertices[0].ny, -1.0f, 1e-6f) << "normals follow the new winding";
    EXPECT_EQ(mesh.texture1, nullptr);
}

TEST(MeshTexture, ProjectionOverTheBounds) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.geometryType = 0;
    mesh.ComputeBoundingCorners(nullptr, 0, &mesh.objectCorners);
    mesh.UpdateWorldVertices();  // bounds x 0..10, z 0..10
    mesh.vertices[3].x = 2.5f;
    mesh.vertices[3].z = 7.5f;
    mesh.ProjectTexCoords();
    EXPECT_FLOAT_EQ(mesh.vertices[3].u, 0.25f);
    EXPECT_FLOAT_EQ(mesh.vertices[3].v, 0.25f);
    EXPECT_FLOAT_EQ(mesh.vertices[0].v, 1.0f);
    mesh.uOffset = 0.9f;
    mesh.ProjectTexCoords();
    EXPECT_FLOAT_EQ(mesh.vertices[3].u, 1.0f) << "clamped";
    mesh.geometryType = 1;
    mesh.vertices[3].u = 0.5f;
    mesh.ProjectTexCoords();
    EXPECT_EQ(mesh.vertices[3].u, 0.5f) << "no projection for shaped meshes";
}

TEST(MeshTexture, ProjectionOverAFlatExtentGivesZero) {
    CObjeto3D mesh;
    mesh.AllocateArrays(3, 3, true, true);
    mesh.geometryType = 0;
    mesh.vertices[1].x = 4;  // all z 0: no z extent; x 0..4
    mesh.SetTriangle(0, 0, 1, 2);
    mesh.ComputeBoundingCorners(nullptr, 0, &mesh.objectCorners);
    mesh.UpdateWorldVertices();
    mesh.ProjectTexCoords();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mesh.vertices[i].v, 0.0f);
        EXPECT_FALSE(std::isnan(mesh.vertices[i].u));
    }
    EXPECT_EQ(mesh.vertices[1].u, 1.0f);
}

// Projected coordinates are unflipped, so a flip stored earlier must not cancel the one asked for.
TEST(MeshTexture, ProjectionAppliesTheRequestedFlips) {
    struct Case {
        int storedU;
        int askedU;
        float expectedU;
    };
    const Case cases[] = {{1, 1, 0.25f}, {1, -1, 0.75f}, {-1, -1, 0.75f}, {-1, 1, 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.storedU << " -> " << c.askedU);
        CObjeto3D mesh;
        MakeQuad(mesh);
        mesh.geometryType = 0;
        mesh.ComputeBoundingCorners(nullptr, 0, &mesh.objectCorners);
        mesh.UpdateWorldVertices();
        mesh.vertices[3].x = 2.5f;
        mesh.SetTexture(nullptr, c.storedU, 1, 1, false);
        mesh.SetTexture(nullptr, c.askedU, 1, 1, true);
        EXPECT_FLOAT_EQ(mesh.vertices[3].u, c.expectedU);
        EXPECT_EQ(mesh.uFlip, static_cast<uint8_t>(c.askedU));
    }
}

TEST(MeshTexture, TransposeSwapsAndFlips) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.vertices[0].u = 0.25f;
    mesh.vertices[0].v = 0.1f;
    mesh.TransposeTexCoords(true, false);
    EXPECT_FLOAT_EQ(mesh.vertices[0].u, 0.9f);
    EXPECT_FLOAT_EQ(mesh.vertices[0].v, 0.25f);
    EXPECT_EQ(mesh.transposed, 1);
}

TEST(MeshTexture, SoftwareFormRefreshesTheWorldAndTiledFormsWaitForALoad) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.posY = 3;
    EXPECT_FALSE(mesh.PrepareForBackEnd(MeshFormTiledD3D9)) << "not loaded";
    EXPECT_EQ(mesh.form, MeshFormSingle);
    mesh.form = MeshFormTiledOpenGL;
    EXPECT_TRUE(mesh.PrepareForBackEnd(MeshFormSingle));
    EXPECT_EQ(mesh.form, MeshFormSingle);
    EXPECT_FLOAT_EQ(mesh.vertices[0].wy, 3.0f);
}
