#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "core/system_wrappers.h"
#include "mesh_test_support.h"
#include "render/mesh.h"

namespace {

int PieceCount(int length) {
    int pieces[kTexturePiecesMax];
    return SplitIntoPow2Pieces(length, 256, pieces, kTexturePiecesMax);
}

// Sub-meshes lie one after another and each tile's indices stay within its own vertices.
void ExpectConsistentTiles(const CObjeto3D& mesh) {
    int vertices = 0, indices = 0;
    for (int t = 0; t < mesh.subMeshCount; ++t) {
        SCOPED_TRACE(testing::Message() << "tile " << t);
        EXPECT_EQ(mesh.subIndexCount[t], mesh.subFullIndexCount[t]);
        EXPECT_EQ(mesh.subVertexCount[t], mesh.subFullVertexCount[t]);
        for (int slot = indices; slot < indices + mesh.subFullIndexCount[t]; ++slot) {
            const int index = mesh.GetIndex(slot, true);
            ASSERT_GE(index, vertices);
            ASSERT_LT(index, vertices + mesh.subFullVertexCount[t]);
        }
        vertices += mesh.subFullVertexCount[t];
        indices += mesh.subFullIndexCount[t];
    }
    EXPECT_EQ(vertices, mesh.vertexCount);
    EXPECT_EQ(indices, mesh.indexCount);
}

float TriangleAreaXZ(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
    return 0.5f * std::fabs((b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z));
}

// A vertex at texture coordinates (u, v) and position (x, y, 0).
MeshVertex Corner(float u, float v, float x, float y) {
    MeshVertex m = {};
    m.u = u;
    m.v = v;
    m.x = x;
    m.y = y;
    return m;
}

}  // namespace

TEST(GeometryTiled, TileCountsFollowTheTexturePieces) {
    struct Case {
        int type;
        int width, height;
    };
    const Case cases[] = {{2, 1000, 500}, {2, 300, 100}, {1, 256, 256}, {0, 100, 40},
                          {5, 2000, 1000}, {2, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.width << "x" << c.height);
        FakeTexture image(c.width, c.height, true);
        CObjeto3D mesh;
        mesh.texture1 = &image.sprite;
        ASSERT_TRUE(mesh.BuildTiledGeometry(c.type, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0));
        EXPECT_EQ(mesh.subMeshCount, PieceCount(c.width) * PieceCount(c.height));
        EXPECT_EQ(mesh.geometryType, c.type);
        EXPECT_EQ(mesh.loadState.load(), MeshLoaded);
        ExpectConsistentTiles(mesh);
    }
}

TEST(GeometryTiled, SharedTileBordersAreBitIdentical) {
    struct Case {
        int type;
        bool spherise;
    };
    const Case cases[] = {{2, false}, {1, false}, {0, true}, {0, false}, {5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " spherise " << c.spherise);
        FakeTexture image(1000, 700, true);
        CObjeto3D mesh;
        mesh.texture1 = &image.sprite;
        mesh.spherise = c.spherise;
        ASSERT_TRUE(mesh.BuildTiledGeometry(c.type, 123.456f, 77.7f, 99.9f, 0.1f, 1.9f, 0, 1, 0.4f, 0));
        // Pixel position (as reference coordinates) -> position, per tile.
        std::map<std::pair<float, float>, const MeshVertex*> seen;
        int shared = 0;
        for (int t = 0, first = 0; t < mesh.subMeshCount; first += mesh.subFullVertexCount[t], ++t) {
            std::map<std::pair<float, float>, const MeshVertex*> own;
            for (int i = first; i < first + mesh.subFullVertexCount[t]; ++i)
                own[{mesh.vertices[i].refU, mesh.vertices[i].refV}] = &mesh.vertices[i];
            for (const auto& entry : own) {
                auto found = seen.find(entry.first);
                if (found == seen.end()) {
                    seen.insert(entry);
                    continue;
                }
                ++shared;
                EXPECT_EQ(memcmp(&found->second->x, &entry.second->x, 3 * sizeof(float)), 0)
                    << "at " << entry.first.first << ", " << entry.first.second;
            }
        }
        EXPECT_GT(shared, 0);
    }
}

