// The host window: class, size and position from the interface mode and the parameters, its
// toolbar, the routing of mouse messages to the view, and the player as a process started
// from a package or as a second instance.
#include "viewer/main_frame.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <windowsx.h>

#include <memory>
#include <string>

#include "core/language.h"
#include "core/package.h"
#include "player_process.h"
#include "test_support.h"
#include "viewer_test_support.h"
#include "viewer/lumarix_app.h"

namespace {

using viewer_test::Pump;

constexpr DWORD kWaitMs = 20000;

int CountToolbarButtons(HWND host, RECT* first)
{
    int count = 0;
    for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        if (id < 32700 || id > 33100)
            continue;
        count++;
        if (id == 32801 && first) {
            GetWindowRect(child, first);
            MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(first), 2);
        }
    }
    return count;
}

// A host window made in this process the way the program makes it, for a program in a scratch
// folder without parameter files.
class HostWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedPath = g_programPath;
        m_savedClass = g_windowClassName;
        GetCurrentDirectoryA(MAX_PATH, m_savedDirectory);
        g_programPath = (folder.Path() + "viewer.exe").c_str();
    }
    void TearDown() override
    {
        if (frame && frame->m_hWnd)
            frame->DestroyWindow();
        Pump();
        frame.reset();
        g_programPath = m_savedPath;
        g_windowClassName = m_savedClass;
        SetCurrentDirectoryA(m_savedDirectory);
    }
    bool Create(const char* commandLine, double windowsVersion = 5.1, bool screensaver = false)
    {
        frame = std::make_unique<CMainFrame>(commandLine);
        frame->m_engine.m_screensaver = screensaver ? 1 : 0;
        m_windowsVersion = windowsVersion;
        if (windowsVersion < 6.0)
            frame->m_windowsVersion = [](const CMainWnd&) { return 5.1; };
        else
            frame->m_windowsVersion = [](const CMainWnd&) { return 6.1; };
        g_windowClassName = screensaver ? kWindowClassScreensaver : kWindowClassPlayer;
        const BOOL created = frame->CreateEx(0, nullptr, kMainFrameTitle, kMainFrameStyle, kMainFrameInitialRect,
                                             nullptr, 0);
        Pump();
        return created != FALSE;
    }

    TempFolder folder;
    std::unique_ptr<CMainFrame> frame;
    double m_windowsVersion = 5.1;
    CTexto m_savedPath;
    CTexto m_savedClass;
    char m_savedDirectory[MAX_PATH] = {};
};

