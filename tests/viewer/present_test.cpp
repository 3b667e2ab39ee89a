// The view's way to the screen: out into the external window as a popup and back to the same
// place, full screen and its closing event, a refused full screen that reopens as a popup on GDI
// surfaces, and painting while the view is away.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/system_wrappers.h"
#include "dispatch_support.h"
#include "render/directx_probe.h"
#include "viewer_test_support.h"

namespace {

constexpr int kHostW = 320, kHostH = 240;
constexpr int kViewX = 20, kViewY = 30, kViewW = 200, kViewH = 150;

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT WindowRect(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

int CountHostEvents(const CMainWnd& engine, const char* value)
{
    int count = 0;
    for (int32_t i = engine.m_hostEventRead; i != engine.m_hostEventWrite; i = (i + 1) % 20) {
        if (std::strcmp(engine.m_hostEventValues[i].GetText(), value) == 0)
            count++;
    }
    return count;
}

int s_boxes = 0;
int CountBox(HWND, const char*, const char*, UINT)
{
    s_boxes++;
    return IDOK;
}

// An engine whose view is a child window of a shown host, as in the player.
class Present : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousBox = SetMessageBoxFunction(CountBox);
        s_boxes = 0;
        host = dispatch_test::CreateTestWindow("LumarixPresentHost", DefWindowProcA, kHostW, kHostH);
        ShowWindow(host, SW_SHOWNA);
        view = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, kViewX, kViewY, kViewW, kViewH,
                               host, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(view, nullptr);
        engine = std::make_unique<CMainWnd>();
        engine->m_viewWnd = view;
        ASSERT_EQ(engine->Initialize(kViewW, kViewH, host, 0), 1);
        viewer_test::Pump();
    }
    void TearDown() override
    {
        engine->Shutdown();
        engine.reset();
        DestroyWindow(host);
        g_renderSystem = DefaultRenderDeviceSystem();
        SetMessageBoxFunction(m_previousBox);
    }

    HWND host = nullptr;
    HWND view = nullptr;
    std::unique_ptr<CMainWnd> engine;
    MessageBoxFunction m_previousBox = nullptr;
};

TEST_F(Present, APopupToggledTwiceComesBackToTheSamePlace)
{
    RECT place;
    ASSERT_TRUE(engine->GetViewWindowRect(&place));
    EXPECT_EQ(place.right - place.left, kViewW);
    EXPECT_EQ(place.bottom - place.top, kViewH);
    CVentanaExt& external = engine->m_externalWnd;

    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        // Out, skinned: the external window covers the view's place grown by its margins.
        EXPECT_EQ(engine->ToggleFullScreen(0, 0), 1);
        EXPECT_EQ(external.m_externalMode, host);
        EXPECT_TRUE(IsWindowVisible(external.m_hWnd));
        const RECT grown = {place.left - external.m_left, place.top - external.m_caption,
                            place.right + external.m_right, place.bottom + external.m_bottom};
        EXPECT_TRUE(SameRect(WindowRect(external.m_hWnd), grown));
        const HWND content = external.m_content.m_hWnd ? external.m_content.m_hWnd : external.m_hWnd;
        EXPECT_EQ(engine->m_view.window, content);
        EXPECT_EQ(engine->m_buttonPressed[4], 1) << "the external-window slot is pressed";
        EXPECT_EQ(engine->m_view.fullscreen, 0);

        // Back: the device draws into the view again, at the same screen place.
        EXPECT_EQ(engine->ToggleFullScreen(1, 1), 1) << "any arguments bring it back";
        EXPECT_EQ(external.m_externalMode, nullptr);
        EXPECT_FALSE(IsWindowVisible(external.m_hWnd));
        EXPECT_EQ(engine->m_view.window, view);
        EXPECT_TRUE(SameRect(engine->m_view.deviceRect, place));
        RECT again;
        ASSERT_TRUE(engine->GetViewWindowRect(&again));
        EXPECT_TRUE(SameRect(again, place));
        EXPECT_EQ(engine->m_buttonPressed[4], 0);
    }
    EXPECT_EQ(CountHostEvents(*engine, "_fullscreenclosed_"), 0) << "a popup closes silently";
    EXPECT_EQ(engine->m_fullScreenClosed, 0);

    // A framed popup sits on the view's own place with a border.
    EXPECT_EQ(engine->ToggleFullScreen(1, 0), 1);
    EXPECT_NE(GetWindowLongPtrA(external.m_hWnd, GWL_STYLE) & WS_BORDER, 0);
    EXPECT_EQ(engine->m_view.window, external.m_hWnd);
    EXPECT_EQ(engine->ToggleFullScreen(0, 0), 1);
    EXPECT_EQ(CountHostEvents(*engine, "_fullscreenclosed_"), 0);
}

