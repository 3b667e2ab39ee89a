// The Direct3D 9 and OpenGL back ends of the render device: coming up on a window, clearing,
// presenting and reading the colour back; the states every new device starts with; switching
// among the three back ends; each fallback to Software; full screen and display modes.
// Suites named Hardware* run in the prefix where the DirectX level reaches Direct3D 9 and a
// virtual desktop lets modes change (tools/wine-hardware-run); the rest run anywhere.
#include "render/render_device.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/language.h"
#include "core/system_wrappers.h"
#include "render/directx_probe.h"
#include "tests/render/hardware_test_support.h"

namespace {

constexpr int kClientWidth = 320;
constexpr int kClientHeight = 240;
constexpr uint32_t kDriverInternalError = 0x88760827;

std::vector<std::string> g_boxes;

int RecordBox(HWND, const char* text, const char*, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

// The calls the current test refuses, and how often each was refused.
std::vector<int32_t> g_refused;
HRESULT g_refusal = E_FAIL;
int g_refusalsLeft = -1;  // -1: every time

HRESULT RefuseListed(int32_t call)
{
    for (int32_t refused : g_refused) {
        if (refused == call && g_refusalsLeft != 0) {
            if (g_refusalsLeft > 0)
                g_refusalsLeft--;
            return g_refusal;
        }
    }
    return S_OK;
}

void Pump()
{
    MSG message;
    for (int round = 0; round < 10; round++) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(2);
    }
}

const char* BackEndName(int32_t backEnd)
{
    switch (backEnd) {
    case RenderSoftware: return "Software";
    case RenderDirect3D9: return "Direct3D9";
    case RenderOpenGL: return "OpenGL";
    default: return "?";
    }
}

class HardwareDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        g_refused.clear();
        g_refusal = E_FAIL;
        g_refusalsLeft = -1;
        m_previousBox = SetMessageBoxFunction(RecordBox);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_renderSystem.backEndFault = RefuseListed;
        g_directXLevel = 0;
    }
    void TearDown() override
    {
        m_device.reset();
        if (m_window)
            DestroyWindow(m_window);
        g_renderSystem = DefaultRenderDeviceSystem();
        g_directXLevel = 0;
        SetMessageBoxFunction(m_previousBox);
    }

    HWND MakeWindow()
    {
        m_window = hardware_test::CreateVisibleWindow("HardwareDeviceTest", 200, 150, kClientWidth,
                                                      kClientHeight, WS_EX_CLIENTEDGE);
        Pump();
        return m_window;
    }

    // A device on a new window, software first, then moved to the back end by its state.
    CObjeto2D& MakeDevice(int32_t backEnd)
    {
        MakeWindow();
        m_device.reset(new CObjeto2D());
        RECT client;
        GetClientRect(m_window, &client);
        EXPECT_EQ(m_device->CreateDevice(client.right, client.bottom, m_window), 0);
        if (backEnd != RenderSoftware)
            m_device->SetRenderState(RenderStateBackEnd, backEnd);
        return *m_device;
    }

    static uint32_t DrawAndReadBack(CObjeto2D& device, uint32_t colour, HRESULT* presented = nullptr)
    {
        return hardware_test::ClearAndReadBack(device, colour, presented);
    }

    // The states a new Direct3D 9 device or GL context must hold after SetDefaultStates.
    static void ExpectDefaultStates(CObjeto2D& device)
    {
        const bool depthTest = device.GetRenderState(RenderStateDepthTest) != 0;
        if (device.backEnd == RenderDirect3D9) {
            IDirect3DDevice9* d = device.device3D;
            ASSERT_NE(d, nullptr);
            DWORD value = 0;
            struct {
                D3DRENDERSTATETYPE state;
                DWORD expected;
            } const states[] = {
                {D3DRS_ZWRITEENABLE, static_cast<DWORD>(depthTest)},
                {D3DRS_CULLMODE, D3DCULL_CCW},
                {D3DRS_COLORVERTEX, TRUE},
                {D3DRS_LIGHTING, static_cast<DWORD>(device.GetRenderState(RenderStateLighting))},
                {D3DRS_SPECULARENABLE, static_cast<DWORD>(device.GetRenderState(RenderStateSpecular))},
                {D3DRS_FILLMODE, static_cast<DWORD>(device.GetRenderState(RenderStateFillMode)) + 1},
                {D3DRS_AMBIENT, device.ambientColour},
                {D3DRS_ZENABLE, static_cast<DWORD>(device.GetRenderState(RenderStateZBuffer))},
            };
            for (const auto& state : states) {
                SCOPED_TRACE(state.state);
                d->GetRenderState(state.state, &value);
                EXPECT_EQ(value, state.expected);
            }
            d->GetFVF(&value);
            EXPECT_EQ(value, 0x1D2u);
            const DWORD filter = device.GetRenderState(RenderStateBilinear) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
            for (DWORD sampler = 0; sampler < 2; sampler++) {
                d->GetSamplerState(sampler, D3DSAMP_MAGFILTER, &value);
                EXPECT_EQ(value, filter);
                d->GetSamplerState(sampler, D3DSAMP_ADDRESSU, &value);
                EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_CLAMP));
            }
            D3DMATERIAL9 material = {};
            d->GetMaterial(&material);
            EXPECT_EQ(material.Diffuse.r, 1.0f);
            EXPECT_EQ(material.Specular.a, 1.0f);
        } else if (device.backEnd == RenderOpenGL) {
            ASSERT_NE(device.glContext, nullptr);
            EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST) != 0, depthTest);
            EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
            // GL holds the projection converted to its own depth range and direction.
            float m[16];
            glGetFloatv(GL_PROJECTION_MATRIX, m);
            const float* p = device.matrices.projection;
            EXPECT_FLOAT_EQ(m[0], p[0]);
            EXPECT_FLOAT_EQ(m[5], p[5]);
            EXPECT_FLOAT_EQ(m[10], -p[10]);
            EXPECT_FLOAT_EQ(m[11], -p[11]);
            EXPECT_FLOAT_EQ(m[14], 2.0f * p[14]);
            GLint viewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_EQ(viewport[2], device.params->width);
            EXPECT_EQ(viewport[3], device.params->height);
        }
    }

    std::unique_ptr<CObjeto2D> m_device;
    HWND m_window = nullptr;
    MessageBoxFunction m_previousBox = nullptr;
};

