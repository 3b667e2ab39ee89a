// The update loop and the tick: the redraw handshake (one Redraw at a time, none while drawing is
// suspended), starting and stopping the loop (also a stop that gave up waiting), the frame-rate
// measurement, the redraw governor, a busy device, deferred command runs and the names of
// exported panorama stills.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <mutex>
#include <string>
#include <thread>

#include "core/mailboxes.h"
#include "core/worker_threads.h"
#include "dispatch_support.h"

using dispatch_test::TestMessageWindow;

namespace {

class Loop : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CMainWnd>();
        window = std::make_unique<TestMessageWindow>(engine.get());
        // The loop's Redraws are counted, not handled.
        window->m_dispatch = false;
        engine->m_messageWnd = window->m_hWnd;
        engine->m_initialized = 1;
        engine->m_drawingSuspended = 0;
    }
    void TearDown() override
    {
        engine->StopUpdateLoop();
        engine->m_initialized = 0;
        window.reset();
        engine.reset();
    }
    // Redraws waiting in the queue, taken out.
    int TakeRedraws()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageA(&msg, window->m_hWnd, ViewerMessageRedraw, ViewerMessageRedraw,
                            PM_REMOVE))
            count++;
        return count;
    }

    std::unique_ptr<CMainWnd> engine;
    std::unique_ptr<TestMessageWindow> window;
};

TEST_F(Loop, WithTheUiThreadHeldOneRedrawAtATime)
{
    engine->StartUpdateLoop();
    Sleep(120);  // some twenty passes while this thread handles nothing
    EXPECT_EQ(TakeRedraws(), 1);
    EXPECT_EQ(engine->m_redrawPending, 1);

    // Handling it (the redraw clears the mark) lets the next one come.
    engine->m_redrawPending = 0;
    Sleep(60);
    EXPECT_EQ(TakeRedraws(), 1);
}

TEST_F(Loop, NoRedrawAndNoTickWhileDrawingIsSuspended)
{
    engine->m_drawingSuspended = 1;
    engine->StartUpdateLoop();
    Sleep(80);
    EXPECT_EQ(TakeRedraws(), 0);
    const int ticks = engine->m_tickCount;
    EXPECT_EQ(engine->OnRedraw(), 0);
    EXPECT_EQ(engine->m_tickCount, ticks);
    EXPECT_EQ(engine->m_redrawPending, 0);
}

TEST_F(Loop, AFailedRedrawPostClearsThePendingMark)
{
    engine->m_messageWnd = nullptr;
    engine->UpdateLoopPass(1.0f);
    EXPECT_EQ(engine->m_redrawPending, 0) << "the next pass may post again";
    engine->m_messageWnd = window->m_hWnd;
    engine->UpdateLoopPass(1.1f);
    EXPECT_EQ(engine->m_redrawPending, 1);
    EXPECT_EQ(TakeRedraws(), 1);
}

TEST_F(Loop, StartAndStop)
{
    const DWORD start = GetTickCount();
    engine->StopUpdateLoop();
    EXPECT_LT(GetTickCount() - start, 200u) << "a loop that never started stops at once";
    EXPECT_EQ(engine->m_drawingSuspended, 0);

    engine->StartUpdateLoop();
    CWorkerThread* first = engine->m_updateLoopThread.load();
    ASSERT_NE(first, nullptr);
    engine->StartUpdateLoop();
    EXPECT_EQ(engine->m_updateLoopThread.load(), first) << "a second start does nothing";

    engine->StopUpdateLoop();
    EXPECT_EQ(engine->m_updateLoopThread.load(), nullptr);
    EXPECT_FALSE(engine->m_threadLeftRunning);
    TakeRedraws();
    engine->m_redrawPending = 0;
    Sleep(40);
    EXPECT_EQ(TakeRedraws(), 0) << "a stopped loop posts nothing";
}