TEST_F(Present, LeavingFullScreenQueuesOneClosedEvent)
{
    EXPECT_EQ(engine->ToggleFullScreen(0, 1), 1);
    ASSERT_EQ(engine->m_view.fullscreen, 1) << "full screen at the desktop's size needs no mode change";
    EXPECT_EQ(engine->m_fullScreenOpened, 1);
    EXPECT_EQ(engine->m_params.fullScreen, 1);
    EXPECT_EQ(engine->m_buttonPressed[3], 1);
    EXPECT_EQ(engine->m_buttonPressed[4], 0) << "full screen is not the popup";
    EXPECT_EQ(CountHostEvents(*engine, "_fullscreenclosed_"), 0);

    EXPECT_EQ(engine->ToggleFullScreen(0, 0), 1);
    EXPECT_EQ(engine->m_view.fullscreen, 0);
    EXPECT_EQ(engine->m_externalWnd.m_externalMode, nullptr);
    EXPECT_EQ(engine->m_view.window, view);
    EXPECT_EQ(CountHostEvents(*engine, "_fullscreenclosed_"), 1);
    EXPECT_EQ(engine->m_fullScreenClosed, 1);
    EXPECT_EQ(engine->m_params.fullScreen, 0);
    EXPECT_EQ(s_boxes, 0);
}

TEST_F(Present, PaintingWhileTheViewIsAwayShowsTheBackgroundColour)
{
    engine->m_currentFrame->backColour = 0x123456;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kViewW, kViewH);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all = {0, 0, kViewW, kViewH};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    engine->OnPaint(dc);
    EXPECT_NE(GetPixel(dc, kViewW / 2, kViewH / 2), RGB(0x12, 0x34, 0x56)) << "in the host no fill";

    engine->ToggleFullScreen(0, 0);
    engine->OnPaint(dc);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(GetPixel(dc, kViewW - 1, kViewH - 1), RGB(0x12, 0x34, 0x56));
    engine->ToggleFullScreen(0, 0);

    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(Present, FocusGoesToTheExternalWindowOnlyWhenNamed)
{
    engine->ToggleFullScreen(1, 0);
    engine->FocusView(engine->m_externalWnd.m_hWnd);
    EXPECT_EQ(GetFocus(), engine->m_externalWnd.m_hWnd);
    engine->FocusView(view);
    EXPECT_EQ(GetFocus(), host);
    engine->FocusView(nullptr);
    EXPECT_EQ(GetFocus(), host);
    engine->ToggleFullScreen(0, 0);
}

TEST_F(Present, TheAboutWindowShowsCentredWithTheVersionAndHidesOnTheNextCommand)
{
    CAboutWnd& about = engine->m_aboutWnd;
    ASSERT_NE(about.m_hWnd, nullptr) << "made at start-up";
    EXPECT_EQ(about.m_created, 1);
    EXPECT_FALSE(IsWindowVisible(about.m_hWnd));

    engine->ToggleAboutWindow();
    EXPECT_TRUE(IsWindowVisible(about.m_hWnd));
    const RECT r = WindowRect(about.m_hWnd);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 250);
    EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 190);
    EXPECT_EQ(r.right - r.left, 500);
    EXPECT_EQ(r.bottom - r.top, 362);
    EXPECT_STREQ(about.m_versionText, "1.0.0.0");

    engine->ToggleAboutWindow();
    EXPECT_FALSE(IsWindowVisible(about.m_hWnd));

    // A page named once stays for later showings.
    about.ShowAbout("credits.html");
    about.ShowAbout(nullptr);
    EXPECT_STREQ(about.m_aboutUrl.GetText(), "credits.html");
    // Closing hides it; the next command shows it again.
    about.SendMessage(WM_CLOSE);
    EXPECT_TRUE(IsWindow(about.m_hWnd));
    engine->ToggleAboutWindow();
    EXPECT_TRUE(IsWindowVisible(about.m_hWnd));
    engine->ToggleAboutWindow();
}