TEST(GeometryTiled, TileCoordinatesAreLocalToTheirPiece) {
    FakeTexture image(1000, 500, true);
    CObjeto3D mesh;
    mesh.texture1 = &image.sprite;
    ASSERT_TRUE(mesh.BuildTiledGeometry(2, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0));
    ASSERT_EQ(mesh.subMeshCount, 8);
    // The last tile of the first row covers pixels 768..1000 of a 256-pixel piece.
    int first = 0;
    for (int t = 0; t < 3; ++t)
        first += mesh.subFullVertexCount[t];
    float uMax = 0, refUMin = 1, refUMax = 0;
    for (int i = first; i < first + mesh.subFullVertexCount[3]; ++i) {
        uMax = std::max(uMax, mesh.vertices[i].u);
        refUMin = std::min(refUMin, mesh.vertices[i].refU);
        refUMax = std::max(refUMax, mesh.vertices[i].refU);
    }
    EXPECT_FLOAT_EQ(uMax, 232.0f / 256.0f);
    EXPECT_FLOAT_EQ(refUMin, 0.768f);
    EXPECT_FLOAT_EQ(refUMax, 1.0f);
    // The first tile is a full 256-pixel tile: the base resolution 120 / 4 + 1 columns,
    // 100 / 2 + 1 rows, with one pole row.
    EXPECT_EQ(mesh.subFullVertexCount[0], 31 * 51);
    EXPECT_EQ(mesh.subFullIndexCount[0], 3 * (2 * 30 * 50 - 30));
    // A 232-pixel tile: 256 / 232 = 1, so the same count.
    EXPECT_EQ(mesh.subFullVertexCount[3], 31 * 51);
}

// Tiling off: one power-of-two piece wider than 256 pixels takes the full base count.
TEST(GeometryTiled, AnUntiledTextureIsOneTileAtTheBaseResolution) {
    FakeTexture image(1000, 500, true);
    CObjeto3D mesh;
    mesh.texture1 = &image.sprite;
    mesh.tileOption = 0;
    ASSERT_TRUE(mesh.BuildTiledGeometry(2, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0));
    EXPECT_EQ(mesh.subMeshCount, 1);
    EXPECT_EQ(mesh.vertexCount, 121 * 101);
    float uMax = 0, vMax = 0;
    for (int i = 0; i < mesh.vertexCount; ++i) {
        uMax = std::max(uMax, mesh.vertices[i].u);
        vMax = std::max(vMax, mesh.vertices[i].v);
    }
    EXPECT_FLOAT_EQ(uMax, 1000.0f / 1024.0f);
    EXPECT_FLOAT_EQ(vMax, 500.0f / 512.0f);
}

TEST(GeometryTiled, PlanesWithoutATextureUseTheirSize) {
    CObjeto3D mesh;
    ASSERT_TRUE(mesh.BuildTiledGeometry(0, 600, 300, 0, 0, 1, 0, 1, 0.5f, 0));
    EXPECT_EQ(mesh.subMeshCount, PieceCount(600) * PieceCount(300));
    EXPECT_EQ(mesh.subFullVertexCount[0], 4) << "one quad per tile";
    EXPECT_EQ(mesh.subFullIndexCount[0], 6);
    EXPECT_EQ(mesh.vertices[0].x, -300.0f);
    EXPECT_EQ(mesh.vertices[0].z, 150.0f);
    EXPECT_EQ(mesh.vertices[3].x, -44.0f);  // pixel 256 of 600
    EXPECT_FALSE(mesh.BuildTiledGeometry(3, 600, 300, 0, 0, 1, 0, 1, 0.5f, 0)) << "discs are not tiled";
}

TEST(GeometryTiled, MirrorParitySwapsTheWindingAndTheColumns) {
    CObjeto3D plain, mirrored;
    mirrored.uFlip = 255;
    ASSERT_TRUE(plain.BuildTiledGeometry(1, 100, 100, 100, 0, 1, 0, 1, 0.5f, 0));
    ASSERT_TRUE(mirrored.BuildTiledGeometry(1, 100, 100, 100, 0, 1, 0, 1, 0.5f, 0));
    ASSERT_EQ(plain.indexCount, mirrored.indexCount);
    EXPECT_EQ(plain.GetIndex(0, true), mirrored.GetIndex(1, true));
    EXPECT_EQ(plain.GetIndex(1, true), mirrored.GetIndex(0, true));
    EXPECT_NEAR(plain.vertices[0].x, 100.0f, 1e-3f);
    EXPECT_NEAR(mirrored.vertices[0].x, -100.0f, 1e-3f) << "h runs from u last";
    CObjeto3D twice;
    twice.uFlip = twice.vFlip = 255;
    ASSERT_TRUE(twice.BuildTiledGeometry(1, 100, 100, 100, 0, 1, 0, 1, 0.5f, 0));
    EXPECT_EQ(twice.GetIndex(0, true), plain.GetIndex(0, true)) << "two flips cancel";
}

