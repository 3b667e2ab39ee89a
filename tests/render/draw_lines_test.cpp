// Filled rectangles through the blitter, and every line operation as the line routine receives
// it: ends, colour, clip, depth buffer and pen, recorded in place of the pixel routine.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "images/line_pixels.h"

namespace {

constexpr int kW = 64, kH = 48;

struct LineCall {
    float a[3], b[3];
    uint32_t colour;
    int32_t opacity, accumulationShift, penWidth, depthStride;
    int32_t clip[4];
    const uint16_t* depth;
};
std::vector<LineCall> g_calls;

void RecordLine(uint8_t*, int32_t, int32_t, int32_t, int32_t clipLeft, int32_t clipTop,
                int32_t clipRight, int32_t clipBottom, float* a, float* b, uint32_t colour,
                int32_t opacity, int32_t accumulationShift, uint16_t*, const uint16_t* depth,
                int32_t depthStride, int32_t penWidth) {
    LineCall call = {{a[0], a[1], a[2]}, {b[0], b[1], b[2]}, colour, opacity, accumulationShift,
                     penWidth, depthStride, {clipLeft, clipTop, clipRight, clipBottom}, depth};
    g_calls.push_back(call);
}

// A window-less device drawing into a 32-bit image, camera at the origin looking along +z, with
// the line routine recorded.
class DrawLines : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target.Create(kW, kH, 32, true, 0, false, true, false));
        device.SetRenderTarget(&target);
        ASSERT_EQ(device.CreateDevice(kW, kH, nullptr), 0);
        device.SetSize(kW, kH);
        device.ownCamera.zoom = 1;
        device.UpdateViewportAndProjection();
        device.UpdateViewMatrix();
        g_calls.clear();
        g_drawLinePixels = &RecordLine;
    }
    void TearDown() override { g_drawLinePixels = &DrawLinePixels; }

    uint32_t At(int x, int y) const {
        const uint8_t* p = target.pixels + y * target.stride + x * 4;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    }
    // Screen position of a world point.
    void Screen(const float p[3], float* x, float* y) { device.ProjectToScreen(p, x, y, false); }

    CSprite target;
    CObjeto2D device;
};

TEST_F(DrawLines, FillRectangleCoversItsInclusiveBoundsAndNothingAtOpacityZero) {
    ASSERT_TRUE(device.FillRectangle(10, 5, 19, 14, 0x3366CC, 100, 0));
    EXPECT_EQ(At(10, 5), 0x3366CCu);
    EXPECT_EQ(At(19, 14), 0x3366CCu);
    EXPECT_EQ(At(9, 5), 0u);
    EXPECT_EQ(At(20, 14), 0u);
    EXPECT_EQ(At(19, 15), 0u);
    EXPECT_EQ(At(10, 4), 0u);

    EXPECT_FALSE(device.FillRectangle(0, 0, kW - 1, kH - 1, 0xFFFFFF, 0, 0));
    EXPECT_EQ(At(0, 0), 0u);
    EXPECT_EQ(At(15, 10), 0x3366CCu);

    // The clip rectangle bounds the fill.
    device.SetClipRect(30, 30, 33, 33);
    device.FillRectangle(0, 0, kW - 1, kH - 1, 0x00FF00, 100, 0);
    EXPECT_EQ(At(30, 30), 0x00FF00u);
    EXPECT_EQ(At(33, 33), 0x00FF00u);
    EXPECT_EQ(At(34, 33), 0u);
    EXPECT_EQ(At(29, 30), 0u);

    // Nothing while the device is busy elsewhere.
    device.ResetClipRect();
    device.status = DeviceHidden;
    EXPECT_FALSE(device.FillRectangle(0, 0, 3, 3, 0xFFFFFF, 100, 0));
    device.status = 0;
    EXPECT_EQ(At(1, 1), 0u);
}

