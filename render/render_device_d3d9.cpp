// The Direct3D 9 back end: the library and the object with its capability test, the device and
// its presentation parameters, resets, the frame's lock, and the video-memory budget.
#include "render/render_device.h"

#include <vector>

namespace {

typedef IDirect3D9*(WINAPI* Direct3DCreate9Function)(UINT sdkVersion);

// The library is loaded once per process and unloaded when its last object goes; the UI thread
// alone changes these.
HMODULE g_direct3DLibrary = nullptr;
Direct3DCreate9Function g_direct3DCreate9 = nullptr;
int g_direct3DObjects = 0;
// The local video memory of the adapter, asked when a device is made; 0 until then.
uint32_t g_localVideoMemory = 0;

constexpr UINT kDirect3DSdkVersion = 32;
// What the drawing code needs of the hardware.
constexpr DWORD kMinimumVertexIndex = 0xFFF0;
constexpr DWORD kMinimumTextures = 2;
constexpr DWORD kMinimumStreamStride = 92;

// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
constexpr GUID kDirectDraw7Id = {0x15E65EC0, 0x3B9C, 0x11D2,
                                 {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

bool LoadDirect3D()
{
    if (!g_direct3DLibrary) {
        g_direct3DLibrary = LoadLibraryA(g_renderSystem.direct3DLibrary);
        if (!g_direct3DLibrary)
            return false;
    }
    g_direct3DCreate9 = reinterpret_cast<Direct3DCreate9Function>(
        reinterpret_cast<void*>(GetProcAddress(g_direct3DLibrary, "Direct3DCreate9")));
    return g_direct3DCreate9 != nullptr;
}

void UnloadDirect3DIfUnused()
{
    if (g_direct3DObjects == 0 && g_direct3DLibrary) {
        FreeLibrary(g_direct3DLibrary);
        g_direct3DLibrary = nullptr;
        g_direct3DCreate9 = nullptr;
    }
}

bool CapsAreEnough(const D3DCAPS9& caps)
{
    return (caps.Caps3 & D3DCAPS3_COPY_TO_VIDMEM) && caps.MaxVertexIndex >= kMinimumVertexIndex &&
           caps.MaxSimultaneousTextures >= kMinimumTextures && caps.MaxStreams >= 1 &&
           caps.MaxStreamStride >= kMinimumStreamStride && caps.NumSimultaneousRTs >= 1;
}

D3DFORMAT FormatForDepth(int32_t bits)
{
    switch (bits) {
    case 15: return D3DFMT_X1R5G5B5;
    case 16: return D3DFMT_R5G6B5;
    case 24: return D3DFMT_R8G8B8;
    default: return D3DFMT_X8R8G8B8;
    }
}

int32_t DepthOfFormat(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_R8G8B8: return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 32;
    case D3DFMT_R5G6B5: return 16;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: return 15;
    default: return 0;
    }
}

template <typename T>
void ReleaseInterface(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

bool CObjeto2D::CreateDirect3D()
{
    if (!LoadDirect3D()) {
        UnloadDirect3DIfUnused();
        return false;
    }
    IDirect3D9* object = g_direct3DCreate9(kDirect3DSdkVersion);
    if (!object) {
        UnloadDirect3DIfUnused();
        return false;
    }
    caps3D = {};
    HRESULT result = object->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps3D);
    if (SUCCEEDED(result))
        result = BackEndFault(CallDirect3DCaps);
    if (FAILED(result) || !CapsAreEnough(caps3D)) {
        object->Release();
        direct3DRejected = 1;
        UnloadDirect3DIfUnused();
        return false;
    }
    ReleaseDirect3D();
    direct3D = object;
    g_direct3DObjects++;
    return true;
}

void CObjeto2D::ReleaseDirect3D()
{
    ReleaseInterface(device3D);
    if (direct3D) {
        direct3D->Release();
        direct3D = nullptr;
        g_direct3DObjects--;
        UnloadDirect3DIfUnused();
    }
}

HRESULT CObjeto2D::CreateDirect3DDevice(HWND target)
{
    if (!direct3D)
        return E_FAIL;
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = static_cast<UINT>(deviceRect.right - deviceRect.left);
    parameters.BackBufferHeight = static_cast<UINT>(deviceRect.bottom - deviceRect.top);
    D3DDISPLAYMODE mode = {};
    parameters.BackBufferFormat = SUCCEEDED(direct3D->GetAdapterDisplayMode(0, &mode))
                                      ? mode.Format
                                      : FormatForDepth(params->bitsPerPixel);
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.hDeviceWindow = target ? target : deviceWindow;
    parameters.EnableAutoDepthStencil = FALSE;

    // The device keeps the x87 precision as it is: the rest of the program computes in doubles.
    const DWORD flags[2] = {D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE};
    const int32_t calls[2] = {CallCreateHardwareVertices, CallCreateSoftwareVertices};
    HRESULT result = E_FAIL;
    for (int i = 0; i < 2 && !device3D; i++) {
        result = BackEndFault(calls[i]);
        if (SUCCEEDED(result))
            result = direct3D->CreateDevice(0, D3DDEVTYPE_HAL, parameters.hDeviceWindow, flags[i],
                                            &parameters, &device3D);
        if (FAILED(result))
            device3D = nullptr;
    }
    if (!device3D)
        return FAILED(result) ? result : E_FAIL;
    GetVideoMemory(direct3D->GetAdapterMonitor(0), &g_localVideoMemory);
    UpdateFreeVideoMemory();
    return S_OK;
}

HRESULT CObjeto2D::ResetDirect3D(bool* fellBack)
{
    *fellBack = false;
    if (!device3D)
        return E_FAIL;
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = static_cast<UINT>(fullscreenRect.right - fullscreenRect.left);
    parameters.BackBufferHeight = static_cast<UINT>(fullscreenRect.bottom - fullscreenRect.top);
    parameters.BackBufferFormat = FormatForDepth(params->bitsPerPixel);
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = window ? window : deviceWindow;
    parameters.Windowed = TRUE;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    // Waiting for the vertical blank is trusted only on systems where it does not stall.
    const DWORD major = windowsVersion.dwMajorVersion, minor = windowsVersion.dwMinorVersion;
    const bool waitWorks = major >= 6 || (major == 5 && minor == 2);
    parameters.PresentationInterval = ((params->stateBits & StateVerticalSync) && waitWorks)
                                          ? D3DPRESENT_INTERVAL_ONE
                                          : D3DPRESENT_INTERVAL_IMMEDIATE;
    if (fullscreen && window)
        MoveWindow(window, fullscreenRect.left, fullscreenRect.top,
                   fullscreenRect.right - fullscreenRect.left,
                   fullscreenRect.bottom - fullscreenRect.top, TRUE);
    if (params->stateBits & StateZBuffer) {
        D3DDISPLAYMODE mode = {};
        if (SUCCEEDED(direct3D->GetAdapterDisplayMode(0, &mode)) &&
            SUCCEEDED(direct3D->CheckDeviceFormat(0, D3DDEVTYPE_HAL, mode.Format,
                                                  D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                                  D3DFMT_D16))) {
            parameters.EnableAutoDepthStencil = TRUE;
            parameters.AutoDepthStencilFormat = D3DFMT_D16;
        } else {
            params->stateBits &= ~static_cast<uint32_t>(StateZBuffer);
        }
    }
    // A reset keeps no texture of the default pool: every one goes, drawn or not.
    ReleaseAllTextures(1);
    HRESULT result = BackEndFault(CallResetDirect3D);
    if (SUCCEEDED(result))
        result = device3D->Reset(&parameters);
    if (FAILED(result)) {
        // The device cannot go on: the software back end takes over and draws the frame.
        status &= ~static_cast<uint32_t>(DeviceResetting);
        SetRenderState(RenderStateBackEnd, RenderSoftware);
        *fellBack = true;
        return (backEnd == RenderSoftware && status == 0) ? S_OK : result;
    }
    device3D->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    device3D->CreateRenderTarget(kViewfinderWidth, kViewfinderHeight, D3DFMT_X8R8G8B8,
                                 D3DMULTISAMPLE_NONE, 0, TRUE, &viewfinderTarget, nullptr);
    device3D->CreateQuery(D3DQUERYTYPE_OCCLUSION, &occlusionQuery);
    SetDefaultStates();
    UpdateFreeVideoMemory();
    return S_OK;
}

HRESULT CObjeto2D::PresentDirect3D()
{
    if (!device3D)
        return E_FAIL;
    std::vector<uint8_t> regionData;
    if (windowRegion) {
        DWORD size = GetRegionData(windowRegion, 0, nullptr);
        regionData.resize(size);
        if (!size || !GetRegionData(windowRegion, size, reinterpret_cast<RGNDATA*>(regionData.data())))
            regionData.clear();
    }
    HRESULT result = BackEndFault(CallPresentDirect3D);
    if (SUCCEEDED(result))
        result = device3D->Present(nullptr, nullptr, nullptr,
                                   regionData.empty() ? nullptr
                                                      : reinterpret_cast<RGNDATA*>(regionData.data()));
    if (result == D3DERR_DRIVERINTERNALERROR)
        return CreateDevice(deviceRect.right - deviceRect.left, deviceRect.bottom - deviceRect.top,
                            window);
    if (FAILED(result))
        return ResetDevice(0);
    return S_OK;
}

void CObjeto2D::GetVideoMemory(HMONITOR, uint32_t* total)
{
    *total = 0;
    if (!directDraw)
        return;
    IDirectDraw7* seventh = nullptr;
    if (FAILED(directDraw->QueryInterface(kDirectDraw7Id, reinterpret_cast<void**>(&seventh))) ||
        !seventh)
        return;
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_LOCALVIDMEM | DDSCAPS_VIDEOMEMORY;
    DWORD bytes = 0, available = 0;
    if (SUCCEEDED(seventh->GetAvailableVidMem(&caps, &bytes, &available)))
        *total = bytes;
    seventh->Release();
}

uint32_t CObjeto2D::UpdateFreeVideoMemory()
{
    // Without an answer nothing says the memory is used up: the budget is unlimited.
    freeVideoMemory = kVideoMemoryUnlimited;
    if (!directDraw)
        return freeVideoMemory;
    directDrawCaps = {};
    directDrawCaps.dwSize = sizeof directDrawCaps;
    if (FAILED(directDraw->GetCaps(&directDrawCaps, nullptr)))
        return freeVideoMemory;
    const uint32_t total = directDrawCaps.dwVidMemTotal;
    const uint32_t free = directDrawCaps.dwVidMemFree;
    uint32_t local = g_localVideoMemory;
    if (local == 0) {
        // The largest power of two that the total holds half as much again of.
        for (uint64_t candidate = 0x80000000u; candidate >= 1; candidate >>= 1) {
            if (candidate <= total && candidate + candidate / 2 <= total) {
                local = static_cast<uint32_t>(candidate);
                break;
            }
        }
    }
    if (local == 0)
        return freeVideoMemory;
    const uint32_t used = total >= free ? total - free : 0;
    if (free < local)
        freeVideoMemory = free;
    else
        freeVideoMemory = used < local ? local - used : 0;
    return freeVideoMemory;
}

uint8_t* CObjeto2D::LockFrame()
{
    if (frameLocked)
        return nullptr;
    switch (backEnd) {
    case RenderSoftware:
        return LockSoftwareFrame();
    case RenderDirect3D9: {
        if (!backBuffer)
            return nullptr;
        D3DLOCKED_RECT locked = {};
        if (FAILED(backBuffer->LockRect(&locked, nullptr, 0)) || !locked.pBits)
            return nullptr;
        params->pixels = static_cast<uint8_t*>(locked.pBits);
        params->stride = locked.Pitch;
        frameLocked = 1;
        return params->pixels;
    }
    default:
        return nullptr;  // a GL frame is read with glReadPixels
    }
}

void CObjeto2D::UnlockFrame()
{
    if (!frameLocked)
        return;
    if (backEnd == RenderDirect3D9 && backBuffer)
        backBuffer->UnlockRect();
    else if (backSurface)
        backSurface->Unlock(nullptr);
    frameLocked = 0;
}

int32_t CObjeto2D::GetScreenDepth()
{
    switch (backEnd) {
    case RenderDirect3D9: {
        D3DDISPLAYMODE mode = {};
        if (!direct3D || FAILED(direct3D->GetAdapterDisplayMode(0, &mode)))
            return 0;
        return DepthOfFormat(mode.Format);
    }
    case RenderOpenGL: {
        DEVMODEA mode = {};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
            return 0;
        return static_cast<int32_t>(mode.dmBitsPerPel);
    }
    default:
        return SoftwareScreenDepth();
    }
}
