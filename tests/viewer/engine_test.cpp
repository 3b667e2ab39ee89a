// The engine object: what the engines of one process share, its initialisation on the software
// render device and its shutdown (also after a device that cannot be made), bounded waits for
// worker threads, and the release of frames after a switch.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/code_pool.h"
#include "core/disk_cache.h"
#include "core/item_records.h"
#include "core/language.h"
#include "core/stream.h"
#include "core/system_wrappers.h"
#include "core/text_convert.h"
#include "core/worker_threads.h"
#include "viewer/config_file.h"
#include "viewer/live_viewer_registry.h"
#include "test_support.h"

namespace {

bool MediaIoInstalled()
{
    return mmioInstallIOProcA(kMediaIoCode, nullptr, MMIO_FINDPROC) != nullptr;
}

// True when the socket library answers; false when it is not started.
bool SocketsUp()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return WSAGetLastError() != WSANOTINITIALISED;
    closesocket(s);
    return true;
}

TEST(Engine, TwoEnginesShareTheProcessResourcesAndTheLastReleasesThem)
{
    ASSERT_EQ(GetLiveViewerCount(), 0);
    ASSERT_FALSE(MediaIoInstalled());
    ASSERT_FALSE(IsCodePoolExecutable());

    auto first = std::make_unique<CMainWnd>();
    EXPECT_EQ(GetLiveViewerCount(), 1);
    EXPECT_TRUE(IsLiveViewer(first.get()));
    EXPECT_TRUE(MediaIoInstalled());
    EXPECT_TRUE(IsCodePoolExecutable());
    EXPECT_TRUE(SocketsUp()) << "the first engine starts the network layer";
    const std::string readFolder = g_settingsFolder.GetText();
    const std::string writeFolder = g_sharedSettingsFolder.GetText();
    EXPECT_FALSE(readFolder.empty());
    EXPECT_FALSE(writeFolder.empty());

    auto second = std::make_unique<CMainWnd>();
    EXPECT_EQ(GetLiveViewerCount(), 2);
    EXPECT_EQ(readFolder, g_settingsFolder.GetText()) << "the second engine reuses the folders";
    EXPECT_EQ(writeFolder, g_sharedSettingsFolder.GetText());

    EXPECT_TRUE(SetLiveViewerName(second.get(), "right"));
    EXPECT_EQ(FindLiveViewer("right"), second.get());
    EXPECT_EQ(FindLiveViewer("left"), nullptr);

    first.reset();
    EXPECT_EQ(GetLiveViewerCount(), 1);
    EXPECT_TRUE(IsLiveViewer(second.get()));
    EXPECT_TRUE(MediaIoInstalled()) << "the second engine still plays sounds through it";
    EXPECT_TRUE(IsCodePoolExecutable()) << "the first engine gone must not take the pool away";
    EXPECT_TRUE(SocketsUp());

    second.reset();
    EXPECT_EQ(GetLiveViewerCount(), 0);
    EXPECT_FALSE(MediaIoInstalled());
    EXPECT_FALSE(IsCodePoolExecutable());
    EXPECT_FALSE(SocketsUp()) << "the last engine stops the network layer";

    // A later engine of the same process sets everything up again.
    CMainWnd again;
    EXPECT_TRUE(IsCodePoolExecutable());
    EXPECT_TRUE(MediaIoInstalled());
    EXPECT_TRUE(SocketsUp());
}

