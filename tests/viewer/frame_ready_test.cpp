// Frame ready: the meshes each kind of frame gets from its images, the projection, and the
// pictures the player is started with becoming shown frames.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <memory>
#include <string>

#include "core/item_records.h"
#include "core/object_item.h"
#include "render/mesh.h"
#include "test_support.h"

namespace {

// A frame of the kind whose count meshes and images are made by the frame itself, the images
// width x height.
CFrame* MakeFrame(CMainWnd& engine, int kind, int count, int width, int height)
{
    FrameItem* item = static_cast<FrameItem*>(engine.m_frames.CreateItem(ItemType::Frame));
    CFrame* frame = &item->frame;
    frame->CreateGeometry(kind, count, width, height, 0);
    return frame;
}

// A picture of width x height written as a JPEG file (standard coding with jfif).
void WriteJpeg(const std::string& path, int width, int height, bool jfif)
{
    CSprite picture;
    ASSERT_GT(picture.CreateImage(width, height, 24, true, 0x3366CC, false), 0);
    for (int y = 0; y < height; y += 4)
        picture.FillRect(0, y, width - 1, y + 1, 0xCC8844, 100, 0);
    picture.jfif = jfif ? 1 : 0;
    ASSERT_EQ(picture.SaveJPEG(path.c_str(), 90, 101, 1, 64, false, false, false, 0, false, 1,
                               nullptr, 0, 0, 0, 0),
              1);
}

// Handles this thread's messages for the engine until the condition holds (at most 10 s).
template <typename Condition>
bool PumpUntil(CMainWnd& engine, Condition done)
{
    for (int waited = 0; waited < 10000; waited += 10) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message >= WM_USER && message.hwnd == engine.m_messageWnd)
                engine.HandleMessage(message.message, message.wParam, message.lParam);
            else
                DispatchMessageA(&message);
        }
        if (done())
            return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

TEST(FrameReady, SingleImagesTakeTheirShapeFromTheRatio)
{
    struct Case {
        const char* name;
        int kind;
        int width, height;
        int projection;
        int kindAfter;
        int geometry;          // mesh 0's geometry type afterwards
        float vFirst, vLast;   // its vertical range (sphere builds)
        bool transposed;
    };
    const Case cases[] = {
        {"2:1 cylinder becomes a sphere", FrameKindCylindrical, 200, 100, 0, FrameKindSpherical,
         MeshGeometrySphere, 0.0f, 1.0f, false},
        {"2.1:1 stays a cylinder", FrameKindCylindrical, 210, 100, 0, FrameKindCylindrical,
         MeshGeometryCylinder, -1, -1, false},
        {"a wide sphere image becomes a cylinder", FrameKindSpherical, 400, 100, 0,
         FrameKindCylindrical, MeshGeometryCylinder, -1, -1, false},
        {"spherical projection keeps a 4:1 band", FrameKindSpherical, 400, 100, 3,
         FrameKindSpherical, MeshGeometrySphere, 0.25f, 0.75f, false},
        {"cylindrical projection makes a cylinder", FrameKindSpherical, 200, 100, 4,
         FrameKindCylindrical, MeshGeometryCylinder, -1, -1, false},
        {"a portrait lies on its side", FrameKindSpherical, 100, 200, 0, FrameKindSpherical,
         MeshGeometrySphere, -1, -1, true},
        {"polar builds nothing", FrameKindCylindrical, 200, 100, 1, FrameKindCylindrical,
         MeshGeometryCylinder, -1, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_params.projection = c.projection;
        CFrame* frame = MakeFrame(*engine, c.kind, 1, c.width, c.height);
        ASSERT_EQ(frame->meshCount, 1);
        EXPECT_EQ(engine->OnFrameReady(frame, 0), 0);
        EXPECT_EQ(frame->kind, c.kindAfter);
        CObjeto3D* mesh = frame->meshes[0];
        EXPECT_EQ(mesh->geometryType, c.geometry);
        EXPECT_EQ(mesh->ready, 1);
        EXPECT_EQ(mesh->drawing, c.projection == 1 ? 0 : 1);  // what is not built is not drawn
        EXPECT_EQ(mesh->texture1, frame->sprites[0]);
        if (c.vFirst >= 0) {
            EXPECT_NEAR(mesh->vFirst, c.vFirst, 1e-5);
            EXPECT_NEAR(mesh->vLast, c.vLast, 1e-5);
        }
        EXPECT_EQ(frame->sprites[0]->orientation == 1, c.transposed);
        EXPECT_EQ(mesh->transposed == 1, c.transposed);
        EXPECT_EQ(frame->ready, 1);
    }
}

// Six faces side by side are split into a cube only from a ".jpg"; the same strip in another
// file stays one wide panorama.
TEST(FrameReady, ASixToOneStripOutsideAJpegStaysOnePanorama)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* frame = MakeFrame(*engine, FrameKindSpherical, 1, 600, 100);
    frame->sprites[0]->fileName = "strip.png";
    engine->OnFrameReady(frame, 0);
    EXPECT_EQ(frame->kind, FrameKindCylindrical);
    EXPECT_EQ(frame->meshCount, 1);
    EXPECT_EQ(frame->meshes[0]->geometryType, MeshGeometryCylinder);
    EXPECT_EQ(frame->meshes[0]->texture1, frame->sprites[0]);
    EXPECT_EQ(frame->ready, 1);
}

