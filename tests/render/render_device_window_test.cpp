// The software device on a window and without one: creation on DirectDraw and on a GDI DIB, a
// frame cleared to a colour and presented (read back from the window), each fallback of the
// creation chain, minimised and parked windows, window-less presents.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/language.h"
#include "core/system_wrappers.h"
#include "render/directx_probe.h"

namespace {

constexpr uint32_t kColour = 0x3366CC;  // 0x00RRGGBB

std::vector<std::string> g_boxes;

int RecordBox(HWND, const char* text, const char*, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

// Each test starts from an unprobed process with the real system services and records the
// device's message boxes instead of showing them.
class RenderDeviceWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        m_previousBox = SetMessageBoxFunction(RecordBox);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
    }
    void TearDown() override
    {
        if (m_window)
            DestroyWindow(m_window);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
        SetMessageBoxFunction(m_previousBox);
    }

    // A visible top-level window with a 320 x 240 client area, above the windows of tests that
    // run beside this one (a DirectDraw present is clipped to what shows of the window).
    HWND MakeWindow(int x = 930, int y = 750)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RenderDeviceTest";
        RegisterClassA(&wc);
        RECT rect = {0, 0, 320, 240};
        AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
        m_window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "device", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                                   rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                   wc.hInstance, nullptr);
        Pump();
        return m_window;
    }

    static void Pump()
    {
        MSG message;
        for (int round = 0; round < 20; round++) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            Sleep(5);
        }
    }

    HWND m_window = nullptr;
    MessageBoxFunction m_previousBox = nullptr;
};

// The frame's pixel (x, y) as 0x00RRGGBB.
uint32_t FramePixel(CObjeto2D& device, int x, int y)
{
    uint8_t* pixels = device.LockFrame();
    if (!pixels)
        return 0xFFFFFFFF;
    const uint8_t* p = pixels + y * device.params->stride + x * device.params->bytesPerPixel;
    uint32_t value = p[0] | (p[1] << 8) | (p[2] << 16);
    device.UnlockFrame();
    return value;
}

// The window's client pixel as 0x00RRGGBB; the expected colour where a window of a test running
// beside this one covers the point (the present is clipped there).
uint32_t WindowPixel(HWND window, int x, int y, uint32_t expected)
{
    POINT screen = {x, y};
    ClientToScreen(window, &screen);
    if (WindowFromPoint(screen) != window)
        return expected;
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return SwapRedBlue(colour) & 0xFFFFFF;
}

void DrawFrame(CObjeto2D& device, HWND window, HDC target)
{
    EXPECT_EQ(device.BeginScene(window), 0);
    device.Clear(true);
    EXPECT_EQ(device.EndScene(), 0);
    EXPECT_EQ(device.Present(target), 0);
}

TEST_F(RenderDeviceWindow, DirectDrawWindowIsClearedAndPresented)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(320, 240, window), 0);
    EXPECT_EQ(g_directXLevel.load(), 0x801u);
    EXPECT_EQ(device.backEnd, RenderSoftware);
    EXPECT_EQ(device.gdiMode, 0);
    EXPECT_NE(device.directDraw, nullptr);
    EXPECT_NE(device.primarySurface, nullptr);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(device.params->width, 320);
    EXPECT_EQ(device.params->height, 240);
    EXPECT_GE(device.params->bitsPerPixel, 15);

    device.backgroundColour = kColour;
    DrawFrame(device, window, nullptr);
    Pump();
    for (POINT p : {POINT{0, 0}, POINT{319, 239}, POINT{160, 120}}) {
        SCOPED_TRACE(p.x);
        EXPECT_EQ(FramePixel(device, p.x, p.y), kColour);
        EXPECT_EQ(WindowPixel(window, p.x, p.y, kColour), kColour);
    }
    CSprite copy;
    ASSERT_TRUE(device.CopyFrameToSprite(&copy));
    EXPECT_EQ(copy.width, 320);
    EXPECT_EQ(copy.height, 240);
    EXPECT_EQ(copy.bitsPerPixel, device.params->bitsPerPixel);
    EXPECT_EQ(copy.GetPixel(0, 0, false) & 0xFFFFFF, kColour);
    EXPECT_EQ(copy.GetPixel(319, 239, false) & 0xFFFFFF, kColour);
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(RenderDeviceWindow, GdiWindowIsClearedAndPresented)
{
    // Below DirectX 5 the software back end draws into a GDI DIB.
    g_renderSystem.getDirectXVersion = [] { return 0x300u; };
    HWND window = MakeWindow();
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(320, 240, window), 0);
    EXPECT_EQ(device.gdiMode, 1);
    EXPECT_EQ(device.directDraw, nullptr);
    EXPECT_NE(device.dibSection, nullptr);
    EXPECT_EQ(device.params->bitsPerPixel, 32);

    device.backgroundColour = kColour;
    HDC dc = GetDC(window);
    DrawFrame(device, window, dc);
    ReleaseDC(window, dc);
    for (POINT p : {POINT{0, 0}, POINT{319, 239}, POINT{160, 120}}) {
        SCOPED_TRACE(p.x);
        EXPECT_EQ(FramePixel(device, p.x, p.y), kColour);
        EXPECT_EQ(WindowPixel(window, p.x, p.y, kColour), kColour);
    }
    CSprite copy;
    ASSERT_TRUE(device.CopyFrameToSprite(&copy));
    EXPECT_EQ(copy.GetPixel(160, 120, false) & 0xFFFFFF, kColour);
}

