// Creation of the device with every fallback, attaching the window, DirectDraw, and release.
#include "render/render_device.h"

#include "core/language.h"
#include "core/system_wrappers.h"
#include "render/directx_probe.h"

namespace {

typedef HRESULT(WINAPI* DirectDrawCreateFunction)(GUID* guid, IDirectDraw** out, IUnknown* outer);
typedef HRESULT(WINAPI* DirectDrawCreateClipperFunction)(DWORD flags, IDirectDrawClipper** out,
                                                         IUnknown* outer);

// The DirectDraw library is loaded once per process and unloaded when its last object goes; the
// UI thread alone changes these.
HMODULE g_directDrawLibrary = nullptr;
DirectDrawCreateFunction g_directDrawCreate = nullptr;
DirectDrawCreateClipperFunction g_directDrawCreateClipper = nullptr;
int g_directDrawObjects = 0;

// {B3A6F3E0-2B43-11CF-A2DE-00AA00B93356}
constexpr GUID kDirectDraw2Id = {0xB3A6F3E0, 0x2B43, 0x11CF,
                                 {0xA2, 0xDE, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
// {DA044E00-69B2-11D0-A1D5-00AA00B8DFBB}
constexpr GUID kDirectDrawSurface3Id = {0xDA044E00, 0x69B2, 0x11D0,
                                        {0xA1, 0xD5, 0x00, 0xAA, 0x00, 0xB8, 0xDF, 0xBB}};

bool LoadDirectDraw()
{
    if (!g_directDrawLibrary) {
        g_directDrawLibrary = LoadLibraryA(g_renderSystem.directDrawLibrary);
        if (!g_directDrawLibrary)
            return false;
    }
    g_directDrawCreate = reinterpret_cast<DirectDrawCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(g_directDrawLibrary, "DirectDrawCreate")));
    g_directDrawCreateClipper = reinterpret_cast<DirectDrawCreateClipperFunction>(
        reinterpret_cast<void*>(GetProcAddress(g_directDrawLibrary, "DirectDrawCreateClipper")));
    return g_directDrawCreate && g_directDrawCreateClipper;
}

void UnloadDirectDrawIfUnused()
{
    if (g_directDrawObjects == 0 && g_directDrawLibrary) {
        FreeLibrary(g_directDrawLibrary);
        g_directDrawLibrary = nullptr;
        g_directDrawCreate = nullptr;
        g_directDrawCreateClipper = nullptr;
    }
}

void ShowDeviceError(int line)
{
    ShowMessageBox(nullptr, GetLanguageLine(line), kMessageBoxCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

int32_t CObjeto2D::CreateDevice(int32_t width, int32_t height, HWND newWindow)
{
    // Each fallback starts the attempt again with the same arguments; every restart leaves one
    // branch behind (Direct3D 9, DirectDraw, a deep screen), so a few rounds end it.
    for (int round = 0;; round++) {
        bool again = false;
        int32_t result = CreateDeviceOnce(width, height, newWindow, &again);
        if (!again || round >= 8)
            return result;
    }
}

int32_t CObjeto2D::CreateDeviceOnce(int32_t width, int32_t height, HWND newWindow, bool* again)
{
    ReleaseDevice(backEnd == RenderSoftware);
    // A reset that failed part-way left its bit to keep drawing off; a new device starts clean,
    // or the attach below would refuse it too.
    status &= ~static_cast<uint32_t>(DeviceResetting);
    status |= DeviceCreating;
    deviceRect = {0, 0, width, height};

    if (g_directXLevel.load() == 0) {
        if (!g_renderSystem.queryProcessorFeature(kProcessorFeatureMmx)) {
            ShowDeviceError(kLineNoMmx);
            return -1;
        }
        g_directXLevel.store(g_renderSystem.getDirectXVersion());
    }
    uint32_t level = g_directXLevel.load();
    if (level < kDirectXLevelDirect3D9)
        backEnd = RenderSoftware;
    if (level < kDirectXLevelDirectDraw)
        gdiMode = 1;
    // On Wine the window of a DirectDraw primary surface covers a child window with a layer of
    // its own that shows black, whatever is blitted or painted: child windows draw through GDI.
    if (!gdiMode && newWindow && RunsOnWine() &&
        (GetWindowLongPtrA(newWindow, GWL_STYLE) & WS_CHILD))
        gdiMode = 1;

    switch (backEnd) {
    case RenderSoftware:
        if (offscreenTarget) {
            CreateTargetImage(10, 10);  // the real size follows at the next SetSize or reset
        } else if (gdiMode) {
            if (!memoryDC) {
                HDC screen = GetDC(nullptr);
                memoryDC = CreateCompatibleDC(screen);
                ReleaseDC(nullptr, screen);
            }
        } else if (FAILED(CreateDirectDraw())) {
            gdiMode = 1;
            *again = true;
            return 0;
        }
        break;
    case RenderDirect3D9:
        if (directDraw || SUCCEEDED(CreateDirectDraw()))
            CreateDirect3D();
        if (!direct3D || FAILED(CreateDirect3DDevice(newWindow))) {
            backEnd = RenderSoftware;
            *again = true;
            return 0;
        }
        break;
    case RenderOpenGL:
        CreateDirectDraw();  // only for the video-memory queries; the context comes with the window
        break;
    default:
        backEnd = RenderSoftware;
        *again = true;
        return 0;
    }

    GetScreenSize();
    params->bitsPerPixel = GetScreenDepth();
    params->bytesPerPixel = (params->bitsPerPixel + (params->bitsPerPixel == 15)) / 8;

    if (backEnd == RenderSoftware && params->bitsPerPixel <= 8 && !gdiMode) {
        ReleaseDevice(1);
        gdiMode = 1;
        *again = true;
        return 0;
    }

    status &= ~static_cast<uint32_t>(DeviceCreating);
    return AttachWindow(newWindow);
}

int32_t CObjeto2D::AttachWindow(HWND newWindow)
{
    if (status & DeviceResetting)
        return 0;
    window = newWindow;
    if (window) {
        savedStyle = static_cast<uint32_t>(GetWindowLongPtrA(window, GWL_STYLE));
        savedExStyle = static_cast<uint32_t>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    } else {
        savedStyle = savedExStyle = 0xFFFFFFFFu;
    }
    if (backEnd == RenderOpenGL) {
        ReleaseDevice(1);
        CreateDirectDraw();  // the video-memory queries
        if (!CreateGLContext(window)) {
            // No pixel format or no context: the software back end shows the view instead of
            // a black one.
            backEnd = RenderSoftware;
            return CreateDevice(deviceRect.right - deviceRect.left,
                                deviceRect.bottom - deviceRect.top, window);
        }
    }
    return UpdateSize(-1, -1, -1);
}

void CObjeto2D::ReleaseDevice(int32_t releaseDirectDraw)
{
    WaitForIdle(true);
    ReleaseSurfaces();
    if (memoryDC) {
        DeleteDC(memoryDC);
        memoryDC = nullptr;
    }
    ReleaseDirect3D();
    ReleaseGLContext();
    if (releaseDirectDraw && directDraw) {
        directDraw->Release();
        directDraw = nullptr;
        g_directDrawObjects--;
        UnloadDirectDrawIfUnused();
    }
}

HRESULT CObjeto2D::CreateDirectDraw()
{
    if (!LoadDirectDraw()) {
        UnloadDirectDrawIfUnused();
        return E_FAIL;
    }
    IDirectDraw* first = nullptr;
    HRESULT result = g_directDrawCreate(nullptr, &first, nullptr);
    if (FAILED(result) || !first) {
        UnloadDirectDrawIfUnused();
        return FAILED(result) ? result : E_FAIL;
    }
    IDirectDraw2* second = nullptr;
    result = first->QueryInterface(kDirectDraw2Id, reinterpret_cast<void**>(&second));
    first->Release();
    if (FAILED(result) || !second) {
        UnloadDirectDrawIfUnused();
        return FAILED(result) ? result : E_FAIL;
    }
    if (directDraw) {
        directDraw->Release();
        g_directDrawObjects--;
    }
    directDraw = second;
    g_directDrawObjects++;
    directDrawCaps = {};
    directDrawCaps.dwSize = sizeof directDrawCaps;
    return directDraw->GetCaps(&directDrawCaps, nullptr);
}

IDirectDrawSurface3* CObjeto2D::CreateSurface(IDirectDrawSurface3** out, int32_t width,
                                              int32_t height, DWORD caps)
{
    if (out)
        *out = nullptr;
    if (!directDraw || width == 0 || height == 0)
        return nullptr;
    DDSURFACEDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = caps;
    if (width > 0 && height > 0) {
        description.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = static_cast<DWORD>(width);
        description.dwHeight = static_cast<DWORD>(height);
    }
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw->CreateSurface(&description, &surface, nullptr)) || !surface)
        return nullptr;
    IDirectDrawSurface3* third = nullptr;
    HRESULT result = surface->QueryInterface(kDirectDrawSurface3Id, reinterpret_cast<void**>(&third));
    surface->Release();
    if (FAILED(result))
        return nullptr;
    if (out)
        *out = third;
    return third;
}
