// CSprite: tile images of power-of-two sizes, their edges, and turning them back into one buffer.
#include "images/sprite.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/code_pool.h"
#include "core/system_wrappers.h"
#include "images/blit.h"

namespace {

constexpr int kSpriteWaitPollMs = 10;

// Piece sizes along one axis: one power-of-two piece with tiling off, else pieces of at most 256.
std::vector<int> TilePieces(int length, bool tilingEnabled)
{
    if (!tilingEnabled)
        return std::vector<int>(1, RoundUpPow2Size(length));
    std::vector<int> pieces(kTexturePiecesMax);
    const int count = SplitIntoPow2Pieces(length, kSpriteTileSize, pieces.data(), kTexturePiecesMax);
    pieces.resize(count > 0 ? count : 0);
    return pieces;
}

// Deletes a tile without letting it act on its parent (a tile's Clear would cancel the parent's
// load and reset its progress).
void DeleteTile(CSprite* tile)
{
    if (!tile)
        return;
    tile->parent = nullptr;
    delete tile;
}

void DeleteTileArray(CSprite** array, int count)
{
    if (!array)
        return;
    for (int i = 0; i < count; ++i)
        DeleteTile(array[i]);
    delete[] array;
}

}  // namespace

int CSprite::SplitIntoTiles(int splitWidth, int splitHeight, int bpp, CSprite*** outTiles,
                            int* outAcross, int* outDown)
{
    if (outTiles ? *outTiles != nullptr : tiles != nullptr)
        return 0;
    if (splitWidth == -1)
        splitWidth = width;
    if (splitHeight == -1)
        splitHeight = height;
    if (bpp == -1)
        bpp = bitsPerPixel;
    if (splitWidth <= 0 || splitHeight <= 0)
        return 0;

    const std::vector<int> columns = TilePieces(splitWidth, tilingEnabled != 0);
    const std::vector<int> rows = TilePieces(splitHeight, tilingEnabled != 0);
    const int across = static_cast<int>(columns.size());
    const int down = static_cast<int>(rows.size());
    if (across == 0 || down == 0)
        return 0;
    const int count = across * down;
    CSprite** made = new (std::nothrow) CSprite*[count]();
    if (!made)
        return 0;

    const bool copyPixels = !outTiles && drawPixels;
    int top = 0;
    for (int i = 0; i < down; ++i) {
        int left = 0;
        for (int j = 0; j < across; ++j) {
            CSprite* tile = new (std::nothrow) CSprite;
            made[i * across + j] = tile;
            if (!tile) {
                DeleteTileArray(made, count);
                return 0;
            }
            tile->originX = originX + left;
            tile->originY = originY + top;
            tile->resolutionLevel = resolutionLevel;
            // Handed over as the tile's own default: a white 0xFFFFFFFF would read as -1.
            tile->defaultColour = defaultColour;
            tile->CreateImage(columns[j], rows[i], bpp, !contentValid, kSpriteDefaultColour,
                              false);
            if (!tile->pixels) {
                DeleteTileArray(made, count);
                return 0;
            }
            // The parent is known only now: the tile's creation must not wait on the parent's
            // own busy count (the parent may be inside Create).
            tile->parent = this;
            if (copyPixels) {
                tile->DrawSprite(-left, -top, this, 100, BlitIgnoreAlpha, kSpriteNoTint);
                if (j == across - 1 && splitWidth - left < tile->width)
                    ExtendImageEdges(tile->pixels, tile->width, tile->height, tile->bytesPerPixel,
                                     splitWidth - left, 0, 0, tile->height);
                if (i == down - 1 && splitHeight - top < tile->height)
                    ExtendImageEdges(tile->pixels, tile->width, tile->height, tile->bytesPerPixel,
                                     0, splitHeight - top, 0, tile->width);
                ++tile->generation;
            }
            left += columns[j];
        }
        top += rows[i];
    }

    if (outTiles) {
        *outTiles = made;
        if (outAcross)
            *outAcross = across;
        if (outDown)
            *outDown = down;
        return count;
    }

    ImageLockGuard lock;
    if (pixels && !dib && !htmlView) {
        free(pixels);
        pixels = nullptr;
        drawPixels = nullptr;
        s_pixelCount -= static_cast<int64_t>(width) * height;
    }
    width = splitWidth;
    height = splitHeight;
    bitsPerPixel = bpp;
    bytesPerPixel = PixelBytes(bpp);
    tilesAcross = across;
    tilesDown = down;
    tileCount = count;
    tiles = made;
    return count;
}

void CSprite::ExtendImageEdges(uint8_t* buffer, int bufferWidth, int bufferHeight,
                               int bytesPerPixel, int firstColumn, int firstRow, int offset,
                               int count)
{
    if (!buffer || bufferWidth <= 0 || bufferHeight <= 0 || bytesPerPixel < 1 ||
        bytesPerPixel > 4 || offset < 0 || count <= 0)
        return;
    const size_t rowBytes = static_cast<size_t>(bufferWidth) * bytesPerPixel;
    if (firstColumn > 0) {
        if (firstColumn >= bufferWidth || offset >= bufferHeight)
            return;
        if (count > bufferHeight - offset)
            count = bufferHeight - offset;
        for (int y = offset; y < offset + count; ++y) {
            uint8_t* row = buffer + y * rowBytes;
            const uint8_t* last = row + static_cast<size_t>(firstColumn - 1) * bytesPerPixel;
            for (int x = firstColumn; x < bufferWidth; ++x)
                memcpy(row + static_cast<size_t>(x) * bytesPerPixel, last, bytesPerPixel);
        }
    } else if (firstRow > 0) {
        if (firstRow >= bufferHeight || offset >= bufferWidth)
            return;
        if (count > bufferWidth - offset)
            count = bufferWidth - offset;
        const uint8_t* last =
            buffer + (firstRow - 1) * rowBytes + static_cast<size_t>(offset) * bytesPerPixel;
        const size_t bytes = static_cast<size_t>(count) * bytesPerPixel;
        for (int y = firstRow; y < bufferHeight; ++y)
            memcpy(buffer + y * rowBytes + static_cast<size_t>(offset) * bytesPerPixel, last,
                   bytes);
    }
}

