// The engine's dispatcher: results per message, the right-button options, posting only while
// initialised, timers (one-shots once, the hardware monitor repeatedly, armed before
// initialisation), the key handlers' closing rules, zero sizes, looping sounds through the
// multimedia seam, camera names from the network and the detection exchange with a fake camera
// on 127.0.0.1.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cameras/camera_link.h"
#include "core/item_records.h"
#include "core/mailboxes.h"
#include "core/object_item.h"
#include "core/stream.h"
#include "dispatch_support.h"

using dispatch_test::TestMessageWindow;

namespace {

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CMainWnd>();
        window = std::make_unique<TestMessageWindow>(engine.get());
        engine->m_messageWnd = window->m_hWnd;
    }
    void TearDown() override
    {
        engine->m_initialized = 0;
        engine->StopUpdateLoop();
        window.reset();
        engine.reset();
    }

    std::unique_ptr<CMainWnd> engine;
    std::unique_ptr<TestMessageWindow> window;
};

TEST_F(Dispatch, ResultsPerMessage)
{
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
    };
    const Case cases[] = {
        {"move", WM_MOVE, 0, 0, 0},
        {"cursor in the client area", WM_SETCURSOR, 0, HTCLIENT, 1},
        {"cursor on the caption", WM_SETCURSOR, 0, HTCAPTION, 0},
        {"display change", WM_DISPLAYCHANGE, 32, 0, 1},
        {"mouse move", WM_MOUSEMOVE, 0, MAKELPARAM(5, 6), 1},
        {"left press in the host", WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6), 0},
        {"left release in the host", WM_LBUTTONUP, 0, MAKELPARAM(5, 6), 0},
        {"right press", WM_RBUTTONDOWN, MK_RBUTTON, 0, 1},
        {"middle press", WM_MBUTTONDOWN, MK_MBUTTON, 0, 0},
        {"middle release", WM_MBUTTONUP, 0, 0, 0},
        {"menu id below the range", WM_COMMAND, 32767, 0, 0},
        {"menu id above the range", WM_COMMAND, 34001, 0, 0},
        {"timer", WM_TIMER, 99, 0, 0},
        {"toggle external window", ViewerMessageToggleExternalWindow, 0, 0, 1},
        {"begin drag", ViewerMessageBeginDrag, 0, 0, 1},
        {"interface loaded before initialisation", ViewerMessageInterfaceLoaded, 1, 0, 1},
        {"script reload before initialisation", ViewerMessageReloadScriptFile, 0, 0, 1},
        {"output comparison", ViewerMessageCompareOutput, 0, 0, 1},
        {"unknown message", WM_USER + 199, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine->HandleMessage(c.message, c.wParam, c.lParam), c.result);
    }

    engine->m_viewInExternal = 1;
    EXPECT_EQ(engine->HandleMessage(WM_LBUTTONDOWN, MK_LBUTTON, 0), 1)
        << "the external window consumes its button presses";
    EXPECT_EQ(engine->HandleMessage(WM_LBUTTONUP, 0, 0), 1);
}

TEST_F(Dispatch, MousePointsAreSigned16BitWords)
{
    engine->HandleMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-20, -3));
    EXPECT_EQ(engine->m_mouseX, -20);
    EXPECT_EQ(engine->m_mouseY, -3);
    engine->HandleMessage(WM_MOUSEMOVE, 0, MAKELPARAM(1000, 700));
    EXPECT_EQ(engine->m_mouseX, 1000);
    EXPECT_EQ(engine->m_mouseY, 700);
}

TEST_F(Dispatch, RightButtonOptions)
{
    struct Case {
        const char* name;
        int oneButton;
        int disabled;
        int32_t buttonsAfterPress;
    };
    const Case cases[] = {
        {"normal", 0, 0, MK_RBUTTON},
        {"one mouse button: the left handler takes the press", 1, 0, MK_RBUTTON},
        {"disabled: consumed, nothing happens", 0, 1, 0},
        {"disabled wins over one button", 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine->m_mouseButtons = 0;
        engine->m_oneMouseButton = c.oneButton;
        engine->m_rightButtonDisabled = c.disabled;
        EXPECT_EQ(engine->HandleMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(3, 4)), 1);
        EXPECT_EQ(engine->m_mouseButtons, c.buttonsAfterPress);
        EXPECT_EQ(engine->HandleMessage(WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(3, 4)), 1);
        EXPECT_EQ(engine->HandleMessage(WM_RBUTTONUP, 0, MAKELPARAM(3, 4)), 1);
    }
}

