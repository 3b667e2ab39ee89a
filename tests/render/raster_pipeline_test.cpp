// The rasteriser's geometry: outcodes, fog, clipping, facing, snapping, triangle set-up, spans,
// perspective pieces, supersampling and frame addressing.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render/mesh.h"
#include "render/raster_pipeline.h"

namespace {

// A frame with its buffers and a routine for one state, drawing one texture.
struct TestTarget {
    int width, height, bits, bytes, stride;
    std::vector<uint8_t> pixels;
    std::vector<uint16_t> depth;
    std::vector<uint16_t> accum;
    std::vector<uint8_t> work = std::vector<uint8_t>(kRasterWorkBytesNeeded);
    std::vector<uint32_t> texels;
    SpanSlot slot;
    RasterWork rw;

    TestTarget(int w, int h, int bitsPerPixel = 32, int extraStride = 0)
        : width(w), height(h), bits(bitsPerPixel), bytes(bitsPerPixel == 15 ? 2 : bitsPerPixel / 8),
          stride(w * bytes + extraStride) {
        pixels.assign(static_cast<size_t>(stride) * h, 0);
        depth.assign(static_cast<size_t>(w) * h, 0);
    }

    // Prepares the routine for the state with a texture of the given texels (32-bit).
    bool Prepare(uint32_t state, int texWidth, int texHeight, std::vector<uint32_t> tex, int accumShift = 0) {
        texels = std::move(tex);
        SpanDrawInputs in;
        in.deviceState = state;
        in.meshFeatures = 0xFFFF;
        in.hasTexture1 = true;
        in.texture1Bits = 32;
        in.texture1Width = texWidth;
        in.texture1Height = texHeight;
        in.destBits = bits;
        if (!MakeSpanSlot(MakeSpanKey(in), ChosenSimdLevel(), &slot))
            return false;
        rw = RasterWork();
        rw.pixels = pixels.data();
        rw.stride = stride;
        rw.bytesPerPixel = bytes;
        rw.width = width;
        rw.height = height;
        rw.depthBuffer = depth.data();
        rw.accumShift = accumShift;
        if (accumShift) {
            accum.assign(static_cast<size_t>(width) * height * 3 + 4, 0);
            rw.accumulationBuffer = accum.data();
        }
        rw.clip.x0 = 0;
        rw.clip.x1 = width - 1;
        rw.clip.y0 = 0;
        rw.clip.y1 = height - 1;
        rw.clip.height = height;
        rw.workBuffer = work.data();
        rw.state = EffectiveSpanState(state, 0xFFFF);
        rw.slot = &slot;
        rw.constants.texture1 = {reinterpret_cast<const uint8_t*>(texels.data()), texWidth, texHeight, 32, nullptr};
        rw.constants.destBits = bits;
        return true;
    }

    uint32_t Pixel32(int x, int y) const {
        uint32_t p;
        std::memcpy(&p, &pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4], 4);
        return p;
    }
};

// A projected vertex at a screen position with 1 / depth and texture coordinates u, v.
ScreenVertex Projected(float sx, float sy, float depth = 1.0f, float u = 0, float v = 0) {
    ScreenVertex s = {};
    s.sx = sx;
    s.sy = sy;
    s.depth = 1.0f / depth;
    s.u = u / depth;
    s.v = v / depth;
    s.w = depth;
    s.x = sx * depth;
    s.y = sy * depth;
    return s;
}

// A vertex before projection at depth 2 with w 1, at screen position (x, y).
ScreenVertex Unprojected(float x, float y) {
    ScreenVertex s = {};
    s.x = x;
    s.y = y;
    s.w = 1;
    s.depth = 2;
    s.sx = x;
    s.sy = y;
    return s;
}

constexpr uint32_t kTextured = kSpanTextured;

TEST(RasterGeometry, VertexFogRunsFromStartToEnd) {
    struct Row {
        float depth;
        uint16_t amount;
    };
    const Row rows[] = {{100, 0}, {1000, 0}, {1500, 16383}, {2000, 32767}, {2001, 32767}, {1e9f, 32767}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.depth);
        EXPECT_EQ(FogAmount(r.depth, 1000, 2000), r.amount);
    }
}

