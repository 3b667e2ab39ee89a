// The skinned window: resize zones, caption trimming, double clicks on the caption, plain mode;
// the external window: close requests, content coordinates, minimum and symmetric sizing; the
// progress dialog. Real windows under the test's display.
#include "viewer/external_wnd.h"
#include "viewer/image_wnd.h"
#include "viewer/progress_dlg.h"
#include "viewer/viewer_window.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/window.h"
#include "render/render_device.h"
#include "viewer/main_wnd.h"
#include "viewer/viewer_parameters.h"
#include "viewer_test_support.h"

namespace {

using viewer_test::Pump;


TEST(SkinnedWindow, ResizeZones)
{
    const int w = 300;
    const int h = 200;
    struct Case {
        int x, y, zone;
    } cases[] = {
        {w - 1, 0, ZoneTopRight},     {w - 7, 7, ZoneTopRight},    {w - 8, 0, ZoneTop},
        {w - 1, h - 1, ZoneBottomRight}, {w - 1, h - 15, ZoneBottomRight}, {w - 1, h - 16, ZoneRight},
        {w - 1, 100, ZoneRight},      {100, 0, ZoneTop},           {100, 7, ZoneTop},
        {100, 8, ZoneNone},           {100, h - 1, ZoneBottom},    {100, h - 8, ZoneNone},
        {0, 0, ZoneTopLeft},          {7, 7, ZoneTopLeft},         {8, 7, ZoneTop},
        {0, h - 1, ZoneBottomLeft},   {7, h - 7, ZoneBottomLeft},  {0, h - 8, ZoneLeft},
        {0, 100, ZoneLeft},           {7, 100, ZoneLeft},          {8, 100, ZoneNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(ResizeZoneAt(c.x, c.y, w, h), c.zone);
    }
}

TEST(SkinnedWindow, CaptionTrimming)
{
    // Ten pixels per character.
    auto measure = [](const char* text) { return static_cast<int>(std::strlen(text)) * 10; };
    struct Case {
        const char* title;
        int strip;
        const char* first;
        bool trimmed;
        const char* rest;
    } cases[] = {
        {"Lumarix - tour.kzr", 400, "Lumarix ", false, "- tour.kzr"},
        {"Lumarix - C:\\long\\path\\tour.kzr", 220, "Lumarix ", true, "tour.kzr"},
        {"no hyphen at all", 160, "", true, "hen at all"},
        {"short", 400, "", false, "short"},
        {"a-b-c", 400, "a", false, "-b-c"},
        {"Very long first part - rest", 100, "Very long first part ", true, ""},
        {"", 0, "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        CaptionText text = LayoutCaptionText(c.title, c.strip, measure);
        EXPECT_STREQ(text.first.GetText(), c.first);
        EXPECT_EQ(text.trimmed, c.trimmed);
        EXPECT_STREQ(text.rest.GetText(), c.rest);
    }
}

class SkinnedWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (window.m_hWnd)
            window.DestroyWindow();
        Pump();
    }
    bool Create(bool plain)
    {
        window.m_plain = plain ? 1 : 0;
        window.m_showMaximize = 1;
        const RECT rect = {100, 100, 500, 400};
        if (!window.CreateEx(0, nullptr, "Skinned - window", WS_POPUP | WS_THICKFRAME | WS_CAPTION | WS_VISIBLE,
                             rect, nullptr, 0))
            return false;
        Pump();
        return true;
    }
    CImageWnd window;
};

TEST_F(SkinnedWindowTest, FrameRegionContentAndZones)
{
    ASSERT_TRUE(Create(false));
    EXPECT_FALSE(GetWindowLongA(window.m_hWnd, GWL_STYLE) & WS_CAPTION) << "the drawn caption replaces the system's";
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window.m_hWnd, region), SIMPLEREGION);
    DeleteObject(region);

    RECT client;
    window.GetClientRect(&client);
    const RECT content = window.GetContentRect();
    EXPECT_EQ(content.left, 1);
    EXPECT_EQ(content.top, 24);
    EXPECT_EQ(content.right, client.right - 1);
    EXPECT_EQ(content.bottom, client.bottom - 1);
    EXPECT_EQ(window.HitContent(content.left, content.top), 1);
    EXPECT_EQ(window.HitContent(content.right, content.bottom), 1);
    EXPECT_EQ(window.HitContent(content.left - 1, content.top), 0);
    EXPECT_EQ(window.HitContent(content.left, content.top - 1), 0);
    RECT placed;
    GetWindowRect(window.m_content.m_hWnd, &placed);
    EXPECT_EQ(placed.right - placed.left, content.right - content.left);
    EXPECT_EQ(placed.bottom - placed.top, content.bottom - content.top);

    // The pointer in the top-right corner: the zone is noted and the message handled.
    POINT corner = {client.right - 2, 3};
    ClientToScreen(window.m_hWnd, &corner);
    SetCursorPos(corner.x, corner.y);
    EXPECT_TRUE(window.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(window.m_hWnd),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(window.m_hitCode, ZoneTopRight);

    // A press outside the content asks the system to size (in a zone) or to drag.
    MSG posted = {};
    window.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right - 2, 3));
    ASSERT_TRUE(PeekMessageA(&posted, window.m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(posted.wParam, static_cast<WPARAM>(HTTOPRIGHT));
    POINT caption = {150, 12};
    ClientToScreen(window.m_hWnd, &caption);
    SetCursorPos(caption.x, caption.y);
    window.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(window.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    window.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 12));
    ASSERT_TRUE(PeekMessageA(&posted, window.m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(posted.wParam, static_cast<WPARAM>(HTCAPTION));
    window.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
    EXPECT_FALSE(PeekMessageA(&posted, window.m_hWnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE))
        << "a press in the content is the owner's";
}

TEST_F(SkinnedWindowTest, DoubleClicksOnTheCaption)
{
    ASSERT_TRUE(Create(false));
    window.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(150, 10));
    Pump();
    EXPECT_TRUE(IsZoomed(window.m_hWnd));
    EXPECT_EQ(window.m_maximized, 1);
    window.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(150, 10));
    Pump();
    EXPECT_FALSE(IsZoomed(window.m_hWnd));
    // In the content nothing happens; on the icon the window closes.
    window.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(150, 100));
    Pump();
    EXPECT_FALSE(IsZoomed(window.m_hWnd));
    HWND handle = window.m_hWnd;
    window.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    Pump();
    EXPECT_FALSE(IsWindow(handle));
}

