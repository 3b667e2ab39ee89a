// The render device's defaults and render states: what a new device holds, how each state reads
// back, the state-bit word, and the states that allocate buffers or move the far plane.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

TEST(RenderDeviceStates, DefaultsOfANewDevice)
{
    CObjeto2D device;
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(device.backEnd, RenderSoftware);
    EXPECT_EQ(device.window, nullptr);
    EXPECT_EQ(device.params, &device.renderParams);
    EXPECT_EQ(device.params->stateBits, 0x1834B86u);
    EXPECT_EQ(device.params->width, 100);
    EXPECT_EQ(device.params->height, 100);
    EXPECT_FLOAT_EQ(device.params->nearZ, 1.0f);
    EXPECT_FLOAT_EQ(device.params->farZ, 10000.0f);
    EXPECT_EQ(device.params->colourMultiply, 0xFFFFFFu);
    EXPECT_NE(device.params->workBuffer, nullptr);
    EXPECT_EQ(device.params->camera, &device.ownCamera);
    EXPECT_FLOAT_EQ(device.ownCamera.zoom, 1.0f);
    EXPECT_EQ(device.presentOffset.right, 10);
    EXPECT_EQ(device.presentOffset.bottom, 10);
    EXPECT_EQ(device.axisMode, 1);
    EXPECT_EQ(device.colourWriteMask, 0xFFFFFFu);
    EXPECT_EQ(device.pendingBlendState, 4u);
    EXPECT_EQ(device.appliedBlendState, 4u);
    ASSERT_NE(device.whiteImage.pixels, nullptr);
    EXPECT_EQ(device.whiteImage.width, 32);
    EXPECT_EQ(device.whiteImage.GetPixel(31, 31, false) & 0xFFFFFF, 0xFFFFFFu);
    ASSERT_NE(device.redImage.pixels, nullptr);
    EXPECT_EQ(device.redImage.GetPixel(0, 0, false) & 0xFFFFFF, 0xFF0000u);
}

TEST(RenderDeviceStates, EveryStateReadsBackItsDefault)
{
    struct Case {
        int32_t type;
        int32_t value;
    } cases[] = {
        {RenderStateBackEnd, RenderSoftware}, {RenderStateZBuffer, 0},
        {RenderStateDepthTest, 1},            {RenderStateDepthFunc, 0x30000},
        {RenderStateBilinear, 0},             {RenderStateAccumulation, 0},
        {RenderStateFillMode, 2},             {RenderStateCullMode, 0x1000000},
        {RenderStateAmbient, -1},             {RenderStateColorVertex, 1},
        {RenderStateLighting, 0},             {RenderStateSpecular, 1},
        {RenderStateFog, 0},                  {RenderStateFogStart, 3334},
        {RenderStateFogEnd, 10000},           {RenderStateFogColor, 0},
        {RenderStateDepthBias, 0},            {RenderStateProjectionWidth, 0},
        {RenderStateProjectionHeight, 0},     {RenderStateOffscreenTarget, 0},
        {RenderStateVerticalSync, 0},         {RenderStateDiffuseAlpha, 0},
        {22, 22},                             {-3, -3},
    };
    CObjeto2D device;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(device.GetRenderState(c.type), c.value);
    }
}