TEST_F(Loop, ALoopLeftByATimedOutStopEndsWhenItUnsticks)
{
    engine->m_threadStopWaitMs = 60;
    engine->m_view.status = 0;
    // Another thread holds the engine lock: the loop's next pass waits for it.
    std::atomic<bool> release{false};
    std::atomic<bool> held{false};
    std::thread holder([&] {
        std::lock_guard<std::mutex> lock(engine->m_sceneLock);
        held = true;
        while (!release)
            Sleep(1);
    });
    while (!held)
        Sleep(1);
    engine->StartUpdateLoop();
    // The loop holds its run lock from its start on; its first pass then waits for the engine lock.
    for (int waited = 0; waited < 5000 && engine->m_updateLoopRun.try_lock(); waited++) {
        engine->m_updateLoopRun.unlock();
        Sleep(1);
    }
    Sleep(30);
    engine->StopUpdateLoop();
    EXPECT_TRUE(engine->m_threadLeftRunning) << "the stuck loop outlived the wait";
    EXPECT_EQ(engine->m_stopUpdateLoop, 0);

    engine->StartUpdateLoop();  // its passes begin only once the old loop has left
    release = true;
    holder.join();
    Sleep(60);
    engine->m_threadStopWaitMs = kThreadStopWaitMs;
    engine->StopUpdateLoop();
    EXPECT_EQ(engine->m_updateLoopThread.load(), nullptr);
    TakeRedraws();
    engine->m_redrawPending = 0;
    Sleep(60);
    EXPECT_EQ(TakeRedraws(), 0) << "the old loop ended instead of running on";
}

TEST_F(Loop, StartCameraServerNeedsAnInitialisedEngine)
{
    engine->m_initialized = 0;
    EXPECT_EQ(engine->StartCameraServerThread(), nullptr);
}

TEST_F(Loop, ThePendingUserMessageIsShownOnTheUiThread)
{
    SetPendingMessage("disk full");
    engine->UpdateLoopPass(1.0f);
    engine->UpdateLoopPass(1.1f);
    MSG msg;
    int posted = 0;
    while (PeekMessageA(&msg, window->m_hWnd, ViewerMessageShowPendingMessage,
                        ViewerMessageShowPendingMessage, PM_REMOVE))
        posted++;
    EXPECT_EQ(posted, 1) << "one hand-over until the UI thread took it";
    EXPECT_TRUE(HasPendingMessage()) << "the loop itself does not take it";
    engine->HandleMessage(ViewerMessageShowPendingMessage, 0, 0);
    EXPECT_EQ(engine->m_messageShowPosted, 0);
    CTexto drained;
    TakePendingMessage(&drained);
}

