// The cross-fade of a transition on Direct3D 9: the frame left is drawn whole, the frame entered
// over it at the opacity the fade has reached; a frame no longer in the tour is not drawn.
// Suites named Hardware* run in the prefix where the hardware back ends exist
// (tools/wine-hardware-run).
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "render/directx_probe.h"
#include "tests/render/hardware_test_support.h"
#include "tests/viewer/scene_support.h"

namespace {

constexpr int kViewWidth = 200, kViewHeight = 150;
constexpr uint32_t kRed = 0xC02020, kBlue = 0x2020C0, kBackground = 0x000000;

int Channel(uint32_t colour, int shift)
{
    return static_cast<int>((colour >> shift) & 0xFF);
}

class HardwareSceneCrossFade : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
        m_host = hardware_test::CreateVisibleWindow("SceneCrossFadeHost", 120, 80, kViewWidth,
                                                    kViewHeight);
        m_engine = std::make_unique<CMainWnd>();
        ASSERT_EQ(m_engine->Initialize(kViewWidth, kViewHeight, m_host, 0), 1);
        m_engine->UseDirect3D();
        ASSERT_EQ(m_engine->m_view.backEnd, RenderDirect3D9);
        m_engine->m_view.SetRenderState(RenderStateCullMode, 0);
        m_engine->m_view.backgroundColour = kBackground;

        // The frame left is the tour's first frame, a red face ahead; the frame entered a blue
        // face, both seen through their view cameras at zoom 1.
        m_leaving = &m_engine->m_firstFrame;
        ASSERT_TRUE(scene_test::AddFace(*m_leaving, m_redTexture, kRed, kRed));
        ASSERT_TRUE(scene_test::AddFace(m_entering, m_blueTexture, kBlue, kBlue));
        for (CFrame* frame : {m_leaving, &m_entering, &m_stranger}) {
            frame->kind = FrameKindScene;
            frame->cameras[0].zoom = 1;
        }
        ASSERT_TRUE(scene_test::AddFace(m_stranger, m_strangerTexture, kRed, kRed));
        m_engine->m_currentFrame = &m_entering;
        m_engine->m_leavingFrame = m_leaving;
        m_engine->m_enteringFrame = &m_entering;
        m_engine->m_transitionState = 1;
    }
    void TearDown() override
    {
        if (m_engine) {
            m_engine->m_leavingFrame = nullptr;
            m_engine->m_enteringFrame = nullptr;
            m_engine->m_transitionState = 0;
            m_engine->m_currentFrame = &m_engine->m_firstFrame;
            m_engine->m_view.params->camera = &m_engine->m_view.ownCamera;
            m_engine->UseSoftwareEngine();
            m_entering.Unload();
            m_stranger.Unload();
            m_engine->Shutdown();
        }
        m_engine.reset();
        if (m_host)
            DestroyWindow(m_host);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
    }

    // One pass at the fade's alpha: the colour in the middle of the view.
    uint32_t RenderAt(int32_t alpha)
    {
        CObjeto2D& view = m_engine->m_view;
        m_engine->m_transitionAlpha = alpha;
        if (view.BeginScene(nullptr) != 0)
            return 0xFFFFFFFF;
        EXPECT_EQ(m_engine->RenderFrame(&view, &m_entering, 1), 0);
        const uint32_t pixel = hardware_test::ReadBackPixel(view, kViewWidth / 2, kViewHeight / 2);
        view.EndScene();
        view.Present(nullptr);
        return pixel;
    }

    HWND m_host = nullptr;
    std::unique_ptr<CMainWnd> m_engine;
    CFrame* m_leaving = nullptr;
    CFrame m_entering;
    CFrame m_stranger;  // a frame that is not in the tour
    CSprite m_redTexture, m_blueTexture, m_strangerTexture;
};

TEST_F(HardwareSceneCrossFade, TheFrameEnteredIsDrawnOverTheFrameLeftAtTheFadesOpacity)
{
    ASSERT_GE(g_directXLevel.load(), kDirectXLevelDirect3D9);
    EXPECT_EQ(RenderAt(255), kRed) << "the fade has not started: the frame left alone";
    EXPECT_EQ(RenderAt(0), kBlue) << "at alpha 0 the frame entered at full opacity";

    // Between, the frame entered at (255 - alpha) x 100 / 255 percent over the red.
    for (int32_t alpha : {64, 128, 192}) {
        SCOPED_TRACE(alpha);
        const int opacity = (255 - alpha) * 100 / 255;
        const uint32_t pixel = RenderAt(alpha);
        for (int shift : {16, 8, 0}) {
            const int expected = (Channel(kBlue, shift) * opacity + Channel(kRed, shift) * (100 - opacity)) / 100;
            EXPECT_NEAR(Channel(pixel, shift), expected, 6) << std::hex << pixel;
        }
    }
}

TEST_F(HardwareSceneCrossFade, AFrameNoLongerInTheTourIsNotDrawn)
{
    ASSERT_GE(g_directXLevel.load(), kDirectXLevelDirect3D9);
    m_engine->m_leavingFrame = &m_stranger;
    EXPECT_EQ(RenderAt(255), kBackground) << "nothing of the unknown frame";
    const uint32_t half = RenderAt(128);
    EXPECT_LT(Channel(half, 16), 0x30) << "no red under the half-faded blue: " << std::hex << half;
    EXPECT_GT(Channel(half, 0), 0x40);

    // With no frame entered named, the frame given is the one drawn over the frame left.
    m_engine->m_leavingFrame = m_leaving;
    m_engine->m_enteringFrame = nullptr;
    EXPECT_EQ(RenderAt(0), kBlue);
}

}  // namespace
