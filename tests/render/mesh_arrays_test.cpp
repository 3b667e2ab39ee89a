#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "images/sprite.h"
#include "mesh_test_support.h"
#include "render/mesh.h"

TEST(MeshArrays, DefaultsOfANewMesh) {
    CObjeto3D mesh;
    EXPECT_EQ(mesh.renderFlags, 0x5DFBu);
    EXPECT_EQ(mesh.indexWidth, 2);
    EXPECT_EQ(mesh.geometryType, -1);
    EXPECT_EQ(mesh.winding, 1);
    EXPECT_EQ(mesh.uFlip, 1);
    EXPECT_EQ(mesh.vFlip, 1);
    EXPECT_EQ(mesh.recordValueC, 2.0f);
    EXPECT_EQ(mesh.recordValueE, 2.0f);
    EXPECT_EQ(mesh.unitScale, 1.0f);
    EXPECT_EQ(mesh.bumpWidth, 180.0f);
    EXPECT_EQ(mesh.bumpSigma, 0.2f);
    EXPECT_EQ(mesh.visible, 1);
    EXPECT_EQ(mesh.ready, 1);
    EXPECT_EQ(mesh.cullTriangles, 1);
    EXPECT_EQ(mesh.sizeX, 200.0f);
    EXPECT_EQ(mesh.vLast, 2.0f);
    EXPECT_EQ(mesh.centre, 0.5f);
    EXPECT_EQ(mesh.vertexStride, 92);
    EXPECT_EQ(mesh.tileOption, 1);
    EXPECT_EQ(mesh.form, MeshFormSingle);
    EXPECT_EQ(mesh.loadState.load(), MeshLoadEmpty);
    for (float d : mesh.viewDistance)
        EXPECT_EQ(d, -1.0f);
}

TEST(MeshArrays, IndexWidthFollowsTheVertexCount) {
    struct Case {
        int vertices;
        int width;
    };
    const Case cases[] = {{3, 2}, {65535, 2}, {65536, 2}, {65537, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vertices);
        CObjeto3D mesh;
        ASSERT_TRUE(mesh.AllocateArrays(c.vertices, 6, true, true));
        EXPECT_EQ(mesh.indexWidth, c.width);
        EXPECT_EQ(mesh.vertexCount, c.vertices);
        EXPECT_EQ(mesh.indexCount, 6);
        EXPECT_EQ(mesh.vertices[c.vertices - 1].flags, MeshVertexPresent);
        EXPECT_EQ(mesh.triangleFlags[1], MeshTrianglePresent);
        mesh.SetIndex(4, c.vertices - 1);
        EXPECT_EQ(mesh.GetIndex(4, true), c.vertices - 1);
    }
}

TEST(MeshArrays, AllocationWithoutSetCountsKeepsTheLiveCounts) {
    CObjeto3D mesh;
    mesh.AllocateArrays(10, 12, false, false);
    EXPECT_EQ(mesh.vertexCount, 0);
    EXPECT_EQ(mesh.indexCount, 0);
    EXPECT_EQ(mesh.vertexCapacity, 10);
    EXPECT_EQ(mesh.indexCapacity, 12);
    EXPECT_FALSE(mesh.AllocateArrays(0x7FFFFFFF, 0, false, true)) << "a size past memory is refused";
}

// With 65,536 vertices the last vertex number is the removed-triangle marker of 16-bit lists.
TEST(MeshArrays, ATriangleStartingAtTheLast16BitVertexIsNotRemoved) {
    CObjeto3D mesh;
    ASSERT_TRUE(mesh.AllocateArrays(65536, 9, true, true));
    ASSERT_EQ(mesh.indexWidth, 2);
    mesh.SetTriangle(0, 65535, 1, 2);
    mesh.SetTriangle(3, 65535, 65535, 7);
    mesh.SetTriangle(6, 3, 4, 65535);
    EXPECT_FALSE(mesh.IsTriangleRemoved(0));
    EXPECT_EQ(mesh.GetIndex(0, true), 1);  // rotated to (b, c, a): the same winding
    EXPECT_EQ(mesh.GetIndex(1, true), 2);
    EXPECT_EQ(mesh.GetIndex(2, true), 65535);
    EXPECT_FALSE(mesh.IsTriangleRemoved(3));
    EXPECT_EQ(mesh.GetIndex(3, true), 7);
    EXPECT_EQ(mesh.GetIndex(6, true), 3) << "other triangles are written as given";
    EXPECT_EQ(mesh.GetIndex(8, true), 65535);
}

TEST(MeshArrays, VertexLookupsAnswerNoneOutsideTheArrays) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.SetIndex(5, 4000);  // a damaged index from a file
    EXPECT_EQ(mesh.GetTriangleVertex(5, true), nullptr);
    EXPECT_EQ(mesh.GetVertexPosition(5, false), nullptr);
    EXPECT_EQ(mesh.GetTriangleVertex(-1, true), nullptr);
    EXPECT_EQ(mesh.GetTriangleVertex(6, true), nullptr);
    EXPECT_EQ(mesh.GetIndexPointer(6), nullptr);
    ASSERT_NE(mesh.GetVertexPosition(3, false), nullptr);
    EXPECT_EQ(mesh.GetVertexPosition(3, false)[0], 10.0f);
    mesh.UpdateWorldVertices();  // the damaged triangle is skipped, no crash
}

