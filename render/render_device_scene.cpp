// The frame: BeginScene, Clear, EndScene and Present, the software fills and clears, the
// accumulation resolve and the read-back of the frame into an image.
#include "render/render_device.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <GL/gl.h>

#include "core/system_wrappers.h"

namespace {

int AccumulationShift(uint32_t stateBits)
{
    return (stateBits & StateAccumulation2) ? 4 : (stateBits & StateAccumulation1) ? 2 : 0;
}

uint8_t Saturate(uint32_t value)
{
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

}  // namespace

HRESULT CObjeto2D::BeginScene(HWND checked)
{
    if (status != 0)
        return 0;
    if (checked)
        CheckWindowState(checked);
    switch (backEnd) {
    case RenderSoftware:
        if (!LockFrame())
            return E_FAIL;
        UnlockFrame();
        if (params->stateBits & StateAccumulationMask)
            accumulationPending = 1;
        return 0;
    case RenderDirect3D9:
        return device3D ? device3D->BeginScene() : E_FAIL;
    case RenderOpenGL:
        MakeGLCurrent();
        return glContext ? 0 : E_FAIL;
    default:
        return E_FAIL;
    }
}

void CObjeto2D::Clear(bool withColour)
{
    if (backEnd == RenderDirect3D9 || backEnd == RenderOpenGL) {
        ClearHardware(withColour);
        return;
    }
    const bool accumulating = (params->stateBits & StateAccumulationMask) != 0;
    if (withColour && !accumulating)
        FillBackground(0, -1);
    if (accumulating)
        ClearAccumulation(-1);
    if (params->stateBits & StateZBuffer) {
        if (params->wholeSurfaceClip)
            ClearDepthBuffer();
        else
            ClearDepthRect(params->clipX0, params->clipY0, params->clipX1, params->clipY1);
    }
}

void CObjeto2D::ClearHardware(bool withColour)
{
    const bool depth = (params->stateBits & StateZBuffer) != 0;
    if (backEnd == RenderDirect3D9) {
        DWORD mask = (withColour ? D3DCLEAR_TARGET : 0) | (depth ? D3DCLEAR_ZBUFFER : 0);
        if (mask && device3D)
            device3D->Clear(0, nullptr, mask, backgroundColour, 1.0f, 0);
        return;
    }
    if (!glContext)
        return;
    MakeGLCurrent();
    GLbitfield mask = 0;
    if (withColour) {
        glClearColor(static_cast<float>((backgroundColour >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((backgroundColour >> 8) & 0xFF) / 255.0f,
                     static_cast<float>(backgroundColour & 0xFF) / 255.0f, 0.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (depth)
        mask |= GL_DEPTH_BUFFER_BIT;
    if (mask)
        glClear(mask);
}

HRESULT CObjeto2D::EndScene()
{
    if (status != 0)
        return 0;
    switch (backEnd) {
    case RenderSoftware:
        if ((params->stateBits & StateAccumulationMask) && accumulationPending)
            ResolveAccumulation();
        return 0;
    case RenderDirect3D9:
        if (!device3D)
            return E_FAIL;
        // A dark corner of 2 x 2 pixels at the least opacity makes the driver finish the frame.
        FillRectangle(params->width - 2, params->height - 2, params->width - 1, params->height - 1,
                      0, 1, 0);
        whiteImage.Clear();
        if (whiteImage.Create(kMarkerImageSize, kMarkerImageSize, 32, false, 0, false, false, false))
            whiteImage.Fill(0xFFFFFFFF);
        whiteImage.contentValid = 1;
        return device3D->EndScene();
    default:
        return 0;
    }
}

HDC CObjeto2D::GetFrameDC(IDirectDrawSurface3** surface, IDirect3DSurface9** surface3D)
{
    *surface = nullptr;
    if (surface3D)
        *surface3D = nullptr;
    if (gdiMode && backEnd == RenderSoftware)
        return memoryDC;
    HDC dc = nullptr;
    if (backSurface) {
        if (SUCCEEDED(backSurface->GetDC(&dc))) {
            *surface = backSurface;
            return dc;
        }
    }
    if (surface3D && backBuffer && backEnd == RenderDirect3D9) {
        if (SUCCEEDED(backBuffer->GetDC(&dc))) {
            *surface3D = backBuffer;
            return dc;
        }
    }
    return nullptr;
}

HRESULT CObjeto2D::Present(HDC target)
{
    if (status != 0 || offscreenTarget)
        return 0;
    if ((backEnd == RenderSoftware || backEnd == RenderDirect3D9) && directDraw &&
        ((params->stateBits & StateVerticalSync) || !window))
        directDraw->WaitForVerticalBlank(window ? DDWAITVB_BLOCKBEGIN : 0, nullptr);

    const int32_t x0 = params->clipX0, y0 = params->clipY0;
    const int32_t clipWidth = params->clipX1 - params->clipX0 + 1;
    const int32_t clipHeight = params->clipY1 - params->clipY0 + 1;

    if ((gdiMode && backEnd == RenderSoftware) || !window) {
        if (!target)
            return 0;
        const int32_t dx = window ? 0 : presentOffset.left;
        const int32_t dy = window ? 0 : presentOffset.top;
        IDirectDrawSurface3* surface = nullptr;
        IDirect3DSurface9* surface3D = nullptr;
        HDC source = GetFrameDC(&surface, &surface3D);
        if (!source)
            return 0;
        if (windowRegion) {
            OffsetRgn(windowRegion, dx, dy);
            SelectClipRgn(target, windowRegion);
            OffsetRgn(windowRegion, -dx, -dy);
        }
        BitBlt(target, x0 + dx, y0 + dy, clipWidth, clipHeight, source, x0, y0, SRCCOPY);
        if (windowRegion)
            SelectClipRgn(target, nullptr);
        if (surface)
            surface->ReleaseDC(source);
        if (surface3D)
            surface3D->ReleaseDC(source);
        return 0;
    }

    if (backEnd == RenderDirect3D9)
        return PresentDirect3D();
    if (backEnd == RenderOpenGL)
        return glDC && SwapBuffers(glDC) ? 0 : E_FAIL;
    CheckWindowState(nullptr);
    if (status != 0 || !primarySurface || !backSurface)
        return 0;
    if (windowRegion) {
        // The clipper takes the output's shape in screen coordinates.
        OffsetRgn(windowRegion, deviceRect.left, deviceRect.top);
        DWORD size = GetRegionData(windowRegion, 0, nullptr);
        if (size && clipper) {
            std::vector<uint8_t> data(size);
            if (GetRegionData(windowRegion, size, reinterpret_cast<RGNDATA*>(data.data()))) {
                BOOL changed = FALSE;
                if (SUCCEEDED(clipper->IsClipListChanged(&changed)) && changed) {
                    IDirectDrawClipper* fresh = nullptr;
                    if (SUCCEEDED(directDraw->CreateClipper(0, &fresh, nullptr))) {
                        clipper->Release();
                        clipper = fresh;
                        primarySurface->SetClipper(clipper);
                    }
                }
                clipper->SetClipList(reinterpret_cast<RGNDATA*>(data.data()), 0);
            }
        }
        OffsetRgn(windowRegion, -deviceRect.left, -deviceRect.top);
    }
    RECT sourceRect = {x0, y0, x0 + clipWidth, y0 + clipHeight};
    RECT destination = sourceRect;
    OffsetRect(&destination, deviceRect.left, deviceRect.top);
    HRESULT result = primarySurface->Blt(&destination, backSurface,
                                         &sourceRect, DDBLT_WAIT | DDBLT_ASYNC, nullptr);
    if (result == DDERR_SURFACELOST)
        return ResetDevice(0);
    return FAILED(result) ? result : 0;
}

void CObjeto2D::FillBackground(int32_t, int32_t colour)
{
    uint32_t value = colour == -1 ? backgroundColour : static_cast<uint32_t>(colour) & 0xFFFFFF;
    if (backEnd == RenderDirect3D9) {
        if (device3D)
            device3D->Clear(0, nullptr, D3DCLEAR_TARGET, value, 1.0f, 0);
        return;
    }
    if (backEnd != RenderSoftware)
        return;
    if (gdiMode)
        FillRectGDI(memoryDC, value);
    else if (offscreenTarget)
        FillTarget(value);
    else
        FillRectDirectDraw(backSurface, value);
}

void CObjeto2D::FillRectGDI(HDC dc, uint32_t colour)
{
    if (!dc)
        return;
    RECT rect = {params->clipX0, params->clipY0, params->clipX1 + 1, params->clipY1 + 1};
    HBRUSH brush = CreateSolidBrush(SwapRedBlue(colour) & 0xFFFFFF);
    if (!brush)
        return;
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void CObjeto2D::FillRectDirectDraw(IDirectDrawSurface3* surface, uint32_t colour)
{
    if (!surface)
        return;
    RECT rect = {params->clipX0, params->clipY0, params->clipX1 + 1, params->clipY1 + 1};
    DDBLTFX effects = {};
    effects.dwSize = sizeof effects;
    effects.dwFillColor = FrameColour(colour);
    surface->Blt(&rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects);
}

void CObjeto2D::ClearDepthRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!params->depthBuffer)
        return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, params->width - 1);
    y1 = std::min(y1, params->height - 1);
    if (x1 < x0 || y1 < y0)
        return;
    for (int32_t y = y0; y <= y1; y++) {
        uint16_t* row = params->depthBuffer + static_cast<size_t>(y) * static_cast<size_t>(params->width);
        std::memset(row + x0, 0, static_cast<size_t>(x1 - x0 + 1) * sizeof(uint16_t));
    }
}

void CObjeto2D::ClearDepthBuffer()
{
    if (params->depthBuffer)
        std::memset(params->depthBuffer, 0, static_cast<size_t>(params->width) *
                                                static_cast<size_t>(params->height) * sizeof(uint16_t));
}

void CObjeto2D::ClearAccumulation(int32_t colour)
{
    uint16_t* buffer = params->accumulationBuffer;
    if (!buffer)
        return;
    uint32_t value = colour == -1 ? backgroundColour : static_cast<uint32_t>(colour);
    int shift = AccumulationShift(params->stateBits);
    const uint16_t blue = static_cast<uint16_t>((value & 0xFF) << shift);
    const uint16_t green = static_cast<uint16_t>(((value >> 8) & 0xFF) << shift);
    const uint16_t red = static_cast<uint16_t>(((value >> 16) & 0xFF) << shift);
    for (int32_t y = params->clipY0; y <= params->clipY1; y++) {
        int32_t row = params->bottomUp ? params->height - 1 - y : y;
        uint16_t* sums = buffer + (static_cast<size_t>(row) * static_cast<size_t>(params->width) +
                                   static_cast<size_t>(params->clipX0)) * 3;
        for (int32_t x = params->clipX0; x <= params->clipX1; x++, sums += 3) {
            sums[0] = blue;
            sums[1] = green;
            sums[2] = red;
        }
    }
}

void CObjeto2D::ResolveAccumulation()
{
    accumulationPending = 0;
    const uint16_t* buffer = params->accumulationBuffer;
    if (!buffer)
        return;
    bool locked = false;
    uint8_t* pixels = params->pixels;
    if (!frameLocked) {
        pixels = LockFrame();
        locked = frameLocked != 0;
    }
    if (!pixels)
        return;
    const int shift = AccumulationShift(params->stateBits);
    const int32_t bits = params->bitsPerPixel;
    const int32_t bytes = params->bytesPerPixel;
    for (int32_t y = params->clipY0; y <= params->clipY1; y++) {
        int32_t row = params->bottomUp ? params->height - 1 - y : y;
        const uint16_t* sums = buffer + (static_cast<size_t>(row) * static_cast<size_t>(params->width) +
                                         static_cast<size_t>(params->clipX0)) * 3;
        uint8_t* out = pixels + static_cast<ptrdiff_t>(y) * params->stride +
                       static_cast<ptrdiff_t>(params->clipX0) * bytes;
        for (int32_t x = params->clipX0; x <= params->clipX1; x++, sums += 3, out += bytes) {
            const uint8_t b = Saturate(sums[0] >> shift);
            const uint8_t g = Saturate(sums[1] >> shift);
            const uint8_t r = Saturate(sums[2] >> shift);
            if (bits == 16 || bits == 15) {
                uint16_t v = static_cast<uint16_t>(
                    CSprite::ConvertColor((static_cast<uint32_t>(r) << 16) | (g << 8) | b, bits, 24));
                std::memcpy(out, &v, 2);
            } else if (bits >= 24) {
                out[0] = b;
                out[1] = g;
                out[2] = r;
                if (bits == 32)
                    out[3] = 0;
            }
        }
    }
    if (locked)
        UnlockFrame();
}