TEST(RasterGeometry, TransformFillsScreenVertexWithFog) {
    MeshVertex mv = {};
    mv.wx = 2;
    mv.wy = 4;
    mv.wz = 3000;
    mv.u = 0.25f;
    mv.v = 0.5f;
    mv.diffuse16[2] = 0xFF00;
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};  // w = z
    ScreenVertex out = {};
    TransformVertex(mv, m, 1.0f, true, 1000, 5000, &out);
    EXPECT_FLOAT_EQ(out.depth, 3001);
    EXPECT_FLOAT_EQ(out.w, 3000);
    EXPECT_FLOAT_EQ(out.sx, 2.0f / 3000);
    EXPECT_EQ(out.diffuse[2], 0xFF00);
    EXPECT_EQ(out.specular[3], static_cast<uint16_t>((3001.0f - 1000) * 32767 / 4000));
}

TEST(RasterGeometry, OutcodeMarksEachPlaneAVertexIsBeyond) {
    // Planes x > 0, x < 10, y > 0, y < 10, z < 100, z > 1.
    const float planes[6][4] = {{1, 0, 0, 0}, {-1, 0, 0, 10}, {0, 1, 0, 0}, {0, -1, 0, 10}, {0, 0, -1, 100}, {0, 0, 1, -1}};
    const float inside[3] = {5, 5, 50};
    const float onPlane[3] = {0, 5, 50};
    const float behind[3] = {5, 5, 0};
    EXPECT_EQ(ComputeOutcode(planes, inside), 0);
    EXPECT_EQ(ComputeOutcode(planes, onPlane), 0x20);  // a distance of 0 counts as beyond
    EXPECT_EQ(ComputeOutcode(planes, behind), 0x1);
}

TEST(RasterGeometry, ClippingCutsAtTheNearPlaneAndDropsWhatIsBehind) {
    ClipVolume clip;
    clip.x1 = 99;
    clip.y1 = 99;
    auto vertex = [](float x, float y, float depth) {
        ScreenVertex s = {};
        s.x = x * depth;
        s.y = y * depth;
        s.w = depth;
        s.depth = depth;
        return s;
    };
    ScreenVertex poly[kClipPolygonCapacity];
    // Crossing the near plane: one vertex in front, two behind it -> a triangle cut at depth 1.
    poly[0] = vertex(50, 50, 10);
    poly[1] = vertex(60, 50, 0.5f);
    poly[2] = vertex(50, 60, 0.5f);
    int n = ClipPolygon(poly, clip);
    ASSERT_EQ(n, 3);
    for (int i = 0; i < n; ++i)
        EXPECT_LE(poly[i].depth, 1.0f + 1e-6f);  // projected: 1 / depth <= 1 / near
    // Wholly behind.
    poly[0] = vertex(50, 50, 0.5f);
    poly[1] = vertex(60, 50, 0.5f);
    poly[2] = vertex(50, 60, 0.2f);
    EXPECT_EQ(ClipPolygon(poly, clip), 0);
    // Beyond the far plane.
    poly[0] = vertex(50, 50, 20000);
    poly[1] = vertex(60, 50, 20000);
    poly[2] = vertex(50, 60, 20000);
    EXPECT_EQ(ClipPolygon(poly, clip), 0);
    // Straddling the right edge: cut at x1 + 1.
    poly[0] = vertex(90, 10, 5);
    poly[1] = vertex(120, 10, 5);
    poly[2] = vertex(90, 40, 5);
    n = ClipPolygon(poly, clip);
    ASSERT_EQ(n, 4);
    for (int i = 0; i < n; ++i)
        EXPECT_LE(poly[i].sx, 100.0f);
}

TEST(RasterGeometry, ClipperBlendsColoursInItsFixedPoint) {
    EXPECT_EQ(LerpColour(0, 0xFF00, 0.0f), 0);
    EXPECT_NEAR(LerpColour(0, 0xFF00, 0.5f), 0x7F80, 8);
    EXPECT_NEAR(LerpColour(0, 0xFF00, 1.0f), 0xFF00, 8);
    EXPECT_NEAR(LerpColour(0xFF00, 0, 1.0f), 0, 8);
}

