// Drawing into an image instead of a window: the target image and the frame's colour format.
#include "render/render_device.h"

void CObjeto2D::SetRenderTarget(CSprite* image)
{
    offscreenTarget = image;
    offscreenTargetOn = image ? 1 : 0;
}

HRESULT CObjeto2D::CreateTargetImage(int32_t, int32_t)
{
    // Not built yet: answers E_NOTIMPL (no target image).
    return E_NOTIMPL;
}

uint8_t* CObjeto2D::TargetPixels()
{
    // Not built yet: answers none (no target image).
    return nullptr;
}

int32_t CObjeto2D::TargetBitsPerPixel()
{
    // Not built yet: answers 0 (no target image).
    return 0;
}

void CObjeto2D::FillTarget(uint32_t)
{
    // Not built yet: does nothing (no target image).
}

uint32_t CObjeto2D::FrameColour(uint32_t colour)
{
    const uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    if (params->bitsPerPixel == 16)
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    if (params->bitsPerPixel == 15)
        return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    return colour & 0xFFFFFF;
}
