// CSprite: making and replacing pixel storage.
#include "images/sprite.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/code_pool.h"
#include "platform/device_context.h"

namespace {

constexpr int kSpriteWaitPollMs = 10;
// Below this many old bytes a keep-content re-creation does not bother to scale the picture.
constexpr int kKeepContentMinBytes = 300;
// Relative change of the aspect ratio that marks the aspect as changed.
constexpr double kAspectChangeShare = 0.1;

enum class StorageKind { None, Heap, Dib, Tiles };

// The width a DIB row of this depth needs to be stored without padding.
int RoundDibWidth(int width, int bpp)
{
    if (bpp == 15 || bpp == 16)
        return (width + 1) & ~1;
    if (bpp == 24)
        return (width + 3) & ~3;
    return width;
}

// Moves a pixel buffer in and out of a CSprite that only lends its fields to the drawing code.
class WrappedBuffer {
public:
    WrappedBuffer(uint8_t* buffer, int width, int height, int bpp)
    {
        m_image.pixels = buffer;
        m_image.drawPixels = buffer;
        m_image.width = width;
        m_image.height = height;
        m_image.bitsPerPixel = bpp;
        m_image.bytesPerPixel = PixelBytes(bpp);
        m_image.stride = width * m_image.bytesPerPixel;
        m_image.byteSize = m_image.stride * height;
        m_image.rightEdge = width;
        m_image.bottomEdge = height;
    }
    ~WrappedBuffer()
    {
        m_image.pixels = nullptr;
        m_image.drawPixels = nullptr;
    }
    CSprite& image() { return m_image; }

private:
    CSprite m_image;
};

}  // namespace

void CSprite::WaitUntilIdle()
{
    while (GetBusyCount() > 1 && (waitFlags.load() & ~SpriteWaitCreate) == 0 &&
           AbortValue() == 0) {
        waitFlags |= SpriteWaitCreate;
        SleepMilliseconds(kSpriteWaitPollMs);
    }
    waitFlags &= ~SpriteWaitCreate;
}

HBITMAP CSprite::MakeDibSection(int dibWidth, int dibHeight, int bpp, uint8_t** bits) const
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = dibWidth;
    info.bmiHeader.biHeight = bpp == 24 ? -(dibHeight + 1) : -dibHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bpp);
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP made = CreateDIBSection(dc ? dc->GetSafeHdc() : nullptr, &info, DIB_RGB_COLORS,
                                    &memory, nullptr, 0);
    if (made && !memory) {
        DeleteObject(made);
        made = nullptr;
    }
    *bits = made ? static_cast<uint8_t*>(memory) : nullptr;
    return made;
}

void CSprite::ReleasePixelStorage()
{
    if (dib) {
        if (dc)
            dc->RestoreOriginal();
        DeleteObject(dib);
        dib = nullptr;
        s_pixelCount -= static_cast<int64_t>(width) * height;
    } else if (pixels) {
        free(pixels);
        s_pixelCount -= static_cast<int64_t>(width) * height;
    }
    pixels = nullptr;
    drawPixels = nullptr;
}

void CSprite::RetireTiles()
{
    if (!tiles)
        return;
    if (!retiredTiles) {
        retiredTiles = tiles;
        retiredCount = tileCount;
    } else {
        // An earlier array may still be drawn by the renderer: keep both until FreeRetiredTiles.
        CSprite** joined = new (std::nothrow) CSprite*[retiredCount + tileCount];
        if (joined) {
            memcpy(joined, retiredTiles, sizeof(CSprite*) * retiredCount);
            memcpy(joined + retiredCount, tiles, sizeof(CSprite*) * tileCount);
            delete[] retiredTiles;
            retiredTiles = joined;
            retiredCount += tileCount;
        } else {
            // Without memory for the list, the older array goes now; the newer one is kept.
            FreeRetiredTiles();
            retiredTiles = tiles;
            retiredCount = tileCount;
        }
    }
    tiles = nullptr;
    tileCount = 0;
    tilesAcross = 0;
    tilesDown = 0;
}

