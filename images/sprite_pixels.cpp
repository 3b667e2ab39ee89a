// CSprite: single pixels, fills and depth conversion.
#include "images/sprite.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/code_pool.h"
#include "images/pixel_convert.h"
#include "platform/device_context.h"

namespace {

// The pixel of a flat buffer at (x, y) as a 32-bit colour; only the pixel's own bytes are read,
// except for 24 bits whose 4-byte read ends in the buffer's spare bytes.
uint32_t ReadPixel(const uint8_t* row, int x, int bpp, const uint32_t* palette)
{
    switch (bpp) {
    case 8:
        return palette[row[x]];
    case 15:
    case 16: {
        uint16_t word;
        memcpy(&word, row + x * 2, 2);
        uint32_t value = 0;
        ConvertPixels(&word, &value, 1, bpp, 32, nullptr);
        return value;
    }
    case 24:
    case 32: {
        uint32_t value;
        memcpy(&value, row + x * PixelBytes(bpp), 4);
        return value;
    }
    default:
        return 0;
    }
}

}  // namespace

uint32_t CSprite::ConvertColor(uint32_t value, int bppTo, int bppFrom)
{
    if (bppTo == bppFrom || (bppTo >= 24 && bppFrom >= 24))
        return value;
    // Nothing is written to 8 bits, and an 8-bit value needs a palette this call does not have.
    if (bppTo == 8 || bppFrom == 8)
        return value;
    uint32_t out = 0;
    ConvertPixels(&value, &out, 1, bppFrom, bppTo, nullptr);
    return out;
}

uint32_t CSprite::FillPixels(uint32_t colour, void* buffer, int fillWidth, int fillHeight, int bpp)
{
    if (!buffer || fillWidth <= 0 || fillHeight <= 0)
        return colour;
    const size_t count = static_cast<size_t>(fillWidth) * static_cast<size_t>(fillHeight);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    switch (bpp) {
    case 15:
    case 16: {
        const uint16_t value = static_cast<uint16_t>(ConvertColor(colour, bpp, 24));
        const uint32_t pair = value | (static_cast<uint32_t>(value) << 16);
        size_t i = 0;
        for (; i + 2 <= count; i += 2)
            memcpy(out + i * 2, &pair, 4);
        if (i < count)
            memcpy(out + i * 2, &value, 2);  // the odd last pixel
        return value;
    }
    case 24:
        for (size_t i = 0; i < count; ++i)
            memcpy(out + i * 3, &colour, 3);
        return colour;
    case 32:
        for (size_t i = 0; i < count; ++i)
            memcpy(out + i * 4, &colour, 4);
        return colour;
    default: {
        // One byte per pixel: the colour's bytes repeat, the tail included.
        size_t i = 0;
        for (; i + 4 <= count; i += 4)
            memcpy(out + i, &colour, 4);
        for (; i < count; ++i)
            out[i] = static_cast<uint8_t>(colour >> (8 * (i & 3)));
        return colour;
    }
    }
}

namespace {

// Fills a buffer whose rows may be further apart than its pixels (a Direct3D texture's pitch).
void FillRows(uint32_t colour, uint8_t* buffer, int width, int height, int bpp, int stride)
{
    if (stride == width * PixelBytes(bpp)) {
        CSprite::FillPixels(colour, buffer, width, height, bpp);
        return;
    }
    for (int y = 0; y < height; ++y)
        CSprite::FillPixels(colour, buffer + static_cast<size_t>(y) * stride, width, 1, bpp);
}

}  // namespace

void CSprite::Fill(uint32_t colour, void* buffer)
{
    if (buffer) {
        FillPixels(colour, buffer, width, height, bitsPerPixel);
        return;
    }
    // Own memory in mode 0 and for a DIB; a tile in a texture mode fills its drawing buffer too.
    if (drawPixels && (textureMode == SpriteTextureMemory || dib || !tiles)) {
        FillRows(colour, drawPixels, width, height, bitsPerPixel, stride);
        return;
    }
    for (int i = 0; i < tileCount && tiles; ++i) {
        CSprite* tile = tiles[i];
        if (!tile || !tile->drawPixels)
            continue;
        FillRows(colour, tile->drawPixels, tile->width, tile->height, tile->bitsPerPixel,
                 tile->stride);
        ++tile->generation;
    }
}

