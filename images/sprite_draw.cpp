// CSprite: drawing images and colours onto an image, flat or tiled, through the blitter.
#include "images/sprite.h"

#include <cmath>

#include "images/blit.h"

namespace {

// Raises and lowers the busy counts of the images a drawing touches.
class BusyGuard {
public:
    BusyGuard(CSprite* a, CSprite* b) : m_a(a), m_b(b)
    {
        ++m_a->busyCount;
        if (m_b)
            ++m_b->busyCount;
    }
    ~BusyGuard()
    {
        --m_a->busyCount;
        if (m_b)
            --m_b->busyCount;
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    CSprite* m_a;
    CSprite* m_b;
};

}  // namespace

void ScaleTileSpan(double start, double length, int* position, int* size)
{
    const double p = std::floor(start);
    const double s = std::floor(length);
    *position = static_cast<int>(p);
    *size = static_cast<int>(s);
    if ((start - p) + (length - s) >= 1.0)
        ++*size;
}

void CSprite::DrawSprite(int x, int y, CSprite* source, int opacity, uint32_t mode,
                         uint32_t colour, int drawWidth, int drawHeight, int clipX0, int clipY0,
                         int clipX1, int clipY1)
{
    BusyGuard busy(this, source);

    if (!drawPixels) {
        // Tiled destination: each tile takes the drawing in its own coordinates.
        for (int i = 0; i < tileCount && tiles; ++i) {
            CSprite* tile = tiles[i];
            if (!tile)
                continue;
            tile->DrawSprite(x - (tile->originX - originX), y - (tile->originY - originY), source,
                             opacity, mode, colour, drawWidth, drawHeight, clipX0, clipY0, clipX1,
                             clipY1);
            ++tile->generation;
        }
        return;
    }
    if (width <= 0 || height <= 0)
        return;

    if (clipX1 < 0 || clipX1 >= width)
        clipX1 = width - 1;
    if (clipY1 < 0 || clipY1 >= height)
        clipY1 = height - 1;
    clipX0 = clipX0 < 0 ? 0 : clipX0 >= width ? width - 1 : clipX0;
    clipY0 = clipY0 < 0 ? 0 : clipY0 >= height ? height - 1 : clipY0;
    if (clipX1 < clipX0)
        clipX1 = clipX0;
    if (clipY1 < clipY0)
        clipY1 = clipY0;

    const uint32_t opacityWord = static_cast<uint32_t>(opacity);
    if (!source || source->drawPixels) {
        BlitPixels(drawPixels, stride, 0, bitsPerPixel, drawWidth, drawHeight, clipX0, clipY0,
                   clipX1, clipY1, x, y, source ? source->drawPixels : nullptr,
                   source ? source->width : 1, source ? source->height : 1,
                   source ? source->bitsPerPixel : 32, source ? source->palette : nullptr,
                   opacityWord, mode, colour, source ? source->hasAlpha : 0);
        return;
    }

    // Tiled source: every tile scaled by the drawn size over the source's size.
    if (!source->tiles || source->width <= 0 || source->height <= 0)
        return;
    if (drawWidth == 0)
        drawWidth = source->width;
    if (drawHeight == 0)
        drawHeight = source->height;
    if (clipX1 > x + drawWidth - 1)
        clipX1 = x + drawWidth - 1;
    if (clipY1 > y + drawHeight - 1)
        clipY1 = y + drawHeight - 1;
    if (clipX1 < clipX0 || clipY1 < clipY0)
        return;
    const double sx = static_cast<double>(drawWidth) / source->width;
    const double sy = static_cast<double>(drawHeight) / source->height;
    for (int i = 0; i < source->tileCount; ++i) {
        CSprite* tile = source->tiles[i];
        if (!tile || !tile->drawPixels)
            continue;
        int tx, ty, tw, th;
        ScaleTileSpan((tile->originX - source->originX) * sx + x, tile->width * sx, &tx, &tw);
        ScaleTileSpan((tile->originY - source->originY) * sy + y, tile->height * sy, &ty, &th);
        if (tw < 1 || th < 1)
            continue;
        BlitPixels(drawPixels, stride, 0, bitsPerPixel, tw, th, clipX0, clipY0, clipX1, clipY1,
                   tx, ty, tile->drawPixels, tile->width, tile->height, tile->bitsPerPixel,
                   tile->palette, opacityWord, mode, colour, source->hasAlpha);
    }
}

void CSprite::FillRect(int x1, int y1, int x2, int y2, uint32_t colour, int opacity,
                       uint32_t mode)
{
    if (x2 < x1 || y2 < y1)
        return;
    if (hasAlpha)
        colour |= 0xFF000000u;
    DrawSprite(x1, y1, nullptr, opacity, mode, colour, x2 - x1 + 1, y2 - y1 + 1);
}