bool CSprite::Create(int newWidth, int newHeight, int bpp, bool clear, int colour, bool asDib,
                     bool wait, bool tiled)
{
    if (asDib) {
        if (bpp < 24)
            bpp = 24;
        newWidth = RoundDibWidth(newWidth, bpp);
    }
    const int newBytes = PixelBytes(bpp);
    int64_t wideSize = static_cast<int64_t>(newWidth) * newHeight * newBytes;
    if (newWidth <= 0 || newHeight <= 0 || wideSize > INT_MAX)
        wideSize = 0;  // no storage, as for a failed allocation
    const int newByteSize = static_cast<int>(wideSize);
    const bool makeTiles = !asDib && tiled && tilingEnabled && maskFile.GetLength() == 0;

    StorageKind haveKind = dib ? StorageKind::Dib
                         : IsKeptInTiles() ? StorageKind::Tiles
                         : pixels ? StorageKind::Heap : StorageKind::None;
    StorageKind wantKind = asDib ? StorageKind::Dib
                         : makeTiles ? StorageKind::Tiles : StorageKind::Heap;
    if (haveKind != StorageKind::None && haveKind == wantKind && createWidth == newWidth &&
        createHeight == newHeight && bitsPerPixel == bpp)
        return true;

    ++busyCount;
    createWidth = newWidth;
    createHeight = newHeight;
    if (wait)
        WaitUntilIdle();

    if (newWidth > kSpriteMaxStoredWidth) {
        int swap = newWidth;
        newWidth = newHeight;
        newHeight = swap;
        orientation = 1;
        orientationParams[0] = 0;
        orientationParams[1] = 0;
    }

    uint8_t* newPixels = nullptr;
    HBITMAP newDib = nullptr;
    CSprite** newTiles = nullptr;
    int newAcross = 0;
    int newDown = 0;
    int newTileCount = 0;
    if (newByteSize > 0) {
        if (asDib) {
            newDib = MakeDibSection(newWidth, newHeight, bpp, &newPixels);
            if (newDib)
                s_pixelCount += static_cast<int64_t>(newWidth) * newHeight;
        } else if (makeTiles) {
            newTileCount = SplitIntoTiles(newWidth, newHeight, bpp, &newTiles, &newAcross,
                                          &newDown);
        } else {
            // Zeroed: a picture that is not cleared may be drawn or uploaded as a texture before
            // a reader has filled it, and must not show what the memory held before.
            newPixels = static_cast<uint8_t*>(
                calloc(static_cast<size_t>(newByteSize) + kSpriteBufferSpare, 1));
            if (newPixels)
                s_pixelCount += static_cast<int64_t>(newWidth) * newHeight;
        }
    }

    const bool made = newPixels || newTileCount > 0;
    if (made) {
        const bool hasOld = drawPixels || IsKeptInTiles();
        if (keepContent && contentValid && hasOld && byteSize > kKeepContentMinBytes &&
            width > 0 && height > 0) {
            // Scale the old picture to the new width, keeping its aspect, centred vertically.
            const int drawnHeight = static_cast<int>(static_cast<int64_t>(newWidth) * height / width);
            int top = (newHeight - drawnHeight) / 2;
            if (top < 0)
                top = 0;
            if (newPixels) {
                WrappedBuffer target(newPixels, newWidth, newHeight, bpp);
                target.image().DrawSprite(0, top, this, 100, kSpriteModeBilinear, kSpriteNoTint,
                                          newWidth, drawnHeight);
            } else {
                for (int i = 0; i < newTileCount; ++i) {
                    CSprite* tile = newTiles[i];
                    tile->DrawSprite(-(tile->originX - originX), top - (tile->originY - originY),
                                     this, 100, kSpriteModeBilinear, kSpriteNoTint, newWidth,
                                     drawnHeight);
                }
            }
            const double oldAspect = static_cast<double>(width) / height;
            const double newAspect = static_cast<double>(newWidth) / newHeight;
            double change = newAspect - oldAspect;
            if (change < 0)
                change = -change;
            if (change > kAspectChangeShare * oldAspect && aspectChanged != -1)
                aspectChanged = 1;
        } else if (clear) {
            const uint32_t fill =
                colour == kSpriteDefaultColour ? defaultColour : static_cast<uint32_t>(colour);
            if (newPixels) {
                FillPixels(fill, newPixels, newWidth, newHeight, bpp);
            } else {
                for (int i = 0; i < newTileCount; ++i)
                    newTiles[i]->Fill(fill);
            }
        }
    }

    const int wasValid = contentValid;
    contentValid = 0;
    if (wait)
        WaitUntilIdle();

    {
        ImageLockGuard lock;
        if (borrowedTiles) {
            // Borrowed tiles belong to other images: let go of them without freeing anything.
            tiles = nullptr;
            tileCount = 0;
            tilesAcross = 0;
            tilesDown = 0;
        } else {
            RetireTiles();
        }
        ReleasePixelStorage();
        pixels = newPixels;
        drawPixels = newPixels;
        bitsPerPixel = bpp;
        bytesPerPixel = newBytes;
        stride = newWidth * newBytes;
        byteSize = newByteSize;
        dib = newDib;
        width = newWidth;
        height = newHeight;
        viewWidth = newWidth;
        viewHeight = newHeight;
        rightEdge = originX + newWidth;
        bottomEdge = originY + newHeight;
        if (newTileCount > 0) {
            tiles = newTiles;
            tileCount = newTileCount;
            tilesAcross = newAcross;
            tilesDown = newDown;
        }
        borrowedTiles = 0;
        hadContent = wasValid ? 1 : 0;
        if (keepValid)
            contentValid = 1;
        textureMode = SpriteTextureMemory;
    }
    --busyCount;
    return made;
}