TEST_F(SkinnedWindowTest, PlainWindowHasNoRegionNoZones)
{
    ASSERT_TRUE(Create(true));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window.m_hWnd, region), ERROR);
    DeleteObject(region);
    RECT client;
    window.GetClientRect(&client);
    POINT edge = {client.right - 2, 100};
    ClientToScreen(window.m_hWnd, &edge);
    SetCursorPos(edge.x, edge.y);
    window.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(window.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(window.m_hitCode, ZoneNone);
    // Sizing only sizes the content.
    SetWindowPos(window.m_hWnd, nullptr, 0, 0, 300, 250, SWP_NOMOVE | SWP_NOZORDER);
    const RECT content = window.GetContentRect();
    RECT placed;
    GetWindowRect(window.m_content.m_hWnd, &placed);
    EXPECT_EQ(placed.right - placed.left, content.right - content.left);
}

TEST_F(SkinnedWindowTest, FrameIsDrawnAndTinted)
{
    const int32_t before = g_pluginColor;
    g_pluginColor = 0x00FF00;
    ASSERT_TRUE(Create(false));
    g_pluginColor = before;
    RECT client;
    window.GetClientRect(&client);
    ASSERT_EQ(window.m_captionStrip.width, client.right);
    ASSERT_EQ(window.m_captionStrip.height, 24);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(window.m_captionStatic.SendMessage(STM_GETIMAGE, IMAGE_BITMAP)),
              window.m_captionStrip.dib);

    // The gradient's first row, tinted green: no red, no blue.
    const uint32_t gradient = window.m_captionStrip.GetPixel(client.right / 2, 1, false) & 0xFFFFFF;
    EXPECT_EQ(gradient & 0xFF00FF, 0u) << std::hex << gradient;
    EXPECT_GE((gradient >> 8) & 0xFF, 0xF0u);
    // The line under the caption.
    const uint32_t underline = window.m_captionStrip.GetPixel(client.right / 2, 23, false) & 0xFFFFFF;
    EXPECT_EQ(underline, 0x009800u) << std::hex << underline;

    // The caption text: dark pixels where the title is written.
    int dark = 0;
    for (int y = 9; y < 22; y++) {
        for (int x = 33; x < 120; x++)
            dark += ((window.m_captionStrip.GetPixel(x, y, false) >> 8) & 0xFF) < 0xA0 ? 1 : 0;
    }
    EXPECT_GT(dark, 20) << "the title is drawn into the caption";

    // Caption buttons carry their pictures, sized to them.
    EXPECT_NE(window.m_closeButton.m_normal, nullptr);
    EXPECT_NE(window.m_closeButton.m_hover, window.m_closeButton.m_normal);
    RECT button;
    window.m_closeButton.GetClientRect(&button);
    EXPECT_EQ(button.right, window.m_buttonImages[3][0].width);
    EXPECT_TRUE(IsWindowVisible(window.m_closeButton.m_hWnd));
    EXPECT_TRUE(IsWindowVisible(window.m_maximizeButton.m_hWnd));
    EXPECT_FALSE(IsWindowVisible(window.m_minimizeButton.m_hWnd));

    // Maximised, the maximise button shows the restore picture.
    window.SendMessage(WM_COMMAND, CaptionMaximize);
    Pump();
    EXPECT_TRUE(IsZoomed(window.m_hWnd));
    EXPECT_EQ(window.m_maximizeButton.m_normal, window.m_buttonImages[2][0].dib);
    window.SendMessage(WM_COMMAND, CaptionMaximize);
    Pump();
    EXPECT_EQ(window.m_maximizeButton.m_normal, window.m_buttonImages[1][0].dib);
}

