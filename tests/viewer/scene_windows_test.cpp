// The views beside the main one on the software back end: a secondary viewer window that names
// no frame shows the current frame and is drawn again only when something changed; the
// viewfinder magnifies the view around its point.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/item_records.h"
#include "dispatch_support.h"
#include "render/hardware_test_support.h"
#include "scene_support.h"
#include "viewer/viewer_window.h"
#include "viewer_test_support.h"

namespace {

constexpr int kViewW = 200, kViewH = 150;
constexpr uint32_t kRed = 0xC02020, kBlue = 0x2020C0;
constexpr uint32_t kMarker = 0x0A0B0C;

void MarkPixel(CObjeto2D& device, int x, int y)
{
    uint8_t* frame = device.LockFrame();
    ASSERT_NE(frame, nullptr);
    uint8_t* p = frame + static_cast<ptrdiff_t>(y) * device.params->stride +
                 static_cast<ptrdiff_t>(x) * device.params->bytesPerPixel;
    p[0] = kMarker & 0xFF;
    p[1] = (kMarker >> 8) & 0xFF;
    p[2] = (kMarker >> 16) & 0xFF;
    device.UnlockFrame();
}

// An initialised engine on a shown host, its current frame a face straight ahead, red on the
// left and blue on the right, seen through the frame's view camera.
class SceneWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = dispatch_test::CreateTestWindow("LumarixSceneWindows", DefWindowProcA, kViewW, kViewH);
        ShowWindow(host, SW_SHOWNA);
        engine = std::make_unique<CMainWnd>();
        ASSERT_EQ(engine->Initialize(kViewW, kViewH, host, 0), 1);
        viewer_test::Pump();
        frame = std::make_unique<CFrame>();
        frame->kind = FrameKindScene;
        ASSERT_TRUE(scene_test::AddFace(*frame, texture, kRed, kBlue));
        frame->cameras[0].zoom = 1;
        engine->m_currentFrame = frame.get();
        engine->m_view.SetRenderState(RenderStateCullMode, 0);
        engine->m_view.params->camera = &frame->cameras[0];
        engine->m_view.UpdateProjection();
        engine->m_view.UpdateViewMatrix();
    }
    void TearDown() override
    {
        engine->m_currentFrame = &engine->m_firstFrame;
        engine->m_view.params->camera = &engine->m_view.ownCamera;
        engine->Shutdown();
        engine.reset();
        frame->Unload();
        DestroyWindow(host);
    }

    HWND host = nullptr;
    std::unique_ptr<CMainWnd> engine;
    std::unique_ptr<CFrame> frame;
    CSprite texture;
};

TEST_F(SceneWindows, AViewerWindowShowsTheCurrentFrameAndIsDrawnAgainOnlyOnChange)
{
    ViewerWindowItem* viewer =
        static_cast<ViewerWindowItem*>(engine->m_images[0].CreateItem(ItemType::ViewerWindow));
    ASSERT_NE(viewer, nullptr);
    ObjectItem* object = static_cast<ObjectItem*>(frame->objects.CreateItem(ItemType::ViewerWindowObject));
    object->number = viewer->number;
    object->showFlags = ObjectShown;
    object->drawWidth = 80;
    object->drawHeight = 60;
    object->fontItemName = "no such frame";
    object->textColor = 12;  // past the frame's cameras: the view camera
    // Shown as entering the frame shows it: a window of its own, listed among those shown.
    const RECT place = {300, 40, 380, 100};
    ASSERT_TRUE(viewer->window.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE, place, nullptr, 0));
    ObjectItem* shown =
        static_cast<ObjectItem*>(engine->m_shownViewerWindows.CreateItem(ItemType::ViewerWindowObject));
    ASSERT_NE(shown, nullptr);
    shown->linkedObject = object;

    // Turned a little left of the face's middle: the red half in the window's centre.
    frame->cameras[0].pan = 10;
    engine->m_changeCount = 1;
    engine->RenderViewerWindows();
    ASSERT_NE(viewer->window.device, nullptr) << "the device comes with the first drawing";
    CObjeto2D& device = *viewer->window.device;
    EXPECT_EQ(device.params->width, 80);
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kRed);
    EXPECT_EQ(viewer->lastCamera.pan, 10.0f);

    // Nothing changed and the camera stands still: the window is not drawn.
    MarkPixel(device, 40, 30);
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kMarker);
    engine->m_changeCount = 0;
    engine->RenderViewerWindows();
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kMarker);

    // A counted change draws it, and so does a moved camera alone.
    engine->m_changeCount = 1;
    engine->RenderViewerWindows();
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kRed);
    MarkPixel(device, 40, 30);
    engine->m_changeCount = 0;
    frame->cameras[0].pan = -10;
    engine->RenderViewerWindows();
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kBlue);

    // The object's own turn adds to the camera's.
    object->rotY = 20;
    engine->RenderViewerWindows();
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kBlue) << "the camera stood still: not drawn";
    engine->m_changeCount = 1;
    engine->RenderViewerWindows();
    EXPECT_EQ(hardware_test::ReadBackPixel(device, 40, 30), kRed);

    viewer->window.DestroyWindow();
}