TEST(Engine, DefaultsOfANewEngine)
{
    auto engine = std::make_unique<CMainWnd>();
    EXPECT_EQ(engine->m_initialized, 0);
    EXPECT_EQ(engine->m_changeCount, 1);
    EXPECT_EQ(engine->m_currentFrame, &engine->m_firstFrame);
    EXPECT_EQ(engine->m_enteringFrame, nullptr);
    EXPECT_EQ(engine->m_currentFrameIndex, -1);
    EXPECT_EQ(engine->m_firstFrame.device, &engine->m_view);
    EXPECT_EQ(engine->m_interfaceFrame.device, &engine->m_view);
    EXPECT_TRUE(engine->m_interfaceFrame.flags & FrameKeptLoaded);
    EXPECT_EQ(engine->m_view.params->camera, &engine->m_interfaceFrame.cameras[0]);
    // The owned records start empty and typed as their lists would make them.
    EXPECT_EQ(engine->m_sequence.type, ItemType::CameraSequence);
    EXPECT_EQ(engine->m_sequence.keyCount, 0);
    EXPECT_EQ(engine->m_measureValue.type, ItemType::Value);
    EXPECT_EQ(engine->m_watchdogText.GetLength(), 0);
    EXPECT_EQ(engine->m_workMesh.vertexCount, 0);
    EXPECT_EQ(engine->m_keyboardEnabled, 1);
    EXPECT_EQ(engine->m_params.dragDrop, 1);
    EXPECT_EQ(engine->m_serverPort, 9017);
    EXPECT_EQ(engine->m_watchdogPort, 9017);
    EXPECT_STREQ(engine->m_saveViewName.GetText(), "Lumarix screen.bmp");
    EXPECT_STREQ(engine->m_tooltipFontFace.GetText(), "Tahoma");
    EXPECT_EQ(engine->m_exitCode, 0);
    EXPECT_FLOAT_EQ(engine->m_fps, 60.0f);
    EXPECT_EQ(g_preferredBackEnd.load(), RenderDirect3D9);
}

TEST(Engine, NumbersUseADecimalPointWhateverTheUserLocale)
{
    // A locale whose decimal mark is a comma, as a German user has it.
    const char* german = setlocale(LC_ALL, "German");
    if (german) {
        EXPECT_STREQ(localeconv()->decimal_point, ",");
    }
    auto engine = std::make_unique<CMainWnd>();
    EXPECT_STREQ(localeconv()->decimal_point, ".");
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    EXPECT_STREQ(text, "0.5");
    EXPECT_FLOAT_EQ(ParseFloat("0.5"), 0.5f);
    EXPECT_FLOAT_EQ(static_cast<float>(atof("0.5")), 0.5f);
    setlocale(LC_ALL, "C");
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeHostWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "EngineTestHost";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

int AnswerOk(HWND, const char*, const char*, UINT)
{
    return IDOK;
}

// A render device that cannot be made: the processor probe answers that there is no MMX.
class FailingRenderDevice {
public:
    FailingRenderDevice()
    {
        g_renderSystem.queryProcessorFeature = [](int32_t) { return 0; };
        m_previousBox = SetMessageBoxFunction(AnswerOk);
        m_previousLevel = g_directXLevel.exchange(0);
    }
    ~FailingRenderDevice()
    {
        g_renderSystem = DefaultRenderDeviceSystem();
        SetMessageBoxFunction(m_previousBox);
        g_directXLevel = m_previousLevel;
    }

private:
    MessageBoxFunction m_previousBox = nullptr;
    uint32_t m_previousLevel = 0;
};

int UnexpectedBox(HWND, const char* text, const char*, UINT)
{
    ADD_FAILURE() << "message box: " << text;
    return IDOK;
}

TEST(Engine, InitializeMakesTheSoftwareRenderDevice)
{
    MessageBoxFunction previousBox = SetMessageBoxFunction(UnexpectedBox);
    HWND host = MakeHostWindow();
    ASSERT_NE(host, nullptr);
    auto engine = std::make_unique<CMainWnd>();
    EXPECT_EQ(engine->Initialize(400, 300, host, 0), 1);
    EXPECT_EQ(engine->m_initialized, 1);
    EXPECT_EQ(engine->m_view.backEnd, RenderSoftware);
    EXPECT_EQ(engine->m_view.status.load(), 0u);
    EXPECT_EQ(engine->m_view.window, host);
    EXPECT_EQ(engine->m_view.windowsVersion.dwMajorVersion, engine->m_osVersion.dwMajorVersion);
    RECT client;
    GetClientRect(host, &client);
    EXPECT_EQ(engine->m_view.params->width, client.right);
    EXPECT_EQ(engine->m_view.params->height, client.bottom);
    EXPECT_EQ(g_liveEngineCount.load(), 1);
    engine->Shutdown();
    EXPECT_EQ(g_liveEngineCount.load(), 0);
    engine.reset();
    DestroyWindow(host);
    SetMessageBoxFunction(previousBox);
}

TEST(Engine, WithoutARenderDeviceInitializeFailsAndShutdownStillRuns)
{
    HWND host = MakeHostWindow();
    ASSERT_NE(host, nullptr);
    FailingRenderDevice failing;
    auto engine = std::make_unique<CMainWnd>();
    EXPECT_EQ(engine->Initialize(400, 300, host, 0), 0);
    EXPECT_EQ(engine->m_initialized, 0) << "an engine without a device stays uninitialised";
    EXPECT_EQ(g_liveEngineCount.load(), 0) << "only initialised engines count";
    EXPECT_EQ(engine->m_hostWnd, host);
    EXPECT_EQ(engine->m_tooltipOwner, host);

    // The built-in fonts come before the device.
    struct Expected {
        const char* name;
        const char* face;
        LONG weight;
        float size;
    } fonts[] = {{"0", "Tahoma", FW_NORMAL, 13.5f},
                 {"1", "Arial", FW_NORMAL, 15.0f},
                 {"2", "Arial", FW_BOLD, 20.0f},
                 {"3", "Verdana", FW_NORMAL, 13.0f},
                 {"4", "Tahoma", FW_BOLD, 13.0f}};
    HDC dc = GetDC(host);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(host, dc);
    ASSERT_EQ(engine->m_fonts.GetCount(), 5);
    for (int i = 0; i < 5; i++) {
        const FontItem* font = static_cast<const FontItem*>(engine->m_fonts.GetItem(i));
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->type, ItemType::Font);
        EXPECT_STREQ(font->name.GetText(), fonts[i].name);
        EXPECT_STREQ(font->logFont.lfFaceName, fonts[i].face);
        EXPECT_EQ(font->logFont.lfWeight, fonts[i].weight);
        EXPECT_EQ(font->logFont.lfHeight, BuiltInFontHeight(dpi, fonts[i].size));
        EXPECT_EQ(font->logFont.lfOutPrecision, OUT_TT_PRECIS);
        EXPECT_EQ(font->logFont.lfQuality, PROOF_QUALITY);
        EXPECT_NE(font->font, nullptr);
    }
    EXPECT_EQ(BuiltInFontHeight(96, 13.5f), 86);

    engine->Shutdown();
    EXPECT_EQ(engine->m_fonts.GetCount(), 0);
    EXPECT_EQ(engine->m_comInitialized, 0);
    EXPECT_EQ(engine->m_cancel, 0);
    engine.reset();
    DestroyWindow(host);
}