TEST(FrameRate, FromFedIntervals)
{
    struct Case {
        const char* name;
        float interval;
        float fps;
        float stepFps;
        float timeStep;
    };
    const Case cases[] = {
        {"50 frames a second", 0.02f, 50.0f, 50.0f, 0.01f},
        {"two frames a second: the step rate's floor", 0.5f, 2.0f, 4.0f, 0.2f},
        {"stalls beyond the sort's 24 bits are clamped", 100.0f, 1.0f / 1.6777215f, 4.0f, 0.2f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = std::make_unique<CMainWnd>();
        for (int i = 0; i < kFrameTimeSamples; i++)
            engine->AddFrameTimeSample(c.interval);
        EXPECT_NEAR(engine->m_fps, c.fps, c.fps * 0.001f);
        EXPECT_NEAR(engine->m_stepFps, c.stepFps, c.stepFps * 0.001f);
        EXPECT_NEAR(engine->m_frameTimeStep, c.timeStep, 0.0001f);
        EXPECT_EQ(engine->m_frameTimeCount, 6);
        EXPECT_EQ(engine->m_frameTimeIndex, 6);
    }
}

TEST(FrameRate, MiddleSixOfTenAndANewRateEveryFourSamples)
{
    auto engine = std::make_unique<CMainWnd>();
    // Two short and two long outliers around six of 0.01 s.
    const float samples[] = {0.001f, 0.01f, 0.3f, 0.01f, 0.01f, 0.002f, 0.01f, 0.9f, 0.01f, 0.01f};
    for (float s : samples)
        engine->AddFrameTimeSample(s);
    EXPECT_NEAR(engine->m_fps, 100.0f, 0.1f);
    for (int i = 0; i < 3; i++)
        engine->AddFrameTimeSample(0.05f);
    EXPECT_NEAR(engine->m_fps, 100.0f, 0.1f) << "no new rate before the fourth sample";
    engine->AddFrameTimeSample(0.05f);
    EXPECT_LT(engine->m_fps, 100.0f);
}

TEST(FrameRate, BackwardsAndZeroIntervalsNeverGiveAnInfiniteRate)
{
    auto engine = std::make_unique<CMainWnd>();
    for (int i = 0; i < kFrameTimeSamples; i++)
        engine->AddFrameTimeSample(i % 2 ? 0.0f : -3.0f);
    EXPECT_TRUE(std::isfinite(engine->m_fps));
    EXPECT_FLOAT_EQ(engine->m_fps, kDefaultFps) << "the rate stays as it was";
    EXPECT_TRUE(std::isfinite(engine->m_stepFps));
}

TEST(PanoramaStills, NamesHaveTheDigitsOfTheRecordedCount)
{
    struct Case {
        const char* document;
        int32_t count;
        int32_t index;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\rec\\walk.cam", 1500, 7, "C:\\rec\\walk/Panorama_0007.jpg"},
        {"C:\\rec\\walk.cam", 99, 7, "C:\\rec\\walk/Panorama_07.jpg"},
        {"C:\\rec\\walk.cam", 1000, 7, "C:\\rec\\walk/Panorama_0007.jpg"},
        {"C:\\rec\\walk.cam", 999, 12, "C:\\rec\\walk/Panorama_012.jpg"},
        {"C:\\rec\\walk.cam", 0, 3, "C:\\rec\\walk/Panorama_3.jpg"},
        {"C:\\rec\\walk.cam", 9, 12, "C:\\rec\\walk/Panorama_12.jpg"},
        {"a.cam", 10, 1, "a/Panorama_01.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTexto name;
        EXPECT_TRUE(CMainWnd::FormatPanoramaStillName(c.document, c.count, c.index, &name));
        EXPECT_STREQ(name.GetText(), c.name);
    }
    for (const char* shortName : {"", ".cam", "abc"}) {
        SCOPED_TRACE(shortName);
        CTexto name = "old";
        EXPECT_FALSE(CMainWnd::FormatPanoramaStillName(shortName, 10, 1, &name));
        EXPECT_STREQ(name.GetText(), "");
    }
    CTexto name;
    EXPECT_FALSE(CMainWnd::FormatPanoramaStillName(nullptr, 10, 1, &name));
}

// Ticks of an engine initialised on the software device in a hidden host window.
class TickTest : public ::testing::Test {
protected:
    static float Clock() { return s_now; }

    void SetUp() override
    {
        host = dispatch_test::CreateTestWindow("LumarixTickHost", DefWindowProcA, 160, 120);
        engine = std::make_unique<CMainWnd>();
        ASSERT_EQ(engine->Initialize(160, 120, host, 0), 1);
        engine->m_clock = Clock;
        s_now = 10.0f;
    }
    void TearDown() override
    {
        engine->Shutdown();
        engine.reset();
        DestroyWindow(host);
    }
    void TickAt(float time)
    {
        s_now = time;
        engine->Tick(1);
    }

    static float s_now;
    HWND host = nullptr;
    std::unique_ptr<CMainWnd> engine;
};
float TickTest::s_now = 0.0f;

TEST_F(TickTest, RateFromTheInjectedClockWhileTheCountIsHeldUp)
{
    for (int i = 0; i < 11; i++) {
        engine->m_changeCount = 5;
        TickAt(10.0f + 0.025f * static_cast<float>(i));
    }
    EXPECT_NEAR(engine->m_fps, 40.0f, 0.5f);
    EXPECT_EQ(engine->m_tickCount, 11);
    EXPECT_FLOAT_EQ(engine->m_tickTime, 10.25f);
}

TEST_F(TickTest, GovernorCountsDownThenOneQualityPassThenIdle)
{
    engine->m_changeCount = 2;
    engine->m_redrawRequest = 0;
    TickAt(10.0f);
    EXPECT_EQ(engine->m_changeCount, 1);
    EXPECT_EQ(engine->m_redrawRequest, 1);
    TickAt(10.1f);
    EXPECT_EQ(engine->m_changeCount, 0);
    EXPECT_EQ(engine->m_redrawRequest, 1);
    TickAt(10.2f);  // the view came to rest: the quality pass draws once
    EXPECT_EQ(engine->m_changeCount, 0);
    EXPECT_EQ(engine->m_redrawRequest, 2);
    EXPECT_NE(engine->m_lastDrawnTime, 0.0f);
    TickAt(10.3f);  // idle: nothing drawn
    EXPECT_EQ(engine->m_redrawRequest, 2);
    EXPECT_EQ(engine->m_lastDrawnTime, 0.0f);

    engine->m_showInfo = 1;
    engine->m_changeCount = 1;
    TickAt(10.4f);
    EXPECT_EQ(engine->m_changeCount, 1) << "the information box keeps every tick drawing";
}

TEST_F(TickTest, ABusyDeviceChangesOnlyTheTickCounterAndTime)
{
    engine->m_changeCount = 3;
    engine->m_pointerMoved = 1;
    engine->m_view.status |= DeviceFrameSwitch;
    TickAt(11.0f);
    EXPECT_EQ(engine->m_tickCount, 1);
    EXPECT_FLOAT_EQ(engine->m_tickTime, 11.0f);
    EXPECT_EQ(engine->m_changeCount, 3);
    EXPECT_EQ(engine->m_pointerMoved, 1);
    EXPECT_EQ(engine->m_lastDrawnTime, 0.0f);

    engine->m_view.status = DeviceHidden;  // hidden is no reason to skip the update
    TickAt(11.1f);
    EXPECT_EQ(engine->m_pointerMoved, 0);
    engine->m_view.status = 0;
}

TEST_F(TickTest, TwoDeferredRunsTakeTwoTicks)
{
    engine->RunCommandText("GoToFrame(hall)", false);
    engine->RunCommandText("GoToFrame(yard)", false);
    ASSERT_EQ(engine->GetPendingCodeCount(), 2);
    TickAt(10.0f);
    EXPECT_EQ(engine->GetPendingCodeCount(), 1);
    TickAt(10.1f);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(TickTest, RedrawRunsOneTickUnlessDrawingIsSuspendedAndResizeDrawsAtOnce)
{
    engine->m_drawingSuspended = 0;
    EXPECT_EQ(engine->OnRedraw(), 0);
    EXPECT_EQ(engine->m_tickCount, 1);
    EXPECT_EQ(engine->m_redrawPending, 0);
    engine->m_drawingSuspended = 1;
    engine->OnRedraw();
    EXPECT_EQ(engine->m_tickCount, 1);

    engine->m_changeCount = 0;
    engine->m_applyPosted = 0;  // the opening that initialisation asked for was handled
    engine->OnSize(0, 200, 150);
    EXPECT_EQ(engine->m_tickCount, 2) << "the resized view is drawn at once";
}

TEST_F(TickTest, APendingOpeningOnlyResizesTheDeviceAndShowingFollowsTheWindow)
{
    engine->m_applyPosted = 1;
    engine->OnSize(0, 200, 150);
    EXPECT_EQ(engine->m_tickCount, 0) << "a pending opening only resizes the device";
    engine->m_applyPosted = 0;

    engine->HandleMessage(WM_SHOWWINDOW, 0, 0);
    EXPECT_TRUE(engine->m_view.status & DeviceHidden);
    WINDOWPOS shown = {};
    shown.flags = SWP_SHOWWINDOW | SWP_NOSIZE;
    engine->HandleMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&shown));
    EXPECT_FALSE(engine->m_view.status & DeviceHidden);
    WINDOWPOS hidden = {};
    hidden.flags = SWP_HIDEWINDOW | SWP_NOSIZE;
    engine->HandleMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&hidden));
    EXPECT_TRUE(engine->m_view.status & DeviceHidden);
    engine->m_view.status = 0;
}

