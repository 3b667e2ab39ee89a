// Sizes, resets, the software back end's surfaces and buffers, locking, waiting until idle.
#include "render/render_device.h"

#include <cstdlib>
#include <cstring>

#include "core/language.h"
#include "core/system_wrappers.h"

namespace {

// A rectangle edge below this is a window parked off screen (Windows puts minimised windows at
// -32000).
constexpr LONG kParkedEdge = -20000;
constexpr int kLockRetries = 10;
constexpr int kIdlePollMs = 10;
constexpr size_t kAccumulationSlack = 8;

void ShowDeviceError(int line)
{
    ShowMessageBox(nullptr, GetLanguageLine(line), kMessageBoxCaption, MB_OK | MB_ICONERROR);
}

// width x height x perPixel + extra as a size, or 0 when it does not fit.
size_t BufferBytes(int32_t width, int32_t height, uint64_t perPixel, uint64_t extra)
{
    if (width < 1 || height < 1)
        return 0;
    uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * perPixel + extra;
    if (bytes > static_cast<uint64_t>(SIZE_MAX) / 2)
        return 0;
    return static_cast<size_t>(bytes);
}

// A zeroed buffer from the device's allocator; none when it cannot be had.
uint16_t* AllocateZeroed(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    void* buffer = g_renderSystem.allocate(bytes);
    if (buffer)
        std::memset(buffer, 0, bytes);
    return static_cast<uint16_t*>(buffer);
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

void CObjeto2D::MarkMinimised()
{
    status |= DeviceMinimised;
    minimisedLatch = 1;
}

int32_t CObjeto2D::UpdateSize(int32_t mode, int32_t width, int32_t height)
{
    if (mode == 1) {
        MarkMinimised();
        return 0;
    }
    status &= ~static_cast<uint32_t>(DeviceMinimised);
    if ((status & (DeviceTogglingFullscreen | DeviceResetting | DeviceMinimised)) || fullscreen)
        return 0;

    RECT rect;
    if (window) {
        GetClientRect(window, &rect);
        POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
        ClientToScreen(window, &corners[0]);
        ClientToScreen(window, &corners[1]);
        rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    } else if (width >= 1 && height >= 1) {
        rect = {0, 0, width, height};
    } else {
        rect = deviceRect;
    }
    fullscreenRect = rect;

    int32_t newWidth = rect.right - rect.left;
    int32_t newHeight = rect.bottom - rect.top;
    if (rect.right < kParkedEdge || rect.bottom < kParkedEdge || newWidth < 1 || newHeight < 1) {
        MarkMinimised();
    } else if (mode == -1 || (minimisedLatch && status == 0) || newWidth != params->width ||
               newHeight != params->height ||
               (backEnd == RenderDirect3D9 &&
                (deviceRect.right < kParkedEdge || deviceRect.bottom < kParkedEdge))) {
        deviceRect = rect;
        minimisedLatch = 0;
        int32_t result = ResetDevice(0);
        if (result != 0) {
            ShowDeviceError(kLineCannotCreateSurfaces);
            return result;
        }
    }
    deviceRect = rect;
    return 0;
}

void CObjeto2D::CheckWindowState(HWND checked)
{
    if (checked && IsIconic(checked)) {
        MarkMinimised();
        return;
    }
    status &= ~static_cast<uint32_t>(DeviceMinimised);
    UpdateSize(0, -1, -1);
}

void CObjeto2D::SetSize(int32_t width, int32_t height)
{
    // A size below 1 x 1 has nothing to draw into: minimised, as UpdateSize marks it.
    if (width < 1 || height < 1) {
        MarkMinimised();
        return;
    }
    status &= ~static_cast<uint32_t>(DeviceMinimised);
    minimisedLatch = 0;
    deviceRect = fullscreenRect = {0, 0, width, height};
    if (ResetDevice(0) != 0)
        ShowDeviceError(kLineNoMemoryForSurfaces);
}

int32_t CObjeto2D::ResetDevice(int32_t restoreWindow)
{
    if (status & (DeviceResetting | DeviceMinimised))
        return 0;
    status |= DeviceResetting;
    ReleaseSurfaces();
    GetScreenSize();
    HRESULT result = ApplyWindowMode(restoreWindow);
    if (FAILED(result))
        return result;

    params->width = deviceRect.right - deviceRect.left;
    params->height = deviceRect.bottom - deviceRect.top;
    if (windowRegion) {
        DeleteObject(windowRegion);
        windowRegion = nullptr;
    }

    switch (backEnd) {
    case RenderSoftware:
        result = CreateSoftwareSurfaces();
        if (FAILED(result))
            return result;
        break;
    case RenderDirect3D9: {
        bool fellBack = false;
        result = ResetDirect3D(&fellBack);
        if (fellBack || FAILED(result))
            return result;
        break;
    }
    case RenderOpenGL:
        if (fullscreen && window)
            MoveWindow(window, 0, 0, fullscreenRect.right - fullscreenRect.left,
                       fullscreenRect.bottom - fullscreenRect.top, TRUE);
        break;
    default:
        break;
    }

    if (FAILED(UpdateViewportAndProjection()))
        return 1;
    FillBackground(0, -1);
    status &= ~static_cast<uint32_t>(DeviceResetting);
    return 0;
}

HRESULT CObjeto2D::CreateSoftwareSurfaces()
{
    if (offscreenTarget) {
        HRESULT result = CreateTargetImage(params->width, params->height);
        if (FAILED(result))
            return result;
    } else if (gdiMode) {
        HRESULT result = CreateDibSection();
        if (FAILED(result))
            return result;
    } else if (!directDraw) {
        return E_FAIL;
    } else if (window) {
        // Full screen has set its own cooperative level already.
        HRESULT result = fullscreen ? S_OK : directDraw->SetCooperativeLevel(window, DDSCL_NORMAL);
        if (FAILED(result))
            return result;
        if (!CreateSurface(&primarySurface, -1, -1, DDSCAPS_PRIMARYSURFACE))
            return E_FAIL;
        result = directDraw->CreateClipper(0, &clipper, nullptr);
        if (FAILED(result))
            return result;
        result = clipper->SetHWnd(0, window);
        if (FAILED(result))
            return result;
        result = primarySurface->SetClipper(clipper);
        if (FAILED(result))
            return result;
        if (!CreateSurface(&backSurface, params->width, params->height,
                           DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY))
            return E_FAIL;
    } else {
        HRESULT result = directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        if (FAILED(result))
            return result;
        if (!CreateSurface(&backSurface, params->width, params->height,
                           DDSCAPS_OWNDC | DDSCAPS_SYSTEMMEMORY))
            return E_FAIL;
    }
    if ((params->stateBits & StateZBuffer) && FAILED(CreateDepthBuffer()))
        return E_FAIL;
    if ((params->stateBits & StateAccumulationMask) && FAILED(CreateAccumulationBuffer()))
        return E_FAIL;
    return S_OK;
}

HRESULT CObjeto2D::CreateDibSection()
{
    if (!memoryDC) {
        HDC screen = GetDC(nullptr);
        memoryDC = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        if (!memoryDC)
            return E_FAIL;
    }
    BITMAPV4HEADER header = {};
    header.bV4Size = sizeof header;
    header.bV4Width = params->width;
    header.bV4Height = -params->height;  // top-down rows
    header.bV4Planes = 1;
    header.bV4BitCount = static_cast<WORD>(params->bytesPerPixel * 8);
    header.bV4V4Compression = BI_RGB;
    void* bits = nullptr;
    dibSection = CreateDIBSection(memoryDC, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                  &bits, nullptr, 0);
    if (!dibSection || !bits) {
        if (dibSection)
            DeleteObject(dibSection);
        dibSection = nullptr;
        return E_FAIL;
    }
    dibBits = static_cast<uint8_t*>(bits);
    previousBitmap = static_cast<HBITMAP>(SelectObject(memoryDC, dibSection));
    return S_OK;
}

void CObjeto2D::ReleaseSurfaces()
{
    if (dibSection) {
        if (memoryDC && previousBitmap)
            SelectObject(memoryDC, previousBitmap);
        previousBitmap = nullptr;
        DeleteObject(dibSection);
        dibSection = nullptr;
    }
    dibBits = nullptr;
    if (offscreenTarget)
        offscreenTarget->Clear();
    if (windowRegion) {
        DeleteObject(windowRegion);
        windowRegion = nullptr;
    }
    ReleaseInterface(clipper);
    FreeDepthBuffer();
    FreeAccumulationBuffer();
    if (frameLocked)
        UnlockFrame();
    ReleaseInterface(backSurface);
    ReleaseInterface(primarySurface);
    ReleaseInterface(backBuffer);
    ReleaseInterface(viewfinderTarget);
    ReleaseInterface(occlusionQuery);
    params->pixels = nullptr;
}

void CObjeto2D::WaitForIdle(bool evict)
{
    status |= DeviceWaitingForIdle;
    while (drawingCount.load() != 0)
        Sleep(kIdlePollMs);
    if (params->camera)
        params->camera->sequence = nullptr;
    ownCamera.sequence = nullptr;
    if (evict)
        EvictResources(nullptr, 0);
    status &= ~static_cast<uint32_t>(DeviceWaitingForIdle);
    spanCount = 0;
    centreOffsetX = centreOffsetY = 0;
}

HRESULT CObjeto2D::CreateDepthBuffer()
{
    FreeDepthBuffer();
    params->depthBuffer = AllocateZeroed(BufferBytes(params->width, params->height, sizeof(uint16_t), 0));
    return params->depthBuffer ? S_OK : E_FAIL;
}

HRESULT CObjeto2D::FreeDepthBuffer()
{
    std::free(params->depthBuffer);
    params->depthBuffer = nullptr;
    return S_OK;
}

HRESULT CObjeto2D::CreateAccumulationBuffer()
{
    FreeAccumulationBuffer();
    params->accumulationBuffer = AllocateZeroed(
        BufferBytes(params->width, params->height, 3 * sizeof(uint16_t), kAccumulationSlack));
    return params->accumulationBuffer ? S_OK : E_FAIL;
}

HRESULT CObjeto2D::FreeAccumulationBuffer()
{
    std::free(params->accumulationBuffer);
    params->accumulationBuffer = nullptr;
    accumulationPending = 0;
    return S_OK;
}

uint8_t* CObjeto2D::LockSoftwareFrame()
{
    if (offscreenTarget) {
        uint8_t* pixels = TargetPixels();
        params->pixels = pixels;
        return pixels;
    }
    if (gdiMode) {
        if (!dibBits)
            return nullptr;
        params->pixels = dibBits;
        params->stride = (params->width * params->bytesPerPixel + 3) & ~3;
        return dibBits;
    }
    if (!backSurface)
        return nullptr;
    DDSURFACEDESC description = {};
    description.dwSize = sizeof description;
    HRESULT result = DDERR_WASSTILLDRAWING;
    for (int attempt = 0; attempt < kLockRetries && result == DDERR_WASSTILLDRAWING; attempt++) {
        result = backSurface->Lock(nullptr, &description, 0, nullptr);
        if (result == DDERR_SURFACELOST) {
            result = (fullscreen && primarySurface) ? primarySurface->Restore() : backSurface->Restore();
            if (SUCCEEDED(result))
                result = backSurface->Lock(nullptr, &description, 0, nullptr);
        }
    }
    if (FAILED(result) || !description.lpSurface)
        return nullptr;
    params->pixels = static_cast<uint8_t*>(description.lpSurface);
    params->stride = static_cast<int32_t>(description.lPitch);
    frameLocked = 1;
    return params->pixels;
}

int32_t CObjeto2D::SoftwareScreenDepth()
{
    if (gdiMode)
        return 32;
    if (offscreenTarget)
        return TargetBitsPerPixel();
    if (g_renderSystem.forcedScreenDepth)
        return g_renderSystem.forcedScreenDepth;
    if (!directDraw)
        return 0;
    DDSURFACEDESC mode = {};
    mode.dwSize = sizeof mode;
    if (FAILED(directDraw->GetDisplayMode(&mode)))
        return 0;
    if (mode.ddpfPixelFormat.dwRBitMask == 0x7C00)
        return 15;
    return static_cast<int32_t>(mode.ddpfPixelFormat.dwRGBBitCount);
}

int32_t CObjeto2D::GetScreenSize()
{
    desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    return GetScreenDepth();
}

bool CObjeto2D::ClientToViewport(POINT* point)
{
    if (!point || status != 0)
        return false;
    LONG x = point->x - clientOriginX;
    LONG y = point->y - clientOriginY;
    if (x < 0 || y < 0 || x >= params->width || y >= params->height)
        return false;
    point->x = x;
    point->y = y;
    return true;
}
