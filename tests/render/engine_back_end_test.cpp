// The engine's back-end commands as a user gives them: the view moves to Direct3D 9, OpenGL and
// Software and draws there; the user's choice holds against the engine's automatic requests.
// Suites named Hardware* run in the prefix where the hardware back ends exist
// (tools/wine-hardware-run); in the plain prefix both hardware requests end on Software.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "render/directx_probe.h"
#include "tests/render/hardware_test_support.h"

namespace {

constexpr int kViewWidth = 240, kViewHeight = 180;

class EngineBackEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
        m_host = hardware_test::CreateVisibleWindow("EngineBackEndHost", 120, 80, kViewWidth,
                                                    kViewHeight);
        m_engine = std::make_unique<CMainWnd>();
        ASSERT_EQ(m_engine->Initialize(kViewWidth, kViewHeight, m_host, 0), 1);
        ASSERT_EQ(m_engine->m_view.backEnd, RenderSoftware) << "an engine starts on Software";
    }
    void TearDown() override
    {
        if (m_engine)
            m_engine->Shutdown();
        m_engine.reset();
        if (m_host)
            DestroyWindow(m_host);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
    }

    CObjeto2D& View() { return m_engine->m_view; }

    // The view clears to a colour, presents and reads it back.
    void ExpectDraws(uint32_t colour)
    {
        HRESULT presented = E_FAIL;
        EXPECT_EQ(hardware_test::ClearAndReadBack(View(), colour, &presented), colour);
        EXPECT_EQ(presented, S_OK);
        EXPECT_EQ(View().status.load(), 0u);
    }

    HWND m_host = nullptr;
    std::unique_ptr<CMainWnd> m_engine;
};

class HardwareEngineBackEnd : public EngineBackEnd {};

TEST_F(HardwareEngineBackEnd, CommandsMoveTheViewAmongTheBackEndsAndItDraws)
{
    CMainWnd& engine = *m_engine;
    struct Step {
        void (CMainWnd::*command)();
        int32_t backEnd;
        uint32_t colour;
    } const steps[] = {
        {&CMainWnd::UseDirect3D, RenderDirect3D9, 0x3366CC},
        {&CMainWnd::UseOpenGL, RenderOpenGL, 0xC08040},
        {&CMainWnd::UseSoftwareEngine, RenderSoftware, 0x10E020},
        {&CMainWnd::UseOpenGL, RenderOpenGL, 0x602040},
        {&CMainWnd::UseDirect3D, RenderDirect3D9, 0x204060},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.backEnd);
        const int32_t changes = engine.m_changeCount;
        (engine.*step.command)();
        EXPECT_EQ(engine.m_changeCount, changes + 1);
        ASSERT_EQ(View().backEnd, step.backEnd);
        ExpectDraws(step.colour);
    }
    EXPECT_EQ(View().textureDepth, View().params->bitsPerPixel)
        << "hardware textures take the frame's depth";
}

TEST_F(HardwareEngineBackEnd, AutomaticRequestsSwitchUntilTheUserChooses)
{
    CMainWnd& engine = *m_engine;
    // The engine's own request (a document opening, a frame loaded) reaches Direct3D 9.
    EXPECT_TRUE(engine.SelectRenderBackEnd(g_preferredBackEnd, false));
    EXPECT_EQ(View().backEnd, RenderDirect3D9);
    EXPECT_FALSE(engine.SelectRenderBackEnd(RenderDirect3D9, false)) << "already there";
    EXPECT_FALSE(engine.SelectRenderBackEnd(7, false));
    EXPECT_TRUE(engine.SelectRenderBackEnd(RenderSoftware, false));
    EXPECT_EQ(View().backEnd, RenderSoftware);

    engine.UseSoftwareEngine();
    EXPECT_EQ(View().backEnd, RenderSoftware);
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL, RenderSoftware}) {
        SCOPED_TRACE(backEnd);
        EXPECT_FALSE(engine.SelectRenderBackEnd(backEnd, false));
        EXPECT_EQ(View().backEnd, RenderSoftware) << "the user's Software stays";
    }
    ExpectDraws(0x405060);

    // A later choice of the user is still followed.
    engine.UseDirect3D();
    EXPECT_EQ(View().backEnd, RenderDirect3D9);
    EXPECT_FALSE(engine.SelectRenderBackEnd(RenderSoftware, false));
    EXPECT_EQ(View().backEnd, RenderDirect3D9);
    ExpectDraws(0x506070);
}

TEST_F(HardwareEngineBackEnd, Direct3D9IsRefusedForStripFramesAndUnusableDepths)
{
    CMainWnd& engine = *m_engine;
    ASSERT_GE(g_directXLevel.load(), kDirectXLevelDirect3D9);
    CFrame* frame = engine.m_currentFrame;
    const int32_t kind = frame->kind;
    frame->kind = FrameKindStrips;
    EXPECT_FALSE(engine.CanUseDirect3D9());
    EXPECT_FALSE(engine.SelectRenderBackEnd(RenderDirect3D9, false));
    EXPECT_EQ(View().backEnd, RenderSoftware);
    frame->kind = kind;

    const int32_t bytes = View().params->bytesPerPixel;
    for (int32_t depth : {1, 3}) {
        View().params->bytesPerPixel = depth;
        EXPECT_FALSE(engine.CanUseDirect3D9()) << depth << " bytes per pixel";
    }
    View().params->bytesPerPixel = bytes;

    EXPECT_TRUE(engine.CanUseDirect3D9());
    EXPECT_EQ(View().textureDepth, bytes * 8);
    // Once on a hardware back end the answer is yes whatever the frame.
    engine.UseOpenGL();
    ASSERT_EQ(View().backEnd, RenderOpenGL);
    frame->kind = FrameKindStrips;
    EXPECT_TRUE(engine.CanUseDirect3D9());
    frame->kind = kind;
}

// In the plain prefix the DirectX level stops before Direct3D 9: both requests keep Software,
// and the view goes on drawing.
TEST_F(EngineBackEnd, HardwareRequestsEndOnSoftwareBelowDirect3D9)
{
    if (g_directXLevel >= kDirectXLevelDirect3D9)
        GTEST_SKIP() << "this prefix reaches Direct3D 9";
    CMainWnd& engine = *m_engine;
    EXPECT_FALSE(engine.CanUseDirect3D9());
    engine.UseDirect3D();
    EXPECT_EQ(View().backEnd, RenderSoftware);
    ExpectDraws(0x3366CC);
    engine.UseOpenGL();
    EXPECT_EQ(View().backEnd, RenderSoftware);
    ExpectDraws(0xC08040);
    EXPECT_FALSE(engine.SelectRenderBackEnd(g_preferredBackEnd, false));
    EXPECT_EQ(View().backEnd, RenderSoftware);
}

}  // namespace
