#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "images/sprite.h"
#include "render/mesh.h"

namespace {

std::vector<int> Triangles(const CObjeto3D& mesh) {
    std::vector<int> out;
    for (int slot = 0; slot < mesh.indexCount; ++slot)
        out.push_back(mesh.GetIndex(slot, true));
    return out;
}

void Build(CObjeto3D& mesh, int type, int columns, int rows, float vFirst = 0, float vLast = 1.0f,
           float sizeZ = 100.0f) {
    mesh.BuildGeometry(type, columns, rows, 100.0f, 100.0f, sizeZ, 0.0f, 2.0f, vFirst, vLast, 0.5f,
                       0.0f, true);
}

bool OnThousandths(float x) {
    const double scaled = static_cast<double>(x) * 1000.0;
    return std::fabs(scaled - std::round(scaled)) < 1e-2;
}

}  // namespace

TEST(GeometryShapes, IndexCountsByTypeAndPoles) {
    struct Case {
        int type;
        int columns, rows;
        float vFirst, vLast;
        int indices;
    };
    const Case cases[] = {
        {0, 5, 4, 0, 1, 3 * 4 * 6},
        {1, 5, 4, 0, 1, 3 * 4 * 6},
        {2, 5, 4, 0, 1, 3 * (2 * 3 * 4 - 4 - 4)},  // both poles: (R - 1) x C x 6
        {2, 5, 4, 0.1f, 1, 3 * (2 * 3 * 4 - 4)},
        {5, 5, 4, 0, 0.9f, 3 * (2 * 3 * 4 - 4)},
        {6, 5, 4, 0.1f, 0.9f, 3 * 2 * 3 * 4},
        {3, 5, 4, 0, 1, 3 * (2 * 3 * 4 - 4)},
        {4, 5, 4, 0.2f, 1, 3 * 2 * 3 * 4},
        {2, 3, 3, 0, 1, 12},  // four triangles, all pole fans
        {2, 1, 4, 0, 1, 0},   // fewer than 2 columns: no triangles
        {0, 4, 1, 0, 1, 0},
        {7, 4, 4, 0, 1, 0},   // no such shape
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " " << c.columns << "x" << c.rows);
        CObjeto3D mesh;
        Build(mesh, c.type, c.columns, c.rows, c.vFirst, c.vLast);
        EXPECT_EQ(mesh.indexCount, c.indices);
        EXPECT_EQ(mesh.vertexCount, c.columns * c.rows);
        EXPECT_EQ(mesh.loadState.load(), MeshLoaded);
        EXPECT_EQ(mesh.geometryType, c.type);
        for (int index : Triangles(mesh))
            EXPECT_LT(index, mesh.vertexCount);
    }
}

TEST(GeometryShapes, SphereWithBothPolesIsAllFans) {
    CObjeto3D mesh;
    Build(mesh, 2, 3, 3);
    const std::vector<int> expected = {0, 4, 3, 1, 5, 4, 3, 4, 7, 4, 5, 8};
    EXPECT_EQ(Triangles(mesh), expected);
    // Poles at the top and bottom of the sphere of radius 100.
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(mesh.vertices[k].y, 100.0f, 1e-3f);
        EXPECT_NEAR(mesh.vertices[k].x, 0.0f, 1e-3f);
        EXPECT_NEAR(mesh.vertices[6 + k].y, -100.0f, 1e-3f);
    }
    // Equator: around the full turn (u first 0, u last 2).
    EXPECT_NEAR(mesh.vertices[3].x, 100.0f, 1e-3f);
    EXPECT_NEAR(mesh.vertices[4].x, -100.0f, 1e-3f);
    EXPECT_NEAR(mesh.vertices[4].y, 0.0f, 1e-3f);
    EXPECT_EQ(mesh.vertices[4].v, 0.5f);
    EXPECT_EQ(mesh.vertices[4].u, 0.5f);
    EXPECT_EQ(mesh.vertices[4].diffuse, 0xFFFFFFFFu);
}

// With one row of cells and both poles closed the Part's count is 0, yet each cell gets a pole
// triangle: the count must cover what is written.
TEST(GeometryShapes, OneCellRowSphereCountsItsTriangles) {
    CObjeto3D mesh;
    Build(mesh, 2, 3, 2);
    EXPECT_EQ(mesh.indexCount, 6);
    const std::vector<int> expected = {0, 4, 3, 1, 5, 4};
    EXPECT_EQ(Triangles(mesh), expected);
}