struct ThreadScript {
    CMainWnd* engine = nullptr;
    std::atomic<int> sawCancel{0};
    HANDLE release = nullptr;  // a stuck thread waits for this, whatever the engine says
};

unsigned CooperatingReader(void* parameter)
{
    ThreadScript* script = static_cast<ThreadScript*>(parameter);
    for (int i = 0; i < 3000 && !script->engine->m_cancel; i++)
        Sleep(1);
    script->sawCancel = script->engine->m_cancel.load();
    return 0;
}

unsigned StuckThread(void* parameter)
{
    ThreadScript* script = static_cast<ThreadScript*>(parameter);
    WaitForSingleObject(script->release, 30000);
    return 0;
}

TEST(Engine, ShutdownWaitsForThreadsThatEndAndLeavesAStuckOneBehind)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_threadStopWaitMs = 300;
    ThreadScript reader;
    reader.engine = engine.get();
    ThreadScript stuck;
    stuck.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CWorkerThread* readerThread = StartWorkerThread(CooperatingReader, &reader, &engine->m_readerThread);
    CWorkerThread* stuckThread = StartWorkerThread(StuckThread, &stuck, &engine->m_updateLoopThread);
    ASSERT_NE(readerThread, nullptr);
    ASSERT_NE(stuckThread, nullptr);
    ResumeWorkerThread(readerThread);
    ResumeWorkerThread(stuckThread);

    engine->Shutdown();  // must come back although the update loop never stops
    EXPECT_EQ(reader.sawCancel, 1) << "the reader was told to give up";
    EXPECT_EQ(engine->m_readerThread.load(), nullptr) << "the reader was awaited";
    EXPECT_EQ(engine->m_stopUpdateLoop, 0);
    EXPECT_EQ(engine->m_drawingSuspended, 0);

    engine.reset();  // the stuck thread no longer writes into the engine
    SetEvent(stuck.release);
    for (int i = 0; i < 500 && IsWorkerThreadValid(stuckThread); i++)
        Sleep(10);
    EXPECT_FALSE(IsWorkerThreadValid(stuckThread));
    CloseHandle(stuck.release);
}

