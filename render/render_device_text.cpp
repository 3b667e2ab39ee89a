// GDI text written into the software frame, and its measure.
#include "render/render_device.h"

#include <cstring>

#include "platform/device_context.h"

namespace {

// GDI takes colours as 0x00BBGGRR.
COLORREF ToColorRef(uint32_t colour) {
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

bool MeasureText(HDC dc, const char* text, int32_t* width, int32_t* height) {
    SIZE size = {};
    if (!GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size))
        return false;
    *width = size.cx;
    *height = size.cy;
    return true;
}

}  // namespace

bool CObjeto2D::DrawText(int32_t x, int32_t y, const char* text, uint32_t colour, HFONT font,
                         uint32_t flags, const RECT* rectangle) {
    if (status != 0 || backEnd != RenderSoftware || !text)
        return false;
    // An image target takes text through its own DIB; one without a DIB takes none.
    IDirectDrawSurface3* surface = nullptr;
    HDC dc = nullptr;
    if (offscreenTarget)
        dc = offscreenTarget->dc ? offscreenTarget->dc->GetSafeHdc() : nullptr;
    else
        dc = GetFrameDC(&surface);
    if (!dc)
        return false;
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, ToColorRef(colour));
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;

    bool written = false;
    if (rectangle) {
        RECT box = *rectangle;
        written = ::DrawTextA(dc, text, -1, &box, DT_WORDBREAK) != 0;
    } else {
        if (flags & TextFromRightEdge)
            x += params->width;
        if (flags & TextFromBottomEdge)
            y += params->height;
        int32_t width = 0, height = 0;
        if ((flags & (TextCentreX | TextRightX | TextCentreY | TextBottomY)) &&
            MeasureText(dc, text, &width, &height)) {
            if (flags & TextCentreX)
                x -= width / 2;
            else if (flags & TextRightX)
                x -= width;
            if (flags & TextCentreY)
                y -= height / 2;
            else if (flags & TextBottomY)
                y -= height;
        }
        written = TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text))) != 0;
    }

    if (font)
        SelectObject(dc, previousFont);
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);
    if (surface)
        surface->ReleaseDC(dc);
    GdiFlush();  // the spans and the blitter write the same pixels directly
    return written;
}

bool CObjeto2D::GetTextExtent(const char* text, int32_t* width, int32_t* height, HFONT font) {
    if (!text || !width || !height)
        return false;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return false;
    HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
    const bool measured = MeasureText(dc, text, width, height);
    if (font)
        SelectObject(dc, previousFont);
    DeleteDC(dc);
    return measured;
}