TEST(ProgramVersion, TextsPackIntoOneByteEach)
{
    struct Case {
        const char* text;
        uint32_t packed;
    } cases[] = {
        {"1.2.3.4", 0x01020304u},  {"1, 2, 3, 4", 0x01020304u}, {"6.3", 0x0603u},
        {"10.0.19041.1", 0x0A4A6101u}, {"", 0u},                 {"beta", 0u},
        {"1.2.3.4.5", 0x01020304u}, {"7.", 0x07u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PackVersion(c.text), c.packed);
    }
    char text[40];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(GetProgramVersion(text), 0x01000000u) << "the test program carries version 1.0.0.0";
    EXPECT_STREQ(text, "1.0.0.0");
    EXPECT_EQ(GetProgramVersion(nullptr), 0x01000000u);
}

// The display refuses the exclusive mode full screen needs.
HRESULT RefuseExclusiveMode(int32_t call)
{
    return call == CallExclusiveMode ? DDERR_NOEXCLUSIVEMODE : S_OK;
}

// The view in a top-level window on DirectDraw surfaces: full screen is refused, the view comes
// back, moves to GDI surfaces and asks to reopen as a borderless popup.
TEST(PresentRefused, ARefusedFullScreenReopensAsAPopupOnGdiSurfaces)
{
    MessageBoxFunction previousBox = SetMessageBoxFunction(CountBox);
    s_boxes = 0;
    const uint32_t previousLevel = g_directXLevel.exchange(kDirectXLevelDirectDraw);
    HWND host = dispatch_test::CreateTestWindow("LumarixRefusedHost", DefWindowProcA, kViewW, kViewH);
    ShowWindow(host, SW_SHOWNA);
    auto engine = std::make_unique<CMainWnd>();
    ASSERT_EQ(engine->Initialize(kViewW, kViewH, host, 0), 1);
    viewer_test::Pump();
    if (engine->m_view.gdiMode) {
        engine->Shutdown();
        engine.reset();
        DestroyWindow(host);
        g_directXLevel = previousLevel;
        SetMessageBoxFunction(previousBox);
        GTEST_SKIP() << "no DirectDraw surfaces here";
    }
    engine->m_view.SetRenderState(RenderStateZBuffer, 1);
    g_renderSystem.backEndFault = RefuseExclusiveMode;

    EXPECT_EQ(engine->ToggleFullScreen(0, 1), 1);
    EXPECT_EQ(engine->m_view.fullscreen, 0);
    EXPECT_EQ(engine->m_fullScreenOpened, 0);
    EXPECT_EQ(s_boxes, 1) << "the device says it cannot change to full screen";
    EXPECT_EQ(engine->m_externalWnd.m_externalMode, nullptr) << "the view came back";
    EXPECT_EQ(engine->m_view.window, host);
    EXPECT_EQ(engine->m_view.gdiMode, 1);
    EXPECT_EQ(engine->m_view.GetRenderState(RenderStateZBuffer), 1) << "the new device keeps its states";
    EXPECT_EQ(CountHostEvents(*engine, "_fullscreenclosed_"), 0);

    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, engine->m_messageWnd, ViewerMessageToggleFullScreen,
                             ViewerMessageToggleFullScreen, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(message.lParam, 0);
    DispatchMessageA(&message);
    EXPECT_EQ(engine->m_externalWnd.m_externalMode, host) << "reopened as a popup";
    EXPECT_EQ(engine->m_view.fullscreen, 0);
    EXPECT_EQ(GetWindowLongPtrA(engine->m_externalWnd.m_hWnd, GWL_STYLE) & WS_BORDER, 0);
    engine->ToggleFullScreen(0, 0);

    g_renderSystem = DefaultRenderDeviceSystem();
    engine->Shutdown();
    engine.reset();
    DestroyWindow(host);
    g_directXLevel = previousLevel;
    SetMessageBoxFunction(previousBox);
}


}  // namespace
