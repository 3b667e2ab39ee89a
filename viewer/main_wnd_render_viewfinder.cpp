// The viewfinder: a magnified view around a point of the main view, rendered by the main device
// through a second render-parameter block into an image of its own and copied into the small
// viewfinder window.
#include "viewer/main_wnd.h"

#include <algorithm>
#include <cstring>

#include "platform/device_context.h"
#include "viewer/bitmap_resource.h"

namespace {

constexpr int kViewfinderOverlayResource = 893;
// Flag bits the viewfinder block keeps of its own, and those it takes from the main block.
constexpr uint32_t kViewfinderOwnBits = 0x0000FFB7;
constexpr uint32_t kViewfinderMainBits = 0x48 | 0xFFFF0000;
constexpr uint32_t kViewfinderForcedBits = 0x08;
constexpr int32_t kProjectionLittlePlanet = 7;
constexpr uint32_t kOverlayMode = 2;          // the overlay's own alpha
constexpr uint32_t kOverlayWindow = 0xFFFFFF; // the overlay's white is its window

// Rows of a locked surface into the image: each by the surface's pitch and the image's stride.
void CopyRows(CSprite* image, const uint8_t* bits, int32_t pitch, int32_t width, int32_t height)
{
    const int32_t rows = std::min(height, image->height);
    const size_t bytes = static_cast<size_t>(std::min(width, image->width)) * 4;
    for (int32_t y = 0; y < rows; y++)
        std::memcpy(image->pixels + static_cast<size_t>(y) * static_cast<size_t>(image->stride),
                    bits + static_cast<size_t>(y) * static_cast<size_t>(pitch), bytes);
}

}  // namespace

bool CMainWnd::CreateViewfinderImages()
{
    if (!m_viewfinderFrame.pixels) {
        if (!LoadBitmapResource(m_viewfinderFrame, kViewfinderOverlayResource) || !m_viewfinderFrame.pixels)
            return false;
        // The drawing shows through where the overlay is white.
        for (int32_t y = 0; y < m_viewfinderFrame.height; y++) {
            uint8_t* row = m_viewfinderFrame.pixels +
                           static_cast<size_t>(y) * static_cast<size_t>(m_viewfinderFrame.stride);
            for (int32_t x = 0; x < m_viewfinderFrame.width; x++) {
                uint8_t* p = row + static_cast<size_t>(x) * 4;
                const uint32_t colour = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
                p[3] = colour == kOverlayWindow ? 0 : 0xFF;
            }
        }
        m_viewfinderFrame.hasAlpha = 1;
    }
    const int32_t width = m_viewfinderFrame.width;
    const int32_t height = m_viewfinderFrame.height;
    if (!m_viewfinderImage.pixels && m_viewfinderImage.CreateDIB(width, height, 32, true, 0) != 4)
        return false;
    if (!m_viewfinderDepth.pixels &&
        !m_viewfinderDepth.Create(width, height, 16, true, 0, false, true, false))
        return false;
    m_viewfinderParams.pixels = m_viewfinderImage.pixels;
    m_viewfinderParams.stride = m_viewfinderImage.stride;
    m_viewfinderParams.bitsPerPixel = 32;
    m_viewfinderParams.bytesPerPixel = 4;
    m_viewfinderParams.width = width;
    m_viewfinderParams.height = height;
    m_viewfinderParams.clipX0 = 0;
    m_viewfinderParams.clipY0 = 0;
    m_viewfinderParams.clipX1 = width - 1;
    m_viewfinderParams.clipY1 = height - 1;
    m_viewfinderParams.wholeSurfaceClip = 1;
    m_viewfinderParams.depthBuffer = reinterpret_cast<uint16_t*>(m_viewfinderDepth.pixels);
    m_viewfinderParams.camera = &m_viewfinderCamera;
    return true;
}