TEST(RasterGeometry, FacingUsesTheHomogeneousDeterminant) {
    auto at = [](float x, float y, float w) {
        ScreenVertex s = {};
        s.x = x;
        s.y = y;
        s.w = w;
        return s;
    };
    // Wholly in front: the same answer as the screen-space test on x / w, y / w.
    struct Row {
        ScreenVertex a, b, c;
        bool front;
    };
    const Row rows[] = {
        {at(0, 0, 1), at(10, 0, 1), at(0, 10, 1), true},
        {at(0, 0, 1), at(0, 10, 1), at(10, 0, 1), false},
        {at(0, 0, 2), at(20, 0, 2), at(0, 40, 4), true},
    };
    for (const Row& r : rows) {
        float e = (r.a.x / r.a.w - r.b.x / r.b.w) * (r.c.y / r.c.w - r.b.y / r.b.w) -
                  (r.a.y / r.a.w - r.b.y / r.b.w) * (r.c.x / r.c.w - r.b.x / r.b.w);
        EXPECT_EQ(e <= 0, r.front);
        EXPECT_EQ(IsFrontFacing(r.a, r.b, r.c), r.front);
    }
    // A front-facing triangle with one vertex behind the eye (w < 0): dividing by w mirrors that
    // vertex and the screen-space test turns it away; the determinant keeps it.
    ScreenVertex a = at(0, 0, 1), b = at(10, 0, 1), c = at(5, 10, -1);
    float e = (a.x / a.w - b.x / b.w) * (c.y / c.w - b.y / b.w) - (a.y / a.w - b.y / b.w) * (c.x / c.w - b.x / b.w);
    EXPECT_GT(e, 0);  // the division's answer: culled
    EXPECT_TRUE(IsFrontFacing(a, b, c));
}

TEST(RasterGeometry, SnappingMovesToWholePixelsOnThePlane) {
    ClipVolume clip;
    ScreenVertex a = Projected(0.4f, 0.5f, 2, 0, 0), b = Projected(10.6f, 0, 2, 1, 0), c = Projected(0, 10, 2, 0, 1);
    SnapVertices(&a, &b, &c, clip);
    EXPECT_EQ(a.sx, 0);
    EXPECT_EQ(a.sy, 0);  // 0.5 ties to even
    EXPECT_EQ(b.sx, 11);
    EXPECT_EQ(c.sx, 0);
    EXPECT_FLOAT_EQ(a.depth, 0.5f);  // constant depth stays
    EXPECT_GE(b.u, 0.0f);
    EXPECT_LE(b.u, b.depth);  // u / depth within [0, 1 / depth]
}

TEST(RasterGeometry, TrianglesOf8192ScanlinesAreRefused) {
    TestTarget t(2, 8200);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FF0000}));
    EXPECT_FALSE(DrawTriangle(Projected(0, 0), Projected(2, 0), Projected(0, 8192), t.rw));
    EXPECT_EQ(t.Pixel32(0, 0), 0u);
    EXPECT_TRUE(DrawTriangle(Projected(0, 0), Projected(2, 0), Projected(0, 8191), t.rw));
    EXPECT_EQ(t.Pixel32(0, 0), 0x00FF0000u);
    // Degenerate: no height.
    EXPECT_FALSE(DrawTriangle(Projected(0, 5), Projected(2, 5), Projected(1, 5), t.rw));
}

TEST(RasterGeometry, TriangleCoversItsPixelsAndNoOthers) {
    TestTarget t(16, 16);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00123456}));
    ASSERT_TRUE(DrawTriangle(Projected(2, 2), Projected(12, 2), Projected(2, 12), t.rw));
    int drawn = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool inside = x >= 2 && y >= 2 && x + y < 14 && x < 12 && y < 12;
            bool on = t.Pixel32(x, y) != 0;
            drawn += on;
            if (on) {
                EXPECT_TRUE(inside || x + y <= 14) << x << "," << y;
            }
        }
    }
    EXPECT_NEAR(drawn, 50, 6);  // half of 10 x 10
    EXPECT_EQ(t.Pixel32(2, 2), 0x00123456u);
    EXPECT_EQ(t.Pixel32(1, 2), 0u);
    EXPECT_EQ(t.Pixel32(2, 1), 0u);
}