uint32_t ImagePixel(const CSprite& image, int x, int y)
{
    const uint8_t* p = image.pixels + static_cast<ptrdiff_t>(y) * image.stride + static_cast<ptrdiff_t>(x) * 4;
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

// The column of the viewfinder image, on row y, where the face's red half gives way to blue (the
// first where blue is at least as strong as red: the middle of a filtered edge).
int RedToBlueColumn(const CSprite& image, int y)
{
    for (int x = 3; x < image.width - 3; x++) {
        const uint32_t colour = ImagePixel(image, x, y);
        if ((colour & 0xFF) >= (colour >> 16 & 0xFF))
            return x;
    }
    return -1;
}

TEST_F(SceneWindows, TheViewfinderMagnifiesTheViewAroundItsPointUnderItsFrame)
{
    // Made at start-up: the image and its depth image at the overlay's size, the block drawing
    // into them.
    CSprite& image = engine->m_viewfinderImage;
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_EQ(image.width, 256);
    ASSERT_EQ(image.height, 180);
    EXPECT_EQ(engine->m_viewfinderDepth.width, 256);
    EXPECT_EQ(engine->m_viewfinderParams.pixels, image.pixels);
    EXPECT_EQ(engine->m_viewfinderZoom, 2.0f);

    // The face's red and blue halves meet in the middle of the main view (x 100). The viewfinder
    // centred 10 pixels left of it shows the meeting 10 x zoom pixels right of its own middle.
    engine->m_viewfinderPos = {kViewW / 2 - 10, kViewH / 2};
    const int row = 40;  // clear of the overlay's cross
    MarkPixel(engine->m_view, 40, 30);
    engine->RenderViewfinder();
    EXPECT_EQ(hardware_test::ReadBackPixel(engine->m_view, 40, 30), kMarker) << "the main view is not drawn";
    EXPECT_NEAR(RedToBlueColumn(image, row), 128 + 20, 1) << "2x around the point";
    EXPECT_EQ(ImagePixel(image, 20, 10), kRed) << "the drawing shows where the overlay is white";
    const uint32_t outline = ImagePixel(image, 0, row);
    EXPECT_TRUE(outline != kRed && outline != kBlue) << "the overlay's outline lies over it";
    engine->m_viewfinderPos = {kViewW / 2 + 10, kViewH / 2};
    engine->RenderViewfinder();
    EXPECT_NEAR(RedToBlueColumn(image, row), 128 - 20, 1);

    engine->m_viewfinderZoom = 3.0f;
    engine->m_viewfinderPos = {kViewW / 2 - 10, kViewH / 2};
    engine->RenderViewfinder();
    EXPECT_NEAR(RedToBlueColumn(image, row), 128 + 30, 1) << "the wheel's zoom";

    // The main view is left as it was: its block, its centre and its own projection.
    EXPECT_EQ(engine->m_view.params, &engine->m_view.renderParams);
    EXPECT_EQ(engine->m_view.projectionWidth, 0);
    EXPECT_EQ(engine->m_view.centreOffsetX, 0);
}

}  // namespace
