// Returning to the empty scene and cancelling background activity.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "core/item_records.h"
#include "core/worker_threads.h"
#include "test_support.h"

namespace {

void Fill(CMainWnd& engine)
{
    for (int i = 0; i < kBuiltInFontCount + 2; i++)
        engine.m_fonts.CreateItem(ItemType::Font);
    engine.m_frames.CreateItem(ItemType::Frame);
    engine.m_frames.CreateItem(ItemType::Frame);
    engine.m_images[0].CreateItem(ItemType::Image);
    engine.m_images[1].CreateItem(ItemType::Image);
    engine.m_sounds.CreateItem(ItemType::Sound);
    engine.m_draggedObjects.CreateItem(ItemType::ImageObject);
    engine.m_shownViewerWindows.CreateItem(ItemType::ViewerWindowObject);
    engine.RunCommandText("GoToFrame(a)", false);  // handed over to the pending list
    CFrame* second = &static_cast<FrameItem*>(engine.m_frames.GetItem(1))->frame;
    engine.m_currentFrame = second;
    engine.m_leavingFrame = &static_cast<FrameItem*>(engine.m_frames.GetItem(0))->frame;
    engine.m_enteringFrame = second;
    engine.m_currentFrameIndex = 1;
    engine.m_timelineCount = 7;
    engine.m_timelineShown = 2;
    engine.m_timelineWindow = 1;
    engine.m_timelineSlots[0] = engine.m_timelineSlots[1] = engine.m_timelineSlots[2] = 3;
    engine.m_timelinePosition = 0.5f;
}

}  // namespace

TEST(DocumentScene, ClearSceneReturnsToTheEmptyScene)
{
    for (bool full : {false, true}) {
        SCOPED_TRACE(full);
        CMainWnd engine;
        Fill(engine);
        ASSERT_EQ(engine.GetPendingCodeCount(), 1);
        engine.ClearScene(full);
        EXPECT_EQ(engine.m_currentFrame, &engine.m_firstFrame);
        EXPECT_EQ(engine.m_enteringFrame, nullptr);
        EXPECT_EQ(engine.m_leavingFrame, nullptr);
        EXPECT_EQ(engine.m_currentFrameIndex, -1);
        EXPECT_EQ(engine.m_frames.GetCount(), 0);
        EXPECT_EQ(engine.m_images[0].GetCount(), 0);
        EXPECT_EQ(engine.m_images[1].GetCount(), 1);
        EXPECT_EQ(engine.m_sounds.GetCount(), 0);
        EXPECT_EQ(engine.m_draggedObjects.GetCount(), 0);
        EXPECT_EQ(engine.m_shownViewerWindows.GetCount(), 0);
        EXPECT_EQ(engine.m_timelineCount, -1);
        EXPECT_EQ(engine.m_timelineShown, -1);
        EXPECT_EQ(engine.m_timelineWindow, -1);
        EXPECT_EQ(engine.m_timelineSlots[2], -1);
        EXPECT_EQ(engine.m_timelinePosition, 0.0f);
        // Only the full reset drops the tour's fonts and the pending commands.
        EXPECT_EQ(engine.m_fonts.GetCount(), full ? kBuiltInFontCount : kBuiltInFontCount + 2);
        EXPECT_EQ(engine.GetPendingCodeCount(), full ? 0 : 1);
    }
}

namespace {

// A statement handler that holds the reader until the read is cancelled (at most 10 s).
void WaitForCancel(ReadingContext& context)
{
    for (int waited = 0; waited < 10000 && !context.Cancelled(); waited += 5)
        Sleep(5);
    context.sectionKind = SectionFrame;
    context.frames->CreateItem(ItemType::Frame);
}

}  // namespace

TEST(DocumentScene, CancelActivityWaitsForTheReaderAndResetsTransitions)
{
    ReaderHandlers handlers;
    handlers.keywords[static_cast<int>(ReaderKeyword::Type)] = WaitForCancel;
    CMainWnd engine;
    engine.m_readerHandlers = &handlers;
    engine.m_initialized = 1;
    engine.m_transitionsOn = 1;
    engine.m_transitionKind = 2;
    engine.m_transitionState = 3;
    engine.m_transitionAlpha = 100;
    engine.m_transitionDuration = 5.0f;
    engine.m_transitionLoadPercent = 20.0f;
    engine.m_timelineCount = 4;
    engine.m_timelineWindow = 2;

    TempFolder folder;
    const std::string path = folder.Write("tour.kzr", "(hall){TYPE=PANORAMIC;}");
    engine.StartReaderThread(path.c_str(), 0, nullptr);
    ASSERT_NE(engine.m_readerThread.load(), nullptr);
    engine.CancelActivity();
    engine.m_initialized = 0;

    // The reader has ended before the flag went down, and its read landed nowhere.
    EXPECT_EQ(engine.m_readerThread.load(), nullptr);
    EXPECT_EQ(engine.m_cancel, 0);
    EXPECT_EQ(engine.m_frames.GetCount(), 0);
    EXPECT_EQ(engine.m_transitionsOn, 0);
    EXPECT_EQ(engine.m_transitionKind, 0);
    EXPECT_EQ(engine.m_transitionState, 0);
    EXPECT_EQ(engine.m_transitionAlpha, 0);
    EXPECT_EQ(engine.m_transitionDuration, 2.0f);
    EXPECT_EQ(engine.m_transitionLoadPercent, 100.0f);
    EXPECT_EQ(engine.m_timelineCount, -1);
    EXPECT_EQ(engine.m_timelineWindow, -1);
}