TEST(RasterGeometry, BottomUpSurfacesAreNotUpsideDown) {
    // A triangle in the top rows of the image lands in the last rows of a bottom-up buffer.
    TestTarget t(8, 8);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FFFFFF}));
    t.rw.clip.bottomUp = true;
    ScreenVertex poly[kClipPolygonCapacity] = {Unprojected(0, 0), Unprojected(8, 0), Unprojected(0, 3)};
    ASSERT_EQ(ClipPolygon(poly, t.rw.clip), 3);
    ASSERT_TRUE(DrawTriangle(poly[0], poly[1], poly[2], t.rw));
    EXPECT_NE(t.Pixel32(0, 7), 0u);  // image row 0 is the last memory row
    EXPECT_EQ(t.Pixel32(0, 0), 0u);
}

TEST(RasterGeometry, FramesWiderThan32766BytesUseTheirRealStride) {
    // 8,200 pixels of 4 bytes plus padding: 32,864 bytes from one row to the next.
    TestTarget t(8200, 4, 32, 64);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00ABCDEF}));
    ASSERT_TRUE(DrawTriangle(Projected(8000, 2), Projected(8100, 2), Projected(8000, 3), t.rw));
    EXPECT_EQ(t.Pixel32(8000, 2), 0x00ABCDEFu);
    // Nothing at the address a row x width form would have used.
    size_t wrong = (static_cast<size_t>(2) * 8200 + 8000) * 4;
    uint32_t p;
    std::memcpy(&p, &t.pixels[wrong], 4);
    EXPECT_EQ(p, 0u);
}

TEST(RasterGeometry, PerspectivePiecesAreExactAtTheirEnds) {
    // A 256-texel ramp (blue = texel column); depth grows from 1 on the left to 8 on the right.
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i)
        ramp[i] = i;
    struct Row {
        int length;
        uint32_t state;
    };
    const Row rows[] = {{8, kTextured | kSpanPerspective}, {9, kTextured | kSpanPerspective},
                        {20, kTextured | kSpanPerspective}, {20, kTextured}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.length << " pixels, state " << std::hex << row.state);
        TestTarget t(64, 4);
        ASSERT_TRUE(t.Prepare(row.state, 256, 1, ramp));
        float len = static_cast<float>(row.length);
        ASSERT_TRUE(DrawTriangle(Projected(0, 0, 1, 0, 0), Projected(len, 0, 8, 1, 0), Projected(0, 4, 1, 0, 0), t.rw));
        // The exact texel column at pixel boundary x of row 0.
        auto exact = [&](int x) {
            double rz = 1.0 + (1.0 / 8 - 1.0) * x / len;
            double uz = (1.0 / 8) * x / len;
            return static_cast<int>(uz / rz * 255.999);
        };
        bool perspective = (row.state & kSpanPerspective) && row.length > 8;
        // Piece starts are exact; between them the steps are linear.
        for (int x = 0; x < row.length; x += 8) {
            int got = static_cast<int>(t.Pixel32(x, 0) & 0xFF);
            if (perspective || x == 0) {
                EXPECT_NEAR(got, exact(x), 1) << "x " << x;
            }
        }
        if (!perspective && row.length > 8) {
            // Affine over the whole span: the middle is far from the exact value.
            int mid = row.length / 2;
            EXPECT_GT(std::abs(static_cast<int>(t.Pixel32(mid, 0) & 0xFF) - exact(mid)), 10);
        }
    }
}

TEST(RasterGeometry, Accumulation2ScanConvertsFourTimesFinerAndResolvesToThePixel) {
    // A 100 x 100 view drawn as 400 x 400 samples into the sums (cleared to 16 x background).
    TestTarget t(100, 100);
    ASSERT_TRUE(t.Prepare(kTextured | kSpanAccumulation2, 1, 1, {0x00406080}, 2));
    const uint32_t background = 0x00101010;
    t.rw.constants.background = background;
    for (size_t i = 0; i < t.accum.size(); ++i)
        t.accum[i] = 0x10 << 4;
    ASSERT_TRUE(DrawTriangle(Projected(0, 0), Projected(100, 0), Projected(0, 100), t.rw));
    ASSERT_TRUE(DrawTriangle(Projected(100, 0), Projected(100, 100), Projected(0, 100), t.rw));
    // Every pixel received its 16 samples: the sums resolve (>> 4) to the colour.
    for (int p : {0, 99, 5050, 9999}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(t.accum[static_cast<size_t>(p) * 3 + 0] >> 4, 0x80);
        EXPECT_EQ(t.accum[static_cast<size_t>(p) * 3 + 1] >> 4, 0x60);
        EXPECT_EQ(t.accum[static_cast<size_t>(p) * 3 + 2] >> 4, 0x40);
    }
    // Nothing beyond the last pixel's sums.
    EXPECT_EQ(t.accum[t.accum.size() - 1], 0x10 << 4);
}