TEST_F(RenderDeviceWindow, ChildWindowShowsItsFrameOnWine)
{
    // A view is a child of its host. On Wine a DirectDraw primary surface would lay a black layer
    // over that child, so the child is drawn through GDI there and its colour shows.
    HWND host = MakeWindow();
    ASSERT_NE(host, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 20, 10, 200, 150, host,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(child, nullptr);
    Pump();
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(200, 150, child), 0);
    EXPECT_EQ(device.gdiMode, RunsOnWine() ? 1 : 0);
    device.backgroundColour = kColour;
    HDC dc = device.gdiMode ? GetDC(child) : nullptr;
    DrawFrame(device, child, dc);
    if (dc)
        ReleaseDC(child, dc);
    Pump();
    for (POINT p : {POINT{0, 0}, POINT{199, 149}, POINT{100, 75}}) {
        SCOPED_TRACE(p.x);
        EXPECT_EQ(WindowPixel(child, p.x, p.y, kColour), kColour);
    }

    // A top-level window keeps DirectDraw.
    CObjeto2D topLevel;
    ASSERT_EQ(topLevel.CreateDevice(320, 240, host), 0);
    EXPECT_EQ(topLevel.gdiMode, 0);
    DestroyWindow(child);
}

int32_t NoMmx(int32_t)
{
    return 0;
}

void* FailAllocation(size_t)
{
    return nullptr;
}

TEST_F(RenderDeviceWindow, EachFallbackOfTheCreationChain)
{
    HWND window = MakeWindow();
    {
        SCOPED_TRACE("no MMX: one message, -1, nothing created");
        g_renderSystem.queryProcessorFeature = NoMmx;
        CObjeto2D device;
        EXPECT_EQ(device.CreateDevice(320, 240, window), -1);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0], GetLanguageLine(kLineNoMmx));
        EXPECT_EQ(device.directDraw, nullptr);
        EXPECT_EQ(device.memoryDC, nullptr);
        EXPECT_EQ(g_directXLevel.load(), 0u);
    }
    {
        SCOPED_TRACE("no DirectDraw: GDI");
        g_renderSystem = DefaultRenderDeviceSystem();
        g_renderSystem.directDrawLibrary = "lumarix_missing_ddraw.dll";
        g_boxes.clear();
        CObjeto2D device;
        EXPECT_EQ(device.CreateDevice(320, 240, window), 0);
        EXPECT_EQ(device.gdiMode, 1);
        EXPECT_NE(device.dibSection, nullptr);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_TRUE(g_boxes.empty());
    }
    {
        SCOPED_TRACE("an 8-bit screen: the creation restarts in GDI");
        g_renderSystem = DefaultRenderDeviceSystem();
        g_renderSystem.forcedScreenDepth = 8;
        CObjeto2D device;
        EXPECT_EQ(device.CreateDevice(320, 240, window), 0);
        EXPECT_EQ(device.gdiMode, 1);
        EXPECT_EQ(device.directDraw, nullptr);
        EXPECT_EQ(device.params->bitsPerPixel, 32);
        EXPECT_TRUE(g_boxes.empty());
    }
    {
        SCOPED_TRACE("Direct3D 9 asked for on a system below 0x900 runs Software");
        g_renderSystem = DefaultRenderDeviceSystem();
        CObjeto2D device;
        device.backEnd = RenderDirect3D9;
        EXPECT_EQ(device.CreateDevice(320, 240, window), 0);
        EXPECT_EQ(device.backEnd, RenderSoftware);
    }
    {
        SCOPED_TRACE("a failed reset: line 71 and its code");
        g_renderSystem = DefaultRenderDeviceSystem();
        CObjeto2D device;
        ASSERT_EQ(device.CreateDevice(320, 240, window), 0);
        device.SetRenderState(RenderStateZBuffer, 1);
        g_renderSystem.allocate = FailAllocation;
        EXPECT_EQ(device.UpdateSize(-1, -1, -1), E_FAIL);
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0], GetLanguageLine(kLineCannotCreateSurfaces));
        EXPECT_TRUE(device.status.load() & DeviceResetting) << "drawing stays off";
        EXPECT_EQ(device.ResetDevice(0), 0) << "further resets are refused";
        EXPECT_EQ(device.BeginScene(window), 0);
        g_renderSystem.allocate = DefaultRenderDeviceSystem().allocate;
        EXPECT_EQ(device.CreateDevice(320, 240, window), 0) << "re-creation heals it";
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_NE(device.params->depthBuffer, nullptr);
    }
}