// The last engine's shutdown deletes the cache marker only when every worker thread ended: one
// that outlived its wait may still be writing a download, which the next start must not trust.
TEST(Engine, CacheMarkerStaysWhenAThreadOutlivesShutdown)
{
    const CTexto savedCacheFolder = g_cacheFolder;
    g_cacheFolder = test_support::ScratchDir("engine-cache").c_str();
    const std::string marker = std::string(g_cacheFolder.GetText()) + "\\" + kCacheMarkerName + "." +
                               std::to_string(GetCurrentProcessId());
    ASSERT_EQ(g_liveEngineCount.load(), 0);

    for (bool stuckReader : {false, true}) {
        ASSERT_TRUE(CreateCacheMarker());
        ASSERT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
        auto engine = std::make_unique<CMainWnd>();
        engine->m_threadStopWaitMs = 200;
        // As after a successful initialisation: the only live engine.
        engine->m_countedLive = true;
        g_liveEngineCount = 1;
        ThreadScript stuck;
        stuck.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CWorkerThread* thread = nullptr;
        if (stuckReader) {
            thread = StartWorkerThread(StuckThread, &stuck, &engine->m_readerThread);
            ASSERT_NE(thread, nullptr);
            ResumeWorkerThread(thread);
        }

        engine->Shutdown();
        EXPECT_EQ(g_liveEngineCount.load(), 0);
        EXPECT_EQ(GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES, stuckReader)
            << (stuckReader ? "a reader still running keeps the marker" : "a clean shutdown removes it");

        engine.reset();
        SetEvent(stuck.release);
        for (int i = 0; thread && i < 500 && IsWorkerThreadValid(thread); i++)
            Sleep(10);
        CloseHandle(stuck.release);
        DeleteCacheMarker();
    }
    g_cacheFolder = savedCacheFolder;
}

FrameItem* AddFrame(CMainWnd& engine, const char* name, uint32_t flags, float timeLimit)
{
    FrameItem* item = static_cast<FrameItem*>(engine.m_frames.CreateItem(ItemType::Frame));
    item->frame.name = name;
    item->frame.flags = flags;
    item->frame.timeLimit = timeLimit;
    item->frame.timeStamp = 0.0f;
    return item;
}

std::vector<std::string> FrameNames(CMainWnd& engine)
{
    std::vector<std::string> names;
    for (int i = 0; i < engine.m_frames.GetCount(); i++)
        names.push_back(static_cast<FrameItem*>(engine.m_frames.GetItem(i))->frame.name.GetText());
    return names;
}

TEST(Engine, ReleaseUnusedFramesDropsOnlyExpiredFramesNeverShown)
{
    auto engine = std::make_unique<CMainWnd>();
    engine->m_tickTime = 10.0f;
    AddFrame(*engine, "expired first", FramePreloaded, 5.0f);
    AddFrame(*engine, "expired second", 0, 2.0f);
    AddFrame(*engine, "no limit", FramePreloaded, 0.0f);
    AddFrame(*engine, "limit not reached", FramePreloaded, 20.0f);
    FrameItem* current = AddFrame(*engine, "current", 0, 1.0f);
    FrameItem* entering = AddFrame(*engine, "entering", 0, 1.0f);
    FrameItem* leaving = AddFrame(*engine, "leaving", 0, 1.0f);
    AddFrame(*engine, "shown before", FrameActivated, 1.0f);
    AddFrame(*engine, "kept loaded", FrameKeptLoaded, 0.0f);
    AddFrame(*engine, "expired last", 0, 3.0f);
    engine->m_currentFrame = &current->frame;
    engine->m_enteringFrame = &entering->frame;
    engine->m_leavingFrame = &leaving->frame;

    engine->ReleaseUnusedFrames();

    std::vector<std::string> expected = {"no limit", "limit not reached", "current", "entering", "leaving",
                                         "shown before", "kept loaded"};
    EXPECT_EQ(FrameNames(*engine), expected);
    EXPECT_EQ(engine->m_currentFrame, &current->frame) << "removals leave the other frames where they are";
    EXPECT_TRUE(current->frame.flags & FrameExpired);
    EXPECT_FALSE(static_cast<FrameItem*>(engine->m_frames.GetItem(1))->frame.flags & FrameExpired);

    engine->m_currentFrame = &engine->m_firstFrame;
    engine->m_enteringFrame = nullptr;
    engine->m_leavingFrame = nullptr;
}

}  // namespace