TEST_F(TickTest, TheLinkedViewerFollowsTheEngineItNames)
{
    HWND otherHost = dispatch_test::CreateTestWindow("LumarixTickHost", DefWindowProcA, 160, 120);
    auto other = std::make_unique<CMainWnd>();
    ASSERT_EQ(other->Initialize(160, 120, otherHost, 0), 1);
    other->m_params.pluginName = "leader";
    other->ApplyPluginName();
    CameraState* leader = other->m_view.params->camera;
    leader->tilt = 12.34567f;
    leader->pan = 40.0f;
    leader->zoom = 2.0f;
    other->m_currentFrame->upperLimits[ViewZoom] = 9.0f;

    engine->m_params.pluginCamera = "leader";
    engine->m_changeCount = 0;
    engine->m_redrawRequest = 2;
    other->m_viewMoved = 0;
    TickAt(10.0f);
    EXPECT_EQ(engine->m_linkedEngine, other.get());
    EXPECT_NE(engine->m_view.params->camera->pan, 40.0f) << "a view that did not move is not followed";

    other->m_viewMoved = 1;
    TickAt(10.1f);
    const CameraState* follower = engine->m_view.params->camera;
    EXPECT_FLOAT_EQ(follower->tilt, 12.34567f);
    EXPECT_FLOAT_EQ(follower->pan, 40.0f);
    EXPECT_FLOAT_EQ(engine->m_params.rotationX, 12.346f);
    EXPECT_FLOAT_EQ(engine->m_params.zoom, 2.0f);
    EXPECT_FLOAT_EQ(engine->m_currentFrame->upperLimits[ViewZoom], 9.0f);
    EXPECT_EQ(other->m_viewMoved, 0);
    EXPECT_EQ(engine->m_redrawRequest, 2) << "the follower with nothing to draw drew once";

    // A frame whose pan counts from its own origin mirrors the leader's pan about it.
    engine->m_currentFrame->flags |= 0x4000000;
    engine->m_currentFrame->initialView[ViewPan] = 100.0f;
    other->m_currentFrame->initialView[ViewPan] = 10.0f;
    other->m_viewMoved = 1;
    TickAt(10.2f);
    EXPECT_FLOAT_EQ(engine->m_view.params->camera->pan, 10.0f - 40.0f + 100.0f);

    engine->m_params.pluginCamera = "nobody";
    TickAt(10.3f);
    EXPECT_EQ(engine->m_linkedEngine, nullptr);
    other->Shutdown();
    other.reset();
    DestroyWindow(otherHost);
}