TEST_F(HardwareDevice, ThisPrefixReachesDirect3D9)
{
    EXPECT_GE(GetDirectXVersion(), kDirectXLevelDirect3D9);
}

TEST_F(HardwareDevice, EachBackEndComesUpClearsPresentsAndReadsItsColourBack)
{
    const uint32_t colours[] = {0x3366CC, 0xC08040, 0x10E020};
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(BackEndName(backEnd));
        CObjeto2D& device = MakeDevice(backEnd);
        ASSERT_EQ(device.backEnd, backEnd);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_EQ(device.params->width, kClientWidth);
        EXPECT_EQ(device.params->height, kClientHeight);
        EXPECT_EQ(device.GetScreenDepth(), device.params->bitsPerPixel);
        for (uint32_t colour : colours) {
            HRESULT presented = E_FAIL;
            EXPECT_EQ(DrawAndReadBack(device, colour, &presented), colour);
            EXPECT_EQ(presented, S_OK);
        }
        EXPECT_TRUE(g_boxes.empty());
        m_device.reset();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

TEST_F(HardwareDevice, Direct3D9FrameCopiesIntoAnImage)
{
    CObjeto2D& device = MakeDevice(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    DrawAndReadBack(device, 0x204060);
    CSprite copy;
    ASSERT_TRUE(device.CopyFrameToSprite(&copy));
    EXPECT_EQ(copy.width, kClientWidth);
    EXPECT_EQ(copy.height, kClientHeight);
    EXPECT_EQ(copy.pixels[0], 0x60);
    EXPECT_EQ(copy.pixels[1], 0x40);
    EXPECT_EQ(copy.pixels[2], 0x20);
    EXPECT_NE(device.viewfinderTarget, nullptr);
    EXPECT_NE(device.freeVideoMemory, 0u);
}

TEST_F(HardwareDevice, SwitchingAmongTheThreeKeepsDrawingWithTheDefaultStates)
{
    CObjeto2D& device = MakeDevice(RenderSoftware);
    const int32_t order[] = {RenderDirect3D9, RenderOpenGL, RenderSoftware, RenderOpenGL,
                             RenderDirect3D9, RenderSoftware, RenderDirect3D9};
    uint32_t colour = 0x102030;
    for (int32_t backEnd : order) {
        SCOPED_TRACE(BackEndName(backEnd));
        EXPECT_EQ(device.SetRenderState(RenderStateBackEnd, backEnd) != backEnd, true);
        ASSERT_EQ(device.backEnd, backEnd);
        EXPECT_EQ(device.status.load(), 0u);
        ExpectDefaultStates(device);
        colour += 0x0A0B0C;
        EXPECT_EQ(DrawAndReadBack(device, colour), colour);
        // A reset (a forced resize) leaves the same states and a device that draws.
        EXPECT_EQ(device.UpdateSize(-1, -1, -1), 0);
        ExpectDefaultStates(device);
        EXPECT_EQ(DrawAndReadBack(device, colour ^ 0xFFFFFF), colour ^ 0xFFFFFF);
    }
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(HardwareDevice, StatesReachTheDirect3D9DeviceAndSurviveResets)
{
    CObjeto2D& device = MakeDevice(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    device.SetRenderState(RenderStateBilinear, 1);
    device.SetRenderState(RenderStateDepthTest, 0);
    device.SetRenderState(RenderStateLighting, 1);
    device.SetRenderState(RenderStateZBuffer, 1);
    EXPECT_EQ(device.GetRenderState(RenderStateZBuffer), 1);
    ExpectDefaultStates(device);
    DWORD value = 0;
    device.SetRenderState(RenderStateDepthFunc, 0x70000);
    device.device3D->GetRenderState(D3DRS_ZFUNC, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCMP_ALWAYS));
    device.SetRenderState(RenderStateCullMode, 0);
    device.device3D->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));
    device.SetRenderState(RenderStateFogEnd, 500);
    device.SetRenderState(RenderStateFog, 1);
    device.device3D->GetRenderState(D3DRS_FOGENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    device.device3D->GetRenderState(D3DRS_FOGEND, &value);
    float fogEnd;
    memcpy(&fogEnd, &value, sizeof fogEnd);
    EXPECT_EQ(fogEnd, 500.0f);
    EXPECT_EQ(device.params->farZ, 500.0f);
    EXPECT_EQ(device.UpdateSize(-1, -1, -1), 0);
    ExpectDefaultStates(device);
    device.device3D->GetRenderState(D3DRS_FOGENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    EXPECT_EQ(DrawAndReadBack(device, 0x405060), 0x405060u);
}

TEST_F(HardwareDevice, StatesReachTheGLContext)
{
    CObjeto2D& device = MakeDevice(RenderOpenGL);
    ASSERT_EQ(device.backEnd, RenderOpenGL);
    device.SetRenderState(RenderStateDepthTest, 0);
    device.SetRenderState(RenderStateZBuffer, 1);
    ASSERT_EQ(device.backEnd, RenderOpenGL);
    EXPECT_EQ(device.GetRenderState(RenderStateZBuffer), 1);
    ExpectDefaultStates(device);
    device.SetRenderState(RenderStateDepthFunc, 0x10000);
    GLint function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &function);
    EXPECT_EQ(function, GL_LESS);
    device.ownCamera.zoom = 2.0f;
    device.UpdateProjection();
    ExpectDefaultStates(device);
    EXPECT_EQ(DrawAndReadBack(device, 0x605040), 0x605040u);
}

// Each refusal that the system can answer ends the request on Software with a frame drawn.
TEST_F(HardwareDevice, RefusedBackEndsFallBackToSoftwareAndDraw)
{
    struct Case {
        const char* name;
        int32_t backEnd;
        std::vector<int32_t> refused;
        const char* library;
        bool rejected;
    } const cases[] = {
        {"no d3d9.dll", RenderDirect3D9, {}, "lumarix_absent_d3d9.dll", false},
        {"capabilities refused", RenderDirect3D9, {CallDirect3DCaps}, nullptr, true},
        {"both vertex modes refused", RenderDirect3D9,
         {CallCreateHardwareVertices, CallCreateSoftwareVertices}, nullptr, false},
        {"reset refused", RenderDirect3D9, {CallResetDirect3D}, nullptr, false},
        {"no pixel format", RenderOpenGL, {CallChoosePixelFormat}, nullptr, false},
        {"no GL context", RenderOpenGL, {CallCreateGLContext}, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_refused = c.refused;
        if (c.library)
            g_renderSystem.direct3DLibrary = c.library;
        CObjeto2D& device = MakeDevice(c.backEnd);
        EXPECT_EQ(device.backEnd, RenderSoftware);
        EXPECT_EQ(device.direct3DRejected != 0, c.rejected);
        EXPECT_EQ(device.device3D, nullptr);
        EXPECT_EQ(device.glContext, nullptr);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_EQ(DrawAndReadBack(device, 0x336699), 0x336699u);
        EXPECT_TRUE(g_boxes.empty());
        g_refused.clear();
        g_renderSystem.direct3DLibrary = "d3d9.dll";
        m_device.reset();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
    // Only the software vertex processing refused: the device takes the hardware one.
    g_refused = {CallCreateSoftwareVertices};
    EXPECT_EQ(MakeDevice(RenderDirect3D9).backEnd, RenderDirect3D9);
}

TEST_F(HardwareDevice, FailedPresentsRecreateOrResetTheDirect3D9Device)
{
    CObjeto2D& device = MakeDevice(RenderDirect3D9);
    ASSERT_EQ(device.backEnd, RenderDirect3D9);
    struct Case {
        const char* name;
        HRESULT failure;
    } const cases[] = {
        {"driver internal error", static_cast<HRESULT>(kDriverInternalError)},
        {"device lost", D3DERR_DEVICELOST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_refused = {CallPresentDirect3D};
        g_refusal = c.failure;
        g_refusalsLeft = 1;
        HRESULT presented = E_FAIL;
        DrawAndReadBack(device, 0x112233, &presented);
        EXPECT_EQ(presented, S_OK);
        EXPECT_EQ(g_refusalsLeft, 0);
        EXPECT_EQ(device.backEnd, RenderDirect3D9);
        EXPECT_EQ(device.status.load(), 0u);
        ExpectDefaultStates(device);
        EXPECT_EQ(DrawAndReadBack(device, 0x445566, &presented), 0x445566u);
        EXPECT_EQ(presented, S_OK);
    }
}

TEST_F(HardwareDevice, FullScreenAtDesktopSizeEntersAndLeavesOnEachBackEnd)
{
    for (int32_t backEnd : {RenderSoftware, RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(BackEndName(backEnd));
        CObjeto2D& device = MakeDevice(backEnd);
        ASSERT_EQ(device.backEnd, backEnd);
        const LONG_PTR style = GetWindowLongPtrA(m_window, GWL_STYLE);
        const LONG_PTR exStyle = GetWindowLongPtrA(m_window, GWL_EXSTYLE);
        RECT before;
        GetWindowRect(m_window, &before);
        const RECT deviceBefore = device.deviceRect;

        EXPECT_EQ(device.ToggleFullscreen(0, 0), 0);
        Pump();
        EXPECT_EQ(device.fullscreen, 1);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_STYLE) & WS_POPUP, WS_POPUP);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_STYLE) & WS_CAPTION, 0);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
        EXPECT_EQ(device.params->width, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(device.params->height, GetSystemMetrics(SM_CYSCREEN));
        // Wine's GL drawable takes the window's new size from the frame after the move on.
        DrawAndReadBack(device, 0x2040A0);
        EXPECT_EQ(DrawAndReadBack(device, 0x2040A0), 0x2040A0u);

        EXPECT_EQ(device.ToggleFullscreen(0, 0), 0);
        Pump();
        EXPECT_EQ(device.fullscreen, 0);
        EXPECT_EQ(device.status.load(), 0u);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_STYLE), style);
        EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_EXSTYLE), exStyle);
        RECT after;
        GetWindowRect(m_window, &after);
        EXPECT_TRUE(EqualRect(&after, &before));
        EXPECT_TRUE(EqualRect(&device.deviceRect, &deviceBefore));
        EXPECT_EQ(device.params->width, kClientWidth);
        EXPECT_EQ(DrawAndReadBack(device, 0xA04020), 0xA04020u);
        EXPECT_TRUE(g_boxes.empty());
        m_device.reset();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

TEST_F(HardwareDevice, RefusedDisplayModeShowsTheMessageOnceAndReturnsToTheWindow)
{
    CObjeto2D& device = MakeDevice(RenderSoftware);
    const LONG_PTR style = GetWindowLongPtrA(m_window, GWL_STYLE);
    g_refused = {CallDisplayMode};
    EXPECT_NE(device.ToggleFullscreen(800, 600), 0);
    Pump();
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], GetLanguageLine(kLineCannotChangeToFullscreen));
    EXPECT_EQ(device.fullscreen, 0);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_EQ(GetWindowLongPtrA(m_window, GWL_STYLE), style);
    EXPECT_EQ(device.params->width, kClientWidth);
    EXPECT_EQ(DrawAndReadBack(device, 0x556677), 0x556677u);
}

