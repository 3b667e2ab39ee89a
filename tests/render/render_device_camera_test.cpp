// The camera side of the render device against hand-computed values: projection, viewport, view
// matrix with pull-back, frustum planes and tests, projected points, rays, depth read-back,
// lights.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/mesh.h"
#include "sources/frame.h"

namespace {

const float kCot = static_cast<float>(1.0 / std::tan(M_PI / 8.0));  // zoom 1: 22.5 degrees half angle

// A device of the size without a back end: the camera math only needs the drawing size.
void SetDrawingSize(CObjeto2D& device, int width, int height)
{
    device.params->width = width;
    device.params->height = height;
    device.UpdateViewportAndProjection();
    device.UpdateViewMatrix();
}

TEST(RenderDeviceCamera, ProjectionScalesByTheFixedAxis)
{
    struct Case {
        const char* name;
        int32_t axisMode;
        int32_t projectionWidth;
        float nearZ;
        float sx, sy;
    } cases[] = {
        {"vertical axis: 45 degrees high", 1, 0, 1.0f, kCot * 480.0f / 640.0f, kCot},
        {"by aspect: the longer side spans 45 degrees", -1, 0, 1.0f, kCot, kCot * 640.0f / 480.0f},
        {"horizontal, ProjectionWidth 1280 doubles the horizontal scale", 0, 1280, 1.0f, 2.0f * kCot,
         kCot * 1280.0f / 480.0f},
        {"near 2: the scales stay the scales", 1, 0, 2.0f, kCot * 480.0f / 640.0f, kCot},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CObjeto2D device;
        device.axisMode = c.axisMode;
        device.fixedVertical = c.axisMode == 0 ? 0 : 1;
        device.params->nearZ = c.nearZ;
        device.projectionWidth = c.projectionWidth;
        SetDrawingSize(device, 640, 480);
        const float* m = device.matrices.projection;
        EXPECT_NEAR(m[0], c.sx, 1e-5f);
        EXPECT_NEAR(m[5], c.sy, 1e-5f);
        EXPECT_FLOAT_EQ(m[10], 10000.0f / (10000.0f - c.nearZ));
        EXPECT_FLOAT_EQ(m[11], 1.0f);
        EXPECT_FLOAT_EQ(m[14], c.nearZ * 10000.0f / (c.nearZ - 10000.0f));
        EXPECT_FLOAT_EQ(m[15], 0.0f);
    }
}

TEST(RenderDeviceCamera, ViewportAndCentreOffset)
{
    CObjeto2D device;
    SetDrawingSize(device, 640, 480);
    const float* v = device.matrices.viewport;
    EXPECT_FLOAT_EQ(v[0], 320.0f);
    EXPECT_FLOAT_EQ(v[5], -240.0f);
    EXPECT_FLOAT_EQ(v[10], 1.0f);
    EXPECT_FLOAT_EQ(v[12], 320.0f);
    EXPECT_FLOAT_EQ(v[13], 240.0f);
    EXPECT_FLOAT_EQ(v[15], 1.0f);
    EXPECT_EQ(device.params->clipX1, 639);
    EXPECT_EQ(device.params->clipY1, 479);
    EXPECT_EQ(device.params->wholeSurfaceClip, 1);

    device.SetCenterOffset(10, -20);
    EXPECT_FLOAT_EQ(device.matrices.projection[8], 20.0f / 640.0f);
    EXPECT_FLOAT_EQ(device.matrices.projection[9], 40.0f / 480.0f);
    // WaitForIdle puts the centre back.
    device.WaitForIdle(false);
    EXPECT_EQ(device.centreOffsetX, 0);
    EXPECT_EQ(device.centreOffsetY, 0);
}

TEST(RenderDeviceCamera, ProjectedPointsLandOnTheirPixels)
{
    CObjeto2D device;
    SetDrawingSize(device, 640, 480);
    const float sy = kCot, sx = kCot * 0.75f;
    struct Case {
        float point[3];
        float x, y, z;
    } cases[] = {
        {{0, 0, 10}, 320, 240, 10 * 10000.0f / 9999.0f - 10000.0f / 9999.0f},
        {{0, 10 / sy, 10}, 320, 0, 0},      // top edge: 22.5 degrees up
        {{10 / sx, 0, 10}, 640, 240, 0},    // right edge
        {{1, 2, 0}, 320 * sx, -480 * sy, -10000.0f / 9999.0f},  // w = 0: raw x and y
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        float out[3];
        device.ProjectPoint(c.point, out, false);
        EXPECT_NEAR(out[0], c.x, 1e-3f);
        EXPECT_NEAR(out[1], c.y, 1e-3f);
        if (c.z != 0) {
            EXPECT_NEAR(out[2], c.z, 1e-3f);
        }
    }
    // Rounded: ties to even.
    float point[3] = {10 / sx * (0.5f / 320.0f), 0, 10};  // x = 320.5
    float x, y;
    device.ProjectToScreen(point, &x, &y, true);
    EXPECT_FLOAT_EQ(x, 320.0f);
    EXPECT_FLOAT_EQ(y, 240.0f);
}

TEST(RenderDeviceCamera, ViewMatrixFromTheCameraWithPullBack)
{
    CObjeto2D device;
    device.ownCamera.x = 1;
    device.ownCamera.y = 2;
    device.ownCamera.z = 3;
    device.ownCamera.pan = 90;
    SetDrawingSize(device, 640, 480);
    const float* view = device.matrices.view;
    // Pan 90: the rows of T(-1, -2, -3) x R(0, 90, 0).
    const float expected[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, -3, -2, 1, 1};
    for (int i = 0; i < 16; i++) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(view[i], expected[i], 1e-6f);
    }
    EXPECT_NEAR(device.matrices.inverseView[12], 1.0f, 1e-5f);
    EXPECT_NEAR(device.matrices.inverseView[13], 2.0f, 1e-5f);
    EXPECT_NEAR(device.matrices.inverseView[14], 3.0f, 1e-5f);