TEST_F(Dispatch, PostsWhileUninitialisedAreDropped)
{
    EXPECT_FALSE(engine->PostToViewer(ViewerMessageKeyDown, 'A', 0));
    window->Pump(30);
    EXPECT_EQ(window->Count(ViewerMessageKeyDown), 0);

    engine->m_initialized = 1;
    EXPECT_TRUE(engine->PostToViewer(ViewerMessageKeyDown, 'A', 0));
    window->Pump(30);
    EXPECT_EQ(window->Count(ViewerMessageKeyDown, 'A'), 1);

    engine->m_messageWnd = nullptr;
    EXPECT_FALSE(engine->PostToViewer(ViewerMessageKeyDown, 'B', 0)) << "no message window";
}

TEST_F(Dispatch, TimersFireBeforeInitialisationOneShotsOnceTheMonitorRepeatedly)
{
    ASSERT_EQ(engine->m_initialized, 0);
    // The button release reschedules autoplay, which cancels the autoplay start without an
    // autoplay delay: it fires in a pump of its own below.
    const UINT_PTR oneShots[] = {ViewerTimerTourStep, ViewerTimerAutoplayStart,
                                 ViewerTimerImageRefresh, ViewerTimerResumeCamera};
    for (UINT_PTR id : oneShots)
        EXPECT_NE(engine->SetViewerTimer(id, 10), 0u) << id;
    EXPECT_NE(engine->SetViewerTimer(ViewerTimerHardwareMonitor, 10), 0u);
    window->Pump(250);
    for (UINT_PTR id : oneShots) {
        SCOPED_TRACE(id);
        EXPECT_EQ(window->Count(WM_TIMER, id), 1);
    }
    EXPECT_GE(window->Count(WM_TIMER, ViewerTimerHardwareMonitor), 3);
    engine->KillViewerTimer(ViewerTimerHardwareMonitor);
    EXPECT_NE(engine->SetViewerTimer(ViewerTimerButtonRelease, 10), 0u);
    window->Pump(100);
    EXPECT_EQ(window->Count(WM_TIMER, ViewerTimerButtonRelease), 1);

    engine->m_messageWnd = nullptr;
    EXPECT_EQ(engine->SetViewerTimer(ViewerTimerTourStep, 10), 0u) << "no message window";
}

TEST_F(Dispatch, CameraStepTimerRetriesEverySecondWhileNothingIsUnderTheCamera)
{
    // Following the ground answers -1 until a scene is there: it sets the timer to try again
    // a second later.
    engine->SetViewerTimer(ViewerTimerCameraStep, 10);
    window->Pump(300);
    EXPECT_EQ(window->Count(WM_TIMER, ViewerTimerCameraStep), 1);
    window->Pump(1000);
    EXPECT_GE(window->Count(WM_TIMER, ViewerTimerCameraStep), 2);
    engine->KillViewerTimer(ViewerTimerCameraStep);
}

TEST_F(Dispatch, AutoplayStartTimerMarksAPendingStartStarted)
{
    engine->m_autoplayPending = 1;
    engine->OnTimer(ViewerTimerAutoplayStart);
    EXPECT_EQ(engine->m_autoplayRunning, 1);
    EXPECT_EQ(engine->m_autoplayPending, 3);
}

class HostWindow {
public:
    HostWindow()
        : m_hWnd(dispatch_test::CreateTestWindow("LumarixDispatchHost", DefWindowProcA, 10, 10))
    {
    }
    ~HostWindow() { DestroyWindow(m_hWnd); }
    // Takes the WM_CLOSE messages posted to the window; answers how many there were.
    int TakeCloses()
    {
        int count = 0;
        MSG msg;
        while (PeekMessageA(&msg, m_hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE))
            count++;
        return count;
    }
    HWND m_hWnd;
};