// An external window whose messages to the engine are recorded instead.
class RecordingExternal : public CVentanaExt {
public:
    struct Seen {
        UINT message;
        LPARAM lParam;
    };
    std::vector<Seen> seen;
    int Count(UINT message) const
    {
        int n = 0;
        for (const Seen& s : seen)
            n += s.message == message ? 1 : 0;
        return n;
    }

protected:
    LRESULT RelayToEngine(UINT message, WPARAM, LPARAM lParam) override
    {
        seen.push_back({message, lParam});
        return 0;
    }
};

class ExternalWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const RECT rect = {100, 100, 500, 400};
        ASSERT_TRUE(external.CreateEx(WS_EX_TOPMOST, nullptr, "Lumarix", WS_POPUP | WS_VISIBLE, rect, nullptr, 0));
        Pump();
        other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(other);
        if (external.m_hWnd)
            external.DestroyWindow();
        Pump();
    }
    RecordingExternal external;
    HWND other = nullptr;
};

TEST_F(ExternalWindowTest, OneToggleRequestPerClose)
{
    external.seen.clear();
    external.SendMessage(WM_CLOSE);
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 0) << "outside external mode a close does nothing";
    EXPECT_TRUE(IsWindow(external.m_hWnd)) << "the message window is never closed";

    external.m_externalMode = other;
    external.SendMessage(WM_CLOSE);
    external.SendMessage(WM_CLOSE);
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 1);
    EXPECT_TRUE(IsWindow(external.m_hWnd));

    // Hidden, the request is taken as handled; the next close asks again.
    external.ShowWindow(SW_HIDE);
    external.SendMessage(WM_CLOSE);
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 2);
}

TEST_F(ExternalWindowTest, FocusLostToAnUnrelatedWindowAsksToLeave)
{
    external.m_externalMode = other;
    external.m_partner = other;
    external.seen.clear();
    external.SendMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(other));
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 0) << "the partner may take the focus";
    external.SendMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(external.m_content.m_hWnd));
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 0) << "a child of the window may take it";
    external.SendMessage(WM_KILLFOCUS, 0);
    Pump();
    EXPECT_EQ(external.Count(ViewerMessageToggleFullScreen), 1) << "another application took it";
}

TEST_F(ExternalWindowTest, MousePointsInContentCoordinates)
{
    external.m_externalMode = other;
    external.seen.clear();
    const int left = external.m_left;
    const int caption = external.m_caption;
    external.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(left, caption));
    external.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(left + 30, caption + 20));
    ASSERT_EQ(external.Count(WM_LBUTTONDOWN), 1);
    ASSERT_EQ(external.Count(WM_MOUSEMOVE), 1);
    for (const auto& s : external.seen) {
        if (s.message == WM_LBUTTONDOWN) {
            EXPECT_EQ(GET_X_LPARAM(s.lParam), 0);
            EXPECT_EQ(GET_Y_LPARAM(s.lParam), 0);
        }
        if (s.message == WM_MOUSEMOVE) {
            EXPECT_EQ(GET_X_LPARAM(s.lParam), 30);
            EXPECT_EQ(GET_Y_LPARAM(s.lParam), 20);
        }
    }
    // On the frame the window drags itself: the engine does not see it.
    external.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(external.Count(WM_LBUTTONDOWN), 1);
    // Outside external mode points go on unchanged.
    external.m_externalMode = nullptr;
    external.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(external.Count(WM_RBUTTONDOWN), 1);
    EXPECT_EQ(external.seen.back().lParam, MAKELPARAM(5, 5));
}

