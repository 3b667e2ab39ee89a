// The software rasteriser's entry points on the render device: culling, transforming and
// drawing index ranges of a mesh into a frame the test owns.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "images/sprite.h"
#include "render/mesh.h"
#include "render/raster_pipeline.h"
#include "render/render_device.h"

namespace {

constexpr int kSize = 32;

// A device whose render parameters point at a 32 x 32 frame of 32 bits; clip = (x, y, z - 1, z),
// so w and the view distance are the world z and screen positions are x / z, y / z.
struct RasterDevice {
    CObjeto2D device;
    std::vector<uint32_t> frame = std::vector<uint32_t>(kSize * kSize, 0);

    RasterDevice() {
        RenderParams* p = device.params;
        p->pixels = reinterpret_cast<uint8_t*>(frame.data());
        p->bitsPerPixel = 32;
        p->bytesPerPixel = 4;
        p->stride = kSize * 4;
        p->width = p->height = kSize;
        p->clipX0 = p->clipY0 = 0;
        p->clipX1 = p->clipY1 = kSize - 1;
        p->stateBits = 0x834B86;  // default states without culling: no facing test
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
        std::memcpy(device.matrices.worldToScreen, m, sizeof(m));
        device.culling = 0;
    }
    uint32_t At(int x, int y) const { return frame[static_cast<size_t>(y) * kSize + x]; }
};

// A square of two triangles at depth 2 covering screen (2, 2) .. (20, 20).
struct SquareMesh {
    CObjeto3D mesh;
    SquareMesh() {
        EXPECT_TRUE(mesh.AllocateArrays(4, 6, true, true));
        const float corners[4][2] = {{4, 4}, {40, 4}, {40, 40}, {4, 40}};
        for (int i = 0; i < 4; ++i) {
            MeshVertex& v = mesh.vertices[i];
            v.x = corners[i][0];
            v.y = corners[i][1];
            v.z = 2;
            v.u = i == 1 || i == 2 ? 1.0f : 0.0f;
            v.v = i >= 2 ? 1.0f : 0.0f;
            v.diffuse = 0xFFFFFFFF;
        }
        mesh.SetTriangle(0, 0, 1, 2);
        mesh.SetTriangle(3, 0, 2, 3);
        mesh.UpdateWorldVertices();
        mesh.renderFlags |= MeshRenderTextured;
    }
};

struct Tile {
    CSprite sprite;
    explicit Tile(uint32_t colour) {
        EXPECT_TRUE(sprite.Create(4, 4, 32, true, 0, false, true, false));
        for (int i = 0; i < 16; ++i)
            std::memcpy(sprite.pixels + 4 * i, &colour, 4);
    }
};

TEST(RasterMesh, TransformFillsTheScreenVerticesOfUsedVertices) {
    RasterDevice d;
    SquareMesh square;
    d.device.TransformVertices(&square.mesh);
    ASSERT_GE(d.device.params->screenVertexCapacity, 4);
    const ScreenVertex* s = d.device.params->screenVertices;
    EXPECT_FLOAT_EQ(s[0].sx, 2);
    EXPECT_FLOAT_EQ(s[2].sx, 20);
    EXPECT_FLOAT_EQ(s[2].sy, 20);
    EXPECT_FLOAT_EQ(s[1].depth, 2);  // z - 1 + near
    EXPECT_FLOAT_EQ(s[1].u, 1);
    // With triangle culling only the vertices marked used are transformed again.
    d.device.culling = 1;
    square.mesh.cullTriangles = 1;
    d.device.params->screenVertices[3].outcode = 0;
    d.device.params->screenVertices[3].sx = -7;
    d.device.params->screenVertices[0].outcode = kOutcodeUsed;
    square.mesh.vertices[0].wx = 8;
    square.mesh.vertices[3].wx = 8;
    d.device.TransformVertices(&square.mesh);
    EXPECT_FLOAT_EQ(s[0].sx, 4);
    EXPECT_FLOAT_EQ(s[3].sx, -7);
}

TEST(RasterMesh, DrawsAnIndexRangeWithItsTile) {
    RasterDevice d;
    SquareMesh square;
    Tile tile(0x00336699);
    d.device.TransformVertices(&square.mesh);
    EXPECT_TRUE(d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 6, square.mesh.triangleFlags,
                                       &tile.sprite, nullptr, 100, 0));
    EXPECT_EQ(d.At(10, 10), 0x00336699u);
    EXPECT_EQ(d.At(1, 10), 0u);
    EXPECT_EQ(d.At(2, 2), 0x00336699u);
    EXPECT_EQ(d.At(19, 19), 0x00336699u);
    EXPECT_EQ(d.At(20, 10), 0u);
    EXPECT_EQ(d.At(10, 20), 0u);
    // The first triangle only.
    std::fill(d.frame.begin(), d.frame.end(), 0);
    EXPECT_TRUE(d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 3, square.mesh.triangleFlags,
                                       &tile.sprite, nullptr, 100, 0));
    EXPECT_NE(d.At(18, 4), 0u);
    EXPECT_EQ(d.At(4, 18), 0u);
}

