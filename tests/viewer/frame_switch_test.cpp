// Frame switching and frame memory: what a switch keeps and releases of the frame left, the
// refusals, the bounded wait for a drawing pass, the frames' object passes and the sweep.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "core/item_records.h"
#include "core/object_item.h"
#include "render/mesh.h"

namespace {

CFrame* AddFrame(CMainWnd& engine, const char* name, int sourceKind = SourceCylinder)
{
    FrameItem* item = static_cast<FrameItem*>(engine.m_frames.CreateItem(ItemType::Frame));
    item->frame.name = name;
    item->frame.sourceKind = sourceKind;
    return &item->frame;
}

// A loaded image item of level 0 (its picture made, its load done).
ImageItem* AddImage(CMainWnd& engine, const char* name)
{
    ImageItem* image = static_cast<ImageItem*>(engine.m_images[0].CreateItem(ItemType::Image));
    image->name = name;
    image->sprite.fileName = name;
    image->sprite.CreateImage(8, 8, 24, true, 0x102030, false);
    image->sprite.progress = 100;
    return image;
}

// An image object of the frame showing the image item.
void ShowImage(CFrame* frame, const ImageItem* image)
{
    ObjectItem* object = static_cast<ObjectItem*>(frame->objects.CreateItem(ItemType::ImageObject));
    object->number = image->number;
}

// The "panorama" events waiting in the host event ring, with the last one's value.
int PanoramaEvents(CMainWnd& engine, CTexto* last = nullptr)
{
    int count = 0;
    for (int i = engine.m_hostEventRead; i != engine.m_hostEventWrite; i = (i + 1) % 20) {
        if (engine.m_hostEventNames[i] == "panorama") {
            ++count;
            if (last)
                *last = engine.m_hostEventValues[i];
        }
    }
    return count;
}

}  // namespace

TEST(FrameSwitch, NoOpSwitchesAnswerZeroAndChangeNothing)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* a = AddFrame(*engine, "a");
    AddFrame(*engine, "b");
    EXPECT_EQ(engine->GoToFrame(0), 0);
    EXPECT_EQ(engine->m_currentFrame, a);
    EXPECT_EQ(engine->m_currentFrameIndex, 0);
    EXPECT_EQ(a->flags & FrameWasCurrent, FrameWasCurrent);
    for (int index : {0, 2, -1, 99}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(engine->GoToFrame(index), 0);
        EXPECT_EQ(engine->m_currentFrame, a);
        EXPECT_EQ(engine->m_currentFrameIndex, 0);
    }
    EXPECT_EQ(engine->m_enteringFrame, nullptr);
    EXPECT_EQ(engine->m_view.status & DeviceFrameSwitch, 0u);
    // One "panorama" event for the one switch that happened.
    CTexto last;
    EXPECT_EQ(PanoramaEvents(*engine, &last), 1);
    EXPECT_STREQ(last.GetText(), "a");
}

TEST(FrameSwitch, SharedImagesStayAndTheOthersAreFreed)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* a = AddFrame(*engine, "a");
    CFrame* b = AddFrame(*engine, "b");
    ImageItem* shared = AddImage(*engine, "shared.png");
    ImageItem* onlyA = AddImage(*engine, "a.png");
    ImageItem* onlyB = AddImage(*engine, "b.png");
    ShowImage(a, shared);
    ShowImage(a, onlyA);
    ShowImage(b, shared);
    ShowImage(b, onlyB);
    ASSERT_EQ(engine->GoToFrame(0), 0);
    ASSERT_EQ(engine->GoToFrame(1), 0);
    EXPECT_EQ(engine->m_currentFrame, b);
    EXPECT_NE(shared->sprite.pixels, nullptr);
    EXPECT_EQ(onlyA->sprite.pixels, nullptr);
    EXPECT_NE(onlyB->sprite.pixels, nullptr);
    EXPECT_EQ(shared->inUse, 1);
    EXPECT_EQ(onlyA->inUse, 0);
    // The frame left was unloaded; the frame entered is activated.
    EXPECT_EQ(a->kind, FrameKindNone);
    EXPECT_EQ(b->flags & FrameActivated, FrameActivated);
}

TEST(FrameSwitch, CachedFramesKeepTheirImageryOnlyWhenComplete)
{
    for (float percent : {100.0f, 99.0f}) {
        SCOPED_TRACE(percent);
        auto engine = std::make_unique<CMainWnd>();
        CFrame* a = AddFrame(*engine, "a");
        AddFrame(*engine, "b");
        ASSERT_EQ(engine->GoToFrame(0), 0);
        a->CreateGeometry(FrameKindCylindrical, 1, 10, 10, 0);
        a->flags |= FrameCached;
        a->TrackSpriteProgress(a->sprites[0], ProgressWeightNormal);
        a->loadPercent = percent;
        ASSERT_EQ(engine->GoToFrame(1), 0);
        // Not unloaded when left, either way.
        EXPECT_EQ(a->meshCount, 1);
        if (percent == 100.0f) {
            EXPECT_EQ(a->flags & FrameKeptLoaded, FrameKeptLoaded);
            EXPECT_EQ(a->progress.GetCount(), 1);
        } else {
            EXPECT_EQ(a->flags & FrameKeptLoaded, 0u);
            EXPECT_EQ(a->progress.GetCount(), 0);
            EXPECT_FLOAT_EQ(a->loadPercent, 0.0f);
            EXPECT_STREQ(engine->m_progressText.GetText(), "0");
        }
        // Entering a kept-loaded frame again asks for its frame-ready work at once (posted to
        // the engine's window, which this engine does not have: nothing loads here).
        ASSERT_EQ(engine->GoToFrame(0), 0);
        EXPECT_EQ(engine->m_currentFrame, a);
        EXPECT_EQ(a->meshCount, percent == 100.0f ? 1 : 0);
    }
}

