// The window layer: a window's messages reach its object's handlers, creation can be changed or
// refused, and the application's message loop ends with its main window.
#include "platform/application.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class RecordingWindow : public CWnd {
public:
    std::vector<std::string> calls;
    int createResult = 0;
    bool allowCreation = true;
    DWORD addedStyle = 0;
    int sizeWidth = -1;
    int sizeHeight = -1;
    UINT_PTR timerId = 0;
    std::string copiedText;
    bool postNcDestroyed = false;

protected:
    BOOL PreCreateWindow(CREATESTRUCTA& cs) override
    {
        calls.push_back("PreCreateWindow");
        cs.style |= static_cast<LONG>(addedStyle);
        return allowCreation ? TRUE : FALSE;
    }
    int OnCreate(CREATESTRUCTA* cs) override
    {
        calls.push_back("OnCreate");
        EXPECT_EQ(cs->lpCreateParams, this);
        EXPECT_EQ(FromHandle(m_hWnd), this) << "the window must be linked before WM_CREATE";
        return createResult;
    }
    void OnDestroy() override
    {
        calls.push_back("OnDestroy");
        Default();
    }
    void OnSize(UINT, int width, int height) override
    {
        sizeWidth = width;
        sizeHeight = height;
    }
    void OnTimer(UINT_PTR id) override { timerId = id; }
    BOOL OnCopyData(HWND, COPYDATASTRUCT* data) override
    {
        copiedText.assign(static_cast<const char*>(data->lpData), data->cbData);
        return TRUE;
    }
    void PostNcDestroy() override { postNcDestroyed = true; }
};

const RECT kRect = {10, 20, 210, 170};

TEST(Window, MessagesReachTheObjectsHandlers)
{
    RecordingWindow window;
    ASSERT_TRUE(window.CreateEx(0, RegisterWindowClass(CS_DBLCLKS), "title", WS_OVERLAPPED, kRect, nullptr, 0));
    HWND hwnd = window.m_hWnd;
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(hwnd), &window);
    ASSERT_GE(window.calls.size(), 2u);
    EXPECT_EQ(window.calls[0], "PreCreateWindow");
    EXPECT_EQ(window.calls[1], "OnCreate");

    SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(123, 45));
    EXPECT_EQ(window.sizeWidth, 123);
    EXPECT_EQ(window.sizeHeight, 45);
    SendMessageA(hwnd, WM_TIMER, 77, 0);
    EXPECT_EQ(window.timerId, 77u);

    char text[] = "copied, with 'quotes'";
    COPYDATASTRUCT data = {0, sizeof text - 1, text};
    EXPECT_EQ(SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), TRUE);
    EXPECT_EQ(window.copiedText, "copied, with 'quotes'");

    // A message without a handler gets the system's handling.
    char title[32] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "title");

    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.calls.back(), "OnDestroy");
    EXPECT_TRUE(window.postNcDestroyed);
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
}

TEST(Window, CreationCanBeChangedOrRefused)
{
    struct Case {
        const char* what;
        bool allow;
        int createResult;
        bool created;
    } cases[] = {
        {"PreCreateWindow refuses", false, 0, false},
        {"OnCreate refuses", true, -1, false},
        {"both accept", true, 0, true},
    };
    for (const Case& c : cases) {
        RecordingWindow window;
        window.allowCreation = c.allow;
        window.createResult = c.createResult;
        window.addedStyle = WS_CAPTION;
        BOOL created = window.CreateEx(0, nullptr, nullptr, WS_POPUP, kRect, nullptr, 0);
        EXPECT_EQ(created != FALSE, c.created) << c.what;
        EXPECT_EQ(window.m_hWnd != nullptr, c.created) << c.what;
        if (c.created) {
            EXPECT_TRUE(GetWindowLongA(window.m_hWnd, GWL_STYLE) & WS_CAPTION) << "PreCreateWindow's style";
        }
    }
}