TEST(GeometryShapes, PlanesAreRegularOrStaggered) {
    CObjeto3D flat;
    Build(flat, 0, 3, 3, 0, 1, 0.0f);
    // x from -50 to 50 across, z from 50 down to -50.
    EXPECT_EQ(flat.vertices[0].x, -50.0f);
    EXPECT_EQ(flat.vertices[0].z, 50.0f);
    EXPECT_EQ(flat.vertices[5].x, 50.0f);
    EXPECT_EQ(flat.vertices[5].z, 0.0f);
    EXPECT_EQ(flat.vertices[8].z, -50.0f);
    const std::vector<int> regular = {0, 4, 3, 0, 1, 4, 1, 5, 4, 1, 2, 5,
                                      3, 7, 6, 3, 4, 7, 4, 8, 7, 4, 5, 8};
    EXPECT_EQ(Triangles(flat), regular);

    CObjeto3D staggered;
    Build(staggered, 0, 3, 3, 0, 1, 10.0f);
    EXPECT_EQ(staggered.vertices[3].x, -60.0f) << "odd rows shift by -size z";
    EXPECT_EQ(staggered.vertices[6].x, -50.0f);
    const std::vector<int> other = {0, 4, 3, 0, 1, 4, 1, 5, 4, 1, 2, 5,
                                    3, 4, 6, 4, 7, 6, 4, 5, 7, 5, 8, 7};
    EXPECT_EQ(Triangles(staggered), other);
}

TEST(GeometryShapes, GridBorderFlags) {
    CObjeto3D mesh;
    Build(mesh, 0, 3, 3, 0, 1, 0.0f);
    const uint8_t expected[9] = {0x13, 0x03, 0x07, 0x11, 0x01, 0x05, 0x19, 0x09, 0x0D};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(mesh.vertices[i].flags, expected[i]) << "vertex " << i;
}

TEST(GeometryShapes, CylinderAndDiscs) {
    CObjeto3D cylinder;
    // Half turn (u 0..1), heights from v 0..1 around centre 0.5, size z 40.
    cylinder.BuildGeometry(1, 3, 2, 100, 50, 40, 0, 1, 0, 1, 0.5f, 0, true);
    EXPECT_EQ(cylinder.vertices[0].x, 100.0f);
    EXPECT_EQ(cylinder.vertices[0].y, 20.0f);
    EXPECT_EQ(cylinder.vertices[1].z, 50.0f);
    EXPECT_EQ(cylinder.vertices[2].x, -100.0f);
    EXPECT_EQ(cylinder.vertices[3].y, -20.0f);

    CObjeto3D disc;
    disc.BuildGeometry(3, 5, 3, 100, 100, 0, 0, 2, 0, 1, 0.5f, 0, true);
    EXPECT_EQ(disc.vertices[0].z, 100.0f) << "row 0 is the rim";
    EXPECT_EQ(disc.vertices[1].x, 100.0f);
    EXPECT_EQ(disc.vertices[5].z, 50.0f);
    EXPECT_EQ(disc.vertices[10].x, 0.0f) << "the last row is the centre";
    EXPECT_EQ(disc.vertices[10].z, 0.0f);
    EXPECT_EQ(disc.indexCount, 3 * (2 * 2 * 4 - 4));
    const std::vector<int> tris = Triangles(disc);
    EXPECT_EQ(std::vector<int>(tris.end() - 3, tris.end()), (std::vector<int>{8, 9, 14}));

    CObjeto3D remapped;
    remapped.BuildGeometry(4, 5, 3, 100, 100, 0, 0, 2, 0, 1, 0.5f, 0, true);
    EXPECT_NEAR(remapped.vertices[5].z, 100.0f * (1.0f - sinf(0.25f * static_cast<float>(M_PI))), 1e-3f);
    EXPECT_EQ(remapped.vertices[0].z, 100.0f);
}