TEST_F(TickTest, TimelapsePlaybackStepsAfterFourSecondsPerImageAndKeepsDrawing)
{
    engine->m_controlToggles[19] = 1;
    engine->m_timelineCount = 3;
    engine->m_timelapseStepTime = 10.0f;
    engine->m_changeCount = 0;
    TickAt(21.0f);
    EXPECT_FLOAT_EQ(engine->m_timelapseStepTime, 10.0f) << "12 s per round of three images";
    EXPECT_NE(engine->m_lastDrawnTime, 0.0f) << "a playing timelapse draws every tick";
    TickAt(22.5f);
    EXPECT_FLOAT_EQ(engine->m_timelapseStepTime, 22.5f);
    engine->m_controlToggles[19] = 0;
}

TEST_F(TickTest, EyePassesOfA3DSceneLeaveCameraMasksAndTonesAsTheyWere)
{
    ShowWindow(host, SW_SHOWNOACTIVATE);
    CFrame* frame = engine->m_currentFrame;
    frame->kind = FrameKindScene;
    engine->m_gridMode = 1;
    CameraState* camera = engine->m_view.params->camera;
    camera->pan = 30.0f;
    camera->x = 5.0f;
    const CameraState before = *camera;
    for (int tones : {kAnaglyphDualTones, kAnaglyphMediumTones, kAnaglyphTrueColour}) {
        for (int colours : {0, 1}) {
            SCOPED_TRACE(tones * 10 + colours);
            engine->m_anaglyphTones = tones;
            engine->m_anaglyphColours = colours;
            engine->m_changeCount = 2;
            EXPECT_EQ(engine->Tick(1), 0);
            EXPECT_EQ(engine->m_view.params->camera, camera);
            EXPECT_FLOAT_EQ(camera->pan, before.pan);
            EXPECT_FLOAT_EQ(camera->x, before.x);
            EXPECT_EQ(engine->m_view.colourWriteMask, 0xFFFFFFu);
            EXPECT_EQ(engine->m_view.destinationKeepMask, 0u);
            EXPECT_FALSE(engine->m_view.params->stateBits & StateHalveGreen);
        }
    }
    engine->m_gridMode = 0;
    ShowWindow(host, SW_HIDE);
}