TEST(FrameReady, TheHorizonMovesAWideSphereBandInsideThePoles)
{
    const struct {
        float horizon;
        float top, bottom;
    } cases[] = {{50, 0.25f, 0.75f}, {70, 0.05f, 0.55f}, {100, 0.0f, 0.5f}, {0, 0.5f, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.horizon);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_params.projection = 3;
        engine->m_params.horizonPosition = c.horizon;
        CFrame* frame = MakeFrame(*engine, FrameKindSpherical, 1, 400, 100);
        engine->OnFrameReady(frame, 0);
        EXPECT_NEAR(frame->meshes[0]->vFirst, c.top, 1e-5);
        EXPECT_NEAR(frame->meshes[0]->vLast, c.bottom, 1e-5);
    }
}

TEST(FrameReady, PartialCylindersTurnAndUnknownFramesAreIgnored)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* frame = MakeFrame(*engine, FrameKindCylindrical, 2, 300, 100);
    frame->partialWidth = 120.0f;
    engine->OnFrameReady(frame, 0);
    EXPECT_FLOAT_EQ(frame->meshes[0]->rotY, 330.0f);  // -30, as the angles are kept
    // Each of the two pieces spans a sixth of a turn.
    EXPECT_NEAR(frame->meshes[1]->uFirst, 120.0f / 360.0f, 1e-5);
    EXPECT_EQ(frame->meshes[1]->texture1, frame->sprites[1]);

    CFrame stray;
    stray.CreateGeometry(FrameKindCylindrical, 1, 200, 100, 0);
    engine->OnFrameReady(&stray, 0);
    EXPECT_EQ(stray.ready, 0);
    EXPECT_EQ(stray.kind, FrameKindCylindrical);
    engine->OnFrameReady(nullptr, 0);

    // An image with no size yet builds nothing; the frame still completes.
    CFrame* empty = MakeFrame(*engine, FrameKindSpherical, 1, 0, 0);
    empty->sprites[0] = new CSprite;
    empty->spriteCount = 1;
    engine->OnFrameReady(empty, 0);
    EXPECT_EQ(empty->ready, 1);
}

TEST(FrameReady, FlatAerialAndSceneFramesGetTheirPlanesAndStates)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* flat = MakeFrame(*engine, FrameKindImageGrid, 1, 1, 1);
    delete flat->sprites[0];
    flat->sprites[0] = new CSprite;
    flat->sprites[0]->CreateImage(300, 150, 24, true, 0, false);
    engine->OnFrameReady(flat, 0);
    EXPECT_NEAR(flat->meshes[0]->sizeX, 2 * 165.7f, 1e-3);
    EXPECT_EQ(flat->meshes[0]->texture1, flat->sprites[0]);

    CFrame* aerial = MakeFrame(*engine, FrameKindAerial, 1, 1000, 100);
    engine->OnFrameReady(aerial, 0);
    EXPECT_FLOAT_EQ(aerial->meshes[0]->sizeX, 20000.0f);
    EXPECT_FLOAT_EQ(aerial->meshes[0]->sizeY, 2000.0f);
    EXPECT_FLOAT_EQ(aerial->cameras[0].y, 1200.0f);
    EXPECT_FLOAT_EQ(aerial->cameras[0].tilt, -70.0f);
    EXPECT_EQ(aerial->mouseMode, 3);
    EXPECT_EQ(aerial->aerial, 1);

    // A terrain scene is set up once: the second frame ready finds the fog on.
    CFrame* terrain = MakeFrame(*engine, FrameKindScene, 0, 0, 0);
    terrain->kind = FrameKindScene;
    engine->OnFrameReady(terrain, 0);
    EXPECT_EQ(engine->m_view.GetRenderState(RenderStateFog), 1);
    // Without a mesh to take the sky's folder from, the sky is dropped.
    EXPECT_EQ(terrain->flags & kSceneFlagDefaults, kSceneFlagDefaults & ~FrameSkybox);
    EXPECT_EQ(terrain->progress.GetCount(), 1);
    terrain->flags &= ~kSceneFlagDefaults;
    engine->OnFrameReady(terrain, 0);
    EXPECT_EQ(terrain->flags & kSceneFlagDefaults, 0u);

    // A model scene gets the two lights once.
    CFrame* model = MakeFrame(*engine, FrameKindModel, 0, 0, 0);
    model->kind = FrameKindModel;
    engine->OnFrameReady(model, 0);
    engine->OnFrameReady(model, 0);
    EXPECT_EQ(model->lightCount, 2);
    EXPECT_EQ(engine->m_view.GetRenderState(RenderStateLighting), 1);
}