void CSprite::CopyToTiles(CSprite* source)
{
    CSprite* from = source ? source : this;
    if (!from->drawPixels || !tiles)
        return;
    const uint32_t mode = from->hasAlpha ? (BlitRepeatLastPixel | BlitKeepFourthByte | BlitIgnoreAlpha)
                                         : (BlitRepeatLastPixel | BlitOpaqueFourthByte |
                                            BlitIgnoreAlpha);
    for (int i = 0; i < tileCount; ++i) {
        CSprite* tile = tiles[i];
        if (!tile || !tile->drawPixels)
            continue;
        BlitPixels(tile->drawPixels, tile->stride, 0, tile->bitsPerPixel, 0, 0, 0, 0,
                   tile->width - 1, tile->height - 1, -(tile->originX - originX),
                   -(tile->originY - originY), from->drawPixels, from->width, from->height,
                   from->bitsPerPixel, from->palette, 100, mode, kSpriteNoTint, from->hasAlpha);
        ++tile->generation;
    }
}

void CSprite::PadTileEdges()
{
    while ((waitFlags.load() & SpriteWaitUploadHolds) && AbortValue() == 0) {
        waitFlags |= SpriteWaitLoader;
        SleepMilliseconds(kSpriteWaitPollMs);
    }
    waitFlags &= ~SpriteWaitLoader;
    ++busyCount;
    for (int i = 0; i < tileCount && tiles; ++i) {
        CSprite* tile = tiles[i];
        if (!tile)
            continue;
        if (borrowedTiles) {
            tile->PadTileEdges();
            continue;
        }
        uint8_t* buffer = tile->drawPixels ? tile->drawPixels : tile->pixels;
        if (!buffer)
            continue;
        const int left = tile->originX - originX;
        const int top = tile->originY - originY;
        if (width > left && width < left + tile->width) {
            ExtendImageEdges(buffer, tile->width, tile->height, tile->bytesPerPixel, width - left,
                             0, 0, tile->height);
            ++tile->generation;
        }
        if (height > top && height < top + tile->height) {
            ExtendImageEdges(buffer, tile->width, tile->height, tile->bytesPerPixel, 0,
                             height - top, 0, tile->width);
            ++tile->generation;
        }
    }
    --busyCount;
}

void CSprite::MergeTiles()
{
    if (!tiles)
        return;
    ++busyCount;
    const int wasValid = contentValid;
    contentValid = 0;

    if (htmlView || video) {
        // A live source repaints the whole picture anyway.
        FreeTiles();
    } else {
        CSprite** oldTiles = nullptr;
        int oldCount = 0;
        const bool borrowed = borrowedTiles != 0;
        {
            ImageLockGuard lock;
            if (borrowed) {
                // The tiles belong to other images: draw them, never free them.
                oldTiles = tiles;
                oldCount = tileCount;
                tiles = nullptr;
                tileCount = 0;
            } else {
                RetireTiles();
                // The newest retired tiles are at the end of the retired array.
                oldTiles = retiredTiles;
                oldCount = retiredCount;
            }
            textureMode = SpriteTextureMemory;
        }
        Create(width, height, bitsPerPixel, false, 0, createdAsDib != 0, false, false);
        if (drawPixels) {
            for (int i = 0; i < oldCount; ++i) {
                CSprite* tile = oldTiles[i];
                if (tile && tile->drawPixels)
                    DrawSprite(tile->originX - originX, tile->originY - originY, tile, 100,
                               BlitIgnoreAlpha, kSpriteNoTint);
            }
        } else {
            abortWord |= SpriteAbortNotifyPending;
        }
        if (!borrowed)
            FreeRetiredTiles();
    }

    --busyCount;
    tilesAcross = 0;
    tilesDown = 0;
    contentValid = wasValid;
}

void CSprite::FreeTiles()
{
    ReleaseTileTextures(-1);
    CSprite** array = nullptr;
    int count = 0;
    {
        ImageLockGuard lock;
        array = tiles;
        count = tileCount;
        tiles = nullptr;
        tileCount = 0;
        tilesAcross = 0;
        tilesDown = 0;
        textureMode = SpriteTextureMemory;
    }
    DeleteTileArray(array, count);
}

void CSprite::FreeRetiredTiles()
{
    if (!retiredTiles)
        return;
    ReleaseTileTextures(-1, retiredTiles, retiredCount);
    CSprite** array = nullptr;
    int count = 0;
    {
        ImageLockGuard lock;
        array = retiredTiles;
        count = retiredCount;
        retiredTiles = nullptr;
        retiredCount = 0;
    }
    DeleteTileArray(array, count);
}