TEST(FrameSwitch, FadesAreRefusedCutOrLeftOutAsTheirKindSays)
{
    // A fade that waits for its entering frame refuses a new switch once that frame loads.
    {
        auto engine = std::make_unique<CMainWnd>();
        CFrame* a = AddFrame(*engine, "a");
        CFrame* b = AddFrame(*engine, "b");
        AddFrame(*engine, "c");
        ASSERT_EQ(engine->GoToFrame(0), 0);
        engine->m_transitionKind = 2;
        engine->m_transitionState = 1;
        engine->m_enteringFrame = b;
        b->loadPercent = 10.0f;
        EXPECT_EQ(engine->GoToFrame(2), 1);
        EXPECT_EQ(engine->m_currentFrame, a);
        EXPECT_EQ(engine->m_transitionState, 1);
        EXPECT_EQ(engine->m_view.status & DeviceFrameSwitch, 0u);
        // Not loading yet: the fade is abandoned and the switch goes on.
        b->loadPercent = 0.0f;
        EXPECT_EQ(engine->GoToFrame(2), 0);
        EXPECT_STREQ(engine->m_currentFrame->name.GetText(), "c");
        EXPECT_EQ(engine->m_transitionState, 0);
    }
    // Any other kind is cut: the frame being entered becomes current first.
    {
        auto engine = std::make_unique<CMainWnd>();
        AddFrame(*engine, "a");
        CFrame* b = AddFrame(*engine, "b");
        AddFrame(*engine, "c");
        ASSERT_EQ(engine->GoToFrame(0), 0);
        engine->m_transitionKind = 0;
        engine->m_transitionState = 2;
        engine->m_enteringFrame = b;
        engine->m_panoramaEventPending = 1;
        EXPECT_EQ(engine->GoToFrame(2), 0);
        EXPECT_EQ(engine->m_leavingFrame, b);
        EXPECT_EQ(engine->m_panoramaEventPending, 0);
        EXPECT_STREQ(engine->m_currentFrame->name.GetText(), "c");
    }
    // Transitions wanted: frames of one source fade, frames of two sources do not on software.
    for (int sourceB : {SourceCylinder, SourceCubic}) {
        SCOPED_TRACE(sourceB);
        auto engine = std::make_unique<CMainWnd>();
        CFrame* a = AddFrame(*engine, "a");
        CFrame* b = AddFrame(*engine, "b", sourceB);
        ASSERT_EQ(engine->GoToFrame(0), 0);
        a->CreateGeometry(FrameKindCylindrical, 1, 10, 10, 0);
        engine->m_transitionsOn = 1;
        ASSERT_EQ(engine->GoToFrame(1), 0);
        if (sourceB == SourceCylinder) {
            EXPECT_EQ(engine->m_transitionState, 1);
            EXPECT_EQ(engine->m_transitionAlpha, 255);
            EXPECT_EQ(engine->m_currentFrame, a);
            EXPECT_EQ(engine->m_enteringFrame, b);
            EXPECT_EQ(engine->m_panoramaEventPending, 1);
            EXPECT_EQ(PanoramaEvents(*engine), 1);  // only the first switch's, so far
            engine->SetCurrentFrame(b);
            engine->CompleteFrameSwitch();
            EXPECT_EQ(PanoramaEvents(*engine), 2);
            EXPECT_EQ(engine->m_transitionState, 0);
            EXPECT_EQ(engine->m_enteringFrame, nullptr);
            EXPECT_EQ(engine->m_panoramaEventPending, 0);
        } else {
            EXPECT_EQ(engine->m_transitionState, 0);
            EXPECT_EQ(engine->m_currentFrame, b);
        }
    }
}

TEST(FrameSwitch, AStuckDrawingPassDelaysASwitchOnlyByTheBound)
{
    auto engine = std::make_unique<CMainWnd>();
    AddFrame(*engine, "a");
    CFrame* b = AddFrame(*engine, "b");
    ASSERT_EQ(engine->GoToFrame(0), 0);
    engine->m_switchWaitMs = 200;
    engine->m_view.drawingCount = 1;
    const DWORD start = GetTickCount();
    EXPECT_EQ(engine->GoToFrame(1), 0);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 150u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(engine->m_currentFrame, b);
    engine->m_view.drawingCount = 0;
}