TEST(RasterMesh, RangesThatCannotDrawAnswerFalse) {
    RasterDevice d;
    SquareMesh square;
    Tile tile(0x00FFFFFF);
    d.device.TransformVertices(&square.mesh);
    struct Row {
        const char* name;
        int first, count;
        bool texture;
    };
    const Row rows[] = {
        {"fewer than three indices", 0, 2, true},
        {"first index beyond the list", 6, 3, true},
        {"textured without a tile", 0, 6, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(d.device.RasteriseMesh(&square.mesh, d.device.params, row.first, row.count,
                                            square.mesh.triangleFlags, row.texture ? &tile.sprite : nullptr,
                                            nullptr, 100, 0));
    }
    for (uint32_t p : d.frame)
        EXPECT_EQ(p, 0u);
}

TEST(RasterMesh, CullingKeepsTrianglesFacingTheEyeInsideThePlanes) {
    RasterDevice d;
    SquareMesh square;
    // Planes x > 0 and x < 30 (world), the rest open; the eye at the origin.
    float planes[6][4] = {{1, 0, 0, 0}, {-1, 0, 0, 30}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}};
    std::memcpy(d.device.planes3D, planes, sizeof(planes));
    d.device.activePlanes = d.device.planes3D;
    std::memset(d.device.matrices.inverseView, 0, sizeof(d.device.matrices.inverseView));
    d.device.culling = 1;
    int32_t kept = d.device.CullTriangles(&square.mesh);
    // Whether each triangle faces the eye follows its winding; the eye sees one side of both.
    const float* n = square.mesh.faceNormals;
    bool facing = (square.mesh.vertices[0].wx * n[0] + square.mesh.vertices[0].wy * n[1] +
                   square.mesh.vertices[0].wz * n[2]) <= 0;
    EXPECT_EQ(kept, facing ? 2 : 0);
    EXPECT_EQ((square.mesh.triangleFlags[0] & MeshTriangleVisible) != 0, facing);
    if (facing) {
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(d.device.params->screenVertices[i].outcode & kOutcodeUsed);
        // x = 40 lies beyond the plane x < 30.
        EXPECT_EQ(d.device.params->screenVertices[1].outcode & kOutcodePlanes, 0x10);
    }
    // A vertex that a detail level collapsed is outside every plane.
    square.mesh.vertices[3].flags = 0;
    d.device.CullTriangles(&square.mesh);
    EXPECT_EQ(d.device.params->screenVertices[3].outcode & kOutcodePlanes, kOutcodePlanes);
}

TEST(RasterMesh, WireframeDrawsNoSpans) {
    RasterDevice d;
    d.device.params->stateBits = (d.device.params->stateBits & ~3u) | 1u;  // FillMode 1
    SquareMesh square;
    square.mesh.renderFlags |= 1;
    Tile tile(0x00FFFFFF);
    d.device.TransformVertices(&square.mesh);
    d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 6, square.mesh.triangleFlags, &tile.sprite, nullptr,
                           100, 0);
    for (uint32_t p : d.frame)
        EXPECT_EQ(p, 0u);
}

TEST(RasterMesh, SpanRoutinesAreCachedOnTheDevice) {
    RasterDevice d;
    SquareMesh square;
    Tile tile(0x00FFFFFF);
    d.device.TransformVertices(&square.mesh);
    d.device.spanCount = 0;
    d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 6, square.mesh.triangleFlags, &tile.sprite, nullptr,
                           100, 0);
    EXPECT_EQ(d.device.spanCount, 1);
    d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 6, square.mesh.triangleFlags, &tile.sprite, nullptr,
                           100, 0);
    EXPECT_EQ(d.device.spanCount, 1);
    d.device.params->stateBits |= 0x200000;  // grey: another routine
    d.device.RasteriseMesh(&square.mesh, d.device.params, 0, 6, square.mesh.triangleFlags, &tile.sprite, nullptr,
                           100, 0);
    EXPECT_EQ(d.device.spanCount, 2);
}

}  // namespace