TEST_F(ExternalWindowTest, MinimumAndSymmetricSizing)
{
    MINMAXINFO info = {};
    external.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 240);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
    EXPECT_GT(info.ptMaxTrackSize.x, 3 * GetSystemMetrics(SM_CXSCREEN)) << "may grow beyond the screen";

    // Framed by the system instead of the drawn frame.
    external.m_plain = 1;
    info = {};
    external.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 80);
    EXPECT_EQ(info.ptMinTrackSize.y, 60);

    external.m_externalMode = other;
    const int32_t centre[4] = {100, 100, 301, 201};
    std::copy(centre, centre + 4, external.m_centreRect);
    RECT rect = {100, 100, 351, 251};
    external.SendMessage(WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(external.m_centreRect[2], 302) << "the centre rectangle is made even";
    EXPECT_EQ(external.m_centreRect[3], 202);
    EXPECT_EQ(rect.left, 51);
    EXPECT_EQ(rect.top, 51);
    EXPECT_EQ(rect.right, 351);
    EXPECT_EQ(rect.bottom, 251);

    rect = {100, 100, 120, 110};
    external.SendMessage(WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(rect.right - rect.left, 80);
    EXPECT_EQ(rect.bottom - rect.top, 60);
    EXPECT_EQ((rect.left + rect.right) / 2, 201);
    EXPECT_EQ((rect.top + rect.bottom) / 2, 151);

    // Only the bottom-right corner is symmetric, and never beyond the screen's edges.
    rect = {100, 100, 351, 251};
    external.SendMessage(WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(rect.left, 100);
    rect = {0, 0, 600, 500};
    external.SendMessage(WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
}

TEST(ProgressDialog, RangeIsAHundred)
{
    CProgressDlg dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    ASSERT_NE(dialog.m_progress.m_hWnd, nullptr);
    int low = -1;
    int high = -1;
    dialog.m_progress.GetRange(&low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 100);
    EXPECT_NE(dialog.GetDlgItem(IDCANCEL), nullptr);
    EXPECT_NE(dialog.GetDlgItem(kProgressTextControl), nullptr);
    dialog.DestroyWindow();
}

TEST(ImageButton, LatchedButtonReturnsToItsPressedBitmap)
{
    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 200, 200, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    CImageButton button;
    const RECT rect = {10, 10, 36, 36};
    ASSERT_TRUE(button.Create("", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, rect, parent, 5));
    HBITMAP normal = CreateBitmap(26, 26, 1, 32, nullptr);
    HBITMAP pressed = CreateBitmap(26, 26, 1, 32, nullptr);
    HBITMAP hover = CreateBitmap(20, 22, 1, 32, nullptr);
    button.SetBitmaps(normal, pressed, hover, nullptr, nullptr);
    EXPECT_EQ(button.m_current, normal);
    button.m_current = hover;
    button.SizeToBitmap();
    RECT sized;
    button.GetClientRect(&sized);
    EXPECT_EQ(sized.right, 20);
    EXPECT_EQ(sized.bottom, 22);

    // The pointer far away: the hover check puts the resting bitmap back.
    SetCursorPos(0, 0);
    button.m_latched = true;
    button.SendMessage(WM_TIMER, kImageButtonHoverTimer);
    EXPECT_EQ(button.m_current, pressed);
    button.m_latched = false;
    button.m_current = hover;
    button.SendMessage(WM_TIMER, kImageButtonHoverTimer);
    EXPECT_EQ(button.m_current, normal);

    button.SetTooltipText("Open file");
    char text[64] = {};
    button.m_tooltip.GetText(1, text, sizeof text);
    EXPECT_STREQ(text, "Open file");
    DestroyWindow(parent);
    DeleteObject(normal);
    DeleteObject(pressed);
    DeleteObject(hover);
}

TEST(ViewerWindow, DeviceFollowsTheWindowAndGoesWithIt)
{
    CVentanaVisor window;
    const RECT rect = {50, 50, 250, 200};
    ASSERT_TRUE(window.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE, rect, nullptr, 0));
    window.device = new CObjeto2D();
    if (window.device->CreateDevice(200, 150, window.m_hWnd) != 0) {
        window.DestroyWindow();
        GTEST_SKIP() << "no render device here";
    }
    SetWindowPos(window.m_hWnd, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT client;
    window.GetClientRect(&client);
    EXPECT_EQ(window.device->params->width, client.right);
    EXPECT_EQ(window.device->params->height, client.bottom);
    InvalidateRect(window.m_hWnd, nullptr, FALSE);
    UpdateWindow(window.m_hWnd);
    ::DestroyWindow(window.m_hWnd);
    EXPECT_EQ(window.device, nullptr) << "the window's destruction deletes the device";
}

} // namespace