int CSprite::CreateImage(int newWidth, int newHeight, int bpp, bool clear, int colour, bool asDib)
{
    if (textureMode != SpriteTextureMemory && !dib)
        Clear();
    // -1 asks for the default colour; it does not replace it.
    if (colour != kSpriteDefaultColour)
        defaultColour = static_cast<uint32_t>(colour);
    Create(newWidth, newHeight, bpp, clear, colour, asDib, true, false);
    if (pixels || IsKeptInTiles())
        contentValid = 1;
    createdAsDib = asDib ? 1 : 0;
    loadState = SpriteLoaded;
    return pixels || IsKeptInTiles() ? bytesPerPixel : 0;
}

int CSprite::CreateDIB(int newWidth, int newHeight, int bpp, bool clear, int colour)
{
    if (bpp < 24)
        bpp = 24;
    newWidth = RoundDibWidth(newWidth, bpp);
    const int result = CreateImage(newWidth, newHeight, bpp, clear, colour, true);
    if (!dib)
        return 0;
    if (!dc)
        dc = new (std::nothrow) CDC;
    if (dc && dc->CreateCompatibleDC())
        dc->SelectObject(dib);
    return result;
}

bool CSprite::CopyFrom(CSprite* source)
{
    if (!source || source == this)
        return false;
    if (width != source->width || height != source->height || !contentValid)
        CreateImage(source->width, source->height, source->bitsPerPixel, false,
                    kSpriteDefaultColour, dib != nullptr);
    if (!pixels && !IsKeptInTiles())
        return false;
    // 15 and 16 bits share a byte size but not a layout: bytes are copied between equal depths.
    if (pixels && source->pixels && bitsPerPixel == source->bitsPerPixel &&
        byteSize == source->byteSize && stride == source->stride) {
        memcpy(pixels, source->pixels, static_cast<size_t>(byteSize));
        if (bitsPerPixel == 8) {
            memcpy(palette, source->palette, sizeof(palette));
            paletteCount = source->paletteCount;
        }
    } else {
        DrawSprite(0, 0, source, 100, 0, kSpriteNoTint);
    }
    return true;
}