TEST(FrameReady, TheInvertedProjectionTurnsTheCameraOnce)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* frame = MakeFrame(*engine, FrameKindSpherical, 1, 200, 100);
    engine->m_currentFrame = frame;
    frame->cameras[0].tilt = 10.0f;
    frame->cameras[0].pan = 30.0f;
    engine->m_params.projection = 7;
    engine->ApplyProjection(false);
    engine->ApplyProjection(false);
    EXPECT_FLOAT_EQ(frame->cameras[0].tilt, -10.0f);
    EXPECT_FLOAT_EQ(frame->cameras[0].pan, -30.0f);
    EXPECT_EQ(engine->m_invertPano, 1);
    EXPECT_FLOAT_EQ(engine->m_cameraTargetValues[7], 2.625f * 200.0f);
    // Back to the default once the eye has moved back: turned again.
    frame->cameras[0].pullBack = 525.0f;
    engine->m_params.projection = 0;
    engine->ApplyProjection(false);
    EXPECT_FLOAT_EQ(frame->cameras[0].tilt, 10.0f);
    EXPECT_EQ(engine->m_invertPano, 0);
    EXPECT_EQ(engine->m_appliedProjection, 0);
}

// The player started with a picture: the document's image loads and the frame-ready work makes
// it a sphere; a strip of six faces in a ".jpg" becomes a cube, in a ".png" it does not.
TEST(FrameReady, PicturesGivenToThePlayerBecomeShownFrames)
{
    TempFolder folder;
    struct Case {
        const char* file;
        int width, height;
        int kind;
        int meshes;
    };
    const Case cases[] = {
        {"pano.jpg", 256, 128, FrameKindSpherical, 1},
        {"strip.jpg", 384, 64, FrameKindCubic, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteJpeg(folder.File(c.file), c.width, c.height, true);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_externalWnd.CreateEx(0, RegisterWindowClass(0), "", WS_POPUP,
                                       RECT{0, 0, 10, 10}, nullptr, 0);
        engine->m_messageWnd = engine->m_externalWnd.m_hWnd;
        engine->m_initialized = 1;
        engine->m_documentFile = folder.File(c.file).c_str();
        engine->OpenDocument(0, 0);
        engine->StopUpdateLoop();
        CFrame* frame = &engine->m_firstFrame;
        ASSERT_TRUE(PumpUntil(*engine, [&] {
            frame->UpdateProgress();  // as every tick does
            return frame->ready && frame->kind == c.kind && frame->loadPercent == 100.0f;
        }));
        EXPECT_EQ(frame->meshCount, c.meshes);
        for (int i = 0; i < c.meshes; ++i) {
            SCOPED_TRACE(i);
            CObjeto3D* mesh = frame->meshes[i];
            ASSERT_NE(mesh, nullptr);
            EXPECT_EQ(mesh->drawing, 1);
            ASSERT_NE(mesh->texture1, nullptr);
            EXPECT_EQ(mesh->texture1->width, c.meshes == 1 ? c.width : c.height);
            // The picture's own colour arrived (not a placeholder's black).
            EXPECT_NE(mesh->texture1->GetPixel(1, 2, false) & 0xFFFFFF, 0u);
        }
        engine->m_initialized = 0;
        engine->CancelActivity();
        engine->ClearScene(true);
        engine->m_externalWnd.DestroyWindow();
    }
}