TEST(Window, DestroyingTheObjectDestroysItsWindow)
{
    HWND hwnd = nullptr;
    {
        RecordingWindow window;
        ASSERT_TRUE(window.CreateEx(0, nullptr, nullptr, WS_POPUP, kRect, nullptr, 0));
        hwnd = window.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

// A window object that deletes itself when its window is gone, in storage the test can inspect
// afterwards: delete fills it with a pattern that any later write through the object would spoil.
class SelfDeletingWindow : public CWnd {
public:
    static void* operator new(size_t size)
    {
        EXPECT_LE(size, sizeof storage);
        return storage;
    }
    static void operator delete(void*) { std::memset(storage, kFreedPattern, sizeof storage); }

    static constexpr unsigned char kFreedPattern = 0xA5;
    alignas(16) static unsigned char storage[512];

protected:
    void PostNcDestroy() override { delete this; }
};

alignas(16) unsigned char SelfDeletingWindow::storage[512];

TEST(Window, ObjectMayDeleteItselfWhenAHandlerDestroysItsWindow)
{
    for (UINT message : {UINT(WM_CLOSE), UINT(WM_SYSCOMMAND)}) {
        SelfDeletingWindow* window = new SelfDeletingWindow;
        ASSERT_TRUE(window->CreateEx(0, nullptr, nullptr, WS_OVERLAPPEDWINDOW, kRect, nullptr, 0));
        HWND hwnd = window->m_hWnd;
        // The default WM_CLOSE (also reached from SC_CLOSE) destroys the window inside the handler.
        if (message == WM_CLOSE)
            SendMessageA(hwnd, WM_CLOSE, 0, 0);
        else
            SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(hwnd));
        bool untouched = true;
        for (unsigned char byte : SelfDeletingWindow::storage)
            untouched = untouched && byte == SelfDeletingWindow::kFreedPattern;
        EXPECT_TRUE(untouched) << "the layer wrote into the deleted object after message " << message;
    }
}

TEST(Window, ClassRegistration)
{
    const char* first = RegisterWindowClass(CS_HREDRAW | CS_VREDRAW);
    const char* again = RegisterWindowClass(CS_HREDRAW | CS_VREDRAW);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, again) << "one class per set of values";
    EXPECT_NE(std::string(first), std::string(RegisterWindowClass(CS_DBLCLKS)));

    EXPECT_TRUE(RegisterNamedWindowClass("WindowTestNamedClass", CS_DBLCLKS));
    EXPECT_TRUE(RegisterNamedWindowClass("WindowTestNamedClass", CS_DBLCLKS)) << "an existing class counts";
    EXPECT_FALSE(RegisterNamedWindowClass("", CS_DBLCLKS));

    RecordingWindow window;
    ASSERT_TRUE(window.CreateEx(0, "WindowTestNamedClass", nullptr, WS_POPUP, kRect, nullptr, 0));
    char name[64] = {};
    GetClassNameA(window.m_hWnd, name, sizeof name);
    EXPECT_STREQ(name, "WindowTestNamedClass");
    EXPECT_EQ(CWnd::FromHandle(window.m_hWnd), &window);
}

TEST(Application, CommandLineBehindTheProgramName)
{
    struct Case {
        const char* full;
        const char* rest;
    } cases[] = {
        {"player.exe /s", "/s"},
        {"\"C:\\Program Files\\x.scr\" /p 1234", "/p 1234"},
        {"\"C:\\a b\\x.scr\"", ""},
        {"x.scr   \t /c", "/c"},
        {"", ""},
        {"\"unterminated", ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(SkipProgramName(c.full), c.rest) << c.full;
    EXPECT_STREQ(SkipProgramName(nullptr), "");
}

class ClosingApp : public CWinApp {
public:
    RecordingWindow window;
    bool ranLoop = false;
    BOOL initResult = TRUE;
    std::string commandLine;

    BOOL InitInstance() override
    {
        commandLine = m_lpCmdLine;
        if (!initResult)
            return FALSE;
        if (!window.CreateEx(0, nullptr, "main", WS_OVERLAPPEDWINDOW, kRect, nullptr, 0))
            return FALSE;
        m_pMainWnd = &window;
        window.PostMessage(WM_CLOSE);
        return TRUE;
    }
    int Run() override
    {
        ranLoop = true;
        return CWinApp::Run();
    }
    int ExitInstance() override { return window.m_hWnd ? 1 : 7; }
};

TEST(Application, LoopEndsWithTheMainWindowAndExitInstanceGivesTheCode)
{
    ClosingApp app;
    ASSERT_EQ(GetApp(), &app);
    EXPECT_EQ(RunApplication(GetModuleHandleA(nullptr), "/x y"), 7);
    EXPECT_TRUE(app.ranLoop);
    EXPECT_EQ(app.commandLine, "/x y");
    EXPECT_EQ(app.window.m_hWnd, nullptr);
    EXPECT_FALSE(app.m_exeName.GetLength() == 0);
}

TEST(Application, FailedInitInstanceSkipsTheLoop)
{
    ClosingApp app;
    app.initResult = FALSE;
    EXPECT_EQ(RunApplication(GetModuleHandleA(nullptr), nullptr), 7);
    EXPECT_FALSE(app.ranLoop);
    EXPECT_EQ(app.commandLine, "");
}

}  // namespace