TEST(GeometryShapes, FisheyeWithoutATextureUsesAHugeImage) {
    CObjeto3D mesh;
    mesh.fisheyeCenterX = 50000;
    mesh.fisheyeCenterY = 50000;
    mesh.fisheyeOuter = 40000;
    mesh.fisheyeInner = 0;
    Build(mesh, 5, 5, 3);
    // Row 0 is the outer ring; column k sits at angle (2 + k) x 2 / 4 x pi.
    EXPECT_NEAR(mesh.vertices[0].u, 0.9f, 1e-5f);  // angle pi: centre + ring
    EXPECT_NEAR(mesh.vertices[0].v, 0.5f, 1e-5f);
    EXPECT_NEAR(mesh.vertices[1].v, 0.9f, 1e-5f);  // angle 3pi/2
    EXPECT_NEAR(mesh.vertices[2].u, 0.1f, 1e-5f);  // angle 2pi
    EXPECT_NEAR(mesh.vertices[12].u, 0.5f, 1e-5f);  // inner radius 0: the centre
    EXPECT_EQ(mesh.vertices[1].refV, mesh.vertices[1].v);

    CSprite image;
    image.width = 1000;
    image.height = 500;
    CObjeto3D textured;
    textured.texture1 = &image;
    textured.fisheyeCenterX = 500;
    textured.fisheyeCenterY = 250;
    textured.fisheyeOuter = 200;
    Build(textured, 5, 5, 3);
    EXPECT_NEAR(textured.vertices[0].u, 0.7f, 1e-5f);
    EXPECT_NEAR(textured.vertices[1].v, 0.9f, 1e-5f);
}

TEST(GeometryShapes, VerticalScaleAboveOne) {
    CObjeto3D mesh;
    Build(mesh, 2, 3, 5, 0, 2.0f);
    EXPECT_EQ(mesh.vLast, 1.0f);
    EXPECT_FLOAT_EQ(mesh.vertices[3 * 4].v, 0.5f) << "the texture covers half the height";
    EXPECT_FLOAT_EQ(mesh.vertices[3 * 2].v, 0.25f);
}

TEST(GeometryShapes, FlipVerticalMirrorsHeightAndWinding) {
    CObjeto3D mesh;
    mesh.flipVertical = 1;
    Build(mesh, 2, 3, 3);
    EXPECT_NEAR(mesh.vertices[0].y, -100.0f, 1e-3f);
    const std::vector<int> expected = {4, 0, 3, 5, 1, 4, 4, 3, 7, 5, 4, 8};
    EXPECT_EQ(Triangles(mesh), expected);
}

TEST(GeometryShapes, BumpRaisesTheRadiusAtItsCentre) {
    CObjeto3D mesh;
    mesh.bumpEnabled = 1;
    mesh.bumpAmplitude = 1.0f;
    mesh.bumpWidth = 180.0f;
    mesh.bumpSigma = 0.2f;
    // u 0..2 (a full turn) and v 0..1: the bump's centre is at column 2, row 2 of 5 x 5.
    mesh.BuildGeometry(2, 5, 5, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0, true);
    EXPECT_NEAR(mesh.vertices[12].x, -200.0f, 1e-3f);
    EXPECT_NEAR(mesh.vertices[12].y, 0.0f, 1e-3f);
    // A quarter turn away (column 1, bx = -0.5) it has faded to exp(-(0.5^2) / 0.08).
    const float faded = 100.0f + 100.0f * expf(-0.25f / 0.08f);
    EXPECT_NEAR(mesh.vertices[11].z, faded, 1e-2f);
}

TEST(GeometryShapes, PolarSphereWidensTowardsThePoles) {
    CObjeto3D mesh;
    mesh.BuildGeometry(6, 5, 5, 100, 100, 100, 0, 2, 0, 1, 0.5f, 0, true);
    EXPECT_NEAR(mesh.vertices[0].x, 150.0f, 1e-3f) << "at the pole the radius is 1.5 x size";
    EXPECT_NEAR(mesh.vertices[10].x, 100.0f, 1e-3f);
    EXPECT_NEAR(mesh.vertices[0].y, 100.0f, 1e-3f);
}

TEST(GeometryShapes, AngleOffsetTurnsTheColumns) {
    CObjeto3D mesh;
    mesh.BuildGeometry(2, 5, 3, 100, 100, 100, 0, 2, 0, 1, 0.5f, 90.0f, true);
    EXPECT_NEAR(mesh.vertices[5].x, 0.0f, 1e-3f);
    EXPECT_NEAR(mesh.vertices[5].z, 100.0f, 1e-3f);
    EXPECT_EQ(mesh.vertices[5].u, 0.0f) << "texture coordinates stay";
}

TEST(GeometryShapes, RebuildOffMovesVerticesOnly) {
    CObjeto3D mesh;
    Build(mesh, 2, 5, 4, 0.1f, 0.9f);
    const std::vector<int> before = Triangles(mesh);
    const float u = mesh.vertices[7].u, v = mesh.vertices[7].v, x = mesh.vertices[7].x;
    mesh.BuildGeometry(2, 9, 9, 200.0f, 200.0f, 200.0f, 0.0f, 2.0f, 0.1f, 0.9f, 0.5f, 0.0f, false);
    EXPECT_EQ(mesh.vertexCount, 20) << "the grid stays";
    EXPECT_EQ(Triangles(mesh), before);
    EXPECT_EQ(mesh.vertices[7].u, u);
    EXPECT_EQ(mesh.vertices[7].v, v);
    EXPECT_NEAR(mesh.vertices[7].x, 2 * x, 2e-3f);
    EXPECT_EQ(mesh.sizeX, 200.0f);
}

