// The drawn frame of a skinned window: frame pieces, the composed strips, the caption buttons'
// images and the caption text, tinted with the interface colour.
#include "viewer/image_wnd.h"

HBITMAP SkinBitmap(CSprite&)
{
    // Not built yet: answers null (no picture) until skin images are DIB sections.
    return nullptr;
}

void CImageWnd::BuildFramePieces()
{
    // Not built yet: does nothing (the frame shows no pictures).
}

void CImageWnd::BuildCaptionButtonImages()
{
    // Not built yet: does nothing (the caption buttons show no pictures).
}

void CImageWnd::DrawFrameStrips(int, int)
{
    // Not built yet: does nothing (the frame shows no pictures).
}

void CImageWnd::DrawCaptionText()
{
    // Not built yet: does nothing (the caption shows no text).
}