TEST_F(HardwareDevice, FullScreenChangesTheDisplayModeAndRestoresIt)
{
    const int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    const int desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    CObjeto2D& device = MakeDevice(RenderSoftware);
    ASSERT_EQ(device.ToggleFullscreen(800, 600), 0);
    Pump();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    EXPECT_EQ(device.params->width, 800);
    EXPECT_EQ(DrawAndReadBack(device, 0x778899), 0x778899u);
    EXPECT_EQ(device.ToggleFullscreen(0, 0), 0);
    Pump();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), desktopWidth);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), desktopHeight);
    EXPECT_EQ(device.params->width, kClientWidth);
    // The display change that the toggle caused is not followed as a depth change.
    EXPECT_EQ(device.OnDisplayChange(), 0);
    EXPECT_EQ(device.ignoreNextDisplayChange, 0);
    EXPECT_TRUE(g_boxes.empty());
}

// Without the stand-in the system's DirectX level stops below Direct3D 9: both hardware
// requests end on Software, which draws.
TEST_F(HardwareDevice, WithoutDirect3D9LevelBothRequestsEndOnSoftware)
{
    g_directXLevel = 0x801;
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(BackEndName(backEnd));
        CObjeto2D& device = MakeDevice(backEnd);
        EXPECT_EQ(device.backEnd, RenderSoftware);
        EXPECT_EQ(DrawAndReadBack(device, 0x123456), 0x123456u);
        m_device.reset();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

}  // namespace