TEST(MeshArrays, VertexColourWithAndWithoutKeptAlpha) {
    struct Case {
        bool keepAlpha;
        uint32_t expected;
    };
    const Case cases[] = {{false, 0x11223344u}, {true, 0x80223344u}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keepAlpha);
        CObjeto3D mesh;
        MakeQuad(mesh);
        for (int i = 0; i < 4; ++i)
            mesh.vertices[i].diffuse = mesh.vertices[i].specular = 0x80FFFFFFu;
        mesh.SetVertexColor(0x11223344u, c.keepAlpha);
        mesh.SetSpecularColor(0x11223344u, c.keepAlpha);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(mesh.vertices[i].diffuse, c.expected);
            EXPECT_EQ(mesh.vertices[i].specular, c.expected);
        }
    }
}

TEST(MeshArrays, ColourReachesPublishedAndKeptVertices) {
    CObjeto3D mesh;
    mesh.AllocateArrays(6, 6, true, false);
    mesh.vertexCount = 2;
    mesh.publishedVertexCount = 5;
    mesh.SetVertexColor(0xFF00FF00u, false);
    EXPECT_EQ(mesh.vertices[4].diffuse, 0xFF00FF00u);
    EXPECT_EQ(mesh.vertices[5].diffuse, 0u) << "beyond the published count nothing is written";
    mesh.publishedVertexCount = 0;
    mesh.vertexCount = 6;
    mesh.KeepOriginalArrays();
    mesh.AllocateArrays(3, 3, true, true);
    mesh.SetVertexColor(0xFF0000FFu, false);
    EXPECT_EQ(mesh.keptVertices[5].diffuse, 0xFF0000FFu);
    EXPECT_EQ(mesh.vertices[2].diffuse, 0xFF0000FFu);
}

TEST(MeshArrays, KeptArraysComeBackWithTheirIndexWidth) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    MeshVertex* original = mesh.vertices;
    mesh.KeepOriginalArrays();
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.keptVertexCount, 4);
    EXPECT_EQ(mesh.keptIndexCount, 6);
    mesh.AllocateArrays(70000, 30, true, true);
    EXPECT_EQ(mesh.indexWidth, 4);
    ASSERT_TRUE(mesh.AllocateSubMeshes(2));
    mesh.FreeSubMeshes();
    EXPECT_EQ(mesh.subMeshCount, 0);
    EXPECT_EQ(mesh.vertices, original);
    EXPECT_EQ(mesh.vertexCount, 4);
    EXPECT_EQ(mesh.indexCount, 6);
    EXPECT_EQ(mesh.indexWidth, 2);
    EXPECT_EQ(mesh.GetIndex(1, true), 2);
    EXPECT_EQ(mesh.keptVertices, nullptr);
}

TEST(MeshArrays, NearestViewDistance) {
    CObjeto3D mesh;
    int slot = 77;
    EXPECT_EQ(mesh.GetNearestViewDistance(&slot), 1000000.0f);
    EXPECT_EQ(slot, 77) << "no slot in use leaves the index untouched";
    EXPECT_EQ(mesh.GetNearestViewDistance(nullptr), 1000000.0f);
    mesh.viewDistance[2] = 50.0f;
    mesh.viewDistance[5] = 20.0f;
    mesh.viewDistance[6] = 30.0f;
    EXPECT_EQ(mesh.GetNearestViewDistance(&slot), 20.0f);
    EXPECT_EQ(slot, 5);
    EXPECT_FALSE(mesh.IsVisibleInAnyView());
    mesh.viewVisible[7] = 1;
    EXPECT_TRUE(mesh.IsVisibleInAnyView());
}

TEST(MeshArrays, FreeArraysEmptiesTheMeshButNotItsImages) {
    CObjeto3D mesh;
    CSprite image;
    MakeQuad(mesh);
    mesh.texture1 = &image;
    mesh.texture2 = &image;
    mesh.columns = mesh.rows = 2;
    mesh.hasDetailLevels = 1;
    mesh.transposed = 1;
    mesh.publishedIndexCount = 3;
    mesh.auxBuffers[1] = malloc(16);
    mesh.loadState = MeshLoaded;
    mesh.AllocateSubMeshes(3);
    mesh.FreeArrays();
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.indices, nullptr);
    EXPECT_EQ(mesh.triangleFlags, nullptr);
    EXPECT_EQ(mesh.auxBuffers[1], nullptr);
    EXPECT_EQ(mesh.subMeshCount, 0);
    EXPECT_EQ(mesh.vertexCount + mesh.indexCount + mesh.columns + mesh.rows, 0);
    EXPECT_EQ(mesh.publishedIndexCount.load(), 0);
    EXPECT_EQ(mesh.hasDetailLevels, 0);
    EXPECT_EQ(mesh.transposed, 0);
    EXPECT_EQ(mesh.texture1, nullptr);
    EXPECT_EQ(mesh.texture2, nullptr);
    EXPECT_EQ(mesh.loadState.load(), MeshLoadEmpty);
}