TEST_F(DrawLines, ScreenLinesAndOutlinesReachTheLineRoutine) {
    device.colourWriteMask = 0xFF00FF;
    device.SetClipRect(2, 3, 40, 30);
    device.DrawLine(1.5f, 2.0f, 30.0f, 20.0f, 0x123456, 80, 2, 1);
    ASSERT_EQ(g_calls.size(), 1u);
    const LineCall& c = g_calls[0];
    EXPECT_FLOAT_EQ(c.a[0], 1.5f);
    EXPECT_FLOAT_EQ(c.b[1], 20.0f);
    EXPECT_EQ(c.colour, 0x120056u) << "the colour write mask applies";
    EXPECT_EQ(c.opacity, 80);
    EXPECT_EQ(c.accumulationShift, 1);
    EXPECT_EQ(c.penWidth, 2);
    EXPECT_EQ(c.depth, nullptr);
    EXPECT_EQ(c.clip[0], 2);
    EXPECT_EQ(c.clip[3], 30);

    g_calls.clear();
    device.DrawRectangle(5, 6, 15, 16, 0xFFFFFF, 100, 1, 0);
    ASSERT_EQ(g_calls.size(), 4u);
    const float expected[4][4] = {{5, 6, 15, 6}, {15, 6, 15, 16}, {5, 16, 15, 16}, {5, 6, 5, 16}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(g_calls[i].a[0], expected[i][0]);
        EXPECT_FLOAT_EQ(g_calls[i].a[1], expected[i][1]);
        EXPECT_FLOAT_EQ(g_calls[i].b[0], expected[i][2]);
        EXPECT_FLOAT_EQ(g_calls[i].b[1], expected[i][3]);
    }
}

TEST_F(DrawLines, ClipSegmentCutsAtTheDepthPlanes) {
    struct Case {
        const char* name;
        float a[4], b[4];
        int32_t answer;
        float a2[4], b2[4];
    } cases[] = {
        {"inside", {0, 0, 5, 5}, {10, 10, 50, 50}, 2, {0, 0, 5, 5}, {10, 10, 50, 50}},
        {"both beyond far", {0, 0, 200, 200}, {1, 1, 300, 300}, 0, {}, {}},
        {"both before near", {0, 0, 0.5f, 0.5f}, {1, 1, -3, -3}, 0, {}, {}},
        {"b beyond far", {0, 0, 50, 50}, {100, 0, 150, 150}, 2, {0, 0, 50, 50}, {50, 0, 100, 100}},
        {"a before near", {0, 0, -1, -1}, {30, 6, 2, 2}, 2, {20, 4, 1, 1}, {30, 6, 2, 2}},
        {"crossing both", {0, 0, 0, 0}, {200, 0, 200, 200}, 2, {1, 0, 1, 1}, {100, 0, 100, 100}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CObjeto2D::ClipSegment(c.a, c.b, 1.0f, 100.0f), c.answer);
        if (c.answer == 0)
            continue;
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(c.a[k], c.a2[k], 1e-4f) << k;
            EXPECT_NEAR(c.b[k], c.b2[k], 1e-4f) << k;
        }
    }
}

