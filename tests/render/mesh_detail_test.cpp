#include <gtest/gtest.h>

#include "mesh_test_support.h"
#include "render/mesh.h"

namespace {

// The quad with detail levels: vertex 3 (level 2) collapses into vertex 1 and removes
// triangle 1; the other vertices have no level.
void MakeLeveledQuad(CObjeto3D& mesh) {
    MakeQuad(mesh);
    mesh.hasDetailLevels = 1;
    mesh.detailLevel = 0;
    mesh.vertices[3].level = 2;
    mesh.vertices[3].parent = 1;
    mesh.vertices[3].triangleA = 1;
    mesh.vertices[3].triangleB = 1;
}

}  // namespace

TEST(MeshDetail, LevelsCollapseAndExpand) {
    struct Case {
        int level;
        bool present;
        int index5;
    };
    // Present while the vertex level is above the mesh level.
    const Case cases[] = {{1, true, 3}, {2, false, 1}, {5, false, 1}, {0, true, 3}};
    CObjeto3D mesh;
    MakeLeveledQuad(mesh);
    mesh.detailLevel = 9;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        mesh.SetDetailLevel(c.level);
        EXPECT_EQ(mesh.detailLevel, c.level);
        EXPECT_EQ((mesh.vertices[3].flags & MeshVertexPresent) != 0, c.present);
        EXPECT_EQ((mesh.triangleFlags[1] & MeshTrianglePresent) != 0, c.present);
        EXPECT_EQ(mesh.GetIndex(5, false), c.index5);
        EXPECT_EQ(mesh.GetIndex(5, true), 3);
        EXPECT_EQ(mesh.triangleFlags[0], MeshTrianglePresent) << "vertices without a level stay";
    }
}

TEST(MeshDetail, SameLevelOrNoLevelsDoNothing) {
    CObjeto3D mesh;
    MakeLeveledQuad(mesh);
    mesh.detailLevel = 3;
    mesh.SetDetailLevel(3);
    EXPECT_NE(mesh.vertices[3].flags & MeshVertexPresent, 0) << "at the current level";
    mesh.hasDetailLevels = 0;
    mesh.SetDetailLevel(7);
    EXPECT_NE(mesh.vertices[3].flags & MeshVertexPresent, 0) << "without levels";
    EXPECT_EQ(mesh.detailLevel, 3);
}

TEST(MeshDetail, DamagedLevelDataIsContained) {
    CObjeto3D mesh;
    MakeLeveledQuad(mesh);
    mesh.vertices[3].triangleA = 500;  // triangle numbers outside the mesh
    mesh.vertices[3].triangleB = -7;
    mesh.SetDetailLevel(4);
    EXPECT_EQ(mesh.detailLevel, 4);
    EXPECT_EQ(mesh.triangleFlags[1], MeshTrianglePresent);

    // A cycle of collapsed parents answers -1 instead of spinning.
    mesh.vertices[3].parent = 2;
    mesh.vertices[2].parent = 3;
    mesh.vertices[2].flags &= ~MeshVertexPresent;
    EXPECT_EQ(mesh.GetIndex(5, false), -1);
    EXPECT_EQ(mesh.GetTriangleVertex(5, false), nullptr);
    // A parent outside the vertices answers -1.
    mesh.vertices[3].parent = 4000;
    EXPECT_EQ(mesh.GetIndex(5, false), -1);
}