TEST(GeometryShapes, PositionsOnThousandths) {
    CObjeto3D mesh;
    mesh.BuildGeometry(2, 13, 7, 123.4567f, 98.7654f, 111.1111f, 0.1f, 1.7f, 0.05f, 0.95f, 0.5f,
                       13.0f, true);
    for (int i = 0; i < mesh.vertexCount; ++i) {
        EXPECT_TRUE(OnThousandths(mesh.vertices[i].x)) << i;
        EXPECT_TRUE(OnThousandths(mesh.vertices[i].y)) << i;
        EXPECT_TRUE(OnThousandths(mesh.vertices[i].z)) << i;
    }
}

TEST(GeometryShapes, FewerThanTwoColumnsRefreshBoxAndWorldOnly) {
    CObjeto3D mesh;
    mesh.posX = 7;
    Build(mesh, 0, 1, 5);
    EXPECT_EQ(mesh.indexCount, 0);
    EXPECT_EQ(mesh.loadState.load(), MeshLoaded);
    EXPECT_EQ(mesh.xMin, 7.0f);
}

// A 256 x 256 grid has 65,536 vertices and 16-bit indices; mirrored triangles start at the
// last vertex and must not read as removed.
TEST(GeometryShapes, LargestSixteenBitGridKeepsEveryTriangle) {
    CObjeto3D mesh;
    mesh.flipVertical = 1;
    mesh.BuildGeometry(2, 256, 256, 100, 100, 100, 0, 2, 0.1f, 0.9f, 0.5f, 0, true);
    ASSERT_EQ(mesh.indexWidth, 2);
    ASSERT_EQ(mesh.indexCount, 255 * 255 * 6);
    for (int slot = 0; slot < mesh.indexCount; slot += 3)
        ASSERT_FALSE(mesh.IsTriangleRemoved(slot)) << "slot " << slot;
    const int last = mesh.indexCount - 3;
    EXPECT_EQ(mesh.GetIndex(last + 2, true), 65535) << "rotated, same winding";
}

TEST(GeometryRibbon, ShapeOfTwoPoints) {
    CObjeto3D ribbon;
    const float points[6] = {0, 0, 0, 10, 0, 0};  // heading 0 (along +x)
    ASSERT_TRUE(ribbon.BuildRibbon(points, 2, 0x00123456u, 4.0f));
    EXPECT_EQ(ribbon.vertexCount, 6);
    EXPECT_EQ(ribbon.indexCount, 12);
    EXPECT_EQ(ribbon.loadState.load(), MeshLoaded);
    // Side rows 2 above, 0.75 width to either side; the middle width + 2 above.
    EXPECT_NEAR(ribbon.vertices[0].z, 3.0f, 1e-3f);
    EXPECT_NEAR(ribbon.vertices[0].y, 2.0f, 1e-3f);
    EXPECT_NEAR(ribbon.vertices[1].x, 10.0f, 1e-3f);
    EXPECT_NEAR(ribbon.vertices[1].z, 3.0f, 1e-3f) << "the last point uses the previous heading";
    EXPECT_NEAR(ribbon.vertices[2].y, 6.0f, 1e-3f);
    EXPECT_NEAR(ribbon.vertices[2].z, 0.0f, 1e-3f);
    EXPECT_NEAR(ribbon.vertices[4].z, -3.0f, 1e-3f);
    EXPECT_EQ(ribbon.vertices[4].diffuse, 0xFF123456u);
    const std::vector<int> expected = {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4};
    EXPECT_EQ(Triangles(ribbon), expected);
}

TEST(GeometryRibbon, FewerThanTwoPointsGiveAnEmptyLoadedMesh) {
    for (int count : {0, 1}) {
        SCOPED_TRACE(count);
        CObjeto3D ribbon;
        const float point[3] = {1, 2, 3};
        EXPECT_FALSE(ribbon.BuildRibbon(point, count, 0xFFFFFF, 2.0f));
        EXPECT_EQ(ribbon.vertexCount, 0);
        EXPECT_EQ(ribbon.indexCount, 0);
        EXPECT_EQ(ribbon.loadState.load(), MeshLoaded);
    }
}
