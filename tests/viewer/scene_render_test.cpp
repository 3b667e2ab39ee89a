// The 3D pass of a frame on the software back end: when the background is filled, that a
// transition draws no cross-fade there, and that a failing mesh draw ends the pass.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "dispatch_support.h"
#include "scene_support.h"

namespace {

constexpr int kW = 64, kH = 48;
constexpr uint32_t kBackground = 0x203040;
constexpr uint32_t kMarker = 0x0A0B0C;

uint32_t PixelAt(const CSprite& image, int x, int y)
{
    const uint8_t* p = image.pixels + y * image.stride + x * 4;
    return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
}

void Fill(CSprite& image, uint32_t colour)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            std::memcpy(image.pixels + y * image.stride + x * 4, &colour, 4);
}

class SceneRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = dispatch_test::CreateTestWindow("LumarixSceneHost", DefWindowProcA, 10, 10);
        ShowWindow(host, SW_SHOWNA);
        engine = std::make_unique<CMainWnd>();
        engine->m_hostWnd = host;
        ASSERT_TRUE(scene_test::AttachImageTarget(engine->m_view, target, kW, kH));
        engine->m_view.SetRenderState(RenderStateCullMode, 0);
        engine->m_view.backgroundColour = kBackground;
    }
    void TearDown() override
    {
        engine.reset();
        DestroyWindow(host);
    }

    // A frame face straight ahead in the colour, marked ready to draw.
    void AddFace(CFrame& frame, CSprite& texture, uint32_t colour)
    {
        ASSERT_TRUE(scene_test::AddFace(frame, texture, colour, colour));
    }

    // Draws the frame over the marker colour: the colour in the middle of the view afterwards.
    uint32_t Render(CFrame* frame, int clearWithColour, HRESULT* result = nullptr)
    {
        Fill(target, kMarker);
        EXPECT_EQ(engine->m_view.BeginScene(nullptr), 0);
        const HRESULT r = engine->RenderFrame(&engine->m_view, frame, clearWithColour);
        engine->m_view.EndScene();
        if (result)
            *result = r;
        return PixelAt(target, kW / 2, kH / 2);
    }

    HWND host = nullptr;
    std::unique_ptr<CMainWnd> engine;
    CSprite target;
};

TEST_F(SceneRender, TheBackgroundIsFilledUnlessAPanoramaCoversTheView)
{
    struct Case {
        const char* name;
        int32_t kind;
        bool image;
        int32_t projection;
        int clearWithColour;
        bool filled;
    };
    const Case cases[] = {
        {"empty scene", FrameKindSpherical, false, 0, 1, true},
        {"spherical image", FrameKindSpherical, true, 0, 1, false},
        {"cube", FrameKindCubic, true, 0, 1, false},
        {"cylinder", FrameKindCylindrical, true, 0, 1, false},
        {"fisheye", FrameKindFisheye, true, 0, 1, false},
        {"one-shot leaves gaps", FrameKindOneShot, true, 0, 1, true},
        {"image grid", FrameKindImageGrid, true, 0, 1, true},
        {"3D scene", FrameKindScene, true, 0, 1, true},
        {"camera frame keeps the flag", FrameKindCamera, true, 0, 1, true},
        {"camera frame, no colour asked", FrameKindCamera, true, 0, 0, false},
        {"little planet shows the sky round it", FrameKindSpherical, true, 7, 1, true},
        {"inverted projection", FrameKindCubic, true, 8, 1, true},
        {"fisheye projection still covers", FrameKindSpherical, true, 6, 1, false},
        {"no colour asked", FrameKindScene, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = std::make_unique<CFrame>();
        frame->kind = c.kind;
        CSprite image;
        if (c.image) {
            ASSERT_EQ(image.CreateImage(4, 4, 32, true, 0, false), 4);
        }
        frame->AppendBorrowedSprite(&image);
        engine->m_params.projection = c.projection;
        EXPECT_EQ(Render(frame.get(), c.clearWithColour), c.filled ? kBackground : kMarker);
        frame->Unload();
    }
}

TEST_F(SceneRender, NothingIsDrawnWhileTheHostIsHiddenOrTheDeviceMinimised)
{
    auto frame = std::make_unique<CFrame>();
    ShowWindow(host, SW_HIDE);
    EXPECT_EQ(Render(frame.get(), 1), kMarker);
    ShowWindow(host, SW_SHOWNA);
    EXPECT_EQ(Render(frame.get(), 1), kBackground);
    EXPECT_EQ(engine->m_paintRegion.right, kW);
    EXPECT_EQ(engine->m_paintRegion.bottom, kH);
}

TEST_F(SceneRender, TheSoftwareBackEndDrawsNoCrossFade)
{
    auto leaving = std::make_unique<CFrame>();
    auto entering = std::make_unique<CFrame>();
    CSprite red;
    AddFace(*leaving, red, 0xC02020);
    leaving->kind = entering->kind = FrameKindScene;
    engine->m_leavingFrame = leaving.get();
    engine->m_enteringFrame = entering.get();
    engine->m_transitionState = 1;
    for (int alpha : {255, 128, 0}) {
        SCOPED_TRACE(alpha);
        engine->m_transitionAlpha = alpha;
        EXPECT_EQ(Render(entering.get(), 1), kBackground) << "the frame left is not drawn";
    }
    engine->m_leavingFrame = nullptr;
    engine->m_enteringFrame = nullptr;
    engine->m_transitionState = 0;
}

TEST_F(SceneRender, AFailingDrawEndsThePass)
{
    auto frame = std::make_unique<CFrame>();
    frame->kind = FrameKindScene;
    CSprite broken, green;
    AddFace(*frame, broken, 0xC02020);
    AddFace(*frame, green, 0x20C020);
    // An image that must leave Direct3D textures while its load is cancelled cannot be had.
    broken.textureMode = SpriteTextureDirect3D;
    broken.abortWord = SpriteAbortCancel;

    HRESULT result = 0;
    EXPECT_EQ(Render(frame.get(), 1, &result), kBackground) << "the second mesh is not drawn";
    EXPECT_NE(result, 0);

    broken.abortWord = 0;
    broken.textureMode = SpriteTextureMemory;
    EXPECT_EQ(Render(frame.get(), 1, &result), 0x20C020u) << "both drawn, the later on top";
    EXPECT_EQ(result, 0);
}

TEST_F(SceneRender, MeshesNotReadyAreSkipped)
{
    auto frame = std::make_unique<CFrame>();
    frame->kind = FrameKindScene;
    CSprite green;
    AddFace(*frame, green, 0x20C020);
    frame->meshes[0]->drawing = 0;
    EXPECT_EQ(Render(frame.get(), 1), kBackground);
}

}  // namespace