TEST(RasterGeometry, DepthBiasDrawsWholeUnitsNearer) {
    TestTarget t(8, 8);
    const uint32_t state = kTextured | kSpanDepthCompare | kSpanDepthWrite | 0x10000;  // greater
    ASSERT_TRUE(t.Prepare(state, 1, 1, {0x000000FF}));
    ASSERT_TRUE(DrawTriangle(Projected(0, 0, 2), Projected(8, 0, 2), Projected(0, 8, 2), t.rw));
    // The same plane again with another colour: refused by "greater", unless biased.
    t.texels[0] = 0x0000FF00;
    ASSERT_TRUE(DrawTriangle(Projected(0, 0, 2), Projected(8, 0, 2), Projected(0, 8, 2), t.rw));
    EXPECT_EQ(t.Pixel32(1, 1), 0x000000FFu);
    t.rw.depthBias = 5;
    ASSERT_TRUE(DrawTriangle(Projected(0, 0, 2), Projected(8, 0, 2), Projected(0, 8, 2), t.rw));
    EXPECT_EQ(t.Pixel32(1, 1), 0x0000FF00u);
    EXPECT_EQ(t.depth[9], (0x7FFFFFFF / 2 >> 16) + 5);
}

TEST(RasterGeometry, SpansStayInsideTheClipRectangle) {
    TestTarget t(16, 16);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FFFFFF}));
    t.rw.clip.x0 = 4;
    t.rw.clip.x1 = 7;
    t.rw.clip.y0 = 5;
    t.rw.clip.y1 = 6;
    // Far larger than the surface.
    ASSERT_TRUE(DrawTriangle(Projected(-1000, -1000), Projected(5000, -1000), Projected(-1000, 5000), t.rw));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool inside = x >= 4 && x <= 7 && y >= 5 && y <= 6;
            EXPECT_EQ(t.Pixel32(x, y) != 0, inside) << x << "," << y;
        }
    }
}

TEST(RasterGeometry, RangesSkipInvalidTrianglesAndCullBackFaces) {
    TestTarget t(16, 16);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FFFFFF}));
    ScreenVertex verts[3] = {Unprojected(1, 1), Unprojected(12, 1), Unprojected(1, 12)};
    const uint16_t front[3] = {0, 1, 2}, back[3] = {0, 2, 1}, invalid[3] = {0, 1, 3};
    RasterRange range;
    range.vertices = verts;
    range.vertexCount = 3;
    range.indexCount = 3;
    struct Row {
        const char* name;
        const uint16_t* indices;
        int count;
        bool cull;
        int drawn;
    };
    const Row rows[] = {
        {"front facing", front, 3, true, 1},      {"back facing, culled", back, 3, true, 0},
        {"back facing, no culling", back, 3, false, 1}, {"index beyond the vertices", invalid, 3, false, 0},
        {"fewer than three indices", front, 2, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        range.indices = row.indices;
        range.indexCount = row.count;
        range.cullBackFaces = row.cull;
        EXPECT_EQ(RasteriseRange(range, t.rw), row.drawn);
    }
}

TEST(RasterGeometry, AFaultAbandonsOnlyTheRange) {
    TestTarget t(16, 16);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FFFFFF}));
    // The texture's pixels were released under the draw.
    uint8_t* gone = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(gone, nullptr);
    t.rw.constants.texture1.pixels = gone;
    ScreenVertex verts[3] = {Unprojected(1, 1), Unprojected(12, 1), Unprojected(1, 12)};
    const uint16_t tri[3] = {0, 1, 2};
    RasterRange range;
    range.vertices = verts;
    range.vertexCount = 3;
    range.indices = tri;
    range.indexCount = 3;
    EXPECT_EQ(RasteriseRange(range, t.rw), -1);
    VirtualFree(gone, 0, MEM_RELEASE);
    // The next range draws as usual.
    t.rw.constants.texture1.pixels = reinterpret_cast<const uint8_t*>(t.texels.data());
    EXPECT_EQ(RasteriseRange(range, t.rw), 1);
    EXPECT_EQ(t.Pixel32(2, 2), 0x00FFFFFFu);
}