TEST_F(Dispatch, EscapeExitKeyAndTheExternalWindow)
{
    HostWindow host;
    engine->m_hostWnd = host.m_hWnd;
    engine->m_initialized = 1;

    engine->m_params.exitKey = 1;
    engine->m_viewInExternal = 1;
    EXPECT_EQ(engine->HandleMessage(WM_KEYUP, VK_ESCAPE, 0), 0)
        << "the key objects' answer (none) replaces the close's";
    engine->m_keyboardEnabled = 0;
    EXPECT_EQ(engine->OnKeyUp(VK_ESCAPE), 1);
    EXPECT_EQ(host.TakeCloses(), 2) << "exitkey closes even from the external window";
    window->Pump(20);
    EXPECT_EQ(window->Count(ViewerMessageToggleFullScreen), 0);

    engine->m_params.exitKey = 0;
    EXPECT_EQ(engine->OnKeyUp(VK_ESCAPE), 1);
    EXPECT_EQ(engine->OnKeyUp(VK_ESCAPE), 0) << "one leave request until the window is hidden";
    window->Pump(20);
    EXPECT_EQ(window->Count(ViewerMessageToggleFullScreen, 0), 1);
    EXPECT_EQ(host.TakeCloses(), 0);

    engine->m_viewInExternal = 0;
    engine->m_externalClosePosted = 0;
    EXPECT_EQ(engine->OnKeyUp(VK_ESCAPE), 0) << "Esc in the host does nothing by itself";

    engine->m_params.exitKey = 1;
    engine->m_keyInputEnabled = 0;
    EXPECT_EQ(engine->OnKeyUp(VK_ESCAPE), 0) << "skipped while the save dialog is open";
    EXPECT_EQ(host.TakeCloses(), 0);
}