    // Pulled back by 5 the eye sits 5 behind the camera point along its view.
    device.ownCamera.pan = 0;
    device.ownCamera.pullBack = 5;
    device.UpdateViewMatrix();
    EXPECT_NEAR(device.matrices.inverseView[12], 1.0f, 1e-5f);
    EXPECT_NEAR(device.matrices.inverseView[13], 2.0f, 1e-5f);
    EXPECT_NEAR(device.matrices.inverseView[14], -2.0f, 1e-5f);
}

TEST(RenderDeviceCamera, RaysGoThroughTheirPixels)
{
    CObjeto2D device;
    device.ownCamera.x = 1;
    device.ownCamera.y = 2;
    device.ownCamera.z = 3;
    SetDrawingSize(device, 640, 480);
    float origin[3], direction[3];
    device.ScreenToRay(320, 240, origin, direction);
    EXPECT_FLOAT_EQ(origin[0], 1.0f);
    EXPECT_FLOAT_EQ(origin[1], 2.0f);
    EXPECT_FLOAT_EQ(origin[2], 3.0f);
    EXPECT_NEAR(direction[0], 0.0f, 1e-6f);
    EXPECT_NEAR(direction[1], 0.0f, 1e-6f);
    EXPECT_NEAR(direction[2], 1.0f, 1e-6f);

    device.ScreenToRay(640, 0, origin, direction);
    EXPECT_NEAR(direction[0], 1.0f / (kCot * 0.75f), 1e-5f);
    EXPECT_NEAR(direction[1], 1.0f / kCot, 1e-5f);
    EXPECT_NEAR(direction[2], 1.0f, 1e-6f);
    // Back through the projection to the pixel.
    float distant[3] = {origin[0] + 10 * direction[0], origin[1] + 10 * direction[1], origin[2] + 10 * direction[2]};
    float out[3];
    device.ProjectPoint(distant, out, false);
    EXPECT_NEAR(out[0], 640.0f, 1e-2f);
    EXPECT_NEAR(out[1], 0.0f, 1e-2f);
}

TEST(RenderDeviceCamera, FrustumPlanesFromViewAndProjection)
{
    CObjeto2D device;
    device.culling = 1;
    SetDrawingSize(device, 640, 480);
    const float sx = kCot * 0.75f, sy = kCot;
    const float m22 = 10000.0f / 9999.0f, m32 = -10000.0f / 9999.0f;
    const float expected[6][4] = {{-sx, 0, 1, 0}, {sx, 0, 1, 0},          {0, sy, 1, 0},
                                  {0, -sy, 1, 0}, {0, 0, 1 - m22, -m32}, {0, 0, 1 + m22, m32}};
    for (int p = 0; p < 6; p++) {
        for (int k = 0; k < 4; k++) {
            SCOPED_TRACE(p * 4 + k);
            EXPECT_NEAR(device.planes3D[p][k], expected[p][k], 1e-5f);
        }
    }
    float ahead[3] = {0, 0, 10};
    float behind[3] = {0, 0, -10};
    float beyond[3] = {0, 0, 20000};
    EXPECT_TRUE(device.IsPointInFrustum(ahead));
    EXPECT_FALSE(device.IsPointInFrustum(behind));
    EXPECT_FALSE(device.IsPointInFrustum(beyond));
}