TEST(RasterGeometry, ATriangleCrossingTheEyePlaneKeepsItsFacing) {
    // clip = (x, y, z - 1, z): w and the view distance are the world z. Two vertices at z 4, one
    // behind the eye at z -1: its x / w, y / w are mirrored through the centre.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0};
    const float world[3][3] = {{8, 8, 4}, {48, 8, 4}, {7, 20, -1}};
    ScreenVertex verts[3];
    for (int i = 0; i < 3; ++i) {
        MeshVertex mv = {};
        mv.wx = world[i][0];
        mv.wy = world[i][1];
        mv.wz = world[i][2];
        TransformVertex(mv, m, 1.0f, false, 0, 0, &verts[i]);
    }
    // The division's facing test turns it away ...
    float e = (verts[0].sx - verts[1].sx) * (verts[2].sy - verts[1].sy) -
              (verts[0].sy - verts[1].sy) * (verts[2].sx - verts[1].sx);
    EXPECT_GT(e, 0);
    // ... yet the part in front of the near plane, (2, 2) (12, 2) (23.4, 15.2) (7.4, 15.2), faces the
    // viewer and is drawn with back faces culled.
    TestTarget t(32, 32);
    ASSERT_TRUE(t.Prepare(kTextured, 1, 1, {0x00FFFFFF}));
    const uint16_t tri[3] = {0, 1, 2};
    RasterRange range;
    range.vertices = verts;
    range.vertexCount = 3;
    range.indices = tri;
    range.indexCount = 3;
    range.cullBackFaces = true;
    EXPECT_EQ(RasteriseRange(range, t.rw), 2);  // the clipped quad as a fan of two
    EXPECT_EQ(t.Pixel32(12, 10), 0x00FFFFFFu);
    EXPECT_EQ(t.Pixel32(12, 20), 0u);
}

TEST(RasterGeometry, VertexColoursAndFogAreInterpolatedAcrossTheTriangle) {
    // White texture modulated by vertex colours: red at the left, black at the right.
    TestTarget t(64, 8);
    ASSERT_TRUE(t.Prepare(kTextured | kSpanColorVertex, 1, 1, {0x00FFFFFF}));
    ScreenVertex a = Projected(0, 0), b = Projected(64, 0), c = Projected(0, 8);
    a.diffuse[2] = c.diffuse[2] = 0xFF00;  // red lane, 8-bit value x 256
    for (ScreenVertex* v : {&a, &b, &c})
        v->diffuse[3] = 0xFF00;
    ASSERT_TRUE(DrawTriangle(a, b, c, t.rw));
    auto red = [&](int x) { return static_cast<int>((t.Pixel32(x, 0) >> 16) & 0xFF); };
    EXPECT_NEAR(red(0), 255, 2);
    EXPECT_NEAR(red(32), 128, 3);
    EXPECT_NEAR(red(63), 4, 3);
    for (int x = 1; x < 64; ++x)
        EXPECT_LE(red(x), red(x - 1)) << x;  // falls steadily
    EXPECT_EQ(t.Pixel32(10, 0) & 0xFFFF, 0u);  // green and blue stay black

    // Fog from none at the left to full at the right, fog colour blue.
    TestTarget f(64, 8);
    ASSERT_TRUE(f.Prepare(kTextured | kSpanFog, 1, 1, {0x00FF0000}));
    f.rw.constants.fogColour = 0x0000FF;
    ScreenVertex fa = Projected(0, 0), fb = Projected(64, 0), fc = Projected(0, 8);
    fb.specular[3] = kFogAmountMax;
    ASSERT_TRUE(DrawTriangle(fa, fb, fc, f.rw));
    EXPECT_EQ(f.Pixel32(0, 0), 0x00FF0000u);
    uint32_t right = f.Pixel32(63, 0);
    EXPECT_LT((right >> 16) & 0xFF, 16u);
    EXPECT_GT(right & 0xFF, 240u);
}

}  // namespace