uint32_t CSprite::GetPixel(int x, int y, bool forceAlpha) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    const CSprite* source = this;
    if (!drawPixels) {
        source = nullptr;
        for (int i = 0; i < tileCount && tiles; ++i) {
            const CSprite* tile = tiles[i];
            if (!tile || !tile->drawPixels)
                continue;
            const int left = tile->originX - originX;
            const int top = tile->originY - originY;
            if (x >= left && y >= top && x < left + tile->width && y < top + tile->height) {
                source = tile;
                x -= left;
                y -= top;
                break;
            }
        }
        if (!source)
            return 0;
    }
    const int bpp = source->bitsPerPixel;
    uint32_t value = ReadPixel(source->drawPixels + static_cast<size_t>(y) * source->stride, x,
                               bpp, source->palette);
    if (forceAlpha && bpp < 32)
        value |= 0xFF000000u;
    return value;
}

uint32_t CSprite::SetPixel(int x, int y, uint32_t colour)
{
    const uint32_t value = ConvertColor(colour, bitsPerPixel, 24);
    if (!drawPixels || x < 0 || y < 0 || x >= width || y >= height)
        return value;
    memcpy(drawPixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bytesPerPixel,
           &value, static_cast<size_t>(bytesPerPixel));
    return value;
}

bool CSprite::ConvertBitDepth(int bpp)
{
    if (bpp == bitsPerPixel)
        return true;
    // Nothing is written when converting to 8 bits: the image is left as it was.
    if (!pixels || (bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32))
        return false;
    const int newBytes = PixelBytes(bpp);
    const int64_t wideSize = static_cast<int64_t>(width) * height * newBytes;
    if (wideSize > INT_MAX)
        return false;
    const int newByteSize = static_cast<int>(wideSize);
    const int count = width * height;

    if (newByteSize == byteSize) {
        ConvertPixels(pixels, pixels, count, bitsPerPixel, bpp, palette);
        ImageLockGuard lock;
        bitsPerPixel = bpp;
        bytesPerPixel = newBytes;
        stride = width * newBytes;
        return true;
    }

    uint8_t* newPixels = nullptr;
    HBITMAP newDib = nullptr;
    if (dib) {
        // A DIB stays a DIB, and GDI pads rows to 4 bytes: refuse a depth whose rows would.
        if ((width * newBytes) % 4 != 0)
            return false;
        newDib = MakeDibSection(width, height, bpp, &newPixels);
        if (!newDib)
            return false;
    } else {
        newPixels = static_cast<uint8_t*>(
            malloc(static_cast<size_t>(newByteSize) + kSpriteBufferSpare));
        if (!newPixels)
            return false;
    }
    ConvertPixels(pixels, newPixels, count, bitsPerPixel, bpp, palette);

    ImageLockGuard lock;
    if (dib) {
        if (dc)
            dc->RestoreOriginal();
        DeleteObject(dib);
        dib = newDib;
        if (dc)
            dc->SelectObject(dib);
    } else {
        free(pixels);
    }
    pixels = newPixels;
    drawPixels = newPixels;
    bitsPerPixel = bpp;
    bytesPerPixel = newBytes;
    byteSize = newByteSize;
    stride = width * newBytes;
    return true;
}

void CSprite::PadBufferEnd()
{
    // Heap buffers keep 8 spare bytes, 24-bit DIBs a spare row; other DIBs have no room.
    if (!pixels || byteSize < bytesPerPixel || (dib && bitsPerPixel != 24))
        return;
    uint8_t* end = pixels + byteSize;
    uint32_t last = 0;
    switch (bitsPerPixel) {
    case 32:
        memcpy(&last, end - 4, 4);
        memcpy(end, &last, 4);
        break;
    case 24:
        memcpy(&last, end - 3, 4);
        memcpy(end, &last, 4);
        break;
    case 15:
    case 16:
        memcpy(end, end - 2, 2);
        break;
    default:
        break;
    }
}