TEST_F(HostWindow, ClassSizeAndPlaceFollowModeAndParameters)
{
    const int dx = 2 * GetSystemMetrics(SM_CXDLGFRAME);
    const int dy = 2 * GetSystemMetrics(SM_CYDLGFRAME);
    struct Case {
        const char* commandLine;
        int caption;
        int border;
        bool systemFrame;
    } cases[] = {
        {"interface=0 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 24, 1, false},
        {"interface=1 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 59, 1, false},
        {"interface=2 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 0, 0, false},
        {"interface=5 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 0, 0, true},
        {"interface=6 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 35, 0, true},
        {"interface=9 viewerwidth=400 viewerheight=300 vieweralign=0 viewerposx=40 viewerposy=30", 59, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        ASSERT_TRUE(Create(c.commandLine));
        char name[64] = {};
        GetClassNameA(frame->m_hWnd, name, sizeof name);
        EXPECT_STREQ(name, "LumarixClass");
        EXPECT_EQ(frame->m_caption, c.caption);
        EXPECT_EQ(frame->m_left, c.border);
        EXPECT_EQ(frame->m_bottom, c.border);
        RECT window;
        GetWindowRect(frame->m_hWnd, &window);
        if (!c.systemFrame) {
            EXPECT_EQ(window.right - window.left, 400 + 2 * c.border + dx);
            EXPECT_EQ(window.bottom - window.top, 300 + c.caption + c.border + dy);
            EXPECT_EQ(window.left, 40 - dx / 2);
            EXPECT_EQ(window.top, 30 - dy / 2);
        } else {
            // The system's frame lies around the viewer size.
            RECT client;
            GetClientRect(frame->m_hWnd, &client);
            EXPECT_EQ(client.right, 400);
            EXPECT_EQ(client.bottom, 300 + c.caption);
            EXPECT_EQ(window.left, 40);
            EXPECT_TRUE(GetWindowLongA(frame->m_hWnd, GWL_STYLE) & WS_CAPTION);
        }
        frame->DestroyWindow();
        Pump();
    }

    // Centred (the default alignment 153) on the screen, and the instance name in the class.
    ASSERT_TRUE(Create("viewerwidth=400 viewerheight=300 instancename=Two"));
    char name[64] = {};
    GetClassNameA(frame->m_hWnd, name, sizeof name);
    EXPECT_STREQ(name, "LumarixClassTwo");
    RECT window;
    GetWindowRect(frame->m_hWnd, &window);
    EXPECT_NEAR((window.left + window.right) / 2.0, GetSystemMetrics(SM_CXSCREEN) / 2.0, 2.0);
    EXPECT_NEAR((window.top + window.bottom) / 2.0, GetSystemMetrics(SM_CYSCREEN) / 2.0, 2.0);
}

TEST_F(HostWindow, SystemModesAndMenuFromWindowsSix)
{
    ASSERT_TRUE(Create("interface=1", 6.1));
    EXPECT_EQ(frame->m_engine.m_params.interfaceMode, InterfaceSystemCaption);
    EXPECT_EQ(GetMenu(frame->m_hWnd), nullptr);
    frame->DestroyWindow();
    Pump();
    ASSERT_TRUE(Create("interface=4", 6.1));
    HMENU menu = GetMenu(frame->m_hWnd);
    ASSERT_NE(menu, nullptr) << "modes 3 and 4 carry the menu bar";
    EXPECT_EQ(GetMenuItemCount(menu), 5);
}

TEST_F(HostWindow, TwelveToolbarButtonsAndTheCodeWindow)
{
    ASSERT_TRUE(Create("interface=1 invertpano=1"));
    RECT first = {};
    EXPECT_EQ(CountToolbarButtons(frame->m_hWnd, &first), 12);
    EXPECT_EQ(first.left, 3);
    EXPECT_EQ(first.top, 59 - 31);
    const int lefts[12] = {3, 31, 65, 93, 127, 161, 189, 189, 189, 217, 245, 279};
    for (int i = 0; i < 12; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frame->m_toolbarRects[i][0], lefts[i]);
        EXPECT_EQ(frame->m_toolbarRects[i][1], 28);
        EXPECT_EQ(frame->m_toolbarRects[i][2], 26);
    }
    EXPECT_EQ(frame->m_toolbarButtons[3].m_current, frame->m_toolbarButtons[3].m_pressed);
    ASSERT_NE(frame->m_codeEdit.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindowVisible(frame->m_codeEdit.m_hWnd));
    EXPECT_EQ(GetParent(frame->m_codeEdit.m_hWnd), frame->m_content.m_hWnd);
    EXPECT_EQ(frame->m_engine.m_viewWnd, frame->m_content.m_hWnd);
}

TEST_F(HostWindow, ScreensaverHasNoToolbarAndNoCodeWindow)
{
    ASSERT_TRUE(Create("/s oneinstance=1 interface=1 toolsbar=1", 5.1, true));
    EXPECT_EQ(CountToolbarButtons(frame->m_hWnd, nullptr), 0);
    EXPECT_EQ(frame->m_codeEdit.m_hWnd, nullptr);
    EXPECT_EQ(frame->m_engine.m_params.interfaceMode, InterfaceNone);
    EXPECT_EQ(frame->m_engine.m_params.toolsBar, 0);
    EXPECT_EQ(frame->m_handedOver, 0);
}

TEST_F(HostWindow, TitleFromViewerTitleOrPath)
{
    ASSERT_TRUE(Create("interface=0"));
    char title[256] = {};
    frame->UpdateTitle("C:\\tours\\a.kzr");
    GetWindowTextA(frame->m_hWnd, title, sizeof title);
    EXPECT_STREQ(title, "Lumarix - C:\\tours\\a.kzr");
    frame->UpdateTitle("a.jpg,b.jpg,c.jpg");
    GetWindowTextA(frame->m_hWnd, title, sizeof title);
    EXPECT_STREQ(title, "Lumarix -  ...");
    frame->UpdateTitle("");
    GetWindowTextA(frame->m_hWnd, title, sizeof title);
    EXPECT_STREQ(title, "Lumarix");
    frame->m_engine.m_viewerTitle = "My tour";
    frame->UpdateTitle("a.jpg,b.jpg");
    GetWindowTextA(frame->m_hWnd, title, sizeof title);
    EXPECT_STREQ(title, "My tour");
}

TEST_F(HostWindow, MalformedHandOverChangesNothing)
{
    ASSERT_TRUE(Create("interface=0 menu=0"));
    const std::string before = frame->m_commandLine.GetText();
    const std::string whole = "'C:\\x\\','menu=1','n','C:\\x\\n.exe'";
    struct Case {
        std::string record;
        size_t size;
    } cases[] = {
        {"'a','b','c'", 11},
        {"no quotes at all", 16},
        {whole, whole.size() - 1},   // the closing quote lies beyond the bytes given
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        COPYDATASTRUCT data = {};
        data.cbData = static_cast<DWORD>(c.size);
        data.lpData = const_cast<char*>(c.record.data());
        EXPECT_NE(frame->SendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0)
            << "the hand-over is always taken";
        EXPECT_EQ(std::string(frame->m_commandLine.GetText()), before);
        EXPECT_EQ(frame->m_engine.m_params.menu, 0);
    }
}

TEST_F(HostWindow, EngineWindowsLiveFromInitialisationToShutdown)
{
    ASSERT_TRUE(Create("interface=0 maximize=1 fullscreen=1"));
    if (!frame->m_engine.m_initialized)
        GTEST_SKIP() << "no render device here: the engine stays uninitialised";
    CMainWnd& engine = frame->m_engine;
    HWND external = engine.m_externalWnd.m_hWnd;
    ASSERT_NE(external, nullptr) << "the message window exists";
    EXPECT_FALSE(IsWindowVisible(external));
    EXPECT_TRUE(GetWindowLongA(external, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(external, GW_OWNER), frame->m_hWnd);
    HWND viewfinder = engine.m_viewfinder.m_hWnd;
    ASSERT_NE(viewfinder, nullptr);
    EXPECT_EQ(GetWindow(viewfinder, GW_OWNER), external);
    EXPECT_TRUE(GetWindowLongA(viewfinder, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    HWND progress = engine.m_progressDlg.m_hWnd;
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(GetWindow(progress, GW_OWNER), frame->m_hWnd);
    EXPECT_EQ(engine.m_applyPosted, 0) << "the opening that initialisation asked for ran";
    EXPECT_NE(engine.m_updateLoopThread.load(), nullptr) << "the opening started the update loop";

    // "maximize": the host maximises right after start-up and full screen is off.
    Pump();
    EXPECT_TRUE(IsZoomed(frame->m_hWnd));
    EXPECT_EQ(engine.m_params.fullScreen, 0);

    frame->DestroyWindow();
    Pump();
    EXPECT_FALSE(IsWindow(external));
    EXPECT_FALSE(IsWindow(viewfinder));
    EXPECT_FALSE(IsWindow(progress));
}

TEST_F(HostWindow, MouseOverTheViewGoesToTheEngine)
{
    ASSERT_TRUE(Create("interface=0"));
    const RECT content = frame->GetContentRect();
    const LPARAM inView = MAKELPARAM(content.left + 10, content.top + 10);
    const LPARAM onCaption = MAKELPARAM(content.left + 100, 5);
    frame->SendMessage(WM_MOUSEMOVE, 0, inView);
    EXPECT_EQ(frame->m_pointerOverView, 1);
    frame->SendMessage(WM_MOUSEMOVE, 0, onCaption);
    EXPECT_EQ(frame->m_pointerOverView, 0);

    // A press in the view is the engine's: the host does not start dragging itself.
    MSG posted = {};
    frame->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, inView);
    EXPECT_FALSE(PeekMessageA(&posted, frame->m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
    frame->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, onCaption);
    EXPECT_TRUE(PeekMessageA(&posted, frame->m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));

    // During a view drag every point, even left of and above the window, goes to the engine.
    frame->m_engine.m_dragMode = DragView;
    frame->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-40), static_cast<WORD>(-20)));
    EXPECT_EQ(frame->m_pointerOverView, 1);
    frame->m_engine.m_dragMode = DragNone;
    frame->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(-40), static_cast<WORD>(-20)));
    EXPECT_EQ(frame->m_pointerOverView, 0);
}

TEST_F(HostWindow, TipsFollowTheLanguageTable)
{
    ASSERT_TRUE(Create("interface=1"));
    EXPECT_EQ(frame->SendMessage(HostMessageRefreshToolbar), 0);
    char text[128] = {};
    frame->m_toolbarButtons[0].m_tooltip.GetText(1, text, sizeof text);
    EXPECT_STREQ(text, GetLanguageLine(13));
    frame->m_toolbarButtons[11].m_tooltip.GetText(1, text, sizeof text);
    EXPECT_STREQ(text, GetLanguageLine(100));
    frame->m_closeButton.m_tooltip.GetText(1, text, sizeof text);
    EXPECT_STREQ(text, GetLanguageLine(kLineClose));
    frame->m_iconButton.m_tooltip.GetText(1, text, sizeof text);
    EXPECT_STREQ(text, kCaptionIconTip);
}

TEST(HostMouseRouting, ViewCoordinatesWheelInScreenAndDragsOutside)
{
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                                nullptr, nullptr);
    HWND view = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 5, 30, 200, 100, host, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(view, nullptr);
    struct Case {
        UINT message;
        int x, y;
        bool dragging;
        bool routed;
        int viewX, viewY;
    } cases[] = {
        {WM_MOUSEMOVE, 10, 40, false, true, 5, 10},
        {WM_LBUTTONDOWN, 5, 30, false, true, 0, 0},           // top-left corner is inside
        {WM_LBUTTONUP, 204, 129, false, true, 199, 99},
        {WM_MOUSEMOVE, 205, 40, false, false, 0, 0},          // right edge is outside
        {WM_MOUSEMOVE, 10, 130, false, false, 0, 0},          // bottom edge is outside
        {WM_MOUSEMOVE, 1, 1, false, false, 0, 0},
        {WM_MOUSEMOVE, 1, 1, true, true, -4, -29},            // a drag keeps reaching the view
        {WM_MOUSEMOVE, -20, -5, true, true, -25, -35},        // left of and above the window
        {WM_LBUTTONUP, -300, 700, true, true, -305, 670},
        {WM_RBUTTONDBLCLK, 50, 50, false, true, 45, 20},
        {WM_KEYDOWN, 10, 40, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message << " " << c.x << "," << c.y);
        LPARAM out = 0;
        const bool routed = HostMouseToView(c.message, MAKELPARAM(static_cast<WORD>(c.x), static_cast<WORD>(c.y)),
                                            host, view, c.dragging, &out);
        ASSERT_EQ(routed, c.routed);
        if (routed) {
            EXPECT_EQ(GET_X_LPARAM(out), c.viewX);
            EXPECT_EQ(GET_Y_LPARAM(out), c.viewY);
        }
    }
    // The wheel's point is in screen coordinates already and goes on unchanged.
    RECT viewRect;
    GetWindowRect(view, &viewRect);
    const LPARAM wheel = MAKELPARAM(viewRect.left + 3, viewRect.top + 3);
    LPARAM out = 0;
    ASSERT_TRUE(HostMouseToView(WM_MOUSEWHEEL, wheel, host, view, false, &out));
    EXPECT_EQ(out, wheel);
    EXPECT_FALSE(HostMouseToView(WM_MOUSEWHEEL, MAKELPARAM(viewRect.right + 3, viewRect.top + 3), host, view,
                                 false, &out));
    DestroyWindow(host);
}

// --- The player as a process ---

// A copy of the player in the folder (ending in a backslash); its path.
std::string CopyOfPlayer(const std::string& folder, const std::string& name)
{
    CopyFileA(test_support::BuildPath("lumarix.exe").c_str(), (folder + name).c_str(), FALSE);
    return folder + name;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TitleOf(HWND window)
{
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    return title;
}

TEST(PlayerStart, PackageGivesParametersAndClassDamagedGivesAPlainPlayer)
{
    TempFolder folder;
    const std::string program = TempFolder::ReadAll(test_support::BuildPath("lumarix.exe"));
    viewer_test::PackageLayout packed;
    packed.parameters = "viewertitle=\"Packed tour\" interface=2";
    viewer_test::PackageLayout tooManyEntries = packed;
    tooManyEntries.entryCount = 0x7FFFFFF;
    const std::string whole = viewer_test::BuildPackage(packed, program);
    struct Case {
        const char* what;
        std::string file;
        const char* windowClass;
        const char* title;
    } cases[] = {
        {"package", whole, "LumarixClassPack", "Packed tour"},
        {"entry count beyond the file", viewer_test::BuildPackage(tooManyEntries, program), "LumarixClass",
         "Lumarix"},
        {"cut trailer", whole.substr(0, whole.size() - 30), "LumarixClass", "Lumarix"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerProcess player(folder.Write("tour.exe", c.file));
        ASSERT_TRUE(player.Start(""));
        HWND window = WaitForProcessWindow(player, "Lumarix", kWaitMs);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(ClassOf(window), c.windowClass);
        EXPECT_EQ(TitleOf(window), c.title);
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(player.WaitForExit(kWaitMs), 0);
    }
}

TEST_F(HostWindow, SecondStartHandsItsTextsToTheFirstAndExits)
{
    // A window class of this test's own: the second start must find this frame and not a player
    // that anything else runs on the same desktop meanwhile.
    const std::string instance = "instancename=HandOver" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(Create(("interface=0 " + instance).c_str()));
    const std::string second = CopyOfPlayer(folder.Path(), "second.exe");
    const std::string commandLine = "oneinstance=1 " + instance + " \"a b\",c\\d 'q'";
    PlayerProcess player(second);
    ASSERT_TRUE(player.Start(commandLine));
    EXPECT_EQ(player.WaitForExit(kWaitMs), 0);
    EXPECT_EQ(FindProcessWindow(player.pi.dwProcessId, "", false), nullptr);
    EXPECT_EQ(std::string(frame->m_commandLine.GetText()), commandLine);
    EXPECT_EQ(std::string(frame->m_startFolder.GetText()), folder.Path());
    EXPECT_STREQ(frame->m_programName.GetText(), "second");
    EXPECT_EQ(std::string(g_programPath.GetText()), second);
    EXPECT_EQ(frame->m_engine.m_params.oneInstance, 1) << "the sender's parameters were applied";
}

// Counts the hand-overs a window of the screensaver's class receives.
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA)
        SetWindowLongPtrA(window, GWLP_USERDATA, GetWindowLongPtrA(window, GWLP_USERDATA) + 1);
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(PlayerStart, ScreensaverNeverHandsOver)
{
    TempFolder folder;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClassScreensaver;
    RegisterClassA(&wc);
    HWND running = CreateWindowExA(0, kWindowClassScreensaver, "running", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_NE(running, nullptr);
    folder.Write("saver.txt", "oneinstance=1");
    PlayerProcess saver(CopyOfPlayer(folder.Path(), "saver.scr"));
    ASSERT_TRUE(saver.Start("/s"));
    HWND window = WaitForProcessWindow(saver, kWindowClassScreensaver, kWaitMs);
    ASSERT_NE(window, nullptr) << "the screensaver opens its own window";
    EXPECT_EQ(GetWindowLongPtrA(running, GWLP_USERDATA), 0);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) << "the full-screen screensaver is topmost";
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(saver.WaitForExit(kWaitMs), 0);
    DestroyWindow(running);
    UnregisterClassA(kWindowClassScreensaver, wc.hInstance);
}

} // namespace
