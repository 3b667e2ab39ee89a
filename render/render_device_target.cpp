// Drawing into an image instead of a window: the target image and the frame's colour format.
#include "render/render_device.h"

#include <algorithm>
#include <cstring>

void CObjeto2D::SetRenderTarget(CSprite* image)
{
    offscreenTarget = image;
    offscreenTargetOn = image ? 1 : 0;
    if (!image)
        return;
    if (!image->pixels) {
        image->bitsPerPixel = 32;
        image->bytesPerPixel = 4;
    }
    params->bitsPerPixel = image->bitsPerPixel;
    params->bytesPerPixel = image->bytesPerPixel;
}

HRESULT CObjeto2D::CreateTargetImage(int32_t width, int32_t height)
{
    if (!offscreenTarget)
        return E_FAIL;
    offscreenTarget->Create(width, height, params->bitsPerPixel, true, -1, false, true, false);
    return offscreenTarget->pixels ? S_OK : E_OUTOFMEMORY;
}

uint8_t* CObjeto2D::TargetPixels()
{
    if (!offscreenTarget || !offscreenTarget->pixels)
        return nullptr;
    params->stride = offscreenTarget->width * offscreenTarget->bytesPerPixel;
    return offscreenTarget->pixels;
}

int32_t CObjeto2D::TargetBitsPerPixel()
{
    return offscreenTarget ? offscreenTarget->bitsPerPixel : 0;
}

void CObjeto2D::FillTarget(uint32_t colour)
{
    CSprite* image = offscreenTarget;
    if (!image || !image->pixels)
        return;
    if (params->wholeSurfaceClip && image->width == params->width && image->height == params->height) {
        image->Fill(colour);
        return;
    }
    // Like every other clear, only the clip rectangle.
    const int32_t x0 = params->clipX0, x1 = std::min(params->clipX1, image->width - 1);
    const int32_t y0 = params->clipY0, y1 = std::min(params->clipY1, image->height - 1);
    for (int32_t y = y0; y <= y1 && x0 <= x1; y++)
        CSprite::FillPixels(colour, image->pixels + static_cast<ptrdiff_t>(y) * image->stride +
                                        static_cast<ptrdiff_t>(x0) * image->bytesPerPixel,
                            x1 - x0 + 1, 1, image->bitsPerPixel);
}

uint32_t CObjeto2D::FrameColour(uint32_t colour)
{
    return CSprite::ConvertColor(colour & 0xFFFFFF, params->bitsPerPixel, 24);
}

bool CObjeto2D::CopyFrameToSprite(CSprite* image)
{
    if (!image)
        return false;
    uint8_t* frame = LockFrame();
    if (!frame)
        return false;
    const int32_t width = params->width, height = params->height;
    const int32_t stride = params->stride;
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(params->bytesPerPixel);
    bool copied = false;
    if (image != offscreenTarget &&
        image->Create(width, height, params->bitsPerPixel, true, -1, false, true, false) &&
        image->pixels && image->width == width && image->height == height) {
        for (int32_t y = 0; y < height; y++)
            std::memcpy(image->pixels + static_cast<size_t>(y) * rowBytes,
                        frame + static_cast<ptrdiff_t>(y) * stride, rowBytes);
        copied = true;
    }
    UnlockFrame();
    return copied;
}