// Pumps this thread's messages until done() holds or the time is up; done()'s last answer.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return true;
}

// The player's spine as it runs: the opening that initialisation asks for, the update loop's
// ticks through the message queue, a resize drawn at its new size, then idle ticks that draw
// nothing, and a shutdown that ends the loop.
TEST(PlayerLoop, OpensTheEmptySceneTicksRedrawsOnResizeIdlesAndEnds)
{
    HWND host = dispatch_test::CreateTestWindow("LumarixPlayerLoopHost", DefWindowProcA, 240, 180);
    ShowWindow(host, SW_SHOWNOACTIVATE);
    auto engine = std::make_unique<CMainWnd>();
    ASSERT_EQ(engine->Initialize(240, 180, host, 0), 1);
    EXPECT_TRUE(PumpUntil([&] { return engine->m_applyPosted == 0 && engine->m_tickCount > 3; },
                          10000))
        << "the opening ran and the loop ticks";
    EXPECT_EQ(engine->m_currentFrame, &engine->m_firstFrame);
    CWorkerThread* loop = engine->m_updateLoopThread.load();
    ASSERT_NE(loop, nullptr);

    MoveWindow(host, 0, 0, 320, 200, FALSE);
    const int before = engine->m_tickCount;
    engine->m_changeCount = 0;
    engine->OnSize(0, 320, 200);
    EXPECT_EQ(engine->m_tickCount, before + 1);
    EXPECT_EQ(engine->m_view.params->width, 320);
    EXPECT_EQ(engine->m_view.params->height, 200);
    EXPECT_NE(engine->m_lastDrawnTime, 0.0f) << "the resized view was drawn";

    // At rest: the quality pass, then ticks that draw nothing.
    EXPECT_TRUE(PumpUntil([&] { return engine->m_changeCount == 0 && engine->m_redrawRequest == 2; },
                          10000));
    PumpUntil([] { return false; }, 100);
    const int idleStart = engine->m_tickCount;
    PumpUntil([] { return false; }, 300);
    EXPECT_GT(engine->m_tickCount, idleStart) << "the loop goes on ticking at rest";
    EXPECT_EQ(engine->m_changeCount, 0);
    EXPECT_EQ(engine->m_lastDrawnTime, 0.0f) << "idle ticks draw nothing";

    engine->Shutdown();
    EXPECT_FALSE(IsWorkerThreadValid(loop));
    engine.reset();
    DestroyWindow(host);
}

TEST(EyeMasks, KeptColoursInTheDeviceFormat)
{
    struct Case {
        uint32_t mask;
        int32_t bits;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x00FFFF, 32, 0x00FFFF}, {0xFF0000, 24, 0xFF0000}, {0x00FFFF, 16, 0x07FF},
        {0xFF0000, 16, 0xF800},   {0x0000FF, 15, 0x001F},   {0xFF0000, 15, 0x7C00},
        {0x00FFFF, 15, 0x03FF},   {0, 16, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EyeMaskInDeviceFormat(c.mask, c.bits), c.expected) << c.mask << " " << c.bits;
}

}  // namespace
