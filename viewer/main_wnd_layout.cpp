// Layout of interface objects and windows: the alignment rule they all share.
#include "viewer/main_wnd.h"

#include "render/render_device.h"

namespace {

// Alignment flag bits (one byte).
constexpr uint8_t kAlignHorizontalMask = 0x03;  // 1: centre on x, 2: right edge on x
constexpr uint8_t kAlignAddWidth = 0x04;
constexpr uint8_t kAlignAddHalfWidth = 0x08;
constexpr uint8_t kAlignVerticalMask = 0x30;    // 0x10: centre on y, 0x20: bottom edge on y
constexpr uint8_t kAlignAddHeight = 0x40;
constexpr uint8_t kAlignAddHalfHeight = 0x80;

}  // namespace

void CMainWnd::ApplyAlignment(float& x, float& y, uint8_t align, float width, float height,
                              int referenceWidth, int referenceHeight)
{
    if (referenceWidth == -1)
        referenceWidth = m_view.params->width;
    if (referenceHeight == -1)
        referenceHeight = m_view.params->height;
    switch (align & kAlignHorizontalMask) {
    case 1: x -= width / 2.0f; break;
    case 2: x -= width; break;
    default: break;
    }
    if (align & kAlignAddWidth)
        x += static_cast<float>(referenceWidth);
    else if (align & kAlignAddHalfWidth)
        x += static_cast<float>(referenceWidth / 2);
    switch (align & kAlignVerticalMask) {
    case 0x10: y -= height / 2.0f; break;
    case 0x20: y -= height; break;
    default: break;
    }
    if (align & kAlignAddHeight)
        y += static_cast<float>(referenceHeight);
    else if (align & kAlignAddHalfHeight)
        y += static_cast<float>(referenceHeight / 2);
}