TEST_F(Dispatch, ScreensaverClosesOnKeysAndFocusLoss)
{
    HostWindow host;
    engine->m_hostWnd = host.m_hWnd;
    engine->m_keyboardEnabled = 0;

    EXPECT_EQ(engine->OnKeyDown('A'), 0);
    engine->OnKillFocus();
    EXPECT_EQ(host.TakeCloses(), 0) << "a normal player stays";

    engine->m_closeOnInput = 1;
    engine->m_closeOnKeyboard = 1;
    EXPECT_EQ(engine->OnKeyDown('A'), 1);
    EXPECT_EQ(host.TakeCloses(), 1);
    engine->m_keyboardEnabled = 1;
    EXPECT_EQ(engine->OnKeyDown('A'), 0) << "the key objects still run and give the answer";
    EXPECT_EQ(host.TakeCloses(), 1);

    engine->OnKillFocus();
    EXPECT_EQ(host.TakeCloses(), 0);
    engine->m_closeOnFocusLoss = 1;
    engine->HandleMessage(WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(host.TakeCloses(), 1);
}

TEST_F(Dispatch, DoubleClickTogglesFullScreenOnceWithTheOption)
{
    engine->m_initialized = 1;
    engine->HandleMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    window->Pump(20);
    EXPECT_EQ(window->Count(ViewerMessageToggleFullScreen), 0);

    engine->m_viewerOptions = 0x4;
    engine->m_dragMode = 1;
    engine->HandleMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_EQ(engine->m_dragMode, 0) << "the view drag ends";
    EXPECT_EQ(engine->m_doubleClicked, 1);
    window->Pump(20);
    EXPECT_EQ(window->Count(ViewerMessageToggleFullScreen, 0), 1);
}

TEST_F(Dispatch, SizesNeedAnInitialisedEngineAndRealSizes)
{
    const int ticks = engine->m_tickCount;
    engine->OnSize(0, 300, 200);
    EXPECT_EQ(engine->m_tickCount, ticks) << "not initialised";
    engine->OnShowWindow(0);
    EXPECT_FALSE(engine->m_view.status & DeviceHidden) << "not initialised";

    engine->m_initialized = 1;
    engine->OnSize(0, 0, 200);
    engine->OnSize(SIZE_MINIMIZED, 300, 0);
    EXPECT_EQ(engine->m_tickCount, ticks) << "zero sizes change nothing";
}

// The multimedia layer of the looping-sound tests: answers per command, and what was sent.
struct FakeMci {
    static std::vector<std::string> sent;
    static std::string length, position;
    static MCIERROR positionError, playError;
    static MCIERROR Send(const char* command, char* answer, UINT size, HWND)
    {
        std::string text = command;
        sent.push_back(text);
        auto answerWith = [&](const std::string& value) {
            if (answer && size)
                lstrcpynA(answer, value.c_str(), static_cast<int>(size));
        };
        if (text.find(" length") != std::string::npos) {
            answerWith(length);
            return 0;
        }
        if (text.find(" position") != std::string::npos) {
            answerWith(position);
            return positionError;
        }
        if (text.rfind("play ", 0) == 0)
            return playError;
        return 0;
    }
};
std::vector<std::string> FakeMci::sent;
std::string FakeMci::length, FakeMci::position;
MCIERROR FakeMci::positionError = 0, FakeMci::playError = 0;

TEST_F(Dispatch, LoopingSoundsRestartAtTheirEnd)
{
    engine->m_mciSend = FakeMci::Send;
    auto addSound = [&](const char* name, uint8_t loop) {
        auto* item = static_cast<ObjectItem*>(engine->m_sounds.CreateItem(ItemType::NodeHotspot3D));
        ASSERT_NE(item, nullptr);
        item->name = name;
        item->number = -1;
        item->kindFlag = loop;
    };
    addSound("rain", 1);
    addSound("paused", 0);
    CTexto drained;
    TakePendingMessage(&drained);

    struct Case {
        const char* name;
        const char* position;
        MCIERROR positionError;
        MCIERROR playError;
        std::vector<std::string> sent;
        bool message;
    };
    const std::vector<Case> cases = {
        {"at its end", "9000", 0, 0,
         {"status rain length", "status rain position", "seek rain to start",
          "play rain notify"},
         false},
        {"still playing", "4000", 0, 0, {"status rain length", "status rain position"}, false},
        {"position query fails", "9000", 277, 0,
         {"status rain length", "status rain position"}, false},
        {"play fails", "9000", 0, 263,
         {"status rain length", "status rain position", "seek rain to start",
          "play rain notify"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMci::sent.clear();
        FakeMci::length = "9000";
        FakeMci::position = c.position;
        FakeMci::positionError = c.positionError;
        FakeMci::playError = c.playError;
        EXPECT_EQ(engine->HandleMessage(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 0), 0);
        EXPECT_EQ(FakeMci::sent, c.sent);
        CTexto message;
        EXPECT_EQ(TakePendingMessage(&message), c.message);
        if (c.message) {
            EXPECT_EQ(std::string(message.GetText()).rfind("PlaySound ERROR: ", 0), 0u);
        }
    }

    FakeMci::sent.clear();
    engine->HandleMessage(MM_MCINOTIFY, MCI_NOTIFY_ABORTED, 0);
    EXPECT_TRUE(FakeMci::sent.empty()) << "only a successful notification restarts";
}

TEST(CameraNames, OnlyNamesThatCannotLeaveTheirQuotesGoIntoACommand)
{
    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {
        {"cam1", true},
        {"192.168.1.20:9017", true},
        {"Entrada Norte", true},
        {"", false},
        {"x\");Exit(\"", false},
        {"a'b", false},
        {"a;b", false},
        {"a(b", false},
        {"a\\b", false},
        {"line\nbreak", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeCameraName(c.name), c.safe);
    }
    EXPECT_FALSE(IsSafeCameraName(nullptr));
}

// A camera on 127.0.0.1 that takes one request and answers it with the given bytes.
class FakeCamera {
public:
    FakeCamera()
    {
        listening = server.Listen(0, nullptr, 3000) == 1;
        port = server.GetListenPort();
    }
    ~FakeCamera()
    {
        server.CloseListenSocket();
        if (worker.joinable())
            worker.join();
    }
    // Serves one connection: reads the request (and, for a send, the payload), then replies.
    void ServeOnce(std::vector<uint8_t> reply, bool readPayload)
    {
        worker = std::thread([this, reply, readPayload] {
            if (server.Accept() != 1)
                return;
            int32_t count = 0;
            if (!ReceiveInt32(server, &count) || count <= 0 || count > 2047)
                return;
            std::string text(static_cast<size_t>(count), '\0');
            if (server.Recv(&text[0], count) != count)
                return;
            request = text;
            if (readPayload && ReceiveInt32(server, &count) && count > 0 && count <= 1024) {
                payload.resize(static_cast<size_t>(count));
                server.Recv(payload.data(), count);
            }
            if (!reply.empty())
                server.Send(reply.data(), static_cast<int>(reply.size()));
            server.CloseConnection();
        });
    }
    void Join()
    {
        if (worker.joinable())
            worker.join();
    }

    CFicheroHttp server;
    bool listening = false;
    int port = 0;
    std::thread worker;
    std::string request;
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> DetectionReply(int32_t announced, int32_t bytes, int32_t firstValue)
{
    std::vector<uint8_t> reply(4 + static_cast<size_t>(bytes));
    PutInt32(reply.data(), announced);
    for (int32_t i = 0; i + 4 <= bytes; i += 4)
        PutInt32(reply.data() + 4 + i, firstValue + i / 4);
    return reply;
}

TEST_F(Dispatch, DetectionParametersAreTakenOnlyFromACompleteReply)
{
    struct Case {
        const char* name;
        int32_t announced;
        int32_t bytes;
        bool taken;
    };
    const Case cases[] = {
        {"the whole block", 92, 92, true},
        {"length 0", 0, 0, false},
        {"length 93", 93, 93, false},
        {"length 91", 91, 91, false},
        {"announced 92, cut short", 92, 40, false},
        {"negative length", -92, 0, false},
    };
    engine->m_initialized = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCamera camera;
        ASSERT_TRUE(camera.listening);
        engine->m_cameraAddress.Format("127.0.0.1:%d", camera.port);
        engine->m_currentFrame->motionDetection = 7;
        engine->m_detectionDlg.m_method = 2;
        engine->m_detectionDlg.m_values[0] = 6;
        camera.ServeOnce(DetectionReply(c.announced, c.bytes, 1000), false);
        engine->HandleMessage(ViewerMessageCameraCommand, CameraUiDetectionParams,
                              DetectionParamsFetch);
        camera.Join();
        EXPECT_EQ(camera.request, "GETDETECTIONPARAMS");
        if (c.taken) {
            EXPECT_EQ(engine->m_currentFrame->motionDetection, 1000);
            EXPECT_EQ(engine->m_detectionDlg.m_method, 1001);
            EXPECT_EQ(engine->m_detectionDlg.m_values[0], 1002);
            EXPECT_EQ(engine->m_detectionDlg.m_values[20], 1022);
        } else {
            EXPECT_EQ(engine->m_currentFrame->motionDetection, 7);
            EXPECT_EQ(engine->m_detectionDlg.m_method, 2);
            EXPECT_EQ(engine->m_detectionDlg.m_values[0], 6);
        }
    }
}

TEST_F(Dispatch, DetectionParametersAreSentAsOneBlock)
{
    FakeCamera camera;
    ASSERT_TRUE(camera.listening);
    engine->m_cameraAddress.Format("127.0.0.1:%d", camera.port);
    engine->m_currentFrame->motionDetection = 1;
    engine->m_detectionDlg.m_method = 0;
    for (int i = 0; i < kDetectionParamValues; i++)
        engine->m_detectionDlg.m_values[i] = 50 + i;
    camera.ServeOnce({}, true);
    engine->HandleMessage(ViewerMessageCameraCommand, CameraUiDetectionParams,
                          DetectionParamsSend);
    camera.Join();
    EXPECT_EQ(camera.request, "SETDETECTIONPARAMS");
    ASSERT_EQ(camera.payload.size(), 92u);
    EXPECT_EQ(GetInt32(camera.payload.data()), 1);
    EXPECT_EQ(GetInt32(camera.payload.data() + 4), 0);
    EXPECT_EQ(GetInt32(camera.payload.data() + 8), 50);
    EXPECT_EQ(GetInt32(camera.payload.data() + 88), 70);
}

TEST_F(Dispatch, CameraCommandsNeedAnAddressAndAShortText)
{
    EXPECT_FALSE(engine->SendCameraCommand("GETSTATE")) << "no camera address";
    FakeCamera camera;
    ASSERT_TRUE(camera.listening);
    engine->m_cameraAddress.Format("127.0.0.1:%d", camera.port);
    EXPECT_FALSE(engine->SendCameraCommand("%s", "")) << "an empty text";
    std::string tooLong(2048, 'X');
    EXPECT_FALSE(engine->SendCameraCommand("%s", tooLong.c_str()));
    camera.ServeOnce({}, false);
    EXPECT_TRUE(engine->SendCameraCommand("GETIMAGE %s %d", "cam1", 1));
    camera.Join();
    engine->m_cameraLink.CloseConnection();
    EXPECT_EQ(camera.request, "GETIMAGE cam1 1");
}

}  // namespace