TEST(GeometrySplit, ATriangleCutByALine) {
    MeshVertex v[3] = {};
    v[0].u = 0;
    v[1].u = 1;
    v[2].u = 0;
    v[2].v = 1;
    v[1].x = 10;
    v[2].z = 10;
    v[1].diffuse = 0x000000FF;
    const int32_t triangle[3] = {0, 1, 2};
    MeshWorkList a, b;
    CObjeto3D::SplitTrianglesAtLine(v, 3, triangle, 3, &a, &b, 0.5f, 0);
    // A: v0, crossing 0-1, crossing 1-2, v2 (a quad, two triangles); B: crossing, v1, crossing.
    ASSERT_EQ(a.vertices.size(), 4u);
    ASSERT_EQ(b.vertices.size(), 3u);
    EXPECT_EQ(a.indices, (std::vector<int32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(b.indices, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_FLOAT_EQ(a.vertices[1].x, 5.0f);
    EXPECT_EQ(a.vertices[1].diffuse, 127u) << "colours are interpolated";
    EXPECT_FLOAT_EQ(b.vertices[2].x, 5.0f);
    EXPECT_FLOAT_EQ(b.vertices[2].z, 5.0f);
    EXPECT_NE(&a.vertices[1], &b.vertices[0]);

    // Along v, a line above the triangle keeps it whole in part A.
    MeshWorkList whole, none;
    CObjeto3D::SplitTrianglesAtLine(v, 3, triangle, 3, &whole, &none, 0, 1.5f);
    EXPECT_EQ(whole.indices.size(), 3u);
    EXPECT_TRUE(none.indices.empty());
    // A damaged index skips its triangle.
    const int32_t damaged[3] = {0, 1, 7};
    MeshWorkList c, d;
    CObjeto3D::SplitTrianglesAtLine(v, 3, damaged, 3, &c, &d, 0.5f, 0);
    EXPECT_TRUE(c.indices.empty() && d.indices.empty());
}

TEST(GeometrySplit, AModelSplitsAtTheTileLines) {
    FakeTexture image(300, 300, true);  // pieces 256 + 64 each way
    CObjeto3D mesh;
    MakeQuad(mesh);  // u = x / 10, v = z / 10
    mesh.texture1 = &image.sprite;
    mesh.ComputeBoundingCorners(nullptr, 0, &mesh.objectCorners);
    ASSERT_TRUE(mesh.SplitByTiles());
    ASSERT_EQ(mesh.subMeshCount, 4);
    EXPECT_EQ(mesh.keptVertexCount, 4);
    ExpectConsistentTiles(mesh);
    const float lines[3] = {0, 256.0f / 300.0f, 1.0f};
    float area = 0;
    for (int t = 0, first = 0, slot = 0; t < 4; first += mesh.subFullVertexCount[t], slot += mesh.subFullIndexCount[t], ++t) {
        SCOPED_TRACE(t);
        const int tx = t % 2, ty = t / 2;
        for (int i = first; i < first + mesh.subFullVertexCount[t]; ++i) {
            const MeshVertex& v = mesh.vertices[i];
            EXPECT_GE(v.refU, lines[tx] - 1e-5f);
            EXPECT_LE(v.refU, lines[tx + 1] + 1e-5f);
            EXPECT_GE(v.refV, lines[ty] - 1e-5f);
            EXPECT_LE(v.refV, lines[ty + 1] + 1e-5f);
            EXPECT_NEAR(v.x, v.refU * 10, 1e-4f) << "positions follow the cut";
            const float piece = tx == 0 ? 256.0f : 64.0f;
            EXPECT_NEAR(v.u, (v.refU * 300 - tx * 256) / piece, 1e-4f);
        }
        for (int s = slot; s < slot + mesh.subFullIndexCount[t]; s += 3)
            area += TriangleAreaXZ(*mesh.GetTriangleVertex(s, true), *mesh.GetTriangleVertex(s + 1, true),
                                   *mesh.GetTriangleVertex(s + 2, true));
    }
    EXPECT_NEAR(area, 100.0f, 1e-3f) << "the tiles cover the quad once";

    mesh.FreeSubMeshes();
    EXPECT_EQ(mesh.subMeshCount, 0);
    EXPECT_EQ(mesh.vertexCount, 4);
    EXPECT_EQ(mesh.indexCount, 6);
    EXPECT_EQ(mesh.vertices[3].u, 1.0f);
}

// A tile lying wholly inside one triangle is one rectangle of two triangles; a tile the quad's
// diagonal crosses holds one fanned piece on each side of it. Nothing thinner is made.
TEST(GeometrySplit, TilesGetWholePiecesWithoutSlivers) {
    struct Case {
        int size;
        std::vector<int> triangles;  // per tile, row by row
    };
    const Case cases[] = {
        // The diagonal runs through tile corners.
        {1024, std::vector<int>(16, 2)},
        // Pieces of 256 and 64: the diagonal cuts the corner tiles' insides.
        {300, {4, 3, 3, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        FakeTexture image(c.size, c.size, true);
        CObjeto3D mesh;
        MakeQuad(mesh);
        mesh.texture1 = &image.sprite;
        ASSERT_TRUE(mesh.SplitByTiles());
        ASSERT_EQ(mesh.subMeshCount, static_cast<int>(c.triangles.size()));
        ExpectConsistentTiles(mesh);
        float area = 0;
        for (int t = 0, slot = 0; t < mesh.subMeshCount; slot += mesh.subFullIndexCount[t], ++t) {
            SCOPED_TRACE(t);
            EXPECT_EQ(mesh.subFullIndexCount[t], 3 * c.triangles[t]);
            for (int s = slot; s < slot + mesh.subFullIndexCount[t]; s += 3) {
                const float a = TriangleAreaXZ(*mesh.GetTriangleVertex(s, true),
                                               *mesh.GetTriangleVertex(s + 1, true),
                                               *mesh.GetTriangleVertex(s + 2, true));
                EXPECT_GT(a, 1e-3f) << "triangle " << (s - slot) / 3;
                area += a;
            }
        }
        EXPECT_NEAR(area, 100.0f, 1e-3f);
    }
}

// Two triangles walk their common edge in opposite directions; both must get the very same
// crossing vertex, or the rasteriser may leave a crack of pixels between them.
TEST(GeometrySplit, ACommonEdgeIsCutAtTheSamePointFromBothSides) {
    const MeshVertex p = Corner(0.17f, 0, 2305.0f / 37.0f, 0), q = Corner(0.996f, 0, 25.0f, 0);
    const MeshVertex r = Corner(0.9f, 1.0f, 0, 1.0f), s = Corner(0.9f, -1.0f, 0, 1.0f);
    const MeshVertex vertices[4] = {p, q, r, s};
    const int32_t forwards[3] = {0, 1, 2};   // p to q
    const int32_t backwards[3] = {1, 0, 3};  // q to p
    const MeshVertex* crossing[2] = {};
    MeshWorkList a[2], b[2];
    CObjeto3D::SplitTrianglesAtLine(vertices, 4, forwards, 3, &a[0], &b[0], 0.281f, 0);
    CObjeto3D::SplitTrianglesAtLine(vertices, 4, backwards, 3, &a[1], &b[1], 0.281f, 0);
    for (int k = 0; k < 2; ++k) {
        for (const MeshVertex& v : a[k].vertices)
            if (v.y == 0 && v.u > p.u)
                crossing[k] = &v;  // on the common edge, not p itself
        ASSERT_NE(crossing[k], nullptr) << k;
    }
    EXPECT_EQ(crossing[0]->x, crossing[1]->x);
    EXPECT_EQ(crossing[0]->u, crossing[1]->u);
    EXPECT_EQ(crossing[0]->v, crossing[1]->v);
}

// A corner lying on the line belongs to both sides as it is; the side it only touches gets no
// piece; a triangle lying on the line is not lost.
TEST(GeometrySplit, ACornerOnTheLineIsSharedAsItIs) {
    const MeshVertex v[6] = {Corner(0.25f, 0, 3.0f, 0), Corner(0.75f, 1.0f, 0, 0), Corner(0, 1.0f, 0, 0),
                             Corner(0.5f, 2.0f, 0, 0), Corner(0.25f, 1.0f, 1.0f, 0),
                             Corner(0.25f, 2.0f, 0, 1.0f)};  // the first and the last two on the line
    const int32_t across[3] = {0, 1, 2};   // v1 and v2 on either side
    const int32_t touching[3] = {0, 1, 3};  // only touches the line
    const int32_t lying[3] = {0, 4, 5};     // wholly on the line, as a model's edge-on texture
    MeshWorkList a, b;
    CObjeto3D::SplitTrianglesAtLine(v, 4, across, 3, &a, &b, 0.25f, 0);
    ASSERT_EQ(a.indices.size(), 3u) << "one triangle each side, no doubled corner";
    ASSERT_EQ(b.indices.size(), 3u);
    EXPECT_EQ(a.vertices[0].x, 3.0f);
    EXPECT_EQ(b.vertices[0].x, 3.0f);
    MeshWorkList c, d;
    CObjeto3D::SplitTrianglesAtLine(v, 4, touching, 3, &c, &d, 0.25f, 0);
    EXPECT_TRUE(c.indices.empty());
    EXPECT_EQ(d.indices.size(), 3u);
    MeshWorkList e, f;
    CObjeto3D::SplitTrianglesAtLine(v, 6, lying, 3, &e, &f, 0.25f, 0);
    EXPECT_EQ(e.indices.size(), 3u) << "kept once, below";
    EXPECT_TRUE(f.indices.empty());
}

TEST(GeometrySplit, AShapeIsRebuiltTiledAndItsSingleFormKept) {
    FakeTexture image(1000, 500, true);
    CObjeto3D mesh;
    mesh.BuildGeometry(2, 20, 10, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0, true);
    mesh.texture1 = &image.sprite;
    mesh.loadState = MeshLoaded;
    ASSERT_TRUE(mesh.PrepareForBackEnd(MeshFormTiledD3D9));
    EXPECT_EQ(mesh.form, MeshFormTiledD3D9);
    EXPECT_EQ(mesh.subMeshCount, 8);
    EXPECT_EQ(mesh.keptVertexCount, 200);
    ExpectConsistentTiles(mesh);
    mesh.FreeSubMeshes();
    EXPECT_EQ(mesh.vertexCount, 200);
}

TEST(GeometrySplit, OneTileScalesIntoThePowerOfTwoTexture) {
    FakeTexture image(300, 100, false);
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.geometryType = 3;
    mesh.texture1 = &image.sprite;
    ASSERT_TRUE(mesh.SplitByTiles());
    EXPECT_EQ(mesh.subMeshCount, 1);
    EXPECT_EQ(mesh.subFullVertexCount[0], 4);
    EXPECT_FLOAT_EQ(mesh.vertices[3].u, 300.0f / 512.0f);
    EXPECT_FLOAT_EQ(mesh.vertices[3].v, 100.0f / 128.0f);
    EXPECT_EQ(mesh.vertices[3].refU, 1.0f);
}

TEST(GeometrySplit, NoSplitWithoutAReadyOrWithAHugeTexture) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    EXPECT_FALSE(mesh.SplitByTiles()) << "no texture";
    FakeTexture huge(33000, 100, true);
    mesh.texture1 = &huge.sprite;
    EXPECT_FALSE(mesh.SplitByTiles());
    CSprite empty;
    mesh.texture1 = &empty;
    EXPECT_FALSE(mesh.SplitByTiles()) << "nothing loaded yet";
    EXPECT_EQ(mesh.subMeshCount, 0);
    EXPECT_EQ(mesh.vertexCount, 4);
}

// More than 400,000 result vertices: the work lists grow.
TEST(GeometrySplit, LargeModelsSplitWithoutAFixedLimit) {
    FakeTexture image(600, 600, true);
    CObjeto3D mesh;
    mesh.BuildGeometry(0, 300, 300, 100, 100, 0, 0, 1, 0, 1, 0.5f, 0, true);
    mesh.geometryType = -1;  // split as a model
    mesh.texture1 = &image.sprite;
    ASSERT_TRUE(mesh.SplitByTiles());
    EXPECT_EQ(mesh.subMeshCount, PieceCount(600) * PieceCount(600));
    EXPECT_GT(mesh.vertexCount, 400000);
    EXPECT_EQ(mesh.indexWidth, 4);
    ExpectConsistentTiles(mesh);
}

// A mesh that goes back to the software back end must draw its single form again, with the
// whole image's texture coordinates, not the tiles' own.
TEST(GeometrySplit, TheSoftwareFormGetsTheSingleFormBack) {
    struct Case {
        bool tiled;
        int type;
    };
    const Case cases[] = {{true, -1}, {false, 3}, {true, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tiled " << c.tiled << " type " << c.type);
        FakeTexture image(300, 100, c.tiled);
        CObjeto3D mesh;
        if (c.type == 2)
            mesh.BuildGeometry(2, 6, 4, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0, true);
        else
            MakeQuad(mesh);
        mesh.geometryType = static_cast<int8_t>(c.type);
        mesh.texture1 = &image.sprite;
        mesh.loadState = MeshLoaded;
        const int vertices = mesh.vertexCount;
        const float u = mesh.vertices[vertices - 1].u;
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(mesh.PrepareForBackEnd(MeshFormTiledOpenGL));
            EXPECT_GT(mesh.subMeshCount, 0);
            ASSERT_TRUE(mesh.PrepareForBackEnd(MeshFormSingle));
            EXPECT_EQ(mesh.subMeshCount, 0);
            EXPECT_EQ(mesh.vertexCount, vertices);
            EXPECT_EQ(mesh.vertices[vertices - 1].u, u) << "round " << round;
        }
    }
}