TEST_F(DrawLines, ThreeDimensionalLinesProjectMergeAndCut) {
    // Two distinct points in front of the eye: one segment between their screen positions.
    const float p1[3] = {-2, 0, 10}, p2[3] = {2, 1, 10};
    device.DrawLine3D(p1, p2, 0xABCDEF, 1, 0.0f, 0.0f, 100, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    float x1, y1, x2, y2;
    Screen(p1, &x1, &y1);
    Screen(p2, &x2, &y2);
    EXPECT_NEAR(g_calls[0].a[0], x1, 1e-3f);
    EXPECT_NEAR(g_calls[0].a[1], y1, 1e-3f);
    EXPECT_NEAR(g_calls[0].b[0], x2, 1e-3f);
    EXPECT_NEAR(g_calls[0].b[1], y2, 1e-3f);
    EXPECT_EQ(g_calls[0].colour, 0xABCDEFu);

    // A second point within the minimum length of the first: the first segment runs 1 to 3.
    g_calls.clear();
    const float poly[4][3] = {{-2, 0, 10}, {-1.99f, 0, 10}, {2, 0, 10}, {2, 2, 10}};
    device.DrawPolyline3D(&poly[0][0], 4, 0xFFFFFF, 1, 2.0f, 0.0f, 100, 0);
    ASSERT_EQ(g_calls.size(), 2u);
    float px, py;
    Screen(poly[0], &px, &py);
    EXPECT_NEAR(g_calls[0].a[0], px, 1e-3f);
    Screen(poly[2], &px, &py);
    EXPECT_NEAR(g_calls[0].b[0], px, 1e-3f);
    EXPECT_NEAR(g_calls[1].a[0], px, 1e-3f);

    // Wholly behind the camera: nothing, and false - with the z-buffer off as well.
    for (int zbuffer : {0, 1}) {
        SCOPED_TRACE(zbuffer);
        device.SetRenderState(RenderStateZBuffer, zbuffer);
        g_calls.clear();
        const float behind1[3] = {-1, 0, -5}, behind2[3] = {1, 0, -8};
        device.DrawLine3D(behind1, behind2, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0);
        EXPECT_TRUE(g_calls.empty());
        float a[4] = {-10, 0, -5, -5}, b[4] = {10, 0, -8, -8};
        EXPECT_FALSE(device.DrawSegment3D(a, b, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0));

        // Crossing the near plane: shortened to the part in front of it, never mirrored.
        const float cross1[3] = {1, 0, -10}, cross2[3] = {1, 0, 10};
        device.DrawLine3D(cross1, cross2, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0);
        ASSERT_EQ(g_calls.size(), 1u);
        float farEnd[3] = {1, 0, 10};
        Screen(farEnd, &px, &py);
        EXPECT_NEAR(g_calls[0].b[0], px, 1e-3f);
        EXPECT_GT(g_calls[0].a[0], px) << "the near end lies further out on the same side";
        EXPECT_LT(g_calls[0].a[0], 1e6f);
        EXPECT_NEAR(g_calls[0].a[2], device.params->nearZ, 1e-3f);
    }
    device.SetRenderState(RenderStateZBuffer, 0);
}

TEST_F(DrawLines, SegmentsTestTheZBufferButShowOverEmptyPixels) {
    device.SetRenderState(RenderStateZBuffer, 1);
    ASSERT_NE(device.params->depthBuffer, nullptr);
    device.ClearDepthBuffer();
    // Over an empty z-buffer a line shows.
    const float p1[3] = {-1, 0, 20}, p2[3] = {1, 0, 20};
    device.DrawLine3D(p1, p2, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].depth, device.params->depthBuffer);
    EXPECT_EQ(g_calls[0].depthStride, 2 * kW);

    // A surface at distance 10 everywhere hides lines at 15 and 20; one at 12 lies within the
    // 4 units of room and shows, as does one at 5.
    const uint16_t at10 = static_cast<uint16_t>(32767.0f / 10.0f);
    for (int i = 0; i < kW * kH; ++i)
        device.params->depthBuffer[i] = at10;
    struct Case {
        float z;
        bool drawn;
    } cases[] = {{20, false}, {15, false}, {5, true}, {12, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.z);
        g_calls.clear();
        const float a[3] = {-1, 0, c.z}, b[3] = {1, 0, c.z};
        device.DrawLine3D(a, b, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0);
        EXPECT_EQ(g_calls.size(), c.drawn ? 1u : 0u);
    }
    // Hidden segments still count as drawn, so a polyline moves on.
    g_calls.clear();
    float a[4] = {20 * 20, 20 * 20, 20, 20}, b[4] = {30 * 20, 20 * 20, 20, 20};
    EXPECT_TRUE(device.DrawSegment3D(a, b, 0xFFFFFF, 1, 0.0f, 0.0f, 100, 0));
    EXPECT_TRUE(g_calls.empty());
}

}  // namespace