void CMainWnd::RenderViewfinder()
{
    if (m_view.backEnd == RenderOpenGL || !m_viewfinderImage.pixels || !m_currentFrame)
        return;
    RenderParams& main = m_view.renderParams;
    const int32_t width = main.width;
    const int32_t height = main.height;
    const float zoom = m_viewfinderZoom;

    m_viewfinderCamera = *main.camera;
    m_view.projectionWidth = static_cast<int32_t>(static_cast<float>(width) * zoom);
    m_view.projectionHeight = static_cast<int32_t>(static_cast<float>(height) * zoom);

    RenderParams& finder = m_viewfinderParams;
    finder.stateBits = (finder.stateBits & kViewfinderOwnBits) |
                       (main.stateBits & kViewfinderMainBits) | kViewfinderForcedBits;
    finder.nearZ = main.nearZ;
    finder.farZ = main.farZ;
    finder.workBuffer = main.workBuffer;
    finder.screenVertices = main.screenVertices;
    finder.screenVertexCapacity = main.screenVertexCapacity;
    finder.camera = &m_viewfinderCamera;
    m_view.params = &finder;

    const int32_t savedOffsetX = m_view.centreOffsetX;
    const int32_t savedOffsetY = m_view.centreOffsetY;
    m_view.SetCenterOffset(
        static_cast<int32_t>(static_cast<float>(width / 2 - m_viewfinderPos.x) * zoom),
        static_cast<int32_t>(static_cast<float>(height / 2 - m_viewfinderPos.y) * zoom));
    m_view.UpdateViewportAndProjection();
    m_view.UpdateViewMatrix();
    IDirect3DSurface9* target = m_view.viewfinderTarget;
    const bool direct3D = m_view.backEnd == RenderDirect3D9 && m_view.device3D && target;
    if (direct3D)
        m_view.device3D->SetRenderTarget(0, target);
    // The software rasteriser locks the device's surface for each mesh, which would put the main
    // view's pixels into the block: the viewfinder image becomes the device's target instead.
    CSprite* const savedTarget = m_view.offscreenTarget;
    const uint8_t savedTargetOn = m_view.offscreenTargetOn;
    if (m_view.backEnd == RenderSoftware)
        m_view.SetRenderTarget(&m_viewfinderImage);

    const int32_t kind = m_currentFrame->kind;
    if ((kind != FrameKindCubic && kind != FrameKindSpherical) ||
        m_params.projection == kProjectionLittlePlanet) {
        if (m_view.backEnd == RenderSoftware) {
            m_viewfinderImage.FillRect(0, 0, finder.width - 1, finder.height - 1,
                                       m_view.backgroundColour, 100, 0);
            if ((finder.stateBits & StateZBuffer) && m_viewfinderDepth.pixels)
                std::memset(m_viewfinderDepth.pixels, 0,
                            static_cast<size_t>(m_viewfinderDepth.stride) *
                                static_cast<size_t>(m_viewfinderDepth.height));
        } else {
            m_view.Clear(true);
        }
    }
    const int32_t count = m_currentFrame->meshCount;
    for (int32_t i = 0; i < count && i < kFrameSlotCapacity; i++) {
        if (m_currentFrame->meshes[i] &&
            m_view.DrawObject3D(m_currentFrame->meshes[i], 100, 0, 1, nullptr) != 0)
            break;
    }
    DrawInterface(m_currentFrame);

    // The rasteriser may have grown the shared transformed-vertex buffer.
    main.screenVertices = finder.screenVertices;
    main.screenVertexCapacity = finder.screenVertexCapacity;
    m_view.offscreenTarget = savedTarget;
    m_view.offscreenTargetOn = savedTargetOn;
    m_view.params = &main;
    m_view.projectionWidth = 0;
    m_view.projectionHeight = 0;
    m_view.SetCenterOffset(savedOffsetX, savedOffsetY);
    m_view.UpdateViewportAndProjection();
    m_view.UpdateViewMatrix();
    if (direct3D) {
        m_view.device3D->SetRenderTarget(0, m_view.backBuffer);
        IDirect3DSurface9* copy = nullptr;
        if (SUCCEEDED(m_view.device3D->CreateOffscreenPlainSurface(
                kViewfinderWidth, kViewfinderHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy,
                nullptr))) {
            D3DLOCKED_RECT locked;
            if (SUCCEEDED(m_view.device3D->GetRenderTargetData(target, copy)) &&
                SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
                CopyRows(&m_viewfinderImage, static_cast<const uint8_t*>(locked.pBits),
                         locked.Pitch, kViewfinderWidth, kViewfinderHeight);
                copy->UnlockRect();
            }
            copy->Release();
        }
    }

    m_viewfinderImage.DrawSprite(0, 0, &m_viewfinderFrame, 100, kOverlayMode, 0xFFFFFF);
    HWND window = m_viewfinder.m_hWnd;
    HDC source = m_viewfinderImage.dc ? m_viewfinderImage.dc->GetSafeHdc() : nullptr;
    if (window && source) {
        HDC dc = GetDC(window);
        if (dc) {
            BitBlt(dc, 0, 0, m_viewfinderImage.width, m_viewfinderImage.height, source, 0, 0,
                   SRCCOPY);
            ReleaseDC(window, dc);
        }
    }
}