TEST(RenderDeviceCamera, TouchingBoxesAreInsideAndPointsOnAPlaneOutside)
{
    CObjeto2D device;
    // x <= 5, the other planes always true.
    const float planes[6][4] = {{-1, 0, 0, 5}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}};
    for (int p = 0; p < 6; p++)
        for (int k = 0; k < 4; k++)
            device.planes3D[p][k] = planes[p][k];
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        BoundingBox box;
        bool inside;
    } boxes[] = {{{{6, 0, 0}, {1, 1, 1}}, true},
                 {{{6.5f, 0, 0}, {1, 1, 1}}, false},
                 {{{0, 0, 0}, {1, 1, 1}}, true},
                 {{{nan, 0, 0}, {1, 1, 1}}, false}};
    for (const Case& c : boxes) {
        SCOPED_TRACE(c.box.center[0]);
        EXPECT_EQ(device.IsBoxInFrustum(c.box), c.inside);
    }
    float on[3] = {5, 0, 0};
    float in[3] = {4.9f, 0, 0};
    EXPECT_FALSE(device.IsPointInFrustum(on));
    EXPECT_TRUE(device.IsPointInFrustum(in));

    CObjeto3D mesh;
    CSprite texture;
    mesh.texture1 = &texture;
    mesh.objectBox = {{6.5f, 0, 0}, {1, 1, 1}};
    EXPECT_FALSE(device.UpdateObjectVisibility(&mesh));
    EXPECT_EQ(mesh.visibleInView, 0);
    EXPECT_EQ(texture.visible, 0);
    mesh.objectBox = {{0, 0, 0}, {1, 1, 1}};
    EXPECT_TRUE(device.UpdateObjectVisibility(&mesh));
    EXPECT_EQ(mesh.visibleInView, 1);
    EXPECT_EQ(texture.visible, 1);
    EXPECT_FALSE(device.UpdateObjectVisibility(nullptr));

    // 2D mode tests against the 2D set.
    device.Set2DMode(true);
    EXPECT_EQ(device.activePlanes, device.planes2D);
    device.Set2DMode(false);
    EXPECT_EQ(device.activePlanes, device.planes3D);
}

TEST(RenderDeviceCamera, DepthReadBackFromTheZBuffer)
{
    CObjeto2D device;
    device.params->width = 4;
    device.params->height = 2;
    device.SetRenderState(RenderStateZBuffer, 1);
    ASSERT_NE(device.params->depthBuffer, nullptr);
    device.params->depthBuffer[1 * 4 + 2] = 16383;
    EXPECT_FLOAT_EQ(device.GetDepthAt(2, 1), 2.0f);  // 1 / (16383 / 32767) truncated
    EXPECT_FLOAT_EQ(device.GetDepthAt(0, 0), 0.0f) << "nothing drawn";
    EXPECT_FLOAT_EQ(device.GetDepthAt(4, 0), 0.0f);
    EXPECT_FLOAT_EQ(device.GetDepthAt(-1, 0), 0.0f);

    for (int i = 0; i < 8; i++)
        device.params->depthBuffer[i] = 7;
    device.ClearDepthRect(1, 0, 2, 1);
    const uint16_t expected[8] = {7, 0, 0, 7, 7, 0, 0, 7};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(device.params->depthBuffer[i], expected[i]) << i;
    device.ClearDepthBuffer();
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(device.params->depthBuffer[i], 0) << i;
}

TEST(RenderDeviceCamera, LightsFillTheFrameTableUpToItsSize)
{
    CObjeto2D device;
    CFrame frame;
    static D3DLIGHT9 lights[kFrameLightCapacity + 1] = {};
    lights[0].Position = {3, 0, 4};
    lights[0].Direction = {0, 0, -2};
    lights[0].Falloff = 7;
    for (int i = 0; i < kFrameLightCapacity; i++)
        ASSERT_TRUE(device.AddLight(&frame, &lights[i])) << i;
    EXPECT_EQ(frame.lightCount, kFrameLightCapacity);
    EXPECT_EQ(frame.lights[0], &lights[0]);
    EXPECT_FLOAT_EQ(lights[0].Falloff, 1.0f);
    EXPECT_FLOAT_EQ(lights[0].Attenuation0, 1.0f);
    EXPECT_FLOAT_EQ(lights[0].Position.x, 0.6f);
    EXPECT_FLOAT_EQ(lights[0].Position.z, 0.8f);
    EXPECT_FLOAT_EQ(lights[0].Direction.z, -1.0f);
    // The table is full: the next light is refused.
    EXPECT_FALSE(device.AddLight(&frame, &lights[kFrameLightCapacity]));
    EXPECT_EQ(frame.lightCount, kFrameLightCapacity);
}

}  // namespace