TEST_F(RenderDeviceWindow, MinimisedOrParkedWindowsDrawNothingAndResetWhenBack)
{
    HWND window = MakeWindow();
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(320, 240, window), 0);

    ShowWindow(window, SW_MINIMIZE);
    Pump();
    device.CheckWindowState(window);
    EXPECT_TRUE(device.status.load() & DeviceMinimised);
    EXPECT_EQ(device.minimisedLatch, 1);
    EXPECT_EQ(device.ClientToViewport(nullptr), false);
    EXPECT_EQ(device.ResetDevice(0), 0);
    // The reset that comes back with the window fills the new background.
    device.backgroundColour = 0x00FF00;
    ShowWindow(window, SW_RESTORE);
    Pump();
    device.CheckWindowState(window);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(device.minimisedLatch, 0);
    EXPECT_EQ(FramePixel(device, 10, 10), 0x00FF00u);

    SetWindowPos(window, nullptr, -32000, -32000, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    device.CheckWindowState(window);
    EXPECT_TRUE(device.status.load() & DeviceMinimised) << "a window parked at -32000";
    device.backgroundColour = 0x0000FF;
    SetWindowPos(window, nullptr, 930, 750, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pump();
    device.CheckWindowState(window);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(FramePixel(device, 10, 10), 0x0000FFu);
}

TEST_F(RenderDeviceWindow, WindowlessDevicePresentsIntoATargetContext)
{
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(64, 48, nullptr), 0);
    EXPECT_EQ(device.params->width, 64);
    device.SetSize(32, 16);
    EXPECT_EQ(device.params->width, 32);
    EXPECT_EQ(device.params->height, 16);
    device.backgroundColour = kColour;
    ASSERT_EQ(device.BeginScene(nullptr), 0);
    device.Clear(true);
    EXPECT_EQ(FramePixel(device, 31, 15), kColour);

    HDC screen = GetDC(nullptr);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(target, bitmap);
    RECT all = {0, 0, 64, 64};
    FillRect(target, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(device.Present(nullptr), 0) << "nothing to present into";
    device.presentOffset.left = 5;
    device.presentOffset.top = 7;
    EXPECT_EQ(device.Present(target), 0);
    EXPECT_EQ(SwapRedBlue(GetPixel(target, 5, 7)) & 0xFFFFFF, kColour);
    EXPECT_EQ(SwapRedBlue(GetPixel(target, 36, 22)) & 0xFFFFFF, kColour);
    EXPECT_EQ(GetPixel(target, 4, 7) & 0xFFFFFF, 0u);
    EXPECT_EQ(GetPixel(target, 37, 22) & 0xFFFFFF, 0u);
    SelectObject(target, old);
    DeleteObject(bitmap);
    DeleteDC(target);

    // Below 1 x 1 the device is minimised; a real size brings it back.
    device.SetSize(0, 10);
    EXPECT_TRUE(device.status.load() & DeviceMinimised);
    device.SetSize(8, 8);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(device.params->width, 8);

    // A window-less reset that fails shows line 73.
    device.SetRenderState(RenderStateZBuffer, 1);
    g_renderSystem.allocate = FailAllocation;
    device.SetSize(16, 16);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], GetLanguageLine(kLineNoMemoryForSurfaces));
}

TEST_F(RenderDeviceWindow, ClientToViewportNeedsAnIdleDeviceAndAPointInside)
{
    CObjeto2D device;
    ASSERT_EQ(device.CreateDevice(100, 50, nullptr), 0);
    device.clientOriginX = 10;
    device.clientOriginY = 20;
    struct Case {
        POINT in;
        bool inside;
        POINT out;
    } cases[] = {{{10, 20}, true, {0, 0}},   {{109, 69}, true, {99, 49}}, {{110, 20}, false, {110, 20}},
                 {{9, 20}, false, {9, 20}}, {{10, 70}, false, {10, 70}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.x);
        POINT p = c.in;
        EXPECT_EQ(device.ClientToViewport(&p), c.inside);
        EXPECT_EQ(p.x, c.out.x);
        EXPECT_EQ(p.y, c.out.y);
    }
    device.status |= DeviceHidden;
    POINT p = {15, 25};
    EXPECT_FALSE(device.ClientToViewport(&p));
}

}  // namespace