TEST(FrameSwitch, EntryCodeRunsAndViewerSettingsFollowTheFrame)
{
    auto engine = std::make_unique<CMainWnd>();
    AddFrame(*engine, "a");
    CFrame* b = AddFrame(*engine, "b");
    CompiledCode* code = static_cast<CompiledCode*>(engine->m_images[0].CreateItem(ItemType::CompiledCode));
    // Run outside the frame loop, a frame switch is handed over to the pending list.
    engine->CompileCommands(code, "GoToFrame(a)", nullptr);
    b->entryCode = static_cast<uint16_t>(code->number);
    b->overrides |= OverrideBackColour;
    b->backColour = static_cast<int32_t>(0xFF123456u);
    b->flags |= FrameClickEvents;
    b->overrides |= OverrideProjection;
    b->projection = 8;
    ASSERT_EQ(engine->GoToFrame(0), 0);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
    ASSERT_EQ(engine->GoToFrame(1), 0);
    EXPECT_EQ(engine->m_view.backgroundColour, 0x123456u);
    EXPECT_EQ(engine->m_clickEvents, 1);
    EXPECT_EQ(engine->m_params.projection, 8);
    EXPECT_EQ(engine->GetPendingCodeCount(), 1);
}

TEST(FrameMemory, TheSweepReleasesDropsAndKeepsTheCurrentIndexRight)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_tickTime = 100.0f;
    // Expired frames never shown, one behind the other, then a shown frame, then the current.
    CFrame* expired[3];
    for (int i = 0; i < 3; ++i) {
        expired[i] = AddFrame(*engine, "old");
        expired[i]->flags |= FramePreloaded;
        expired[i]->timeLimit = 1.0f;
    }
    CFrame* shown = AddFrame(*engine, "shown");
    shown->flags |= FrameActivated;
    shown->CreateGeometry(FrameKindCylindrical, 1, 10, 10, 0);
    CFrame* kept = AddFrame(*engine, "kept");
    kept->flags |= FrameActivated | FrameKeptLoaded;
    kept->CreateGeometry(FrameKindCylindrical, 1, 10, 10, 0);
    CFrame* current = AddFrame(*engine, "current");
    engine->m_currentFrame = current;
    engine->m_currentFrameIndex = 5;

    engine->ReleaseUnusedFrames();
    EXPECT_EQ(engine->m_frames.GetCount(), 3);
    EXPECT_EQ(engine->FindFrameIndex("old"), -1);
    EXPECT_EQ(engine->m_currentFrameIndex, 2);
    EXPECT_EQ(engine->GetFrame(2), current);
    // The shown frame gave back its imagery; the kept one did not.
    EXPECT_EQ(shown->meshCount, 0);
    EXPECT_EQ(kept->meshCount, 1);

    // Without a time limit a frame never shown stays.
    CFrame* waiting = AddFrame(*engine, "waiting");
    waiting->flags |= FramePreloaded;
    engine->ReleaseUnusedFrames();
    EXPECT_EQ(engine->FindFrameIndex("waiting"), 3);
}

TEST(FrameMemory, DetachingALevelClearsItsObjectsImageNumbers)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* a = AddFrame(*engine, "a");
    ImageItem* image = AddImage(*engine, "x.png");
    ShowImage(a, image);
    ObjectItem* other = static_cast<ObjectItem*>(a->objects.CreateItem(ItemType::ImageObject));
    other->level = 1;
    other->number = 4;
    engine->DetachLevelImages(0);
    EXPECT_EQ(static_cast<ObjectItem*>(a->objects.GetItem(0))->number, 0);
    EXPECT_EQ(other->number, 4);
    engine->DetachFrameLevelImages(nullptr, 1);
}

TEST(FrameSwitch, ViewerWindowsOpenWithTheirFrameAndCloseWithIt)
{
    auto engine = std::make_unique<CMainWnd>();
    CFrame* a = AddFrame(*engine, "a");
    AddFrame(*engine, "b");
    ViewerWindowItem* viewer =
        static_cast<ViewerWindowItem*>(engine->m_images[0].CreateItem(ItemType::ViewerWindow));
    ObjectItem* object =
        static_cast<ObjectItem*>(a->objects.CreateItem(ItemType::ViewerWindowObject));
    object->number = viewer->number;
    object->x = 10;
    object->y = 20;
    object->drawWidth = 120;
    object->drawHeight = 90;

    ASSERT_EQ(engine->GoToFrame(0), 0);
    ASSERT_NE(viewer->window.m_hWnd, nullptr);
    RECT place;
    GetWindowRect(viewer->window.m_hWnd, &place);
    EXPECT_EQ(place.right - place.left, 120);
    EXPECT_EQ(place.bottom - place.top, 90);
    EXPECT_EQ(object->onScreen, 1);
    EXPECT_EQ(engine->m_shownViewerWindows.GetCount(), 1);

    ASSERT_EQ(engine->GoToFrame(1), 0);
    EXPECT_EQ(viewer->window.m_hWnd, nullptr);
    EXPECT_EQ(engine->m_shownViewerWindows.GetCount(), 0);
}