namespace {

// The same requests in any prefix, with the system's own DirectX level.
class BackEndRequests : public HardwareDevice {};

TEST_F(BackEndRequests, EndOnSoftwareAndDrawWhenTheSystemLevelIsBelowDirect3D9)
{
    if (GetDirectXVersion() >= kDirectXLevelDirect3D9)
        GTEST_SKIP() << "this system reaches Direct3D 9";
    for (int32_t backEnd : {RenderDirect3D9, RenderOpenGL}) {
        SCOPED_TRACE(BackEndName(backEnd));
        CObjeto2D& device = MakeDevice(backEnd);
        EXPECT_EQ(device.backEnd, RenderSoftware);
        EXPECT_EQ(DrawAndReadBack(device, 0x654321), 0x654321u);
        m_device.reset();
        DestroyWindow(m_window);
        m_window = nullptr;
    }
}

TEST_F(BackEndRequests, AnEightBitDisplayMovesSoftwareToGdi)
{
    CObjeto2D& device = MakeDevice(RenderSoftware);
    ASSERT_EQ(device.gdiMode, 0);
    g_renderSystem.forcedScreenDepth = 8;
    EXPECT_EQ(device.OnDisplayChange(), 0);
    EXPECT_EQ(device.gdiMode, 1);
    EXPECT_EQ(device.backEnd, RenderSoftware);
    EXPECT_EQ(device.status.load(), 0u);
    EXPECT_NE(device.dibSection, nullptr);
    EXPECT_EQ(DrawAndReadBack(device, 0x0F1E2D), 0x0F1E2Du);
    // The same depth again is no change.
    EXPECT_EQ(device.OnDisplayChange(), 0);
    EXPECT_EQ(device.gdiMode, 1);
}

}  // namespace
