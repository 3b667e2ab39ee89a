// A window-less device drawing into an image: the target follows SetSize, clears reach the image,
// the frame is read back with CopyFrameToSprite, and the accumulation buffer round-trips.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t PixelOf(const CSprite& image, int x, int y)
{
    const uint8_t* p = image.pixels + y * image.stride + x * image.bytesPerPixel;
    if (image.bytesPerPixel == 2)
        return static_cast<uint32_t>(p[0] | (p[1] << 8));
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}

TEST(RenderDeviceTarget, WindowlessDeviceDrawsIntoItsImage)
{
    CSprite target;
    CObjeto2D device;
    device.SetRenderTarget(&target);
    EXPECT_EQ(device.params->bitsPerPixel, 32) << "an image without pixels gets 32 bits";
    ASSERT_EQ(device.CreateDevice(10, 10, nullptr), 0);
    device.SetSize(64, 32);
    ASSERT_NE(target.pixels, nullptr);
    EXPECT_EQ(target.width, 64);
    EXPECT_EQ(target.height, 32);
    EXPECT_EQ(device.GetScreenDepth(), 32);

    device.backgroundColour = 0x204080;
    ASSERT_EQ(device.BeginScene(nullptr), 0);
    device.Clear(true);
    EXPECT_EQ(device.EndScene(), 0);
    EXPECT_EQ(device.Present(nullptr), 0) << "a target device presents nothing";
    EXPECT_EQ(PixelOf(target, 0, 0), 0x204080u);
    EXPECT_EQ(PixelOf(target, 63, 31), 0x204080u);

    // Clears keep to the clip rectangle.
    device.SetClipRect(10, 5, 19, 9);
    EXPECT_EQ(device.params->wholeSurfaceClip, 0);
    device.backgroundColour = 0x00FF00;
    device.Clear(true);
    EXPECT_EQ(PixelOf(target, 10, 5), 0x00FF00u);
    EXPECT_EQ(PixelOf(target, 19, 9), 0x00FF00u);
    EXPECT_EQ(PixelOf(target, 20, 9), 0x204080u);
    EXPECT_EQ(PixelOf(target, 10, 10), 0x204080u);
    device.ResetClipRect();

    CSprite copy;
    ASSERT_TRUE(device.CopyFrameToSprite(&copy));
    ASSERT_EQ(copy.width, 64);
    ASSERT_EQ(copy.height, 32);
    EXPECT_EQ(copy.bitsPerPixel, 32);
    for (int y = 0; y < 32; y++)
        EXPECT_EQ(std::memcmp(copy.pixels + y * copy.stride, target.pixels + y * target.stride, 64 * 4), 0) << y;
}

TEST(RenderDeviceTarget, TheOffscreenTargetStateUsesTheDevicesOwnImage)
{
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(16, 8, nullptr), 0);
    device.SetRenderState(RenderStateOffscreenTarget, 1);
    EXPECT_EQ(device.GetRenderState(RenderStateOffscreenTarget), 1);
    EXPECT_EQ(device.offscreenTarget, &device.ownTarget);
    ASSERT_NE(device.ownTarget.pixels, nullptr);
    EXPECT_EQ(device.ownTarget.width, 16);
    EXPECT_EQ(device.ownTarget.bitsPerPixel, 32);
    device.SetRenderState(RenderStateOffscreenTarget, 0);
    EXPECT_EQ(device.offscreenTarget, nullptr);
    EXPECT_NE(device.LockFrame(), nullptr) << "back on its DirectDraw surface";
    device.UnlockFrame();
}

TEST(RenderDeviceTarget, AccumulationRoundTripsTheBackground)
{
    struct Case {
        int32_t bits;
        int32_t accumulation;
        uint32_t background;
        uint32_t expected;  // in the frame's format
    } cases[] = {
        {32, 2, 0xFFFFFF, 0xFFFFFF},  // pure white stays pure white
        {32, 1, 0x123456, 0x123456},
        {24, 2, 0x123456, 0x123456},
        {16, 1, 0xFFFFFF, 0xFFFF},
        {16, 2, 0xF8FC00, 0xFFE0},
        {15, 1, 0x0000FF, 0x001F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits * 10 + c.accumulation);
        CSprite target;
        ASSERT_TRUE(target.Create(8, 4, c.bits, true, 0, false, true, false));
        CObjeto2D device;
        device.SetRenderTarget(&target);
        ASSERT_EQ(device.CreateDevice(8, 4, nullptr), 0);
        device.SetSize(8, 4);
        device.SetRenderState(RenderStateAccumulation, c.accumulation);
        ASSERT_NE(device.params->accumulationBuffer, nullptr);
        device.backgroundColour = c.background;
        ASSERT_EQ(device.BeginScene(nullptr), 0);
        EXPECT_EQ(device.accumulationPending, 1);
        device.Clear(true);
        const int shift = c.accumulation == 2 ? 4 : 2;
        EXPECT_EQ(device.params->accumulationBuffer[0], (c.background & 0xFF) << shift);
        EXPECT_EQ(device.params->accumulationBuffer[2], ((c.background >> 16) & 0xFF) << shift);
        EXPECT_EQ(PixelOf(target, 3, 2), 0u) << "accumulating: the clear leaves the frame";
        EXPECT_EQ(device.EndScene(), 0);
        EXPECT_EQ(device.accumulationPending, 0);
        EXPECT_EQ(PixelOf(target, 0, 0), c.expected);
        EXPECT_EQ(PixelOf(target, 7, 3), c.expected);
    }
}

}  // namespace