TEST(RenderDeviceStates, FlagsSetTheirBitsAndReadBackAsZeroOrOne)
{
    struct Case {
        int32_t type;
        uint32_t bit;
    } cases[] = {
        {RenderStateDepthTest, 0x80},     {RenderStateBilinear, 0x8},
        {RenderStateColorVertex, 0x4000}, {RenderStateLighting, 0x1000},
        {RenderStateSpecular, 0x800},     {RenderStateFog, 0x400},
        {RenderStateVerticalSync, 0x2000}, {RenderStateDiffuseAlpha, 0x8000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        CObjeto2D device;
        device.SetRenderState(c.type, 0);
        EXPECT_EQ(device.params->stateBits & c.bit, 0u);
        EXPECT_EQ(device.SetRenderState(c.type, 7), 0) << "answers the previous value";
        EXPECT_EQ(device.params->stateBits & c.bit, c.bit);
        EXPECT_EQ(device.GetRenderState(c.type), 1);
    }
}

TEST(RenderDeviceStates, ValuedStatesKeepTheirFieldsInTheStateWord)
{
    CObjeto2D device;
    device.SetRenderState(RenderStateDepthFunc, 0x70000);
    device.SetRenderState(RenderStateFillMode, 1);
    device.SetRenderState(RenderStateCullMode, 0x2000000);
    EXPECT_EQ(device.params->stateBits & 0x3070003u, 0x2070001u);
    EXPECT_EQ(device.GetRenderState(RenderStateDepthFunc), 0x70000);

    // Bilinear off sets the two-texel filter bit and ORs in the owner's filter bits.
    device.params->stateBits &= ~0x100u;
    device.filterBits = 0x400000;
    device.SetRenderState(RenderStateBilinear, 1);
    EXPECT_EQ(device.params->stateBits & 0x400108u, 0x400008u);
    device.SetRenderState(RenderStateBilinear, 0);
    EXPECT_EQ(device.params->stateBits & 0x400108u, 0x400100u);

    device.SetRenderState(RenderStateDepthBias, 5);
    EXPECT_EQ(device.GetRenderState(RenderStateDepthBias), 5);
    device.SetRenderState(RenderStateFogColor, 0x123456);
    EXPECT_EQ(device.GetRenderState(RenderStateFogColor), 0x123456);
    device.SetRenderState(RenderStateAmbient, 0x808080);
    EXPECT_EQ(device.ambientColour, 0x808080u);

    // Negative projection sizes are ignored.
    device.SetRenderState(RenderStateProjectionWidth, -5);
    EXPECT_EQ(device.GetRenderState(RenderStateProjectionWidth), 0);
    // Types outside 0-21 change nothing.
    uint32_t bits = device.params->stateBits;
    EXPECT_EQ(device.SetRenderState(40, 1), 40);
    EXPECT_EQ(device.params->stateBits, bits);
}

TEST(RenderDeviceStates, ZBufferAndAccumulationAllocateTheirBuffers)
{
    CObjeto2D device;
    device.SetRenderState(RenderStateZBuffer, 1);
    EXPECT_EQ(device.GetRenderState(RenderStateZBuffer), 1);
    EXPECT_NE(device.params->depthBuffer, nullptr);
    device.SetRenderState(RenderStateZBuffer, 0);
    EXPECT_EQ(device.params->depthBuffer, nullptr);

    device.SetRenderState(RenderStateAccumulation, 2);
    EXPECT_EQ(device.params->stateBits & 0x30u, 0x20u);
    EXPECT_NE(device.params->accumulationBuffer, nullptr);
    device.SetRenderState(RenderStateAccumulation, 3);
    EXPECT_EQ(device.GetRenderState(RenderStateAccumulation), 2) << "3 or more is ignored";
    device.SetRenderState(RenderStateAccumulation, 1);
    EXPECT_EQ(device.params->stateBits & 0x30u, 0x10u);
    device.SetRenderState(RenderStateAccumulation, 0);
    EXPECT_EQ(device.params->accumulationBuffer, nullptr);
    EXPECT_EQ(device.params->stateBits & 0x30u, 0u);
}

void* FailAllocation(size_t)
{
    return nullptr;
}

TEST(RenderDeviceStates, BuffersThatCannotBeHadLeaveTheirStatesOff)
{
    CObjeto2D device;
    g_renderSystem.allocate = FailAllocation;
    device.SetRenderState(RenderStateZBuffer, 1);
    device.SetRenderState(RenderStateAccumulation, 1);
    g_renderSystem = DefaultRenderDeviceSystem();
    EXPECT_EQ(device.GetRenderState(RenderStateZBuffer), 0);
    EXPECT_EQ(device.GetRenderState(RenderStateAccumulation), 0);
    EXPECT_EQ(device.params->depthBuffer, nullptr);
    EXPECT_EQ(device.params->accumulationBuffer, nullptr);
}

TEST(RenderDeviceStates, FogMovesTheFarPlaneToFogEnd)
{
    CObjeto2D device;
    device.SetRenderState(RenderStateFogEnd, 500);
    EXPECT_FLOAT_EQ(device.params->farZ, 10000.0f) << "fog is off";
    device.SetRenderState(RenderStateFog, 1);
    EXPECT_FLOAT_EQ(device.params->farZ, 500.0f);
    device.SetRenderState(RenderStateFogEnd, 2000);
    EXPECT_FLOAT_EQ(device.params->farZ, 2000.0f);
    // m22 = far / (far - near) follows.
    EXPECT_FLOAT_EQ(device.matrices.projection[10], 2000.0f / 1999.0f);
}

}  // namespace

namespace {

TEST(RenderDeviceStates, WaitForIdleWaitsForTheDrawingCounterThenEmptiesTheCaches)
{
    CObjeto2D device;
    CameraState other;
    device.params->camera = &other;
    other.sequence = reinterpret_cast<CameraSequence*>(&other);
    device.ownCamera.sequence = reinterpret_cast<CameraSequence*>(&device);
    device.spanCount = 5;
    device.centreOffsetX = 3;
    device.drawingCount = 1;
    std::atomic<uint32_t> statusSeen{0};
    std::thread drawer([&] {
        Sleep(60);
        statusSeen = device.status.load();
        device.drawingCount = 0;
    });
    device.WaitForIdle(false);
    drawer.join();
    EXPECT_TRUE(statusSeen.load() & DeviceWaitingForIdle);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(other.sequence, nullptr);
    EXPECT_EQ(device.ownCamera.sequence, nullptr);
    EXPECT_EQ(device.spanCount, 0);
    EXPECT_EQ(device.centreOffsetX, 0);
}

TEST(RenderDeviceStates, AskingForAHardwareBackEndEndsOnSoftware)
{
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(32, 32, nullptr), 0);
    device.automaticVerticalSync = 1;
    device.SetRenderState(RenderStateVerticalSync, 1);
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(backEnd);
        EXPECT_EQ(device.SetRenderState(RenderStateBackEnd, backEnd), RenderSoftware);
        EXPECT_EQ(device.GetRenderState(RenderStateBackEnd), RenderSoftware);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_EQ(device.params->width, 32);
        EXPECT_EQ(device.GetRenderState(RenderStateVerticalSync), 0) << "automatic: off on Software";
        EXPECT_NE(device.LockFrame(), nullptr);
        device.UnlockFrame();
    }
}

}  // namespace
